// The five fetches over the fixture of TestSupport.cpp, on both databases.
#include "platform/data/KeyList.h"
#include "platform/data/Packet.h"
#include "server/Packets.h"
#include "tests/server/TestSupport.h"

#include <functional>

namespace zel::server::test {
namespace {

using Strings = std::vector<std::string>;
using zel::data::FieldKind;

class QueriesTest : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (!IsSkipped()) token_ = LoginAs("0001");
    }

    Zel08100::GetPedidoRequest All(const std::string& branch = "0001")
    {
        Zel08100::GetPedidoRequest rq;
        rq.set_cd_filial(branch);
        rq.set_todos_pedidos("T");
        rq.set_todas_dt_pedido("T");
        rq.set_todas_dt_entrega("T");
        return rq;
    }

    Strings Orders(const Zel08100::GetPedidoRequest& rq)
    {
        auto r = Pedidos(token_, rq);
        EXPECT_TRUE(r.has_data()) << r.error().message();
        return Column(r.data(), "NRPEDIDO");
    }

    std::string Error(const Zel08100::GetPedidoRequest& rq)
    {
        auto r = Pedidos(token_, rq);
        EXPECT_TRUE(r.has_error());
        EXPECT_FALSE(r.error().message().empty());
        return r.error().message();
    }

    std::string token_;
};

void ExpectFields(const zel::data::DataPacket& p, const std::vector<FieldSpec>& expected)
{
    ASSERT_EQ(p.fields_size(), int(expected.size()));
    for (int i = 0; i < p.fields_size(); ++i) {
        EXPECT_EQ(p.fields(i).name(), expected[std::size_t(i)].name);
        EXPECT_EQ(p.fields(i).kind(), expected[std::size_t(i)].kind) << expected[std::size_t(i)].name;
        EXPECT_EQ(p.fields(i).size(), expected[std::size_t(i)].size) << expected[std::size_t(i)].name;
    }
    ASSERT_EQ(p.columns_size(), p.fields_size());
    EXPECT_EQ(zel::PacketReader::Validate(p), QString()); // what the client checks before loading
}

TEST_P(QueriesTest, OrderListCarriesTheDatasetFieldsAndTheOrderValue)
{
    auto r = Pedidos(token_, All());
    ASSERT_TRUE(r.has_data());
    const auto& p = r.data();
    // Exactly the order list's fields, names, kinds and sizes, in order.
    const Strings names = {"IDSITPEDIDO", "NRPEDIDO",   "CDCLIENTE", "NMFANTCLIE", "DTPEDIDO",
                           "DTENTPED",    "CDVENDEDOR", "NMFANVEN",  "VRPEDIDO",   "CDFILIAL"};
    ASSERT_EQ(p.fields_size(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(p.fields(i).name(), names[std::size_t(i)]);
    EXPECT_EQ(p.fields(4).kind(), FieldKind::FIELD_DATETIME);
    EXPECT_EQ(p.fields(8).kind(), FieldKind::FIELD_FLOAT);
    EXPECT_EQ(p.fields(2).size(), 21);
    ExpectFields(p, Packets::Pedido);

    EXPECT_EQ(Column(p, "NRPEDIDO"), (Strings{"0000000001", "0000000002", "0000000010"}));
    EXPECT_DOUBLE_EQ(Cell(p, 0, "VRPEDIDO").float_value(), 2 * 10.25 + 1234.5);
    EXPECT_DOUBLE_EQ(Cell(p, 1, "VRPEDIDO").float_value(), 0.3); // 3 x 0.10, rounded to cents
    EXPECT_EQ(Cell(p, 0, "DTPEDIDO").datetime_ms(), Day(1, 10, 30));
    EXPECT_EQ(Cell(p, 0, "NMFANTCLIE").text(), "Mercado Boa Vista");
    EXPECT_EQ(Cell(p, 0, "NMFANVEN").text(), "Rafael Gomes");
    EXPECT_EQ(Cell(p, 0, "CDFILIAL").text(), "0001");
    // An order without a delivery date sends null, not the zero date.
    EXPECT_EQ(Cell(p, 1, "DTENTPED").v_case(), zel::data::Value::V_NOT_SET);
    EXPECT_EQ(Cell(p, 1, "IDSITPEDIDO").text(), "5");
}

TEST_P(QueriesTest, OrderNumberCriteria)
{
    auto interval = [&](const std::string& de, const std::string& ate) {
        auto rq = All();
        rq.clear_todos_pedidos();
        rq.set_nr_pedido_de(de);
        rq.set_nr_pedido_ate(ate);
        return rq;
    };
    auto list = [&](const std::string& l) {
        auto rq = All();
        rq.clear_todos_pedidos();
        rq.set_lista_pedido(l);
        return rq;
    };
    EXPECT_EQ(Orders(interval("0000000002", "0000000010")), (Strings{"0000000002", "0000000010"}));
    EXPECT_EQ(Orders(interval("0000000002", "0000000002")), (Strings{"0000000002"}));
    EXPECT_EQ(Orders(interval("2", "10")), (Strings{"0000000002", "0000000010"})); // padded to ten digits
    EXPECT_EQ(Orders(interval("0000000005", "0000000009")), Strings{});
    // The pick list's own format, joined by the platform's helper.
    const auto picked = zel::KeyList::Join({QStringLiteral("0000000010"), QStringLiteral("0000000001")});
    EXPECT_EQ(Orders(list(picked.toStdString())), (Strings{"0000000001", "0000000010"}));
    EXPECT_EQ(Orders(list("0000000003")), Strings{}); // only released inconsistencies
    EXPECT_EQ(Orders(list("0000000001,0000000001")), (Strings{"0000000001"}));

    // A malformed list is an error, never "all orders".
    for (const char* bad : {" ", "0000000001,,0000000002", "0000000001,", "0000000001 ,0000000002",
                            "0000000001' OR '1'='1", "00000000001", ","})
        EXPECT_EQ(Error(list(bad)), "Lista de pedidos inválida.") << bad;

    EXPECT_EQ(Error(interval("0000000010", "0000000002")), "Intervalo inicial deve ser menor que o final.");
    EXPECT_EQ(Error(interval("", "0000000002")), "Intervalo inicial deve ser informado.");
    EXPECT_EQ(Error(interval("0000000002", "")), "Intervalo final deve ser informado.");

    auto both = list("0000000001");
    both.set_todos_pedidos("T");
    Error(both);
    auto none = All();
    none.clear_todos_pedidos();
    Error(none);
    auto badT = All();
    badT.set_todos_pedidos("X");
    Error(badT);
}

TEST_P(QueriesTest, A10000OrderListIsReadInChunks)
{
    QStringList keys;
    for (int i = 1; i <= 10000; ++i)
        keys << QString::number(i).rightJustified(10, QLatin1Char('0'));
    auto rq = All();
    rq.clear_todos_pedidos();
    rq.set_lista_pedido(zel::KeyList::Join(keys).toStdString());
    EXPECT_EQ(Orders(rq), (Strings{"0000000001", "0000000002", "0000000010"}));
}

TEST_P(QueriesTest, DateCriteriaAreInclusiveCalendarDays)
{
    auto orderDates = [&](std::int64_t de, std::int64_t ate) {
        auto rq = All();
        rq.clear_todas_dt_pedido();
        rq.mutable_dt_pedido_de()->set_ms(de);
        rq.mutable_dt_pedido_ate()->set_ms(ate);
        return rq;
    };
    auto delivery = [&](std::int64_t de, std::int64_t ate) {
        auto rq = All();
        rq.clear_todas_dt_entrega();
        rq.mutable_dt_entrega_de()->set_ms(de);
        rq.mutable_dt_entrega_ate()->set_ms(ate);
        return rq;
    };
    EXPECT_EQ(Orders(orderDates(Day(1), Day(1))), (Strings{"0000000001"}));
    // The last millisecond of a day belongs to it; a time in the criterion does not narrow it.
    EXPECT_EQ(Orders(orderDates(Day(2, 18), Day(2, 6))), (Strings{"0000000002"}));
    EXPECT_EQ(Orders(orderDates(Day(1), Day(3))), (Strings{"0000000001", "0000000002", "0000000010"}));
    EXPECT_EQ(Orders(orderDates(Day(4), Day(30))), Strings{});
    // An order without a delivery date is outside every delivery range.
    EXPECT_EQ(Orders(delivery(Day(6), Day(8))), (Strings{"0000000001", "0000000010"}));
    EXPECT_EQ(Orders(delivery(Day(7), Day(7))), Strings{});
    auto combined = orderDates(Day(1), Day(2));
    combined.set_nr_pedido_de("0000000002");
    combined.set_nr_pedido_ate("0000000010");
    combined.clear_todos_pedidos();
    EXPECT_EQ(Orders(combined), (Strings{"0000000002"}));

    // "T" means no restriction: the dates that come with it are ignored.
    auto ignored = All();
    ignored.mutable_dt_pedido_de()->set_ms(Day(30));
    ignored.mutable_dt_pedido_ate()->set_ms(Day(1));
    ignored.mutable_dt_entrega_de()->set_ms(0);
    EXPECT_EQ(Orders(ignored).size(), 3u);

    EXPECT_EQ(Error(orderDates(Day(2), Day(1))), "Data inicial deve ser menor que a final.");
    auto missing = All();
    missing.clear_todas_dt_pedido();
    Error(missing);
}

TEST_P(QueriesTest, BranchArgument)
{
    EXPECT_EQ(Orders(All("0002")), (Strings{"0000000001"}));
    EXPECT_EQ(Orders(All("0003")), Strings{});
    EXPECT_EQ(Error(All("")), "Filial deve ser informada.");
    Error(All("00001"));
}

TEST_P(QueriesTest, InconsistenciesOfAnOrderArePendingOnesInNumberOrder)
{
    auto r = IncPeds(token_, "0001", "0000000001");
    ASSERT_TRUE(r.has_data());
    const auto& p = r.data();
    ExpectFields(p, Packets::IncPed);
    EXPECT_EQ(p.fields(12).name(), "ATIVA");
    EXPECT_EQ(p.fields(12).kind(), FieldKind::FIELD_FIXED_TEXT);
    EXPECT_EQ(Column(p, "NRINCONSPED"), (Strings{"001", "002"})); // 003 is released
    EXPECT_EQ(Column(p, "ATIVA"), (Strings{"N", "N"}));
    EXPECT_EQ(Column(p, "CDCONSPEDIDO"), (Strings{"001", "005"}));
    EXPECT_EQ(Column(p, "NMCONSPEDIDO"), (Strings{"Limite de crédito excedido", "Preço abaixo da tabela"}));
    // An order-level inconsistency has no item nor product.
    EXPECT_EQ(Column(p, "NRITEMPED"), (Strings{"<null>", "001"}));
    EXPECT_EQ(Column(p, "CDPRODUTO"), (Strings{"<null>", "000001"}));
    EXPECT_EQ(Column(p, "NMPRODUTO"), (Strings{"<null>", "Cimento CP II 50 kg"}));
    EXPECT_EQ(Column(p, "DTLIBEINCONS"), (Strings{"<null>", "<null>"}));

    EXPECT_EQ(IncPeds(token_, "0001", "0000000003").data().row_count(), 0u);
    EXPECT_EQ(IncPeds(token_, "0001", "9999999999").data().row_count(), 0u);
    EXPECT_TRUE(IncPeds(token_, "0001", "").has_error());
    EXPECT_TRUE(IncPeds(token_, "0001", "00000000001").has_error());
}

TEST_P(QueriesTest, ItemOfAnInconsistency)
{
    auto item = [&](const std::string& nr, const std::string& it, const std::string& mark) {
        Zel08100::GetItemRequest rq;
        rq.set_cd_filial("0001");
        rq.set_nr_pedido(nr);
        rq.set_nr_item_ped(it);
        rq.set_ativa(mark);
        return Call(&Zel08100::rdmIncPed::Stub::GetItem, token_, rq);
    };
    auto r = item("0000000001", "002", "S");
    ASSERT_TRUE(r.has_data());
    ExpectFields(r.data(), Packets::ItemPedido);
    ASSERT_EQ(r.data().row_count(), 1u);
    EXPECT_EQ(Column(r.data(), "NRITEMPED"), (Strings{"002"}));
    EXPECT_EQ(Column(r.data(), "IDSITITEMPED"), (Strings{"1"}));
    EXPECT_EQ(item("0000000001", "002", "N").data().SerializeAsString(), r.data().SerializeAsString());
    // Without an item: an empty packet that still declares its fields.
    auto none = item("0000000001", "", "N");
    ASSERT_TRUE(none.has_data());
    EXPECT_EQ(none.data().row_count(), 0u);
    ExpectFields(none.data(), Packets::ItemPedido);
    EXPECT_EQ(item("0000000001", "999", "N").data().row_count(), 0u);
}

// The server's threads reuse the messages of their earlier calls: an answer
// depends on its request only, whatever the same thread answered before.
TEST_P(QueriesTest, AnAnswerCarriesNothingOfTheCallsBeforeIt)
{
    Zel08100::GetPedidoRequest list = All();
    list.clear_todos_pedidos();
    list.set_lista_pedido(
        zel::KeyList::Join({QStringLiteral("0000000010"), QStringLiteral("0000000001")}).toStdString());
    Zel08100::GetItemRequest withItem;
    withItem.set_cd_filial("0001");
    withItem.set_nr_pedido("0000000001");
    withItem.set_nr_item_ped("002");
    Zel08100::GetItemRequest withoutItem = withItem;
    withoutItem.clear_nr_item_ped();
    const std::vector<std::function<zel::data::Result()>> calls = {
        [&] { return IncPeds(token_, "0001", "0000000001"); }, // texts and nulls in 13 columns
        [&] { return Call(&Zel08100::rdmIncPed::Stub::GetItem, token_, withItem); },
        [&] { return IncPeds(token_, "0001", "9999999999"); }, // 13 columns, no row
        [&] { return Pedidos(token_, list); },
        [&] { return Pedidos(token_, All()); }, // the same request without the list
        [&] { return Call(&Zel08100::rdmIncPed::Stub::GetItem, token_, withoutItem); },
        [&] { return IncPeds(token_, "0001", ""); }, // an error
    };
    std::vector<std::string> first;
    for (const auto& c : calls)
        first.push_back(c().SerializeAsString());
    EXPECT_EQ(Column(Pedidos(token_, list).data(), "NRPEDIDO"), (Strings{"0000000001", "0000000010"}));
    EXPECT_GT(Pedidos(token_, All()).data().row_count(), 2u);
    // Every order of the calls, many times over, on the server's few threads.
    for (int round = 0; round < 12; ++round)
        for (std::size_t k = 0; k < calls.size(); ++k) {
            const std::size_t i = (k * 5 + std::size_t(round)) % calls.size();
            EXPECT_EQ(calls[i]().SerializeAsString(), first[i]) << "call " << i << " in round " << round;
        }
}

TEST_P(QueriesTest, ReleaseGroupsOnlyOfTheLoggedInOperator)
{
    auto groups = [&](const std::string& token, const std::string& branch, const std::string& op) {
        Zel08100::GetGrupOperRequest rq;
        rq.set_cd_filial(branch);
        rq.set_cd_operador(op);
        return Call(&Zel08100::rdmIncPed::Stub::GetGrupOper, token, rq);
    };
    auto r = groups(token_, "0001", "0001");
    ExpectFields(r.data(), Packets::GrupOper);
    EXPECT_EQ(Column(r.data(), "CDGROPLIBINC"), (Strings{"01", "02"}));
    EXPECT_EQ(groups(token_, "0002", "0001").data().row_count(), 0u);
    auto other = groups(token_, "0001", "0002");
    ASSERT_TRUE(other.has_error());
    EXPECT_EQ(other.error().code(), kErrForbidden);
    const auto t9 = LoginAs("0009");
    EXPECT_EQ(groups(t9, "0001", "0009").data().row_count(), 0u);
}

TEST_P(QueriesTest, OrderNumbersForThePickList)
{
    Zel08100::GetNrPedidoRequest rq;
    rq.set_cd_filial("0001");
    auto r = Call(&Zel08100::rdmIncPed::Stub::GetNrPedido, token_, rq);
    ASSERT_TRUE(r.has_data());
    ExpectFields(r.data(), Packets::NrPedido);
    EXPECT_EQ(Column(r.data(), "NRPEDIDO"), (Strings{"0000000001", "0000000002", "0000000010"}));
    EXPECT_EQ(Column(r.data(), "IDMARCADO"), (Strings{"N", "N", "N"}));
    rq.set_cd_filial("0003");
    EXPECT_EQ(Call(&Zel08100::rdmIncPed::Stub::GetNrPedido, token_, rq).data().row_count(), 0u);
}

ZEL_INSTANTIATE(QueriesTest);

} // namespace
} // namespace zel::server::test
