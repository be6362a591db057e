// The counts a bill of materials is made from: connectors at the cable ends, placed
// equipment, project jackfields and cable lengths per type. Each is one grouped query whose
// rows are the items with their totals.
#pragma once

#include <QString>
#include <QVariant>
#include <QVector>

#include "db/database.h"

namespace tolvane::db {

enum class BomSection {
    OutputConnectors,       // cable source connectors
    InputConnectors,        // cable destination connectors
    Equipment,              // placed systems per equipment model
    JackFields,             // project jackfields per jackfield model
    CableTypes,             // cable length per manufacturer and type
    ChildOutputConnectors,  // core source connectors
    ChildInputConnectors,   // core destination connectors
};

struct BomCount {
    QVariantList item;  // the grouped values: a connector, an equipment id, (maker, type), ...
    double total = 0;   // rows counted, or the summed length
};

// In the order of the grouped values; a null item (cables without a connector) is a row too.
QVector<BomCount> bomCounts(BomSection section, Connections& registry = connections());

}  // namespace tolvane::db
