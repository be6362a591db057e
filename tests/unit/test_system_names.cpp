// System names: the equipment-block check and its three refusals, numbering by name (10 after
// 09, rows in numeric order), OK with its required fields, name case and the existing-name
// question, what the insert receives, the tag an untagged block gets before it is named, the
// system lock around the command, and the window's focus and navigation. On SQLite and (with
// TOLVANE_TEST_PG) PostgreSQL.
#include <gtest/gtest.h>

#include <QLineEdit>

#include "app/wiring/system_name_window.h"
#include "db/schema.h"
#include "db/starter_library.h"
#include "db_fixture.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "equipment/equipment_models.h"
#include "equipment/manufacturers.h"
#include "equipment/system_names.h"
#include "front/widget_driver.h"
#include "script_fixture.h"

using namespace tolvane;
using namespace tolvane::equipment;
using test::ScriptedUser;

namespace {

const QStringList kTags = {"SysName", "Location",          "Manufacturer",      "EquipmentName",
                           "Alias",   "Read Only EquipID", "Read Only PinWidth"};

class SystemNamesTest : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        for (db::DbId id : {db::DbId::Equipment, db::DbId::Project}) {
            dbs.makeEmpty(id, registry);
            db::ensureSchema(id, registry);
        }
        db::seedProject(db::DbId::Project, registry);  // the lock rows
        ScriptedUser quiet("");
        LibraryAccess a(*quiet.ui, registry);
        ASSERT_TRUE(Manufacturers(a).add({"HALVERN", "Halvern Audio"}, true));
        EquipmentModels models(a);
        ASSERT_TRUE(models.add("HALVERN", "DVR-9", "recorder", "VTR"));
        model = models.list("HALVERN").value(0);

        cad::Block& b = drawing.document().addBlock("EQUIP_SD");
        for (const QString& t : kTags)
            drawing.document().add(b, cad::Entity::attributeDefinition({0, 0}, t, t, t, 0.2));
    }

    // An insert of the equipment block whose "Read Only EquipID" holds id, tagged as one.
    QString insert(const QString& id) {
        cad::Entity e = cad::makeInsert(drawing.document(), "EQUIP_SD", {0, 0});
        for (cad::Entity& a : e.attributes)
            if (a.tag == "Read Only EquipID") a.text = id;
        tag::tagEntity(e, tag::kind::EquipmentBlock, id);
        return drawing.editor().add(std::move(e));
    }
    QString attribute(const QString& handle, const char* tag) {
        return drawing.document().find(handle)->attribute(tag)->text;
    }
    std::optional<db::SystemRecord> assign(SystemNames& names, const QString& name,
                                           const QString& number,
                                           const QString& location = "Rack 1") {
        return names
            .assign({name, number, location, "U12", name + "-" + number}, model,
                    db::NameCase::NoFormat)
            .written;
    }
    QStringList table() {
        db::Query q(db::DbId::Project,
                    "select SysName, SysNum, Location, Elevation, Alias, Manufacturer, "
                    "equipmentname, EquipID from tblSystems order by SysID",
                    registry);
        q.exec();
        QStringList rows;
        while (q.next()) {
            QStringList r;
            for (int i = 0; i < 8; ++i) r << q.value(i).toString();
            rows << r.join('|');
        }
        return rows;
    }
    QString lockRow() {
        db::Query q(db::DbId::Project, "select lockSystems, LOCKEDBY from tblLockSys", registry);
        q.exec();
        return q.next() ? QString("%1 %2").arg(q.value(0).toBool()).arg(q.value(1).toString())
                        : "none";
    }

    db::Connections registry;  // outlives dbs, which closes it
    test::TestDatabases dbs{GetParam()};
    db::EquipmentModelRecord model;
    Drawing drawing;
};

}  // namespace

TEST_P(SystemNamesTest, ValidateNeedsTheEquipIdAttributeNamingAModel) {
    // The scenarios refuse an empty id, an unknown model and a line; here the other ways.
    const QString noAttribute = drawing.editor().add(cad::Entity::insert("EQUIP_SD", {5, 5}));
    const QString text = insert("abc"), good = insert(QString::number(model.id));
    ScriptedUser user("button OK\nbutton OK\nbutton OK\n");
    SystemNames names(*user.ui, registry);
    const auto check = [&](const QString& h) { return names.validate(drawing.document().find(h)); };
    EXPECT_FALSE(names.validate(nullptr));
    EXPECT_FALSE(check(noAttribute));
    EXPECT_FALSE(check(text));
    const auto found = check(good);
    ASSERT_TRUE(found);
    EXPECT_EQ(QStringList({found->name, found->type, found->manufacturerName}),
              QStringList({"DVR-9", "VTR", "Halvern Audio"}));
    const QStringList told = user.lines().filter("MESSAGE");
    ASSERT_EQ(told.size(), 3);
    EXPECT_TRUE(told[0].endsWith("Please select an equipment block."));
    EXPECT_TRUE(told[1].endsWith("This is not a Tolvane equipment block. Aborting."));
    EXPECT_TRUE(told[2].contains("Unable to retrieve information about this block."));
}

TEST_P(SystemNamesTest, NumbersFollowTheHighestOfTheNameInNumericOrder) {
    ScriptedUser user("");
    SystemNames names(*user.ui, registry);
    EXPECT_EQ(sysNumText(names.nextNumber("VTR")), "01");
    // Out of order, so that an order by text ("10" before "2") would show.
    for (int n : {9, 2, 10, 1}) ASSERT_TRUE(assign(names, "VTR", QString::number(n)));
    ASSERT_TRUE(assign(names, "CAM", "1"));
    QList<int> numbers;
    for (const db::SystemRecord& r : names.rowsOf("vtr")) numbers << r.number;
    EXPECT_EQ(numbers, QList<int>({1, 2, 9, 10}));
    EXPECT_EQ(names.nextNumber("VTR"), 11);
    EXPECT_EQ(names.nextNumber("CAM"), 2);

    // After 09 comes 10; numbers of three digits keep them.
    db::Query(db::DbId::Project, "delete from tblSystems where SysNum = 10", registry).exec();
    EXPECT_EQ(sysNumText(names.nextNumber("VTR")), "10");
    EXPECT_EQ(fullSystemName("VTR", 120), "VTR-120");

    // The model's type comes first, each name once.
    EXPECT_EQ(names.nameList(model), QStringList({"VTR", "CAM"}));
    db::EquipmentModelRecord untyped = model;
    untyped.type.clear();
    EXPECT_EQ(names.nameList(untyped), QStringList({"CAM", "VTR"}));
    // A type in other letters than the units' name stands once as well.
    db::EquipmentModelRecord lower = model;
    lower.type = "cam";
    EXPECT_EQ(names.nameList(lower), QStringList({"cam", "VTR"}));
}

TEST_P(SystemNamesTest, OkNeedsEveryFieldAndRewritesAnExistingUnitOnlyOnYes) {
    ScriptedUser user("button No\nbutton Yes\n");
    SystemNames names(*user.ui, registry);

    // Name case on the three fields; the first empty one in order is the one to fill in.
    AssignOutcome out =
        names.assign({"VTR", "01", "rack a", "", ""}, model, db::NameCase::TitleCase);
    EXPECT_EQ(out.missing, SystemField::Elevation);
    EXPECT_EQ(out.entry.location, "Rack A");
    EXPECT_FALSE(out.written);
    const auto missing = [&](const SystemEntry& e) {
        return names.assign(e, model, db::NameCase::NoFormat).missing;
    };
    EXPECT_EQ(missing({"VTR", "01", "", "", "x"}), SystemField::Location);
    EXPECT_EQ(missing({"VTR", "01", "a", "b", " "}), SystemField::Alias);
    EXPECT_EQ(missing({"VTR", "0", "a", "b", "c"}), SystemField::Number);
    EXPECT_TRUE(table().isEmpty());

    out = names.assign({"VTR", "01", "rack a", "u12", "edit one"}, model, db::NameCase::AllCaps);
    ASSERT_TRUE(out.written);
    const qint64 first = out.written->id;
    const QStringList written = {
        QString("VTR|1|RACK A|U12|EDIT ONE|Halvern Audio|DVR-9|%1").arg(model.id)};
    EXPECT_EQ(table(), written);
    EXPECT_TRUE(user.lines().isEmpty());

    // The same name and number: No leaves the row, Yes rewrites it in place (the question's
    // words: the scenario sysnames_assign).
    EXPECT_FALSE(assign(names, "VTR", "1", "Rack 2"));
    EXPECT_EQ(table(), written);
    const auto again = assign(names, "vtr", "01", "Rack 2");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->id, first);
    EXPECT_EQ(
        table(),
        QStringList({QString("vtr|1|Rack 2|U12|vtr-01|Halvern Audio|DVR-9|%1").arg(model.id)}));
}

TEST_P(SystemNamesTest, TheInsertShowsTheUnitAsOneUndoableChange) {
    const QString h = insert(QString::number(model.id));
    db::SystemRecord row{42, "VTR", 3, "Rack 1", "U12", "Edit", "Halvern Audio", "DVR-9", 7};
    ASSERT_TRUE(writeSystemToInsert(drawing, h, row));
    EXPECT_EQ(attribute(h, "SysName"), "VTR-03");
    EXPECT_EQ(attribute(h, "Location"), "Rack 1.U12");
    EXPECT_EQ(attribute(h, "Alias"), "Edit");
    EXPECT_EQ(attribute(h, "Manufacturer"), "Manufacturer");
    EXPECT_EQ(drawing.document().find(h)->tooltip, "DVR-9\r\nVTR-03");
    EXPECT_EQ(tag::ref2(*drawing.document().find(h)), "42");
    drawing.undo().undo();
    EXPECT_EQ(attribute(h, "SysName"), "SysName");
    EXPECT_EQ(tag::ref2(*drawing.document().find(h)), "");
    const QString line = drawing.editor().add(cad::Entity::line({0, 0}, {1, 0}));
    EXPECT_FALSE(writeSystemToInsert(drawing, line, row));
}

TEST_P(SystemNamesTest, TheCommandHoldsTheSystemLockOnlyInSharedMode) {
    const QString good = insert(QString::number(model.id));
    const auto setLock = [this](bool on, const QString& by) {
        db::Query(db::DbId::Project, "update tblLockSys set lockSystems = ?, LOCKEDBY = ?",
                  registry)
            .bind(on)
            .bind(by)
            .exec();
    };
    QStringList opened;
    const auto run = [&](ScriptedUser& user, bool shared, const QString& picked) {
        AssignSysNamesRun r{*user.ui, registry};
        r.shared = shared;
        r.whoAmI = "ann_pc1";
        r.picked = picked;
        r.openWindow = [&](const QString& h, const db::EquipmentModelRecord& m) {
            opened << h + " " + m.name + " " + lockRow();
        };
        assignSystemNames(drawing, r);
    };

    // Single-user mode neither reads nor writes the lock row, even one left held.
    setLock(true, "bob_pc2");
    {
        ScriptedUser user("");
        run(user, false, good);
        EXPECT_TRUE(user.lines().isEmpty());
        EXPECT_EQ(opened, QStringList({good + " DVR-9 1 bob_pc2"}));
    }
    // Shared: the holder is named, Retry asks again, Cancel ends without the window. Bob's
    // program is running (connected to the server), so his lock is no stale one.
    opened.clear();
    {
        db::Connections bob;
        bob.bind(db::DbId::Project, registry.boundTo(db::DbId::Project));
        bob.setSessionIdentity("bob_pc2");
        db::Query(db::DbId::Project, "select count(*) from tblLockSys", bob).exec();
        ScriptedUser user("button Retry\nbutton Cancel\n");
        run(user, true, good);
        EXPECT_EQ(user.lines().filter("MESSAGE [Retry/Cancel]").size(), 2);
        EXPECT_TRUE(user.lines().first().endsWith("The Systems table is being edited by bob_pc2"));
        EXPECT_TRUE(opened.isEmpty());
        EXPECT_EQ(lockRow(), "1 bob_pc2");
    }
    // Free: held while the window is open, free again afterwards, also after a refusal.
    setLock(false, "-");
    {
        ScriptedUser user("button OK\n");
        run(user, true, good);
        EXPECT_EQ(opened, QStringList({good + " DVR-9 1 ann_pc1"}));
        EXPECT_EQ(lockRow(), "0 -");
        run(user, true, drawing.editor().add(cad::Entity::line({0, 0}, {1, 0})));
        EXPECT_EQ(opened.size(), 1);
        EXPECT_EQ(lockRow(), "0 -");
    }
}

TEST_P(SystemNamesTest, AnUntaggedBlockIsTaggedWithItsNameOrRefusedBeforeAnythingIsWritten) {
    // Inserts of an equipment block that lack the tag: one with no extended data at all, one
    // carrying another program's.
    const auto untagged = [&](bool foreign) {
        cad::Entity e = cad::makeInsert(drawing.document(), "EQUIP_SD", {0, 0});
        for (cad::Entity& a : e.attributes)
            if (a.tag == "Read Only EquipID") a.text = QString::number(model.id);
        if (foreign) e.xdata << cad::XData{"OTHERCAD", {{QString(), 1000, "pump"}}};
        return drawing.editor().add(std::move(e));
    };
    ScriptedUser reader("");
    SystemNames names(*reader.ui, registry);
    const auto run = [&](ScriptedUser& user, const QString& picked) {
        AssignSysNamesRun r{*user.ui, registry};
        r.picked = picked;
        // What OK in the window does.
        r.openWindow = [&](const QString& h, const db::EquipmentModelRecord& m) {
            SystemNames window(*user.ui, registry);
            const auto out =
                window.assign({"VTR", "1", "Rack 1", "U12", "Edit"}, m, db::NameCase::NoFormat);
            ASSERT_TRUE(out.written);
            ASSERT_TRUE(writeSystemToInsert(drawing, h, *out.written));
        };
        assignSystemNames(drawing, r);
    };

    const QString plain = untagged(false);
    {
        ScriptedUser user("");
        run(user, plain);
        EXPECT_TRUE(user.lines().isEmpty());
    }
    const cad::Entity* e = drawing.document().find(plain);
    EXPECT_EQ(tag::kindOf(*e), tag::kind::EquipmentBlock);
    EXPECT_EQ(tag::ref1(*e), QString::number(model.id));
    EXPECT_EQ(tag::ref2(*e), QString::number(names.rowsOf("VTR").value(0).id));
    EXPECT_EQ(attribute(plain, "SysName"), "VTR-01");
    // The tag and the name are one step to undo.
    drawing.undo().undo();
    EXPECT_FALSE(tag::isOwn(*drawing.document().find(plain)));
    EXPECT_EQ(attribute(plain, "SysName"), "SysName");

    // Another program's data cannot be replaced by the tag: refused, nothing written.
    const QString foreign = untagged(true);
    const int rows = table().size();
    {
        ScriptedUser user("button OK\n");
        run(user, foreign);
        EXPECT_EQ(user.lines().filter("MESSAGE").size(), 1);
    }
    EXPECT_EQ(table().size(), rows);
    EXPECT_EQ(attribute(foreign, "SysName"), "SysName");
    EXPECT_EQ(drawing.document().find(foreign)->xdata.size(), 1);
}

TEST_P(SystemNamesTest, TheWindowShowsTheUnitsOfANameAndFocusesTheMissingField) {
    ScriptedUser user("");
    SystemNames names(*user.ui, registry);
    for (const char* n : {"1", "2", "3"}) ASSERT_TRUE(assign(names, "CAM", n, QString("R") + n));
    const QString h = insert(QString::number(model.id));
    tag::setRef2(*drawing.document().find(h), QString::number(names.rowsOf("CAM")[1].id));

    SystemNameWindow w(names, drawing, h, model, {db::NameCase::NoFormat, true});
    w.show();
    const auto field = [&](const char* name) {
        return WidgetDriver::printField(&w, name).section(" = ", 1);
    };
    // Opened on the unit the insert names, between the other two.
    EXPECT_EQ(field("cboSysName"), "CAM");
    EXPECT_EQ(field("txtSysNum"), "02");
    EXPECT_EQ(field("txtLocation"), "R2");
    WidgetDriver::click(&w, "cmdLast");
    EXPECT_EQ(field("txtSysNum"), "03");
    EXPECT_TRUE(WidgetDriver::printField(&w, "cmdNext").endsWith("[disabled]"));
    WidgetDriver::click(&w, "cmdFirst");
    EXPECT_EQ(field("txtLocation"), "R1");

    // New clears location and elevation; OK then puts the focus on the empty elevation and
    // writes nothing.
    WidgetDriver::click(&w, "cmdNew");
    EXPECT_EQ(field("txtSysNum"), "04");
    WidgetDriver::set(&w, "txtLocation", "Rack 9");
    WidgetDriver::click(&w, "cmdOK");
    EXPECT_EQ(w.focusWidget(), w.findChild<QLineEdit*>("txtElevation"));
    EXPECT_EQ(names.rowsOf("CAM").size(), 3);
    EXPECT_TRUE(w.isVisible());
}

INSTANTIATE_TEST_SUITE_P(Engines, SystemNamesTest, test::bothEngines(), test::engineName);
