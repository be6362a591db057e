// Draws the pictures of the README that show how sheets read, through the engine's own
// renderer: a jackfield built of two-row jacks, a generated equipment block with long pin
// names, and the title block of the default template filled in. Run it after changing the
// standard blocks, the block generator or the template:
//   build/tools/make_sheet_pictures resources docs/images
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "cad/dxf.h"
#include "cad/editing.h"
#include "cad/render.h"
#include "drawings/standard_drawings.h"
#include "drawings/title_block.h"
#include "equipment/block_generator.h"

using namespace tolvane;

namespace {

const QColor kPaper(255, 255, 255);

void write(const cad::Document& doc, const cad::Space& space, const QString& path, QSize size) {
    QString error;
    if (!cad::exportImage(doc, space, path, size, kPaper, &error))
        throw std::runtime_error(error.toStdString());
}

void setAttribute(cad::Entity& insert, const QString& tag, const QString& value) {
    for (cad::Entity& a : insert.attributes)
        if (a.tag->compare(tag, Qt::CaseInsensitive) == 0) a.text = value;
}

// Six jacks of a two-row jackfield "AJF-01" with rear connectors shown, as a build places them.
void jackfield(const QDir& resources, const QString& out) {
    cad::Document doc;
    standard::addStandardStylesAndLayers(doc);
    cad::addBlockFromFile(doc, resources.filePath("Blocks/FN_JACK_SD.dxf"), "FN_JACK_SD");
    for (int column = 1; column <= 6; ++column) {
        cad::Entity jack = cad::makeInsert(doc, "FN_JACK_SD", {0, -6.0 * (column - 1)});
        setAttribute(jack, "JF", "AJF-01");
        setAttribute(jack, "COL", QStringLiteral("%1").arg(column, 2, 10, QLatin1Char('0')));
        setAttribute(jack, "AConn", "Terminal Block");
        setAttribute(jack, "BConn", "Terminal Block");
        setAttribute(jack, "Location", "MCR R1");
        doc.addToModel(jack);
    }
    write(doc, doc.modelSpace(), out, {700, 1000});
}

db::PinRecord pin(const char* name, const char* conn) {
    db::PinRecord p;
    p.name = QString::fromLatin1(name);
    p.conn = QString::fromLatin1(conn);
    p.type = QStringLiteral("AUD");
    p.pinType = QStringLiteral("Normal");
    return p;
}

// A desk with long pin names: the body grows and the names share each row.
void generatedBlock(const QString& out) {
    cad::Document doc;
    standard::addStandardStylesAndLayers(doc);
    equipment::BlockRequest r;
    r.equipmentId = 1;
    r.manufacturerName = QStringLiteral("Halvern Audio");
    r.modelName = QStringLiteral("HV-DESK24");
    r.inputs = {pin("AUDIO IN 1 LEFT CHANNEL", "XLR"), pin("AUDIO IN 2 RIGHT CHANNEL", "XLR"),
                pin("AES IN 1", "XLR"), pin("WORDCLOCK IN", "BNC")};
    r.outputs = {pin("AES OUT 1 PROGRAMME", "XLR"), pin("AES OUT 2 CLEAN FEED", "XLR"),
                 pin("MONITOR L", "XLR"), pin("MONITOR R", "XLR")};
    equipment::BlockPreferences prefs;
    const std::vector<cad::Entity> es = equipment::blockEntities(
        r, prefs, {}, [](const db::PinRecord&) { return equipment::PinStyle{}; }, &doc);
    cad::Block& block = doc.addBlock("HALVERN-HV-DESK2v0");
    for (const cad::Entity& e : es) doc.add(block, e);
    cad::Entity ins = cad::makeInsert(doc, "HALVERN-HV-DESK2v0", {0, 0});
    setAttribute(ins, "SysName", "DESK-01");
    setAttribute(ins, "Location", "Control Room 2");
    doc.addToModel(ins);
    write(doc, doc.modelSpace(), out, {1000, 700});
}

void titleBlock(const QString& out) {
    cad::Document doc = standard::templateDrawing();
    titleblock::Fields f;
    f.project = QStringLiteral("Riverside Broadcast Centre");
    f.drawingName = QStringLiteral("Master control room: audio");
    f.drawingNo = QStringLiteral("RBC-AUD-012");
    f.revision = QStringLiteral("B");
    f.date = QStringLiteral("2026-05-04");
    f.drawnBy = QStringLiteral("ann");
    titleblock::fill(doc, f);
    // The title block alone: the sheet's lower right corner.
    cad::Document corner;
    corner.addLayout(QStringLiteral("Layout1"));
    for (const cad::Entity& e : doc.layouts()[0].entities) {
        if (e.kind == cad::EntityKind::Viewport) continue;
        if (e.kind == cad::EntityKind::Polyline && e.vertices.size() == 4 &&
            e.vertices[2].pos.x() - e.vertices[0].pos.x() > 200)
            continue;  // the border and the sheet's edge
        cad::Entity copy = e;
        copy.handle.clear();
        corner.add(corner.layouts()[0], copy);
    }
    write(corner, corner.layouts()[0], out, {1000, 260});
    write(doc, doc.layouts()[0], QString(out).replace(".png", "-sheet.png"), {1000, 707});
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);  // fonts for the texts (QT_QPA_PLATFORM=offscreen)
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_sheet_pictures RESOURCES_FOLDER IMAGES_FOLDER\n");
        return 2;
    }
    const QDir resources(QString::fromLocal8Bit(argv[1]));
    const QDir images(QString::fromLocal8Bit(argv[2]));
    try {
        jackfield(resources, images.filePath("built-jackfield.png"));
        generatedBlock(images.filePath("long-pin-names.png"));
        titleBlock(images.filePath("title-block.png"));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
