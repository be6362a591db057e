// Many rows read quickly: a statement's columns taken by position from each row as it comes.
// On SQLite the rows come straight from the engine, with no value made per field (numbers as
// they are stored, texts from their bytes); on PostgreSQL they come through Query. Texts that
// many rows hold alike (systems, pins, sheets) are read with name(), which gives the same
// string again for a text met before instead of making a new one. Every value reads as
// Query's value would (a null text is a null string, a null number 0, a null flag false).
// For statements that take no values: whole tables, read for a check or a report.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>
#include <vector>

#include "db/database.h"

struct sqlite3_stmt;

namespace tolvane::db {

class RowStream {
  public:
    RowStream(DbId db, const QString& sql, Connections& registry);
    ~RowStream();
    RowStream(const RowStream&) = delete;
    RowStream& operator=(const RowStream&) = delete;

    // Runs the statement. Throws DbError; a database kept busy by another program asks
    // Retry / Cancel first, as Query does.
    void exec();
    bool next();

    qint64 integer(int column) const;
    bool flag(int column) const;
    QString text(int column) const;
    // A text that many rows hold alike: the same string as the last time the same text was
    // read in this column or another.
    QString name(int column);

  private:
    // The value as the driver would have given it, for what the fast paths do not take.
    QVariant value(int column) const;
    [[noreturn]] void fail(int code);

    Connections& registry_;
    DbId db_;
    QString sql_;
    std::optional<Query> query_;  // not SQLite
    sqlite3_stmt* statement_ = nullptr;
    bool begun_ = false;  // a row has been given since the statement was run
    struct Shared {
        QByteArray bytes;
        QString text;
    };
    std::vector<Shared> names_;
};

}  // namespace tolvane::db
