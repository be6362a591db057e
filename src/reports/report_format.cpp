// Field formats. Number patterns follow the familiar spreadsheet notation: literal text before
// and after the digits, "0" a digit always shown, "#" a digit shown when needed, "," thousands
// grouping, "%" times a hundred; a second pattern after ";" is used for negative numbers.
#include "reports/report_format.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <cmath>

namespace tolvane::reports {

namespace {

std::optional<double> number(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Float:
        case QMetaType::Long:
        case QMetaType::Short:
            return v.toDouble();
        case QMetaType::QString: {
            bool ok = false;
            const double d = v.toString().trimmed().toDouble(&ok);
            if (ok) return d;
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

std::optional<QDateTime> dateTime(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::QDate:
            return v.toDate().startOfDay();
        case QMetaType::QDateTime:
            return v.toDateTime();
        case QMetaType::QString: {
            // SQLite keeps dates as ISO text.
            static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}"));
            const QString s = v.toString().trimmed();
            if (!iso.match(s).hasMatch()) return std::nullopt;
            QDateTime dt = QDateTime::fromString(s, Qt::ISODate);
            if (!dt.isValid())
                dt = QDateTime::fromString(s.left(19), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
            if (!dt.isValid()) dt = QDate::fromString(s.left(10), Qt::ISODate).startOfDay();
            if (dt.isValid()) return dt;
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

bool isNumberPattern(const QString& f) {
    return f.contains(QLatin1Char('0')) || f.contains(QLatin1Char('#'));
}

bool isDatePattern(const QString& f) {
    static const QRegularExpression date(QStringLiteral("yy|MM|dd|hh|HH|mm|ss|ap|AP"));
    return date.match(f).hasMatch();
}

// Literal text of a pattern: quotes and backslashes removed.
QString literal(const QString& s) {
    QString out;
    for (int i = 0; i < s.size(); ++i) {
        if (s[i] == QLatin1Char('"')) continue;
        if (s[i] == QLatin1Char('\\') && i + 1 < s.size()) ++i;
        out += s[i];
    }
    return out;
}

QString applyNumberPattern(double value, const QString& pattern, const QLocale& locale) {
    int first = -1, last = -1;
    for (int i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == QLatin1Char('0') || c == QLatin1Char('#') ||
            ((c == QLatin1Char(',') || c == QLatin1Char('.')) && first >= 0)) {
            if (first < 0) first = i;
            last = i;
        }
    }
    const QString prefix = literal(pattern.left(first));
    const QString suffix = literal(pattern.mid(last + 1));
    const QString core = pattern.mid(first, last - first + 1);
    if (prefix.contains(QLatin1Char('%')) || suffix.contains(QLatin1Char('%'))) value *= 100;
    const int dot = core.indexOf(QLatin1Char('.'));
    const QString intPart = dot < 0 ? core : core.left(dot);
    const QString fracPart = dot < 0 ? QString() : core.mid(dot + 1);
    const int maxDecimals =
        int(fracPart.count(QLatin1Char('0')) + fracPart.count(QLatin1Char('#')));
    const int minDecimals = int(fracPart.count(QLatin1Char('0')));
    const int minDigits = int(intPart.count(QLatin1Char('0')));
    QLocale l = locale;
    l.setNumberOptions(intPart.contains(QLatin1Char(',')) ? QLocale::NumberOptions{}
                                                          : QLocale::OmitGroupSeparator);
    QString digits = l.toString(std::abs(value), 'f', maxDecimals);
    // Optional decimals ("#") are dropped when they are zeros.
    if (maxDecimals > minDecimals) {
        const QChar point = l.decimalPoint().at(0);
        int keep = int(digits.size());
        const int pointAt = int(digits.lastIndexOf(point));
        while (keep > pointAt + 1 + minDecimals && digits[keep - 1] == QLatin1Char('0')) --keep;
        if (keep == pointAt + 1) keep = pointAt;
        digits.truncate(keep);
    }
    const int pointAt = digits.indexOf(l.decimalPoint());
    const int intLen = pointAt < 0 ? int(digits.size()) : pointAt;
    if (intLen < minDigits) digits.prepend(QString(minDigits - intLen, QLatin1Char('0')));
    if (minDigits == 0 && digits.startsWith(QLatin1Char('0')) && intLen == 1 && pointAt >= 0)
        digits.remove(0, 1);  // "#.00" shows 0.5 as .50
    return prefix + digits + suffix;
}

QString formatNumber(double value, const QString& format, const QLocale& locale) {
    const int semicolon = int(format.indexOf(QLatin1Char(';')));
    if (semicolon >= 0) {
        const QString negative = format.mid(semicolon + 1);
        if (value < 0 && !negative.isEmpty()) return applyNumberPattern(-value, negative, locale);
        const QString positive = format.left(semicolon);
        return (value < 0 ? QStringLiteral("-") : QString()) +
               applyNumberPattern(value, positive, locale);
    }
    QString text = applyNumberPattern(value, format, locale);
    // A value that rounds to zero is shown without its sign.
    if (value < 0 && text.contains(QRegularExpression(QStringLiteral("[1-9]"))))
        text.prepend(QLatin1Char('-'));
    return text;
}

}  // namespace

bool isTrue(const QVariant& value) {
    if (value.isNull()) return false;
    if (value.typeId() == QMetaType::Bool) return value.toBool();
    if (const auto n = number(value)) return *n != 0;
    const QString s = value.toString().trimmed().toLower();
    return s == QLatin1String("true") || s == QLatin1String("yes");
}

QString formatValue(const QVariant& value, const QString& format, const QLocale& locale) {
    if (value.isNull() || !value.isValid()) return {};
    // No format, as most fields have: the value as it reads (dates excepted, below), without
    // trying it as a number and as a date first.
    if (format.isEmpty()) {
        switch (value.typeId()) {
            case QMetaType::QString:
                return value.toString();
            case QMetaType::Double:
                return QString::number(value.toDouble(), 'g', 15);
            case QMetaType::QDate:
            case QMetaType::QDateTime:
                break;
            default:
                return value.toString();
        }
    }
    const QString f = format.trimmed();
    const QString named = f.toLower();
    if (named == QLatin1String("yes/no"))
        return isTrue(value) ? QStringLiteral("Yes") : QStringLiteral("No");
    if (named == QLatin1String("true/false"))
        return isTrue(value) ? QStringLiteral("True") : QStringLiteral("False");
    if (named == QLatin1String("on/off"))
        return isTrue(value) ? QStringLiteral("On") : QStringLiteral("Off");
    if (const auto n = number(value); n && !f.isEmpty()) {
        if (named == QLatin1String("currency")) return locale.toCurrencyString(*n);
        if (named == QLatin1String("fixed"))
            return formatNumber(*n, QStringLiteral("0.00"), locale);
        if (named == QLatin1String("standard"))
            return formatNumber(*n, QStringLiteral("#,##0.00"), locale);
        if (named == QLatin1String("percent"))
            return formatNumber(*n, QStringLiteral("0.00%"), locale);
        if (isNumberPattern(f) && !isDatePattern(f)) return formatNumber(*n, f, locale);
    }
    if (const auto dt = dateTime(value)) {
        if (named == QLatin1String("short date"))
            return locale.toString(dt->date(), QLocale::ShortFormat);
        if (named == QLatin1String("long date"))
            return locale.toString(dt->date(), QLocale::LongFormat);
        if (isDatePattern(f)) return locale.toString(*dt, f);
        if (f.isEmpty() && value.typeId() != QMetaType::QString)
            return dt->time() == QTime(0, 0) ? dt->date().toString(Qt::ISODate)
                                             : dt->toString(QStringLiteral("yyyy-MM-dd hh:mm"));
    }
    if (value.typeId() == QMetaType::Double) return QString::number(value.toDouble(), 'g', 15);
    return value.toString();
}

}  // namespace tolvane::reports
