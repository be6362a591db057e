#include "db/records/cable_number.h"

#include <QRegularExpression>

namespace tolvane::db {

CableNumber CableNumber::ofCore(const QString& prefix, const QString& number,
                                const QString& suffix) {
    return CableNumber(prefix, number + QLatin1Char('-') + suffix);
}

const QString& CableNumber::placeholder() {
    static const QString text = QStringLiteral("Cable #");
    return text;
}

QString CableNumber::number() const {
    const qsizetype dash = stored_.indexOf(QLatin1Char('-'));
    return dash < 0 ? stored_ : stored_.left(dash);
}

QString CableNumber::coreSuffix() const {
    const qsizetype dash = stored_.indexOf(QLatin1Char('-'));
    return dash < 0 ? QString() : stored_.mid(dash + 1);
}

QString CableNumber::displayed() const {
    return prefix_.isEmpty() ? stored_ : prefix_ + QLatin1Char('-') + stored_;
}

std::optional<qint64> CableNumber::value() const {
    const QString text = stored_.trimmed();
    int digits = 0;
    while (digits < text.size() && text[digits].isDigit() && text[digits].unicode() < 128) ++digits;
    if (digits == 0 || digits > 18) return std::nullopt;
    return text.left(digits).toLongLong();
}

bool CableNumber::isWellFormed(const QString& text) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,12}$"));
    return digits.match(text.trimmed()).hasMatch();
}

bool CableNumber::isStorable(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^[0-9]{1,12}(-[^\\p{Cc}]+)?$"));
    return form.match(text.trimmed()).hasMatch();
}

}  // namespace tolvane::db
