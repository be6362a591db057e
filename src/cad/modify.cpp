#include "cad/modify.h"

#include <QTransform>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>

#include "cad/editing.h"

namespace tolvane::cad {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * kPi;
constexpr double kDeg = 180.0 / kPi;
// Lengths below this share of the drawing's size count as none.
constexpr double kRelTol = 1e-9;

double angleOf(QPointF v) {
    return std::atan2(v.y(), v.x());
}
bool finite(QPointF p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}
// Degrees in [0, 360).
double normalDegrees(double a) {
    a = std::fmod(a, 360.0);
    return a < 0 ? a + 360.0 : a;
}
// Direction of travel of an arc piece: +1 counter-clockwise, -1 clockwise.
double turn(const Prim& p) {
    return p.sweep < 0 ? -1.0 : 1.0;
}
double pieceLength(const Prim& p) {
    return p.kind == Prim::Arc ? p.r * std::abs(p.sweep) : length(p.b - p.a);
}

Reshaped failed(const QString& why) {
    return {{}, why};
}

bool reshapable(const Entity& e) {
    return e.kind == EntityKind::Line || e.kind == EntityKind::Arc ||
           e.kind == EntityKind::Circle || e.kind == EntityKind::Polyline;
}

// The outline of a line, arc, circle or polyline as a chain of segments and arcs, with
// positions measured as the length along it. A polyline's piece i starts at vertex i; a
// circle is one counter-clockwise turn from angle 0.
struct Path {
    std::vector<Prim> pieces;
    std::vector<double> at;  // where each piece starts along the path, then the total
    bool closed = false;
    double tol = 0.0;  // lengths and distances below this are none

    int count() const { return int(pieces.size()); }
    double total() const { return at.back(); }
    double lengthOf(int i) const { return at[i + 1] - at[i]; }
    bool valid() const { return !pieces.empty() && total() > tol && std::isfinite(total()); }

    // The point `u` along piece i; its exact ends at either end.
    QPointF pointOn(int i, double u) const {
        const Prim& p = pieces[i];
        const double len = lengthOf(i);
        if (u <= 0) return p.a;
        if (u >= len) return p.b;
        if (p.kind == Prim::Arc) return p.arcPoint(p.a0 + turn(p) * u / p.r);
        return p.a + (p.b - p.a) * (u / len);
    }

    // The point at a position; a closed path takes any position round its loop.
    QPointF pointAt(double s) const {
        if (closed) {
            s = std::fmod(s, total());
            if (s < 0) s += total();
        }
        const auto it = std::upper_bound(at.begin(), at.begin() + count(), s);
        const int i = std::max(0, int(it - at.begin()) - 1);
        return pointOn(i, s - at[i]);
    }

    // How far along piece i its point nearest `pt` lies.
    double alongPiece(int i, QPointF pt) const {
        const Prim& p = pieces[i];
        const double len = lengthOf(i);
        if (len <= 0) return 0.0;
        if (p.kind == Prim::Segment) return std::clamp(dot(pt - p.a, p.b - p.a) / len, 0.0, len);
        const double sweep = std::abs(p.sweep);
        double off = normalAngle(turn(p) * (angleOf(pt - p.c) - p.a0));
        if (!p.isFullCircle() && off > sweep) off = off - sweep < kTwoPi - off ? sweep : 0.0;
        return std::min(off * p.r, len);
    }

    // The position of the path's point nearest `pt`; a closed path gives [0, total).
    double project(QPointF pt) const {
        int best = 0;
        double bestDistance = std::numeric_limits<double>::infinity();
        for (int i = 0; i < count(); ++i) {
            const double d = distance(pieces[i], pt);
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        return wrapped(at[best] + alongPiece(best, pt));
    }

    // A position of a closed path taken into [0, total), its end counting as its start.
    double wrapped(double s) const {
        if (!closed) return s;
        s = std::fmod(s, total());
        if (s < 0) s += total();
        return s >= total() - tol ? 0.0 : s;
    }

    // The piece nearest the start (or end) that has a length.
    int endPiece(bool atStart) const {
        if (atStart) {
            for (int i = 0; i < count(); ++i) {
                if (lengthOf(i) > tol) return i;
            }
            return 0;
        }
        for (int i = count() - 1; i >= 0; --i) {
            if (lengthOf(i) > tol) return i;
        }
        return count() - 1;
    }
};

Path pathOf(const Entity& e) {
    Path path;
    switch (e.kind) {
        case EntityKind::Line:
            path.pieces.push_back(Prim::segment(e.start, e.end));
            break;
        case EntityKind::Arc: {
            double sweep = std::fmod(e.endAngle - e.startAngle, 360.0);
            if (!(sweep > 0)) sweep += 360.0;
            if (e.radius > 0)
                path.pieces.push_back(
                    Prim::arc(e.start, e.radius, e.startAngle / kDeg, sweep / kDeg));
            break;
        }
        case EntityKind::Circle:
            if (e.radius > 0) path.pieces.push_back(Prim::arc(e.start, e.radius, 0.0, kTwoPi));
            path.closed = true;
            break;
        case EntityKind::Polyline: {
            const int n = int(e.vertices.size());
            const int segments = e.closed ? n : n - 1;
            for (int i = 0; i < segments; ++i) {
                const Vertex& v = e.vertices[i];
                const QPointF next = e.vertices[(i + 1) % n].pos;
                if (v.bulge != 0 && std::isfinite(v.bulge) && next != v.pos)
                    path.pieces.push_back(bulgeArc(v.pos, next, v.bulge));
                else
                    path.pieces.push_back(Prim::segment(v.pos, next));
            }
            path.closed = e.closed;
            break;
        }
        default:
            break;
    }
    BBox box;
    path.at.push_back(0.0);
    for (const Prim& p : path.pieces) {
        box.add(boundingBox(p));
        path.at.push_back(path.at.back() + pieceLength(p));
    }
    double size = 1.0;
    if (box.isValid()) {
        for (double v : {box.x0, box.x1, box.y0, box.y1, box.x1 - box.x0, box.y1 - box.y0})
            size = std::max(size, std::abs(v));
    }
    path.tol = kRelTol * size;
    if (!std::isfinite(path.tol)) path.pieces.clear();
    return path;
}

// The bulge of the part of a polyline's piece from u0 to u1 along it; the vertex's own
// bulge for the whole piece.
double partBulge(const Path& path, int i, double u0, double u1, double own) {
    const Prim& p = path.pieces[i];
    if (p.kind != Prim::Arc) return 0.0;
    if (u0 <= path.tol && u1 >= path.lengthOf(i) - path.tol) return own;
    return std::tan(turn(p) * (u1 - u0) / p.r / 4.0);
}

// The part of an entity from position `from` to `to` (from < to; on a closed path `to` may
// go on round the loop past the start). Circles give arcs, polylines open polylines.
Entity part(const Entity& e, const Path& path, double from, double to) {
    Entity out = e;
    out.handle.clear();
    switch (e.kind) {
        case EntityKind::Line:
            out.start = path.pointAt(from);
            out.end = path.pointAt(to);
            break;
        case EntityKind::Arc:
        case EntityKind::Circle: {
            const double base = e.kind == EntityKind::Arc ? e.startAngle : 0.0;
            out.kind = EntityKind::Arc;
            out.startAngle = normalDegrees(base + from / e.radius * kDeg);
            out.endAngle = normalDegrees(base + to / e.radius * kDeg);
            break;
        }
        case EntityKind::Polyline: {
            const int n = path.count();
            const int unrolled = path.closed ? 2 * n : n;
            QList<Vertex> vertices;
            double s = from;
            for (int j = 0; j < unrolled && s < to - path.tol; ++j) {
                const int i = j % n;
                const double a = path.at[i] + (j / n) * path.total(), b = a + path.lengthOf(i);
                if (b <= s + path.tol) continue;  // before the part, or of no length
                const double u0 = std::max(0.0, s - a), u1 = std::min(b, to) - a;
                vertices.append(
                    {path.pointOn(i, u0), partBulge(path, i, u0, u1, e.vertices[i].bulge)});
                s = b;
            }
            vertices.append({path.pointAt(to), 0.0});
            out.vertices = vertices;
            out.closed = false;
            out.rectangle = false;
            break;
        }
        default:
            break;
    }
    return out;
}

// Entities made of parts: the first keeps the original's handle.
Reshaped parts(const Entity& e, std::vector<Entity> pieces) {
    if (!pieces.empty()) pieces.front().handle = e.handle;
    return {std::move(pieces), {}};
}

// The segments and arcs of other entities, leaving out the one with `own` as its handle.
std::vector<Prim> curvesOf(const Document& doc, const std::vector<Entity>& entities,
                           const QString& own) {
    std::vector<Prim> out;
    for (const Entity& e : entities) {
        if (!own.isEmpty() && e.handle == own) continue;
        for (const Prim& p : primitives(doc, e)) {
            if (p.kind == Prim::Segment || p.kind == Prim::Arc) out.push_back(p);
        }
    }
    return out;
}

// Whether four vertices still make a rectangle.
bool isRectangle(const QList<Vertex>& v) {
    if (v.size() != 4) return false;
    for (int i = 0; i < 4; ++i) {
        const QPointF a = v[(i + 1) % 4].pos - v[i].pos,
                      b = v[(i + 2) % 4].pos - v[(i + 1) % 4].pos;
        if (v[i].bulge != 0 || std::abs(dot(a, b)) > 1e-9 * std::max(1.0, dot(a, a) + dot(b, b)))
            return false;
    }
    return true;
}

const QString kNoLength = QStringLiteral("The object has no length.");
const QString kBadPoint = QStringLiteral("The point given is not a valid point.");

}  // namespace

Reshaped trim(const Document& doc, const Entity& target, const std::vector<Entity>& edges,
              QPointF pick) {
    if (!reshapable(target))
        return failed(QStringLiteral("Only lines, arcs, circles and polylines can be trimmed."));
    const Path path = pathOf(target);
    if (!path.valid()) return failed(kNoLength);
    if (!finite(pick)) return failed(kBadPoint);

    std::vector<double> cuts;
    for (const Prim& edge : curvesOf(doc, edges, target.handle)) {
        for (int i = 0; i < path.count(); ++i) {
            for (QPointF x : intersections(path.pieces[i], edge))
                cuts.push_back(path.wrapped(path.at[i] + path.alongPiece(i, x)));
        }
    }
    const double total = path.total(), tol = path.tol;
    if (!path.closed) {
        std::erase_if(cuts, [&](double c) { return c <= tol || c >= total - tol; });
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(
        std::unique(cuts.begin(), cuts.end(), [&](double a, double b) { return b - a <= tol; }),
        cuts.end());
    // Round a loop the last cut may be the first over again.
    if (path.closed && cuts.size() > 1 && cuts.front() + total - cuts.back() <= tol)
        cuts.pop_back();
    if (cuts.empty()) return failed(QStringLiteral("The object does not cross a cutting edge."));

    const double p = path.project(pick);
    const auto above = std::upper_bound(cuts.begin(), cuts.end(), p);
    if (!path.closed) {
        const double lo = above == cuts.begin() ? 0.0 : *(above - 1);
        const double hi = above == cuts.end() ? total : *above;
        std::vector<Entity> kept;
        if (lo > 0) kept.push_back(part(target, path, 0.0, lo));
        if (hi < total) kept.push_back(part(target, path, hi, total));
        return parts(target, std::move(kept));
    }
    if (cuts.size() < 2)
        return failed(
            QStringLiteral("A closed object must cross the cutting edges at least twice."));
    const double lo = above == cuts.begin() ? cuts.back() - total : *(above - 1);
    const double hi = above == cuts.end() ? cuts.front() + total : *above;
    return parts(target, {part(target, path, hi, lo + total)});
}

Reshaped extend(const Document& doc, const Entity& target, const std::vector<Entity>& boundaries,
                QPointF pick) {
    if (target.kind == EntityKind::Circle || (target.kind == EntityKind::Polyline && target.closed))
        return failed(QStringLiteral("Closed objects cannot be extended."));
    if (!reshapable(target))
        return failed(QStringLiteral("Only lines, arcs and open polylines can be extended."));
    const Path path = pathOf(target);
    if (!path.valid()) return failed(kNoLength);
    if (!finite(pick)) return failed(kBadPoint);

    const bool atStart = path.project(pick) < path.total() / 2;
    const int i = path.endPiece(atStart);
    const Prim& p = path.pieces[i];
    const QPointF tip = atStart ? p.a : p.b;
    const std::vector<Prim> curves = curvesOf(doc, boundaries, target.handle);

    // The nearest crossing ahead: its distance along the way (an angle round an arc).
    double ahead = std::numeric_limits<double>::infinity();
    QPointF hit;
    if (p.kind == Prim::Segment) {
        const QPointF u = (atStart ? p.a - p.b : p.b - p.a) / path.lengthOf(i);
        BBox box = BBox::of(tip, tip);
        for (const Prim& q : curves) box.add(boundingBox(q));
        const double reach = 2.0 * length({box.x1 - box.x0, box.y1 - box.y0}) + 1.0;
        const Prim ray = Prim::segment(tip, tip + u * reach);
        for (const Prim& q : curves) {
            for (QPointF x : intersections(ray, q)) {
                const double d = dot(x - tip, u);
                if (d > path.tol && d < ahead) {
                    ahead = d;
                    hit = x;
                }
            }
        }
    } else {
        const Prim circle = Prim::arc(p.c, p.r, 0.0, kTwoPi);
        const double way = atStart ? -turn(p) : turn(p);
        const double from = atStart ? p.a0 : p.a0 + p.sweep;
        // Round no further than to where the arc itself begins.
        const double room = kTwoPi - std::abs(p.sweep) - path.tol / p.r;
        for (const Prim& q : curves) {
            for (QPointF x : intersections(circle, q)) {
                const double d = normalAngle(way * (angleOf(x - p.c) - from));
                if (d * p.r > path.tol && d < room && d < ahead) {
                    ahead = d;
                    hit = x;
                }
            }
        }
    }
    if (!std::isfinite(ahead))
        return failed(QStringLiteral("No boundary lies beyond that end of the object."));

    Entity out = target;
    switch (target.kind) {
        case EntityKind::Line:
            (atStart ? out.start : out.end) = hit;
            break;
        case EntityKind::Arc:
            if (atStart)
                out.startAngle = normalDegrees(target.startAngle - ahead * kDeg);
            else
                out.endAngle = normalDegrees(target.endAngle + ahead * kDeg);
            break;
        default: {  // open polyline
            QList<Vertex>& v = out.vertices;
            // Vertices beyond the end piece lie on its end and go.
            if (atStart) {
                v.remove(0, i);
            } else {
                v.resize(i + 2);
            }
            Vertex& moved = atStart ? v.front() : v.back();
            moved.pos = hit;
            if (p.kind == Prim::Arc) {
                const double sweep = p.sweep + turn(p) * ahead;
                (atStart ? v.front() : v[v.size() - 2]).bulge = std::tan(sweep / 4.0);
            }
            out.rectangle = false;
            break;
        }
    }
    return {{out}, {}};
}

namespace {

// The offset pieces of a polyline meet where the lines or circles they lie on cross (the
// crossing nearest the original corner), or where they already touch. Nothing when they do
// not meet, or are parallel lines apart.
std::optional<QPointF> offsetMeet(const Prim& p, const Prim& q, QPointF corner, double tol,
                                  double reach) {
    if (length(p.b - q.a) <= tol) return (p.b + q.a) / 2;
    if (p.kind == Prim::Segment && q.kind == Prim::Segment) {
        const QPointF r = p.b - p.a, s = q.b - q.a;
        const double den = cross(r, s);
        if (std::abs(den) <= 1e-12 * length(r) * length(s)) return std::nullopt;
        return p.a + r * (cross(q.a - p.a, s) / den);
    }
    auto whole = [&](const Prim& x) {
        if (x.kind == Prim::Arc) return Prim::arc(x.c, x.r, 0.0, kTwoPi);
        const QPointF u = (x.b - x.a) / length(x.b - x.a);
        return Prim::segment(x.a - u * reach, x.b + u * reach);
    };
    std::optional<QPointF> best;
    for (QPointF x : intersections(whole(p), whole(q))) {
        if (!best || length(x - corner) < length(*best - corner)) best = x;
    }
    return best;
}

// The bulge of an arc piece's circle from `from` to `to`, running the way it ran before,
// the sweep nearest the one it had.
double bulgeBetween(const Prim& arc, QPointF from, QPointF to) {
    const double change = angleOf(to - arc.c) - angleOf(from - arc.c) - arc.sweep;
    const double sweep =
        std::clamp(arc.sweep + std::remainder(change, kTwoPi), -kTwoPi * 0.999, kTwoPi * 0.999);
    return std::tan(sweep / 4.0);
}

Reshaped offsetPolyline(const Entity& e, const Path& path, double amount, QPointF side) {
    std::vector<int> used;  // the pieces that have a length
    for (int i = 0; i < path.count(); ++i) {
        if (path.lengthOf(i) > path.tol) used.push_back(i);
    }
    if (used.empty()) return failed(kNoLength);
    int nearest = used.front();
    double nearestDistance = std::numeric_limits<double>::infinity();
    QPointF foot;
    for (int i : used) {
        QPointF f;
        const double d = distance(path.pieces[i], side, &f);
        if (d < nearestDistance) {
            nearestDistance = d;
            nearest = i;
            foot = f;
        }
    }
    const Prim& n = path.pieces[nearest];
    double leftness;  // > 0 when the side lies left of the way the polyline runs
    if (n.kind == Prim::Segment)
        leftness = cross((n.b - n.a) / path.lengthOf(nearest), side - foot);
    else
        leftness = turn(n) * (n.r - length(side - n.c));
    if (std::abs(leftness) <= path.tol)
        return failed(QStringLiteral("The side point must lie to one side of the object."));
    const double left = leftness > 0 ? amount : -amount;

    std::vector<Prim> moved;
    for (int i : used) {
        const Prim& p = path.pieces[i];
        if (p.kind == Prim::Segment) {
            const QPointF u = (p.b - p.a) / path.lengthOf(i), normal(-u.y(), u.x());
            moved.push_back(Prim::segment(p.a + normal * left, p.b + normal * left));
            continue;
        }
        const double r = p.r - turn(p) * left;
        if (r <= path.tol)
            return failed(
                QStringLiteral("The offset distance is larger than the radius of an arc."));
        moved.push_back(Prim::arc(p.c, r, p.a0, p.sweep));
    }

    const int m = int(moved.size());
    std::vector<QPointF> from(m), to(m);
    std::vector<bool> apart(m, false);  // no meeting after piece k: a straight link
    for (int k = 0; k < m; ++k) {
        from[k] = moved[k].a;
        to[k] = moved[k].b;
    }
    const double reach = 4.0 * (path.total() + amount) + 1.0;
    for (int k = 0; k < (path.closed ? m : m - 1); ++k) {
        const int next = (k + 1) % m;
        const QPointF corner = path.pieces[used[k]].b;
        if (const auto meet = offsetMeet(moved[k], moved[next], corner, path.tol, reach)) {
            to[k] = from[next] = *meet;
        } else {
            apart[k] = true;
        }
    }
    QList<Vertex> vertices;
    for (int k = 0; k < m; ++k) {
        const Prim& p = moved[k];
        vertices.append({from[k], p.kind == Prim::Arc ? bulgeBetween(p, from[k], to[k]) : 0.0});
        if (apart[k]) vertices.append({to[k], 0.0});
    }
    if (!path.closed) vertices.append({to[m - 1], 0.0});
    for (const Vertex& v : vertices) {
        if (!finite(v.pos) || !std::isfinite(v.bulge))
            return failed(QStringLiteral("The polyline cannot be offset by that distance."));
    }
    Entity out = e;
    out.handle.clear();
    out.vertices = vertices;
    return {{out}, {}};
}

}  // namespace

Reshaped offset(const Entity& e, double distance, QPointF side) {
    if (!reshapable(e))
        return failed(QStringLiteral("Only lines, arcs, circles and polylines can be offset."));
    if (!(std::isfinite(distance) && distance > 0))
        return failed(QStringLiteral("The offset distance must be a positive number."));
    const Path path = pathOf(e);
    if (!path.valid()) return failed(kNoLength);
    if (!finite(side)) return failed(kBadPoint);
    const QString onObject = QStringLiteral("The side point must lie to one side of the object.");

    Entity out = e;
    out.handle.clear();
    switch (e.kind) {
        case EntityKind::Line: {
            const QPointF u = (e.end - e.start) / path.total(), normal(-u.y(), u.x());
            const double leftness = cross(u, side - e.start);
            if (std::abs(leftness) <= path.tol) return failed(onObject);
            const QPointF by = normal * (leftness > 0 ? distance : -distance);
            out.start += by;
            out.end += by;
            break;
        }
        case EntityKind::Arc:
        case EntityKind::Circle: {
            const double fromCentre = length(side - e.start);
            if (std::abs(fromCentre - e.radius) <= path.tol) return failed(onObject);
            out.radius = fromCentre < e.radius ? e.radius - distance : e.radius + distance;
            if (out.radius <= path.tol)
                return failed(QStringLiteral("The offset distance is larger than the radius."));
            break;
        }
        default:
            return offsetPolyline(e, path, distance, side);
    }
    return {{out}, {}};
}

Reshaped breakAt(const Entity& e, QPointF first, QPointF second) {
    if (!reshapable(e))
        return failed(QStringLiteral("Only lines, arcs, circles and polylines can be broken."));
    const Path path = pathOf(e);
    if (!path.valid()) return failed(kNoLength);
    if (!finite(first) || !finite(second)) return failed(kBadPoint);
    const double total = path.total(), tol = path.tol;
    double a = path.project(first), b = path.project(second);

    if (path.closed) {
        // The same point also when one lies just before the start and one just after.
        const double apart = std::abs(a - b);
        const bool same = apart <= tol || total - apart <= tol;
        if (same && e.kind == EntityKind::Circle)
            return failed(QStringLiteral("A circle needs two different break points."));
        if (same) a = b;
        return parts(e, {part(e, path, b, a <= b ? a + total : a)});
    }
    if (a > b) std::swap(a, b);
    if (b - a <= tol) {
        if (a <= tol || a >= total - tol)
            return failed(QStringLiteral("The object cannot be split at its end."));
        return parts(e, {part(e, path, 0.0, a), part(e, path, a, total)});
    }
    std::vector<Entity> kept;
    if (a > tol) kept.push_back(part(e, path, 0.0, a));
    if (b < total - tol) kept.push_back(part(e, path, b, total));
    if (kept.empty()) return failed(QStringLiteral("The break would remove the whole object."));
    return parts(e, std::move(kept));
}

Reshaped fillet(const Entity& polyline, double radius) {
    if (polyline.kind != EntityKind::Polyline)
        return failed(QStringLiteral("Only polylines can be filleted."));
    if (!(std::isfinite(radius) && radius >= 0))
        return failed(QStringLiteral("The fillet radius must be zero or a positive number."));
    const Path path = pathOf(polyline);
    if (!path.valid()) return failed(kNoLength);
    if (radius == 0) return {{polyline}, {}};

    const QList<Vertex>& v = polyline.vertices;
    const int n = int(v.size());
    auto straight = [&](int k) { return v[k].bulge == 0 && path.lengthOf(k) > path.tol; };
    auto direction = [&](int k) { return (v[(k + 1) % n].pos - v[k].pos) / path.lengthOf(k); };
    // Per vertex: how far the fillet reaches along each segment (0 for none) and its bulge.
    std::vector<double> reach(n, 0.0), bulge(n, 0.0);
    for (int i = 0; i < n; ++i) {
        if (!polyline.closed && (i == 0 || i == n - 1)) continue;
        const int in = (i + n - 1) % n;
        if (!straight(in) || !straight(i)) continue;
        const QPointF u1 = direction(in), u2 = direction(i);
        const double angle = std::atan2(cross(u1, u2), dot(u1, u2));  // the turn at the corner
        if (std::abs(angle) < 1e-9) continue;
        reach[i] = radius * std::tan(std::abs(angle) / 2.0);
        bulge[i] = std::tan(angle / 4.0);
    }
    for (int k = 0; k < path.count(); ++k) {
        if (reach[k] + reach[(k + 1) % n] > path.lengthOf(k) + path.tol || !std::isfinite(reach[k]))
            return failed(
                QStringLiteral("The fillet radius is too large for the segments at a corner."));
    }

    QList<Vertex> out;
    auto add = [&](Vertex w) {
        // A vertex on the one before ends a segment of no length: it goes, keeping its bulge.
        if (!out.isEmpty() && length(w.pos - out.back().pos) <= path.tol)
            out.back().bulge = w.bulge;
        else
            out.append(w);
    };
    for (int i = 0; i < n; ++i) {
        if (reach[i] == 0) {
            add(v[i]);
            continue;
        }
        add({v[i].pos - direction((i + n - 1) % n) * reach[i], bulge[i]});
        add({v[i].pos + direction(i) * reach[i], v[i].bulge});
    }
    if (polyline.closed && out.size() > 1 && length(out.back().pos - out.front().pos) <= path.tol)
        out.removeLast();
    Entity filleted = polyline;
    if (out != v) filleted.rectangle = false;
    filleted.vertices = out;
    return {{filleted}, {}};
}

bool stretch(Entity& e, const BBox& window, QPointF by) {
    if (!window.isValid() || !finite(by) || by.isNull()) return false;
    switch (e.kind) {
        case EntityKind::Line: {
            const bool start = window.contains(e.start), end = window.contains(e.end);
            if (start) e.start += by;
            if (end) e.end += by;
            return start || end;
        }
        case EntityKind::Polyline: {
            int moved = 0;
            for (Vertex& v : e.vertices) {
                if (!window.contains(v.pos)) continue;
                v.pos += by;
                ++moved;
            }
            if (moved > 0 && moved < e.vertices.size() && e.rectangle)
                e.rectangle = e.closed && isRectangle(e.vertices);
            return moved > 0;
        }
        default: {
            const bool byCorner =
                e.kind == EntityKind::Face3D || e.kind == EntityKind::PolyfaceMesh;
            if (byCorner && e.detail->points3.isEmpty()) return false;
            const QPointF reference = byCorner ? e.detail->points3.front().xy() : e.start;
            if (!window.contains(reference)) return false;
            return transformEntity(e, QTransform::fromTranslate(by.x(), by.y()));
        }
    }
}

}  // namespace tolvane::cad
