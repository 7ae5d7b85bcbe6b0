#include "supervisor/TfrmHistLib.h"

#include "host/Application.h"
#include "host/Messages.h"
#include "host/Strings.h"
#include "host/WaitAnimation.h"
#include "platform/data/Guard.h"
#include "supervisor/Csv.h"
#include "supervisor/Grafico.h"
#include "supervisor/Listagem.h"

#include <QChartView>
#include <QFile>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSaveFile>

namespace Pkg_zel08200 {

using namespace zel;

TfrmHistLib* frmHistLib = nullptr;

namespace {

std::vector<TColumnSpec> HistoricoColumns()
{
    using F = TFieldType;
    return {
        {QStringLiteral("CDFILIAL"), F::ftString, 4, QStringLiteral("Filial"), 40},
        {QStringLiteral("NRPEDIDO"), F::ftString, 10, QStringLiteral("Pedido"), 70},
        {QStringLiteral("NRINCONSPED"), F::ftString, 3, QStringLiteral("Nr.incons."), 55},
        {QStringLiteral("CDCONSPEDIDO"), F::ftString, 3, QStringLiteral("Código"), 45},
        {QStringLiteral("NMCONSPEDIDO"), F::ftString, 50, QStringLiteral("Inconsistência"), 180},
        {QStringLiteral("NRITEMPED"), F::ftString, 10, QStringLiteral("Item"), 40},
        {QStringLiteral("CDPRODUTO"), F::ftString, 10, QStringLiteral("Produto"), 60},
        {QStringLiteral("NMPRODUTO"), F::ftString, 50, QStringLiteral("Descrição do produto"), 160},
        {QStringLiteral("CDOPERLIBE"), F::ftString, 12, QStringLiteral("Liberado por"), 70},
        {QStringLiteral("NMOPERADOR"), F::ftString, 40, QStringLiteral("Nome do operador"), 150},
        {QStringLiteral("DTLIBEINCONS"), F::ftDateTime, 0, QStringLiteral("Liberado em"), 120},
        {QStringLiteral("TXOBSLIBINCO"), F::ftString, 2000, QStringLiteral("Observação"), 250},
    };
}

} // namespace

TfrmHistLib::TfrmHistLib(QWidget* owner)
    : TSupervisorScreen(owner, QStringLiteral("frmHistLib"), QStringLiteral("Histórico de liberações"),
                        QStringLiteral("ZEL08201"), HistoricoColumns(), 88)
{
    edtDtDe = AddCriterion("edtDtDe", QStringLiteral("&Período"), 6, 33, 60, 80, 10);
    edtDtAte = AddCriterion("edtDtAte", QStringLiteral("&até"), 155, 33, 20, 80, 10);
    for (TEdit* e : {edtDtDe, edtDtAte})
        e->setPlaceholderText(DateHint());
    edtOperador = AddCriterion("edtOperador", QStringLiteral("&Operador"), 270, 33, 50, 60, 12);
    edtPedido = AddCriterion("edtPedido", QStringLiteral("Pe&dido"), 395, 33, 40, 80, 10);
    edtCdCons = AddCriterion("edtCdCons", QStringLiteral("&Inconsistência"), 6, 60, 60, 40, 3);
    btnConsultar = AddButton("btnConsultar", QStringLiteral("&Consultar"), 530, 6, 100);
    btnExportar = AddButton("btnExportar", QStringLiteral("&Exportar CSV"), 530, 33, 100);
    btnExportarPdf = AddButton("btnExportarPdf", QStringLiteral("Exportar P&DF"), 530, 60, 100);
    connect(btnExportarPdf, &QPushButton::clicked, this, [this] { Guarded([this] { btnExportarPdfClick(); }); });
    connect(mnuConfigImpressora, &QAction::triggered, this,
            [this] { Guarded([this] { mnuConfigImpressoraClick(); }); });
    panGrafico = new TPanel(this, QStringLiteral("panGrafico"));
    SetBounds(panGrafico, 0, 116, 725, 140);
    SetAlign(panGrafico, TAlign::alTop);
    chtLiberacoes = CreateGrafico(panGrafico);
    SetAlign(chtLiberacoes, TAlign::alClient);
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer_->setPageOrientation(QPageLayout::Landscape);
    printer_->setPageSize(QPageSize(QPageSize::A4));
    printer_->setDocName(Caption());
    connect(btnConsultar, &QPushButton::clicked, this, [this] { Guarded([this] { btnConsultarClick(); }); });
    connect(btnExportar, &QPushButton::clicked, this, [this] { Guarded([this] { btnExportarClick(); }); });
    setFormBounds(120, 40, 741, 610);
}

TfrmHistLib::~TfrmHistLib()
{
    if (frmHistLib == this) frmHistLib = nullptr;
}

void TfrmHistLib::sbtVerificarClick(QObject*)
{
    btnConsultarClick();
}

void TfrmHistLib::btnConsultarClick()
{
    THistoricoFiltro f;
    f.cdFilial = Filial();
    f.dtDe = DateCriterion(edtDtDe, QStringLiteral("Início do período"));
    f.dtAte = DateCriterion(edtDtAte, QStringLiteral("Fim do período"));
    if (!f.dtDe.isZero() && !f.dtAte.isZero() && f.dtAte < f.dtDe) {
        edtDtAte->setFocus(Qt::OtherFocusReason);
        MensErro(QStringLiteral("O fim do período é anterior ao início."), true);
    }
    f.cdOperador = edtOperador->Text().trimmed();
    const QString pedido = edtPedido->Text().trimmed();
    f.nrPedido = pedido.isEmpty() ? QString() : Ajusta(pedido, 10);
    const QString codigo = edtCdCons->Text().trimmed();
    f.cdConsPedido = codigo.isEmpty() ? QString() : Ajusta(codigo, 3);

    std::vector<zel::data::DataPacket> pages;
    {
        const TShowAviScope wait(TAviKind::Fetching, MainForm());
        pages = AppServer().GetHistorico(f);
    }
    QStringList said{QStringLiteral("Filial %1").arg(f.cdFilial)};
    if (!f.dtDe.isZero() || !f.dtAte.isZero())
        said << QStringLiteral("Período %1 a %2")
                    .arg(f.dtDe.isZero() ? QStringLiteral("...") : DateToStr(f.dtDe),
                         f.dtAte.isZero() ? QStringLiteral("...") : DateToStr(f.dtAte));
    if (!f.cdOperador.isEmpty()) said << QStringLiteral("Operador %1").arg(f.cdOperador);
    if (!f.nrPedido.isEmpty()) said << QStringLiteral("Pedido %1").arg(f.nrPedido);
    if (!f.cdConsPedido.isEmpty()) said << QStringLiteral("Inconsistência %1").arg(f.cdConsPedido);
    criteria_ = said.join(QStringLiteral("   "));
    rows_.Clear();
    for (const auto& page : pages)
        rows_.Append(page);
    ShowRows();
    ShowGrafico(chtLiberacoes, rows_, rows_.ColumnOf(QStringLiteral("DTLIBEINCONS")),
                rows_.ColumnOf(QStringLiteral("CDCONSPEDIDO")));
    if (rows_.Count() == 0)
        MessageDlg(QStringLiteral("Nenhuma liberação atende aos critérios."), TMsgDlgType::mtInformation, mbOK);
}

QString TfrmHistLib::askFile(const char* name, const QString& title, const QString& filter, const QString& suffix,
                             const QString& proposed)
{
    if (rows_.Count() == 0) MensErro(QStringLiteral("Não há linhas para exportar."), true);
    QFileDialog dialog(this, title);
    dialog.setObjectName(QString::fromLatin1(name));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(suffix);
    dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) Abort();
    return dialog.selectedFiles().constFirst();
}

void TfrmHistLib::btnExportarClick()
{
    ExportTo(askFile("dlgExportar", QStringLiteral("Exportar histórico"), QStringLiteral("Arquivos CSV (*.csv)"),
                     QStringLiteral("csv"), QStringLiteral("historico-liberacoes.csv")));
}

void TfrmHistLib::btnExportarPdfClick()
{
    PrintPdfTo(askFile("dlgExportarPdf", QStringLiteral("Exportar histórico em PDF"),
                       QStringLiteral("Arquivos PDF (*.pdf)"), QStringLiteral("pdf"),
                       QStringLiteral("historico-liberacoes.pdf")));
}

void TfrmHistLib::PrintPdfTo(const QString& path)
{
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setOutputFileName(path);
    pdf.setPageLayout(printer_->pageLayout());
    pdf.setDocName(Caption());
    PrintRows(pdf, Caption(), criteria_, rows_);
}

void TfrmHistLib::sbtImprimirClick(QObject*)
{
    if (rows_.Count() == 0) MensErro(QStringLiteral("Não há linhas para imprimir."), true);
    QPrintPreviewDialog preview(printer_.get(), this);
    preview.setObjectName(QStringLiteral("dlgListagem"));
    preview.setWindowTitle(QStringLiteral("Listagem: %1").arg(Caption()));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* printer) { Guarded([&] { PrintRows(*printer, Caption(), criteria_, rows_); }); });
    preview.exec();
}

void TfrmHistLib::mnuConfigImpressoraClick()
{
    QPrintDialog dialog(printer_.get(), this);
    dialog.setObjectName(QStringLiteral("dlgImpressora"));
    dialog.setWindowTitle(QStringLiteral("Configurar impressora"));
    dialog.exec();
}

void TfrmHistLib::ExportTo(const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(ToCsv(rows_)) < 0 || !file.commit())
        MensErro(QStringLiteral("Não foi possível gravar \"%1\": %2").arg(path, file.errorString()), true);
}

void CriaHistLib()
{
    if (!frmHistLib) frmHistLib = CreateForm<TfrmHistLib>(MainForm());
    frmHistLib->Show();
}

} // namespace Pkg_zel08200
