// The project's identification row (tblPID): its number, title and revision counters. The
// one place that holds the statements on the table.
#pragma once

#include <QDateTime>
#include <optional>

#include "db/database.h"

namespace tolvane::db {

// The revision counters new cables are stamped with.
struct ProjectRevisions {
    std::optional<qint64> current{};  // CurrentRevision
    std::optional<qint64> project{};  // ProjectRevision
    bool operator==(const ProjectRevisions&) const = default;
};

class ProjectIdentityTable {
  public:
    explicit ProjectIdentityTable(Connections& registry) : registry_(registry) {}

    // The counters of the first row; nullopt when the project has no identification row.
    std::optional<ProjectRevisions> revisions();
    // Both counters of the first row become `revision`, issued at `date`; a project without
    // an identification row is given one.
    void setRevision(qint64 revision, const QDateTime& date);

  private:
    Connections& registry_;
};

}  // namespace tolvane::db
