// The inspection lines a batch script's `entity` line writes for one entity: what it is, its
// layer and colour, its block and attributes, its extended data, vertices and text.
#pragma once

#include <QStringList>

#include "cad/document.h"

namespace tolvane {

// "ENTITY none" for no entity; otherwise "ENTITY handle type layer=L color=C" followed by
// BLOCK, ATTRIB, XDATA, VERTEX and TEXT lines as they apply.
QStringList inspectionLines(const cad::Entity* e);

}  // namespace tolvane
