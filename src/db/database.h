// The four databases and the one way to reach them: a registry of named connections (project
// manager, equipment library, blank project, open project), each bound to a connection
// string, and a query helper that runs parameterized statements on one of them. Embedded
// SQLite files by default; PostgreSQL in shared mode.
#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>

#include "shell/app_error.h"

namespace tolvane {
class Ui;
}

namespace tolvane::db {

enum class DbId { PM, Equipment, Blank, Project };
enum class Engine { SQLite, PostgreSQL };

// "PM", "EQUIPMENT", "BLANK", "PROJECT": the names batch scripts and messages use.
QString dbName(DbId id);
std::optional<DbId> dbFromName(const QString& name);
// "project manager database", ...: the name a message gives a database.
QString dbTitle(DbId id);

// A connection string. SQLite: "sqlite:" + file path (a bare path is read the same way).
// PostgreSQL: "postgresql:" + libpq keywords, e.g. "postgresql:host=db1 port=5432
// dbname=tolvane user=ann password=secret", optionally with "schema=NAME" for a project kept
// in its own schema of the shared server.
struct ConnectionSpec {
    Engine engine = Engine::SQLite;
    QString path;  // SQLite file
    QString host;  // PostgreSQL
    int port = 5432;
    QString database;
    QString user;
    QString password;
    QString schema;  // PostgreSQL schema of a project; empty: public

    static ConnectionSpec sqlite(const QString& file);
    // Empty when the text is not a connection string.
    static std::optional<ConnectionSpec> parse(const QString& text);
    QString text() const;
    // The location a message names: the file, or host/database/schema without the password.
    QString location() const;
    bool operator==(const ConnectionSpec&) const = default;
};

// A database failure: the message names the database, the statement and the engine's reason.
class DbError : public AppError {
  public:
    // The location is the one the run's registry has for db.
    DbError(DbId db, const QString& what, const QString& reason);
    // The location given: a registry of its own (a second user in a test, a merge source).
    DbError(DbId db, const QString& location, const QString& what, const QString& reason);
    // A statement, transaction or connection that failed with the engine's error: a write the
    // store refused (a full or read-only disk, an I/O error) or a lost server connection ends
    // only the action (AppError::endsActionOnly), with a message that says so.
    DbError(DbId db, Engine engine, const QString& location, const QString& what,
            const QSqlError& error);
    DbId db() const { return db_; }
    // Why the engine refused, for a failure that ends only the action: "disk full", ...
    const QString& refusal() const { return refusal_; }
    bool connectionLost() const { return connectionLost_; }

  private:
    DbId db_;
    bool connectionLost_ = false;  // set while refusal_ is made
    QString refusal_;
};

// The refusal of a database another user kept busy for longer than the busy wait.
inline constexpr char kBusyRefusal[] = "another user kept it busy";

// Why the store behind a failed statement refused it ("disk full", "the database is
// read-only", ...), or empty when the failure is the statement's own (a syntax error, a
// violated constraint). lost is set when the connection to the server is gone.
QString refusalOf(Engine engine, const QSqlError& error, bool* lost = nullptr);

// The registry of named connections. Binding a connection does not open it; the first query
// does. Rebinding (another project opened) closes the old connection.
class Connections {
  public:
    Connections() = default;
    ~Connections();
    Connections(const Connections&) = delete;
    Connections& operator=(const Connections&) = delete;

    void bind(DbId id, const ConnectionSpec& connSpec);
    bool isBound(DbId id) const;
    const ConnectionSpec& boundTo(DbId id) const;
    Engine engine(DbId id) const { return boundTo(id).engine; }

    // The open connection; throws DbError when it cannot be opened (missing or corrupt file,
    // unreachable server).
    QSqlDatabase database(DbId id);
    void close(DbId id);
    void closeAll();
    // The error of a statement, transaction or connection of id that failed with the engine's
    // error; a connection found lost is opened anew by the next use.
    DbError failure(DbId id, const QString& what, const QSqlError& error);

    // How long a statement on an SQLite file waits for another program's write to end before
    // the database counts as busy. Applies to connections opened afterwards.
    void setBusyWait(int milliseconds) { busyWait_ = milliseconds; }
    // Who is asked when a database stays busy: Retry runs the statement again, Cancel ends the
    // operation (Cancelled). With nobody to ask, the statement fails (DbError).
    void askWhenBusy(Ui* ui) { busyUi_ = ui; }
    // For a statement that failed: true when the database was busy and the user chose Retry;
    // throws Cancelled when the user chose Cancel; false for any other failure.
    bool retryWhenBusy(DbId id, const QSqlError& error) const;

    // Write transactions (Transaction) open now on id. Nothing asks the user a question while
    // one is open: the database would be held from everybody else until the answer.
    int openTransactions(DbId id) const { return slots_[int(id)].transactions; }

    // A unique prefix for this registry's Qt connection names (several registries may live in
    // one process: tests, and the two users of a lock test).
    QString connectionName(DbId id) const;

    // PostgreSQL: the second connection users' queries run on (ReadOnlyQuery), made read-only
    // for its whole session; opened on first use, closed with the first. beginReading starts a
    // READ ONLY transaction on it unless one is open for another reader; endReading, once every
    // reader begun has ended, rolls it back. A reading begun before the connection was closed
    // ends with nothing to do.
    QSqlDatabase readingDatabase(DbId id);
    quint64 beginReading(DbId id);
    void endReading(DbId id, quint64 reading);

    // The identity (WhoAmI) whose live session every PostgreSQL connection of this registry
    // announces: while it is open the connection holds a shared advisory lock on the
    // identity, and the server drops it when the connection ends, however the program ended.
    // Lock rows name their holder by this identity, so a row whose holder has no session left
    // is known to be stale (see db/locks.h). Empty: no announcement (SQLite never has one).
    void setSessionIdentity(const QString& whoAmI);
    const QString& sessionIdentity() const { return identity_; }
    // Runs fn while, of this registry's open connections to the server database of id, only
    // id's own announces the identity; the others announce it again afterwards, however fn
    // ends. The server refuses an exclusive lock on the identity while another connection holds
    // its shared one, so this lets a run ask "is any other run of my identity alive?" from one
    // connection, which keeps announcing throughout. Runs fn alone on SQLite.
    void withSoleAnnouncement(DbId id, const std::function<void()>& fn);

  private:
    friend class Transaction;
    struct Slot {
        bool bound = false;
        bool lost = false;         // the next use opens the connection anew
        bool readingLost = false;  // the same for the reading connection
        ConnectionSpec connSpec;
        int readers = 0;           // open ReadOnlyQuery runs on the reading connection
        int transactions = 0;      // open Transaction objects
        quint64 readingEpoch = 1;  // counts the reading connection's closings
    };
    QSqlDatabase open(DbId id, const QString& name, bool reading);
    Slot slots_[4];
    QString identity_;
    int busyWait_ = 5000;
    Ui* busyUi_ = nullptr;
    QString prefix_ = QStringLiteral("tolvane-%1-").arg(quintptr(this), 0, 16);
};

// The run's registry.
Connections& connections();

// The program's advisory-lock keys on a PostgreSQL database, in the two-number form (first
// number: what the lock is for; second: which one).
namespace advisory {
// A live session of an identity: the second number is hashtext(WhoAmI).
constexpr int kSessionClass = 0x544f4c53;
// Work that one installation at a time may do on a shared server.
constexpr int kSetupClass = 0x544f4c56;
constexpr int kFirstStart = 1;
}  // namespace advisory

// Tells the windows that show a table that its rows changed, so that they read it again:
// every insert, update or delete run through Query announces its table.
class TableChanges : public QObject {
    Q_OBJECT
  public:
    static TableChanges& instance();
    // Called by Query; callers that change a table another way call it themselves.
    void notify(DbId db, const QString& table) { Q_EMIT changed(db, table); }

  Q_SIGNALS:
    void changed(tolvane::db::DbId db, const QString& table);
};

// The table a statement writes ("insert into T", "update T", "delete [*] from T"); empty
// for any other statement.
QString writtenTable(const QString& statement);

// The database that holds a table of the program (tblUsers: the equipment database's, the
// list of preference owners); nullopt for a table no database has.
std::optional<DbId> homeOf(const QString& table);

// One parameterized statement on one database. User text only ever enters through bind().
//   Query q(DbId::Project, "select * from tblCables where CableNO = ?");
//   q.bind(number).exec();
//   while (q.next()) ... q.value("CableID") ...
class Query {
  public:
    Query(DbId db, const QString& sql, Connections& registry);
    ~Query();

    Query& bind(const QVariant& value);
    // Throws DbError; a database kept busy by another program asks Retry / Cancel first
    // (Connections::askWhenBusy).
    Query& exec();
    bool next();
    QVariant value(const QString& column) const;
    QVariant value(int index) const { return q_.value(index); }
    int rowsAffected() const { return q_.numRowsAffected(); }
    QSqlQuery& sql() { return q_; }
    Engine engine() const { return engine_; }
    QString location() const { return location_; }

    // The first column of the first row, or an invalid QVariant when there is none.
    QVariant scalar();

  protected:
    enum class Access { ReadWrite, ReadOnly };
    Query(DbId db, const QString& sql, Connections& registry, Access access);

  private:
    void endReading();

    Connections& registry_;
    DbId db_;
    Engine engine_;
    QString location_;
    Access access_;
    QString text_;
    QString written_;  // the table the statement writes, announced after each run
    QSqlQuery q_;
    QVariantList values_;
    bool prepared_ = false;
    std::optional<quint64> reading_;  // PostgreSQL: the read-only transaction this run is in
};

// A query a user wrote (a report layout's, with the filter put over it) refused before it ran:
// it is not one SELECT that only reads. The reason says why (db/read_only_sql.h).
class RefusedQuery : public DbError {
  public:
    RefusedQuery(DbId db, const QString& location, const QString& sql, const QString& reason);
    const QString& reason() const { return reason_; }

  private:
    QString reason_;
};

// The one way a query a user wrote reaches a database. Its text must pass readOnlyProblem()
// (else RefusedQuery, and nothing runs), and it runs where it cannot write whatever it holds:
// SQLite runs it on the database's connection with query_only set while it starts (a statement
// that writes fails as it begins; a reading one never writes later) and set back at once, so
// the program's own statements, before, after and between its rows, write as ever; PostgreSQL
// runs it on the reading connection in a READ ONLY transaction, rolled back when its rows are
// read or it is dropped.
class ReadOnlyQuery : public Query {
  public:
    ReadOnlyQuery(DbId db, const QString& sql, Connections& registry)
        : Query(db, sql, registry, Access::ReadOnly) {}
    // One run, one read-only transaction: never shared by copies.
    ReadOnlyQuery(const ReadOnlyQuery&) = delete;
    ReadOnlyQuery& operator=(const ReadOnlyQuery&) = delete;
};

// A transaction on one database: committed by commit(), rolled back when it goes out of
// scope without one. Multi-row writes run inside one.
class Transaction {
  public:
    explicit Transaction(DbId db, Connections& registry);
    ~Transaction();
    // A database kept busy by another program asks Retry / Cancel as a statement does.
    void commit();

  private:
    void finish();
    Connections& registry_;
    DbId db_;
    QString location_;
    QSqlDatabase database_;
    bool done_ = false;
};

// SQL text that differs between the engines.
namespace dialect {
// "col LIKE ?" that ignores letter case on both engines (prefix searches bind "text%").
QString likeNoCase(Engine e, const QString& column);
// Jet statements as the program's texts quote them ("Delete * from t where ...", "= True",
// "= -1") made into this engine's SQL.
QString fromJet(Engine e, const QString& statement);
}  // namespace dialect

}  // namespace tolvane::db
