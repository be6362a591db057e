// The typed records of the project manager and of a project's registries on both engines: the
// drawing registry and its locks, the projects and a project database's own record, users and
// group permissions, bills of materials and their lines. What is written reads back the same,
// nulls as nulls; lookups compare as the program has always compared them; rows come in the
// order the callers show them.
#include <gtest/gtest.h>

#include "db/records/bills_of_materials.h"
#include "db/records/drawings.h"
#include "db/records/projects.h"
#include "db/records/users.h"
#include "db/schema.h"
#include "db_fixture.h"

using namespace tolvane;

namespace {

class ProjectRecords : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        for (db::DbId id : {db::DbId::PM, db::DbId::Project}) {
            dbs.makeEmpty(id, r);
            db::ensureSchema(id, r);
        }
    }

    qint64 count(db::DbId id, const QString& sql) {
        return db::Query(id, sql, r).scalar().toLongLong();
    }

    db::Connections r;
    test::TestDatabases dbs{GetParam()};
};

const QString kLong = QString("Studio \"A\" / O'Neill's rack ").repeated(40);

db::DrawingRow drawing(const QString& name, const QString& path) {
    db::DrawingRow d;
    d.name = name;
    d.path = path;
    return d;
}

}  // namespace

// Every column written reads back, nulls as nulls and empty text as empty text (a row without
// a path is told apart from a row whose path is empty); paths are found without regard to
// case; rows come by name then path, or in the order they were registered.
TEST_P(ProjectRecords, DrawingRoundTripAndOrder) {
    db::DrawingTable drawings(r);
    db::DrawingRow full = drawing(kLong, "/job/DRAWINGS/It's \"here\".dxf");
    full.projectsId = 7;
    full.locked = true;
    full.lockedBy = "ann_pc1";
    full.title = "Machine room";
    full.number = "E-101";
    full.revision = "C";
    full.date = "2026-03-04";
    full.drawnBy = "Ann";
    drawings.insert(full);
    drawings.insert(drawing("b.dxf", ""));
    drawings.insert(drawing("b.dxf", QString()));
    drawings.insert(drawing("a.dxf", "/job/a.dxf"));

    const std::optional<db::DrawingRow> read = drawings.find("/JOB/drawings/IT'S \"HERE\".DXF");
    ASSERT_TRUE(read);
    db::DrawingRow expected = full;
    expected.id = read->id;
    EXPECT_EQ(*read, expected);
    EXPECT_EQ(drawings.find("/job/DRAWINGS/It's"), std::nullopt);

    const QList<db::DrawingRow> all = drawings.all();
    ASSERT_EQ(all.size(), 4);
    EXPECT_EQ(all[0].name, "a.dxf");
    EXPECT_EQ(all[0].projectsId, std::nullopt);
    EXPECT_TRUE(all[0].title.isNull());
    EXPECT_EQ(all[3].name, kLong);
    // Where a null path sorts is the engine's choice; it stays null, the empty one empty.
    EXPECT_NE(all[1].path.isNull(), all[2].path.isNull());
    EXPECT_TRUE(all[1].path.isEmpty() && all[2].path.isEmpty());
    const QList<db::DrawingRow> registered = drawings.inKeyOrder();
    ASSERT_EQ(registered.size(), 4);
    EXPECT_EQ(registered[0].id, read->id);
    EXPECT_FALSE(registered[1].path.isNull());
    EXPECT_TRUE(registered[2].path.isNull());
    EXPECT_EQ(registered[3].id, all[0].id);
    EXPECT_LT(registered[1].id, registered[2].id);

    drawings.setPath(all[0].id, "/moved/a.dxf");
    EXPECT_EQ(drawings.find("/job/a.dxf"), std::nullopt);
    EXPECT_EQ(drawings.find("/moved/a.dxf")->id, all[0].id);
}

// Removing many rows takes several statements and misses none; other rows stay.
TEST_P(ProjectRecords, DrawingRemoval) {
    db::DrawingTable drawings(r);
    QStringList gone;
    {
        db::Transaction tx(db::DbId::Project, r);
        for (int i = 0; i < 1203; ++i) {
            const QString path = QString("/job/%1.dxf").arg(i);
            drawings.insert(drawing(QString::number(i), path));
            if (i != 600) gone << path.toUpper();
        }
        tx.commit();
    }
    drawings.remove(gone);
    drawings.remove({});
    ASSERT_EQ(drawings.all().size(), 1);
    EXPECT_EQ(drawings.all()[0].path, "/job/600.dxf");
    drawings.removeAll();
    EXPECT_TRUE(drawings.all().isEmpty());
}

// A free drawing is taken by one holder only; a lock is taken over only from the holder named;
// a holder gives back only its own lock; an unlock keeps the holder's name; shutdown frees all
// rows or only one holder's.
TEST_P(ProjectRecords, DrawingLocks) {
    db::DrawingTable drawings(r);
    for (const char* path : {"/a.dxf", "/b.dxf", "/c.dxf"}) drawings.insert(drawing("", path));
    const auto state = [&](const QString& path) {
        const db::DrawingRow d = *drawings.find(path);
        return QString(d.locked ? "locked " : "free ") + d.lockedBy;
    };

    EXPECT_TRUE(drawings.lockIfFree("/A.DXF", "ann"));
    EXPECT_FALSE(drawings.lockIfFree("/a.dxf", "bob"));
    EXPECT_FALSE(drawings.lockIfFree("/none.dxf", "bob"));
    EXPECT_EQ(state("/a.dxf"), "locked ann");

    EXPECT_EQ(drawings.takeOver("/a.dxf", "bob", "eve"), 0);
    EXPECT_EQ(drawings.takeOver("/a.dxf", "ann", "bob"), 1);
    EXPECT_EQ(state("/a.dxf"), "locked bob");
    // A locked row that names no holder is taken over from the empty name.
    db::Query(db::DbId::Project,
              "update tblDrawings set Locked = ?, LOCKEDBY = null where drawingpath = '/c.dxf'", r)
        .bind(true)
        .exec();
    EXPECT_EQ(drawings.takeOver("/c.dxf", "", "ann"), 1);
    EXPECT_EQ(state("/c.dxf"), "locked ann");

    drawings.release("/a.dxf", "ann");
    EXPECT_EQ(state("/a.dxf"), "locked bob");
    drawings.release("/a.dxf", "bob");
    EXPECT_EQ(state("/a.dxf"), "free ");
    EXPECT_TRUE(drawings.lockIfFree("/a.dxf", "bob"));
    drawings.unlock("/a.dxf");
    EXPECT_EQ(state("/a.dxf"), "free bob");

    EXPECT_TRUE(drawings.lockIfFree("/b.dxf", "bob"));
    EXPECT_EQ(drawings.lockedCount(), 2);
    EXPECT_EQ(drawings.lockedCount("ann"), 1);
    EXPECT_EQ(drawings.lockedCount("nobody"), 0);
    drawings.unlockAll("ann");
    EXPECT_EQ(state("/c.dxf"), "free ann");
    EXPECT_EQ(state("/b.dxf"), "locked bob");
    drawings.unlockAll();
    EXPECT_EQ(drawings.lockedCount(), 0);
    EXPECT_EQ(state("/b.dxf"), "free bob");
}

// Projects are found by name and by folder without regard to case, listed by name; the first
// project registered with a folder answers for it. A project database names its project in
// one row, however often it is written.
TEST_P(ProjectRecords, Projects) {
    db::ProjectTable projects(r);
    EXPECT_TRUE(projects.all().isEmpty());
    projects.insert({0, "Zulu's \"B\"", kLong, "/jobs/zulu"});
    projects.insert({0, "alpha", "", QString()});
    projects.insert({0, "Mike", "second at the folder", "/jobs/zulu"});

    EXPECT_EQ(projects.names(), (QStringList{"alpha", "Mike", "Zulu's \"B\""}));
    const std::optional<db::ProjectRow> zulu = projects.find("ZULU'S \"b\"");
    ASSERT_TRUE(zulu);
    EXPECT_GT(zulu->id, 0);
    EXPECT_EQ(*zulu, (db::ProjectRow{zulu->id, "Zulu's \"B\"", kLong, "/jobs/zulu"}));
    EXPECT_EQ(projects.atPath("/JOBS/Zulu"), zulu);
    EXPECT_EQ(projects.atPath("/jobs"), std::nullopt);
    const db::ProjectRow alpha = *projects.find("Alpha");
    EXPECT_TRUE(alpha.path.isEmpty());
    EXPECT_TRUE(alpha.description.isEmpty());

    projects.setPath("ALPHA", "/jobs/alpha");
    EXPECT_EQ(projects.atPath("/jobs/alpha")->name, "alpha");
    projects.remove("zulu's \"b\"");
    EXPECT_EQ(projects.find("Zulu's \"B\""), std::nullopt);
    EXPECT_EQ(projects.atPath("/jobs/zulu")->name, "Mike");
    EXPECT_THROW(projects.insert({0, "MIKE", "", ""}), db::DbError);  // one row per name

    db::LocalProjectTable local(r);
    EXPECT_EQ(local.read(), std::nullopt);
    local.write("Job", "First");
    local.write("Job's", kLong);
    EXPECT_EQ(count(db::DbId::Project, "select count(*) from tblLocalProject"), 1);
    const std::optional<db::ProjectRow> own = local.read();
    ASSERT_TRUE(own);
    EXPECT_EQ(own->name, "Job's");
    EXPECT_EQ(own->description, kLong);
}

// Log-in names compare exactly; a user without a password is told apart from one whose stored
// password is the empty text; users are listed by name without regard to case, then as
// written. Group permissions are read per column and set only on columns the table has.
TEST_P(ProjectRecords, UsersAndPermissions) {
    db::UserTable users(r);
    users.insert({0, "admin", QString(), "Administrators"});
    users.insert({0, "Admin", "", "Viewers"});
    users.insert({0, "O'Brien", "$argon2id$x", "Engineers"});
    users.insert({0, "admin", "twin", "Viewers"});

    // Letter case decides only between names equal without it; one name's rows by key.
    QStringList names;
    QList<qint64> twins;
    for (const db::UserRecord& u : users.all()) {
        names << u.name.toLower();
        if (u.name == "admin") twins << u.key;
    }
    EXPECT_EQ(names, (QStringList{"admin", "admin", "admin", "o'brien"}));
    ASSERT_EQ(twins.size(), 2);
    EXPECT_LT(twins[0], twins[1]);

    const QList<db::UserRecord> admins = users.named("admin");
    ASSERT_EQ(admins.size(), 2);
    EXPECT_EQ(admins[0].group, "Administrators");
    EXPECT_FALSE(admins[0].hasPassword());
    EXPECT_EQ(admins[1].password, "twin");
    const QList<db::UserRecord> capital = users.named("Admin");
    ASSERT_EQ(capital.size(), 1);
    EXPECT_TRUE(capital[0].hasPassword());
    EXPECT_TRUE(capital[0].password.isEmpty());
    EXPECT_TRUE(users.named("ADMIN").isEmpty());
    // Passwords and groups set, users removed, and the permission columns named as the user
    // writes them: through the users service (test_users).

    const QStringList columns = db::PermissionTable::columns();
    ASSERT_EQ(columns.size(), 9);
    EXPECT_EQ(columns.first(), "CreateDrawings");

    db::Query(db::DbId::PM,
              "insert into tblpermissions (GroupName, editDrawings) values ('Viewers', ?), "
              "('Engineers', ?), ('Editors''s', ?)",
              r)
        .bind(false)
        .bind(true)
        .bind(false)
        .exec();
    db::PermissionTable groups(r);
    QStringList groupNames;
    for (const db::GroupRecord& g : groups.all()) groupNames << g.name;
    EXPECT_EQ(groupNames, (QStringList{"Editors's", "Engineers", "Viewers"}));
    const std::optional<db::GroupRecord> engineers = groups.find("ENGINEERS");
    ASSERT_TRUE(engineers);
    EXPECT_EQ(engineers->flags.size(), 9);
    EXPECT_TRUE(engineers->flags.value("editDrawings"));
    EXPECT_FALSE(engineers->flags.value("CreateDrawings"));
    EXPECT_EQ(groups.find("Nobody"), std::nullopt);

    groups.set("viewers", "createdrawings", true);
    EXPECT_TRUE(groups.find("Viewers")->flags.value("CreateDrawings"));
    EXPECT_FALSE(groups.find("Engineers")->flags.value("CreateDrawings"));
    EXPECT_THROW(groups.set("Viewers", "GroupName", true), AppError);
}

// Bills by name with their dates; lines of one bill only, written in parts however many, null
// costs and extensions kept null; the grid's condition picks one bill's lines whatever its name
// holds; a bill removed with its lines. Extensions priced anew, names in any letter case: the
// bill of materials service (test_bill_of_materials).
TEST_P(ProjectRecords, BillsAndLines) {
    db::BomTable bom(r);
    const QString quoted = "Bill's \"final\" -- ;";
    bom.insert(db::BomBill{"Zeta", QDate(2024, 12, 31)});
    bom.insert(db::BomBill{quoted, QDate(2026, 3, 4)});
    EXPECT_EQ(bom.bills(),
              (QList<db::BomBill>{{quoted, QDate(2026, 3, 4)}, {"Zeta", QDate(2024, 12, 31)}}));
    EXPECT_FALSE(bom.exists("Zet"));

    QList<db::BomLine> lines;
    for (int i = 0; i < 1203; ++i) {
        db::BomLine l;
        l.bill = "Zeta";
        l.bomClass = "Equipment";
        l.item = QString("Item %1").arg(i, 4, 10, QLatin1Char('0'));
        l.qty = i;
        l.cost1 = 0.5;
        lines << l;
    }
    db::BomLine priced;
    priced.bill = quoted;
    priced.bomClass = "Cable Types";
    priced.item = kLong;
    priced.manufacturer = "O'Neill";
    priced.qty = 12.5;
    priced.vendor1 = "Wire Shop";
    priced.vendor2 = "";
    priced.cost1 = 2;
    priced.cost2 = 0;
    priced.ext1 = 25;
    priced.ext2 = 0;
    lines << priced;
    bom.insert(lines);
    bom.insert(QList<db::BomLine>{});

    const QList<db::BomLine> zeta = bom.lines("Zeta");
    ASSERT_EQ(zeta.size(), 1203);
    EXPECT_EQ(zeta.first().item, "Item 0000");
    EXPECT_EQ(zeta.last().item, "Item 1202");
    EXPECT_FALSE(zeta.first().itemKey.isEmpty());
    EXPECT_NE(zeta.first().itemKey, zeta.last().itemKey);
    EXPECT_EQ(zeta.last().cost2, std::nullopt);
    EXPECT_EQ(zeta.last().ext1, std::nullopt);
    EXPECT_TRUE(zeta.last().manufacturer.isNull());
    const QList<db::BomLine> one = bom.lines(quoted);
    ASSERT_EQ(one.size(), 1);
    priced.itemKey = one[0].itemKey;
    EXPECT_EQ(one[0], priced);

    // The condition runs as a grid runs it, pasted after WHERE.
    const auto linesUnder = [&](const QString& condition) {
        return count(db::DbId::Project, "select count(*) from (" + db::BomTable::linesSelect() +
                                            " where " + condition + ") picked");
    };
    EXPECT_EQ(linesUnder(bom.linesCondition(quoted)), 1);
    EXPECT_EQ(linesUnder(bom.linesCondition("zeta")), 1203);
    EXPECT_EQ(bom.linesCondition("None"), "");

    bom.remove(quoted);
    EXPECT_FALSE(bom.exists(quoted));
    EXPECT_TRUE(bom.lines(quoted).isEmpty());
    EXPECT_EQ(bom.lines("Zeta").size(), 1203);
}

INSTANTIATE_TEST_SUITE_P(Engines, ProjectRecords, test::bothEngines(), test::engineName);
