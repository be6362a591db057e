#include "cad/picking.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <span>

namespace tolvane::cad {

namespace {

constexpr size_t kMaxIntersectionPieces = 4096;
// How many entities ahead a pass over a space asks for what it will read.
constexpr int kReadAhead = 8;

struct Candidate {
    const Entity* entity = nullptr;
    int position = -1;
};

bool visible(const Document& doc, const Entity& e) {
    const Layer* l = doc.layer(e.layer);
    return !l || (l->on && !l->frozen);
}

// What a point search finds on one entity from its pieces within the aperture: the nearest
// visible attribute (attributes lie on top of their insert; of two as near, the first), else
// the entity itself when any other piece is near. Its distance is that of its nearest piece.
PickResult pickOn(const Entity& e, int position, std::span<const NearPiece> near) {
    int bestAttr = -1;
    double bestAttrDist = std::numeric_limits<double>::infinity();
    double nearest = std::numeric_limits<double>::infinity();
    for (const NearPiece& p : near) {
        if (p.attribute < 0) {
            nearest = std::min(nearest, p.distance);
        } else if (p.attribute < int(e.attributes.size()) &&
                   (e.attributes[size_t(p.attribute)].attributeFlags & 1) == 0 &&
                   p.distance < bestAttrDist) {
            bestAttrDist = p.distance;
            bestAttr = p.attribute;
        }
    }
    nearest = std::min(nearest, bestAttrDist);
    if (bestAttr >= 0) {
        const Entity& a = e.attributes[size_t(bestAttr)];
        return PickResult{a.handle, e.handle, a.tag, position, nearest};
    }
    if (std::isfinite(nearest)) return PickResult{e.handle, {}, {}, position, nearest};
    return {};
}

// The entity a click means among those offered: the nearest, of two as near the later drawn.
struct Nearest {
    PickResult best;
    void offer(PickResult r) {
        if (!r.found()) return;
        if (!best.found() || r.distance < best.distance ||
            (r.distance == best.distance && r.position > best.position))
            best = std::move(r);
    }
    // Nothing below an entity lying right at the point can be nearer, nor win a tie.
    bool settled() const { return best.found() && best.distance <= 0.0; }
};

std::vector<Candidate> allOf(const Document& doc, const Space& space) {
    std::vector<Candidate> out;
    for (int i = 0; i < int(space.entities.size()); ++i) {
        const Entity& e = space.entities[size_t(i)];
        if (visible(doc, e)) out.push_back({&e, i});
    }
    return out;
}

std::vector<Candidate> resolved(const Document& doc, const Space& space, const SpatialIndex& index,
                                const std::vector<quint64>& handles, PickStats* stats) {
    std::vector<Candidate> out;
    out.reserve(handles.size());
    for (quint64 h : handles) {
        int pos = -1;
        const Entity* e = index.resolve(space, h, &pos);
        if (e && visible(doc, *e)) out.push_back({e, pos});
    }
    if (stats) stats->candidates = int(handles.size());
    return out;
}

void byDrawOrder(std::vector<Candidate>* list) {
    std::sort(list->begin(), list->end(),
              [](const Candidate& a, const Candidate& b) { return a.position < b.position; });
}

std::vector<QString> handlesOf(std::vector<Candidate> list) {
    byDrawOrder(&list);
    std::vector<QString> out;
    for (const Candidate& c : list) out.push_back(c.entity->handle);
    return out;
}

std::vector<Candidate> keepInside(const Document& doc, const std::vector<Candidate>& list,
                                  const BBox& box) {
    std::vector<Candidate> out;
    for (const Candidate& c : list) {
        if (box.contains(boundingBox(doc, *c.entity))) out.push_back(c);
    }
    return out;
}

std::vector<Candidate> keepTouching(const Document& doc, const std::vector<Candidate>& list,
                                    const BBox& box) {
    std::vector<Candidate> out;
    for (const Candidate& c : list) {
        for (const Prim& p : primitives(doc, *c.entity)) {
            if (touches(p, box)) {
                out.push_back(c);
                break;
            }
        }
    }
    return out;
}

// What rounding may move a piece by when it is worked out otherwise than here: far more than
// the last bits of coordinates this large.
double roundingRoom(const BBox& b) {
    const double far = std::max({std::abs(b.x0), std::abs(b.y0), std::abs(b.x1), std::abs(b.y1)});
    return 1e-9 * (1.0 + far);
}

// The box in which the arc a polyline segment bulges into lies: within the sagitta of the
// chord for at most a half turn, within the circle's diameter of the chord's middle beyond.
double bulgeReach(QPointF a, QPointF b, double bulge) {
    const double t = std::abs(bulge);
    if (t == 0.0) return 0.0;
    const double half = length(b - a) / 2;
    if (t <= 1.0) return half * t;
    return half * (1.0 + t * t) / t;  // twice the radius
}

}  // namespace

QuickExtents::QuickExtents(const Document& doc) : doc_(doc) {
    for (const TextStyle& s : doc.textStyles()) {
        if (s.widthFactor > 0) widest_ = std::max(widest_, s.widthFactor);
    }
}

// A text's box turns about its insertion or alignment point (or runs between the two): no
// corner is further from them than its width and height together.
bool QuickExtents::textAround(const Entity& e, BBox* box) const {
    const double h = textHeight(doc_, e);
    double w = double(std::max<qsizetype>(1, e.text.size())) * h * 0.6 * widest_;
    w = std::max(w, length(e.end - e.start));
    *box = BBox::of(e.start, e.end).expanded(w + h);
    return box->isValid();
}

const BBox& QuickExtents::blockExtents(const Block& block) {
    const auto it = blocks_.find(&block);
    if (it != blocks_.end()) return it->second;
    BBox extents;
    for (const Entity& sub : block.entities) {
        // Definitions show through the insert's own attributes.
        if (sub.kind != EntityKind::AttributeDefinition) extents.add(boundingBox(doc_, sub));
    }
    return blocks_.emplace(&block, extents).first->second;
}

bool QuickExtents::around(const Entity& e, BBox* box) {
    BBox b;
    switch (e.kind) {
        case EntityKind::Line:
        case EntityKind::Point:
            b = BBox::of(e.start, e.kind == EntityKind::Line ? e.end : e.start);
            break;
        case EntityKind::Polyline: {
            const qsizetype n = e.vertices.size();
            if (n == 0) return false;
            for (qsizetype i = 0; i < n; ++i) {
                const Vertex& v = e.vertices[i];
                const bool last = i + 1 == n;
                const QPointF next = e.vertices[last ? 0 : i + 1].pos;
                b.add(v.pos);
                if (!last || e.closed)
                    b.add(BBox::of(v.pos, next).expanded(bulgeReach(v.pos, next, v.bulge)));
            }
            if (const double half = halfWidth(e); half > 0) b = b.expanded(half);
            break;
        }
        case EntityKind::Circle:
        case EntityKind::Arc:
            b = BBox::of(e.start, e.start).expanded(std::abs(e.radius));
            break;
        case EntityKind::Ellipse:
            b = BBox::of(e.start, e.start).expanded(length(e.end) * (1.0 + std::abs(e.ratio)));
            break;
        case EntityKind::Text:
        case EntityKind::AttributeDefinition:
        case EntityKind::Attribute:
            if (!textAround(e, &b)) return false;
            break;
        case EntityKind::Insert: {
            // The block's box mapped as its pieces are: the mapped box holds them, arcs drawn
            // as segments under unequal scales included.
            b = BBox::of(e.start, e.start);
            if (const Block* block = doc_.block(e.blockName)) {
                const BBox& local = blockExtents(*block);
                if (local.isValid()) {
                    const double rot = e.rotation * std::numbers::pi / 180.0;
                    const double c = std::cos(rot), s = std::sin(rot);
                    for (QPointF corner :
                         {QPointF(local.x0, local.y0), QPointF(local.x1, local.y0),
                          QPointF(local.x1, local.y1), QPointF(local.x0, local.y1)}) {
                        const double x = (corner.x() - block->base.x()) * e.xScale;
                        const double y = (corner.y() - block->base.y()) * e.yScale;
                        b.add(QPointF(e.start.x() + x * c - y * s, e.start.y() + x * s + y * c));
                    }
                }
            }
            for (const Entity& a : e.attributes) {
                BBox t;
                if (!textAround(a, &t)) return false;
                b.add(t);
            }
            break;
        }
        default:
            return false;
    }
    if (!b.isValid()) return false;  // coordinates that are not numbers
    *box = b.expanded(roundingRoom(b));
    return true;
}

PickResult pointSearch(const Document& doc, const Space& space, QPointF point, double aperture,
                       const PickFilter& wanted) {
    // A piece within the aperture has its nearest point in its box, so an entity whose box
    // stays further from the point than the aperture has nothing to offer.
    QuickExtents quick(doc);
    BBox reach = BBox::of(point, point).expanded(aperture);
    reach = reach.expanded(roundingRoom(reach));
    Nearest nearest;
    std::vector<NearPiece> near;
    const int count = int(space.entities.size());
    for (int i = 0; i < count; ++i) {
        // The lists an entity a little further on keeps apart (a run's vertices, an insert's
        // attributes) are asked for ahead: a large space's are in no cache, and waiting for
        // each in turn would be most of the pass.
        if (i + kReadAhead < count) {
            const Entity& later = space.entities[size_t(i + kReadAhead)];
            if (later.kind == EntityKind::Polyline)
                __builtin_prefetch(later.vertices.constData());
            else if (later.kind == EntityKind::Insert)
                __builtin_prefetch(later.attributes.data());
        }
        const Entity& e = space.entities[size_t(i)];
        BBox box;
        if (quick.around(e, &box) && !box.intersects(reach)) continue;
        if (!visible(doc, e) || (wanted && !wanted(e))) continue;
        near.clear();
        const double half = halfWidth(e);
        for (const Prim& p : primitives(doc, e)) {
            const double d = std::max(0.0, distance(p, point) - half);
            if (d <= aperture) near.push_back({p.attribute, d});
        }
        nearest.offer(pickOn(e, i, near));
    }
    return nearest.best;
}

PickResult pointSearch(const Document& doc, const Space& space, const SpatialIndex& index,
                       QPointF point, double aperture, PickStats* stats, const PickFilter& wanted) {
    // The index measures the pieces it holds and hands out the entities near the point from
    // the top down: only those looked at are read, and none below one lying right at the
    // point.
    Nearest nearest;
    const auto take = [&](const Entity& e, int position, std::span<const NearPiece> pieces) {
        if (!visible(doc, e) || (wanted && !wanted(e))) return false;
        nearest.offer(pickOn(e, position, pieces));
        return nearest.settled();
    };
    index.nearFromTop(space, point, aperture, take);
    if (stats) stats->candidates = index.lastCandidates();
    return nearest.best;
}

PickResult pickPreferring(const Document& doc, const Space& space, const SpatialIndex& index,
                          QPointF point, double aperture, const PickFilter& wanted) {
    if (wanted) {
        PickResult found = pointSearch(doc, space, index, point, aperture, nullptr, wanted);
        if (found.found()) return found;
    }
    return pointSearch(doc, space, index, point, aperture);
}

PickFilter ofKind(EntityKind kind) {
    return [kind](const Entity& e) { return e.kind == kind; };
}

std::vector<QString> windowSelect(const Document& doc, const Space& space, const BBox& box) {
    return handlesOf(keepInside(doc, allOf(doc, space), box));
}

std::vector<QString> windowSelect(const Document& doc, const Space& space,
                                  const SpatialIndex& index, const BBox& box, PickStats* stats) {
    // Boxes within the window belong to entities entirely inside it.
    return handlesOf(resolved(doc, space, index, index.keysIn(box, true), stats));
}

std::vector<QString> crossingSelect(const Document& doc, const Space& space, const BBox& box) {
    return handlesOf(keepTouching(doc, allOf(doc, space), box));
}

std::vector<QString> crossingSelect(const Document& doc, const Space& space,
                                    const SpatialIndex& index, const BBox& box, PickStats* stats) {
    return handlesOf(keepTouching(doc, resolved(doc, space, index, index.keysIn(box), stats), box));
}

QString lastEntity(const Space& space) {
    return space.entities.empty() ? QString() : space.entities.back().handle.toString();
}

SnapResult objectSnap(const Document& doc, const Space& space, const SpatialIndex& index,
                      unsigned modes, QPointF point, double aperture, std::optional<QPointF> base) {
    constexpr double kHalfPi = std::numbers::pi / 2;
    SnapResult best, nearest;
    double bestDist = std::numeric_limits<double>::infinity();
    double nearestDist = bestDist;
    auto offer = [&](QPointF at, unsigned mode, const QString& handle) {
        if (!(modes & mode)) return;
        const double d = length(at - point);
        if (d > aperture) return;
        if (mode == SnapNearest) {
            if (d < nearestDist) nearestDist = d, nearest = {at, mode, handle};
        } else if (d < bestDist) {
            bestDist = d;
            best = {at, mode, handle};
        }
    };

    struct Piece {
        Prim prim;
        QString handle;
    };
    std::vector<Piece> pieces;
    for (const Candidate& c :
         resolved(doc, space, index, index.keysNear(point, aperture), nullptr)) {
        const Entity& e = *c.entity;
        const bool hasInsertPoint = e.kind == EntityKind::Insert || e.kind == EntityKind::Text ||
                                    e.kind == EntityKind::AttributeDefinition;
        if (hasInsertPoint || e.kind == EntityKind::Image) offer(e.start, SnapInsert, e.handle);
        for (const Entity& a : e.attributes) offer(a.start, SnapInsert, a.handle);
        // Only pieces that come within the aperture (or an arc's centre) can offer a point:
        // a large block seen near one corner offers only its pieces there.
        for (const Prim& p : primitives(doc, e)) {
            if (p.kind == Prim::TextBox) continue;
            if (boundingBox(p).expanded(aperture).contains(point) ||
                (p.kind == Prim::Arc && length(p.c - point) <= aperture))
                pieces.push_back({p, e.handle});
        }
    }

    for (const Piece& piece : pieces) {
        const Prim& p = piece.prim;
        const QString& h = piece.handle;
        if (p.kind == Prim::Dot) {
            offer(p.a, SnapNode, h);
            offer(p.a, SnapNearest, h);
            continue;
        }
        if (p.kind == Prim::Segment) {
            offer(p.a, SnapEndPoint, h);
            offer(p.b, SnapEndPoint, h);
            offer((p.a + p.b) / 2, SnapMidPoint, h);
            if (base) {
                const QPointF d = p.b - p.a;
                const double len2 = d.x() * d.x() + d.y() * d.y();
                if (len2 > 0) {
                    const QPointF v = *base - p.a;
                    const double t = (v.x() * d.x() + v.y() * d.y()) / len2;
                    if (t >= 0 && t <= 1) offer(p.a + d * t, SnapPerp, h);
                }
            }
        } else {  // arc or circle
            if (!p.isFullCircle()) {
                offer(p.arcStart(), SnapEndPoint, h);
                offer(p.arcEnd(), SnapEndPoint, h);
                offer(p.arcPoint(p.a0 + p.sweep / 2), SnapMidPoint, h);
            }
            offer(p.c, SnapCenter, h);
            for (int k = 0; k < 4; ++k) {
                if (p.onArc(k * kHalfPi)) offer(p.arcPoint(k * kHalfPi), SnapQuadrant, h);
            }
            if (base) {
                const QPointF v = *base - p.c;
                const double dist = length(v);
                if (dist > 0) {
                    const double phi = std::atan2(v.y(), v.x());
                    for (double ang : {phi, phi + std::numbers::pi}) {
                        if (p.onArc(ang)) offer(p.arcPoint(ang), SnapPerp, h);
                    }
                    if (dist > p.r) {
                        const double alpha = std::acos(p.r / dist);
                        for (double ang : {phi + alpha, phi - alpha}) {
                            if (p.onArc(ang)) offer(p.arcPoint(ang), SnapTangent, h);
                        }
                    }
                }
            }
        }
        QPointF on;
        distance(p, point, &on);
        offer(on, SnapNearest, h);
    }

    if (modes & (SnapIntersection | SnapAppInt)) {
        const unsigned mode = (modes & SnapIntersection) ? SnapIntersection : SnapAppInt;
        // Every pair is tried: beyond a few thousand pieces piled on one spot (a block
        // drawn over itself) the rest are left out rather than the search taking minutes.
        pieces.resize(std::min(pieces.size(), kMaxIntersectionPieces));
        for (size_t i = 0; i < pieces.size(); ++i) {
            for (size_t j = i + 1; j < pieces.size(); ++j) {
                for (QPointF at : intersections(pieces[i].prim, pieces[j].prim))
                    offer(at, mode, pieces[i].handle);
            }
        }
    }
    return best.found() ? best : nearest;
}

QPointF snapToSpacing(QPointF point, QPointF spacing) {
    const auto round = [](double v, double step) {
        return step > 0 && std::isfinite(step) ? std::round(v / step) * step : v;
    };
    return {round(point.x(), spacing.x()), round(point.y(), spacing.y())};
}

}  // namespace tolvane::cad
