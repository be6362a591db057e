// The program's services as every window manager of the main window receives them: made once
// by the application, handed down whole, each manager adding only what is its own.
#pragma once

namespace tolvane {

namespace db {
class Connections;
}
class Ui;
class ErrorHandler;
class EventLog;
class SettingsStore;
class CommandAliases;
struct RunState;
namespace projects {
class Users;
}

struct AppServices {
    RunState& run;
    SettingsStore& settings;
    EventLog& log;
    Ui& ui;
    ErrorHandler& errors;
    CommandAliases& aliases;
    // The database registry every command of the run works on.
    db::Connections& registry;
    // Login and permissions; null: every key is allowed and there is no users window.
    projects::Users* users = nullptr;
};

}  // namespace tolvane
