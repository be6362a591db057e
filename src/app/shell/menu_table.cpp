// The menus and toolbars of the main window.
#include "app/shell/menu_table.h"

#include <QStringList>

namespace tolvane {

namespace {

const ToolBarDef kToolBars[] = {
    {"tbDWGStandard",
     "Standard",
     {"catDNew", "catDOpen", "catDSave", "-", "catDPrint", "catDPrintPreview", "-", "catDCuttoClip",
      "catDCopytoClip", "catDPaste", "-", "catDUndo", "catDRedo", "-", "catDProperties",
      "catGProjectExplorer"},
     Qt::TopToolBarArea},
    {"tbDWGView",
     "Drawing View",
     {"catDPan", "catDZoomIn", "catDZoomOut", "catDWindow", "catDZoomPrevious", "catDAll",
      "catDExtents", "-", "catDRegen", "-", "catDModelSpace", "catDPaperSpace"},
     Qt::TopToolBarArea},
    {"tbDWGTools",
     "Drawing Tools",
     {"catDLine",       "catDPline", "catDRect", "catDCircle",
      "catD2pt",        "catD3pt",   "catDArc",  "catDArc3pt",
      "catDEllipse",    "catDPoint", "-",        "catDText",
      "catDAttrib",     "catDImage", "-",        "catD3DFace",
      "catD3DMesh",     "catDBox",   "catDCone", "catDSphere",
      "catDPlineToMesh"},
     Qt::LeftToolBarArea},
    {"tbDWGSnap",
     "Object Snap",
     {"catOSnapNone", "-", "catOSnapEndPoint", "catOSnapMidPoint", "catOSnapCenter",
      "catOSnapInsert", "catOSnapPerp", "catOSnapNearest", "catOSnapAppInt", "catOSnapNode",
      "catOSnapQuadrant", "catOSnapTangent", "catOSnapIntersection"},
     Qt::TopToolBarArea},
    {"tbDWGInsert",
     "Inserts",
     {"catDInsert", "catDBlocks", "catDCreateBlock", "catDWBlock", "catDXRef", "catDEditAttrib"},
     Qt::TopToolBarArea},
    {"tbDWGLayers", "Layers", {"catDLayers", "catDLayouts", "catDViewPort"}, Qt::TopToolBarArea},
    {"tbDWGModify",
     "Modify Drawing",
     {"catDSelect", "catDErase",  "catDCopy",         "catDMove",       "catDRotate",
      "catDScale",  "catDMirror", "catDStretch",      "catDExplode",    "-",
      "catDTrim",   "catDExtend", "catDFillet",       "catDOffset",     "catDBreak",
      "catDArray",  "-",          "catDBringToFront", "catDSendToBack", "catDAutoGrips"},
     Qt::LeftToolBarArea},
    {"tbDWGDims",
     "Dimensions",
     {"catDDimAligned", "catDDimH", "catDDimV", "catDDimRadius", "catDDimDiameter",
      "catDDimAngular", "-", "catDDist"},
     Qt::TopToolBarArea},
    {"tbDWGFormat",
     "Format Dialogs",
     {"catDTextStyles", "catDDimStyles", "catDPointStyles"},
     Qt::TopToolBarArea},
    {"tbDWGTolvane",
     "Single Line Drawing Tools",
     {"catWAddEquipment",
      "catWAssignSysNames",
      "-",
      "catWAddCables",
      "catWAssignCable",
      "-",
      "catWAddJack",
      "catWAssignJack",
      "catWBuildJF",
      "catWAddJBox",
      "catWAddXP",
      "-",
      "catWPointer",
      "catWLinkPointer",
      "-",
      "catLEquipment",
      "catLCT",
      "catLSignalTypes",
      "catLJF",
      "catLConnectors"},
     Qt::TopToolBarArea},
    {"tbRPTTools",
     "Report Tools",
     {"catRSelect", "catRLabel", "catRField", "catRCheckbox", "catRImage", "catRLine", "catRBox",
      "catRPageNumber", "catRDate", "catRRTF", "catRFrame", "catRSubreport", "catRPageBreak",
      "catRBarcode"},
     Qt::TopToolBarArea},
    {"tbRPTFormat",
     "Report Formatting",
     {"catRFontDialog", "catRBold", "catRItalic", "catRUnderline", "-", "catRAlignLeft",
      "catRAlignCenter", "catRAlignRight", "-", "catRBullets", "catRIndent", "catROutdent", "-",
      "catRBackColor", "catRForeColor", "catRLineColor", "catRLineStyle"},
     Qt::TopToolBarArea},
    {"tbRPTAlign",
     "Report Field Alignment",
     {"catRAlignLefts", "catRAlignCenters", "catRAlignRights", "catRAlignTops", "catRAlignMiddles",
      "catRAlignBottoms", "-", "catRMakeWidth", "catRMakeHeight", "catRMakeBoth", "catRHEqual",
      "catRVEqual", "catRAligntoGrid", "-", "catRBringToFront", "catRSendToBack",
      "catRLockControls", "catRGridS"},
     Qt::TopToolBarArea},
};

const MenuDef kMenus[] = {
    {"mnuFile",
     "&File",
     {"catDNew", "catDOpen",      "catDSave",         "catDSaveAs", "catDClose", "catDCloseAll",
      "-",       "catRNew",       "catRWizard",       "catROpen",   "catRSave",  "catRSaveAs",
      "-",       "catDPageSetup", "catDPrintPreview", "catDPrint",  "-",         "catDExportImage",
      "-",       "catGExit"}},
    {"mnuEdit",
     "&Edit",
     {"catDUndo", "catDRedo", "-", "catDCuttoClip", "catDCopytoClip", "catDPaste", "-",
      "catDSelect", "catDErase", "-", "catDEditAttrib"}},
    {"mnuView",
     "&View",
     {"catDPan", "catDZoomIn", "catDZoomOut", "catDWindow", "catDZoomPrevious", "catDAll",
      "catDExtents", "catDRegen", "-", "catDModelSpace", "catDPaperSpace", "catDViewPort",
      "catDLayouts", "-", "catDProperties", "catGProjectExplorer"}},
    {"mnuInsert",
     "&Insert",
     {"catDInsert", "catDBlocks", "catDCreateBlock", "catDWBlock", "catDXRef", "-", "catDImage",
      "catDAttrib"}},
    {"mnuDraw",
     "&Draw",
     {"catDLine",   "catDPline", "catDRect",  "catDPoint",  "-",          "catDCircle",
      "catDCenRad", "catD2pt",   "catD3pt",   "catDArc",    "catDArc3pt", "catDEllipse",
      "-",          "catDText",  "-",         "catD3DFace", "catD3DMesh", "catDPlineToMesh",
      "catDBox",    "catDCone",  "catDSphere"}},
    {"mnuModify",
     "&Modify",
     {"catDErase",  "catDCopy",         "catDMove",       "catDRotate", "catDScale",
      "catDMirror", "catDStretch",      "catDExplode",    "-",          "catDTrim",
      "catDExtend", "catDFillet",       "catDOffset",     "catDBreak",  "catDArray",
      "-",          "catDBringToFront", "catDSendToBack", "-",          "catDAutoGrips",
      "catDRestart"}},
    {"mnuDimension",
     "Dime&nsion",
     {"catDDimAligned", "catDDimH", "catDDimV", "catDDimRadius", "catDDimDiameter",
      "catDDimAngular", "-", "catDDist"}},
    {"mnuFormat", "F&ormat", {"catDLayers", "catDTextStyles", "catDDimStyles", "catDPointStyles"}},
    {"mnuWiring",
     "&Wiring",
     {"catWAddEquipment", "catWAssignSysNames", "-", "catWAddCables", "catWAssignCable", "-",
      "catWJack", "catWBuildJF", "catWAssignJF", "catWDeletJF", "-", "catWLinkPointer"}},
    {"mnuLibrary",
     "&Library",
     {"catLEquipment", "catLManufacturers", "catLConnectors", "-", "catLCT", "catLSignalTypes", "-",
      "catLJF"}},
    {"mnuProject",
     "&Project",
     {"catPLSystems",
      "catPLCables",
      "catPLJackFields",
      "-",
      "catPViewProjBlocks",
      "-",
      "catGBillOfMaterials",
      "catRExportCableSchedule",
      "-",
      "catPRefresh",
      "catPDeleteMissing",
      "catPClearDrawingList",
      "catPConsolidate",
      "catPClearLock",
      "-",
      "catPCheck",
      "catPTrace",
      "-",
      "catPIssueRevision",
      "catPCompareRevisions",
      "catPRacks",
      "catPRackElevation",
      "catPRackBudgets",
      "-",
      "catPPrefs"}},
    {"mnuReport",
     "&Report",
     {"catRUndo",
      "catRRedo",
      "-",
      "catRCut",
      "catRCopy",
      "catRPaste",
      "catRDelete",
      "-",
      "catRPageSetup",
      "catRPrintPreview",
      "catRPrint",
      "-",
      "catRExportExcel",
      "catRExportHTML",
      "catRExportPDF",
      "catRExportRTF",
      "catRExportTXT",
      "catRExportTIFF",
      "-",
      "catRGridS",
      "catRLockControls"}},
    {"mnuDatabases", "Data&bases", {"catGResolveConflicts"}},
    {"mnuWindow", "Wi&ndow", {"catWTileH", "catWTileV", "catWCascade"}},
};

// Keys that act on an open document: off while no child window is active.
const QStringList kDocumentKeys = {
    CommandKey("catDSave"),         CommandKey("catDSaveAs"),      CommandKey("catDPageSetup"),
    CommandKey("catDPrintPreview"), CommandKey("catDPrint"),       CommandKey("catDUndo"),
    CommandKey("catDRedo"),         CommandKey("catDCuttoClip"),   CommandKey("catDCopytoClip"),
    CommandKey("catDPaste"),        CommandKey("catDExportImage"), CommandKey("catDRestart"),
    CommandKey("catRSave"),         CommandKey("catRSaveAs"),
};

}  // namespace

std::span<const ToolBarDef> toolBarDefs() {
    return kToolBars;
}

std::span<const MenuDef> menuDefs() {
    return kMenus;
}

bool isDrawingBar(const QString& name) {
    return name.startsWith(QLatin1String("tbDWG"));
}

bool isReportBar(const QString& name) {
    return name.startsWith(QLatin1String("tbRPT"));
}

bool keyOffered(const QString& key, WindowState state) {
    const bool drawing = state == WindowState::Drawing;
    const bool report = state == WindowState::ReportDesign || state == WindowState::ReportPreview;
    if (key.startsWith(QLatin1String("catD")) && key != QLatin1String("catDNew") &&
        key != QLatin1String("catDOpen") && key != QLatin1String("catDProperties"))
        return drawing || (report && kDocumentKeys.contains(key));
    if (key.startsWith(QLatin1String("catR")) && key != QLatin1String("catRNew") &&
        key != QLatin1String("catROpen"))
        return report;
    if (key.startsWith(QLatin1String("catW")) && !key.startsWith(QLatin1String("catWTile")) &&
        key != QLatin1String("catWCascade") && key != QLatin1String("catWJack") &&
        key != QLatin1String("catWDeletJF"))
        return drawing;
    return true;
}

}  // namespace tolvane
