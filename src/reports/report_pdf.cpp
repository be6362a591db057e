// The report's PDF writer: a paint engine writing PDF content, the fonts embedded as TrueType
// subsets, the file's objects in page order.
#include "reports/report_pdf.h"

#include <zlib.h>

#include <QGlyphRun>
#include <QHash>
#include <QIODevice>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QTextLayout>
#include <QThread>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

#include "cad/heap_pages.h"
#include "reports/report_error.h"

namespace tolvane::reports {

namespace {

// ---- bytes ------------------------------------------------------------------------------

quint16 u16(const QByteArray& b, qsizetype at) {
    if (at < 0 || at + 2 > b.size()) return 0;
    return quint16((uchar(b[at]) << 8) | uchar(b[at + 1]));
}
qint16 s16(const QByteArray& b, qsizetype at) {
    return qint16(u16(b, at));
}
quint32 u32(const QByteArray& b, qsizetype at) {
    return (quint32(u16(b, at)) << 16) | u16(b, at + 2);
}
void put16(QByteArray& b, qsizetype at, quint16 v) {
    if (at + 2 > b.size()) return;
    b[at] = char(v >> 8);
    b[at + 1] = char(v);
}
void put32(QByteArray& b, qsizetype at, quint32 v) {
    put16(b, at, quint16(v >> 16));
    put16(b, at + 2, quint16(v));
}
void append16(QByteArray& b, quint16 v) {
    b += char(v >> 8);
    b += char(v);
}
void append32(QByteArray& b, quint32 v) {
    append16(b, quint16(v >> 16));
    append16(b, quint16(v));
}

quint64 fnv(const char* data, qsizetype size, quint64 h = 1469598103934665603ull) {
    for (qsizetype i = 0; i < size; ++i) h = (h ^ uchar(data[i])) * 1099511628211ull;
    return h;
}
quint64 fnv(const QByteArray& b, quint64 h = 1469598103934665603ull) {
    return fnv(b.constData(), b.size(), h);
}

void appendInt(QByteArray& out, long long v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr - buf);
}

// A number as PDF writes it: at most `decimals` decimals, no trailing zeros.
void appendNum(QByteArray& out, double v, int decimals = 2) {
    static constexpr long long kScale[] = {1, 10, 100, 1000, 10000};
    const long long scale = kScale[decimals];
    long long n = std::llround(v * double(scale));
    if (n < 0) {
        out += '-';
        n = -n;
    }
    appendInt(out, n / scale);
    long long frac = n % scale;
    if (frac == 0) return;
    out += '.';
    for (long long digit = scale / 10; digit > 0 && frac > 0; digit /= 10) {
        out += char('0' + frac / digit);
        frac %= digit;
    }
}

// A rectangle's corner and size, as the "re" operator takes them.
void appendRect(QByteArray& out, const QRectF& r) {
    appendNum(out, r.x());
    out += ' ';
    appendNum(out, r.y());
    out += ' ';
    appendNum(out, r.width());
    out += ' ';
    appendNum(out, r.height());
}

void appendHex4(QByteArray& out, quint16 v) {
    static const char kHex[] = "0123456789ABCDEF";
    out += kHex[(v >> 12) & 15];
    out += kHex[(v >> 8) & 15];
    out += kHex[(v >> 4) & 15];
    out += kHex[v & 15];
}

QByteArray hexName(char prefix, quint64 hash) {
    QByteArray name(1, prefix);
    name += QByteArray::number(hash & 0xffffffffull, 16).rightJustified(8, '0');
    return name;
}

// Page contents compress at the fastest level: it costs a few per cent of the file's size and
// saves most of the time compression took.
constexpr int kCompression = 1;

QByteArray deflate(const QByteArray& data) {
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(data.constData()), uLong(data.size()),
                  kCompression) != Z_OK)
        throw std::bad_alloc();
    out.truncate(qsizetype(size));
    return out;
}

// A PDF text string: UTF-16 with its byte order mark, in hex.
QByteArray textString(const QString& text) {
    QByteArray out("<FEFF");
    for (const QChar ch : text) appendHex4(out, ch.unicode());
    return out + '>';
}

// ---- fonts ------------------------------------------------------------------------------

// The TrueType tables a font program embedded for its glyph outlines keeps.
const char* const kKeptTables[] = {"cvt ", "fpgm", "glyf", "head", "hhea",
                                   "hmtx", "loca", "maxp", "prep"};

// For each glyph, the lowest character the font's character map gives it (0: none).
std::vector<char32_t> charactersOfGlyphs(const QByteArray& cmap, int glyphs) {
    std::vector<char32_t> out(size_t(std::max(0, glyphs)), 0);
    qsizetype best = -1;
    int bestFormat = 0;
    for (int i = 0, n = u16(cmap, 2); i < n; ++i) {
        const int platform = u16(cmap, 4 + 8 * i), encoding = u16(cmap, 6 + 8 * i);
        const qsizetype at = u32(cmap, 8 + 8 * i);
        const int format = u16(cmap, at);
        const bool unicode = platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10));
        if (!unicode || (format != 4 && format != 12)) continue;
        if (format > bestFormat) best = at, bestFormat = format;
    }
    const auto set = [&](char32_t c, quint32 g) {
        if (g > 0 && g < out.size() && out[g] == 0) out[g] = c;
    };
    if (bestFormat == 12) {
        const quint32 groups = u32(cmap, best + 12);
        for (quint32 i = 0; i < groups; ++i) {
            const qsizetype at = best + 16 + 12 * qsizetype(i);
            const quint32 first = u32(cmap, at),
                          last = std::min<quint32>(u32(cmap, at + 4), 0x10ffff);
            const quint32 glyph = u32(cmap, at + 8);
            for (quint32 c = first; c <= last && glyph + (c - first) < out.size(); ++c)
                set(c, glyph + (c - first));
        }
    } else if (bestFormat == 4) {
        const int segments = u16(cmap, best + 6) / 2;
        const qsizetype ends = best + 14, starts = ends + 2 * segments + 2,
                        deltas = starts + 2 * segments, offsets = deltas + 2 * segments;
        for (int s = 0; s < segments; ++s) {
            const quint32 first = u16(cmap, starts + 2 * s), last = u16(cmap, ends + 2 * s);
            const quint16 delta = u16(cmap, deltas + 2 * s), offset = u16(cmap, offsets + 2 * s);
            for (quint32 c = first; c <= last && c < 0xffff; ++c) {
                quint16 g = 0;
                if (offset == 0) {
                    g = quint16(c + delta);
                } else {
                    const quint16 at = u16(cmap, offsets + 2 * s + offset + 2 * (c - first));
                    if (at) g = quint16(at + delta);
                }
                set(c, g);
            }
        }
    }
    return out;
}

struct PdfFont {
    QByteArray name;  // the resource's name in the page contents
    QByteArray baseName;
    bool embedded = false;  // TrueType outlines; otherwise its glyphs are drawn as paths
    std::map<QByteArray, QByteArray> tables;
    int unitsPerEm = 1000;
    int glyphCount = 0;
    std::vector<int> widths;        // advance per glyph, in thousandths of the size
    std::vector<char32_t> unicode;  // the character of each glyph, from the character map
    bool italic = false, fixedPitch = false;
    double italicAngle = 0;
    // Written by the painting threads under the resources' lock.
    std::vector<bool> used;
    std::map<quint32, QString> shaped;  // glyphs the character map does not give: their text

    int width(quint32 glyph) const {
        return widths.empty() ? 0 : widths[std::min<size_t>(glyph, widths.size() - 1)];
    }
    qint16 head(int at) const { return s16(tables.at("head"), at); }
    int scaled(int units) const { return int(std::lround(units * 1000.0 / unitsPerEm)); }
};

struct PdfImage {
    QByteArray name;
    int width = 0, height = 0;
    QByteArray rgb, alpha;  // compressed; alpha empty for an opaque image
};

// What the pages share: the fonts and images, each made once for the file, whoever paints.
class Resources {
  public:
    PdfFont* font(const QRawFont& raw) {
        const QByteArray identity =
            (raw.familyName() + QLatin1Char('|') + raw.styleName() + QLatin1Char('|') +
             QString::number(raw.weight()) + QLatin1Char('|') + QString::number(int(raw.style())))
                .toUtf8();
        const std::lock_guard lock(mutex_);
        auto& slot = fonts_[identity];
        if (!slot) slot = load(raw, identity);
        return slot.get();
    }

    // Marks glyphs as used, with the text of those the character map does not give.
    void use(PdfFont* font, const QList<quint32>& glyphs, const std::map<quint32, QString>& text) {
        const std::lock_guard lock(mutex_);
        for (const quint32 g : glyphs)
            if (g < font->used.size()) font->used[g] = true;
        for (const auto& [g, t] : text) font->shaped.emplace(g, t);
    }

    PdfImage* image(const QImage& source) {
        const QImage rgb = source.convertToFormat(QImage::Format_RGB888);
        QByteArray pixels, alpha;
        pixels.reserve(qsizetype(rgb.width()) * rgb.height() * 3);
        for (int y = 0; y < rgb.height(); ++y)
            pixels.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), rgb.width() * 3);
        if (source.hasAlphaChannel()) {
            const QImage a = source.convertToFormat(QImage::Format_Alpha8);
            for (int y = 0; y < a.height(); ++y)
                alpha.append(reinterpret_cast<const char*>(a.constScanLine(y)), a.width());
        }
        quint64 hash = fnv(pixels, fnv(alpha));
        hash = fnv(reinterpret_cast<const char*>(&hash), sizeof hash,
                   quint64(rgb.width()) << 32 | quint32(rgb.height()));
        const QByteArray name = hexName('I', hash);
        {
            const std::lock_guard lock(mutex_);
            const auto it = images_.find(name);
            if (it != images_.end()) return it->second.get();
        }
        auto made = std::make_unique<PdfImage>();
        made->name = name;
        made->width = rgb.width();
        made->height = rgb.height();
        made->rgb = deflate(pixels);
        if (!alpha.isEmpty()) made->alpha = deflate(alpha);
        const std::lock_guard lock(mutex_);
        auto& slot = images_[name];
        if (!slot) slot = std::move(made);
        return slot.get();
    }

    // Read once the painting is over.
    const std::map<QByteArray, std::unique_ptr<PdfFont>>& fonts() const { return fonts_; }
    const std::map<QByteArray, std::unique_ptr<PdfImage>>& images() const { return images_; }

  private:
    static std::unique_ptr<PdfFont> load(const QRawFont& raw, const QByteArray& identity) {
        auto f = std::make_unique<PdfFont>();
        f->name = hexName('F', fnv(identity));
        QByteArray base = (raw.familyName() + QLatin1Char('-') + raw.styleName()).toLatin1();
        base.removeIf([](char c) { return !(std::isalnum(uchar(c)) || c == '-' || c == '_'); });
        // A subset's name starts with a tag of six capitals of its own.
        QByteArray tag;
        for (quint64 h = fnv(identity, 7); tag.size() < 6; h /= 26) tag += char('A' + h % 26);
        f->baseName = tag + '+' + (base.isEmpty() ? QByteArray("Font") : base);
        for (const char* t : kKeptTables) {
            const QByteArray data = raw.fontTable(t);
            if (!data.isEmpty()) f->tables[t] = data;
        }
        f->embedded = f->tables.count("glyf") && f->tables.count("loca") &&
                      f->tables.count("head") && f->tables.count("hhea") &&
                      f->tables.count("hmtx") && f->tables.count("maxp");
        if (!f->embedded) return f;
        f->unitsPerEm = std::max<int>(16, u16(f->tables["head"], 18));
        f->glyphCount = u16(f->tables["maxp"], 4);
        const QByteArray& hmtx = f->tables["hmtx"];
        const int metrics = std::max<int>(1, u16(f->tables["hhea"], 34));
        f->widths.resize(size_t(f->glyphCount));
        for (int g = 0; g < f->glyphCount; ++g)
            f->widths[size_t(g)] = f->scaled(u16(hmtx, 4 * std::min(g, metrics - 1)));
        f->unicode = charactersOfGlyphs(raw.fontTable("cmap"), f->glyphCount);
        f->used.assign(size_t(f->glyphCount), false);
        f->used[0] = true;
        const QByteArray post = raw.fontTable("post");
        f->italicAngle = s16(post, 4) + u16(post, 6) / 65536.0;
        f->fixedPitch = u32(post, 12) != 0;
        f->italic = raw.style() != QFont::StyleNormal;
        return f;
    }

    std::mutex mutex_;
    std::map<QByteArray, std::unique_ptr<PdfFont>> fonts_;
    std::map<QByteArray, std::unique_ptr<PdfImage>> images_;
};

// The font program of the glyphs used (and the glyphs they are made of), each at its own
// index: the others are left empty and the glyphs after the last used are cut off.
QByteArray subsetTrueType(const PdfFont& f) {
    const QByteArray& glyf = f.tables.at("glyf");
    const QByteArray& loca = f.tables.at("loca");
    const bool longOffsets = f.head(50) == 1;
    const auto offset = [&](int g) -> qsizetype {
        return longOffsets ? qsizetype(u32(loca, 4 * g)) : 2 * qsizetype(u16(loca, 2 * g));
    };
    const auto glyph = [&](int g) {
        if (g >= f.glyphCount) return QByteArray();
        const qsizetype from = offset(g), to = offset(g + 1);
        return to > from && to <= glyf.size() ? glyf.mid(from, to - from) : QByteArray();
    };
    std::vector<bool> keep = f.used;
    std::vector<int> todo;
    for (int g = 0; g < f.glyphCount; ++g)
        if (keep[size_t(g)]) todo.push_back(g);
    while (!todo.empty()) {
        const QByteArray data = glyph(todo.back());
        todo.pop_back();
        if (data.size() < 10 || s16(data, 0) >= 0) continue;
        // A composite glyph: keep its components.
        for (qsizetype at = 10;;) {
            const quint16 flags = u16(data, at);
            const int component = u16(data, at + 2);
            at += 4 + ((flags & 0x1) ? 4 : 2);
            at += (flags & 0x8) ? 2 : (flags & 0x40) ? 4 : (flags & 0x80) ? 8 : 0;
            if (component < f.glyphCount && !keep[size_t(component)]) {
                keep[size_t(component)] = true;
                todo.push_back(component);
            }
            if (!(flags & 0x20) || at >= data.size()) break;
        }
    }
    int count = 1;
    for (int g = 0; g < f.glyphCount; ++g)
        if (keep[size_t(g)]) count = g + 1;

    std::map<QByteArray, QByteArray> out;
    QByteArray newGlyf, newLoca;
    for (int g = 0; g < count; ++g) {
        append32(newLoca, quint32(newGlyf.size()));
        if (!keep[size_t(g)]) continue;
        newGlyf += glyph(g);
        while (newGlyf.size() % 4) newGlyf += '\0';
    }
    append32(newLoca, quint32(newGlyf.size()));
    out["glyf"] = newGlyf;
    out["loca"] = newLoca;
    QByteArray head = f.tables.at("head");
    put32(head, 8, 0);   // the whole file's checksum, which no reader needs
    put16(head, 50, 1);  // long offsets
    out["head"] = head;
    QByteArray maxp = f.tables.at("maxp");
    put16(maxp, 4, quint16(count));
    out["maxp"] = maxp;
    QByteArray hhea = f.tables.at("hhea");
    const int metrics = std::max<int>(1, u16(hhea, 34));
    const QByteArray& hmtx = f.tables.at("hmtx");
    if (metrics >= count) {
        put16(hhea, 34, quint16(count));
        out["hmtx"] = hmtx.left(4 * count);
    } else {
        out["hmtx"] = hmtx.left(4 * metrics + 2 * (count - metrics));
    }
    out["hhea"] = hhea;
    for (const char* t : {"cvt ", "fpgm", "prep"})
        if (f.tables.count(t)) out[t] = f.tables.at(t);

    const int tables = int(out.size());
    int power = 1, log = 0;
    while (power * 2 <= tables) power *= 2, ++log;
    QByteArray file;
    append32(file, 0x00010000);
    append16(file, quint16(tables));
    append16(file, quint16(16 * power));
    append16(file, quint16(log));
    append16(file, quint16(16 * tables - 16 * power));
    qsizetype at = 12 + 16 * tables;
    QByteArray body;
    for (auto& [tag, data] : out) {
        const qsizetype length = data.size();
        while (data.size() % 4) data += '\0';
        quint32 sum = 0;
        for (qsizetype i = 0; i < data.size(); i += 4) sum += u32(data, i);
        file += tag;
        append32(file, sum);
        append32(file, quint32(at + body.size()));
        append32(file, quint32(length));
        body += data;
    }
    return file + body;
}

// The character map from glyphs to text that makes the text extractable.
QByteArray toUnicode(const PdfFont& f) {
    QByteArray entries;
    int count = 0;
    QByteArray out =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    const auto flush = [&] {
        if (count == 0) return;
        appendInt(out, count);
        out += " beginbfchar\n" + entries + "endbfchar\n";
        entries.clear();
        count = 0;
    };
    for (int g = 1; g < f.glyphCount; ++g) {
        if (!f.used[size_t(g)]) continue;
        QString text;
        if (const auto it = f.shaped.find(quint32(g)); it != f.shaped.end())
            text = it->second;
        else if (f.unicode[size_t(g)] != 0)
            text = QString::fromUcs4(&f.unicode[size_t(g)], 1);
        if (text.isEmpty()) continue;
        entries += '<';
        appendHex4(entries, quint16(g));
        entries += "> <";
        for (const QChar ch : text) appendHex4(entries, ch.unicode());
        entries += ">\n";
        if (++count == 100) flush();
    }
    flush();
    return out + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
}

// ---- painting ---------------------------------------------------------------------------

// A text laid out again from its characters: the glyphs of each of its fonts (fallbacks give
// more than one), placed from the start of its baseline.
struct ShapedText {
    struct Run {
        QRawFont raw;
        QList<quint32> glyphs;
        QList<QPointF> positions;
    };
    QList<Run> runs;
};

// Whether a glyph's text is to be taken from what it shows rather than from the character map:
// none there, or a ligature's presentation form ("ﬃ"), which a reader extracting text gives as
// it is, where the text has "ffi".
bool needsText(char32_t mapped) {
    return mapped == 0 || (mapped >= 0xfb00 && mapped <= 0xfb06);
}

// The text of the glyphs of a line the character map does not give (ligatures and other
// shaped forms): the characters each shows.
std::map<quint32, QString> charactersOf(const QTextLine& line, const QString& text,
                                        const QRawFont& raw, const std::vector<char32_t>& mapped) {
    std::map<quint32, QString> out;
    std::map<quint32, int> last;  // the last character a glyph took: its first cluster only
    for (int i = line.textStart(); i < line.textStart() + line.textLength() && i < text.size(); ++i)
        for (const QGlyphRun& r : line.glyphRuns(i, 1))
            if (r.rawFont() == raw)
                for (const quint32 g : r.glyphIndexes()) {
                    if (g == 0 || g >= mapped.size() || !needsText(mapped[g])) continue;
                    const auto it = last.find(g);
                    if (it == last.end()) {
                        out[g] = text[i];
                        last[g] = i;
                    } else if (it->second == i - 1) {
                        out[g] += text[i];
                        it->second = i;
                    }
                }
    return out;
}

class ContentEngine final : public QPaintEngine, public GlyphRunEngine {
  public:
    explicit ContentEngine(Resources& resources)
        : QPaintEngine(QPaintEngine::PaintEngineFeatures(QPaintEngine::AllFeatures) &
                       ~(QPaintEngine::PorterDuff | QPaintEngine::PerspectiveTransform |
                         QPaintEngine::ObjectBoundingModeGradients |
                         QPaintEngine::ConicalGradientFill)),
          resources_(resources) {}

    void setPageHeight(int twips) { pageHeight_ = twips; }
    const QByteArray& content() const { return out_; }

    bool begin(QPaintDevice*) override {
        out_.resize(0);  // the buffer stays, for the next page
        // Twips from the paper's top left corner.
        out_ += "0.05 0 0 -0.05 0 ";
        appendNum(out_, pageHeight_ / 20.0);
        out_ += " cm\nq\n";
        matrix_ = QTransform();
        pen_ = QPen();
        brush_ = QBrush();
        clip_ = written_ = Clip{};
        clipEnabled_ = false;
        forget();
        return true;
    }
    bool end() override {
        out_ += "Q\n";
        return true;
    }
    Type type() const override { return QPaintEngine::User; }

    void updateState(const QPaintEngineState& s) override {
        const QPaintEngine::DirtyFlags f = s.state();
        if (f & DirtyPen) pen_ = s.pen();
        if (f & DirtyBrush) brush_ = s.brush();
        if (f & DirtyTransform) matrix_ = s.transform();
        if (f & (DirtyClipPath | DirtyClipRegion)) {
            Clip next;
            next.on = true;
            if (f & DirtyClipRegion) {
                const QRegion region = s.clipRegion();
                if (region.rectCount() == 1 && matrix_.type() <= QTransform::TxScale) {
                    next.rect = matrix_.mapRect(QRectF(region.boundingRect()));
                } else {
                    QPainterPath p;
                    p.addRegion(region);
                    next.path = matrix_.map(p);
                    next.isPath = true;
                }
            } else {
                const QPainterPath p = s.clipPath();
                next.path = matrix_.map(p);
                next.isPath = true;
            }
            switch (s.clipOperation()) {
                case Qt::NoClip:
                    clip_ = Clip{};
                    break;
                case Qt::ReplaceClip:
                    clip_ = next;
                    break;
                case Qt::IntersectClip:
                    clip_ = clip_.on ? intersect(clip_, next) : next;
                    break;
            }
        }
        if (f & DirtyClipEnabled) clipEnabled_ = s.isClipEnabled();
    }

    void drawRects(const QRectF* rects, int count) override {
        if (matrix_.type() > QTransform::TxScale) return QPaintEngine::drawRects(rects, count);
        if (!paintBegin(true, Qt::WindingFill)) return;
        for (int i = 0; i < count; ++i) {
            appendRect(out_, matrix_.mapRect(rects[i]));
            out_ += " re\n";
        }
        paintEnd();
    }

    void drawLines(const QLineF* lines, int count) override {
        if (!paintBegin(false, Qt::WindingFill)) return;
        for (int i = 0; i < count; ++i) {
            point(lines[i].p1(), " m ");
            point(lines[i].p2(), " l\n");
        }
        paintEnd();
    }

    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
        if (count < 2) return;
        const bool closed = mode != PolylineMode;
        if (!paintBegin(closed, mode == OddEvenMode ? Qt::OddEvenFill : Qt::WindingFill)) return;
        point(points[0], " m ");
        for (int i = 1; i < count; ++i) point(points[i], " l ");
        out_ += closed ? "h\n" : "\n";
        paintEnd();
    }

    void drawPath(const QPainterPath& path) override {
        if (path.isEmpty() || !paintBegin(true, path.fillRule())) return;
        pathOperators(matrix_.map(path));
        paintEnd();
    }

    void drawPixmap(const QRectF& r, const QPixmap& pm, const QRectF& sr) override {
        drawImage(r, pm.toImage(), sr, Qt::AutoColor);
    }

    void drawImage(const QRectF& r, const QImage& image, const QRectF& sr,
                   Qt::ImageConversionFlags) override {
        if (image.isNull() || r.isEmpty()) return;
        const QRect part = sr.toAlignedRect() & image.rect();
        if (part.isEmpty()) return;
        const auto key =
            std::tuple{image.cacheKey(), part.x(), part.y(), part.width(), part.height()};
        auto it = images_.find(key);
        if (it == images_.end())
            it =
                images_
                    .emplace(key, resources_.image(part == image.rect() ? image : image.copy(part)))
                    .first;
        writeClip();
        const QTransform t =
            QTransform(r.width(), 0, 0, -r.height(), r.x(), r.y() + r.height()) * matrix_;
        out_ += "q ";
        for (const qreal v : {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()}) {
            appendNum(out_, v, 4);
            out_ += ' ';
        }
        out_ += "cm /" + it->second->name + " Do Q\n";
    }

    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        const QString text = item.text();
        if (text.isEmpty() || !textBegin()) return;
        for (const ShapedText::Run& run : shape(item.font(), text).runs)
            show(face(run.raw), run.glyphs, run.positions, p);
    }

    void drawGlyphRuns(const QPointF& position, const QList<QGlyphRun>& runs, const QString& text,
                       const QFont& font) override {
        // The pen and clip the painter was given since it last drew.
        syncState();
        if (!textBegin()) return;
        for (const QGlyphRun& run : runs) {
            const QRawFont raw = run.rawFont();
            Face& f = face(raw);
            const QList<quint32> glyphs = run.glyphIndexes();
            if (f.font->embedded && noteUsed(f, glyphs)) {
                // Rare (a ligature, say): the text is laid out again to see what it shows.
                QTextLayout layout(text, font);
                layout.beginLayout();
                QTextLine line = layout.createLine();
                if (line.isValid()) line.setLineWidth(0x01000000);
                layout.endLayout();
                if (line.isValid())
                    resources_.use(f.font, {}, charactersOf(line, text, raw, f.font->unicode));
            }
            show(f, glyphs, run.positions(), position);
        }
    }

    // The glyphs used since the last call, told to the resources.
    void tellUsed() {
        for (Face& f : faces_)
            if (!f.fresh.isEmpty()) resources_.use(f.font, std::exchange(f.fresh, {}), {});
    }

  private:
    struct Clip {
        bool on = false;
        bool isPath = false;
        QRectF rect;
        QPainterPath path;
        bool operator==(const Clip& o) const {
            return on == o.on && isPath == o.isPath && (isPath ? path == o.path : rect == o.rect);
        }
    };

    static Clip intersect(const Clip& a, const Clip& b) {
        Clip out;
        out.on = true;
        if (!a.isPath && !b.isPath) {
            out.rect = a.rect & b.rect;
            return out;
        }
        const auto path = [](const Clip& c) {
            if (c.isPath) return c.path;
            QPainterPath p;
            p.addRect(c.rect);
            return p;
        };
        out.isPath = true;
        out.path = path(a).intersected(path(b));
        return out;
    }

    // The graphics state after "Q q": nothing set but the page's own.
    void forget() {
        fill_ = QColor();
        stroke_ = QByteArray();
    }

    // The clip in force for what is drawn next, written only when it changed.
    void writeClip() {
        const Clip now = clipEnabled_ ? clip_ : Clip{};
        if (now == written_) return;
        out_ += "Q q\n";
        forget();
        written_ = now;
        if (!now.on) return;
        if (now.isPath) {
            pathOperators(now.path);
            out_ += now.path.fillRule() == Qt::OddEvenFill ? "W* n\n" : "W n\n";
        } else {
            appendRect(out_, now.rect.isValid() ? now.rect : QRectF());
            out_ += " re W n\n";
        }
    }

    static void color(QByteArray& out, const QColor& c) {
        appendNum(out, c.redF(), 3);
        out += ' ';
        appendNum(out, c.greenF(), 3);
        out += ' ';
        appendNum(out, c.blueF(), 3);
    }

    void fill(const QColor& c) {
        if (c == fill_) return;
        fill_ = c;
        color(out_, c);
        out_ += " rg\n";
    }

    static QColor brushColor(const QBrush& b) {
        if (const QGradient* g = b.gradient(); g && !g->stops().isEmpty())
            return g->stops().first().second;
        return b.color();
    }

    // The stroke's colour, width, caps, joins and dashes, written when they changed.
    void stroke() {
        QByteArray s;
        color(s, pen_.color());
        s += " RG ";
        qreal width = pen_.widthF();
        if (!pen_.isCosmetic())
            width *=
                std::sqrt(std::abs(matrix_.m11() * matrix_.m22() - matrix_.m12() * matrix_.m21()));
        appendNum(s, width);
        s += " w ";
        s += pen_.capStyle() == Qt::FlatCap    ? "0 J "
             : pen_.capStyle() == Qt::RoundCap ? "1 J "
                                               : "2 J ";
        s += pen_.joinStyle() == Qt::RoundJoin   ? "1 j "
             : pen_.joinStyle() == Qt::BevelJoin ? "2 j "
                                                 : "0 j ";
        s += '[';
        if (pen_.style() != Qt::SolidLine) {
            const qreal unit = width > 0 ? width : 1;
            for (const qreal d : pen_.dashPattern()) {
                appendNum(s, d * unit);
                s += ' ';
            }
        }
        s += "] ";
        appendNum(s,
                  pen_.style() != Qt::SolidLine ? pen_.dashOffset() * (width > 0 ? width : 1) : 0);
        s += " d\n";
        if (s == stroke_) return;
        stroke_ = s;
        out_ += s;
    }

    // Before a shape's path: its clip and colours. False when it would paint nothing.
    bool paintBegin(bool fillable, Qt::FillRule rule) {
        const bool doFill =
            fillable && brush_.style() != Qt::NoBrush && brushColor(brush_).alpha() > 0;
        const bool doStroke = pen_.style() != Qt::NoPen && pen_.color().alpha() > 0;
        if (!doFill && !doStroke) return false;
        writeClip();
        if (doFill) fill(brushColor(brush_));
        if (doStroke) stroke();
        op_ = doFill && doStroke ? (rule == Qt::OddEvenFill ? "B*\n" : "B\n")
              : doFill           ? (rule == Qt::OddEvenFill ? "f*\n" : "f\n")
                                 : "S\n";
        return true;
    }
    void paintEnd() { out_ += op_; }

    void point(const QPointF& p, const char* op) {
        const QPointF m = matrix_.map(p);
        appendNum(out_, m.x());
        out_ += ' ';
        appendNum(out_, m.y());
        out_ += op;
    }

    // A path already in the page's coordinates.
    void pathOperators(const QPainterPath& path) {
        const auto xy = [&](const QPointF& p) {
            appendNum(out_, p.x());
            out_ += ' ';
            appendNum(out_, p.y());
            out_ += ' ';
        };
        QPointF start;
        for (int i = 0; i < path.elementCount(); ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            switch (e.type) {
                case QPainterPath::MoveToElement:
                    xy(e);
                    out_ += "m\n";
                    start = e;
                    break;
                case QPainterPath::LineToElement:
                    xy(e);
                    out_ += "l\n";
                    break;
                case QPainterPath::CurveToElement:
                    xy(e);
                    xy(path.elementAt(i + 1));
                    xy(path.elementAt(i + 2));
                    out_ += "c\n";
                    i += 2;
                    break;
                case QPainterPath::CurveToDataElement:
                    break;
            }
            const bool last = i + 1 >= path.elementCount() ||
                              path.elementAt(i + 1).type == QPainterPath::MoveToElement;
            if (last && e.type != QPainterPath::MoveToElement &&
                QPointF(path.elementAt(i)) == start)
                out_ += "h\n";
        }
    }

    // A font at one size as this engine met it, and the glyphs it used of it.
    struct Face {
        QRawFont raw;
        PdfFont* font = nullptr;
        std::vector<bool> used;
        QList<quint32> fresh;  // used since the resources were last told
    };

    Face& face(const QRawFont& raw) {
        for (Face& f : faces_)
            if (f.raw == raw) return f;
        Face f;
        f.raw = raw;
        f.font = resources_.font(raw);
        f.used.assign(size_t(f.font->glyphCount), false);
        faces_.push_back(std::move(f));
        return faces_.back();
    }

    // Marks the glyphs used; true when one of those met for the first time has no character of
    // its own in the font's map.
    bool noteUsed(Face& f, const QList<quint32>& glyphs) {
        bool unmapped = false;
        for (const quint32 g : glyphs) {
            if (g >= f.used.size() || f.used[g]) continue;
            f.used[g] = true;
            f.fresh << g;
            unmapped = unmapped || (g > 0 && needsText(f.font->unicode[g]));
        }
        return unmapped;
    }

    // Before a text: its clip and colour. False when it would paint nothing.
    bool textBegin() {
        const QColor color = pen_.color();
        if (pen_.style() == Qt::NoPen || color.alpha() == 0) return false;
        writeClip();
        fill(color);
        return true;
    }

    // Glyphs placed from `origin`: one text object per baseline, its glyphs shown in one go
    // with the distance of each from where the font's advance puts it.
    void show(const Face& f, const QList<quint32>& glyphs, const QList<QPointF>& positions,
              const QPointF& origin) {
        if (glyphs.isEmpty()) return;
        if (!f.font->embedded) {
            QPainterPath outline;
            for (int i = 0; i < glyphs.size(); ++i)
                outline.addPath(f.raw.pathForGlyph(glyphs[i]).translated(origin + positions[i]));
            outline.setFillRule(Qt::WindingFill);
            pathOperators(matrix_.map(outline));
            out_ += "f\n";
            return;
        }
        const qreal size = f.raw.pixelSize();
        if (size <= 0) return;
        for (int from = 0; from < glyphs.size();) {
            int to = from + 1;
            while (to < glyphs.size() && positions[to].y() == positions[from].y()) ++to;
            const QPointF at = matrix_.map(origin + positions[from]);
            out_ += "BT /" + f.font->name + ' ';
            appendNum(out_, size);
            out_ += " Tf ";
            if (matrix_.type() <= QTransform::TxTranslate) {
                out_ += "1 0 0 -1 ";
            } else {
                for (const qreal v :
                     {matrix_.m11(), matrix_.m12(), -matrix_.m21(), -matrix_.m22()}) {
                    appendNum(out_, v, 4);
                    out_ += ' ';
                }
            }
            appendNum(out_, at.x());
            out_ += ' ';
            appendNum(out_, at.y());
            out_ += " Tm [<";
            qreal pen = positions[from].x();
            for (int i = from; i < to; ++i) {
                const quint32 g = glyphs[i];
                // Against the direction of writing, in thousandths of the size.
                const long long move = std::llround((pen - positions[i].x()) * 1000 / size);
                if (i > from && move != 0) {
                    out_ += '>';
                    appendInt(out_, move);
                    out_ += '<';
                    pen -= move * size / 1000;
                }
                appendHex4(out_, quint16(g));
                pen += f.font->width(g) * size / 1000;
            }
            out_ += ">] TJ ET\n";
            from = to;
        }
    }

    // The text laid out in its font as the painter lays it out, its glyphs noted as used.
    const ShapedText& shape(const QFont& font, const QString& text) {
        int fontIndex = 0;
        while (fontIndex < fonts_.size() && !(fonts_[fontIndex] == font)) ++fontIndex;
        if (fontIndex == fonts_.size()) fonts_ << font;
        const auto key = std::pair{fontIndex, text};
        if (auto it = texts_.constFind(key); it != texts_.cend()) return *it;
        if (texts_.size() >= 4096) texts_.clear();

        QTextLayout layout(text, font);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        if (line.isValid()) line.setLineWidth(0x01000000);
        layout.endLayout();
        ShapedText shaped;
        if (line.isValid()) {
            const QPointF baseline(0, line.ascent());
            for (const QGlyphRun& glyphRun : line.glyphRuns()) {
                ShapedText::Run run;
                run.raw = glyphRun.rawFont();
                run.glyphs = glyphRun.glyphIndexes();
                for (const QPointF& p : glyphRun.positions()) run.positions << p - baseline;
                Face& f = face(run.raw);
                if (f.font->embedded && noteUsed(f, run.glyphs))
                    resources_.use(f.font, {}, charactersOf(line, text, run.raw, f.font->unicode));
                shaped.runs << std::move(run);
            }
        }
        return *texts_.insert(key, std::move(shaped));
    }

    Resources& resources_;
    int pageHeight_ = 0;
    QByteArray out_;
    QTransform matrix_;
    QPen pen_;
    QBrush brush_;
    Clip clip_, written_;
    bool clipEnabled_ = false;
    QColor fill_;
    QByteArray stroke_;
    const char* op_ = "n\n";
    std::deque<Face> faces_;
    QList<QFont> fonts_;
    QHash<std::pair<int, QString>, ShapedText> texts_;
    std::map<std::tuple<qint64, int, int, int, int>, PdfImage*> images_;
};

// A page of the paper's size in twips, which is what the page painter draws in.
class PageDevice final : public QPaintDevice {
  public:
    explicit PageDevice(ContentEngine& engine) : engine_(engine) {}
    void setSize(QSize twips) { size_ = twips; }
    QPaintEngine* paintEngine() const override { return &engine_; }

  protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
            case PdmWidth:
                return size_.width();
            case PdmHeight:
                return size_.height();
            case PdmWidthMM:
                return qRound(size_.width() * 25.4 / kTwipsPerInch);
            case PdmHeightMM:
                return qRound(size_.height() * 25.4 / kTwipsPerInch);
            case PdmNumColors:
                return INT_MAX;
            case PdmDepth:
                return 32;
            case PdmDpiX:
            case PdmDpiY:
            case PdmPhysicalDpiX:
            case PdmPhysicalDpiY:
                return kTwipsPerInch;
            case PdmDevicePixelRatio:
                return 1;
            case PdmDevicePixelRatioScaled:
                return int(devicePixelRatioFScale());
        }
        return 0;
    }

  private:
    ContentEngine& engine_;
    QSize size_;
};

// What paints pages: one per painting thread, each with its painter's caches.
class PageMaker {
  public:
    PageMaker(Resources& resources, const PageSetup& setup) : engine_(resources), device_(engine_) {
        engine_.setPageHeight(setup.pageHeight());
        device_.setSize(QSize(setup.pageWidth(), setup.pageHeight()));
    }
    // The page's content stream, compressed.
    QByteArray make(const RenderedPage& page) {
        QPainter p;
        if (!p.begin(&device_)) throw std::runtime_error("the page cannot be painted");
        painter_.paint(p, page);
        p.end();
        engine_.tellUsed();
        return deflate(engine_.content());
    }

  private:
    ContentEngine engine_;
    PageDevice device_;
    PagePainter painter_;
};

}  // namespace

// ---- the file ---------------------------------------------------------------------------

struct PdfPageWriter::Impl {
    static constexpr int kCatalog = 1, kPages = 2, kInfo = 3;

    QIODevice& out;
    int threads;
    Resources resources;
    PageSetup setup;
    QString title;
    qint64 at = 0;
    bool failed = false;
    std::vector<qint64> offsets{0, 0, 0, 0};  // by object number; 0 is the free list's head
    std::vector<int> pageObjects;

    std::unique_ptr<PageMaker> inTurn;
    std::vector<std::thread> workers;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<int, RenderedPage>> waiting;
    std::map<int, QByteArray> painted;
    int given = 0, written = 0;
    bool closing = false, stop = false;
    std::exception_ptr error;

    Impl(QIODevice& device, int t)
        : out(device), threads(t < 0 ? std::max(1, QThread::idealThreadCount()) : t) {}

    ~Impl() { stopWorkers(); }

    void stopWorkers() {
        {
            const std::lock_guard lock(mutex);
            stop = true;
        }
        changed.notify_all();
        for (std::thread& w : workers)
            if (w.joinable()) w.join();
        workers.clear();
    }

    void write(const QByteArray& bytes) {
        if (out.write(bytes) != bytes.size()) failed = true;
        at += bytes.size();
    }
    int newObject() {
        offsets.push_back(0);
        return int(offsets.size() - 1);
    }
    void startObject(int object) {
        offsets[size_t(object)] = at;
        QByteArray head;
        appendInt(head, object);
        write(head + " 0 obj\n");
    }
    QByteArray ref(int object) {
        QByteArray r;
        appendInt(r, object);
        return r + " 0 R";
    }
    void stream(int object, const QByteArray& dictionary, const QByteArray& data) {
        startObject(object);
        QByteArray head = "<< /Length ";
        appendInt(head, data.size());
        write(head + ' ' + dictionary + " >>\nstream\n");
        write(data);
        write("\nendstream\nendobj\n");
    }

    void writePage(const QByteArray& content) {
        const int contents = newObject(), page = newObject();
        stream(contents, "/Filter /FlateDecode", content);
        startObject(page);
        write("<< /Type /Page /Parent " + ref(kPages) + " /Contents " + ref(contents) +
              " >>\nendobj\n");
        pageObjects.push_back(page);
    }

    void work() {
        PageMaker maker(resources, setup);
        for (;;) {
            std::pair<int, RenderedPage> job;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return stop || closing || !waiting.empty(); });
                if (stop || waiting.empty()) return;
                job = std::move(waiting.front());
                waiting.pop_front();
            }
            QByteArray content;
            try {
                content = maker.make(job.second);
            } catch (...) {
                const std::lock_guard lock(mutex);
                if (!error) error = std::current_exception();
                stop = true;
                changed.notify_all();
                return;
            }
            {
                const std::lock_guard lock(mutex);
                painted.emplace(job.first, std::move(content));
                // Whoever paints the next page to write writes it, and those after it ready.
                for (auto it = painted.begin(); it != painted.end() && it->first == written;
                     it = painted.erase(it), ++written)
                    writePage(it->second);
            }
            changed.notify_all();
        }
    }

    void page(const RenderedPage& page) {
        if (threads == 0) {
            writePage(inTurn->make(page));
            ++written;
            return;
        }
        {
            std::unique_lock lock(mutex);
            // A few pages wait for each thread, no more: memory stays flat.
            changed.wait(lock, [&] { return stop || given - written < 4 * threads; });
            if (error) std::rethrow_exception(error);
            if (stop) return;
            waiting.emplace_back(given++, page);
        }
        changed.notify_all();
    }

    bool finish() {
        if (threads > 0) {
            {
                const std::lock_guard lock(mutex);
                closing = true;
            }
            changed.notify_all();
            for (std::thread& w : workers) w.join();
            workers.clear();
            if (error) std::rethrow_exception(error);
        }
        QByteArray fontRefs, imageRefs;
        for (const auto& [identity, font] : resources.fonts()) {
            if (!font->embedded) continue;
            fontRefs += '/' + font->name + ' ' + ref(writeFont(*font)) + ' ';
        }
        for (const auto& [name, image] : resources.images())
            imageRefs += '/' + name + ' ' + ref(writeImage(*image)) + ' ';

        startObject(kPages);
        QByteArray pages = "<< /Type /Pages /Kids [";
        for (const int p : pageObjects) pages += ref(p) + ' ';
        pages += "] /Count ";
        appendInt(pages, qsizetype(pageObjects.size()));
        pages += " /MediaBox [0 0 ";
        appendNum(pages, setup.pageWidth() / 20.0);
        pages += ' ';
        appendNum(pages, setup.pageHeight() / 20.0);
        pages += "] /Resources << /ProcSet [/PDF /Text /ImageB /ImageC] /Font << " + fontRefs +
                 ">> /XObject << " + imageRefs + ">> >> >>\nendobj\n";
        write(pages);
        startObject(kCatalog);
        write("<< /Type /Catalog /Pages " + ref(kPages) + " >>\nendobj\n");
        startObject(kInfo);
        write("<< /Title " + textString(title) +
              " /Creator (Tolvane) /Producer (Tolvane) >>\nendobj\n");

        const qint64 xref = at;
        QByteArray table = "xref\n0 ";
        appendInt(table, qsizetype(offsets.size()));
        table += "\n0000000000 65535 f \n";
        for (size_t i = 1; i < offsets.size(); ++i)
            table += QByteArray::number(offsets[i]).rightJustified(10, '0') + " 00000 n \n";
        table += "trailer\n<< /Size ";
        appendInt(table, qsizetype(offsets.size()));
        table += " /Root " + ref(kCatalog) + " /Info " + ref(kInfo) + " >>\nstartxref\n";
        appendInt(table, xref);
        table += "\n%%EOF\n";
        write(table);
        return !failed;
    }

    int writeFont(const PdfFont& f) {
        const int type0 = newObject(), cid = newObject(), descriptor = newObject(),
                  program = newObject(), unicode = newObject();
        const QByteArray file = subsetTrueType(f);
        QByteArray dict = "/Length1 ";
        appendInt(dict, file.size());
        stream(program, dict + " /Filter /FlateDecode", deflate(file));

        const QByteArray& hhea = f.tables.at("hhea");
        QByteArray d = "<< /Type /FontDescriptor /FontName /" + f.baseName + " /Flags ";
        appendInt(d, 4 | (f.fixedPitch ? 1 : 0) | (f.italic ? 64 : 0));
        d += " /FontBBox [";
        for (const int at : {36, 38, 40, 42}) {
            appendInt(d, f.scaled(f.head(at)));
            d += ' ';
        }
        d += "] /ItalicAngle ";
        appendNum(d, f.italicAngle);
        d += " /Ascent ";
        appendInt(d, f.scaled(s16(hhea, 4)));
        d += " /Descent ";
        appendInt(d, f.scaled(s16(hhea, 6)));
        d += " /CapHeight ";
        appendInt(d, f.scaled(s16(hhea, 4)));
        d += " /StemV 80 /FontFile2 " + ref(program) + " >>\nendobj\n";
        startObject(descriptor);
        write(d);

        QByteArray widths = "[";
        for (int g = 0; g < f.glyphCount; ++g) {
            if (!f.used[size_t(g)]) continue;
            appendInt(widths, g);
            widths += " [";
            appendInt(widths, f.width(quint32(g)));
            widths += "] ";
        }
        widths += ']';
        startObject(cid);
        write("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + f.baseName +
              " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>"
              " /FontDescriptor " +
              ref(descriptor) + " /CIDToGIDMap /Identity /W " + widths + " >>\nendobj\n");
        stream(unicode, "/Filter /FlateDecode", deflate(toUnicode(f)));
        startObject(type0);
        write("<< /Type /Font /Subtype /Type0 /BaseFont /" + f.baseName +
              " /Encoding /Identity-H /DescendantFonts [" + ref(cid) + "] /ToUnicode " +
              ref(unicode) + " >>\nendobj\n");
        return type0;
    }

    int writeImage(const PdfImage& image) {
        const int object = newObject();
        QByteArray size = " /Width ";
        appendInt(size, image.width);
        size += " /Height ";
        appendInt(size, image.height);
        size += " /BitsPerComponent 8 /Filter /FlateDecode";
        QByteArray mask;
        if (!image.alpha.isEmpty()) {
            const int alpha = newObject();
            stream(alpha, "/Type /XObject /Subtype /Image /ColorSpace /DeviceGray" + size,
                   image.alpha);
            mask = " /SMask " + ref(alpha);
        }
        stream(object, "/Type /XObject /Subtype /Image /ColorSpace /DeviceRGB" + size + mask,
               image.rgb);
        return object;
    }
};

PdfPageWriter::PdfPageWriter(QIODevice& out, int threads)
    : d_(std::make_unique<Impl>(out, threads)) {}

PdfPageWriter::~PdfPageWriter() = default;

void PdfPageWriter::begin(const QString& title, const PageSetup& page) {
    cad::keepFreedMemoryInHeap();
    d_->title = title;
    d_->setup = page;
    d_->write("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    if (d_->threads == 0) {
        d_->inTurn = std::make_unique<PageMaker>(d_->resources, page);
        return;
    }
    for (int i = 0; i < d_->threads; ++i) d_->workers.emplace_back([this] { d_->work(); });
}

void PdfPageWriter::page(const RenderedPage& page) {
    d_->page(page);
}

bool PdfPageWriter::finish() {
    return d_->finish();
}

}  // namespace tolvane::reports
