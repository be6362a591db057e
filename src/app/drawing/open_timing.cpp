#include "app/drawing/open_timing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace tolvane::open_timing {

namespace {

struct Clock {
    bool on = qEnvironmentVariableIsSet("TOLVANE_TIME_OPEN");
    QElapsedTimer since;
    double paintMs = -1;
    long long residentBefore = -1;
    long long residentPainted = -1;
    bool reported = false;
    std::vector<std::pair<const char*, double>> steps;  // the first time each was reached
};

Clock& clock() {
    static Clock c;
    return c;
}

double elapsedMs() {
    return double(clock().since.nsecsElapsed()) / 1e6;
}

long long residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

}  // namespace

void started() {
    Clock& c = clock();
    if (!c.on || c.since.isValid()) return;
    c.residentBefore = residentKb();
    c.since.start();
}

void reached(const char* step) {
    Clock& c = clock();
    if (!c.on || !c.since.isValid() || c.paintMs >= 0) return;
    for (const auto& [name, ms] : c.steps)
        if (std::strcmp(name, step) == 0) return;
    c.steps.emplace_back(step, elapsedMs());
}

void painted() {
    Clock& c = clock();
    if (c.on && c.since.isValid() && c.paintMs < 0) {
        c.paintMs = elapsedMs();
        c.residentPainted = residentKb();
    }
}

void indexed() {
    Clock& c = clock();
    if (!c.on || c.paintMs < 0 || c.reported) return;
    c.reported = true;
    std::fprintf(stderr,
                 "OPEN first-paint %.1f index %.1f resident %lld before %lld painted %lld\n",
                 c.paintMs, elapsedMs(), residentKb(), c.residentBefore, c.residentPainted);
    std::fprintf(stderr, "OPEN steps");
    for (const auto& [name, ms] : c.steps) std::fprintf(stderr, " %s %.1f", name, ms);
    std::fprintf(stderr, "\n");
    std::fflush(stderr);
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
}

}  // namespace tolvane::open_timing
