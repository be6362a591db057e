// Cable end resolution on generated equipment blocks and on the standard blocks: which block
// names a cable may start or end at, the pins found beside a cable's ends and what the
// databases say about them, the jack placeholders, the automatic alias, and the refusals.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "cad/dxf.h"
#include "cad/editing.h"
#include "db/schema.h"
#include "db_fixture.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "drawings/standard_drawings.h"
#include "equipment/block_generator.h"
#include "equipment/equipment_models.h"
#include "equipment/manufacturers.h"
#include "script_fixture.h"
#include "shell/event_log.h"
#include "wiring/end_resolver.h"

using namespace tolvane;
using namespace tolvane::wiring;
using test::ScriptedUser;

namespace {

struct TakeProposals : equipment::BlockDialogs {
    std::optional<QString> blockName(const QString& p) override { return p; }
    equipment::TearSides tearSides() override { return {}; }
};

db::PinRecord pin(const char* name, const char* type) {
    db::PinRecord p;
    p.name = QString::fromLatin1(name);
    p.type = QString::fromLatin1(type);
    p.conn = QStringLiteral("BNC");
    p.pinType = QStringLiteral("Normal");
    return p;
}

cad::Entity cable(std::initializer_list<QPointF> points) {
    QList<cad::Vertex> vertices;
    for (QPointF p : points) vertices.append({p});
    return cad::Entity::polyline(vertices, false);
}

}  // namespace

// Each row names a block and what it may be at a source and at a destination: J a jack, B a
// J-box, R a router, E equipment, - refused. FN_JACK is no standard name: equipment.
TEST(EndKind, AcceptanceByBlockName) {
    const auto kind = [](QChar c) {
        const EndKind kinds[] = {EndKind::Jack, EndKind::JBox, EndKind::Router, EndKind::Equipment,
                                 EndKind::Refused};
        return kinds[QStringLiteral("JBRE-").indexOf(c)];
    };
    const QStringList rows = {
        "FN_JACK_SD JJ", "hn_jack_sd JJ", "JACK1_1_SD JJ",      "FN_JACK_S J-", "HN_JACK_S J-",
        "JACK1_1_S J-",  "FN_JACK_D -J",  "HN_JACK_D -J",       "JACK1_1_D -J", "JBOX_S BB",
        "JBOX_D BB",     "JBOX_1_S BB",   "JBOX_1_D BB",        "RTR_S R-",     "RTR_D -R",
        "POINTER_S -R",  "POINTER_D -R",  "Halvern -DESKv0 EE", "FN_JACK EE"};
    for (const QString& row : rows) {
        const QString block = row.section(' ', 0, -2), ends = row.section(' ', -1);
        EXPECT_EQ(endKind(block, End::Source), kind(ends[0])) << row.toStdString();
        EXPECT_EQ(endKind(block, End::Destination), kind(ends[1])) << row.toStdString();
    }
}

class EndResolution : public ::testing::Test {
  protected:
    void SetUp() override {
        for (db::DbId id : {db::DbId::Equipment, db::DbId::Project}) {
            dbs.makeEmpty(id, registry);
            db::ensureSchema(id, registry);
        }
        ScriptedUser quiet("");
        equipment::LibraryAccess access(*quiet.ui, registry);
        ASSERT_TRUE(equipment::Manufacturers(access).add({"HAL", "Halvern"}, true));
        model = equipment::EquipmentModels(access).add("HAL", "DESK", "", "VTR").value_or(0);
        ASSERT_GT(model, 0);
        addPin("tblOutputs", "PGM OUT", "HD-SDI", "BNC");
        addPin("tblInputs", "CAM 1", "HD-SDI", "BNC");
        addPin("tblInputs", "REF", "SYNC", "BNC-75");
        for (const char* name : {"FN_JACK_S", "FN_JACK_D", "FN_JACK_SD", "JBOX_S", "RTR_D"}) {
            const QString file = dir.filePath(QString::fromLatin1(name) + ".dxf");
            cad::saveDxf(standard::blockDrawing(QString::fromLatin1(name)), file);
            cad::addBlockFromFile(drawing.document(), file, QString::fromLatin1(name));
        }
    }
    void addPin(const char* table, const char* name, const char* type, const char* conn) {
        db::Query(db::DbId::Equipment,
                  QStringLiteral("insert into %1 (EquipmentID, Name, Type, conn) values (?, ?, ?, "
                                 "?)")
                      .arg(QLatin1String(table)),
                  registry)
            .bind(model)
            .bind(QString::fromLatin1(name))
            .bind(QString::fromLatin1(type))
            .bind(QString::fromLatin1(conn))
            .exec();
    }
    // A generated block of the model at `at`, named as a unit.
    QString unit(QPointF at, equipment::BlockMode mode = equipment::BlockMode::Standard) {
        ScriptedUser user(QStringLiteral("point %1,%2\n").arg(at.x()).arg(at.y()));
        TakeProposals dialogs;
        equipment::BlockGenerator g(equipment::LibraryAccess(*user.ui, registry), dialogs);
        equipment::BlockPreferences prefs;
        prefs.pinWidth = 2;
        const equipment::BlockRequest request{model,
                                              "Halvern",
                                              "DESK",
                                              mode,
                                              {pin("CAM 1", "HD-SDI"), pin("REF", "SYNC")},
                                              {pin("PGM OUT", "HD-SDI")}};
        const QString insert = g.generate(&drawing, request, prefs);
        for (const auto& [name, value] :
             {std::pair{"SysName", "VTR-01"}, {"Location", "CR.RACK 2"}, {"Alias", "MAIN|VTR"}})
            setAttribute(insert, name, value);
        return insert;
    }
    // Where the cable meets the pin line of `pinName` on the unit: the outer end.
    QPointF pinEnd(const QString& insert, const QString& pinName) {
        const cad::Entity* e = drawing.document().find(insert);
        const cad::Block* b = drawing.document().block(e->blockName);
        for (const cad::Entity& line : b->entities) {
            if (line.kind != cad::EntityKind::Line) continue;
            const cad::Entity& def = *(&line - 1);
            if (def.kind == cad::EntityKind::AttributeDefinition && def.text == pinName)
                return e->start + (line.start.x() < 0 ? line.start : line.end);
        }
        ADD_FAILURE() << "no pin " << pinName.toStdString();
        return {};
    }
    QString place(const char* block, QPointF at, const QString& jackfield = {}) {
        cad::Entity e = cad::makeInsert(drawing.document(), QString::fromLatin1(block), at);
        tag::tagEntity(e, tag::catalogueEntry(e.blockName)->kind, jackfield);
        return drawing.editor().add(std::move(e));
    }
    void setAttribute(const QString& insert, const char* tag, const QString& value) {
        drawing.editor().modify(insert, [&](cad::Entity& e) {
            for (cad::Entity& a : e.attributes)
                if (a.tag->compare(QLatin1String(tag), Qt::CaseInsensitive) == 0) a.text = value;
        });
    }
    QString resolve(End end, QPointF at, ScriptedUser& user, bool autoAlias = false) {
        EndResolver r(drawing, *user.ui, nullptr, {autoAlias, 0.1}, registry);
        return r.resolve(end, at);
    }

    QTemporaryDir dir;
    db::Connections registry;
    test::TestDatabases dbs{db::Engine::SQLite};
    Drawing drawing;
    qint64 model = 0;
};

// Outputs then inputs at a source, inputs only at a destination; DA blocks probe above the
// pin line; a deleted model is an orphan; a "|" inside an attribute shifts later fields.
TEST_F(EndResolution, EquipmentPinsFromTheLibrary) {
    for (auto mode : {equipment::BlockMode::Standard, equipment::BlockMode::DA}) {
        SCOPED_TRACE(mode == equipment::BlockMode::DA ? "DA" : "standard");
        const QString a = unit({10, 10}, mode);
        ScriptedUser user("");
        const QString source = resolve(End::Source, pinEnd(a, "PGM OUT"), user);
        EXPECT_EQ(source, "VTR-01|PGM OUT|BNC|CR.RACK 2|HD-SDI|MAIN|VTR");
        EXPECT_EQ(tag::field(source, 5), "MAIN");  // the format has no escaping
        EXPECT_EQ(resolve(End::Destination, pinEnd(a, "REF"), user),
                  "VTR-01|REF|BNC-75|CR.RACK 2|SYNC|MAIN|VTR");
        EXPECT_TRUE(user.transcript.isEmpty());
        drawing.editor().erase(a);
    }

    // An output listed only among the inputs still resolves at a source.
    db::Query(db::DbId::Equipment, "update tblOutputs set Name = 'OLD'", registry).exec();
    addPin("tblInputs", "PGM OUT", "AES", "XLR");
    const QString a = unit({40, 10});
    ScriptedUser quiet("");
    EXPECT_EQ(resolve(End::Source, pinEnd(a, "PGM OUT"), quiet),
              "VTR-01|PGM OUT|XLR|CR.RACK 2|AES|MAIN|VTR");

    // Outputs are never destinations; a deleted model leaves an orphan.
    db::Query(db::DbId::Equipment, "delete from tblInputs where Name = 'PGM OUT'", registry).exec();
    ScriptedUser orphan("button OK\nbutton OK\n");
    const QPointF out = pinEnd(a, "PGM OUT");
    EXPECT_EQ(resolve(End::Source, out, orphan), "");
    db::Query(db::DbId::Equipment, "delete from tblInputs", registry).exec();
    EXPECT_EQ(resolve(End::Destination, pinEnd(a, "CAM 1"), orphan), "");
    EXPECT_EQ(orphan.lines()
                  .filter("Unable to retrieve information from the source block.\\n"
                          "This may be because this block is orphaned")
                  .size(),
              1);
    EXPECT_EQ(orphan.lines().filter("from the destination block").size(), 1);

    // A pin width that is no number is refused with its value named.
    setAttribute(a, "Read Only PinWidth", "abc");
    ScriptedUser bad("button OK\n");
    EXPECT_EQ(resolve(End::Source, out, bad), "");
    EXPECT_TRUE(bad.transcript.contains("\"abc\" is not a number")) << bad.transcript.toStdString();
}

// The cable's own polyline beside its first vertex sends the source search up half a unit;
// a destination has no second try. Nothing at an end, or a block that refuses the end, gives
// an empty string without a message.
TEST_F(EndResolution, SearchRetryAndRefusals) {
    cad::Block& post = drawing.document().addBlock(QStringLiteral("POST"), {0, 0});
    drawing.document().add(post, cad::Entity::line({0, -1}, {0, 1}));
    drawing.editor().add(cad::makeInsert(drawing.document(), QStringLiteral("POST"), {10, 0}));
    drawing.editor().add(cable({{10, 0}, {8, 0}, {8, -3}}));
    ScriptedUser user("");
    EXPECT_EQ(resolve(End::Source, {10, 0}, user), "|||||");  // a block without pins
    drawing.editor().add(cable({{14, 5}, {12, 5}, {12, 2}, {10, 2}}));
    drawing.editor().add(cad::Entity::line({10.5, 1.5}, {10.5, 2.5}));  // not an insert
    EXPECT_EQ(resolve(End::Destination, {10, 2}, user), "");
    EXPECT_EQ(resolve(End::Source, {100, 100}, user), "");

    place("FN_JACK_S", {30, 0});
    place("RTR_D", {50, 0});
    EXPECT_EQ(resolve(End::Destination, {30, 0}, user), "");
    EXPECT_EQ(resolve(End::Source, {50, 0}, user), "");
    EXPECT_TRUE(user.transcript.isEmpty());
}

// A cable that reaches its pin across the block lies over the pin line and the pin's name
// beside its end: the block and the pin under it are found, never the cable itself.
TEST_F(EndResolution, CableCrossingItsOwnBlock) {
    const QString a = unit({10, 10});
    const QPointF in = pinEnd(a, "CAM 1");
    const QPointF out = pinEnd(a, "PGM OUT");
    // Into the input from the right, out of the output to the left, both drawn over the unit.
    drawing.editor().add(cable({in + QPointF(20, -6), in + QPointF(20, 0), in}));
    drawing.editor().add(cable({out, out - QPointF(20, 0), out - QPointF(20, 6)}));
    ScriptedUser user("");
    EXPECT_EQ(resolve(End::Destination, in, user), "VTR-01|CAM 1|BNC|CR.RACK 2|HD-SDI|MAIN|VTR");
    EXPECT_EQ(resolve(End::Source, out, user), "VTR-01|PGM OUT|BNC|CR.RACK 2|HD-SDI|MAIN|VTR");
    EXPECT_TRUE(user.transcript.isEmpty()) << user.transcript.toStdString();
    // Only a cable there and no block: nothing.
    drawing.editor().erase(a);
    EXPECT_EQ(resolve(End::Destination, in, user), "");
}

// Jacks read their jackfield row, or the placeholders before they are sent to one, or empty
// fields when the row is gone; J-boxes and routers read their own attributes; the automatic
// alias takes the block's name and writes it to the block.
TEST_F(EndResolution, JacksJBoxesAndRouters) {
    db::Query(db::DbId::Project,
              "insert into tblJF (JFID, JFSysName, JFLoc, JFEl, SignalType, RearConn) values (7, "
              "'VJF', 'MCR', 'R4', 'HD-SDI', 'BNC-M')",
              registry)
        .exec();
    const QString unsent = place("FN_JACK_S", {0, 0});
    const QString sent = place("FN_JACK_D", {20, 0}, QStringLiteral("7"));
    const QString gone = place("FN_JACK_SD", {40, 0}, QStringLiteral("999"));
    for (const QString& j : {unsent, sent, gone}) setAttribute(j, "JF", QStringLiteral("VJF-01"));
    setAttribute(sent, "A", "A");
    setAttribute(sent, "COL", "12");
    ScriptedUser user("");
    EXPECT_EQ(resolve(End::Source, {0, 0}, user), "VJF-01|B-1|Conn|Loc|Type|");
    EXPECT_EQ(resolve(End::Destination, {20, 0}, user), "VJF-01|A-12|BNC-M|MCR.R4|HD-SDI|");
    EXPECT_EQ(resolve(End::Source, {43.5, 0}, user), "VJF-01|B-1||||");
    // A jack of an earlier release has no alias attribute: it reads as empty.
    drawing.editor().modify(unsent, [](cad::Entity& e) {
        std::erase_if(e.attributes, [](const cad::Entity& a) { return a.tag == "Alias"; });
    });
    setAttribute(sent, "Alias", QStringLiteral("LINE 12"));
    EXPECT_EQ(resolve(End::Source, {0, 0}, user, true), "VJF-01|B-1|Conn|Loc|Type|VJF-01");
    EXPECT_EQ(resolve(End::Destination, {20, 0}, user, true),
              "VJF-01|A-12|BNC-M|MCR.R4|HD-SDI|LINE 12");

    const QString box = place("JBOX_S", {60, 0});
    for (const auto& [name, value] : {std::pair{"JB", "JB-03"}, {"CON", "4"}, {"BConn", "XLR-F"}})
        setAttribute(box, name, value);
    const QString router = place("RTR_D", {80, 0});
    for (const auto& [name, value] :
         {std::pair{"RTR", "RTR-01"}, {"AConn", "BNC"}, {"Alias", "MAIN ROUTER"}})
        setAttribute(router, name, value);
    EXPECT_EQ(resolve(End::Source, {60, 0}, user), "JB-03|B-4|XLR-F|||");
    EXPECT_EQ(resolve(End::Destination, {80, 0}, user, true), "RTR-01|A-1|BNC|||MAIN ROUTER");
    const int steps = drawing.undo().undoCount();
    EXPECT_EQ(resolve(End::Source, {60, 0}, user, true), "JB-03|B-4|XLR-F|||JB-03");
    EXPECT_EQ(drawing.document().find(box)->attribute("Alias")->text, "JB-03");
    EXPECT_EQ(drawing.undo().undoCount(), steps + 1);
}

// Log mode writes the start and the result of each resolution.
TEST_F(EndResolution, LogLines) {
    EventLog log(dir.path(), true);
    ScriptedUser user("");
    place("FN_JACK_S", {0, 0});
    EndResolver r(drawing, *user.ui, &log, {}, registry);
    r.source({0, 0});
    r.destination({5, 5});
    QFile f(dir.filePath(EventLog::fileName()));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(),
              QByteArray("Retreiving Source\r\nSource String: JF|B-1|Conn|Loc|Type|\r\n"
                         "Retreiving Destination\r\nGot Destination String: \r\n"));
}
