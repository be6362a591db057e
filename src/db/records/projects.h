// The projects of the project manager (tblProjects): one row per project, its name, what it is
// and the folder that holds its database, drawings and reports. And a project database's own
// record of its name and description (tblLocalProject), which travels with the folder. The
// typed record and the one place that holds the statements on both tables. Names and paths
// compare as the columns compare, without regard to case.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "db/database.h"

namespace tolvane::db {

struct ProjectRow {
    qint64 id = 0;        // ProjectsID
    QString name;         // ProjectName
    QString description;  // ProjectDescription
    QString path;         // ProjectPath: the folder; empty for a project not placed yet
    bool operator==(const ProjectRow&) const = default;
};

class ProjectTable {
  public:
    explicit ProjectTable(Connections& registry) : registry_(registry) {}

    // By name.
    QList<ProjectRow> all();
    QStringList names();
    std::optional<ProjectRow> find(const QString& name);
    // The first project registered with the folder.
    std::optional<ProjectRow> atPath(const QString& path);

    // Adds the row (its key is made by the table).
    void insert(const ProjectRow& r);
    void setPath(const QString& name, const QString& path);
    void remove(const QString& name);

  private:
    Connections& registry_;
};

// The one row of a project database that names its project (name and description only).
class LocalProjectTable {
  public:
    explicit LocalProjectTable(Connections& registry) : registry_(registry) {}

    std::optional<ProjectRow> read();
    // Makes the one row name the project: written when there is none, else rewritten.
    void write(const QString& name, const QString& description);

  private:
    Connections& registry_;
};

}  // namespace tolvane::db
