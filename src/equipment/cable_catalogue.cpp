// Signal types and cable types.
#include "equipment/cable_catalogue.h"

#include "ui/ui.h"

namespace tolvane::equipment {

namespace {

const QString kCableColumns = QStringLiteral(
    "CableTypeID, ManufacturerID, CableType, cabledescription, CableRating, CableCharZ, "
    "cableGuage, cableConductors, CableShielding, cablemulticore, cablecorenumber, "
    "CableCoreScheme");

CableType cableRow(const db::Query& q) {
    CableType c;
    c.id = q.value(0).toLongLong();
    c.entry = {q.value(1).toString(), q.value(2).toString(), q.value(3).toString(),
               q.value(4).toString(), q.value(5).toString(), q.value(6).toString(),
               q.value(7).toString(), q.value(8).toString(), q.value(9).toBool(),
               q.value(10).toInt(),   q.value(11).toString()};
    return c;
}

QVariant textOrNull(const QString& s) {
    return s.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(s);
}

}  // namespace

std::optional<SignalColor> SignalColor::parse(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.compare(sameAsLayer(), Qt::CaseInsensitive) == 0) return SignalColor{};
    bool ok = false;
    const int n = t.toInt(&ok);
    if (ok && n == kStoredSameAsLayer) return SignalColor{};
    if (!ok || n < 1 || n > 255) return std::nullopt;
    return SignalColor{n};
}

SignalColor SignalColor::fromStored(const QVariant& stored) {
    bool ok = false;
    const int n = stored.toInt(&ok);
    return ok && n >= 1 && n <= 255 ? SignalColor{n} : SignalColor{};
}

bool CableCatalogue::refuse(const QString& text) {
    a_.ui.message(text, MsgButtons::Ok, MsgIcon::Warning);
    return false;
}

// ---- signal types -------------------------------------------------------------------------

QList<SignalType> CableCatalogue::signalTypes() {
    db::Query q = a_.query(QStringLiteral(
        "select Type, Color, CableNoPrefix, CableManu, CableType, key from SignalDefault order "
        "by Type, key"));
    q.exec();
    QList<SignalType> rows;
    while (q.next())
        // A colour written by other tools that is no palette number reads as none.
        rows << SignalType{q.value(0).toString(),  SignalColor::fromStored(q.value(1)),
                           q.value(2).toString(),  q.value(3).toString(),
                           q.value(4).toString(),  q.value(5).toLongLong()};
    return rows;
}

std::optional<SignalType> CableCatalogue::signalType(const QString& type) {
    for (const SignalType& s : signalTypes())
        if (!s.type.isEmpty() && s.type.compare(type, Qt::CaseInsensitive) == 0) return s;
    return std::nullopt;
}

bool CableCatalogue::addSignalType(const SignalType& s) {
    if (!a_.allowed(key::Add)) return false;
    const QString type = s.type.trimmed();
    if (type.isEmpty()) return refuse(QStringLiteral("Enter a name for the Signal Type."));
    if (signalType(type)) return refuse(QStringLiteral("That Signal Type already exists."));
    db::Query q = a_.query(QStringLiteral(
        "insert into SignalDefault (Type, Color, CableNoPrefix, CableManu, CableType) values "
        "(?, ?, ?, ?, ?)"));
    q.bind(type).bind(s.color.stored()).bind(s.cableNoPrefix).bind(s.cableManu).bind(s.cableType);
    q.exec();
    return true;
}

bool CableCatalogue::updateSignalType(const SignalType& s) {
    if (!a_.allowed(key::Edit)) return false;
    const QString type = s.type.trimmed();
    if (type.isEmpty()) return refuse(QStringLiteral("Enter a name for the Signal Type."));
    if (const auto other = signalType(type); other && other->key != s.key)
        return refuse(QStringLiteral("That Signal Type already exists."));
    db::Query q = a_.query(QStringLiteral(
        "update SignalDefault set Type = ?, Color = ?, CableNoPrefix = ?, CableManu = ?, "
        "CableType = ? where key = ?"));
    q.bind(type).bind(s.color.stored()).bind(s.cableNoPrefix).bind(s.cableManu).bind(s.cableType);
    q.bind(s.key).exec();
    return q.rowsAffected() > 0;
}

bool CableCatalogue::removeSignalType(const SignalType& s) {
    if (!a_.allowed(key::Delete)) return false;
    if (a_.ui.message(signalDeleteQuestion(s.type), MsgButtons::YesNo, MsgIcon::Question) !=
        MsgButton::Yes)
        return false;
    db::Query q = a_.query(QStringLiteral("delete from SignalDefault where key = ?"));
    q.bind(s.key).exec();
    return q.rowsAffected() > 0;
}

// ---- cable types --------------------------------------------------------------------------

QList<CableType> CableCatalogue::cableTypes(const QString& manufacturerId, const QString& find) {
    const db::Engine engine = a_.registry.engine(db::DbId::Equipment);
    db::Query q = a_.query(
        QStringLiteral("select %1 from tblCableTypes where ManufacturerID = ? and %2 order by "
                       "CableType, CableTypeID")
            .arg(kCableColumns, beginsWithSql(engine, QStringLiteral("CableType"))));
    q.bind(manufacturerId).bind(beginsWithValue(find)).exec();
    QList<CableType> rows;
    while (q.next()) rows << cableRow(q);
    return rows;
}

std::optional<CableType> CableCatalogue::cableType(qint64 id) {
    db::Query q = a_.query(
        QStringLiteral("select %1 from tblCableTypes where CableTypeID = ?").arg(kCableColumns));
    q.bind(id).exec();
    if (!q.next()) return std::nullopt;
    return cableRow(q);
}

std::optional<qint64> CableCatalogue::idOf(const QString& manufacturerId,
                                           const QString& partNumber) {
    db::Query q = a_.query(QStringLiteral(
        "select CableTypeID from tblCableTypes where CableType = ? and ManufacturerID = ?"));
    const QVariant id = q.bind(partNumber).bind(manufacturerId).scalar();
    if (id.isNull() || !id.isValid()) return std::nullopt;
    return id.toLongLong();
}

std::optional<qint64> CableCatalogue::addCableType(const CableTypeEntry& e) {
    if (!a_.allowed(key::Add)) return std::nullopt;
    const QString part = e.partNumber.trimmed();
    if (part.isEmpty()) {
        refuse(QStringLiteral("Enter a part number."));
        return std::nullopt;
    }
    if (e.cores < 1 || e.cores > kMaxCores) {
        refuse(QStringLiteral("The number of cores must be from 1 to %1.").arg(kMaxCores));
        return std::nullopt;
    }
    const bool numbered = e.scheme == QLatin1String(kNumberedScheme);
    if (e.multicore && !numbered && e.scheme != QLatin1String(kColorCodedScheme)) {
        refuse(QStringLiteral("The core scheme must be Numbered or Color Coded."));
        return std::nullopt;
    }
    if (idOf(e.manufacturerId, part)) {
        refuse(duplicatePartMessage());
        return std::nullopt;
    }
    db::Transaction t(db::DbId::Equipment, a_.registry);
    db::Query q = a_.query(QStringLiteral(
        "insert into tblCableTypes (ManufacturerID, CableType, cabledescription, CableRating, "
        "CableCharZ, cableGuage, cableConductors, CableShielding, cablemulticore, "
        "cablecorenumber, CableCoreScheme) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    q.bind(e.manufacturerId).bind(part).bind(e.description).bind(e.rating).bind(e.charZ);
    q.bind(e.gauge).bind(e.conductors).bind(e.shielding).bind(e.multicore).bind(e.cores);
    q.bind(e.multicore ? QVariant(e.scheme) : textOrNull({})).exec();
    const std::optional<qint64> id = idOf(e.manufacturerId, part);
    if (!id) return std::nullopt;  // rolled back: the row just written is not there
    if (e.multicore) {
        db::Query core = a_.query(QStringLiteral(
            "insert into tblCablePairs (CableTypeID, PairNumber, paircolorcode) values (?, ?, ?)"));
        for (int i = 1; i <= e.cores; ++i)
            core.bind(*id)
                .bind(i)
                .bind(numbered ? QVariant(QString::number(i)) : textOrNull({}))
                .exec();
    }
    t.commit();
    return id;
}

QList<CableCore> CableCatalogue::cores(qint64 cableTypeId) {
    db::Query q = a_.query(QStringLiteral(
        "select PairID, PairNumber, paircolorcode from tblCablePairs where CableTypeID = ? "
        "order by PairNumber, PairID"));
    q.bind(cableTypeId).exec();
    QList<CableCore> rows;
    while (q.next())
        rows << CableCore{q.value(0).toLongLong(),
                          q.value(1).isNull() ? QString()
                                              : QStringLiteral("%1").arg(q.value(1).toLongLong(), 2,
                                                                         10, QLatin1Char('0')),
                          q.value(2).toString()};
    return rows;
}

bool CableCatalogue::setCoreMarking(qint64 coreId, const QString& marking) {
    if (!a_.allowed(key::Edit)) return false;
    db::Query q =
        a_.query(QStringLiteral("update tblCablePairs set paircolorcode = ? where PairID = ?"));
    q.bind(textOrNull(marking.trimmed())).bind(coreId).exec();
    return q.rowsAffected() > 0;
}

bool CableCatalogue::removeCableType(qint64 id) {
    if (!a_.allowed(key::Delete)) return false;
    const std::optional<CableType> c = cableType(id);
    if (!c) return false;
    if (a_.ui.message(cableDeleteQuestion(c->entry.partNumber), MsgButtons::YesNo,
                      MsgIcon::Question) != MsgButton::Yes)
        return false;
    db::Transaction t(db::DbId::Equipment, a_.registry);
    db::Query pairs = a_.query(QStringLiteral("delete from tblCablePairs where CableTypeID = ?"));
    pairs.bind(id).exec();
    db::Query type = a_.query(QStringLiteral("delete from tblCableTypes where CableTypeID = ?"));
    type.bind(id).exec();
    t.commit();
    return true;
}

}  // namespace tolvane::equipment
