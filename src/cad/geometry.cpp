#include "cad/geometry.h"

#include <QHash>
#include <QPair>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

namespace tolvane::cad {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kEps = 1e-9;

// Local block coordinates to world coordinates of an insert.
struct Transform {
    QPointF base, at;
    double sx = 1, sy = 1, cosR = 1, sinR = 0;

    QPointF map(QPointF p) const {
        const double x = (p.x() - base.x()) * sx, y = (p.y() - base.y()) * sy;
        return {at.x() + x * cosR - y * sinR, at.y() + x * sinR + y * cosR};
    }
    bool uniform() const { return std::abs(std::abs(sx) - std::abs(sy)) < kEps; }
};

// Pieces of curves for picking and extents: a full turn in 64.
constexpr double kPieceStep = kPi / 32;

void tessellateArc(const Prim& arc, const Transform& t, std::vector<Prim>* out) {
    const int n = arcPieces(arc.sweep, kPieceStep, 8);
    QPointF prev = t.map(arc.arcStart());
    for (int i = 1; i <= n; ++i) {
        const QPointF next = t.map(arc.arcPoint(arc.a0 + arc.sweep * i / n));
        out->push_back(Prim::segment(prev, next));
        prev = next;
    }
}

Prim mapped(const Prim& p, const Transform& t) {
    Prim m = p;
    m.a = t.map(p.a);
    m.b = t.map(p.b);
    for (QPointF& c : m.q) c = t.map(c);
    if (p.kind == Prim::Arc) {
        m.c = t.map(p.c);
        m.r = p.r * std::abs(t.sx);
        const QPointF s = t.map(p.arcStart()) - m.c;
        m.a0 = std::atan2(s.y(), s.x());
        m.sweep = t.sx * t.sy < 0 ? -p.sweep : p.sweep;
    }
    return m;
}

// The rotated box a single line of text covers.
Prim textBoxOf(const Entity& e, double h, double widthFactor) {
    double w = std::max<qsizetype>(1, e.text.size()) * h * 0.6 * widthFactor;
    QPointF ref = e.start;
    double rot = e.rotation * kPi / 180.0;
    double x0 = 0, y0 = 0;
    if (e.hAlign == 3 || e.hAlign == 5) {  // aligned or fitted between the two points
        const QPointF d = e.end - e.start;
        if (length(d) > kEps) {
            w = length(d);
            rot = std::atan2(d.y(), d.x());
        }
    } else if (e.hAlign != 0 || e.vAlign != 0) {
        ref = e.end;
        if (e.hAlign == 1 || e.hAlign == 4) x0 = -w / 2;
        if (e.hAlign == 2) x0 = -w;
        if (e.vAlign == 2 || e.hAlign == 4) y0 = -h / 2;
        if (e.vAlign == 3) y0 = -h;
    }
    const double c = std::cos(rot), s = std::sin(rot);
    auto at = [&](double x, double y) {
        return QPointF(ref.x() + x * c - y * s, ref.y() + x * s + y * c);
    };
    Prim p;
    p.kind = Prim::TextBox;
    p.q = {at(x0, y0), at(x0 + w, y0), at(x0 + w, y0 + h), at(x0, y0 + h)};
    p.a = p.q[0];
    return p;
}

double angleOf(QPointF v);

QPointF unitOr(QPointF v, QPointF fallback) {
    const double len = length(v);
    return len > kEps ? v / len : fallback;
}

QPointF polar(QPointF c, double r, double a) {
    return {c.x() + r * std::cos(a), c.y() + r * std::sin(a)};
}

// Where the lines through a, b and through c, d meet; `fallback` when they are parallel.
QPointF lineMeet(QPointF a, QPointF b, QPointF c, QPointF d, QPointF fallback) {
    const QPointF r = b - a, s = d - c;
    const double den = cross(r, s);
    if (std::abs(den) < kEps) return fallback;
    return a + r * (cross(c - a, s) / den);
}

QString measuredText(const DimStyle& style, const Entity& e, double measurement) {
    const bool angle = e.detail->dimType == DimensionType::Angular ||
                       e.detail->dimType == DimensionType::Angular3Point;
    QString value = QString::number(measurement, 'f', std::clamp(style.decimals, 0, 8));
    if (angle) value += QChar(0x00B0);
    if (e.detail->dimType == DimensionType::Radius) value.prepend(QLatin1Char('R'));
    if (e.detail->dimType == DimensionType::Diameter) value.prepend(QLatin1String("%%c"));
    if (e.text.isEmpty()) return value;
    QString text = e.text;
    return text.replace(QLatin1String("<>"), value);
}

void addDimensionPrims(const Document& doc, const Entity& e, std::vector<Prim>* out);
// Appends the pieces of `e` to *out; `work` is what is left of the current insert's bound.
void collect(const Document& doc, const Entity& e, int depth, qsizetype* work,
             std::vector<Prim>* out);

}  // namespace

const QList<ArrowKind>& arrowKinds() {
    static const QList<ArrowKind> kinds = {
        {QString(), QStringLiteral("Closed Filled")},
        {QStringLiteral("_CLOSEDBLANK"), QStringLiteral("Closed Blank")},
        {QStringLiteral("_CLOSED"), QStringLiteral("Closed")},
        {QStringLiteral("_DOT"), QStringLiteral("Dot")},
        {QStringLiteral("_DOTSMALL"), QStringLiteral("Dot Small")},
        {QStringLiteral("_ARCHTICK"), QStringLiteral("Architectural Tick")},
        {QStringLiteral("_OBLIQUE"), QStringLiteral("Oblique")},
        {QStringLiteral("_OPEN"), QStringLiteral("Open")},
        {QStringLiteral("_OPEN90"), QStringLiteral("Right Angle")},
        {QStringLiteral("_OPEN30"), QStringLiteral("Open 30")},
        {QStringLiteral("_BOXFILLED"), QStringLiteral("Box Filled")},
        {QStringLiteral("_BOXBLANK"), QStringLiteral("Box")},
        {QStringLiteral("_NONE"), QStringLiteral("None")},
    };
    return kinds;
}

QString arrowCaption(const QString& block) {
    for (const ArrowKind& k : arrowKinds()) {
        if (k.block.compare(block, Qt::CaseInsensitive) == 0) return k.caption;
    }
    return block;
}

bool isStandardArrow(const QString& block) {
    if (block.isEmpty()) return false;
    for (const ArrowKind& k : arrowKinds()) {
        if (k.block.compare(block, Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

ArrowShape arrowShape(const QString& block) {
    const QString b = block.toUpper();
    ArrowShape s;
    auto line = [&](QPointF a, QPointF c) { s.lines.push_back({a, c}); };
    auto outline = [&](const QPolygonF& p) {
        for (qsizetype i = 0; i < p.size(); ++i) line(p[i], p[(i + 1) % p.size()]);
    };
    auto disc = [&](double r) {
        QPolygonF p;
        for (int i = 0; i < 16; ++i) p << polar({0, 0}, r, kTwoPi * i / 16);
        s.solids.push_back(p);
    };
    const QPolygonF triangle({{0, 0}, {-1, 1.0 / 6}, {-1, -1.0 / 6}});
    const QPolygonF box({{-0.25, -0.25}, {0.25, -0.25}, {0.25, 0.25}, {-0.25, 0.25}});
    if (b == QLatin1String("_NONE")) {
    } else if (b == QLatin1String("_CLOSEDBLANK")) {
        outline(triangle);
    } else if (b == QLatin1String("_CLOSED")) {
        outline(triangle);
        line({-1, 0}, {0, 0});
    } else if (b == QLatin1String("_DOT")) {
        disc(0.25);
    } else if (b == QLatin1String("_DOTSMALL")) {
        disc(0.0625);
    } else if (b == QLatin1String("_ARCHTICK")) {
        s.solids.push_back(QPolygonF({{-0.55, -0.45}, {0.45, 0.55}, {0.55, 0.45}, {-0.45, -0.55}}));
    } else if (b == QLatin1String("_OBLIQUE")) {
        line({-0.5, -0.5}, {0.5, 0.5});
    } else if (b == QLatin1String("_OPEN")) {
        line({-1, 1.0 / 6}, {0, 0});
        line({0, 0}, {-1, -1.0 / 6});
    } else if (b == QLatin1String("_OPEN90")) {
        line({-0.5, 0.5}, {0, 0});
        line({0, 0}, {-0.5, -0.5});
    } else if (b == QLatin1String("_OPEN30")) {
        const double t = std::tan(kPi / 12);
        line({-1, t}, {0, 0});
        line({0, 0}, {-1, -t});
    } else if (b == QLatin1String("_BOXFILLED")) {
        s.solids.push_back(box);
    } else if (b == QLatin1String("_BOXBLANK")) {
        outline(box);
    } else {
        s.solids.push_back(triangle);
    }
    return s;
}

DimensionGeometry dimensionGeometry(const Document& doc, const Entity& e) {
    const DimStyle& style = doc.dimStyleOrStandard(e.style);
    // Every size of the style is multiplied by its scale (0, as other programs may write,
    // stands for 1).
    const double scale = style.scale > 0 ? style.scale : 1.0;
    const double arrowSize = style.arrowSize * scale, textHeight = style.textHeight * scale;
    const double exo = style.extensionOffset * scale, exe = style.extensionExtension * scale;
    const double gap = style.textGap * scale;
    const ArrowShape shape = arrowShape(style.arrowBlock);
    DimensionGeometry g;
    g.extensionColor = style.extensionColor;
    auto arrow = [&](QPointF tip, QPointF dir) {  // dir: unit vector towards the tip
        const QPointF n(-dir.y(), dir.x());
        auto map = [&](QPointF p) {
            return tip + dir * (p.x() * arrowSize) + n * (p.y() * arrowSize);
        };
        for (const auto& l : shape.lines) g.lines.push_back({map(l[0]), map(l[1])});
        for (const QPolygonF& solid : shape.solids) {
            QPolygonF out;
            for (QPointF p : solid) out << map(p);
            g.solids.push_back(out);
        }
    };
    auto extension = [&](QPointF from, QPointF foot, bool shown) {
        const double len = length(foot - from);
        if (len < kEps || !shown) return;
        const QPointF u = (foot - from) / len;
        g.extensions.push_back({from + u * std::min(exo, len), foot + u * exe});
    };
    double textAngle = 0.0;
    QPointF textAt = e.end;
    // Linear and aligned dimensions: the dimension line, to be broken round centred text.
    QPointF lineFrom, lineTo;
    bool straight = false;
    const auto& dp = e.detail->dimPoints;
    switch (e.detail->dimType) {
        case DimensionType::Linear:
        case DimensionType::Aligned: {
            const double rot = e.rotation * kPi / 180.0;
            const QPointF u = e.detail->dimType == DimensionType::Linear
                                  ? QPointF(std::cos(rot), std::sin(rot))
                                  : unitOr(dp[1] - dp[0], {1, 0});
            const QPointF f1 = e.start + u * dot(dp[0] - e.start, u);
            const QPointF f2 = e.start + u * dot(dp[1] - e.start, u);
            g.measurement = std::abs(dot(dp[1] - dp[0], u));
            extension(dp[0], f1, style.showExtension1);
            extension(dp[1], f2, style.showExtension2);
            lineFrom = f1;
            lineTo = f2;
            straight = true;
            if (length(f2 - f1) > kEps) {
                const QPointF d = (f2 - f1) / length(f2 - f1);
                arrow(f1, -d);
                arrow(f2, d);
            }
            // The text sits on the dimension line (or above it), where its point falls.
            textAt = e.start + u * dot(e.end - e.start, u);
            textAngle = angleOf(u);
            break;
        }
        case DimensionType::Radius:
        case DimensionType::Diameter: {
            const QPointF a = e.start, b = dp[2];
            g.measurement = length(b - a);
            g.lines.push_back({a, b});
            const QPointF d = unitOr(b - a, {1, 0});
            arrow(b, d);
            if (e.detail->dimType == DimensionType::Diameter) arrow(a, -d);
            textAngle = angleOf(d);
            break;
        }
        case DimensionType::Angular:
        case DimensionType::Angular3Point: {
            QPointF v, p1, p2, at;
            if (e.detail->dimType == DimensionType::Angular3Point) {
                v = dp[2], p1 = dp[0], p2 = dp[1], at = e.start;
            } else {
                v = lineMeet(dp[0], dp[1], dp[2], e.start, dp[1]);
                p1 = length(dp[1] - v) > kEps ? dp[1] : dp[0];
                p2 = length(e.start - v) > kEps ? e.start : dp[2];
                at = dp[3];
            }
            const double a1 = angleOf(p1 - v), a2 = angleOf(p2 - v), r = length(at - v);
            double from = a1, sweep = normalAngle(a2 - a1);
            if (normalAngle(angleOf(at - v) - a1) > sweep) {
                from = a2;
                sweep = kTwoPi - sweep;
            }
            g.measurement = sweep * 180.0 / kPi;
            if (r < kEps) break;
            if (length(p1 - v) < r)
                extension(p1, polar(v, r, angleOf(p1 - v)), style.showExtension1);
            if (length(p2 - v) < r)
                extension(p2, polar(v, r, angleOf(p2 - v)), style.showExtension2);
            const int n = arcPieces(sweep, kPieceStep, 8);
            for (int i = 0; i < n; ++i)
                g.lines.push_back(
                    {polar(v, r, from + sweep * i / n), polar(v, r, from + sweep * (i + 1) / n)});
            const double to = from + sweep;
            arrow(polar(v, r, from), QPointF(std::sin(from), -std::cos(from)));
            arrow(polar(v, r, to), QPointF(-std::sin(to), std::cos(to)));
            textAngle = from + sweep / 2 + kPi / 2;
            break;
        }
    }
    textAngle = normalAngle(textAngle);
    if (textAngle > kPi / 2 + kEps && textAngle <= 3 * kPi / 2 + kEps) textAngle -= kPi;
    // The direction "up" from the line the text belongs to, as a reader of the line sees it.
    const QPointF lineUp(-std::sin(textAngle), std::cos(textAngle));
    if (style.textHorizontal) textAngle = 0.0;
    g.text = Entity::textAt(textAt, measuredText(style, e, g.measurement), textHeight);
    g.text.hAlign = 1;
    g.text.vAlign = 2;
    g.text.rotation = textAngle * 180.0 / kPi;
    g.text.style = style.textStyle;
    g.text.color = style.textColor;
    // How far the text reaches from its middle across the line and along it.
    const Prim box = textBox(doc, g.text);
    const QPointF across = box.q[3] - box.q[0], along = box.q[1] - box.q[0];
    const QPointF lineDir(lineUp.y(), -lineUp.x());
    const double halfAcross = (std::abs(dot(across, lineUp)) + std::abs(dot(along, lineUp))) / 2;
    const double halfAlong = (std::abs(dot(across, lineDir)) + std::abs(dot(along, lineDir))) / 2;
    if (style.textAbove) {
        g.text.end = g.text.start = textAt + lineUp * (halfAcross + gap);
    }
    if (straight) {
        // Text centred on the line interrupts it, with the gap on either side.
        const QPointF d = unitOr(lineTo - lineFrom, lineDir);
        const double t0 = dot(textAt - lineFrom, d) - halfAlong - gap;
        const double t1 = dot(textAt - lineFrom, d) + halfAlong + gap;
        const double len = length(lineTo - lineFrom);
        if (!style.textAbove && t0 > 0 && t1 < len) {
            g.lines.push_back({lineFrom, lineFrom + d * t0});
            g.lines.push_back({lineFrom + d * t1, lineTo});
        } else {
            g.lines.push_back({lineFrom, lineTo});
        }
    }
    return g;
}

namespace {

void addDimensionPrims(const Document& doc, const Entity& e, std::vector<Prim>* out) {
    const DimensionGeometry g = dimensionGeometry(doc, e);
    for (const auto& l : g.lines) out->push_back(Prim::segment(l[0], l[1]));
    for (const auto& l : g.extensions) out->push_back(Prim::segment(l[0], l[1]));
    for (const QPolygonF& a : g.solids) {
        for (qsizetype i = 0; i < a.size(); ++i)
            out->push_back(Prim::segment(a[i], a[(i + 1) % a.size()]));
    }
    out->push_back(textBox(doc, g.text));
    // The definition points: nodes to snap to, and part of the extent.
    const auto& dp = e.detail->dimPoints;
    std::vector<QPointF> nodes = {e.start};
    switch (e.detail->dimType) {
        case DimensionType::Linear:
        case DimensionType::Aligned:
            nodes.insert(nodes.end(), {dp[0], dp[1]});
            break;
        case DimensionType::Radius:
        case DimensionType::Diameter:
            nodes.push_back(dp[2]);
            break;
        case DimensionType::Angular:
            nodes.insert(nodes.end(), dp.begin(), dp.end());
            break;
        case DimensionType::Angular3Point:
            nodes.insert(nodes.end(), {dp[0], dp[1], dp[2]});
            break;
    }
    for (QPointF n : nodes) {
        Prim p;
        p.kind = Prim::Dot;
        p.a = p.b = n;
        out->push_back(p);
    }
}

// The closed outline through the corners.
void addOutline(const std::array<QPointF, 4>& c, std::vector<Prim>* out) {
    for (int i = 0; i < 4; ++i) out->push_back(Prim::segment(c[i], c[(i + 1) % 4]));
}

void addMeshEdges(const Entity& e, std::vector<Prim>* out) {
    const int n = int(e.detail->points3.size());
    QSet<quint64> seen;
    for (const MeshFace& f : e.detail->faces) {
        int used[4], count = 0;
        for (int k : f.index) {
            if (k != 0 && std::abs(k) <= n) used[count++] = k;
        }
        for (int i = 0; i < count; ++i) {
            if (used[i] < 0 || count < 2) continue;  // hidden edge
            const int a = used[i], b = std::abs(used[(i + 1) % count]);
            const quint64 key = (quint64(std::min(a, b)) << 32) | quint64(std::max(a, b));
            if (a == b || seen.contains(key)) continue;
            seen.insert(key);
            out->push_back(
                Prim::segment(e.detail->points3[a - 1].xy(), e.detail->points3[b - 1].xy()));
        }
    }
}

void collect(const Document& doc, const Entity& e, int depth, qsizetype* work,
             std::vector<Prim>* out) {
    switch (e.kind) {
        case EntityKind::Line:
            out->push_back(Prim::segment(e.start, e.end));
            break;
        case EntityKind::Polyline: {
            const qsizetype n = e.vertices.size();
            if (n == 1) out->push_back(Prim::segment(e.vertices[0].pos, e.vertices[0].pos));
            const qsizetype segments = e.closed ? n : n - 1;
            for (qsizetype i = 0; i < segments; ++i) {
                const Vertex& v = e.vertices[i];
                const QPointF next = e.vertices[(i + 1) % n].pos;
                if (std::abs(v.bulge) > kEps && length(next - v.pos) > kEps)
                    out->push_back(bulgeArc(v.pos, next, v.bulge));
                else
                    out->push_back(Prim::segment(v.pos, next));
            }
            break;
        }
        case EntityKind::Circle:
            out->push_back(Prim::arc(e.start, e.radius, 0.0, kTwoPi));
            break;
        case EntityKind::Arc: {
            double sweep = std::fmod(e.endAngle - e.startAngle, 360.0);
            if (sweep <= 0) sweep += 360.0;
            out->push_back(
                Prim::arc(e.start, e.radius, e.startAngle * kPi / 180.0, sweep * kPi / 180.0));
            break;
        }
        case EntityKind::Ellipse: {
            const QPointF major = e.end, minor(-e.end.y() * e.ratio, e.end.x() * e.ratio);
            const double from = std::fmod(e.startAngle, kTwoPi);
            const double sweep = oneTurn(e.endAngle - e.startAngle);
            const int n = arcPieces(sweep, kPieceStep, 8);
            auto at = [&](double t) { return e.start + major * std::cos(t) + minor * std::sin(t); };
            for (int i = 0; i < n; ++i)
                out->push_back(
                    Prim::segment(at(from + sweep * i / n), at(from + sweep * (i + 1) / n)));
            break;
        }
        case EntityKind::Point: {
            Prim p;
            p.kind = Prim::Dot;
            p.a = p.b = e.start;
            out->push_back(p);
            break;
        }
        case EntityKind::Text:
        case EntityKind::AttributeDefinition:
        case EntityKind::Attribute:
            out->push_back(textBox(doc, e));
            break;
        case EntityKind::Insert: {
            const size_t first = out->size();
            const Block* block = doc.block(e.blockName);
            if (block && depth < kMaxInsertNesting) {
                Transform t;
                t.base = block->base;
                t.at = e.start;
                t.sx = e.xScale;
                t.sy = e.yScale;
                t.cosR = std::cos(e.rotation * kPi / 180.0);
                t.sinR = std::sin(e.rotation * kPi / 180.0);
                // The block's pieces are mapped where they were collected: nested inserts
                // never hold their pieces in more than the one list.
                std::vector<Prim> arcs;
                for (const Entity& sub : block->entities) {
                    // Definitions show through the insert's own attributes.
                    if (sub.kind == EntityKind::AttributeDefinition) continue;
                    if (*work <= 0) break;
                    const size_t from = out->size();
                    collect(doc, sub, depth + 1, work, out);
                    // A nested insert has counted its own block's pieces.
                    *work -= sub.kind == EntityKind::Insert ? 1 : qsizetype(out->size() - from);
                    if (t.uniform()) {
                        for (size_t k = from; k < out->size(); ++k)
                            (*out)[k] = mapped((*out)[k], t);
                        continue;
                    }
                    // Under unequal scales arcs become elliptic: they are drawn as segments,
                    // and the segments made beyond the arcs count against the bound too.
                    arcs.assign(out->begin() + std::ptrdiff_t(from), out->end());
                    out->resize(from);
                    for (const Prim& p : arcs) {
                        if (*work <= 0) break;
                        const size_t before = out->size();
                        if (p.kind == Prim::Arc)
                            tessellateArc(p, t, out);
                        else
                            out->push_back(mapped(p, t));
                        *work -= qsizetype(out->size() - before) - 1;
                    }
                }
            }
            for (int i = 0; i < int(e.attributes.size()); ++i) {
                Prim p = textBox(doc, e.attributes[i]);
                p.attribute = i;
                out->push_back(p);
            }
            if (out->size() == first) {  // nothing to show: keep it findable at its point
                Prim p;
                p.kind = Prim::Dot;
                p.a = p.b = e.start;
                out->push_back(p);
            }
            break;
        }
        case EntityKind::Dimension:
            addDimensionPrims(doc, e, out);
            break;
        case EntityKind::Image:
            addOutline(
                {e.start, e.start + e.detail->uVector,
                 e.start + e.detail->uVector + e.detail->vVector, e.start + e.detail->vVector},
                out);
            break;
        case EntityKind::Face3D: {
            if (e.detail->points3.size() < 4) break;
            for (int i = 0; i < 4; ++i) {
                // Hidden edges are left out unless all are: the face stays findable.
                if (!(e.detail->edgeFlags & (1 << i)) || (e.detail->edgeFlags & 15) == 15)
                    out->push_back(Prim::segment(e.detail->points3[i].xy(),
                                                 e.detail->points3[(i + 1) % 4].xy()));
            }
            break;
        }
        case EntityKind::PolyfaceMesh:
            addMeshEdges(e, out);
            break;
        case EntityKind::Viewport: {
            const QPointF h(e.detail->width / 2, e.height / 2),
                k(e.detail->width / 2, -e.height / 2);
            addOutline({e.start - h, e.start + k, e.start + h, e.start - k}, out);
            break;
        }
        case EntityKind::Other:
            break;
    }
}

double segmentDistance(QPointF a, QPointF b, QPointF p, QPointF* nearest) {
    const QPointF d = b - a;
    const double len2 = dot(d, d);
    double t = len2 > 0 ? dot(p - a, d) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const QPointF n = a + d * t;
    if (nearest) *nearest = n;
    return length(p - n);
}

bool insideQuad(const std::array<QPointF, 4>& q, QPointF p) {
    bool pos = false, neg = false;
    for (int i = 0; i < 4; ++i) {
        const double c = cross(q[(i + 1) % 4] - q[i], p - q[i]);
        pos |= c > kEps;
        neg |= c < -kEps;
    }
    return !(pos && neg);
}

bool segmentsCross(QPointF a, QPointF b, QPointF c, QPointF d, QPointF* at) {
    const QPointF r = b - a, s = d - c;
    const double den = cross(r, s);
    if (std::abs(den) < kEps * std::max(1.0, length(r) * length(s))) return false;
    const double t = cross(c - a, s) / den, u = cross(c - a, r) / den;
    if (t < -kEps || t > 1 + kEps || u < -kEps || u > 1 + kEps) return false;
    if (at) *at = a + r * t;
    return true;
}

// Points where the line through a and b meets the circle, with their line parameters.
std::vector<std::pair<double, QPointF>> lineCircle(QPointF a, QPointF b, QPointF c, double r) {
    const QPointF d = b - a, f = a - c;
    const double A = dot(d, d), B = 2 * dot(f, d), C = dot(f, f) - r * r;
    std::vector<std::pair<double, QPointF>> out;
    if (A < kEps) return out;
    const double disc = B * B - 4 * A * C;
    if (disc < -kEps * A * r * r) return out;
    const double root = std::sqrt(std::max(0.0, disc));
    for (double t : {(-B - root) / (2 * A), (-B + root) / (2 * A)}) {
        out.push_back({t, a + d * t});
        if (root == 0) break;
    }
    return out;
}

std::vector<QPointF> circleCircle(QPointF c1, double r1, QPointF c2, double r2) {
    const double d = length(c2 - c1);
    if (d < kEps || d > r1 + r2 + kEps || d < std::abs(r1 - r2) - kEps) return {};
    const double a = (r1 * r1 - r2 * r2 + d * d) / (2 * d);
    const double h = std::sqrt(std::max(0.0, r1 * r1 - a * a));
    const QPointF u = (c2 - c1) / d, m = c1 + u * a, n(-u.y(), u.x());
    if (h < kEps) return {m};
    return {m + n * h, m - n * h};
}

double angleOf(QPointF v) {
    return std::atan2(v.y(), v.x());
}

}  // namespace

double length(QPointF v) {
    return std::hypot(v.x(), v.y());
}

Prim Prim::segment(QPointF a, QPointF b) {
    Prim p;
    p.kind = Segment;
    p.a = a;
    p.b = b;
    return p;
}

Prim Prim::arc(QPointF c, double r, double a0, double sweep) {
    Prim p;
    p.kind = Arc;
    p.c = c;
    p.r = r;
    p.a0 = a0;
    p.sweep = sweep;
    p.a = p.arcStart();
    p.b = p.arcEnd();
    return p;
}

QPointF Prim::arcPoint(double angle) const {
    return {c.x() + r * std::cos(angle), c.y() + r * std::sin(angle)};
}

bool Prim::isFullCircle() const {
    return std::abs(sweep) >= kTwoPi - kEps;
}

bool Prim::onArc(double angle) const {
    if (isFullCircle()) return true;
    const double off = sweep >= 0 ? normalAngle(angle - a0) : normalAngle(a0 - angle);
    return off <= std::abs(sweep) + 1e-9 || off >= kTwoPi - 1e-9;
}

double oneTurn(double sweep) {
    if (!std::isfinite(sweep)) return kTwoPi;
    sweep = std::fmod(sweep, kTwoPi);
    if (sweep <= kEps) sweep += kTwoPi;
    return std::min(sweep, kTwoPi);
}

int arcPieces(double sweep, double step, int least) {
    const double n = std::ceil(std::abs(sweep) / step);
    // Compared as a double: a count beyond int (or not a number) never reaches a conversion.
    if (!(n < kMaxArcPieces)) return kMaxArcPieces;
    return std::clamp(int(n), least, kMaxArcPieces);
}

Prim bulgeArc(QPointF p1, QPointF p2, double bulge) {
    const double theta = 4.0 * std::atan(bulge);
    const QPointF d = p2 - p1;
    const double chord = length(d), half = chord / 2;
    const QPointF u = d / chord, left(-u.y(), u.x());
    const QPointF centre = (p1 + p2) / 2 + left * (half / std::tan(theta / 2));
    const double r = half / std::abs(std::sin(theta / 2));
    Prim p = Prim::arc(centre, r, angleOf(p1 - centre), theta);
    p.a = p1;  // exact ends, free of rounding
    p.b = p2;
    return p;
}

double textHeight(const Document& doc, const Entity& e) {
    if (e.height > 0) return e.height;
    const TextStyle* s = doc.textStyle(e.style);
    return s && s->height > 0 ? s->height : 1.0;
}

Prim textBox(const Document& doc, const Entity& e) {
    const TextStyle* s = doc.textStyle(e.style);
    return textBoxOf(e, textHeight(doc, e), s && s->widthFactor > 0 ? s->widthFactor : 1.0);
}

std::vector<Prim> primitives(const Document& doc, const Entity& e) {
    std::vector<Prim> out;
    qsizetype work = kMaxInsertWork;
    collect(doc, e, 0, &work, &out);
    return out;
}

QStringList cutShortBlocks(const Document& doc) {
    // The work an insert of each block costs, counted as collect() counts it, from the
    // pieces of the block's own entities; per block and depth, and never beyond the bound,
    // so the count stays cheap however the blocks nest.
    struct Cost {
        qsizetype work = 0;
        bool cut = false;
    };
    QHash<const Block*, qsizetype> own;
    QHash<QPair<const Block*, int>, Cost> memo;
    std::function<Cost(const Block&, int)> cost = [&](const Block& b, int depth) {
        const auto key = qMakePair(&b, depth);
        if (const auto it = memo.constFind(key); it != memo.cend()) return it.value();
        if (!own.contains(&b)) {
            qsizetype n = 0;
            std::vector<Prim> pieces;
            for (const Entity& sub : b.entities) {
                if (sub.kind == EntityKind::Insert || sub.kind == EntityKind::AttributeDefinition)
                    continue;
                pieces.clear();
                qsizetype unused = kMaxInsertWork;
                collect(doc, sub, 0, &unused, &pieces);
                n += qsizetype(pieces.size());
            }
            own.insert(&b, n);
        }
        Cost c{own.value(&b), false};
        for (const Entity& sub : b.entities) {
            if (sub.kind != EntityKind::Insert || c.work > kMaxInsertWork) continue;
            ++c.work;
            const Block* inner = doc.block(sub.blockName);
            if (!inner || inner->entities.empty()) continue;
            if (depth >= kMaxInsertNesting) {
                c.cut = true;
                continue;
            }
            const Cost nested = cost(*inner, depth + 1);
            c.work += nested.work;
            c.cut = c.cut || nested.cut;
        }
        c.cut = c.cut || c.work > kMaxInsertWork;
        c.work = std::min(c.work, kMaxInsertWork + 1);
        memo.insert(key, c);
        return c;
    };
    QStringList names;
    for (const Block& b : doc.blocks()) {
        if (cost(b, 1).cut) names << b.name;
    }
    names.sort(Qt::CaseInsensitive);
    return names;
}

BBox boundingBox(const Prim& p) {
    BBox box;
    switch (p.kind) {
        case Prim::Segment:
        case Prim::Dot:
            box.add(p.a);
            box.add(p.b);
            break;
        case Prim::Arc:
            box.add(p.arcStart());
            box.add(p.arcEnd());
            for (int k = 0; k < 4; ++k) {
                if (p.onArc(k * kPi / 2)) box.add(p.arcPoint(k * kPi / 2));
            }
            break;
        case Prim::TextBox:
            for (QPointF c : p.q) box.add(c);
            break;
    }
    return box;
}

double halfWidth(const Entity& e) {
    if (e.kind != EntityKind::Polyline || !e.detail.isSet()) return 0.0;
    double widest = e.detail->width;
    for (QPointF w : e.detail->vertexWidths) widest = std::max({widest, w.x(), w.y()});
    return widest > 0 ? widest / 2 : 0.0;
}

BBox boundingBox(const Document& doc, const Entity& e) {
    BBox box;
    for (const Prim& p : primitives(doc, e)) box.add(boundingBox(p));
    if (const double half = halfWidth(e); half > 0 && box.isValid()) box = box.expanded(half);
    return box;
}

double distance(const Prim& p, QPointF pt, QPointF* nearest) {
    switch (p.kind) {
        case Prim::Segment:
            return segmentDistance(p.a, p.b, pt, nearest);
        case Prim::Dot:
            if (nearest) *nearest = p.a;
            return length(pt - p.a);
        case Prim::Arc: {
            const QPointF v = pt - p.c;
            const double ang = angleOf(v);
            if (p.onArc(ang)) {
                if (nearest) *nearest = p.arcPoint(ang);
                return std::abs(length(v) - p.r);
            }
            const double ds = length(pt - p.arcStart()), de = length(pt - p.arcEnd());
            if (nearest) *nearest = ds <= de ? p.arcStart() : p.arcEnd();
            return std::min(ds, de);
        }
        case Prim::TextBox: {
            if (insideQuad(p.q, pt)) {
                if (nearest) *nearest = pt;
                return 0.0;
            }
            double best = std::numeric_limits<double>::infinity();
            for (int i = 0; i < 4; ++i) {
                QPointF n;
                const double d = segmentDistance(p.q[i], p.q[(i + 1) % 4], pt, &n);
                if (d < best) {
                    best = d;
                    if (nearest) *nearest = n;
                }
            }
            return best;
        }
    }
    return std::numeric_limits<double>::infinity();
}

double distanceTo(const Document& doc, const Entity& e, QPointF pt) {
    double best = std::numeric_limits<double>::infinity();
    for (const Prim& p : primitives(doc, e)) best = std::min(best, distance(p, pt));
    return std::max(0.0, best - halfWidth(e));
}

bool touches(const Prim& p, const BBox& box) {
    if (!box.intersects(boundingBox(p))) return false;
    if (box.contains(boundingBox(p))) return true;
    const std::array<QPointF, 4> corners = {QPointF(box.x0, box.y0), QPointF(box.x1, box.y0),
                                            QPointF(box.x1, box.y1), QPointF(box.x0, box.y1)};
    switch (p.kind) {
        case Prim::Dot:
            return box.contains(p.a);
        case Prim::Segment: {
            if (box.contains(p.a) || box.contains(p.b)) return true;
            for (int i = 0; i < 4; ++i) {
                if (segmentsCross(p.a, p.b, corners[i], corners[(i + 1) % 4], nullptr)) return true;
            }
            return false;
        }
        case Prim::Arc: {
            if (box.contains(p.arcStart()) || box.contains(p.arcEnd())) return true;
            for (int i = 0; i < 4; ++i) {
                for (const auto& [t, at] : lineCircle(corners[i], corners[(i + 1) % 4], p.c, p.r)) {
                    if (t >= -kEps && t <= 1 + kEps && p.onArc(angleOf(at - p.c))) return true;
                }
            }
            return false;
        }
        case Prim::TextBox: {
            for (QPointF c : p.q) {
                if (box.contains(c)) return true;
            }
            if (insideQuad(p.q, corners[0])) return true;
            for (int i = 0; i < 4; ++i) {
                for (int j = 0; j < 4; ++j) {
                    if (segmentsCross(p.q[i], p.q[(i + 1) % 4], corners[j], corners[(j + 1) % 4],
                                      nullptr))
                        return true;
                }
            }
            return false;
        }
    }
    return false;
}

std::vector<QPointF> intersections(const Prim& p, const Prim& q) {
    std::vector<QPointF> out;
    if (p.kind == Prim::Segment && q.kind == Prim::Segment) {
        QPointF at;
        if (segmentsCross(p.a, p.b, q.a, q.b, &at)) out.push_back(at);
    } else if (p.kind == Prim::Segment && q.kind == Prim::Arc) {
        for (const auto& [t, at] : lineCircle(p.a, p.b, q.c, q.r)) {
            if (t >= -kEps && t <= 1 + kEps && q.onArc(angleOf(at - q.c))) out.push_back(at);
        }
    } else if (p.kind == Prim::Arc && q.kind == Prim::Segment) {
        return intersections(q, p);
    } else if (p.kind == Prim::Arc && q.kind == Prim::Arc) {
        for (QPointF at : circleCircle(p.c, p.r, q.c, q.r)) {
            if (p.onArc(angleOf(at - p.c)) && q.onArc(angleOf(at - q.c))) out.push_back(at);
        }
    }
    return out;
}

double dot(QPointF a, QPointF b) {
    return a.x() * b.x() + a.y() * b.y();
}

double cross(QPointF a, QPointF b) {
    return a.x() * b.y() - a.y() * b.x();
}

double normalAngle(double a) {
    a = std::fmod(a, kTwoPi);
    return a < 0 ? a + kTwoPi : a;
}

}  // namespace tolvane::cad
