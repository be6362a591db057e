// The report wizard's logic: the SQL the choices make, the layout's arithmetic, the summary,
// and the schema read from both engines (type codes, relations) with the generated SQL run.
#include <gtest/gtest.h>

#include <cmath>

#include "db/schema.h"
#include "db_fixture.h"
#include "reports/record_source.h"
#include "reports/report_wizard.h"

using namespace tolvane;
using namespace tolvane::reports;
using namespace tolvane::reports::wizard;

namespace {

Relation cablesToChildren() {
    return {QStringLiteral("FK1"), QStringLiteral("tblCables"), QStringLiteral("CableID"),
            QStringLiteral("tblChildCables"), QStringLiteral("ParentNo")};
}

}  // namespace

TEST(ReportWizardSql, ChoicesBecomeBracketedSelectWithJoinsInWhere) {
    Choices c;
    EXPECT_EQ(generateSql(c), QString());
    c.tables = {QStringLiteral("tblCables")};
    c.fields = {{"tblCables", "CableNO"}, {"tblCables", "Length"}};
    EXPECT_EQ(generateSql(c), "SELECT [CableNO], [Length] FROM [tblCables]");

    // Grouping alone still orders; sorts follow the groups, descending ones marked.
    c.groups = {{"tblCables", "SRCSys"}};
    EXPECT_EQ(generateSql(c),
              "SELECT [CableNO], [Length] FROM [tblCables] ORDER BY [tblCables].[SRCSys]");
    c.sorts = {{"tblCables", "Length", true}, {"tblCables", "CableNO", false}};
    EXPECT_EQ(generateSql(c),
              "SELECT [CableNO], [Length] FROM [tblCables] ORDER BY [tblCables].[SRCSys], "
              "[tblCables].[Length] DESC , [tblCables].[CableNO]");

    c.groups.clear();
    c.sorts.clear();
    c.tables << QStringLiteral("tblChildCables");
    c.fields << SelectedField{"tblChildCables", "Cable No"};
    // Two tables without a relation: a cross product, no WHERE. (The wizard's warning about it
    // and its refusals without a table or a field are run by report_wizard*.scr.)
    EXPECT_EQ(generateSql(c),
              "SELECT [tblCables].[CableNO], [tblCables].[Length], [tblChildCables].[Cable No] "
              "FROM [tblCables], [tblChildCables]");
    c.relations = {cablesToChildren()};
    EXPECT_EQ(generateSql(c),
              "SELECT [tblCables].[CableNO], [tblCables].[Length], [tblChildCables].[Cable No] "
              "FROM [tblCables], [tblChildCables] WHERE [tblCables].[CableID] = "
              "[tblChildCables].[ParentNo]");
    // A name both tables have is told apart by its table, as its controls are bound.
    c.fields.last().field = QStringLiteral("cableno");
    EXPECT_EQ(generateSql(c).section(" FROM ", 0, 0),
              "SELECT [tblCables].[CableNO] AS [tblCables.CableNO], [tblCables].[Length], "
              "[tblChildCables].[cableno] AS [tblChildCables.cableno]");
}

TEST(ReportWizardSql, SummaryListsTheChoicesLineByLine) {
    Choices c;
    c.title = QStringLiteral("Cable \"Run\" List");
    c.connection = QStringLiteral("sqlite:/jobs/a.db");
    c.tables = {QStringLiteral("tblCables")};
    c.fields = {{"tblCables", "CableNO", code::VarText, 20}, {"tblCables", "Length", code::Double}};
    c.groups = {{"tblCables", "SRCSys"}};
    c.sorts = {{"tblCables", "Length", true}};
    EXPECT_EQ(summary(c),
              "Report Title: Cable \"Run\" List\r\n"
              "Connection String = sqlite:/jobs/a.db\r\n"
              "Selected Fields: \r\n"
              "tblCables.CableNO Type = dbText Width = 20\r\n"
              "tblCables.Length Type = dbDouble Width = 0\r\n"
              "From Tables: \r\ntblCables\r\n"
              "Summary Group Levels: \r\ntblCables.SRCSys Group Option = Default\r\n"
              "Order By: \r\ntblCables.Length Sort Order = Dec");
    EXPECT_EQ(typeName(999), QString());
    EXPECT_EQ(cleanName(QStringLiteral("Rack & Room_2.Name é")), "RackRoom_2Name");
}

TEST(ReportWizardLayout, ColumnsFitThePageSectionsAndRulesFollowTheArithmetic) {
    Choices c;
    c.title = QStringLiteral("Cables");
    c.style = 0;  // Bold: Times New Roman 9 detail, 20 bold title, three rules
    c.tables = {QStringLiteral("tblCables"), QStringLiteral("tblChildCables")};
    c.relations = {cablesToChildren()};
    c.fields = {{"tblCables", "CableNO", code::VarText, 50},
                {"tblCables", "Notes", code::VarText, 51},
                {"tblCables", "Length", code::Double},
                {"tblCables", "Cost", code::Currency},
                {"tblCables", "MultiCore", code::Boolean},
                {"tblChildCables", "CableNO", code::VarText, 10},
                {"tblCables", "Photo", code::Binary}};
    c.groups = {{"tblCables", "Src Sys"}};
    PageSetup page;  // 8.5 inches less two 0.75 inch margins: 10080 twips
    const ReportLayout l = generateLayout(c, page);
    const double w = characterUnit(reportStyles()[0].detail);
    ASSERT_GT(w, 60);
    const auto units = [&](double n) { return int(std::lround(n * w)); };

    ASSERT_TRUE(l.data);
    EXPECT_EQ(l.data->databaseKey, "PROJECT_SPECIFIC");
    EXPECT_EQ(l.data->sql, generateSql(c));

    // One row of columns, 100 apart, that fits the page: too wide for portrait, the report
    // turns landscape; too wide for that, the columns (check boxes aside) give up the same
    // share of their widths and wrap. They size to their values when the report runs.
    const QList<Control>& d = l.detail.controls;
    ASSERT_EQ(d.size(), 7);
    EXPECT_TRUE(l.page.landscape);
    const int natural[] = {units(50), units(40), units(8), units(8),
                           units(3),  units(10), units(25)};
    int left = 0;
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(d[i].rect.top(), 0) << i;
        EXPECT_EQ(d[i].rect.left(), left) << i;
        EXPECT_LE(d[i].rect.width(), natural[i]) << i;
        left += d[i].rect.width() + 100;
    }
    EXPECT_LE(left - 100, l.page.printableWidth());
    EXPECT_GT(left - 100, l.page.printableWidth() - 20);
    EXPECT_EQ(d[4].rect.width(), units(3));
    EXPECT_NEAR(double(d[0].rect.width()) / d[5].rect.width(), 5.0, 0.05);
    EXPECT_EQ(d[6].rect.height(), 1800);
    EXPECT_EQ(l.detail.height, 1815);
    EXPECT_TRUE(l.detail.fitColumns);
    EXPECT_TRUE(d[0].canGrow);
    // A row that fits a portrait page stays as the types give it.
    Choices narrow = c;
    narrow.fields = {c.fields[0], c.fields[2]};
    const ReportLayout portrait = generateLayout(narrow, page);
    EXPECT_FALSE(portrait.page.landscape);
    EXPECT_EQ(portrait.detail.controls[0].rect, QRect(0, 0, units(50), 300));
    EXPECT_EQ(portrait.detail.controls[1].rect, QRect(units(50) + 100, 0, units(8), 300));
    EXPECT_FALSE(portrait.detail.controls[0].canGrow);
    EXPECT_TRUE(d[1].canGrow);
    EXPECT_EQ(d[2].align, HAlign::Right);
    EXPECT_EQ(d[3].format, "$###,##0.00");
    EXPECT_EQ(d[4].kind, ControlKind::CheckBox);
    EXPECT_EQ(d[6].kind, ControlKind::Picture);
    // A name two tables share binds with its table; others bare.
    EXPECT_EQ(d[0].text, "tblCables.CableNO");
    EXPECT_EQ(d[5].text, "tblChildCables.CableNO");
    EXPECT_EQ(d[2].text, "Length");
    EXPECT_EQ(d[2].name, "txttblCables_Length");

    // Column labels stand over their fields, as wide.
    ASSERT_EQ(l.pageHeader.controls.size(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(l.pageHeader.controls[i].rect.left(), d[i].rect.left());
        EXPECT_EQ(l.pageHeader.controls[i].rect.width(), d[i].rect.width());
        EXPECT_EQ(l.pageHeader.controls[i].rect.height(), 300);
    }
    EXPECT_EQ(l.pageHeader.controls[1].text, "Notes");

    ASSERT_EQ(l.groups.size(), 1);
    EXPECT_EQ(l.groups[0].header.name, "SrcSysgh");
    EXPECT_EQ(l.groups[0].field, "Src Sys");
    ASSERT_EQ(l.groups[0].header.controls.size(), 1);
    EXPECT_EQ(l.groups[0].header.controls[0].rect.height(), 450);
    EXPECT_TRUE(l.groups[0].header.controls[0].font.bold);

    // Bold has three rules: four lines at 0 to 3 twips, then the title 20 / 8 x 300 high.
    QList<int> rules;
    const Control* title = nullptr;
    for (const Control& x : l.reportHeader.controls) {
        if (x.kind == ControlKind::Line) {
            rules << x.rect.top();
            EXPECT_EQ(x.rect.width(), l.page.printableWidth() + 1);
        }
        if (x.name == QLatin1String("lblReportTitle")) title = &x;
    }
    EXPECT_EQ(rules, (QList<int>{0, 1, 2, 3}));
    ASSERT_TRUE(title);
    EXPECT_EQ(title->rect, QRect(0, 5, l.page.printableWidth(), 750));
    EXPECT_EQ(title->align, HAlign::Center);
    EXPECT_TRUE(title->font.bold);
    EXPECT_GE(l.reportHeader.height, 755);
    EXPECT_EQ(l.reportFooter.height, 200);

    // Soft Gray: a back colour and no rule (its line style draws nothing).
    c.style = 5;
    const ReportLayout soft = generateLayout(c, page);
    EXPECT_EQ(soft.reportHeader.backColor, QColor(0xC0, 0xC0, 0xC0));
    for (const Control& x : soft.reportHeader.controls) EXPECT_NE(x.kind, ControlKind::Line);
}

// Tables are offered under names in words: the program's own by a fixed name, others without
// "tbl" and with their words apart.
TEST(ReportWizardTables, TablesAreShownByNamesInWords) {
    EXPECT_EQ(tableCaption("tblChildCables"), "Child Cables");
    EXPECT_EQ(tableCaption("TBLJFROWCOL"), "Jackfield Jacks");
    EXPECT_EQ(tableCaption("SignalDefault"), "Signal Types");
    EXPECT_EQ(tableCaption("tblRackNotes"), "Rack Notes");
    EXPECT_EQ(tableCaption("Rack Notes"), "Rack Notes");
    EXPECT_EQ(tableCaption("site_survey"), "site survey");
    EXPECT_EQ(tableCaption("tblock"), "tblock");
}

TEST(ReportWizardTypes, DeclaredTypesMapToTheWidthTablesCodes) {
    int size = -1;
    EXPECT_EQ(typeCode(db::Engine::SQLite, "VARCHAR(40)", &size), code::VarText);
    EXPECT_EQ(size, 40);
    EXPECT_EQ(typeCode(db::Engine::SQLite, "TEXT COLLATE NOCASE", &size), code::LongText);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(typeCode(db::Engine::SQLite, "INTEGER", &size), code::Integer);
    EXPECT_EQ(typeCode(db::Engine::SQLite, "REAL", &size), code::Double);
    EXPECT_EQ(typeCode(db::Engine::SQLite, "BOOLEAN", &size), code::Boolean);
    EXPECT_EQ(typeCode(db::Engine::SQLite, "DATETIME", &size), code::Date);
    EXPECT_EQ(typeCode(db::Engine::SQLite, "BLOB", &size), code::Binary);
    EXPECT_EQ(typeCode(db::Engine::SQLite, "DECIMAL(10,2)", &size), code::Numeric);
    EXPECT_EQ(typeCode(db::Engine::PostgreSQL, "citext", &size), code::LongText);
    EXPECT_EQ(typeCode(db::Engine::PostgreSQL, "varchar(12)", &size), code::VarText);
    EXPECT_EQ(size, 12);
    EXPECT_EQ(typeCode(db::Engine::PostgreSQL, "int4", &size), code::Integer);
    EXPECT_EQ(typeCode(db::Engine::PostgreSQL, "float8", &size), code::Double);
    EXPECT_EQ(typeCode(db::Engine::PostgreSQL, "numeric", &size), code::Numeric);
    EXPECT_EQ(typeCode(db::Engine::PostgreSQL, "money", &size), code::Currency);
    EXPECT_EQ(typeCode(db::Engine::PostgreSQL, "timestamp", &size), code::Date);
    EXPECT_EQ(typeCode(db::Engine::PostgreSQL, "bytea", &size), code::Binary);
    EXPECT_EQ(typeCode(db::Engine::PostgreSQL, "bool", &size), code::Boolean);
}

class ReportWizardOnEngine : public ::testing::TestWithParam<db::Engine> {};

// The schema read from either engine gives the same tables, fields, codes and relations, and
// the SQL made from it runs there.
TEST_P(ReportWizardOnEngine, SchemaIsReadAlikeAndTheGeneratedSqlRuns) {
    db::Connections registry;
    test::TestDatabases dbs(GetParam());
    if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
    dbs.makeEmpty(db::DbId::Project, registry);
    db::ensureSchema(db::DbId::Project, registry);
    for (const char* statement :
         {"create table \"Rack Notes\" (\"Rack No\" varchar(12), Checked boolean)",
          "insert into tblCables (CableNO, Length, MultiCore) values ('M1', 12.5, TRUE)",
          "insert into tblChildCables (CableNo, ParentNo) select 'M1-1', CableID from tblCables",
          "insert into tblChildCables (CableNo, ParentNo) select 'M1-2', CableID from tblCables"})
        db::Query(db::DbId::Project, statement, registry).exec();

    DataSource source;
    source.open(db::DbId::Project, registry);
    QStringList names;
    for (const TableInfo& t : source.tables())
        if (!t.isSystem) names << t.name;
    EXPECT_TRUE(names.contains("tblCables")) << names.join(',').toStdString();
    EXPECT_TRUE(names.contains("Rack Notes", Qt::CaseInsensitive));
    // The program's bookkeeping is hidden: locks, the numbering and replication state.
    for (const char* hidden : {"tblLockcables", "tblLockSys", "tblLocalProject", "tblPID", "tblXP"})
        EXPECT_FALSE(names.contains(hidden, Qt::CaseInsensitive)) << hidden;
    for (const TableInfo& t : source.tables())
        EXPECT_TRUE(t.isSystem || !t.name.startsWith(QLatin1String("tolvane_")))
            << t.name.toStdString();

    QMap<QString, FieldInfo> cable;
    for (const FieldInfo& f : source.fields("TBLCABLES")) cable.insert(f.name, f);
    EXPECT_EQ(cable.value("CableNO").type, code::LongText);
    EXPECT_EQ(cable.value("Length").type, code::Double);
    EXPECT_EQ(cable.value("MultiCore").type, code::Boolean);
    EXPECT_EQ(cable.value("CableID").type, code::Integer);
    EXPECT_EQ(cable.value("DateOriginated").type, code::Date);
    const QList<FieldInfo> rack = source.fields("Rack Notes");
    ASSERT_EQ(rack.size(), 2);
    EXPECT_EQ(rack[0].type, code::VarText);
    EXPECT_EQ(rack[0].size, 12);
    EXPECT_EQ(rack[1].type, code::Boolean);
    EXPECT_TRUE(source.fields("tblNothing").isEmpty());

    const auto link = source.relationFor("tblChildCables", "tblCables");
    ASSERT_TRUE(link);
    EXPECT_EQ(link->pkFieldName(), "[tblCables].[CableID]");
    EXPECT_EQ(link->fkFieldName(), "[tblChildCables].[ParentNo]");
    EXPECT_FALSE(source.relationFor("tblCables", "tblJF"));

    Choices c;
    c.tables = {QStringLiteral("tblCables"), QStringLiteral("tblChildCables")};
    c.fields = {{"tblCables", "CableNO"}, {"tblChildCables", "CableNo"}};
    c.relations = {*link};
    c.sorts = {{"tblChildCables", "CableNo", true}};
    QueryRecordSource rows(
        {QStringLiteral("DC1"), QStringLiteral("PROJECT_SPECIFIC"), generateSql(c)}, registry);
    rows.start();
    EXPECT_EQ(rows.fields().join(',').toLower(), "tblcables.cableno,tblchildcables.cableno");
    QStringList got;
    while (rows.next()) got << rows.value(0).toString() + "/" + rows.value(1).toString();
    EXPECT_EQ(got, (QStringList{"M1/M1-2", "M1/M1-1"}));
}

INSTANTIATE_TEST_SUITE_P(Engines, ReportWizardOnEngine, test::bothEngines(), test::engineName);
