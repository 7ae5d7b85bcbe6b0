// Loading the order list and the inconsistencies of the current order; refresh, find and filter.

#include "review/TfrmIncPed.h"

namespace Cli_zel08100 {

using namespace zel;

void TfrmIncPed::cdsPedidoAfterScroll(TDataSet*) {}

void TfrmIncPed::sbtVerificarClick(QObject* Sender)
{
    TfrmPadraoGrid::sbtVerificarClick(Sender);
}

void TfrmIncPed::sbtProcurarClick(QObject* Sender)
{
    TfrmPadraoGrid::sbtProcurarClick(Sender);
}

void TfrmIncPed::sbtFiltroClick(QObject*) {}

void TfrmIncPed::cdsPedidoIDSITPEDIDOGetText(TField* Sender, QString& Text, bool /*DisplayText*/)
{
    const QString code = Sender->IsNull() ? QString() : Sender->AsString();
    if (code == QLatin1String("1"))
        Text = QStringLiteral("PE");
    else if (code == QLatin1String("2"))
        Text = QStringLiteral("AN");
    else if (code == QLatin1String("3") || code == QLatin1String("5"))
        Text = QStringLiteral("LQ");
    else if (code == QLatin1String("4"))
        Text = QStringLiteral("CN");
    else
        Text.clear();
}

void TfrmIncPed::dbgPadraoEnter(QObject*) {}

} // namespace Cli_zel08100
