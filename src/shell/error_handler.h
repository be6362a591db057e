// The master error handler: the one place where an unexpected failure is reported to the
// user, logged, and turned into an orderly end of the program.
#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <utility>

#include "shell/app_error.h"

namespace tolvane {

class Ui;
class EventLog;

class ErrorHandler {
  public:
    ErrorHandler(Ui& ui, EventLog& log) : ui_(ui), log_(log) {}

    // Yes: close the main window, whose children each ask to save their changes.
    // Closes the main window, each open document asking to save its changes; false when the
    // user cancelled one of those questions (the window stays open).
    void setCloseMainWindow(std::function<bool()> close) { closeMainWindow_ = std::move(close); }
    // Ends the program with the given exit status, at once.
    void setEndProgram(std::function<void(int)> end) { endProgram_ = std::move(end); }
    // In batch mode the program always ends with status 1 after the handler.
    void setBatch(bool batch) { batch_ = batch; }

    // Reports the error raised in `procedure`. With keepRunning false the program ends; with
    // it true (the event logger) control returns after Yes has closed the main window.
    void handle(const AppError& error, const QString& procedure, bool keepRunning = false);
    // The same for whatever exception is in flight (called from a catch block). An operation
    // the user cancelled (Cancelled) is no error: it ends quietly and the program goes on.
    void handleCurrent(const QString& procedure, bool keepRunning = false);

    static QString logLine(const AppError& error, const QString& procedure);
    static QString messageText(const AppError& error, const QString& procedure);

    // Runs f, sending any failure it throws to the handler under procedure's name.
    template <class F>
    void guard(const QString& procedure, F&& f) {
        try {
            f();
        } catch (const std::exception&) {
            handleCurrent(procedure);
        }
    }

  private:
    Ui& ui_;
    EventLog& log_;
    bool batch_ = false;
    int depth_ = 0;
    std::function<bool()> closeMainWindow_;
    std::function<void(int)> endProgram_;
};

// Runs f guarded by errors under procedure's name. A window made without a handler (as the
// tests make them) lets the failure reach its caller.
template <class F>
void runGuarded(ErrorHandler* errors, const char* procedure, F&& f) {
    if (!errors) {
        f();
        return;
    }
    errors->guard(QString::fromLatin1(procedure), std::forward<F>(f));
}

}  // namespace tolvane
