// Generation of equipment blocks: names, geometry, pin colours and layers, insertion and tag.
#include "equipment/block_generator.h"

#include <QRegularExpression>
#include <QtMath>

#include "cad/geometry.h"
#include "db/preferences.h"
#include "db/records/signal_types.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "drawings/standard_drawings.h"
#include "ui/ui.h"

namespace tolvane::equipment {

namespace {

// DXF text justification: horizontal 0 left, 1 centre, 2 right; vertical 0 baseline,
// 2 middle.
enum HAlign { Left = 0, Centre = 1, Right = 2 };
enum VAlign { Baseline = 0, Middle = 2 };

// The attribute definition flag of the two read-only attributes: not shown on the drawing.
constexpr int kInvisible = 1;

// Loop-through arcs run from straight down round the right to straight up.
constexpr double kLoopStart = 4.71;
constexpr double kLoopEnd = 1.57;
constexpr double kLoopRadius = 0.25;

constexpr double kTearBulge = 0.15;

int intOr(const QVariant& v, int fallback) {
    bool ok = false;
    const int n = v.toString().trimmed().toInt(&ok);
    return ok ? n : fallback;
}

bool flagOr(const QVariant& v, bool fallback) {
    return v.isNull() || !v.isValid() ? fallback : v.toBool();
}

void justify(cad::Entity& e, int h, int v) {
    e.hAlign = h;
    e.vAlign = v;
    e.end = e.start;  // aligned texts are placed by their alignment point
}

cad::Entity text(QPointF at, const QString& value, double height, const QString& layer,
                 const QString& style, int h, int v) {
    cad::Entity e = cad::Entity::textAt(at, value, height);
    e.layer = layer;
    e.style = style;
    justify(e, h, v);
    return e;
}

cad::Entity attributeDefinition(QPointF at, const QString& tag, const QString& prompt,
                                const QString& value, double height, const QString& layer,
                                const QString& style, int h, int v) {
    cad::Entity e = cad::Entity::attributeDefinition(at, tag, prompt, value, height);
    e.layer = layer;
    e.style = style;
    justify(e, h, v);
    return e;
}

// The body of a standard block: nine vertices round the rectangle with a vertex in the
// middle of each side, so that a torn side is two half-segments bulging opposite ways.
cad::Entity standardBody(double w, double h, const TearSides& tear) {
    QList<cad::Vertex> v = {{{0, 0}, 0},     {{w / 2, 0}, 0}, {{w, 0}, 0},
                            {{w, h / 2}, 0}, {{w, h}, 0},     {{w / 2, h}, 0},
                            {{0, h}, 0},     {{0, h / 2}, 0}, {{0, 0}, 0}};
    const auto wave = [&v](int first) {
        v[first].bulge = -kTearBulge;
        v[first + 1].bulge = kTearBulge;
    };
    if (tear.top) wave(4);
    if (tear.left) wave(6);
    if (tear.right) wave(2);
    if (tear.bottom) wave(0);
    return cad::Entity::polyline(v, true);
}

// The room between a standard block's input and output names in one row: a text height, so
// that the two never read as one ("AUDIO IN 1 AES OUT 1").
constexpr double kNameGap = 0.25;
// Names are squeezed to fit the body down to this share of their width; beyond it the body
// grows instead, so that a name stays legible.
constexpr double kLeastSqueeze = 0.6;

double textWidth(const cad::Document& doc, const cad::Entity& e) {
    const cad::Prim box = cad::textBox(doc, e);
    return cad::length(box.q[1] - box.q[0]);
}

// Puts a middle-aligned pin name that is wider than `room` between the two points it may
// span: a fitted text keeps its height and is squeezed into the room.
void fitName(const cad::Document& doc, cad::Entity& e, double room) {
    if (textWidth(doc, e) <= room) return;
    const double h = cad::textHeight(doc, e);
    // Fitted texts stand on their baseline; the box stays where the middle-aligned one was.
    const double left = e.hAlign == Right ? e.end.x() - room : e.end.x();
    e.start = QPointF(left, e.end.y() - h / 2);
    e.end = QPointF(left + room, e.end.y() - h / 2);
    e.hAlign = 5;
    e.vAlign = Baseline;
}

cad::Entity daBody(double w, double h) {
    return cad::Entity::polyline({{{0, 0}, 0}, {{w, h / 2}, 0}, {{0, h}, 0}, {{0, 0}, 0}}, true);
}

}  // namespace

BlockPreferences BlockPreferences::from(const db::Preferences& row) {
    BlockPreferences p;
    p.pinSpacing = std::max(1, intOr(row.value(db::pref::BlockPinSpacing), p.pinSpacing));
    p.width = std::max(1, intOr(row.value(db::pref::BlockWidth), p.width));
    p.pinWidth = std::max(1, intOr(row.value(db::pref::BlockPinWidth), p.pinWidth));
    p.height = std::max(1, intOr(row.value(db::pref::BlockHeight), p.height));
    p.color = intOr(row.value(db::pref::BlockColor), p.color);
    if (p.color < cad::kColorByBlock || p.color > cad::kColorByLayer) p.color = 7;
    p.coloredPins = flagOr(row.value(db::pref::BlockColoredPins), p.coloredPins);
    p.signalLayers = flagOr(row.value(db::pref::CableSignalLayer), p.signalLayers);
    p.useDefaultNames = flagOr(row.value(db::pref::BlockUseDefaultNames), p.useDefaultNames);
    p.tearSettings = flagOr(row.value(db::pref::BlockTearSettings), p.tearSettings);
    p.displayPrefs = flagOr(row.value(db::pref::BlockDisplayPrefs), p.displayPrefs);
    return p;
}

BlockPreferences BlockPreferences::installation(db::Connections& registry) {
    constexpr int kInstallationRow = 1;  // the first user's row, made with the installation
    db::Preferences row(registry);
    return row.load(kInstallationRow) ? from(row) : BlockPreferences{};
}

QString nextBlockName(const cad::Document& doc, const QString& manufacturer, const QString& model) {
    const QString stem = manufacturer.left(8) + QLatin1Char('-') + model.left(8) + QLatin1Char('v');
    static const QRegularExpression version1(QStringLiteral("v(\\d)$"));
    static const QRegularExpression version2(QStringLiteral("v(\\d\\d)$"));
    static const QRegularExpression version3(QStringLiteral("v(\\d\\d\\d)$"));
    int v = 0;
    QString name = stem + QString::number(v);
    while (doc.block(name)) {
        QRegularExpressionMatch m = version1.match(name);
        if (!m.hasMatch()) m = version2.match(name);
        if (!m.hasMatch()) m = version3.match(name);
        // The name always ends in the version just written, so one of the three matches.
        v = m.captured(1).toInt() + 1;
        name = stem + QString::number(v);
    }
    return name;
}

std::vector<cad::Entity> blockEntities(
    const BlockRequest& request, const BlockPreferences& prefs, const TearSides& tear,
    const std::function<PinStyle(const db::PinRecord&)>& pinStyle, const cad::Document* styles) {
    const bool da = request.mode == BlockMode::DA;
    const int ni = int(request.inputs.size()) + 1;
    const int no = int(request.outputs.size()) + 1;
    const int s = da ? 1 : prefs.pinSpacing;
    cad::Document standardStyles;
    if (!styles) {
        standard::addStandardStylesAndLayers(standardStyles);
        styles = &standardStyles;
    }
    const double w = da ? prefs.width : standardWidth(request, prefs, *styles);
    const double p = prefs.pinWidth;
    const double h = da ? (prefs.height < ni ? ni : prefs.height) : double(s * std::max(ni, no));
    const double textHeight = da ? 0.2 : 0.25;
    const QString pinLayer = da ? QStringLiteral("PINNAME") : QStringLiteral("PinName");
    const QString outputTag = da ? QStringLiteral("O/P-") : QStringLiteral("OUTPUT-");

    std::vector<cad::Entity> out;
    cad::Entity body = da ? daBody(w, h) : standardBody(w, h, tear);
    body.color = prefs.color;
    out.push_back(std::move(body));

    const auto pinLine = [&](QPointF a, QPointF b, const db::PinRecord& pin) {
        const PinStyle style = pinStyle(pin);
        cad::Entity line = cad::Entity::line(a, b);
        line.color = style.color;
        line.layer = style.layer;
        return line;
    };
    const auto connector = [&](QPointF at, const db::PinRecord& pin, int hAlign) {
        return text(at, pin.conn, textHeight, QStringLiteral("Connectors"),
                    QStringLiteral("TL_CONNECTOR"), hAlign, Baseline);
    };

    for (int k = 0; k < request.inputs.size(); ++k) {
        const db::PinRecord& pin = request.inputs[k];
        const double y = da ? h / 2 + (ni - 2) / 2.0 - k : h - 1 - k * s;
        // The name starts where a destination probe looks: 0.5 inside the body.
        out.push_back(attributeDefinition({0.5, y}, QStringLiteral("INPUT-%1").arg(k + 1), {},
                                          pin.name, textHeight, pinLayer, QStringLiteral("TL_PIN"),
                                          Left, Middle));
        out.push_back(pinLine({-p, y}, {0, y}, pin));
        out.push_back(connector(da ? QPointF(-0.25, y + 0.1) : QPointF(-0.25, y), pin, Right));
        if (pin.pinType.compare(QLatin1String("Loop"), Qt::CaseInsensitive) == 0)
            out.push_back(cad::Entity::arc({0, y - kLoopRadius}, kLoopRadius,
                                           qRadiansToDegrees(kLoopStart),
                                           qRadiansToDegrees(kLoopEnd)));
    }
    for (int k = 0; k < request.outputs.size(); ++k) {
        const db::PinRecord& pin = request.outputs[k];
        const double y = da ? h / 2 + (no - 2) / 2.0 - k : h - 1 - k * s;
        // A source probe looks 0.2 left of where a standard block's output name ends, and on
        // the top edge of a DA block's name 0.05 left of where it ends. Both names end left of
        // their point, away from the pin line, where the search for the block itself looks
        // (0.5 in from the line's outer end): there it must find the insert, not a name.
        out.push_back(da ? attributeDefinition(
                               {w + 0.1, y + 0.1}, outputTag + QString::number(k + 1), {}, pin.name,
                               textHeight, pinLayer, QStringLiteral("TL_PIN"), Right, Baseline)
                         : attributeDefinition({w - 0.5, y}, outputTag + QString::number(k + 1), {},
                                               pin.name, textHeight, pinLayer,
                                               QStringLiteral("TL_PIN"), Right, Middle));
        out.push_back(pinLine({w, y}, {w + p, y}, pin));
        out.push_back(connector(da ? QPointF(w + 0.1, y - 0.25) : QPointF(w + 0.25, y), pin, Left));
    }

    if (!da) {
        // Names too long for their row share the room between the body's sides, each
        // squeezed in proportion to its width.
        std::vector<cad::Entity*> inputs, outputs;
        for (cad::Entity& e : out) {
            if (e.kind != cad::EntityKind::AttributeDefinition) continue;
            if (e.tag->startsWith(QLatin1String("INPUT-"))) inputs.push_back(&e);
            if (e.tag->startsWith(outputTag)) outputs.push_back(&e);
        }
        const size_t rows = std::max(inputs.size(), outputs.size());
        for (size_t k = 0; k < rows; ++k) {
            cad::Entity* in = k < inputs.size() ? inputs[k] : nullptr;
            cad::Entity* outName = k < outputs.size() ? outputs[k] : nullptr;
            const double wi = in ? textWidth(*styles, *in) : 0.0;
            const double wo = outName ? textWidth(*styles, *outName) : 0.0;
            const double room = w - 1 - kNameGap;
            const double squeeze = wi + wo > room ? room / (wi + wo) : 1.0;
            if (in) fitName(*styles, *in, wi * squeeze);
            if (outName) fitName(*styles, *outName, wo * squeeze);
        }
    }

    struct BlockAttribute {
        const char* tag;
        QString value;
        double y;
        const char* layer;
        const char* style;
        bool readOnly;
    };
    const QList<BlockAttribute> attributes = {
        {"SysName", QStringLiteral("SysName"), h - 0.3, "SysNames", "TL_SYSNAME", false},
        {"Location", QStringLiteral("Location"), -0.3, "Location", "TL_LOCATION", false},
        {"Manufacturer", request.manufacturerName, h + 0.6, "Manufacturer", "TL_MANUFACTURER",
         false},
        {"EquipmentName", request.modelName, h + 0.3, "Equipment", "TL_EQUIPMENT", false},
        {"Alias", QStringLiteral("Alias"), 0.3, "Alias", "TL_ALIAS", false},
        {"Read Only EquipID", QString::number(request.equipmentId), h + 0.3, "0", "Standard", true},
        {"Read Only PinWidth", QString::number(prefs.pinWidth), h + 0.3, "0", "Standard", true},
    };
    for (const BlockAttribute& a : attributes) {
        const QString tag = QString::fromLatin1(a.tag);
        cad::Entity def =
            attributeDefinition({w / 2, a.y}, tag, tag, a.value, 0.25, QString::fromLatin1(a.layer),
                                QString::fromLatin1(a.style), Centre, Middle);
        if (a.readOnly) def.attributeFlags = kInvisible;
        out.push_back(std::move(def));
    }
    return out;
}

double standardWidth(const BlockRequest& request, const BlockPreferences& prefs,
                     const cad::Document& styles) {
    const auto nameWidth = [&](const QString& name) {
        cad::Entity t = cad::Entity::textAt({}, name, 0.25);
        t.style = QStringLiteral("TL_PIN");
        return textWidth(styles, t);
    };
    // The names of a row stand 0.5 in from the sides with the gap between them; the centred
    // placeholders inside the body keep 0.25 from its sides.
    double least = nameWidth(QStringLiteral("SysName")) + 0.5;
    const qsizetype rows = std::max(request.inputs.size(), request.outputs.size());
    for (qsizetype k = 0; k < rows; ++k) {
        const double wi = k < request.inputs.size() ? nameWidth(request.inputs[k].name) : 0.0;
        const double wo = k < request.outputs.size() ? nameWidth(request.outputs[k].name) : 0.0;
        least = std::max(least, 1 + kNameGap + (wi + wo) * kLeastSqueeze);
    }
    // Widths stay whole units, as the preference gives them.
    return std::max<double>(prefs.width, std::ceil(least - 1e-9));
}

QString BlockGenerator::missingSignalQuestion(const QString& type) {
    return QStringLiteral("The Signal Type: ") + type +
           QStringLiteral(
               " does not exist in the Signal Type Library (color will be set to SameAsLayer). "
               "Add it Now?");
}

QString BlockGenerator::duplicateSignalMessage(const QString& type) {
    return QStringLiteral("More than one Signal Type definition with the Type ") + type +
           QStringLiteral(
               " exists in the Signal Types Library. Please resolve this before proceding.");
}

QString BlockGenerator::nameTakenMessage(const QString& name) {
    return QStringLiteral("The drawing already holds a block named %1. Enter another name.")
        .arg(name);
}

QString BlockGenerator::tooltip(BlockMode mode) {
    return (mode == BlockMode::DA ? QStringLiteral("Double-click this DA Block")
                                  : QStringLiteral("Double-click this Equipment Block")) +
           QStringLiteral("\r\nto assign it to the database");
}

QString BlockGenerator::preferencesSummary(const BlockPreferences& prefs, BlockMode mode) {
    const auto yesNo = [](bool on) { return on ? QStringLiteral("Yes") : QStringLiteral("No"); };
    const bool da = mode == BlockMode::DA;
    QStringList lines;
    lines << (da ? QStringLiteral("This DA block is made with these block preferences:")
                 : QStringLiteral("This block is made with these block preferences:"));
    lines << QStringLiteral("Pin spacing: %1").arg(da ? 1 : prefs.pinSpacing);
    lines << QStringLiteral("Block width: %1").arg(prefs.width);
    lines << QStringLiteral("Pin width: %1").arg(prefs.pinWidth);
    if (da) lines << QStringLiteral("Block height: %1").arg(prefs.height);
    lines << QStringLiteral("Body color: %1").arg(prefs.color);
    lines << QStringLiteral("Colored pins: ") + yesNo(prefs.coloredPins);
    lines << QStringLiteral("Signal layers: ") + yesNo(prefs.signalLayers);
    if (!da) lines << QStringLiteral("Tear settings dialog: ") + yesNo(prefs.tearSettings);
    lines << QStringLiteral("Use default block names: ") + yesNo(prefs.useDefaultNames);
    lines << QStringLiteral("They are changed in the Preferences window.");
    return lines.join(QStringLiteral("\r\n"));
}

std::optional<QString> BlockGenerator::chooseName(const cad::Document& doc,
                                                  const BlockRequest& request,
                                                  const BlockPreferences& prefs) {
    QString name = nextBlockName(doc, request.manufacturerName, request.modelName);
    if (prefs.useDefaultNames) return name;
    for (;;) {
        const std::optional<QString> chosen = dialogs_.blockName(name);
        if (!chosen) return std::nullopt;
        const QString typed = chosen->trimmed();
        // An existing name would add this unit's geometry to another block.
        if (typed.isEmpty()) {
            a_.ui.message(emptyNameMessage(), MsgButtons::Ok, MsgIcon::Warning);
        } else if (doc.block(typed)) {
            a_.ui.message(nameTakenMessage(typed), MsgButtons::Ok, MsgIcon::Warning);
            name = typed;
        } else {
            return typed;
        }
    }
}

PinStyle BlockGenerator::pinStyle(cad::Document& doc, const db::PinRecord& pin, BlockMode mode,
                                  const BlockPreferences& prefs) {
    PinStyle style;
    if (prefs.coloredPins) {
        // Types compare without regard to case, so "aud" and "AUD" are two definitions.
        const QList<db::SignalTypeRecord> types =
            db::SignalTypeTable(a_.registry).withType(pin.type);
        if (types.size() == 1) {
            // Same As Layer (stored as text by older tables too) leaves the pin by layer.
            if (const int index = types.first().color.index; index > 0) style.color = index;
        } else if (types.isEmpty()) {
            if (a_.ui.message(missingSignalQuestion(pin.type), MsgButtons::YesNo,
                              MsgIcon::Question) == MsgButton::Yes &&
                openSignalTypes)
                openSignalTypes();
        } else {
            a_.ui.message(duplicateSignalMessage(pin.type), MsgButtons::Ok, MsgIcon::Warning);
        }
    }
    if (prefs.signalLayers && !pin.type.isEmpty()) {
        const bool da = mode == BlockMode::DA;
        const QString pinLayer = pin.type + (da ? QStringLiteral("_Pin") : QStringLiteral("_PIN"));
        // The number layer is made with the pin layer; cable numbers of this signal type go
        // there, nothing of the block does.
        const QString numberLayer = pin.type + (da ? QStringLiteral("_No") : QStringLiteral("_NO"));
        for (const QString& name : {pinLayer, numberLayer})
            if (!doc.layer(name)) doc.addLayer(cad::Layer{name});
        style.layer = pinLayer;
    }
    return style;
}

QString BlockGenerator::generate(Drawing* drawing, const BlockRequest& request,
                                 const BlockPreferences& prefs) {
    if (!drawing) {
        a_.ui.message(noDrawingMessage(), MsgButtons::Ok, MsgIcon::Information);
        return {};
    }
    cad::Document& doc = drawing->document();
    cad::UndoGroup group(drawing->undo());

    if (prefs.displayPrefs)
        a_.ui.message(preferencesSummary(prefs, request.mode), MsgButtons::Ok,
                      MsgIcon::Information);
    const std::optional<QString> name = chooseName(doc, request, prefs);
    if (!name) return {};
    doc.addBlock(*name, QPointF(0, 0));

    BlockPreferences used = prefs;
    if (request.mode == BlockMode::DA && used.pinSpacing > 1) {
        a_.ui.message(daSpacingMessage(), MsgButtons::Ok, MsgIcon::Information);
        used.pinSpacing = 1;
    }
    TearSides tear;
    if (request.mode == BlockMode::Standard && used.tearSettings) tear = dialogs_.tearSides();

    // The layers and text styles the block's texts go on.
    standard::addStandardStylesAndLayers(doc);
    const std::vector<cad::Entity> entities = blockEntities(
        request, used, tear,
        [&](const db::PinRecord& pin) { return pinStyle(doc, pin, request.mode, used); }, &doc);
    cad::Block* block = doc.block(*name);
    for (const cad::Entity& e : entities) doc.add(*block, e);
    drawing->setModified(true);
    Q_EMIT drawing->blocksChanged();

    // A body without pins is what was asked for when none were chosen; said, so that it is
    // not taken for a mistake.
    if (request.inputs.isEmpty() && request.outputs.isEmpty())
        a_.ui.status(QStringLiteral("The block %1 has no pins: no inputs or outputs were "
                                    "selected.")
                         .arg(*name));
    if (beforeInsert) beforeInsert(*name);
    const QString handle = drawing->insertBlock(a_.ui, *name);
    if (handle.isEmpty()) return {};
    const QString kind =
        request.mode == BlockMode::DA ? tag::kind::DABlock : tag::kind::EquipmentBlock;
    drawing->editor().modify(handle, [&](cad::Entity& e) {
        tag::tagEntity(e, kind, QString::number(request.equipmentId));
        e.tooltip = tooltip(request.mode);
    });
    group.commit();
    if (placed) placed(kind);
    return handle;
}

}  // namespace tolvane::equipment
