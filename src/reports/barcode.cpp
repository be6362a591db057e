// Barcode encoding through libzint.
#include "reports/barcode.h"

#include <zint.h>

#include <QPainter>
#include <array>
#include <memory>

namespace tolvane::reports {

namespace {

constexpr std::array<std::pair<Symbology, const char*>, 3> kNames{{
    {Symbology::Code128, "code128"},
    {Symbology::QrCode, "qr"},
    {Symbology::DataMatrix, "dataMatrix"},
}};

int zintSymbology(Symbology s) {
    switch (s) {
        case Symbology::Code128:
            return BARCODE_CODE128;
        case Symbology::QrCode:
            return BARCODE_QRCODE;
        case Symbology::DataMatrix:
            return BARCODE_DATAMATRIX;
    }
    return BARCODE_CODE128;
}

struct SymbolDeleter {
    void operator()(zint_symbol* s) const { ZBarcode_Delete(s); }
};

}  // namespace

BarcodeSymbol encodeBarcode(Symbology symbology, const QString& data) {
    BarcodeSymbol out;
    if (data.isEmpty()) {
        out.error = QStringLiteral("no data");
        return out;
    }
    const std::unique_ptr<zint_symbol, SymbolDeleter> symbol(ZBarcode_Create());
    if (!symbol) {
        out.error = QStringLiteral("out of memory");
        return out;
    }
    symbol->symbology = zintSymbology(symbology);
    symbol->input_mode = UNICODE_MODE;
    symbol->show_hrt = 0;  // the report prints the number as text where it wants it
    // A quiet zone of the width the symbology asks for, so that the symbol scans beside text.
    symbol->output_options |= BARCODE_QUIET_ZONES;
    const QByteArray bytes = data.toUtf8();
    const int rc = ZBarcode_Encode_and_Buffer_Vector(
        symbol.get(), reinterpret_cast<const unsigned char*>(bytes.constData()), int(bytes.size()),
        0);
    if (rc >= ZINT_ERROR || !symbol->vector) {
        out.error = QString::fromLatin1(symbol->errtxt);
        if (out.error.isEmpty()) out.error = QStringLiteral("the data cannot be encoded");
        return out;
    }
    out.size = QSizeF(symbol->vector->width, symbol->vector->height);
    for (const zint_vector_rect* r = symbol->vector->rectangles; r; r = r->next)
        if (r->colour == -1) out.bars << QRectF(r->x, r->y, r->width, r->height);
    return out;
}

BarcodePlacement placeBarcode(const QRect& rect, const BarcodeSymbol& symbol, Symbology symbology,
                              HAlign align) {
    BarcodePlacement at{double(rect.left()), double(rect.top()), rect.width() / symbol.size.width(),
                        rect.height() / symbol.size.height()};
    if (symbology != Symbology::Code128) {
        at.sx = at.sy = std::min(at.sx, at.sy);
        const double spare = rect.width() - at.sx * symbol.size.width();
        at.x0 += align == HAlign::Right ? spare : align == HAlign::Center ? spare / 2 : 0;
        at.y0 += (rect.height() - at.sy * symbol.size.height()) / 2;
    }
    return at;
}

void paintBarcode(QPainter& p, const QRect& rect, const BarcodeSymbol& symbol, Symbology symbology,
                  const QColor& colour, HAlign align) {
    if (!symbol.ok() || symbol.size.isEmpty() || rect.isEmpty()) return;
    const BarcodePlacement at = placeBarcode(rect, symbol, symbology, align);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(colour.isValid() ? colour : QColor(Qt::black));
    for (const QRectF& b : symbol.bars) p.drawRect(at.map(b));
    p.restore();
}

QString symbologyName(Symbology symbology) {
    for (const auto& [s, name] : kNames)
        if (s == symbology) return QLatin1String(name);
    return QLatin1String(kNames[0].second);
}

std::optional<Symbology> symbologyFromName(const QString& name) {
    for (const auto& [s, n] : kNames)
        if (name == QLatin1String(n)) return s;
    return std::nullopt;
}

QStringList symbologyNames() {
    QStringList out;
    for (const auto& [s, name] : kNames) out << QLatin1String(name);
    return out;
}

}  // namespace tolvane::reports
