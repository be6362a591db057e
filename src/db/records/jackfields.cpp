#include "db/records/jackfields.h"

#include "db/records/row_reader.h"

namespace tolvane::db {

namespace {

JackfieldRecord readJackfield(const RowReader& r) {
    JackfieldRecord j;
    j.id = r.integer("JFID");
    j.modelId = r.integer("JackFieldID");
    j.sysName = r.text("JFSysName");
    j.number = r.integer("JFSysID");
    j.location = r.text("JFLoc");
    j.elevation = r.text("JFEl");
    j.rowStartLetter = r.text("RowStartLetter");
    j.columnStart = int(r.integer("ColStartNo"));
    j.signalType = r.text("SignalType");
    j.frontConn = r.text("FrontConn");
    j.rearConn = r.text("RearConn");
    j.rows = int(r.integer("JFRows"));
    j.columns = int(r.integer("JFCols"));
    j.sheet = r.text("SHEET");
    return j;
}

JackPosition readPosition(const RowReader& r) {
    JackPosition p;
    p.id = r.integer("RowColID");
    p.jackfieldId = r.integer("JFID");
    p.row = r.text("JFRow");
    p.column = r.text("JFCol");
    p.rowNumber = int(r.integer("JFRowNumber"));
    p.connector = r.text("JFConn");
    p.sheet = r.text("Sheet");
    p.assigned = r.flag("assigned");
    p.source = r.text("SRC");
    p.destination = r.text("dest");
    return p;
}

QList<JackfieldRecord> jackfields(Query& q) {
    return readAll(q, readJackfield);
}

QList<JackPosition> positions(Query& q) {
    return readAll(q, readPosition);
}

std::optional<JackfieldRecord> first(Query& q) {
    const QList<JackfieldRecord> found = jackfields(q);
    if (found.isEmpty()) return std::nullopt;
    return found.first();
}

}  // namespace

// ---- jackfields ------------------------------------------------------------------------

std::optional<JackfieldRecord> JackfieldTable::find(qint64 jfid) {
    Query q(DbId::Project, QStringLiteral("select * from tblJF where JFID = ?"), registry_);
    q.bind(jfid);
    return first(q);
}

std::optional<JackfieldRecord> JackfieldTable::find(const QString& sysName, qint64 number) {
    Query q(DbId::Project,
            QStringLiteral("select * from tblJF where JFSysName = ? and JFSysID = ? order by JFID"),
            registry_);
    q.bind(sysName).bind(number);
    return first(q);
}

QList<JackfieldRecord> JackfieldTable::all() {
    Query q(DbId::Project, QStringLiteral("select * from tblJF order by JFSysName, JFSysID"),
            registry_);
    return jackfields(q);
}

bool JackfieldTable::isEmpty() {
    Query q(DbId::Project, QStringLiteral("select 1 from tblJF limit 1"), registry_);
    q.exec();
    return !q.next();
}

QList<JackfieldRecord> JackfieldTable::named(const QString& sysName) {
    Query q(DbId::Project,
            QStringLiteral("select * from tblJF where JFSysName = ? order by JFSysID, JFID"),
            registry_);
    q.bind(sysName);
    return jackfields(q);
}

QStringList JackfieldTable::names() {
    Query q(DbId::Project,
            QStringLiteral("select distinct JFSysName from tblJF where JFSysName is not null "
                           "order by JFSysName"),
            registry_);
    q.exec();
    RowReader r(q);
    QStringList out;
    while (q.next()) out << r.text("JFSysName");
    return out;
}

std::optional<qint64> JackfieldTable::highestNumber(const QString& sysName) {
    Query q(DbId::Project, QStringLiteral("select max(JFSysID) from tblJF where JFSysName = ?"),
            registry_);
    const QVariant last = q.bind(sysName).scalar();
    if (!last.isValid() || last.isNull()) return std::nullopt;
    return last.toLongLong();
}

qint64 JackfieldTable::insert(const JackfieldRecord& r) {
    Query add(DbId::Project,
              QStringLiteral("insert into tblJF (JackFieldID, JFSysName, JFSysID, JFLoc, JFEl, "
                             "FrontConn, RearConn, JFRows, JFCols, SignalType, RowStartLetter, "
                             "ColStartNo) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
              registry_);
    add.bind(r.modelId)
        .bind(r.sysName)
        .bind(r.number)
        .bind(r.location)
        .bind(r.elevation)
        .bind(r.frontConn)
        .bind(r.rearConn)
        .bind(r.rows)
        .bind(r.columns)
        .bind(r.signalType)
        .bind(r.rowStartLetter)
        .bind(r.columnStart)
        .exec();
    Query id(DbId::Project,
             QStringLiteral("select JFID from tblJF where JFSysName = ? and JFSysID = ? order by "
                            "JFID desc"),
             registry_);
    return id.bind(r.sysName).bind(r.number).scalar().toLongLong();
}

void JackfieldTable::remove(qint64 jfid) {
    Query(DbId::Project, QStringLiteral("delete from tblJFRowCol where JFID = ?"), registry_)
        .bind(jfid)
        .exec();
    Query(DbId::Project, QStringLiteral("delete from tblJF where JFID = ?"), registry_)
        .bind(jfid)
        .exec();
}

QList<ItemCount> JackfieldTable::countsByModel() {
    Query q(DbId::Project,
            QStringLiteral("select JackFieldID, count(JFSysID) as fields from tblJF where "
                           "JackFieldID is not null group by JackFieldID order by JackFieldID"),
            registry_);
    q.exec();
    RowReader r(q);
    QList<ItemCount> out;
    while (q.next())
        out << ItemCount{r.value("JackFieldID"), QString(), QString(),
                         r.value("fields").toDouble()};
    return out;
}

// ---- jack positions --------------------------------------------------------------------

QList<JackPosition> JackPositionTable::ofJackfield(qint64 jfid) {
    Query q(DbId::Project,
            QStringLiteral("select * from tblJFRowCol where JFID = ? order by JFRow, RowColID"),
            registry_);
    q.bind(jfid);
    return positions(q);
}

QList<JackPosition> JackPositionTable::inColumn(qint64 jfid, const QString& column) {
    Query q(DbId::Project,
            QStringLiteral("select * from tblJFRowCol where JFID = ? and JFCol = ? order by JFRow"),
            registry_);
    q.bind(jfid).bind(column);
    return positions(q);
}

QList<AssignedPosition> JackPositionTable::assigned() {
    Query q(DbId::Project,
            QStringLiteral("select r.*, j.JFSysName as JackfieldName, j.JFSysID as "
                           "JackfieldNumber from tblJFRowCol r left join tblJF j on j.JFID = "
                           "r.JFID where r.assigned = ? order by r.RowColID"),
            registry_);
    q.bind(true).exec();
    RowReader r(q);
    QList<AssignedPosition> out;
    while (q.next())
        out << AssignedPosition{readPosition(r), r.text("JackfieldName"),
                                r.integer("JackfieldNumber")};
    return out;
}

void JackPositionTable::insert(const QList<JackPosition>& list) {
    const QString row = QStringLiteral("(?, ?, ?, ?, ?)");
    for (qsizetype from = 0; from < list.size(); from += kRowsPerStatement) {
        const QList<JackPosition> part = list.mid(from, kRowsPerStatement);
        QStringList rows;
        rows.fill(row, part.size());
        Query q(DbId::Project,
                QStringLiteral("insert into tblJFRowCol (JFRowNumber, JFID, JFRow, JFCol, "
                               "assigned) values %1")
                    .arg(rows.join(QStringLiteral(", "))),
                registry_);
        for (const JackPosition& p : part)
            q.bind(p.rowNumber).bind(p.jackfieldId).bind(p.row).bind(p.column).bind(p.assigned);
        q.exec();
    }
}

void JackPositionTable::mark(const QList<qint64>& ids, bool assigned, const QString& sheet) {
    for (qsizetype from = 0; from < ids.size(); from += kRowsPerStatement) {
        const QList<qint64> part = ids.mid(from, kRowsPerStatement);
        Query q(DbId::Project,
                QStringLiteral("update tblJFRowCol set assigned = ?, Sheet = ? where RowColID in "
                               "(%1)")
                    .arg(placeholders(part.size())),
                registry_);
        q.bind(assigned).bind(sheet);
        for (qint64 id : part) q.bind(id);
        q.exec();
    }
}

void JackPositionTable::releaseErased(const QList<qint64>& ids) {
    for (qsizetype from = 0; from < ids.size(); from += kRowsPerStatement) {
        const QList<qint64> part = ids.mid(from, kRowsPerStatement);
        Query q(DbId::Project,
                QStringLiteral("update tblJFRowCol set assigned = ?, Sheet = ?, SRC = ?, dest = ? "
                               "where RowColID in (%1)")
                    .arg(placeholders(part.size())),
                registry_);
        q.bind(false).bind(QString()).bind(QString()).bind(QString());
        for (qint64 id : part) q.bind(id);
        q.exec();
    }
}

}  // namespace tolvane::db
