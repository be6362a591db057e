#include "db/records/drawings.h"

#include "db/records/row_reader.h"

namespace tolvane::db {

namespace {

DrawingRow readDrawing(const RowReader& r) {
    DrawingRow d;
    d.id = r.integer("DrawingID");
    d.projectsId = r.optionalInteger("ProjectsID");
    d.name = r.text("DrawingName");
    d.path = r.text("drawingpath");
    d.locked = r.flag("Locked");
    d.lockedBy = r.text("LOCKEDBY");
    d.title = r.text("DrawingTitle");
    d.number = r.text("DrawingNo");
    d.revision = r.text("Revision");
    d.date = r.text("DrawingDate");
    d.drawnBy = r.text("DrawnBy");
    return d;
}

QList<DrawingRow> drawings(Query& q) {
    return readAll(q, readDrawing);
}

}  // namespace

QList<DrawingRow> DrawingTable::all() {
    Query q(
        DbId::Project,
        QStringLiteral("select * from tblDrawings order by DrawingName, drawingpath, DrawingID"),
        registry_);
    return drawings(q);
}

QList<DrawingRow> DrawingTable::inKeyOrder() {
    Query q(DbId::Project, QStringLiteral("select * from tblDrawings order by DrawingID"),
            registry_);
    return drawings(q);
}

std::optional<DrawingRow> DrawingTable::find(const QString& path) {
    Query q(DbId::Project,
            QStringLiteral("select * from tblDrawings where drawingpath = ? order by DrawingID"),
            registry_);
    q.bind(path);
    const QList<DrawingRow> found = drawings(q);
    if (found.isEmpty()) return std::nullopt;
    return found.first();
}

void DrawingTable::insert(const DrawingRow& r) {
    Query q(DbId::Project,
            QStringLiteral("insert into tblDrawings (ProjectsID, DrawingName, drawingpath, Locked, "
                           "LOCKEDBY, DrawingTitle, DrawingNo, Revision, DrawingDate, DrawnBy) "
                           "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            registry_);
    q.bind(boundValue(r.projectsId))
        .bind(r.name)
        .bind(r.path)
        .bind(r.locked)
        .bind(r.lockedBy)
        .bind(r.title)
        .bind(r.number)
        .bind(r.revision)
        .bind(r.date)
        .bind(r.drawnBy)
        .exec();
}

void DrawingTable::setPath(qint64 drawingId, const QString& path) {
    Query q(DbId::Project,
            QStringLiteral("update tblDrawings set drawingpath = ? where DrawingID = ?"),
            registry_);
    q.bind(path).bind(drawingId).exec();
}

void DrawingTable::setRevisionOfAll(const QString& revision) {
    Query(DbId::Project, QStringLiteral("update tblDrawings set Revision = ?"), registry_)
        .bind(revision)
        .exec();
}

void DrawingTable::remove(const QStringList& paths) {
    for (qsizetype from = 0; from < paths.size(); from += kRowsPerStatement) {
        const QStringList part = paths.mid(from, kRowsPerStatement);
        Query q(DbId::Project,
                QStringLiteral("delete from tblDrawings where drawingpath in (%1)")
                    .arg(placeholders(part.size())),
                registry_);
        for (const QString& path : part) q.bind(path);
        q.exec();
    }
}

void DrawingTable::removeAll() {
    Query(DbId::Project, QStringLiteral("delete from tblDrawings"), registry_).exec();
}

bool DrawingTable::lockIfFree(const QString& path, const QString& holder) {
    Query q(DbId::Project,
            QStringLiteral("update tblDrawings set Locked = ?, LOCKEDBY = ? where drawingpath = ? "
                           "and coalesce(Locked, FALSE) = FALSE"),
            registry_);
    q.bind(true).bind(holder).bind(path).exec();
    return q.rowsAffected() > 0;
}

int DrawingTable::takeOver(const QString& path, const QString& staleHolder, const QString& holder) {
    Query q(DbId::Project,
            QStringLiteral("update tblDrawings set Locked = ?, LOCKEDBY = ? where drawingpath = ? "
                           "and Locked = ? and coalesce(LOCKEDBY, '') = ?"),
            registry_);
    q.bind(true).bind(holder).bind(path).bind(true).bind(staleHolder).exec();
    return q.rowsAffected();
}

void DrawingTable::release(const QString& path, const QString& holder) {
    Query q(DbId::Project,
            QStringLiteral("update tblDrawings set Locked = ?, LOCKEDBY = ? where drawingpath = ? "
                           "and LOCKEDBY = ?"),
            registry_);
    q.bind(false).bind(QString()).bind(path).bind(holder).exec();
}

void DrawingTable::unlock(const QString& path) {
    Query q(DbId::Project,
            QStringLiteral("update tblDrawings set Locked = ? where drawingpath = ?"), registry_);
    q.bind(false).bind(path).exec();
}

int DrawingTable::lockedCount() {
    Query q(DbId::Project, QStringLiteral("select count(*) from tblDrawings where Locked = ?"),
            registry_);
    return q.bind(true).scalar().toInt();
}

int DrawingTable::lockedCount(const QString& holder) {
    Query q(DbId::Project,
            QStringLiteral("select count(*) from tblDrawings where Locked = ? and LOCKEDBY = ?"),
            registry_);
    return q.bind(true).bind(holder).scalar().toInt();
}

void DrawingTable::unlockAll() {
    Query q(DbId::Project, QStringLiteral("update tblDrawings set Locked = ?"), registry_);
    q.bind(false).exec();
}

void DrawingTable::unlockAll(const QString& holder) {
    Query q(DbId::Project, QStringLiteral("update tblDrawings set Locked = ? where LOCKEDBY = ?"),
            registry_);
    q.bind(false).bind(holder).exec();
}

}  // namespace tolvane::db
