// Running commands in fresh processes and reading what they print: the benchmarks that time a
// load or an open as a user waits for it, and ezdxf reading the same file as a yardstick.
#pragma once

#include <QString>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

namespace bench {

// Runs a shell command and returns its standard output; *status is pclose's.
inline std::string runCommand(const std::string& command, int* status) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) {
        *status = -1;
        return out;
    }
    char buf[4096];
    size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    *status = pclose(p);
    return out;
}

inline std::string shellQuote(const QString& s) {
    std::string q = "'";
    for (char c : s.toStdString()) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

// ezdxf reading `file` in a fresh interpreter, as it times itself (interpreter start and
// import left out): wall and CPU seconds; nothing, with what it printed in *error, when it
// fails.
inline std::optional<std::pair<double, double>> ezdxfReadSeconds(const std::string& python,
                                                                 const QString& file,
                                                                 QString* error) {
    const std::string command =
        python +
        " -c \"import ezdxf,time,sys; t=time.perf_counter(); c=time.process_time(); "
        "ezdxf.readfile(sys.argv[1]); print(time.perf_counter()-t, time.process_time()-c)\" " +
        shellQuote(file) + " 2>&1";
    int status = 0;
    const std::string out = runCommand(command, &status);
    double seconds = 0, cpuSeconds = 0;
    if (status != 0 || std::sscanf(out.c_str(), "%lf %lf", &seconds, &cpuSeconds) != 2) {
        if (error) *error = QString::fromStdString(out).trimmed().right(300);
        return std::nullopt;
    }
    return std::make_pair(seconds, cpuSeconds);
}

}  // namespace bench
