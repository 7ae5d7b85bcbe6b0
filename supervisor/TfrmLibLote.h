#pragma once

// "Liberação em lote": the pending inconsistencies of every order of a
// branch that matches the criteria, ticked one by one, by code or all at
// once, and released in one command with one note; each row's outcome is
// written beside it as the server answers, and summed up at the end.

#include "supervisor/SupervisorScreen.h"

namespace Pkg_zel08200 {

class TfrmLibLote : public TSupervisorScreen {
public:
    explicit TfrmLibLote(QWidget* owner);
    ~TfrmLibLote() override;

    zel::TEdit* edtDtPedidoDe;
    zel::TEdit* edtDtPedidoAte;
    zel::TEdit* edtDtEntregaDe;
    zel::TEdit* edtDtEntregaAte;
    zel::TEdit* edtCodigos;
    zel::TEdit* edtMarcarCodigo;
    zel::TEdit* edtObs;
    QPushButton* btnConsultar;
    QPushButton* btnMarcarCodigo;
    QPushButton* btnMarcarTodas;
    QPushButton* btnDesmarcarTodas;
    QPushButton* btnLiberar;
    zel::TLabel* lblResumo; // the last batch's outcome

    void sbtVerificarClick(QObject* sender) override;
    void dbgPadraoKeyPress(QObject* sender, QChar& key) override;
    void dbgPadraoCellClick(zel::TColumn* column);
    void btnConsultarClick();
    void btnMarcarCodigoClick();
    void btnMarcarTodasClick();
    void btnDesmarcarTodasClick();
    void btnLiberarClick();

    // Rows ticked now.
    int Marcadas() const;

    // Most rows in one request (the server refuses a larger batch); a bigger
    // selection goes in several.
    static constexpr int kMaxLote = 10'000;

protected:
    QString CountText() const override;

private:
    // Ticks or clears a row; a row already released is not ticked again.
    bool setMarca(int row, bool on);
    void marcarSe(const std::function<bool(int row)>& which, bool on);
    void updateActions();
    // Reads back the rows the server left without an answer.
    void releRows(const std::vector<int>& unknown);

    TPendentesFiltro lastFilter_;
    bool consulted_ = false;
};

extern TfrmLibLote* frmLibLote;
void CriaLibLote();

} // namespace Pkg_zel08200
