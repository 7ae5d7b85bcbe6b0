#include "review/Cli_zel08100.h"

#include "filter/Cli_zel08101.h"
#include "host/Application.h"
#include "host/Cursor.h"
#include "host/Dialogs.h"
#include "host/ResultCheck.h"
#include "host/WaitAnimation.h"
#include "platform/data/DateTime.h"
#include "platform/data/Exceptions.h"
#include "review/TfrmIncPed.h"

namespace Cli_zel08100 {

TfrmIncPed* frmIncPed = nullptr;
bool boCriado = false;
bool criaFiltro = false;
std::int32_t inConPedCheck = 0;
QString stFilial;

namespace {

// Drops what the screen shows of an earlier order, so that it does not stand
// as the answer to a request that failed. A release note being typed stays,
// and with it what it belongs to.
void dropEarlierAnswer(TfrmIncPed& screen)
{
    const auto editing = [](const zel::TDataSet& ds) {
        return ds.State() == zel::TDataSetState::dsEdit || ds.State() == zel::TDataSetState::dsInsert;
    };
    if (editing(screen.cdsIncPed) || editing(screen.cdsItemPedido)) return;
    screen.cdsItemPedido.Close();
    screen.cdsIncPed.Close();
    screen.cdsPedido.Close();
    screen.ClearMarking();
}

// Loads the given order into the screen's order list. Any failure (a date
// that does not convert, the server down or not answering, a rejected
// result) stops the wait animation and is told to the operator; the screen
// then shows no order rather than an earlier one. A rejected result was
// shown by the result checker already.
void fetchGivenOrder(TfrmIncPed& screen, const QString& filial, const QString& pedido, const QString& dtPedido,
                     const QString& dtEntrega)
{
    try {
        zel::ActiveShowAvi(zel::MainForm(), zel::TAviKind::Fetching);
        const QString none;
        const zel::TDateTime dtPedidoDe = zel::StrToDate(dtPedido);
        const zel::TDateTime dtPedidoAte = zel::StrToDate(dtPedido);
        const zel::TDateTime dtEntregaDe = zel::StrToDate(dtEntrega);
        const zel::TDateTime dtEntregaAte = zel::StrToDate(dtEntrega);
        QString cdFilial = filial;
        QString nrPedido = pedido;
        zel::data::Result result = screen.AppServer().GetPedido(cdFilial, none, none, nrPedido, none, dtPedidoDe,
                                                                dtPedidoAte, none, dtEntregaDe, dtEntregaAte, none);
        screen.cdsPedido.SetData(zel::CheckResultServ(std::move(result), true, 0));
        zel::DeactiveShowAvi();
    } catch (...) {
        zel::DeactiveShowAvi();
        const QString why = zel::FailureText(std::current_exception());
        dropEarlierAnswer(screen);
        if (!why.isEmpty())
            zel::ShowError(QStringLiteral("Não foi possível buscar o pedido %1 da filial %2. %3")
                               .arg(pedido.trimmed(), filial.trimmed(), why));
    }
}

} // namespace

void IniProc(const std::vector<zel::Variant>& params)
{
    if (params.size() < 5)
        throw zel::EConvertError(
            QStringLiteral("A entrada IniProc espera 5 parâmetros e recebeu %1.").arg(params.size()));
    // Read in this order: a conversion failure of any of them reaches the
    // caller before any screen is touched.
    const QString dtPedido = params[3].toString();
    const QString dtEntrega = params[4].toString();
    const QString pedido = params[2].toString();
    const QString filial = params[1].toString();
    const bool modo = params[0].toBool();
    CriaIncPed(modo, filial, pedido, dtPedido, dtEntrega);
}

void CriaIncPed(bool modo, const QString& filial, const QString& pedido, const QString& dtPedido,
                const QString& dtEntrega)
{
    const zel::TCursorScope hourglass(Qt::WaitCursor);
    // A screen released by other means than its close leaves no dangling reuse.
    if (boCriado && !frmIncPed) boCriado = false;
    if (!boCriado) {
        boCriado = true;
        if (!modo) stFilial = filial;
        criaFiltro = modo;
        try {
            frmIncPed = zel::CreateForm<TfrmIncPed>(zel::MainForm());
        } catch (...) {
            // No screen: the next entry tries again instead of reusing nothing.
            boCriado = false;
            throw;
        }
    }
    if (!modo) fetchGivenOrder(*frmIncPed, filial, pedido, dtPedido, dtEntrega);
    // A child window of the main form, brought to the front.
    frmIncPed->Show();
}

void Initialization()
{
    frmIncPed = nullptr;
    boCriado = false;
    criaFiltro = false;
    inConPedCheck = 0;
    stFilial = QStringLiteral(" ");
    Cli_zel08101::stPedido = QStringLiteral(" ");
}

void Finalization()
{
    stFilial.clear();
    stFilial.squeeze();
}

} // namespace Cli_zel08100
