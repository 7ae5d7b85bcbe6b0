#include "app/LoginDialog.h"

#include "host/Dialogs.h"
#include "host/LoginClient.h"
#include "host/Messages.h"
#include "host/NetConnection.h"
#include "host/Strings.h"
#include "host/WaitAnimation.h"
#include "platform/data/Guard.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace zel::app {

TfrmLogin::TfrmLogin(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Entrar no sistema"));
    auto* form = new QFormLayout;
    edtServidor = new QLineEdit(this);
    edtServidor->setObjectName(QStringLiteral("edtServidor"));
    edtServidor->setPlaceholderText(QStringLiteral("servidor:porta"));
    edtOperador = new QLineEdit(this);
    edtOperador->setObjectName(QStringLiteral("edtOperador"));
    edtOperador->setMaxLength(12);
    edtSenha = new QLineEdit(this);
    edtSenha->setObjectName(QStringLiteral("edtSenha"));
    edtSenha->setEchoMode(QLineEdit::Password);
    // Who logs in comes first; the server is usually given already.
    form->addRow(QStringLiteral("&Operador:"), edtOperador);
    form->addRow(QStringLiteral("S&enha:"), edtSenha);
    form->addRow(QStringLiteral("&Servidor:"), edtServidor);

    btnEntrar = new QPushButton(QStringLiteral("&Entrar"), this);
    btnEntrar->setObjectName(QStringLiteral("btnEntrar"));
    btnEntrar->setDefault(true);
    btnCancelar = new QPushButton(QStringLiteral("&Cancelar"), this);
    btnCancelar->setObjectName(QStringLiteral("btnCancelar"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnEntrar);
    buttons->addWidget(btnCancelar);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    setTabOrder(edtOperador, edtSenha);
    setTabOrder(edtSenha, edtServidor);
    setTabOrder(edtServidor, btnEntrar);

    connect(btnEntrar, &QPushButton::clicked, this, [this] {
        Guarded([this] {
            if (TryLogin()) accept();
        });
    });
    connect(btnCancelar, &QPushButton::clicked, this, [this] { Guarded([this] { reject(); }); });
}

void TfrmLogin::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    // The cursor starts where there is something to type: the operator, or
    // the password when the operator is given.
    (edtOperador->text().trimmed().isEmpty() ? edtOperador : edtSenha)->setFocus();
}

void TfrmLogin::setServer(const QString& address)
{
    edtServidor->setText(address);
}
void TfrmLogin::setOperador(const QString& operador)
{
    edtOperador->setText(operador);
}

bool TfrmLogin::TryLogin()
{
    QStringList servers;
    QString why;
    if (!ParseServerAddresses(edtServidor->text(), servers, &why)) {
        ShowError(why);
        edtServidor->setFocus();
        return false;
    }
    if (EmptyString(edtOperador->text())) {
        ShowError(QStringLiteral("Operador deve ser informado."));
        edtOperador->setFocus();
        return false;
    }
    struct Animation {
        explicit Animation(QWidget* over) { ActiveShowAvi(over, TAviKind::Fetching); }
        ~Animation() { DeactiveShowAvi(); }
    };
    try {
        Animation wait(this);
        login_ = Entrar(servers, edtOperador->text().trimmed(), edtSenha->text(), filial_, TimeoutMs);
        return true;
    } catch (const ELoginError& e) {
        ShowError(e.Message().isEmpty() ? QStringLiteral("Operador ou senha inválidos.") : e.Message());
        edtSenha->clear();
        edtSenha->setFocus();
    } catch (const ENetError& e) {
        ShowError(e.Message());
        edtServidor->setFocus();
    }
    return false;
}

} // namespace zel::app
