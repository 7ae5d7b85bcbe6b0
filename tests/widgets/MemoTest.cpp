#include "platform/data/Exceptions.h"
#include "platform/widgets/DBCtrls.h"
#include "tests/widgets/Fixtures.h"

#include <QToolButton>

using namespace zel;
using namespace zel::test;

namespace {

class MemoTest : public WidgetTest {
protected:
    void SetUp() override
    {
        WidgetTest::SetUp();
        ds = makeIncs(); // the note field holds 20 characters
        src = std::make_unique<TDataSource>(QStringLiteral("dtsIncPedido"), ds.get());
        memo = new TDBMemo(&window, QStringLiteral("dmmObsIncPed"));
        memo->setGeometry(0, 0, 300, 100);
        memo->setDataSource(src.get());
        memo->setDataField(QStringLiteral("TXOBSLIBINCO"));
        window.resize(300, 100);
    }
    QWidget window;
    std::unique_ptr<TClientDataSet> ds;
    std::unique_ptr<TDataSource> src;
    TDBMemo* memo = nullptr;
};

} // namespace

TEST_F(MemoTest, ShowsTheFieldAndEditsAtTheFirstKeyThatChangesTheText)
{
    loadIncs(*ds, 2);
    EXPECT_EQ(memo->Text(), QStringLiteral("nota 1"));
    ds->Next();
    EXPECT_EQ(memo->Text(), QStringLiteral("nota 2"));
    showActive(window);
    memo->setFocus();
    // Moving the cursor changes nothing: still browsing.
    QTest::keyClick(memo, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_Left);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    QTest::keyClick(memo, Qt::Key_End);
    QTest::keyClicks(memo, QStringLiteral("!"));
    EXPECT_EQ(ds->State(), TDataSetState::dsEdit);
    EXPECT_EQ(ds->FieldByName("TXOBSLIBINCO")->AsString(), QStringLiteral("nota 2")); // not yet handed in
    ds->Post();
    EXPECT_EQ(ds->FieldByName("TXOBSLIBINCO")->AsString(), QStringLiteral("nota 2!"));
    EXPECT_EQ(ds->ChangeCount(), 1);
    // A cancel shows the field's value again.
    QTest::keyClick(memo, Qt::Key_Backspace);
    EXPECT_EQ(memo->Text(), QStringLiteral("nota 2"));
    ds->Cancel();
    EXPECT_EQ(memo->Text(), QStringLiteral("nota 2!"));
}

TEST_F(MemoTest, NeverGrowsPastTheFieldSize)
{
    loadIncs(*ds, 1);
    showActive(window);
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(memo, QStringLiteral("abcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ(memo->Text(), QStringLiteral("nota 1abcdefghijklmn"));
    EXPECT_EQ(memo->Text().size(), 20);
    ds->Post();
    EXPECT_EQ(ds->FieldByName("TXOBSLIBINCO")->AsString().size(), 20);
}

TEST_F(MemoTest, KeysDroppedByTheHandlerOrRefusedByTheDataSetChangeNothing)
{
    ds->BeforeInsert = [](TDataSet*) { Abort(); };
    loadIncs(*ds, 0);
    showActive(window);
    memo->setFocus();
    // The data set refuses (an empty list takes no rows): quietly nothing.
    QTest::keyClicks(memo, QStringLiteral("abc"));
    EXPECT_EQ(memo->Text(), QString());
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(reported().isEmpty());

    // The handler sees each key first; a null key is dropped, a changed one typed.
    loadIncs(*ds, 1);
    QString seen;
    memo->OnKeyPress = [&](QObject* sender, QChar& key) {
        EXPECT_EQ(sender, memo);
        seen += key;
        if (key == QLatin1Char('x'))
            key = QChar();
        else if (key == QLatin1Char('a'))
            key = QLatin1Char('A');
    };
    QTest::keyClick(memo, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_X);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse); // a dropped key starts no edit
    QTest::keyClicks(memo, QStringLiteral("ab"));
    EXPECT_EQ(memo->Text(), QStringLiteral("nota 1Ab"));
    EXPECT_EQ(seen, QStringLiteral("xab"));
}

TEST(DBText, ShowsTheCurrentRowsFieldAndNavigatorMovesAndDisablesAtTheEnds)
{
    auto ds = makeOrders();
    TDataSource src(QStringLiteral("dtsPedido"), ds.get());
    TDBText label(nullptr, QStringLiteral("dbtNome"));
    label.setDataSource(&src);
    label.setDataField(QStringLiteral("NRPEDIDO"));
    TDBNavigator nav(nullptr, QStringLiteral("dbnPadrao"));
    nav.setDataSource(&src);
    int scrolls = 0;
    ds->AfterScroll = [&](TDataSet*) { ++scrolls; };
    EXPECT_FALSE(nav.Button(TNavigateBtn::nbNext)->isEnabled());

    loadOrders(*ds, 3);
    EXPECT_EQ(label.text(), QStringLiteral("0000000001"));
    EXPECT_FALSE(nav.Button(TNavigateBtn::nbPrior)->isEnabled());
    EXPECT_TRUE(nav.Button(TNavigateBtn::nbLast)->isEnabled());
    scrolls = 0;
    QTest::mouseClick(nav.Button(TNavigateBtn::nbNext), Qt::LeftButton);
    EXPECT_EQ(label.text(), QStringLiteral("0000000002"));
    QTest::mouseClick(nav.Button(TNavigateBtn::nbLast), Qt::LeftButton);
    EXPECT_EQ(label.text(), QStringLiteral("0000000003"));
    EXPECT_FALSE(nav.Button(TNavigateBtn::nbNext)->isEnabled());
    EXPECT_TRUE(nav.Button(TNavigateBtn::nbFirst)->isEnabled());
    QTest::mouseClick(nav.Button(TNavigateBtn::nbFirst), Qt::LeftButton);
    EXPECT_EQ(label.text(), QStringLiteral("0000000001"));
    EXPECT_EQ(scrolls, 3);
    EXPECT_EQ(nav.Button(TNavigateBtn::nbFirst)->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(nav.Button(TNavigateBtn::nbNext)->toolTip(), QStringLiteral("Próximo registro"));
    ds->Close();
    EXPECT_EQ(label.text(), QString());
}

namespace {
// One key press carrying a whole character, also one outside the basic plane.
void typeChar(QWidget* w, const QString& ch)
{
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, ch);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, ch);
    QApplication::sendEvent(w, &press);
    QApplication::sendEvent(w, &release);
}
} // namespace

// The release walk posts and moves with the list's controls disabled; what
// the operator typed in the memo must still be handed in, to its own row.
TEST_F(MemoTest, TypedTextIsHandedInWhenTheListPostsOrMovesWithControlsDisabled)
{
    loadIncs(*ds, 3);
    TField* note = ds->FieldByName("TXOBSLIBINCO");
    showActive(window);
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(memo, QStringLiteral("!"));
    ASSERT_EQ(ds->State(), TDataSetState::dsEdit);
    ds->DisableControls();
    ds->Post();
    ds->EnableControls();
    EXPECT_EQ(note->AsString(), QStringLiteral("nota 1!"));
    EXPECT_EQ(ds->ChangeCount(), 1);

    // A move inside the bracket posts the typed text instead of dropping it.
    ds->Next();
    QTest::keyClick(memo, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(memo, QStringLiteral("?"));
    ds->DisableControls();
    ds->First();
    ds->EnableControls();
    ds->Next();
    EXPECT_EQ(note->AsString(), QStringLiteral("nota 2?"));
    EXPECT_EQ(ds->ChangeCount(), 2);

    // Text of an edit cancelled inside the bracket belongs to no later edit.
    QTest::keyClicks(memo, QStringLiteral("x"));
    ds->DisableControls();
    ds->Cancel();
    ds->Next();
    ds->Edit();
    ds->Post();
    ds->EnableControls();
    EXPECT_EQ(note->AsString(), QStringLiteral("nota 3"));
    EXPECT_EQ(memo->Text(), QStringLiteral("nota 3"));
    ds->Prior();
    EXPECT_EQ(note->AsString(), QStringLiteral("nota 2?"));
    EXPECT_EQ(ds->ChangeCount(), 2);
}

TEST_F(MemoTest, KeysThatChangeNothingStartNoEdit)
{
    int inserts = 0;
    ds->BeforeInsert = [&](TDataSet*) {
        ++inserts;
        Abort();
    };
    loadIncs(*ds, 1); // "nota 1": 6 of 20 characters
    showActive(window);
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_Backspace);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse) << "Backspace at the start";
    QTest::keyClick(memo, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_Delete);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse) << "Delete at the end";
    QTest::keyClick(memo, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse) << "cut without a selection";

    QTest::keyClicks(memo, QStringLiteral("abcdefghijklmn"));
    ds->Post();
    ASSERT_EQ(memo->Text().size(), 20);
    QTest::keyClicks(memo, QStringLiteral("z"));
    QTest::keyClick(memo, Qt::Key_Return);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse) << "a character past the size";
    // Over a selection there is room again.
    QTest::keyClick(memo, Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClicks(memo, QStringLiteral("z"));
    EXPECT_EQ(ds->State(), TDataSetState::dsEdit);
    EXPECT_EQ(memo->Text(), QStringLiteral("nota 1abcdefghijklmz"));
    ds->Cancel();

    // On an empty list such keys do not even try to add a row.
    loadIncs(*ds, 0);
    QTest::keyClick(memo, Qt::Key_Backspace);
    QTest::keyClick(memo, Qt::Key_Delete);
    EXPECT_EQ(inserts, 0);
    QTest::keyClicks(memo, QStringLiteral("a"));
    EXPECT_EQ(inserts, 1);
    EXPECT_EQ(memo->Text(), QString());
    EXPECT_TRUE(reported().isEmpty());
}

TEST_F(MemoTest, ANoteTypedAndErasedIsNoChange)
{
    loadIncs(*ds, 2);
    TField* note = ds->FieldByName("TXOBSLIBINCO");
    ds->Edit();
    note->Clear();
    ds->Post();
    ds->MergeChangeLog();
    int afterPost = 0;
    ds->AfterPost = [&](TDataSet*) { ++afterPost; };
    showActive(window);
    memo->setFocus();
    QTest::keyClicks(memo, QStringLiteral("a"));
    QTest::keyClick(memo, Qt::Key_Backspace);
    ASSERT_EQ(ds->State(), TDataSetState::dsEdit);
    ds->Post();
    EXPECT_EQ(afterPost, 1);
    EXPECT_EQ(ds->ChangeCount(), 0);
    EXPECT_TRUE(note->IsNull());
    EXPECT_EQ(ds->Delta().rows_size(), 0);

    // A note emptied by the operator is a change: empty text, not null.
    ds->Next();
    QTest::keyClick(memo, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_Delete);
    ds->Post();
    EXPECT_EQ(ds->ChangeCount(), 1);
    EXPECT_FALSE(note->IsNull());
    EXPECT_EQ(note->AsString(), QString());
}

TEST_F(MemoTest, TheSizeCountsCharactersOutsideTheBasicPlaneAsOne)
{
    const QString clef = QString::fromUcs4(U"\U0001D11E");
    loadIncs(*ds, 1); // "nota 1": room for 14 more
    showActive(window);
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_End, Qt::ControlModifier);
    for (int i = 0; i < 15; ++i)
        typeChar(memo, clef);
    EXPECT_EQ(memo->Text(), QStringLiteral("nota 1") + clef.repeated(14));
    ds->Post();
    EXPECT_EQ(ds->FieldByName("TXOBSLIBINCO")->AsString(), QStringLiteral("nota 1") + clef.repeated(14));
    EXPECT_TRUE(reported().isEmpty());
}
