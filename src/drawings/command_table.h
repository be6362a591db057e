// The command keys: "cat" + category letter + name, compared case-sensitively.
#pragma once

#include <QString>
#include <span>

namespace tolvane {

enum class CommandKind {
    Action,    // runs its action on the active window
    View,      // a view or window command: runs even while a drawing prompt waits
    NoAction,  // accepted by the router; acts through its own menu or toolbar handler
};

struct CommandInfo {
    const char* key;
    const char* label;
    CommandKind kind;
};

std::span<const CommandInfo> commandTable();
// nullptr when the key is not known (exact, case-sensitive match).
const CommandInfo* findCommand(const QString& key);

}  // namespace tolvane
