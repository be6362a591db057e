// The program's command line.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "shell/command_line.h"

using namespace tolvane;

// Log mode only for the whole word "log"; files by the upper-cased last four characters. The
// message for a DWG file is the argument_dwg scenario.
TEST(ProgramArgument, LogModeAndFilesByTheirEnding) {
    const auto kind = [](std::initializer_list<const char*> arguments, ArgumentKind kind) {
        for (const char* a : arguments) EXPECT_EQ(classifyArgument(a), kind) << '"' << a << '"';
    };
    kind({"log"}, ArgumentKind::Log);
    kind({""}, ArgumentKind::None);
    kind({"LOG", "log ", "dxf", "notes.dxf.txt"}, ArgumentKind::Unknown);
    kind({"/x/Site Plan.dxf", "a.DxF"}, ArgumentKind::Drawing);
    kind({"old.dwg", "old.VDF"}, ArgumentKind::UnsupportedDrawing);
    kind({"bom.rpx"}, ArgumentKind::Report);
}

TEST(ProgramOptions, OptionsAndTheOneArgument) {
    auto o = parseProgramOptions({"--home", "/h", "--batch", "-", "Site", "Plan.dxf"});
    EXPECT_TRUE(o.error.isEmpty());
    EXPECT_EQ(o.home, "/h");
    EXPECT_TRUE(o.batch);
    EXPECT_EQ(o.batchFile, "-");
    EXPECT_EQ(o.argument, "Site Plan.dxf");  // the whole argument string is one value
    EXPECT_FALSE(parseProgramOptions({"--frob"}).error.isEmpty());
    EXPECT_FALSE(parseProgramOptions({"--batch"}).error.isEmpty());
    EXPECT_EQ(parseProgramOptions({"--home=/x", "log"}).home, "/x");
    const auto merge = parseProgramOptions({"--merge", "equipment", "new lib.db"});
    EXPECT_EQ(merge.mergeKind, "EQUIPMENT");
    EXPECT_EQ(merge.mergeFile, "new lib.db");
    EXPECT_TRUE(merge.error.isEmpty());
    EXPECT_FALSE(parseProgramOptions({"--merge", "project", "p.db"}).error.isEmpty());
    EXPECT_FALSE(parseProgramOptions({"--merge", "pm"}).error.isEmpty());
}

TEST(ProgramArgument, RelativePathsBecomeAbsoluteAndCanonical) {
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("a/b"));
    QFile f(dir.filePath("a/plan.dxf"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    QFile::link(dir.filePath("a"), dir.filePath("link"));
    const QString saved = QDir::currentPath();
    QDir::setCurrent(dir.filePath("a/b"));
    EXPECT_EQ(normalisePath("../plan.dxf"),
              QFileInfo(dir.filePath("a/plan.dxf")).canonicalFilePath());
    EXPECT_EQ(normalisePath(dir.filePath("link/b/../plan.dxf")),
              QFileInfo(dir.filePath("a/plan.dxf")).canonicalFilePath());
    // A file that does not exist yet still gets an absolute, clean path.
    EXPECT_EQ(normalisePath("missing/../new.dxf"), QDir::currentPath() + "/new.dxf");
    QDir::setCurrent(saved);
}
