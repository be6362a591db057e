// Connecting the databases at start-up.
#include "db/setup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "db/locks.h"
#include "db/schema.h"
#include "db/starter_library.h"
#include "shell/app_folder.h"
#include "shell/event_log.h"
#include "shell/settings_store.h"
#include "ui/ui.h"

namespace tolvane::db {

namespace {
QString inFolder(const QString& folder, const QString& name) {
    const QString found = appfolder::findNoCase(folder, name);
    return found.isEmpty() ? QDir(folder).filePath(name) : found;
}
}  // namespace

DatabaseMode modeFromSettings(const SettingsStore& settings) {
    return settings.read(kModeSetting).compare(QLatin1String("SHARED"), Qt::CaseInsensitive) == 0
               ? DatabaseMode::Shared
               : DatabaseMode::SingleUser;
}

QString pmFile(const QString& appFolder) {
    return inFolder(appFolder, QStringLiteral("dbPM.db"));
}

QString equipmentFile(const QString& appFolder) {
    return inFolder(appFolder, QStringLiteral("dbEquip.db"));
}

QString blankFile(const QString& appFolder) {
    return inFolder(inFolder(appFolder, QStringLiteral("BlankProjectDB")),
                    QStringLiteral("Blankdb.db"));
}

QString projectFile(const QString& projectFolder) {
    return inFolder(inFolder(projectFolder, QStringLiteral("Project Databases")),
                    QStringLiteral("ProjectDB.db"));
}

DatabaseSetup::DatabaseSetup(RunState& run, SettingsStore& settings, Ui& ui, EventLog& log,
                             Connections& registry)
    : run_(run), settings_(settings), ui_(ui), log_(log), registry_(registry) {}

void DatabaseSetup::log(const QString& line) {
    if (log_.enabled()) log_.log(line);
}

void DatabaseSetup::seed(DbId id) {
    switch (kindOf(id)) {
        case DbKind::Equipment:
            seedEquipment(registry_);
            break;
        case DbKind::ProjectManager:
            // A shared server's default project is claimed by the first installation that
            // makes it (projects::ProjectRegistry::setUpDefaultProject), not by the seeding.
            seedProjectManager(run_.mode == DatabaseMode::Shared
                                   ? QString()
                                   : run_.appFolder() + QStringLiteral("/Tolvane Default Project"),
                               registry_);
            break;
        case DbKind::Project:
            seedProject(id, registry_);
            break;
    }
}

void DatabaseSetup::upgradeOrSeed(DbId id) {
    const int version = schemaVersion(id, registry_);
    if (version == kSchemaVersion) return;
    ensureSchema(id, registry_);
    if (version == 0) seed(id);
}

void DatabaseSetup::prepareSqlite(DbId id, const QString& file) {
    const bool fresh = !QFileInfo::exists(file);
    if (fresh) createSqliteFile(id, file);
    registry_.bind(id, ConnectionSpec::sqlite(file));
    if (!fresh) {
        upgradeExisting(id, registry_);
        return;
    }
    // A new installation: the whole database or none of it, so that the next start tries
    // again rather than working on half a library.
    try {
        ensureSchema(id, registry_);
        seed(id);
    } catch (...) {
        registry_.close(id);
        QFile::remove(file);
        throw;
    }
    log(QStringLiteral("Created the %1: %2").arg(dbTitle(id), file));
}

std::optional<ConnectionSpec> DatabaseSetup::locate(DbId id, const QString& settingName,
                                                    const QString& dbLabel) {
    QString text = settings_.read(settingName);
    for (;;) {
        if (!text.isEmpty()) {
            const auto connSpec = ConnectionSpec::parse(text);
            if (connSpec) {
                registry_.bind(id, *connSpec);
                try {
                    registry_.database(id);
                    return connSpec;
                } catch (const DbError& e) {
                    log(e.description());
                }
            }
            const QString where = connSpec ? connSpec->location() : text;
            const MsgButton answer = ui_.message(
                QStringLiteral("The Master Database at ") + where +
                    QStringLiteral(" has been deleted, moved, renamed, or the network share is "
                                   "unavailable. Select OK to search for a new path, or cancel "
                                   "to quit Tolvane"),
                MsgButtons::OkCancel, MsgIcon::Warning);
            if (answer != MsgButton::Ok) return std::nullopt;
        }
        const auto entered = ui_.input(
            QStringLiteral("Find %1 on the server holding the Tolvane Master Databases")
                .arg(dbLabel),
            QStringLiteral("Connection string of %1, for example postgresql:host=server port=5432 "
                           "dbname=tolvane user=name password=secret schema=%2")
                .arg(dbLabel, dbLabel.toLower()),
            text.isEmpty() ? QStringLiteral("postgresql:host=localhost port=5432 dbname=tolvane")
                           : text);
        if (!entered)
            throw AppError(
                err::kFileNotFound,
                QStringLiteral("No location was given for the master database %1").arg(dbLabel));
        text = entered->trimmed();
        settings_.write(settingName, text);
    }
}

bool DatabaseSetup::locateMasters() {
    if (run_.mode != DatabaseMode::Shared) return true;
    const auto pm = locate(DbId::PM, setting::PmPath, QStringLiteral("dbPM"));
    if (!pm) return false;
    const auto equipment = locate(DbId::Equipment, setting::EqPath, QStringLiteral("dbEquip"));
    if (!equipment) return false;
    run_.pmConnection = pm->text();
    run_.equipmentConnection = equipment->text();
    located_ = true;
    return true;
}

bool DatabaseSetup::connect() {
    const QString app = run_.appFolder();
    // Every server connection of the run shows that this WhoAmI is alive (db/locks.h).
    registry_.setSessionIdentity(run_.whoAmI);
    if (run_.mode == DatabaseMode::Shared) {
        if (!located_ && !locateMasters()) return false;
        // Installations that start together for the first time: one makes and seeds the
        // master databases, the others wait and then find them made.
        ServerMutex first(DbId::PM, registry_);
        upgradeOrSeed(DbId::PM);
        upgradeOrSeed(DbId::Equipment);
    } else {
        prepareSqlite(DbId::PM, pmFile(app));
        prepareSqlite(DbId::Equipment, equipmentFile(app));
        run_.pmConnection = registry_.boundTo(DbId::PM).text();
        run_.equipmentConnection = registry_.boundTo(DbId::Equipment).text();
    }
    prepareSqlite(DbId::Blank, blankFile(app));
    run_.blankProjectConnection = registry_.boundTo(DbId::Blank).text();
    // Until a project is opened, project queries reach the blank project database.
    if (run_.projectConnection.isEmpty())
        registry_.bind(DbId::Project, registry_.boundTo(DbId::Blank));
    return true;
}

bool DatabaseSetup::setDefaultProjectPath() {
    // Single-user mode: the default project lives in this application folder. A shared
    // server's default project belongs to the installation that claimed it first; later ones
    // find it and leave it where it is.
    const bool shared = run_.mode == DatabaseMode::Shared;
    Query q(DbId::PM,
            QStringLiteral("update tblProjects set ProjectPath = ? where ProjectName = ?") +
                (shared ? QStringLiteral(" and coalesce(ProjectPath, '') = ''") : QString()),
            registry_);
    q.bind(run_.appFolder() + QStringLiteral("/Tolvane Default Project"))
        .bind(QStringLiteral("DEFAULT_PROJECT"))
        .exec();
    return q.rowsAffected() > 0;
}

}  // namespace tolvane::db
