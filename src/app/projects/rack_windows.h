// The rack windows: the list of the project's racks (add, edit, delete, and the locations of
// systems that name no rack yet, offered for creation at the default height), the choice of
// racks for their elevation sheets, and the list of the systems an elevation could not draw.
// They show what the rack services return and hand the user's entries back.
#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

#include "db/database.h"
#include "db/records/racks.h"
#include "equipment/racks.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTableWidget;

namespace tolvane {

class ErrorHandler;
class Ui;

class RacksWindow : public QDialog {
    Q_OBJECT
  public:
    RacksWindow(Ui& ui, db::Connections& registry, QWidget* parent = nullptr);
    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }
    // Reads the racks and the locations that name none.
    void load();

  private:
    void chosen();
    void add();
    void save();
    void remove();
    void createChosen();
    equipment::RackEntry entry() const;
    const db::RackRecord* current() const;

    Ui& ui_;
    db::Connections& registry_;
    ErrorHandler* errors_ = nullptr;
    QList<db::RackRecord> racks_;
    QTableWidget* grid_;
    QLineEdit* name_;
    QLineEdit* height_;
    QComboBox* unit_;
    QLineEdit* power_;
    QLineEdit* weight_;
    QLineEdit* description_;
    QListWidget* undefined_;
};

class RackElevationWindow : public QDialog {
    Q_OBJECT
  public:
    RackElevationWindow(const QStringList& racks, QWidget* parent = nullptr);
    QStringList chosenRacks() const;
    bool blankPanels() const;

  private:
    QListWidget* racks_;
    QCheckBox* blank_;
};

class RackFindingsWindow : public QDialog {
    Q_OBJECT
  public:
    RackFindingsWindow(const QList<equipment::RackProblem>& problems, QWidget* parent = nullptr);
};

}  // namespace tolvane
