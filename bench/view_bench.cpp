// The drawing view while a point is asked on a 100,000-entity drawing, at 1920x1080: the cost
// of a frame when the mouse moves during a line command (the preview drawn over the cached
// drawing) and during a move of a hundred entities (their outlines follow the cursor), against
// a whole redraw of the drawing, which is what a frame would cost without the cache. Also the
// cost of one mouse move with no command, zoomed to the extents and zoomed in: the search for
// the entity a click would pick and its highlight, alone and with the frame painted. Prints
// the figures as a table at the end; the cases also run as Google Benchmark cases.
//
// Options (besides Google Benchmark's own): --entities=N (default 100000).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "app/drawing/drawing_view.h"
#include "bench_help.h"
#include "cad/render.h"
#include "drawings/drawing.h"
#include "front/qt_ui.h"
#include "wiring_sheet.h"

namespace cad = tolvane::cad;
using tolvane::DrawingView;
using tolvane::QtUi;

namespace {

using Clock = std::chrono::steady_clock;

struct Fixture {
    cad::Document doc;
    std::unique_ptr<QtUi> ui;
    std::unique_ptr<DrawingView> view;
};
Fixture* g = nullptr;
int gEntities = 100000;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

void moveMouse(QPointF at) {
    QMouseEvent move(QEvent::MouseMove, at, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(g->view.get(), &move);
}

// Runs `frames` while a point prompt with `preview` waits, then cancels the prompt.
void whilePointAsked(const QtUi::Preview& preview, const std::function<void()>& frames) {
    QTimer::singleShot(0, [&] {
        frames();
        g->ui->cancelPrompt();
    });
    const cad::BBox box = cad::spaceExtents(g->doc, g->doc.modelSpace());
    g->ui->getPointFrom(QStringLiteral("Second point:"),
                        QPointF((box.x0 + box.x1) / 2, (box.y0 + box.y1) / 2), false, preview);
}

// One frame: the mouse moves a pixel and the view repaints at once.
void frame(int i) {
    moveMouse(QPointF(400 + (i % 800), 300 + (i % 400)));
    g->view->repaint();
}

double frameCost(const QtUi::Preview& preview, int n) {
    double ms = 0;
    whilePointAsked(preview, [&] {
        frame(0);  // the cache is drawn once
        const auto t0 = Clock::now();
        for (int i = 1; i <= n; ++i) frame(i);
        ms = msSince(t0) / n;
    });
    return ms;
}

QtUi::Preview movePreview() {
    QPainterPath outline;
    int n = 0;
    for (const cad::Entity& e : g->doc.modelSpace().entities) {
        if (n++ == 100) break;
        outline.addPath(cad::outlinePath(g->doc, e));
    }
    return [outline](QPointF cursor) { return outline.translated(cursor); };
}

double redrawCost(int n) {
    const auto t0 = Clock::now();
    for (int i = 0; i < n; ++i) {
        g->view->setSelection({});  // the cache is thrown away: a whole redraw
        g->view->repaint();
    }
    return msSince(t0) / n;
}

// Mouse moves with nothing asked: each finds the entity under the cursor and outlines it.
// Returns the milliseconds per move and the moves that found one.
std::pair<double, int> hoverCost(int n, bool paint) {
    frame(0);
    int found = 0;
    const auto t0 = Clock::now();
    for (int i = 1; i <= n; ++i) {
        moveMouse(QPointF(400 + (i * 7 % 1100), 200 + (i * 13 % 700)));
        if (paint) g->view->repaint();
        found += g->view->hovered().isEmpty() ? 0 : 1;
    }
    return {msSince(t0) / n, found};
}

void BM_HoverMove(benchmark::State& state) {
    for (auto _ : state) state.SetIterationTime(hoverCost(50, false).first / 1000.0);
}
void BM_HoverFrame(benchmark::State& state) {
    for (auto _ : state) state.SetIterationTime(hoverCost(50, true).first / 1000.0);
}
BENCHMARK(BM_HoverMove)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_HoverFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_LineFrame(benchmark::State& state) {
    for (auto _ : state) state.SetIterationTime(frameCost({}, 20) / 1000.0);
}
void BM_MoveFrame(benchmark::State& state) {
    const QtUi::Preview preview = movePreview();
    for (auto _ : state) state.SetIterationTime(frameCost(preview, 20) / 1000.0);
}
void BM_WholeRedraw(benchmark::State& state) {
    for (auto _ : state) state.SetIterationTime(redrawCost(1) / 1000.0);
}
BENCHMARK(BM_LineFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_MoveFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_WholeRedraw)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    const std::string options =
        std::string("  --entities=N  entities of the drawing (default 100000)\n" +
                    std::string(bench::kGoogleBenchmarkOptions));
    if (bench::helpAsked(
            argc, argv,
            "The drawing view while a point is asked on a 100,000-entity drawing at\n"
            "1920x1080: a frame of a line command and of a move against a whole redraw, and\n"
            "one mouse move with no command. Prints a table at the end.\n",
            options.c_str()))
        return 0;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--entities=", 11) == 0)
            gEntities = std::max(1000, std::atoi(argv[i] + 11));
        else
            args.push_back(argv[i]);
    }
    int n = int(args.size());
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(n, args.data());
    Fixture f;
    g = &f;
    bench::BuildCounts counts;
    f.doc = bench::buildDrawing(gEntities, &counts);
    f.ui = std::make_unique<QtUi>();
    f.view = std::make_unique<DrawingView>(f.doc, f.doc.modelSpace(), *f.ui);
    f.view->resize(1920, 1080);
    f.view->show();
    f.view->zoomExtents();
    f.view->repaint();

    benchmark::Initialize(&n, args.data());
    benchmark::RunSpecifiedBenchmarks();

    const double line = frameCost({}, 50), move = frameCost(movePreview(), 50),
                 redraw = redrawCost(5);
    const auto [hoverExtents, foundExtents] = hoverCost(200, false);
    const auto [hoverExtentsFrame, foundExtentsFrame] = hoverCost(200, true);
    // Zoomed in on a part of the sheet, as one works on it: 40 times the extents' scale.
    f.view->zoomAbout(40, f.view->view().toWorld(QPointF(960, 540)));
    f.view->repaint();
    const auto [hoverNear, foundNear] = hoverCost(200, false);
    const auto [hoverNearFrame, foundNearFrame] = hoverCost(200, true);
    Q_UNUSED(foundExtentsFrame);
    Q_UNUSED(foundNearFrame);
    std::printf("\nDrawing view, %d entities, 1920x1080, zoomed to the extents\n", gEntities);
    std::printf("  frame while a line's second point is asked  %8.2f ms\n", line);
    std::printf("  frame while 100 entities are moved          %8.2f ms\n", move);
    std::printf("  whole redraw (a frame without the cache)    %8.2f ms\n", redraw);
    std::printf("  mouse move, nothing asked, at the extents:\n");
    std::printf("    search and highlight (%3d of 200 found)   %8.3f ms\n", foundExtents,
                hoverExtents);
    std::printf("    with the frame painted                    %8.3f ms\n", hoverExtentsFrame);
    std::printf("  mouse move, nothing asked, zoomed in 40x:\n");
    std::printf("    search and highlight (%3d of 200 found)   %8.3f ms\n", foundNear, hoverNear);
    std::printf("    with the frame painted                    %8.3f ms\n", hoverNearFrame);
    return 0;
}
