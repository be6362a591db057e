// Bills of materials over a project and a library made from the schema, on SQLite and (with
// TOLVANE_TEST_PG) PostgreSQL: what each section counts and prices, the refusals that write
// nothing, extensions priced anew after edits, deletion, and the stock report over one bill.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include "db/schema.h"
#include "db_fixture.h"
#include "reports/bill_of_materials.h"
#include "reports/record_source.h"
#include "reports/report_renderer.h"
#include "reports/rpx_file.h"
#include "script_fixture.h"

using namespace tolvane;
using namespace tolvane::reports;
using test::ScriptedUser;

namespace {

class BillOfMaterialsTest : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        for (db::DbId id : {db::DbId::Project, db::DbId::Equipment}) {
            dbs.makeEmpty(id, registry);
            db::ensureSchema(id, registry);
        }
        lib("insert into tblManufacturers (ManufacturerID, ManufacturerName) values (?, ?)",
            {"HALV", "Halvern"});
        lib("insert into tblManufacturers (ManufacturerID, ManufacturerName) values (?, ?)",
            {"WIRE", "Wireco"});
    }
    void project(const QString& sql, const QVariantList& values = {}) {
        db::Query q(db::DbId::Project, sql, registry);
        for (const QVariant& v : values) q.bind(v);
        q.exec();
    }
    void lib(const QString& sql, const QVariantList& values = {}) {
        db::Query q(db::DbId::Equipment, sql, registry);
        for (const QVariant& v : values) q.bind(v);
        q.exec();
    }
    void cable(const QString& src, const QString& dst, const QString& type = "MCX",
               const QString& manu = "WIRE", double length = 1) {
        project(
            "insert into tblCables (SRCConn, DESTConn, CableType, CabletypeManu, Length) "
            "values (?, ?, ?, ?, ?)",
            {src, dst, type, manu, length});
    }
    void system(qint64 equipId, const QString& name, int number) {
        project("insert into tblSystems (EquipID, SysName, SysNum) values (?, ?, ?)",
                {equipId, name, number});
    }
    void connector(const QString& name, const QString& vendor, double cost1, double cost2) {
        lib("insert into tblConnectors (Connector, connvendor1, connvendor2, conncost1, "
            "conncost2) values (?, ?, ?, ?, ?)",
            {name, vendor, vendor + " 2", cost1, cost2});
    }
    // The lines of a bill as "class|item|manufacturer|qty|vendor1|cost1|ext1|cost2|ext2".
    QStringList lines(const QString& bill) {
        ScriptedUser quiet("");
        QStringList out;
        const auto money = [](const std::optional<double>& v) {
            return v ? QString::number(*v) : QString("-");
        };
        for (const db::BomLine& l : BillOfMaterials(*quiet.ui, registry).lines(bill))
            out << QStringList{l.bomClass,   l.item,         l.manufacturer, QString::number(l.qty),
                               l.vendor1,    money(l.cost1), money(l.ext1),  money(l.cost2),
                               money(l.ext2)}
                       .join('|');
        return out;
    }
    qint64 count(const QString& sql) {
        return db::Query(db::DbId::Project, sql, registry).scalar().toLongLong();
    }
    qint64 libraryId(const QString& sql) {
        return db::Query(db::DbId::Equipment, sql, registry).scalar().toLongLong();
    }

    db::Connections registry;  // outlives dbs, which closes it
    test::TestDatabases dbs{GetParam()};
};

// Connectors are counted per end and priced from the library; a connector the library lacks
// keeps its count without prices; cable lengths of a type are summed per manufacturer and
// type; equipment is counted by its units and named from the library, or as its units were
// when the library lacks it; jackfields by their project rows; child cables by their own ends.
TEST_P(BillOfMaterialsTest, SectionsCountAndPrice) {
    connector("BNC", "Jacks Inc", 2.5, 3);
    connector("XLR3F", "Jacks Inc", 4, 4.5);
    cable("BNC", "XLR3F", "MCX", "WIRE", 10);
    cable("bnc", "XLR3F", "MCX", "WIRE", 15);
    cable("BNC", "LEMO", "STAR", "HALV", 2);
    cable("", "LEMO", "", "", 7);  // an end on no connector, a cable of no type
    lib("insert into tblCableTypes (ManufacturerID, CableType, CableVendor1, CableCost1, "
        "CableCost2) values ('HALV', 'MCX', 'Other', 9, 9)");
    lib("insert into tblCableTypes (ManufacturerID, CableType, CableVendor1, CableCost1, "
        "CableCost2) values ('WIRE', 'MCX', 'Wire Shop', 0.5, 0.75)");
    lib("insert into tblEquipment (ManufacturerID, EquipmentName, EquipmentVendor1, "
        "EquipmentCost1, EquipmentCost2) values ('HALV', 'DA-6', 'AV Supply', 100, 120)");
    const qint64 da6 = libraryId("select EquipmentID from tblEquipment");
    system(da6, "VDA", 1);
    system(da6, "VDA", 2);
    project(
        "insert into tblSystems (EquipID, SysName, SysNum, Manufacturer, equipmentname) "
        "values (9999, 'OLD', 1, 'GONE', 'Relic 1')");
    lib("insert into tblJackFields (ManufacturerID, JackFieldName, jfvendor1, jfcost1, jfcost2) "
        "values ('HALV', 'PB-48', 'Patch Co', 300, 310)");
    const qint64 pb48 = libraryId("select JackFieldID from tblJackFields");
    project("insert into tblJF (JackFieldID, JFSysName, JFSysID) values (?, 'JF', 1)", {pb48});
    project("insert into tblJF (JackFieldID, JFSysName, JFSysID) values (?, 'JF', 2)", {pb48});
    project("insert into tblChildCables (CableNo, SRCConn, DESTConn) values ('1', 'BNC', 'X')");

    ScriptedUser user("");
    BillOfMaterials bom(*user.ui, registry);
    ASSERT_EQ(bom.create("Main", QDate(2024, 3, 5), allBomSections()), 10);
    const QStringList all = lines("Main");
    EXPECT_EQ(all, (QStringList{
                       "Cable Types|MCX|WIRE|25|Wire Shop|0.5|12.5|0.75|18.75",
                       "Cable Types|STAR|HALV|2||-|-|-|-",
                       "Child Cable Destination Connectors|X||1||-|-|-|-",
                       "Child Cable Source Connectors|BNC||1|Jacks Inc|2.5|2.5|3|3",
                       "Equipment|DA-6|HALV|2|AV Supply|100|200|120|240",
                       "Equipment|Relic 1|GONE|1||-|-|-|-",
                       "Input Connectors|LEMO||2||-|-|-|-",
                       "Input Connectors|XLR3F||2|Jacks Inc|4|8|4.5|9",
                       "Jack Fields|PB-48|HALV|2|Patch Co|300|600|310|620",
                       "Output Connectors|BNC||3|Jacks Inc|2.5|7.5|3|9",
                   }))
        << all.join('\n').toStdString();
    const QList<db::BomBill> bills = bom.bills();
    ASSERT_EQ(bills.size(), 1);
    EXPECT_EQ(bills[0].name, "Main");
    EXPECT_EQ(bills[0].date, QDate(2024, 3, 5));

    // Only the ticked sections; panels and routers count nothing.
    ASSERT_EQ(bom.create("Connectors only", QDate(2024, 3, 6),
                         {BomSection::OutputConnectors, BomSection::Panels, BomSection::Routers}),
              1);
    EXPECT_EQ(lines("Connectors only"),
              QStringList{"Output Connectors|BNC||3|Jacks Inc|2.5|7.5|3|9"});
}

// More items than one library statement takes: every one is priced from its own row.
TEST_P(BillOfMaterialsTest, ManyItemsArePricedFromTheirOwnRows) {
    {
        db::Transaction t(db::DbId::Equipment, registry);
        for (int i = 0; i < 1200; i += 2)
            connector(QString("C%1").arg(i, 4, 10, QChar('0')), "V", i, 0);
        t.commit();
    }
    {
        db::Transaction t(db::DbId::Project, registry);
        for (int i = 0; i < 1200; ++i)
            cable(QString("C%1").arg(i, 4, 10, QChar('0')), "", "", "", 0);
        t.commit();
    }
    system(1, "S", 1);
    ScriptedUser user("");
    ASSERT_EQ(BillOfMaterials(*user.ui, registry)
                  .create("Big", QDate(2024, 1, 1), {BomSection::OutputConnectors}),
              1200);
    db::Query q(db::DbId::Project,
                "select Item, Cost1 from tblBOM where FileName = 'Big' order by Item", registry);
    q.exec();
    int i = 0;
    int wrong = 0;
    while (q.next()) {
        const bool priced = !q.value(1).isNull();
        if (q.value(0).toString() != QString("C%1").arg(i, 4, 10, QChar('0')) ||
            priced != (i % 2 == 0) || (priced && q.value(1).toDouble() != i))
            ++wrong;
        ++i;
    }
    EXPECT_EQ(i, 1200);
    EXPECT_EQ(wrong, 0);
}

// A project without cables, or with cables but no systems, is refused whatever the sections;
// so are an empty name and a name in use. None of them writes anything.
TEST_P(BillOfMaterialsTest, RefusalsWriteNothing) {
    {
        ScriptedUser user("button OK");
        EXPECT_FALSE(BillOfMaterials(*user.ui, registry)
                         .create("A", QDate(2024, 1, 1), {BomSection::Equipment}));
        EXPECT_EQ(user.lines().first(),
                  "MESSAGE [OK] Tolvane | Cables database is empty. \\nAborting");
    }
    cable("BNC", "BNC");
    {
        ScriptedUser user("button OK");
        EXPECT_FALSE(BillOfMaterials(*user.ui, registry)
                         .create("A", QDate(2024, 1, 1), {BomSection::OutputConnectors}));
        EXPECT_EQ(user.lines().first(),
                  "MESSAGE [OK] Tolvane | Systems database is empty. \\nAborting");
    }
    EXPECT_EQ(count("select count(*) from tblBOMMaster"), 0);
    EXPECT_EQ(count("select count(*) from tblBOM"), 0);

    system(1, "S", 1);
    ScriptedUser user("button OK\nbutton OK\nbutton OK");
    BillOfMaterials bom(*user.ui, registry);
    EXPECT_FALSE(bom.acceptNewName("  "));
    ASSERT_TRUE(bom.create("O'Brien's", QDate(2024, 1, 1), {BomSection::OutputConnectors}));
    EXPECT_TRUE(bom.exists("o'brien's"));
    EXPECT_FALSE(bom.acceptNewName("O'Brien's"));
    EXPECT_FALSE(bom.create("O'Brien's", QDate(2024, 1, 1), {BomSection::InputConnectors}));
    EXPECT_EQ(user.lines(),
              (QStringList{
                  "MESSAGE [OK] Tolvane | Enter a Report Name", "ANSWER button OK",
                  "STATUS Generating Bill of Materials", "STATUS Generating Bill of Materials done",
                  "MESSAGE [OK] Tolvane | That Report Name Already Exists", "ANSWER button OK",
                  "MESSAGE [OK] Tolvane | That Report Name Already Exists", "ANSWER button OK"}));
    EXPECT_EQ(count("select count(*) from tblBOMMaster"), 1);
    EXPECT_EQ(lines("O'Brien's"), QStringList{"Output Connectors|BNC||1||-|-|-|-"});
}

// Quantities and costs edited after generation are priced by the next recompute, on that bill
// only; deleting asks first, and on Yes removes the bill and its lines and nothing else.
TEST_P(BillOfMaterialsTest, RecomputeAndDelete) {
    connector("BNC", "Jacks Inc", 2, 3);
    cable("BNC", "BNC");
    system(1, "S", 1);
    ScriptedUser user("button No\nbutton Yes");
    BillOfMaterials bom(*user.ui, registry);
    ASSERT_TRUE(bom.create("One", QDate(2024, 1, 1), {BomSection::OutputConnectors}));
    ASSERT_TRUE(bom.create("Two", QDate(2024, 1, 1), {BomSection::OutputConnectors}));
    project("update tblBOM set QTY = 4, Cost1 = 5 where FileName = 'One'");
    project("update tblBOM set QTY = 7 where FileName = 'Two'");
    bom.recomputeExtensions("One");
    EXPECT_EQ(lines("One"), QStringList{"Output Connectors|BNC||4|Jacks Inc|5|20|3|12"});
    EXPECT_EQ(lines("Two"), QStringList{"Output Connectors|BNC||7|Jacks Inc|2|2|3|3"});
    // A cost cleared in the grid clears its extension.
    project("update tblBOM set COST2 = null where FileName = 'One'");
    bom.recomputeExtensions("One");
    EXPECT_EQ(lines("One"), QStringList{"Output Connectors|BNC||4|Jacks Inc|5|20|-|-"});

    EXPECT_FALSE(bom.remove("One"));
    EXPECT_TRUE(bom.exists("One"));
    EXPECT_TRUE(bom.remove("One"));
    EXPECT_EQ(user.lines().filter("MESSAGE"),
              QStringList(2,
                          "MESSAGE [Yes/No] Tolvane | Delete One? This action cannot be "
                          "undone. Proceed?"));
    EXPECT_FALSE(bom.exists("One"));
    EXPECT_EQ(count("select count(*) from tblBOM where FileName = 'One'"), 0);
    EXPECT_EQ(count("select count(*) from tblBOM where FileName = 'Two'"), 1);
    EXPECT_TRUE(bom.exists("Two"));
}

// The stock report over two bills, opened filtered to one whose name has a quote: only its
// lines print, sections in the order they are generated, each with its subtotal, and the
// grand total of the bill at the end. TOLVANE_BOM_PNG names a picture of its first page.
TEST_P(BillOfMaterialsTest, StockReportPrintsOneBillWithTotals) {
    connector("BNC", "Jacks Inc", 2.5, 3);
    connector("XLR3F", "Jacks Inc", 4, 4.5);
    cable("BNC", "XLR3F", "MCX", "WIRE", 10);
    cable("BNC", "XLR3F", "MCX", "WIRE", 15);
    cable("BNC", "LEMO", "STAR", "HALV", 2);
    lib("insert into tblCableTypes (ManufacturerID, CableType, CableVendor1, CableCost1, "
        "CableCost2) values ('WIRE', 'MCX', 'Wire Shop', 0.5, 0.75)");
    system(1, "S", 1);
    ScriptedUser user("");
    BillOfMaterials bom(*user.ui, registry);
    ASSERT_TRUE(bom.create("Other", QDate(2024, 3, 1), allBomSections()));
    ASSERT_TRUE(bom.create("Studio O'Hara", QDate(2024, 3, 5), allBomSections()));
    project("update tblBOM set Cost1 = 1000 where FileName = 'Other'");
    bom.recomputeExtensions("Other");

    const ReportLayout layout =
        readRpx(QDir(QStringLiteral(TOLVANE_SOURCE_RESOURCES)).filePath(bomReportPath()));
    ASSERT_TRUE(layout.data);
    EXPECT_EQ(layout.data->databaseKey, "PROJECT_SPECIFIC");
    QStringList texts;
    QImage first;
    struct Collect : PageSink {
        QStringList& texts;
        QImage& first;
        PageSetup setup;
        PagePainter painter;
        Collect(QStringList& t, QImage& f) : texts(t), first(f) {}
        void begin(const ReportLayout& l) override { setup = l.page; }
        void page(const RenderedPage& p) override {
            for (const RenderedBand& b : p.bands)
                if (b.kind != SectionKind::Detail && b.kind != SectionKind::PageFooter) {
                    QStringList line;
                    for (const RenderedItem& i : b.items)
                        if (!i.text.isEmpty()) line << i.text;
                    if (!line.isEmpty()) texts << line.join(' ');
                }
            if (first.isNull()) first = PageImageSink::paintPage(p, setup, 100, painter);
        }
    } sink(texts, first);
    for (const DataFilter& filter :
         {DataFilter{bomFilterExpression("Studio O'Hara")}, bomFilter("Studio O'Hara")}) {
        texts.clear();
        QueryRecordSource rows(*layout.data, registry, filter);
        EXPECT_EQ(renderReport(layout, rows, sink, {QLocale(QLocale::English)}), 1);
        // Each section's heading over its column headings, then its subtotals.
        const QString columns =
            " Item Manufacturer QTY Vendor 1 Cost 1 Extension 1 Vendor 2 Cost 2 Extension 2";
        EXPECT_EQ(texts, (QStringList{"Bill of Materials Report: Studio O'Hara Date: 5 March 2024",
                                      "Output Connectors" + columns, "Output Connectors 7.50 9.00",
                                      "Input Connectors" + columns, "Input Connectors 8.00 9.00",
                                      "Equipment" + columns, "Equipment 0.00 0.00",
                                      "Cable Types" + columns, "Cable Types 12.50 18.75",
                                      "Grand Total 28.00 36.75"}))
            << texts.join('\n').toStdString();
    }
    if (const QString file = qEnvironmentVariable("TOLVANE_BOM_PNG"); !file.isEmpty())
        first.save(file);
}

INSTANTIATE_TEST_SUITE_P(Engines, BillOfMaterialsTest, test::bothEngines(), test::engineName);

}  // namespace
