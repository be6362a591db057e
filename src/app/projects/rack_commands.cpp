#include "app/projects/rack_commands.h"

#include <QDir>
#include <QFileInfo>

#include "app/drawing/drawing_window.h"
#include "app/drawing/drawing_windows.h"
#include "app/projects/rack_windows.h"
#include "app/reports/report_windows.h"
#include "cad/dxf.h"
#include "drawings/command_router.h"
#include "equipment/rack_elevation.h"
#include "equipment/racks.h"
#include "projects/drawing_registry.h"
#include "shell/app_folder.h"
#include "shell/command_table.h"
#include "shell/error_handler.h"
#include "shell/run_state.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

const QString kBudgetReport = QStringLiteral("RackBudgets.rpx");

// A file under `folder` reached through these parts, each found without regard to case.
QString underNoCase(QString folder, const QStringList& parts) {
    for (const QString& part : parts) {
        const QString found = appfolder::findNoCase(folder, part);
        folder = found.isEmpty() ? QDir(folder).filePath(part) : found;
    }
    return folder;
}

}  // namespace

RackCommands::RackCommands(Services services, QObject* parent)
    : QObject(parent), s_(std::move(services)) {}

void RackCommands::registerActions() {
    s_.router.setAction(CommandKey("catPRacks"), [this] {
        if (!requireProject()) return;
        RacksWindow window(s_.ui, s_.registry, s_.parent);
        window.setErrorHandler(&s_.errors);
        window.load();
        s_.ui.runModal(window);
    });
    s_.router.setAction(CommandKey("catPRackElevation"), [this] { drawElevations(); });
    s_.router.setAction(CommandKey("catPRackBudgets"), [this] { showBudgets(); });
}

bool RackCommands::requireProject() {
    if (!s_.run.currentProjectPath.isEmpty()) return true;
    s_.ui.message(QStringLiteral("Open a project first."), MsgButtons::Ok, MsgIcon::Warning);
    return false;
}

void RackCommands::drawElevations() {
    if (!requireProject()) return;
    // The sheets are new drawings: they take the right to make drawings.
    if (!s_.router.permitted(CommandKey("catDNew"))) return;
    const equipment::RackBook book(s_.registry);
    QStringList names;
    for (const db::RackRecord& r : book.racks()) names << r.name;
    if (names.isEmpty()) {
        s_.ui.message(QStringLiteral("The project has no racks yet. Define them in the Racks "
                                     "window first."),
                      MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    RackElevationWindow chooser(names, s_.parent);
    if (s_.ui.runModal(chooser) != QDialog::Accepted) return;
    const QStringList chosen = chooser.chosenRacks();
    if (chosen.isEmpty()) return;
    equipment::ElevationOptions options;
    options.blankPanels = chooser.blankPanels();

    const QString drawings = underNoCase(s_.run.currentProjectPath, {QStringLiteral("DRAWINGS")});
    QDir().mkpath(drawings);
    projects::DrawingRegistry registry(s_.run, s_.ui, s_.registry);
    const QString templatePath = s_.drawings.files().defaultTemplate();
    QList<equipment::RackProblem> problems;
    QStringList written;
    for (const equipment::RackPlan& plan : book.plans(chosen)) {
        problems << plan.problems;
        const QString path = underNoCase(drawings, {equipment::elevationFileName(plan.rack.name)});
        if (s_.drawings.windowOf(path)) {
            s_.ui.message(QStringLiteral("%1 is open. Close it to draw the rack %2 again.")
                              .arg(QFileInfo(path).fileName(), plan.rack.name),
                          MsgButtons::Ok, MsgIcon::Warning);
            continue;
        }
        if (QFileInfo::exists(path) &&
            s_.ui.message(QStringLiteral("The drawing %1 exists. Replace it?")
                              .arg(QFileInfo(path).fileName()),
                          MsgButtons::YesNo, MsgIcon::Question) != MsgButton::Yes)
            continue;
        try {
            const cad::Document sheet = equipment::elevationSheet(
                plan, options, templatePath, s_.drawings.files().blocksFolder());
            cad::saveDxf(sheet, path);
        } catch (const cad::DxfError& e) {
            s_.ui.message(QStringLiteral("The elevation of %1 cannot be written: %2")
                              .arg(plan.rack.name, e.reason()),
                          MsgButtons::Ok, MsgIcon::Critical);
            continue;
        }
        registry.registerDrawing(path);
        written << path;
    }
    for (const QString& path : written) s_.drawings.open(path);
    if (!written.isEmpty()) Q_EMIT s_.drawings.drawingsChanged();
    if (!problems.isEmpty()) {
        RackFindingsWindow findings(problems, s_.parent);
        s_.ui.runModal(findings);
    }
}

void RackCommands::showBudgets() {
    if (!requireProject()) return;
    const equipment::RackBook book(s_.registry);
    equipment::RackBook::storeBudgets(s_.registry, book.plans());
    // The project's own copy of the layout, else the application's.
    QString path =
        underNoCase(s_.run.currentProjectPath,
                    {QStringLiteral("REPORTS"), QStringLiteral("GENERAL"), kBudgetReport});
    if (!QFileInfo::exists(path))
        path = underNoCase(s_.run.appFolder(),
                           {QStringLiteral("reports"), QStringLiteral("general"), kBudgetReport});
    s_.reports.open(path);
}

}  // namespace tolvane
