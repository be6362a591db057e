// The drawing clipboard: cut and copy of a selection and paste at a picked point, within a
// drawing and between drawings. What is pasted brings along the blocks and layers it needs
// that the target lacks. A pasted cable keeps its ends but not its database references (a row
// of the cable schedule belongs to one polyline), and its number texts read "Cable #" again;
// a pasted equipment block keeps its system (one unit may be shown on several sheets).
#pragma once

#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <vector>

#include "cad/document.h"

namespace tolvane {

class Drawing;
class Ui;

class DrawingClipboard {
  public:
    // Copies the entities (the lower left corner of their extents is the base point).
    // False when none of them is in the drawing's space.
    bool copy(Drawing& drawing, const QStringList& handles);
    bool isEmpty() const { return entities_.empty(); }
    // Pastes with the base point at `at`, as one undo step; the new handles.
    QStringList paste(Drawing& drawing, QPointF at) const;

  private:
    std::vector<cad::Entity> entities_;
    std::vector<cad::Block> blocks_;
    QList<cad::Layer> layers_;
    QPointF base_;
};

// The one clipboard of the program.
DrawingClipboard& clipboard();

}  // namespace tolvane
