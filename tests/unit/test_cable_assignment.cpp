// Cable numbers and cable assignment: the next number of a prefix compared as numbers, the
// reuse of freed numbers, numbers refused; a drawn cable assigned into tblCables with its
// texts, tag and tip; the existing-assignment options; multicore cores in tblChildCables;
// and a failure half-way leaving the schedule and the drawing as they were.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <atomic>

#include "cad/dxf.h"
#include "cad/editing.h"
#include "db/schema.h"
#include "db_fixture.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "drawings/standard_drawings.h"
#include "script_fixture.h"
#include "wiring/cable_assignment.h"
#include "wiring/cable_drawing.h"
#include "wiring/cable_numbers.h"

using namespace tolvane;
using namespace tolvane::wiring;
using test::ScriptedUser;

namespace {

// Empty databases with two signal types, numbers starting at 100 and the jackfield 7.
void makeDatabases(test::TestDatabases& dbs, db::Connections& registry) {
    for (db::DbId id : {db::DbId::Equipment, db::DbId::Project}) {
        dbs.makeEmpty(id, registry);
        db::ensureSchema(id, registry);
    }
    for (const auto& [id, sql] :
         {std::pair{db::DbId::Equipment,
                    "insert into SignalDefault (Type, Color, CableNoPrefix) values ('AUD', 3, "
                    "'A'), ('VID', 2, null)"},
          {db::DbId::Equipment,
           "insert into tblPreferences (UserID, CablesStartNo, CablesVerifySettings, "
           "cablecolorline, cablecolortext) values (1, 100, false, true, true)"},
          {db::DbId::Project,
           "insert into tblJF (JFID, JFSysName, JFLoc, JFEl, SignalType, RearConn) values (7, "
           "'AJF', 'MCR', 'R1', 'AUD', 'XLR')"}})
        db::Query(id, QString::fromLatin1(sql), registry).exec();
}

void addBlocks(cad::Document& doc, const QTemporaryDir& dir, QStringList names) {
    for (const QString& name : names) {
        const QString file = dir.filePath(name + ".dxf");
        cad::saveDxf(standard::blockDrawing(name), file);
        cad::addBlockFromFile(doc, file, name);
    }
}

void setAttribute(cad::Entity& e, const char* tag, const QString& text) {
    for (cad::Entity& a : e.attributes)
        if (a.tag == QLatin1String(tag)) a.text = text;
}

}  // namespace

class CableAssignment : public ::testing::Test {
  protected:
    void SetUp() override {
        makeDatabases(dbs, registry);
        addBlocks(drawing.document(), dir, {"JBOX_S", "FN_JACK_D", "FN_JACK_S", "POINTER_S"});
    }
    void exec(db::DbId id, const char* sql) {
        db::Query(id, QString::fromLatin1(sql), registry).exec();
    }
    QVariant scalar(const QString& sql) {
        return db::Query(db::DbId::Project, sql, registry).exec().scalar();
    }
    void addCable(const char* prefix, const char* number, bool available = false) {
        db::Query(db::DbId::Project,
                  "insert into tblCables (CableNoPrefix, CableNO, Available) values (?, ?, ?)",
                  registry)
            .bind(QString::fromLatin1(prefix))
            .bind(QString::fromLatin1(number))
            .bind(available)
            .exec();
    }
    QString place(const char* block, QPointF at, const QString& jackfield = {}) {
        cad::Entity e = cad::makeInsert(drawing.document(), QString::fromLatin1(block), at);
        tag::tagEntity(e, tag::catalogueEntry(e.blockName)->kind, jackfield);
        return drawing.editor().add(std::move(e));
    }
    // A J-box named `name` at (0, y) and a jack of the jackfield at (10, y + 4).
    void placeEnds(double y, const QString& name) {
        const QString box = place("JBOX_S", {0, y});
        drawing.editor().modify(box, [&](cad::Entity& e) { setAttribute(e, "JB", name); });
        place("FN_JACK_D", {10, y + 4}, "7");
    }
    // A cable drawn from a J-box at (0, y) to a jack of the jackfield at (10, y + 4).
    DrawnCable drawCable(double y) {
        placeEnds(y, "JB-01");
        ScriptedUser user(QStringLiteral("point 0,%1\npoint 10,%2\n").arg(y).arg(y + 4));
        CableOptions options;
        CableDrawer drawer(drawing, *user.ui, nullptr, options, registry);
        EXPECT_EQ(drawer.drawOne(), CableDrawer::Outcome::Drawn) << user.transcript.toStdString();
        return drawer.drawn().value(0);
    }
    int assign(ScriptedUser& user, const QString& cable, AssignmentState& state,
               std::function<void(const ExistingAssignment&, AssignmentState&)> existing = {}) {
        AssignCablesRun run(*user.ui, state, registry);
        run.picked = cable;
        run.userName = QStringLiteral("tester");
        run.existing = std::move(existing);
        return assignCables(drawing, run);
    }

    QTemporaryDir dir;
    db::Connections registry;
    test::TestDatabases dbs{db::Engine::SQLite};
    Drawing drawing;
};

// The next number is one above the highest, compared as numbers; each prefix counts alone
// (quotes in a prefix are data: test_records.cpp); freed numbers are offered again; typed
// numbers must be digits and free.
TEST_F(CableAssignment, Numbering) {
    CableNumbers numbers(registry);
    EXPECT_EQ(numbers.next("A", 100), "100");
    for (const char* n : {"1", "2", "999", "998", "1000"}) addCable("A", n);
    EXPECT_EQ(numbers.next("A", 100), "1001");  // "999" is last in text order
    addCable("A", "1001-03");                   // a core numbered under its cable
    EXPECT_EQ(numbers.next("A", 100), "1002");
    EXPECT_EQ(numbers.next("", 5), "5");
    addCable("", "12");
    EXPECT_EQ(numbers.next("", 5), "13");
    EXPECT_EQ(numbers.next("A", 100), "1002");

    addCable("A", "7", true);
    EXPECT_EQ(numbers.reusable("A"), QStringList{"7"});

    ScriptedUser quiet("");
    CableWriter writer(*quiet.ui, registry);
    CableSettings s;
    s.prefix = "A";
    for (const char* bad : {"12a", "1 2", "", "-3", "1234567890123"}) {
        s.number = QString::fromLatin1(bad);
        EXPECT_FALSE(writer.refusal(s).isEmpty()) << bad;
    }
    s.number = "999";
    EXPECT_EQ(writer.refusal(s), "The cable number A-999 is already in use. Choose another.");
    for (const char* good : {"7", " 1002 ", "3"}) {
        s.number = QString::fromLatin1(good);
        EXPECT_EQ(writer.refusal(s), "") << good;
    }
}

// A drawn cable becomes a row with the ends and the next number; its texts show the number,
// its tag names the row, its tip the number. Assigned again, the wired pins open the
// existing-assignment choice: keeping the number reuses the freed row.
TEST_F(CableAssignment, AssignedCableAndItsExistingNumber) {
    const DrawnCable cable = drawCable(0);
    // A text showing the number already (a cable copied from elsewhere): cleared on Yes.
    const QString stale = drawing.editor().add(cad::Entity::textAt({50, 50}, "A-100", 0.25));
    AssignmentState state;
    ScriptedUser user("button Yes\n");
    user.watchTransactions(registry);
    ASSERT_EQ(assign(user, cable.polyline, state), 1) << user.transcript.toStdString();
    EXPECT_EQ(user.askedWhileWriting, QStringList());
    EXPECT_EQ(state.number.displayed(), "A-100");
    EXPECT_TRUE(user.transcript.contains(
        "The cable number: A-100 exists in this drawing. Do you want to clear it."));
    EXPECT_EQ(drawing.document().find(stale)->text, "Cable#");
    db::Query row(db::DbId::Project,
                  "select CableID, CableNoPrefix, CableNO, SRCSys, SRCPin, DestSYS, DestPin, "
                  "DESTConn, DESTLOc, SignalType, Available, Sheet, CreatedBy from tblCables",
                  registry);
    row.exec();
    ASSERT_TRUE(row.next());
    QStringList values;
    for (int i = 1; i < 13; ++i) values << row.value(i).toString();
    EXPECT_EQ(values.join('|').toStdString(),
              "A|100|JB-01|B-1|JF|-1|XLR|MCR.R1|AUD|0|Drawing1|tester");
    const qint64 id = row.value(0).toLongLong();
    EXPECT_FALSE(row.next());
    const cad::Entity* e = drawing.document().find(cable.polyline);
    EXPECT_EQ(tag::ref1(*e), QString::number(id));
    EXPECT_EQ(e->tooltip, "Cable#: A-100");  // its layer and number texts: cable_assign.scr

    // The same cable again: its source pin is wired; keep the number.
    QList<ExistingAssignment> asked;
    AssignmentOptions options(*user.ui, nullptr, registry);
    ASSERT_EQ(assign(user, cable.polyline, state,
                     [&](const ExistingAssignment& a, AssignmentState& s) {
                         asked << a;
                         if (asked.size() == 1) options.apply(ExistingOption::Keep, a, {}, s);
                     }),
              1)
        << user.transcript.toStdString();
    ASSERT_EQ(asked.size(), 1);  // the kept row is free when the destination is checked
    EXPECT_TRUE(asked[0].sourceSide);
    EXPECT_EQ(AssignmentOptions::captions(asked[0])[1],
              "KEEP IT -- Re-assign cable number: 100 to JF > -1");
    EXPECT_EQ(scalar("select count(*) from tblCables").toInt(), 1);
    EXPECT_EQ(scalar("select CableID from tblCables where CableNO = '100' and Available = "
                     "false")
                  .toLongLong(),
              id);

    // A new number frees the old one, which the reuse list then offers.
    ASSERT_EQ(assign(user, cable.polyline, state,
                     [&](const ExistingAssignment& a, AssignmentState& s) {
                         options.apply(ExistingOption::NewNumber, a, {}, s);
                     }),
              1)
        << user.transcript.toStdString();
    EXPECT_EQ(state.number.displayed(), "A-101");
    EXPECT_EQ(CableNumbers(registry).reusable("A"), QStringList{"100"});
    EXPECT_EQ(scalar("select SRCSys from tblCables where CableNO = '100'").toString(), "Deleted");

    // Two rows of one number cannot be kept: told, nothing changes, and Cancel stops.
    addCable("A", "101");
    ScriptedUser told("button OK\n");
    AssignmentOptions strict(*told.ui, nullptr, registry);
    EXPECT_EQ(assign(told, cable.polyline, state,
                     [&](const ExistingAssignment& a, AssignmentState& s) {
                         strict.apply(ExistingOption::Keep, a, {}, s);
                         strict.apply(ExistingOption::Cancel, a, {}, s);
                     }),
              0);
    EXPECT_TRUE(told.transcript.contains("RsMaster.Recordcount = 2 record(s) in [opt(1)Single]"));
    EXPECT_TRUE(told.transcript.contains("HISTORY Assignment Cancelled"));
    EXPECT_EQ(scalar("select count(*) from tblCables where Available = false").toInt(), 2);
}

// What is refused before anything is written, and a failure after the row was written taking
// the row and the drawing's changes back.
TEST_F(CableAssignment, RefusalsAndFailures) {
    const DrawnCable cable = drawCable(0);
    const cad::Entity before = *drawing.document().find(cable.polyline);
    AssignmentState state;
    const auto message = [&](const QString& handle) {
        ScriptedUser user("button OK\n");
        EXPECT_EQ(assign(user, handle, state), 0);
        return user.transcript;
    };
    EXPECT_TRUE(message("FFFF").contains("Cable assignment failed. Please try again."));
    const QString line = drawing.editor().add(cad::Entity::polyline({{{0, 0}}, {{10, 4}}}, false));
    EXPECT_TRUE(message(line).contains(
        "This cable is not a Tolvane cable.\\nPlease redraw the cable using the Draw Cables"));
    drawing.editor().modify(line, [](cad::Entity& e) {
        tag::tagEntity(e, tag::kind::Cable);
        e.xdata[0].items.removeAt(3);  // edited by hand: eight items
    });
    EXPECT_TRUE(message(line).contains("This cable is not a Tolvane cable."));

    // A cable continuing beyond a pointer is assigned from its source side.
    place("POINTER_S", {0, 20});
    place("FN_JACK_D", {10, 24}, "7");
    const QString beyond = drawing.editor().add([] {
        cad::Entity e = cad::Entity::polyline({{{0, 20}}, {{10, 24}}}, false);
        tag::tagEntity(e, tag::kind::Cable);
        return e;
    }());
    EXPECT_TRUE(
        message(beyond).contains("Please select the cable on the source side of this "
                                 "Pointer set and re-assign."));

    // A cable that reaches its jack from the right lies over the probe beside its last vertex:
    // the jack under it is its destination all the same, and the cable is assigned. A jack
    // that only sends cannot receive one.
    const auto cableTo = [&](QList<cad::Vertex> vertices) {
        cad::Entity e = cad::Entity::polyline(vertices, false);
        tag::tagEntity(e, tag::kind::Cable);
        return drawing.editor().add(std::move(e));
    };
    placeEnds(40, "JB-02");
    ScriptedUser fromRight("");
    EXPECT_EQ(assign(fromRight, cableTo({{{0, 40}}, {{20, 40}}, {{20, 44}}, {{10, 44}}}), state), 1)
        << fromRight.transcript.toStdString();
    EXPECT_EQ(scalar("select DestPin from tblCables").toString(), "-1");
    exec(db::DbId::Project, "delete from tblCables");
    place("FN_JACK_S", {11, 64}, "7");  // its stub runs from x 10 to 11
    EXPECT_TRUE(message(cableTo({{{0, 40}}, {{10, 64}}}))
                    .contains("The block FN_JACK_S cannot be the destination of a cable."));
    EXPECT_EQ(scalar("select count(*) from tblCables").toInt(), 0);

    // The signal types go away once the row is written: neither stays.
    exec(db::DbId::Equipment, "drop table SignalDefault");
    ScriptedUser user("");
    EXPECT_ANY_THROW(assign(user, cable.polyline, state));
    EXPECT_EQ(scalar("select count(*) from tblCables").toInt(), 0);
    const cad::Entity* after = drawing.document().find(cable.polyline);
    EXPECT_EQ(tag::ref1(*after), "");
    EXPECT_EQ(after->tooltip, before.tooltip);
    EXPECT_EQ(drawing.document().find(cable.sourceText)->text, "Cable #");
}

// A multicore cable type builds its cores as child rows: the first carries the ends, the
// others are free; No to the question writes nothing.
TEST_F(CableAssignment, MulticoreCores) {
    exec(db::DbId::Equipment,
         "insert into tblManufacturers (ManufacturerID, ManufacturerName) values ('BEL', 'Bel')");
    exec(db::DbId::Equipment,
         "insert into tblCableTypes (CableTypeID, ManufacturerID, CableType, cablemulticore, "
         "cablecorenumber) values (4, 'BEL', 'MC-3', true, 3)");
    exec(db::DbId::Equipment,
         "insert into tblCablePairs (CableTypeID, PairNumber, paircolorcode) values (4, 1, '1'), "
         "(4, 2, '2'), (4, 3, 'RED')");
    exec(db::DbId::Equipment, "update SignalDefault set CableManu = 'Bel', CableType = 'MC-3'");
    const DrawnCable cable = drawCable(0);
    AssignmentState state;
    ScriptedUser no("button No\n");
    no.watchTransactions(registry);
    EXPECT_EQ(assign(no, cable.polyline, state), 0);
    EXPECT_EQ(no.askedWhileWriting, QStringList());
    EXPECT_TRUE(
        no.transcript.contains("MESSAGE [Yes/No] Build Multi-core Structure | This "
                               "function will create a cable entry for"));
    EXPECT_EQ(scalar("select count(*) from tblCables").toInt(), 0);

    ScriptedUser yes("button Yes\n");
    ASSERT_EQ(assign(yes, cable.polyline, state), 1) << yes.transcript.toStdString();
    EXPECT_EQ(scalar("select MultiCore from tblCables").toBool(), true);
    db::Query cores(db::DbId::Project,
                    "select CableNo, SRCSys, Available from tblChildCables order by CableNo",
                    registry);
    cores.exec();
    QStringList rows;
    while (cores.next())
        rows << cores.value(0).toString() + " " + cores.value(1).toString() + " " +
                    (cores.value(2).toBool() ? "free" : "used");
    EXPECT_EQ(rows, (QStringList{"100-01 JB-01 used", "100-02  free", "100-RED  free"}));
    EXPECT_EQ(CableNumbers(registry).reusable("A"), QStringList{"100"});  // free cores

    // Assigned again, its source pin is held by the core 100-01: keeping the number frees the
    // core, offers to clear its number where it still stands on the sheet, and gives the core
    // back to this cable, with the settings shown twice and DB_Ref_2 written.
    const QString stale = drawing.editor().add(cad::Entity::textAt({50, 50}, "A-100-01", 0.25));
    const qint64 parent = scalar("select CableID from tblCables").toLongLong();
    exec(db::DbId::Equipment, "update tblPreferences set CablesVerifySettings = true");
    ScriptedUser keep("button Yes\n");
    AssignmentOptions options(*keep.ui, nullptr, registry);
    QList<ExistingAssignment> asked;
    int passes = 0;
    AssignCablesRun run(*keep.ui, state, registry);
    run.picked = cable.polyline;
    run.existing = [&](const ExistingAssignment& a, AssignmentState& s) {
        asked << a;
        options.apply(ExistingOption::Keep, a, {}, s);
    };
    run.verify = [&](CableSettings&, AssignmentState&) { return ++passes > 0; };
    ASSERT_EQ(assignCables(drawing, run), 1) << keep.transcript.toStdString();
    ASSERT_EQ(asked.size(), 1);  // the freed core no longer holds the destination pin
    EXPECT_TRUE(asked[0].multicore);
    EXPECT_EQ(asked[0].core.displayed(), "A-100-01");
    EXPECT_TRUE(keep.transcript.contains(
        "The cable number: A-100-01 exists in this drawing. Do you want to clear it."));
    EXPECT_EQ(drawing.document().find(stale)->text, "Cable#");
    EXPECT_EQ(passes, 2);
    EXPECT_EQ(state.cableId, parent);
    EXPECT_EQ(tag::ref2(*drawing.document().find(cable.polyline)), QString::number(parent));
    EXPECT_EQ(scalar("select count(*) from tblCables").toInt(), 1);
    EXPECT_EQ(scalar("select SRCSys || Available from tblChildCables where CableNo = '100-01'")
                  .toString(),
              "JB-010");

    // A core number held twice, or a multicore number held twice, is refused by name and
    // nothing changes; so is a new number for the core.
    exec(db::DbId::Project,
         "insert into tblChildCables (CableNo, ParentNo, Available) select '100-01', CableID, "
         "false from tblCables");
    addCable("", "100");
    addCable("", "100");
    ScriptedUser told("button OK\nbutton OK\nbutton OK\n");
    AssignmentOptions strict(*told.ui, nullptr, registry);
    AssignmentState untouched;
    strict.apply(ExistingOption::Keep, asked[0], {}, untouched);
    strict.apply(ExistingOption::NewNumber, asked[0], {}, untouched);
    strict.apply(ExistingOption::ExistingMulticore, asked[0], "100", untouched);
    EXPECT_TRUE(told.transcript.contains("RsMaster.Recordcount = 2 record(s) in [opt(1)Multi]"));
    EXPECT_TRUE(told.transcript.contains("RsMaster.Recordcount = 2 record(s) in [opt(2)Multi]"));
    EXPECT_TRUE(told.transcript.contains(
        "This operation retreived more than one record [opt(4)Single]. Records not updated"));
    EXPECT_FALSE(untouched.reassign || untouched.secondPass || !untouched.parentNumber.isEmpty());
    EXPECT_EQ(scalar("select count(*) from tblChildCables where Available = false").toInt(), 2);
}

// Several users assigning cables at once on one server, each under the cable lock (retrying
// while another holds it): every number is written once.
TEST(CableAssignmentShared, ConcurrentUsersNeverWriteANumberTwice) {
    db::Connections setup;  // outlives the databases, which close it
    test::TestDatabases dbs{db::Engine::PostgreSQL};
    if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
    makeDatabases(dbs, setup);
    // The blocks are read once; each user's drawing starts as a copy.
    QTemporaryDir dir;
    cad::Document blocks;
    addBlocks(blocks, dir, {"JBOX_S", "FN_JACK_D"});

    // Answers the busy lock with Retry after a moment; nothing else is asked.
    class RetryingUser : public ScriptUi {
      public:
        using ScriptUi::ScriptUi;
        MsgButton message(const QString& text, MsgButtons buttons, MsgIcon icon,
                          const QString& title) override {
            if (buttons == MsgButtons::RetryCancel) {
                QThread::msleep(2);
                return MsgButton::Retry;
            }
            return ScriptUi::message(text, buttons, icon, title);
        }
    };
    constexpr int kUsers = 4, kCables = 12;
    std::atomic<int> assigned{0};
    const db::ConnectionSpec equipment = setup.boundTo(db::DbId::Equipment);
    const db::ConnectionSpec project = setup.boundTo(db::DbId::Project);
    auto user = [&](int who) {
        db::Connections own;
        own.bind(db::DbId::Equipment, equipment);
        own.bind(db::DbId::Project, project);
        const QString whoAmI = QStringLiteral("user%1_pc").arg(who);
        own.setSessionIdentity(whoAmI);
        Drawing drawing(blocks);
        QString script;
        for (int c = 0; c < kCables; ++c) {
            // Ends of their own, so that no pin is wired twice.
            const double y = 10.0 * c;
            cad::Entity box = cad::makeInsert(drawing.document(), "JBOX_S", {0, y});
            cad::Entity jack = cad::makeInsert(drawing.document(), "FN_JACK_D", {10, y + 4});
            setAttribute(box, "JB", QStringLiteral("JB-%1-%2").arg(who).arg(c));
            setAttribute(jack, "JF", QStringLiteral("JF-%1-%2").arg(who).arg(c));
            tag::tagEntity(box, tag::kind::JBox);
            tag::tagEntity(jack, tag::kind::Jack, "7");
            drawing.editor().add(std::move(box));
            drawing.editor().add(std::move(jack));
            script += QStringLiteral("point 0,%1\npoint 10,%2\n").arg(y).arg(y + 4);
        }
        QString transcript;
        QTextStream stream(&transcript);
        RetryingUser ui(parseScript(script), stream);
        CableOptions options;
        CableDrawer drawer(drawing, ui, nullptr, options, own);
        QStringList cables;
        for (int c = 0; c < kCables; ++c)
            if (drawer.drawOne() == CableDrawer::Outcome::Drawn)
                cables << drawer.drawn().value(0).polyline;
        AssignmentState state;
        for (const QString& cable : cables) {
            AssignCablesRun run(ui, state, own);
            run.shared = true;
            run.whoAmI = whoAmI;
            run.picked = cable;
            assigned += assignCables(drawing, run);
        }
        own.closeAll();
    };
    QList<QThread*> threads;
    for (int u = 0; u < kUsers; ++u) threads << QThread::create(user, u);
    for (QThread* t : threads) t->start();
    for (QThread* t : threads) {
        t->wait();
        delete t;
    }
    EXPECT_EQ(assigned.load(), kUsers * kCables);
    db::Query twice(db::DbId::Project,
                    "select CableNoPrefix, CableNO, count(*) from tblCables group by "
                    "CableNoPrefix, CableNO having count(*) > 1",
                    setup);
    twice.exec();
    EXPECT_FALSE(twice.next()) << "twice: " << twice.value(1).toString().toStdString();
    EXPECT_EQ(
        db::Query(db::DbId::Project, "select count(*) from tblCables", setup).scalar().toInt(),
        kUsers * kCables);
    EXPECT_EQ(CableNumbers(setup).next("A", 100), QString::number(100 + kUsers * kCables));
}
