// The standard block drawings shipped in resources/: they are what the code makes (so the
// files are not stale), they carry the attribute tags of their kind, and a cable end lying on
// a connection point finds the insert itself (not one of its attributes) with the probes the
// end resolution uses: 0.5 left of a source end, 0.5 right of a destination end.
#include <gtest/gtest.h>

#include <QDir>

#include "cad/dxf.h"
#include "cad/editing.h"
#include "cad/picking.h"
#include "drawings/entity_tag.h"
#include "drawings/standard_drawings.h"

using namespace tolvane;

namespace {

QString shipped(const QString& relative) {
    return QDir(QStringLiteral(TOLVANE_SOURCE_RESOURCES)).filePath(relative);
}

QStringList tagsOf(const cad::Entity& insert) {
    QStringList tags;
    for (const cad::Entity& a : insert.attributes) tags << a.tag.toUpper();
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
        // The shipped file is what the code makes today.
        EXPECT_EQ(cad::loadDxf(file).modelSpace().entities.size(),
                  standard::blockDrawing(entry.name).modelSpace().entities.size());

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
