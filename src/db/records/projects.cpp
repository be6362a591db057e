#include "db/records/projects.h"

#include "db/records/row_reader.h"

namespace tolvane::db {

namespace {

ProjectRow readProject(const RowReader& r) {
    ProjectRow p;
    p.id = r.integer("ProjectsID");
    p.name = r.text("ProjectName");
    p.description = r.text("ProjectDescription");
    p.path = r.text("ProjectPath");
    return p;
}

std::optional<ProjectRow> first(Query& q) {
    return readFirst(q, readProject);
}

}  // namespace

// ---- the project manager's projects ------------------------------------------------------

QList<ProjectRow> ProjectTable::all() {
    Query q(DbId::PM, QStringLiteral("select * from tblProjects order by ProjectName"), registry_);
    return readAll(q, readProject);
}

QStringList ProjectTable::names() {
    QStringList out;
    for (const ProjectRow& p : all()) out << p.name;
    return out;
}

std::optional<ProjectRow> ProjectTable::find(const QString& name) {
    Query q(DbId::PM,
            QStringLiteral("select * from tblProjects where ProjectName = ? order by ProjectsID"),
            registry_);
    q.bind(name);
    return first(q);
}

std::optional<ProjectRow> ProjectTable::atPath(const QString& path) {
    Query q(DbId::PM,
            QStringLiteral("select * from tblProjects where ProjectPath = ? order by ProjectsID"),
            registry_);
    q.bind(path);
    return first(q);
}

void ProjectTable::insert(const ProjectRow& r) {
    Query q(DbId::PM,
            QStringLiteral("insert into tblProjects (ProjectName, ProjectDescription, ProjectPath) "
                           "values (?, ?, ?)"),
            registry_);
    q.bind(r.name).bind(r.description).bind(r.path).exec();
}

void ProjectTable::setPath(const QString& name, const QString& path) {
    Query q(DbId::PM,
            QStringLiteral("update tblProjects set ProjectPath = ? where ProjectName = ?"),
            registry_);
    q.bind(path).bind(name).exec();
}

void ProjectTable::remove(const QString& name) {
    Query q(DbId::PM, QStringLiteral("delete from tblProjects where ProjectName = ?"), registry_);
    q.bind(name).exec();
}

// ---- a project database's own record ----------------------------------------------------

std::optional<ProjectRow> LocalProjectTable::read() {
    Query q(DbId::Project,
            QStringLiteral("select ProjectName, ProjectDescription from tblLocalProject"),
            registry_);
    q.exec();
    RowReader r(q);
    if (!q.next()) return std::nullopt;
    ProjectRow p;
    p.name = r.text("ProjectName");
    p.description = r.text("ProjectDescription");
    return p;
}

void LocalProjectTable::write(const QString& name, const QString& description) {
    const bool none =
        Query(DbId::Project, QStringLiteral("select count(*) from tblLocalProject"), registry_)
            .scalar()
            .toInt() == 0;
    Query q(DbId::Project,
            none ? QStringLiteral("insert into tblLocalProject (ProjectName, ProjectDescription) "
                                  "values (?, ?)")
                 : QStringLiteral("update tblLocalProject set ProjectName = ?, "
                                  "ProjectDescription = ?"),
            registry_);
    q.bind(name).bind(description).exec();
}

}  // namespace tolvane::db
