// Plane geometry of drawing entities: bounding boxes, distances and the simple pieces
// (segments, arcs, text boxes, points) every entity is reduced to for picking and snapping.
#pragma once

#include <QPointF>
#include <QPolygonF>
#include <QStringList>
#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "cad/document.h"

namespace tolvane::cad {

// An axis-aligned box; empty until a point is added.
struct BBox {
    double x0 = std::numeric_limits<double>::infinity();
    double y0 = std::numeric_limits<double>::infinity();
    double x1 = -std::numeric_limits<double>::infinity();
    double y1 = -std::numeric_limits<double>::infinity();

    // Defined here, as small as they are: every pass over a space's entities calls them for
    // each entity, and a call costs as much as the work.
    static BBox of(QPointF a, QPointF b) {
        BBox box;
        box.add(a);
        box.add(b);
        return box;
    }
    bool isValid() const { return x0 <= x1 && y0 <= y1; }
    void add(QPointF p) {
        x0 = std::min(x0, p.x());
        y0 = std::min(y0, p.y());
        x1 = std::max(x1, p.x());
        y1 = std::max(y1, p.y());
    }
    void add(const BBox& b) {
        if (!b.isValid()) return;
        add(QPointF(b.x0, b.y0));
        add(QPointF(b.x1, b.y1));
    }
    bool contains(QPointF p) const {
        return p.x() >= x0 && p.x() <= x1 && p.y() >= y0 && p.y() <= y1;
    }
    bool contains(const BBox& b) const {
        return b.isValid() && b.x0 >= x0 && b.x1 <= x1 && b.y0 >= y0 && b.y1 <= y1;
    }
    bool intersects(const BBox& b) const {
        return isValid() && b.isValid() && b.x0 <= x1 && b.x1 >= x0 && b.y0 <= y1 && b.y1 >= y0;
    }
    BBox expanded(double d) const {
        if (!isValid()) return *this;
        return BBox{x0 - d, y0 - d, x1 + d, y1 + d};
    }
};

// One simple piece of an entity's outline, in world coordinates.
//   Segment: a to b. Arc: centre c, radius r, start angle a0 and signed sweep (radians,
//   positive counter-clockwise). TextBox: the filled quadrilateral q. Dot: the point a.
struct Prim {
    enum Kind { Segment, Arc, TextBox, Dot };
    Kind kind = Segment;
    QPointF a, b, c;
    double r = 0.0, a0 = 0.0, sweep = 0.0;
    std::array<QPointF, 4> q{};
    int attribute = -1;  // index in the insert's attribute list when part of one

    static Prim segment(QPointF a, QPointF b);
    static Prim arc(QPointF c, double r, double a0, double sweep);
    QPointF arcPoint(double angle) const;
    QPointF arcStart() const { return arcPoint(a0); }
    QPointF arcEnd() const { return arcPoint(a0 + sweep); }
    bool isFullCircle() const;
    bool onArc(double angle) const;  // whether the angle lies within the arc's sweep
};

// The arc a polyline bulge describes between two vertices (bulge must be non-zero).
Prim bulgeArc(QPointF p1, QPointF p2, double bulge);

// Curves are split into pieces for picking and drawing. A sweep is first reduced to one turn
// (parameters of 1e15 read from a file ask for no more than a whole ellipse), and the number
// of pieces stays between `least` and kMaxArcPieces whatever the sweep and step (huge, tiny
// or not a number).
constexpr int kMaxArcPieces = 512;
// The sweep in (0, 2 pi]: none, or a whole number of turns, is the full turn.
double oneTurn(double sweep);
// Pieces of at most `step` radians for a sweep.
int arcPieces(double sweep, double step, int least);

// The height of a text: its own, else its style's fixed height, else 1.
double textHeight(const Document& doc, const Entity& e);
// The box one line of text (text, attribute, attribute definition) covers, in the
// coordinates of the text's own space: q[0] bottom left, q[1] bottom right, q[3] top left,
// the bottom edge on the baseline. Picking finds the text in this box and the renderer draws
// it into the same box.
Prim textBox(const Document& doc, const Entity& e);

// The arrowheads a dimension style may end its dimension lines with: the block names other
// DXF programs know them by ("" the closed filled arrow, which needs no block) and a caption.
struct ArrowKind {
    QString block;
    QString caption;
};
const QList<ArrowKind>& arrowKinds();
// The caption of an arrow block; the block's own name for one that is not a standard arrow.
QString arrowCaption(const QString& block);
// One of the standard arrow blocks (case-insensitive).
bool isStandardArrow(const QString& block);

// An arrowhead one unit long, its tip at the origin pointing along +x: strokes and filled
// outlines. A block of another name is drawn as the closed filled arrow.
struct ArrowShape {
    std::vector<std::array<QPointF, 2>> lines;
    std::vector<QPolygonF> solids;
};
ArrowShape arrowShape(const QString& block);

// The drawing of a dimension in world coordinates, sized by its dimension style: written as
// the dimension's block for other programs, and the outline it is picked by.
struct DimensionGeometry {
    std::vector<std::array<QPointF, 2>> lines;       // dimension and arc lines, arrow strokes
    std::vector<std::array<QPointF, 2>> extensions;  // extension lines
    std::vector<QPolygonF> solids;                   // filled arrowheads
    int extensionColor = 0;                          // the style's, as a colour index
    Entity text;               // a Text centred on the text position, in the style's text colour
    double measurement = 0.0;  // drawing units; degrees for angles
};
DimensionGeometry dimensionGeometry(const Document& doc, const Entity& dim);

// Inserts expand their blocks, which may hold inserts in turn. A drawing may make that
// expansion explode (a block inserting itself three times is 3^16 pieces at 16 levels), so
// it is bounded wherever it is done (pieces, extents, picking, drawing, images, PDF): in
// depth, and in the work one insert of the drawing may cost, counted in the entities and
// pieces it expands to. What lies beyond either bound is left out. The work bound is far
// above what the largest equipment blocks need (a few thousand pieces) and keeps one insert
// to a few tens of megabytes and milliseconds.
constexpr int kMaxInsertNesting = 16;
constexpr qsizetype kMaxInsertWork = 250000;

// The blocks of a document whose inserts are cut short by those bounds (sorted by name), for
// telling the user when the drawing opens.
QStringList cutShortBlocks(const Document& doc);

// The pieces of an entity in world coordinates; inserts expand their block (recursively,
// within the bounds above) and add their attributes' text boxes (marked with the attribute
// index).
std::vector<Prim> primitives(const Document& doc, const Entity& e);

BBox boundingBox(const Prim& p);
BBox boundingBox(const Document& doc, const Entity& e);
// What a wide polyline covers on either side of its line: half its widest width (its
// constant width or a vertex's); 0 for anything else. Its pieces are its line: boxes grow by
// this and distances to them shrink by it.
double halfWidth(const Entity& e);

// Distance from a point to a piece (0 inside a text box); the closest point in *nearest.
double distance(const Prim& p, QPointF pt, QPointF* nearest = nullptr);
double distanceTo(const Document& doc, const Entity& e, QPointF pt);

// Whether any part of the piece lies within the box.
bool touches(const Prim& p, const BBox& box);

// Intersection points of two pieces (segments and arcs; text boxes and dots have none).
std::vector<QPointF> intersections(const Prim& p, const Prim& q);

double length(QPointF v);
double dot(QPointF a, QPointF b);
double cross(QPointF a, QPointF b);  // z of the cross product: > 0 when b turns left of a
// An angle reduced to [0, 2 pi).
double normalAngle(double a);

}  // namespace tolvane::cad
