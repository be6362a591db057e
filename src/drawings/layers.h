// The layers of a drawing as the layers window edits them: names other DXF readers accept,
// new layers, colours, on/off, frozen, locked, and the current layer new entities go on.
#pragma once

#include <QList>
#include <QString>

#include "cad/document.h"

namespace tolvane {

class Drawing;

// Why a name cannot be a layer's ("" when it can): empty, too long, or holding a character
// DXF forbids in names (< > / \ " : ; ? * | = `).
QString layerNameProblem(const QString& name);

struct LayerTable {
    QList<cad::Layer> layers;
    QString current;
};
LayerTable layerTable(const Drawing& drawing);
// Checks the table (names, no name twice without regard to case, the current layer present and
// not frozen) and writes it to the drawing; the problem found, or "" when it was written.
QString applyLayerTable(Drawing& drawing, const LayerTable& table);

}  // namespace tolvane
