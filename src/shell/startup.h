// The start-up sequence, in its fixed order: run header, system check, file association,
// folders and user identity, counters and first-run settings, databases, keyboard shortcuts,
// login, the main window; then the splash timer's step. Every step writes its information
// line (the splash window's, "STATUS" in batch mode) and, in log mode, its log lines.
// Steps owned by other modules are hooks: an unset hook is a module not built yet, and its
// step is skipped without pretending it ran.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace tolvane {

class Ui;
class EventLog;
class SettingsStore;
struct RunState;

// What the sequence reads from the operating system; replaceable in tests.
struct Environment {
    std::function<QString()> userName;      // empty when it cannot be read
    std::function<QString()> computerName;  // empty when it cannot be read
    std::function<QStringList()> environmentStrings;
    std::function<QString()> findCalculator;  // full path of the first calculator found, or ""
    std::function<QString()> systemFolder;
    static Environment system();
};

// What the login window reports to the start-up loop.
enum class LoginResult { LoggedIn, TryAgain, Failed };

struct StartupHooks {
    std::function<bool()> systemCheck;                // true: every check passed (silent)
    std::function<bool()> registerAssociation;        // answer Yes to the file-association question
    std::function<void()> resetDocuments;             // empty the table of open drawing windows
    std::function<void(const QString&)> showVersion;  // the splash window's version label
    // Databases: connect the named connections (false: the user ended the program); bring
    // the databases to the current version; set the default project's folder on the first
    // run; open the preference row.
    std::function<bool()> connectDatabases;
    std::function<void()> updateDatabases;
    std::function<void()> setDefaultProjectPath;
    std::function<void()> openPreferences;
    std::function<bool()> loadKeyboardShortcuts;  // false: the file could not be loaded
    std::function<LoginResult()> login;           // shared mode: the login window
    std::function<void()> loadMainWindow;
    std::function<void()> closeSplash;
};

class Startup {
  public:
    Startup(RunState& run, SettingsStore& settings, EventLog& log, Ui& ui, Environment env)
        : run_(run), settings_(settings), log_(log), ui_(ui), env_(std::move(env)) {}

    enum class Result { Continue, EndProgram };

    // Steps 1 to 20 (the caller starts the splash timer). EndProgram: a step ended the run
    // after telling the user why.
    Result run(const StartupHooks& hooks);
    // The splash timer's one tick.
    void timerTick(const StartupHooks& hooks);

    static QString logModeMessage();
    static QString associationQuestion();

  private:
    void info(const QString& text);
    void log(const QString& line);

    RunState& run_;
    SettingsStore& settings_;
    EventLog& log_;
    Ui& ui_;
    Environment env_;
};

}  // namespace tolvane
