// Grip editing of a drawing: a grip of an entity moved to a new point (cad/grips.h says what
// each grip does), as one undo step. A cable's ends are data as well as geometry: when its
// first or last vertex moves, that end is resolved again where it now lies, so the cable
// names the block it now ends on, and the cable-number text at that end moves along.
#pragma once

#include <QPointF>
#include <QString>

#include "db/database.h"

namespace tolvane {
class Drawing;
class EventLog;
class Ui;
}  // namespace tolvane

namespace tolvane::wiring {

// Moves grip `grip` of the entity `handle` in the drawing's current space to `to`. A cable
// end is resolved as cable drawing resolves it, with the AutoAlias preference of user
// `userId`; messages go to `ui`, log lines to `log` (may be null). False, with the drawing
// unchanged, when there is no such entity or grip or the entity cannot take the move.
bool moveGrip(Drawing& drawing, Ui& ui, EventLog* log, int userId, const QString& handle, int grip,
              QPointF to, db::Connections& registry);

}  // namespace tolvane::wiring
