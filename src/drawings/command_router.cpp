// The command router.
#include "drawings/command_router.h"

#include <QScopeGuard>
#include <utility>

#include "cad/cad_error.h"
#include "shell/command_table.h"
#include "shell/error_handler.h"
#include "ui/ui.h"

namespace tolvane {

bool CommandRouter::setAction(const QString& key, Action action) {
    if (!findCommand(key)) return false;
    actions_.insert(key, std::move(action));
    return true;
}

bool CommandRouter::available(const QString& key) const {
    const CommandInfo* command = findCommand(key);
    return command && (command->kind == CommandKind::NoAction || actions_.contains(key));
}

void CommandRouter::route(const QString& key, Origin origin) {
    const CommandInfo* command = findCommand(key);
    if (!command) return;
    if (permission_ && !permission_(key)) return;
    // One command at a time: while a prompt waits for the user, only the view may change.
    if (ui_.promptWaiting() && command->kind != CommandKind::View) {
        ui_.beep();
        return;
    }
    const auto it = actions_.constFind(key);
    if (it == actions_.constEnd()) {
        if (command->kind != CommandKind::NoAction) {
            // Typed or scripted keys reach here although their menu entries are disabled.
            const QString line =
                QStringLiteral("%1 (%2) is not available in this version yet")
                    .arg(QString::fromLatin1(command->label).remove(QStringLiteral("...")), key);
            ui_.status(line);
            ui_.history(line);
        }
        return;
    }
    lastRouted_ = key;
    if (origin == Origin::Menu)
        ui_.history(QStringLiteral("COMMAND : ") +
                    QString::fromLatin1(command->label).remove(QStringLiteral("...")));
    const Action action = it.value();  // the action may re-register keys while it runs
    ++running_;
    {
        const auto ended = qScopeGuard([this] { --running_; });
        guard(key, action);
    }
    if (running_ == 0)
        for (const std::function<void()>& then : std::exchange(idle_, {})) then();
}

void CommandRouter::whenIdle(std::function<void()> then) {
    if (running_ == 0)
        then();
    else
        idle_ << std::move(then);
}

void CommandRouter::guard(const QString& procedure, const Action& action) {
    errors_.guard(procedure, [&] {
        try {
            action();
        } catch (const cad::CadError& e) {
            reportCadError(e);
        }
    });
}

void CommandRouter::reportCadError(const cad::CadError& error) {
    // A job the user cancelled ends the interactive loop still waiting, and says nothing.
    if (error.code() == cad::JobCancelled) {
        if (ui_.promptWaiting()) ui_.cancelPrompt();
        return;
    }
    ui_.history(error.line());
}

}  // namespace tolvane
