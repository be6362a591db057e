// The tables, columns, keys, relations, indexes and views of the four databases, defined once
// as data and turned into each engine's DDL. The schema is versioned: opening an older
// database brings it to the current version (missing tables, columns, indexes and views are
// added; no row is lost).
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

#include "db/database.h"

namespace tolvane::db {

// The blank project database and a project database share one schema.
enum class DbKind { ProjectManager, Equipment, Project };
DbKind kindOf(DbId id);

// 2: PairNumber, JFSysID, JFRowNumber and Color hold numbers, ItemKey is text;
// log-in names compare exactly. 3: cable numbers indexed by length. 4: the cores of multicore
// cables indexed by their ends. 5: starter rows carry the row identities every installation
// gives them. 6: issued revisions of the cable schedule and the lines of a comparison; the
// project's racks and their budgets. 7: the cores of multicore cables frozen with a revision.
// 8: a frozen cable or core stands in every revision from the one that froze it until it
// changed (LastRevision), and frozen rows are indexed by hash on their identity and number.
constexpr int kSchemaVersion = 8;

// Text compares without regard to letter case, as the program's names always have;
// ExactText compares exactly (log-in names). Guid: a text identity filled by the engine on
// insert (the row identity s_GUID of a merged table).
enum class ColType { Text, ExactText, Integer, Real, Bool, DateTime, AutoKey, Guid };

// The row identity by which database merging matches rows.
inline const QString kGuidColumn = QStringLiteral("s_GUID");

struct ColumnDef {
    QString name{};
    ColType type = ColType::Text;
    bool notNull = false;
    QString defaultValue{};  // SQL literal, the same on both engines ("0", "'-'", "FALSE")
    bool hidden = false;     // keys and row identities are hidden in data sheets
    // Words an older version stored in a column that holds numbers now, each with the number
    // it becomes when the column's kind changes ("Same As Layer" -> 256). Compared without
    // regard to case.
    std::vector<std::pair<QString, qint64>> formerWords{};
};

struct ForeignKeyDef {
    QStringList columns{};
    QString refTable{};
    QStringList refColumns{};
    bool cascadeDelete = false;
    bool cascadeUpdate = false;  // a renamed text key is carried to the referring rows
};

struct IndexDef {
    QStringList columns{};
    bool unique = false;
    // Looked up by equality alone: a hash index where the engine has one (PostgreSQL), whose
    // rows are added without comparing texts; an ordinary index elsewhere. Never unique.
    bool hashed = false;
};

struct TableDef {
    QString name{};
    std::vector<ColumnDef> columns{};
    QStringList primaryKey{};  // empty for an AutoKey column, which is its own key
    std::vector<ForeignKeyDef> foreignKeys{};
    std::vector<IndexDef> indexes{};
    bool merged = false;  // takes part in database merging: carries s_GUID
    // Rows written by the hundred thousand whose identities are unique by how they are made
    // (another row's identity and a key): the identity is indexed by hash, not kept unique.
    bool identityByHash = false;
    const ColumnDef* column(const QString& name) const;
};

struct ViewDef {
    QString name{};
    QString select{};             // the same SELECT on both engines
    QStringList hiddenColumns{};  // keys a data sheet over the view hides
};

const std::vector<TableDef>& tables(DbKind kind);
const std::vector<ViewDef>& views(DbKind kind);
const TableDef* findTable(DbKind kind, const QString& name);  // name without regard to case

// The spelling of a table name that Qt's catalogue functions (QSqlDatabase::record,
// QSqlTableModel::setTable, primaryIndex) find: PostgreSQL folds unquoted names to lower
// case, and Qt's driver looks the name up as given.
QString catalogName(Engine engine, const QString& table);

// Columns a data sheet hides: internal keys and the row identity s_GUID.
bool isHiddenColumn(DbKind kind, const QString& table, const QString& column);

// ---- what a database holds now ------------------------------------------------------------

struct ExistingColumn {
    QString name;  // lower case
    QString declaredType;
    bool primaryKey = false;  // SQLite: part of the key
    bool identity = false;    // PostgreSQL: numbered on insert
    // What the column stores and how its text compares, in one word per engine: SQLite
    // "TEXT COLLATE NOCASE", "TEXT", "INTEGER", ...; PostgreSQL the type's own name (citext,
    // text, int4, float8, bool, timestamp).
    QString kind;
};
// The tables of the database (lower case), and the columns of one in their order.
QSet<QString> existingTables(DbId id, Connections& registry);
std::vector<ExistingColumn> existingColumns(DbId id, Connections& registry, const QString& table);

// A column as ALTER TABLE ... ADD COLUMN declares it on an engine: never the key, and refusing
// nulls only where a default fills the rows the table has.
QString addedColumnSql(Engine engine, const ColumnDef& column);
// The DDL that makes one table (with its indexes) on an engine.
QStringList createTableSql(Engine engine, const TableDef& table);
// The name the schema gives an index or a foreign key of a table.
QString indexName(const TableDef& table, const IndexDef& index);
QString foreignKeyName(const TableDef& table, const ForeignKeyDef& key);

// A column whose kind changed between versions is converted with every row kept: numbers
// written as text become numbers, numbers become text. A value that is no number where a
// number is wanted stops the upgrade (DbError naming the table, column, row and value), and
// the database is left as it was.

// 0 when the database has no schema yet.
int schemaVersion(DbId id, Connections& registry);

// Creates what is missing and records the current version, in one transaction. For a new
// SQLite database, create the empty file first with createSqliteFile(). Throws DbError when
// the database was made by a newer Tolvane (its version is above kSchemaVersion).
void ensureSchema(DbId id, Connections& registry);

// Brings a database that exists to the current version. One without any version (an empty
// file left by a disk error or an interrupted copy, another program's database, a server
// schema that is gone) is not made anew: it is refused as "cannot be read" (DbError) and
// left as it is. Only a database that does not exist is ever created.
void upgradeExisting(DbId id, Connections& registry);

// Makes an empty SQLite file at path (its folder included). Throws DbError naming db when
// the file cannot be made.
void createSqliteFile(DbId db, const QString& path);

}  // namespace tolvane::db
