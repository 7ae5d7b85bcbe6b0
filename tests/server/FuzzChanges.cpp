// libFuzzer target: arbitrary bytes as a change request, decoded and applied
// to a real SQLite database by the service's change methods. Whatever the
// input, the answer is a data packet or an error result, nothing crashes,
// and the stored rows keep their invariants (a release always has its
// operator and its time; marks are "S" or "N").
#include "proto/rdmIncPed.pb.h"
#include "server/Auth.h"
#include "server/ChangeSet.h"
#include "server/IncPed.h"
#include "server/Schema.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

using namespace zel::server;

namespace {

struct World {
    std::string dir;
    std::unique_ptr<Database> db;
    std::unique_ptr<IncPed> logic;

    World()
    {
        dir = (std::filesystem::temp_directory_path() / ("zel-fuzz-" + std::to_string(::getpid()))).string();
        std::filesystem::create_directories(dir);
        const std::string url = "sqlite:" + dir + "/fuzz.db";
        auto c = OpenConnection(url);
        Migrate(*c);
        c->script("INSERT INTO FILIAL VALUES ('0001', 'Matriz');"
                  "INSERT INTO CLIENTE VALUES ('000001', 'Cliente');"
                  "INSERT INTO PRODUTO VALUES ('000001', 'Produto');"
                  "INSERT INTO CONSPEDIDO VALUES ('001', 'Limite de crédito excedido');"
                  "INSERT INTO PEDIDO VALUES ('0001', '0000000001', '1', '000001', NULL, 46000000000, NULL);"
                  "INSERT INTO ITEMPEDIDO VALUES ('0001', '0000000001', '001', '000001', 1, 2.5, '1');"
                  "INSERT INTO INCONSPED (CDFILIAL, NRPEDIDO, NRINCONSPED, CDCONSPEDIDO, NRITEMPED) "
                  "VALUES ('0001', '0000000001', '001', '001', '001');"
                  "INSERT INTO INCONSPED (CDFILIAL, NRPEDIDO, NRINCONSPED, CDCONSPEDIDO, NRITEMPED) "
                  "VALUES ('0001', '0000000001', '002', '001', NULL);"
                  "INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, CDFILIAL, IDMODUFILI, DSSENHA) "
                  "VALUES ('0001', 'Operador', '0001', 'N', 'x');"
                  "INSERT INTO GRUPOLIBINC VALUES ('0001', '01', 'Grupo');"
                  "INSERT INTO OPERGRUPLIB VALUES ('0001', '01', '0001');");
        db = std::make_unique<Database>(url);
        logic = std::make_unique<IncPed>(*db);
    }
    ~World() { std::filesystem::remove_all(dir); }
};

World& world()
{
    static World w;
    return w;
}

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Zel08100::SetRequest rq;
    if (!rq.ParseFromArray(data, int(size))) return 0;
    World& w = world();
    const Caller who{"0001", "0001"};
    for (const auto* rules : {&Changes::IncPed(), &Changes::ItemPedido()}) {
        auto decoded = DecodeChanges(rq.delta(), *rules);
        if (auto* rows = std::get_if<std::vector<RowUpdate>>(&decoded))
            for (const auto& u : *rows) {
                check(u.key.size() == rules->key.size(), "key size");
                check(u.changes.size() == rules->changeable.size(), "changes size");
            }
    }
    const auto r1 = w.logic->SetIncPed(who, rq.delta());
    const auto r2 = w.logic->SetItem(who, rq.delta());
    check(r1.has_data() || (r1.has_error() && !r1.error().message().empty()), "SetIncPed answers");
    check(r2.has_data() || (r2.has_error() && !r2.error().message().empty()), "SetItem answers");
    auto c = w.db->acquire();
    DbRows bad =
        c->query("SELECT COUNT(*) FROM INCONSPED WHERE ATIVA NOT IN ('S', 'N') OR "
                 "(DTLIBEINCONS IS NULL) <> (CDOPERLIBE IS NULL) OR (CDOPERLIBE IS NOT NULL AND CDOPERLIBE <> '0001')");
    check(bad.i64(0, 0) == 0, "stored inconsistencies");
    return 0;
}
