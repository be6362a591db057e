// The start-up sequence.
#include "shell/startup.h"

#include <pwd.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QSysInfo>

#include "shell/event_log.h"
#include "shell/run_state.h"
#include "shell/settings_store.h"
#include "ui/ui.h"

namespace tolvane {

Environment Environment::system() {
    Environment e;
    e.userName = [] {
        if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name && *pw->pw_name)
            return QString::fromLocal8Bit(pw->pw_name);
        return qEnvironmentVariable("USER");
    };
    e.computerName = [] { return QSysInfo::machineHostName(); };
    e.environmentStrings = [] { return QProcessEnvironment::systemEnvironment().toStringList(); };
    e.findCalculator = [] {
        // The desktop calculators, most common first; a terminal calculator as a last resort.
        for (const char* name : {"gnome-calculator", "kcalc", "mate-calc", "galculator",
                                 "qalculate-gtk", "qalculate-qt", "speedcrunch", "xcalc"}) {
            const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
            if (!path.isEmpty()) return path;
        }
        return QString();
    };
    e.systemFolder = [] { return QStringLiteral("/usr/bin"); };
    return e;
}

QString Startup::logModeMessage() {
    return Ui::appTitle() +
           QStringLiteral(" has been started in log mode. To view the log, open Event_log.txt");
}

QString Startup::associationQuestion() {
    return QStringLiteral(
        "Do you want DXF drawings (.dxf) to open in Tolvane when you open them from your "
        "desktop or file manager?");
}

void Startup::info(const QString& text) {
    ui_.status(text);
}

void Startup::log(const QString& line) {
    if (log_.enabled()) log_.log(line);
}

Startup::Result Startup::run(const StartupHooks& hooks) {
    // 1. Log mode: the message, then the run header as the first lines of this run.
    if (run_.logMode) {
        ui_.message(logModeMessage());
        log(QString(58, QLatin1Char('-')));
        log(QStringLiteral("Session Start Date and Time ") +
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
        log(QStringLiteral("Environment Variables"));
        if (env_.environmentStrings)
            for (const QString& s : env_.environmentStrings()) {
                if (s.isEmpty()) break;
                log(s);
            }
    }

    // 2. System folder.
    if (env_.systemFolder) run_.systemFolder = env_.systemFolder();

    // 3. System check: silent when everything passes.
    info(QStringLiteral("Running System Validator"));
    log(QStringLiteral("Running System Validator"));
    if (hooks.systemCheck) hooks.systemCheck();

    // 4. The file-association question, asked once.
    if (settings_.read(setting::AssocDwg) != QLatin1String("1")) {
        const MsgButton answer =
            ui_.message(associationQuestion(), MsgButtons::YesNo, MsgIcon::Question);
        if (answer == MsgButton::Yes && hooks.registerAssociation) hooks.registerAssociation();
        settings_.write(setting::AssocDwg, QStringLiteral("1"));
    }

    // 5. Installation folder.
    settings_.write(setting::InstallPath, run_.appFolder());

    // 6. No drawing window is open yet.
    if (hooks.resetDocuments) hooks.resetDocuments();

    // 7. User identity.
    info(QStringLiteral("Checking Environment Variables"));
    log(QStringLiteral("Getting Computer and User names"));
    run_.userName = env_.userName ? env_.userName().left(200) : QString();
    if (run_.userName.isEmpty()) run_.userName = QStringLiteral("DEFAULT");
    run_.computerName = env_.computerName ? env_.computerName() : QString();
    if (run_.computerName.isEmpty()) run_.computerName = QStringLiteral("MyComp");
    run_.whoAmI = run_.userName + QLatin1Char('_') + run_.computerName;
    log(QStringLiteral("WhoAmI: ") + run_.whoAmI);

    // 8. Interface language of the drawing engine: English is built in.
    info(QStringLiteral("Loading Language - English"));
    log(QStringLiteral("Loaded English messages"));

    // 9. Application counter.
    QString counter = settings_.read(setting::AppCounter);
    bool counterOk = false;
    qlonglong count = counter.toLongLong(&counterOk);
    if (counter.isEmpty() || !counterOk) {
        settings_.write(setting::AppCounter, QStringLiteral("0"));
        count = 0;
        log(QStringLiteral("Establised AppCounter: 0"));
    }
    ++count;
    run_.appCounter = QString::number(count);
    settings_.write(setting::AppCounter, run_.appCounter);
    log(QStringLiteral("Updated AppCounter: ") + run_.appCounter);

    // 10. Every run starts as user 1; the login replaces it.
    if (!settings_.write(setting::UID, QStringLiteral("1"))) {
        ui_.message(QStringLiteral("problem setting UserID"));
        return Result::EndProgram;
    }

    // 11. Version text.
    run_.versionText = QStringLiteral("Version %1.%2.%3")
                           .arg(TOLVANE_VERSION_MAJOR)
                           .arg(TOLVANE_VERSION_MINOR)
                           .arg(TOLVANE_VERSION_PATCH);
    if (hooks.showVersion) hooks.showVersion(run_.versionText);

    // 12. Folders of the run.
    if (!run_.appPath.endsWith(QLatin1Char('/'))) run_.appPath += QLatin1Char('/');
    run_.currentProjectPath.clear();

    // 13, 14. Connection strings and named connections.
    if (hooks.connectDatabases) {
        info(QStringLiteral("Connecting to databases"));
        if (!hooks.connectDatabases()) return Result::EndProgram;
        log(QStringLiteral("Hooked up databases successfully"));
    }
    // 15. Database update.
    if (hooks.updateDatabases) {
        hooks.updateDatabases();
        log(QStringLiteral("PMConnection: ") + run_.pmConnection);
        log(QStringLiteral("EquipmentConnection: ") + run_.equipmentConnection);
        log(QStringLiteral("BlankProjectConnection: ") + run_.blankProjectConnection);
        log(QStringLiteral("Updating Default Project Path"));
    }

    // 16. First run of this installation.
    if (count == 1) {
        if (hooks.setDefaultProjectPath) hooks.setDefaultProjectPath();
        const QString calc = env_.findCalculator ? env_.findCalculator() : QString();
        settings_.write(setting::Calc, calc);
        for (const QString& flag : setting::tipFlags()) settings_.write(flag, QStringLiteral("1"));
        settings_.write(setting::GettingStarted, QStringLiteral("1"));
    }

    // 17. The user's preference row.
    if (hooks.openPreferences) {
        log(QStringLiteral("Set rsPrefs"));
        hooks.openPreferences();
        info(QStringLiteral("Checking Preferences"));
        log(QStringLiteral("Preferences checked"));
    }

    // 18. Keyboard shortcuts.
    info(QStringLiteral("Loading Keyboard Commands"));
    if (hooks.loadKeyboardShortcuts && !hooks.loadKeyboardShortcuts()) {
        info(QStringLiteral("Failed to Load Keyboard Commands. Using Defaults"));
        ui_.message(QStringLiteral("Unable to load the keyboard shortcuts. Using defaults"));
    }

    // 19. Login loop, shared mode only.
    if (run_.mode == DatabaseMode::Shared && hooks.login) {
        for (;;) {
            const LoginResult login = hooks.login();
            if (login == LoginResult::LoggedIn) break;
            if (login == LoginResult::Failed) {
                ui_.message(QStringLiteral("Login Failed. Exiting Tolvane"));
                return Result::EndProgram;
            }
        }
    }

    // 20. The main window.
    info(QStringLiteral("Loading Tolvane Forms"));
    if (hooks.loadMainWindow) hooks.loadMainWindow();
    return Result::Continue;
}

void Startup::timerTick(const StartupHooks& hooks) {
    log(QStringLiteral("showed the main form"));
    bool ok = false;
    const int uid = settings_.read(setting::UID).toInt(&ok);
    run_.userId = ok ? uid : 1;
    log(QStringLiteral("made it to 4 got the UID"));
    if (hooks.openPreferences) {
        hooks.openPreferences();
        log(QStringLiteral("Queried the prefs"));
    }
    info(QStringLiteral("Loading Project Manager Dialog"));
    if (hooks.closeSplash) hooks.closeSplash();
}

}  // namespace tolvane
