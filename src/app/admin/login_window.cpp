// The login window.
#include "app/admin/login_window.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "projects/users.h"
#include "shell/error_handler.h"
#include "shell/settings_store.h"
#include "ui/ui.h"

namespace tolvane {

LoginWindow::LoginWindow(projects::Users& users, SettingsStore& settings, QWidget* parent)
    : QDialog(parent), users_(users) {
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(tr("Login"));

    name_ = new QLineEdit;
    name_->setObjectName(QStringLiteral("txtUserName"));
    password_ = new QLineEdit;
    password_->setObjectName(QStringLiteral("txtPassword"));
    password_->setEchoMode(QLineEdit::Password);
    auto* form = new QFormLayout;
    form->addRow(tr("User Name:"), name_);
    form->addRow(tr("Password:"), password_);

    auto* okButton = new QPushButton(tr("OK"));
    okButton->setObjectName(QStringLiteral("cmdOK"));
    okButton->setDefault(true);
    auto* cancelButton = new QPushButton(tr("Cancel"));
    cancelButton->setObjectName(QStringLiteral("cmdCancel"));
    cancelButton->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(okButton, &QPushButton::clicked, this, [this] {
        if (errors_) {
            errors_->guard(QStringLiteral("cmdOK_Click"), [this] { ok(); });
        } else {
            ok();
        }
    });
    connect(cancelButton, &QPushButton::clicked, this, [this] { cancel(); });

    const QString previous = settings.read(setting::PrevUser);
    name_->setText(previous.isEmpty() ? QStringLiteral("Admin") : previous);
    // With the name known the password is what is typed first.
    password_->setFocus();
}

void LoginWindow::selectAll(QLineEdit* edit) {
    edit->setFocus();
    edit->selectAll();
}

void LoginWindow::ok() {
    switch (users_.login(name_->text(), password_->text())) {
        case projects::LoginOutcome::UnknownUser:
        case projects::LoginOutcome::DuplicateUser:
            selectAll(name_);
            break;
        case projects::LoginOutcome::WrongPassword:
            selectAll(password_);
            loggedIn_ = false;
            tryAgain_ = true;
            break;
        case projects::LoginOutcome::LoggedIn:
            loggedIn_ = true;
            accept();
            break;
    }
}

void LoginWindow::cancel() {
    loggedIn_ = false;
    tryAgain_ = false;
    reject();
}

LoginResult runLogin(Ui& ui, projects::Users& users, SettingsStore& settings, ErrorHandler* errors,
                     QWidget* parent) {
    LoginWindow window(users, settings, parent);
    window.setErrorHandler(errors);
    ui.runModal(window);
    // The close box leaves the flags as they were: after a wrong password the window comes back.
    if (window.loggedIn()) return LoginResult::LoggedIn;
    return window.tryAgain() ? LoginResult::TryAgain : LoginResult::Failed;
}

}  // namespace tolvane
