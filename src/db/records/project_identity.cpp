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

}  // namespace tolvane::db
