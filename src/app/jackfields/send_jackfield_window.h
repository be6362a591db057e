// frmSendJF: sends a jackfield to the project. In assign mode (from the library) a library
// model is given a system name, number, location, elevation, start letter and number and a
// signal type and written to the project; in build mode a jackfield of the project is chosen
// by system name and number. With "build" ticked the window closes on OK and whoever opened
// it builds the jackfield in the drawing (buildRequested, jackfield).
#pragma once

#include <QDialog>
#include <QList>
#include <optional>

#include "equipment/library_access.h"
#include "jackfields/jackfield_library.h"
#include "jackfields/jackfield_project.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tolvane {

class ErrorHandler;

class SendJackfieldWindow : public QDialog {
    Q_OBJECT
  public:
    // Assign mode: the library model to send.
    SendJackfieldWindow(equipment::LibraryAccess access, const db::LibraryJackfieldRecord& model,
                        QWidget* parent = nullptr);
    // Build mode: a jackfield of the project.
    explicit SendJackfieldWindow(equipment::LibraryAccess access, QWidget* parent = nullptr);
    ~SendJackfieldWindow() override;

    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }
    // After OK: the jackfield to build (its JFID), when the user asked for a build.
    bool buildRequested() const { return build_.has_value(); }
    qint64 jackfield() const { return build_.value_or(0); }

  private:
    void setUp();
    void loadName();
    void showRow(int index);
    void step(int by);
    void nextNumber();
    void leaveNumber();
    void leaveRowStart();
    void ok();
    void okAssign();
    void okBuild();
    std::optional<qint64> number() const;

    equipment::LibraryAccess a_;
    jackfields::JackfieldProject project_;
    std::optional<db::LibraryJackfieldRecord> model_;  // assign mode
    ErrorHandler* errors_ = nullptr;
    std::optional<qint64> build_;
    QList<jackfields::StoredJackfield> ofName_;
    int index_ = -1;

    QLabel* heading_;
    QComboBox* sysName_;
    QLineEdit* number_;
    QPushButton* up_;
    QPushButton* down_;
    QPushButton* next_;
    QLineEdit* location_;
    QLineEdit* elevation_;
    QLineEdit* rowStart_;
    QLabel* rows_;
    QLineEdit* columnStart_;
    QLabel* columns_;
    QComboBox* signalType_;
    QCheckBox* buildBox_;
};

}  // namespace tolvane
