#pragma once

#include "app/ModuleLibrary.h"
#include "platform/data/Variant.h"

#include <QDialog>
#include <QMainWindow>

#include <memory>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMdiArea;

namespace zel::app {

// Asks for the order to open in the review screen: branch, order number,
// order date and delivery date (short date format).
class TfrmAbrePedido : public QDialog {
public:
    explicit TfrmAbrePedido(QWidget* parent = nullptr);
    // False, after showing why, when a field is missing or cannot be used (an
    // order number that is not one, a date that is none). The order number
    // is brought to its 10-digit form.
    bool Validate();

    QLineEdit* edtFilial;
    QLineEdit* edtPedido;
    QLineEdit* edtDtPedido;
    QLineEdit* edtDtEntrega;

private:
    // The typed order number in its 10-digit form; false when it is not one.
    bool adjustPedido();
};

// The shell's main window: the multiple-document area where the screens open,
// and the menu that loads the module on first use and calls its entry.
class TfrmPrincipal : public QMainWindow {
public:
    explicit TfrmPrincipal(QString modulePath, QWidget* parent = nullptr);
    ~TfrmPrincipal() override;

    QMdiArea* mdiArea;
    QAction* mnuIncPed;       // "Inconsistência do Pedido": the module in filter mode
    QAction* mnuIncPedPedido; // the review screen for one given order
    QAction* mnuCascata;
    QAction* mnuLadoALado;
    QAction* mnuFecharJanelas;
    QAction* mnuSair;
    QLabel* lblStatus;  // operator, branch and server of the login
    QLabel* lblConexao; // the last failure of a call to the server, until one succeeds

    // Shows the link's last failure in the status bar; an empty text clears it.
    void ShowLinkStatus(const QString& failure);

    const QString& ModulePath() const { return modulePath_; }
    TModuleLibrary* Module() const { return module_.get(); }

    // Loads the module if it is not yet; raises, after showing why, when it
    // cannot be loaded (the silent Abort: the reason has been shown).
    void EnsureModule();
    // Loads the module if needed and calls its IniProc; failures reach the
    // caller (the menu handlers run it under the guard).
    void RunIniProc(const std::vector<zel::Variant>& params);
    void OpenIncPed();
    void OpenIncPedPedido(const QString& filial, const QString& pedido, const QString& dtPedido,
                          const QString& dtEntrega);
    // Asks for the order with TfrmAbrePedido, then opens it.
    void AskAndOpenIncPedPedido();

    // Loads the modules that bring menu entries of their own and puts their
    // entries in the menus they name (a menu of that title is made before
    // "Janela" when there is none). A module that cannot be loaded is
    // reported and left out; the others still load.
    void LoadMenuModules(const QStringList& paths);
    const std::vector<std::unique_ptr<TModuleLibrary>>& MenuModules() const { return menuModules_; }

    // Closes every screen (false when one refused) and then finalises and
    // unloads the modules. Called once when the shell ends.
    bool CloseScreens();
    void ShutdownModule();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void updateStatus();

    QString modulePath_;
    std::unique_ptr<TModuleLibrary> module_;
    std::vector<std::unique_ptr<TModuleLibrary>> menuModules_;
    QAction* janelaMenu_ = nullptr;
};

} // namespace zel::app
