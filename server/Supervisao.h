#pragma once

#include "platform/data/DateTime.h"
#include "proto/datapacket.pb.h"
#include "proto/zel08200.pb.h"
#include "server/Auth.h"
#include "server/Db.h"
#include "server/Packets.h"

#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace zel::server {

// The methods of the remote object "Zel08200.rdmSupervisao", independent of
// the transport: the operator's rights, the release history page by page,
// the pending inconsistencies of many orders and their release in one batch.
// Database failures become error results; nothing escapes as an exception.
class Supervisao {
public:
    using Result = zel::data::Result;

    explicit Supervisao(Database& db);

    Result GetDireitos(const Caller& who, const Zel08200::GetDireitosRequest& rq, std::optional<Deadline> dl = {});
    Zel08200::GetHistoricoReply GetHistorico(const Caller& who, const Zel08200::GetHistoricoRequest& rq,
                                             std::optional<Deadline> dl = {});
    Result GetPendentes(const Caller& who, const Zel08200::GetPendentesRequest& rq, std::optional<Deadline> dl = {});

    // Hands the outcomes to `send` in chunks, in request order, each chunk
    // once its rows' transactions have ended; a batch refused as a whole is
    // one reply with its error. When `send` returns false (the caller is
    // gone) the rows not yet begun are left untouched.
    using Send = std::function<bool(const Zel08200::LiberaLoteReply&)>;
    void LiberaLote(const Caller& who, const Zel08200::LiberaLoteRequest& rq, const Send& send,
                    std::optional<Deadline> dl = {});

    // The server's clock, stamped on every release.
    std::function<zel::TDateTime()> clock = [] { return zel::TDateTime::Now(); };
    // Called before each row's transaction (tests stop a batch midway).
    std::function<void(std::size_t row)> beforeRow;

    static constexpr std::uint32_t kMaxPage = 5000;
    static constexpr int kMaxBatch = 10'000;
    static constexpr int kMaxCodes = 100;
    // Outcomes per reply of a batch.
    static constexpr int kChunk = 200;

private:
    template <class F> Result run(const char* method, std::optional<Deadline> dl, F&& body);

    Database& db_;
};

namespace Packets {
extern const std::vector<FieldSpec> Direitos;
extern const std::vector<FieldSpec> Historico;
extern const std::vector<FieldSpec> Pendentes;
} // namespace Packets

// The statement of a history page and its parameters (the benchmark runs
// it bare as the floor of GetHistorico). Its rows carry NRHISTLIB after the
// packet's fields, and one row more than the page when another follows.
struct HistoricoQuery {
    std::string sql;
    std::vector<DbValue> params;
    std::uint32_t limit = 0;
};
std::variant<HistoricoQuery, ServiceError> MakeHistoricoQuery(const Zel08200::GetHistoricoRequest& rq);

} // namespace zel::server
