// The main window.
#include "app/shell/main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QScopeGuard>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

#include "app/admin/conflict_viewer_window.h"
#include "app/admin/users_window.h"
#include "app/drawing/block_browser.h"
#include "app/drawing/drawing_view.h"
#include "app/drawing/drawing_window.h"
#include "app/drawing/drawing_windows.h"
#include "app/drawing/property_grid.h"
#include "app/jackfields/project_jackfield_windows.h"
#include "app/library/cable_type_library_window.h"
#include "app/library/equipment_library_window.h"
#include "app/library/signal_types_window.h"
#include "app/projects/data_sheets.h"
#include "app/projects/project_dialogs.h"
#include "app/projects/project_explorer.h"
#include "app/reports/bill_of_materials_window.h"
#include "app/reports/report_window.h"
#include "app/reports/report_windows.h"
#include "app/reports/report_wizard_window.h"
#include "app/shell/getting_started_window.h"
#include "app/shell/panes.h"
#include "app/shell/preferences_window.h"
#include "app/shell/tips_window.h"
#include "app/wiring/cable_windows.h"
#include "app/wiring/cables_pane.h"
#include "app/wiring/check_windows.h"
#include "app/wiring/system_name_window.h"
#include "cad/cad_error.h"
#include "cad/editing.h"
#include "cad/geometry.h"
#include "cad/picking.h"
#include "db/database.h"
#include "db/preferences.h"
#include "drawings/command_aliases.h"
#include "drawings/entity_tag.h"
#include "drawings/layers.h"
#include "drawings/properties.h"
#include "jackfields/jack_assignment.h"
#include "projects/lock_admin.h"
#include "projects/project_registry.h"
#include "projects/users.h"
#include "reports/cable_schedule_export.h"
#include "shell/app_folder.h"
#include "shell/command_line.h"
#include "shell/command_table.h"
#include "shell/error_handler.h"
#include "shell/event_log.h"
#include "shell/run_state.h"
#include "shell/settings_store.h"
#include "shell/system_check.h"
#include "ui/ui.h"
#include "wiring/project_scan.h"
#include "wiring/signal_trace.h"

// The icons are compiled into this library; a static library's resources are registered
// by hand.
static void initIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace tolvane {

const SnapMode kSnapModes[11] = {
    {"catOSnapEndPoint", 1},  {"catOSnapMidPoint", 2},        {"catOSnapCenter", 4},
    {"catOSnapInsert", 8},    {"catOSnapPerp", 16},           {"catOSnapNearest", 32},
    {"catOSnapAppInt", 64},   {"catOSnapNode", 128},          {"catOSnapQuadrant", 256},
    {"catOSnapTangent", 512}, {"catOSnapIntersection", 1024},
};

namespace {

// A menu or toolbar entry: a key of the command table, or "-" for a separator.
struct MenuItem {
    consteval MenuItem(const char* k) : key(k) {
        if (!sameKey(k, "-") && !isCommandKey(k)) throw "not a key of the command table";
    }
    bool separator() const { return sameKey(key, "-"); }
    const char* key;
};

struct ToolBarDef {
    const char* name;
    const char* caption;
    std::initializer_list<MenuItem> keys;
    Qt::ToolBarArea area;
};

// The toolbars in the order their captions are listed; the drawing toolbars first.
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

struct MenuDef {
    const char* name;
    const char* title;
    std::initializer_list<MenuItem> keys;
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
     {"catPLSystems", "catPLCables", "catPLJackFields", "-", "catPViewProjBlocks", "-",
      "catGBillOfMaterials", "catRExportCableSchedule", "-", "catPRefresh", "catPDeleteMissing",
      "catPClearDrawingList", "catPConsolidate", "catPClearLock", "-", "catPCheck", "catPTrace",
      "-", "catPPrefs"}},
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

bool isDrawingBar(const QString& name) {
    return name.startsWith(QLatin1String("tbDWG"));
}
bool isReportBar(const QString& name) {
    return name.startsWith(QLatin1String("tbRPT"));
}

}  // namespace

MainWindow::MainWindow(Services services, QWidget* parent)
    : QMainWindow(parent), s_(services), router_(services.ui, services.errors) {
    if (s_.users)
        router_.setPermissionCheck(
            [users = s_.users](const QString& key) { return users->allowed(key); });
    initIconResources();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(Ui::appTitle());
    setWindowIcon(QIcon(QStringLiteral(":/icons/tolvane.svg")));
    setAttribute(Qt::WA_DeleteOnClose, false);
    mdi_ = new QMdiArea(this);
    mdi_->setObjectName(QStringLiteral("mdiArea"));
    mdi_->setViewMode(QMdiArea::SubWindowView);
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);
    statusBar()->setObjectName(QStringLiteral("sbStatus"));
    resize(1200, 800);
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) {
        const QString kind =
            w && w->widget() ? w->widget()->property("tolvaneKind").toString() : QString();
        if (kind == QLatin1String("drawing"))
            setWindowState(WindowState::Drawing);
        else if (kind == QLatin1String("datasheet"))
            setWindowState(WindowState::DataSheet);
        else if (kind == QLatin1String("report")) {
            // The report's bars are for its designer: they follow the tab shown.
            auto* report = qobject_cast<ReportWindow*>(w->widget());
            setWindowState(report && report->tabs()->currentIndex() != ReportWindow::Design
                               ? WindowState::ReportPreview
                               : WindowState::ReportDesign);
        } else
            setWindowState(WindowState::None);
    });
}

MainWindow::~MainWindow() {
    // The child windows close while QWidget's destructor runs, after this object's members
    // are gone: nothing of theirs may call back into it then.
    QObject::disconnect(mdi_, nullptr, this, nullptr);
    s_.ui.setPromptLine(nullptr);
}

QAction* MainWindow::action(const QString& key) {
    if (QAction* a = actions_.value(key)) return a;
    const CommandInfo* info = findCommand(key);
    auto* a = new QAction(info ? QString::fromLatin1(info->label) : key, this);
    a->setObjectName(key);
    const QString icon = QStringLiteral(":/icons/%1.svg").arg(key);
    if (QFile::exists(icon)) a->setIcon(QIcon(icon));
    a->setToolTip(a->text().remove(QStringLiteral("...")));
    a->setStatusTip(a->toolTip());
    connect(a, &QAction::triggered, this, [this, key, a] {
        // The automatic grips tool is toggled by its command (which may be refused), not by
        // the click itself.
        if (key == QLatin1String("catDAutoGrips")) {
            const QSignalBlocker quiet(a);
            a->setChecked(!a->isChecked());
        }
        RouteCMD(key);
    });
    actions_.insert(key, a);
    return a;
}

void MainWindow::buildActions() {
    for (const CommandInfo& c : commandTable()) action(QString::fromLatin1(c.key));
    for (const SnapMode& m : kSnapModes) action(m.key.text())->setCheckable(true);
    action(CommandKey("catDAutoGrips"))->setCheckable(true);
    action(CommandKey("catDAutoGrips"))->setChecked(true);
    // The drawing's keys act on the active document whatever has the focus in the main
    // window (the command box, a pane, the drawing); a text field being edited keeps its own
    // Ctrl+C, Ctrl+Z, ... (it claims them before the shortcuts are looked at), except the
    // command box, which hands them on.
    struct Shortcut {
        CommandKey key;
        QList<QKeySequence> sequences;
    };
    const Shortcut kShortcuts[] = {
        {"catDNew", {QKeySequence(Qt::CTRL | Qt::Key_N)}},
        {"catDOpen", {QKeySequence(Qt::CTRL | Qt::Key_O)}},
        {"catDSave", {QKeySequence(Qt::CTRL | Qt::Key_S)}},
        {"catDPrint", {QKeySequence(Qt::CTRL | Qt::Key_P)}},
        {"catDUndo", {QKeySequence(Qt::CTRL | Qt::Key_Z)}},
        {"catDRedo",
         {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}},
        {"catDCopytoClip", {QKeySequence(Qt::CTRL | Qt::Key_C)}},
        {"catDPaste", {QKeySequence(Qt::CTRL | Qt::Key_V)}},
        {"catDCuttoClip", {QKeySequence(Qt::CTRL | Qt::Key_X)}}};
    for (const auto& [key, shortcuts] : kShortcuts) {
        QAction* a = action(key);
        a->setShortcuts(shortcuts);
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
    }
    // Exit acts through its own menu handler, not the router.
    QAction* exit = action(CommandKey("catGExit"));
    exit->setShortcut(QKeySequence::Quit);
    exit->setMenuRole(QAction::QuitRole);
    connect(exit, &QAction::triggered, this, &QWidget::close);
}

QDockWidget* MainWindow::addPane(QWidget* pane, const QString& title, Qt::DockWidgetArea area) {
    auto* dock = new QDockWidget(title, this);
    dock->setObjectName(QStringLiteral("dp") + pane->objectName());
    dock->setWidget(pane);
    addDockWidget(area, dock);
    return dock;
}

void MainWindow::buildPanes() {
    properties_ = new PropertyListPane(s_.ui, this);
    projects_ =
        new projects::ProjectRegistry(s_.run, s_.settings, s_.ui, s_.log, db::connections());
    projects_->setParent(this);
    projects_->drawingsOpen = [this] { return !mdi_->subWindowList().isEmpty(); };
    projects_->closeDrawings = [this] { return closeChildren(); };
    explorer_ = new ProjectExplorer(s_.run, s_.ui, projects_, db::connections(), this);
    explorer_->setErrorHandler(&s_.errors);
    explorer_->route = [this](const QString& key) { RouteCMD(key); };
    explorer_->openDrawing = [this](const QString& path) { openFile(path); };
    explorer_->openReport = [this](const QString& path) { openFile(path); };
    explorer_->billOfMaterials = [this] { RouteCMD(CommandKey("catGBillOfMaterials")); };
    explorer_->dataSheet = [this](const QString& key) {
        if (key == QLatin1String("DWGS_DB"))
            openDataSheet(SheetKind::Drawings);
        else if (key == QLatin1String("PROJECTS_DATABASE"))
            openDataSheet(SheetKind::Projects);
        else if (key == QLatin1String("P_CHILDCABLES_DATABASE"))
            openDataSheet(SheetKind::ChildCables);
        else if (key == QLatin1String("P_JACKS_DATABASE"))
            openDataSheet(SheetKind::JackPositions);
    };
    explorer_->conflictViewer = [this] { router_.route(CommandKey("catGResolveConflicts")); };
    cables_ = new CablesPane(s_.ui, this);
    cables_->start = [this] {
        // The drawing tips come back with every Start (unless the user turned them off).
        if (tips_) tips_->close();
        showTips(QStringLiteral("DRAW"));
        RouteCMD(CommandKey("catWAddCables"));
    };
    cables_->drawCables = [this] { RouteCMD(CommandKey("catWAddCables")); };
    commandLine_ = new CommandLinePane(s_.ui, s_.aliases, s_.log, this);
    addPane(explorer_, tr("Project Explorer"), Qt::RightDockWidgetArea);
    QDockWidget* pl = addPane(properties_, tr("Properties"), Qt::RightDockWidgetArea);
    addPane(cables_, tr("Cable Drawing"), Qt::RightDockWidgetArea);
    addPane(commandLine_, tr("Command Line"), Qt::BottomDockWidgetArea);
    tabifyDockWidget(pl, findChild<QDockWidget*>(QStringLiteral("dpfrmCables")));
    pl->raise();
    resizeDocks({findChild<QDockWidget*>(QStringLiteral("dpfrmCommandLine"))}, {160}, Qt::Vertical);
    s_.ui.setPromptLine(commandLine_);
    commandLine_->drawingActive = [this] { return state_ == WindowState::Drawing; };
    // Zoom and pan typed while a command waits run as view commands; the prompt goes on.
    commandLine_->transparentView = [this](const QString& text) {
        static const QHash<QString, QString> keys = {
            {QStringLiteral("ZOOM"), CommandKey("catDWindow")},
            {QStringLiteral("ZW"), CommandKey("catDWindow")},
            {QStringLiteral("ZE"), CommandKey("catDExtents")},
            {QStringLiteral("ZI"), CommandKey("catDZoomIn")},
            {QStringLiteral("ZO"), CommandKey("catDZoomOut")},
            {QStringLiteral("ZA"), CommandKey("catDAll")},
            {QStringLiteral("ZP"), CommandKey("catDZoomPrevious")},
            {QStringLiteral("PAN"), CommandKey("catDPan")}};
        const QString key = keys.value(text);
        if (!key.isEmpty()) router_.route(key);
    };
    commandLine_->drawingKey = [this](QKeyEvent* key) {
        DrawingWindow* w = drawings_ ? drawings_->active() : nullptr;
        if (!w) return false;
        QCoreApplication::sendEvent(w, key);
        return true;
    };
    commandLine_->runAction = [this](const QString& action) {
        if (action.startsWith(QLatin1String("TLB:")))
            toggleBar(action.mid(4));
        else
            router_.route(action);  // the typed alias is in the history already
    };
}

void MainWindow::buildToolBars() {
    for (const ToolBarDef& def : kToolBars) {
        auto* bar = new QToolBar(tr(def.caption), this);
        bar->setObjectName(QString::fromLatin1(def.name));
        bar->setIconSize(QSize(20, 20));
        for (const MenuItem& item : def.keys) {
            if (item.separator())
                bar->addSeparator();
            else
                bar->addAction(action(QString::fromLatin1(item.key)));
        }
        // Two rows at the top: the file and view tools, then the drawing and wiring tools.
        if (bar->objectName() == QLatin1String("tbDWGSnap")) addToolBarBreak(Qt::TopToolBarArea);
        // The report bars, shown only with a report, take a row of their own.
        if (bar->objectName() == QLatin1String("tbRPTTools")) addToolBarBreak(Qt::TopToolBarArea);
        if (bar->objectName() == QLatin1String("tbDWGLayers")) {
            buildLayerList();
            bar->insertWidget(bar->actions().value(0), layers_);
        }
        addToolBar(def.area, bar);
        toolBars_ << bar;
        if (isReportBar(bar->objectName())) bar->hide();  // shown with a report window
    }
}

void MainWindow::listWindows(QMenu& menu) {
    for (QAction* a : menu.actions())
        if (a->property("tolvaneWindowEntry").toBool()) delete a;
    const QList<QMdiSubWindow*> children = mdi_->subWindowList();
    if (children.isEmpty()) return;
    menu.addSeparator()->setProperty("tolvaneWindowEntry", true);
    int n = 0;
    for (QMdiSubWindow* child : children) {
        ++n;
        const QString title =
            child->widget() ? child->widget()->windowTitle() : child->windowTitle();
        QAction* a = menu.addAction(n < 10 ? QStringLiteral("&%1 %2").arg(n).arg(title) : title);
        a->setProperty("tolvaneWindowEntry", true);
        a->setObjectName(QStringLiteral("mnuWindow_%1").arg(n));
        a->setCheckable(true);
        a->setChecked(child == mdi_->activeSubWindow());
        connect(a, &QAction::triggered, this, [this, child = QPointer<QMdiSubWindow>(child)] {
            if (!child) return;
            // A window chosen from a maximised one comes forward as it was left.
            if (child->isMinimized()) child->showNormal();
            mdi_->setActiveSubWindow(child);
        });
    }
}

void MainWindow::buildMenus() {
    for (const MenuDef& def : kMenus) {
        QMenu* menu = menuBar()->addMenu(tr(def.title));
        menu->setObjectName(QString::fromLatin1(def.name));
        for (const MenuItem& item : def.keys) {
            if (item.separator())
                menu->addSeparator();
            else
                menu->addAction(action(QString::fromLatin1(item.key)));
        }
        if (QLatin1String(def.name) == QLatin1String("mnuWindow")) {
            // Tabs or windows of their own, one of the two checked.
            menu->addSeparator();
            auto* mode = new QActionGroup(menu);
            tabbed_ = menu->addAction(tr("&Tabbed"));
            tabbed_->setObjectName(QStringLiteral("mnuWindowTabbed"));
            windowed_ = menu->addAction(tr("&Windows"));
            windowed_->setObjectName(QStringLiteral("mnuWindowWindows"));
            for (QAction* a : {tabbed_, windowed_}) {
                a->setCheckable(true);
                mode->addAction(a);
            }
            windowed_->setChecked(true);
            connect(tabbed_, &QAction::triggered, this, [this] { setTabbed(true); });
            connect(windowed_, &QAction::triggered, this, [this] { setTabbed(false); });
            // The open windows, the active one checked, after the arranging commands.
            connect(menu, &QMenu::aboutToShow, this, [this, menu] { listWindows(*menu); });
        }
        if (QLatin1String(def.name) == QLatin1String("mnuView")) {
            menu->addSeparator();
            QMenu* bars = menu->addMenu(tr("&Toolbars"));
            bars->setObjectName(QStringLiteral("mnuToolbars"));
            for (QToolBar* bar : toolBars_) {
                QAction* t = bar->toggleViewAction();
                t->setObjectName(QStringLiteral("mnuView_") + bar->objectName());
                bars->addAction(t);
            }
            QMenu* panes = menu->addMenu(tr("&Panes"));
            panes->setObjectName(QStringLiteral("mnuPanes"));
            for (QDockWidget* dock : findChildren<QDockWidget*>()) {
                QAction* t = dock->toggleViewAction();
                t->setObjectName(QStringLiteral("mnuView_") + dock->objectName());
                panes->addAction(t);
            }
        }
        if (QLatin1String(def.name) == QLatin1String("mnuProject")) {
            // The registry's own menu handlers (not routed keys).
            QList<QAction*> first;
            const auto entry = [&](const char* name, const QString& text, const char* procedure,
                                   std::function<void()> run) {
                auto* a = new QAction(text, this);
                a->setObjectName(QString::fromLatin1(name));
                connect(a, &QAction::triggered, this, [this, procedure, run] {
                    s_.errors.guard(QString::fromLatin1(procedure), run);
                });
                first << a;
            };
            entry("catPNew", tr("&New Project..."), "AddNewProject",
                  [this] { runNewProject(s_.ui, *projects_, this); });
            entry("catPLink", tr("&Link Project..."), "catPLink",
                  [this] { projects_->linkProject(); });
            entry("catPDelete", tr("&Delete Project..."), "catPDelete",
                  [this] { runDeleteProject(s_.ui, *projects_, this); });
            menu->insertActions(menu->actions().value(0), first);
            menu->insertSeparator(menu->actions().value(first.size()));
            // Shared mode: the user administration.
            menu->addSeparator();
            auto* users = menu->addAction(tr("&Users and Permissions..."));
            users->setObjectName(QStringLiteral("mnuUsers"));
            connect(users, &QAction::triggered, this, [this] {
                s_.errors.guard(QStringLiteral("mnuUsers"), [this] {
                    if (!s_.users) return;
                    UsersWindow window(*s_.users, s_.ui, this);
                    window.setErrorHandler(&s_.errors);
                    s_.ui.runModal(window);
                });
            });
            users->setVisible(false);
            sharedModeActions_ << users;
        }
    }
    QMenu* tools = menuBar()->addMenu(tr("&Tools"));
    tools->setObjectName(QStringLiteral("mnuTools"));
    QAction* calc = tools->addAction(tr("&Calculator"));
    calc->setObjectName(QStringLiteral("mnuCalc"));
    connect(calc, &QAction::triggered, this, [this] {
        s_.errors.guard(QStringLiteral("mnuCalc"), [this] { runCalculator(s_.ui, s_.settings); });
    });
    tools->addAction(action(CommandKey("catPPrefs")));
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    QAction* tips = help->addAction(QIcon(QStringLiteral(":/icons/help-tips.svg")), tr("&Tips..."));
    tips->setObjectName(QStringLiteral("mnuTips"));
    connect(tips, &QAction::triggered, this, [this] { showTips(QStringLiteral("FIRST"), true); });
    help->addAction(action(CommandKey("catGSystemCheck")));
    QAction* about =
        help->addAction(QIcon(QStringLiteral(":/icons/help-about.svg")), tr("&About Tolvane"));
    about->setObjectName(QStringLiteral("mnuAbout"));
    connect(about, &QAction::triggered, this, [this] {
        s_.ui.message(tr("Tolvane %1\r\nWiring design and documentation for audio, video and "
                         "broadcast installations.\r\nApplication folder: %2")
                          .arg(s_.run.versionText, s_.run.appFolder()),
                      MsgButtons::Ok, MsgIcon::Information);
    });
}

void MainWindow::registerActions() {
    auto on = [this](CommandKey key, CommandRouter::Action a) {
        router_.setAction(key, std::move(a));
    };
    on("catWTileH", [this] {
        // One row of windows side by side: each takes the full height.
        const auto windows = mdi_->subWindowList();
        if (windows.isEmpty()) return;
        const int w = mdi_->viewport()->width() / windows.size();
        for (int i = 0; i < windows.size(); ++i)
            windows[i]->setGeometry(i * w, 0, w, mdi_->viewport()->height());
    });
    on("catWTileV", [this] {
        // Windows stacked top to bottom: each takes the full width.
        const auto windows = mdi_->subWindowList();
        if (windows.isEmpty()) return;
        const int h = mdi_->viewport()->height() / windows.size();
        for (int i = 0; i < windows.size(); ++i)
            windows[i]->setGeometry(0, i * h, mdi_->viewport()->width(), h);
    });
    on("catWCascade", [this] { mdi_->cascadeSubWindows(); });
    on("catGProjectExplorer", [this] {
        QDockWidget* d = findChild<QDockWidget*>(QStringLiteral("dpfrmProjectExplorer"));
        d->show();
        d->raise();
    });
    on("catDProperties", [this] {
        QDockWidget* d = findChild<QDockWidget*>(QStringLiteral("dpfrmPL"));
        d->show();
        d->raise();
    });
    on("catOSnapNone", [this] { setSnapButtons(0); });
    on("catGSystemCheck", [this] {
        SystemCheck(s_.run.appFolder(), s_.run.mode).runAndShow(s_.ui, SystemCheck::Show::Always);
    });
    on("catPPrefs", [this] {
        PreferencesWindow window(s_.ui, s_.settings, db::connections(), this);
        window.setErrorHandler(&s_.errors);
        s_.ui.runModal(window);
        if (cables_->isSetUp()) loadCableOptions();
        if (preferencesChanged) preferencesChanged();
    });
    on("catLEquipment", [this] { openEquipmentLibrary(); });
    on("catLJF", [this] { jackfieldCommands().openLibrary(); });
    on("catWBuildJF", [this] { jackfieldCommands().buildInDrawing(); });
    on("catPLJackFields", [this] { openDataSheet(SheetKind::ProjectJackfields); });
    on("catWAddEquipment", [this] {
        // Placing new equipment starts in the library, where its block is generated.
        if (QWidget* child = activeChild(); qobject_cast<DrawingWindow*>(child))
            static_cast<DrawingWindow*>(child)->setLastCommand(QStringLiteral("Add Equipment"),
                                                               QStringLiteral("WAddEquipment"));
        openEquipmentLibrary();
    });
    // The block library of the drawing menus and the project blocks of the project menu are
    // one window.
    on("catDBlocks", [this] { showBlockBrowser(QStringLiteral("ProjectBlocks")); });
    on("catPViewProjBlocks", [this] { showBlockBrowser(QStringLiteral("ProjectBlocks")); });
    on("catLManufacturers", [this] { openDataSheet(SheetKind::Manufacturers); });
    on("catLConnectors", [this] { openDataSheet(SheetKind::Connectors); });
    on("catPLCables", [this] { openDataSheet(SheetKind::ProjectCables); });
    on("catPLSystems", [this] { openDataSheet(SheetKind::Systems); });
    on("catLSignalTypes", [this] {
        SignalTypesWindow window(libraryAccess(), this);
        window.setErrorHandler(&s_.errors);
        s_.ui.runModal(window);
    });
    on("catLCT", [this] {
        CableTypeLibraryWindow window(libraryAccess(), this);
        window.setErrorHandler(&s_.errors);
        // The library is modal: the cable types' data sheet opens once it has closed.
        bool sheetWanted = false;
        window.showDataSheet = [&window, &sheetWanted] {
            sheetWanted = true;
            window.close();
        };
        s_.ui.runModal(window);
        if (sheetWanted) openDataSheet(SheetKind::CableTypes);
    });
    on("catWAddCables", [this] {
        QDockWidget* d = findChild<QDockWidget*>(QStringLiteral("dpfrmCables"));
        d->show();
        d->raise();
        if (!cables_->isSetUp()) loadCableOptions();
        const std::optional<wiring::Terminal> terminal = cables_->takeTerminal();
        DrawingWindow* w = drawings_->active();
        if (!w) throw cad::CadError(cad::NoDocument, QStringLiteral("ActiveDocument"));
        drawings_->drawCables(*w, cables_->options(), terminal);
    });
    on("catWAssignCable", [this] {
        DrawingWindow* w = drawings_->active();
        if (!w) throw cad::CadError(cad::NoDocument, QStringLiteral("ActiveDocument"));
        assignCables(*w);
    });
    on("catWAssignSysNames",
       [this] { assignSysNamesCommand(*drawings_, s_.run, s_.ui, s_.errors, this); });
    // Jack assignment: the jack double-clicked or selected, else one picked.
    const auto assignJack = [this] {
        DrawingWindow* w = drawings_->active();
        if (!w) {
            s_.ui.message(QStringLiteral("Must have an active drawing"));
            return;
        }
        if (jackfields::projectJackfields(db::connections()).isEmpty()) {
            s_.ui.message(noJackfieldsMessage());
            return;
        }
        const QStringList selected = w->view().selection();
        drawings_->clearGripSet(*w);
        const QString jack = jackfields::jackToAssign(w->drawing(), s_.ui,
                                                      drawings_->events().pickedJack(w->drawing()),
                                                      selected, drawings_->pickAperture(*w));
        if (jack.isEmpty()) return;
        db::Preferences prefs;
        const bool connectors =
            prefs.load(s_.run.userId) && prefs.flag(db::pref::DisplayJackConn, false);
        AssignJackWindow window(s_.ui, w->drawing(), jack, connectors, db::connections(), this);
        window.setErrorHandler(&s_.errors);
        if (s_.ui.runModal(window) == QDialog::Accepted) drawings_->clearGripSet(*w);
    };
    on("catWAssignJack", assignJack);
    on("catWJack", assignJack);
    // Removing a project jackfield works on the project database alone.
    on("catWDeletJF", [this] {
        DeleteJackfieldWindow window(s_.ui, db::connections(), this);
        window.setErrorHandler(&s_.errors);
        if (window.load()) s_.ui.runModal(window);
    });
    on("catRWizard", [this] {
        // Making a report layout takes the right to make reports.
        if (!router_.permitted(CommandKey("catRNew"))) return;
        const QString project = s_.run.currentProjectPath;
        const QString reports = appfolder::findNoCase(project, QStringLiteral("REPORTS"));
        const QString general = reports.isEmpty()
                                    ? QString()
                                    : appfolder::findNoCase(reports, QStringLiteral("GENERAL"));
        ReportWizardWindow window(s_.ui, general.isEmpty() ? project : general);
        window.open = [this](const QString& path) {
            explorer_->refresh();
            openFile(path);
        };
        s_.ui.runModal(window);
    });
    // Making bills is making reports: the wizard asks the permission of catRNew.
    on("catGBillOfMaterials", [this] {
        if (!router_.permitted(CommandKey("catRNew"))) return;
        BillOfMaterialsWindow window(s_.ui, s_.run.appPath, db::connections(), this);
        window.setErrorHandler(&s_.errors);
        // The stock report opens filtered to the bill.
        window.preview = [this](const QString& path, const QString& filter) {
            openReport(path, filter);
        };
        s_.ui.runModal(window);
    });
    on("catRExportCableSchedule", [this] {
        reports::exportCableSchedule(s_.ui, s_.run.appFolder(), s_.run.currentProjectPath,
                                     db::connections());
    });
    on("catGResolveConflicts", [this] {
        ConflictViewerWindow window(s_.ui, s_.run.currentProjectPath);
        window.setErrorHandler(&s_.errors);
        s_.ui.runModal(window);
    });
    on("catPCheck", [this] {
        ProjectCheckWindow window(s_.ui, checkServices(), db::connections(), this);
        window.setErrorHandler(&s_.errors);
        window.runCheck();
        s_.ui.runModal(window);
    });
    on("catPTrace", [this] {
        SignalTraceWindow window(s_.ui, checkServices(), db::connections(), this);
        window.setErrorHandler(&s_.errors);
        // Started from a cable: the trace runs from its source end at once.
        if (DrawingWindow* w = drawings_->active())
            if (const cad::Entity* cable =
                    w->drawing().document().find(drawings_->events().pickedCable(w->drawing()))) {
                const auto [system, pin] =
                    wiring::cableSource(tag::ref1(*cable), db::connections());
                if (!system.isEmpty()) window.startFrom(system, pin);
            }
        s_.ui.runModal(window);
    });
    on("catPRefresh", [this] { explorer_->refresh(); });
    on("catPDeleteMissing", [this] { explorer_->removeMissing(); });
    on("catPClearDrawingList", [this] { explorer_->clearDrawings(); });
    on("catPConsolidate", [this] { runConsolidate(s_.ui, *projects_, this); });
    on("catPClearLock", [this] {
        if (projects::clearLock(s_.run, s_.ui)) explorer_->refresh();
    });
    on("catDRestart", [this] {
        // The active drawing remembers its last interactive command.
        QWidget* child = activeChild();
        const QString last = child ? child->property("lastCommand").toString() : QString();
        router_.route(QStringLiteral("cat") + last);
    });
}

Drawing* MainWindow::activeDrawing() const {
    DrawingWindow* active = drawings_ ? drawings_->active() : nullptr;
    return active ? &active->drawing() : nullptr;
}

equipment::LibraryAccess MainWindow::libraryAccess() {
    // In shared mode the user's group decides; single-user mode allows everything.
    equipment::PermissionCheck check;
    if (s_.users) check = [users = s_.users](const QString& key) { return users->allowed(key); };
    return equipment::LibraryAccess(s_.ui, db::connections(), check);
}

JackfieldCommands MainWindow::jackfieldCommands() {
    db::Preferences prefs;
    db::NameCase nameCase = db::NameCase::NoFormat;
    if (prefs.load(s_.run.userId))
        nameCase = db::nameCaseOf(prefs.value(db::pref::SysNameFmt)).value_or(nameCase);
    const auto active = [this] { return activeDrawing(); };
    const auto clearGrips = [this] {
        if (DrawingWindow* w = drawings_ ? drawings_->active() : nullptr)
            drawings_->clearGripSet(*w);
    };
    const auto placeMany = [this](const std::function<void()>& place) {
        if (!drawings_) return place();
        EntityEvents& events = drawings_->events();
        events.holdTips();
        const auto release = qScopeGuard([&events] { events.releaseTips(); });
        place();
    };
    JackfieldCommands c{libraryAccess(), &s_.errors, this,       s_.run.userId,
                        nameCase,        active,     clearGrips, placeMany};
    return c;
}

void MainWindow::openEquipmentLibrary() {
    // The add dialog writes names in the user's name case.
    db::Preferences prefs;
    db::NameCase nameCase = db::NameCase::NoFormat;
    if (prefs.load(s_.run.userId))
        nameCase = db::nameCaseOf(prefs.value(db::pref::SysNameFmt)).value_or(nameCase);
    EquipmentLibraryWindow window(libraryAccess(), nameCase, this);
    window.setErrorHandler(&s_.errors);
    window.setEventLog(&s_.log);
    window.showTips = [this](const QString& topic) { showTips(topic, false, true); };
    window.activeDrawing = [this] { return activeDrawing(); };
    window.openSignalTypes = [this] { RouteCMD(CommandKey("catLSignalTypes")); };
    window.showBlockReadable = [this](const QString& block) {
        if (DrawingWindow* active = drawings_ ? drawings_->active() : nullptr)
            active->view().zoomToShow(
                cad::boundingBox(active->drawing().document(),
                                 cad::makeInsert(active->drawing().document(), block, {0, 0})));
    };
    window.blockPlaced = [this](const QString& kind) {
        DrawingWindow* active = drawings_ ? drawings_->active() : nullptr;
        if (!active) return;
        drawings_->clearGripSet(*active);
        active->view().setSelection({cad::lastEntity(active->drawing().space())});
        // The first-use tips of the kind, as for every newly tagged entity.
        drawings_->events().tipsAfterTagging(kind);
    };
    // The library is modal: the models' data sheet opens once it has closed.
    bool sheetWanted = false;
    window.showDataSheet = [&window, &sheetWanted] {
        sheetWanted = true;
        window.close();
    };
    // It opens on the manufacturer and model chosen last, and steps aside while a block's
    // insertion point is picked.
    window.restore(equipmentChoice_);
    do {
        s_.ui.runModal(window);
    } while (window.takeReopen());
    equipmentChoice_ = window.choice();
    if (sheetWanted) openDataSheet(SheetKind::Equipment);
}

void MainWindow::showBlockBrowser(const QString& key) {
    if (!blocks_) {
        blocks_ = new BlockBrowser(
            s_.ui, s_.run.appFolder(), [this] { return activeDrawing(); }, this);
        blocks_->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    blocks_->reload(key);
    s_.ui.showModeless(*blocks_);
    blocks_->raise();
}

CheckWindowServices MainWindow::checkServices() {
    return {[this] { return drawings_->projectDrawings(); },
            [this](const QString& path, const QString& handle) {
                return drawings_->showEntity(path, handle);
            },
            [this](const QHash<QString, QStringList>& handles) { drawings_->highlight(handles); },
            [this](const QString& path, const QString& handle) {
                return drawings_->onScreen(path, handle);
            }};
}

DataSheetWindow* MainWindow::openDataSheet(SheetKind kind) {
    if (!sheets_) {
        std::function<bool(const QString&, bool)> allowed;
        if (s_.users)
            allowed = [users = s_.users](const QString& key, bool quiet) {
                return users->allowed(key, quiet);
            };
        sheets_ = new DataSheets(
            DataSheets::Services{s_.run, s_.ui, &s_.errors, mdi_, allowed, db::connections(),
                                 [this](const QString& sheet, qint64 id, const QString& number) {
                                     showCableOnDrawing(sheet, id, number);
                                 }},
            this);
    }
    return sheets_->open(kind);
}

void MainWindow::showCableOnDrawing(const QString& sheet, qint64 cableId, const QString& number) {
    const std::optional<wiring::CablePlace> place =
        wiring::locateCable(drawings_->projectDrawings(), sheet, cableId);
    if (!place) {
        s_.ui.message(tr("Cable %1 is not drawn on any drawing of the project.").arg(number),
                      MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    if (!drawings_->showEntity(place->path, place->handle)) return;
    drawings_->highlight({{place->path, {place->handle}}});
}

void MainWindow::editCableRecord(DrawingWindow& window, const QString& handle) {
    const cad::Entity* e = window.drawing().document().find(handle);
    const QString id = e ? tag::ref1(*e).trimmed() : QString();
    if (id.isEmpty()) {
        s_.ui.message(tr("This cable has not been assigned yet: it has no settings to edit."),
                      MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    DataSheetWindow* sheet = openDataSheet(SheetKind::ProjectCables);
    if (sheet && !sheet->showRow(QStringLiteral("CableID"), id))
        s_.ui.message(tr("The cable's record is not in the project's cable list: assign the "
                         "cable again."),
                      MsgButtons::Ok, MsgIcon::Warning);
}

void MainWindow::showProperties(DrawingWindow* window, const QStringList& selection) {
    if (window != propertiesOf_ || (window && propertiesFollow_.isEmpty())) {
        for (const QMetaObject::Connection& c : std::as_const(propertiesFollow_)) disconnect(c);
        propertiesFollow_.clear();
        propertiesOf_ = window;
        // Values changed by commands, undo and redo, and the file name a save gives, show as
        // they change.
        const auto reload = [this] { showProperties(propertiesOf_, propertiesSelection_); };
        if (window)
            propertiesFollow_ = {
                connect(&window->drawing(), &Drawing::contentChanged, properties_, reload),
                connect(&window->drawing(), &Drawing::titleChanged, properties_, reload)};
    }
    propertiesSelection_ = selection;
    if (!window) {
        properties_->list()->setEntries({});
        return;
    }
    PropertyList list(window->drawing(), s_.ui, propertyContext(*window));
    properties_->list()->setEntries(list.load(selection));
}

PropertyContext MainWindow::propertyContext(DrawingWindow& window) const {
    return {&s_.settings, window.view().view().centre(), drawings_->blockFolder(),
            drawings_->files().defaultTemplate()};
}

void MainWindow::changeProperty(const QString& name, const QString& text) {
    DrawingWindow* w = propertiesOf_;
    if (!w) return;
    s_.errors.guard(QStringLiteral("frmPL"), [&] {
        PropertyList list(w->drawing(), s_.ui, propertyContext(*w));
        list.change(propertiesSelection_, name, text);
        // A view option written to the settings takes effect in every drawing window.
        if (list.changedSettings()) {
            for (DrawingWindow* other : drawings_->windows())
                other->view().applySettings(s_.settings);
        }
        // The grid, snap and ortho entries are the drawing's aids.
        w->view().aidsChanged();
        updateAidButtons();
        showProperties(w, propertiesSelection_);
    });
}

void MainWindow::RouteCMD(const QString& key) {
    router_.route(key, CommandRouter::Origin::Menu);
}

void MainWindow::load(const QString& argument) {
    const auto log = [this](const QString& line) {
        if (s_.log.enabled()) s_.log.log(line);
    };
    // Toolbars, panes and menus; the menus list the toolbars and panes they show and hide.
    buildActions();
    buildToolBars();
    buildPanes();
    log(QStringLiteral("Painted Mainform DP"));
    // The project explorer opens the current project.
    s_.errors.guard(QStringLiteral("frmProjectExplorer"), [this] { explorer_->load(); });
    buildMenus();
    // Shared mode shows its own menu entries.
    for (QAction* a : sharedModeActions_) a->setVisible(s_.run.mode == DatabaseMode::Shared);
    registerActions();
    drawings_ = new DrawingWindows(
        DrawingWindows::Services{
            s_, router_, *mdi_,
            EntityEvents::Tips{[this] {
                                   if (tips_) tips_->close();
                               },
                               [this](const QString& topic) { showTips(topic, false, true); }},
            [this](QChar c) { commandLine_->addChar(c); }, [this] { commandLine_->pressEnter(); }},
        this);
    drawings_->registerActions();
    reports_ = new ReportWindows(
        ReportWindows::Services{
            s_, router_, *mdi_,
            [this] { return !s_.users || s_.users->allowed(QStringLiteral("EditReports")); }},
        this);
    reports_->registerActions();
    connect(reports_, &ReportWindows::reportsChanged, this, [this] { explorer_->refresh(); });
    connect(reports_, &ReportWindows::designShown, this, [this](bool design) {
        setWindowState(design ? WindowState::ReportDesign : WindowState::ReportPreview);
    });
    connect(reports_, &ReportWindows::commandsChanged, this, [this] { setWindowState(state_); });
    drawings_->showProperties = [this](DrawingWindow& w, const QStringList& selection) {
        showProperties(&w, selection);
    };
    drawings_->editRecord = [this](DrawingWindow& w, const QString& handle) {
        editCableRecord(w, handle);
    };
    properties_->list()->propertyModel()->apply = [this](const QString& name, const QString& text) {
        changeProperty(name, text);
    };
    // The property list follows the active drawing window.
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
        auto* w = sub ? qobject_cast<DrawingWindow*>(sub->widget()) : nullptr;
        if (w != propertiesOf_) showProperties(w, w ? w->view().selection() : QStringList());
    });
    connect(drawings_, &DrawingWindows::drawingsChanged, this, [this] { explorer_->refresh(); });
    explorer_->newDrawing = [this] {
        if (router_.permitted(CommandKey("catDNew"))) drawings_->createFromDefaultTemplate();
    };
    // The snap buttons show the running object snaps the user left, and set them.
    setSnapButtons(int(drawings_->snapModes()));
    for (const SnapMode& m : kSnapModes) {
        if (QAction* a = actions_.value(m.key.text()))
            connect(a, &QAction::toggled, this,
                    [this] { drawings_->setSnapModes(unsigned(snapBits())); });
    }
    if (QAction* grips = actions_.value(CommandKey("catDAutoGrips"))) {
        connect(grips, &QAction::toggled, this, [this](bool on) { drawings_->setAutoGrips(on); });
        router_.setAction(CommandKey("catDAutoGrips"), [grips] { grips->toggle(); });
    }
    auto* where = new QLabel(this);
    where->setObjectName(QStringLiteral("lblCoordinates"));
    // Wide enough for large coordinates, so that the buttons beside it do not move as it
    // changes.
    where->setMinimumWidth(
        where->fontMetrics().horizontalAdvance(QStringLiteral("-00000.0000, -00000.0000")));
    where->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    statusBar()->addPermanentWidget(where);
    connect(drawings_, &DrawingWindows::cursorMoved, where, [where](QPointF p) {
        where->setText(QStringLiteral("%1, %2").arg(p.x(), 0, 'f', 4).arg(p.y(), 0, 'f', 4));
    });
    // The drawing aids, beside the coordinates: each button switches its aid as its key does.
    struct AidButton {
        const char *name, *text, *tip;
        DrawingAid aid;
    };
    const AidButton aidButtons[] = {
        {"btnSnap", "SNAP", "Snap to the snap spacing (F9)", DrawingAid::Snap},
        {"btnGrid", "GRID", "Show the grid (F7)", DrawingAid::Grid},
        {"btnOrtho", "ORTHO", "Draw horizontally or vertically (F8)", DrawingAid::Ortho},
        {"btnOsnap", "OSNAP", "Running object snaps (F3)", DrawingAid::OSnap}};
    for (const AidButton& a : aidButtons) {
        auto* button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(a.name));
        button->setText(QString::fromLatin1(a.text));
        button->setToolTip(tr(a.tip));
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);  // the drawing keeps the keyboard
        statusBar()->addPermanentWidget(button);
        connect(button, &QToolButton::clicked, this, [this, aid = a.aid] {
            drawings_->toggleAid(drawings_->active(), aid);
            updateAidButtons();
        });
        aidButtons_.append({button, a.aid});
    }
    connect(drawings_, &DrawingWindows::aidsChanged, this, &MainWindow::updateAidButtons);
    connect(mdi_, &QMdiArea::subWindowActivated, this, &MainWindow::updateAidButtons);
    updateAidButtons();
    // The window as it was left: its size and place, tabs or windows.
    const QString geometry = s_.settings.read(setting::MainWindowGeometry);
    if (!geometry.isEmpty()) restoreGeometry(QByteArray::fromBase64(geometry.toLatin1()));
    setTabbed(s_.settings.read(setting::WindowMode) == QLatin1String("Tabbed"), false);
    // The layer list follows the active drawing.
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this] { loadLayerList(); });
    if (persistToolbars()) {
        const QString layout = s_.settings.read(setting::ToolbarLayout);
        if (!layout.isEmpty()) restoreState(QByteArray::fromBase64(layout.toLatin1()));
    }
    setWindowState(WindowState::None);  // after the layout: report bars show only with a report

    // The program argument: a file to open, or the start-up windows.
    const ArgumentKind kind = classifyArgument(argument);
    if (kind == ArgumentKind::Drawing || kind == ArgumentKind::UnsupportedDrawing ||
        kind == ArgumentKind::Report) {
        // A file that cannot be opened ends its open, not the start of the program.
        s_.errors.guard(QStringLiteral("OpenFile"), [&] { openFile(argument); });
        return;
    }
    if (kind == ArgumentKind::Unknown)
        s_.ui.message(argumentMessage(argument, kind), MsgButtons::Ok, MsgIcon::Warning);
    log(QStringLiteral("Parsed Command Line Args"));
    const QString gettingStarted = s_.settings.read(setting::GettingStarted);
    if (gettingStarted != QLatin1String("0") &&
        gettingStarted.compare(QLatin1String("false"), Qt::CaseInsensitive) != 0) {
        log(QStringLiteral("Attempting to show the getting started form"));
        s_.errors.guard(QStringLiteral("frmGettingStarted"), [this] {
            tolvane::showGettingStarted(
                s_.ui, s_.settings, *explorer_, [this] { runNewProject(s_.ui, *projects_, this); },
                this);
        });
        log(QStringLiteral("Showed Getting Started"));
    }
    if (s_.settings.read(setting::ShowFirstTips) != QLatin1String("0")) {
        showTips(QStringLiteral("FIRST"));
        log(QStringLiteral("Showed First Tips"));
    }
}

QToolBar* MainWindow::toolBar(const QString& objectName) const {
    for (QToolBar* bar : toolBars_)
        if (bar->objectName() == objectName) return bar;
    return nullptr;
}

QWidget* MainWindow::activeChild() const {
    QMdiSubWindow* sub = mdi_->activeSubWindow();
    return sub ? sub->widget() : nullptr;
}

void MainWindow::setWindowState(WindowState state) {
    state_ = state;
    const bool drawing = state == WindowState::Drawing;
    const bool report = state == WindowState::ReportDesign || state == WindowState::ReportPreview;
    for (QToolBar* bar : toolBars_) {
        const QString name = bar->objectName();
        if (name == QLatin1String("tbDWGStandard") || name == QLatin1String("tbDWGTolvane"))
            bar->setEnabled(true);
        else if (isDrawingBar(name))
            bar->setEnabled(drawing);
        else if (isReportBar(name)) {
            bar->setEnabled(state == WindowState::ReportDesign);
            bar->setVisible(report);
        }
    }
    // Drawing commands need a drawing, report commands a report.
    // A key whose action is not built yet is offered disabled whatever the window.
    for (auto it = actions_.cbegin(); it != actions_.cend(); ++it) {
        const QString& key = it.key();
        bool on = true;
        if (key.startsWith(QLatin1String("catD")) && key != QLatin1String("catDNew") &&
            key != QLatin1String("catDOpen") && key != QLatin1String("catDProperties"))
            on = drawing || (report && kDocumentKeys.contains(key));
        else if (key.startsWith(QLatin1String("catR")) && key != QLatin1String("catRNew") &&
                 key != QLatin1String("catROpen"))
            on = report;
        else if (key.startsWith(QLatin1String("catW")) &&
                 !key.startsWith(QLatin1String("catWTile")) &&
                 key != QLatin1String("catWCascade") && key != QLatin1String("catWJack") &&
                 key != QLatin1String("catWDeletJF"))
            on = drawing;
        // The designer's commands follow its selection.
        if (on && report && key.startsWith(QLatin1String("catR")) && reports_)
            if (const std::optional<bool> applies = reports_->commandEnabled(key)) on = *applies;
        it.value()->setEnabled(on && router_.available(key));
    }
    action(CommandKey("catDProperties"))
        ->setText(report ? tr("Report Properties") : tr("Drawing Properties"));
    action(CommandKey("catDNew"))->setText(tr("New Drawing"));
    action(CommandKey("catDOpen"))->setText(tr("Open Drawing..."));
    action(CommandKey("catDSave"))->setText(tr("Save Drawing"));
    action(CommandKey("catDSaveAs"))->setText(tr("Save Drawing as"));
}

int MainWindow::snapBits() const {
    int bits = 0;
    for (const SnapMode& m : kSnapModes)
        if (QAction* a = actions_.value(m.key.text()); a && a->isChecked()) bits |= m.bit;
    return bits;
}

void MainWindow::setSnapButtons(int bits) {
    for (const SnapMode& m : kSnapModes)
        if (QAction* a = actions_.value(m.key.text())) a->setChecked(bits & m.bit);
}

void MainWindow::updateAidButtons() {
    DrawingWindow* w = drawings_ ? drawings_->active() : nullptr;
    for (const auto& [button, aid] : aidButtons_) {
        const QSignalBlocker quiet(button);
        // Snap, grid and ortho belong to a drawing; OSNAP to every drawing.
        button->setEnabled(w || aid == DrawingAid::OSnap);
        button->setChecked(drawings_ && drawings_->aidOn(w, aid));
    }
}

void MainWindow::toggleBar(const QString& objectName) {
    if (QToolBar* bar = toolBar(objectName)) {
        bar->setVisible(!bar->isVisible());
        return;
    }
    if (auto* dock = findChild<QDockWidget*>(QStringLiteral("dp") + objectName))
        dock->setVisible(!dock->isVisible());
}

void MainWindow::setTabbed(bool tabbed, bool remember) {
    mdi_->setViewMode(tabbed ? QMdiArea::TabbedView : QMdiArea::SubWindowView);
    mdi_->setDocumentMode(tabbed);
    mdi_->setTabsClosable(tabbed);
    mdi_->setTabsMovable(tabbed);
    if (tabbed_) tabbed_->setChecked(tabbed);
    if (windowed_) windowed_->setChecked(!tabbed);
    const QString mode = tabbed ? QStringLiteral("Tabbed") : QStringLiteral("Windows");
    if (remember) s_.settings.write(setting::WindowMode, mode);
}

namespace {

// The check of a layer's on/off in the layer list's popup: a click on it turns the layer on
// or off and leaves the list open; a click on the name chooses the layer (the combo box's
// own handling).
class LayerCheckClicks : public QObject {
  public:
    LayerCheckClicks(QComboBox* list, std::function<void(int row)> toggled)
        : QObject(list), list_(list), toggled_(std::move(toggled)) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonRelease &&
            event->type() != QEvent::MouseButtonPress)
            return false;
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QModelIndex at = list_->view()->indexAt(mouse->position().toPoint());
        const QRect item = list_->view()->visualRect(at);
        if (!at.isValid() || mouse->position().x() > item.left() + item.height()) return false;
        if (event->type() == QEvent::MouseButtonRelease) toggled_(at.row());
        return true;
    }

  private:
    QComboBox* list_;
    std::function<void(int row)> toggled_;
};

}  // namespace

void MainWindow::buildLayerList() {
    layers_ = new QComboBox(this);
    layers_->setObjectName(QStringLiteral("cboLayer"));
    layers_->setToolTip(tr("Current layer; the check turns a layer on or off"));
    layers_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    layers_->setMinimumContentsLength(12);
    layers_->setModel(new QStandardItemModel(layers_));
    layers_->view()->viewport()->installEventFilter(new LayerCheckClicks(layers_, [this](int row) {
        const auto* model = static_cast<QStandardItemModel*>(layers_->model());
        if (const QStandardItem* item = model->item(row))
            layerSwitched(row, item->checkState() != Qt::Checked);
    }));
    connect(layers_, &QComboBox::activated, this, [this](int row) { layerChosen(row); });
    layers_->setEnabled(false);
}

void MainWindow::loadLayerList() {
    DrawingWindow* w = drawings_ ? drawings_->active() : nullptr;
    if (w != layersOf_) {
        disconnect(layersFollow_);
        layersOf_ = w;
        // The layers window, undo and commands change the table: the list shows it anew.
        if (w)
            layersFollow_ = connect(&w->drawing(), &Drawing::contentChanged, layers_,
                                    [this] { loadLayerList(); });
    }
    auto* model = static_cast<QStandardItemModel*>(layers_->model());
    const QSignalBlocker quiet(layers_);
    model->clear();
    layers_->setEnabled(w != nullptr);
    if (!w) return;
    const LayerTable table = layerTable(w->drawing());
    for (const cad::Layer& l : table.layers) {
        auto* item = new QStandardItem(l.name);
        item->setCheckable(true);
        item->setCheckState(l.on ? Qt::Checked : Qt::Unchecked);
        item->setToolTip(l.on ? tr("On") : tr("Off"));
        model->appendRow(item);
        if (cad::sameName(l.name, table.current)) layers_->setCurrentIndex(model->rowCount() - 1);
    }
}

void MainWindow::layerChosen(int row) {
    Drawing* d = layersOf_ ? &layersOf_->drawing() : nullptr;
    if (!d || row < 0) return;
    LayerTable table = layerTable(*d);
    if (row >= table.layers.size()) return;
    table.current = table.layers[row].name;
    if (const QString why = applyLayerTable(*d, table); !why.isEmpty())
        s_.ui.message(why, MsgButtons::Ok, MsgIcon::Warning);
    else
        s_.ui.status(QStringLiteral("Current Layer: ") + table.current);
    loadLayerList();
}

void MainWindow::layerSwitched(int row, bool on) {
    Drawing* d = layersOf_ ? &layersOf_->drawing() : nullptr;
    if (!d || row < 0) return;
    LayerTable table = layerTable(*d);
    if (row >= table.layers.size()) return;
    table.layers[row].on = on;
    if (const QString why = applyLayerTable(*d, table); !why.isEmpty())
        s_.ui.message(why, MsgButtons::Ok, MsgIcon::Warning);
    loadLayerList();
}

void MainWindow::assignCables(DrawingWindow& window) {
    wiring::AssignCablesRun run(s_.ui, assignment_, db::connections());
    run.log = &s_.log;
    run.shared = s_.run.mode == DatabaseMode::Shared;
    run.whoAmI = s_.run.whoAmI;
    run.userName = s_.run.userName;
    run.userId = s_.run.userId;
    // The cable double-clicked, or the one cable selected before the command.
    run.picked = drawings_->events().pickedCable(window.drawing());
    const QStringList selected = window.view().selection();
    if (run.picked.isEmpty() && selected.size() == 1) {
        const cad::Entity* e = window.drawing().document().find(selected.first());
        if (e && e->kind == cad::EntityKind::Polyline) run.picked = e->handle;
    }
    db::Preferences prefs(run.registry);
    prefs.load(s_.run.userId);
    bool showCables = false;
    run.existing = [&](const wiring::ExistingAssignment& a, wiring::AssignmentState& state) {
        wiring::AssignmentOptions options(s_.ui, &s_.log, run.registry);
        ExistingAssignmentWindow existing(options, a, state, this);
        existing.setErrorHandler(&s_.errors);
        if (s_.ui.promptLine()) s_.ui.promptLine()->setPrompt({});
        s_.ui.runModal(existing);
        showCables = showCables || existing.showDatabase();
    };
    run.verify = [&](wiring::CableSettings& settings, wiring::AssignmentState& state) {
        VerifySettingsWindow verify(s_.ui, settings, state, prefs, run.registry, this);
        verify.setErrorHandler(&s_.errors);
        if (s_.ui.promptLine()) s_.ui.promptLine()->setPrompt({});
        return s_.ui.runModal(verify) == QDialog::Accepted;
    };
    run.save = [this](Drawing& d) {
        if (DrawingWindow* w = drawings_->windowOf(d)) drawings_->save(*w);
    };
    wiring::Pointers pointers = drawings_->pointers();
    run.pointers = &pointers;
    window.setBusy(true);
    const auto notBusy = qScopeGuard([&window] { window.setBusy(false); });
    wiring::assignCables(window.drawing(), run);
    drawings_->clearGripSet(window);
    window.setLastCommand(QStringLiteral("Assign Cable"), QStringLiteral("WAssignCable"));
    if (showCables) openDataSheet(SheetKind::ProjectCables);
}

void MainWindow::loadCableOptions() {
    db::Preferences row;
    row.load(s_.run.userId);
    cables_->setUp(wiring::cableOptions(row));
}

void MainWindow::showTips(const QString& topic, bool force, bool modal) {
    const QString flag = tipSetting(topic);
    if (!force && !flag.isEmpty() && s_.settings.read(flag) == QLatin1String("0")) return;
    // A topic comes up by itself once a session; the Help menu shows it whenever asked.
    if (!force && tipsShown_.contains(topic.toUpper())) return;
    tipsShown_.insert(topic.toUpper());
    if (!tips_)
        tips_ = new TipsWindow(s_.settings, s_.run.appPath + QStringLiteral("HOWTO.TXT"), this);
    tips_->setTopic(topic);
    if (modal) {
        s_.ui.runModal(*tips_);
        return;
    }
    s_.ui.showModeless(*tips_);
    tips_->raise();
}

void MainWindow::openFile(const QString& file) {
    const QString path = normalisePath(file);
    const ArgumentKind kind = classifyArgument(path);
    switch (kind) {
        case ArgumentKind::Drawing:
        case ArgumentKind::Report:
            if (!QFileInfo::exists(path)) {
                s_.ui.message(tr("%1 cannot be found.").arg(path), MsgButtons::Ok,
                              MsgIcon::Warning);
                return;
            }
            if (kind == ArgumentKind::Drawing) {
                if (drawings_) drawings_->open(path);
                return;
            }
            openReport(path);
            return;
        case ArgumentKind::UnsupportedDrawing:
        case ArgumentKind::Unknown:
            s_.ui.message(argumentMessage(file, kind), MsgButtons::Ok, MsgIcon::Warning);
            return;
        default:
            return;
    }
}

void MainWindow::openReport(const QString& path, const QString& filter) {
    if (reports_) reports_->open(path, filter);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    s_.ui.cancelPrompt();
    // Drawing and report windows first: each asks to save and releases its own lock.
    if (!closeChildren()) {
        event->ignore();
        return;
    }
    if (persistToolbars())
        s_.settings.write(setting::ToolbarLayout, QString::fromLatin1(saveState().toBase64()));
    s_.settings.write(setting::MainWindowGeometry, QString::fromLatin1(saveGeometry().toBase64()));
    // 1. The drawing locks of this run.
    s_.errors.guard(QStringLiteral("MDIForm_Unload"),
                    [this] { explorer_->drawings().releaseAtShutdown(); });
    // 2. Every other window still open, in the order of their names: the application's list
    // of windows has no order of its own, and transcripts must not depend on it.
    QList<QWidget*> others;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible()) others << w;
    std::stable_sort(others.begin(), others.end(), [](const QWidget* a, const QWidget* b) {
        return a->objectName() < b->objectName();
    });
    for (QWidget* w : others) w->close();
    // 3. The end.
    if (s_.log.enabled()) s_.log.log(QStringLiteral("Tolvane is Done"));
    event->accept();
}

bool MainWindow::persistToolbars() const {
    // The user of the run: the login has stored it before the main window loads.
    bool ok = false;
    const int stored = s_.settings.read(setting::UID).toInt(&ok);
    try {
        db::Preferences prefs;
        return prefs.load(ok ? stored : s_.run.userId) &&
               prefs.value(db::pref::GenPersistToolbars).toBool();
    } catch (const db::DbError&) {
        return false;  // no preferences to read: the layout is neither kept nor restored
    }
}

bool MainWindow::closeChildren() {
    // One at a time, so that a Cancel on one window's save question stops the others from
    // being asked (the area's own close-all goes on to the rest).
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
        if (!sub->close()) return false;
    }
    return mdi_->subWindowList().isEmpty();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && s_.ui.promptWaiting()) {
        s_.ui.cancelPrompt();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

}  // namespace tolvane
