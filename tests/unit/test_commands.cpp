// The command router and the command-line aliases.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "cad/cad_error.h"
#include "drawings/command_aliases.h"
#include "drawings/command_router.h"
#include "script_fixture.h"
#include "shell/command_table.h"
#include "shell/error_handler.h"
#include "shell/event_log.h"

using namespace tolvane;
using test::ScriptedUser;

namespace {
struct RouterFixture {
    explicit RouterFixture(const QString& script = {}) : user(script), handler(*user.ui, log) {
        handler.setEndProgram([this](int status) { ended = status; });
    }
    ScriptedUser user;
    EventLog log;
    ErrorHandler handler;
    CommandRouter router{*user.ui, handler};
    int ended = -1;
};
}  // namespace

TEST(CommandTable, KnowsEveryKeyOnceAndExactly) {
    QStringList keys;
    for (const CommandInfo& c : commandTable()) keys << QString::fromLatin1(c.key);
    // With catWDeletJF, catGResolveConflicts, catRWizard, catGBillOfMaterials, catPCheck,
    // catPTrace, catRExportCableSchedule, catPIssueRevision, catPCompareRevisions and the three
    // rack keys, run by their menu entries, and the report designer's own spellings, its page
    // number tool and four exports.
    EXPECT_EQ(keys.size(), 289);
    EXPECT_EQ(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
    EXPECT_NE(findCommand("catDLine"), nullptr);
    EXPECT_EQ(findCommand("catdline"), nullptr);
    EXPECT_EQ(findCommand("cat"), nullptr);
}

TEST(CommandRouter, ExactKeysOnlyAndPermissionFirst) {
    RouterFixture f;
    QStringList ran;
    f.router.setAction("catDLine", [&] { ran << "line"; });
    EXPECT_FALSE(f.router.setAction("catNoSuchKey", [] {}));
    f.router.route("catdline");
    f.router.route("catDLine ");
    EXPECT_TRUE(ran.isEmpty());
    f.router.route("catDLine");
    EXPECT_EQ(ran, QStringList({"line"}));

    f.router.setPermissionCheck([](const QString& key) { return key != "catDLine"; });
    f.router.route("catDLine");
    EXPECT_EQ(ran.size(), 1);
}

TEST(CommandRouter, KeysWithoutActionSaySoOrStayQuiet) {
    RouterFixture f;
    f.router.route("catWBuildJF");      // its action comes with a later module: said so
    f.router.route("catOSnapTangent");  // acts through the snap toolbar: nothing here
    EXPECT_EQ(f.user.lines(),
              QStringList({"STATUS Send Jackfield to Project (catWBuildJF) is not available in "
                           "this version yet",
                           "HISTORY Send Jackfield to Project (catWBuildJF) is not available in "
                           "this version yet"}));
    EXPECT_FALSE(f.router.available("catWBuildJF"));
    EXPECT_TRUE(f.router.available("catOSnapTangent"));
    EXPECT_FALSE(f.router.available("catNoSuchKey"));
}

TEST(CommandRouter, OnlyViewCommandsRunWhilePromptWaits) {
    // A command that asks for a point; while it waits, a second command is refused with a
    // beep and a view command runs.
    RouterFixture f("route catDCircle\nroute catWCascade\npoint 1,2\n");
    class Host : public test::QuietHost {
      public:
        explicit Host(CommandRouter& r) : r_(r) {}
        void route(const QString& key) override { r_.route(key); }
        CommandRouter& r_;
    } host(f.router);
    f.user.ui->setHost(&host);
    QStringList ran;
    f.router.setAction("catDLine", [&] {
        const PointAnswer a = f.user.ui->getPoint("Start point:");
        ran << (a.cancelled ? "cancelled" : formatPoint(a.point));
    });
    f.router.setAction("catDCircle", [&] { ran << "circle"; });
    f.router.setAction("catWCascade", [&] { ran << "cascade"; });
    f.router.route("catDLine");  // the script's lines arrive while it waits
    EXPECT_EQ(ran, QStringList({"cascade", "1,2"}));
    EXPECT_TRUE(f.user.transcript.contains("PROMPT Start point:\nBEEP\n"));
}

TEST(CommandRouter, FailingActionGoesToTheErrorHandler) {
    RouterFixture f("button No\n");
    f.router.setAction("catLEquipment", [] { throw AppError(3021, "No current record"); });
    f.router.route("catLEquipment");
    EXPECT_EQ(f.ended, 1);
    EXPECT_TRUE(f.user.transcript.contains("In module <catLEquipment>"));
}

// A failed drawing operation is a line on the command line, not a program error; a job the
// user cancelled leaves no line at all, and unknown codes show the operation's own text.
TEST(CommandRouter, DrawingErrorsGoToTheCommandLine) {
    RouterFixture f;
    for (const cad::CadError& error :
         {cad::CadError(cad::NoExtents, "Zoom"), cad::CadError(cad::JobCancelled, "Zoom"),
          cad::CadError(777, "Open", "Disk full")}) {
        f.router.setAction("catDExtents", [error] { throw error; });
        f.router.route("catDExtents");
    }
    EXPECT_EQ(f.ended, -1);
    EXPECT_TRUE(f.user.transcript.contains("Error in [Zoom] : There are no extents!"));
    EXPECT_TRUE(f.user.transcript.contains("Error in [Open] : Disk full"));
    EXPECT_FALSE(f.user.transcript.contains("cancelled"));
}

TEST(CommandAliases, DefaultsShadowLaterAliases) {
    CommandAliases a;
    EXPECT_EQ(a.match("DP")->action, "catDPline");  // the point command is unreachable
    EXPECT_EQ(a.match("MD")->action, "catDErase");
    EXPECT_EQ(a.match("MDA")->action, "catDExplode");  // only if typed at once
    // "vp" is stored as it stands, and typed text is upper-cased: it never matches.
    EXPECT_FALSE(a.match("VP").has_value());
    EXPECT_FALSE(a.match("OSE").has_value());  // in the table, never tested
    EXPECT_EQ(a.match("TBC")->action, "TLB:frmCommandLine");
    EXPECT_EQ(a.entries().size(), 83);
}

TEST(CommandAliases, UserFileOverridesByExactName) {
    QTemporaryDir dir;
    const QString path = dir.filePath("User.ks");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        "' my shortcuts\r\n"
        "CMD_POINT,po\r\n"
        "CMD_PLINE,PL\r\n"
        "cmd_line,XX\r\n"
        "NOT_A_COMMAND,ZZ\r\n"
        "CMD_TEXT\r\n"
        "'CMD_CIRCLE,C\r\n");
    f.close();
    CommandAliases a;
    ASSERT_TRUE(a.loadUserFile(path));
    EXPECT_EQ(a.match("PO")->action, "catDPoint");
    EXPECT_EQ(a.match("DP")->action, "catDPoint");  // "DP" left with the point command now
    EXPECT_EQ(a.match("PL")->action, "catDPline");
    EXPECT_EQ(a.match("DL")->action, "catDLine");  // names compare exactly
    EXPECT_FALSE(a.match("XX").has_value());
    EXPECT_EQ(a.match("DT")->action, "catDText");
    EXPECT_EQ(a.match("DCC")->action, "catDCircle");

    EXPECT_TRUE(a.loadUserFile(dir.filePath("missing.ks")));  // defaults stay, no failure
    QDir().mkpath(dir.filePath("folder.ks"));
    EXPECT_FALSE(a.loadUserFile(dir.filePath("folder.ks")));
}
