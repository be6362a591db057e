// Picking in a drawing space: the topmost entity at a point, window and crossing selection,
// the last entity, and object snaps. The forms taking a SpatialIndex look only at the
// index's candidates; the forms without one scan the whole space (small drawings, checks).
#pragma once

#include <QPointF>
#include <QString>
#include <optional>
#include <vector>

#include "cad/document.h"
#include "cad/geometry.h"
#include "cad/spatial_index.h"

namespace tolvane::cad {

// What a point search found: an entity, or an attribute of an insert (then handle is the
// attribute's own handle, insertHandle and tag identify it within its insert).
struct PickResult {
    QString handle;
    QString insertHandle;
    QString tag;
    int position = -1;  // draw position of the entity (or owning insert) in its space
    bool isAttribute() const { return !insertHandle.isEmpty(); }
    bool found() const { return !handle.isEmpty(); }
};

// Counts of the last search, for checking its cost.
struct PickStats {
    int candidates = 0;  // entities whose true geometry was examined
};

// The topmost entity (last in draw order) whose geometry lies within `aperture` of the
// point. Attributes of an insert lie on top of it. Entities on layers switched off or
// frozen are not found.
PickResult pointSearch(const Document& doc, const Space& space, QPointF point, double aperture);
PickResult pointSearch(const Document& doc, const Space& space, const SpatialIndex& index,
                       QPointF point, double aperture, PickStats* stats = nullptr);

// Handles in draw order. Window: entities entirely inside the box. Crossing: entities with
// any part inside it.
std::vector<QString> windowSelect(const Document& doc, const Space& space, const BBox& box);
std::vector<QString> windowSelect(const Document& doc, const Space& space,
                                  const SpatialIndex& index, const BBox& box,
                                  PickStats* stats = nullptr);
std::vector<QString> crossingSelect(const Document& doc, const Space& space, const BBox& box);
std::vector<QString> crossingSelect(const Document& doc, const Space& space,
                                    const SpatialIndex& index, const BBox& box,
                                    PickStats* stats = nullptr);

// The selection "LAST": the entity added last to the space; empty when there is none.
QString lastEntity(const Space& space);

// Object snap modes; combine as bits.
enum SnapMode : unsigned {
    SnapEndPoint = 1,
    SnapMidPoint = 2,
    SnapCenter = 4,
    SnapInsert = 8,
    SnapPerp = 16,
    SnapNearest = 32,
    SnapAppInt = 64,
    SnapNode = 128,
    SnapQuadrant = 256,
    SnapTangent = 512,
    SnapIntersection = 1024,
};

struct SnapResult {
    QPointF point;
    unsigned mode = 0;  // the single mode that produced the point; 0 when nothing snapped
    QString handle;     // entity the point belongs to
    bool found() const { return mode != 0; }
};

// The snap point nearest to `point` among those of the enabled modes that lie within
// `aperture` of it, from the entities near the point. Nearest is taken only when no other
// mode has a point in the aperture. Perp and Tangent need the base point of the command
// (the previous point picked). AppInt gives the same points as Intersection in the plane.
SnapResult objectSnap(const Document& doc, const Space& space, const SpatialIndex& index,
                      unsigned modes, QPointF point, double aperture,
                      std::optional<QPointF> base = std::nullopt);

// The point on the nearest multiple of the spacing in x and in y (snap mode): a spacing
// that is not above zero leaves its coordinate as it is.
QPointF snapToSpacing(QPointF point, QPointF spacing);

}  // namespace tolvane::cad
