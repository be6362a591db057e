// Picking in a drawing space: the entity a click means at a point, window and crossing
// selection, the last entity, and object snaps. The forms taking a SpatialIndex look only at the
// index's candidates; the forms without one scan the whole space (small drawings, checks).
#pragma once

#include <QPointF>
#include <QString>
#include <functional>
#include <optional>
#include <unordered_map>
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
    int position = -1;      // draw position of the entity (or owning insert) in its space
    double distance = 0.0;  // from the point to the nearest piece of the entity
    bool isAttribute() const { return !insertHandle.isEmpty(); }
    bool found() const { return !handle.isEmpty(); }
};

// Counts of the last search, for checking its cost.
struct PickStats {
    int candidates = 0;  // entities whose true geometry was examined
};

// A box around all the pieces of an entity, worked out from the entity's own fields without
// making its pieces (a block's extents are worked out once, when an insert of it is first
// met). A pass over a whole space skips with it the entities that lie too far to matter, so
// that a search without an index stays short on a large drawing, and the spatial index keeps
// it as the entity's box. The box may be larger than the pieces', never smaller.
class QuickExtents {
  public:
    explicit QuickExtents(const Document& doc);
    // False for the kinds it does not cover (dimensions, images, faces, meshes, viewports and
    // the rest) and for an entity with nothing to measure: their pieces decide.
    bool around(const Entity& e, BBox* box);

  private:
    bool textAround(const Entity& e, BBox* box) const;
    const BBox& blockExtents(const Block& block);

    const Document& doc_;
    double widest_ = 1.0;  // the largest width factor a text may be drawn with
    std::unordered_map<const Block*, BBox> blocks_;
};

// Which entities of a space a point search may take (an insert is taken with its
// attributes); an empty filter takes any. A prompt that wants a cable, say, passes one that
// says yes to cables only, so that a click where the cable crosses a block means the cable.
using PickFilter = std::function<bool(const Entity&)>;

// The entity a click at the point means: of those the filter takes whose geometry lies
// within `aperture` of the point, the nearest; of two as near, the one drawn later (on
// top). Within an insert its nearest visible attribute is found rather than the insert
// itself. Entities on layers switched off or frozen are not found.
PickResult pointSearch(const Document& doc, const Space& space, QPointF point, double aperture,
                       const PickFilter& wanted = {});
PickResult pointSearch(const Document& doc, const Space& space, const SpatialIndex& index,
                       QPointF point, double aperture, PickStats* stats = nullptr,
                       const PickFilter& wanted = {});

// What a prompt that wants a kind takes at a point: the entity pointSearch finds among those
// `wanted` takes, else (none of them near) the one it finds among all, which the prompt can
// then refuse by name ("Not a valid Jack").
PickResult pickPreferring(const Document& doc, const Space& space, const SpatialIndex& index,
                          QPointF point, double aperture, const PickFilter& wanted);

// A filter taking the entities of one kind.
PickFilter ofKind(EntityKind kind);

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
