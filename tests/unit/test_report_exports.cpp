// Report exports, each read back by a reader that is not ours: pdftotext for PDF, openpyxl for
// XLSX, tiffinfo for TIFF, and the text itself for HTML, RTF and TXT. A test whose reader is
// missing skips and says so. Every export is atomic: a failure leaves nothing behind.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "reports/report_error.h"
#include "reports/report_exports.h"
#include "reports/report_renderer.h"

using namespace tolvane::reports;

namespace {

ReportLayout cableList() {
    ReportLayout l;
    l.name = QStringLiteral("Cable List");
    l.reportHeader.height = 600;
    l.reportHeader.controls << Control{.kind = ControlKind::Label,
                                       .rect = QRect(0, 0, 10080, 500),
                                       .text = QStringLiteral("Cable List"),
                                       .font = {QStringLiteral("DejaVu Sans"), 18, true},
                                       .align = HAlign::Center};
    l.pageHeader.height = 300;
    l.pageHeader.controls << Control{.kind = ControlKind::Label,
                                     .rect = QRect(0, 0, 2000, 300),
                                     .text = QStringLiteral("Cable"),
                                     .font = {QStringLiteral("DejaVu Sans"), 10, true}}
                          << Control{.kind = ControlKind::Label,
                                     .rect = QRect(2000, 0, 2000, 300),
                                     .text = QStringLiteral("Signal"),
                                     .font = {QStringLiteral("DejaVu Sans"), 10, true}}
                          << Control{.kind = ControlKind::Line, .rect = QRect(0, 290, 10080, 0)};
    l.detail.height = 300;
    l.detail.controls << Control{.kind = ControlKind::Field,
                                 .rect = QRect(0, 0, 2000, 300),
                                 .text = QStringLiteral("CableNO")}
                      << Control{.kind = ControlKind::Field,
                                 .rect = QRect(2000, 0, 2000, 300),
                                 .text = QStringLiteral("SignalType")}
                      << Control{.kind = ControlKind::Field,
                                 .rect = QRect(4000, 0, 1000, 300),
                                 .text = QStringLiteral("Length"),
                                 .format = QStringLiteral("#,##0.00"),
                                 .align = HAlign::Right}
                      << Control{.kind = ControlKind::CheckBox,
                                 .rect = QRect(5200, 0, 300, 300),
                                 .text = QStringLiteral("MultiCore")};
    l.pageFooter.height = 300;
    l.pageFooter.controls << Control{.kind = ControlKind::PageNumber,
                                     .rect = QRect(0, 0, 10080, 300),
                                     .text = QStringLiteral("Page {page} of {pages}"),
                                     .align = HAlign::Center};
    return l;
}

// 100 rows: three pages of Letter.
TableRecordSource cableRows() {
    QList<QVariantList> rows;
    for (int i = 1; i <= 100; ++i)
        rows << QVariantList{QStringLiteral("C%1").arg(i),
                             i % 2 ? QStringLiteral("Audio") : QStringLiteral("Vidéo"),
                             1000.0 + i / 2.0, i % 3 == 0};
    return TableRecordSource({"CableNO", "SignalType", "Length", "MultiCore"}, rows);
}

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString readText(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

class ReportExport : public ::testing::Test {
  protected:
    QString exportTo(ExportFormat format) {
        const QString path = dir_.filePath(QStringLiteral("report.") + exportFormat(format).suffix);
        auto rows = cableRows();
        pages_ = exportReport(cableList(), rows, format, path);
        // No temporary file is left beside it.
        for (const QString& name : QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden))
            EXPECT_TRUE(QRegularExpression("^report\\.[a-z]+$").match(name).hasMatch())
                << name.toStdString();
        return path;
    }
    QTemporaryDir dir_;
    int pages_ = 0;
};

}  // namespace

TEST_F(ReportExport, PdfTextIsSelectable) {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    const QString text = run("pdftotext", {"-layout", exportTo(ExportFormat::Pdf), "-"});
    ASSERT_EQ(pages_, 3);
    EXPECT_EQ(text.count(QLatin1Char('\f')), 3);
    EXPECT_TRUE(text.contains("Cable List"));
    EXPECT_TRUE(text.contains("Page 3 of 3"));
    EXPECT_TRUE(text.contains(QRegularExpression("C1 +Audio +1,000.50")));
    EXPECT_TRUE(text.contains(QRegularExpression("C100 +Vidéo +1,050.00")));
}

TEST_F(ReportExport, XlsxHasOneRowPerDetailWithNumbersAsNumbers) {
    if (run("/usr/bin/python3", {"-c", "import openpyxl; print('ok')"}).trimmed() != "ok")
        GTEST_SKIP() << "openpyxl (python3-openpyxl) is not installed";
    const QString path = exportTo(ExportFormat::Excel);
    const QString out =
        run("/usr/bin/python3", {"-c",
                                 "import openpyxl, sys\n"
                                 "ws = openpyxl.load_workbook(sys.argv[1]).active\n"
                                 "print(ws.title, ws.max_row, ws.max_column)\n"
                                 "for r in (1, 2, 4, 101): print(repr([c.value for c in ws[r]]))\n",
                                 path});
    EXPECT_EQ(out.toStdString(),
              "Cable List 101 4\n"
              "['CableNO', 'SignalType', 'Length', 'MultiCore']\n"
              "['C1', 'Audio', 1000.5, False]\n"
              "['C3', 'Audio', 1001.5, True]\n"
              "['C100', 'Vidéo', 1050, False]\n");
}

// Read back by Python's csv module: a header of the field names, a row per detail, numbers
// as the database gives them, check boxes as TRUE/FALSE, and text with commas, quotes and
// line breaks quoted so that each value comes back whole.
TEST_F(ReportExport, CsvIsOneQuotedRowPerDetail) {
    const QString path = exportTo(ExportFormat::Csv);
    const QString text = readText(path);
    EXPECT_TRUE(text.startsWith("CableNO,SignalType,Length,MultiCore\r\nC1,Audio,1000.5,FALSE\r\n"))
        << text.left(200).toStdString();
    EXPECT_TRUE(text.endsWith("C100,Vidéo,1050,FALSE\r\n"));

    QList<QVariantList> awkward{{QStringLiteral("A,1"), QStringLiteral("say \"hi\""), 2.25, true},
                                {QStringLiteral("two\nlines"), QString(), QVariant(), false}};
    TableRecordSource rows({"CableNO", "SignalType", "Length", "MultiCore"}, awkward);
    const QString quoted = dir_.filePath("quoted.csv");
    exportReport(cableList(), rows, ExportFormat::Csv, quoted);
    const QString out = run("/usr/bin/python3",
                            {"-c",
                             "import csv, sys\n"
                             "for r in csv.reader(open(sys.argv[1], newline='', encoding='utf-8')):"
                             " print(repr(r))\n",
                             quoted});
    EXPECT_EQ(out.toStdString(),
              "['CableNO', 'SignalType', 'Length', 'MultiCore']\n"
              "['A,1', 'say \"hi\"', '2.25', 'TRUE']\n"
              "['two\\nlines', '', '', 'FALSE']\n");
}

TEST_F(ReportExport, TiffHasOnePagePerFrame) {
    if (QStandardPaths::findExecutable("tiffinfo").isEmpty())
        GTEST_SKIP() << "tiffinfo (libtiff-tools) is not installed";
    const QString info = run("tiffinfo", {exportTo(ExportFormat::Tiff)});
    EXPECT_EQ(info.count("TIFF Directory at offset"), 3);
    EXPECT_EQ(info.count("Image Width: 1700 Image Length: 2200"), 3);
    EXPECT_TRUE(info.contains("Page Number: 2-3"));
}

TEST_F(ReportExport, HtmlRtfAndTextCarryTheReport) {
    const QString html = readText(exportTo(ExportFormat::Html));
    EXPECT_EQ(html.count("<div class=\"page\""), 3);
    EXPECT_TRUE(html.contains(">Page 2 of 3</div>"));
    EXPECT_TRUE(html.contains(">Vidéo</div>"));
    EXPECT_TRUE(html.contains("<title>Cable List</title>"));

    const QString rtf = readText(exportTo(ExportFormat::Rtf));
    EXPECT_TRUE(rtf.startsWith("{\\rtf1"));
    EXPECT_EQ(rtf.count("\\page\n"), 2);
    EXPECT_TRUE(rtf.contains(" Vid\\u233?o}\\cell"));
    EXPECT_TRUE(rtf.contains(" 1,000.50}\\cell"));

    const QString text = readText(exportTo(ExportFormat::Text));
    EXPECT_EQ(text.count(QLatin1Char('\f')), 2);
    const QStringList lines = text.split(QLatin1Char('\n'));
    // Columns line up: the lengths are right-aligned at one column on every line.
    int detailLines = 0, end = -1;
    for (const QString& line : lines) {
        const auto m =
            QRegularExpression("^C\\d+ +(Audio|Vidéo) +(1,0\\d\\d\\.\\d\\d) +\\[[ X]\\]$")
                .match(line);
        if (!m.hasMatch()) continue;
        ++detailLines;
        if (end < 0) end = int(m.capturedEnd(2));
        EXPECT_EQ(m.capturedEnd(2), end) << line.toStdString();
    }
    EXPECT_EQ(detailLines, 100) << text.left(800).toStdString();
    EXPECT_TRUE(text.contains("Page 3 of 3"));
}

// Every format, whether written through a device or by a library through a temporary
// file, gets the permissions of a file written anew, and an existing file keeps its own.
TEST_F(ReportExport, ExportsGetTheUsualFilePermissions) {
    QFile plain(dir_.filePath("plain.txt"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    // The owner's, group's and others' permissions (without the reader's own view of them).
    auto mode = [](const QString& path) {
        return QFileInfo(path).permissions() &
               ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    };
    const QFile::Permissions usual = mode(plain.fileName());
    const QFile::Permissions narrow = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    for (const ExportFormatInfo& f : exportFormats()) {
        SCOPED_TRACE(f.suffix.toStdString());
        auto rows = cableRows();
        const QString fresh = dir_.filePath("fresh." + f.suffix);
        exportReport(cableList(), rows, f.format, fresh);
        EXPECT_EQ(mode(fresh), usual);
        const QString kept = dir_.filePath("kept." + f.suffix);
        QFile old(kept);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.close();
        ASSERT_TRUE(QFile::setPermissions(kept, narrow));
        auto again = cableRows();
        exportReport(cableList(), again, f.format, kept);
        EXPECT_EQ(mode(kept), narrow);
    }
}

TEST_F(ReportExport, FailuresLeaveNothingHalfWritten) {
    const QString target = dir_.filePath("old.pdf");
    QFile old(target);
    old.open(QIODevice::WriteOnly);
    old.write("old");
    old.close();
    // A query that fails after the file was opened: the old file stays, no temporary remains.
    struct Failing : RecordSource {
        void start() override {
            throw ReportError("the report's query cannot be run. no such table");
        }
        bool next() override { return false; }
        QVariant value(int) const override { return {}; }
        QStringList fields() const override { return {}; }
    } failing;
    for (const ExportFormatInfo& f : exportFormats()) {
        const QString path = dir_.filePath("old." + f.suffix);
        if (f.format != ExportFormat::Pdf) QFile::copy(target, path);
        EXPECT_THROW(exportReport(cableList(), failing, f.format, path), ReportError)
            << f.suffix.toStdString();
        EXPECT_EQ(readText(path), "old") << f.suffix.toStdString();
        // A folder that does not exist, and a folder in the way of the file.
        auto rows = cableRows();
        for (const QString& bad : {dir_.filePath("missing/report." + f.suffix), dir_.path()}) {
            try {
                exportReport(cableList(), rows, f.format, bad);
                ADD_FAILURE() << bad.toStdString();
            } catch (const ReportError& e) {
                EXPECT_TRUE(
                    e.message().startsWith("Error: the report cannot be exported to " + bad + ": "))
                    << e.message().toStdString();
            }
        }
    }
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).size(),
              exportFormats().size());
}

// A long run tells its progress over every pass against a known total, ends the display however
// it ends, and a cancel leaves the file as it was, as a failure does.
TEST_F(ReportExport, LongRunsTellProgressAndCancelLeavesTheOldFile) {
    QList<QVariantList> many;
    for (int i = 1; i <= 5000; ++i)
        many << QVariantList{QStringLiteral("C%1").arg(i), "Audio", 1.0, false};
    TableRecordSource rows({"CableNO", "SignalType", "Length", "MultiCore"}, many);
    QList<std::pair<qint64, qint64>> told;
    RenderOptions options;
    options.progress = [&](qint64 read, qint64 total) {
        told << std::pair{read, total};
        return true;
    };
    const QString path = dir_.filePath("long.pdf");
    exportReport(cableList(), rows, ExportFormat::Pdf, path, options);
    // The page count makes it two passes over 5000 rows: 1000, 2000, ... 10000, then the end.
    ASSERT_EQ(told.size(), 11);
    EXPECT_EQ(told.first(), (std::pair<qint64, qint64>(1000, 10000)));
    EXPECT_EQ(told[9], (std::pair<qint64, qint64>(10000, 10000)));
    EXPECT_EQ(told.last().second, 0);

    QFile old(path);
    old.open(QIODevice::WriteOnly);
    old.write("old");
    old.close();
    told.clear();
    options.progress = [&](qint64 read, qint64 total) {
        told << std::pair{read, total};
        return read < 7000;  // on the second pass, after pages were written
    };
    EXPECT_THROW(exportReport(cableList(), rows, ExportFormat::Pdf, path, options),
                 RenderCancelled);
    EXPECT_EQ(readText(path), "old");
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    EXPECT_EQ(told.last().second, 0);  // the display was ended
}

namespace {

// The content of each page of a PDF, inflated: what the page draws, without the file's dates.
QList<QByteArray> pageContents(const QByteArray& pdf) {
    QList<QByteArray> pages;
    for (qsizetype at = pdf.indexOf("stream\n"); at >= 0; at = pdf.indexOf("stream\n", at)) {
        at += 7;
        const qsizetype end = pdf.indexOf("endstream", at);
        // qUncompress takes the zlib data after a size to start from.
        const QByteArray inflated =
            qUncompress(QByteArray("\0\0\x10\0", 4) + pdf.mid(at, end - at));
        if (inflated.contains(" Tf ")) pages << inflated;
        at = end + 9;  // past "endstream"
    }
    return pages;
}

QByteArray pdfOf(const ReportLayout& layout, RecordSource& rows, bool aside) {
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&out);
        writer.setResolution(1200);
        PagedDeviceSink sink(writer, aside);
        renderReport(layout, rows, sink);
    }
    return out.data();
}

}  // namespace

// Pages painted on a thread of their own while the next are laid out are the pages painted in
// turn: all of them, in their order, each drawn the same.
TEST(ReportPaintedAside, GivesThePagesPaintedInTurn) {
    QList<QVariantList> many;
    for (int i = 1; i <= 2000; ++i)
        many << QVariantList{QStringLiteral("C%1").arg(i), i % 7 ? "Audio" : "Video", i / 4.0,
                             i % 3 == 0};
    TableRecordSource rows({"CableNO", "SignalType", "Length", "MultiCore"}, many);
    const QList<QByteArray> inTurn = pageContents(pdfOf(cableList(), rows, false));
    const QList<QByteArray> aside = pageContents(pdfOf(cableList(), rows, true));
    ASSERT_GT(inTurn.size(), 40);
    ASSERT_EQ(aside.size(), inTurn.size());
    for (int i = 0; i < inTurn.size(); ++i) EXPECT_TRUE(aside[i] == inTurn[i]) << "page " << i + 1;
}
