// The blocks a drawing offers for insertion and loading a block drawing file into a drawing.
// The drawing window's insert list, the block-insert dialog and the block browser all list
// the same blocks: every block of the block table except the anonymous ones (names starting
// with "*": the spaces of layouts, dimension and hatch blocks).
#pragma once

#include <QString>
#include <QStringList>

#include "cad/document.h"

namespace tolvane {

class Drawing;

// The insertable blocks of a document, sorted by name without regard to case.
QStringList insertableBlocks(const cad::Document& doc);

// The block name a block file is loaded under: the file name without folder and suffix, in
// upper case as block names are.
QString blockNameOfFile(const QString& path);

// Loads the model space of a drawing file as a block of the drawing (named after the file,
// blockNameOfFile) and tells the drawing's lists (blocksChanged). A block of that name already
// in the drawing is kept. Returns the block's name; throws DxfError when the file cannot be
// read.
QString loadBlockFile(Drawing& drawing, const QString& path);

}  // namespace tolvane
