// The standard block drawings shipped in resources/: they are what the code makes (so the
// files are not stale), they carry the attribute tags of their kind, and a cable end lying on
// a connection point finds the insert itself (not one of its attributes) with the probes the
// end resolution uses: 0.5 left of a source end, 0.5 right of a destination end.
#include <gtest/gtest.h>

#include <QDir>
#include <QHash>
#include <algorithm>

#include "cad/dxf.h"
#include "cad/editing.h"
#include "cad/picking.h"
#include "drawings/entity_tag.h"
#include "drawings/standard_drawings.h"
#include "drawings/title_block.h"
#include "text_layout.h"

using namespace tolvane;

namespace {

QString shipped(const QString& relative) {
    return QDir(QStringLiteral(TOLVANE_SOURCE_RESOURCES)).filePath(relative);
}

QStringList tagsOf(const cad::Entity& insert) {
    QStringList tags;
    for (const cad::Entity& a : insert.attributes) tags << a.tag->toUpper();
    return tags;
}

}  // namespace

TEST(StandardDrawings, ShippedBlocksAreFoundAtTheirConnectionPoints) {
    // Every attribute a cable end reads from the block.
    const QStringList jackTags = {
        "JF", "A", "B", "COL", "ACONN", "BCONN", "READ ONLY PINWIDTH", "LOCATION", "ALIAS"};
    const QStringList jboxTags = {"JB", "LOCATION", "ALIAS", "CON", "BCONN", "ACONN", "A", "B"};
    const QStringList routerTags = {"RTR",   "LOCATION", "ALIAS", "B",
                                    "LAYER", "BCONN",    "ACONN", "A"};
    const QStringList pointerTags = {"DSHT", "SYSNAM", "D", "SSHT", "SSYSNAM", "S", "JF", "COL"};
    for (const tag::CatalogueEntry& entry : tag::blockCatalogue()) {
        SCOPED_TRACE(entry.name.toStdString());
        const QString file = shipped(QStringLiteral("Blocks/") + entry.name + ".dxf");
        // The shipped file is what the code makes today, every entity where the code puts it.
        const cad::Document made = standard::blockDrawing(entry.name);
        const cad::Document read = cad::loadDxf(file);
        ASSERT_EQ(read.modelSpace().entities.size(), made.modelSpace().entities.size());
        for (size_t k = 0; k < made.modelSpace().entities.size(); ++k) {
            const cad::Entity& m = made.modelSpace().entities[k];
            const cad::Entity& r = read.modelSpace().entities[k];
            EXPECT_EQ(r.tag, m.tag);
            EXPECT_LT(cad::length(r.start - m.start) + cad::length(r.end - m.end), 1e-9)
                << m.tag->toStdString();
        }

        cad::Document doc;
        cad::addBlockFromFile(doc, file, entry.name.toLower());
        const QPointF at(100, 50);
        const cad::Entity& ins = doc.addToModel(cad::makeInsert(doc, entry.name, at));
        const cad::Space& model = doc.modelSpace();
        const standard::Connections c = standard::connections(entry.name);
        if (c.source) {
            const QPointF probe = at + c.sourcePoint - QPointF(0.5, 0);
            EXPECT_EQ(cad::pointSearch(doc, model, probe, 0.05).handle, ins.handle);
        }
        if (c.destination) {
            const QPointF probe = at + c.destinationPoint + QPointF(0.5, 0);
            EXPECT_EQ(cad::pointSearch(doc, model, probe, 0.05).handle, ins.handle);
        }
        QStringList expected;
        if (entry.kind == tag::kind::Jack) expected = jackTags;
        if (entry.kind == tag::kind::JBox) expected = jboxTags;
        if (entry.kind == tag::kind::Router) expected = routerTags;
        if (entry.kind == tag::kind::Pointer) expected = pointerTags;
        EXPECT_EQ(tagsOf(ins), expected);
    }
}

TEST(StandardDrawings, TemplateHasTheStandardStylesAndLayers) {
    const cad::Document tpl = cad::loadDxf(shipped("templatedrawing/TolvaneDefault.dxf"));
    for (const QString& s : standard::textStyles())
        EXPECT_NE(tpl.textStyle(s), nullptr) << s.toStdString();
    for (const QString& l : standard::layers()) EXPECT_NE(tpl.layer(l), nullptr) << l.toStdString();
    cad::Document other;
    other.addLayer(cad::Layer{QStringLiteral("Cables"), 3});
    standard::addStandardStylesAndLayers(other);
    EXPECT_EQ(other.layer("CABLES")->color, 3);  // existing ones are kept as they are
    EXPECT_EQ(other.layers().size(), 1 + standard::layers().size());
}

TEST(StandardDrawings, PreparationLoadsMissingBlocksOnly) {
    cad::Document doc;
    cad::Block& own = doc.addBlock(QStringLiteral("rtr_s"));  // the drawing's own version stays
    doc.add(own, cad::Entity::point({0, 0}));
    const QStringList missing = standard::prepareDrawing(doc, shipped("Blocks"));
    EXPECT_TRUE(missing.isEmpty()) << missing.join(",").toStdString();
    EXPECT_EQ(doc.block("RTR_S")->entities.size(), 1u);
    EXPECT_NE(doc.block("jack1_1_sd"), nullptr);
    EXPECT_NE(doc.layer("PinName"), nullptr);

    cad::Document empty;
    EXPECT_EQ(standard::prepareDrawing(empty, "/nonexistent").size(), tag::blockCatalogue().size());
    EXPECT_NE(empty.textStyle("TL_CABLENO"), nullptr);
}

// The texts of every standard block, filled with values as long as a project gives them
// ("PATCH-01" jackfields, "Terminal Block" connectors), stand clear of each other and of the
// block's lines, in the source and in the mirrored destination variants alike.
TEST(StandardDrawings, FilledTextsStandClearOfEachOtherAndOfTheLines) {
    QHash<QString, QString> values;
    for (const QString& pair :
         QStringLiteral("JF=PATCH-01;A=A;B=B;COL=24;ACONN=Terminal Block;BCONN=Terminal Block;"
                        "LOCATION=Rack 12;ALIAS=Studio A;JB=JB-01;CON=12;RTR=RTR-01;LAYER=1;"
                        "DSHT=Sheet 12.dxf;SSHT=Sheet 12.dxf;SYSNAM=DESK-01;SSYSNAM=DESK-01;"
                        "D=AES OUT 1;S=AES OUT 1")
             .split(';'))
        values.insert(pair.section('=', 0, 0), pair.section('=', 1));
    for (const tag::CatalogueEntry& entry : tag::blockCatalogue()) {
        SCOPED_TRACE(entry.name.toStdString());
        cad::Document doc;
        cad::addBlockFromFile(doc, shipped("Blocks/" + entry.name + ".dxf"), entry.name);
        cad::Entity ins = cad::makeInsert(doc, entry.name, {10, 10});
        for (cad::Entity& a : ins.attributes) a.text = values.value(a.tag->toUpper(), a.text);
        std::vector<test::PlacedText> texts;
        std::vector<cad::Prim> lines;
        test::piecesOf(doc, doc.addToModel(ins), &texts, &lines);
        EXPECT_EQ(test::collisions(texts, lines).join(", ").toStdString(), "");
    }
}

// The template's sheet: a border, a title block whose fields take the values given (a value
// wider than its cell squeezed into it, clear of the other texts and the cell lines), and a
// viewport onto model space.
TEST(StandardDrawings, TemplateSheetHasATitleBlockThatFills) {
    cad::Document tpl = cad::loadDxf(shipped("templatedrawing/TolvaneDefault.dxf"));
    ASSERT_EQ(tpl.layouts().size(), 1u);
    const cad::Space& sheet = tpl.layouts()[0];
    EXPECT_EQ(sheet.name, "Layout1");
    EXPECT_EQ(
        std::count_if(sheet.entities.begin(), sheet.entities.end(),
                      [](const cad::Entity& e) { return e.kind == cad::EntityKind::Viewport; }),
        1);
    // The sheet's entities lie below the first handle of the drawing's own.
    for (const cad::Entity& e : sheet.entities)
        EXPECT_LT(e.handle.value(), standard::kFirstDrawingHandle);

    titleblock::Fields f;
    f.project =
        "Riverside Broadcast Centre, Studio Block B: Audio and Video Infrastructure "
        "Refurbishment";
    f.drawingName = "Control room 2 audio";
    f.drawingNo = "RBC-AUD-0012";
    f.revision = "C";
    f.date = "2026-05-04";
    f.drawnBy = "ann";
    EXPECT_TRUE(titleblock::fill(tpl, f));
    EXPECT_FALSE(titleblock::fill(tpl, f));  // nothing left to change
    for (const QString& key : titleblock::keys())
        EXPECT_EQ(titleblock::shown(tpl, key), titleblock::valueOf(f, key)) << key.toStdString();

    // Each text against the others and against the lines of the title block.
    std::vector<test::PlacedText> texts;
    std::vector<cad::Prim> lines;
    for (const cad::Entity& e : tpl.layouts()[0].entities) {
        for (const cad::Prim& p : cad::primitives(tpl, e)) {
            if (p.kind == cad::Prim::TextBox) {
                cad::BBox box;
                for (QPointF q : p.q) box.add(q);
                texts.push_back({e.text.left(12), box});
            } else if (e.kind != cad::EntityKind::Viewport) {
                lines.push_back(p);
            }
        }
    }
    EXPECT_EQ(texts.size(), 12u);
    EXPECT_EQ(test::collisions(texts, lines).join(", ").toStdString(), "");
    // Filled again when a value changes: the drawing files' test of the title block that
    // follows the project and the registry row.
}
