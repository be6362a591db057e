// The Ui seam: every question the program asks the user, and everything it tells the user
// outside its own windows, goes through this interface. The desktop answers it with real Qt
// dialogs and the drawing view; batch mode answers it from a script and writes a transcript.
// Domain code includes this header only; it never includes a widget header.
#pragma once

#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QDialog;
class QPrinter;
class QWidget;

namespace tolvane::cad {
struct Entity;
}

namespace tolvane {

enum class MsgButton { Ok, Cancel, Yes, No, Retry, Abort, Ignore, YesToAll, OpenFile, OpenFolder };

// The button sets a message box can offer, in the order they are shown.
enum class MsgButtons {
    Ok,
    OkCancel,
    YesNo,
    YesNoCancel,
    RetryCancel,
    AbortRetryIgnore,
    YesNoYesToAllCancel,
    OpenFileOpenFolderOk  // after a file was written: open it, open its folder, or go on
};

enum class MsgIcon { None, Information, Question, Warning, Critical };

QString buttonName(MsgButton b);  // "Yes", "OK", "YesToAll", ...
std::optional<MsgButton> buttonFromName(const QString& name);
QList<MsgButton> buttonsOf(MsgButtons set);

// Answer to a point prompt. A prompt that takes a list of points (the vertices of a
// polyline) may be ended by Enter without a point: `ended` is set then, not `cancelled`.
struct PointAnswer {
    bool cancelled = true;
    QPointF point;
    bool ended = false;
    QString option;  // the prompt's option chosen instead of a point ("Close")
};

// Answer to an entity prompt: a picked point (the drawing resolves the entity there) or a
// handle typed as "#HANDLE".
struct PickAnswer {
    bool cancelled = true;
    std::optional<QPointF> point;
    QString handle;
};

// Answer to a selection prompt: a window from two corners, or a list of handles.
struct SelectionAnswer {
    bool cancelled = true;
    std::optional<QRectF> window;  // normalised; first corner left of the second = window mode
    bool crossing = false;         // dragged right to left
    QStringList handles;
};

struct FileDialogOptions {
    QString title;
    QString filter;    // Qt style: "Drawings (*.dxf);;All files (*)"
    QString proposed;  // proposed file name or folder
    QString folder;    // initial folder
    bool mustExist = true;
    // When set, the dialog offers the file types of `filter` starting with this one, and the
    // one the user picked is written back here. An answer that names a path only (a script)
    // leaves it as it was.
    QString* fileType = nullptr;
};

// Receives the lines the command line writes and the prompt it shows; the desktop's command
// line pane implements it. Kept here so that prompts and history work without a window too.
class PromptLine {
  public:
    virtual ~PromptLine() = default;
    virtual void setPrompt(const QString& text) = 0;  // empty: back to the idle prompt
    virtual void addHistory(const QString& text, bool newLine) = 0;
};

class Ui {
  public:
    virtual ~Ui() = default;

    // Application title used for message boxes without a title of their own.
    static QString appTitle() { return QStringLiteral("Tolvane"); }

    virtual MsgButton message(const QString& text, MsgButtons buttons = MsgButtons::Ok,
                              MsgIcon icon = MsgIcon::None, const QString& title = {}) = 0;
    // nullopt when cancelled.
    virtual std::optional<QString> input(const QString& title, const QString& prompt,
                                         const QString& defaultText = {}) = 0;
    virtual std::optional<QString> openFile(const FileDialogOptions& options) = 0;
    virtual std::optional<QString> saveFile(const FileDialogOptions& options) = 0;
    virtual std::optional<QString> chooseFolder(const FileDialogOptions& options) = 0;
    // Index of the chosen item, nullopt when cancelled.
    virtual std::optional<int> choose(const QString& title, const QStringList& items) = 0;
    // The printer to print on, set up in the printer's own dialog; false when cancelled. Run
    // headless, the script names a PDF file to print into instead.
    virtual bool choosePrinter(QPrinter& printer, const QString& title) = 0;

    // Drawing prompts. The prompt text is written on the drawing's prompt line.
    // Each waits until the prompt is answered: by a click on the drawing (submitPoint,
    // submitSelection), by text typed on the command line (submitTyped) or by Escape
    // (cancelPrompt). Only one prompt waits at a time.
    // A point prompt may bring object snap modes of its own (cad::SnapMode bits), used with
    // the drawing's: a click near such a point answers with the point (the cable-drawing picks
    // snap to insertion points). Typed coordinates are taken as typed.
    // With `enterEnds`, Enter on an empty command line (or the Enter key on the drawing) ends
    // the prompt without a point; otherwise it does nothing.
    // What the drawing shows of the entity being drawn or moved while a point is asked: a path
    // in drawing coordinates for the point under the cursor.
    using Preview = std::function<QPainterPath(QPointF cursor)>;
    PointAnswer getPoint(const QString& prompt, unsigned snap = 0, bool enterEnds = false,
                         Preview preview = {});
    // A point prompt that draws from `base`: the drawing shows a rubber band from it to the
    // cursor (or the preview, when one is given), and a point typed as "@dx,dy" is taken
    // relative to it. It may bring snap modes of its own, as getPoint.
    // A prompt may offer options besides a point ("Close", "Undo"): one is chosen by typing
    // its name or its capital letter, or from the drawing's context menu (submitOption).
    PointAnswer getPointFrom(const QString& prompt, QPointF base, bool enterEnds = false,
                             Preview preview = {}, unsigned snap = 0, QStringList options = {});
    // The base point of the waiting prompt, if it has one, and its preview.
    std::optional<QPointF> promptBase() const { return prompt_.base; }
    const Preview& promptPreview() const { return prompt_.preview; }
    // An entity or selection prompt may want a kind of entity (a cable, a jack): a click
    // takes the nearest entity the filter takes rather than whatever lies nearest (a pin line
    // under the cable's end), and what the cursor is over is shown the same way. The command
    // resolves a picked point with the same filter (Drawing::entityFor).
    using Wanted = std::function<bool(const cad::Entity&)>;
    PickAnswer getEntity(const QString& prompt, Wanted wanted = {});
    // A selection prompt is answered at once by a window or handles typed (or a script's
    // `select` line), or built with the mouse: clicks and windows add to the entities picked
    // so far (pickMore), and Enter or the right button ends it with them (submitEnd).
    SelectionAnswer getSelection(const QString& prompt, Wanted wanted = {});
    // Distance between two points; nullopt when cancelled.
    std::optional<double> getDistance(const QString& firstPrompt, const QString& secondPrompt);

    // Writes text on the drawing's prompt line without asking anything: work under way.
    void showPromptLine(const QString& text) { showPrompt(text); }

    enum class PromptKind { None, Point, Entity, Selection };
    PromptKind promptKind() const { return prompt_.kind; }
    // A number of its own for each prompt asked (a prompt asked within it and ended gives
    // the number back): what a view began for one prompt is not carried into the next.
    quint64 promptNumber() const { return prompt_.number; }
    bool promptWaiting() const { return prompt_.kind != PromptKind::None; }
    // The waiting point prompt's own snap modes (0 when it has none).
    unsigned promptSnap() const { return prompt_.snap; }
    // The options the waiting point prompt offers besides a point.
    const QStringList& promptOptions() const { return prompt_.options; }
    // Answers the waiting point prompt with one of its options (case ignored); false (and a
    // beep) when it offers no such option.
    bool submitOption(const QString& option);
    // The kind the waiting entity or selection prompt wants (empty: any).
    const Wanted& promptWanted() const { return prompt_.wanted; }
    // The entities picked so far for the waiting selection prompt, in the order picked.
    const QStringList& promptPicked() const { return prompt_.selection.handles; }
    // Adds the handles of `more` to those picked for the waiting selection prompt (with
    // `remove`, takes them out); a window in it is kept as the answer's window, for the
    // commands that work on the window itself (stretch). False when no selection prompt
    // waits.
    bool pickMore(const SelectionAnswer& more, bool remove = false);
    // Answers the waiting prompt. Text: "X,Y" for a point or a pick, "#HANDLE" for a pick,
    // "X1,Y1 X2,Y2" or "#H1 #H2 ..." for a selection. Returns false (and beeps) when the text
    // does not fit the prompt; the prompt keeps waiting then.
    bool submitTyped(const QString& text);
    // A click on the drawing: answers a point or an entity prompt.
    bool submitPoint(const QPointF& point);
    // The entities picked so far come with the answer.
    bool submitSelection(const SelectionAnswer& selection);
    // Ends a waiting drawing prompt with a "cancelled" answer (Escape, "CANCEL").
    void cancelPrompt();
    // Enter without text (or the right button): ends a point prompt that takes it (see
    // getPoint), or a selection prompt with the entities picked so far. False (and a beep)
    // when the waiting prompt does not end so.
    bool submitEnd();

    // Windows. runModal returns the dialog's result code; showModeless shows and returns.
    virtual int runModal(QDialog& dialog) = 0;
    virtual void showModeless(QWidget& window) = 0;

    virtual void beep() = 0;
    // Opens a file or folder the program wrote in the desktop's application for it (a PDF
    // viewer, the file manager). A script's transcript records it instead.
    virtual void openExternally(const QString& path) = 0;
    // Says where an export wrote (text: "Report exported to PATH"): on the status bar, and in a
    // message whose buttons open the file or its folder.
    void fileWritten(const QString& text, const QString& file);
    // Splash information line, status bar text.
    virtual void status(const QString& text) = 0;
    // Progress of long work; total 0 ends the progress display. The display offers Cancel:
    // false once the user has pressed it during this work (the work then stops and leaves
    // nothing half-done); the next work starts afresh.
    virtual bool progress(const QString& text, qint64 done, qint64 total) = 0;
    // Command-line history (AddHistory) and the drawing's prompt line.
    virtual void history(const QString& text, bool newLine = true) = 0;

    void setPromptLine(PromptLine* line) { promptLine_ = line; }
    PromptLine* promptLine() const { return promptLine_; }

  protected:
    // Shows the prompt text ("PROMPT ..." in a transcript, the prompt line in the desktop).
    virtual void showPrompt(const QString& text) = 0;
    // Blocks until prompt_.answered is set (nested event loop, or reading the script).
    virtual void waitForPrompt() = 0;
    // Called whenever the waiting prompt receives its answer.
    virtual void promptAnswered() {}

    struct PromptState {
        PromptKind kind = PromptKind::None;
        quint64 number = 0;
        unsigned snap = 0;
        QStringList options;
        Wanted wanted;
        bool enterEnds = false;
        std::optional<QPointF> base;
        Preview preview;
        bool answered = false;
        PointAnswer point;
        PickAnswer pick;
        SelectionAnswer selection;
    };
    PromptState prompt_;
    PromptLine* promptLine_ = nullptr;

  private:
    PromptState ask(PromptKind kind, const QString& text, unsigned snap = 0, bool enterEnds = false,
                    std::optional<QPointF> base = std::nullopt, Preview preview = {},
                    Wanted wanted = {}, QStringList options = {});
    std::optional<QPointF> lastPoint_;  // the point answered last, for "@dx,dy"
    quint64 asked_ = 0;
    void finishAnswer();
};

// Parses "X,Y" (blanks allowed around the numbers). nullopt when it is not a point.
std::optional<QPointF> parsePoint(const QString& text);
// Writes a coordinate with up to 4 decimals, trailing zeros dropped.
QString formatNumber(double v);
QString formatPoint(const QPointF& p);

}  // namespace tolvane
