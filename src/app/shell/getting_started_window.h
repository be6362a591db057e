// frmGettingStarted: the window shown at start-up that offers a new project, a new drawing or
// one of the current project's drawings. Its project list works through the project
// explorer, so that both always show the same project.
#pragma once

#include <QDialog>
#include <functional>

class QComboBox;
class QTabWidget;
class QListWidget;
class QCheckBox;
class QPushButton;
class QAction;

namespace tolvane {

class Ui;
class SettingsStore;
class ProjectExplorer;

class GettingStartedWindow : public QDialog {
    Q_OBJECT
  public:
    GettingStartedWindow(Ui& ui, SettingsStore& settings, ProjectExplorer& explorer,
                         QWidget* parent = nullptr);

    // What OK starts; each runs after the window has closed. Default to the explorer's own.
    std::function<void()> newProject;
    std::function<void(const QString&)> route;
    std::function<void(const QString&)> openDrawing;

    // The drawing list read again from the registry.
    void fillDrawings();
    // Runs what OK chose; nothing after Cancel.
    void runChoice();

    QListWidget* drawingList() const { return drawings_; }
    QTabWidget* tabs() const { return tabs_; }

  protected:
    void done(int result) override;

  private:
    void ok();
    void chooseProject(const QString& name);
    void unlockSelected();
    QStringList selectedPaths() const;

    Ui& ui_;
    SettingsStore& settings_;
    ProjectExplorer& explorer_;
    QComboBox* projects_;
    QTabWidget* tabs_;
    QWidget* newProjectTab_;
    QWidget* newDrawingTab_;
    QWidget* drawingsTab_;
    QListWidget* drawings_;
    QCheckBox* dontShow_;
    QAction* unlock_;
    QAction* viewList_;
    QAction* viewIcons_;
    std::function<void()> choice_;
};

// Shows the window modally at start-up, then runs what OK chose.
void showGettingStarted(Ui& ui, SettingsStore& settings, ProjectExplorer& explorer,
                        std::function<void()> newProject, QWidget* parent = nullptr);

}  // namespace tolvane
