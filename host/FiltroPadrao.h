#pragma once

#include "host/Messages.h"
#include "host/PadraoGrid.h"
#include "platform/data/DataSet.h"
#include "platform/data/DataSource.h"
#include "platform/widgets/ButtonFlat.h"
#include "platform/widgets/StdCtrls.h"

#include <QDialog>

class QAction;
class QMenu;

namespace zel {

// The base of the filter dialogs: the criteria box grbFiltroPadrao on the
// left, the button column panMenu on the right (panBotoes with sbtConfirma,
// btfLoadOpc, btfSaveOpc and sbtFechar), the screen code lblCodTela, the
// message table msgPadrao, and saved options: the values of the criteria
// controls (edits, masked and date edits, option buttons, check boxes) kept
// per screen code and operator, offered by the popup menu ppmOpcoes and
// listed in cdsCarregaOpcoes.
//
// Bindings by name, each under the guard: FormCreate (CreateForm),
// FormActivate (at the start of each modal showing), FormClose (closing, by
// any way; the action decides: caHide, the default, keeps the dialog),
// btfLoadOpcClick (loads the saved options), btfSaveOpcClick.
class TfrmFiltroPadrao : public QDialog {
public:
    explicit TfrmFiltroPadrao(QWidget* parent = nullptr, const QString& name = QStringLiteral("frmFiltroPadrao"));
    ~TfrmFiltroPadrao() override;

    virtual void FormCreate(QObject* sender);
    virtual void FormActivate(QObject* sender);
    virtual void FormClose(QObject* sender, TCloseAction& action);
    virtual void btfLoadOpcClick(QObject* sender);
    virtual void btfSaveOpcClick(QObject* sender);

    void DoCreate();
    // Shows the dialog modally; FormActivate runs as it appears.
    int ShowModal();
    // Closes the dialog the way the user would: FormClose decides.
    bool Close();

    QString Caption() const { return windowTitle(); }
    void setCaption(const QString& c) { setWindowTitle(c); }
    // Sets the client area as designed (times the scale); the button column
    // and the criteria box follow.
    void setClientSize(int width, int height);
    // Grows every control and the client area by ratio; creation (DoCreate)
    // scales by DesignScale() before FormCreate runs.
    void ScaleBy(double ratio);
    double Scale() const { return scale_; }

    // Where the saved options live (a settings file); tests point it elsewhere.
    static void SetOptionsFile(const QString& path);
    static QString OptionsFile();
    // Whether options are saved for this screen and operator.
    bool HasSavedOptions() const;

    TGroupBox* grbFiltroPadrao;
    TPanel* panMenu;
    TPanel* panBotoes;
    TButtonFlat* sbtConfirma;
    TButtonFlat* btfLoadOpc;
    TButtonFlat* btfSaveOpc;
    TButtonFlat* sbtFechar;
    TLabel* lblCodTela;
    QMenu* ppmOpcoes;
    QAction* mnuCarregarOpcoes;
    QAction* mnuSalvarOpcoes;
    QMenu* PopupMenu1;
    TMessages msgPadrao{QStringLiteral("msgPadrao")};
    TClientDataSet cdsCarregaOpcoes{QStringLiteral("cdsCarregaOpcoes")};

protected:
    void done(int result) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString optionsGroup() const;
    void loadOptionsList();
    bool activatedThisShowing_ = false;
    bool closing_ = false;
    QSize designClient_;
    double scale_ = 1.0;
};

} // namespace zel
