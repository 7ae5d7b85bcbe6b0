#include "supervisor/Pkg_zel08200.h"

#include "host/Login.h"
#include "host/ModuleAbi.h"
#include "host/NetConnection.h"
#include "platform/data/Exceptions.h"
#include "supervisor/RdmSupervisao.h"
#include "supervisor/TfrmHistLib.h"
#include "supervisor/TfrmLibLote.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace Pkg_zel08200 {

namespace {

void copy(char* to, std::size_t size, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    const std::size_t n = std::min<std::size_t>(std::size_t(utf8.size()), size - 1);
    std::memcpy(to, utf8.constData(), n);
    to[n] = '\0';
}

// The operator's rights in the login's branch, which enable the entries. A
// server that cannot answer leaves them disabled: the screens would be of no
// use without it.
TDireitos direitosDoLogin()
{
    try {
        zel::TNetConnection net(QStringLiteral("netDireitos"));
        net.ServerName = QString::fromLatin1(kRdmSupervisaoService);
        net.Host = zel::WebURL();
        net.Port = zel::WebPort();
        net.Connect();
        TRdmSupervisao server(net);
        return server.GetDireitos(zel::FiliProc());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "PKG_ZEL08200: the operator's rights could not be read: %s\n", e.what());
        return {};
    }
}

} // namespace

void IniProc(const std::vector<zel::Variant>& params)
{
    if (params.empty()) throw zel::EConvertError(QStringLiteral("A entrada IniProc espera o comando do menu."));
    const QString command = params[0].toString();
    if (command == QLatin1String(kCmdHistorico))
        CriaHistLib();
    else if (command == QLatin1String(kCmdLote))
        CriaLibLote();
    else
        throw zel::EConvertError(QStringLiteral("Comando desconhecido do módulo: \"%1\".").arg(command));
}

void Unload()
{
    // The shell closes the screens before it unloads a module; what is left
    // goes now, while its code is still here.
    delete frmHistLib;
    delete frmLibLote;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

int Menu(TZelMenuEntry* entries, int capacity)
{
    const TDireitos d = direitosDoLogin();
    struct Item {
        const char* name;
        QString text;
        const char* command;
        bool enabled;
    };
    const Item items[] = {
        {"mnuHistLib", QStringLiteral("&Histórico de liberações"), kCmdHistorico, d.verHist},
        {"mnuLibLote", QStringLiteral("Liberação em &lote"), kCmdLote, d.libera},
    };
    int n = 0;
    for (const Item& i : items) {
        if (n >= capacity) break;
        TZelMenuEntry& e = entries[n++];
        copy(e.menu, sizeof e.menu, QStringLiteral("&Pedidos"));
        copy(e.name, sizeof e.name, QString::fromLatin1(i.name));
        copy(e.text, sizeof e.text, i.text);
        copy(e.command, sizeof e.command, QString::fromLatin1(i.command));
        e.enabled = i.enabled ? 1 : 0;
    }
    return n;
}

} // namespace Pkg_zel08200

ZEL_MODULE_EXPORT int ZelModuleAbiVersion()
{
    return zel::kZelModuleAbiVersion;
}

ZEL_MODULE_EXPORT TZelModuleStatus ZelModuleInitialize(TZelModuleError* error)
{
    return zel::ZelModuleEntry(error, [] {});
}

ZEL_MODULE_EXPORT TZelModuleStatus ZelModuleFinalize(TZelModuleError* error)
{
    return zel::ZelModuleEntry(error, [] { Pkg_zel08200::Unload(); });
}

ZEL_MODULE_EXPORT TZelModuleStatus IniProc(const std::vector<zel::Variant>* params, TZelModuleError* error)
{
    return zel::ZelModuleEntry(error, [params] { Pkg_zel08200::IniProc(*params); });
}

ZEL_MODULE_EXPORT TZelModuleStatus ZelModuleMenu(TZelMenuEntry* entries, int capacity, int* count,
                                                 TZelModuleError* error)
{
    return zel::ZelModuleEntry(error, [&] { *count = Pkg_zel08200::Menu(entries, capacity); });
}
