// Drawing a space of a document on a QPainter through a view, and writing a space to image
// and PDF files. Works on any paint device, without widgets: the drawing window, the file
// exports and batch runs share it.
//
// What is drawn: lines, polylines with bulges, circles, arcs, ellipses, points, texts,
// attribute definitions (their tag), inserts with their blocks (nested, scaled, rotated) and
// attributes, in the colours, line types and line weights of the entities, their layers and
// their inserts; entities on layers switched off or frozen are left out; kinds the engine does
// not interpret are skipped. On a 32-bit image, one-pixel lines are written straight into
// the image in draw order. Wider lines and points are collected per pen and drawn together,
// so lines of different pens keep the order in which their pens were first used; on devices
// that keep vectors (PDF, printers) a pen's lines go out as paths in whole device pixels,
// joined only where no line of another pen drawn meanwhile lies in their way, so that lines
// lie over each other in the order they were drawn. Texts
// wait and are drawn above the lines around them, those of one font, colour, direction and
// scale together; fills and pictures first draw everything waiting, so they lie on top of
// what precedes them.
#pragma once

#include <QColor>
#include <QPainterPath>
#include <QSize>
#include <QString>
#include <QStringList>

#include "cad/document.h"
#include "cad/geometry.h"
#include "cad/spatial_index.h"
#include "cad/view.h"

class QPainter;

namespace tolvane::cad {

struct RenderOptions {
    QColor background = QColor(0, 0, 0);  // decides the colour of index 7
    double pointSize = 3.0;               // side of the square a point is drawn as, pixels
    // Grips: squares of 2 * gripSize + 1 pixels at the grip points of these entities.
    QStringList selected;
    int gripSize = 3;
    QColor gripColor = QColor(0, 0, 255);
    bool lineWeights = true;  // false: every line one pixel wide
    bool flatCaps = false;    // lines wider than a pixel end flat rather than rounded
    // Curves are drawn in this many segments per full turn; 0: as finely as the screen shows.
    int curveResolution = 0;
    bool antialias = false;
    // Texts lower than this many pixels are drawn as a bar through their box (from a pixel
    // up), or not at all (below a pixel).
    double greekSize = 2.0;
    // When valid: only the texts whose middle falls in this device area are drawn (the part
    // of a sheet a page of a paged PDF owns; see exportPdf).
    QRectF textArea;
};

// What a render did, for checking its cost.
struct RenderStats {
    int entities = 0;  // top-level entities looked at
    int texts = 0;     // texts drawn as glyphs
    int greeked = 0;   // texts drawn as a bar or left out for their size
    int cutShort = 0;  // inserts whose drawing was cut short at the bound on their work
    bool usedIndex = false;
};

// The font family texts are drawn in when their style names no font, a stroke font or a font
// that is not installed; empty: the sans-serif font. One for the whole program (the user's
// setting): every render takes it alike, views, pictures and PDF.
void setAlternateFont(const QString& family);
QString alternateFont();

// The box around the space's entities on layers that are not frozen; with an index, the
// index's own bounds (which it keeps without a pass over the space). Invalid when empty.
BBox spaceExtents(const Document& doc, const Space& space, const SpatialIndex* index = nullptr);

// Draws the space through the view on the painter (which must be at its identity transform
// on a device of view.size() pixels). The painter's device is not cleared first. With an
// index in step with the space, only entities near the visible area are looked at.
void renderSpace(QPainter& painter, const Document& doc, const Space& space, const View& view,
                 const RenderOptions& options = {}, const SpatialIndex* index = nullptr,
                 RenderStats* stats = nullptr);

// Writes the space's extents as an image of `size` pixels on `background`; the format
// follows the suffix (.png or .bmp). The file is replaced only when the whole image was
// written. False with a message in *error otherwise.
bool exportImage(const Document& doc, const Space& space, const QString& path, QSize size,
                 const QColor& background, QString* error);

// Writes the space as a vector PDF on white: one page fitted to the extents (in the drawing's
// units, taken as millimetres when it has none) with a small margin, shrunk to at most 5 m. A
// sheet whose texts come out so small and so many that a reader would not take them all from
// one page is cut into parts at the same scale, a page each along the rows from the top left,
// each page a little wider than its part so that the texts it owns stand whole on it. Same
// rules for the file as exportImage.
bool exportPdf(const Document& doc, const Space& space, const QString& path, QString* error);

// The outline of an entity as a path in drawing coordinates (curves in short pieces, texts as
// their boxes): what commands show of the entities they move or copy while a point is asked.
QPainterPath outlinePath(const Document& doc, const Entity& e);

// How a space is put on paper: the part of the drawing (the extents, or a window of it) and
// its scale, fitted to the printable area or as paper millimetres per drawing unit.
struct PlotSettings {
    BBox window;       // invalid: the extents
    double scale = 0;  // paper millimetres per drawing unit; 0 fits the area to the page
};
// Millimetres per drawing unit of a $INSUNITS code; unitless drawings are taken as mm.
double millimetresPerUnit(int units);
// Draws the space on one page as paper shows it (white, colour 7 black): `page` the printable
// area in device pixels from the painter's origin, `dpi` the device's resolution. The area is
// centred on the page; what a scale puts beyond the page is cut off.
void renderPage(QPainter& painter, QSizeF page, double dpi, const Document& doc, const Space& space,
                const PlotSettings& settings);

}  // namespace tolvane::cad
