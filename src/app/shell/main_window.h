// frmMain: the main window, put together from its parts: the MDI area for drawing, report
// and data-sheet windows, the four docking panes, the toolbars and menus of the menu table,
// and the window managers and command sets of each subsystem, which register their command
// keys with the one router (RouteCMD). It keeps menus and toolbars in step with the kind of
// the active child window and shuts the program down in order.
#pragma once

#include <QHash>
#include <QMainWindow>
#include <QSet>

#include "app/shell/app_services.h"
#include "app/shell/menu_table.h"
#include "app/wiring/check_windows.h"
#include "drawings/command_router.h"
#include "shell/command_table.h"

class QMdiArea;
class QMenu;
class QToolBar;
class QAction;
class QDockWidget;

namespace tolvane {

class CommandLinePane;
class PropertyListPane;
class CablesPane;
class TipsWindow;
class ProjectExplorer;
class DrawingWindows;
class ReportWindows;
class DataSheets;
class DataSheetWindow;
class LayerList;
class PropertyLink;
class DrawingStatus;
class WiringCommands;
class RackCommands;
class LibraryCommands;
class ProjectCommands;
enum class SheetKind;
namespace projects {
class ProjectRegistry;
}  // namespace projects

// The object-snap modes of a drawing, one bit each.
struct SnapMode {
    CommandKey key;
    int bit;
};
extern const SnapMode kSnapModes[11];

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    using Services = AppServices;
    explicit MainWindow(Services services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // RouteCMD: enter a command key as a menu item would (echoed in the command history).
    void RouteCMD(const QString& key);
    CommandRouter& router() { return router_; }

    // The main window's load: shared-mode menus, toolbars, panes, the window managers and
    // command sets, then the program argument: a file to open, or the getting-started and
    // tips windows.
    void load(const QString& argument);
    // Opens a drawing or report file as the file-open command would.
    void openFile(const QString& path);
    // Opens a report window: the layout file at path (empty: a new "Report1") with a filter
    // expression over its rows ("FileName = 'BOM1'"; empty: all rows).
    void openReport(const QString& path, const QString& filter = {});
    // Shows the tips of a topic unless its setting hides them (force: show anyway); modal
    // when asked (tips after a new tag).
    void showTips(const QString& topic, bool force = false, bool modal = false);

    // The drawing windows (null before load).
    DrawingWindows* drawings() const { return drawings_; }
    // The report windows (null before load).
    ReportWindows* reports() const { return reports_; }

    QMdiArea* mdiArea() const { return mdi_; }
    CommandLinePane* commandLine() const { return commandLine_; }
    QToolBar* toolBar(const QString& objectName) const;
    QWidget* activeChild() const;
    WindowState windowState() const { return state_; }
    void setWindowState(WindowState state);
    // Snap toolbar: the pressed buttons as a bit set, and setting them from a drawing's mode.
    int snapBits() const;
    void setSnapButtons(int bits);

    // Shows or hides a toolbar or pane by object name (command-line "TLB" aliases).
    void toggleBar(const QString& objectName);

    // Opens a data sheet as a child window, or brings the open one to the front; null when it
    // could not be opened (the user was told). The cable types sheet is opened this way too.
    DataSheetWindow* openDataSheet(SheetKind kind);
    projects::ProjectRegistry* projects() const { return projects_; }
    // What the check and trace windows need of the drawing windows (after load).
    CheckWindowServices checkServices();
    // The preferences window has closed: the run's preference row is read again.
    std::function<void()> preferencesChanged;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Closes the child windows one by one, each asking to save its changes; false as soon as
    // one stays open (its user cancelled).
    bool closeChildren();
    // The user's preference "persist toolbars" (genpersisttbs): the toolbars and panes are
    // put back where they were left at the last exit.
    bool persistToolbars() const;
    void buildActions();
    void buildMenus();
    // The Window menu's entries for the open child windows, made anew each time it opens.
    void listWindows(QMenu& menu);
    void buildToolBars();
    void buildPanes();
    // The window managers and the command sets of the subsystems, with their commands.
    void buildManagers();
    // The commands of the main window itself: arranging windows, showing panes, snaps.
    void registerActions();
    QAction* action(const QString& key);
    QDockWidget* addPane(QWidget* pane, const QString& title, Qt::DockWidgetArea area);
    // The child windows as tabs or as windows of their own, remembered in the settings.
    void setTabbed(bool tabbed, bool remember = true);

    Services s_;
    CommandRouter router_;
    QMdiArea* mdi_ = nullptr;
    CommandLinePane* commandLine_ = nullptr;
    PropertyListPane* properties_ = nullptr;
    ProjectExplorer* explorer_ = nullptr;
    projects::ProjectRegistry* projects_ = nullptr;
    CablesPane* cables_ = nullptr;
    TipsWindow* tips_ = nullptr;
    QSet<QString> tipsShown_;  // topics that came up by themselves this session
    DrawingWindows* drawings_ = nullptr;
    ReportWindows* reports_ = nullptr;
    DataSheets* sheets_ = nullptr;
    WiringCommands* wiring_ = nullptr;
    RackCommands* racks_ = nullptr;
    LibraryCommands* library_ = nullptr;
    ProjectCommands* projectCommands_ = nullptr;
    PropertyLink* propertyLink_ = nullptr;
    DrawingStatus* status_ = nullptr;
    LayerList* layers_ = nullptr;
    QHash<QString, QAction*> actions_;
    QList<QToolBar*> toolBars_;
    QList<QAction*> sharedModeActions_;
    QAction* tabbed_ = nullptr;
    QAction* windowed_ = nullptr;
    WindowState state_ = WindowState::None;
};

}  // namespace tolvane
