// The drawing registry of the open project and its drawing locks.
#include "projects/drawing_registry.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include "db/locks.h"
#include "shell/app_folder.h"
#include "shell/run_state.h"
#include "ui/ui.h"

namespace tolvane::projects {

using db::DbId;
using db::Query;

namespace {

const QString kNotLocked = QStringLiteral("This drawing is not locked");

QString unlockQuestion(bool plural) {
    return QStringLiteral(
               "This function will will unlock the selected %1. This can be hazardous "
               "if another user has the drawing open. Proceed?")
        .arg(plural ? QStringLiteral("drawings") : QStringLiteral("drawing"));
}

}  // namespace

QString DrawingEntry::fileName() const {
    return DrawingRegistry::fileNameOf(path);
}

QString DrawingEntry::displayText() const {
    if (!exists) return fileName() + DrawingRegistry::missingMark();
    if (locked) return fileName() + QStringLiteral(" (") + lockedBy + QLatin1Char(')');
    return fileName();
}

QStringList projectReports(const QString& projectFolder, const QString& kind) {
    if (projectFolder.isEmpty()) return {};
    const QString reports = appfolder::findNoCase(projectFolder, QStringLiteral("REPORTS"));
    if (reports.isEmpty()) return {};
    const QString folder = appfolder::findNoCase(reports, kind);
    if (folder.isEmpty()) return {};
    QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden);
    std::sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        const int c = a.fileName().compare(b.fileName(), Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.fileName() < b.fileName();
    });
    QStringList out;
    for (const QFileInfo& f : files)
        if (f.suffix().compare(QLatin1String("rpx"), Qt::CaseInsensitive) == 0)
            out << f.absoluteFilePath();
    return out;
}

DrawingRegistry::DrawingRegistry(RunState& run, Ui& ui, db::Connections& registry)
    : run_(run), ui_(ui), registry_(registry) {}

QString DrawingRegistry::missingMessage(const QString& path) {
    return QStringLiteral("The drawing: ") + path +
           QStringLiteral(" is missing, or has been renamed, or moved.");
}

QString DrawingRegistry::fileNameOf(const QString& path) {
    const qsizetype cut =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

bool DrawingRegistry::fileExists(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    if (info.isFile()) return true;
    const QString found = appfolder::findNoCase(info.path(), info.fileName());
    return !found.isEmpty() && QFileInfo(found).isFile();
}

// One row of "select DrawingName, drawingpath, Locked, LOCKEDBY".
DrawingEntry DrawingRegistry::entryOf(const Query& q) {
    DrawingEntry e;
    e.name = q.value(0).toString();
    e.path = q.value(1).toString();
    e.locked = q.value(2).toBool();
    e.lockedBy = q.value(3).toString();
    e.exists = fileExists(e.path);
    return e;
}

QList<DrawingEntry> DrawingRegistry::drawings() {
    Query q(DbId::Project,
            QStringLiteral("select DrawingName, drawingpath, Locked, LOCKEDBY from tblDrawings "
                           "order by DrawingName, drawingpath"),
            registry_);
    q.exec();
    QList<DrawingEntry> out;
    while (q.next()) out << entryOf(q);
    return out;
}

std::optional<DrawingEntry> DrawingRegistry::find(const QString& path) {
    Query q(DbId::Project,
            QStringLiteral("select DrawingName, drawingpath, Locked, LOCKEDBY from tblDrawings "
                           "where drawingpath = ?"),
            registry_);
    q.bind(path).exec();
    if (!q.next()) return std::nullopt;
    return entryOf(q);
}

DrawingTitle DrawingRegistry::title(const QString& path) {
    DrawingTitle t;
    t.drawingName = QFileInfo(fileNameOf(path)).completeBaseName();
    const QFileInfo file(path);
    if (file.exists()) t.date = file.lastModified().date().toString(Qt::ISODate);
    if (!run_.currentProjectPath.isEmpty() && registry_.isBound(DbId::PM)) {
        Query p(DbId::PM,
                QStringLiteral("select ProjectName from tblProjects where ProjectPath = ?"),
                registry_);
        const QVariant name = p.bind(run_.currentProjectPath).scalar();
        if (name.isValid()) t.project = name.toString();
    }
    Query q(DbId::Project,
            QStringLiteral("select DrawingTitle, DrawingNo, Revision, DrawingDate, DrawnBy "
                           "from tblDrawings where drawingpath = ?"),
            registry_);
    q.bind(path).exec();
    if (!q.next()) return t;
    const auto given = [&q](int column, QString& field) {
        const QString v = q.value(column).toString().trimmed();
        if (!v.isEmpty()) field = v;
    };
    given(0, t.drawingName);
    given(1, t.drawingNo);
    given(2, t.revision);
    given(3, t.date);
    given(4, t.drawnBy);
    return t;
}

std::optional<int> DrawingRegistry::projectsId() {
    if (run_.currentProjectPath.isEmpty() || !registry_.isBound(DbId::PM)) return std::nullopt;
    Query q(DbId::PM, QStringLiteral("select ProjectsID from tblProjects where ProjectPath = ?"),
            registry_);
    const QVariant id = q.bind(run_.currentProjectPath).scalar();
    if (!id.isValid() || id.isNull()) return std::nullopt;
    return id.toInt();
}

void DrawingRegistry::addRow(const QString& path, bool locked, const QString& holder) {
    const std::optional<int> project = projectsId();
    Query q(DbId::Project,
            QStringLiteral("insert into tblDrawings (ProjectsID, DrawingName, drawingpath, Locked, "
                           "LOCKEDBY) values (?, ?, ?, ?, ?)"),
            registry_);
    q.bind(project ? QVariant(*project) : QVariant(QMetaType(QMetaType::Int)))
        .bind(fileNameOf(path))
        .bind(path)
        .bind(locked)
        .bind(holder)
        .exec();
}

bool DrawingRegistry::registerDrawing(const QString& path) {
    if (path.isEmpty() || find(path)) return false;
    addRow(path, false, QString());
    return true;
}

bool DrawingRegistry::registerOpen(const QString& path) {
    if (path.isEmpty() || find(path)) return false;
    addRow(path, true, run_.whoAmI);
    return true;
}

OpenLock DrawingRegistry::lockForOpen(const QString& path) {
    // The lock is ours only while our session shows that we are alive.
    registry_.setSessionIdentity(run_.whoAmI);
    std::optional<DrawingEntry> row = find(path);
    if (!row) {
        addRow(path, true, run_.whoAmI);
        return OpenLock::Opened;
    }
    if (!row->locked) {
        // Test and set in one statement: of two users opening at once only one gets the lock.
        Query take(DbId::Project,
                   QStringLiteral("update tblDrawings set Locked = ?, LOCKEDBY = ? where "
                                  "drawingpath = ? and coalesce(Locked, FALSE) = FALSE"),
                   registry_);
        take.bind(true).bind(run_.whoAmI).bind(path).exec();
        if (take.rowsAffected() > 0) return OpenLock::Opened;
        row = find(path);
        if (!row) return lockForOpen(path);
    }
    // A holder whose run has ended (killed, or this user's own earlier run) has left the lock
    // behind: it is taken over. A holder still at work keeps it.
    const QString holder = row->lockedBy;
    if (db::takeOverStale(DbId::Project, holder, run_.whoAmI, registry_, [&] {
            Query take(DbId::Project,
                       QStringLiteral("update tblDrawings set Locked = ?, LOCKEDBY = ? where "
                                      "drawingpath = ? and Locked = ? and coalesce(LOCKEDBY, "
                                      "'') = ?"),
                       registry_);
            take.bind(true).bind(run_.whoAmI).bind(path).bind(true).bind(holder).exec();
            return take.rowsAffected();
        }))
        return OpenLock::Opened;
    const MsgButton answer = ui_.message(
        QStringLiteral("The Drawing: ") + path + QStringLiteral(" is in use by: ") + row->lockedBy +
            QStringLiteral(" -- Open Read Only. You will not be able to save "
                           "changes to this drawing"),
        MsgButtons::OkCancel, MsgIcon::Warning);
    return answer == MsgButton::Ok ? OpenLock::ReadOnly : OpenLock::Cancelled;
}

void DrawingRegistry::releaseLock(const QString& path) {
    // Only our own lock: a drawing opened read-only leaves its holder's lock alone.
    Query q(DbId::Project,
            QStringLiteral("update tblDrawings set Locked = ?, LOCKEDBY = ? where drawingpath = ? "
                           "and LOCKEDBY = ?"),
            registry_);
    q.bind(false).bind(QString()).bind(path).bind(run_.whoAmI).exec();
}

bool DrawingRegistry::unlock(const QString& path) {
    return unlockAfterQuestion({path}, unlockQuestion(false));
}

bool DrawingRegistry::unlock(const QStringList& paths) {
    return unlockAfterQuestion(paths, unlockQuestion(true));
}

bool DrawingRegistry::unlockAfterQuestion(const QStringList& paths, const QString& question) {
    if (paths.isEmpty()) return false;
    if (ui_.message(question, MsgButtons::YesNo, MsgIcon::Warning) != MsgButton::Yes) return false;
    bool changed = false;
    for (const QString& path : paths) {
        const std::optional<DrawingEntry> row = find(path);
        if (!row) continue;
        if (!row->locked) {
            ui_.message(kNotLocked);
            continue;
        }
        Query q(DbId::Project,
                QStringLiteral("update tblDrawings set Locked = ? where drawingpath = ?"),
                registry_);
        q.bind(false).bind(path).exec();
        changed = true;
    }
    return changed;
}

int DrawingRegistry::removeMissing() {
    QStringList missing;
    for (const DrawingEntry& e : drawings())
        if (!e.exists) missing << e.path;
    if (missing.isEmpty()) return 0;
    db::Transaction t(DbId::Project, registry_);
    for (const QString& path : missing) {
        Query q(DbId::Project, QStringLiteral("delete from tblDrawings where drawingpath = ?"),
                registry_);
        q.bind(path).exec();
    }
    t.commit();
    return int(missing.size());
}

bool DrawingRegistry::clearAll() {
    const MsgButton answer = ui_.message(
        QStringLiteral("This function will clear the Project Drawings database removing all "
                       "drawings and descriptions.\r\nThis process cannot be undone. Proceed?"),
        MsgButtons::YesNo, MsgIcon::Warning);
    if (answer != MsgButton::Yes) return false;
    db::Transaction t(DbId::Project, registry_);
    Query(DbId::Project, QStringLiteral("delete from tblDrawings"), registry_).exec();
    t.commit();
    return true;
}

void DrawingRegistry::releaseAtShutdown() {
    try {
        // Nothing held, nothing written: a run that only read a read-only database ends as
        // quietly as it ran.
        const bool shared = run_.mode == DatabaseMode::Shared;
        Query held(DbId::Project,
                   shared ? QStringLiteral("select count(*) from tblDrawings where Locked = ? and "
                                           "LOCKEDBY = ?")
                          : QStringLiteral("select count(*) from tblDrawings where Locked = ?"),
                   registry_);
        held.bind(true);
        if (shared) held.bind(run_.whoAmI);
        if (held.scalar().toInt() == 0) return;
        db::Transaction t(DbId::Project, registry_);
        if (shared) {
            Query q(DbId::Project,
                    QStringLiteral("update tblDrawings set Locked = ? where LOCKEDBY = ?"),
                    registry_);
            q.bind(false).bind(run_.whoAmI).exec();
        } else {
            Query q(DbId::Project, QStringLiteral("update tblDrawings set Locked = ?"), registry_);
            q.bind(false).exec();
        }
        t.commit();
    } catch (const db::DbError& e) {
        // A database that cannot be written (a read-only file or share) must not keep the
        // program from closing: the user hears why the drawings may still show as open.
        ui_.message(QStringLiteral("The drawings of this session could not be marked as closed "
                                   "in the project database (%1).\r\n%2\r\nTolvane closes "
                                   "anyway.")
                        .arg(registry_.boundTo(DbId::Project).location(), e.description()),
                    MsgButtons::Ok, MsgIcon::Warning);
    }
}

}  // namespace tolvane::projects
