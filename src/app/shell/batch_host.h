// What a batch script asks of the running program: the router, the command line, file
// opening, keys and the open windows of the main window.
#pragma once

#include <memory>

#include "front/script_ui.h"

namespace tolvane {

namespace db {
class Connections;
}

class ErrorHandler;
class MainWindow;

class BatchHost : public ScriptHost {
  public:
    BatchHost(MainWindow*& main, std::unique_ptr<ErrorHandler>& errors, db::Connections& registry)
        : main_(main), errors_(errors), registry_(registry) {}

    void perform(const QString& verb, const std::function<void()>& action) override;
    void route(const QString& key) override;
    void type(const QString& text) override;
    void enter(const QString& text) override;
    void open(const QString& file) override;
    void dblclick(QWidget* current, const QPointF& point, int line) override;
    void key(QWidget* current, const QString& name) override;
    void keys(QWidget* current, const QString& text) override;
    void focus(QWidget* current, const QString& where) override;
    QStringList menuEntries(QWidget* current, const QPointF& point, int line) override;
    void runMenuEntry(QWidget* current, const QPointF& point, const QString& entry,
                      int line) override;
    QWidget* activeWindow() override;
    QList<QWidget*> openWindows() override;
    void activate(QWidget* window) override;
    QStringList sql(const QString& db, const QString& statement, int line) override;
    QStringList entity(QWidget* current, const QString& what, int line) override;
    QStringList check(int line) override;
    QStringList racks(int line) override;
    QStringList trace(const QString& system, const QString& pin, int line) override;
    QPointF snapPoint(QWidget* current, const QPointF& point, unsigned modes) override;
    void mouse(QWidget* current, const QString& action, const QList<QPointF>& points,
               int line) override;
    QString hover(QWidget* current, const QPointF& point, int line) override;
    QStringList selection(QWidget* current, int line) override;

    // The key event for a script key name; false when the name is not one of the keys a
    // script may press.
    static bool keyFromName(const QString& name, int& key, Qt::KeyboardModifiers& modifiers);

  private:
    MainWindow* requireMain() const;
    // Where a key pressed in the current window goes: the widget with the keyboard focus.
    QWidget* keyTarget(QWidget* current) const;
    // Presses and releases a key at `target` as the desktop would: the focus widget may claim
    // a shortcut key for itself, else a window shortcut of an enabled action takes it.
    static void press(QWidget* target, int key, Qt::KeyboardModifiers mods, const QString& text);
    MainWindow*& main_;
    std::unique_ptr<ErrorHandler>& errors_;
    db::Connections& registry_;
};

}  // namespace tolvane
