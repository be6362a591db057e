// frmUsers: users and permissions of shared mode. Lists the users of the project manager's
// tblUsers (never their passwords) and the groups of tblpermissions with one check box per
// permission. A user whose group holds every permission adds users, sets their passwords and
// groups, deletes them and changes the groups' permissions; anybody else sees it read-only.
#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace tolvane {

class ErrorHandler;
class Ui;

namespace projects {
class Users;
}

class PermissionsModel;

class UsersWindow : public QDialog {
    Q_OBJECT
  public:
    UsersWindow(projects::Users& users, Ui& ui, QWidget* parent = nullptr);
    ~UsersWindow() override;

    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }
    bool editable() const { return editable_; }

  private:
    void reloadUsers(int selectKey = 0);
    void reloadGroups();
    // The selected row of the user grid; -1 (after telling the user) when none is selected.
    int selectedRow(bool tell);
    int keyOf(int row) const;
    QString nameOf(int row) const;
    void showSelected();
    void add();
    void setPassword();
    void setGroup();
    void remove();

    projects::Users& users_;
    Ui& ui_;
    ErrorHandler* errors_ = nullptr;
    bool editable_ = false;
    QTableView* userGrid_;
    QStandardItemModel* userModel_;
    QTableView* permissionGrid_;
    PermissionsModel* permissionModel_;
    QLineEdit* name_;
    QLineEdit* password_;
    QComboBox* group_;
};

}  // namespace tolvane
