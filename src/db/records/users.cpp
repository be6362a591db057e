#include "db/records/users.h"

#include "db/records/row_reader.h"
#include "db/schema.h"

namespace tolvane::db {

namespace {

UserRecord readUser(const RowReader& r) {
    UserRecord u;
    u.key = r.integer("UserKey");
    u.name = r.text("UserName");
    u.password = r.text("Password");
    u.group = r.text("Groupname");
    return u;
}

GroupRecord readGroup(const RowReader& r) {
    GroupRecord g;
    g.name = r.text("GroupName");
    for (const QString& column : PermissionTable::columns())
        g.flags.insert(column, r.flag(column.toLatin1().constData()));
    return g;
}

}  // namespace

// ---- users ---------------------------------------------------------------------------------

QList<UserRecord> UserTable::all() {
    Query q(DbId::PM,
            QStringLiteral("select * from tblUsers order by lower(UserName), UserName, UserKey"),
            registry_);
    return readAll(q, readUser);
}

QList<UserRecord> UserTable::named(const QString& name) {
    // The column compares exactly on both engines: "admin" is not "Admin".
    Query q(DbId::PM, QStringLiteral("select * from tblUsers where UserName = ? order by UserKey"),
            registry_);
    q.bind(name);
    return readAll(q, readUser);
}

void UserTable::insert(const UserRecord& r) {
    Query q(DbId::PM,
            QStringLiteral("insert into tblUsers (UserName, Password, Groupname) values (?, ?, ?)"),
            registry_);
    q.bind(r.name).bind(r.password).bind(r.group).exec();
}

void UserTable::setPassword(qint64 userKey, const QString& stored) {
    Query q(DbId::PM, QStringLiteral("update tblUsers set Password = ? where UserKey = ?"),
            registry_);
    q.bind(stored).bind(userKey).exec();
}

void UserTable::setGroup(qint64 userKey, const QString& group) {
    Query q(DbId::PM, QStringLiteral("update tblUsers set Groupname = ? where UserKey = ?"),
            registry_);
    q.bind(group).bind(userKey).exec();
}

void UserTable::remove(qint64 userKey) {
    Query q(DbId::PM, QStringLiteral("delete from tblUsers where UserKey = ?"), registry_);
    q.bind(userKey).exec();
}

// ---- permissions ---------------------------------------------------------------------------

QStringList PermissionTable::columns() {
    static const QStringList found = [] {
        QStringList out;
        if (const TableDef* def =
                findTable(DbKind::ProjectManager, QStringLiteral("tblpermissions")))
            for (const ColumnDef& c : def->columns)
                if (c.type == ColType::Bool) out << c.name;
        return out;
    }();
    return found;
}

QList<GroupRecord> PermissionTable::all() {
    Query q(DbId::PM, QStringLiteral("select * from tblpermissions order by GroupName"), registry_);
    return readAll(q, readGroup);
}

std::optional<GroupRecord> PermissionTable::find(const QString& group) {
    Query q(DbId::PM, QStringLiteral("select * from tblpermissions where GroupName = ?"),
            registry_);
    q.bind(group);
    return readFirst(q, readGroup);
}

QString PermissionTable::columnNamed(const QString& name) {
    for (const QString& c : columns())
        if (c.compare(name, Qt::CaseInsensitive) == 0) return c;
    return {};
}

void PermissionTable::set(const QString& group, const QString& column, bool granted) {
    // The column's name comes from the schema, never from the caller's text.
    const QString known = columnNamed(column);
    if (known.isEmpty())
        throw AppError(err::kInternal,
                       QStringLiteral("tblpermissions has no permission column %1.").arg(column));
    Query q(DbId::PM,
            QStringLiteral("update tblpermissions set %1 = ? where GroupName = ?").arg(known),
            registry_);
    q.bind(granted).bind(group).exec();
}

}  // namespace tolvane::db
