// Grips: the points each kind offers (the renderer draws them, grip editing moves them), what
// moving each one does to the entity, the snap spacing, and the drawing aids kept with a
// drawing file (read back by this reader; other readers' view of them is ezdxf's test).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "cad/dxf.h"
#include "cad/editing.h"
#include "cad/geometry.h"
#include "cad/grips.h"
#include "cad/picking.h"

using namespace tolvane::cad;

namespace {

void expectNear(QPointF a, QPointF b) {
    EXPECT_NEAR(a.x(), b.x(), 1e-9) << "x of " << b.x() << "," << b.y();
    EXPECT_NEAR(a.y(), b.y(), 1e-9) << "y of " << b.x() << "," << b.y();
}

// A point the outline of the entity passes through (within a small tolerance).
bool passesThrough(const Entity& e, QPointF p) {
    Document doc;
    return distanceTo(doc, e, p) < 1e-6;
}

}  // namespace

TEST(Grips, LineAndPolylinePointsMoveAloneOrTheWhole) {
    Entity line = Entity::line({0, 0}, {10, 0});
    ASSERT_EQ(gripPoints(line).size(), 3u);
    expectNear(gripPoints(line)[1], {5, 0});
    ASSERT_TRUE(moveGrip(line, 2, {10, 4}));
    expectNear(line.start, {0, 0});
    expectNear(line.end, {10, 4});
    // The middle carries the whole line.
    ASSERT_TRUE(moveGrip(line, 1, {5, 12}));
    expectNear(line.start, {0, 10});
    expectNear(line.end, {10, 14});

    Entity rect = Entity::rect({0, 0}, {4, 2});
    ASSERT_EQ(gripPoints(rect).size(), 4u);
    const QPointF corner = rect.vertices[1].pos;
    ASSERT_TRUE(moveGrip(rect, 2, {6, 3}));
    expectNear(rect.vertices[2].pos, {6, 3});
    expectNear(rect.vertices[1].pos, corner);
    EXPECT_FALSE(rect.rectangle);  // no longer a rectangle, nor shown as one
    EXPECT_EQ(rect.vertices.size(), 4);

    const Entity before = line;
    EXPECT_FALSE(moveGrip(line, 3, {1, 1}));
    EXPECT_FALSE(moveGrip(line, -1, {1, 1}));
    EXPECT_FALSE(moveGrip(line, 0, {std::nan(""), 1}));
    EXPECT_EQ(line.start, before.start);
    EXPECT_EQ(line.end, before.end);
}

TEST(Grips, CirclesArcsAndEllipsesKeepTheirShape) {
    Entity circle = Entity::circle({1, 1}, 2);
    ASSERT_EQ(gripPoints(circle).size(), 5u);
    expectNear(gripPoints(circle)[2], {1, 3});  // the point at 90 degrees
    ASSERT_TRUE(moveGrip(circle, 3, {-4, 1}));  // the 180-degree point sets the radius
    EXPECT_NEAR(circle.radius, 5, 1e-9);
    expectNear(circle.start, {1, 1});
    EXPECT_FALSE(moveGrip(circle, 1, {1, 1}));  // onto the centre: no circle
    EXPECT_NEAR(circle.radius, 5, 1e-9);
    ASSERT_TRUE(moveGrip(circle, 0, {0, 0}));
    expectNear(circle.start, {0, 0});
    EXPECT_NEAR(circle.radius, 5, 1e-9);

    // A quarter arc from (10,0) to (0,10) round the origin.
    Entity arc = Entity::arc({0, 0}, 10, 0, 90);
    const std::vector<QPointF> g = gripPoints(arc);
    ASSERT_EQ(g.size(), 4u);
    expectNear(g[1], {10, 0});
    expectNear(g[2], {10 * std::sqrt(0.5), 10 * std::sqrt(0.5)});
    expectNear(g[3], {0, 10});
    // The middle pulled out: the arc still runs from end to end, through the new point.
    ASSERT_TRUE(moveGrip(arc, 2, {9, 9}));
    for (QPointF p : {QPointF(10, 0), QPointF(9, 9), QPointF(0, 10)})
        EXPECT_TRUE(passesThrough(arc, p)) << p.x() << "," << p.y();
    // The end dragged elsewhere: start and middle stay on the arc.
    const QPointF middle = gripPoints(arc)[2];
    ASSERT_TRUE(moveGrip(arc, 3, {5, -5}));
    for (QPointF p : {QPointF(10, 0), middle, QPointF(5, -5)})
        EXPECT_TRUE(passesThrough(arc, p)) << p.x() << "," << p.y();
    const Entity kept = arc;
    EXPECT_FALSE(moveGrip(arc, 2, (gripPoints(arc)[1] + gripPoints(arc)[3]) / 2));
    EXPECT_EQ(arc.radius, kept.radius);

    Entity ellipse = Entity::ellipse({0, 0}, {4, 0}, 0.5, 0, 2 * std::numbers::pi);
    ASSERT_EQ(gripPoints(ellipse).size(), 5u);
    expectNear(gripPoints(ellipse)[3], {0, 2});
    ASSERT_TRUE(moveGrip(ellipse, 1, {0, 8}));  // the major axis turns and grows
    expectNear(ellipse.end, {0, 8});
    EXPECT_NEAR(ellipse.ratio, 0.25, 1e-9);     // the minor axis keeps its length 2
    ASSERT_TRUE(moveGrip(ellipse, 4, {3, 1}));  // 3 from the major axis
    EXPECT_NEAR(ellipse.ratio, 3.0 / 8.0, 1e-9);
    EXPECT_FALSE(moveGrip(ellipse, 3, {9, 0}));  // longer than the major axis
}

TEST(Grips, InsertsCarryTheirAttributesAndAttributesMoveAlone) {
    Entity insert = Entity::insert("BOX", {10, 10});
    insert.attributes.push_back(Entity::attribute({11, 12}, "SysName", "VTR 1", 1));
    Entity hidden = Entity::attribute({11, 14}, "Read Only EquipID", "7", 1);
    hidden.attributeFlags = 1;
    insert.attributes.push_back(hidden);
    Entity aligned = Entity::attribute({15, 12}, "Location", "MCR", 1);
    aligned.hAlign = 2;
    aligned.end = {15, 12};
    insert.attributes.push_back(aligned);
    // The insertion point and the visible attributes only.
    const std::vector<QPointF> g = gripPoints(insert);
    ASSERT_EQ(g.size(), 3u);
    expectNear(g[1], {11, 12});
    expectNear(g[2], {15, 12});

    ASSERT_TRUE(moveGrip(insert, 0, {20, 5}));
    expectNear(insert.start, {20, 5});
    expectNear(insert.attributes[0].start, {21, 7});
    expectNear(insert.attributes[1].start, {21, 9});
    expectNear(insert.attributes[2].end, {25, 7});

    ASSERT_TRUE(moveGrip(insert, 2, {30, 0}));
    expectNear(insert.attributes[2].start, {30, 0});
    expectNear(insert.attributes[2].end, {30, 0});
    expectNear(insert.attributes[0].start, {21, 7});
    expectNear(insert.start, {20, 5});
    EXPECT_FALSE(moveGrip(insert, 3, {0, 0}));
}

TEST(Grips, DimensionsOfferOnlyThePointsTheirTypeUses) {
    Entity linear = Entity::linearDimension({0, 0}, {10, 0}, {5, 3}, 0);
    const std::vector<QPointF> g = gripPoints(linear);
    ASSERT_EQ(g.size(), 4u);  // definition point, text, the two measured points
    expectNear(g[3], {10, 0});
    ASSERT_TRUE(moveGrip(linear, 3, {12, 0}));
    expectNear(linear.detail->dimPoints[1], {12, 0});

    Entity radius = Entity::radiusDimension({0, 0}, {3, 4});
    ASSERT_EQ(gripPoints(radius).size(), 3u);
    expectNear(gripPoints(radius)[2], {3, 4});
}

TEST(Grips, GripAtTakesTheNearestWithinTheAperture) {
    const Entity line = Entity::line({0, 0}, {1, 0});
    EXPECT_EQ(gripAt(line, {0.9, 0.1}, 0.2), 2);
    EXPECT_EQ(gripAt(line, {0.6, 0}, 0.2), 1);
    EXPECT_EQ(gripAt(line, {0.3, 0}, 0.1), -1);
}

TEST(Grips, ArcThroughThreePointsRunsCounterClockwise) {
    const auto arc = arcThrough({0, 10}, {10, 0}, {0, -10});  // clockwise through the right
    ASSERT_TRUE(arc);
    EXPECT_TRUE(passesThrough(*arc, {10, 0}));
    EXPECT_FALSE(passesThrough(*arc, {-10, 0}));
    EXPECT_FALSE(arcThrough({0, 0}, {1, 1}, {2, 2}));
}

TEST(Grips, SnapSpacingRoundsEachAxis) {
    expectNear(snapToSpacing({1.26, -0.74}, {0.5, 0.25}), {1.5, -0.75});
    expectNear(snapToSpacing({1.26, 3.3}, {0, 2}), {1.26, 4});
    expectNear(snapToSpacing({1.26, 3.3}, {-1, std::nan("")}), {1.26, 3.3});
}

TEST(Grips, GridAndSnapAreKeptWithTheDrawing) {
    Document doc;
    doc.settings().gridMode = true;
    doc.settings().gridSpacing = {0.5, 0.25};
    doc.settings().snapMode = true;
    doc.settings().snapSpacing = {0.125, 2};
    const Document back = readDxf(writeDxf(doc));
    EXPECT_TRUE(back.settings().gridMode);
    EXPECT_EQ(back.settings().gridSpacing, QPointF(0.5, 0.25));
    EXPECT_TRUE(back.settings().snapMode);
    EXPECT_EQ(back.settings().snapSpacing, QPointF(0.125, 2));

    const Document plain = readDxf(writeDxf(Document{}));
    EXPECT_FALSE(plain.settings().gridMode);
    EXPECT_FALSE(plain.settings().snapMode);
    EXPECT_EQ(plain.settings().gridSpacing, QPointF(1, 1));
}
