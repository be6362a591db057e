// frmJFLibrary: the jackfield library. The manufacturers shown in jackfields and the chosen
// one's jackfield models, each list with a find box; the chosen model's description, size,
// connectors and physical data, each written as the user leaves its field; the commands that
// add a manufacturer or a model, delete a model and send it to the project. Also the
// add-jackfield dialog. The rules live in JackfieldLibrary.
#pragma once

#include <QDialog>
#include <QList>
#include <functional>
#include <optional>
#include <utility>

#include "db/preferences.h"
#include "equipment/manufacturers.h"
#include "jackfields/jackfield_library.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QStandardItemModel;

namespace tolvane {

class PhysicalDataForm;

class ErrorHandler;
class ManufacturerList;

// frmAddJackField: adds models to one manufacturer; stays open for the next one.
class AddJackfieldDialog : public QDialog {
    Q_OBJECT
  public:
    AddJackfieldDialog(equipment::LibraryAccess access, const db::ManufacturerRecord& maker,
                       db::NameCase nameCase, QWidget* parent = nullptr);
    std::optional<qint64> lastAdded() const { return last_; }

  private:
    void add();

    equipment::LibraryAccess a_;
    db::ManufacturerRecord maker_;
    db::NameCase nameCase_;
    std::optional<qint64> last_;
    QLineEdit* name_;
    QLineEdit* description_;
    QLineEdit* rows_;
    QLineEdit* columns_;
    QComboBox* front_;
    QComboBox* rear_;
};

class JackfieldLibraryWindow : public QDialog {
    Q_OBJECT
  public:
    // The command list, by index.
    enum Command {
        AddManufacturer = 0,
        AddJackfield = 2,
        DeleteJackfield = 3,
        Assign = 4,
        Close = 5
    };

    JackfieldLibraryWindow(equipment::LibraryAccess access, db::NameCase nameCase,
                           QWidget* parent = nullptr);
    ~JackfieldLibraryWindow() override;

    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }
    void command(int index);
    // Assign: sends the chosen model to the project (the send window).
    std::function<void(const db::LibraryJackfieldRecord&)> sendToProject;

    // While the user picks where a jackfield is built the window closes, so that the drawing
    // takes the click; whoever runs it shows it again while takeReopen() returns true.
    void stepAside();
    bool takeReopen() { return std::exchange(reopen_, false); }

  private:
    void reloadManufacturers();
    void showManufacturer();
    void reloadModels(std::optional<qint64> select = std::nullopt);
    std::optional<db::LibraryJackfieldRecord> selected() const;
    void showModel();
    void saveDescription();
    void saveSize();
    void savePhysicalData();

    void addManufacturer();
    void addJackfield();
    void deleteJackfield();
    void assign();

    equipment::LibraryAccess a_;
    jackfields::JackfieldLibrary library_;
    db::NameCase nameCase_;
    ErrorHandler* errors_ = nullptr;
    bool loading_ = false;
    bool reopen_ = false;
    QList<db::LibraryJackfieldRecord> rows_;

    ManufacturerList* makers_;
    QLineEdit* findModel_;
    QListView* modelList_;
    QStandardItemModel* modelModel_;
    QLabel* modelLabel_;
    QLabel* makerLabel_;
    QLineEdit* description_;
    QLineEdit* rowsEdit_;
    QLineEdit* columnsEdit_;
    QComboBox* front_;
    QComboBox* rear_;
    PhysicalDataForm* physical_;
};

}  // namespace tolvane
