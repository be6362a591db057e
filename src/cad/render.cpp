#include "cad/render.h"

#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QImage>
#include <QImageWriter>
#include <QPageSize>
#include <QPaintEngine>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QSaveFile>
#include <QSet>
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <future>
#include <mutex>
#include <numbers>
#include <optional>
#include <unordered_map>

#include "cad/colors.h"
#include "cad/grips.h"
#include "cad/name_lookups.h"
#include "cad/pictures.h"
#include "cad/search_folders.h"

namespace tolvane::cad {

namespace {

// The user's alternate font; renders may run on other threads (PDF pages).
std::mutex alternateFontLock;
QString alternateFontFamily;

}  // namespace

// The installed family a style's font file stands for: "DejaVuSans.ttf" is "DejaVu Sans"
// (names compared without case and spaces). Empty when none is installed.
QString installedFamily(const QString& fileBase) {
    static const QHash<QString, QString> families = [] {
        QHash<QString, QString> out;
        for (const QString& f : QFontDatabase::families())
            out.insert(f.toLower().remove(QLatin1Char(' ')), f);
        return out;
    }();
    return families.value(fileBase.toLower().remove(QLatin1Char(' ')));
}

void setAlternateFont(const QString& family) {
    const std::lock_guard lock(alternateFontLock);
    alternateFontFamily = family;
}

QString alternateFont() {
    const std::lock_guard lock(alternateFontLock);
    return alternateFontFamily;
}

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Two device points closer than this are one point (long cables seen from far away).
constexpr double kMergeDistance = 0.7;
// A dash pattern shorter than this many pixels is drawn as a solid line, as it could not be
// told from one; more dashes than this on one segment are not worth drawing one by one.
constexpr double kMinPatternPixels = 3.0;
constexpr double kMaxDashesPerSegment = 20000.0;
// Line weight drawn for "default" (hundredths of a millimetre).
constexpr int kDefaultWeight = 25;
constexpr size_t kBatchFlushLines = 1 << 16;
// On devices that keep vectors: how many batches back the lines of a pen look for its
// latest, and how many wait at most.
constexpr size_t kLookBack = 32, kMostBatches = 256;
// How far from its origin a run of glyphs may reach (in its text space).
constexpr double kTextSpaceReach = 1e6;

// An affine map x' = a x + c y + e, y' = b x + d y + f.
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    QPointF map(QPointF p) const { return {a * p.x() + c * p.y() + e, b * p.x() + d * p.y() + f}; }
    // This map applied after `inner`.
    Affine after(const Affine& in) const {
        return {a * in.a + c * in.b, b * in.a + d * in.b,     a * in.c + c * in.d,
                b * in.c + d * in.d, a * in.e + c * in.f + e, b * in.e + d * in.f + f};
    }
    // The mean length factor (for radii, dash lengths, text heights).
    double scale() const { return std::sqrt(std::abs(a * d - b * c)); }
    double maxScale() const { return std::max(std::hypot(a, b), std::hypot(c, d)); }
};

Affine viewAffine(const View& v) {
    const QTransform t = v.transform();
    return {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()};
}

// Block coordinates to the coordinates of the space holding the insert.
Affine insertAffine(const Entity& ins, QPointF base) {
    const double r = ins.rotation * kPi / 180.0, cs = std::cos(r), sn = std::sin(r);
    Affine m{ins.xScale * cs, ins.xScale * sn, -ins.yScale * sn, ins.yScale * cs, 0, 0};
    const QPointF b = m.map(base);
    m.e = ins.start.x() - b.x();
    m.f = ins.start.y() - b.y();
    return m;
}

// Whether a name is the same as a literal, ignoring case.
bool is(const QString& name, QLatin1StringView word) {
    return name.compare(word, Qt::CaseInsensitive) == 0;
}

struct LayerInfo {
    const Layer* layer = nullptr;
    bool visible = true;
    int color = 7;
    const LineType* lineType = nullptr;  // null: continuous
};

// The inherited properties of the insert whose block is being drawn.
struct Context {
    Affine toDevice;
    int color = 7;                       // resolved colour of the insert
    const LineType* lineType = nullptr;  // resolved line type of the insert
    int weight = kDefaultWeight;
    const LayerInfo* layer = nullptr;  // entities on layer 0 take the insert's layer
    int depth = 0;
};

struct Pen {
    QRgb rgb = 0;
    int width = 1;  // pixels
    const LineType* lineType = nullptr;
    double patternScale = 1.0;  // world pattern lengths to pixels
};

// Solid one-pixel lines written straight into a 32-bit image. The raster engine handles a
// thin line pixel by pixel as spans, which is most of the time of a view of a whole large
// drawing (tens of millions of pixels of long cables), and several times more with
// antialiasing; stepping along the line here is several times faster. Used only where it
// paints what the painter would: a 32-bit image, no clipping, identity transform, opaque
// colours; with antialiasing each line shares its ink between the two pixels it passes
// between, as the painter's antialiased lines do.
class DirectLines {
  public:
    static std::optional<DirectLines> of(QPainter& p) {
        auto* image = dynamic_cast<QImage*>(p.device());
        if (!image || p.hasClipping() || !p.transform().isIdentity() ||
            p.compositionMode() != QPainter::CompositionMode_SourceOver)
            return std::nullopt;
        const QImage::Format f = image->format();
        const bool smooth = p.testRenderHint(QPainter::Antialiasing);
        // Blending below assumes premultiplied pixels (opaque ones are).
        if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32_Premultiplied &&
            (f != QImage::Format_ARGB32 || smooth))
            return std::nullopt;
        DirectLines d;
        // The painter's own buffer: bits() could detach a shared image and leave the
        // painter drawing into the other copy.
        d.bits_ = const_cast<uchar*>(image->constBits());
        d.stride_ = image->bytesPerLine();
        d.w_ = image->width();
        d.h_ = image->height();
        d.smooth_ = smooth;
        return d;
    }

    void draw(const std::vector<QLineF>& lines, QRgb rgb) const {
        const quint32 pixel = 0xff000000u | rgb;
        for (const QLineF& l : lines) drawLine(l.x1(), l.y1(), l.x2(), l.y2(), pixel);
    }

    void drawLine(double x0, double y0, double x1, double y1, quint32 pixel) const {
        if (!clip(x0, y0, x1, y1)) return;
        if (smooth_) {
            drawSmoothLine(x0, y0, x1, y1, pixel);
            return;
        }
        const int ax = int(x0), ay = int(y0), bx = int(x1), by = int(y1);
        const int dx = bx - ax, dy = by - ay;
        const int n = std::max(std::abs(dx), std::abs(dy));
        auto put = [&](int x, int y) {
            reinterpret_cast<quint32*>(bits_ + qsizetype(y) * stride_)[x] = pixel;
        };
        if (n == 0) {
            put(ax, ay);
            return;
        }
        // Fixed point 32.32 steps along the minor axis, rounded to the nearest pixel.
        const qint64 step = (qint64(std::abs(dx) >= std::abs(dy) ? dy : dx) << 32) / n;
        qint64 minor = (qint64(std::abs(dx) >= std::abs(dy) ? ay : ax) << 32) + (qint64(1) << 31);
        if (std::abs(dx) >= std::abs(dy)) {
            const int sx = dx > 0 ? 1 : -1;
            for (int i = 0, x = ax; i <= n; ++i, x += sx, minor += step) put(x, int(minor >> 32));
        } else {
            const int sy = dy > 0 ? 1 : -1;
            for (int i = 0, y = ay; i <= n; ++i, y += sy, minor += step) put(int(minor >> 32), y);
        }
    }

  private:
    // An antialiased line one pixel wide: in each pixel column (row, for a steep line) its
    // ink is shared between the two pixels whose centres lie either side of it, in
    // proportion to how near it passes to each (Wu's lines). The ends are inside the image.
    // Between its end columns the line's height steps in fixed point, 16 bits of fraction.
    void drawSmoothLine(double x0, double y0, double x1, double y1, quint32 pixel) const {
        const bool steep = std::abs(y1 - y0) > std::abs(x1 - x0);
        if (steep) {
            std::swap(x0, y0);
            std::swap(x1, y1);
        }
        if (x0 > x1) {
            std::swap(x0, x1);
            std::swap(y0, y1);
        }
        const double gradient = x1 > x0 ? (y1 - y0) / (x1 - x0) : 0.0;
        const int first = int(x0), last = int(x1);
        const int rows = steep ? w_ : h_;
        // Pixel (column, row) of the line's own axes in the image.
        const qsizetype columnStep = steep ? stride_ : 4, rowStep = steep ? 4 : stride_;
        const auto column = [&](int x, qint64 y) {
            const int row = int(y >> 16);
            const int far = int((y >> 8) & 0xff);
            uchar* at = bits_ + x * columnStep + qsizetype(row) * rowStep;
            if (unsigned(row) < unsigned(rows)) blend(at, pixel, 256 - far);
            if (far > 0 && unsigned(row + 1) < unsigned(rows)) blend(at + rowStep, pixel, far);
        };
        // The height at a column's centre, within the line's ends, less half a pixel.
        const auto heightAt = [&](int x) {
            const double y = y0 + gradient * (std::clamp(x + 0.5, x0, x1) - x0) - 0.5;
            return qint64(std::floor(y * 65536.0));
        };
        column(first, heightAt(first));
        if (last == first) return;
        const qint64 step = qint64(std::llround(gradient * 65536.0));
        qint64 y = heightAt(first + 1);
        if (step == 0 && last - first > 1) {
            // Level (or plumb): the same two rows all along, with the same shares of ink.
            const int row = int(y >> 16), far = int((y >> 8) & 0xff), n = last - first - 1;
            for (const auto& [r, coverage] : {std::pair(row, 256 - far), std::pair(row + 1, far)}) {
                if (coverage > 0 && unsigned(r) < unsigned(rows))
                    blendRun(bits_ + (first + 1) * columnStep + qsizetype(r) * rowStep, columnStep,
                             n, pixel, coverage);
            }
        } else {
            for (int x = first + 1; x < last; ++x, y += step) column(x, y);
        }
        column(last, heightAt(last));
    }

    // blend() on n pixels `step` bytes apart.
    static void blendRun(uchar* at, qsizetype step, int n, quint32 pixel, int coverage) {
        if (step == 4) {  // along a row: let the compiler take several at once
            auto* p = reinterpret_cast<quint32*>(at);
            for (int i = 0; i < n; ++i) p[i] = mix(p[i], pixel, coverage);
        } else {
            for (int i = 0; i < n; ++i, at += step) {
                auto* p = reinterpret_cast<quint32*>(at);
                *p = mix(*p, pixel, coverage);
            }
        }
    }

    // Lays `pixel` over the pixel at `at` with a coverage of 0..256.
    static void blend(uchar* at, quint32 pixel, int coverage) {
        quint32& to = *reinterpret_cast<quint32*>(at);
        to = mix(to, pixel, coverage);
    }

    // Opaque ink over a premultiplied (or opaque) pixel: every channel, alpha too, moves
    // towards the ink by the coverage (0..256).
    static quint32 mix(quint32 to, quint32 pixel, int coverage) {
        if (coverage >= 256) return pixel;
        const quint32 keep = 256 - quint32(coverage), take = quint32(coverage);
        const quint32 rb =
            (((to & 0xff00ffu) * keep + (pixel & 0xff00ffu) * take) >> 8) & 0xff00ffu;
        const quint32 ag =
            ((((to >> 8) & 0xff00ffu) * keep + ((pixel >> 8) & 0xff00ffu) * take)) & 0xff00ff00u;
        return ag | rb;
    }

    // Liang-Barsky clipping to the image; false when nothing is left.
    bool clip(double& x0, double& y0, double& x1, double& y1) const {
        if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1))
            return false;
        const double xmax = w_ - 1e-6, ymax = h_ - 1e-6;
        double t0 = 0, t1 = 1;
        const double dx = x1 - x0, dy = y1 - y0;
        auto edge = [&](double p, double q) {
            if (p == 0) return q >= 0;
            const double r = q / p;
            if (p < 0) {
                if (r > t1) return false;
                t0 = std::max(t0, r);
            } else {
                if (r < t0) return false;
                t1 = std::min(t1, r);
            }
            return true;
        };
        if (!edge(-dx, x0) || !edge(dx, xmax - x0) || !edge(-dy, y0) || !edge(dy, ymax - y0))
            return false;
        const double ax = x0 + t0 * dx, ay = y0 + t0 * dy;
        x1 = std::clamp(x0 + t1 * dx, 0.0, xmax);
        y1 = std::clamp(y0 + t1 * dy, 0.0, ymax);
        x0 = std::clamp(ax, 0.0, xmax);
        y0 = std::clamp(ay, 0.0, ymax);
        return true;
    }

    uchar* bits_ = nullptr;
    qsizetype stride_ = 0;
    int w_ = 0, h_ = 0;
    bool smooth_ = false;
};

// A cheap hash of a name's text: Qt's seeded one costs more than the rest of drawing a
// small entity.
struct NameHash {
    size_t operator()(const QString& s) const noexcept {
        size_t h = 14695981039346656037ull;
        for (QChar c : s) h = (h ^ c.unicode()) * 1099511628211ull;
        return h;
    }
};

// What is known of the names entities refer to (layers, blocks, text styles), by the names
// as the entities write them. Entities read from a file share the text of their names: the
// text's address finds the value without reading or hashing the name (the document does not
// change while it is drawn or measured, so an address stands for one name throughout).
template <typename T>
class NameTable {
  public:
    // The value for a name, made by `make` the first time the name is met.
    template <typename Make>
    T get(const QString& name, Make make) {
        const QChar* text = name.constData();
        Seen& seen = seen_[(quintptr(text) / sizeof(QChar)) % seen_.size()];
        if (seen.text == text && seen.size == name.size()) return seen.value;
        auto it = byText_.find(name);
        if (it == byText_.end()) it = byText_.emplace(name, make()).first;
        seen = {text, name.size(), it->second};
        return it->second;
    }

  private:
    struct Seen {
        const QChar* text = nullptr;
        qsizetype size = -1;
        T value{};
    };
    std::array<Seen, 64> seen_{};
    std::unordered_map<QString, T, NameHash> byText_;
};

struct Batch {
    QRgb rgb = 0;
    int width = 1;
    std::vector<QLineF> lines;
    std::vector<QRectF> squares;
    // On devices that keep vectors: polylines, `runs` points each, one after another, and
    // the area they cover.
    std::vector<QPointF> points;
    std::vector<int> runs;
    BBox area;

    // A segment that starts where the last one ended carries its polyline on.
    void addSegment(QPointF a, QPointF b) {
        if (!runs.empty() && points.back() == a) {
            if (b != a) {
                points.push_back(b);
                ++runs.back();
            }
            return;
        }
        points.push_back(a);
        points.push_back(b);
        runs.push_back(2);
    }
    size_t size() const { return lines.size() + points.size(); }
};

class Renderer {
  public:
    Renderer(QPainter& p, const Document& doc, const View& view, const RenderOptions& o,
             RenderStats* stats)
        : p_(p), doc_(doc), o_(o), stats_(stats) {
        clip_ = QRectF(QPointF(0, 0), QSizeF(view.size())).adjusted(-4, -4, 4, 4);
        const int dpi = p.device() ? p.device()->logicalDpiX() : 96;
        weightToPixels_ = dpi / 2540.0;
        for (const QString& h : o.selected) selected_.insert(handleKey(h));
        top_.toDevice = viewAffine(view);
        contrast_ = contrastColor(o.background).rgb();
        direct_ = DirectLines::of(p);
        const QPaintEngine* engine = p.paintEngine();
        vector_ = engine && engine->type() != QPaintEngine::Raster;
    }

    void drawTop(const Entity& e) {
        if (stats_) ++stats_->entities;
        // The inserts' bound on work (geometry.h), counted here in entities drawn inside
        // blocks: each of those is drawn in a bounded number of steps.
        work_ = kMaxInsertWork;
        draw(e, top_);
        if (work_ < 0 && stats_) ++stats_->cutShort;
        if (!selected_.isEmpty() && selected_.contains(handleKey(e.handle))) {
            if (layerOf(e, top_)->visible) addGrips(e, top_.toDevice);
        }
    }

    // Draws the lines waiting, not the texts: what is drawn next goes above the lines and under
    // the texts.
    void finishLines() { flush(); }

    void finish() {
        flushAll();
        if (grips_.empty()) return;
        p_.setPen(Qt::NoPen);
        p_.setBrush(o_.gripColor);
        p_.drawRects(grips_.data(), int(grips_.size()));
        p_.setBrush(Qt::NoBrush);
    }

  private:
    const LineType* lineTypeByName(const QString& name) {
        if (name.isEmpty() || is(name, QLatin1StringView("CONTINUOUS"))) return nullptr;
        const LineType* t = doc_.lineType(name);
        if (!t || t->pattern.isEmpty()) return nullptr;
        double total = 0;
        for (double v : t->pattern) total += std::abs(v);
        return total > 0 ? t : nullptr;
    }

    // Layers are looked at as their entities are met (a drawing may have many more layers
    // than one view shows), each once; names as written in the entities are remembered so
    // that most lookups neither fold case nor allocate.
    const LayerInfo* layerOf(const Entity& e, const Context& ctx) {
        if (ctx.layer && e.layer == QLatin1String("0")) return ctx.layer;
        return byName_.get(e.layer, [&]() -> const LayerInfo* {
            const Layer* l = doc_.layer(e.layer);
            // A layer without a record: shown, colour 7, continuous.
            if (!l) return &unknownLayer_;
            const auto [it, added] = layers_.try_emplace(l);
            LayerInfo& info = it->second;
            if (added) {
                info.layer = l;
                info.visible = l->on && !l->frozen && l->color >= 0;
                info.color = std::abs(l->color);
                info.lineType = lineTypeByName(l->lineType);
            }
            return &info;
        });
    }

    const LineType* lineTypeOf(const Entity& e, const LayerInfo& layer, const Context& ctx) {
        // Almost every entity shares one "BYLAYER" string: its text need not be compared.
        if (e.lineType->constData() == byLayerText_) return layer.lineType;
        if (e.lineType.isEmpty() || is(e.lineType, QLatin1StringView("BYLAYER"))) {
            byLayerText_ = e.lineType->constData();
            return layer.lineType;
        }
        if (is(e.lineType, QLatin1StringView("BYBLOCK"))) return ctx.lineType;
        auto it = lineTypes_.find(e.lineType);
        if (it == lineTypes_.end()) it = lineTypes_.insert(e.lineType, lineTypeByName(e.lineType));
        return it.value();
    }

    int weightOf(const Entity& e, const Context& ctx) const {
        if (e.lineWeight == -2) return ctx.weight;
        return e.lineWeight >= 0 ? e.lineWeight : kDefaultWeight;  // layers carry no weight
    }

    int pixelsOf(int weight) const {
        if (!o_.lineWeights) return 1;
        return std::clamp(int(std::lround(weight * weightToPixels_)), 1, 64);
    }

    void draw(const Entity& e, const Context& ctx) {
        if (ctx.depth > 0 && --work_ < 0) return;
        // What is known not to show is left before any lookup: most of a large drawing seen
        // whole is definitions inside blocks, hidden attributes and texts below a pixel.
        switch (e.kind) {
            case EntityKind::AttributeDefinition:
                if (ctx.depth > 0) return;
                [[fallthrough]];
            case EntityKind::Text:
            case EntityKind::Attribute:
                if (e.kind == EntityKind::Attribute && (e.attributeFlags & 1)) return;
                // On a device that keeps vectors (a PDF) a text stays text however small:
                // a reader zooms in on it, searches and copies it.
                if (!vector_ && textHeight(doc_, e) * ctx.toDevice.maxScale() < 1.0) {
                    if (stats_) ++stats_->greeked;
                    return;
                }
                break;
            case EntityKind::Other:
                return;
            default:
                break;
        }
        const LayerInfo* layer = layerOf(e, ctx);
        if (!layer->visible) return;
        Pen pen;
        const int color = resolveColor(e.color, layer->color, ctx.color);
        pen.rgb = color == 7 ? contrast_ : indexRgb(color);
        pen.width = pixelsOf(weightOf(e, ctx));
        pen.lineType = lineTypeOf(e, *layer, ctx);
        pen.patternScale = ctx.toDevice.scale();
        const Affine& m = ctx.toDevice;
        switch (e.kind) {
            case EntityKind::Line:
                path_.clear();
                addPoint(m.map(e.start));
                addPoint(m.map(e.end), true);
                stroke(pen, false);
                break;
            case EntityKind::Polyline:
                drawPolyline(e, m, pen);
                break;
            case EntityKind::Circle:
                path_.clear();
                addArc(Prim::arc(e.start, e.radius, 0.0, kTwoPi), m);
                fillPath(e, pen);
                stroke(pen, true);
                break;
            case EntityKind::Arc: {
                double sweep = std::fmod(e.endAngle - e.startAngle, 360.0);
                if (sweep <= 0) sweep += 360.0;
                path_.clear();
                addArc(
                    Prim::arc(e.start, e.radius, e.startAngle * kPi / 180.0, sweep * kPi / 180.0),
                    m);
                stroke(pen, false);
                break;
            }
            case EntityKind::Ellipse:
                drawEllipse(e, m, pen);
                break;
            case EntityKind::Point:
                drawPoint(m.map(e.start), m.scale(), pen);
                break;
            case EntityKind::Text:
                drawText(e, e.text, m, pen);
                break;
            case EntityKind::AttributeDefinition:
                // Outside a block a definition shows its tag; inside one, the inserts show
                // their attributes instead.
                if (ctx.depth == 0) drawText(e, e.tag, m, pen);
                break;
            case EntityKind::Attribute:
                drawText(e, e.text, m, pen);
                break;
            case EntityKind::Insert:
                drawInsert(e, ctx, *layer, color, pen);
                break;
            case EntityKind::Dimension:
                drawDimension(e, m, pen, color, layer->color);
                break;
            case EntityKind::Image:
                drawImage(e, m, pen);
                break;
            case EntityKind::Face3D:
            case EntityKind::PolyfaceMesh:
                drawEdges(e, m, pen);
                break;
            case EntityKind::Viewport:
                drawViewportFrame(e, m, pen);
                break;
            case EntityKind::Other:
                // Kinds kept as they were read (solids, hatches of other programs).
                break;
        }
    }

    void drawInsert(const Entity& e, const Context& ctx, const LayerInfo& layer, int color,
                    const Pen& pen) {
        const Block* block = blocks_.get(e.blockName, [&] { return doc_.block(e.blockName); });
        if (block && ctx.depth < kMaxInsertNesting) {
            Context inner;
            inner.toDevice = ctx.toDevice.after(insertAffine(e, block->base));
            inner.color = color;
            inner.lineType = pen.lineType;
            inner.weight = weightOf(e, ctx);
            inner.layer = &layer;
            inner.depth = ctx.depth + 1;
            const BBox local = blockBox(*block, 1);
            bool shown = local.isValid();
            if (shown) {
                BBox dev;
                for (QPointF c : {QPointF(local.x0, local.y0), QPointF(local.x1, local.y0),
                                  QPointF(local.x1, local.y1), QPointF(local.x0, local.y1)})
                    dev.add(inner.toDevice.map(c));
                shown = dev.x1 >= clip_.left() && dev.x0 <= clip_.right() &&
                        dev.y1 >= clip_.top() && dev.y0 <= clip_.bottom();
                if (shown && dev.x1 - dev.x0 < 1.0 && dev.y1 - dev.y0 < 1.0) {
                    // Smaller than a pixel: one dot stands for the whole block.
                    const QPointF c((dev.x0 + dev.x1) / 2, (dev.y0 + dev.y1) / 2);
                    batch(pen.rgb, 1, BBox{dev.x0, dev.y0, dev.x1, dev.y1})
                        .squares.emplace_back(c.x() - 0.5, c.y() - 0.5, 1, 1);
                    shown = false;
                }
            }
            if (shown) {
                for (const Entity& sub : block->entities) draw(sub, inner);
            }
        }
        // Attributes are in the insert's space already; by-block properties refer to it.
        Context attrs = ctx;
        attrs.color = color;
        attrs.lineType = pen.lineType;
        attrs.weight = weightOf(e, ctx);
        attrs.layer = &layer;
        for (const Entity& a : e.attributes) draw(a, attrs);
    }

    // The box of a block's drawing in its own coordinates, as deep as inserts are drawn.
    BBox blockBox(const Block& b, int depth) {
        auto it = blockBoxes_.find(&b);
        if (it != blockBoxes_.end()) return it.value();
        BBox box;
        blockBoxes_.insert(&b, box);  // a block holding itself ends here
        for (const Entity& sub : b.entities) {
            if (sub.kind == EntityKind::AttributeDefinition) continue;
            if (sub.kind == EntityKind::Insert) {
                const Block* inner = doc_.block(sub.blockName);
                if (!inner || depth >= kMaxInsertNesting) continue;
                const BBox ib = blockBox(*inner, depth + 1);
                if (!ib.isValid()) continue;
                const Affine m = insertAffine(sub, inner->base);
                for (QPointF c : {QPointF(ib.x0, ib.y0), QPointF(ib.x1, ib.y0),
                                  QPointF(ib.x1, ib.y1), QPointF(ib.x0, ib.y1)})
                    box.add(m.map(c));
                for (const Entity& a : sub.attributes) box.add(boundingBox(doc_, a));
            } else {
                box.add(boundingBox(doc_, sub));
            }
        }
        blockBoxes_.insert(&b, box);
        return box;
    }

    // ---- strokes ---------------------------------------------------------------------

    // Appends a device point to the path being built, dropping points that fall on the
    // previous one (the last point of a path is always kept).
    void addPoint(QPointF p, bool last = false) {
        if (!path_.empty()) {
            const QPointF d = p - path_.back();
            if (std::abs(d.x()) < kMergeDistance && std::abs(d.y()) < kMergeDistance) {
                if (last) {
                    if (path_.size() > 1)
                        path_.back() = p;
                    else
                        path_.push_back(p);
                }
                return;
            }
        }
        path_.push_back(p);
    }

    // Segments enough for the arc to stay within half a pixel of the true curve.
    int arcSteps(double sweep, double radiusPx) const {
        if (o_.curveResolution > 0)
            return arcPieces(sweep, 2.0 * std::numbers::pi / o_.curveResolution, 2);
        if (!(radiusPx >= 1.0)) return 2;
        const double step = 2.0 * std::acos(std::max(-1.0, 1.0 - 0.5 / radiusPx));
        return arcPieces(sweep, step, 2);
    }

    // Appends an arc given in the coordinates `m` maps to the device.
    void addArc(const Prim& arc, const Affine& m, bool skipFirst = false) {
        const int n = arcSteps(arc.sweep, arc.r * m.maxScale());
        // The radius vector turned step by step: one sine and cosine per arc, not per point.
        const double step = arc.sweep / n, cs = std::cos(step), sn = std::sin(step);
        double vx = arc.r * std::cos(arc.a0), vy = arc.r * std::sin(arc.a0);
        for (int i = 0; i <= n; ++i) {
            if (i > 0 || !skipFirst) addPoint(m.map(arc.c + QPointF(vx, vy)), i == n);
            const double x = vx * cs - vy * sn;
            vy = vx * sn + vy * cs;
            vx = x;
        }
    }

    void drawPolyline(const Entity& e, const Affine& m, const Pen& pen) {
        const qsizetype n = e.vertices.size();
        if (n == 0) return;
        path_.clear();
        addPoint(m.map(e.vertices[0].pos));
        const qsizetype segments = e.closed ? n : n - 1;
        for (qsizetype i = 0; i < segments; ++i) {
            const Vertex& v = e.vertices[i];
            const QPointF next = e.vertices[(i + 1) % n].pos;
            const bool last = i == segments - 1;
            if (std::abs(v.bulge) > 1e-9 && length(next - v.pos) > 1e-12) {
                addArc(bulgeArc(v.pos, next, v.bulge), m, true);
            } else {
                addPoint(m.map(next), last);
            }
        }
        if (n == 1) path_.push_back(path_.back());
        if (e.closed) fillPath(e, pen);
        if (!drawWide(e, m, pen)) stroke(pen, false);
    }

    // A polyline with a width is drawn as the area it covers, in drawing units, when that is
    // wider than a line: each segment a band narrowing or widening from its start width to its
    // end width, round at the vertices where two segments meet, its two ends as the pen caps
    // are set (a closed polyline has none). Returns false when it is to be drawn as a line.
    bool drawWide(const Entity& e, const Affine& m, const Pen& pen) {
        const EntityDetail& d = *e.detail;
        if (!(2 * halfWidth(e) * m.maxScale() >= 1.5)) return false;
        const qsizetype n = e.vertices.size();
        auto widthAt = [&](qsizetype i) {
            return d.vertexWidths.isEmpty() ? QPointF(d.width, d.width)
                                            : d.vertexWidths.value(i % n);
        };
        QPainterPath area;
        area.setFillRule(Qt::WindingFill);
        auto addPolygon = [&](const std::vector<QPointF>& points) {
            QPolygonF device;
            device.reserve(qsizetype(points.size()) + 1);
            for (QPointF p : points) device << m.map(p);
            // All pieces turn the same way, so that where they overlap they add up.
            double twiceArea = 0;
            for (qsizetype i = 0; i < device.size(); ++i) {
                const QPointF a = device[i], b = device[(i + 1) % device.size()];
                twiceArea += a.x() * b.y() - b.x() * a.y();
            }
            if (twiceArea < 0) std::reverse(device.begin(), device.end());
            area.addPolygon(device);
            area.closeSubpath();
        };
        auto disc = [&](QPointF c, double r) {
            if (r <= 0) return;
            const int k = arcSteps(kTwoPi, r * m.maxScale());
            std::vector<QPointF> points;
            for (int i = 0; i < k; ++i)
                points.push_back(c +
                                 r * QPointF(std::cos(kTwoPi * i / k), std::sin(kTwoPi * i / k)));
            addPolygon(points);
        };
        const qsizetype segments = e.closed ? n : n - 1;
        const bool roundEnds = !o_.flatCaps;
        for (qsizetype i = 0; i < segments; ++i) {
            const QPointF a = e.vertices[i].pos, b = e.vertices[(i + 1) % n].pos;
            const double bulge = e.vertices[i].bulge;
            const QPointF w = widthAt(i);
            std::vector<QPointF> left, right;
            auto side = [&](QPointF p, QPointF normal, double t) {
                const double half = (w.x() + (w.y() - w.x()) * t) / 2;
                left.push_back(p + normal * half);
                right.push_back(p - normal * half);
            };
            if (std::abs(bulge) > 1e-9 && length(b - a) > 1e-12) {
                const Prim arc = bulgeArc(a, b, bulge);
                const int k = arcSteps(std::abs(arc.sweep), arc.r * m.maxScale());
                for (int j = 0; j <= k; ++j) {
                    const double angle = arc.a0 + arc.sweep * j / k;
                    const QPointF radial(std::cos(angle), std::sin(angle));
                    side(arc.c + radial * arc.r, radial, double(j) / k);
                }
            } else {
                const double len = length(b - a);
                const QPointF normal =
                    len > 1e-12 ? QPointF(-(b - a).y(), (b - a).x()) / len : QPointF(0, 1);
                side(a, normal, 0);
                side(b, normal, 1);
            }
            left.insert(left.end(), right.rbegin(), right.rend());
            addPolygon(left);
            // Where two segments meet, the narrower of the two widths there rounds the
            // corner; an open polyline's ends are rounded only with round caps.
            const bool last = i == segments - 1;
            if (i > 0 || e.closed) {
                disc(a, std::min(w.x(), widthAt(i - 1 + (i == 0 ? n : 0)).y()) / 2);
            } else if (roundEnds) {
                disc(a, w.x() / 2);
            }
            if (last && !e.closed && roundEnds) disc(b, w.y() / 2);
        }
        if (segments <= 0) {
            const QPointF w = widthAt(0);
            if (roundEnds || n == 1) disc(e.vertices[0].pos, std::max(w.x(), w.y()) / 2);
        }
        flushAll();
        p_.setPen(Qt::NoPen);
        p_.setBrush(QColor::fromRgb(pen.rgb));
        p_.drawPath(area);
        p_.setBrush(Qt::NoBrush);
        return true;
    }

    void drawEllipse(const Entity& e, const Affine& m, const Pen& pen) {
        const QPointF major = e.end, minor(-e.end.y() * e.ratio, e.end.x() * e.ratio);
        const double from = std::fmod(e.startAngle, kTwoPi);
        const double sweep = oneTurn(e.endAngle - e.startAngle);
        const int n = arcSteps(sweep, length(major) * m.maxScale());
        path_.clear();
        for (int i = 0; i <= n; ++i) {
            const double t = from + sweep * i / n;
            addPoint(m.map(e.start + major * std::cos(t) + minor * std::sin(t)), i == n);
        }
        fillPath(e, pen);
        stroke(pen, false);
    }

    // The lines of one pen, collected to be drawn together, for lines in `area` (device
    // pixels). On a device that keeps vectors, where lines are wider than a pixel (a page's
    // line weights) and overlap visibly, the batches are drawn in the order they were begun
    // and lines join the pen's latest batch only when no later batch lies in their way, so
    // that lines lie over each other in the order they were drawn.
    Batch& batch(QRgb rgb, int width, BBox area) {
        if (vector_) {
            area = area.expanded(width);
            for (size_t i = batches_.size(); i-- > 0 && batches_.size() - i <= kLookBack;) {
                Batch& b = batches_[i];
                if (b.rgb == rgb && b.width == width) {
                    b.area.add(area);
                    return b;
                }
                if (b.area.intersects(area)) break;
            }
            if (batches_.size() >= kMostBatches) flush();
            batches_.push_back(Batch{rgb, width, {}, {}, {}, {}, area});
            return batches_.back();
        }
        if (last_ >= 0 && batches_[size_t(last_)].rgb == rgb &&
            batches_[size_t(last_)].width == width)
            return batches_[size_t(last_)];
        for (size_t i = 0; i < batches_.size(); ++i) {
            if (batches_[i].rgb == rgb && batches_[i].width == width) {
                last_ = int(i);
                return batches_[i];
            }
        }
        batches_.push_back(Batch{rgb, width, {}, {}, {}, {}, {}});
        last_ = int(batches_.size()) - 1;
        return batches_.back();
    }

    bool segmentVisible(QPointF a, QPointF b) const {
        return std::max(a.x(), b.x()) >= clip_.left() && std::min(a.x(), b.x()) <= clip_.right() &&
               std::max(a.y(), b.y()) >= clip_.top() && std::min(a.y(), b.y()) <= clip_.bottom();
    }

    // Draws the path built in path_ with the pen: solid, or dashed by its line type with the
    // pattern running on across the vertices.
    void stroke(const Pen& pen, bool closePath) {
        if (path_.empty()) return;
        if (closePath && path_.size() > 2) path_.push_back(path_.front());
        // One-pixel lines go straight into the image when it can take them, in draw order;
        // the others are collected for the painter.
        Batch* out = nullptr;
        if (direct_ && pen.width <= 1) {
            directPixel_ = 0xff000000u | pen.rgb;
        } else {
            BBox area;
            for (QPointF q : path_) area.add(q);
            out = &batch(pen.rgb, pen.width, area);
        }
        if (path_.size() == 1) path_.push_back(path_.front());
        const LineType* lt = pen.lineType;
        double patternPx = 0;
        if (lt) {
            for (double v : lt->pattern) patternPx += std::abs(v) * pen.patternScale;
            if (patternPx < kMinPatternPixels) lt = nullptr;
        }
        if (!lt) {
            for (size_t i = 1; i < path_.size(); ++i) {
                if (segmentVisible(path_[i - 1], path_[i])) emitLine(out, path_[i - 1], path_[i]);
            }
        } else {
            dash(out, *lt, pen.patternScale, patternPx);
        }
        if (out && out->size() > kBatchFlushLines) flushBatch(*out);
    }

    // On a device that keeps vectors (PDF, printers) the segments of a polyline go out as
    // one, in whole device pixels (1/600 inch in a PDF, as close as arcs are divided there):
    // the file is written and read faster, and is smaller.
    void emitLine(Batch* out, QPointF a, QPointF b) {
        if (!out) {
            direct_->drawLine(a.x(), a.y(), b.x(), b.y(), directPixel_);
        } else if (vector_) {
            const auto whole = [](QPointF p) {
                return QPointF(std::round(p.x()), std::round(p.y()));
            };
            out->addSegment(whole(a), whole(b));
        } else {
            out->lines.emplace_back(a, b);
        }
    }

    void dash(Batch* out, const LineType& lt, double scale, double patternPx) {
        const QList<double>& pat = lt.pattern;
        int element = 0;
        double left = std::abs(pat[0]) * scale;  // what remains of the current element
        auto advance = [&] {
            element = (element + 1) % int(pat.size());
            left = std::abs(pat[element]) * scale;
        };
        for (size_t i = 1; i < path_.size(); ++i) {
            const QPointF a = path_[i - 1], b = path_[i];
            const double len = length(b - a);
            if (len <= 0) continue;
            if (!segmentVisible(a, b) || len / patternPx > kMaxDashesPerSegment) {
                if (segmentVisible(a, b)) emitLine(out, a, b);
                // Skip whole patterns at once, then walk what remains.
                double rest = std::fmod(len, patternPx);
                while (rest > left) {
                    rest -= left;
                    advance();
                }
                left -= rest;
                continue;
            }
            const QPointF u = (b - a) / len;
            double at = 0;
            while (at < len) {
                const double value = pat[element];
                if (value == 0) {  // a dot takes no length (the pattern has other elements)
                    emitLine(out, a + u * at, a + u * at);
                    advance();
                    continue;
                }
                const double piece = std::min(left, len - at);
                if (value > 0) emitLine(out, a + u * at, a + u * (at + piece));
                at += piece;
                left -= piece;
                if (left <= 1e-9) advance();
            }
        }
    }

    void flushBatch(Batch& b) {
        const QColor color = QColor::fromRgb(b.rgb);
        if (!b.lines.empty() && direct_ && b.width <= 1 && color.alpha() == 255) {
            direct_->draw(b.lines, b.rgb);
            b.lines.clear();
        }
        if (!b.lines.empty() || !b.points.empty()) {
            QPen pen(color, b.width <= 1 ? 0 : b.width);
            pen.setCapStyle(b.width <= 1  ? Qt::SquareCap
                            : o_.flatCaps ? Qt::FlatCap
                                          : Qt::RoundCap);
            pen.setJoinStyle(Qt::RoundJoin);
            p_.setPen(pen);
            p_.drawLines(b.lines.data(), int(b.lines.size()));
            b.lines.clear();
        }
        if (!b.points.empty()) {
            QPainterPath path;
            path.reserve(int(b.points.size()));
            size_t at = 0;
            for (int n : b.runs) {
                path.moveTo(b.points[at]);
                for (int i = 1; i < n; ++i) path.lineTo(b.points[at + size_t(i)]);
                at += size_t(n);
            }
            p_.setBrush(Qt::NoBrush);
            p_.drawPath(path);
            b.points.clear();
            b.runs.clear();
        }
        if (!b.squares.empty()) {
            p_.setPen(Qt::NoPen);
            p_.setBrush(color);
            p_.drawRects(b.squares.data(), int(b.squares.size()));
            p_.setBrush(Qt::NoBrush);
            b.squares.clear();
        }
    }

    // Draws the lines collected.
    void flush() {
        for (Batch& b : batches_) flushBatch(b);
        if (vector_) batches_.clear();
    }
    // Draws everything waiting: the lines, then the texts above them.
    void flushAll() {
        flushTexts();
        flush();
    }

    // A filled area in device coordinates, drawn above everything before it in draw order.
    void fillPolygon(const QPolygonF& polygon, const QBrush& brush) {
        flushAll();
        p_.setPen(Qt::NoPen);
        p_.setBrush(brush);
        p_.drawPolygon(polygon);
        p_.setBrush(Qt::NoBrush);
    }
    void fillPolygon(const QPolygonF& polygon, QRgb rgb) {
        fillPolygon(polygon, QBrush(QColor::fromRgb(rgb)));
    }

    QRgb rgbOf(int color, const Pen& pen) const {
        if (color == kColorByLayer || color == kColorByBlock) return pen.rgb;
        return color == 7 ? contrast_ : indexRgb(color);
    }

    // Fills the closed outline just built in path_ as the entity's fill mode asks: solid, or
    // hatch lines over its background colour when it has one.
    void fillPath(const Entity& e, const Pen& pen) {
        if (e.detail->fillMode == FillNone || path_.size() < 3) return;
        const QPolygonF outline(QList<QPointF>(path_.begin(), path_.end()));
        if (!outline.boundingRect().intersects(clip_)) return;
        const QColor color = QColor::fromRgb(rgbOf(e.detail->fillColor, pen));
        if (e.detail->fillMode == FillSolid) {
            fillPolygon(outline, QBrush(color));
            return;
        }
        if (e.detail->fillBkColor != kColorByLayer)
            fillPolygon(outline, QBrush(QColor::fromRgb(rgbOf(e.detail->fillBkColor, pen))));
        fillPolygon(outline, QBrush(color, e.detail->fillMode == FillCross ? Qt::DiagCrossPattern
                                                                           : Qt::BDiagPattern));
    }

    // ---- kinds drawn from their pieces -----------------------------------------------

    void strokeSegment(QPointF a, QPointF b, const Affine& m, const Pen& pen) {
        path_.clear();
        addPoint(m.map(a));
        addPoint(m.map(b), true);
        stroke(pen, false);
    }

    // The dimension's pieces in its colour, except the extension lines and the text, which
    // take the style's colours (by block: the dimension's own).
    void drawDimension(const Entity& e, const Affine& m, const Pen& pen, int color,
                       int layerColor) {
        const DimensionGeometry g = dimensionGeometry(doc_, e);
        const auto rgbOf = [&](int c) {
            const int resolved = resolveColor(c, layerColor, color);
            return resolved == 7 ? contrast_ : indexRgb(resolved);
        };
        Pen solid = pen;
        solid.lineType = nullptr;
        for (const auto& l : g.lines) strokeSegment(l[0], l[1], m, solid);
        for (const QPolygonF& a : g.solids) {
            QPolygonF device;
            for (QPointF p : a) device << m.map(p);
            fillPolygon(device, pen.rgb);
        }
        Pen extension = solid;
        extension.rgb = rgbOf(g.extensionColor);
        for (const auto& l : g.extensions) strokeSegment(l[0], l[1], m, extension);
        Pen text = pen;
        text.rgb = rgbOf(g.text.color);
        drawText(g.text, g.text.text, m, text);
    }

    // A point as the drawing's point mode shows it: a dot (the view's point size), nothing,
    // a plus, a cross or a tick, with a circle and/or a square round it; sized by the
    // drawing's point size in drawing units, or at 0 a twentieth of the view's height.
    void drawPoint(QPointF at, double scale, const Pen& pen) {
        const int mode = doc_.settings().pointMode;
        const double size = doc_.settings().pointSize;
        const double viewHeight = clip_.height() - 8;
        // As other programs read the size: negative, a percentage of the view's height.
        const double full = size > 0 ? size * scale : viewHeight * (size < 0 ? -size / 100 : 0.05);
        const double half = std::max(1.0, full / 2);
        if (at.x() + half < clip_.left() || at.x() - half > clip_.right() ||
            at.y() + half < clip_.top() || at.y() - half > clip_.bottom())
            return;
        Batch& b =
            batch(pen.rgb, 1, BBox{at.x() - half, at.y() - half, at.x() + half, at.y() + half});
        auto line = [&](double x0, double y0, double x1, double y1) {
            b.lines.emplace_back(at + QPointF(x0, y0) * half, at + QPointF(x1, y1) * half);
        };
        switch (mode & 7) {
            case 0: {
                const double dot = std::max(0.5, o_.pointSize / 2);
                b.squares.emplace_back(at.x() - dot, at.y() - dot, 2 * dot, 2 * dot);
                break;
            }
            case 2:
                line(-1, 0, 1, 0);
                line(0, -1, 0, 1);
                break;
            case 3:
                line(-1, -1, 1, 1);
                line(-1, 1, 1, -1);
                break;
            case 4:
                line(0, 0, 0, -1);  // upwards on the screen
                break;
            default:
                break;
        }
        if (mode & 32) {
            constexpr int kPieces = 24;
            for (int i = 0; i < kPieces; ++i) {
                const double a0 = kTwoPi * i / kPieces, a1 = kTwoPi * (i + 1) / kPieces;
                line(std::cos(a0), std::sin(a0), std::cos(a1), std::sin(a1));
            }
        }
        if (mode & 64) {
            line(-1, -1, 1, -1);
            line(1, -1, 1, 1);
            line(1, 1, -1, 1);
            line(-1, 1, -1, -1);
        }
    }

    // Faces and meshes seen from above: their visible edges.
    void drawEdges(const Entity& e, const Affine& m, const Pen& pen) {
        const auto edge = [&](int from, int to) {
            if (from < 0 || to < 0 || from >= e.detail->points3.size() ||
                to >= e.detail->points3.size())
                return;
            strokeSegment(e.detail->points3[from].xy(), e.detail->points3[to].xy(), m, pen);
        };
        if (e.kind == EntityKind::Face3D) {
            for (int i = 0; i < 4; ++i) {
                if (!(e.detail->edgeFlags & (1 << i))) edge(i, (i + 1) % 4);
            }
            return;
        }
        for (const MeshFace& f : e.detail->faces) {
            const int corners = f.index[3] == 0 ? 3 : 4;
            for (int i = 0; i < corners; ++i) {
                const int a = f.index[i], b = f.index[(i + 1) % corners];
                if (a > 0) edge(a - 1, std::abs(b) - 1);
            }
        }
    }

    void drawImage(const Entity& e, const Affine& m, const Pen& pen) {
        const QPointF p0 = m.map(e.start), pu = m.map(e.start + e.detail->uVector),
                      pv = m.map(e.start + e.detail->vVector);
        const QPointF p2 = pu + (pv - p0);
        const QPolygonF frame({p0, pu, p2, pv});
        if (!frame.boundingRect().intersects(clip_)) return;
        // Pictures are never read here: one not read yet is drawn as its frame until it is.
        PictureState state = PictureState::Missing;
        const QImage picture = (e.detail->imageFlags & ImageShow) && !e.detail->fileName.isEmpty()
                                   ? Pictures::instance().picture(e.detail->fileName, &state)
                                   : QImage();
        const bool shown = !picture.isNull();
        if (shown) {
            flushAll();
            // The picture's top left pixel sits at the end of v, its right edge along u.
            const QTransform t(pu.x() - p0.x(), pu.y() - p0.y(), pv.x() - p0.x(), pv.y() - p0.y(),
                               p0.x(), p0.y());
            const QTransform toUnit =
                QTransform::fromScale(1.0 / picture.width(), -1.0 / picture.height()) *
                QTransform::fromTranslate(0, 1);
            p_.save();
            p_.setTransform(toUnit * t, true);
            p_.drawImage(QPointF(0, 0), picture);
            p_.restore();
        }
        if (!(e.detail->imageFlags & ImageHideFrame) || !shown) {
            path_.assign(frame.begin(), frame.end());
            Pen solid = pen;
            solid.lineType = nullptr;
            stroke(solid, true);
            // A picture missing or refused: the frame crossed out.
            if (!shown && state != PictureState::Reading)
                strokeSegment(e.start, e.start + e.detail->uVector + e.detail->vVector, m, solid);
        }
    }

    void drawViewportFrame(const Entity& e, const Affine& m, const Pen& pen) {
        const QPointF h(e.detail->width / 2, e.height / 2);
        path_.clear();
        for (QPointF c : {e.start - h, e.start + QPointF(h.x(), -h.y()), e.start + h,
                          e.start + QPointF(-h.x(), h.y())})
            addPoint(m.map(c));
        Pen solid = pen;
        solid.lineType = nullptr;
        stroke(solid, true);
    }

    // ---- text ------------------------------------------------------------------------

    struct SizedFont {
        QFont font;
        QFontMetricsF metrics;
        QRawFont raw;
        double cap;  // pixels
    };

    // A text's glyphs in a line, from the font's own table of characters and its kerning,
    // with their positions from the baseline's origin, measured as they are drawn: Qt's full
    // shaping (twice, to measure and to draw) costs more than everything else of a drawing's
    // texts. Appended to glyphs_ and glyphPositions_; the advance, or 0 (nothing appended)
    // for scripts that need shaping (joined or reordered letters) and characters the font
    // lacks (which another font would supply): those keep Qt's shaping.
    double setGlyphs(const SizedFont& font, const QString& text) {
        for (QChar c : text) {
            const char16_t u = c.unicode();
            if (u >= 0x0370 && (u < 0x2000 || u > 0x2bff)) return 0;
        }
        const QList<quint32> glyphs = font.raw.glyphIndexesForString(text);
        if (glyphs.size() != text.size() || glyphs.contains(0u)) return 0;
        const QList<QPointF> advances =
            font.raw.advancesForGlyphIndexes(glyphs, QRawFont::KernedAdvances);
        QPointF at;
        for (QPointF a : advances) {
            glyphPositions_.push_back(at);
            at += a;
        }
        glyphs_.insert(glyphs_.end(), glyphs.begin(), glyphs.end());
        return at.x();
    }
    struct FontInfo {
        QFont font;
        double capRatio = 0.7;                     // cap height per pixel of font size
        std::unordered_map<int, SizedFont> sizes;  // by pixel size; nodes stay where they are
    };

    FontInfo& fontOf(const QString& styleName) {
        auto it = fonts_.find(styleName);
        if (it != fonts_.end()) return it->second;
        const TextStyle* style = doc_.textStyle(styleName);
        QString family = style ? QFileInfo(style->font).completeBaseName() : QString();
        FontInfo info;
        if (!alternateRead_) {
            alternate_ = alternateFont();
            alternateRead_ = true;
        }
        const bool fontless = !style || isStrokeFont(style->font) || family.isEmpty();
        QString installed = fontless ? QString() : installedFamily(family);
        if (!fontless && installed.isEmpty()) installed = searchFolderFontFamily(family);
        if (fontless || (installed.isEmpty() && !alternate_.isEmpty())) {
            info.font = QFont(alternate_.isEmpty() ? QStringLiteral("Sans Serif") : alternate_);
        } else if (!installed.isEmpty()) {
            info.font = QFont(installed);
        } else {
            info.font = QFont(family);
        }
        info.font.setStyleHint(QFont::SansSerif);
        if (style) {
            info.font.setBold(style->bold);
            info.font.setItalic(style->italic);
            info.font.setUnderline(style->underline);
            info.font.setStrikeOut(style->strikeout);
        }
        info.font.setPixelSize(100);
        const double cap = QFontMetricsF(info.font).capHeight();
        if (cap > 1) info.capRatio = cap / 100.0;
        return fonts_.emplace(styleName, std::move(info)).first->second;
    }

    static QString shownText(const QString& raw) {
        if (!raw.contains(QLatin1String("%%"))) return raw;
        QString t = raw;
        t.replace(QLatin1String("%%d"), QStringLiteral("\u00b0"), Qt::CaseInsensitive);
        t.replace(QLatin1String("%%p"), QStringLiteral("\u00b1"), Qt::CaseInsensitive);
        t.replace(QLatin1String("%%c"), QStringLiteral("\u2300"), Qt::CaseInsensitive);
        t.replace(QLatin1String("%%%"), QStringLiteral("%"));
        return t;
    }

    void drawText(const Entity& e, const QString& raw, const Affine& m, const Pen& pen) {
        if (raw.isEmpty()) return;
        const Prim box = textBox(doc_, e);
        const QPointF q0 = m.map(box.q[0]), q1 = m.map(box.q[1]), q3 = m.map(box.q[3]);
        const QPointF q2 = q1 + (q3 - q0);
        const double hpx = length(q3 - q0), wpx = length(q1 - q0);
        BBox dev;
        for (QPointF c : {q0, q1, q2, q3}) dev.add(c);
        if (dev.x1 < clip_.left() || dev.x0 > clip_.right() || dev.y1 < clip_.top() ||
            dev.y0 > clip_.bottom())
            return;
        if (o_.textArea.isValid() && !o_.textArea.contains((q0 + q2) / 2)) return;
        if (vector_ ? !(hpx > 0 && wpx > 0 && std::isfinite(hpx) && std::isfinite(wpx))
                    : hpx < o_.greekSize || wpx < 1.0) {
            if (stats_) ++stats_->greeked;
            if (hpx >= 1.0) {  // a bar through the middle of the box
                const QPointF up = (q3 - q0) / 2;
                batch(pen.rgb, std::max(1, int(hpx / 2)), dev).lines.emplace_back(q0 + up, q1 + up);
            }
            return;
        }
        if (stats_) ++stats_->texts;
        FontInfo& fi = fontOf(e.style);
        const int pixels = std::clamp(int(std::lround(hpx / fi.capRatio)), 1, 2048);
        auto sized = fi.sizes.find(pixels);
        if (sized == fi.sizes.end()) {
            QFont font = fi.font;
            font.setPixelSize(pixels);
            const QFontMetricsF fm(font);
            const double cap = fm.capHeight() > 0 ? fm.capHeight() : pixels * fi.capRatio;
            sized =
                fi.sizes.emplace(pixels, SizedFont{font, fm, QRawFont::fromFont(font), cap}).first;
        }
        const QString text = shownText(raw);
        const double cap = sized->second.cap;
        const size_t firstGlyph = glyphs_.size();
        double advance = setGlyphs(sized->second, text);
        const bool shaped = advance <= 0;
        if (shaped) advance = sized->second.metrics.horizontalAdvance(text);
        if (advance <= 0) return;
        const TextStyle* style = styles_.get(e.style, [&] { return doc_.textStyle(e.style); });
        const double widthFactor = style && style->widthFactor > 0 ? style->widthFactor : 1.0;
        TextShape shape;
        shape.font = &sized->second;
        shape.rgb = pen.rgb;
        shape.sy = TextShape::step(hpx / cap);
        shape.sx = TextShape::step(shape.sy.second * widthFactor);
        double offset = 0;
        const double sx = shape.sx.second;
        if (e.hAlign == 3 || e.hAlign == 5 || advance * sx > wpx) {
            // Fitted, aligned, or wider than its box: fills the box.
            shape.sx = TextShape::step(wpx / advance);
        } else if (e.hAlign == 1 || e.hAlign == 4) {
            offset = (wpx - advance * sx) / 2;
        } else if (e.hAlign == 2) {
            offset = wpx - advance * sx;
        }
        shape.ux = TextShape::turn(q1 - q0);
        shape.uy = TextShape::turn(q3 - q0);
        const QPointF origin = q0 + (q1 - q0) / wpx * offset;
        texts_.push_back(
            {shape, origin, shaped ? text : QString(), firstGlyph, glyphs_.size() - firstGlyph});
    }

    // How a text is drawn but for where: font, colour, and the directions of its baseline
    // and its height with the scale along each, in steps (a thousandth of the scale, a
    // millionth of a quarter turn) so that the texts of a drawing fall into a few shapes, each
    // drawn as one run of glyphs. Scales step down: a text stays within its box.
    struct TextShape {
        const SizedFont* font = nullptr;
        QRgb rgb = 0;
        std::pair<qint64, double> sx, sy, ux, uy;  // step, value (a scale or an angle)

        static std::pair<qint64, double> step(double scale) {
            const qint64 n = qint64(std::floor(std::log(scale) * 1000.0));
            return {n, std::exp(double(n) / 1000.0)};
        }
        // In millionths of a quarter turn: texts at right angles are exactly so.
        static std::pair<qint64, double> turn(QPointF direction) {
            const double quarter = kPi / 2;
            const qint64 n = std::llround(std::atan2(direction.y(), direction.x()) / quarter * 1e6);
            return {n, double(n) / 1e6 * quarter};
        }
        bool operator==(const TextShape& o) const {
            return font == o.font && rgb == o.rgb && sx.first == o.sx.first &&
                   sy.first == o.sy.first && ux.first == o.ux.first && uy.first == o.uy.first;
        }
        size_t hash() const {
            size_t h = std::hash<const void*>()(font) ^ rgb;
            for (qint64 v : {sx.first, sy.first, ux.first, uy.first})
                h = h * 1099511628211ull ^ std::hash<qint64>()(v);
            return h;
        }
        // Text space (the glyphs' baseline along x, their height along -y) to the device.
        QTransform transform(QPointF origin = {}) const {
            const QPointF x(std::cos(ux.second), std::sin(ux.second));
            const QPointF y(std::cos(uy.second), std::sin(uy.second));
            return QTransform(x.x() * sx.second, x.y() * sx.second, -y.x() * sy.second,
                              -y.y() * sy.second, origin.x(), origin.y());
        }
    };

    // Draws the texts waiting since the last fill, above the lines drawn with them: those of
    // one shape together as one run of glyphs, each shape where its first text came (texts
    // overlapping one of another shape may change places); those Qt shapes one by one.
    void flushTexts() {
        if (texts_.empty()) return;
        flush();
        struct Run {
            const TextShape* shape;
            QPointF origin;     // of its text space on the device
            QTransform toText;  // device to the text space
            QList<quint32> glyphs;
            QList<QPointF> positions;
        };
        std::vector<Run> runs;
        std::unordered_map<TextShape, size_t, ShapeHash> byShape;
        for (const PendingText& t : texts_) {
            if (t.glyphs == 0) continue;
            auto it = byShape.find(t.shape);
            if (it == byShape.end()) {
                it = byShape.emplace(t.shape, runs.size()).first;
                runs.push_back({&t.shape, {}, t.shape.transform().inverted(), {}, {}});
            }
            QPointF at = runs[it->second].toText.map(t.origin);
            size_t into = it->second;
            // Qt keeps glyph places in fixed point: a text far out in its shape's space (a
            // much squeezed one) is a run of its own, from its own origin.
            if (std::abs(at.x()) > kTextSpaceReach || std::abs(at.y()) > kTextSpaceReach) {
                into = runs.size();
                runs.push_back({&t.shape, t.origin, {}, {}, {}});
                at = {};
            }
            Run& run = runs[into];
            for (size_t i = t.firstGlyph; i < t.firstGlyph + t.glyphs; ++i) {
                run.glyphs.push_back(glyphs_[i]);
                run.positions.push_back(at + glyphPositions_[i]);
            }
        }
        std::optional<QRgb> rgb;
        const QFont* font = nullptr;
        const auto use = [&](const TextShape& shape, QPointF origin) {
            p_.setTransform(shape.transform(origin));
            // A hairline pen: the PDF then writes no line state around the texts.
            if (rgb != shape.rgb) p_.setPen(QPen(QColor::fromRgb(*(rgb = shape.rgb)), 0));
            if (font != &shape.font->font) p_.setFont(*(font = &shape.font->font));
        };
        for (const Run& r : runs) {
            use(*r.shape, r.origin);
            QGlyphRun glyphs;
            glyphs.setRawFont(r.shape->font->raw);
            glyphs.setUnderline(r.shape->font->font.underline());
            glyphs.setStrikeOut(r.shape->font->font.strikeOut());
            glyphs.setGlyphIndexes(r.glyphs);
            glyphs.setPositions(r.positions);
            p_.drawGlyphRun(QPointF(0, 0), glyphs);
        }
        for (const PendingText& t : texts_) {
            if (t.glyphs > 0) continue;
            use(t.shape, t.origin);
            p_.drawText(QPointF(0, 0), t.text);
        }
        p_.resetTransform();
        texts_.clear();
        glyphs_.clear();
        glyphPositions_.clear();
    }

    // ---- grips -----------------------------------------------------------------------

    void addGrip(QPointF world, const Affine& m) {
        const QPointF at = m.map(world);
        if (!clip_.contains(at)) return;
        const double s = o_.gripSize;
        grips_.emplace_back(at.x() - s, at.y() - s, 2 * s + 1, 2 * s + 1);
    }

    void addGrips(const Entity& e, const Affine& m) {
        for (QPointF at : gripPoints(e)) addGrip(at, m);
    }

    QPainter& p_;
    const Document& doc_;
    const RenderOptions& o_;
    RenderStats* stats_;
    QRectF clip_;
    double weightToPixels_ = 96 / 2540.0;
    std::unordered_map<const Layer*, LayerInfo> layers_;  // its values stay where they are
    NameTable<const LayerInfo*> byName_;
    NameTable<const Block*> blocks_;
    NameTable<const TextStyle*> styles_;
    LayerInfo unknownLayer_;
    Context top_;
    QHash<QString, const LineType*> lineTypes_;
    const QChar* byLayerText_ = nullptr;
    QRgb contrast_ = 0;
    QHash<const Block*, BBox> blockBoxes_;
    std::unordered_map<QString, FontInfo, NameHash> fonts_;  // nodes stay where they are
    QString alternate_;
    bool alternateRead_ = false;
    struct ShapeHash {
        size_t operator()(const TextShape& s) const noexcept { return s.hash(); }
    };
    struct PendingText {
        TextShape shape;
        QPointF origin;  // of the baseline, in device pixels
        QString text;    // without glyphs of its own: drawn with Qt's shaping
        size_t firstGlyph, glyphs;
    };
    std::vector<PendingText> texts_;
    std::vector<quint32> glyphs_;          // of the waiting texts
    std::vector<QPointF> glyphPositions_;  // from each text's origin, in its text space
    QSet<quint64> selected_;
    std::vector<QPointF> path_;
    std::vector<Batch> batches_;
    int last_ = -1;
    std::vector<QRectF> grips_;
    std::optional<DirectLines> direct_;
    bool vector_ = false;  // the device keeps vectors: polylines are drawn as paths
    quint32 directPixel_ = 0;
    qsizetype work_ = 0;  // left of the current top-level entity's bound
};

// An entity is a large record of which drawing reads a few fields spread over its first
// few hundred bytes (and whether a polyline is closed, at its end), and then its layer's
// name and its vertices elsewhere: the records of the entities drawn next are asked for
// ahead, and when they have come, what they point to, so that all of it arrives while the
// entities before are drawn.
constexpr qsizetype kPrefetchRecords = 8, kPrefetchPointees = 4;
void prefetchRecord(const Entity& e) {
    const char* end = reinterpret_cast<const char*>(&e.blockName);
    for (const char* p = reinterpret_cast<const char*>(&e); p < end; p += 64) __builtin_prefetch(p);
    __builtin_prefetch(&e.closed);
}
void prefetchPointees(const Entity& e) {
    __builtin_prefetch(e.layer->constData());
    if (!e.vertices.isEmpty()) __builtin_prefetch(e.vertices.constData());
}

double area(const BBox& b) {
    return b.isValid() ? (b.x1 - b.x0) * (b.y1 - b.y0) : 0.0;
}

// Draws the entities [from, to) of a list in draw order.
void drawInOrder(Renderer& r, const std::vector<Entity>& list, qsizetype from, qsizetype to) {
    for (qsizetype i = from; i < to; ++i) {
        if (i + kPrefetchRecords < to) prefetchRecord(list[size_t(i + kPrefetchRecords)]);
        if (i + kPrefetchPointees < to) prefetchPointees(list[size_t(i + kPrefetchPointees)]);
        r.drawTop(list[size_t(i)]);
    }
}

// A pass in draw order over this many entities onto an image is drawn in two halves side by
// side (see renderSpace).
constexpr qsizetype kDrawSideBySide = 20000;

}  // namespace

BBox spaceExtents(const Document& doc, const Space& space, const SpatialIndex* index) {
    // An index waiting to be built takes the entities in for them: the pass is needed either
    // way, and its build then only packs.
    if (index && !index->ready()) {
        if (const std::optional<BBox> taken = index->extentsWhileBuilding(space)) return *taken;
    }
    if (index && index->ready() && index->size() > 0) return index->bounds();
    BBox box;
    NameTable<bool> frozen;
    const qsizetype n = space.entities.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i + kPrefetchRecords < n) prefetchRecord(space.entities[i + kPrefetchRecords]);
        if (i + kPrefetchPointees < n) prefetchPointees(space.entities[i + kPrefetchPointees]);
        const Entity& e = space.entities[i];
        if (frozen.get(e.layer, [&] {
                const Layer* l = doc.layer(e.layer);
                return l && l->frozen;
            }))
            continue;
        box.add(boundingBox(doc, e));
    }
    return box;
}

namespace {

// What the viewports of a paper layout show: model space at each viewport's view, inside its
// frame, under the layout's own entities. On an image it is drawn through an image of the
// frame's size (lines written straight into an image would not keep to a clip); on other
// devices (PDF, printers) as vectors within a clip.
void renderViewports(QPainter& painter, const Document& doc, const Space& space, const View& view,
                     const RenderOptions& options) {
    if (&space == &doc.modelSpace()) return;
    RenderOptions inside = options;
    inside.selected.clear();
    const QRect device(QPoint(0, 0), view.size());
    for (const Entity& e : space.entities) {
        if (e.kind != EntityKind::Viewport || e.detail->viewportStatus <= 0 ||
            !(e.detail->viewHeight > 0) || !std::isfinite(e.detail->viewHeight))
            continue;
        const QPointF half(e.detail->width / 2, e.height / 2);
        const QRectF frame =
            QRectF(view.toDevice(e.start - half), view.toDevice(e.start + half)).normalized();
        const QRect pixels = frame.toAlignedRect().intersected(device);
        if (pixels.isEmpty() || frame.height() < 1) continue;
        const double scale = frame.height() / e.detail->viewHeight;
        // The world point at the centre of a device area, the viewport's centre at the frame's.
        const auto centreOf = [&](QRectF area) {
            const QPointF d = area.center() - frame.center();
            return e.detail->viewCentre + QPointF(d.x() / scale, -d.y() / scale);
        };
        if (painter.device() && painter.device()->devType() == QInternal::Image) {
            QImage image(pixels.size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter p(&image);
            renderSpace(p, doc, doc.modelSpace(), View(pixels.size(), centreOf(pixels), scale),
                        inside);
            p.end();
            painter.save();
            painter.resetTransform();
            painter.drawImage(pixels.topLeft(), image);
            painter.restore();
        } else {
            painter.save();
            painter.setClipRect(pixels, Qt::IntersectClip);
            renderSpace(painter, doc, doc.modelSpace(),
                        View(view.size(), centreOf(QRectF(device)), scale), inside);
            painter.restore();
        }
    }
}

}  // namespace

void renderSpace(QPainter& painter, const Document& doc, const Space& space, const View& view,
                 const RenderOptions& options, const SpatialIndex* index, RenderStats* stats) {
    renderViewports(painter, doc, space, view, options);
    painter.save();
    painter.resetTransform();
    painter.setRenderHint(QPainter::Antialiasing, options.antialias);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    Renderer r(painter, doc, view, options, stats);

    const BBox visible = view.visibleBox().expanded(view.toWorld(4.0));
    bool throughIndex = index && index->ready() && index->size() > 0;
    if (throughIndex) {
        // When most of the drawing is in view, one pass in draw order beats a search.
        const BBox all = index->bounds();
        BBox common;
        if (all.intersects(visible)) {
            common = BBox{std::max(all.x0, visible.x0), std::max(all.y0, visible.y0),
                          std::min(all.x1, visible.x1), std::min(all.y1, visible.y1)};
        }
        throughIndex = area(common) < 0.5 * area(all);
    }
    if (stats) stats->usedIndex = throughIndex;
    const qsizetype n = qsizetype(space.entities.size());
    auto* image = dynamic_cast<QImage*>(painter.device());
    if (!throughIndex && image && n >= kDrawSideBySide && options.selected.isEmpty() &&
        painter.paintEngine()->type() == QPaintEngine::Raster &&
        painter.compositionMode() == QPainter::CompositionMode_SourceOver &&
        painter.opacity() == 1.0) {
        // The later half is drawn on another thread onto a clear image of the same pixels,
        // laid over the lines of the first half when both are done, and the first half's
        // texts go over it: texts stay above lines. Grips, which go over everything, are left
        // to one pass.
        makeNameLookups(doc);
        RenderStats laterStats;
        const QPainter::RenderHints hints = painter.renderHints();
        const QSize size = image->size();
        const qreal ratio = image->devicePixelRatio();
        const int dpmX = image->dotsPerMeterX(), dpmY = image->dotsPerMeterY();
        // The image is taken here, from this thread's heap, which holds memory already in use
        // before (the other thread's would be fresh, a fault for every page).
        QImage later(size, QImage::Format_ARGB32_Premultiplied);
        auto drawn = std::async(std::launch::async, [&] {
            later.setDevicePixelRatio(ratio);
            later.setDotsPerMeterX(dpmX);
            later.setDotsPerMeterY(dpmY);
            later.fill(Qt::transparent);
            QPainter onLater(&later);
            onLater.setRenderHints(hints);
            Renderer lr(onLater, doc, view, options, stats ? &laterStats : nullptr);
            drawInOrder(lr, space.entities, n / 2, n);
            lr.finish();
            onLater.end();
        });
        drawInOrder(r, space.entities, 0, n / 2);
        r.finishLines();
        drawn.get();
        painter.drawImage(QPointF(0, 0), later);
        if (stats) {
            stats->entities += laterStats.entities;
            stats->texts += laterStats.texts;
            stats->greeked += laterStats.greeked;
            stats->cutShort += laterStats.cutShort;
        }
    } else if (!throughIndex) {
        drawInOrder(r, space.entities, 0, n);
    } else {
        std::vector<std::pair<int, const Entity*>> found;
        for (const QString& h : index->queryRect(visible)) {
            int position = -1;
            if (const Entity* e = index->resolve(space, h, &position))
                found.emplace_back(position, e);
        }
        std::sort(found.begin(), found.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [position, e] : found) r.drawTop(*e);
    }
    r.finish();
    painter.restore();
}

namespace {

bool fail(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}

}  // namespace

double millimetresPerUnit(int units) {
    switch (units) {
        case 1:
            return 25.4;  // inches
        case 2:
            return 304.8;  // feet
        case 5:
            return 10.0;  // centimetres
        case 6:
            return 1000.0;  // metres
        default:
            return 1.0;
    }
}

namespace {}  // namespace

bool exportImage(const Document& doc, const Space& space, const QString& path, QSize size,
                 const QColor& background, QString* error) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    const char* format = suffix == QLatin1String("png")   ? "PNG"
                         : suffix == QLatin1String("bmp") ? "BMP"
                                                          : nullptr;
    if (!format)
        return fail(error, QStringLiteral("Unknown image type \"%1\": use .png or .bmp.")
                               .arg(QFileInfo(path).suffix()));
    if (size.width() < 1 || size.height() < 1 || size.width() > 20000 || size.height() > 20000)
        return fail(error, QStringLiteral("An image of %1 x %2 pixels cannot be made.")
                               .arg(size.width())
                               .arg(size.height()));
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) return fail(error, QStringLiteral("Not enough memory for the image."));
    image.fill(background);
    View view(size, {}, 1.0);
    view.zoomExtents(spaceExtents(doc, space));
    Pictures::instance().load(pictureFiles(doc, space));  // a file shows its pictures
    {
        QPainter painter(&image);
        RenderOptions options;
        options.background = background;
        options.antialias = true;
        renderSpace(painter, doc, space, view, options);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    QImageWriter writer(&file, format);
    // PNG: zlib's fastest level (Qt maps quality 80 to it). A drawing's large plain areas
    // pack nearly as well as at the default level in half the time (the 100,000-entity
    // sheet at 1920 x 1080: 8% larger, about 75 ms instead of 140).
    writer.setQuality(80);
    if (!writer.write(image)) {
        file.cancelWriting();
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, writer.errorString()));
    }
    if (!file.commit())
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    return true;
}

namespace {

// PDF readers built on poppler (pdftotext, and the viewers' search) take only the first 50,000
// characters under 3 points of a page: a sheet shrunk onto one page can carry many more. Such
// a sheet is exported over several pages at the same scale, each owning the texts whose middle
// falls in its part, so that a page holds at most this many small characters.
constexpr int kSmallCharactersPerPage = 40000;
// A character this high (points) or higher is not small for the readers: its advance is over 3
// points.
constexpr double kSmallTextPoints = 5.0;
constexpr int kMostPagesAcross = 64;

// Where the small characters of a space stand (world), one place per text; an insert's block
// counts its texts at the insert.
struct SmallTexts {
    std::vector<std::pair<QPointF, int>> at;
    qint64 total = 0;
    double widest = 0;  // the widest text, world units
};

SmallTexts smallTexts(const Document& doc, const Space& space, double pointsPerUnit) {
    SmallTexts out;
    QHash<const Block*, int> inBlocks;
    // The small characters of a block's own texts and of the blocks it inserts, to a depth.
    std::function<int(const Block*, double, int)> blockChars = [&](const Block* b, double scale,
                                                                   int depth) {
        if (!b || depth > 8) return 0;
        if (auto it = inBlocks.find(b); it != inBlocks.end()) return *it;
        int n = 0;
        for (const Entity& e : b->entities) {
            if (e.kind == EntityKind::Text || e.kind == EntityKind::Attribute) {
                if (textHeight(doc, e) * scale * pointsPerUnit < kSmallTextPoints)
                    n += int(e.text.size());
            } else if (e.kind == EntityKind::Insert) {
                n += blockChars(doc.block(e.blockName), scale * std::abs(e.yScale), depth + 1);
            }
        }
        inBlocks.insert(b, n);
        return n;
    };
    auto add = [&](const Entity& e, const QString& text) {
        const double h = textHeight(doc, e);
        if (text.isEmpty() || h * pointsPerUnit >= kSmallTextPoints) return;
        const Prim box = textBox(doc, e);
        out.at.emplace_back(box.q[0] + ((box.q[1] - box.q[0]) + (box.q[3] - box.q[0])) / 2,
                            int(text.size()));
        out.total += text.size();
        out.widest = std::max(out.widest, length(box.q[1] - box.q[0]));
    };
    for (const Entity& e : space.entities) {
        if (e.kind == EntityKind::Text || e.kind == EntityKind::Attribute) {
            add(e, e.text);
        } else if (e.kind == EntityKind::AttributeDefinition) {
            add(e, e.tag);
        } else if (e.kind == EntityKind::Insert) {
            for (const Entity& a : e.attributes)
                if (!(a.attributeFlags & 1)) add(a, a.text);
            if (const int n = blockChars(doc.block(e.blockName), std::abs(e.yScale), 0)) {
                out.at.emplace_back(e.start, n);
                out.total += n;
            }
        }
    }
    return out;
}

// The parts (columns and rows) a sheet of `extents` is cut into so that none holds more than
// kSmallCharactersPerPage small characters; 1 x 1 for a sheet that needs no cut.
QSize pagesFor(const SmallTexts& texts, const BBox& extents) {
    if (texts.total <= kSmallCharactersPerPage) return {1, 1};
    const double w = std::max(extents.x1 - extents.x0, 1e-9);
    const double h = std::max(extents.y1 - extents.y0, 1e-9);
    const double n = double(texts.total) / kSmallCharactersPerPage;
    int cols = std::clamp(int(std::ceil(std::sqrt(n * w / h))), 1, kMostPagesAcross);
    int rows = std::clamp(int(std::ceil(n / cols)), 1, kMostPagesAcross);
    while (true) {
        std::vector<qint64> count(size_t(cols * rows), 0);
        for (const auto& [at, chars] : texts.at) {
            const int c = std::clamp(int((at.x() - extents.x0) / w * cols), 0, cols - 1);
            const int r = std::clamp(int((extents.y1 - at.y()) / h * rows), 0, rows - 1);
            count[size_t(r * cols + c)] += chars;
        }
        if (*std::max_element(count.begin(), count.end()) <= kSmallCharactersPerPage ||
            (cols >= kMostPagesAcross && rows >= kMostPagesAcross))
            return {cols, rows};
        // The longer side of a part is cut further.
        if ((w / cols >= h / rows && cols < kMostPagesAcross) || rows >= kMostPagesAcross)
            ++cols;
        else
            ++rows;
    }
}

}  // namespace

bool exportPdf(const Document& doc, const Space& space, const QString& path, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    const BBox extents = spaceExtents(doc, space);
    // The page: the extents in millimetres and a margin, within what PDF readers accept.
    constexpr double kMaxPageMm = 5000.0, kMinPageMm = 10.0, kMargin = 1.06;
    const double mm = millimetresPerUnit(doc.units());
    double w = extents.isValid() ? (extents.x1 - extents.x0) * mm * kMargin : 210.0;
    double h = extents.isValid() ? (extents.y1 - extents.y0) * mm * kMargin : 297.0;
    const double shrink = std::max({1.0, w / kMaxPageMm, h / kMaxPageMm});
    w = std::max(kMinPageMm, w / shrink);
    h = std::max(kMinPageMm, h / shrink);
    const double pointsPerUnit = mm / shrink * 72.0 / 25.4;

    // A sheet with more small texts than a reader takes from one page: pages of its parts at
    // the same scale, from the top left along the rows, each wide enough to hold whole the
    // texts whose middle it owns.
    SmallTexts texts;
    QSize parts(1, 1);
    if (extents.isValid()) {
        texts = smallTexts(doc, space, pointsPerUnit);
        parts = pagesFor(texts, extents);
    }
    const bool paged = parts != QSize(1, 1);
    const double partW = (extents.x1 - extents.x0) / parts.width();
    const double partH = (extents.y1 - extents.y0) / parts.height();
    const double overlap = paged ? std::min(texts.widest, std::min(partW, partH) / 2) : 0.0;
    if (paged) {
        w = std::max(kMinPageMm, (partW + 2 * overlap) * mm / shrink);
        h = std::max(kMinPageMm, (partH + 2 * overlap) * mm / shrink);
    }

    QPdfWriter pdf(&file);
    pdf.setCreator(QStringLiteral("Tolvane"));
    pdf.setResolution(600);
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setPageSize(
        QPageSize(QSizeF(w, h), QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
    QPainter painter;
    if (!painter.begin(&pdf)) {
        file.cancelWriting();
        return fail(error,
                    QStringLiteral("Cannot write %1: the PDF could not be started.").arg(path));
    }
    const QSize device(pdf.width(), pdf.height());
    RenderOptions options;
    options.background = Qt::white;
    options.greekSize = 0.5;
    Pictures::instance().load(pictureFiles(doc, space));
    if (!paged) {
        View view(device, {}, 1.0);
        view.zoomExtents(extents);
        renderSpace(painter, doc, space, view, options);
    }
    // Each page looks only at the entities near its part.
    SpatialIndex index;
    if (paged) index.build(doc, space);
    for (int row = 0; paged && row < parts.height(); ++row) {
        for (int col = 0; col < parts.width(); ++col) {
            if (row > 0 || col > 0) pdf.newPage();
            const QPointF centre(extents.x0 + partW * (col + 0.5),
                                 extents.y1 - partH * (row + 0.5));
            const double scale = device.width() / (partW + 2 * overlap);
            View view(device, centre, scale);
            const QPointF from = view.toDevice({centre.x() - partW / 2, centre.y() + partH / 2});
            options.textArea = QRectF(from, QSizeF(partW * scale, partH * scale));
            renderSpace(painter, doc, space, view, options, &index);
        }
    }
    painter.end();
    if (!file.commit())
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    return true;
}

void renderPage(QPainter& painter, QSizeF page, double dpi, const Document& doc, const Space& space,
                const PlotSettings& settings) {
    const BBox area = settings.window.isValid() ? settings.window : spaceExtents(doc, space);
    if (!area.isValid() || page.width() < 1 || page.height() < 1) return;
    const double w = std::max(area.x1 - area.x0, 1e-9), h = std::max(area.y1 - area.y0, 1e-9);
    const double scale = settings.scale > 0 ? settings.scale * dpi / 25.4
                                            : std::min(page.width() / w, page.height() / h);
    const QSize size(int(page.width()), int(page.height()));
    View view(size, QPointF((area.x0 + area.x1) / 2, (area.y0 + area.y1) / 2), scale);
    RenderOptions options;
    options.background = Qt::white;
    options.greekSize = 0.5;
    Pictures::instance().load(pictureFiles(doc, space));  // paper shows the pictures
    painter.save();
    painter.setClipRect(QRect(QPoint(0, 0), size));
    renderSpace(painter, doc, space, view, options);
    painter.restore();
}

QPainterPath outlinePath(const Document& doc, const Entity& e) {
    QPainterPath path;
    for (const Prim& p : primitives(doc, e)) {
        switch (p.kind) {
            case Prim::Segment:
                path.moveTo(p.a);
                path.lineTo(p.b);
                break;
            case Prim::Arc: {
                const int pieces = arcPieces(p.sweep, std::numbers::pi / 36, 4);
                path.moveTo(p.arcStart());
                for (int i = 1; i <= pieces; ++i)
                    path.lineTo(p.arcPoint(p.a0 + p.sweep * i / pieces));
                break;
            }
            case Prim::TextBox:
                path.addPolygon(QPolygonF({p.q[0], p.q[1], p.q[2], p.q[3], p.q[0]}));
                break;
            case Prim::Dot:
                break;
        }
    }
    return path;
}

}  // namespace tolvane::cad
