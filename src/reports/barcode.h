// Barcode symbols for report controls, encoded by libzint as vectors: the dark modules as
// rectangles in the symbol's own units, which a painter scales into the control's rectangle
// so that a PDF carries them as sharp shapes at any size.
#pragma once

#include <QColor>
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <optional>

#include "reports/report_layout.h"

class QPainter;

namespace tolvane::reports {

struct BarcodeSymbol {
    QSizeF size{};         // the whole symbol, quiet zones included
    QList<QRectF> bars{};  // the dark modules
    QString error{};       // why the data has no symbol ("" when it has one)
    bool ok() const { return error.isEmpty(); }
};

// The symbol of data (UTF-8) in a symbology. Empty data has no symbol.
BarcodeSymbol encodeBarcode(Symbology symbology, const QString& data);

// Where a symbol's modules go in rect: a linear code (Code 128) fills the rectangle, a matrix
// code keeps its square modules, as large as fits, placed across by align and centred down.
// A module at (x, y, w, h) of the symbol lands on the page's rectangle map(x, y, w, h).
struct BarcodePlacement {
    double x0 = 0, y0 = 0, sx = 0, sy = 0;
    QRectF map(const QRectF& module) const {
        return {x0 + module.x() * sx, y0 + module.y() * sy, module.width() * sx,
                module.height() * sy};
    }
};
BarcodePlacement placeBarcode(const QRect& rect, const BarcodeSymbol& symbol, Symbology symbology,
                              HAlign align);

// Draws the symbol into rect in colour, placed as placeBarcode says.
void paintBarcode(QPainter& painter, const QRect& rect, const BarcodeSymbol& symbol,
                  Symbology symbology, const QColor& colour, HAlign align);

// The names the layout file and the designer give the symbologies.
QString symbologyName(Symbology symbology);
std::optional<Symbology> symbologyFromName(const QString& name);
QStringList symbologyNames();

}  // namespace tolvane::reports
