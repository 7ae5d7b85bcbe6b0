// The confirmation of the filter dialog: its checks in their order, the
// eleven query criteria, the orders loaded into the review screen, and what
// a failed query leaves.

#include "filter/Cli_zel08101.h"
#include "host/Dialogs.h"
#include "platform/data/DateTime.h"
#include "tests/filter/FilterFixture.h"

#include <QApplication>
#include <QTest>

using namespace zel;
using namespace filter_test;
using Cli_zel08101::TfrmFiltroIncons;
using zel::test::TServerSpy;
namespace unit = Cli_zel08101;

namespace {

const QString d09 = QStringLiteral("09/01/2026");
const QString d10 = QStringLiteral("10/01/2026");

// What a case sets in the dialog.
struct Criteria {
    TRadioButton* TfrmFiltroIncons::*mode;
    QString de, ate;       // interval edits
    QString pedDe, pedAte; // order dates
    QString entDe, entAte; // delivery dates
};

Criteria interval(const QString& de, const QString& ate, const QString& pedDe = d09, const QString& pedAte = d09)
{
    return {&TfrmFiltroIncons::rbtIntervalo, de, ate, pedDe, pedAte, {}, {}};
}

Criteria todos(const QString& pedDe, const QString& pedAte, const QString& entDe = {}, const QString& entAte = {})
{
    return {&TfrmFiltroIncons::rbtTNrPedido, {}, {}, pedDe, pedAte, entDe, entAte};
}

void apply(TfrmFiltroIncons* f, const Criteria& s)
{
    (f->*s.mode)->setChecked(true);
    f->medDeIntervalo->setText(s.de);
    f->medAteIntervalo->setText(s.ate);
    f->depDe->setText(s.pedDe);
    f->depAte->setText(s.pedAte);
    f->depEntrDE->setText(s.entDe);
    f->depEntrAte->setText(s.entAte);
}

} // namespace

TEST_F(FilterTest, EachCheckShowsOnlyItsMessageMovesTheFocusAsItSaysAndSendsNothing)
{
    const struct {
        const char* name;
        Criteria setup;
        const char* message;
        const char* focus; // the widget that gets it; null: it stays where it was
    } cases[] = {
        {"interval empty", interval("", ""), "Intervalo inicial deve ser informado.", "medDeIntervalo"},
        {"interval reversed", interval("0000000200", "0000000100"), "Intervalo inicial deve ser menor que o final.",
         "medDeIntervalo"},
        {"interval end only", interval("", "0000000100"), "Intervalo inicial deve ser informado.", "medDeIntervalo"},
        {"interval start only", interval("0000000100", ""), "Intervalo final deve ser informado.", "medAteIntervalo"},
        {"nothing picked",
         {&TfrmFiltroIncons::rbtLNrPedido, {}, {}, d09, d09, {}, {}},
         "Nr.do pedido deve ser informado.",
         nullptr},
        {"interval and dates wrong", interval("", "", d10, d09), "Intervalo inicial deve ser informado.",
         "medDeIntervalo"},
        {"order dates reversed", todos(d10, d09), "Data inicial deve ser menor que a final.", nullptr},
        {"order date to only", todos("", d09), "Data inicial deve ser informada.", nullptr},
        {"order date from only", todos(d09, ""), "Data final deve ser informada.", nullptr},
        {"delivery dates reversed", todos(d09, d09, d10, d09), "Data inicial deve ser menor que a final.", nullptr},
        {"delivery to only", todos(d09, d09, "", d09), "Data inicial deve ser informada.", nullptr},
        {"delivery from only", todos(d09, d09, d09, ""), "Data final deve ser informada.", nullptr},
        {"delivery no date", todos(d09, d09, "31/02/2026", d09), "\"31/02/2026\" não é uma data válida.",
         "depEntrDEEdit"},
    };
    ASSERT_TRUE(Show([&](TfrmFiltroIncons* f) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            apply(f, c.setup);
            f->rbtTNrPedido->setFocus();
            QWidget* before = f->focusWidget();
            MessageSeam::clearHistory();
            EXPECT_FALSE(Confirm(f));
            EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{QString::fromUtf8(c.message)});
            EXPECT_EQ(f->focusWidget(), c.focus ? f->findChild<QWidget*>(QString::fromLatin1(c.focus)) : before);
        }
        // Equal bounds and the same day pass.
        apply(f, {&TfrmFiltroIncons::rbtIntervalo, "0000000005", "0000000005", d09, d09, d10, d10});
        MessageSeam::clearHistory();
        EXPECT_TRUE(Confirm(f));
        EXPECT_TRUE(MessageSeam::history().empty());
    }));
    ASSERT_EQ(TServerSpy::pedidoCalls.size(), 1u) << "only the last confirmation reached the server";
    EXPECT_EQ(TServerSpy::pedidoCalls[0].texts, QStringList({"0001", "0000000005", "0000000005", "", "", "", ""}));
}

TEST_F(FilterTest, TheElevenCriteriaGoToTheServerAndTheAnswerFillsTheReviewScreen)
{
    const TDateTime today = TDateTime::Today();
    const zel::test::Order o = zel::test::OrderWithDelivery(QStringLiteral("0001"));
    TServerSpy::pedidoCalls.clear(); // that look-up is the test's own
    const TDateTime none;

    // All orders with the proposed dates: today, and no delivery restriction
    // (zero delivery dates before any confirmation).
    ASSERT_TRUE(Show([&](TfrmFiltroIncons* f) { EXPECT_TRUE(Confirm(f)); }));
    // One order by its interval, its own order day and delivery day.
    ASSERT_TRUE(Show([&](TfrmFiltroIncons* f) {
        apply(f, {&TfrmFiltroIncons::rbtIntervalo, o.nrPedido, o.nrPedido, DateToStr(o.dtPedido), DateToStr(o.dtPedido),
                  DateToStr(o.dtEntPed), DateToStr(o.dtEntPed)});
        EXPECT_TRUE(Confirm(f));
    }));
    EXPECT_EQ(ListedOrders(), QStringList{o.nrPedido});
    // All orders again: the delivery dates of the last confirmation go along.
    ASSERT_TRUE(Show([&](TfrmFiltroIncons* f) {
        apply(f, todos(DateToStr(today), DateToStr(today)));
        EXPECT_TRUE(Confirm(f));
    }));
    // A list of two picked orders, with a reversed interval left in the
    // disabled edits and no order dates: those two orders exactly.
    QStringList picked;
    ASSERT_TRUE(Show([&](TfrmFiltroIncons* f) {
        apply(f, interval("0000000009", "0000000003", "", ""));
        QTest::mouseClick(f->rbtLNrPedido, Qt::LeftButton);
        auto picker = PickRows({0, 2});
        QTest::mouseClick(f->sbtNrPedido, Qt::LeftButton);
        const int nr = f->cdsNrPedido.FieldByName(QStringLiteral("NRPEDIDO"))->Index();
        picked = {f->cdsNrPedido.ValueAt(0, nr).toString(), f->cdsNrPedido.ValueAt(2, nr).toString()};
        EXPECT_TRUE(Confirm(f));
    }));
    EXPECT_EQ(ListedOrders(), picked);
    EXPECT_EQ(unit::NrPedido.stDe, QStringLiteral("0000000009")) << "stored whatever the mode";
    EXPECT_EQ(unit::NrPedido.stAte, QStringLiteral("0000000003"));
    EXPECT_TRUE(unit::NrPedido.boLista);

    using Dates = std::array<TDateTime, 4>;
    const TDateTime ped = o.dtPedido.dateOnly(), ent = o.dtEntPed.dateOnly();
    const struct {
        QStringList texts;
        Dates dates;
    } expected[] = {
        {{"0001", "", "", "", "T", "", "T"}, Dates{today, today, none, none}},
        {{"0001", o.nrPedido, o.nrPedido, "", "", "", ""}, Dates{ped, ped, ent, ent}},
        {{"0001", "", "", "", "T", "", "T"}, Dates{today, today, ent, ent}},
        {{"0001", "", "", unit::NrPedido.stLista, "", "T", "T"}, Dates{today, today, ent, ent}},
    };
    ASSERT_EQ(TServerSpy::pedidoCalls.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(TServerSpy::pedidoCalls[i].texts, expected[i].texts);
        EXPECT_EQ(TServerSpy::pedidoCalls[i].dates, expected[i].dates);
    }
    // The dialog keeps the last query for the review screen's refresh.
    const TfrmFiltroIncons* f = unit::frmFiltroIncons;
    EXPECT_EQ((QStringList{f->stCdFilial, f->stNrPedidoDe, f->stNrPedidoAte, f->stListaPedido, f->stTodosPedidos,
                           f->stTodasDtPedido, f->stTodasDtEntrega}),
              expected[3].texts);
    EXPECT_EQ((Dates{f->dtPedidoDe, f->dtPedidoAte, f->dtEntregaDe, f->dtEntregaAte}), expected[3].dates);
}

TEST_F(FilterTest, AFailedQueryKeepsTheDialogOpenWithTheNewQueryButNotTheNewStoredCriteria)
{
    ASSERT_TRUE(Show([&](TfrmFiltroIncons* f) { EXPECT_TRUE(Confirm(f)); }));
    const QStringList listed = ListedOrders();
    TServerSpy::rejecting = {QStringLiteral("GetPedido")};
    ASSERT_TRUE(Show([&](TfrmFiltroIncons* f) {
        apply(f, interval("0000000001", "0000000003"));
        EXPECT_FALSE(Confirm(f)) << "stays open";
        EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{TServerSpy::RejectionText(QStringLiteral("GetPedido"))});
        EXPECT_EQ(f->stNrPedidoDe, QStringLiteral("0000000001")) << "the query criteria are the new ones";
        EXPECT_EQ(f->stTodosPedidos, QString());
        EXPECT_TRUE(unit::NrPedido.boTodos) << "the stored criteria are not";
    }));
    EXPECT_EQ(ListedOrders(), listed);
    TServerSpy::rejecting.clear();
    ASSERT_TRUE(Show([&](TfrmFiltroIncons* f) {
        EXPECT_TRUE(f->rbtTNrPedido->Checked());
        EXPECT_EQ(f->medDeIntervalo->Text(), QString());
    }));
}

TEST_F(FilterTest, WithoutTheReviewScreenTheDialogSaysSoInsteadOfQuerying)
{
    CloseScreen();
    ASSERT_TRUE(Show([&](TfrmFiltroIncons* f) {
        EXPECT_FALSE(Confirm(f));
        EXPECT_EQ(MessageSeam::errors(),
                  std::vector<QString>{QStringLiteral("A tela \"Inconsistência do Pedido\" não está aberta.")});
    }));
    EXPECT_EQ(Calls("GetPedido"), 0);
}

// The buttons take no focus, so the confirmation may come while an interval
// edit still holds the text as typed: both bounds are brought to their
// ten-digit form before they are checked and sent.
TEST_F(FilterTest, AnIntervalConfirmedWithTheFocusStillInItsEditIsAccepted)
{
    TServerSpy::pedidoCalls.clear();
    ASSERT_TRUE(Show([&](TfrmFiltroIncons* f) {
        QTest::mouseClick(f->rbtIntervalo, Qt::LeftButton);
        f->depDe->Clear();
        f->depAte->Clear();
        for (auto [edit, typed] : {std::pair{f->medAteIntervalo, "100"}, std::pair{f->medDeIntervalo, "20"}}) {
            QTest::mouseClick(edit, Qt::LeftButton);
            QTest::keyClick(edit, Qt::Key_Home);
            QTest::keyClicks(edit, QString::fromLatin1(typed));
        }
        ASSERT_EQ(f->medDeIntervalo->Text().trimmed(), QStringLiteral("20"));
        ASSERT_EQ(QApplication::focusWidget(), f->medDeIntervalo);
        EXPECT_TRUE(Confirm(f));
    }));
    EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{});
    ASSERT_EQ(TServerSpy::pedidoCalls.size(), 1u);
    EXPECT_EQ(TServerSpy::pedidoCalls[0].texts.mid(1, 2), (QStringList{"0000000020", "0000000100"}));
}
