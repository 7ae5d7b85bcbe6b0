// A million orders in the review screen: "Todos" without date limits on a
// branch whose orders are all pending. From the confirmation of the query
// (the order query of the filter dialog: GetPedido with every order and no
// date limits, loaded into the screen's order list under the wait animation)
// to the first painted page of the order grid, with the shell's resident
// memory, beside the floor measured in the same run: decoding the same packet
// (its time, and the memory the decoded packet takes).
//
// It also watches the user-interface thread during the wait: the frames the
// wait animation drew, and the longest time the thread handled no event (the
// animation stands still for as long).
//
//   zel-bench-screen                1 050 000 orders, all with inconsistencies,
//                                   in one branch (about a million pending),
//                                   seeded once into a SQLite file and reused
//   zel-bench-screen --smoke        20 000 orders, a temporary file (CI)
//   options: --orders N  --sqlite FILE  --server-bin PATH

#include "bench/ChildServer.h"
#include "host/Application.h"
#include "host/DBGeral.h"
#include "host/Dialogs.h"
#include "host/Login.h"
#include "host/LoginClient.h"
#include "host/ResultCheck.h"
#include "host/WaitAnimation.h"
#include "proto/rdmIncPed.grpc.pb.h"
#include "review/Cli_zel08100.h"
#include "review/TfrmIncPed.h"
#include "server/Db.h"
#include "server/Schema.h"
#include "server/Seed.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <grpcpp/grpcpp.h>
#include <malloc.h>
#include <string>

using namespace zel;

namespace {

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "zel-bench-screen: %s\n", what.c_str());
    std::exit(1);
}

// Resident memory of this process in MB: now, and the peak.
double statusMb(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(std::strlen(key))).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

// Handles events until `done` or the time is up.
template <class F> bool waitFor(F done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// The first paint of a widget after `armed` is set.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* w) { w->installEventFilter(this); }
    bool armed = false;
    bool painted = false;
    QElapsedTimer* clock = nullptr;
    qint64 at = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (armed && !painted && e->type() == QEvent::Paint) {
            painted = true;
            at = clock->elapsed();
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A million pending orders in the review screen "
                                                    "(see the comment at the top of bench/bench_screen.cpp)."));
    parser.addHelpOption();
    const QCommandLineOption smokeRun(QStringLiteral("smoke"), QStringLiteral("20 000 orders in a temporary file."));
    const QCommandLineOption ordersOpt(QStringLiteral("orders"), QStringLiteral("Orders seeded."), QStringLiteral("N"),
                                       QStringLiteral("1050000"));
    const QCommandLineOption sqliteOpt(QStringLiteral("sqlite"), QStringLiteral("The database file (reused)."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption binOpt(QStringLiteral("server-bin"), QStringLiteral("The zel-server executable."),
                                    QStringLiteral("PATH"));
    parser.addOptions({smokeRun, ordersOpt, sqliteOpt, binOpt});
    if (!parser.parse(args)) fail(parser.errorText().toStdString());
    if (parser.isSet(QStringLiteral("help"))) {
        std::printf("%s", qPrintable(parser.helpText()));
        return 0;
    }
    const bool smoke = parser.isSet(smokeRun);
    long orders = parser.value(ordersOpt).toLong();
    if (orders <= 0) fail("--orders takes a number of orders");
    std::string sqlite = parser.value(sqliteOpt).toStdString();
    std::string serverBin = parser.value(binOpt).toStdString();
    if (smoke && !parser.isSet(ordersOpt)) orders = 20'000;
    if (serverBin.empty()) serverBin = bench::DefaultServerBin();
    const bool temporary = sqlite.empty() && smoke;
    if (sqlite.empty())
        sqlite = (std::filesystem::temp_directory_path() /
                  ("zel-bench-screen-" + std::to_string(smoke ? long(::getpid()) : orders) + ".db"))
                     .string();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

    // Every order of branch 0001 with inconsistencies, about one in ten of
    // them released: nearly all pending.
    {
        auto c = server::OpenConnection("sqlite:" + sqlite);
        server::Migrate(*c);
        if (c->query("SELECT COUNT(*) FROM PEDIDO").i64(0, 0) == 0) {
            server::SeedOptions o;
            o.branches = 1;
            o.orders = int(orders);
            o.inconsistentPct = 100;
            o.seed = 5;
            o.today = QDate(2026, 6, 30);
            std::printf("seeding %ld orders into %s...\n", orders, sqlite.c_str());
            std::fflush(stdout);
            server::Seed(*c, o);
        }
    }
    bench::ChildServer server;
    try {
        server = bench::StartServer(serverBin, "sqlite:" + sqlite);
    } catch (const std::exception& e) {
        fail(e.what());
    }

    int code = 0;
    {
        TApplication app(argc, argv);
        QMainWindow main;
        main.resize(1100, 700);
        auto* mdi = new QMdiArea(&main);
        main.setCentralWidget(mdi);
        SetMainForm(&main, mdi);
        main.show();

        QStringList servers{QString::fromStdString(server.address)};
        SetLogin(Entrar(servers, QStringLiteral("0001"), QStringLiteral("demo")));
        // No one answers a box here: one shown is a failure of the run.
        MessageSeam::setNonInteractive(true);
        // The screen checks the branch against the branch table, as the shell's data module reads it.
        CreateDtmDBGeral(QString::fromStdString("sqlite:" + sqlite));
        Cli_zel08100::Initialization();
        // Opened for the orders of a query (no given order), as the filter
        // dialog's confirmation loads them.
        Cli_zel08100::criaFiltro = false;
        Cli_zel08100::stFilial = QStringLiteral("0001");
        // The whole list takes the server longer than the shell's default
        // deadline of a call on a busy machine: the measurement waits.
        TNetConnection::SetDefaultCallTimeoutMs(600'000);
        auto* screen = CreateForm<Cli_zel08100::TfrmIncPed>(MainForm());
        Cli_zel08100::frmIncPed = screen;
        Cli_zel08100::boCriado = true;
        screen->Show();
        QWidget* grid = screen->dbgPadrao->viewport();
        PaintWatch watch(grid);
        QElapsedTimer settle;
        settle.start();
        waitFor([&] { return settle.elapsed() > 300; }, 1000);
        malloc_trim(0);
        const double rssBefore = statusMb("VmRSS:");
        {
            // The peak is counted from here (the seeding ran in this process).
            QFile reset(QStringLiteral("/proc/self/clear_refs"));
            if (reset.open(QIODevice::WriteOnly)) reset.write("5");
        }

        // The event loop's pauses: a tick every 5 ms while the wait lasts.
        QElapsedTimer clock;
        qint64 lastTick = 0, longestPause = 0;
        QTimer ticks;
        ticks.setInterval(5);
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            longestPause = std::max(longestPause, now - lastTick);
            lastTick = now;
        });

        // The confirmation.
        clock.start();
        ticks.start();
        watch.clock = &clock;
        int frames = 0;
        qint64 tCall = 0, tLoad = 0;
        const TDateTime none;
        const QString t = QStringLiteral("T"), empty;
        ActiveShowAvi(MainForm(), TAviKind::Fetching);
        try {
            data::Result result = screen->AppServer().GetPedido(QStringLiteral("0001"), empty, empty, empty, t, none,
                                                                none, t, none, none, t);
            tCall = clock.elapsed();
            screen->cdsPedido.SetData(CheckResultServ(std::move(result), true, 0));
            tLoad = clock.elapsed();
        } catch (const std::exception& e) {
            DeactiveShowAvi();
            fail(std::string("the query failed: ") + e.what());
        }
        frames = ShowAviFrames();
        DeactiveShowAvi();
        watch.armed = true;
        grid->update();
        if (!waitFor([&] { return watch.painted; }, 60'000)) fail("the order grid did not paint");
        ticks.stop();
        // The pause that ended with the paint counts too.
        longestPause = std::max(longestPause, watch.at - lastTick);
        const qint64 tPaint = watch.at;
        const int rows = screen->cdsPedido.RecordCount();
        const double rssAfter = statusMb("VmRSS:");
        const double rssPeak = statusMb("VmHWM:");

        // The floor: the same packet decoded, and what it takes in memory.
        std::string bytes;
        {
            auto channel = grpc::CreateCustomChannel(server.address, grpc::InsecureChannelCredentials(), [] {
                grpc::ChannelArguments a;
                a.SetMaxReceiveMessageSize(512 << 20);
                return a;
            }());
            auto stub = Zel08100::rdmIncPed::NewStub(channel);
            grpc::ClientContext ctx;
            ctx.AddMetadata("zel-session", SessionToken().toStdString());
            Zel08100::GetPedidoRequest rq;
            rq.set_cd_filial("0001");
            rq.set_todos_pedidos("T");
            rq.set_todas_dt_pedido("T");
            rq.set_todas_dt_entrega("T");
            data::Result again;
            if (!stub->GetPedido(&ctx, rq, &again).ok() || !again.has_data()) fail("the floor's query failed");
            bytes = again.SerializeAsString();
        }
        malloc_trim(0);
        const double rssFloor0 = statusMb("VmRSS:");
        QElapsedTimer decode;
        decode.start();
        auto decoded = std::make_unique<data::Result>();
        if (!decoded->ParseFromString(bytes)) fail("the packet does not decode");
        const double decodeMs = double(decode.nsecsElapsed()) / 1e6;
        const double packetMb = statusMb("VmRSS:") - rssFloor0;
        decoded.reset();

        std::printf("\nzel-bench-screen%s: \"Todos\" without date limits, %d pending orders (packet %.1f MB)\n",
                    smoke ? " (smoke run)" : "", rows, double(bytes.size()) / 1e6);
        std::printf("  confirmation to the first painted page of the order grid: %8.0f ms\n", double(tPaint));
        std::printf("    the call (server's query, transfer, decoding)          %8.0f ms\n", double(tCall));
        std::printf("    loading the order list                                 %8.0f ms\n", double(tLoad - tCall));
        std::printf("    to the painted page                                    %8.0f ms\n", double(tPaint - tLoad));
        std::printf("  floor: decoding the same packet                            %8.1f ms   (x%.1f)\n", decodeMs,
                    double(tPaint) / decodeMs);
        std::printf("  wait animation: %d frames drawn; the longest pause of the user-interface thread %lld ms\n",
                    frames, static_cast<long long>(longestPause));
        std::printf("  resident memory of the shell: %.0f MB before, %.0f MB after (+%.0f MB), peak %.0f MB\n",
                    rssBefore, rssAfter, rssAfter - rssBefore, rssPeak);
        std::printf("  floor: the decoded packet takes %.0f MB                   (x%.1f)\n", packetMb,
                    (rssAfter - rssBefore) / std::max(1.0, packetMb));
        std::fflush(stdout);
        if (rows == 0) code = 1;
        if (!MessageSeam::history().empty()) {
            std::fprintf(stderr, "zel-bench-screen: a message was shown: %s\n",
                         qPrintable(MessageSeam::history().front().text));
            code = 1;
        }
        QPointer<Cli_zel08100::TfrmIncPed> open(screen);
        screen->Close();
        if (!waitFor([&] { return open.isNull(); }, 5000)) delete open.data();
        Cli_zel08100::Finalization();
        FreeDtmDBGeral();
        SetMainForm(nullptr, nullptr);
        ClearLogin();
    }
    bench::StopServer(server);
    if (temporary)
        for (const char* ext : {"", "-wal", "-shm"})
            std::filesystem::remove(sqlite + ext);
    return code;
}
