// DXF save and load of a large wiring drawing shaped like a real schematic (see
// wiring_sheet.h: wires, cable polylines with extended data, equipment inserts with attributes
// and extended data, texts), built through cad::Document. Measures saveDxf and loadDxf times,
// the file size, the load time, resident memory and peak of loading the file in fresh
// processes, the load time of the same file by ezdxf (Debian's python3-ezdxf) in as many fresh
// interpreters, and the time to render the drawing into a 1920x1080 image, zoomed to its
// extents and zoomed in on its middle. Prints the figures as a table at the end (medians of
// the runs); save, load in this process and render also run as Google Benchmark cases.
//
// A load is measured in a fresh process because that is what a user waits for: a heap
// reused from an earlier load hides the page faults of a first one.
//
// Options (besides Google Benchmark's own): --entities=N (default 100000), --runs=N (fresh
// loads and ezdxf reads, default 5), --no-ezdxf (ezdxf takes minutes on a million entities),
// --python=PATH (default /usr/bin/python3), --keep=PATH (also copy the file there), --binary
// (the file is binary DXF).
// Internal: --measure-load FILE loads the file in this fresh process and prints its time,
// resident set growth and peak, and the time of its first handle look-up.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "bench_help.h"
#include "cad/document.h"
#include "cad/dxf.h"
#include "cad/heap_pages.h"
#include "cad/picking.h"
#include "cad/render.h"
#include "cad/spatial_index.h"
#include "cad/view.h"
#include "fresh_runs.h"
#include "wiring_sheet.h"

namespace cad = tolvane::cad;

namespace {

using Clock = std::chrono::steady_clock;
using bench::BuildCounts;
using bench::buildDrawing;
using bench::kApp;
using bench::kBlocks;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Processor time of this process so far (user and system), in milliseconds: on a shared
// machine the wall time of a run also counts other processes.
double cpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// Resident set size in bytes, from /proc/self/statm (second field, in pages).
long long residentBytes() {
    std::ifstream in("/proc/self/statm");
    long long size = 0, resident = 0;
    in >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// Peak resident set size in bytes (VmHWM of /proc/self/status).
long long peakResidentBytes() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::atoll(line.c_str() + 6) * 1024;
    }
    return -1;
}

// Resident set size after handing freed heap memory back to the system.
long long trimmedResidentBytes() {
    malloc_trim(0);
    return residentBytes();
}

struct Results {
    int entities = 100000;
    BuildCounts counts;
    double buildMs = 0;
    long long buildRss = 0;
    long long fileBytes = 0;
    int runs = 5;
    bool ezdxf = true;
    std::vector<double> saveMs;
    // The save's two parts, each alone: the DXF made in memory, and its check read back.
    std::vector<double> writeMs, checkMs;
    std::vector<double> loadMs;  // in this process
    // Loads in fresh processes: time, resident set growth kept after the load (as it is, and
    // after malloc_trim) and the peak growth during it; then the first look-up of a handle (it
    // enters every handle of the drawing, as a user's first pick does).
    std::vector<double> freshMs, freshCpuMs, freshRss, freshRssTrimmed, freshPeak, freshFindMs;
    QString freshError;
    std::vector<double> ezdxfMs, ezdxfCpuMs;
    QString ezdxfError;
    QString roundTrip;
    // Rendering into a 1920x1080 image: [0] zoomed to the extents, [1] zoomed in.
    double renderBestMs[2] = {1e300, 1e300};
    double renderSumMs[2] = {0, 0};
    int renderRuns[2] = {0, 0};
    int renderEntities[2] = {0, 0};
    int renderTexts[2] = {0, 0};
    double zoomedWidth = 600.0;  // world units across the zoomed-in view
};

Results g;
cad::Document* gDoc = nullptr;
QString gFile;
cad::DxfFormat gFormat = cad::DxfFormat::Ascii;  // of the file saved and loaded (--binary)
std::string gPython = "/usr/bin/python3";

void addDxfCounters(benchmark::State& state) {
    state.counters["entities"] = g.entities;
    state.counters["file_MB"] = double(g.fileBytes) / 1e6;
    state.counters["entities_per_s"] =
        benchmark::Counter(double(g.entities), benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(state.iterations() * g.fileBytes);
}

// One point search on the drawing, at the first vertex of a cable or the insertion point of
// an insert picked at random, through the spatial index.
// The spatial index of the model space, built on first use.
const cad::SpatialIndex& modelIndex() {
    static cad::SpatialIndex index;
    static bool built = false;
    if (!built) {
        index.build(*gDoc, gDoc->modelSpace());
        built = true;
    }
    return index;
}

void BM_PointSearch(benchmark::State& state) {
    const cad::SpatialIndex& index = modelIndex();
    const cad::Space& space = gDoc->modelSpace();
    std::vector<QPointF> probes;
    std::mt19937 random(7);
    for (int i = 0; i < 4096; ++i) {
        const cad::Entity& e = space.entities[random() % space.entities.size()];
        probes.push_back(e.vertices.isEmpty() ? e.start : e.vertices.first().pos);
    }
    std::size_t i = 0, found = 0;
    double candidates = 0;
    for (auto _ : state) {
        cad::PickStats stats;
        const cad::PickResult hit =
            cad::pointSearch(*gDoc, space, index, probes[i++ % probes.size()], 0.5, &stats);
        candidates += stats.candidates;
        benchmark::DoNotOptimize(hit);
        if (hit.found()) ++found;
    }
    state.counters["found_ratio"] = double(found) / double(std::max<std::size_t>(1, i));
    state.counters["candidates"] = candidates / double(std::max<std::size_t>(1, i));
    state.counters["rescans"] = index.rescans();
}

// The whole drawing rendered into a full-HD image through the spatial index; state.range(0)
// is 0 for the view of the extents and 1 for a view zoomed in on the middle of the drawing
// (g.zoomedWidth units across: texts and attributes a few pixels high, drawn as glyphs).
void BM_Render(benchmark::State& state) {
    const int which = int(state.range(0));
    const cad::SpatialIndex& index = modelIndex();
    const cad::BBox extents = cad::spaceExtents(*gDoc, gDoc->modelSpace(), &index);
    cad::View view(QSize(1920, 1080), {}, 1.0);
    view.zoomExtents(extents);
    if (which == 1) {
        const QPointF c((extents.x0 + extents.x1) / 2, (extents.y0 + extents.y1) / 2);
        const double half = g.zoomedWidth / 2;
        view.zoomWindow(
            cad::BBox::of(c - QPointF(half, half * 9 / 16), c + QPointF(half, half * 9 / 16)));
    }
    QImage image(view.size(), QImage::Format_RGB32);
    cad::RenderOptions options;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        image.fill(options.background);
        QPainter painter(&image);
        cad::RenderStats stats;
        cad::renderSpace(painter, *gDoc, gDoc->modelSpace(), view, options, &index, &stats);
        painter.end();
        const double ms = msSince(t0);
        g.renderBestMs[which] = std::min(g.renderBestMs[which], ms);
        g.renderSumMs[which] += ms;
        ++g.renderRuns[which];
        g.renderEntities[which] = stats.entities;
        g.renderTexts[which] = stats.texts;
    }
    state.counters["entities_drawn"] = g.renderEntities[which];
    state.counters["texts_drawn"] = g.renderTexts[which];
}

bool loadInFreshProcess();

void BM_SaveDxf(benchmark::State& state) {
    for (auto _ : state) {
        const auto t0 = Clock::now();
        cad::saveDxf(*gDoc, gFile, {}, gFormat);
        g.saveMs.push_back(msSince(t0));
        // A fresh load of what was saved, in turn with the saves: the machine's state (what its
        // memory costs to touch) drifts over seconds, and the ratio of the two medians is then
        // taken over the same stretch of it.
        state.PauseTiming();
        if (g.freshError.isEmpty()) loadInFreshProcess();
        state.ResumeTiming();
    }
    g.fileBytes = QFileInfo(gFile).size();
    addDxfCounters(state);
}

void BM_SaveParts(benchmark::State& state) {
    for (auto _ : state) {
        auto t0 = Clock::now();
        const QByteArray bytes = cad::writeDxf(*gDoc, gFormat);
        g.writeMs.push_back(msSince(t0));
        t0 = Clock::now();
        cad::checkDxf(bytes);
        g.checkMs.push_back(msSince(t0));
    }
}

void BM_LoadDxf(benchmark::State& state) {
    for (auto _ : state) {
        const auto t0 = Clock::now();
        cad::Document doc = cad::loadDxf(gFile);
        g.loadMs.push_back(msSince(t0));
        benchmark::DoNotOptimize(doc.modelSpace().entities.data());
        state.PauseTiming();
        doc = cad::Document();  // freeing is not part of the load
        state.ResumeTiming();
    }
    addDxfCounters(state);
}

// ezdxf's load time, in a fresh interpreter per run.
void measureEzdxf() {
    for (int run = 0; run < g.runs; ++run) {
        const auto seconds = bench::ezdxfReadSeconds(gPython, gFile, &g.ezdxfError);
        if (!seconds) return;
        g.ezdxfMs.push_back(seconds->first * 1000.0);
        g.ezdxfCpuMs.push_back(seconds->second * 1000.0);
    }
}

// Loads the file in fresh processes (this program with --measure-load), g.runs times.
// One load in a fresh process (this program with --measure-load); false when it failed.
bool loadInFreshProcess() {
    const std::string command = bench::shellQuote(QStringLiteral("/proc/%1/exe").arg(getpid())) +
                                " --measure-load " + bench::shellQuote(gFile) + " 2>&1";
    int status = 0;
    const std::string out = bench::runCommand(command, &status);
    long long rss = 0, trimmed = 0, peak = 0;
    double ms = 0, cpu = 0, find = 0;
    if (status != 0 || std::sscanf(out.c_str(), "%lld %lf %lld %lld %lf %lf", &rss, &ms, &trimmed,
                                   &peak, &cpu, &find) != 6) {
        g.freshError = QString::fromStdString(out).trimmed().right(300);
        return false;
    }
    g.freshMs.push_back(ms);
    g.freshCpuMs.push_back(cpu);
    g.freshRss.push_back(double(rss));
    g.freshRssTrimmed.push_back(double(trimmed));
    g.freshPeak.push_back(double(peak));
    g.freshFindMs.push_back(find);
    return true;
}

// The fresh loads the saves did not take in turn with them, up to g.runs.
void measureLoadInFreshProcesses() {
    while (int(g.freshMs.size()) < g.runs && g.freshError.isEmpty() && loadInFreshProcess()) {
    }
}

int measureLoadChild(const char* file) {
    const long long before = trimmedResidentBytes();
    const auto t0 = Clock::now();
    const double cpu0 = cpuMs();
    try {
        cad::Document doc = cad::loadDxf(QString::fromLocal8Bit(file));
        const double ms = msSince(t0);
        const double cpu = cpuMs() - cpu0;
        const long long after = residentBytes();
        const long long peak = peakResidentBytes() - before;
        // The first look-up meets the heap as the load left it, as in the program: before the
        // trim, whose figure then holds the look-up's table too.
        const auto& entities = doc.modelSpace().entities;
        const auto f0 = Clock::now();
        const cad::Entity* found =
            entities.empty() ? nullptr : doc.find(entities[entities.size() / 2].handle);
        const double find = msSince(f0);
        benchmark::DoNotOptimize(found);
        const long long trimmed = trimmedResidentBytes();
        std::printf("%lld %.3f %lld %lld %.3f %.3f\n", after - before, ms, trimmed - before, peak,
                    cpu, find);
    } catch (const cad::DxfError& e) {
        std::fprintf(stderr, "line %d: %s\n", e.line(), qPrintable(e.reason()));
        return 1;
    }
    return 0;
}

// Compares the loaded drawing with the built one on counts and a sample of extended data.
QString checkRoundTrip(const cad::Document& built) {
    const cad::Document loaded = cad::loadDxf(gFile);
    const auto& a = built.modelSpace().entities;
    const auto& b = loaded.modelSpace().entities;
    if (a.size() != b.size()) {
        return QStringLiteral("entity count %1 -> %2").arg(a.size()).arg(b.size());
    }
    int mismatches = 0;
    QString first;
    for (size_t i = 0; i < a.size(); i += 97) {
        const cad::Entity& x = a[i];
        const cad::Entity& y = b[i];
        bool same = x.kind == y.kind && x.layer == y.layer && x.handle == y.handle &&
                    x.vertices == y.vertices && x.text == y.text &&
                    x.attributes.size() == y.attributes.size();
        const cad::XData* xx = x.xdataFor(kApp);
        const cad::XData* yx = y.xdataFor(kApp);
        same = same && (xx == nullptr) == (yx == nullptr) && (!xx || *xx == *yx);
        for (size_t k = 0; same && k < x.attributes.size(); ++k) {
            same = x.attributes[k].tag == y.attributes[k].tag &&
                   x.attributes[k].text == y.attributes[k].text;
        }
        if (!same) {
            if (first.isEmpty()) first = QStringLiteral("first at index %1").arg(i);
            ++mismatches;
        }
    }
    if (loaded.blocks().size() < std::size(kBlocks)) return QStringLiteral("blocks missing");
    return mismatches ? QStringLiteral("%1 sampled entities differ (%2)").arg(mismatches).arg(first)
                      : QStringLiteral(
                            "ok (counts, handles, layers, vertices, texts, "
                            "attributes, Tolvanev2 xdata on every 97th entity)");
}

// The middle value of the runs (the mean of the two middle ones for an even count); -1 when
// there were none.
double median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void printTable() {
    std::printf(
        "\nCAD DXF benchmark: %d entities (%d cable polylines, %d wire lines, %d inserts with "
        "%d attributes, %d texts)\n",
        g.entities, g.counts.polylines, g.counts.lines, g.counts.inserts, g.counts.attributes,
        g.counts.texts);
    std::printf("+----------------------------------+----------------+\n");
    std::printf("| %-32s | %14s |\n", "figure (medians)", "value");
    std::printf("+----------------------------------+----------------+\n");
    auto row = [](const char* name, const QString& value) {
        std::printf("| %-32s | %14s |\n", name, qPrintable(value));
    };
    const QString na = QStringLiteral("n/a");
    auto ms = [&](double v) { return v < 0 ? na : QStringLiteral("%1 ms").arg(v, 0, 'f', 1); };
    auto perEntity = [&](double v) {
        return v < 0 ? na : QStringLiteral("%1 B").arg(v / g.entities, 0, 'f', 0);
    };
    const double save = median(g.saveMs), load = median(g.loadMs);
    const double fresh = median(g.freshMs), ezdxf = median(g.ezdxfMs);
    row("build (Document API)", ms(g.buildMs));
    row("save", ms(save));
    row("  writing alone", ms(median(g.writeMs)));
    row("  its check alone", ms(median(g.checkMs)));
    row("load, in this process", ms(load));
    row("load, fresh process", ms(fresh));
    row("ezdxf load, fresh interpreter", ms(ezdxf));
    row("ezdxf / ours (fresh load)",
        fresh > 0 && ezdxf > 0 ? QString::number(ezdxf / fresh, 'f', 1) : na);
    const double freshCpu = median(g.freshCpuMs), ezdxfCpu = median(g.ezdxfCpuMs);
    row("load, fresh process, CPU u+s", ms(freshCpu));
    row("ezdxf load, CPU u+s", ms(ezdxfCpu));
    row("ezdxf / ours (CPU u+s)",
        freshCpu > 0 && ezdxfCpu > 0 ? QString::number(ezdxfCpu / freshCpu, 'f', 1) : na);
    row("save / load (fresh)", save > 0 && fresh > 0 ? QString::number(save / fresh, 'f', 2) : na);
    row("first handle look-up, fresh load", ms(median(g.freshFindMs)));
    row("file size", QStringLiteral("%1 MB").arg(double(g.fileBytes) / 1e6, 0, 'f', 2));
    row("file bytes per entity", QString::number(double(g.fileBytes) / g.entities, 'f', 0));
    row("RSS per entity, built", perEntity(double(g.buildRss)));
    row("RSS per entity, loaded (fresh)", perEntity(median(g.freshRss)));
    row("  after a look-up, malloc_trim", perEntity(median(g.freshRssTrimmed)));
    row("peak RSS growth per entity", perEntity(median(g.freshPeak)));
    row("peak RSS growth of load",
        g.freshPeak.empty() ? na
                            : QStringLiteral("%1 MB").arg(median(g.freshPeak) / 1e6, 0, 'f', 0));
    const char* renderNames[2][2] = {{"render 1920x1080 extents, best", "  mean"},
                                     {"render 1920x1080 zoomed, best", "  mean"}};
    for (int k = 0; k < 2; ++k) {
        row(renderNames[k][0], g.renderRuns[k] ? ms(g.renderBestMs[k]) : QStringLiteral("n/a"));
        row(renderNames[k][1],
            g.renderRuns[k] ? ms(g.renderSumMs[k] / g.renderRuns[k]) : QStringLiteral("n/a"));
    }
    std::printf("+----------------------------------+----------------+\n");
    std::printf(
        "runs: save %d, load in this process %d, fresh loads %d, ezdxf %d%s; RSS per entity "
        "counts the top-level entities (attributes included in their inserts)\n",
        int(g.saveMs.size()), int(g.loadMs.size()), int(g.freshMs.size()), int(g.ezdxfMs.size()),
        g.ezdxf ? "" : " (skipped: --no-ezdxf)");
    std::printf(
        "render: extents view looked at %d entities; zoomed view (%.0f units across) %d "
        "entities, %d texts as glyphs\n",
        g.renderEntities[0], g.zoomedWidth, g.renderEntities[1], g.renderTexts[1]);
    std::printf("round trip: %s\n", qPrintable(g.roundTrip));
    if (!g.ezdxfError.isEmpty()) std::printf("ezdxf: %s\n", qPrintable(g.ezdxfError));
    if (!g.freshError.isEmpty()) std::printf("fresh load: %s\n", qPrintable(g.freshError));
    if (save > 0 && fresh > 0 && save > fresh) {
        std::printf("NOTE: save is slower than load (%.1f ms > %.1f ms)\n", save, fresh);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string options = std::string(
        "  --entities=N     entities of the drawing (default 100000)\n"
        "  --runs=N         runs per figure (default 5)\n"
        "  --no-ezdxf       skip the ezdxf comparison\n"
        "  --binary         save and load binary DXF instead of ASCII\n"
        "  --python=PATH    the Python interpreter that runs ezdxf\n"
        "  --keep=FILE.dxf  keep the drawing written\n" +
        std::string(bench::kGoogleBenchmarkOptions));
    if (bench::helpAsked(
            argc, argv,
            "DXF save and load of a large wiring drawing: save and load times, file size,\n"
            "load time, resident memory and peak of a load in fresh processes (wall and CPU\n"
            "time; CPU time is the process's user+system time over all its threads) and the\n"
            "first look-up of a handle after it (a user's first pick), the same\n"
            "load by ezdxf, and renders of the drawing at 1920x1080. Prints a table of\n"
            "medians at the end. Each save (with its check) is followed by a fresh load of\n"
            "what it wrote, so that both meet the machine in the same state.\n",
            options.c_str()))
        return 0;
    // The heap is set up as the program's start sets it, for the saves here and the loads in
    // fresh processes alike.
    cad::keepFreedMemoryInHeap();
    if (argc == 3 && std::strcmp(argv[1], "--measure-load") == 0) {
        return measureLoadChild(argv[2]);
    }
    QString keep;
    // Our own options are taken out before Google Benchmark sees the arguments.
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--entities=", 11) == 0) {
            g.entities = std::max(10, std::atoi(argv[i] + 11));
        } else if (std::strncmp(argv[i], "--runs=", 7) == 0) {
            g.runs = std::max(1, std::atoi(argv[i] + 7));
        } else if (std::strcmp(argv[i], "--binary") == 0) {
            gFormat = cad::DxfFormat::Binary;
        } else if (std::strcmp(argv[i], "--no-ezdxf") == 0) {
            g.ezdxf = false;
        } else if (std::strncmp(argv[i], "--python=", 9) == 0) {
            gPython = argv[i] + 9;
        } else if (std::strncmp(argv[i], "--keep=", 7) == 0) {
            keep = QString::fromLocal8Bit(argv[i] + 7);
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    // Rendering needs fonts, hence a GUI application; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary directory\n");
        return 1;
    }
    gFile = dir.filePath(QStringLiteral("cad_bench.dxf"));

    const long long before = trimmedResidentBytes();
    const auto t0 = Clock::now();
    auto* doc = new cad::Document(buildDrawing(g.entities, &g.counts));
    g.buildMs = msSince(t0);
    g.buildRss = residentBytes() - before;
    gDoc = doc;

    try {
        cad::saveDxf(*gDoc, gFile, {},
                     gFormat);  // the file for the load cases, whatever the filter
        g.fileBytes = QFileInfo(gFile).size();
        g.roundTrip = checkRoundTrip(*gDoc);
    } catch (const cad::DxfError& e) {
        std::fprintf(stderr, "DXF error at line %d: %s\n", e.line(), qPrintable(e.reason()));
        return 1;
    }
    if (!keep.isEmpty()) {
        QFile::remove(keep);
        QFile::copy(gFile, keep);
    }
    measureLoadInFreshProcesses();
    if (g.ezdxf) measureEzdxf();

    benchmark::RegisterBenchmark("BM_SaveDxf", BM_SaveDxf)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(g.runs);
    benchmark::RegisterBenchmark("BM_SaveParts", BM_SaveParts)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(g.runs);
    benchmark::RegisterBenchmark("BM_LoadDxf", BM_LoadDxf)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(g.runs);
    benchmark::RegisterBenchmark("BM_PointSearch", BM_PointSearch)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_Render", BM_Render)
        ->Unit(benchmark::kMillisecond)
        ->Arg(0)
        ->Arg(1)
        ->Iterations(10);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    printTable();
    std::printf("CPU u+s: the process's CPU time over all its threads, user and system.\n");
    delete doc;
    return 0;
}
