// What the check of a project and the signal trace need from its drawings, read once: every
// registered drawing (an open one from its window's document, a closed one from its file)
// reduced to the tagged entities it holds: cables with their references, ends and number
// texts, and the blocks (equipment, jacks, J-boxes, routers, pointers) with their references
// and names. Only tags and attributes are looked at; nothing is drawn. A drawing that is
// missing or cannot be read is kept as such, with the reason.
#pragma once

#include <QHash>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace tolvane {
class Drawing;
}
namespace tolvane::cad {
class Document;
}

namespace tolvane::wiring {

struct ScannedCable {
    QString handle;
    QString ref1, ref2;       // CableID once assigned
    QStringList textHandles;  // the number texts named by the cable's Assoc
    QStringList texts;        // their values; a null string for a text that is gone
    QPointF first, last;      // the end vertices
    bool continuing = false;  // starts on a POINTER_S: the far side of a pointer pair
};

struct ScannedBlock {
    QString handle;
    QString kind;  // the tag's kind
    QString blockName;
    QString ref1, ref2, ref3;
    QString assoc;        // a pointer's partner
    QString name;         // SysName, JF, JB or RTR attribute
    QString sheet;        // a pointer's DSHT (POINTER_D) or SSHT (POINTER_S)
    QPointF at;           // insertion point
    QStringList outputs;  // a DA block's output pins
};

struct ScannedDrawing {
    enum class Status { Read, Missing, Unreadable };
    QString title;  // the file name without folder
    QString path;
    Status status = Status::Read;
    QString error;  // why it could not be read
    std::vector<ScannedCable> cables;
    std::vector<ScannedBlock> blocks;

    // A pointer block by handle (leading zeros and case ignored); nullptr when none.
    const ScannedBlock* pointer(const QString& handle) const;
    QHash<QString, int> pointerIndex;  // normal handle -> index in blocks
};

// A registered drawing to read: its path, and its document when it is open in a window.
struct DrawingSource {
    QString path;
    const Drawing* open = nullptr;
};

struct ProjectScan {
    std::vector<ScannedDrawing> drawings;
    bool cancelled = false;  // the user stopped the reading: the drawings are not all here

    // The drawing titled so (file name, case ignored); nullptr when none.
    const ScannedDrawing* drawing(const QString& title) const;
    QHash<QString, int> byTitle;  // upper-case title -> index
};

// Reads every drawing once. `progress` (may be empty) is told after each drawing; when it
// answers false the reading stops there and the scan is marked cancelled. `meanwhile` (may be
// empty) is work of the caller's, run on the caller's thread while closed drawings are read on
// others, before the first drawing is told (the check reads its records there); what it
// throws ends the scan.
ProjectScan scanProject(const QList<DrawingSource>& sources,
                        const std::function<bool(int done, int total)>& progress = {},
                        const std::function<void()>& meanwhile = {});
// One document as the scan reads it (the title and path are the caller's).
void scanDocument(const cad::Document& doc, ScannedDrawing& out);

// Where an assigned cable is drawn: its drawing and the polyline's handle.
struct CablePlace {
    QString path;
    QString handle;
};
// Finds the cable whose record is `cableId` among the project's drawings: on the sheet its
// record names first (file name, case ignored), then on every other drawing (a cable moved to
// another sheet since). Drawings that are missing or unreadable are passed over; nullopt when
// no drawing holds the cable.
std::optional<CablePlace> locateCable(const QList<DrawingSource>& sources, const QString& sheet,
                                      qint64 cableId);

}  // namespace tolvane::wiring
