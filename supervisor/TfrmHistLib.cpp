#include "supervisor/TfrmHistLib.h"

#include "host/Application.h"
#include "host/Messages.h"
#include "host/Strings.h"
#include "host/WaitAnimation.h"
#include "platform/data/Guard.h"
#include "supervisor/Csv.h"

#include <QFile>
#include <QFileDialog>
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
    connect(btnConsultar, &QPushButton::clicked, this, [this] { Guarded([this] { btnConsultarClick(); }); });
    connect(btnExportar, &QPushButton::clicked, this, [this] { Guarded([this] { btnExportarClick(); }); });
    setFormBounds(120, 80, 741, 470);
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
    rows_.Clear();
    for (const auto& page : pages)
        rows_.Append(page);
    ShowRows();
    if (rows_.Count() == 0)
        MessageDlg(QStringLiteral("Nenhuma liberação atende aos critérios."), TMsgDlgType::mtInformation, mbOK);
}

void TfrmHistLib::btnExportarClick()
{
    if (rows_.Count() == 0) MensErro(QStringLiteral("Não há linhas para exportar."), true);
    QFileDialog dialog(this, QStringLiteral("Exportar histórico"));
    dialog.setObjectName(QStringLiteral("dlgExportar"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("Arquivos CSV (*.csv)"));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.selectFile(QStringLiteral("historico-liberacoes.csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) Abort();
    ExportTo(dialog.selectedFiles().constFirst());
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
