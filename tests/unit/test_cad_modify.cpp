// Reshaping entities: trim, extend, offset, break, fillet and stretch. Results are checked by
// where they lie: pieces on the original, ends on the cutting edges, offsets at their distance
// from the original, and the lengths that were removed or added.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "cad/modify.h"

using namespace tolvane::cad;

namespace {

constexpr double kPi = std::numbers::pi;
// The pieces of these kinds do not depend on a document's tables.
const Document& doc() {
    static const Document d;
    return d;
}

std::vector<QPointF> samples(const Entity& e) {
    std::vector<QPointF> out;
    for (const Prim& p : primitives(doc(), e)) {
        for (int i = 0; i <= 16; ++i) {
            if (p.kind == Prim::Segment) out.push_back(p.a + (p.b - p.a) * (i / 16.0));
            if (p.kind == Prim::Arc) out.push_back(p.arcPoint(p.a0 + p.sweep * i / 16.0));
        }
    }
    return out;
}

double lengthOf(const Entity& e) {
    double sum = 0;
    for (const Prim& p : primitives(doc(), e))
        sum += p.kind == Prim::Arc ? p.r * std::abs(p.sweep) : length(p.b - p.a);
    return sum;
}

double away(const Entity& e, QPointF p) {
    return distanceTo(doc(), e, p);
}

// Every point of `part` lies on `whole`.
void expectOn(const Entity& part, const Entity& whole) {
    for (QPointF p : samples(part)) EXPECT_LT(away(whole, p), 1e-7) << p.x() << "," << p.y();
}

void expectAt(QPointF a, QPointF b) {
    EXPECT_LT(length(a - b), 1e-9) << a.x() << "," << a.y() << " vs " << b.x() << "," << b.y();
}

}  // namespace

TEST(CadModify, TrimRemovesThePickedPiece) {
    Entity line = Entity::line({0, 0}, {10, 0});
    line.handle = QStringLiteral("1A");
    line.layer = QStringLiteral("CABLES");
    line.xdata.append({QStringLiteral("TOLVANE"), {{QStringLiteral("Cable"), 1000, "C-7"}}});
    // Cuts at x = 3, 6 and 8.
    const std::vector<Entity> edges = {Entity::line({3, -1}, {3, 1}), Entity::circle({7, 0}, 1)};
    const Reshaped mid = trim(doc(), line, edges, {4.5, 0.2});
    ASSERT_EQ(mid.entities.size(), 2u) << mid.error.toStdString();
    expectAt(mid.entities[0].end, {3, 0});
    expectAt(mid.entities[1].start, {6, 0});
    expectAt(mid.entities[1].end, {10, 0});
    EXPECT_EQ(mid.entities[0].handle, QStringLiteral("1A"));
    EXPECT_TRUE(mid.entities[1].handle.isEmpty());
    EXPECT_EQ(mid.entities[1].layer, QStringLiteral("CABLES"));
    EXPECT_EQ(mid.entities[1].xdata, line.xdata);
    const Reshaped tail = trim(doc(), line, edges, {9, 0});
    ASSERT_EQ(tail.entities.size(), 1u);
    expectAt(tail.entities[0].end, {8, 0});

    // The upper half circle cut by the y axis.
    const Entity arc = Entity::arc({0, 0}, 5, 0, 180);
    const Reshaped a = trim(doc(), arc, {Entity::line({0, -10}, {0, 10})}, {4, 3});
    ASSERT_EQ(a.entities.size(), 1u);
    expectOn(a.entities[0], arc);
    EXPECT_NEAR(lengthOf(a.entities[0]), 5 * kPi / 2, 1e-9);
    EXPECT_GT(away(a.entities[0], {4, 3}), 1);

    const Entity circle = Entity::circle({0, 0}, 2);
    const Reshaped c = trim(doc(), circle, {Entity::line({-3, 0}, {3, 0})}, {0, 2.1});
    ASSERT_EQ(c.entities.size(), 1u);
    EXPECT_EQ(c.entities[0].kind, EntityKind::Arc);
    expectOn(c.entities[0], circle);
    EXPECT_LT(away(c.entities[0], {0, -2}), 1e-9);
    EXPECT_GT(away(c.entities[0], {0, 2}), 1);
    EXPECT_FALSE(trim(doc(), circle, {Entity::line({0, 0}, {3, 0})}, {2, 0}).ok());  // one cut
}

TEST(CadModify, TrimSplitsBulgedSegments) {
    // A box with an arched top, cut down the middle: the half away from the pick is left,
    // starting and ending on the cut.
    const Entity box =
        Entity::polyline({{{0, 0}, 0}, {{4, 0}, 0}, {{4, 2}, 0.5}, {{0, 2}, 0}}, true);
    const Reshaped half = trim(doc(), box, {Entity::line({2, -1}, {2, 5})}, {4, 1});
    ASSERT_EQ(half.entities.size(), 1u) << half.error.toStdString();
    const Entity& left = half.entities[0];
    EXPECT_FALSE(left.closed);
    EXPECT_NEAR(left.vertices.front().pos.x(), 2, 1e-9);
    EXPECT_NEAR(left.vertices.back().pos.x(), 2, 1e-9);
    expectOn(left, box);
    EXPECT_NEAR(lengthOf(left), lengthOf(box) / 2, 1e-9);

    // A semicircular segment of an open polyline cut at its lowest point.
    const Entity wave = Entity::polyline({{{0, 0}, 0}, {{4, 0}, 1}, {{8, 0}, 0}}, false);
    const Reshaped w = trim(doc(), wave, {Entity::line({6, -5}, {6, 5})}, {7.5, -1.5});
    ASSERT_EQ(w.entities.size(), 1u);
    expectAt(w.entities[0].vertices.back().pos, {6, -2});
    expectOn(w.entities[0], wave);
    EXPECT_NEAR(lengthOf(w.entities[0]), 4 + kPi, 1e-9);
}

TEST(CadModify, TrimRefusesWhatItCannotCut) {
    Entity line = Entity::line({0, 0}, {10, 0});
    const QString noCut = QStringLiteral("The object does not cross a cutting edge.");
    EXPECT_EQ(trim(doc(), line, {Entity::line({0, 5}, {10, 5})}, {5, 0}).error, noCut);
    EXPECT_EQ(trim(doc(), line, {Entity::line({10, -1}, {10, 1})}, {9, 0}).error, noCut);
    std::vector<Entity> edge = {Entity::line({5, -1}, {5, 1})};
    line.handle = edge[0].handle = QStringLiteral("2B");  // the target itself
    EXPECT_EQ(trim(doc(), line, edge, {5, 0}).error, noCut);
    edge[0].handle.clear();
    EXPECT_FALSE(trim(doc(), Entity::textAt({0, 0}, "A", 1), edge, {0, 0}).ok());
    EXPECT_FALSE(trim(doc(), Entity::line({5, 0}, {5, 0}), edge, {5, 0}).ok());
    EXPECT_FALSE(trim(doc(), Entity::circle({5, 0}, 0), edge, {5, 0}).ok());
    EXPECT_FALSE(trim(doc(), line, edge, {NAN, 0}).ok());
}

TEST(CadModify, ExtendReachesTheNearestBoundaryAhead) {
    const std::vector<Entity> walls = {
        Entity::line({15, -5}, {15, 5}), Entity::line({20, -5}, {20, 5}),
        Entity::line({-5, -5}, {-5, 5}), Entity::line({5, -5}, {5, 5}),  // crosses the line
        Entity::line({-10, -3}, {30, -3})};
    const Entity line = Entity::line({0, 0}, {10, 0});
    const Reshaped end = extend(doc(), line, walls, {8, 0});
    ASSERT_TRUE(end.ok()) << end.error.toStdString();
    expectAt(end.entities[0].start, {0, 0});
    expectAt(end.entities[0].end, {15, 0});
    expectAt(extend(doc(), line, walls, {1, 0}).entities[0].start, {-5, 0});

    // The quarter arc's start goes on clockwise round its circle to y = -3.
    const Reshaped a = extend(doc(), Entity::arc({0, 0}, 5, 0, 90), walls, {5, 0.5});
    ASSERT_TRUE(a.ok());
    EXPECT_NEAR(a.entities[0].endAngle, 90, 1e-9);
    const double from = a.entities[0].startAngle * kPi / 180;
    expectAt(QPointF(5 * std::cos(from), 5 * std::sin(from)), {4, -3});

    // A clockwise bulged end segment (centre (6,-2)) goes on round its circle to y = -3.
    const Entity hook =
        Entity::polyline({{{0, 0}, 0}, {{4, 0}, -std::tan(kPi / 8)}, {{8, 0}, 0}}, false);
    const Reshaped h = extend(doc(), hook, walls, {7.9, 0.1});
    ASSERT_TRUE(h.ok()) << h.error.toStdString();
    const Entity& longer = h.entities[0];
    ASSERT_EQ(longer.vertices.size(), 3);
    const double r = 2 * std::sqrt(2.0);
    EXPECT_NEAR(longer.vertices.back().pos.y(), -3, 1e-9);
    EXPECT_NEAR(length(longer.vertices.back().pos - QPointF(6, -2)), r, 1e-9);
    expectOn(hook, longer);
    EXPECT_NEAR(lengthOf(longer), lengthOf(hook) + r * (kPi / 4 + std::asin(1 / r)), 1e-9);

    EXPECT_EQ(extend(doc(), line, {walls[0]}, {1, 0}).error,
              QStringLiteral("No boundary lies beyond that end of the object."));
    EXPECT_FALSE(extend(doc(), Entity::circle({0, 0}, 1), walls, {1, 0}).ok());
    EXPECT_FALSE(extend(doc(), Entity::rect({0, 0}, {1, 1}), walls, {1, 0}).ok());
}

TEST(CadModify, OffsetLinesArcsAndCircles) {
    const Entity line = Entity::line({0, 0}, {10, 0});
    const Reshaped up = offset(line, 2, {5, 3});
    ASSERT_TRUE(up.ok());
    expectAt(up.entities[0].start, {0, 2});
    expectAt(up.entities[0].end, {10, 2});
    expectAt(offset(line, 2, {5, -0.1}).entities[0].start, {0, -2});
    const Entity circle = Entity::circle({0, 0}, 5);
    EXPECT_NEAR(offset(circle, 2, {1, 0}).entities[0].radius, 3, 1e-12);
    EXPECT_NEAR(offset(circle, 2, {9, 9}).entities[0].radius, 7, 1e-12);
    EXPECT_FALSE(offset(circle, 6, {1, 0}).ok());
    const Entity arc = offset(Entity::arc({0, 0}, 5, 10, 80), 1, {6, 6}).entities[0];
    EXPECT_NEAR(arc.radius, 6, 1e-12);
    EXPECT_EQ(arc.endAngle, 80);
    for (double d : {0.0, -1.0, double(NAN), double(INFINITY)})
        EXPECT_FALSE(offset(line, d, {5, 3}).ok()) << d;
    EXPECT_FALSE(offset(line, 1, {20, 0}).ok());  // on the line's own run: no side
}

TEST(CadModify, OffsetPolylineKeepsItsDistance) {
    // No point of a copy comes nearer the original than the distance; inside a corner the
    // copy is cut back to exactly the distance, outside it runs on to where its pieces meet.
    auto expectAway = [](const Entity& copy, const Entity& from, double most) {
        for (QPointF p : samples(copy)) {
            EXPECT_GT(away(from, p), 1 - 1e-7) << p.x() << "," << p.y();
            EXPECT_LT(away(from, p), most + 1e-7) << p.x() << "," << p.y();
        }
    };
    // A box with a semicircular top (centre (5,5)).
    const Entity arch =
        Entity::polyline({{{0, 0}, 0}, {{10, 0}, 0}, {{10, 5}, 1}, {{0, 5}, 0}}, true);
    for (QPointF side : {QPointF(5, 2), QPointF(20, 2), QPointF(5, 11)}) {
        const Reshaped r = offset(arch, 1, side);
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        EXPECT_TRUE(r.entities[0].closed);
        EXPECT_EQ(r.entities[0].vertices.size(), 4);
        const bool inside = side == QPointF(5, 2);
        expectAway(r.entities[0], arch, inside ? 1 : std::sqrt(2.0));
        EXPECT_EQ(away(r.entities[0], {11, -1}) < 1e-9, !inside);  // the outer corner
    }
    EXPECT_FALSE(offset(arch, 6, {5, 2}).ok());  // the arc would turn inside out

    // Open, turning left at a straight corner and again where a line meets an arc (centre
    // (5,6.25), radius 6.25) at an angle.
    const Entity path =
        Entity::polyline({{{0, 0}, 0}, {{10, 0}, 0}, {{10, 10}, 0.5}, {{0, 10}, 0}}, false);
    const Reshaped left = offset(path, 1, {5, 1});
    ASSERT_EQ(left.entities.size(), 1u) << left.error.toStdString();
    ASSERT_EQ(left.entities[0].vertices.size(), 4);
    expectAway(left.entities[0], path, 1);
    // Seen from the arc: a point inside its curve lies on the same side.
    EXPECT_EQ(offset(path, 1, {5, 12}).entities[0].vertices, left.entities[0].vertices);
    Entity reversed = path;  // the same outline run the other way round
    std::reverse(reversed.vertices.begin(), reversed.vertices.end());
    for (int i = 0; i < 3; ++i) reversed.vertices[i].bulge = -reversed.vertices[i + 1].bulge;
    reversed.vertices[3].bulge = 0;
    expectAway(offset(reversed, 1, {5, 12}).entities[0], path, 1);
    const Reshaped right = offset(path, 1, {5, -1});
    ASSERT_EQ(right.entities.size(), 1u);
    ASSERT_EQ(right.entities[0].vertices.size(), 4);
    expectAway(right.entities[0], path, std::sqrt(2.0));
    EXPECT_LT(away(right.entities[0], {11, -1}), 1e-9);
    EXPECT_LT(away(right.entities[0], {5, 13.5}), 1e-9);
    expectAt(right.entities[0].vertices.back().pos, {5 - 0.8 * 7.25, 6.25 + 0.6 * 7.25});
}

TEST(CadModify, BreakRemovesThePartBetweenThePoints) {
    Entity line = Entity::line({0, 0}, {10, 0});
    line.handle = QStringLiteral("3C");
    const Reshaped gap = breakAt(line, {6, -1}, {3, 1});
    ASSERT_EQ(gap.entities.size(), 2u);
    expectAt(gap.entities[0].end, {3, 0});
    expectAt(gap.entities[1].start, {6, 0});
    EXPECT_EQ(gap.entities[0].handle, QStringLiteral("3C"));
    EXPECT_TRUE(gap.entities[1].handle.isEmpty());
    ASSERT_EQ(breakAt(line, {0, 0}, {4, 0}).entities.size(), 1u);
    EXPECT_EQ(breakAt(line, {5, 0}, {5, 0}).entities.size(), 2u);
    EXPECT_FALSE(breakAt(line, {-1, 0}, {11, 0}).ok());
    EXPECT_FALSE(breakAt(line, {10, 0}, {10, 0}).ok());

    // A circle loses the counter-clockwise part from the first point to the second.
    const Entity circle = Entity::circle({0, 0}, 2);
    const Reshaped c = breakAt(circle, {3, 0}, {0, 3});
    ASSERT_EQ(c.entities.size(), 1u);
    expectOn(c.entities[0], circle);
    EXPECT_NEAR(lengthOf(c.entities[0]), 3 * kPi, 1e-9);
    EXPECT_GT(away(c.entities[0], {1.4, 1.4}), 0.5);
    EXPECT_NEAR(lengthOf(breakAt(circle, {0, 3}, {3, 0}).entities[0]), kPi, 1e-9);
    EXPECT_FALSE(breakAt(circle, {0, 3}, {0, 3}).ok());

    // A closed polyline opens from the second point round to the first.
    const Entity square = Entity::rect({0, 0}, {4, 4});
    const Entity s = breakAt(square, {2, 0}, {4, 2}).entities[0];
    EXPECT_FALSE(s.closed);
    EXPECT_NEAR(lengthOf(s), 12, 1e-9);
    expectAt(s.vertices.front().pos, {4, 2});
    expectAt(s.vertices.back().pos, {2, 0});
    EXPECT_NEAR(lengthOf(breakAt(square, {1, 4}, {1, 4}).entities[0]), 16, 1e-9);

    // Split inside a bulged segment: the two parts make up the whole.
    const Entity wave = Entity::polyline({{{0, 0}, 0}, {{4, 0}, 1}, {{8, 0}, 0}}, false);
    const Reshaped w = breakAt(wave, {6.5, -1.8}, {6.5, -1.8});
    ASSERT_EQ(w.entities.size(), 2u);
    expectAt(w.entities[0].vertices.back().pos, w.entities[1].vertices.front().pos);
    for (const Entity& e : w.entities) expectOn(e, wave);
    EXPECT_NEAR(lengthOf(w.entities[0]) + lengthOf(w.entities[1]), lengthOf(wave), 1e-9);
}

TEST(CadModify, FilletRoundsStraightCorners) {
    const Entity box = Entity::rect({0, 0}, {10, 6});
    const Reshaped r = fillet(box, 1);
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    const Entity& round = r.entities[0];
    EXPECT_TRUE(round.closed);
    EXPECT_FALSE(round.rectangle);
    // Each corner is a quarter circle touching both sides: its centre inside, the radius
    // away from the outline.
    int arcs = 0;
    for (const Prim& p : primitives(doc(), round)) {
        if (p.kind != Prim::Arc) continue;
        ++arcs;
        EXPECT_NEAR(p.r, 1, 1e-9);
        EXPECT_NEAR(away(box, p.c), 1, 1e-9);
        EXPECT_TRUE(BBox::of({0, 0}, {10, 6}).contains(p.c));
    }
    EXPECT_EQ(arcs, 4);
    EXPECT_NEAR(lengthOf(round), 32 - 8 + 2 * kPi, 1e-9);

    // Ends stay, a straight-through vertex stays, the real corner is rounded.
    const Entity open =
        Entity::polyline({{{0, 0}, 0}, {{5, 0}, 0}, {{10, 0}, 0}, {{10, 10}, 0}}, false);
    const Entity o = fillet(open, 2).entities[0];
    ASSERT_EQ(o.vertices.size(), 5);
    expectAt(o.vertices[1].pos, {5, 0});
    expectAt(o.vertices[4].pos, {10, 10});
    EXPECT_NEAR(lengthOf(o), 20 - 4 + kPi, 1e-9);

    const QString tooLarge =
        QStringLiteral("The fillet radius is too large for the segments at a corner.");
    EXPECT_EQ(fillet(box, 3.5).error, tooLarge);  // the short sides need 7 of their 6
    EXPECT_TRUE(fillet(box, 3).ok());             // exactly enough
    const Entity stub = Entity::polyline({{{0, 0}, 0}, {{3, 0}, 0}, {{3, 10}, 0}}, false);
    EXPECT_TRUE(fillet(stub, 3).ok());  // a segment at an open end gives all its length
    EXPECT_EQ(fillet(stub, 3.5).error, tooLarge);
    EXPECT_EQ(fillet(box, 0).entities[0].vertices, box.vertices);
    EXPECT_FALSE(fillet(box, -1).ok());
    EXPECT_FALSE(fillet(Entity::line({0, 0}, {1, 1}), 1).ok());
}

TEST(CadModify, StretchMovesWhatTheWindowCrosses) {
    const BBox window = BBox::of({8, -1}, {12, 7});
    const QPointF by(2, 0);
    Entity line = Entity::line({0, 0}, {10, 0});
    EXPECT_TRUE(stretch(line, window, by));
    EXPECT_EQ(line.start, QPointF(0, 0));
    EXPECT_EQ(line.end, QPointF(12, 0));
    Entity bent = Entity::polyline({{{0, 0}, 0}, {{10, 0}, 0.5}, {{-10, 5}, 0}}, false);
    EXPECT_TRUE(stretch(bent, window, by));
    EXPECT_EQ(bent.vertices, (QList<Vertex>{{{0, 0}, 0}, {{12, 0}, 0.5}, {{-10, 5}, 0}}));
    Entity box = Entity::rect({0, 0}, {10, 6});  // one side moves: still a rectangle
    EXPECT_TRUE(stretch(box, window, by));
    EXPECT_TRUE(box.rectangle);
    EXPECT_NEAR(boundingBox(doc(), box).x1, 12, 1e-12);

    Entity inside = Entity::circle({10, 3}, 5);
    EXPECT_TRUE(stretch(inside, window, by));
    EXPECT_EQ(inside.start, QPointF(12, 3));
    Entity crossing = Entity::circle({0, 0}, 10);  // its outline runs through the window
    EXPECT_FALSE(stretch(crossing, window, by));
    EXPECT_EQ(crossing.start, QPointF(0, 0));
    Entity text = Entity::textAt({9, 1}, QStringLiteral("RACK"), 1);
    EXPECT_TRUE(stretch(text, window, by));
    EXPECT_EQ(text.start, QPointF(11, 1));
    Entity outside = Entity::line({0, 10}, {5, 10});
    EXPECT_FALSE(stretch(outside, window, by));
}
