#include "wiring/grip_edit.h"

#include "cad/grips.h"
#include "db/preferences.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "wiring/end_resolver.h"

namespace tolvane::wiring {

namespace {

bool isCable(const cad::Entity& e) {
    return e.kind == cad::EntityKind::Polyline && e.vertices.size() >= 2 &&
           tag::kindOf(e).compare(tag::kind::Cable, Qt::CaseInsensitive) == 0;
}

}  // namespace

bool moveGrip(Drawing& drawing, Ui& ui, EventLog* log, int userId, const QString& handle, int grip,
              QPointF to, db::Connections& registry) {
    const cad::Entity* found = drawing.document().find(handle);
    if (!found) return false;
    cad::Entity moved = *found;
    if (!cad::moveGrip(moved, grip, to)) return false;

    const bool cable = isCable(*found);
    const bool source = cable && grip == 0;
    const bool destination = cable && grip == int(found->vertices.size()) - 1;
    QPointF before;
    if (source) before = found->vertices.first().pos;
    if (destination) before = found->vertices.last().pos;
    const QString assoc = cable ? tag::assoc(*found) : QString();

    cad::UndoGroup step(drawing.undo());
    cad::SpaceEditor editor = drawing.editor();
    editor.modify(handle, [&](cad::Entity& e) { e = std::move(moved); });
    if (source || destination) {
        // The end is read again at its new place (which may write an alias to the block
        // found there), then the cable's text at that end follows the end.
        db::Preferences row(registry);
        row.load(userId);
        EndResolver resolver(drawing, ui, log, {row.flag(db::pref::AutoAlias, false), 0.1},
                             registry);
        const QString text = source ? resolver.source(to) : resolver.destination(to);
        editor.modify(handle, [&](cad::Entity& e) {
            if (source)
                tag::setSrc(e, text);
            else
                tag::setDst(e, text);
        });
        const int bar = assoc.indexOf(QLatin1Char('|'));
        const QString number = bar < 0 ? QString() : source ? assoc.left(bar) : assoc.mid(bar + 1);
        const cad::Entity* t = number.isEmpty() ? nullptr : drawing.document().find(number);
        if (t && t->kind == cad::EntityKind::Text) {
            const QPointF by = to - before;
            editor.modify(number, [&](cad::Entity& e) {
                e.start += by;
                e.end += by;
            });
        }
    }
    step.commit();
    return true;
}

}  // namespace tolvane::wiring
