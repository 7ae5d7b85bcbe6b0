#pragma once

#include <QString>
#include <QStringList>

namespace zel {

// What the shell's login established: the operator, the branch the login
// works in, and the application server the screens connect to. The shell sets
// it once after a successful login; modules only read it.
struct TLoginInfo {
    QString token;         // session token sent with every server call
    QString operador;      // operator code
    QString nmOperador;    // operator name
    QString filial;        // login branch code
    QString nmFilial;      // login branch name
    bool moduFili = false; // the login works with one fixed branch
    QString webUrl;        // application server host
    int webPort = 0;       // application server port
    // Every address ("host:port") of the logical application server the
    // login was made at; webUrl:webPort is the first. Several server
    // processes in front of one database share the sessions, so the
    // screens' calls are spread over all of them.
    QStringList servers;
};

void SetLogin(const TLoginInfo& info);
void ClearLogin();
const TLoginInfo& CurrentLogin();
QString SessionToken();

QString Operador();
QString FiliProc();
QString NomeFiliProc();
bool ModuFili();
QString WebURL();
int WebPort();

// Set by a screen at the end of its creation and cleared at the end of its
// first activation: the host's one first-activation flag.
extern bool boPrimVez;

} // namespace zel
