#pragma once

// The supervisors' remote object: its service name and its calls over a
// host connection.

#include "platform/data/DateTime.h"
#include "proto/datapacket.pb.h"
#include "proto/zel08200.pb.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace zel {
class TNetConnection;
}

namespace Pkg_zel08200 {

inline constexpr const char* kRdmSupervisaoService = "Zel08200.rdmSupervisao";

// Declares the service and its read-only methods to the host's connections.
void RegisterRdmSupervisao();

// What the operator may do in a branch.
struct TDireitos {
    bool verHist = false; // may read the branch's release history
    bool libera = false;  // belongs to a release group of the branch
};

// The history criteria; a zero date leaves that end open, an empty text any.
struct THistoricoFiltro {
    QString cdFilial;
    zel::TDateTime dtDe, dtAte;
    QString cdOperador;
    QString nrPedido;
    QString cdConsPedido;
};

struct TPendentesFiltro {
    QString cdFilial;
    zel::TDateTime dtPedidoDe, dtPedidoAte;
    zel::TDateTime dtEntregaDe, dtEntregaAte;
    QStringList cdConsPedido;
};

// The calls. Each raises ENetError when the link fails and, after showing
// the server's message, EResultServ (a silent abort) for an error result.
class TRdmSupervisao {
public:
    explicit TRdmSupervisao(zel::TNetConnection& connection);
    ~TRdmSupervisao();

    TDireitos GetDireitos(const QString& cdFilial);
    // Every page of the history, in release order; `onPage` (may be empty)
    // hears the rows fetched so far after each page.
    std::vector<zel::data::DataPacket> GetHistorico(const THistoricoFiltro& filtro,
                                                    const std::function<void(int rows)>& onPage = {});
    zel::data::DataPacket GetPendentes(const TPendentesFiltro& filtro);

    // Sends the batch and hands each reply to `onReply` as it arrives (on the
    // user-interface thread's side only after the stream ended: the call runs
    // off that thread, so the replies are queued and handed over in order
    // once it returns). Raises ENetError when the stream breaks; the replies
    // received before are handed over first.
    void LiberaLote(const Zel08200::LiberaLoteRequest& request,
                    const std::function<void(const Zel08200::LiberaLoteReply&)>& onReply);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace Pkg_zel08200
