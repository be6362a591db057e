// The commands that reshape entities (trim, extend, offset, break, stretch, fillet) and
// the array.
#include <QTransform>
#include <cmath>

#include "cad/editing.h"
#include "cad/geometry.h"
#include "cad/modify.h"
#include "cad/picking.h"
#include "drawings/command_helpers.h"
#include "drawings/draw_commands.h"
#include "drawings/drawing.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

using namespace commands;

// The most items one array may have, and the most entities it may add.
constexpr int kMaxArrayItems = 10000;
constexpr qsizetype kMaxArrayEntities = 100000;

// Copies of the selection in rows and columns, or round a centre, as one undo step. The
// copies are selected afterwards, the originals with them.
QStringList array(Drawing& d, Ui& ui, const CommandContext& c) {
    const QStringList handles =
        selectObjects(d, ui, c.selected, QStringLiteral("Select Object for Array"));
    if (handles.isEmpty()) return {};
    if (!c.windows.array) return {};
    const std::optional<ArrayChoice> choice = c.windows.array();
    if (!choice) return {};
    // Counted wide, so that no product of rows and columns can wrap round.
    const qint64 items =
        choice->polar ? qint64(choice->count) : qint64(choice->rows) * qint64(choice->columns);
    if (items < 2 || items > kMaxArrayItems || choice->rows < 1 || choice->columns < 1)
        return refuse(ui, QStringLiteral("An array has from 2 to %1 items.").arg(kMaxArrayItems)),
               QStringList();
    if ((items - 1) * handles.size() > kMaxArrayEntities)
        return refuse(ui, QStringLiteral("The array would add more than %1 entities: choose fewer "
                                         "items or fewer objects.")
                              .arg(kMaxArrayEntities)),
               QStringList();
    QList<QTransform> places;
    if (!choice->polar) {
        if (!std::isfinite(choice->rowSpacing) || !std::isfinite(choice->columnSpacing))
            return refuse(ui, QStringLiteral("The spacing must be a number.")), QStringList();
        for (int r = 0; r < choice->rows; ++r)
            for (int col = 0; col < choice->columns; ++col)
                if (r || col)
                    places << QTransform::fromTranslate(col * choice->columnSpacing,
                                                        r * choice->rowSpacing);
    } else {
        if (!std::isfinite(choice->angle) || choice->angle == 0 || std::abs(choice->angle) > 360)
            return refuse(ui, QStringLiteral("The angle to fill lies between -360 and 360 degrees "
                                             "and is not 0.")),
                   QStringList();
        const auto centre = points(ui, {"Center point of array:"});
        if (!centre) return {};
        // A full turn spaces the items evenly; a part of one puts the last item at its end.
        const double step = std::abs(choice->angle) == 360 ? choice->angle / choice->count
                                                           : choice->angle / (choice->count - 1);
        cad::BBox box;
        for (const QString& h : handles)
            if (const cad::Entity* e = d.document().find(h))
                box.add(cad::boundingBox(d.document(), *e));
        const QPointF ref =
            box.isValid() ? QPointF((box.x0 + box.x1) / 2, (box.y0 + box.y1) / 2) : (*centre)[0];
        for (int i = 1; i < choice->count; ++i) {
            QTransform turn;
            turn.translate((*centre)[0].x(), (*centre)[0].y());
            turn.rotate(step * i);
            turn.translate(-(*centre)[0].x(), -(*centre)[0].y());
            if (choice->rotateItems) {
                places << turn;
            } else {
                const QPointF to = turn.map(ref);
                places << QTransform::fromTranslate(to.x() - ref.x(), to.y() - ref.y());
            }
        }
    }
    QStringList out = handles;
    cad::UndoGroup group(d.undo());
    for (const QTransform& t : places) out << d.editor().copy(handles, t);
    group.commit();
    return out;
}

// Puts the entities of a reshape in place of the original: the first changes it (keeping
// its handle), the rest are added. Their handles.
QStringList replace(Drawing& d, const QString& handle, const cad::Reshaped& r) {
    QStringList out;
    if (!d.editor().modify(handle, [&](cad::Entity& e) { e = r.entities.front(); })) return out;
    out << handle;
    for (size_t i = 1; i < r.entities.size(); ++i) out << d.editor().add(r.entities[i]);
    return out;
}

// The entity picked and the point it was picked at; nullopt when cancelled. A pick that finds
// nothing (or gives no point) beeps and asks again.
std::optional<std::pair<QString, QPointF>> pickWithPoint(Drawing& d, Ui& ui,
                                                         const CommandContext& c,
                                                         const QString& prompt) {
    for (;;) {
        const PickAnswer pick = ui.getEntity(prompt);
        if (pick.cancelled) return std::nullopt;
        const QString handle = d.entityFor(pick, c.aperture);
        if (!handle.isEmpty() && pick.point) return std::make_pair(handle, *pick.point);
        ui.beep();
    }
}

// Trim and extend: the edges are chosen first, then each object picked is cut or lengthened
// at the point it was picked, until Escape; all of it one undo step. A pick that cannot be
// done is said on the command line and the next is asked.
using Reshape = cad::Reshaped (*)(const cad::Document&, const cad::Entity&,
                                  const std::vector<cad::Entity>&, QPointF);
QStringList edgeCommand(Drawing& d, Ui& ui, const CommandContext& c, const char* edgesPrompt,
                        const char* objectPrompt, Reshape reshape) {
    const QStringList edges = selectObjects(d, ui, c.selected, QString::fromLatin1(edgesPrompt));
    if (edges.isEmpty()) return {};
    cad::UndoGroup group(d.undo());
    QStringList changed;
    while (const auto picked = pickWithPoint(d, ui, c, QString::fromLatin1(objectPrompt))) {
        std::vector<cad::Entity> edgeEntities;  // as they are now, earlier picks included
        for (const QString& h : edges)
            if (const cad::Entity* e = d.document().find(h)) edgeEntities.push_back(*e);
        const cad::Reshaped r =
            reshape(d.document(), *d.document().find(picked->first), edgeEntities, picked->second);
        if (!r.ok()) {
            ui.history(r.error);
            ui.beep();
            continue;
        }
        changed << replace(d, picked->first, r);
    }
    group.commit();
    return changed;
}

QStringList trim(Drawing& d, Ui& ui, const CommandContext& c) {
    return edgeCommand(d, ui, c, "Select cutting edges:", "Select object to trim:", cad::trim);
}

QStringList extend(Drawing& d, Ui& ui, const CommandContext& c) {
    return edgeCommand(d, ui, c, "Select boundary edges:", "Select object to extend:", cad::extend);
}

// Parallel copies at one distance: each object picked is copied to the side pointed at, until
// Escape; one undo step. The copies keep the original's layer.
QStringList offset(Drawing& d, Ui& ui, const CommandContext& c) {
    const std::optional<double> distance = number(ui, "Offset", "Offset distance:", true);
    if (!distance) return {};
    cad::UndoGroup group(d.undo());
    QStringList copies;
    while (const auto picked =
               pickWithPoint(d, ui, c, QStringLiteral("Select object to offset:"))) {
        const PointAnswer side = ui.getPoint(QStringLiteral("Side to offset:"));
        if (side.cancelled) break;
        const cad::Reshaped r =
            cad::offset(*d.document().find(picked->first), *distance, side.point);
        if (!r.ok()) {
            ui.history(r.error);
            ui.beep();
            continue;
        }
        for (const cad::Entity& e : r.entities) copies << d.editor().add(e);
    }
    group.commit();
    return copies;
}

// The part of an object between two points taken out.
QStringList breakCommand(Drawing& d, Ui& ui, const CommandContext& c) {
    const auto picked = pickWithPoint(d, ui, c, QStringLiteral("Select object to break:"));
    if (!picked) return {};
    const auto p = points(ui, {"First break point:", "Second break point:"});
    if (!p) return {};
    const cad::Reshaped r = cad::breakAt(*d.document().find(picked->first), (*p)[0], (*p)[1]);
    if (!r.ok()) return refuse(ui, r.error), QStringList();
    cad::UndoGroup group(d.undo());
    const QStringList replaced = replace(d, picked->first, r);
    group.commit();
    return replaced;
}

// The crossing window's corners: the ends and vertices inside move, entities wholly inside move
// whole. Objects chosen by handle (or selected before) move whole.
QStringList stretch(Drawing& d, Ui& ui, const CommandContext& c) {
    QStringList handles = c.selected;
    cad::BBox window;
    if (handles.isEmpty()) {
        SelectionAnswer a =
            ui.getSelection(QStringLiteral("Select objects to stretch by crossing-window:"));
        if (a.cancelled) return {};
        a.crossing = true;  // whichever way the window was spanned
        if (a.window) window = cad::BBox::of(a.window->topLeft(), a.window->bottomRight());
        handles = d.entitiesOf(a);
    }
    if (handles.isEmpty()) return {};
    const auto p = points(ui, {"Base point:", "Second point:"});
    if (!p) return {};
    const QPointF by = (*p)[1] - (*p)[0];
    cad::UndoGroup group(d.undo());
    for (const QString& h : handles) {
        const cad::Entity* e = d.document().find(h);
        if (!e) continue;
        cad::Entity moved = *e;
        // Outside a window (handles typed) an entity moves whole: a window round all of it.
        const cad::BBox around =
            window.isValid() ? window : cad::boundingBox(d.document(), *e).expanded(1.0);
        if (cad::stretch(moved, around, by))
            d.editor().modify(e->handle, [&](cad::Entity& x) { x = moved; });
    }
    group.commit();
    return handles;
}

// Every corner of a polyline rounded: the one selected, else one picked.
QStringList fillet(Drawing& d, Ui& ui, const CommandContext& c) {
    const std::optional<double> radius = number(ui, "Fillet", "Enter Fillet Radius", false);
    if (!radius) return {};
    const cad::Entity* e =
        pickOf(d, ui, c, QStringLiteral("Select a Polyline"), cad::EntityKind::Polyline);
    if (!e) return {};
    const cad::Reshaped r = cad::fillet(*e, *radius);
    if (!r.ok()) return refuse(ui, r.error), QStringList();
    cad::UndoGroup group(d.undo());
    const QStringList replaced = replace(d, e->handle, r);
    group.commit();
    return replaced;
}

}  // namespace

const QList<DrawingCommand>& reshapingCommands() {
    static const QList<DrawingCommand> commands = {
        {"catDStretch", "Stretch", "DStretch", stretch},
        {"catDTrim", "Trim", "DTrim", trim},
        {"catDExtend", "Extend", "DExtend", extend},
        {"catDFillet", "Fillet", "DFillet", fillet},
        {"catDOffset", "Offset", "DOffset", offset},
        {"catDBreak", "Break", "DBreak", breakCommand},
        {"catDArray", "Array", "DArray", array},
    };
    return commands;
}

}  // namespace tolvane
