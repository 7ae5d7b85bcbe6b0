// The supervisors' service: rights, the release history page by page, the
// pending inconsistencies of many orders and their release in one batch,
// with an outcome per row, over a real channel on both databases; a server
// killed mid-batch leaves every row released with its history or untouched.
#include "proto/zel08200.grpc.pb.h"
#include "server/Operators.h"
#include "tests/server/TestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ServerProcess.h"

#include <csignal>
#include <cstdio>
#include <map>
#include <set>

namespace zel::server::test {
namespace {

using Outcome = Zel08200::LoteOutcome;

// An order number as stored: 10 digits.
std::string OrderNo(int n)
{
    char b[16];
    std::snprintf(b, sizeof b, "%010d", n);
    return b;
}

// `n` pending inconsistencies in branch 0001: orders from 0000100000 on,
// two inconsistencies each (codes "001" and "005"), ordered on day 4.
void AddPending(const std::string& url, int n)
{
    auto c = OpenConnection(url);
    Transaction tx(*c, true);
    const int orders = (n + 1) / 2;
    int at = 0;
    c->bulkInsert(
        "PEDIDO", {"CDFILIAL", "NRPEDIDO", "IDSITPEDIDO", "CDCLIENTE", "CDVENDEDOR", "DTPEDIDO", "DTENTPED"},
        [&](std::vector<DbValue>& row) {
            if (at == orders) return false;
            row = {Text("0001"), Text(OrderNo(100000 + at)), Text("1"), Text("000001"), Text("0007"), Int(Day(4, 9)),
                   Int(Day(9))};
            ++at;
            return true;
        });
    at = 0;
    c->bulkInsert("INCONSPED", {"CDFILIAL", "NRPEDIDO", "NRINCONSPED", "CDCONSPEDIDO", "ATIVA"},
                  [&](std::vector<DbValue>& row) {
                      if (at == n) return false;
                      row = {Text("0001"), Text(OrderNo(100000 + at / 2)), Text(at % 2 ? "002" : "001"),
                             Text(at % 2 ? "005" : "001"), Text("N")};
                      ++at;
                      return true;
                  });
    tx.commit();
}

std::int64_t Count(const std::string& url, const std::string& sql)
{
    auto c = OpenConnection(url);
    return c->query(sql).i64(0, 0);
}

Zel08200::LoteItem Item(const std::string& branch, const std::string& ped, const std::string& inc,
                        const std::string& ativa = "N")
{
    Zel08200::LoteItem it;
    it.set_cd_filial(branch);
    it.set_nr_pedido(ped);
    it.set_nr_incons_ped(inc);
    it.set_ativa(ativa);
    return it;
}

class SupervisaoTest : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped()) return;
        sup_ = Zel08200::rdmSupervisao::NewStub(channel_);
        server_->supervisao().clock = [this] { return zel::TDateTime::fromMSecs(now_); };
    }

    template <class Req, class Rep>
    Rep Unary(grpc::Status (Zel08200::rdmSupervisao::Stub::*m)(grpc::ClientContext*, const Req&, Rep*),
              const std::string& token, const Req& rq)
    {
        grpc::ClientContext ctx;
        ctx.AddMetadata("zel-session", token);
        ctx.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(30));
        Rep out;
        grpc::Status st = (sup_.get()->*m)(&ctx, rq, &out);
        EXPECT_TRUE(st.ok()) << st.error_message();
        return out;
    }

    zel::data::Result Pendentes(const std::string& token, Zel08200::GetPendentesRequest rq)
    {
        return Unary(&Zel08200::rdmSupervisao::Stub::GetPendentes, token, rq);
    }
    Zel08200::GetHistoricoReply Historico(const std::string& token, const Zel08200::GetHistoricoRequest& rq)
    {
        return Unary(&Zel08200::rdmSupervisao::Stub::GetHistorico, token, rq);
    }

    // The whole stream of a batch: its outcomes in order, or the error of
    // its refusal. Checks that the replies follow each other without gaps.
    struct Batch {
        std::vector<Outcome> outcomes;
        std::optional<zel::data::Error> error;
        int replies = 0;
    };
    Batch Libera(const std::string& token, const Zel08200::LiberaLoteRequest& rq)
    {
        grpc::ClientContext ctx;
        ctx.AddMetadata("zel-session", token);
        ctx.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(60));
        auto reader = sup_->LiberaLote(&ctx, rq);
        Batch b;
        Zel08200::LiberaLoteReply r;
        while (reader->Read(&r)) {
            ++b.replies;
            EXPECT_EQ(r.inicio(), b.outcomes.size());
            if (r.has_error()) {
                EXPECT_FALSE(b.error) << "a second error";
                b.error = r.error();
            }
            for (const Outcome& o : r.outcomes())
                b.outcomes.push_back(o);
        }
        EXPECT_TRUE(reader->Finish().ok());
        return b;
    }

    // Every pending row of a packet of GetPendentes as a batch's item, seen
    // as the packet shows it.
    static void AddItems(Zel08200::LiberaLoteRequest& rq, const zel::data::DataPacket& p)
    {
        const auto ped = Column(p, "NRPEDIDO"), inc = Column(p, "NRINCONSPED"), ativa = Column(p, "ATIVA"),
                   obs = Column(p, "TXOBSLIBINCO"), br = Column(p, "CDFILIAL");
        for (std::size_t i = 0; i < ped.size(); ++i) {
            auto* it = rq.add_itens();
            it->set_cd_filial(br[i]);
            it->set_nr_pedido(ped[i]);
            it->set_nr_incons_ped(inc[i]);
            it->set_ativa(ativa[i]);
            it->set_tx_obs_lib_inco(obs[i] == "<null>" ? "" : obs[i]);
        }
    }

    void GrantHistory(const std::string& op, const std::string& branch)
    {
        auto c = OpenConnection(db_->url());
        zel::server::GrantHistory(*c, op, branch);
    }

    std::int64_t now_ = Day(5, 14, 30);
    std::unique_ptr<Zel08200::rdmSupervisao::Stub> sup_;
};

TEST_P(SupervisaoTest, RightsOfTheOperatorPerBranch)
{
    auto direitos = [&](const std::string& token, const std::string& branch) {
        Zel08200::GetDireitosRequest rq;
        rq.set_cd_filial(branch);
        auto r = Unary(&Zel08200::rdmSupervisao::Stub::GetDireitos, token, rq);
        EXPECT_TRUE(r.has_data()) << r.error().message();
        return Column(r.data(), "VERHIST")[0] + Column(r.data(), "LIBERA")[0];
    };
    const std::string ana = LoginAs("0001"), joao = LoginAs("0009");
    EXPECT_EQ(direitos(ana, "0001"), "NS");
    EXPECT_EQ(direitos(ana, "0002"), "NN");
    EXPECT_EQ(direitos(joao, "0001"), "NN");
    GrantHistory("0009", "0002");
    EXPECT_EQ(direitos(joao, "0002"), "SN");
    EXPECT_EQ(direitos(joao, "0001"), "NN");

    // The history is refused without the right, and the right of one branch
    // opens no other.
    Zel08200::GetHistoricoRequest h;
    h.set_cd_filial("0001");
    auto refused = Historico(joao, h);
    ASSERT_TRUE(refused.result().has_error());
    EXPECT_EQ(refused.result().error().code(), kErrForbidden);
    h.set_cd_filial("0002");
    EXPECT_TRUE(Historico(joao, h).result().has_data());

    // The session is required.
    grpc::ClientContext ctx;
    zel::data::Result out;
    Zel08200::GetDireitosRequest rq;
    rq.set_cd_filial("0001");
    EXPECT_EQ(sup_->GetDireitos(&ctx, rq, &out).error_code(), grpc::StatusCode::UNAUTHENTICATED);
}

TEST_P(SupervisaoTest, BatchGivesEachRowItsOutcome)
{
    const std::string ana = LoginAs("0001"), carlos = LoginAs("0002");
    Zel08200::GetPendentesRequest prq;
    prq.set_cd_filial("0001");
    auto pend = Pendentes(ana, prq);
    ASSERT_TRUE(pend.has_data()) << pend.error().message();
    EXPECT_EQ(Column(pend.data(), "NRPEDIDO"),
              (std::vector<std::string>{"0000000001", "0000000001", "0000000002", "0000000010"}));
    EXPECT_EQ(Column(pend.data(), "NRINCONSPED"), (std::vector<std::string>{"001", "002", "001", "001"}));
    EXPECT_EQ(Column(pend.data(), "NMCONSPEDIDO")[1], "Preço abaixo da tabela");
    EXPECT_EQ(Column(pend.data(), "CDPRODUTO")[1], "000001");

    Zel08200::LiberaLoteRequest rq;
    rq.set_cd_filial("0001");
    rq.set_tx_obs("Falso alarme da análise de crédito.");
    AddItems(rq, pend.data());

    // Meanwhile, through the review screen's calls: Carlos releases order
    // 2's row and marks order 10's.
    now_ = Day(5, 14, 0);
    auto inc2 = IncPeds(carlos, "0001", "0000000002");
    auto sent = SetIncPed(
        carlos, Modify(inc2.data(), 0, {{"DTLIBEINCONS", DateValue(Day(5, 13))}, {"CDOPERLIBE", TextValue("0002")}}));
    ASSERT_TRUE(sent.has_data()) << sent.error().message();
    auto inc10 = IncPeds(carlos, "0001", "0000000010");
    ASSERT_TRUE(SetIncPed(carlos, Modify(inc10.data(), 0, {{"ATIVA", TextValue("S")}})).has_data());
    // A row of branch 0002, where Ana has no release group, and one that
    // does not exist.
    *rq.add_itens() = Item("0002", "0000000001", "001");
    *rq.add_itens() = Item("0001", "0000000001", "009");

    now_ = Day(5, 15, 45);
    Batch b = Libera(ana, rq);
    ASSERT_FALSE(b.error) << b.error->message();
    ASSERT_EQ(b.outcomes.size(), 6u);
    std::vector<int> kinds;
    for (const Outcome& o : b.outcomes)
        kinds.push_back(o.situacao());
    EXPECT_EQ(kinds, (std::vector<int>{Outcome::LIBERADA, Outcome::LIBERADA, Outcome::JA_LIBERADA, Outcome::ALTERADA,
                                       Outcome::SEM_DIREITO, Outcome::INEXISTENTE}));
    EXPECT_EQ(b.outcomes[0].cd_oper_libe(), "0001");
    EXPECT_EQ(b.outcomes[0].dt_libe_incons(), Day(5, 15, 45));
    // Already released: by whom and when, as stored.
    EXPECT_EQ(b.outcomes[2].cd_oper_libe(), "0002");
    EXPECT_EQ(b.outcomes[2].dt_libe_incons(), Day(5, 13));

    // The released rows carry the batch's stamp and note, each with its one
    // history row; the refused ones are as they were.
    auto c = OpenConnection(db_->url());
    auto rows = c->query("SELECT NRPEDIDO, NRINCONSPED, CDOPERLIBE, DTLIBEINCONS, TXOBSLIBINCO, ATIVA FROM INCONSPED "
                         "WHERE CDFILIAL = '0001' AND NRPEDIDO IN ('0000000001', '0000000002', '0000000010') "
                         "AND NRINCONSPED IN ('001', '002') ORDER BY NRPEDIDO, NRINCONSPED");
    ASSERT_EQ(rows.size(), 4u);
    for (int r : {0, 1}) {
        EXPECT_EQ(rows.text(std::size_t(r), 2), "0001");
        EXPECT_EQ(rows.i64(std::size_t(r), 3), Day(5, 15, 45));
        EXPECT_EQ(rows.text(std::size_t(r), 4), "Falso alarme da análise de crédito.");
    }
    EXPECT_EQ(rows.text(2, 2), "0002");
    EXPECT_TRUE(rows.isNull(3, 3));
    EXPECT_EQ(rows.text(3, 5), "S");
    auto hist = c->query("SELECT NRPEDIDO, NRINCONSPED, CDOPERLIBE, DTLIBEINCONS, TXOBSLIBINCO FROM HISTLIBINC "
                         "WHERE CDOPERLIBE = '0001' ORDER BY NRPEDIDO, NRINCONSPED");
    ASSERT_EQ(hist.size(), 2u);
    EXPECT_EQ(hist.text(1, 1), "002");
    EXPECT_EQ(hist.i64(1, 3), Day(5, 15, 45));
    EXPECT_EQ(hist.text(1, 4), "Falso alarme da análise de crédito.");
    EXPECT_EQ(Count(db_->url(), "SELECT COUNT(*) FROM INCONSPED WHERE CDFILIAL = '0002' AND DTLIBEINCONS IS NULL"), 1);

    // The same batch again: every row already released or refused as before.
    Batch again = Libera(ana, rq);
    ASSERT_EQ(again.outcomes.size(), 6u);
    EXPECT_EQ(again.outcomes[0].situacao(), Outcome::JA_LIBERADA);
    EXPECT_EQ(again.outcomes[0].dt_libe_incons(), Day(5, 15, 45));
    EXPECT_EQ(Count(db_->url(), "SELECT COUNT(*) FROM HISTLIBINC"), 3);
}

TEST_P(SupervisaoTest, MalformedBatchesAreRefusedWhole)
{
    const std::string ana = LoginAs("0001");
    auto valid = [] {
        Zel08200::LiberaLoteRequest rq;
        rq.set_cd_filial("0001");
        *rq.add_itens() = Item("", "0000000001", "001");
        *rq.add_itens() = Item("", "0000000002", "001");
        return rq;
    };
    std::vector<std::pair<std::string, Zel08200::LiberaLoteRequest>> cases;
    auto add = [&](const std::string& what, auto change) {
        auto rq = valid();
        change(rq);
        cases.emplace_back(what, rq);
    };
    add("empty", [](auto& rq) { rq.clear_itens(); });
    add("twice", [](auto& rq) { *rq.add_itens() = Item("0001", "0000000001", "001"); });
    add("number", [](auto& rq) { rq.mutable_itens(1)->set_nr_incons_ped("1"); });
    add("number letters", [](auto& rq) { rq.mutable_itens(1)->set_nr_incons_ped("0a1"); });
    add("order", [](auto& rq) { rq.mutable_itens(1)->set_nr_pedido("00000000001"); });
    add("mark", [](auto& rq) { rq.mutable_itens(1)->set_ativa("X"); });
    add("branch", [](auto& rq) { rq.set_cd_filial(""); });
    add("row branch", [](auto& rq) { rq.mutable_itens(1)->set_cd_filial("00001"); });
    add("note", [](auto& rq) { rq.set_tx_obs(std::string(2001, 'a')); });
    add("note control", [](auto& rq) { rq.set_tx_obs("a\x01"); });
    add("over the limit", [](auto& rq) {
        for (int i = 0; i < 10'000; ++i)
            *rq.add_itens() = Item("0001", OrderNo(900000 + i), "001");
    });
    for (const auto& [what, rq] : cases) {
        Batch b = Libera(ana, rq);
        ASSERT_TRUE(b.error) << what;
        EXPECT_EQ(b.error->code(), kErrInvalid) << what;
        EXPECT_FALSE(b.error->message().empty()) << what;
        EXPECT_TRUE(b.outcomes.empty()) << what;
        EXPECT_EQ(b.replies, 1) << what;
    }
    EXPECT_EQ(Count(db_->url(), "SELECT COUNT(*) FROM HISTLIBINC"), 0);
    EXPECT_EQ(Count(db_->url(), "SELECT COUNT(*) FROM INCONSPED WHERE DTLIBEINCONS IS NULL"), 5);
    // The valid batch is taken.
    Batch ok = Libera(ana, valid());
    ASSERT_EQ(ok.outcomes.size(), 2u);
    EXPECT_EQ(ok.outcomes[1].situacao(), Outcome::LIBERADA);

    // Criteria of the queries.
    Zel08200::GetPendentesRequest p;
    p.set_cd_filial("0001");
    p.add_cd_cons_pedido("0001");
    EXPECT_EQ(Pendentes(ana, p).error().code(), kErrInvalid);
    p.clear_cd_cons_pedido();
    p.set_dt_pedido_de(Day(3));
    p.set_dt_pedido_ate(Day(2));
    EXPECT_EQ(Pendentes(ana, p).error().code(), kErrInvalid);
    GrantHistory("0001", "0001");
    for (const char* cursor : {"x", "1:", ":1", "1:2:3", "12"}) {
        Zel08200::GetHistoricoRequest h;
        h.set_cd_filial("0001");
        h.set_cursor(cursor);
        EXPECT_EQ(Historico(ana, h).result().error().code(), kErrInvalid) << cursor;
    }
}

TEST_P(SupervisaoTest, FiveThousandRowsAndTheirHistoryPageByPage)
{
    AddPending(db_->url(), 5000);
    GrantHistory("0001", "0001");
    const std::string ana = LoginAs("0001");
    Zel08200::GetPendentesRequest prq;
    prq.set_cd_filial("0001");
    prq.set_dt_pedido_de(Day(4));
    prq.set_dt_pedido_ate(Day(4));
    prq.add_cd_cons_pedido("001");
    prq.add_cd_cons_pedido("005");
    auto pend = Pendentes(ana, prq);
    ASSERT_TRUE(pend.has_data());
    ASSERT_EQ(pend.data().row_count(), 5000u);
    Zel08200::LiberaLoteRequest rq;
    rq.set_cd_filial("0001");
    rq.set_tx_obs("Lote");
    AddItems(rq, pend.data());
    // Two releases a millisecond apart share nothing but may share a time:
    // the clock advances every other row.
    std::int64_t tick = 0;
    server_->supervisao().clock = [&] { return zel::TDateTime::fromMSecs(Day(6, 8) + (tick++ / 2)); };
    Batch b = Libera(ana, rq);
    ASSERT_FALSE(b.error);
    ASSERT_EQ(b.outcomes.size(), 5000u);
    EXPECT_GE(b.replies, 5000 / Supervisao::kChunk);
    for (const Outcome& o : b.outcomes)
        ASSERT_EQ(o.situacao(), Outcome::LIBERADA);
    EXPECT_EQ(Count(db_->url(), "SELECT COUNT(*) FROM HISTLIBINC WHERE CDOPERLIBE = '0001' AND TXOBSLIBINCO = 'Lote'"),
              5000);
    EXPECT_EQ(Pendentes(ana, prq).data().row_count(), 0u);

    // The history of day 6, 700 rows a page: every release once, in order.
    Zel08200::GetHistoricoRequest h;
    h.set_cd_filial("0001");
    h.set_dt_de(Day(6));
    h.set_dt_ate(Day(6));
    h.set_limite(700);
    std::set<std::string> seen;
    std::int64_t last = 0;
    int pages = 0;
    do {
        auto page = Historico(ana, h);
        ASSERT_TRUE(page.result().has_data()) << page.result().error().message();
        ++pages;
        const auto& d = page.result().data();
        EXPECT_LE(d.row_count(), 700u);
        const auto ped = Column(d, "NRPEDIDO"), inc = Column(d, "NRINCONSPED");
        const int dt = FieldIndex(d, "DTLIBEINCONS");
        for (std::size_t i = 0; i < ped.size(); ++i) {
            EXPECT_TRUE(seen.insert(ped[i] + "/" + inc[i]).second) << ped[i] << "/" << inc[i];
            const std::int64_t t = d.columns(dt).integers(int(i));
            EXPECT_GE(t, last);
            last = t;
        }
        h.set_cursor(page.cursor());
    } while (!h.cursor().empty() && pages < 20);
    EXPECT_EQ(pages, 8);
    EXPECT_EQ(seen.size(), 5000u);
}

TEST_P(SupervisaoTest, HistoryFilters)
{
    GrantHistory("0002", "0001");
    const std::string ana = LoginAs("0001"), carlos = LoginAs("0002");
    auto release = [&](const std::string& token, std::int64_t at, const std::string& ped, const std::string& inc) {
        now_ = at;
        Zel08200::LiberaLoteRequest rq;
        rq.set_cd_filial("0001");
        rq.set_tx_obs("nota " + ped);
        *rq.add_itens() = Item("0001", ped, inc);
        Batch b = Libera(token, rq);
        ASSERT_EQ(b.outcomes.size(), 1u);
        ASSERT_EQ(b.outcomes[0].situacao(), Outcome::LIBERADA);
    };
    release(ana, Day(3, 23, 59, 59, 999), "0000000001", "001"); // code 001
    release(carlos, Day(4, 0, 0), "0000000001", "002");         // code 005, item 001
    release(carlos, Day(4, 18), "0000000002", "001");           // code 001
    release(ana, Day(5, 7), "0000000010", "001");               // code 001

    auto rows = [&](auto change) {
        Zel08200::GetHistoricoRequest h;
        h.set_cd_filial("0001");
        change(h);
        auto r = Historico(carlos, h);
        EXPECT_TRUE(r.result().has_data()) << r.result().error().message();
        EXPECT_TRUE(r.cursor().empty());
        std::string s;
        const auto ped = Column(r.result().data(), "NRPEDIDO"), op = Column(r.result().data(), "CDOPERLIBE");
        for (std::size_t i = 0; i < ped.size(); ++i)
            s += ped[i].substr(8) + op[i] + " ";
        return s;
    };
    EXPECT_EQ(rows([](auto&) {}), "010001 010002 020002 100001 ");
    // Days count whole: day 4 is from its 00:00 to its end.
    EXPECT_EQ(rows([](auto& h) {
                  h.set_dt_de(Day(4, 12));
                  h.set_dt_ate(Day(4, 1));
              }),
              "010002 020002 ");
    EXPECT_EQ(rows([](auto& h) { h.set_dt_de(Day(4)); }), "010002 020002 100001 ");
    EXPECT_EQ(rows([](auto& h) { h.set_dt_ate(Day(3)); }), "010001 ");
    EXPECT_EQ(rows([](auto& h) { h.set_cd_operador("0002"); }), "010002 020002 ");
    EXPECT_EQ(rows([](auto& h) { h.set_nr_pedido("1"); }), "010001 010002 ");
    EXPECT_EQ(rows([](auto& h) { h.set_cd_cons_pedido("005"); }), "010002 ");
    EXPECT_EQ(rows([](auto& h) {
                  h.set_cd_cons_pedido("001");
                  h.set_cd_operador("0001");
                  h.set_dt_de(Day(5));
              }),
              "100001 ");
    // The row's details: code, description, item, product, operator's name,
    // note.
    Zel08200::GetHistoricoRequest h;
    h.set_cd_filial("0001");
    h.set_cd_cons_pedido("005");
    auto r = Historico(carlos, h).result().data();
    EXPECT_EQ(Column(r, "NMCONSPEDIDO")[0], "Preço abaixo da tabela");
    EXPECT_EQ(Column(r, "NRITEMPED")[0], "001");
    EXPECT_EQ(Column(r, "NMPRODUTO")[0], "Cimento CP II 50 kg");
    EXPECT_EQ(Column(r, "NMOPERADOR")[0], "Carlos Eduardo Souza");
    EXPECT_EQ(Column(r, "TXOBSLIBINCO")[0], "nota 0000000001");
    EXPECT_EQ(r.columns(FieldIndex(r, "DTLIBEINCONS")).integers(0), Day(4));
    // Paging at one row: four pages, the last without a cursor.
    h.clear_cd_cons_pedido();
    h.set_limite(1);
    int pages = 0;
    std::string order;
    do {
        auto page = Historico(carlos, h);
        ++pages;
        order += Column(page.result().data(), "NRPEDIDO")[0].substr(8) + " ";
        h.set_cursor(page.cursor());
    } while (!h.cursor().empty() && pages < 10);
    EXPECT_EQ(pages, 4);
    EXPECT_EQ(order, "01 01 02 10 ");
}

TEST_P(SupervisaoTest, ADatabaseFailureMidBatchEndsItWithTheOutcomesDone)
{
    AddPending(db_->url(), 600);
    const std::string ana = LoginAs("0001");
    Zel08200::LiberaLoteRequest rq;
    rq.set_cd_filial("0001");
    for (int i = 0; i < 600; ++i)
        *rq.add_itens() = Item("0001", OrderNo(100000 + i / 2), i % 2 ? "002" : "001");
    // The database goes away before row 450.
    server_->supervisao().beforeRow = [](std::size_t row) {
        if (row == 450) throw DbError(DbError::Kind::Unavailable, "connection lost");
    };
    Batch b = Libera(ana, rq);
    server_->supervisao().beforeRow = nullptr;
    ASSERT_EQ(b.outcomes.size(), 450u);
    for (const Outcome& o : b.outcomes)
        EXPECT_EQ(o.situacao(), Outcome::LIBERADA);
    ASSERT_TRUE(b.error);
    EXPECT_EQ(b.error->code(), kErrUnavailable);
    EXPECT_EQ(Count(db_->url(), "SELECT COUNT(*) FROM HISTLIBINC"), 450);
    EXPECT_EQ(Count(db_->url(), "SELECT COUNT(*) FROM INCONSPED WHERE NRPEDIDO >= '0000100225' AND DTLIBEINCONS IS "
                                "NOT NULL"),
              0);
}

ZEL_INSTANTIATE(SupervisaoTest);

// A zel-server process killed (SIGKILL) in the middle of a batch of 10 000
// rows: every row of the batch is released with exactly one history row of
// the same stamp, or untouched; every row whose outcome arrived is released.
class SupervisaoKillTest : public ::testing::TestWithParam<Backend> {};

TEST_P(SupervisaoKillTest, ServerKilledMidBatch)
{
    TestDatabase db(GetParam());
    if (!db.available()) GTEST_SKIP() << "ZEL_TEST_PG_URL is not set: no PostgreSQL to test on";
    LoadFixture(db.url());
    constexpr int kRows = 10'000;
    AddPending(db.url(), kRows);

    zel::test::ChildProcess server;
    std::string error;
    ASSERT_TRUE(server.Start({ZEL_SERVER_BIN, "serve", "--db", db.url(), "--listen", "127.0.0.1:0"}, error)) << error;
    std::string line;
    for (int i = 0; i < 20 && line.rfind("listening on ", 0) != 0; ++i)
        line = server.ReadLine(std::chrono::seconds(30));
    ASSERT_EQ(line.rfind("listening on ", 0), 0u) << line;
    auto channel = grpc::CreateChannel(line.substr(13), grpc::InsecureChannelCredentials());
    auto login = zel::login::Login::NewStub(channel);
    std::string token;
    {
        grpc::ClientContext ctx;
        zel::login::LoginRequest rq;
        rq.set_operador("0001");
        rq.set_senha("demo");
        zel::login::LoginReply out;
        ASSERT_TRUE(login->Entrar(&ctx, rq, &out).ok());
        token = out.session().token();
    }
    Zel08200::LiberaLoteRequest rq;
    rq.set_cd_filial("0001");
    for (int i = 0; i < kRows; ++i)
        *rq.add_itens() = Item("0001", OrderNo(100000 + i / 2), i % 2 ? "002" : "001");

    auto sup = Zel08200::rdmSupervisao::NewStub(channel);
    grpc::ClientContext ctx;
    ctx.AddMetadata("zel-session", token);
    auto reader = sup->LiberaLote(&ctx, rq);
    std::set<std::string> told;
    Zel08200::LiberaLoteReply r;
    ASSERT_TRUE(reader->Read(&r));
    server.Signal(SIGKILL);
    do {
        for (int i = 0; i < r.outcomes_size(); ++i) {
            EXPECT_EQ(r.outcomes(i).situacao(), Outcome::LIBERADA);
            const auto& it = rq.itens(int(r.inicio()) + i);
            told.insert(it.nr_pedido() + it.nr_incons_ped());
        }
    } while (reader->Read(&r));
    EXPECT_FALSE(reader->Finish().ok());
    EXPECT_EQ(server.Wait(std::chrono::seconds(10)), 128 + SIGKILL);

    auto c = OpenConnection(db.url());
    auto rows = c->query("SELECT N.NRPEDIDO, N.NRINCONSPED, N.DTLIBEINCONS, N.CDOPERLIBE, "
                         "(SELECT COUNT(*) FROM HISTLIBINC H WHERE H.CDFILIAL = N.CDFILIAL AND H.NRPEDIDO = N.NRPEDIDO "
                         "AND H.NRINCONSPED = N.NRINCONSPED), "
                         "(SELECT COUNT(*) FROM HISTLIBINC H WHERE H.CDFILIAL = N.CDFILIAL AND H.NRPEDIDO = N.NRPEDIDO "
                         "AND H.NRINCONSPED = N.NRINCONSPED AND H.DTLIBEINCONS = N.DTLIBEINCONS "
                         "AND H.CDOPERLIBE = N.CDOPERLIBE) "
                         "FROM INCONSPED N WHERE N.CDFILIAL = '0001' AND N.NRPEDIDO >= '0000100000'");
    ASSERT_EQ(rows.size(), std::size_t(kRows));
    std::size_t released = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string key = rows.text(i, 0) + rows.text(i, 1);
        if (rows.isNull(i, 2)) {
            EXPECT_EQ(rows.i64(i, 4), 0) << key;
            EXPECT_FALSE(told.count(key)) << key;
        } else {
            ++released;
            EXPECT_EQ(rows.text(i, 3), "0001") << key;
            EXPECT_EQ(rows.i64(i, 4), 1) << key;
            EXPECT_EQ(rows.i64(i, 5), 1) << key;
        }
    }
    EXPECT_GE(released, told.size());
    EXPECT_GT(told.size(), 0u);
    // The kill came in the middle: some rows were never begun.
    EXPECT_LT(released, std::size_t(kRows));
}

ZEL_INSTANTIATE(SupervisaoKillTest);

// The demo data through the real server process: the supervisor of the seed
// reads the history, releases every pending inconsistency of code 001 of a
// branch in one batch and finds each release in the history.
TEST(SupervisaoProcessTest, SupervisorReleasesAcrossOrdersAndFindsThemInTheHistory)
{
    ZEL_SKIP_WITHOUT_SERVER();
    zel::test::ServerProcess server;
    ASSERT_TRUE(zel::test::Started(server));
    auto channel = grpc::CreateChannel(server.address().toStdString(), grpc::InsecureChannelCredentials());
    auto login = zel::login::Login::NewStub(channel);
    grpc::ClientContext lctx;
    zel::login::LoginRequest lrq;
    lrq.set_operador("0010");
    lrq.set_senha("demo");
    zel::login::LoginReply session;
    ASSERT_TRUE(login->Entrar(&lctx, lrq, &session).ok());
    ASSERT_TRUE(session.has_session()) << session.error().message();
    auto sup = Zel08200::rdmSupervisao::NewStub(channel);
    auto context = [&](grpc::ClientContext& ctx) { ctx.AddMetadata("zel-session", session.session().token()); };

    {
        grpc::ClientContext ctx;
        context(ctx);
        Zel08200::GetDireitosRequest rq;
        rq.set_cd_filial("0002");
        zel::data::Result out;
        ASSERT_TRUE(sup->GetDireitos(&ctx, rq, &out).ok());
        EXPECT_EQ(Column(out.data(), "VERHIST")[0], "S");
        EXPECT_EQ(Column(out.data(), "LIBERA")[0], "S");
    }
    auto history = [&]() {
        std::size_t n = 0;
        Zel08200::GetHistoricoRequest rq;
        rq.set_cd_filial("0002");
        rq.set_cd_operador("0010");
        do {
            grpc::ClientContext ctx;
            context(ctx);
            Zel08200::GetHistoricoReply out;
            EXPECT_TRUE(sup->GetHistorico(&ctx, rq, &out).ok());
            EXPECT_TRUE(out.result().has_data()) << out.result().error().message();
            n += out.result().data().row_count();
            rq.set_cursor(out.cursor());
        } while (!rq.cursor().empty());
        return n;
    };
    {
        // The seeded history is not empty.
        grpc::ClientContext ctx;
        context(ctx);
        Zel08200::GetHistoricoRequest rq;
        rq.set_cd_filial("0002");
        Zel08200::GetHistoricoReply out;
        ASSERT_TRUE(sup->GetHistorico(&ctx, rq, &out).ok());
        EXPECT_GT(out.result().data().row_count(), 0u);
    }
    EXPECT_EQ(history(), 0u);

    zel::data::Result pend;
    {
        grpc::ClientContext ctx;
        context(ctx);
        Zel08200::GetPendentesRequest rq;
        rq.set_cd_filial("0002");
        rq.add_cd_cons_pedido("001");
        ASSERT_TRUE(sup->GetPendentes(&ctx, rq, &pend).ok());
        ASSERT_TRUE(pend.has_data()) << pend.error().message();
    }
    const auto ped = Column(pend.data(), "NRPEDIDO");
    ASSERT_GT(ped.size(), 1u);
    EXPECT_GT(std::set<std::string>(ped.begin(), ped.end()).size(), 1u);
    Zel08200::LiberaLoteRequest rq;
    rq.set_cd_filial("0002");
    rq.set_tx_obs("Análise de crédito refeita.");
    const auto inc = Column(pend.data(), "NRINCONSPED"), ativa = Column(pend.data(), "ATIVA"),
               obs = Column(pend.data(), "TXOBSLIBINCO");
    for (std::size_t i = 0; i < ped.size(); ++i) {
        auto* it = rq.add_itens();
        it->set_nr_pedido(ped[i]);
        it->set_nr_incons_ped(inc[i]);
        it->set_ativa(ativa[i]);
        it->set_tx_obs_lib_inco(obs[i] == "<null>" ? "" : obs[i]);
    }
    grpc::ClientContext ctx;
    context(ctx);
    auto reader = sup->LiberaLote(&ctx, rq);
    Zel08200::LiberaLoteReply r;
    std::size_t released = 0;
    while (reader->Read(&r))
        for (const auto& o : r.outcomes())
            released += o.situacao() == Outcome::LIBERADA && o.cd_oper_libe() == "0010";
    ASSERT_TRUE(reader->Finish().ok());
    EXPECT_EQ(released, ped.size());
    EXPECT_EQ(history(), ped.size());
}

} // namespace
} // namespace zel::server::test
