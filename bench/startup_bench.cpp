// Start-up time of the whole program, measured as a user sees it: from starting the process
// to the main window shown, and to the end of a batch run of an empty script. Each run is a
// second start of a prepared installation (the first start asks its one-time question).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_help.h"

extern char** environ;

namespace {

int runTolvane(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(TOLVANE_BINARY));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawn(&pid, TOLVANE_BINARY, &actions, nullptr, argv.data(), environ) != 0) return -1;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Installation {
    QTemporaryDir dir;
    std::string home, empty, first;
    Installation() {
        home = dir.filePath("home").toStdString();
        qputenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit());
        qputenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QFile e(dir.filePath("empty.scr"));
        e.open(QIODevice::WriteOnly);
        e.close();
        QFile f(dir.filePath("first.scr"));
        f.open(QIODevice::WriteOnly);
        // The first start asks its one question; the getting-started window is told not to
        // come back, as a user who has seen it would.
        f.write("button No\nset chkDontShow 1\nclick cmdCancel\n");
        f.close();
        empty = e.fileName().toStdString();
        first = f.fileName().toStdString();
        runTolvane({"--home", home, "--batch", first});
    }
};

void BM_StartToMainWindowShown(benchmark::State& state) {
    Installation inst;
    qputenv("TOLVANE_QUIT_WHEN_SHOWN", "1");
    for (auto _ : state)
        if (runTolvane({"--home", inst.home}) != 0) state.SkipWithError("tolvane failed");
    qunsetenv("TOLVANE_QUIT_WHEN_SHOWN");
}
BENCHMARK(BM_StartToMainWindowShown)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_BatchEmptyScript(benchmark::State& state) {
    Installation inst;
    for (auto _ : state)
        if (runTolvane({"--home", inst.home, "--batch", inst.empty}) != 0)
            state.SkipWithError("tolvane failed");
}
BENCHMARK(BM_BatchEmptyScript)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    if (bench::helpAsked(
            argc, argv,
            "Start-up time of the whole program: from starting the process to the main window\n"
            "shown (offscreen), and to the end of a batch run of an empty script.\n",
            bench::kGoogleBenchmarkOptions))
        return 0;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
