#pragma once

// "Histórico de liberações": the releases of a branch's inconsistencies, by
// release period, operator, order and inconsistency code, every page of the
// answer in one sortable grid, exported to a spreadsheet file.

#include "supervisor/SupervisorScreen.h"

#include <memory>

class QChartView;
class QPrinter;

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
    QPushButton* btnExportarPdf;
    zel::TPanel* panGrafico;
    QChartView* chtLiberacoes; // releases per day and code of the rows shown

    void sbtVerificarClick(QObject* sender) override;
    // "Listagem": the rows on the screen's printer, through a preview.
    void sbtImprimirClick(QObject* sender) override;
    void mnuConfigImpressoraClick();
    void btnExportarPdfClick();
    // Prints the grid's rows, in the grid's order, to a PDF file.
    void PrintPdfTo(const QString& path);
    QPrinter& Printer() { return *printer_; }
    void btnConsultarClick();
    void btnExportarClick();
    // Writes the grid's rows, in the grid's order, to the file.
    void ExportTo(const QString& path);

private:
    // The file the operator chooses for an export; aborts when none.
    QString askFile(const char* name, const QString& title, const QString& filter, const QString& suffix,
                    const QString& proposed);

    std::unique_ptr<QPrinter> printer_;
    QString criteria_; // the criteria of the rows shown, for the printed list
};

// The one history screen while it is open.
extern TfrmHistLib* frmHistLib;
void CriaHistLib();

} // namespace Pkg_zel08200
