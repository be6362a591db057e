// Database merging: a delivered database (a release's equipment library, a newer blank project
// database, the library of a linked project) brought into the database in use. The database
// in use first gains the tables, columns and indexes of the delivered one that it lacks (never
// dropping anything); then rows are matched by their row identity s_GUID:
// - a delivered row whose identity is absent is inserted; it keeps its key where that is free,
//   else it is given a new one, and the delivered rows that referred to it follow it;
// - a row present in both with other values keeps the values in use, and the delivered row is
//   set aside in T_Conflict (T the table) with ConflictRowGuid naming the row it lost to; the
//   rows that belong to it are matched as ever, since it is the same row;
// - a new row that would repeat the unique key of another row (a manufacturer code, a project
//   name) is set aside the same way, naming that row;
// - a delivered row whose parent is missing is set aside as an integrity conflict;
// - a row that belongs to its parent (the schema's keys that delete it with its parent, and
//   the plain numbers of a project's revisions and a router's crosspoints) follows it: it is
//   added only with its parent, and when its parent is set aside as a row of its own (a new
//   row that lost to another's unique key, or one whose parent is missing) it is set aside
//   with it as an integrity conflict;
// - a delivered row already set aside by an earlier merge, as it is, is not set aside again:
//   merging the same file twice, or a database into itself, changes nothing.
// Starter rows have the same identity in every installation (db/starter_library.h). Rows of
// the database in use are never deleted or changed. The whole merge is one transaction: a
// failure half-way leaves the database in use as it was.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "db/database.h"

namespace tolvane::db {

// The table a merge sets a table's losing rows aside in, and its three columns of its own.
inline const QString kConflictSuffix = QStringLiteral("_Conflict");
inline const QString kConflictRowGuid = QStringLiteral("ConflictRowGuid");
inline const QString kConflictReason = QStringLiteral("ConflictReason");
inline const QString kConflictId = QStringLiteral("ConflictID");

// Why a row was set aside. A row set aside as changed whose row in use is gone later reads as
// deleted: the conflict viewer looks the row up each time.
enum class ConflictReason { Deleted = 0, Integrity = 1, Changed = 2 };

struct MergeReport {
    int inserted = 0;   // delivered rows new to the database in use
    int rekeyed = 0;    // of them, given a new key because theirs was taken
    int conflicts = 0;  // delivered rows set aside (not counting those set aside before)
    QStringList addedTables;
    QStringList addedColumns;  // "table.column"
    QStringList addedIndexes;
    QStringList conflictTables;  // the tables that had rows set aside, in merge order
    bool cancelled = false;      // stopped through its progress: nothing changed
    bool hadConflicts() const { return conflicts > 0; }
};

// Where a merge stands: the table being merged and its rows read so far, and the rows read of
// every table against all the merge reads.
struct MergeStep {
    QString table;
    qint64 tableRows = 0;
    qint64 done = 0;
    qint64 total = 0;
};
// Told as the rows of each table are merged (every few thousand rows, and at each table's end).
// Returning false cancels the merge: it is rolled back and reported as cancelled.
using MergeProgress = std::function<bool(const MergeStep& step)>;

// Merges the SQLite database file `delivered` into `target` of `registry`. The file is read
// through a connection of its own; when it was made by an older Tolvane it is first brought to
// this version's structure, so pass a copy (the update makes a replica) when the delivered file
// must stay as it is. Throws DbError naming the file when it is no database, holds no Tolvane
// database, is a database of another kind, or has a column whose kind differs from the one in
// use; DbError for a failure of the database in use. In every such case, and when the progress
// cancels it, nothing has changed.
MergeReport mergeDatabase(DbId target, const QString& delivered, Connections& registry,
                          const MergeProgress& progress = {});

// A table or column name as a statement on the engine quotes it: any word another database
// used stays one name (PostgreSQL keeps our names in lower case).
QString quotedName(Engine e, const QString& name);

// The tables of a database that have rows set aside by a merge: T for each T_Conflict with
// rows, in name order.
QStringList tablesWithConflicts(DbId id, Connections& registry);

}  // namespace tolvane::db
