#include "review/TfrmIncPed.h"

#include "platform/widgets/Controls.h"
#include "platform/widgets/FormFocus.h"
#include "review/IncPedData.h"
#include "review/Pictures.h"

#include <QAction>
#include <QMenu>

#include <algorithm>

namespace Cli_zel08100 {

using namespace zel;

namespace {
// A 16-pixel check box with a little room around it, and the grid line.
constexpr int kCheckColumnWidth = 20;
} // namespace

TfrmIncPed::TfrmIncPed(QWidget* owner) : TfrmPadraoGrid(owner, QStringLiteral("frmIncPed"))
{
    setCaption(QStringLiteral("Inconsistência do Pedido"));
    createData();
    createToolbar();
    createBranchPanel();
    createOrderGrid();
    createDetailPages();
    createMenu();
    msgPadrao.setMessages(MsgPadraoLines());
    msgMensagensPadroes.setMessages(MsgMensagensPadroesLines());
    setFormBounds(373, 195, 741, 417);
    bindEvents();
    Cli_zel08101::SetOrderList(this);
}

TfrmIncPed::~TfrmIncPed()
{
    if (Cli_zel08101::OrderList() == this) Cli_zel08101::SetOrderList(nullptr);
    if (frmIncPed == this) frmIncPed = nullptr;
}

void TfrmIncPed::createData()
{
    DefinePedidoFields(cdsPedido);
    DefineIncPedFields(cdsIncPed);
    DefineItemPedidoFields(cdsItemPedido);
    DefineGrupOperFields(cdsGrupOper);
    cdsPedidoIDSITPEDIDO = cdsPedido.FieldByName(QStringLiteral("IDSITPEDIDO"));

    DefineQryFilial(qryFilial);
    DefineQryVdFilial(qryVd_filial);
    dtsFilial.setDataSet(qryFilial.Query());
    qryFilial.DataSource = &dtsFilial;

    netIncPed.ServerName = QString::fromLatin1(zel::kRdmIncPedService);
    netIncPed.ThrowException = false;
}

void TfrmIncPed::createToolbar()
{
    lblCodTela->setText(QStringLiteral("ZEL08100"));
    // 52 pixels as designed, or what the screen code needs in this system's font.
    SetWidth(lblCodTela, std::max(52, lblCodTela->fontMetrics().horizontalAdvance(lblCodTela->text()) + 2));
    SetWidth(panMenu, 725);

    // The two hidden pictures only carry the bitmaps of the check column.
    imgChecked = new TImage(panMenu, QStringLiteral("imgChecked"));
    imgUnChecked = new TImage(panMenu, QStringLiteral("imgUnChecked"));
    int left = 552;
    for (TImage* img : {imgChecked, imgUnChecked}) {
        img->setAutoSize(true);
        img->setTransparent(true);
        img->setPicture(CheckBoxBitmap(img == imgChecked));
        img->setAccessibleName(img == imgChecked ? QStringLiteral("Inconsistência marcada")
                                                 : QStringLiteral("Inconsistência não marcada"));
        SetBounds(img, left, 5, 16, 16);
        img->hide();
        left += 18;
    }

    sbtFiltro = new TButtonFlat(panMenu, QStringLiteral("sbtFiltro"));
    SetBounds(sbtFiltro, 181, 4, 21, 21);
    sbtFiltro->setFlat(true);
    sbtFiltro->setGlyph(FunnelGlyph(), 2);
    // No hint, but a name for who cannot see the funnel.
    sbtFiltro->setAccessibleName(QStringLiteral("Filtrar pedidos"));

    btnLiberar = new TButtonFlat(panMenu, QStringLiteral("btnLiberar"));
    SetBounds(btnLiberar, 202, 4, 21, 21);
    btnLiberar->setFlat(true);
    SetHint(btnLiberar, QStringLiteral("Liberar inconsistências"));
    SetShowHint(btnLiberar, true);
    btnLiberar->setGlyph(LightningGlyph(), 1);
    btnLiberar->setEnabled(false);

    SetLeft(sbtImprimir, 238);
    sbtImprimir->setEnabled(false);
    SetLeft(sbtAjuda, 274);
    SetLeft(sbtFechar, 310);
}

void TfrmIncPed::createBranchPanel()
{
    panFilial = new TPanel(this, QStringLiteral("panFilial"));
    // Bounds first: aligned with its default top of 0, the panel would be put
    // above the toolbar before its designed top of 28 is known.
    SetBounds(panFilial, 0, 28, 725, 33);
    SetAlign(panFilial, TAlign::alTop);
    SetTabOrder(panFilial, 3);

    lblFilial = new TLabel(panFilial, QStringLiteral("lblFilial"), QStringLiteral("Filial"));
    SetFont(lblFilial, TFont(QStringLiteral("MS Sans Serif"), -11, fsBold, colors::clWindowText));
    SetBounds(lblFilial, 6, 9, 27, 13);
    lblFilial->setAutoSize(true); // sized to its caption in the font it has

    medCdFilial = new TMaskEdit(panFilial, QStringLiteral("medCdFilial"));
    SetBounds(medCdFilial, 44, 6, 50, 21);
    SetColor(medCdFilial, colors::clInfoBk);
    medCdFilial->setEditMask(QStringLiteral(">aaaa;0; "));
    medCdFilial->setMaxLength(4);
    SetTabOrder(medCdFilial, 0);
    lblFilial->setBuddy(medCdFilial);

    btpFilial = new TBtnPesquisa(panFilial, QStringLiteral("btpFilial"));
    SetBounds(btpFilial, 99, 6, 21, 21);
    btpFilial->Associate = medCdFilial;
    btpFilial->Title = QStringLiteral("Filial");
    btpFilial->DataSource = &dtsFilial;
    btpFilial->EmptyError = QStringLiteral("Não há filial cadastrada.");
    SetHint(btpFilial, QStringLiteral("Pesquisar"));
    SetShowHint(btpFilial, true);
    btpFilial->setAccessibleName(QStringLiteral("Pesquisar filial"));
    btpFilial->setGlyph(OpenFolderGlyph(), 2);
    SetTabOrder(btpFilial, 1);

    edtNmfilial = new TEdit(panFilial, QStringLiteral("edtNmfilial"));
    SetBounds(edtNmfilial, 125, 6, 410, 21);
    edtNmfilial->setEnabled(false);
    edtNmfilial->setAccessibleName(QStringLiteral("Nome da filial"));
    SetColor(edtNmfilial, colors::clBtnFace);
    SetTabOrder(edtNmfilial, 2);
}

void TfrmIncPed::createOrderGrid()
{
    SetBounds(pgcPadrao, pgcPadrao->x(), 61, 725, 279);
    SetBounds(panDbgPadrao, panDbgPadrao->x(), panDbgPadrao->y(), 717, 269);
    SetBounds(scbFolhaDados, scbFolhaDados->x(), scbFolhaDados->y(), 711, 263);
    SetTop(panNavigator, 340);
    SetWidth(panNavigator, 725);

    dbgPadrao->setDataSource(&dtsPedido);
    dbgPadrao->setAccessibleName(QStringLiteral("Pedidos"));
    SetAlign(dbgPadrao, TAlign::alTop);
    SetBounds(dbgPadrao, 0, 0, 711, 150);
    dbgPadrao->setReadOnly(true);
    dbgPadrao->setOptions(dgTitles | dgColumnResize | dgColLines | dgRowLines | dgTabs | dgRowSelect |
                          dgAlwaysShowSelection | dgConfirmDelete | dgCancelOnExit);
    dbgPadrao->ClearColumns();
    struct Col {
        const char* field;
        const char* title;
        int width;
    };
    for (const Col& c :
         {Col{"IDSITPEDIDO", "Sit.", 20}, Col{"NRPEDIDO", "Nr. Pedido", 66}, Col{"NMFANTCLIE", "Cliente", 214},
          Col{"DTPEDIDO", "Data Pedido", 67}, Col{"DTENTPED", "Data Entrega", 68}, Col{"NMFANVEN", "Vendedor", 200},
          Col{"VRPEDIDO", "Vr. Pedido", 60}}) {
        TColumn* col = dbgPadrao->AddColumn(QString::fromUtf8(c.field));
        col->Title.setCaption(QString::fromUtf8(c.title));
        col->setWidth(c.width);
    }

    dbtNome->setDataSource(&dtsPedido);
    dbtNome->setDataField(QStringLiteral("NRPEDIDO"));
    dbnPadrao->setDataSource(&dtsPedido);
    dbnPadrao->setHints({});
}

void TfrmIncPed::createDetailPages()
{
    QWidget* folha = scbFolhaDados->Content();

    // The splitter is the first child of the scroll box; aligned by its top
    // (150) it sits right under the order grid.
    Splitter1 = new TSplitter(folha, QStringLiteral("Splitter1"));
    Splitter1->lower();
    SetAlign(Splitter1, TAlign::alTop);
    SetBounds(Splitter1, 0, 150, 711, 2);
    Splitter1->setCursor(Qt::SizeVerCursor);

    pgcIncPed = new TPageControl(folha, QStringLiteral("pgcIncPed"));
    SetAlign(pgcIncPed, TAlign::alClient);
    SetBounds(pgcIncPed, 0, 152, 711, 111);
    SetTabOrder(pgcIncPed, 1);

    tshIncPed = new TTabSheet(pgcIncPed, QStringLiteral("tshIncPed"), QStringLiteral("Inconsistência"));
    panIncPed = new TPanel(tshIncPed, QStringLiteral("panIncPed"));
    SetAlign(panIncPed, TAlign::alClient);
    panIncPed->setBevelOuter(TBevelCut::bvLowered);

    dbgIncPed = new TDBGrid(panIncPed, QStringLiteral("dbgIncPed"));
    SetAlign(dbgIncPed, TAlign::alClient);
    dbgIncPed->setFrameShape(QFrame::NoFrame);
    SetColor(dbgIncPed, colors::clInfoBk);
    dbgIncPed->setDataSource(&dtsIncPedido);
    dbgIncPed->setAccessibleName(QStringLiteral("Inconsistências do pedido"));
    dbgIncPed->setOptions(dgTitles | dgColumnResize | dgColLines | dgRowLines | dgTabs | dgRowSelect |
                          dgAlwaysShowSelection | dgConfirmDelete | dgCancelOnExit);
    dbgIncPed->TitleFont = TFont(QStringLiteral("MS Sans Serif"), -11, 0, colors::clWindowText);

    // The check column: its title is the symbol font's "4", a check mark that
    // says a click marks them all. Drawn in the text colour, not the window's
    // white, which vanishes on the light title. Its cells hold 16-pixel check
    // boxes: the column is wide enough for them beside the grid line.
    TColumn* ativa = dbgIncPed->AddColumn(QStringLiteral("ATIVA"));
    ativa->Title.setCaption(QStringLiteral("4"));
    ativa->Title.Font = TFont(QStringLiteral("Monotype Sorts"), -11, 0, colors::clWindowText);
    ativa->Font = TFont(QStringLiteral("Monotype Sorts"), -11, fsBold, colors::clWindowText);
    ativa->setWidth(kCheckColumnWidth);
    struct Col {
        const char* field;
        const char* title;
        int width;
    };
    for (const Col& c :
         {Col{"CDCONSPEDIDO", "Código", 40}, Col{"NMCONSPEDIDO", "Descrição", 240}, Col{"NRITEMPED", "Nr.Item", 66},
          Col{"CDPRODUTO", "Cod.Produto", 80}, Col{"NMPRODUTO", "Produto", 240}}) {
        TColumn* col = dbgIncPed->AddColumn(QString::fromUtf8(c.field));
        col->Title.setCaption(QString::fromUtf8(c.title));
        col->Title.Font = dbgIncPed->TitleFont;
        col->setWidth(c.width);
        col->setReadOnly(true);
    }

    tshObs = new TTabSheet(pgcIncPed, QStringLiteral("tshObs"), QStringLiteral("Observação"));
    panObs = new TPanel(tshObs, QStringLiteral("panObs"));
    SetAlign(panObs, TAlign::alClient);
    panObs->setBevelOuter(TBevelCut::bvLowered);
    dmmObsIncPed = new TDBMemo(panObs, QStringLiteral("dmmObsIncPed"));
    SetAlign(dmmObsIncPed, TAlign::alClient);
    dmmObsIncPed->setDataSource(&dtsIncPedido);
    dmmObsIncPed->setDataField(QStringLiteral("TXOBSLIBINCO"));
    dmmObsIncPed->setAccessibleName(QStringLiteral("Observação da liberação"));
    SetTabOrder(dmmObsIncPed, 0);

    pgcIncPed->SetActivePage(tshIncPed);
}

void TfrmIncPed::createMenu()
{
    // The designed caption "-" is what makes it a separator: it shows no text.
    N1 = mnuManutencao->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    mnuLiberar = mnuManutencao->addAction(QStringLiteral("Liberar Inconsistências"));
    mnuLiberar->setObjectName(QStringLiteral("mnuLiberar"));
    mnuLiberar->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    mnuLiberar->setEnabled(false);
    AdoptAction(mnuLiberar);

    mnuListagem->setEnabled(false);
    mnuConfigImpressora->setEnabled(false);
    mnuIncluir->setEnabled(false);
    mnuAlterar->setEnabled(false);
    mnuExcluir->setEnabled(false);
}

// ---------------------------------------------------------------- what the handlers share

QString TfrmIncPed::activeControlName() const
{
    const QWidget* active = ActiveControl(this);
    return active ? active->objectName() : QString();
}

bool TfrmIncPed::worksInIncArea() const
{
    const QString name = activeControlName();
    return name == QLatin1String("dbgIncPed") || name == QLatin1String("dmmObsIncPed");
}

bool TfrmIncPed::hasReleaseRight() const
{
    return !cdsGrupOper.IsEmpty();
}

bool TfrmIncPed::currentMarked() const
{
    return cdsIncPed.FieldByName(QStringLiteral("ATIVA"))->AsString() == QLatin1String("S");
}

void TfrmIncPed::setMarkedCount(std::int32_t count)
{
    inConPedCheck = count;
}

void TfrmIncPed::ClearMarking()
{
    setMarkedCount(0);
    decideRelease(false, false);
}

void TfrmIncPed::decideRelease(bool marked, bool follow)
{
    state_.releaseRight = hasReleaseRight();
    state_.releaseMarked = marked;
    if (follow) {
        state_.filterMode = criaFiltro;
        state_.filterSawRelease = state_.releaseRight && state_.releaseMarked;
    }
    updateTools();
}

ReviewToolStates ReviewTools(const ReviewState& state)
{
    ReviewToolStates tools;
    tools.release = state.releaseRight && state.releaseMarked;
    // Filter mode: the filter and the release take turns; given-order mode:
    // the filter goes with the release.
    tools.filter = state.filterMode ? !state.filterSawRelease : state.filterSawRelease;
    tools.branch = !state.branchFixed;
    switch (state.area) {
    case ReviewState::Area::None:
        break;
    case ReviewState::Area::Orders:
        // Orders are not edited on this screen.
        tools.areaDecided = true;
        tools.verify = state.areaReady;
        tools.find = state.areaReady;
        tools.edit = false;
        break;
    case ReviewState::Area::Inconsistencies:
        tools.areaDecided = true;
        tools.verify = state.areaReady;
        tools.find = state.areaReady && state.inconsistencyPageShown;
        tools.edit = state.areaReady;
        break;
    }
    tools.confirm = state.noteEdit;
    tools.cancel = state.noteEdit;
    tools.inconsistencyPage = !state.notePageOnly;
    return tools;
}

void TfrmIncPed::updateTools()
{
    const ReviewToolStates tools = ReviewTools(state_);
    auto set = [](TButtonFlat* button, QAction* entry, bool enabled) {
        button->setEnabled(enabled);
        entry->setEnabled(enabled);
    };
    set(btnLiberar, mnuLiberar, tools.release);
    sbtFiltro->setEnabled(tools.filter);
    lblFilial->setEnabled(tools.branch);
    medCdFilial->setEnabled(tools.branch);
    btpFilial->setEnabled(tools.branch);
    if (tools.areaDecided) {
        set(sbtVerificar, mnuVerificar, tools.verify);
        set(sbtProcurar, mnuProcurar, tools.find);
        set(sbtAlterar, mnuAlterar, tools.edit);
    }
    set(sbtConfirmar, mnuConfirmar, tools.confirm);
    set(sbtCancelar, mnuCancelar, tools.cancel);
    tshIncPed->setEnabled(tools.inconsistencyPage);
}

} // namespace Cli_zel08100
