#include "platform/data/Exceptions.h"
#include "platform/widgets/DBCtrls.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DateEditPlus.h"
#include "platform/widgets/FormFocus.h"
#include "platform/widgets/MaskEdit.h"
#include "platform/widgets/PageControl.h"
#include "platform/widgets/StdCtrls.h"
#include "tests/widgets/Fixtures.h"

#include <QDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

using namespace zel;
using namespace zel::test;

namespace {

// A screen shaped like the review screen: a branch panel with its code field,
// a page control with the grid and the memo on two pages.
class FocusTest : public WidgetTest {
protected:
    void SetUp() override
    {
        WidgetTest::SetUp();
        screen.resize(600, 400);
        panFilial = new TPanel(&screen, QStringLiteral("panFilial"));
        panFilial->setGeometry(0, 0, 600, 33);
        medCdFilial = new TMaskEdit(panFilial, QStringLiteral("medCdFilial"));
        medCdFilial->setGeometry(44, 6, 50, 21);
        pgcIncPed = new TPageControl(&screen, QStringLiteral("pgcIncPed"));
        pgcIncPed->setGeometry(0, 40, 600, 300);
        tshIncPed = new TTabSheet(pgcIncPed, QStringLiteral("tshIncPed"), QStringLiteral("Inconsistência"));
        tshObs = new TTabSheet(pgcIncPed, QStringLiteral("tshObs"), QStringLiteral("Observação"));
        dbgIncPed = new TDBGrid(tshIncPed, QStringLiteral("dbgIncPed"));
        SetAlign(dbgIncPed, TAlign::alClient);
        dmmObsIncPed = new TDBMemo(tshObs, QStringLiteral("dmmObsIncPed"));
        SetAlign(dmmObsIncPed, TAlign::alClient);
        for (QWidget* w : std::initializer_list<QWidget*>{panFilial, medCdFilial, pgcIncPed, tshIncPed, tshObs,
                                                          dbgIncPed, dmmObsIncPed}) {
            SetOnEnter(w, [this](QObject* s) { log << "enter:" + s->objectName(); });
            SetOnExit(w, [this](QObject* s) { log << "exit:" + s->objectName(); });
        }
    }

    QWidget screen;
    TPanel* panFilial;
    TMaskEdit* medCdFilial;
    TPageControl* pgcIncPed;
    TTabSheet *tshIncPed, *tshObs;
    TDBGrid* dbgIncPed;
    TDBMemo* dmmObsIncPed;
    QStringList log;
};

} // namespace

TEST_F(FocusTest, ContainersGetEnterAndExitAsTheActiveControlMovesAcrossThem)
{
    showActive(screen);
    medCdFilial->setFocus();
    EXPECT_EQ(ActiveControl(&screen), medCdFilial);
    EXPECT_EQ(log, (QStringList{"enter:panFilial", "enter:medCdFilial"}));

    log.clear();
    QTest::mouseClick(dbgIncPed->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(ActiveControl(&screen), dbgIncPed);
    EXPECT_EQ(log, (QStringList{"exit:medCdFilial", "exit:panFilial", "enter:pgcIncPed", "enter:tshIncPed",
                                "enter:dbgIncPed"}));

    // Within the page control: only the pages and the controls change. The
    // page control takes the focus from a control on the page it hides.
    log.clear();
    pgcIncPed->SetActivePage(tshObs);
    EXPECT_EQ(ActiveControl(&screen), pgcIncPed);
    dmmObsIncPed->setFocus();
    EXPECT_EQ(ActiveControl(&screen)->objectName(), QStringLiteral("dmmObsIncPed"));
    EXPECT_EQ(log, (QStringList{"exit:dbgIncPed", "exit:tshIncPed", "enter:tshObs", "enter:dmmObsIncPed"}));

    // A click on the other tab: the page control takes the focus from the
    // memo on the page it hides; its tab bar stands for it.
    log.clear();
    QTabBar* bar = pgcIncPed->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
    EXPECT_EQ(pgcIncPed->ActivePage(), tshIncPed);
    EXPECT_EQ(ActiveControl(&screen), pgcIncPed);
    EXPECT_EQ(log, (QStringList{"exit:dmmObsIncPed", "exit:tshObs"}));
}

TEST_F(FocusTest, AModalDialogOrAnotherWindowInFrontMovesNothing)
{
    showActive(screen);
    dbgIncPed->setFocus();
    log.clear();

    QWidget* activeDuringDialog = nullptr;
    bool ran = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        activeDuringDialog = ActiveControl(&screen);
        dlg->findChild<QLineEdit*>()->setFocus();
        ran = true;
        dlg->accept();
    });
    QDialog dlg(&screen);
    auto* box = new QVBoxLayout(&dlg);
    box->addWidget(new QLineEdit(&dlg));
    dlg.exec();
    ASSERT_TRUE(ran);
    EXPECT_EQ(activeDuringDialog, dbgIncPed);
    EXPECT_EQ(ActiveControl(&screen), dbgIncPed);
    EXPECT_TRUE(log.isEmpty()) << log.join(',').toStdString();

    // Back to the screen: still nothing, the grid was the active control all along.
    screen.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&screen));
    EXPECT_TRUE(log.isEmpty()) << log.join(',').toStdString();

    // Another top-level window taking the focus moves nothing either.
    QWidget other;
    auto* otherEdit = new QLineEdit(&other);
    showActive(other);
    otherEdit->setFocus();
    EXPECT_EQ(ActiveControl(&screen), dbgIncPed);
    EXPECT_EQ(ActiveControl(&other), otherEdit);
    screen.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&screen));
    EXPECT_TRUE(log.isEmpty()) << log.join(',').toStdString();
}

TEST_F(FocusTest, AnExitHandlerThatPutsTheFocusBackReAimsTheMove)
{
    auto* dep = new TDateEditPlus(panFilial, QStringLiteral("depDe"));
    dep->setGeometry(120, 6, 100, 21);
    SetOnEnter(dep, [this](QObject* s) { log << "enter:" + s->objectName(); });
    SetOnExit(dep, [this, dep](QObject* s) {
        log << "exit:" + s->objectName();
        dep->CheckValidDate();
    });
    showActive(screen);
    dep->setFocus();
    dep->setText(QStringLiteral("31/02/2026"));
    log.clear();
    dbgIncPed->setFocus();
    EXPECT_EQ(ActiveControl(&screen), dep);
    EXPECT_TRUE(dep->Editor()->hasFocus());
    EXPECT_EQ(log, (QStringList{"exit:depDe", "enter:depDe"}));
    ASSERT_EQ(reported().size(), 1);
    EXPECT_TRUE(reported().first().contains(QStringLiteral("31/02/2026")));

    // A valid date lets the focus go on.
    dep->setText(QStringLiteral("28/02/2026"));
    log.clear();
    dbgIncPed->setFocus();
    EXPECT_EQ(ActiveControl(&screen), dbgIncPed);
    EXPECT_EQ(log,
              (QStringList{"exit:depDe", "exit:panFilial", "enter:pgcIncPed", "enter:tshIncPed", "enter:dbgIncPed"}));
}

TEST(FormFocus, EachMultipleDocumentChildIsAScreenOfItsOwn)
{
    QMdiArea area;
    area.resize(800, 600);
    QStringList log;
    auto makeChild = [&](const QString& name) {
        auto* content = new QWidget;
        content->setObjectName(name);
        auto* a = new TEdit(content, name + QStringLiteral("A"));
        auto* b = new TEdit(content, name + QStringLiteral("B"));
        b->move(0, 30);
        for (TEdit* e : {a, b}) {
            SetOnEnter(e, [&log](QObject* s) { log << "enter:" + s->objectName(); });
            SetOnExit(e, [&log](QObject* s) { log << "exit:" + s->objectName(); });
        }
        area.addSubWindow(content)->resize(300, 200);
        return content;
    };
    QWidget* one = makeChild(QStringLiteral("one"));
    QWidget* two = makeChild(QStringLiteral("two"));
    showActive(area);
    auto* oneB = one->findChild<TEdit*>(QStringLiteral("oneB"));
    auto* twoA = two->findChild<TEdit*>(QStringLiteral("twoA"));
    area.setActiveSubWindow(qobject_cast<QMdiSubWindow*>(one->parentWidget()));
    oneB->setFocus();
    area.setActiveSubWindow(qobject_cast<QMdiSubWindow*>(two->parentWidget()));
    twoA->setFocus();
    EXPECT_EQ(ScreenOf(oneB), one);
    EXPECT_EQ(ActiveControl(one), oneB);
    EXPECT_EQ(ActiveControl(two), twoA);
    // Switching children is not an exit from either.
    EXPECT_FALSE(log.contains(QStringLiteral("exit:oneB"))) << log.join(',').toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("enter:oneB")));
    EXPECT_TRUE(log.contains(QStringLiteral("enter:twoA")));
}

// The branch panel's pattern: the code field's exit shows a modal message and
// fails; the panel's exit opens a modal dialog. The move still ends in the
// grid, and every handler runs once.
TEST_F(FocusTest, ModalDialogsOpenedByExitHandlersDoNotRepeatOrLoseTheMove)
{
    auto modal = [this](const QString& name) {
        QDialog dlg(&screen);
        dlg.setObjectName(name);
        auto* box = new QVBoxLayout(&dlg);
        box->addWidget(new QLineEdit(&dlg));
        QTimer::singleShot(0, &dlg, [&dlg] {
            dlg.findChild<QLineEdit*>()->setFocus();
            dlg.accept();
        });
        dlg.exec();
        log << "closed:" + name;
    };
    SetOnExit(medCdFilial, [&](QObject* s) {
        log << "exit:" + s->objectName();
        modal(QStringLiteral("message"));
        Abort();
    });
    SetOnExit(panFilial, [&](QObject* s) {
        log << "exit:" + s->objectName();
        modal(QStringLiteral("filter"));
    });
    showActive(screen);
    medCdFilial->setFocus();
    log.clear();
    dbgIncPed->setFocus();
    EXPECT_EQ(log, (QStringList{"exit:medCdFilial", "closed:message", "exit:panFilial", "closed:filter",
                                "enter:pgcIncPed", "enter:tshIncPed", "enter:dbgIncPed"}));
    EXPECT_EQ(ActiveControl(&screen), dbgIncPed);
    EXPECT_TRUE(reported().isEmpty()); // the abort is silent
}
