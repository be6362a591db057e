// Editing operations of the drawing engine: transforms keep every kind's shape (checked by
// sampling the outline, so a wrong arc direction or bulge sign shows), explode keeps the
// picture, the space editor keeps undo and the spatial index in step, and a block loads from
// a drawing file.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>

#include "cad/dxf.h"
#include "cad/editing.h"
#include "cad/geometry.h"
#include "cad/picking.h"

using namespace tolvane::cad;

namespace {

std::vector<QPointF> samples(const Document& doc, const Entity& e) {
    std::vector<QPointF> out;
    for (const Prim& p : primitives(doc, e)) {
        for (int i = 0; i <= 8; ++i) {
            const double t = i / 8.0;
            if (p.kind == Prim::Segment) out.push_back(p.a + (p.b - p.a) * t);
            if (p.kind == Prim::Arc) out.push_back(p.arcPoint(p.a0 + p.sweep * t));
        }
    }
    return out;
}

// Every point of `from` mapped by t lies on `to`, and every point of `to` on the mapped `from`.
void expectSameShape(const Document& doc, const Entity& from, const QTransform& t, const Entity& to,
                     const char* what) {
    for (QPointF p : samples(doc, from))
        EXPECT_LT(distanceTo(doc, to, t.map(p)), 1e-6) << what << " at " << p.x() << "," << p.y();
    const QTransform back = t.inverted();
    for (QPointF p : samples(doc, to))
        EXPECT_LT(distanceTo(doc, from, back.map(p)), 1e-6) << what << " (back)";
}

}  // namespace

TEST(CadEditing, TransformsKeepTheShapeOfEveryKind) {
    Document doc;
    Block& b = doc.addBlock(QStringLiteral("B"), {1, 1});
    doc.add(b, Entity::arc({1, 1}, 2, 10, 100));
    doc.add(b, Entity::line({1, 1}, {4, 2}));
    std::vector<Entity> kinds = {
        Entity::line({0, 0}, {3, 1}),
        Entity::polyline({{{0, 0}, 0.5}, {{4, 0}, -0.3}, {{4, 3}, 0}}, false),
        Entity::circle({2, 2}, 1.5),
        Entity::arc({1, 2}, 2, 30, 200),
        Entity::arc({1, 2}, 2, 300, 45),  // through 0 degrees
        Entity::ellipse({0, 0}, {3, 1}, 0.4, 0.5, 4.0),
        Entity::insert(QStringLiteral("B"), {5, 5}, 1.5, 1.5, 25),
        Entity::insert(QStringLiteral("B"), {5, 5}, -1, 1, 0),  // already mirrored
    };
    QTransform rotate;
    rotate.translate(2, 3);
    rotate.rotate(35);
    rotate.scale(2, 2);
    rotate.translate(-2, -3);
    const std::pair<QTransform, const char*> transforms[] = {
        {rotate, "rotate+scale"},
        {mirrorTransform({0, 0}, {0, 1}), "mirror vertical"},
        {mirrorTransform({1, -1}, {4, 2}), "mirror slanted"},
    };
    for (const auto& [t, name] : transforms) {
        for (const Entity& e : kinds) {
            Entity moved = e;
            ASSERT_TRUE(transformEntity(moved, t));
            expectSameShape(doc, e, t, moved, name);
        }
    }
}

TEST(CadEditing, MirroredTextStaysReadableInPlace) {
    Document doc;
    Entity text = Entity::textAt({2, 0}, QStringLiteral("ABC"), 1);
    const QTransform mirror = mirrorTransform({0, 0}, {0, 1});
    ASSERT_TRUE(transformEntity(text, mirror));
    EXPECT_NEAR(std::cos(text.rotation * M_PI / 180), 1.0, 1e-9);  // still reads to the right
    EXPECT_EQ(text.hAlign, 2);  // ends where the original began, mirrored
    EXPECT_NEAR(text.end.x(), -2, 1e-9);
    const BBox box = boundingBox(doc, text);
    EXPECT_LE(box.x1, -2 + 1e-9);
    EXPECT_GT(box.x0, -6);
}

TEST(CadEditing, ExplodeKeepsThePicture) {
    Document doc;
    Block& b = doc.addBlock(QStringLiteral("DEV"), {0, 0});
    Entity frame = Entity::polyline({{{0, 0}, 0}, {{4, 0}, 1}, {{4, 2}, 0}}, true);
    frame.color = kColorByBlock;
    doc.add(b, frame);
    Entity onLayer = Entity::line({0, 0}, {4, 2});
    onLayer.layer = QStringLiteral("PINS");
    doc.add(b, onLayer);
    Entity ins = Entity::insert(QStringLiteral("DEV"), {10, 10}, 2, 2, 90);
    ins.layer = QStringLiteral("EQUIPMENT");
    ins.color = 3;
    ins.attributes.push_back(Entity::attribute({10, 9}, QStringLiteral("SYS"), "VTR-01", 1));
    ins.attributes.push_back(Entity::attribute({10, 8}, QStringLiteral("ID"), "42", 1));
    ins.attributes.back().attributeFlags = 1;  // invisible
    const Entity& insert = doc.addToModel(ins);

    const std::vector<Entity> parts = explodeInsert(doc, insert);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0].layer, QStringLiteral("EQUIPMENT"));
    EXPECT_EQ(parts[0].color, 3);
    EXPECT_EQ(parts[1].layer, QStringLiteral("PINS"));
    EXPECT_EQ(parts[2].kind, EntityKind::Text);
    EXPECT_EQ(parts[2].text, QStringLiteral("VTR-01"));
    // The parts lie where the insert drew its block.
    for (const Entity& p : {parts[0], parts[1]})
        for (QPointF s : samples(doc, p)) EXPECT_LT(distanceTo(doc, insert, s), 1e-6);

    const std::vector<Entity> pieces = explodePolyline(parts[0]);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[1].kind, EntityKind::Arc);
    for (const Entity& p : pieces)
        for (QPointF s : samples(doc, p)) EXPECT_LT(distanceTo(doc, parts[0], s), 1e-6);
}

TEST(CadEditing, EditorKeepsUndoAndIndexInStep) {
    Document doc;
    UndoStack undo(doc);
    SpatialIndex index;
    SpaceEditor ed(doc, doc.modelSpace(), &undo, &index);
    undo.setListener(indexListener(doc, doc.modelSpace(), index));
    const QString a = ed.add(Entity::line({0, 0}, {10, 0}));
    const QString c = ed.add(Entity::circle({20, 0}, 1));
    Entity other;
    other.kind = EntityKind::Other;
    other.detail.edit().typeName = QStringLiteral("WIPEOUT");
    const QString o = ed.add(other);

    EXPECT_EQ(ed.move({a, c, o, QStringLiteral("FFFF")}, {0, 5}),
              QStringList({o, QStringLiteral("FFFF")}));
    EXPECT_EQ(pointSearch(doc, doc.modelSpace(), index, {5, 5}, 0.1).handle, a);
    EXPECT_FALSE(pointSearch(doc, doc.modelSpace(), index, {5, 0}, 0.1).found());
    undo.undo();  // the move of both is one step
    EXPECT_EQ(pointSearch(doc, doc.modelSpace(), index, {5, 0}, 0.1).handle, a);
    EXPECT_EQ(doc.find(c)->start, QPointF(20, 0));

    const QStringList copies = ed.mirror({a}, {0, 2}, {1, 2}, true);
    ASSERT_EQ(copies.size(), 1);
    EXPECT_EQ(pointSearch(doc, doc.modelSpace(), index, {5, 4}, 0.1).handle, copies[0]);
    EXPECT_EQ(pointSearch(doc, doc.modelSpace(), index, {5, 0}, 0.1).handle, a);

    const QStringList pieces =
        ed.explode({ed.add(Entity::polyline({{{0, 20}}, {{5, 20}}, {{5, 25}}}, false))});
    EXPECT_EQ(pieces.size(), 2);
    undo.undo();
    EXPECT_EQ(doc.find(pieces[0]), nullptr);
    EXPECT_TRUE(pointSearch(doc, doc.modelSpace(), index, {5, 22}, 0.1).found());
}

TEST(CadEditing, BlockFromADrawingFile) {
    QTemporaryDir dir;
    Document part;
    part.setInsertionBase({1, 1});
    part.addLayer(Layer{QStringLiteral("PINS"), 3});
    Block& inner = part.addBlock(QStringLiteral("PIN"));
    part.add(inner, Entity::circle({0, 0}, 0.5));
    Entity l = Entity::line({1, 1}, {3, 1});
    l.layer = QStringLiteral("PINS");
    part.addToModel(l);
    part.addToModel(Entity::insert(QStringLiteral("PIN"), {3, 1}));
    const QString path = dir.filePath(QStringLiteral("JBOX_S.dxf"));
    saveDxf(part, path);

    Document doc;
    Block& b = addBlockFromFile(doc, path, QString());
    EXPECT_EQ(b.name, QStringLiteral("JBOX_S"));
    EXPECT_EQ(b.base, QPointF(1, 1));
    EXPECT_EQ(b.entities.size(), 2u);
    ASSERT_NE(doc.layer(QStringLiteral("pins")), nullptr);
    EXPECT_EQ(doc.layer(QStringLiteral("pins"))->color, 3);
    ASSERT_NE(doc.block(QStringLiteral("PIN")), nullptr);
    // Inserted at (10,10), the line starts on the insertion point.
    const Entity& ins = doc.addToModel(Entity::insert(QStringLiteral("jbox_s"), {10, 10}));
    EXPECT_LT(distanceTo(doc, ins, {10, 10}), 1e-9);
    EXPECT_LT(distanceTo(doc, ins, {12.5, 10}), 1e-9);  // the pin circle
    // Asking again keeps the block already there.
    EXPECT_EQ(&addBlockFromFile(doc, path, QStringLiteral("JBOX_S")), doc.block("JBOX_S"));
    EXPECT_THROW(addBlockFromFile(doc, dir.filePath("missing.dxf"), "X"), DxfError);
}
