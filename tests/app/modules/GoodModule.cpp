// A module for the shell's tests: records its lifecycle in the file named by
// ZEL_TEST_MODULE_LOG and opens a child window per IniProc call. The branch
// "falha" makes IniProc fail, "aborta" makes it end silently.

#include "host/Application.h"
#include "host/Login.h"
#include "host/ModuleAbi.h"
#include "host/PadraoGrid.h"
#include "platform/data/Exceptions.h"

#include <QFile>

#include <stdexcept>

namespace {

void record(const QString& line)
{
    QFile f(QString::fromLocal8Bit(qgetenv("ZEL_TEST_MODULE_LOG")));
    if (f.open(QIODevice::Append | QIODevice::Text)) f.write((line + QLatin1Char('\n')).toUtf8());
}

} // namespace

ZEL_MODULE_EXPORT int ZelModuleAbiVersion()
{
    return zel::kZelModuleAbiVersion;
}

ZEL_MODULE_EXPORT TZelModuleStatus ZelModuleInitialize(TZelModuleError* error)
{
    return zel::ZelModuleEntry(error, [] { record(QStringLiteral("initialize")); });
}

ZEL_MODULE_EXPORT TZelModuleStatus ZelModuleFinalize(TZelModuleError* error)
{
    return zel::ZelModuleEntry(error, [] { record(QStringLiteral("finalize")); });
}

ZEL_MODULE_EXPORT TZelModuleStatus IniProc(const std::vector<zel::Variant>* parameters, TZelModuleError* error)
{
    return zel::ZelModuleEntry(error, [parameters] {
        const std::vector<zel::Variant>& params = *parameters;
        if (params.size() != 5) throw zel::EConvertError(QStringLiteral("IniProc espera 5 parâmetros."));
        // The order the entry reads them in.
        const QString dtEntrega = params[4].toString();
        const QString dtPedido = params[3].toString();
        const QString pedido = params[2].toString();
        const QString filial = params[1].toString();
        const bool mode = params[0].toBool();
        // Failures the shell must get back as values and raise on its side.
        if (filial == QLatin1String("falha")) throw std::runtime_error("disco cheio");
        if (filial == QLatin1String("aborta")) zel::Abort();
        const QString line = QStringLiteral("IniProc %1|%2|%3|%4|%5|%6")
                                 .arg(mode ? QStringLiteral("true") : QStringLiteral("false"), filial, pedido, dtPedido,
                                      dtEntrega, zel::Operador());
        record(line);
        if (zel::MdiArea()) {
            auto* screen = zel::CreateForm<zel::TfrmPadraoGrid>(nullptr, QStringLiteral("frmTeste"));
            screen->setCaption(QStringLiteral("Tela de teste"));
            screen->lblCodTela->setCaption(QStringLiteral("ZEL00000"));
            screen->setFormBounds(10, 10, 741, 417);
            screen->Show();
        }
    });
}
