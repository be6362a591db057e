// The equipment models of the library (tblEquipment): adding a model under its manufacturer,
// deleting it with its inputs and outputs, its physical data and its DA flag. The add dialog
// passes each of its fields through applyNameCase on leaving it.
#pragma once

#include <QList>
#include <QString>
#include <optional>

#include "db/preferences.h"
#include "db/records/equipment_models.h"
#include "equipment/library_access.h"

namespace tolvane::equipment {

// A field's text as the user's name-case preference (sysnamefmt) writes it. Title case
// raises the first letter and every letter after a blank and leaves the others as typed.
QString applyNameCase(const QString& text, db::NameCase format);

// The physical-data tab as typed: six numbers (empty means none) and two unit texts.
struct PhysicalData {
    QString height{}, width{}, depth{}, weight{}, v{}, p{};
    QString heightUnit{};  // EquipmentHValue
    QString vUnit{};       // equipmentVValue
};

// The physical data as the library stores it. Every number field is checked first: one that
// holds anything but a number is told with invalidPhysicalDataMessage() and gives nullopt.
std::optional<db::PhysicalRecord> physicalRecord(const LibraryAccess& access,
                                                 const PhysicalData& data);
// The stored physical data as the tab shows it.
PhysicalData shownPhysicalData(const db::PhysicalRecord& stored);

class EquipmentModels {
  public:
    explicit EquipmentModels(LibraryAccess access) : a_(std::move(access)) {}

    static QString duplicateMessage() {
        return QStringLiteral("That Equipment Name already exists. Enter a different Name.");
    }
    static QString noSelectionMessage() { return QStringLiteral("No equipment selected"); }
    static QString deleteQuestion(const QString& manufacturer, const QString& model);
    static QString invalidPhysicalDataMessage() {
        return QStringLiteral(
            "Invalid entry in one of the fields. Make sure that all of the fields contain only "
            "numbers");
    }

    // The manufacturer's models whose name begins with find (letter case aside), by name.
    QList<db::EquipmentModelRecord> list(const QString& manufacturerId, const QString& find = {});
    std::optional<db::EquipmentModelRecord> find(qint64 id);
    std::optional<qint64> idOf(const QString& manufacturerId, const QString& name);

    // Adds a model; a name the manufacturer already has is refused with its message (the
    // same name under another manufacturer is accepted). The new model's id, or nullopt.
    std::optional<qint64> add(const QString& manufacturerId, const QString& name,
                              const QString& description, const QString& type);
    // nullopt: nothing selected. Asks the question, then removes the model with its inputs
    // and outputs in one transaction. Blocks made from the model are left alone.
    bool remove(std::optional<qint64> id);
    // Writes the physical data; when a number field holds anything but a number the message
    // is shown and nothing is written.
    bool setPhysicalData(qint64 id, const PhysicalData& data);
    std::optional<PhysicalData> physicalData(qint64 id);
    // The DA check box: written at once.
    bool setDisplayAsDa(qint64 id, bool on);

  private:
    LibraryAccess a_;
};

}  // namespace tolvane::equipment
