// The review screen's event bindings and its handlers.

#include "host/Login.h"
#include "platform/data/Guard.h"
#include "platform/widgets/FormFocus.h"
#include "review/TfrmIncPed.h"

#include <QAction>

namespace Cli_zel08100 {

using namespace zel;

// Every binding of the screen, in one place and in the order of its event
// table. The widgets run their own events under the guard; the menu entry is a
// plain Qt action, so its binding adds the guard. The datasets' events run
// inside the dataset operation that raised them: their failures reach whoever
// called it (a post learns that its send failed), and the guard of the user's
// action that started it ends them.
void TfrmIncPed::bindEvents()
{
    // FormCreate, FormActivate and FormClose are bound by the base screen.
    SetOnEnter(panFilial, [this](QObject* s) { panFilialEnter(s); });
    SetOnExit(panFilial, [this](QObject* s) { panFilialExit(s); });
    medCdFilial->OnChange = [this](QObject* s) { medCdFilialChange(s); };
    SetOnExit(medCdFilial, [this](QObject* s) { medCdFilialExit(s); });
    btpFilial->OnBeforePesq = [this](QObject* s, bool& go) { btpFilialBeforePesq(s, go); };
    btpFilial->OnAfterPesq = [this](QObject* s) { btpFilialAfterPesq(s); };
    sbtFiltro->OnClick = [this](QObject* s) { sbtFiltroClick(s); };
    // sbtVerificar and sbtProcurar are bound by the base screen.
    SetOnEnter(dbgPadrao, [this](QObject* s) { dbgPadraoEnter(s); });
    cdsPedido.AfterScroll = [this](TDataSet* ds) { cdsPedidoAfterScroll(ds); };
    // Beyond the table: an order list loaded empty empties the inconsistencies.
    cdsPedido.AfterOpen = [this](TDataSet* ds) { cdsPedidoAfterOpen(ds); };
    cdsPedidoIDSITPEDIDO->OnGetText = [this](TField* f, QString& text, bool display) {
        cdsPedidoIDSITPEDIDOGetText(f, text, display);
    };
    dbgIncPed->OnDrawColumnCell = [this](QObject* s, const QRect& r, int col, TColumn* c, TGridDrawState st) {
        dbgIncPedDrawColumnCell(s, r, col, c, st);
    };
    dbgIncPed->OnCellClick = [this](TColumn* c) { dbgIncPedCellClick(c); };
    dbgIncPed->OnColEnter = [this](QObject* s) { dbgIncPedColEnter(s); };
    SetOnEnter(dbgIncPed, [this](QObject* s) { dbgIncPedEnter(s); });
    dbgIncPed->OnKeyPress = [this](QObject* s, QChar& key) { dbgPadraoKeyPress(s, key); };
    dbgIncPed->OnKeyDown = [this](QObject* s, int& key, Qt::KeyboardModifiers m) {
        TfrmPadraoGrid::dbgPadraoKeyDown(s, key, m);
    };
    dbgIncPed->OnTitleClick = [this](TColumn* c) { dbgIncPedTitleClick(c); };
    btnLiberar->OnClick = [this](QObject* s) { btnLiberarClick(s); };
    QObject::connect(mnuLiberar, &QAction::triggered, this,
                     [this] { Guarded([this] { btnLiberarClick(mnuLiberar); }); });
    // sbtAlterar, sbtConfirmar and sbtCancelar are bound by the base screen.
    pgcIncPed->OnChange = [this](QObject* s) { pgcIncPedChange(s); };
    SetOnEnter(pgcIncPed, [this](QObject* s) { pgcIncPedEnter(s); });
    dmmObsIncPed->OnKeyPress = [this](QObject* s, QChar& key) { dmmObsIncPedKeyPress(s, key); };
    dtsIncPedido.OnStateChange = [this](TDataSource* s) { dtsIncPedidoStateChange(s); };
    cdsIncPed.BeforeInsert = [this](TDataSet* ds) { cdsIncPedBeforeInsert(ds); };
    cdsIncPed.AfterPost = [this](TDataSet* ds) { cdsIncPedAfterPost(ds); };
    cdsIncPed.AfterCancel = [this](TDataSet* ds) { cdsIncPedAfterCancel(ds); };
    cdsIncPed.AfterScroll = [this](TDataSet* ds) { cdsIncPedAfterScroll(ds); };
    cdsItemPedido.AfterPost = [this](TDataSet* ds) { cdsItemPedidoAfterPost(ds); };
    netIncPed.BeforeConnect = [this](TNetConnection* c) { netIncPedBeforeConnect(c); };
    // Beyond the table: a note in edit is never lost under a move or a reload.
    cdsPedido.BeforeScroll = [this](TDataSet*) { postPendingNote(); };
    cdsPedido.BeforeClose = [this](TDataSet*) { postPendingNote(); };
    cdsIncPed.BeforeClose = [this](TDataSet*) { postPendingNote(); };
    dmmObsIncPed->installEventFilter(this);
    dbgIncPed->installEventFilter(this);
}

// ---------------------------------------------------------------- lifecycle

void TfrmIncPed::FormClose(QObject* Sender, TCloseAction& Action)
{
    askAboutPendingNote();
    TfrmPadraoGrid::FormClose(Sender, Action);
    netIncPed.Disconnect();
    boCriado = false;
    criaFiltro = true;
}

void TfrmIncPed::netIncPedBeforeConnect(TNetConnection* Sender)
{
    Sender->Host = WebURL();
    Sender->Port = WebPort();
}

} // namespace Cli_zel08100
