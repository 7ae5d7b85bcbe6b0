// Loading: each move in the order list fetches that order's inconsistencies
// and resets the marking; the refresh reloads the list that has the focus.

#include "filter/Cli_zel08101.h"
#include "filter/TfrmFiltroIncons.h"
#include "host/Dialogs.h"
#include "host/ListDialogs.h"
#include "host/PadraoGrid.h"
#include "platform/data/KeyList.h"
#include "review/Cli_zel08100.h"
#include "review/TfrmIncPed.h"
#include "tests/review/ScreenFixture.h"
#include "tests/support/Modal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace zel;
using namespace zel::test;
namespace unit = Cli_zel08100;
namespace filter = Cli_zel08101;

namespace {

class LoadingTest : public ScreenTest {
protected:
    // The filter dialog as a confirmed query of these orders leaves it.
    filter::TfrmFiltroIncons* lastQuery(const QString& filial, const QStringList& orders)
    {
        if (!filter::frmFiltroIncons) filter::frmFiltroIncons = CreateForm<filter::TfrmFiltroIncons>();
        filter::TfrmFiltroIncons* f = filter::frmFiltroIncons;
        f->stCdFilial = filial;
        f->stNrPedidoDe.clear();
        f->stNrPedidoAte.clear();
        f->stListaPedido = KeyList::Join(orders);
        f->stTodosPedidos.clear();
        f->dtPedidoDe = TDateTime::fromDate(QDate(2026, 1, 2));
        f->dtPedidoAte = TDateTime::fromDate(QDate(2026, 1, 3));
        f->stTodasDtPedido = QStringLiteral("T");
        f->dtEntregaDe = TDateTime();
        f->dtEntregaAte = TDateTime();
        f->stTodasDtEntrega = QStringLiteral("T");
        return f;
    }
    QString currentOrder() const { return screen->cdsPedido.FieldByName(QStringLiteral("NRPEDIDO"))->AsString(); }
    void next() { click(screen->dbnPadrao->Button(TNavigateBtn::nbNext)); }
};

} // namespace

TEST_F(LoadingTest, EachMoveInTheOrderListFetchesItsInconsistenciesAndResetsTheMarking)
{
    const Order a = AddOrder(*server_, QStringLiteral("0001"), {{}, {}});
    const Order b = AddOrder(*server_, QStringLiteral("0001"), {{QStringLiteral("S")}});
    const Order c = AddOrder(*server_, QStringLiteral("0001"), {{}, {}, {}});
    ASSERT_NE(openOrder(a), nullptr);
    filter::TfrmFiltroIncons* query = lastQuery(a.filial, {a.nrPedido, b.nrPedido, c.nrPedido});

    // The refresh in the order grid repeats the filter's last query exactly.
    clickCell(screen->dbgPadrao, 0, 1);
    ASSERT_EQ(activeName(), QStringLiteral("dbgPadrao"));
    click(screen->sbtVerificar);
    ASSERT_EQ(spy->count(QStringLiteral("GetPedido")), 1);
    EXPECT_EQ(
        spy->of(QStringLiteral("GetPedido"))[0].args,
        QStringList({query->stCdFilial, "", "", query->stListaPedido, "", QString::number(query->dtPedidoDe.msecs()),
                     QString::number(query->dtPedidoAte.msecs()), "T", "0", "0", "T"}));
    ASSERT_EQ(screen->cdsPedido.RecordCount(), 3);
    EXPECT_EQ(currentOrder(), a.nrPedido);
    EXPECT_EQ(screen->cdsIncPed.RecordCount(), 2);

    // A mark on the first order, then a move with the navigator.
    clickCell(screen->dbgIncPed, 0, kCheck);
    ASSERT_EQ(unit::inConPedCheck, 1);
    ASSERT_TRUE(screen->btnLiberar->isEnabled());
    ASSERT_TRUE(screen->sbtFiltro->isEnabled());
    for (const Order& o : {b, c}) {
        spy->clear();
        next();
        EXPECT_EQ(currentOrder(), o.nrPedido);
        const auto fetches = spy->of(QStringLiteral("GetIncPed"));
        ASSERT_EQ(fetches.size(), 1u) << o.nrPedido.toStdString();
        EXPECT_EQ(fetches[0].args, QStringList({o.filial, o.nrPedido}));
        EXPECT_EQ(fetches[0].aviKind, TAviKind::Fetching);
        EXPECT_EQ(fetches[0].aviDepth, 1);
        EXPECT_EQ(unit::inConPedCheck, 0);
        EXPECT_FALSE(screen->btnLiberar->isEnabled()) << "also when the first row is marked";
        EXPECT_FALSE(screen->mnuLiberar->isEnabled());
        EXPECT_FALSE(screen->sbtFiltro->isEnabled()) << "given-order mode keeps the filter button off";
    }
    EXPECT_EQ(screen->cdsIncPed.RecordCount(), 3);
    EXPECT_EQ(screen->dbgIncPed->model()->rowCount(), 3);

    // The same moves in the filter mode leave the filter button on.
    unit::criaFiltro = true;
    click(screen->dbnPadrao->Button(TNavigateBtn::nbFirst));
    EXPECT_EQ(currentOrder(), a.nrPedido);
    EXPECT_TRUE(screen->sbtFiltro->isEnabled());
    clickCell(screen->dbgIncPed, 1, kCheck);
    EXPECT_TRUE(screen->btnLiberar->isEnabled());
    EXPECT_FALSE(screen->sbtFiltro->isEnabled()) << "filter mode: off while the release is on";
    unit::criaFiltro = false;
    EXPECT_TRUE(MessageSeam::history().empty());
}

TEST_F(LoadingTest, TheRefreshReloadsOnlyTheListThatHasTheFocus)
{
    const Order a = AddOrder(*server_, QStringLiteral("0001"), {{}, {}});
    ASSERT_NE(openOrder(a), nullptr);
    clickCell(screen->dbgIncPed, 0, kCheck);
    ASSERT_EQ(unit::inConPedCheck, 1);

    // In the note memo: nothing is reloaded.
    screen->pgcIncPed->SetActivePage(screen->tshObs);
    click(screen->dmmObsIncPed);
    ASSERT_EQ(activeName(), QStringLiteral("dmmObsIncPed"));
    spy->clear();
    click(screen->sbtVerificar);
    EXPECT_TRUE(spy->calls.empty());

    // In the inconsistency grid: the server's rows; the count and the
    // release entries stay.
    screen->pgcIncPed->SetActivePage(screen->tshIncPed);
    clickCell(screen->dbgIncPed, 1, kDescricao);
    ASSERT_FALSE(screen->btnLiberar->isEnabled());
    spy->clear();
    click(screen->sbtVerificar);
    EXPECT_EQ(spy->count(QStringLiteral("GetIncPed")), 1);
    EXPECT_EQ(spy->count(QStringLiteral("GetPedido")), 0);
    EXPECT_EQ(unit::inConPedCheck, 1);
    EXPECT_EQ(incValue(0, "ATIVA"), QStringLiteral("S")) << "as stored by the tick";
    EXPECT_TRUE(screen->btnLiberar->isEnabled()) << "the reload's first row is the marked one";

    // In the order grid, with no query made yet: nothing is fetched, nothing shown.
    clickCell(screen->dbgPadrao, 0, 1);
    spy->clear();
    click(screen->sbtVerificar);
    EXPECT_TRUE(spy->calls.empty());
    EXPECT_EQ(screen->cdsPedido.RecordCount(), 1);
    EXPECT_TRUE(MessageSeam::history().empty());

    // A query whose fetch fails: both grids keep their rows.
    lastQuery(a.filial, {a.nrPedido});
    spy->failAt[QStringLiteral("GetPedido")] = 1;
    spy->failAsResult = false;
    click(screen->sbtVerificar);
    EXPECT_EQ(spy->count(QStringLiteral("GetPedido")), 1);
    EXPECT_EQ(screen->cdsPedido.RecordCount(), 1);
    EXPECT_EQ(screen->cdsIncPed.RecordCount(), 2);
    EXPECT_TRUE(MessageSeam::history().empty());
    EXPECT_EQ(ShowAviDepth(), 0);
}

TEST_F(LoadingTest, AnOrderListReloadedEmptyEmptiesTheInconsistenciesAndTheToolsFollow)
{
    const Order a = AddOrder(*server_, QStringLiteral("0001"), {{}, {}});
    ASSERT_NE(openOrder(a), nullptr);
    clickCell(screen->dbgIncPed, 0, kCheck);
    ASSERT_TRUE(screen->btnLiberar->isEnabled());

    // Entering the order grid with orders: refresh and find on, edit off.
    clickCell(screen->dbgPadrao, 0, 1);
    EXPECT_TRUE(screen->sbtVerificar->isEnabled());
    EXPECT_TRUE(screen->mnuVerificar->isEnabled());
    EXPECT_TRUE(screen->sbtProcurar->isEnabled());
    EXPECT_FALSE(screen->sbtAlterar->isEnabled());
    EXPECT_FALSE(screen->mnuAlterar->isEnabled());

    ASSERT_EQ(screen->cdsIncPed.RecordCount(), 2);
    // An empty answer: list a number no order has.
    lastQuery(a.filial, {QStringLiteral("0999999999")});
    spy->clear();
    click(screen->sbtVerificar);
    EXPECT_EQ(spy->count(QStringLiteral("GetPedido")), 1);
    EXPECT_TRUE(screen->cdsPedido.IsEmpty());
    EXPECT_TRUE(screen->cdsIncPed.IsEmpty()) << "no inconsistencies of an order no longer listed";
    EXPECT_EQ(screen->dbgIncPed->model()->rowCount(), 0);
    EXPECT_FALSE(screen->btnLiberar->isEnabled());
    EXPECT_FALSE(screen->mnuLiberar->isEnabled());
    EXPECT_EQ(unit::inConPedCheck, 0);

    // Entering the empty order grid again: refresh, find and edit off.
    screen->dbgIncPed->setFocus();
    screen->dbgPadrao->setFocus();
    EXPECT_FALSE(screen->sbtVerificar->isEnabled());
    EXPECT_FALSE(screen->mnuVerificar->isEnabled());
    EXPECT_FALSE(screen->sbtProcurar->isEnabled());
    EXPECT_FALSE(screen->mnuProcurar->isEnabled());
    EXPECT_FALSE(screen->sbtAlterar->isEnabled());
    EXPECT_TRUE(MessageSeam::history().empty());
}

TEST_F(LoadingTest, FindSearchesTheListThatHasTheFocusAndTheRowChangeFollows)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{}, {}, {QStringLiteral("S")}});
    ASSERT_NE(openOrder(o), nullptr);
    clickCell(screen->dbgIncPed, 0, kDescricao);
    ASSERT_FALSE(screen->btnLiberar->isEnabled());
    spy->clear();
    {
        const auto dialog = WhenModal<TfrmProcura>([](TfrmProcura* d) {
            EXPECT_EQ(d->cbxCampo->findText(QStringLiteral("Nr. Pedido")), -1) << "the order list's fields";
            d->cbxCampo->setCurrentIndex(d->cbxCampo->findText(QStringLiteral("Nr.Item")));
            QTest::keyClicks(d->edtTexto, IncKey(3));
            d->btnProcurar->click();
        });
        click(screen->sbtProcurar);
    }
    EXPECT_EQ(screen->cdsIncPed.CurrentRow(), 2);
    const auto items = spy->of(QStringLiteral("GetItem"));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].args, QStringList({o.filial, o.nrPedido, IncKey(3), "S"}));
    EXPECT_TRUE(screen->btnLiberar->isEnabled()) << "the found row is marked";

    // From the order grid the dialog searches the orders.
    clickCell(screen->dbgPadrao, 0, 1);
    {
        const auto dialog = WhenModal<TfrmProcura>([](TfrmProcura* d) {
            EXPECT_NE(d->cbxCampo->findText(QStringLiteral("Nr. Pedido")), -1);
            d->btnFechar->click();
        });
        click(screen->sbtProcurar);
    }
    EXPECT_TRUE(MessageSeam::history().empty());
}
