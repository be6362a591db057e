// The interactive drawing commands: each asks the user for its points through the Ui seam,
// in the drawing window and in batch runs alike, and adds what it draws as one undo step.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tolvane {

class Drawing;
class Ui;

// The layer new entities are drawn on: the drawing's current layer, "0" when it has gone.
QString currentLayer(const Drawing& drawing);

// The interactive polyline: "Start point:", then "Next point (Enter to end):" until Enter
// ends it. The polyline shows from its second vertex on; Escape takes all of it back. Returns
// the polyline's handle, or "" when it was cancelled or ended before its second vertex.
QString drawPolyline(Drawing& drawing, Ui& ui);

// What a command is given: the entities selected before it (the editing commands work on
// them instead of asking), and how far a picked point reaches in the drawing.
struct CommandContext {
    QStringList selected;
    double aperture = 0.1;
};

// One drawing command: its router key, the caption and short key it is remembered by as the
// last command, and what it asks and does. `run` returns what is selected afterwards: the new
// entity of a creation command ("LAST"), the copies of a copy; empty when the user cancelled
// (nothing changed then) or the command selects nothing.
struct DrawingCommand {
    const char* key;       // "catDLine"
    const char* caption;   // "Draw Line"
    const char* shortKey;  // "DLine"
    std::function<QStringList(Drawing&, Ui&, const CommandContext&)> run;
};
// The entities a command works on: those selected before it, else the user's selection after
// `prompt` (a window, a crossing, or handles typed). Empty when cancelled.
QStringList selectObjects(Drawing& drawing, Ui& ui, const QStringList& preselected,
                          const QString& prompt = QStringLiteral("Select objects:"));

// The creation commands and the editing commands built so far, in the command table's order.
const QList<DrawingCommand>& creationCommands();
const QList<DrawingCommand>& editingCommands();

}  // namespace tolvane
