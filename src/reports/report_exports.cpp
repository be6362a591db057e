// The export sinks.
#include "reports/report_exports.h"

#include <sys/stat.h>
#include <tiffio.h>
#include <xlsxwriter.h>

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QSaveFile>
#include <QTemporaryFile>
#include <cstdio>
#include <map>

#include "reports/barcode.h"
#include "reports/report_error.h"
#include "reports/report_pdf.h"

namespace tolvane::reports {

namespace {

// Controls that print no text of their own: the text exports leave them out.
bool isGraphic(ControlKind kind) {
    return kind == ControlKind::Line || kind == ControlKind::Rectangle ||
           kind == ControlKind::Picture || kind == ControlKind::Barcode ||
           kind == ControlKind::PageBreak || kind == ControlKind::SubReport;
}

// A barcode's modules as SVG rectangles in points, placed as the page paints them.
QString barcodeSvg(const Control& c, const QRect& r, const QString& data) {
    const BarcodeSymbol symbol = encodeBarcode(c.symbology, data);
    if (!symbol.ok() || symbol.size.isEmpty() || r.isEmpty()) return {};
    const BarcodePlacement at = placeBarcode(r, symbol, c.symbology, c.align);
    QString out = QStringLiteral("<g fill=\"%1\">")
                      .arg(c.foreColor.isValid() ? c.foreColor.name() : QStringLiteral("#000000"));
    for (const QRectF& b : symbol.bars) {
        const QRectF m = at.map(b);
        out += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"/>")
                   .arg(m.x() / 20.0)
                   .arg(m.y() / 20.0)
                   .arg(m.width() / 20.0)
                   .arg(m.height() / 20.0);
    }
    return out + QStringLiteral("</g>");
}

ReportError cannotWrite(const QString& path, const QString& reason) {
    return ReportError(QStringLiteral("the report cannot be exported to %1: %2").arg(path, reason));
}

// Writers that want a file name rather than a device (libtiff, libxlsxwriter) write to a
// temporary file beside the target; commit() renames it over the target.
class TemporaryOutput {
  public:
    explicit TemporaryOutput(const QString& path) : path_(path) {
        const QFileInfo info(path);
        if (info.isDir())
            throw cannotWrite(path, QStringLiteral("a folder of that name is in the way"));
        QTemporaryFile file(
            info.absoluteDir().filePath(info.fileName() + QStringLiteral(".XXXXXX")));
        file.setAutoRemove(false);
        if (!file.open()) throw cannotWrite(path, file.errorString());
        temp_ = file.fileName();
    }
    ~TemporaryOutput() {
        if (!committed_) QFile::remove(temp_);
    }
    const QString& temp() const { return temp_; }
    void commit() {
        // The temporary file was made private (0600); the file it becomes gets the permissions
        // of the file it replaces, or those of any file written anew.
        struct stat target {};
        mode_t mode;
        if (::stat(QFile::encodeName(path_).constData(), &target) == 0) {
            mode = target.st_mode & 07777;
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        ::chmod(QFile::encodeName(temp_).constData(), mode);
        if (std::rename(QFile::encodeName(temp_).constData(),
                        QFile::encodeName(path_).constData()) != 0)
            throw cannotWrite(path_, QString::fromLocal8Bit(std::strerror(errno)));
        committed_ = true;
    }

  private:
    QString path_, temp_;
    bool committed_ = false;
};

// Sinks that write through a device: the device is a QSaveFile, committed at the end.
class DeviceSink : public PageSink {
  public:
    explicit DeviceSink(const QString& path) : file_(path) {
        if (QFileInfo(path).isDir())
            throw cannotWrite(path, QStringLiteral("a folder of that name is in the way"));
        if (!file_.open(QIODevice::WriteOnly)) throw cannotWrite(path, file_.errorString());
    }
    void finish() override {
        close();
        if (!file_.commit()) throw cannotWrite(file_.fileName(), file_.errorString());
    }

  protected:
    virtual void close() {}
    void write(const QString& text) { file_.write(text.toUtf8()); }
    QSaveFile file_;
};

// ---- PDF --------------------------------------------------------------------------------

class PdfSink : public DeviceSink {
  public:
    using DeviceSink::DeviceSink;
    void begin(const ReportLayout& layout) override {
        writer_ = std::make_unique<PdfPageWriter>(file_);
        writer_->begin(layout.name, layout.page);
    }
    void page(const RenderedPage& page) override { writer_->page(page); }

  private:
    void close() override {
        if (!writer_->finish()) throw cannotWrite(file_.fileName(), file_.errorString());
    }
    std::unique_ptr<PdfPageWriter> writer_;
};

// ---- HTML -------------------------------------------------------------------------------

QString pt(int twips) {
    return QString::number(twips / double(kTwipsPerPoint), 'f', 2) + QStringLiteral("pt");
}

QString cssFont(const ReportFont& f) {
    return QStringLiteral("font:%1%2%3 '%4';%5")
        .arg(f.italic ? QStringLiteral("italic ") : QString(),
             f.bold ? QStringLiteral("bold ") : QString(),
             QString::number(f.pointSize) + QStringLiteral("pt"),
             QString(f.family).remove(QLatin1Char('\'')),
             f.underline ? QStringLiteral("text-decoration:underline;") : QString());
}

class HtmlSink : public DeviceSink {
  public:
    using DeviceSink::DeviceSink;
    void begin(const ReportLayout& layout) override {
        setup_ = layout.page;
        write(
            QStringLiteral(
                "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>\n<style>\n"
                "body{background:#888;margin:0}\n"
                ".page{position:relative;overflow:hidden;background:#fff;margin:12pt auto;"
                "width:%2;height:%3;page-break-after:always}\n"
                ".page div{position:absolute;overflow:hidden;white-space:nowrap}\n"
                ".page svg{position:absolute;left:0;top:0}\n"
                "</style></head><body>\n")
                .arg(layout.name.toHtmlEscaped(), pt(setup_.pageWidth()), pt(setup_.pageHeight())));
    }
    void page(const RenderedPage& page) override {
        QString out = QStringLiteral("<div class=\"page\" id=\"page%1\">\n").arg(page.number);
        QString shapes;
        for (const RenderedBand& band : page.bands) {
            if (band.backColor.isValid())
                out +=
                    QStringLiteral(
                        "<div style=\"left:%1;top:%2;width:%3;height:%4;background:%5\"></div>\n")
                        .arg(pt(band.rect.left()), pt(band.rect.top()), pt(band.rect.width()),
                             pt(band.rect.height()), band.backColor.name());
            for (const RenderedItem& item : band.items) {
                const Control& c = *item.control;
                const QRect r = item.rect;
                QString text;
                switch (c.kind) {
                    case ControlKind::Line:
                        shapes += QStringLiteral(
                                      "<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\" stroke=\"%5\" "
                                      "stroke-width=\"%6\"/>")
                                      .arg(r.left() / 20.0)
                                      .arg(r.top() / 20.0)
                                      .arg((r.left() + r.width()) / 20.0)
                                      .arg((r.top() + r.height()) / 20.0)
                                      .arg(c.foreColor.isValid() ? c.foreColor.name()
                                                                 : QStringLiteral("#000000"))
                                      .arg(std::max(1, c.lineWidth) / 20.0);
                        continue;
                    case ControlKind::Rectangle:
                        shapes += QStringLiteral(
                                      "<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" "
                                      "fill=\"%5\" stroke=\"%6\" stroke-width=\"%7\"/>")
                                      .arg(r.left() / 20.0)
                                      .arg(r.top() / 20.0)
                                      .arg(r.width() / 20.0)
                                      .arg(r.height() / 20.0)
                                      .arg(c.backColor.isValid() ? c.backColor.name()
                                                                 : QStringLiteral("none"))
                                      .arg(c.foreColor.isValid() ? c.foreColor.name()
                                                                 : QStringLiteral("none"))
                                      .arg(std::max(1, c.lineWidth) / 20.0);
                        continue;
                    case ControlKind::Picture:
                        if (!c.image.isEmpty())
                            out +=
                                QStringLiteral(
                                    "<div style=\"left:%1;top:%2;width:%3;height:%4\"><img "
                                    "style=\"max-width:100%;max-height:100%\" "
                                    "src=\"data:image;base64,%5\"></div>\n")
                                    .arg(pt(r.left()), pt(r.top()), pt(r.width()), pt(r.height()),
                                         QString::fromLatin1(c.image.toBase64()));
                        continue;
                    case ControlKind::CheckBox:
                        text = item.checked ? QStringLiteral("&#9745;") : QStringLiteral("&#9744;");
                        break;
                    case ControlKind::Barcode:
                        shapes += barcodeSvg(c, r, item.text);
                        continue;
                    case ControlKind::PageBreak:
                    case ControlKind::SubReport:
                        continue;
                    default:
                        text = item.text.toHtmlEscaped();
                        break;
                }
                const char* align = c.align == HAlign::Right    ? "right"
                                    : c.align == HAlign::Center ? "center"
                                                                : "left";
                out +=
                    QStringLiteral(
                        "<div "
                        "style=\"left:%1;top:%2;width:%3;height:%4;%5color:%6;text-align:%7;%8%9\">"
                        "%10</div>\n")
                        .arg(pt(r.left()), pt(r.top()), pt(r.width()), pt(r.height()),
                             cssFont(c.font),
                             c.foreColor.isValid() ? c.foreColor.name() : QStringLiteral("#000000"),
                             QLatin1String(align),
                             item.wrap ? QStringLiteral("white-space:normal;")
                                       : QStringLiteral("line-height:") + pt(r.height()) +
                                             QLatin1Char(';'),
                             c.backColor.isValid()
                                 ? QStringLiteral("background:") + c.backColor.name()
                                 : QString())
                        .arg(text);
            }
        }
        if (!shapes.isEmpty())
            out +=
                QStringLiteral("<svg width=\"%1\" height=\"%2\" viewBox=\"0 0 %3 %4\">%5</svg>\n")
                    .arg(pt(setup_.pageWidth()), pt(setup_.pageHeight()))
                    .arg(setup_.pageWidth() / 20.0)
                    .arg(setup_.pageHeight() / 20.0)
                    .arg(shapes);
        out += QStringLiteral("</div>\n");
        write(out);
    }

  private:
    void close() override { write(QStringLiteral("</body></html>\n")); }
    PageSetup setup_;
};

// ---- RTF --------------------------------------------------------------------------------

QString rtfText(const QString& text) {
    QString out;
    for (const QChar ch : text) {
        const ushort u = ch.unicode();
        if (ch == QLatin1Char('\\') || ch == QLatin1Char('{') || ch == QLatin1Char('}'))
            out += QLatin1Char('\\') + ch;
        else if (ch == QLatin1Char('\n'))
            out += QStringLiteral("\\line ");
        else if (u < 0x20)
            continue;
        else if (u < 0x80)
            out += ch;
        else
            out += QStringLiteral("\\u%1?").arg(qint16(u));
    }
    return out;
}

// Each line of a band (controls whose tops lie within a fifth of an inch) is a table row whose
// cells stand where the controls stand, so columns line up in any word processor.
class RtfSink : public DeviceSink {
  public:
    using DeviceSink::DeviceSink;
    void includes(const ReportLayout& subreport) override { collect(subreport); }
    void begin(const ReportLayout& layout) override {
        setup_ = layout.page;
        collect(layout);
        QString head = QStringLiteral("{\\rtf1\\ansi\\deff0{\\fonttbl");
        for (int i = 0; i < fonts_.size(); ++i)
            head += QStringLiteral("{\\f%1 %2;}").arg(i).arg(rtfText(fonts_[i]));
        head += QStringLiteral("}{\\colortbl;");
        for (QRgb c : colors_)
            head += QStringLiteral("\\red%1\\green%2\\blue%3;")
                        .arg(qRed(c))
                        .arg(qGreen(c))
                        .arg(qBlue(c));
        head += QStringLiteral("}\n\\paperw%1\\paperh%2\\margl%3\\margr%4\\margt%5\\margb%6%7\n")
                    .arg(setup_.pageWidth())
                    .arg(setup_.pageHeight())
                    .arg(setup_.marginLeft)
                    .arg(setup_.marginRight)
                    .arg(setup_.marginTop)
                    .arg(setup_.marginBottom)
                    .arg(setup_.landscape ? QStringLiteral("\\landscape") : QString());
        write(head);
    }
    void page(const RenderedPage& page) override {
        QString out;
        if (page.number > 1) out += QStringLiteral("\\pard\\page\n");
        for (const RenderedBand& band : page.bands) {
            QList<const RenderedItem*> texts;
            for (const RenderedItem& item : band.items)
                if (!isGraphic(item.control->kind)) texts << &item;
            std::stable_sort(texts.begin(), texts.end(), [](auto a, auto b) {
                if (std::abs(a->rect.top() - b->rect.top()) > 288)
                    return a->rect.top() < b->rect.top();
                return a->rect.left() < b->rect.left();
            });
            for (qsizetype i = 0; i < texts.size();) {
                qsizetype j = i + 1;
                while (j < texts.size() &&
                       std::abs(texts[j]->rect.top() - texts[i]->rect.top()) <= 288)
                    ++j;
                out += row(texts.mid(i, j - i));
                i = j;
            }
        }
        write(out);
    }

  private:
    // The fonts and colours of a layout's controls go into the tables at the file's head.
    void collect(const ReportLayout& layout) {
        for (const SectionRef& ref : sectionsInOrder(layout))
            for (const Control& c : sectionAt(layout, ref)->controls) {
                if (!fonts_.contains(c.font.family)) fonts_ << c.font.family;
                const QColor color = c.foreColor.isValid() ? c.foreColor : QColor(Qt::black);
                if (!colors_.contains(color.rgb())) colors_ << color.rgb();
            }
    }

    QString row(const QList<const RenderedItem*>& items) {
        QString defs = QStringLiteral("\\trowd\\trgaph40\\trleft0");
        QString cells;
        int cursor = 0;
        for (const RenderedItem* item : items) {
            const int left = std::max(cursor, item->rect.left() - setup_.marginLeft);
            const int right =
                std::max(left + 40, item->rect.left() - setup_.marginLeft + item->rect.width());
            if (left > cursor) {
                defs += QStringLiteral("\\cellx%1").arg(left);
                cells += QStringLiteral("\\pard\\intbl\\cell");
            }
            defs += QStringLiteral("\\cellx%1").arg(right);
            const Control& c = *item->control;
            const QString text =
                c.kind == ControlKind::CheckBox
                    ? (item->checked ? QStringLiteral("[X]") : QStringLiteral("[ ]"))
                    : item->text;
            const QColor color = c.foreColor.isValid() ? c.foreColor : QColor(Qt::black);
            cells += QStringLiteral("\\pard\\intbl%1{\\f%2\\fs%3\\cf%4%5%6%7 %8}\\cell")
                         .arg(c.align == HAlign::Right    ? QStringLiteral("\\qr")
                              : c.align == HAlign::Center ? QStringLiteral("\\qc")
                                                          : QStringLiteral("\\ql"))
                         .arg(fonts_.indexOf(c.font.family))
                         .arg(qRound(c.font.pointSize * 2))
                         .arg(colors_.indexOf(color.rgb()) + 1)
                         .arg(c.font.bold ? QStringLiteral("\\b") : QString(),
                              c.font.italic ? QStringLiteral("\\i") : QString(),
                              c.font.underline ? QStringLiteral("\\ul") : QString(), rtfText(text));
            cursor = right;
        }
        return defs + QLatin1Char('\n') + cells + QStringLiteral("\\row\n");
    }
    void close() override { write(QStringLiteral("}\n")); }

    PageSetup setup_;
    QStringList fonts_;
    QList<QRgb> colors_;
};

// ---- plain text -------------------------------------------------------------------------

// A character grid of ten characters to the inch (144 twips) and six lines (240 twips); each
// band takes the lines its height rounds to, pages end with a form feed.
class TextSink : public DeviceSink {
  public:
    using DeviceSink::DeviceSink;
    void begin(const ReportLayout& layout) override { setup_ = layout.page; }
    void page(const RenderedPage& page) override {
        QStringList lines;
        for (const RenderedBand& band : page.bands) {
            QStringList bandLines;
            QList<const RenderedItem*> items;
            for (const RenderedItem& item : band.items)
                if (!isGraphic(item.control->kind)) items << &item;
            std::stable_sort(items.begin(), items.end(),
                             [](auto a, auto b) { return a->rect.left() < b->rect.left(); });
            for (const RenderedItem* p : items) {
                const RenderedItem& item = *p;
                const Control& c = *item.control;
                QString text = c.kind == ControlKind::CheckBox
                                   ? (item.checked ? QStringLiteral("[X]") : QStringLiteral("[ ]"))
                                   : item.text;
                text.replace(QLatin1Char('\n'), QLatin1Char(' '));
                if (text.isEmpty()) continue;
                const int line =
                    std::max(0, qRound((item.rect.top() - band.rect.top()) / double(kLine)));
                const int col =
                    std::max(0, qRound((item.rect.left() - setup_.marginLeft) / double(kColumn)));
                const int width = std::max(1, int(item.rect.width() / kColumn));
                // Text is never cut: what is wider than its control runs over into the
                // space beside it (to the left when right-aligned).
                const int len = int(text.size());
                int start = c.align == HAlign::Right    ? col + width - len
                            : c.align == HAlign::Center ? col + (width - len) / 2
                                                        : col;
                while (bandLines.size() <= line) bandLines << QString();
                QString& target = bandLines[line];
                // Text that would cover what is already on the line is written after it.
                int used = int(target.size());
                while (used > 0 && target[used - 1] == QLatin1Char(' ')) --used;
                const int at = std::max({0, start, used > 0 ? used + 1 : 0});
                if (target.size() < at + len) target = target.leftJustified(at + len);
                target.replace(at, text.size(), text);
            }
            if (bandLines.isEmpty()) continue;
            const int height =
                std::max(int(bandLines.size()), qRound(band.rect.height() / double(kLine)));
            while (bandLines.size() < height) bandLines << QString();
            for (QString& l : bandLines) {
                while (l.endsWith(QLatin1Char(' '))) l.chop(1);
            }
            lines += bandLines;
        }
        write((page.number > 1 ? QStringLiteral("\f") : QString()) + lines.join(QLatin1Char('\n')) +
              QLatin1Char('\n'));
    }

  private:
    static constexpr int kColumn = 144;
    static constexpr int kLine = 240;
    PageSetup setup_;
};

// ---- TIFF -------------------------------------------------------------------------------

class TiffSink : public PageSink {
  public:
    explicit TiffSink(const QString& path) : out_(path), path_(path) {}
    ~TiffSink() override {
        if (tif_) TIFFClose(tif_);
    }
    void begin(const ReportLayout& layout) override {
        setup_ = layout.page;
        tif_ = TIFFOpen(QFile::encodeName(out_.temp()).constData(), "w");
        if (!tif_) throw cannotWrite(path_, QStringLiteral("the TIFF writer cannot start"));
    }
    void page(const RenderedPage& page) override {
        const QImage img =
            PageImageSink::paintPage(page, setup_, kDpi, painter_, QImage::Format_Grayscale8);
        TIFFSetField(tif_, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif_, TIFFTAG_IMAGEWIDTH, uint32_t(img.width()));
        TIFFSetField(tif_, TIFFTAG_IMAGELENGTH, uint32_t(img.height()));
        TIFFSetField(tif_, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
        TIFFSetField(tif_, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
        TIFFSetField(tif_, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif_, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tif_, TIFFTAG_ROWSPERSTRIP, uint32_t(64));
        TIFFSetField(tif_, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif_, TIFFTAG_XRESOLUTION, float(kDpi));
        TIFFSetField(tif_, TIFFTAG_YRESOLUTION, float(kDpi));
        TIFFSetField(tif_, TIFFTAG_PAGENUMBER, uint16_t(page.number - 1), uint16_t(page.count));
        for (int y = 0; y < img.height(); ++y)
            if (TIFFWriteScanline(tif_, const_cast<uchar*>(img.constScanLine(y)), uint32_t(y), 0) <
                0)
                throw cannotWrite(path_, QStringLiteral("writing page %1 failed").arg(page.number));
        if (!TIFFWriteDirectory(tif_))
            throw cannotWrite(path_, QStringLiteral("writing page %1 failed").arg(page.number));
    }
    void finish() override {
        TIFFClose(std::exchange(tif_, nullptr));
        out_.commit();
    }

  private:
    static constexpr int kDpi = 200;
    TemporaryOutput out_;
    QString path_;
    TIFF* tif_ = nullptr;
    PageSetup setup_;
    PagePainter painter_;
};

// ---- spreadsheet rows ---------------------------------------------------------------------

// The rows a detail band gives a spreadsheet: its own (unless it is the rest of a band split
// over pages, whose row was given with its first part) and one per detail row of the
// subreports printed in it, in order, each with its items.
QList<QList<const RenderedItem*>> spreadsheetRows(const RenderedBand& band) {
    std::map<int, QList<const RenderedItem*>> rows;
    if (!band.continued) rows[0];
    for (const RenderedItem& item : band.items)
        if (item.subrow > 0 || (item.subrow == 0 && !band.continued)) rows[item.subrow] << &item;
    QList<QList<const RenderedItem*>> out;
    for (auto& [subrow, items] : rows) out << std::move(items);
    return out;
}

// The columns of a spreadsheet: the detail's bound fields, then those of each subreport's
// detail.
QList<const Control*> spreadsheetColumns(const ReportLayout& layout,
                                         const QList<const ReportLayout*>& subreports) {
    QList<const Control*> fields = detailFields(layout);
    for (const ReportLayout* s : subreports) fields += detailFields(*s);
    return fields;
}

// ---- CSV --------------------------------------------------------------------------------

// The spreadsheet rows as text (RFC 4180, UTF-8): a header of the detail's bound fields, one
// line per detail. Numbers are written as the database gives them, not as formatted for
// print, so that a spreadsheet reads them as numbers.
class CsvSink : public DeviceSink {
  public:
    using DeviceSink::DeviceSink;
    void includes(const ReportLayout& subreport) override { subreports_ << &subreport; }
    void begin(const ReportLayout& layout) override {
        fields_ = spreadsheetColumns(layout, subreports_);
        QStringList names;
        for (const Control* f : fields_) names << f->text.section(QLatin1Char('.'), -1);
        line(names);
    }
    void page(const RenderedPage& page) override {
        for (const RenderedBand& band : page.bands) {
            if (band.kind != SectionKind::Detail) continue;
            for (const QList<const RenderedItem*>& items : spreadsheetRows(band)) writeRow(items);
        }
    }

  private:
    void writeRow(const QList<const RenderedItem*>& items) {
        QStringList cells(fields_.size());
        for (const RenderedItem* p : items) {
            const RenderedItem& item = *p;
            const qsizetype col = fields_.indexOf(item.control);
            if (col < 0) continue;
            const QVariant& v = item.value;
            if (item.control->kind == ControlKind::CheckBox)
                cells[col] = item.checked ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
            else if (v.isNull())
                cells[col].clear();
            else if (isNumber(v))
                cells[col] = v.toString();
            else
                cells[col] = item.text;
        }
        line(cells);
    }

    static bool isNumber(const QVariant& v) {
        switch (v.typeId()) {
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
            case QMetaType::Double:
                return true;
            default:
                return false;
        }
    }
    void line(const QStringList& cells) {
        QStringList out;
        out.reserve(cells.size());
        for (QString cell : cells) {
            if (cell.contains(QLatin1Char(',')) || cell.contains(QLatin1Char('"')) ||
                cell.contains(QLatin1Char('\n')) || cell.contains(QLatin1Char('\r'))) {
                cell.replace(QLatin1String("\""), QLatin1String("\"\""));
                cell = QLatin1Char('"') + cell + QLatin1Char('"');
            }
            out << cell;
        }
        write(out.join(QLatin1Char(',')) + QStringLiteral("\r\n"));
    }
    QList<const ReportLayout*> subreports_;
    QList<const Control*> fields_;
};

// ---- Excel ------------------------------------------------------------------------------

// One worksheet row per detail, the columns the detail's bound fields; numbers stay numbers.
class XlsxSink : public PageSink {
  public:
    explicit XlsxSink(const QString& path) : out_(path), path_(path) {}
    ~XlsxSink() override {
        if (book_) workbook_close(book_);
    }
    void begin(const ReportLayout& layout) override {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;  // rows go to disk as they come
        const QByteArray dir = QFile::encodeName(QFileInfo(path_).absolutePath());
        options.tmpdir = const_cast<char*>(dir.constData());
        book_ = workbook_new_opt(QFile::encodeName(out_.temp()).constData(), &options);
        if (!book_) throw cannotWrite(path_, QStringLiteral("the spreadsheet writer cannot start"));
        QByteArray sheetName = layout.name.left(31).toUtf8();
        for (char& ch : sheetName)
            if (QByteArray("[]:*?/\\").contains(ch)) ch = '_';
        sheet_ =
            workbook_add_worksheet(book_, sheetName.isEmpty() ? nullptr : sheetName.constData());
        if (!sheet_) sheet_ = workbook_add_worksheet(book_, nullptr);
        bold_ = workbook_add_format(book_);
        format_set_bold(bold_);
        const auto fields = spreadsheetColumns(layout, subreports_);
        for (int i = 0; i < fields.size(); ++i) {
            columns_[fields[i]] = i;
            worksheet_set_column(sheet_, lxw_col_t(i), lxw_col_t(i),
                                 std::max(8.0, fields[i]->rect.width() / 110.0), nullptr);
            QString name = fields[i]->text.section(QLatin1Char('.'), -1);
            worksheet_write_string(sheet_, 0, lxw_col_t(i), name.toUtf8().constData(), bold_);
        }
    }
    void includes(const ReportLayout& subreport) override { subreports_ << &subreport; }
    void page(const RenderedPage& page) override {
        for (const RenderedBand& band : page.bands)
            if (band.kind == SectionKind::Detail)
                for (const QList<const RenderedItem*>& items : spreadsheetRows(band))
                    writeRow(items);
    }
    void finish() override {
        const lxw_error e = workbook_close(std::exchange(book_, nullptr));
        if (e != LXW_NO_ERROR) throw cannotWrite(path_, QString::fromUtf8(lxw_strerror(e)));
        out_.commit();
    }

  private:
    void writeRow(const QList<const RenderedItem*>& items) {
        ++row_;
        for (const RenderedItem* p : items) {
            const RenderedItem& item = *p;
            const auto it = columns_.find(item.control);
            if (it == columns_.end() || item.value.isNull()) continue;
            const lxw_col_t col = lxw_col_t(it->second);
            const QVariant& v = item.value;
            if (item.control->kind == ControlKind::CheckBox) {
                worksheet_write_boolean(sheet_, row_, col, item.checked, nullptr);
            } else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong ||
                       v.typeId() == QMetaType::Double || v.typeId() == QMetaType::UInt ||
                       v.typeId() == QMetaType::ULongLong) {
                worksheet_write_number(sheet_, row_, col, v.toDouble(), nullptr);
            } else {
                worksheet_write_string(sheet_, row_, col, item.text.toUtf8().constData(), nullptr);
            }
        }
    }

    QList<const ReportLayout*> subreports_;
    TemporaryOutput out_;
    QString path_;
    lxw_workbook* book_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    lxw_format* bold_ = nullptr;
    std::map<const Control*, int> columns_;
    lxw_row_t row_ = 0;
};

}  // namespace

const QList<ExportFormatInfo>& exportFormats() {
    static const QList<ExportFormatInfo> formats{
        {ExportFormat::Csv, QStringLiteral("Export Report to CSV as:"),
         QStringLiteral("CSV (*.CSV)"), QStringLiteral("ReportCSV"), QStringLiteral("csv")},
        {ExportFormat::Excel, QStringLiteral("Export Report to Excel as:"),
         QStringLiteral("Excel (*.XLSX)"), QStringLiteral("ReportExcel"), QStringLiteral("xlsx")},
        {ExportFormat::Html, QStringLiteral("Export Report to HTML as:"),
         QStringLiteral("HTML (*.HTM)"), QStringLiteral("ReportHTML"), QStringLiteral("htm")},
        {ExportFormat::Pdf, QStringLiteral("Export Report to PDF as:"),
         QStringLiteral("PDF (*.PDF)"), QStringLiteral("ReportPDF"), QStringLiteral("pdf")},
        {ExportFormat::Rtf, QStringLiteral("Export Report to RTF as:"),
         QStringLiteral("Rich Text Format (*.RTF)"), QStringLiteral("ReportRTF"),
         QStringLiteral("rtf")},
        {ExportFormat::Text, QStringLiteral("Export Report to TXT as:"),
         QStringLiteral("Text (*.TXT)"), QStringLiteral("ReportTXT"), QStringLiteral("txt")},
        {ExportFormat::Tiff, QStringLiteral("Export Report to TIFF as:"),
         QStringLiteral("TIFF (*.TIF)"), QStringLiteral("ReportTIFF"), QStringLiteral("tif")},
    };
    return formats;
}

const ExportFormatInfo& exportFormat(ExportFormat format) {
    for (const ExportFormatInfo& info : exportFormats())
        if (info.format == format) return info;
    return exportFormats().front();
}

std::unique_ptr<PageSink> makeExportSink(ExportFormat format, const QString& path) {
    switch (format) {
        case ExportFormat::Pdf:
            return std::make_unique<PdfSink>(path);
        case ExportFormat::Html:
            return std::make_unique<HtmlSink>(path);
        case ExportFormat::Rtf:
            return std::make_unique<RtfSink>(path);
        case ExportFormat::Text:
            return std::make_unique<TextSink>(path);
        case ExportFormat::Tiff:
            return std::make_unique<TiffSink>(path);
        case ExportFormat::Excel:
            return std::make_unique<XlsxSink>(path);
        case ExportFormat::Csv:
            return std::make_unique<CsvSink>(path);
    }
    return nullptr;
}

int exportReport(const ReportLayout& layout, RecordSource& rows, ExportFormat format,
                 const QString& path, const RenderOptions& options) {
    const auto sink = makeExportSink(format, path);
    return renderReport(layout, rows, *sink, options);
}

}  // namespace tolvane::reports
