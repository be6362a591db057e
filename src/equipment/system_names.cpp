// System names of placed equipment.
#include "equipment/system_names.h"

#include "db/locks.h"
#include "db/records/equipment_models.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "equipment/equipment_models.h"
#include "equipment/equipment_placement.h"
#include "ui/ui.h"

namespace tolvane::equipment {

QString sysNumText(int number) {
    return QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0'));
}

QString fullSystemName(const QString& name, int number) {
    return name + QLatin1Char('-') + sysNumText(number);
}

SystemNames::SystemNames(Ui& ui, db::Connections& registry) : ui_(ui), registry_(registry) {}

QString SystemNames::notInsertMessage() {
    return QStringLiteral("Please select an equipment block.");
}

QString SystemNames::notEquipmentBlockMessage() {
    return QStringLiteral("This is not a ") + Ui::appTitle() +
           QStringLiteral(" equipment block. Aborting.");
}

QString SystemNames::orphanMessage() {
    return QStringList{QStringLiteral("Unable to retrieve information about this block."),
                       QStringLiteral("This could be because the equipment is deleted from the "
                                      "equipment database (orphaned),"),
                       QStringLiteral("or because you have linked to a project and this device "
                                      "is not in your local database"),
                       QStringLiteral("A possible remedy is to synchronize the equipment "
                                      "databases."),
                       QStringLiteral("If you have already synchronized the databases, the only "
                                      "remedy is to delete and recreate the block.")}
        .join(QStringLiteral("\r\n"));
}

QString SystemNames::existsQuestion() {
    return QStringLiteral("This System Name already Exists. Proceed with Naming the Insert?");
}

QString SystemNames::untaggableMessage() {
    return QStringLiteral(
        "This block carries the data of another program and cannot be tagged as an equipment "
        "block. Insert the block again from the library to name it.");
}

std::optional<db::EquipmentModelRecord> SystemNames::validate(const cad::Entity* entity) {
    if (!entity || entity->kind != cad::EntityKind::Insert) {
        ui_.message(notInsertMessage(), MsgButtons::Ok, MsgIcon::Warning);
        return std::nullopt;
    }
    const cad::Entity* idAttribute = entity->attribute(QStringLiteral("Read Only EquipID"));
    const QString idText = idAttribute ? idAttribute->text.trimmed() : QString();
    if (idText.isEmpty()) {
        ui_.message(notEquipmentBlockMessage(), MsgButtons::Ok, MsgIcon::Warning);
        return std::nullopt;
    }
    // An id that is not a number names no model either.
    bool isNumber = false;
    const qint64 id = idText.toLongLong(&isNumber);
    if (isNumber)
        if (const std::optional<db::EquipmentModelRecord> m =
                db::EquipmentModelTable(registry_).find(id))
            return m;
    ui_.message(orphanMessage(), MsgButtons::Ok, MsgIcon::Warning);
    return std::nullopt;
}

QStringList SystemNames::nameList(const db::EquipmentModelRecord& model) {
    QStringList names;
    if (!model.type.isEmpty()) names << model.type;
    // The names come distinct and sorted; only the model's type may stand twice, in any
    // letter case, since names are compared without regard to it.
    for (const QString& name : db::SystemTable(registry_).names())
        if (!name.isEmpty() && name.compare(model.type, Qt::CaseInsensitive) != 0) names << name;
    return names;
}

QList<db::SystemRecord> SystemNames::rowsOf(const QString& name) {
    return db::SystemTable(registry_).named(name);
}

std::optional<db::SystemRecord> SystemNames::row(qint64 sysId) {
    return db::SystemTable(registry_).find(sysId);
}

int SystemNames::nextNumber(const QString& name) {
    const QList<db::SystemRecord> rows = rowsOf(name);
    return rows.isEmpty() ? 1 : rows.last().number + 1;
}

AssignOutcome SystemNames::assign(const SystemEntry& entry, const db::EquipmentModelRecord& model,
                                  db::NameCase nameCase) {
    AssignOutcome out;
    out.entry = entry;
    out.entry.location = applyNameCase(entry.location, nameCase);
    out.entry.elevation = applyNameCase(entry.elevation, nameCase);
    out.entry.alias = applyNameCase(entry.alias, nameCase);
    const SystemEntry& e = out.entry;

    bool isNumber = false;
    const int number = e.number.trimmed().toInt(&isNumber);
    if (e.name.trimmed().isEmpty())
        out.missing = SystemField::Name;
    else if (!isNumber || number < 1)
        out.missing = SystemField::Number;
    else if (e.location.trimmed().isEmpty())
        out.missing = SystemField::Location;
    else if (e.elevation.trimmed().isEmpty())
        out.missing = SystemField::Elevation;
    else if (e.alias.trimmed().isEmpty())
        out.missing = SystemField::Alias;
    if (out.missing != SystemField::None) return out;

    db::SystemRecord row;
    for (const db::SystemRecord& r : rowsOf(e.name)) {
        if (r.number == number) {
            row = r;
            break;
        }
    }
    // The question comes before any write: no transaction waits for the user.
    if (row.id != 0 &&
        ui_.message(existsQuestion(), MsgButtons::YesNo, MsgIcon::Question) != MsgButton::Yes)
        return out;

    row.name = e.name;
    row.number = number;
    row.location = e.location;
    row.elevation = e.elevation;
    row.alias = e.alias;
    row.manufacturer = model.manufacturerName;
    row.equipmentName = model.name;
    row.equipId = model.id;

    // A row already stored is rewritten in place; otherwise a new row is added.
    db::Transaction t(db::DbId::Project, registry_);
    db::SystemTable systems(registry_);
    if (row.id != 0)
        systems.update(row);
    else
        row.id = systems.insert(row);
    t.commit();
    out.written = row;
    return out;
}

bool writeSystemToInsert(Drawing& drawing, const QString& handle, const db::SystemRecord& row) {
    const auto write = [&row](cad::Entity& insert) {
        const auto set = [&insert](const char* tag, const QString& value) {
            for (cad::Entity& a : insert.attributes)
                if (a.tag->compare(QLatin1String(tag), Qt::CaseInsensitive) == 0) a.text = value;
        };
        const QString fullName = fullSystemName(row.name, row.number);
        set("SysName", fullName);
        set("Location", row.location + QLatin1Char('.') + row.elevation);
        set("Alias", row.alias);
        insert.tooltip = row.equipmentName + QStringLiteral("\r\n") + fullName;
        tag::setRef2(insert, QString::number(row.id));
    };
    cad::Entity* insert = drawing.document().find(handle);
    if (!insert || insert->kind != cad::EntityKind::Insert) return false;
    if (drawing.editor().modify(insert->handle, write)) return true;
    // An insert of a space not shown: changed in place, without undo.
    write(*insert);
    drawing.changed();
    return true;
}

namespace {

// Whether the insert carries the tag its unit's key is written into, after tagging it when it
// has no extended data at all. A failed model lookup is reported by the tagging itself.
bool equipmentTagged(Drawing& drawing, const QString& handle, const AssignSysNamesRun& run) {
    const cad::Entity* insert = drawing.document().find(handle);
    if (tag::isOwn(*insert)) return true;
    if (!insert->xdata.isEmpty()) {
        run.ui.message(SystemNames::untaggableMessage(), MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    EquipmentPlacement placement(LibraryAccess(run.ui, run.registry));
    return !placement.tagEquipment(drawing, handle).isEmpty();
}

}  // namespace

void assignSystemNames(Drawing& drawing, const AssignSysNamesRun& run) {
    QString handle = run.picked;
    if (handle.isEmpty()) {
        const cad::PickFilter insert = cad::ofKind(cad::EntityKind::Insert);
        const PickAnswer pick =
            run.ui.getEntity(QStringLiteral("Select an Equipment Block"), insert);
        handle = drawing.entityFor(pick, run.aperture, insert);
    }
    if (handle.isEmpty()) {
        run.ui.beep();
        run.ui.history(QStringLiteral("Action Cancelled"));
        return;
    }
    // Held for the whole command, released at its end however it ends.
    db::TableLock lock(db::systemLock(), run.shared, run.whoAmI, run.ui, run.registry);
    if (!lock.acquire()) return;
    SystemNames names(run.ui, run.registry);
    if (const auto model = names.validate(drawing.document().find(handle))) {
        // The tag and what the window writes into the drawing are one step to undo.
        cad::UndoGroup group(drawing.undo());
        if (equipmentTagged(drawing, handle, run)) run.openWindow(handle, *model);
        group.commit();
    }
    lock.release();
}

}  // namespace tolvane::equipment
