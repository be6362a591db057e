// The drawing window's canvas: shows one space of a document through the renderer and turns
// the mouse and keys into view changes and answers to the Ui seam's drawing prompts. It keeps
// the rendered drawing as an image and renders again only when the model or the view changed,
// so the crosshair, pick box, rubber band and snap marker move over the kept image.
//
// Mouse: the wheel zooms about the cursor (the other way round when MW_REVERSED is "1"), a
// middle-button drag pans, a left click answers a waiting point or entity prompt with the
// world point under the cursor (or the object snap found near it). At a selection prompt a
// click on an entity picks it (Shift: takes it back), a click on empty space starts a window
// that a second click or the release of a drag ends (left to right: window, right to left:
// crossing), and Enter ends the prompt with everything picked; what is picked so far is shown
// highlighted. Escape cancels the waiting prompt. The entity a click would pick is
// highlighted while the cursor rests over it. With no command running, a left-button drag
// that starts on a grip of a selected entity moves that grip (GripDrag; the owner makes the
// change on gripMoved). Points picked or dragged to land, in this order, on the object snap
// found near the cursor, on the drawing's snap spacing (its snap mode), and ortho to the base
// point. The drawing's grid mode shows a dot at every grid spacing.
// The right button asks for the context menu (whose Enter ends a list of points or a
// selection).
//
// View settings (SettingsStore values; an empty or unreadable value keeps the default):
//   BkColor   background: a colour index "1".."255" or "R,G,B"; default black.
//   CrossSize crosshair length as a percentage (1..100) of the view's width and height;
//             100 spans the whole view; default 5.
//   PickSize  half the side of the pick box in pixels; default 3. Also the snap aperture is
//             three times this.
//   GripSize  half the side of a grip square in pixels; default 3.
//   GripColor, OSnapColor  the colour of grips (default blue) and of the object snap marker
//             (default amber), as BkColor.
//   OSnapSize half the side of the object snap marker in pixels; default 6.
//   PenCaps   "1": lines wider than a pixel end flat; "0" (default) rounded.
//   CurveResolution  segments per full turn of a curve; 0 (default) as fine as the screen.
//   PtSize    side of the square a point entity is drawn as, in pixels; default 3.
//   MW_REVERSED "1": wheel up zooms out.
#pragma once

#include <QHash>
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

#include "app/drawing/grip_drag.h"
#include "cad/document.h"
#include "cad/picking.h"
#include "cad/render.h"
#include "cad/spatial_index.h"
#include "cad/view.h"

namespace tolvane {

class Ui;
class SettingsStore;

class DrawingView : public QWidget {
    Q_OBJECT
  public:
    // Shows `space` of `doc`. With `index` (kept in step with the space by its owner) searches
    // go through it; without one the view builds and keeps its own.
    DrawingView(cad::Document& doc, cad::Space& space, Ui& ui,
                const cad::SpatialIndex* index = nullptr, QWidget* parent = nullptr);
    ~DrawingView() override;

    // Reads the view settings listed above.
    void applySettings(const SettingsStore& store);
    // "R,G,B" or a colour index; nullopt when the text is neither.
    static std::optional<QColor> parseColor(const QString& text);

    void setBackground(const QColor& color);
    QColor background() const { return options_.background; }
    void setCrossSize(int percent);
    int crossSize() const { return crossSize_; }
    void setPickSize(int pixels);
    int pickSize() const { return pickSize_; }
    void setGripSize(int pixels);
    void setPointSize(double pixels);
    void setWheelReversed(bool reversed) { wheelReversed_ = reversed; }
    bool wheelReversed() const { return wheelReversed_; }
    // Ortho: a picked point drawn from a base point keeps to the horizontal or the vertical
    // through it (F8 switches it). It is the drawing's own mode, kept in its file's header.
    void setOrtho(bool on) { doc_.settings().orthoMode = on; }
    bool ortho() const { return doc_.settings().orthoMode; }
    // The drawing aids in the document's settings (grid, snap, ortho) changed: drawn again.
    void aidsChanged();
    // Object snap modes (cad::SnapMode bits) used while a point prompt waits.
    void setSnapModes(unsigned modes);
    // Automatic grips: the grips of the selection are shown (on by default).
    void setAutoGrips(bool on);
    unsigned snapModes() const { return snapModes_; }
    // Entities shown with grips.
    void setSelection(const QStringList& handles);
    QStringList selection() const { return options_.selected; }
    // The entities shown chosen: those picked so far while a selection prompt waits, else
    // the selection.
    QStringList chosen() const;
    // The drawing limits "zoom all" includes; default 0,0 to 420,297.
    void setLimits(const cad::BBox& limits) { limits_ = limits; }

    const cad::View& view() const { return view_; }
    // Replaces the view (a saved view restored); renders again.
    void setView(const cad::View& view);

    // Zoom commands. The bool ones return false when there was nothing to do: no extents
    // (the caller says "There are no extents!"), no earlier view, an empty window.
    void zoomIn();
    void zoomOut();
    // Zooms by `factor` (> 1 closer) keeping the world point where it is on the screen.
    void zoomAbout(double factor, QPointF world);
    // The drawing moves so that world point `from` comes where `to` was.
    void panWorld(QPointF from, QPointF to);
    bool zoomWindow(QPointF worldCorner1, QPointF worldCorner2);
    bool zoomExtents();
    bool zoomPrevious();
    bool zoomAll();
    // Zooms about the middle of the view, when needed, so that a thing of this size is seen
    // at a readable size: its larger side about a fifth of the view (a placed block).
    void zoomToShow(const cad::BBox& size);
    // Without `record` the view before is not kept for zoomPrevious (the steps of a drag after
    // its first).
    void pan(QPointF pixels, bool record = true);
    // The extents of the space shown once its index is ready (an invalid box before): what
    // there is to see, had without a pass over the entities.
    cad::BBox extentsIfKnown() const;
    const cad::BBox& limits() const { return limits_; }

    // Shows another space of the document (a layout tab), with its index as above: as it was
    // last seen here, or the first time fitted to what it holds (a whole sheet).
    void setSpace(cad::Space& space, const cad::SpatialIndex* index = nullptr);
    const cad::Space& space() const { return *space_; }

    // The model has changed: the view's own index is rebuilt and the drawing rendered again.
    void modelChanged();

    // The text of the waiting prompt, painted in the lower left corner (empty: none). The
    // owner connects it to the Ui's prompt notification.
    void setPromptText(const QString& text);

    // The distance a click reaches, in drawing units: the pick box, or a fixed distance
    // whatever the zoom (batch runs, so that a script picks alike at any window size).
    double pickAperture() const;
    bool searchable() const;
    void setFixedPickAperture(std::optional<double> world) { fixedAperture_ = world; }
    // The entity a click at the cursor would pick now, shown highlighted; "" when none (a
    // click would answer a point or start a window).
    QString hovered() const { return hovered_; }

    // The snap found near the cursor for the waiting point prompt (nothing when none).
    const cad::SnapResult& currentSnap() const { return snap_; }
    // How many times the drawing itself has been rendered (not counting overlays).
    int renderCount() const { return renderCount_; }

  signals:
    // The user chose entities with the mouse while no command asked (a click, a window or
    // crossing drag); empty when a click found nothing.
    void selectionChosen(const QStringList& handles);
    // The world coordinates under the cursor, for the status bar.
    void cursorMoved(QPointF world);
    // A grip of a selected entity was dragged to a world point.
    void gripMoved(const QString& handle, int grip, QPointF to);
    // A double-click with the left button at a world point (the entity there is dispatched).
    void doubleClicked(QPointF world);
    // The right button was pressed at a world point (global: where the menu opens).
    void contextMenuAsked(QPointF world, QPoint global);
    void viewChanged();
    // The spatial index of the space shown has been built (extentsIfKnown() now answers).
    void indexReady();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    const cad::SpatialIndex& index() const { return external_ ? *external_ : *own_; }
    // The view changed; `fitted` when it now shows the extents (kept on resize).
    void viewMoved(bool fitted = false);
    void renderCache();
    void updateSnap();
    void paintSnapMarker(QPainter& p, QPointF at, unsigned mode) const;
    void paintGrid(QPainter& p, const cad::View& pixelView) const;

    cad::Document& doc_;
    cad::Space* space_;
    Ui& ui_;
    const cad::SpatialIndex* external_ = nullptr;
    std::unique_ptr<cad::SpatialIndex> own_;
    bool indexQueued_ = false;
    cad::View view_;
    QHash<QString, cad::View> spaceViews_;  // the view each space was left at, by upper-case name
    cad::RenderOptions options_;
    cad::BBox limits_{0, 0, 420, 297};
    QImage cache_;
    bool dirty_ = true;
    int renderCount_ = 0;

    int crossSize_ = 5;
    int pickSize_ = 3;
    QColor osnapColor_ = QColor(255, 200, 0);
    int osnapSize_ = 6;
    bool wheelReversed_ = false;
    bool autoGrips_ = true;
    bool fitted_ = false;
    // The point a click answers or a grip is dragged to: snapped, else on the snap spacing
    // and kept ortho to the prompt's base (the grip's first place).
    QPointF answerPoint(QPointF device);
    void updateHighlight();
    // A paper layout is shown (drawn on a white sheet).
    bool paperShown() const;
    // Selects with the mouse: the entity clicked, or what a window or crossing drag takes.
    void chooseWithMouse(QPointF from, QPointF to, Qt::KeyboardModifiers modifiers);
    // The entity a click at a device point means in the present state (an attribute standing
    // for its insert): at an entity or selection prompt the nearest of the kind it wants,
    // else the nearest of any; "" at a point prompt or with nothing there.
    QString pickAt(QPointF device) const;
    void updateHover();
    // The left button at a selection prompt: a pick, a window's first corner or its second;
    // its release ends a window dragged open (true when it did).
    void selectionPress(QPointF device, Qt::KeyboardModifiers modifiers);
    bool selectionRelease(QPointF device, Qt::KeyboardModifiers modifiers);
    void finishWindow(QPointF device, Qt::KeyboardModifiers modifiers);
    // A window begun for a prompt that has since ended is dropped (a script's prompts end
    // without telling the view).
    void dropStaleWindow();
    // A press and release this far apart are a drag, not a click: a few pixels, or with a
    // fixed pick aperture that distance in the drawing.
    bool dragged(QPointF from, QPointF to) const;
    // The selection, the entities picked at a selection prompt and the one under the cursor,
    // drawn highlighted over the kept image.
    void paintHighlights(QPainter& p);
    unsigned snapModes_ = 0;
    QString promptText_;

    std::optional<QPointF> cursor_;     // device position while over the view
    std::optional<QPointF> corner_;     // first corner of a selection window (world)
    std::optional<QPointF> pressedAt_;  // left button down with nothing asked (device)
    QPainterPath highlight_;            // outline of the selection (world)
    std::optional<QPointF> panFrom_;    // device position where a pan drag started
    QPointF panOffset_;                 // pixels the drag has moved so far
    std::optional<QPointF> lastPoint_;  // last point answered: base for Perp and Tangent
    cad::SnapResult snap_;
    GripDrag grips_;
    std::optional<double> fixedAperture_;
    QString hovered_;
    QPainterPath hoverPath_;             // outline of the hovered entity (world)
    QStringList pickedShown_;            // the picks of the selection prompt outlined below
    QPainterPath pickedPath_;            // their outline (world)
    std::optional<QPointF> windowFrom_;  // device point a selection prompt's window began at
    quint64 windowPrompt_ = 0;           // the prompt it began for
};

}  // namespace tolvane
