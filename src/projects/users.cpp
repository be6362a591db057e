// Users, login and permissions.
#include "projects/users.h"

#include <sodium.h>

#include <QByteArray>
#include <mutex>

#include "db/schema.h"
#include "shell/command_table.h"
#include "shell/run_state.h"
#include "shell/settings_store.h"
#include "ui/ui.h"

namespace tolvane::projects {

using db::DbId;
using db::Query;

namespace {

const QString kLoginTitle = QStringLiteral("Login");
const QString kUsersTitle = QStringLiteral("Users and Permissions");

// Drawing keys that only change the view: every group may use them.
const QStringList kViewingKeys = {CommandKey("catDPan"),          CommandKey("catDZoomIn"),
                                  CommandKey("catDZoomOut"),      CommandKey("catDWindow"),
                                  CommandKey("catDRegen"),        CommandKey("catDExtents"),
                                  CommandKey("catDZoomPrevious"), CommandKey("catDAll")};

// The keys only a user who administers may run.
const QStringList kAdministratorKeys = {CommandKey("catPClearLock")};

// The keys with a column of their own; the first matching entry wins, before the prefixes.
struct KeyRule {
    const char* key;
    const char* column;
};
constexpr KeyRule kKeyRules[] = {
    {"catDNew", "CreateDrawings"},
    {"catRNew", "CreateReports"},
    {"EditReports", "CreateReports"},
    {"catWAssignCable", "AssignCables"},
    {"catWAssignSysNames", "AssignSysNames"},
    {"AddToEquipLibrary", "CreateEquipment"},
    {"EditEquipLibrary", "EditEquipment"},
    {"DeleteFromEquipLibrary", "DeleteEquipment"},
};

void ensureSodium() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (sodium_init() < 0)
            throw AppError(err::kInternal, QStringLiteral("The password library cannot start"));
    });
}

bool looksHashed(const QString& stored) {
    return stored.startsWith(QLatin1String("$argon2"));
}

QString textOf(const QVariant& v) {
    return v.isNull() ? QString() : v.toString();
}

UserRow userFrom(const Query& q) {
    return {q.value(QStringLiteral("UserKey")).toInt(), textOf(q.value(QStringLiteral("UserName"))),
            textOf(q.value(QStringLiteral("Groupname"))),
            !q.value(QStringLiteral("Password")).isNull()};
}

bool hasEvery(const GroupRow& group) {
    for (const QString& column : Users::permissionColumns())
        if (!group.flags.value(column)) return false;
    return true;
}

}  // namespace

Users::Users(RunState& run, SettingsStore& settings, Ui& ui, db::Connections& registry)
    : run_(run), settings_(settings), ui_(ui), registry_(registry) {}

QStringList Users::permissionColumns() {
    static const QStringList columns = [] {
        QStringList found;
        if (const db::TableDef* def =
                db::findTable(db::DbKind::ProjectManager, QStringLiteral("tblpermissions")))
            for (const db::ColumnDef& c : def->columns)
                if (c.type == db::ColType::Bool) found << c.name;
        return found;
    }();
    return columns;
}

QString Users::requiredColumn(const QString& key) {
    for (const KeyRule& rule : kKeyRules)
        if (key == QLatin1String(rule.key)) return QString::fromLatin1(rule.column);
    if (kViewingKeys.contains(key)) return {};
    const QStringView prefix = QStringView(key).left(4);
    if (prefix == QLatin1String("catD")) return QStringLiteral("editDrawings");
    if (prefix == QLatin1String("catR")) return QStringLiteral("editReports");
    return {};
}

// ---- login ------------------------------------------------------------------------------------

LoginOutcome Users::login(const QString& name, const QString& password) {
    // The column compares exactly on both engines: "admin" is not "Admin".
    Query q(DbId::PM, QStringLiteral("select * from tblUsers where UserName = ?"), registry_);
    q.bind(name).exec();
    if (!q.next()) {
        ui_.message(QStringLiteral("Username does not exist."), MsgButtons::Ok, MsgIcon::Warning,
                    kLoginTitle);
        return LoginOutcome::UnknownUser;
    }
    const UserRow row = userFrom(q);
    const QVariant stored = q.value(QStringLiteral("Password"));
    if (q.next()) {
        ui_.message(QStringLiteral("Function retrieved more than one user. Please contact your "
                                   "Tolvane administrator."),
                    MsgButtons::Ok, MsgIcon::Warning, kLoginTitle);
        return LoginOutcome::DuplicateUser;
    }
    if (!passwordMatches(stored, password)) {
        ui_.message(QStringLiteral("Invalid Password, try again!"), MsgButtons::Ok,
                    MsgIcon::Warning, kLoginTitle);
        return LoginOutcome::WrongPassword;
    }
    // A password kept as plain text (a row from an older database) is stored hashed from
    // its first successful use on.
    if (!stored.isNull() && !looksHashed(stored.toString()))
        Query(DbId::PM, QStringLiteral("update tblUsers set Password = ? where UserKey = ?"),
              registry_)
            .bind(hashPassword(password))
            .bind(row.key)
            .exec();
    loadPermissions(row.group);
    user_ = row;
    settings_.write(setting::PrevUser, name);
    run_.userName = name;
    run_.whoAmI = name + QLatin1Char('_') + run_.computerName;
    return LoginOutcome::LoggedIn;
}

void Users::loadPermissions(const QString& group) {
    permissions_ = GroupRow{group, {}};
    Query q(DbId::PM, QStringLiteral("select * from tblpermissions where GroupName = ?"),
            registry_);
    q.bind(group).exec();
    if (!q.next()) return;
    for (const QString& column : permissionColumns())
        permissions_.flags.insert(column, q.value(column).toBool());
}

bool Users::allowed(const QString& key, bool quiet) {
    if (run_.mode != DatabaseMode::Shared) return true;
    if (kAdministratorKeys.contains(key)) {
        if (isAdministrator()) return true;
        if (!quiet) ui_.message(permissionMessage(), MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    const QString column = requiredColumn(key);
    if (column.isEmpty() || permissions_.flags.value(column)) return true;
    if (!quiet) ui_.message(permissionMessage(), MsgButtons::Ok, MsgIcon::Warning);
    return false;
}

bool Users::isAdministrator() const {
    if (run_.mode != DatabaseMode::Shared) return true;
    return user_ && hasEvery(permissions_);
}

// ---- passwords --------------------------------------------------------------------------------

QVariant Users::hashPassword(const QString& password) {
    if (password.isEmpty()) return QVariant(QMetaType(QMetaType::QString));
    ensureSodium();
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, utf8.constData(), static_cast<unsigned long long>(utf8.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw AppError(err::kInternal, QStringLiteral("Out of memory while storing a password"));
    return QString::fromLatin1(out);
}

bool Users::passwordMatches(const QVariant& stored, const QString& typed) {
    if (stored.isNull()) return true;
    const QString text = stored.toString();
    if (!looksHashed(text)) return text == typed;
    ensureSodium();
    const QByteArray hash = text.toLatin1();
    const QByteArray utf8 = typed.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), utf8.constData(),
                                    static_cast<unsigned long long>(utf8.size())) == 0;
}

// ---- administration ---------------------------------------------------------------------------

QList<UserRow> Users::users() {
    QList<UserRow> rows;
    Query q(DbId::PM,
            QStringLiteral("select * from tblUsers order by lower(UserName), UserName, UserKey"),
            registry_);
    q.exec();
    while (q.next()) rows << userFrom(q);
    return rows;
}

QList<GroupRow> Users::groups() {
    QList<GroupRow> rows;
    Query q(DbId::PM, QStringLiteral("select * from tblpermissions order by GroupName"), registry_);
    q.exec();
    while (q.next()) {
        GroupRow g{textOf(q.value(QStringLiteral("GroupName"))), {}};
        for (const QString& column : permissionColumns())
            g.flags.insert(column, q.value(column).toBool());
        rows << g;
    }
    return rows;
}

QStringList Users::groupNames() {
    QStringList names;
    for (const GroupRow& g : groups()) names << g.name;
    return names;
}

UserChange Users::refuse(const QString& text) {
    ui_.message(text, MsgButtons::Ok, MsgIcon::Warning, kUsersTitle);
    return UserChange::Refused;
}

bool Users::groupExists(const QString& group) {
    Query q(DbId::PM, QStringLiteral("select count(*) from tblpermissions where GroupName = ?"),
            registry_);
    return q.bind(group).scalar().toInt() > 0;
}

namespace {
// Somebody must stay able to administer: a user whose group holds every permission. Read
// inside the transaction that made the change, so that the change itself is seen.
bool administratorRemains(Users& users) {
    QHash<QString, bool> full;
    for (const GroupRow& g : users.groups()) full.insert(g.name.toLower(), hasEvery(g));
    for (const UserRow& u : users.users())
        if (full.value(u.group.toLower())) return true;
    return false;
}
const QString kLastAdministrator =
    QStringLiteral("This change would leave no user who may administer users and permissions.");
}  // namespace

UserChange Users::addUser(const QString& name, const QString& password, const QString& group) {
    if (name.trimmed().isEmpty()) return refuse(QStringLiteral("Enter a user name."));
    if (name.front().isSpace())
        return refuse(QStringLiteral("A user name cannot start with a blank."));
    Query count(DbId::PM, QStringLiteral("select count(*) from tblUsers where UserName = ?"),
                registry_);
    if (count.bind(name).scalar().toInt() > 0)
        return refuse(QStringLiteral("The user name %1 is already in use.").arg(name));
    if (!groupExists(group))
        return refuse(QStringLiteral("Choose one of the users groups for %1.").arg(name));
    Query q(DbId::PM,
            QStringLiteral("insert into tblUsers (UserName, Password, Groupname) values (?, ?, ?)"),
            registry_);
    q.bind(name).bind(hashPassword(password)).bind(group).exec();
    return UserChange::Done;
}

UserChange Users::setPassword(int userKey, const QString& password) {
    Query q(DbId::PM, QStringLiteral("update tblUsers set Password = ? where UserKey = ?"),
            registry_);
    q.bind(hashPassword(password)).bind(userKey).exec();
    return UserChange::Done;
}

UserChange Users::setGroup(int userKey, const QString& group) {
    if (!groupExists(group))
        return refuse(QStringLiteral("There is no users group %1.").arg(group));
    return keepAdministrator([&] {
        Query q(DbId::PM, QStringLiteral("update tblUsers set Groupname = ? where UserKey = ?"),
                registry_);
        q.bind(group).bind(userKey).exec();
    });
}

UserChange Users::deleteUser(int userKey) {
    return keepAdministrator([&] {
        Query q(DbId::PM, QStringLiteral("delete from tblUsers where UserKey = ?"), registry_);
        q.bind(userKey).exec();
    });
}

bool Users::setPermission(const QString& group, const QString& column, bool granted) {
    QString known;
    for (const QString& c : permissionColumns())
        if (c.compare(column, Qt::CaseInsensitive) == 0) known = c;
    if (known.isEmpty()) return false;
    return keepAdministrator([&] {
               // The column name comes from the schema, never from the caller's text.
               Query q(DbId::PM,
                       QStringLiteral("update tblpermissions set %1 = ? where GroupName = ?")
                           .arg(known),
                       registry_);
               q.bind(granted).bind(group).exec();
           }) == UserChange::Done;
}

UserChange Users::keepAdministrator(const std::function<void()>& change) {
    bool remains = false;
    {
        db::Transaction tx(DbId::PM, registry_);
        change();
        remains = administratorRemains(*this);
        if (remains) tx.commit();
    }  // rolled back before the user is told, so no lock waits on the message
    return remains ? UserChange::Done : refuse(kLastAdministrator);
}

}  // namespace tolvane::projects
