// The main window.
#include "app/shell/main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <algorithm>

#include "app/drawing/drawing_status.h"
#include "app/drawing/drawing_window.h"
#include "app/drawing/drawing_windows.h"
#include "app/drawing/layer_list.h"
#include "app/drawing/property_link.h"
#include "app/library/library_commands.h"
#include "app/projects/data_sheets.h"
#include "app/projects/project_commands.h"
#include "app/projects/project_dialogs.h"
#include "app/projects/project_explorer.h"
#include "app/projects/rack_commands.h"
#include "app/reports/report_window.h"
#include "app/reports/report_windows.h"
#include "app/shell/getting_started_window.h"
#include "app/shell/panes.h"
#include "app/shell/preferences_window.h"
#include "app/shell/tips_window.h"
#include "app/wiring/cables_pane.h"
#include "app/wiring/wiring_commands.h"
#include "db/preferences.h"
#include "drawings/command_aliases.h"
#include "projects/project_registry.h"
#include "projects/users.h"
#include "shell/app_folder.h"
#include "shell/command_line.h"
#include "shell/command_table.h"
#include "shell/error_handler.h"
#include "shell/event_log.h"
#include "shell/run_state.h"
#include "shell/settings_store.h"
#include "ui/ui.h"

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
    projects_ = new projects::ProjectRegistry(s_.run, s_.settings, s_.ui, s_.log, s_.registry);
    projects_->setParent(this);
    projects_->drawingsOpen = [this] { return !mdi_->subWindowList().isEmpty(); };
    projects_->closeDrawings = [this] { return closeChildren(); };
    explorer_ = new ProjectExplorer(s_.run, s_.ui, projects_, s_.registry, this);
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
    for (const ToolBarDef& def : toolBarDefs()) {
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
            layers_ = new LayerList(s_.ui, this);
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
    for (const MenuDef& def : menuDefs()) {
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
        if (QLatin1String(def.name) == QLatin1String("mnuProject"))
            sharedModeActions_ << projectCommands_->addMenuEntries(*menu);
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
    on("catDRestart", [this] {
        // The active drawing remembers its last interactive command.
        QWidget* child = activeChild();
        const QString last = child ? child->property("lastCommand").toString() : QString();
        router_.route(QStringLiteral("cat") + last);
    });
}

DataSheetWindow* MainWindow::openDataSheet(SheetKind kind) {
    return sheets_ ? sheets_->open(kind) : nullptr;
}

CheckWindowServices MainWindow::checkServices() {
    return wiring_->checkServices();
}

void MainWindow::RouteCMD(const QString& key) {
    router_.route(key, CommandRouter::Origin::Menu);
}

void MainWindow::buildManagers() {
    drawings_ = new DrawingWindows(
        DrawingWindows::Services{
            s_, router_, *mdi_,
            EntityEvents::Tips{[this] {
                                   if (tips_) tips_->close();
                               },
                               [this](const QString& topic) { showTips(topic, false, true); }},
            [this](QChar c) { commandLine_->addChar(c); }, [this] { commandLine_->pressEnter(); },
            [this] { commandLine_->clearCommand(); }},
        this);
    reports_ = new ReportWindows(
        ReportWindows::Services{
            s_, router_, *mdi_,
            [this] { return !s_.users || s_.users->allowed(QStringLiteral("EditReports")); }},
        this);
    std::function<bool(const QString&, bool)> allowed;
    if (s_.users)
        allowed = [users = s_.users](const QString& key, bool quiet) {
            return users->allowed(key, quiet);
        };
    sheets_ = new DataSheets(
        DataSheets::Services{s_.run, s_.ui, &s_.errors, mdi_, allowed, s_.registry,
                             [this](const QString& sheet, qint64 id, const QString& number) {
                                 wiring_->showCableOnDrawing(sheet, id, number);
                             }},
        this);
    wiring_ = new WiringCommands({s_, router_, *drawings_, *cables_, *sheets_, this}, this);
    library_ = new LibraryCommands({s_, router_, *drawings_, *sheets_, this,
                                    [this](const QString& topic) { showTips(topic, false, true); }},
                                   this);
    projectCommands_ = new ProjectCommands({s_, router_, *explorer_, *projects_, *sheets_, this,
                                            [this] {
                                                if (cables_->isSetUp()) wiring_->loadCableOptions();
                                                if (preferencesChanged) preferencesChanged();
                                            }},
                                           this);
    racks_ = new RackCommands({s_, router_, *drawings_, *reports_, this}, this);
    wiring_->registerActions();
    racks_->registerActions();
    library_->registerActions();
    projectCommands_->registerActions();
    drawings_->registerActions();
    reports_->registerActions();

    connect(reports_, &ReportWindows::reportsChanged, this, [this] { explorer_->refresh(); });
    connect(reports_, &ReportWindows::designShown, this, [this](bool design) {
        setWindowState(design ? WindowState::ReportDesign : WindowState::ReportPreview);
    });
    connect(reports_, &ReportWindows::commandsChanged, this, [this] { setWindowState(state_); });
    connect(drawings_, &DrawingWindows::drawingsChanged, this, [this] { explorer_->refresh(); });
    explorer_->newDrawing = [this] {
        if (router_.permitted(CommandKey("catDNew"))) drawings_->createFromDefaultTemplate();
    };
    // The property list, the layer list and the status bar's aids follow the active drawing.
    propertyLink_ = new PropertyLink(*properties_, *drawings_, s_.ui, s_.settings, s_.errors, this);
    status_ = new DrawingStatus(*statusBar(), *drawings_);
    propertyLink_->aidsChanged = [this] { status_->update(); };
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
        auto* w = sub ? qobject_cast<DrawingWindow*>(sub->widget()) : nullptr;
        propertyLink_->follow(w);
        status_->update();
        layers_->follow(drawings_->active());
    });
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
    buildManagers();
    registerActions();
    buildMenus();
    // Shared mode shows its own menu entries.
    for (QAction* a : sharedModeActions_) a->setVisible(s_.run.mode == DatabaseMode::Shared);
    // The window as it was left: its size and place, tabs or windows.
    const QString geometry = s_.settings.read(setting::MainWindowGeometry);
    if (!geometry.isEmpty()) restoreGeometry(QByteArray::fromBase64(geometry.toLatin1()));
    setTabbed(s_.settings.read(setting::WindowMode) == QLatin1String("Tabbed"), false);
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
    // A key whose action is not built yet is offered disabled whatever the window; the
    // designer's commands follow its selection.
    for (auto it = actions_.cbegin(); it != actions_.cend(); ++it) {
        const QString& key = it.key();
        bool on = keyOffered(key, state);
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
        db::Preferences prefs(s_.registry);
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
