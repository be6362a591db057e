#include "db/records/revisions.h"

#include <QStringList>

#include "db/records/row_reader.h"

namespace tolvane::db {

namespace {

// What a side of a comparison reads of a cable, in this order.
const char* kScheduleColumns[] = {
    "CableID", "CableNoPrefix", "CableNO",    "CableType", "CabletypeManu", "SignalType", "SRCSys",
    "SRCConn", "SRCPin",        "SRCLoc",     "SRCAlias",  "DestSYS",       "DESTConn",   "DestPin",
    "DESTLOc", "DSTAlias",      "Integrator", "Length",    "Sheet"};
constexpr int kScheduleColumnCount = int(std::size(kScheduleColumns));

QString columnList(const QString& alias, const QString& prefix = {}) {
    QStringList out;
    for (const char* c : kScheduleColumns) {
        const QString name = QLatin1String(c);
        out << (prefix.isEmpty() ? alias + QLatin1Char('.') + name
                                 : QStringLiteral("%1.%2 as %3%2").arg(alias, name, prefix));
    }
    return out.join(QStringLiteral(", "));
}

// The cables in use of a side: an issued revision, or tblCables as it is now. Its values are
// appended to `values` in the order the statement takes them.
QString sideSql(std::optional<qint64> revision, QVariantList& values) {
    QStringList columns;
    for (const char* c : kScheduleColumns) columns << QLatin1String(c);
    if (revision) {
        values << *revision << false;
        return QStringLiteral(
                   "select %1 from tblRevisionCables where Revision = ? and "
                   "Available = ?")
            .arg(columns.join(QStringLiteral(", ")));
    }
    // Frozen rows carry the empty prefix for none; the live side says the same.
    columns[1] = QStringLiteral("coalesce(CableNoPrefix, '') as CableNoPrefix");
    values << false;
    return QStringLiteral("select %1 from tblCables where Available = ?")
        .arg(columns.join(QStringLiteral(", ")));
}

// A cable from the columns of kScheduleColumns, read from position `at` on.
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
    return c;
}

QList<ScheduledCable> onlyIn(std::optional<qint64> in, std::optional<qint64> notIn,
                             Connections& registry) {
    QVariantList values;
    const QString inSql = sideSql(in, values);
    const QString notInSql = sideSql(notIn, values);
    Query q(DbId::Project,
            QStringLiteral("select %1 from (%2) n left join (%3) o on o.CableID = n.CableID "
                           "where o.CableID is null order by n.CableID")
                .arg(columnList(QStringLiteral("n")), inSql, notInSql),
            registry);
    for (const QVariant& v : values) q.bind(v);
    q.exec();
    QList<ScheduledCable> out;
    while (q.next()) out << readScheduled(q, 0);
    return out;
}

}  // namespace

QList<RevisionRecord> RevisionTable::issued() {
    Query q(DbId::Project,
            QStringLiteral("select Revision, RevisionDate, RevisedBy, RevisionDescription, "
                           "CableCount from tblRevisions order by Revision"),
            registry_);
    return readAll(q, [](const RowReader& r) {
        return RevisionRecord{r.integer("Revision"), r.dateTime("RevisionDate"),
                              r.text("RevisedBy"), r.text("RevisionDescription"),
                              r.integer("CableCount")};
    });
}

std::optional<qint64> RevisionTable::latest() {
    const QVariant v =
        Query(DbId::Project, QStringLiteral("select max(Revision) from tblRevisions"), registry_)
            .scalar();
    if (!v.isValid() || v.isNull()) return std::nullopt;
    return v.toLongLong();
}

qint64 RevisionTable::freeze(const RevisionRecord& revision) {
    // A row without a prefix is frozen with the empty one, so that a number compares by its
    // prefix in one way only.
    Query cables(DbId::Project,
                 QStringLiteral("insert into tblRevisionCables (Revision, CableID, CableNO, "
                                "CableNoPrefix, CableType, CabletypeManu, SignalType, SRCSys, "
                                "SRCConn, SRCPin, SRCLoc, SRCAlias, DestSYS, DESTConn, DestPin, "
                                "DESTLOc, DSTAlias, Integrator, Length, Sheet, MultiCore, "
                                "Available) select ?, CableID, CableNO, coalesce(CableNoPrefix, "
                                "''), CableType, CabletypeManu, SignalType, SRCSys, SRCConn, "
                                "SRCPin, SRCLoc, SRCAlias, DestSYS, DESTConn, DestPin, DESTLOc, "
                                "DSTAlias, Integrator, Length, Sheet, MultiCore, Available from "
                                "tblCables"),
                 registry_);
    cables.bind(revision.revision).exec();
    const qint64 count = cables.rowsAffected();
    Query(DbId::Project,
          QStringLiteral("insert into tblRevisions (Revision, RevisionDate, RevisedBy, "
                         "RevisionDescription, CableCount) values (?, ?, ?, ?, ?)"),
          registry_)
        .bind(revision.revision)
        .bind(revision.date)
        .bind(revision.revisedBy)
        .bind(revision.description)
        .bind(count)
        .exec();
    return count;
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
    d.added = onlyIn(to, from, registry_);
    d.removed = onlyIn(from, to, registry_);

    // The database picks the pairs that differ in some column; the caller tells which.
    QVariantList values;
    const QString fromSql = sideSql(from, values);
    const QString toSql = sideSql(to, values);
    QStringList differs;
    for (const char* c : kScheduleColumns)
        if (qstrcmp(c, "CableID") != 0)
            differs << QStringLiteral("o.%1 is distinct from n.%1").arg(QLatin1String(c));
    Query q(DbId::Project,
            QStringLiteral("select %1, %2 from (%3) o join (%4) n on n.CableID = o.CableID "
                           "where %5 order by o.CableID")
                .arg(columnList(QStringLiteral("o"), QStringLiteral("o_")),
                     columnList(QStringLiteral("n"), QStringLiteral("n_")), fromSql, toSql,
                     differs.join(QStringLiteral(" or "))),
            registry_);
    for (const QVariant& v : values) q.bind(v);
    q.exec();
    while (q.next())
        d.changed.append({readScheduled(q, 0), readScheduled(q, kScheduleColumnCount)});
    return d;
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
