// One run of Tolvane.
#include "app/shell/application.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "app/admin/login_window.h"
#include "app/shell/batch_host.h"
#include "app/shell/main_window.h"
#include "app/shell/splash_window.h"
#include "db/database.h"
#include "db/merge.h"
#include "db/preferences.h"
#include "db/setup.h"
#include "front/qt_ui.h"
#include "front/script_ui.h"
#include "projects/database_update.h"
#include "projects/drawing_registry.h"
#include "projects/project_registry.h"
#include "projects/users.h"
#include "shell/app_folder.h"
#include "shell/error_handler.h"
#include "shell/file_association.h"
#include "shell/run_state.h"
#include "shell/settings_store.h"
#include "shell/system_check.h"
#include "shell/user_file.h"

namespace tolvane {

namespace {
// The folders in the temporary folder that hold the copies merges read.
const QString kMergeWorkFolder = QStringLiteral("tolvane-merge");
}  // namespace

Application::Application(ProgramOptions options)
    : options_(std::move(options)), out_(stdout), settings_(std::make_unique<SettingsStore>()) {}

Application::~Application() {
    delete main_;
    if (splash_) delete splash_;
    prefs_.reset();
    db::connections().closeAll();
}

void Application::releaseDrawingLocks() {
    if (!db::connections().isBound(db::DbId::Project)) return;
    try {
        projects::DrawingRegistry(runState(), *ui_, db::connections()).releaseAtShutdown();
    } catch (const std::exception&) {
        // The database is what failed: the server has dropped the session with its locks, and
        // the next opener takes over what the rows still say.
    }
}

void Application::endProgram(int status) {
    releaseDrawingLocks();
    // Ends at once, without saving: what was written is on disk already.
    out_.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(status);
}

int Application::prepare() {
    RunState& run = runState();
    run.mode = db::modeFromSettings(*settings_);
    const QString home = appfolder::resolve(options_.home);
    run.appPath = home + QLatin1Char('/');
    run.batch = options_.batch;
    run.logMode = options_.argument == QLatin1String("log");
    log_.setFolder(home);
    log_.setEnabled(run.logMode);

    // Another program writing the same database files is asked about, not an error.
    db::connections().askWhenBusy(ui_.get());
    errors_ = std::make_unique<ErrorHandler>(*ui_, log_);
    errors_->setBatch(options_.batch);
    errors_->setEndProgram([this](int status) { endProgram(status); });
    errors_->setCloseMainWindow([this] { return !main_ || main_->close(); });
    log_.setFailureHandler(
        [this](const AppError& e) { errors_->handle(e, QStringLiteral("EventLogger"), true); });

    if (const auto problem = appfolder::prepare(home)) {
        ui_->message(QStringLiteral("Tolvane cannot use its application folder.\r\n%1\r\nStart "
                                    "Tolvane with --home DIR to use another folder.")
                         .arg(*problem),
                     MsgButtons::Ok, MsgIcon::Critical);
        return 1;
    }
    return 0;
}

StartupHooks Application::hooks() {
    StartupHooks h;
    RunState& run = runState();
    if (!users_)
        users_ = std::make_unique<projects::Users>(run, *settings_, *ui_, db::connections());
    h.login = [this] {
        LoginResult result = LoginResult::Failed;
        errors_->guard(QStringLiteral("frmLogin"),
                       [&] { result = runLogin(*ui_, *users_, *settings_, errors_.get()); });
        return result;
    };
    h.systemCheck = [this, &run] {
        return SystemCheck(run.appFolder(), run.mode)
            .runAndShow(*ui_, SystemCheck::Show::WhenFailed);
    };
    h.registerAssociation = [this, &run] {
        const QString icon = run.appPath + QStringLiteral("tolvane.svg");
        if (!QFileInfo::exists(icon)) QFile::copy(QStringLiteral(":/icons/tolvane.svg"), icon);
        const AssociationResult r =
            registerDxfAssociation(QCoreApplication::applicationFilePath(), icon);
        if (!r.ok)
            ui_->message(QStringLiteral("DXF drawings could not be associated with Tolvane: %1")
                             .arg(r.detail),
                         MsgButtons::Ok, MsgIcon::Warning);
        return r.ok;
    };
    h.showVersion = [this](const QString& text) {
        if (splash_) splash_->setVersion(text);
    };
    h.connectDatabases = [this, &run] {
        db::DatabaseSetup setup(run, *settings_, *ui_, log_, db::connections());
        // Finding the master databases is start-up's own step: a failure there, such as the
        // prompt for a location cancelled, ends start-up under start-up's name.
        if (!setup.locateMasters()) return false;
        bool connected = false;
        errors_->guard(QStringLiteral("HookUpToDBS"), [&] { connected = setup.connect(); });
        return connected;
    };
    h.setDefaultProjectPath = [this, &run] {
        projects::ProjectRegistry(run, *settings_, *ui_, log_, db::connections())
            .setUpDefaultProject();
    };
    h.openPreferences = [this, &run] {
        if (!prefs_) prefs_ = std::make_unique<db::Preferences>(db::connections());
        prefs_->load(run.userId);
    };
    h.loadKeyboardShortcuts = [this, &run] {
        aliases_.resetToDefaults();
        const QString users = appfolder::findNoCase(run.appFolder(), QStringLiteral("users"));
        if (users.isEmpty()) return true;
        const QString file = appfolder::findNoCase(users, QStringLiteral("User.ks"));
        return file.isEmpty() || aliases_.loadUserFile(file);
    };
    h.loadMainWindow = [this] {
        main_ = new MainWindow({runState(), *settings_, log_, *ui_, *errors_, aliases_,
                                db::connections(), users_.get()});
        if (qtUi_) {
            qtUi_->setDialogParent(main_);
            qtUi_->setStatusBar(main_->statusBar());
        }
        main_->preferencesChanged = [this] {
            if (prefs_) prefs_->load(runState().userId);
        };
        // Shown first, so that Getting Started and the windows load opens stand on it.
        main_->show();
        main_->load(options_.argument);
    };
    h.closeSplash = [this] {
        if (splash_) splash_->close();
        if (qtUi_ && main_) {
            QStatusBar* bar = main_->statusBar();
            qtUi_->setStatusSink([bar](const QString& text) { bar->showMessage(text, 10000); });
        }
    };
    h.updateDatabases = [this, &run] {
        projects::DatabaseUpdate(run.appPath, *ui_, log_, errors_.get(), db::connections())
            .atStartup();
    };
    // A step whose module comes later, and stays skipped until it sets it here:
    // resetDocuments (drawing windows).
    return h;
}

int Application::run() {
    if (!options_.mergeKind.isEmpty()) {
        // Headless and asked nothing: a question (a database that cannot be found) ends it.
        auto script = std::make_unique<ScriptUi>(parseScript(QString()), out_);
        scriptUi_ = script.get();
        ui_ = std::move(script);
        return runMerge();
    }
    if (options_.batch) {
        // A named script is a file; standard input may be a pipe, read as far as the limit.
        UserFile file;
        if (options_.batchFile != QLatin1String("-")) {
            file = readUserFile(options_.batchFile);
        } else if (QFile in; in.open(stdin, QIODevice::ReadOnly)) {
            file.bytes = in.read(kUserFileLimit + 1);
            if (file.bytes.size() > kUserFileLimit)
                file.error = QStringLiteral("it is larger than %1").arg(sizeText(kUserFileLimit));
        } else {
            file.error = in.errorString();
        }
        if (!file.ok()) {
            out_ << "SCRIPT ERROR line 0: the script " << options_.batchFile
                 << " cannot be read: " << file.error << "\n";
            out_.flush();
            return 2;
        }
        auto script = std::make_unique<ScriptUi>(parseScript(QString::fromUtf8(file.bytes)), out_);
        scriptUi_ = script.get();
        host_ = std::make_unique<BatchHost>(main_, errors_, db::connections());
        scriptUi_->setHost(host_.get());
        ui_ = std::move(script);
        return runBatch();
    }
    auto qt = std::make_unique<QtUi>();
    qtUi_ = qt.get();
    ui_ = std::move(qt);
    return runDesktop();
}

int Application::runBatch() {
    try {
        if (const int status = prepare()) return status;
        startup_ =
            std::make_unique<Startup>(runState(), *settings_, log_, *ui_, Environment::system());
        const StartupHooks h = hooks();
        // Start-up that did not finish (an error, a question the user cancelled) ends here.
        Startup::Result result = Startup::Result::EndProgram;
        errors_->guard(QStringLiteral("SplashFormLoad"), [&] { result = startup_->run(h); });
        if (result == Startup::Result::EndProgram) return 1;
        startup_->timerTick(h);
        QCoreApplication::processEvents();
        scriptUi_->runIdle();
        // The script has run: shut down as the close box would. Questions asked now (save
        // changes?) need answers the script no longer has.
        if (main_) {
            main_->close();
            QCoreApplication::processEvents();
        }
        return 0;
    } catch (const ScriptAbort& abort) {
        scriptUi_->stop();
        out_ << abort.transcriptLine() << '\n';
        out_.flush();
        // The windows stay as they are (closing them would ask questions nobody answers); the
        // drawings they hold are given back.
        releaseDrawingLocks();
        return abort.exitCode;
    }
}

int Application::runMerge() {
    const QString file = options_.mergeFile;
    // The copy is some tens of megabytes: what a merge that was killed left goes first.
    appfolder::removeStaleWorkFolders(kMergeWorkFolder);
    QTemporaryDir work(appfolder::workFolderTemplate(kMergeWorkFolder));
    // The delivered file stays as it is: the merge reads a copy.
    const QString replica = work.filePath(QStringLiteral("replica.db"));
    try {
        if (const int status = prepare()) return status;
        if (!QFileInfo(file).isFile()) {
            out_ << "Error: the file " << file << " is not there\n";
            return 1;
        }
        db::DatabaseSetup setup(runState(), *settings_, *ui_, log_, db::connections());
        if (!setup.locateMasters() || !setup.connect()) return 1;
        const db::DbId id =
            options_.mergeKind == QLatin1String("PM") ? db::DbId::PM : db::DbId::Equipment;
        appfolder::copyOver(file, replica);
        const db::MergeReport r =
            db::mergeDatabase(id, replica, db::connections(), [this](const db::MergeStep& step) {
                if (step.tableRows >= 5000)
                    out_ << "STATUS " << step.table << ": " << step.tableRows << " rows\n";
                return true;
            });
        for (const QString& t : r.addedTables) out_ << "ADDED TABLE " << t << '\n';
        for (const QString& c : r.addedColumns) out_ << "ADDED COLUMN " << c << '\n';
        for (const QString& i : r.addedIndexes) out_ << "ADDED INDEX " << i << '\n';
        for (const QString& t : r.conflictTables)
            out_ << "SET ASIDE IN " << t << db::kConflictSuffix << '\n';
        out_ << "MERGED " << file << " into the " << db::dbTitle(id) << " ("
             << db::connections().boundTo(id).location() << "): " << r.inserted << " rows added ("
             << r.rekeyed << " with new keys), " << r.conflicts << " set aside\n";
        out_.flush();
        return 0;
    } catch (const ScriptAbort& abort) {
        out_ << abort.transcriptLine() << '\n';
        out_.flush();
        return abort.exitCode;
    } catch (const AppError& e) {
        // The file the user named, not the copy the merge read.
        const QString text = e.description().replace(replica, file);
        out_ << "Error: " << text << '\n';
        out_.flush();
        return 1;
    }
}

int Application::runDesktop() {
    if (const int status = prepare()) return status;
    splash_ = new SplashWindow;
    splash_->show();
    qtUi_->setStatusSink([this](const QString& text) {
        if (splash_) splash_->setInfo(text);
    });
    QCoreApplication::processEvents();
    startup_ = std::make_unique<Startup>(runState(), *settings_, log_, *ui_, Environment::system());
    const StartupHooks h = hooks();
    Startup::Result result = Startup::Result::EndProgram;
    errors_->guard(QStringLiteral("SplashFormLoad"), [&] { result = startup_->run(h); });
    if (result == Startup::Result::EndProgram || !main_) return 1;

    // The splash stays for three seconds after the main window shows.
    QTimer::singleShot(3000, main_, [this, h] {
        errors_->guard(QStringLiteral("tmrSplash_Timer"), [&] { startup_->timerTick(h); });
    });
    if (qEnvironmentVariableIsSet("TOLVANE_QUIT_WHEN_SHOWN")) {
        // Start-up measurements: end as soon as the main window is on screen.
        QTimer::singleShot(0, main_, [this] {
            main_->close();
            QCoreApplication::quit();
        });
    }
    if (const QString file = qEnvironmentVariable("TOLVANE_TIME_OPEN"); !file.isEmpty()) {
        // Open measurements (see open_timing.h): the drawing is opened once the main window is
        // up, as the file-open command opens it.
        QTimer::singleShot(300, main_, [this, file] { main_->openFile(file); });
    }
    QObject::connect(qApp, &QGuiApplication::lastWindowClosed, qApp, &QCoreApplication::quit);
    return QApplication::exec();
}

}  // namespace tolvane
