// Users, login and permissions.
#include "projects/users.h"

#include <sodium.h>

#include <QByteArray>
#include <mutex>

#include "shell/command_table.h"
#include "shell/run_state.h"
#include "shell/settings_store.h"
#include "ui/ui.h"

namespace tolvane::projects {

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

bool hasEvery(const db::GroupRecord& group) {
    for (const QString& column : Users::permissionColumns())
        if (!group.flags.value(column)) return false;
    return true;
}

}  // namespace

Users::Users(RunState& run, SettingsStore& settings, Ui& ui, db::Connections& registry)
    : run_(run), settings_(settings), ui_(ui), registry_(registry) {}

QStringList Users::permissionColumns() {
    return db::PermissionTable::columns();
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
    db::UserTable table(registry_);
    const QList<db::UserRecord> found = table.named(name);
    if (found.isEmpty()) {
        ui_.message(QStringLiteral("Username does not exist."), MsgButtons::Ok, MsgIcon::Warning,
                    kLoginTitle);
        return LoginOutcome::UnknownUser;
    }
    const db::UserRecord& row = found.first();
    if (found.size() > 1) {
        ui_.message(QStringLiteral("Function retrieved more than one user. Please contact your "
                                   "Tolvane administrator."),
                    MsgButtons::Ok, MsgIcon::Warning, kLoginTitle);
        return LoginOutcome::DuplicateUser;
    }
    if (!passwordMatches(row.password, password)) {
        ui_.message(QStringLiteral("Invalid Password, try again!"), MsgButtons::Ok,
                    MsgIcon::Warning, kLoginTitle);
        return LoginOutcome::WrongPassword;
    }
    // A password kept as plain text (a row from an older database) is stored hashed from
    // its first successful use on.
    if (row.hasPassword() && !looksHashed(row.password))
        table.setPassword(row.key, hashPassword(password));
    loadPermissions(row.group);
    user_ = row;
    settings_.write(setting::PrevUser, name);
    run_.userName = name;
    run_.whoAmI = name + QLatin1Char('_') + run_.computerName;
    return LoginOutcome::LoggedIn;
}

void Users::loadPermissions(const QString& group) {
    const std::optional<db::GroupRecord> found = db::PermissionTable(registry_).find(group);
    permissions_ = db::GroupRecord{group, found ? found->flags : QHash<QString, bool>()};
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

QString Users::hashPassword(const QString& password) {
    if (password.isEmpty()) return {};
    ensureSodium();
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, utf8.constData(), static_cast<unsigned long long>(utf8.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw AppError(err::kInternal, QStringLiteral("Out of memory while storing a password"));
    return QString::fromLatin1(out);
}

bool Users::passwordMatches(const QString& stored, const QString& typed) {
    if (stored.isNull()) return true;
    if (!looksHashed(stored)) return stored == typed;
    ensureSodium();
    const QByteArray hash = stored.toLatin1();
    const QByteArray utf8 = typed.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), utf8.constData(),
                                    static_cast<unsigned long long>(utf8.size())) == 0;
}

// ---- administration ---------------------------------------------------------------------------

QList<db::UserRecord> Users::users() {
    return db::UserTable(registry_).all();
}

QList<db::GroupRecord> Users::groups() {
    return db::PermissionTable(registry_).all();
}

QStringList Users::groupNames() {
    QStringList names;
    for (const db::GroupRecord& g : groups()) names << g.name;
    return names;
}

UserChange Users::refuse(const QString& text) {
    ui_.message(text, MsgButtons::Ok, MsgIcon::Warning, kUsersTitle);
    return UserChange::Refused;
}

bool Users::groupExists(const QString& group) {
    return db::PermissionTable(registry_).find(group).has_value();
}

namespace {
// Somebody must stay able to administer: a user whose group holds every permission. Read
// inside the transaction that made the change, so that the change itself is seen.
bool administratorRemains(Users& users) {
    QHash<QString, bool> full;
    for (const db::GroupRecord& g : users.groups()) full.insert(g.name.toLower(), hasEvery(g));
    for (const db::UserRecord& u : users.users())
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
    db::UserTable table(registry_);
    if (!table.named(name).isEmpty())
        return refuse(QStringLiteral("The user name %1 is already in use.").arg(name));
    if (!groupExists(group))
        return refuse(QStringLiteral("Choose one of the users groups for %1.").arg(name));
    db::UserRecord row;
    row.name = name;
    row.password = hashPassword(password);
    row.group = group;
    table.insert(row);
    return UserChange::Done;
}

UserChange Users::setPassword(int userKey, const QString& password) {
    db::UserTable(registry_).setPassword(userKey, hashPassword(password));
    return UserChange::Done;
}

UserChange Users::setGroup(int userKey, const QString& group) {
    if (!groupExists(group))
        return refuse(QStringLiteral("There is no users group %1.").arg(group));
    return keepAdministrator([&] { db::UserTable(registry_).setGroup(userKey, group); });
}

UserChange Users::deleteUser(int userKey) {
    return keepAdministrator([&] { db::UserTable(registry_).remove(userKey); });
}

bool Users::setPermission(const QString& group, const QString& column, bool granted) {
    const QString known = db::PermissionTable::columnNamed(column);
    if (known.isEmpty()) return false;
    return keepAdministrator([&] { db::PermissionTable(registry_).set(group, known, granted); }) ==
           UserChange::Done;
}

UserChange Users::keepAdministrator(const std::function<void()>& change) {
    bool remains = false;
    {
        db::Transaction tx(db::DbId::PM, registry_);
        change();
        remains = administratorRemains(*this);
        if (remains) tx.commit();
    }  // rolled back before the user is told, so no lock waits on the message
    return remains ? UserChange::Done : refuse(kLastAdministrator);
}

}  // namespace tolvane::projects
