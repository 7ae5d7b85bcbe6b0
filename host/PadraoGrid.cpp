#include "host/PadraoGrid.h"

#include "host/Application.h"
#include "host/Dialogs.h"
#include "host/GridUtils.h"
#include "host/ListDialogs.h"
#include "host/ServerCall.h"
#include "platform/data/Guard.h"
#include "platform/widgets/FormFocus.h"
#include "platform/widgets/Scaling.h"

#include <QAction>
#include <QActionEvent>
#include <QApplication>
#include <QCloseEvent>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStyle>

namespace zel {

namespace {

// The bounds every grid screen is designed with, and the frame they were
// designed in: 8-pixel borders and a 31-pixel caption. The client area keeps
// its designed size; the child window adds the frame it draws itself.
const QRect kDesignBounds(0, 0, 741, 417);
const QSize kDesignFrame(16, 47);

QPixmap standardGlyph(QStyle::StandardPixmap sp)
{
    return QApplication::style()->standardIcon(sp).pixmap(18, 18);
}

// A small printer: paper in, the body, paper out.
QPixmap printerGlyph()
{
    QPixmap pm(18, 18);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 1.5, 9, 5));
    p.setBrush(QColor(120, 130, 145));
    p.drawRoundedRect(QRectF(1.5, 6.5, 15, 7), 1.5, 1.5);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 11.5, 9, 5));
    p.setPen(QColor(90, 200, 90));
    p.drawPoint(QPointF(14, 8.5));
    return pm;
}

QAction* makeAction(QMenu* menu, const char* name, const QString& text)
{
    auto* a = menu->addAction(text);
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

} // namespace

TfrmPadraoGrid::TfrmPadraoGrid(QWidget* parent, const QString& name) : QWidget(parent)
{
    setObjectName(name);
    setAttribute(Qt::WA_DeleteOnClose, false);
    MarkControl(this);
    RegisterScreen(this);
    resize(kDesignBounds.width() - kDesignFrame.width(), kDesignBounds.height() - kDesignFrame.height());
    buildMenu();
    buildToolbar();
    buildBody();
    bindEvents();
    UpdateTabOrder(this);
}

TfrmPadraoGrid::~TfrmPadraoGrid() = default;

void TfrmPadraoGrid::buildMenu()
{
    // The menus belong to the screen; while it is the active child window
    // they are in the main form's menu bar (mergeMenus).
    auto menu = [this](const char* name, const QString& title) {
        auto* m = new QMenu(title, this);
        m->setObjectName(QString::fromLatin1(name));
        return m;
    };
    mnuOperacao = menu("mnuOperacao", QStringLiteral("&Operação"));
    mnuListagem = makeAction(mnuOperacao, "mnuListagem", QStringLiteral("&Listagem"));
    mnuConfigImpressora = makeAction(mnuOperacao, "mnuConfigImpressora", QStringLiteral("&Configurar impressora"));
    mnuOperacao->addSeparator();
    mnuFechar = makeAction(mnuOperacao, "mnuFechar", QStringLiteral("&Fechar"));

    mnuManutencao = menu("mnuManutencao", QStringLiteral("&Manutenção"));
    mnuIncluir = makeAction(mnuManutencao, "mnuIncluir", QStringLiteral("&Incluir"));
    mnuAlterar = makeAction(mnuManutencao, "mnuAlterar", QStringLiteral("&Alterar"));
    mnuExcluir = makeAction(mnuManutencao, "mnuExcluir", QStringLiteral("&Excluir"));
    mnuConfirmar = makeAction(mnuManutencao, "mnuConfirmar", QStringLiteral("C&onfirmar"));
    mnuCancelar = makeAction(mnuManutencao, "mnuCancelar", QStringLiteral("&Cancelar"));
    mnuIncluir->setEnabled(false);
    mnuExcluir->setEnabled(false);
    mnuConfirmar->setEnabled(false);
    mnuCancelar->setEnabled(false);

    mnuConsulta = menu("mnuConsulta", QStringLiteral("&Consulta"));
    mnuProcurar = makeAction(mnuConsulta, "mnuProcurar", QStringLiteral("&Procurar"));
    mnuProcurar->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    mnuVerificar = makeAction(mnuConsulta, "mnuVerificar", QStringLiteral("&Verificar"));
    mnuVerificar->setShortcut(QKeySequence(Qt::Key_F5));

    // Entries added later (by a derived screen) get the same treatment.
    for (QMenu* m : Menus()) {
        m->installEventFilter(this);
        for (QAction* a : m->actions())
            AdoptAction(a);
    }
}

void TfrmPadraoGrid::buildToolbar()
{
    panMenu = new TPanel(this, QStringLiteral("panMenu"));
    SetAlign(panMenu, TAlign::alTop);
    SetBounds(panMenu, 0, 0, 725, 28);

    auto button = [this](const char* name, int left, QStyle::StandardPixmap glyph, const QString& hint) {
        auto* b = new TButtonFlat(panMenu, QString::fromLatin1(name));
        SetBounds(b, left, 1, 33, 25);
        b->setFlat(true);
        b->setGlyph(standardGlyph(glyph));
        SetHint(b, hint);
        SetShowHint(b, true);
        return b;
    };
    sbtAlterar = button("sbtAlterar", 4, QStyle::SP_FileDialogDetailedView, QStringLiteral("Alterar"));
    sbtConfirmar = button("sbtConfirmar", 40, QStyle::SP_DialogApplyButton, QStringLiteral("Confirmar"));
    sbtCancelar = button("sbtCancelar", 76, QStyle::SP_DialogCancelButton, QStringLiteral("Cancelar"));
    sbtProcurar = button("sbtProcurar", 112, QStyle::SP_FileDialogContentsView, QStringLiteral("Procurar"));
    sbtVerificar = button("sbtVerificar", 148, QStyle::SP_BrowserReload, QStringLiteral("Verificar"));
    sbtImprimir = button("sbtImprimir", 184, QStyle::SP_DriveFDIcon, QStringLiteral("Imprimir"));
    sbtImprimir->setGlyph(printerGlyph());
    sbtAjuda = button("sbtAjuda", 220, QStyle::SP_MessageBoxQuestion, QStringLiteral("Ajuda"));
    sbtFechar = button("sbtFechar", 256, QStyle::SP_DialogCloseButton, QStringLiteral("Fechar"));
    sbtConfirmar->setEnabled(false);
    sbtCancelar->setEnabled(false);

    lblCodTela = new TLabel(panMenu, QStringLiteral("lblCodTela"));
    lblCodTela->setAutoSize(false);
    lblCodTela->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    SetFont(lblCodTela, TFont(QStringLiteral("MS Sans Serif"), -11, fsBold));
    SetBounds(lblCodTela, 725 - 60, 7, 52, 13);
    // The screen code stays at the right end of the toolbar.
    panMenu->installEventFilter(this);
}

void TfrmPadraoGrid::buildBody()
{
    panNavigator = new TPanel(this, QStringLiteral("panNavigator"));
    SetAlign(panNavigator, TAlign::alBottom);
    SetBounds(panNavigator, 0, 340, 725, 30);
    dbtNome = new TDBText(panNavigator, QStringLiteral("dbtNome"));
    SetBounds(dbtNome, 8, 8, 300, 13);
    SetFont(dbtNome, TFont(QStringLiteral("MS Sans Serif"), -11, fsBold));
    dbnPadrao = new TDBNavigator(panNavigator, QStringLiteral("dbnPadrao"));
    SetBounds(dbnPadrao, 725 - 112, 3, 104, 24);
    dbnPadrao->setDataSource(&dtsPadrao);

    pgcPadrao = new TPageControl(this, QStringLiteral("pgcPadrao"));
    SetAlign(pgcPadrao, TAlign::alClient);
    SetTabOrder(pgcPadrao, 1);
    tshPadrao = new TTabSheet(pgcPadrao, QStringLiteral("tshPadrao"), QStringLiteral("Dados"));
    panDbgPadrao = new TPanel(tshPadrao, QStringLiteral("panDbgPadrao"));
    panDbgPadrao->setBevelOuter(TBevelCut::bvNone);
    SetAlign(panDbgPadrao, TAlign::alClient);
    scbFolhaDados = new TScrollBox(panDbgPadrao, QStringLiteral("scbFolhaDados"));
    SetAlign(scbFolhaDados, TAlign::alClient);
    dbgPadrao = new TDBGrid(scbFolhaDados->Content(), QStringLiteral("dbgPadrao"));
    SetAlign(dbgPadrao, TAlign::alClient);
    dbgPadrao->setDataSource(&dtsPadrao);
    dbgPadrao->setReadOnly(true);
    dbgPadrao->setOptions(dgTitles | dgColumnResize | dgColLines | dgRowLines | dgTabs | dgRowSelect |
                          dgAlwaysShowSelection | dgConfirmDelete | dgCancelOnExit);

    pmnNavegar = new QMenu(this);
    pmnNavegar->setObjectName(QStringLiteral("pmnNavegar"));
    const struct {
        const char* name;
        const char* text;
        TNavigateBtn button;
    } moves[] = {{"mniPrimeiro", "Primeiro", TNavigateBtn::nbFirst},
                 {"mniAnterior", "Anterior", TNavigateBtn::nbPrior},
                 {"mniProximo", "Próximo", TNavigateBtn::nbNext},
                 {"mniUltimo", "Último", TNavigateBtn::nbLast}};
    for (const auto& m : moves) {
        QAction* a = makeAction(pmnNavegar, m.name, QString::fromUtf8(m.text));
        const TNavigateBtn b = m.button;
        connect(a, &QAction::triggered, this, [this, b] {
            Guarded([&] {
                TDataSet* ds = dbgPadrao->DataSet();
                if (!ds || !ds->Active()) return;
                switch (b) {
                case TNavigateBtn::nbFirst:
                    ds->First();
                    break;
                case TNavigateBtn::nbPrior:
                    ds->Prior();
                    break;
                case TNavigateBtn::nbNext:
                    ds->Next();
                    break;
                case TNavigateBtn::nbLast:
                    ds->Last();
                    break;
                }
            });
        });
    }
    dbgPadrao->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(dbgPadrao, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { pmnNavegar->popup(dbgPadrao->viewport()->mapToGlobal(p)); });
}

void TfrmPadraoGrid::bindEvents()
{
    struct Binding {
        TButtonFlat* button;
        QAction* entry;
        void (TfrmPadraoGrid::*handler)(QObject*);
    };
    const Binding bindings[] = {
        {sbtAlterar, mnuAlterar, &TfrmPadraoGrid::sbtAlterarClick},
        {sbtConfirmar, mnuConfirmar, &TfrmPadraoGrid::sbtConfirmarClick},
        {sbtCancelar, mnuCancelar, &TfrmPadraoGrid::sbtCancelarClick},
        {sbtProcurar, mnuProcurar, &TfrmPadraoGrid::sbtProcurarClick},
        {sbtVerificar, mnuVerificar, &TfrmPadraoGrid::sbtVerificarClick},
        {sbtImprimir, mnuListagem, &TfrmPadraoGrid::sbtImprimirClick},
        {sbtAjuda, nullptr, &TfrmPadraoGrid::sbtAjudaClick},
        {sbtFechar, mnuFechar, &TfrmPadraoGrid::sbtFecharClick},
    };
    for (const Binding& b : bindings) {
        const auto handler = b.handler;
        TButtonFlat* button = b.button;
        // The button runs its click under the guard itself.
        button->OnClick = [this, handler](QObject* sender) { (this->*handler)(sender); };
        if (b.entry)
            connect(b.entry, &QAction::triggered, this, [this, handler, button] {
                // A shortcut of a disabled button's entry does nothing.
                if (!button->isEnabled()) return;
                Guarded([&] { (this->*handler)(button); });
            });
    }
    dbgPadrao->OnKeyPress = [this](QObject* sender, QChar& key) { dbgPadraoKeyPress(sender, key); };
    dbgPadrao->OnKeyDown = [this](QObject* sender, int& key, Qt::KeyboardModifiers shift) {
        dbgPadraoKeyDown(sender, key, shift);
    };
}

void TfrmPadraoGrid::AdoptAction(QAction* action)
{
    if (!action || action->isSeparator()) return;
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    if (!actions().contains(action)) addAction(action);
}

// ---- lifecycle --------------------------------------------------------------

void TfrmPadraoGrid::DoCreate()
{
    ScaleBy(DesignScale());
    Guarded([this] { FormCreate(this); });
}

void TfrmPadraoGrid::ScaleBy(double ratio)
{
    ScaleControls(this, ratio);
    scale_ *= ratio;
    fitClientSize();
}

void TfrmPadraoGrid::fitClientSize()
{
    if (subWindow_) {
        placeInMdiArea();
        return;
    }
    const QSize client = ClientSize();
    resize(client.width(), client.height() + contentsMargins().top());
}

QSize TfrmPadraoGrid::ClientSize() const
{
    const QRect design = designBounds_.isValid() ? designBounds_ : kDesignBounds;
    return QSize(ScaleDesign(design.width() - kDesignFrame.width(), scale_),
                 ScaleDesign(design.height() - kDesignFrame.height(), scale_));
}

void TfrmPadraoGrid::setFormBounds(int left, int top, int width, int height)
{
    designBounds_ = QRect(left, top, width, height);
    fitClientSize();
}

QList<QMenu*> TfrmPadraoGrid::Menus() const
{
    return {mnuOperacao, mnuManutencao, mnuConsulta};
}

void TfrmPadraoGrid::fitCodTela()
{
    // The system font may be wider than the one the width was chosen for:
    // the code is never cut.
    const int need = lblCodTela->sizeHint().width();
    if (lblCodTela->width() < need) lblCodTela->resize(need, lblCodTela->height());
    lblCodTela->move(panMenu->width() - lblCodTela->width() - 8, lblCodTela->y());
}

void TfrmPadraoGrid::placeInMdiArea()
{
    // The client area gets its designed size whatever frame the child window
    // draws; the window keeps its designed place as far as the area lets it
    // show whole.
    resize(ClientSize());
    if (QLayout* frameLayout = subWindow_->layout()) frameLayout->activate();
    const QSize frame = subWindow_->size() - size();
    const QSize outer = ClientSize() + frame.expandedTo(QSize(0, 0));
    const QRect design = designBounds_.isValid() ? designBounds_ : kDesignBounds;
    const QSize room = subWindow_->mdiArea() ? subWindow_->mdiArea()->viewport()->size() : outer;
    const int left = std::max(0, std::min(design.left(), room.width() - outer.width()));
    const int top = std::max(0, std::min(design.top(), room.height() - outer.height()));
    subWindow_->setGeometry(QRect(QPoint(left, top), outer));
}

void TfrmPadraoGrid::Show()
{
    fitCodTela();
    if (QMdiArea* mdi = MdiArea()) {
        if (!subWindow_) {
            subWindow_ = mdi->addSubWindow(this);
            subWindow_->setObjectName(objectName() + QStringLiteral("Janela"));
            subWindow_->setAttribute(Qt::WA_DeleteOnClose);
            subWindow_->setWindowIcon(QIcon(standardGlyph(QStyle::SP_FileDialogListView)));
            subWindow_->installEventFilter(this);
            placeInMdiArea();
            connect(mdi, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) {
                if (w && w == subWindow_)
                    becomeActive();
                else
                    becomeInactive();
            });
        }
        subWindow_->show();
        subWindow_->raise();
        mdi->setActiveSubWindow(subWindow_);
    } else {
        showOwnMenuBar();
        show();
        raise();
        activateWindow();
    }
    becomeActive();
}

bool TfrmPadraoGrid::Close()
{
    if (subWindow_) return subWindow_->close();
    return close();
}

void TfrmPadraoGrid::becomeActive()
{
    mergeMenus(true);
    if (active_ || activating_) return;
    active_ = true;
    activating_ = true;
    Guarded([this] { FormActivate(this); });
    activating_ = false;
}

void TfrmPadraoGrid::becomeInactive()
{
    active_ = false;
    mergeMenus(false);
}

void TfrmPadraoGrid::mergeMenus(bool merge)
{
    if (!subWindow_) return;
    QMenuBar* bar = MainMenuBar();
    if (!bar) return;
    for (QMenu* m : Menus()) {
        QAction* entry = m->menuAction();
        const bool merged = bar->actions().contains(entry);
        if (merge && !merged)
            bar->insertAction(MainMenuMergePoint(), entry);
        else if (!merge && merged)
            bar->removeAction(entry);
    }
}

void TfrmPadraoGrid::showOwnMenuBar()
{
    // A screen of its own, outside the main form: its menus in a bar above
    // the client area, which the aligned controls then start under.
    if (ownMenuBar_) return;
    ownMenuBar_ = new QMenuBar(this);
    ownMenuBar_->setObjectName(QStringLiteral("mnuPadrao"));
    ownMenuBar_->setNativeMenuBar(false);
    for (QMenu* m : Menus())
        ownMenuBar_->addMenu(m);
    const int height = ownMenuBar_->sizeHint().height();
    ownMenuBar_->setGeometry(0, 0, width(), height);
    setContentsMargins(0, height, 0, 0);
    fitClientSize();
}

void TfrmPadraoGrid::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isWindow()) return;
    if (isActiveWindow())
        becomeActive();
    else
        becomeInactive();
}

void TfrmPadraoGrid::closeEvent(QCloseEvent* event)
{
    if (WaitingForWork()) {
        event->ignore();
        return;
    }
    TCloseAction action = TCloseAction::caFree;
    if (!Guarded([&] { FormClose(this, action); })) {
        event->ignore();
        return;
    }
    switch (action) {
    case TCloseAction::caNone:
        event->ignore();
        return;
    case TCloseAction::caHide:
        event->ignore();
        if (subWindow_)
            subWindow_->hide();
        else
            hide();
        becomeInactive();
        return;
    case TCloseAction::caMinimize:
        event->ignore();
        if (subWindow_)
            subWindow_->showMinimized();
        else
            showMinimized();
        return;
    case TCloseAction::caFree:
        event->accept();
        becomeInactive();
        // The child window deletes itself on close (and the screen with it);
        // a screen of its own is deleted here.
        if (!subWindow_) deleteLater();
        return;
    }
}

bool TfrmPadraoGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == panMenu && event->type() == QEvent::Resize) {
        fitCodTela();
        if (ownMenuBar_) ownMenuBar_->resize(width(), ownMenuBar_->height());
    } else if (event->type() == QEvent::ActionAdded && qobject_cast<QMenu*>(watched)) {
        AdoptAction(static_cast<QActionEvent*>(event)->action());
    }
    return QWidget::eventFilter(watched, event);
}

// ---- base handlers ------------------------------------------------------------

void TfrmPadraoGrid::FormCreate(QObject*) {}

void TfrmPadraoGrid::FormActivate(QObject*) {}

void TfrmPadraoGrid::FormClose(QObject*, TCloseAction& action)
{
    action = TCloseAction::caFree;
}

void TfrmPadraoGrid::sbtAlterarClick(QObject*)
{
    TDataSet* ds = dtsPadrao.DataSet();
    if (ds && ds->Active() && !ds->IsEmpty()) ds->Edit();
}

void TfrmPadraoGrid::sbtConfirmarClick(QObject*)
{
    TDataSet* ds = dtsPadrao.DataSet();
    if (ds && ds->IsEditing()) ds->Post();
}

void TfrmPadraoGrid::sbtCancelarClick(QObject*)
{
    TDataSet* ds = dtsPadrao.DataSet();
    if (ds && ds->IsEditing()) ds->Cancel();
}

void TfrmPadraoGrid::sbtProcurarClick(QObject*)
{
    TDataSet* ds = dtsPadrao.DataSet();
    if (ds && ds->Active()) Procura(ds);
}

void TfrmPadraoGrid::sbtVerificarClick(QObject*)
{
    RefreshGrid(this);
}

void TfrmPadraoGrid::sbtImprimirClick(QObject*)
{
    MessageDlg(QStringLiteral("Esta tela não tem relatório."), TMsgDlgType::mtInformation, mbOK);
}

void TfrmPadraoGrid::sbtAjudaClick(QObject*)
{
    MessageDlg(QStringLiteral("%1 (%2)").arg(Caption(), lblCodTela->Caption()), TMsgDlgType::mtInformation, mbOK);
}

void TfrmPadraoGrid::sbtFecharClick(QObject*)
{
    Close();
}

void TfrmPadraoGrid::dbgPadraoKeyPress(QObject*, QChar& key)
{
    // Enter confirms nothing in a list: it is dropped.
    if (key == QLatin1Char('\r') || key == QLatin1Char('\n')) key = QChar();
}

void TfrmPadraoGrid::dbgPadraoKeyDown(QObject*, int& key, Qt::KeyboardModifiers shift)
{
    // The lists of these screens take no new rows and lose none from the keyboard.
    if (key == Qt::Key_Insert || (key == Qt::Key_Delete && (shift & Qt::ControlModifier))) key = 0;
}

} // namespace zel
