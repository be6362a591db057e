// The project commands of the main window: the project data sheets, the explorer's clean-up
// commands, consolidation, clearing a lock, the conflict viewer, the preferences and the
// system check, and the project menu's own entries (new, link and delete a project, the
// users and permissions of shared mode).
#pragma once

#include <QList>
#include <QObject>
#include <functional>

#include "app/shell/app_services.h"

class QAction;
class QMenu;
class QWidget;

namespace tolvane {

class CommandRouter;
class DataSheets;
class ProjectExplorer;
namespace projects {
class ProjectRegistry;
}

class ProjectCommands : public QObject {
    Q_OBJECT
  public:
    struct Services : AppServices {
        CommandRouter& router;
        ProjectExplorer& explorer;
        projects::ProjectRegistry& projects;
        DataSheets& sheets;
        QWidget* parent;  // the windows the commands open are its children
        // The preferences window has closed: what shows them is loaded again.
        std::function<void()> preferencesChanged;
    };
    explicit ProjectCommands(Services services, QObject* parent = nullptr);

    void registerActions();
    // The project menu's entries that are not routed keys: new, link and delete a project
    // first, the users window last; returns the entries shown in shared mode only.
    QList<QAction*> addMenuEntries(QMenu& menu);

  private:
    Services s_;
};

}  // namespace tolvane
