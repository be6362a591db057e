// frmProjectExplorer: the docked pane with the project list and the project's tree (library
// databases, the project's drawings with their locks, its databases and report files).
// Activating a node starts the matching command or window; its context menu maintains the
// drawing registry. Business rules live in ProjectRegistry and DrawingRegistry.
#pragma once

#include <QWidget>
#include <functional>

#include "db/database.h"
#include "projects/drawing_registry.h"

class QComboBox;
class QTreeWidget;
class QTreeWidgetItem;
class QAction;
class QMenu;

namespace tolvane {

class Ui;
class ErrorHandler;
struct RunState;

namespace projects {
class ProjectRegistry;
}

class ProjectExplorer : public QWidget {
    Q_OBJECT
  public:
    // projects may be null (tests): the list then holds only the project given to showProject.
    ProjectExplorer(RunState& run, Ui& ui, projects::ProjectRegistry* projects,
                    db::Connections& registry, QWidget* parent = nullptr);

    static QString drawingKeyPrefix() { return QStringLiteral("DRAWING"); }
    static QString generalReportPrefix() { return QStringLiteral("GEN_RPT:"); }
    static QString labelReportPrefix() { return QStringLiteral("LABELS:"); }

    // Supplied by the main window. route: a command key into the router (RouteCMD).
    // openDrawing: opens an existing drawing file (which takes its lock). openReport: loads a
    // report layout into a new report window. billOfMaterials: the permission check of catRNew,
    // then the bill-of-materials window. conflictViewer: the replication conflict viewer.
    std::function<void(const QString&)> route;
    std::function<void(const QString&)> openDrawing;
    std::function<void()> newDrawing;
    std::function<void(const QString&)> openReport;
    std::function<void()> billOfMaterials;
    std::function<void()> conflictViewer;
    // dataSheet: opens the data sheet of a node (DWGS_DB, PROJECTS_DATABASE,
    // P_CHILDCABLES_DATABASE).
    std::function<void(const QString& key)> dataSheet;

    // Failures in the pane's own event handlers go to the handler; without one they propagate.
    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }

    // The pane's load: fills the list, opens the start-up project and builds its tree.
    void load();
    // Chooses a project in the list as the user would: opens it, then shows its tree.
    void chooseProject(const QString& name);
    // Shows the tree of a project that is already open (its folder: the run's project path).
    void showProject(const QString& name);
    QString projectName() const { return project_; }

    // Runs what activating the node with this key does.
    void activate(const QString& key);
    // Makes the node with this key the current one; false when there is none.
    bool selectKey(const QString& key);
    QString selectedKey() const;
    // The tree as indented "text [key]" lines, two blanks per level.
    QStringList treeLines() const;

    QComboBox* projectList() const { return projects_; }
    QTreeWidget* tree() const { return tree_; }
    projects::DrawingRegistry& drawings() { return drawings_; }

  public Q_SLOTS:
    // catPRefresh, catPDeleteMissing, catPClearDrawingList.
    void refresh();
    void removeMissing();
    void clearDrawings();
    // The context menu's "Unlock Drawing" and "View Path" for the current drawing node.
    void unlockSelected();
    void viewPath();

  Q_SIGNALS:
    // The tree was built anew (the getting-started window refills its list).
    void treeRebuilt();

  private:
    void fillProjectList();
    void rebuild();
    void scheduleRebuild();
    void updateActions();
    // Routes a key, or runs fallback when no router is connected.
    void routeOr(const QString& key, const std::function<void()>& fallback);
    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const QString& text, const QString& key);
    QString selectedDrawingPath() const;

    RunState& run_;
    Ui& ui_;
    ErrorHandler* errors_ = nullptr;
    projects::ProjectRegistry* registry_;
    db::Connections& connections_;
    projects::DrawingRegistry drawings_;
    QString project_;
    QComboBox* projects_;
    QTreeWidget* tree_;
    QMenu* menu_;
    QAction* refresh_;
    QAction* removeMissing_;
    QAction* removeAll_;
    QAction* unlock_;
    QAction* viewPath_;
    bool rebuildPending_ = false;
    bool filling_ = false;
};

}  // namespace tolvane
