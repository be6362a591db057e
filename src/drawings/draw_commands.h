// The interactive drawing commands: each asks the user for its points through the Ui seam,
// in the drawing window and in batch runs alike, and adds what it draws as one undo step.
#pragma once

#include <QList>
#include <QString>
#include <functional>

namespace tolvane {

class Drawing;
class Ui;

// The interactive polyline: "Start point:", then "Next point (Enter to end):" until Enter
// ends it. The polyline shows from its second vertex on; Escape takes all of it back. Returns
// the polyline's handle, or "" when it was cancelled or ended before its second vertex.
QString drawPolyline(Drawing& drawing, Ui& ui);

// One creation command: its router key, the caption and short key it is remembered by as the
// last command, and what it asks and draws. `run` returns the new entity's handle, or "" when
// the user cancelled (nothing is drawn then).
struct CreationCommand {
    const char* key;       // "catDLine"
    const char* caption;   // "Draw Line"
    const char* shortKey;  // "DLine"
    std::function<QString(Drawing&, Ui&)> run;
};
// The creation commands built so far, in the order of the command table.
const QList<CreationCommand>& creationCommands();

}  // namespace tolvane
