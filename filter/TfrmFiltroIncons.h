#pragma once

// The filter dialog "Filtro de Inconsistência de Pedidos": which orders of the
// branch the review screen lists (all, an interval of order numbers or a list
// picked from the branch's orders; order-date and delivery-date ranges).

#include "filter/Cli_zel08101.h"
#include "host/FiltroPadrao.h"
#include "platform/data/DateTime.h"

#include <QString>

namespace Cli_zel08101 {

class TfrmFiltroIncons : public zel::TfrmFiltroPadrao {
public:
    explicit TfrmFiltroIncons(QWidget* owner = nullptr);
    ~TfrmFiltroIncons() override;

    // The criteria of the last query sent to the server, in the order of the
    // query's arguments: the seven texts, then the four dates. Empty texts and
    // zero dates until the first confirmation; the review screen's refresh
    // sends them again.
    QString stCdFilial;
    QString stNrPedidoDe;
    QString stNrPedidoAte;
    QString stListaPedido;
    QString stTodosPedidos;
    QString stTodasDtPedido;
    QString stTodasDtEntrega;
    zel::TDateTime dtPedidoDe;
    zel::TDateTime dtPedidoAte;
    zel::TDateTime dtEntregaDe;
    zel::TDateTime dtEntregaAte;
};

} // namespace Cli_zel08101
