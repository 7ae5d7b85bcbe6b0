#include "server/Seed.h"

#include "platform/data/DateTime.h"
#include "server/Operators.h"

#include <array>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace zel::server {
namespace {

// SplitMix64: small, fast, and the same sequence on every platform.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : s_(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (s_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    int below(int n) { return int(next() % std::uint64_t(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template <class T, std::size_t N> const T& pick(const std::array<T, N>& a) { return a[std::size_t(below(int(N)))]; }

private:
    std::uint64_t s_;
};

std::string pad(long v, int width)
{
    std::string s = std::to_string(v);
    return s.size() >= std::size_t(width) ? s : std::string(std::size_t(width) - s.size(), '0') + s;
}

const std::array<const char*, 24> kCities = {
    "São Paulo",  "Campinas",     "Santos",         "Ribeirão Preto", "Sorocaba",      "Curitiba",
    "Londrina",   "Joinville",    "Florianópolis",  "Porto Alegre",   "Caxias do Sul", "Belo Horizonte",
    "Uberlândia", "Juiz de Fora", "Rio de Janeiro", "Niterói",        "Vitória",       "Goiânia",
    "Brasília",   "Salvador",     "Recife",         "Fortaleza",      "Natal",         "Belém"};
const std::array<const char*, 30> kFirst = {
    "Ana",    "Bruno",   "Carla",   "Daniel", "Eduardo", "Fernanda", "Gabriel", "Helena", "Igor",   "Juliana",
    "Karina", "Lucas",   "Mariana", "Nelson", "Otávio",  "Patrícia", "Rafael",  "Sandra", "Tiago",  "Vanessa",
    "Wagner", "Beatriz", "César",   "Débora", "Fábio",   "Gustavo",  "Júlia",   "Márcio", "Renata", "Sérgio"};
const std::array<const char*, 30> kLast = {
    "Silva", "Santos",  "Oliveira",   "Souza",    "Rodrigues", "Ferreira", "Alves",   "Pereira",   "Lima",   "Gomes",
    "Costa", "Ribeiro", "Martins",    "Carvalho", "Almeida",   "Lopes",    "Soares",  "Fernandes", "Vieira", "Barbosa",
    "Rocha", "Dias",    "Nascimento", "Andrade",  "Moreira",   "Nunes",    "Marques", "Machado",   "Mendes", "Freitas"};
const std::array<const char*, 16> kTrade = {"Materiais de Construção",
                                            "Supermercado",
                                            "Mercearia",
                                            "Ferragens",
                                            "Distribuidora",
                                            "Comércio de Tintas",
                                            "Auto Peças",
                                            "Padaria",
                                            "Farmácia",
                                            "Papelaria",
                                            "Atacadista",
                                            "Empório",
                                            "Casa de Ração",
                                            "Elétrica",
                                            "Hidráulica",
                                            "Madeireira"};
const std::array<const char*, 12> kPlace = {"Boa Vista", "Bela Vista",     "Santa Luzia", "São Jorge",
                                            "Primavera", "Jardim América", "Centro",      "Vila Nova",
                                            "Progresso", "Esperança",      "Horizonte",   "Aliança"};
const std::array<const char*, 20> kProduct = {
    "Cimento CP II",  "Argamassa AC-I",    "Tinta acrílica",    "Parafuso sextavado",  "Prego com cabeça",
    "Cabo flexível",  "Disjuntor bipolar", "Tubo PVC soldável", "Joelho PVC 90 graus", "Registro de gaveta",
    "Telha cerâmica", "Tijolo baiano",     "Areia média",       "Brita número 1",      "Lixa d'água",
    "Massa corrida",  "Fita isolante",     "Lâmpada LED",       "Chuveiro elétrico",   "Caixa d'água"};
const std::array<const char*, 10> kVariant = {"25 kg",   "50 kg", "18 litros", "3,6 litros",   "10 mm",
                                              "2,5 mm²", "32 A",  "100 mm",    "1/2 polegada", "500 litros"};

struct Kind {
    const char* code;
    const char* name;
    bool item; // found on an order item
};
const std::array<Kind, 8> kKinds = {{
    {"001", "Limite de crédito excedido", false},
    {"002", "Cliente com títulos em atraso", false},
    {"003", "Cadastro do cliente incompleto", false},
    {"004", "Prazo de entrega inferior ao mínimo", false},
    {"005", "Preço abaixo da tabela", true},
    {"006", "Desconto acima do permitido", true},
    {"007", "Estoque insuficiente", true},
    {"008", "Quantidade acima do habitual", true},
}};

// Situation codes of orders, most of them open.
const char* orderSituation(Rng& r)
{
    const int p = r.below(100);
    return p < 60 ? "1" : p < 80 ? "2" : p < 88 ? "3" : p < 95 ? "4" : "5";
}

} // namespace

SeedStats Seed(DbConn& c, const SeedOptions& o, const std::function<void(const std::string&)>& progress)
{
    if (o.branches < 1 || o.branches > 9999) throw std::invalid_argument("--branches must be 1 to 9999");
    if (o.orders < 0 || o.orders > 100'000'000) throw std::invalid_argument("--orders must be 0 to 100000000");
    if (!c.query("SELECT 1 FROM FILIAL").empty())
        throw std::invalid_argument("the database already holds data; seed an empty one");
    auto say = [&](const std::string& s) {
        if (progress) progress(s);
    };

    Rng rng(o.seed);
    SeedStats st;
    const bool sqlite = c.dialect() == Dialect::Sqlite;
    if (sqlite) c.script("PRAGMA foreign_keys=OFF");
    Transaction tx(c, true);
    if (!sqlite) {
        // The generated rows are consistent by construction: where the role
        // may, skip the per-row foreign-key triggers during the bulk load, as
        // a restore does. Elsewhere the checks simply run.
        c.script("SAVEPOINT seed_fk");
        try {
            c.script("SET LOCAL session_replication_role = replica");
        } catch (const DbError&) {
            c.script("ROLLBACK TO SAVEPOINT seed_fk");
        }
    }

    // Branches, customers, sellers, products, kinds.
    int n = 0;
    c.bulkInsert("FILIAL", {"CDFILIAL", "NMFILIAL"}, [&](std::vector<DbValue>& row) {
        if (n >= o.branches) return false;
        ++n;
        std::string city = kCities[std::size_t(n - 1) % kCities.size()];
        if (n > int(kCities.size())) {
            city += ' ';
            city += std::to_string((n - 1) / int(kCities.size()) + 1);
        }
        row = {Text(pad(n, 4)), Text((n == 1 ? "Matriz " : "Filial ") + city)};
        return true;
    });
    const int customers = std::max(50, o.orders / 20);
    n = 0;
    c.bulkInsert("CLIENTE", {"CDCLIENTE", "NMFANTCLIE"}, [&](std::vector<DbValue>& row) {
        if (n >= customers) return false;
        ++n;
        std::string name = rng.chance(50) ? std::string(rng.pick(kTrade)) + " " + rng.pick(kPlace)
                                          : std::string(rng.pick(kLast)) + " " + rng.pick(kTrade);
        row = {Text(pad(n, 6)), Text(name)};
        return true;
    });
    const int sellers = 40;
    n = 0;
    c.bulkInsert("VENDEDOR", {"CDVENDEDOR", "NMFANVEN"}, [&](std::vector<DbValue>& row) {
        if (n >= sellers) return false;
        ++n;
        row = {Text(pad(n, 4)), Text(std::string(rng.pick(kFirst)) + " " + rng.pick(kLast))};
        return true;
    });
    const int products = int(kProduct.size() * kVariant.size());
    std::vector<double> price(std::size_t(products) + 1);
    n = 0;
    c.bulkInsert("PRODUTO", {"CDPRODUTO", "NMPRODUTO"}, [&](std::vector<DbValue>& row) {
        if (n >= products) return false;
        ++n;
        price[std::size_t(n)] = double(200 + rng.below(50000)) / 100.0;
        row = {Text(pad(n, 6)), Text(std::string(kProduct[std::size_t(n - 1) / kVariant.size()]) + " " +
                                     kVariant[std::size_t(n - 1) % kVariant.size()])};
        return true;
    });
    std::size_t k = 0;
    c.bulkInsert("CONSPEDIDO", {"CDCONSPEDIDO", "NMCONSPEDIDO"}, [&](std::vector<DbValue>& row) {
        if (k >= kKinds.size()) return false;
        row = {Text(kKinds[k].code), Text(kKinds[k].name)};
        ++k;
        return true;
    });

    // Operators and release groups.
    say("operators");
    AddOperator(c, "0001", "Ana Paula Ferreira", "0001", false, "demo");
    AddOperator(c, "0002", "Carlos Eduardo Souza", "0001", false, "demo");
    AddOperator(c, "0005", "Márcia Regina Lopes", "0001", true, "demo");
    AddOperator(c, "0009", "João Batista Nunes", "0001", false, "demo");
    for (int b = 1; b <= o.branches; ++b) {
        const std::string br = pad(b, 4);
        const DbValue g1[] = {Text(br), Text("01"), Text("Gerência comercial")};
        const DbValue g2[] = {Text(br), Text("02"), Text("Crédito e cobrança")};
        c.exec("INSERT INTO GRUPOLIBINC (CDFILIAL, CDGROPLIBINC, NMGROPLIBINC) VALUES (?, ?, ?)", g1);
        c.exec("INSERT INTO GRUPOLIBINC (CDFILIAL, CDGROPLIBINC, NMGROPLIBINC) VALUES (?, ?, ?)", g2);
        const DbValue m1[] = {Text(br), Text("01"), Text("0001")};
        const DbValue m2[] = {Text(br), Text("02"), Text("0002")};
        c.exec("INSERT INTO OPERGRUPLIB (CDFILIAL, CDGROPLIBINC, CDOPERADOR) VALUES (?, ?, ?)", m1);
        c.exec("INSERT INTO OPERGRUPLIB (CDFILIAL, CDGROPLIBINC, CDOPERADOR) VALUES (?, ?, ?)", m2);
    }
    const DbValue m5[] = {Text("0001"), Text("01"), Text("0005")};
    c.exec("INSERT INTO OPERGRUPLIB (CDFILIAL, CDGROPLIBINC, CDOPERADOR) VALUES (?, ?, ?)", m5);
    // The supervisor: reads every branch's release history and releases in
    // every branch (group "03").
    AddOperator(c, "0010", "Sérgio Augusto Prado", "0001", false, "demo");
    for (int b = 1; b <= o.branches; ++b) {
        const std::string br = pad(b, 4);
        const DbValue g3[] = {Text(br), Text("03"), Text("Supervisão")};
        const DbValue m3[] = {Text(br), Text("03"), Text("0010")};
        const DbValue h[] = {Text(br), Text("0010")};
        c.exec("INSERT INTO GRUPOLIBINC (CDFILIAL, CDGROPLIBINC, NMGROPLIBINC) VALUES (?, ?, ?)", g3);
        c.exec("INSERT INTO OPERGRUPLIB (CDFILIAL, CDGROPLIBINC, CDOPERADOR) VALUES (?, ?, ?)", m3);
        c.exec("INSERT INTO OPERVERHIST (CDFILIAL, CDOPERADOR) VALUES (?, ?)", h);
    }

    // Orders: generated once, in branch order, then written table by table
    // from the same deterministic sequence.
    say("orders");
    const long perBranchBase = o.orders / o.branches;
    const long extra = o.orders % o.branches;
    const long maxPerBranch = perBranchBase + (extra ? 1 : 0);
    const int days = int(std::clamp<long>(maxPerBranch / 250, 30, 730));
    const std::int64_t todayMs = zel::TDateTime::fromDate(o.today).msecs();
    const std::int64_t day = zel::TDateTime::kMsPerDay;

    struct Order {
        std::int64_t dt;
        int items;
        int incons;
    };
    // Per order: its date, item count and inconsistency count, drawn from a
    // stream of its own so each table's writer sees the same values.
    auto orderAt = [&](int branch, long number) {
        Rng r(o.seed * 0x100000001b3ULL ^ (std::uint64_t(branch) << 40) ^ std::uint64_t(number));
        Order ord;
        ord.dt = todayMs - std::int64_t(r.below(days)) * day + (8 * 60 + r.below(600)) * 60'000LL;
        ord.items = 1 + r.below(5);
        ord.incons = r.chance(o.inconsistentPct) ? 1 + r.below(3) : 0;
        return ord;
    };
    auto countOf = [&](int b) { return perBranchBase + (b <= extra ? 1 : 0); };

    int b = 1;
    long num = 0;
    c.bulkInsert("PEDIDO", {"CDFILIAL", "NRPEDIDO", "IDSITPEDIDO", "CDCLIENTE", "CDVENDEDOR", "DTPEDIDO", "DTENTPED"},
                 [&](std::vector<DbValue>& row) {
                     while (b <= o.branches && num >= countOf(b)) {
                         ++b;
                         num = 0;
                     }
                     if (b > o.branches) return false;
                     ++num;
                     const Order ord = orderAt(b, num);
                     Rng r(ord.dt ^ std::uint64_t(num));
                     const std::int64_t dateOnly = ord.dt - ord.dt % day;
                     row = {Text(pad(b, 4)),
                            Text(pad(num, 10)),
                            Text(orderSituation(r)),
                            Text(pad(1 + r.below(customers), 6)),
                            Text(pad(1 + r.below(sellers), 4)),
                            Int(dateOnly), // an order date is a date: no time of day
                            r.chance(5) ? DbValue() : Int(dateOnly + (1 + r.below(20)) * day)};
                     ++st.orders;
                     return true;
                 });
    say("items");
    b = 1;
    num = 0;
    int item = 0;
    Order cur{};
    auto advance = [&]() -> bool {
        // Moves to the next order that still has an item (or inconsistency) to write.
        while (true) {
            while (b <= o.branches && num >= countOf(b)) {
                ++b;
                num = 0;
            }
            if (b > o.branches) return false;
            ++num;
            cur = orderAt(b, num);
            item = 0;
            return true;
        }
    };
    advance();
    c.bulkInsert("ITEMPEDIDO",
                 {"CDFILIAL", "NRPEDIDO", "NRITEMPED", "CDPRODUTO", "QTITEMPED", "VRUNITITEM", "IDSITITEMPED"},
                 [&](std::vector<DbValue>& row) {
                     if (b > o.branches) return false;
                     if (item >= cur.items && !advance()) return false;
                     ++item;
                     const int prod = 1 + rng.below(products);
                     const double unit = std::round(price[std::size_t(prod)] * (90 + rng.below(21))) / 100.0;
                     row = {Text(pad(b, 4)),    Text(pad(num, 10)),        Text(pad(item, 3)),
                            Text(pad(prod, 6)), double(1 + rng.below(48)), unit,
                            Text("1")};
                     ++st.items;
                     return true;
                 });
    say("inconsistencies");
    b = 1;
    num = 0;
    advance();
    int inc = 0;
    std::vector<std::array<DbValue, 7>> history;
    c.bulkInsert("INCONSPED",
                 {"CDFILIAL", "NRPEDIDO", "NRINCONSPED", "CDCONSPEDIDO", "NRITEMPED", "ATIVA", "TXOBSLIBINCO",
                  "DTLIBEINCONS", "CDOPERLIBE"},
                 [&](std::vector<DbValue>& row) {
                     while (inc >= cur.incons) {
                         if (!advance()) return false;
                         inc = 0;
                     }
                     ++inc;
                     const Kind& kind = kKinds[std::size_t(rng.below(int(kKinds.size())))];
                     DbValue itemNo = kind.item ? Text(pad(1 + rng.below(cur.items), 3)) : DbValue();
                     // About one in ten is already released, with its history.
                     const bool released = rng.chance(10);
                     DbValue dt, op, note;
                     if (released) {
                         dt = Int(cur.dt + (1 + rng.below(240)) * 60'000LL);
                         op = Text(rng.chance(50) ? "0001" : "0002");
                         note = Text("Liberado após contato com o cliente.");
                         history.push_back({Text(pad(b, 4)), Text(pad(num, 10)), Text(pad(inc, 3)), op, dt, dt, note});
                         ++st.released;
                     }
                     row = {Text(pad(b, 4)),
                            Text(pad(num, 10)),
                            Text(pad(inc, 3)),
                            Text(kind.code),
                            itemNo,
                            Text(released ? "S" : "N"),
                            note,
                            dt,
                            op};
                     ++st.inconsistencies;
                     return true;
                 });
    std::size_t h = 0;
    c.bulkInsert("HISTLIBINC",
                 {"CDFILIAL", "NRPEDIDO", "NRINCONSPED", "CDOPERLIBE", "DTLIBEINCONS", "DTREGISTRO", "TXOBSLIBINCO"},
                 [&](std::vector<DbValue>& row) {
                     if (h >= history.size()) return false;
                     row.assign(history[h].begin(), history[h].end());
                     ++h;
                     return true;
                 });
    tx.commit();
    if (sqlite)
        c.script("PRAGMA foreign_keys=ON; ANALYZE;");
    else
        c.script("VACUUM ANALYZE FILIAL, CLIENTE, VENDEDOR, PRODUTO, PEDIDO, ITEMPEDIDO, INCONSPED, HISTLIBINC");
    return st;
}

} // namespace zel::server
