// Serving over TLS: a client that trusts the server's certificate logs in
// and calls; a plain-text client gets nowhere. The key pair in tls/ is a
// self-signed one made for these tests only.
#include "tests/server/TestSupport.h"

#include <fstream>
#include <sstream>

namespace zel::server::test {
namespace {

std::string slurp(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(TlsTest, LoginAndCallsOverTls)
{
    TestDatabase db(Backend::Sqlite);
    LoadFixture(db.url());
    AppServer server(db.url());
    ServeOptions o;
    o.listen = "127.0.0.1:0";
    o.tlsCert = ZEL_TLS_DIR "/cert.pem";
    o.tlsKey = ZEL_TLS_DIR "/key.pem";
    const std::string address = "127.0.0.1:" + std::to_string(server.Start(o));

    grpc::SslCredentialsOptions ssl;
    ssl.pem_root_certs = slurp(ZEL_TLS_DIR "/cert.pem");
    grpc::ChannelArguments args;
    args.SetSslTargetNameOverride("localhost");
    auto secure = grpc::CreateCustomChannel(address, grpc::SslCredentials(ssl), args);
    auto login = zel::login::Login::NewStub(secure);
    grpc::ClientContext ctx;
    zel::login::LoginRequest rq;
    rq.set_operador("0001");
    rq.set_senha("demo");
    zel::login::LoginReply out;
    ASSERT_TRUE(login->Entrar(&ctx, rq, &out).ok());
    ASSERT_TRUE(out.has_session());

    auto stub = Zel08100::rdmIncPed::NewStub(secure);
    grpc::ClientContext c2;
    c2.AddMetadata("zel-session", out.session().token());
    Zel08100::GetIncPedRequest inc;
    inc.set_cd_filial("0001");
    inc.set_nr_pedido("0000000001");
    zel::data::Result result;
    ASSERT_TRUE(stub->GetIncPed(&c2, inc, &result).ok());
    EXPECT_EQ(result.data().row_count(), 2u);

    auto plain = zel::login::Login::NewStub(grpc::CreateChannel(address, grpc::InsecureChannelCredentials()));
    grpc::ClientContext c3;
    c3.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(2));
    EXPECT_FALSE(plain->Entrar(&c3, rq, &out).ok());

    server.Shutdown(std::chrono::seconds(1));
    server.Wait();
}

TEST(TlsTest, AMissingKeyIsRefusedAtStart)
{
    TestDatabase db(Backend::Sqlite);
    LoadFixture(db.url());
    AppServer server(db.url());
    ServeOptions o;
    o.tlsCert = ZEL_TLS_DIR "/cert.pem";
    EXPECT_THROW(server.Start(o), std::runtime_error);
    o.tlsKey = ZEL_TLS_DIR "/missing.pem";
    EXPECT_THROW(server.Start(o), std::runtime_error);
}

} // namespace
} // namespace zel::server::test
