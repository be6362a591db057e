// Grips: the points of an entity a user takes hold of to reshape or move it, shown as small
// squares on the selected entities. One list per entity serves the renderer (where the
// squares go) and grip editing (what moving one of them does), so the two cannot disagree.
#pragma once

#include <QPointF>
#include <optional>
#include <vector>

#include "cad/document.h"

namespace tolvane::cad {

// The grip points of an entity, in its space's coordinates and in a fixed order: a grip is
// known by its place in this list.
//   Line: start, middle, end. Polyline: its vertices. Circle: centre, then the points at
//   0, 90, 180 and 270 degrees. Arc: centre, start, middle, end. Ellipse: centre, the two
//   ends of the major axis, the two ends of the minor axis. Point: its place. Text,
//   attribute and attribute definition: insertion point, then the alignment point when the
//   text is aligned. Insert: insertion point, then the insertion point of each visible
//   attribute. Dimension: definition point, text middle, then the measured points its type
//   uses. Image: lower left and upper right corner. 3D face and mesh: corners, vertices.
//   Viewport: its centre.
std::vector<QPointF> gripPoints(const Entity& e);

// The grip of `e` nearest `point` within `aperture`; -1 when there is none.
int gripAt(const Entity& e, QPointF point, double aperture);

// Moves grip `index` of `e` to `to`:
//   - a line's end, a polyline's vertex, a dimension's point and a face's or mesh's corner
//     go where they are put;
//   - a line's middle, a centre, an insertion point (an insert takes its attributes along),
//     a text's alignment point, a point, an image's lower left corner and a viewport's
//     centre move the whole entity;
//   - a circle's quadrant point sets its radius; an arc's start, middle or end point makes
//     the arc run through the new point and the other two;
//   - an ellipse's axis end sets that axis (the major one its direction too);
//   - the grip of an insert's attribute moves that attribute alone;
//   - an image's upper right corner scales it about its lower left corner.
// False, and `e` unchanged, when `index` is not a grip of `e` or the entity would have no
// size (a radius of nothing, an arc through three points on one line).
bool moveGrip(Entity& e, int index, QPointF to);

// The circle through three points (centre and radius); nullopt when they lie on one line.
std::optional<std::pair<QPointF, double>> circleThrough(QPointF a, QPointF b, QPointF c);
// The arc that starts at `start`, passes `middle` and ends at `end` (drawn counter-clockwise,
// so a clockwise run is kept from `end` to `start`); nullopt when they lie on one line.
std::optional<Entity> arcThrough(QPointF start, QPointF middle, QPointF end);

}  // namespace tolvane::cad
