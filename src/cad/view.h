// The mapping between world coordinates of a drawing (y up) and the device pixels of a view
// (y down), with the zoom and pan operations of the drawing window and the list of earlier
// views that "zoom previous" walks back through. A plain value: copy it to keep a view.
#pragma once

#include <QPointF>
#include <QSize>
#include <QTransform>
#include <vector>

#include "cad/geometry.h"

namespace tolvane::cad {

class View {
  public:
    View() = default;
    // A view of `size` pixels with `centre` (world) in its middle, `scale` pixels per unit.
    View(QSize size, QPointF centre, double scale);

    QSize size() const { return size_; }
    // Keeps the world centre and the scale; the visible area grows or shrinks.
    void setSize(QSize size) { size_ = size; }
    QPointF centre() const { return centre_; }
    double scale() const { return scale_; }  // pixels per world unit

    QPointF toDevice(QPointF world) const {
        return {(world.x() - centre_.x()) * scale_ + size_.width() / 2.0,
                size_.height() / 2.0 - (world.y() - centre_.y()) * scale_};
    }
    QPointF toWorld(QPointF device) const {
        return {centre_.x() + (device.x() - size_.width() / 2.0) / scale_,
                centre_.y() - (device.y() - size_.height() / 2.0) / scale_};
    }
    double toDevice(double worldLength) const { return worldLength * scale_; }
    double toWorld(double deviceLength) const { return deviceLength / scale_; }
    // World to device as a transform (for painting world geometry directly).
    QTransform transform() const;
    // The world area the view shows.
    BBox visibleBox() const;

    // Zooms by `factor` (> 1 closer) keeping the world point under `device` where it is.
    void zoomAt(double factor, QPointF device);
    // Fits a world box into the view; false (view unchanged) for an empty box.
    bool zoomWindow(const BBox& world);
    // Fits the extents with a margin of kExtentsMargin of the view on every side; false
    // when there are no extents, so the caller can say so. Without `record` the view before
    // is not kept for zoomPrevious (a refit to a new window size).
    bool zoomExtents(const BBox& extents, bool record = true);
    // Fits the extents together with the drawing limits; false when both are empty.
    bool zoomAll(const BBox& extents, const BBox& limits);
    // Goes back to the view before the last zoom or pan; false when there is none.
    bool zoomPrevious();
    bool hasPrevious() const { return !previous_.empty(); }
    // The drawing moves with the pointer by this many pixels. A drag pans in many small
    // steps: it records the view once at its start (record false for the steps after).
    void panDevice(QPointF pixels, bool record = true);
    void panWorld(QPointF offset);  // the view moves by this world offset

    static constexpr double kExtentsMargin = 0.03;
    static constexpr int kMaxPrevious = 25;
    // Scales kept away from the limits of double arithmetic.
    static constexpr double kMinScale = 1e-9;
    static constexpr double kMaxScale = 1e9;

  private:
    struct State {
        QPointF centre;
        double scale;
    };
    void remember();
    bool fit(const BBox& box, double margin, bool record = true);

    QSize size_{1, 1};
    QPointF centre_;
    double scale_ = 1.0;
    std::vector<State> previous_;
};

}  // namespace tolvane::cad
