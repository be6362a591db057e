// Connections, statements and transactions on the four databases.
#include "db/database.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlRecord>
#include <exception>

#include "db/read_only_sql.h"
#include "ui/ui.h"

namespace tolvane::db {

QString dbName(DbId id) {
    switch (id) {
        case DbId::PM:
            return QStringLiteral("PM");
        case DbId::Equipment:
            return QStringLiteral("EQUIPMENT");
        case DbId::Blank:
            return QStringLiteral("BLANK");
        case DbId::Project:
            return QStringLiteral("PROJECT");
    }
    return {};
}

std::optional<DbId> dbFromName(const QString& name) {
    for (DbId id : {DbId::PM, DbId::Equipment, DbId::Blank, DbId::Project})
        if (dbName(id).compare(name, Qt::CaseInsensitive) == 0) return id;
    return std::nullopt;
}

QString dbTitle(DbId id) {
    switch (id) {
        case DbId::PM:
            return QStringLiteral("project manager database");
        case DbId::Equipment:
            return QStringLiteral("equipment database");
        case DbId::Blank:
            return QStringLiteral("blank project database");
        case DbId::Project:
            return QStringLiteral("project database");
    }
    return {};
}

// ---- connection strings -----------------------------------------------------------------

ConnectionSpec ConnectionSpec::sqlite(const QString& file) {
    ConnectionSpec s;
    s.engine = Engine::SQLite;
    s.path = file;
    return s;
}

std::optional<ConnectionSpec> ConnectionSpec::parse(const QString& raw) {
    const QString text = raw.trimmed();
    if (text.isEmpty()) return std::nullopt;
    if (text.startsWith(QLatin1String("sqlite:"), Qt::CaseInsensitive))
        return text.size() > 7 ? std::optional(sqlite(text.mid(7))) : std::nullopt;
    if (!text.startsWith(QLatin1String("postgresql:"), Qt::CaseInsensitive)) return sqlite(text);
    ConnectionSpec s;
    s.engine = Engine::PostgreSQL;
    s.database = QStringLiteral("tolvane");
    // libpq keywords: key=value pairs separated by blanks; values may be single-quoted.
    static const QRegularExpression pair(
        QStringLiteral("(\\w+)\\s*=\\s*('((?:[^'\\\\]|\\\\.)*)'|\\S*)"));
    const QString body = text.mid(11);
    int consumed = 0;
    for (auto it = pair.globalMatch(body); it.hasNext();) {
        const auto m = it.next();
        if (!body.mid(consumed, m.capturedStart() - consumed).trimmed().isEmpty())
            return std::nullopt;
        consumed = m.capturedEnd();
        const QString key = m.captured(1).toLower();
        QString value = m.captured(3).isNull() ? m.captured(2) : m.captured(3);
        value.replace(QLatin1String("\\'"), QLatin1String("'"));
        if (key == QLatin1String("host"))
            s.host = value;
        else if (key == QLatin1String("port")) {
            bool ok = false;
            s.port = value.toInt(&ok);
            if (!ok || s.port <= 0 || s.port > 65535) return std::nullopt;
        } else if (key == QLatin1String("dbname"))
            s.database = value;
        else if (key == QLatin1String("user"))
            s.user = value;
        else if (key == QLatin1String("password"))
            s.password = value;
        else if (key == QLatin1String("schema"))
            s.schema = value;
        else
            return std::nullopt;
    }
    if (!body.mid(consumed).trimmed().isEmpty()) return std::nullopt;
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (!s.schema.isEmpty() && !identifier.match(s.schema).hasMatch()) return std::nullopt;
    return s;
}

QString ConnectionSpec::text() const {
    if (engine == Engine::SQLite) return QStringLiteral("sqlite:") + path;
    const auto quoted = [](QString v) {
        if (!v.isEmpty() && !v.contains(QLatin1Char(' ')) && !v.contains(QLatin1Char('\'')))
            return v;
        v.replace(QLatin1Char('\''), QLatin1String("\\'"));
        return QStringLiteral("'%1'").arg(v);
    };
    QStringList parts;
    if (!host.isEmpty()) parts << QStringLiteral("host=") + quoted(host);
    parts << QStringLiteral("port=%1").arg(port);
    parts << QStringLiteral("dbname=") + quoted(database);
    if (!user.isEmpty()) parts << QStringLiteral("user=") + quoted(user);
    if (!password.isEmpty()) parts << QStringLiteral("password=") + quoted(password);
    if (!schema.isEmpty()) parts << QStringLiteral("schema=") + schema;
    return QStringLiteral("postgresql:") + parts.join(QLatin1Char(' '));
}

QString ConnectionSpec::location() const {
    if (engine == Engine::SQLite) return path;
    QString l = QStringLiteral("%1:%2/%3")
                    .arg(host.isEmpty() ? QStringLiteral("localhost") : host)
                    .arg(port)
                    .arg(database);
    if (!schema.isEmpty()) l += QLatin1Char('/') + schema;
    return l;
}

// ---- errors -----------------------------------------------------------------------------

DbError::DbError(DbId db, const QString& what, const QString& reason)
    : DbError(db,
              connections().isBound(db) ? connections().boundTo(db).location()
                                        : QStringLiteral("not connected"),
              what, reason) {}

DbError::DbError(DbId db, const QString& location, const QString& what, const QString& reason)
    : AppError(
          err::kDatabase,
          QStringLiteral("The %1 (%2) %3: %4").arg(dbTitle(db), location, what, reason.trimmed())),
      db_(db) {}

QString refusalOf(Engine engine, const QSqlError& error, bool* lost) {
    if (lost) *lost = false;
    const QString code = error.nativeErrorCode();
    const QString text = error.databaseText() + QLatin1Char(' ') + error.driverText();
    const auto has = [&](const char* words) {
        return text.contains(QLatin1String(words), Qt::CaseInsensitive);
    };
    if (engine == Engine::SQLite) {
        // Extended result codes keep the primary one in their low byte.
        switch (code.toInt() & 0xff) {
            case 13:  // SQLITE_FULL
                return QStringLiteral("disk full");
            case 8:  // SQLITE_READONLY
                return QStringLiteral("the database is read-only");
            case 10:  // SQLITE_IOERR
                return QStringLiteral("the disk reported an error");
            case 14:  // SQLITE_CANTOPEN: its journal cannot be made beside it
                return QStringLiteral("its folder cannot be written");
            case 5:  // SQLITE_BUSY: still locked by another writer after the busy wait
            case 6:  // SQLITE_LOCKED
                return QString::fromLatin1(kBusyRefusal);
            default:
                return QString();
        }
    }
    // PostgreSQL: the SQLSTATE, and libpq's own words when the server is gone.
    if (code == QLatin1String("53100")) return QStringLiteral("disk full");
    if (code.startsWith(QLatin1String("53"))) return QStringLiteral("the server is out of space");
    if (code == QLatin1String("25006")) return QStringLiteral("the database is read-only");
    if (code == QLatin1String("58030")) return QStringLiteral("the disk reported an error");
    if (code.startsWith(QLatin1String("08")) || code.startsWith(QLatin1String("57P")) ||
        (code.isEmpty() && (has("server closed the connection") ||
                            has("no connection to the server") || has("could not send data") ||
                            has("connection not open") || has("terminating connection")))) {
        if (lost) *lost = true;
        return QStringLiteral("the connection to the server was lost");
    }
    return QString();
}

namespace {
QString failureText(DbId db, Engine engine, const QString& location, const QString& what,
                    const QSqlError& error) {
    bool lost = false;
    const QString cause = refusalOf(engine, error, &lost);
    if (cause.isEmpty())
        return QStringLiteral("The %1 (%2) %3: %4")
            .arg(dbTitle(db), location, what, error.text().trimmed());
    // The cause first, in the user's words; the engine's own after it, for the log.
    return QStringLiteral("The %1 could not be %2: %3.\r\n(%4: %5)")
        .arg(dbTitle(db), lost ? QStringLiteral("reached") : QStringLiteral("written"), cause,
             location, error.text().trimmed());
}
}  // namespace

DbError::DbError(DbId db, Engine engine, const QString& location, const QString& what,
                 const QSqlError& error)
    : AppError(err::kDatabase, failureText(db, engine, location, what, error)),
      db_(db),
      refusal_(refusalOf(engine, error, &connectionLost_)) {
    if (!refusal_.isEmpty()) setEndsActionOnly();
}

// ---- the registry -----------------------------------------------------------------------

Connections::~Connections() {
    closeAll();
}

void Connections::bind(DbId id, const ConnectionSpec& connSpec) {
    Slot& slot = slots_[int(id)];
    if (slot.bound && slot.connSpec == connSpec) return;
    close(id);
    slot.bound = true;
    slot.connSpec = connSpec;
}

bool Connections::isBound(DbId id) const {
    return slots_[int(id)].bound;
}

const ConnectionSpec& Connections::boundTo(DbId id) const {
    return slots_[int(id)].connSpec;
}

QString Connections::connectionName(DbId id) const {
    return prefix_ + dbName(id);
}

namespace {
// Takes (lock) or gives back (unlock) the shared session lock of an identity on a connection.
bool sessionLock(QSqlDatabase& db, const QString& whoAmI, bool lock, QString* reason) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("select %1(%2, hashtext(?))")
                  .arg(lock ? QStringLiteral("pg_advisory_lock_shared")
                            : QStringLiteral("pg_advisory_unlock_shared"))
                  .arg(advisory::kSessionClass));
    q.addBindValue(whoAmI);
    if (q.exec()) return true;
    if (reason) *reason = q.lastError().text();
    return false;
}
}  // namespace

void Connections::setSessionIdentity(const QString& whoAmI) {
    if (whoAmI == identity_) return;
    // Connections open already change the identity they announce.
    for (DbId id : {DbId::PM, DbId::Equipment, DbId::Blank, DbId::Project}) {
        const QString name = connectionName(id);
        if (!slots_[int(id)].bound || slots_[int(id)].connSpec.engine != Engine::PostgreSQL ||
            !QSqlDatabase::contains(name))
            continue;
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (!db.isOpen()) continue;
        if (!identity_.isEmpty()) sessionLock(db, identity_, false, nullptr);
        if (!whoAmI.isEmpty()) sessionLock(db, whoAmI, true, nullptr);
    }
    identity_ = whoAmI;
}

void Connections::withSoleAnnouncement(DbId id, const std::function<void()>& fn) {
    const ConnectionSpec& own = boundTo(id);
    QList<QSqlDatabase> others;
    if (own.engine == Engine::PostgreSQL && !identity_.isEmpty()) {
        for (DbId other : {DbId::PM, DbId::Equipment, DbId::Blank, DbId::Project}) {
            const Slot& slot = slots_[int(other)];
            const QString name = connectionName(other);
            // Advisory locks belong to one database of the server, whatever the schema.
            if (other == id || !slot.bound || slot.connSpec.engine != Engine::PostgreSQL ||
                slot.connSpec.host != own.host || slot.connSpec.port != own.port ||
                slot.connSpec.database != own.database || !QSqlDatabase::contains(name))
                continue;
            QSqlDatabase db = QSqlDatabase::database(name, false);
            if (db.isOpen() && sessionLock(db, identity_, false, nullptr)) others << db;
        }
    }
    std::exception_ptr failed;
    try {
        fn();
    } catch (...) {
        failed = std::current_exception();
    }
    for (QSqlDatabase& db : others) sessionLock(db, identity_, true, nullptr);
    if (failed) std::rethrow_exception(failed);
}

QSqlDatabase Connections::database(DbId id) {
    return open(id, connectionName(id), false);
}

namespace {
QString readingName(const QString& connectionName) {
    return connectionName + QStringLiteral("-READ");
}
}  // namespace

QSqlDatabase Connections::readingDatabase(DbId id) {
    return open(id, readingName(connectionName(id)), true);
}

quint64 Connections::beginReading(DbId id) {
    Slot& slot = slots_[int(id)];
    QSqlDatabase db = readingDatabase(id);
    if (slot.readers == 0) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("begin transaction read only")))
            throw failure(id, QStringLiteral("cannot start a read-only transaction"),
                          q.lastError());
    }
    ++slot.readers;
    return slot.readingEpoch;
}

void Connections::endReading(DbId id, quint64 reading) {
    Slot& slot = slots_[int(id)];
    if (reading != slot.readingEpoch || slot.readers == 0 || --slot.readers > 0) return;
    const QString name = readingName(connectionName(id));
    if (!QSqlDatabase::contains(name)) return;
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (db.isOpen()) QSqlQuery(db).exec(QStringLiteral("rollback"));
}

DbError Connections::failure(DbId id, const QString& what, const QSqlError& error) {
    DbError e(id, engine(id), boundTo(id).location(), what, error);
    if (e.connectionLost()) slots_[int(id)].lost = slots_[int(id)].readingLost = true;
    return e;
}

QSqlDatabase Connections::open(DbId id, const QString& name, bool reading) {
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        // A connection the server dropped (restarted, say) is opened anew.
        bool& lost = reading ? slots_[int(id)].readingLost : slots_[int(id)].lost;
        if (lost) db.close();
        lost = false;
        if (db.isOpen()) return db;
    }
    const Slot& slot = slots_[int(id)];
    if (!slot.bound)
        throw DbError(id, QStringLiteral("not connected"), QStringLiteral("is not connected"),
                      QStringLiteral("no connection string"));
    const ConnectionSpec& s = slot.connSpec;
    const QString where = s.location();
    if (s.engine == Engine::SQLite) {
        // SQLite would make an empty database where the file is missing: a missing file is
        // an error here; databases are made by the schema module, on purpose.
        const QFileInfo info(s.path);
        if (!info.exists())
            throw DbError(id, where, QStringLiteral("cannot be opened"),
                          QStringLiteral("the file does not exist"));
        if (!info.isFile())
            throw DbError(id, where, QStringLiteral("cannot be opened"),
                          QStringLiteral("it is not a file"));
    }
    QSqlDatabase db =
        QSqlDatabase::contains(name)
            ? QSqlDatabase::database(name, false)
            : QSqlDatabase::addDatabase(
                  s.engine == Engine::SQLite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"),
                  name);
    if (s.engine == Engine::SQLite) {
        db.setDatabaseName(s.path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyWait_));
    } else {
        db.setHostName(s.host);
        db.setPort(s.port);
        db.setDatabaseName(s.database);
        db.setUserName(s.user);
        db.setPassword(s.password);
        db.setConnectOptions(QStringLiteral("connect_timeout=5"));
    }
    if (!db.open())
        throw DbError(id, where, QStringLiteral("cannot be opened"), db.lastError().text());
    QSqlQuery q(db);
    if (s.engine == Engine::SQLite) {
        // A corrupt or foreign file opens without complaint; its first read tells.
        bool read = q.exec(QStringLiteral("select count(*) from sqlite_master"));
        while (!read && retryWhenBusy(id, q.lastError()))
            read = q.exec(QStringLiteral("select count(*) from sqlite_master"));
        if (!read) {
            const QString reason = q.lastError().text();
            q.finish();
            db.close();
            throw DbError(id, where, QStringLiteral("cannot be read"), reason);
        }
        q.exec(QStringLiteral("pragma foreign_keys = on"));
    } else {
        if (!s.schema.isEmpty() &&
            !q.exec(QStringLiteral("set search_path to %1, public").arg(s.schema))) {
            const QString reason = q.lastError().text();
            db.close();
            throw DbError(id, where, QStringLiteral("cannot be opened"), reason);
        }
        QString reason;
        if (reading) {
            // Every transaction of the session reads only, and text reads one way (a
            // backslash in quotes is just a backslash), as readOnlyProblem reads it.
            for (const char* setting : {"set session characteristics as transaction read only",
                                        "set standard_conforming_strings = on"}) {
                if (!q.exec(QLatin1String(setting))) {
                    reason = q.lastError().text();
                    db.close();
                    throw DbError(id, where, QStringLiteral("cannot be opened"), reason);
                }
            }
        } else if (!identity_.isEmpty() && !sessionLock(db, identity_, true, &reason)) {
            db.close();
            throw DbError(id, where, QStringLiteral("cannot be opened"), reason);
        }
    }
    return db;
}

bool Connections::retryWhenBusy(DbId id, const QSqlError& error) const {
    // SQLITE_BUSY and SQLITE_LOCKED: another connection holds the file beyond the wait.
    const QString code = error.nativeErrorCode();
    const bool busy = engine(id) == Engine::SQLite &&
                      (code == QLatin1String("5") || code == QLatin1String("6") ||
                       error.databaseText().contains(QLatin1String("database is locked")));
    if (!busy || !busyUi_) return false;
    const QString where = boundTo(id).location();
    const MsgButton answer = busyUi_->message(
        QStringLiteral("The %1 (%2) is busy: another program is writing to it.\r\nRetry to "
                       "try again, or Cancel to give up this operation.")
            .arg(dbTitle(id), where),
        MsgButtons::RetryCancel, MsgIcon::Warning);
    if (answer == MsgButton::Retry) return true;
    throw Cancelled(QStringLiteral("The %1 (%2) was busy").arg(dbTitle(id), where));
}

void Connections::close(DbId id) {
    Slot& slot = slots_[int(id)];
    ++slot.readingEpoch;
    slot.readers = 0;
    for (const QString& name : {connectionName(id), readingName(connectionName(id))}) {
        if (!QSqlDatabase::contains(name)) continue;
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
}

void Connections::closeAll() {
    for (DbId id : {DbId::PM, DbId::Equipment, DbId::Blank, DbId::Project}) close(id);
}

Connections& connections() {
    // Never destroyed: at exit Qt's SQL drivers may be gone before a static would be. The
    // application closes every connection when it ends.
    static Connections* registry = new Connections;
    return *registry;
}

// ---- statements -------------------------------------------------------------------------

Query::Query(DbId db, const QString& sql, Connections& registry)
    : Query(db, sql, registry, Access::ReadWrite) {}

namespace {
// A user's query is checked before any connection sees it.
const QString& checked(bool readOnly, Engine engine, DbId db, const QString& location,
                       const QString& sql) {
    if (readOnly) {
        const QString problem = readOnlyProblem(engine, sql);
        if (!problem.isEmpty()) throw RefusedQuery(db, location, sql, problem);
    }
    return sql;
}

// SQLite: query_only on for as long as a user's query starts, then as it was. A statement that
// would write fails as it begins, before it changes anything.
class QueryOnly {
  public:
    QueryOnly(QSqlDatabase db, DbId id, const QString& location) : db_(std::move(db)) {
        QSqlQuery q(db_);
        was_ = q.exec(QStringLiteral("pragma query_only")) && q.next() && q.value(0).toInt();
        q.finish();
        if (!was_ && !q.exec(QStringLiteral("pragma query_only = 1")))
            throw DbError(id, location, QStringLiteral("cannot be read safely"),
                          q.lastError().text());
    }
    ~QueryOnly() {
        if (!was_) QSqlQuery(db_).exec(QStringLiteral("pragma query_only = 0"));
    }
    QueryOnly(const QueryOnly&) = delete;
    QueryOnly& operator=(const QueryOnly&) = delete;

  private:
    QSqlDatabase db_;
    bool was_ = false;
};
}  // namespace

Query::Query(DbId db, const QString& sql, Connections& registry, Access access)
    : registry_(registry),
      db_(db),
      engine_(registry.engine(db)),
      location_(registry.boundTo(db).location()),
      access_(access),
      text_(checked(access == Access::ReadOnly, engine_, db, location_, sql)),
      q_(access == Access::ReadOnly && engine_ == Engine::PostgreSQL ? registry.readingDatabase(db)
                                                                     : registry.database(db)) {
    q_.setForwardOnly(true);
    written_ = writtenTable(sql);
    // Statements with placeholders are prepared once and run as often as they are bound;
    // the others run as they stand (PostgreSQL cannot prepare a table definition, say).
    if (sql.contains(QLatin1Char('?'))) {
        if (!q_.prepare(sql))
            throw registry_.failure(db_, QStringLiteral("cannot run \"%1\"").arg(sql),
                                    q_.lastError());
        prepared_ = true;
    }
}

Query& Query::bind(const QVariant& value) {
    values_ << value;
    return *this;
}

Query::~Query() {
    endReading();
}

void Query::endReading() {
    if (!reading_) return;
    q_.finish();
    registry_.endReading(db_, *reading_);
    reading_.reset();
}

bool Query::next() {
    if (q_.next()) return true;
    // A user's query read to its end gives its transaction back at once.
    endReading();
    return false;
}

Query& Query::exec() {
    if (prepared_)
        for (int i = 0; i < values_.size(); ++i) q_.bindValue(i, values_[i]);
    values_.clear();
    const bool readOnly = access_ == Access::ReadOnly;
    if (readOnly && engine_ == Engine::PostgreSQL && !reading_)
        reading_ = registry_.beginReading(db_);
    // SQLite: query_only is set for each attempt alone, never while the user is asked.
    const auto attempt = [&] {
        std::optional<QueryOnly> queryOnly;
        if (readOnly && engine_ == Engine::SQLite)
            queryOnly.emplace(registry_.database(db_), db_, location_);
        return prepared_ ? q_.exec() : q_.exec(text_);
    };
    bool ok = attempt();
    while (!ok && registry_.retryWhenBusy(db_, q_.lastError())) ok = attempt();
    if (!ok) {
        const QSqlError error = q_.lastError();
        endReading();
        throw registry_.failure(db_, QStringLiteral("cannot run \"%1\"").arg(text_), error);
    }
    if (!written_.isEmpty()) TableChanges::instance().notify(db_, written_);
    return *this;
}

QVariant Query::value(const QString& column) const {
    // Column names compare without regard to case, as the engines compare them.
    const int i = q_.record().indexOf(column);
    return i < 0 ? QVariant() : q_.value(i);
}

QVariant Query::scalar() {
    exec();
    return next() ? q_.value(0) : QVariant();
}

Transaction::Transaction(DbId db, Connections& registry)
    : registry_(registry),
      db_(db),
      location_(registry.boundTo(db).location()),
      database_(registry.database(db)) {
    if (!database_.transaction())
        throw registry.failure(db, QStringLiteral("cannot start a transaction"),
                               database_.lastError());
    ++registry_.slots_[int(db_)].transactions;
}

Transaction::~Transaction() {
    if (!done_) {
        database_.rollback();
        finish();
    }
}

void Transaction::finish() {
    done_ = true;
    --registry_.slots_[int(db_)].transactions;
}

void Transaction::commit() {
    // A commit that finds the file busy leaves the transaction open: it can be tried again.
    bool ok = database_.commit();
    try {
        while (!ok && registry_.retryWhenBusy(db_, database_.lastError())) ok = database_.commit();
    } catch (const Cancelled&) {
        database_.rollback();
        finish();
        throw;
    }
    if (!ok) {
        const QSqlError reason = database_.lastError();
        database_.rollback();
        finish();
        throw registry_.failure(db_, QStringLiteral("cannot save the changes"), reason);
    }
    finish();
}

RefusedQuery::RefusedQuery(DbId db, const QString& location, const QString& sql,
                           const QString& reason)
    : DbError(db, location, QStringLiteral("refuses to run \"%1\"").arg(sql), reason),
      reason_(reason) {}

TableChanges& TableChanges::instance() {
    static TableChanges* changes = new TableChanges;
    return *changes;
}

QString writtenTable(const QString& statement) {
    static const QRegularExpression write(
        QStringLiteral("^\\s*(?:insert\\s+into|update|delete\\s+(?:\\*\\s+)?from)\\s+([A-Za-z_][A-"
                       "Za-z0-9_]*)"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = write.match(statement);
    return m.hasMatch() ? m.captured(1) : QString();
}

// ---- dialect ----------------------------------------------------------------------------

QString dialect::likeNoCase(Engine e, const QString& column) {
    return e == Engine::PostgreSQL ? column + QStringLiteral(" ILIKE ?")
                                   : column + QStringLiteral(" LIKE ?");
}

QString dialect::fromJet(Engine e, const QString& statement) {
    QString s = statement;
    static const QRegularExpression deleteStar(QStringLiteral("^\\s*delete\\s+\\*\\s+from\\b"),
                                               QRegularExpression::CaseInsensitiveOption);
    s.replace(deleteStar, QStringLiteral("DELETE FROM"));
    // Jet's true is -1; both engines know TRUE and FALSE.
    static const QRegularExpression minusOne(QStringLiteral("(=|<>)\\s*-1\\b"));
    s.replace(minusOne, QStringLiteral("\\1 TRUE"));
    if (e == Engine::PostgreSQL) {
        static const QRegularExpression like(QStringLiteral("\\bLIKE\\b"),
                                             QRegularExpression::CaseInsensitiveOption);
        s.replace(like, QStringLiteral("ILIKE"));
        // Bracketed names ("[tblCables].[Cable Type]") become quoted ones, in the lower case
        // the server gave the schema's unquoted names. Quoted text is left alone.
        QString out;
        out.reserve(s.size());
        for (qsizetype i = 0; i < s.size(); ++i) {
            const QChar c = s[i];
            if (c == QLatin1Char('\'')) {
                const qsizetype end = s.indexOf(QLatin1Char('\''), i + 1);
                const qsizetype stop = end < 0 ? s.size() : end + 1;
                out += QStringView(s).mid(i, stop - i);
                i = stop - 1;
            } else if (c == QLatin1Char('[')) {
                const qsizetype end = s.indexOf(QLatin1Char(']'), i + 1);
                if (end < 0) {
                    out += QStringView(s).mid(i);
                    break;
                }
                QString name = s.mid(i + 1, end - i - 1).toLower();
                name.replace(QLatin1Char('"'), QStringLiteral("\"\""));
                out += QLatin1Char('"') + name + QLatin1Char('"');
                i = end;
            } else {
                out += c;
            }
        }
        s = out;
    }
    return s;
}

}  // namespace tolvane::db
