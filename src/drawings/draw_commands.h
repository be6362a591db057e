// The interactive drawing commands: each asks the user for its points through the Ui seam,
// in the drawing window and in batch runs alike, and adds what it draws as one undo step.
#pragma once

#include <QString>

namespace tolvane {

class Drawing;
class Ui;

// The interactive polyline: "Start point:", then "Next point (Enter to end):" until Enter
// ends it. The polyline shows from its second vertex on; Escape takes all of it back. Returns
// the polyline's handle, or "" when it was cancelled or ended before its second vertex.
QString drawPolyline(Drawing& drawing, Ui& ui);

}  // namespace tolvane
