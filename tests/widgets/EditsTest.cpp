#include "platform/data/Exceptions.h"
#include "platform/widgets/ButtonFlat.h"
#include "platform/widgets/CalendarPopup.h"
#include "platform/widgets/DateEditPlus.h"
#include "platform/widgets/FormFocus.h"
#include "platform/widgets/MaskEdit.h"
#include "platform/widgets/PageControl.h"
#include "platform/widgets/StdCtrls.h"
#include "tests/widgets/Fixtures.h"

#include <QLineEdit>
#include <QTableWidget>
#include <QToolButton>

using namespace zel;
using namespace zel::test;

namespace {
class EditsTest : public WidgetTest {
protected:
    QWidget window;
};
} // namespace

TEST_F(EditsTest, BranchCodeMaskUpperCasesAndRefusesAFifthCharacterAndPunctuation)
{
    auto* med = new TMaskEdit(&window, QStringLiteral("medCdFilial"));
    med->setEditMask(QStringLiteral(">aaaa;0; "));
    med->setMaxLength(4);
    QStringList changes;
    med->OnChange = [&](QObject*) { changes << med->Text(); };
    showActive(window);
    med->setFocus();
    struct Case {
        QString typed, text;
    };
    for (const Case& c : {Case{"ab1c", "AB1C"}, Case{"abcde", "ABCD"}, Case{"a.b-c", "ABC"}, Case{"0-1/", "01"},
                          Case{"çx", "ÇX"}, Case{" ", ""}}) {
        med->selectAll();
        QTest::keyClick(med, Qt::Key_Delete);
        typeText(c.typed);
        EXPECT_EQ(med->Text(), c.text) << c.typed.toStdString();
    }
    // Every change, typed or set by the program, runs OnChange.
    changes.clear();
    med->setText(QStringLiteral("0002"));
    EXPECT_EQ(med->Text(), QStringLiteral("0002"));
    EXPECT_EQ(changes, QStringList{QStringLiteral("0002")});
    med->Clear();
    EXPECT_EQ(med->Text(), QString());
    QTest::keyClicks(med, QStringLiteral("z"));
    EXPECT_EQ(changes.last(), QStringLiteral("Z"));
}

TEST_F(EditsTest, OrderNumberMaskTakesTenDigitsOnly)
{
    auto* med = new TMaskEdit(&window, QStringLiteral("medDeIntervalo"));
    med->setEditMask(QStringLiteral("9999999999;0; "));
    showActive(window);
    med->setFocus();
    QTest::keyClicks(med, QStringLiteral("12a3.456789012345"));
    EXPECT_EQ(med->Text(), QStringLiteral("1234567890"));
    med->Clear();
    QTest::keyClicks(med, QStringLiteral("123"));
    EXPECT_EQ(med->Text(), QStringLiteral("123"));
}

TEST_F(EditsTest, DateEditReadsTheShortFormatAndRefusesInvalidDates)
{
    auto* dep = new TDateEditPlus(&window, QStringLiteral("depDe"));
    auto* other = new QLineEdit(&window);
    other->move(0, 40);
    EXPECT_EQ(TDateEditPlus::DatePattern(), QStringLiteral("dd/MM/yyyy"));
    showActive(window);

    // Empty: passes the check and reads as the zero date-time; set back, it is empty again.
    EXPECT_EQ(dep->Text(), QString());
    EXPECT_NO_THROW(dep->CheckValidDate());
    EXPECT_TRUE(dep->GetDate().isZero());
    dep->SetDate(TDateTime());
    EXPECT_EQ(dep->Text(), QString());

    // Typed digits fill the format; no time of day is kept.
    dep->setFocus();
    QTest::keyClicks(dep->Editor(), QStringLiteral("05032026"));
    EXPECT_EQ(dep->Text(), QStringLiteral("05/03/2026"));
    EXPECT_EQ(dep->GetDate(), TDateTime::fromDate(QDate(2026, 3, 5)));
    dep->SetDate(TDateTime::fromDate(QDate(2026, 12, 31), QTime(13, 45)));
    EXPECT_EQ(dep->Text(), QStringLiteral("31/12/2026"));
    EXPECT_EQ(dep->GetDate().time(), QTime(0, 0));
    EXPECT_EQ(dep->Editor()->palette().color(QPalette::Text), colors::clBlue);
    SetColor(dep, colors::clInfoBk);
    EXPECT_EQ(dep->Editor()->palette().color(QPalette::Base), colors::clInfoBk);
    EXPECT_EQ(Color(dep), colors::clInfoBk);

    // An impossible date is refused with a message, and the focus goes back.
    for (const QString& bad : {QStringLiteral("31/02/2026"), QStringLiteral("12/13/2026"), QStringLiteral("1/")}) {
        dep->setText(bad);
        other->setFocus();
        try {
            dep->CheckValidDate();
            ADD_FAILURE() << bad.toStdString();
        } catch (const EConvertError& e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("não é uma data válida"))) << e.what();
        }
        EXPECT_TRUE(dep->Editor()->hasFocus());
        EXPECT_THROW(dep->GetDate(), EConvertError);
        EXPECT_NE(dep->Editor()->palette().color(QPalette::Text), colors::clBlue);
    }
}

TEST_F(EditsTest, DateEditCalendarShowsTheWeekDayNamesAndPicksADay)
{
    auto* dep = new TDateEditPlus(&window, QStringLiteral("depAte"));
    dep->SetDate(TDateTime::fromDate(QDate(2026, 2, 10)));
    int changes = 0;
    dep->OnChange = [&](QObject*) { ++changes; };
    showActive(window);
    QTest::mouseClick(dep->CalendarButton(), Qt::LeftButton);
    TCalendarPopup* cal = dep->Calendar();
    ASSERT_NE(cal, nullptr);
    ASSERT_TRUE(cal->isVisible());
    QStringList heads;
    for (int c = 0; c < 7; ++c)
        heads << cal->Table()->horizontalHeaderItem(c)->text();
    EXPECT_EQ(heads, (QStringList{"Domingo", "Segunda", "Terça", "Quarta", "Quinta", "Sexta", "Sábado"}));
    // 1 February 2026 is a Sunday: the first cell.
    EXPECT_EQ(cal->dateAt(0, 0), QDate(2026, 2, 1));
    QTableWidget* t = cal->Table();
    QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, t->visualItemRect(t->item(2, 3)).center());
    EXPECT_EQ(dep->Text(), QStringLiteral("18/02/2026"));
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(cal->isVisible());
}

TEST_F(EditsTest, PageControlRunsOnChangeOnlyForTheUser)
{
    auto* pgc = new TPageControl(&window, QStringLiteral("pgcIncPed"));
    pgc->setGeometry(0, 0, 300, 200);
    auto* inc = new TTabSheet(pgc, QStringLiteral("tshIncPed"), QStringLiteral("Inconsistência"));
    auto* obs = new TTabSheet(pgc, QStringLiteral("tshObs"), QStringLiteral("Observação"));
    int changes = 0;
    pgc->OnChange = [&](QObject*) { ++changes; };
    showActive(window);
    EXPECT_EQ(pgc->ActivePage(), inc);

    pgc->SetActivePage(obs);
    EXPECT_EQ(pgc->ActivePage(), obs);
    EXPECT_EQ(changes, 0);
    // A disabled page keeps the shown page where it is and cannot be chosen.
    inc->setEnabled(false);
    EXPECT_FALSE(inc->Enabled());
    EXPECT_EQ(pgc->ActivePage(), obs);
    QTabBar* bar = pgc->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
    EXPECT_EQ(pgc->ActivePage(), obs);
    inc->setEnabled(true);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
    EXPECT_EQ(pgc->ActivePage(), inc);
    EXPECT_EQ(changes, 1);
    // Disabling the shown page keeps it shown.
    inc->setEnabled(false);
    EXPECT_EQ(pgc->ActivePage(), inc);
    EXPECT_EQ(changes, 1);
}

TEST_F(EditsTest, FlatButtonNeverTakesTheFocusAndRunsItsClickUnderTheGuard)
{
    auto* edit = new TEdit(&window, QStringLiteral("edt"));
    auto* btn = new TButtonFlat(&window, QStringLiteral("btnLiberar"));
    btn->setGeometry(100, 0, 21, 21);
    QPixmap glyph(40, 20);
    glyph.fill(Qt::red);
    btn->setGlyph(glyph, 2);
    int clicks = 0;
    btn->OnClick = [&](QObject*) {
        ++clicks;
        if (clicks == 2) throw EDatabaseError(QStringLiteral("falhou"));
        if (clicks == 3) Abort();
    };
    showActive(window);
    edit->setFocus();
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(btn, Qt::LeftButton);
    EXPECT_EQ(clicks, 3);
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(ActiveControl(&window), edit);
    EXPECT_EQ(reported(), QStringList{QStringLiteral("falhou")}); // the abort stays silent
    EXPECT_EQ(btn->iconSize(), QSize(20, 20));
    btn->setEnabled(false);
    QTest::mouseClick(btn, Qt::LeftButton);
    btn->Click();
    EXPECT_EQ(clicks, 3);
}

TEST_F(EditsTest, RadioButtonCheckedByProgramOrUserRunsItsClickUncheckingRunsNothing)
{
    auto* todos = new TRadioButton(&window, QStringLiteral("rbtTNrPedido"), QStringLiteral("Todos"));
    auto* lista = new TRadioButton(&window, QStringLiteral("rbtLNrPedido"), QStringLiteral("Lista"));
    lista->move(0, 30);
    QStringList clicks;
    todos->OnClick = [&](QObject*) { clicks << "todos"; };
    lista->OnClick = [&](QObject*) {
        clicks << "lista";
        if (clicks.size() == 4) Abort();
    };
    todos->setChecked(true);
    todos->setChecked(true); // already checked: nothing
    lista->setChecked(true);
    EXPECT_FALSE(todos->Checked());
    lista->setChecked(false);
    EXPECT_FALSE(lista->Checked()); // none checked now
    EXPECT_EQ(clicks, (QStringList{"todos", "lista"}));
    showActive(window);
    QTest::mouseClick(todos, Qt::LeftButton);
    QTest::mouseClick(lista, Qt::LeftButton);
    EXPECT_EQ(clicks, (QStringList{"todos", "lista", "todos", "lista"}));
    // A handler failing for the program's check reaches the program.
    todos->setChecked(true);
    lista->OnClick = [](QObject*) { throw EDatabaseError(QStringLiteral("x")); };
    EXPECT_THROW(lista->setChecked(true), EDatabaseError);
}

TEST(Image, HoldsItsPictureSizedToItAndLeavesTheBackgroundColourOut)
{
    TImage img(nullptr, QStringLiteral("imgChecked"));
    img.setAutoSize(true);
    img.setTransparent(true);
    QImage box(16, 16, QImage::Format_RGB32);
    box.fill(colors::clOlive);
    for (int y = 3; y < 13; ++y)
        for (int x = 3; x < 13; ++x)
            box.setPixelColor(x, y, Qt::white);
    img.setPicture(QPixmap::fromImage(box));
    EXPECT_EQ(img.size(), QSize(16, 16));
    EXPECT_EQ(img.Picture().toImage().pixelColor(0, 0), colors::clOlive); // the picture itself is kept whole
    const QImage shown = img.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(qAlpha(shown.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(shown.pixel(8, 8)), 255);
}
