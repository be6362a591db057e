// Equipment models of the library.
#include "equipment/equipment_models.h"

#include <cmath>

#include "ui/ui.h"

namespace tolvane::equipment {

namespace {

const QString kSelect = QStringLiteral(
    "select e.EquipmentID, e.ManufacturerID, m.ManufacturerName, e.EquipmentName, "
    "e.EquipmentDescription, e.EquipmentType, e.DisplayASDA from tblEquipment e left join "
    "tblManufacturers m on m.ManufacturerID = e.ManufacturerID");

EquipmentModel rowOf(const db::Query& q) {
    return {q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(),
            q.value(3).toString(),   q.value(4).toString(), q.value(5).toString(),
            q.value(6).toBool()};
}

// A number field: empty is null; anything else must read as a finite number.
std::optional<QVariant> numberField(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return QVariant(QMetaType(QMetaType::Double));
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return QVariant(v);
}

QString numberText(const QVariant& v) {
    return v.isNull() ? QString()
                      : QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
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

bool writePhysicalData(const LibraryAccess& a, const QString& table, const QString& key, qint64 id,
                       const PhysicalData& d) {
    QVariantList numbers;
    for (const QString* field : {&d.height, &d.width, &d.depth, &d.weight, &d.v, &d.p}) {
        const std::optional<QVariant> n = numberField(*field);
        if (!n) {
            a.ui.message(EquipmentModels::invalidPhysicalDataMessage(), MsgButtons::Ok,
                         MsgIcon::Warning);
            return false;
        }
        numbers << *n;
    }
    // table and key are this program's names, never the user's text.
    db::Query q = a.query(
        QStringLiteral("update %1 set EquipmentH = ?, EquipmentW = ?, EquipmentD = ?, "
                       "EquipmentWeight = ?, EquipmentV = ?, EquipmentP = ?, EquipmentHValue = ?, "
                       "equipmentVValue = ? where %2 = ?")
            .arg(table, key));
    for (const QVariant& n : numbers) q.bind(n);
    q.bind(d.heightUnit).bind(d.vUnit).bind(id).exec();
    return q.rowsAffected() > 0;
}

std::optional<PhysicalData> readPhysicalData(const LibraryAccess& a, const QString& table,
                                             const QString& key, qint64 id) {
    db::Query q = a.query(
        QStringLiteral("select EquipmentH, EquipmentW, EquipmentD, EquipmentWeight, EquipmentV, "
                       "EquipmentP, EquipmentHValue, equipmentVValue from %1 where %2 = ?")
            .arg(table, key));
    q.bind(id).exec();
    if (!q.next()) return std::nullopt;
    return PhysicalData{numberText(q.value(0)), numberText(q.value(1)), numberText(q.value(2)),
                        numberText(q.value(3)), numberText(q.value(4)), numberText(q.value(5)),
                        q.value(6).toString(),  q.value(7).toString()};
}

QString EquipmentModels::deleteQuestion(const QString& manufacturer, const QString& model) {
    return QStringLiteral("Are you sure that you want to delete ") + manufacturer +
           QStringLiteral(" - ") + model +
           QStringLiteral(
               "\r\nThis action may have dire consequenses.\r\nIf you have created equipment "
               "blocks from this equipment\r\nthey will be orphaned and unusable by Tolvane."
               "\r\nProceed?");
}

QList<EquipmentModel> EquipmentModels::list(const QString& manufacturerId, const QString& find) {
    const db::Engine engine = a_.registry.engine(db::DbId::Equipment);
    db::Query q =
        a_.query(kSelect + QStringLiteral(" where e.ManufacturerID = ? and %1 order by "
                                          "e.EquipmentName, e.EquipmentID")
                               .arg(beginsWithSql(engine, QStringLiteral("e.EquipmentName"))));
    q.bind(manufacturerId).bind(beginsWithValue(find)).exec();
    QList<EquipmentModel> rows;
    while (q.next()) rows << rowOf(q);
    return rows;
}

std::optional<EquipmentModel> EquipmentModels::find(qint64 id) {
    db::Query q = a_.query(kSelect + QStringLiteral(" where e.EquipmentID = ?"));
    q.bind(id).exec();
    if (!q.next()) return std::nullopt;
    return rowOf(q);
}

std::optional<qint64> EquipmentModels::idOf(const QString& manufacturerId, const QString& name) {
    db::Query q = a_.query(QStringLiteral(
        "select EquipmentID from tblEquipment where EquipmentName = ? and ManufacturerID = ?"));
    const QVariant id = q.bind(name).bind(manufacturerId).scalar();
    if (id.isNull() || !id.isValid()) return std::nullopt;
    return id.toLongLong();
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
    db::Query q = a_.query(QStringLiteral(
        "insert into tblEquipment (ManufacturerID, EquipmentName, EquipmentDescription, "
        "EquipmentType) values (?, ?, ?, ?)"));
    q.bind(manufacturerId).bind(name).bind(description).bind(type).exec();
    return idOf(manufacturerId, name);
}

bool EquipmentModels::remove(std::optional<qint64> id) {
    if (!a_.allowed(key::Delete)) return false;
    const std::optional<EquipmentModel> m = id ? find(*id) : std::nullopt;
    if (!m) {
        a_.ui.message(noSelectionMessage(), MsgButtons::Ok, MsgIcon::Information);
        return false;
    }
    if (a_.ui.message(deleteQuestion(m->manufacturerName, m->name), MsgButtons::YesNo,
                      MsgIcon::Question) != MsgButton::Yes)
        return false;
    db::Transaction t(db::DbId::Equipment, a_.registry);
    for (const char* sql : {"delete from tblEquipment where EquipmentID = ?",
                            "delete from tblInputs where EquipmentID = ?",
                            "delete from tblOutputs where EquipmentID = ?"}) {
        db::Query q = a_.query(QString::fromLatin1(sql));
        q.bind(m->id).exec();
    }
    t.commit();
    return true;
}

bool EquipmentModels::setPhysicalData(qint64 id, const PhysicalData& d) {
    if (!a_.allowed(key::Edit)) return false;
    return writePhysicalData(a_, QStringLiteral("tblEquipment"), QStringLiteral("EquipmentID"), id,
                             d);
}

std::optional<PhysicalData> EquipmentModels::physicalData(qint64 id) {
    return readPhysicalData(a_, QStringLiteral("tblEquipment"), QStringLiteral("EquipmentID"), id);
}

bool EquipmentModels::setDisplayAsDa(qint64 id, bool on) {
    if (!a_.allowed(key::Edit)) return false;
    db::Query q =
        a_.query(QStringLiteral("update tblEquipment set DisplayASDA = ? where EquipmentID = ?"));
    q.bind(on).bind(id).exec();
    return q.rowsAffected() > 0;
}

}  // namespace tolvane::equipment
