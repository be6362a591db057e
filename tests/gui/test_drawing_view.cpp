// The drawing view: clicks, keys and the wheel turned into answers to the Ui's drawing
// prompts and into view changes, the settings it reads, object snaps on a click, and the
// kept image that lets the cursor move without rendering the drawing again.
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/drawing/drawing_view.h"
#include "app/drawing/view_scroll_bars.h"
#include "front/qt_ui.h"
#include "gui_fixture.h"
#include "shell/settings_store.h"

using namespace tolvane;

namespace {

using test::later;
using test::Watchdog;

void wheel(QWidget* w, QPointF at, int delta) {
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

// A view of 400 x 300 pixels with the world origin in its middle, 2 pixels per unit.
struct Fixture {
    QtUi ui;
    cad::Document doc;
    DrawingView* view = nullptr;
    QWidget window;
    Fixture() {
        doc.addToModel(cad::Entity::line({0, 0}, {40, 0}));
        view = new DrawingView(doc, doc.modelSpace(), ui, nullptr, &window);
        view->resize(400, 300);
        window.resize(400, 300);
        window.show();
        view->setView(cad::View(QSize(400, 300), QPointF(0, 0), 2.0));
        view->setFocus();
    }
};

}  // namespace

class TestDrawingView : public QObject {
    Q_OBJECT
  private slots:
    // (A click at a point prompt: clickTakesTheSnappedPoint.)
    void clickAnswersAPickAndEscapeCancels() {
        Fixture f;
        Watchdog dog(f.ui);
        // Device (300,250) is 100 pixels right of and 100 below the middle.
        later([&] { QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(300, 250)); });
        const PickAnswer pick = f.ui.getEntity("Select cable:");
        QVERIFY(!pick.cancelled);
        QCOMPARE(pick.point.value_or(QPointF()), QPointF(50, -50));

        later([&] { QTest::keyClick(f.view, Qt::Key_Escape); });
        QVERIFY(f.ui.getPoint("To point:").cancelled);
        QVERIFY(!dog.fired());
    }

    void clickTakesTheSnappedPoint() {
        Fixture f;
        Watchdog dog(f.ui);
        f.view->setSnapModes(cad::SnapEndPoint);
        // The line's end (40,0) is at device (280,150); the click lands 3 pixels off it.
        later([&] {
            // On a real X server the move arrives later, through the event queue.
            QTest::mouseMove(f.view, QPoint(283, 152));
            QTRY_VERIFY_WITH_TIMEOUT(f.view->currentSnap().found(), 2000);
            QCOMPARE(f.view->currentSnap().mode, unsigned(cad::SnapEndPoint));
            QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(283, 152));
        });
        QCOMPARE(f.ui.getPoint("End point:").point, QPointF(40, 0));
        // Without snaps the same click gives the point under the cursor.
        f.view->setSnapModes(0);
        later([&] { QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(283, 152)); });
        QCOMPARE(f.ui.getPoint("End point:").point, QPointF(41.5, -1));
        // A prompt's own snap works without the drawing's, for that prompt only.
        later([&] {
            QTest::mouseMove(f.view, QPoint(284, 151));
            QTRY_VERIFY_WITH_TIMEOUT(f.view->currentSnap().found(), 2000);
            QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(283, 152));
        });
        QCOMPARE(f.ui.getPoint("End point:", cad::SnapEndPoint).point, QPointF(40, 0));
        later([&] { QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(283, 152)); });
        QCOMPARE(f.ui.getPoint("End point:").point, QPointF(41.5, -1));
        QVERIFY(!dog.fired());
    }

    // A point drawn from a base point: ortho keeps the click on the horizontal or vertical
    // through the base, "@dx,dy" typed is relative to it, the right button ends a list.
    void orthoRelativeAndRightClick() {
        Fixture f;
        Watchdog dog(f.ui);
        f.view->setOrtho(true);
        // Device (300,140) is world (50,5): nearer the horizontal through (0,0).
        later([&] {
            QTest::mouseMove(f.view, QPoint(300, 140));
            // On a real server the move arrives through the event queue.
            test::screenshot(*f.view, "TOLVANE_SCREENSHOT", [] { QTest::qWait(200); });
            QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(300, 140));
        });
        QCOMPARE(f.ui.getPointFrom("Next point:", {0, 0}).point, QPointF(50, 0));
        later([&] { QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(210, 40)); });
        QCOMPARE(f.ui.getPointFrom("Next point:", {0, 0}).point, QPointF(0, 55));
        f.view->setOrtho(false);
        later([&] { f.ui.submitTyped("@3,-4"); });
        QCOMPARE(f.ui.getPointFrom("Next point:", {10, 10}).point, QPointF(13, 6));
        // The right button asks for the context menu at its point (whose Enter ends the list)
        // and answers nothing itself.
        std::optional<QPointF> asked;
        QObject::connect(f.view, &DrawingView::contextMenuAsked, f.view, [&](QPointF world) {
            asked = world;
            f.ui.submitEnd();
        });
        later([&] { QTest::mouseClick(f.view, Qt::RightButton, {}, QPoint(10, 10)); });
        const PointAnswer end = f.ui.getPointFrom("Next point:", {0, 0}, true);
        QVERIFY(end.ended && !end.cancelled);
        QCOMPARE(asked, std::optional<QPointF>(f.view->view().toWorld(QPointF(10, 10))));
        QVERIFY(!dog.fired());
    }

    // At a selection prompt a click on an entity picks it (Shift takes it back) and a click
    // on empty space starts a window that a second click or a drag's release ends: left to
    // right it takes what lies inside, right to left what it touches. The picks grow, shown
    // highlighted, until the right button ends the prompt with them; Escape cancels.
    void selectionPromptsAreBuiltWithTheMouse() {
        Fixture f;
        Watchdog dog(f.ui);
        const QString line = f.doc.modelSpace().entities.front().handle;
        const QString other = f.doc.addToModel(cad::Entity::line({0, 20}, {10, 20})).handle;
        f.view->modelChanged();
        QImage shown;
        later([&] {
            QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(260, 150));  // on the line
            QCOMPARE(f.ui.promptPicked(), QStringList{line});
            shown = f.view->grab().toImage();
            QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(190, 100));  // nothing there
            QTest::mouseMove(f.view, QPoint(230, 120));
            QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(230, 120));
            QCOMPARE(f.ui.promptPicked(), (QStringList{line, other}));
            QTest::mouseClick(f.view, Qt::LeftButton, Qt::ShiftModifier, QPoint(260, 150));
            QCOMPARE(f.ui.promptPicked(), QStringList{other});
            QTest::mouseClick(f.view, Qt::RightButton, {}, QPoint(10, 10));
        });
        const SelectionAnswer first = f.ui.getSelection("Select objects:");
        QVERIFY(!first.cancelled);
        QCOMPARE(first.handles, QStringList{other});
        QCOMPARE(first.window.value_or(QRectF()), QRectF(QPointF(-5, 15), QPointF(15, 25)));
        QVERIFY(!first.crossing);
        // The pick was drawn in the highlight's colour over the white line; the other line,
        // not yet picked, was white.
        QCOMPARE(shown.pixelColor(260, 150), QColor(255, 170, 0));
        QCOMPARE(shown.pixelColor(210, 110), QColor(Qt::white));

        // Dragged: the release ends the window. Round the short line from the left takes it
        // alone; from the right over both lines takes both.
        later([&] {
            QTest::mousePress(f.view, Qt::LeftButton, {}, QPoint(190, 100));
            QTest::mouseMove(f.view, QPoint(230, 120));
            QTest::mouseRelease(f.view, Qt::LeftButton, {}, QPoint(230, 120));
            QCOMPARE(f.ui.promptPicked(), QStringList{other});
            QTest::mousePress(f.view, Qt::LeftButton, {}, QPoint(215, 160));
            QTest::mouseMove(f.view, QPoint(205, 100));
            QTest::mouseRelease(f.view, Qt::LeftButton, {}, QPoint(205, 100));
            QTest::mouseClick(f.view, Qt::RightButton, {}, QPoint(10, 10));
        });
        const SelectionAnswer second = f.ui.getSelection("Select objects:");
        QCOMPARE(second.handles, (QStringList{other, line}));
        QVERIFY(second.crossing);

        // Escape after the first corner cancels, and the next prompt starts afresh.
        later([&] {
            QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(100, 100));
            QTest::keyClick(f.view, Qt::Key_Escape);
        });
        QVERIFY(f.ui.getSelection("Select objects:").cancelled);
        later([&] { QTest::mouseClick(f.view, Qt::RightButton, {}, QPoint(100, 100)); });
        const SelectionAnswer none = f.ui.getSelection("Select objects:");
        QVERIFY(!none.cancelled);
        QVERIFY(none.handles.isEmpty());
        QVERIFY(!dog.fired());
    }

    // A prompt that wants a kind takes the nearest of that kind, so a click where a cable meets
    // a pin line picks the cable at "Select Cables"; away from cables the cursor shows the
    // nearest entity all the same. A point prompt shows nothing. (Without a prompt a click
    // takes the nearest, the later drawn of two as near: the drawing_mouse scenario.)
    void aClickMeansTheNearestOfTheWantedKind() {
        Fixture f;  // 2 pixels per unit: the pick box reaches 1.5 units
        const auto device = [&](QPointF world) { return f.view->view().toDevice(world).toPoint(); };
        const QString cable = f.doc
                                  .addToModel(cad::Entity::polyline(
                                      {{{-20, 10}, 0}, {{10, 10}, 0}, {{10, 30}, 0}}, false))
                                  .handle;
        const QString pinLine = f.doc.addToModel(cad::Entity::line({5, 10}, {25, 10})).handle;
        f.view->modelChanged();
        Watchdog dog(f.ui);
        later([&] {
            QTest::mouseMove(f.view, device({7, 10}));
            QTRY_COMPARE(f.view->hovered(), cable);
            QTest::mouseMove(f.view, device({20, 10}));  // no cable near: the line
            QTRY_COMPARE(f.view->hovered(), pinLine);
            QTest::mouseClick(f.view, Qt::LeftButton, {}, device({7, 10}));
            QTest::mouseClick(f.view, Qt::RightButton, {}, device({7, 10}));
        });
        const SelectionAnswer picked =
            f.ui.getSelection("Select Cables", cad::ofKind(cad::EntityKind::Polyline));
        QCOMPARE(picked.handles, QStringList{cable});
        // A point prompt takes points: nothing is shown picked.
        later([&] {
            QTest::mouseMove(f.view, device({7, 10}));
            QTRY_VERIFY(f.view->hovered().isEmpty());
            f.ui.cancelPrompt();
        });
        f.ui.getPoint("Next point:");
        QVERIFY(!dog.fired());
    }

    // With nothing asked, a click selects the entity under it, Shift adds and a click on nothing
    // clears; each choice is told. (Drags by window and crossing: the drawing_mouse scenario.)
    void clicksSelectWhenNothingIsAsked() {
        Fixture f;
        const QString line = f.doc.modelSpace().entities.front().handle;
        const QString other = f.doc.addToModel(cad::Entity::line({0, 20}, {10, 20})).handle;
        f.view->modelChanged();
        QList<QStringList> told;
        connect(f.view, &DrawingView::selectionChosen, this,
                [&](const QStringList& chosen) { told << chosen; });
        QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(220, 150));  // on the line at y 0
        QCOMPARE(f.view->selection(), QStringList{line});
        QTest::mouseClick(f.view, Qt::LeftButton, Qt::ShiftModifier, QPoint(210, 110));
        QCOMPARE(f.view->selection(), (QStringList{line, other}));
        QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(20, 20));  // nothing there
        QVERIFY(f.view->selection().isEmpty());
        QCOMPARE(told, (QList<QStringList>{{line}, {line, other}, {}}));
    }

    // A paper layout is drawn on a white sheet (its lines in black) on a grey desk.
    void layoutsAreDrawnOnPaper() {
        Fixture f;
        cad::Space& sheet = f.doc.addLayout(QStringLiteral("Sheet"));
        f.doc.add(sheet, cad::Entity::line({0, 0}, {100, 50}));
        f.view->setSpace(sheet);
        f.view->zoomExtents();
        test::screenshot(*f.view, "TOLVANE_SCREENSHOT_PAPER");
        const QImage image = f.view->grab().toImage();
        const cad::View& v = f.view->view();
        const auto at = [&](QPointF world) {
            const QPointF d = v.toDevice(world);
            return image.pixelColor(int(d.x()), int(d.y()));
        };
        QCOMPARE(image.pixelColor(1, 1), QColor(128, 128, 128));
        QCOMPARE(at({80, 10}), QColor(Qt::white));
        QCOMPARE(at({50, 25}).lightness(), 0);  // the line, black on paper
    }

    void wheelZoomsAboutTheCursorAndReverses() {
        QTemporaryDir dir;
        SettingsStore store(dir.filePath("Tolvane_v2.ini"));
        Fixture f;
        const QPointF cursor(320, 60);
        const QPointF under = f.view->view().toWorld(cursor);
        wheel(f.view, cursor, 120);
        QVERIFY(f.view->view().scale() > 2.0);
        QVERIFY(QLineF(f.view->view().toDevice(under), cursor).length() < 1e-6);
        wheel(f.view, cursor, -120);
        QCOMPARE(f.view->view().scale(), 2.0);

        store.write(setting::MwReversed, "1");
        f.view->applySettings(store);
        QVERIFY(f.view->wheelReversed());
        wheel(f.view, cursor, 120);
        QVERIFY(f.view->view().scale() < 2.0);
        store.write(setting::MwReversed, "0");
        f.view->applySettings(store);
        wheel(f.view, cursor, 120);
        QCOMPARE(f.view->view().scale(), 2.0);
    }

    // The zoom commands and a middle-button pan. A block about to be placed is shown at a
    // readable size: a fifth of the view's smaller side when it would be tiny; one already
    // readable keeps the zoom.
    void zoomCommandsAndPan() {
        Fixture f;                                    // 400 x 300 pixels, 2 pixels per unit
        f.view->zoomToShow(cad::BBox{0, 0, 20, 10});  // 40 pixels: readable
        QCOMPARE(f.view->view().scale(), 2.0);
        f.view->zoomToShow(cad::BBox{0, 0, 0.5, 0.25});  // 1 pixel
        QCOMPARE(f.view->view().toDevice(0.5), 60.0);
        QVERIFY(f.view->zoomExtents());
        // The line (0,0)-(40,0) fills the width less the margins.
        QCOMPARE(f.view->view().centre(), QPointF(20, 0));
        const double extents = f.view->view().scale();
        QVERIFY(qAbs(extents - 400 * (1 - 2 * cad::View::kExtentsMargin) / 40) < 1e-9);
        f.view->zoomIn();
        QCOMPARE(f.view->view().scale(), extents * 2);
        QVERIFY(f.view->zoomPrevious());
        QCOMPARE(f.view->view().scale(), extents);
        QVERIFY(f.view->zoomAll());
        QVERIFY(f.view->view().visibleBox().contains(cad::BBox{0, 0, 420, 297}));

        // A middle-button drag moves the drawing with the pointer.
        f.view->setView(cad::View(QSize(400, 300), QPointF(0, 0), 2.0));
        QTest::mousePress(f.view, Qt::MiddleButton, {}, QPoint(100, 100));
        QTest::mouseMove(f.view, QPoint(130, 90));
        QTest::mouseRelease(f.view, Qt::MiddleButton, {}, QPoint(140, 80));
        QCOMPARE(f.view->view().toDevice(QPointF(0, 0)), QPointF(240, 130));

        cad::Document empty;
        QtUi ui;
        DrawingView blank(empty, empty.modelSpace(), ui);
        QVERIFY(!blank.zoomExtents());  // the caller says there are no extents
        QVERIFY(!blank.zoomPrevious());
    }

    void settingsAndTheKeptImage() {
        QTemporaryDir dir;
        SettingsStore store(dir.filePath("Tolvane_v2.ini"));
        Fixture f;
        store.write(setting::BkColor, "250,250,240");
        store.write(setting::CrossSize, "100");
        store.write("PickSize", "7");
        f.view->applySettings(store);
        QCOMPARE(f.view->background(), QColor(250, 250, 240));
        QCOMPARE(f.view->crossSize(), 100);
        QCOMPARE(f.view->pickSize(), 7);
        store.write(setting::BkColor, "5");
        f.view->applySettings(store);
        QCOMPARE(f.view->background(), QColor(0, 0, 255));
        store.write(setting::BkColor, "not a colour");
        f.view->applySettings(store);
        QCOMPARE(f.view->background(), QColor(0, 0, 255));

        // The line (colour 7) shows white on the blue background; the crosshair moves over
        // the kept image without the drawing being rendered again.
        const QImage shown = f.view->grab().toImage();
        QCOMPARE(shown.pixelColor(220, 150), QColor(Qt::white));
        QCOMPARE(shown.pixelColor(220, 100), QColor(0, 0, 255));
        const int renders = f.view->renderCount();
        QSignalSpy moved(f.view, &DrawingView::cursorMoved);
        QTest::mouseMove(f.view, QPoint(300, 50));
        f.view->grab();
        QTest::mouseMove(f.view, QPoint(310, 60));
        f.view->grab();
        QTRY_VERIFY(!moved.isEmpty() && moved.last().at(0).toPointF() == QPointF(55, 45));
        f.view->grab();
        QCOMPARE(f.view->renderCount(), renders);
        f.view->zoomOut();
        f.view->grab();
        QCOMPARE(f.view->renderCount(), renders + 1);
    }

    // The scroll bars span the limits and extents with half a view round them; moving one
    // pans the view by as much (a step is a pixel), a pan made another way moves them, a drag
    // is one step back for Zoom Previous, and the setting hides either.
    void scrollBarsPanTheViewAndFollowIt() {
        Fixture f;
        auto* h = new QScrollBar(Qt::Horizontal, &f.window);
        auto* v = new QScrollBar(Qt::Vertical, &f.window);
        ViewScrollBars bars(*f.view, h, v);
        // Visible -100..100 x -75..75; the limits 0..420 x 0..297 and half a view round them.
        QCOMPARE(h->pageStep(), 400);
        QCOMPARE(h->value(), 0);
        QCOMPARE(h->maximum(), (420 + 100 + 100 - 200) * 2);
        QCOMPARE(v->value(), (297 + 75 - 75) * 2);  // the top of the area is its top
        h->setValue(h->value() + 50);
        QCOMPARE(f.view->view().centre(), QPointF(25, 0));
        QCOMPARE(v->value(), v->maximum());  // the view is at the foot of the area: it goes up
        v->setValue(v->value() - 20);
        QCOMPARE(f.view->view().centre(), QPointF(25, 10));
        QVERIFY(f.view->zoomPrevious());
        QCOMPARE(f.view->view().centre(), QPointF(25, 0));
        QCOMPARE(v->value(), 297 * 2);

        f.view->pan(QPointF(-40, 0));  // the drawing dragged 40 pixels left
        QCOMPARE(h->value(), 50 + 40);
        const int span = h->maximum();
        f.view->zoomIn();
        QVERIFY(h->maximum() > span);  // a step is still a pixel, of which the area has more
        QCOMPARE(h->pageStep(), 400);

        // A drag of the thumb in several moves goes back in one step.
        const QPointF before = f.view->view().centre();
        h->setSliderDown(true);
        h->setValue(h->value() + 10);
        h->setValue(h->value() + 10);
        h->setSliderDown(false);
        QVERIFY(f.view->view().centre() != before);
        QVERIFY(f.view->zoomPrevious());
        QCOMPARE(f.view->view().centre(), before);

        bars.setShown(1);
        QVERIFY(h->isVisible() && !v->isVisible());
        bars.setShown(2);
        QVERIFY(!h->isVisible() && v->isVisible());
        bars.setShown(0);
        QVERIFY(h->isVisible() && v->isVisible());
    }

    // A layout shown the first time is fitted to its sheet; every space comes back as it was
    // left.
    void eachSpaceKeepsItsViewAndALayoutFirstShowsItsSheet() {
        Fixture f;
        cad::Space& sheet = f.doc.addLayout(QStringLiteral("Layout1"));
        f.doc.add(sheet, cad::Entity::rect({0, 0}, {420, 297}));
        f.view->setSpace(sheet);
        const cad::BBox shown = f.view->view().visibleBox();
        QVERIFY(shown.contains(cad::BBox{0, 0, 420, 297}));
        QVERIFY(shown.x1 - shown.x0 < 420 * 1.2 || shown.y1 - shown.y0 < 297 * 1.2);
        f.view->pan(QPointF(30, 0));
        const QPointF panned = f.view->view().centre();
        f.view->setSpace(f.doc.modelSpace());
        QCOMPARE(f.view->view().centre(), QPointF(0, 0));
        QCOMPARE(f.view->view().scale(), 2.0);
        f.view->setSpace(sheet);
        QCOMPARE(f.view->view().centre(), panned);
    }
};

QTEST_MAIN(TestDrawingView)
#include "test_drawing_view.moc"
