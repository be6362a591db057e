// The inputs and outputs of the library's equipment models (tblInputs, tblOutputs: two tables
// of the same columns, one per list). The typed record and the one place that holds the
// statements on both tables.
#pragma once

#include <QList>
#include <QString>
#include <optional>

#include "db/database.h"
#include "db/records/item_count.h"

namespace tolvane::db {

enum class PinList { Inputs, Outputs };

struct PinRecord {
    qint64 id = 0;  // InputID / OutputID
    qint64 equipmentId = 0;
    QString name{};
    QString type{};  // the signal type
    QString conn{};  // the connector
    QString pinType{};
    std::optional<qint64> displayOrder{};
    bool operator==(const PinRecord&) const = default;
};

// A pin with the model it belongs to, as the exchange files name it.
struct ModelPin {
    QString manufacturerId{};
    QString modelName{};
    PinList list = PinList::Inputs;
    PinRecord pin{};
};

class PinTable {
  public:
    explicit PinTable(Connections& registry) : registry_(registry) {}

    // A model's inputs or outputs, by name.
    QList<PinRecord> ofModel(qint64 equipmentId, PinList which);
    std::optional<PinRecord> find(PinList which, qint64 id);
    // The model's first pin of that name (letter case aside).
    std::optional<PinRecord> named(PinList which, qint64 equipmentId, const QString& name);
    // Every pin with its model, by manufacturer, model, list (inputs first) and name.
    QList<ModelPin> withModels();

    // Adds the rows (each with its model) in few statements.
    void insert(PinList which, const QList<PinRecord>& pins);
    void remove(PinList which, const QList<qint64>& ids);
    // Removes every input or output of the model.
    void removeOfModel(PinList which, qint64 equipmentId);

  private:
    Connections& registry_;
};

// The connectors of the library (tblConnectors), which pins and jackfields name.
class ConnectorTable {
  public:
    explicit ConnectorTable(Connections& registry) : registry_(registry) {}

    // The names, sorted.
    QStringList names();
    bool exists(const QString& connector);
    // The connectors of these names with their vendors and costs.
    QList<ItemPrice> pricesOf(const QVariantList& connectors);

  private:
    Connections& registry_;
};

}  // namespace tolvane::db
