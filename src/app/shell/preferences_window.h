// frmPreferences: the preferences window. It shows one user's row of tblPreferences in
// five tabs, applies the field rules when a field is left, writes the row when one of its
// save triggers fires, and switches the "How To" tips on and off. The rules and the row
// live in db/preferences.h; this window only moves values between them and its controls.
#pragma once

#include <QDialog>
#include <QHash>
#include <QList>
#include <QPair>

#include "db/preferences.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace tolvane {

class ErrorHandler;
class SettingsStore;
class Ui;

class PreferencesWindow : public QDialog {
    Q_OBJECT
  public:
    // Loads the lists and the row of the user "CURRENT_USER" names ("DEFAULT" when empty).
    PreferencesWindow(Ui& ui, SettingsStore& settings, db::Connections& registry,
                      QWidget* parent = nullptr);

    // Failures inside the window's handlers go here. Without a handler they propagate to
    // whoever drives the window (tests, batch scripts).
    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }

    // The user whose row is shown; 0 before one is loaded.
    int userId() const { return prefs_.isLoaded() ? prefs_.userId() : 0; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void build();
    QWidget* blocksPage();
    QWidget* cablesPage();
    QWidget* jacksPage();
    QWidget* generalPage();
    QWidget* shortcutsPage();
    QLineEdit* lineEdit(const char* name, const QString& column);
    QCheckBox* checkBox(const char* name, const QString& caption, const QString& column);
    QRadioButton* option(QButtonGroup* group, int id, const char* name, const QString& caption);

    void loadLists();
    // Step 2: the named user's row into the controls; record it in SETTINGS when chosen.
    void chooseUser(const QString& name, bool record);
    void showRow();
    void fillCableTypes(const QString& selectType);
    // The save routine: every control into the row, and the row into the database.
    void saveRow();
    // Runs a field rule on a text box being left.
    void leaveField(QLineEdit* edit, db::FieldCheck (*rule)(const QString&, const QString&));
    void chooseBodyColor();
    void setTipFlags(const QString& value);
    void restoreDefaults();

    Ui& ui_;
    SettingsStore& settings_;
    db::Connections& registry_;
    ErrorHandler* errors_ = nullptr;
    db::Preferences prefs_;
    bool showing_ = false;  // controls being filled from the row: no triggers

    QTabWidget* tabs_;
    QComboBox* user_;
    QLineEdit* blockWidth_;
    QLineEdit* pinSpacing_;
    QComboBox* basePoint_;
    QLineEdit* bodyColor_;
    QComboBox* pinWidth_;
    QLineEdit* autoPlaceDist_;
    QLineEdit* startNo_;
    QLineEdit* jfSpacing_;
    QComboBox* cableManu_;
    QComboBox* cableType_;
    QButtonGroup* signalType_;                  // 1 destination, 0 source
    QButtonGroup* nameCase_;                    // sysnamefmt 1..4
    QButtonGroup* jackStyle_;                   // index into kJackStyles
    QButtonGroup* jboxStyle_;                   // index into kJboxStyles
    QList<QPair<QCheckBox*, QString>> checks_;  // check box, column
    QList<QPair<QLineEdit*, QString>> texts_;   // text box, column
    QHash<QLineEdit*, QString> accepted_;       // the last text each ruled box accepted
};

// mnuCalc: starts the calculator program "CALC" names; when there is none, offers to look
// for one and remembers the program chosen.
void runCalculator(Ui& ui, SettingsStore& settings);

}  // namespace tolvane
