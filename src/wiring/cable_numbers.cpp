#include "wiring/cable_numbers.h"

#include "db/records/cables.h"

namespace tolvane::wiring {

QString notACableNumber(const QString& text) {
    if (db::CableNumber::isStorable(text)) return {};
    return QStringLiteral(
               "The cable number \"%1\" is not a number: a cable's number is digits, "
               "a core's the cable's digits, \"-\" and its marking.")
        .arg(text);
}

QString numberInUse(const db::CableNumber& number) {
    return QStringLiteral("The cable number %1 is already in use. Choose another.")
        .arg(number.displayed());
}

QString CableNumbers::next(const QString& prefix, qint64 startNo) {
    const std::optional<qint64> highest = db::CableTable(registry_).highestNumber(prefix);
    return QString::number(highest ? *highest + 1 : startNo);
}

QStringList CableNumbers::reusable(const QString& prefix) {
    return db::CableTable(registry_).reusableNumbers(prefix);
}

QString CableNumbers::takenByAnother(qint64 cableId, const db::CableNumber& number) {
    const db::CableNumber trimmed(number.prefix(), number.stored().trimmed());
    return db::CableTable(registry_).heldByAnother(cableId, trimmed) ? numberInUse(trimmed)
                                                                     : QString();
}

}  // namespace tolvane::wiring
