#include "platform/data/Exceptions.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DBGridModel.h"
#include "platform/widgets/FormFocus.h"
#include "tests/widgets/Fixtures.h"

#include <QHeaderView>
#include <QLineEdit>

using namespace zel;
using namespace zel::test;

namespace {

class GridTest : public WidgetTest {
protected:
    void SetUp() override
    {
        WidgetTest::SetUp();
        window.resize(700, 300);
        grid = new TDBGrid(&window, QStringLiteral("dbgPadrao"));
        grid->setGeometry(0, 0, 700, 300);
        ds = makeOrders();
        ds->AfterScroll = [this](TDataSet*) { ++scrolls; };
        src = std::make_unique<TDataSource>(QStringLiteral("dtsPedido"), ds.get());
        grid->setDataSource(src.get());
    }

    QPoint cellCenter(int row, int column) { return grid->visualRect(grid->Model()->index(row, column)).center(); }
    void clickCell(int row, int column)
    {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCenter(row, column));
    }
    void clickTitle(int column)
    {
        QHeaderView* h = grid->horizontalHeader();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                          QPoint(h->sectionViewportPosition(column) + 4, h->height() / 2));
    }
    QString cell(int row, int column) { return grid->Model()->index(row, column).data().toString(); }
    QString title(int column) { return grid->Model()->headerData(column, Qt::Horizontal).toString(); }

    // The data outlives the window: the grid, torn down first, never sees its
    // source go away under it (nor calls the test's handlers then).
    std::unique_ptr<TClientDataSet> ds;
    std::unique_ptr<TDataSource> src;
    QWidget window;
    TDBGrid* grid = nullptr;
    int scrolls = 0;
};

} // namespace

TEST_F(GridTest, CurrentRowFollowsTheDataSetAndTheDataSetFollowsClicksAndKeys)
{
    loadOrders(*ds, 5);
    showActive(window);
    EXPECT_EQ(grid->currentIndex().row(), 0);

    // A move of the dataset moves the grid.
    ds->Last();
    EXPECT_EQ(grid->currentIndex().row(), 4);
    ds->setRecNo(2);
    EXPECT_EQ(grid->currentIndex().row(), 1);

    // A click moves the dataset by its own navigation: AfterScroll runs once.
    scrolls = 0;
    clickCell(3, 1);
    EXPECT_EQ(ds->CurrentRow(), 3);
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(ds->FieldByName("NRPEDIDO")->AsString(), QStringLiteral("0000000004"));

    // Keys too.
    QTest::keyClick(grid, Qt::Key_Up);
    EXPECT_EQ(ds->CurrentRow(), 2);
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(ds->CurrentRow(), 4);
    EXPECT_EQ(scrolls, 3);

    // A reload starts again at the first row, in the grid as well.
    loadOrders(*ds, 3);
    EXPECT_EQ(grid->Model()->rowCount(), 3);
    EXPECT_EQ(grid->currentIndex().row(), 0);
    ds->Close();
    EXPECT_EQ(grid->Model()->rowCount(), 0);
    EXPECT_TRUE(reported().isEmpty());
}

TEST_F(GridTest, AMoveTheDataSetRefusesLeavesTheGridOnTheDataSetsRow)
{
    loadOrders(*ds, 4);
    showActive(window);
    ds->BeforeScroll = [](TDataSet*) { throw EDatabaseError(QStringLiteral("recusado")); };
    clickCell(2, 0);
    EXPECT_EQ(ds->CurrentRow(), 0);
    EXPECT_EQ(grid->currentIndex().row(), 0);
    EXPECT_EQ(reported(), QStringList{QStringLiteral("recusado")}); // shown, not crashed
}

TEST_F(GridTest, SelectedFieldAndColumnEnterFollowTheClickedColumn)
{
    for (const char* f : {"IDSITPEDIDO", "NRPEDIDO", "NMFANTCLIE"})
        grid->AddColumn(QString::fromLatin1(f));
    loadOrders(*ds, 3);
    int colEnters = 0;
    grid->OnColEnter = [&](QObject* sender) {
        EXPECT_EQ(sender, grid);
        ++colEnters;
    };
    QStringList clicked;
    grid->OnCellClick = [&](TColumn* c) {
        clicked << c->FieldName() + QLatin1Char('/') + grid->SelectedField()->FieldName();
    };
    grid->setOptions(grid->Options() | dgRowSelect);
    showActive(window);

    EXPECT_EQ(grid->SelectedIndex(), 0);
    clickCell(1, 2);
    EXPECT_EQ(grid->SelectedField()->FieldName(), QStringLiteral("NMFANTCLIE"));
    EXPECT_EQ(ds->CurrentRow(), 1);
    EXPECT_EQ(colEnters, 1);
    clickCell(1, 2); // same column: no column entered again
    EXPECT_EQ(colEnters, 1);
    EXPECT_EQ(clicked, (QStringList{QStringLiteral("NMFANTCLIE/NMFANTCLIE"), QStringLiteral("NMFANTCLIE/NMFANTCLIE")}));

    QTest::keyClick(grid, Qt::Key_Left);
    EXPECT_EQ(grid->SelectedIndex(), 1);
    EXPECT_EQ(colEnters, 2);
    grid->setSelectedIndex(0);
    EXPECT_EQ(grid->SelectedField()->FieldName(), QStringLiteral("IDSITPEDIDO"));
    EXPECT_EQ(colEnters, 3);
}

TEST_F(GridTest, TitleClickGivesTheClickedColumn)
{
    grid->AddColumn(QStringLiteral("NRPEDIDO"));
    grid->AddColumn(QStringLiteral("NMFANTCLIE"));
    loadOrders(*ds, 2);
    QStringList titles;
    grid->OnTitleClick = [&](TColumn* c) { titles << c->FieldName(); };
    int colEnters = 0;
    grid->OnColEnter = [&](QObject*) { ++colEnters; };
    showActive(window);
    clickTitle(1);
    clickTitle(0);
    EXPECT_EQ(titles, (QStringList{QStringLiteral("NMFANTCLIE"), QStringLiteral("NRPEDIDO")}));
    // A title click moves neither the row nor the current column.
    EXPECT_EQ(ds->CurrentRow(), 0);
    EXPECT_EQ(grid->SelectedIndex(), 0);
    clickTitle(1);
    EXPECT_EQ(grid->SelectedIndex(), 0);
    EXPECT_EQ(colEnters, 0);
}

TEST_F(GridTest, HiddenFieldsAreNeverShownAndTitlesFallBackToTheDisplayLabel)
{
    loadOrders(*ds, 1);
    // Columns made from the fields: only the visible ones.
    QStringList shown;
    for (int c = 0; c < grid->Model()->columnCount(); ++c)
        shown << title(c);
    EXPECT_EQ(shown, (QStringList{QStringLiteral("Situação"), QStringLiteral("Nr. Pedido"), QStringLiteral("Cliente"),
                                  QStringLiteral("Vr. Pedido")}));

    // Own columns: a hidden field stays hidden, an own title wins.
    grid->AddColumn(QStringLiteral("IDSITPEDIDO"))->Title.setCaption(QStringLiteral("Sit."));
    grid->AddColumn(QStringLiteral("CDCLIENTE"));
    grid->AddColumn(QStringLiteral("NRPEDIDO"));
    ASSERT_EQ(grid->Model()->columnCount(), 2);
    EXPECT_EQ(title(0), QStringLiteral("Sit."));
    EXPECT_EQ(title(1), QStringLiteral("Nr. Pedido"));

    // A field hidden later disappears at the next change of the data.
    ds->FieldByName("NRPEDIDO")->setVisible(false);
    loadOrders(*ds, 2);
    EXPECT_EQ(grid->Model()->columnCount(), 1);

    // The check column's title in the symbol face is a check mark, not a 4.
    TColumn* check = grid->AddColumn(QStringLiteral("NMFANTCLIE"));
    check->Title.setCaption(QStringLiteral("4"));
    check->Title.Font = TFont(QStringLiteral("Monotype Sorts"), -11, 0, colors::clWindow);
    grid->LayoutChanged();
    EXPECT_EQ(title(1), QString(QChar(0x2714)));
}

TEST_F(GridTest, CellsShowTheFieldsDisplayText)
{
    ds->FieldByName("IDSITPEDIDO")->OnGetText = [](TField* f, QString& text, bool) {
        static const QHash<QString, QString> names{{"1", "PE"}, {"2", "AN"}, {"3", "LQ"}, {"4", "CN"}, {"5", "LQ"}};
        text = names.value(f->AsString());
    };
    loadOrders(*ds,
               {{"5", "1", "A", 1234.5}, {"3", "2", "B", 0.0}, {"7", "3", "C", -1000000.0}, {"", "4", "D", 0.001}});
    EXPECT_EQ(cell(0, 0), QStringLiteral("LQ"));
    EXPECT_EQ(cell(1, 0), QStringLiteral("LQ"));
    EXPECT_EQ(cell(2, 0), QString());
    EXPECT_EQ(cell(3, 0), QString());
    EXPECT_EQ(cell(0, 3), QStringLiteral("1.234,50"));
    EXPECT_EQ(cell(1, 3), QStringLiteral("0,00"));
    EXPECT_EQ(cell(2, 3), QStringLiteral("-1.000.000,00"));
    // Rows other than the current one are read as themselves.
    EXPECT_EQ(ds->CurrentRow(), 0);
    EXPECT_EQ(cell(3, 1), QStringLiteral("4"));
    EXPECT_EQ(grid->Model()->index(0, 3).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight, Qt::AlignRight);
}

TEST_F(GridTest, DrawHandlerPaintsEachRowWithThatRowAsTheActiveRecord)
{
    loadOrders(*ds, 3);
    grid->setOptions(grid->Options() | dgAlwaysShowSelection | dgRowSelect);
    QStringList seen;
    QColor selectedBrush, plainBrush;
    grid->OnDrawColumnCell = [&](QObject* sender, const QRect& r, int, TColumn* c, TGridDrawState state) {
        EXPECT_EQ(sender, grid);
        ASSERT_NE(grid->Canvas(), nullptr);
        if (c->FieldName() != QLatin1String("NRPEDIDO")) return;
        seen << ds->FieldByName("NRPEDIDO")->AsString();
        (state & gdSelected ? selectedBrush : plainBrush) = grid->Canvas()->Brush.Color;
        grid->Canvas()->Brush.Color = QColor(1, 2, 3);
        grid->Canvas()->FillRect(r);
    };
    showActive(window);
    const QImage shot = grid->grab().toImage();
    seen.removeDuplicates();
    seen.sort();
    EXPECT_EQ(seen,
              (QStringList{QStringLiteral("0000000001"), QStringLiteral("0000000002"), QStringLiteral("0000000003")}));
    EXPECT_EQ(ds->CurrentRow(), 0); // drawing moved nothing
    EXPECT_NE(selectedBrush, plainBrush);
    // What the handler painted is on the screen.
    const QRect r = grid->visualRect(grid->Model()->index(1, 1)).translated(grid->viewport()->pos());
    EXPECT_EQ(shot.pixelColor(r.center()), QColor(1, 2, 3));
}

TEST_F(GridTest, KeyPressMayChangeOrDropTheKeyAndKeyDownSeesKeysFirst)
{
    grid->AddColumn(QStringLiteral("NMFANTCLIE"));
    loadOrders(*ds, 2);
    QString keys;
    QList<int> downs;
    grid->OnKeyDown = [&](QObject*, int& key, Qt::KeyboardModifiers) {
        downs << key;
        if (key == Qt::Key_F5) key = 0; // dropped
    };
    grid->OnKeyPress = [&](QObject* sender, QChar& key) {
        EXPECT_EQ(sender, grid);
        keys += key;
        if (key == QLatin1Char('x')) key = QLatin1Char('y');
        if (key == QLatin1Char(' ')) key = QChar();
    };
    showActive(window);
    // A dropped key starts no edit.
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_FALSE(grid->EditorMode());
    // A changed key reaches the cell editor as the new key.
    QTest::keyClick(grid, Qt::Key_X);
    auto* editor = grid->findChild<QLineEdit*>(QStringLiteral("cellEditor"));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), QStringLiteral("y"));
    EXPECT_EQ(ds->State(), TDataSetState::dsEdit);
    EXPECT_EQ(keys, QStringLiteral(" x"));
    EXPECT_EQ(downs, (QList<int>{Qt::Key_Space, Qt::Key_X}));
}

TEST_F(GridTest, CellEditorPutsTheRowInEditAndHandsItsTextInOnPost)
{
    grid->AddColumn(QStringLiteral("NRPEDIDO"))->setReadOnly(true);
    grid->AddColumn(QStringLiteral("NMFANTCLIE"));
    loadOrders(*ds, 2);
    showActive(window);

    // A read-only column opens no editor.
    QTest::keyClick(grid, Qt::Key_A);
    EXPECT_EQ(grid->findChild<QLineEdit*>(QStringLiteral("cellEditor")), nullptr);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);

    clickCell(0, 1);
    typeText(QStringLiteral("Novo"));
    EXPECT_EQ(ds->State(), TDataSetState::dsEdit);
    // The post takes the text still in the editor.
    ds->Post();
    EXPECT_EQ(ds->FieldByName("NMFANTCLIE")->AsString(), QStringLiteral("Novo"));
    EXPECT_EQ(ds->ChangeCount(), 1);

    // The grid read-only as a whole: nothing opens.
    grid->setReadOnly(true);
    QTest::keyClick(grid, Qt::Key_Z);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(ds->FieldByName("NMFANTCLIE")->AsString(), QStringLiteral("Novo"));
}

TEST_F(GridTest, InsertRefusedByTheDataSetIsSilent)
{
    ds->BeforeInsert = [](TDataSet*) { Abort(); };
    loadOrders(*ds, 2);
    showActive(window);
    QTest::keyClick(grid, Qt::Key_Insert);
    ds->Last();
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(ds->RecordCount(), 2);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(grid->Model()->rowCount(), 2);
    EXPECT_TRUE(reported().isEmpty());

    // Typing into an empty list that refuses rows changes nothing either.
    loadOrders(*ds, 0);
    QTest::keyClicks(grid, QStringLiteral("ab"));
    EXPECT_EQ(ds->RecordCount(), 0);
    EXPECT_TRUE(reported().isEmpty());
}

TEST_F(GridTest, InsertAndAppendAddARowTheGridShowsAndEscapeTakesItBack)
{
    loadOrders(*ds, 2);
    showActive(window);
    QTest::keyClick(grid, Qt::Key_Insert);
    EXPECT_EQ(ds->State(), TDataSetState::dsInsert);
    EXPECT_EQ(grid->Model()->rowCount(), 3);
    EXPECT_EQ(grid->currentIndex().row(), 0);
    QTest::keyClick(grid, Qt::Key_Escape);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(grid->Model()->rowCount(), 2);

    ds->Last();
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(ds->State(), TDataSetState::dsInsert);
    EXPECT_EQ(grid->currentIndex().row(), 2);
    // Leaving the grid drops the new row that was never filled.
    auto* other = new QLineEdit(&window);
    other->move(0, 280);
    other->show();
    grid->setFocus();
    other->setFocus();
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(grid->Model()->rowCount(), 2);
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Down);
    // Without the editing option the keys add nothing.
    ds->Cancel();
    grid->setOptions(grid->Options() & ~dgEditing);
    QTest::keyClick(grid, Qt::Key_Insert);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
}

TEST_F(GridTest, ADrawHandlerFailureIsShownOnceAfterThePaintAndTypingMovesNoRow)
{
    loadOrders(*ds, 3);
    int draws = 0;
    grid->OnDrawColumnCell = [&](QObject*, const QRect&, int, TColumn*, TGridDrawState) {
        ++draws;
        throw EDatabaseError(QStringLiteral("pintura"));
    };
    showActive(window);
    grid->grab();
    EXPECT_GT(draws, 1);
    EXPECT_TRUE(reported().isEmpty()); // not inside the paint
    ASSERT_TRUE(QTest::qWaitFor([] { return !reported().isEmpty(); }));
    EXPECT_EQ(reported(), QStringList{QStringLiteral("pintura")});

    // Read-only: letters neither edit nor jump to a row whose text starts with them.
    grid->OnDrawColumnCell = nullptr;
    grid->setReadOnly(true);
    QTest::keyClicks(grid, QStringLiteral("C3"));
    EXPECT_EQ(ds->CurrentRow(), 0);
}

// The marking pattern of the inconsistency list: a check column drawn as
// pictures, toggled by a click in it or by the space bar, editing switched
// off on that column, every toggle posted; a post the server refuses undoes
// the row and the grid follows the list again.
TEST_F(GridTest, CheckColumnTogglesThroughClickAndSpaceAndFollowsARefusedPost)
{
    auto incs = makeIncs();
    TDataSource dts(QStringLiteral("dtsIncPedido"), incs.get());
    grid->setDataSource(&dts);
    grid->setOptions(dgTitles | dgColumnResize | dgColLines | dgRowLines | dgTabs | dgRowSelect |
                     dgAlwaysShowSelection | dgConfirmDelete | dgCancelOnExit);
    TColumn* check = grid->AddColumn(QStringLiteral("ATIVA"));
    check->Title.setCaption(QStringLiteral("4"));
    check->Title.Font = TFont(QStringLiteral("Monotype Sorts"), -11);
    grid->AddColumn(QStringLiteral("CDCONSPEDIDO"))->setReadOnly(true);
    grid->AddColumn(QStringLiteral("NMCONSPEDIDO"))->setReadOnly(true);
    bool refuse = false;
    incs->BeforeInsert = [](TDataSet*) { Abort(); };
    incs->AfterPost = [&](TDataSet* d) {
        if (refuse) {
            d->CancelUpdates();
            throw EDatabaseError(QStringLiteral("servidor recusou"));
        }
        d->MergeChangeLog();
    };
    auto toggle = [&] {
        incs->Edit();
        TField* f = incs->FieldByName("ATIVA");
        f->setAsString(f->AsString() == QLatin1String("N") ? QStringLiteral("S") : QStringLiteral("N"));
        incs->Post();
    };
    auto editingFollowsColumn = [&](QObject*) {
        const bool onCheck = grid->SelectedField() && grid->SelectedField()->FieldName() == QLatin1String("ATIVA");
        grid->setOptions(onCheck ? grid->Options() & ~dgEditing : grid->Options() | dgEditing);
    };
    grid->OnColEnter = editingFollowsColumn;
    SetOnEnter(grid, editingFollowsColumn);
    grid->OnCellClick = [&](TColumn*) {
        if (!incs->IsEmpty() && grid->SelectedField()->FieldName() == QLatin1String("ATIVA")) toggle();
    };
    grid->OnKeyPress = [&](QObject*, QChar& key) {
        if (key == QLatin1Char(' ') && !incs->IsEmpty()) toggle();
    };
    QStringList drawn;
    grid->OnDrawColumnCell = [&](QObject*, const QRect& r, int, TColumn* c, TGridDrawState) {
        grid->Canvas()->FillRect(r);
        if (c->FieldName() == QLatin1String("ATIVA")) {
            QPixmap box(16, 16);
            box.fill(incs->FieldByName("ATIVA")->AsString() == QLatin1String("S") ? Qt::black : Qt::white);
            grid->Canvas()->Draw(r.left() + (r.width() - 16) / 2, r.top() + (r.height() - 16) / 2, box);
            drawn << incs->FieldByName("CDCONSPEDIDO")->AsString() + incs->FieldByName("ATIVA")->AsString();
        }
    };
    loadIncs(*incs, 3);
    showActive(window);
    grid->setFocus();
    EXPECT_FALSE(grid->Options() & dgEditing); // entered on the check column

    clickCell(1, 0);
    EXPECT_EQ(incs->CurrentRow(), 1);
    EXPECT_EQ(incs->FieldByName("ATIVA")->AsString(), QStringLiteral("S"));
    EXPECT_EQ(incs->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(grid->Model()->index(1, 0).data().toString(), QStringLiteral("S"));

    // A click on another column toggles nothing and turns editing on there.
    clickCell(2, 2);
    EXPECT_EQ(incs->FieldByName("ATIVA")->AsString(), QStringLiteral("N"));
    EXPECT_TRUE(grid->Options() & dgEditing);
    // The space bar toggles whatever column is current, and opens no editor.
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(incs->FieldByName("ATIVA")->AsString(), QStringLiteral("S"));
    EXPECT_FALSE(grid->EditorMode());
    EXPECT_EQ(incs->CurrentRow(), 2);

    // Insert is refused silently; a refused post keeps the old mark, shown.
    QTest::keyClick(grid, Qt::Key_Insert);
    EXPECT_EQ(incs->RecordCount(), 3);
    refuse = true;
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(incs->FieldByName("ATIVA")->AsString(), QStringLiteral("S"));
    EXPECT_EQ(reported(), QStringList{QStringLiteral("servidor recusou")});
    EXPECT_EQ(grid->currentIndex().row(), 2);

    // The pictures are drawn from each drawn row's own mark.
    drawn.clear();
    grid->grab();
    drawn.removeDuplicates();
    drawn.sort();
    EXPECT_EQ(drawn, (QStringList{"001N", "002S", "003S"}));
    EXPECT_EQ(grid->Model()->headerData(0, Qt::Horizontal).toString(), QString(QChar(0x2714)));
}

TEST_F(GridTest, AFailingTextHandlerIsReportedOnceWhileTheSameDataIsShown)
{
    loadOrders(*ds, 3);
    ds->FieldByName("NMFANTCLIE")->OnGetText = [](TField*, QString&, bool) {
        throw EDatabaseError(QStringLiteral("texto"));
    };
    showActive(window);
    grid->grab();
    ASSERT_TRUE(QTest::qWaitFor([] { return !reported().isEmpty(); }));
    // Every repaint fails again; the operator is told once, not at each one.
    for (int i = 0; i < 3; ++i) {
        grid->grab();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(reported(), QStringList{QStringLiteral("texto")});
    // New data that fails the same way is told again.
    loadOrders(*ds, 2);
    grid->grab();
    ASSERT_TRUE(QTest::qWaitFor([] { return reported().size() == 2; }));
}

TEST_F(GridTest, TextTypedInACellIsHandedInWhenTheDataSetPostsOrMovesWithControlsDisabled)
{
    grid->AddColumn(QStringLiteral("NMFANTCLIE"));
    loadOrders(*ds, 3);
    TField* name = ds->FieldByName("NMFANTCLIE");
    showActive(window);
    clickCell(0, 0);
    typeText(QStringLiteral("Novo"));
    ASSERT_EQ(ds->State(), TDataSetState::dsEdit);
    ds->DisableControls();
    ds->Post();
    ds->EnableControls();
    EXPECT_EQ(name->AsString(), QStringLiteral("Novo"));

    clickCell(1, 0);
    typeText(QStringLiteral("Outro"));
    ds->DisableControls();
    ds->Next();
    ds->EnableControls();
    EXPECT_EQ(ds->CurrentRow(), 2);
    ds->Prior();
    EXPECT_EQ(name->AsString(), QStringLiteral("Outro"));
    EXPECT_EQ(ds->ChangeCount(), 2);

    // A null cell typed in and erased again is no change.
    ds->Last();
    ds->Edit();
    name->Clear();
    ds->Post();
    ds->MergeChangeLog();
    clickCell(2, 0);
    typeText(QStringLiteral("a"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    ASSERT_EQ(ds->State(), TDataSetState::dsEdit);
    ds->Post();
    EXPECT_EQ(ds->ChangeCount(), 0);
    EXPECT_TRUE(name->IsNull());
    EXPECT_TRUE(reported().isEmpty());
}

// A blank row inserted and not touched is cancelled by the move away from it;
// the grid lands on the row the operator pointed at all the same.
TEST_F(GridTest, AMoveAwayFromABlankInsertedRowLandsOnTheRowAimedAt)
{
    loadOrders(*ds, 5);
    showActive(window);
    auto insertAtSecondRow = [&] {
        ds->setRecNo(2);
        QTest::keyClick(grid, Qt::Key_Insert); // 001, blank, 002, 003, ...
        ASSERT_EQ(ds->State(), TDataSetState::dsInsert);
        ASSERT_EQ(grid->currentIndex().row(), 1);
    };
    auto order = [&] { return ds->FieldByName("NRPEDIDO")->AsString(); };

    struct Case {
        const char* name;
        std::function<void()> move;
        QString lands;
    };
    const std::vector<Case> cases{
        {"click below", [&] { clickCell(3, 1); }, QStringLiteral("0000000003")},
        {"click further below", [&] { clickCell(5, 1); }, QStringLiteral("0000000005")},
        {"click above", [&] { clickCell(0, 1); }, QStringLiteral("0000000001")},
        {"Down", [&] { QTest::keyClick(grid, Qt::Key_Down); }, QStringLiteral("0000000002")},
        {"Up", [&] { QTest::keyClick(grid, Qt::Key_Up); }, QStringLiteral("0000000001")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        insertAtSecondRow();
        c.move();
        EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
        EXPECT_EQ(ds->RecordCount(), 5);
        EXPECT_EQ(order(), c.lands);
        EXPECT_EQ(grid->currentIndex().row(), ds->CurrentRow());
    }
    EXPECT_TRUE(reported().isEmpty());
}

// Neither grid of the review screen adds rows from the keyboard: the order
// grid is read-only, and the inconsistency grid has editing only on columns
// that are read-only themselves (off on its check column). Whether or not the
// list refuses inserts, Down on the last row and Insert leave it as it is.
TEST_F(GridTest, GridsWhoseCurrentCellTakesNoTypingAddNoRows)
{
    const TDBGridOptions reviewOptions = dgTitles | dgColumnResize | dgColLines | dgRowLines | dgTabs | dgRowSelect |
                                         dgAlwaysShowSelection | dgConfirmDelete | dgCancelOnExit;
    auto incs = makeIncs();
    TDataSource dts(QStringLiteral("dtsIncPedido"), incs.get());
    // Torn down before the list it shows.
    auto incGridOwner = std::make_unique<TDBGrid>(&window, QStringLiteral("dbgIncPed"));
    TDBGrid* incGrid = incGridOwner.get();
    incGrid->setGeometry(0, 150, 700, 150);
    grid->setGeometry(0, 0, 700, 150);
    incGrid->setDataSource(&dts);
    incGrid->setOptions(reviewOptions);
    incGrid->AddColumn(QStringLiteral("ATIVA"));
    incGrid->AddColumn(QStringLiteral("CDCONSPEDIDO"))->setReadOnly(true);
    incGrid->AddColumn(QStringLiteral("NMCONSPEDIDO"))->setReadOnly(true);
    auto editingOffOnTheCheckColumn = [&](QObject*) {
        const bool onCheck =
            incGrid->SelectedField() && incGrid->SelectedField()->FieldName() == QLatin1String("ATIVA");
        incGrid->setOptions(onCheck ? incGrid->Options() & ~dgEditing : incGrid->Options() | dgEditing);
    };
    incGrid->OnColEnter = editingOffOnTheCheckColumn;
    SetOnEnter(incGrid, editingOffOnTheCheckColumn);
    grid->setReadOnly(true);
    grid->setOptions(reviewOptions);

    for (bool refuse : {false, true}) {
        SCOPED_TRACE(refuse ? "inserts refused" : "inserts allowed");
        TDataSet::TDataSetNotifyEvent refusal;
        if (refuse) refusal = [](TDataSet*) { Abort(); };
        incs->BeforeInsert = refusal;
        ds->BeforeInsert = refusal;
        loadIncs(*incs, 2);
        loadOrders(*ds, 2);
        showActive(window);
        struct Target {
            TDBGrid* grid;
            TDataSet* data;
            int column;
        };
        for (const Target& t :
             {Target{grid, ds.get(), 0}, Target{incGrid, incs.get(), 0}, Target{incGrid, incs.get(), 2}}) {
            SCOPED_TRACE(t.grid->objectName().toStdString() + " column " + std::to_string(t.column));
            t.grid->setFocus();
            QTest::mouseClick(t.grid->viewport(), Qt::LeftButton, {},
                              t.grid->visualRect(t.grid->Model()->index(1, t.column)).center());
            ASSERT_EQ(t.data->CurrentRow(), 1);
            QTest::keyClick(t.grid, Qt::Key_Down);
            QTest::keyClick(t.grid, Qt::Key_Insert);
            EXPECT_EQ(t.data->State(), TDataSetState::dsBrowse);
            EXPECT_EQ(t.data->RecordCount(), 2);
            EXPECT_EQ(t.grid->Model()->rowCount(), 2);
        }
    }
    EXPECT_TRUE(incGrid->Options() & dgEditing); // the rule holds where editing is on
    EXPECT_TRUE(reported().isEmpty());
}

TEST_F(GridTest, ACellEditorTakesAsManyCharactersAsItsFieldHolds)
{
    const QString clef = QString::fromUcs4(U"\U0001D11E");
    grid->AddColumn(QStringLiteral("CDFILIAL")); // holds 4
    ds->FieldByName("CDFILIAL")->setVisible(true);
    loadOrders(*ds, 1);
    showActive(window);
    clickCell(0, 0);
    QTest::keyClick(grid, Qt::Key_F2);
    auto* editor = grid->findChild<QLineEdit*>(QStringLiteral("cellEditor"));
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    for (const QString& ch : {clef, clef, QStringLiteral("a"), clef, clef}) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, ch);
        QApplication::sendEvent(editor, &press);
    }
    EXPECT_EQ(editor->text(), clef + clef + QStringLiteral("a") + clef);
    ds->Post();
    EXPECT_EQ(ds->FieldByName("CDFILIAL")->AsString(), clef + clef + QStringLiteral("a") + clef);
    EXPECT_TRUE(reported().isEmpty());
}
