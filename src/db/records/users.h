// The users of shared mode in the project manager: their log-in names, stored passwords and
// groups (tblUsers), and the permissions of each group (tblpermissions, one flag column per
// kind of work). The typed records and the one place that holds the statements on both
// tables. Log-in names compare exactly; group names as their column compares, without regard
// to case.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "db/database.h"

namespace tolvane::db {

struct UserRecord {
    qint64 key = 0;    // UserKey
    QString name;      // UserName
    QString password;  // Password as stored: a hash, older plain text, or null for none
    QString group;     // Groupname
    bool hasPassword() const { return !password.isNull(); }
    bool operator==(const UserRecord&) const = default;
};

struct GroupRecord {
    QString name;                // GroupName
    QHash<QString, bool> flags;  // permission column -> granted
    bool operator==(const GroupRecord&) const = default;
};

class UserTable {
  public:
    explicit UserTable(Connections& registry) : registry_(registry) {}

    // By name without regard to case, then as written, then by key.
    QList<UserRecord> all();
    // The rows of a log-in name, compared exactly, by key.
    QList<UserRecord> named(const QString& name);

    // Adds the row (its key is made by the table).
    void insert(const UserRecord& r);
    // `stored` is the password's stored form; null for none.
    void setPassword(qint64 userKey, const QString& stored);
    void setGroup(qint64 userKey, const QString& group);
    void remove(qint64 userKey);

  private:
    Connections& registry_;
};

class PermissionTable {
  public:
    explicit PermissionTable(Connections& registry) : registry_(registry) {}

    // The permission columns, in the table's order.
    static QStringList columns();
    // The permission column of the name compared without regard to case, spelt as the table
    // spells it; empty when there is none.
    static QString columnNamed(const QString& name);

    // By name.
    QList<GroupRecord> all();
    // The group's row; nullopt when it has none.
    std::optional<GroupRecord> find(const QString& group);
    // Grants or withdraws one permission of a group; `column` is one of columns().
    void set(const QString& group, const QString& column, bool granted);

  private:
    Connections& registry_;
};

}  // namespace tolvane::db
