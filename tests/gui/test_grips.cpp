// Grips and drawing aids in the main window with real mouse and key events: a grip dragged
// on a selected entity changes it as one undo step (a line's end, a polyline's vertex, an
// insert with its attributes, a cable's end resolved again where it now lies), a drag let go
// with Escape changes nothing, and the SNAP, GRID, ORTHO and OSNAP aids switch by their keys
// and status-bar buttons, snap lands a drag on the spacing and OSNAP is kept for the user.
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QToolButton>
#include <QtTest>
#include <functional>

#include "app/drawing/drawing_view.h"
#include "app/drawing/drawing_window.h"
#include "app/drawing/drawing_windows.h"
#include "cad/dxf.h"
#include "cad/editing.h"
#include "cad/picking.h"
#include "db/database.h"
#include "drawings/entity_tag.h"
#include "drawings/standard_drawings.h"
#include "gui_fixture.h"

using namespace tolvane;

class GripsTest : public test::MainWindowFixture {
    Q_OBJECT

    // The drawing's keys (Ctrl+Z) are the main window's shortcuts: they need it active.
    void restartActive() {
        restart("");
        main_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main_.get()));
    }

    // Opens the drawing in a maximised window whose view shows 5 pixels per unit round
    // (15,5), so that every point the tests use lies on the view.
    DrawingWindow* open(const cad::Document& doc, const char* name) {
        const QString path = dir_.filePath(QString::fromLatin1(name));
        cad::saveDxf(doc, path);
        DrawingWindow* w = main_->drawings()->open(path);
        if (!w) return nullptr;
        if (auto* frame = qobject_cast<QMdiSubWindow*>(w->parentWidget())) frame->showMaximized();
        QCoreApplication::sendPostedEvents();
        if (w->view().width() < 400 || w->view().height() < 250) return nullptr;
        // An odd size puts the centre between two pixels: shift it half a pixel so that
        // whole units fall on whole pixels.
        const QSize size = w->view().size();
        const QPointF centre(15 + (size.width() % 2) * 0.1, 5 + (size.height() % 2) * 0.1);
        w->view().setView(cad::View(size, centre, 5.0));
        return w;
    }
    static QPoint at(DrawingWindow* w, QPointF world) {
        return w->view().view().toDevice(world).toPoint();
    }
    // Moves the mouse over the view with the left button held (delivered at once, as the
    // rubber band needs it before the release).
    static void moveHeld(DrawingWindow* w, QPointF to) {
        const QPointF device = at(w, to);
        QMouseEvent move(QEvent::MouseMove, device, w->view().mapToGlobal(device), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w->view(), &move);
    }
    // Presses on the grip at `from`, moves to `to` and lets go there; `held` runs before the
    // button is let go.
    static void drag(DrawingWindow* w, QPointF from, QPointF to,
                     const std::function<void()>& held = {}) {
        QTest::mousePress(&w->view(), Qt::LeftButton, {}, at(w, from));
        moveHeld(w, to);
        if (held) held();
        QTest::mouseRelease(&w->view(), Qt::LeftButton, {}, at(w, to));
    }
    static const cad::Entity& entity(DrawingWindow* w, const QString& handle) {
        return *w->drawing().document().find(handle);
    }
    // A router block at a point, its name attribute set.
    static QString router(cad::Document& doc, QPointF where, const QString& name) {
        cad::Entity insert = cad::makeInsert(doc, "RTR_D", where);
        for (cad::Entity& a : insert.attributes)
            if (a.tag->compare("RTR", Qt::CaseInsensitive) == 0) a.text = name;
        return doc.add(doc.modelSpace(), std::move(insert)).handle;
    }
    QString routerFile() {
        const QString file = dir_.filePath("RTR_D.dxf");
        if (!QFile::exists(file)) cad::saveDxf(standard::blockDrawing("RTR_D"), file);
        return file;
    }

  private slots:
    void init() {
        QVERIFY(startUp());
        restartActive();
    }
    void cleanup() { shutDown(); }

    void lineEndDragIsOneUndoStep() {
        cad::Document doc;
        const QString line = doc.add(doc.modelSpace(), cad::Entity::line({0, 0}, {10, 0})).handle;
        DrawingWindow* w = open(doc, "line.dxf");
        QVERIFY(w);
        w->view().setSelection({line});
        const int steps = w->drawing().undo().undoCount();

        drag(w, {10, 0}, {13, 4});
        QCOMPARE(entity(w, line).end, QPointF(13, 4));
        QCOMPARE(entity(w, line).start, QPointF(0, 0));
        QCOMPARE(w->drawing().undo().undoCount(), steps + 1);
        QVERIFY(w->drawing().modified());

        // Pressed and let go on a grip, or let go after Escape: nothing changes.
        drag(w, {0, 0}, {0, 0});
        QTest::mousePress(&w->view(), Qt::LeftButton, {}, at(w, {0, 0}));
        moveHeld(w, {-5, -5});
        QTest::keyClick(&w->view(), Qt::Key_Escape);
        QTest::mouseRelease(&w->view(), Qt::LeftButton, {}, at(w, {-5, -5}));
        QCOMPARE(entity(w, line).start, QPointF(0, 0));
        QCOMPARE(w->drawing().undo().undoCount(), steps + 1);

        QTest::keyClick(&w->view(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(entity(w, line).end, QPointF(10, 0));
        QCOMPARE(w->drawing().undo().undoCount(), steps);
    }

    // The drag reaches the vertex under the grip (that the others stay is the cad grips' test).
    void polylineVertexMovesAlone() {
        cad::Document doc;
        const QString pline =
            doc.add(doc.modelSpace(),
                    cad::Entity::polyline({{{0, 0}}, {{10, 0}}, {{10, 10}}}, false))
                .handle;
        DrawingWindow* w = open(doc, "pline.dxf");
        QVERIFY(w);
        w->view().setSelection({pline});
        drag(w, {10, 0}, {16, -3});
        QCOMPARE(entity(w, pline).vertices[1].pos, QPointF(16, -3));
        // Not selected: a press there selects rather than drags.
        w->view().setSelection({});
        drag(w, {16, -3}, {20, -8});
        QCOMPARE(entity(w, pline).vertices[1].pos, QPointF(16, -3));
    }

    // An insert moved by its grip (its attributes move with it: the cad grips' test) leaves the
    // ends of the cables at it as they were.
    void insertMovesAndCablesKeepTheirEnds() {
        cad::Document doc;
        cad::addBlockFromFile(doc, routerFile(), "RTR_D");
        const QString box = router(doc, {20, 0}, "RTR-01");
        cad::Entity cable =
            cad::Entity::polyline({{{0, 0}}, {{10, 0}}, {{10, 0}}, {{20, 0}}}, false);
        tag::tagEntity(cable, tag::kind::Cable, {}, {}, {}, {}, {}, "SRC-STRING", "RTR-01|A-1");
        const QString wire = doc.add(doc.modelSpace(), std::move(cable)).handle;
        DrawingWindow* w = open(doc, "insert.dxf");
        QVERIFY(w);
        w->view().setSelection({box});
        drag(w, {20, 0}, {25, 12});
        QCOMPARE(entity(w, box).start, QPointF(25, 12));
        QCOMPARE(tag::dst(entity(w, wire)), QString("RTR-01|A-1"));
        QCOMPARE(tag::src(entity(w, wire)), QString("SRC-STRING"));
    }

    void cableEndDragResolvesTheEndAgain() {
        cad::Document doc;
        cad::addBlockFromFile(doc, routerFile(), "RTR_D");
        router(doc, {30, 0}, "RTR-01");
        router(doc, {30, 20}, "RTR-02");
        cad::Entity number = cad::Entity::textAt({29.9, 0.03}, "Cable #", 0.25);
        number.hAlign = 2;
        number.end = number.start;
        const QString text = doc.add(doc.modelSpace(), std::move(number)).handle;
        cad::Entity cable =
            cad::Entity::polyline({{{0, 0}}, {{15, 0}}, {{15, 0}}, {{30, 0}}}, false);
        tag::tagEntity(cable, tag::kind::Cable, {}, {}, {}, {}, "|" + text, "", "RTR-01|A-1");
        const QString wire = doc.add(doc.modelSpace(), std::move(cable)).handle;
        DrawingWindow* w = open(doc, "cable.dxf");
        QVERIFY(w);
        w->view().setSelection({wire});
        const int steps = w->drawing().undo().undoCount();

        // TOLVANE_SCREENSHOT_GRIPDRAG names a picture of the window during the drag.
        drag(w, {30, 0}, {30, 20},
             [&] { test::screenshot(*main_, "TOLVANE_SCREENSHOT_GRIPDRAG"); });
        QCOMPARE(entity(w, wire).vertices.last().pos, QPointF(30, 20));
        QCOMPARE(tag::field(tag::dst(entity(w, wire)), 0), QString("RTR-02"));
        QCOMPARE(entity(w, text).end, QPointF(29.9, 20.03));
        QCOMPARE(tag::src(entity(w, wire)), QString());  // the other end is left alone

        QTest::keyClick(&w->view(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w->drawing().undo().undoCount(), steps);
        QCOMPARE(tag::dst(entity(w, wire)), QString("RTR-01|A-1"));
        QCOMPARE(entity(w, text).end, QPointF(29.9, 0.03));
    }

    void aidsSwitchByKeysAndButtons() {
        cad::Document doc;
        const QString line = doc.add(doc.modelSpace(), cad::Entity::line({0, 0}, {10, 0})).handle;
        DrawingWindow* w = open(doc, "aids.dxf");
        QVERIFY(w);
        const cad::DrawingSettings& set = w->drawing().document().settings();
        auto* snap = main_->findChild<QToolButton*>("btnSnap");
        auto* grid = main_->findChild<QToolButton*>("btnGrid");
        auto* ortho = main_->findChild<QToolButton*>("btnOrtho");
        auto* osnap = main_->findChild<QToolButton*>("btnOsnap");
        QVERIFY(snap && grid && ortho && osnap);
        // A new user: the running snaps are on, end point, insertion point and nearest.
        QVERIFY(osnap->isChecked());
        QCOMPARE(w->view().snapModes(),
                 unsigned(cad::SnapEndPoint | cad::SnapInsert | cad::SnapNearest));
        QVERIFY(!grid->isChecked() && !snap->isChecked() && !ortho->isChecked());

        QTest::keyClick(&w->view(), Qt::Key_F7);
        QVERIFY(set.gridMode && grid->isChecked());
        QVERIFY(user_->transcript.contains("STATUS Grid on"));
        QTest::keyClick(&w->view(), Qt::Key_F8);
        QVERIFY(set.orthoMode && ortho->isChecked());
        ortho->click();
        QVERIFY(!set.orthoMode && !ortho->isChecked());
        grid->click();
        QVERIFY(!set.gridMode && !grid->isChecked());

        // Snap puts a dragged grip on the spacing.
        w->drawing().document().settings().snapSpacing = {0.5, 0.5};
        QTest::keyClick(&w->view(), Qt::Key_F9);
        QVERIFY(set.snapMode && snap->isChecked());
        w->view().setSelection({line});
        drag(w, {10, 0}, {13.2, 4.1});
        QCOMPARE(entity(w, line).end, QPointF(13, 4));

        // OSNAP off stays off for the user's next run.
        QTest::keyClick(&w->view(), Qt::Key_F3);
        QVERIFY(!osnap->isChecked());
        QCOMPARE(w->view().snapModes(), 0u);
        w->drawing().setModified(false);
        restartActive();
        QVERIFY(!main_->findChild<QToolButton*>("btnOsnap")->isChecked());
        main_->findChild<QToolButton*>("btnOsnap")->click();
        DrawingWindow* again = open(doc, "aids2.dxf");
        QVERIFY(again);
        QCOMPARE(again->view().snapModes(),
                 unsigned(cad::SnapEndPoint | cad::SnapInsert | cad::SnapNearest));
    }
};

QTEST_MAIN(GripsTest)
#include "test_grips.moc"
