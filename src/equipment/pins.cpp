// Inputs and outputs of equipment models.
#include "equipment/pins.h"

#include "ui/ui.h"

namespace tolvane::equipment {

namespace {

QString tableOf(PinList which) {
    return which == PinList::Inputs ? QStringLiteral("tblInputs") : QStringLiteral("tblOutputs");
}
QString keyOf(PinList which) {
    return which == PinList::Inputs ? QStringLiteral("InputID") : QStringLiteral("OutputID");
}

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

QList<Pin> Pins::rows(PinList which, const QString& where, const QVariant& value) {
    db::Query q = a_.query(QStringLiteral("select %1, EquipmentID, Name, Type, conn, PinType, "
                                          "DisplayOrder from %2 where %3 order by Name, %1")
                               .arg(keyOf(which), tableOf(which), where));
    q.bind(value).exec();
    QList<Pin> list;
    while (q.next())
        list << Pin{q.value(0).toLongLong(),
                    q.value(1).toLongLong(),
                    q.value(2).toString(),
                    q.value(3).toString(),
                    q.value(4).toString(),
                    q.value(5).toString(),
                    q.value(6)};
    return list;
}

QList<Pin> Pins::list(qint64 equipmentId, PinList which) {
    return rows(which, QStringLiteral("EquipmentID = ?"), equipmentId);
}

QStringList Pins::signalTypes() {
    db::Query q = a_.query(
        QStringLiteral("select Type from SignalDefault where Type is not null order by Type"));
    q.exec();
    QStringList types;
    while (q.next()) types << q.value(0).toString();
    return types;
}

QStringList Pins::connectors() {
    db::Query q =
        a_.query(QStringLiteral("select Connector from tblConnectors order by Connector"));
    q.exec();
    QStringList names;
    while (q.next()) names << q.value(0).toString();
    return names;
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
    for (PinList which : lists) {
        const QString& pinType = which == PinList::Inputs ? e.inputPinType : e.outputPinType;
        db::Query q = a_.query(
            QStringLiteral(
                "insert into %1 (EquipmentID, Name, conn, Type, PinType) values (?, ?, ?, ?, ?)")
                .arg(tableOf(which)));
        for (const QString& n : *names)
            q.bind(equipmentId).bind(n).bind(e.conn).bind(e.type).bind(pinType).exec();
    }
    t.commit();
    return true;
}

PinSelection Pins::select(qint64 equipmentId, const QString& code) {
    PinSelection s;
    const bool all = code == kAllPins;
    for (PinList which : {PinList::Inputs, PinList::Outputs}) {
        QList<qint64>& ids = which == PinList::Inputs ? s.inputs : s.outputs;
        for (const Pin& p : list(equipmentId, which))
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
    for (PinList which : {PinList::Inputs, PinList::Outputs}) {
        db::Query q = a_.query(
            QStringLiteral("delete from %1 where %2 = ?").arg(tableOf(which), keyOf(which)));
        for (qint64 id : which == PinList::Inputs ? selection.inputs : selection.outputs)
            q.bind(id).exec();
    }
    t.commit();
    return true;
}

bool Pins::copyToOtherList(PinList from, const QList<qint64>& ids) {
    if (!a_.allowed(key::Edit)) return false;
    if (ids.isEmpty()) return false;
    const PinList to = from == PinList::Inputs ? PinList::Outputs : PinList::Inputs;
    db::Transaction t(db::DbId::Equipment, a_.registry);
    db::Query insert = a_.query(
        QStringLiteral("insert into %1 (EquipmentID, Name, Type, conn) values (?, ?, ?, ?)")
            .arg(tableOf(to)));
    for (qint64 id : ids)
        for (const Pin& p : rows(from, keyOf(from) + QStringLiteral(" = ?"), id))
            insert.bind(p.equipmentId).bind(p.name).bind(p.type).bind(p.conn).exec();
    t.commit();
    return true;
}

bool Pins::copyDefinitionFrom(qint64 equipmentId) {
    db::Query q = a_.query(QStringLiteral(
        "select m.ManufacturerName, e.EquipmentName from tblEquipment e left join "
        "tblManufacturers m on m.ManufacturerID = e.ManufacturerID where e.EquipmentID = ?"));
    q.bind(equipmentId).exec();
    if (!q.next()) return false;
    source_ =
        PinDefinition{equipmentId, q.value(0).toString(), q.value(1).toString(),
                      list(equipmentId, PinList::Inputs), list(equipmentId, PinList::Outputs)};
    a_.ui.message(copyTargetPrompt(), MsgButtons::Ok, MsgIcon::Information);
    return true;
}

bool Pins::copyDefinitionTo(qint64 targetEquipmentId) {
    if (!source_) return false;
    if (!a_.allowed(key::Edit)) return false;
    db::Query q = a_.query(QStringLiteral(
        "select m.ManufacturerName, e.EquipmentName from tblEquipment e left join "
        "tblManufacturers m on m.ManufacturerID = e.ManufacturerID where e.EquipmentID = ?"));
    q.bind(targetEquipmentId).exec();
    if (!q.next()) return false;
    const QString question = copyQuestion(q.value(0).toString(), q.value(1).toString(),
                                          source_->manufacturerName, source_->modelName);
    if (a_.ui.message(question, MsgButtons::YesNo, MsgIcon::Question) != MsgButton::Yes)
        return false;
    db::Transaction t(db::DbId::Equipment, a_.registry);
    for (PinList which : {PinList::Inputs, PinList::Outputs}) {
        db::Query del =
            a_.query(QStringLiteral("delete from %1 where EquipmentID = ?").arg(tableOf(which)));
        del.bind(targetEquipmentId).exec();
        db::Query insert = a_.query(QStringLiteral("insert into %1 (EquipmentID, Name, Type, conn, "
                                                   "DisplayOrder) values (?, ?, ?, ?, ?)")
                                        .arg(tableOf(which)));
        for (const Pin& p : which == PinList::Inputs ? source_->inputs : source_->outputs)
            insert.bind(targetEquipmentId)
                .bind(p.name)
                .bind(p.type)
                .bind(p.conn)
                .bind(p.displayOrder)
                .exec();
    }
    t.commit();
    source_.reset();
    return true;
}

}  // namespace tolvane::equipment
