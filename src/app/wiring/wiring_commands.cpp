// The wiring commands of the main window.
#include "app/wiring/wiring_commands.h"

#include <QDialog>
#include <QDockWidget>
#include <QScopeGuard>

#include "app/drawing/drawing_view.h"
#include "app/drawing/drawing_window.h"
#include "app/drawing/drawing_windows.h"
#include "app/jackfields/project_jackfield_windows.h"
#include "app/projects/data_sheets.h"
#include "app/projects/revision_windows.h"
#include "app/wiring/cable_windows.h"
#include "app/wiring/cables_pane.h"
#include "app/wiring/system_name_window.h"
#include "cad/cad_error.h"
#include "db/preferences.h"
#include "drawings/command_router.h"
#include "drawings/entity_tag.h"
#include "jackfields/jack_assignment.h"
#include "shell/command_table.h"
#include "shell/error_handler.h"
#include "shell/event_log.h"
#include "shell/run_state.h"
#include "ui/ui.h"
#include "wiring/project_scan.h"
#include "wiring/revisions.h"
#include "wiring/signal_trace.h"

namespace tolvane {

WiringCommands::WiringCommands(Services services, QObject* parent) : QObject(parent), s_(services) {
    s_.cables.drawCables = [this] {
        s_.router.route(CommandKey("catWAddCables"), CommandRouter::Origin::Menu);
    };
    s_.drawings.editRecord = [this](DrawingWindow& w, const QString& handle) {
        editCableRecord(w, handle);
    };
}

DrawingWindow& WiringCommands::activeWindow() const {
    DrawingWindow* w = s_.drawings.active();
    if (!w) throw cad::CadError(cad::NoDocument, QStringLiteral("ActiveDocument"));
    return *w;
}

void WiringCommands::registerActions() {
    CommandRouter& router = s_.router;
    router.setAction(CommandKey("catWAddCables"), [this] {
        if (auto* dock = qobject_cast<QDockWidget*>(s_.cables.parentWidget())) {
            dock->show();
            dock->raise();
        }
        if (!s_.cables.isSetUp()) loadCableOptions();
        const std::optional<wiring::Terminal> terminal = s_.cables.takeTerminal();
        DrawingWindow& w = activeWindow();
        s_.drawings.drawCables(w, s_.cables.options(), terminal);
    });
    router.setAction(CommandKey("catWAssignCable"), [this] { assignCables(activeWindow()); });
    router.setAction(CommandKey("catWAssignSysNames"), [this] {
        assignSysNamesCommand(s_.drawings, s_.run, s_.ui, s_.errors, s_.registry, s_.parent);
    });
    router.setAction(CommandKey("catWAssignJack"), [this] { assignJack(); });
    router.setAction(CommandKey("catWJack"), [this] { assignJack(); });
    // Removing a project jackfield works on the project database alone.
    router.setAction(CommandKey("catWDeletJF"), [this] {
        DeleteJackfieldWindow window(s_.ui, s_.registry, s_.parent);
        window.setErrorHandler(&s_.errors);
        if (window.load()) s_.ui.runModal(window);
    });
    router.setAction(CommandKey("catPCheck"), [this] {
        ProjectCheckWindow window(s_.ui, checkServices(), s_.registry, s_.parent);
        window.setErrorHandler(&s_.errors);
        window.runCheck();
        s_.ui.runModal(window);
    });
    router.setAction(CommandKey("catPIssueRevision"), [this] {
        wiring::issueRevisionCommand(s_.ui, s_.registry, s_.run.userName,
                                     s_.run.currentProjectPath);
    });
    router.setAction(CommandKey("catPCompareRevisions"), [this] {
        RevisionWindowServices services;
        services.appFolder = s_.run.appFolder();
        services.projectFolder = s_.run.currentProjectPath;
        services.comparedBy = s_.run.whoAmI;
        services.cloud = [this](const QSet<qint64>& cableIds, const QString& label) {
            int clouded = 0;
            for (DrawingWindow* w : s_.drawings.windows())
                if (!w->drawing().readOnly())
                    clouded += wiring::cloudCables(w->drawing(), cableIds, label);
            return clouded;
        };
        CompareRevisionsWindow window(s_.ui, std::move(services), s_.registry, s_.parent);
        window.setErrorHandler(&s_.errors);
        if (window.load()) s_.ui.runModal(window);
    });
    router.setAction(CommandKey("catPTrace"), [this] {
        SignalTraceWindow window(s_.ui, checkServices(), s_.registry, s_.parent);
        window.setErrorHandler(&s_.errors);
        // Started from a cable: the trace runs from its source end at once.
        if (DrawingWindow* w = s_.drawings.active())
            if (const cad::Entity* cable =
                    w->drawing().document().find(s_.drawings.events().pickedCable(w->drawing()))) {
                const auto [system, pin] = wiring::cableSource(tag::ref1(*cable), s_.registry);
                if (!system.isEmpty()) window.startFrom(system, pin);
            }
        s_.ui.runModal(window);
    });
}

void WiringCommands::assignJack() {
    DrawingWindow* w = s_.drawings.active();
    if (!w) {
        s_.ui.message(QStringLiteral("Must have an active drawing"));
        return;
    }
    if (jackfields::projectJackfields(s_.registry).isEmpty()) {
        s_.ui.message(noJackfieldsMessage());
        return;
    }
    const QStringList selected = w->view().selection();
    s_.drawings.clearGripSet(*w);
    const QString jack =
        jackfields::jackToAssign(w->drawing(), s_.ui, s_.drawings.events().pickedJack(w->drawing()),
                                 selected, s_.drawings.pickAperture(*w));
    if (jack.isEmpty()) return;
    db::Preferences prefs(s_.registry);
    const bool connectors =
        prefs.load(s_.run.userId) && prefs.flag(db::pref::DisplayJackConn, false);
    AssignJackWindow window(s_.ui, w->drawing(), jack, connectors, s_.registry, s_.parent);
    window.setErrorHandler(&s_.errors);
    if (s_.ui.runModal(window) == QDialog::Accepted) s_.drawings.clearGripSet(*w);
}

void WiringCommands::assignCables(DrawingWindow& window) {
    wiring::AssignCablesRun run(s_.ui, assignment_, s_.registry);
    run.log = &s_.log;
    run.shared = s_.run.mode == DatabaseMode::Shared;
    run.whoAmI = s_.run.whoAmI;
    run.userName = s_.run.userName;
    run.userId = s_.run.userId;
    // The cable double-clicked, or the one cable selected before the command.
    run.picked = s_.drawings.events().pickedCable(window.drawing());
    const QStringList selected = window.view().selection();
    if (run.picked.isEmpty() && selected.size() == 1) {
        const cad::Entity* e = window.drawing().document().find(selected.first());
        if (e && e->kind == cad::EntityKind::Polyline) run.picked = e->handle;
    }
    db::Preferences prefs(run.registry);
    prefs.load(s_.run.userId);
    bool showCables = false;
    run.existing = [&](const wiring::ExistingAssignment& a, wiring::AssignmentState& state) {
        wiring::AssignmentOptions options(s_.ui, &s_.log, run.registry);
        ExistingAssignmentWindow existing(options, a, state, s_.parent);
        existing.setErrorHandler(&s_.errors);
        if (s_.ui.promptLine()) s_.ui.promptLine()->setPrompt({});
        s_.ui.runModal(existing);
        showCables = showCables || existing.showDatabase();
    };
    run.verify = [&](wiring::CableSettings& settings, wiring::AssignmentState& state) {
        VerifySettingsWindow verify(s_.ui, settings, state, prefs, run.registry, s_.parent);
        verify.setErrorHandler(&s_.errors);
        if (s_.ui.promptLine()) s_.ui.promptLine()->setPrompt({});
        return s_.ui.runModal(verify) == QDialog::Accepted;
    };
    run.save = [this](Drawing& d) {
        if (DrawingWindow* w = s_.drawings.windowOf(d)) s_.drawings.save(*w);
    };
    wiring::Pointers pointers = s_.drawings.pointers();
    run.pointers = &pointers;
    window.setBusy(true);
    const auto notBusy = qScopeGuard([&window] { window.setBusy(false); });
    wiring::assignCables(window.drawing(), run);
    s_.drawings.clearGripSet(window);
    window.setLastCommand(QStringLiteral("Assign Cable"), QStringLiteral("WAssignCable"));
    if (showCables) s_.sheets.open(SheetKind::ProjectCables);
}

void WiringCommands::loadCableOptions() {
    db::Preferences row(s_.registry);
    row.load(s_.run.userId);
    s_.cables.setUp(wiring::cableOptions(row));
}

CheckWindowServices WiringCommands::checkServices() {
    DrawingWindows& drawings = s_.drawings;
    return {
        [&drawings] { return drawings.projectDrawings(); },
        [&drawings](const QString& path, const QString& handle) {
            return drawings.showEntity(path, handle);
        },
        [&drawings](const QHash<QString, QStringList>& handles) { drawings.highlight(handles); },
        [&drawings](const QString& path, const QString& handle) {
            return drawings.onScreen(path, handle);
        }};
}

void WiringCommands::showCableOnDrawing(const QString& sheet, qint64 cableId,
                                        const QString& number) {
    const std::optional<wiring::CablePlace> place =
        wiring::locateCable(s_.drawings.projectDrawings(), sheet, cableId);
    if (!place) {
        s_.ui.message(tr("Cable %1 is not drawn on any drawing of the project.").arg(number),
                      MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    if (!s_.drawings.showEntity(place->path, place->handle)) return;
    s_.drawings.highlight({{place->path, {place->handle}}});
}

void WiringCommands::editCableRecord(DrawingWindow& window, const QString& handle) {
    const cad::Entity* e = window.drawing().document().find(handle);
    const QString id = e ? tag::ref1(*e).trimmed() : QString();
    if (id.isEmpty()) {
        s_.ui.message(tr("This cable has not been assigned yet: it has no settings to edit."),
                      MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    DataSheetWindow* sheet = s_.sheets.open(SheetKind::ProjectCables);
    if (sheet && !sheet->showRow(QStringLiteral("CableID"), id))
        s_.ui.message(tr("The cable's record is not in the project's cable list: assign the "
                         "cable again."),
                      MsgButtons::Ok, MsgIcon::Warning);
}

}  // namespace tolvane
