// The cable types of the library (tblCableTypes) and the cores of each (tblCablePairs): typed
// records, and the one place that holds the statements on both tables.
#pragma once

#include <QList>
#include <QString>
#include <optional>

#include "db/database.h"
#include "db/records/item_count.h"

namespace tolvane::db {

inline constexpr const char* kNumberedScheme = "Numbered";
inline constexpr const char* kColorCodedScheme = "Color Coded";

struct CableTypeRecord {
    qint64 id = 0;  // CableTypeID
    QString manufacturerId{};
    QString partNumber{};  // CableType
    QString description{};
    QString rating{};
    QString charZ{};  // characteristic impedance
    QString gauge{};
    QString conductors{};
    QString shielding{};
    bool multicore = false;
    int cores = 1;                                          // cablecorenumber
    QString scheme = QString::fromLatin1(kNumberedScheme);  // CableCoreScheme, multicore only
    bool operator==(const CableTypeRecord&) const = default;
};

struct CableCoreRecord {
    qint64 id = 0;      // PairID
    qint64 typeId = 0;  // CableTypeID
    QString number{};   // PairNumber as stored: "1"
    QString marking{};  // paircolorcode
    // The number as lists show it: two digits ("01").
    QString numberText() const;
    bool operator==(const CableCoreRecord&) const = default;
};

// A core with its type, as the exchange files name it.
struct TypedCore {
    QString manufacturerId{};
    QString partNumber{};
    CableCoreRecord core{};
};

class CableTypeTable {
  public:
    explicit CableTypeTable(Connections& registry) : registry_(registry) {}

    std::optional<CableTypeRecord> find(qint64 id);
    // The manufacturer's types whose part number begins with `find` (letter case aside), by
    // part number.
    QList<CableTypeRecord> beginningWith(const QString& manufacturerId, const QString& find);
    // The manufacturer's type of this part number (letter case aside).
    std::optional<qint64> idOf(const QString& manufacturerId, const QString& partNumber);
    // The types of these part numbers with their makers, vendors and costs, by id (a part
    // number several makers share gives a row for each).
    QList<ItemPrice> pricesOf(const QVariantList& partNumbers);

    // Adds the type (the scheme is stored for a multicore type only); returns its id.
    qint64 insert(const CableTypeRecord& r);
    // Removes the type's cores, then the type.
    void remove(qint64 id);

    // A type's cores by number.
    QList<CableCoreRecord> cores(qint64 typeId);
    // Every core with its type, by manufacturer, part number and number.
    QList<TypedCore> typedCores();
    bool hasCore(qint64 typeId, const QString& number);
    // Adds the cores (each with its type) in few statements; an empty marking is stored as
    // none.
    void insertCores(const QList<CableCoreRecord>& cores);
    // An empty marking is stored as none. False when there is no such core.
    bool setCoreMarking(qint64 coreId, const QString& marking);

  private:
    Connections& registry_;
};

}  // namespace tolvane::db
