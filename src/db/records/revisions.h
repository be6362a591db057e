// Issued revisions of the project's cable schedule (tblRevisions, tblRevisionCables,
// tblRevisionCores), the project manager's record of them (tblRevCounter) and the lines of a
// comparison kept for the "Cable Changes" report (tblCableChanges): the typed records and the
// one place that holds the statements on these tables. A revision is the cable table and the
// cores of the multicore cables frozen as they stood (a frozen row stands in every revision
// from the one that froze it until its cable or core changed); one side of a comparison is such a
// revision or the two tables as they are now. A freed row (Available) is no cable or core of
// either side.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>
#include <utility>

#include "db/database.h"
#include "db/records/cables.h"

namespace tolvane::db {

struct RevisionRecord {
    qint64 revision = 0;
    QDateTime date;         // RevisionDate
    QString revisedBy;      // RevisedBy
    QString description;    // RevisionDescription
    qint64 cableCount = 0;  // the cable rows the revision holds
    qint64 coreCount = 0;   // the core rows the revision holds
    bool operator==(const RevisionRecord&) const = default;
};

// A cable as one side of a comparison holds it: what an installer pulls and terminates. A core
// of a multicore cable is one too, with its own ends and number ("12-03") and no type, signal
// or length of its own.
struct ScheduledCable {
    qint64 id = 0;                 // CableID; a core's ChildCableID
    std::optional<qint64> parent;  // a core: the CableID of its multicore cable
    CableNumber number;
    QString cableType, manufacturer, signalType;
    CableEnd source, destination;
    QString integrator;
    std::optional<double> length;
    QString sheet;
    bool operator==(const ScheduledCable&) const = default;
};

// What differs between two sides, each list in CableID order, the cores after the cables; a
// changed cable or core as it was and as it is. A pair may differ in letter case alone: which of
// its fields changed, if any, is for the caller to say.
struct ScheduleDifference {
    QList<ScheduledCable> added, removed;
    QList<std::pair<ScheduledCable, ScheduledCable>> changed;
};

// One printed line of a comparison.
struct CableChangeLine {
    QString change;       // "Added", "Removed", "Changed"
    QString cableNumber;  // as displayed
    QString field;        // the field's name for a change; empty for an added or removed cable
    QString oldValue, newValue;
    QString sheet;
    bool operator==(const CableChangeLine&) const = default;
};

class RevisionTable {
  public:
    explicit RevisionTable(Connections& registry) : registry_(registry) {}

    // The issued revisions, lowest first.
    QList<RevisionRecord> issued();
    // The highest issued revision; nullopt before the first.
    std::optional<qint64> latest();
    // Writes the revision's row and freezes every row of tblCables and of tblChildCables under
    // it: a frozen row that still holds what its cable or core holds stands on in the new
    // revision, the others stand in the previous one last, and the cables and cores left
    // without a standing row are written. A handful of statements whatever the number of rows
    // (the caller holds the transaction). Returns the row as written: its counts are the
    // cables and cores the revision holds.
    RevisionRecord freeze(const RevisionRecord& revision);
    // The lowest revision in which the number was issued to a cable in use; nullopt when it
    // never was. A row without a prefix counts as having the empty one.
    std::optional<qint64> issuedWith(const CableNumber& number);
    // The cables and cores added, removed and changed from `from` to `to`; nullopt stands for
    // the tables as they are now. One statement for the cables and one for the cores, each
    // reading both sides at once.
    ScheduleDifference compare(std::optional<qint64> from, std::optional<qint64> to);

  private:
    Connections& registry_;
};

// The project manager's revision counter: a row for each revision a project issued.
class RevisionCounterTable {
  public:
    explicit RevisionCounterTable(Connections& registry) : registry_(registry) {}

    // The revisions recorded for the project (ProjectsID), lowest first; their cable counts
    // are not recorded here.
    QList<RevisionRecord> of(qint64 projectsId);
    void add(qint64 projectsId, const RevisionRecord& revision);

  private:
    Connections& registry_;
};

class CableChangeTable {
  public:
    explicit CableChangeTable(Connections& registry) : registry_(registry) {}

    // Puts the lines in place of those `comparedBy` kept before, numbered in their order, in
    // one transaction; `compared` names the two sides ("Revision 2 to now").
    void replace(const QString& comparedBy, const QString& compared,
                 const QList<CableChangeLine>& lines);
    // The lines `comparedBy` kept, in their order.
    QList<CableChangeLine> linesOf(const QString& comparedBy);

  private:
    Connections& registry_;
};

}  // namespace tolvane::db
