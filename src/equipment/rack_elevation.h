// The elevation sheet of a rack: the front view in model space, in inches (1 RU = 1.75 in):
// the rack's outline with its rails, the RU scale on the left rail (RU 1 at the bottom), each
// placed system as a box over the RU it spans labelled with its system name, model and
// manufacturer, blank panels over the empty runs on request, and the rack's budget beside
// it with the systems that could not be drawn. The sheet's layout viewport is framed on it.
#pragma once

#include <QRectF>
#include <QString>

#include "cad/document.h"
#include "equipment/racks.h"

namespace tolvane::equipment {

struct ElevationOptions {
    bool blankPanels = false;
};

namespace elevation {
constexpr double kRuHeight = kInchesPerRu;
constexpr double kPanelWidth = 19.0;  // the equipment's front panel
constexpr double kRailWidth = 1.25;
inline const QString kLayerRack = QStringLiteral("RACK");
inline const QString kLayerEquipment = QStringLiteral("RACK_EQUIPMENT");
inline const QString kLayerBlank = QStringLiteral("RACK_BLANK");
inline const QString kLayerText = QStringLiteral("RACK_TEXT");
inline const QString kLayerBudget = QStringLiteral("RACK_BUDGET");
}  // namespace elevation

// The box of RU `bottom` up to and including `top` between the rails.
QRectF ruBox(int bottom, int top);

// Draws the elevation into the document's model space (layers made as needed) and frames the
// first viewport of its paper layouts on it.
void drawElevation(cad::Document& doc, const RackPlan& plan, const ElevationOptions& options);

// The rack's sheet: the template drawing (none: an empty drawing) made ready as a new
// drawing is, with the elevation drawn. Throws cad::DxfError when the template cannot be read.
cad::Document elevationSheet(const RackPlan& plan, const ElevationOptions& options,
                             const QString& templatePath, const QString& blocksFolder);

// The file name of a rack's sheet: "<rack> Elevation.dxf", characters a file name cannot hold
// replaced by "_".
QString elevationFileName(const QString& rack);

}  // namespace tolvane::equipment
