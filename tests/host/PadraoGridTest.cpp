#include "host/PadraoGrid.h"

#include "host/Application.h"
#include "host/Dialogs.h"
#include "host/ShortCut.h"
#include "platform/data/DataSet.h"
#include "platform/data/Exceptions.h"
#include "platform/data/Packet.h"
#include "platform/widgets/FormFocus.h"

#include <QAction>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

using namespace zel;

namespace {

// A screen as a module derives it: its handlers replace the base ones and
// call them first where they need the base's work.
class TfrmTeste : public TfrmPadraoGrid {
public:
    TfrmTeste() : TfrmPadraoGrid(nullptr, QStringLiteral("frmTeste")) {}

    void FormCreate(QObject* sender) override
    {
        TfrmPadraoGrid::FormCreate(sender);
        calls << QStringLiteral("FormCreate");
        setCaption(QStringLiteral("Tela de teste"));
        lblCodTela->setCaption(QStringLiteral("ZEL00000"));
        if (failCreate) throw EDatabaseError(QStringLiteral("falha na criação"));
    }
    void FormActivate(QObject*) override { calls << QStringLiteral("FormActivate"); }
    void FormClose(QObject* sender, TCloseAction& action) override
    {
        TfrmPadraoGrid::FormClose(sender, action);
        calls << QStringLiteral("FormClose");
        if (closeFails) throw EDatabaseError(QStringLiteral("não pode fechar"));
        action = closeAction;
    }
    void sbtVerificarClick(QObject* sender) override
    {
        calls << QStringLiteral("sbtVerificarClick:") + sender->objectName();
        if (verificarAborts) Abort();
        if (verificarFails) throw EDatabaseError(QStringLiteral("falha ao verificar"));
    }
    void dbgPadraoKeyPress(QObject* sender, QChar& key) override
    {
        TfrmPadraoGrid::dbgPadraoKeyPress(sender, key);
        if (!key.isNull()) calls << QStringLiteral("key:") + key;
    }

    inline static bool failCreate = false;
    QStringList calls;
    TCloseAction closeAction = TCloseAction::caFree;
    bool closeFails = false;
    bool verificarFails = false;
    bool verificarAborts = false;
};

class PadraoGridTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        main_.resize(1000, 700);
        mdi_ = new QMdiArea(&main_);
        main_.setCentralWidget(mdi_);
        SetMainForm(&main_, mdi_);
        main_.show();
        main_.activateWindow();
        MessageSeam::clearHistory();
    }
    void TearDown() override
    {
        mdi_->closeAllSubWindows();
        SetMainForm(nullptr, nullptr);
        MessageSeam::clearHistory();
        TfrmTeste::failCreate = false;
    }
    QMainWindow main_;
    QMdiArea* mdi_;
};

} // namespace

TEST_F(PadraoGridTest, TheScreenHasEveryComponentByItsName)
{
    QPointer<TfrmTeste> f = CreateForm<TfrmTeste>();
    for (const char* name : {"panMenu", "sbtAlterar", "sbtConfirmar", "sbtCancelar", "sbtProcurar", "sbtVerificar",
                             "sbtImprimir", "sbtAjuda", "sbtFechar", "lblCodTela", "pgcPadrao", "tshPadrao",
                             "panDbgPadrao", "scbFolhaDados", "dbgPadrao", "panNavigator", "dbtNome", "dbnPadrao"})
        EXPECT_NE(f->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    for (const char* name : {"mnuListagem", "mnuConfigImpressora", "mnuIncluir", "mnuAlterar", "mnuExcluir",
                             "mnuConfirmar", "mnuCancelar", "mnuProcurar", "mnuVerificar"})
        EXPECT_NE(f->findChild<QAction*>(QString::fromLatin1(name)), nullptr) << name;
    for (const char* name : {"mnuOperacao", "mnuManutencao", "mnuConsulta", "pmnNavegar"})
        EXPECT_NE(f->findChild<QMenu*>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_EQ(f->dtsPadrao.Name(), QStringLiteral("dtsPadrao"));
    EXPECT_EQ(f->msgPadrao.Name(), QStringLiteral("msgPadrao"));
    EXPECT_EQ(f->msgMensagensPadroes.Name(), QStringLiteral("msgMensagensPadroes"));
    // The tool buttons never take the focus.
    EXPECT_EQ(f->sbtVerificar->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(f->calls, QStringList{QStringLiteral("FormCreate")}) << "FormCreate runs once, the derived one";
    delete f;
}

TEST_F(PadraoGridTest, AFailingCreationIsReportedAndTheScreenStillExists)
{
    TfrmTeste::failCreate = true;
    QPointer<TfrmTeste> f = CreateForm<TfrmTeste>();
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(MessageSeam::errors().size(), 1u);
    EXPECT_EQ(MessageSeam::errors()[0], QStringLiteral("falha na criação"));
    delete f;
}

TEST_F(PadraoGridTest, TheScreenOpensAsAChildWindowAndEachActivationRunsFormActivate)
{
    main_.resize(1200, 800);
    auto* f = CreateForm<TfrmTeste>();
    f->setFormBounds(373, 195, 741, 417);
    f->Show();
    ASSERT_NE(f->SubWindow(), nullptr);
    EXPECT_EQ(f->SubWindow()->mdiArea(), mdi_);
    // The designed place, and the designed client area inside the frame the
    // child window draws: the toolbar at the top, the navigator at 340.
    EXPECT_EQ(f->SubWindow()->pos(), QPoint(373, 195));
    EXPECT_EQ(f->size(), QSize(725, 370));
    EXPECT_EQ(f->panMenu->geometry(), QRect(0, 0, 725, 28));
    EXPECT_EQ(f->panNavigator->y(), 340);
    EXPECT_EQ(f->calls.count(QStringLiteral("FormActivate")), 1);
    f->Show(); // already in front: no second activation
    EXPECT_EQ(f->calls.count(QStringLiteral("FormActivate")), 1);

    auto* other = CreateForm<TfrmTeste>();
    other->Show();
    mdi_->setActiveSubWindow(f->SubWindow());
    EXPECT_EQ(f->calls.count(QStringLiteral("FormActivate")), 2);
}

TEST_F(PadraoGridTest, AChildWindowThatWouldStickOutMovesInSoThatItShowsWhole)
{
    main_.resize(900, 600);
    auto* f = CreateForm<TfrmTeste>();
    f->setFormBounds(373, 195, 741, 417);
    f->Show();
    const QRect area = mdi_->viewport()->rect();
    EXPECT_TRUE(area.contains(f->SubWindow()->geometry())) << "the window is not cut";
    EXPECT_EQ(f->SubWindow()->geometry().right(), area.right());
    EXPECT_EQ(f->size(), QSize(725, 370));
}

TEST_F(PadraoGridTest, TheActiveScreensMenusMergeIntoTheMainMenuBarAndLeaveWithIt)
{
    QMenuBar* bar = main_.menuBar();
    QMenu* arquivo = bar->addMenu(QStringLiteral("&Arquivo"));
    QMenu* janela = bar->addMenu(QStringLiteral("&Janela"));
    SetMainMenu(bar, janela->menuAction());
    auto titles = [bar] {
        QStringList t;
        for (QAction* a : bar->actions())
            t << a->text();
        return t;
    };
    const QStringList shellOnly{QStringLiteral("&Arquivo"), QStringLiteral("&Janela")};
    const QStringList merged{QStringLiteral("&Arquivo"), QStringLiteral("&Operação"), QStringLiteral("&Manutenção"),
                             QStringLiteral("&Consulta"), QStringLiteral("&Janela")};

    QPointer<TfrmTeste> f = CreateForm<TfrmTeste>();
    EXPECT_EQ(titles(), shellOnly) << "a screen not yet shown has no menus in the bar";
    f->Show();
    EXPECT_EQ(titles(), merged);
    EXPECT_TRUE(bar->actions().contains(f->mnuManutencao->menuAction()));
    EXPECT_TRUE(f->findChildren<QMenuBar*>().isEmpty()) << "no menu bar inside the child window";
    EXPECT_EQ(f->panMenu->y(), 0);

    // Another screen in front: its menus, not both.
    QPointer<TfrmTeste> other = CreateForm<TfrmTeste>();
    other->Show();
    EXPECT_EQ(titles(), merged);
    EXPECT_TRUE(bar->actions().contains(other->mnuManutencao->menuAction()));
    EXPECT_FALSE(bar->actions().contains(f->mnuManutencao->menuAction()));
    mdi_->setActiveSubWindow(f->SubWindow());
    EXPECT_TRUE(bar->actions().contains(f->mnuManutencao->menuAction()));
    EXPECT_FALSE(bar->actions().contains(other->mnuManutencao->menuAction()));

    // Entries keep their state and their handlers from the main menu bar.
    f->sbtVerificar->setEnabled(false);
    f->mnuVerificar->setEnabled(false);
    EXPECT_FALSE(bar->actions().at(3)->menu()->actions().at(1)->isEnabled());
    f->mnuVerificar->setEnabled(true);
    f->sbtVerificar->setEnabled(true);
    QMenu* consulta = bar->actions().at(3)->menu();
    ASSERT_NE(consulta, nullptr);
    consulta->actions().at(1)->trigger();
    EXPECT_EQ(f->calls.filter(QStringLiteral("sbtVerificarClick")).size(), 1);

    // Closed, they leave; the last one closed leaves the shell's own menus.
    ASSERT_TRUE(f->Close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(f.isNull());
    EXPECT_EQ(titles(), merged);
    EXPECT_TRUE(bar->actions().contains(other->mnuManutencao->menuAction()));
    other->closeAction = TCloseAction::caHide;
    other->Close();
    ASSERT_FALSE(other->SubWindow()->isVisible());
    EXPECT_EQ(titles(), shellOnly);
    SetMainMenu(nullptr);
    delete arquivo;
    delete janela;
}

TEST(PadraoGridOwnWindow, AScreenOutsideTheMainFormShowsItsMenusInABarOfItsOwn)
{
    SetMainForm(nullptr, nullptr);
    auto* f = CreateForm<TfrmTeste>();
    f->Show();
    auto* bar = f->findChild<QMenuBar*>(QStringLiteral("mnuPadrao"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->actions().size(), 3);
    EXPECT_EQ(f->panMenu->y(), bar->height()) << "the toolbar starts under the bar";
    EXPECT_EQ(f->height() - bar->height(), 370);
    delete f;
}

TEST_F(PadraoGridTest, ButtonsAndTheirMenuEntriesRunTheDerivedHandlerUnderTheGuard)
{
    auto* f = CreateForm<TfrmTeste>();
    f->Show();
    QTest::mouseClick(f->sbtVerificar, Qt::LeftButton);
    f->mnuVerificar->trigger();
    EXPECT_EQ(f->calls.filter(QStringLiteral("sbtVerificarClick")),
              (QStringList{QStringLiteral("sbtVerificarClick:sbtVerificar"),
                           QStringLiteral("sbtVerificarClick:sbtVerificar")}));

    f->verificarAborts = true;
    QTest::mouseClick(f->sbtVerificar, Qt::LeftButton);
    EXPECT_TRUE(MessageSeam::history().empty()) << "the silent abort showed something";

    f->verificarAborts = false;
    f->verificarFails = true;
    f->mnuVerificar->trigger();
    ASSERT_EQ(MessageSeam::errors().size(), 1u);
    EXPECT_EQ(MessageSeam::errors()[0], QStringLiteral("falha ao verificar"));
    EXPECT_TRUE(f->isVisible());

    // An entry whose button is disabled does nothing, also by its shortcut.
    f->sbtVerificar->setEnabled(false);
    const auto before = f->calls.size();
    f->mnuVerificar->trigger();
    EXPECT_EQ(f->calls.size(), before);
}

TEST_F(PadraoGridTest, AnEntryAddedByTheScreenWorksByItsShortcutOnlyWhileEnabled)
{
    auto* f = CreateForm<TfrmTeste>();
    f->Show();
    int released = 0;
    QAction* mnuLiberar = f->mnuManutencao->addAction(QStringLiteral("Liberar Inconsistências"));
    mnuLiberar->setObjectName(QStringLiteral("mnuLiberar"));
    mnuLiberar->setShortcut(ShortCut(16450)); // Ctrl+B as stored
    QObject::connect(mnuLiberar, &QAction::triggered, [&] { ++released; });
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main_));
    f->dbgPadrao->setFocus();
    QTest::keyClick(f->dbgPadrao, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(released, 1);
    mnuLiberar->setEnabled(false);
    QTest::keyClick(f->dbgPadrao, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(released, 1);
}

TEST(ShortCut, StoredShortcutsBecomeKeySequences)
{
    EXPECT_EQ(ShortCut(16450), QKeySequence(Qt::CTRL | Qt::Key_B));
    EXPECT_EQ(ShortCut(0x2000 + 0x70), QKeySequence(Qt::SHIFT | Qt::Key_F1));
    EXPECT_EQ(ShortCut(0x8000 + 0x4000 + '5'), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_5));
    EXPECT_EQ(ShortCut(120), QKeySequence(Qt::Key_F9));
    EXPECT_TRUE(ShortCut(0).isEmpty());
}

TEST_F(PadraoGridTest, GridKeysPassTheBaseHandlersFirst)
{
    auto* f = CreateForm<TfrmTeste>();
    TClientDataSet cds(QStringLiteral("cdsTeste"));
    cds.AddField(QStringLiteral("CODIGO"), TFieldType::ftString, 4);
    cds.SetData(PacketWriter()
                    .field("CODIGO", TFieldType::ftString, 4)
                    .text(QStringLiteral("A"))
                    .text(QStringLiteral("B"))
                    .Take());
    f->dtsPadrao.setDataSet(&cds);
    f->Show();
    f->dbgPadrao->setFocus();
    QTest::keyClick(f->dbgPadrao, Qt::Key_Space);
    QTest::keyClick(f->dbgPadrao, Qt::Key_Return); // dropped by the base
    QTest::keyClick(f->dbgPadrao, Qt::Key_Insert); // no new rows from the keyboard
    EXPECT_EQ(f->calls.filter(QStringLiteral("key:")), QStringList{QStringLiteral("key: ")});
    EXPECT_EQ(cds.RecordCount(), 2);
    EXPECT_EQ(cds.State(), TDataSetState::dsBrowse);
    f->dtsPadrao.setDataSet(nullptr);
}

TEST_F(PadraoGridTest, FormCloseDecidesWhatClosingDoes)
{
    auto* f = CreateForm<TfrmTeste>();
    f->Show();
    QPointer<QMdiSubWindow> window = f->SubWindow();
    QPointer<TfrmTeste> screen = f;

    f->closeAction = TCloseAction::caNone;
    EXPECT_FALSE(f->Close());
    EXPECT_TRUE(window->isVisible());

    f->closeFails = true;
    f->closeAction = TCloseAction::caFree;
    EXPECT_FALSE(f->Close());
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(MessageSeam::errors().size(), 1u);

    f->closeFails = false;
    f->closeAction = TCloseAction::caHide;
    QTest::mouseClick(f->sbtFechar, Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    ASSERT_FALSE(screen.isNull());
    f->Show();
    EXPECT_TRUE(window->isVisible());

    f->closeAction = TCloseAction::caFree;
    EXPECT_TRUE(f->Close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(screen.isNull()) << "caFree must release the screen";
    EXPECT_TRUE(window.isNull());
}
