// The sheet of a drawing's paper layout: an A3 border, a title block and a viewport onto model
// space, as the default template carries them; and the filling of the title block's fields
// from the project and the drawing's registry row. A field is a text of the layout tagged
// with the kind "TitleField" and the field's key as its first reference, so that a template
// drawn by the user fills the same way when its texts carry the same tags.
#pragma once

#include <QString>
#include <QStringList>

#include "cad/document.h"
#include "projects/drawing_registry.h"

namespace tolvane::titleblock {

inline const QString kFieldKind = QStringLiteral("TitleField");

// The field keys, in the order the title block shows them.
inline const QString Project = QStringLiteral("PROJECT");
inline const QString DrawingName = QStringLiteral("DWGNAME");
inline const QString DrawingNo = QStringLiteral("DWGNO");
inline const QString Revision = QStringLiteral("REV");
inline const QString Date = QStringLiteral("DATE");
inline const QString DrawnBy = QStringLiteral("DRAWNBY");
QStringList keys();

// What the title block shows, and the value of one field.
using Fields = projects::DrawingTitle;
QString valueOf(const Fields& fields, const QString& key);

// Draws the sheet into a paper layout: the border of an A3 sheet (420 x 297, in millimetres),
// the title block in its lower right corner with empty fields, and a viewport onto model
// space above it.
void drawSheet(cad::Document& doc, cad::Space& layout);

// Writes the fields into every title-block text of the document's layouts; a value wider
// than its cell is squeezed into it. True when a text changed.
bool fill(cad::Document& doc, const Fields& fields);

// The value a field shows in the document (the first text of that key); empty when the
// document has none.
QString shown(const cad::Document& doc, const QString& key);

}  // namespace tolvane::titleblock
