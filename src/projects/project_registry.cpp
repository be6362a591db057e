// The project registry: creating, opening, linking, deleting and consolidating projects. A
// project is a folder ("Project Databases", "DRAWINGS", "REPORTS/GENERAL", "REPORTS/LABELS")
// and a project database: the SQLite file "Project Databases/ProjectDB.db", or in shared mode a
// schema of the server, whose connection string the folder records in
// "Project Databases/ProjectDB.connection".
#include "projects/project_registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>

#include "db/locks.h"
#include "db/records/drawings.h"
#include "db/schema.h"
#include "db/setup.h"
#include "db/starter_library.h"
#include "shell/app_folder.h"
#include "shell/event_log.h"
#include "shell/run_state.h"
#include "shell/settings_store.h"
#include "shell/user_file.h"
#include "ui/ui.h"

namespace tolvane::projects {

using db::DbId;
using db::Query;

namespace {

const QString kDatabasesFolder = QStringLiteral("Project Databases");
const QString kDrawingsFolder = QStringLiteral("DRAWINGS");
const QString kProjectFile = QStringLiteral("ProjectDB.db");
const QString kConnectionFile = QStringLiteral("ProjectDB.connection");
const QString kSnapshotFile = QStringLiteral("dbEquip.db");
const QString kCrLf = QStringLiteral("\r\n");
const QString kLinkTitle = QStringLiteral("Select Project Database to Link to");
const QString kUpdateFailed = QStringLiteral("unable to update Project Database");

QString withoutTrailingSlash(const QString& path) {
    if (path.trimmed().isEmpty()) return {};
    QString p = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (p.size() > 1 && p.endsWith(QLatin1Char('/'))) p.chop(1);
    return p;
}

// The entry of folder named name without regard to case; folder/name when there is none.
QString entry(const QString& folder, const QString& name) {
    const QString found = appfolder::findNoCase(folder, name);
    return found.isEmpty() ? folder + QLatin1Char('/') + name : found;
}

QString databasesFolder(const QString& project) {
    return entry(project, kDatabasesFolder);
}

// The project folder of a chosen project database: its path up to "/Project Databases/".
std::optional<QString> folderOfDatabase(const QString& file) {
    const QString f = QDir::cleanPath(QFileInfo(file).absoluteFilePath());
    const int at = f.lastIndexOf(QLatin1Char('/') + kDatabasesFolder + QLatin1Char('/'), -1,
                                 Qt::CaseInsensitive);
    if (at <= 0) return std::nullopt;
    return f.left(at);
}

QString databaseFilter(DatabaseMode mode) {
    return mode == DatabaseMode::Shared ? QStringLiteral("Tolvane Database (*.db *.connection)")
                                        : QStringLiteral("Tolvane Database (*.db)");
}

// A name becomes a folder name and the lookup key of the registry: no folder separators, no
// blanks at either end that nobody can see in the list.
std::optional<QString> nameProblem(const QString& name) {
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
        name.trimmed() != name || name.isEmpty())
        return QStringLiteral(
                   "The project name \"%1\" cannot be used: a project name may not "
                   "contain / or \\, nor begin or end with a blank.")
            .arg(name);
    return std::nullopt;
}

// ---- the project database's location -------------------------------------------------------

// A recorded server location carries no password: it is taken from the project manager's
// connection when both are on the same server.
db::ConnectionSpec readRecorded(const QString& file, const db::Connections& registry) {
    // One line; a file of more than a few of them is no such record.
    constexpr qint64 kMaxRecordBytes = 64 * 1024;
    const UserFile f = readUserFile(file, kMaxRecordBytes);
    std::optional<db::ConnectionSpec> location;
    if (f.ok()) {
        const qsizetype end = f.bytes.indexOf('\n');
        const QByteArray line = end < 0 ? f.bytes : f.bytes.first(end);
        location = db::ConnectionSpec::parse(QString::fromUtf8(line).trimmed());
    }
    if (!location || location->engine != db::Engine::PostgreSQL || location->schema.isEmpty())
        throw AppError(err::kPathFileAccess,
                       QStringLiteral("The file %1 does not hold the server location of a project "
                                      "database")
                           .arg(file));
    if (registry.isBound(DbId::PM)) {
        const db::ConnectionSpec& pm = registry.boundTo(DbId::PM);
        if (pm.engine == db::Engine::PostgreSQL && pm.host == location->host &&
            pm.port == location->port && pm.database == location->database) {
            if (location->user.isEmpty()) location->user = pm.user;
            if (location->password.isEmpty() && location->user == pm.user)
                location->password = pm.password;
        }
    }
    return *location;
}

// The database a chosen file stands for: the SQLite file itself, or the recorded server schema.
db::ConnectionSpec databaseOfFile(const QString& file, const db::Connections& registry) {
    if (file.endsWith(QStringLiteral(".connection"), Qt::CaseInsensitive))
        return readRecorded(file, registry);
    return db::ConnectionSpec::sqlite(file);
}

// The database of a project folder; nullopt when the folder has none.
std::optional<db::ConnectionSpec> projectDatabase(const QString& folder,
                                                  const db::Connections& registry) {
    const QString databases = databasesFolder(folder);
    const QString recorded = appfolder::findNoCase(databases, kConnectionFile);
    if (!recorded.isEmpty()) return readRecorded(recorded, registry);
    const QString file = appfolder::findNoCase(databases, kProjectFile);
    if (file.isEmpty() || !QFileInfo(file).isFile()) return std::nullopt;
    return db::ConnectionSpec::sqlite(file);
}

// Copies source over target itself, rather than through a temporary file of its own, so that
// a copy killed half-way leaves nothing but target.
bool copyInto(const QString& source, const QString& target) {
    QFile in(source), out(target);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    for (;;) {
        const QByteArray block = in.read(1 << 16);
        if (block.isEmpty()) return in.error() == QFileDevice::NoError && out.flush();
        if (out.write(block) != block.size()) return false;
    }
}

// Whether a project folder holds its database (the file, or the record of its server schema),
// whether or not it can be read.
bool holdsProjectDatabase(const QString& folder) {
    const QString databases = appfolder::findNoCase(folder, kDatabasesFolder);
    if (databases.isEmpty()) return false;
    return !appfolder::findNoCase(databases, kProjectFile).isEmpty() ||
           !appfolder::findNoCase(databases, kConnectionFile).isEmpty();
}

void writeTextFile(const QString& path, const QString& text) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text.toUtf8()) < 0 || !f.commit())
        throw AppError(err::kPathFileAccess,
                       QStringLiteral("Unable to write %1: %2").arg(path, f.errorString()));
}

// ---- server schemas -----------------------------------------------------------------------

// "proj_" + the name in lower case, every character a PostgreSQL identifier cannot hold made
// "_".
QString schemaBase(const QString& project) {
    QString base = QStringLiteral("proj_");
    for (const QChar c : project.toLower())
        base += (c.unicode() < 128 && c.isLetterOrNumber()) ? c : QLatin1Char('_');
    return base.left(50);
}

// The schema of a shared server's default project: one per server, found by its name.
QString defaultProjectSchema() {
    return schemaBase(ProjectRegistry::defaultProjectName());
}

bool schemaExists(const QString& schema, db::Connections& registry) {
    return Query(DbId::PM, QStringLiteral("select count(*) from pg_namespace where nspname = ?"),
                 registry)
               .bind(schema)
               .scalar()
               .toInt() > 0;
}

// The base name, numbered when the server already has a schema of that name; the default
// project's name is never given to another project.
QString freeSchemaName(const QString& project, db::Connections& registry) {
    const QString base = schemaBase(project);
    QString name = base;
    for (int n = 2; name == defaultProjectSchema() || schemaExists(name, registry); ++n)
        name = base + QLatin1Char('_') + QString::number(n);
    return name;
}

// Only the schemas this program made for projects are ever dropped.
void dropProjectSchema(const db::ConnectionSpec& location) {
    if (location.engine != db::Engine::PostgreSQL ||
        !location.schema.startsWith(QLatin1String("proj_")))
        return;
    db::Connections scratch;
    scratch.bind(DbId::Project, location);
    db::Transaction tx(DbId::Project, scratch);
    // The list of every dropped table is no news.
    Query(DbId::Project, QStringLiteral("SET LOCAL client_min_messages = warning"), scratch).exec();
    Query(DbId::Project, QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(location.schema),
          scratch)
        .exec();
    tx.commit();
}

// ---- making a project ---------------------------------------------------------------------

// Everything one creation made, removed again unless the creation completed.
class Creation {
  public:
    ~Creation() {
        if (!done_) undo();
    }
    void madeFolder(const QString& path) { folders_.prepend(path); }
    void madeSchema(const db::ConnectionSpec& location) { schema_ = location; }
    void complete() { done_ = true; }
    void undo() {
        done_ = true;
        if (schema_) {
            try {
                dropProjectSchema(*schema_);
            } catch (const AppError&) {
                // The schema stays; the registry does not name it, so nothing reaches it.
            }
        }
        for (const QString& f : folders_) QDir(f).removeRecursively();
    }

  private:
    QStringList folders_;
    std::optional<db::ConnectionSpec> schema_;
    bool done_ = false;
};

// Makes dir (and its missing parents), recording the topmost folder it made.
bool makeFolder(const QString& dir, Creation& made) {
    QString top;
    for (QString p = dir; !QFileInfo::exists(p); p = QFileInfo(p).absolutePath()) {
        top = p;
        if (p == QFileInfo(p).absolutePath()) break;
    }
    if (top.isEmpty()) return QFileInfo(dir).isDir();
    const bool ok = QDir().mkpath(dir);
    if (QFileInfo::exists(top)) made.madeFolder(top);
    return ok;
}

void writeLocalProject(db::Connections& scratch, const QString& name, const QString& description) {
    db::Transaction tx(DbId::Project, scratch);
    db::LocalProjectTable(scratch).write(name, description);
    tx.commit();
}

// The stock report layouts a project starts with: copies of the application folder's
// reports/general and reports/labels in the project's REPORTS/GENERAL and REPORTS/LABELS, where
// the project explorer lists them and the user may change them. A layout of the same name
// already there is the user's and is left as it is.
std::optional<QString> copyStockReports(const QString& appFolder, const QString& project) {
    const QString stock = appfolder::findNoCase(appFolder, QStringLiteral("reports"));
    if (stock.isEmpty()) return std::nullopt;
    const QString reports = entry(project, QStringLiteral("REPORTS"));
    for (const char* kind : {"GENERAL", "LABELS"}) {
        const QString from = appfolder::findNoCase(stock, kind);
        if (from.isEmpty()) continue;
        const QString to = entry(reports, kind);
        for (const QFileInfo& layout :
             QDir(from).entryInfoList({QStringLiteral("*.rpx")}, QDir::Files, QDir::Name)) {
            if (!appfolder::findNoCase(to, layout.fileName()).isEmpty()) continue;
            try {
                appfolder::copyOver(layout.absoluteFilePath(),
                                    to + QLatin1Char('/') + layout.fileName());
            } catch (const AppError& e) {
                return e.description();
            }
        }
    }
    return std::nullopt;
}

// Makes the folders and the database of a project and writes its self-description. Returns
// the message that says why it could not; what it made is then removed again.
std::optional<QString> buildProject(RunState& run, db::Connections& registry, const QString& folder,
                                    const QString& name, const QString& description,
                                    Creation& made) {
    const QString databases = folder + QLatin1Char('/') + kDatabasesFolder;
    for (const QString& dir :
         {folder, databases, folder + QLatin1Char('/') + kDrawingsFolder,
          folder + QStringLiteral("/REPORTS/GENERAL"), folder + QStringLiteral("/REPORTS/LABELS")})
        if (!makeFolder(entry(QFileInfo(dir).absolutePath(), QFileInfo(dir).fileName()), made))
            return QStringLiteral("Unable to create the folder: ") + dir;
    if (const auto problem = copyStockReports(run.appFolder(), folder)) return problem;

    db::Connections scratch;
    if (run.mode == DatabaseMode::Shared) {
        db::ConnectionSpec location = registry.boundTo(DbId::PM);
        try {
            // The default project has one schema per server: made once, then found again
            // (its folder may have been made anew), and never dropped by a failed attempt.
            if (name.compare(ProjectRegistry::defaultProjectName(), Qt::CaseInsensitive) == 0) {
                location.schema = defaultProjectSchema();
                if (!schemaExists(location.schema, registry)) made.madeSchema(location);
            } else {
                location.schema = freeSchemaName(name, registry);
                made.madeSchema(location);
            }
            scratch.bind(DbId::Project, location);
            db::ensureSchema(DbId::Project, scratch);
            db::seedProject(DbId::Project, scratch);
            writeLocalProject(scratch, name, description);
        } catch (const AppError& e) {
            return QStringLiteral("The server refused the project database %1:")
                       .arg(location.location()) +
                   kCrLf + e.description();
        }
        db::ConnectionSpec recorded = location;
        recorded.password.clear();
        try {
            writeTextFile(databases + QLatin1Char('/') + kConnectionFile,
                          recorded.text() + QLatin1Char('\n'));
        } catch (const AppError& e) {
            return e.description();
        }
        return std::nullopt;
    }
    // The database is made complete under a temporary name and renamed into place last: a
    // creation that is killed half-way leaves no database, so the folder stays free for the
    // next attempt.
    const QString file = databases + QLatin1Char('/') + kProjectFile;
    const QString part = file + QStringLiteral(".part");
    const QString blank = db::blankFile(run.appFolder());
    if (!copyInto(blank, part)) {
        QFile::remove(part);
        return QStringLiteral("Unable to copy the blank project database %1 to %2")
            .arg(blank, file);
    }
    try {
        scratch.bind(DbId::Project, db::ConnectionSpec::sqlite(part));
        writeLocalProject(scratch, name, description);
        scratch.closeAll();
    } catch (const AppError& e) {
        scratch.closeAll();
        QFile::remove(part);
        return e.description();
    }
    if (!QFile::rename(part, file)) {
        QFile::remove(part);
        return QStringLiteral("Unable to write the project database ") + file;
    }
    return std::nullopt;
}

// ---- equipment snapshot -------------------------------------------------------------------

// A server's equipment library as an SQLite file: the schema, then every table's rows.
void snapshotFromServer(db::Connections& registry, const QString& target) {
    const QString part = target + QStringLiteral(".part");
    QFile::remove(part);
    db::createSqliteFile(DbId::Equipment, part);
    try {
        db::Connections copy;
        copy.bind(DbId::Equipment, db::ConnectionSpec::sqlite(part));
        db::ensureSchema(DbId::Equipment, copy);
        QSqlDatabase to = copy.database(DbId::Equipment);
        QSqlQuery(to).exec(QStringLiteral("pragma foreign_keys = off"));
        db::Transaction tx(DbId::Equipment, copy);
        for (const db::TableDef& t : db::tables(db::DbKind::Equipment)) {
            QStringList columns;
            for (const db::ColumnDef& c : t.columns) columns << c.name;
            QStringList marks;
            for (int i = 0; i < columns.size(); ++i) marks << QStringLiteral("?");
            QSqlQuery insert(to);
            const QString sql = QStringLiteral("insert into %1 (%2) values (%3)")
                                    .arg(t.name, columns.join(QStringLiteral(", ")),
                                         marks.join(QStringLiteral(", ")));
            if (!insert.prepare(sql))
                throw db::DbError(DbId::Equipment, part,
                                  QStringLiteral("cannot run \"%1\"").arg(sql),
                                  insert.lastError().text());
            Query rows(
                DbId::Equipment,
                QStringLiteral("select %1 from %2").arg(columns.join(QStringLiteral(", ")), t.name),
                registry);
            rows.exec();
            while (rows.next()) {
                for (int i = 0; i < columns.size(); ++i) insert.bindValue(i, rows.value(i));
                if (!insert.exec())
                    throw db::DbError(DbId::Equipment, part,
                                      QStringLiteral("cannot run \"%1\"").arg(sql),
                                      insert.lastError().text());
            }
        }
        tx.commit();
    } catch (...) {
        QFile::remove(part);
        throw;
    }
    QFile::remove(target);
    if (!QFile::rename(part, target)) {
        QFile::remove(part);
        throw AppError(err::kPathFileAccess, QStringLiteral("Unable to write %1").arg(target));
    }
}

void snapshotEquipment(db::Connections& registry, const QString& target) {
    const db::ConnectionSpec& equipment = registry.boundTo(DbId::Equipment);
    if (equipment.engine == db::Engine::SQLite)
        appfolder::copyOver(equipment.path, target);
    else
        snapshotFromServer(registry, target);
}

// The part of a stored drawing path after its last folder separator (paths written on
// Windows use '\').
QString fileNameOf(const QString& path) {
    const int at =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(at + 1);
}

bool isInside(const QString& inner, const QString& outer) {
    return inner == outer || inner.startsWith(outer + QLatin1Char('/')) ||
           outer == QLatin1String("/");
}

}  // namespace

ProjectRegistry::ProjectRegistry(RunState& run, SettingsStore& settings, Ui& ui, EventLog& log,
                                 db::Connections& registry)
    : run_(run), settings_(settings), ui_(ui), log_(log), registry_(registry) {}

QStringList ProjectRegistry::projectNames() {
    return db::ProjectTable(registry_).names();
}

std::optional<ProjectRow> ProjectRegistry::find(const QString& name) {
    return db::ProjectTable(registry_).find(name);
}

QString ProjectRegistry::startupProject() {
    const QString stored = settings_.read(setting::CurrentProject);
    if (!stored.isEmpty()) {
        if (const auto row = find(stored)) return row->name;
    }
    const QStringList names = projectNames();
    return names.isEmpty() ? defaultProjectName() : names.first();
}

std::optional<QString> ProjectRegistry::openProject(const QString& name) {
    if (drawingsOpen && drawingsOpen()) {
        if (ui_.message(QStringLiteral("This action will close all current drawings. You will be "
                                       "prompted to save any drawing that has changed. Proceed?"),
                        MsgButtons::YesNo, MsgIcon::Question) != MsgButton::Yes)
            return std::nullopt;
        if (closeDrawings && !closeDrawings()) return std::nullopt;
    }
    std::optional<ProjectRow> row = find(name);
    if (!row) row = find(defaultProjectName());
    if (!row)
        throw AppError(
            err::kNoCurrentRecord,
            QStringLiteral("The project manager database has no %1 row").arg(defaultProjectName()));
    const bool isDefault = row->name.compare(defaultProjectName(), Qt::CaseInsensitive) == 0;
    // A shared server's default project that no installation has claimed yet is claimed now.
    if (isDefault && row->path.trimmed().isEmpty() && run_.mode == DatabaseMode::Shared) {
        setUpDefaultProject();
        row = find(defaultProjectName());
    }
    row->path = withoutTrailingSlash(row->path);

    std::optional<db::ConnectionSpec> location;
    if (!row->path.isEmpty() && QFileInfo(row->path).isDir())
        location = projectDatabase(row->path, registry_);
    // The default project of a new installation lives in the application folder; its folder
    // is made the first time it is opened.
    if (!location && isDefault && row->path == ownDefaultFolder()) {
        makeDefaultProject(*row);
        location = projectDatabase(row->path, registry_);
    }
    if (!location) {
        // The folder moved (or lost its database): the user points at it again.
        ui_.message(QStringLiteral("Unable to find the path to the project: ") + row->name + kCrLf +
                    QStringLiteral("Please select the Project Database which should be located in "
                                   "PATHTOPROJECT/Project Databases/ProjectDB.db"));
        FileDialogOptions o;
        o.title = kLinkTitle;
        o.filter = databaseFilter(run_.mode);
        o.proposed = kProjectFile;
        o.folder = row->path;
        const auto file = ui_.openFile(o);
        if (!file)
            throw AppError(
                err::kFileNotFound,
                QStringLiteral("No project database was chosen for the project ") + row->name);
        const auto folder = folderOfDatabase(*file);
        if (!folder) {
            ui_.message(QStringLiteral("The project database must be in a folder named \"Project "
                                       "Databases\" inside the project folder: ") +
                        *file);
            return std::nullopt;
        }
        location = databaseOfFile(*file, registry_);
        db::ProjectTable(registry_).setPath(row->name, *folder);
        row->path = *folder;
    }

    // A project made by an older Tolvane is brought to the current schema; one that cannot be
    // read does not become current.
    const std::optional<db::ConnectionSpec> previous =
        registry_.isBound(DbId::Project) ? std::optional(registry_.boundTo(DbId::Project))
                                         : std::nullopt;
    registry_.bind(DbId::Project, *location);
    try {
        db::upgradeExisting(DbId::Project, registry_);
    } catch (const db::DbError& e) {
        registry_.close(DbId::Project);
        if (!previous) throw;
        // A damaged project is no reason to end the program: the one open stays current.
        registry_.bind(DbId::Project, *previous);
        ui_.message(QStringLiteral("The project %1 cannot be opened: %2%3The current project "
                                   "stays open.")
                        .arg(row->name, e.description(), kCrLf),
                    MsgButtons::Ok, MsgIcon::Critical);
        return std::nullopt;
    } catch (...) {
        registry_.close(DbId::Project);
        if (previous) registry_.bind(DbId::Project, *previous);
        throw;
    }
    run_.projectConnection = location->text();
    run_.currentProjectPath = row->path;
    settings_.write(setting::CurrentProject, row->name);
    if (log_.enabled()) log_.log(QStringLiteral("Opened project ") + row->name);
    Q_EMIT projectOpened(row->name);
    return row->name;
}

QString ProjectRegistry::ownDefaultFolder() const {
    return withoutTrailingSlash(run_.appFolder() + QStringLiteral("/Tolvane Default Project"));
}

void ProjectRegistry::makeDefaultProject(const ProjectRow& row) {
    db::ServerMutex oneAtATime(DbId::PM, registry_);
    Creation made;
    if (const auto problem =
            buildProject(run_, registry_, ownDefaultFolder(), row.name, row.description, made))
        throw AppError(err::kPathFileAccess, *problem);
    made.complete();
    if (log_.enabled()) log_.log(QStringLiteral("Created the default project: ") + row.path);
}

void ProjectRegistry::setUpDefaultProject() {
    db::DatabaseSetup setup(run_, settings_, ui_, log_, registry_);
    if (run_.mode != DatabaseMode::Shared) {
        setup.setDefaultProjectPath();
        return;
    }
    // Installations starting together: one at a time looks, and the first one to find the
    // default project unclaimed makes it in its own folder and claims it, in one step.
    db::ServerMutex first(DbId::PM, registry_);
    const std::optional<ProjectRow> row = find(defaultProjectName());
    if (!row)
        throw AppError(
            err::kNoCurrentRecord,
            QStringLiteral("The project manager database has no %1 row").arg(defaultProjectName()));
    if (!row->path.trimmed().isEmpty()) return;
    ProjectRow own = *row;
    own.path = ownDefaultFolder();
    makeDefaultProject(own);
    setup.setDefaultProjectPath();
}

std::optional<ProjectRegistry::Field> ProjectRegistry::missingField(const QString& name,
                                                                    const QString& description,
                                                                    const QString& path) const {
    if (name.trimmed().isEmpty()) return Field::Name;
    if (description.trimmed().isEmpty()) return Field::Description;
    if (path.trimmed().isEmpty()) return Field::Path;
    return std::nullopt;
}

bool ProjectRegistry::createProject(const QString& name, const QString& description,
                                    const QString& path) {
    if (missingField(name, description, path)) return false;
    if (const auto problem = nameProblem(name)) {
        ui_.message(*problem, MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    if (find(name)) {
        ui_.message(QStringLiteral("A project named %1 already exists.").arg(name), MsgButtons::Ok,
                    MsgIcon::Warning);
        return false;
    }
    const QString folder = withoutTrailingSlash(path.trimmed());
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir()) {
        ui_.message(QStringLiteral("The project path is a file, not a folder: ") + folder,
                    MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    // A folder is taken once it holds a project database; folders alone (left by a creation
    // that was killed) do not count.
    if (info.isDir() && holdsProjectDatabase(folder)) {
        ui_.message(QStringLiteral("The folder %1 already holds a project.").arg(folder),
                    MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }

    Creation made;
    if (const auto problem = buildProject(run_, registry_, folder, name, description, made)) {
        made.undo();
        ui_.message(*problem, MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    try {
        ProjectRow row;
        row.name = name;
        row.description = description;
        row.path = folder;
        db::ProjectTable(registry_).insert(row);
    } catch (const db::DbError& e) {
        if (log_.enabled()) log_.log(e.description());
        made.undo();
        ui_.message(kUpdateFailed);
        return false;
    }
    made.complete();
    if (log_.enabled()) log_.log(QStringLiteral("Created project %1 in %2").arg(name, folder));
    Q_EMIT listChanged();
    openProject(name);
    return true;
}

bool ProjectRegistry::linkProject() {
    FileDialogOptions o;
    o.title = kLinkTitle;
    o.filter = databaseFilter(run_.mode);
    o.proposed = kProjectFile;
    o.folder = QStringLiteral("/");
    const auto file = ui_.openFile(o);
    if (!file)
        throw AppError(err::kFileNotFound,
                       QStringLiteral("No project database was chosen to link"));
    const auto folder = folderOfDatabase(*file);
    if (!folder) {
        ui_.message(QStringLiteral("The project database must be in a folder named \"Project "
                                   "Databases\" inside the project folder: ") +
                    *file);
        return false;
    }
    const QString snapshot = appfolder::findNoCase(databasesFolder(*folder), kSnapshotFile);
    if (snapshot.isEmpty()) {
        ui_.message(QStringList{QStringLiteral("Unable to find associated dbEquip.db"),
                                QStringLiteral("This project may have been consolidated"),
                                QStringLiteral("with an earlier version. Please reconsolidate"),
                                QStringLiteral("this project and relink."), QString(),
                                QStringLiteral("Aborting.")}
                        .join(kCrLf));
        return false;
    }

    db::Connections linked;
    std::optional<ProjectRow> local;
    try {
        linked.bind(DbId::Project, databaseOfFile(*file, registry_));
        local = db::LocalProjectTable(linked).read();
        if (local) local->path = *folder;
    } catch (const AppError& e) {
        if (log_.enabled()) log_.log(e.description());
    }
    if (!local) {
        ui_.message(QStringLiteral("Unable to retrieve Project Name and Description. Aborting"));
        return false;
    }
    if (db::ProjectTable(registry_).atPath(*folder)) {
        ui_.message(QStringLiteral(
            "The path to this project already exists in the PM database. Aborting."));
        return false;
    }

    if (ui_.message(QStringLiteral("The linked project name is: ") + local->name + kCrLf +
                        QStringLiteral("Would you like to rename it?"),
                    MsgButtons::YesNo, MsgIcon::Question) == MsgButton::Yes) {
        const QString title = QStringLiteral("Rename Linked Project");
        const auto name =
            ui_.input(title, QStringLiteral("Enter a new project name for the incoming project"),
                      local->name);
        if (!name) return false;
        const auto description = ui_.input(
            title, QStringLiteral("Enter a new project description for the incoming project"),
            local->description);
        if (!description) return false;
        local->name = name->trimmed();
        local->description = *description;
    }
    if (const auto problem = nameProblem(local->name)) {
        ui_.message(*problem, MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    if (find(local->name)) {
        ui_.message(QStringLiteral("A project named %1 already exists. Link it under another "
                                   "name.")
                        .arg(local->name),
                    MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    try {
        db::ProjectTable(registry_).insert(*local);
    } catch (const db::DbError& e) {
        if (log_.enabled()) log_.log(e.description());
        ui_.message(kUpdateFailed);
        return false;
    }

    // The drawings move with the folder: each row points into this folder's drawings.
    {
        const QString drawings = entry(*folder, QStringLiteral("Drawings"));
        db::DrawingTable table(linked);
        QList<QPair<qint64, QString>> found;
        for (const db::DrawingRow& row : table.all()) {
            if (row.path.isNull()) continue;
            const QString name = fileNameOf(row.path);
            const QString there = appfolder::findNoCase(drawings, name);
            if (!name.isEmpty() && !there.isEmpty() && QFileInfo(there).isFile())
                found.append({row.id, there});
            else
                ui_.message(QStringLiteral("Unable to find the drawing: ") + name + kCrLf +
                            QStringLiteral("The database will not be updated for this record."));
        }
        db::Transaction tx(DbId::Project, linked);
        for (const auto& [id, path] : found) table.setPath(id, path);
        tx.commit();
    }
    linked.closeAll();

    Q_EMIT listChanged();
    openProject(local->name);

    appfolder::copyOver(snapshot, run_.appFolder() + QStringLiteral("/DBUpdates/") + kSnapshotFile);
    ui_.message(QStringLiteral("The project has been successfully linked. A copy of the Equipment "
                               "Database has been placed in the DBUpdates folder.") +
                kCrLf +
                QStringLiteral("to synchronize the databases, relaunch Tolvane. This will update "
                               "your database with information from the new project's equipment "
                               "database."));
    return true;
}

bool ProjectRegistry::deleteProject(const QString& name, bool everything) {
    if (name.compare(defaultProjectName(), Qt::CaseInsensitive) == 0) {
        ui_.message(QStringLiteral("Cannot delete the Default Project"));
        return false;
    }
    const auto notRemoved = [this] {
        ui_.message(
            QStringLiteral("Some drawings or databases may not be removed and require "
                           "that you remove them manually"));
        return false;
    };
    const auto row = find(name);
    if (!row) return notRemoved();
    try {
        if (everything) {
            if (ui_.message(QStringLiteral("Delete All Project Directories, Databases, etc. This "
                                           "cannot be undone. Proceed?"),
                            MsgButtons::YesNo, MsgIcon::Warning) != MsgButton::Yes)
                return notRemoved();
            const QString folder = withoutTrailingSlash(row->path);
            if (QFileInfo(folder).isDir()) {
                // Only a project folder is removed with all it holds: never the application
                // folder, the home folder or a folder that holds them.
                const QString app = withoutTrailingSlash(run_.appFolder());
                if (appfolder::findNoCase(folder, kDatabasesFolder).isEmpty() ||
                    isInside(app, folder) || isInside(QDir::homePath(), folder))
                    return notRemoved();
                const auto location = projectDatabase(folder, registry_);
                if (folder == withoutTrailingSlash(run_.currentProjectPath)) {
                    registry_.bind(DbId::Project, registry_.boundTo(DbId::Blank));
                    run_.currentProjectPath.clear();
                }
                if (location) dropProjectSchema(*location);
                if (!QDir(folder).removeRecursively()) return notRemoved();
            }
        }
        db::ProjectTable(registry_).remove(row->name);
        const QStringList names = projectNames();
        const QString first = names.isEmpty() ? defaultProjectName() : names.first();
        settings_.write(setting::CurrentProject, first);
        Q_EMIT listChanged();
        openProject(first);
    } catch (const AppError& e) {
        if (log_.enabled()) log_.log(e.description());
        return notRemoved();
    }
    if (log_.enabled()) log_.log(QStringLiteral("Deleted project ") + row->name);
    ui_.message(QStringLiteral("The project has been deleted."));
    return true;
}

bool ProjectRegistry::consolidate(bool move) {
    if (ui_.message(QStringLiteral("This function will close all open drawings. ") + kCrLf +
                        QStringLiteral("This function will overwrite like files in the /drawings "
                                       "folder. Continue?"),
                    MsgButtons::YesNo, MsgIcon::Question) != MsgButton::Yes)
        return false;
    if (closeDrawings && !closeDrawings()) return false;
    const QString project = withoutTrailingSlash(run_.currentProjectPath);
    if (run_.currentProjectPath.isEmpty() || !QFileInfo(project).isDir())
        throw AppError(err::kPathNotFound,
                       QStringLiteral("The folder of the current project cannot be found: ") +
                           run_.currentProjectPath);
    const QString drawings = entry(project, kDrawingsFolder);
    const QString going = (move ? QStringLiteral("Moving to: ") : QStringLiteral("Copying to: ")) +
                          drawings + QLatin1Char('/');
    ui_.status(going);
    Q_EMIT statusChanged(going);

    snapshotEquipment(registry_, databasesFolder(project) + QLatin1Char('/') + kSnapshotFile);

    db::DrawingTable table(registry_);
    const QList<db::DrawingRow> rows = table.inKeyOrder();
    QStringList errors;
    for (int i = 0; i < rows.size(); ++i) {
        const db::DrawingRow& d = rows[i];
        const QString& source = d.path;
        ui_.progress(source, i, rows.size());
        Q_EMIT statusChanged(source);
        if (source.isNull()) {
            errors << QStringLiteral("Null entry in the database");
            continue;
        }
        if (!QFileInfo(source).isFile()) {
            errors << source + QStringLiteral(" is missing");
            continue;
        }
        if (!QDir().mkpath(drawings)) {
            errors << QStringLiteral("Unable to create the folder: ") + drawings;
            continue;
        }
        const QString target = drawings + QLatin1Char('/') + fileNameOf(source);
        if (QFileInfo(source).canonicalFilePath() != QFileInfo(target).canonicalFilePath()) {
            try {
                appfolder::copyOver(source, target);
            } catch (const AppError& e) {
                errors << e.description();
                continue;
            }
            if (move && !QFile::remove(source))
                errors << QStringLiteral("Unable to remove %1 after copying it").arg(source);
        }
        table.setPath(d.id, target);
    }
    ui_.progress(QString(), 0, 0);

    if (errors.isEmpty()) {
        ui_.message(QStringLiteral("Project drawings successfully consolidated"));
    } else {
        QString text =
            QStringLiteral("The project consolidation had the following errors:") + kCrLf;
        for (int i = 0; i < errors.size(); ++i)
            text += QStringLiteral("%1. %2").arg(i + 1).arg(errors[i]) + kCrLf;
        ui_.message(text);
    }
    Q_EMIT projectOpened(settings_.read(setting::CurrentProject));
    return true;
}

}  // namespace tolvane::projects
