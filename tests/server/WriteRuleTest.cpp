// SetIncPed against a model of its rule, with random change packets: marks,
// notes, releases (complete or not, in the operator's name or another's),
// original values that are stale, rows released or noted by someone else
// meanwhile, rights granted and revoked, rows that do not exist. After every
// step the outcome (success, or the error's code and message) and every
// inconsistency and history row must be the model's. On SQLite and, with
// ZEL_TEST_PG_URL, on PostgreSQL.
#include "platform/data/DateTime.h"
#include "server/IncPed.h"
#include "tests/server/TestSupport.h"

#include <map>
#include <optional>
#include <rapidcheck.h>
#include <tuple>

namespace zel::server::test {
namespace {

using Key = std::tuple<std::string, std::string, std::string>;

// The fixture's inconsistencies (pending ones, two already released) and one
// key that does not exist.
const Key kKeys[] = {
    {"0001", "0000000001", "001"}, {"0001", "0000000001", "002"}, {"0001", "0000000002", "001"},
    {"0001", "0000000010", "001"}, {"0002", "0000000001", "001"}, {"0001", "0000000001", "003"},
    {"0001", "0000000003", "001"}, {"0001", "0000000002", "009"},
};
constexpr int kMissing = 7;
const char* const kBranches[] = {"0001", "0002"};
const char* const kNotes[] = {"Cliente ligou às 10h.\nOk.", "Aguardando crédito", "", "x"};

struct Row {
    std::string mark = "N";
    std::optional<std::string> note;
    std::optional<std::int64_t> releasedAt;
    std::optional<std::string> releasedBy;
    bool operator==(const Row&) const = default;
};

struct Hist {
    Key key;
    std::string by;
    std::int64_t at, stamp;
    std::optional<std::string> note;
    auto operator<=>(const Hist&) const = default;
};

// One row of a packet as generated.
struct SendRow {
    int key;
    Row seen;             // the original values the packet carries
    bool nullNoteAsEmpty; // a note never set, sent as empty text
    std::optional<std::string> mark;
    std::optional<std::optional<std::string>> note; // set: the new note (maybe null)
    std::optional<std::optional<std::int64_t>> at;  // set: the new release time (maybe null)
    std::optional<std::optional<std::string>> by;   // set: the new releasing operator (maybe null)
};

std::string DateTimeText(std::int64_t ms)
{
    const zel::TDateTime d = zel::TDateTime::fromMSecs(ms);
    return (d.date().toString(QStringLiteral("dd/MM/yyyy")) + QLatin1Char(' ') +
            d.time().toString(QStringLiteral("HH:mm")))
        .toStdString();
}

// The rule as the operator is told it.
class Model {
public:
    Model()
    {
        for (int k = 0; k < kMissing; ++k)
            rows[kKeys[k]] = Row{};
        rows[kKeys[5]] = Row{"S", std::nullopt, Day(2, 10, 15), "0002"};
        rows[kKeys[6]] = Row{"S", std::nullopt, Day(1, 9), "0001"};
        rights[{"0001", "0001"}] = true;
        rights[{"0001", "0002"}] = true;
        rights[{"0002", "0002"}] = true;
    }

    // Empty: success; else the error's code and message.
    std::optional<ServiceError> send(const std::string& op, const std::vector<SendRow>& packet, std::int64_t stamp)
    {
        auto releases = [](const SendRow& s) { return s.at.has_value() || s.by.has_value(); };
        auto needsRight = [&](const SendRow& s) { return (s.mark && *s.mark == "S") || releases(s); };
        for (const SendRow& s : packet) {
            if (!releases(s)) continue;
            const auto at = s.at ? *s.at : s.seen.releasedAt;
            const auto by = s.by ? *s.by : s.seen.releasedBy;
            if (!at || !by || by->empty())
                return ServiceError{kErrInvalid, "A liberação deve informar a data e o operador."};
            if (*by != op)
                return ServiceError{kErrForbidden, "A liberação deve ser feita em nome do operador da sessão."};
        }
        for (const SendRow& s : packet)
            if (needsRight(s) && !rights[{std::get<0>(kKeys[s.key]), op}])
                return ServiceError{kErrForbidden, "Operador não possui permissão para liberar inconsistências."};
        auto text = [](const std::optional<std::string>& t) { return t.value_or(""); };
        for (const SendRow& s : packet) {
            const Key& k = kKeys[s.key];
            auto it = rows.find(k);
            if (it == rows.end())
                return ServiceError{kErrNotFound, "Inconsistência " + std::get<2>(k) + " do pedido " + std::get<1>(k) +
                                                      " não encontrada na filial " + std::get<0>(k) + "."};
            const Row& r = it->second;
            if (r.releasedAt)
                return ServiceError{kErrConflict, "Inconsistência já liberada por " + *r.releasedBy + " em " +
                                                      DateTimeText(*r.releasedAt) + "."};
            if (s.seen.mark != r.mark || text(s.seen.note) != text(r.note) || s.seen.releasedAt != r.releasedAt ||
                text(s.seen.releasedBy) != text(r.releasedBy))
                return ServiceError{kErrConflict, "Registro alterado por outro usuário."};
        }
        for (const SendRow& s : packet) {
            Row& r = rows[kKeys[s.key]];
            past[kKeys[s.key]].push_back(r);
            if (s.mark) r.mark = *s.mark;
            if (s.note) r.note = *s.note;
            if (s.at) r.releasedAt = *s.at;
            if (s.by) r.releasedBy = *s.by;
            if (s.at && *s.at) history.push_back({kKeys[s.key], *r.releasedBy, *r.releasedAt, stamp, r.note});
        }
        return std::nullopt;
    }

    std::map<Key, Row> rows;
    std::map<Key, std::vector<Row>> past;                       // earlier states of each row
    std::map<std::pair<std::string, std::string>, bool> rights; // (branch, operator)
    std::vector<Hist> history;
};

zel::data::Value TextOrNull(const std::optional<std::string>& t)
{
    return t ? TextValue(*t) : NullValue();
}

// The change packet of the generated rows, as a client dataset sends it:
// every field of the dataset declared, originals of the fields the rule
// reads, the others null.
zel::data::ChangePacket Packet(const std::vector<SendRow>& rows)
{
    zel::data::ChangePacket d;
    std::map<std::string, int> at;
    for (const FieldSpec& f : Packets::IncPed) {
        auto* fd = d.add_fields();
        fd->set_name(f.name);
        fd->set_kind(f.kind);
        fd->set_size(f.size);
        at[f.name] = d.fields_size() - 1;
    }
    for (const SendRow& s : rows) {
        auto* rc = d.add_rows();
        rc->set_kind(zel::data::CHANGE_MODIFY);
        std::vector<zel::data::Value> orig(Packets::IncPed.size());
        const Key& k = kKeys[s.key];
        orig[std::size_t(at["CDFILIAL"])] = TextValue(std::get<0>(k));
        orig[std::size_t(at["NRPEDIDO"])] = TextValue(std::get<1>(k));
        orig[std::size_t(at["NRINCONSPED"])] = TextValue(std::get<2>(k));
        orig[std::size_t(at["ATIVA"])] = TextValue(s.seen.mark);
        orig[std::size_t(at["TXOBSLIBINCO"])] =
            s.nullNoteAsEmpty && !s.seen.note ? TextValue("") : TextOrNull(s.seen.note);
        orig[std::size_t(at["DTLIBEINCONS"])] = s.seen.releasedAt ? DateValue(*s.seen.releasedAt) : NullValue();
        orig[std::size_t(at["CDOPERLIBE"])] = TextOrNull(s.seen.releasedBy);
        for (auto& v : orig)
            *rc->mutable_original()->add_values() = v;
        auto change = [&](const char* field, const zel::data::Value& v) {
            auto* fc = rc->add_changes();
            fc->set_field(at[field]);
            *fc->mutable_value() = v;
        };
        if (s.mark) change("ATIVA", TextValue(*s.mark));
        if (s.note) change("TXOBSLIBINCO", TextOrNull(*s.note));
        if (s.at) change("DTLIBEINCONS", *s.at ? DateValue(**s.at) : NullValue());
        if (s.by) change("CDOPERLIBE", TextOrNull(*s.by));
    }
    return d;
}

class WriteRuleTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        db_ = std::make_unique<TestDatabase>(GetParam());
        if (!db_->available()) GTEST_SKIP() << "ZEL_TEST_PG_URL is not set: no PostgreSQL to test on";
        LoadFixture(db_->url());
        conn_ = OpenConnection(db_->url());
        // The fixture as it was loaded, for every case to start from.
        Reset();
    }

    void Reset()
    {
        conn_->script("DELETE FROM HISTLIBINC; "
                      "UPDATE INCONSPED SET ATIVA = 'N', TXOBSLIBINCO = NULL, DTLIBEINCONS = NULL, CDOPERLIBE = NULL "
                      "WHERE NOT (NRPEDIDO = '0000000003' OR (NRPEDIDO = '0000000001' AND NRINCONSPED = '003')); "
                      "DELETE FROM OPERGRUPLIB; "
                      "INSERT INTO OPERGRUPLIB VALUES ('0001', '01', '0001'); "
                      "INSERT INTO OPERGRUPLIB VALUES ('0001', '02', '0002'); "
                      "INSERT INTO OPERGRUPLIB VALUES ('0002', '02', '0002');");
    }

    std::map<Key, Row> StoredRows()
    {
        std::map<Key, Row> out;
        DbRows r = conn_->query("SELECT CDFILIAL, NRPEDIDO, NRINCONSPED, ATIVA, TXOBSLIBINCO, DTLIBEINCONS, "
                                "CDOPERLIBE FROM INCONSPED");
        for (std::size_t i = 0; i < r.size(); ++i)
            out[{r.text(i, 0), r.text(i, 1), r.text(i, 2)}] = {r.text(i, 3), r.optText(i, 4), r.optI64(i, 5),
                                                               r.optText(i, 6)};
        return out;
    }

    std::vector<Hist> StoredHistory()
    {
        std::vector<Hist> out;
        DbRows r = conn_->query("SELECT CDFILIAL, NRPEDIDO, NRINCONSPED, CDOPERLIBE, DTLIBEINCONS, DTREGISTRO, "
                                "TXOBSLIBINCO FROM HISTLIBINC");
        for (std::size_t i = 0; i < r.size(); ++i)
            out.push_back(
                {{r.text(i, 0), r.text(i, 1), r.text(i, 2)}, r.text(i, 3), r.i64(i, 4), r.i64(i, 5), r.optText(i, 6)});
        std::sort(out.begin(), out.end());
        return out;
    }

    std::unique_ptr<TestDatabase> db_;
    std::unique_ptr<DbConn> conn_;
};

TEST_P(WriteRuleTest, RandomPacketsFollowTheRule)
{
    Database pool(db_->url(), 2);
    IncPed logic(pool);
    std::int64_t now = 0;
    logic.clock = [&] { return zel::TDateTime::fromMSecs(now); };

    const bool ok = rc::check("every packet's outcome and the rows it leaves are the rule's", [&] {
        Reset();
        Model m;
        // Sixteen steps a case: enough for rows to be noted, marked, released
        // and refused in turn.
        const int steps = 16;
        int written = 0, refused = 0;
        for (int step = 0; step < steps; ++step) {
            now = Day(5, 8) + step * 60'000;
            const int kind = *rc::gen::weightedElement<int>({{10, 0}, {1, 1}, {1, 2}, {1, 3}});
            if (kind == 1) {
                // Someone else releases a pending row meanwhile.
                const int k = *rc::gen::inRange(0, kMissing);
                Row& r = m.rows[kKeys[k]];
                if (r.releasedAt) continue;
                m.past[kKeys[k]].push_back(r);
                r.releasedAt = Day(4, 9, step);
                r.releasedBy = "0002";
                m.history.push_back({kKeys[k], "0002", *r.releasedAt, now, r.note});
                const DbValue p[] = {Int(*r.releasedAt), Text(std::get<0>(kKeys[k])), Text(std::get<1>(kKeys[k])),
                                     Text(std::get<2>(kKeys[k]))};
                conn_->exec("UPDATE INCONSPED SET DTLIBEINCONS = ?, CDOPERLIBE = '0002' WHERE CDFILIAL = ? AND "
                            "NRPEDIDO = ? AND NRINCONSPED = ?",
                            p);
                const DbValue h[] = {p[1], p[2], p[3], Text("0002"), p[0], Int(now), OptText(r.note)};
                conn_->exec("INSERT INTO HISTLIBINC (CDFILIAL, NRPEDIDO, NRINCONSPED, CDOPERLIBE, DTLIBEINCONS, "
                            "DTREGISTRO, TXOBSLIBINCO) VALUES (?, ?, ?, ?, ?, ?, ?)",
                            h);
                continue;
            }
            if (kind == 2) {
                // Someone else writes a note on a pending row meanwhile.
                const int k = *rc::gen::inRange(0, kMissing);
                Row& r = m.rows[kKeys[k]];
                if (r.releasedAt) continue;
                m.past[kKeys[k]].push_back(r);
                r.note = *rc::gen::elementOf(std::vector<std::string>(std::begin(kNotes), std::end(kNotes)));
                const DbValue p[] = {Text(*r.note), Text(std::get<0>(kKeys[k])), Text(std::get<1>(kKeys[k])),
                                     Text(std::get<2>(kKeys[k]))};
                conn_->exec("UPDATE INCONSPED SET TXOBSLIBINCO = ? WHERE CDFILIAL = ? AND NRPEDIDO = ? AND "
                            "NRINCONSPED = ?",
                            p);
                continue;
            }
            if (kind == 3) {
                // Operator 0001's release right in a branch granted or revoked.
                const std::string branch = *rc::gen::elementOf(std::vector<std::string>{"0001", "0002"});
                const bool on = *rc::gen::arbitrary<bool>();
                m.rights[{branch, "0001"}] = on;
                const DbValue p[] = {Text(branch)};
                conn_->exec("DELETE FROM OPERGRUPLIB WHERE CDFILIAL = ? AND CDOPERADOR = '0001'", p);
                if (on)
                    conn_->exec("INSERT INTO OPERGRUPLIB SELECT CDFILIAL, CDGROPLIBINC, '0001' FROM GRUPOLIBINC "
                                "WHERE CDFILIAL = ? AND CDGROPLIBINC = '02'",
                                p);
                continue;
            }

            // A packet of one to three distinct rows (mostly one, as the
            // screen sends) from operator 0001 or 0002.
            const std::string op = *rc::gen::weightedElement<std::string>({{3, "0001"}, {1, "0002"}});
            const int count = *rc::gen::weightedElement<int>({{6, 1}, {2, 2}, {1, 3}});
            std::vector<int> keys;
            while (int(keys.size()) < count) {
                const int k = *rc::gen::weightedElement<int>(
                    {{4, 0}, {4, 1}, {4, 2}, {4, 3}, {4, 4}, {1, 5}, {1, 6}, {1, kMissing}});
                if (std::find(keys.begin(), keys.end(), k) == keys.end()) keys.push_back(k);
            }
            std::vector<SendRow> packet;
            for (int k : keys) {
                SendRow s{};
                s.key = k;
                s.seen = k == kMissing ? Row{} : m.rows[kKeys[k]];
                s.nullNoteAsEmpty = *rc::gen::arbitrary<bool>();
                // Stale originals: the operator's copy differs in one field.
                switch (*rc::gen::weightedElement<int>({{18, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}, {3, 5}, {1, 6}})) {
                case 1:
                    s.seen.mark = s.seen.mark == "S" ? "N" : "S";
                    break;
                case 2:
                    s.seen.note = s.seen.note.value_or("") + "!";
                    break;
                case 3:
                    s.seen.releasedAt = Day(3, 7);
                    break;
                case 4:
                    s.seen.releasedBy = "0003";
                    break;
                case 5: // as loaded before the row's latest changes
                    if (!m.past[kKeys[k]].empty()) s.seen = *rc::gen::elementOf(m.past[kKeys[k]]);
                    break;
                case 6: // its release's time lost by the client
                    s.seen.releasedAt.reset();
                    break;
                }
                if (*rc::gen::arbitrary<bool>()) s.mark = *rc::gen::elementOf(std::vector<std::string>{"S", "N"});
                if (*rc::gen::weightedElement<int>({{2, 0}, {1, 1}}))
                    s.note = *rc::gen::weightedElement<std::optional<std::string>>(
                        {{3, std::string(
                                 *rc::gen::elementOf(std::vector<std::string>(std::begin(kNotes), std::end(kNotes))))},
                         {1, std::nullopt}});
                // A release: complete in the operator's name, in another's,
                // without its time or without its operator.
                switch (*rc::gen::weightedElement<int>({{6, 0}, {4, 1}, {1, 2}, {1, 3}, {1, 4}})) {
                case 1:
                    s.at = Day(5, 9, step);
                    s.by = op;
                    break;
                case 2:
                    s.at = Day(5, 9, step);
                    s.by = op == "0001" ? "0002" : "0001";
                    break;
                case 3:
                    s.by = op;
                    break;
                case 4:
                    s.at = std::optional<std::int64_t>();
                    s.by = op;
                    break;
                }
                packet.push_back(std::move(s));
            }

            const auto expected = m.send(op, packet, now);
            const zel::data::Result got = logic.SetIncPed(Caller{op, "0001"}, Packet(packet));
            RC_ASSERT(got.has_error() == expected.has_value());
            ++(expected ? refused : written);
            if (expected) {
                RC_ASSERT(got.error().code() == expected->code);
                RC_ASSERT(got.error().message() == expected->message);
            }
            RC_ASSERT(StoredRows() == m.rows);
            std::sort(m.history.begin(), m.history.end());
            RC_ASSERT(StoredHistory() == m.history);
        }
        RC_TAG(written < 4 ? "under 4 written" : "4 or more written",
               refused < 4 ? "under 4 refused" : "4 or more refused");
    });
    EXPECT_TRUE(ok);
}

ZEL_INSTANTIATE(WriteRuleTest);

// The statement builder the rule is written with: names become the drivers'
// placeholders in order, a repeated name takes its value at each place, and
// a binding that leaves a name out, names one twice or names one the
// statement lacks is refused rather than run with its values shifted.
TEST(NamedSqlTest, BindsByNameAndRefusesIncompleteBindings)
{
    const NamedSql q("SELECT :b || ':a' || CAST(:a AS TEXT), x::int, :b FROM t WHERE y = :a_2");
    EXPECT_EQ(q.sql(), "SELECT ? || ':a' || CAST(? AS TEXT), x::int, ? FROM t WHERE y = ?");
    EXPECT_EQ(q.names(), (std::vector<std::string>{"b", "a", "a_2"}));
    EXPECT_EQ(q.bind({{"a_2", Int(3)}, {"a", Text("A")}, {"b", DbValue()}}),
              (std::vector<DbValue>{DbValue(), Text("A"), DbValue(), Int(3)}));
    EXPECT_THROW(q.bind({{"a", Int(1)}, {"b", Int(2)}}), std::logic_error);
    EXPECT_THROW(q.bind({{"a", Int(1)}, {"b", Int(2)}, {"a_2", Int(3)}, {"a", Int(4)}}), std::logic_error);
    EXPECT_THROW(q.bind({{"a", Int(1)}, {"b", Int(2)}, {"a_2", Int(3)}, {"c", Int(4)}}), std::logic_error);
    EXPECT_THROW(NamedSql("SELECT ? FROM t"), std::logic_error);
}

} // namespace
} // namespace zel::server::test
