// Reshaping single entities: trim, extend, offset, break, fillet and stretch. Each works on
// one entity value and gives the entities that take its place; the drawing is changed by the
// caller, through the editor that records it for undo.
#pragma once

#include <QPointF>
#include <QString>
#include <vector>

#include "cad/document.h"
#include "cad/geometry.h"

namespace tolvane::cad {

// What reshaping gives: the entities that replace the original, or why it cannot be done.
// The entities are copies of the original (layer, colour, line type, extended data and the
// rest kept) with new geometry. The first keeps the original's handle, so that the caller
// changes the original into it and adds the others, whose handles are empty. Never empty
// when it succeeds.
struct Reshaped {
    std::vector<Entity> entities;
    QString error;  // one sentence for the user; empty on success
    bool ok() const { return error.isEmpty(); }
};

// Cuts a line, arc, circle or polyline where the cutting edges (any entities; their segments
// and arcs count) cross it, and removes the piece around `pick`: between the two cuts either
// side of it, or between a cut and the end. A circle or closed polyline needs two cuts and
// becomes one arc or open polyline. Crossings at the target's own ends do not count, and an
// edge with the target's handle is passed over.
Reshaped trim(const Document& doc, const Entity& target, const std::vector<Entity>& edges,
              QPointF pick);

// Lengthens the end of a line, arc or open polyline nearer `pick` (along the target) to the
// nearest crossing with a boundary beyond it: straight on for a line or straight end segment,
// round the circle for an arc or bulged end segment. The boundaries stay as they are.
Reshaped extend(const Document& doc, const Entity& target, const std::vector<Entity>& boundaries,
                QPointF pick);

// The parallel copy of a line, arc, circle or polyline `distance` away on the side of `side`,
// as a new entity (no handle). A polyline's side is that of its segment nearest `side`; its
// segments are offset one by one and joined where the offset pieces meet (the meeting nearest
// the original vertex), or by a straight segment where they do not.
Reshaped offset(const Entity& e, double distance, QPointF side);

// Removes the part of a line, arc, circle or polyline between two points, each taken to the
// entity's nearest point. A circle loses the counter-clockwise part from first to second and
// becomes an arc; a closed polyline becomes one open polyline from second round to first.
// Equal points split an open entity in two and open a closed polyline there; a circle
// needs two different points.
Reshaped breakAt(const Entity& e, QPointF first, QPointF second);

// Rounds every corner of a polyline between two straight segments (the closing corner of a
// closed one too) with an arc of `radius`, written as a bulge. Fails, changing nothing, when
// a corner needs more of a segment than it has (a segment is shared by its two corners).
Reshaped fillet(const Entity& polyline, double radius);

// Stretches an entity by `by` with a crossing window: the ends of a line and the vertices of
// a polyline that lie in the window move; any other kind moves whole when its reference point
// (start; the first corner of faces and meshes) lies in it. Whether anything changed.
bool stretch(Entity& e, const BBox& window, QPointF by);

}  // namespace tolvane::cad
