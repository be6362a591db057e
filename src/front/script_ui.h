// The batch implementation of the Ui seam. It reads a script, answers every question of the
// program from the script's next line, runs the script's actions when the program is idle or
// inside the current window, and writes everything the program says as a transcript on
// standard output. A line that does not fit what the program asks ends the run with exit
// status 2, a script that ends while the program waits with status 3.
#pragma once

#include <QPointer>
#include <QTextStream>
#include <QVector>
#include <functional>

#include "front/widget_driver.h"
#include "ui/ui.h"

namespace tolvane {

struct ScriptLine {
    int number = 0;  // 1-based line number in the file
    QString verb;    // first word
    QString rest;    // the rest of the line, trimmed
    QString text;    // the whole trimmed line
};

struct Script {
    QVector<ScriptLine> lines;
    int endLine = 1;  // the line after the file's last line: where "the script ended" is reported
};

// Parses a script: blank lines and lines starting with '#' are skipped.
Script parseScript(const QString& text);

// Ends a batch run: the SCRIPT ERROR line has not been written yet; the runner writes it.
// Deliberately not a std::exception, so that the error handling of commands (which turns
// unexpected failures into the master error handler) lets it pass to the runner.
class ScriptAbort {
  public:
    ScriptAbort(int exitCode, int line, const QString& message)
        : exitCode(exitCode), line(line), message(message) {}
    QString text() const { return message; }
    QString transcriptLine() const {
        return QStringLiteral("SCRIPT ERROR line %1: %2").arg(line).arg(message);
    }
    int exitCode;
    int line;
    QString message;
};

// What only the application can do for a script: the command router, the command line,
// opening files, keys and the list of open windows. Implemented by the main window's side.
class ScriptHost {
  public:
    virtual ~ScriptHost() = default;
    // Runs the action of one script line as the window runs the user's: a failure the program
    // meets goes to its error handler (which may end the run, or only the action).
    virtual void perform(const QString& verb, const std::function<void()>& action) {
        Q_UNUSED(verb);
        action();
    }
    virtual void route(const QString& key) = 0;
    virtual void type(const QString& text) = 0;
    virtual void enter(const QString& text) = 0;
    virtual void open(const QString& file) = 0;
    // Double-click at a point of the current drawing window. Throws ScriptAbort when the
    // current window is not a drawing.
    virtual void dblclick(QWidget* current, const QPointF& point, int line) = 0;
    // Presses a key in the current window.
    virtual void key(QWidget* current, const QString& name) = 0;
    // Types text, one character at a time, into whatever has the keyboard focus.
    virtual void keys(QWidget* current, const QString& text) {
        Q_UNUSED(current);
        Q_UNUSED(text);
        throw DriverError(QStringLiteral("keys needs the program's windows"));
    }
    // Gives the keyboard focus to the current drawing ("canvas") or its command line
    // ("cmdline").
    virtual void focus(QWidget* current, const QString& where) {
        Q_UNUSED(current);
        Q_UNUSED(where);
        throw DriverError(QStringLiteral("focus needs the program's windows"));
    }
    // The context menu of the current drawing window at a point: its entries' texts, and
    // running the entry of that text (which the script has checked is one of them). Throw
    // ScriptAbort when the current window is not a drawing.
    virtual QStringList menuEntries(QWidget* current, const QPointF& point, int line) {
        Q_UNUSED(current);
        Q_UNUSED(point);
        throw ScriptAbort(2, line, QStringLiteral("mouse menu needs a drawing window"));
    }
    virtual void runMenuEntry(QWidget* current, const QPointF& point, const QString& entry,
                              int line) {
        Q_UNUSED(current);
        Q_UNUSED(point);
        Q_UNUSED(entry);
        throw ScriptAbort(2, line, QStringLiteral("mouse menu needs a drawing window"));
    }
    // The main window's active window when the script named none: the active child window,
    // else the main window.
    virtual QWidget* activeWindow() = 0;
    // Open windows that `window NAME` may choose from.
    virtual QList<QWidget*> openWindows() = 0;
    // `window NAME` chose this window: a child window of the main window becomes its active
    // one, as a click on it would make it (commands then work on it).
    virtual void activate(QWidget* window) { Q_UNUSED(window); }
    // Inspection lines that need the databases or the drawing engine. Return the lines to
    // write, or throw ScriptAbort.
    virtual QStringList sql(const QString& db, const QString& statement, int line) = 0;
    virtual QStringList entity(QWidget* current, const QString& what, int line) = 0;
    // The check of the open project ("CHECK ..." lines) and the trace of a signal from one
    // connector ("TRACE ..." lines).
    virtual QStringList check(int line) {
        throw ScriptAbort(2, line, QStringLiteral("check needs the program's project"));
    }
    // The budget of each rack of the open project ("RACK ..." lines).
    virtual QStringList racks(int line) {
        throw ScriptAbort(2, line, QStringLiteral("racks needs the program's project"));
    }
    virtual QStringList trace(const QString& system, const QString& pin, int line) {
        Q_UNUSED(system);
        Q_UNUSED(pin);
        throw ScriptAbort(2, line, QStringLiteral("trace needs the program's project"));
    }
    // The mouse in the current drawing window at drawing points, driven through the drawing
    // view's own handlers as the user's hand would: `click` presses and releases the left
    // button at one point, `drag` presses it at the first, moves to the second and releases.
    virtual void mouse(QWidget* current, const QString& action, const QList<QPointF>& points,
                       int line) {
        Q_UNUSED(current);
        Q_UNUSED(action);
        Q_UNUSED(points);
        throw ScriptAbort(2, line, QStringLiteral("mouse needs the program's drawing windows"));
    }
    // Moves the cursor to a drawing point of the current drawing window: the handle of the
    // entity a click there would pick, "" when none.
    virtual QString hover(QWidget* current, const QPointF& point, int line) {
        Q_UNUSED(current);
        Q_UNUSED(point);
        throw ScriptAbort(2, line, QStringLiteral("hover needs the program's drawing windows"));
    }
    // The handles the current drawing window shows selected.
    virtual QStringList selection(QWidget* current, int line) {
        Q_UNUSED(current);
        throw ScriptAbort(2, line, QStringLiteral("selection needs the program's drawing windows"));
    }
    // A point answered to a prompt with snap modes of its own, snapped in the current drawing
    // as a click there would be; the point itself when nothing is near.
    virtual QPointF snapPoint(QWidget* current, const QPointF& point, unsigned modes) {
        Q_UNUSED(current);
        Q_UNUSED(modes);
        return point;
    }
};

class ScriptUi : public Ui {
  public:
    // Lines go to out; the stream is flushed after every line so that a crash loses nothing.
    ScriptUi(Script script, QTextStream& out);

    void setHost(ScriptHost* host) { host_ = host; }
    // Writes one transcript line: PREFIX + " " + text, line breaks written as "\n".
    void write(const QString& prefix, const QString& text);
    // After a SCRIPT ERROR line nothing more is written (windows closing at the end, say).
    void stop() { stopped_ = true; }

    // Runs the remaining lines at the idle level. Returns when every line ran. Throws
    // ScriptAbort on a line that does not fit.
    void runIdle();
    // True when every line of the script has been consumed.
    bool atEnd() const { return next_ >= lines_.size(); }
    // The line number to report for an error at the end of the script.
    int endLine() const { return endLine_; }
    // Told of every question (what it is) before its answer is taken from the script: tests
    // look at the program's state while it waits on the user.
    std::function<void(const QString& what)> onQuestion;

    // The window actions act on: the modal window running now, else the window the script
    // chose with `window NAME` while it stays open, else the host's active window.
    QWidget* currentWindow() const;

    MsgButton message(const QString& text, MsgButtons buttons, MsgIcon icon,
                      const QString& title) override;
    std::optional<QString> input(const QString& title, const QString& prompt,
                                 const QString& defaultText) override;
    std::optional<QString> openFile(const FileDialogOptions& options) override;
    std::optional<QString> saveFile(const FileDialogOptions& options) override;
    std::optional<QString> chooseFolder(const FileDialogOptions& options) override;
    std::optional<int> choose(const QString& title, const QStringList& items) override;
    bool choosePrinter(QPrinter& printer, const QString& title) override;
    int runModal(QDialog& dialog) override;
    void showModeless(QWidget& window) override;
    void beep() override;
    void openExternally(const QString& path) override;
    void status(const QString& text) override;
    bool progress(const QString& text, qint64 done, qint64 total) override;
    void history(const QString& text, bool newLine) override;

    // Writes "WINDOW NAME closed" once when a window shown through the seam closes.
    void windowClosed(QWidget* window);

  protected:
    void showPrompt(const QString& text) override;
    void waitForPrompt() override;

  private:
    enum class Kind { Action, Answer, Inspection, Unknown };
    static Kind kindOf(const QString& verb);
    // Runs an action or inspection line; throws ScriptAbort for answers and unknown lines.
    void runLine(const ScriptLine& line);
    // What a line that is not an answer does.
    void act(const ScriptLine& line);
    // `mouse ...`: the mouse in the current drawing window.
    void mouse(QWidget* window, const ScriptLine& line);
    // Takes the next line as the answer to a question; `what` describes the question and
    // `verbs` the answer lines that fit it.
    const ScriptLine& takeAnswer(const QString& what, const QStringList& verbs);
    std::optional<QString> fileAnswer(const QString& title, const FileDialogOptions& options,
                                      bool mustExist);
    void echo(const ScriptLine& line);
    static QString windowName(QWidget* w);

    QVector<ScriptLine> lines_;
    int endLine_ = 1;
    int next_ = 0;
    QTextStream& out_;
    ScriptHost* host_ = nullptr;
    QPointer<QWidget> chosen_;
    QVector<QPointer<QWidget>> modal_;
    QList<QWidget*> tracked_;
    QString lastProgress_;
    bool stopped_ = false;
};

}  // namespace tolvane
