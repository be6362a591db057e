// The global run state.
#include "shell/run_state.h"

namespace tolvane {

QString RunState::appFolder() const {
    QString f = appPath;
    while (f.size() > 1 && f.endsWith(QLatin1Char('/'))) f.chop(1);
    return f;
}

RunState& runState() {
    static RunState state;
    return state;
}

}  // namespace tolvane
