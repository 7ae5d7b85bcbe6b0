#include "server/AppServer.h"

#include "proto/login.grpc.pb.h"
#include "proto/rdmIncPed.grpc.pb.h"
#include "server/Log.h"
#include "server/Schema.h"

#include <absl/synchronization/mutex.h>
#include <fstream>
#include <grpc/grpc.h>
#include <grpcpp/security/server_credentials.h>
#include <sstream>
#include <stdexcept>

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

class RdmIncPedService final : public Zel08100::rdmIncPed::Service {
public:
    RdmIncPedService(IncPed& logic, Sessions& sessions) : logic_(logic), sessions_(sessions) {}

    grpc::Status GetPedido(grpc::ServerContext* ctx, const Zel08100::GetPedidoRequest* rq,
                           zel::data::Result* out) override
    {
        return call(ctx, out, [&](const Caller& who, auto dl) { return logic_.GetPedido(who, *rq, dl); });
    }
    grpc::Status GetIncPed(grpc::ServerContext* ctx, const Zel08100::GetIncPedRequest* rq,
                           zel::data::Result* out) override
    {
        return call(ctx, out, [&](const Caller& who, auto dl) { return logic_.GetIncPed(who, *rq, dl); });
    }
    grpc::Status GetItem(grpc::ServerContext* ctx, const Zel08100::GetItemRequest* rq, zel::data::Result* out) override
    {
        return call(ctx, out, [&](const Caller& who, auto dl) { return logic_.GetItem(who, *rq, dl); });
    }
    grpc::Status GetGrupOper(grpc::ServerContext* ctx, const Zel08100::GetGrupOperRequest* rq,
                             zel::data::Result* out) override
    {
        return call(ctx, out, [&](const Caller& who, auto dl) { return logic_.GetGrupOper(who, *rq, dl); });
    }
    grpc::Status GetNrPedido(grpc::ServerContext* ctx, const Zel08100::GetNrPedidoRequest* rq,
                             zel::data::Result* out) override
    {
        return call(ctx, out, [&](const Caller& who, auto dl) { return logic_.GetNrPedido(who, *rq, dl); });
    }
    grpc::Status SetIncPed(grpc::ServerContext* ctx, const Zel08100::SetRequest* rq, zel::data::Result* out) override
    {
        return call(ctx, out, [&](const Caller& who, auto dl) { return logic_.SetIncPed(who, rq->delta(), dl); });
    }
    grpc::Status SetItem(grpc::ServerContext* ctx, const Zel08100::SetRequest* rq, zel::data::Result* out) override
    {
        return call(ctx, out, [&](const Caller& who, auto dl) { return logic_.SetItem(who, rq->delta(), dl); });
    }

private:
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
