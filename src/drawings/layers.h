// The layers of a drawing as the layers window edits them: names other DXF readers accept,
// new layers, colours, on/off, frozen, locked, and the current layer new entities go on.
#pragma once

#include <QList>
#include <QString>

#include "cad/document.h"

namespace tolvane {

class Drawing;

// Why a name cannot be that of a `kind` ("layer", "block") in a drawing ("" when it can):
// empty, too long, or holding a character DXF forbids in names (< > / \ " : ; ? * | = `).
QString dxfNameProblem(const QString& name, const QString& kind);
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

// Paper layouts, by name: a name DXF accepts, held by no other layout (nor "Model"), without
// regard to case. Each returns the problem found, or "" when the drawing was changed; the
// changes are not undone with the entities (the layout shown goes back to the model when its
// layout is removed).
QString addLayout(Drawing& drawing, const QString& name);
QString renameLayout(Drawing& drawing, const QString& from, const QString& to);
QString removeLayout(Drawing& drawing, const QString& name);

}  // namespace tolvane
