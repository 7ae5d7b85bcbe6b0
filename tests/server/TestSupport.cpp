#include "tests/server/TestSupport.h"

#include "platform/data/DateTime.h"
#include "platform/data/Packet.h"
#include "server/Auth.h"
#include "server/Schema.h"

#include <QDate>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <random>
#include <sys/syscall.h>
#include <unistd.h>

namespace zel::server::test {

std::string BackendName(const ::testing::TestParamInfo<Backend>& info)
{
    return info.param == Backend::Sqlite ? "sqlite" : "postgres";
}

namespace {

std::string uniqueName()
{
    static std::atomic<int> counter{0};
    std::random_device rd;
    return "zt_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + "_" + std::to_string(rd() % 100000);
}

} // namespace

TestDatabase::TestDatabase(Backend b) : backend_(b), name_(uniqueName())
{
    if (b == Backend::Sqlite) {
        dir_ = (std::filesystem::temp_directory_path() / name_).string();
        std::filesystem::create_directories(dir_);
        url_ = "sqlite:" + dir_ + "/zel.db";
        return;
    }
    const char* env = std::getenv("ZEL_TEST_PG_URL");
    if (!env || !*env) return;
    baseUrl_ = env;
    auto c = OpenPostgres(baseUrl_);
    c->script("CREATE SCHEMA " + name_);
    url_ = baseUrl_ + (baseUrl_.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + name_ +
           "&application_name=" + name_;
}

TestDatabase::~TestDatabase()
{
    try {
        if (backend_ == Backend::Sqlite && !dir_.empty()) std::filesystem::remove_all(dir_);
        if (backend_ == Backend::Postgres && !baseUrl_.empty()) {
            DropConnections();
            OpenPostgres(baseUrl_)->script("DROP SCHEMA " + name_ + " CASCADE");
        }
    } catch (const std::exception& e) {
        ADD_FAILURE() << "cleaning up the test database: " << e.what();
    }
}

void TestDatabase::DropConnections()
{
    if (backend_ != Backend::Postgres) return;
    auto c = OpenPostgres(baseUrl_);
    const DbValue p[] = {Text(name_)};
    c->query("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = ?", p);
}

namespace {

// True when a thread of the process other than the caller sleeps in
// clock_nanosleep: SQLite's busy handler backing off.
bool sleepsOnABusyLock(pid_t pid)
{
    const std::string self = std::to_string(::gettid());
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator(tasks, ec)) {
        if (task.path().filename() == self) continue;
        std::ifstream syscall(task.path() / "syscall");
        long number = -1;
        if (syscall >> number && number == SYS_clock_nanosleep) return true;
    }
    return false;
}

} // namespace

bool WaitForLockWaiter(const TestDatabase& db, pid_t server)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::unique_ptr<DbConn> watcher;
    if (db.backend() == Backend::Postgres) watcher = OpenConnection(db.url());
    const DbValue app[] = {Text(db.name())};
    while (std::chrono::steady_clock::now() < until) {
        if (watcher ? watcher->query("SELECT COUNT(*) FROM pg_stat_activity WHERE application_name = ? AND "
                                     "wait_event_type = 'Lock'",
                                     app)
                              .i64(0, 0) > 0
                    : sleepsOnABusyLock(server))
            return true;
        // Not a sleep of the kind looked for, should the server be this process.
        ::poll(nullptr, 0, 5);
    }
    return false;
}

std::int64_t Day(int n, int h, int m, int s, int ms)
{
    return zel::TDateTime::fromDate(QDate(2026, 3, 10).addDays(n - 1), QTime(h, m, s, ms)).msecs();
}

void LoadFixture(const std::string& url, int schemaVersion)
{
    static const std::string demoHash = HashPassword("demo");
    auto c = OpenConnection(url);
    Migrate(*c, schemaVersion);
    auto ins = [&](const char* sql, std::initializer_list<DbValue> v) {
        std::vector<DbValue> p(v);
        c->exec(sql, p);
    };
    const DbValue N;
    ins("INSERT INTO FILIAL VALUES (?, ?)", {Text("0001"), Text("Matriz São Paulo")});
    ins("INSERT INTO FILIAL VALUES (?, ?)", {Text("0002"), Text("Filial Campinas")});
    ins("INSERT INTO CLIENTE VALUES (?, ?)", {Text("000001"), Text("Mercado Boa Vista")});
    ins("INSERT INTO VENDEDOR VALUES (?, ?)", {Text("0007"), Text("Rafael Gomes")});
    ins("INSERT INTO PRODUTO VALUES (?, ?)", {Text("000001"), Text("Cimento CP II 50 kg")});
    ins("INSERT INTO PRODUTO VALUES (?, ?)", {Text("000002"), Text("Tinta acrílica 18 litros")});
    ins("INSERT INTO CONSPEDIDO VALUES (?, ?)", {Text("001"), Text("Limite de crédito excedido")});
    ins("INSERT INTO CONSPEDIDO VALUES (?, ?)", {Text("005"), Text("Preço abaixo da tabela")});

    auto pedido = [&](const char* br, const char* nr, const char* sit, std::int64_t dt, DbValue ent) {
        ins("INSERT INTO PEDIDO (CDFILIAL, NRPEDIDO, IDSITPEDIDO, CDCLIENTE, CDVENDEDOR, DTPEDIDO, DTENTPED) "
            "VALUES (?, ?, ?, ?, ?, ?, ?)",
            {Text(br), Text(nr), Text(sit), Text("000001"), Text("0007"), Int(dt), ent});
    };
    auto item = [&](const char* br, const char* nr, const char* it, const char* prod, double qt, double vr) {
        ins("INSERT INTO ITEMPEDIDO VALUES (?, ?, ?, ?, ?, ?, ?)",
            {Text(br), Text(nr), Text(it), Text(prod), qt, vr, Text("1")});
    };
    auto incons = [&](const char* br, const char* nr, const char* n, const char* kind, DbValue it, DbValue dt,
                      DbValue op) {
        ins("INSERT INTO INCONSPED (CDFILIAL, NRPEDIDO, NRINCONSPED, CDCONSPEDIDO, NRITEMPED, ATIVA, TXOBSLIBINCO, "
            "DTLIBEINCONS, CDOPERLIBE) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
            {Text(br), Text(nr), Text(n), Text(kind), it, Text(dt.index() ? "S" : "N"), DbValue(), dt, op});
    };
    // Branch 0001: orders 1, 2 and 10 have pending inconsistencies; 3 has
    // only released ones; 4 has none.
    pedido("0001", "0000000001", "1", Day(1, 10, 30), Int(Day(6)));
    item("0001", "0000000001", "001", "000001", 2, 10.25);
    item("0001", "0000000001", "002", "000002", 1, 1234.5);
    incons("0001", "0000000001", "002", "005", Text("001"), N, N);
    incons("0001", "0000000001", "001", "001", N, N, N);
    incons("0001", "0000000001", "003", "005", Text("002"), Int(Day(2, 10, 15)), Text("0002"));
    pedido("0001", "0000000002", "5", Day(2, 23, 59, 59, 999), N);
    item("0001", "0000000002", "001", "000001", 3, 0.1);
    incons("0001", "0000000002", "001", "001", N, N, N);
    pedido("0001", "0000000003", "3", Day(1, 8), Int(Day(3)));
    incons("0001", "0000000003", "001", "001", N, Int(Day(1, 9)), Text("0001"));
    pedido("0001", "0000000004", "1", Day(1, 9), Int(Day(3)));
    pedido("0001", "0000000010", "2", Day(3), Int(Day(8)));
    incons("0001", "0000000010", "001", "001", N, N, N);
    // Branch 0002: one order, same number as one of 0001.
    pedido("0002", "0000000001", "1", Day(1, 11), Int(Day(4)));
    item("0002", "0000000001", "001", "000002", 1, 99.9);
    incons("0002", "0000000001", "001", "005", Text("001"), N, N);

    auto oper = [&](const char* code, const char* name, const char* fixed) {
        ins("INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, CDFILIAL, IDMODUFILI, DSSENHA) VALUES (?, ?, ?, ?, ?)",
            {Text(code), Text(name), Text("0001"), Text(fixed), Text(demoHash)});
    };
    oper("0001", "Ana Paula Ferreira", "N");
    oper("0002", "Carlos Eduardo Souza", "N");
    oper("0005", "Márcia Regina Lopes", "S");
    oper("0009", "João Batista Nunes", "N");
    ins("INSERT INTO GRUPOLIBINC VALUES (?, ?, ?)", {Text("0001"), Text("01"), Text("Gerência comercial")});
    ins("INSERT INTO GRUPOLIBINC VALUES (?, ?, ?)", {Text("0001"), Text("02"), Text("Crédito e cobrança")});
    ins("INSERT INTO GRUPOLIBINC VALUES (?, ?, ?)", {Text("0002"), Text("02"), Text("Crédito e cobrança")});
    ins("INSERT INTO OPERGRUPLIB VALUES (?, ?, ?)", {Text("0001"), Text("01"), Text("0001")});
    ins("INSERT INTO OPERGRUPLIB VALUES (?, ?, ?)", {Text("0001"), Text("02"), Text("0001")});
    ins("INSERT INTO OPERGRUPLIB VALUES (?, ?, ?)", {Text("0001"), Text("02"), Text("0002")});
    ins("INSERT INTO OPERGRUPLIB VALUES (?, ?, ?)", {Text("0002"), Text("02"), Text("0002")});
}

void ServerTest::SetUp()
{
    db_ = std::make_unique<TestDatabase>(GetParam());
    if (!db_->available()) GTEST_SKIP() << "ZEL_TEST_PG_URL is not set: no PostgreSQL to test on";
    LoadFixture(db_->url());
    server_ = std::make_unique<AppServer>(db_->url());
    ServeOptions o;
    o.listen = "127.0.0.1:0";
    const int port = server_->Start(o);
    grpc::ChannelArguments args;
    args.SetMaxReceiveMessageSize(64 << 20);
    server_address_ = "127.0.0.1:" + std::to_string(port);
    channel_ = grpc::CreateCustomChannel(server_address_, grpc::InsecureChannelCredentials(), args);
    stub_ = Zel08100::rdmIncPed::NewStub(channel_);
    login_ = zel::login::Login::NewStub(channel_);
}

void ServerTest::TearDown()
{
    if (server_) {
        server_->Shutdown(std::chrono::seconds(2));
        server_->Wait();
    }
    stub_.reset();
    login_.reset();
    channel_.reset();
    server_.reset();
    db_.reset();
}

std::string ServerTest::LoginAs(const std::string& op, const std::string& password, const std::string& branch)
{
    grpc::ClientContext ctx;
    zel::login::LoginRequest rq;
    rq.set_operador(op);
    rq.set_senha(password);
    rq.set_cd_filial(branch);
    zel::login::LoginReply out;
    auto st = login_->Entrar(&ctx, rq, &out);
    EXPECT_TRUE(st.ok()) << st.error_message();
    EXPECT_TRUE(out.has_session()) << out.error().message();
    return out.session().token();
}

zel::data::Result ServerTest::IncPeds(const std::string& token, const std::string& filial, const std::string& pedido)
{
    Zel08100::GetIncPedRequest rq;
    rq.set_cd_filial(filial);
    rq.set_nr_pedido(pedido);
    return Call(&Zel08100::rdmIncPed::Stub::GetIncPed, token, rq);
}

zel::data::Result ServerTest::SetIncPed(const std::string& token, const zel::data::ChangePacket& delta)
{
    Zel08100::SetRequest rq;
    *rq.mutable_delta() = delta;
    return Call(&Zel08100::rdmIncPed::Stub::SetIncPed, token, rq);
}

zel::data::Result ServerTest::SetItem(const std::string& token, const zel::data::ChangePacket& delta)
{
    Zel08100::SetRequest rq;
    *rq.mutable_delta() = delta;
    return Call(&Zel08100::rdmIncPed::Stub::SetItem, token, rq);
}

int FieldIndex(const zel::data::DataPacket& p, const std::string& field)
{
    for (int i = 0; i < p.fields_size(); ++i)
        if (p.fields(i).name() == field) return i;
    ADD_FAILURE() << "no field " << field;
    return -1;
}

void AddModify(zel::data::ChangePacket& delta, const zel::data::DataPacket& from, int row,
               const std::vector<FieldChange>& changes)
{
    if (delta.fields_size() == 0) *delta.mutable_fields() = from.fields();
    auto* rc = delta.add_rows();
    rc->set_kind(zel::data::CHANGE_MODIFY);
    for (int c = 0; c < from.fields_size(); ++c)
        *rc->mutable_original()->add_values() = Cell(from, row, from.fields(c).name());
    for (const auto& c : changes) {
        auto* fc = rc->add_changes();
        fc->set_field(FieldIndex(from, c.field));
        *fc->mutable_value() = c.value;
    }
}

zel::data::ChangePacket Modify(const zel::data::DataPacket& from, int row, const std::vector<FieldChange>& changes)
{
    zel::data::ChangePacket d;
    AddModify(d, from, row, changes);
    return d;
}

zel::data::Value TextValue(const std::string& s)
{
    zel::data::Value v;
    v.set_text(s);
    return v;
}

zel::data::Value DateValue(std::int64_t ms)
{
    zel::data::Value v;
    v.set_datetime_ms(ms);
    return v;
}

zel::data::Value NullValue()
{
    return {};
}

zel::data::Value Cell(const zel::data::DataPacket& p, int row, const std::string& field)
{
    zel::PacketReader reader(p);
    const int c = reader.fieldIndex(field);
    EXPECT_GE(c, 0) << field;
    return zel::ToWire(reader.value(row, c), zel::FromWireKind(p.fields(c).kind()));
}

std::vector<std::string> Column(const zel::data::DataPacket& p, const std::string& field)
{
    std::vector<std::string> out;
    EXPECT_EQ(zel::PacketReader::Validate(p), QString());
    zel::PacketReader reader(p);
    const int c = reader.fieldIndex(field);
    EXPECT_GE(c, 0) << field;
    if (c < 0) return out;
    for (int r = 0; r < reader.rowCount(); ++r) {
        const auto v = Cell(p, r, field);
        switch (v.v_case()) {
        case zel::data::Value::kText:
            out.push_back(v.text());
            break;
        case zel::data::Value::kDatetimeMs:
            out.push_back(std::to_string(v.datetime_ms()));
            break;
        case zel::data::Value::kFloatValue:
            out.push_back(std::to_string(v.float_value()));
            break;
        case zel::data::Value::kIntegerValue:
            out.push_back(std::to_string(v.integer_value()));
            break;
        default:
            out.push_back("<null>");
        }
    }
    return out;
}

} // namespace zel::server::test
