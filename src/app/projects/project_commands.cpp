// The project commands of the main window.
#include "app/projects/project_commands.h"

#include <QAction>
#include <QMenu>

#include "app/admin/conflict_viewer_window.h"
#include "app/admin/users_window.h"
#include "app/projects/data_sheets.h"
#include "app/projects/project_dialogs.h"
#include "app/projects/project_explorer.h"
#include "app/shell/preferences_window.h"
#include "drawings/command_router.h"
#include "projects/lock_admin.h"
#include "projects/project_registry.h"
#include "projects/users.h"
#include "shell/command_table.h"
#include "shell/error_handler.h"
#include "shell/run_state.h"
#include "shell/system_check.h"
#include "ui/ui.h"

namespace tolvane {

ProjectCommands::ProjectCommands(Services services, QObject* parent)
    : QObject(parent), s_(services) {}

void ProjectCommands::registerActions() {
    CommandRouter& router = s_.router;
    router.setAction(CommandKey("catPLJackFields"),
                     [this] { s_.sheets.open(SheetKind::ProjectJackfields); });
    router.setAction(CommandKey("catPLCables"),
                     [this] { s_.sheets.open(SheetKind::ProjectCables); });
    router.setAction(CommandKey("catPLSystems"), [this] { s_.sheets.open(SheetKind::Systems); });
    router.setAction(CommandKey("catPRefresh"), [this] { s_.explorer.refresh(); });
    router.setAction(CommandKey("catPDeleteMissing"), [this] { s_.explorer.removeMissing(); });
    router.setAction(CommandKey("catPClearDrawingList"), [this] { s_.explorer.clearDrawings(); });
    router.setAction(CommandKey("catPConsolidate"),
                     [this] { runConsolidate(s_.ui, s_.projects, s_.parent); });
    router.setAction(CommandKey("catPClearLock"), [this] {
        if (projects::clearLock(s_.run, s_.ui, s_.registry)) s_.explorer.refresh();
    });
    router.setAction(CommandKey("catGResolveConflicts"), [this] {
        ConflictViewerWindow window(s_.ui, s_.run.currentProjectPath, s_.registry, s_.parent);
        window.setErrorHandler(&s_.errors);
        s_.ui.runModal(window);
    });
    router.setAction(CommandKey("catPPrefs"), [this] {
        PreferencesWindow window(s_.ui, s_.settings, s_.registry, s_.parent);
        window.setErrorHandler(&s_.errors);
        s_.ui.runModal(window);
        if (s_.preferencesChanged) s_.preferencesChanged();
    });
    router.setAction(CommandKey("catGSystemCheck"), [this] {
        SystemCheck(s_.run.appFolder(), s_.run.mode).runAndShow(s_.ui, SystemCheck::Show::Always);
    });
}

QList<QAction*> ProjectCommands::addMenuEntries(QMenu& menu) {
    // The registry's own menu handlers (not routed keys).
    QList<QAction*> first;
    const auto entry = [&](const char* name, const QString& text, const char* procedure,
                           std::function<void()> run) {
        auto* a = new QAction(text, &menu);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this,
                [this, procedure, run] { s_.errors.guard(QString::fromLatin1(procedure), run); });
        first << a;
    };
    entry("catPNew", tr("&New Project..."), "AddNewProject",
          [this] { runNewProject(s_.ui, s_.projects, s_.parent); });
    entry("catPLink", tr("&Link Project..."), "catPLink", [this] { s_.projects.linkProject(); });
    entry("catPDelete", tr("&Delete Project..."), "catPDelete",
          [this] { runDeleteProject(s_.ui, s_.projects, s_.parent); });
    menu.insertActions(menu.actions().value(0), first);
    menu.insertSeparator(menu.actions().value(first.size()));
    // Shared mode: the user administration.
    menu.addSeparator();
    QAction* users = menu.addAction(tr("&Users and Permissions..."));
    users->setObjectName(QStringLiteral("mnuUsers"));
    connect(users, &QAction::triggered, this, [this] {
        s_.errors.guard(QStringLiteral("mnuUsers"), [this] {
            if (!s_.users) return;
            UsersWindow window(*s_.users, s_.ui, s_.parent);
            window.setErrorHandler(&s_.errors);
            s_.ui.runModal(window);
        });
    });
    users->setVisible(false);
    return {users};
}

}  // namespace tolvane
