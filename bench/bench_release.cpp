// Release and mark-all through the review screen, against the real zel-server
// on loopback: the wall time of the screen's walk beside its floor, the same
// sequence of server calls made straight through the server link without the
// screen, measured in the same run on an order of the same size.
//
//   zel-bench-release             200 rows, 5 runs of each
//   zel-bench-release --smoke     50 rows, 1 run (CI)
//   options: --rows N  --runs R
//
// Every run opens a fresh order of N marked-able inconsistencies (written
// into the benchmark's own copy of the demo database), marks every row with a
// click on the check column's title, then releases them all with the release
// button. The floor does the same on another fresh order: one item fetch for
// the first row, one send and one item fetch per row, and for the release the
// reload of the list.

#include "host/Application.h"
#include "host/DBGeral.h"
#include "host/Dialogs.h"
#include "host/Login.h"
#include "host/LoginClient.h"
#include "host/NetConnection.h"
#include "host/ResultCheck.h"
#include "module/Pkg_zel08100.h"
#include "review/Cli_zel08100.h"
#include "review/IncPedData.h"
#include "review/TfrmIncPed.h"
#include "tests/review/OrderRows.h"
#include "tests/support/ForwardingServer.h"
#include "tests/support/ServerProcess.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QLocale>
#include <QMainWindow>
#include <QMdiArea>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

using namespace zel;
namespace unit = Cli_zel08100;

namespace {

// Calls per method, counted on the way to the server.
using Counts = std::map<std::string, int>;

class TCountingServer : public zel::test::TForwardingServer {
public:
    TCountingServer(std::unique_ptr<IrdmIncPed> real, std::shared_ptr<Counts> counts)
        : TForwardingServer(std::move(real)), counts_(std::move(counts))
    {
    }

protected:
    data::Result call(const QString& method, const QStringList&, const Call& real) override
    {
        ++(*counts_)[method.toStdString()];
        return real();
    }

private:
    std::shared_ptr<Counts> counts_;
};

QString describe(const Counts& c)
{
    QStringList parts;
    for (const auto& [method, n] : c)
        if (n) parts << QStringLiteral("%1 %2").arg(n).arg(QString::fromStdString(method));
    return parts.join(QStringLiteral(", "));
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

[[noreturn]] void fail(const QString& why)
{
    std::fprintf(stderr, "zel-bench-release: %s\n", qPrintable(why));
    std::exit(1);
}

// The floor: the screen's calls, made straight through a link of its own on
// a dataset without controls.
class Floor {
public:
    explicit Floor(std::shared_ptr<Counts> counts) : counts_(std::move(counts))
    {
        net_.ServerName = QStringLiteral("Zel08100.rdmIncPed");
        net_.Host = WebURL();
        net_.Port = WebPort();
        net_.Connect();
        if (!net_.Connected()) fail(QStringLiteral("the floor's link did not connect: ") + net_.LastError());
        unit::DefineIncPedFields(list_);
        unit::DefineItemPedidoFields(item_);
    }

    void load(const zel::test::OrderKey& o)
    {
        list_.SetData(CheckResultServ(server_().GetIncPed(o.filial, o.nrPedido), true, 0));
        counts_->clear();
    }

    // The posted row's change packet to the server, as the screen's post sends it.
    void send() { CheckResultServ(server_().SetIncPed(list_.Delta()), true, 0); }

    double markAll()
    {
        QElapsedTimer t;
        t.start();
        list_.First();
        fetchItem();
        TField* ativa = list_.FieldByName(QStringLiteral("ATIVA"));
        while (!list_.Eof()) {
            list_.Edit();
            ativa->setAsString(QStringLiteral("S"));
            list_.Post();
            send();
            list_.MergeChangeLog();
            list_.Next();
            fetchItem();
        }
        fetchItem(); // back to the row the walk started from
        return double(t.nsecsElapsed()) / 1e6;
    }

    double release(const zel::test::OrderKey& o)
    {
        QElapsedTimer t;
        t.start();
        list_.First();
        fetchItem();
        TField* dt = list_.FieldByName(QStringLiteral("DTLIBEINCONS"));
        TField* op = list_.FieldByName(QStringLiteral("CDOPERLIBE"));
        while (!list_.Eof()) {
            list_.Edit();
            dt->setAsDateTime(TDateTime::Now());
            op->setAsString(Operador());
            list_.Post();
            send();
            list_.MergeChangeLog();
            list_.Next();
            fetchItem();
        }
        list_.SetData(CheckResultServ(server_().GetIncPed(o.filial, o.nrPedido), true, 0));
        if (!list_.IsEmpty()) fetchItem();
        return double(t.nsecsElapsed()) / 1e6;
    }

private:
    void fetchItem()
    {
        auto text = [this](const char* f) { return list_.FieldByName(QString::fromLatin1(f))->AsString(); };
        item_.SetData(CheckResultServ(
            server_().GetItem(text("CDFILIAL"), text("NRPEDIDO"), text("NRITEMPED"), text("ATIVA")), true, 0));
    }

    std::shared_ptr<Counts> counts_;
    TNetConnection net_{QStringLiteral("netFloor")};
    TRdmIncPedHandle server_{net_};
    TClientDataSet list_{QStringLiteral("cdsIncPed")};
    TClientDataSet item_{QStringLiteral("cdsItemPedido")};
};

unit::TfrmIncPed* openScreen(const zel::test::OrderKey& o)
{
    unit::IniProc({Variant(false), Variant(o.filial), Variant(o.nrPedido), Variant(DateToStr(o.dtPedido)),
                   Variant(DateToStr(o.dtEntPed))});
    unit::TfrmIncPed* screen = unit::frmIncPed;
    if (!screen) fail(QStringLiteral("the review screen did not open"));
    if (screen->cdsGrupOper.IsEmpty())
        screen->cdsGrupOper.SetData(CheckResultServ(screen->AppServer().GetGrupOper(o.filial, Operador()), true, 0));
    if (!QTest::qWaitForWindowExposed(screen->window())) fail(QStringLiteral("the review screen is not shown"));
    return screen;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    MessageSeam::setNonInteractive(true);
    InstallGuardReporter();

    int rows = 200, runs = 5;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--smoke")) {
            rows = 50;
            runs = 1;
        } else if (args[i] == QLatin1String("--rows") && i + 1 < args.size()) {
            rows = std::clamp(args[++i].toInt(), 1, 999);
        } else if (args[i] == QLatin1String("--runs") && i + 1 < args.size()) {
            runs = std::max(1, args[++i].toInt());
        } else {
            fail(QStringLiteral("unknown argument %1 (--smoke, --rows N, --runs R)").arg(args[i]));
        }
    }

    QMainWindow main;
    auto* mdi = new QMdiArea(&main);
    main.setCentralWidget(mdi);
    main.resize(1160, 680);
    SetMainForm(&main, mdi);
    main.show();

    zel::test::ServerProcess server;
    QString error;
    if (!server.start(error)) fail(error);
    std::vector<zel::test::OrderKey> screenOrders, floorOrders;
    const std::vector<zel::test::IncRow> incs(std::size_t(rows), zel::test::IncRow{});
    try {
        for (int r = 0; r < runs; ++r) {
            screenOrders.push_back(zel::test::AddOrderRows(server.dbPath(), QStringLiteral("0001"), incs));
            floorOrders.push_back(zel::test::AddOrderRows(server.dbPath(), QStringLiteral("0001"), incs));
        }
        SetLogin(Entrar(server.host(), server.port(), QStringLiteral("0001"), QStringLiteral("demo")));
        // The screen checks the branch code against the branch table, as the shell's data module reads it.
        CreateDtmDBGeral(server.dbUrl());
    } catch (const std::exception& e) {
        fail(QString::fromLocal8Bit(e.what()));
    }

    auto counts = std::make_shared<Counts>();
    SetRdmIncPedFactory(
        [counts](std::unique_ptr<IrdmIncPed> real, const TNetConnection&) -> std::unique_ptr<IrdmIncPed> {
            return std::make_unique<TCountingServer>(std::move(real), counts);
        });
    Pkg_zel08100::Load();

    std::vector<double> markScreen, markFloor, releaseScreen, releaseFloor;
    Counts markScreenCalls, markFloorCalls, releaseScreenCalls, releaseFloorCalls;
    {
        Floor floor(counts);
        for (int r = 0; r < runs; ++r) {
            unit::TfrmIncPed* screen = openScreen(screenOrders[std::size_t(r)]);
            if (screen->cdsIncPed.RecordCount() != rows) fail(QStringLiteral("the screen lists the wrong rows"));
            TDBGrid* grid = screen->dbgIncPed;
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                              grid->visualRect(grid->model()->index(0, 2)).center());
            QHeaderView* header = grid->horizontalHeader();
            const QPoint title(header->sectionViewportPosition(0) + header->sectionSize(0) / 2, header->height() / 2);

            counts->clear();
            QElapsedTimer t;
            t.start();
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, title); // mark-all
            markScreen.push_back(double(t.nsecsElapsed()) / 1e6);
            markScreenCalls = *counts;
            if (unit::inConPedCheck != rows || !screen->btnLiberar->isEnabled())
                fail(QStringLiteral("mark-all did not mark every row"));

            counts->clear();
            t.restart();
            QTest::mouseClick(screen->btnLiberar, Qt::LeftButton); // release
            releaseScreen.push_back(double(t.nsecsElapsed()) / 1e6);
            releaseScreenCalls = *counts;
            if (!screen->cdsIncPed.IsEmpty()) fail(QStringLiteral("the release left rows pending"));

            floor.load(floorOrders[std::size_t(r)]);
            markFloor.push_back(floor.markAll());
            markFloorCalls = *counts;
            counts->clear();
            releaseFloor.push_back(floor.release(floorOrders[std::size_t(r)]));
            releaseFloorCalls = *counts;
        }
    }
    if (!MessageSeam::history().empty())
        fail(QStringLiteral("a message was shown: ") + MessageSeam::history().front().text);
    if (markScreenCalls != markFloorCalls || releaseScreenCalls != releaseFloorCalls)
        fail(QStringLiteral("the floor does not make the screen's calls"));

    std::printf("Review screen against zel-server on loopback: %d rows, %d run(s), median wall time\n", rows, runs);
    std::printf("%-10s %11s %11s %7s   %s\n", "walk", "screen ms", "floor ms", "ratio", "calls of each");
    auto line = [](const char* name, const std::vector<double>& s, const std::vector<double>& f, const Counts& c) {
        const double ms = median(s), floorMs = median(f);
        std::printf("%-10s %11.1f %11.1f %6.2fx   %s\n", name, ms, floorMs, floorMs > 0 ? ms / floorMs : 0.0,
                    qPrintable(describe(c)));
    };
    line("mark-all", markScreen, markFloor, markScreenCalls);
    line("release", releaseScreen, releaseFloor, releaseScreenCalls);
    std::fflush(stdout);

    if (unit::frmIncPed) unit::frmIncPed->Close();
    if (!QTest::qWaitFor([] { return unit::frmIncPed == nullptr; }, 5000))
        fail(QStringLiteral("the screen did not close"));
    Pkg_zel08100::Unload();
    FreeDtmDBGeral();
    SetRdmIncPedFactory(nullptr);
    SetMainForm(nullptr, nullptr);
    return 0;
}
