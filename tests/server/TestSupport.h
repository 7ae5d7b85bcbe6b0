#pragma once

#include "proto/login.grpc.pb.h"
#include "proto/rdmIncPed.grpc.pb.h"
#include "server/AppServer.h"
#include "server/Db.h"

#include <grpcpp/grpcpp.h>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <string>
#include <sys/types.h>

namespace zel::server::test {

enum class Backend { Sqlite, Postgres };
std::string BackendName(const ::testing::TestParamInfo<Backend>& info);

// A fresh, empty database of its own: a SQLite file in a temporary folder,
// or a schema of the PostgreSQL named by ZEL_TEST_PG_URL (the connections of
// its URL carry the schema's name as their application name). Removed at the
// end.
class TestDatabase {
public:
    explicit TestDatabase(Backend b);
    ~TestDatabase();
    bool available() const { return !url_.empty(); }
    const std::string& url() const { return url_; }
    const std::string& name() const { return name_; }
    Backend backend() const { return backend_; }
    // Ends every server connection of this database (PostgreSQL only).
    void DropConnections();

private:
    Backend backend_;
    std::string url_, name_, dir_, baseUrl_;
};

// Waits until a call of the server (the process given) waits for a lock that
// another connection holds: on PostgreSQL a backend of the database waiting
// for a lock, on SQLite a thread of the server backing off in the busy
// handler. False when none does within 30 seconds.
bool WaitForLockWaiter(const TestDatabase& db, pid_t server);

// Day 1 of the fixture's orders: 10/03/2026.
std::int64_t Day(int n, int h = 0, int m = 0, int s = 0, int ms = 0);

// Schema plus a small, hand-made set of rows (see TestSupport.cpp) that the
// tests' expectations are written against. An earlier schema version makes
// the database as that version of the server left it (the fixture's rows
// need version 2 or later).
void LoadFixture(const std::string& url, int schemaVersion = std::numeric_limits<int>::max());

// Runs the application server in this process on an ephemeral port over a
// fresh fixture database, with clients over a real channel.
class ServerTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string LoginAs(const std::string& op, const std::string& password = "demo", const std::string& branch = "");

    template <class Req>
    using Method = grpc::Status (Zel08100::rdmIncPed::Stub::*)(grpc::ClientContext*, const Req&, zel::data::Result*);

    // A call with the session token in its metadata; the status is checked
    // to be OK unless `status` is given.
    template <class Req>
    zel::data::Result Call(Method<Req> m, const std::string& token, const Req& rq, grpc::Status* status = nullptr,
                           int timeoutMs = 10'000)
    {
        grpc::ClientContext ctx;
        if (!token.empty()) ctx.AddMetadata("zel-session", token);
        ctx.set_deadline(std::chrono::system_clock::now() + std::chrono::milliseconds(timeoutMs));
        zel::data::Result out;
        grpc::Status st = (stub_.get()->*m)(&ctx, rq, &out);
        if (status)
            *status = st;
        else
            EXPECT_TRUE(st.ok()) << st.error_message();
        return out;
    }

    zel::data::Result Pedidos(const std::string& token, const Zel08100::GetPedidoRequest& rq)
    {
        return Call(&Zel08100::rdmIncPed::Stub::GetPedido, token, rq);
    }
    zel::data::Result IncPeds(const std::string& token, const std::string& filial, const std::string& pedido);
    zel::data::Result SetIncPed(const std::string& token, const zel::data::ChangePacket& delta);
    zel::data::Result SetItem(const std::string& token, const zel::data::ChangePacket& delta);

    std::unique_ptr<TestDatabase> db_;
    std::unique_ptr<AppServer> server_;
    std::string server_address_;
    std::shared_ptr<grpc::Channel> channel_;
    std::unique_ptr<Zel08100::rdmIncPed::Stub> stub_;
    std::unique_ptr<zel::login::Login::Stub> login_;
};

// A change packet as a client dataset sends it: the packet's fields, one
// modified row with its original values and the given new values.
struct FieldChange {
    std::string field;
    zel::data::Value value;
};
zel::data::ChangePacket Modify(const zel::data::DataPacket& from, int row, const std::vector<FieldChange>& changes);
void AddModify(zel::data::ChangePacket& delta, const zel::data::DataPacket& from, int row,
               const std::vector<FieldChange>& changes);
zel::data::Value TextValue(const std::string& s);
zel::data::Value DateValue(std::int64_t ms);
zel::data::Value NullValue();

// One cell of a data packet in its wire form; no member set for null.
zel::data::Value Cell(const zel::data::DataPacket& p, int row, const std::string& field);
// Reads one column of a packet as texts (null as "<null>").
std::vector<std::string> Column(const zel::data::DataPacket& p, const std::string& field);
int FieldIndex(const zel::data::DataPacket& p, const std::string& field);

#define ZEL_INSTANTIATE(Suite)                                                                                         \
    INSTANTIATE_TEST_SUITE_P(                                                                                          \
        Db, Suite, ::testing::Values(::zel::server::test::Backend::Sqlite, ::zel::server::test::Backend::Postgres),    \
        ::zel::server::test::BackendName)

} // namespace zel::server::test
