// The named line types every drawing can use, with their dash patterns in drawing units
// (positive: dash, negative: gap, 0: dot), in the order the line-type choices list them.
#pragma once

#include <QList>

#include "cad/document.h"

namespace tolvane::cad {

const QList<LineType>& standardLineTypes();

// Adds the named line types a document lacks.
void addStandardLineTypes(Document& doc);

}  // namespace tolvane::cad
