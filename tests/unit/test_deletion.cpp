// Deleting linked entities: the records of equipment blocks, cables and jacks changed as the
// user answers, in one transaction, before the entities are erased; Cancel, a damaged tag and
// a database that refuses the write leave the drawing whole.
#include <gtest/gtest.h>

#include <QSqlRecord>

#include "cad/editing.h"
#include "db/schema.h"
#include "db_fixture.h"
#include "drawings/deletion.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "script_fixture.h"

using namespace tolvane;
using test::ScriptedUser;

class Deletion : public ::testing::Test {
  protected:
    void SetUp() override {
        dbs.makeEmpty(db::DbId::Project, registry);
        db::ensureSchema(db::DbId::Project, registry);
        exec(
            "insert into tblSystems (SysID, SysName, SysNum) values (4, 'VTR', 1), "
            "(5, 'DA', 1)");
        exec(
            "insert into tblCables (CableID, CableNO, SRCSys, DestSYS, SRCPin, DestPin, "
            "Integrator, Available) values (9, '1', 'VTR-01', 'DA-01', 'OUT 1', 'IN', 'Acme', "
            "false)");
        exec("insert into tblJF (JFID, JFSysName) values (1, 'JF')");
        exec(
            "insert into tblJFRowCol (RowColID, JFID, JFRow, JFCol, Sheet, assigned, SRC, dest) "
            "values (21, 1, 'A', '1', 's1.dxf', true, 'VTR-01', 'x'), "
            "(22, 1, 'B', '1', 's1.dxf', true, 'y', 'DA-01')");
        block = add(cad::Entity::insert("HV-AD8_S", {0, 0}), tag::kind::EquipmentBlock, "4");
        da = add(cad::Entity::insert("DA_S", {20, 0}), tag::kind::DABlock, "5");
        const QString t1 = add(cad::Entity::textAt({1, 1}, "1", 0.2), tag::kind::CableNo);
        const QString t2 = add(cad::Entity::textAt({9, 1}, "1", 0.2), tag::kind::CableNo);
        cable = drawing.editor().add(cad::Entity::line({0, 1}, {10, 1}));
        drawing.editor().modify(cable, [&](cad::Entity& e) {
            tag::tagEntity(e, tag::kind::Cable, "9", {}, {}, {}, t1 + "|" + t2);
        });
        jack = drawing.editor().add(cad::Entity::insert("FN_JACK_D", {10, 0}));
        drawing.editor().modify(
            jack, [&](cad::Entity& e) { tag::tagEntity(e, tag::kind::Jack, "1", "21", "22"); });
        drawing.undo().clear();
    }
    QString add(cad::Entity e, const QString& kind, const QString& ref2 = {}) {
        tag::tagEntity(e, kind, {}, ref2);
        return drawing.editor().add(std::move(e));
    }
    void exec(const char* sql) { db::Query(db::DbId::Project, sql, registry).exec(); }
    QString rows(const char* sql) {
        db::Query q(db::DbId::Project, sql, registry);
        q.exec();
        QStringList out;
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < q.sql().record().count(); ++i) row << q.value(i).toString();
            out << row.join('|');
        }
        return out.join(" / ");
    }
    QString systems() { return rows("select SysID from tblSystems order by SysID"); }
    QString cableRow() {
        return rows(
            "select SRCSys, DestSYS, SRCPin, DestPin, Integrator, Available from "
            "tblCables");
    }
    QString jackRows() {
        return rows("select RowColID, assigned, Sheet, SRC, dest from tblJFRowCol order by 1");
    }
    DeletionResult remove(ScriptedUser& user, const QStringList& handles, bool hide = false) {
        DeletionRun run(*user.ui, registry);
        run.hideWarnings = hide;
        return validateDeletion(drawing, handles, run);
    }
    int entities() const { return int(drawing.document().modelSpace().entities.size()); }
    int questions(const ScriptedUser& user) const {
        return int(user.lines().filter("MESSAGE [Yes/No/YesToAll/Cancel]").size());
    }

    db::Connections registry;
    test::TestDatabases dbs{db::Engine::SQLite};
    Drawing drawing;
    QString block, da, cable, jack;
};

// Yes to All on the first question settles every later record of every kind without asking:
// the system rows deleted, the cable row released, both jack positions freed; the entities
// and the cable's number texts are gone and the deletion cannot be undone.
TEST_F(Deletion, YesToAllSettlesEveryKind) {
    ScriptedUser user("button YesToAll\n");
    user.watchTransactions(registry);
    EXPECT_EQ(remove(user, {block, cable, jack, da}), DeletionResult::Erased);
    EXPECT_EQ(user.askedWhileWriting, QStringList());
    EXPECT_EQ(questions(user), 1);
    EXPECT_EQ(systems(), "");
    EXPECT_EQ(cableRow(), "Deleted|Deleted|Deleted|Deleted|Deleted|1");
    EXPECT_EQ(jackRows(), "21|0||| / 22|0|||");
    EXPECT_EQ(entities(), 0);
    EXPECT_FALSE(drawing.undo().canUndo());
}

// No keeps every record; the erase is then one undo step that brings all of it back.
TEST_F(Deletion, NoKeepsRecordsAndUndoRestores) {
    const QString before = cableRow() + jackRows() + systems();
    ScriptedUser user("button No\nbutton No\nbutton No\n");
    EXPECT_EQ(remove(user, {cable, jack, block}), DeletionResult::Erased);
    EXPECT_EQ(questions(user), 3);
    EXPECT_EQ(cableRow() + jackRows() + systems(), before);
    EXPECT_EQ(entities(), 1);  // the DA block
    ASSERT_TRUE(drawing.undo().undo());
    EXPECT_EQ(entities(), 6);
    EXPECT_FALSE(drawing.undo().canUndo());
}

// Cancel on the second question erases nothing; what the first answer agreed to is done.
TEST_F(Deletion, CancelHalfWayErasesNothing) {
    ScriptedUser user("button Yes\nbutton Cancel\n");
    EXPECT_EQ(remove(user, {cable, block, jack}), DeletionResult::Cancelled);
    EXPECT_EQ(questions(user), 2);
    EXPECT_EQ(cableRow(), "Deleted|Deleted|Deleted|Deleted|Deleted|1");
    EXPECT_EQ(systems(), "4 / 5");
    EXPECT_EQ(entities(), 6);
}

// With warnings hidden, cables, jacks and DA blocks are settled without a question; an
// equipment block is still asked.
TEST_F(Deletion, HiddenWarningsStillAskForEquipmentBlocks) {
    ScriptedUser user("button No\n");
    EXPECT_EQ(remove(user, {cable, jack, da, block}, true), DeletionResult::Erased);
    EXPECT_EQ(questions(user), 1);
    EXPECT_TRUE(user.transcript.contains("Delete Database entry also?"));
    EXPECT_EQ(systems(), "4");
    EXPECT_EQ(cableRow(), "Deleted|Deleted|Deleted|Deleted|Deleted|1");
    EXPECT_EQ(jackRows(), "21|0||| / 22|0|||");
    EXPECT_EQ(entities(), 0);
}

// A reference that is no record number, or a database that refuses the write, is told and
// leaves both the records and the drawing as they were.
TEST_F(Deletion, FailuresLeaveRecordsAndDrawingAlone) {
    drawing.editor().modify(jack, [](cad::Entity& e) { tag::setRef3(e, "22x"); });
    const QString before = cableRow() + jackRows() + systems();
    ScriptedUser damaged("button Yes\nbutton OK\n");
    EXPECT_EQ(remove(damaged, {cable, jack}), DeletionResult::Refused);
    EXPECT_TRUE(
        damaged.transcript.contains("refers to record \"22x\", which is not a record "
                                    "number"))
        << damaged.transcript.toStdString();
    EXPECT_EQ(cableRow() + jackRows() + systems(), before);
    EXPECT_EQ(entities(), 6);

    // The second change fails (the system row is locked by a trigger): the first is rolled
    // back with it.
    exec(
        "create trigger no_delete before delete on tblSystems begin select raise(abort, "
        "'read-only'); end");
    ScriptedUser refused("button YesToAll\nbutton OK\n");
    EXPECT_EQ(remove(refused, {cable, block}), DeletionResult::Refused);
    EXPECT_TRUE(refused.transcript.contains("could not be changed, so nothing was deleted"));
    EXPECT_EQ(cableRow() + jackRows() + systems(), before);
    EXPECT_EQ(entities(), 6);
}
