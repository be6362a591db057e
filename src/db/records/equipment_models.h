// The equipment models of the library (tblEquipment) and the physical data that models and
// jackfield models share (their height, width, depth, weight, V and P with two units). The
// typed records and the one place that holds the statements on the table.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "db/database.h"
#include "db/records/item_count.h"

namespace tolvane::db {

// The physical data of a library model; a number not given is null.
struct PhysicalRecord {
    std::optional<double> height{}, width{}, depth{}, weight{}, v{}, p{};
    QString heightUnit{};  // EquipmentHValue
    QString vUnit{};       // equipmentVValue
    bool operator==(const PhysicalRecord&) const = default;
};

struct EquipmentModelRecord {
    qint64 id = 0;  // EquipmentID
    QString manufacturerId{};
    QString manufacturerName{};  // read with the model; not a column of it
    QString name{};              // EquipmentName
    QString description{};
    QString type{};
    bool displayAsDa = false;  // DisplayASDA
    bool operator==(const EquipmentModelRecord&) const = default;
};

class EquipmentModelTable {
  public:
    explicit EquipmentModelTable(Connections& registry) : registry_(registry) {}

    std::optional<EquipmentModelRecord> find(qint64 id);
    // The manufacturer's models whose name begins with `find` (letter case aside), by name.
    QList<EquipmentModelRecord> beginningWith(const QString& manufacturerId, const QString& find);
    // The model of the manufacturer with this name (letter case aside).
    std::optional<qint64> idOf(const QString& manufacturerId, const QString& name);
    // The names of the manufacturer's models, sorted; rows without one are left out.
    QStringList names(const QString& manufacturerId);
    QList<qint64> ids();
    // The models of these ids with their makers, vendors and costs.
    QList<ItemPrice> pricesOf(const QVariantList& ids);

    // Adds the model (its manufacturer, name, description and type); returns its id.
    qint64 insert(const EquipmentModelRecord& r);
    // Removes the model's row; its inputs and outputs are the pin table's.
    void remove(qint64 id);
    // False when there is no such model.
    bool setDisplayAsDa(qint64 id, bool on);

    std::optional<PhysicalRecord> physical(qint64 id);
    // The physical data of many models at once, by EquipmentID; a model not in the library is
    // absent from the answer.
    QHash<qint64, PhysicalRecord> physicalOf(const QList<qint64>& ids);
    bool setPhysical(qint64 id, const PhysicalRecord& r);

  private:
    Connections& registry_;
};

// The physical-data columns of a library table keyed by `key`; the table classes of the
// models that have them call these with their own names.
std::optional<PhysicalRecord> readPhysical(Connections& registry, const char* table,
                                           const char* key, qint64 id);
bool writePhysical(Connections& registry, const char* table, const char* key, qint64 id,
                   const PhysicalRecord& r);

}  // namespace tolvane::db
