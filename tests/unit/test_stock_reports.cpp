// The stock reports shipped in reports/general and reports/labels, each read from its file and
// run over a small project on SQLite and (with TOLVANE_TEST_PG) PostgreSQL:
// their rows, groups and, for labels, two per cable. TOLVANE_STOCK_PNG names a folder for
// pictures of the first page of each, to look at.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>

#include "db/schema.h"
#include "db_fixture.h"
#include "reports/record_source.h"
#include "reports/report_renderer.h"
#include "reports/rpx_file.h"

using namespace tolvane;
using namespace tolvane::reports;

namespace {

QString stock(const QString& relative) {
    return QDir(QStringLiteral(TOLVANE_SOURCE_RESOURCES)).filePath(relative);
}

// What a report printed: the text of each group header and each detail, "|" between the
// controls (check boxes as "x" or "-"), and the page count.
struct Printed : PageSink {
    QStringList headers, details;
    QList<QRect> labels;
    PageSetup setup;
    PagePainter painter;
    QImage first;
    void begin(const ReportLayout& l) override { setup = l.page; }
    void page(const RenderedPage& p) override {
        for (const RenderedBand& b : p.bands) {
            if (b.kind != SectionKind::GroupHeader && b.kind != SectionKind::Detail) continue;
            QStringList line;
            for (const RenderedItem& i : b.items) {
                if (i.control->kind == ControlKind::CheckBox)
                    line << (i.checked ? "x" : "-");
                else if (i.control->kind == ControlKind::Field)
                    line << i.text;
            }
            (b.kind == SectionKind::Detail ? details : headers) << line.join('|');
            if (b.kind == SectionKind::Detail) labels << b.rect;
        }
        if (first.isNull()) first = PageImageSink::paintPage(p, setup, 110, painter);
    }
};

class StockReports : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        dbs.makeEmpty(db::DbId::Project, registry);
        db::ensureSchema(db::DbId::Project, registry);
        // Three cables on two sheets and one on none; numbers sort as numbers within a prefix.
        cable("V", "10", "COAX", "CAM-01", "OUT", "BNC", "Studio", "VDA-01", "IN 1", "BNC",
              "Rack 2", 12.5, "S1");
        cable("V", "9", "COAX", "VDA-01", "OUT 2", "BNC", "Rack 2", "MON-01", "IN", "BNC",
              "Desk, left", 3, "S1");
        cable("A", "1", "STAR QUAD", "MIC-01", "OUT", "XLR3M", "Studio", "DESK-01", "IN 1", "XLR3F",
              "Control \"A\"", 25, "S2");
        cable("", "7", "CAT6", "", "", "", "", "NET-01", "P1", "RJ45", "", 1, "");
        project(
            "insert into tblSystems (SysName, SysNum, EquipID, equipmentname, Manufacturer, "
            "Location, Elevation, Alias) values ('VDA', 1, 5, 'DA-8', 'Halvern', 'Rack 2', "
            "'U12', 'Video DA')");
        project(
            "insert into tblSystems (SysName, SysNum, EquipID, equipmentname, Manufacturer, "
            "Location) values ('CAM', 12, 6, 'HC-1', 'Optix', 'Studio')");
    }
    void project(const QString& sql, const QVariantList& values = {}) {
        db::Query q(db::DbId::Project, sql, registry);
        for (const QVariant& v : values) q.bind(v);
        q.exec();
    }
    void cable(const QString& prefix, const QString& number, const QString& type,
               const QString& srcSys, const QString& srcPin, const QString& srcConn,
               const QString& srcLoc, const QString& dstSys, const QString& dstPin,
               const QString& dstConn, const QString& dstLoc, double length, const QString& sheet) {
        project(
            "insert into tblCables (CableNoPrefix, CableNO, CableType, SRCSys, SRCPin, "
            "SRCConn, SRCLoc, DestSYS, DestPin, DESTConn, DESTLOc, Length, Sheet) values "
            "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
            {prefix, number, type, srcSys, srcPin, srcConn, srcLoc, dstSys, dstPin, dstConn, dstLoc,
             length, sheet});
    }
    // Renders the stock report at relative and keeps a picture of its first page.
    Printed render(const QString& relative, int expectedPages = 1) {
        const ReportLayout layout = readRpx(stock(relative));
        EXPECT_TRUE(layout.data.has_value());
        Printed out;
        QueryRecordSource rows(*layout.data, registry);
        EXPECT_EQ(renderReport(layout, rows, out, {QLocale(QLocale::English)}), expectedPages);
        if (const QString dir = qEnvironmentVariable("TOLVANE_STOCK_PNG"); !dir.isEmpty())
            out.first.save(QDir(dir).filePath(QFileInfo(relative).completeBaseName() + ".png"));
        return out;
    }
    test::TestDatabases dbs{GetParam()};
    db::Connections registry;
};

}  // namespace

TEST_P(StockReports, CableSchedulesGroupBySheetAndBySourceInNumberOrder) {
    const Printed bySheet = render("reports/general/CableSchedule.rpx");
    EXPECT_EQ(bySheet.headers, (QStringList{"(no sheet)", "S1", "S2"}));
    EXPECT_EQ(bySheet.details,
              (QStringList{"7|CAT6|||||NET-01|P1|RJ45||1|",
                           "V-9|COAX|VDA-01|OUT 2|BNC|Rack 2|MON-01|IN|BNC|Desk, left|3|S1",
                           "V-10|COAX|CAM-01|OUT|BNC|Studio|VDA-01|IN 1|BNC|Rack 2|12.5|S1",
                           "A-1|STAR QUAD|MIC-01|OUT|XLR3M|Studio|DESK-01|IN 1|XLR3F|Control "
                           "\"A\"|25|S2"}));
    const Printed bySource = render("reports/general/CableScheduleBySource.rpx");
    EXPECT_EQ(bySource.headers, (QStringList{"(no source system)", "CAM-01", "MIC-01", "VDA-01"}));
    EXPECT_EQ(bySource.details.size(), 4);
    EXPECT_TRUE(bySource.details[3].startsWith("V-9|COAX|VDA-01"));
}

TEST_P(StockReports, SystemListAndJackfieldPositions) {
    const Printed systems = render("reports/general/SystemList.rpx");
    EXPECT_EQ(systems.details, (QStringList{"CAM|12|HC-1|Optix|Studio||",
                                            "VDA|01|DA-8|Halvern|Rack 2|U12|Video DA"}));

    project(
        "insert into tblJF (JackFieldID, JFSysName, JFSysID, JFLoc, JFEl, SHEET) values "
        "(1, 'JF', 3, 'Rack 1', 'U1', 'S9')");
    project(
        "insert into tblJF (JackFieldID, JFSysName, JFSysID, JFLoc) values (1, 'JF', 1, "
        "'Rack 4')");
    const auto jack = [&](int jf, const QString& row, const QString& col, int rowNo, bool assigned,
                          const QString& src, const QString& dst) {
        project(
            "insert into tblJFRowCol (JFID, JFRow, JFCol, JFRowNumber, JFConn, assigned, "
            "SRC, dest) select JFID, ?, ?, ?, 'BNC', ?, ?, ? from tblJF where JFSysID = ?",
            {row, col, rowNo, assigned, src, dst, jf});
    };
    jack(3, "B", "1", 2, false, "", "");
    jack(3, "A", "10", 1, true, "VDA-01|OUT 1", "MON-01|IN");
    jack(3, "A", "2", 1, false, "", "");
    jack(1, "A", "1", 1, true, "CAM-01|OUT", "");
    const Printed jacks = render("reports/general/JackfieldPositions.rpx");
    EXPECT_EQ(jacks.headers, (QStringList{"JF|01|Rack 4||", "JF|03|Rack 1|U1|S9"}));
    EXPECT_EQ(jacks.details, (QStringList{"A|1|BNC|x|CAM-01|OUT|", "A|2|BNC|-||",
                                          "A|10|BNC|x|VDA-01|OUT 1|MON-01|IN", "B|1|BNC|-||"}));
}

// Two labels for every cable, one for each end, three across a sheet of thirty.
TEST_P(StockReports, CableLabelsTwoPerCableAcrossTheSheet) {
    const Printed labels = render("reports/labels/CableLabels.rpx");
    ASSERT_EQ(labels.details.size(), 2 * 4);
    EXPECT_EQ(labels.details.mid(0, 2),
              (QStringList{"7|SOURCE END||||NET-01|P1|RJ45", "7|DEST END||||NET-01|P1|RJ45"}));
    EXPECT_EQ(labels.details[2], "A-1|SOURCE END|MIC-01|OUT|XLR3M|DESK-01|IN 1|XLR3F");
    EXPECT_EQ(labels.details[7], "V-10|DEST END|CAM-01|OUT|BNC|VDA-01|IN 1|BNC");
    // 2 5/8 x 1 inch labels, an eighth of an inch apart, from a 3/16 inch left margin.
    EXPECT_EQ(labels.labels[0], QRect(270, 720, 3780, 1440));
    EXPECT_EQ(labels.labels[1], QRect(4230, 720, 3780, 1440));
    EXPECT_EQ(labels.labels[2], QRect(8190, 720, 3780, 1440));
    EXPECT_EQ(labels.labels[3], QRect(270, 2160, 3780, 1440));
}

INSTANTIATE_TEST_SUITE_P(Engines, StockReports, test::bothEngines(), test::engineName);
