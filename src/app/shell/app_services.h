// The program's services as every window manager of the main window receives them: made once
// by the application, handed down whole, each manager adding only what is its own.
#pragma once

namespace tolvane {

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
    // Login and permissions; null: every key is allowed and there is no users window.
    projects::Users* users = nullptr;
};

}  // namespace tolvane
