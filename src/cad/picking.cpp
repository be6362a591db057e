#include "cad/picking.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <span>

namespace tolvane::cad {

namespace {

constexpr size_t kMaxIntersectionPieces = 4096;

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

PickResult nearestOf(const Document& doc, const std::vector<Candidate>& list, QPointF point,
                     double aperture, const PickFilter& wanted) {
    Nearest nearest;
    std::vector<NearPiece> near;
    for (const Candidate& c : list) {
        if (wanted && !wanted(*c.entity)) continue;
        near.clear();
        for (const Prim& p : primitives(doc, *c.entity)) {
            const double d = distance(p, point);
            if (d <= aperture) near.push_back({p.attribute, d});
        }
        nearest.offer(pickOn(*c.entity, c.position, near));
    }
    return nearest.best;
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

}  // namespace

PickResult pointSearch(const Document& doc, const Space& space, QPointF point, double aperture,
                       const PickFilter& wanted) {
    return nearestOf(doc, allOf(doc, space), point, aperture, wanted);
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
    return space.entities.empty() ? QString() : space.entities.back().handle;
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
