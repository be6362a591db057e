// The text styles, dimension styles and point display of a drawing as the style windows edit
// them: the rules for names, numbers typed into fields, removing a style, and writing an
// edited style back. Style changes are not steps of undo; they mark the drawing modified.
#pragma once

#include <QString>
#include <optional>

#include "cad/document.h"

namespace tolvane {

class Drawing;

// A number typed into the field captioned `caption` ("Height:"), at least `least`; nullopt
// with *problem saying which field holds what when it is not one.
std::optional<double> fieldNumber(const QString& caption, const QString& text, double least,
                                  QString* problem);

// Why `name` cannot be a new text (or dimension) style of the drawing ("" when it can): empty,
// a character DXF forbids, or a style of that name exists already (without regard to case).
QString textStyleNameProblem(const cad::Document& doc, const QString& name);
QString dimStyleNameProblem(const cad::Document& doc, const QString& name);

// Adds a style of the edited values under a new name; the problem found, or "" when added.
QString addTextStyle(Drawing& drawing, cad::TextStyle style);
// Adds the dimension style and makes it the drawing's current one.
QString addDimStyle(Drawing& drawing, cad::DimStyle style);

// Writes every field of the style to the drawing's style of the same name.
void applyTextStyle(Drawing& drawing, const cad::TextStyle& style);
void applyDimStyle(Drawing& drawing, const cad::DimStyle& style);

// The STANDARD dimension style (any case) can never be removed.
bool isStandardDimStyle(const QString& name);
// Removes the dimension style; the refusal for STANDARD, or "" when it was removed.
// Dimensions drawn in a removed style are drawn in STANDARD from then on; the drawing's
// current style goes back to the first that is left.
QString removeDimStyle(Drawing& drawing, const QString& name);

// The point display mode: one of five shapes (0 dot, 1 nothing, 2 plus, 3 cross, 4 tick),
// with a circle and / or a square round it.
struct PointStyle {
    int shape = 0;
    bool circle = false;
    bool square = false;
    double size = 0.0;  // drawing units; 0 a size relative to the view

    int mode() const { return shape + (circle ? 32 : 0) + (square ? 64 : 0); }
    static PointStyle of(int mode, double size);
};
PointStyle pointStyle(const cad::Document& doc);
void applyPointStyle(Drawing& drawing, const PointStyle& style);

}  // namespace tolvane
