// The filter dialog's components, its showing and the three order-number modes.

#include "filter/TfrmFiltroIncons.h"

#include "host/Strings.h"
#include "platform/data/Guard.h"
#include "platform/widgets/FormFocus.h"
#include "review/Pictures.h"

namespace Cli_zel08101 {

using namespace zel;

namespace {

const TFont kBold(QStringLiteral("MS Sans Serif"), -11, fsBold);
const TFont kRegular(QStringLiteral("MS Sans Serif"), -11);

TGroupBox* groupBox(QWidget* parent, const char* name, const char* caption, int left, int top, int width, int height,
                    int tabOrder)
{
    auto* box = new TGroupBox(parent, QString::fromLatin1(name), QString::fromUtf8(caption));
    SetFont(box, kBold);
    SetBounds(box, left, top, width, height);
    SetTabOrder(box, tabOrder);
    return box;
}

TLabel* label(QWidget* parent, const char* name, const char* caption, int left, int top)
{
    auto* l = new TLabel(parent, QString::fromLatin1(name), QString::fromUtf8(caption));
    SetFont(l, kBold);
    SetLeft(l, left);
    SetTop(l, top);
    return l;
}

TRadioButton* option(QWidget* parent, const char* name, const char* caption, int top, int width, int tabOrder)
{
    auto* r = new TRadioButton(parent, QString::fromLatin1(name), QString::fromUtf8(caption));
    SetFont(r, kBold);
    SetBounds(r, 6, top, width, 17);
    SetTabOrder(r, tabOrder);
    return r;
}

// One bound of the order-number interval: its fixed-size label and its edit,
// both disabled until "Intervalo" is chosen.
TMaskEdit* intervalBound(QWidget* parent, TLabel*& lbl, const char* labelName, const char* caption, int labelWidth,
                         const char* editName, int top, int tabOrder, const char* spoken)
{
    lbl = label(parent, labelName, caption, 25, top + 3);
    lbl->setAutoSize(false);
    SetBounds(lbl, 25, top + 3, labelWidth, 13);
    lbl->setEnabled(false);

    auto* e = new TMaskEdit(parent, QString::fromLatin1(editName));
    SetFont(e, kRegular);
    SetBounds(e, 56, top, 100, 21);
    // Ten optional digits; the text keeps no literals; a blank shows an empty position.
    e->setEditMask(QStringLiteral("9999999999;0; "));
    e->setMaxLength(10);
    SetColor(e, colors::clInfoBk);
    e->setEnabled(false);
    SetTabOrder(e, tabOrder);
    e->setAccessibleName(QString::fromUtf8(spoken));
    lbl->setBuddy(e);
    return e;
}

TDateEditPlus* dateEdit(QWidget* parent, const char* name, int top, int tabOrder, const char* spoken)
{
    auto* d = new TDateEditPlus(parent, QString::fromLatin1(name));
    d->setAccessibleNames(QString::fromUtf8(spoken), QStringLiteral("Calendário: ") + QString::fromUtf8(spoken));
    SetFont(d, kRegular);
    SetBounds(d, 45, top, 100, 21);
    d->setValidColor(colors::clBlue);
    // The date carries no time of day; the calendar's week-day names are the
    // edit's own ("Domingo" to "Sábado").
    d->setSaveTime(false);
    SetTabOrder(d, tabOrder);
    return d;
}

} // namespace

TfrmFiltroIncons::TfrmFiltroIncons(QWidget* owner) : TfrmFiltroPadrao(owner, QStringLiteral("frmFiltroIncons"))
{
    setCaption(QStringLiteral("Filtro de Inconsistência de Pedidos"));
    lblCodTela->setCaption(QStringLiteral("ZEL08101"));
    SetWidth(lblCodTela, 52);
    SetBounds(grbFiltroPadrao, 0, 0, 341, 172);
    SetBounds(panMenu, 341, 0, panMenu->width(), 172);
    createOrderNumberBox();
    createDateBoxes();
    createData();
    msgPadrao.setMessages({
        QStringLiteral("PEDIDO|Nr.Pedido"),
        QStringLiteral("N_CONSISTE|Não existe inconsistência do pedido."),
        QStringLiteral("INTINI<INTFIN|Intervalo inicial deve ser menor que o final."),
        QStringLiteral("INTINI_INF|Intervalo inicial deve ser informado."),
        QStringLiteral("INTFIN_INF|Intervalo final deve ser informado."),
        QStringLiteral("PEDIDO_INF|Nr.do pedido deve ser informado."),
        QStringLiteral("DTINI<DTFIN|Data inicial deve ser menor que a final."),
        QStringLiteral("DTINI_INF|Data inicial deve ser informada."),
        QStringLiteral("DTFIN_INF|Data final deve ser informada."),
    });
    bindEvents();
}

TfrmFiltroIncons::~TfrmFiltroIncons()
{
    if (frmFiltroIncons == this) frmFiltroIncons = nullptr;
}

void TfrmFiltroIncons::createOrderNumberBox()
{
    grbNrPedido = groupBox(grbFiltroPadrao, "grbNrPedido", "Nº Pedido", 4, 10, 170, 157, 0);
    rbtTNrPedido = option(grbNrPedido, "rbtTNrPedido", "Todos", 18, 61, 0);
    rbtIntervalo = option(grbNrPedido, "rbtIntervalo", "Intervalo", 43, 72, 1);

    medDeIntervalo =
        intervalBound(grbNrPedido, lblDeNrPedido, "lblDeNrPedido", "de", 36, "medDeIntervalo", 66, 2, "Nº pedido de");
    medAteIntervalo = intervalBound(grbNrPedido, lblAteNrPedido, "lblAteNrPedido", "até", 20, "medAteIntervalo", 91, 3,
                                    "Nº pedido até");

    rbtLNrPedido = option(grbNrPedido, "rbtLNrPedido", "Lista", 128, 62, 4);

    sbtNrPedido = new TButtonFlat(grbNrPedido, QStringLiteral("sbtNrPedido"));
    SetBounds(sbtNrPedido, 70, 125, 21, 21);
    SetHint(sbtNrPedido, QStringLiteral("Pesquisar"));
    sbtNrPedido->setAccessibleName(QStringLiteral("Pesquisar pedidos"));
    SetShowHint(sbtNrPedido, true);
    sbtNrPedido->setFlat(true);
    sbtNrPedido->setGlyph(Cli_zel08100::OpenFolderGlyph(), 2);
    sbtNrPedido->setEnabled(false);
}

void TfrmFiltroIncons::createDateBoxes()
{
    grbDtPed = groupBox(grbFiltroPadrao, "grbDtPed", "Data do Pedido", 179, 10, 156, 77, 1);
    lblDe = label(grbDtPed, "lblDe", "De", 6, 21);
    depDe = dateEdit(grbDtPed, "depDe", 18, 0, "Data do pedido de");
    lblAte = label(grbDtPed, "lblAte", "Até", 6, 46);
    depAte = dateEdit(grbDtPed, "depAte", 43, 1, "Data do pedido até");

    grbDtEntrega = groupBox(grbFiltroPadrao, "grbDtEntrega", "Data de Entrega", 179, 89, 156, 78, 2);
    lblEnDe = label(grbDtEntrega, "lblEnDe", "De", 6, 21);
    depEntrDE = dateEdit(grbDtEntrega, "depEntrDE", 18, 0, "Data de entrega de");
    lblEntAte = label(grbDtEntrega, "lblEntAte", "Ate", 6, 46);
    depEntrAte = dateEdit(grbDtEntrega, "depEntrAte", 43, 1, "Data de entrega até");

    for (auto [l, d] : {std::pair{lblDe, depDe}, {lblAte, depAte}, {lblEnDe, depEntrDE}, {lblEntAte, depEntrAte}})
        l->setBuddy(d);
}

void TfrmFiltroIncons::createData()
{
    TField* marcado = cdsNrPedido.AddField(QStringLiteral("IDMARCADO"), TFieldType::ftFixedChar, 1);
    marcado->setReadOnly(true);
    TField* nrPedido = cdsNrPedido.AddField(QStringLiteral("NRPEDIDO"), TFieldType::ftString, 10);
    nrPedido->setDisplayLabel(QStringLiteral("Nr.Pedido"));
    nrPedido->setDisplayWidth(14);
}

// Every binding of the dialog, in one place. The controls run their own
// events under the guard.
void TfrmFiltroIncons::bindEvents()
{
    // FormCreate, FormActivate, FormClose and btfLoadOpcClick are bound by the base dialog.
    sbtConfirma->OnClick = [this](QObject* s) { sbtConfirmaClick(s); };
    rbtTNrPedido->OnClick = [this](QObject* s) { rbtTNrPedidoClick(s); };
    rbtIntervalo->OnClick = [this](QObject* s) { rbtIntervaloClick(s); };
    rbtLNrPedido->OnClick = [this](QObject* s) { rbtLNrPedidoClick(s); };
    rbtLNrPedido->OnKeyDown = [this](QObject* s, int& key, Qt::KeyboardModifiers shift) {
        rbtLNrPedidoKeyDown(s, key, shift);
    };
    sbtNrPedido->OnClick = [this](QObject* s) { sbtNrPedidoClick(s); };
    SetOnExit(medDeIntervalo, [this](QObject* s) { medDeIntervaloExit(s); });
    SetOnExit(medAteIntervalo, [this](QObject* s) { medAteIntervaloExit(s); });
    SetOnExit(depDe, [this](QObject* s) { depdeExit(s); });
    SetOnExit(depAte, [this](QObject* s) { depAteExit(s); });
    SetOnExit(depEntrDE, [this](QObject* s) { depEntrDEExit(s); });
    SetOnExit(depEntrAte, [this](QObject* s) { depEntrAteExit(s); });
}

// ---------------------------------------------------------------- showing

void TfrmFiltroIncons::FormCreate(QObject* Sender)
{
    TfrmFiltroPadrao::FormCreate(Sender);
    rbtTNrPedido->setChecked(true);
    NrPedido.boTodos = rbtTNrPedido->Checked();
    NrPedido.boLista = false;
    NrPedido.boIntervalo = false;
    NrPedido.stDe = QStringLiteral(" ");
    NrPedido.stAte = QStringLiteral(" ");
    NrPedido.stLista = QStringLiteral(" ");
    Data.dtDe = TDateTime::Now();
    Data.dtAte = TDateTime::Now();
    Entrega.stDe = QStringLiteral(" ");
    Entrega.stAte = QStringLiteral(" ");
}

void TfrmFiltroIncons::btfLoadOpcClick(QObject* Sender)
{
    TfrmFiltroPadrao::btfLoadOpcClick(Sender);
    rbtTNrPedido->setChecked(true);
    depDe->SetDate(TDateTime::Now());
    depAte->SetDate(TDateTime::Now());
}

// Each showing re-opens the dialog as it was at the last confirmation (or
// with the defaults of its creation): the stored criteria win over what the
// saved options load.
void TfrmFiltroIncons::FormActivate(QObject*)
{
    repaint();
    btfLoadOpcClick(btfLoadOpc);
    rbtTNrPedido->setChecked(NrPedido.boTodos);
    rbtIntervalo->setChecked(NrPedido.boIntervalo);
    rbtLNrPedido->setChecked(NrPedido.boLista);
    medDeIntervalo->setText(NrPedido.stDe);
    medAteIntervalo->setText(NrPedido.stAte);
    // A list picked during an earlier showing but not confirmed is dropped.
    stPedido = NrPedido.stLista;
    depDe->SetDate(Data.dtDe);
    depAte->SetDate(Data.dtAte);
    depEntrDE->setText(Entrega.stDe);
    depEntrAte->setText(Entrega.stAte);
}

void TfrmFiltroIncons::FormClose(QObject* Sender, TCloseAction& Action)
{
    TfrmFiltroPadrao::FormClose(Sender, Action);
    // Hidden, never destroyed: the criteria and the order-number list live on.
    Action = TCloseAction::caHide;
}

// ------------------------------------------------------ order-number modes

void TfrmFiltroIncons::enableInterval(bool enabled)
{
    medDeIntervalo->setEnabled(enabled);
    medAteIntervalo->setEnabled(enabled);
    lblDeNrPedido->setEnabled(enabled);
    lblAteNrPedido->setEnabled(enabled);
}

void TfrmFiltroIncons::rbtTNrPedidoClick(QObject*)
{
    sbtNrPedido->setEnabled(!rbtTNrPedido->Checked());
    enableInterval(false);
    medDeIntervalo->Clear();
    medAteIntervalo->Clear();
}

void TfrmFiltroIncons::rbtIntervaloClick(QObject*)
{
    sbtNrPedido->setEnabled(!rbtIntervalo->Checked());
    enableInterval(true);
}

void TfrmFiltroIncons::rbtLNrPedidoClick(QObject*)
{
    sbtNrPedido->setEnabled(true);
    enableInterval(false);
}

// ------------------------------------------------------------ leaving edits

void TfrmFiltroIncons::medDeIntervaloExit(QObject*)
{
    medDeIntervalo->setText(Ajusta(medDeIntervalo->Text(), 10));
}

void TfrmFiltroIncons::medAteIntervaloExit(QObject*)
{
    medAteIntervalo->setText(Ajusta(medAteIntervalo->Text(), 10));
}

void TfrmFiltroIncons::depdeExit(QObject*)
{
    depDe->CheckValidDate();
}

void TfrmFiltroIncons::depAteExit(QObject*)
{
    depAte->CheckValidDate();
}

void TfrmFiltroIncons::depEntrDEExit(QObject*)
{
    depEntrDE->CheckValidDate();
}

void TfrmFiltroIncons::depEntrAteExit(QObject*)
{
    depEntrAte->CheckValidDate();
}

} // namespace Cli_zel08101
