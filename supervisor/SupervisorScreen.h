#pragma once

// What the supervisors' screens share: the base grid screen with a criteria
// panel that starts with the branch (code, look-up and name), the link to
// the supervisors' service, and the rows the grid shows, sortable by a click
// on a column's title.

#include "host/BtnPesquisa.h"
#include "host/DBGeral.h"
#include "host/NetConnection.h"
#include "host/PadraoGrid.h"
#include "platform/data/DataSet.h"
#include "platform/widgets/MaskEdit.h"
#include "supervisor/RdmSupervisao.h"
#include "supervisor/Rows.h"

#include <QPushButton>

namespace Pkg_zel08200 {

class TSupervisorScreen : public zel::TfrmPadraoGrid {
public:
    TSupervisorScreen(QWidget* owner, const QString& name, const QString& caption, const QString& code,
                      std::vector<TColumnSpec> columns, int criteriaHeight);
    ~TSupervisorScreen() override;

    void FormCreate(QObject* sender) override;
    void FormClose(QObject* sender, zel::TCloseAction& action) override;

    zel::TPanel* panCriterios;
    zel::TLabel* lblFilial;
    zel::TMaskEdit* medCdFilial;
    zel::TBtnPesquisa* btpFilial;
    zel::TEdit* edtNmFilial;
    zel::TLabel* lblContagem; // how many rows the grid holds (and more, per screen)

    zel::TClientDataSet cdsDados{QStringLiteral("cdsDados")};
    zel::TADOIBQuery qryFilial{QStringLiteral("qryFilial")};
    zel::TDataSource dtsFilial{QStringLiteral("dtsFilial")};
    zel::TNetConnection netSupervisao{QStringLiteral("netSupervisao")};

    TRdmSupervisao& AppServer() { return appServer_; }
    const TRows& Rows() const { return rows_; }

protected:
    // A text box with its label to the left, in the criteria panel.
    zel::TEdit* AddCriterion(const char* name, const QString& label, int left, int top, int labelWidth, int width,
                             int maxLength);
    QPushButton* AddButton(const char* name, const QString& text, int left, int top, int width);
    // The branch typed, in its 4-character form; shows why and aborts when
    // there is none.
    QString Filial();
    // The date typed in a criterion; zero when empty. Shows why and aborts
    // when it is not a date.
    zel::TDateTime DateCriterion(zel::TEdit* edit, const QString& what);
    // Shows the rows again (after a load, a sort or a change of a row),
    // keeping the current row where it was when `keepRow` is given.
    void ShowRows(int keepRow = -1);
    // What the count label says; a screen adds its own.
    virtual QString CountText() const;
    // A click on a title sorts by that column; a second click on the same
    // column reverses the order.
    void dbgPadraoTitleClick(zel::TColumn* column);
    virtual void RowsSorted(const std::vector<int>& moved);

    TRows rows_;

private:
    void btpFilialAfterPesq(QObject* sender);
    void medCdFilialExit();

    TRdmSupervisao appServer_{netSupervisao};
    int sortColumn_ = -1;
    bool sortAscending_ = true;
};

} // namespace Pkg_zel08200
