// The drawing registry of the open project: its tblDrawings rows, one per drawing file, with
// the lock that marks a drawing open for editing by one user. Listing, registering, the lock
// taken on open and given back on close or at shutdown, the manual unlock and the clean-up
// commands of the project explorer. Questions go through the Ui seam.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "db/database.h"
#include "db/records/drawings.h"

namespace tolvane {
class Ui;
struct RunState;
}  // namespace tolvane

namespace tolvane::projects {

// A registry row and whether its file is there.
struct DrawingEntry : db::DrawingRow {
    bool exists = false;

    // The part of the path after its last folder separator ('/' or '\').
    QString fileName() const;
    // The file name, the holder in brackets when locked, or the missing mark.
    QString displayText() const;
};

// What a drawing's title block shows: the project's name and the drawing's registry row. A
// row without a drawing name of its own shows its file name; without a date, the date its file
// was last written.
struct DrawingTitle {
    QString project;
    QString drawingName;
    QString drawingNo;
    QString revision;
    QString date;
    QString drawnBy;
    bool operator==(const DrawingTitle&) const = default;
};

// The answer of the lock taken when a drawing is opened.
enum class OpenLock {
    Opened,    // the lock is ours: open for editing
    ReadOnly,  // another holder; the user agreed to open it read-only
    Cancelled  // another holder; the user gave up
};

// The report layouts of one of the project's report folders ("GENERAL", "LABELS"): the
// "*.rpx" files, folder and extension compared without regard to case, sorted by name.
QStringList projectReports(const QString& projectFolder, const QString& kind);

class DrawingRegistry {
  public:
    DrawingRegistry(RunState& run, Ui& ui, db::Connections& registry);

    static QString missingMark() { return QStringLiteral(" (Drawing Missing!)"); }
    static QString missingMessage(const QString& path);
    static QString corruptMessage() {
        return QStringLiteral("Open Failed. This document is corrupt");
    }
    static QString fileNameOf(const QString& path);
    // Whether the file is there; its name compared without regard to case.
    static bool fileExists(const QString& path);

    // The title of the drawing at this path; the file name alone when it has no row.
    DrawingTitle title(const QString& path);

    // Every row, in DrawingName order.
    QList<DrawingEntry> drawings();
    std::optional<DrawingEntry> find(const QString& path);

    // Adds an unlocked row named after the file when no row has this path. True when added.
    bool registerDrawing(const QString& path);

    // Registers a drawing saved under a new name as open by this user (a row locked by
    // WhoAmI). False, and the table unchanged, when the path has a row already.
    bool registerOpen(const QString& path);

    // Takes the drawing's lock before its file is opened (a new row is registered as ours).
    // A lock whose holder's run has ended is taken over (db::takeOverStale: on the shared
    // server a holder without a live session, this user's own earlier run included); a
    // drawing whose holder is still at work is offered read-only. When the file then cannot
    // be read, the caller reports corruptMessage() and calls releaseLock().
    OpenLock lockForOpen(const QString& path);
    // Gives back a lock this run took with lockForOpen (drawing closed, or failed to open).
    void releaseLock(const QString& path);

    // The explorer's "Unlock Drawing" after its question; LOCKEDBY keeps its value. True when
    // a row was unlocked.
    bool unlock(const QString& path);
    // The same for several drawings (the getting-started list) with one question.
    bool unlock(const QStringList& paths);

    // Removes the rows whose file is absent; the others stay, locked or not. Returns how many.
    int removeMissing();
    // Removes every row after the question; the files are not touched. True when removed.
    bool clearAll();

    // At shutdown: shared mode unlocks the rows this WhoAmI holds, single-user mode every row.
    // A database that cannot be written is reported, and the shutdown goes on.
    void releaseAtShutdown();

  private:
    bool unlockAfterQuestion(const QStringList& paths, const QString& question);
    std::optional<qint64> projectsId();
    // A registry row for a drawing: its file name, its path and its lock.
    void addRow(const QString& path, bool locked, const QString& holder);

    RunState& run_;
    Ui& ui_;
    db::Connections& registry_;
};

}  // namespace tolvane::projects
