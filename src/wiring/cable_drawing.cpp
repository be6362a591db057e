#include "wiring/cable_drawing.h"

#include <QScopeGuard>

#include "cad/geometry.h"
#include "cad/picking.h"
#include "db/preferences.h"
#include "db/records/cable_number.h"
#include "db/records/signal_types.h"
#include "drawings/draw_commands.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "shell/event_log.h"
#include "ui/ui.h"

namespace tolvane::wiring {

namespace {

const QString kCableNoStyle = QStringLiteral("TL_CABLENO");
constexpr double kNumberHeight = 0.25;
const QString kTip = QStringLiteral("Double-click this cable\r\nto assign it to the database");
const QString kContinuingTip =
    QStringLiteral("Double-click the other side of this cable\r\nto assign it to the database");

// A jack of any style and side: the blocks the end resolution reads as jacks.
bool isJack(const QString& blockName) {
    return endKind(blockName, End::Source) == EndKind::Jack ||
           endKind(blockName, End::Destination) == EndKind::Jack;
}

QString ensureLayer(cad::Document& doc, const QString& name, int color = 7) {
    if (const cad::Layer* l = doc.layer(name)) return l->name;  // names compare without case
    cad::Layer layer;
    layer.name = name;
    layer.color = color;
    doc.addLayer(layer);
    return name;
}

// The way a cable runs: out of the source horizontally, across at the middle, into the
// destination.
QList<cad::Vertex> route(QPointF s, QPointF d) {
    const double middle = s.x() + (d.x() - s.x()) / 2;
    return {{s}, {{middle, s.y()}}, {{middle, d.y()}}, {d}};
}

bool validType(const QString& type) {
    return !type.isEmpty() && type != kNoSignalType;
}

// The least room between the two numbers of a cable.
constexpr double kNumberGap = 0.1;
// The characters a displayed cable number takes at most in practice ("AUD-00123").
constexpr int kNumberLength = 9;

cad::Entity numberText(QPointF at, bool rightAligned, const QString& layer, const QString& cable) {
    cad::Entity t = cad::Entity::textAt(at, db::CableNumber::placeholder(), kNumberHeight);
    t.layer = layer;
    t.style = kCableNoStyle;
    if (rightAligned) {
        t.hAlign = 2;
        t.end = at;  // aligned texts are placed by their alignment point
    }
    tag::tagEntity(t, tag::kind::CableNo, {}, {}, {}, {}, cable);
    return t;
}

}  // namespace

CableOptions cableOptions(const db::Preferences& row) {
    CableOptions o;
    if (!row.isLoaded()) return o;
    o.repeat = row.flag(db::pref::CablesRepeat, o.repeat);
    o.autoPoint = row.flag(db::pref::CablesAutoPoint, o.autoPoint);
    o.autoPlace = row.flag(db::pref::CablesAutoPlace, o.autoPlace);
    bool ok = false;
    const double d = row.value(db::pref::CablesAutoPlaceDist).toDouble(&ok);
    if (ok && d > 0 && d < 1e6) o.distance = d;
    o.autoAlias = row.flag(db::pref::AutoAlias, o.autoAlias);
    o.warnSignal = row.flag(db::pref::CableWarnSig, o.warnSignal);
    o.colorLine = row.flag(db::pref::CableColorLine, o.colorLine);
    o.colorText = row.flag(db::pref::CableColorText, o.colorText);
    const auto style = [&](const QString& use, const QString& name, TerminalKind kind) {
        const QString s = row.value(name).toString().trimmed();
        return row.flag(use, false) && terminalStyles(kind).contains(s, Qt::CaseInsensitive)
                   ? s.toUpper()
                   : QString();
    };
    o.defaultJack = style(db::pref::UseDefaultJack, db::pref::DefaultJack, TerminalKind::Jack);
    o.defaultJBox = style(db::pref::UseDefaultJb, db::pref::DefaultJb, TerminalKind::JBox);
    return o;
}

QStringList terminalStyles(TerminalKind kind) {
    switch (kind) {
        case TerminalKind::Jack:
            return {QStringLiteral("FN"), QStringLiteral("HN"), QStringLiteral("J")};
        case TerminalKind::JBox:
            return {QStringLiteral("JB"), QStringLiteral("JB_1")};
        case TerminalKind::Router:
        case TerminalKind::Pointer:
            break;
    }
    return {};
}

QString terminalStyleHeading(TerminalKind kind) {
    switch (kind) {
        case TerminalKind::Jack:
            return QStringLiteral("Select a Jack Style");
        case TerminalKind::JBox:
            return QStringLiteral("Select a J-Box Style");
        case TerminalKind::Router:
        case TerminalKind::Pointer:
            break;
    }
    return {};
}

QString terminalBlock(const Terminal& t) {
    const QString side = t.end == End::Source ? QStringLiteral("_S") : QStringLiteral("_D");
    const QString style = t.style.toUpper();
    switch (t.kind) {
        case TerminalKind::Jack:
            if (style == QLatin1String("FN")) return QStringLiteral("FN_JACK") + side;
            if (style == QLatin1String("HN")) return QStringLiteral("HN_JACK") + side;
            if (style == QLatin1String("J")) return QStringLiteral("JACK1_1") + side;
            return {};
        case TerminalKind::JBox:
            if (style == QLatin1String("JB")) return QStringLiteral("JBOX") + side;
            if (style == QLatin1String("JB_1")) return QStringLiteral("JBOX_1") + side;
            return {};
        case TerminalKind::Router:
            return QStringLiteral("RTR") + side;
        case TerminalKind::Pointer:
            return QStringLiteral("POINTER") + side;
    }
    return {};
}

QStringList CableDrawer::signalLayers(const QString& type) {
    return {type, type + QStringLiteral("_No"), type + QStringLiteral("_PIN")};
}

CableDrawer::CableDrawer(Drawing& drawing, Ui& ui, EventLog* log, CableOptions options,
                         db::Connections& registry)
    : drawing_(drawing),
      ui_(ui),
      log_(log),
      options_(std::move(options)),
      registry_(registry),
      resolver_(drawing, ui, log, {options_.autoAlias, 0.1}, registry) {}

void CableDrawer::log(const QString& line) {
    if (log_ && log_->enabled()) log_->log(line);
}

CableDrawer::EndPick CableDrawer::resolved(End end, QPointF at) {
    EndPick p;
    p.at = at;
    p.text = resolver_.resolve(end, at);
    p.block = resolver_.block();
    return p;
}

bool CableDrawer::goOn(End end) {
    const QString question =
        end == End::Source
            ? QStringLiteral("Unable to retrieve info from source block. Continue?")
            : QStringLiteral("Unable to retrieve info from destination block. Continue?");
    return ui_.message(question, MsgButtons::YesNo, MsgIcon::Question) == MsgButton::Yes;
}

std::optional<CableDrawer::EndPick> CableDrawer::pick(End end, const QString& prompt,
                                                      std::optional<QPointF> from) {
    // From a source picked already, the drawing shows the cable's way to the cursor.
    const auto preview = [from](QPointF cursor) {
        const QList<cad::Vertex> way = route(*from, cursor);
        QPainterPath path(way.first().pos);
        for (const cad::Vertex& v : way) path.lineTo(v.pos);
        return path;
    };
    const PointAnswer a = from ? ui_.getPointFrom(prompt, *from, false, preview, cad::SnapInsert)
                               : ui_.getPoint(prompt, cad::SnapInsert);
    if (a.cancelled) return std::nullopt;
    EndPick p = resolved(end, a.point);
    if (p.text.isEmpty() && !goOn(end)) return std::nullopt;
    return p;
}

std::optional<CableDrawer::EndPick> CableDrawer::placeTerminal(const Terminal& t,
                                                               const EndPick& other) {
    const QString block = terminalBlock(t);
    const bool atDestination = t.end == End::Destination;
    QPointF connection;
    QPointF insertAt;
    if (options_.autoPlace) {
        // Beside the other end, on the side the cable runs to.
        const QPointF offset(atDestination ? options_.distance : -options_.distance, 0);
        connection = insertAt = other.at + offset;
    } else if (t.kind == TerminalKind::Router) {
        // A router is a large block: the cable runs to the point picked on it.
        const PointAnswer r = ui_.getPoint(QStringLiteral("Select the Router Point"));
        if (r.cancelled) return std::nullopt;
        const PointAnswer p = ui_.getPoint(QStringLiteral("Place the ROUTER"));
        if (p.cancelled) return std::nullopt;
        connection = r.point;
        insertAt = p.point;
    } else {
        const QString prompt = t.kind == TerminalKind::Jack   ? QStringLiteral("Place the Jack")
                               : t.kind == TerminalKind::JBox ? QStringLiteral("Place the J-BOX")
                                                              : QStringLiteral("Place the POINTER");
        const PointAnswer p = ui_.getPoint(prompt);
        if (p.cancelled) return std::nullopt;
        connection = insertAt = p.point;
    }
    drawing_.placeBlock(block, insertAt);
    EndPick p = resolved(t.end, connection);
    // A pointer that starts a cable has no end of its own: assignment reads it beyond the pair.
    const bool followed = t.kind == TerminalKind::Pointer && t.end == End::Source;
    if (p.text.isEmpty() && !followed && !goOn(t.end)) return std::nullopt;
    return p;
}

CableDrawer::Outcome CableDrawer::drawOne(const std::optional<Terminal>& terminal) {
    log(QStringLiteral("Start Cable"));
    drawn_.clear();
    // Everything the cable changes, an alias written at an end included, is one step; a
    // cable given up at any prompt takes all of it back.
    cad::UndoGroup group(drawing_.undo());
    auto forget = qScopeGuard([this] { drawn_.clear(); });
    const Outcome outcome = options_.manualDraw && !terminal ? drawByHand() : drawPicked(terminal);
    if (outcome != Outcome::Ended) {
        group.commit();
        forget.dismiss();
    }
    return outcome;
}

CableDrawer::Outcome CableDrawer::drawPicked(const std::optional<Terminal>& terminal) {
    const bool terminalAtSource = terminal && terminal->end == End::Source;
    std::optional<EndPick> source, destination;
    if (!terminalAtSource) {
        source = pick(End::Source, QStringLiteral("Select the Source"));
        if (!source) return Outcome::Ended;
    }
    if (terminal && !terminalAtSource) {
        destination = placeTerminal(*terminal, *source);
    } else {
        const QString prompt = source && source->block.isEmpty()
                                   ? QStringLiteral("Please select a destination")
                                   : QStringLiteral("Select the Destination");
        destination =
            pick(End::Destination, prompt, source ? std::optional(source->at) : std::nullopt);
        if (destination && terminalAtSource) source = placeTerminal(*terminal, *destination);
    }
    if (!source || !destination) return Outcome::Ended;
    drawBetween(*source, *destination);
    return Outcome::Drawn;
}

CableDrawer::Outcome CableDrawer::drawByHand() {
    ui_.history(QStringLiteral("Manually Draw The Cable"), true);
    const QString handle = drawPolyline(drawing_, ui_);
    if (handle.isEmpty()) return Outcome::Ended;
    const cad::Entity* line = drawing_.document().find(handle);
    const EndPick source = resolved(End::Source, line->vertices.first().pos);
    const EndPick destination = resolved(End::Destination, line->vertices.last().pos);
    drawn_ << addCable(source, destination, kTip, handle);
    return Outcome::Drawn;
}

void CableDrawer::drawBetween(const EndPick& source, const EndPick& destination) {
    if (!options_.autoPoint) {
        drawn_ << addCable(source, destination, kTip);
        return;
    }
    const double d = options_.distance;
    const QString sourceSide =
        drawing_.placeBlock(QStringLiteral("POINTER_D"), source.at + QPointF(d, 0));
    const QString continuing =
        drawing_.placeBlock(QStringLiteral("POINTER_S"), destination.at - QPointF(d, 0));
    const EndPick intoPointer = resolved(End::Destination, source.at + QPointF(d, 0));
    const EndPick outOfPointer = resolved(End::Source, destination.at - QPointF(d, 0));
    drawn_ << addCable(source, intoPointer, kTip);
    drawn_ << addCable(outOfPointer, destination, kContinuingTip);
    if (!linkPointers || !linkPointers(sourceSide, continuing)) {
        ui_.message(QStringLiteral("unable to link pointers"), MsgButtons::Ok, MsgIcon::Warning);
        ui_.history(QStringLiteral("Unable to link pointers"), true);
    }
}

DrawnCable CableDrawer::addCable(const EndPick& source, const EndPick& destination,
                                 const QString& tip, const QString& drawnByHand) {
    cad::Document& doc = drawing_.document();
    if (!doc.textStyle(kCableNoStyle)) {
        cad::TextStyle style;
        style.name = kCableNoStyle;
        doc.addTextStyle(style);
    }
    const QPointF s = source.at;
    const QPointF d = destination.at;
    const double middle = s.x() + (d.x() - s.x()) / 2;

    // The polyline first: the texts name it, then it names them.
    DrawnCable cable;
    cad::SpaceEditor editor = drawing_.editor();
    const auto makeCable = [&](cad::Entity& line) {
        line.tooltip = tip;
        tag::tagEntity(line, tag::kind::Cable, {}, {}, {}, {}, {}, source.text, destination.text);
    };
    if (drawnByHand.isEmpty()) {
        cad::Entity line = cad::Entity::polyline(route(s, d), false);
        makeCable(line);
        cable.polyline = editor.add(std::move(line));
    } else {
        cable.polyline = drawnByHand;
        editor.modify(drawnByHand, makeCable);
    }

    const QString textLayer =
        ensureLayer(doc, options_.autoPlace ? QStringLiteral("CABLES") : QStringLiteral("Cables"));
    // Placed automatically, the numbers stand at the distance from the ends where the run
    // out of the source and into the destination is long enough; else next to the ends.
    const double near = options_.autoPlace && options_.distance <= std::abs(middle - s.x())
                            ? options_.distance
                            : 0.1;
    // A cable leaving a jack has its number on the far side of the jack body.
    const cad::Entity* from = source.block.isEmpty() ? nullptr : doc.find(source.block);
    cad::Entity sourceText;
    if (from && isJack(from->blockName)) {
        const cad::Entity* w = from->attribute(QStringLiteral("Read Only PinWidth"));
        const double pinWidth = w ? w->text.trimmed().toDouble() : 0.0;
        sourceText =
            numberText({s.x() - pinWidth - 0.1, s.y() + 0.03}, true, textLayer, cable.polyline);
    } else {
        sourceText = numberText({s.x() + near, s.y() + 0.03}, false, textLayer, cable.polyline);
    }
    cad::Entity destinationText =
        numberText({d.x() - near, d.y() + 0.03}, true, textLayer, cable.polyline);
    // On a cable too short for both numbers side by side (one into a pointer at a short
    // distance), the destination's number stands below the cable instead of over the other.
    // Measured as the numbers that assignment writes later, which are longer than the
    // placeholder.
    const auto room = [&doc](cad::Entity t) {
        t.text = QString(kNumberLength, QLatin1Char('0'));
        return cad::boundingBox(cad::textBox(doc, t));
    };
    if (room(sourceText).expanded(kNumberGap).intersects(room(destinationText))) {
        const QPointF below(d.x() - near, d.y() - 0.03 - cad::textHeight(doc, destinationText));
        destinationText.start = destinationText.end = below;
    }
    cable.sourceText = editor.add(std::move(sourceText));
    cable.destinationText = editor.add(std::move(destinationText));
    editor.modify(cable.polyline, [&](cad::Entity& line) {
        tag::setAssoc(line, cable.sourceText + QLatin1Char('|') + cable.destinationText);
    });
    signalize(cable.polyline);
    return cable;
}

std::optional<int> signalColor(const QString& type, db::Connections& registry) {
    const QList<db::SignalTypeRecord> types = db::SignalTypeTable(registry).withType(type);
    if (types.size() != 1) return std::nullopt;  // only one row names a colour
    return types.first().color.index;
}

void applySignalType(Drawing& drawing, const QString& polyline, const QString& type, bool colorLine,
                     bool colorText, db::Connections& registry) {
    const cad::Entity* cable = drawing.document().find(polyline);
    if (!cable || type.isEmpty()) return;
    const std::optional<int> color = signalColor(type, registry);
    // Index 0 is "Same As Layer": no colour of its own, the entity shows its layer's.
    const int entityColor = color && *color > 0 ? *color : cad::kColorByLayer;
    const int layerColor = color && *color > 0 ? *color : 7;
    cad::Document& doc = drawing.document();
    if (!doc.layer(type))
        for (const QString& name : CableDrawer::signalLayers(type))
            ensureLayer(doc, name, layerColor);
    const QString lineLayer = ensureLayer(doc, type, layerColor);
    const QString textLayer = ensureLayer(doc, CableDrawer::signalLayers(type)[1], layerColor);

    const QString assoc = tag::assoc(*cable);
    cad::SpaceEditor editor = drawing.editor();
    if (colorLine) {
        editor.modify(polyline, [&](cad::Entity& e) {
            e.layer = lineLayer;
            e.color = entityColor;
        });
    }
    const int bar = assoc.indexOf(QLatin1Char('|'));
    const QStringList texts = {assoc.left(bar), bar < 0 ? QString() : assoc.mid(bar + 1)};
    for (const QString& text : texts) {
        const cad::Entity* t = text.isEmpty() ? nullptr : doc.find(text);
        if (!t || t->kind != cad::EntityKind::Text) continue;
        editor.modify(t->handle, [&](cad::Entity& e) {
            e.layer = textLayer;
            if (colorText) e.color = entityColor;
        });
    }
}

void CableDrawer::signalize(const QString& polyline) {
    const cad::Entity* cable = drawing_.document().find(polyline);
    if (!cable) return;
    const QString sourceType = tag::field(tag::src(*cable), 4);
    const QString destinationType = tag::field(tag::dst(*cable), 4);

    // An end without a type of its own (a terminal placed on the fly, a pointer: empty or the
    // placeholder) takes the other's without a question; only two real types that differ are
    // announced.
    QString type;
    const bool mismatch =
        validType(sourceType) && validType(destinationType) && sourceType != destinationType;
    if (validType(sourceType)) {
        type = sourceType;
        if (mismatch && options_.warnSignal)
            ui_.message(QStringLiteral("Signal Types do not match. Using source Signal Type"));
    } else if (validType(destinationType)) {
        type = destinationType;
    }
    if (type.isEmpty()) {
        ui_.history(QStringLiteral("Unable to retrieve any Signal Type."), true);
        return;
    }
    applySignalType(drawing_, polyline, type, options_.colorLine, options_.colorText, registry_);
}

}  // namespace tolvane::wiring
