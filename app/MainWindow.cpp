#include "app/MainWindow.h"

#include "host/Application.h"
#include "host/Dialogs.h"
#include "host/Login.h"
#include "host/Messages.h"
#include "host/NetConnection.h"
#include "host/ServerCall.h"
#include "host/Strings.h"
#include "platform/data/DateTime.h"
#include "platform/data/Exceptions.h"
#include "platform/data/Guard.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QVBoxLayout>

namespace zel::app {

// ---- order dialog -----------------------------------------------------------

TfrmAbrePedido::TfrmAbrePedido(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbrePedido"));
    setWindowTitle(QStringLiteral("Inconsistência de um pedido"));
    const QString dateHint = DateHint();
    auto make = [this](const char* name, int maxLength) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setMaxLength(maxLength);
        return e;
    };
    edtFilial = make("edtFilial", 8);
    edtFilial->setText(FiliProc());
    edtPedido = make("edtPedido", 10);
    // The order number in its stored 10-digit form, as the screens take it.
    connect(edtPedido, &QLineEdit::editingFinished, this, [this] { Guarded([this] { adjustPedido(); }); });
    edtDtPedido = make("edtDtPedido", 10);
    edtDtPedido->setPlaceholderText(dateHint);
    edtDtEntrega = make("edtDtEntrega", 10);
    edtDtEntrega->setPlaceholderText(dateHint);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Filial:"), edtFilial);
    form->addRow(QStringLiteral("&Pedido:"), edtPedido);
    form->addRow(QStringLiteral("Data do p&edido:"), edtDtPedido);
    form->addRow(QStringLiteral("Data de &entrega:"), edtDtEntrega);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("btbAbrePedido"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        Guarded([this] {
            if (Validate()) accept();
        });
    });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { Guarded([this] { reject(); }); });
}

bool TfrmAbrePedido::adjustPedido()
{
    const QString typed = edtPedido->text().trimmed();
    for (QChar c : typed)
        if (c < u'0' || c > u'9') return false;
    const QString adjusted = Ajusta(typed, 10);
    if (adjusted.size() > 10) return false;
    if (adjusted != edtPedido->text()) edtPedido->setText(adjusted);
    return true;
}

bool TfrmAbrePedido::Validate()
{
    auto refuse = [](QLineEdit* e, const QString& text) {
        ShowError(text);
        e->setFocus();
        return false;
    };
    if (EmptyString(edtFilial->text())) return refuse(edtFilial, QStringLiteral("Filial deve ser informada."));
    if (EmptyString(edtPedido->text())) return refuse(edtPedido, QStringLiteral("Nr.do pedido deve ser informado."));
    if (!adjustPedido())
        return refuse(edtPedido, QStringLiteral("Nr.do pedido deve ter só algarismos, no máximo 10: \"%1\".")
                                     .arg(edtPedido->text().trimmed()));
    TDateTime d;
    if (!TryStrToDate(edtDtPedido->text(), d)) return refuse(edtDtPedido, QStringLiteral("Data do pedido inválida."));
    if (!TryStrToDate(edtDtEntrega->text(), d))
        return refuse(edtDtEntrega, QStringLiteral("Data de entrega inválida."));
    return true;
}

// ---- main window ----------------------------------------------------------------

TfrmPrincipal::TfrmPrincipal(QString modulePath, QWidget* parent)
    : QMainWindow(parent), modulePath_(std::move(modulePath))
{
    setObjectName(QStringLiteral("frmPrincipal"));
    setWindowTitle(QStringLiteral("Gestão de Pedidos"));
    resize(1024, 700);

    mdiArea = new QMdiArea(this);
    mdiArea->setObjectName(QStringLiteral("mdiPrincipal"));
    mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea);

    auto action = [this](const char* name, const QString& text, auto handler) {
        auto* a = new QAction(text, this);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, [handler] { Guarded(handler); });
        return a;
    };
    mnuIncPed = action("mnuIncPed", QStringLiteral("&Inconsistência do Pedido"), [this] { OpenIncPed(); });
    mnuIncPedPedido = action("mnuIncPedPedido", QStringLiteral("Inconsistência de &um pedido..."),
                             [this] { AskAndOpenIncPedPedido(); });
    mnuSair = action("mnuSair", QStringLiteral("&Sair"), [this] { close(); });
    mnuCascata = action("mnuCascata", QStringLiteral("&Cascata"), [this] { mdiArea->cascadeSubWindows(); });
    mnuLadoALado = action("mnuLadoALado", QStringLiteral("&Lado a lado"), [this] { mdiArea->tileSubWindows(); });
    mnuFecharJanelas =
        action("mnuFecharJanelas", QStringLiteral("&Fechar todas"), [this] { mdiArea->closeAllSubWindows(); });

    auto* arquivo = menuBar()->addMenu(QStringLiteral("&Arquivo"));
    arquivo->setObjectName(QStringLiteral("mnuArquivo"));
    arquivo->addAction(mnuSair);
    auto* pedidos = menuBar()->addMenu(QStringLiteral("&Pedidos"));
    pedidos->setObjectName(QStringLiteral("mnuPedidos"));
    pedidos->addAction(mnuIncPed);
    pedidos->addAction(mnuIncPedPedido);
    auto* janela = menuBar()->addMenu(QStringLiteral("&Janela"));
    janela->setObjectName(QStringLiteral("mnuJanela"));
    janela->addAction(mnuCascata);
    janela->addAction(mnuLadoALado);
    janela->addSeparator();
    janela->addAction(mnuFecharJanelas);
    janelaMenu_ = janela->menuAction();

    // The login's text and the link's trouble are widgets of the status bar,
    // not its passing message: a menu's hint covers them only while it shows.
    statusBar()->setObjectName(QStringLiteral("stbPrincipal"));
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    statusBar()->addWidget(lblStatus, 1);
    lblConexao = new QLabel(this);
    lblConexao->setObjectName(QStringLiteral("lblConexao"));
    lblConexao->setStyleSheet(QStringLiteral("color: #B00000;"));
    lblConexao->setAccessibleName(QStringLiteral("Conexão com o servidor"));
    lblConexao->hide();
    statusBar()->addWidget(lblConexao);
    updateStatus();
    SetMainForm(this, mdiArea);
    // The active screen's menus go before the window menu.
    SetMainMenu(menuBar(), janela->menuAction());
    TNetConnection::SetLinkStatusObserver([this](const QString& failure) { ShowLinkStatus(failure); });
}

TfrmPrincipal::~TfrmPrincipal()
{
    TNetConnection::SetLinkStatusObserver({});
    ShutdownModule();
    if (MainForm() == this) {
        SetMainMenu(nullptr);
        SetMainForm(nullptr, nullptr);
    }
}

void TfrmPrincipal::ShowLinkStatus(const QString& failure)
{
    lblConexao->setText(failure);
    lblConexao->setToolTip(failure);
    lblConexao->setVisible(!failure.isEmpty());
}

void TfrmPrincipal::updateStatus()
{
    const TLoginInfo& l = CurrentLogin();
    if (l.operador.isEmpty()) {
        lblStatus->setText(QStringLiteral("Sem login"));
        return;
    }
    QString op = l.operador;
    if (!l.nmOperador.isEmpty()) op += QStringLiteral(" - ") + l.nmOperador;
    QString fil = l.filial;
    if (!l.nmFilial.isEmpty()) fil += QStringLiteral(" - ") + l.nmFilial;
    const QString server =
        l.servers.size() > 1 ? l.servers.join(QLatin1Char(',')) : QStringLiteral("%1:%2").arg(l.webUrl).arg(l.webPort);
    lblStatus->setText(QStringLiteral("Operador: %1    Filial: %2%3    Servidor: %4")
                           .arg(op, fil, l.moduFili ? QStringLiteral(" (fixa)") : QString(), server));
}

void TfrmPrincipal::EnsureModule()
{
    if (module_ && module_->Loaded()) return;
    auto module = std::make_unique<TModuleLibrary>(modulePath_);
    QString error;
    if (!module->Load(error)) MensErro(error, true);
    module_ = std::move(module);
}

void TfrmPrincipal::RunIniProc(const std::vector<zel::Variant>& params)
{
    EnsureModule();
    module_->IniProc(params);
}

void TfrmPrincipal::OpenIncPed()
{
    RunIniProc({Variant(true), Variant(QString()), Variant(QString()), Variant(QString()), Variant(QString())});
}

void TfrmPrincipal::OpenIncPedPedido(const QString& filial, const QString& pedido, const QString& dtPedido,
                                     const QString& dtEntrega)
{
    RunIniProc({Variant(false), Variant(filial), Variant(pedido), Variant(dtPedido), Variant(dtEntrega)});
}

void TfrmPrincipal::AskAndOpenIncPedPedido()
{
    TfrmAbrePedido dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    OpenIncPedPedido(dialog.edtFilial->text().trimmed(), dialog.edtPedido->text().trimmed(),
                     dialog.edtDtPedido->text().trimmed(), dialog.edtDtEntrega->text().trimmed());
}

bool TfrmPrincipal::CloseScreens()
{
    mdiArea->closeAllSubWindows();
    // Screens closed with caFree are deleted later: delete them now, while
    // their module is still loaded.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (QMdiSubWindow* w : mdiArea->subWindowList())
        if (w->isVisible()) return false;
    return true;
}

void TfrmPrincipal::LoadMenuModules(const QStringList& paths)
{
    for (const QString& path : paths) {
        auto module = std::make_unique<TModuleLibrary>(path);
        QString error;
        if (!module->Load(error)) {
            ShowError(error);
            continue;
        }
        TModuleLibrary* m = module.get();
        menuModules_.push_back(std::move(module));
        std::vector<TZelMenuEntry> entries;
        // A module whose entries fail is reported; the next ones still load.
        if (!Guarded([&] { entries = m->MenuEntries(); })) continue;
        for (const TZelMenuEntry& e : entries) {
            const QString title = QString::fromUtf8(e.menu);
            QMenu* menu = nullptr;
            for (QAction* a : menuBar()->actions())
                if (a->menu() && a->text().remove(QLatin1Char('&')) == QString(title).remove(QLatin1Char('&')))
                    menu = a->menu();
            if (!menu) {
                menu = new QMenu(title, this);
                menuBar()->insertMenu(janelaMenu_, menu);
            }
            auto* action = new QAction(QString::fromUtf8(e.text), this);
            action->setObjectName(QString::fromUtf8(e.name));
            action->setEnabled(e.enabled != 0);
            const QString command = QString::fromUtf8(e.command);
            connect(action, &QAction::triggered, this,
                    [m, command] { Guarded([&] { m->IniProc({Variant(command)}); }); });
            menu->addAction(action);
        }
    }
}

void TfrmPrincipal::ShutdownModule()
{
    if (!module_ && menuModules_.empty()) return;
    CloseScreens();
    // Screens that hid themselves instead of closing are the modules' too.
    for (QMdiSubWindow* w : mdiArea->subWindowList())
        delete w;
    for (auto& m : menuModules_)
        m->Unload();
    menuModules_.clear();
    if (module_) module_->Unload();
    module_.reset();
}

void TfrmPrincipal::closeEvent(QCloseEvent* event)
{
    if (WaitingForWork() || !CloseScreens()) {
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace zel::app
