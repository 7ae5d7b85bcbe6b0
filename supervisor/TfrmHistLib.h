#pragma once

// "Histórico de liberações": the releases of a branch's inconsistencies, by
// release period, operator, order and inconsistency code, every page of the
// answer in one sortable grid, exported to a spreadsheet file.

#include "supervisor/SupervisorScreen.h"

namespace Pkg_zel08200 {

class TfrmHistLib : public TSupervisorScreen {
public:
    explicit TfrmHistLib(QWidget* owner);
    ~TfrmHistLib() override;

    zel::TEdit* edtDtDe;
    zel::TEdit* edtDtAte;
    zel::TEdit* edtOperador;
    zel::TEdit* edtPedido;
    zel::TEdit* edtCdCons;
    QPushButton* btnConsultar;
    QPushButton* btnExportar;

    void sbtVerificarClick(QObject* sender) override;
    void btnConsultarClick();
    void btnExportarClick();
    // Writes the grid's rows, in the grid's order, to the file.
    void ExportTo(const QString& path);
};

// The one history screen while it is open.
extern TfrmHistLib* frmHistLib;
void CriaHistLib();

} // namespace Pkg_zel08200
