// The trace of a signal: from one connector (a system and a pin), the assigned cables are
// followed to every end they reach: through the two jacks of a jackfield column (row A to row
// B, the normalled path), through J-boxes (the other side of the same connector), across
// pointer pairs to other sheets, and along the cores of multicore cables. Distribution
// amplifiers and routers are ends: their outputs are listed as the places the signal may go
// on. A connector reached twice means the wiring loops; the trace stops there and says so.
// Cables and cores come from the project's records (indexed by their ends); what each system
// is, and where pointers take a cable, from the scanned drawings.
#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include "db/database.h"
#include "wiring/project_scan.h"

namespace tolvane::wiring {

// One place of the path. `place`: start, pointer, jack, normal (the jack on the other row of
// the column), jbox, through (the other side of the J-box), end (equipment), da, router,
// output (of a DA or router), loop.
struct TraceStep {
    QString place;
    QString system, pin, connector;
    QString cable;  // the number of the cable or core that arrived here
    QString sheet;
    // "TRACE place | system | pin | connector | cable | sheet"
    QString line() const;
    bool operator==(const TraceStep&) const = default;
};

struct TraceResult {
    QList<TraceStep> steps;
    QString message;  // the loop found, or why nothing could be followed ("" when neither)
    bool looped = false;
};

// Where a trace shows on the drawings: per drawing path, the cables it follows (by the number
// texts they carry) and the blocks of the systems it reaches (pointers and jacks by the sheet
// and jackfield they name are left out: they stand for more than this path).
QHash<QString, QStringList> tracedEntities(const ProjectScan& scan, const TraceResult& result);
// The drawing path and entity of one place of the path: the block of its system on its sheet,
// else the cable that arrived there; empty strings when it is drawn nowhere.
std::pair<QString, QString> stepEntity(const ProjectScan& scan, const TraceStep& step);
// The connector a trace from this cable starts at: the source end of its row (CableID as the
// cable's tag holds it); empty strings for a cable not assigned or without a row.
std::pair<QString, QString> cableSource(const QString& cableId, db::Connections& registry);

class SignalTrace {
  public:
    // The scan must outlive the trace.
    explicit SignalTrace(const ProjectScan& scan, db::Connections& registry);

    TraceResult trace(const QString& system, const QString& pin);

    struct End {
        QString system, pin, connector;
    };
    struct Link {
        QString key;  // "C" + CableID or "K" + ChildCableID
        qint64 cableId = 0;
        bool core = false;
        QString number;
        QString sheet;
        End source, destination;
    };

  private:
    struct SystemInfo {
        QString kind;
        QString name;  // as its block writes it
        QString sheet;
        QStringList outputs;
    };
    QList<Link> linksAt(const QString& system, const QString& pin);
    QList<Link> linksOf(const QString& system);
    QString normalPartner(const QString& system, const QString& pin, QString* connector,
                          QString* sheet);
    QList<TraceStep> pointerSteps(const Link& link);
    void follow(const End& at, const QString& kind, const QString& from, TraceResult& out);
    void arrive(const End& at, const QString& sheet, const QString& cable, TraceResult& out);
    bool visit(const End& at, const QString& cable, const QString& sheet, TraceResult& out);
    void outputs(const End& at, const QString& kind, TraceResult& out);
    SystemInfo systemInfo(const QString& system) const;

    const ProjectScan& scan_;
    db::Connections& registry_;
    QHash<QString, SystemInfo> systems_;               // upper-case name
    QHash<qint64, QList<QPair<int, int>>> drawnById_;  // CableID -> (drawing, cable)
    QSet<QString> visitedNodes_;
    QSet<QString> visitedLinks_;
    int depth_ = 0;
};

}  // namespace tolvane::wiring
