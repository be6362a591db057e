// Users, login and permissions of shared mode, on a project-manager database made from the
// schema and the starter library (Admin without a password; Administrators, Engineers,
// Viewers), and the login and users windows driven as a batch script drives them.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTemporaryDir>

#include "app/admin/login_window.h"
#include "app/admin/users_window.h"
#include "db/schema.h"
#include "db/starter_library.h"
#include "db_fixture.h"
#include "front/widget_driver.h"
#include "projects/users.h"
#include "script_fixture.h"
#include "shell/run_state.h"
#include "shell/settings_store.h"

using namespace tolvane;
using projects::LoginOutcome;
using projects::UserChange;
using projects::Users;
using test::ScriptedUser;
using W = WidgetDriver;

namespace {

// The program side of a script that only drives windows shown through the seam.
using WindowsOnly = test::QuietHost;

class UsersTest : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        dbs.makeEmpty(db::DbId::PM, registry);
        db::ensureSchema(db::DbId::PM, registry);
        db::seedProjectManager(dir.filePath("Default Project"), registry);
        run.mode = DatabaseMode::Shared;
        run.userName = "osuser";
        run.computerName = "HOST";
        run.whoAmI = "osuser_HOST";
    }

    void sql(const QString& statement, const QVariantList& values = {}) {
        db::Query q(db::DbId::PM, statement, registry);
        for (const QVariant& v : values) q.bind(v);
        q.exec();
    }
    void addPlain(const QString& name, const QVariant& password, const QString& group) {
        sql("insert into tblUsers (UserName, Password, Groupname) values (?, ?, ?)",
            {name, password, group});
    }
    QVariant storedPassword(const QString& name) {
        db::Query q(db::DbId::PM, "select Password from tblUsers where UserName = ?", registry);
        return q.bind(name).scalar();
    }
    int keyOf(const QString& name) {
        db::Query q(db::DbId::PM, "select UserKey from tblUsers where UserName = ?", registry);
        return q.bind(name).scalar().toInt();
    }
    // A service answering from its own script.
    std::unique_ptr<Users> users(ScriptedUser& user) {
        return std::make_unique<Users>(run, settings, *user.ui, registry);
    }

    db::Connections registry;  // outlives dbs, which closes it
    test::TestDatabases dbs{GetParam()};
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath("Tolvane_v2.ini")};
    RunState run;
    WindowsOnly host;
};

TEST(PermissionTable, KeysFindTheirColumnExactlyAndByPrefix) {
    // Listed keys come before the prefixes: catDNew is a drawing key with a column of its own.
    EXPECT_EQ(Users::requiredColumn("catDNew"), "CreateDrawings");
    EXPECT_EQ(Users::requiredColumn("EditReports"), "CreateReports");
    for (const char* viewing : {"catDPan", "catDZoomIn", "catDZoomOut", "catDWindow", "catDRegen",
                                "catDExtents", "catDZoomPrevious", "catDAll"})
        EXPECT_EQ(Users::requiredColumn(viewing), "") << viewing;
    // Exact comparison: near misses of a listed key fall to the prefix rules.
    EXPECT_EQ(Users::requiredColumn("catDNewFromTemplate"), "editDrawings");
    EXPECT_EQ(Users::requiredColumn("catDzoomin"), "editDrawings");
    EXPECT_EQ(Users::requiredColumn("catROpen"), "editReports");
    for (const char* free : {"catWAssignCables", "catd", "cat", "", "mnuExit"})
        EXPECT_EQ(Users::requiredColumn(free), "") << free;
    // Every column a key needs is one the table has.
    for (const char* key :
         {"catDNew", "catDLine", "catRNew", "catROpen", "EditReports", "catWAssignCable",
          "catWAssignSysNames", "AddToEquipLibrary", "EditEquipLibrary", "DeleteFromEquipLibrary"})
        EXPECT_TRUE(Users::permissionColumns().contains(Users::requiredColumn(key))) << key;
}

TEST(Passwords, StoredHashedVerifiedAndPlainTextStillAccepted) {
    const QString hash = Users::hashPassword("s3cret");
    ASSERT_TRUE(hash.startsWith("$argon2id$")) << hash.toStdString();
    EXPECT_FALSE(hash.contains("s3cret"));
    // Salted: the same password twice gives two different texts, both verified.
    const QString again = Users::hashPassword("s3cret");
    EXPECT_NE(hash, again);
    EXPECT_TRUE(Users::passwordMatches(hash, "s3cret"));
    EXPECT_TRUE(Users::passwordMatches(again, "s3cret"));
    EXPECT_FALSE(Users::passwordMatches(hash, "S3CRET"));
    EXPECT_FALSE(Users::passwordMatches(hash, ""));
    EXPECT_TRUE(Users::passwordMatches(Users::hashPassword("Grüße €"), "Grüße €"));

    // No password: stored null, and anything is accepted.
    EXPECT_TRUE(Users::hashPassword("").isNull());
    EXPECT_TRUE(Users::passwordMatches(QString(), ""));
    EXPECT_TRUE(Users::passwordMatches(QString(), "anything"));

    // A password written by database tools is compared as it is, letter case included.
    EXPECT_TRUE(Users::passwordMatches(QString("plain"), "plain"));
    EXPECT_FALSE(Users::passwordMatches(QString("plain"), "Plain"));
    EXPECT_FALSE(Users::passwordMatches(QString(""), "x"));
    EXPECT_TRUE(Users::passwordMatches(QString(""), ""));
    // A damaged hash admits nobody, not even its own text.
    EXPECT_FALSE(Users::passwordMatches(QString("$argon2id$broken"), "$argon2id$broken"));
}

TEST_P(UsersTest, LoginTellsWhatWentWrongAndSetsUpTheRun) {
    addPlain("twin", QVariant(), "Engineers");
    addPlain("twin", QVariant(), "Viewers");
    addPlain("bob", "secret", "Engineers");
    ScriptedUser user("button OK\nbutton OK\nbutton OK\n");
    auto u = users(user);

    EXPECT_EQ(u->login("nobody", "x"), LoginOutcome::UnknownUser);
    EXPECT_EQ(u->login("twin", ""), LoginOutcome::DuplicateUser);
    EXPECT_EQ(u->login("bob", "Secret"), LoginOutcome::WrongPassword);
    EXPECT_EQ(user.lines(), QStringList({
                                "MESSAGE [OK] Login | Username does not exist.",
                                "ANSWER button OK",
                                "MESSAGE [OK] Login | Function retrieved more than one user. "
                                "Please contact your Tolvane administrator.",
                                "ANSWER button OK",
                                "MESSAGE [OK] Login | Invalid Password, try again!",
                                "ANSWER button OK",
                            }));
    EXPECT_FALSE(u->loggedIn());
    EXPECT_EQ(run.whoAmI, "osuser_HOST");
    EXPECT_EQ(settings.read(setting::PrevUser), "");

    EXPECT_EQ(u->login("bob", "secret"), LoginOutcome::LoggedIn);
    ASSERT_TRUE(u->loggedIn());
    EXPECT_EQ(u->user()->key, keyOf("bob"));
    EXPECT_EQ(run.userName, "bob");
    EXPECT_EQ(run.whoAmI, "bob_HOST");
    EXPECT_EQ(settings.read(setting::PrevUser), "bob");
    EXPECT_EQ(u->permissions().name, "Engineers");
    EXPECT_TRUE(u->permissions().flags.value("editDrawings"));
    EXPECT_FALSE(u->permissions().flags.value("DeleteEquipment"));
    EXPECT_FALSE(u->isAdministrator());
    EXPECT_TRUE(user.ui->atEnd());
}

// Log-in names compare exactly, on both engines: "admin" is refused while only "Admin"
// exists, and once added it is a user of its own beside "Admin". Admin has no password: any
// text logs in (no text at all: the users window below).
TEST_P(UsersTest, LoginNamesCompareExactly) {
    ScriptedUser user("button OK\n");
    EXPECT_EQ(users(user)->login("admin", ""), LoginOutcome::UnknownUser);
    EXPECT_EQ(run.whoAmI, "osuser_HOST");
    ASSERT_EQ(users(user)->addUser("admin", "lower", "Viewers"), UserChange::Done);
    auto lower = users(user);
    EXPECT_EQ(lower->login("admin", "lower"), LoginOutcome::LoggedIn);
    EXPECT_EQ(lower->user()->group, "Viewers");
    EXPECT_EQ(run.whoAmI, "admin_HOST");
    auto upper = users(user);
    EXPECT_EQ(upper->login("Admin", "'; drop table tblUsers; --"), LoginOutcome::LoggedIn);
    EXPECT_TRUE(upper->isAdministrator());
    EXPECT_TRUE(upper->allowed("catPClearLock"));  // an administrator's command
    EXPECT_EQ(run.whoAmI, "Admin_HOST");
    EXPECT_EQ(upper->users().size(), 2);
    EXPECT_TRUE(user.ui->atEnd());
}

// A password an older database kept as plain text is stored hashed at the first login that
// gives it; a wrong password changes nothing.
TEST_P(UsersTest, PlainPasswordIsHashedAtTheFirstLogin) {
    addPlain("old", "secret", "Engineers");
    ScriptedUser user("button OK\n");
    EXPECT_EQ(users(user)->login("old", "Secret"), LoginOutcome::WrongPassword);
    EXPECT_EQ(storedPassword("old").toString(), "secret");
    EXPECT_EQ(users(user)->login("old", "secret"), LoginOutcome::LoggedIn);
    const QString stored = storedPassword("old").toString();
    EXPECT_TRUE(stored.startsWith("$argon2")) << stored.toStdString();
    EXPECT_EQ(users(user)->login("old", "secret"), LoginOutcome::LoggedIn);
    EXPECT_EQ(storedPassword("old").toString(), stored);
    EXPECT_TRUE(user.ui->atEnd());
}

TEST_P(UsersTest, PermissionRowIsHeldForTheRun) {
    addPlain("vera", QVariant(), "Viewers");
    addPlain("lost", QVariant(), "NoSuchGroup");
    ScriptedUser user("button OK\nbutton OK\n");
    auto u = users(user);
    ASSERT_EQ(u->login("vera", ""), LoginOutcome::LoggedIn);

    for (const char* key : {"catDZoomIn", "catDPan", "mnuExit"})
        EXPECT_TRUE(u->allowed(key)) << key;
    EXPECT_FALSE(u->allowed("catDLine", true));  // quiet: no message
    // Clearing a lock needs a group that may do everything, though it names no column.
    EXPECT_FALSE(u->allowed("catPClearLock", true));
    EXPECT_TRUE(user.transcript.isEmpty());
    EXPECT_FALSE(u->allowed("catDLine"));
    EXPECT_EQ(user.lines().first().toStdString(),
              "MESSAGE [OK] Tolvane | Your Users Group does not permit this function");

    // Changes to the group take effect at the next login.
    sql("update tblpermissions set editDrawings = ? where GroupName = ?", {true, "Viewers"});
    EXPECT_FALSE(u->allowed("catDLine", true));
    auto next = users(user);
    ASSERT_EQ(next->login("vera", ""), LoginOutcome::LoggedIn);
    EXPECT_TRUE(next->allowed("catDLine"));

    // A group without a row is refused everything that needs a column.
    auto lost = users(user);
    ASSERT_EQ(lost->login("lost", ""), LoginOutcome::LoggedIn);
    EXPECT_TRUE(lost->permissions().flags.isEmpty());
    EXPECT_FALSE(lost->allowed("catRNew"));
    EXPECT_TRUE(lost->allowed("catDAll"));
    EXPECT_TRUE(user.ui->atEnd());

    // Single-user mode grants everything without a word, logged in or not.
    run.mode = DatabaseMode::SingleUser;
    ScriptedUser silent("");
    auto single = users(silent);
    for (const char* key : {"catDLine", "catDNew", "DeleteFromEquipLibrary", "catPClearLock"})
        EXPECT_TRUE(single->allowed(key)) << key;
    EXPECT_TRUE(lost->allowed("catRNew"));
    EXPECT_TRUE(single->isAdministrator());
    EXPECT_TRUE(silent.transcript.isEmpty());
}

TEST_P(UsersTest, AdministrationRefusesBadNamesAndKeepsAnAdministrator) {
    ScriptedUser user(QString("button OK\n").repeated(10));
    auto u = users(user);
    for (const auto& [name, group] : {std::pair{"", "Viewers"},
                                      {"   ", "Viewers"},
                                      {" ann", "Viewers"},
                                      {"Admin", "Viewers"},
                                      {"ann", "Nobody"}})
        EXPECT_EQ(u->addUser(name, "x", group), UserChange::Refused) << name << " " << group;
    EXPECT_EQ(user.lines().count(), 10);
    EXPECT_TRUE(user.transcript.contains(
        "MESSAGE [OK] Users and Permissions | The user name Admin is already in use."));
    EXPECT_EQ(u->users().size(), 1);

    // A quote is data like any other character.
    ASSERT_EQ(u->addUser("O'Brien", "it's", "Engineers"), UserChange::Done);
    ASSERT_EQ(u->addUser("ann", "", "Viewers"), UserChange::Done);
    EXPECT_EQ(u->addUser("O'Brien", "x", "Viewers"), UserChange::Refused);
    EXPECT_NE(storedPassword("O'Brien").toString(), "it's");
    EXPECT_TRUE(storedPassword("ann").isNull());
    QStringList listed;
    for (const auto& row : u->users())
        listed << row.name + "|" + row.group + "|" + (row.hasPassword() ? "pw" : "-");
    EXPECT_EQ(listed,
              (QStringList{"Admin|Administrators|-", "ann|Viewers|-", "O'Brien|Engineers|pw"}));
    {
        ScriptedUser other("button OK\n");
        auto login = users(other);
        EXPECT_EQ(login->login("O'Brien", "its"), LoginOutcome::WrongPassword);
        EXPECT_EQ(login->login("O'Brien", "it's"), LoginOutcome::LoggedIn);
    }

    // Passwords: a new one replaces the old; an empty one removes it.
    const int ann = keyOf("ann");
    u->setPassword(ann, "pw");
    EXPECT_TRUE(Users::passwordMatches(storedPassword("ann").toString(), "pw"));
    u->setPassword(ann, "");
    EXPECT_TRUE(storedPassword("ann").isNull());

    EXPECT_EQ(u->setGroup(ann, "Administrators"), UserChange::Done);
    EXPECT_EQ(u->setGroup(ann, "Nobody"), UserChange::Refused);
    EXPECT_EQ(u->users()[1].group, "Administrators");

    // Two administrators: one may go. The last one may not, neither by deletion, nor by a
    // change of group, nor by a permission taken from the group.
    EXPECT_EQ(u->deleteUser(ann), UserChange::Done);
    const int admin = keyOf("Admin");
    EXPECT_EQ(u->deleteUser(admin), UserChange::Refused);
    EXPECT_EQ(u->setGroup(admin, "Viewers"), UserChange::Refused);
    EXPECT_FALSE(u->setPermission("Administrators", "DeleteEquipment", false));
    EXPECT_EQ(u->users().size(), 2);
    EXPECT_EQ(u->users()[0].group, "Administrators");
    EXPECT_TRUE(u->groups()[0].flags.value("DeleteEquipment"));
    EXPECT_TRUE(user.transcript.contains("This change would leave no user who may administer"));

    EXPECT_TRUE(u->setPermission("Viewers", "EDITDRAWINGS", true));
    EXPECT_FALSE(u->setPermission("Viewers", "GroupName", true));
    EXPECT_FALSE(u->setPermission("Viewers", "editDrawings = 1 --", true));
    EXPECT_EQ(u->groupNames(), QStringList({"Administrators", "Engineers", "Viewers"}));
    EXPECT_TRUE(u->groups()[2].flags.value("editDrawings"));
    EXPECT_FALSE(u->groups()[2].flags.value("CreateDrawings"));
    EXPECT_TRUE(user.ui->atEnd());
}

TEST_P(UsersTest, LoginWindowLoopsAsTheStartupExpects) {
    addPlain("bob", "secret", "Engineers");
    {
        // First run: "Admin" is proposed; the close box without an attempt fails.
        ScriptedUser user("print txtUserName\nclose\n");
        user.ui->setHost(&host);
        auto u = users(user);
        EXPECT_EQ(runLogin(*user.ui, *u, settings), LoginResult::Failed);
        EXPECT_EQ(user.lines(), QStringList({"WINDOW frmLogin opened", "FIELD txtUserName = Admin",
                                             "WINDOW frmLogin closed"}));
    }
    settings.write(setting::PrevUser, "bob");
    {
        // A wrong password keeps the window open with the password selected and asks for
        // another try; an unknown name selects the name.
        ScriptedUser user("button OK\nbutton OK\n");
        auto u = users(user);
        LoginWindow window(*u, settings);
        auto* name = window.findChild<QLineEdit*>("txtUserName");
        auto* password = window.findChild<QLineEdit*>("txtPassword");
        EXPECT_EQ(name->text(), "bob");
        EXPECT_EQ(password->echoMode(), QLineEdit::Password);
        W::set(&window, "txtPassword", "nope");
        W::click(&window, "cmdOK");
        EXPECT_EQ(password->selectedText(), "nope");
        EXPECT_FALSE(window.loggedIn());
        EXPECT_TRUE(window.tryAgain());
        EXPECT_EQ(window.result(), 0);
        W::set(&window, "txtUserName", "bobby");
        W::click(&window, "cmdOK");
        EXPECT_EQ(name->selectedText(), "bobby");
        EXPECT_TRUE(user.ui->atEnd());
    }
    {
        ScriptedUser user(
            "set txtPassword nope\nclick cmdOK\nbutton OK\nclose\n"
            "set txtPassword nope\nclick cmdOK\nbutton OK\nclick cmdCancel\n"
            "set txtPassword secret\nclick cmdOK\n");
        user.ui->setHost(&host);
        auto u = users(user);
        EXPECT_EQ(runLogin(*user.ui, *u, settings), LoginResult::TryAgain);
        EXPECT_EQ(runLogin(*user.ui, *u, settings), LoginResult::Failed);
        EXPECT_FALSE(u->loggedIn());
        EXPECT_EQ(runLogin(*user.ui, *u, settings), LoginResult::LoggedIn);
        EXPECT_EQ(run.whoAmI, "bob_HOST");
        EXPECT_EQ(user.lines().last(), "WINDOW frmLogin closed");
        EXPECT_TRUE(user.ui->atEnd());
    }
}

TEST_P(UsersTest, UsersWindowAdministersAndIsReadOnlyForOthers) {
    ScriptedUser user("button OK\nbutton No\nbutton Yes\n");
    auto u = users(user);
    ASSERT_EQ(u->login("Admin", ""), LoginOutcome::LoggedIn);
    {
        UsersWindow window(*u, *user.ui);
        ASSERT_TRUE(window.editable());
        EXPECT_EQ(W::printGrid(&window, "grdUsers"),
                  QStringList({"COLUMNS User Name | Group", "ROW 1: Admin | Administrators"}));
        W::set(&window, "txtUserName", "eve");
        W::set(&window, "txtPassword", "pw");
        W::set(&window, "cboGroup", "Viewers");
        W::click(&window, "cmdAdd");
        EXPECT_TRUE(Users::passwordMatches(storedPassword("eve").toString(), "pw"));
        EXPECT_EQ(W::printField(&window, "txtPassword"), "FIELD txtPassword = ");
        // The new user is selected: its group and password can be set at once.
        W::set(&window, "cboGroup", "Engineers");
        W::click(&window, "cmdSetGroup");
        W::click(&window, "cmdSetPassword");  // empty: no password any more
        EXPECT_TRUE(storedPassword("eve").isNull());
        EXPECT_EQ(W::printGrid(&window, "grdUsers").last(), "ROW 2: eve | Engineers");

        W::selectRows(&window, "grdUsers", {1});
        EXPECT_EQ(W::printField(&window, "txtUserName"), "FIELD txtUserName = Admin");
        W::click(&window, "cmdDelete");  // asks first: No
        W::selectRows(&window, "grdUsers", {2});
        W::click(&window, "cmdDelete");
        EXPECT_EQ(u->users().size(), 1);

        W::editCell(&window, "grdPermissions", 3, "editDrawings", "1");
        EXPECT_TRUE(u->groups()[2].flags.value("editDrawings"));
        EXPECT_EQ(W::printGrid(&window, "grdPermissions")[3],
                  "ROW 3: Viewers | 0 | 1 | 0 | 0 | 0 | 0 | 0 | 0 | 0");
    }
    EXPECT_TRUE(user.ui->atEnd());
    EXPECT_EQ(user.lines(),
              QStringList({"MESSAGE [OK] Users and Permissions | eve now logs in without a "
                           "password.",
                           "ANSWER button OK",
                           "MESSAGE [Yes/No] Users and Permissions | "
                           "Delete the user Admin?",
                           "ANSWER button No",
                           "MESSAGE [Yes/No] Users and Permissions | Delete the user eve?",
                           "ANSWER button Yes"}));

    addPlain("vera", QVariant(), "Viewers");
    ScriptedUser viewer("");
    auto v = users(viewer);
    ASSERT_EQ(v->login("vera", ""), LoginOutcome::LoggedIn);
    UsersWindow window(*v, *viewer.ui);
    EXPECT_FALSE(window.editable());
    EXPECT_EQ(W::printGrid(&window, "grdUsers").size(), 3);
    EXPECT_THROW(W::click(&window, "cmdAdd"), DriverError);
    EXPECT_THROW(W::set(&window, "txtUserName", "x"), DriverError);
    EXPECT_THROW(W::editCell(&window, "grdPermissions", 3, "CreateDrawings", "1"), DriverError);
    EXPECT_FALSE(v->groups()[2].flags.value("CreateDrawings"));
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Engines, UsersTest, test::bothEngines(), test::engineName);
