// frmSysNames: the system-name window of one equipment insert. The user chooses or types a
// system name, steps through the units that name has (first, previous, next, last), asks for
// the next number (New) and gives location, elevation and alias; OK hands the fields to the
// system-name service, which writes the unit, and then to the insert.
#pragma once

#include <QDialog>
#include <QList>
#include <functional>

#include "db/preferences.h"
#include "equipment/system_names.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tolvane {

class Drawing;
class DrawingWindows;
class ErrorHandler;
class Ui;
struct RunState;

class SystemNameWindow : public QDialog {
    Q_OBJECT
  public:
    struct Options {
        db::NameCase nameCase = db::NameCase::NoFormat;  // sysnamefmt
        bool autoAlias = false;                          // AutoAlias
    };
    SystemNameWindow(equipment::SystemNames& names, Drawing& drawing, const QString& handle,
                     const db::EquipmentModelRecord& model, Options options,
                     QWidget* parent = nullptr);

    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }
    // Called after OK wrote the insert (the grip set is cleared there).
    std::function<void()> assigned;

  private:
    void load();
    // The units of the name in the list box; the first is shown.
    void chooseName(const QString& name);
    void showUnit(int position);
    void newNumber();
    void ok();
    QLineEdit* fieldOf(equipment::SystemField field) const;

    equipment::SystemNames& names_;
    Drawing& drawing_;
    QString handle_;
    db::EquipmentModelRecord model_;
    Options options_;
    ErrorHandler* errors_ = nullptr;
    QString chosen_;  // the name whose units are shown
    QList<db::SystemRecord> rows_;
    int position_ = -1;

    QComboBox* name_;
    QLineEdit* number_;
    QLineEdit* location_;
    QLineEdit* elevation_;
    QLineEdit* alias_;
    QLabel* status_;
    QPushButton* first_;
    QPushButton* previous_;
    QPushButton* next_;
    QPushButton* last_;
};

// catWAssignSysNames in the active drawing: on the equipment block double-clicked or selected,
// else on the one the user picks; the window opens over parent.
void assignSysNamesCommand(DrawingWindows& drawings, const RunState& run, Ui& ui,
                           ErrorHandler& errors, db::Connections& registry, QWidget* parent);

}  // namespace tolvane
