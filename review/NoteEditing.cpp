// Editing the release note, and the tool buttons that follow the inconsistency area.

#include "host/GridUtils.h"
#include "review/TfrmIncPed.h"

namespace Cli_zel08100 {

using namespace zel;

namespace {

bool editing(const TDataSet& ds)
{
    return ds.State() == TDataSetState::dsEdit || ds.State() == TDataSetState::dsInsert;
}

} // namespace

void TfrmIncPed::incAreaTools()
{
    const bool listReady = cdsIncPed.State() == TDataSetState::dsBrowse && !cdsIncPed.IsEmpty();
    enableTool(sbtAlterar, mnuAlterar, listReady);
    enableTool(sbtVerificar, mnuVerificar, listReady);
    enableTool(sbtProcurar, mnuProcurar, listReady && pgcIncPed->ActivePage() == tshIncPed);
}

void TfrmIncPed::sbtAlterarClick(QObject*)
{
    if (!worksInIncArea() || cdsIncPed.State() != TDataSetState::dsBrowse) return;
    cdsIncPed.Edit(); // on an empty list an insert, which is refused
    if (boMarcando) return;
    pgcIncPed->SetActivePage(tshObs);
    dmmObsIncPed->setFocus(Qt::OtherFocusReason);
    // Until the note is posted or the edit cancelled.
    tshIncPed->setEnabled(false);
}

void TfrmIncPed::dmmObsIncPedKeyPress(QObject*, QChar& Key)
{
    // No row to write a note on: the key neither changes the memo nor starts an edit.
    if (cdsIncPed.IsEmpty()) Key = QChar();
}

void TfrmIncPed::sbtConfirmarClick(QObject*)
{
    Vd_filial(); // its failure ends the confirmation: nothing is posted
    if (!worksInIncArea()) return;
    RefreshGrid(this);
    if (editing(cdsIncPed)) cdsIncPed.Post();
}

void TfrmIncPed::sbtCancelarClick(QObject*)
{
    if (!worksInIncArea() || !editing(cdsIncPed)) return;
    if (msgMensagensPadroes.ShowMsg(QStringLiteral("Canc"), TMsgDlgType::mtConfirmation, mbYesNo, 0) == mrYes)
        cdsIncPed.Cancel();
}

void TfrmIncPed::dtsIncPedidoStateChange(TDataSource*)
{
    if (!worksInIncArea() || cdsIncPed.IsEmpty()) return;
    incAreaTools();
    // A mark being stored passes through the edit state too: that is no note to confirm.
    const bool noteEdit = editing(cdsIncPed) && !boMarcando;
    enableTool(sbtConfirmar, mnuConfirmar, noteEdit);
    enableTool(sbtCancelar, mnuCancelar, noteEdit);
}

void TfrmIncPed::pgcIncPedEnter(QObject*)
{
    if (worksInIncArea()) incAreaTools();
}

void TfrmIncPed::pgcIncPedChange(QObject*)
{
    // The same rule as entering the order grid.
    if (activeControlName() == QLatin1String("dbgPadrao")) orderGridTools();
}

} // namespace Cli_zel08100
