// Counting, pricing, keeping and deleting bills of materials.
#include "reports/bill_of_materials.h"

#include <QHash>
#include <QSet>

#include "db/records/bills_of_materials.h"
#include "db/records/cable_types.h"
#include "db/records/cables.h"
#include "db/records/jackfields.h"
#include "db/records/library_jackfields.h"
#include "db/records/pins.h"
#include "db/records/systems.h"
#include "ui/ui.h"

namespace tolvane::reports {

namespace {

using db::DbId;

// The items of a section counted over the project: key, manufacturer hint, display name,
// quantity; one per item.
using Counter = QList<db::ItemCount> (*)(db::Connections&);
using Prices = QList<db::ItemPrice> (*)(db::Connections&, const QVariantList&);

// How a section counts and where the library keeps its items.
struct SectionDef {
    BomSection section;
    const char* box;
    const char* bomClass;
    Counter count;
    // What the library says of a list of keys.
    Prices library;
    bool numericKey;
};

QList<db::ItemPrice> connectorPrices(db::Connections& r, const QVariantList& keys) {
    return db::ConnectorTable(r).pricesOf(keys);
}

// Rows without the counted value (a cable end on no connector, a cable without a type) count
// towards nothing.
const SectionDef kSections[] = {
    {BomSection::OutputConnectors, "Output Connectors", "Output Connectors",
     [](db::Connections& r) { return db::CableTable(r).connectorCounts(db::CableSide::Source); },
     connectorPrices, false},
    {BomSection::InputConnectors, "Input Connectors", "Input Connectors",
     [](db::Connections& r) {
         return db::CableTable(r).connectorCounts(db::CableSide::Destination);
     },
     connectorPrices, false},
    {BomSection::Equipment, "Equipment", "Equipment",
     [](db::Connections& r) { return db::SystemTable(r).countsByModel(); },
     [](db::Connections& r, const QVariantList& k) {
         return db::EquipmentModelTable(r).pricesOf(k);
     },
     true},
    {BomSection::JackFields, "Jack Fields", "Jack Fields",
     [](db::Connections& r) { return db::JackfieldTable(r).countsByModel(); },
     [](db::Connections& r, const QVariantList& k) {
         return db::LibraryJackfieldTable(r).pricesOf(k);
     },
     true},
    // Cable types are told apart by manufacturer and type; the library is asked by type, and
    // the manufacturer's own row is preferred when the type has several.
    {BomSection::CableTypes, "Cable Types", "Cable Types",
     [](db::Connections& r) { return db::CableTable(r).lengthsByType(); },
     [](db::Connections& r, const QVariantList& k) { return db::CableTypeTable(r).pricesOf(k); },
     false},
    {BomSection::ChildOutputConnectors, "Child Output Connectors", "Child Cable Source Connectors",
     [](db::Connections& r) { return db::CoreTable(r).connectorCounts(db::CableSide::Source); },
     connectorPrices, false},
    {BomSection::ChildInputConnectors, "Child Input Connectors",
     "Child Cable Destination Connectors",
     [](db::Connections& r) {
         return db::CoreTable(r).connectorCounts(db::CableSide::Destination);
     },
     connectorPrices, false},
    {BomSection::Panels, "Panels", "", nullptr, nullptr, false},
    {BomSection::Routers, "Routers", "", nullptr, nullptr, false},
};

const SectionDef& defOf(BomSection s) {
    return kSections[int(s)];
}

// Library keys compare as the databases compare text: without regard to case.
QString keyOf(const QVariant& v, bool numeric) {
    return numeric ? QString::number(v.toLongLong()) : v.toString().toLower();
}

// The library rows of the keys, by key; for keys with several rows, in the library's order.
QMultiHash<QString, db::ItemPrice> lookUp(const SectionDef& def, const QVariantList& keys,
                                          db::Connections& registry) {
    QMultiHash<QString, db::ItemPrice> found;
    if (!registry.isBound(DbId::Equipment)) return found;
    const QList<db::ItemPrice> rows = def.library(registry, keys);
    // QMultiHash gives the last inserted first: insert backwards to keep the library's order.
    for (auto it = rows.crbegin(); it != rows.crend(); ++it)
        found.insert(keyOf(it->key, def.numericKey), *it);
    return found;
}

std::optional<double> product(double qty, const std::optional<double>& cost) {
    if (!cost) return std::nullopt;
    return qty * *cost;
}

// Writes the lines of one section of the bill; returns how many.
int generateSection(const SectionDef& def, const QString& name, db::Connections& registry) {
    if (!def.count) return 0;
    QList<db::ItemCount> counted = def.count(registry);
    QVariantList keys;
    QSet<QString> seen;
    for (db::ItemCount& c : counted) {
        if (c.item.isEmpty()) c.item = c.key.toString();
        const QString k = keyOf(c.key, def.numericKey);
        if (!seen.contains(k)) {
            seen.insert(k);
            keys << c.key;
        }
    }
    if (counted.isEmpty()) return 0;
    const QMultiHash<QString, db::ItemPrice> library = lookUp(def, keys, registry);
    QList<db::BomLine> lines;
    for (const db::ItemCount& c : counted) {
        const QList<db::ItemPrice> matches = library.values(keyOf(c.key, def.numericKey));
        const db::ItemPrice* item = matches.isEmpty() ? nullptr : &matches.first();
        for (const db::ItemPrice& m : matches)
            if (!c.manufacturer.isEmpty() &&
                m.manufacturer.compare(c.manufacturer, Qt::CaseInsensitive) == 0) {
                item = &m;
                break;
            }
        db::ItemPrice line;
        if (item) {
            line = *item;
            if (line.name.isEmpty()) line.name = c.item;
        } else {
            line.name = c.item;
            line.manufacturer = c.manufacturer;
        }
        db::BomLine l;
        l.bill = name;
        l.bomClass = QString::fromLatin1(def.bomClass);
        l.item = line.name;
        // No maker and no vendors are stored as none (null), not as empty text.
        if (!line.manufacturer.isEmpty()) l.manufacturer = line.manufacturer;
        l.qty = c.quantity;
        if (item) {
            l.vendor1 = line.vendor1;
            l.vendor2 = line.vendor2;
        }
        l.cost1 = line.cost1;
        l.cost2 = line.cost2;
        l.ext1 = product(c.quantity, line.cost1);
        l.ext2 = product(c.quantity, line.cost2);
        lines << l;
    }
    db::BomTable(registry).insert(lines);
    return int(counted.size());
}

// Ends the progress display however the generation ends.
struct ProgressEnd {
    Ui& ui;
    ~ProgressEnd() { ui.progress(QString(), 0, 0); }
};

}  // namespace

QList<BomSection> allBomSections() {
    QList<BomSection> all;
    for (const SectionDef& def : kSections) all << def.section;
    return all;
}

QString bomBoxTitle(BomSection section) {
    return QString::fromLatin1(defOf(section).box);
}

QString bomClass(BomSection section) {
    return QString::fromLatin1(defOf(section).bomClass);
}

QString bomReportPath() {
    return QStringLiteral("reports/general/BOM.RPX");
}

QList<db::BomBill> BillOfMaterials::bills() {
    return db::BomTable(registry_).bills();
}

bool BillOfMaterials::exists(const QString& name) {
    return db::BomTable(registry_).exists(name);
}

bool BillOfMaterials::acceptNewName(const QString& name) {
    if (name.trimmed().isEmpty()) {
        ui_.message(QStringLiteral("Enter a Report Name"));
        return false;
    }
    if (exists(name)) {
        ui_.message(QStringLiteral("That Report Name Already Exists"));
        return false;
    }
    return true;
}

std::optional<int> BillOfMaterials::create(const QString& name, const QDate& date,
                                           const QList<BomSection>& sections) {
    if (!acceptNewName(name)) return std::nullopt;
    const char* empty = db::CableTable(registry_).isEmpty()    ? "Cables"
                        : db::SystemTable(registry_).isEmpty() ? "Systems"
                                                               : nullptr;
    if (empty) {
        ui_.message(QStringLiteral("%1 database is empty. \r\nAborting").arg(QLatin1String(empty)));
        return std::nullopt;
    }
    db::Transaction transaction(DbId::Project, registry_);
    db::BomTable(registry_).insert(db::BomBill{name, date});
    int written = 0;
    int done = 0;
    {
        const ProgressEnd end{ui_};
        for (const SectionDef& def : kSections) {
            ui_.progress(QStringLiteral("Generating Bill of Materials"), done++, kBomSectionCount);
            if (sections.contains(def.section)) written += generateSection(def, name, registry_);
        }
    }
    transaction.commit();
    return written;
}

QList<db::BomLine> BillOfMaterials::lines(const QString& name) {
    return db::BomTable(registry_).lines(name);
}

QString BillOfMaterials::linesCondition(const QString& name) {
    return db::BomTable(registry_).linesCondition(name);
}

void BillOfMaterials::recomputeExtensions(const QString& name) {
    // One statement: every line of the bill is priced, or none is.
    db::BomTable(registry_).recomputeExtensions(name);
}

bool BillOfMaterials::remove(const QString& name) {
    if (ui_.message(QStringLiteral("Delete %1? This action cannot be undone. Proceed?").arg(name),
                    MsgButtons::YesNo, MsgIcon::Question) != MsgButton::Yes)
        return false;
    db::Transaction transaction(DbId::Project, registry_);
    db::BomTable(registry_).remove(name);
    transaction.commit();
    return true;
}

QString bomFilterExpression(const QString& name) {
    QString quoted = name;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QStringLiteral("FileName = '%1'").arg(quoted);
}

DataFilter bomFilter(const QString& name) {
    return DataFilter{QStringLiteral("FileName = ?"), {name}};
}

}  // namespace tolvane::reports
