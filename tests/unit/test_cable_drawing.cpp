// Cable drawing on the standard blocks: the polyline, its number texts and tag between two
// picked ends, the signal type it takes (and the layers made for it), terminals and pointers
// placed on the fly, hand-drawn cables, and a cable given up at any point leaving the drawing
// as it was.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "cad/dxf.h"
#include "cad/editing.h"
#include "cad/geometry.h"
#include "db/schema.h"
#include "db_fixture.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "drawings/standard_drawings.h"
#include "script_fixture.h"
#include "wiring/cable_drawing.h"

using namespace tolvane;
using namespace tolvane::wiring;
using test::ScriptedUser;

namespace {

QList<QPointF> points(const cad::Entity& e) {
    QList<QPointF> out;
    for (const cad::Vertex& v : e.vertices) out << v.pos;
    return out;
}

}  // namespace

class CableDrawing : public ::testing::Test {
  protected:
    void SetUp() override {
        for (db::DbId id : {db::DbId::Equipment, db::DbId::Project}) {
            dbs.makeEmpty(id, registry);
            db::ensureSchema(id, registry);
        }
        db::Query(db::DbId::Equipment,
                  "insert into SignalDefault (Type, Color) values ('DGA', 6), ('AUD', 256), "
                  "('VID', 2)",
                  registry)
            .exec();
        db::Query(db::DbId::Project,
                  "insert into tblJF (JFID, JFSysName, JFLoc, JFEl, SignalType, RearConn) values "
                  "(7, 'AJF', 'MCR', 'R1', 'AUD', 'XLR')",
                  registry)
            .exec();
        for (const char* name : {"FN_JACK_S", "FN_JACK_D", "HN_JACK_S", "JBOX_S", "JBOX_D", "RTR_D",
                                 "POINTER_S", "POINTER_D"}) {
            const QString file = dir.filePath(QString::fromLatin1(name) + ".dxf");
            cad::saveDxf(standard::blockDrawing(QString::fromLatin1(name)), file);
            cad::addBlockFromFile(drawing.document(), file, QString::fromLatin1(name));
        }
        options.repeat = false;
        options.warnSignal = true;
        options.colorLine = true;
        options.colorText = true;
    }
    QString place(const char* block, QPointF at, const QString& jackfield = {}) {
        cad::Entity e = cad::makeInsert(drawing.document(), QString::fromLatin1(block), at);
        tag::tagEntity(e, tag::catalogueEntry(e.blockName)->kind, jackfield);
        return drawing.editor().add(std::move(e));
    }
    void setAttribute(const QString& insert, const char* tagName, const QString& value) {
        drawing.editor().modify(insert, [&](cad::Entity& e) {
            for (cad::Entity& a : e.attributes)
                if (a.tag->compare(QLatin1String(tagName), Qt::CaseInsensitive) == 0)
                    a.text = value;
        });
    }
    CableDrawer::Outcome draw(ScriptedUser& user, std::optional<Terminal> terminal = {}) {
        test::CommandLineHost host(*user.ui);
        user.ui->setHost(&host);
        CableDrawer drawer(drawing, *user.ui, nullptr, options, registry);
        drawer.linkPointers = linkPointers;
        const CableDrawer::Outcome outcome = drawer.drawOne(terminal);
        drawn = drawer.drawn();
        return outcome;
    }
    const cad::Entity& entity(const QString& handle) {
        const cad::Entity* e = drawing.document().find(handle);
        EXPECT_NE(e, nullptr) << handle.toStdString();
        static const cad::Entity none;
        return e ? *e : none;
    }
    // A polyline carrying only the end strings, with its two number texts.
    QString taggedCable(const QString& src, const QString& dst) {
        cad::SpaceEditor ed = drawing.editor();
        cad::Entity line = cad::Entity::polyline({{{0, 0}}, {{5, 0}}}, false);
        tag::tagEntity(line, tag::kind::Cable, {}, {}, {}, {}, {}, src, dst);
        const QString h = ed.add(std::move(line));
        const QString a = ed.add(cad::Entity::textAt({0, 0}, "Cable #", 0.25));
        const QString b = ed.add(cad::Entity::textAt({5, 0}, "Cable #", 0.25));
        ed.modify(h, [&](cad::Entity& e) { tag::setAssoc(e, a + "|" + b); });
        return h;
    }

    QTemporaryDir dir;
    db::Connections registry;
    test::TestDatabases dbs{db::Engine::SQLite};
    Drawing drawing;
    CableOptions options;
    std::function<bool(const QString&, const QString&)> linkPointers;
    QList<DrawnCable> drawn;
};

// Out of a J-box, into a jack of a jackfield: four vertices turning at the middle, number
// texts beside the ends, the tag naming both ends and both texts, the jack's signal type (the
// J-box has none: nothing is asked), and all of it one undo step. The number texts' place,
// style and tag are listed by cable_draw.scr.
TEST_F(CableDrawing, CableBetweenPickedEnds) {
    const QString box = place("JBOX_S", {0, 0});
    setAttribute(box, "JB", "JB-01");
    place("FN_JACK_D", {10, 4}, "7");
    const int steps = drawing.undo().undoCount();
    ScriptedUser user("point 0,0\npoint 10,4\n");
    ASSERT_EQ(draw(user), CableDrawer::Outcome::Drawn) << user.transcript.toStdString();
    ASSERT_EQ(drawn.size(), 1);
    const cad::Entity& cable = entity(drawn[0].polyline);
    EXPECT_EQ(points(cable), (QList<QPointF>{{0, 0}, {5, 0}, {5, 4}, {10, 4}}));
    EXPECT_EQ(tag::kindOf(cable), tag::kind::Cable);
    EXPECT_EQ(tag::src(cable), "JB-01|B-1||||");
    EXPECT_EQ(tag::dst(cable), "JF|-1|XLR|MCR.R1|AUD|");
    EXPECT_EQ(tag::assoc(cable), drawn[0].sourceText + "|" + drawn[0].destinationText);
    EXPECT_EQ(cable.tooltip, "Double-click this cable\r\nto assign it to the database");
    EXPECT_EQ(cable.layer, "AUD");
    EXPECT_EQ(cable.color, cad::kColorByLayer);  // "Same As Layer"
    for (const QString& text : {drawn[0].sourceText, drawn[0].destinationText})
        EXPECT_EQ(entity(text).layer, "AUD_No");
    EXPECT_FALSE(user.transcript.contains("MESSAGE")) << user.transcript.toStdString();
    EXPECT_EQ(drawing.undo().undoCount(), steps + 1);
    drawing.undo().undo();
    EXPECT_EQ(drawing.document().find(drawn[0].polyline), nullptr);
    EXPECT_EQ(drawing.document().find(drawn[0].destinationText), nullptr);
}

// The type the ends agree on, else the source's when it has one, else the destination's; the
// placeholder "Type" counts as none, and an end without a type (a terminal placed on the fly,
// a pointer) takes the other's without a question: only two real types that differ are
// announced. Its three layers are made by the first cable only; the preferences decide what
// is coloured.
TEST_F(CableDrawing, SignalTypeRules) {
    struct Row {
        const char *source, *destination;
        bool warn;
        const char* layer;  // "" : left as drawn
        int color;
        const char* said;
    };
    const Row rows[] = {
        {"DGA", "DGA", true, "DGA", 6, ""},
        {"DGA", "VID", true, "DGA", 6,
         "MESSAGE [OK] Tolvane | Signal Types do not match. Using source"},
        {"VID", "DGA", true, "VID", 2, "Using source Signal Type"},
        {"Type", "VID", true, "VID", 2, ""},
        {"VID", "", true, "VID", 2, ""},
        {"Type", "VID", false, "VID", 2, ""},
        {"", "NEW", true, "NEW", cad::kColorByLayer, ""},  // no row: no colour
        {"Type", "Type", true, "", cad::kColorByLayer,
         "HISTORY Unable to retrieve any Signal Type."},
        {"", "", false, "", cad::kColorByLayer, "Unable to retrieve any Signal Type."},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.source) + " -> " + r.destination);
        options.warnSignal = r.warn;
        const QString h = taggedCable(QStringLiteral("S|1|C|L|%1|").arg(r.source),
                                      QStringLiteral("D|2|C|L|%1|").arg(r.destination));
        ScriptedUser user(r.warn ? "button OK\n" : "");
        CableDrawer(drawing, *user.ui, nullptr, options, registry).signalize(h);
        const cad::Entity& cable = entity(h);
        EXPECT_EQ(cable.layer, *r.layer ? QString::fromLatin1(r.layer) : QStringLiteral("0"));
        EXPECT_EQ(cable.color, r.color);
        if (*r.said)
            EXPECT_TRUE(user.transcript.contains(QLatin1String(r.said)))
                << user.transcript.toStdString();
        else
            EXPECT_TRUE(user.transcript.isEmpty()) << user.transcript.toStdString();
    }
    EXPECT_EQ(drawing.document().layer("Type"), nullptr);

    // Layers: three for a new type, none for the second cable; "_NO" written by others is the
    // same layer as "_No".
    drawing.document().addLayer(cad::Layer{QStringLiteral("AUD_NO")});
    const int before = int(drawing.document().layers().size());
    options.colorText = false;
    ScriptedUser quiet("");
    CableDrawer drawer(drawing, *quiet.ui, nullptr, options, registry);
    const QString first = taggedCable("S|1|C|L|AUD|", "D|2|C|L|AUD|");
    drawer.signalize(first);
    EXPECT_EQ(drawing.document().layers().size(), before + 2);  // AUD and AUD_PIN
    drawer.signalize(taggedCable("S|1|C|L|AUD|", "D|2|C|L|AUD|"));
    EXPECT_EQ(drawing.document().layers().size(), before + 2);
    const QString text = tag::assoc(entity(first)).section('|', 0, 0);
    EXPECT_EQ(entity(text).layer, "AUD_NO");
    EXPECT_EQ(entity(text).color, cad::kColorByLayer);  // colour for lines only

    options.colorLine = false;
    const QString plain = taggedCable("S|1|C|L|DGA|", "D|2|C|L|DGA|");
    CableDrawer(drawing, *quiet.ui, nullptr, options, registry).signalize(plain);
    EXPECT_EQ(entity(plain).layer, "0");
    EXPECT_EQ(entity(tag::assoc(entity(plain)).section('|', 1)).layer, "DGA_No");
}

// Whatever ends a cable early (Escape at any prompt, No to the question, Enter before a
// hand-drawn cable has two vertices, a database that fails) leaves the drawing as it was,
// the alias written at the source included.
TEST_F(CableDrawing, NothingLeftWhenGivenUp) {
    const QString box = place("JBOX_S", {0, 0});
    setAttribute(box, "JB", "JB-01");
    options.autoAlias = true;
    const Terminal jack{TerminalKind::Jack, End::Destination, "FN"};
    const Terminal router{TerminalKind::Router, End::Destination, {}};
    struct Case {
        const char* script;
        std::optional<Terminal> terminal;
        bool manual;
    };
    const Case cases[] = {
        {"escape\n", {}, false},
        {"point 50,50\nbutton No\n", {}, false},
        {"point 0,0\nescape\n", {}, false},
        {"point 0,0\npoint 60,60\nbutton No\n", {}, false},
        {"point 0,0\nescape\n", jack, false},
        {"point 0,0\npoint 5,0\nescape\n", router, false},
        {"point 0,0\npoint 3,3\npoint 3,6\nescape\n", {}, true},
        {"point 0,0\nenter\n", {}, true},
    };
    const size_t entities = drawing.document().modelSpace().entities.size();
    const int steps = drawing.undo().undoCount();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        options.manualDraw = c.manual;
        ScriptedUser user(QString::fromLatin1(c.script));
        EXPECT_EQ(draw(user, c.terminal), CableDrawer::Outcome::Ended);
        EXPECT_EQ(drawing.document().modelSpace().entities.size(), entities);
        EXPECT_EQ(drawing.undo().undoCount(), steps);
        EXPECT_EQ(entity(box).attribute("Alias")->text, "");
    }

    // The signal types cannot be read once the cable is drawn: nothing of it stays.
    db::Query(db::DbId::Equipment, "drop table SignalDefault", registry).exec();
    place("FN_JACK_D", {10, 4}, "7");
    const size_t withJack = drawing.document().modelSpace().entities.size();
    ScriptedUser user("point 0,0\npoint 10,4\nbutton OK\n");
    EXPECT_ANY_THROW(draw(user));
    EXPECT_EQ(drawing.document().modelSpace().entities.size(), withJack);
    EXPECT_EQ(entity(box).attribute("Alias")->text, "");
}

// Terminals by style and end; one placed beside the other end, and a jack source whose
// number stands beyond its body; pointers splitting a cable, linked after both cables are
// drawn. (A cable drawn by hand: cable_draw.scr.)
TEST_F(CableDrawing, TerminalsAndPointersPlacedOnTheFly) {
    EXPECT_EQ(terminalBlock({TerminalKind::Jack, End::Destination, "J"}), "JACK1_1_D");
    EXPECT_EQ(terminalBlock({TerminalKind::Jack, End::Source, "hn"}), "HN_JACK_S");
    EXPECT_EQ(terminalBlock({TerminalKind::JBox, End::Source, "JB_1"}), "JBOX_1_S");
    EXPECT_EQ(terminalBlock({TerminalKind::Router, End::Destination, {}}), "RTR_D");
    EXPECT_EQ(terminalBlock({TerminalKind::Pointer, End::Source, {}}), "POINTER_S");
    EXPECT_EQ(terminalBlock({TerminalKind::Jack, End::Source, "JB"}), "");

    place("JBOX_D", {30, 0});
    options.autoPlace = true;
    options.distance = 4;
    options.warnSignal = false;
    ScriptedUser user("point 30,0\n");
    ASSERT_EQ(draw(user, Terminal{TerminalKind::Jack, End::Source, "FN"}),
              CableDrawer::Outcome::Drawn);
    const cad::Entity& cable = entity(drawn[0].polyline);
    EXPECT_EQ(points(cable).first(), QPointF(26, 0));
    EXPECT_EQ(tag::src(cable), "JF|B-1|Conn|Loc|Type|");
    const cad::Entity& number = entity(drawn[0].sourceText);
    EXPECT_EQ(number.end, QPointF(26 - 2.5 - 0.1, 0.03));  // beyond the jack body
    EXPECT_EQ(number.layer, "CABLES");
    EXPECT_EQ(entity(drawn[0].destinationText).end, QPointF(29.9, 0.03));  // too short a run

    options.autoPlace = false;
    options.autoPoint = true;
    options.distance = 2;
    QStringList linked;
    linkPointers = [&](const QString& a, const QString& b) {
        linked << entity(a).blockName << entity(b).blockName;
        return false;
    };
    place("JBOX_S", {0, 10});
    place("FN_JACK_D", {20, 14}, "7");
    ScriptedUser split("point 0,10\npoint 20,14\nbutton OK\n");
    ASSERT_EQ(draw(split), CableDrawer::Outcome::Drawn);
    ASSERT_EQ(drawn.size(), 2);
    EXPECT_EQ(points(entity(drawn[0].polyline)).last(), QPointF(2, 10));
    EXPECT_EQ(points(entity(drawn[1].polyline)).first(), QPointF(18, 14));
    EXPECT_EQ(tag::dst(entity(drawn[1].polyline)), "JF|-1|XLR|MCR.R1|AUD|");
    EXPECT_EQ(entity(drawn[1].polyline).tooltip,
              "Double-click the other side of this cable\r\nto assign it to the database");
    EXPECT_EQ(linked, (QStringList{"POINTER_D", "POINTER_S"}));
    EXPECT_TRUE(split.transcript.contains("MESSAGE [OK] Tolvane | unable to link pointers"));
    EXPECT_TRUE(split.transcript.contains("HISTORY Unable to link pointers"));
}

// A cable split by pointers at a short distance runs only that far into its pointer: its two
// numbers, measured as the assigned numbers they become, do not overlap (the destination's
// stands below the cable); a run long enough keeps them side by side on the cable.
TEST_F(CableDrawing, NumbersOfAShortCableDoNotOverlap) {
    options.autoPoint = true;
    linkPointers = [](const QString&, const QString&) { return true; };
    const auto box = [this](const QString& handle) {
        cad::Entity t = entity(handle);
        t.text = "AUD-00123";
        return cad::boundingBox(cad::textBox(drawing.document(), t));
    };
    for (double distance : {1.0, 2.0, 6.0}) {
        SCOPED_TRACE(distance);
        options.distance = distance;
        const double y = 10 * distance;
        place("JBOX_S", {0, y});
        place("JBOX_D", {30, y});
        ScriptedUser user(QStringLiteral("point 0,%1\npoint 30,%1\n").arg(y));
        ASSERT_EQ(draw(user), CableDrawer::Outcome::Drawn) << user.transcript.toStdString();
        ASSERT_EQ(drawn.size(), 2);
        for (const DrawnCable& c : drawn) {
            const cad::BBox from = box(c.sourceText), to = box(c.destinationText);
            EXPECT_FALSE(from.intersects(to));
            // Both stand beside their cable's run, within a line's height of it.
            EXPECT_LT(std::abs(to.y0 - y), 0.6);
        }
        const double belowY = entity(drawn[0].destinationText).end.y();
        if (distance < 6)
            EXPECT_LT(belowY, y);
        else
            EXPECT_DOUBLE_EQ(belowY, y + 0.03);
    }
}
