// A grip being dragged in a drawing view: with no command running, the left button pressed
// on a grip of a selected entity takes hold of it; while the mouse moves the entity is shown
// as it would be with the grip at the cursor; the release gives the move to make. The view
// forwards its mouse events here and does the change through its owner.
#pragma once

#include <QPainterPath>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <optional>

#include "cad/document.h"

namespace tolvane {

class GripDrag {
  public:
    // The grip a drag ends with and where it goes.
    struct Move {
        QString handle;
        int grip = -1;
        QPointF to;
    };

    // Takes hold of the grip of one of the `selected` entities nearest `world` within
    // `aperture` (drawing units). False, and nothing held, when no grip lies there.
    bool press(const cad::Document& doc, const QStringList& selected, QPointF world,
               double aperture);
    bool active() const { return held_.has_value(); }
    // Where the held grip was taken from: the base for ortho and for perpendicular snaps.
    QPointF origin() const { return origin_; }
    // The held entity's outline with the grip at `to` (drawing units), and a line from where
    // the grip was: what the view draws as the rubber band. Empty when nothing is held or the
    // entity cannot take the point.
    QPainterPath preview(const cad::Document& doc, QPointF to) const;
    // Lets go at `to`: the move to make, or nothing when nothing was held.
    std::optional<Move> release(QPointF to);
    void cancel() { held_.reset(); }

  private:
    std::optional<Move> held_;
    QPointF origin_;
};

}  // namespace tolvane
