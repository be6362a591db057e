// The windows of the project registry: the new-project, delete-project and consolidate
// dialogs. They collect their fields and call the registry; every message comes from the
// registry through the Ui seam. A failure inside a button's handler closes the dialog and is
// thrown again by the run... function once the dialog is closed, so that no exception crosses
// the Qt event loop and the caller's error handler reports it.
#pragma once

#include <QDialog>
#include <exception>

class QLabel;
class QLineEdit;
class QRadioButton;

namespace tolvane {
class Ui;
namespace projects {
class ProjectRegistry;
}

// frmNewProject: name, description and folder of a new project.
class NewProjectDialog : public QDialog {
    Q_OBJECT
  public:
    NewProjectDialog(Ui& ui, projects::ProjectRegistry& registry, QWidget* parent = nullptr);
    std::exception_ptr failure() const { return failure_; }

  private:
    void browse();
    void addNew();

    Ui& ui_;
    projects::ProjectRegistry& registry_;
    QLineEdit* name_;
    QLineEdit* description_;
    QLineEdit* path_;
    std::exception_ptr failure_;
};

// frmDeleteProject: remove a project from the list only, or with everything in its folder.
class DeleteProjectDialog : public QDialog {
    Q_OBJECT
  public:
    DeleteProjectDialog(Ui& ui, projects::ProjectRegistry& registry, const QString& project,
                        QWidget* parent = nullptr);
    std::exception_ptr failure() const { return failure_; }

  private:
    projects::ProjectRegistry& registry_;
    QString project_;
    QRadioButton* everything_;
    std::exception_ptr failure_;
};

// frmConsolidate: copy or move the current project's drawings into its drawings folder.
class ConsolidateDialog : public QDialog {
    Q_OBJECT
  public:
    ConsolidateDialog(Ui& ui, projects::ProjectRegistry& registry, QWidget* parent = nullptr);
    std::exception_ptr failure() const { return failure_; }

  private:
    projects::ProjectRegistry& registry_;
    QRadioButton* move_;
    QLabel* status_;
    std::exception_ptr failure_;
};

// The menu entries catPNew, catPDelete (the current project) and catPConsolidate. They throw
// what the dialog's work threw (AppError, DbError): report it as "AddNewProject",
// "catPDelete" and "catPConsolidate".
void runNewProject(Ui& ui, projects::ProjectRegistry& registry, QWidget* parent);
void runDeleteProject(Ui& ui, projects::ProjectRegistry& registry, QWidget* parent);
void runConsolidate(Ui& ui, projects::ProjectRegistry& registry, QWidget* parent);

}  // namespace tolvane
