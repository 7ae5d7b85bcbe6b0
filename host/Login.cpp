#include "host/Login.h"

namespace zel {

bool boPrimVez = false;

namespace {
TLoginInfo& login()
{
    static TLoginInfo info;
    return info;
}
} // namespace

void SetLogin(const TLoginInfo& info)
{
    login() = info;
}
void ClearLogin()
{
    login() = TLoginInfo{};
}
const TLoginInfo& CurrentLogin()
{
    return login();
}
QString SessionToken()
{
    return login().token;
}

QString Operador()
{
    return login().operador;
}
QString FiliProc()
{
    return login().filial;
}
QString NomeFiliProc()
{
    return login().nmFilial;
}
bool ModuFili()
{
    return login().moduFili;
}
QString WebURL()
{
    return login().webUrl;
}
int WebPort()
{
    return login().webPort;
}

} // namespace zel
