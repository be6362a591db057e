// The rows a database merge set aside (see db/merge.h), and what the user decides about each:
// keep the row in use and drop the one set aside, take the row set aside over the one in use,
// restore a row that was deleted here, or drop a row whose parent is missing.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <vector>

#include "db/database.h"
#include "db/merge.h"

namespace tolvane::db {

// Rows as a grid shows them: column names and values, in order.
struct RowSet {
    QStringList columns;
    std::vector<QVariantList> rows;
};

class Conflicts {
  public:
    Conflicts(DbId id, Connections& registry) : id_(id), registry_(registry) {}

    // The tables with rows set aside, in name order.
    QStringList tables() const { return tablesWithConflicts(id_, registry_); }
    // The rows set aside for a table, in the order they were set aside.
    RowSet conflicts(const QString& table) const;
    // The row in use that a row set aside lost to; no rows when it is gone.
    RowSet existing(const QString& table, qint64 conflictId) const;
    // Why the row was set aside: its row in use is there (Changed) or gone (Deleted), or its
    // parent was missing (Integrity).
    ConflictReason reason(const QString& table, qint64 conflictId) const;

    // Copies the row set aside, every column but the row identities and the key that numbers
    // the table's rows, over its row in use, or adds it again when that row is gone; then
    // drops the row set aside. One transaction. Refused (AppError) for an integrity conflict.
    void use(const QString& table, qint64 conflictId);
    // Drops the row set aside; the row in use stays as it is.
    void discard(const QString& table, qint64 conflictId);

  private:
    QVariantList conflictRow(const QString& table, qint64 conflictId, QStringList* columns) const;
    DbId id_;
    Connections& registry_;
};

}  // namespace tolvane::db
