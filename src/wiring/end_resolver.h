// Cable end resolution: given an end point of a cable polyline, the block the cable is
// attached to there, which of its pins (or jacks, connectors, router layers) the cable
// meets, and what the databases say about it, as one end string of six "|"-separated fields:
// system name, pin, connector, location, signal type, alias. The source string comes from a
// cable's first vertex, the destination string from its last; assignment writes them into
// the cable schedule. This file is the one place where that format is made.
#pragma once

#include <QPointF>
#include <QString>

#include "db/database.h"

namespace tolvane::cad {
struct Entity;
}
namespace tolvane {
class Drawing;
class EventLog;
class Ui;
}  // namespace tolvane

namespace tolvane::wiring {

enum class End { Source, Destination };

// What a block is at one end of a cable, by its name (names compare without regard to case).
// Pointers are followed by assignment, not here: at a source they refuse the cable, at a
// destination they read as a router. Any block that is not a standard one is equipment.
enum class EndKind { Refused, Equipment, Jack, JBox, Router };
EndKind endKind(const QString& blockName, End end);

// The six fields of an end string, in their order.
struct EndFields {
    QString system, pin, connector, location, signalType, alias;
    QString joined() const;
};

// The literal signal type of a jack not yet sent to a jackfield: it counts as no type.
inline const QString kNoSignalType = QStringLiteral("Type");

// The nearest insert with a part within `aperture` of the point (of two as near, the one on
// top), whatever lies over it (a cable ending there, say); nullptr when there is none.
const cad::Entity* insertAt(Drawing& drawing, QPointF at, double aperture);

class EndResolver {
  public:
    struct Options {
        bool autoAlias = false;  // the user's AutoAlias preference
        // How near a probe an entity must lie, in drawing units (never the view's pick box:
        // the probes are fixed distances in the drawing).
        double aperture = 0.1;
    };
    // Reads the drawing's current space; pins from the equipment database, jackfields from
    // the project database of `registry`. Messages go to `ui`, log lines to `log` (may be
    // null) when it is on.
    EndResolver(Drawing& drawing, Ui& ui, EventLog* log, Options options,
                db::Connections& registry);

    // The end string at a cable's first vertex (source) or last vertex (destination); empty
    // when no block accepts the cable there, or the block's pin is unknown (reported).
    QString source(QPointF end) { return resolve(End::Source, end); }
    QString destination(QPointF end) { return resolve(End::Destination, end); }
    QString resolve(End end, QPointF at);

    // The insert found by the last resolution ("" when none), for callers that go on with
    // the block (a pointer to follow, a terminal placed).
    QString block() const { return block_; }

  private:
    const cad::Entity* find(End end, QPointF at);
    std::optional<EndFields> equipment(End end, QPointF at, const cad::Entity& insert);
    EndFields jack(End end, const cad::Entity& insert);
    EndFields connectorBlock(End end, const cad::Entity& insert, const char* nameTag,
                             const char* numberTag);
    void autoAlias(const cad::Entity& insert, EndFields& fields);
    void log(const QString& line);

    Drawing& drawing_;
    Ui& ui_;
    EventLog* log_;
    Options options_;
    db::Connections& registry_;
    QString block_;
};

}  // namespace tolvane::wiring
