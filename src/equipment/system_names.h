// System names of placed equipment. An equipment block becomes one named unit of the project:
// a row of tblSystems (system name, number, location, elevation, alias, model) whose key the
// insert keeps in DB_Ref_2, and the name, location and alias written into the insert's
// attributes. Here are the check that a picked entity is an equipment block of a known model,
// the rows and the next number of a name, the assignment itself, and the command that runs
// the system-name window under the system lock. No widgets: the window shows what these
// functions return and hands the user's entries back.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "cad/document.h"
#include "db/database.h"
#include "db/preferences.h"
#include "db/records/equipment_models.h"
#include "db/records/systems.h"

namespace tolvane {
class Ui;
class Drawing;
}  // namespace tolvane

namespace tolvane::equipment {

// A number as names show it: two digits at least ("01", "10", "120").
QString sysNumText(int number);
// The name a block shows: name + "-" + number ("VTR-01").
QString fullSystemName(const QString& name, int number);

// The fields of the system-name window as the user left them.
struct SystemEntry {
    QString name;
    QString number;
    QString location;
    QString elevation;
    QString alias;
};

enum class SystemField { None, Name, Number, Location, Elevation, Alias };

// What OK did.
struct AssignOutcome {
    SystemEntry entry;  // the fields after the name-case rule: the window shows them
    // The field that needs filling in (it gets the focus); None otherwise.
    SystemField missing = SystemField::None;
    // The row written; empty when nothing was (a missing field, or No to the question).
    std::optional<db::SystemRecord> written;
};

class SystemNames {
  public:
    SystemNames(Ui& ui, db::Connections& registry);

    static QString notInsertMessage();
    static QString notEquipmentBlockMessage();
    static QString orphanMessage();
    static QString existsQuestion();
    static QString untaggableMessage();

    // IsValidEquipID: the entity must be an insert whose "Read Only EquipID" names a model of
    // the library. Otherwise the user is told why and nothing is returned.
    std::optional<db::EquipmentModelRecord> validate(const cad::Entity* entity);

    // The names the list offers: the model's type first, then every system name the project
    // has, in order (each once).
    QStringList nameList(const db::EquipmentModelRecord& model);
    // The units of a name, by number (letter case aside, as names are compared throughout).
    QList<db::SystemRecord> rowsOf(const QString& name);
    std::optional<db::SystemRecord> row(qint64 sysId);
    // The number a new unit of the name gets: one after the highest, 1 for a new name.
    int nextNumber(const QString& name);

    // OK: location, elevation and alias pass through the name-case rule and must not be
    // empty (nor may the name, and the number must be a whole number from 1). A unit with
    // the same name and number is rewritten when the user says Yes to the question; otherwise
    // a new row is added. Nothing is written when a field is missing or the answer is No.
    AssignOutcome assign(const SystemEntry& entry, const db::EquipmentModelRecord& model,
                         db::NameCase nameCase);

  private:
    Ui& ui_;
    db::Connections& registry_;
};

// The insert shows the assignment: "SysName" = name-number, "Location" = location.elevation,
// "Alias" = alias, a tooltip with the model name over the system name, and DB_Ref_2 = the
// row's key; one undoable change. False when the drawing has no such insert.
bool writeSystemToInsert(Drawing& drawing, const QString& handle, const db::SystemRecord& row);

// catWAssignSysNames on one drawing. The unit's key is kept in the insert's tag, so an
// equipment block without one (copied in from another drawing, or placed while its model was
// missing) is tagged first, as placement tags it; one whose extended data another program
// wrote is refused before anything is written. The tag and the name are one step to undo.
struct AssignSysNamesRun {
    AssignSysNamesRun(Ui& ui, db::Connections& registry) : ui(ui), registry(registry) {}
    Ui& ui;
    db::Connections& registry;
    bool shared = false;  // shared mode: the system lock is taken
    QString whoAmI;       // the identity the lock records
    double aperture = 0.1;
    // An equipment block picked before the command (a double-click); empty: ask for one.
    QString picked;
    // Opens the system-name window modally on the insert.
    std::function<void(const QString& handle, const db::EquipmentModelRecord& model)> openWindow;
};
void assignSystemNames(Drawing& drawing, const AssignSysNamesRun& run);

}  // namespace tolvane::equipment
