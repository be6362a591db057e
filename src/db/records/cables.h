// The project's cables (tblCables) and the cores of its multicore cables (tblChildCables):
// typed records, and the one place that holds the statements on both tables. Each table class
// works on the registry it is given; rows are read by column name.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <vector>

#include "db/database.h"
#include "db/records/cable_number.h"
#include "db/records/item_count.h"

namespace tolvane::db {

enum class CableSide { Source, Destination };

// One end of a cable or a core.
struct CableEnd {
    QString system;     // SRCSys / DestSYS
    QString connector;  // SRCConn / DESTConn
    QString pin;        // SRCPin / DestPin
    QString location;   // SRCLoc / DESTLOc
    QString alias;      // SRCAlias / DSTAlias
    bool operator==(const CableEnd&) const = default;
};

struct CableRecord {
    qint64 id = 0;         // CableID
    CableNumber number;    // CableNoPrefix, CableNO
    QString cableType;     // CableType: the part number
    QString manufacturer;  // CabletypeManu
    QString signalType;
    CableEnd source, destination;
    QString integrator;
    std::optional<double> length;
    bool multiCore = false;
    bool available = false;       // the number is free for reuse
    bool availableCores = false;  // a multicore cable with cores still free
    QString sheet;
    QString replacedBy;
    QDateTime originated, modified;
    std::optional<qint64> currentRevision, projectRevision;
    QString createdBy;
    bool operator==(const CableRecord&) const = default;
};

// What the check of a whole project compares of a cable row: the ID, the number, the sheet,
// the MultiCore and Available flags and the system and pin of both ends.
struct CableEnds {
    qint64 id = 0;
    CableNumber number;
    QString sheet;
    bool multiCore = false;
    bool available = false;
    QString sourceSystem, sourcePin, destinationSystem, destinationPin;
};

struct CoreRecord {
    qint64 id = 0;        // ChildCableID
    CableNumber number;   // CableNo, under the parent's prefix where the parent was read too
    qint64 parentId = 0;  // ParentNo: the CableID of the multicore cable
    CableEnd source, destination;
    QString integrator;
    QString sheet;
    bool available = false;
    bool operator==(const CoreRecord&) const = default;
};

class CableTable {
  public:
    explicit CableTable(Connections& registry) : registry_(registry) {}

    std::optional<CableRecord> find(qint64 cableId);
    QList<CableRecord> all();
    // Every row with only what the check of a whole project compares, in CableID order.
    std::vector<CableEnds> allEnds();
    bool isEmpty();
    // The rows holding the number under its prefix, oldest first.
    QList<CableRecord> withNumber(const CableNumber& number);
    // Whether a row other than `cableId` holds the number; a row without a prefix counts as
    // having the empty one.
    bool heldByAnother(qint64 cableId, const CableNumber& number);
    // The highest value among the numbers of the prefix (1000 above 999, a core "12-03" as
    // 12); nullopt when the prefix has none that counts.
    std::optional<qint64> highestNumber(const QString& prefix);
    // The numbers of the prefix free for reuse (Available, or with available cores), in text
    // order. A freed number that an issued revision holds in use is retired, not offered.
    QStringList reusableNumbers(const QString& prefix);
    // The free numbers of the prefix (Available) that no issued revision holds, in text order.
    QStringList freeNumbers(const QString& prefix);
    // The numbers and rows of the multicore cables.
    QStringList multicoreNumbers();
    QList<CableRecord> multicoreCables();
    // The first row whose source (destination) is the system's pin, whatever its state.
    std::optional<CableRecord> firstAt(CableSide side, const QString& system, const QString& pin);
    // The single-core cables in use whose end on `side` is the system's pin.
    QList<CableRecord> inUseAt(CableSide side, const QString& system, const QString& pin);
    // The cables in use (multicore ones too) with either end on the system.
    QList<CableRecord> inUseOn(const QString& system);

    // Adds the row; returns its CableID.
    qint64 insert(const CableRecord& r);
    // Gives the row `r.id` the ends, cable type, signal type, sheet, length and integrator of
    // `r`, with its state (MultiCore, Available, ReplacedBY) and DateModified.
    void reassign(const CableRecord& r);
    void setMultiCore(qint64 cableId, bool multiCore);
    void setAvailableCores(qint64 cableId, bool available);
    // Frees a row: its number is offered for reuse and its ends and sheet read "Deleted".
    void release(qint64 cableId);
    // Frees rows whose cables were erased: their numbers are offered for reuse and their ends
    // read "Deleted"; aliases and sheet stay as they were.
    void releaseErased(const QList<qint64>& cableIds);

    // Cable ends per connector (the source's or the destination's); ends on no connector count
    // towards nothing.
    QList<ItemCount> connectorCounts(CableSide side);
    // The summed length per cable type (key and item: the type; the maker as hint).
    QList<ItemCount> lengthsByType();

  private:
    Connections& registry_;
};

class CoreTable {
  public:
    explicit CoreTable(Connections& registry) : registry_(registry) {}

    // The cores of a cable, by number (without the cable's prefix).
    QList<CoreRecord> ofCable(qint64 cableId);
    std::optional<qint64> parentOf(qint64 coreId);
    // The cores in use, with their cable's prefix.
    QList<CoreRecord> inUse();
    // The cores in use whose end on `side` is the system's pin, with their cable's prefix.
    QList<CoreRecord> inUseAt(CableSide side, const QString& system, const QString& pin);
    // The cores in use with either end on the system, with their cable's prefix.
    QList<CoreRecord> inUseOn(const QString& system);

    // Adds the cores in one statement.
    void insert(const QList<CoreRecord>& cores);
    // Gives the core the ends, integrator and sheet of `r` and marks it in use.
    void assign(const CoreRecord& r);
    // The cores numbered `stored` (their own number, "12-03"), with their cable's prefix.
    QList<CoreRecord> withNumber(const QString& stored);
    // Frees a core as a cable is freed (its ends read "Deleted"); its cable then has a free
    // core. One transaction.
    void release(const CoreRecord& core);

    QList<ItemCount> connectorCounts(CableSide side);

  private:
    Connections& registry_;
};

}  // namespace tolvane::db
