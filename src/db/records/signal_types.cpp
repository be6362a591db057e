#include "db/records/signal_types.h"

#include "db/records/row_reader.h"

namespace tolvane::db {

namespace {

SignalTypeRecord readSignalType(const RowReader& r) {
    SignalTypeRecord s;
    s.type = r.text("Type");
    s.color = SignalColor::fromStored(r.value("Color"));
    s.cableNoPrefix = r.text("CableNoPrefix");
    s.cableManu = r.text("CableManu");
    s.cableType = r.text("CableType");
    s.key = r.integer("key");
    return s;
}

// Binds the fields in the order the statements below name them.
Query& bindFields(Query& q, const SignalTypeRecord& r) {
    return q.bind(r.type)
        .bind(r.color.stored())
        .bind(r.cableNoPrefix)
        .bind(r.cableManu)
        .bind(r.cableType);
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
    const int n = stored.toString().trimmed().toInt(&ok);
    return ok && n >= 1 && n <= 255 ? SignalColor{n} : SignalColor{};
}

QList<SignalTypeRecord> SignalTypeTable::all() {
    Query q(DbId::Equipment, QStringLiteral("select * from SignalDefault order by Type, key"),
            registry_);
    return readAll(q, readSignalType);
}

QList<SignalTypeRecord> SignalTypeTable::withType(const QString& type) {
    Query q(DbId::Equipment,
            QStringLiteral("select * from SignalDefault where upper(Type) = upper(?) order by key"),
            registry_);
    q.bind(type);
    return readAll(q, readSignalType);
}

QStringList SignalTypeTable::names() {
    Query q(DbId::Equipment,
            QStringLiteral("select Type from SignalDefault where Type is not null order by Type"),
            registry_);
    QStringList out;
    for (const QString& name : readAll(q, [](const RowReader& r) { return r.text("Type"); }))
        out << name;
    return out;
}

qint64 SignalTypeTable::insert(const SignalTypeRecord& r) {
    Query q(DbId::Equipment,
            QStringLiteral("insert into SignalDefault (Type, Color, CableNoPrefix, CableManu, "
                           "CableType) values (?, ?, ?, ?, ?)"),
            registry_);
    bindFields(q, r).exec();
    Query key(DbId::Equipment, QStringLiteral("select max(key) from SignalDefault where Type = ?"),
              registry_);
    return key.bind(r.type).scalar().toLongLong();
}

bool SignalTypeTable::update(const SignalTypeRecord& r) {
    Query q(DbId::Equipment,
            QStringLiteral("update SignalDefault set Type = ?, Color = ?, CableNoPrefix = ?, "
                           "CableManu = ?, CableType = ? where key = ?"),
            registry_);
    bindFields(q, r).bind(r.key).exec();
    return q.rowsAffected() > 0;
}

bool SignalTypeTable::remove(qint64 key) {
    Query q(DbId::Equipment, QStringLiteral("delete from SignalDefault where key = ?"), registry_);
    q.bind(key).exec();
    return q.rowsAffected() > 0;
}

}  // namespace tolvane::db
