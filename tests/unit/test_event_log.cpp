// The event log and the master error handler.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "script_fixture.h"
#include "shell/error_handler.h"
#include "shell/event_log.h"

using namespace tolvane;
using test::ScriptedUser;

namespace {
QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
struct ProgramEnded {
    int status;
};
}  // namespace

TEST(EventLog, CreatesThenAppendsLinesEndedByCrLf) {
    QTemporaryDir dir;
    EventLog log(dir.path(), true);
    log.log("first line");
    EXPECT_EQ(readAll(log.path()), "first line\r\n");
    log.log(QString::fromUtf8("Zoë's drawing"));
    EXPECT_EQ(readAll(log.path()), QByteArray("first line\r\n") + "Zo\xc3\xab's drawing\r\n");
}

TEST(EventLog, UnwritableLogIsReportedOnceThenSilent) {
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(EventLog::fileName()));  // a folder in the file's place
    EventLog log(dir.path(), true);
    int failures = 0;
    AppError last(0, {});
    log.setFailureHandler([&](const AppError& e) {
        ++failures;
        last = e;
        log.log("the handler's own line fails too");
    });
    log.log("a");
    log.log("b");
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(last.number(), err::kPathFileAccess);
    EXPECT_FALSE(log.enabled());
}

// The five lines of the message are in the error_handler scenario; the log line is checked
// here.
TEST(ErrorHandler, YesClosesTheMainWindowThenEndsNoEndsAtOnce) {
    QTemporaryDir dir;
    for (const char* answer : {"Yes", "No"}) {
        ScriptedUser user(QStringLiteral("button %1\n").arg(answer));
        EventLog log(dir.path(), true);
        ErrorHandler handler(*user.ui, log);
        bool closed = false;
        handler.setCloseMainWindow([&] { return closed = true; });
        handler.setEndProgram([](int status) { throw ProgramEnded{status}; });
        try {
            handler.handle(AppError(53, "File not found"), "LoadBlock");
            FAIL() << "the program should have ended";
        } catch (const ProgramEnded& end) {
            EXPECT_EQ(end.status, 1);
        }
        EXPECT_EQ(closed, QLatin1String(answer) == "Yes");
        EXPECT_TRUE(user.lines().first().startsWith("MESSAGE [Yes/No] Tolvane | Error #: 53 \\n"));
    }
    EXPECT_EQ(readAll(dir.filePath(EventLog::fileName())),
              QByteArray("Error #: 53 File not found In module <LoadBlock>\r\n").repeated(2));
}

// Yes closes the main window; outside batch runs the program goes on when the failure asks to
// keep running, or when a Cancel on a drawing's save question kept the window open: it must
// not end under the user's unsaved work. A batch run ends all the same.
TEST(ErrorHandler, YesOutsideBatchKeepsRunningWhenAskedOrWhenTheWindowStays) {
    QTemporaryDir dir;
    EventLog log(dir.path(), false);
    const struct {
        bool keepRunning, windowCloses, batch;
        int ended;
    } cases[] = {{true, true, false, 0},
                 {true, true, true, 1},
                 {false, false, false, 0},
                 {false, false, true, 1}};
    for (const auto& c : cases) {
        ScriptedUser user("button Yes\n");
        ErrorHandler handler(*user.ui, log);
        handler.setBatch(c.batch);
        int ended = 0, closed = 0;
        handler.setCloseMainWindow([&] {
            ++closed;
            return c.windowCloses;
        });
        handler.setEndProgram([&](int) { ++ended; });
        handler.handle(AppError(75, "Path/File access error"), "EventLogger", c.keepRunning);
        EXPECT_EQ(closed, 1);
        EXPECT_EQ(ended, c.ended) << c.keepRunning << c.windowCloses << c.batch;
    }
}

TEST(ErrorHandler, GuardTurnsExceptionsIntoReports) {
    QTemporaryDir dir;
    ScriptedUser user("button No\n");
    EventLog log(dir.path(), false);
    ErrorHandler handler(*user.ui, log);
    int status = -1;
    handler.setEndProgram([&](int s) { status = s; });
    runGuarded(&handler, "Form_Load", [] { throw std::runtime_error("vector::at"); });
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(user.transcript.contains("Error #: 51 \\nvector::at\\nIn module <Form_Load>"));
}

// A write the disk refused ends the action, not the program, in batch runs as well.
TEST(ErrorHandler, AFailureThatEndsOnlyTheActionIsToldAndTheProgramGoesOn) {
    class Refused : public AppError {
      public:
        Refused() : AppError(3001, "The project database could not be written: disk full.") {
            setEndsActionOnly();
        }
    };
    QTemporaryDir dir;
    for (const bool batch : {false, true}) {
        ScriptedUser user("button OK\n");
        EventLog log(dir.path(), true);
        ErrorHandler handler(*user.ui, log);
        handler.setBatch(batch);
        int status = -1;
        handler.setEndProgram([&](int s) { status = s; });
        runGuarded(&handler, "tvwProject_DblClick", [] { throw Refused(); });
        EXPECT_EQ(status, -1);
        EXPECT_TRUE(user.transcript.contains(
            "MESSAGE [OK] Tolvane | The project database could not be written: disk full."));
        EXPECT_FALSE(user.transcript.contains("cannot continue"));
    }
}

TEST(ErrorHandler, AWindowWithoutAHandlerLetsTheFailureReachItsCaller) {
    EXPECT_THROW(runGuarded(nullptr, "cmdAdd_Click", [] { throw std::runtime_error("no table"); }),
                 std::runtime_error);
}
