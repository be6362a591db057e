// One user of the shared-mode soak (bench/soak.py starts eight of them on one PostgreSQL server
// and kills one with SIGKILL every minute). The worker starts as the program does in shared
// mode: its own application folder and settings, the master databases found on the server and
// the project opened through the project registry, so that the project manager, the equipment
// library and the project each have a connection announcing this worker's WhoAmI. It then
// loops over the real operations through the program's services: open a drawing with its lock,
// draw and assign a cable (the cable lock taken by the assignment) or delete an assigned one,
// save and close the drawing; or take and give back a table lock on its own. Every step is
// appended to the worker's log (one JSON object a line, synced to disk before the next step)
// for the checker. Busy messages are answered as a user would: Retry for a while, then Cancel;
// a drawing in use is not opened read-only.
//
//   soak_worker setup ROOT PM EQ DRAWINGS   make the project SOAK and its drawings
//   soak_worker work ROOT ID PM EQ SEED     one worker until SIGTERM (ID: its WhoAmI)
//   soak_worker check ROOT                  read every drawing back (a JSON line each)
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <deque>
#include <exception>
#include <random>

#include "bench_help.h"
#include "cad/dxf.h"
#include "cad/editing.h"
#include "db/database.h"
#include "db/locks.h"
#include "db/setup.h"
#include "drawings/deletion.h"
#include "drawings/drawing.h"
#include "drawings/drawing_files.h"
#include "drawings/entity_tag.h"
#include "projects/drawing_registry.h"
#include "projects/project_registry.h"
#include "shell/app_folder.h"
#include "shell/event_log.h"
#include "shell/run_state.h"
#include "shell/settings_store.h"
#include "ui/ui.h"
#include "wiring/cable_assignment.h"
#include "wiring/cable_drawing.h"
#include "wiring/cable_numbers.h"

using namespace tolvane;

namespace {

const QString kProject = QStringLiteral("SOAK");
const QString kSignalType = QStringLiteral("SOAKSIG");
const QString kPrefix = QStringLiteral("SK");
constexpr int kJackfield = 7;
// How long a busy table lock is retried before the user gives up (Retry every 100 ms).
constexpr int kRetries = 50;

std::atomic<bool> stopRequested{false};

void onTerm(int) {
    stopRequested = true;
}

// The worker's log: one JSON object a line, written and synced before the call returns, so a
// SIGKILL loses nothing that was logged.
class SoakLog {
  public:
    SoakLog() = default;
    void open(const QString& file, const QString& who) {
        who_ = who;
        fd_ = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd_ < 0) {
            std::perror("soak log");
            std::exit(2);
        }
    }
    void write(const QString& event, QJsonObject fields = {}) {
        if (fd_ < 0) return;
        fields.insert(QStringLiteral("t"), QDateTime::currentMSecsSinceEpoch());
        fields.insert(QStringLiteral("w"), who_);
        fields.insert(QStringLiteral("pid"), qint64(::getpid()));
        fields.insert(QStringLiteral("ev"), event);
        QByteArray line = QJsonDocument(fields).toJson(QJsonDocument::Compact);
        line.append('\n');
        const char* p = line.constData();
        qsizetype left = line.size();
        while (left > 0) {
            const ssize_t n = ::write(fd_, p, size_t(left));
            if (n <= 0) break;
            p += n;
            left -= n;
        }
        ::fdatasync(fd_);
    }

  private:
    int fd_ = -1;
    QString who_;
};

SoakLog& soakLog() {
    static SoakLog log;
    return log;
}

// The user at the keyboard: answers from a queue for the drawing prompts and file dialogs, and
// answers messages as a patient user would. Every message is logged.
class SoakUi : public Ui {
  public:
    std::deque<QString> prompts;  // answers to drawing prompts, typed as on the command line
    std::optional<QString> nextSaveFile;
    int retriesLeft = kRetries;

    MsgButton message(const QString& text, MsgButtons buttons, MsgIcon, const QString&) override {
        static const QRegularExpression drawingBusy(
            QStringLiteral("^The Drawing: (.*) is in use by: (.*) -- Open Read Only"));
        for (const db::LockTable* t : {&db::cableLock(), &db::systemLock()}) {
            if (!text.startsWith(t->busyText)) continue;
            soakLog().write(QStringLiteral("lock_busy"),
                            {{"lock", t->table}, {"holder", text.mid(t->busyText.size())}});
            if (buttons == MsgButtons::RetryCancel && retriesLeft-- > 0) {
                QThread::msleep(100);
                return MsgButton::Retry;
            }
            return MsgButton::Cancel;
        }
        if (const auto m = drawingBusy.match(text); m.hasMatch()) {
            soakLog().write(QStringLiteral("dwg_busy"),
                            {{"path", m.captured(1)}, {"holder", m.captured(2)}});
            return MsgButton::Cancel;  // not read-only: the worker wants to change it
        }
        soakLog().write(QStringLiteral("message"), {{"text", text}});
        switch (buttons) {
            case MsgButtons::YesNo:
            case MsgButtons::YesNoCancel:
            case MsgButtons::YesNoYesToAllCancel:
                return MsgButton::Yes;
            case MsgButtons::RetryCancel:
            case MsgButtons::OkCancel:
                return MsgButton::Cancel;
            case MsgButtons::AbortRetryIgnore:
                return MsgButton::Abort;
            case MsgButtons::Ok:
            case MsgButtons::OpenFileOpenFolderOk:
                break;
        }
        return MsgButton::Ok;
    }
    std::optional<QString> input(const QString& title, const QString&, const QString&) override {
        soakLog().write(QStringLiteral("message"), {{"text", QStringLiteral("input: ") + title}});
        return std::nullopt;
    }
    std::optional<QString> openFile(const FileDialogOptions&) override { return std::nullopt; }
    std::optional<QString> saveFile(const FileDialogOptions&) override {
        auto answer = nextSaveFile;
        nextSaveFile.reset();
        return answer;
    }
    std::optional<QString> chooseFolder(const FileDialogOptions&) override { return std::nullopt; }
    std::optional<int> choose(const QString&, const QStringList&) override { return std::nullopt; }
    bool choosePrinter(QPrinter&, const QString&) override { return false; }
    int runModal(QDialog&) override { return 0; }
    void showModeless(QWidget&) override {}
    void beep() override {}
    void openExternally(const QString&) override {}
    void status(const QString&) override {}
    bool progress(const QString&, qint64, qint64) override { return true; }
    void history(const QString&, bool) override {}

  protected:
    void showPrompt(const QString&) override {}
    void waitForPrompt() override {
        if (prompt_.kind == PromptKind::None) return;
        if (prompts.empty()) {
            cancelPrompt();
            return;
        }
        const QString answer = prompts.front();
        prompts.pop_front();
        if (!submitTyped(answer)) cancelPrompt();
    }
};

struct Folders {
    QString root, project, drawings, home, logs;
    Folders(const QString& rootPath, const QString& id) {
        root = QDir(rootPath).absolutePath();
        project = root + QStringLiteral("/project");
        drawings = project + QStringLiteral("/DRAWINGS");
        home = root + QStringLiteral("/homes/") + id;
        logs = root + QStringLiteral("/logs");
    }
};

// A user's installation in shared mode, started as the program starts: application folder,
// settings naming the master databases, the databases connected (the first one to reach an
// empty server makes the tables), the project opened.
class Session {
  public:
    Session(const Folders& f, const QString& id, const QString& pm, const QString& eq)
        : settings_(f.home + QStringLiteral("/Tolvane_v2.ini")) {
        RunState& run = runState();
        run.mode = DatabaseMode::Shared;
        run.appPath = f.home + QLatin1Char('/');
        run.userName = QStringLiteral("soak");
        run.computerName = id;
        run.whoAmI = id;
        run.batch = true;
        if (const auto problem = appfolder::prepare(f.home))
            throw AppError(err::kPathFileAccess, *problem);
        settings_.write(db::kModeSetting, QStringLiteral("SHARED"));
        settings_.write(setting::PmPath, pm);
        settings_.write(setting::EqPath, eq);
        db::DatabaseSetup setup(run, settings_, ui, log_, db::connections());
        if (!setup.connect()) throw AppError(err::kFileNotFound, QStringLiteral("not connected"));
    }
    ~Session() { db::connections().closeAll(); }

    projects::ProjectRegistry projects() {
        return projects::ProjectRegistry(runState(), settings_, ui, log_, db::connections());
    }

    SoakUi ui;

  private:
    SettingsStore settings_;
    EventLog log_;
};

QString drawingPath(const Folders& f, int n) {
    return f.drawings + QStringLiteral("/soak_%1.dxf").arg(n, 2, 10, QLatin1Char('0'));
}

// ---- setup --------------------------------------------------------------------------------

int setup(const Folders& f, const QString& pm, const QString& eq, int drawings) {
    Session s(f, QStringLiteral("soak_setup"), pm, eq);
    RunState& run = runState();
    if (!s.projects().find(kProject)) {
        if (!s.projects().createProject(kProject, QStringLiteral("Shared-mode soak"), f.project)) {
            std::fprintf(stderr, "the project could not be made\n");
            return 1;
        }
    }
    s.projects().openProject(kProject);
    // The library rows an assignment needs: a signal type with its prefix, the user's
    // preferences (numbers from 1, the settings window "shown" so the worker sees the number
    // while it holds the lock) and the jackfield the cables end on.
    db::Transaction eqTx(db::DbId::Equipment, db::connections());
    db::Query(db::DbId::Equipment, QStringLiteral("delete from SignalDefault where Type = ?"),
              db::connections())
        .bind(kSignalType)
        .exec();
    db::Query(db::DbId::Equipment,
              QStringLiteral("insert into SignalDefault (Type, Color, CableNoPrefix) values (?, "
                             "3, ?)"),
              db::connections())
        .bind(kSignalType)
        .bind(kPrefix)
        .exec();
    db::Query(db::DbId::Equipment, QStringLiteral("delete from tblPreferences where UserID = ?"),
              db::connections())
        .bind(run.userId)
        .exec();
    db::Query(db::DbId::Equipment,
              QStringLiteral("insert into tblPreferences (UserID, CablesStartNo, "
                             "CablesVerifySettings, cablecolorline, cablecolortext) values (?, "
                             "1, ?, ?, ?)"),
              db::connections())
        .bind(run.userId)
        .bind(true)
        .bind(true)
        .bind(true)
        .exec();
    eqTx.commit();
    db::Query(db::DbId::Project, QStringLiteral("delete from tblJF where JFID = ?"),
              db::connections())
        .bind(kJackfield)
        .exec();
    db::Query(db::DbId::Project,
              QStringLiteral("insert into tblJF (JFID, JFSysName, JFLoc, JFEl, SignalType, "
                             "RearConn) values (?, 'SOAKJF', 'MCR', 'R1', ?, 'XLR')"),
              db::connections())
        .bind(kJackfield)
        .bind(kSignalType)
        .exec();

    projects::DrawingRegistry registry(run, s.ui, db::connections());
    DrawingFiles files(run, s.ui, registry);
    QDir().mkpath(f.drawings);
    for (int n = 1; n <= drawings; ++n) {
        const QString path = drawingPath(f, n);
        if (QFile::exists(path)) continue;
        std::unique_ptr<Drawing> d = files.newFromTemplate(files.defaultTemplate());
        if (!d) return 1;
        s.ui.nextSaveFile = path;
        if (!files.save(*d)) return 1;
        files.closed(*d);
    }
    registry.releaseAtShutdown();
    return 0;
}

// ---- work ---------------------------------------------------------------------------------

class Worker {
  public:
    Worker(const Folders& f, const QString& id, Session& s, quint32 seed)
        : f_(f),
          id_(id),
          s_(s),
          rng_(seed),
          registry_(runState(), s.ui, db::connections()),
          files_(runState(), s.ui, registry_) {
        QDir dir(f.drawings);
        for (const QString& name : dir.entryList({QStringLiteral("soak_*.dxf")}, QDir::Files))
            drawings_ << dir.filePath(name);
        drawings_.sort();
    }

    void run() {
        while (!stopRequested) {
            const int roll = pick(100);
            try {
                if (roll < 70)
                    drawingStep();
                else
                    lockStep(roll < 85 ? db::cableLock() : db::systemLock());
            } catch (const std::exception& e) {
                soakLog().write(QStringLiteral("error"), {{"text", QString::fromUtf8(e.what())}});
                QThread::msleep(200);
            }
            QThread::msleep(std::uniform_int_distribution<int>(0, 50)(rng_));
        }
        registry_.releaseAtShutdown();
        soakLog().write(QStringLiteral("stop"));
    }

  private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    // A table lock taken and given back with nothing done under it, checked while held.
    void lockStep(const db::LockTable& table) {
        const QJsonObject which{{"lock", table.table}};
        soakLog().write(QStringLiteral("op_begin"), which);
        s_.ui.retriesLeft = kRetries;
        db::TableLock lock(table, true, id_, s_.ui, db::connections());
        const bool got = lock.acquire();
        if (got) {
            soakLog().write(QStringLiteral("took"), which);
            QThread::msleep(20 + pick(280));
            soakLog().write(QStringLiteral("held_check"),
                            {{"lock", table.table}, {"holder", lock.holder()}});
            lock.release();
        }
        soakLog().write(QStringLiteral("op_end"), {{"lock", table.table}, {"got", got}});
    }

    // Open a drawing with its lock, change it (a cable assigned, or one deleted), save, close.
    void drawingStep() {
        const QString path = drawings_[pick(int(drawings_.size()))];
        const QJsonObject which{{"lock", QStringLiteral("dwg:") + QFileInfo(path).fileName()}};
        soakLog().write(QStringLiteral("op_begin"), which);
        std::unique_ptr<Drawing> d = files_.open(path);
        if (!d) {
            QJsonObject end = which;
            end.insert(QStringLiteral("got"), false);
            soakLog().write(QStringLiteral("op_end"), end);
            return;
        }
        soakLog().write(QStringLiteral("took"), which);
        QStringList assigned;
        for (const cad::Entity& e : d->space().entities)
            if (e.kind == cad::EntityKind::Polyline && tag::kindOf(e) == tag::kind::Cable &&
                !tag::ref1(e).isEmpty())
                assigned << e.handle;
        if (!assigned.isEmpty() && pick(100) < 30)
            deleteCable(*d, assigned[pick(int(assigned.size()))]);
        else
            assignCable(*d);
        soakLog().write(QStringLiteral("dwg_saving"), {{"path", path}});
        const bool saved = files_.save(*d);
        soakLog().write(saved ? QStringLiteral("dwg_saved") : QStringLiteral("dwg_save_failed"),
                        {{"path", path}});
        files_.closed(*d);
        QJsonObject end = which;
        end.insert(QStringLiteral("got"), true);
        soakLog().write(QStringLiteral("op_end"), end);
    }

    QString place(Drawing& d, const char* block, QPointF at, const QString& name,
                  const QString& ref1 = {}) {
        cad::Entity e = cad::makeInsert(d.document(), QString::fromLatin1(block), at);
        for (cad::Entity& a : e.attributes)
            if (a.tag == QLatin1String("JB") || a.tag == QLatin1String("JF")) a.text = name;
        tag::tagEntity(e, tag::catalogueEntry(e.blockName)->kind, ref1);
        return d.editor().add(std::move(e));
    }

    // A J-box and a jack placed below everything in the drawing, a cable drawn between them
    // by picks, and the cable assigned under the cable lock.
    void assignCable(Drawing& d) {
        double y = 0;
        for (const cad::Entity& e : d.space().entities)
            if (e.kind == cad::EntityKind::Insert) y = std::min(y, e.start.y() - 20);
        const QString name = QStringLiteral("%1-%2-%3").arg(id_).arg(::getpid()).arg(++made_);
        place(d, "JBOX_S", {0, y}, name);
        place(d, "FN_JACK_D", {10, y + 4}, name, QString::number(kJackfield));
        s_.ui.prompts = {QStringLiteral("0,%1").arg(y), QStringLiteral("10,%1").arg(y + 4)};
        wiring::CableOptions options;
        wiring::CableDrawer drawer(d, s_.ui, nullptr, options, db::connections());
        const bool drawn = drawer.drawOne() == wiring::CableDrawer::Outcome::Drawn;
        s_.ui.prompts.clear();
        if (!drawn || drawer.drawn().isEmpty()) {
            soakLog().write(QStringLiteral("draw_failed"), {{"path", d.path()}});
            return;
        }
        const QString cable = drawer.drawn().front().polyline;

        const QJsonObject which{{"lock", db::cableLock().table}};
        soakLog().write(QStringLiteral("op_begin"), which);
        wiring::AssignmentState state;
        wiring::AssignCablesRun run(s_.ui, state, db::connections());
        run.shared = true;
        run.whoAmI = id_;
        run.userName = QStringLiteral("soak");
        run.userId = runState().userId;
        run.picked = cable;
        run.verify = [&](wiring::CableSettings& settings, wiring::AssignmentState&) {
            // The settings window: the number offered while the lock is held.
            db::TableLock probe(db::cableLock(), true, id_, s_.ui, db::connections());
            soakLog().write(QStringLiteral("took"), which);
            soakLog().write(
                QStringLiteral("held_check"),
                {{"lock", db::cableLock().table},
                 {"holder", probe.holder()},
                 {"number", db::CableNumber(settings.prefix, settings.number).displayed()}});
            return true;
        };
        run.existing = [&](const wiring::ExistingAssignment& a, wiring::AssignmentState&) {
            soakLog().write(QStringLiteral("existing"), {{"number", a.number.stored()}});
        };
        s_.ui.retriesLeft = kRetries;
        const int n = wiring::assignCables(d, run);
        if (n == 1)
            soakLog().write(QStringLiteral("assigned"), {{"cable_id", state.cableId},
                                                         {"number", state.number.displayed()},
                                                         {"path", d.path()}});
        else
            soakLog().write(QStringLiteral("assign_failed"), {{"path", d.path()}});
        QJsonObject end = which;
        end.insert(QStringLiteral("got"), n == 1);
        soakLog().write(QStringLiteral("op_end"), end);
    }

    // The cable deleted from the drawing; its row released for reuse.
    void deleteCable(Drawing& d, const QString& handle) {
        const cad::Entity* e = d.document().find(handle);
        const QString id = tag::ref1(*e);
        soakLog().write(QStringLiteral("delete_begin"), {{"cable_id", id.toLongLong()}});
        DeletionRun run(s_.ui, db::connections());
        run.hideWarnings = true;
        const DeletionResult r = validateDeletion(d, {handle}, run);
        soakLog().write(r == DeletionResult::Erased ? QStringLiteral("deleted")
                                                    : QStringLiteral("delete_failed"),
                        {{"cable_id", id.toLongLong()}, {"path", d.path()}});
    }

    const Folders& f_;
    QString id_;
    Session& s_;
    std::mt19937 rng_;
    projects::DrawingRegistry registry_;
    DrawingFiles files_;
    QStringList drawings_;
    int made_ = 0;
};

int work(const Folders& f, const QString& id, const QString& pm, const QString& eq, quint32 seed) {
    QDir().mkpath(f.logs);
    soakLog().open(f.logs + QLatin1Char('/') + id + QStringLiteral(".log"), id);
    std::signal(SIGTERM, onTerm);
    std::signal(SIGINT, onTerm);
    soakLog().write(QStringLiteral("start"));
    try {
        Session s(f, id, pm, eq);
        if (!s.projects().openProject(kProject)) throw AppError(err::kFileNotFound, "no project");
        soakLog().write(QStringLiteral("ready"));
        Worker(f, id, s, seed).run();
    } catch (const std::exception& e) {
        soakLog().write(QStringLiteral("fatal"), {{"text", QString::fromUtf8(e.what())}});
        return 1;
    }
    return 0;
}

// ---- check --------------------------------------------------------------------------------

// Every drawing read back with the program's reader; its assigned cables with the row they
// name and the number they show.
int check(const Folders& f) {
    QDir dir(f.drawings);
    for (const QString& name : dir.entryList({QStringLiteral("*.dxf")}, QDir::Files)) {
        QJsonObject out{{"file", name}};
        try {
            const cad::Document doc = cad::loadDxf(dir.filePath(name));
            QJsonArray cables;
            for (const cad::Entity& e : doc.modelSpace().entities)
                if (e.kind == cad::EntityKind::Polyline && tag::kindOf(e) == tag::kind::Cable &&
                    !tag::ref1(e).isEmpty())
                    cables.append(QJsonObject{{"handle", e.handle.toString()},
                                              {"cable_id", tag::ref1(e).toLongLong()},
                                              {"tip", e.tooltip}});
            out.insert(QStringLiteral("ok"), true);
            out.insert(QStringLiteral("cables"), cables);
        } catch (const std::exception& e) {
            out.insert(QStringLiteral("ok"), false);
            out.insert(QStringLiteral("error"), QString::fromUtf8(e.what()));
        }
        std::printf("%s\n", QJsonDocument(out).toJson(QJsonDocument::Compact).constData());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (bench::helpAsked(
            argc, argv,
            "One user of the shared-mode soak on a PostgreSQL server, driven by\n"
            "bench/soak.py:\n"
            "  soak_worker setup ROOT PM EQ DRAWINGS   prepare the databases and drawings\n"
            "  soak_worker work ROOT ID PM EQ SEED      loop over the operations, logging\n"
            "  soak_worker check ROOT                   check the logs against the databases\n",
            nullptr))
        return 0;
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    const QString mode = a.value(1);
    if (mode == QLatin1String("setup") && a.size() == 6)
        return setup(Folders(a[2], QStringLiteral("soak_setup")), a[3], a[4], a[5].toInt());
    if (mode == QLatin1String("work") && a.size() == 7)
        return work(Folders(a[2], a[3]), a[3], a[4], a[5], a[6].toUInt());
    if (mode == QLatin1String("check") && a.size() == 3) return check(Folders(a[2], QString()));
    std::fprintf(stderr,
                 "usage: soak_worker setup ROOT PM EQ DRAWINGS\n"
                 "       soak_worker work ROOT ID PM EQ SEED\n"
                 "       soak_worker check ROOT\n");
    return 2;
}
