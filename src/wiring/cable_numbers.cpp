#include "wiring/cable_numbers.h"

#include <QRegularExpression>

namespace tolvane::wiring {

QString displayedNumber(const QString& prefix, const QString& number) {
    return prefix.isEmpty() ? number : prefix + QLatin1Char('-') + number;
}

std::optional<qint64> numberValue(const QString& number) {
    int digits = 0;
    while (digits < number.size() && number[digits].isDigit() && number[digits].unicode() < 128)
        ++digits;
    if (digits == 0 || digits > 18) return std::nullopt;
    return number.left(digits).toLongLong();
}

bool isWellFormedNumber(const QString& text) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,12}$"));
    return digits.match(text.trimmed()).hasMatch();
}

bool isCableNumber(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^[0-9]{1,12}(-[^\\p{Cc}]+)?$"));
    return form.match(text.trimmed()).hasMatch();
}

QString notACableNumber(const QString& text) {
    if (isCableNumber(text)) return {};
    return QStringLiteral(
               "The cable number \"%1\" is not a number: a cable's number is digits, "
               "a core's the cable's digits, \"-\" and its marking.")
        .arg(text);
}

QString numberInUse(const QString& prefix, const QString& number) {
    return QStringLiteral("The cable number %1 is already in use. Choose another.")
        .arg(displayedNumber(prefix, number));
}

QString CableNumbers::next(const QString& prefix, qint64 startNo) {
    // Longest first, then highest in text order: the first number made of digits alone is
    // the highest of them; longer ones before it ("12-03") count by their leading digits. Read
    // a page at a time: a server sends a whole result at once.
    constexpr int kPage = 64;
    std::optional<qint64> highest;
    for (int offset = 0;; offset += kPage) {
        db::Query q(db::DbId::Project,
                    QStringLiteral("select CableNO from tblCables where CableNoPrefix = ? order "
                                   "by length(CableNO) desc, CableNO desc limit %1 offset %2")
                        .arg(kPage)
                        .arg(offset),
                    registry_);
        q.bind(prefix).exec();
        int rows = 0;
        while (q.next()) {
            ++rows;
            const QString number = q.value(0).toString().trimmed();
            const std::optional<qint64> value = numberValue(number);
            if (value && (!highest || *value > *highest)) highest = value;
            if (value && number.size() == QString::number(*value).size())
                return QString::number(*highest + 1);
        }
        if (rows < kPage) break;
    }
    return QString::number(highest ? *highest + 1 : startNo);
}

QStringList CableNumbers::reusable(const QString& prefix) {
    db::Query q(db::DbId::Project,
                QStringLiteral("select CableNO from tblCables where CableNoPrefix = ? and "
                               "Available = ? union select CableNO from tblCables where "
                               "CableNoPrefix = ? and availableCores = ? order by 1"),
                registry_);
    q.bind(prefix).bind(true).bind(prefix).bind(true).exec();
    QStringList out;
    while (q.next()) out << q.value(0).toString();
    return out;
}

QList<CableNumbers::Row> CableNumbers::rows(const QString& prefix, const QString& number) {
    db::Query q(db::DbId::Project,
                QStringLiteral("select CableID, Available, MultiCore from tblCables where "
                               "CableNoPrefix = ? and CableNO = ? order by CableID"),
                registry_);
    q.bind(prefix).bind(number).exec();
    QList<Row> out;
    while (q.next()) out << Row{q.value(0).toLongLong(), q.value(1).toBool(), q.value(2).toBool()};
    return out;
}

QString CableNumbers::takenByAnother(qint64 cableId, const QString& prefix, const QString& number) {
    const QString trimmed = number.trimmed();
    db::Query q(db::DbId::Project,
                QStringLiteral("select 1 from tblCables where coalesce(CableNoPrefix, '') = ? and "
                               "CableNO = ? and CableID <> ?"),
                registry_);
    const QVariant taken = q.bind(prefix).bind(trimmed).bind(cableId).scalar();
    return taken.isValid() && !taken.isNull() ? numberInUse(prefix, trimmed) : QString();
}

void CableNumbers::release(qint64 cableId) {
    const QString deleted = QStringLiteral("Deleted");
    db::Query u(
        db::DbId::Project,
        QStringLiteral("update tblCables set Available = ?, SRCSys = ?, DestSYS = ?, "
                       "SRCPin = ?, DestPin = ?, SRCLoc = ?, DESTLOc = ?, SRCConn = ?, "
                       "DESTConn = ?, Integrator = ?, SRCAlias = ?, DSTAlias = ?, Sheet = ? "
                       "where CableID = ?"),
        registry_);
    u.bind(true);
    for (int i = 0; i < 12; ++i) u.bind(deleted);
    u.bind(cableId).exec();
}

}  // namespace tolvane::wiring
