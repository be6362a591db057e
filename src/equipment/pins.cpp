// Inputs and outputs of equipment models.
#include "equipment/pins.h"

#include "db/records/equipment_models.h"
#include "db/records/signal_types.h"
#include "ui/ui.h"

namespace tolvane::equipment {

namespace {

std::optional<int> wholeNumber(const QString& text, int min, int max) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || n < min || n > max) return std::nullopt;
    return n;
}

}  // namespace

std::optional<QStringList> pinNames(const QString& name, const QString& count,
                                    const QString& start) {
    const QString countText = count.trimmed();
    if (countText.isEmpty()) return QStringList{name};
    const std::optional<int> n = wholeNumber(countText, 1, kMaxPinCount);
    const std::optional<int> first =
        start.trimmed().isEmpty() ? std::optional<int>(1) : wholeNumber(start, 0, 1000000);
    if (!n || !first) return std::nullopt;
    const int digits = countText.size() < 3 ? 2 : int(countText.size());
    QStringList names;
    names.reserve(*n);
    for (int i = 0; i < *n; ++i)
        names << name + QStringLiteral("%1").arg(*first + i, digits, 10, QLatin1Char('0'));
    return names;
}

QStringList signalGroups() {
    return {QStringLiteral("AUD"), QStringLiteral("VID"), QStringLiteral("DATA"),
            QStringLiteral("CTL"), QStringLiteral("COM"), QStringLiteral("SYNC"),
            QStringLiteral("DGA"), QStringLiteral("DGV")};
}

QString Pins::copyQuestion(const QString& targetManufacturer, const QString& targetModel,
                           const QString& sourceManufacturer, const QString& sourceModel) {
    return QStringLiteral(
               "This will delete any Inputs and Outputs associated with %1 - %2 and replace "
               "them with the Inputs and Outputs from %3 - %4. Do you wish to continue?")
        .arg(targetManufacturer, targetModel, sourceManufacturer, sourceModel);
}

QList<db::PinRecord> Pins::list(qint64 equipmentId, PinList which) {
    return db::PinTable(a_.registry).ofModel(equipmentId, which);
}

QStringList Pins::signalTypes() {
    return db::SignalTypeTable(a_.registry).names();
}

QStringList Pins::connectors() {
    return db::ConnectorTable(a_.registry).names();
}

bool Pins::add(qint64 equipmentId, const PinEntry& e) {
    if (!a_.allowed(key::Edit)) return false;
    QString name = e.name;
    if (name.size() > kPinNameLength) {
        a_.ui.beep();
        name.truncate(kPinNameLength);
    }
    const std::optional<QStringList> names = pinNames(name, e.count, e.start);
    if (!names) {
        a_.ui.message(badCountMessage(), MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    QList<PinList> lists;
    if (e.target != PinTarget::Outputs) lists << PinList::Inputs;
    if (e.target != PinTarget::Inputs) lists << PinList::Outputs;
    db::Transaction t(db::DbId::Equipment, a_.registry);
    db::PinTable pins(a_.registry);
    for (PinList which : lists) {
        const QString& pinType = which == PinList::Inputs ? e.inputPinType : e.outputPinType;
        QList<db::PinRecord> rows;
        for (const QString& n : *names)
            rows << db::PinRecord{0, equipmentId, n, e.type, e.conn, pinType};
        pins.insert(which, rows);
    }
    t.commit();
    return true;
}

PinSelection Pins::select(qint64 equipmentId, const QString& code) {
    PinSelection s;
    const bool all = code == kAllPins;
    for (PinList which : {PinList::Inputs, PinList::Outputs}) {
        QList<qint64>& ids = which == PinList::Inputs ? s.inputs : s.outputs;
        for (const db::PinRecord& p : list(equipmentId, which))
            if (all || p.type.compare(code, Qt::CaseInsensitive) == 0) ids << p.id;
    }
    return s;
}

bool Pins::removeSelected(const PinSelection& selection) {
    if (!a_.allowed(key::Delete)) return false;
    if (selection.isEmpty()) return false;
    if (a_.ui.message(deleteQuestion(), MsgButtons::YesNo, MsgIcon::Question) != MsgButton::Yes)
        return false;
    db::Transaction t(db::DbId::Equipment, a_.registry);
    db::PinTable pins(a_.registry);
    pins.remove(PinList::Inputs, selection.inputs);
    pins.remove(PinList::Outputs, selection.outputs);
    t.commit();
    return true;
}

bool Pins::copyToOtherList(PinList from, const QList<qint64>& ids) {
    if (!a_.allowed(key::Edit)) return false;
    if (ids.isEmpty()) return false;
    const PinList to = from == PinList::Inputs ? PinList::Outputs : PinList::Inputs;
    db::Transaction t(db::DbId::Equipment, a_.registry);
    db::PinTable pins(a_.registry);
    // The copy takes the model, name, type and connector; not the pin type or the order.
    QList<db::PinRecord> copies;
    for (qint64 id : ids)
        if (const std::optional<db::PinRecord> p = pins.find(from, id))
            copies << db::PinRecord{0, p->equipmentId, p->name, p->type, p->conn};
    pins.insert(to, copies);
    t.commit();
    return true;
}

bool Pins::copyDefinitionFrom(qint64 equipmentId) {
    const std::optional<db::EquipmentModelRecord> model =
        db::EquipmentModelTable(a_.registry).find(equipmentId);
    if (!model) return false;
    source_ =
        PinDefinition{equipmentId, model->manufacturerName, model->name,
                      list(equipmentId, PinList::Inputs), list(equipmentId, PinList::Outputs)};
    a_.ui.message(copyTargetPrompt(), MsgButtons::Ok, MsgIcon::Information);
    return true;
}

bool Pins::copyDefinitionTo(qint64 targetEquipmentId) {
    if (!source_) return false;
    if (!a_.allowed(key::Edit)) return false;
    const std::optional<db::EquipmentModelRecord> target =
        db::EquipmentModelTable(a_.registry).find(targetEquipmentId);
    if (!target) return false;
    const QString question = copyQuestion(target->manufacturerName, target->name,
                                          source_->manufacturerName, source_->modelName);
    if (a_.ui.message(question, MsgButtons::YesNo, MsgIcon::Question) != MsgButton::Yes)
        return false;
    db::Transaction t(db::DbId::Equipment, a_.registry);
    db::PinTable pins(a_.registry);
    for (PinList which : {PinList::Inputs, PinList::Outputs}) {
        pins.removeOfModel(which, targetEquipmentId);
        // The copies take the name, type, connector and order; not the pin type.
        QList<db::PinRecord> copies;
        for (const db::PinRecord& p : which == PinList::Inputs ? source_->inputs : source_->outputs)
            copies << db::PinRecord{0,      targetEquipmentId, p.name,        p.type,
                                    p.conn, QString(),         p.displayOrder};
        pins.insert(which, copies);
    }
    t.commit();
    source_.reset();
    return true;
}

}  // namespace tolvane::equipment
