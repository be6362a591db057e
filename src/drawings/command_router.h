// RouteCMD: every menu item, toolbar button, command-line alias and double-click becomes a
// command key that enters this router. It asks the permission check, finds the key by exact
// match and runs the action registered for it. While a drawing prompt waits, only view and
// window commands run; a second command is refused.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <functional>

namespace tolvane {

class Ui;
class ErrorHandler;
namespace cad {
class CadError;
}

class CommandRouter {
  public:
    using Action = std::function<void()>;

    CommandRouter(Ui& ui, ErrorHandler& errors) : ui_(ui), errors_(errors) {}

    // The user's permission for a key; it reports a refusal itself. Always true until the
    // users and permissions are loaded (and in single-user mode).
    void setPermissionCheck(std::function<bool(const QString&)> check) {
        permission_ = std::move(check);
    }
    // Registers the action of a known key, replacing an earlier one. Returns false for a key
    // the router does not know.
    bool setAction(const QString& key, Action action);
    bool hasAction(const QString& key) const { return actions_.contains(key); }
    // Whether routing the key does something: it has an action, or it acts through its own
    // menu or toolbar handler. Menus and toolbars offer the others disabled.
    bool available(const QString& key) const;

    // The permission check alone (it tells the user when it refuses).
    bool permitted(const QString& key) const { return !permission_ || permission_(key); }
    // Where a routed key comes from. A command the user starts from a menu or a toolbar is
    // echoed in the command history ("COMMAND : Line"), as typed aliases are, so the history
    // shows what was done; the program's own routing is not.
    enum class Origin { Program, Menu };
    // Routes a key. Unknown keys and refused keys change nothing.
    void route(const QString& key, Origin origin = Origin::Program);
    // A command is running (its prompts may be waiting).
    bool running() const { return running_ > 0; }
    // Runs `then` once no command runs: now when none does, else when the running one ends
    // (what would interrupt its picks, tips say, waits for it).
    void whenIdle(std::function<void()> then);

    // Runs work the user started in a drawing without a command key (a grip dragged) as an
    // action runs: failures go to the error handler under `procedure`, CAD errors as below.
    void guard(const QString& procedure, const Action& action);

    // Writes a failed drawing operation on the command line ("Error in [op] : text"); a
    // cancelled job writes nothing. Actions that throw cad::CadError end up here.
    void reportCadError(const cad::CadError& error);

    // The key last routed that ran an action ("" before the first).
    QString lastRouted() const { return lastRouted_; }

  private:
    Ui& ui_;
    ErrorHandler& errors_;
    std::function<bool(const QString&)> permission_;
    int running_ = 0;
    QList<std::function<void()>> idle_;
    QHash<QString, Action> actions_;
    QString lastRouted_;
    int depth_ = 0;
};

}  // namespace tolvane
