// What the drawing commands share: asking for points and numbers, adding an entity as one
// undo step, and telling the user why a command stops.
#pragma once

#include <QList>
#include <QPainterPath>
#include <QPointF>
#include <QString>
#include <functional>
#include <initializer_list>
#include <optional>

#include "cad/document.h"

namespace tolvane {

class Drawing;
class Ui;
struct CommandContext;

namespace commands {

constexpr double kPi = 3.14159265358979323846;

// The direction from one point to another, in degrees counter-clockwise from the x axis.
double degrees(QPointF from, QPointF to);
double distance(QPointF a, QPointF b);

// What a command shows while its next point is asked: a path in drawing coordinates from the
// points given so far and the point under the cursor.
using PreviewOf = std::function<QPainterPath(const QList<QPointF>& given, QPointF cursor)>;

// The points of a command, asked in turn (each after the first drawn from the one before,
// with the preview when one is given); nullopt as soon as one is cancelled.
std::optional<QList<QPointF>> points(Ui& ui, std::initializer_list<const char*> prompts,
                                     const PreviewOf& preview = {});

// The outline of entities (at most a few thousand; beyond, the box round them), for previews
// of commands that move or copy them.
QPainterPath outlineOf(Drawing& drawing, const QStringList& handles);
// The path of a circle and of an arc (counter-clockwise from a0 to a1 degrees).
QPainterPath circlePath(QPointF centre, double radius);
QPainterPath arcPath(QPointF centre, double radius, double a0, double a1);

// Adds the entity on the current layer as one undo step of its own; "" for none.
QString add(Drawing& drawing, std::optional<cad::Entity> e);

// Tells the user why the command stops (a warning box); always false.
bool refuse(Ui& ui, const QString& why);

// A number from an input box; nullopt when cancelled or refused (told).
std::optional<double> number(Ui& ui, const char* title, const char* prompt, bool positive);

// The entity a command works on: the one selected before it when it is of the kind wanted,
// else one picked after `prompt`; a pick of another kind beeps. nullptr when cancelled or
// refused.
const cad::Entity* pickOf(Drawing& d, Ui& ui, const CommandContext& c, const QString& prompt,
                          cad::EntityKind kind);

}  // namespace commands
}  // namespace tolvane
