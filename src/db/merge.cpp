// Merging a delivered database into the database in use: the structure first, then the rows
// matched by their row identity.
#include "db/merge.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <optional>
#include <vector>

#include "db/schema.h"

namespace tolvane::db {

namespace {

// ---- kinds of columns ----------------------------------------------------------------------

// What a column holds, as far as merging cares: values compare and convert by it.
enum class Holds { Text, Integer, Real, Bool, Time };

Holds holdsOf(const QString& kind) {
    const QString k = kind.toLower();
    if (k.startsWith(QLatin1String("timestamp"))) return Holds::Time;
    if (k.contains(QLatin1String("bool"))) return Holds::Bool;
    if (k.contains(QLatin1String("int"))) return Holds::Integer;
    if (k.contains(QLatin1String("real")) || k.contains(QLatin1String("floa")) ||
        k.contains(QLatin1String("doub")) || k.contains(QLatin1String("numeric")))
        return Holds::Real;
    return Holds::Text;
}

// Two kinds hold the same values: SQLite keeps times as text, a server as timestamps.
bool sameHolding(Holds a, Holds b) {
    const auto plain = [](Holds h) { return h == Holds::Time ? Holds::Text : h; };
    return plain(a) == plain(b);
}

QString holdsName(Holds h) {
    switch (h) {
        case Holds::Text:
            return QStringLiteral("text");
        case Holds::Integer:
            return QStringLiteral("whole numbers");
        case Holds::Real:
            return QStringLiteral("numbers");
        case Holds::Bool:
            return QStringLiteral("yes/no values");
        case Holds::Time:
            return QStringLiteral("dates");
    }
    return {};
}

// A value as one text that compares equal on both engines: booleans read back as 0/1 or
// true/false, times as text or timestamps, numbers in one notation.
QString canonical(const QVariant& v, Holds h) {
    if (v.isNull()) return QStringLiteral("\x01");
    switch (h) {
        case Holds::Bool:
            return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
        case Holds::Integer:
            return QString::number(v.toLongLong());
        case Holds::Real:
            return QString::number(v.toDouble(), 'g', 15);
        case Holds::Time: {
            QDateTime t = v.toDateTime();
            if (!t.isValid())
                t = QDateTime::fromString(v.toString().replace(QLatin1Char(' '), QLatin1Char('T')),
                                          Qt::ISODate);
            return t.isValid() ? t.toString(Qt::ISODate) : v.toString();
        }
        case Holds::Text:
            break;
    }
    return v.toString();
}

// A value as the column in use takes it.
QVariant converted(const QVariant& v, Holds h) {
    if (v.isNull()) return v;
    switch (h) {
        case Holds::Bool:
            return v.toBool();
        case Holds::Integer:
            return v.toLongLong();
        case Holds::Real:
            return v.toDouble();
        case Holds::Time:
        case Holds::Text:
            break;
    }
    return v.toString();
}

bool isReplicationColumn(const QString& lowerName) {
    return lowerName == QLatin1String("s_guid") || lowerName == QLatin1String("s_lineage") ||
           lowerName == QLatin1String("s_generation") || lowerName == QLatin1String("s_collineage");
}

// ---- talking to one database ----------------------------------------------------------------

// Statements here carry only names read from the two catalogues and the schema, never user
// text: the values are bound.
QSqlQuery exec(DbId id, Connections& registry, const QString& sql) {
    QSqlQuery q(registry.database(id));
    q.setForwardOnly(true);
    if (!q.exec(sql))
        throw DbError(id, registry.boundTo(id).location(),
                      QStringLiteral("cannot run \"%1\"").arg(sql), q.lastError().text());
    return q;
}

QSqlQuery prepared(DbId id, Connections& registry, const QString& sql) {
    QSqlQuery q(registry.database(id));
    if (!q.prepare(sql))
        throw DbError(id, registry.boundTo(id).location(),
                      QStringLiteral("cannot prepare \"%1\"").arg(sql), q.lastError().text());
    return q;
}

void run(DbId id, Connections& registry, QSqlQuery& q) {
    if (!q.exec())
        throw DbError(id, registry.boundTo(id).location(),
                      QStringLiteral("cannot run \"%1\"").arg(q.lastQuery()), q.lastError().text());
}

QString quotedList(Engine e, const QStringList& names) {
    QStringList out;
    for (const QString& n : names) out << quotedName(e, n);
    return out.join(QStringLiteral(", "));
}

QString placeholders(qsizetype n) {
    QStringList marks;
    for (qsizetype i = 0; i < n; ++i) marks << QStringLiteral("?");
    return marks.join(QStringLiteral(", "));
}

// ---- the delivered database's catalogue (always SQLite) ------------------------------------

struct DeliveredColumn {
    QString name;  // as spelled there
    QString declared;
    bool primaryKey = false;
    bool noCase = false;
};

struct DeliveredIndex {
    QString name;
    QStringList columns;
    bool unique = false;
};

struct DeliveredTable {
    QString name;
    std::vector<DeliveredColumn> columns;
    std::vector<DeliveredIndex> indexes;
    bool autoIncrement = false;  // its integer key numbers new rows
    struct Ref {
        QString column, parent, parentColumn;
        bool owned = false;  // deleting the parent deletes the row
    };
    std::vector<Ref> refs;
    const DeliveredColumn* column(const QString& name) const {
        for (const DeliveredColumn& c : columns)
            if (c.name.compare(name, Qt::CaseInsensitive) == 0) return &c;
        return nullptr;
    }
};

std::vector<DeliveredTable> readDelivered(DbId source, Connections& from) {
    std::vector<DeliveredTable> tables;
    QSqlQuery list = exec(source, from,
                          QStringLiteral("select name, sql from sqlite_master where type = "
                                         "'table' and name not like 'sqlite%' order by rowid"));
    while (list.next()) {
        DeliveredTable t;
        t.name = list.value(0).toString();
        if (t.name.compare(QLatin1String("tolvane_schema"), Qt::CaseInsensitive) == 0 ||
            t.name.endsWith(kConflictSuffix, Qt::CaseInsensitive))
            continue;
        const QString create = list.value(1).toString();
        t.autoIncrement = create.contains(QLatin1String("AUTOINCREMENT"), Qt::CaseInsensitive);
        tables.push_back(std::move(t));
    }
    for (DeliveredTable& t : tables) {
        const QString name = quotedName(Engine::SQLite, t.name);
        QSqlQuery cols = exec(source, from, QStringLiteral("pragma table_info(%1)").arg(name));
        QSqlQuery create = exec(
            source, from,
            QStringLiteral("select sql from sqlite_master where type = 'table' and name = '%1'")
                .arg(QString(t.name).replace(QLatin1Char('\''), QStringLiteral("''"))));
        const QString createText = create.next() ? create.value(0).toString() : QString();
        while (cols.next()) {
            DeliveredColumn c;
            c.name = cols.value(1).toString();
            c.declared = cols.value(2).toString();
            c.primaryKey = cols.value(5).toInt() > 0;
            // The collation is kept only in the CREATE text, after the column's name.
            const qsizetype at = createText.indexOf(c.name, 0, Qt::CaseInsensitive);
            const qsizetype end = createText.indexOf(QLatin1Char(','), at);
            c.noCase = at >= 0 && createText.mid(at, end < 0 ? -1 : end - at)
                                      .contains(QLatin1String("NOCASE"), Qt::CaseInsensitive);
            t.columns.push_back(c);
        }
        QSqlQuery indexes = exec(source, from, QStringLiteral("pragma index_list(%1)").arg(name));
        std::vector<DeliveredIndex> found;
        while (indexes.next())
            if (indexes.value(3).toString() == QLatin1String("c"))
                found.push_back({indexes.value(1).toString(), {}, indexes.value(2).toInt() != 0});
        for (DeliveredIndex& ix : found) {
            QSqlQuery info = exec(
                source, from,
                QStringLiteral("pragma index_info(%1)").arg(quotedName(Engine::SQLite, ix.name)));
            bool expression = false;
            while (info.next()) {
                if (info.value(2).isNull()) expression = true;
                ix.columns << info.value(2).toString();
            }
            if (!expression && !ix.columns.isEmpty()) t.indexes.push_back(ix);
        }
        QSqlQuery keys =
            exec(source, from, QStringLiteral("pragma foreign_key_list(%1)").arg(name));
        while (keys.next())
            t.refs.push_back({keys.value(3).toString(), keys.value(2).toString(),
                              keys.value(4).toString(),
                              keys.value(6).toString().compare(QLatin1String("CASCADE"),
                                                               Qt::CaseInsensitive) == 0});
    }
    return tables;
}

// ---- the structure --------------------------------------------------------------------------

ColType colTypeOf(const DeliveredTable& t, const DeliveredColumn& c) {
    if (c.name.compare(kGuidColumn, Qt::CaseInsensitive) == 0) return ColType::Guid;
    switch (holdsOf(c.declared)) {
        case Holds::Integer:
            return c.primaryKey && t.autoIncrement ? ColType::AutoKey : ColType::Integer;
        case Holds::Real:
            return ColType::Real;
        case Holds::Bool:
            return ColType::Bool;
        case Holds::Time:
            return ColType::DateTime;
        case Holds::Text:
            break;
    }
    return c.noCase ? ColType::Text : ColType::ExactText;
}

QSet<QString> existingIndexes(DbId id, Connections& registry) {
    QSqlQuery q = exec(id, registry,
                       registry.engine(id) == Engine::SQLite
                           ? QStringLiteral("select lower(name) from sqlite_master where type = "
                                            "'index'")
                           : QStringLiteral("select lower(indexname) from pg_indexes where "
                                            "schemaname = current_schema()"));
    QSet<QString> names;
    while (q.next()) names.insert(q.value(0).toString());
    return names;
}

// Checks every column both databases have before anything changes, then adds what the
// database in use lacks.
void updateStructure(DbId target, Connections& registry, const QString& deliveredLocation,
                     const std::vector<DeliveredTable>& delivered, MergeReport& report) {
    const Engine engine = registry.engine(target);
    const QSet<QString> present = existingTables(target, registry);
    for (const DeliveredTable& t : delivered) {
        if (!present.contains(t.name.toLower())) continue;
        const std::vector<ExistingColumn> have = existingColumns(target, registry, t.name);
        for (const DeliveredColumn& c : t.columns) {
            for (const ExistingColumn& h : have) {
                if (h.name != c.name.toLower()) continue;
                const Holds theirs = holdsOf(c.declared), ours = holdsOf(h.kind);
                if (!sameHolding(theirs, ours))
                    throw DbError(target, deliveredLocation, QStringLiteral("cannot be merged"),
                                  QStringLiteral("its column %1 of table %2 holds %3 where the "
                                                 "database in use holds %4")
                                      .arg(c.name, t.name, holdsName(theirs), holdsName(ours)));
            }
        }
    }
    QSet<QString> indexes = existingIndexes(target, registry);
    for (const DeliveredTable& t : delivered) {
        if (!present.contains(t.name.toLower())) {
            TableDef def{.name = t.name};
            for (const DeliveredColumn& c : t.columns) {
                const ColType type = colTypeOf(t, c);
                def.columns.push_back({c.name, type, type == ColType::Guid});
                if (c.primaryKey && type != ColType::AutoKey) def.primaryKey << c.name;
            }
            for (const QString& sql : createTableSql(engine, def)) exec(target, registry, sql);
            report.addedTables << t.name;
        } else {
            const std::vector<ExistingColumn> have = existingColumns(target, registry, t.name);
            for (const DeliveredColumn& c : t.columns) {
                const bool there = std::any_of(have.begin(), have.end(), [&](const auto& h) {
                    return h.name == c.name.toLower();
                });
                if (there) continue;
                ColType type = colTypeOf(t, c);
                if (type == ColType::AutoKey) type = ColType::Integer;
                // Added to rows that exist: nullable, and a row identity gets its default.
                exec(target, registry,
                     QStringLiteral("ALTER TABLE %1 ADD COLUMN %2")
                         .arg(t.name,
                              addedColumnSql(engine, {c.name, type, type == ColType::Guid})));
                report.addedColumns << t.name + QLatin1Char('.') + c.name;
            }
        }
        for (const DeliveredIndex& ix : t.indexes) {
            if (indexes.contains(ix.name.toLower())) continue;
            exec(target, registry,
                 QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
                     .arg(ix.unique ? QStringLiteral("UNIQUE ") : QString(),
                          quotedName(engine, ix.name), quotedName(engine, t.name),
                          quotedList(engine, ix.columns)));
            indexes.insert(ix.name.toLower());
            report.addedIndexes << ix.name;
        }
    }
}

// ---- the rows -------------------------------------------------------------------------------

// A reference from a column to the key of another table.
struct Ref {
    QString column, parent, parentColumn;
    bool enforced = true;  // a row whose parent is missing is set aside
    // The row belongs to its parent (a model's pins, a cable type's cores, a project's
    // revisions): it is added only with its parent, and set aside with it.
    bool owned = false;
};

// References the schema keeps as plain numbers rather than constraints: followed when a key
// changes, not enforced.
const struct {
    const char *table, *column, *parent, *parentColumn;
    bool owned;
} kPlainRefs[] = {
    {"tblProjects", "ClientID", "tblClientInfo", "ClientID", false},
    {"tblRevCounter", "ProjectsID", "tblProjects", "ProjectsID", true},
    {"tblXP", "RTRID", "tblRTR", "RTRID", true},  // a router's crosspoints
};

std::vector<Ref> refsOf(DbKind kind, const DeliveredTable& t) {
    std::vector<Ref> refs;
    if (const TableDef* def = findTable(kind, t.name)) {
        // A key that deletes the row with its parent makes the row its parent's.
        for (const ForeignKeyDef& fk : def->foreignKeys)
            if (fk.columns.size() == 1)
                refs.push_back({fk.columns.first(), fk.refTable, fk.refColumns.first(), true,
                                fk.cascadeDelete});
    } else {
        for (const DeliveredTable::Ref& r : t.refs)
            refs.push_back({r.column, r.parent, r.parentColumn, true, r.owned});
    }
    for (const auto& p : kPlainRefs)
        if (t.name.compare(QLatin1String(p.table), Qt::CaseInsensitive) == 0)
            refs.push_back({QString::fromLatin1(p.column), QString::fromLatin1(p.parent),
                            QString::fromLatin1(p.parentColumn), false, p.owned});
    return refs;
}

// Parents before children; tables that refer to nothing keep their order.
std::vector<const DeliveredTable*> mergeOrder(DbKind kind,
                                              const std::vector<DeliveredTable>& tables) {
    std::vector<const DeliveredTable*> order, left;
    for (const DeliveredTable& t : tables) left.push_back(&t);
    while (!left.empty()) {
        bool moved = false;
        for (auto it = left.begin(); it != left.end(); ++it) {
            const auto waits = [&](const DeliveredTable* t) {
                for (const Ref& r : refsOf(kind, *t))
                    for (const DeliveredTable* other : left)
                        if (other != t && other->name.compare(r.parent, Qt::CaseInsensitive) == 0)
                            return true;
                return false;
            };
            if (waits(*it)) continue;
            order.push_back(*it);
            left.erase(it);
            moved = true;
            break;
        }
        if (!moved) {  // a cycle: the rest as they come
            order.insert(order.end(), left.begin(), left.end());
            left.clear();
        }
    }
    return order;
}

// The key column that numbers a table's rows, when it has one.
QString autoKeyOf(DbKind kind, const DeliveredTable& t) {
    if (const TableDef* def = findTable(kind, t.name)) {
        for (const ColumnDef& c : def->columns)
            if (c.type == ColType::AutoKey) return c.name;
        return {};
    }
    if (!t.autoIncrement) return {};
    for (const DeliveredColumn& c : t.columns)
        if (c.primaryKey) return c.name;
    return {};
}

// Column sets no two rows may share: the table's own key (when it is not a number given on
// insert) and its unique indexes, the row identity's aside.
std::vector<QStringList> uniqueSetsOf(DbKind kind, const DeliveredTable& t,
                                      const QString& autoKey) {
    std::vector<QStringList> sets;
    const auto add = [&](const QStringList& cols) {
        if (cols.isEmpty()) return;
        if (cols.size() == 1 && (cols.first().compare(kGuidColumn, Qt::CaseInsensitive) == 0 ||
                                 cols.first().compare(autoKey, Qt::CaseInsensitive) == 0))
            return;
        for (const QString& c : cols)
            if (!t.column(c)) return;
        for (const QStringList& s : sets)
            if (s.join(QLatin1Char(','))
                    .compare(cols.join(QLatin1Char(',')), Qt::CaseInsensitive) == 0)
                return;
        sets.push_back(cols);
    };
    if (const TableDef* def = findTable(kind, t.name)) {
        add(def->primaryKey);
        for (const IndexDef& ix : def->indexes)
            if (ix.unique) add(ix.columns);
    }
    QStringList pk;
    for (const DeliveredColumn& c : t.columns)
        if (c.primaryKey) pk << c.name;
    add(pk);
    for (const DeliveredIndex& ix : t.indexes)
        if (ix.unique) add(ix.columns);
    return sets;
}

class RowMerger {
  public:
    // owners: the keys ("table.column", lower case) that rows belonging to a parent name.
    RowMerger(DbId target, Connections& registry, DbId source, Connections& from,
              const MergeProgress& progress, MergeReport& report, QSet<QString> owners)
        : target_(target),
          registry_(registry),
          engine_(registry.engine(target)),
          source_(source),
          from_(from),
          progress_(progress),
          report_(report),
          owners_(std::move(owners)) {}

    void merge(DbKind kind, const DeliveredTable& t, bool created);
    // The rows all merged tables hold, for the progress.
    void setTotal(qint64 rows) { total_ = rows; }

  private:
    // Tells the progress; throws Cancelled when it says stop.
    void tell(const QString& table, qint64 tableRows);
    struct Existing {
        QString guid;
        QString key;
        size_t hash = 0;
    };
    QSet<QString> keysOf(const QString& table, const QString& column);
    void setAside(const DeliveredTable& t, const std::vector<QString>& columns,
                  const std::vector<Holds>& holds, const std::vector<QVariant>& values,
                  const QString& rowGuid, ConflictReason reason);
    void ensureConflictTable(const QString& table);

    DbId target_;
    Connections& registry_;
    Engine engine_;
    DbId source_;
    Connections& from_;
    const MergeProgress& progress_;
    qint64 total_ = 0;
    qint64 mergedBefore_ = 0;  // rows of the tables merged before this one
    MergeReport& report_;
    // Per table (lower case): delivered key -> key in use, where they differ.
    QHash<QString, QHash<QString, QString>> remap_;
    // Per "table.column" (lower case): the values in use, lower case.
    QHash<QString, QSet<QString>> keys_;
    QHash<QString, QSqlQuery> conflictInserts_;
    QSet<QString> conflictTablesReady_;
    QSet<QString> owners_;
    // Per owner key ("table.column", lower case): the delivered values of rows set aside as
    // rows of their own (they lost to another row's unique key, or their parent is not
    // here); the rows that belong to them are set aside with them.
    QHash<QString, QSet<QString>> withheld_;
    // Per table (lower case): the rows its _Conflict table holds, as signatures. A row set
    // aside before, as it is, is not set aside again.
    QHash<QString, QSet<QString>> aside_;
};

// A row set aside as one text: its values, the row it lost to and why.
QString asideSignature(const std::vector<QVariant>& values, const std::vector<Holds>& holds,
                       const QString& rowGuid, int reason) {
    QString text;
    for (size_t i = 0; i < values.size(); ++i) text += canonical(values[i], holds[i]) + QChar(0x1f);
    return text + rowGuid.toLower() + QChar(0x1f) + QString::number(reason);
}

QSet<QString> RowMerger::keysOf(const QString& table, const QString& column) {
    const QString id = (table + QLatin1Char('.') + column).toLower();
    auto it = keys_.find(id);
    if (it != keys_.end()) return *it;
    QSet<QString> values;
    if (existingTables(target_, registry_).contains(table.toLower())) {
        QSqlQuery q = exec(target_, registry_,
                           QStringLiteral("select %1 from %2")
                               .arg(quotedName(engine_, column), quotedName(engine_, table)));
        while (q.next())
            if (!q.value(0).isNull()) values.insert(q.value(0).toString().toLower());
    }
    keys_.insert(id, values);
    return values;
}

void RowMerger::ensureConflictTable(const QString& table) {
    const QString conflict = table + kConflictSuffix;
    if (conflictTablesReady_.contains(conflict.toLower())) return;
    const std::vector<ExistingColumn> cols = existingColumns(target_, registry_, table);
    const auto typeOf = [&](const ExistingColumn& c) {
        // A column kept aside carries no key and no default: only what it holds.
        return engine_ == Engine::SQLite ? c.declaredType : c.kind;
    };
    if (!existingTables(target_, registry_).contains(conflict.toLower())) {
        // Each row set aside has a number of its own, by which the viewer acts on it.
        QStringList parts{engine_ == Engine::SQLite
                              ? kConflictId + QStringLiteral(" INTEGER PRIMARY KEY AUTOINCREMENT")
                              : kConflictId + QStringLiteral(" integer generated by default as "
                                                             "identity primary key")};
        for (const ExistingColumn& c : cols) parts << quotedName(engine_, c.name) + ' ' + typeOf(c);
        parts << kConflictRowGuid + QStringLiteral(" text") << kConflictReason + " integer";
        exec(target_, registry_,
             QStringLiteral("CREATE TABLE %1 (%2)")
                 .arg(quotedName(engine_, conflict), parts.join(QStringLiteral(", "))));
    } else {
        const std::vector<ExistingColumn> have = existingColumns(target_, registry_, conflict);
        for (const ExistingColumn& c : cols) {
            const bool there = std::any_of(have.begin(), have.end(),
                                           [&](const auto& h) { return h.name == c.name; });
            if (!there)
                exec(target_, registry_,
                     QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                         .arg(quotedName(engine_, conflict), quotedName(engine_, c.name),
                              typeOf(c)));
        }
    }
    conflictTablesReady_.insert(conflict.toLower());
}

void RowMerger::setAside(const DeliveredTable& t, const std::vector<QString>& columns,
                         const std::vector<Holds>& holds, const std::vector<QVariant>& values,
                         const QString& rowGuid, ConflictReason reason) {
    ensureConflictTable(t.name);
    auto seen = aside_.find(t.name.toLower());
    if (seen == aside_.end()) {
        QSet<QString> rows;
        QStringList names(columns.begin(), columns.end());
        names << kConflictRowGuid << kConflictReason;
        QSqlQuery q = exec(
            target_, registry_,
            QStringLiteral("select %1 from %2")
                .arg(quotedList(engine_, names), quotedName(engine_, t.name + kConflictSuffix)));
        std::vector<QVariant> kept(columns.size());
        while (q.next()) {
            for (size_t i = 0; i < columns.size(); ++i)
                kept[i] = converted(q.value(int(i)), holds[i]);
            rows.insert(asideSignature(kept, holds, q.value(int(columns.size())).toString(),
                                       q.value(int(columns.size()) + 1).toInt()));
        }
        seen = aside_.insert(t.name.toLower(), rows);
    }
    const QString signature = asideSignature(values, holds, rowGuid, int(reason));
    if (seen->contains(signature)) return;
    seen->insert(signature);
    auto it = conflictInserts_.find(t.name.toLower());
    if (it == conflictInserts_.end()) {
        QStringList names(columns.begin(), columns.end());
        names << kConflictRowGuid << kConflictReason;
        it = conflictInserts_.insert(
            t.name.toLower(),
            prepared(target_, registry_,
                     QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                         .arg(quotedName(engine_, t.name + kConflictSuffix),
                              quotedList(engine_, names), placeholders(names.size()))));
    }
    QSqlQuery& q = *it;
    for (const QVariant& v : values) q.addBindValue(v);
    q.addBindValue(rowGuid);
    q.addBindValue(int(reason));
    run(target_, registry_, q);
    ++report_.conflicts;
    if (!report_.conflictTables.contains(t.name)) report_.conflictTables << t.name;
}

// Thrown out of the rows when the progress cancels the merge; its transaction rolls back.
struct Cancelled {};

void RowMerger::tell(const QString& table, qint64 tableRows) {
    if (progress_ && !progress_({table, tableRows, mergedBefore_ + tableRows, total_}))
        throw Cancelled{};
}

void RowMerger::merge(DbKind kind, const DeliveredTable& t, bool created) {
    const std::vector<ExistingColumn> inUse = existingColumns(target_, registry_, t.name);
    const auto holdingOf = [&](const QString& column) {
        for (const ExistingColumn& c : inUse)
            if (c.name == column.toLower()) return holdsOf(c.kind);
        return Holds::Text;
    };
    std::vector<QString> columns;
    std::vector<Holds> holds;
    for (const DeliveredColumn& c : t.columns) {
        columns.push_back(c.name);
        holds.push_back(holdingOf(c.name));
    }
    const auto indexOf = [&](const QString& name) -> int {
        for (size_t i = 0; i < columns.size(); ++i)
            if (columns[i].compare(name, Qt::CaseInsensitive) == 0) return int(i);
        return -1;
    };
    const int guidAt = indexOf(kGuidColumn);
    const QString autoKey = autoKeyOf(kind, t);
    const int keyAt = autoKey.isEmpty() ? -1 : indexOf(autoKey);
    const std::vector<QStringList> uniqueSets = uniqueSetsOf(kind, t, autoKey);

    // This table's remapping, made before the parents' are looked up: adding it later could
    // move them.
    QHash<QString, QString>& remap = remap_[t.name.toLower()];
    // References: the column's index, the parent's remapping and its keys in use; for a row
    // that belongs to its parent, the delivered parents that were set aside.
    struct Follow {
        int at;
        const QHash<QString, QString>* remap;
        QSet<QString> keys;
        bool enforced;
        QSet<QString> withheld;
    };
    std::vector<Follow> follows;
    for (const Ref& r : refsOf(kind, t)) {
        const int at = indexOf(r.column);
        if (at < 0) continue;
        const QHash<QString, QString>* parentRemap = nullptr;
        auto found = remap_.find(r.parent.toLower());
        if (found != remap_.end() && !found->isEmpty()) parentRemap = &*found;
        follows.push_back(
            {at, parentRemap, r.enforced ? keysOf(r.parent, r.parentColumn) : QSet<QString>{},
             r.enforced,
             r.owned ? withheld_.value((r.parent + QLatin1Char('.') + r.parentColumn).toLower())
                     : QSet<QString>{}});
    }
    // The keys of this table that rows of others belong to: a row set aside as a row of its
    // own takes them aside with it.
    std::vector<std::pair<int, QString>> owning;
    for (size_t i = 0; i < columns.size(); ++i) {
        const QString id = (t.name + QLatin1Char('.') + columns[i]).toLower();
        if (owners_.contains(id)) owning.emplace_back(int(i), id);
    }
    std::vector<QString> ownValues(owning.size());
    const auto withhold = [&] {
        for (size_t o = 0; o < owning.size(); ++o)
            if (!ownValues[o].isEmpty()) withheld_[owning[o].second].insert(ownValues[o]);
    };

    // Columns this merge added: the rows in use had no value there, so they take the
    // delivered one, and no conflict comes of it.
    std::vector<int> added;
    for (size_t i = 0; i < columns.size(); ++i)
        if (!created && report_.addedColumns.contains(t.name + QLatin1Char('.') + columns[i]))
            added.push_back(int(i));

    // The rows in use: identity, key and a hash of the values a merge compares.
    std::vector<int> compared;
    for (size_t i = 0; i < columns.size(); ++i)
        if (int(i) != keyAt && !isReplicationColumn(columns[i].toLower()) &&
            std::find(added.begin(), added.end(), int(i)) == added.end())
            compared.push_back(int(i));
    const auto hashOf = [&](const std::vector<QVariant>& values) {
        QString text;
        for (int i : compared) text += canonical(values[i], holds[i]) + QChar(0x1f);
        return qHash(text);
    };
    const auto uniqueText = [&](const std::vector<QVariant>& values, const QStringList& set) {
        QString text;
        for (const QString& c : set) {
            const int at = indexOf(c);
            text += canonical(values[at], holds[at]).toLower() + QChar(0x1f);
        }
        return text;
    };
    std::vector<Existing> rows;
    QHash<QString, int> byGuid;
    std::vector<QHash<QString, int>> byUnique(uniqueSets.size());
    qint64 maxKey = 0;
    if (!created) {
        QSqlQuery q =
            exec(target_, registry_,
                 QStringLiteral("select %1 from %2")
                     .arg(quotedList(engine_, QStringList(columns.begin(), columns.end())),
                          quotedName(engine_, t.name)));
        std::vector<QVariant> values(columns.size());
        while (q.next()) {
            for (size_t i = 0; i < columns.size(); ++i) values[i] = q.value(int(i));
            Existing e;
            e.guid = guidAt >= 0 ? values[guidAt].toString().toLower() : QString();
            e.key = keyAt >= 0 ? values[keyAt].toString() : QString();
            e.hash = hashOf(values);
            if (keyAt >= 0) maxKey = std::max(maxKey, values[keyAt].toLongLong());
            const int at = int(rows.size());
            rows.push_back(e);
            if (!e.guid.isEmpty()) byGuid.insert(e.guid, at);
            for (size_t s = 0; s < uniqueSets.size(); ++s)
                byUnique[s].insert(uniqueText(values, uniqueSets[s]), at);
        }
    }
    if (keyAt >= 0) {
        QSqlQuery q =
            exec(source_, from_,
                 QStringLiteral("select max(%1) from %2")
                     .arg(quotedName(Engine::SQLite, autoKey), quotedName(Engine::SQLite, t.name)));
        if (q.next()) maxKey = std::max(maxKey, q.value(0).toLongLong());
    }
    QSet<QString> keysInUse;
    for (const Existing& e : rows) keysInUse.insert(e.key);

    QSqlQuery insert =
        prepared(target_, registry_,
                 QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                     .arg(quotedName(engine_, t.name),
                          quotedList(engine_, QStringList(columns.begin(), columns.end())),
                          placeholders(qsizetype(columns.size()))));
    QSqlQuery read =
        exec(source_, from_,
             QStringLiteral("select %1 from %2")
                 .arg(quotedList(Engine::SQLite, QStringList(columns.begin(), columns.end())),
                      quotedName(Engine::SQLite, t.name)));
    std::optional<QSqlQuery> fill;
    if (!added.empty() && guidAt >= 0) {
        QStringList sets;
        for (int i : added)
            sets << quotedName(engine_, columns[size_t(i)]) + QStringLiteral(" = ?");
        fill = prepared(target_, registry_,
                        QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                            .arg(quotedName(engine_, t.name), sets.join(QStringLiteral(", ")),
                                 quotedName(engine_, kGuidColumn)));
    }
    std::vector<QVariant> values(columns.size());
    qint64 done = 0;
    int inserted = 0;
    while (read.next()) {
        for (size_t i = 0; i < columns.size(); ++i)
            values[i] = converted(read.value(int(i)), holds[i]);
        const QString ownKey = keyAt >= 0 ? values[keyAt].toString() : QString();
        const QString guid = guidAt >= 0 ? values[guidAt].toString().toLower() : QString();
        if (++done % 5000 == 0) tell(t.name, done);

        for (size_t o = 0; o < owning.size(); ++o)
            ownValues[o] = values[size_t(owning[o].first)].toString().toLower();

        // The parents this row names, as the database in use knows them now. A row whose
        // parent is missing, or was set aside, is not added: its parent is not here.
        bool orphan = false;
        for (const Follow& f : follows) {
            QVariant& v = values[f.at];
            if (v.isNull() || v.toString().isEmpty()) continue;
            if (f.withheld.contains(v.toString().toLower())) orphan = true;
            if (f.remap) {
                const auto to = f.remap->constFind(v.toString().toLower());
                if (to != f.remap->constEnd()) v = converted(*to, holds[f.at]);
            }
            if (f.enforced && !f.keys.contains(v.toString().toLower())) orphan = true;
        }
        if (orphan) {
            withhold();
            setAside(t, columns, holds, values, guid, ConflictReason::Integrity);
            continue;
        }

        int existing = -1;
        if (!guid.isEmpty()) existing = byGuid.value(guid, -1);
        if (existing >= 0) {
            const Existing& e = rows[size_t(existing)];
            if (keyAt >= 0 && e.key != ownKey) remap.insert(ownKey.toLower(), e.key);
            if (fill) {
                for (int i : added) fill->addBindValue(values[size_t(i)]);
                fill->addBindValue(values[size_t(guidAt)]);
                run(target_, registry_, *fill);
            }
            // The same row with other values: its delivered version is set aside, and the
            // rows that belong to it are matched as ever (a new pin of the model is added).
            if (hashOf(values) != e.hash) {
                if (keyAt >= 0) values[keyAt] = converted(e.key, holds[keyAt]);
                setAside(t, columns, holds, values, e.guid, ConflictReason::Changed);
            }
            continue;
        }
        // A new row whose unique key another row holds loses to that row.
        int holder = -1;
        for (size_t s = 0; s < uniqueSets.size() && holder < 0; ++s)
            holder = byUnique[s].value(uniqueText(values, uniqueSets[s]), -1);
        // A row that only refers to it (a model to its manufacturer) refers to the row it
        // lost to; a row that belongs to it is set aside with it.
        if (holder >= 0) {
            const Existing& e = rows[size_t(holder)];
            withhold();
            if (keyAt >= 0) {
                if (e.key != ownKey) remap.insert(ownKey.toLower(), e.key);
                values[keyAt] = converted(e.key, holds[keyAt]);
            }
            setAside(t, columns, holds, values, e.guid, ConflictReason::Changed);
            continue;
        }
        QString key = ownKey;
        if (keyAt >= 0 && keysInUse.contains(ownKey)) {
            key = QString::number(++maxKey);
            remap.insert(ownKey.toLower(), key);
            values[keyAt] = converted(key, holds[keyAt]);
            ++report_.rekeyed;
        }
        for (size_t i = 0; i < values.size(); ++i) insert.addBindValue(values[i]);
        run(target_, registry_, insert);
        ++inserted;
        Existing e{guid, key, hashOf(values)};
        const int at = int(rows.size());
        rows.push_back(e);
        if (!guid.isEmpty()) byGuid.insert(guid, at);
        for (size_t s = 0; s < uniqueSets.size(); ++s)
            byUnique[s].insert(uniqueText(values, uniqueSets[s]), at);
        keysInUse.insert(key);
    }
    report_.inserted += inserted;
    tell(t.name, done);
    mergedBefore_ += done;
    // The keys of this table changed: a child reads them again.
    for (auto it = keys_.begin(); it != keys_.end();)
        it = it.key().startsWith(t.name.toLower() + QLatin1Char('.')) ? keys_.erase(it) : ++it;
    // A server numbers the next row it is given after the highest key now.
    if (inserted > 0 && keyAt >= 0 && engine_ == Engine::PostgreSQL)
        exec(target_, registry_,
             QStringLiteral("select setval(pg_get_serial_sequence(current_schema() || '.%1', "
                            "'%2'), (select max(%3) from %4))")
                 .arg(t.name.toLower(), autoKey.toLower(), quotedName(engine_, autoKey),
                      quotedName(engine_, t.name)));
}

// The table every database of a kind has: a file without it is a database of another kind.
QString markerTable(DbKind kind) {
    switch (kind) {
        case DbKind::ProjectManager:
            return QStringLiteral("tblProjects");
        case DbKind::Equipment:
            return QStringLiteral("tblEquipment");
        case DbKind::Project:
            return QStringLiteral("tblCables");
    }
    return {};
}

}  // namespace

MergeReport mergeDatabase(DbId target, const QString& delivered, Connections& registry,
                          const MergeProgress& progress) {
    const DbKind kind = kindOf(target);
    const QFileInfo file(delivered);
    if (!file.isFile())
        throw DbError(target, delivered, QStringLiteral("cannot be merged"),
                      QStringLiteral("the file is not there"));
    Connections from;
    from.bind(target, ConnectionSpec::sqlite(delivered));
    int version = 0;
    try {
        version = schemaVersion(target, from);
    } catch (const DbError& e) {
        throw DbError(target, delivered, QStringLiteral("cannot be merged"),
                      QStringLiteral("the file is not a database (%1)").arg(e.description()));
    }
    if (version == 0)
        throw DbError(target, delivered, QStringLiteral("cannot be merged"),
                      QStringLiteral("it holds no Tolvane database"));
    if (!existingTables(target, from).contains(markerTable(kind).toLower()))
        throw DbError(target, delivered, QStringLiteral("cannot be merged"),
                      QStringLiteral("it is not a %1 (it has no table %2)")
                          .arg(dbTitle(target), markerTable(kind)));
    // An older delivered database is read in this version's structure.
    if (version < kSchemaVersion) ensureSchema(target, from);
    const std::vector<DeliveredTable> tables = readDelivered(target, from);

    // The keys rows belonging to a parent name.
    QSet<QString> owners;
    for (const DeliveredTable& t : tables)
        for (const Ref& r : refsOf(kind, t))
            if (r.owned) owners.insert((r.parent + QLatin1Char('.') + r.parentColumn).toLower());

    MergeReport report;
    Transaction tx(target, registry);
    updateStructure(target, registry, delivered, tables, report);
    RowMerger rows(target, registry, target, from, progress, report, owners);
    std::vector<std::pair<const DeliveredTable*, bool>> merged;
    for (const DeliveredTable* t : mergeOrder(kind, tables)) {
        const bool created = report.addedTables.contains(t->name);
        // Tables without row identities are merged only when they are new here.
        if (created || t->column(kGuidColumn)) merged.emplace_back(t, created);
    }
    if (progress) {
        qint64 total = 0;
        for (const auto& [t, created] : merged) {
            QSqlQuery count = exec(
                target, from,
                QStringLiteral("select count(*) from %1").arg(quotedName(Engine::SQLite, t->name)));
            if (count.next()) total += count.value(0).toLongLong();
        }
        rows.setTotal(total);
    }
    try {
        for (const auto& [t, created] : merged) rows.merge(kind, *t, created);
    } catch (const Cancelled&) {
        MergeReport cancelled;
        cancelled.cancelled = true;
        return cancelled;  // the transaction rolls back
    }
    tx.commit();
    return report;
}

QString quotedName(Engine e, const QString& name) {
    QString n = e == Engine::PostgreSQL ? name.toLower() : name;
    return QLatin1Char('"') + n.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

QStringList tablesWithConflicts(DbId id, Connections& registry) {
    QStringList names;
    const QSet<QString> tables = existingTables(id, registry);
    for (const QString& t : tables) {
        if (!t.endsWith(kConflictSuffix.toLower())) continue;
        QSqlQuery q = exec(
            id, registry,
            QStringLiteral("select 1 from %1 limit 1").arg(quotedName(registry.engine(id), t)));
        if (q.next()) names << t.left(t.size() - kConflictSuffix.size());
    }
    // The names as the schema spells them, where it knows them.
    for (QString& n : names)
        if (const TableDef* def = findTable(kindOf(id), n)) n = def->name;
    names.sort(Qt::CaseInsensitive);
    return names;
}

}  // namespace tolvane::db
