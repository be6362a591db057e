#include "cad/colors.h"

#include <array>
#include <cmath>
#include <cstdlib>

#include "cad/document.h"

namespace tolvane::cad {

namespace {

// Rows 10-249 come in groups of ten sharing a hue, 15 degrees apart starting at red. Within
// a group the even rows are the full colour and the odd rows its pale tint, each pair one
// step darker than the one before.
constexpr double kLevels[5] = {255.0, 165.0, 127.0, 76.0, 38.0};

QRgb hueRow(int index) {
    const int group = index / 10 - 1;  // 0..23
    const int row = index % 10;
    const double value = kLevels[row / 2];
    const double floor = (row % 2) ? value / 2.0 : 0.0;  // pale rows: half saturation
    const double hue = group * 15.0;
    // Channel strength of a fully saturated hue, as in the HSV model.
    auto channel = [hue](double shift) {
        const double k = std::fmod(shift + hue / 60.0, 6.0);
        return 1.0 - std::max(0.0, std::min({k, 4.0 - k, 1.0}));
    };
    // Truncated, as the palette has always been listed (127.5 is 127).
    auto mix = [&](double c) { return int(floor + (value - floor) * c + 1e-9); };
    return qRgb(mix(channel(5.0)), mix(channel(3.0)), mix(channel(1.0)));
}

// Rows whose screen colour is fixed by the product rather than computed from the hue groups.
struct FixedRow {
    int index;
    QRgb rgb;
};
constexpr FixedRow kFixedRows[] = {
    {1, 0xff0000},   {2, 0xffff00},   {3, 0x00ff00},   {4, 0x00ffff},   {5, 0x0000ff},
    {6, 0xff00ff},   {7, 0x000000},   {8, 0x8c8c8c},   {9, 0x3f3f3f},   {11, 0xff827f},
    {12, 0xa50800},  {13, 0xa55952},  {14, 0x7f0c00},  {21, 0xffa27f},  {241, 0xff7f9c},
    {250, 0x5f5f5f}, {251, 0x7f7f7f}, {252, 0x9f9f9f}, {253, 0xbfbfbf}, {254, 0xdfdfdf},
    {255, 0xffffff},
};

std::array<QRgb, 256> buildTable() {
    std::array<QRgb, 256> table{};
    table.fill(qRgb(0, 0, 0));
    for (int i = 10; i <= 249; ++i) table[size_t(i)] = hueRow(i);
    for (const FixedRow& f : kFixedRows) table[size_t(f.index)] = 0xff000000u | f.rgb;
    return table;
}

const std::array<QRgb, 256>& table() {
    static const std::array<QRgb, 256> t = buildTable();
    return t;
}

}  // namespace

QColor indexColor(int index) {
    if (index < 1 || index > 255) return QColor(0, 0, 0);
    return QColor::fromRgb(table()[size_t(index)]);
}

QRgb indexRgb(int index) {
    return index < 1 || index > 255 ? qRgb(0, 0, 0) : table()[size_t(index)];
}

QColor contrastColor(const QColor& background) {
    // Perceived brightness (ITU-R BT.601 weights).
    const double y =
        0.299 * background.redF() + 0.587 * background.greenF() + 0.114 * background.blueF();
    return y < 0.5 ? QColor(255, 255, 255) : QColor(0, 0, 0);
}

QColor screenColor(int index, const QColor& background) {
    return index == 7 ? contrastColor(background) : indexColor(index);
}

int resolveColor(int entityColor, int layerColor, int blockColor) {
    int c = entityColor;
    if (c == kColorByLayer) c = std::abs(layerColor);  // negative: the layer is switched off
    if (c == kColorByBlock) c = blockColor;
    if (c < 1 || c > 255) c = 7;
    return c;
}

}  // namespace tolvane::cad
