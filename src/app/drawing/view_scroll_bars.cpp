#include "app/drawing/view_scroll_bars.h"

#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "app/drawing/drawing_view.h"

namespace tolvane {

ViewScrollBars::ViewScrollBars(DrawingView& view, QScrollBar* horizontal, QScrollBar* vertical)
    : QObject(&view), view_(view), horizontal_(horizontal), vertical_(vertical) {
    for (QScrollBar* bar : {horizontal_, vertical_}) {
        connect(bar, &QScrollBar::valueChanged, this,
                [this, bar] { scrolled(bar->orientation()); });
        // A drag is one step back for Zoom Previous, however many moves it makes.
        connect(bar, &QScrollBar::sliderPressed, this, [this] { dragStarted_ = true; });
        connect(bar, &QScrollBar::sliderReleased, this, [this] { follow(); });
    }
    connect(&view_, &DrawingView::viewChanged, this, &ViewScrollBars::follow);
    connect(&view_, &DrawingView::indexReady, this, &ViewScrollBars::follow);
    follow();
}

void ViewScrollBars::setShown(int which) {
    if (which < 1 || which > 3) which = 3;
    horizontal_->setVisible(which & 1);
    vertical_->setVisible(which & 2);
}

void ViewScrollBars::follow() {
    const cad::View& v = view_.view();
    const cad::BBox visible = v.visibleBox();
    const double w = visible.x1 - visible.x0, h = visible.y1 - visible.y0;
    if (!(w > 0) || !(h > 0)) return;
    // While a bar is dragged what it spans stays put, so the thumb stays under the pointer.
    if (!horizontal_->isSliderDown() && !vertical_->isSliderDown()) {
        cad::BBox content = view_.extentsIfKnown();
        content.add(view_.limits());
        cad::BBox area = visible;
        if (content.isValid())
            area.add(cad::BBox{content.x0 - w / 2, content.y0 - h / 2, content.x1 + w / 2,
                               content.y1 + h / 2});
        area_ = area;
        unit_ = std::max(1.0 / v.scale(),
                         std::max(area_.x1 - area_.x0, area_.y1 - area_.y0) / kMaxSteps);
    }
    const auto steps = [this](double world) { return int(std::lround(world / unit_)); };
    setting_ = true;
    horizontal_->setRange(0, std::max(0, steps(area_.x1 - area_.x0 - w)));
    horizontal_->setPageStep(std::max(1, steps(w)));
    horizontal_->setSingleStep(std::max(1, steps(w) / 20));
    horizontal_->setValue(steps(visible.x0 - area_.x0));
    vertical_->setRange(0, std::max(0, steps(area_.y1 - area_.y0 - h)));
    vertical_->setPageStep(std::max(1, steps(h)));
    vertical_->setSingleStep(std::max(1, steps(h) / 20));
    vertical_->setValue(steps(area_.y1 - visible.y1));  // the top of the bar is the top
    setting_ = false;
}

void ViewScrollBars::scrolled(Qt::Orientation orientation) {
    if (setting_) return;
    const cad::View& v = view_.view();
    const cad::BBox visible = v.visibleBox();
    const bool dragging = horizontal_->isSliderDown() || vertical_->isSliderDown();
    const bool record = !dragging || dragStarted_;
    dragStarted_ = false;
    // The drawing moves against the view: a view moved right draws it further left.
    if (orientation == Qt::Horizontal) {
        const double to = area_.x0 + horizontal_->value() * unit_;
        view_.pan(QPointF(-(to - visible.x0) * v.scale(), 0), record);
    } else {
        const double top = area_.y1 - vertical_->value() * unit_;
        view_.pan(QPointF(0, (top - visible.y1) * v.scale()), record);
    }
}

}  // namespace tolvane
