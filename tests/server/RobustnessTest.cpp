// Busy and lost databases, deadlines, oversized requests: each answered with
// an error result or status, and the server goes on serving.
#include "server/IncPed.h"
#include "tests/server/TestSupport.h"

#include <filesystem>
#include <optional>
#include <thread>
#include <unistd.h>

namespace zel::server::test {
namespace {

class RobustnessTest : public ServerTest {
protected:
    zel::data::DataPacket Order1(const std::string& token) { return IncPeds(token, "0001", "0000000001").data(); }

    zel::data::Result Mark(const std::string& token, int timeoutMs, grpc::Status* st = nullptr)
    {
        Zel08100::SetRequest rq;
        *rq.mutable_delta() = Modify(Order1(token), 0, {{"TXOBSLIBINCO", TextValue("Nota " + std::to_string(n_++))}});
        return Call(&Zel08100::rdmIncPed::Stub::SetIncPed, token, rq, st, timeoutMs);
    }

    int n_ = 0;
};

TEST_P(RobustnessTest, ALockedDatabaseEndsTheCallAtItsDeadlineWithAnErrorResult)
{
    const std::string token = LoginAs("0001");
    auto locker = OpenConnection(db_->url());
    locker->begin(true);
    if (GetParam() == Backend::Postgres)
        locker->query("SELECT * FROM INCONSPED WHERE NRPEDIDO = '0000000001' FOR UPDATE");
    else
        locker->exec("UPDATE FILIAL SET NMFILIAL = NMFILIAL WHERE CDFILIAL = '0001'");

    const auto t0 = std::chrono::steady_clock::now();
    grpc::Status st;
    auto r = Mark(token, 1500, &st);
    const auto waited = std::chrono::steady_clock::now() - t0;
    ASSERT_TRUE(st.ok()) << st.error_message();
    ASSERT_TRUE(r.has_error());
    EXPECT_EQ(r.error().code(), kErrTimeout);
    EXPECT_EQ(r.error().message(), "Tempo esgotado aguardando o banco de dados.");
    EXPECT_GE(waited, std::chrono::milliseconds(1000)); // it did wait for the lock

    // Reads go on meanwhile, and once the lock is gone writes do too.
    EXPECT_TRUE(IncPeds(token, "0001", "0000000002").has_data());
    locker->rollback();
    EXPECT_TRUE(Mark(token, 5000).has_data());
}

TEST_P(RobustnessTest, AWriteWaitsForAShortLock)
{
    const std::string token = LoginAs("0001");
    auto locker = OpenConnection(db_->url());
    locker->begin(true);
    if (GetParam() == Backend::Postgres)
        locker->query("SELECT * FROM INCONSPED WHERE NRPEDIDO = '0000000001' FOR UPDATE");
    else
        locker->exec("UPDATE FILIAL SET NMFILIAL = NMFILIAL WHERE CDFILIAL = '0001'");
    std::thread unlock([&] {
        EXPECT_TRUE(WaitForLockWaiter(*db_, ::getpid())) << "the write never waited for the lock";
        locker->rollback();
    });
    auto r = Mark(token, 5000);
    unlock.join();
    EXPECT_TRUE(r.has_data()) << r.error().message();
}

TEST_P(RobustnessTest, ALostDatabaseConnectionIsAnErrorAndTheNextCallReconnects)
{
    if (GetParam() != Backend::Postgres) GTEST_SKIP() << "a SQLite file cannot go away under an open connection";
    const std::string token = LoginAs("0001");
    ASSERT_TRUE(IncPeds(token, "0001", "0000000001").has_data());
    db_->DropConnections();
    auto lost = IncPeds(token, "0001", "0000000001");
    ASSERT_TRUE(lost.has_error());
    EXPECT_EQ(lost.error().code(), kErrUnavailable);
    EXPECT_EQ(lost.error().message(), "Banco de dados indisponível. Tente novamente em instantes.");
    EXPECT_TRUE(IncPeds(token, "0001", "0000000001").has_data());
    EXPECT_TRUE(Mark(token, 5000).has_data());
}

TEST_P(RobustnessTest, OversizedRequestsAreRefusedByTheTransport)
{
    const std::string token = LoginAs("0001");
    Zel08100::SetRequest rq;
    *rq.mutable_delta() = Modify(Order1(token), 0, {{"TXOBSLIBINCO", TextValue(std::string(9 << 20, 'x'))}});
    grpc::Status st;
    Call(&Zel08100::rdmIncPed::Stub::SetIncPed, token, rq, &st);
    EXPECT_EQ(st.error_code(), grpc::StatusCode::RESOURCE_EXHAUSTED);
    // Too many rows for one packet.
    zel::data::ChangePacket many;
    const auto rows = Order1(token);
    for (int i = 0; i < 5001; ++i)
        AddModify(many, rows, 0, {});
    EXPECT_EQ(SetIncPed(token, many).error().message(), "O pacote de alterações excede 5000 registros.");
    EXPECT_TRUE(IncPeds(token, "0001", "0000000001").has_data());
}

TEST(RobustnessUnreachable, AnUnreachableDatabaseIsAnErrorResult)
{
    Database db("sqlite:/nonexistent-folder/zel.db");
    IncPed logic(db);
    Zel08100::GetIncPedRequest rq;
    rq.set_cd_filial("0001");
    rq.set_nr_pedido("0000000001");
    auto r = logic.GetIncPed(Caller{"0001", "0001"}, rq);
    ASSERT_TRUE(r.has_error());
    EXPECT_EQ(r.error().code(), kErrUnavailable);

    Database pg("postgresql://zel@127.0.0.1:1/zel");
    auto r2 = IncPed(pg).GetIncPed(Caller{"0001", "0001"}, rq);
    ASSERT_TRUE(r2.has_error());
    EXPECT_EQ(r2.error().code(), kErrUnavailable);
}

TEST(RobustnessUnreachable, AConnectionThatCannotBeOpenedWaitsForAnOpenOneOfThePool)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zel-pool-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    Database db("sqlite:" + (dir / "zel.db").string(), 4);
    std::optional<Database::Lease> first(db.acquire());
    // New connections to the file fail from now on; the open one goes on.
    std::filesystem::remove_all(dir);

    const auto soon = [] { return std::chrono::steady_clock::now() + std::chrono::milliseconds(300); };
    try {
        db.acquire(soon());
        ADD_FAILURE() << "a second connection was had while the only one was taken";
    } catch (const DbError& e) {
        EXPECT_EQ(e.kind(), DbError::Kind::Busy) << "it waited for the open connection: " << e.what();
    }
    first.reset();
    auto again = db.acquire(soon());
    EXPECT_EQ(again->query("SELECT 1").i64(0, 0), 1);

    // With none open there is nothing to wait for.
    Database fresh("sqlite:" + (dir / "zel.db").string(), 4);
    try {
        fresh.acquire(soon());
        ADD_FAILURE() << "a connection was opened in a folder that is gone";
    } catch (const DbError& e) {
        EXPECT_EQ(e.kind(), DbError::Kind::Unavailable) << e.what();
    }
}

ZEL_INSTANTIATE(RobustnessTest);

} // namespace
} // namespace zel::server::test
