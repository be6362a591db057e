// Users, login and permissions of shared mode: the login against the project manager's
// tblUsers, the permission row of the user's group held for the whole run, the permission
// check every routed command key asks, and the administration of users and groups. Passwords
// are stored as libsodium argon2 hashes; a null password admits any typed text, and a stored
// value that is not a hash (an older database, database tools) is compared as plain text and
// replaced by its hash at the first login that gives it. Log-in names compare exactly.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "db/database.h"
#include "db/records/users.h"

namespace tolvane {
class Ui;
class SettingsStore;
struct RunState;
}  // namespace tolvane

namespace tolvane::projects {

enum class LoginOutcome { LoggedIn, UnknownUser, DuplicateUser, WrongPassword };

// What an administrator's change of the users did; the text is the message already shown.
enum class UserChange { Done, Refused };

class Users {
  public:
    Users(RunState& run, SettingsStore& settings, Ui& ui, db::Connections& registry);

    // The permission columns of tblpermissions, in the table's order.
    static QStringList permissionColumns();
    // The column a command key needs; empty when the key needs none (viewing keys, keys of
    // no restricted kind).
    static QString requiredColumn(const QString& key);

    static QString permissionMessage() {
        return QStringLiteral("Your Users Group does not permit this function");
    }

    // The login window's OK: tells the user what went wrong (title "Login"), or makes the
    // user the run's user and loads the group's permissions.
    LoginOutcome login(const QString& name, const QString& password);
    bool loggedIn() const { return user_.has_value(); }
    const std::optional<db::UserRecord>& user() const { return user_; }
    // The permission row read at login; empty flags when the group has no row.
    const db::GroupRecord& permissions() const { return permissions_; }

    // True when the current user may run the command. Single-user mode: always. Keys that
    // administer (clearing a lock) need a user who administers. A refusal is reported unless
    // quiet.
    bool allowed(const QString& key, bool quiet = false);
    // A group that holds every permission may administer users and groups. Single-user mode
    // has no login, and its one user administers.
    bool isAdministrator() const;

    // ---- administration -------------------------------------------------------------------
    QList<db::UserRecord> users();
    QList<db::GroupRecord> groups();
    QStringList groupNames();
    // Refuses an empty name, a name starting with a blank and a name already used (exactly:
    // "admin" beside "Admin" is a new user), each with a message. An empty password is stored
    // as no password.
    UserChange addUser(const QString& name, const QString& password, const QString& group);
    UserChange setPassword(int userKey, const QString& password);
    // Changes that would leave no user whose group holds every permission are refused, so
    // that somebody can always administer.
    UserChange setGroup(int userKey, const QString& group);
    UserChange deleteUser(int userKey);
    // Refuses an unknown column (false).
    bool setPermission(const QString& group, const QString& column, bool granted);

    // The stored form of a password: an argon2id hash; a null string for the empty password.
    static QString hashPassword(const QString& password);
    // The typed password against the stored value: a null string admits anything, a hash is
    // verified, anything else (the empty string too) is compared as plain text.
    static bool passwordMatches(const QString& stored, const QString& typed);

  private:
    void loadPermissions(const QString& group);
    UserChange refuse(const QString& text);
    bool groupExists(const QString& group);
    // Runs a change in a transaction and keeps it only when a user who administers remains.
    UserChange keepAdministrator(const std::function<void()>& change);

    RunState& run_;
    SettingsStore& settings_;
    Ui& ui_;
    db::Connections& registry_;
    std::optional<db::UserRecord> user_;
    db::GroupRecord permissions_;
};

}  // namespace tolvane::projects
