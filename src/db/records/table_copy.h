// Rows of a table copied column by column, as the library's exchange files hold them: each
// file is a table's columns, listed once by the file's description, so the statements are
// made from those names (the program's, never the user's text).
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <map>
#include <memory>

#include "db/database.h"

namespace tolvane::db {

class TableCopy {
  public:
    TableCopy(DbId db, Connections& registry) : db_(db), registry_(registry) {}

    // The values of the columns, a list per row, in the order of `orderBy`.
    QList<QVariantList> rows(const QString& table, const QStringList& columns,
                             const QStringList& orderBy);
    // Adds a row of the values, one per column. Each table's statement is prepared once per
    // copy, since an import adds many rows.
    void insert(const QString& table, const QStringList& columns, const QVariantList& values);

  private:
    DbId db_;
    Connections& registry_;
    std::map<QString, std::unique_ptr<Query>> inserts_;
};

}  // namespace tolvane::db
