// The scroll bars of a drawing view. They span what there is to see: the drawing's extents
// and limits with half a view of room round them, and the view itself wherever it went.
// Moving one pans the view; a pan or zoom made another way moves them. The ScrollBars setting
// says which are shown: 1 the horizontal one, 2 the vertical one, 3 both (the default).
#pragma once

#include <QObject>

#include "cad/geometry.h"

class QScrollBar;

namespace tolvane {

class DrawingView;

class ViewScrollBars : public QObject {
    Q_OBJECT
  public:
    ViewScrollBars(DrawingView& view, QScrollBar* horizontal, QScrollBar* vertical);

    // 1 horizontal, 2 vertical, 3 both; anything else both.
    void setShown(int which);
    // Takes the view's place and the drawing's extents again.
    void follow();

    // Steps of a bar beyond this are coarser than a pixel, so that a huge drawing at a close
    // zoom still fits a bar's range.
    static constexpr double kMaxSteps = 1e8;

  private:
    void scrolled(Qt::Orientation orientation);

    DrawingView& view_;
    QScrollBar* horizontal_;
    QScrollBar* vertical_;
    cad::BBox area_;     // what the bars span (world)
    double unit_ = 1.0;  // world units per step of a bar
    bool setting_ = false;
    bool dragStarted_ = false;
};

}  // namespace tolvane
