#include "server/AppServer.h"

#include "proto/login.grpc.pb.h"
#include "proto/rdmIncPed.grpc.pb.h"
#include "server/Log.h"
#include "server/Schema.h"

#include <absl/synchronization/mutex.h>
#include <fstream>
#include <grpc/grpc.h>
#include <grpcpp/impl/codegen/proto_utils.h>
#include <grpcpp/impl/rpc_service_method.h>
#include <grpcpp/security/server_credentials.h>
#include <grpcpp/support/method_handler.h>
#include <malloc.h>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <type_traits>

namespace zel::server {
namespace {

// The database work of a call ends a little before the client's deadline,
// so that the operator gets an answer that says why rather than a
// transport timeout.
std::optional<Deadline> callDeadline(const grpc::ServerContext* ctx)
{
    using namespace std::chrono;
    const auto sysNow = system_clock::now();
    auto left = duration_cast<microseconds>(std::min<system_clock::duration>(ctx->deadline() - sysNow, kMaxCallTime));
    left -= std::min<microseconds>(milliseconds(250), left / 5);
    return steady_clock::now() + left;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The order service. Its methods take and give their messages as bytes:
// a request is parsed into the thread's request arena, emptied after the
// call, and the answer is serialized here, so that its packet's storage goes back
// to the thread's spare packets instead of being freed after every call and
// allocated again at the next one (a packet is a few dozen small parts).
class RdmIncPedService final : public grpc::Service {
public:
    RdmIncPedService(IncPed& logic, Sessions& sessions) : logic_(logic), sessions_(sessions)
    {
        method<Zel08100::GetPedidoRequest>("/Zel08100.rdmIncPed/GetPedido", &IncPed::GetPedido);
        method<Zel08100::GetIncPedRequest>("/Zel08100.rdmIncPed/GetIncPed", &IncPed::GetIncPed);
        method<Zel08100::GetItemRequest>("/Zel08100.rdmIncPed/GetItem", &IncPed::GetItem);
        method<Zel08100::GetGrupOperRequest>("/Zel08100.rdmIncPed/GetGrupOper", &IncPed::GetGrupOper);
        method<Zel08100::GetNrPedidoRequest>("/Zel08100.rdmIncPed/GetNrPedido", &IncPed::GetNrPedido);
        method<Zel08100::SetRequest>("/Zel08100.rdmIncPed/SetIncPed", &IncPed::SetIncPed);
        method<Zel08100::SetRequest>("/Zel08100.rdmIncPed/SetItem", &IncPed::SetItem);
    }

private:
    // The first block of a thread's request arena, kept by the thread (a
    // send of one row takes a few KB); a larger request, a long order list,
    // takes blocks freed after its call.
    static constexpr std::size_t kKeptRequestBytes = 16 << 10;

    template <class Request, class Logic> void method(const char* path, Logic logic)
    {
        using Handler = grpc::internal::RpcMethodHandler<RdmIncPedService, grpc::ByteBuffer, grpc::ByteBuffer>;
        AddMethod(new grpc::internal::RpcServiceMethod(
            path, grpc::internal::RpcMethod::NORMAL_RPC,
            new Handler([logic](RdmIncPedService* self, grpc::ServerContext* ctx, const grpc::ByteBuffer* in,
                                grpc::ByteBuffer* out) { return self->serve<Request>(ctx, *in, out, logic); },
                        this)));
    }

    struct RequestArena {
        std::unique_ptr<char[]> block = std::make_unique<char[]>(kKeptRequestBytes);
        google::protobuf::Arena arena{options(block.get())};
        static google::protobuf::ArenaOptions options(char* block)
        {
            google::protobuf::ArenaOptions o;
            o.initial_block = block;
            o.initial_block_size = kKeptRequestBytes;
            return o;
        }
    };
    // One per thread, whatever the method.
    static google::protobuf::Arena& threadRequests()
    {
        thread_local RequestArena requests;
        return requests.arena;
    }

    template <class Request, class Logic>
    grpc::Status serve(grpc::ServerContext* ctx, const grpc::ByteBuffer& in, grpc::ByteBuffer* out, Logic logic)
    {
        google::protobuf::Arena& arena = threadRequests();
        struct Empty {
            google::protobuf::Arena& a;
            ~Empty() { a.Reset(); }
        } empty{arena};
        Request& rq = *google::protobuf::Arena::CreateMessage<Request>(&arena);
        grpc::ByteBuffer bytes(in);
        grpc::Status st = grpc::GenericDeserialize<grpc::ProtoBufferReader, Request>(&bytes, &rq);
        if (!st.ok()) return st;
        zel::data::Result result;
        st = call(ctx, &result, [&](const Caller& who, std::optional<Deadline> dl) {
            if constexpr (std::is_same_v<Request, Zel08100::SetRequest>)
                return (logic_.*logic)(who, rq.delta(), dl);
            else
                return (logic_.*logic)(who, rq, dl);
        });
        if (!st.ok()) return st;
        bool ownBuffer = false;
        st = grpc::GenericSerialize<grpc::ProtoBufferWriter, zel::data::Result>(result, out, &ownBuffer);
        if (result.has_data()) RecyclePacket(std::move(*result.mutable_data()));
        return st;
    }

    template <class F> grpc::Status call(grpc::ServerContext* ctx, zel::data::Result* out, F&& method)
    {
        try {
            const auto& md = ctx->client_metadata();
            auto it = md.find(kSessionKey);
            std::optional<Caller> who;
            if (it != md.end()) {
                try {
                    who = sessions_.Validate(std::string(it->second.data(), it->second.size()));
                } catch (const DbError& e) {
                    Log("session check: %s", e.what());
                    *out = ErrorResult(DbFailure(e));
                    return grpc::Status::OK;
                }
            }
            if (!who) return grpc::Status(grpc::StatusCode::UNAUTHENTICATED, "Sessão inválida ou encerrada.");
            *out = method(*who, callDeadline(ctx));
            return grpc::Status::OK;
        } catch (const std::exception& e) {
            Log("call failed: %s", e.what());
            *out = ErrorResult({kErrInternal, "Erro interno do servidor de aplicação."});
            return grpc::Status::OK;
        }
    }

    IncPed& logic_;
    Sessions& sessions_;
};

class LoginService final : public zel::login::Login::Service {
public:
    explicit LoginService(Sessions& s) : sessions_(s) {}

    grpc::Status Entrar(grpc::ServerContext*, const zel::login::LoginRequest* rq, zel::login::LoginReply* out) override
    {
        try {
            auto r = sessions_.Login(rq->operador(), rq->senha(), rq->cd_filial());
            if (auto* e = std::get_if<ServiceError>(&r)) {
                out->mutable_error()->set_code(e->code);
                out->mutable_error()->set_message(e->message);
                return grpc::Status::OK;
            }
            const auto& l = std::get<LoginResult>(r);
            auto* s = out->mutable_session();
            s->set_token(l.token);
            s->set_cd_operador(l.operador);
            s->set_nm_operador(l.nmOperador);
            s->set_cd_filial(l.filial);
            s->set_nm_filial(l.nmFilial);
            s->set_modu_fili(l.moduFili);
        } catch (const DbError& e) {
            Log("Entrar: %s", e.what());
            auto err = DbFailure(e);
            out->mutable_error()->set_code(err.code);
            out->mutable_error()->set_message(err.message);
        } catch (const std::exception& e) {
            Log("Entrar: %s", e.what());
            out->mutable_error()->set_code(kErrInternal);
            out->mutable_error()->set_message("Erro interno do servidor de aplicação.");
        }
        return grpc::Status::OK;
    }

    grpc::Status Sair(grpc::ServerContext*, const zel::login::LogoutRequest* rq, zel::login::LogoutReply*) override
    {
        try {
            sessions_.Logout(rq->token());
        } catch (const std::exception& e) {
            Log("Sair: %s", e.what());
            return grpc::Status(grpc::StatusCode::UNAVAILABLE, "Banco de dados indisponível.");
        }
        return grpc::Status::OK;
    }

private:
    Sessions& sessions_;
};

} // namespace

void TuneRuntime()
{
    // gRPC's locks are the abseil library's, which as packaged checks the
    // order of every lock taken against a process-wide graph to report
    // potential deadlocks: a shared lock and a search on every call's path,
    // for a report nobody reads in production.
    absl::SetMutexDeadlockDetectionMode(absl::OnDeadlockCycle::kIgnore);

    // An answer of a few hundred KB or a few MB (the pick list of a branch's
    // order numbers, a day's orders) is built in column texts that grow by
    // doubling, then serialized once more. glibc's allocator, left to itself,
    // maps blocks of that size from the kernel and gives them back when they
    // are freed, or trims the freed top of its heaps again: every such answer
    // then touches fresh pages, a page fault for each 4 KB (costly in a
    // virtual machine), on top of the copies. Keeping blocks up to
    // kHeapBlockMax in the heaps and their freed memory up to kKeptFreeMax per
    // heap lets the next answer reuse the pages. Larger blocks (a whole
    // branch's order list) are still mapped and given back at once.
    mallopt(M_MMAP_THRESHOLD, kHeapBlockMax);
    mallopt(M_TRIM_THRESHOLD, kKeptFreeMax);
}

struct AppServer::Services {
    RdmIncPedService incPed;
    LoginService login;
    Services(IncPed& l, Sessions& s) : incPed(l, s), login(s) {}
};

AppServer::AppServer(const std::string& dbUrl, std::size_t dbConnections)
    : db_(dbUrl, dbConnections), sessions_(db_), logic_(db_), services_(std::make_unique<Services>(logic_, sessions_))
{
}

AppServer::~AppServer()
{
    if (server_) {
        server_->Shutdown(std::chrono::system_clock::now());
        server_->Wait();
    }
}

int AppServer::Start(const ServeOptions& options, const std::function<void(grpc::ServerBuilder&)>& extra)
{
    {
        auto c = db_.acquire();
        const int v = SchemaVersion(*c);
        if (v != LatestSchemaVersion())
            throw std::runtime_error("the database schema is at version " + std::to_string(v) + ", not " +
                                     std::to_string(LatestSchemaVersion()) + ": run zel-server init first");
    }
    std::shared_ptr<grpc::ServerCredentials> creds;
    if (!options.tlsCert.empty() || !options.tlsKey.empty()) {
        if (options.tlsCert.empty() || options.tlsKey.empty())
            throw std::runtime_error("TLS needs both --tls-cert and --tls-key");
        grpc::SslServerCredentialsOptions ssl;
        ssl.pem_key_cert_pairs.push_back({readFile(options.tlsKey), readFile(options.tlsCert)});
        creds = grpc::SslServerCredentials(ssl);
    } else {
        creds = grpc::InsecureServerCredentials();
    }
    TuneRuntime();
    grpc::ServerBuilder b;
    int port = 0;
    b.AddListeningPort(options.listen, creds, &port);
    alsoPorts_.assign(options.alsoListen.size(), 0);
    for (std::size_t i = 0; i < options.alsoListen.size(); ++i)
        b.AddListeningPort(options.alsoListen[i], creds, &alsoPorts_[i]);
    // Without this, a second server asking for a port already in use (or for
    // port 0 while another has the same one) would share it silently.
    b.AddChannelArgument(GRPC_ARG_ALLOW_REUSEPORT, 0);
    // The synchronous server runs every call on a thread of its own and by
    // default keeps only two idle ones: each burst of concurrent calls then
    // creates threads that end again as soon as their call is answered.
    // Idle threads only wait, so enough of them are kept for the busiest
    // moments.
    b.SetSyncServerOption(grpc::ServerBuilder::SyncServerOption::MIN_POLLERS, options.minIdleThreads);
    b.SetSyncServerOption(grpc::ServerBuilder::SyncServerOption::MAX_POLLERS, options.maxIdleThreads);
    b.SetMaxReceiveMessageSize(options.maxReceiveBytes);
    b.SetMaxSendMessageSize(options.maxSendBytes);
    b.RegisterService(&services_->incPed);
    b.RegisterService(&services_->login);
    if (extra) extra(b);
    server_ = b.BuildAndStart();
    if (!server_ || port == 0) throw std::runtime_error("cannot listen on " + options.listen);
    for (std::size_t i = 0; i < alsoPorts_.size(); ++i)
        if (alsoPorts_[i] == 0) throw std::runtime_error("cannot listen on " + options.alsoListen[i]);
    return port;
}

void AppServer::Shutdown(std::chrono::milliseconds grace)
{
    if (server_) server_->Shutdown(std::chrono::system_clock::now() + grace);
}

void AppServer::Wait()
{
    if (server_) server_->Wait();
}

} // namespace zel::server
