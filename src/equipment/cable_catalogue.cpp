// Signal types and cable types.
#include "equipment/cable_catalogue.h"

#include "ui/ui.h"

namespace tolvane::equipment {

bool CableCatalogue::refuse(const QString& text) {
    a_.ui.message(text, MsgButtons::Ok, MsgIcon::Warning);
    return false;
}

// ---- signal types -------------------------------------------------------------------------

QList<db::SignalTypeRecord> CableCatalogue::signalTypes() {
    return db::SignalTypeTable(a_.registry).all();
}

std::optional<db::SignalTypeRecord> CableCatalogue::signalType(const QString& type) {
    for (const db::SignalTypeRecord& s : signalTypes())
        if (!s.type.isEmpty() && s.type.compare(type, Qt::CaseInsensitive) == 0) return s;
    return std::nullopt;
}

bool CableCatalogue::addSignalType(const db::SignalTypeRecord& s) {
    if (!a_.allowed(key::Add)) return false;
    const QString type = s.type.trimmed();
    if (type.isEmpty()) return refuse(QStringLiteral("Enter a name for the Signal Type."));
    if (signalType(type)) return refuse(QStringLiteral("That Signal Type already exists."));
    db::SignalTypeRecord row = s;
    row.type = type;
    db::SignalTypeTable(a_.registry).insert(row);
    return true;
}

bool CableCatalogue::updateSignalType(const db::SignalTypeRecord& s) {
    if (!a_.allowed(key::Edit)) return false;
    const QString type = s.type.trimmed();
    if (type.isEmpty()) return refuse(QStringLiteral("Enter a name for the Signal Type."));
    if (const auto other = signalType(type); other && other->key != s.key)
        return refuse(QStringLiteral("That Signal Type already exists."));
    db::SignalTypeRecord row = s;
    row.type = type;
    return db::SignalTypeTable(a_.registry).update(row);
}

bool CableCatalogue::removeSignalType(const db::SignalTypeRecord& s) {
    if (!a_.allowed(key::Delete)) return false;
    if (a_.ui.message(signalDeleteQuestion(s.type), MsgButtons::YesNo, MsgIcon::Question) !=
        MsgButton::Yes)
        return false;
    return db::SignalTypeTable(a_.registry).remove(s.key);
}

// ---- cable types --------------------------------------------------------------------------

QList<db::CableTypeRecord> CableCatalogue::cableTypes(const QString& manufacturerId,
                                                      const QString& find) {
    return db::CableTypeTable(a_.registry).beginningWith(manufacturerId, find);
}

std::optional<db::CableTypeRecord> CableCatalogue::cableType(qint64 id) {
    return db::CableTypeTable(a_.registry).find(id);
}

std::optional<qint64> CableCatalogue::idOf(const QString& manufacturerId,
                                           const QString& partNumber) {
    return db::CableTypeTable(a_.registry).idOf(manufacturerId, partNumber);
}

std::optional<qint64> CableCatalogue::addCableType(const db::CableTypeRecord& e) {
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
    const bool numbered = e.scheme == QLatin1String(db::kNumberedScheme);
    if (e.multicore && !numbered && e.scheme != QLatin1String(db::kColorCodedScheme)) {
        refuse(QStringLiteral("The core scheme must be Numbered or Color Coded."));
        return std::nullopt;
    }
    if (idOf(e.manufacturerId, part)) {
        refuse(duplicatePartMessage());
        return std::nullopt;
    }
    db::Transaction t(db::DbId::Equipment, a_.registry);
    db::CableTypeTable types(a_.registry);
    db::CableTypeRecord row = e;
    row.partNumber = part;
    const qint64 id = types.insert(row);
    if (id == 0) return std::nullopt;  // rolled back: the row just written is not there
    if (e.multicore) {
        // Numbered cores are marked with their number; colour-coded ones are left for the
        // user to mark.
        QList<db::CableCoreRecord> cores;
        for (int i = 1; i <= e.cores; ++i)
            cores << db::CableCoreRecord{0, id, QString::number(i),
                                         numbered ? QString::number(i) : QString()};
        types.insertCores(cores);
    }
    t.commit();
    return id;
}

QList<db::CableCoreRecord> CableCatalogue::cores(qint64 cableTypeId) {
    return db::CableTypeTable(a_.registry).cores(cableTypeId);
}

bool CableCatalogue::setCoreMarking(qint64 coreId, const QString& marking) {
    if (!a_.allowed(key::Edit)) return false;
    return db::CableTypeTable(a_.registry).setCoreMarking(coreId, marking.trimmed());
}

bool CableCatalogue::removeCableType(qint64 id) {
    if (!a_.allowed(key::Delete)) return false;
    const std::optional<db::CableTypeRecord> c = cableType(id);
    if (!c) return false;
    if (a_.ui.message(cableDeleteQuestion(c->partNumber), MsgButtons::YesNo, MsgIcon::Question) !=
        MsgButton::Yes)
        return false;
    db::Transaction t(db::DbId::Equipment, a_.registry);
    db::CableTypeTable(a_.registry).remove(id);
    t.commit();
    return true;
}

}  // namespace tolvane::equipment
