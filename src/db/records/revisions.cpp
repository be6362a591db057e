#include "db/records/revisions.h"

#include <QStringList>
#include <QUuid>
#include <algorithm>

#include "db/records/row_reader.h"
#include "db/schema.h"

namespace tolvane::db {

namespace {

// What a side of a comparison reads of a cable or a core, in this order and under these names
// (kSchedule: the columns of tblCables and tblRevisionCables; kCore: what a core gives for
// each, null where it has nothing of its own).
const char* const kEnds =
    "SRCSys, SRCConn, SRCPin, SRCLoc, SRCAlias, DestSYS, DESTConn, DestPin, DESTLOc, DSTAlias";
const char* const kCoreEnds =
    "c.SRCSys, c.SRCConn, c.SRCPin, c.SRCLoc, c.SRCAlias, c.DestSYS, c.DESTConn, c.DestPin, "
    "c.DESTLOc, c.DSTAlias";
const char* kScheduleColumns[] = {
    "CableID", "CableNoPrefix", "CableNO",    "CableType", "CabletypeManu", "SignalType", "SRCSys",
    "SRCConn", "SRCPin",        "SRCLoc",     "SRCAlias",  "DestSYS",       "DESTConn",   "DestPin",
    "DESTLOc", "DSTAlias",      "Integrator", "Length",    "Sheet",         "ParentNo"};
constexpr int kScheduleColumnCount = int(std::size(kScheduleColumns));

enum class Rows { Cables, Cores };

// A frozen row stands in the revisions from the one that froze it to its last, or on to the
// latest.
const char* const kStandsIn = "Revision <= ? and (LastRevision is null or LastRevision >= ?)";

// The rows in use of one side: an issued revision's, or those of tblCables (tblChildCables) as
// they are now. Its values are appended to `values` in the order the statement takes them. When
// the other side is a revision too, a frozen row that stands in both is the same on both sides
// and is left out of each.
QString sideSql(Rows rows, std::optional<qint64> revision, std::optional<qint64> other,
                QVariantList& values) {
    QString standing = QLatin1String(kStandsIn);
    if (revision) values << *revision << *revision;
    if (revision && other) {
        standing += QStringLiteral(" and not (%1)").arg(QLatin1String(kStandsIn));
        values << *other << *other;
    }
    values << false;
    if (rows == Rows::Cables) {
        // Frozen rows carry the empty prefix for none; the live side says the same.
        return QStringLiteral(
                   "select CableID, %1 as CableNoPrefix, CableNO, CableType, CabletypeManu, "
                   "SignalType, %2, Integrator, Length, Sheet, null as ParentNo from %3")
            .arg(revision ? QStringLiteral("CableNoPrefix")
                          : QStringLiteral("coalesce(CableNoPrefix, '')"),
                 QLatin1String(kEnds),
                 revision
                     ? QStringLiteral("tblRevisionCables where %1 and Available = ?").arg(standing)
                     : QStringLiteral("tblCables where Available = ?"));
    }
    if (revision)
        return QStringLiteral(
                   "select ChildCableID as CableID, CableNoPrefix, CableNo as CableNO, null as "
                   "CableType, null as CabletypeManu, null as SignalType, %1, Integrator, null as "
                   "Length, Sheet, ParentNo from tblRevisionCores where %2 and Available = ?")
            .arg(QLatin1String(kEnds), standing);
    // A core is numbered under its cable's prefix.
    return QStringLiteral(
               "select c.ChildCableID as CableID, coalesce(p.CableNoPrefix, '') as "
               "CableNoPrefix, c.CableNo as CableNO, null as CableType, null as CabletypeManu, "
               "null as SignalType, %1, c.Integrator, null as Length, c.Sheet, c.ParentNo from "
               "tblChildCables c left join tblCables p on p.CableID = c.ParentNo where "
               "c.Available = ?")
        .arg(QLatin1String(kCoreEnds));
}

QString columnList(const QString& alias, const QString& prefix) {
    QStringList out;
    for (const char* c : kScheduleColumns)
        out << QStringLiteral("%1.%2 as %3%2").arg(alias, QLatin1String(c), prefix);
    return out.join(QStringLiteral(", "));
}

// A cable or core from the columns of kScheduleColumns, read from position `at` on.
ScheduledCable readScheduled(const Query& q, int at) {
    const auto text = [&](int i) { return q.value(at + i).toString(); };
    ScheduledCable c;
    c.id = q.value(at).toLongLong();
    c.number = CableNumber(text(1), text(2));
    c.cableType = text(3);
    c.manufacturer = text(4);
    c.signalType = text(5);
    c.source = {text(6), text(7), text(8), text(9), text(10)};
    c.destination = {text(11), text(12), text(13), text(14), text(15)};
    c.integrator = text(16);
    const QVariant length = q.value(at + 17);
    if (!length.isNull()) c.length = length.toDouble();
    c.sheet = text(18);
    const QVariant parent = q.value(at + 19);
    if (!parent.isNull()) c.parent = parent.toLongLong();
    return c;
}

// The rows of one kind found on one side only, and the pairs of rows that differ, in one
// statement that reads both sides at once. PostgreSQL joins the two sides in full on their key
// and compares the text columns as plain text (sparing the case-blind comparison of every
// column of every row); SQLite, which would scan one side once for each row of the other in a
// full join of two selections, takes the pairs and the rows of `from` alone by one left join
// and the rows of `to` alone by another. Either way a pair may differ in letter case alone: the
// caller's field comparison drops it. Each list comes in key order.
void differences(Rows rows, std::optional<qint64> from, std::optional<qint64> to,
                 Connections& registry, ScheduleDifference& d) {
    const bool pg = registry.engine(DbId::Project) == Engine::PostgreSQL;
    QVariantList fromValues, toValues;
    const QString fromSql = sideSql(rows, from, to, fromValues);
    const QString toSql = sideSql(rows, to, from, toValues);
    QStringList differs;
    for (int i = 1; i < kScheduleColumnCount; ++i) {
        const QLatin1String c(kScheduleColumns[i]);
        if (c == QLatin1String("ParentNo")) continue;
        const bool text = pg && c != QLatin1String("Length");
        differs << (text ? QStringLiteral("o.%1::text is distinct from n.%1::text")
                         : QStringLiteral("o.%1 is distinct from n.%1"))
                       .arg(c);
    }
    const QString columns = columnList(QStringLiteral("o"), QStringLiteral("o_")) +
                            QStringLiteral(", ") +
                            columnList(QStringLiteral("n"), QStringLiteral("n_"));
    QString sql;
    QVariantList values;
    if (pg) {
        sql = QStringLiteral(
                  "select %1 from (%2) o full join (%3) n on n.CableID = o.CableID "
                  "where o.CableID is null or n.CableID is null or %4")
                  .arg(columns, fromSql, toSql, differs.join(QStringLiteral(" or ")));
        values << fromValues << toValues;
    } else {
        sql = QStringLiteral(
                  "select %1 from (%2) o left join (%3) n on n.CableID = o.CableID "
                  "where n.CableID is null or %4 union all select %1 from (%3) n "
                  "left join (%2) o on o.CableID = n.CableID where o.CableID is null")
                  .arg(columns, fromSql, toSql, differs.join(QStringLiteral(" or ")));
        values << fromValues << toValues << toValues << fromValues;
    }
    Query q(DbId::Project, sql, registry);
    for (const QVariant& v : values) q.bind(v);
    q.exec();
    ScheduleDifference found;
    while (q.next()) {
        if (q.value(0).isNull())
            found.added << readScheduled(q, kScheduleColumnCount);
        else if (q.value(kScheduleColumnCount).isNull())
            found.removed << readScheduled(q, 0);
        else
            found.changed.append({readScheduled(q, 0), readScheduled(q, kScheduleColumnCount)});
    }
    const auto byId = [](const ScheduledCable& a, const ScheduledCable& b) { return a.id < b.id; };
    std::sort(found.added.begin(), found.added.end(), byId);
    std::sort(found.removed.begin(), found.removed.end(), byId);
    std::sort(found.changed.begin(), found.changed.end(),
              [](const auto& a, const auto& b) { return a.first.id < b.first.id; });
    d.added << found.added;
    d.removed << found.removed;
    d.changed << found.changed;
}

}  // namespace

QList<RevisionRecord> RevisionTable::issued() {
    Query q(DbId::Project,
            QStringLiteral("select Revision, RevisionDate, RevisedBy, RevisionDescription, "
                           "CableCount, CoreCount from tblRevisions order by Revision"),
            registry_);
    return readAll(q, [](const RowReader& r) {
        return RevisionRecord{r.integer("Revision"),   r.dateTime("RevisionDate"),
                              r.text("RevisedBy"),     r.text("RevisionDescription"),
                              r.integer("CableCount"), r.integer("CoreCount")};
    });
}

std::optional<qint64> RevisionTable::latest() {
    const QVariant v =
        Query(DbId::Project, QStringLiteral("select max(Revision) from tblRevisions"), registry_)
            .scalar();
    if (!v.isValid() || v.isNull()) return std::nullopt;
    return v.toLongLong();
}

namespace {

// The columns a frozen cable or core keeps besides its key, its revisions and its identity.
const char* const kFrozenCableColumns[] = {
    "CableNO",    "CableType", "CabletypeManu", "SignalType", "SRCSys",   "SRCConn", "SRCPin",
    "SRCLoc",     "SRCAlias",  "DestSYS",       "DESTConn",   "DestPin",  "DESTLOc", "DSTAlias",
    "Integrator", "Length",    "Sheet",         "MultiCore",  "Available"};
const char* const kFrozenCoreColumns[] = {
    "ParentNo", "CableNo", "SRCSys",  "SRCConn",  "SRCPin",     "SRCLoc", "SRCAlias", "DestSYS",
    "DESTConn", "DestPin", "DESTLOc", "DSTAlias", "Integrator", "Sheet",  "Available"};

// A frozen row of `table` that holds exactly what the live row (under alias l) holds now,
// letter case included; the prefix is compared as given by `prefix`.
template <size_t N>
QString sameAsLive(Engine e, const char* const (&columns)[N], const QString& table,
                   const QString& prefix) {
    const bool pg = e == Engine::PostgreSQL;
    const auto exactly = [&](const QString& frozen, const QString& now, bool text) {
        if (!pg)
            return (text ? QStringLiteral("%1 is %2 collate binary") : QStringLiteral("%1 is %2"))
                .arg(frozen, now);
        return (text ? QStringLiteral("%1::text is not distinct from %2::text")
                     : QStringLiteral("%1 is not distinct from %2"))
            .arg(frozen, now);
    };
    QStringList same;
    for (const char* c : columns) {
        const QLatin1String name(c);
        const bool text = name != QLatin1String("Length") && name != QLatin1String("MultiCore") &&
                          name != QLatin1String("Available") && name != QLatin1String("ParentNo");
        same << exactly(table + QLatin1Char('.') + name, QStringLiteral("l.") + name, text);
    }
    same << exactly(table + QStringLiteral(".CableNoPrefix"), prefix, true);
    return same.join(QStringLiteral(" and "));
}

QString listed(const char* const* columns, size_t n, const QString& alias) {
    QStringList out;
    for (size_t i = 0; i < n; ++i) out << alias + QLatin1String(columns[i]);
    return out.join(QStringLiteral(", "));
}

}  // namespace

RevisionRecord RevisionTable::freeze(const RevisionRecord& revision) {
    RevisionRecord r = revision;
    const Engine engine = registry_.engine(DbId::Project);
    const std::optional<qint64> previous = latest();
    // A frozen row's identity is its first revision's identity and its key: unique by how it
    // is made, and no random number drawn for each row.
    const QString identity = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const auto exec = [&](const QString& sql, const QVariantList& values) {
        Query q(DbId::Project, sql, registry_);
        for (const QVariant& v : values) q.bind(v);
        q.exec();
    };
    // The rows of the previous revision that no longer hold what their cable or core holds
    // (or whose cable or core is gone) stand in it last. Whatever stands on is what the new
    // revision holds too: only the cables and cores without a standing row are written. A row
    // without a prefix is frozen with the empty one, so that a number compares by its prefix in
    // one way only; a core is frozen with its cable's prefix.
    if (previous) {
        exec(QStringLiteral("update tblRevisionCables set LastRevision = ? where LastRevision is "
                            "null and not exists (select 1 from tblCables l where l.CableID = "
                            "tblRevisionCables.CableID and %1)")
                 .arg(sameAsLive(engine, kFrozenCableColumns, QStringLiteral("tblRevisionCables"),
                                 QStringLiteral("coalesce(l.CableNoPrefix, '')"))),
             {*previous});
        exec(QStringLiteral("update tblRevisionCores set LastRevision = ? where LastRevision is "
                            "null and not exists (select 1 from tblChildCables l left join "
                            "tblCables p on p.CableID = l.ParentNo where l.ChildCableID = "
                            "tblRevisionCores.ChildCableID and %1)")
                 .arg(sameAsLive(engine, kFrozenCoreColumns, QStringLiteral("tblRevisionCores"),
                                 QStringLiteral("coalesce(p.CableNoPrefix, '')"))),
             {*previous});
    }
    const QString cableColumns =
        listed(kFrozenCableColumns, std::size(kFrozenCableColumns), QString());
    exec(
        QStringLiteral("insert into tblRevisionCables (%1, Revision, CableID, CableNoPrefix, %2) "
                       "select cast(? as text) || '.' || cast(l.CableID as text), ?, l.CableID, "
                       "coalesce(l.CableNoPrefix, ''), %3 from tblCables l where not exists "
                       "(select 1 from tblRevisionCables f where f.CableID = l.CableID and "
                       "f.LastRevision is null)")
            .arg(kGuidColumn, cableColumns,
                 listed(kFrozenCableColumns, std::size(kFrozenCableColumns), QStringLiteral("l."))),
        {identity, r.revision});
    exec(QStringLiteral("insert into tblRevisionCores (%1, Revision, ChildCableID, "
                        "CableNoPrefix, %2) select cast(? as text) || '.' || cast(l.ChildCableID "
                        "as text), ?, l.ChildCableID, coalesce(p.CableNoPrefix, ''), %3 from "
                        "tblChildCables l left join tblCables p on p.CableID = l.ParentNo where "
                        "not exists (select 1 from tblRevisionCores f where f.ChildCableID = "
                        "l.ChildCableID and f.LastRevision is null)")
             .arg(kGuidColumn, listed(kFrozenCoreColumns, std::size(kFrozenCoreColumns), {}),
                  listed(kFrozenCoreColumns, std::size(kFrozenCoreColumns), QStringLiteral("l."))),
         {identity, r.revision});
    // What the revision holds: every cable and core as it stands now.
    r.cableCount = Query(DbId::Project, QStringLiteral("select count(*) from tblCables"), registry_)
                       .scalar()
                       .toLongLong();
    r.coreCount =
        Query(DbId::Project, QStringLiteral("select count(*) from tblChildCables"), registry_)
            .scalar()
            .toLongLong();
    Query(DbId::Project,
          QStringLiteral("insert into tblRevisions (%1, Revision, RevisionDate, RevisedBy, "
                         "RevisionDescription, CableCount, CoreCount) values (?, ?, ?, ?, ?, ?, ?)")
              .arg(kGuidColumn),
          registry_)
        .bind(identity)
        .bind(r.revision)
        .bind(r.date)
        .bind(r.revisedBy)
        .bind(r.description)
        .bind(r.cableCount)
        .bind(r.coreCount)
        .exec();
    return r;
}

std::optional<qint64> RevisionTable::issuedWith(const CableNumber& number) {
    const QString prefix = number.prefix().isNull() ? QStringLiteral("") : number.prefix();
    const QVariant v = Query(DbId::Project,
                             QStringLiteral("select min(Revision) from tblRevisionCables where "
                                            "CableNO = ? and CableNoPrefix = ? and Available = ?"),
                             registry_)
                           .bind(number.stored().trimmed())
                           .bind(prefix)
                           .bind(false)
                           .scalar();
    if (!v.isValid() || v.isNull()) return std::nullopt;
    return v.toLongLong();
}

ScheduleDifference RevisionTable::compare(std::optional<qint64> from, std::optional<qint64> to) {
    ScheduleDifference d;
    differences(Rows::Cables, from, to, registry_, d);
    // A revision issued before cores were frozen with their cables holds none: its cores are
    // unknown, not removed.
    const auto coresFrozen = [&](std::optional<qint64> side) {
        return !side || Query(DbId::Project,
                              QStringLiteral("select count(*) from tblRevisions where Revision = "
                                             "? and CoreCount is not null"),
                              registry_)
                                .bind(*side)
                                .scalar()
                                .toLongLong() > 0;
    };
    if (coresFrozen(from) && coresFrozen(to)) differences(Rows::Cores, from, to, registry_, d);
    return d;
}

// ---- the project manager's counter -------------------------------------------------------

QList<RevisionRecord> RevisionCounterTable::of(qint64 projectsId) {
    Query q(DbId::PM,
            QStringLiteral("select Revision, RevisionDate, RevisedBy, RevisionDescription from "
                           "tblRevCounter where ProjectsID = ? order by Revision"),
            registry_);
    q.bind(projectsId);
    return readAll(q, [](const RowReader& r) {
        return RevisionRecord{r.integer("Revision"), r.dateTime("RevisionDate"),
                              r.text("RevisedBy"), r.text("RevisionDescription")};
    });
}

void RevisionCounterTable::add(qint64 projectsId, const RevisionRecord& revision) {
    Query(DbId::PM,
          QStringLiteral("insert into tblRevCounter (ProjectsID, Revision, RevisionDate, "
                         "RevisedBy, RevisionDescription) values (?, ?, ?, ?, ?)"),
          registry_)
        .bind(projectsId)
        .bind(revision.revision)
        .bind(revision.date)
        .bind(revision.revisedBy)
        .bind(revision.description)
        .exec();
}

// ---- lines of a comparison ---------------------------------------------------------------

void CableChangeTable::replace(const QString& comparedBy, const QString& compared,
                               const QList<CableChangeLine>& lines) {
    constexpr int kColumns = 9;
    Transaction tx(DbId::Project, registry_);
    Query(DbId::Project, QStringLiteral("delete from tblCableChanges where ComparedBy = ?"),
          registry_)
        .bind(comparedBy)
        .exec();
    const QString row = QLatin1Char('(') + placeholders(kColumns) + QLatin1Char(')');
    for (qsizetype from = 0; from < lines.size(); from += kRowsPerStatement) {
        const QList<CableChangeLine> part = lines.mid(from, kRowsPerStatement);
        QStringList rows;
        rows.fill(row, part.size());
        Query q(DbId::Project,
                QStringLiteral("insert into tblCableChanges (ComparedBy, Compared, LineNo, Change, "
                               "CableNumber, Field, OldValue, NewValue, Sheet) values %1")
                    .arg(rows.join(QStringLiteral(", "))),
                registry_);
        for (qsizetype i = 0; i < part.size(); ++i) {
            const CableChangeLine& l = part[i];
            q.bind(comparedBy).bind(compared).bind(qint64(from + i + 1)).bind(l.change);
            q.bind(l.cableNumber).bind(l.field).bind(l.oldValue).bind(l.newValue).bind(l.sheet);
        }
        q.exec();
    }
    tx.commit();
}

QList<CableChangeLine> CableChangeTable::linesOf(const QString& comparedBy) {
    Query q(DbId::Project,
            QStringLiteral("select Change, CableNumber, Field, OldValue, NewValue, Sheet from "
                           "tblCableChanges where ComparedBy = ? order by LineNo"),
            registry_);
    q.bind(comparedBy);
    return readAll(q, [](const RowReader& r) {
        return CableChangeLine{r.text("Change"),   r.text("CableNumber"), r.text("Field"),
                               r.text("OldValue"), r.text("NewValue"),    r.text("Sheet")};
    });
}

}  // namespace tolvane::db
