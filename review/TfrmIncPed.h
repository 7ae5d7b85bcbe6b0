#pragma once

// The review screen "Inconsistência do Pedido": the order list of a branch,
// the inconsistencies of the current order with their marks and release
// notes, and the release command.

#include "filter/OrderList.h"
#include "host/BtnPesquisa.h"
#include "host/DBGeral.h"
#include "host/NetConnection.h"
#include "host/PadraoGrid.h"
#include "platform/data/DataSet.h"
#include "platform/data/DataSource.h"
#include "platform/widgets/ButtonFlat.h"
#include "platform/widgets/DBCtrls.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/MaskEdit.h"
#include "platform/widgets/PageControl.h"
#include "platform/widgets/StdCtrls.h"
#include "review/Cli_zel08100.h"
#include "review/RdmIncPed.h"

#include <QMdiSubWindow>

#include <functional>

class QAction;

namespace Cli_zel08100 {

// The review screen's state, in one place: what its tools are decided from.
// The handlers record here what they learn, each at the moment its rule looks
// at the screen; ReviewTools() decides from it alone. The widgets' enabled
// flags are output only.
struct ReviewState {
    // Which list the refresh, find and edit tools last followed.
    enum class Area { None, Orders, Inconsistencies };

    // Mode and branch: the branch controls are off once the first
    // activation has fixed the branch.
    bool branchFixed = false;
    // Rights and marking, as the release entries last looked at them: the
    // operator belonged to a release group, and the current row was marked
    // (or, after a mark-all, some row was counted).
    bool releaseRight = false;
    bool releaseMarked = false;
    // The filter button, as it last looked: the opening mode and whether the
    // release entries were on.
    bool filterMode = true;
    bool filterSawRelease = false;
    // The refresh, find and edit tools, as they last looked: the area, its
    // list in browse with rows, and the inconsistency page the shown one.
    Area area = Area::None;
    bool areaReady = false;
    bool inconsistencyPageShown = false;
    // Editing: a note (not a mark being stored) is in edit; the edit command
    // has put the operator on the note page until the note is posted or
    // cancelled.
    bool noteEdit = false;
    bool notePageOnly = false;
};

// The enabled state of each tool, with its menu entry where it has one.
struct ReviewToolStates {
    bool release = false; // btnLiberar, mnuLiberar
    bool filter = false;  // sbtFiltro
    bool branch = false;  // lblFilial, medCdFilial, btpFilial
    // sbtVerificar, sbtProcurar, sbtAlterar with their entries; left as the
    // base screen made them until an area is followed.
    bool areaDecided = false;
    bool verify = false;
    bool find = false;
    bool edit = false;
    bool confirm = false;           // sbtConfirmar, mnuConfirmar
    bool cancel = false;            // sbtCancelar, mnuCancelar
    bool inconsistencyPage = false; // tshIncPed
};

// The one decision of the review screen's tools.
ReviewToolStates ReviewTools(const ReviewState& state);

class TfrmIncPed : public zel::TfrmPadraoGrid, public Cli_zel08101::IOrderList {
public:
    explicit TfrmIncPed(QWidget* owner = nullptr);
    ~TfrmIncPed() override;

    // ---- components added to the base screen
    // toolbar
    zel::TImage* imgChecked;
    zel::TImage* imgUnChecked;
    zel::TButtonFlat* sbtFiltro;
    zel::TButtonFlat* btnLiberar;
    // branch panel
    zel::TPanel* panFilial;
    zel::TLabel* lblFilial;
    zel::TMaskEdit* medCdFilial;
    zel::TBtnPesquisa* btpFilial;
    zel::TEdit* edtNmfilial;
    // order grid | detail pages
    zel::TSplitter* Splitter1;
    zel::TPageControl* pgcIncPed;
    zel::TTabSheet* tshIncPed;
    zel::TPanel* panIncPed;
    zel::TDBGrid* dbgIncPed;
    zel::TTabSheet* tshObs;
    zel::TPanel* panObs;
    zel::TDBMemo* dmmObsIncPed;
    // menu
    QAction* N1;
    QAction* mnuLiberar;

    // ---- data
    zel::TClientDataSet cdsPedido{QStringLiteral("cdsPedido")};
    zel::TClientDataSet cdsIncPed{QStringLiteral("cdsIncPed")};
    zel::TClientDataSet cdsItemPedido{QStringLiteral("cdsItemPedido")};
    zel::TClientDataSet cdsGrupOper{QStringLiteral("cdsGrupOper")};
    zel::TField* cdsPedidoIDSITPEDIDO;
    zel::TADOIBQuery qryFilial{QStringLiteral("qryFilial")};
    zel::TADOIBQuery qryVd_filial{QStringLiteral("qryVd_filial")};
    zel::TDataSource dtsPedido{QStringLiteral("dtsPedido"), &cdsPedido};
    zel::TDataSource dtsIncPedido{QStringLiteral("dtsIncPedido"), &cdsIncPed};
    zel::TDataSource dtsFilial{QStringLiteral("dtsFilial")};
    zel::TNetConnection netIncPed{QStringLiteral("netIncPed")};
    // The remote object "Zel08100.rdmIncPed" over netIncPed.
    zel::TRdmIncPedHandle AppServer{netIncPed};

    // True only while a single mark is being stored.
    bool boMarcando = false;

    // What the tools are decided from.
    const ReviewState& State() const { return state_; }
    // The count of marked inconsistencies back to 0 and the release entries
    // off; the filter button stays as it is.
    void ClearMarking();

    // ---- handlers, in the order of the screen's bindings
    void FormCreate(QObject* Sender) override;
    void FormActivate(QObject* Sender) override;
    void FormClose(QObject* Sender, zel::TCloseAction& Action) override;
    void panFilialEnter(QObject* Sender);
    void panFilialExit(QObject* Sender);
    void medCdFilialChange(QObject* Sender);
    void medCdFilialExit(QObject* Sender);
    void btpFilialBeforePesq(QObject* Sender, bool& Continue);
    void btpFilialAfterPesq(QObject* Sender);
    void sbtFiltroClick(QObject* Sender);
    void sbtVerificarClick(QObject* Sender) override;
    void sbtProcurarClick(QObject* Sender) override;
    void dbgPadraoEnter(QObject* Sender);
    void cdsPedidoAfterScroll(zel::TDataSet* DataSet);
    void cdsPedidoIDSITPEDIDOGetText(zel::TField* Sender, QString& Text, bool DisplayText);
    void dbgIncPedDrawColumnCell(QObject* Sender, const QRect& Rect, int DataCol, zel::TColumn* Column,
                                 zel::TGridDrawState State);
    void dbgIncPedCellClick(zel::TColumn* Column);
    void dbgIncPedColEnter(QObject* Sender);
    void dbgIncPedEnter(QObject* Sender);
    void dbgPadraoKeyPress(QObject* Sender, QChar& Key) override;
    void dbgIncPedTitleClick(zel::TColumn* Column);
    void btnLiberarClick(QObject* Sender);
    void sbtAlterarClick(QObject* Sender) override;
    void sbtConfirmarClick(QObject* Sender) override;
    void sbtCancelarClick(QObject* Sender) override;
    void pgcIncPedChange(QObject* Sender);
    void pgcIncPedEnter(QObject* Sender);
    void dmmObsIncPedKeyPress(QObject* Sender, QChar& Key);
    void dtsIncPedidoStateChange(zel::TDataSource* Sender);
    void cdsIncPedBeforeInsert(zel::TDataSet* DataSet);
    void cdsIncPedAfterPost(zel::TDataSet* DataSet);
    void cdsIncPedAfterCancel(zel::TDataSet* DataSet);
    void cdsIncPedAfterScroll(zel::TDataSet* DataSet);
    void cdsItemPedidoAfterPost(zel::TDataSet* DataSet);
    void netIncPedBeforeConnect(zel::TNetConnection* Sender);

    // Checks the branch code in medCdFilial against the branch table and
    // shows its name; ends with a failure when it is empty or unknown.
    void Vd_filial();

    // The order list the filter dialog fills: the branch of medCdFilial, the
    // screen's link, and cdsPedido.
    QString BranchCode() const override;
    zel::IrdmIncPed& OrderServer() override;
    void LoadOrders(const zel::data::DataPacket& packet) override;

    // Not in the screen's own table of events: an order list that loads with
    // no order empties the inconsistency list (see Loading.cpp).
    void cdsPedidoAfterOpen(zel::TDataSet* DataSet);

protected:
    // Esc with a note in edit, in the memo or the inconsistency grid, goes
    // through the cancel command, which asks before the typed text is undone.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ---- helpers of the handlers
    // The component name of the screen's active control; empty when none.
    QString activeControlName() const;
    // The user works in the inconsistency grid or in the note memo.
    bool worksInIncArea() const;
    // The operator belongs to a release group of the branch.
    bool hasReleaseRight() const;
    // The current inconsistency is marked ("S").
    bool currentMarked() const;
    // Gives every tool the state ReviewTools() decides from state_.
    void updateTools();
    // The release entries look at the right and at marked (the current row's
    // mark, or after a mark-all whether any row is counted); the filter
    // button, when follow is set, then looks at the release entries.
    void decideRelease(bool marked, bool follow);
    // The count of marked inconsistencies (the module's inConPedCheck) is
    // set here only.
    static void setMarkedCount(std::int32_t count);
    // A move of the order list: release entries off, count 0, filter button.
    void resetMarking();
    // The tool buttons while the user works in the order grid.
    void orderGridTools();
    // Edit, refresh and find while the user works in the inconsistency area.
    void incAreaTools();

    // A note in edit is posted, and so sent, before its list is closed or
    // reloaded or the order list moves. When the send fails the row is put
    // back in edit with the operator's text and the failure goes on, which
    // stops the move or the reload.
    void postPendingNote();
    // Closing with a note in edit asks whether to save it, discard it or
    // stay; staying ends the close.
    void askAboutPendingNote();

    // GetIncPed for the current order into cdsIncPed (no guard).
    void loadIncPed();
    // GetPedido with the filter dialog's last query into cdsPedido (no
    // guard); nothing when the dialog was never created.
    void reloadOrders();
    // Sends the pending changes of a list with send, then merges them; on a
    // failure undoes every pending change and passes the failure on.
    static void sendChanges(zel::TClientDataSet& list,
                            const std::function<zel::data::Result(const zel::data::ChangePacket&)>& send);

    // Marks an unmarked current inconsistency or unmarks it, storing it at
    // once; refused without release right.
    void toggleMark();
    // Sets the mark of every row (mark-all or unmark-all) and stores each.
    void markEveryRow(bool mark);

    void createToolbar();
    void createBranchPanel();
    void createOrderGrid();
    void createDetailPages();
    void createMenu();
    void createData();
    // Makes every binding of the screen's event table, in its order.
    void bindEvents();

    ReviewState state_;
};

} // namespace Cli_zel08100
