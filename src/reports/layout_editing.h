// The designer's operations on a layout, as functions on the layout value: placing, moving,
// resizing, aligning and sizing controls, the grid they snap to, their order, locking, and
// section heights. The designer runs each inside LayoutDocument::edit, which makes it one step
// of undo. Locked controls are neither moved nor resized by any of them.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <functional>

#include "reports/report_layout.h"

namespace tolvane::reports {

// One control of a layout: its section and its place in the section's list (painting order).
struct ControlRef {
    SectionRef section{};
    int index = -1;
    bool operator==(const ControlRef&) const = default;
};
using Selection = QList<ControlRef>;

Control* controlAt(ReportLayout& layout, const ControlRef& ref);
const Control* controlAt(const ReportLayout& layout, const ControlRef& ref);

// The designer's grid: its spacing in twips and whether moves and sizes snap to it.
struct DesignGrid {
    int spacing = 120;  // 1/12 inch
    bool snap = true;
    bool visible = true;
    // A length or position rounded to the nearest grid line (as it is when snap is off).
    int round(int twips) const;
};

// The topmost control of a section at a point (twips in the section), and the controls whose
// rectangles lie wholly inside a rubber band (a line by its two ends).
std::optional<ControlRef> hitControl(const ReportLayout& layout, const SectionRef& section,
                                     QPoint at);
Selection controlsInside(const ReportLayout& layout, const SectionRef& section, const QRect& band);

// Places a control in a section with a name no other control of the layout has ("Label1",
// "Field2" ...), snapped to the grid. Returns where it went.
ControlRef addControl(ReportLayout& layout, const SectionRef& section, Control control,
                      const DesignGrid& grid);
QString uniqueControlName(const ReportLayout& layout, ControlKind kind);

// Moves the selection by delta, its first control's top left corner landing on the grid; no
// control leaves its section at the left or top.
void moveControls(ReportLayout& layout, const Selection& selection, QPoint delta,
                  const DesignGrid& grid);

// The handles of a control's rectangle that resize it.
enum class Handle { TopLeft, Top, TopRight, Right, BottomRight, Bottom, BottomLeft, Left };
// Moves the handle by delta (snapped to the grid); a rectangle never turns inside out, it keeps
// at least one grid step (lines may run either way).
void resizeControl(ReportLayout& layout, const ControlRef& ref, Handle handle, QPoint delta,
                   const DesignGrid& grid);

// Aligns the selection on its first control (the one selected first).
enum class AlignTo { Lefts, Centers, Rights, Tops, Middles, Bottoms };
void alignControls(ReportLayout& layout, const Selection& selection, AlignTo to);
// Gives the selection the width and/or height of its first control.
enum class SameSize { Width, Height, Both };
void makeSameSize(ReportLayout& layout, const Selection& selection, SameSize what);
// Spacing along an axis, over the selection's unlocked controls taken in order along it (by
// left edge, or by top edge); the first of them stays where it is.
enum class Axis { Horizontal, Vertical };
// Every gap becomes gap twips.
void setSpacing(ReportLayout& layout, const Selection& selection, Axis axis, int gap);
// The first and the last stay; the controls between share the room so that the gaps are equal.
void spaceEvenly(ReportLayout& layout, const Selection& selection, Axis axis);
// Every gap grows by step (shrinks for a negative step), never below none.
void changeSpacing(ReportLayout& layout, const Selection& selection, Axis axis, int step);
// Each control's width and height rounded to the grid, at least one step.
void sizeToGrid(ReportLayout& layout, const Selection& selection, const DesignGrid& grid);

// Rich text: bullets on for the selection's rich texts when the first of them has none, off
// otherwise; the indent moved by steps, kept within 0 to kMaxIndent.
void toggleBullets(ReportLayout& layout, const Selection& selection);
void changeIndent(ReportLayout& layout, const Selection& selection, int steps);

// Places a bound field for each name in a row across a section, below what it holds, wrapping
// at the printable width; in the detail each field gets its heading (a label of the name) in
// the page header, at the same left. Returns the fields placed.
Selection placeFields(ReportLayout& layout, const SectionRef& section, const QStringList& fields,
                      const DesignGrid& grid);

// Puts each control's top left corner on the nearest grid point.
void alignToGrid(ReportLayout& layout, const Selection& selection, const DesignGrid& grid);

// Bring to front / send to back: the controls move to the end / start of their section's list
// (painted last / first), keeping their order among themselves. Returns the selection's new
// places.
Selection bringToFront(ReportLayout& layout, const Selection& selection);
Selection sendToBack(ReportLayout& layout, const Selection& selection);
// Removes the selection (locked controls too: deleting is not moving).
void deleteControls(ReportLayout& layout, const Selection& selection);
// Locks the selection, or unlocks it when all of it is locked already.
void toggleLock(ReportLayout& layout, const Selection& selection);
// Applies change to every control of the selection (font, colours, alignment of text ...).
void changeControls(ReportLayout& layout, const Selection& selection,
                    const std::function<void(Control&)>& change);

// A section's height, never less than 0 (a section of height 0 prints nothing).
void setSectionHeight(ReportLayout& layout, const SectionRef& section, int height,
                      const DesignGrid& grid);

// What a selection holds: the designer enables its formatting commands by it.
struct SelectionTraits {
    int count = 0;
    bool text = false;      // a control showing text (font, bold, text alignment)
    bool outlined = false;  // a line, rectangle or frame (line style and colour)
    bool richText = false;  // a rich text (bullets and indent)
};
SelectionTraits traitsOf(const ReportLayout& layout, const Selection& selection);

// Selections that stay valid: references to controls that exist, each once.
Selection validSelection(const ReportLayout& layout, const Selection& selection);

}  // namespace tolvane::reports
