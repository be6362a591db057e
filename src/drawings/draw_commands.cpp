#include "drawings/draw_commands.h"

#include "drawings/drawing.h"
#include "ui/ui.h"

namespace tolvane {

QString drawPolyline(Drawing& drawing, Ui& ui) {
    const PointAnswer first = ui.getPoint(QStringLiteral("Start point:"));
    if (first.cancelled || first.ended) return {};
    QList<cad::Vertex> vertices{{first.point}};
    QString handle;
    cad::UndoGroup group(drawing.undo());
    for (;;) {
        const PointAnswer next =
            ui.getPoint(QStringLiteral("Next point (Enter to end):"), 0, /*enterEnds=*/true);
        if (next.cancelled) {
            group.cancel();
            return {};
        }
        if (next.ended) return handle;
        vertices.append({next.point});
        if (handle.isEmpty())
            handle = drawing.editor().add(cad::Entity::polyline(vertices, false));
        else
            drawing.editor().modify(handle, [&](cad::Entity& e) { e.vertices = vertices; });
    }
}

}  // namespace tolvane
