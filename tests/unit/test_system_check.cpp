// The prerequisites check: the PostgreSQL driver counts only in shared mode, a missing SQLite
// driver fails in both, and the findings are shown at start-up only when something failed,
// from the menu always.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "script_fixture.h"
#include "shell/system_check.h"

using namespace tolvane;
using test::ScriptedUser;

namespace {

const QStringList kBoth = {"QSQLITE", "QPSQL"};
const QStringList kNoPostgres = {"QSQLITE"};

CheckFinding finding(const QVector<CheckFinding>& findings, const QString& component) {
    for (const CheckFinding& f : findings)
        if (f.component.startsWith(component)) return f;
    ADD_FAILURE() << "no finding for " << component.toStdString();
    return {};
}

}  // namespace

TEST(SystemCheck, ThePostgresDriverIsNeededOnlyInSharedMode) {
    QTemporaryDir home;
    const auto single = SystemCheck(home.path(), DatabaseMode::SingleUser, kNoPostgres).run();
    EXPECT_TRUE(finding(single, "PostgreSQL driver").passed);
    EXPECT_TRUE(SystemCheck::allPassed(single));
    EXPECT_TRUE(SystemCheck::report(single).contains(
        "PostgreSQL driver (shared mode): Not Found, not needed in single-user mode - None "
        "Required"));

    const auto shared = SystemCheck(home.path(), DatabaseMode::Shared, kNoPostgres).run();
    EXPECT_FALSE(finding(shared, "PostgreSQL driver").passed);
    EXPECT_FALSE(SystemCheck::allPassed(shared));
    EXPECT_TRUE(SystemCheck::report(shared).contains(
        "PostgreSQL driver (shared mode): Not Found - Action Required\r\n    Install the package "
        "libqt6sql6-psql."));
    EXPECT_TRUE(
        SystemCheck::allPassed(SystemCheck(home.path(), DatabaseMode::Shared, kBoth).run()));

    // Without the SQLite driver nothing runs, in either mode.
    for (DatabaseMode mode : {DatabaseMode::SingleUser, DatabaseMode::Shared}) {
        const auto none = SystemCheck(home.path(), mode, {"QPSQL"}).run();
        EXPECT_FALSE(finding(none, "SQLite driver").passed);
        EXPECT_FALSE(SystemCheck::allPassed(none));
    }
}

TEST(SystemCheck, StartUpIsSilentWhenEverythingPassesTheMenuAlwaysShows) {
    QTemporaryDir home;
    ScriptedUser user("button OK\nbutton OK\n");
    const SystemCheck single(home.path(), DatabaseMode::SingleUser, kNoPostgres);
    EXPECT_TRUE(single.runAndShow(*user.ui, SystemCheck::Show::WhenFailed));
    EXPECT_TRUE(user.lines().isEmpty());
    EXPECT_TRUE(single.runAndShow(*user.ui, SystemCheck::Show::Always));
    ASSERT_EQ(user.lines().size(), 2);
    EXPECT_TRUE(user.lines()[0].startsWith(
        "MESSAGE [OK] Tolvane | Tolvane found every component it relies on:"));
    const SystemCheck shared(home.path(), DatabaseMode::Shared, kNoPostgres);
    EXPECT_FALSE(shared.runAndShow(*user.ui, SystemCheck::Show::WhenFailed));
    EXPECT_TRUE(user.lines().value(2).contains("problems with the components"));
}
