// The conflict viewer: the rows a database merge set aside, table by table, each beside the row
// in use it lost to, with why it was set aside and what may be done about it.
#pragma once

#include <QDialog>
#include <memory>
#include <optional>

#include "db/database.h"

class QLabel;
class QListView;
class QPushButton;
class QRadioButton;
class QStandardItemModel;
class QTableView;

namespace tolvane {

class ErrorHandler;
class Ui;

class ConflictViewerWindow : public QDialog {
    Q_OBJECT
  public:
    // Projects are listed from the project-manager database of `registry`; the project whose
    // folder is `currentProjectPath` (if any) is chosen first.
    ConflictViewerWindow(Ui& ui, const QString& currentProjectPath, db::Connections& registry,
                         QWidget* parent = nullptr);
    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }

  private:
    struct Target {
        db::DbId id;
        db::Connections* registry;
    };
    std::optional<Target> target();
    void chooseDatabase();
    void chooseProject();
    void reloadTables();
    void showConflicts();
    void showConflict();
    void act(int action);  // 0 keep existing, 1 use or restore, 2 delete
    QString table() const;
    std::optional<qint64> conflictId() const;
    void setStatus(const QString& text);

    Ui& ui_;
    db::Connections& registry_;
    std::unique_ptr<db::Connections> project_;  // the chosen project's database
    ErrorHandler* errors_ = nullptr;
    QRadioButton* optProject_;
    QRadioButton* optPM_;
    QRadioButton* optEquipment_;
    QStandardItemModel* projects_;
    QListView* projectList_;
    QStandardItemModel* tables_;
    QListView* tableList_;
    QStandardItemModel* conflicts_;
    QTableView* conflictGrid_;
    QStandardItemModel* existing_;
    QTableView* existingGrid_;
    QLabel* reason_;
    QLabel* status_;
    QPushButton* keep_;
    QPushButton* use_;
    QPushButton* delete_;
};

}  // namespace tolvane
