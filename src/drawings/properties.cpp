#include "drawings/properties.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QHash>
#include <QRegularExpression>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <functional>
#include <variant>

#include "cad/editing.h"
#include "cad/line_types.h"
#include "cad/render.h"
#include "cad/search_folders.h"
#include "drawings/drawing.h"
#include "drawings/drawing_files.h"
#include "shell/settings_store.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kUndoLimitMegabytes = 20;  // the most a drawing keeps, and the default

// How a typed value is read before it is written.
enum class Kind {
    Text,
    Number,
    Positive,
    NonZero,
    Whole,  // a whole number within [low, high]
    Point,
    Color,        // BYLAYER, BYBLOCK or 1..255
    ScreenColor,  // 1..255 or "R,G,B"
    Weight,
    Choice,  // numbered choices: the number is the value
    Name,    // one of the names `names` gives
};

struct Value {
    QString text;
    double number = 0.0;
    int integer = 0;
    QPointF point;
};

// A property of entities: its value as shown, and how a value is written (an error text when
// the entity cannot take it; empty when it did). Without `set` it is read-only.
struct EntityProperty {
    QString name;
    QString description;
    Kind kind = Kind::Text;
    QStringList choices;
    std::function<QString(const cad::Entity&)> get;
    std::function<QString(cad::Entity&, const Value&)> set;
    std::function<QStringList(const cad::Document&)> names;
    // The kinds that have the property; others show it read-only. Empty: every kind.
    std::function<bool(const cad::Entity&)> takes;
    PropertyEditor editor() const;
};

// A property of the drawing, kept in the document, in the user's settings or nowhere (then it
// is read-only and shows what this program does).
struct Env {
    Drawing& drawing;
    const PropertyContext& context;
};

struct DrawingProperty {
    QString name;
    QString category;
    QString description;
    Kind kind = Kind::Text;
    QStringList choices;
    std::function<QString(const Env&)> get;
    std::function<QString(Env&, const Value&)> set;
    std::function<QStringList(const cad::Document&)> names;
    double low = 0, high = 0;
    bool storedInSettings = false;
    PropertyEditor editor() const;
};

PropertyEditor editorFor(Kind kind) {
    switch (kind) {
        case Kind::Color:
        case Kind::ScreenColor:
            return PropertyEditor::Color;
        case Kind::Weight:
            return PropertyEditor::LineWeight;
        case Kind::Choice:
        case Kind::Name:
            return PropertyEditor::Choice;
        default:
            return PropertyEditor::Text;
    }
}

PropertyEditor EntityProperty::editor() const {
    return editorFor(kind);
}
PropertyEditor DrawingProperty::editor() const {
    return editorFor(kind);
}

// ---- choices ----------------------------------------------------------------------------

// "2-Right" as 2 and "Right"; nullopt for a choice without a number.
std::optional<std::pair<int, QString>> choiceParts(const QString& choice) {
    static const QRegularExpression re(QStringLiteral("^(-?\\d+)-(.*)$"));
    const QRegularExpressionMatch m = re.match(choice);
    if (!m.hasMatch()) return std::nullopt;
    return std::pair{m.captured(1).toInt(), m.captured(2)};
}

QString choiceText(const QStringList& choices, int number) {
    for (const QString& c : choices)
        if (const auto parts = choiceParts(c); parts && parts->first == number) return c;
    return QString::number(number);
}

// A choice typed whole, by its number or by its label (or the label's first word).
std::optional<int> choiceNumber(const QStringList& choices, const QString& typed) {
    const QString text = typed.trimmed();
    for (const QString& c : choices)
        if (c.simplified().compare(text.simplified(), Qt::CaseInsensitive) == 0)
            return choiceParts(c)->first;
    bool ok = false;
    const int n = text.toInt(&ok);
    for (const QString& c : choices)
        if (ok && choiceParts(c)->first == n) return n;
    for (const QString& c : choices) {
        const QString label = choiceParts(c)->second.simplified();
        if (label.compare(text, Qt::CaseInsensitive) == 0 ||
            label.section(QLatin1Char(' '), 0, 0).compare(text, Qt::CaseInsensitive) == 0)
            return choiceParts(c)->first;
    }
    return std::nullopt;
}

const QStringList kBool = {QStringLiteral("0-False"), QStringLiteral("1-True")};
const QStringList kFillModes = {QStringLiteral("0-None"), QStringLiteral("1-Solid"),
                                QStringLiteral("2-bDiagonal"), QStringLiteral("3-Cross")};
const QStringList kHorJustify = {QStringLiteral("0-Left"), QStringLiteral("2-Right"),
                                 QStringLiteral("6-Center")};
const QStringList kVerJustify = {QStringLiteral("0-Top"), QStringLiteral("8-Bottom"),
                                 QStringLiteral("24-Baseline"), QStringLiteral("100-Middle")};

// The releases drawings may be saved as: two of another program's format (refused) and the
// DWG releases, saved as DXF of the same release; then DXF 2007, the default.
const QStringList kDwgSaveVersions = {
    QStringLiteral("0-VDF - 2.5"), QStringLiteral("1-VDF - 2.6"), QStringLiteral("2-DWG - 9"),
    QStringLiteral("3-DWG - 10"),  QStringLiteral("4-DWG - 11"),  QStringLiteral("5-DWG - 13"),
    QStringLiteral("6-DWG - 14"),  QStringLiteral("7-DWG - 2K"),  QStringLiteral("8-DXF - 2007")};

// How edges show in a shaded view ($SHADEDGE).
const QStringList kShadeEdges = {
    QStringLiteral("0-Faces shaded, edges not drawn"),
    QStringLiteral("1-Faces shaded, edges in the background colour"),
    QStringLiteral("2-Faces not filled, edges in their colour, hidden ones removed"),
    QStringLiteral("3-Faces in their colour, edges in the background colour")};

QString boolText(bool on) {
    return choiceText(kBool, on ? 1 : 0);
}

// Line types: the pen styles by number, the named line types from 100 on, and the two that
// defer to the layer or block.
QStringList lineTypeChoices() {
    QStringList out = {QStringLiteral("-1-BYLAYER"), QStringLiteral("0-SOLID"),
                       QStringLiteral("1-Dash"),     QStringLiteral("2-Dot"),
                       QStringLiteral("3-DashDot"),  QStringLiteral("4-DashDotDot")};
    const QList<cad::LineType>& named = cad::standardLineTypes();
    for (int i = 0; i < named.size(); ++i)
        out << QStringLiteral("%1-%2").arg(100 + i).arg(named[i].name);
    out << QStringLiteral("999-BYLAYER") << QStringLiteral("998-BYBLOCK");
    return out;
}

QString lineTypeOfNumber(int n) {
    switch (n) {
        case -1:
        case 999:
            return QStringLiteral("BYLAYER");
        case 998:
            return QStringLiteral("BYBLOCK");
        case 0:
            return QStringLiteral("CONTINUOUS");
        case 1:
            return QStringLiteral("DASHED");
        case 2:
            return QStringLiteral("DOT");
        case 3:
            return QStringLiteral("DASHDOT");
        case 4:
            return QStringLiteral("DIVIDE");
        default:
            return cad::standardLineTypes().value(n - 100).name;
    }
}

QString lineTypeText(const QString& name) {
    const QString n = name.toUpper();
    if (n == QLatin1String("BYLAYER")) return QStringLiteral("-1-BYLAYER");
    if (n == QLatin1String("BYBLOCK")) return QStringLiteral("998-BYBLOCK");
    if (n == QLatin1String("CONTINUOUS")) return QStringLiteral("0-SOLID");
    const QList<cad::LineType>& named = cad::standardLineTypes();
    for (int i = 0; i < named.size(); ++i)
        if (named[i].name == n) return QStringLiteral("%1-%2").arg(100 + i).arg(named[i].name);
    return name;  // a line type of the file's own
}

// A named line type written to an entity must be in the drawing's table.
void requireLineType(cad::Document& doc, const QString& name) {
    if (name == QLatin1String("BYLAYER") || name == QLatin1String("BYBLOCK") ||
        name == QLatin1String("CONTINUOUS") || doc.lineType(name))
        return;
    cad::addStandardLineTypes(doc);
}

// Justification: the choices' numbers against the DXF alignment codes an entity keeps.
int horJustifyNumber(int hAlign) {
    return hAlign == 2 ? 2 : hAlign == 1 || hAlign == 4 ? 6 : 0;
}
int hAlignOf(int number) {
    return number == 2 ? 2 : number == 6 ? 1 : 0;
}
int verJustifyNumber(int vAlign) {
    return vAlign == 3 ? 0 : vAlign == 1 ? 8 : vAlign == 2 ? 100 : 24;
}
int vAlignOf(int number) {
    return number == 0 ? 3 : number == 8 ? 1 : number == 100 ? 2 : 0;
}

QStringList layerNames(const cad::Document& doc) {
    QStringList out;
    for (const cad::Layer& l : doc.layers()) out << l.name;
    return out;
}
QStringList textStyleNames(const cad::Document& doc) {
    QStringList out;
    for (const cad::TextStyle& s : doc.textStyles()) out << s.name;
    return out;
}
QStringList dimStyleNames(const cad::Document& doc) {
    QStringList out;
    for (const cad::DimStyle& s : doc.dimStyles()) out << s.name;
    return out;
}

// ---- reading typed values ---------------------------------------------------------------

std::optional<double> numberOf(const QString& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

// A colour of the screen: a palette index 1..255 or "R,G,B".
bool isScreenColor(const QString& text) {
    const QStringList parts = text.trimmed().split(QLatin1Char(','));
    if (parts.size() != 1 && parts.size() != 3) return false;
    for (const QString& p : parts) {
        bool ok = false;
        const int v = p.trimmed().toInt(&ok);
        if (!ok || v < (parts.size() == 1 ? 1 : 0) || v > 255) return false;
    }
    return true;
}

// Reads `text` as the property's kind; the refusal's text when it does not fit.
std::variant<Value, QString> readValue(const QString& name, Kind kind, const QStringList& choices,
                                       const QStringList& names, const QString& text,
                                       double low = 0, double high = 0) {
    Value v;
    v.text = text;
    switch (kind) {
        case Kind::Text:
            return v;
        case Kind::Number:
        case Kind::Positive:
        case Kind::NonZero: {
            const std::optional<double> n = numberOf(text);
            if (!n) return QStringLiteral("%1 must be a number.").arg(name);
            if (kind == Kind::Positive && !(*n > 0))
                return QStringLiteral("%1 must be a number greater than 0.").arg(name);
            if (kind == Kind::NonZero && *n == 0)
                return QStringLiteral("%1 may not be 0.").arg(name);
            v.number = *n;
            return v;
        }
        case Kind::Whole: {
            const std::optional<double> n = numberOf(text);
            if (!n || *n != std::floor(*n) || *n < low || *n > high)
                return QStringLiteral("%1 must be a whole number from %2 to %3.")
                    .arg(name, QString::number(low), QString::number(high));
            v.integer = int(*n);
            v.number = *n;
            return v;
        }
        case Kind::Point: {
            const std::optional<QPointF> p = parsePoint(text);
            if (!p) return kCoordinateFormat;
            v.point = *p;
            return v;
        }
        case Kind::Color: {
            const std::optional<int> c = parseColorValue(text);
            if (!c)
                return QStringLiteral("%1 takes a colour number from 1 to 255, BYLAYER or BYBLOCK.")
                    .arg(name);
            v.integer = *c;
            return v;
        }
        case Kind::ScreenColor:
            if (!isScreenColor(text))
                return QStringLiteral("%1 takes a colour number from 1 to 255 or R,G,B.").arg(name);
            v.text = text.trimmed();
            return v;
        case Kind::Weight: {
            const std::optional<int> w = parseLineWeight(text);
            if (!w)
                return QStringLiteral("%1 takes a line weight such as 0.25 mm or ByLayer.")
                    .arg(name);
            v.integer = *w;
            return v;
        }
        case Kind::Choice: {
            const std::optional<int> n = choiceNumber(choices, text);
            if (!n)
                return QStringLiteral("%1 takes one of: %2.")
                    .arg(name, choices.join(QStringLiteral(", ")));
            v.integer = *n;
            return v;
        }
        case Kind::Name:
            for (const QString& n : names) {
                if (n.compare(text.trimmed(), Qt::CaseInsensitive) == 0) {
                    v.text = n;
                    return v;
                }
            }
            return QStringLiteral("There is no %1 named %2.").arg(name, text.trimmed());
    }
    return v;
}

// ---- entity properties ------------------------------------------------------------------

using Get = std::function<QString(const cad::Entity&)>;
using Set = std::function<QString(cad::Entity&, const Value&)>;

QString number(double v) {
    return formatNumber(v);
}

// Moves an entity (with an insert's attributes) by the plane's translation.
void moveTo(cad::Entity& e, QPointF from, QPointF to) {
    cad::transformEntity(e, QTransform::fromTranslate(to.x() - from.x(), to.y() - from.y()));
}

void rotateAbout(cad::Entity& e, QPointF centre, double degrees) {
    QTransform t;
    t.translate(centre.x(), centre.y());
    t.rotate(degrees);
    t.translate(-centre.x(), -centre.y());
    cad::transformEntity(e, t);
}

EntityProperty readOnly(const char* name, const char* description, Get get) {
    return {QString::fromLatin1(name),
            QString::fromLatin1(description),
            Kind::Text,
            {},
            get,
            {},
            {},
            {}};
}

EntityProperty fixed(const char* name, const char* description, const QString& value) {
    return readOnly(name, description, [value](const cad::Entity&) { return value; });
}

EntityProperty editable(const char* name, const char* description, Kind kind, Get get, Set set,
                        QStringList choices = {}) {
    return {QString::fromLatin1(name),
            QString::fromLatin1(description),
            kind,
            choices,
            get,
            set,
            {},
            {}};
}

// A field of the entity record or of its detail part, for reading and for writing.
template <class T, class Owner>
const T& fieldOf(const cad::Entity& e, T Owner::*field) {
    if constexpr (std::is_same_v<Owner, cad::EntityDetail>)
        return (*e.detail).*field;
    else
        return e.*field;
}
template <class T, class Owner>
T& fieldOf(cad::Entity& e, T Owner::*field) {
    if constexpr (std::is_same_v<Owner, cad::EntityDetail>)
        return e.detail.edit().*field;
    else
        return e.*field;
}

// A colour index kept as any integer type (the entity's own in a small one).
template <class Owner, class Int>
EntityProperty colorProperty(const char* name, const char* description, Int Owner::*field) {
    return editable(
        name, description, Kind::Color,
        [field](const cad::Entity& e) { return colorValueText(fieldOf(e, field)); },
        [field](cad::Entity& e, const Value& v) {
            fieldOf(e, field) = Int(v.integer);
            return QString();
        });
}

template <class Owner>
EntityProperty numberProperty(const char* name, const char* description, Kind kind,
                              double Owner::*field) {
    return editable(
        name, description, kind,
        [field](const cad::Entity& e) { return number(fieldOf(e, field)); },
        [field](cad::Entity& e, const Value& v) {
            fieldOf(e, field) = v.number;
            return QString();
        });
}

// A point kept in `start`: changing it moves the whole entity.
EntityProperty placeProperty(const char* name, const char* description) {
    return editable(
        name, description, Kind::Point, [](const cad::Entity& e) { return formatPoint(e.start); },
        [](cad::Entity& e, const Value& v) {
            moveTo(e, e.start, v.point);
            return QString();
        });
}

QList<EntityProperty> fillProperties() {
    return {
        colorProperty("FillBkColor", "The colour behind the hatch lines",
                      &cad::EntityDetail::fillBkColor),
        colorProperty("FillColor", "The colour of the fill or its hatch lines",
                      &cad::EntityDetail::fillColor),
        editable(
            "FillMode", "How the outline is filled", Kind::Choice,
            [](const cad::Entity& e) { return choiceText(kFillModes, e.detail->fillMode); },
            [](cad::Entity& e, const Value& v) {
                e.detail.edit().fillMode = v.integer;
                return QString();
            },
            kFillModes),
        numberProperty("hatchAngle", "The angle of the hatch lines in degrees", Kind::Number,
                       &cad::EntityDetail::hatchAngle),
        fixed("hatchBlock", "Read only -- hatches are drawn as lines, not from a block", QString()),
        numberProperty("hatchScale", "The spacing of the hatch lines", Kind::Positive,
                       &cad::EntityDetail::hatchScale),
    };
}

QList<EntityProperty> textProperties(bool dimension) {
    QList<EntityProperty> out;
    const auto horJustify = editable(
        "HorJustify", "Horizontal justification", Kind::Choice,
        [](const cad::Entity& e) { return choiceText(kHorJustify, horJustifyNumber(e.hAlign)); },
        [](cad::Entity& e, const Value& v) {
            if (e.hAlign == 0 && e.vAlign == 0) e.end = e.start;  // the alignment point
            e.hAlign = hAlignOf(v.integer);
            return QString();
        },
        kHorJustify);
    const auto verJustify = editable(
        "VerJustify", "Vertical justification", Kind::Choice,
        [](const cad::Entity& e) { return choiceText(kVerJustify, verJustifyNumber(e.vAlign)); },
        [](cad::Entity& e, const Value& v) {
            if (e.hAlign == 0 && e.vAlign == 0) e.end = e.start;
            e.vAlign = vAlignOf(v.integer);
            return QString();
        },
        kVerJustify);
    if (dimension) {
        // A dimension's text sits in the middle of its line: its justification is the style's.
        out << readOnly("HorJustify", "Read only -- set by the dimension style",
                        [](const cad::Entity&) { return kHorJustify[2]; })
            << editable(
                   "InsertionPoint", "The middle of the dimension text", Kind::Point,
                   [](const cad::Entity& e) { return formatPoint(e.end); },
                   [](cad::Entity& e, const Value& v) {
                       e.end = v.point;
                       return QString();
                   })
            << editable(
                   "Rotation", "The angle a linear dimension measures along, in degrees",
                   Kind::Number, [](const cad::Entity& e) { return number(e.rotation); },
                   [](cad::Entity& e, const Value& v) {
                       if (e.detail->dimType != cad::DimensionType::Linear)
                           return QStringLiteral("Only a linear dimension has a rotation.");
                       e.rotation = v.number;
                       return QString();
                   })
            << readOnly("VerJustify", "Read only -- set by the dimension style",
                        [](const cad::Entity&) { return kVerJustify[3]; });
        EntityProperty style = editable(
            "StyleName", "The dimension style", Kind::Name,
            [](const cad::Entity& e) { return e.style; },
            [](cad::Entity& e, const Value& v) {
                e.style = v.text;
                return QString();
            });
        style.names = dimStyleNames;
        out << style;
        return out;
    }
    out << numberProperty("Height", "The height of the text", Kind::Positive, &cad::Entity::height)
        << horJustify << placeProperty("InsertionPoint", "Where the text is placed")
        << numberProperty("Rotation", "The angle of the text in degrees", Kind::Number,
                          &cad::Entity::rotation)
        << verJustify;
    EntityProperty style = editable(
        "StyleName", "The text style", Kind::Name, [](const cad::Entity& e) { return e.style; },
        [](cad::Entity& e, const Value& v) {
            e.style = v.text;
            return QString();
        });
    style.names = textStyleNames;
    out << style;
    return out;
}

QList<EntityProperty> attributeProperties() {
    QList<EntityProperty> out = textProperties(false);
    out << editable(
               "TagString", "The attribute's tag", Kind::Text,
               [](const cad::Entity& e) { return e.tag; },
               [](cad::Entity& e, const Value& v) {
                   const QString tag = v.text.trimmed();
                   if (tag.isEmpty() || tag.contains(QLatin1Char(' ')) ||
                       tag.contains(QLatin1Char('!')))
                       return QStringLiteral("A tag may not be empty or hold spaces or \"!\".");
                   e.tag = tag;
                   return QString();
               })
        << editable(
               "ValueString", "The attribute's value", Kind::Text,
               [](const cad::Entity& e) { return e.text; },
               [](cad::Entity& e, const Value& v) {
                   e.text = v.text;
                   return QString();
               })
        << editable(
               "InVisibleMode", "The attribute is not shown", Kind::Choice,
               [](const cad::Entity& e) { return boolText(e.attributeFlags & 1); },
               [](cad::Entity& e, const Value& v) {
                   e.attributeFlags = v.integer ? e.attributeFlags | 1 : e.attributeFlags & ~1;
                   return QString();
               },
               kBool);
    return out;
}

// An insert's scale along one of its axes: its attributes keep their places in the block.
Set insertScale(double cad::Entity::*field, bool alongX) {
    return [field, alongX](cad::Entity& e, const Value& v) {
        const double old = e.*field;
        const double a = e.rotation * kPi / 180.0;
        const auto rescale = [&](QPointF p) {
            const QPointF d = p - e.start;
            double x = d.x() * std::cos(a) + d.y() * std::sin(a);
            double y = -d.x() * std::sin(a) + d.y() * std::cos(a);
            if (old != 0) (alongX ? x : y) *= v.number / old;
            return e.start +
                   QPointF(x * std::cos(a) - y * std::sin(a), x * std::sin(a) + y * std::cos(a));
        };
        for (cad::Entity& attribute : e.attributes) {
            attribute.start = rescale(attribute.start);
            attribute.end = rescale(attribute.end);
        }
        e.*field = v.number;
        return QString();
    };
}

double rectAngle(const cad::Entity& e) {
    if (e.vertices.size() < 2) return 0;
    const QPointF d = e.vertices[1].pos - e.vertices[0].pos;
    return std::atan2(d.y(), d.x());
}

// The further properties of one entity type; empty for types that have none.
QList<EntityProperty> typeProperties(const QString& type) {
    using E = cad::Entity;
    if (type == QLatin1String("VDLINE")) {
        return {editable(
                    "StartPoint", "The line's first end", Kind::Point,
                    [](const E& e) { return formatPoint(e.start); },
                    [](E& e, const Value& v) {
                        e.start = v.point;
                        return QString();
                    }),
                editable(
                    "EndPoint", "The line's second end", Kind::Point,
                    [](const E& e) { return formatPoint(e.end); },
                    [](E& e, const Value& v) {
                        e.end = v.point;
                        return QString();
                    })};
    }
    if (type == QLatin1String("VDCIRCLE") || type == QLatin1String("VDARC")) {
        QList<EntityProperty> out;
        if (type == QLatin1String("VDARC"))
            out << numberProperty("StartAngle", "Where the arc starts, in degrees", Kind::Number,
                                  &E::startAngle)
                << numberProperty("EndAngle", "Where the arc ends, in degrees", Kind::Number,
                                  &E::endAngle);
        out << placeProperty("CenterPoint", "The centre") << fillProperties()
            << numberProperty("radius", "The radius", Kind::Positive, &E::radius);
        return out;
    }
    if (type == QLatin1String("VDELLIPSE")) {
        const auto majorLength = [](const E& e) { return std::hypot(e.end.x(), e.end.y()); };
        return QList<EntityProperty>{placeProperty("CenterPoint", "The centre")}
               << fillProperties()
               << editable(
                      "StartAngle", "Where the ellipse starts, in degrees from its major axis",
                      Kind::Number, [](const E& e) { return number(e.startAngle * 180.0 / kPi); },
                      [](E& e, const Value& v) {
                          e.startAngle = v.number * kPi / 180.0;
                          return QString();
                      })
               << editable(
                      "MajorAngle", "The direction of the major axis, in degrees", Kind::Number,
                      [](const E& e) {
                          return number(std::atan2(e.end.y(), e.end.x()) * 180.0 / kPi);
                      },
                      [majorLength](E& e, const Value& v) {
                          const double l = majorLength(e), a = v.number * kPi / 180.0;
                          e.end = QPointF(l * std::cos(a), l * std::sin(a));
                          return QString();
                      })
               << editable(
                      "MajorLength", "Half the major axis", Kind::Positive,
                      [majorLength](const E& e) { return number(majorLength(e)); },
                      [majorLength](E& e, const Value& v) {
                          const double l = majorLength(e);
                          if (v.number < l * e.ratio)
                              return QStringLiteral(
                                  "The major axis may not be shorter than the minor axis.");
                          e.ratio = l * e.ratio / v.number;
                          e.end *= v.number / l;
                          return QString();
                      })
               << editable(
                      "MinorLength", "Half the minor axis", Kind::Positive,
                      [majorLength](const E& e) { return number(majorLength(e) * e.ratio); },
                      [majorLength](E& e, const Value& v) {
                          const double l = majorLength(e);
                          if (v.number > l)
                              return QStringLiteral(
                                  "The minor axis may not be longer than the major axis.");
                          e.ratio = v.number / l;
                          return QString();
                      });
    }
    if (type == QLatin1String("VDPOLYLINE")) return fillProperties();
    if (type == QLatin1String("VDRECT")) {
        QList<EntityProperty> fill = fillProperties();
        QList<EntityProperty> out = {fill[3], fill[4], fill[5]};
        out << editable(
                   "InsertionPoint", "The first corner", Kind::Point,
                   [](const E& e) { return formatPoint(e.vertices.value(0).pos); },
                   [](E& e, const Value& v) {
                       moveTo(e, e.vertices.value(0).pos, v.point);
                       return QString();
                   })
            << editable(
                   "Rotation", " Rotation Angle in RADIANS", Kind::Number,
                   [](const E& e) { return number(rectAngle(e)); },
                   [](E& e, const Value& v) {
                       rotateAbout(e, e.vertices.value(0).pos,
                                   (v.number - rectAngle(e)) * 180.0 / kPi);
                       return QString();
                   })
            << fill[0] << fill[1] << fill[2];
        return out;
    }
    if (type == QLatin1String("VDTEXT")) {
        return QList<EntityProperty>{editable(
                   "TextString", "The text", Kind::Text, [](const E& e) { return e.text; },
                   [](E& e, const Value& v) {
                       if (v.text.isEmpty()) return QStringLiteral("A text may not be empty.");
                       e.text = v.text;
                       return QString();
                   })}
               << textProperties(false);
    }
    if (type == QLatin1String("VDATTRIB") || type == QLatin1String("VDATTDEF"))
        return attributeProperties();
    if (type == QLatin1String("VDDIMENSION")) {
        return QList<EntityProperty>{editable(
                   "DimText", " Dimension Text", Kind::Text, [](const E& e) { return e.text; },
                   [](E& e, const Value& v) {
                       e.text = v.text;
                       return QString();
                   })}
               << textProperties(true);
    }
    if (type == QLatin1String("VDINSERT")) {
        return {readOnly("BlockName", "Read only -- the block inserted",
                         [](const E& e) { return e.blockName; }),
                readOnly("Attributes", "Read only -- the attributes, TAG=VALUE",
                         [](const E& e) {
                             QStringList parts;
                             for (const E& a : e.attributes)
                                 parts << a.tag + QLatin1Char('=') + a.text;
                             return parts.join(QStringLiteral("; "));
                         }),
                editable(
                    "Rotation", "The angle of the insert in degrees", Kind::Number,
                    [](const E& e) { return number(e.rotation); },
                    [](E& e, const Value& v) {
                        rotateAbout(e, e.start, v.number - e.rotation);
                        e.rotation = v.number;  // exactly as typed
                        return QString();
                    }),
                editable(
                    "Xscale", "The scale along the block's x axis", Kind::NonZero,
                    [](const E& e) { return number(e.xScale); }, insertScale(&E::xScale, true)),
                editable(
                    "Yscale", "The scale along the block's y axis", Kind::NonZero,
                    [](const E& e) { return number(e.yScale); }, insertScale(&E::yScale, false)),
                fixed("Zscale", "Read only -- drawings are flat", QStringLiteral("1")),
                placeProperty("InsertionPoint", "Where the block's base point is placed")};
    }
    if (type == QLatin1String("VDIMAGE")) {
        static const QStringList display = {QStringLiteral("1-Display Image"),
                                            QStringLiteral("16-Hide Rectangle"),
                                            QStringLiteral("17-Image W/O Rectangle")};
        const auto size = [](QPointF cad::EntityDetail::*field, const char* name,
                             const char* description) {
            return editable(
                name, description, Kind::Positive,
                [field](const E& e) {
                    const QPointF& f = fieldOf(e, field);
                    return number(std::hypot(f.x(), f.y()));
                },
                [field](E& e, const Value& v) {
                    const QPointF f = fieldOf(std::as_const(e), field);
                    const double l = std::hypot(f.x(), f.y());
                    if (l > 0) fieldOf(e, field) = f * (v.number / l);
                    return QString();
                });
        };
        return {editable(
                    "Display", " Diplay properties", Kind::Choice,
                    [](const E& e) {
                        return choiceText(
                            display, e.detail->imageFlags & (cad::ImageShow | cad::ImageHideFrame));
                    },
                    [](E& e, const Value& v) {
                        e.detail.edit().imageFlags =
                            (e.detail->imageFlags & ~(cad::ImageShow | cad::ImageHideFrame)) |
                            v.integer;
                        return QString();
                    },
                    display),
                size(&cad::EntityDetail::vVector, "Height", " Height in drawing units"),
                size(&cad::EntityDetail::uVector, "Width", " Width in drawing units"),
                placeProperty("InsertionPoint", "The lower left corner"),
                readOnly("ImageFileName", "Read only -- the picture shown",
                         [](const E& e) { return e.detail->fileName; })};
    }
    return {};
}

QList<EntityProperty> generalEntityProperties() {
    using E = cad::Entity;
    EntityProperty layer = editable(
        "LayerName", "The layer the entity is on", Kind::Name, [](const E& e) { return e.layer; },
        [](E& e, const Value& v) {
            e.layer = v.text;
            return QString();
        });
    layer.names = layerNames;
    // The width of a polyline: the same along it (a polyline whose segments narrow or widen
    // shows its widest), written as the same along it.
    EntityProperty penWidth = editable(
        "PenWidth",
        "The width of a polyline in drawing units, 0 a line of its line weight (only polylines "
        "keep a width)",
        Kind::Number, [](const E& e) { return number(2 * cad::halfWidth(e)); },
        [](E& e, const Value& v) {
            if (v.number < 0) return QStringLiteral("A width cannot be negative.");
            e.detail.edit().width = v.number;
            e.detail.edit().vertexWidths.clear();
            e.detail.dropIfDefault();
            return QString();
        });
    penWidth.takes = [](const E& e) { return e.kind == cad::EntityKind::Polyline; };
    EntityProperty penStyle = editable(
        "PenStyle", "The line type", Kind::Choice,
        [](const E& e) { return lineTypeText(e.lineType); },
        [](E& e, const Value& v) {
            e.lineType = lineTypeOfNumber(v.integer);
            return QString();
        },
        lineTypeChoices());
    return {
        readOnly("Area", "Read only -- the area enclosed",
                 [](const E& e) { return number(entityArea(e)); }),
        readOnly("Handle", " Handle. This handle will last for the life of the drawing",
                 [](const E& e) { return e.handle; }),
        readOnly("ID", " ID. Temporary ID",
                 [](const E& e) { return QString::number(e.handle.value()); }),
        readOnly("Length", "Read only -- the length along the entity",
                 [](const E& e) { return number(entityLength(e)); }),
        readOnly("Type", "Read only -- the entity type",
                 [](const E& e) { return cad::entityTypeName(e); }),
        readOnly("XProperties", " Read Only Extended Properties",
                 [](const E& e) {
                     QStringList parts;
                     for (const cad::XData& x : e.xdata)
                         for (const cad::XDataItem& i : x.items)
                             parts << (i.name.isEmpty() ? i.value
                                                        : i.name + QLatin1Char('=') + i.value);
                     return parts.join(QStringLiteral("; "));
                 }),
        layer,
        fixed("Label", "Read only -- entities carry no label", QString()),
        fixed("LineTypeScale", "Read only -- line types follow the drawing's LineTypeScale",
              QStringLiteral("1")),
        editable(
            "LineWeight", "The line weight", Kind::Weight,
            [](const E& e) { return lineWeightText(e.lineWeight); },
            [](E& e, const Value& v) {
                e.lineWeight = v.integer;
                return QString();
            }),
        colorProperty("PenColor", "The colour", &E::color),
        penWidth,
        penStyle,
        fixed("ShowGrips", "Read only -- grips show on every selected entity", boolText(true)),
        fixed("Thickness", "Read only -- drawings are flat", QStringLiteral("0")),
        editable(
            "ToolTip", "Shown when the pointer rests on the entity", Kind::Text,
            [](const E& e) { return e.tooltip; },
            [](E& e, const Value& v) {
                e.tooltip = v.text;
                return QString();
            }),
        fixed("URL", "Read only -- entities carry no link", QString()),
    };
}

// The category an entity property is listed under.
QString categoryOf(const EntityProperty& p, const QString& type, bool general) {
    if (!general) return type;
    return p.name == QLatin1String("PenStyle") ? QStringLiteral("Appearance") : kGeneralEntities;
}

// ---- drawing properties -----------------------------------------------------------------

// The family an alternate font setting names: a font file (added to the program's fonts once)
// or an installed family. Empty when it names neither, with the reason in *error.
QString fontFamilyOf(const QString& value, QString* error) {
    const QString text = value.trimmed();
    if (text.isEmpty()) return {};
    const QFileInfo file(text);
    if (file.isFile()) {
        const QString family = cad::fontFileFamily(file.absoluteFilePath());
        if (family.isEmpty() && error) *error = QStringLiteral("%1 is not a font file.").arg(text);
        return family;
    }
    if (QFontDatabase::hasFamily(text)) return text;
    if (error)
        *error = QStringLiteral("%1 is neither a font file nor an installed font.").arg(text);
    return {};
}

QString storeRead(const Env& env, const QString& name, const QString& byDefault) {
    const QString v = env.context.settings ? env.context.settings->read(name).trimmed() : QString();
    return v.isEmpty() ? byDefault : v;
}

QString storeWrite(Env& env, const QString& name, const QString& value) {
    if (!env.context.settings)
        return QStringLiteral("There are no settings to write %1 to.").arg(name);
    if (!env.context.settings->write(name, value))
        return QStringLiteral("%1 could not be written to the settings.").arg(name);
    return {};
}

QList<DrawingProperty> drawingProperties() {
    using S = cad::DrawingSettings;
    const auto settings = [](const Env& env) -> S& { return env.drawing.document().settings(); };
    QList<DrawingProperty> out;
    QString category;
    const auto add = [&](const char* name, const char* description, Kind kind,
                         std::function<QString(const Env&)> get,
                         std::function<QString(Env&, const Value&)> set, QStringList choices = {}) {
        DrawingProperty p;
        p.name = QString::fromLatin1(name);
        p.category = category;
        p.description = QString::fromLatin1(description);
        p.kind = kind;
        p.choices = choices;
        p.get = std::move(get);
        p.set = std::move(set);
        out.append(p);
        return &out.last();
    };
    // A property without a counterpart here: what this program does, read-only.
    const auto fixed = [&](const char* name, const char* description, const QString& value,
                           const QStringList& choices = {}) {
        add(
            name, description, Kind::Text, [value](const Env&) { return value; }, {}, choices);
    };
    // A view option kept in the user's settings; `byDefault` is what the view uses without.
    const auto stored = [&](const char* name, const QString& key, const char* description,
                            Kind kind, const QString& byDefault, double low = 0, double high = 0,
                            QStringList choices = {}) {
        DrawingProperty* p = nullptr;
        if (kind == Kind::Choice) {
            p = add(
                name, description, kind,
                [key, byDefault, choices](const Env& env) {
                    return choiceText(choices, storeRead(env, key, byDefault).toInt());
                },
                [key](Env& env, const Value& v) {
                    return storeWrite(env, key, QString::number(v.integer));
                },
                choices);
        } else {
            p = add(
                name, description, kind,
                [key, byDefault](const Env& env) { return storeRead(env, key, byDefault); },
                [key](Env& env, const Value& v) { return storeWrite(env, key, v.text.trimmed()); });
        }
        p->low = low;
        p->high = high;
        p->storedInSettings = true;
    };

    category = QStringLiteral("Appearance");
    add(
        "ActiveColor", "Sets the color for drawing entities", Kind::Color,
        [=](const Env& env) { return colorValueText(settings(env).color); },
        [=](Env& env, const Value& v) {
            settings(env).color = v.integer;
            return QString();
        });
    add(
        "ActiveDimStyle", "Sets the dimension style", Kind::Name,
        [=](const Env& env) { return settings(env).dimStyle; },
        [=](Env& env, const Value& v) {
            settings(env).dimStyle = v.text;
            return QString();
        })
        ->names = dimStyleNames;
    stored("ActiveFillBKColor", setting::ActiveFillBkColor,
           "Specifies the active background color in filled entities", Kind::ScreenColor,
           QString());
    add(
        "ActiveFillColor", "Specifies the active color of hatch lines in filled entities",
        Kind::Color, [=](const Env& env) { return colorValueText(settings(env).fillColor); },
        [=](Env& env, const Value& v) {
            settings(env).fillColor = v.integer;
            return QString();
        });
    add(
        "ActiveFillMode", "Specifies the active hatch type for filled entities", Kind::Choice,
        [=](const Env& env) { return choiceText(kFillModes, settings(env).fillMode); },
        [=](Env& env, const Value& v) {
            settings(env).fillMode = v.integer;
            return QString();
        },
        kFillModes);
    add(
        "ActivePenStyle", "Sets the line type for drawing entities", Kind::Choice,
        [=](const Env& env) { return lineTypeText(settings(env).lineType); },
        [=](Env& env, const Value& v) {
            settings(env).lineType = lineTypeOfNumber(v.integer);
            requireLineType(env.drawing.document(), settings(env).lineType);
            return QString();
        },
        lineTypeChoices());
    add(
        "ActivePenWidth", "Specifies the active pen width", Kind::Number,
        [=](const Env& env) { return number(settings(env).polylineWidth); },
        [=](Env& env, const Value& v) {
            if (v.number < 0) return QStringLiteral("A width cannot be negative.");
            settings(env).polylineWidth = v.number;
            return QString();
        });
    add(
        "ActiveTextHeight", "Specifies the active text Height", Kind::Positive,
        [=](const Env& env) { return number(settings(env).textHeight); },
        [=](Env& env, const Value& v) {
            settings(env).textHeight = v.number;
            return QString();
        });
    add(
        "ActiveTextHorJustify",
        "Specifies the active horizontal justification for TEXT and ATTRIB entities", Kind::Choice,
        [=](const Env& env) {
            return choiceText(kHorJustify, horJustifyNumber(settings(env).textHAlign));
        },
        [=](Env& env, const Value& v) {
            settings(env).textHAlign = hAlignOf(v.integer);
            return QString();
        },
        kHorJustify);
    add(
        "ActiveTextStyle", "Specifies the active text style", Kind::Name,
        [=](const Env& env) { return settings(env).textStyle; },
        [=](Env& env, const Value& v) {
            settings(env).textStyle = v.text;
            return QString();
        })
        ->names = textStyleNames;
    // The drawing names the middle "Center" where a text's own justification says "Middle".
    const QStringList activeVerJustify = {QStringLiteral("0-Top"), QStringLiteral("8-Bottom"),
                                          QStringLiteral("100-Center"),
                                          QStringLiteral("24-Baseline")};
    add(
        "ActiveTextVerJustify",
        "Specifies the active vertical justification for TEXT and ATTRIB entities", Kind::Choice,
        [=](const Env& env) {
            return choiceText(activeVerJustify, verJustifyNumber(settings(env).textVAlign));
        },
        [=](Env& env, const Value& v) {
            settings(env).textVAlign = vAlignOf(v.integer);
            return QString();
        },
        activeVerJustify);
    add(
        "DefaultLineWeight", "The line weight of new entities", Kind::Weight,
        [=](const Env& env) { return lineWeightText(settings(env).lineWeight); },
        [=](Env& env, const Value& v) {
            settings(env).lineWeight = v.integer;
            return QString();
        });
    add(
        "DwgAlternateFontFile",
        "The font file (or installed font) for texts whose style's font is missing; empty: the "
        "sans-serif font",
        Kind::Text,
        [](const Env& env) { return storeRead(env, setting::DwgAlternateFontFile, QString()); },
        [](Env& env, const Value& v) {
            QString error;
            const QString family = fontFamilyOf(v.text, &error);
            if (!error.isEmpty()) return error;
            const QString written =
                storeWrite(env, setting::DwgAlternateFontFile, v.text.trimmed());
            if (written.isEmpty()) cad::setAlternateFont(family);
            return written;
        })
        ->storedInSettings = true;
    add(
        "LineTypeScale", "Set the scale of all line types in drawing", Kind::Positive,
        [=](const Env& env) { return number(settings(env).lineTypeScale); },
        [=](Env& env, const Value& v) {
            settings(env).lineTypeScale = v.number;
            return QString();
        });

    category = QStringLiteral("Function");
    // Switching the layout shows it in the drawing's window, whose tabs follow.
    add(
        "ActiveLayout", "Specifies the active layout", Kind::Name,
        [](const Env& env) { return env.drawing.space().name; },
        [](Env& env, const Value& v) {
            env.drawing.setSpace(v.text);
            return QString();
        })
        ->names = [](const cad::Document& doc) {
        QStringList out{doc.modelSpace().name};
        for (const cad::Space& s : doc.layouts()) out << s.name;
        return out;
    };
    add(
        "ActiveLayer", "Specifies the active layer", Kind::Name,
        [](const Env& env) { return env.drawing.document().currentLayer(); },
        [](Env& env, const Value& v) {
            env.drawing.document().setCurrentLayer(v.text);
            return QString();
        })
        ->names = layerNames;
    // Renaming is Save As, which also moves the drawing's registration and lock.
    add("FileName", "This Document's File Name (read only -- use Save As)", Kind::Text,
        [](const Env& env) {
            return env.drawing.untitled() ? env.drawing.untitledName() : env.drawing.path();
        },
        {});
    fixed("FileVersion", "File Version", QStringLiteral("AC1021"));
    add(
        "DwgSaveVer", "Determines how the drawing is saved", Kind::Choice,
        [](const Env& env) {
            return choiceText(kDwgSaveVersions,
                              saveVersionChoice(storeRead(env, setting::DwgSaveVer, QString())));
        },
        [](Env& env, const Value& v) {
            if (v.integer < 2)
                return QStringLiteral(
                           "%1 is the format of another program: drawings are saved as DXF only. "
                           "Choose a DWG release to save DXF of that release, or 8 for DXF 2007.")
                    .arg(choiceText(kDwgSaveVersions, v.integer));
            return storeWrite(env, setting::DwgSaveVer, QString::number(v.integer));
        },
        kDwgSaveVersions)
        ->storedInSettings = true;
    const QStringList units = {QStringLiteral("1-Scientific     1.6449E+001"),
                               QStringLiteral("2-Decimal        16.4492"),
                               QStringLiteral("3-Engineering    1' - 4.4492"),
                               QStringLiteral("4-Architectural  1' - 4  7/16"),
                               QStringLiteral("5-Fractional     16 7/16")};
    add(
        "LUnits", "Sets the drawing linear units", Kind::Choice,
        [=](const Env& env) { return choiceText(units, settings(env).linearUnits); },
        [=](Env& env, const Value& v) {
            settings(env).linearUnits = v.integer;
            return QString();
        },
        units);
    QStringList precisions;
    for (int i = 0; i <= 8; ++i)
        precisions << QStringLiteral("%1-0.%2").arg(i).arg(QString(i, QLatin1Char('0')));
    add(
        "LUPrecision", "Sets the drawing precision", Kind::Choice,
        [=](const Env& env) { return choiceText(precisions, settings(env).precision); },
        [=](Env& env, const Value& v) {
            settings(env).precision = v.integer;
            return QString();
        },
        precisions);
    add(
        "LimitsLowerLeft", "Sets the drawing limits lower left point", Kind::Point,
        [=](const Env& env) { return formatPoint(settings(env).limitsMin); },
        [=](Env& env, const Value& v) {
            settings(env).limitsMin = v.point;
            return QString();
        });
    add(
        "LimitsUpperRight", "Sets the drawing limits upper right point", Kind::Point,
        [=](const Env& env) { return formatPoint(settings(env).limitsMax); },
        [=](Env& env, const Value& v) {
            settings(env).limitsMax = v.point;
            return QString();
        });
    // Folders separated by ";"; each must be a folder when it is set (one that went away
    // later is passed over).
    add(
        "SupportPath", "Specifies the search directories", Kind::Text,
        [](const Env& env) { return storeRead(env, setting::SupportPath, QString()); },
        [](Env& env, const Value& v) {
            QStringList folders;
            for (const QString& part : v.text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                const QFileInfo folder(part.trimmed());
                if (part.trimmed().isEmpty()) continue;
                if (!folder.isDir())
                    return QStringLiteral("%1 is not a folder.").arg(part.trimmed());
                folders << folder.absoluteFilePath();
            }
            const QString written =
                storeWrite(env, setting::SupportPath, folders.join(QLatin1Char(';')));
            if (written.isEmpty()) cad::setSearchFolders(folders);
            return written;
        })
        ->storedInSettings = true;
    add(
        "TemplateDrawing", "Path to a Tolvane Drawing Template", Kind::Text,
        [](const Env& env) { return env.context.templatePath; },
        [](Env& env, const Value& v) {
            // Empty goes back to the installation's template.
            const QString path = v.text.trimmed();
            const QFileInfo file(path);
            if (!path.isEmpty() &&
                (!file.isFile() ||
                 file.suffix().compare(QLatin1String("dxf"), Qt::CaseInsensitive) != 0))
                return QStringLiteral("%1 is not a drawing file (.dxf).").arg(path);
            return storeWrite(env, setting::TemplateDrawing,
                              path.isEmpty() ? path : file.absoluteFilePath());
        })
        ->storedInSettings = true;
    stored("UndoLimit", setting::UndoLimit, "Defines the Undo History size 1-20 Megabytes",
           Kind::Whole, QString::number(kUndoLimitMegabytes), 1, kUndoLimitMegabytes);
    add(
        "UndoMode", "Enable the Undo mode", Kind::Choice,
        [](const Env& env) { return boolText(env.drawing.undo().isRecording()); },
        [](Env& env, const Value& v) {
            env.drawing.undo().setRecording(v.integer != 0);
            return QString();
        },
        kBool);
    stored("WMFSaveSize", setting::WmfSaveSize,
           "Determines output WMF/EMF/BMP image height in pixels", Kind::Whole,
           QStringLiteral("1080"), 16, 16384);

    category = QStringLiteral("Behavior");
    // The drawing aids: a flag and a spacing per axis each, kept with the drawing.
    const auto aid = [&](const char* name, const char* description,
                         bool cad::DrawingSettings::*on) {
        add(
            name, description, Kind::Choice,
            [=](const Env& env) { return boolText(settings(env).*on); },
            [=](Env& env, const Value& v) {
                settings(env).*on = v.integer != 0;
                return QString();
            },
            kBool);
    };
    const auto spacing = [&](const char* name, const char* description,
                             QPointF cad::DrawingSettings::*space, bool x) {
        add(
            name, description, Kind::Positive,
            [=](const Env& env) {
                const QPointF p = settings(env).*space;
                return number(x ? p.x() : p.y());
            },
            [=](Env& env, const Value& v) {
                QPointF& p = settings(env).*space;
                (x ? p.rx() : p.ry()) = v.number;
                return QString();
            });
    };
    aid("GridMode", "Toggle the grid", &cad::DrawingSettings::gridMode);
    spacing("GridSpaceX", "Sets the X grid spacing", &cad::DrawingSettings::gridSpacing, true);
    spacing("GridSpaceY", "Sets the Y grid spacing", &cad::DrawingSettings::gridSpacing, false);
    aid("SnapMode", "Enables or disables the mouse movment in steps",
        &cad::DrawingSettings::snapMode);
    spacing("SnapSpaceX", "Sets the X snap spacing", &cad::DrawingSettings::snapSpacing, true);
    spacing("SnapSpaceY", "Sets the Y snap spacing", &cad::DrawingSettings::snapSpacing, false);
    add(
        "OrthoMode", "Set the ortho snap mode", Kind::Choice,
        [=](const Env& env) { return boolText(settings(env).orthoMode); },
        [=](Env& env, const Value& v) {
            settings(env).orthoMode = v.integer != 0;
            return QString();
        },
        kBool);
    stored("MouseWheel", setting::MwReversed, "Mouse Wheel Action", Kind::Choice,
           QStringLiteral("0"), 0, 0, {QStringLiteral("0-Normal"), QStringLiteral("1-Reversed")});
    stored("PickSize", QStringLiteral("PickSize"), "Determines the size of the cursor square",
           Kind::Whole, QStringLiteral("3"), 1, 50);

    category = QStringLiteral("Display");
    stored("BkColor", setting::BkColor, "Sets the background color of the display",
           Kind::ScreenColor, QStringLiteral("0,0,0"));
    stored("CrossSize", setting::CrossSize, "Sets the size of the cursor cross", Kind::Whole,
           QStringLiteral("5"), 1, 100);
    stored("CurveResolution", setting::CurveResolution,
           "Sets the curve resolution - higher number - better", Kind::Whole, QStringLiteral("0"),
           0, 10000);
    add(
        "FocalLength",
        "Sets the focal length of the camera (kept in the drawing for programs that show "
        "perspective; this view is flat)",
        Kind::Positive, [=](const Env& env) { return number(settings(env).focalLength); },
        [=](Env& env, const Value& v) {
            settings(env).focalLength = v.number;
            return QString();
        });
    stored("GripColor", setting::GripColor, "Sets the grip display color", Kind::ScreenColor,
           QStringLiteral("0,0,255"));
    stored("GripSize", setting::GripSize, "Sets the grip display Size", Kind::Whole,
           QStringLiteral("3"), 1, 50);
    stored("OSnapColor", setting::OSnapColor, "Sets the OSnap display color", Kind::ScreenColor,
           QStringLiteral("255,200,0"));
    stored("OSnapSize", setting::OSnapSize, "Sets the OSnap display size", Kind::Whole,
           QStringLiteral("6"), 2, 50);
    const auto origin = [](bool x) {
        return [x](const Env& env) {
            if (!env.context.viewCentre) return QString();
            return number(x ? env.context.viewCentre->x() : env.context.viewCentre->y());
        };
    };
    add("OriginX", "Read only -- X coord(in D.U.) of center of the View Window", Kind::Text,
        origin(true), {});
    add("OriginY", "Read only -- Y coord(in D.U.) of center of the View Window", Kind::Text,
        origin(false), {});
    stored("PenCaps", setting::PenCaps,
           "Determines how the ends of lines are drawn when PenWidth > 0", Kind::Choice,
           QStringLiteral("0"), 0, 0, {QStringLiteral("0-Rounded"), QStringLiteral("1-Flat")});
    add("PointMode", "Read Only -- Displays the point style. Set using the Point Styles dialog.",
        Kind::Text, [=](const Env& env) { return QString::number(settings(env).pointMode); }, {});
    stored("PtSize", setting::PtSize, "Sets the display size for point objects", Kind::Positive,
           QStringLiteral("3"));
    stored(
        "ScrollBars", setting::ScrollBars, "Scrollbar display", Kind::Choice, QStringLiteral("3"),
        0, 0,
        {QStringLiteral("1-Horizontal"), QStringLiteral("2-Vertical"), QStringLiteral("3-Both")});
    add(
        "ShowEdge",
        "Controls how the edges of the 3d objects appears after a shade or render (kept in the "
        "drawing for programs that shade; this view is not shaded)",
        Kind::Choice,
        [=](const Env& env) { return choiceText(kShadeEdges, settings(env).shadeEdge); },
        [=](Env& env, const Value& v) {
            settings(env).shadeEdge = v.integer;
            return QString();
        },
        kShadeEdges);
    stored("ShowWCSAxis", setting::ShowWcsAxis, "World CS axis display", Kind::Choice,
           QStringLiteral("0"), 0, 0, kBool);
    return out;
}

const QList<DrawingProperty>& drawingPropertyTable() {
    static const QList<DrawingProperty> table = drawingProperties();
    return table;
}

// The entity for a handle of the selection: in the current space, or an insert attribute.
QList<const cad::Entity*> entitiesOf(const Drawing& drawing, const QStringList& handles) {
    QList<const cad::Entity*> out;
    for (const QString& h : handles)
        if (const cad::Entity* e = drawing.document().find(h)) out << e;
    return out;
}

// Changes an entity of the current space, or an attribute through the insert that holds it.
bool modifyEntity(Drawing& drawing, const QString& handle,
                  const std::function<void(cad::Entity&)>& f) {
    cad::SpaceEditor editor = drawing.editor();
    if (editor.modify(handle, f)) return true;
    const QString h = cad::Document::normalHandle(handle);
    for (const cad::Entity& insert : drawing.space().entities) {
        for (size_t i = 0; i < insert.attributes.size(); ++i) {
            if (insert.attributes[i].handle != h) continue;
            return editor.modify(insert.handle, [&](cad::Entity& e) { f(e.attributes[i]); });
        }
    }
    return false;
}

}  // namespace

void applyDrawingSettings(Drawing& drawing, const SettingsStore& store) {
    bool ok = false;
    const int megabytes = store.read(setting::UndoLimit).trimmed().toInt(&ok);
    drawing.undo().setLimit(
        size_t(ok ? std::clamp(megabytes, 1, kUndoLimitMegabytes) : kUndoLimitMegabytes) << 20);
    // A font that went away since it was chosen leaves the sans-serif font.
    cad::setAlternateFont(fontFamilyOf(store.read(setting::DwgAlternateFontFile), nullptr));
    cad::setSearchFolders(store.read(setting::SupportPath).split(QLatin1Char(';')));
}

// ---- values ---------------------------------------------------------------------------------

QString colorValueText(int color) {
    if (color == cad::kColorByLayer) return QStringLiteral("BYLAYER");
    if (color == cad::kColorByBlock) return QStringLiteral("BYBLOCK");
    return QString::number(color);
}

std::optional<int> parseColorValue(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("BYLAYER"), Qt::CaseInsensitive) == 0 ||
        t.compare(QLatin1String("Same As Layer"), Qt::CaseInsensitive) == 0)
        return cad::kColorByLayer;
    if (t.compare(QLatin1String("BYBLOCK"), Qt::CaseInsensitive) == 0) return cad::kColorByBlock;
    bool ok = false;
    const int n = t.toInt(&ok);
    if (!ok || n < 0 || n > 256) return std::nullopt;
    return n;
}

QString lineWeightText(int weight) {
    if (weight == -1) return QStringLiteral("ByLayer");
    if (weight == -2) return QStringLiteral("ByBlock");
    if (weight == -3) return QStringLiteral("Default");
    return QStringLiteral("%1 mm").arg(weight / 100.0, 0, 'f', 2);
}

std::optional<int> parseLineWeight(const QString& text) {
    QString t = text.trimmed();
    for (int w : {-1, -2, -3})
        if (t.compare(lineWeightText(w), Qt::CaseInsensitive) == 0) return w;
    bool ok = false;
    if (t.endsWith(QLatin1String("mm"), Qt::CaseInsensitive)) {
        t.chop(2);
        const double mm = t.trimmed().toDouble(&ok);
        if (!ok || mm < 0 || mm > 2.11) return std::nullopt;
        return int(std::lround(mm * 100));
    }
    const int hundredths = t.toInt(&ok);
    if (!ok || hundredths < -3 || hundredths > 211) return std::nullopt;
    return hundredths;
}

double entityLength(const cad::Entity& e) {
    switch (e.kind) {
        case cad::EntityKind::Line:
            return std::hypot(e.end.x() - e.start.x(), e.end.y() - e.start.y());
        case cad::EntityKind::Circle:
            return 2 * kPi * e.radius;
        case cad::EntityKind::Arc: {
            double sweep = std::fmod(e.endAngle - e.startAngle, 360.0);
            if (sweep <= 0) sweep += 360.0;
            return e.radius * sweep * kPi / 180.0;
        }
        case cad::EntityKind::Polyline: {
            double total = 0;
            const int n = int(e.vertices.size());
            for (int i = 0; i + 1 < n || (e.closed && i < n && n > 1); ++i) {
                const cad::Vertex& a = e.vertices[i];
                const QPointF b = e.vertices[(i + 1) % n].pos;
                const double chord = std::hypot(b.x() - a.pos.x(), b.y() - a.pos.y());
                if (a.bulge == 0) {
                    total += chord;
                } else {
                    const double theta = 4 * std::atan(std::abs(a.bulge));
                    total += chord / (2 * std::sin(theta / 2)) * theta;
                }
            }
            return total;
        }
        default:
            return 0;
    }
}

double entityArea(const cad::Entity& e) {
    switch (e.kind) {
        case cad::EntityKind::Circle:
            return kPi * e.radius * e.radius;
        case cad::EntityKind::Ellipse: {
            const double a = std::hypot(e.end.x(), e.end.y());
            return std::abs(e.endAngle - e.startAngle) >= 2 * kPi - 1e-9 ? kPi * a * a * e.ratio
                                                                         : 0;
        }
        case cad::EntityKind::Polyline: {
            if (!e.closed) return 0;
            // The polygon of the vertices, with the circle segment of each bulge added or taken.
            double twice = 0, segments = 0;
            const int n = int(e.vertices.size());
            for (int i = 0; i < n; ++i) {
                const cad::Vertex& a = e.vertices[i];
                const QPointF b = e.vertices[(i + 1) % n].pos;
                twice += a.pos.x() * b.y() - b.x() * a.pos.y();
                if (a.bulge != 0) {
                    const double chord = std::hypot(b.x() - a.pos.x(), b.y() - a.pos.y());
                    const double theta = 4 * std::atan(a.bulge);
                    const double r = chord / (2 * std::sin(std::abs(theta) / 2));
                    segments += (theta > 0 ? 1 : -1) * r * r / 2 *
                                (std::abs(theta) - std::sin(std::abs(theta)));
                }
            }
            return std::abs(twice / 2 + segments);
        }
        default:
            return 0;
    }
}

// ---- the list ---------------------------------------------------------------------------------

PropertyList::PropertyList(Drawing& drawing, Ui& ui, PropertyContext context)
    : drawing_(drawing), ui_(ui), context_(std::move(context)) {}

QList<PropertyEntry> PropertyList::load(const QStringList& selection) const {
    QList<PropertyEntry> out;
    const QList<const cad::Entity*> entities = entitiesOf(drawing_, selection);
    if (selection.isEmpty()) {
        Env env{drawing_, context_};
        for (const DrawingProperty& p : drawingPropertyTable()) {
            PropertyEntry entry{p.name,    p.category, p.get(env), p.description,
                                p.choices, !p.set,     p.editor()};
            if (p.names) entry.choices = p.names(drawing_.document());
            out << entry;
        }
        return out;
    }
    if (entities.isEmpty()) return out;
    QString type = cad::entityTypeName(*entities.first());
    for (const cad::Entity* e : entities)
        if (cad::entityTypeName(*e) != type) type.clear();
    const auto addAll = [&](const QList<EntityProperty>& properties, bool general) {
        for (const EntityProperty& p : properties) {
            QString value = p.get(*entities.first());
            for (const cad::Entity* e : entities)
                if (p.get(*e) != value) value = kVaries;
            const bool taken =
                !p.takes || std::all_of(entities.cbegin(), entities.cend(),
                                        [&](const cad::Entity* e) { return p.takes(*e); });
            PropertyEntry entry{p.name,    categoryOf(p, type, general),
                                value,     p.description,
                                p.choices, !p.set || !taken,
                                p.editor()};
            if (p.names) entry.choices = p.names(drawing_.document());
            out << entry;
        }
    };
    addAll(generalEntityProperties(), true);
    if (!type.isEmpty()) addAll(typeProperties(type), false);
    return out;
}

bool PropertyList::refuse(const QString& why) const {
    ui_.message(why, MsgButtons::Ok, MsgIcon::Warning);
    return false;
}

bool PropertyList::change(const QStringList& selection, const QString& name, const QString& text) {
    changedSettings_ = false;
    const cad::Document& doc = drawing_.document();
    const auto read = [&](Kind kind, const QStringList& choices,
                          const std::function<QStringList(const cad::Document&)>& names, double low,
                          double high) {
        return readValue(name, kind, choices, names ? names(doc) : QStringList(), text, low, high);
    };
    if (selection.isEmpty()) {
        for (const DrawingProperty& p : drawingPropertyTable()) {
            if (p.name.compare(name, Qt::CaseInsensitive) != 0) continue;
            if (!p.set) return refuse(QStringLiteral("%1 is read only.").arg(p.name));
            const auto value = read(p.kind, p.choices, p.names, p.low, p.high);
            if (const QString* why = std::get_if<QString>(&value)) return refuse(*why);
            Env env{drawing_, context_};
            if (const QString why = p.set(env, std::get<Value>(value)); !why.isEmpty())
                return refuse(why);
            if (p.storedInSettings) {
                changedSettings_ = true;
            } else {
                // Kept in the file's header: a change undo does not take back.
                drawing_.setModified(true);
                Q_EMIT drawing_.contentChanged();
            }
            return true;
        }
        return refuse(QStringLiteral("The drawing has no property %1.").arg(name));
    }
    const QList<const cad::Entity*> entities = entitiesOf(drawing_, selection);
    if (entities.isEmpty()) return false;
    QString type = cad::entityTypeName(*entities.first());
    for (const cad::Entity* e : entities)
        if (cad::entityTypeName(*e) != type) type.clear();
    QList<EntityProperty> properties = generalEntityProperties();
    if (!type.isEmpty()) properties << typeProperties(type);
    for (const EntityProperty& p : properties) {
        if (p.name.compare(name, Qt::CaseInsensitive) != 0) continue;
        if (!p.set) return refuse(QStringLiteral("%1 is read only.").arg(p.name));
        if (p.takes && !std::all_of(entities.cbegin(), entities.cend(),
                                    [&](const cad::Entity* e) { return p.takes(*e); }))
            return refuse(
                QStringLiteral("%1 is read only here: only polylines keep a width.").arg(p.name));
        const auto value = read(p.kind, p.choices, p.names, 0, 0);
        if (const QString* why = std::get_if<QString>(&value)) return refuse(*why);
        QStringList handles;
        for (const cad::Entity* e : entities) handles << e->handle;
        QString why;
        {
            cad::UndoGroup step(drawing_.undo());
            for (const QString& h : handles) {
                modifyEntity(drawing_, h, [&](cad::Entity& e) {
                    if (why.isEmpty()) why = p.set(e, std::get<Value>(value));
                });
                if (!why.isEmpty()) break;
            }
            if (why.isEmpty()) step.commit();
        }
        if (!why.isEmpty()) return refuse(why);
        if (p.name == QLatin1String("PenStyle"))
            requireLineType(drawing_.document(), lineTypeOfNumber(std::get<Value>(value).integer));
        return true;
    }
    return refuse(QStringLiteral("The selection has no property %1.").arg(name));
}

}  // namespace tolvane
