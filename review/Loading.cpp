// Loading the order list and the inconsistencies of the current order; refresh, find and filter.

#include "filter/Cli_zel08101.h"
#include "filter/TfrmFiltroIncons.h"
#include "host/Application.h"
#include "host/ListDialogs.h"
#include "host/ResultCheck.h"
#include "host/WaitAnimation.h"
#include "review/GuardedFetch.h"
#include "review/TfrmIncPed.h"

namespace Cli_zel08100 {

using namespace zel;

void TfrmIncPed::loadIncPed()
{
    const QString filial = cdsPedido.FieldByName(QStringLiteral("CDFILIAL"))->AsString();
    const QString pedido = cdsPedido.FieldByName(QStringLiteral("NRPEDIDO"))->AsString();
    cdsIncPed.SetData(CheckResultServ(AppServer().GetIncPed(filial, pedido), true, 0));
}

void TfrmIncPed::reloadOrders()
{
    const Cli_zel08101::TfrmFiltroIncons* f = Cli_zel08101::frmFiltroIncons;
    if (!f) return; // no query was ever made: nothing to repeat
    cdsPedido.SetData(
        CheckResultServ(AppServer().GetPedido(f->stCdFilial, f->stNrPedidoDe, f->stNrPedidoAte, f->stListaPedido,
                                              f->stTodosPedidos, f->dtPedidoDe, f->dtPedidoAte, f->stTodasDtPedido,
                                              f->dtEntregaDe, f->dtEntregaAte, f->stTodasDtEntrega),
                        true, 0));
}

QString TfrmIncPed::BranchCode() const
{
    return medCdFilial->Text();
}

IrdmIncPed& TfrmIncPed::OrderServer()
{
    return AppServer();
}

void TfrmIncPed::LoadOrders(const data::DataPacket& packet)
{
    cdsPedido.SetData(packet);
}

void TfrmIncPed::resetMarking()
{
    setMarkedCount(0);
    decideRelease(false, true);
}

void TfrmIncPed::cdsPedidoAfterScroll(TDataSet*)
{
    // A failed fetch leaves the previous order's rows; the marking is reset all the same.
    GuardedFetch([this] { loadIncPed(); });
    resetMarking();
}

// An order list loaded without any order moves to no order, so the scroll
// handling does not run. The inconsistencies of the order shown before would
// stay on the screen under an empty order list, open to marking and release;
// they are dropped instead and the marking is reset as for a move.
void TfrmIncPed::cdsPedidoAfterOpen(TDataSet* DataSet)
{
    if (!DataSet->IsEmpty()) return;
    cdsIncPed.Close();
    cdsItemPedido.Close();
    resetMarking();
}

void TfrmIncPed::sbtVerificarClick(QObject*)
{
    if (activeControlName().isEmpty()) return;
    try {
        TShowAviScope avi(TAviKind::Fetching, MainForm());
        if (activeControlName() == QLatin1String("dbgPadrao")) reloadOrders();
        // Refreshing the inconsistencies keeps the count and the release entries.
        if (activeControlName() == QLatin1String("dbgIncPed")) loadIncPed();
    } catch (...) {
        // As for every fetch of the screen: the lists keep their rows.
    }
}

void TfrmIncPed::sbtProcurarClick(QObject*)
{
    if (activeControlName().isEmpty()) return;
    if (activeControlName() == QLatin1String("dbgPadrao") && dtsPedido.DataSet() && dtsPedido.DataSet()->Active())
        Procura(dtsPedido.DataSet());
    if (activeControlName() == QLatin1String("dbgIncPed") && dtsIncPedido.DataSet() && dtsIncPedido.DataSet()->Active())
        Procura(dtsIncPedido.DataSet());
}

void TfrmIncPed::sbtFiltroClick(QObject*)
{
    Cli_zel08101::CriaFiltroInc();
}

void TfrmIncPed::cdsPedidoIDSITPEDIDOGetText(TField* Sender, QString& Text, bool /*DisplayText*/)
{
    const QString code = Sender->IsNull() ? QString() : Sender->AsString();
    if (code == QLatin1String("1"))
        Text = QStringLiteral("PE");
    else if (code == QLatin1String("2"))
        Text = QStringLiteral("AN");
    else if (code == QLatin1String("3") || code == QLatin1String("5"))
        Text = QStringLiteral("LQ");
    else if (code == QLatin1String("4"))
        Text = QStringLiteral("CN");
    else
        Text.clear();
}

void TfrmIncPed::dbgPadraoEnter(QObject*)
{
    if (activeControlName() == QLatin1String("dbgPadrao")) orderGridTools();
}

void TfrmIncPed::orderGridTools()
{
    // Orders are not edited on this screen.
    state_.area = ReviewState::Area::Orders;
    state_.areaReady = cdsPedido.State() == TDataSetState::dsBrowse && !cdsPedido.IsEmpty();
    updateTools();
}

} // namespace Cli_zel08100
