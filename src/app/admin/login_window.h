// frmLogin: the login window of shared mode. It asks for a user name and password, lets the
// users service check them, and reports two flags to the start-up loop: logged in, and try
// again. Cancel clears both, and the start-up then ends the program.
#pragma once

#include <QDialog>

#include "shell/startup.h"

class QLineEdit;

namespace tolvane {

class ErrorHandler;
class SettingsStore;
class Ui;

namespace projects {
class Users;
}

class LoginWindow : public QDialog {
    Q_OBJECT
  public:
    // The name box shows the last user who logged in ("PREVUSER"), else "Admin".
    LoginWindow(projects::Users& users, SettingsStore& settings, QWidget* parent = nullptr);

    // Failures inside the window's handlers go here; without one they propagate.
    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }

    bool loggedIn() const { return loggedIn_; }
    bool tryAgain() const { return tryAgain_; }

  private:
    void ok();
    void cancel();
    static void selectAll(QLineEdit* edit);

    projects::Users& users_;
    ErrorHandler* errors_ = nullptr;
    QLineEdit* name_;
    QLineEdit* password_;
    bool loggedIn_ = false;
    bool tryAgain_ = false;
};

// Shows the login window through the Ui seam once and turns its flags into what the
// start-up loop expects: LoggedIn, TryAgain (show it again) or Failed.
LoginResult runLogin(Ui& ui, projects::Users& users, SettingsStore& settings,
                     ErrorHandler* errors = nullptr, QWidget* parent = nullptr);

}  // namespace tolvane
