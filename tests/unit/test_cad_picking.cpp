// Geometry, spatial index and picking of the drawing engine: extents of bulged polylines
// and transformed inserts, topmost pick, attributes over their insert, window and crossing
// selection, the last entity, object snaps, and the cost of searching a large drawing.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

#include "cad/picking.h"
#include "cad/render.h"

using namespace tolvane::cad;

namespace {

void expectBox(const BBox& b, double x0, double y0, double x1, double y1) {
    EXPECT_NEAR(b.x0, x0, 1e-9);
    EXPECT_NEAR(b.y0, y0, 1e-9);
    EXPECT_NEAR(b.x1, x1, 1e-9);
    EXPECT_NEAR(b.y1, y1, 1e-9);
}

void expectPoint(QPointF p, double x, double y) {
    EXPECT_NEAR(p.x(), x, 1e-9);
    EXPECT_NEAR(p.y(), y, 1e-9);
}

struct Drawing {
    Document doc;
    SpatialIndex index;
    Space& model() { return doc.modelSpace(); }
    QString add(Entity e) { return doc.addToModel(std::move(e)).handle; }
    // Added, or erased, with a word to the index, as commands and undo do.
    QString addIndexed(Entity e) {
        const QString h = add(std::move(e));
        index.insert(doc, model().entities.back());
        return h;
    }
    bool eraseIndexed(const QString& h) {
        const bool erased = doc.erase(h);
        index.remove(h);
        return erased;
    }
    void reindex() { index.build(doc, doc.modelSpace()); }
    PickResult pick(QPointF p, double aperture = 0.1, const PickFilter& wanted = {}) {
        const PickResult viaIndex = pointSearch(doc, model(), index, p, aperture, nullptr, wanted);
        EXPECT_EQ(viaIndex.handle, pointSearch(doc, model(), p, aperture, wanted).handle);
        return viaIndex;
    }
    SnapResult snap(unsigned modes, QPointF p, std::optional<QPointF> base = {}) {
        return objectSnap(doc, model(), index, modes, p, 0.5, base);
    }
};

// Picks at random points of the square 0..size, and windows and crossings over random boxes in
// it, answer through the index exactly as a pass over the whole space does.
void expectAnswersAsAPass(Drawing& d, std::mt19937& random, double size, double aperture, int picks,
                          int boxes) {
    std::uniform_real_distribution<double> at(0.0, size);
    for (int i = 0; i < picks; ++i) {
        const QPointF p(at(random), at(random));
        const PickResult viaIndex = pointSearch(d.doc, d.model(), d.index, p, aperture);
        const PickResult all = pointSearch(d.doc, d.model(), p, aperture);
        ASSERT_EQ(viaIndex.handle, all.handle) << p.x() << "," << p.y();
        ASSERT_EQ(viaIndex.position, all.position);
    }
    for (int i = 0; i < boxes; ++i) {
        const BBox box = BBox::of({at(random), at(random)}, {at(random), at(random)});
        ASSERT_EQ(windowSelect(d.doc, d.model(), d.index, box),
                  windowSelect(d.doc, d.model(), box));
        ASSERT_EQ(crossingSelect(d.doc, d.model(), d.index, box),
                  crossingSelect(d.doc, d.model(), box));
    }
}

// One entity of a kind drawn at random, placed by `at` and sized by `small`: lines, bulged
// polylines, circles, texts plain and turned, turned inserts of the block EQ (which the
// drawing must have) with an attribute, long cable runs (indexed in parts) and wide arcs.
Entity randomEntity(std::mt19937& random, std::uniform_real_distribution<double>& at,
                    std::uniform_real_distribution<double>& small) {
    const QPointF p(at(random), at(random));
    switch (random() % 9) {
        case 0:
            return Entity::line(p, p + QPointF(small(random), small(random) - 4));
        case 1:
            return Entity::polyline(
                {{p, 0.4}, {p + QPointF(small(random), 0), 0}, {p + QPointF(3, 9), 0}}, false);
        case 2:
            return Entity::circle(p, small(random) / 2);
        case 3:
            return Entity::textAt(p, QStringLiteral("C-%1").arg(random() % 1000), 1.5);
        case 4: {
            Entity ins = Entity::insert(QStringLiteral("EQ"), p, 1.0, 1.0, 90.0 * (random() % 2));
            ins.attributes.push_back(Entity::attribute(p + QPointF(0, 4), QStringLiteral("NAME"),
                                                       QStringLiteral("EQ-1"), 1.0));
            return ins;
        }
        case 5: {
            // A cable run across the drawing with a rounded corner and a sloping end.
            const QPointF turn(at(random), p.y());
            return Entity::polyline({{p - QPointF(60, 0), 0},
                                     {turn, 0.4},
                                     {turn + QPointF(10, 50), 0},
                                     {turn + QPointF(90, 80), 0}},
                                    false);
        }
        case 6: {
            Entity text = Entity::textAt(p, QStringLiteral("TURNED"), 2.0);
            text.rotation = 30.0 * double(random() % 12);
            return text;
        }
        case 7:
            return Entity::arc(p, 40.0 + small(random), std::fmod(at(random) * 3.6, 360.0),
                               std::fmod(at(random) * 3.6, 360.0));
        default:
            return Entity::point(p);
    }
}

}  // namespace

TEST(CadGeometry, BoundingBoxes) {
    Document doc;
    // Half circle bulge (1) from (0,0) to (2,0): counter-clockwise, so it dips to y = -1.
    Entity half = Entity::polyline({{{0, 0}, 1.0}, {{2, 0}, 0.0}}, false);
    expectBox(boundingBox(doc, half), 0, -1, 2, 0);
    // Negative bulge swings the other way; a quarter bulge stays inside the chord's ends.
    half.vertices[0].bulge = -1.0;
    expectBox(boundingBox(doc, half), 0, 0, 2, 1);
    const double quarter = std::tan(M_PI / 8);  // 90 degrees, centre (1,1)
    const Entity q = Entity::polyline({{{0, 0}, 0}, {{2, 0}, -quarter}, {{2, 2}, 0}}, true);
    expectBox(boundingBox(doc, q), 0, 0, 2, 2);
    // A 270 degree bulge from (1,0) to (0,1) runs round the centre (1,1) through (2,1)
    // and (1,2).
    const Entity big = Entity::polyline({{{1, 0}, std::tan(3 * M_PI / 8)}, {{0, 1}, 0}}, false);
    expectBox(boundingBox(doc, big), 0, 0, 2, 2);

    expectBox(boundingBox(doc, Entity::circle({5, 5}, 2)), 3, 3, 7, 7);
    expectBox(boundingBox(doc, Entity::arc({0, 0}, 1, 45, 135)), -std::sqrt(0.5), std::sqrt(0.5),
              std::sqrt(0.5), 1);
    expectBox(boundingBox(doc, Entity::arc({0, 0}, 1, 300, 60)), 0.5, -std::sqrt(0.75), 1,
              std::sqrt(0.75));
    // Text: height and an approximate width from its length; rotated 90 degrees it stands up.
    Entity t = Entity::textAt({0, 0}, "ABCD", 2.0);
    const BBox tb = boundingBox(doc, t);
    EXPECT_NEAR(tb.y1 - tb.y0, 2.0, 1e-9);
    EXPECT_GT(tb.x1 - tb.x0, 4.0);
    t.rotation = 90;
    const BBox tr = boundingBox(doc, t);
    EXPECT_NEAR(tr.x0, -2.0, 1e-9);
    EXPECT_NEAR(tr.y1 - tr.y0, tb.x1 - tb.x0, 1e-9);
    Entity other;
    other.kind = EntityKind::Other;
    EXPECT_FALSE(boundingBox(doc, other).isValid());
}

TEST(CadGeometry, RotatedScaledInsertAndDistances) {
    Document doc;
    Block& b = doc.addBlock("BOX", {1, 1});
    doc.add(b, Entity::line({1, 1}, {3, 1}));  // 2 long along x from the base
    doc.add(b, Entity::circle({2, 2}, 0.5));   // centre (1,1) from the base
    Entity ins = Entity::insert("BOX", {10, 10}, 2.0, 3.0, 90.0);
    // Local (x, y) -> (10 - 3y, 10 + 2x): the line runs up to (10,14); the circle becomes an
    // ellipse around (7,12) with half axes 1.5 (x) and 1 (y).
    const BBox ib = boundingBox(doc, ins);
    EXPECT_NEAR(ib.x0, 5.5, 1e-2);
    EXPECT_NEAR(ib.x1, 10.0, 1e-9);
    EXPECT_NEAR(ib.y0, 10.0, 1e-9);
    EXPECT_NEAR(ib.y1, 14.0, 1e-9);
    // Attributes are in world coordinates and widen the box.
    ins.attributes.push_back(Entity::attribute({20, 20}, "TAG", "V", 1.0));
    EXPECT_GE(boundingBox(doc, ins).y1, 21.0 - 1e-9);
    // Mirrored uniform scale keeps arcs exact.
    Entity mirrored = Entity::insert("BOX", {0, 0}, -1.0, 1.0, 0.0);
    doc.block("BOX")->entities.push_back(Entity::arc({1, 1}, 1, 0, 90));
    const std::vector<Prim> prims = primitives(doc, mirrored);
    ASSERT_EQ(prims.size(), 3u);
    EXPECT_EQ(prims[2].kind, Prim::Arc);
    expectPoint(prims[2].arcStart(), -1, 0);
    expectPoint(prims[2].arcEnd(), 0, 1);

    EXPECT_NEAR(distanceTo(doc, Entity::line({0, 0}, {10, 0}), {5, 3}), 3.0, 1e-9);
    EXPECT_NEAR(distanceTo(doc, Entity::line({0, 0}, {10, 0}), {13, 4}), 5.0, 1e-9);
    EXPECT_NEAR(distanceTo(doc, Entity::circle({0, 0}, 5), {1, 0}), 4.0, 1e-9);
    // Outside the arc's sweep the distance is to its nearer end.
    EXPECT_NEAR(distanceTo(doc, Entity::arc({0, 0}, 1, 0, 90), {0, -3}), std::sqrt(10.0), 1e-9);
    EXPECT_NEAR(distanceTo(doc, Entity::arc({0, 0}, 1, 0, 90), {2, 2}), std::sqrt(8.0) - 1, 1e-9);
    const Entity bulged = Entity::polyline({{{0, 0}, 1.0}, {{2, 0}, 0.0}}, false);
    EXPECT_NEAR(distanceTo(doc, bulged, {1, -1}), 0.0, 1e-9);
    // Above the chord, away from the arc's sweep: the distance is to its ends.
    EXPECT_NEAR(distanceTo(doc, bulged, {1, 1}), std::sqrt(2.0), 1e-9);
}

TEST(CadPicking, TopmostApertureAndAttributes) {
    Drawing d;
    const QString under = d.add(Entity::line({0, 0}, {10, 0}));
    const QString over = d.add(Entity::line({5, -5}, {5, 5}));
    const QString ring = d.add(Entity::circle({20, 0}, 3));
    d.reindex();
    EXPECT_EQ(d.pick({5, 0}).handle, over);  // both pass through: the later one wins
    EXPECT_EQ(d.pick({2, 0.05}).handle, under);
    EXPECT_FALSE(d.pick({2, 0.5}).found());  // outside the aperture
    EXPECT_EQ(d.pick({2, 0.5}, 0.6).handle, under);
    // Inside the circle's box but far from its outline: true distance decides.
    EXPECT_FALSE(d.pick({20, 0}).found());
    EXPECT_EQ(d.pick({23.05, 0}).handle, ring);

    Block& b = d.doc.addBlock("DEV");
    d.doc.add(b, Entity::polyline({{{0, 0}, 0}, {{4, 0}, 0}, {{4, 2}, 0}, {{0, 2}, 0}}, true));
    Entity ins = Entity::insert("DEV", {30, 0});
    ins.attributes.push_back(Entity::attribute({30.5, 0.5}, "NAME", "RACK1", 1.0));
    ins.attributes.push_back(Entity::attribute({30, 3}, "HIDDEN", "X", 1.0));
    ins.attributes.back().attributeFlags = 1;
    const QString insert = d.add(ins);
    d.reindex();
    const PickResult onAttr = d.pick({31, 1});
    EXPECT_TRUE(onAttr.isAttribute());
    EXPECT_EQ(onAttr.insertHandle, insert);
    EXPECT_EQ(onAttr.tag, "NAME");
    EXPECT_EQ(d.doc.find(onAttr.handle)->text, "RACK1");
    const PickResult onEdge = d.pick({34, 1.5});
    EXPECT_EQ(onEdge.handle, insert);
    EXPECT_FALSE(onEdge.isAttribute());
    EXPECT_FALSE(d.pick({30.5, 3.5}).found());  // invisible attribute

    // A line drawn later over the attribute wins; switching its layer off hands it back.
    Entity cover = Entity::line({30, 1}, {33, 1});
    cover.layer = "Top";
    d.doc.addLayer(Layer{"Top"});
    const QString coverHandle = d.addIndexed(cover);
    EXPECT_EQ(d.pick({31, 1}).handle, coverHandle);
    d.doc.layer("Top")->on = false;
    EXPECT_EQ(d.pick({31, 1}).tag, "NAME");
}

// A click means the nearest entity in the pick box, the one on top of two as near. A filter
// takes only the kind a prompt wants, under whatever lies nearer or on top of it, and a
// prompt that prefers a kind takes anything when none of that kind is near.
TEST(CadPicking, NearestWinsAndWantedKinds) {
    Drawing d;
    const QString low = d.add(Entity::line({0, 0}, {10, 0}));
    const QString high = d.add(Entity::line({0, 0.5}, {10, 0.5}));
    d.reindex();
    EXPECT_EQ(d.pick({5, 0.125}, 0.5).handle, low);  // nearer, though drawn under
    EXPECT_EQ(d.pick({5, 0.125}, 0.5).distance, 0.125);
    EXPECT_EQ(d.pick({5, 0.375}, 0.5).handle, high);
    EXPECT_EQ(d.pick({5, 0.25}, 0.5).handle, high);  // as near: the one drawn later

    Block& b = d.doc.addBlock("JACK");
    d.doc.add(b, Entity::polyline({{{0, 0}, 0}, {{4, 0}, 0}, {{4, 2}, 0}, {{0, 2}, 0}}, true));
    Entity jack = Entity::insert("JACK", {20, 0});
    jack.attributes.push_back(Entity::attribute({20.5, 0.5}, "COL", "12", 1.0));
    const QString insert = d.add(jack);
    // A cable drawn later across the jack's edge and its name.
    const QString cable = d.add(Entity::polyline({{{18, 1}, 0}, {{25, 1}, 0}}, false));
    d.reindex();
    EXPECT_EQ(d.pick({20, 1}).handle, cable);
    EXPECT_EQ(d.pick({20.7, 1}).handle, cable);
    const PickFilter inserts = ofKind(EntityKind::Insert);
    EXPECT_EQ(d.pick({20, 1.05}, 0.1, inserts).handle, insert);
    const PickResult onName = d.pick({20.7, 1}, 0.1, inserts);
    EXPECT_TRUE(onName.isAttribute());
    EXPECT_EQ(onName.insertHandle, insert);
    // Nothing of the kind near: none for the filter; the preferring pick takes what is there.
    const PickFilter circles = ofKind(EntityKind::Circle);
    EXPECT_FALSE(d.pick({20, 1}, 0.1, circles).found());
    EXPECT_EQ(pickPreferring(d.doc, d.model(), d.index, {20, 1}, 0.1, circles).handle, cable);
    EXPECT_EQ(pickPreferring(d.doc, d.model(), d.index, {20, 1.05}, 0.1, inserts).handle, insert);
    EXPECT_FALSE(pickPreferring(d.doc, d.model(), d.index, {50, 50}, 0.1, inserts).found());
}

// A wide polyline is picked anywhere on the band it covers, by the index and by a pass alike,
// and nowhere beyond it; the widest of its vertex widths counts.
TEST(CadPicking, AWidePolylineIsPickedOnItsBand) {
    Drawing d;
    Entity wide = Entity::polyline({{{0, 0}, 0}, {{10, 0}, 0}}, false);
    wide.detail.edit().width = 4;
    const QString band = d.add(wide);
    Entity tapered = Entity::polyline({{{0, 20}, 0}, {{10, 20}, 0}}, false);
    tapered.detail.edit().vertexWidths = {QPointF(0, 6), QPointF(0, 0)};
    const QString taper = d.add(tapered);
    d.reindex();
    EXPECT_EQ(d.pick({5, 1.9}).handle, band);
    EXPECT_EQ(d.pick({5, -1.95}).distance, 0.0);
    EXPECT_FALSE(d.pick({5, 2.2}).found());
    EXPECT_EQ(d.pick({9, 22.5}).handle, taper);
    expectBox(boundingBox(d.doc, *d.doc.find(band)), 0 - 2, -2, 10 + 2, 2);
}

TEST(CadPicking, WindowCrossingAndLast) {
    Drawing d;
    EXPECT_TRUE(lastEntity(d.model()).isEmpty());
    const QString inside = d.add(Entity::line({1, 1}, {2, 2}));
    const QString across = d.add(Entity::line({1, 1}, {20, 1}));
    d.add(Entity::circle({5, 5}, 20));  // its box covers the window, its outline misses it
    const QString arcIn = d.add(Entity::arc({5, 5}, 2, 0, 180));
    const QString corner = d.add(Entity::line({-5, 5}, {5, -5}));  // box meets, line misses
    const QString far = d.add(Entity::point({50, 50}));
    d.reindex();
    const BBox window{0, 0, 10, 10};
    const std::vector<QString> w = windowSelect(d.doc, d.model(), d.index, window);
    EXPECT_EQ(w, (std::vector<QString>{inside, arcIn}));
    EXPECT_EQ(w, windowSelect(d.doc, d.model(), window));
    const std::vector<QString> c = crossingSelect(d.doc, d.model(), d.index, window);
    EXPECT_EQ(c, (std::vector<QString>{inside, across, arcIn, corner}));
    EXPECT_EQ(c, crossingSelect(d.doc, d.model(), window));
    // Moved away from the corner the diagonal no longer touches.
    const std::vector<QString> c2 = crossingSelect(d.doc, d.model(), d.index, {0.1, 0.1, 10, 10});
    EXPECT_EQ(std::count(c2.begin(), c2.end(), corner), 0);
    EXPECT_EQ(lastEntity(d.model()), far);
    d.doc.erase(far);
    EXPECT_EQ(lastEntity(d.model()), corner);
}

TEST(CadPicking, ObjectSnaps) {
    Drawing d;
    const QString l = d.add(Entity::line({0, 0}, {10, 0}));
    d.add(Entity::line({4, -5}, {4, 5}));
    const QString c = d.add(Entity::circle({20, 0}, 2));
    d.add(Entity::arc({30, 0}, 2, 0, 90));
    d.add(Entity::point({40, 0}));
    d.doc.addBlock("B");  // empty: the insert is still found at its insertion point
    const QString ins = d.add(Entity::insert("B", {50, 0}));
    d.add(Entity::line({19, -5}, {19, 5}));
    d.reindex();

    auto expectSnap = [&](unsigned modes, QPointF at, unsigned mode, double x, double y,
                          std::optional<QPointF> base = {}) {
        const SnapResult r = d.snap(modes, at, base);
        EXPECT_EQ(r.mode, mode) << "modes " << modes << " at " << at.x() << "," << at.y();
        expectPoint(r.point, x, y);
        return r;
    };
    EXPECT_EQ(expectSnap(SnapEndPoint, {9.8, 0.1}, SnapEndPoint, 10, 0).handle, l);
    expectSnap(SnapMidPoint, {5.2, 0.2}, SnapMidPoint, 5, 0);
    expectSnap(SnapCenter, {20.3, 0}, SnapCenter, 20, 0);
    expectSnap(SnapQuadrant, {20.1, 1.8}, SnapQuadrant, 20, 2);
    expectSnap(SnapEndPoint | SnapMidPoint, {30, 1.9}, SnapEndPoint, 30, 2);  // arc end
    expectSnap(SnapMidPoint, {31.3, 1.2}, SnapMidPoint, 30 + std::sqrt(2.0), std::sqrt(2.0));
    expectSnap(SnapNode, {40.2, 0.2}, SnapNode, 40, 0);
    EXPECT_EQ(expectSnap(SnapInsert, {50.1, 0}, SnapInsert, 50, 0).handle, ins);
    expectSnap(SnapNearest, {7, 0.3}, SnapNearest, 7, 0);
    expectSnap(SnapIntersection, {4.2, 0.2}, SnapIntersection, 4, 0);
    expectSnap(SnapAppInt, {4.2, 0.2}, SnapAppInt, 4, 0);
    // Line and circle: x = 19 meets the circle at y = +-sqrt(3).
    expectSnap(SnapIntersection, {19.1, 1.6}, SnapIntersection, 19, std::sqrt(3.0));
    // Perpendicular from (2, 5) to the horizontal line; to the circle along the radius.
    expectSnap(SnapPerp, {2.2, 0.3}, SnapPerp, 2, 0, QPointF(2, 5));
    expectSnap(SnapPerp, {18.1, 0.1}, SnapPerp, 18, 0, QPointF(10, 0));
    // Tangents from (20, 4) touch the circle at 30 degrees above the horizontal.
    expectSnap(SnapTangent, {21.6, 1.2}, SnapTangent, 20 + std::sqrt(3.0), 1, QPointF(20, 4));
    // Perp and Tangent need a base point.
    EXPECT_FALSE(d.snap(SnapPerp | SnapTangent, {21.6, 1.2}).found());
    // Modes not asked for are not used; Nearest yields to any other mode in the aperture.
    EXPECT_FALSE(d.snap(SnapCenter, {9.8, 0.1}).found());
    expectSnap(SnapNearest | SnapEndPoint, {9.8, 0.1}, SnapEndPoint, 10, 0);
    // The nearest of several candidates wins: the circle's quadrant (22,0) against the
    // intersection (19, 1.73) and the line's end point (10,0) far away.
    expectSnap(SnapEndPoint | SnapQuadrant | SnapIntersection, {21.6, 0.2}, SnapQuadrant, 22, 0);
    expectSnap(SnapEndPoint | SnapQuadrant | SnapIntersection, {19.2, 1.6}, SnapIntersection, 19,
               std::sqrt(3.0));
    EXPECT_EQ(d.snap(SnapQuadrant, {22, 0}).handle, c);
}

// Every edge of a closed mesh belongs to exactly two faces, and every index is a vertex.
void expectClosedMesh(const Entity& mesh) {
    std::map<std::pair<int, int>, int> edges;
    for (const MeshFace& f : mesh.detail->faces) {
        std::vector<int> corners;
        for (int i : f.index) {
            if (i == 0) continue;
            ASSERT_LE(std::abs(i), mesh.detail->points3.size());
            corners.push_back(std::abs(i));
        }
        ASSERT_GE(corners.size(), 3u);
        for (size_t k = 0; k < corners.size(); ++k) {
            const int a = corners[k], b = corners[(k + 1) % corners.size()];
            ++edges[{std::min(a, b), std::max(a, b)}];
        }
    }
    for (const auto& [edge, count] : edges) EXPECT_EQ(count, 2) << edge.first << "-" << edge.second;
}

TEST(CadGeometry, MeshBuildersAndTheirTopView) {
    Document doc;
    const Entity box = Entity::box({1, 2, 3}, 4, 5, 6);
    EXPECT_EQ(box.detail->points3.size(), 8);
    EXPECT_EQ(box.detail->faces.size(), 6);
    expectClosedMesh(box);
    expectBox(boundingBox(doc, box), 1, 2, 5, 7);
    EXPECT_EQ(entityTypeName(box), "VDPOLYFACE");

    const Entity cone = Entity::cone({0, 0, 1}, 5, 2, 0, 12);
    expectClosedMesh(cone);
    expectBox(boundingBox(doc, cone), -2, -2, 2, 2);
    double top = 0;
    for (const Point3& p : cone.detail->points3) top = std::max(top, p.z);
    EXPECT_EQ(top, 6.0);
    const Entity cylinder = Entity::cone({0, 0, 0}, 5, 1, 1, 3);
    expectClosedMesh(cylinder);
    EXPECT_EQ(cylinder.detail->faces.size(), 3 + 3 + 3);  // sides and two fans of hidden spokes
    // The spokes of the caps are hidden: the top view shows rims and sides only.
    for (const Prim& p : primitives(doc, cylinder)) {
        EXPECT_NEAR(std::hypot(p.a.x(), p.a.y()), 1.0, 1e-9);
        EXPECT_NEAR(std::hypot(p.b.x(), p.b.y()), 1.0, 1e-9);
    }

    const Entity ball = Entity::sphere({1, 1, 1}, 3, 8);
    expectClosedMesh(ball);
    for (const Point3& p : ball.detail->points3)
        EXPECT_NEAR(
            std::sqrt((p.x - 1) * (p.x - 1) + (p.y - 1) * (p.y - 1) + (p.z - 1) * (p.z - 1)), 3.0,
            1e-9);
    expectBox(boundingBox(doc, ball), -2, -2, 4, 4);
    EXPECT_LE(Entity::sphere({}, 1, 1 << 20).detail->points3.size(),
              kMaxMeshSegments * kMaxMeshSegments);
    // Faces out of range (built by hand) are left out, never read beyond the vertices.
    const Entity broken = Entity::polyfaceMesh({{0, 0, 0}, {1, 0, 0}}, {{{1, 2, 9, -40}}});
    EXPECT_EQ(primitives(doc, broken).size(), 1u);
}

TEST(CadGeometry, DimensionsMeasureAndDrawFromTheirPoints) {
    Document doc;
    const std::pair<Entity, double> measured[] = {
        {Entity::linearDimension({0, 0}, {10, 3}, {0, 5}, 0), 10.0},
        {Entity::linearDimension({0, 0}, {10, 3}, {0, 5}, 90), 3.0},
        {Entity::alignedDimension({0, 0}, {3, 4}, {-4, 3}), 5.0},
        {Entity::radiusDimension({1, 1}, {4, 5}), 5.0},
        {Entity::diameterDimension({1, 1}, {4, 5}), 10.0},
        // The arc's side decides between the angle and the rest of the turn.
        {Entity::angularDimension({0, 0}, {10, 0}, {0, 10}, {3, 3}), 90.0},
        {Entity::angularDimension({0, 0}, {10, 0}, {0, 10}, {-3, -3}), 270.0},
    };
    for (const auto& [dim, value] : measured)
        EXPECT_NEAR(dimensionGeometry(doc, dim).measurement, value, 1e-9) << value;

    // Extension lines leave the style's gap at the measured points and reach past the line.
    DimStyle style{"Wide", 3.5, 2, 1, 2, "Standard", 0};
    doc.addDimStyle(style);
    Entity dim = Entity::linearDimension({0, 0}, {20, 0}, {0, 10}, 0);
    dim.style = "wide";
    const DimensionGeometry g = dimensionGeometry(doc, dim);
    ASSERT_EQ(g.extensions.size(), 2u);
    expectPoint(g.extensions[0][0], 0, 1);
    expectPoint(g.extensions[0][1], 0, 12);
    // Centred text breaks the dimension line, the gap on either side of its box (4.2 wide).
    ASSERT_EQ(g.lines.size(), 2u);
    expectPoint(g.lines[0][0], 0, 10);
    expectPoint(g.lines[0][1], 10 - 2.1 - 0.625, 10);
    expectPoint(g.lines[1][1], 20, 10);
    ASSERT_EQ(g.solids.size(), 2u);
    expectPoint(g.solids[0][0], 0, 10);
    EXPECT_NEAR(g.solids[0][1].x(), 2.0, 1e-12);  // pointing outwards, as long as the style says
    EXPECT_EQ(g.text.text, "20");
    EXPECT_EQ(g.text.height, 3.5);
    expectPoint(g.text.start, 10, 10);
    dim.text = "<> max";
    EXPECT_EQ(dimensionGeometry(doc, dim).text.text, "20 max");
    // Vertical text reads from below, never upside down.
    dim.rotation = 270;
    EXPECT_NEAR(dimensionGeometry(doc, dim).text.rotation, 90.0, 1e-9);
}

// Every value of the style shapes the drawing: the scale multiplies the sizes, text above
// or horizontal, hidden extension lines, their colour and the arrowheads' kind.
TEST(CadPicking, DimensionStyleShapesTheDrawing) {
    Document doc;
    DimStyle style{"Plan", 2, 1, 0.5, 1, "Standard", 1};
    style.scale = 2;
    style.textGap = 0.5;
    style.textAbove = true;
    style.showExtension1 = false;
    style.extensionColor = 3;
    style.textColor = 5;
    style.arrowBlock = "_oblique";
    doc.addDimStyle(style);
    Entity dim = Entity::linearDimension({0, 0}, {20, 0}, {0, 10}, 0);
    dim.style = "PLAN";
    DimensionGeometry g = dimensionGeometry(doc, dim);
    ASSERT_EQ(g.extensions.size(), 1u);  // only the second one
    expectPoint(g.extensions[0][0], 20, 1);
    expectPoint(g.extensions[0][1], 20, 12);
    EXPECT_EQ(g.extensionColor, 3);
    EXPECT_EQ(g.text.color, 5);
    EXPECT_EQ(g.text.height, 4.0);
    EXPECT_EQ(g.text.text, "20.0");
    // Above the unbroken line by the gap and half the text's height, all scaled.
    expectPoint(g.text.start, 10, 10 + 1 + 2);
    EXPECT_TRUE(g.solids.empty());
    // The line, and an oblique stroke of the scaled size (2) across each end.
    ASSERT_EQ(g.lines.size(), 3u);
    expectPoint(g.lines[0][0], 1, 11);
    expectPoint(g.lines[0][1], -1, 9);
    expectPoint(g.lines[2][0], 0, 10);
    expectPoint(g.lines[2][1], 20, 10);

    // Horizontal text on a vertical dimension; a dot is a filled disc round the end.
    style.textHorizontal = true;
    style.textAbove = false;
    style.arrowBlock = "_DOT";
    doc.addDimStyle(style);
    dim = Entity::linearDimension({0, 0}, {0, 20}, {10, 0}, 90);
    dim.style = "Plan";
    g = dimensionGeometry(doc, dim);
    EXPECT_EQ(g.text.rotation, 0.0);
    ASSERT_EQ(g.solids.size(), 2u);
    EXPECT_EQ(g.solids[0].size(), 16);
    EXPECT_NEAR(g.solids[0].boundingRect().width(), 1.0, 1e-9);  // a quarter of the arrow, twice
    // A style the drawing does not have draws as its STANDARD style.
    doc.addDimStyle(DimStyle{"Standard", 7});
    dim.style = "gone";
    EXPECT_EQ(dimensionGeometry(doc, dim).text.height, 7.0);
}

TEST(CadPicking, DimensionFaceImageAndViewportByTheirOutline) {
    Drawing d;
    const QString dim = d.add(Entity::linearDimension({0, 0}, {10, 0}, {0, -5}, 0));
    const QString face = d.add(Entity::face3d({20, 0, 0}, {30, 0, 5}, {30, 10, 5}, {20, 10, 0}));
    const QString hidden =
        d.add(Entity::face3d({20, 20, 0}, {30, 20, 0}, {30, 30, 0}, {20, 30, 0}, 1));
    const QString image = d.add(Entity::image("a.png", QSize(100, 50), {40, 0}, 10));
    const QString view = d.add(Entity::viewport({70, 5}, 10, 10, {}, 1));
    d.reindex();
    EXPECT_EQ(d.pick({0, -3}).handle, dim);    // first extension line
    EXPECT_EQ(d.pick({0.5, -5}).handle, dim);  // dimension line beside the text
    EXPECT_EQ(d.pick({25, 0}).handle, face);
    EXPECT_FALSE(d.pick({25, 5}).found());   // inside, away from the edges
    EXPECT_FALSE(d.pick({25, 20}).found());  // the hidden edge
    EXPECT_EQ(d.pick({30, 25}).handle, hidden);
    EXPECT_EQ(d.pick({50, 2.5}).handle, image);
    EXPECT_EQ(d.pick({45, 5}).handle, image);  // top edge: 10 wide, 5 high
    EXPECT_FALSE(d.pick({45, 2.5}).found());
    EXPECT_EQ(d.pick({75, 8}).handle, view);
    EXPECT_EQ(crossingSelect(d.doc, d.model(), d.index, BBox::of({44, 4}, {46, 6})),
              std::vector<QString>{image});
    EXPECT_EQ(windowSelect(d.doc, d.model(), d.index, BBox::of({-5, -10}, {12, 1})),
              std::vector<QString>{dim});

    const SnapResult node = d.snap(SnapNode, {10.2, 0.1});
    EXPECT_EQ(node.mode, unsigned(SnapNode));
    expectPoint(node.point, 10, 0);
    EXPECT_EQ(node.handle, dim);
    const SnapResult corner = d.snap(SnapEndPoint, {30.1, 9.8});
    expectPoint(corner.point, 30, 10);
    const SnapResult insert = d.snap(SnapInsert, {40.2, 0.2});
    EXPECT_EQ(insert.handle, image);
}

TEST(CadSpatialIndex, LargeDrawingTouchesOnlyCandidates) {
    Drawing d;
    // 100,000 short lines on a 400 x 250 grid, one unit apart.
    for (int i = 0; i < 100000; ++i) {
        const double x = i % 400, y = i / 400;
        d.add(Entity::line({x, y}, {x + 0.5, y}));
    }
    d.reindex();
    ASSERT_EQ(d.index.size(), 100000);
    const int rescansAfterBuild = d.index.rescans();
    PickStats stats;
    const PickResult r = pointSearch(d.doc, d.model(), d.index, {123.25, 77.0}, 0.1, &stats);
    ASSERT_TRUE(r.found());
    EXPECT_EQ(r.position, 77 * 400 + 123);
    EXPECT_LE(stats.candidates, 4);
    EXPECT_EQ(d.index.lastCandidates(), stats.candidates);
    const std::vector<QString> w =
        windowSelect(d.doc, d.model(), d.index, {10, 10, 13.9, 11.5}, &stats);
    EXPECT_EQ(w.size(), 8u);  // x 10..13 on rows 10 and 11
    EXPECT_LE(stats.candidates, 8);
    crossingSelect(d.doc, d.model(), d.index, {10, 10, 13.9, 11.5}, &stats);
    EXPECT_LE(stats.candidates, 12);
    // Entities looked up by remembered draw positions, not by passes over the drawing.
    EXPECT_EQ(d.index.rescans(), rescansAfterBuild);

    // Entities appended lately are found without a pass, the first of several too (a cable
    // and then its texts); erasing one from the middle costs one.
    const QString extra = d.addIndexed(Entity::circle({-5, -5}, 1));
    for (int i = 0; i < 3; ++i) d.addIndexed(Entity::point({-20.0 - i, -20}));
    EXPECT_EQ(d.pick({-4, -5}).handle, extra);
    EXPECT_EQ(d.index.rescans(), rescansAfterBuild);
    const QString gone = d.model().entities[1000].handle;
    d.doc.erase(gone);
    EXPECT_TRUE(d.index.remove(gone));
    EXPECT_FALSE(d.index.remove(gone));
    const PickResult after = pointSearch(d.doc, d.model(), d.index, {123.25, 77.0}, 0.1);
    EXPECT_EQ(after.position, 77 * 400 + 123 - 1);
    EXPECT_LE(d.index.rescans(), rescansAfterBuild + 1);
}

// Draw positions remembered from one pass over the space order a search's entities without
// reading them. When the space has changed behind the index's back they are read again, an
// entity erased without a word to the index is not found, and one the index is told has
// changed is placed anew.
TEST(CadSpatialIndex, RememberedPlacesGoneStale) {
    Drawing d;
    for (int i = 0; i < 50; ++i) d.add(Entity::line({double(i), 10}, {double(i), 20}));
    const QString low = d.add(Entity::line({0, 0}, {100, 0}));
    const QString mid = d.add(Entity::line({50, -5}, {50, 5}));
    const QString high = d.add(Entity::line({40, -5}, {60, 5}));
    d.add(Entity::circle({200, 0}, 1));
    d.reindex();
    const int rescans = d.index.rescans();
    EXPECT_EQ(d.pick({50, 0}).position, 52);
    EXPECT_EQ(d.index.rescans(), rescans);

    d.doc.erase(d.model().entities[3].handle);
    d.doc.erase(d.model().entities[7].handle);
    const PickResult shifted = d.pick({50, 0});
    EXPECT_EQ(shifted.handle, high);
    EXPECT_EQ(shifted.position, 50);
    EXPECT_EQ(d.index.rescans(), rescans + 1);

    d.doc.erase(high);
    EXPECT_EQ(d.pick({50, 0}).handle, mid);

    // Taken to the top of the draw order under its own handle.
    Entity moved = *d.doc.find(low);
    d.doc.erase(low);
    ASSERT_EQ(d.doc.addToModel(moved).handle, low);
    d.index.update(d.doc, d.model().entities.back());
    const PickResult top = d.pick({50, 0});
    EXPECT_EQ(top.handle, low);
    EXPECT_EQ(top.position, int(d.model().entities.size()) - 1);
}

// Far from the origin single precision cannot tell points apart that the pieces' own
// coordinates can: the boxes the index reads first must still take in every piece a pass over
// the space finds, to the last bit of the aperture, and a window just holding a long tilted
// line (indexed in parts whose boxes are widened for rounding) must still select it.
TEST(CadSpatialIndex, FarFromTheOriginToTheLastBit) {
    Drawing d;
    const QPointF o(3.1e6, -7.7e6);
    std::mt19937 random(5);
    std::uniform_real_distribution<double> at(0.0, 50.0), turn(0.0, 360.0);
    for (int i = 0; i < 300; ++i) {
        const QPointF p = o + QPointF(at(random), at(random));
        if (i % 5 == 0) {
            d.add(Entity::line(p, p + QPointF(at(random) - 25, at(random) - 25)));
        } else if (i % 5 == 1) {
            d.add(Entity::line(p, p + QPointF(at(random) * 3, 0)));
        } else if (i % 5 == 2) {
            Entity text = Entity::textAt(p, QStringLiteral("T-1"), 0.8);
            text.rotation = turn(random);
            d.add(text);
        } else if (i % 5 == 3) {
            d.add(Entity::arc(p, at(random) / 5 + 0.5, turn(random), turn(random)));
        } else {
            d.add(Entity::point(p));
        }
    }
    d.reindex();
    const double aperture = 0.01;
    int found = 0;
    for (const Entity& e : std::vector<Entity>(d.model().entities)) {
        for (const Prim& piece : primitives(d.doc, e)) {
            std::vector<QPointF> ends{piece.a, piece.b};
            if (piece.kind == Prim::TextBox) ends.assign(piece.q.begin(), piece.q.end());
            for (QPointF end : ends) {
                for (QPointF step : {QPointF(aperture, 0), QPointF(0, -aperture),
                                     QPointF(aperture, aperture) * std::sqrt(0.5)})
                    found += d.pick(end + step, aperture).found();
            }
        }
    }
    EXPECT_GT(found, 2000);

    const QString tilted = d.addIndexed(Entity::line(o - QPointF(100, 100), o - QPointF(10, 37)));
    const BBox just = boundingBox(d.doc, *d.doc.find(tilted));
    EXPECT_EQ(windowSelect(d.doc, d.model(), d.index, just), std::vector<QString>{tilted});
    d.reindex();
    EXPECT_EQ(windowSelect(d.doc, d.model(), d.index, just), std::vector<QString>{tilted});
}

// Pieces of any size, however far apart, are indexed and found like the rest.
TEST(CadSpatialIndex, PiecesBeyondAllMeasure) {
    Drawing d;
    const QString across = d.add(Entity::line({-1e150, 1}, {1e150, 1}));
    const QString far = d.add(Entity::circle({1e15, -1e15}, 1));
    std::vector<QString> posts;
    for (int i = 1; i <= 100; ++i)
        posts.push_back(d.add(Entity::line({double(i), 0}, {double(i), 2})));
    d.reindex();
    EXPECT_EQ(d.pick({1e15 + 1, -1e15}).handle, far);
    EXPECT_EQ(d.pick({0, 1.05}).handle, across);
    EXPECT_EQ(d.pick({50, 1.5}).handle, posts[49]);
    const BBox box{9.5, 0.5, 11.5, 1.5};
    const std::vector<QString> crossing = crossingSelect(d.doc, d.model(), d.index, box);
    EXPECT_EQ(crossing, crossingSelect(d.doc, d.model(), box));
    EXPECT_EQ(std::count(crossing.begin(), crossing.end(), posts[9]), 1);
    EXPECT_EQ(d.index.bounds().x1, 1e150);
}

// The index must give exactly the answers a pass over the whole space gives, on a drawing of
// every kind of piece piled densely enough that boxes overlap (long runs indexed in parts,
// tilted lines, turned text and arcs kept beside their boxes among them), and keep doing so
// while entities are added, changed and erased one by one (as commands and undo do) in numbers
// that make it reorganise itself.
TEST(CadSpatialIndex, AnswersAsAPassOverTheSpaceWhileEdited) {
    Drawing d;
    Block& block = d.doc.addBlock(QStringLiteral("EQ"));
    d.doc.add(block, Entity::rect({0, 0}, {6, 3}));
    d.doc.add(block, Entity::circle({5, 1}, 0.5));
    std::mt19937 random(11);
    std::uniform_real_distribution<double> at(0.0, 100.0), small(0.2, 8.0);
    const auto next = [&] { return randomEntity(random, at, small); };
    for (int i = 0; i < 3000; ++i) d.add(next());
    d.reindex();

    const auto compare = [&](const char* when) {
        SCOPED_TRACE(when);
        EXPECT_EQ(d.index.size(), int(d.model().entities.size()));
        BBox extents;
        for (const Entity& e : d.model().entities) extents.add(boundingBox(d.doc, e));
        expectBox(d.index.bounds(), extents.x0, extents.y0, extents.x1, extents.y1);
        expectAnswersAsAPass(d, random, 100, 0.6, 300, 40);
    };
    compare("built");
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 1500; ++i) d.addIndexed(next());
        for (int i = 0; i < 600; ++i) {
            Entity& e = d.model().entities[random() % d.model().entities.size()];
            if (e.kind == EntityKind::Line) e.end = e.start + QPointF(at(random) / 10, 1);
            if (e.kind == EntityKind::Circle) e.radius = small(random);
            d.index.update(d.doc, e);
        }
        for (int i = 0; i < 700; ++i) {
            const QString gone = d.model().entities[random() % d.model().entities.size()].handle;
            ASSERT_TRUE(d.doc.erase(gone));
            ASSERT_TRUE(d.index.remove(gone));
        }
        compare("edited");
    }
    // Emptied, then filled again from nothing.
    while (!d.model().entities.empty()) d.eraseIndexed(d.model().entities.back().handle);
    EXPECT_EQ(d.index.size(), 0);
    EXPECT_FALSE(d.index.bounds().isValid());
    EXPECT_TRUE(d.index.keysNear({50, 50}, 200).empty());
    for (int i = 0; i < 500; ++i) d.addIndexed(next());
    compare("refilled");
}

// An entity without extent when the index was built (a run not yet given its vertices) is
// indexed where it is once it has some, and found only where it is after it moves again.
TEST(CadSpatialIndex, ExtentGivenAfterTheBuild) {
    Drawing d;
    for (int i = 0; i < 20; ++i) d.add(Entity::line({double(i), 0}, {double(i), 1}));
    const QString run = d.add(Entity::polyline(QList<Vertex>(), false));
    d.reindex();
    EXPECT_EQ(d.index.size(), 20);
    d.doc.find(run)->vertices = {{{50, 50}, 0}, {{60, 50}, 0}};
    d.index.update(d.doc, *d.doc.find(run));
    EXPECT_EQ(d.pick({55, 50}).handle, run);
    d.doc.find(run)->vertices = {{{50, 80}, 0}, {{60, 80}, 0}};
    d.index.update(d.doc, *d.doc.find(run));
    EXPECT_FALSE(d.pick({55, 50}).found());
    EXPECT_TRUE(d.index.keysNear({55, 50}, 0.1).empty());
    EXPECT_EQ(d.pick({55, 80}).handle, run);
    EXPECT_EQ(d.index.size(), 21);
}

// The packed tree orders its pieces along the curve whatever their places: many pieces on
// one place (the sort has nothing to tell apart), places that differ only in their highest
// or lowest bits, and the topmost of the entities on one place found as a pass finds it.
TEST(CadSpatialIndex, PackedOrderKeepsEveryPiece) {
    Drawing d;
    for (int i = 0; i < 6000; ++i) d.add(Entity::point({5, 5}));
    const QString top = d.add(Entity::point({5, 5}));
    for (int i = 0; i < 6000; ++i) {
        // Spread over the whole range and bunched near the origin.
        const double x = (i % 2) ? i * 1000.0 : i * 1e-3;
        d.add(Entity::line({x, -x}, {x + 0.25, -x}));
    }
    d.reindex();
    EXPECT_EQ(d.index.size(), 12001);
    EXPECT_EQ(d.pick({5, 5}).handle, top);
    for (int i : {0, 1, 2, 1001, 4095, 4096, 5998, 5999}) {
        const double x = (i % 2) ? i * 1000.0 : i * 1e-3;
        const PickResult r = d.pick({x + 0.125, -x}, 1e-4);
        ASSERT_TRUE(r.found()) << i;
        EXPECT_EQ(r.position, 6001 + i) << i;
    }
    EXPECT_EQ(windowSelect(d.doc, d.model(), d.index, BBox::of({4, 4}, {6, 6})).size(), 6001u);
}

// Built in turns and packed on another thread: it gives exactly the answers a pass over the
// space gives, those of the changes it was told of while it built included (added, changed,
// erased, and erased then restored, while the space was being taken and after), and none of a
// change made to an entity after the build took it that it was not told of. How far the build
// has gone is set by counting its turns, never by the time they take.
TEST(CadSpatialIndex, BuiltOnAnotherThreadAnswersAsAPassOverTheSpace) {
    Drawing d;
    Block& block = d.doc.addBlock(QStringLiteral("EQ"));
    d.doc.add(block, Entity::rect({0, 0}, {6, 3}));
    std::mt19937 random(23);
    std::uniform_real_distribution<double> at(0.0, 200.0), small(0.2, 6.0);
    const auto next = [&] { return randomEntity(random, at, small); };
    for (int i = 0; i < 16000; ++i) d.add(next());
    const auto compare = [&](const char* when) {
        SCOPED_TRACE(when);
        EXPECT_EQ(d.index.size(), int(d.model().entities.size()));
        expectAnswersAsAPass(d, random, 200, 0.8, 40, 10);
    };

    // Changes of every kind, told of as they are made.
    std::vector<QString> added;
    const auto edit = [&](int count) {
        for (int i = 0; i < count; ++i) added.push_back(d.addIndexed(next()));
        for (int i = 0; i < count; ++i) {
            Entity& e = d.model().entities[random() % d.model().entities.size()];
            e.start += QPointF(small(random), -small(random));
            e.end += QPointF(small(random), 0);
            d.index.update(d.doc, e);
        }
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(
                d.eraseIndexed(d.model().entities[random() % d.model().entities.size()].handle));
    };

    // The build takes the space a slice at a time: one when it starts, one for each turn of
    // no time, so that it is still taking the space after ten (a slice is a few hundred
    // entities), however fast the machine.
    d.index.buildLater(d.doc, d.model());
    EXPECT_FALSE(d.index.ready());
    d.index.startBuilding();
    for (int turn = 0; turn < 9; ++turn) EXPECT_FALSE(d.index.readyWithin(0));
    edit(300);
    // Erased and put back under its handle, on top.
    const auto kept = std::find_if(added.begin(), added.end(),
                                   [&](const QString& h) { return d.doc.find(h) != nullptr; });
    ASSERT_NE(kept, added.end());
    const Entity back = *d.doc.find(*kept);
    d.eraseIndexed(*kept);
    d.addIndexed(back);
    EXPECT_FALSE(d.index.ready());  // until the build is taken in
    d.index.complete();
    EXPECT_TRUE(d.index.ready());
    compare("built while edited");
    EXPECT_TRUE(d.index.contains(*kept));

    // Edited again once the whole space is taken: while the other thread packs it or after it
    // is taken in, whichever the machine makes of the turns, the answers are the same.
    d.index.buildLater(d.doc, d.model());
    d.index.startBuilding();
    for (int turn = 0; turn < 80; ++turn) {
        d.index.readyWithin(0);
        if (turn >= 70) edit(10);  // the space is taken after 64 slices at most
    }
    d.index.complete();
    compare("built, edited while packed");

    // A line moved after the build took it, without a word to the index, is still where the
    // build had it; told of, it is found where it is. First in the space, it is taken in the
    // first turn.
    const QString moved = d.add(Entity::line({500, 500}, {501, 500}));
    std::rotate(d.model().entities.begin(), d.model().entities.end() - 1, d.model().entities.end());
    d.index.buildLater(d.doc, d.model());
    d.index.startBuilding();
    d.doc.find(moved)->start = {600, 600};
    d.doc.find(moved)->end = {601, 600};
    d.index.complete();
    const auto near = [&](QPointF p) {
        const std::vector<QString> found = d.index.queryPoint(p, 0.1);
        return std::find(found.begin(), found.end(), moved) != found.end();
    };
    EXPECT_TRUE(near({500.5, 500}));
    EXPECT_FALSE(near({600.5, 600}));
    d.index.update(d.doc, *d.doc.find(moved));
    EXPECT_FALSE(near({500.5, 500}));
    EXPECT_TRUE(near({600.5, 600}));
    compare("moved");

    // The first paint's extents take the whole space in: they are a pass's, to the last bit,
    // and picks before the packing is taken in go over the boxes taken, answering as a pass
    // does. A change told of ends that (the built index answers); with a layer frozen the
    // extents are left to a pass.
    const auto sameBox = [](const BBox& a, const BBox& b) {
        return a.x0 == b.x0 && a.y0 == b.y0 && a.x1 == b.x1 && a.y1 == b.y1;
    };
    d.index.buildLater(d.doc, d.model());
    EXPECT_TRUE(sameBox(spaceExtents(d.doc, d.model(), &d.index), spaceExtents(d.doc, d.model())));
    EXPECT_TRUE(d.index.searchableNow());
    EXPECT_FALSE(d.index.ready());  // the search below is the one over the boxes taken
    expectAnswersAsAPass(d, random, 200, 0.8, 40, 0);
    edit(5);
    EXPECT_FALSE(d.index.searchableNow());
    compare("taken for the extents, then edited");
    d.doc.addLayer(
        Layer{QStringLiteral("Frozen"), 1, QStringLiteral("CONTINUOUS"), true, true, false});
    d.model().entities.front().layer = QStringLiteral("Frozen");
    d.index.buildLater(d.doc, d.model());
    EXPECT_FALSE(d.index.extentsWhileBuilding(d.model()).has_value());
    d.index.complete();

    // Most of the space erased while it is still being taken: the build ends where the
    // space does.
    d.index.buildLater(d.doc, d.model());
    d.index.startBuilding();
    while (d.model().entities.size() > 500) d.eraseIndexed(d.model().entities.back().handle);
    d.index.complete();
    compare("mostly erased");

    // Dropped while building: built again at once, and a space gone meanwhile leaves it
    // empty.
    d.index.buildLater(d.doc, d.model());
    d.index.startBuilding();
    d.reindex();
    compare("built again");
    Space& sheet = d.doc.addLayout(QStringLiteral("Sheet"));
    d.doc.add(sheet, Entity::line({0, 0}, {1, 1}));
    SpatialIndex ofSheet;
    ofSheet.buildLater(d.doc, d.doc.layouts().back());
    d.doc.layouts().pop_back();
    ofSheet.startBuilding();
    ofSheet.complete();
    EXPECT_EQ(ofSheet.size(), 0);
}

// Random entities of every kind a whole-space search measures by boxes read off the entity:
// bulges past a half turn, closed runs, ellipses, texts of every alignment in a wide style or
// with the style's height, inserts turned, mirrored, stretched and nested, far from the
// origin too.
struct Assorted {
    Document doc;
    std::mt19937 random{29};
    std::uniform_real_distribution<double> unit{0.0, 1.0};

    explicit Assorted(double origin) {
        doc.addTextStyle(TextStyle{QStringLiteral("WIDE"), QStringLiteral("txt"), 0.0, 3.0});
        doc.addTextStyle(TextStyle{QStringLiteral("TALL"), QStringLiteral("txt"), 4.0, 0.5});
        Block& inner = doc.addBlock(QStringLiteral("INNER"), {1, 1});
        doc.add(inner, Entity::arc({2, 2}, 3.0, 200.0, 20.0));
        doc.add(inner, Entity::textAt({0, 5}, QStringLiteral("IN"), 1.0));
        Block& outer = doc.addBlock(QStringLiteral("OUTER"), {-2, 3});
        doc.add(outer, Entity::rect({0, 0}, {6, 3}));
        doc.add(outer, Entity::insert(QStringLiteral("INNER"), {8, 1}, 2.0, 0.5, 30.0));
        doc.add(outer, Entity::attributeDefinition({0, 9}, QStringLiteral("TAG"),
                                                   QStringLiteral("tag"), QString(), 40.0));
        for (int i = 0; i < 2000; ++i) doc.addToModel(next(origin));
    }

    double in(double lo, double hi) { return lo + (hi - lo) * unit(random); }
    QPointF near(double origin) { return {origin + in(0, 200), origin + in(0, 200)}; }

    Entity text(QPointF at, EntityKind kind) {
        Entity t = Entity::textAt(at, QStringLiteral("T").repeated(int(random() % 12)), in(0, 3));
        t.kind = kind;
        t.rotation = in(-360, 360);
        t.hAlign = int(random() % 6);
        t.vAlign = int(random() % 4);
        t.end = at + QPointF(in(-20, 20), in(-20, 20));
        if (random() % 4 == 0) t.end = t.start;
        const char* styles[] = {"Standard", "WIDE", "TALL", "MISSING"};
        t.style = QString::fromLatin1(styles[random() % 4]);
        return t;
    }

    Entity next(double origin) {
        const QPointF p = near(origin);
        switch (random() % 8) {
            case 0:
                return Entity::line(p, near(origin));
            case 1: {
                QList<Vertex> vertices;
                for (int k = int(random() % 5) + 1; k > 0; --k)
                    vertices.append({near(origin), random() % 2 ? in(-6, 6) : 0.0});
                return Entity::polyline(vertices, random() % 2);
            }
            case 2:
                return random() % 2 ? Entity::circle(p, in(0, 30))
                                    : Entity::arc(p, in(0, 30), in(0, 360), in(0, 360));
            case 3:
                return Entity::ellipse(p, {in(-30, 30), in(-30, 30)}, in(0.1, 1), in(0, 6.3),
                                       in(0, 6.3));
            case 4:
                return Entity::point(p);
            case 5:
                return text(p, random() % 2 ? EntityKind::Text : EntityKind::AttributeDefinition);
            default: {
                const bool outer = random() % 3;
                Entity ins =
                    Entity::insert(QString::fromLatin1(outer ? "outer" : "INNER"), p, in(-3, 3),
                                   random() % 2 ? in(-3, 3) : 1.0, in(-360, 360));
                for (int k = int(random() % 3); k > 0; --k)
                    ins.attributes.push_back(text(p, EntityKind::Attribute));
                return ins;
            }
        }
    }
};

// The boxes hold every piece of their entity, and a search over the whole space by them
// answers as the index does, to the edge of the aperture.
TEST(CadPicking, QuickExtentsHoldEveryPieceAndSearchAsTheIndex) {
    for (double origin : {0.0, 1e7}) {
        SCOPED_TRACE(origin);
        Assorted a(origin);
        const Space& space = a.doc.modelSpace();
        QuickExtents quick(a.doc);
        std::map<EntityKind, int> covered;
        for (const Entity& e : space.entities) {
            BBox box;
            if (!quick.around(e, &box)) continue;
            ++covered[e.kind];
            for (const Prim& p : primitives(a.doc, e))
                ASSERT_TRUE(box.contains(boundingBox(p)))
                    << int(e.kind) << " " << e.handle.toString().toStdString();
        }
        EXPECT_EQ(covered.size(), 9u);  // every kind made above

        SpatialIndex index;
        index.build(a.doc, space);
        const PickFilter texts = ofKind(EntityKind::Text);
        int found = 0;
        for (int i = 0; i < 400; ++i) {
            // Just within the aperture of a piece's far point: the piece's entity counts.
            const Entity& e = space.entities[a.random() % space.entities.size()];
            const std::vector<Prim> pieces = primitives(a.doc, e);
            if (pieces.empty()) continue;
            const BBox b = boundingBox(pieces[a.random() % pieces.size()]);
            const double aperture = a.in(0.01, 2.0);
            const double toward = a.in(0, 6.3);
            const QPointF p = QPointF(a.random() % 2 ? b.x0 : b.x1, a.random() % 2 ? b.y0 : b.y1) +
                              QPointF(std::cos(toward), std::sin(toward)) * aperture * 0.999;
            for (const PickFilter& w : {PickFilter(), texts}) {
                const PickResult viaIndex =
                    pointSearch(a.doc, space, index, p, aperture, nullptr, w);
                const PickResult all = pointSearch(a.doc, space, p, aperture, w);
                ASSERT_EQ(viaIndex.handle, all.handle) << i;
                ASSERT_EQ(viaIndex.insertHandle, all.insertHandle);
                ASSERT_EQ(viaIndex.position, all.position);
                ASSERT_EQ(viaIndex.distance, all.distance);
                found += all.found();
            }
        }
        EXPECT_GT(found, 300);  // the searches met something, most of them
    }
    // The kinds measured only by their pieces, and what has nothing to measure.
    Document doc;
    QuickExtents quick(doc);
    BBox box;
    EXPECT_FALSE(quick.around(Entity::linearDimension({0, 0}, {5, 0}, {0, 2}, 0), &box));
    EXPECT_FALSE(quick.around(Entity::polyline({}, false), &box));
}
