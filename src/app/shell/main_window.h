// frmMain: the main window. MDI area for drawing, report and data-sheet windows, the four
// docking panes, the thirteen toolbars and the menus, all of which carry command keys into
// the one router (RouteCMD). It keeps menus and toolbars in step with the kind of the active
// child window and shuts the program down in order.
#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <functional>

#include "app/jackfields/jackfield_commands.h"
#include "app/library/equipment_library_window.h"
#include "app/shell/app_services.h"
#include "app/wiring/check_windows.h"
#include "drawings/command_router.h"
#include "equipment/library_access.h"
#include "shell/command_table.h"
#include "wiring/cable_assignment.h"

class QToolButton;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;
class QAction;
class QDockWidget;
class QComboBox;

namespace tolvane {

enum class DrawingAid;

class Ui;
class ErrorHandler;
class EventLog;
class SettingsStore;
class CommandAliases;
struct RunState;
class CommandLinePane;
class PropertyListPane;
struct PropertyContext;
class CablesPane;
class DrawingWindow;
class TipsWindow;
class ProjectExplorer;
class DrawingWindows;
class ReportWindows;
class BlockBrowser;
class Drawing;
class DataSheets;
class DataSheetWindow;
enum class SheetKind;
namespace projects {
class ProjectRegistry;
class Users;
}  // namespace projects

// What kind of child window is active: the main window's menus and toolbars follow it.
enum class WindowState {
    None = 0,
    Drawing = 1,
    DataSheet = 3,
    ReportDesign = 4,
    ReportPreview = 5
};

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

    // The main window's load: shared-mode menus, toolbars, panes, router, then the program
    // argument: a file to open, or the getting-started and tips windows.
    void load(const QString& argument);
    // Opens a drawing or report file as the file-open command would.
    void openFile(const QString& path);
    // Opens a report window: the layout file at path (empty: a new "Report1") with a filter
    // expression over its rows ("FileName = 'BOM1'"; empty: all rows).
    void openReport(const QString& path, const QString& filter = {});
    // Shows the tips of a topic unless its setting hides them (force: show anyway); modal
    // when asked (tips after a new tag).
    // The cable-drawing pane shows the user's preferences.
    void loadCableOptions();
    // Assign Cable in a drawing window: the picked cable or those the user selects.
    void assignCables(DrawingWindow& window);
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
    // The status bar's drawing-aid buttons (SNAP, GRID, ORTHO, OSNAP) show the active
    // drawing's aids.
    void updateAidButtons();

    // Shows or hides a toolbar or pane by object name (command-line "TLB" aliases).
    void toggleBar(const QString& objectName);

    ProjectExplorer* explorer() const { return explorer_; }
    // Opens a data sheet as a child window, or brings the open one to the front; null when it
    // could not be opened (the user was told). The cable types sheet is opened this way too.
    DataSheetWindow* openDataSheet(SheetKind kind);
    // Opens the drawing that holds the cable of this record, zoomed to it and selected (the
    // project cables sheet's Show on Drawing).
    void showCableOnDrawing(const QString& sheet, qint64 cableId, const QString& number);
    // Opens the project cables sheet at the record of the cable drawn by this entity.
    void editCableRecord(DrawingWindow& window, const QString& handle);
    projects::ProjectRegistry* projects() const { return projects_; }
    // What the check and trace windows need of the drawing windows.
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
    void registerActions();
    QAction* action(const QString& key);
    // The drawing of the active drawing window; nullptr when none is open.
    Drawing* activeDrawing() const;
    equipment::LibraryAccess libraryAccess();
    void openEquipmentLibrary();
    // The jackfield library and build commands, with the services they use.
    JackfieldCommands jackfieldCommands();
    // frmBlocks, made on first use; shown on the node of `key`.
    void showBlockBrowser(const QString& key);
    QDockWidget* addPane(QWidget* pane, const QString& title, Qt::DockWidgetArea area);
    // The child windows as tabs or as windows of their own, remembered in the settings.
    void setTabbed(bool tabbed, bool remember = true);
    // The layer list of the layers toolbar (cboLayer): the active drawing's layers, the current
    // one shown, each with its on/off check. It follows the active drawing and its changes.
    void buildLayerList();
    void loadLayerList();
    // A layer chosen in the list becomes current; a check changed turns it on or off.
    void layerChosen(int row);
    void layerSwitched(int row, bool on);

    // The property list shows the selection of a window, its drawing when nothing is
    // selected, nothing without a window; it follows the drawing's changes.
    void showProperties(DrawingWindow* window, const QStringList& selection);
    PropertyContext propertyContext(DrawingWindow& window) const;
    // An edit made in the property list, written to what it shows.
    void changeProperty(const QString& name, const QString& text);

    Services s_;
    CommandRouter router_;
    QMdiArea* mdi_ = nullptr;
    CommandLinePane* commandLine_ = nullptr;
    PropertyListPane* properties_ = nullptr;
    QPointer<DrawingWindow> propertiesOf_;
    QStringList propertiesSelection_;
    QList<QMetaObject::Connection> propertiesFollow_;
    ProjectExplorer* explorer_ = nullptr;
    projects::ProjectRegistry* projects_ = nullptr;
    CablesPane* cables_ = nullptr;
    // What one cable assignment shares with its windows, kept to the next one.
    wiring::AssignmentState assignment_;
    // The equipment library opens on the manufacturer and model chosen last.
    EquipmentLibraryWindow::Choice equipmentChoice_;
    TipsWindow* tips_ = nullptr;
    QSet<QString> tipsShown_;  // topics that came up by themselves this session
    BlockBrowser* blocks_ = nullptr;
    DrawingWindows* drawings_ = nullptr;
    ReportWindows* reports_ = nullptr;
    DataSheets* sheets_ = nullptr;
    QHash<QString, QAction*> actions_;
    QList<QPair<QToolButton*, DrawingAid>> aidButtons_;
    QList<QToolBar*> toolBars_;
    QList<QAction*> sharedModeActions_;
    QAction* tabbed_ = nullptr;
    QAction* windowed_ = nullptr;
    QComboBox* layers_ = nullptr;
    QPointer<DrawingWindow> layersOf_;
    QMetaObject::Connection layersFollow_;
    WindowState state_ = WindowState::None;
};

}  // namespace tolvane
