// The project registry: the projects listed in the project manager's tblProjects, each a
// folder with its project database, drawings and reports. Creating, opening (making
// current), linking, deleting and consolidating projects. Every question goes through the Ui
// seam; the windows only collect the dialog fields and call these operations.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "db/database.h"
#include "db/records/projects.h"

namespace tolvane {
class Ui;
class SettingsStore;
class EventLog;
struct RunState;
}  // namespace tolvane

namespace tolvane::projects {

using db::ProjectRow;

class ProjectRegistry : public QObject {
    Q_OBJECT
  public:
    ProjectRegistry(RunState& run, SettingsStore& settings, Ui& ui, EventLog& log,
                    db::Connections& registry);

    static QString defaultProjectName() { return QStringLiteral("DEFAULT_PROJECT"); }

    // Supplied by the main window: closes every drawing window, each asking to save; false
    // when one of them refused. Null when no drawing window can be open.
    std::function<bool()> closeDrawings;
    // Supplied by the main window: whether any drawing window is open.
    std::function<bool()> drawingsOpen;

    // The first start of an installation (after the databases are connected). Single-user
    // mode: the default project lives in this application folder. Shared mode: the default
    // project is made once for the whole server, by the first installation that finds it
    // unclaimed (its folder in that installation's application folder, its database the
    // server's one default-project schema); every later installation finds it and leaves
    // it where it is.
    void setUpDefaultProject();

    // The registered projects by name.
    QStringList projectNames();
    std::optional<ProjectRow> find(const QString& name);
    // The project named by CURRENT_PROJECT, else the first of the list, else the default.
    QString startupProject();

    // Makes a project current: asks to close the open drawings, repairs a project whose
    // folder moved, stores CURRENT_PROJECT, rebinds the project database. An unknown name
    // opens DEFAULT_PROJECT. Returns the name opened, nullopt when the user stopped.
    std::optional<QString> openProject(const QString& name);

    // The fields of the new-project dialog. Returns the field that is empty (the dialog beeps
    // and focuses it) or nullopt when the project was made and opened.
    enum class Field { Name, Description, Path };
    std::optional<Field> missingField(const QString& name, const QString& description,
                                      const QString& path) const;
    // Creates folder, database and registry row, then opens the project. False (after a
    // message) when it could not be made; nothing is left half-made then.
    bool createProject(const QString& name, const QString& description, const QString& path);

    // Asks for the project database of a project folder and adds it to the registry.
    bool linkProject();
    // Removes a project from the registry, and its folder when everything is true (after the
    // question). Opens the first remaining project.
    bool deleteProject(const QString& name, bool everything);
    // Copies (or moves) the current project's drawings into its drawings folder.
    bool consolidate(bool move);

  Q_SIGNALS:
    // The list of projects changed (created, linked, deleted).
    void listChanged();
    // A project was made current: the explorer rebuilds its tree.
    void projectOpened(const QString& name);
    // What long work (consolidation) is doing now, for a window's status line.
    void statusChanged(const QString& text);

  private:
    // The default project's folder in this application folder.
    QString ownDefaultFolder() const;
    // Makes the folder and database of the default project in ownDefaultFolder().
    void makeDefaultProject(const ProjectRow& row);

    RunState& run_;
    SettingsStore& settings_;
    Ui& ui_;
    EventLog& log_;
    db::Connections& registry_;
};

}  // namespace tolvane::projects
