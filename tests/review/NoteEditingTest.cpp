// Release notes: typed into the memo, or started with the edit button and
// confirmed or cancelled; the tool buttons that follow the inconsistency area.

#include "host/Application.h"
#include "host/Dialogs.h"
#include "review/Cli_zel08100.h"
#include "review/TfrmIncPed.h"
#include "tests/review/ScreenFixture.h"

#include <QAccessible>
#include <QMdiArea>
#include <QTabBar>
#include <QTest>

using namespace zel;
using namespace zel::test;
namespace unit = Cli_zel08100;

namespace {

class NoteEditingTest : public ScreenTest {
protected:
    void clickTab(TTabSheet* page)
    {
        QTabBar* bar = screen->pgcIncPed->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page->PageIndex()).center());
    }
    bool editing() const { return screen->cdsIncPed.State() == TDataSetState::dsEdit; }
    // A button and its menu entry, which always agree.
    static bool on(TButtonFlat* button, QAction* entry)
    {
        EXPECT_EQ(button->isEnabled(), entry->isEnabled()) << button->objectName().toStdString();
        return button->isEnabled();
    }
};

} // namespace

TEST_F(NoteEditingTest, ANoteTypedIntoTheMemoIsPostedAndSentOnceWhenAnotherRowIsChosen)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{}, {}});
    ASSERT_NE(openOrder(o), nullptr);
    clickCell(screen->dbgIncPed, 0, kDescricao);
    clickTab(screen->tshObs);
    ASSERT_EQ(screen->pgcIncPed->ActivePage(), screen->tshObs);
    click(screen->dmmObsIncPed);
    ASSERT_EQ(activeName(), QStringLiteral("dmmObsIncPed"));
    type(screen->dmmObsIncPed, QStringLiteral("Cliente autorizou por telefone"));
    EXPECT_TRUE(editing());
    EXPECT_TRUE(screen->tshIncPed->Enabled()) << "typing straight into the memo leaves the grid page";
    EXPECT_TRUE(on(screen->sbtConfirmar, screen->mnuConfirmar));
    EXPECT_TRUE(on(screen->sbtCancelar, screen->mnuCancelar));
    EXPECT_FALSE(on(screen->sbtAlterar, screen->mnuAlterar));
    EXPECT_EQ(spy->count(QStringLiteral("SetIncPed")), 0);

    clickTab(screen->tshIncPed);
    clickCell(screen->dbgIncPed, 1, kDescricao);
    EXPECT_EQ(screen->cdsIncPed.CurrentRow(), 1);
    EXPECT_FALSE(editing());
    ASSERT_EQ(spy->count(QStringLiteral("SetIncPed")), 1);
    EXPECT_EQ(spy->of(QStringLiteral("SetIncPed"))[0].args,
              QStringList{"001:TXOBSLIBINCO=Cliente autorizou por telefone"});
    EXPECT_EQ(Stored(*server_, o, 1).note, QStringLiteral("Cliente autorizou por telefone"));
    EXPECT_EQ(incValue(0, "TXOBSLIBINCO"), QStringLiteral("Cliente autorizou por telefone"));
    EXPECT_EQ(screen->cdsIncPed.ChangeCount(), 0);
    EXPECT_TRUE(on(screen->sbtAlterar, screen->mnuAlterar));
    EXPECT_FALSE(on(screen->sbtConfirmar, screen->mnuConfirmar));
    EXPECT_TRUE(MessageSeam::history().empty());
}

TEST_F(NoteEditingTest, TheEditButtonOpensTheNoteAndCancelAsksBeforeRestoringIt)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{QStringLiteral("N"), true, QStringLiteral("antes")}});
    ASSERT_NE(openOrder(o), nullptr);

    // From the order grid the edit button is off, and its handler does nothing.
    clickCell(screen->dbgPadrao, 0, 1);
    EXPECT_FALSE(on(screen->sbtAlterar, screen->mnuAlterar));
    screen->sbtAlterarClick(screen->sbtAlterar);
    EXPECT_FALSE(editing());
    EXPECT_EQ(screen->pgcIncPed->ActivePage(), screen->tshIncPed);

    // From the inconsistency grid: the note page, the focus in the memo, the
    // grid page disabled.
    clickCell(screen->dbgIncPed, 0, kDescricao);
    EXPECT_TRUE(on(screen->sbtAlterar, screen->mnuAlterar));
    EXPECT_TRUE(on(screen->sbtProcurar, screen->mnuProcurar));
    click(screen->sbtAlterar);
    EXPECT_TRUE(editing());
    EXPECT_EQ(screen->pgcIncPed->ActivePage(), screen->tshObs);
    EXPECT_EQ(activeName(), QStringLiteral("dmmObsIncPed"));
    EXPECT_FALSE(screen->tshIncPed->Enabled());
    EXPECT_TRUE(on(screen->sbtConfirmar, screen->mnuConfirmar));
    EXPECT_TRUE(on(screen->sbtCancelar, screen->mnuCancelar));
    EXPECT_FALSE(on(screen->sbtAlterar, screen->mnuAlterar));

    screen->dmmObsIncPed->moveCursor(QTextCursor::End);
    type(screen->dmmObsIncPed, QStringLiteral(" e depois"));
    EXPECT_EQ(screen->dmmObsIncPed->toPlainText(), QStringLiteral("antes e depois"));

    // Cancel answered No: the edit goes on with the typed text.
    MessageSeam::setNextAnswer(mrNo);
    click(screen->sbtCancelar);
    ASSERT_EQ(MessageSeam::history().size(), 1u);
    EXPECT_EQ(MessageSeam::history()[0].text, QStringLiteral("Cancelar operação?"));
    EXPECT_EQ(MessageSeam::history()[0].type, TMsgDlgType::mtConfirmation);
    EXPECT_EQ(MessageSeam::history()[0].buttons, mbYes | mbNo);
    EXPECT_TRUE(editing());
    EXPECT_EQ(screen->dmmObsIncPed->toPlainText(), QStringLiteral("antes e depois"));
    EXPECT_FALSE(screen->tshIncPed->Enabled());

    // Yes: the former note, the grid page enabled, the note page still shown.
    MessageSeam::setNextAnswer(mrYes);
    click(screen->sbtCancelar);
    EXPECT_FALSE(editing());
    EXPECT_EQ(screen->dmmObsIncPed->toPlainText(), QStringLiteral("antes"));
    EXPECT_TRUE(screen->tshIncPed->Enabled());
    EXPECT_EQ(screen->pgcIncPed->ActivePage(), screen->tshObs);
    EXPECT_EQ(screen->cdsIncPed.ChangeCount(), 0);
    EXPECT_FALSE(on(screen->sbtConfirmar, screen->mnuConfirmar));

    // Edit again and confirm: posted, sent, the grid page back.
    click(screen->sbtAlterar);
    screen->dmmObsIncPed->moveCursor(QTextCursor::End);
    type(screen->dmmObsIncPed, QStringLiteral(" confirmado"));
    click(screen->sbtConfirmar);
    EXPECT_FALSE(editing());
    ASSERT_EQ(spy->count(QStringLiteral("SetIncPed")), 1);
    EXPECT_EQ(spy->of(QStringLiteral("SetIncPed"))[0].args, QStringList{"001:TXOBSLIBINCO=antes confirmado"});
    EXPECT_EQ(Stored(*server_, o, 1).note, QStringLiteral("antes confirmado"));
    EXPECT_TRUE(screen->tshIncPed->Enabled());
    EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{});
}

TEST_F(NoteEditingTest, ANoteWhoseSendFailsShowsItsFormerTextAndThePageStaysDisabled)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{QStringLiteral("N"), true, QStringLiteral("antes")}});
    ASSERT_NE(openOrder(o), nullptr);
    clickCell(screen->dbgIncPed, 0, kDescricao);
    click(screen->sbtAlterar);
    type(screen->dmmObsIncPed, QStringLiteral("xyz "));
    spy->failAt[QStringLiteral("SetIncPed")] = 1;
    click(screen->sbtConfirmar);
    EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{spy->failText});
    EXPECT_FALSE(editing());
    EXPECT_EQ(screen->dmmObsIncPed->toPlainText(), QStringLiteral("antes"));
    EXPECT_EQ(incValue(0, "TXOBSLIBINCO"), QStringLiteral("antes"));
    EXPECT_EQ(screen->pgcIncPed->ActivePage(), screen->tshObs);
    EXPECT_FALSE(screen->tshIncPed->Enabled()) << "until the next successful post or cancel";
    EXPECT_EQ(Stored(*server_, o, 1).note, QStringLiteral("antes"));
}

TEST_F(NoteEditingTest, ConfirmWithAnEmptyBranchShowsTheBranchMessageAndPostsNothing)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{}});
    ASSERT_NE(openOrder(o), nullptr);
    clickCell(screen->dbgIncPed, 0, kDescricao);
    click(screen->sbtAlterar);
    type(screen->dmmObsIncPed, QStringLiteral("nota"));
    ASSERT_TRUE(editing());
    screen->medCdFilial->setText(QString());

    click(screen->sbtConfirmar);
    EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{QStringLiteral("Filial deve ser informada.")});
    EXPECT_TRUE(editing()) << "the row stays in edit";
    EXPECT_EQ(spy->count(QStringLiteral("SetIncPed")), 0);

    // Also when the focus is on the order grid.
    MessageSeam::clearHistory();
    clickCell(screen->dbgPadrao, 0, 1);
    ASSERT_TRUE(screen->sbtConfirmar->isEnabled());
    click(screen->sbtConfirmar);
    EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{QStringLiteral("Filial deve ser informada.")});
    EXPECT_EQ(spy->count(QStringLiteral("SetIncPed")), 0);
}

TEST_F(NoteEditingTest, SwitchingPagesFromTheOrderGridSetsTheToolsForTheOrders)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{}});
    ASSERT_NE(openOrder(o), nullptr);
    clickCell(screen->dbgIncPed, 0, kDescricao);
    ASSERT_TRUE(on(screen->sbtAlterar, screen->mnuAlterar));
    clickCell(screen->dbgPadrao, 0, 1);
    // Refresh and find come back on for the orders; edit stays off.
    screen->sbtVerificar->setEnabled(false);
    screen->sbtProcurar->setEnabled(false);
    screen->sbtAlterar->setEnabled(true);
    // The page switched by the user while the order grid keeps the focus.
    screen->pgcIncPed->setCurrentIndex(screen->tshObs->PageIndex());
    ASSERT_EQ(screen->pgcIncPed->ActivePage(), screen->tshObs);
    ASSERT_EQ(activeName(), QStringLiteral("dbgPadrao"));
    EXPECT_FALSE(on(screen->sbtAlterar, screen->mnuAlterar));
    EXPECT_TRUE(on(screen->sbtVerificar, screen->mnuVerificar));
    EXPECT_TRUE(on(screen->sbtProcurar, screen->mnuProcurar));

    // From the inconsistency area the same switch changes none of them.
    clickTab(screen->tshIncPed);
    clickCell(screen->dbgIncPed, 0, kDescricao);
    screen->sbtVerificar->setEnabled(false);
    screen->pgcIncPed->setCurrentIndex(screen->tshObs->PageIndex());
    ASSERT_NE(activeName(), QStringLiteral("dbgPadrao"));
    EXPECT_FALSE(screen->sbtVerificar->isEnabled());
}

// A note in edit goes to the server before the order list moves or is
// reloaded, whichever way the operator leaves it; afterwards nothing is left
// in edit and the inconsistency page can be worked again.
TEST_F(NoteEditingTest, ANoteInEditIsSentBeforeTheOrderListMovesOrReloads)
{
    const Order a = AddOrder(*server_, QStringLiteral("0001"), {{}});
    const Order b = AddOrder(*server_, QStringLiteral("0001"), {{}});
    ASSERT_NE(openOrders(a, b), nullptr);
    ASSERT_EQ(screen->cdsPedido.RecordCount(), 2);

    struct Leave {
        const char* what;
        std::function<void()> act;
    };
    const std::vector<Leave> leaves{
        {"a click on the other order", [&] { clickCell(screen->dbgPadrao, 1, 1); }},
        {"the navigator",
         [&] {
             click(screen->dbgPadrao);
             click(screen->dbnPadrao->Button(TNavigateBtn::nbNext));
         }},
        {"a refresh of the order grid",
         [&] {
             click(screen->dbgPadrao);
             click(screen->sbtVerificar);
         }},
        {"the branch panel", [&] { screen->medCdFilial->setFocus(); }},
    };
    int n = 0;
    for (const Leave& leave : leaves) {
        SCOPED_TRACE(leave.what);
        clickCell(screen->dbgPadrao, 0, 1);
        ASSERT_EQ(screen->cdsPedido.FieldByName(QStringLiteral("NRPEDIDO"))->AsString(), a.nrPedido);
        clickCell(screen->dbgIncPed, 0, kDescricao);
        click(screen->sbtAlterar);
        ASSERT_TRUE(editing());
        const QString note = QStringLiteral("nota %1").arg(++n);
        screen->dmmObsIncPed->selectAll();
        type(screen->dmmObsIncPed, note);
        leave.act();
        EXPECT_EQ(Stored(*server_, a, 1).note, note);
        EXPECT_FALSE(screen->cdsIncPed.IsEditing());
        EXPECT_TRUE(screen->tshIncPed->Enabled());
        EXPECT_FALSE(on(screen->sbtConfirmar, screen->mnuConfirmar));
        EXPECT_FALSE(on(screen->sbtCancelar, screen->mnuCancelar));
        EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{});
    }
}

TEST_F(NoteEditingTest, ANoteWhoseSendFailsOnAMoveStaysInEditAndTheOrderStays)
{
    const Order a = AddOrder(*server_, QStringLiteral("0001"), {{QStringLiteral("N"), true, QStringLiteral("antes")}});
    const Order b = AddOrder(*server_, QStringLiteral("0001"), {{}});
    ASSERT_NE(openOrders(a, b), nullptr);
    clickCell(screen->dbgIncPed, 0, kDescricao);
    clickTab(screen->tshObs);
    click(screen->dmmObsIncPed);
    screen->dmmObsIncPed->selectAll();
    type(screen->dmmObsIncPed, QStringLiteral("digitado"));
    ASSERT_TRUE(editing());

    spy->failAt[QStringLiteral("SetIncPed")] = 1;
    clickCell(screen->dbgPadrao, 1, 1);
    EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{spy->failText});
    EXPECT_EQ(screen->cdsPedido.FieldByName(QStringLiteral("NRPEDIDO"))->AsString(), a.nrPedido)
        << "the move does not happen";
    EXPECT_TRUE(editing());
    EXPECT_EQ(screen->dmmObsIncPed->toPlainText(), QStringLiteral("digitado"));
    EXPECT_EQ(spy->count(QStringLiteral("GetIncPed")), 0) << "the list is not reloaded";

    // The next try goes through.
    clickCell(screen->dbgPadrao, 1, 1);
    EXPECT_EQ(screen->cdsPedido.FieldByName(QStringLiteral("NRPEDIDO"))->AsString(), b.nrPedido);
    EXPECT_EQ(Stored(*server_, a, 1).note, QStringLiteral("digitado"));
    EXPECT_FALSE(screen->cdsIncPed.IsEditing());
}

// Closing the screen (alone, or with the shell's windows) with a note in
// edit asks what to do with it: stay, discard, or save.
TEST_F(NoteEditingTest, ClosingWithANoteInEditAsksToSaveDiscardOrStay)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{QStringLiteral("N"), true, QStringLiteral("antes")}});
    const QString question = QStringLiteral("A observação em edição não foi confirmada. Deseja gravá-la?");
    auto startNote = [&](const QString& text) {
        clickCell(screen->dbgIncPed, 0, kDescricao);
        click(screen->sbtAlterar);
        screen->dmmObsIncPed->selectAll();
        type(screen->dmmObsIncPed, text);
        ASSERT_TRUE(editing());
        MessageSeam::clearHistory();
    };
    auto mdi = MainForm()->findChild<QMdiArea*>();
    ASSERT_NE(mdi, nullptr);

    // Stay, from the shell's closing of every window.
    ASSERT_NE(openOrder(o), nullptr);
    startNote(QStringLiteral("fica"));
    MessageSeam::setNextAnswer(mrCancel);
    mdi->closeAllSubWindows();
    ASSERT_EQ(MessageSeam::history().size(), 1u);
    EXPECT_EQ(MessageSeam::history()[0].text, question);
    EXPECT_EQ(MessageSeam::history()[0].buttons, mbYesNoCancel);
    ASSERT_EQ(unit::frmIncPed, screen) << "the screen stays open";
    EXPECT_TRUE(editing());
    EXPECT_EQ(screen->dmmObsIncPed->toPlainText(), QStringLiteral("fica"));

    // Discard.
    MessageSeam::setNextAnswer(mrNo);
    mdi->closeAllSubWindows();
    ASSERT_TRUE(QTest::qWaitFor([] { return unit::frmIncPed == nullptr; }));
    EXPECT_EQ(Stored(*server_, o, 1).note, QStringLiteral("antes"));

    // Save, closing the screen itself.
    ASSERT_NE(openOrder(o), nullptr);
    startNote(QStringLiteral("gravada"));
    MessageSeam::setNextAnswer(mrYes);
    screen->Close();
    ASSERT_TRUE(QTest::qWaitFor([] { return unit::frmIncPed == nullptr; }));
    EXPECT_EQ(Stored(*server_, o, 1).note, QStringLiteral("gravada"));
    EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{});
}

// The inconsistency page disabled by the edit button reads as disabled to
// assistive technology too, and as enabled again after the cancel.
TEST_F(NoteEditingTest, TheDisabledPagesTabSaysSoToAssistiveTechnology)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{}});
    ASSERT_NE(openOrder(o), nullptr);
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(screen->pgcIncPed->tabBar());
    ASSERT_NE(bar, nullptr);
    auto tab = [&](TTabSheet* page) -> QAccessibleInterface* {
        for (int i = 0; i < bar->childCount(); ++i) {
            QAccessibleInterface* c = bar->child(i);
            if (c && c->role() == QAccessible::PageTab && c->text(QAccessible::Name) == page->Caption()) return c;
        }
        ADD_FAILURE() << "no tab " << page->Caption().toStdString();
        return nullptr;
    };
    clickCell(screen->dbgIncPed, 0, kDescricao);
    ASSERT_NE(tab(screen->tshIncPed), nullptr);
    EXPECT_FALSE(tab(screen->tshIncPed)->state().disabled);

    click(screen->sbtAlterar);
    ASSERT_FALSE(screen->tshIncPed->Enabled());
    EXPECT_TRUE(tab(screen->tshIncPed)->state().disabled);
    EXPECT_FALSE(tab(screen->tshObs)->state().disabled);

    MessageSeam::setNextAnswer(mrYes);
    click(screen->sbtCancelar);
    ASSERT_TRUE(screen->tshIncPed->Enabled());
    EXPECT_FALSE(tab(screen->tshIncPed)->state().disabled);
}

// Esc with a note in edit is the cancel command: it asks before the typed
// text is undone, in the memo as in the inconsistency grid.
TEST_F(NoteEditingTest, EscWithANoteInEditAsksBeforeUndoingIt)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{QStringLiteral("N"), true, QStringLiteral("antes")}});
    ASSERT_NE(openOrder(o), nullptr);
    clickCell(screen->dbgIncPed, 0, kDescricao);
    clickTab(screen->tshObs);
    click(screen->dmmObsIncPed);
    screen->dmmObsIncPed->moveCursor(QTextCursor::End);
    type(screen->dmmObsIncPed, QStringLiteral(" e mais"));
    ASSERT_TRUE(editing());

    MessageSeam::setNextAnswer(mrNo);
    key(screen->dmmObsIncPed, Qt::Key_Escape);
    ASSERT_EQ(MessageSeam::history().size(), 1u);
    EXPECT_EQ(MessageSeam::history()[0].text, QStringLiteral("Cancelar operação?"));
    EXPECT_TRUE(editing());
    EXPECT_EQ(screen->dmmObsIncPed->toPlainText(), QStringLiteral("antes e mais"));

    clickTab(screen->tshIncPed);
    click(screen->dbgIncPed);
    MessageSeam::setNextAnswer(mrNo);
    key(screen->dbgIncPed, Qt::Key_Escape);
    EXPECT_EQ(MessageSeam::history().size(), 2u);
    EXPECT_TRUE(editing());

    MessageSeam::setNextAnswer(mrYes);
    key(screen->dbgIncPed, Qt::Key_Escape);
    EXPECT_FALSE(editing());
    EXPECT_EQ(screen->dmmObsIncPed->toPlainText(), QStringLiteral("antes"));
    EXPECT_EQ(spy->count(QStringLiteral("SetIncPed")), 0);
}
