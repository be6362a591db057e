#include "cad/grips.h"

#include <QLineF>
#include <QTransform>
#include <cmath>
#include <numbers>

#include "cad/editing.h"

namespace tolvane::cad {

namespace {

constexpr double kRad = std::numbers::pi / 180.0;
constexpr double kTiny = 1e-9;

QPointF onCircle(QPointF centre, double radius, double degrees) {
    return centre + QPointF(std::cos(degrees * kRad), std::sin(degrees * kRad)) * radius;
}

// An arc's counter-clockwise sweep from its start to its end angle, in (0, 360].
double sweepOf(const Entity& arc) {
    double sweep = std::fmod(arc.endAngle - arc.startAngle, 360.0);
    if (sweep <= 0) sweep += 360.0;
    return sweep;
}

// The minor axis of an ellipse as a vector from its centre.
QPointF minorAxis(const Entity& e) {
    return QPointF(-e.end.y(), e.end.x()) * e.ratio;
}

// The measured points a dimension of this type keeps in dimPoints (entity.h tells which).
int dimPointCount(DimensionType type) {
    switch (type) {
        case DimensionType::Linear:
        case DimensionType::Aligned:
            return 2;
        case DimensionType::Radius:
        case DimensionType::Diameter:
            return 3;  // the point on the curve is [2]
        case DimensionType::Angular:
            return 4;
        case DimensionType::Angular3Point:
            return 3;
    }
    return 0;
}
bool dimPointUsed(DimensionType type, int k) {
    if (type == DimensionType::Radius || type == DimensionType::Diameter) return k == 2;
    return k < dimPointCount(type);
}

bool visibleAttribute(const Entity& a) {
    return (a.attributeFlags & 1) == 0;
}

bool moveWhole(Entity& e, QPointF from, QPointF to) {
    return transformEntity(e, QTransform::fromTranslate(to.x() - from.x(), to.y() - from.y()));
}

}  // namespace

std::vector<QPointF> gripPoints(const Entity& e) {
    std::vector<QPointF> g;
    switch (e.kind) {
        case EntityKind::Line:
            g = {e.start, (e.start + e.end) / 2, e.end};
            break;
        case EntityKind::Polyline:
            for (const Vertex& v : e.vertices) g.push_back(v.pos);
            break;
        case EntityKind::Circle:
            g.push_back(e.start);
            for (int k = 0; k < 4; ++k) g.push_back(onCircle(e.start, e.radius, 90.0 * k));
            break;
        case EntityKind::Arc:
            g = {e.start, onCircle(e.start, e.radius, e.startAngle),
                 onCircle(e.start, e.radius, e.startAngle + sweepOf(e) / 2),
                 onCircle(e.start, e.radius, e.startAngle + sweepOf(e))};
            break;
        case EntityKind::Ellipse:
            g = {e.start, e.start + e.end, e.start - e.end, e.start + minorAxis(e),
                 e.start - minorAxis(e)};
            break;
        case EntityKind::Point:
        case EntityKind::Viewport:
            g.push_back(e.start);
            break;
        case EntityKind::Text:
        case EntityKind::AttributeDefinition:
        case EntityKind::Attribute:
            g.push_back(e.start);
            if (e.hAlign != 0 || e.vAlign != 0) g.push_back(e.end);
            break;
        case EntityKind::Insert:
            g.push_back(e.start);
            for (const Entity& a : e.attributes)
                if (visibleAttribute(a)) g.push_back(a.start);
            break;
        case EntityKind::Dimension:
            g = {e.start, e.end};
            for (int k = 0; k < 4; ++k)
                if (dimPointUsed(e.detail->dimType, k)) g.push_back(e.detail->dimPoints[k]);
            break;
        case EntityKind::Image:
            g = {e.start, e.start + e.detail->uVector + e.detail->vVector};
            break;
        case EntityKind::Face3D:
        case EntityKind::PolyfaceMesh:
            for (const Point3& p : e.detail->points3) g.push_back(p.xy());
            break;
        case EntityKind::Other:
            break;
    }
    return g;
}

int gripAt(const Entity& e, QPointF point, double aperture) {
    int best = -1;
    double bestDist = aperture;
    const std::vector<QPointF> grips = gripPoints(e);
    for (int i = 0; i < int(grips.size()); ++i) {
        const double d = QLineF(grips[size_t(i)], point).length();
        if (d <= bestDist && (best < 0 || d < bestDist)) {
            best = i;
            bestDist = d;
        }
    }
    return best;
}

bool moveGrip(Entity& e, int index, QPointF to) {
    const std::vector<QPointF> grips = gripPoints(e);
    if (index < 0 || index >= int(grips.size()) || !std::isfinite(to.x()) || !std::isfinite(to.y()))
        return false;
    const QPointF from = grips[size_t(index)];
    switch (e.kind) {
        case EntityKind::Line:
            if (index == 0) e.start = to;
            if (index == 2) e.end = to;
            return index == 1 ? moveWhole(e, from, to) : true;
        case EntityKind::Polyline:
            e.vertices[index].pos = to;
            e.rectangle = false;  // a corner moved alone: no longer a rectangle
            return true;
        case EntityKind::Circle: {
            if (index == 0) return moveWhole(e, from, to);
            const double r = QLineF(e.start, to).length();
            if (!(r > kTiny)) return false;
            e.radius = r;
            return true;
        }
        case EntityKind::Arc: {
            if (index == 0) return moveWhole(e, from, to);
            QPointF p[3] = {grips[1], grips[2], grips[3]};
            p[index - 1] = to;
            const std::optional<Entity> arc = arcThrough(p[0], p[1], p[2]);
            if (!arc) return false;
            e.start = arc->start;
            e.radius = arc->radius;
            e.startAngle = arc->startAngle;
            e.endAngle = arc->endAngle;
            return true;
        }
        case EntityKind::Ellipse: {
            if (index == 0) return moveWhole(e, from, to);
            const double major = QLineF(QPointF(), e.end).length();
            const double minor = major * e.ratio;
            if (index <= 2) {
                const QPointF axis = index == 1 ? to - e.start : e.start - to;
                const double length = QLineF(QPointF(), axis).length();
                if (!(length > kTiny) || minor > length) return false;
                e.end = axis;
                e.ratio = minor / length;
                return true;
            }
            // The minor axis: the distance of the point from the major axis.
            const QPointF v = to - e.start;
            const double m = std::abs(e.end.x() * v.y() - e.end.y() * v.x()) / major;
            if (!(m > kTiny) || m > major) return false;
            e.ratio = m / major;
            return true;
        }
        case EntityKind::Point:
        case EntityKind::Viewport:
        case EntityKind::Text:
        case EntityKind::AttributeDefinition:
        case EntityKind::Attribute:
            return moveWhole(e, from, to);
        case EntityKind::Insert: {
            if (index == 0) return moveWhole(e, from, to);
            int k = 0;
            for (Entity& a : e.attributes) {
                if (!visibleAttribute(a) || ++k != index) continue;
                const QPointF by = to - from;
                a.start += by;
                a.end += by;
                return true;
            }
            return false;
        }
        case EntityKind::Dimension: {
            if (index == 0) e.start = to;
            if (index == 1) e.end = to;
            int k = 2;
            for (int i = 0; i < 4 && index >= 2; ++i) {
                if (!dimPointUsed(e.detail->dimType, i)) continue;
                if (k++ == index) e.detail.edit().dimPoints[size_t(i)] = to;
            }
            return true;
        }
        case EntityKind::Image: {
            if (index == 0) return moveWhole(e, from, to);
            const QPointF diagonal = e.detail->uVector + e.detail->vVector;
            const double d2 = diagonal.x() * diagonal.x() + diagonal.y() * diagonal.y();
            const QPointF v = to - e.start;
            const double f = d2 > 0 ? (v.x() * diagonal.x() + v.y() * diagonal.y()) / d2 : 0.0;
            if (!(f > kTiny)) return false;
            EntityDetail& d = e.detail.edit();
            d.uVector *= f;
            d.vVector *= f;
            return true;
        }
        case EntityKind::Face3D:
        case EntityKind::PolyfaceMesh: {
            Point3& p = e.detail.edit().points3[index];
            p.x = to.x();
            p.y = to.y();
            return true;
        }
        case EntityKind::Other:
            break;
    }
    return false;
}

std::optional<std::pair<QPointF, double>> circleThrough(QPointF a, QPointF b, QPointF c) {
    const double d =
        2 * (a.x() * (b.y() - c.y()) + b.x() * (c.y() - a.y()) + c.x() * (a.y() - b.y()));
    if (std::abs(d) < 1e-12) return std::nullopt;
    const double a2 = a.x() * a.x() + a.y() * a.y(), b2 = b.x() * b.x() + b.y() * b.y(),
                 c2 = c.x() * c.x() + c.y() * c.y();
    const QPointF centre((a2 * (b.y() - c.y()) + b2 * (c.y() - a.y()) + c2 * (a.y() - b.y())) / d,
                         (a2 * (c.x() - b.x()) + b2 * (a.x() - c.x()) + c2 * (b.x() - a.x())) / d);
    return std::make_pair(centre, QLineF(centre, a).length());
}

std::optional<Entity> arcThrough(QPointF start, QPointF middle, QPointF end) {
    const auto c = circleThrough(start, middle, end);
    if (!c) return std::nullopt;
    const auto degrees = [&](QPointF p) {
        return std::atan2(p.y() - c->first.y(), p.x() - c->first.x()) / kRad;
    };
    double from = degrees(start), to = degrees(end);
    // Arcs run counter-clockwise: one that turns clockwise through the middle is kept from
    // its end to its start.
    const double turn = (middle.x() - start.x()) * (end.y() - start.y()) -
                        (middle.y() - start.y()) * (end.x() - start.x());
    if (turn < 0) std::swap(from, to);
    return Entity::arc(c->first, c->second, from, to);
}

}  // namespace tolvane::cad
