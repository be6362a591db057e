#include "wiring/end_resolver.h"

#include "cad/picking.h"
#include "db/records/jackfields.h"
#include "db/records/pins.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "shell/event_log.h"
#include "ui/ui.h"

namespace tolvane::wiring {

namespace {

bool isOneOf(const QString& name, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0) return true;
    return false;
}

QString orphanMessage(End end) {
    return QStringList{
        end == End::Source
            ? QStringLiteral("Unable to retrieve information from the source block.")
            : QStringLiteral("Unable to retrieve information from the destination block."),
        QStringLiteral("This may be because this block is orphaned (the reference "
                       "to the block is missing"),
        QStringLiteral("from the equipment database). Possible remedies are to "
                       "synchronize with the "),
        QStringLiteral("database that created the block, or create a new block "
                       "from this equipment database.")}
        .join(QStringLiteral("\r\n"));
}

}  // namespace

const cad::Entity* insertAt(Drawing& drawing, QPointF at, double aperture) {
    const cad::PickResult hit =
        cad::pointSearch(drawing.document(), drawing.space(), drawing.index(), at, aperture,
                         nullptr, cad::ofKind(cad::EntityKind::Insert));
    if (!hit.found()) return nullptr;
    return drawing.document().find(hit.isAttribute() ? hit.insertHandle : hit.handle);
}

EndKind endKind(const QString& blockName, End end) {
    const bool source = end == End::Source;
    if (isOneOf(blockName, {"FN_JACK_SD", "HN_JACK_SD", "JACK1_1_SD"})) return EndKind::Jack;
    if (isOneOf(blockName, {"FN_JACK_S", "HN_JACK_S", "JACK1_1_S"}))
        return source ? EndKind::Jack : EndKind::Refused;
    if (isOneOf(blockName, {"FN_JACK_D", "HN_JACK_D", "JACK1_1_D"}))
        return source ? EndKind::Refused : EndKind::Jack;
    if (isOneOf(blockName, {"JBOX_S", "JBOX_D", "JBOX_1_S", "JBOX_1_D"})) return EndKind::JBox;
    if (isOneOf(blockName, {"RTR_S"})) return source ? EndKind::Router : EndKind::Refused;
    if (isOneOf(blockName, {"RTR_D"})) return source ? EndKind::Refused : EndKind::Router;
    if (isOneOf(blockName, {"POINTER_S", "POINTER_D"}))
        return source ? EndKind::Refused : EndKind::Router;
    return EndKind::Equipment;
}

QString EndFields::joined() const {
    return QStringList{system, pin, connector, location, signalType, alias}.join(QLatin1Char('|'));
}

EndResolver::EndResolver(Drawing& drawing, Ui& ui, EventLog* log, Options options,
                         db::Connections& registry)
    : drawing_(drawing), ui_(ui), log_(log), options_(options), registry_(registry) {}

void EndResolver::log(const QString& line) {
    if (log_ && log_->enabled()) log_->log(line);
}

namespace {
QString attribute(const cad::Entity& insert, const char* tag) {
    const cad::Entity* a = insert.attribute(QLatin1String(tag));
    return a ? a->text : QString();  // blocks made before an attribute existed read it as ""
}
}  // namespace

const cad::Entity* EndResolver::find(End end, QPointF at) {
    // Only a block can be a cable's end: the cable itself, lying over the block where it
    // enters from the far side, is never taken for it.
    if (end == End::Destination) return insertAt(drawing_, at + QPointF(0.5, 0), options_.aperture);
    const QPointF probe = at - QPointF(0.5, 0);
    if (const cad::Entity* e = insertAt(drawing_, probe, options_.aperture)) return e;
    // The cable itself lies left of its own first vertex when it leaves to the left: then
    // the block half a unit above the end.
    const cad::PickResult cable =
        cad::pointSearch(drawing_.document(), drawing_.space(), drawing_.index(), probe,
                         options_.aperture, nullptr, cad::ofKind(cad::EntityKind::Polyline));
    return cable.found() ? insertAt(drawing_, at + QPointF(0, 0.5), options_.aperture) : nullptr;
}

QString EndResolver::resolve(End end, QPointF at) {
    const bool source = end == End::Source;
    log(source ? QStringLiteral("Retreiving Source") : QStringLiteral("Retreiving Destination"));
    const cad::Entity* insert = find(end, at);
    block_ = insert ? insert->handle.toString() : QString();
    std::optional<EndFields> fields;
    if (insert) {
        switch (endKind(insert->blockName, end)) {
            case EndKind::Refused:
                break;
            case EndKind::Equipment:
                fields = equipment(end, at, *insert);
                break;
            case EndKind::Jack:
                fields = jack(end, *insert);
                break;
            case EndKind::JBox:
                fields = connectorBlock(end, *insert, "JB", "CON");
                break;
            case EndKind::Router:
                fields = connectorBlock(end, *insert, "RTR", "Layer");
                break;
        }
    }
    const QString text = fields ? fields->joined() : QString();
    log(source ? QStringLiteral("Source String: ") + text
               : QStringLiteral("Got Destination String: ") + text);
    return text;
}

std::optional<EndFields> EndResolver::equipment(End end, QPointF at, const cad::Entity& insert) {
    const bool source = end == End::Source;
    EndFields f;
    f.system = attribute(insert, "SysName");
    f.location = attribute(insert, "Location");
    f.alias = attribute(insert, "Alias");
    // A block from another program has no pin width: its pins are probed at the pin line.
    const QString widthText = attribute(insert, "Read Only PinWidth").trimmed();
    bool ok = true;
    const float pinWidth = widthText.isEmpty() ? 0.0f : widthText.toFloat(&ok);
    if (!ok) {
        ui_.message(QStringLiteral("The block %1 cannot be used as a cable end: its pin width "
                                   "(Read Only PinWidth) \"%2\" is not a number.")
                        .arg(insert.blockName, widthText),
                    MsgButtons::Ok, MsgIcon::Warning);
        return std::nullopt;
    }
    const bool da = tag::kindOf(insert) == tag::kind::DABlock;
    const QPointF probe = !source ? QPointF(at.x() + pinWidth + 0.5, at.y())
                          : da    ? QPointF(at.x() - pinWidth + 0.05, at.y() + 0.3)
                                  : QPointF(at.x() - pinWidth - 0.7, at.y());
    // The pin is a name of this block, whatever lies over it (the cable itself, where it
    // crosses the block to reach the pin).
    const QString block = insert.handle;
    const cad::PickResult hit = cad::pointSearch(
        drawing_.document(), drawing_.space(), drawing_.index(), probe, options_.aperture, nullptr,
        [&block](const cad::Entity& e) { return e.handle == block; });
    const cad::Entity* owner =
        hit.isAttribute() ? drawing_.document().find(hit.insertHandle) : nullptr;
    const cad::Entity* pin = nullptr;
    if (owner)
        for (const cad::Entity& a : owner->attributes)
            if (a.handle == hit.handle) pin = &a;
    if (!pin) return f;  // nothing, or no pin, beside the end: a string without a pin

    // A source may leave from any pin of the unit; a destination arrives only at an input.
    bool idOk = false;
    const qint64 equipmentId = attribute(insert, "Read Only EquipID").trimmed().toLongLong(&idOk);
    bool found = false;
    // A block whose model key is no number names no library row: an orphan.
    QList<db::PinList> lists;
    if (idOk)
        lists = source ? QList<db::PinList>{db::PinList::Outputs, db::PinList::Inputs}
                       : QList<db::PinList>{db::PinList::Inputs};
    db::PinTable pins(registry_);
    for (db::PinList which : lists) {
        if (const std::optional<db::PinRecord> p = pins.named(which, equipmentId, pin->text)) {
            f.pin = pin->text;
            f.connector = p->conn;
            f.signalType = p->type;
            found = true;
            break;
        }
    }
    if (!found) {
        ui_.message(orphanMessage(end), MsgButtons::Ok, MsgIcon::Warning);
        return std::nullopt;
    }
    return f;
}

EndFields EndResolver::jack(End end, const cad::Entity& insert) {
    const bool source = end == End::Source;
    EndFields f;
    f.system = attribute(insert, "JF");
    f.location = attribute(insert, "Location");
    f.alias = attribute(insert, "Alias");
    f.pin = attribute(insert, source ? "B" : "A") + QLatin1Char('-') + attribute(insert, "COL");
    f.connector = attribute(insert, source ? "BConn" : "AConn");
    const QString jackfield = tag::ref1(insert);
    if (jackfield.isEmpty()) {
        // Not yet sent to a jackfield of the project.
        f.connector = QStringLiteral("Conn");
        f.location = QStringLiteral("Loc");
        f.signalType = kNoSignalType;
    } else {
        f.connector.clear();
        f.location.clear();
        bool ok = false;
        const qint64 id = jackfield.toLongLong(&ok);
        if (ok) {
            if (const std::optional<db::JackfieldRecord> jf =
                    db::JackfieldTable(registry_).find(id)) {
                f.connector = jf->rearConn;
                f.location = jf->location + QLatin1Char('.') + jf->elevation;
                f.signalType = jf->signalType;
            }
        }
    }
    autoAlias(insert, f);
    return f;
}

EndFields EndResolver::connectorBlock(End end, const cad::Entity& insert, const char* nameTag,
                                      const char* numberTag) {
    const bool source = end == End::Source;
    EndFields f;
    f.system = attribute(insert, nameTag);
    f.location = attribute(insert, "Location");
    f.alias = attribute(insert, "Alias");
    f.pin = attribute(insert, source ? "B" : "A") + QLatin1Char('-') + attribute(insert, numberTag);
    f.connector = attribute(insert, source ? "BConn" : "AConn");
    autoAlias(insert, f);
    return f;
}

void EndResolver::autoAlias(const cad::Entity& insert, EndFields& fields) {
    if (!fields.alias.isEmpty() || !options_.autoAlias) return;
    fields.alias = fields.system;
    if (fields.alias.isEmpty() || !insert.attribute(QStringLiteral("Alias"))) return;
    drawing_.editor().modify(insert.handle, [&](cad::Entity& e) {
        for (cad::Entity& a : e.attributes)
            if (a.tag->compare(QLatin1String("Alias"), Qt::CaseInsensitive) == 0)
                a.text = fields.alias;
    });
}

}  // namespace tolvane::wiring
