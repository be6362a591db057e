// The check of a project: every registered drawing (read once, see project_scan.h) against
// the project's records, listing what does not fit together: cables drawn but never
// assigned, cable rows whose cable is in no drawing, one cable ID on two cables, number texts
// that disagree with their row, equipment without a system name, systems without a block,
// blocks whose model is gone from the library, a connector wired by two cables, pointers not
// linked or linked to a partner that is gone or on a drawing that is not registered, jack
// positions marked assigned on a sheet where no jack holds them, systems of a rack that cannot
// be placed in its elevation; and drawings that are
// missing or cannot be read. Records are read with one query per table. Two safe fixes: an
// orphaned cable row released (its number free again, after the user confirms), and a stale
// number text given the number it should show (one undo step in its open drawing).
#pragma once

#include <QList>
#include <QString>
#include <memory>

#include "db/database.h"
#include "equipment/racks.h"
#include "wiring/project_scan.h"

namespace tolvane {
class Drawing;
class Ui;
}  // namespace tolvane

namespace tolvane::wiring {

enum class FindingKind {
    NoDrawings,
    MissingDrawing,
    UnreadableDrawing,
    UnassignedCable,
    OrphanedCableRow,
    DuplicateCableId,
    StaleNumberText,
    NoSystemName,
    SystemWithoutBlock,
    OrphanedBlock,
    DoubleWired,
    UnlinkedPointer,
    PointerPartnerGone,
    PointerSheetUnregistered,
    UnheldJackPosition,
    RackElevationNotNumber,
    RackHeightUnknown,
    RackOverlap,
    RackOutOfBounds,
};

// The kind of finding a rack's problem is.
FindingKind rackFindingKind(equipment::RackProblemKind kind);

// The word a batch line writes for a kind, and the heading of its group in the window.
QString kindWord(FindingKind kind);
QString kindTitle(FindingKind kind);

struct Finding {
    FindingKind kind = FindingKind::NoDrawings;
    QString drawing;  // title of the drawing concerned ("" when none)
    QString handle;   // the entity concerned ("" when the finding is a record's)
    QString record;   // "tblCables 12", ... ("" when none)
    QString text;
    // For the fixes: the cable row to release, the number text and what it should show.
    qint64 cableId = 0;
    QString textHandle;
    QString expectedText;

    bool releasable() const { return kind == FindingKind::OrphanedCableRow && cableId > 0; }
    bool correctable() const {
        return kind == FindingKind::StaleNumberText && !textHandle.isEmpty();
    }
    // "CHECK kind | drawing | handle | text"
    QString line() const;
};

class ProjectCheck {
  public:
    explicit ProjectCheck(db::Connections& registry);
    ~ProjectCheck();
    ProjectCheck(const ProjectCheck&) = delete;
    ProjectCheck& operator=(const ProjectCheck&) = delete;

    // Reads what the drawings are held against from the project's records, one query per
    // table, on the thread of the registry's connections: while the drawings are read on
    // others (scanProject's `meanwhile`). Throws DbError.
    void readRecords();
    // The findings, grouped by kind (in the order of FindingKind), then by drawing and handle.
    // Takes the records readRecords() read, or reads them; a later run reads them again.
    QList<Finding> run(const ProjectScan& scan);

    // Releases the orphaned row after the user agreed: its number is free for reuse and its
    // ends are cleared. False when the user declined or the row is no longer orphaned.
    bool release(const Finding& finding, Ui& ui);
    // Gives the stale number text the number its cable's row shows, as one undo step of the
    // drawing (open in a window). False when the text is gone.
    static bool correctText(const Finding& finding, Drawing& drawing);

  private:
    struct Records;
    db::Connections& registry_;
    std::unique_ptr<Records> records_;
};

}  // namespace tolvane::wiring
