#pragma once

#include "server/Auth.h"
#include "server/Db.h"
#include "server/IncPed.h"
#include "server/Supervisao.h"

#include <chrono>
#include <functional>
#include <grpcpp/server.h>
#include <grpcpp/server_builder.h>
#include <memory>
#include <string>

namespace zel::server {

struct ServeOptions {
    std::string listen = "127.0.0.1:0"; // HOST:PORT; port 0 picks a free one
    std::string tlsCert, tlsKey;        // PEM files; both or neither
    int maxReceiveBytes = 8 << 20;      // a bigger request is refused by the transport
    int maxSendBytes = 512 << 20;       // a whole branch's order list fits
    int minIdleThreads = 2;             // threads kept waiting for calls
    int maxIdleThreads = 64;
};

// Process-wide settings of the gRPC runtime and of the memory allocator for
// serving (and for clients that make many calls); AppServer::Start applies
// them.
void TuneRuntime();
// Blocks of up to this size are kept in the allocator's heaps rather than
// mapped apart, and up to this much freed memory is kept per heap.
inline constexpr int kHeapBlockMax = 32 << 20;
inline constexpr int kKeptFreeMax = 64 << 20;

// The application server: the services "Zel08100.rdmIncPed" and
// "Zel08200.rdmSupervisao" and the login
// service over one database. The gRPC layer turns the session token of the
// call's metadata (key "zel-session") into the calling operator; a call
// without a valid one is refused as UNAUTHENTICATED. Everything else is
// answered with a result.
class AppServer {
public:
    // At most `dbConnections` database connections are open at once.
    explicit AppServer(const std::string& dbUrl, std::size_t dbConnections = kDefaultDbConnections);
    static constexpr std::size_t kDefaultDbConnections = 16;
    ~AppServer();

    // Starts serving and returns the bound port. `extra` may register more
    // services on the same server (benchmarks). Raises std::runtime_error.
    int Start(const ServeOptions& options, const std::function<void(grpc::ServerBuilder&)>& extra = {});
    // Stops accepting calls; calls in flight get up to `grace` to finish.
    void Shutdown(std::chrono::milliseconds grace);
    void Wait();

    Database& database() { return db_; }
    IncPed& logic() { return logic_; }
    Supervisao& supervisao() { return supervisao_; }
    Sessions& sessions() { return sessions_; }

private:
    struct Services;
    Database db_;
    Sessions sessions_;
    IncPed logic_;
    Supervisao supervisao_;
    std::unique_ptr<Services> services_;
    std::unique_ptr<grpc::Server> server_;
};

// The metadata key of the session token.
inline constexpr const char* kSessionKey = "zel-session";
// A call without a deadline still ends its database work after this.
inline constexpr auto kMaxCallTime = std::chrono::seconds(60);

} // namespace zel::server
