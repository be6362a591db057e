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
#include "jackfields/jack_assignment.h"
#include "jackfields/jackfield_project.h"
#include "script_fixture.h"

using namespace tolvane;
using namespace tolvane::jackfields;

class Jackfields : public ::testing::Test {
  protected:
    void SetUp() override {
        dbs.makeEmpty(db::DbId::Project, registry);
        db::ensureSchema(db::DbId::Project, registry);
    }
    void exec(const char* sql) { db::Query(db::DbId::Project, sql, registry).exec(); }
    QString rows(const char* sql) {
        db::Query q(db::DbId::Project, sql, registry);
        q.exec();
        QStringList out;
        while (q.next()) out << q.value(0).toString();
        return out.join(' ');
    }
    db::Connections registry;
    test::TestDatabases dbs{db::Engine::SQLite};
};

// A 2 x 24 model starting at A and 1 gives 48 positions, rows A and B numbered 01 and 02,
// columns 01 to 24; the next number of the name follows; a K start on three rows gives K to
// M; a size or start letter that cannot be lettered is refused before anything is written.
TEST_F(Jackfields, AssignmentWritesEveryPosition) {
    EXPECT_EQ(twoDigits(7), "07");
    EXPECT_EQ(twoDigits(123), "123");
    EXPECT_EQ(rowStartLetter("k9"), QChar('K'));
    EXPECT_EQ(rowStartLetter("1"), std::nullopt);
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
    EXPECT_EQ(rows("select count(*) from tblJFRowCol"), "48");
    EXPECT_EQ(rows("select distinct JFRow || JFRowNumber from tblJFRowCol order by 1"), "A1 B2");
    EXPECT_EQ(rows("select JFCol from tblJFRowCol where JFRow = 'B' order by RowColID limit 3"),
              "01 02 03");
    EXPECT_EQ(rows("select max(JFCol) from tblJFRowCol"), "24");
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

// In one line a spacing apart; separated, every second jack stands 5 to the right half a
// spacing on; an individual build continues the line with the second row's blocks.
TEST_F(Jackfields, BuildLayout) {
    BuildChoice choice;
    choice.spacing = 2;
    QList<JackPlacement> p = buildLayout(3, {10, 20}, choice);
    ASSERT_EQ(p.size(), 3);
    EXPECT_EQ(p[0].block, "JACK1_1_SD");
    EXPECT_EQ(p[2].at, QPointF(10, 24));
    EXPECT_EQ(p[2].rows, (QList<int>{0, 1}));

    choice.separateOddEven = true;
    p = buildLayout(4, {10, 20}, choice);
    QList<QPointF> at;
    for (const JackPlacement& j : p) at << j.at;
    EXPECT_EQ(at, (QList<QPointF>{{10, 20}, {15, 22}, {10, 22}, {15, 24}}));

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

// A built 2 x 3 jackfield: one two-row jack per column with its letters, name, column and
// connectors, tagged with its positions, which record the sheet; one undo step takes the
// jacks away. A drawing without the jack block is told and nothing is half built.
TEST_F(Jackfields, BuildIntoDrawing) {
    QTemporaryDir dir;
    Drawing drawing;
    const QString file = dir.filePath("JACK1_1_SD.dxf");
    cad::saveDxf(standard::blockDrawing("JACK1_1_SD"), file);
    cad::addBlockFromFile(drawing.document(), file, "JACK1_1_SD");
    drawing.setPath(dir.filePath("rack.dxf"));
    JackfieldProject project(registry);
    ProjectJackfield jf;
    jf.sysName = "PB";
    jf.number = 7;
    const qint64 id = project.assign(JackfieldModel{3, "PB-6", 2, 3, "TT", "EDAC"}, jf);

    test::ScriptedUser user("");
    BuildChoice choice;
    choice.spacing = 2.5;
    const QStringList jacks =
        buildJackfield(drawing, *user.ui, id, {10, 0}, choice, true, registry);
    ASSERT_EQ(jacks.size(), 3);
    const cad::Entity* last = drawing.document().find(jacks[2]);
    EXPECT_EQ(last->start, QPointF(10, 5));
    for (const auto& [tagName, value] : {std::pair{"A", "A"},
                                         {"B", "B"},
                                         {"JF", "PB-07"},
                                         {"COL", "03"},
                                         {"AConn", "EDAC"},
                                         {"BConn", "EDAC"}})
        EXPECT_EQ(last->attribute(tagName)->text, value) << tagName;
    EXPECT_EQ(tag::kindOf(*last), tag::kind::Jack);
    EXPECT_EQ(tag::ref1(*last), QString::number(id));
    EXPECT_EQ(tag::ref2(*last) + "," + tag::ref3(*last),
              rows("select RowColID from tblJFRowCol where JFCol = '03' order by JFRow")
                  .replace(' ', ','));
    EXPECT_EQ(rows("select distinct Sheet || assigned from tblJFRowCol"), "rack.dxf1");
    ASSERT_TRUE(drawing.undo().undo());
    EXPECT_TRUE(drawing.document().modelSpace().entities.empty());

    // Individual jacks need the single blocks, which this drawing lacks.
    test::ScriptedUser told("button OK\n");
    choice.individual = true;
    EXPECT_TRUE(buildJackfield(drawing, *told.ui, id, {0, 0}, choice, false, registry).isEmpty());
    EXPECT_TRUE(told.transcript.contains("Errors Occurred. Operation Aborted"));
    EXPECT_TRUE(drawing.document().modelSpace().entities.empty());
}

// A jack tied by hand to a column: both rows on a two-row jackfield, re-marking positions
// another sheet held; a jack without the "B" attribute leaves row B untied; removing one
// jackfield of a name takes its positions and leaves the other and its number alone.
TEST_F(Jackfields, AssignJackAndRemove) {
    QTemporaryDir dir;
    Drawing drawing;
    const QString file = dir.filePath("JACK1_1_SD.dxf");
    cad::saveDxf(standard::blockDrawing("JACK1_1_SD"), file);
    cad::addBlockFromFile(drawing.document(), file, "JACK1_1_SD");
    cad::Block& half = drawing.document().addBlock("HALF");
    drawing.document().add(half, cad::Entity::attributeDefinition({0, 0}, "A", "", "", 0.2));
    drawing.setPath(dir.filePath("b.dxf"));
    JackfieldProject project(registry);
    ProjectJackfield jf;
    jf.sysName = "PB";
    jf.columnStart = 8;
    project.assign(JackfieldModel{3, "PB-6", 2, 3, "TT", "EDAC"}, jf);
    jf.number = 2;
    project.assign(JackfieldModel{3, "PB-6", 2, 3, "TT", "EDAC"}, jf);
    exec("update tblJFRowCol set assigned = true, Sheet = 'a.dxf' where JFCol = '09'");

    const QList<JackfieldRow> all = projectJackfields(registry);
    ASSERT_EQ(all.size(), 2);
    EXPECT_EQ(systemNames(all), QStringList{"PB"});
    EXPECT_EQ(columnsOf(positionsOf(all[0].id, registry)), (QStringList{"08", "09", "10"}));

    const QString jack = drawing.placeBlock("JACK1_1_SD", {0, 0});
    drawing.editor().modify(jack, [](cad::Entity& e) { tag::tagEntity(e, tag::kind::Jack); });
    assignJack(drawing, jack, all[0], "09", true, registry);
    const cad::Entity* e = drawing.document().find(jack);
    EXPECT_EQ(e->attribute("JF")->text + e->attribute("COL")->text + e->attribute("A")->text +
                  e->attribute("B")->text + e->attribute("AConn")->text,
              "PB-0109ABEDAC");
    EXPECT_EQ(tag::ref1(*e), QString::number(all[0].id));
    EXPECT_EQ(rows("select Sheet from tblJFRowCol where JFCol = '09' order by JFID, JFRow"),
              "b.dxf b.dxf a.dxf a.dxf");
    EXPECT_EQ(tag::ref2(*e) + " " + tag::ref3(*e),
              rows("select RowColID from tblJFRowCol where JFCol = '09' and JFID = 1 order by "
                   "JFRow"));

    const QString other = drawing.placeBlock("HALF", {5, 0});
    drawing.editor().modify(other, [](cad::Entity& e) { tag::tagEntity(e, tag::kind::Jack); });
    assignJack(drawing, other, all[1], "10", false, registry);
    e = drawing.document().find(other);
    EXPECT_EQ(tag::ref3(*e), "");
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

    removeJackfield(all[0].id, registry);
    EXPECT_EQ(rows("select count(*) from tblJFRowCol where JFID = 1"), "0");
    EXPECT_EQ(rows("select JFSysID from tblJF"), "2");
    EXPECT_EQ(rows("select count(*) from tblJFRowCol"), "6");
}
