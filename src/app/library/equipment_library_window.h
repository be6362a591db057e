// frmEquipLibrary: the equipment library window. Manufacturers with their models, a model's
// description, physical data and DA flag, and its inputs and outputs with the edit frame that
// adds, deletes, copies and selects them. Also the add-manufacturer and add-equipment dialogs
// it opens. Every rule lives in the library services; these windows ask them and show results.
#pragma once

#include <QDialog>
#include <QList>
#include <functional>
#include <optional>
#include <utility>

#include "db/preferences.h"
#include "equipment/equipment_models.h"
#include "equipment/manufacturers.h"
#include "equipment/pins.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QRadioButton;
class QStandardItemModel;
class QTabWidget;
class QTableView;

namespace tolvane {

class PhysicalDataForm;

class Drawing;
class ErrorHandler;
class EventLog;
class ManufacturerList;

// frmAddManufacturer. The caller tag names the library tab whose list is refreshed afterwards
// ("Main", "Equip", "JF" or "CT"); the caller reads it back when the dialog has closed.
class AddManufacturerDialog : public QDialog {
    Q_OBJECT
  public:
    AddManufacturerDialog(equipment::LibraryAccess access, const QString& callerTag,
                          QWidget* parent = nullptr);
    QString callerTag() const { return tag_; }
    // Manufacturers added while the dialog was open.
    int added() const { return added_; }

  private:
    void leaveId();
    void add();

    equipment::LibraryAccess a_;
    QString tag_;
    int added_ = 0;
    QLineEdit* id_;
    QLabel* hint_;
    QLineEdit* name_;
    QCheckBox* equipment_;
    QCheckBox* jackFields_;
    QCheckBox* routers_;
    QCheckBox* jboxes_;
    QCheckBox* cableTypes_;
    QCheckBox* all_;
};

// frmAddEquipment: adds models to one manufacturer. With the edit box ticked the dialog closes
// after an add so that the new model's inputs and outputs can be entered in the library.
class AddEquipmentDialog : public QDialog {
    Q_OBJECT
  public:
    AddEquipmentDialog(equipment::LibraryAccess access, const db::ManufacturerRecord& maker,
                       db::NameCase nameCase, QWidget* parent = nullptr);
    // The last model added, to be selected in the library.
    std::optional<qint64> lastAdded() const { return last_; }
    // Called after each add that leaves the dialog open, so the library lists the new model.
    std::function<void(qint64)> modelAdded;

  private:
    void add();

    equipment::LibraryAccess a_;
    db::ManufacturerRecord maker_;
    db::NameCase nameCase_;
    std::optional<qint64> last_;
    QLineEdit* name_;
    QLineEdit* description_;
    QLineEdit* type_;
    QCheckBox* edit_;
};

class EquipmentLibraryWindow : public QDialog {
    Q_OBJECT
  public:
    // The command list, by index.
    enum Command {
        AddManufacturer = 0,
        AddEquipment = 2,
        DeleteEquipment = 3,
        EditPhysicalData = 4,
        EditIo = 5,
        CreateBlock = 6,
        Exit = 7
    };

    EquipmentLibraryWindow(equipment::LibraryAccess access, db::NameCase nameCase,
                           QWidget* parent = nullptr);
    ~EquipmentLibraryWindow() override;

    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }
    // With the program argument "log", each command is written to the event log first.
    void setEventLog(EventLog* log) { log_ = log; }
    // Shows the tips of a topic unless the user switched them off ("ADDIO", "CREATEBLOCK").
    std::function<void(const QString& topic)> showTips;
    // Create Block: the drawing the block goes into (nullptr when none is open), the signal
    // type library opened from the missing-type question, and what follows a placed and
    // tagged insert of that kind (grip set, selection, tips).
    std::function<Drawing*()> activeDrawing;
    std::function<void()> openSignalTypes;
    std::function<void(const QString& kind)> blockPlaced;
    // Before a new block's insertion point is asked: the drawing is zoomed so that the block
    // under the cursor is seen at a readable size.
    std::function<void(const QString& block)> showBlockReadable;
    // The "Data Sheet" button: the main window opens the models' data sheet.
    std::function<void()> showDataSheet;
    void command(int index);

    // The manufacturer and model chosen, so that the next opening starts where this one left.
    struct Choice {
        QString manufacturerId;
        qint64 modelId = 0;
    };
    Choice choice() const;
    void restore(const Choice& choice);

    // While the user picks a block's insertion point the window closes, so that the drawing
    // takes the clicks; whoever runs it shows it again while this returns true.
    bool takeReopen() { return std::exchange(reopen_, false); }

  private:
    QPushButton* button(const char* name, const QString& caption, const char* procedure,
                        std::function<void()> run);

    void reloadManufacturers();
    void reloadModels(std::optional<qint64> select = std::nullopt);
    void showManufacturer();
    void showModel();
    void reloadPins();
    std::optional<qint64> selectedModel() const;
    // The selected model; without one the user is told so.
    std::optional<qint64> requireModel();
    QList<qint64> selectedPins(equipment::PinList which) const;
    // The selected rows of a grid in the order they were selected.
    QList<db::PinRecord> selectedRowsInOrder(equipment::PinList which) const;
    void applySelection(const equipment::PinSelection& selection);
    void resetEditFrame();

    void addManufacturer();
    void addEquipment();
    void deleteEquipment();
    void savePhysicalData();
    void setDa(bool on);
    void addPins();
    void deletePins();
    void copyPins(equipment::PinList from);
    void selectGroup(const QString& code);
    void copyDefinitionFrom();
    void copyDefinitionTo();
    void showCopySource();
    void createBlock();

    equipment::LibraryAccess a_;
    equipment::EquipmentModels models_;
    equipment::Pins pins_;
    db::NameCase nameCase_;
    ErrorHandler* errors_ = nullptr;
    EventLog* log_ = nullptr;
    bool loading_ = false;
    bool reopen_ = false;
    QList<db::EquipmentModelRecord> modelRows_;

    ManufacturerList* makers_;
    QLineEdit* findModel_;
    QListView* modelList_;
    QStandardItemModel* modelModel_;
    QLabel* makerLabel_;
    QLabel* modelLabel_;
    QTabWidget* tabs_;
    QLineEdit* description_;
    QLineEdit* type_;
    QCheckBox* da_;
    PhysicalDataForm* physical_;
    QTableView* inputGrid_;
    QTableView* outputGrid_;
    QStandardItemModel* inputModel_;
    QStandardItemModel* outputModel_;
    QLineEdit* pinName_;
    QComboBox* connector_;
    QComboBox* signalType_;
    QComboBox* inputPinType_;
    QComboBox* outputPinType_;
    QLineEdit* count_;
    QLineEdit* start_;
    QRadioButton* toInputs_;
    QRadioButton* toOutputs_;
    QRadioButton* toBoth_;
    QCheckBox* persist_;
    QComboBox* otherType_;
    QLabel* copyMaker_;
    QLabel* copyModel_;
};

}  // namespace tolvane
