#pragma once

#include "host/Login.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace zel::app {

// The login: server address, operator and password, checked by the
// application server's login service. A refused login or an unreachable
// server is shown in an error box and the dialog stays open.
class TfrmLogin : public QDialog {
public:
    explicit TfrmLogin(QWidget* parent = nullptr);

    void setServer(const QString& address);
    void setOperador(const QString& operador);
    void setFilial(const QString& filial) { filial_ = filial; }

    // Runs the login with what the edits hold; true and Login() set on
    // success, false after showing why not.
    bool TryLogin();
    const TLoginInfo& Login() const { return login_; }

    // How long the login waits for the server's answer.
    int TimeoutMs = 10000;

    QLineEdit* edtServidor;
    QLineEdit* edtOperador;
    QLineEdit* edtSenha;
    QPushButton* btnEntrar;
    QPushButton* btnCancelar;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TLoginInfo login_;
    QString filial_;
};

} // namespace zel::app
