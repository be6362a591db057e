// The drawing registry of a project (tblDrawings): one row per drawing file, keyed by its full
// path, with the lock that marks a drawing open for editing by one user and what its title
// block shows. The typed record and the one place that holds the statements on the table.
// Paths and holders compare as the columns compare, without regard to case.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "db/database.h"

namespace tolvane::db {

struct DrawingRow {
    qint64 id = 0;                     // DrawingID
    std::optional<qint64> projectsId;  // ProjectsID: the project's row in the project manager
    QString name;                      // DrawingName
    QString path;                      // drawingpath: null when the row names no file
    bool locked = false;               // Locked
    QString lockedBy;                  // LOCKEDBY: the holder's WhoAmI; kept after an unlock
    QString title;                     // DrawingTitle
    QString number;                    // DrawingNo
    QString revision;                  // Revision
    QString date;                      // DrawingDate
    QString drawnBy;                   // DrawnBy
    bool operator==(const DrawingRow&) const = default;
};

class DrawingTable {
  public:
    explicit DrawingTable(Connections& registry) : registry_(registry) {}

    // By name, then path, then key.
    QList<DrawingRow> all();
    // By key: the order the rows were registered in.
    QList<DrawingRow> inKeyOrder();
    // The first row registered with the path.
    std::optional<DrawingRow> find(const QString& path);

    // Adds the row (its key is made by the table).
    void insert(const DrawingRow& r);
    // Points the row at another file.
    void setPath(qint64 drawingId, const QString& path);
    void remove(const QStringList& paths);
    // Every row's title block shows this revision.
    void setRevisionOfAll(const QString& revision);
    void removeAll();

    // Takes the lock of a free row for `holder`, test and set in one statement: of two users
    // opening at once only one gets it. True when taken.
    bool lockIfFree(const QString& path, const QString& holder);
    // Gives the lock `staleHolder` still holds to `holder`; returns the rows changed (none
    // when the row changed meanwhile).
    int takeOver(const QString& path, const QString& staleHolder, const QString& holder);
    // Frees the row when `holder` holds it, and forgets the holder.
    void release(const QString& path, const QString& holder);
    // Frees the row whoever holds it; LOCKEDBY keeps its value.
    void unlock(const QString& path);

    // The locked rows: all of them, or those `holder` holds.
    int lockedCount();
    int lockedCount(const QString& holder);
    // Frees every row, or every row `holder` holds; LOCKEDBY keeps its value.
    void unlockAll();
    void unlockAll(const QString& holder);

  private:
    Connections& registry_;
};

}  // namespace tolvane::db
