// The drawing registry of the open project and its drawing locks.
#include "projects/drawing_registry.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include "db/locks.h"
#include "db/records/projects.h"
#include "shell/app_folder.h"
#include "shell/run_state.h"
#include "ui/ui.h"

namespace tolvane::projects {

using db::DbId;

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

QList<DrawingEntry> DrawingRegistry::drawings() {
    QList<DrawingEntry> out;
    for (const db::DrawingRow& row : db::DrawingTable(registry_).all())
        out << DrawingEntry{row, fileExists(row.path)};
    return out;
}

std::optional<DrawingEntry> DrawingRegistry::find(const QString& path) {
    const std::optional<db::DrawingRow> row = db::DrawingTable(registry_).find(path);
    if (!row) return std::nullopt;
    return DrawingEntry{*row, fileExists(row->path)};
}

DrawingTitle DrawingRegistry::title(const QString& path) {
    DrawingTitle t;
    t.drawingName = QFileInfo(fileNameOf(path)).completeBaseName();
    const QFileInfo file(path);
    if (file.exists()) t.date = file.lastModified().date().toString(Qt::ISODate);
    if (!run_.currentProjectPath.isEmpty() && registry_.isBound(DbId::PM)) {
        if (const auto project = db::ProjectTable(registry_).atPath(run_.currentProjectPath))
            t.project = project->name;
    }
    const std::optional<db::DrawingRow> row = db::DrawingTable(registry_).find(path);
    if (!row) return t;
    const auto given = [](const QString& value, QString& field) {
        const QString v = value.trimmed();
        if (!v.isEmpty()) field = v;
    };
    given(row->title, t.drawingName);
    given(row->number, t.drawingNo);
    given(row->revision, t.revision);
    given(row->date, t.date);
    given(row->drawnBy, t.drawnBy);
    return t;
}

std::optional<qint64> DrawingRegistry::projectsId() {
    if (run_.currentProjectPath.isEmpty() || !registry_.isBound(DbId::PM)) return std::nullopt;
    const auto project = db::ProjectTable(registry_).atPath(run_.currentProjectPath);
    if (!project) return std::nullopt;
    return project->id;
}

void DrawingRegistry::addRow(const QString& path, bool locked, const QString& holder) {
    db::DrawingRow row;
    row.projectsId = projectsId();
    row.name = fileNameOf(path);
    row.path = path;
    row.locked = locked;
    row.lockedBy = holder;
    db::DrawingTable(registry_).insert(row);
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
    db::DrawingTable table(registry_);
    if (!row->locked) {
        if (table.lockIfFree(path, run_.whoAmI)) return OpenLock::Opened;
        row = find(path);
        if (!row) return lockForOpen(path);
    }
    // A holder whose run has ended (killed, or this user's own earlier run) has left the lock
    // behind: it is taken over. A holder still at work keeps it.
    const QString holder = row->lockedBy;
    if (db::takeOverStale(DbId::Project, holder, run_.whoAmI, registry_,
                          [&] { return table.takeOver(path, holder, run_.whoAmI); }))
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
    db::DrawingTable(registry_).release(path, run_.whoAmI);
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
        db::DrawingTable(registry_).unlock(path);
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
    db::DrawingTable(registry_).remove(missing);
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
    db::DrawingTable(registry_).removeAll();
    t.commit();
    return true;
}

void DrawingRegistry::releaseAtShutdown() {
    try {
        // Nothing held, nothing written: a run that only read a read-only database ends as
        // quietly as it ran.
        const bool shared = run_.mode == DatabaseMode::Shared;
        db::DrawingTable table(registry_);
        if ((shared ? table.lockedCount(run_.whoAmI) : table.lockedCount()) == 0) return;
        db::Transaction t(DbId::Project, registry_);
        if (shared)
            table.unlockAll(run_.whoAmI);
        else
            table.unlockAll();
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
