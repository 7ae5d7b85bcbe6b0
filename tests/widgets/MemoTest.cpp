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
