// The spatial index of a large wiring sheet (wiring_sheet.h): the time of a build and the
// heap it keeps per entity, then what a window does on opening the sheet: the build started
// on another thread after the first paint, and a pick issued right away, which waits for the
// build at most as long as the drawing view does before it searches the space whole, and the
// longest turn the build then takes on the window's thread until it is ready; then picks
// through the ready index at cable ends and at random points of the sheet, with the
// candidates whose boxes they met. Prints the figures as a table (medians of the runs).
//
// Options: --entities=N (default 100000, several allowed: --entities=100000,1000000),
// --runs=N (default 3).

#include <malloc.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench_help.h"
#include "cad/document.h"
#include "cad/picking.h"
#include "cad/render.h"
#include "cad/spatial_index.h"
#include "wiring_sheet.h"

namespace cad = tolvane::cad;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

long long heapBytes() {
    malloc_trim(0);
    const struct mallinfo2 m = mallinfo2();
    return (long long)(m.uordblks + m.hblkhd);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// As long as the drawing view lets a pick wait for an index being built, and gives the build
// at a time.
constexpr int kPickWait = 5;
constexpr int kTurn = 10;

struct Figures {
    int entities = 0;
    double buildMs = 0, bytesPerEntity = 0, snapshotMs = 0, backgroundMs = 0, pickWaitMs = 0;
    double extentsMs = 0, extentsPassMs = 0;
    double longestTurnMs = 0;
    double pickUs = 0, candidates = 0;  // a pick through the ready index
    bool pickFromScan = false;
};

Figures measure(int entities, int runs) {
    Figures f;
    bench::BuildCounts counts;
    const cad::Document doc = bench::buildDrawing(entities, &counts);
    const cad::Space& space = doc.modelSpace();
    f.entities = int(space.entities.size());
    // Picks at cable ends, where a user clicks.
    std::vector<QPointF> probes;
    for (const cad::Entity& e : space.entities) {
        if (e.kind == cad::EntityKind::Polyline && !e.vertices.isEmpty())
            probes.push_back(e.vertices.front().pos);
        if (probes.size() >= 64) break;
    }
    std::mt19937 random(3);
    std::vector<double> build, bytes, snapshot, extents, extentsPass, background, wait, pickUs;
    double candidates = 0;
    int picks = 0;
    double longestTurn = 0;
    for (int run = 0; run < runs; ++run) {
        {
            const long long before = heapBytes();
            const auto t0 = Clock::now();
            cad::SpatialIndex index;
            index.build(doc, space);
            build.push_back(msSince(t0));
            bytes.push_back(double(heapBytes() - before) / f.entities);
        }
        cad::SpatialIndex index;
        index.buildLater(doc, space);
        auto t0 = Clock::now();
        index.startBuilding();
        snapshot.push_back(msSince(t0));
        // The first paint's extents: the build takes every entity in for them.
        t0 = Clock::now();
        const cad::BBox taken = cad::spaceExtents(doc, space, &index);
        extents.push_back(msSince(t0));
        // What the extents cost as a pass of their own (as they were before).
        t0 = Clock::now();
        const cad::BBox passed = cad::spaceExtents(doc, space);
        extentsPass.push_back(msSince(t0));
        if (taken.x0 != passed.x0 || taken.y0 != passed.y0 || taken.x1 != passed.x1 ||
            taken.y1 != passed.y1)
            std::fprintf(stderr, "the extents taken differ from a pass's\n");
        // A pick right after: as the view makes it.
        const QPointF at = probes.empty() ? QPointF() : probes[random() % probes.size()];
        t0 = Clock::now();
        cad::PickResult hit;
        if (index.readyWithin(kPickWait) || index.searchableNow()) {
            hit = cad::pointSearch(doc, space, index, at, 0.5);
        } else {
            hit = cad::pointSearch(doc, space, at, 0.5);
            f.pickFromScan = true;
        }
        wait.push_back(msSince(t0));
        if (!hit.found()) std::fprintf(stderr, "pick at a cable end found nothing\n");
        // Then as the view gives the build its turns, until it is taken in.
        while (true) {
            const auto turn = Clock::now();
            const bool ready = index.readyWithin(kTurn);
            longestTurn = std::max(longestTurn, msSince(turn));
            if (ready) break;
        }
        background.push_back(msSince(t0) + snapshot.back());
        // Picks through the ready index: at cable ends and anywhere on the sheet.
        const cad::BBox all = index.bounds();
        std::uniform_real_distribution<double> x(all.x0, all.x1), y(all.y0, all.y1);
        for (int k = 0; k < 2000; ++k) {
            const QPointF p = k % 2 && !probes.empty() ? probes[random() % probes.size()]
                                                       : QPointF(x(random), y(random));
            cad::PickStats stats;
            const auto t = Clock::now();
            cad::pointSearch(doc, space, index, p, 0.5, &stats);
            pickUs.push_back(msSince(t) * 1000.0);
            candidates += stats.candidates;
            ++picks;
        }
    }
    f.buildMs = median(build);
    f.bytesPerEntity = median(bytes);
    f.snapshotMs = median(snapshot);
    f.extentsMs = median(extents);
    f.extentsPassMs = median(extentsPass);
    f.backgroundMs = median(background);
    f.pickWaitMs = *std::max_element(wait.begin(), wait.end());
    f.longestTurnMs = longestTurn;
    f.pickUs = median(pickUs);
    f.candidates = picks ? candidates / picks : 0;
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    if (bench::helpAsked(
            argc, argv,
            "The spatial index of the wiring sheet: build time and heap per entity, and\n"
            "what a window does on opening it: the build started, the first paint's\n"
            "extents (taking every entity in; beside it, the same extents by a pass of\n"
            "their own, as before), the build on another thread after the first paint,\n"
            "a pick issued right away, the longest turn on the window's\n"
            "thread, the time until the index is ready, and a pick through the ready\n"
            "index with the candidates it met (medians of the runs).\n",
            "  --entities=N[,M...]  sizes of the sheet (default 100000)\n"
            "  --runs=N             runs per figure (default 3)\n"))
        return 0;
    QCoreApplication app(argc, argv);
    std::vector<int> sizes;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--entities=", 0) == 0) {
            for (const QString& n : QString::fromStdString(a.substr(11)).split(','))
                sizes.push_back(n.toInt());
        } else if (a.rfind("--runs=", 0) == 0) {
            runs = std::max(1, std::atoi(a.c_str() + 7));
        }
    }
    if (sizes.empty()) sizes.push_back(100000);
    std::printf("%10s %10s %10s %10s %11s %10s %14s %12s %14s %10s %10s %s\n", "entities",
                "build_ms", "bytes/ent", "start_ms", "extents_ms", "pass_ms", "background_ms",
                "turn_ms", "pick_wait_ms", "pick_us", "candidates", "first pick");
    for (int n : sizes) {
        const Figures f = measure(n, runs);
        std::printf(
            "%10d %10.0f %10.0f %10.1f %11.1f %10.1f %14.0f %12.1f %14.1f %10.1f %10.1f %s\n",
            f.entities, f.buildMs, f.bytesPerEntity, f.snapshotMs, f.extentsMs, f.extentsPassMs,
            f.backgroundMs, f.longestTurnMs, f.pickWaitMs, f.pickUs, f.candidates,
            f.pickFromScan ? "space searched whole" : "through the index");
        std::fflush(stdout);
    }
    return 0;
}
