// The start-up sequence: first and second start, identity fallbacks, failures that end it.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "script_fixture.h"
#include "shell/event_log.h"
#include "shell/run_state.h"
#include "shell/settings_store.h"
#include "shell/startup.h"

using namespace tolvane;
using test::ScriptedUser;

namespace {

Environment fakeEnvironment(QString user = "ada", QString computer = "studio4") {
    Environment e;
    e.userName = [user] { return user; };
    e.computerName = [computer] { return computer; };
    e.environmentStrings = [] { return QStringList{"A=1", "B=2", "", "HIDDEN=3"}; };
    e.findCalculator = [] { return QStringLiteral("/usr/bin/gnome-calculator"); };
    e.systemFolder = [] { return QStringLiteral("/usr/bin"); };
    return e;
}

struct Installation {
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath("config.ini")};
    EventLog log{dir.path(), false};
    RunState run;
    Installation() { run.appPath = dir.path(); }

    Startup::Result start(ScriptedUser& user, const StartupHooks& hooks = {},
                          Environment env = fakeEnvironment()) {
        Startup s(run, settings, log, *user.ui, std::move(env));
        const auto result = s.run(hooks);
        if (result == Startup::Result::Continue) s.timerTick(hooks);
        return result;
    }
};

}  // namespace

// The settings a first start writes, the counters of later starts and the start-up lines as a
// real start shows them are in the first_start and second_start scenarios.
TEST(Startup, FirstStartAsksForTheAssociationAndSetsTheRunUp) {
    Installation inst;
    ScriptedUser first("button Yes\n");
    int associations = 0;
    StartupHooks hooks;
    hooks.registerAssociation = [&] {
        ++associations;
        return true;
    };
    ASSERT_EQ(inst.start(first, hooks), Startup::Result::Continue);
    EXPECT_EQ(associations, 1);
    EXPECT_EQ(inst.settings.read(setting::Calc), "/usr/bin/gnome-calculator");
    EXPECT_EQ(inst.run.appPath, inst.dir.path() + "/");
    EXPECT_EQ(inst.run.whoAmI, "ada_studio4");
    EXPECT_EQ(inst.run.userId, 1);
    EXPECT_EQ(first.lines(), QStringList({
                                 "STATUS Running System Validator",
                                 "MESSAGE [Yes/No] Tolvane | " + Startup::associationQuestion(),
                                 "ANSWER button Yes",
                                 "STATUS Checking Environment Variables",
                                 "STATUS Loading Language - English",
                                 "STATUS Loading Keyboard Commands",
                                 "STATUS Loading Tolvane Forms",
                                 "STATUS Loading Project Manager Dialog",
                             }));
}

TEST(Startup, IdentityFallsBackWhenNamesCannotBeRead) {
    Installation inst;
    ScriptedUser user("button No\n");
    inst.start(user, {}, fakeEnvironment("", "studio4"));
    EXPECT_EQ(inst.run.whoAmI, "DEFAULT_studio4");
    ScriptedUser again("");
    inst.start(again, {}, fakeEnvironment("ada", ""));
    EXPECT_EQ(inst.run.whoAmI, "ada_MyComp");
}

TEST(Startup, AGarbledCounterStartsAgainFromOne) {
    Installation inst;
    inst.settings.write(setting::AssocDwg, "1");
    inst.settings.write(setting::AppCounter, "many");
    ScriptedUser user("");
    inst.start(user);
    EXPECT_EQ(inst.settings.read(setting::AppCounter), "1");
}

// The header's other lines, and the message before it, are in the log_mode scenario.
TEST(Startup, LogModeHeaderListsTheEnvironmentUpToItsFirstEmptyString) {
    Installation inst;
    inst.run.logMode = true;
    inst.log.setEnabled(true);
    inst.settings.write(setting::AssocDwg, "1");
    ScriptedUser user("button OK\n");
    inst.start(user);
    QFile f(inst.log.path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split("\r\n");
    EXPECT_EQ(lines.mid(2, 4),
              QStringList({"Environment Variables", "A=1", "B=2", "Running System Validator"}));
}

// A settings file that cannot store the UID ends the start: the settings_unwritable scenario.
TEST(Startup, KeyboardShortcutsThatCannotBeLoadedFallBackToTheDefaults) {
    Installation inst;
    inst.settings.write(setting::AssocDwg, "1");
    ScriptedUser degraded("button OK\n");
    bool mainWindow = false;
    StartupHooks hooks;
    hooks.loadKeyboardShortcuts = [] { return false; };
    hooks.loadMainWindow = [&] { mainWindow = true; };
    EXPECT_EQ(inst.start(degraded, hooks), Startup::Result::Continue);
    EXPECT_TRUE(mainWindow);
    EXPECT_TRUE(degraded.transcript.contains(
        "STATUS Failed to Load Keyboard Commands. Using Defaults\n"
        "MESSAGE [OK] Tolvane | Unable to load the keyboard shortcuts. Using defaults\n"));
}
