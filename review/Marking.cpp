// Marking inconsistencies: the check column, the single toggle, mark-all and unmark-all.

#include "host/GridUtils.h"
#include "host/Messages.h"
#include "review/TfrmIncPed.h"

namespace Cli_zel08100 {

using namespace zel;

namespace {

const QString kAtiva = QStringLiteral("ATIVA");
// The background of both check-box pictures, left out when they are drawn.
const QColor kOlive(128, 128, 0);

bool isCheckField(const TField* field)
{
    return field && field->FieldName() == kAtiva;
}

} // namespace

void TfrmIncPed::dbgIncPedDrawColumnCell(QObject*, const QRect& Rect, int, TColumn* Column, TGridDrawState)
{
    TCanvas* canvas = dbgIncPed->Canvas();
    canvas->FillRect(Rect);
    canvas->Font.setStyle(0);
    if (cdsIncPed.IsEmpty()) return;
    if (Column->FieldName() == kAtiva) {
        const bool marked = cdsIncPed.FieldByName(kAtiva)->AsString() == QLatin1String("S");
        InsereImagem(dbgIncPed, Rect, (marked ? imgChecked : imgUnChecked)->Picture(), kOlive);
    } else if (TField* field = Column->Field()) {
        canvas->TextRect(Rect, Rect.left() + 3, Rect.top() + 3, field->DisplayText());
    }
}

void TfrmIncPed::toggleMark()
{
    TField* ativa = cdsIncPed.FieldByName(kAtiva);
    if (!hasReleaseRight() && ativa->AsString() == QLatin1String("N"))
        MensErro(msgPadrao.Msg(QStringLiteral("Oper_Inv")), true);
    boMarcando = true;
    try {
        cdsIncPed.Edit();
        const bool marking = ativa->AsString() == QLatin1String("N");
        ativa->setAsString(marking ? QStringLiteral("S") : QStringLiteral("N"));
        cdsIncPed.Post(); // stored on the server at once
        setMarkedCount(inConPedCheck + (marking ? 1 : -1));
    } catch (...) {
        boMarcando = false;
        throw;
    }
    boMarcando = false;
}

void TfrmIncPed::dbgIncPedCellClick(TColumn*)
{
    // The grid's current column decides, not the column of the event.
    if (!cdsIncPed.IsEmpty() && isCheckField(dbgIncPed->SelectedField())) toggleMark();
    decideRelease(currentMarked(), true);
}

void TfrmIncPed::dbgPadraoKeyPress(QObject* Sender, QChar& Key)
{
    TfrmPadraoGrid::dbgPadraoKeyPress(Sender, Key);
    // The base screen hands the order grid's keys here too: marking belongs
    // to the inconsistency grid only.
    if (Sender != dbgIncPed || Key != QLatin1Char(' ')) return;
    if (!cdsIncPed.IsEmpty()) toggleMark();
    decideRelease(currentMarked(), false);
    // The blank goes on to the grid.
}

void TfrmIncPed::markEveryRow(bool mark)
{
    TField* ativa = cdsIncPed.FieldByName(kAtiva);
    const QString value = mark ? QStringLiteral("S") : QStringLiteral("N");
    while (!cdsIncPed.Eof()) {
        cdsIncPed.Edit();
        ativa->setAsString(value);
        cdsIncPed.Post();
        if (mark) setMarkedCount(inConPedCheck + 1);
        cdsIncPed.Next();
    }
    if (!mark) setMarkedCount(0);
}

void TfrmIncPed::dbgIncPedTitleClick(TColumn* Column)
{
    if (Column->FieldName() != kAtiva) return;
    if (!cdsIncPed.IsEmpty()) {
        const TBookmark bookmark = cdsIncPed.GetBookmark();
        cdsIncPed.First();
        cdsIncPed.DisableControls();
        // Back to the row the walk started from, with the controls following
        // the list again, however the walk ended.
        auto closing = [&] {
            try {
                cdsIncPed.GotoBookmark(bookmark);
            } catch (...) {
                cdsIncPed.FreeBookmark(bookmark);
                cdsIncPed.EnableControls();
                throw;
            }
            cdsIncPed.FreeBookmark(bookmark);
            cdsIncPed.EnableControls();
        };
        try {
            if (inConPedCheck != 0) {
                markEveryRow(false); // unmarking needs no right
            } else {
                if (!hasReleaseRight()) MensErro(msgPadrao.Msg(QStringLiteral("Oper_Inv")), true);
                markEveryRow(true);
            }
        } catch (...) {
            try {
                closing();
            } catch (...) {
                // The walk's own failure is the one to report.
            }
            throw;
        }
        closing();
    }
    decideRelease(inConPedCheck > 0, false);
}

void TfrmIncPed::dbgIncPedColEnter(QObject*)
{
    // The check column never opens a cell editor; a click on it toggles.
    const TDBGridOptions options = dbgIncPed->Options();
    if (isCheckField(dbgIncPed->SelectedField()))
        dbgIncPed->setOptions(options & ~TDBGridOptions(dgEditing));
    else
        dbgIncPed->setOptions(options | dgEditing);
}

void TfrmIncPed::dbgIncPedEnter(QObject* Sender)
{
    dbgIncPedColEnter(Sender);
}

} // namespace Cli_zel08100
