// The starter library a new installation gets: the equipment library holds what a user picks
// from at once (models whose pins name real signal types and connectors, multicore cable
// types with their cores, signal types with prefixes and colours, the default user's
// preference row), the project manager its default project, groups and administrator, a
// project its free lock rows; and seeding again adds only what is missing, on both engines.
#include <gtest/gtest.h>

#include "db/schema.h"
#include "db/starter_library.h"
#include "db_fixture.h"

using namespace tolvane;
using db::DbId;

namespace {

// Each statement counts the rows of the equipment library that break one rule the program
// relies on.
const char* const kLibraryRules[][2] = {
    {"pin naming no signal type, connector or model",
     "select count(*) from (select EquipmentID, Name, Type, conn from tblInputs union all select "
     "EquipmentID, Name, Type, conn from tblOutputs) p where Type not in (select Type from "
     "SignalDefault) or conn not in (select Connector from tblConnectors) or EquipmentID not in "
     "(select EquipmentID from tblEquipment) or Name = '' or length(Name) > 32"},
    {"pin name used twice on one model",
     "select count(*) from (select EquipmentID, Name from tblInputs union all select EquipmentID, "
     "Name from tblOutputs) p group by EquipmentID, Name having count(*) > 1"},
    {"pins not ordered 1..n",
     "select count(*) from (select 'in' side, EquipmentID, DisplayOrder from tblInputs union all "
     "select 'out', EquipmentID, DisplayOrder from tblOutputs) p group by side, EquipmentID having "
     "min(DisplayOrder) <> 1 or max(DisplayOrder) <> count(*) or count(distinct DisplayOrder) <> "
     "count(*)"},
    {"model without price or not listed under its maker",
     "select count(*) from tblEquipment e where EquipmentCost1 is null or not exists (select 1 "
     "from tblManufacturers m where m.ManufacturerID = e.ManufacturerID and DisplayInEquipment)"},
    {"DA block without one input and several outputs",
     "select count(*) from tblEquipment e where DisplayASDA and ((select count(*) from tblInputs "
     "i where i.EquipmentID = e.EquipmentID) <> 1 or (select count(*) from tblOutputs o where "
     "o.EquipmentID = e.EquipmentID) < 2)"},
    {"jackfield with unknown connectors or not listed under its maker",
     "select count(*) from tblJackFields j where FrontConn not in (select Connector from "
     "tblConnectors) or RearConn not in (select Connector from tblConnectors) or not exists "
     "(select 1 from tblManufacturers m where m.ManufacturerID = j.ManufacturerID and "
     "DisplayInJackFields)"},
    {"router not listed under its maker",
     "select count(*) from tblRTR r where not exists (select 1 from tblManufacturers m where "
     "m.ManufacturerID = r.ManufacturerID and DisplayInRouters)"},
    {"cable type not listed under its maker",
     "select count(*) from tblCableTypes c where not exists (select 1 from tblManufacturers m "
     "where m.ManufacturerID = c.ManufacturerID and DisplayInCableTypes)"},
    {"multicore type whose cores are not 1..n",
     "select count(*) from tblCableTypes c where cablemulticore and (cablecorenumber <> (select "
     "count(distinct PairNumber) from tblCablePairs p where p.CableTypeID = c.CableTypeID) or "
     "exists (select 1 from tblCablePairs p where p.CableTypeID = c.CableTypeID and "
     "PairNumber not between 1 and cablecorenumber))"},
    {"single cable type with cores",
     "select count(*) from tblCablePairs p join tblCableTypes c on c.CableTypeID = p.CableTypeID "
     "where not cablemulticore"},
    {"numbered core not marked with its number",
     "select count(*) from tblCablePairs p join tblCableTypes c on c.CableTypeID = p.CableTypeID "
     "where CableCoreScheme = 'Numbered' and paircolorcode <> cast(PairNumber as text)"},
    {"colour-coded core marked with a number, or two alike",
     "select count(*) from tblCablePairs p join tblCableTypes c on c.CableTypeID = p.CableTypeID "
     "where CableCoreScheme = 'Color Coded' and (paircolorcode = '' or substr(paircolorcode, 1, "
     "1) between '0' and '9' or exists (select 1 from tblCablePairs q where q.CableTypeID = "
     "p.CableTypeID and q.PairID <> p.PairID and q.paircolorcode = p.paircolorcode))"},
    {"signal type without prefix or with a colour outside 1..255",
     "select count(*) from SignalDefault where coalesce(CableNoPrefix, '') = '' or cast(Color as "
     "integer) not between 1 and 255"},
    {"two signal types with one prefix",
     "select count(*) from SignalDefault group by CableNoPrefix having count(*) > 1"},
    {"signal type whose default cable is not in the library",
     "select count(*) from SignalDefault s where not exists (select 1 from tblCableTypes c join "
     "tblManufacturers m on m.ManufacturerID = c.ManufacturerID where m.ManufacturerName = "
     "s.CableManu and c.CableType = s.CableType and DisplayInCableTypes)"},
};

class StarterLibraryTest : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
    }
    void make(DbId id) {
        dbs.makeEmpty(id, registry);
        db::ensureSchema(id, registry);
    }
    void makeEquipment() {
        make(DbId::Equipment);
        db::seedEquipment(registry);
    }
    // The first column of every row, as text (null: "<null>").
    QStringList column(DbId id, const QString& sql, const QVariantList& args = {}) {
        db::Query q(id, sql, registry);
        for (const QVariant& a : args) q.bind(a);
        q.exec();
        QStringList out;
        while (q.next()) out << (q.value(0).isNull() ? "<null>" : q.value(0).toString());
        return out;
    }
    // The same, joined for a readable comparison.
    std::string joined(DbId id, const QString& sql, const QVariantList& args = {}) {
        return column(id, sql, args).join(", ").toStdString();
    }
    int count(DbId id, const QString& sql, const QVariantList& args = {}) {
        const QStringList c = column(id, sql, args);
        return c.isEmpty() ? 0 : c.first().toInt();
    }

    db::Connections registry;  // outlives dbs, which closes it
    test::TestDatabases dbs{GetParam()};
};

}  // namespace

TEST_P(StarterLibraryTest, LibraryKeepsTheRulesTheProgramReliesOn) {
    makeEquipment();
    for (const auto& [rule, sql] : kLibraryRules) EXPECT_EQ(count(DbId::Equipment, sql), 0) << rule;
}

TEST_P(StarterLibraryTest, LibraryOffersWhatAStudioNeedsAtOnce) {
    makeEquipment();
    EXPECT_GE(count(DbId::Equipment, "select count(*) from tblEquipment"), 24);
    EXPECT_GE(count(DbId::Equipment, "select count(*) from tblEquipment where DisplayASDA"), 1);
    EXPECT_GE(count(DbId::Equipment, "select count(*) from tblOutputs"), 100);
    const QStringList types = column(DbId::Equipment, "select Type from SignalDefault");
    for (const char* code : {"AUD", "VID", "DATA", "CTL", "COM", "SYNC", "DGA", "DGV"})
        EXPECT_TRUE(types.contains(code)) << code;  // the library's signal-group buttons

    // Routers, among them a 16x16 SDI and a 32x32 AES matrix, in the router library as well.
    const QString size =
        "select count(*) from tblEquipment e where EquipmentType = 'Router' and (select count(*) "
        "from tblInputs i where i.EquipmentID = e.EquipmentID and i.Type = ?) = ? and (select "
        "count(*) from tblOutputs o where o.EquipmentID = e.EquipmentID) = ?";
    EXPECT_EQ(count(DbId::Equipment, size, {"DGV", 16, 16}), 1);
    EXPECT_EQ(count(DbId::Equipment, size, {"DGA", 32, 32}), 1);
    const QStringList routers =
        column(DbId::Equipment, "select SignalType || ' ' || Inputs || 'x' || Outputs from tblRTR");
    EXPECT_TRUE(routers.contains("DGV 16x16") && routers.contains("DGA 32x32"))
        << routers.join(", ").toStdString();

    const QStringList fields = column(
        DbId::Equipment, "select JFRows || 'x' || JFCols || ' ' || FrontConn from tblJackFields");
    for (const char* f : {"2x24 Midsize Video Jack", "2x26 Bantam TT", "2x48 Bantam TT"})
        EXPECT_TRUE(fields.contains(f)) << f;

    // Multicores of both core schemes: 8 numbered pairs, 12 colour-coded pairs, 4 video cores.
    const QStringList multicores =
        column(DbId::Equipment,
               "select cablecorenumber || ' ' || CableCoreScheme from tblCableTypes where "
               "cablemulticore");
    for (const char* m : {"8 Numbered", "12 Color Coded", "4 Numbered"})
        EXPECT_TRUE(multicores.contains(m)) << m;
}

TEST_P(StarterLibraryTest, DefaultUserHasACompletePreferenceRow) {
    makeEquipment();
    EXPECT_EQ(joined(DbId::Equipment, "select UserName || ' ' || UID from tblUsers"), "DEFAULT 1");

    // Every preference has a value (the shortcut letters may be empty texts).
    QStringList missing;
    for (const db::ColumnDef& c : db::findTable(db::DbKind::Equipment, "tblPreferences")->columns)
        if (!c.hidden) missing << c.name + " is null";
    EXPECT_EQ(count(DbId::Equipment, "select count(*) from tblPreferences"), 1);
    EXPECT_EQ(count(DbId::Equipment, "select count(*) from tblPreferences where UserID <> 1 or " +
                                         missing.join(" or ")),
              0);
    EXPECT_EQ(joined(DbId::Equipment,
                     "select BlockWidth || '/' || BlockPinSpacing || '/' || BlockColor || '/' || "
                     "BlockBasePoint || '/' || defaultJack || '/' || DefaultJb || '/' || "
                     "sysnamefmt || '/' || jfspacing from tblPreferences"),
              "4/1/7/Pin 1/FN/JB/1/2");
}

TEST_P(StarterLibraryTest, ProjectManagerHasTheDefaultProjectAndTheGroupsPermissions) {
    make(DbId::PM);
    db::seedProjectManager("/srv/tolvane/Default Project", registry);
    EXPECT_EQ(joined(DbId::PM, "select ProjectPath from tblProjects where ProjectName = ?",
                     {"DEFAULT_PROJECT"}),
              "/srv/tolvane/Default Project");
    // Admin, an administrator without a password: the users service (test_users) starts from it.

    const auto allowed = [&](const char* group, const char* permission) {
        return count(DbId::PM,
                     QString("select count(*) from tblpermissions where GroupName = ? and ") +
                         permission,
                     {group}) == 1;
    };
    for (const char* p :
         {"CreateDrawings", "editDrawings", "CreateReports", "editReports", "AssignCables",
          "AssignSysNames", "CreateEquipment", "EditEquipment", "DeleteEquipment"}) {
        EXPECT_TRUE(allowed("Administrators", p)) << p;
        EXPECT_FALSE(allowed("Viewers", p)) << p;
        EXPECT_EQ(allowed("Engineers", p), QString(p) != "DeleteEquipment") << p;
    }
}

TEST_P(StarterLibraryTest, BlankAndProjectDatabasesGetFreeLockRows) {
    for (DbId id : {DbId::Blank, DbId::Project}) {
        make(id);
        db::seedProject(id, registry);
        for (const char* table : {"tblLockSys", "tblLockcables"}) {
            const QString flag = table == QString("tblLockSys") ? "lockSystems" : "lockCables";
            EXPECT_EQ(joined(id, QString("select LOCKEDBY from %1 where not %2").arg(table, flag)),
                      "-")
                << table << " in " << db::dbName(id).toStdString();
            EXPECT_EQ(count(id, QString("select count(*) from %1").arg(table)), 1) << table;
        }
    }
}

// Rows are found by their keys: a second run adds nothing, fills in what was deleted and
// leaves what the user changed.
TEST_P(StarterLibraryTest, SeedingAgainAddsOnlyWhatIsMissing) {
    makeEquipment();
    make(DbId::PM);
    db::seedProjectManager("/srv/p", registry);
    make(DbId::Project);
    db::seedProject(DbId::Project, registry);
    const auto seedAll = [&] {
        db::seedEquipment(registry);
        db::seedProjectManager("/srv/elsewhere", registry);
        db::seedProject(DbId::Project, registry);
    };
    const auto sizes = [&] {
        QStringList all;
        for (DbId id : {DbId::Equipment, DbId::PM, DbId::Project})
            for (const db::TableDef& t : db::tables(db::kindOf(id)))
                all << t.name + ' ' + QString::number(count(id, "select count(*) from " + t.name));
        return all.join('\n').toStdString();
    };
    const std::string before = sizes();
    seedAll();
    EXPECT_EQ(sizes(), before);
    EXPECT_EQ(joined(DbId::PM, "select ProjectPath from tblProjects"), "/srv/p");

    db::Query(DbId::Equipment, "update SignalDefault set Color = '9' where Type = 'AUD'", registry)
        .exec();
    db::Query(DbId::Equipment, "delete from tblOutputs where Name = 'SDI OUT 3'", registry).exec();
    db::Query(DbId::Equipment, "delete from tblCablePairs where PairNumber = '12'", registry)
        .exec();
    ASSERT_NE(sizes(), before);
    seedAll();
    EXPECT_EQ(sizes(), before);
    EXPECT_EQ(count(DbId::Equipment, "select Color from SignalDefault where Type = 'AUD'"), 9);
}

INSTANTIATE_TEST_SUITE_P(Engines, StarterLibraryTest, test::bothEngines(), test::engineName);
