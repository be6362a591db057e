// Pointers: a cable that continues in another place of the sheet or on another sheet. The
// cable on the source side ends at a POINTER_D; the continuing cable starts at a POINTER_S.
// Linking records each pointer's partner in its tag ("Assoc" holds the partner's handle) and
// labels the pointers with where the cable comes from and goes to. Assignment then treats the
// pair as one cable: the destination is read beyond the pair and the number is written on
// both sides. A partner is reached through the open drawings, found by title (the file name
// without its folder; a drawing never saved by its name).
#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <optional>

#include "db/database.h"
#include "db/records/cable_number.h"

namespace tolvane::cad {
struct Entity;
}
namespace tolvane {
class Drawing;
class EventLog;
class Ui;
}  // namespace tolvane

namespace tolvane::wiring {

struct OpenDrawing {
    QString title;
    Drawing* drawing = nullptr;
};
// A drawing's title: the file name without folder, or the untitled name.
QString drawingTitle(const Drawing& drawing);

class Pointers {
  public:
    using OpenDrawings = std::function<QList<OpenDrawing>()>;
    Pointers(Ui& ui, EventLog* log, OpenDrawings open, db::Connections& registry)
        : ui_(ui), log_(log), open_(std::move(open)), registry_(registry) {}

    // The cable of a pointer: the polyline whose last vertex (arriving at a POINTER_D) or
    // first vertex (leaving a POINTER_S) is exactly the pointer's insertion point.
    static QString cableAt(Drawing& drawing, const cad::Entity& pointer, bool arriving);

    // Links a POINTER_D (in `first`) with a POINTER_S (in `second`, may be the same drawing):
    // both must have their cables. Each pointer's Assoc names the other; the POINTER_D shows
    // the continuing cable's destination and the partner's sheet, the POINTER_S the
    // source-side cable's source and the sheet of the POINTER_D. One undo step per drawing.
    bool link(Drawing& first, const QString& sourceSide, Drawing& second,
              const QString& continuing);

    // The destination string beyond a POINTER_D: its partner's cable resolved at its last
    // vertex (the link refreshed first); "" with the reason told when the partner or its cable
    // cannot be found.
    QString otherSide(Drawing& drawing, const QString& pointerD);

    // The cable beyond a POINTER_D takes an assigned cable's number: its references, texts,
    // tip and signal type's layer and colour. False (told) when it cannot be found.
    struct Assigned {
        db::CableNumber number;
        qint64 cableId = 0;
        bool reassign = false;
        QString signalType;
        bool colorLine = true, colorText = true;
    };
    bool updateOtherCable(Drawing& drawing, const QString& pointerD, const Assigned& cable,
                          Drawing** partnerDrawing = nullptr);

  private:
    struct Partner {
        Drawing* drawing = nullptr;
        QString pointer;
        QString cable;
    };
    std::optional<Partner> partner(Drawing& drawing, const QString& pointerD, bool forUpdate);
    Drawing* drawingTitled(const QString& title);
    void log(const QString& line);

    Ui& ui_;
    EventLog* log_;
    OpenDrawings open_;
    db::Connections& registry_;
};

// catWLinkPointer: the source-side pointer (picked already, or asked for), the other pointer on
// this sheet or on one of the open drawings, and the link. `activate` brings the chosen
// drawing's window forward so the user can pick in it; `aperture` is the pick distance there.
struct LinkPointerRun {
    LinkPointerRun(Ui& ui, Pointers& pointers) : ui(ui), pointers(pointers) {}
    Ui& ui;
    Pointers& pointers;
    QString picked;
    std::function<QList<OpenDrawing>()> open;
    std::function<void(Drawing&)> activate;
    std::function<double(Drawing&)> aperture;
};
bool linkPointerCommand(Drawing& drawing, const LinkPointerRun& run);

}  // namespace tolvane::wiring
