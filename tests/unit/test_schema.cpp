// The schema on both engines: what a new database of each kind holds, how text compares, what
// deleting a parent row deletes, the row identity, and the upgrade of older databases.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QSet>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <thread>

#include "db/schema.h"
#include "db_fixture.h"

namespace {

using namespace tolvane;
using db::DbId;
using db::DbKind;
using db::Engine;

class SchemaTest : public ::testing::TestWithParam<Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
    }
    // Declared before dbs, which closes the registry's connections when it goes.
    db::Connections reg;
    test::TestDatabases dbs{GetParam()};

    Engine engine() const { return GetParam(); }
    void makeSchema(DbId id) {
        dbs.makeEmpty(id, reg);
        db::ensureSchema(id, reg);
    }
    // The first column of every row, as text.
    QStringList rows(DbId id, const QString& sql, const QVariantList& values = {}) {
        return test::firstColumn(id, reg, sql, values);
    }
    void exec(DbId id, const QString& sql, const QVariantList& values = {}) {
        rows(id, sql, values);
    }
    int count(DbId id, const QString& table, const QString& where = QStringLiteral("1 = 1")) {
        return rows(id, QStringLiteral("select count(*) from %1 where %2").arg(table, where))
            .value(0)
            .toInt();
    }
    // Statements an older Tolvane would have run: unprepared, as PostgreSQL needs for DDL.
    void raw(DbId id, const QString& sql) {
        QSqlQuery q(reg.database(id));
        ASSERT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    }
    QSqlRecord record(DbId id, const QString& table) {
        return reg.database(id).record(db::catalogName(engine(), table));
    }
};

TEST_P(SchemaTest, NewDatabaseHasEveryTableColumnAndViewAndSurvivesASecondRun) {
    for (DbId id : {DbId::PM, DbId::Equipment, DbId::Project}) {
        SCOPED_TRACE(db::dbName(id).toStdString());
        const DbKind kind = db::kindOf(id);
        dbs.makeEmpty(id, reg);
        EXPECT_EQ(db::schemaVersion(id, reg), 0);
        db::ensureSchema(id, reg);
        EXPECT_EQ(db::schemaVersion(id, reg), db::kSchemaVersion);
        for (const db::TableDef& t : db::tables(kind)) {
            const QSqlRecord r = record(id, t.name);
            EXPECT_EQ(r.count(), int(t.columns.size())) << t.name.toStdString();
            for (const db::ColumnDef& c : t.columns)
                EXPECT_GE(r.indexOf(c.name), 0) << (t.name + "." + c.name).toStdString();
        }
        for (const db::ViewDef& v : db::views(kind)) {
            EXPECT_NO_THROW(count(id, v.name)) << v.name.toStdString();
            EXPECT_FALSE(record(id, v.name).isEmpty()) << v.name.toStdString();
        }
        // A second run over a database in use keeps its rows.
        const db::TableDef& first = db::tables(kind).front();
        const auto text = std::find_if(first.columns.begin(), first.columns.end(),
                                       [](auto& c) { return c.type == db::ColType::Text; });
        exec(id, QStringLiteral("insert into %1 (%2) values ('KEEP')").arg(first.name, text->name));
        db::ensureSchema(id, reg);
        EXPECT_EQ(db::schemaVersion(id, reg), db::kSchemaVersion);
        EXPECT_EQ(count(id, first.name), 1);
    }
}

TEST_P(SchemaTest, DeletingAParentDeletesWhatBelongsToIt) {
    const DbId eq = DbId::Equipment;
    makeSchema(eq);
    exec(eq, "insert into tblManufacturers (ManufacturerID) values ('SONY')");
    // The manufacturer key compares without regard to case, here as everywhere.
    for (const char* model : {"DVW-500", "BVM-20"})
        exec(eq, "insert into tblEquipment (ManufacturerID, EquipmentName) values ('sony', ?)",
             {model});
    const QStringList ids = rows(eq, "select EquipmentID from tblEquipment order by EquipmentName");
    const QString deck = ids.value(1), monitor = ids.value(0);
    for (const QString& id : {deck, deck, monitor})
        exec(eq, "insert into tblInputs (EquipmentID, Name) values (?, 'IN')", {id.toInt()});
    exec(eq, "insert into tblOutputs (EquipmentID, Name) values (?, 'OUT')", {deck.toInt()});
    exec(eq, "delete from tblEquipment where EquipmentID = ?", {deck.toInt()});
    EXPECT_EQ(rows(eq, "select EquipmentID from tblInputs"), QStringList{monitor});
    EXPECT_EQ(count(eq, "tblOutputs"), 0);

    exec(eq, "insert into tblCableTypes (ManufacturerID, CableType) values ('SONY', 'MC-4')");
    const int type = rows(eq, "select CableTypeID from tblCableTypes").value(0).toInt();
    for (const char* pair : {"01", "02"})
        exec(eq, "insert into tblCablePairs (CableTypeID, PairNumber) values (?, ?)", {type, pair});
    exec(eq, "delete from tblCableTypes where CableTypeID = ?", {type});
    EXPECT_EQ(count(eq, "tblCablePairs"), 0);

    // A model needs a manufacturer that exists; a new manufacturer code reaches its models.
    EXPECT_THROW(exec(eq, "insert into tblEquipment (ManufacturerID) values ('NOBODY')"),
                 db::DbError);
    exec(eq, "update tblManufacturers set ManufacturerID = 'SNY'");
    EXPECT_EQ(count(eq, "tblEquipment", "ManufacturerID = 'SNY'"), 1);
}

TEST_P(SchemaTest, NewRowsGetTheirKeyIdentityAndDefaults) {
    const DbId pr = DbId::Project;
    makeSchema(pr);
    for (const char* number : {"1", "2", "3"})
        exec(pr, "insert into tblCables (CableNO) values (?)", {number});
    EXPECT_EQ(rows(pr, "select CableID from tblCables order by CableID").join(' '), "1 2 3");
    const QStringList guids = rows(pr, "select s_GUID from tblCables");
    EXPECT_EQ(QSet<QString>(guids.begin(), guids.end()).size(), 3);
    EXPECT_GE(guids.value(0).size(), 32);
    EXPECT_EQ(count(pr, "tblCables", "Available = FALSE and MultiCore = FALSE"), 3);

    // A free lock row is flag false and holder "-".
    exec(pr, "insert into tblLockcables default values");
    EXPECT_EQ(count(pr, "tblLockcables", "lockCables = FALSE and LOCKEDBY = '-'"), 1);

    const QDateTime when(QDate(2024, 5, 6), QTime(7, 8, 9));
    exec(pr, "update tblCables set DateOriginated = ? where CableNO = '1'", {when});
    db::Query q(pr, "select DateOriginated from tblCables where CableNO = '1'", reg);
    EXPECT_EQ(q.scalar().toDateTime(), when);
}

TEST_P(SchemaTest, TextComparesAndSortsWithoutRegardToCase) {
    const DbId pm = DbId::PM;
    makeSchema(pm);
    const QString add = QStringLiteral("insert into tblProjects (ProjectName) values (?)");
    for (const char* name : {"Studio A", "beta", "Alpha"}) exec(pm, add, {name});
    EXPECT_EQ(rows(pm, "select ProjectName from tblProjects where ProjectName = ?", {"STUDIO a"}),
              QStringList{"Studio A"});
    EXPECT_THROW(exec(pm, add, {"studio a"}), db::DbError);
    EXPECT_EQ(rows(pm, "select ProjectName from tblProjects order by ProjectName"),
              QStringList({"Alpha", "beta", "Studio A"}));
    const QString like = db::dialect::likeNoCase(engine(), "ProjectName");
    EXPECT_EQ(rows(pm, "select ProjectName from tblProjects where " + like, {"STU%"}).size(), 1);
}

TEST_P(SchemaTest, OlderDatabaseIsUpgradedWithoutLosingRows) {
    const DbId pr = DbId::Project;
    dbs.makeEmpty(pr, reg);
    // A cable table of an earlier version: few columns, a key that does not number new rows on
    // PostgreSQL, no row identity, and a column this version does not know.
    raw(pr, "create table tblCables (CableID integer primary key, CableNO text, OldNote text)");
    raw(pr,
        "insert into tblCables values (5, '1', 'first'), (7, '2', 'second'), (9, '3', 'third')");
    raw(pr, "create table tblLockSys (lockSystems boolean, LOCKEDBY text)");
    raw(pr, "insert into tblLockSys values (TRUE, 'ann_pc1')");
    db::ensureSchema(pr, reg);
    EXPECT_EQ(db::schemaVersion(pr, reg), db::kSchemaVersion);
    EXPECT_EQ(
        rows(pr,
             "select CableID || ':' || CableNO || ':' || OldNote from tblCables order by CableID"),
        QStringList({"5:1:first", "7:2:second", "9:3:third"}));
    for (const char* added : {"SRCSys", "DestPin", "DateModified", "s_GUID"})
        EXPECT_GE(record(pr, "tblCables").indexOf(added), 0) << added;
    EXPECT_EQ(rows(pr, "select distinct s_GUID from tblCables where s_GUID is not null").size(), 3);
    EXPECT_EQ(count(pr, "tblCables", "Available = FALSE"), 3);
    exec(pr, "insert into tblCables (CableNO) values ('4')");
    EXPECT_GT(rows(pr, "select CableID from tblCables where CableNO = '4'").value(0).toInt(), 9);
    EXPECT_EQ(rows(pr, "select LOCKEDBY from tblLockSys"), QStringList{"ann_pc1"});

    // Equipment made anew under inputs that belong to it (they must survive), and outputs
    // that were kept apart (the upgrade ties them to their equipment).
    const DbId eq = DbId::Equipment;
    dbs.makeEmpty(eq, reg);
    raw(eq, "create table tblEquipment (EquipmentID integer primary key, EquipmentName text)");
    raw(eq, "insert into tblEquipment values (1, 'Mixer'), (2, 'Deck')");
    raw(eq,
        "create table tblInputs (InputID integer primary key, EquipmentID integer references "
        "tblEquipment (EquipmentID) on delete cascade, Name text)");
    raw(eq, "insert into tblInputs values (10, 1, 'IN1'), (11, 1, 'IN2'), (12, 2, 'IN1')");
    raw(eq,
        "create table tblOutputs (OutputID integer primary key, EquipmentID integer, Name text)");
    raw(eq, "insert into tblOutputs values (20, 1, 'OUT1'), (21, 2, 'OUT1')");
    db::ensureSchema(eq, reg);
    EXPECT_EQ(
        rows(eq,
             "select InputID || ':' || EquipmentID || ':' || Name from tblInputs order by InputID"),
        QStringList({"10:1:IN1", "11:1:IN2", "12:2:IN1"}));
    EXPECT_EQ(rows(eq, "select distinct s_GUID from tblInputs where s_GUID is not null").size(), 3);
    exec(eq, "delete from tblEquipment where EquipmentID = 1");
    EXPECT_EQ(rows(eq, "select InputID from tblInputs"), QStringList{"12"});
    EXPECT_EQ(rows(eq, "select OutputID from tblOutputs"), QStringList{"21"});
}

// Columns whose kind changed: numbers kept as text become numbers ("Same As Layer" its
// number 256, an empty text no value), a numbered key becomes text, log-in names compare
// exactly; every row stays. A value that is no number stops the upgrade with the row named,
// and the database stays as it was.
TEST_P(SchemaTest, ColumnsOfAnOlderKindAreConvertedKeepingEveryRow) {
    const bool pg = engine() == Engine::PostgreSQL;
    const QString nocase = pg ? "citext" : "text collate nocase";
    const DbId eq = DbId::Equipment, pr = DbId::Project, pm = DbId::PM;
    for (const DbId id : {eq, pr, pm}) {
        dbs.makeEmpty(id, reg);
        if (pg) raw(id, "create extension if not exists citext with schema public");
    }
    raw(eq,
        "create table tblCablePairs (PairID integer primary key, CableTypeID integer, "
        "PairNumber " +
            nocase + ", paircolorcode " + nocase + ")");
    raw(eq,
        "insert into tblCablePairs values (1, 1, '01', 'Red'), (2, 1, '02', NULL), "
        "(3, 1, ' 3 ', NULL), (4, 1, '', NULL), (5, 1, NULL, NULL)");
    raw(eq, "create table SignalDefault (key integer primary key, Type " + nocase + ", Color " +
                nocase + ")");
    raw(eq,
        "insert into SignalDefault values (1, 'AUD', '3'), (2, 'VID', 'Same As Layer'), "
        "(3, 'TC', 'same'), (4, 'CTL', '')");
    raw(pr, "create table tblJF (JFID integer primary key, JFSysName " + nocase + ", JFSysID " +
                nocase + ")");
    raw(pr, "insert into tblJF values (1, 'JF', '07'), (2, 'JF', '12')");
    raw(pr, "create table tblJFRowCol (RowColID integer primary key, JFID integer, JFRowNumber " +
                nocase + ")");
    raw(pr, "insert into tblJFRowCol values (1, 1, '01'), (2, 1, '02')");
    raw(pr, "create table tblBOM (ItemKey integer primary key, Item " + nocase + ")");
    raw(pr, "insert into tblBOM values (4, 'XLR'), (9, 'BNC')");
    raw(pm, "create table tblUsers (UserKey integer primary key, UserName " + nocase +
                ", Password " + nocase + ")");
    raw(pm, "insert into tblUsers values (1, 'Admin', NULL)");
    for (const DbId id : {eq, pr, pm}) db::ensureSchema(id, reg);

    EXPECT_EQ(rows(eq, "select coalesce(PairNumber * 10, -1) from tblCablePairs order by PairID"),
              QStringList({"10", "20", "30", "-1", "-1"}));
    EXPECT_EQ(rows(eq, "select paircolorcode from tblCablePairs where PairNumber = ?", {1}),
              QStringList{"Red"});
    EXPECT_EQ(rows(eq, "select coalesce(Color, -1) from SignalDefault order by key"),
              QStringList({"3", "256", "256", "-1"}));
    EXPECT_EQ(rows(pr, "select JFSysID + 1 from tblJF order by JFID"), QStringList({"8", "13"}));
    EXPECT_EQ(rows(pr, "select JFRowNumber from tblJFRowCol where JFRowNumber < 2"),
              QStringList{"1"});
    EXPECT_EQ(rows(pr, "select ItemKey from tblBOM where ItemKey = '9'"), QStringList{"9"});
    exec(pr, "insert into tblBOM (Item) values ('RJ45')");
    EXPECT_GE(rows(pr, "select ItemKey from tblBOM where Item = 'RJ45'").value(0).size(), 32);
    EXPECT_EQ(count(pr, "tblBOM"), 3);
    EXPECT_EQ(count(pm, "tblUsers", "UserName = 'admin'"), 0);
    EXPECT_EQ(count(pm, "tblUsers", "UserName = 'Admin'"), 1);
    exec(pm, "insert into tblUsers (UserName) values ('admin')");
    EXPECT_EQ(count(pm, "tblUsers"), 2);

    const DbId blank = DbId::Blank;
    dbs.makeEmpty(blank, reg);
    if (pg) raw(blank, "create extension if not exists citext with schema public");
    raw(blank, "create table tblJF (JFID integer primary key, JFSysID " + nocase + ")");
    raw(blank, "insert into tblJF values (1, '07'), (2, 'A1'), (3, '7b')");
    const QString notNumbers = test::thrownText([&] { db::ensureSchema(blank, reg); });
    EXPECT_TRUE(notNumbers.contains("tblJF.JFSysID holds numbers now")) << qPrintable(notNumbers);
    EXPECT_TRUE(notNumbers.contains("JFID 2 holds \"A1\"; JFID 3 holds \"7b\""))
        << qPrintable(notNumbers);
    EXPECT_EQ(db::schemaVersion(blank, reg), 0);
    EXPECT_EQ(rows(blank, "select JFSysID from tblJF order by JFID"),
              QStringList({"07", "A1", "7b"}));
    EXPECT_TRUE(record(blank, "tblSystems").isEmpty());
}

TEST_P(SchemaTest, RefusedOrFailedUpgradeChangesNothing) {
    makeSchema(DbId::PM);
    raw(DbId::PM, "drop table tblCompany");
    raw(DbId::PM,
        QStringLiteral("update tolvane_schema set version = %1").arg(db::kSchemaVersion + 1));
    const QString newer = test::thrownText([&] { db::ensureSchema(DbId::PM, reg); });
    EXPECT_TRUE(newer.contains("newer Tolvane")) << qPrintable(newer);
    EXPECT_TRUE(record(DbId::PM, "tblCompany").isEmpty());

    // Two bills of one name cannot take the key: the tables upgraded before it stay as they were.
    const DbId blank = DbId::Blank;
    dbs.makeEmpty(blank, reg);
    raw(blank, "create table tblCables (CableID integer primary key, CableNO text)");
    raw(blank, "create table tblBOMMaster (BOMFileName text)");
    raw(blank, "insert into tblBOMMaster values ('Rack'), ('Rack')");
    EXPECT_THROW(db::ensureSchema(blank, reg), db::DbError);
    EXPECT_EQ(db::schemaVersion(blank, reg), 0);
    EXPECT_TRUE(record(blank, "tblSystems").isEmpty());
    EXPECT_EQ(record(blank, "tblCables").count(), 2);
    EXPECT_EQ(count(blank, "tblBOMMaster"), 2);
}

// Several users of a shared server start at once on a project kept in its own schema of the
// database that also holds the project manager.
TEST_P(SchemaTest, UsersOfASharedServerStartingTogether) {
    if (engine() != Engine::PostgreSQL) GTEST_SKIP() << "schemas of one database: a server's";
    db::ConnectionSpec connSpec = dbs.makeEmpty(DbId::PM, reg);
    db::ensureSchema(DbId::PM, reg);
    connSpec.schema = QStringLiteral("studio_b");
    reg.bind(DbId::Project, connSpec);
    EXPECT_EQ(db::schemaVersion(DbId::Project, reg), 0);  // the manager's version is not ours
    std::atomic<int> failures = 0;
    auto start = [&] {
        db::Connections own;  // connections belong to the thread that made them
        own.bind(DbId::Project, connSpec);
        try {
            db::ensureSchema(DbId::Project, own);
        } catch (const db::DbError& e) {
            ADD_FAILURE() << e.description().toStdString();
            ++failures;
        }
    };
    std::thread a(start), b(start);
    a.join();
    b.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(db::schemaVersion(DbId::Project, reg), db::kSchemaVersion);
    const QString in = QStringLiteral("table_schema = 'studio_b' and table_name = '%1'");
    EXPECT_EQ(count(DbId::Project, "information_schema.tables", in.arg("tblcables")), 1);
    EXPECT_EQ(count(DbId::Project, "information_schema.tables", in.arg("tblprojects")), 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, SchemaTest, test::bothEngines(), test::engineName);

TEST(SchemaDefinitions, KeysRelationsAndIdentitiesHoldTogether) {
    for (DbKind kind : {DbKind::ProjectManager, DbKind::Equipment, DbKind::Project}) {
        QStringList earlier;
        for (const db::TableDef& t : db::tables(kind)) {
            SCOPED_TRACE(t.name.toStdString());
            QSet<QString> names;
            for (const db::ColumnDef& c : t.columns) {
                EXPECT_FALSE(names.contains(c.name.toLower())) << "twice: " << c.name.toStdString();
                names << c.name.toLower();
                if (c.type == db::ColType::AutoKey) {
                    EXPECT_TRUE(c.hidden && t.primaryKey.isEmpty());
                }
            }
            QStringList used = t.primaryKey;
            for (const db::IndexDef& ix : t.indexes)
                for (QString c : ix.columns) {
                    // An expression names its column inside: "(length(CableNO))".
                    if (c.startsWith('(')) c = c.section('(', -1).section(')', 0, 0);
                    used << c;
                }
            // A referenced table comes first: PostgreSQL makes it before the reference.
            for (const db::ForeignKeyDef& fk : t.foreignKeys) {
                used << fk.columns;
                EXPECT_TRUE(earlier.contains(fk.refTable)) << fk.refTable.toStdString();
                const db::TableDef* parent = db::findTable(kind, fk.refTable);
                ASSERT_TRUE(parent && parent->column(fk.refColumns.value(0)));
                EXPECT_TRUE(parent->column(fk.refColumns.value(0))->type == db::ColType::AutoKey ||
                            parent->primaryKey == fk.refColumns);
            }
            for (const QString& c : used) EXPECT_TRUE(t.column(c)) << c.toStdString();
            const db::ColumnDef* guid = t.column(db::kGuidColumn);
            EXPECT_EQ(t.merged, !t.name.startsWith("tblLock"));
            EXPECT_EQ(guid != nullptr, t.merged);
            EXPECT_TRUE(!guid || guid->hidden);
            earlier << t.name;
        }
    }
    EXPECT_TRUE(db::isHiddenColumn(DbKind::ProjectManager, "TBLPROJECTS", "projectsid"));
    EXPECT_TRUE(db::isHiddenColumn(DbKind::ProjectManager, "tblProjects", "UserPrefs"));
    EXPECT_FALSE(db::isHiddenColumn(DbKind::ProjectManager, "tblProjects", "ProjectName"));
    EXPECT_TRUE(db::isHiddenColumn(DbKind::Project, "qryProjJFJack", "RowColID"));
    EXPECT_FALSE(db::isHiddenColumn(DbKind::Project, "qryProjJFJack", "JFSysName"));
    EXPECT_TRUE(db::isHiddenColumn(DbKind::Equipment, "tblConnectors", "s_Lineage"));
}

TEST(SchemaFile, EmptyDatabaseFileIsMadeWithItsFolderAndNeverEmptied) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Project Databases/deeper/ProjectDB.db");
    db::createSqliteFile(DbId::Project, path);
    db::Connections reg;
    reg.bind(DbId::Project, db::ConnectionSpec::sqlite(path));
    db::ensureSchema(DbId::Project, reg);
    reg.closeAll();
    const qint64 size = QFileInfo(path).size();
    EXPECT_GT(size, 0);
    db::createSqliteFile(DbId::Project, path);
    EXPECT_EQ(QFileInfo(path).size(), size);

    EXPECT_THROW(db::createSqliteFile(DbId::Project, dir.path()), db::DbError);
    test::writeFile(dir.filePath("plain-file"), {});
    EXPECT_TRUE(test::thrownText([&] {
                    db::createSqliteFile(DbId::PM, dir.filePath("plain-file/dbPM.db"));
                }).contains("project manager database"));
}

}  // namespace
