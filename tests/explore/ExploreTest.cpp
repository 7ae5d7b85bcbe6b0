// The explorer: random but seeded sequences of what an operator does on the
// review screen (clicks on cells, titles, tabs, tool buttons and menu entries,
// keys, notes typed, the filter dialog, the branch panel, message boxes
// answered either way, the server frozen or restarted), run through the real
// module against the real server, with the screen's promises checked after
// every action. A failing sequence is shrunk to the shortest one that still
// fails and printed with its seed.
//
// ZEL_EXPLORE_SEEDS  seeds to run, separated by commas (default 1)
// ZEL_EXPLORE_RUNS   sequences per seed (default 3)
// ZEL_EXPLORE_LENGTH longest sequence (default 25 actions)

#include "filter/TfrmFiltroIncons.h"
#include "host/Application.h"
#include "host/Dialogs.h"
#include "host/ListDialogs.h"
#include "host/NetConnection.h"
#include "platform/data/DataSource.h"
#include "platform/widgets/FormFocus.h"
#include "review/Cli_zel08100.h"
#include "review/TfrmIncPed.h"
#include "tests/review/ScreenFixture.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <iostream>
#include <rapidcheck.h>
#include <sstream>

using namespace zel;
using namespace zel::test;
namespace unit = Cli_zel08100;

namespace explore {

enum class Kind {
    ClickIncCell,   // a: row, b: 0 = check column, else the description
    ClickOrderCell, // a: row
    ClickIncTitle,  // a: 0 = the check column's title, else the description's
    ClickTab,       // a: page
    Tool,           // a: which button or menu entry, b: the answer to a question it may ask
    Key,            // a: which key, sent to the control that has the focus
    TypeNote,       // types a note into the memo
    BranchPanel,    // enters the branch panel and leaves it; b: the filter dialog confirmed or closed
    Freeze,         // the server frozen during a click on another order (a) or a refresh (b)
    Restart,        // the server stopped and started again
    Close,          // closes the screen, answering a: save, discard, stay; reopens it when closed
};

struct Action {
    Kind kind;
    int a;
    int b;
};

const char* const kTools[] = {"sbtAlterar",   "sbtConfirmar", "sbtCancelar",  "sbtVerificar", "sbtProcurar",
                              "btnLiberar",   "sbtFiltro",    "nbNext",       "nbPrior",      "mnuAlterar",
                              "mnuConfirmar", "mnuCancelar",  "mnuVerificar", "mnuLiberar"};
constexpr int kToolCount = int(std::size(kTools));

struct KeyDef {
    const char* name;
    int key;
    Qt::KeyboardModifiers mods;
};
const KeyDef kKeys[] = {{"Space", Qt::Key_Space, Qt::NoModifier},   {"Tab", Qt::Key_Tab, Qt::NoModifier},
                        {"Esc", Qt::Key_Escape, Qt::NoModifier},    {"Enter", Qt::Key_Return, Qt::NoModifier},
                        {"F9", Qt::Key_F9, Qt::NoModifier},         {"Ctrl+B", Qt::Key_B, Qt::ControlModifier},
                        {"Up", Qt::Key_Up, Qt::NoModifier},         {"Down", Qt::Key_Down, Qt::NoModifier},
                        {"Insert", Qt::Key_Insert, Qt::NoModifier}, {"a", Qt::Key_A, Qt::NoModifier}};
constexpr int kKeyCount = int(std::size(kKeys));

const int kAnswers[] = {mrYes, mrNo, mrCancel};

std::string describe(const Action& x)
{
    std::ostringstream s;
    switch (x.kind) {
    case Kind::ClickIncCell:
        s << "click inconsistency row " << x.a % 3 << (x.b % 2 == 0 ? " check" : " description");
        break;
    case Kind::ClickOrderCell:
        s << "click order row " << x.a % 2;
        break;
    case Kind::ClickIncTitle:
        s << "click inconsistency title " << (x.a % 2 == 0 ? "check" : "description");
        break;
    case Kind::ClickTab:
        s << "click tab " << (x.a % 2 == 0 ? "Inconsistência" : "Observação");
        break;
    case Kind::Tool:
        s << "tool " << kTools[x.a % kToolCount] << " answering " << kAnswers[x.b % 2];
        break;
    case Kind::Key:
        s << "key " << kKeys[x.a % kKeyCount].name;
        break;
    case Kind::TypeNote:
        s << "type a note";
        break;
    case Kind::BranchPanel:
        s << "branch panel, filter " << (x.b % 2 == 0 ? "confirmed" : "closed");
        break;
    case Kind::Freeze:
        s << "server frozen during " << (x.b % 2 == 0 ? "a click on order row " + std::to_string(x.a % 2) : "refresh");
        break;
    case Kind::Restart:
        s << "server restarted";
        break;
    case Kind::Close:
        s << "close the screen answering " << kAnswers[x.a % 3];
        break;
    }
    return s.str();
}

} // namespace explore

namespace rc {

template <> struct Arbitrary<explore::Action> {
    static Gen<explore::Action> arbitrary()
    {
        using explore::Kind;
        // Weighted towards what operators do most; the server's troubles are rare.
        const auto kind = gen::weightedElement<Kind>({{24, Kind::ClickIncCell},
                                                      {10, Kind::ClickOrderCell},
                                                      {4, Kind::ClickIncTitle},
                                                      {8, Kind::ClickTab},
                                                      {24, Kind::Tool},
                                                      {16, Kind::Key},
                                                      {12, Kind::TypeNote},
                                                      {4, Kind::BranchPanel},
                                                      {2, Kind::Freeze},
                                                      {1, Kind::Restart},
                                                      {4, Kind::Close}});
        return gen::build<explore::Action>(gen::set(&explore::Action::kind, kind),
                                           gen::set(&explore::Action::a, gen::inRange(0, 14)),
                                           gen::set(&explore::Action::b, gen::inRange(0, 2)));
    }
};

} // namespace rc

namespace explore {

void showValue(const Action& x, std::ostream& os)
{
    os << describe(x);
}

} // namespace explore

namespace {

using explore::Action;
using explore::Kind;

int envInt(const char* name, int fallback)
{
    const QByteArray v = qgetenv(name);
    bool ok = false;
    const int n = v.toInt(&ok);
    return ok && n > 0 ? n : fallback;
}

std::vector<std::uint64_t> envSeeds()
{
    std::vector<std::uint64_t> seeds;
    for (const QByteArray& part : qgetenv("ZEL_EXPLORE_SEEDS").split(',')) {
        bool ok = false;
        const qulonglong s = part.trimmed().toULongLong(&ok);
        if (ok) seeds.push_back(s);
    }
    if (seeds.empty()) seeds.push_back(1);
    return seeds;
}

// Texts that belong to the platform's inside, never to what an operator reads.
const char* const kInternalTexts[] = {"cdsIncPed",      "cdsPedido",         "cdsItemPedido", "cdsGrupOper",
                                      "dtsIncPedido",   "conjunto de dados", "Exception",     "exception",
                                      "std::",          "EDatabaseError",    "EAbort",        "TDataSet",
                                      "TClientDataSet", "qryFilial",         "qryVd_filial"};

// The text a leftover scripted answer is drained with, at the end of an action.
const QString kDrain = QStringLiteral("(resposta não usada)");

class Explorer : public ScreenTest {
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        if (HasFatalFailure()) return;
        // A frozen server costs each call its deadline: keep it short.
        TNetConnection::SetDefaultCallTimeoutMs(1500);
        modals_.setInterval(20);
        QObject::connect(&modals_, &QTimer::timeout, [this] { answerModal(); });
        modals_.start();
    }
    void TearDown() override
    {
        modals_.stop();
        reset();
        TNetConnection::SetDefaultCallTimeoutMs(30000);
        ScreenTest::TearDown();
    }

    // One sequence from a fresh screen on two orders of its own.
    void run(const std::vector<Action>& actions)
    {
        reset();
        a_ = AddOrder(*server_, QStringLiteral("0001"), {{}, {}, {QStringLiteral("N"), false}});
        b_ = AddOrder(*server_, QStringLiteral("0001"), {{}, {}});
        released_ = false;
        open();
        RC_ASSERT(screen != nullptr);
        for (std::size_t i = 0; i < actions.size(); ++i) {
            step_ = i;
            act(actions[i]);
            ++actionsRun;
        }
    }

    long actionsRun = 0;

private:
    Order a_, b_;
    std::size_t step_ = 0;
    bool released_ = false;     // a release was asked for in this sequence
    bool confirmFilter_ = true; // what the next filter dialog gets
    int noteNumber_ = 0;
    QTimer modals_;
    bool inModal_ = false;
    // Watches the inconsistency list's state: a close or reload straight
    // from the edit state is a list closed under an edit.
    TDataSource watch_{QStringLiteral("dtsExplorer")};
    TDataSetState lastState_ = TDataSetState::dsInactive;
    bool closedInEdit_ = false;

    void open()
    {
        // From the menu: leaving the branch panel opens the filter dialog,
        // which the dialog watcher confirms for the two orders.
        confirmFilter_ = true;
        unit::IniProc({Variant(true), Variant(QString()), Variant(QString()), Variant(QString()), Variant(QString())});
        screen = unit::frmIncPed;
        if (!screen) return;
        if (!QTest::qWaitForWindowExposed(screen->window())) RC_FAIL("the review screen never showed");
        screen->dbgPadrao->setFocus();
        MainForm()->activateWindow();
        if (!QTest::qWaitForWindowActive(MainForm())) RC_FAIL("the main form never became active");
        watch_.setDataSet(&screen->cdsIncPed);
        lastState_ = screen->cdsIncPed.State();
        watch_.OnStateChange = [this](TDataSource*) {
            if (!screen) return;
            const TDataSetState now = screen->cdsIncPed.State();
            if (now == TDataSetState::dsInactive &&
                (lastState_ == TDataSetState::dsEdit || lastState_ == TDataSetState::dsInsert))
                closedInEdit_ = true;
            lastState_ = now;
        };
    }

    // Back to no screen, a running server, no scripted answer left.
    void reset()
    {
        if (server_ && !server_->running()) {
            QString error;
            server_->restart(error);
        }
        if (server_) server_->resume();
        if (screen && unit::frmIncPed == screen) {
            watch_.setDataSet(nullptr);
            if (screen->cdsIncPed.IsEditing()) screen->cdsIncPed.Cancel();
        }
        CloseScreen();
        screen = nullptr;
        drainAnswers();
        closedInEdit_ = false;
    }

    void drainAnswers()
    {
        while (MessageSeam::pendingAnswers() > 0)
            MessageDlg(kDrain, TMsgDlgType::mtCustom, mbYesNoCancel);
    }

    // Modal dialogs the actions open: the filter dialog is confirmed for the
    // sequence's two orders or closed, as the action said; any other (find,
    // look-up) is closed.
    void answerModal()
    {
        if (inModal_) return;
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        inModal_ = true;
        if (auto* f = dynamic_cast<Cli_zel08101::TfrmFiltroIncons*>(modal)) {
            if (confirmFilter_) {
                QTest::mouseClick(f->rbtIntervalo, Qt::LeftButton);
                f->medDeIntervalo->setText(a_.nrPedido);
                f->medAteIntervalo->setText(b_.nrPedido);
                f->depDe->Clear();
                f->depAte->Clear();
                QTest::mouseClick(f->sbtConfirma, Qt::LeftButton);
            }
            if (f->isVisible()) QTest::mouseClick(f->sbtFechar, Qt::LeftButton);
        } else if (auto* d = qobject_cast<QDialog*>(modal)) {
            d->reject();
        }
        inModal_ = false;
    }

    // ---------------------------------------------------------------- actions

    void clickAt(QWidget* w, const QPoint& p) { QTest::mouseClick(w, Qt::LeftButton, {}, p); }

    void clickGridCell(TDBGrid* grid, int row, int column)
    {
        const QModelIndex index = grid->model()->index(row, column);
        if (!index.isValid()) return; // no such row: the click falls on the empty grid
        grid->scrollTo(index);
        clickAt(grid->viewport(), grid->visualRect(index).center());
    }

    QWidget* focused() const
    {
        QWidget* w = screen ? ActiveControl(screen) : nullptr;
        return w ? w : screen ? static_cast<QWidget*>(screen->dbgPadrao) : nullptr;
    }

    void tool(int which)
    {
        const QString name = QString::fromLatin1(explore::kTools[which % explore::kToolCount]);
        if (name == QLatin1String("nbNext") || name == QLatin1String("nbPrior")) {
            QTest::mouseClick(screen->dbnPadrao->Button(name == QLatin1String("nbNext") ? TNavigateBtn::nbNext
                                                                                        : TNavigateBtn::nbPrior),
                              Qt::LeftButton);
            return;
        }
        if (name.startsWith(QLatin1String("mnu"))) {
            // A menu entry is chosen only while it is enabled.
            auto* entry = screen->findChild<QAction*>(name);
            if (!entry) entry = screen->findChildren<QAction*>(name).value(0);
            if (entry && entry->isEnabled()) entry->trigger();
            return;
        }
        if (auto* button = screen->findChild<QWidget*>(name)) QTest::mouseClick(button, Qt::LeftButton);
    }

    void perform(const Action& x)
    {
        switch (x.kind) {
        case Kind::ClickIncCell:
            clickGridCell(screen->dbgIncPed, x.a % 3, x.b % 2 == 0 ? kCheck : kDescricao);
            break;
        case Kind::ClickOrderCell:
            clickGridCell(screen->dbgPadrao, x.a % 2, 1);
            break;
        case Kind::ClickIncTitle: {
            QHeaderView* header = screen->dbgIncPed->horizontalHeader();
            const int column = x.a % 2 == 0 ? kCheck : kDescricao;
            clickAt(header->viewport(),
                    QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                           header->height() / 2));
            break;
        }
        case Kind::ClickTab: {
            QTabBar* bar = screen->pgcIncPed->tabBar();
            clickAt(bar, bar->tabRect(x.a % 2).center());
            break;
        }
        case Kind::Tool:
            MessageSeam::setNextAnswer(explore::kAnswers[x.b % 2]);
            if (QString::fromLatin1(explore::kTools[x.a % explore::kToolCount]).contains(QLatin1String("Liberar")))
                released_ = true;
            tool(x.a);
            break;
        case Kind::Key: {
            const explore::KeyDef& k = explore::kKeys[x.a % explore::kKeyCount];
            if (k.key == Qt::Key_B) released_ = true;
            if (QWidget* w = focused()) QTest::keyClick(w, Qt::Key(k.key), k.mods);
            break;
        }
        case Kind::TypeNote:
            clickAt(screen->dmmObsIncPed, screen->dmmObsIncPed->rect().center());
            QTest::keyClicks(screen->dmmObsIncPed, QStringLiteral(" nota%1").arg(++noteNumber_));
            break;
        case Kind::BranchPanel:
            confirmFilter_ = x.b % 2 == 0;
            screen->medCdFilial->setFocus();
            screen->dbgPadrao->setFocus();
            MainForm()->activateWindow();
            break;
        case Kind::Freeze:
            server_->pause();
            if (x.b % 2 == 0) {
                clickGridCell(screen->dbgPadrao, x.a % 2, 1);
            } else {
                clickAt(screen->dbgPadrao->viewport(), QPoint(2, 2));
                QTest::mouseClick(screen->sbtVerificar, Qt::LeftButton);
            }
            server_->resume();
            break;
        case Kind::Restart: {
            QString error;
            RC_ASSERT(server_->restart(error));
            break;
        }
        case Kind::Close:
            MessageSeam::setNextAnswer(explore::kAnswers[x.a % 3]);
            watch_.setDataSet(nullptr);
            screen->Close();
            (void)QTest::qWaitFor([] { return unit::frmIncPed == nullptr; }, 300);
            if (unit::frmIncPed) {
                watch_.setDataSet(&screen->cdsIncPed);
                lastState_ = screen->cdsIncPed.State();
            } else {
                screen = nullptr;
                drainAnswers();
                open();
            }
            break;
        }
    }

    // What a data-changing call may follow: a mark, a note confirmed or
    // left, a release, a close answered with save.
    bool meantToChange(const Action& x, const QString& focus) const
    {
        switch (x.kind) {
        case Kind::ClickIncCell:
            return x.b % 2 == 0; // the check column
        case Kind::ClickIncTitle:
            return x.a % 2 == 0;
        case Kind::Tool: {
            const QString t = QString::fromLatin1(explore::kTools[x.a % explore::kToolCount]);
            return t.contains(QLatin1String("Liberar")) || t.contains(QLatin1String("Confirmar"));
        }
        case Kind::Key: {
            const explore::KeyDef& k = explore::kKeys[x.a % explore::kKeyCount];
            return k.key == Qt::Key_B || (k.key == Qt::Key_Space && focus == QLatin1String("dbgIncPed"));
        }
        case Kind::Close:
            return x.a % 3 == 0;
        default:
            return false;
        }
    }

    // ---------------------------------------------------------------- one action and its checks

    void act(const Action& x)
    {
        const std::string where = "action " + std::to_string(step_ + 1) + " (" + explore::describe(x) + "): ";
        const std::size_t shownBefore = MessageSeam::history().size();
        const std::size_t callsBefore = spy->calls.size();
        const QString focus = screen ? QString(activeName()) : QString();

        // A note in edit before the action: its row and its text as typed.
        const bool noteInEdit = screen && screen->cdsIncPed.IsEditing() && !screen->boMarcando;
        Order noteOrder;
        int noteInc = 0;
        QString noteText;
        if (noteInEdit) {
            const QString nr = screen->cdsIncPed.FieldByName(QStringLiteral("NRPEDIDO"))->AsString();
            noteOrder = nr == a_.nrPedido ? a_ : b_;
            noteInc = screen->cdsIncPed.FieldByName(QStringLiteral("NRINCONSPED"))->AsString().toInt();
            noteText = screen->dmmObsIncPed->toPlainText();
        }
        closedInEdit_ = false;

        QElapsedTimer clock;
        clock.start();
        perform(x);
        // Whatever the action left queued is not an answer to anything.
        drainAnswers();
        QApplication::processEvents();

        // No hang: the action came back, and the user-interface thread answers.
        RC_ASSERT(clock.elapsed() < 20000);
        bool answered = false;
        QTimer::singleShot(0, [&] { answered = true; });
        if (!QTest::qWaitFor([&] { return answered; }, 5000))
            RC_FAIL(where + "the user-interface thread did not answer");
        if (QApplication::activeModalWidget()) RC_FAIL(where + "a modal dialog stayed open");
        if (!screen) RC_FAIL(where + "the screen could not be opened again");

        // Messages in the operator's words only.
        const auto& shown = MessageSeam::history();
        bool told = false;
        for (std::size_t i = shownBefore; i < shown.size(); ++i) {
            if (shown[i].text == kDrain) continue;
            told = true;
            for (const char* inside : kInternalTexts)
                if (shown[i].text.contains(QString::fromLatin1(inside)))
                    RC_FAIL(where + "a message shows a platform-internal text: " + shown[i].text.toStdString());
        }

        // No list closed or reloaded under an edit.
        if (closedInEdit_) RC_FAIL(where + "the inconsistency list was closed or reloaded while in edit");

        // Typed text reaches the database, or the operator was told or asked.
        if (noteInEdit) {
            // Still in edit on the same row: the text is on screen, with
            // whatever the action typed into it.
            const bool stillThere =
                screen->cdsIncPed.IsEditing() &&
                screen->cdsIncPed.FieldByName(QStringLiteral("NRPEDIDO"))->AsString() == noteOrder.nrPedido &&
                screen->cdsIncPed.FieldByName(QStringLiteral("NRINCONSPED"))->AsString().toInt() == noteInc &&
                screen->dmmObsIncPed->toPlainText().size() >= noteText.size();
            if (!stillThere && !told && Stored(*server_, noteOrder, noteInc).note != noteText)
                RC_FAIL(where + "the note \"" + noteText.toStdString() + "\" was dropped without a word");
        }

        // Sends follow actions meant to change data.
        for (std::size_t i = callsBefore; i < spy->calls.size(); ++i) {
            const QString& m = spy->calls[i].method;
            if ((m == QLatin1String("SetIncPed") || m == QLatin1String("SetItem")) && !noteInEdit &&
                !meantToChange(x, focus))
                RC_FAIL(where + "a change was sent (" + spy->calls[i].args.join(QLatin1Char(' ')).toStdString() +
                        ") that no action asked for");
        }

        // The history of releases matches the releases: one history row per
        // released inconsistency, none for the others, none before a release.
        for (const auto& [order, count] : {std::pair{a_, 3}, std::pair{b_, 2}}) {
            for (int n = 1; n <= count; ++n) {
                const StoredInc s = Stored(*server_, order, n);
                const bool isReleased = !s.cdOperLibe.isEmpty();
                if (s.history != (isReleased ? 1 : 0))
                    RC_FAIL(where + "inconsistency " + std::to_string(n) + " of order " + order.nrPedido.toStdString() +
                            " has " + std::to_string(s.history) + " history rows");
                if (isReleased && !released_)
                    RC_FAIL(where + "an inconsistency was released with no release asked for");
            }
        }
    }
};

TEST_F(Explorer, RandomSequencesKeepTheScreensPromises)
{
    const int runs = envInt("ZEL_EXPLORE_RUNS", 3);
    const int length = envInt("ZEL_EXPLORE_LENGTH", 25);
    for (const std::uint64_t seed : envSeeds()) {
        rc::detail::TestParams params;
        params.seed = seed;
        params.maxSuccess = runs;
        params.maxSize = length;
        rc::detail::TestMetadata metadata;
        metadata.id = "explore/" + std::to_string(seed);
        metadata.description = "seed " + std::to_string(seed);
        const long before = actionsRun;
        const auto result =
            rc::detail::checkTestable([this](const std::vector<Action>& actions) { run(actions); }, metadata, params);
        std::ostringstream report;
        rc::detail::printResultMessage(result, report);
        std::cout << "seed " << seed << ": " << (actionsRun - before) << " actions run\n" << report.str() << std::endl;
        if (!result.is<rc::detail::SuccessResult>()) ADD_FAILURE() << "seed " << seed << "\n" << report.str();
    }
}

} // namespace
