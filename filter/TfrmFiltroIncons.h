#pragma once

// The filter dialog "Filtro de Inconsistência de Pedidos": which orders of the
// branch the review screen lists (all, an interval of order numbers or a list
// picked from the branch's orders; order-date and delivery-date ranges).

#include "filter/Cli_zel08101.h"
#include "filter/OrderList.h"
#include "host/FiltroPadrao.h"
#include "platform/data/DataSet.h"
#include "platform/data/DataSource.h"
#include "platform/data/DateTime.h"
#include "platform/widgets/ButtonFlat.h"
#include "platform/widgets/DateEditPlus.h"
#include "platform/widgets/MaskEdit.h"
#include "platform/widgets/StdCtrls.h"

#include <QString>

namespace Cli_zel08101 {

class TfrmFiltroIncons : public zel::TfrmFiltroPadrao {
public:
    explicit TfrmFiltroIncons(QWidget* owner = nullptr);
    ~TfrmFiltroIncons() override;

    // ---- components, in tab order
    // order number: all, an interval, or a picked list
    zel::TGroupBox* grbNrPedido;
    zel::TRadioButton* rbtTNrPedido;
    zel::TRadioButton* rbtIntervalo;
    zel::TLabel* lblDeNrPedido;
    zel::TMaskEdit* medDeIntervalo;
    zel::TLabel* lblAteNrPedido;
    zel::TMaskEdit* medAteIntervalo;
    zel::TRadioButton* rbtLNrPedido;
    zel::TButtonFlat* sbtNrPedido;
    // order-date range
    zel::TGroupBox* grbDtPed;
    zel::TLabel* lblDe;
    zel::TDateEditPlus* depDe;
    zel::TLabel* lblAte;
    zel::TDateEditPlus* depAte;
    // delivery-date range
    zel::TGroupBox* grbDtEntrega;
    zel::TLabel* lblEnDe;
    zel::TDateEditPlus* depEntrDE;
    zel::TLabel* lblEntAte;
    zel::TDateEditPlus* depEntrAte;

    // ---- the order numbers the picker offers, with their marks
    zel::TClientDataSet cdsNrPedido{QStringLiteral("cdsNrPedido")};
    zel::TDataSource dtsNrPed{QStringLiteral("dtsNrPed"), &cdsNrPedido};
    // The branch whose order numbers cdsNrPedido holds; empty until the
    // first picking.
    QString stFilialLista;

    // The criteria of the last query sent to the server, in the order of the
    // query's arguments: the seven texts, then the four dates. Empty texts and
    // zero dates until the first confirmation; the review screen's refresh
    // sends them again.
    QString stCdFilial;
    QString stNrPedidoDe;
    QString stNrPedidoAte;
    QString stListaPedido;
    QString stTodosPedidos;
    QString stTodasDtPedido;
    QString stTodasDtEntrega;
    zel::TDateTime dtPedidoDe;
    zel::TDateTime dtPedidoAte;
    zel::TDateTime dtEntregaDe;
    zel::TDateTime dtEntregaAte;

    // ---- handlers
    void FormCreate(QObject* Sender) override;
    void FormActivate(QObject* Sender) override;
    void FormClose(QObject* Sender, zel::TCloseAction& Action) override;
    void btfLoadOpcClick(QObject* Sender) override;
    void rbtTNrPedidoClick(QObject* Sender);
    void rbtIntervaloClick(QObject* Sender);
    void rbtLNrPedidoClick(QObject* Sender);
    void medDeIntervaloExit(QObject* Sender);
    void medAteIntervaloExit(QObject* Sender);
    void depdeExit(QObject* Sender);
    void depAteExit(QObject* Sender);
    void depEntrDEExit(QObject* Sender);
    void depEntrAteExit(QObject* Sender);
    void sbtNrPedidoClick(QObject* Sender);
    void rbtLNrPedidoKeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
    void sbtConfirmaClick(QObject* Sender);

private:
    void createOrderNumberBox();
    void createDateBoxes();
    void createData();
    void bindEvents();
    // Enables the interval edits and their labels together.
    void enableInterval(bool enabled);
    // The order list whose branch and link the dialog uses and which it fills.
    static IOrderList& orderList();
    // The confirmation's checks, in their order; each failing one shows its
    // message and ends the confirmation.
    void checkInterval();
    void checkList();
    void checkDates();
    // The query criteria from the dialog's controls.
    void setQueryCriteria();
    void storeCriteria();
};

} // namespace Cli_zel08101
