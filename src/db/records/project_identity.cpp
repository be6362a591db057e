#include "db/records/project_identity.h"

#include "db/records/row_reader.h"

namespace tolvane::db {

std::optional<ProjectRevisions> ProjectIdentityTable::revisions() {
    Query q(DbId::Project,
            QStringLiteral("select CurrentRevision, ProjectRevision from tblPID order by PIDID "
                           "limit 1"),
            registry_);
    const QList<ProjectRevisions> rows = readAll(q, [](const RowReader& r) {
        return ProjectRevisions{r.optionalInteger("CurrentRevision"),
                                r.optionalInteger("ProjectRevision")};
    });
    if (rows.isEmpty()) return std::nullopt;
    return rows.first();
}

void ProjectIdentityTable::setRevision(qint64 revision, const QDateTime& date) {
    Query first(DbId::Project, QStringLiteral("select min(PIDID) from tblPID"), registry_);
    const QVariant id = first.scalar();
    if (!id.isValid() || id.isNull()) {
        Query(DbId::Project,
              QStringLiteral("insert into tblPID (CurrentRevision, ProjectRevision, RevisionDate) "
                             "values (?, ?, ?)"),
              registry_)
            .bind(revision)
            .bind(revision)
            .bind(date)
            .exec();
        return;
    }
    Query(DbId::Project,
          QStringLiteral("update tblPID set CurrentRevision = ?, ProjectRevision = ?, RevisionDate "
                         "= ? where PIDID = ?"),
          registry_)
        .bind(revision)
        .bind(revision)
        .bind(date)
        .bind(id)
        .exec();
}

}  // namespace tolvane::db
