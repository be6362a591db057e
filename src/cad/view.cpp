#include "cad/view.h"

#include <algorithm>
#include <cmath>

namespace tolvane::cad {

View::View(QSize size, QPointF centre, double scale)
    : size_(size), centre_(centre), scale_(std::clamp(scale, kMinScale, kMaxScale)) {}

QTransform View::transform() const {
    return QTransform(scale_, 0, 0, -scale_, size_.width() / 2.0 - centre_.x() * scale_,
                      size_.height() / 2.0 + centre_.y() * scale_);
}

BBox View::visibleBox() const {
    return BBox::of(toWorld(QPointF(0, 0)), toWorld(QPointF(size_.width(), size_.height())));
}

void View::remember() {
    if (!previous_.empty() && previous_.back().centre == centre_ &&
        previous_.back().scale == scale_)
        return;
    previous_.push_back({centre_, scale_});
    if (int(previous_.size()) > kMaxPrevious) previous_.erase(previous_.begin());
}

void View::zoomAt(double factor, QPointF device) {
    if (!(factor > 0) || !std::isfinite(factor)) return;
    const double scale = std::clamp(scale_ * factor, kMinScale, kMaxScale);
    if (scale == scale_) return;
    remember();
    const QPointF fixed = toWorld(device);
    scale_ = scale;
    // Move the centre so that `fixed` maps to `device` again.
    centre_ = fixed - QPointF((device.x() - size_.width() / 2.0) / scale_,
                              -(device.y() - size_.height() / 2.0) / scale_);
}

bool View::fit(const BBox& box, double margin, bool record) {
    if (!box.isValid()) return false;
    const double w = std::max(1.0, size_.width() * (1.0 - 2 * margin));
    const double h = std::max(1.0, size_.height() * (1.0 - 2 * margin));
    const double bw = box.x1 - box.x0, bh = box.y1 - box.y0;
    double scale = kMaxScale;
    if (bw > 0) scale = std::min(scale, w / bw);
    if (bh > 0) scale = std::min(scale, h / bh);
    if (bw <= 0 && bh <= 0) scale = scale_;  // a single point: centre on it, keep the zoom
    if (record) remember();
    scale_ = std::clamp(scale, kMinScale, kMaxScale);
    centre_ = QPointF((box.x0 + box.x1) / 2, (box.y0 + box.y1) / 2);
    return true;
}

bool View::zoomWindow(const BBox& world) {
    if (!world.isValid() || (world.x1 - world.x0 <= 0 && world.y1 - world.y0 <= 0)) return false;
    return fit(world, 0.0);
}

bool View::zoomExtents(const BBox& extents, bool record) {
    return fit(extents, kExtentsMargin, record);
}

bool View::zoomAll(const BBox& extents, const BBox& limits) {
    BBox all = extents;
    all.add(limits);
    return fit(all, kExtentsMargin);
}

bool View::zoomPrevious() {
    if (previous_.empty()) return false;
    centre_ = previous_.back().centre;
    scale_ = previous_.back().scale;
    previous_.pop_back();
    return true;
}

void View::panDevice(QPointF pixels, bool record) {
    if (pixels.isNull()) return;
    if (record) remember();
    centre_ -= QPointF(pixels.x() / scale_, -pixels.y() / scale_);
}

void View::panWorld(QPointF offset) {
    if (offset.isNull()) return;
    remember();
    centre_ += offset;
}

}  // namespace tolvane::cad
