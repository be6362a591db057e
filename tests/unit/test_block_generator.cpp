// Generated equipment blocks: their geometry in both layouts, names and versions, torn sides,
// pin colours and layers from the signal types, the whole generation on a drawing (tag,
// undo, cancel), and that cable-end probes find each pin's attribute on a placed block.
#include <gtest/gtest.h>

#include <QLineF>
#include <QtMath>

#include "cad/editing.h"
#include "db_fixture.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "drawings/standard_drawings.h"
#include "equipment/block_generator.h"
#include "script_fixture.h"
#include "text_layout.h"

using namespace tolvane;
using namespace tolvane::equipment;
using test::ScriptedUser;

namespace {

db::PinRecord pin(const char* name, const char* type = "AUD", const char* pinType = "Normal") {
    db::PinRecord p;
    p.name = QString::fromLatin1(name);
    p.type = QString::fromLatin1(type);
    p.conn = QStringLiteral("XLR");
    p.pinType = QString::fromLatin1(pinType);
    return p;
}

BlockRequest request(QList<db::PinRecord> inputs, QList<db::PinRecord> outputs,
                     BlockMode mode = BlockMode::Standard) {
    return {42, QStringLiteral("Halvern Audio"), QStringLiteral("DESK"), mode, inputs, outputs};
}

std::vector<cad::Entity> build(const BlockRequest& r, const BlockPreferences& p,
                               TearSides tear = {}) {
    return blockEntities(r, p, tear, [](const db::PinRecord&) { return PinStyle{}; });
}

const cad::Entity* find(const std::vector<cad::Entity>& es, const QString& tag) {
    for (const cad::Entity& e : es)
        if (e.kind == cad::EntityKind::AttributeDefinition && e.tag == tag) return &e;
    return nullptr;
}

std::vector<const cad::Entity*> ofKind(const std::vector<cad::Entity>& es, cad::EntityKind k) {
    std::vector<const cad::Entity*> out;
    for (const cad::Entity& e : es)
        if (e.kind == k) out.push_back(&e);
    return out;
}

// Answers the generation's dialogs as a test tells it to.
struct Dialogs : BlockDialogs {
    QList<std::optional<QString>> names;  // answers in turn; none left: the proposal
    QStringList proposed;
    TearSides tear;
    std::optional<QString> blockName(const QString& p) override {
        proposed << p;
        return names.isEmpty() ? std::optional<QString>(p) : names.takeFirst();
    }
    TearSides tearSides() override { return tear; }
};

}  // namespace

TEST(BlockGeometry, StandardAndDaLayouts) {
    BlockPreferences p;
    p.pinSpacing = 2;
    // No rows: the body is S high and carries only the block attributes.
    std::vector<cad::Entity> es = build(request({}, {}), p);
    ASSERT_EQ(es.size(), 8u);
    EXPECT_EQ(es[0].vertices[4].pos, QPointF(4, 2));
    EXPECT_DOUBLE_EQ(find(es, "SysName")->start.y(), 1.7);
    EXPECT_EQ(find(es, "Read Only EquipID")->text, QStringLiteral("42"));
    EXPECT_EQ(find(es, "Read Only PinWidth")->attributeFlags, 1);
    EXPECT_EQ(find(es, "Alias")->attributeFlags, 0);

    // Three inputs and one output, S = 1, W = 4, P = 1: four units high.
    p.pinSpacing = 1;
    es = build(request({pin("A"), pin("B"), pin("REF", "SYNC", "Loop")}, {pin("OUT")}), p);
    EXPECT_EQ(es[0].vertices[5].pos, QPointF(2, 4));
    EXPECT_EQ(find(es, "INPUT-1")->start, QPointF(0.5, 3));
    EXPECT_EQ(find(es, "INPUT-3")->start, QPointF(0.5, 1));
    EXPECT_EQ(find(es, "OUTPUT-1")->start, QPointF(3.5, 3));
    const auto lines = ofKind(es, cad::EntityKind::Line);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(QLineF(lines[1]->start, lines[1]->end), QLineF(-1, 2, 0, 2));
    EXPECT_EQ(QLineF(lines[3]->start, lines[3]->end), QLineF(4, 3, 5, 3));
    const auto arcs = ofKind(es, cad::EntityKind::Arc);
    ASSERT_EQ(arcs.size(), 1u);  // only the loop-through input
    EXPECT_EQ(arcs[0]->start, QPointF(0, 0.75));
    EXPECT_DOUBLE_EQ(arcs[0]->startAngle, qRadiansToDegrees(4.71));

    // DA: three inputs outgrow a height of 2; the pins sit round the middle height.
    p.height = 2;
    es = build(request({pin("A"), pin("B"), pin("C")}, {pin("O1"), pin("O2")}, BlockMode::DA), p);
    ASSERT_EQ(es[0].vertices.size(), 4);
    EXPECT_EQ(es[0].vertices[1].pos, QPointF(4, 2));
    EXPECT_EQ(find(es, "INPUT-1")->start, QPointF(0.5, 3));
    EXPECT_EQ(find(es, "INPUT-3")->start, QPointF(0.5, 1));
    EXPECT_DOUBLE_EQ(find(es, "O/P-1")->start.y(), 2.6);
    EXPECT_DOUBLE_EQ(find(es, "O/P-2")->start.y(), 1.6);
    EXPECT_EQ(find(es, "OUTPUT-1"), nullptr);
    p.height = 6;  // a tall DA block keeps its height
    es = build(request({pin("A")}, {}, BlockMode::DA), p);
    EXPECT_EQ(find(es, "INPUT-1")->start, QPointF(0.5, 3));
}

// Long pin names: the body grows (in whole units) where squeezing them into the preferred
// width would leave them illegible, the names of a row share the room between the sides, and
// no text overlaps another or crosses the body. Short names leave the preferred width alone.
TEST(BlockGeometry, LongPinNamesFitTheBody) {
    BlockPreferences p;  // W = 4
    const QList<db::PinRecord> ins = {pin("AUDIO IN 1 LEFT CHANNEL"), pin("AUDIO IN 2"),
                                      pin("REF", "SYNC", "Loop")};
    const QList<db::PinRecord> outs = {pin("AES OUT 1 PROGRAMME"), pin("AES OUT 2 PROGRAMME"),
                                       pin("MONITOR")};
    cad::Document doc;
    standard::addStandardStylesAndLayers(doc);
    const std::vector<cad::Entity> es = blockEntities(
        request(ins, outs), p, {}, [](const db::PinRecord&) { return PinStyle{}; }, &doc);
    const double w = es[0].vertices[2].pos.x();
    EXPECT_EQ(w, 6);
    EXPECT_EQ(standardWidth(request({pin("AUDIO IN 1")}, {pin("AES OUT 1")}), p, doc), 4);

    cad::Block& block = doc.addBlock(QStringLiteral("LONG"));
    for (const cad::Entity& e : es) doc.add(block, e);
    const cad::Entity& ins0 = doc.addToModel(cad::makeInsert(doc, QStringLiteral("LONG"), {}));
    std::vector<test::PlacedText> texts;
    std::vector<cad::Prim> ignoredLines;
    test::piecesOf(doc, ins0, &texts, &ignoredLines);
    const std::vector<cad::Prim> body = cad::primitives(doc, es[0]);
    EXPECT_EQ(test::collisions(texts, body).join(", ").toStdString(), "");
    // The names stay inside the body, half a unit in from its sides.
    for (const test::PlacedText& t : texts) {
        if (!t.name.startsWith(QLatin1String("INPUT-")) &&
            !t.name.startsWith(QLatin1String("OUTPUT-")))
            continue;
        EXPECT_GE(t.box.x0, 0.5 - 1e-9) << t.name.toStdString();
        EXPECT_LE(t.box.x1, w - 0.5 + 1e-9) << t.name.toStdString();
    }
}

TEST(BlockGeometry, TornSidesBulge) {
    const auto bulges = [](bool top, bool left, bool right, bool bottom) {
        const std::vector<cad::Entity> es = build(request({}, {}), {}, {top, left, right, bottom});
        QList<double> b;
        for (const cad::Vertex& v : es[0].vertices) b << v.bulge;
        return b;
    };
    EXPECT_EQ(bulges(true, true, false, false),
              (QList<double>{0, 0, 0, 0, -0.15, 0.15, -0.15, 0.15, 0}));
    EXPECT_EQ(bulges(false, false, true, true),
              (QList<double>{-0.15, 0.15, -0.15, 0.15, 0, 0, 0, 0, 0}));
}

TEST(BlockNames, VersionsRiseAndNamesAreCut) {
    cad::Document doc;
    QStringList names;
    for (int i = 0; i <= 10; ++i) {
        names << nextBlockName(doc, QStringLiteral("Halvern"), QStringLiteral("DESK"));
        doc.addBlock(names.last());
    }
    EXPECT_EQ(names.first(), QStringLiteral("Halvern-DESKv0"));
    EXPECT_EQ(names[10], QStringLiteral("Halvern-DESKv10"));
    for (int i = 11; i <= 100; ++i) doc.addBlock(QStringLiteral("Halvern-DESKv%1").arg(i));
    EXPECT_EQ(nextBlockName(doc, QStringLiteral("Halvern"), QStringLiteral("DESK")),
              QStringLiteral("Halvern-DESKv101"));
    EXPECT_EQ(
        nextBlockName(doc, QStringLiteral("Halvern Audio Ltd"), QStringLiteral("MX-2400 Console")),
        QStringLiteral("Halvern -MX-2400 v0"));
}

class BlockGeneration : public ::testing::Test {
  protected:
    void SetUp() override {
        dbs.makeEmpty(db::DbId::Equipment, registry);
        // A library written by other tools may hold one type twice ("dup" and "DUP" are one
        // type to the lookup) and colours as words: the table here has no unique index to
        // prevent the one, and a text column that takes the other.
        db::Query(db::DbId::Equipment,
                  "create table SignalDefault (key integer primary key, Type text, Color text, "
                  "CableNoPrefix text, CableManu text, CableType text)",
                  registry)
            .exec();
        for (auto [type, color] :
             {std::pair{"AUD", "3"}, {"VID", "Same As Layer"}, {"dup", "1"}, {"DUP", "2"}})
            db::Query(db::DbId::Equipment, "insert into SignalDefault (Type, Color) values (?, ?)",
                      registry)
                .bind(QString::fromLatin1(type))
                .bind(QString::fromLatin1(color))
                .exec();
    }
    db::Connections registry;
    test::TestDatabases dbs{db::Engine::SQLite};
    Dialogs dialogs;
};

TEST_F(BlockGeneration, PlacesATaggedInsertAsOneUndoStepOrNothingOnCancel) {
    ScriptedUser user("point 10,20\nbutton OK\nescape\n");
    BlockGenerator g(LibraryAccess(*user.ui, registry), dialogs);
    QStringList placed;
    g.placed = [&](const QString& kind) { placed << kind; };
    Drawing d;
    int listed = 0;
    QObject::connect(&d, &Drawing::blocksChanged, [&] { ++listed; });
    const QString insert = g.generate(&d, request({pin("A")}, {pin("B")}), BlockPreferences{});
    ASSERT_FALSE(insert.isEmpty());
    EXPECT_EQ(dialogs.proposed, QStringList{"Halvern -DESKv0"});
    // Its attributes and tag: the scenario block_create.
    const cad::Entity* e = d.document().find(insert);
    EXPECT_EQ(e->blockName, QStringLiteral("Halvern -DESKv0"));
    EXPECT_EQ(e->start, QPointF(10, 20));
    ASSERT_EQ(d.undo().undoCount(), 1);
    d.undo().undo();
    EXPECT_TRUE(d.document().modelSpace().entities.empty());

    // Cancel in the name dialog: no block. A taken name is refused and asked again; Escape at
    // the insertion point leaves the definition and places nothing.
    dialogs.names = {std::nullopt, QStringLiteral("Halvern -DESKv0"), QStringLiteral("MINE")};
    EXPECT_TRUE(g.generate(&d, request({}, {}), BlockPreferences{}).isEmpty());
    EXPECT_EQ(d.document().blocks().size(), 1u);
    EXPECT_TRUE(g.generate(&d, request({}, {}), BlockPreferences{}).isEmpty());
    EXPECT_NE(d.document().block(QStringLiteral("MINE")), nullptr);
    EXPECT_TRUE(d.document().modelSpace().entities.empty());
    EXPECT_FALSE(d.undo().inGroup());
    EXPECT_EQ(listed, 2);
    EXPECT_EQ(placed, QStringList{tag::kind::EquipmentBlock});
}

TEST_F(BlockGeneration, BlockPreferencesAreShownBeforeTheNameWhenAsked) {
    ScriptedUser user("button OK\n");
    BlockGenerator g(LibraryAccess(*user.ui, registry), dialogs);
    BlockPreferences p;
    p.width = 6;
    p.displayPrefs = true;
    dialogs.names = {std::nullopt};
    Drawing d;
    g.generate(&d, request({}, {}, BlockMode::DA), p);
    EXPECT_EQ(dialogs.proposed.size(), 1);
    EXPECT_EQ(user.lines().filter("Block width: 6").size(), 1);
    p.displayPrefs = false;
    dialogs.names = {std::nullopt};
    g.generate(&d, request({}, {}), p);  // the script has no answer for a second message
    EXPECT_EQ(dialogs.proposed.size(), 2);
}

TEST_F(BlockGeneration, PinColoursAndSignalLayers) {
    ScriptedUser user("button OK\nbutton Yes\nbutton No\nbutton OK\npoint 0,0\npoint 0,0\n");
    BlockGenerator g(LibraryAccess(*user.ui, registry), dialogs);
    int opened = 0;
    g.openSignalTypes = [&] { ++opened; };
    BlockPreferences p;
    p.pinSpacing = 3;
    p.coloredPins = p.signalLayers = true;
    Drawing d;
    // DA with spacing 3: told, then drawn with spacing 1.
    g.generate(&d,
               request({pin("A", "aud"), pin("B", "VID"), pin("C", "NEW"), pin("D", "NEW")},
                       {pin("E", "Dup")}, BlockMode::DA),
               p);
    const cad::Block* b = d.document().block(QStringLiteral("Halvern -DESKv0"));
    ASSERT_NE(b, nullptr);
    QList<int> colors;
    QStringList layers;
    for (const cad::Entity& e : b->entities)
        if (e.kind == cad::EntityKind::Line) {
            colors << e.color;
            layers << e.layer;
        }
    EXPECT_EQ(colors, (QList<int>{3, cad::kColorByLayer, cad::kColorByLayer, cad::kColorByLayer,
                                  cad::kColorByLayer}));
    EXPECT_EQ(layers, (QStringList{"aud_Pin", "VID_Pin", "NEW_Pin", "NEW_Pin", "Dup_Pin"}));
    EXPECT_NE(d.document().layer(QStringLiteral("NEW_No")), nullptr);
    EXPECT_EQ(opened, 1);
    const QStringList lines = user.lines();
    EXPECT_EQ(lines.filter("The Signal Type: NEW does not exist").size(), 2);
    EXPECT_EQ(lines.filter("More than one Signal Type definition with the Type Dup").size(), 1);

    // Without the two preferences pins are by layer on layer 0, and nothing is asked.
    p.coloredPins = p.signalLayers = false;
    g.generate(&d, request({pin("A", "NEW")}, {}), p);
    EXPECT_EQ(d.document().block(QStringLiteral("Halvern -DESKv1"))->entities[2].layer, "0");
    EXPECT_EQ(user.lines().filter("NEW does not exist").size(), 2);
}

// A cable's end resolution finds the block half a unit in from the end of a pin line, then
// probes beside it for the pin: there the topmost entity must be that pin's attribute,
// whatever the block's place, the pin width and the length of the names.
TEST_F(BlockGeneration, CableEndProbesFindThePinAttributes) {
    for (BlockMode mode : {BlockMode::Standard, BlockMode::DA}) {
        const bool da = mode == BlockMode::DA;
        for (int pinWidth : {1, 3}) {
            ScriptedUser user("point 12.5,-7\n");
            BlockGenerator g(LibraryAccess(*user.ui, registry), dialogs);
            BlockPreferences p;
            p.pinWidth = pinWidth;
            Drawing d;
            const QList<db::PinRecord> ins = {pin("IN 1"), pin("L", "AUD", "Loop"),
                                              pin("LEFT CHANNEL")};
            const QList<db::PinRecord> outs = {pin("OUT"), pin("R"), pin("PGM"),
                                               pin("MONITOR FEED"), pin("PROGRAMME OUT LEFT")};
            const QString insert = g.generate(&d, request(ins, outs, mode), p);
            ASSERT_FALSE(insert.isEmpty());
            const cad::Entity* e = d.document().find(insert);
            const cad::Block* b = d.document().block(e->blockName);
            const QPointF at = e->start;
            for (const cad::Entity& line : b->entities) {
                if (line.kind != cad::EntityKind::Line) continue;
                const bool input = line.start.x() < 0;
                const QPointF end = at + (input ? line.start : line.end);
                const double y = end.y();
                const QPointF probe = input ? QPointF(end.x() + pinWidth + 0.5, y)
                                      : da  ? QPointF(end.x() - pinWidth + 0.05, y + 0.3)
                                            : QPointF(end.x() - pinWidth - 0.7, y);
                // The pin whose line this is: the definition just before it.
                const cad::Entity& def = *(&line - 1);
                ASSERT_EQ(def.kind, cad::EntityKind::AttributeDefinition);
                // The block itself is searched for half a unit in from the end.
                const QPointF search = end + QPointF(input ? 0.5 : -0.5, 0);
                for (double aperture : {0.1, 0.02}) {
                    EXPECT_EQ(d.entityAt(search, aperture), insert)
                        << (da ? "DA " : "") << def.tag->toStdString() << " aperture " << aperture;
                    if (def.text.size() == 1 && aperture < 0.1) continue;
                    EXPECT_EQ(d.entityAt(probe, aperture), e->attribute(def.tag)->handle)
                        << (da ? "DA " : "") << def.tag->toStdString() << " width " << pinWidth
                        << " aperture " << aperture;
                }
            }
        }
    }
}
