// Screen colours of the drawing's colour indices (1-255), and how an entity's colour is
// resolved through its layer ("by layer") and the insert that holds it ("by block").
#pragma once

#include <QColor>

namespace tolvane::cad {

// The colour of an index of the 255-colour palette; black outside 1..255. Index 7 is
// listed as black; drawing shows it in the contrast colour of the background.
QColor indexColor(int index);
QRgb indexRgb(int index);  // the same as an opaque QRgb

// The colour index 7 is drawn in: white on a dark background, black on a light one.
QColor contrastColor(const QColor& background);

// The colour an index is drawn in on a background (7 flips with the background).
QColor screenColor(int index, const QColor& background);

// Resolves an entity's colour index: by layer takes the layer's colour, by block takes the
// colour of the insert that holds the entity (`blockColor`, itself already resolved; 7
// outside any block). The result is always a palette index 1..255.
int resolveColor(int entityColor, int layerColor, int blockColor = 7);

}  // namespace tolvane::cad
