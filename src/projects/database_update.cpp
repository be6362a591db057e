// Merging the databases delivered to "DBUpdates" at start-up.
#include "projects/database_update.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "db/merge.h"
#include "db/records/projects.h"
#include "db/setup.h"
#include "shell/app_folder.h"
#include "shell/error_handler.h"
#include "shell/event_log.h"
#include "ui/ui.h"

namespace tolvane::projects {

namespace {

const QString kUpdatesFolder = QStringLiteral("DBUpdates");

// What tells one kind of update from another: its files, texts and names.
struct KindText {
    const char* delivered;
    const char* replica;
    const char* found;    // the splash window's information line
    const char* located;  // the question's subject
    const char* changes;  // what the question says the update brings
    const char* procedure;
    const char* done;      // the log line after the merge
    const char* database;  // how the messages name the database
};

const KindText& textOf(UpdateKind kind) {
    static const KindText pm{
        "dbPM.db",
        "dbPMRep.db",
        "Updated Project Manager Database Found. Updating existing Project Manager Database.",
        "an updated Project Manager Database",
        "structural changes and updated data",
        "UpdatePM",
        "Updated the projectManager databases",
        "The Project Manager Database"};
    static const KindText equipment{
        "dbEquip.db",
        "dbEquipRep.db",
        "Updated Equipment Database Found. Updating Equipment Database.",
        "an updated Equipment Database",
        "structural changes and updated data",
        "UpdateEquip",
        "Updated the Equipment databases",
        "The Equipment Database"};
    static const KindText blank{
        "BlankDB.db",
        "BlankdbRep.db",
        "Updated Project Database Found. Updating all existing Project Databases.",
        "an updated Blank Project Database",
        "structural changes",
        "UpDateProjectDatabases",
        "Updated the project databases",
        "The Project Database"};
    switch (kind) {
        case UpdateKind::ProjectManager:
            return pm;
        case UpdateKind::Equipment:
            return equipment;
        case UpdateKind::BlankProject:
            break;
    }
    return blank;
}

// "dbPM.db" -> "dbPMOld.db": the backup kept beside a database.
QString backupOf(const QString& file) {
    const QFileInfo info(file);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral("Old.") + info.suffix());
}

// The lines that follow "... had conflicts!": how to go back, and where to resolve them.
QString conflictLines(const QString& heading, const QString& location, const QString& file) {
    const QString name = QFileInfo(file).fileName();
    const QString backup = QFileInfo(backupOf(file)).fileName();
    return QStringList{
        heading,
        QStringLiteral("All conflicts are resolved in favor of the existing "
                       "database."),
        QStringLiteral("This is done to insure the integrity of the existing "
                       "database."),
        QString(),
        QStringLiteral("To revert to the previous version, browse to: "),
        location,
        QStringLiteral("and delete %1 and rename the saved backup version,").arg(name),
        QStringLiteral("%1 to %2").arg(backup, name),
        QString(),
        QStringLiteral("To resolve conflicts use the Resolve Conflicts function."),
        QStringLiteral("Close all drawings and reports and click: "),
        QStringLiteral("Databases>Resolve Conflicts on the main menu")}
        .join(QStringLiteral("\r\n"));
}

}  // namespace

DatabaseUpdate::DatabaseUpdate(const QString& appFolder, Ui& ui, EventLog& log,
                               ErrorHandler* errors, db::Connections& registry)
    : app_(appFolder.endsWith(QLatin1Char('/')) ? appFolder : appFolder + QLatin1Char('/')),
      ui_(ui),
      log_(log),
      errors_(errors),
      registry_(registry) {}

void DatabaseUpdate::log(const QString& line) {
    if (log_.enabled()) log_.log(line);
}

QString DatabaseUpdate::deliveredFile(UpdateKind kind) const {
    const QString folder = appfolder::findNoCase(app_, kUpdatesFolder);
    if (folder.isEmpty()) return {};
    return appfolder::findNoCase(folder, QString::fromLatin1(textOf(kind).delivered));
}

void DatabaseUpdate::atStartup() {
    update(UpdateKind::BlankProject);
    log(QStringLiteral("Updated blank databases successfully"));
    update(UpdateKind::Equipment);
    log(QStringLiteral("Updated Equipment databases successfully"));
    update(UpdateKind::ProjectManager);
    log(QStringLiteral("Updated project manager databases successfully"));
}

void DatabaseUpdate::update(UpdateKind kind) {
    runGuarded(errors_, "UpDateDB", [&] {
        log(QStringLiteral("UpdateDB started"));
        log(QStringLiteral("FS Object created"));
        const QString delivered = deliveredFile(kind);
        if (delivered.isEmpty()) return;
        const KindText& t = textOf(kind);
        ui_.status(QString::fromLatin1(t.found));
        const QString question =
            QStringLiteral(
                "Tolvane has located %1 in the %2DBUpdates folder. This updated "
                "database is likely to have %3 that are important to the proper "
                "operation of Tolvane. Continue with update?")
                .arg(QLatin1String(t.located), app_, QLatin1String(t.changes));
        if (ui_.message(question, MsgButtons::YesNo, MsgIcon::Question) != MsgButton::Yes) return;
        runGuarded(errors_, t.procedure, [&] {
            if (kind == UpdateKind::BlankProject)
                mergeProjects(delivered);
            else
                mergeLibrary(kind, delivered);
        });
        log(QString::fromLatin1(t.done));
    });
}

DatabaseUpdate::Merged DatabaseUpdate::merge(db::DbId id, const QString& file,
                                             const QString& replica) {
    // The run's own connection to the file closes first; it opens again when next used.
    if (registry_.isBound(id) && registry_.boundTo(id).engine == db::Engine::SQLite &&
        QFileInfo(registry_.boundTo(id).path) == QFileInfo(file))
        registry_.close(id);
    db::Connections local;
    local.bind(id, db::ConnectionSpec::sqlite(file));
    // A merge of some size shows its progress, and may be cancelled: nothing of it is kept.
    const db::MergeReport report =
        db::mergeDatabase(id, replica, local, [this, &file](const db::MergeStep& step) {
            if (step.total < 5000) return true;
            return ui_.progress(
                QStringLiteral("Updating %1: %2").arg(QFileInfo(file).fileName(), step.table),
                step.done, step.total);
        });
    ui_.progress(QString(), 0, 0);
    local.closeAll();
    if (report.cancelled) {
        ui_.message(QStringLiteral("The update of %1 was cancelled: it is as it was, and the "
                                   "update is offered again at the next start.")
                        .arg(QDir::toNativeSeparators(file)));
        return Merged::Cancelled;
    }
    return report.hadConflicts() ? Merged::Conflicts : Merged::Clean;
}

void DatabaseUpdate::finish(const QString& delivered, const QString& updatedName) {
    const QString updated = QFileInfo(delivered).dir().filePath(updatedName);
    QFile::remove(appfolder::findNoCase(QFileInfo(delivered).absolutePath(), updatedName));
    if (!QFile::rename(delivered, updated))
        throw AppError(err::kPathFileAccess,
                       QStringLiteral("Unable to rename %1 to %2").arg(delivered, updated));
}

void DatabaseUpdate::mergeLibrary(UpdateKind kind, const QString& delivered) {
    const KindText& t = textOf(kind);
    if (kind == UpdateKind::Equipment) log(QStringLiteral("Update equipment databases started"));
    const QString folder = QFileInfo(delivered).absolutePath();
    const QString replica = QDir(folder).filePath(QString::fromLatin1(t.replica));
    QFile::remove(appfolder::findNoCase(folder, QString::fromLatin1(t.replica)));
    appfolder::copyOver(delivered, replica);
    const bool pm = kind == UpdateKind::ProjectManager;
    const QString inUse = pm ? db::pmFile(app_) : db::equipmentFile(app_);
    appfolder::copyOver(inUse, backupOf(inUse));
    const Merged merged = merge(pm ? db::DbId::PM : db::DbId::Equipment, inUse, replica);
    const QString database = QString::fromLatin1(t.database);
    if (merged == Merged::Cancelled) {
        QFile::remove(replica);
        return;
    }
    if (merged == Merged::Clean)
        ui_.message(database + QStringLiteral(" was sychronized without conflicts."));
    else
        ui_.message(conflictLines(database + QStringLiteral(" had conflicts!"), app_, inUse),
                    MsgButtons::Ok, MsgIcon::Warning);
    finish(delivered, QStringLiteral("Updated_") + QString::fromLatin1(t.delivered));
    QFile::remove(replica);
}

void DatabaseUpdate::mergeProjects(const QString& delivered) {
    const KindText& t = textOf(UpdateKind::BlankProject);
    log(QStringLiteral("Update project databases started"));
    const QString blank = db::blankFile(app_);
    appfolder::copyOver(blank, backupOf(blank));

    const QList<db::ProjectRow> projects = db::ProjectTable(registry_).all();

    const QString folder = QFileInfo(delivered).absolutePath();
    const QString replica = QDir(folder).filePath(QString::fromLatin1(t.replica));
    QFile::remove(appfolder::findNoCase(folder, QString::fromLatin1(t.replica)));
    appfolder::copyOver(delivered, replica);

    const QString heading = QStringLiteral("The Project Database - %1 - ").arg(blank);
    const auto cancelled = [&] { QFile::remove(replica); };
    const Merged blankMerged = merge(db::DbId::Blank, blank, replica);
    if (blankMerged == Merged::Cancelled) return cancelled();
    if (blankMerged == Merged::Clean)
        ui_.message(heading + QStringLiteral("was sychronized without conflicts."));
    else
        ui_.message(conflictLines(heading + QStringLiteral("had conflicts!"), blank, blank),
                    MsgButtons::Ok, MsgIcon::Warning);

    for (const db::ProjectRow& p : projects) {
        if (p.path.isEmpty()) continue;  // a project not placed yet has no database
        const QString databases = QDir(p.path).filePath(QStringLiteral("Project Databases"));
        // A project kept on the shared server is updated there (see the shared-mode notes).
        if (!appfolder::findNoCase(databases, QStringLiteral("ProjectDB.connection")).isEmpty())
            continue;
        const QString file = db::projectFile(p.path);
        if (!QFileInfo(file).isFile()) {
            ui_.message(QStringLiteral("Path not found to: ") + file);
            continue;
        }
        appfolder::copyOver(file, backupOf(file));
        const QString projectHeading = QStringLiteral("The Project Database - %1- ").arg(p.name);
        const Merged merged = merge(db::DbId::Project, file, replica);
        if (merged == Merged::Cancelled) return cancelled();
        if (merged == Merged::Clean)
            ui_.message(projectHeading + QStringLiteral("was sychronized without conflicts."));
        else
            ui_.message(
                conflictLines(projectHeading + QStringLiteral("had conflicts!"), file, file),
                MsgButtons::Ok, MsgIcon::Warning);
    }
    finish(delivered, QStringLiteral("Updated_") + QString::fromLatin1(t.delivered));
}

}  // namespace tolvane::projects
