#include "server/AppServer.h"

#include "proto/login.grpc.pb.h"
#include "proto/rdmIncPed.grpc.pb.h"
#include "proto/zel08200.grpc.pb.h"
#include "server/Log.h"
#include "server/Schema.h"

#include <absl/synchronization/mutex.h>
#include <fstream>
#include <grpc/grpc.h>
#include <grpcpp/security/server_credentials.h>
#include <grpcpp/support/proto_buffer_reader.h>
#include <grpcpp/support/proto_buffer_writer.h>
#include <limits>
#include <malloc.h>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <vector>

namespace zel::server {
namespace {

// The caller of a call, from the session its metadata carries; none, with the
// refusal's text, when it carries none or the session is refused. A database
// failure while checking raises DbError.
std::optional<Caller> SessionCaller(Sessions& sessions, grpc::ServerContext* ctx, std::string& refusal)
{
    refusal = kSessionInvalid;
    const auto& md = ctx->client_metadata();
    auto it = md.find(kSessionKey);
    if (it == md.end()) return std::nullopt;
    return sessions.Validate(std::string(it->second.data(), it->second.size()), &refusal);
}

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

// The order service. Its methods take and give their messages as bytes,
// through the generated service's asynchronous raw methods served by a pool
// of threads of its own: a request is parsed into the thread's request
// arena, emptied after the call, and the answer is serialized here, so that
// its packet's storage goes back to the thread's spare packets instead of
// being freed after every call and allocated again at the next one (a packet
// is a few dozen small parts). Each thread runs the calls it takes from the
// completion queue to their end, as the synchronous server's threads do.
class RdmIncPedService final : public Zel08100::rdmIncPed::Service {
public:
    RdmIncPedService(IncPed& logic, Sessions& sessions) : logic_(logic), sessions_(sessions)
    {
        for (int m = 0; m < kMethods; ++m)
            MarkMethodRaw(m);
    }
    ~RdmIncPedService() override { join(); }

    // After the server is built: `threads` threads serve the calls of `cq`,
    // each method with `pending` calls awaited at any time.
    void start(std::unique_ptr<grpc::ServerCompletionQueue> cq, int threads, int pending)
    {
        cq_ = std::move(cq);
        for (int m = 0; m < kMethods; ++m)
            for (int i = 0; i < pending; ++i)
                await(m);
        for (int t = 0; t < threads; ++t)
            threads_.emplace_back([this] { loop(); });
    }
    // After the server's shutdown: the queue drains and the threads end.
    void join()
    {
        if (!cq_) return;
        cq_->Shutdown();
        for (std::thread& t : threads_)
            t.join();
        threads_.clear();
        void* tag;
        bool ok;
        while (cq_->Next(&tag, &ok))
            delete static_cast<Call*>(tag);
        cq_.reset();
    }

private:
    static constexpr int kMethods = 7; // in the order of the service's definition

    struct Call {
        explicit Call(int m) : method(m) {}
        int method;
        bool answered = false;
        grpc::ServerContext ctx;
        grpc::ByteBuffer request;
        grpc::ServerAsyncResponseWriter<grpc::ByteBuffer> responder{&ctx};
    };

    void await(int method)
    {
        auto* c = new Call(method);
        RequestAsyncUnary(method, &c->ctx, &c->request, &c->responder, cq_.get(), cq_.get(), c);
    }

    void loop()
    {
        void* tag;
        bool ok;
        while (cq_->Next(&tag, &ok)) {
            auto* c = static_cast<Call*>(tag);
            if (c->answered || !ok) {
                // An answer sent, or a call no longer awaited (shutdown).
                delete c;
                continue;
            }
            await(c->method);
            grpc::ByteBuffer out;
            grpc::Status st = dispatch(*c, &out);
            c->answered = true;
            if (st.ok())
                c->responder.Finish(out, st, c);
            else
                c->responder.FinishWithError(st, c);
        }
    }

    grpc::Status dispatch(Call& c, grpc::ByteBuffer* out)
    {
        switch (c.method) {
        case 0:
            return serve<Zel08100::GetPedidoRequest>(c, out, &IncPed::GetPedido);
        case 1:
            return serve<Zel08100::GetIncPedRequest>(c, out, &IncPed::GetIncPed);
        case 2:
            return serve<Zel08100::GetItemRequest>(c, out, &IncPed::GetItem);
        case 3:
            return serve<Zel08100::GetGrupOperRequest>(c, out, &IncPed::GetGrupOper);
        case 4:
            return serve<Zel08100::GetNrPedidoRequest>(c, out, &IncPed::GetNrPedido);
        case 5:
            return serve<Zel08100::SetRequest>(c, out, &IncPed::SetIncPed);
        default:
            return serve<Zel08100::SetRequest>(c, out, &IncPed::SetItem);
        }
    }

    // The first block of a thread's request arena, kept by the thread (a
    // send of one row takes a few KB); a larger request, a long order list,
    // takes blocks freed after its call.
    static constexpr std::size_t kKeptRequestBytes = 16 << 10;

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

    template <class Request, class Logic> grpc::Status serve(Call& c, grpc::ByteBuffer* out, Logic logic)
    {
        google::protobuf::Arena& arena = threadRequests();
        struct Empty {
            google::protobuf::Arena& a;
            ~Empty() { a.Reset(); }
        } empty{arena};
        Request& rq = *google::protobuf::Arena::CreateMessage<Request>(&arena);
        {
            grpc::ProtoBufferReader reader(&c.request);
            if (!rq.ParseFromZeroCopyStream(&reader))
                return grpc::Status(grpc::StatusCode::INTERNAL, "Mensagem de requisição inválida.");
        }
        zel::data::Result result;
        grpc::Status st = call(&c.ctx, &result, [&](const Caller& who, std::optional<Deadline> dl) {
            if constexpr (std::is_same_v<Request, Zel08100::SetRequest>)
                return (logic_.*logic)(who, rq.delta(), dl);
            else
                return (logic_.*logic)(who, rq, dl);
        });
        if (!st.ok()) return st;
        const std::size_t size = result.ByteSizeLong();
        if (size > std::size_t(std::numeric_limits<int>::max()))
            return grpc::Status(grpc::StatusCode::RESOURCE_EXHAUSTED, "Resposta grande demais.");
        {
            grpc::ProtoBufferWriter writer(out, grpc::kProtoBufferWriterMaxBufferLength, int(size));
            if (!result.SerializeToZeroCopyStream(&writer))
                st = grpc::Status(grpc::StatusCode::INTERNAL, "Falha ao codificar a resposta.");
        }
        if (result.has_data()) RecyclePacket(std::move(*result.mutable_data()));
        return st;
    }

    template <class F> grpc::Status call(grpc::ServerContext* ctx, zel::data::Result* out, F&& method)
    {
        try {
            std::optional<Caller> who;
            std::string refusal;
            try {
                who = SessionCaller(sessions_, ctx, refusal);
            } catch (const DbError& e) {
                Log("session check: %s", e.what());
                *out = ErrorResult(DbFailure(e));
                return grpc::Status::OK;
            }
            if (!who) return grpc::Status(grpc::StatusCode::UNAUTHENTICATED, refusal);
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
    std::unique_ptr<grpc::ServerCompletionQueue> cq_;
    std::vector<std::thread> threads_;
};

// The supervisors' service, on the generated classes: the caller comes from
// the session token as for the order service.
class SupervisaoService final : public Zel08200::rdmSupervisao::Service {
public:
    SupervisaoService(Supervisao& logic, Sessions& sessions) : logic_(logic), sessions_(sessions) {}

    grpc::Status GetDireitos(grpc::ServerContext* ctx, const Zel08200::GetDireitosRequest* rq,
                             zel::data::Result* out) override
    {
        return call(
            ctx, [&](const Caller& who, std::optional<Deadline> dl) { *out = logic_.GetDireitos(who, *rq, dl); },
            [&](const ServiceError& e) { *out = ErrorResult(e); });
    }
    grpc::Status GetHistorico(grpc::ServerContext* ctx, const Zel08200::GetHistoricoRequest* rq,
                              Zel08200::GetHistoricoReply* out) override
    {
        return call(
            ctx, [&](const Caller& who, std::optional<Deadline> dl) { *out = logic_.GetHistorico(who, *rq, dl); },
            [&](const ServiceError& e) { *out->mutable_result() = ErrorResult(e); });
    }
    grpc::Status GetPendentes(grpc::ServerContext* ctx, const Zel08200::GetPendentesRequest* rq,
                              zel::data::Result* out) override
    {
        return call(
            ctx, [&](const Caller& who, std::optional<Deadline> dl) { *out = logic_.GetPendentes(who, *rq, dl); },
            [&](const ServiceError& e) { *out = ErrorResult(e); });
    }
    grpc::Status LiberaLote(grpc::ServerContext* ctx, const Zel08200::LiberaLoteRequest* rq,
                            grpc::ServerWriter<Zel08200::LiberaLoteReply>* writer) override
    {
        auto send = [&](const Zel08200::LiberaLoteReply& r) { return !ctx->IsCancelled() && writer->Write(r); };
        return call(
            ctx, [&](const Caller& who, std::optional<Deadline> dl) { logic_.LiberaLote(who, *rq, send, dl); },
            [&](const ServiceError& e) {
                Zel08200::LiberaLoteReply r;
                r.mutable_error()->set_code(e.code);
                r.mutable_error()->set_message(e.message);
                send(r);
            });
    }

private:
    template <class F, class E> grpc::Status call(grpc::ServerContext* ctx, F&& method, E&& error)
    {
        try {
            std::optional<Caller> who;
            std::string refusal;
            try {
                who = SessionCaller(sessions_, ctx, refusal);
            } catch (const DbError& e) {
                Log("session check: %s", e.what());
                error(DbFailure(e));
                return grpc::Status::OK;
            }
            if (!who) return grpc::Status(grpc::StatusCode::UNAUTHENTICATED, refusal);
            method(*who, callDeadline(ctx));
        } catch (const std::exception& e) {
            Log("call failed: %s", e.what());
            error({kErrInternal, "Erro interno do servidor de aplicação."});
        }
        return grpc::Status::OK;
    }

    Supervisao& logic_;
    Sessions& sessions_;
};

class LoginService final : public zel::login::Login::Service {
public:
    explicit LoginService(Sessions& s) : sessions_(s) {}

    grpc::Status Entrar(grpc::ServerContext* ctx, const zel::login::LoginRequest* rq,
                        zel::login::LoginReply* out) override
    {
        try {
            auto r = sessions_.Login(rq->operador(), rq->senha(), rq->cd_filial(), PeerAddress(ctx->peer()));
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

// Calls of each method of the order service awaited at any time.
constexpr int kAwaitedCalls = 16;

struct AppServer::Services {
    RdmIncPedService incPed;
    SupervisaoService supervisao;
    LoginService login;
    Services(IncPed& l, Supervisao& sv, Sessions& s) : incPed(l, s), supervisao(sv, s), login(s) {}
};

std::string PeerAddress(const std::string& peer)
{
    // "ipv4:10.0.0.5:51234", "ipv6:[::1]:51234", "unix:/path"
    const auto colon = peer.find(':');
    std::string a = colon == std::string::npos ? peer : peer.substr(colon + 1);
    if (peer.rfind("ipv", 0) == 0) {
        const auto port = a.rfind(':');
        if (port != std::string::npos) a.resize(port);
        if (a.size() > 2 && a.front() == '[' && a.back() == ']') a = a.substr(1, a.size() - 2);
    }
    return a.empty() ? peer : a;
}

AppServer::AppServer(const std::string& dbUrl, std::size_t dbConnections, const AccessPolicy& access)
    : db_(dbUrl, dbConnections), sessions_(db_, access), logic_(db_), supervisao_(db_),
      services_(std::make_unique<Services>(logic_, supervisao_, sessions_))
{
}

AppServer::~AppServer()
{
    if (server_) {
        server_->Shutdown(std::chrono::system_clock::now());
        server_->Wait();
    }
    services_->incPed.join();
}

int AppServer::Start(const ServeOptions& options, const std::function<void(grpc::ServerBuilder&)>& extra)
{
    {
        auto c = db_.acquire();
        const int v = SchemaVersion(*c);
        if (v > LatestSchemaVersion()) throw std::runtime_error(NewerSchemaMessage(v));
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
    b.RegisterService(&services_->supervisao);
    b.RegisterService(&services_->login);
    if (extra) extra(b);
    std::unique_ptr<grpc::ServerCompletionQueue> cq = b.AddCompletionQueue();
    server_ = b.BuildAndStart();
    if (!server_ || port == 0) throw std::runtime_error("cannot listen on " + options.listen);
    // As many threads for the order service as the synchronous server keeps
    // idle at most; each method has calls awaited for the busiest moments.
    services_->incPed.start(std::move(cq), options.maxIdleThreads, kAwaitedCalls);
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
    services_->incPed.join();
}

} // namespace zel::server
