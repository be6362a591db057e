#include "app/drawing/grip_drag.h"

#include <QLineF>

#include "cad/grips.h"
#include "cad/render.h"

namespace tolvane {

bool GripDrag::press(const cad::Document& doc, const QStringList& selected, QPointF world,
                     double aperture) {
    held_.reset();
    double best = aperture;
    for (const QString& h : selected) {
        const cad::Entity* e = doc.find(h);
        if (!e) continue;
        const int grip = cad::gripAt(*e, world, aperture);
        if (grip < 0) continue;
        const QPointF at = cad::gripPoints(*e)[size_t(grip)];
        const double d = QLineF(at, world).length();
        if (held_ && d >= best) continue;
        best = d;
        held_ = Move{e->handle, grip, at};
        origin_ = at;
    }
    return held_.has_value();
}

QPainterPath GripDrag::preview(const cad::Document& doc, QPointF to) const {
    QPainterPath path;
    if (!held_) return path;
    const cad::Entity* e = doc.find(held_->handle);
    if (!e) return path;
    cad::Entity moved = *e;
    if (!cad::moveGrip(moved, held_->grip, to)) return path;
    path = cad::outlinePath(doc, moved);
    path.moveTo(origin_);
    path.lineTo(to);
    return path;
}

std::optional<GripDrag::Move> GripDrag::release(QPointF to) {
    std::optional<Move> move = held_;
    held_.reset();
    if (move) move->to = to;
    return move;
}

}  // namespace tolvane
