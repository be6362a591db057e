// Equipment models of the library.
#include "equipment/equipment_models.h"

#include <cmath>

#include "db/records/pins.h"
#include "ui/ui.h"

namespace tolvane::equipment {

namespace {

// A number field: empty is none; anything else must read as a finite number.
std::optional<std::optional<double>> numberField(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return std::optional<double>();
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return std::optional<double>(v);
}

QString numberText(const std::optional<double>& v) {
    return v ? QString::number(*v, 'g', QLocale::FloatingPointShortest) : QString();
}

}  // namespace

QString applyNameCase(const QString& text, db::NameCase format) {
    switch (format) {
        case db::NameCase::AllCaps:
            return text.toUpper();
        case db::NameCase::LowerCase:
            return text.toLower();
        case db::NameCase::TitleCase: {
            QString out = text;
            bool start = true;
            for (QChar& c : out) {
                if (start) c = c.toUpper();
                start = c == u' ';
            }
            return out;
        }
        case db::NameCase::NoFormat:
            break;
    }
    return text;
}

std::optional<db::PhysicalRecord> physicalRecord(const LibraryAccess& a, const PhysicalData& d) {
    db::PhysicalRecord r;
    const std::pair<const QString*, std::optional<double>*> fields[] = {
        {&d.height, &r.height}, {&d.width, &r.width}, {&d.depth, &r.depth},
        {&d.weight, &r.weight}, {&d.v, &r.v},         {&d.p, &r.p}};
    for (const auto& [text, number] : fields) {
        const std::optional<std::optional<double>> n = numberField(*text);
        if (!n) {
            a.ui.message(EquipmentModels::invalidPhysicalDataMessage(), MsgButtons::Ok,
                         MsgIcon::Warning);
            return std::nullopt;
        }
        *number = *n;
    }
    r.heightUnit = d.heightUnit;
    r.vUnit = d.vUnit;
    return r;
}

PhysicalData shownPhysicalData(const db::PhysicalRecord& r) {
    return {numberText(r.height), numberText(r.width), numberText(r.depth), numberText(r.weight),
            numberText(r.v),      numberText(r.p),     r.heightUnit,        r.vUnit};
}

QString EquipmentModels::deleteQuestion(const QString& manufacturer, const QString& model) {
    return QStringLiteral("Are you sure that you want to delete ") + manufacturer +
           QStringLiteral(" - ") + model +
           QStringLiteral(
               "\r\nThis action may have dire consequenses.\r\nIf you have created equipment "
               "blocks from this equipment\r\nthey will be orphaned and unusable by Tolvane."
               "\r\nProceed?");
}

QList<db::EquipmentModelRecord> EquipmentModels::list(const QString& manufacturerId,
                                                      const QString& find) {
    return db::EquipmentModelTable(a_.registry).beginningWith(manufacturerId, find);
}

std::optional<db::EquipmentModelRecord> EquipmentModels::find(qint64 id) {
    return db::EquipmentModelTable(a_.registry).find(id);
}

std::optional<qint64> EquipmentModels::idOf(const QString& manufacturerId, const QString& name) {
    return db::EquipmentModelTable(a_.registry).idOf(manufacturerId, name);
}

std::optional<qint64> EquipmentModels::add(const QString& manufacturerId, const QString& name,
                                           const QString& description, const QString& type) {
    if (!a_.allowed(key::Add)) return std::nullopt;
    if (name.trimmed().isEmpty()) {
        a_.ui.beep();
        return std::nullopt;
    }
    if (idOf(manufacturerId, name)) {
        a_.ui.message(duplicateMessage(), MsgButtons::Ok, MsgIcon::Warning);
        return std::nullopt;
    }
    db::EquipmentModelRecord row;
    row.manufacturerId = manufacturerId;
    row.name = name;
    row.description = description;
    row.type = type;
    const qint64 id = db::EquipmentModelTable(a_.registry).insert(row);
    return id ? std::optional<qint64>(id) : std::nullopt;
}

bool EquipmentModels::remove(std::optional<qint64> id) {
    if (!a_.allowed(key::Delete)) return false;
    const std::optional<db::EquipmentModelRecord> m = id ? find(*id) : std::nullopt;
    if (!m) {
        a_.ui.message(noSelectionMessage(), MsgButtons::Ok, MsgIcon::Information);
        return false;
    }
    if (a_.ui.message(deleteQuestion(m->manufacturerName, m->name), MsgButtons::YesNo,
                      MsgIcon::Question) != MsgButton::Yes)
        return false;
    db::Transaction t(db::DbId::Equipment, a_.registry);
    db::EquipmentModelTable(a_.registry).remove(m->id);
    db::PinTable pins(a_.registry);
    for (db::PinList which : {db::PinList::Inputs, db::PinList::Outputs})
        pins.removeOfModel(which, m->id);
    t.commit();
    return true;
}

bool EquipmentModels::setPhysicalData(qint64 id, const PhysicalData& d) {
    if (!a_.allowed(key::Edit)) return false;
    const std::optional<db::PhysicalRecord> r = physicalRecord(a_, d);
    return r && db::EquipmentModelTable(a_.registry).setPhysical(id, *r);
}

std::optional<PhysicalData> EquipmentModels::physicalData(qint64 id) {
    const std::optional<db::PhysicalRecord> r = db::EquipmentModelTable(a_.registry).physical(id);
    if (!r) return std::nullopt;
    return shownPhysicalData(*r);
}

bool EquipmentModels::setDisplayAsDa(qint64 id, bool on) {
    if (!a_.allowed(key::Edit)) return false;
    return db::EquipmentModelTable(a_.registry).setDisplayAsDa(id, on);
}

}  // namespace tolvane::equipment
