// Every benchmark program answers --help (or -h) with what it measures and the options it
// takes, and exits 0 without running anything.
#pragma once

#include <cstdio>
#include <cstring>

namespace bench {

// Appended to the help of the programs built on Google Benchmark.
inline constexpr const char* kGoogleBenchmarkOptions =
    "Google Benchmark's own options apply as well, among them --benchmark_filter=REGEX,\n"
    "--benchmark_repetitions=N, --benchmark_min_time=Ns, --benchmark_format=console|json|csv\n"
    "and --benchmark_out=FILE (--benchmark_list_tests lists the cases). Its Time column is\n"
    "wall time; its CPU column is the user+system time of the thread that runs the case, or of\n"
    "the whole process over all its threads where the case says so.\n";

// Whether the arguments ask for help; when they do, `what` and `options` have been printed.
inline bool helpAsked(int argc, char** argv, const char* what, const char* options = nullptr) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") != 0 && std::strcmp(argv[i], "-h") != 0) continue;
        std::printf("usage: %s [options]\n\n%s\n", argv[0], what);
        if (options) std::printf("Options:\n%s", options);
        return true;
    }
    return false;
}

}  // namespace bench
