// Marking inconsistencies: the check column, the single toggle, mark-all and unmark-all.

#include "review/TfrmIncPed.h"

namespace Cli_zel08100 {

using namespace zel;

void TfrmIncPed::dbgIncPedDrawColumnCell(QObject*, const QRect&, int, TColumn*, TGridDrawState) {}

void TfrmIncPed::dbgIncPedCellClick(TColumn*) {}

void TfrmIncPed::dbgPadraoKeyPress(QObject* Sender, QChar& Key)
{
    TfrmPadraoGrid::dbgPadraoKeyPress(Sender, Key);
}

void TfrmIncPed::dbgIncPedTitleClick(TColumn*) {}

void TfrmIncPed::dbgIncPedColEnter(QObject*) {}

void TfrmIncPed::dbgIncPedEnter(QObject*) {}

} // namespace Cli_zel08100
