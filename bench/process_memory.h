// The memory of the benchmark's own process, from /proc/self/status.
#pragma once

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace bench {

// A "VmRSS:" (resident now) or "VmHWM:" (peak resident) line, in kB; -1 when absent.
inline long long statusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return std::atoll(line.c_str() + std::strlen(key));
    return -1;
}

// Starts the peak ("VmHWM:") again from what is resident now.
inline void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

}  // namespace bench
