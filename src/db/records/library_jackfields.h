// The jackfield models of the library (tblJackFields), from which project jackfields are
// made. The typed record and the one place that holds the statements on the table.
#pragma once

#include <QList>
#include <QString>
#include <optional>

#include "db/database.h"
#include "db/records/equipment_models.h"
#include "db/records/item_count.h"

namespace tolvane::db {

struct LibraryJackfieldRecord {
    qint64 id = 0;  // JackFieldID
    QString manufacturerId{};
    QString manufacturerName{};  // read with the model; not a column of it
    QString name{};              // JackFieldName
    QString description{};       // EquipmentDescription
    int rows = 0;                // JFRows
    int columns = 0;             // JFCols
    QString frontConn{};
    QString rearConn{};
    bool operator==(const LibraryJackfieldRecord&) const = default;
};

class LibraryJackfieldTable {
  public:
    explicit LibraryJackfieldTable(Connections& registry) : registry_(registry) {}

    std::optional<LibraryJackfieldRecord> find(qint64 id);
    // The manufacturer's models whose name begins with `find` (letter case aside), by name.
    QList<LibraryJackfieldRecord> beginningWith(const QString& manufacturerId, const QString& find);
    // The manufacturer's model of this name (letter case aside).
    std::optional<qint64> idOf(const QString& manufacturerId, const QString& name);
    // The models of these ids with their makers, vendors and costs.
    QList<ItemPrice> pricesOf(const QVariantList& ids);

    // Adds the model (its manufacturer, name, description, size and connectors); returns its
    // id.
    qint64 insert(const LibraryJackfieldRecord& r);
    // Each writer is false when there is no such model.
    bool setDescription(qint64 id, const QString& description);
    // Rows, columns and both connectors of `r`.
    bool setSize(qint64 id, const LibraryJackfieldRecord& r);
    bool remove(qint64 id);

    std::optional<PhysicalRecord> physical(qint64 id);
    bool setPhysical(qint64 id, const PhysicalRecord& r);

  private:
    Connections& registry_;
};

}  // namespace tolvane::db
