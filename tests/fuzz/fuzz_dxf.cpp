// Fuzz target for the DXF reader (ASCII, binary and the recovering read) and what works on
// what it read: drawings come from users and
// other programs, so no input may crash or hang them; a damaged file must end in a DxfError.
// What is read has its inserts expanded and its extents taken, is drawn into a small image
// and picked at its middle, within the bounds on insert expansion and curve pieces; then it
// is written again and read back, which must succeed (our own output must always be readable,
// whatever its texts). Built with libFuzzer when TOLVANE_FUZZ is on (clang); otherwise a
// small runner feeds it the files of the corpus folder as a regression test.
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "cad/dxf.h"
#include "cad/geometry.h"
#include "cad/picking.h"
#include "cad/render.h"
#include "cad/spatial_index.h"

namespace cad = tolvane::cad;

namespace {

// The geometry of every space and block, the way the program uses it.
void exercise(const cad::Document& doc) {
    cad::cutShortBlocks(doc);
    for (const cad::Block& b : doc.blocks()) {
        for (const cad::Entity& e : b.entities) cad::boundingBox(doc, e);
    }
    const cad::Space& model = doc.modelSpace();
    cad::SpatialIndex index;
    index.build(doc, model);
    const cad::BBox box = cad::spaceExtents(doc, model);
    QPointF middle;
    double size = 1.0;
    if (box.isValid()) {
        middle = QPointF((box.x0 + box.x1) / 2, (box.y0 + box.y1) / 2);
        size = std::max({box.x1 - box.x0, box.y1 - box.y0, 1e-9});
    }
    cad::pointSearch(doc, model, index, middle, size / 50);
    cad::objectSnap(doc, model, index, ~0u, middle, size / 50, middle);
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    cad::View view(image.size(), middle, 1.0);
    view.zoomExtents(box);
    cad::renderSpace(painter, doc, model, view);
}

}  // namespace

#ifdef TOLVANE_LIBFUZZER
// Texts are drawn with fonts: a GUI application on the offscreen platform.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}
#endif

// Reads the input strictly or, where refused, as the recovering read does; what either
// gives is exercised and written back, ASCII and binary, and must read again whole.
void readAndWriteBack(const QByteArray& bytes) {
    cad::Document doc;
    try {
        doc = cad::readDxf(bytes);
    } catch (const cad::DxfError&) {
        try {
            cad::DxfAudit audit;
            doc = cad::recoverDxf(bytes, &audit);
        } catch (const cad::DxfError&) {
            return;
        }
    }
    exercise(doc);
    for (cad::DxfFormat format : {cad::DxfFormat::Ascii, cad::DxfFormat::Binary}) {
        const QByteArray again = cad::writeDxf(doc, format);
        try {
            cad::readDxf(again);
        } catch (const cad::DxfError&) {
            std::abort();  // our own output must always be readable
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    readAndWriteBack(bytes);
    // The same input behind the binary sentinel: the binary reader meets it too.
    if (!bytes.startsWith("AutoCAD Binary DXF"))
        readAndWriteBack(QByteArray("AutoCAD Binary DXF\r\n\x1a", 21) + '\0' + bytes);
    return 0;
}

#define TOLVANE_FUZZ_GUI
#include "corpus_main.h"
