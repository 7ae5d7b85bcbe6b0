#include "tests/review/ScreenFixture.h"

#include "filter/TfrmFiltroIncons.h"
#include "host/Application.h"
#include "host/Dialogs.h"
#include "host/Login.h"
#include "host/LoginClient.h"
#include "host/NetConnection.h"
#include "host/ResultCheck.h"
#include "platform/data/Packet.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/FormFocus.h"
#include "review/Cli_zel08100.h"
#include "review/TfrmIncPed.h"
#include "tests/support/Modal.h"

#include <QApplication>
#include <QHeaderView>
#include <QSqlQuery>
#include <QTest>

using namespace zel;
namespace unit = Cli_zel08100;

namespace zel::test {

namespace {

// Records every call, with the wait animation and the confirm and cancel
// buttons as they are while it runs, and fails the calls a test names.
class TRecordingServer : public TForwardingServer {
public:
    TRecordingServer(std::unique_ptr<IrdmIncPed> real, std::shared_ptr<SpyState> state)
        : TForwardingServer(std::move(real)), s_(std::move(state))
    {
    }

protected:
    data::Result call(const QString& method, const QStringList& args, const Call& real) override
    {
        SpyState& s = *s_;
        const int nth = s.count(method) + 1;
        SpyCall c{method, args, ShowAviDepth(), ShowAviKind(), false, false};
        if (unit::frmIncPed) {
            c.confirmEnabled = unit::frmIncPed->sbtConfirmar->isEnabled();
            c.cancelEnabled = unit::frmIncPed->sbtCancelar->isEnabled();
        }
        s.calls.push_back(c);
        if (s.before) s.before(method, nth);
        struct InFlight {
            SpyState& s;
            explicit InFlight(SpyState& st) : s(st)
            {
                if (++s.depth > s.maxDepth) s.maxDepth = s.depth;
            }
            ~InFlight() { --s.depth; }
        } inFlight(s);
        const auto fail = s.failAt.find(method);
        if (fail != s.failAt.end() && fail->second == nth) {
            if (!s.failAsResult)
                throw ENetError(ENetError::Unavailable, QStringLiteral("O servidor de aplicação não está disponível."));
            data::Result r;
            r.mutable_error()->set_code(4);
            r.mutable_error()->set_message(s.failText.toStdString());
            return r;
        }
        return real();
    }

private:
    std::shared_ptr<SpyState> s_;
};

} // namespace

Order AddOrder(const ServerProcess& server, const QString& filial, const std::vector<IncRow>& rows)
{
    try {
        const OrderKey k = AddOrderRows(server.dbPath(), filial, rows);
        Order o;
        o.filial = k.filial;
        o.nrPedido = k.nrPedido;
        o.idSitPedido = QStringLiteral("1");
        o.dtPedido = k.dtPedido;
        o.dtEntPed = k.dtEntPed;
        return o;
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
        return {};
    }
}

StoredInc Stored(const ServerProcess& server, const Order& order, int nrIncons)
{
    OrderDb db(server.dbPath());
    StoredInc s;
    QSqlQuery q = db.run(QStringLiteral("SELECT ATIVA, TXOBSLIBINCO, CDOPERLIBE, DTLIBEINCONS FROM INCONSPED "
                                        "WHERE CDFILIAL = ? AND NRPEDIDO = ? AND NRINCONSPED = ?"),
                         {order.filial, order.nrPedido, IncKey(nrIncons)});
    if (!q.next()) {
        ADD_FAILURE() << "no inconsistency " << nrIncons << " in order " << order.nrPedido.toStdString();
        return s;
    }
    s.ativa = q.value(0).toString();
    s.note = q.value(1).toString();
    s.cdOperLibe = q.value(2).toString();
    if (!q.value(3).isNull()) s.dtLibe = TDateTime::fromMSecs(q.value(3).toLongLong());
    QSqlQuery h = db.run(QStringLiteral("SELECT COUNT(*) FROM HISTLIBINC WHERE CDFILIAL = ? AND NRPEDIDO = ? AND "
                                        "NRINCONSPED = ?"),
                         {order.filial, order.nrPedido, IncKey(nrIncons)});
    if (h.next()) s.history = h.value(0).toInt();
    return s;
}

int SpyState::count(const QString& method) const
{
    return int(std::count_if(calls.begin(), calls.end(), [&](const SpyCall& c) { return c.method == method; }));
}

QStringList SpyState::methods() const
{
    QStringList m;
    for (const SpyCall& c : calls)
        m << c.method;
    return m;
}

std::vector<SpyCall> SpyState::of(const QString& method) const
{
    std::vector<SpyCall> out;
    for (const SpyCall& c : calls)
        if (c.method == method) out.push_back(c);
    return out;
}

void ScreenTest::SetUp()
{
    ReviewTest::SetUp();
    if (HasFatalFailure()) return;
    std::shared_ptr<SpyState> state = spy;
    SetRdmIncPedFactory(
        [state](std::unique_ptr<IrdmIncPed> real, const TNetConnection&) -> std::unique_ptr<IrdmIncPed> {
            return std::make_unique<TRecordingServer>(std::move(real), state);
        });
    QWidget* main = MainForm();
    ASSERT_NE(main, nullptr);
    QApplication::setActiveWindow(main);
    ASSERT_TRUE(QTest::qWaitForWindowActive(main));
}

void ScreenTest::TearDown()
{
    spy->before = nullptr;
    ReviewTest::TearDown();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "a modal dialog was left open";
    EXPECT_EQ(ShowAviDepth(), 0) << "the wait animation was left running";
}

void ScreenTest::logInAs(const QString& operador)
{
    SetLogin(Entrar(server_->host(), server_->port(), operador, QStringLiteral("demo")));
}

unit::TfrmIncPed* ScreenTest::openOrder(const Order& order)
{
    unit::IniProc({Variant(false), Variant(order.filial), Variant(order.nrPedido), Variant(DateToStr(order.dtPedido)),
                   Variant(DateToStr(order.dtEntPed))});
    screen = unit::frmIncPed;
    if (!screen) {
        ADD_FAILURE() << "no review screen";
        return nullptr;
    }
    EXPECT_TRUE(QTest::qWaitForWindowExposed(screen->window()));
    // The release groups come with the screen's first activation; without
    // them (an operator who has none) the list stays empty.
    if (screen->cdsGrupOper.IsEmpty())
        screen->cdsGrupOper.SetData(
            CheckResultServ(screen->AppServer().GetGrupOper(order.filial, Operador()), true, 0));
    spy->clear();
    MessageSeam::clearHistory();
    return screen;
}

unit::TfrmIncPed* ScreenTest::openOrders(const Order& first, const Order& last)
{
    auto dialog = WhenModal<Cli_zel08101::TfrmFiltroIncons>([&](Cli_zel08101::TfrmFiltroIncons* f) {
        QTest::mouseClick(f->rbtIntervalo, Qt::LeftButton);
        f->medDeIntervalo->setText(first.nrPedido);
        f->medAteIntervalo->setText(last.nrPedido);
        f->depDe->Clear();
        f->depAte->Clear();
        QTest::mouseClick(f->sbtConfirma, Qt::LeftButton);
    });
    unit::IniProc({Variant(true), Variant(QString()), Variant(QString()), Variant(QString()), Variant(QString())});
    screen = unit::frmIncPed;
    if (!screen) {
        ADD_FAILURE() << "no review screen";
        return nullptr;
    }
    EXPECT_TRUE(QTest::qWaitForWindowExposed(screen->window()));
    // Leaving the branch panel fetches the rights and opens the filter dialog.
    screen->dbgPadrao->setFocus();
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.Done(); }));
    QWidget* main = MainForm();
    main->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(main));
    spy->clear();
    MessageSeam::clearHistory();
    return screen;
}

void ScreenTest::clickCell(TDBGrid* grid, int row, int column)
{
    const QModelIndex index = grid->model()->index(row, column);
    ASSERT_TRUE(index.isValid()) << "no cell " << row << "," << column;
    grid->scrollTo(index);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
}

void ScreenTest::clickTitle(TDBGrid* grid, int column)
{
    QHeaderView* header = grid->horizontalHeader();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

void ScreenTest::click(QWidget* w)
{
    QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
}

void ScreenTest::key(QWidget* w, int k, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(w, Qt::Key(k), modifiers);
}

void ScreenTest::type(QWidget* w, const QString& text)
{
    QTest::keyClicks(w, text);
}

QString ScreenTest::incValue(int row, const char* field) const
{
    const TField* f = screen->cdsIncPed.FieldByName(QString::fromLatin1(field));
    const Variant v = screen->cdsIncPed.ValueAt(row, f->Index());
    return v.isNull() ? QString() : v.toString();
}

QString ScreenTest::activeName() const
{
    const QWidget* w = ActiveControl(screen);
    return w ? w->objectName() : QString();
}

} // namespace zel::test
