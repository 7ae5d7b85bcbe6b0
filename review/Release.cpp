// Storing: every posted row is sent at once; the release of the marked inconsistencies; the row change.

#include "review/TfrmIncPed.h"

namespace Cli_zel08100 {

using namespace zel;

void TfrmIncPed::btnLiberarClick(QObject*) {}

void TfrmIncPed::cdsIncPedAfterPost(TDataSet*) {}

void TfrmIncPed::cdsItemPedidoAfterPost(TDataSet*) {}

void TfrmIncPed::cdsIncPedAfterCancel(TDataSet*) {}

void TfrmIncPed::cdsIncPedBeforeInsert(TDataSet*) {}

void TfrmIncPed::cdsIncPedAfterScroll(TDataSet*) {}

} // namespace Cli_zel08100
