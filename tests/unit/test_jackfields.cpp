// Project jackfields: positions lettered and numbered from the start values, numbers shown
// with two digits, sizes refused before anything is written, and the placement of a build.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "cad/dxf.h"
#include "cad/editing.h"
#include "db/schema.h"
#include "db_fixture.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "drawings/standard_drawings.h"
#include "front/script_ui.h"
#include "jackfields/jack_assignment.h"
#include "jackfields/jackfield_library.h"
#include "jackfields/jackfield_project.h"
#include "script_fixture.h"

using namespace tolvane;
using namespace tolvane::jackfields;

namespace {

ProjectJackfield named(const char* sysName, qint64 number = 1, int columnStart = 1) {
    ProjectJackfield jf;
    jf.sysName = sysName;
    jf.number = number;
    jf.columnStart = columnStart;
    return jf;
}

}  // namespace

class Jackfields : public ::testing::Test {
  protected:
    void SetUp() override {
        for (db::DbId id : {db::DbId::Project, db::DbId::Equipment}) {
            dbs.makeEmpty(id, registry);
            db::ensureSchema(id, registry);
        }
    }
    void exec(const char* sql) { db::Query(db::DbId::Project, sql, registry).exec(); }
    // The drawing gets the catalogue blocks a build uses.
    void addBlocks(Drawing& drawing, QStringList names = {"JACK1_1_SD", "JACK1_1_S", "JACK1_1_D"}) {
        for (const QString& name : names) {
            const QString file = dir.filePath(name + ".dxf");
            cad::saveDxf(standard::blockDrawing(name), file);
            cad::addBlockFromFile(drawing.document(), file, name);
        }
    }
    QStringList blocksOf(const Drawing& drawing) {
        QStringList out;
        for (const cad::Entity& e : drawing.document().modelSpace().entities)
            out << e.blockName + "@" + formatPoint(e.start);
        return out;
    }
    QString rows(const char* sql, db::DbId id = db::DbId::Project) {
        db::Query q(id, sql, registry);
        q.exec();
        QStringList out;
        while (q.next()) out << q.value(0).toString();
        return out.join(' ');
    }
    db::Connections registry;
    test::TestDatabases dbs{db::Engine::SQLite};
    QTemporaryDir dir;
};

// A 2 x 24 model starting at A and 1 gives 48 positions, rows A and B numbered 01 and 02,
// columns 01 to 24; the next number of the name follows; a K start on three rows gives K to
// M; a size or start letter that cannot be lettered is refused before anything is written.
// (The count of positions, the last column and the start letter "1" refused: jackfield_send.scr.)
TEST_F(Jackfields, AssignmentWritesEveryPosition) {
    EXPECT_EQ(twoDigits(123), "123");
    EXPECT_EQ(rowStartLetter("k9"), QChar('K'));
    EXPECT_EQ(rowStartLetter(""), std::nullopt);

    JackfieldProject project(registry);
    EXPECT_EQ(project.nextNumber("JF \"A\""), 1);
    const JackfieldModel model{3, "PB-48", 2, 24, "TT", "EDAC"};
    ProjectJackfield jf;
    jf.sysName = "JF \"A\"";
    ASSERT_EQ(refusal(model, jf), "");
    const qint64 id = project.assign(model, jf);
    EXPECT_TRUE(project.exists(jf.sysName, 1));
    EXPECT_EQ(project.nextNumber(jf.sysName), 2);
    EXPECT_EQ(rows("select distinct JFRow || JFRowNumber from tblJFRowCol order by 1"), "A1 B2");
    EXPECT_EQ(rows("select JFCol from tblJFRowCol where JFRow = 'B' order by RowColID limit 3"),
              "01 02 03");
    EXPECT_EQ(rows("select RearConn || JFRows || JFCols || RowStartLetter from tblJF"), "EDAC224A");
    EXPECT_EQ(rows("select count(distinct JFID) from tblJFRowCol"), "1");
    EXPECT_EQ(id, rows("select JFID from tblJF").toLongLong());

    jf.number = 2;
    jf.rowStart = 'K';
    project.assign(JackfieldModel{3, "PB-3", 3, 2, "", ""}, jf);
    EXPECT_EQ(rows("select distinct JFRow from tblJFRowCol where JFID <> 1 order by 1"), "K L M");

    for (const auto& [model, start] : {std::pair{JackfieldModel{3, "none", 0, 24, "", ""}, 'A'},
                                       {JackfieldModel{3, "cols", 2, 0, "", ""}, 'A'},
                                       {JackfieldModel{3, "tall", 30, 2, "", ""}, 'A'},
                                       {JackfieldModel{3, "late", 3, 2, "", ""}, 'Y'},
                                       {JackfieldModel{3, "huge", 2, 100000, "", ""}, 'A'}}) {
        jf.rowStart = QChar(start);
        EXPECT_NE(refusal(model, jf), "") << model.name.toStdString();
    }
}

// In one line a spacing apart; an individual build continues the line with the second row's
// blocks. (Separated, every second jack 5 to the right half a spacing on: jackfield_send.scr
// and BuildAsked.)
TEST_F(Jackfields, BuildLayout) {
    BuildChoice choice;
    choice.spacing = 2;
    QList<JackPlacement> p = buildLayout(3, {10, 20}, choice);
    ASSERT_EQ(p.size(), 3);
    EXPECT_EQ(p[0].block, "JACK1_1_SD");
    EXPECT_EQ(p[2].at, QPointF(10, 24));
    EXPECT_EQ(p[2].rows, (QList<int>{0, 1}));

    choice = BuildChoice{"FN", JackSide::Both, true, false, -1.5};
    p = buildLayout(2, {0, 0}, choice);
    ASSERT_EQ(p.size(), 4);
    EXPECT_EQ(p[1].block, "FN_JACK_s");
    EXPECT_EQ(p[2].block, "FN_JACK_d");
    EXPECT_EQ(p[2].column, 0);
    EXPECT_EQ(p[2].rows, QList<int>{1});
    EXPECT_EQ(p[3].at, QPointF(0, -4.5));
    EXPECT_EQ(
        buildLayout(1, {}, BuildChoice{"HN", JackSide::Destination, false, false, 1})[0].block,
        "HN_JACK_D");
}

// A built 2 x 3 jackfield: one two-row jack per column (its letters, name, column, connectors
// and tag are listed by jackfield_send.scr), its positions recording the sheet; one undo step
// takes the jacks away. A drawing without the jack block is told and nothing is half built.
TEST_F(Jackfields, BuildIntoDrawing) {
    Drawing drawing;
    addBlocks(drawing, {"JACK1_1_SD"});
    drawing.setPath(dir.filePath("rack.dxf"));
    const qint64 id = JackfieldProject(registry).assign(
        JackfieldModel{3, "PB-6", 2, 3, "TT", "EDAC"}, named("PB", 7));

    test::ScriptedUser user("");
    BuildChoice choice;
    choice.spacing = 2.5;
    const QStringList jacks =
        buildJackfield(drawing, *user.ui, id, {10, 0}, choice, true, registry);
    ASSERT_EQ(jacks.size(), 3);
    EXPECT_EQ(drawing.document().find(jacks[2])->start, QPointF(10, 5));
    EXPECT_EQ(rows("select distinct Sheet || assigned from tblJFRowCol"), "rack.dxf1");
    ASSERT_TRUE(drawing.undo().undo());
    EXPECT_TRUE(drawing.document().modelSpace().entities.empty());

    // Cancel pressed while the build shows its progress (here after the first jack): neither
    // a jack nor a marked position is left, and the progress display ends.
    exec("update tblJFRowCol set Sheet = null, assigned = 0");
    struct CancelAfterOne : ScriptUi {
        using ScriptUi::ScriptUi;
        bool progress(const QString& text, qint64 done, qint64 total) override {
            ScriptUi::progress(text, done, total);
            return total <= 0 || done < 1;
        }
    };
    QString said;
    QTextStream out(&said);
    CancelAfterOne cancelling(parseScript(""), out);
    EXPECT_TRUE(buildJackfield(drawing, cancelling, id, {10, 0}, choice, true, registry).isEmpty());
    EXPECT_TRUE(drawing.document().modelSpace().entities.empty());
    EXPECT_EQ(rows("select count(*) from tblJFRowCol where assigned"), "0");
    EXPECT_TRUE(
        said.contains("HISTORY Building Jack Field cancelled: nothing was placed.\n"
                      "STATUS Building Jack Field done"))
        << said.toStdString();

    // Individual jacks need the single blocks, which this drawing lacks.
    test::ScriptedUser told("button OK\n");
    choice.individual = true;
    EXPECT_TRUE(buildJackfield(drawing, *told.ui, id, {0, 0}, choice, false, registry).isEmpty());
    EXPECT_TRUE(told.transcript.contains("Errors Occurred. Operation Aborted"));
    EXPECT_TRUE(drawing.document().modelSpace().entities.empty());
}

// A jack tied by hand to a column: both rows on a two-row jackfield, re-marking positions
// another sheet held; a jack without the "B" attribute leaves row B untied. (The jack's
// attributes and tag, and removing one jackfield of a name: jack_assign.scr.)
TEST_F(Jackfields, AssignJack) {
    Drawing drawing;
    addBlocks(drawing, {"JACK1_1_SD"});
    cad::Block& half = drawing.document().addBlock("HALF");
    drawing.document().add(half, cad::Entity::attributeDefinition({0, 0}, "A", "", "", 0.2));
    drawing.setPath(dir.filePath("b.dxf"));
    JackfieldProject project(registry);
    for (qint64 number : {1, 2})
        project.assign(JackfieldModel{3, "PB-6", 2, 3, "TT", "EDAC"}, named("PB", number, 8));
    exec("update tblJFRowCol set assigned = true, Sheet = 'a.dxf' where JFCol = '09'");

    const QList<db::JackfieldRecord> all = projectJackfields(registry);
    ASSERT_EQ(all.size(), 2);
    EXPECT_EQ(systemNames(all), QStringList{"PB"});
    EXPECT_EQ(columnsOf(positionsOf(all[0].id, registry)), (QStringList{"08", "09", "10"}));

    const auto placeJack = [&](const char* block, QPointF at) {
        const QString h = drawing.placeBlock(block, at);
        drawing.editor().modify(h, [](cad::Entity& e) { tag::tagEntity(e, tag::kind::Jack); });
        return h;
    };
    const QString jack = placeJack("JACK1_1_SD", {0, 0});
    assignJack(drawing, jack, all[0], "09", true, registry);
    EXPECT_EQ(rows("select Sheet from tblJFRowCol where JFCol = '09' order by JFID, JFRow"),
              "b.dxf b.dxf a.dxf a.dxf");

    const QString other = placeJack("HALF", {5, 0});
    assignJack(drawing, other, all[1], "10", false, registry);
    EXPECT_EQ(tag::ref3(*drawing.document().find(other)), "");
    EXPECT_EQ(rows("select JFRow || assigned from tblJFRowCol where JFID = 2 and JFCol = '10' "
                   "order by JFRow"),
              "A1 B0");

    // Tied again elsewhere, the jack frees the positions it stood for; a line is no jack.
    assignJack(drawing, jack, all[1], "08", false, registry);
    EXPECT_EQ(rows("select count(*) from tblJFRowCol where JFID = 1 and assigned"), "0");
    const QString line = drawing.editor().add(cad::Entity::line({0, 0}, {1, 0}));
    test::ScriptedUser user("button OK\n");
    EXPECT_EQ(jackToAssign(drawing, *user.ui, {}, {line}, 0.1), "");
    EXPECT_TRUE(user.transcript.contains("Not a valid Jack"));
    EXPECT_EQ(jackToAssign(drawing, *user.ui, jack, {}, 0.1), jack);
}

// Models are added with a name as typed (quotes are data), refused without a name, without a
// row or column or twice under one name; a bad size or physical value is told and leaves the
// stored values; deleting asks and leaves the project jackfields made from the model.
TEST_F(Jackfields, LibraryModels) {
    db::Query(db::DbId::Equipment,
              "insert into tblManufacturers (ManufacturerID, ManufacturerName, "
              "DisplayInJackFields) values ('ADC', 'ADC', 1)",
              registry)
        .exec();
    test::ScriptedUser user(
        "button OK\nbutton OK\nbutton OK\nbutton OK\nbutton OK\nbutton Cancel\nbutton OK\n");
    JackfieldLibrary library(equipment::LibraryAccess(*user.ui, registry));
    const QString quoted = "PB \"96\" 'mid'";
    EXPECT_FALSE(library.add("ADC", " ", "", {"2", "24", "", ""}));
    EXPECT_FALSE(library.add("ADC", "PB-0", "", {"0", "24", "", ""}));
    EXPECT_FALSE(library.add("ADC", "PB-X", "", {"2", "x", "", ""}));
    const std::optional<qint64> id = library.add("ADC", quoted, "Patch", {"2", "96", "TT", "EDAC"});
    ASSERT_TRUE(id);
    EXPECT_FALSE(library.add("ADC", quoted, "", {"2", "96", "", ""}));
    ASSERT_EQ(library.list("ADC", "pb \"").size(), 1);
    EXPECT_EQ(library.list("ADC", "pb \"").first().name, quoted);

    EXPECT_FALSE(library.setSize(*id, {"-1", "96", "TT", "XLR"}));
    EXPECT_TRUE(library.setSize(*id, {"1", "48", "TT", "XLR"}));
    equipment::PhysicalData data;
    data.height = "two";
    EXPECT_FALSE(library.setPhysicalData(*id, data));
    data.height = "1.75";
    data.heightUnit = "RU";
    EXPECT_TRUE(library.setPhysicalData(*id, data));
    EXPECT_EQ(rows("select JFRows || 'x' || JFCols || RearConn || EquipmentH || EquipmentHValue "
                   "from tblJackFields",
                   db::DbId::Equipment),
              "1x48XLR1.75RU");

    JackfieldProject(registry).assign(projectModel(*library.find(*id)), named("PB"));
    EXPECT_FALSE(library.remove(*id));  // Cancel
    EXPECT_TRUE(library.remove(*id));
    EXPECT_EQ(rows("select count(*) from tblJackFields", db::DbId::Equipment), "0");
    EXPECT_EQ(rows("select count(*) from tblJFRowCol"), "48");

    // The beep for no name and the question before deleting: jackfield_library.scr.
    const QStringList said = user.lines();
    EXPECT_EQ(said.filter("at least one row and one column").size(), 3);
    EXPECT_EQ(said.filter("already exists").size(), 1);
    EXPECT_EQ(said.filter("Invalid entry in one of the fields").size(), 1);
}

// The build as asked: a cancelled point ends without a word; one row asks whether it is a
// source and builds source jacks; two rows built as individual jacks use the catalogue's
// single blocks (named in upper case) for the first row, then the second.
TEST_F(Jackfields, BuildAsked) {
    Drawing drawing;
    addBlocks(drawing);
    JackfieldProject project(registry);
    const qint64 one = project.assign(JackfieldModel{3, "PB-1", 1, 2, "TT", "EDAC"}, named("ONE"));
    const qint64 two = project.assign(JackfieldModel{3, "PB-2", 2, 2, "TT", "EDAC"}, named("TWO"));
    BuildPreferences prefs;
    prefs.style = "J";
    prefs.spacing = 3;

    test::ScriptedUser cancelled("escape\n");
    EXPECT_TRUE(buildInteractively(drawing, *cancelled.ui, one, prefs, registry).isEmpty());
    EXPECT_EQ(cancelled.lines().filter("MESSAGE").size(), 0);

    test::ScriptedUser user(
        "point 0,0\nbutton No\nbutton Yes\npoint 10,0\nbutton Yes\nbutton Yes\n");
    ASSERT_EQ(buildInteractively(drawing, *user.ui, one, prefs, registry).size(), 2);
    ASSERT_EQ(buildInteractively(drawing, *user.ui, two, prefs, registry).size(), 4);
    EXPECT_EQ(blocksOf(drawing),
              (QStringList{"JACK1_1_S@0,0", "JACK1_1_S@0,3", "JACK1_1_S@10,0", "JACK1_1_S@15,3",
                           "JACK1_1_D@10,3", "JACK1_1_D@15,6"}));
    const cad::Entity& first = drawing.document().modelSpace().entities.front();
    EXPECT_EQ(first.attribute("B")->text, "A");
    // A destination jack shows its row on A only.
    const cad::Entity& second = drawing.document().modelSpace().entities[4];
    EXPECT_EQ(second.attribute("A")->text + "|" + second.attribute("B")->text, "B|");
    EXPECT_EQ(tag::kindOf(first), tag::kind::Jack);
    const QStringList said = user.lines();
    // The build shows its progress in the status bar, and ends it: no prompt stays behind.
    EXPECT_TRUE(said.contains("STATUS Building Jack Field"));
    EXPECT_TRUE(said.contains("STATUS Building Jack Field done"));
    EXPECT_FALSE(said.contains("PROMPT Building Jack Field"));
    EXPECT_EQ(said.filter("Individual Jacks?").size(), 1);
    EXPECT_EQ(rows("select count(*) from tblJFRowCol where assigned"), "6");
    EXPECT_NE(buildRefusal(3), "");
    EXPECT_EQ(buildRefusal(2), "");
}
