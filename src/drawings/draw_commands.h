// The interactive drawing commands: each asks the user for its points through the Ui seam,
// in the drawing window and in batch runs alike, and adds what it draws as one undo step.
#pragma once

#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "shell/command_table.h"

namespace tolvane {

namespace cad {
struct Entity;
}
class Drawing;
class Ui;

// The layer new entities are drawn on: the drawing's current layer, "0" when it has gone.
QString currentLayer(const Drawing& drawing);
// What every entity a drawing command creates is drawn with: the current layer, colour, line
// type and line weight; texts and attribute definitions the current text style and, unless
// the command gave them one, the current text height, and the active justification; circles,
// ellipses and polylines the active fill; dimensions the current dimension style.
void takeCurrentProperties(const Drawing& drawing, cad::Entity& e);

// The interactive polyline: "Start point:", then "Next point or [Close/Undo] (Enter to end):"
// until Enter ends it; Close closes it (from three vertices on) and ends it, Undo takes back
// the last vertex. The polyline shows from its second vertex on; Escape takes all of it back.
// Returns the polyline's handle, or "" when it was cancelled or ended before its second vertex.
QString drawPolyline(Drawing& drawing, Ui& ui);

// An attribute of an insert as the attribute editor shows it; tags starting "Read Only"
// are shown but cannot be changed.
struct AttributeRow {
    QString tag;
    QString value;
    bool readOnly = false;
};

// The array dialog's answer: a rectangular array of rows and columns, or a polar one of
// `count` items (the original among them) over `angle` degrees round a centre asked after.
struct ArrayChoice {
    bool polar = false;
    int rows = 1;
    int columns = 1;
    double rowSpacing = 1.0;
    double columnSpacing = 1.0;
    int count = 4;
    double angle = 360.0;
    bool rotateItems = true;
};

// The windows commands open, supplied by the desktop (the drawing layer holds no widgets);
// each runs through the Ui seam, so scripts answer them too.
struct CommandWindows {
    // Edits the values of the rows in place; false when cancelled.
    std::function<bool(QList<AttributeRow>&)> editAttributes;
    std::function<std::optional<ArrayChoice>()> array;
};

// What a command is given: the entities selected before it (the editing commands work on
// them instead of asking), how far a picked point reaches in the drawing, the folder file
// dialogs start in (the project's), and the windows it may open.
struct CommandContext {
    QStringList selected;
    double aperture = 0.1;
    QString folder;
    CommandWindows windows;
    // Erases entities, settling first the database records they stand for; unset, they are
    // erased as they are.
    std::function<void(Drawing&, const QStringList&)> erase;
};

// One drawing command: its router key, the caption and short key it is remembered by as the
// last command, and what it asks and does. `run` returns what is selected afterwards: the new
// entity of a creation command ("LAST"), the copies of a copy; empty when the user cancelled
// (nothing changed then) or the command selects nothing.
struct DrawingCommand {
    CommandKey key;        // "catDLine"
    const char* caption;   // "Draw Line"
    const char* shortKey;  // "DLine"
    std::function<QStringList(Drawing&, Ui&, const CommandContext&)> run;
    // Whether the command is remembered for repeat when it ends without an entity.
    bool rememberedWhenEnded = true;
};
// The entities a command works on: those selected before it, else the user's selection after
// `prompt` (a window, a crossing, or handles typed). Empty when cancelled.
QStringList selectObjects(Drawing& drawing, Ui& ui, const QStringList& preselected,
                          const QString& prompt = QStringLiteral("Select objects:"));

// The commands by family: creation (the new entity is selected afterwards), editing of the
// selection, reshaping (trim, extend, offset, break, stretch, fillet, array), and the
// commands on blocks, images, meshes and viewports.
const QList<DrawingCommand>& creationCommands();
const QList<DrawingCommand>& editingCommands();
const QList<DrawingCommand>& reshapingCommands();
const QList<DrawingCommand>& objectCommands();

// Every family in turn.
QList<const QList<DrawingCommand>*> drawingCommandFamilies();

}  // namespace tolvane
