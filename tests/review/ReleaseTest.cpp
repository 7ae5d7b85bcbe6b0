// The release of the marked inconsistencies and the storing of every post,
// against the real server; faults injected through the server link.

#include "host/Dialogs.h"
#include "host/Login.h"
#include "platform/data/Guard.h"
#include "review/Cli_zel08100.h"
#include "review/TfrmIncPed.h"
#include "tests/review/ScreenFixture.h"
#include "tests/support/Packets.h"

#include <QTest>

using namespace zel;
using namespace zel::test;
namespace unit = Cli_zel08100;

namespace {

class ReleaseTest : public ScreenTest {
protected:
    QStringList rowKeys() const
    {
        QStringList k;
        for (int r = 0; r < screen->cdsIncPed.RecordCount(); ++r)
            k << incValue(r, "NRINCONSPED");
        return k;
    }
    bool stamped(int row) const
    {
        return !incValue(row, "DTLIBEINCONS").isEmpty() || !incValue(row, "CDOPERLIBE").isEmpty();
    }
    // The stamp's time of a send "NNN:CDOPERLIBE=op,DTLIBEINCONS=@ms".
    static TDateTime sentTime(const QString& arg)
    {
        const qsizetype at = arg.indexOf(QLatin1Char('@'));
        return at < 0 ? TDateTime() : TDateTime::fromMSecs(arg.mid(at + 1).toLongLong());
    }
};

} // namespace

TEST_F(ReleaseTest, ReleasingTheFirstAndThirdOfThreeSendsOneStampedRowEachThenShowsTheServersRows)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{QStringLiteral("S")}, {}, {QStringLiteral("S")}});
    ASSERT_NE(openOrder(o), nullptr);
    clickCell(screen->dbgIncPed, 0, kDescricao);
    ASSERT_TRUE(screen->btnLiberar->isEnabled()) << "the current row is marked and the operator may release";
    const int count = unit::inConPedCheck;
    spy->clear();

    const TDateTime before = TDateTime::Now();
    click(screen->btnLiberar);
    const TDateTime after = TDateTime::Now();

    // One send per marked row before the walk goes on, a fetch of the item at
    // every move, then the reload and the item of its first row.
    EXPECT_EQ(spy->methods(), QStringList({"GetItem", "SetIncPed", "GetItem", "GetItem", "SetIncPed", "GetItem",
                                           "GetIncPed", "GetItem"}));
    const auto sends = spy->of(QStringLiteral("SetIncPed"));
    ASSERT_EQ(sends.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(sends[size_t(i)].args.size(), 1);
        const QString& arg = sends[size_t(i)].args[0];
        EXPECT_TRUE(arg.startsWith(i == 0 ? QStringLiteral("001:CDOPERLIBE=0001,DTLIBEINCONS=@")
                                          : QStringLiteral("003:CDOPERLIBE=0001,DTLIBEINCONS=@")))
            << arg.toStdString();
        EXPECT_GE(sentTime(arg), before);
        EXPECT_LE(sentTime(arg), after);
        EXPECT_EQ(sends[size_t(i)].aviKind, TAviKind::Storing);
    }
    EXPECT_EQ(spy->of(QStringLiteral("GetIncPed"))[0].aviKind, TAviKind::Fetching);
    EXPECT_EQ(spy->of(QStringLiteral("GetIncPed"))[0].args, QStringList({o.filial, o.nrPedido}));

    // Released rows leave the list of pending ones; the unmarked row stays.
    EXPECT_EQ(rowKeys(), QStringList{"002"});
    const StoredInc first = Stored(*server_, o, 1), second = Stored(*server_, o, 2), third = Stored(*server_, o, 3);
    EXPECT_EQ(first.cdOperLibe, QStringLiteral("0001"));
    EXPECT_EQ(first.dtLibe, sentTime(sends[0].args[0]));
    EXPECT_EQ(first.history, 1);
    EXPECT_EQ(third.cdOperLibe, QStringLiteral("0001"));
    EXPECT_EQ(second.cdOperLibe, QString());
    EXPECT_TRUE(second.dtLibe.isZero());
    EXPECT_EQ(second.history, 0);
    EXPECT_EQ(unit::inConPedCheck, count) << "a release leaves the count";
    EXPECT_FALSE(screen->btnLiberar->isEnabled()) << "the reloaded first row is not marked";
    EXPECT_FALSE(screen->cdsIncPed.ControlsDisabled());
    EXPECT_TRUE(MessageSeam::history().empty());
}

TEST_F(ReleaseTest, CtrlBReleasesOnlyWhileTheEntryIsEnabledAndAnEmptyReloadLeavesTheEntries)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{}});
    ASSERT_NE(openOrder(o), nullptr);
    clickCell(screen->dbgIncPed, 0, kDescricao);
    ASSERT_FALSE(screen->mnuLiberar->isEnabled());
    key(screen->dbgIncPed, Qt::Key_B, Qt::ControlModifier);
    EXPECT_TRUE(spy->calls.empty()) << "no release while the entry is disabled";

    key(screen->dbgIncPed, Qt::Key_Space);
    ASSERT_TRUE(screen->mnuLiberar->isEnabled());
    spy->clear();
    key(screen->dbgIncPed, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(spy->count(QStringLiteral("SetIncPed")), 1);
    EXPECT_EQ(Stored(*server_, o, 1).cdOperLibe, QStringLiteral("0001"));

    // The reload brought no row: the entries stay as the walk left them.
    EXPECT_EQ(screen->cdsIncPed.RecordCount(), 0);
    EXPECT_TRUE(screen->mnuLiberar->isEnabled());
    EXPECT_TRUE(screen->btnLiberar->isEnabled());

    // Releasing the empty list sends nothing and shows nothing; its row
    // change disables the entries.
    spy->clear();
    key(screen->dbgIncPed, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(spy->count(QStringLiteral("SetIncPed")), 0);
    EXPECT_EQ(spy->count(QStringLiteral("GetItem")), 0) << "no inconsistency, no item to ask for";
    EXPECT_EQ(spy->count(QStringLiteral("GetIncPed")), 1);
    EXPECT_TRUE(MessageSeam::history().empty());
    EXPECT_FALSE(screen->mnuLiberar->isEnabled());

    // The title of an empty list changes no row; the entries follow the count.
    ASSERT_EQ(unit::inConPedCheck, 1);
    spy->clear();
    clickTitle(screen->dbgIncPed, kCheck);
    EXPECT_TRUE(spy->calls.empty());
    EXPECT_TRUE(screen->mnuLiberar->isEnabled()) << "the count is above 0";

    // Nothing adds a row to the list: neither the insert key, nor the edit
    // button, nor typing a note.
    key(screen->dbgIncPed, Qt::Key_Insert);
    click(screen->sbtAlterar);
    screen->pgcIncPed->SetActivePage(screen->tshObs);
    screen->dmmObsIncPed->setFocus();
    type(screen->dmmObsIncPed, QStringLiteral("nota"));
    EXPECT_EQ(screen->cdsIncPed.RecordCount(), 0);
    EXPECT_EQ(screen->cdsIncPed.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(screen->dmmObsIncPed->toPlainText(), QString());
    EXPECT_TRUE(MessageSeam::history().empty());
    EXPECT_EQ(spy->count(QStringLiteral("SetIncPed")), 0);
}

TEST_F(ReleaseTest, ASendFailingAtTheSecondMarkedRowKeepsTheFirstAndStopsTheWalk)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"),
                             {{QStringLiteral("S"), true, QStringLiteral("nota antiga")},
                              {QStringLiteral("S"), true, QStringLiteral("nota antiga")},
                              {QStringLiteral("S")}});
    ASSERT_NE(openOrder(o), nullptr);
    clickCell(screen->dbgIncPed, 0, kDescricao);
    spy->failAt[QStringLiteral("SetIncPed")] = 2;

    click(screen->btnLiberar);
    EXPECT_EQ(spy->count(QStringLiteral("SetIncPed")), 2);
    EXPECT_EQ(spy->count(QStringLiteral("GetIncPed")), 0) << "no reload after a failed walk";
    EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{spy->failText});

    EXPECT_EQ(rowKeys(), QStringList({"001", "002", "003"}));
    EXPECT_TRUE(stamped(0)) << "the first row was stored with its stamps";
    EXPECT_FALSE(stamped(1)) << "the failing row is back to its old values";
    EXPECT_EQ(incValue(1, "TXOBSLIBINCO"), QStringLiteral("nota antiga"));
    EXPECT_EQ(incValue(1, "ATIVA"), QStringLiteral("S"));
    EXPECT_FALSE(stamped(2)) << "the walk stopped before the third row";
    EXPECT_EQ(screen->cdsIncPed.ChangeCount(), 0);
    EXPECT_EQ(Stored(*server_, o, 1).cdOperLibe, QStringLiteral("0001"));
    EXPECT_EQ(Stored(*server_, o, 2).cdOperLibe, QString());
    EXPECT_EQ(Stored(*server_, o, 3).cdOperLibe, QString());

    // The grid follows the list again.
    EXPECT_FALSE(screen->cdsIncPed.ControlsDisabled());
    EXPECT_EQ(screen->dbgIncPed->currentIndex().row(), screen->cdsIncPed.CurrentRow());
    EXPECT_EQ(screen->dbgIncPed->model()->rowCount(), 3);
}

TEST_F(ReleaseTest, AnItemFetchFailingMidWalkStopsItAndAFailingReloadKeepsTheLocalRows)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{QStringLiteral("S")}, {}, {QStringLiteral("S")}});
    ASSERT_NE(openOrder(o), nullptr);
    clickCell(screen->dbgIncPed, 0, kDescricao);

    // The item of the third row cannot be fetched: the walk ends there.
    spy->failAt[QStringLiteral("GetItem")] = 3;
    spy->failAsResult = false;
    spy->clear();
    click(screen->btnLiberar);
    EXPECT_EQ(spy->methods(), QStringList({"GetItem", "SetIncPed", "GetItem", "GetItem"}));
    ASSERT_EQ(MessageSeam::errors().size(), 1u) << "the link's failure reaches the operator";
    EXPECT_TRUE(stamped(0));
    EXPECT_FALSE(stamped(2));
    EXPECT_EQ(Stored(*server_, o, 3).cdOperLibe, QString());
    EXPECT_FALSE(screen->cdsIncPed.ControlsDisabled());

    // Again, now with the reload failing: no message, the local rows stay,
    // stamps and all, and the wait animation has stopped.
    spy->failAt.clear();
    spy->failAt[QStringLiteral("GetIncPed")] = 1;
    MessageSeam::clearHistory();
    clickCell(screen->dbgIncPed, 2, kDescricao);
    ASSERT_TRUE(screen->btnLiberar->isEnabled());
    spy->clear();
    click(screen->btnLiberar);
    // The first row, released by the failed walk, is not sent again.
    ASSERT_EQ(spy->of(QStringLiteral("SetIncPed")).size(), 1u);
    EXPECT_TRUE(spy->of(QStringLiteral("SetIncPed"))[0].args.value(0).startsWith(QStringLiteral("003:")));
    EXPECT_EQ(spy->count(QStringLiteral("GetIncPed")), 1);
    EXPECT_TRUE(MessageSeam::history().empty());
    EXPECT_EQ(rowKeys(), QStringList({"001", "002", "003"}));
    EXPECT_TRUE(stamped(2));
    EXPECT_EQ(Stored(*server_, o, 3).cdOperLibe, QStringLiteral("0001"));
    EXPECT_EQ(ShowAviDepth(), 0);
}

TEST_F(ReleaseTest, ANoteStillBeingTypedIsStoredBeforeTheReleaseWalk)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{QStringLiteral("S")}, {}});
    ASSERT_NE(openOrder(o), nullptr);
    clickCell(screen->dbgIncPed, 0, kDescricao);
    screen->pgcIncPed->SetActivePage(screen->tshObs);
    click(screen->dmmObsIncPed);
    type(screen->dmmObsIncPed, QStringLiteral("conferido"));
    ASSERT_EQ(screen->cdsIncPed.State(), TDataSetState::dsEdit);
    ASSERT_TRUE(screen->mnuLiberar->isEnabled());

    key(screen->dmmObsIncPed, Qt::Key_B, Qt::ControlModifier);
    const auto sends = spy->of(QStringLiteral("SetIncPed"));
    ASSERT_EQ(sends.size(), 2u);
    EXPECT_EQ(sends[0].args, QStringList{"001:TXOBSLIBINCO=conferido"}) << "the note first, as typed";
    EXPECT_TRUE(sends[1].args.value(0).startsWith(QStringLiteral("001:CDOPERLIBE=0001,DTLIBEINCONS=@")));
    const StoredInc first = Stored(*server_, o, 1);
    EXPECT_EQ(first.note, QStringLiteral("conferido"));
    EXPECT_EQ(first.cdOperLibe, QStringLiteral("0001"));
    EXPECT_EQ(rowKeys(), QStringList{"002"});
    EXPECT_TRUE(MessageSeam::history().empty());
}

TEST_F(ReleaseTest, APostedItemIsSentAndUndoneWhenTheServerRefusesIt)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{}});
    ASSERT_NE(openOrder(o), nullptr);
    TClientDataSet& item = screen->cdsItemPedido;
    ASSERT_EQ(item.RecordCount(), 1);
    TField* situacao = item.FieldByName(QStringLiteral("IDSITITEMPED"));
    auto post = [&](const char* value) {
        return Guarded([&] {
            item.Edit();
            situacao->setAsString(QString::fromLatin1(value));
            item.Post();
        });
    };

    ASSERT_TRUE(post("2"));
    ASSERT_EQ(spy->count(QStringLiteral("SetItem")), 1);
    EXPECT_EQ(spy->of(QStringLiteral("SetItem"))[0].args, QStringList{"001:IDSITITEMPED=2"});
    EXPECT_EQ(spy->of(QStringLiteral("SetItem"))[0].aviKind, TAviKind::Storing);
    EXPECT_EQ(item.ChangeCount(), 0);

    spy->failAt[QStringLiteral("SetItem")] = 2;
    EXPECT_FALSE(post("3")) << "the poster learns of the failure";
    EXPECT_EQ(situacao->AsString(), QStringLiteral("2"));
    EXPECT_EQ(item.ChangeCount(), 0);
    EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{spy->failText});
}

TEST_F(ReleaseTest, OnlyAMarkOfExactlyCapitalSIsReleased)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{}});
    ASSERT_NE(openOrder(o), nullptr);
    // Rows as another server might send them: unmarked, blank, lower-case.
    PacketFor rows(screen->cdsIncPed);
    for (const char* mark : {"N", "", "s"})
        rows.row({{"CDFILIAL", Variant(o.filial)},
                  {"NRPEDIDO", Variant(o.nrPedido)},
                  {"NRINCONSPED", Variant(IncKey(1))},
                  {"ATIVA", Variant(QString::fromLatin1(mark))}});
    screen->cdsIncPed.SetData(rows.Take());
    spy->clear();
    screen->btnLiberarClick(screen->btnLiberar);
    EXPECT_EQ(spy->count(QStringLiteral("SetIncPed")), 0);
    EXPECT_EQ(spy->count(QStringLiteral("GetIncPed")), 1) << "the walk ends with the reload";
    EXPECT_EQ(rowKeys(), QStringList{"001"}) << "the server's row";
    EXPECT_TRUE(MessageSeam::history().empty());
}

// A stamp refused between the edit and the post (an operator code longer
// than its field) leaves no row in edit: the row is back to its values and
// the list can be worked again.
TEST_F(ReleaseTest, AStampRefusedBeforeThePostLeavesNoRowInEdit)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{QStringLiteral("S")}, {}});
    ASSERT_NE(openOrder(o), nullptr);
    clickCell(screen->dbgIncPed, 0, kDescricao);
    ASSERT_TRUE(screen->btnLiberar->isEnabled());
    const TLoginInfo login = CurrentLogin();
    TLoginInfo longCode = login;
    longCode.operador = QStringLiteral("0001000100010");
    SetLogin(longCode);
    click(screen->btnLiberar);
    SetLogin(login);
    ASSERT_EQ(MessageSeam::errors().size(), 1u);
    EXPECT_FALSE(screen->cdsIncPed.IsEditing());
    EXPECT_FALSE(stamped(0));
    EXPECT_EQ(spy->count(QStringLiteral("SetIncPed")), 0);
    EXPECT_TRUE(Stored(*server_, o, 1).cdOperLibe.isEmpty());

    // The list is worked again: the next mark is stored.
    clickCell(screen->dbgIncPed, 1, kCheck);
    EXPECT_EQ(incValue(1, "ATIVA"), QStringLiteral("S"));
    EXPECT_EQ(Stored(*server_, o, 2).ativa, QStringLiteral("S"));
}
