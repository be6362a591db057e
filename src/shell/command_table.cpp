// Looking up the command table.
#include "shell/command_table.h"

namespace tolvane {

std::span<const CommandInfo> commandTable() {
    return kCommandTable;
}

const CommandInfo* findCommand(const QString& key) {
    for (const CommandInfo& c : kCommandTable)
        if (key == QLatin1String(c.key)) return &c;
    return nullptr;
}

}  // namespace tolvane
