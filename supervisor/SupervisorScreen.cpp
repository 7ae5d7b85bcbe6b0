#include "supervisor/SupervisorScreen.h"

#include "host/Login.h"
#include "host/Messages.h"
#include "host/Strings.h"
#include "platform/data/DateTime.h"
#include "platform/data/Exceptions.h"
#include "platform/data/Guard.h"
#include "platform/widgets/FormFocus.h"

namespace Pkg_zel08200 {

using namespace zel;

TSupervisorScreen::TSupervisorScreen(QWidget* owner, const QString& name, const QString& caption, const QString& code,
                                     std::vector<TColumnSpec> columns, int criteriaHeight)
    : TfrmPadraoGrid(owner, name), rows_(std::move(columns))
{
    setCaption(caption);
    lblCodTela->setText(code);
    SetWidth(lblCodTela, std::max(52, lblCodTela->fontMetrics().horizontalAdvance(code) + 2));

    netSupervisao.ServerName = QString::fromLatin1(kRdmSupervisaoService);
    // A server down when the screen opens is tried again at each call.
    netSupervisao.ThrowException = false;
    netSupervisao.BeforeConnect = [](TNetConnection* c) {
        c->Host = WebURL();
        c->Port = WebPort();
    };

    rows_.DefineFields(cdsDados);
    dtsPadrao.setDataSet(&cdsDados);
    dbgPadrao->ClearColumns();
    for (const TColumnSpec& c : rows_.Columns()) {
        TColumn* col = dbgPadrao->AddColumn(c.field);
        col->Title.setCaption(c.caption);
        col->setWidth(c.width);
        // A column of zero width holds what the rows carry but nobody reads.
        if (c.width == 0) col->setVisible(false);
    }
    dbgPadrao->OnTitleClick = [this](TColumn* column) { Guarded([&] { dbgPadraoTitleClick(column); }); };
    dbgPadrao->setAccessibleName(caption);

    qryFilial.SQL = {QStringLiteral("SELECT CDFILIAL, NMFILIAL FROM FILIAL ORDER BY CDFILIAL")};
    qryFilial.AddField(QStringLiteral("CDFILIAL"), TFieldType::ftString, 8, QStringLiteral("Código"), true);
    qryFilial.AddField(QStringLiteral("NMFILIAL"), TFieldType::ftString, 30, QStringLiteral("Nome"));
    dtsFilial.setDataSet(qryFilial.Query());
    qryFilial.DataSource = &dtsFilial;

    panCriterios = new TPanel(this, QStringLiteral("panCriterios"));
    SetBounds(panCriterios, 0, 28, 725, criteriaHeight);
    SetAlign(panCriterios, TAlign::alTop);
    SetTabOrder(panCriterios, 0);

    lblFilial = new TLabel(panCriterios, QStringLiteral("lblFilial"), QStringLiteral("Filial"));
    SetBounds(lblFilial, 6, 9, 60, 13);
    medCdFilial = new TMaskEdit(panCriterios, QStringLiteral("medCdFilial"));
    SetBounds(medCdFilial, 70, 6, 50, 21);
    SetColor(medCdFilial, colors::clInfoBk);
    medCdFilial->setEditMask(QStringLiteral(">aaaa;0; "));
    medCdFilial->setMaxLength(4);
    medCdFilial->setAccessibleName(QStringLiteral("Filial"));
    lblFilial->setBuddy(medCdFilial);
    btpFilial = new TBtnPesquisa(panCriterios, QStringLiteral("btpFilial"));
    SetBounds(btpFilial, 125, 6, 21, 21);
    btpFilial->Associate = medCdFilial;
    btpFilial->Title = QStringLiteral("Filial");
    btpFilial->DataSource = &dtsFilial;
    btpFilial->EmptyError = QStringLiteral("Não há filial cadastrada.");
    btpFilial->setAccessibleName(QStringLiteral("Pesquisar filial"));
    SetHint(btpFilial, QStringLiteral("Pesquisar"));
    SetShowHint(btpFilial, true);
    btpFilial->OnAfterPesq = [this](QObject* s) { btpFilialAfterPesq(s); };
    edtNmFilial = new TEdit(panCriterios, QStringLiteral("edtNmFilial"));
    SetBounds(edtNmFilial, 151, 6, 300, 21);
    edtNmFilial->setEnabled(false);
    edtNmFilial->setAccessibleName(QStringLiteral("Nome da filial"));
    SetColor(edtNmFilial, colors::clBtnFace);
    SetOnExit(medCdFilial, [this](QObject*) { medCdFilialExit(); });

    lblContagem = new TLabel(panNavigator, QStringLiteral("lblContagem"));
    SetBounds(lblContagem, 320, 8, 280, 13);
    lblContagem->setAccessibleName(QStringLiteral("Contagem"));
}

TSupervisorScreen::~TSupervisorScreen() = default;

void TSupervisorScreen::FormCreate(QObject* sender)
{
    TfrmPadraoGrid::FormCreate(sender);
    medCdFilial->setText(FiliProc());
    edtNmFilial->setText(NomeFiliProc());
    // A branch-bound login works in its branch only.
    medCdFilial->setEnabled(!ModuFili());
    btpFilial->setEnabled(!ModuFili() && dtmDBGeral);
    netSupervisao.Connect();
    ShowRows();
}

void TSupervisorScreen::FormClose(QObject* sender, TCloseAction& action)
{
    TfrmPadraoGrid::FormClose(sender, action);
    netSupervisao.Disconnect();
}

TEdit* TSupervisorScreen::AddCriterion(const char* name, const QString& label, int left, int top, int labelWidth,
                                       int width, int maxLength)
{
    const QString n = QString::fromLatin1(name);
    auto* l = new TLabel(panCriterios, QStringLiteral("lbl") + n.mid(3), label);
    SetBounds(l, left, top + 3, labelWidth, 13);
    auto* e = new TEdit(panCriterios, n);
    SetBounds(e, left + labelWidth + 4, top, width, 21);
    e->setMaxLength(maxLength);
    e->setAccessibleName(QString(label).remove(QLatin1Char('&')));
    l->setBuddy(e);
    return e;
}

QPushButton* TSupervisorScreen::AddButton(const char* name, const QString& text, int left, int top, int width)
{
    auto* b = new QPushButton(text, panCriterios);
    b->setObjectName(QString::fromLatin1(name));
    b->setAccessibleName(QString(text).remove(QLatin1Char('&')));
    SetBounds(b, left, top, width, 23);
    return b;
}

QString TSupervisorScreen::Filial()
{
    if (EmptyString(medCdFilial->Text())) {
        medCdFilial->setFocus(Qt::OtherFocusReason);
        MensErro(QStringLiteral("Filial deve ser informada."), true);
    }
    return Ajusta(medCdFilial->Text().trimmed(), 4);
}

TDateTime TSupervisorScreen::DateCriterion(TEdit* edit, const QString& what)
{
    const QString text = edit->Text().trimmed();
    if (text.isEmpty()) return {};
    TDateTime d;
    if (!TryStrToDate(text, d)) {
        edit->setFocus(Qt::OtherFocusReason);
        MensErro(QStringLiteral("%1: \"%2\" não é uma data.").arg(what, text), true);
    }
    return d;
}

void TSupervisorScreen::ShowRows(int keepRow)
{
    cdsDados.SetData(rows_.Packet());
    if (keepRow >= 0 && keepRow < cdsDados.RecordCount()) cdsDados.setRecNo(keepRow + 1);
    lblContagem->setText(CountText());
}

QString TSupervisorScreen::CountText() const
{
    const int n = rows_.Count();
    return n == 1 ? QStringLiteral("1 linha") : QStringLiteral("%1 linhas").arg(n);
}

void TSupervisorScreen::dbgPadraoTitleClick(TColumn* column)
{
    if (!column) return;
    const int c = rows_.ColumnOf(column->FieldName());
    if (c < 0) return;
    sortAscending_ = c == sortColumn_ ? !sortAscending_ : true;
    sortColumn_ = c;
    const int current = cdsDados.CurrentRow();
    const std::vector<int> moved = rows_.SortBy(c, sortAscending_);
    RowsSorted(moved);
    ShowRows(current >= 0 && current < int(moved.size()) ? moved[size_t(current)] : -1);
}

void TSupervisorScreen::RowsSorted(const std::vector<int>&) {}

void TSupervisorScreen::btpFilialAfterPesq(QObject*)
{
    medCdFilial->setText(qryFilial.FieldByName(QStringLiteral("CDFILIAL"))->AsString());
    edtNmFilial->setText(qryFilial.FieldByName(QStringLiteral("NMFILIAL"))->AsString());
}

void TSupervisorScreen::medCdFilialExit()
{
    // The name follows the code typed, when the branch table is at hand.
    if (!dtmDBGeral) return;
    const QString code = Ajusta(medCdFilial->Text().trimmed(), 4);
    TADOIBQuery q(QStringLiteral("qryNmFilial"));
    q.SQL = {QStringLiteral("SELECT CDFILIAL, NMFILIAL FROM FILIAL WHERE CDFILIAL = :P_CDFILIAL")};
    q.AddField(QStringLiteral("CDFILIAL"), TFieldType::ftString, 8);
    q.AddField(QStringLiteral("NMFILIAL"), TFieldType::ftString, 30);
    q.ParamByName(QStringLiteral("P_CDFILIAL")).setAsString(code);
    q.Open();
    edtNmFilial->setText(q.IsEmpty() ? QString() : q.FieldByName(QStringLiteral("NMFILIAL"))->AsString());
}

} // namespace Pkg_zel08200
