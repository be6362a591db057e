// Helpers of the GUI tests: run code once the event loop of a prompt or dialog is up, a
// watchdog that cancels a prompt nothing answers (so that a broken test fails instead of
// hanging), pictures of windows on request, and the main window over the databases of a new
// installation.
#pragma once

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "../unit/script_fixture.h"
#include "app/shell/main_window.h"
#include "db/database.h"
#include "db/setup.h"
#include "drawings/command_aliases.h"
#include "shell/error_handler.h"
#include "shell/event_log.h"
#include "shell/run_state.h"
#include "shell/settings_store.h"
#include "ui/ui.h"

namespace tolvane::test {

inline void later(std::function<void()> f) {
    QTimer::singleShot(0, qApp, std::move(f));
}

// Its time is well past QTRY's five seconds: on a loaded machine a real X server may take
// seconds to deliver a pointer warp, and a wait that QTRY would still win must not be cut.
struct Watchdog {
    explicit Watchdog(Ui& ui, int ms = 15000) {
        QObject::connect(&timer, &QTimer::timeout, &timer, [&ui] { ui.cancelPrompt(); });
        timer.setSingleShot(true);
        timer.start(ms);
    }
    bool fired() const { return !timer.isActive(); }
    QTimer timer;
};

// The file named by the environment variable, when it is set, gets a picture of the widget
// (`prepare` runs first, to size or fill the window for the picture only).
inline void screenshot(QWidget& widget, const char* variable,
                       const std::function<void()>& prepare = {}) {
    const QString file = qEnvironmentVariable(variable);
    if (file.isEmpty()) return;
    if (prepare) prepare();
    widget.grab().save(file);
}

// The main window over the databases of a new installation in a folder of its own, made anew
// by restart with a user who answers from a script. The test class calls startUp from its
// init slot and shutDown from its cleanup slot.
class MainWindowFixture : public QObject {
  protected:
    QTemporaryDir dir_;
    RunState run_;
    std::unique_ptr<SettingsStore> settings_;
    EventLog log_;
    std::unique_ptr<ScriptedUser> user_;
    std::unique_ptr<ErrorHandler> errors_;
    CommandAliases aliases_;
    std::unique_ptr<MainWindow> main_;
    QuietHost host_;

    // Connects the databases (the project explorer opens the default project) and shows the
    // window.
    bool startUp() {
        run_.appPath = dir_.path() + "/";
        settings_ = std::make_unique<SettingsStore>(dir_.filePath("settings.ini"));
        settings_->write(setting::ShowFirstTips, "0");
        settings_->write(setting::GettingStarted, "0");
        user_ = std::make_unique<ScriptedUser>("");
        if (!db::DatabaseSetup(run_, *settings_, *user_->ui, log_, db::connections()).connect())
            return false;
        restart("");
        return true;
    }
    void shutDown() {
        main_.reset();
        db::connections().closeAll();
    }
    // A statement on one of the installation's databases, its values bound in order; the
    // first column of its first row.
    static QVariant sql(db::DbId db, const QString& text, const QVariantList& values = {}) {
        db::Query q(db, text, db::connections());
        for (const QVariant& v : values) q.bind(v);
        return q.scalar();
    }
    // The window again, with a user who answers from this script.
    void restart(const QString& script) {
        main_.reset();
        errors_.reset();
        user_ = std::make_unique<ScriptedUser>(script);
        user_->ui->setHost(&host_);
        errors_ = std::make_unique<ErrorHandler>(*user_->ui, log_);
        main_ = std::make_unique<MainWindow>(MainWindow::Services{
            run_, *settings_, log_, *user_->ui, *errors_, aliases_, db::connections()});
        main_->load(QString());
        main_->show();
    }
};

}  // namespace tolvane::test
