// The login service and the session that every call carries.
#include "tests/server/TestSupport.h"

namespace zel::server::test {
namespace {

class LoginTest : public ServerTest {
protected:
    zel::login::LoginReply Enter(const std::string& op, const std::string& pw, const std::string& branch = "")
    {
        grpc::ClientContext ctx;
        zel::login::LoginRequest rq;
        rq.set_operador(op);
        rq.set_senha(pw);
        rq.set_cd_filial(branch);
        zel::login::LoginReply out;
        EXPECT_TRUE(login_->Entrar(&ctx, rq, &out).ok());
        return out;
    }

    grpc::Status Probe(const std::string& token)
    {
        Zel08100::GetNrPedidoRequest rq;
        rq.set_cd_filial("0001");
        grpc::Status st;
        Call(&Zel08100::rdmIncPed::Stub::GetNrPedido, token, rq, &st);
        return st;
    }
};

TEST_P(LoginTest, SessionCarriesTheOperatorAndTheBranch)
{
    auto r = Enter("0001", "demo");
    ASSERT_TRUE(r.has_session()) << r.error().message();
    const auto& s = r.session();
    EXPECT_EQ(s.token().size(), 64u);
    EXPECT_EQ(s.cd_operador(), "0001");
    EXPECT_EQ(s.nm_operador(), "Ana Paula Ferreira");
    EXPECT_EQ(s.cd_filial(), "0001");
    EXPECT_EQ(s.nm_filial(), "Matriz São Paulo");
    EXPECT_FALSE(s.modu_fili());

    auto other = Enter("0001", "demo", "0002");
    ASSERT_TRUE(other.has_session());
    EXPECT_EQ(other.session().cd_filial(), "0002");
    EXPECT_EQ(other.session().nm_filial(), "Filial Campinas");
    EXPECT_NE(other.session().token(), s.token());

    auto fixed = Enter("0005", "demo");
    ASSERT_TRUE(fixed.has_session());
    EXPECT_TRUE(fixed.session().modu_fili());
    EXPECT_EQ(Enter("0005", "demo", "0002").error().message(), "Operador só pode trabalhar na filial 0001.");
    EXPECT_EQ(Enter("0001", "demo", "0003").error().message(), "Filial não cadastrada.");

    // Wrong password and unknown operator look the same.
    EXPECT_EQ(Enter("0001", "Demo").error().message(), "Operador ou senha inválidos.");
    EXPECT_EQ(Enter("0042", "demo").error().message(), "Operador ou senha inválidos.");
    EXPECT_EQ(Enter("", "").error().message(), "Operador ou senha inválidos.");

    // Only a hash of the token is stored.
    auto c = OpenConnection(db_->url());
    const DbValue p[] = {Text(s.token())};
    EXPECT_TRUE(c->query("SELECT 1 FROM SESSAO WHERE DSTOKEN = ?", p).empty());
}

TEST_P(LoginTest, CallsWithoutAValidSessionAreUnauthenticated)
{
    EXPECT_EQ(Probe("").error_code(), grpc::StatusCode::UNAUTHENTICATED);
    EXPECT_EQ(Probe("not-a-token").error_code(), grpc::StatusCode::UNAUTHENTICATED);
    EXPECT_EQ(Probe(std::string(200, 'x')).error_code(), grpc::StatusCode::UNAUTHENTICATED);

    const std::string token = LoginAs("0001");
    EXPECT_TRUE(Probe(token).ok());
    {
        grpc::ClientContext ctx;
        zel::login::LogoutRequest rq;
        rq.set_token(token);
        zel::login::LogoutReply out;
        ASSERT_TRUE(login_->Sair(&ctx, rq, &out).ok());
    }
    EXPECT_EQ(Probe(token).error_code(), grpc::StatusCode::UNAUTHENTICATED);

    // Oversized metadata is refused by the transport, which may drop the
    // connection; the server goes on serving new ones.
    EXPECT_EQ(Probe(std::string(100'000, 'x')).error_code(), grpc::StatusCode::RESOURCE_EXHAUSTED);
    channel_ = grpc::CreateChannel(server_address_, grpc::InsecureChannelCredentials());
    stub_ = Zel08100::rdmIncPed::NewStub(channel_);
    login_ = zel::login::Login::NewStub(channel_);
    EXPECT_TRUE(Probe(LoginAs("0002")).ok());
}

TEST_P(LoginTest, ASessionIsValidOnEveryServerOfTheDatabase)
{
    const std::string token = LoginAs("0002");
    AppServer second(db_->url());
    auto who = second.sessions().Validate(token);
    ASSERT_TRUE(who.has_value());
    EXPECT_EQ(who->operador, "0002");
    EXPECT_EQ(who->filial, "0001");
    // A logout on one is seen by the other at its next call.
    server_->sessions().Logout(token);
    std::string refusal;
    EXPECT_FALSE(second.sessions().Validate(token, &refusal));
    EXPECT_EQ(refusal, "Sessão inválida ou encerrada.");
}

ZEL_INSTANTIATE(LoginTest);

} // namespace
} // namespace zel::server::test
