// Helpers shared by the library services.
#include "equipment/library_access.h"

namespace tolvane::equipment {

QString beginsWithSql(db::Engine engine, const QString& column) {
    return db::dialect::likeNoCase(engine, column) + QStringLiteral(" ESCAPE '\\'");
}

QString beginsWithValue(const QString& find) {
    QString escaped = find;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('%'), QStringLiteral("\\%"));
    escaped.replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return escaped + QLatin1Char('%');
}

}  // namespace tolvane::equipment
