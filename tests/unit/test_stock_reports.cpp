// The stock reports shipped in reports/general and reports/labels, each read from its file and
// run over a small project on SQLite and (with TOLVANE_TEST_PG) PostgreSQL:
// their rows, groups and, for labels, two per cable. And the cable schedule written as CSV and
// Excel at once, the workbook read back by openpyxl. TOLVANE_STOCK_PNG names a folder for
// pictures of the first page of each, to look at.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "db/schema.h"
#include "db_fixture.h"
#include "reports/barcode.h"
#include "reports/cable_schedule_export.h"
#include "reports/record_source.h"
#include "reports/report_error.h"
#include "reports/report_exports.h"
#include "reports/report_renderer.h"
#include "reports/rpx_file.h"
#include "script_fixture.h"

using namespace tolvane;
using namespace tolvane::reports;
using test::ScriptedUser;

namespace {

QString stock(const QString& relative) {
    return QDir(QStringLiteral(TOLVANE_SOURCE_RESOURCES)).filePath(relative);
}

// The text of a PDF as pdftotext gives it with these options.
QString pdfText(const QString& pdf, const QString& option = QStringLiteral("-layout")) {
    QProcess p;
    p.start("pdftotext", {option, pdf, "-"});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// A copy of a file written, to look at, in the folder TOLVANE_STOCK_PNG names.
void keepToLookAt(const QString& file) {
    if (const QString dir = qEnvironmentVariable("TOLVANE_STOCK_PNG"); !dir.isEmpty())
        QFile::copy(file, QDir(dir).filePath(QFileInfo(file).fileName()));
}

bool noPdftotext() {
    return QStandardPaths::findExecutable("pdftotext").isEmpty();
}

// What a report printed: the text of each group header and each detail, "|" between the
// controls (check boxes as "x" or "-"), the rectangle of each detail and what its barcodes carry.
struct Printed : PageSink {
    QStringList headers, details, code128, qr;
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
                else if (i.control->kind == ControlKind::Barcode)
                    (i.control->symbology == Symbology::QrCode ? qr : code128) << i.text;
            }
            (b.kind == SectionKind::Detail ? details : headers) << line.join('|');
            if (b.kind == SectionKind::Detail) labels << b.rect;
        }
        if (first.isNull()) first = PageImageSink::paintPage(p, setup, 110, painter);
    }
};

// The fixture's cables as the cable schedule gives them, sheet by sheet:
// "number|type|source system|pin|connector|location|destination ...|length|sheet".
const QStringList kScheduleRows{
    "7|CAT6|||||NET-01|P1|RJ45||1|",
    "V-9|COAX|VDA-01|OUT 2|BNC|Rack 2|MON-01|IN|BNC|Desk, left|3|S1",
    "V-10|COAX|CAM-01|OUT|BNC|Studio|VDA-01|IN 1|BNC|Rack 2|12.5|S1",
    "A-1|STAR QUAD|MIC-01|OUT|XLR3M|Studio|DESK-01|IN 1|XLR3F|Control \"A\"|25|S2"};

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
    QString run(const QString& script, const QStringList& args) {
        QProcess p;
        p.start("/usr/bin/python3", QStringList{"-c", script} + args);
        p.waitForFinished(60000);
        return QString::fromUtf8(p.readAllStandardOutput()) +
               QString::fromUtf8(p.readAllStandardError());
    }

    // The databases close their connections: the registry outlives them.
    db::Connections registry;
    test::TestDatabases dbs{GetParam()};
};

}  // namespace

TEST_P(StockReports, CableSchedulesGroupBySheetAndBySourceInNumberOrder) {
    const Printed bySheet = render("reports/general/CableSchedule.rpx");
    EXPECT_EQ(bySheet.headers, (QStringList{"(no sheet)", "S1", "S2"}));
    EXPECT_EQ(bySheet.details, kScheduleRows);
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

// The schedule written at once as CSV and Excel, on either engine: the pair and nothing else
// beside them, the workbook read back by a reader that is not ours with the rows of tblCables;
// a chosen ".xlsx" or ".CSV" names the pair.
TEST_P(StockReports, CableScheduleExportWritesTheCableRowsAsCsvAndExcel) {
    EXPECT_EQ(cableScheduleFiles("/p/Sched.XLSX").csv, "/p/Sched.csv");
    EXPECT_EQ(cableScheduleFiles("/p/Sched.csv").xlsx, "/p/Sched.xlsx");
    EXPECT_EQ(cableScheduleFiles("/p/Sched.v2").csv, "/p/Sched.v2.csv");

    QTemporaryDir appDir, projectDir;
    QDir(appDir.path()).mkpath("reports/general");
    ASSERT_TRUE(
        QFile::copy(stock(cableScheduleReportPath()), appDir.filePath(cableScheduleReportPath())));
    const QString base = projectDir.filePath("Cable Schedule");
    ScriptedUser user("file " + base + "\nbutton OpenFile\n");
    ASSERT_TRUE(exportCableSchedule(*user.ui, appDir.path(), projectDir.path(), registry))
        << user.transcript.toStdString();
    // The dialog, the status and the message are those of the cable_schedule_export scenario.
    EXPECT_TRUE(user.transcript.contains("OPEN " + base + ".xlsx"))
        << user.transcript.toStdString();
    EXPECT_EQ(QDir(projectDir.path()).entryList(QDir::Files),
              (QStringList{"Cable Schedule.csv", "Cable Schedule.xlsx"}));

    // The CSV's text, header and quoting are those of the cable_schedule_export scenario. The
    // workbook holds the schedule's rows, empty cells left empty, lengths as numbers (a length
    // that is text fails the '%g').
    if (run("import openpyxl; print('ok')", {}).trimmed() != "ok")
        GTEST_SKIP() << "openpyxl (python3-openpyxl) is not installed: the Excel file is unread";
    const QString xlsxOut =
        run("import openpyxl, sys\n"
            "ws = openpyxl.load_workbook(sys.argv[1]).active\n"
            "for r in ws.iter_rows(min_row=2, values_only=True): print('|'.join(\n"
            "    '' if v is None else '%g' % v if i == 10 or isinstance(v, float) else str(v)\n"
            "    for i, v in enumerate(r)))\n",
            {base + ".xlsx"});
    QStringList xlsxLines = xlsxOut.split('\n', Qt::SkipEmptyParts), expected = kScheduleRows;
    xlsxLines.sort();
    expected.sort();
    EXPECT_EQ(xlsxLines, expected) << xlsxOut.toStdString();
}

// Replacing asks first, a "No" or a cancelled dialog writes nothing, and a query that fails
// leaves the older pair as it was with nothing beside it.
TEST_P(StockReports, CableScheduleExportRefusesAndFailsWithoutHalfWrittenFiles) {
    QTemporaryDir appDir, projectDir;
    QDir(appDir.path()).mkpath("reports/general");
    const QString layoutPath = appDir.filePath(cableScheduleReportPath());
    ASSERT_TRUE(QFile::copy(stock(cableScheduleReportPath()), layoutPath));
    const QString base = projectDir.filePath("CableSchedule");
    const auto touch = [](const QString& path) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    };
    touch(base + ".csv");
    touch(base + ".xlsx");
    const auto contents = [&] {
        QStringList out;
        for (const QString& name : QDir(projectDir.path()).entryList(QDir::Files)) {
            QFile f(projectDir.filePath(name));
            f.open(QIODevice::ReadOnly);
            out << name + "=" + QString::fromUtf8(f.readAll().left(3));
        }
        return out;
    };
    const QStringList before{"CableSchedule.csv=old", "CableSchedule.xlsx=old"};
    // Answered so, the export returns false, and what it says holds `said`.
    const auto refused = [&](const QString& answers, const QString& said, const QString& project) {
        ScriptedUser user(answers);
        EXPECT_FALSE(exportCableSchedule(*user.ui, appDir.path(), project, registry));
        EXPECT_TRUE(user.transcript.contains(said)) << user.transcript.toStdString();
    };
    refused("cancel\n", {}, projectDir.path());
    refused("file " + base + ".xlsx\nbutton No\n",
            "Replace " + base + ".csv and " + base + ".xlsx?", projectDir.path());
    EXPECT_EQ(contents(), before);
    // A folder in the way of the workbook: the CSV is not replaced either.
    ASSERT_TRUE(QDir(projectDir.path()).mkdir("Other.xlsx"));
    touch(projectDir.filePath("Other.csv"));
    refused("file " + projectDir.filePath("Other") + "\nbutton Yes\nbutton OK\n",
            "Other.xlsx: a folder of that name is in the way", projectDir.path());
    EXPECT_EQ(contents(), before + QStringList{"Other.csv=old"});
    QFile::remove(projectDir.filePath("Other.csv"));
    // A layout whose query names a column the table lacks.
    QFile layout(layoutPath);
    ASSERT_TRUE(layout.open(QIODevice::ReadOnly));
    QByteArray bytes = layout.readAll();
    layout.close();
    ASSERT_TRUE(bytes.contains("DESTLOc, Length"));
    bytes.replace("DESTLOc, Length", "DESTLOc, NoSuchLength as Length");
    ASSERT_TRUE(layout.open(QIODevice::WriteOnly | QIODevice::Truncate));
    layout.write(bytes);
    layout.close();
    refused("file " + base + "\nbutton Yes\nbutton OK\n", "the report's query cannot be run",
            projectDir.path());
    EXPECT_EQ(contents(), before);
    // No layout at all, and no project.
    QFile::remove(layoutPath);
    refused("button OK\n", "The cable schedule layout", projectDir.path());
    refused("button OK\n", "Open a project first", QString());
    EXPECT_EQ(contents(), before);
}

INSTANTIATE_TEST_SUITE_P(Engines, StockReports, test::bothEngines(), test::engineName);

namespace {

// A word of a PDF as pdftotext places it: its box in points and the page it is on.
struct PdfWord {
    int page = 0;
    QRectF box;
    QString text;
};

QList<PdfWord> pdfWords(const QString& pdf) {
    const QString html = pdfText(pdf, QStringLiteral("-bbox"));
    QList<PdfWord> words;
    int page = 0;
    static const QRegularExpression tag(
        R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(0).startsWith("<page")) {
            ++page;
            continue;
        }
        words << PdfWord{page,
                         QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                QPointF(m.captured(3).toDouble(), m.captured(4).toDouble())),
                         m.captured(5)};
    }
    return words;
}

// Words of one line that run into each other: a value spilling into the next column, or cut
// at its column's edge with the next column's value drawn over the cut.
QStringList overlapping(const QList<PdfWord>& words) {
    QStringList out;
    for (int i = 0; i < words.size(); ++i)
        for (int j = i + 1; j < words.size(); ++j) {
            const PdfWord &a = words[i], &b = words[j];
            if (a.page != b.page) continue;
            const double sameLine =
                std::min(a.box.bottom(), b.box.bottom()) - std::max(a.box.top(), b.box.top());
            const double across =
                std::min(a.box.right(), b.box.right()) - std::max(a.box.left(), b.box.left());
            if (sameLine > 0.5 * std::min(a.box.height(), b.box.height()) && across > 0.2)
                out << a.text + " / " + b.text;
        }
    return out;
}

}  // namespace

// Long values in every column: the stock reports give each column the width its values need,
// so that pdftotext finds each value whole on one line, no word of a line overlaps another, and
// the column headings stand on every page.
TEST_P(StockReports, LongValuesPrintWholeInTheirColumnsOnEveryPage) {
    if (noPdftotext()) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    project("delete from tblCables");
    project("delete from tblSystems");
    // Every third cable carries the longest values; the others vary as a schedule does.
    const QStringList types{"Belden 1800F", "Canare L-4E6S", "Belden 1694A"},
        from{"ROUTER-CR-01", "CAM-01", "VTR-02"}, fromPin{"AES OUT 1DB25", "OUT", "SDI OUT 2"},
        fromLoc{"CONTROL ROC", "Studio", "Rack 2"}, to{"EDIT-A DESK-02", "MON-01", "DA-04"},
        toPin{"AES IN 12DB25", "IN 1", "IN 3"}, toLoc{"EDIT SUITE.RA", "Desk, left", "Rack 4"};
    for (int i = 1; i <= 45; ++i)
        cable("AES", QString::number(i), types[i % 3], from[i % 3], fromPin[i % 3],
              i % 3 ? "BNC" : "DB25F", fromLoc[i % 3], to[i % 3], toPin[i % 3],
              i % 3 ? "BNC" : "DB25M", toLoc[i % 3], i % 3 ? 2.5 * i : 1234.5, "SH-EDIT SUITE.RA");
    project(
        "insert into tblSystems (SysName, SysNum, EquipID, equipmentname, Manufacturer, "
        "Location, Elevation, Alias) values ('EDITDESK', 2, 5, 'Westmark DA-8 Distribution', "
        "'Westmark AV Wholesalers', 'EDIT SUITE.RA', 'U12-U14', 'Edit desk feed')");
    project("insert into tblBOMMaster (BOMFileName, BOMDate) values ('Edit suites', '2026-03-01')");
    for (int i = 1; i <= 45; ++i)
        project(
            "insert into tblBOM (FileName, BOMClass, Item, Manufacturer, QTY, vendor1, vendor2, "
            "Cost1, COST2, Ext1, Ext2) values ('Edit suites', 'Equipment', ?, "
            "'Westmark AV Wholesalers', 12, 'Westmark AV Wholesalers', 'Northgate Broadcast "
            "Supply', 1234.56, 1199.99, 14814.72, 14399.88)",
            {QString("Westmark DA-8 Distribution %1").arg(i)});

    struct Case {
        QString report;
        QStringList values;  // each must stand whole on a line
        QString heading;     // on every page
        int pages;
    };
    const QList<Case> cases{
        {"reports/general/CableSchedule.rpx",
         {"AES-45", "Belden 1800F", "ROUTER-CR-01", "AES OUT 1DB25", "DB25F", "CONTROL ROC",
          "EDIT-A DESK-02", "AES IN 12DB25", "DB25M", "EDIT SUITE.RA", "1,234.5",
          "SH-EDIT SUITE.RA"},
         "Connector",
         2},
        {"reports/general/CableScheduleBySource.rpx",
         {"Belden 1800F", "AES OUT 1DB25", "CONTROL ROC", "EDIT-A DESK-02", "EDIT SUITE.RA"},
         "Connector",
         2},
        {"reports/general/BOM.RPX",
         {"Westmark DA-8 Distribution 45", "Westmark AV Wholesalers", "Northgate Broadcast Supply"},
         "Vendor 1",
         2},
        {"reports/general/SystemList.rpx",
         {"EDITDESK", "Westmark DA-8 Distribution", "Westmark AV Wholesalers", "EDIT SUITE.RA",
          "U12-U14", "Edit desk feed"},
         {},
         1},
    };
    QTemporaryDir out;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.report.toStdString());
        const ReportLayout layout = readRpx(stock(c.report));
        QueryRecordSource rows(*layout.data, registry);
        const QString pdf = out.filePath(QFileInfo(c.report).completeBaseName() + ".pdf");
        EXPECT_EQ(exportReport(layout, rows, ExportFormat::Pdf, pdf, {QLocale(QLocale::English)}),
                  c.pages);
        const QString text = pdfText(pdf);
        for (const QString& v : c.values) {
            const QRegularExpression whole("(^|\\s)" + QRegularExpression::escape(v) + "(\\s|$)",
                                           QRegularExpression::MultilineOption);
            EXPECT_TRUE(whole.match(text).hasMatch()) << v.toStdString() << "\n"
                                                      << text.toStdString();
        }
        const QStringList overlaps = overlapping(pdfWords(pdf));
        EXPECT_TRUE(overlaps.isEmpty()) << overlaps.join("; ").toStdString();
        for (const QString& page : text.split('\f', Qt::SkipEmptyParts))
            EXPECT_TRUE(c.heading.isEmpty() || page.trimmed().isEmpty() || page.contains(c.heading))
                << page.toStdString();
        keepToLookAt(pdf);
    }
}

// Two labels for every cable, one for each end, three across a sheet of thirty. Each carries the
// cable's number as text and as a Code 128 symbol, and a QR code of the number with both ends. The
// label sheet written as a PDF has every number in its text layer once per label (the symbols add
// no text), and no word of a label runs into another.
TEST_P(StockReports, CableLabelsTwoPerCableCarryTheNumberAsTextAndAsBarcodes) {
    const Printed labels = render("reports/labels/CableLabels.rpx");
    ASSERT_EQ(labels.details.size(), 2 * 4);
    EXPECT_EQ(labels.details.mid(0, 2),
              (QStringList{"7|SOURCE END||||NET-01|P1|RJ45", "7|DEST END||||NET-01|P1|RJ45"}));
    EXPECT_EQ(labels.details[2], "A-1|SOURCE END|MIC-01|OUT|XLR3M|DESK-01|IN 1|XLR3F");
    EXPECT_EQ(labels.details[7], "V-10|DEST END|CAM-01|OUT|BNC|VDA-01|IN 1|BNC");
    // 2 5/8 x 1 inch labels, an eighth of an inch apart, from a 3/16 inch left margin.
    EXPECT_EQ(labels.labels.mid(0, 4), (QList<QRect>{{270, 720, 3780, 1440},
                                                     {4230, 720, 3780, 1440},
                                                     {8190, 720, 3780, 1440},
                                                     {270, 2160, 3780, 1440}}));

    const ReportLayout layout = readRpx(stock("reports/labels/CableLabels.rpx"));
    QHash<QString, const Control*> named;
    for (const Control& c : layout.detail.controls) named.insert(c.name, &c);
    ASSERT_TRUE(named.contains("bcdCableNumber") && named.contains("bcdCableEnds") &&
                named.contains("txtCableNumber"));
    // The QR code's symbology shows in what the QR codes carry, below.
    EXPECT_EQ(named["bcdCableNumber"]->symbology, Symbology::Code128);

    // Both symbols and the number lie inside the label, clear of each other.
    const QRect label(0, 0, detailColumnWidth(layout.page, layout.detail), layout.detail.height);
    for (const char* name : {"txtCableNumber", "bcdCableNumber", "bcdCableEnds"})
        EXPECT_TRUE(label.contains(named[name]->rect)) << name;
    EXPECT_FALSE(named["bcdCableNumber"]->rect.intersects(named["bcdCableEnds"]->rect));
    EXPECT_FALSE(named["bcdCableNumber"]->rect.intersects(named["txtCableNumber"]->rect));

    // What the symbols carry, label by label.
    EXPECT_EQ(labels.code128, (QStringList{"7", "7", "A-1", "A-1", "V-9", "V-9", "V-10", "V-10"}));
    ASSERT_EQ(labels.qr.size(), 8);
    EXPECT_EQ(labels.qr[6], "V-10; FROM CAM-01 OUT BNC; TO VDA-01 IN 1 BNC");
    EXPECT_EQ(labels.qr[7], labels.qr[6]);
    EXPECT_EQ(labels.qr[2], "A-1; FROM MIC-01 OUT XLR3M; TO DESK-01 IN 1 XLR3F");
    EXPECT_EQ(labels.qr[0], "7; FROM ; TO NET-01 P1 RJ45");
    for (const QString& data : labels.code128 + labels.qr)
        EXPECT_TRUE(encodeBarcode(Symbology::QrCode, data).ok()) << data.toStdString();

    if (noPdftotext()) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    QTemporaryDir out;
    const QString pdf = out.filePath("CableLabels.pdf");
    QueryRecordSource again(*layout.data, registry);
    EXPECT_EQ(exportReport(layout, again, ExportFormat::Pdf, pdf, {QLocale(QLocale::English)}), 1);
    const QList<PdfWord> words = pdfWords(pdf);
    for (const QString number : {"7", "A-1", "V-9", "V-10"}) {
        const auto n = std::count_if(words.begin(), words.end(),
                                     [&](const PdfWord& w) { return w.text == number; });
        EXPECT_EQ(n, 2) << number.toStdString();
    }
    const QStringList overlaps = overlapping(words);
    EXPECT_TRUE(overlaps.isEmpty()) << overlaps.join("; ").toStdString();
    keepToLookAt(pdf);
}

// The rack budgets as a PDF: each rack's line and, under them, the line of totals over all racks
// (systems, power, heat and weight), as pdftotext reads them back.
TEST_P(StockReports, RackBudgetsPrintTheirTotalsInThePdf) {
    if (noPdftotext()) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    project(
        "insert into tblRackBudgets (RackUnitName, RackUnits, RUUsed, RUFree, Systems, Watts, "
        "PowerLimit, BTU, Weight, WeightLimit, OverLimits) values ('Rack A', 42, 8, 34, 5, 630, "
        "180, 2149.56, 61, 25, 'power, weight'), ('Rack B', 42, 3, 39, 2, 1234.5, null, 4212.1, "
        "20.5, null, '')");
    const ReportLayout layout = readRpx(stock("reports/general/RackBudgets.rpx"));
    QueryRecordSource rows(*layout.data, registry);
    QTemporaryDir out;
    const QString pdf = out.filePath("RackBudgets.pdf");
    EXPECT_EQ(exportReport(layout, rows, ExportFormat::Pdf, pdf, {QLocale(QLocale::English)}), 1);
    QStringList lines;
    for (const QString& line : pdfText(pdf).split('\n'))
        if (!line.trimmed().isEmpty()) lines << line.simplified();
    // 5 + 2 systems, 630 + 1,234.5 W, 2,149.56 + 4,212.1 BTU/h, 61 + 20.5 kg in the totals.
    for (const char* line :
         {"Rack A 42 8 34 5 630 180 2,150 61 25 power, weight",
          "Rack B 42 3 39 2 1,234.5 4,212 20.5", "All racks: 7 1,864.5 6,362 81.5"})
        EXPECT_TRUE(lines.contains(line)) << line << "\n" << lines.join('\n').toStdString();
    keepToLookAt(pdf);
}
