#include "db/records/row_reader.h"

namespace tolvane::db {

RowReader::RowReader(Query& q) : q_(q), record_(q.sql().record()) {}

int RowReader::index(const char* column) const {
    if (const auto it = byAddress_.constFind(column);
        it != byAddress_.cend() && qstrcmp(it->name.constData(), column) == 0)
        return it->index;
    const QString name = QString::fromLatin1(column);
    int i;
    if (const auto it = indexes_.constFind(name); it != indexes_.cend()) {
        i = *it;
    } else {
        i = record_.indexOf(name);
        if (i < 0)
            throw AppError(err::kInternal,
                           QStringLiteral("The result of a query has no column %1.").arg(name));
        indexes_.insert(name, i);
    }
    byAddress_.insert(column, Named{QByteArray(column), i});
    return i;
}

QVariant RowReader::value(const char* column) const {
    return q_.value(index(column));
}

std::optional<double> RowReader::real(const char* column) const {
    const QVariant v = value(column);
    if (v.isNull()) return std::nullopt;
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? std::optional<double>(d) : std::nullopt;
}

std::optional<qint64> RowReader::optionalInteger(const char* column) const {
    const QVariant v = value(column);
    if (v.isNull()) return std::nullopt;
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    return ok ? std::optional<qint64>(n) : std::nullopt;
}

QString placeholders(qsizetype count) {
    QStringList marks;
    marks.fill(QStringLiteral("?"), count);
    return marks.join(QStringLiteral(", "));
}

QString beginsWithSql(Engine engine, const QString& column) {
    return dialect::likeNoCase(engine, column) + QStringLiteral(" ESCAPE '\\'");
}

QString beginsWithValue(const QString& find) {
    QString escaped = find;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('%'), QStringLiteral("\\%"));
    escaped.replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return escaped + QLatin1Char('%');
}

QVariant boundValue(const std::optional<double>& v) {
    return v ? QVariant(*v) : QVariant(QMetaType(QMetaType::Double));
}

QVariant boundValue(const std::optional<qint64>& v) {
    return v ? QVariant(*v) : QVariant(QMetaType(QMetaType::LongLong));
}

}  // namespace tolvane::db
