// What ties the property list pane to the drawing windows: it shows the selection of a
// window, its drawing when nothing is selected, nothing without a window, and follows the
// drawing's changes (commands, undo and redo, the file name a save gives); an edit made in
// the list is written to what it shows.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>

namespace tolvane {

class Ui;
class ErrorHandler;
class SettingsStore;
class PropertyListPane;
class DrawingWindow;
class DrawingWindows;
struct PropertyContext;

class PropertyLink : public QObject {
    Q_OBJECT
  public:
    PropertyLink(PropertyListPane& pane, DrawingWindows& drawings, Ui& ui, SettingsStore& settings,
                 ErrorHandler& errors, QObject* parent = nullptr);

    void show(DrawingWindow* window, const QStringList& selection);
    // The window made active: the list shows it unless it shows it already.
    void follow(DrawingWindow* window);
    // The drawing aids of a window were changed through the list.
    std::function<void()> aidsChanged;

  private:
    PropertyContext context(DrawingWindow& window) const;
    void change(const QString& name, const QString& text);

    PropertyListPane& pane_;
    DrawingWindows& drawings_;
    Ui& ui_;
    SettingsStore& settings_;
    ErrorHandler& errors_;
    QPointer<DrawingWindow> of_;
    QStringList selection_;
    QList<QMetaObject::Connection> follow_;
};

}  // namespace tolvane
