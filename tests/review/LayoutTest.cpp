// The review screen's components, datasets and the behaviour the layout
// itself gives: columns, formats, the shortcut and the splitter.

#include "filter/TfrmFiltroIncons.h"
#include "host/Application.h"
#include "platform/data/DateTime.h"
#include "platform/widgets/DBGridModel.h"
#include "review/Cli_zel08100.h"
#include "review/Pictures.h"
#include "review/TfrmIncPed.h"
#include "tests/support/Packets.h"
#include "tests/support/ReviewFixture.h"
#include "tests/widgets/AccessibilityCheck.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyleOptionHeader>
#include <QTest>

#include <map>

using namespace zel;
using namespace zel::test;
namespace unit = Cli_zel08100;

namespace {

class LayoutTest : public ReviewTest {
protected:
    void SetUp() override
    {
        ReviewTest::SetUp();
        if (HasFatalFailure()) return;
        unit::IniProc({Variant(true), Variant(""), Variant(""), Variant(""), Variant("")});
        screen = unit::frmIncPed;
        ASSERT_NE(screen, nullptr);
    }
    template <class T = QWidget> T* child(const char* name) const
    {
        return screen->findChild<T*>(QString::fromUtf8(name));
    }
    // Loads orders into the order list as the server would send them.
    void loadOrders(const std::vector<std::pair<Variant, double>>& situationAndValue)
    {
        PacketFor orders(screen->cdsPedido);
        for (const auto& [sit, value] : situationAndValue)
            orders.row({{"IDSITPEDIDO", sit},
                        {"NRPEDIDO", QStringLiteral("%1").arg(orders.rowCount() + 1, 10, 10, QLatin1Char('0'))},
                        {"CDCLIENTE", "000007"},
                        {"NMFANTCLIE", "CLIENTE"},
                        {"DTPEDIDO", TDateTime::fromDate(QDate(2026, 1, 5))},
                        {"DTENTPED", TDateTime::fromDate(QDate(2026, 1, 20))},
                        {"CDVENDEDOR", "0003"},
                        {"NMFANVEN", "VENDEDOR"},
                        {"VRPEDIDO", value},
                        {"CDFILIAL", "0001"}});
        screen->cdsPedido.SetData(orders.Take());
    }
    QString orderCell(int row, int column) const
    {
        return screen->dbgPadrao->Model()->index(row, column).data().toString();
    }
    unit::TfrmIncPed* screen = nullptr;
};

QStringList shownFields(TDBGrid* grid)
{
    QStringList out;
    for (int c = 0; c < grid->ShownColumnCount(); ++c)
        out << grid->ShownColumn(c)->FieldName();
    return out;
}

QStringList fieldNames(const TDataSet& ds)
{
    QStringList out;
    for (int i = 0; i < ds.FieldCount(); ++i)
        out << ds.Field(i)->FieldName();
    return out;
}

} // namespace

TEST_F(LayoutTest, EveryAddedComponentHasItsNameParentAndPlace)
{
    struct Case {
        const char* name;
        QWidget* parent;
        QRect bounds; // empty: not checked
    };
    const Case cases[] = {
        {"imgChecked", screen->panMenu, QRect(552, 5, 16, 16)},
        {"imgUnChecked", screen->panMenu, QRect(570, 5, 16, 16)},
        {"sbtFiltro", screen->panMenu, QRect(181, 4, 21, 21)},
        {"btnLiberar", screen->panMenu, QRect(202, 4, 21, 21)},
        {"panFilial", screen, {}},
        {"lblFilial", screen->panFilial, {}},
        {"medCdFilial", screen->panFilial, QRect(44, 6, 50, 21)},
        {"btpFilial", screen->panFilial, QRect(99, 6, 21, 21)},
        {"edtNmfilial", screen->panFilial, QRect(125, 6, 410, 21)},
        {"Splitter1", screen->scbFolhaDados->Content(), {}},
        {"pgcIncPed", screen->scbFolhaDados->Content(), {}},
        {"panIncPed", screen->tshIncPed, {}},
        {"dbgIncPed", screen->panIncPed, {}},
        {"panObs", screen->tshObs, {}},
        {"dmmObsIncPed", screen->panObs, {}},
    };
    for (const Case& c : cases) {
        QWidget* w = child(c.name);
        ASSERT_NE(w, nullptr) << c.name;
        EXPECT_EQ(w->parentWidget(), c.parent) << c.name;
        if (!c.bounds.isEmpty()) {
            EXPECT_EQ(w->geometry(), c.bounds) << c.name;
        }
    }
    EXPECT_EQ(screen->panMenu->children().indexOf(screen->imgChecked),
              screen->panMenu->children().indexOf(screen->imgUnChecked) - 1);
    EXPECT_EQ(
        screen->scbFolhaDados->Content()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).constFirst(),
        screen->Splitter1);

    EXPECT_EQ(screen->windowTitle(), QStringLiteral("Inconsistência do Pedido"));
    EXPECT_EQ(screen->lblCodTela->text(), QStringLiteral("ZEL08100"));
    EXPECT_GE(screen->lblCodTela->width(), 52);
    EXPECT_GE(screen->lblCodTela->width(), screen->lblCodTela->sizeHint().width()) << "the code is not clipped";
    EXPECT_GE(screen->lblFilial->width(), screen->lblFilial->sizeHint().width()) << "the caption is not clipped";
    EXPECT_EQ(screen->sbtImprimir->x(), 238);
    EXPECT_EQ(screen->sbtAjuda->x(), 274);
    EXPECT_EQ(screen->sbtFechar->x(), 310);

    // From the top: the toolbar, the branch panel, the pages, the navigator.
    EXPECT_EQ(screen->panFilial->y(), screen->panMenu->geometry().bottom() + 1);
    EXPECT_EQ(screen->panFilial->height(), 33);
    EXPECT_EQ(screen->pgcPadrao->y(), screen->panFilial->geometry().bottom() + 1);
    EXPECT_EQ(screen->panNavigator->y(), screen->pgcPadrao->geometry().bottom() + 1);
    // Inside the scroll box: the order grid, the splitter, the detail pages.
    EXPECT_EQ(screen->dbgPadrao->geometry().top(), 0);
    EXPECT_EQ(screen->dbgPadrao->height(), 150);
    EXPECT_EQ(screen->Splitter1->geometry(), QRect(0, 150, screen->dbgPadrao->width(), 2));
    EXPECT_EQ(screen->pgcIncPed->y(), 152);
    EXPECT_EQ(screen->pgcIncPed->geometry().bottom(), screen->scbFolhaDados->Content()->height() - 1);
    EXPECT_EQ(screen->panIncPed->BevelOuter(), TBevelCut::bvLowered);
    EXPECT_EQ(screen->panObs->BevelOuter(), TBevelCut::bvLowered);
    EXPECT_EQ(screen->pgcIncPed->ActivePage(), screen->tshIncPed);
    EXPECT_EQ(screen->tshIncPed->Caption(), QStringLiteral("Inconsistência"));
    EXPECT_EQ(screen->tshObs->Caption(), QStringLiteral("Observação"));
    EXPECT_EQ(screen->dmmObsIncPed->DataField(), QStringLiteral("TXOBSLIBINCO"));
    EXPECT_EQ(screen->dmmObsIncPed->DataSource(), &screen->dtsIncPedido);
}

TEST_F(LayoutTest, StartsWithTheReleaseAndPrintEntriesDisabledAndTheBranchFieldsReady)
{
    for (QWidget* w : {static_cast<QWidget*>(screen->btnLiberar), static_cast<QWidget*>(screen->sbtImprimir),
                       static_cast<QWidget*>(screen->edtNmfilial)})
        EXPECT_FALSE(w->isEnabled()) << qPrintable(w->objectName());
    for (QAction* a : {screen->mnuLiberar, screen->mnuListagem, screen->mnuConfigImpressora, screen->mnuIncluir,
                       screen->mnuAlterar, screen->mnuExcluir})
        EXPECT_FALSE(a->isEnabled()) << qPrintable(a->objectName());
    for (QWidget* w : {static_cast<QWidget*>(screen->medCdFilial), static_cast<QWidget*>(screen->lblFilial),
                       static_cast<QWidget*>(screen->btpFilial)})
        EXPECT_TRUE(w->isEnabled()) << qPrintable(w->objectName());

    EXPECT_EQ(screen->medCdFilial->EditMask(), QStringLiteral(">aaaa;0; "));
    EXPECT_EQ(Color(screen->medCdFilial), colors::clInfoBk);
    EXPECT_EQ(Color(screen->edtNmfilial), colors::clBtnFace);
    EXPECT_EQ(Color(screen->dbgIncPed), colors::clInfoBk);
    EXPECT_EQ(Hint(screen->btnLiberar), QStringLiteral("Liberar inconsistências"));
    EXPECT_TRUE(ShowHint(screen->btnLiberar));
    EXPECT_EQ(Hint(screen->btpFilial), QStringLiteral("Pesquisar"));
    EXPECT_EQ(screen->btpFilial->Associate, screen->medCdFilial);
    EXPECT_EQ(screen->btpFilial->DataSource, &screen->dtsFilial);
    EXPECT_EQ(screen->btpFilial->Title, QStringLiteral("Filial"));
    EXPECT_EQ(screen->btpFilial->EmptyError, QStringLiteral("Não há filial cadastrada."));

    // Ctrl+B under Manutenção, after a separator.
    const QList<QAction*> entries = screen->mnuManutencao->actions();
    ASSERT_GE(entries.size(), 2);
    EXPECT_EQ(entries.at(entries.size() - 2), screen->N1);
    EXPECT_TRUE(screen->N1->isSeparator());
    EXPECT_EQ(entries.constLast(), screen->mnuLiberar);
    EXPECT_EQ(screen->mnuLiberar->text(), QStringLiteral("Liberar Inconsistências"));
    EXPECT_EQ(screen->mnuLiberar->shortcut(), QKeySequence(QKeyCombination(Qt::ControlModifier, Qt::Key_B)));

    // The datasets are closed, the queries inactive, the link to the server up.
    for (const TDataSet* ds : {&screen->cdsPedido, &screen->cdsIncPed, &screen->cdsItemPedido, &screen->cdsGrupOper})
        EXPECT_FALSE(ds->Active()) << qPrintable(ds->Name());
    EXPECT_FALSE(screen->qryFilial.Active());
    EXPECT_FALSE(screen->qryVd_filial.Active());
    EXPECT_EQ(screen->netIncPed.ServerName, QStringLiteral("Zel08100.rdmIncPed"));
    EXPECT_FALSE(screen->netIncPed.ThrowException);
    EXPECT_TRUE(screen->netIncPed.Connected());

    EXPECT_EQ(screen->msgPadrao.Msg(QStringLiteral("Oper_Inv")),
              QStringLiteral("Operador não possui permissão para liberar inconsistências. "));
    EXPECT_EQ(screen->msgPadrao.Msg(QStringLiteral("FILI_N_CAD")), QStringLiteral("Filial não cadastrada."));
    EXPECT_EQ(screen->msgMensagensPadroes.Msg(QStringLiteral("Canc")), QStringLiteral("Cancelar operação?"));
}

TEST_F(LayoutTest, DatasetsAndQueriesHaveExactlyTheirFields)
{
    EXPECT_EQ(fieldNames(screen->cdsPedido),
              QStringList({"IDSITPEDIDO", "NRPEDIDO", "CDCLIENTE", "NMFANTCLIE", "DTPEDIDO", "DTENTPED", "CDVENDEDOR",
                           "NMFANVEN", "VRPEDIDO", "CDFILIAL"}));
    EXPECT_EQ(
        fieldNames(screen->cdsIncPed),
        QStringList({"CDFILIAL", "NRPEDIDO", "CDPRODUTO", "NMPRODUTO", "NRINCONSPED", "CDCONSPEDIDO", "NMCONSPEDIDO",
                     "NRITEMPED", "CDOPERLIBE", "NMOPERADOR", "DTLIBEINCONS", "TXOBSLIBINCO", "ATIVA"}));
    EXPECT_EQ(fieldNames(screen->cdsItemPedido), QStringList({"CDFILIAL", "NRPEDIDO", "NRITEMPED", "IDSITITEMPED"}));
    EXPECT_EQ(fieldNames(screen->cdsGrupOper), QStringList({"CDGROPLIBINC"}));

    for (int i = 0; i < screen->cdsIncPed.FieldCount(); ++i) {
        const TField* f = screen->cdsIncPed.Field(i);
        EXPECT_EQ(f->ProviderFlags(), 0u) << qPrintable(f->FieldName());
        EXPECT_TRUE(f->Origin().isEmpty()) << qPrintable(f->FieldName());
    }
    EXPECT_EQ(screen->cdsIncPed.FieldByName(QStringLiteral("ATIVA"))->DataType(), TFieldType::ftFixedChar);
    EXPECT_EQ(screen->cdsPedido.FieldByName(QStringLiteral("VRPEDIDO"))->ProviderFlags(), kDefaultProviderFlags);

    EXPECT_EQ(screen->qryFilial.SQL.join(QLatin1Char('\n')),
              QStringLiteral("SELECT \n   CDFILIAL,NMFILIAL\nFROM \n   FILIAL\nORDER BY \n   CDFILIAL"));
    EXPECT_EQ(screen->qryVd_filial.SQL.join(QLatin1Char('\n')),
              QStringLiteral("SELECT \n   CDFILIAL,NMFILIAL\nFROM \n   FILIAL\nWHERE \n   CDFILIAL = :P_CDFILIAL"));
    const auto params = screen->qryVd_filial.Params();
    ASSERT_EQ(params.size(), 1u);
    EXPECT_EQ(params[0]->Name(), QStringLiteral("P_CDFILIAL"));
    EXPECT_EQ(screen->qryFilial.DataSource, &screen->dtsFilial);
    EXPECT_EQ(screen->dtsFilial.DataSet(), screen->qryFilial.Query());
    EXPECT_EQ(screen->dtsPedido.DataSet(), &screen->cdsPedido);
    EXPECT_EQ(screen->dtsIncPedido.DataSet(), &screen->cdsIncPed);
}

TEST_F(LayoutTest, GridsShowTheirColumnsAndNeverAHiddenField)
{
    EXPECT_EQ(shownFields(screen->dbgPadrao),
              QStringList({"IDSITPEDIDO", "NRPEDIDO", "NMFANTCLIE", "DTPEDIDO", "DTENTPED", "NMFANVEN", "VRPEDIDO"}));
    EXPECT_EQ(shownFields(screen->dbgIncPed),
              QStringList({"ATIVA", "CDCONSPEDIDO", "NMCONSPEDIDO", "NRITEMPED", "CDPRODUTO", "NMPRODUTO"}));
    QStringList titles;
    for (int c = 0; c < screen->dbgPadrao->ShownColumnCount(); ++c)
        titles << screen->dbgPadrao->Model()->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(titles,
              QStringList({"Sit.", "Nr. Pedido", "Cliente", "Data Pedido", "Data Entrega", "Vendedor", "Vr. Pedido"}));
    EXPECT_EQ(screen->dbgPadrao->Options() & (dgEditing | dgIndicator | dgMultiSelect), 0u);
    EXPECT_TRUE(screen->dbgPadrao->ReadOnly());
    EXPECT_FALSE(screen->dbgIncPed->ReadOnly());
    // The check column's title is a check mark, not the digit.
    EXPECT_EQ(screen->dbgIncPed->Model()->headerData(0, Qt::Horizontal).toString(), QString(QChar(0x2714)));
    EXPECT_FALSE(screen->dbgIncPed->Columns(0)->ReadOnly());
    for (int c = 1; c < screen->dbgIncPed->ColumnCount(); ++c)
        EXPECT_TRUE(screen->dbgIncPed->Columns(c)->ReadOnly()) << c;

    // With data loaded, the hidden fields stay out of both grids.
    loadOrders({{Variant("1"), 1234.5}});
    const QStringList hidden{"CDCLIENTE",  "CDVENDEDOR", "CDFILIAL",     "NRINCONSPED",
                             "CDOPERLIBE", "NMOPERADOR", "DTLIBEINCONS", "TXOBSLIBINCO"};
    for (TDBGrid* grid : {screen->dbgPadrao, screen->dbgIncPed})
        for (const QString& f : shownFields(grid))
            EXPECT_FALSE(hidden.contains(f)) << qPrintable(f);
    EXPECT_EQ(screen->dbgPadrao->Model()->columnCount(), 7);
}

TEST_F(LayoutTest, TheOrderValueAndSituationReadInTheUsersTerms)
{
    loadOrders({{Variant("1"), 1234.5},
                {Variant("2"), 0.0},
                {Variant("3"), 1000000.0},
                {Variant("4"), 0.004},
                {Variant("5"), 12.346},
                {Variant("9"), 1.0},
                {Variant(""), 1.0},
                {Variant::Null(), 1.0}});
    const struct {
        QString situation;
        QString value;
    } expected[] = {{"PE", "1.234,50"}, {"AN", "0,00"}, {"LQ", "1.000.000,00"}, {"CN", "0,00"},
                    {"LQ", "12,35"},    {"", "1,00"},   {"", "1,00"},           {"", "1,00"}};
    ASSERT_EQ(screen->dbgPadrao->Model()->rowCount(), 8);
    for (int row = 0; row < 8; ++row) {
        EXPECT_EQ(orderCell(row, 0), expected[row].situation) << row;
        EXPECT_EQ(orderCell(row, 6), expected[row].value) << row;
    }
    EXPECT_EQ(orderCell(0, 3), QStringLiteral("05/01/2026"));
    // The editing text of the situation is the same short text.
    screen->cdsPedido.First();
    EXPECT_EQ(screen->cdsPedidoIDSITPEDIDO->Text(), QStringLiteral("PE"));
    EXPECT_EQ(screen->cdsPedidoIDSITPEDIDO->DisplayText(), QStringLiteral("PE"));
}

TEST_F(LayoutTest, CtrlBReachesTheReleaseOnlyWhileItsEntryIsEnabled)
{
    QSignalSpy released(screen->mnuLiberar, &QAction::triggered);
    QWidget* main = screen->window();
    QApplication::setActiveWindow(main);
    ASSERT_TRUE(QTest::qWaitForWindowActive(main));
    screen->dbgPadrao->setFocus();
    QTest::keyClick(screen->dbgPadrao, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(released.count(), 0);

    screen->mnuLiberar->setEnabled(true);
    QTest::keyClick(screen->dbgPadrao, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(released.count(), 1);

    screen->mnuLiberar->setEnabled(false);
    QTest::keyClick(screen->dbgPadrao, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(released.count(), 1);
}

TEST_F(LayoutTest, TheSplitterMovesTheBoundaryBetweenTheOrderGridAndThePages)
{
    ASSERT_TRUE(QTest::qWaitForWindowExposed(screen->window()));
    EXPECT_EQ(screen->Splitter1->Control(), screen->dbgPadrao);
    EXPECT_EQ(screen->Splitter1->cursor().shape(), Qt::SizeVerCursor);
    const int total = screen->dbgPadrao->height() + screen->pgcIncPed->height();
    auto drag = [&](int dy) {
        QTest::mousePress(screen->Splitter1, Qt::LeftButton, {}, QPoint(100, 1));
        QMouseEvent move(QEvent::MouseMove, QPointF(100, 1 + dy), screen->Splitter1->mapToGlobal(QPointF(100, 1 + dy)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(screen->Splitter1, &move);
        // The splitter has followed the mouse: the button comes up over it.
        QTest::mouseRelease(screen->Splitter1, Qt::LeftButton, {}, QPoint(100, 1));
    };
    drag(40);
    EXPECT_EQ(screen->dbgPadrao->geometry().top(), 0);
    EXPECT_EQ(screen->dbgPadrao->height(), 190);
    EXPECT_EQ(screen->Splitter1->y(), 190);
    EXPECT_EQ(screen->pgcIncPed->y(), 192);
    EXPECT_EQ(screen->dbgPadrao->height() + screen->pgcIncPed->height(), total);
    drag(-80);
    EXPECT_EQ(screen->dbgPadrao->geometry().top(), 0);
    EXPECT_EQ(screen->dbgPadrao->height(), 110);
    EXPECT_EQ(screen->pgcIncPed->height(), total - 110);
}

TEST_F(LayoutTest, TheCheckBoxBitmapsAreOliveBackedBoxesWithAndWithoutATick)
{
    const QImage checked = screen->imgChecked->Picture().toImage();
    const QImage unchecked = screen->imgUnChecked->Picture().toImage();
    ASSERT_EQ(checked.size(), QSize(16, 16));
    ASSERT_EQ(unchecked.size(), QSize(16, 16));
    EXPECT_FALSE(screen->imgChecked->isVisible());
    EXPECT_TRUE(screen->imgChecked->Transparent());
    const QRgb olive = unit::kCheckBoxTransparent.rgb();
    auto blackInside = [](const QImage& img) {
        int n = 0;
        for (int y = 3; y <= 11; ++y)
            for (int x = 3; x <= 11; ++x)
                n += img.pixel(x, y) == qRgb(0, 0, 0);
        return n;
    };
    for (const QImage& img : {checked, unchecked}) {
        EXPECT_EQ(img.pixel(0, 0), olive);
        EXPECT_EQ(img.pixel(15, 15), olive);
        EXPECT_EQ(img.pixel(5, 1), qRgb(0, 0, 0));        // top edge
        EXPECT_EQ(img.pixel(1, 5), qRgb(0, 0, 0));        // left edge
        EXPECT_EQ(img.pixel(5, 13), qRgb(192, 192, 192)); // lower edge
        EXPECT_EQ(img.pixel(13, 5), qRgb(192, 192, 192)); // right edge
    }
    EXPECT_GT(blackInside(checked), 10);
    EXPECT_EQ(blackInside(unchecked), 0);
}

namespace {

// What the grid's painting leaves for a cell's text: the column line and
// two pixels on each side.
int cellTextWidth(const TDBGrid* grid, int modelColumn)
{
    return grid->columnWidth(modelColumn) - 1 - 4;
}

// What the title row's style leaves for a title.
int titleTextWidth(TDBGrid* grid, int modelColumn)
{
    QHeaderView* header = grid->horizontalHeader();
    QStyleOptionHeader opt;
    opt.initFrom(header);
    opt.rect = QRect(0, 0, header->sectionSize(modelColumn), header->height());
    return header->style()->subElementRect(QStyle::SE_HeaderLabel, &opt, header).width();
}

// Every title, and the widest text each column must show, that does not fit.
QStringList cutTexts(TDBGrid* grid, const std::map<QString, QStringList>& widest)
{
    QStringList cut;
    for (int c = 0; c < grid->ShownColumnCount(); ++c) {
        TColumn* col = grid->ShownColumn(c);
        const QString title = col->Title.Font.MapText(col->Title.Caption());
        const int titleWidth = QFontMetrics(col->Title.Font.toQFont()).horizontalAdvance(title);
        if (titleWidth > titleTextWidth(grid, c))
            cut << QStringLiteral("title \"%1\": %2 > %3").arg(title).arg(titleWidth).arg(titleTextWidth(grid, c));
        const auto it = widest.find(col->FieldName());
        if (it == widest.end()) continue;
        const QFontMetrics cell(col->Font.toQFont());
        for (const QString& text : it->second)
            if (cell.horizontalAdvance(text) > cellTextWidth(grid, c))
                cut << QStringLiteral("%1 \"%2\": %3 > %4")
                           .arg(col->FieldName(), text)
                           .arg(cell.horizontalAdvance(text))
                           .arg(cellTextWidth(grid, c));
    }
    return cut;
}

// Labels, option buttons and group boxes whose caption does not fit.
QStringList cutCaptions(QWidget* screen)
{
    QStringList cut;
    for (QLabel* l : screen->findChildren<QLabel*>())
        if (!l->text().isEmpty() && l->fontMetrics().horizontalAdvance(l->text()) > l->contentsRect().width())
            cut << l->objectName() + QStringLiteral(" \"") + l->text() + QLatin1Char('"');
    for (QRadioButton* r : screen->findChildren<QRadioButton*>())
        if (r->sizeHint().width() > r->width()) cut << r->objectName();
    for (QGroupBox* g : screen->findChildren<QGroupBox*>())
        if (!g->title().isEmpty() && g->fontMetrics().horizontalAdvance(g->title()) + 8 > g->width())
            cut << g->objectName();
    return cut;
}

// The same text with each digit in turn: the widest of them.
QStringList everyDigit(const QString& pattern)
{
    QStringList out;
    for (QChar d = u'0'; d <= u'9'; d = QChar(d.unicode() + 1)) {
        QString t = pattern;
        t.replace(u'9', d);
        out << t;
    }
    return out;
}

} // namespace

TEST_F(LayoutTest, BoundsGrowWithTheFontAndEveryTextFitsAtTheDesignedSizeAndALargerOne)
{
    const std::map<QString, QStringList> orderTexts{
        {QStringLiteral("IDSITPEDIDO"),
         {QStringLiteral("PE"), QStringLiteral("AN"), QStringLiteral("LQ"), QStringLiteral("CN")}},
        {QStringLiteral("NRPEDIDO"), everyDigit(QStringLiteral("9999999999"))},
        {QStringLiteral("DTPEDIDO"), everyDigit(DateToStr(TDateTime::fromDate(QDate(2099, 9, 29))))},
        {QStringLiteral("DTENTPED"), everyDigit(DateToStr(TDateTime::fromDate(QDate(2099, 9, 29))))},
        {QStringLiteral("VRPEDIDO"), everyDigit(FormatFloat(QStringLiteral("#,##0.00"), 9999999.99))},
    };
    const std::map<QString, QStringList> inconsistencyTexts{
        {QStringLiteral("CDCONSPEDIDO"), everyDigit(QStringLiteral("999"))},
        {QStringLiteral("NRITEMPED"), everyDigit(QStringLiteral("9999999999"))},
        {QStringLiteral("CDPRODUTO"), everyDigit(QStringLiteral("9999999999"))},
    };
    for (const double points : {8.0, 10.0}) {
        SCOPED_TRACE(points);
        CloseScreen();
        SetUiFont(points);
        unit::IniProc({Variant(true), Variant(""), Variant(""), Variant(""), Variant("")});
        screen = unit::frmIncPed;
        ASSERT_NE(screen, nullptr);
        const double s = DesignScale();
        EXPECT_DOUBLE_EQ(screen->Scale(), s);
        if (points > 8) {
            EXPECT_GE(s, 1.2) << "a larger font makes a larger screen";
        }
        auto scaled = [s](int design) { return ScaleDesign(design, s); };

        // The designed bounds, times the scale: nothing above the toolbar.
        EXPECT_EQ(screen->size(), QSize(scaled(725), scaled(370)));
        EXPECT_EQ(screen->panMenu->y(), 0);
        EXPECT_EQ(screen->panMenu->height(), scaled(28));
        EXPECT_EQ(screen->panFilial->y(), scaled(28));
        EXPECT_EQ(screen->panFilial->height(), scaled(33));
        EXPECT_NEAR(screen->pgcPadrao->y(), scaled(61), 1);
        EXPECT_NEAR(screen->pgcPadrao->height(), scaled(279), 2);
        EXPECT_NEAR(screen->panNavigator->y(), scaled(340), 1);
        EXPECT_EQ(screen->dbgPadrao->height(), scaled(150));
        EXPECT_EQ(screen->medCdFilial->geometry(), QRect(scaled(44), scaled(6), scaled(50), scaled(21)));
        const int orderWidths[] = {20, 66, 214, 67, 68, 200, 60};
        for (int c = 0; c < 7; ++c)
            EXPECT_EQ(screen->dbgPadrao->columnWidth(c), scaled(orderWidths[c])) << c;
        // The check column holds its 16-pixel pictures beside the grid line.
        EXPECT_GE(screen->dbgIncPed->columnWidth(0) - 1, 16 + 2);

        EXPECT_TRUE(zel::test::None(cutTexts(screen->dbgPadrao, orderTexts)));
        EXPECT_TRUE(zel::test::None(cutTexts(screen->dbgIncPed, inconsistencyTexts)));
        EXPECT_TRUE(zel::test::None(cutCaptions(screen)));

        auto* dialog = CreateForm<Cli_zel08101::TfrmFiltroIncons>();
        EXPECT_DOUBLE_EQ(dialog->Scale(), s);
        EXPECT_EQ(dialog->size(), QSize(scaled(396), scaled(172)));
        EXPECT_TRUE(zel::test::None(cutCaptions(dialog)));
        delete dialog;
    }
    CloseScreen();
    SetUiFont();
}

TEST_F(LayoutTest, TheCheckColumnTitleIsAMarkInTheTextColourAndTheSeparatorShowsNoText)
{
    TColumn* ativa = screen->dbgIncPed->Columns(0);
    EXPECT_EQ(ativa->Title.Font.Color, colors::clWindowText);
    EXPECT_EQ(screen->dbgIncPed->Model()->headerData(0, Qt::Horizontal, Qt::ForegroundRole).value<QBrush>().color(),
              colors::clWindowText);
    EXPECT_TRUE(screen->N1->isSeparator());
    EXPECT_TRUE(screen->N1->text().isEmpty()) << "the separator would show a literal \"-\"";
}

TEST_F(LayoutTest, EveryControlHasAnAccessibleNameAndTheStateOfItsWidget)
{
    ASSERT_TRUE(QTest::qWaitForWindowExposed(screen->window()));
    EXPECT_TRUE(zel::test::None(zel::test::AccessibilityProblems(screen)));
    EXPECT_EQ(screen->lblFilial->buddy(), screen->medCdFilial);
    EXPECT_EQ(zel::test::AccessibleName(screen->medCdFilial), QStringLiteral("Filial"));
    EXPECT_EQ(zel::test::AccessibleName(screen->btnLiberar), QStringLiteral("Liberar inconsistências"));
    EXPECT_FALSE(zel::test::AccessibleName(screen->sbtFiltro).isEmpty());
    EXPECT_FALSE(zel::test::AccessibleName(screen->dbgIncPed).isEmpty());
    EXPECT_FALSE(zel::test::AccessibleName(screen->dmmObsIncPed).isEmpty());

    // The release entry, in the main menu bar, says whether it can be used.
    QMenuBar* bar = MainMenuBar();
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(bar->actions().contains(screen->mnuManutencao->menuAction()));
    QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(screen->mnuManutencao);
    ASSERT_NE(menu, nullptr);
    QAccessibleInterface* liberar = nullptr;
    for (int i = 0; i < menu->childCount(); ++i)
        if (menu->child(i)->object() == screen->mnuLiberar) liberar = menu->child(i);
    ASSERT_NE(liberar, nullptr);
    EXPECT_TRUE(liberar->state().disabled);
    screen->mnuLiberar->setEnabled(true);
    EXPECT_FALSE(liberar->state().disabled);
    screen->mnuLiberar->setEnabled(false);
    EXPECT_TRUE(zel::test::None(zel::test::AccessibilityProblems(MainForm())));

    auto* dialog = CreateForm<Cli_zel08101::TfrmFiltroIncons>();
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    EXPECT_TRUE(zel::test::None(zel::test::AccessibilityProblems(dialog)));
    dialog->hide();
    delete dialog;
}
