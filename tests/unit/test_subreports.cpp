// Subreports and sort fields: a child layout printed under each row of the report it stands in,
// picked by its link (in a PDF read by a reader that is not ours, and in the spreadsheet rows),
// breaking over pages with what stands below it moved down; a child that cannot print said once
// while the report prints on; a report that would print inside itself refused; a layout's sort
// fields ordering its rows within its groups on both engines.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>

#include "db/schema.h"
#include "db_fixture.h"
#include "reports/report_document.h"
#include "reports/report_error.h"
#include "reports/report_renderer.h"
#include "reports/rpx_file.h"
#include "reports/subreports.h"
#include "script_fixture.h"

using namespace tolvane;
using namespace tolvane::reports;

namespace {

struct KeepPages : PageSink {
    QList<RenderedPage> pages;
    QList<const ReportLayout*> included;
    void includes(const ReportLayout& l) override { included << &l; }
    void page(const RenderedPage& p) override { pages << p; }
};

Control field(const QString& name, int left = 0, int top = 0) {
    return Control{.kind = ControlKind::Field, .rect = QRect(left, top, 2000, 300), .text = name};
}

Control control(ControlKind kind, const QString& text, QRect rect = QRect(0, 0, 2000, 300)) {
    return Control{.kind = kind, .rect = rect, .text = text};
}

// A child layout of its own data control whose detail shows the cable number.
ReportLayout child() {
    ReportLayout l;
    l.data = DataControl{QStringLiteral("DC1"), QStringLiteral("PROJECT_SPECIFIC"),
                         QStringLiteral("select")};
    l.detail.height = 300;
    l.detail.controls << field(QStringLiteral("CableNO"));
    return l;
}

// Subreports whose rows are these, counting how often they are asked for; any problem fails.
std::shared_ptr<Subreports> childRows(const QString& folder, const QStringList& fields,
                                      const QList<QVariantList>& rows, int* reads = nullptr) {
    return std::make_shared<Subreports>(
        folder, QString(),
        [=](const ReportLayout&) {
            if (reads) ++*reads;
            return std::make_unique<TableRecordSource>(fields, rows);
        },
        [](const QString& problem) { ADD_FAILURE() << problem.toStdString(); });
}

Control subreport(const QString& name, const QString& file, const QString& link, int left = 2500) {
    return Control{.name = name,
                   .kind = ControlKind::SubReport,
                   .rect = QRect(left, 0, 4000, 300),
                   .text = file,
                   .format = link};
}

// The cables of the project, the total under them.
ReportLayout cableList() {
    ReportLayout l;
    l.data = DataControl{QStringLiteral("DC1"), QStringLiteral("PROJECT_SPECIFIC"),
                         QStringLiteral("select CableNO, SRCSys from tblCables order by CableNO")};
    l.pageHeader.height = 300;  // never printed in a subreport
    l.pageHeader.controls << control(ControlKind::Label, "PAGEHEADING");
    l.detail.height = 300;
    l.detail.controls << field(QStringLiteral("CableNO"));
    l.reportFooter.height = 300;
    l.reportFooter.controls << field(QStringLiteral("CableNO"));
    l.reportFooter.controls[0].format = QStringLiteral("0 total");
    l.reportFooter.controls[0].summary = Summary::Count;
    return l;
}

// The systems, each with the cables that leave it.
ReportLayout systemList(const QList<Control>& subreports) {
    ReportLayout l;
    l.data = DataControl{QStringLiteral("DC1"), QStringLiteral("PROJECT_SPECIFIC"),
                         QStringLiteral("select SysName from tblSystems order by SysName")};
    l.detail.height = 300;
    l.detail.controls << field(QStringLiteral("SysName")) << subreports;
    return l;
}

// A project with three systems and four cables: two leave CAM, one VDA, one a system not listed.
struct Project {
    db::Connections registry;
    test::TestDatabases dbs;
    QTemporaryDir dir;
    explicit Project(db::Engine engine = db::Engine::SQLite) : dbs(engine) {
        if (!dbs.available()) return;
        dbs.makeEmpty(db::DbId::Project, registry);
        db::ensureSchema(db::DbId::Project, registry);
        for (const char* name : {"VDA", "CAM", "MON"})
            db::Query(db::DbId::Project, "insert into tblSystems (SysName, SysNum) values (?, 1)",
                      registry)
                .bind(QString::fromLatin1(name))
                .exec();
        for (const auto& [no, from] :
             {std::pair{"C2", "CAM"}, {"C1", "CAM"}, {"C3", "VDA"}, {"C4", "ZZZ"}})
            db::Query(db::DbId::Project, "insert into tblCables (CableNO, SRCSys) values (?, ?)",
                      registry)
                .bind(QString::fromLatin1(no))
                .bind(QString::fromLatin1(from))
                .exec();
        writeRpx(dir.filePath("cables.rpx"), cableList());
    }
    QString file(const QString& name, const ReportLayout& l) {
        writeRpx(dir.filePath(name), l);
        return dir.filePath(name);
    }
};

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

TEST(Subreports, EachSystemPrintsItsCablesUnderItInThePdfAndTheSpreadsheetRows) {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    Project p;
    const QString pdf = p.dir.filePath("systems.pdf"), csv = p.dir.filePath("systems.csv");
    test::ScriptedUser user(
        QStringLiteral("file %1\nbutton OK\nfile %2\nbutton OK\n").arg(pdf, csv));
    ReportDocument doc(*user.ui, p.registry, ReportFolders{p.dir.path(), p.dir.path()});
    doc.load(p.file("systems.rpx",
                    systemList({subreport("subCables", "cables.rpx", "SRCSys=SysName")})));
    ASSERT_TRUE(doc.exportTo(ExportFormat::Pdf));
    ASSERT_TRUE(doc.exportTo(ExportFormat::Csv));
    if (const QString keep = qEnvironmentVariable("TOLVANE_KEEP_SUBREPORT_PDF"); !keep.isEmpty())
        QFile::copy(pdf, keep);
    EXPECT_TRUE(user.lines().filter("subreport").isEmpty()) << user.transcript.toStdString();
    // Read as laid out, line by line: each system, then its cables beside and below it, and
    // their count; a system without cables prints none, and the cable of no system listed
    // prints nowhere.
    const QStringList words = run("pdftotext", {"-layout", pdf, "-"})
                                  .split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    EXPECT_EQ(words,
              (QStringList{"CAM", "C1", "C2", "2", "total", "MON", "VDA", "C3", "1", "total"}));
    QFile rows(csv);
    ASSERT_TRUE(rows.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(rows.readAll()).split("\r\n", Qt::SkipEmptyParts),
              (QStringList{"SysName,CableNO", "CAM,", ",C1", ",C2", "MON,", "VDA,", ",C3"}));
}

// A parent whose cables take several pages: they break over the pages like any growing row,
// none lost or doubled, and what stands under the subreport moves down below its last row. The
// child's rows come from its own source, read once for every row and pass.
TEST(Subreports, ALongChildBreaksOverPagesAndPushesDownWhatStandsBelow) {
    QTemporaryDir dir;
    writeRpx(dir.filePath("child.rpx"), child());
    QList<QVariantList> cables;
    for (int i = 1; i <= 30; ++i) cables << QVariantList{QStringLiteral("A%1").arg(i), 1};
    cables << QVariantList{QStringLiteral("B1"), 2} << QVariantList{QStringLiteral("B2"), 2};
    int reads = 0;
    RenderOptions options;
    options.subreports = childRows(dir.path(), {"CableNO", "SystemID"}, cables, &reads);

    ReportLayout parent;
    parent.page = PageSetup{12240, 5040, false, 720, 720, 720, 720};  // 3600 twips of body
    parent.pageFooter.height = 300;
    parent.pageFooter.controls << control(ControlKind::PageNumber, "Page {page} of {pages}");
    parent.detail.height = 600;
    parent.detail.controls << field(QStringLiteral("Name"))
                           << subreport("subCables", "child.rpx", "SystemID=ID")
                           << control(ControlKind::Label, "below", QRect(0, 300, 2000, 300));
    TableRecordSource systems({"ID", "Name"}, {{1, "ONE"}, {2, "TWO"}});
    KeepPages sink;
    const int pages = renderReport(parent, systems, sink, options);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(sink.included.size(), 1);
    // 3300 twips of body a page: eleven rows of 300; the 30 rows of ONE take three pages.
    EXPECT_EQ(pages, 4);
    EXPECT_EQ(sink.pages.value(0).count, 4);
    QStringList printed;
    int belowAt = -1, lastOfOne = -1;
    for (const RenderedPage& page : sink.pages)
        for (const RenderedBand& band : page.bands) {
            EXPECT_GE(band.rect.top(), 720);
            EXPECT_LE(band.rect.bottom() + 1, 5040 - 720);
            for (const RenderedItem& item : band.items) {
                if (band.kind != SectionKind::Detail) continue;
                EXPECT_TRUE(band.rect.contains(item.rect.normalized().topLeft()))
                    << item.text.toStdString();
                if (item.control->kind != ControlKind::Field && item.text != "below") continue;
                const int at = page.number * 100000 + item.rect.top();
                if (item.text == "below" && belowAt < 0) belowAt = at;
                if (item.text == "A30") lastOfOne = at;
                printed << item.text;
            }
        }
    QStringList expected{"ONE"};
    for (int i = 1; i <= 30; ++i) expected << QStringLiteral("A%1").arg(i);
    EXPECT_EQ(printed, expected + QStringList({"below", "TWO", "B1", "B2", "below"}));
    EXPECT_GT(belowAt, lastOfOne);
}

// A child whose detail is in columns fills the subreport control's width with them, row by
// row, and a section after them starts under the tallest; the page count it shows is the
// report's, counted even when the report itself shows none.
TEST(Subreports, AChildInColumnsFillsItsControlAndKnowsThePageCount) {
    QTemporaryDir dir;
    ReportLayout columns = child();
    columns.detail.columns = 3;
    columns.detail.columnSpacing = 100;
    columns.detail.controls[0].rect.setWidth(1000);
    columns.reportFooter.height = 300;
    columns.reportFooter.controls << control(ControlKind::PageNumber, "{page} of {pages}");
    writeRpx(dir.filePath("child.rpx"), columns);
    QList<QVariantList> cables;
    for (int i = 1; i <= 4; ++i) cables << QVariantList{QStringLiteral("C%1").arg(i)};
    ReportLayout parent;
    parent.detail.height = 300;
    Control sub = subreport("subCables", "child.rpx", QString(), 1000);
    sub.rect.setWidth(3200);  // three columns of 1000 and two gaps of 100
    parent.detail.controls << sub;
    TableRecordSource one({"ID"}, {{1}});
    KeepPages sink;
    RenderOptions options;
    options.subreports = childRows(dir.path(), {"CableNO"}, cables);
    ASSERT_EQ(renderReport(parent, one, sink, options), 1);
    QList<QPoint> at;
    QString footer;
    for (const RenderedBand& band : sink.pages.value(0).bands)
        for (const RenderedItem& item : band.items) {
            const QPoint p = item.rect.topLeft() - band.rect.topLeft();
            if (item.control->kind == ControlKind::Field) at << p;
            if (item.control->kind == ControlKind::PageNumber) {
                footer = item.text;
                EXPECT_EQ(p, QPoint(1000, 600));
            }
        }
    EXPECT_EQ(at, (QList<QPoint>{{1000, 0}, {2100, 0}, {3200, 0}, {1000, 300}}));
    EXPECT_EQ(footer, QStringLiteral("1 of 1"));
}

// Whatever keeps a subreport from printing is said once, however many rows and passes meet it,
// and the report prints on with that subreport empty: a missing file, a link naming a field
// neither query gives, a report naming itself, or naming one that names it.
TEST(Subreports, ThoseThatCannotPrintAreSaidOnceAndTheReportPrintsOn) {
    Project p;
    ReportLayout inner;
    inner.reportHeader.height = 300;
    inner.reportHeader.controls << control(ControlKind::Label, "inner")
                                << subreport("subBack", "self.rpx", {});
    p.file("inner.rpx", inner);
    ReportLayout self = systemList({subreport("subMissing", "missing.rpx", "SRCSys=SysName"),
                                    subreport("subChildField", "cables.rpx", "Colour=SysName"),
                                    subreport("subParentField", "cables.rpx", "SRCSys=Colour"),
                                    subreport("subSelf", "self.rpx", {}),
                                    subreport("subInner", "inner.rpx", {}, 6000)});
    // The page count makes a second pass over the rows.
    self.pageFooter.height = 300;
    self.pageFooter.controls << control(ControlKind::PageNumber, "{page}/{pages}");

    const QString text = p.dir.filePath("self.txt");
    test::ScriptedUser user(QStringLiteral("file %1\n").arg(text) +
                            QStringLiteral("button OK\n").repeated(6));
    ReportDocument doc(*user.ui, p.registry, ReportFolders{p.dir.path(), p.dir.path()});
    doc.load(p.file("self.rpx", self));
    ASSERT_TRUE(doc.exportTo(ExportFormat::Text));
    const QString selfPath = QDir::toNativeSeparators(p.dir.filePath("self.rpx"));
    EXPECT_EQ(user.lines().filter("MESSAGE").filter("subreport"),
              (QStringList{
                  "MESSAGE [OK] Tolvane | The subreport \"subMissing\" prints empty: the report "
                  "layout " +
                      p.dir.filePath("missing.rpx") +
                      " cannot be opened: " + QString::fromLocal8Bit(std::strerror(ENOENT)),
                  "MESSAGE [OK] Tolvane | The subreport \"subChildField\" prints empty: its link "
                  "names the field \"Colour\", which the query of " +
                      QDir::toNativeSeparators(p.dir.filePath("cables.rpx")) +
                      " does not give (it gives CableNO, SRCSys)",
                  "MESSAGE [OK] Tolvane | The subreport \"subParentField\" prints empty: its link "
                  "names the field \"Colour\", which the report it prints in does not give (it "
                  "gives SysName)",
                  "MESSAGE [OK] Tolvane | The subreport \"subSelf\" prints empty: " + selfPath +
                      " is a report it prints in; a report cannot print inside itself",
                  "MESSAGE [OK] Tolvane | The subreport \"subBack\" prints empty: " + selfPath +
                      " is a report it prints in; a report cannot print inside itself",
              }))
        << user.transcript.toStdString();
    QFile out(text);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(out.readAll()).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.filter(QRegularExpression("^(CAM|MON|VDA)\\s+inner$")).size(), 3)
        << lines.join('\n').toStdString();
}

namespace {

ReportLayout sortedCables() {
    ReportLayout l;
    l.data = DataControl{
        QStringLiteral("DC1"), QStringLiteral("PROJECT_SPECIFIC"),
        QStringLiteral("select CableNO, CableNoPrefix, Length as [Cable Length] from tblCables")};
    l.detail.height = 300;
    l.detail.controls << field(QStringLiteral("CableNO"));
    l.groups << Group{QStringLiteral("tblCables.CableNoPrefix")};
    l.groups[0].header.height = 300;
    l.groups[0].header.controls << field(QStringLiteral("CableNoPrefix"));
    l.sorts << SortField{{}, QStringLiteral("Cable Length"), true};
    return l;
}

}  // namespace

class SortFieldsOnEngine : public ::testing::TestWithParam<db::Engine> {};

// The rows come grouped by the group field and, within each group, by the sort field; a name
// with a blank is quoted, not pasted; a sort field the query lacks is refused by name.
TEST_P(SortFieldsOnEngine, RowsPrintInTheOrderOfTheSortFieldsWithinTheGroups) {
    Project p(GetParam());
    if (!p.dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
    db::Query(db::DbId::Project, "delete from tblCables", p.registry).exec();
    for (const auto& [no, prefix, length] :
         {std::tuple{"B1", "B", 2.5}, {"A1", "A", 10.0}, {"B2", "B", 20.0}, {"A2", "A", 15.0}})
        db::Query(db::DbId::Project,
                  "insert into tblCables (CableNO, CableNoPrefix, Length) values (?, ?, ?)",
                  p.registry)
            .bind(QString::fromLatin1(no))
            .bind(QString::fromLatin1(prefix))
            .bind(length)
            .exec();
    test::ScriptedUser user("");
    ReportDocument doc(*user.ui, p.registry, ReportFolders{p.dir.path(), p.dir.path()});
    doc.load(p.file("sorted.rpx", sortedCables()));
    KeepPages sink;
    renderReport(doc.current(), *doc.rows(), sink);
    QStringList printed;
    for (const RenderedBand& band : sink.pages.value(0).bands)
        for (const RenderedItem& item : band.items) printed << item.text;
    EXPECT_EQ(printed, (QStringList{"A", "A2", "A1", "B", "B2", "B1"}));

    doc.layout().edit("Sort", [](ReportLayout& l) { l.sorts[0].descending = false; });
    const auto rows = doc.rows();
    rows->start();
    QStringList ascending;
    while (rows->next()) ascending << rows->value(0).toString();
    EXPECT_EQ(ascending, (QStringList{"A1", "A2", "B1", "B2"}));

    doc.layout().edit("Sort", [](ReportLayout& l) { l.sorts << SortField{{}, "Colour", false}; });
    try {
        doc.rows()->start();
        ADD_FAILURE() << "a sort field the query lacks was taken";
    } catch (const ReportError& e) {
        EXPECT_TRUE(e.message().startsWith(
            "Error: the report sorts its rows by the field \"Colour\", which its query does not "
            "give (it gives "))
            << e.message().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, SortFieldsOnEngine, test::bothEngines(), test::engineName);
