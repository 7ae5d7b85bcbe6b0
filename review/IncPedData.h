#pragma once

// The record layouts of the review screen: the persistent fields of its client
// datasets (which the server's data packets must match), its two branch
// queries and its message tables.

#include "host/DBGeral.h"
#include "platform/data/DataSet.h"

#include <QStringList>

namespace Cli_zel08100 {

// The order list.
void DefinePedidoFields(zel::TClientDataSet& cdsPedido);
// The inconsistencies of the current order.
void DefineIncPedFields(zel::TClientDataSet& cdsIncPed);
// The order item of the current inconsistency.
void DefineItemPedidoFields(zel::TClientDataSet& cdsItemPedido);
// The operator's release groups in the chosen branch.
void DefineGrupOperFields(zel::TClientDataSet& cdsGrupOper);

// Every branch, ordered by code (behind the look-up button).
void DefineQryFilial(zel::TADOIBQuery& qryFilial);
// One branch by its code, parameter P_CDFILIAL.
void DefineQryVdFilial(zel::TADOIBQuery& qryVd_filial);

// The lines of the screen's two message tables.
QStringList MsgPadraoLines();
QStringList MsgMensagensPadroesLines();

} // namespace Cli_zel08100
