// A module for the shell's tests: records its lifecycle in the file named by
// ZEL_TEST_MODULE_LOG and opens a child window per IniProc call.

#include "host/Application.h"
#include "host/Login.h"
#include "host/ModuleAbi.h"
#include "host/PadraoGrid.h"
#include "platform/data/Exceptions.h"

#include <QFile>

namespace {

void record(const QString& line)
{
    QFile f(QString::fromLocal8Bit(qgetenv("ZEL_TEST_MODULE_LOG")));
    if (f.open(QIODevice::Append | QIODevice::Text)) f.write((line + QLatin1Char('\n')).toUtf8());
}

} // namespace

ZEL_MODULE_EXPORT void ZelModuleInitialize()
{
    record(QStringLiteral("initialize"));
}

ZEL_MODULE_EXPORT void ZelModuleFinalize()
{
    record(QStringLiteral("finalize"));
}

ZEL_MODULE_EXPORT void IniProc(const std::vector<zel::Variant>& params)
{
    if (params.size() != 5) throw zel::EConvertError(QStringLiteral("IniProc espera 5 parâmetros."));
    // The order the entry reads them in.
    const QString dtEntrega = params[4].toString();
    const QString dtPedido = params[3].toString();
    const QString pedido = params[2].toString();
    const QString filial = params[1].toString();
    const bool mode = params[0].toBool();
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
}
