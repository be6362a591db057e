// Connecting the databases at start-up: where each database is, making the ones a new
// installation does not have yet (schema and starter library), finding the master databases
// of a shared installation on its PostgreSQL server, and bringing every database to the
// current schema.
#pragma once

#include <QString>
#include <optional>

#include "db/database.h"
#include "shell/run_state.h"

namespace tolvane {
class Ui;
class SettingsStore;
class EventLog;
}  // namespace tolvane

namespace tolvane::db {

// The setting that puts an installation into shared mode: "SHARED"; anything else (or
// nothing) is single-user mode.
inline const QString kModeSetting = QStringLiteral("DATABASE_MODE");
DatabaseMode modeFromSettings(const SettingsStore& settings);

// Files of the embedded databases under the application folder (names compare without regard
// to case, so an existing "DBPM.DB" is found).
QString pmFile(const QString& appFolder);
QString equipmentFile(const QString& appFolder);
QString blankFile(const QString& appFolder);
QString projectFile(const QString& projectFolder);

class DatabaseSetup {
  public:
    DatabaseSetup(RunState& run, SettingsStore& settings, Ui& ui, EventLog& log,
                  Connections& registry);

    // Shared mode: finds the master databases on the server, from the settings' connection
    // strings, asking for a location when one is empty or cannot be reached. False when the
    // user chose to end the program at the message about an unreachable master database;
    // throws AppError when the prompt for a location is cancelled. Single-user mode: nothing
    // to find.
    bool locateMasters();
    // Connection strings and named connections (locating the master databases first when
    // that has not run yet). False as locateMasters.
    bool connect();
    // First run: the default project lives in the application folder. In shared mode only a
    // default project that no installation has claimed yet is pointed here. True when the
    // row was changed.
    bool setDefaultProjectPath();

  private:
    // A missing embedded database is made from the schema with its starter rows; an existing
    // one is brought to the current schema, and refused when it is empty or not ours.
    void prepareSqlite(DbId id, const QString& file);
    // Shared mode: the connection string in the setting, asked for when it is empty or the
    // server cannot be reached. nullopt: the user ended the program.
    std::optional<ConnectionSpec> locate(DbId id, const QString& settingName,
                                         const QString& dbLabel);
    // A master database on the server: a new one (no tables yet) gets its starter rows.
    void upgradeOrSeed(DbId id);
    void seed(DbId id);
    void log(const QString& line);

    RunState& run_;
    SettingsStore& settings_;
    Ui& ui_;
    EventLog& log_;
    Connections& registry_;
    bool located_ = false;
};

}  // namespace tolvane::db
