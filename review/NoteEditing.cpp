// Editing the release note, and the tool buttons that follow the inconsistency area.

#include "review/TfrmIncPed.h"

namespace Cli_zel08100 {

using namespace zel;

void TfrmIncPed::sbtAlterarClick(QObject* Sender)
{
    TfrmPadraoGrid::sbtAlterarClick(Sender);
}

void TfrmIncPed::sbtConfirmarClick(QObject* Sender)
{
    TfrmPadraoGrid::sbtConfirmarClick(Sender);
}

void TfrmIncPed::sbtCancelarClick(QObject* Sender)
{
    TfrmPadraoGrid::sbtCancelarClick(Sender);
}

void TfrmIncPed::dmmObsIncPedKeyPress(QObject*, QChar&) {}

void TfrmIncPed::dtsIncPedidoStateChange(TDataSource*) {}

void TfrmIncPed::pgcIncPedEnter(QObject*) {}

void TfrmIncPed::pgcIncPedChange(QObject*) {}

} // namespace Cli_zel08100
