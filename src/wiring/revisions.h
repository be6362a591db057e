// Revisions of the cable schedule. Issuing one freezes every cable row of the project and every
// core of its multicore cables as revision N (whatever the number of rows, in a few
// statements), makes N the project's revision (tblPID) and the revision every title block shows
// (tblDrawings, which open drawings follow), and records it in the project manager's revision
// counter, all or nothing. Comparing two revisions, or a revision and the cables as they are
// now, lists the cables and cores added, removed and changed (which field, old and new value)
// by cable number: the lines an installer works from, which the "Cable Changes" report prints.
// Changed and added cables can be clouded on their sheets. A number issued in a revision is retired
// once its cable is freed: the reuse lists no longer offer it and assignment refuses it.
#pragma once

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <optional>

#include "db/database.h"
#include "db/records/revisions.h"

namespace tolvane {
class Drawing;
class Ui;
}  // namespace tolvane

namespace tolvane::wiring {

// One field of a cable that differs between two sides.
struct FieldChange {
    QString field;  // as the report names it: "Source pin", "Length", ...
    QString oldValue, newValue;
    bool operator==(const FieldChange&) const = default;
};

// The fields of `was` and `is` that differ, in the order the report lists them; text compares
// without regard to case and an empty text as no text, as the database compares them.
QList<FieldChange> changedFields(const db::ScheduledCable& was, const db::ScheduledCable& is);

// The printed lines of a difference, in cable-number order (numbers compared as numbers within
// a prefix, a cable's cores after it): an added or removed cable in one line saying where it
// runs, a changed one in a line per field; a core's lines say "Core added", "Core removed" and
// "Core changed". Pairs whose fields differ only by case come to no line.
QList<db::CableChangeLine> changeLines(const db::ScheduleDifference& d);

// "Revision 3", or "Now" for the cables as they are.
QString sideName(std::optional<qint64> revision);

// Told when an assignment picks a number an issued revision holds.
QString numberRetired(const db::CableNumber& number, qint64 revision);

// The change a line of a core says.
inline const QString kCoreAdded = QStringLiteral("Core added");
inline const QString kCoreRemoved = QStringLiteral("Core removed");
inline const QString kCoreChanged = QStringLiteral("Core changed");

class Revisions {
  public:
    // projectsId: the project's row in the project manager (ProjectsID), whose revision counter
    // records each issue; nullopt for a project it does not list (nothing is recorded there).
    explicit Revisions(db::Connections& registry, std::optional<qint64> projectsId = {})
        : registry_(registry), projectsId_(projectsId) {}

    // The revision the next issue makes: one above the highest issued, the project's own
    // counter and the project manager's, so that a counter set by hand is never issued twice.
    qint64 next();
    // Issues the next revision: the cables and cores frozen, the project's counters and every
    // title block's revision set and the revision added to the project manager's counter. The
    // two databases' transactions are both open while every statement runs, and the project's
    // is committed first: a failing statement or commit of the project leaves nothing written
    // in either (DbError). Returns the revision and the numbers of rows frozen.
    db::RevisionRecord issue(const QString& description, const QString& revisedBy,
                             const QDateTime& at);
    // The lines of the difference from one side to the other (nullopt: now).
    QList<db::CableChangeLine> compare(std::optional<qint64> from, std::optional<qint64> to);
    // The cables (CableID) the difference adds or changes, or whose cores it adds or changes:
    // what is clouded on the sheets.
    QSet<qint64> touchedCables(std::optional<qint64> from, std::optional<qint64> to);

  private:
    db::Connections& registry_;
    std::optional<qint64> projectsId_;
};

// The command: tells when there is nothing to freeze, asks for a description (cancel: nothing
// happens), issues the next revision and says what it froze. The project manager's counter of
// the project registered with projectFolder records it. Returns the revision issued.
std::optional<qint64> issueRevisionCommand(Ui& ui, db::Connections& registry,
                                           const QString& revisedBy, const QString& projectFolder);

// Clouds each cable of the set drawn on the drawing (its model space) on the layer
// "REVISION", with the label beside the cloud, as one undo step; a cable clouded under the
// same label before is left as it is. Returns the number of cables clouded.
inline const QString kCloudLayer = QStringLiteral("REVISION");
inline const QString kCloudKind = QStringLiteral("RevisionCloud");
int cloudCables(Drawing& drawing, const QSet<qint64>& cableIds, const QString& label);

}  // namespace tolvane::wiring
