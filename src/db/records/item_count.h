// One line of a count over the project: an item, a hint of its maker and how many (or how
// long) there are.
#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <optional>

#include "db/database.h"

namespace tolvane::db {

struct ItemCount {
    QVariant key;
    QString manufacturer;
    QString item;
    double quantity = 0;
};

// What the library says of an item a count names: its key as the library holds it, maker,
// name, two vendors and their costs (none where the library has none).
struct ItemPrice {
    QVariant key;
    QString manufacturer, name, vendor1, vendor2;
    std::optional<double> cost1, cost2;
};

// The library rows of `keys` through `select`, a statement on the equipment database with
// "%1" where the placeholders go, naming its columns ItemKey, Maker, ItemName, Vendor1,
// Vendor2, Cost1 and Cost2. Long lists are asked in parts; rows keep the statement's order.
QList<ItemPrice> readItemPrices(Connections& registry, const char* select,
                                const QVariantList& keys);

}  // namespace tolvane::db
