#include "db/row_stream.h"

#include <sqlite3.h>

#include <QSqlDriver>
#include <QSqlError>

namespace tolvane::db {

namespace {

// The places of the table of shared texts (a power of two), and the longest text kept there.
constexpr size_t kNameSlots = 8192;
constexpr int kSharedBytes = 64;

sqlite3* sqliteHandle(const QSqlDatabase& database) {
    const QVariant handle = database.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

}  // namespace

RowStream::RowStream(DbId db, const QString& sql, Connections& registry)
    : registry_(registry), db_(db), sql_(sql) {
    sqlite3* handle =
        registry.engine(db) == Engine::SQLite ? sqliteHandle(registry.database(db)) : nullptr;
    if (!handle) {
        query_.emplace(db, sql, registry);
        return;
    }
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &statement_, nullptr) !=
        SQLITE_OK)
        fail(sqlite3_extended_errcode(handle));
}

RowStream::~RowStream() {
    sqlite3_finalize(statement_);
}

void RowStream::fail(int code) {
    sqlite3* handle = statement_ ? sqlite3_db_handle(statement_) : nullptr;
    const QSqlError error(QStringLiteral("Unable to execute statement"),
                          handle ? QString::fromUtf8(sqlite3_errmsg(handle)) : QString(),
                          QSqlError::StatementError, QString::number(code));
    throw registry_.failure(db_, QStringLiteral("cannot run \"%1\"").arg(sql_), error);
}

void RowStream::exec() {
    if (query_) {
        query_->exec();
        return;
    }
    sqlite3_reset(statement_);
    begun_ = false;
}

bool RowStream::next() {
    if (query_) return query_->next();
    for (;;) {
        const int rc = sqlite3_step(statement_);
        if (rc == SQLITE_ROW) {
            begun_ = true;
            return true;
        }
        if (rc == SQLITE_DONE) return false;
        const int code = sqlite3_extended_errcode(sqlite3_db_handle(statement_));
        sqlite3_reset(statement_);
        // A statement that gave no row yet may start again once the other writer is done.
        const QSqlError busy(QStringLiteral("Unable to fetch row"), QString(),
                             QSqlError::StatementError, QString::number(code & 0xff));
        if (!begun_ && registry_.retryWhenBusy(db_, busy)) continue;
        fail(code);
    }
}

QVariant RowStream::value(int column) const {
    if (query_) return query_->value(column);
    switch (sqlite3_column_type(statement_, column)) {
        case SQLITE_INTEGER:
            return QVariant(qlonglong(sqlite3_column_int64(statement_, column)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(statement_, column));
        case SQLITE_NULL:
            return QVariant(QMetaType::fromType<QString>());
        case SQLITE_BLOB: {
            const char* bytes = static_cast<const char*>(sqlite3_column_blob(statement_, column));
            return QVariant(QByteArray(bytes, sqlite3_column_bytes(statement_, column)));
        }
        default:
            return QVariant(text(column));
    }
}

qint64 RowStream::integer(int column) const {
    if (!query_ && sqlite3_column_type(statement_, column) == SQLITE_INTEGER)
        return sqlite3_column_int64(statement_, column);
    return value(column).toLongLong();
}

bool RowStream::flag(int column) const {
    if (!query_ && sqlite3_column_type(statement_, column) == SQLITE_INTEGER)
        return sqlite3_column_int64(statement_, column) != 0;
    return value(column).toBool();
}

QString RowStream::text(int column) const {
    if (query_ || sqlite3_column_type(statement_, column) != SQLITE_TEXT)
        return value(column).toString();
    const char* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    return QString::fromUtf8(bytes, sqlite3_column_bytes(statement_, column));
}

QString RowStream::name(int column) {
    if (query_ || sqlite3_column_type(statement_, column) != SQLITE_TEXT) return text(column);
    const char* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    const int size = sqlite3_column_bytes(statement_, column);
    if (size > kSharedBytes) return QString::fromUtf8(bytes, size);
    if (names_.empty()) names_.resize(kNameSlots);
    const QByteArrayView key(bytes, size);
    Shared& slot = names_[qHash(key) & (kNameSlots - 1)];
    if (slot.text.isNull() || QByteArrayView(slot.bytes) != key)
        slot = Shared{key.toByteArray(), QString::fromUtf8(bytes, size)};
    return slot.text;
}

}  // namespace tolvane::db
