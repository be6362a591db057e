// Updated databases delivered to the "DBUpdates" folder of the application folder (a new
// release's equipment library or project-manager database, a newer blank project database,
// a linked project's library) merged into the databases in use at start-up, after the user
// agrees. Before each merge the database in use is copied beside itself ("...Old.db"); after
// it the delivered file is renamed "Updated_..." so that it is applied once. The merge works on
// the single-user files of the application folder (dbPM.db, dbEquip.db, the blank project
// database) and on the SQLite databases of the registered projects.
#pragma once

#include <QString>

#include "db/database.h"

namespace tolvane {
class ErrorHandler;
class EventLog;
class Ui;
}  // namespace tolvane

namespace tolvane::projects {

enum class UpdateKind { ProjectManager = 1, Equipment = 2, BlankProject = 3 };

class DatabaseUpdate {
  public:
    // appFolder: the application folder. Projects are listed from the project-manager
    // database of `registry`. Failures go to `errors` under the procedure's name (without a
    // handler they reach the caller).
    DatabaseUpdate(const QString& appFolder, Ui& ui, EventLog& log, ErrorHandler* errors,
                   db::Connections& registry);

    // The start-up step: the blank project database, then the equipment database, then the
    // project-manager database.
    void atStartup();
    // Looks for the delivered file of the kind and, when the user agrees, merges it. No merges
    // nothing and leaves the file for the next start.
    void update(UpdateKind kind);

    // The delivered file of a kind ("" when there is none).
    QString deliveredFile(UpdateKind kind) const;

  private:
    void mergeLibrary(UpdateKind kind, const QString& delivered);
    void mergeProjects(const QString& delivered);
    // Merges `replica` into the SQLite file `file` as database `id`; true without conflicts.
    enum class Merged { Clean, Conflicts, Cancelled };
    Merged merge(db::DbId id, const QString& file, const QString& replica);
    void finish(const QString& delivered, const QString& updatedName);
    void log(const QString& line);

    QString app_;
    Ui& ui_;
    EventLog& log_;
    ErrorHandler* errors_;
    db::Connections& registry_;
};

}  // namespace tolvane::projects
