// Editing the release note, and the tool buttons that follow the inconsistency area.

#include "host/Dialogs.h"
#include "host/GridUtils.h"
#include "platform/data/Exceptions.h"
#include "platform/data/Guard.h"
#include "review/TfrmIncPed.h"

#include <QKeyEvent>

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
    state_.area = ReviewState::Area::Inconsistencies;
    state_.areaReady = cdsIncPed.State() == TDataSetState::dsBrowse && !cdsIncPed.IsEmpty();
    state_.inconsistencyPageShown = pgcIncPed->ActivePage() == tshIncPed;
    updateTools();
}

void TfrmIncPed::sbtAlterarClick(QObject*)
{
    if (!worksInIncArea() || cdsIncPed.State() != TDataSetState::dsBrowse) return;
    cdsIncPed.Edit(); // on an empty list an insert, which is refused
    if (boMarcando) return;
    pgcIncPed->SetActivePage(tshObs);
    dmmObsIncPed->setFocus(Qt::OtherFocusReason);
    // Until the note is posted or the edit cancelled.
    state_.notePageOnly = true;
    updateTools();
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

void TfrmIncPed::postPendingNote()
{
    // A mark being stored posts itself.
    if (!editing(cdsIncPed) || boMarcando) return;
    cdsIncPed.UpdateRecord();
    TField* note = cdsIncPed.FieldByName(QStringLiteral("TXOBSLIBINCO"));
    const Variant typed = note->Value();
    try {
        cdsIncPed.Post();
    } catch (...) {
        // The failed send has undone the row: the typed text goes back in
        // edit, so the operator can confirm it again or cancel it.
        if (!cdsIncPed.IsEmpty() && !editing(cdsIncPed)) {
            cdsIncPed.Edit();
            note->setValue(typed);
        }
        throw;
    }
}

void TfrmIncPed::askAboutPendingNote()
{
    if (!editing(cdsIncPed) || boMarcando) return;
    switch (MessageDlg(QStringLiteral("A observação em edição não foi confirmada. Deseja gravá-la?"),
                       TMsgDlgType::mtConfirmation, mbYesNoCancel, 0)) {
    case mrYes:
        postPendingNote(); // a failed send is shown and the screen stays open
        break;
    case mrNo:
        cdsIncPed.Cancel();
        break;
    default:
        Abort(); // the screen stays open with the note in edit
    }
}

bool TfrmIncPed::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == dmmObsIncPed || watched == dbgIncPed) && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && editing(cdsIncPed) && !boMarcando) {
        Guarded([this] { sbtCancelarClick(sbtCancelar); });
        return true;
    }
    return TfrmPadraoGrid::eventFilter(watched, event);
}

void TfrmIncPed::dtsIncPedidoStateChange(TDataSource*)
{
    // Confirm and cancel follow the note's edit wherever the focus is: a note
    // posted by a move in the order grid leaves nothing to confirm. A mark
    // being stored passes through the edit state too: that is no note.
    state_.noteEdit = editing(cdsIncPed) && !boMarcando;
    updateTools();
    if (!worksInIncArea() || cdsIncPed.IsEmpty()) return;
    incAreaTools();
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
