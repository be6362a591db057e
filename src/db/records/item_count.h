// One line of a count over the project: an item, a hint of its maker and how many (or how
// long) there are.
#pragma once

#include <QString>
#include <QVariant>

namespace tolvane::db {

struct ItemCount {
    QVariant key;
    QString manufacturer;
    QString item;
    double quantity = 0;
};

}  // namespace tolvane::db
