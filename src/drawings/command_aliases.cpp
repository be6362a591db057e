// The alias table and the user key file.
#include "drawings/command_aliases.h"

#include <QFileInfo>

#include "shell/user_file.h"

namespace tolvane {

namespace {
struct DefaultAlias {
    const char* name;
    const char* alias;
    const char* action;
};
// In the order typed text is tested.
constexpr DefaultAlias kTested[] = {
    {"CMD_LINE", "DL", "catDLine"},
    {"CMD_CIRCLE", "DCC", "catDCircle"},
    {"CMD_CIRCLE_2PT", "DC2", "catD2pt"},
    {"CMD_CIRCLE_3PT", "DC3", "catD3pt"},
    {"CMD_PLINE", "DP", "catDPline"},
    {"CMD_ARC", "DAA", "catDArc"},
    {"CMD_ARC_2PT", "DA2", "catDArc2pt"},
    {"CMD_ARC_3PT", "DA3", "catDArc3pt"},
    {"CMD_RECT", "DR", "catDRect"},
    {"CMD_POINT", "DP", "catDPoint"},
    {"CMD_IMAGE", "DI", "catDImage"},
    {"CMD_TEXT", "DT", "catDText"},
    {"CMD_ATTDEF", "DAT", "catDAttrib"},
    {"CMD_DIM_ALIGNED", "DDA", "catDDimAligned"},
    {"CMD_DIM_H", "DDH", "catDDimH"},
    {"CMD_DIM_V", "DDV", "catDDimV"},
    {"CMD_DIM_RADIUS", "DDR", "catDDimRadius"},
    {"CMD_DIM_ANGLE", "DDG", "catDDimAngular"},
    {"CMD_DWG_OPEN", "FO", "catDOpen"},
    {"CMD_DWG_CLOSE", "FC", ""},
    {"CMD_DWG_NEW", "FN", "catDNew"},
    {"CMD_DWG_PRINT", "FP", "catDPrint"},
    {"CMD_DWG_PREVIEW", "PP", "catDPrintPreview"},
    {"CMD_DWG_SAVE", "FS", "catDSave"},
    {"CMD_DELETE", "MD", "catDErase"},
    {"CMD_COPY", "MC", "catDCopy"},
    {"CMD_MOVE", "MM", "catDMove"},
    {"CMD_ROTATE", "MR", "catDRotate"},
    {"CMD_SCALE", "MS", "catDScale"},
    {"CMD_MIRROR", "MI", "catDMirror"},
    {"CMD_STRECTH", "ME", "catDStretch"},
    {"CMD_EXPLODE", "MDA", "catDExplode"},
    {"CMD_TRIM", "MT", "catDTrim"},
    {"CMD_EXTEND", "MX", "catDExtend"},
    {"CMD_SENDTOBACK", "MTB", "catDSendToBack"},
    {"CMD_BRINGTOFRONT", "MTF", "catDBringToFront"},
    {"CMD_BREAK", "MB", "catDBreak"},
    {"CMD_FILLET", "MF", "catDFillet"},
    {"CMD_ARRAY", "MA", "catDArray"},
    {"CMD_ASSIGN_CABLE", "AC", "catWAssignCable"},
    {"CMD_ASSIGN_SYSTEM", "AS", "catWAssignSysNames"},
    {"CMD_ASSIGN_JF", "AF", "catWAssignJF"},
    {"CMD_ASSIGN_JACK", "AJ", "catWAssignJack"},
    {"DLG_EQUIP_LIB", "LE", "catLEquipment"},
    {"DLG_JF_LIB", "LJ", "catLJF"},
    {"DLG_CT_LIB", "LC", "catLCT"},
    {"DLG_PCABLES_DS", "LPC", "catPLCables"},
    {"DLG_PSYSTEMS_DS", "LPS", "catPLSystems"},
    {"CMD_ZOOM_EXTENTS", "ZE", "catDExtents"},
    {"CMD_ZOOM_WINDOW", "ZW", "catDWindow"},
    {"CMD_ZOOM_LAST", "ZL", "catDZoomPrevious"},
    {"CMD_ZOOM_IN", "ZI", "catDZoomIn"},
    {"CMD_ZOOM_OUT", "ZO", "catDZoomOut"},
    {"CMD_REGEN", "VG", "catDRegen"},
    {"CMD_MODEL", "VM", ""},
    {"CMD_PAPER", "vp", ""},
    {"CMD_MEASURE", "VD", "catDDist"},
    {"CMD_CALC", "VC", ""},
    {"DLG_POINTSTYLES", "SP", "catDPointStyles"},
    {"DLG_TEXTSTYLES", "ST", "catDTextStyles"},
    {"DLG_DIMSTYLES", "SD", "catDDimStyles"},
    {"DLG_LAYERS", "SL", "catDLayers"},
    {"DLG_INSERTS", "SI", "catDInsert"},
    {"DLG_LAYOUTS", "SO", "catDLayouts"},
    {"TLB_DWG_TOOLS", "TBT", "TLB:tbDWGTools"},
    {"TLB_DWG_FORMAT", "TBF", "TLB:tbDWGFormat"},
    {"TLB_DWG_MODIFY", "TBM", "TLB:tbDWGModify"},
    {"TLB_DWG_OSNAP", "TBO", "TLB:tbDWGSnap"},
    {"TLB_DWG_VIEW", "TBV", "TLB:tbDWGView"},
    {"TLB_DWG_SINGLE_LINE", "TBS", "TLB:tbDWGTolvane"},
    {"TLB_DWG_DIMS", "TBD", "TLB:tbDWGDims"},
    {"TLB_DWG_COMMAND", "TBC", "TLB:frmCommandLine"},
};
// Redefinable in the user file, never tested.
constexpr DefaultAlias kUntested[] = {
    {"CMD_OSNAP_END", "OSE", ""},    {"CMD_OSNAP_MID", "OSM", ""},    {"CMD_OSNAP_CEN", "OSC", ""},
    {"CMD_OSNAP_NEAR", "OSN", ""},   {"CMD_OSNAP_INSERT", "OSI", ""}, {"CMD_OSNAP_PERP", "OSP", ""},
    {"CMD_OSNAP_TANG", "OST", ""},   {"CMD_OSNAP_QUAD", "OSQ", ""},   {"CMD_OSNAP_INT", "OSX", ""},
    {"CMD_OSNAP_POINT", "OSPT", ""}, {"CMD_REDRAW", "VR", ""},
};
}  // namespace

CommandAliases::CommandAliases() {
    resetToDefaults();
}

void CommandAliases::resetToDefaults() {
    entries_.clear();
    for (const auto& d : kTested)
        entries_.push_back({QString::fromLatin1(d.name), QString::fromLatin1(d.alias),
                            QString::fromLatin1(d.action), true});
    for (const auto& d : kUntested)
        entries_.push_back({QString::fromLatin1(d.name), QString::fromLatin1(d.alias),
                            QString::fromLatin1(d.action), false});
}

void CommandAliases::apply(const QString& text) {
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        if (line.startsWith(QLatin1Char('\''))) continue;
        const int comma = line.indexOf(QLatin1Char(','));
        // A line without a comma names no alias; its whole text would be the name.
        if (comma < 0) continue;
        const QString name = line.left(comma);
        const QString alias = line.mid(comma + 1).toUpper();
        for (AliasEntry& e : entries_)
            if (e.name == name) e.alias = alias;
    }
}

bool CommandAliases::loadUserFile(const QString& path) {
    if (!QFileInfo::exists(path)) return true;
    const UserFile file = readUserFile(path);
    if (!file.ok()) return false;
    apply(QString::fromUtf8(file.bytes));
    return true;
}

std::optional<AliasEntry> CommandAliases::match(const QString& text) const {
    for (const AliasEntry& e : entries_)
        if (e.tested && e.alias == text) return e;
    return std::nullopt;
}

}  // namespace tolvane
