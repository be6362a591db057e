// Opening drawings with very large tables: one of 200,000 layers (a line on each), and one of
// a chain of 40,000 blocks each inserting the next (the last holds a line; model space
// inserts the first). Writes each file, then times what opening it and showing it costs:
// the load, the blocks cut short (what the open warns about), the spatial index, the
// extents, a 1920x1080 render of the extents and a save. Prints each figure as it is done,
// so that a run stopped from outside still shows how far it came.
//
// Options: --layers=N (default 200000), --chain=N (default 40000); 0 skips that drawing.
#include <sys/resource.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "bench_help.h"
#include "cad/document.h"
#include "cad/dxf.h"
#include "cad/geometry.h"
#include "cad/render.h"
#include "cad/spatial_index.h"
#include "cad/view.h"

namespace cad = tolvane::cad;

namespace {

using Clock = std::chrono::steady_clock;

// Processor time of this process so far, in milliseconds: on a shared machine the wall time
// of a step also counts other processes.
double cpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

void timed(const char* what, const std::function<QString()>& step) {
    const auto t0 = Clock::now();
    const double cpu0 = cpuMs();
    const QString note = step();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    std::printf("  %-26s %10.1f ms wall %10.1f ms CPU (user+sys, all threads)  %s\n", what, ms,
                cpuMs() - cpu0, qPrintable(note));
    std::fflush(stdout);
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.commit();
}

QByteArray line(const QByteArray& layer, int x, int y) {
    const QByteArray xs = QByteArray::number(x), ys = QByteArray::number(y);
    return "  0\nLINE\n  8\n" + layer + "\n 10\n" + xs + "\n 20\n" + ys + "\n 11\n" + xs +
           ".5\n 21\n" + ys + "\n";
}

QByteArray layersFile(int n) {
    QByteArray out =
        "  0\nSECTION\n  2\nTABLES\n  0\nTABLE\n  2\nLAYER\n 70\n" + QByteArray::number(n) + "\n";
    for (int i = 0; i < n; ++i)
        out += "  0\nLAYER\n  2\nL" + QByteArray::number(i) + "\n 70\n0\n 62\n" +
               QByteArray::number(1 + i % 255) + "\n  6\nCONTINUOUS\n";
    out += "  0\nENDTAB\n  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n";
    for (int i = 0; i < n; ++i) out += line("l" + QByteArray::number(i), i % 1000, i / 1000);
    out += "  0\nENDSEC\n  0\nEOF\n";
    return out;
}

QByteArray chainFile(int n) {
    QByteArray out = "  0\nSECTION\n  2\nBLOCKS\n";
    for (int i = 0; i < n; ++i) {
        out += "  0\nBLOCK\n  8\n0\n  2\nB" + QByteArray::number(i) + "\n 70\n0\n 10\n0\n 20\n0\n";
        if (i + 1 < n)
            out += "  0\nINSERT\n  8\n0\n  2\nB" + QByteArray::number(i + 1) + "\n 10\n1\n 20\n0\n";
        else
            out += line("0", 0, 0);
        out += "  0\nENDBLK\n  8\n0\n";
    }
    out +=
        "  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n  0\nINSERT\n  8\n0\n  2\nB0\n 10\n0\n"
        " 20\n0\n  0\nENDSEC\n  0\nEOF\n";
    return out;
}

void measure(const char* title, const QString& path, const QByteArray& bytes) {
    std::printf("%s (%.1f MB)\n", title, bytes.size() / 1e6);
    if (!writeFile(path, bytes)) {
        std::printf("  cannot write %s\n", qPrintable(path));
        return;
    }
    cad::Document doc;
    try {
        timed("load", [&] {
            doc = cad::loadDxf(path);
            return QStringLiteral("%1 layers, %2 blocks, %3 entities")
                .arg(doc.layers().size())
                .arg(doc.blocks().size())
                .arg(doc.modelSpace().entities.size());
        });
    } catch (const cad::DxfError& e) {
        std::printf("  load failed at line %d: %s\n", e.line(), qPrintable(e.reason()));
        return;
    }
    timed("blocks cut short",
          [&] { return QStringLiteral("%1 named").arg(cad::cutShortBlocks(doc).size()); });
    cad::SpatialIndex index;
    timed("spatial index", [&] {
        index.build(doc, doc.modelSpace());
        return QString();
    });
    cad::BBox box;
    timed("extents", [&] {
        box = cad::spaceExtents(doc, doc.modelSpace());
        return QStringLiteral("%1 x %2").arg(box.x1 - box.x0).arg(box.y1 - box.y0);
    });
    timed("render 1920x1080 extents", [&] {
        QImage image(1920, 1080, QImage::Format_RGB32);
        image.fill(Qt::black);
        cad::View view(image.size(), {0, 0}, 1.0);
        view.zoomExtents(box);
        cad::RenderStats stats;
        QPainter p(&image);
        cad::renderSpace(p, doc, doc.modelSpace(), view, {}, &index, &stats);
        return QStringLiteral("%1 cut short").arg(stats.cutShort);
    });
    timed("save", [&] {
        cad::saveDxf(doc, path);
        return QString();
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (bench::helpAsked(
            argc, argv,
            "Opening drawings with very large tables (200,000 layers; a chain of 40,000\n"
            "blocks): the load, the blocks cut short, the spatial index, the extents, a\n"
            "1920x1080 render and a save, each in wall time and CPU time (the process's\n"
            "user+system time over all its threads).\n",
            "  --layers=N  layers of the first drawing (default 200000; 0 skips it)\n"
            "  --chain=N   blocks of the chain (default 40000; 0 skips it)\n"))
        return 0;
    int layers = 200000, chain = 40000;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--layers=", 9) == 0) {
            layers = std::max(0, std::atoi(argv[i] + 9));
        } else if (std::strncmp(argv[i], "--chain=", 8) == 0) {
            chain = std::max(0, std::atoi(argv[i] + 8));
        } else {
            std::fprintf(stderr, "usage: %s [--layers=N] [--chain=N]\n", argv[0]);
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);  // rendering needs fonts
    QTemporaryDir dir;
    if (layers > 0) {
        const QByteArray title = QByteArray::number(layers) + " layers, a line on each";
        measure(title.constData(), dir.filePath("layers.dxf"), layersFile(layers));
    }
    if (chain > 0) {
        const QByteArray title = "a chain of " + QByteArray::number(chain) + " blocks";
        measure(title.constData(), dir.filePath("chain.dxf"), chainFile(chain));
    }
    return 0;
}
