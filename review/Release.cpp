// Storing: every posted row is sent at once; the release of the marked inconsistencies; the row change.

#include "host/Application.h"
#include "host/Login.h"
#include "host/ResultCheck.h"
#include "host/WaitAnimation.h"
#include "review/GuardedFetch.h"
#include "review/TfrmIncPed.h"

namespace Cli_zel08100 {

using namespace zel;

void TfrmIncPed::sendChanges(TClientDataSet& list, const std::function<data::Result(const data::ChangePacket&)>& send)
{
    if (list.ChangeCount() == 0) return;
    try {
        {
            TShowAviScope avi(TAviKind::Storing, MainForm());
            CheckResultServ(send(list.Delta()), true, 0);
        }
        list.MergeChangeLog();
    } catch (...) {
        // Nothing stays that the server does not hold: the posted row returns
        // to its values before the edit, and the poster learns of the failure.
        list.CancelUpdates();
        throw;
    }
}

void TfrmIncPed::cdsIncPedAfterPost(TDataSet*)
{
    sendChanges(cdsIncPed, [this](const data::ChangePacket& delta) { return AppServer().SetIncPed(delta); });
    state_.notePageOnly = false;
    updateTools();
}

void TfrmIncPed::cdsItemPedidoAfterPost(TDataSet*)
{
    sendChanges(cdsItemPedido, [this](const data::ChangePacket& delta) { return AppServer().SetItem(delta); });
}

void TfrmIncPed::cdsIncPedAfterCancel(TDataSet*)
{
    cdsIncPed.CancelUpdates();
    state_.notePageOnly = false;
    updateTools();
}

void TfrmIncPed::cdsIncPedBeforeInsert(TDataSet*)
{
    // The list holds the server's rows only.
    Abort();
}

void TfrmIncPed::cdsIncPedAfterScroll(TDataSet*)
{
    decideRelease(currentMarked(), false);
    if (cdsIncPed.IsEmpty()) {
        // No inconsistency, so no item: there is nothing to ask the server
        // (which refuses a fetch without branch and order).
        cdsItemPedido.Close();
        return;
    }
    auto text = [this](const char* field) { return cdsIncPed.FieldByName(QString::fromLatin1(field))->AsString(); };
    cdsItemPedido.SetData(CheckResultServ(
        AppServer().GetItem(text("CDFILIAL"), text("NRPEDIDO"), text("NRITEMPED"), text("ATIVA")), true, 0));
}

void TfrmIncPed::btnLiberarClick(QObject*)
{
    // Nothing to release while the branch panel has emptied the lists.
    if (!cdsIncPed.Active()) return;
    // The grid and the memo do not follow the walk, and the tool buttons'
    // rules do not run for its edits; the row change still runs at every move.
    cdsIncPed.DisableControls();
    try {
        TField* ativa = cdsIncPed.FieldByName(QStringLiteral("ATIVA"));
        TField* liberado = cdsIncPed.FieldByName(QStringLiteral("DTLIBEINCONS"));
        TField* operador = cdsIncPed.FieldByName(QStringLiteral("CDOPERLIBE"));
        cdsIncPed.First();
        while (!cdsIncPed.Eof()) {
            // A row that carries a release date has been released already (by
            // an earlier walk whose reload did not come); the server keeps
            // releases final, so it is not sent again.
            if (ativa->AsString() == QLatin1String("S") && liberado->IsNull()) {
                cdsIncPed.Edit();
                liberado->setAsDateTime(TDateTime::Now());
                operador->setAsString(Operador());
                cdsIncPed.Post(); // sent on its own before the walk goes on
            }
            cdsIncPed.Next();
        }
    } catch (...) {
        // A row left half-stamped (a field write refused between the edit and
        // the post) goes back to its values.
        if (cdsIncPed.IsEditing()) cdsIncPed.Cancel();
        cdsIncPed.EnableControls();
        throw;
    }
    cdsIncPed.EnableControls();
    // The server's rows: released ones have left the list of pending ones.
    GuardedFetch([this] { loadIncPed(); });
}

} // namespace Cli_zel08100
