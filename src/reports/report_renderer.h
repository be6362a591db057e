// The report renderer: runs a layout over its rows and cuts the result into pages, one page at
// a time, handing each to a page sink and forgetting it. The sink decides what a page becomes:
// an image for the preview, a page of a PDF or of a printer, a part of an HTML, RTF, text,
// TIFF or spreadsheet file. One pagination therefore serves every output.
//
// Pagination: the report header starts the first page; the page header tops and the page
// footer ends every page; a group header prints before each run of equal values of its field
// and its footer after the run. A band that does not fit on what is left of a page goes to the
// next one, and a group header goes with the first band it introduces, so it never stands
// alone at the foot of a page. A band taller than a page on its own is split between pages,
// never through a control that would fit on a page; a control taller than a page is clipped.
// When the layout shows the page count, the renderer makes a first pass that only counts.
// A subreport control lays its child's sections for the row into its rectangle, growing it and
// its section (subreports.h); the grown section paginates like any other.
#pragma once

#include <QDateTime>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QList>
#include <QLocale>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

#include "reports/record_source.h"
#include "reports/report_layout.h"

class QGlyphRun;
class QPainter;
class QPagedPaintDevice;
class QTextDocument;

namespace tolvane::reports {

struct BarcodeSymbol;
class Subreports;

// One control as it prints: its place on the page (twips from the paper's top left corner),
// its text, and for bound fields the value the text shows.
struct RenderedItem {
    const Control* control = nullptr;
    QRect rect{};
    QString text{};
    QVariant value{};
    bool checked = false;
    // The text wraps within the rectangle: a field that may grow, or one whose column is
    // narrower than its values (column_fit.h).
    bool wrap = false;
    // Which row of a spreadsheet the item belongs to within its band: 0 the band's own, n > 0
    // the n-th detail row of the subreports printed in it, -1 a subreport's other sections.
    int subrow = 0;
};

// One section (or the part of it that fits) on a page.
struct RenderedBand {
    SectionKind kind = SectionKind::Detail;
    int group = -1;
    QRect rect{};  // where the band prints; its items are clipped to it
    QColor backColor{};
    bool continued = false;  // the rest of a band split at the foot of the previous page
    QList<RenderedItem> items{};
};

struct RenderedPage {
    int number = 0;
    int count = 0;  // 0 when the layout does not need the page count
    QList<RenderedBand> bands{};
};

class PageSink {
  public:
    virtual ~PageSink() = default;
    // Called once the rows are known to be readable, before the first page.
    virtual void begin(const ReportLayout& layout) { (void)layout; }
    // Called before begin() with each layout the report prints inside itself (its
    // subreports'), whose controls the pages will hold as well.
    virtual void includes(const ReportLayout& subreport) { (void)subreport; }
    virtual void page(const RenderedPage& page) = 0;
    // After the last page: commit what was written. Throws ReportError.
    virtual void finish() {}
};

struct RenderOptions {
    QLocale locale{};
    QDateTime now = QDateTime::currentDateTime();  // what date controls show
    // Told of the rows read so far over every pass and of those all passes read (-1 when not
    // known), once a report has read a thousand rows and every thousand rows after: long
    // reports only; and once more with a total of 0 when such a run is over, however it ended.
    // Returning false stops the run (RenderCancelled).
    std::function<bool(qint64 read, qint64 total)> progress{};
    // Where subreports find their layouts and rows (subreports.h), shared by the passes and
    // runs of one report. Without it, subreports print empty.
    std::shared_ptr<Subreports> subreports{};
};

// Thrown out of a run whose progress asked it to stop. Like a failure, it leaves no file.
struct RenderCancelled {};

// The column of a result that a bound field's name finds: without regard to case, and
// "table.field" also finds "field", which is how most engines name the column of a qualified
// select item. -1 when there is none.
int columnOfField(const QStringList& fields, const QString& name);

// Throws ReportError (the query, or a field the layout binds that the query lacks) before the
// sink is begun, RenderCancelled when options.progress stops it. Returns the number of pages. A
// detail that fits its columns to its values makes a first pass that only measures them.
int renderReport(const ReportLayout& layout, RecordSource& rows, PageSink& sink,
                 const RenderOptions& options = {});

// A paint engine that draws a text from the glyphs it was laid out in rather than from its
// characters, which it would lay out again: the PDF writer's. The page painter gives such an
// engine the lines of its texts as it laid them out.
class GlyphRunEngine {
  public:
    virtual ~GlyphRunEngine() = default;
    // One line of `text` laid out in `font`, its glyphs `runs`, drawn from `position` as
    // QTextLine::draw draws it, in the painter's pen.
    virtual void drawGlyphRuns(const QPointF& position, const QList<QGlyphRun>& runs,
                               const QString& text, const QFont& font) = 0;
};

// Draws a rendered page. The painter's coordinates are twips of the paper (scale it by the
// device's resolution / 1440 first). Pictures are decoded once per painter object.
class PagePainter {
  public:
    void paint(QPainter& painter, const RenderedPage& page);
    // Lays each text out once and draws it again from that: a column repeats its values (a
    // signal type, a pin, a length) row after row. Off, every text is laid out as it is drawn
    // (what QPainter::drawText does); the pages are the same either way.
    void setReuseTextLayouts(bool reuse) { reuseLayouts_ = reuse; }

  private:
    struct LaidText;
    struct TextKey {
        int font = 0;  // in fonts_
        int dpi = 0;   // the device's, which the painter's font is resolved for
        int flags = 0;
        QSize size{};
        QString text{};
        bool operator==(const TextKey&) const = default;
        friend size_t qHash(const TextKey& k, size_t seed = 0) {
            return qHashMulti(seed, k.font, k.dpi, k.flags, k.size.width(), k.size.height(),
                              k.text);
        }
    };
    const QImage& picture(const Control& control);
    const BarcodeSymbol& barcode(Symbology symbology, const QString& data);
    int font(const ReportFont& font);
    void drawText(QPainter& painter, const QRect& rect, int flags, int font, const QString& text);
    QHash<const Control*, QImage> pictures_;
    QHash<std::pair<int, QString>, std::shared_ptr<const BarcodeSymbol>> barcodes_;
    // The fonts made so far: a report prints in a few, on every line of every page.
    QList<std::pair<ReportFont, QFont>> fonts_;
    bool reuseLayouts_ = true;
    GlyphRunEngine* glyphEngine_ = nullptr;  // the painter's engine, when it draws glyphs
    // Shared, so that a painter may be copied; started again when it grows large, which keeps
    // a long report in constant memory.
    QHash<TextKey, std::shared_ptr<const LaidText>> texts_;
};

// The font a control prints in, sized in twips (as pixels) for painters scaled to twips.
QFont printFont(const ReportFont& font);
Qt::PenStyle penStyle(LineStyle style);
// A rich text control's markup laid out width twips wide, in its font, with its bullets and
// indent.
std::unique_ptr<QTextDocument> richTextDocument(const Control& control, int width);

// A sink that paints each page into an image and hands it on: the preview's pages, the
// frames of a TIFF file, pictures for tests.
class PageImageSink : public PageSink {
  public:
    PageImageSink(int dotsPerInch, std::function<void(const RenderedPage&, const QImage&)> take)
        : dpi_(dotsPerInch), take_(std::move(take)) {}
    void begin(const ReportLayout& layout) override { page_ = layout.page; }
    void page(const RenderedPage& page) override;
    // The image of a page, white, with the page painted on it.
    static QImage paintPage(const RenderedPage& page, const PageSetup& setup, int dotsPerInch,
                            PagePainter& painter, QImage::Format format = QImage::Format_RGB32);

  private:
    int dpi_;
    std::function<void(const RenderedPage&, const QImage&)> take_;
    PageSetup page_{};
    PagePainter painter_;
};

// A sink that paints the pages onto a paged device, one device page per report page, each the
// size of the layout's paper with the painter's origin at its top left corner: a printer (set
// to full page). Throws ReportError when the device cannot start.
class PagedDeviceSink : public PageSink {
  public:
    explicit PagedDeviceSink(QPagedPaintDevice& device);
    ~PagedDeviceSink() override;
    void begin(const ReportLayout& layout) override;
    void page(const RenderedPage& page) override;
    void finish() override;

  private:
    QPagedPaintDevice& device_;
    std::unique_ptr<QPainter> painter_;
    PagePainter pages_;
};

}  // namespace tolvane::reports
