// Reading what the library says of counted items.
#include "db/records/item_count.h"

#include "db/records/row_reader.h"

namespace tolvane::db {

QList<ItemPrice> readItemPrices(Connections& registry, const char* select,
                                const QVariantList& keys) {
    QList<ItemPrice> out;
    for (qsizetype from = 0; from < keys.size(); from += kRowsPerStatement) {
        const QVariantList part = keys.mid(from, kRowsPerStatement);
        Query q(DbId::Equipment, QString::fromLatin1(select).arg(placeholders(part.size())),
                registry);
        for (const QVariant& k : part) q.bind(k);
        out << readAll(q, [](const RowReader& r) {
            return ItemPrice{r.value("ItemKey"), r.text("Maker"),   r.text("ItemName"),
                             r.text("Vendor1"),  r.text("Vendor2"), r.real("Cost1"),
                             r.real("Cost2")};
        });
    }
    return out;
}

}  // namespace tolvane::db
