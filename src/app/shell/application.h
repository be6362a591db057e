// One run of Tolvane: the Ui (desktop or script), the application folder, the shell services,
// the start-up sequence, the main window and, in batch mode, the script.
#pragma once

#include <QPointer>
#include <QTextStream>
#include <memory>

#include "drawings/command_aliases.h"
#include "shell/command_line.h"
#include "shell/event_log.h"
#include "shell/startup.h"

namespace tolvane {

class Ui;
class ScriptUi;
class QtUi;
class ErrorHandler;
class SettingsStore;
class MainWindow;
class SplashWindow;
class BatchHost;
namespace db {
class Preferences;
}
namespace projects {
class Users;
}

class Application {
  public:
    explicit Application(ProgramOptions options);
    ~Application();

    // Runs the program to its end and returns the exit status.
    int run();

  private:
    int prepare();
    StartupHooks hooks();
    int runBatch();
    // --merge: the database file merged into the one in use, headless; 0 when merged.
    int runMerge();
    int runDesktop();
    void endProgram(int status);
    // Gives back the drawing locks of this run on an exit that does not close the main
    // window (a script error, the error handler ending the program).
    void releaseDrawingLocks();

    ProgramOptions options_;
    QTextStream out_;
    std::unique_ptr<SettingsStore> settings_;
    EventLog log_;
    std::unique_ptr<Ui> ui_;
    ScriptUi* scriptUi_ = nullptr;
    QtUi* qtUi_ = nullptr;
    std::unique_ptr<ErrorHandler> errors_;
    std::unique_ptr<BatchHost> host_;
    std::unique_ptr<Startup> startup_;
    std::unique_ptr<db::Preferences> prefs_;  // the user's preference row, open for the run
    std::unique_ptr<projects::Users> users_;  // the login and the permission row, for the run
    CommandAliases aliases_;
    MainWindow* main_ = nullptr;
    QPointer<SplashWindow> splash_;
};

}  // namespace tolvane
