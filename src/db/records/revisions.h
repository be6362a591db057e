// Issued revisions of the project's cable schedule (tblRevisions, tblRevisionCables) and the
// lines of a comparison kept for the "Cable Changes" report (tblCableChanges): the typed
// records and the one place that holds the statements on the three tables. A revision is the
// cable table frozen as it stood; one side of a comparison is such a revision or the cable table
// as it is now. A freed row (Available) is no cable of either side.
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
    QDateTime date;       // RevisionDate
    QString revisedBy;    // RevisedBy
    QString description;  // RevisionDescription
    qint64 cableCount = 0;
    bool operator==(const RevisionRecord&) const = default;
};

// A cable as one side of a comparison holds it: what an installer pulls and terminates.
struct ScheduledCable {
    qint64 id = 0;  // CableID
    CableNumber number;
    QString cableType, manufacturer, signalType;
    CableEnd source, destination;
    QString integrator;
    std::optional<double> length;
    QString sheet;
    bool operator==(const ScheduledCable&) const = default;
};

// What differs between two sides, each list in CableID order; a changed cable as it was and
// as it is. Which of its fields changed is for the caller to say.
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
    // Writes the revision's row and freezes every row of tblCables under it, in two
    // statements whatever the number of cables (the caller holds the transaction); the row's
    // cable count is what was frozen. Returns that count.
    qint64 freeze(const RevisionRecord& revision);
    // The lowest revision in which the number was issued to a cable in use; nullopt when it
    // never was. A row without a prefix counts as having the empty one.
    std::optional<qint64> issuedWith(const CableNumber& number);
    // The cables added, removed and changed from `from` to `to`; nullopt stands for the cable
    // table as it is now. Fields compare as the database compares them: text without regard to
    // case, and an empty text as no text.
    ScheduleDifference compare(std::optional<qint64> from, std::optional<qint64> to);

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
