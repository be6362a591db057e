// Cable assignment: a drawn cable becomes a numbered row of the project's cable schedule.
// Both ends are resolved again and checked, ends already wired to another cable are settled
// in the existing-assignment window, the user confirms the cable's settings (number, signal
// type, cable type, connectors, locations, aliases, length, integrator), the row is written
// (and for a multicore cable its cores), and the drawing shows it: the number in the two
// number texts, the tag's references, the tip, the signal type's layer and colour. The row
// and the drawing change together: a failure leaves both as they were.
//
// The windows are the app's; they reach this service through the hooks of AssignCablesRun and
// share what one assignment carries in AssignmentState.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "db/database.h"
#include "db/preferences.h"
#include "db/records/cable_number.h"
#include "db/records/cables.h"
#include "equipment/cable_catalogue.h"

namespace tolvane {
class Drawing;
class EventLog;
class Ui;
}  // namespace tolvane

namespace tolvane::wiring {

class Pointers;

// What one assignment shares between the command and its two windows.
struct AssignmentState {
    db::CableNumber number;     // of the cable assigned last
    qint64 cableId = 0;         // its row
    QString signalType;         // the current signal type
    bool cancelled = false;     // a window was cancelled: nothing is written
    bool reassign = false;      // an existing number was re-assigned: DB_Ref_2 is written too
    bool secondPass = false;    // the settings window is shown once more
    QString presetNumber;       // the number the settings window offers ("": a new one)
    QString parentNumber;       // the multicore cable a core belongs to
    db::CoreRecord presetCore;  // the core of that cable the settings window offers (id 0: none)
    // A number (as displayed) whose texts on the sheet the assignment offers to clear
    // before the settings window, as it does for the number it gives.
    QString duplicateCheck;
    // Forgets the previous cable's choices; the current signal type and number stay.
    void startCable();
};

// The existing-assignment window's request: which end is wired already, and to what.
struct ExistingAssignment {
    bool sourceSide = false;
    QString sourceSystem, sourcePin, destinationSystem, destinationPin;
    db::CableNumber number;  // of the cable that holds the pin
    // The cable is a multicore cable or one of its cores: `core` is the core that holds the
    // pin, looked up by its own number (empty when none was found).
    bool multicore = false;
    db::CableNumber core;
};

// The six options of the existing-assignment window.
enum class ExistingOption {
    ShowDatabase = 0,  // show the project's cables (the assignment is cancelled)
    Keep = 1,          // re-assign the existing number to this cable
    NewNumber = 2,     // free the existing number, give this cable a new one
    ExistingSingle = 3,
    ExistingMulticore = 4,
    Cancel = 5
};

class AssignmentOptions {
  public:
    AssignmentOptions(Ui& ui, EventLog* log, db::Connections& registry)
        : ui_(ui), log_(log), registry_(registry) {}

    // The explanation and the captions of options 0 to 5.
    static QString explanation(const ExistingAssignment& a);
    static QStringList captions(const ExistingAssignment& a);
    // The free single-core numbers of the prefix, and the multicore cables' numbers.
    QStringList singleCoreNumbers(const QString& prefix);
    QStringList multicoreNumbers();

    // Carries out an option: frees the existing row where the option takes its number away,
    // presets the number the settings window offers, and sets the flags of `state`. A lookup
    // that does not find exactly one row says so and changes nothing. `chosen` is the entry
    // of the single-core or multicore list for options 3 and 4.
    void apply(ExistingOption option, const ExistingAssignment& a, const QString& chosen,
               AssignmentState& state);

  private:
    // Frees the row whose number option 1 or 2 takes away: the cable's, or for a multicore
    // cable the core's. Says so when the lookup does not find exactly one row.
    bool freeRow(const ExistingAssignment& a, int option);
    void log(const QString& line);

    Ui& ui_;
    EventLog* log_;
    db::Connections& registry_;
};

// The cable-settings window's values: what is confirmed is written.
struct CableSettings {
    QString sourceEquipment, destinationEquipment;
    QString sourceSystem, destinationSystem, sourcePin, destinationPin;
    QString sourceConnector, destinationConnector, sourceLocation, destinationLocation;
    QString signalType, sourceAlias, destinationAlias;
    QString prefix;
    QString number;        // without the prefix
    QString manufacturer;  // CabletypeManu: the manufacturer by name, as lists name it
    QString cableType;     // CableType (the part number)
    QString length, integrator;
    // A core of an existing multicore cable instead of a cable of its own.
    qint64 coreId = 0;

    db::CableNumber cableNumber() const { return {prefix, number.trimmed()}; }
};

class CableWriter {
  public:
    CableWriter(Ui& ui, db::Connections& registry) : ui_(ui), registry_(registry) {}

    // The settings a cable starts with: its ends, the signal type's prefix, default
    // manufacturer and part number (else the preferences'), and the next number of the prefix
    // (or the preset one).
    CableSettings defaults(const QStringList& source, const QStringList& destination,
                           const QString& signalType, const QString& presetNumber,
                           const db::Preferences& prefs);
    // The signal type's prefix ("" for none or no row).
    QString prefixOf(const QString& signalType);
    // Why the settings cannot be written ("" when they can): a number that is not one, or
    // one a cable in use holds already.
    QString refusal(const CableSettings& s);

    // What writing the settings will do, asked before anything is written: a refusal is said
    // (nothing then), and a multicore type asks to build its cores (No: nothing). Reads only.
    struct Plan {
        CableSettings settings;
        bool multiCore = false;
        QList<db::CableCoreRecord> cores;  // of a multicore type, to build
    };
    std::optional<Plan> plan(const CableSettings& s);
    // Writes the planned row (in the caller's transaction): a new one for a new number, the
    // freed row of a reused number, with the cores. Asks nothing. Returns the row's CableID.
    qint64 write(const Plan& plan, const QString& sheet, const QString& createdBy);

    static QString multicoreQuestion();

  private:
    Ui& ui_;
    db::Connections& registry_;
};

// The signal types the settings window offers, by name.
QStringList signalTypeNames(db::Connections& registry);

// catWAssignCable on one drawing.
struct AssignCablesRun {
    AssignCablesRun(Ui& ui, AssignmentState& state, db::Connections& registry)
        : ui(ui), state(state), registry(registry) {}
    Ui& ui;
    AssignmentState& state;
    db::Connections& registry;
    EventLog* log = nullptr;
    bool shared = false;
    QString whoAmI;
    QString userName;  // CreatedBy
    int userId = 1;    // whose preferences
    // A cable picked before the command (a double-click); empty: "Select Cables".
    QString picked;
    // The existing-assignment window: it applies the user's option to the state.
    std::function<void(const ExistingAssignment&, AssignmentState&)> existing;
    // The cable-settings window, shown modally; true when confirmed (settings as confirmed).
    std::function<bool(CableSettings&, AssignmentState&)> verify;
    // The pointer pairs of the open drawings: a cable ending at a POINTER_D is assigned
    // through to the cable beyond its partner, which gets the same number. None: such a cable
    // is refused as its other side cannot be found.
    Pointers* pointers = nullptr;
    // Saves an open drawing: the assigned cable's and its partner's when the preference
    // "CableSaveEverYtime" asks for it.
    std::function<void(Drawing&)> save;
};

// Assigns the picked cable, or each polyline the user selects, under the cable lock. Returns
// how many were assigned.
int assignCables(Drawing& drawing, const AssignCablesRun& run);

}  // namespace tolvane::wiring
