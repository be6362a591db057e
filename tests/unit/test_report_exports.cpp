// Report exports, each read back by a reader that is not ours: pdftotext for PDF, openpyxl for
// XLSX, tiffinfo for TIFF, and the text itself for HTML, RTF and TXT. A test whose reader is
// missing skips and says so. Every export is atomic: a failure leaves nothing behind.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "reports/report_error.h"
#include "reports/report_exports.h"
#include "reports/report_pdf.h"
#include "reports/report_renderer.h"

using namespace tolvane::reports;

namespace {

Control control(ControlKind kind, QRect rect, const QString& text = {}, ReportFont font = {}) {
    return Control{.kind = kind, .rect = rect, .text = text, .font = font};
}

ReportLayout cableList() {
    ReportLayout l;
    l.name = QStringLiteral("Cable List");
    l.reportHeader.height = 600;
    l.reportHeader.controls << control(ControlKind::Label, QRect(0, 0, 10080, 500), "Cable List",
                                       {"DejaVu Sans", 18, true});
    l.reportHeader.controls[0].align = HAlign::Center;
    l.pageHeader.height = 300;
    const ReportFont heading{"DejaVu Sans", 10, true};
    l.pageHeader.controls << control(ControlKind::Label, QRect(0, 0, 2000, 300), "Cable", heading)
                          << control(ControlKind::Label, QRect(2000, 0, 2000, 300), "Signal",
                                     heading)
                          << control(ControlKind::Line, QRect(0, 290, 10080, 0));
    l.detail.height = 300;
    Control length = control(ControlKind::Field, QRect(4000, 0, 1000, 300), "Length");
    length.format = QStringLiteral("#,##0.00");
    length.align = HAlign::Right;
    l.detail.controls << control(ControlKind::Field, QRect(0, 0, 2000, 300), "CableNO")
                      << control(ControlKind::Field, QRect(2000, 0, 2000, 300), "SignalType")
                      << length
                      << control(ControlKind::CheckBox, QRect(5200, 0, 300, 300), "MultiCore");
    l.pageFooter.height = 300;
    l.pageFooter.controls << control(ControlKind::PageNumber, QRect(0, 0, 10080, 300),
                                     "Page {page} of {pages}");
    l.pageFooter.controls[0].align = HAlign::Center;
    return l;
}

// n cables, C1 to Cn; the 100 of the exports make three pages of Letter.
TableRecordSource cableRows(int n = 100) {
    QList<QVariantList> rows;
    for (int i = 1; i <= n; ++i)
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

void writeText(const QString& path, const QByteArray& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

bool missing(const char* program) {
    return QStandardPaths::findExecutable(program).isEmpty();
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
    if (missing("pdftotext")) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
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
    if (missing("tiffinfo")) GTEST_SKIP() << "tiffinfo (libtiff-tools) is not installed";
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
    writeText(dir_.filePath("plain.txt"), {});
    // The owner's, group's and others' permissions (without the reader's own view of them).
    auto mode = [](const QString& path) {
        return QFileInfo(path).permissions() &
               ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    };
    const QFile::Permissions usual = mode(dir_.filePath("plain.txt"));
    const QFile::Permissions narrow = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    for (const ExportFormatInfo& f : exportFormats()) {
        SCOPED_TRACE(f.suffix.toStdString());
        auto rows = cableRows();
        const QString fresh = dir_.filePath("fresh." + f.suffix);
        exportReport(cableList(), rows, f.format, fresh);
        EXPECT_EQ(mode(fresh), usual);
        const QString kept = dir_.filePath("kept." + f.suffix);
        writeText(kept, {});
        ASSERT_TRUE(QFile::setPermissions(kept, narrow));
        auto again = cableRows();
        exportReport(cableList(), again, f.format, kept);
        EXPECT_EQ(mode(kept), narrow);
    }
}

TEST_F(ReportExport, FailuresLeaveNothingHalfWritten) {
    const QString target = dir_.filePath("old.pdf");
    writeText(target, "old");
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
    auto rows = cableRows(5000);
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

    writeText(path, "old");
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

// The PDF writer as an export uses it, over a buffer.
class PdfBufferSink : public PageSink {
  public:
    PdfBufferSink(QBuffer& out, int threads) : writer_(out, threads) {}
    void begin(const ReportLayout& layout) override { writer_.begin(layout.name, layout.page); }
    void page(const RenderedPage& page) override { writer_.page(page); }
    void finish() override { EXPECT_TRUE(writer_.finish()); }

  private:
    PdfPageWriter writer_;
};

QByteArray pdfOf(const ReportLayout& layout, RecordSource& rows, int threads) {
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    PdfBufferSink sink(out, threads);
    renderReport(layout, rows, sink);
    return out.data();
}

// A page of every kind of control the PDF draws, the texts of which are listed in `texts`.
ReportLayout everyControl(QStringList& texts) {
    ReportLayout l;
    l.name = QStringLiteral("Every control");
    l.reportHeader.height = 3400;
    l.reportHeader.backColor = QColor(0xe0, 0xf0, 0xff);
    const ReportFont body{QStringLiteral("DejaVu Sans"), 10};
    QImage picture(40, 30, QImage::Format_ARGB32);
    // Grey, as two readers may give a colour different greys; its top half is transparent.
    picture.fill(QColor(80, 80, 80));
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 40; ++x) picture.setPixelColor(x, y, QColor(0, 0, 0, 0));
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    picture.save(&png, "PNG");
    auto& c = l.reportHeader.controls;
    c << control(ControlKind::Label, QRect(0, 0, 5000, 400), "Office affine fluffy",
                 {"DejaVu Sans", 14, true})
      << control(ControlKind::Label, QRect(5200, 0, 4800, 400), "Ωμέγα Щука Łódź",
                 {"DejaVu Serif", 12, false, true})
      // Too long for its box: clipped, drawn as the painter draws any text.
      << control(ControlKind::Label, QRect(0, 500, 1200, 300), "Clipped beyond its box", body)
      << control(ControlKind::Label, QRect(2000, 500, 3000, 1000),
                 "A label that wraps over three lines of its box", body)
      << control(ControlKind::RichText, QRect(5200, 500, 4800, 800),
                 "<p>Rich <b>bold</b> and <i>italic</i></p>", body)
      << control(ControlKind::Frame, QRect(0, 1800, 4800, 1200), "Framed", body)
      << control(ControlKind::Line, QRect(0, 3200, 10000, 0))
      << control(ControlKind::Rectangle, QRect(5200, 1800, 2000, 1200));
    c[3].canGrow = true;
    c[6].lineWidth = 40;
    c[6].lineStyle = LineStyle::Dash;
    c[7].foreColor = QColor(0, 0, 160);
    c[7].backColor = QColor(255, 220, 120);
    c[7].lineWidth = 30;
    l.detail.height = 1400;
    auto& d = l.detail.controls;
    d << control(ControlKind::CheckBox, QRect(7400, 0, 300, 300), "MultiCore")
      << control(ControlKind::Picture, QRect(0, 0, 2400, 1300))
      << control(ControlKind::Barcode, QRect(3000, 0, 4000, 1200), "CableNO")
      << control(ControlKind::Field, QRect(7400, 400, 2600, 400), "CableNO", body);
    d[1].image = png.data();
    d[3].align = HAlign::Right;
    texts << QStringList{"Office affine fluffy", "Ωμέγα Щука Łódź",      "Clipped", "wraps over",
                         "lines of its box",     "Rich bold and italic", "Framed",  "C-0042"};
    return l;
}

TableRecordSource oneCable() {
    return TableRecordSource({"CableNO", "MultiCore"}, {{QStringLiteral("C-0042"), true}});
}

}  // namespace

// Pages painted by a pool of threads are written in their order, each as it would be painted
// alone: the file is the same byte for byte for any number of threads.
TEST(ReportPdf, TheFileIsTheSameWhateverTheThreads) {
    auto rows = cableRows(2000);
    const QByteArray inTurn = pdfOf(cableList(), rows, 0);
    ASSERT_GT(inTurn.count("/Type /Page "), 40);
    EXPECT_TRUE(pdfOf(cableList(), rows, 1) == inTurn);
    EXPECT_TRUE(pdfOf(cableList(), rows, 3) == inTurn);
    QStringList texts;
    auto one = oneCable();
    const QByteArray every = pdfOf(everyControl(texts), one, 0);
    one.start();
    EXPECT_TRUE(pdfOf(everyControl(texts), one, 2) == every);
}

// Every text is extractable, whichever way it was drawn (from its glyphs, clipped, wrapped, rich
// text, a caption), in fonts embedded as subsets with their Unicode.
TEST_F(ReportExport, PdfTextsOfEveryKindAreExtractable) {
    if (missing("pdftotext") || missing("pdffonts"))
        GTEST_SKIP() << "pdftotext and pdffonts (poppler-utils) are not installed";
    QStringList texts;
    const ReportLayout layout = everyControl(texts);
    const QString path = dir_.filePath(QStringLiteral("every.pdf"));
    auto rows = oneCable();
    ASSERT_EQ(exportReport(layout, rows, ExportFormat::Pdf, path), 1);
    const QString text = run("pdftotext", {path, "-"}).simplified();
    for (const QString& t : texts)
        EXPECT_TRUE(text.contains(t)) << t.toStdString() << " in " << text.toStdString();
    const QStringList fonts = run("pdffonts", {path}).split('\n', Qt::SkipEmptyParts).mid(2);
    EXPECT_GE(fonts.size(), 4);  // sans, sans bold, serif italic and what the rich text uses
    for (const QString& f : fonts)
        EXPECT_TRUE(f.contains(
            QRegularExpression("^[A-Z]{6}\\+\\S+ +CID TrueType +Identity-H +yes yes yes")))
            << f.toStdString();
}

// What the PDF draws is what the preview draws: the page rasterized by a reader that is not ours
// against the page painted into an image, region by region.
TEST(ReportPdf, PagesLookAsThePreviewPaintsThem) {
    if (missing("pdftoppm")) GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
    QTemporaryDir dir;
    QStringList texts;
    const ReportLayout layout = everyControl(texts);
    auto rows = oneCable();
    writeText(dir.filePath("page.pdf"), pdfOf(layout, rows, 0));
    run("pdftoppm", {"-r", "72", "-gray", "-f", "1", "-l", "1", "-singlefile",
                     dir.filePath("page.pdf"), dir.filePath("page")});
    const QImage pdf = QImage(dir.filePath("page.pgm")).convertToFormat(QImage::Format_Grayscale8);
    ASSERT_FALSE(pdf.isNull());
    QImage preview;
    rows.start();
    PageImageSink sink(72, [&](const RenderedPage& page, const QImage& image) {
        if (page.number == 1) preview = image.convertToFormat(QImage::Format_Grayscale8);
    });
    renderReport(layout, rows, sink);
    ASSERT_EQ(pdf.size(), preview.size());
    // Regions of 12 points: the text's anti-aliasing differs between the two, nothing else.
    const QSize blocks = pdf.size() / 12;
    const QImage a = pdf.scaled(blocks, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage b = preview.scaled(blocks, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    int worst = 0;
    for (int y = 0; y < blocks.height(); ++y)
        for (int x = 0; x < blocks.width(); ++x)
            worst =
                std::max(worst, std::abs(a.pixelColor(x, y).value() - b.pixelColor(x, y).value()));
    EXPECT_LT(worst, 24);
}

namespace {

// A device that takes the first `room` bytes and refuses the rest, as a full disk does.
class FullDevice : public QIODevice {
  public:
    explicit FullDevice(qint64 room) : room_(room) { open(QIODevice::WriteOnly); }

  protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 size) override {
        if (size > room_) return -1;
        room_ -= size;
        return size;
    }

  private:
    qint64 room_;
};

}  // namespace

// A file the device stops taking part way is a failure, told at the end, whether the pages
// were painted in turn or by the pool; and a landscape layout gives pages of its paper turned.
TEST(ReportPdf, FailedWritesAndTurnedPaper) {
    auto rows = cableRows(300);
    // The pages point into the layout until the writer has finished with them.
    const ReportLayout layout = cableList();
    for (const int threads : {0, 2}) {
        FullDevice device(20000);
        PdfPageWriter writer(device, threads);
        writer.begin(QStringLiteral("Full"), PageSetup{});
        struct Sink : PageSink {
            PdfPageWriter& w;
            explicit Sink(PdfPageWriter& writer) : w(writer) {}
            void page(const RenderedPage& page) override { w.page(page); }
        } sink(writer);
        renderReport(layout, rows, sink);
        EXPECT_FALSE(writer.finish()) << threads << " threads";
    }

    if (missing("pdfinfo")) GTEST_SKIP() << "pdfinfo (poppler-utils) is not installed";

    ReportLayout turned = cableList();
    turned.page.landscape = true;
    QTemporaryDir dir;
    const QString path = dir.filePath("turned.pdf");
    rows.start();
    const int pages = exportReport(turned, rows, ExportFormat::Pdf, path);
    const QString info = run("pdfinfo", {path});
    EXPECT_TRUE(info.contains(QRegularExpression("Page size: +792 x 612 pts")))
        << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages: +%1\\n").arg(pages))));
    EXPECT_TRUE(
        run("pdftotext", {"-layout", path, "-"}).contains(QRegularExpression("C300 +Vidéo")));
}
