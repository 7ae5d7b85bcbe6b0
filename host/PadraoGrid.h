#pragma once

#include "host/Messages.h"
#include "platform/data/DataSource.h"
#include "platform/widgets/ButtonFlat.h"
#include "platform/widgets/DBCtrls.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/PageControl.h"
#include "platform/widgets/StdCtrls.h"

#include <QMdiSubWindow>
#include <QPointer>
#include <QWidget>

class QAction;
class QMenu;
class QMenuBar;
class QMdiSubWindow;

namespace zel {

// What closing a screen does with it.
enum class TCloseAction { caNone, caHide, caFree, caMinimize };

// Creates a screen in two phases: the derived class is constructed, then its
// FormCreate runs (through the virtual call, so the derived one) under the
// guard. A failing FormCreate is reported like any handler's failure (the
// silent Abort is not) and the screen is still returned.
template <class TForm, class... Args> TForm* CreateForm(Args&&... args)
{
    auto* form = new TForm(std::forward<Args>(args)...);
    form->DoCreate();
    return form;
}

// The base of the grid screens. It builds the components every such screen
// has and binds their events, by name, to virtual handlers that a derived
// screen replaces (calling the base first where it needs the base's work):
//
//   menus           mnuOperacao: mnuListagem, mnuConfigImpressora, mnuFechar
//                   mnuManutencao: mnuIncluir, mnuAlterar, mnuExcluir,
//                                  mnuConfirmar, mnuCancelar
//                   mnuConsulta: mnuProcurar, mnuVerificar
//   panMenu         the toolbar: sbtAlterar, sbtConfirmar, sbtCancelar,
//                   sbtProcurar, sbtVerificar, sbtImprimir, sbtAjuda,
//                   sbtFechar (flat buttons) and the screen code lblCodTela
//   pgcPadrao       page tshPadrao > panel panDbgPadrao > scroll box
//                   scbFolhaDados > grid dbgPadrao (on dtsPadrao)
//   panNavigator    dbtNome (a field of the current row) and dbnPadrao
//   non-visual      dtsPadrao, msgPadrao, msgMensagensPadroes, pmnNavegar
//
// Bindings: FormCreate (CreateForm), FormActivate (each activation),
// FormClose (closing; the action decides what happens), the buttons' and
// their menu entries' clicks, dbgPadraoKeyPress and dbgPadraoKeyDown (the
// grid's keys). Every binding runs under the guard. The screen opens as a
// child window of the main form's multiple-document area (a window of its
// own when there is none).
class TfrmPadraoGrid : public QWidget {
public:
    explicit TfrmPadraoGrid(QWidget* parent = nullptr, const QString& name = QStringLiteral("frmPadraoGrid"));
    ~TfrmPadraoGrid() override;

    // Handlers bound by name.
    virtual void FormCreate(QObject* sender);
    virtual void FormActivate(QObject* sender);
    virtual void FormClose(QObject* sender, TCloseAction& action);
    virtual void sbtAlterarClick(QObject* sender);
    virtual void sbtConfirmarClick(QObject* sender);
    virtual void sbtCancelarClick(QObject* sender);
    virtual void sbtProcurarClick(QObject* sender);
    virtual void sbtVerificarClick(QObject* sender);
    virtual void sbtImprimirClick(QObject* sender);
    virtual void sbtAjudaClick(QObject* sender);
    virtual void sbtFecharClick(QObject* sender);
    virtual void dbgPadraoKeyPress(QObject* sender, QChar& key);
    virtual void dbgPadraoKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift);

    // Runs FormCreate under the guard (CreateForm calls it).
    void DoCreate();

    // Caption of the window.
    QString Caption() const { return windowTitle(); }
    void setCaption(const QString& c) { setWindowTitle(c); }
    // Bounds of the window (left, top, width, height) as designed, at 96 dpi
    // and text height 13, in the designed frame. The client area gets the
    // designed size times the screen's scale; the child window keeps the
    // designed place as far as the main form's area lets it show whole.
    void setFormBounds(int left, int top, int width, int height);
    // The client area's size: as designed, times the scale.
    QSize ClientSize() const;
    // Grows (or shrinks) every control and the client area by ratio; creation
    // (DoCreate) scales by DesignScale() before FormCreate runs.
    void ScaleBy(double ratio);
    double Scale() const { return scale_; }

    // Shows the screen and brings it to the front; the activation runs
    // FormActivate.
    void Show();
    // Closes the screen the way the user would: FormClose decides.
    bool Close();
    // The child window holding the screen, when it is in the main form.
    QMdiSubWindow* SubWindow() const { return subWindow_; }

    // The screen's menus. While the screen is the active child window of the
    // main form they are merged into the main form's menu bar (its own menus
    // stay), and they leave it when the screen is deactivated or closed; a
    // screen of its own shows them in a bar of its own ("mnuPadrao"). Their
    // shortcuts work while the focus is in the screen.
    QList<QMenu*> Menus() const;

    // Components.
    QMenu* mnuOperacao;
    QAction* mnuListagem;
    QAction* mnuConfigImpressora;
    QAction* mnuFechar;
    QMenu* mnuManutencao;
    QAction* mnuIncluir;
    QAction* mnuAlterar;
    QAction* mnuExcluir;
    QAction* mnuConfirmar;
    QAction* mnuCancelar;
    QMenu* mnuConsulta;
    QAction* mnuProcurar;
    QAction* mnuVerificar;

    TPanel* panMenu;
    TButtonFlat* sbtAlterar;
    TButtonFlat* sbtConfirmar;
    TButtonFlat* sbtCancelar;
    TButtonFlat* sbtProcurar;
    TButtonFlat* sbtVerificar;
    TButtonFlat* sbtImprimir;
    TButtonFlat* sbtAjuda;
    TButtonFlat* sbtFechar;
    TLabel* lblCodTela;

    TPageControl* pgcPadrao;
    TTabSheet* tshPadrao;
    TPanel* panDbgPadrao;
    TScrollBox* scbFolhaDados;
    TDBGrid* dbgPadrao;

    TPanel* panNavigator;
    TDBText* dbtNome;
    TDBNavigator* dbnPadrao;
    QMenu* pmnNavegar;

    TDataSource dtsPadrao{QStringLiteral("dtsPadrao")};
    TMessages msgPadrao{QStringLiteral("msgPadrao")};
    TMessages msgMensagensPadroes{QStringLiteral("msgMensagensPadroes")};

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Binds a screen's own menu entry and tool button pair is the screens'
    // business; this helper only makes an entry's shortcut work while the
    // screen has the focus.
    void AdoptAction(QAction* action);

private:
    void buildMenu();
    void buildToolbar();
    void buildBody();
    void bindEvents();
    void fitCodTela();
    void fitClientSize();
    void placeInMdiArea();
    // Activation: merges the menus and, once per activation, runs FormActivate.
    void becomeActive();
    void becomeInactive();
    void mergeMenus(bool merge);
    void showOwnMenuBar();

    QPointer<QMdiSubWindow> subWindow_;
    QMenuBar* ownMenuBar_ = nullptr;
    QRect designBounds_;
    double scale_ = 1.0;
    bool active_ = false;
    bool activating_ = false;
};

} // namespace zel
