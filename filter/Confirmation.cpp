// The confirmation of the filter dialog: the checks of the criteria, the order
// query that refills the review screen's order list, and the stored criteria.

#include "filter/TfrmFiltroIncons.h"
#include "host/Messages.h"
#include "host/ResultCheck.h"
#include "host/Strings.h"

namespace Cli_zel08101 {

using namespace zel;

namespace {

const QString kTodos = QStringLiteral("T");

} // namespace

void TfrmFiltroIncons::sbtConfirmaClick(QObject*)
{
    // The buttons take no focus: an interval edit may still hold the text as
    // typed, its exit not having run. Both bounds get their ten-digit form
    // before they are checked and sent.
    if (rbtIntervalo->Checked()) {
        medDeIntervaloExit(medDeIntervalo);
        medAteIntervaloExit(medAteIntervalo);
    }
    checkInterval();
    checkList();
    checkDates();
    setQueryCriteria();

    IOrderList& list = orderList();
    list.LoadOrders(CheckResultServ(
        list.OrderServer().GetPedido(stCdFilial, stNrPedidoDe, stNrPedidoAte, stListaPedido, stTodosPedidos, dtPedidoDe,
                                     dtPedidoAte, stTodasDtPedido, dtEntregaDe, dtEntregaAte, stTodasDtEntrega),
        true, 0));

    storeCriteria();
    Close();
}

// Interval bounds are compared as texts, in their ten-digit form, in which
// that order is the numeric one.
void TfrmFiltroIncons::checkInterval()
{
    if (!rbtIntervalo->Checked()) return;
    const QString de = medDeIntervalo->Text();
    const QString ate = medAteIntervalo->Text();
    const bool hasDe = !EmptyString(de);
    const bool hasAte = !EmptyString(ate);
    auto refuse = [this](const char* key, TMaskEdit* edit) {
        edit->setFocus();
        MensErro(msgPadrao.Msg(QString::fromLatin1(key)), true);
    };
    if (!hasDe && hasAte) refuse("INTINI_INF", medDeIntervalo);
    if (hasDe && !hasAte) refuse("INTFIN_INF", medAteIntervalo);
    if (hasDe && hasAte && de > ate) refuse("INTINI<INTFIN", medDeIntervalo);
    if (!hasDe && !hasAte) refuse("INTINI_INF", medDeIntervalo);
}

void TfrmFiltroIncons::checkList()
{
    if (rbtLNrPedido->Checked() && EmptyString(stPedido)) MensErro(msgPadrao.Msg(QStringLiteral("PEDIDO_INF")), true);
}

void TfrmFiltroIncons::checkDates()
{
    for (TDateEditPlus* d : {depDe, depAte, depEntrDE, depEntrAte})
        d->CheckValidDate();
    // Both empty means no restriction; the same day in both passes.
    auto checkRange = [this](TDateEditPlus* from, TDateEditPlus* to) {
        const bool hasFrom = !EmptyString(from->Text());
        const bool hasTo = !EmptyString(to->Text());
        if (hasFrom && hasTo && to->GetDate() < from->GetDate())
            MensErro(msgPadrao.Msg(QStringLiteral("DTINI<DTFIN")), true);
        if (!hasFrom && hasTo) MensErro(msgPadrao.Msg(QStringLiteral("DTINI_INF")), true);
        if (hasFrom && !hasTo) MensErro(msgPadrao.Msg(QStringLiteral("DTFIN_INF")), true);
    };
    checkRange(depDe, depAte);
    checkRange(depEntrDE, depEntrAte);
}

// Exactly one order-number criterion is filled. A date range left empty sends
// "T", and the dates of an earlier confirmation (or zero) go along unchanged.
void TfrmFiltroIncons::setQueryCriteria()
{
    stCdFilial = orderList().BranchCode();
    if (rbtTNrPedido->Checked()) {
        stNrPedidoDe.clear();
        stNrPedidoAte.clear();
        stListaPedido.clear();
        stTodosPedidos = kTodos;
    }
    if (rbtLNrPedido->Checked()) {
        stNrPedidoDe.clear();
        stNrPedidoAte.clear();
        stListaPedido = stPedido;
        stTodosPedidos.clear();
    }
    if (rbtIntervalo->Checked()) {
        stNrPedidoDe = medDeIntervalo->Text();
        stNrPedidoAte = medAteIntervalo->Text();
        stListaPedido.clear();
        stTodosPedidos.clear();
    }
    auto range = [](TDateEditPlus* from, TDateEditPlus* to, TDateTime& de, TDateTime& ate, QString& todas) {
        if (EmptyString(from->Text()) && EmptyString(to->Text())) {
            todas = kTodos;
            return;
        }
        de = from->GetDate();
        ate = to->GetDate();
        todas.clear();
    };
    range(depDe, depAte, dtPedidoDe, dtPedidoAte, stTodasDtPedido);
    range(depEntrDE, depEntrAte, dtEntregaDe, dtEntregaAte, stTodasDtEntrega);
}

void TfrmFiltroIncons::storeCriteria()
{
    NrPedido.boTodos = rbtTNrPedido->Checked();
    NrPedido.boLista = rbtLNrPedido->Checked();
    NrPedido.boIntervalo = rbtIntervalo->Checked();
    NrPedido.stDe = medDeIntervalo->Text();
    NrPedido.stAte = medAteIntervalo->Text();
    NrPedido.stLista = stPedido;
    Data.dtDe = depDe->GetDate();
    Data.dtAte = depAte->GetDate();
    Entrega.stDe = depEntrDE->Text();
    Entrega.stAte = depEntrAte->Text();
}

} // namespace Cli_zel08101
