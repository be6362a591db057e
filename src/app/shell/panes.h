// Two of the main window's four docking panes: the property list and the command line (the
// project explorer and the cable-drawing pane have files of their own). The property list's
// grid is in property_grid.h, what it shows and writes in drawings/properties.h.
#pragma once

#include <QWidget>
#include <functional>

#include "ui/ui.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QComboBox;

class QKeyEvent;

namespace tolvane {

class CommandAliases;
class EventLog;

class PropertyGrid;

// frmPL: the properties of the active drawing or of the selected entities (lstProperties),
// and under them the description of the entry the user is on (lblDescription).
class PropertyListPane : public QWidget {
    Q_OBJECT
  public:
    explicit PropertyListPane(Ui& ui, QWidget* parent = nullptr);
    PropertyGrid* list() const { return list_; }
    QLabel* description() const { return description_; }

  private:
    void describe(const QModelIndex& current);

    PropertyGrid* list_;
    QLabel* description_;
};

// frmCommandLine: history, prompt label and command box. Typed aliases of two or three
// letters run at once; Enter answers a waiting drawing prompt or runs the typed alias.
class CommandLinePane : public QWidget, public PromptLine {
    Q_OBJECT
  public:
    CommandLinePane(Ui& ui, CommandAliases& aliases, EventLog& log, QWidget* parent = nullptr);

    static QString idlePrompt() { return QStringLiteral("Command : "); }

    // Runs an alias: true when it matched. Only while a drawing window is active.
    bool doCommand(const QString& text);
    // The history's opening text.
    void clearHistory();
    void clearCommand();
    void addCommand(const QString& text);
    QString command() const;  // the prompt label's text
    // Types one character into the command box, as the keyboard would.
    void addChar(QChar c);
    // Gives the keyboard focus to the command box.
    void focusBox();
    // Presses Enter in the command box.
    void pressEnter();

    // PromptLine
    void setPrompt(const QString& text) override;
    void addHistory(const QString& text, bool newLine) override;

    // Supplied by the main window: whether a drawing window is active, and how an alias's
    // action runs (a router key, or "TLB:<name>" to show or hide a toolbar or pane).
    std::function<bool()> drawingActive;
    std::function<void(const QString&)> runAction;
    // Zoom and pan while a drawing command keeps running: "ZE", "ZW", ..., "PAN".
    std::function<void(const QString&)> transparentView;
    // The drawing's own keys (Ctrl+S, Ctrl+Z, ..., and Delete when nothing is typed) typed in
    // the command box: handed to the active drawing; false when there is none.
    std::function<bool(QKeyEvent*)> drawingKey;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void onTextChanged(const QString& text);

    Ui& ui_;
    CommandAliases& aliases_;
    EventLog& log_;
    QPlainTextEdit* history_;
    QLabel* prompt_;
    QLineEdit* box_;
    bool running_ = false;
};

}  // namespace tolvane
