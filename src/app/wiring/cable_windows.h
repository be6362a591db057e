// The two windows of cable assignment. frmExisting ("Existing Assignment") asks what to do
// when a pin of the cable is wired to another cable already; frmVerifySettings shows what
// will be written for the cable (number, signal type, cable type, single core or a core of a
// multicore, connectors, locations, aliases, length, integrator) for the user to confirm.
// Both hand the user's choice to the assignment service and keep no rules of their own.
#pragma once

#include <QDialog>
#include <functional>

#include "db/preferences.h"
#include "db/records/cables.h"
#include "wiring/cable_assignment.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;

namespace tolvane {

class ErrorHandler;
class Ui;

class ExistingAssignmentWindow : public QDialog {
    Q_OBJECT
  public:
    ExistingAssignmentWindow(wiring::AssignmentOptions& options,
                             const wiring::ExistingAssignment& existing,
                             wiring::AssignmentState& state, QWidget* parent = nullptr);
    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }
    // Option 0: the project's cables are shown once the window has closed.
    bool showDatabase() const { return showDatabase_; }

  protected:
    void reject() override;

  private:
    void ok();

    wiring::AssignmentOptions& options_;
    wiring::ExistingAssignment existing_;
    wiring::AssignmentState& state_;
    ErrorHandler* errors_ = nullptr;
    QLineEdit* prefix_;
    QList<QRadioButton*> choices_;
    QComboBox* single_;
    QComboBox* multi_;
    bool showDatabase_ = false;
};

class VerifySettingsWindow : public QDialog {
    Q_OBJECT
  public:
    VerifySettingsWindow(Ui& ui, wiring::CableSettings& settings, wiring::AssignmentState& state,
                         const db::Preferences& prefs, db::Connections& registry,
                         QWidget* parent = nullptr);
    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }

  protected:
    void reject() override;

  private:
    void load();
    void chooseSignalType(const QString& type);
    void chooseManufacturer();
    void fillNumbers(const QString& first);
    void chooseNumber(const QString& number);
    void step(int by);
    void setMulticore(bool on);
    void chooseMulticore(int row);
    void update();
    qint64 startNo() const;

    Ui& ui_;
    wiring::CableSettings& settings_;
    wiring::AssignmentState& state_;
    const db::Preferences& prefs_;
    db::Connections& registry_;  // the assignment's
    ErrorHandler* errors_ = nullptr;
    QList<db::CableRecord> multicores_;
    QList<db::CoreRecord> cores_;

    QLabel* cableNo_;
    QLabel* mode_;
    QLineEdit* sourceConn_;
    QLineEdit* destConn_;
    QLineEdit* sourceLoc_;
    QLineEdit* destLoc_;
    QLineEdit* sourceAlias_;
    QLineEdit* destAlias_;
    QLineEdit* length_;
    QLineEdit* integrator_;
    QLineEdit* prefix_;
    QComboBox* number_;
    QComboBox* signalType_;
    QComboBox* manufacturer_;
    QComboBox* partNumber_;
    QRadioButton* single_;
    QRadioButton* multi_;
    QComboBox* mcCables_;
    QListWidget* cores_List_;
    QLineEdit* mcSourceExisting_;
    QLineEdit* mcDestExisting_;
    QLineEdit* mcSource_;
    QLineEdit* mcDest_;
};

}  // namespace tolvane
