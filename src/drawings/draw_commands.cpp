#include "drawings/draw_commands.h"

#include <cmath>
#include <optional>

#include "cad/grips.h"
#include "cad/picking.h"
#include "cad/render.h"
#include "drawings/command_helpers.h"
#include "drawings/drawing.h"
#include "ui/ui.h"

namespace tolvane {

QString currentLayer(const Drawing& drawing) {
    const cad::Layer* l = drawing.document().layer(drawing.document().currentLayer());
    return l ? l->name : QStringLiteral("0");
}

void takeCurrentProperties(const Drawing& drawing, cad::Entity& e) {
    const cad::DrawingSettings& current = drawing.document().settings();
    e.layer = currentLayer(drawing);
    e.color = current.color;
    e.lineType = current.lineType;
    e.lineWeight = current.lineWeight;
    switch (e.kind) {
        case cad::EntityKind::Text:
        case cad::EntityKind::AttributeDefinition:
            if (!(e.height > 0)) e.height = current.textHeight;
            e.style = current.textStyle;
            if (e.hAlign == 0 && e.vAlign == 0 && (current.textHAlign || current.textVAlign)) {
                // A justified text is placed by its alignment point.
                e.hAlign = current.textHAlign;
                e.vAlign = current.textVAlign;
                e.end = e.start;
            }
            break;
        case cad::EntityKind::Circle:
        case cad::EntityKind::Ellipse:
        case cad::EntityKind::Polyline:
            // Polylines (rectangles too) are drawn in the active width.
            if (e.kind == cad::EntityKind::Polyline && current.polylineWidth > 0)
                e.detail.edit().width = current.polylineWidth;
            // Outlines take the active fill (a polyline once it is closed, as it is drawn).
            if (current.fillMode != cad::FillNone) {
                cad::EntityDetail& d = e.detail.edit();
                d.fillMode = current.fillMode;
                d.fillColor = current.fillColor;
            }
            break;
        case cad::EntityKind::Dimension:
            e.style = current.dimStyle;
            break;
        default:
            break;
    }
}

QString drawPolyline(Drawing& drawing, Ui& ui) {
    const PointAnswer first = ui.getPoint(QStringLiteral("Start point:"));
    if (first.cancelled || first.ended) return {};
    QList<cad::Vertex> vertices{{first.point}};
    QString handle;
    cad::UndoGroup group(drawing.undo());
    const QString close = QStringLiteral("Close"), undo = QStringLiteral("Undo");
    for (;;) {
        const PointAnswer next =
            ui.getPointFrom(QStringLiteral("Next point or [Close/Undo] (Enter to end):"),
                            vertices.last().pos, /*enterEnds=*/true, {}, 0, {close, undo});
        if (next.cancelled) {
            group.cancel();
            return {};
        }
        if (next.ended) {
            group.commit();
            return handle;
        }
        if (next.option == close) {
            // Closing needs an area: at least three vertices.
            if (vertices.size() < 3) {
                ui.history(QStringLiteral("Close needs at least two segments."));
                continue;
            }
            drawing.editor().modify(handle, [](cad::Entity& e) { e.closed = true; });
            group.commit();
            return handle;
        }
        if (next.option == undo) {
            // Takes back the last vertex; the start point stays.
            if (vertices.size() < 2) continue;
            vertices.removeLast();
            if (vertices.size() == 1) {
                drawing.editor().erase(handle);
                handle.clear();
            } else {
                drawing.editor().modify(handle, [&](cad::Entity& e) { e.vertices = vertices; });
            }
            continue;
        }
        vertices.append({next.point});
        if (handle.isEmpty()) {
            cad::Entity line = cad::Entity::polyline(vertices, false);
            takeCurrentProperties(drawing, line);
            handle = drawing.editor().add(std::move(line));
        } else
            drawing.editor().modify(handle, [&](cad::Entity& e) { e.vertices = vertices; });
    }
}

}  // namespace tolvane

namespace tolvane {

namespace commands {

double degrees(QPointF from, QPointF to) {
    return std::atan2(to.y() - from.y(), to.x() - from.x()) * 180.0 / kPi;
}

double distance(QPointF a, QPointF b) {
    return std::hypot(b.x() - a.x(), b.y() - a.y());
}

std::optional<QList<QPointF>> points(Ui& ui, std::initializer_list<const char*> prompts,
                                     const PreviewOf& preview) {
    QList<QPointF> out;
    for (const char* prompt : prompts) {
        // Each point after the first is drawn from the one before.
        const QString text = QString::fromLatin1(prompt);
        Ui::Preview shown;
        if (preview) shown = [&preview, &out](QPointF cursor) { return preview(out, cursor); };
        const PointAnswer a =
            out.isEmpty() ? ui.getPoint(text) : ui.getPointFrom(text, out.last(), false, shown);
        if (a.cancelled || a.ended) return std::nullopt;
        out << a.point;
    }
    return out;
}

QPainterPath outlineOf(Drawing& drawing, const QStringList& handles) {
    constexpr int kMostOutlined = 2000;
    QPainterPath path;
    cad::BBox box;
    const cad::Document& doc = drawing.document();
    for (const QString& h : handles) {
        const cad::Entity* e = doc.find(h);
        if (!e) continue;
        if (handles.size() <= kMostOutlined)
            path.addPath(cad::outlinePath(doc, *e));
        else
            box.add(cad::boundingBox(doc, *e));
    }
    if (box.isValid()) path.addRect(QRectF(QPointF(box.x0, box.y0), QPointF(box.x1, box.y1)));
    return path;
}

QPainterPath circlePath(QPointF centre, double radius) {
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

QPainterPath arcPath(QPointF centre, double radius, double a0, double a1) {
    double sweep = std::fmod(a1 - a0, 360.0);
    if (sweep <= 0) sweep += 360.0;
    QPainterPath path;
    constexpr int kPieces = 48;
    for (int i = 0; i <= kPieces; ++i) {
        const double a = (a0 + sweep * i / kPieces) * kPi / 180.0;
        const QPointF p = centre + QPointF(std::cos(a), std::sin(a)) * radius;
        i == 0 ? path.moveTo(p) : path.lineTo(p);
    }
    return path;
}

QString add(Drawing& drawing, std::optional<cad::Entity> e) {
    if (!e) return {};
    takeCurrentProperties(drawing, *e);
    cad::UndoGroup group(drawing.undo());
    const QString added = drawing.editor().add(std::move(*e));
    group.commit();
    return added;
}

bool refuse(Ui& ui, const QString& why) {
    ui.message(why, MsgButtons::Ok, MsgIcon::Warning);
    return false;
}

std::optional<double> number(Ui& ui, const char* title, const char* prompt, bool positive) {
    const std::optional<QString> text =
        ui.input(QString::fromLatin1(title), QString::fromLatin1(prompt));
    if (!text) return std::nullopt;
    bool ok = false;
    const double v = text->trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || (positive && !(v > 0))) {
        refuse(ui, positive ? QStringLiteral("Enter a number greater than 0.")
                            : QStringLiteral("Enter a number."));
        return std::nullopt;
    }
    return v;
}

// The entity the command works on: the one selected before it when it is of the kind
// wanted, else one picked after `prompt`; a pick of another kind beeps. nullptr when
// cancelled or refused.
const cad::Entity* pickOf(Drawing& d, Ui& ui, const CommandContext& c, const QString& prompt,
                          cad::EntityKind kind) {
    if (c.selected.size() == 1) {
        const cad::Entity* e = d.document().find(c.selected.first());
        if (e && e->kind == kind) return e;
    }
    const cad::PickFilter wanted = cad::ofKind(kind);
    const PickAnswer pick = ui.getEntity(prompt, wanted);
    if (pick.cancelled) return nullptr;
    const cad::Entity* e = d.document().find(d.entityFor(pick, c.aperture, wanted));
    if (!e || e->kind != kind) {
        ui.beep();
        return nullptr;
    }
    return e;
}

}  // namespace commands

namespace {

using namespace commands;

using cad::circleThrough;

// Previews: the circle round the first point, the rectangle between the last and the cursor,
// the circle on a diameter, the circle through three points, the arc round a centre.
QPainterPath radiusPreview(const QList<QPointF>& p, QPointF c) {
    return circlePath(p[0], distance(p[0], c));
}
QPainterPath rectPreview(const QList<QPointF>& p, QPointF c) {
    QPainterPath path;
    path.addRect(QRectF(p.last(), c).normalized());
    return path;
}
QPainterPath diameterPreview(const QList<QPointF>& p, QPointF c) {
    return circlePath((p[0] + c) / 2, distance(p[0], c) / 2);
}
QPainterPath linePreview(const QList<QPointF>& p, QPointF c) {
    QPainterPath path(p.last());
    path.lineTo(c);
    return path;
}
QPainterPath threePointPreview(const QList<QPointF>& p, QPointF c) {
    if (p.size() < 2) return linePreview(p, c);
    const auto circle = circleThrough(p[0], p[1], c);
    return circle ? circlePath(circle->first, circle->second) : linePreview(p, c);
}
QPainterPath arcPreview(const QList<QPointF>& p, QPointF c) {
    if (p.size() < 2) return radiusPreview(p, c);
    return arcPath(p[0], distance(p[0], p[1]), degrees(p[0], p[1]), degrees(p[0], c));
}

const QString kOnOneLine = QStringLiteral(
    "The three points lie on one line: no circle passes "
    "through them.");
const QString kNoSize = QStringLiteral("The points are the same: the entity would have no size.");

std::optional<cad::Entity> circleOf(Ui& ui, QPointF centre, double radius) {
    if (!(radius > 1e-9) || !std::isfinite(radius)) {
        refuse(ui, kNoSize);
        return std::nullopt;
    }
    return cad::Entity::circle(centre, radius);
}

}  // namespace

QStringList selectObjects(Drawing& d, Ui& ui, const QStringList& preselected,
                          const QString& prompt) {
    if (!preselected.isEmpty()) return preselected;
    return d.entitiesOf(ui.getSelection(prompt));
}

namespace {

QStringList select(Drawing& d, Ui& ui, const QStringList& preselected,
                   const QString& prompt = QStringLiteral("Select objects:")) {
    return selectObjects(d, ui, preselected, prompt);
}

// The entities where the cursor would move them from the base point.
PreviewOf movedPreview(Drawing& d, const QStringList& handles) {
    const QPainterPath outline = outlineOf(d, handles);
    return [outline](const QList<QPointF>& p, QPointF c) { return outline.translated(c - p[0]); };
}

// The selection, or the one asked for, brought to the front or sent to the back.
QStringList reorder(Drawing& d, Ui& ui, const CommandContext& c, bool toFront) {
    const QStringList handles =
        select(d, ui, c.selected, QStringLiteral("Select entities to bring forward"));
    return handles.isEmpty() ? QStringList() : d.editor().reorder(handles, toFront);
}

// A radius or diameter dimension of a picked circle or arc, its text where the user points.
QStringList curveDimension(Drawing& d, Ui& ui, const CommandContext& c, bool diameter) {
    const auto curve = [](const cad::Entity& e) {
        return e.kind == cad::EntityKind::Circle || e.kind == cad::EntityKind::Arc;
    };
    const PickAnswer pick = ui.getEntity(QStringLiteral("Select arc or circle:"), curve);
    if (pick.cancelled) return {};
    const cad::Entity* e = d.document().find(d.entityFor(pick, c.aperture, curve));
    if (!e || (e->kind != cad::EntityKind::Circle && e->kind != cad::EntityKind::Arc)) {
        ui.beep();
        return {};
    }
    const QPointF centre = e->start;
    const double radius = e->radius;
    const auto at = points(ui, {"Dimension line location:"});
    if (!at) return {};
    const QPointF towards = (*at)[0] - centre;
    const double length = std::hypot(towards.x(), towards.y());
    const QPointF onCurve =
        length > 1e-12 ? centre + towards * (radius / length) : centre + QPointF(radius, 0);
    const QString h = add(d, diameter ? cad::Entity::diameterDimension(centre, onCurve)
                                      : cad::Entity::radiusDimension(centre, onCurve));
    return h.isEmpty() ? QStringList() : QStringList{h};
}

}  // namespace

const QList<DrawingCommand>& creationCommands() {
    using E = std::optional<cad::Entity>;
    // A creation command: its one new entity is selected afterwards.
    const auto creates = [](std::function<QString(Drawing&, Ui&)> f) {
        return [f](Drawing& d, Ui& ui, const CommandContext&) {
            const QString h = f(d, ui);
            return h.isEmpty() ? QStringList() : QStringList{h};
        };
    };
    static const QList<DrawingCommand> commands = {
        {"catDLine", "Draw Line", "DLine", creates([](Drawing& d, Ui& ui) {
             const auto p = points(ui, {"First point:", "Second point:"});
             return add(d, p ? E(cad::Entity::line((*p)[0], (*p)[1])) : E());
         })},
        {"catDPline", "Draw Polyline", "DPline",
         creates([](Drawing& d, Ui& ui) { return drawPolyline(d, ui); })},
        {"catDPoint", "Draw Point", "DPoint", creates([](Drawing& d, Ui& ui) {
             const auto p = points(ui, {"Point location:"});
             return add(d, p ? E(cad::Entity::point((*p)[0])) : E());
         })},
        {"catDCircle", "Draw Circle", "DCircle", creates([](Drawing& d, Ui& ui) {
             const auto p = points(ui, {"Center point:", "Point on the circle:"}, radiusPreview);
             return add(d, p ? circleOf(ui, (*p)[0], distance((*p)[0], (*p)[1])) : E());
         })},
        {"catDCenRad", "Draw Cen/Rad Circle", "DCenRad", creates([](Drawing& d, Ui& ui) {
             const auto p = points(ui, {"Center point:"});
             if (!p) return QString();
             const std::optional<QString> r =
                 ui.input(QStringLiteral("Draw Cen/Rad Circle"), QStringLiteral("Radius:"));
             if (!r) return QString();
             bool ok = false;
             const double radius = r->trimmed().toDouble(&ok);
             if (!ok) {
                 refuse(ui, QStringLiteral("The radius must be a number greater than 0."));
                 return QString();
             }
             return add(d, circleOf(ui, (*p)[0], radius));
         })},
        {"catD2pt", "Draw 2pt Circle", "D2pt", creates([](Drawing& d, Ui& ui) {
             const auto p =
                 points(ui, {"First end of diameter:", "Second end of diameter:"}, diameterPreview);
             if (!p) return QString();
             return add(d, circleOf(ui, ((*p)[0] + (*p)[1]) / 2, distance((*p)[0], (*p)[1]) / 2));
         })},
        {"catD3pt", "Draw 3pt Circle", "D3pt", creates([](Drawing& d, Ui& ui) {
             const auto p =
                 points(ui, {"First point:", "Second point:", "Third point:"}, threePointPreview);
             if (!p) return QString();
             const auto c = circleThrough((*p)[0], (*p)[1], (*p)[2]);
             if (!c) return refuse(ui, kOnOneLine), QString();
             return add(d, circleOf(ui, c->first, c->second));
         })},
        {"catDArc", "Draw Arc", "DArc", creates([](Drawing& d, Ui& ui) {
             // Counter-clockwise from the start to the end, round the centre.
             const auto p = points(ui, {"Center point:", "Start point:", "End point:"}, arcPreview);
             if (!p) return QString();
             const double r = distance((*p)[0], (*p)[1]);
             if (!(r > 1e-9)) return refuse(ui, kNoSize), QString();
             return add(d, cad::Entity::arc((*p)[0], r, degrees((*p)[0], (*p)[1]),
                                            degrees((*p)[0], (*p)[2])));
         })},
        {"catDArc3pt", "Draw 3pt Arc", "DArc3pt", creates([](Drawing& d, Ui& ui) {
             const auto p =
                 points(ui, {"Start point:", "Second point:", "End point:"}, threePointPreview);
             if (!p) return QString();
             const std::optional<cad::Entity> arc = cad::arcThrough((*p)[0], (*p)[1], (*p)[2]);
             if (!arc) return refuse(ui, kOnOneLine), QString();
             return add(d, *arc);
         })},
        {"catDEllipse", "Draw Ellipse", "DEllipse", creates([](Drawing& d, Ui& ui) {
             const auto p = points(ui, {"Center point:", "Axis endpoint:", "Other axis distance:"});
             if (!p) return QString();
             const QPointF axis = (*p)[1] - (*p)[0];
             const double major = std::hypot(axis.x(), axis.y());
             const double minor = distance((*p)[0], (*p)[2]);
             if (!(major > 1e-9) || !(minor > 1e-9)) return refuse(ui, kNoSize), QString();
             // The longer axis is the major one.
             const QPointF majorAxis =
                 minor <= major ? axis : QPointF(-axis.y(), axis.x()) * (minor / major);
             return add(d, cad::Entity::ellipse((*p)[0], majorAxis,
                                                std::min(minor, major) / std::max(minor, major),
                                                0.0, 2 * kPi));
         })},
        {"catDRect", "Draw Rectangle", "DRect", creates([](Drawing& d, Ui& ui) {
             const auto p = points(ui, {"First corner:", "Other corner:"}, rectPreview);
             if (!p) return QString();
             if ((*p)[0].x() == (*p)[1].x() || (*p)[0].y() == (*p)[1].y())
                 return refuse(ui, kNoSize), QString();
             return add(d, cad::Entity::rect((*p)[0], (*p)[1]));
         })},
        {"catDText", "Draw Text", "DText", creates([](Drawing& d, Ui& ui) {
             const auto p = points(ui, {"Text insertion point:"});
             if (!p) return QString();
             const std::optional<QString> text =
                 ui.input(QStringLiteral("Draw Text"), QStringLiteral("Enter Text:"));
             if (!text || text->isEmpty()) return QString();
             return add(d, cad::Entity::textAt((*p)[0], *text, 0));  // the current height
         })},
        {"catDDimH", "Horizontal Dimension", "DDimH", creates([](Drawing& d, Ui& ui) {
             const auto p =
                 points(ui, {"First extension line origin:", "Second extension line origin:",
                             "Dimension line location:"});
             return add(d, p ? E(cad::Entity::linearDimension((*p)[0], (*p)[1], (*p)[2], 0)) : E());
         })},
        {"catDDimV", "Vertical Dimension", "DDimV", creates([](Drawing& d, Ui& ui) {
             const auto p =
                 points(ui, {"First extension line origin:", "Second extension line origin:",
                             "Dimension line location:"});
             return add(d,
                        p ? E(cad::Entity::linearDimension((*p)[0], (*p)[1], (*p)[2], 90)) : E());
         })},
        {"catDDimAligned", "Aligned Dimension", "DDimAligned", creates([](Drawing& d, Ui& ui) {
             const auto p =
                 points(ui, {"First extension line origin:", "Second extension line origin:",
                             "Dimension line location:"});
             return add(d, p ? E(cad::Entity::alignedDimension((*p)[0], (*p)[1], (*p)[2])) : E());
         })},
        {"catDDimAngular", "Angular Dimension", "DDimAngular", creates([](Drawing& d, Ui& ui) {
             const auto p =
                 points(ui, {"Select the Angle Center Point", "Select the First Angle Endpoint",
                             "Select the Second Angle Endpoint", "Select the Line Position"});
             return add(
                 d, p ? E(cad::Entity::angularDimension((*p)[0], (*p)[1], (*p)[2], (*p)[3])) : E());
         })},
        {"catDAttrib", "Draw Attribute", "DAttrib", creates([](Drawing& d, Ui& ui) {
             const auto p = points(ui, {"Select Insertion Point for Attribute"});
             if (!p) return QString();
             const QString title = QStringLiteral("Define Attribute");
             const std::optional<QString> tag =
                 ui.input(title, QStringLiteral("Enter Tag - No spaces or !"));
             if (!tag || tag->trimmed().isEmpty()) return QString();
             if (tag->contains(QLatin1Char(' ')) || tag->contains(QLatin1Char('!')))
                 return refuse(ui, QStringLiteral("A tag may not hold spaces or \"!\".")),
                        QString();
             const std::optional<QString> value =
                 ui.input(title, QStringLiteral("Enter Attribute Value:"));
             if (!value || value->isEmpty()) return QString();
             const std::optional<QString> visible =
                 ui.input(title, QStringLiteral("Visible N / <Y>"));
             if (!visible) return QString();
             const std::optional<QString> height =
                 ui.input(title, QStringLiteral("Enter Text Height <DEFAULT>"));
             if (!height) return QString();
             bool ok = false;
             const double h = height->trimmed().toDouble(&ok);
             cad::Entity e = cad::Entity::attributeDefinition(
                 (*p)[0], tag->trimmed(), tag->trimmed(), *value, ok && h > 0 ? h : 0);
             if (visible->trimmed().compare(QLatin1String("N"), Qt::CaseInsensitive) == 0)
                 e.attributeFlags |= 1;  // invisible
             return add(d, e);
         }),
         false},
        {"catD3DFace", "Draw 3D Face", "D3DFace", creates([](Drawing& d, Ui& ui) {
             const auto p =
                 points(ui, {"First corner:", "Second corner:", "Third corner:", "Fourth corner:"});
             if (!p) return QString();
             const auto at = [&](int i) { return cad::Point3{(*p)[i].x(), (*p)[i].y(), 0}; };
             return add(d, cad::Entity::face3d(at(0), at(1), at(2), at(3)));
         })},
        {"catDBox", "Draw Box", "DBox", creates([](Drawing& d, Ui& ui) {
             const auto p = points(ui, {"Corner of box:", "Other corner:"}, rectPreview);
             if (!p) return QString();
             const QPointF size = (*p)[1] - (*p)[0];
             if (size.x() == 0 || size.y() == 0) return refuse(ui, kNoSize), QString();
             const std::optional<double> height = number(ui, "Draw Box", "Height:", true);
             if (!height) return QString();
             return add(d, cad::Entity::box({std::min((*p)[0].x(), (*p)[1].x()),
                                             std::min((*p)[0].y(), (*p)[1].y()), 0},
                                            std::abs(size.x()), std::abs(size.y()), *height));
         })},
        {"catDCone", "Draw Cone", "DCone", creates([](Drawing& d, Ui& ui) {
             const auto p = points(ui, {"Center of base:", "Point on base circle:"}, radiusPreview);
             if (!p) return QString();
             const double r = distance((*p)[0], (*p)[1]);
             if (!(r > 1e-9)) return refuse(ui, kNoSize), QString();
             const std::optional<double> height = number(ui, "Draw Cone", "Height:", true);
             if (!height) return QString();
             return add(d, cad::Entity::cone({(*p)[0].x(), (*p)[0].y(), 0}, *height, r, 0, 24));
         })},
        {"catDSphere", "Draw Sphere", "DSphere", creates([](Drawing& d, Ui& ui) {
             const auto p = points(ui, {"Center of sphere:", "Point on sphere:"}, radiusPreview);
             if (!p) return QString();
             const double r = distance((*p)[0], (*p)[1]);
             if (!(r > 1e-9)) return refuse(ui, kNoSize), QString();
             return add(d, cad::Entity::sphere({(*p)[0].x(), (*p)[0].y(), 0}, r, 24));
         })},
        {"catDDimRadius", "Radius Dimension", "DDimRadius",
         [](Drawing& d, Ui& ui, const CommandContext& c) {
             return curveDimension(d, ui, c, false);
         }},
        {"catDDimDiameter", "Diameter Dimension", "DDimDiameter",
         [](Drawing& d, Ui& ui, const CommandContext& c) {
             return curveDimension(d, ui, c, true);
         }},
    };
    return commands;
}

const QList<DrawingCommand>& editingCommands() {
    static const QList<DrawingCommand> commands = {
        {"catDSelect", "Select", "DSelect",
         [](Drawing& d, Ui& ui, const CommandContext&) { return select(d, ui, {}); }},
        {"catDErase", "Erase", "DErase",
         [](Drawing& d, Ui& ui, const CommandContext& c) {
             const QStringList handles = select(d, ui, c.selected);
             if (handles.isEmpty()) return QStringList();
             if (c.erase) {
                 c.erase(d, handles);
                 return QStringList();
             }
             cad::UndoGroup group(d.undo());
             for (const QString& h : handles) d.editor().erase(h);
             group.commit();
             return QStringList();
         }},
        {"catDMove", "Move", "DMove",
         [](Drawing& d, Ui& ui, const CommandContext& c) {
             const QStringList handles = select(d, ui, c.selected);
             if (handles.isEmpty()) return QStringList();
             const auto p = points(ui, {"Base point:", "Second point:"}, movedPreview(d, handles));
             if (!p) return QStringList();
             d.editor().move(handles, (*p)[1] - (*p)[0]);
             return handles;
         }},
        {"catDCopy", "Copy", "DCopy",
         [](Drawing& d, Ui& ui, const CommandContext& c) {
             const QStringList handles = select(d, ui, c.selected);
             if (handles.isEmpty()) return QStringList();
             const auto p = points(ui, {"Base point:", "Second point:"}, movedPreview(d, handles));
             if (!p) return QStringList();
             const QPointF by = (*p)[1] - (*p)[0];
             return d.editor().copy(handles, QTransform::fromTranslate(by.x(), by.y()));
         }},
        {"catDRotate", "Rotate", "DRotate",
         [](Drawing& d, Ui& ui, const CommandContext& c) {
             const QStringList handles = select(d, ui, c.selected);
             if (handles.isEmpty()) return QStringList();
             const auto p = points(ui, {"Base point:"});
             if (!p) return QStringList();
             const std::optional<double> angle =
                 number(ui, "Rotate", "Rotation angle (degrees):", false);
             if (!angle) return QStringList();
             d.editor().rotate(handles, (*p)[0], *angle);
             return handles;
         }},
        {"catDScale", "Scale", "DScale",
         [](Drawing& d, Ui& ui, const CommandContext& c) {
             const QStringList handles = select(d, ui, c.selected);
             if (handles.isEmpty()) return QStringList();
             const auto p = points(ui, {"Base point:"});
             if (!p) return QStringList();
             const std::optional<double> factor = number(ui, "Scale", "Scale factor:", true);
             if (!factor) return QStringList();
             d.editor().scale(handles, (*p)[0], *factor);
             return handles;
         }},
        {"catDMirror", "Mirror", "DMirror",
         [](Drawing& d, Ui& ui, const CommandContext& c) {
             const QStringList handles = select(d, ui, c.selected);
             if (handles.isEmpty()) return QStringList();
             const auto p =
                 points(ui, {"First point of mirror line:", "Second point of mirror line:"});
             if (!p) return QStringList();
             if ((*p)[0] == (*p)[1]) return refuse(ui, kNoSize), QStringList();
             const bool keep = ui.message(QStringLiteral("Delete the source objects?"),
                                          MsgButtons::YesNo, MsgIcon::Question) == MsgButton::No;
             return d.editor().mirror(handles, (*p)[0], (*p)[1], keep);
         }},
        {"catDExplode", "Explode", "DExplode",
         [](Drawing& d, Ui& ui, const CommandContext& c) {
             const QStringList handles = select(d, ui, c.selected);
             if (handles.isEmpty()) return QStringList();
             return d.editor().explode(handles);
         }},
        {"catDBringToFront", "Bring to Front", "DBringToFront",
         [](Drawing& d, Ui& ui, const CommandContext& c) { return reorder(d, ui, c, true); }},
        {"catDSendToBack", "Send to Back", "DSendToBack",
         [](Drawing& d, Ui& ui, const CommandContext& c) { return reorder(d, ui, c, false); }},
        {"catDDist", "Distance", "DDist",
         [](Drawing&, Ui& ui, const CommandContext&) {
             const auto p = points(ui, {"Measure from Startpoint", "Second point:"});
             if (!p) return QStringList();
             const QString value = QString::number(distance((*p)[0], (*p)[1]), 'f', 4);
             ui.history(QStringLiteral("Distance = ") + value, true);
             ui.message(QStringLiteral("Distance = ") + value, MsgButtons::Ok,
                        MsgIcon::Information);
             return QStringList();
         }},
    };
    return commands;
}

QList<const QList<DrawingCommand>*> drawingCommandFamilies() {
    return {&creationCommands(), &editingCommands(), &reshapingCommands(), &objectCommands()};
}

}  // namespace tolvane
