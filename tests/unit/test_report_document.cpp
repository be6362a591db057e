// Report documents: filter expressions (builder lines, parsing against the query's columns,
// values kept out of the SQL), the document's file handling and close question through the
// Ui seam, where exports start and what they say, and the preview's pages rendered on demand.
// Exports that are cancelled or cannot be written are run by report_window.scr.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "db/schema.h"
#include "db_fixture.h"
#include "reports/report_document.h"
#include "reports/report_error.h"
#include "reports/report_filter.h"
#include "reports/report_preview.h"
#include "reports/rpx_file.h"
#include "script_fixture.h"
#include "shell/settings_store.h"

using namespace tolvane;
using namespace tolvane::reports;

namespace {

QString parseError(const QString& expression, const QStringList& fields) {
    try {
        parseFilter(expression, fields);
    } catch (const ReportError& e) {
        return e.message();
    }
    return QStringLiteral("(parsed)");
}

const QStringList kFields{"CableNO", "Length", "Notes"};

}  // namespace

TEST(ReportFilter, BuilderLinesReadBackAsTheSameConditionsWithValuesAsParameters) {
    const QList<FilterLine> lines{
        {"cableno", "LIKE", "A%", "AND"},
        {"Length", ">=", "10", "AND"},
        {"", "=", "ignored", "OR"},  // a line without a field is no condition
        {"Notes", "IS NULL", "ignored", "or"},
        {"Notes", "=", "it's", "AND"},
    };
    const QString expression = filterExpression(lines);
    EXPECT_EQ(expression,
              "cableno LIKE 'A%' AND Length >= 10 OR Notes IS NULL AND Notes = 'it''s'");
    const DataFilter f = parseFilter(expression, kFields);
    // Columns are named as the query names them, values never enter the text.
    EXPECT_EQ(f.condition,
              "\"CableNO\" LIKE ? AND \"Length\" >= ? OR \"Notes\" IS NULL AND \"Notes\" = ?");
    EXPECT_EQ(f.values, (QVariantList{"A%", qlonglong(10), "it's"}));
    // Text that looks like SQL stays one value.
    const DataFilter sneaky = parseFilter("Notes = 'x'' OR 1=1 --'", kFields);
    EXPECT_EQ(sneaky.condition, "\"Notes\" = ?");
    EXPECT_EQ(sneaky.values, QVariantList{"x' OR 1=1 --"});
    EXPECT_EQ(parseFilter("(Length < 2.5 or NOT Notes <> 'a') and [Notes] IS NOT NULL", kFields)
                  .condition,
              "(\"Length\" < ? OR NOT \"Notes\" <> ?) AND \"Notes\" IS NOT NULL");
    EXPECT_TRUE(parseFilter("  ", kFields).condition.isEmpty());
    EXPECT_THROW(filterExpression({{"Notes", "CONTAINS", "x"}}), ReportError);
}

TEST(ReportFilter, BadExpressionsAreRefusedWithWhatAndWhere) {
    EXPECT_EQ(parseError("Colour = 'red'", kFields),
              "Error: the report has no field \"Colour\" (character 1 of the filter)");
    EXPECT_EQ(parseError("Notes = 'red", kFields),
              "Error: the filter's text starting at character 9 is not closed with a quote");
    EXPECT_EQ(parseError("Notes =", kFields),
              "Error: the filter needs a value (a number, or text in single quotes) at character "
              "8, where it ends");
    EXPECT_EQ(parseError("Notes = 'a' Length = 1", kFields),
              "Error: the filter has \"Length\" at character 13 where AND, OR or its end was "
              "expected");
    EXPECT_EQ(parseError("Notes = Length", kFields),
              "Error: the filter needs a value (a number, or text in single quotes) at character "
              "9 (found \"Length\")");
    EXPECT_EQ(parseError("(Notes = 'a'", kFields),
              "Error: the filter needs a closing bracket at character 13, where it ends");
    EXPECT_EQ(parseError("Notes ; drop table x", kFields),
              "Error: the filter cannot be read at character 7 (\";\")");
    EXPECT_EQ(parseError("Notes IS 'a'", kFields),
              "Error: the filter needs NULL at character 10 (found \"a\")");
}

namespace {

// A project database with three cables, and a layout listing them.
struct CableReport {
    db::Connections registry;
    test::TestDatabases dbs;
    QTemporaryDir dir;
    explicit CableReport(db::Engine engine = db::Engine::SQLite) : dbs(engine) {
        if (!dbs.available()) return;
        dbs.makeEmpty(db::DbId::Project, registry);
        db::ensureSchema(db::DbId::Project, registry);
        test::addThreeCables(registry);
    }
    static ReportLayout layout(int detailHeight = 300) {
        ReportLayout l;
        l.data =
            DataControl{QStringLiteral("DC1"), QStringLiteral("PROJECT_SPECIFIC"),
                        QStringLiteral("select CableNO, Length from tblCables order by CableNO")};
        l.detail.height = detailHeight;
        l.detail.controls << Control{.kind = ControlKind::Field,
                                     .rect = QRect(0, 0, 2000, 300),
                                     .text = QStringLiteral("CableNO")};
        return l;
    }
    QString file(const QString& name, const ReportLayout& l = layout()) {
        const QString path = dir.filePath(name);
        writeRpx(path, l);
        return path;
    }
    ReportFolders folders() { return {dir.path(), dir.path()}; }
};

QStringList cableNumbers(RecordSource& rows) {
    QStringList out;
    rows.start();
    while (rows.next()) out << rows.value(0).toString();
    return out;
}

}  // namespace

class ReportDocumentOnEngine : public ::testing::TestWithParam<db::Engine> {};

TEST_P(ReportDocumentOnEngine, FilterNarrowsTheRowsAndABadOneLeavesTheOldFilter) {
    CableReport r(GetParam());
    if (!r.dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
    test::ScriptedUser user("");
    ReportDocument doc(*user.ui, r.registry, r.folders());
    doc.load(r.file("cables.rpx"));
    EXPECT_EQ(doc.binding(), db::DbId::Project);
    EXPECT_EQ(doc.fields().join(',').toLower(), "cableno,length");
    doc.setFilter("CableNO LIKE 'A%' AND Length > 12");
    EXPECT_EQ(cableNumbers(*doc.rows()), QStringList{"A2"});
    EXPECT_THROW(doc.setFilter("Colour = 'red'"), ReportError);
    EXPECT_EQ(doc.filter(), "CableNO LIKE 'A%' AND Length > 12");
    EXPECT_EQ(cableNumbers(*doc.rows()), QStringList{"A2"});
    doc.clearFilter();
    EXPECT_EQ(cableNumbers(*doc.rows()), (QStringList{"A1", "A2", "B1"}));
}

INSTANTIATE_TEST_SUITE_P(Engines, ReportDocumentOnEngine, test::bothEngines(), test::engineName);

TEST(ReportDocument, SavingANewOrVanishedFileAsksAndTheCloseQuestionComesOnlyWithChanges) {
    CableReport r;
    const QString chosen = r.dir.filePath("list");
    test::ScriptedUser user(QStringLiteral("file %1\nbutton Cancel\nbutton No\n").arg(chosen));
    ReportDocument doc(*user.ui, r.registry, r.folders());
    EXPECT_EQ(doc.title(), "Report1");
    EXPECT_TRUE(doc.mayClose());  // nothing changed: nothing asked
    doc.layout().edit("Height", [](ReportLayout& l) { l.detail.height = 500; });
    EXPECT_EQ(doc.title(), "Report1*");
    ASSERT_TRUE(doc.save());  // a new document always asks for its file
    EXPECT_EQ(doc.path(), QFileInfo(chosen + ".RPX").absoluteFilePath());
    EXPECT_EQ(doc.title(), "list.RPX");
    EXPECT_EQ(readRpx(doc.path()).detail.height, 500);
    doc.layout().edit("Height", [](ReportLayout& l) { l.detail.height = 700; });
    EXPECT_FALSE(doc.mayClose());  // Cancel keeps it open
    EXPECT_TRUE(doc.mayClose());   // No discards
    EXPECT_EQ(readRpx(doc.path()).detail.height, 500);
    EXPECT_EQ(user.lines().filter("MESSAGE").join('\n'),
              "MESSAGE [Yes/No/Cancel] Tolvane | Save changes to report layout list.RPX?\n"
              "MESSAGE [Yes/No/Cancel] Tolvane | Save changes to report layout list.RPX?");
    EXPECT_TRUE(
        user.lines().first().startsWith("FILE Save Report As: | Tolvane Report Files "
                                        "(*.RPX) | Report1.RPX"))
        << user.lines().first().toStdString();

    // A file that is there is written without a question; one deleted meanwhile asks again.
    test::ScriptedUser again(QStringLiteral("cancel\n"));
    ReportDocument opened(*again.ui, r.registry, r.folders());
    opened.load(doc.path());
    opened.layout().edit("Height", [](ReportLayout& l) { l.detail.height = 900; });
    ASSERT_TRUE(opened.save());
    EXPECT_EQ(readRpx(doc.path()).detail.height, 900);
    EXPECT_FALSE(opened.isModified());
    QFile::remove(doc.path());
    opened.layout().edit("Height", [](ReportLayout& l) { l.detail.height = 1000; });
    EXPECT_FALSE(opened.save());  // asked, and cancelled
    EXPECT_FALSE(QFile::exists(doc.path()));
    EXPECT_TRUE(again.lines().filter("FILE").value(0).startsWith("FILE Save Report As:"));
}

namespace {

// A scripted user who also notes the folder each file-save dialog starts in.
struct FolderNotingUi : ScriptUi {
    using ScriptUi::ScriptUi;
    QStringList folders;
    std::optional<QString> saveFile(const FileDialogOptions& o) override {
        folders << o.folder;
        return ScriptUi::saveFile(o);
    }
};

}  // namespace

// An export says where it wrote, on the status bar and in a message whose buttons open the file
// or its folder; the report's next export starts in that folder (kept in the settings, per
// report, also for a document opened again), another report's in the project folder. A save
// says where it wrote on the status bar.
TEST(ReportDocument, ExportsSayWhereTheyWroteAndTheNextStartsThere) {
    CableReport r;
    QTemporaryDir elsewhere, config;
    SettingsStore settings(config.filePath("Tolvane.ini"));
    ReportFolders folders = r.folders();
    folders.settings = &settings;
    const QString pdf = elsewhere.filePath("cables.pdf");
    QString transcript;
    QTextStream out(&transcript);
    FolderNotingUi ui(
        parseScript(QStringLiteral("file %1\nbutton OpenFile\nfile %2\nbutton "
                                   "OpenFolder\nfile %3\nbutton OK\n")
                        .arg(pdf, elsewhere.filePath("cables.txt"), r.dir.filePath("other.txt"))),
        out);
    const QString cables = r.file("cables.rpx");
    {
        ReportDocument doc(ui, r.registry, folders);
        doc.load(cables);
        ASSERT_TRUE(doc.exportTo(ExportFormat::Pdf));
        ASSERT_TRUE(doc.exportTo(ExportFormat::Text));
    }
    ReportDocument again(ui, r.registry, folders);
    again.load(cables);
    EXPECT_EQ(again.exportFolder(), elsewhere.path());
    ReportDocument other(ui, r.registry, folders);
    other.load(r.file("other.rpx"));
    ASSERT_TRUE(other.exportTo(ExportFormat::Text));
    EXPECT_EQ(ui.folders, (QStringList{r.dir.path(), elsewhere.path(), r.dir.path()}));
    EXPECT_TRUE(QFile::exists(pdf));
    // The status and the message after each export: report_window.scr.
    const QStringList lines = transcript.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.filter(QRegularExpression("^OPEN ")),
              (QStringList{"OPEN " + pdf, "OPEN " + elsewhere.path()}));
    // A folder since removed is not offered.
    QDir(elsewhere.path()).removeRecursively();
    EXPECT_EQ(again.exportFolder(), r.dir.path());

    // Saving names its file on the status bar.
    QString saved;
    QTextStream savedOut(&saved);
    ScriptUi saving(parseScript(QString()), savedOut);
    ReportDocument doc(saving, r.registry, folders);
    doc.load(cables);
    doc.layout().edit("Height", [](ReportLayout& l) { l.detail.height = 500; });
    ASSERT_TRUE(doc.save());
    EXPECT_TRUE(saved.contains("STATUS Report saved to " + cables)) << saved.toStdString();
}

TEST(ReportPreview, PagesAreRenderedOnDemandAroundThePageAsked) {
    QList<QVariantList> rows;
    for (int i = 1; i <= 100; ++i) rows << QVariantList{QStringLiteral("C%1").arg(i)};
    ReportLayout l = CableReport::layout();
    l.page = PageSetup{12240, 5040, false, 720, 720, 720, 720};  // 3600 twips: 12 rows a page
    PagePreview preview(
        l, [&] { return std::make_unique<TableRecordSource>(QStringList{"CableNO"}, rows); });
    EXPECT_EQ(preview.pageCount(), 9);
    EXPECT_EQ(preview.runs(), 1);
    const auto firstText = [](const RenderedPage& p) {
        return p.bands.value(0).items.value(0).text;
    };
    EXPECT_EQ(firstText(preview.page(1)), "C1");
    EXPECT_EQ(firstText(preview.page(8)), "C85");
    EXPECT_EQ(preview.runs(), 1);  // the first run kept pages 1 to 8
    EXPECT_EQ(firstText(preview.page(9)), "C97");
    EXPECT_EQ(preview.runs(), 2);
    EXPECT_EQ(firstText(preview.page(7)), "C73");
    EXPECT_EQ(preview.runs(), 2);           // 9 brought its neighbours
    EXPECT_EQ(preview.page(50).number, 9);  // past the end: the last page
}

// A counting run cancelled half-way keeps the pages it reached, says the count is short, and the
// pages it counted can still be shown; cancelled before its first page (while the columns are
// measured), there is no preview.
TEST(ReportPreview, CancelledCountKeepsThePagesReached) {
    QList<QVariantList> rows;
    for (int i = 1; i <= 3000; ++i) rows << QVariantList{QStringLiteral("C%1").arg(i)};
    ReportLayout l = CableReport::layout();
    l.page = PageSetup{12240, 5040, false, 720, 720, 720, 720};  // 12 rows a page: 250 pages
    l.detail.fitColumns = true;  // a first pass that measures, and prints no page
    const auto source = [&] {
        return std::make_unique<TableRecordSource>(QStringList{"CableNO"}, rows);
    };
    bool cancelOnce = true;
    RenderOptions options;
    options.progress = [&](qint64 read, qint64 total) {
        if (total == 0 || read < total - 1000 || !cancelOnce) return true;
        cancelOnce = false;
        return false;
    };
    PagePreview preview(l, source, options);
    EXPECT_FALSE(preview.counted());
    EXPECT_GT(preview.pageCount(), 100);
    EXPECT_LT(preview.pageCount(), 250);
    EXPECT_EQ(preview.page(1000).number, preview.pageCount());

    options.progress = [](qint64, qint64 total) { return total == 0; };
    EXPECT_THROW(PagePreview(l, source, options), RenderCancelled);
}
