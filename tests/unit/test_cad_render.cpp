// The drawing engine's screen output: the colour palette and its resolution through layers
// and inserts, the view transform with its zooms, pixels the renderer paints (colours,
// hidden layers, dashes, text in its picking box, grips, the index path against a full
// pass) and the image and PDF files it writes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPaintEngine>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>

#include "cad/colors.h"
#include "cad/dxf.h"
#include "cad/picking.h"
#include "cad/pictures.h"
#include "cad/render.h"

using namespace tolvane::cad;

namespace {

// Colours without their alpha, as at() reads them.
QRgb rgb(int r, int g, int b) {
    return qRgb(r, g, b) & 0xffffff;
}

// A 200 x 200 pixel view of the world square 0..100: two pixels per unit, y up.
View squareView() {
    return View(QSize(200, 200), QPointF(50, 50), 2.0);
}

QImage render(const Document& doc, const View& view, RenderOptions options = {},
              const SpatialIndex* index = nullptr, RenderStats* stats = nullptr) {
    QImage image(view.size(), QImage::Format_RGB32);
    image.fill(options.background);
    QPainter p(&image);
    renderSpace(p, doc, doc.modelSpace(), view, options, index, stats);
    return image;
}

// A drawing with layers A (red) and B (green) and a block BOX (a rectangle with an arc side).
Document layersAndABox() {
    Document doc;
    doc.addLayer(Layer{QStringLiteral("A"), 1});
    doc.addLayer(Layer{QStringLiteral("B"), 3});
    doc.addBlock(QStringLiteral("BOX"));
    doc.add(*doc.block(QStringLiteral("BOX")),
            Entity::polyline({{{0, 0}}, {{4, 0}, 0.5}, {{4, 3}}, {{0, 3}}}, true));
    return doc;
}

int countPixels(const QImage& image, QRgb color) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xffffff) == (color & 0xffffff);
    return n;
}

QRgb at(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xffffff;
}

// `e` in the colour `color`.
Entity coloured(Entity e, int color) {
    e.color = color;
    return e;
}

// A picture of 4 x 2 pixels in one colour (0, 128, 255), saved at `path`.
QString savedPicture(const QString& path) {
    QImage picture(4, 2, QImage::Format_RGB32);
    picture.fill(qRgb(0, 128, 255));
    EXPECT_TRUE(picture.save(path));
    return path;
}

// A 200 x 200 pixel device that keeps vectors, as a PDF or a printer does: it notes what it
// is asked to draw, with the pen's colour and the transform of the moment.
class Recorder : public QPaintDevice, public QPaintEngine {
  public:
    struct Call {
        char what;  // 'p'ath, 'l'ines, 't'ext
        QRgb rgb;
        QTransform transform;
        QList<QPointF> points;  // of a path
        QString text;           // of a text Qt has shaped itself
    };
    std::vector<Call> calls;

    Recorder() : QPaintEngine(QPaintEngine::AllFeatures) {}
    QPaintEngine* paintEngine() const override { return const_cast<Recorder*>(this); }
    int metric(PaintDeviceMetric m) const override {
        if (m == PdmWidth || m == PdmHeight) return 200;
        if (m == PdmDpiX || m == PdmDpiY || m == PdmPhysicalDpiX || m == PdmPhysicalDpiY) return 96;
        if (m == PdmDevicePixelRatioScaled) return int(devicePixelRatioFScale());
        return m == PdmDepth ? 32 : 1;
    }
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }
    void updateState(const QPaintEngineState& s) override {
        if (s.state() & DirtyPen) pen_ = s.pen();
        if (s.state() & DirtyTransform) transform_ = s.transform();
    }
    void drawPath(const QPainterPath& path) override {
        QList<QPointF> points;
        for (int i = 0; i < path.elementCount(); ++i) points << QPointF(path.elementAt(i));
        calls.push_back({'p', pen_.color().rgb() & 0xffffff, transform_, points, {}});
    }
    void drawLines(const QLineF*, int) override {
        calls.push_back({'l', pen_.color().rgb() & 0xffffff, transform_, {}, {}});
    }
    void drawTextItem(const QPointF&, const QTextItem& item) override {
        calls.push_back({'t', pen_.color().rgb() & 0xffffff, transform_, {}, item.text()});
    }
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}

  private:
    QPen pen_;
    QTransform transform_;
};

}  // namespace

TEST(CadColors, PaletteRows) {
    const struct {
        int index;
        QRgb rgb;
    } rows[] = {
        {1, rgb(255, 0, 0)},       {10, rgb(255, 0, 0)},      {2, rgb(255, 255, 0)},
        {50, rgb(255, 255, 0)},    {3, rgb(0, 255, 0)},       {90, rgb(0, 255, 0)},
        {4, rgb(0, 255, 255)},     {130, rgb(0, 255, 255)},   {5, rgb(0, 0, 255)},
        {170, rgb(0, 0, 255)},     {6, rgb(255, 0, 255)},     {210, rgb(255, 0, 255)},
        {7, rgb(0, 0, 0)},         {8, rgb(140, 140, 140)},   {9, rgb(63, 63, 63)},
        {11, rgb(255, 130, 127)},  {12, rgb(165, 8, 0)},      {13, rgb(165, 89, 82)},
        {14, rgb(127, 12, 0)},     {20, rgb(255, 63, 0)},     {21, rgb(255, 162, 127)},
        {240, rgb(255, 0, 63)},    {241, rgb(255, 127, 156)}, {30, rgb(255, 127, 0)},
        {15, rgb(127, 63, 63)},    {19, rgb(38, 19, 19)},     {250, rgb(95, 95, 95)},
        {251, rgb(127, 127, 127)}, {252, rgb(159, 159, 159)}, {253, rgb(191, 191, 191)},
        {254, rgb(223, 223, 223)}, {255, rgb(255, 255, 255)}, {0, rgb(0, 0, 0)},
        {256, rgb(0, 0, 0)},       {-3, rgb(0, 0, 0)},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(indexColor(r.index).rgb() & 0xffffff, r.rgb & 0xffffff) << "index " << r.index;
        EXPECT_EQ(indexRgb(r.index) & 0xffffff, r.rgb & 0xffffff) << "index " << r.index;
    }
}

TEST(CadColors, ResolutionAndContrast) {
    EXPECT_EQ(resolveColor(kColorByLayer, 3), 3);
    EXPECT_EQ(resolveColor(kColorByLayer, -5), 5);  // a layer switched off keeps its colour
    EXPECT_EQ(resolveColor(kColorByBlock, 3, 6), 6);
    EXPECT_EQ(resolveColor(kColorByBlock, 3), 7);  // by block outside any block
    EXPECT_EQ(resolveColor(42, 3, 6), 42);
    EXPECT_EQ(screenColor(7, Qt::black), QColor(Qt::white));
    EXPECT_EQ(screenColor(7, QColor(240, 240, 230)), QColor(Qt::black));
    EXPECT_EQ(screenColor(7, QColor(0, 0, 160)), QColor(Qt::white));
    EXPECT_EQ(screenColor(1, Qt::white), QColor(255, 0, 0));
}

TEST(CadView, MappingAndZoomAboutAPoint) {
    View v = squareView();
    EXPECT_EQ(v.toDevice(QPointF(50, 50)), QPointF(100, 100));
    EXPECT_EQ(v.toDevice(QPointF(0, 100)), QPointF(0, 0));  // y up in the world
    EXPECT_EQ(v.transform().map(QPointF(25, 75)), v.toDevice(QPointF(25, 75)));
    const BBox visible = v.visibleBox();
    EXPECT_DOUBLE_EQ(visible.x0, 0);
    EXPECT_DOUBLE_EQ(visible.y1, 100);

    const QPointF device(30, 170);
    const QPointF world = v.toWorld(device);
    v.zoomAt(3.0, device);
    EXPECT_DOUBLE_EQ(v.scale(), 6.0);
    EXPECT_NEAR(v.toDevice(world).x(), device.x(), 1e-9);
    EXPECT_NEAR(v.toDevice(world).y(), device.y(), 1e-9);
    v.zoomAt(0.25, QPointF(190, 5));
    EXPECT_NEAR(v.toDevice(v.toWorld(QPointF(190, 5))).x(), 190, 1e-9);

    // Pan: the drawing follows the pointer.
    View p = squareView();
    p.panDevice(QPointF(20, -10));
    EXPECT_EQ(p.toDevice(QPointF(50, 50)), QPointF(120, 90));
    p.panWorld(QPointF(5, 0));
    EXPECT_EQ(p.toDevice(QPointF(55, 50)), QPointF(120, 90));
}

TEST(CadView, ExtentsAllWindowAndPrevious) {
    View v(QSize(400, 200), QPointF(), 1.0);
    EXPECT_FALSE(v.zoomExtents(BBox()));  // nothing drawn: no extents
    EXPECT_FALSE(v.hasPrevious());

    EXPECT_TRUE(v.zoomExtents(BBox{100, 100, 300, 150}));
    // Width limits: 200 units across 400 * (1 - 2 margin) pixels, centred.
    EXPECT_NEAR(v.scale(), 400 * (1 - 2 * View::kExtentsMargin) / 200, 1e-12);
    EXPECT_EQ(v.centre(), QPointF(200, 125));
    const BBox seen = v.visibleBox();
    EXPECT_TRUE(seen.contains(BBox{100, 100, 300, 150}));
    EXPECT_LT(seen.x1 - seen.x0, 200 * 1.1);

    const double extentsScale = v.scale();
    EXPECT_TRUE(v.zoomAll(BBox{100, 100, 300, 150}, BBox{0, 0, 420, 297}));
    EXPECT_TRUE(v.visibleBox().contains(BBox{0, 0, 420, 297}));
    EXPECT_TRUE(v.zoomWindow(BBox::of(QPointF(10, 10), QPointF(30, 20))));
    EXPECT_DOUBLE_EQ(v.scale(), 20.0);  // 20 x 10 units into 400 x 200 pixels
    EXPECT_FALSE(v.zoomWindow(BBox::of(QPointF(10, 10), QPointF(10, 10))));

    // Previous walks back: window, all, extents, the first view; then there is none.
    EXPECT_TRUE(v.zoomPrevious());
    EXPECT_TRUE(v.visibleBox().contains(BBox{0, 0, 420, 297}));
    EXPECT_TRUE(v.zoomPrevious());
    EXPECT_DOUBLE_EQ(v.scale(), extentsScale);
    EXPECT_TRUE(v.zoomPrevious());
    EXPECT_DOUBLE_EQ(v.scale(), 1.0);
    EXPECT_EQ(v.centre(), QPointF());
    EXPECT_FALSE(v.zoomPrevious());

    // A pan drag records one view, not one per step.
    v.panDevice(QPointF(3, 0));
    v.panDevice(QPointF(3, 0), false);
    v.panDevice(QPointF(3, 0), false);
    EXPECT_TRUE(v.zoomPrevious());
    EXPECT_EQ(v.centre(), QPointF());
    EXPECT_FALSE(v.zoomPrevious());
}

TEST(CadRender, LayerColourAndHiddenLayers) {
    Document doc;
    doc.addLayer(Layer{QStringLiteral("CBL_AUDIO"), 1});
    Entity line = Entity::line({10, 50}, {90, 50});
    line.layer = QStringLiteral("CBL_AUDIO");
    doc.addToModel(line);

    const QImage shown = render(doc, squareView());
    const QRgb red = rgb(255, 0, 0);
    // World y 50 is device row 100; x 10..90 are columns 20..180.
    for (int x : {22, 60, 100, 178}) EXPECT_EQ(at(shown, x, 100), red) << x;
    EXPECT_EQ(at(shown, 100, 90), 0u);
    EXPECT_EQ(at(shown, 10, 100), 0u);
    EXPECT_GT(countPixels(shown, red), 150);

    doc.layer(QStringLiteral("CBL_AUDIO"))->on = false;
    EXPECT_EQ(countPixels(render(doc, squareView()), red), 0);
    doc.layer(QStringLiteral("CBL_AUDIO"))->on = true;
    doc.layer(QStringLiteral("CBL_AUDIO"))->frozen = true;
    EXPECT_EQ(countPixels(render(doc, squareView()), red), 0);
}

TEST(CadRender, ByBlockColourThroughNestedInserts) {
    Document doc;
    doc.add(doc.addBlock(QStringLiteral("ARM")),
            coloured(Entity::line({0, 0}, {10, 0}), kColorByBlock));
    doc.add(doc.addBlock(QStringLiteral("RACK")),
            coloured(Entity::insert(QStringLiteral("ARM"), {0, 0}), kColorByBlock));

    // Rotated a quarter turn and doubled: the arm runs from (50,20) up to (50,40).
    doc.addToModel(coloured(Entity::insert(QStringLiteral("ARM"), {50, 20}, 2.0, 2.0, 90.0), 3));
    // The same arm one level deeper takes the outer insert's colour.
    doc.addToModel(coloured(Entity::insert(QStringLiteral("RACK"), {20, 70}), 5));

    const QImage image = render(doc, squareView());
    EXPECT_EQ(at(image, 100, 200 - 2 * 30), rgb(0, 255, 0));  // world (50,30)
    EXPECT_EQ(at(image, 100, 200 - 2 * 38), rgb(0, 255, 0));
    EXPECT_EQ(at(image, 110, 200 - 2 * 30), 0u);             // not drawn along x
    EXPECT_EQ(at(image, 50, 200 - 2 * 70), rgb(0, 0, 255));  // world (25,70)
    EXPECT_EQ(countPixels(image, rgb(255, 255, 255)), 0);    // nothing fell back to colour 7
}

TEST(CadRender, DashedLineHasGaps) {
    Document doc;
    doc.addLineType(LineType{QStringLiteral("DASHED"), QStringLiteral("__ __"), {10.0, -5.0}});
    doc.addLayer(Layer{QStringLiteral("L"), 1, QStringLiteral("DASHED")});
    Entity line = Entity::line({0, 50}, {100, 50});
    line.layer = QStringLiteral("L");
    doc.addToModel(line);

    // Dashes of 20 pixels and gaps of 10 along row 100.
    const QImage image = render(doc, squareView());
    int drawn = 0, gaps = 0, run = 0, longestGap = 0;
    for (int x = 0; x < 200; ++x) {
        const bool on = at(image, x, 100) != 0;
        drawn += on;
        if (!on) {
            ++run;
        } else {
            if (run > 0) ++gaps;
            longestGap = std::max(longestGap, run);
            run = 0;
        }
    }
    EXPECT_GE(gaps, 5);
    EXPECT_NEAR(longestGap, 10, 2);
    EXPECT_NEAR(drawn / 200.0, 2.0 / 3.0, 0.08);  // a dash covers both its end pixels

    // Seen from far away the pattern would be a blur of single pixels: drawn solid.
    View far(QSize(200, 200), QPointF(50, 50), 0.1);
    const QImage small = render(doc, far);
    int solid = 0;
    for (int x = 95; x <= 105; ++x) solid += at(small, x, 100) != 0;
    EXPECT_EQ(solid, 11);
}

// The user's curve resolution draws a circle in that many segments a turn (four: a square
// standing on its corner), and flat caps end a wide line where it ends.
TEST(CadRender, CurveResolutionAndPenCaps) {
    Document doc;
    doc.addToModel(Entity::circle({50, 50}, 40));  // 80 pixels round (100, 100)
    RenderOptions coarse;
    coarse.curveResolution = 4;
    const QImage fine = render(doc, squareView()), square = render(doc, squareView(), coarse);
    const auto litNear = [](const QImage& image, int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (at(image, x + dx, y + dy) != 0) return true;
        return false;
    };
    // At 45 degrees the circle passes 80 pixels out, the square's side 56.6 pixels out.
    EXPECT_TRUE(litNear(fine, 157, 43));
    EXPECT_FALSE(litNear(fine, 140, 60));
    EXPECT_FALSE(litNear(square, 157, 43));
    EXPECT_TRUE(litNear(square, 140, 60));

    Document wide;
    Entity line = Entity::line({20, 50}, {80, 50});  // ends at pixel 160 of row 100
    line.lineWeight = 211;
    wide.addToModel(line);
    RenderOptions flat;
    flat.flatCaps = true;
    const QImage rounded = render(wide, squareView()), cut = render(wide, squareView(), flat);
    int beyondRounded = 0, beyondFlat = 0;
    for (int x = 162; x < 180; ++x) {
        beyondRounded += at(rounded, x, 100) != 0;
        beyondFlat += at(cut, x, 100) != 0;
    }
    EXPECT_GT(beyondRounded, 0);
    EXPECT_EQ(beyondFlat, 0);
    EXPECT_NE(at(cut, 158, 100), 0u);
}

TEST(CadRender, TextStaysInsideItsPickingBox) {
    for (int hAlign : {0, 1, 2}) {
        Document doc;
        Entity text = Entity::textAt({20, 40}, QStringLiteral("HEADEND"), 8.0);
        text.rotation = 30;
        text.color = 2;
        text.hAlign = hAlign;
        text.end = {40, 40};
        doc.addToModel(text);
        const QImage image = render(doc, squareView());
        const View view = squareView();

        const Prim box = textBox(doc, text);
        QPolygonF quad;
        for (QPointF c : box.q) quad << view.toDevice(c);
        // Glyph pixels may sit on the box's edge: test the solid ones (not the faint edge
        // of smoothed glyphs) against the box grown by 1.5 px.
        const QPointF centre = (quad[0] + quad[2]) / 2;
        QPolygonF grown;
        for (QPointF c : quad) {
            const QPointF d = c - centre;
            grown << c + d * (1.5 / std::hypot(d.x(), d.y()) * std::sqrt(2.0));
        }
        int inside = 0, outside = 0;
        double minAlong = 1e9, maxAlong = -1e9;
        const double width = std::hypot((quad[1] - quad[0]).x(), (quad[1] - quad[0]).y());
        const QPointF along = (quad[1] - quad[0]) / width;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (qGreen(image.pixel(x, y)) < 128) continue;
                const QPointF p(x + 0.5, y + 0.5);
                if (grown.containsPoint(p, Qt::OddEvenFill)) {
                    ++inside;
                    const double s = QPointF::dotProduct(p - quad[0], along);
                    minAlong = std::min(minAlong, s);
                    maxAlong = std::max(maxAlong, s);
                } else {
                    ++outside;
                }
            }
        }
        EXPECT_GT(inside, 80) << "align " << hAlign;
        EXPECT_EQ(outside, 0) << "align " << hAlign;
        // The glyphs fill a good part of the box rather than a corner of it.
        EXPECT_GT(maxAlong - minAlong, 0.5 * width) << "align " << hAlign;
    }
}

TEST(CadRender, GripsPointsAndTinyText) {
    Document doc;
    const QString h = doc.addToModel(Entity::line({10, 10}, {90, 10})).handle;
    doc.addToModel(Entity::point({50, 80}));
    doc.addToModel(Entity::textAt({10, 60}, QStringLiteral("FAR"), 0.2));  // 0.4 px high
    RenderOptions o;
    o.selected = {h};
    o.gripSize = 3;
    o.pointSize = 5;
    RenderStats stats;
    const QImage image = render(doc, squareView(), o, nullptr, &stats);
    const QRgb grip = o.gripColor.rgb() & 0xffffff;
    // A grip square of 7 pixels on each end and the middle of the line (row 180).
    for (int x : {20, 100, 180}) {
        EXPECT_EQ(at(image, x - 3, 177), grip) << x;
        EXPECT_EQ(at(image, x + 3, 183), grip) << x;
    }
    EXPECT_EQ(at(image, 60, 177), 0u);
    // The point: a 5 pixel square in white (colour 7 on black).
    EXPECT_EQ(at(image, 102, 42), rgb(255, 255, 255));
    EXPECT_EQ(at(image, 104, 44), 0u);
    EXPECT_EQ(stats.texts, 0);
    EXPECT_EQ(stats.greeked, 1);
}

TEST(CadRender, IndexedViewMatchesAFullPass) {
    Document doc = layersAndABox();
    for (int i = 0; i < 400; ++i) {
        const double x = (i * 37) % 100, y = (i * 53) % 100;
        Entity e = i % 3 == 0   ? Entity::line({x, y}, {100 - y, x})
                   : i % 3 == 1 ? Entity::circle({x, y}, 1 + i % 5)
                                : Entity::insert(QStringLiteral("BOX"), {x, y}, 1, 1, i);
        e.layer = i % 2 ? QStringLiteral("A") : QStringLiteral("B");
        doc.addToModel(e);
    }
    SpatialIndex index;
    index.build(doc, doc.modelSpace());
    View zoomed(QSize(200, 200), QPointF(30, 60), 8.0);  // a small part of the drawing
    RenderStats viaIndex, full;
    const QImage a = render(doc, zoomed, {}, &index, &viaIndex);
    const QImage b = render(doc, zoomed, {}, nullptr, &full);
    EXPECT_TRUE(viaIndex.usedIndex);
    EXPECT_LT(viaIndex.entities, full.entities / 2);
    EXPECT_GT(countPixels(a, rgb(255, 0, 0)), 100);
    EXPECT_TRUE(a == b);
    // Seen whole, the index is not worth asking.
    RenderStats whole;
    render(doc, squareView(), {}, &index, &whole);
    EXPECT_FALSE(whole.usedIndex);
    EXPECT_EQ(whole.entities, 400);
}

// A large space is drawn in two halves side by side, the later one laid over the first's
// lines: entities apart from each other come out as in one pass, every one counted, and the
// texts of the first half stay above the lines of the second.
TEST(CadRender, ALargeSpaceIsDrawnInTwoHalvesSideBySide) {
    Document doc = layersAndABox();
    // One entity in each cell of 10 units, inside it.
    constexpr int kColumns = 200, kRows = 150;
    for (int i = 0; i < kColumns * kRows; ++i) {
        const double x = 10.0 * (i % kColumns) + 2, y = 10.0 * (i / kColumns) + 2;
        Entity e = i % 4 == 0   ? Entity::line({x, y}, {x + 6, y + 5})
                   : i % 4 == 1 ? Entity::circle({x + 3, y + 3}, 2.5)
                   : i % 4 == 2 ? Entity::insert(QStringLiteral("BOX"), {x, y})
                                : Entity::textAt({x, y}, QStringLiteral("T"), 5.0);
        if (i % 97 == 0 && e.kind == EntityKind::Line) e.lineWeight = 70;
        e.layer = i % 3 ? QStringLiteral("A") : QStringLiteral("B");
        doc.addToModel(e);
    }
    const View view(QSize(10 * kColumns, 10 * kRows), QPointF(5 * kColumns, 5 * kRows), 1.0);
    RenderStats stats;
    const QImage whole = render(doc, view, {}, nullptr, &stats);
    EXPECT_EQ(stats.entities, kColumns * kRows);
    EXPECT_GT(stats.texts, 0);
    QImage halves(view.size(), QImage::Format_RGB32);
    halves.fill(RenderOptions().background);
    {
        QPainter p(&halves);
        const std::vector<Entity>& all = doc.modelSpace().entities;
        const auto half = all.begin() + qsizetype(all.size() / 2);
        renderSpace(p, doc, Space{QString(), std::vector<Entity>(all.begin(), half)}, view);
        renderSpace(p, doc, Space{QString(), std::vector<Entity>(half, all.end())}, view);
    }
    EXPECT_GT(countPixels(whole, rgb(255, 0, 0)), 10000);
    EXPECT_TRUE(whole == halves);

    // Texts in the first half, lines across them all in the second.
    Document crossed;
    crossed.addLayer(Layer{QStringLiteral("A"), 1});
    crossed.addLayer(Layer{QStringLiteral("B"), 3});
    for (int i = 0; i < 24000; ++i) {
        const double x = (i * 37) % 1000, y = (i * 53) % 1000;
        Entity e = i < 12000 ? Entity::textAt({x, y}, QStringLiteral("W"), 8.0)
                             : Entity::line({0, y + 0.5}, {1000, y + 0.5});
        e.layer = i < 12000 ? QStringLiteral("A") : QStringLiteral("B");
        crossed.addToModel(e);
    }
    const View square(QSize(1000, 1000), QPointF(500, 500), 1.0);
    const QImage textsAndLines = render(crossed, square);
    crossed.modelSpace().entities.resize(12000);
    const QImage textsAlone = render(crossed, square);
    EXPECT_GT(countPixels(textsAlone, rgb(255, 0, 0)), 10000);
    EXPECT_EQ(countPixels(textsAndLines, rgb(255, 0, 0)), countPixels(textsAlone, rgb(255, 0, 0)));
}

// Fills, dimensions, faces seen from above, images from their file (or crossed out when the
// file is missing) and viewport frames all put pixels where they belong.
TEST(CadRender, FillsDimensionsFacesAndImages) {
    QTemporaryDir dir;
    Document doc;
    Entity square = coloured(Entity::rect({10, 10}, {30, 30}), 3);
    square.detail.edit().fillMode = FillSolid;
    square.detail.edit().fillColor = 5;
    doc.addToModel(square);
    Entity hatched = coloured(Entity::circle({70, 20}, 8), 1);
    hatched.detail.edit().fillMode = FillCross;
    doc.addToModel(hatched);
    doc.addToModel(coloured(Entity::linearDimension({10, 60}, {40, 60}, {25, 70}, 0), 6));
    doc.addToModel(
        coloured(Entity::face3d({60, 60, 0}, {90, 60, 5}, {90, 90, 5}, {60, 90, 0}, 1 << 1), 2));
    Entity image = Entity::image(savedPicture(dir.filePath("pic.png")), QSize(4, 2), {40, 40}, 10);
    image.detail.edit().imageFlags |= ImageHideFrame;
    doc.addToModel(image);
    doc.addToModel(Entity::image(dir.filePath("gone.png"), QSize(4, 2), {40, 85}, 10));
    EXPECT_TRUE(loadPictures(doc).isEmpty());  // as the drawing opens: a missing file is no refusal

    const QImage out = render(doc, squareView());
    EXPECT_EQ(at(out, 40, 160), rgb(0, 0, 255));  // inside the square: its fill colour
    EXPECT_EQ(at(out, 20, 160), rgb(0, 255, 0));  // on its outline: the line colour
    EXPECT_GT(countPixels(out.copy(126, 146, 28, 28), rgb(255, 0, 0)), 60);  // hatch lines
    EXPECT_LT(countPixels(out.copy(126, 146, 28, 28), rgb(255, 0, 0)), 28 * 28 / 2);
    EXPECT_GT(countPixels(out.copy(16, 56, 70, 30), rgb(255, 0, 255)), 60);  // the dimension
    EXPECT_EQ(at(out, 150, 80), rgb(255, 255, 0));  // a visible face edge (y = 60)
    EXPECT_NE(at(out, 180, 50), rgb(255, 255, 0));  // the hidden edge (x = 90) is not drawn
    EXPECT_EQ(at(out, 90, 116), rgb(0, 128, 255));  // the picture
    EXPECT_GT(countPixels(out.copy(78, 18, 24, 14), rgb(255, 255, 255)), 20);  // crossed frame
}

// A PNG file of a few bytes whose header gives the picture's size (its data left out).
QByteArray pngHeader(quint32 width, quint32 height) {
    const auto number = [](quint32 v) {
        QByteArray out;
        for (int shift = 24; shift >= 0; shift -= 8) out += char((v >> shift) & 0xff);
        return out;
    };
    const auto chunk = [&](const QByteArray& type, const QByteArray& data) {
        const QByteArray body = type + data;
        quint32 crc = 0xffffffffu;
        for (char c : body) {
            crc ^= quint8(c);
            for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
        return number(quint32(data.size())) + body + number(crc ^ 0xffffffffu);
    };
    return QByteArray("\x89PNG\r\n\x1a\n", 8) +
           chunk("IHDR", number(width) + number(height) + QByteArray("\x08\x02\x00\x00\x00", 5)) +
           chunk("IDAT", {}) + chunk("IEND", {});
}

// Pictures are read off the paint, and only from regular files within the limits: an image
// whose file is a FIFO is never opened for reading (it would wait for a writer for ever), nor
// is a folder, a file beyond 256 MB or a picture of too many pixels. The view, Export Image
// and PDF export return and show the refused image's frame crossed out; opening the drawing
// names each with the reason. A picture not read yet is painted as its frame until it is.
TEST(CadRender, PicturesAreReadOffThePaintFromRegularFilesOnly) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe.png");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString huge = dir.filePath("huge.png");
    {
        QFile f(huge);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(kMaxPictureFileBytes + 1));  // sparse: no disk taken
    }
    const QString wide = dir.filePath("wide.png");
    {
        QFile f(wide);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(pngHeader(20000, 20000));
    }
    Document doc;
    doc.addToModel(Entity::image(fifo, QSize(4, 2), {40, 40}, 10));
    doc.addToModel(Entity::image(dir.path(), QSize(4, 2), {40, 85}, 10));
    doc.addToModel(Entity::image(huge, QSize(4, 2), {5, 5}, 10));
    doc.addToModel(Entity::image(wide, QSize(4, 2), {5, 85}, 10));
    const QImage out = render(doc, squareView());
    EXPECT_GT(countPixels(out.copy(78, 108, 24, 14), rgb(255, 255, 255)), 20);
    EXPECT_GT(countPixels(out.copy(78, 18, 24, 14), rgb(255, 255, 255)), 20);

    const QList<PictureRefusal> refused = loadPictures(doc);
    ASSERT_EQ(refused.size(), 4);
    const QString message = refusedPicturesMessage(refused);
    for (const QString& file : {fifo, dir.path(), huge, wide})
        EXPECT_TRUE(message.contains(file)) << qPrintable(message);
    EXPECT_TRUE(message.contains("not a regular file")) << qPrintable(message);
    EXPECT_TRUE(message.contains("larger than 256 MB")) << qPrintable(message);
    EXPECT_TRUE(message.contains("20000 x 20000 pixels")) << qPrintable(message);
    // Refused pictures are drawn crossed out (from the frame's corner to the far one).
    const QImage crossed = render(doc, squareView());
    EXPECT_EQ(at(crossed, 90, 115), rgb(255, 255, 255));
    EXPECT_EQ(at(crossed, 20, 185), rgb(255, 255, 255));

    QString error;
    const QString png = dir.filePath("pipe-export.png");
    ASSERT_TRUE(exportImage(doc, doc.modelSpace(), png, QSize(200, 200), Qt::black, &error))
        << qPrintable(error);
    EXPECT_GT(200 * 200 - countPixels(QImage(png), 0), 100);  // the frames, antialiased
    EXPECT_TRUE(exportPdf(doc, doc.modelSpace(), dir.filePath("pipe.pdf"), &error))
        << qPrintable(error);

    // A picture the paint asks for first shows as its plain frame, not crossed out, until
    // it has been read; then it is drawn.
    const QString file = savedPicture(dir.filePath("later.png"));
    Document later;
    later.addToModel(Entity::image(file, QSize(4, 2), {40, 40}, 10));
    const QImage waiting = render(later, squareView());
    EXPECT_EQ(at(waiting, 90, 115), 0u);  // no cross, no picture
    EXPECT_GT(countPixels(waiting.copy(78, 108, 24, 14), rgb(255, 255, 255)), 20);
    EXPECT_TRUE(Pictures::instance().load({file}).isEmpty());
    EXPECT_EQ(at(render(later, squareView()), 90, 115), rgb(0, 128, 255));
}

TEST(CadRender, ImageAndPdfFiles) {
    Document doc;
    doc.addToModel(coloured(Entity::line({0, 0}, {100, 50}), 1));
    doc.addToModel(Entity::textAt({10, 30}, QStringLiteral("RACK 12"), 5.0));
    QTemporaryDir dir;
    QString error;

    const QString png = dir.filePath(QStringLiteral("sheet.png"));
    ASSERT_TRUE(exportImage(doc, doc.modelSpace(), png, QSize(320, 200), Qt::white, &error))
        << qPrintable(error);
    QImageReader reader(png);
    EXPECT_EQ(reader.format(), "png");
    const QImage image = reader.read();
    EXPECT_EQ(image.size(), QSize(320, 200));
    EXPECT_EQ(image.pixel(0, 0) & 0xffffff, 0xffffffu);
    int reddish = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            reddish += c.red() > 200 && c.green() < 100 && c.blue() < 100;
        }
    EXPECT_GT(reddish, 100);

    const QString bmp = dir.filePath(QStringLiteral("sheet.BMP"));
    ASSERT_TRUE(exportImage(doc, doc.modelSpace(), bmp, QSize(64, 48), Qt::black, &error));
    EXPECT_EQ(QImageReader(bmp).format(), "bmp");
    EXPECT_EQ(QImage(bmp).size(), QSize(64, 48));

    const QString pdf = dir.filePath(QStringLiteral("sheet.pdf"));
    ASSERT_TRUE(exportPdf(doc, doc.modelSpace(), pdf, &error)) << qPrintable(error);
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF-"));
    EXPECT_FALSE(bytes.contains("/Subtype /Image"));  // vector output, not a picture
    // The page fits the extents (100 x 50 mm and the margin): MediaBox in points.
    const int box = bytes.indexOf("/MediaBox");
    ASSERT_GE(box, 0);
    const QList<QByteArray> numbers =
        bytes.mid(box, 80).split('[').value(1).split(']').value(0).simplified().split(' ');
    ASSERT_EQ(numbers.size(), 4);
    EXPECT_NEAR(numbers[2].toDouble(), 106 / 25.4 * 72, 2);
    EXPECT_NEAR(numbers[3].toDouble(), 53 / 25.4 * 72, 2);

    // Failures leave a message and no file; an earlier file stays as it was.
    EXPECT_FALSE(exportImage(doc, doc.modelSpace(), dir.filePath(QStringLiteral("no/such/a.png")),
                             QSize(10, 10), Qt::black, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("no/such/a.png"))) << qPrintable(error);
    EXPECT_FALSE(
        exportPdf(doc, doc.modelSpace(), dir.filePath(QStringLiteral("no/such/a.pdf")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("a.pdf"))) << qPrintable(error);
    EXPECT_FALSE(exportImage(doc, doc.modelSpace(), dir.filePath(QStringLiteral("sheet.gif")),
                             QSize(10, 10), Qt::black, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("gif")));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("sheet.gif"))));
    EXPECT_FALSE(exportImage(doc, doc.modelSpace(), png, QSize(0, 10), Qt::black, &error));
    EXPECT_EQ(QImage(png).size(), QSize(320, 200));
}

// A block that inserts itself three times (3^16 pieces at the nesting bound): every way in
// which inserts are expanded stops at the bound on their work, and the block is named as
// cut short. Blocks within the bounds are not.
TEST(CadInserts, SelfInsertingBlockIsCutShortEverywhere) {
    // The file of the fuzz corpus (self_insert.dxf): a line, a circle and three inserts of
    // the block itself, one of them at half size.
    const QByteArray selfInsert =
        "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n2\nSELF\n70\n0\n10\n0\n20\n0\n0\nLINE\n8\n0\n"
        "10\n0\n20\n0\n11\n1\n21\n0\n0\nCIRCLE\n8\n0\n10\n0.5\n20\n0.5\n40\n0.25\n0\n"
        "INSERT\n8\n0\n2\nSELF\n10\n2\n20\n0\n0\nINSERT\n8\n0\n2\nSELF\n10\n0\n20\n2\n0\n"
        "INSERT\n8\n0\n2\nSELF\n10\n2\n20\n2\n41\n0.5\n42\n0.5\n0\nENDBLK\n0\nENDSEC\n0\n"
        "SECTION\n2\nENTITIES\n0\nINSERT\n8\n0\n2\nSELF\n10\n0\n20\n0\n0\nENDSEC\n0\n"
        "EOF\n";
    Document doc = readDxf(selfInsert);
    ASSERT_EQ(doc.modelSpace().entities.size(), 1u);
    const Entity& top = doc.modelSpace().entities[0];
    EXPECT_EQ(cutShortBlocks(doc), QStringList{"SELF"});

    const std::vector<Prim> pieces = primitives(doc, top);
    EXPECT_GT(pieces.size(), 1000u);
    EXPECT_LE(qsizetype(pieces.size()), kMaxInsertWork + 64);
    const BBox box = spaceExtents(doc, doc.modelSpace());
    ASSERT_TRUE(box.isValid());
    EXPECT_GT(box.x1, 3.0);

    SpatialIndex index;
    index.build(doc, doc.modelSpace());
    EXPECT_EQ(pointSearch(doc, doc.modelSpace(), index, {0.5, 0}, 0.1).handle, top.handle);
    const SnapResult snap =
        objectSnap(doc, doc.modelSpace(), index, ~0u, {1.0, 0.02}, 0.1, QPointF(0, 0));
    EXPECT_TRUE(snap.found());

    RenderStats stats;
    View view(QSize(400, 400), QPointF(2, 2), 100.0);
    ASSERT_TRUE(view.zoomExtents(box));  // every copy in view: none is left out unseen
    const QImage image = render(doc, view, {}, nullptr, &stats);
    EXPECT_EQ(stats.cutShort, 1);
    EXPECT_GT(countPixels(image, rgb(255, 255, 255)), 100);
    QTemporaryDir dir;
    QString error;
    EXPECT_TRUE(exportPdf(doc, doc.modelSpace(), dir.filePath("self.pdf"), &error))
        << error.toStdString();

    // Nested within the bounds: nothing is cut short, nothing is left out.
    Document fine;
    Block& leaf = fine.addBlock("LEAF");
    fine.add(leaf, Entity::line({0, 0}, {1, 0}));
    Block& mid = fine.addBlock("MID");
    for (int i = 0; i < 10; ++i) fine.add(mid, Entity::insert("LEAF", {double(i), 0}));
    fine.addToModel(Entity::insert("MID", {0, 0}));
    EXPECT_TRUE(cutShortBlocks(fine).isEmpty());
    EXPECT_EQ(primitives(fine, fine.modelSpace().entities[0]).size(), 10u);
    RenderStats fineStats;
    render(fine, squareView(), {}, nullptr, &fineStats);
    EXPECT_EQ(fineStats.cutShort, 0);
}

// Ellipse parameters far beyond a turn (1e7, 1e15 from a file), an arc over 1e15 degrees and
// a bulge of 1e15: each is at most one turn, split into a bounded number of pieces, and
// drawn.
TEST(CadCurves, SweepsBeyondOneTurnAreBounded) {
    const QByteArray longCurves =
        "0\nSECTION\n2\nENTITIES\n0\nELLIPSE\n8\n0\n10\n0\n20\n0\n11\n10\n21\n0\n40\n0.5\n"
        "41\n0\n42\n10000000\n0\nELLIPSE\n8\n0\n10\n0\n20\n0\n11\n10\n21\n0\n40\n0.5\n41\n"
        "-1e15\n42\n1e15\n0\nARC\n8\n0\n10\n0\n20\n0\n40\n5\n50\n-1e15\n51\n1e15\n0\n"
        "LWPOLYLINE\n8\n0\n90\n2\n70\n0\n10\n0\n20\n0\n42\n1e15\n10\n1\n20\n0\n0\nENDSEC\n"
        "0\nEOF\n";
    const Document doc = readDxf(longCurves);
    ASSERT_EQ(doc.modelSpace().entities.size(), 4u);
    for (const Entity& e : doc.modelSpace().entities) {
        const std::vector<Prim> pieces = primitives(doc, e);
        EXPECT_GE(pieces.size(), 1u);
        EXPECT_LE(pieces.size(), 64u);
    }
    for (int i : {0, 1}) {  // within the ellipse's box
        const BBox box = boundingBox(doc, doc.modelSpace().entities[size_t(i)]);
        EXPECT_TRUE((BBox{-10.001, -5.001, 10.001, 5.001}.contains(box))) << i;
    }
    RenderStats stats;
    const QImage image =
        render(doc, View(QSize(200, 200), QPointF(0, 0), 8.0), {}, nullptr, &stats);
    EXPECT_EQ(stats.entities, 4);
    EXPECT_GT(countPixels(image, rgb(255, 255, 255)), 50);

    EXPECT_EQ(arcPieces(1e15, 1e-9, 2), kMaxArcPieces);
    EXPECT_EQ(arcPieces(std::nan(""), 0.1, 2), kMaxArcPieces);
    EXPECT_EQ(arcPieces(0.0, 0.1, 8), 8);
    EXPECT_DOUBLE_EQ(oneTurn(0.0), 2 * M_PI);
    EXPECT_DOUBLE_EQ(oneTurn(4 * M_PI), 2 * M_PI);
    EXPECT_NEAR(oneTurn(-M_PI / 2), 1.5 * M_PI, 1e-12);
    EXPECT_NEAR(oneTurn(1e7), std::fmod(1e7, 2 * M_PI), 1e-9);
}

// A layout's viewport shows model space at its own view, inside its frame only, on screen
// images and on paper; a page at a scale draws a length as so many millimetres.
TEST(CadRender, ViewportsAndPrintedPages) {
    Document doc;
    doc.setUnits(4);                                      // millimetres
    doc.addToModel(Entity::line({-1000, 0}, {1000, 0}));  // through the viewport's centre
    Space& sheet = doc.addLayout(QStringLiteral("Sheet"));
    doc.add(sheet, Entity::viewport({50, 50}, 40, 20, {0, 0}, 10));
    // Frame 30..70 x 40..60 in the square view: pixels 60..140 x 80..120; model y 0 at row 100.
    QImage image(200, 200, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    renderSpace(p, doc, sheet, squareView());
    p.end();
    const QRgb white = rgb(255, 255, 255);
    EXPECT_EQ(at(image, 100, 100), white);
    EXPECT_EQ(at(image, 62, 100), white);
    EXPECT_NE(at(image, 20, 100), white);  // beyond the frame
    EXPECT_NE(at(image, 180, 100), white);
    EXPECT_NE(at(image, 100, 95), white);  // only the line's own row inside
    EXPECT_EQ(at(image, 100, 80), white);  // the frame itself

    // On paper at 1:1 a 100 mm line is 100 mm long: 100 / 25.4 * 300 pixels at 300 dpi.
    Document part;
    part.setUnits(4);
    part.addToModel(Entity::line({0, 0}, {100, 0}));
    QImage page(1500, 600, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter pp(&page);
    renderPage(pp, page.size(), 300, part, part.modelSpace(), PlotSettings{BBox{}, 1.0});
    pp.end();
    int first = -1, last = -1;
    for (int x = 0; x < page.width(); ++x) {
        if (at(page, x, 300) != rgb(255, 255, 255)) {
            if (first < 0) first = x;
            last = x;
        }
    }
    EXPECT_NEAR(last - first, 100 / 25.4 * 300, 2.0);
}

// Points in the drawing's mode and size; a dimension's extension lines and text in the
// style's colours, its arrows of the style's kind.
TEST(CadRender, PointModesAndDimensionStyleColours) {
    Document doc;
    doc.addToModel(Entity::point({50, 50}));
    doc.settings().pointMode = 3 + 64;  // a cross in a square
    doc.settings().pointSize = 20;      // 40 pixels
    QImage image = render(doc, squareView());
    const QRgb white = rgb(255, 255, 255);
    EXPECT_EQ(at(image, 90, 90), white);        // on the cross
    EXPECT_EQ(at(image, 80, 100), white);       // on the square's left side
    EXPECT_NE(at(image, 100, 90), white);       // inside, off the cross
    EXPECT_NE(at(image, 100, 100 - 5), white);  // no plus
    doc.settings().pointMode = 1;               // nothing
    EXPECT_EQ(countPixels(render(doc, squareView()), white), 0);

    Document dims;
    DimStyle style{"Standard", 5, 4, 1, 2, "Standard", 0};
    style.extensionColor = 1;
    style.textColor = 3;
    style.arrowBlock = "_NONE";
    dims.addDimStyle(style);
    dims.addToModel(Entity::linearDimension({10, 10}, {90, 10}, {50, 40}, 0));
    image = render(dims, squareView());
    EXPECT_EQ(at(image, 20, 200 - 50), rgb(255, 0, 0));  // the first extension line, red
    int green = 0;  // the text, green (its glyphs' edges blended)
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            green += qGreen(image.pixel(x, y)) > 150 && qRed(image.pixel(x, y)) < 80;
    EXPECT_GT(green, 20);
    EXPECT_NE(at(image, 24, 119), rgb(255, 255, 255));  // no arrowhead beside the line's end
}

// Antialiased one-pixel lines written straight into an image put their ink where the
// painter's own antialiased lines put it, in the same amount: lines of every slope, ends
// inside and beyond the image, on the image the views and Export Image draw on.
TEST(CadRender, SmoothLinesMatchThePaintersOwn) {
    Document doc;
    const QPointF centre(50, 50);
    for (int i = 0; i < 24; ++i) {
        const double a = i * 15.0 * M_PI / 180.0 + 0.1;
        const double r = i % 3 == 0 ? 80.0 : 35.0;  // every third runs off the image
        doc.addToModel(Entity::line(centre + QPointF(6 * std::cos(a), 6 * std::sin(a)),
                                    centre + QPointF(r * std::cos(a), r * std::sin(a))));
    }
    doc.addToModel(Entity::circle({20, 80}, 9.3));
    doc.addToModel(Entity::line({5, 12.3}, {95, 12.3}));  // level and plumb
    doc.addToModel(Entity::line({12.7, 5}, {12.7, 40}));
    RenderOptions options;
    options.antialias = true;
    options.lineWeights = false;
    const QImage direct = render(doc, squareView(), options);
    // A clip keeps the renderer to the painter's own lines.
    QImage painted(squareView().size(), QImage::Format_RGB32);
    painted.fill(Qt::black);
    {
        QPainter p(&painted);
        p.setClipRect(painted.rect());
        renderSpace(p, doc, doc.modelSpace(), squareView(), options);
    }
    const auto ink = [](const QImage& image, int x, int y) {
        if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) return 0;
        return qRed(image.pixel(x, y));
    };
    double inkDirect = 0, inkPainted = 0;
    int partial = 0;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 200; ++x) {
            const int d = ink(direct, x, y), q = ink(painted, x, y);
            inkDirect += d;
            inkPainted += q;
            partial += d > 0 && d < 255;
            // Ink on one side has ink next to it on the other.
            for (const auto& [self, other] : {std::pair<int, const QImage*>{d, &painted},
                                              std::pair<int, const QImage*>{q, &direct}}) {
                if (self < 128) continue;
                int near = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        near = std::max(near, ink(*other, x + dx, y + dy));
                EXPECT_GT(near, 0) << x << "," << y;
            }
        }
    }
    EXPECT_GT(partial, 500);  // shaded, not stepped
    EXPECT_NEAR(inkDirect / inkPainted, 1.0, 0.15);
    // The same view without antialiasing is stepped: only full pixels.
    options.antialias = false;
    const QImage plain = render(doc, squareView(), options);
    EXPECT_EQ(countPixels(plain, rgb(255, 255, 255)) + countPixels(plain, rgb(0, 0, 0)), 200 * 200);
}

// On a device that keeps vectors a polyline goes out as one path in whole device pixels; a
// pen's lines join its earlier path unless a line of another pen drawn meanwhile crosses
// them; texts come above the lines: texts of one style, size, colour and direction as one
// run of glyphs, texts that need Qt's shaping by themselves.
TEST(CadRender, VectorDevicesGetPathsInDrawOrderAndTextRuns) {
    Document doc;
    const auto add = [&](const Entity& e, int color) { doc.addToModel(coloured(e, color)); };
    add(Entity::polyline({{{10.2, 10}}, {{40, 10}}, {{40, 30.3}}, {{70, 30}}, {{70, 60}}}, false),
        1);
    add(Entity::textAt({10, 80}, QStringLiteral("RACK"), 5.0), 2);
    add(Entity::line({10, 20}, {90, 20}), 5);  // crosses the polyline
    add(Entity::textAt({10, 70}, QStringLiteral("RACK"), 5.0), 2);
    add(Entity::line({10, 90}, {90, 90}), 1);  // clear of the blue line: joins the polyline
    add(Entity::line({80, 5}, {80, 35}), 1);   // crosses the blue line: after it
    Entity turned = Entity::textAt({90, 10}, QStringLiteral("UP"), 5.0);
    turned.rotation = 90;
    add(turned, 2);
    add(Entity::textAt({10, 90}, QStringLiteral("\u0633\u0644\u0627\u0645"), 5.0), 2);

    Recorder device;
    {
        QPainter p(&device);
        renderSpace(p, doc, doc.modelSpace(), squareView());
    }
    std::string order;
    for (const auto& c : device.calls) order += c.what;
    ASSERT_GE(order.size(), 6u);
    ASSERT_EQ(order.substr(0, 5), "ppptt");
    const auto& cable = device.calls[0];
    EXPECT_EQ(cable.rgb, rgb(255, 0, 0));
    ASSERT_EQ(cable.points.size(), 7);
    for (QPointF q : cable.points) EXPECT_EQ(q, QPointF(std::round(q.x()), std::round(q.y())));
    EXPECT_EQ(cable.points[0], QPointF(20, 180));
    EXPECT_EQ(cable.points[1], QPointF(80, 180));
    EXPECT_EQ(cable.points[6], QPointF(180, 20));
    EXPECT_EQ(device.calls[1].rgb, rgb(0, 0, 255));
    EXPECT_EQ(device.calls[2].rgb, rgb(255, 0, 0));
    EXPECT_EQ(device.calls[2].points, QList<QPointF>({{160, 190}, {160, 130}}));
    // The two level texts in one run, the turned one in another; the Arabic one shaped.
    EXPECT_TRUE(device.calls[3].text.isEmpty());
    EXPECT_TRUE(device.calls[4].text.isEmpty());
    EXPECT_NE(device.calls[3].transform.m12() == 0, device.calls[4].transform.m12() == 0);
    QString shaped;
    for (size_t i = 5; i < device.calls.size(); ++i) {
        EXPECT_EQ(device.calls[i].what, 't');
        EXPECT_EQ(device.calls[i].rgb, rgb(255, 255, 0));
        shaped += device.calls[i].text;
    }
    EXPECT_EQ(shaped.size(), 4);
}

// Texts lie above the lines drawn after them; layer names are told apart by their text,
// also where one name's text is the start of another's.
TEST(CadRender, TextsAboveLinesAndLayersByName) {
    Document doc;
    doc.addLayer(Layer{QStringLiteral("CABLE"), 5});
    doc.addLayer(Layer{QStringLiteral("CABLES"), 1});
    static const QChar names[] = {u'C', u'A', u'B', u'L', u'E', u'S'};
    doc.addToModel(coloured(Entity::textAt({10, 40}, QStringLiteral("IIIIIIII"), 20.0), 3));
    Entity blue = Entity::line({0, 50}, {100, 50});
    blue.layer = QString::fromRawData(names, 5);
    doc.addToModel(blue);
    Entity red = Entity::line({0, 10}, {100, 10});
    red.layer = QString::fromRawData(names, 6);
    doc.addToModel(red);

    const QImage image = render(doc, squareView());
    EXPECT_EQ(at(image, 5, 180), rgb(255, 0, 0));
    EXPECT_EQ(at(image, 5, 100), rgb(0, 0, 255));
    int green = 0, blueOnRow = 0;
    for (int x = 20; x < 120; ++x) {
        green += at(image, x, 100) == rgb(0, 255, 0);
        blueOnRow += at(image, x, 100) == rgb(0, 0, 255);
    }
    EXPECT_GT(green, 4);  // the strokes of the letters cross the line
    EXPECT_GT(blueOnRow, 20);
}

namespace {

// The words pdftotext, a reader that is not ours, reads from a PDF; its pages from pdfinfo.
QSet<QString> pdfWords(const QString& pdf) {
    QProcess reader;
    reader.start(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), pdf, QStringLiteral("-")});
    reader.waitForFinished(60000);
    QSet<QString> out;
    for (const QString& w : QString::fromUtf8(reader.readAllStandardOutput())
                                .split(QRegularExpression(QStringLiteral("\\s+"))))
        out.insert(w);
    return out;
}

int pdfPages(const QString& pdf) {
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    info.waitForFinished(60000);
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
                                          .match(QString::fromUtf8(info.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

}  // namespace

// Sheets whose page is shrunk far below their size: every cable number and equipment label is
// still text in the PDF, read back whole by a reader that is not ours, however small it comes
// out on the page. A sheet of 12 x 12 cells 60 m apart is shrunk about 150 times onto one page
// (a 2.5 mm text to about half a dot of the 600 dpi page). One of 70 x 60 cells 400 units apart
// (28 x 24 m onto 5 m, a 2.5 mm text to about 1.2 points) has more small texts than such a
// reader takes from one page (the first 50,000 characters under 3 points; 109,200 here): it
// comes out over several pages at one scale.
TEST(CadRender, PdfsOfLargeSheetsKeepEveryTextAsText) {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty() ||
        QStandardPaths::findExecutable("pdfinfo").isEmpty())
        GTEST_SKIP() << "pdftotext and pdfinfo (poppler-utils) are not installed";
    const struct {
        int cells, across;
        double spacing;
        const char *cable, *label;
        int first, digits, minPages, maxPages;
    } sheets[] = {{144, 12, 60000.0, "W", "EQ", 1000, 0, 1, 1},
                  {4200, 70, 400.0, "CABLE-", "EQUIPMENT-", 0, 5, 3, 1000}};
    for (const auto& s : sheets) {
        SCOPED_TRACE(s.cells);
        const auto numbered = [&](const char* prefix, int i) {
            return prefix + QString::number(s.first + i).rightJustified(s.digits, QLatin1Char('0'));
        };
        // Equipment cells `spacing` apart, `across` to a row, each with a cable, its number text
        // and an equipment box with its name.
        Document doc;
        doc.add(doc.addBlock(QStringLiteral("EQ_BOX")), Entity::rect({0, 0}, {40, 20}));
        QStringList wanted;
        for (int i = 0; i < s.cells; ++i) {
            const QPointF at(s.spacing * (i % s.across), s.spacing * (i / s.across));
            doc.addToModel(Entity::polyline({{at, 0}, {at + QPointF(300, 0), 0}}, false));
            doc.addToModel(Entity::textAt(at + QPointF(100, 2), numbered(s.cable, i), 2.5));
            Entity eq = Entity::insert(QStringLiteral("EQ_BOX"), at + QPointF(300, -10));
            eq.attributes.push_back(Entity::attribute(at + QPointF(305, 12), QStringLiteral("NAME"),
                                                      numbered(s.label, i), 2.5));
            doc.addToModel(eq);
            wanted << numbered(s.cable, i) << numbered(s.label, i);
        }
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("sheet.pdf"));
        QString error;
        ASSERT_TRUE(exportPdf(doc, doc.modelSpace(), pdf, &error)) << qPrintable(error);
        const QSet<QString> words = pdfWords(pdf);
        QStringList missing;
        for (const QString& w : wanted)
            if (!words.contains(w)) missing << w;
        EXPECT_TRUE(missing.isEmpty()) << missing.size() << " of " << wanted.size() << " missing, "
                                       << qPrintable(missing.mid(0, 5).join(' '));
        const int pages = pdfPages(pdf);
        EXPECT_TRUE(pages >= s.minPages && pages <= s.maxPages) << pages << " pages";
    }
}

// Texts whose style names a font that is not installed (or none) are drawn in the alternate
// font when one is set; a style whose font is installed keeps it.
TEST(CadRender, AlternateFontStandsInForMissingFonts) {
    Document doc;
    const TextStyle missing{QStringLiteral("MISSING"), QStringLiteral("nosuchfont.ttf")};
    const TextStyle installed{QStringLiteral("INSTALLED"), QStringLiteral("DejaVuSans.ttf")};
    doc.addTextStyle(missing);
    doc.addTextStyle(installed);
    Entity text = Entity::textAt({5, 70}, QStringLiteral("Rack 12"), 10.0);
    text.style = missing.name;
    doc.addToModel(text);
    text.style = installed.name;
    text.start = {5, 10};
    doc.addToModel(text);
    const View view = squareView();
    auto half = [](const QImage& image, bool top) {
        return image.copy(0, top ? 0 : image.height() / 2, image.width(), image.height() / 2);
    };
    const QImage before = render(doc, view);
    setAlternateFont(QStringLiteral("DejaVu Serif"));
    const QImage after = render(doc, view);
    setAlternateFont(QString());
    EXPECT_NE(half(before, true), half(after, true));    // the missing font's text changed
    EXPECT_EQ(half(before, false), half(after, false));  // the installed one did not
    EXPECT_EQ(render(doc, view), before);
}

// A wide polyline covers its width in drawing units, ending as the pen caps say; a segment
// narrowing from one width to another covers what its widths give along it; a width thinner
// than a pixel is drawn as a line.
TEST(CadRender, WidePolylinesCoverTheirWidthWithTheirCaps) {
    Document doc;
    Entity band = Entity::polyline({{{20, 50}, 0}, {{80, 50}, 0}}, false);  // row 100, x 40-160
    band.detail.edit().width = 10;                                          // 20 pixels
    doc.addToModel(band);
    Entity taper = Entity::polyline({{{20, 20}, 0}, {{80, 20}, 0}}, false);  // row 160
    taper.detail.edit().vertexWidths = {{0, 10}, {0, 0}};
    doc.addToModel(taper);
    RenderOptions flat;
    flat.flatCaps = true;
    const QImage rounded = render(doc, squareView()), cut = render(doc, squareView(), flat);
    for (const QImage* image : {&rounded, &cut}) {
        EXPECT_NE(at(*image, 100, 92), 0u);
        EXPECT_NE(at(*image, 100, 108), 0u);
        EXPECT_EQ(at(*image, 100, 113), 0u);
        EXPECT_EQ(at(*image, 100, 87), 0u);
        EXPECT_EQ(at(*image, 50, 166), 0u);   // near its narrow start
        EXPECT_NE(at(*image, 150, 168), 0u);  // near its wide end
    }
    // The extents, and so what a view looks at, take the width in.
    EXPECT_DOUBLE_EQ(boundingBox(doc, band).y1, 55.0);
    EXPECT_NE(at(rounded, 166, 100), 0u);  // the round cap reaches 10 pixels beyond the end
    EXPECT_EQ(at(cut, 166, 100), 0u);
    EXPECT_EQ(at(cut, 34, 100), 0u);

    Document thin;
    Entity hair = band;
    hair.detail.edit().width = 0.2;  // under a pixel: a line of its line weight
    thin.addToModel(hair);
    const QImage line = render(thin, squareView());
    EXPECT_NE(at(line, 100, 100), 0u);
    EXPECT_EQ(at(line, 100, 103), 0u);
}
