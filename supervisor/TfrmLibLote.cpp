#include "supervisor/TfrmLibLote.h"

#include "host/Application.h"
#include "host/Dialogs.h"
#include "host/Login.h"
#include "host/Messages.h"
#include "host/Strings.h"
#include "host/WaitAnimation.h"
#include "platform/data/Guard.h"

#include <QElapsedTimer>
#include <QRegularExpression>

#include <algorithm>
#include <set>
#include <tuple>

namespace Pkg_zel08200 {

using namespace zel;
using Outcome = Zel08200::LoteOutcome;

TfrmLibLote* frmLibLote = nullptr;

namespace {

const QString kMarca = QString(QChar(0x2714));

// The columns, in this order; the last three carry what a release sends
// back and what the screen knows of each row's outcome.
enum Col {
    cMarca,
    cFilial,
    cPedido,
    cNrIncons,
    cCodigo,
    cNmCons,
    cItem,
    cProduto,
    cDtPedido,
    cDtEntrega,
    cResultado,
    cSituacao,
    cAtiva,
    cObs
};

// What the screen knows of a row's outcome besides the server's answers.
enum Situacao : std::int64_t {
    kSemResposta = 100, // the batch broke before its answer
    kPendente = 101,    // read back: still pending, so not released
    kNaoPendente = 102, // read back: no longer pending
};

std::vector<TColumnSpec> LoteColumns()
{
    using F = TFieldType;
    return {
        {QStringLiteral("MARCA"), F::ftString, 1, QStringLiteral("Liberar"), 45},
        {QStringLiteral("CDFILIAL"), F::ftString, 4, QStringLiteral("Filial"), 40},
        {QStringLiteral("NRPEDIDO"), F::ftString, 10, QStringLiteral("Pedido"), 70},
        {QStringLiteral("NRINCONSPED"), F::ftString, 3, QStringLiteral("Nr.incons."), 55},
        {QStringLiteral("CDCONSPEDIDO"), F::ftString, 3, QStringLiteral("Código"), 45},
        {QStringLiteral("NMCONSPEDIDO"), F::ftString, 50, QStringLiteral("Inconsistência"), 170},
        {QStringLiteral("NRITEMPED"), F::ftString, 10, QStringLiteral("Item"), 40},
        {QStringLiteral("CDPRODUTO"), F::ftString, 10, QStringLiteral("Produto"), 60},
        {QStringLiteral("DTPEDIDO"), F::ftDateTime, 0, QStringLiteral("Data do pedido"), 115},
        {QStringLiteral("DTENTPED"), F::ftDateTime, 0, QStringLiteral("Data de entrega"), 115},
        {QStringLiteral("RESULTADO"), F::ftString, 200, QStringLiteral("Resultado"), 300},
        {QStringLiteral("SITUACAO"), F::ftInteger, 0, QStringLiteral("Situação"), 0},
        {QStringLiteral("ATIVA"), F::ftFixedChar, 1, QStringLiteral("Ativa"), 0},
        {QStringLiteral("TXOBSLIBINCO"), F::ftString, 2000, QStringLiteral("Observação"), 0},
    };
}

QString ResultText(const Outcome& o)
{
    const QString quem = QString::fromStdString(o.cd_oper_libe());
    const QString quando = DateTimeToStr(TDateTime::fromMSecs(o.dt_libe_incons()));
    switch (o.situacao()) {
    case Outcome::LIBERADA:
        return QStringLiteral("Liberada por %1 em %2").arg(quem, quando);
    case Outcome::JA_LIBERADA:
        return QStringLiteral("Recusada: já liberada por %1 em %2").arg(quem, quando);
    case Outcome::ALTERADA:
        return QStringLiteral("Recusada: alterada por outro operador desde a consulta");
    case Outcome::SEM_DIREITO:
        return QStringLiteral("Recusada: o operador não pode liberar inconsistências desta filial");
    case Outcome::INEXISTENTE:
        return QStringLiteral("Recusada: inconsistência inexistente");
    default:
        return QStringLiteral("Resposta desconhecida do servidor (%1)").arg(int(o.situacao()));
    }
}

// A text cell; a null one is empty.
QString Text(const Variant& v)
{
    return v.isNull() ? QString() : v.toString();
}

bool Released(std::int64_t situacao)
{
    return situacao == Outcome::LIBERADA || situacao == Outcome::JA_LIBERADA || situacao == kNaoPendente;
}

} // namespace

TfrmLibLote::TfrmLibLote(QWidget* owner)
    : TSupervisorScreen(owner, QStringLiteral("frmLibLote"), QStringLiteral("Liberação em lote"),
                        QStringLiteral("ZEL08202"), LoteColumns(), 142)
{
    edtDtPedidoDe = AddCriterion("edtDtPedidoDe", QStringLiteral("&Pedidos de"), 6, 33, 60, 80, 10);
    edtDtPedidoAte = AddCriterion("edtDtPedidoAte", QStringLiteral("a&té"), 155, 33, 20, 80, 10);
    edtDtEntregaDe = AddCriterion("edtDtEntregaDe", QStringLiteral("&Entrega de"), 270, 33, 60, 80, 10);
    edtDtEntregaAte = AddCriterion("edtDtEntregaAte", QStringLiteral("at&é"), 419, 33, 20, 80, 10);
    for (TEdit* e : {edtDtPedidoDe, edtDtPedidoAte, edtDtEntregaDe, edtDtEntregaAte})
        e->setPlaceholderText(DateHint());
    edtCodigos = AddCriterion("edtCodigos", QStringLiteral("Có&digos"), 6, 60, 60, 300, 200);
    edtCodigos->setPlaceholderText(QStringLiteral("todos; ou 001, 007, ..."));
    btnConsultar = AddButton("btnConsultar", QStringLiteral("&Consultar"), 530, 6, 100);

    edtMarcarCodigo = AddCriterion("edtMarcarCodigo", QStringLiteral("Cód&igo"), 6, 87, 60, 40, 3);
    btnMarcarCodigo = AddButton("btnMarcarCodigo", QStringLiteral("Marcar &código"), 115, 86, 100);
    btnMarcarTodas = AddButton("btnMarcarTodas", QStringLiteral("&Marcar todas"), 220, 86, 100);
    btnDesmarcarTodas = AddButton("btnDesmarcarTodas", QStringLiteral("Desmarcar t&odas"), 325, 86, 100);
    edtObs = AddCriterion("edtObs", QStringLiteral("Ob&servação"), 6, 114, 60, 450, 2000);
    btnLiberar = AddButton("btnLiberar", QStringLiteral("&Liberar"), 530, 113, 100);
    lblResumo = new TLabel(panCriterios, QStringLiteral("lblResumo"));
    SetBounds(lblResumo, 440, 90, 280, 13);
    lblResumo->setAccessibleName(QStringLiteral("Resumo da liberação"));

    const auto bind = [this](QPushButton* b, void (TfrmLibLote::*handler)()) {
        connect(b, &QPushButton::clicked, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    };
    bind(btnConsultar, &TfrmLibLote::btnConsultarClick);
    bind(btnMarcarCodigo, &TfrmLibLote::btnMarcarCodigoClick);
    bind(btnMarcarTodas, &TfrmLibLote::btnMarcarTodasClick);
    bind(btnDesmarcarTodas, &TfrmLibLote::btnDesmarcarTodasClick);
    bind(btnLiberar, &TfrmLibLote::btnLiberarClick);
    dbgPadrao->OnCellClick = [this](TColumn* column) { Guarded([&] { dbgPadraoCellClick(column); }); };
    setFormBounds(100, 60, 741, 520);
    updateActions();
}

TfrmLibLote::~TfrmLibLote()
{
    if (frmLibLote == this) frmLibLote = nullptr;
}

int TfrmLibLote::Marcadas() const
{
    int n = 0;
    for (int r = 0; r < rows_.Count(); ++r)
        if (!rows_.Value(r, cMarca).isNull()) ++n;
    return n;
}

QString TfrmLibLote::CountText() const
{
    return QStringLiteral("%1 marcadas de %2").arg(Marcadas()).arg(rows_.Count());
}

void TfrmLibLote::updateActions()
{
    const bool any = rows_.Count() > 0;
    btnMarcarCodigo->setEnabled(any);
    btnMarcarTodas->setEnabled(any);
    btnDesmarcarTodas->setEnabled(any);
    btnLiberar->setEnabled(Marcadas() > 0);
    lblContagem->setText(CountText());
}

bool TfrmLibLote::setMarca(int row, bool on)
{
    if (on && Released(rows_.Value(row, cSituacao).isNull() ? -1 : rows_.Value(row, cSituacao).toInteger()))
        return false;
    const bool was = !rows_.Value(row, cMarca).isNull();
    if (was == on) return false;
    rows_.SetValue(row, cMarca, on ? Variant(kMarca) : Variant());
    return true;
}

void TfrmLibLote::marcarSe(const std::function<bool(int row)>& which, bool on)
{
    bool changed = false;
    for (int r = 0; r < rows_.Count(); ++r)
        if (which(r)) changed = setMarca(r, on) || changed;
    if (changed) ShowRows(cdsDados.CurrentRow());
    updateActions();
}

void TfrmLibLote::sbtVerificarClick(QObject*)
{
    btnConsultarClick();
}

void TfrmLibLote::btnConsultarClick()
{
    TPendentesFiltro f;
    f.cdFilial = Filial();
    f.dtPedidoDe = DateCriterion(edtDtPedidoDe, QStringLiteral("Data do pedido inicial"));
    f.dtPedidoAte = DateCriterion(edtDtPedidoAte, QStringLiteral("Data do pedido final"));
    f.dtEntregaDe = DateCriterion(edtDtEntregaDe, QStringLiteral("Data de entrega inicial"));
    f.dtEntregaAte = DateCriterion(edtDtEntregaAte, QStringLiteral("Data de entrega final"));
    for (const QString& c :
         edtCodigos->Text().split(QRegularExpression(QStringLiteral("[,;\\s]+")), Qt::SkipEmptyParts)) {
        if (c.size() > 3 || !std::all_of(c.begin(), c.end(), [](QChar ch) { return ch.isDigit(); })) {
            edtCodigos->setFocus(Qt::OtherFocusReason);
            MensErro(QStringLiteral("Código de inconsistência inválido: \"%1\".").arg(c), true);
        }
        f.cdConsPedido << Ajusta(c, 3);
    }
    zel::data::DataPacket packet;
    {
        const TShowAviScope wait(TAviKind::Fetching, MainForm());
        packet = AppServer().GetPendentes(f);
    }
    rows_.Clear();
    rows_.Append(packet);
    lastFilter_ = f;
    consulted_ = true;
    lblResumo->setText(QString());
    ShowRows();
    updateActions();
    if (rows_.Count() == 0)
        MessageDlg(QStringLiteral("Nenhuma inconsistência pendente atende aos critérios."), TMsgDlgType::mtInformation,
                   mbOK);
}

void TfrmLibLote::dbgPadraoKeyPress(QObject* sender, QChar& key)
{
    TSupervisorScreen::dbgPadraoKeyPress(sender, key);
    if (key != QLatin1Char(' ')) return;
    key = QChar();
    const int row = cdsDados.CurrentRow();
    if (row < 0 || row >= rows_.Count()) return;
    marcarSe([row](int r) { return r == row; }, rows_.Value(row, cMarca).isNull());
}

void TfrmLibLote::dbgPadraoCellClick(TColumn* column)
{
    if (!column || column->FieldName() != QLatin1String("MARCA")) return;
    const int row = cdsDados.CurrentRow();
    if (row < 0 || row >= rows_.Count()) return;
    marcarSe([row](int r) { return r == row; }, rows_.Value(row, cMarca).isNull());
}

void TfrmLibLote::btnMarcarCodigoClick()
{
    const QString typed = edtMarcarCodigo->Text().trimmed();
    if (typed.isEmpty()) {
        edtMarcarCodigo->setFocus(Qt::OtherFocusReason);
        MensErro(QStringLiteral("Informe o código das inconsistências a marcar."), true);
    }
    const QString code = Ajusta(typed, 3);
    marcarSe([&](int r) { return Text(rows_.Value(r, cCodigo)) == code; }, true);
}

void TfrmLibLote::btnMarcarTodasClick()
{
    marcarSe([](int) { return true; }, true);
}

void TfrmLibLote::btnDesmarcarTodasClick()
{
    marcarSe([](int) { return true; }, false);
}

void TfrmLibLote::btnLiberarClick()
{
    std::vector<int> sent;
    for (int r = 0; r < rows_.Count(); ++r)
        if (!rows_.Value(r, cMarca).isNull()) sent.push_back(r);
    if (sent.empty()) MensErro(QStringLiteral("Marque as inconsistências a liberar."), true);
    const QString filial = Filial();
    if (MessageDlg(QStringLiteral("Liberar %1 inconsistências?").arg(sent.size()), TMsgDlgType::mtConfirmation,
                   mbYesNo) != mrYes)
        Abort();

    for (int r : sent) {
        rows_.SetValue(r, cResultado, Variant());
        rows_.SetValue(r, cSituacao, Variant());
    }
    std::vector<int> unknown;
    QString failure;
    QElapsedTimer sinceShown;
    sinceShown.start();
    {
        const TShowAviScope wait(TAviKind::Storing, MainForm());
        for (size_t from = 0; from < sent.size() && failure.isEmpty(); from += kMaxLote) {
            const size_t to = std::min(sent.size(), from + size_t(kMaxLote));
            Zel08200::LiberaLoteRequest request;
            request.set_cd_filial(filial.toStdString());
            request.set_tx_obs(edtObs->Text().toStdString());
            for (size_t i = from; i < to; ++i) {
                const int r = sent[i];
                Zel08200::LoteItem* item = request.add_itens();
                item->set_cd_filial(Text(rows_.Value(r, cFilial)).toStdString());
                item->set_nr_pedido(Text(rows_.Value(r, cPedido)).toStdString());
                item->set_nr_incons_ped(Text(rows_.Value(r, cNrIncons)).toStdString());
                item->set_ativa(Text(rows_.Value(r, cAtiva)).toStdString());
                item->set_tx_obs_lib_inco(Text(rows_.Value(r, cObs)).toStdString());
            }
            std::vector<bool> answered(to - from, false);
            const auto onReply = [&](const Zel08200::LiberaLoteReply& reply) {
                Guarded([&] {
                    size_t at = reply.inicio();
                    for (const Outcome& o : reply.outcomes()) {
                        if (at >= answered.size()) break;
                        const int r = sent[from + at];
                        answered[at] = true;
                        rows_.SetValue(r, cSituacao, Variant(std::int64_t(o.situacao())));
                        rows_.SetValue(r, cResultado, ResultText(o));
                        if (o.situacao() == Outcome::LIBERADA || o.situacao() == Outcome::JA_LIBERADA)
                            rows_.SetValue(r, cMarca, Variant());
                        ++at;
                    }
                    if (reply.has_error() && failure.isEmpty())
                        failure = QString::fromStdString(reply.error().message());
                    // The grid follows the answers, a few times a second.
                    if (sinceShown.elapsed() > 250) {
                        ShowRows(cdsDados.CurrentRow());
                        sinceShown.restart();
                    }
                });
            };
            try {
                AppServer().LiberaLote(request, onReply);
            } catch (const EAbort&) {
                throw;
            } catch (...) {
                failure = FailureText(std::current_exception());
            }
            for (size_t i = 0; i < answered.size(); ++i)
                if (!answered[i]) unknown.push_back(sent[from + i]);
            // Rows of later requests were never sent: they stay as they are.
            if (!failure.isEmpty()) break;
        }
    }
    for (int r : unknown) {
        rows_.SetValue(r, cSituacao, Variant(std::int64_t(kSemResposta)));
        rows_.SetValue(r, cResultado, QStringLiteral("Sem resposta do servidor"));
    }
    if (!unknown.empty()) releRows(unknown);

    int liberadas = 0, recusadas = 0, semResposta = 0;
    for (int r : sent) {
        const Variant s = rows_.Value(r, cSituacao);
        const std::int64_t v = s.isNull() ? std::int64_t(kSemResposta) : s.toInteger();
        if (v == Outcome::LIBERADA)
            ++liberadas;
        else if (v >= kSemResposta)
            ++semResposta;
        else
            ++recusadas;
    }
    QString resumo = QStringLiteral("%1 liberadas, %2 recusadas").arg(liberadas).arg(recusadas);
    if (semResposta) resumo += QStringLiteral(", %1 sem resposta").arg(semResposta);
    lblResumo->setText(resumo);
    ShowRows(cdsDados.CurrentRow());
    updateActions();
    if (!failure.isEmpty()) ShowError(QStringLiteral("A liberação foi interrompida: %1\n%2").arg(failure, resumo));
}

void TfrmLibLote::releRows(const std::vector<int>& unknown)
{
    // What the server did with a row whose answer was lost is read back: a
    // row still pending was not released; one that is no longer pending was
    // released (by this batch or by someone else: the history tells).
    std::set<std::tuple<QString, QString, QString>> pending;
    try {
        TRows back(rows_.Columns());
        const TShowAviScope wait(TAviKind::Fetching, MainForm());
        back.Append(AppServer().GetPendentes(lastFilter_));
        for (int r = 0; r < back.Count(); ++r)
            pending.emplace(Text(back.Value(r, cFilial)), Text(back.Value(r, cPedido)), Text(back.Value(r, cNrIncons)));
    } catch (const EAbort&) {
        return;
    } catch (...) {
        return; // still unknown: the rows say so
    }
    for (int r : unknown) {
        const bool still = pending.count({Text(rows_.Value(r, cFilial)), Text(rows_.Value(r, cPedido)),
                                          Text(rows_.Value(r, cNrIncons))}) > 0;
        rows_.SetValue(r, cSituacao, Variant(std::int64_t(still ? kPendente : kNaoPendente)));
        rows_.SetValue(r, cResultado,
                       still ? QStringLiteral("Não liberada: o servidor não respondeu; continua pendente")
                             : QStringLiteral("Sem resposta, mas não está mais pendente: "
                                              "confira no histórico"));
        if (!still) rows_.SetValue(r, cMarca, Variant());
    }
}

void CriaLibLote()
{
    if (!frmLibLote) frmLibLote = CreateForm<TfrmLibLote>(MainForm());
    frmLibLote->Show();
}

} // namespace Pkg_zel08200
