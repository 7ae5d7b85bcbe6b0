// The order-number list picker of the "Lista" mode.

#include "filter/TfrmFiltroIncons.h"
#include "host/ListDialogs.h"
#include "host/Messages.h"
#include "host/ResultCheck.h"

namespace Cli_zel08101 {

using namespace zel;

namespace {
IOrderList* theOrderList = nullptr;
} // namespace

IOrderList* OrderList()
{
    return theOrderList;
}

void SetOrderList(IOrderList* list)
{
    theOrderList = list;
}

IOrderList& TfrmFiltroIncons::orderList()
{
    // The dialog is opened by the review screen only; a dialog reached
    // otherwise has no branch, no link and no order list to work with.
    if (!theOrderList) throw Exception(QStringLiteral("A tela \"Inconsistência do Pedido\" não está aberta."));
    return *theOrderList;
}

// The branch's order numbers are fetched once per branch: pickings for the
// branch whose list is loaded reuse it, marks included, across showings.
void TfrmFiltroIncons::sbtNrPedidoClick(QObject*)
{
    IOrderList& list = orderList();
    const QString filial = list.BranchCode();
    if (stFilialLista != filial) {
        cdsNrPedido.SetData(CheckResultServ(list.OrderServer().GetNrPedido(filial), true, 0));
        stFilialLista = filial;
    }
    if (cdsNrPedido.IsEmpty()) MensErro(msgPadrao.Msg(QStringLiteral("N_CONSISTE")), true);
    PesquisaLista(&dtsNrPed, QStringLiteral("NRPEDIDO"), msgPadrao.Msg(QStringLiteral("PEDIDO")), false, stPedido);
}

// F9 on the "Lista" option picks, whatever the modifiers; the key goes on.
void TfrmFiltroIncons::rbtLNrPedidoKeyDown(QObject*, int& Key, Qt::KeyboardModifiers)
{
    if (Key == Qt::Key_F9) sbtNrPedidoClick(sbtNrPedido);
}

} // namespace Cli_zel08101
