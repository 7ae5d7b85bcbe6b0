// The review screen's start-up and the choice of its branch, through the real
// widgets against the real server.

#include "filter/Cli_zel08101.h"
#include "filter/TfrmFiltroIncons.h"
#include "host/Application.h"
#include "host/Dialogs.h"
#include "host/ListDialogs.h"
#include "host/Login.h"
#include "host/LoginClient.h"
#include "host/NetConnection.h"
#include "host/ResultCheck.h"
#include "platform/widgets/DBGridModel.h"
#include "platform/widgets/FormFocus.h"
#include "review/Cli_zel08100.h"
#include "review/TfrmIncPed.h"
#include "tests/support/Modal.h"
#include "tests/support/ReviewFixture.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>

using namespace zel;
using namespace zel::test;
using Cli_zel08101::TfrmFiltroIncons;
namespace unit = Cli_zel08100;

namespace {

const std::vector<Variant> kFilterMode{Variant(true), Variant(""), Variant(""), Variant(""), Variant("")};

class BranchTest : public ReviewTest {
protected:
    void SetUp() override
    {
        ReviewTest::SetUp();
        if (HasFatalFailure()) return;
        SpyOnServer();
        ActivateMainForm();
    }
    unit::TfrmIncPed* open(const std::vector<Variant>& params = kFilterMode)
    {
        unit::IniProc(params);
        return unit::frmIncPed;
    }
    // Logs in as another demo operator; fixed says whether the login keeps
    // to its branch.
    static void logInAs(const QString& operador, bool fixed)
    {
        TLoginInfo login = Entrar(WebURL(), WebPort(), operador, QStringLiteral("demo"));
        login.moduFili = fixed;
        SetLogin(login);
    }
    // Leaves the branch panel for the order grid; the filter dialog that this
    // opens is confirmed for every order of the branch, or closed.
    int dialogs = 0;
    void leavePanel(unit::TfrmIncPed* screen, bool confirm = false)
    {
        auto dialog = WhenModal<TfrmFiltroIncons>([this, confirm](TfrmFiltroIncons* f) {
            ++dialogs;
            if (!confirm) return QTest::mouseClick(f->sbtFechar, Qt::LeftButton);
            f->depDe->Clear();
            f->depAte->Clear();
            QTest::mouseClick(f->sbtConfirma, Qt::LeftButton);
        });
        screen->dbgPadrao->setFocus();
        // Here no window manager gives the main form back its activation.
        ActivateMainForm();
    }
    static int grupOperCalls() { return TServerSpy::calls.value(QStringLiteral("GetGrupOper")); }
    static bool branchControlsEnabled(unit::TfrmIncPed* s)
    {
        return s->lblFilial->isEnabled() && s->medCdFilial->isEnabled() && s->btpFilial->isEnabled();
    }
    static bool branchControlsDisabled(unit::TfrmIncPed* s)
    {
        return !s->lblFilial->isEnabled() && !s->medCdFilial->isEnabled() && !s->btpFilial->isEnabled();
    }
};

} // namespace

TEST_F(BranchTest, FromTheMenuTheLoginsBranchIsShownWithoutALookUpAndTheCodeFieldTakesTheFocus)
{
    TLoginInfo login = CurrentLogin();
    login.filial = QStringLiteral("ZZZZ"); // not in the branch table
    login.nmFilial = QStringLiteral("Filial fora da tabela");
    SetLogin(login);
    unit::TfrmIncPed* screen = open();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->medCdFilial->Text(), QStringLiteral("ZZZZ"));
    EXPECT_EQ(screen->edtNmfilial->text(), QStringLiteral("Filial fora da tabela"));
    EXPECT_TRUE(branchControlsEnabled(screen));
    EXPECT_EQ(ActiveControl(screen), screen->medCdFilial);
    EXPECT_EQ(grupOperCalls(), 0);
    EXPECT_EQ(Cli_zel08101::frmFiltroIncons, nullptr) << "no filter dialog before the panel is left";
    EXPECT_TRUE(MessageSeam::history().empty());

    // Leaving the panel is a focus move: the detail pages come after the order grid.
    const std::vector<QWidget*> chain = TabChain(screen);
    const auto at = [&](QWidget* w) { return std::find(chain.begin(), chain.end(), w) - chain.begin(); };
    ASSERT_LT(at(screen->pgcIncPed), std::ssize(chain));
    EXPECT_LT(at(screen->dbgPadrao), at(screen->pgcIncPed));
}

TEST_F(BranchTest, AFixedBranchFetchesTheRightsAndOpensTheFilterDuringTheFirstActivation)
{
    logInAs(QStringLiteral("0005"), true);
    bool disabledWhileAsked = false;
    int rowsWhileAsked = -1;
    auto dialog = WhenModal<TfrmFiltroIncons>([&](TfrmFiltroIncons* f) {
        ++dialogs;
        disabledWhileAsked = branchControlsDisabled(unit::frmIncPed);
        rowsWhileAsked = unit::frmIncPed->cdsGrupOper.RecordCount();
        f->depDe->Clear();
        f->depAte->Clear();
        QTest::mouseClick(f->sbtConfirma, Qt::LeftButton);
    });
    unit::TfrmIncPed* screen = open();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(disabledWhileAsked);
    EXPECT_EQ(rowsWhileAsked, 1) << "operator 0005 releases in branch 0001: fetched before the dialog";
    EXPECT_EQ(grupOperCalls(), 1);
    // The orders chosen stay: the focus goes to the order grid, outside the panel.
    EXPECT_GT(screen->cdsPedido.RecordCount(), 0);
    EXPECT_EQ(ActiveControl(screen), screen->dbgPadrao);
    EXPECT_EQ(Color(screen->medCdFilial), colors::clInfoBk) << "only the given-order mode greys the code";
    EXPECT_TRUE(screen->sbtFiltro->isEnabled());
    EXPECT_EQ(screen->edtNmfilial->text(), BranchName(QStringLiteral("0001")));
}

TEST_F(BranchTest, AGivenOrderFixesTheBranchFetchesTheRightsAndOpensNoDialog)
{
    SetRdmIncPedFactory(nullptr);
    const Order a = OrderWithDelivery(QStringLiteral("0002"));
    SpyOnServer();
    unit::TfrmIncPed* screen = open({Variant(false), Variant(a.filial), Variant(a.nrPedido),
                                     Variant(DateToStr(a.dtPedido)), Variant(DateToStr(a.dtEntPed))});
    ASSERT_NE(screen, nullptr);
    EXPECT_FALSE(screen->sbtFiltro->isEnabled());
    EXPECT_TRUE(branchControlsDisabled(screen));
    EXPECT_EQ(Color(screen->medCdFilial), colors::clBtnFace);
    EXPECT_EQ(screen->edtNmfilial->text(), BranchName(QStringLiteral("0002"))) << "checked in the branch table";
    EXPECT_EQ(grupOperCalls(), 1);
    EXPECT_EQ(screen->cdsGrupOper.RecordCount(), 1);
    EXPECT_EQ(Cli_zel08101::frmFiltroIncons, nullptr);
    EXPECT_EQ(screen->cdsPedido.RecordCount(), 1) << "the given order stays";
    EXPECT_EQ(ActiveControl(screen), screen->dbgPadrao);
    EXPECT_TRUE(MessageSeam::history().empty());
}

TEST_F(BranchTest, EachVisitToThePanelEmptiesTheListsRefetchesTheRightsAndAsksForOrdersAgain)
{
    unit::TfrmIncPed* screen = open();
    ASSERT_NE(screen, nullptr);
    ASSERT_EQ(ActiveControl(screen), screen->medCdFilial);

    for (int visit = 1; visit <= 2; ++visit) {
        leavePanel(screen, true);
        EXPECT_EQ(dialogs, visit);
        EXPECT_EQ(grupOperCalls(), visit);
        ASSERT_GT(screen->cdsPedido.RecordCount(), 0);
        EXPECT_EQ(screen->medCdFilial->Text(), QStringLiteral("0001")) << "unchanged";
        screen->cdsIncPed.SetData(CheckResultServ(
            screen->AppServer().GetIncPed(QStringLiteral("0001"), QStringLiteral("0000000001")), true, 0));

        screen->medCdFilial->setFocus();
        EXPECT_FALSE(screen->cdsPedido.Active());
        EXPECT_FALSE(screen->cdsIncPed.Active());
        EXPECT_EQ(screen->dbgPadrao->Model()->rowCount(), 0);
        EXPECT_EQ(screen->dbgIncPed->Model()->rowCount(), 0);
    }
    leavePanel(screen);
    EXPECT_EQ(dialogs, 3);

    // Switching to another window and back only repaints.
    auto* other = MdiArea()->addSubWindow(new QWidget);
    other->show();
    MdiArea()->setActiveSubWindow(other);
    MdiArea()->setActiveSubWindow(screen->SubWindow());
    EXPECT_EQ(MdiArea()->activeSubWindow(), screen->SubWindow());
    EXPECT_EQ(grupOperCalls(), 3);
    EXPECT_EQ(dialogs, 3);
    EXPECT_EQ(ActiveControl(screen), screen->dbgPadrao);
    EXPECT_TRUE(branchControlsEnabled(screen));
    delete other;
}

TEST_F(BranchTest, TheLookUpEmptiesTheListsEvenWhenCancelledAndAPickShowsCodeAndName)
{
    unit::TfrmIncPed* screen = open();
    ASSERT_NE(screen, nullptr);
    auto loadOrders = [&] {
        screen->cdsPedido.SetData(
            CheckResultServ(screen->AppServer().GetPedido(QStringLiteral("0001"), {}, {}, {}, QStringLiteral("T"), {},
                                                          {}, QStringLiteral("T"), {}, {}, QStringLiteral("T")),
                            true, 0));
        ASSERT_GT(screen->cdsPedido.RecordCount(), 0);
    };
    loadOrders();
    auto lookUp = WhenModal<TfrmPesquisaLista>([](TfrmPesquisaLista* d) { d->btnCancelar->click(); });
    QTest::mouseClick(screen->btpFilial, Qt::LeftButton);
    EXPECT_FALSE(screen->cdsPedido.Active());
    EXPECT_EQ(screen->medCdFilial->Text(), QStringLiteral("0001"));

    loadOrders();
    lookUp = WhenModal<TfrmPesquisaLista>([](TfrmPesquisaLista* d) {
        d->setCurrentRow(1);
        d->btnOK->click();
    });
    QTest::mouseClick(screen->btpFilial, Qt::LeftButton);
    EXPECT_FALSE(screen->cdsPedido.Active());
    EXPECT_EQ(screen->medCdFilial->Text(), QStringLiteral("0002"));
    EXPECT_EQ(screen->edtNmfilial->text(), BranchName(QStringLiteral("0002")));
    EXPECT_EQ(ActiveControl(screen), screen->medCdFilial);
    EXPECT_TRUE(MessageSeam::history().empty());
}

TEST_F(BranchTest, TypingEmptiesTheNameAndLeavingTheCodeChecksItInTheBranchTable)
{
    unit::TfrmIncPed* screen = open();
    ASSERT_NE(screen, nullptr);
    const struct {
        const char* typed;
        const char* code;            // the code after leaving the field
        std::vector<QString> errors; // the errors shown
        bool named;                  // the name is shown again
    } cases[] = {
        {"2", "0002", {}, true},
        // The focus moves on all the same, and leaving the panel asks the
        // server for the rights of no branch: it answers with the same text.
        {"", "", {"Filial deve ser informada.", "Filial deve ser informada."}, false},
        {"zz", "00ZZ", {"Filial não cadastrada."}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        MessageSeam::clearHistory();
        screen->medCdFilial->setFocus();
        ASSERT_FALSE(screen->edtNmfilial->text().isEmpty());
        screen->medCdFilial->selectAll();
        QTest::keyClick(screen->medCdFilial, Qt::Key_Backspace);
        EXPECT_TRUE(screen->edtNmfilial->text().isEmpty()) << "emptied at the first key";
        QTest::keyClicks(screen->medCdFilial, QString::fromLatin1(c.typed));
        leavePanel(screen);
        EXPECT_EQ(screen->medCdFilial->Text(), QString::fromLatin1(c.code));
        EXPECT_EQ(MessageSeam::errors(), c.errors);
        EXPECT_EQ(screen->edtNmfilial->text(), c.named ? BranchName(QString::fromLatin1(c.code)) : QString());
        // Once the code is good again, the next case starts from a named branch.
        if (!c.named) {
            screen->medCdFilial->setFocus();
            screen->medCdFilial->selectAll();
            QTest::keyClicks(screen->medCdFilial, QStringLiteral("1"));
            leavePanel(screen);
        }
    }
}

TEST_F(BranchTest, AFailedFetchOfTheRightsAfterABranchChangeKeepsThoseOfThePreviousBranch)
{
    logInAs(QStringLiteral("0005"), false); // releases in branch 0001 only
    unit::TfrmIncPed* screen = open();
    ASSERT_NE(screen, nullptr);
    auto moveTo = [&](const char* branch) {
        screen->medCdFilial->setFocus();
        screen->medCdFilial->setText(QString::fromLatin1(branch));
        leavePanel(screen);
    };
    moveTo("0001");
    ASSERT_EQ(screen->cdsGrupOper.RecordCount(), 1);

    TServerSpy::rejecting = {QStringLiteral("GetGrupOper")};
    moveTo("0002");
    EXPECT_EQ(grupOperCalls(), 2);
    EXPECT_EQ(screen->cdsGrupOper.RecordCount(), 1) << "the rights of branch 0001 stay";
    EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{TServerSpy::RejectionText(QStringLiteral("GetGrupOper"))});
    EXPECT_EQ(dialogs, 2) << "the filter dialog opens all the same";

    TServerSpy::rejecting.clear();
    moveTo("0002");
    EXPECT_EQ(screen->cdsGrupOper.RecordCount(), 0) << "a fetch that works replaces them";
}
