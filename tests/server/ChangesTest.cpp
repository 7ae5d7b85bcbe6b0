// Marks, notes and releases sent as change packets: rights, optimistic
// checks, atomicity and the release history, on both databases.
#include "server/Packets.h"
#include "tests/server/TestSupport.h"

#include <algorithm>
#include <thread>

namespace zel::server::test {
namespace {

using Strings = std::vector<std::string>;

class ChangesTest : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped()) return;
        server_->logic().clock = [] { return zel::TDateTime::fromMSecs(Day(5, 12)); };
        ana_ = LoginAs("0001");
        carlos_ = LoginAs("0002");
        joao_ = LoginAs("0009"); // no release group
    }

    zel::data::DataPacket Order1() { return IncPeds(ana_, "0001", "0000000001").data(); }

    std::string ErrorOf(const zel::data::Result& r)
    {
        EXPECT_TRUE(r.has_error()) << "expected an error result";
        return r.error().message();
    }

    DbRows Query(const std::string& sql)
    {
        auto c = OpenConnection(db_->url());
        return c->query(sql);
    }

    std::string ana_, carlos_, joao_;
};

TEST_P(ChangesTest, MarkingNeedsTheRightUnmarkingAndNotesDoNot)
{
    // No right: marking is refused and nothing changes.
    auto r = SetIncPed(joao_, Modify(Order1(), 0, {{"ATIVA", TextValue("S")}}));
    EXPECT_EQ(ErrorOf(r), "Operador não possui permissão para liberar inconsistências.");
    EXPECT_EQ(r.error().code(), kErrForbidden);
    EXPECT_EQ(Column(Order1(), "ATIVA"), (Strings{"N", "N"}));

    EXPECT_TRUE(SetIncPed(ana_, Modify(Order1(), 0, {{"ATIVA", TextValue("S")}})).has_data());
    EXPECT_EQ(Column(Order1(), "ATIVA"), (Strings{"S", "N"}));

    // Notes and unmarking need a login only.
    EXPECT_TRUE(
        SetIncPed(joao_, Modify(Order1(), 0, {{"TXOBSLIBINCO", TextValue("Cliente ligou às 10h.\nOk.")}})).has_data());
    EXPECT_TRUE(SetIncPed(joao_, Modify(Order1(), 0, {{"ATIVA", TextValue("N")}})).has_data());
    EXPECT_EQ(Column(Order1(), "ATIVA"), (Strings{"N", "N"}));
    EXPECT_EQ(Column(Order1(), "TXOBSLIBINCO")[0], "Cliente ligou às 10h.\nOk.");

    // The right is the row's branch's: Ana has no group in 0002.
    auto other = IncPeds(ana_, "0002", "0000000001").data();
    EXPECT_EQ(SetIncPed(ana_, Modify(other, 0, {{"ATIVA", TextValue("S")}})).error().code(), kErrForbidden);
    EXPECT_TRUE(SetIncPed(carlos_, Modify(other, 0, {{"ATIVA", TextValue("S")}})).has_data());

    // A mark is "S" or "N", nothing else.
    EXPECT_EQ(ErrorOf(SetIncPed(ana_, Modify(Order1(), 0, {{"ATIVA", TextValue("s")}}))),
              "Valor inválido para o campo ATIVA.");
}

TEST_P(ChangesTest, TheRightIsCheckedBeforeTheRowsAlsoForARowThatNoLongerExists)
{
    auto rows = Order1();
    ASSERT_EQ(Column(rows, "NRINCONSPED"), (Strings{"001", "002"}));
    OpenConnection(db_->url())
        ->exec("DELETE FROM INCONSPED WHERE CDFILIAL = '0001' AND NRPEDIDO = '0000000001' AND NRINCONSPED = '002'");

    // Only the missing row: the right is asked of the database on its own.
    EXPECT_EQ(SetIncPed(joao_, Modify(rows, 1, {{"ATIVA", TextValue("S")}})).error().code(), kErrForbidden);
    EXPECT_EQ(SetIncPed(ana_, Modify(rows, 1, {{"ATIVA", TextValue("S")}})).error().code(), kErrNotFound);

    // A row that exists before the missing one: the right read with it
    // decides, and nothing is written when the second row is not found.
    auto both = Modify(rows, 0, {{"ATIVA", TextValue("S")}});
    AddModify(both, rows, 1, {{"ATIVA", TextValue("S")}});
    EXPECT_EQ(ErrorOf(SetIncPed(joao_, both)), "Operador não possui permissão para liberar inconsistências.");
    EXPECT_EQ(SetIncPed(ana_, both).error().code(), kErrNotFound);
    EXPECT_EQ(Column(Order1(), "ATIVA"), (Strings{"N"}));
}

TEST_P(ChangesTest, ReleaseIsStampedKeptInHistoryAndLeavesThePendingLists)
{
    ASSERT_TRUE(SetIncPed(ana_, Modify(Order1(), 1, {{"ATIVA", TextValue("S")}})).has_data());
    auto rows = Order1();
    auto r = SetIncPed(ana_, Modify(rows, 1,
                                    {{"DTLIBEINCONS", DateValue(Day(5, 11, 59, 30))},
                                     {"CDOPERLIBE", TextValue("0001")},
                                     {"TXOBSLIBINCO", TextValue("Preço negociado.")}}));
    ASSERT_TRUE(r.has_data()) << r.error().message();
    EXPECT_EQ(Column(Order1(), "NRINCONSPED"), (Strings{"001"}));

    DbRows h = Query("SELECT CDFILIAL, NRPEDIDO, NRINCONSPED, CDOPERLIBE, DTLIBEINCONS, DTREGISTRO, TXOBSLIBINCO "
                     "FROM HISTLIBINC WHERE NRPEDIDO = '0000000001'");
    ASSERT_EQ(h.size(), 1u);
    EXPECT_EQ(h.text(0, 2), "002");
    EXPECT_EQ(h.text(0, 3), "0001");
    EXPECT_EQ(h.i64(0, 4), Day(5, 11, 59, 30)); // the operator's stamp
    EXPECT_EQ(h.i64(0, 5), Day(5, 12));         // the server's clock
    EXPECT_EQ(h.text(0, 6), "Preço negociado.");

    // Releasing the last pending one takes the order off both lists.
    ASSERT_TRUE(SetIncPed(ana_, Modify(Order1(), 0,
                                       {{"ATIVA", TextValue("S")},
                                        {"DTLIBEINCONS", DateValue(Day(5, 12))},
                                        {"CDOPERLIBE", TextValue("0001")}}))
                    .has_data());
    Zel08100::GetNrPedidoRequest nr;
    nr.set_cd_filial("0001");
    EXPECT_EQ(Column(Call(&Zel08100::rdmIncPed::Stub::GetNrPedido, ana_, nr).data(), "NRPEDIDO"),
              (Strings{"0000000002", "0000000010"}));
    Zel08100::GetPedidoRequest all;
    all.set_cd_filial("0001");
    all.set_todos_pedidos("T");
    all.set_todas_dt_pedido("T");
    all.set_todas_dt_entrega("T");
    EXPECT_EQ(Column(Pedidos(ana_, all).data(), "NRPEDIDO"), (Strings{"0000000002", "0000000010"}));
    // Nothing is deleted: the released rows are still stored.
    EXPECT_EQ(Query("SELECT COUNT(*) FROM INCONSPED WHERE NRPEDIDO = '0000000001' AND CDFILIAL = '0001'").i64(0, 0), 3);
}

TEST_P(ChangesTest, ReleaseRules)
{
    const auto rows = Order1();
    const std::vector<std::pair<std::vector<FieldChange>, std::string>> cases = {
        {{{"DTLIBEINCONS", DateValue(Day(5))}, {"CDOPERLIBE", TextValue("0002")}},
         "A liberação deve ser feita em nome do operador da sessão."},
        {{{"DTLIBEINCONS", DateValue(Day(5))}}, "A liberação deve informar a data e o operador."},
        {{{"CDOPERLIBE", TextValue("0001")}}, "A liberação deve informar a data e o operador."},
        {{{"DTLIBEINCONS", DateValue(Day(5))}, {"CDOPERLIBE", TextValue("")}},
         "A liberação deve informar a data e o operador."},
    };
    for (const auto& [changes, message] : cases)
        EXPECT_EQ(ErrorOf(SetIncPed(ana_, Modify(rows, 0, changes))), message);
    EXPECT_EQ(ErrorOf(SetIncPed(
                  joao_, Modify(rows, 0, {{"DTLIBEINCONS", DateValue(Day(5))}, {"CDOPERLIBE", TextValue("0009")}}))),
              "Operador não possui permissão para liberar inconsistências.");
    EXPECT_EQ(Order1().SerializeAsString(), rows.SerializeAsString());
    EXPECT_EQ(Query("SELECT COUNT(*) FROM HISTLIBINC").i64(0, 0), 0);
}

TEST_P(ChangesTest, StaleOriginalsAreRefusedWithTheOperatorsReason)
{
    const auto seenByAna = Order1();
    const auto seenByCarlos = Order1();
    ASSERT_TRUE(SetIncPed(ana_, Modify(seenByAna, 0, {{"ATIVA", TextValue("S")}})).has_data());
    // Carlos still sees "N": his mark would overwrite Ana's change unseen.
    auto r = SetIncPed(carlos_, Modify(seenByCarlos, 0, {{"TXOBSLIBINCO", TextValue("Visto.")}}));
    EXPECT_EQ(ErrorOf(r), "Registro alterado por outro usuário.");
    EXPECT_EQ(r.error().code(), kErrConflict);

    ASSERT_TRUE(
        SetIncPed(carlos_, Modify(Order1(), 0,
                                  {{"DTLIBEINCONS", DateValue(Day(2, 10, 15, 42))}, {"CDOPERLIBE", TextValue("0002")}}))
            .has_data());
    EXPECT_EQ(ErrorOf(SetIncPed(ana_, Modify(seenByAna, 0, {{"ATIVA", TextValue("N")}}))),
              "Inconsistência já liberada por 0002 em 11/03/2026 10:15.");
    EXPECT_EQ(
        ErrorOf(SetIncPed(
            ana_, Modify(seenByAna, 0, {{"DTLIBEINCONS", DateValue(Day(5))}, {"CDOPERLIBE", TextValue("0001")}}))),
        "Inconsistência já liberada por 0002 em 11/03/2026 10:15.");
    // A send whose originals claim the released row pending yet carry its
    // mark and its operator as stored: a release is still final.
    auto crafted = Modify(seenByAna, 0, {{"TXOBSLIBINCO", TextValue("Depois da liberação.")}});
    auto* original = crafted.mutable_rows(0)->mutable_original();
    original->mutable_values(FieldIndex(seenByAna, "ATIVA"))->set_text("S");
    original->mutable_values(FieldIndex(seenByAna, "CDOPERLIBE"))->set_text("0002");
    EXPECT_EQ(ErrorOf(SetIncPed(ana_, crafted)), "Inconsistência já liberada por 0002 em 11/03/2026 10:15.");
    const DbRows released = Query("SELECT CDOPERLIBE, TXOBSLIBINCO FROM INCONSPED WHERE CDFILIAL = '0001' AND "
                                  "NRPEDIDO = '0000000001' AND NRINCONSPED = '001'");
    EXPECT_EQ(released.text(0, 0), "0002");
    EXPECT_TRUE(released.isNull(0, 1)) << released.text(0, 1);

    // A note written meanwhile: Carlos's mark, sent alone, would leave Ana's
    // note unseen; neither is changed.
    const auto beforeNote = Order1();
    ASSERT_TRUE(SetIncPed(ana_, Modify(Order1(), 0, {{"TXOBSLIBINCO", TextValue("Nota da Ana.")}})).has_data());
    EXPECT_EQ(ErrorOf(SetIncPed(carlos_, Modify(beforeNote, 0, {{"ATIVA", TextValue("S")}}))),
              "Registro alterado por outro usuário.");
    EXPECT_EQ(Column(Order1(), "TXOBSLIBINCO"), (Strings{"Nota da Ana."}));
    EXPECT_EQ(Column(Order1(), "ATIVA"), (Strings{"N"}));
}

TEST_P(ChangesTest, ANoteNeverWrittenAndAnEmptyNoteAreTheSameOriginal)
{
    const auto seen = Order1(); // no note: null
    Query("UPDATE INCONSPED SET TXOBSLIBINCO = '' WHERE CDFILIAL = '0001' AND NRPEDIDO = '0000000001'");
    EXPECT_TRUE(SetIncPed(ana_, Modify(seen, 0, {{"ATIVA", TextValue("S")}})).has_data());
    EXPECT_TRUE(SetIncPed(ana_, Modify(seen, 1, {{"TXOBSLIBINCO", TextValue("Conferido.")}})).has_data());
    EXPECT_EQ(Column(Order1(), "ATIVA"), (Strings{"S", "N"}));
    EXPECT_EQ(Column(Order1(), "TXOBSLIBINCO"), (Strings{"", "Conferido."}));
}

TEST_P(ChangesTest, APacketIsAppliedWhollyOrNotAtAll)
{
    const auto stale = Order1();
    ASSERT_TRUE(SetIncPed(ana_, Modify(Order1(), 1, {{"TXOBSLIBINCO", TextValue("Primeiro.")}})).has_data());
    zel::data::ChangePacket both;
    AddModify(both, stale, 0, {{"ATIVA", TextValue("S")}});
    AddModify(both, stale, 1, {{"ATIVA", TextValue("S")}}); // stale: its note changed meanwhile
    EXPECT_EQ(ErrorOf(SetIncPed(ana_, both)), "Registro alterado por outro usuário.");
    EXPECT_EQ(Column(Order1(), "ATIVA"), (Strings{"N", "N"}));

    zel::data::ChangePacket fresh;
    const auto now = Order1();
    AddModify(fresh, now, 0, {{"ATIVA", TextValue("S")}});
    AddModify(fresh, now, 1, {{"ATIVA", TextValue("S")}});
    EXPECT_TRUE(SetIncPed(ana_, fresh).has_data());
    EXPECT_EQ(Column(Order1(), "ATIVA"), (Strings{"S", "S"}));
}

TEST_P(ChangesTest, BadPacketsChangeNothing)
{
    const auto rows = Order1();
    auto withKind = [&](zel::data::ChangeKind k) {
        auto d = Modify(rows, 0, {});
        d.mutable_rows(0)->set_kind(k);
        return d;
    };
    auto renamed = Modify(rows, 0, {{"ATIVA", TextValue("S")}});
    renamed.mutable_fields(12)->set_name("ATIVO");
    auto rekinded = Modify(rows, 0, {{"ATIVA", TextValue("S")}});
    rekinded.mutable_fields(12)->set_kind(zel::data::FIELD_TEXT);
    auto wrongValue = Modify(rows, 0, {{"DTLIBEINCONS", TextValue("hoje")}, {"CDOPERLIBE", TextValue("0001")}});
    auto shortRow = Modify(rows, 0, {{"ATIVA", TextValue("S")}});
    shortRow.mutable_rows(0)->mutable_original()->mutable_values()->RemoveLast();
    auto noKey = Modify(rows, 0, {{"ATIVA", TextValue("S")}});
    noKey.mutable_rows(0)->mutable_original()->mutable_values(4)->clear_v();
    auto unknownKey = Modify(rows, 0, {{"ATIVA", TextValue("S")}});
    unknownKey.mutable_rows(0)->mutable_original()->mutable_values(4)->set_text("999");
    auto badIndex = Modify(rows, 0, {{"ATIVA", TextValue("S")}});
    badIndex.mutable_rows(0)->mutable_changes(0)->set_field(99);
    auto fieldTwice = Modify(rows, 0, {{"ATIVA", TextValue("S")}});
    *fieldTwice.add_fields() = fieldTwice.fields(12);
    auto rowTwice = Modify(rows, 0, {{"ATIVA", TextValue("S")}});
    AddModify(rowTwice, rows, 0, {{"TXOBSLIBINCO", TextValue("outra")}});

    const std::vector<std::pair<zel::data::ChangePacket, std::string>> cases = {
        {withKind(zel::data::CHANGE_INSERT), "Inclusão não permitida: Inconsistência não pode ser incluída por aqui."},
        {withKind(zel::data::CHANGE_DELETE), "Exclusão não permitida: Inconsistência não pode ser excluída."},
        {Modify(rows, 0, {{"CDCONSPEDIDO", TextValue("005")}}), "O campo CDCONSPEDIDO não pode ser alterado."},
        {Modify(rows, 0, {{"NRPEDIDO", TextValue("0000000002")}}), "O campo NRPEDIDO não pode ser alterado."},
        {Modify(rows, 0, {{"TXOBSLIBINCO", TextValue(std::string(2001, 'a'))}}),
         "O campo TXOBSLIBINCO excede o tamanho de 2000 caracteres."},
        {Modify(rows, 0, {{"TXOBSLIBINCO", TextValue(std::string("a\0b", 3))}}),
         "O campo TXOBSLIBINCO contém caracteres inválidos."},
        {renamed, "Campo desconhecido no pacote de alterações: ATIVO."},
        {rekinded, "O campo ATIVA tem tipo ou tamanho diferente do esperado."},
        {wrongValue, "O campo DTLIBEINCONS recebeu um valor de tipo incorreto."},
        {shortRow, "Os valores originais não correspondem aos campos do pacote."},
        {noKey, "O campo NRINCONSPED da chave não foi informado."},
        {unknownKey, "Inconsistência 999 do pedido 0000000001 não encontrada na filial 0001."},
        {badIndex, "Alteração de um campo inexistente."},
        {fieldTwice, "O campo ATIVA aparece mais de uma vez no pacote."},
        {rowTwice, "Inconsistência aparece mais de uma vez no pacote de alterações."},
    };
    for (const auto& [packet, message] : cases)
        EXPECT_EQ(ErrorOf(SetIncPed(ana_, packet)), message);
    EXPECT_EQ(Order1().SerializeAsString(), rows.SerializeAsString());

    // A note of exactly 2000 characters, accented ones counted as one, fits.
    std::string note;
    for (int i = 0; i < 1000; ++i)
        note += "çã";
    EXPECT_TRUE(SetIncPed(ana_, Modify(rows, 0, {{"TXOBSLIBINCO", TextValue(note)}})).has_data());
    EXPECT_EQ(Column(Order1(), "TXOBSLIBINCO")[0], note);
    // A packet without rows, or a row without changes, stores nothing and succeeds.
    auto noRows = Modify(rows, 0, {});
    noRows.clear_rows();
    EXPECT_TRUE(SetIncPed(ana_, noRows).has_data());
    EXPECT_TRUE(SetIncPed(ana_, Modify(Order1(), 1, {})).has_data());
    // A packet that declares no fields at all is not one of this list's.
    EXPECT_EQ(ErrorOf(SetIncPed(ana_, zel::data::ChangePacket())), "O pacote de alterações não traz o campo CDFILIAL.");
}

TEST_P(ChangesTest, FieldsAreKnownByTheirNamesInWhateverOrderTheyCome)
{
    // The same mark and note with the fields declared back to front.
    auto d = Modify(Order1(), 0, {{"ATIVA", TextValue("S")}, {"TXOBSLIBINCO", TextValue("Ao contrário.")}});
    const int n = d.fields_size();
    std::reverse(d.mutable_fields()->begin(), d.mutable_fields()->end());
    auto* values = d.mutable_rows(0)->mutable_original()->mutable_values();
    std::reverse(values->begin(), values->end());
    for (auto& c : *d.mutable_rows(0)->mutable_changes())
        c.set_field(n - 1 - c.field());
    EXPECT_TRUE(SetIncPed(ana_, d).has_data());
    EXPECT_EQ(Column(Order1(), "ATIVA"), (Strings{"S", "N"}));
    EXPECT_EQ(Column(Order1(), "TXOBSLIBINCO")[0], "Ao contrário.");
}

TEST_P(ChangesTest, OfTwoOperatorsReleasingAtOnceExactlyOneSucceeds)
{
    ASSERT_TRUE(SetIncPed(ana_, Modify(Order1(), 0, {{"ATIVA", TextValue("S")}})).has_data());
    const auto rows = Order1();
    constexpr int kThreads = 8;
    std::vector<zel::data::Result> results(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] {
            const bool ana = i % 2 == 0;
            results[std::size_t(i)] = SetIncPed(
                ana ? ana_ : carlos_,
                Modify(rows, 0,
                       {{"DTLIBEINCONS", DateValue(Day(5, 9, i))}, {"CDOPERLIBE", TextValue(ana ? "0001" : "0002")}}));
        });
    for (auto& t : threads)
        t.join();
    int ok = 0;
    for (const auto& r : results) {
        if (r.has_data())
            ++ok;
        else
            EXPECT_EQ(r.error().message().rfind("Inconsistência já liberada por 000", 0), 0u) << r.error().message();
    }
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(Query("SELECT COUNT(*) FROM HISTLIBINC").i64(0, 0), 1);
}

TEST_P(ChangesTest, ItemSituation)
{
    auto item = [&](const std::string& token) {
        Zel08100::GetItemRequest rq;
        rq.set_cd_filial("0001");
        rq.set_nr_pedido("0000000001");
        rq.set_nr_item_ped("001");
        return Call(&Zel08100::rdmIncPed::Stub::GetItem, token, rq).data();
    };
    const auto before = item(ana_);
    EXPECT_EQ(SetItem(joao_, Modify(before, 0, {{"IDSITITEMPED", TextValue("2")}})).error().code(), kErrForbidden);
    EXPECT_TRUE(SetItem(ana_, Modify(before, 0, {{"IDSITITEMPED", TextValue("2")}})).has_data());
    EXPECT_EQ(Column(item(ana_), "IDSITITEMPED"), (Strings{"2"}));
    EXPECT_EQ(ErrorOf(SetItem(carlos_, Modify(before, 0, {{"IDSITITEMPED", TextValue("3")}}))),
              "Registro alterado por outro usuário.");
    EXPECT_EQ(ErrorOf(SetItem(ana_, Modify(item(ana_), 0, {{"IDSITITEMPED", TextValue("12")}}))),
              "O campo IDSITITEMPED excede o tamanho de 1 caracteres.");
    EXPECT_EQ(ErrorOf(SetItem(ana_, Modify(item(ana_), 0, {{"IDSITITEMPED", TextValue("")}}))),
              "O campo IDSITITEMPED deve ser informado.");
    EXPECT_EQ(ErrorOf(SetItem(ana_, Modify(item(ana_), 0, {{"IDSITITEMPED", NullValue()}}))),
              "O campo IDSITITEMPED deve ser informado.");
    EXPECT_EQ(ErrorOf(SetItem(ana_, Modify(item(ana_), 0, {{"NRITEMPED", TextValue("002")}}))),
              "O campo NRITEMPED não pode ser alterado.");
    EXPECT_EQ(Column(item(ana_), "IDSITITEMPED"), (Strings{"2"}));
}

ZEL_INSTANTIATE(ChangesTest);

} // namespace
} // namespace zel::server::test
