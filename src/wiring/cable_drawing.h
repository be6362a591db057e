// Drawing cables: the user picks a source and a destination (or draws the polyline by hand),
// the two ends are resolved, and the cable is drawn as a polyline that leaves the source
// horizontally, turns at the middle and arrives horizontally, with a cable-number text at
// each end, its tag (the two end strings and the handles of its texts) and the layer and
// colour of its signal type. A cable end may be a jack, J-box, router or pointer placed on
// the fly, and a cable may be split by a pair of pointers. Everything one cable adds is one
// undo step; a cable given up half-way leaves the drawing as it was.
#pragma once

#include <QPointF>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "db/database.h"
#include "wiring/end_resolver.h"

namespace tolvane::db {
class Preferences;
}

namespace tolvane::wiring {

// The cable-drawing settings: the pane's check boxes and distance, and the user preferences
// the drawing follows.
struct CableOptions {
    bool repeat = true;       // start the next cable when one is finished
    bool autoPoint = false;   // split every cable with a pair of pointers
    bool autoPlace = false;   // place terminals and number texts at `distance`
    double distance = 1.0;    // drawing units
    bool manualDraw = false;  // the user draws the polyline
    bool autoAlias = false;   // ends without an alias take their system name
    bool warnSignal = false;  // announce which end's signal type a cable takes
    bool colorLine = false;   // cables take the layer and colour of their signal type
    bool colorText = false;   // number texts take the colour too
    QString defaultJack;      // jack style used without asking ("" asks)
    QString defaultJBox;      // J-box style used without asking ("" asks)
};
// The options of a user's preference row (the defaults of a new row where a column is empty).
CableOptions cableOptions(const db::Preferences& row);

// A jack, J-box, router or pointer placed on the fly as one end of a cable.
enum class TerminalKind { Jack, JBox, Router, Pointer };
struct Terminal {
    TerminalKind kind = TerminalKind::Jack;
    End end = End::Destination;
    QString style;  // jacks "FN", "HN", "J"; J-boxes "JB", "JB_1"; others none
};
// The styles a kind offers (empty for routers and pointers), and the heading of the choice.
QStringList terminalStyles(TerminalKind kind);
QString terminalStyleHeading(TerminalKind kind);
// The standard block of a terminal: "FN_JACK_D", "JBOX_1_S", "RTR_D", "POINTER_S", ...;
// "" for a style the kind does not have.
QString terminalBlock(const Terminal& terminal);

// What one drawn cable added: the polyline and its two number texts.
struct DrawnCable {
    QString polyline;
    QString sourceText;
    QString destinationText;
};

// The colour of a signal type: its SignalDefault row's (0 for "Same As Layer"); nothing when
// not exactly one row names the type.
std::optional<int> signalColor(const QString& type, db::Connections& registry);
// Puts a cable on the layers of signal type `type` (made when the type's layer is missing):
// the polyline on the type's layer with its colour when `colorLine`, the number texts named
// by its "ASSOC" item on the "_No" layer, coloured when `colorText`.
void applySignalType(Drawing& drawing, const QString& polyline, const QString& type, bool colorLine,
                     bool colorText, db::Connections& registry);

class CableDrawer {
  public:
    // Signal types from the equipment database of `registry`; messages to `ui`; log lines
    // to `log` (may be null) when it is on.
    CableDrawer(Drawing& drawing, Ui& ui, EventLog* log, CableOptions options,
                db::Connections& registry);

    // Links the two pointers of a split cable (source-side "POINTER_D", continuing
    // "POINTER_S"), after both cables are drawn; false when they could not be linked.
    std::function<bool(const QString& sourceSide, const QString& continuing)> linkPointers;

    enum class Outcome { Drawn, Ended };
    // One cable by the user's picks ("Select the Source", "Select the Destination", snapped
    // to insertion points), with a terminal at one end when given, or drawn by hand when the
    // options say so. Ended: the user cancelled a prompt or declined to go on; nothing was
    // drawn then.
    Outcome drawOne(const std::optional<Terminal>& terminal = std::nullopt);
    // The cables drawn by the last drawOne (two for a cable split by pointers).
    const QList<DrawnCable>& drawn() const { return drawn_; }

    // Applies a cable's signal type to its polyline and number texts: the type of its
    // source end where the two differ and the source has one, else of its destination.
    void signalize(const QString& polyline);

    // The signal-type layers of type T: T (cables), T + "_No" (number texts), T + "_PIN".
    static QStringList signalLayers(const QString& type);

  private:
    struct EndPick {
        QPointF at;
        QString text;   // the end string; "" when unresolved
        QString block;  // the insert found there, "" when none
    };
    std::optional<EndPick> pick(End end, const QString& prompt,
                                std::optional<QPointF> from = std::nullopt);
    std::optional<EndPick> placeTerminal(const Terminal& terminal, const EndPick& other);
    bool goOn(End end);
    EndPick resolved(End end, QPointF at);
    Outcome drawPicked(const std::optional<Terminal>& terminal);
    Outcome drawByHand();
    void drawBetween(const EndPick& source, const EndPick& destination);
    // A new four-vertex cable between the ends, or the polyline drawn by hand made a cable.
    DrawnCable addCable(const EndPick& source, const EndPick& destination, const QString& tip,
                        const QString& drawnByHand = {});
    void log(const QString& line);

    Drawing& drawing_;
    Ui& ui_;
    EventLog* log_;
    CableOptions options_;
    db::Connections& registry_;
    EndResolver resolver_;
    QList<DrawnCable> drawn_;
};

}  // namespace tolvane::wiring
