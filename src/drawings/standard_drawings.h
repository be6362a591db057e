// The standard drawings the program ships: one drawing per catalogue block (jacks, J-boxes,
// pointers, routers, loop-through and terminations), loaded into drawings as block
// definitions, and the default template with the standard text styles and layers. They are
// made here and written to resources/ by the make_standard_drawings tool; docs/blocks.md
// describes where each block's connection points and attributes lie.
#pragma once

#include <QString>
#include <QStringList>

#include "cad/document.h"

namespace tolvane::standard {

// Text styles and layers every drawing is given.
QStringList textStyles();
QStringList layers();

// The drawing of a catalogue block: its geometry and attribute definitions in model space
// around the insertion point (0,0). Throws std::invalid_argument for names not in the
// catalogue.
cad::Document blockDrawing(const QString& name);

// The connection points of a catalogue block relative to its insertion point: where a cable
// starts (source) and where one ends (destination); a block has one or both.
struct Connections {
    bool source = false;
    QPointF sourcePoint;
    bool destination = false;
    QPointF destinationPoint;
};
Connections connections(const QString& name);

// The template drawing: empty model space with the standard text styles and layers, and the
// paper layout "Layout1" with the sheet (border, title block, viewport; title_block.h).
cad::Document templateDrawing();

// The first handle of a drawing's own entities when it is made from a template: the sheet's
// entities lie below it, so that what a new drawing's entities are numbered does not change
// with the template's sheet or tables.
constexpr quint64 kFirstDrawingHandle = 0x148;

// Adds the standard text styles, layers and named line types a document lacks (by name).
void addStandardStylesAndLayers(cad::Document& doc);

// Prepares a drawing that was created or opened: every catalogue block it lacks is loaded
// from its file in `blocksFolder`, or else in the user's search folders (names compare without
// regard to case), then the standard
// styles and layers are added. Returns the blocks that could not be loaded; they stay
// undefined, and inserting one fails later in the command that needs it.
QStringList prepareDrawing(cad::Document& doc, const QString& blocksFolder);

}  // namespace tolvane::standard
