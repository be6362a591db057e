// Search and drawing on a 100,000-entity wiring drawing, as the user waits for them: point
// search per query, the spatial index build, the first show of a drawing window (index build
// included when the window waits for it), whole-view renders at 1920x1080 zoomed to the
// extents without and with antialiasing, Export Image and PDF export. Every figure is the
// median of several runs, printed as a table at the end; the cases also run as Google
// Benchmark cases.
//
// Options (besides Google Benchmark's own): --entities=N (default 100000), --runs=N (runs
// per figure, default 7), --images=FOLDER (writes what the cases draw instead of timing them:
// the extents antialiased and plain, a zoomed-in part, Export Image and the PDF export, for
// comparing the output before and after a change).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/drawing/drawing_view.h"
#include "bench_help.h"
#include "cad/picking.h"
#include "cad/render.h"
#include "cad/spatial_index.h"
#include "drawings/drawing.h"
#include "front/qt_ui.h"
#include "wiring_sheet.h"

namespace cad = tolvane::cad;
using tolvane::Drawing;
using tolvane::DrawingView;
using tolvane::QtUi;

namespace {

using Clock = std::chrono::steady_clock;

// Wall time, which is what the user waits for, and the process's processor time beside it:
// on a machine shared with other work the second is the steadier measure of our own cost.
struct Timer {
    Clock::time_point wall = Clock::now();
    std::clock_t cpu = std::clock();
    double ms() const {
        return std::chrono::duration<double, std::milli>(Clock::now() - wall).count();
    }
    double cpuMs() const { return 1000.0 * double(std::clock() - cpu) / CLOCKS_PER_SEC; }
};

int gEntities = 100000;
int gRuns = 7;
cad::Document* gDoc = nullptr;
QtUi* gUi = nullptr;
QString gFolder;
// Samples per figure (milliseconds, or microseconds for the point search), by row name:
// wall and processor time.
std::map<std::string, std::vector<double>> gSamples, gCpuSamples;
std::map<std::string, std::string> gNotes;

const cad::SpatialIndex& modelIndex() {
    static cad::SpatialIndex index;
    static bool built = false;
    if (!built) {
        index.build(*gDoc, gDoc->modelSpace());
        built = true;
    }
    return index;
}

void record(benchmark::State& state, const std::string& row, const Timer& t) {
    const double ms = t.ms();
    gSamples[row].push_back(ms);
    gCpuSamples[row].push_back(t.cpuMs());
    state.SetIterationTime(ms / 1000.0);
}

// Queries at the first vertex of a cable or the insertion point of an insert or text picked
// at random, half a unit of aperture (a few pixels at a working zoom).
void BM_PointSearch(benchmark::State& state) {
    const cad::SpatialIndex& index = modelIndex();
    const cad::Space& space = gDoc->modelSpace();
    std::vector<QPointF> probes;
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        const cad::Entity& e = space.entities[random() % space.entities.size()];
        probes.push_back(e.vertices.isEmpty() ? e.start : e.vertices.first().pos);
    }
    int found = 0;
    double candidates = 0;
    for (auto _ : state) {
        found = 0;
        const Timer t;
        candidates = 0;
        for (QPointF p : probes) {
            cad::PickStats stats;
            found += cad::pointSearch(*gDoc, space, index, p, 0.5, &stats).found();
            candidates += stats.candidates;
        }
        const double perQuery = 1000.0 / double(probes.size());
        gSamples["point search, per query (us)"].push_back(t.ms() * perQuery);
        gCpuSamples["point search, per query (us)"].push_back(t.cpuMs() * perQuery);
        state.SetIterationTime(t.ms() * perQuery / 1e6);
    }
    gNotes["point search, per query (us)"] =
        std::to_string(found) + " of " + std::to_string(probes.size()) + " found, " +
        std::to_string(int(candidates / double(probes.size()))) + " candidates each, " +
        std::to_string(index.rescans()) + " rescans";
}

void BM_IndexBuild(benchmark::State& state) {
    for (auto _ : state) {
        cad::SpatialIndex index;
        const Timer t0;
        index.build(*gDoc, gDoc->modelSpace());
        record(state, "spatial index build", t0);
        benchmark::DoNotOptimize(index.size());
    }
}

// Waits until the window system has shown the view and it has drawn the drawing once.
void paintedOnce(DrawingView& view) {
    const int before = view.renderCount();
    while (view.renderCount() == before) {
        QApplication::processEvents();
        if (view.isVisible()) view.repaint();
    }
}

// A drawing window's first show as the drawing windows open one: the drawing's index (built
// after the first paint), the view at 1920x1080 zoomed to the extents, painted once; then
// the time until the index is there for the first pick.
void BM_FirstShow(benchmark::State& state) {
    for (auto _ : state) {
        Drawing drawing(*gDoc);  // a fresh drawing: no index yet
        const Timer t0;
        {
            DrawingView view(drawing.document(), drawing.space(), *gUi, &drawing.index());
            view.resize(1920, 1080);
            view.show();
            view.zoomExtents();
            paintedOnce(view);
            record(state, "window first show (painted; index after it)", t0);
            // What the first pick after the show waits for at most.
            while (!drawing.index().ready()) QApplication::processEvents();
            record(state, "window first show, then index ready", t0);
        }
    }
}

// A whole redraw of the shown window (zoom, pan, change): the view's own settings.
void BM_ViewRedraw(benchmark::State& state) {
    Drawing drawing(*gDoc);
    DrawingView view(drawing.document(), drawing.space(), *gUi, &drawing.index());
    view.resize(1920, 1080);
    view.show();
    view.zoomExtents();
    paintedOnce(view);
    for (auto _ : state) {
        view.setSelection({});  // throws the kept image away
        const int before = view.renderCount();
        const Timer t0;
        view.repaint();
        record(state, "window redraw (view)", t0);
        if (view.renderCount() != before + 1) state.SkipWithError("the view did not redraw");
    }
}

// The renderer alone on a 1920x1080 image of the extents, through the index; state.range(0)
// 1 with antialiasing.
void BM_Render(benchmark::State& state) {
    const bool aa = state.range(0) != 0;
    const cad::SpatialIndex& index = modelIndex();
    cad::View view(QSize(1920, 1080), {}, 1.0);
    view.zoomExtents(cad::spaceExtents(*gDoc, gDoc->modelSpace(), &index));
    QImage image(view.size(), QImage::Format_RGB32);
    cad::RenderOptions options;
    options.antialias = aa;
    for (auto _ : state) {
        const Timer t0;
        image.fill(options.background);
        QPainter painter(&image);
        cad::renderSpace(painter, *gDoc, gDoc->modelSpace(), view, options, &index);
        painter.end();
        record(state,
               aa ? "render extents 1920x1080, antialiased" : "render extents 1920x1080, plain",
               t0);
    }
}

void BM_ExportImage(benchmark::State& state) {
    const QString path = gFolder + QStringLiteral("/export.png");
    for (auto _ : state) {
        QString error;
        const Timer t0;
        const bool ok =
            cad::exportImage(*gDoc, gDoc->modelSpace(), path, QSize(1920, 1080), Qt::black, &error);
        record(state, "Export Image 1920x1080 (PNG written)", t0);
        if (!ok) state.SkipWithError(qPrintable(error));
    }
}

void BM_ExportPdf(benchmark::State& state) {
    const QString path = gFolder + QStringLiteral("/export.pdf");
    for (auto _ : state) {
        QString error;
        const Timer t0;
        const bool ok = cad::exportPdf(*gDoc, gDoc->modelSpace(), path, &error);
        record(state, "PDF export (file written)", t0);
        if (!ok) state.SkipWithError(qPrintable(error));
    }
    gNotes["PDF export (file written)"] = std::to_string(QFileInfo(path).size() / 1024) + " KB";
}

// The pictures the timed cases make, written to a folder: the renderer's view of the extents
// with and without antialiasing, two closer views of a part of it (texts a few pixels high,
// texts readable),
// Export Image's PNG and the PDF export.
int writeImages(const QString& folder) {
    const cad::SpatialIndex& index = modelIndex();
    const cad::BBox all = cad::spaceExtents(*gDoc, gDoc->modelSpace(), &index);
    const auto shoot = [&](const QString& name, const cad::View& view, bool aa) {
        QImage image(view.size(), QImage::Format_RGB32);
        cad::RenderOptions options;
        options.antialias = aa;
        image.fill(options.background);
        QPainter painter(&image);
        cad::renderSpace(painter, *gDoc, gDoc->modelSpace(), view, options, &index);
        painter.end();
        return image.save(folder + QLatin1Char('/') + name);
    };
    cad::View extents(QSize(1920, 1080), {}, 1.0);
    extents.zoomExtents(all);
    // At the drawing's lower left corner: four equipment cells across (texts a few pixels
    // high), and one cell across (texts readable).
    const cad::View near(QSize(1920, 1080), QPointF(all.x0 + 600, all.y0 + 340), 1920 / 1200.0);
    const cad::View close(QSize(1920, 1080), QPointF(all.x0 + 200, all.y0 + 150), 1920 / 320.0);
    QString error;
    const bool ok =
        shoot(QStringLiteral("extents-aa.png"), extents, true) &&
        shoot(QStringLiteral("extents-plain.png"), extents, false) &&
        shoot(QStringLiteral("near-aa.png"), near, true) &&
        shoot(QStringLiteral("close-aa.png"), close, true) &&
        cad::exportImage(*gDoc, gDoc->modelSpace(), folder + QStringLiteral("/export.png"),
                         QSize(1920, 1080), Qt::black, &error) &&
        cad::exportPdf(*gDoc, gDoc->modelSpace(), folder + QStringLiteral("/export.pdf"), &error);
    if (!ok) std::fprintf(stderr, "writing the images failed %s\n", qPrintable(error));
    return ok ? 0 : 1;
}

double median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string options = std::string(
        "  --entities=N     entities of the drawing (default 100000)\n"
        "  --runs=N         runs per figure (default 7)\n"
        "  --images=FOLDER  write what the cases draw instead of timing them\n" +
        std::string(bench::kGoogleBenchmarkOptions));
    if (bench::helpAsked(
            argc, argv,
            "Search and drawing on a 100,000-entity wiring drawing: point search, the spatial\n"
            "index build, a window's first show, whole-view renders at 1920x1080, Export\n"
            "Image and PDF export. Prints a table of medians: wall time, and CPU time (the\n"
            "process's user+system time over all its threads).\n",
            options.c_str()))
        return 0;
    std::vector<char*> args;
    QString images;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--entities=", 11) == 0)
            gEntities = std::max(1000, std::atoi(argv[i] + 11));
        else if (std::strncmp(argv[i], "--runs=", 7) == 0)
            gRuns = std::max(1, std::atoi(argv[i] + 7));
        else if (std::strncmp(argv[i], "--images=", 9) == 0)
            images = QString::fromLocal8Bit(argv[i] + 9);
        else
            args.push_back(argv[i]);
    }
    int n = int(args.size());
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(n, args.data());
    benchmark::Initialize(&n, args.data());
    if (benchmark::ReportUnrecognizedArguments(n, args.data())) return 1;
    QTemporaryDir folder;
    if (!folder.isValid()) {
        std::fprintf(stderr, "no temporary directory\n");
        return 1;
    }
    gFolder = folder.path();
    bench::BuildCounts counts;
    cad::Document doc = bench::buildDrawing(gEntities, &counts);
    gDoc = &doc;
    QtUi ui;
    gUi = &ui;
    if (!images.isEmpty()) return writeImages(images);

    const auto manual = [](const char* name, auto fn) {
        return benchmark::RegisterBenchmark(name, fn)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(gRuns);
    };
    manual("BM_PointSearch", BM_PointSearch)->Unit(benchmark::kMicrosecond);
    manual("BM_IndexBuild", BM_IndexBuild);
    manual("BM_FirstShow", BM_FirstShow);
    manual("BM_ViewRedraw", BM_ViewRedraw);
    manual("BM_Render", BM_Render)->Arg(0)->Arg(1);
    manual("BM_ExportImage", BM_ExportImage);
    manual("BM_ExportPdf", BM_ExportPdf);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\nSearch and render, %d entities, medians of %d runs\n", gEntities, gRuns);
    // The processor column is the process's CPU time over all its threads, user and system
    // (std::clock), so work spread over several threads counts in full.
    std::printf("  %-44s %13s %26s\n", "", "wall", "CPU (user+sys, all threads)");
    for (const auto& [row, samples] : gSamples) {
        const auto note = gNotes.find(row);
        const char* unit = row.find("(us)") == std::string::npos ? "ms" : "us";
        std::printf("  %-44s %10.2f %s %23.2f %s%s\n", row.c_str(), median(samples), unit,
                    median(gCpuSamples[row]), unit,
                    note == gNotes.end() ? "" : ("   " + note->second).c_str());
    }
    return 0;
}
