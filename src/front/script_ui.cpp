// Batch implementation of the Ui seam: answers from the script, transcript on stdout.
#include "front/script_ui.h"

#include <QDialog>
#include <QEvent>
#include <QFileInfo>
#include <QPrinter>
#include <QRegularExpression>
#include <QWidget>

#include "front/widget_driver.h"

namespace tolvane {

namespace {

const QStringList kActions = {
    QStringLiteral("route"), QStringLiteral("type"),   QStringLiteral("enter"),
    QStringLiteral("open"),  QStringLiteral("window"), QStringLiteral("dblclick"),
    QStringLiteral("key"),   QStringLiteral("set"),    QStringLiteral("click"),
    QStringLiteral("rows"),  QStringLiteral("cell"),   QStringLiteral("column"),
    QStringLiteral("close"), QStringLiteral("keys"),   QStringLiteral("focus"),
    QStringLiteral("mouse"), QStringLiteral("hover")};
const QStringList kAnswers = {
    QStringLiteral("button"), QStringLiteral("text"),   QStringLiteral("file"),
    QStringLiteral("choose"), QStringLiteral("point"),  QStringLiteral("pick"),
    QStringLiteral("select"), QStringLiteral("escape"), QStringLiteral("cancel")};
const QStringList kInspections = {QStringLiteral("print"),     QStringLiteral("print-grid"),
                                  QStringLiteral("sql"),       QStringLiteral("entity"),
                                  QStringLiteral("check"),     QStringLiteral("trace"),
                                  QStringLiteral("selection"), QStringLiteral("racks")};

QString escapeLines(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\\n"));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    text.replace(QLatin1Char('\r'), QLatin1String("\\n"));
    return text;
}

// Splits "NAME VALUE" at the first blank; VALUE may be empty.
std::pair<QString, QString> firstWord(const QString& rest) {
    const int space = rest.indexOf(QLatin1Char(' '));
    if (space < 0) return {rest, QString()};
    return {rest.left(space), rest.mid(space + 1).trimmed()};
}

// Notices when a window shown through the seam is hidden or destroyed.
class CloseWatcher : public QObject {
  public:
    CloseWatcher(ScriptUi* ui, QWidget* w) : QObject(w), ui_(ui), window_(w) {
        w->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Hide) ui_->windowClosed(window_);
        return false;
    }

  private:
    ScriptUi* ui_;
    QWidget* window_;
};

}  // namespace

Script parseScript(const QString& text) {
    Script script;
    QVector<ScriptLine>& lines = script.lines;
    QStringList raw = text.split(QLatin1Char('\n'));
    if (raw.size() > 1 && raw.last().isEmpty()) raw.removeLast();  // the final line break
    script.endLine = int(raw.size()) + 1;
    for (int i = 0; i < raw.size(); ++i) {
        QString t = raw[i];
        if (t.endsWith(QLatin1Char('\r'))) t.chop(1);
        t = t.trimmed();
        if (t.isEmpty() || t.startsWith(QLatin1Char('#'))) continue;
        ScriptLine line;
        line.number = i + 1;
        line.text = t;
        auto [verb, rest] = firstWord(t);
        line.verb = verb;
        line.rest = rest;
        lines.push_back(line);
    }
    return script;
}

ScriptUi::ScriptUi(Script script, QTextStream& out)
    : lines_(std::move(script.lines)), endLine_(script.endLine), out_(out) {}

void ScriptUi::write(const QString& prefix, const QString& text) {
    if (stopped_) return;
    out_ << prefix;
    if (!text.isEmpty()) out_ << ' ' << escapeLines(text);
    out_ << '\n';
    out_.flush();
}

void ScriptUi::echo(const ScriptLine& line) {
    write(QStringLiteral("ANSWER"), line.text);
}

ScriptUi::Kind ScriptUi::kindOf(const QString& verb) {
    if (kActions.contains(verb)) return Kind::Action;
    if (kAnswers.contains(verb)) return Kind::Answer;
    if (kInspections.contains(verb)) return Kind::Inspection;
    return Kind::Unknown;
}

QString ScriptUi::windowName(QWidget* w) {
    if (!w) return {};
    const QString file = w->property("tolvaneFile").toString();
    if (!w->objectName().isEmpty()) return w->objectName();
    if (!file.isEmpty()) return QFileInfo(file).fileName();
    return w->windowTitle();
}

QWidget* ScriptUi::currentWindow() const {
    for (int i = modal_.size() - 1; i >= 0; --i)
        if (modal_[i] && modal_[i]->isVisible()) return modal_[i];
    if (chosen_ && chosen_->isVisible()) return chosen_;
    return host_ ? host_->activeWindow() : nullptr;
}

void ScriptUi::runIdle() {
    while (next_ < lines_.size()) {
        const ScriptLine line = lines_[next_++];
        runLine(line);
    }
}

void ScriptUi::runLine(const ScriptLine& line) {
    const Kind kind = kindOf(line.verb);
    if (kind == Kind::Unknown)
        throw ScriptAbort(2, line.number, QStringLiteral("unknown line: %1").arg(line.text));
    if (kind == Kind::Answer)
        throw ScriptAbort(2, line.number,
                          QStringLiteral("nothing is asked; found: %1").arg(line.text));
    if (!host_) throw ScriptAbort(2, line.number, QStringLiteral("no program to run the line"));
    host_->perform(line.verb, [&] {
        try {
            act(line);
        } catch (const DriverError& e) {
            throw ScriptAbort(2, line.number, e.text());
        }
    });
}

void ScriptUi::act(const ScriptLine& line) {
    const QString& v = line.verb;
    QWidget* window = currentWindow();
    if (v == QLatin1String("route")) {
        host_->route(line.rest);
    } else if (v == QLatin1String("type")) {
        host_->type(line.rest);
    } else if (v == QLatin1String("enter")) {
        host_->enter(line.rest);
    } else if (v == QLatin1String("open")) {
        if (line.rest.isEmpty())
            throw ScriptAbort(2, line.number, QStringLiteral("open needs a file name"));
        host_->open(line.rest);
    } else if (v == QLatin1String("window")) {
        QWidget* found = nullptr;
        for (QWidget* w : host_->openWindows()) {
            const QString file = QFileInfo(w->property("tolvaneFile").toString()).fileName();
            if (w->objectName() == line.rest || (!file.isEmpty() && file == line.rest)) {
                found = w;
                break;
            }
        }
        if (!found)
            throw ScriptAbort(2, line.number, QStringLiteral("no open window %1").arg(line.rest));
        chosen_ = found;
        host_->activate(found);
    } else if (v == QLatin1String("dblclick")) {
        auto p = parsePoint(line.rest);
        if (!p)
            throw ScriptAbort(2, line.number,
                              QStringLiteral("dblclick needs X,Y; found: %1").arg(line.rest));
        host_->dblclick(window, *p, line.number);
    } else if (v == QLatin1String("hover")) {
        const std::optional<QPointF> p = parsePoint(line.rest);
        if (!p)
            throw ScriptAbort(2, line.number,
                              QStringLiteral("hover needs X,Y; found: %1").arg(line.rest));
        const QString handle = host_->hover(window, *p, line.number);
        write(QStringLiteral("HOVER"), handle.isEmpty() ? QStringLiteral("none") : handle);
    } else if (v == QLatin1String("selection")) {
        write(QStringLiteral("SELECTION"),
              host_->selection(window, line.number).join(QLatin1Char(' ')));
    } else if (v == QLatin1String("key")) {
        host_->key(window, line.rest);
    } else if (v == QLatin1String("keys")) {
        host_->keys(window, line.rest);
    } else if (v == QLatin1String("focus")) {
        if (line.rest != QLatin1String("canvas") && line.rest != QLatin1String("cmdline"))
            throw ScriptAbort(
                2, line.number,
                QStringLiteral("focus canvas or focus cmdline expected; found: %1").arg(line.rest));
        host_->focus(window, line.rest);
    } else if (v == QLatin1String("mouse")) {
        mouse(window, line);
    } else if (v == QLatin1String("set")) {
        auto [name, value] = firstWord(line.rest);
        WidgetDriver::set(window, name, value);
    } else if (v == QLatin1String("click")) {
        WidgetDriver::click(window, line.rest);
    } else if (v == QLatin1String("rows")) {
        auto [name, list] = firstWord(line.rest);
        QList<int> rows;
        for (const QString& r : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool ok = false;
            const int n = r.trimmed().toInt(&ok);
            if (!ok)
                throw ScriptAbort(2, line.number,
                                  QStringLiteral("rows needs row numbers; found: %1").arg(r));
            rows << n;
        }
        WidgetDriver::selectRows(window, name, rows);
    } else if (v == QLatin1String("cell")) {
        static const QRegularExpression re(QStringLiteral("^(\\S+)\\s+(\\d+)\\s+(\\S+)\\s?(.*)$"));
        const auto m = re.match(line.rest);
        if (!m.hasMatch())
            throw ScriptAbort(2, line.number, QStringLiteral("cell needs NAME ROW COLUMN VALUE"));
        WidgetDriver::editCell(window, m.captured(1), m.captured(2).toInt(), m.captured(3),
                               m.captured(4));
    } else if (v == QLatin1String("column")) {
        static const QRegularExpression re(QStringLiteral("^(\\S+)\\s+(\\S+)\\s+(.+)$"));
        const auto m = re.match(line.rest);
        if (!m.hasMatch())
            throw ScriptAbort(2, line.number, QStringLiteral("column needs NAME COLUMN ACTION"));
        WidgetDriver::arrangeColumn(window, m.captured(1), m.captured(2), m.captured(3));
    } else if (v == QLatin1String("close")) {
        if (!window) throw ScriptAbort(2, line.number, QStringLiteral("no window to close"));
        window->close();
        if (chosen_ == window) chosen_ = nullptr;
    } else if (v == QLatin1String("print")) {
        const QString field = WidgetDriver::printField(window, line.rest);
        out_ << escapeLines(field) << '\n';
        out_.flush();
    } else if (v == QLatin1String("print-grid")) {
        for (const QString& l : WidgetDriver::printGrid(window, line.rest))
            out_ << escapeLines(l) << '\n';
        out_.flush();
    } else if (v == QLatin1String("sql")) {
        auto [db, statement] = firstWord(line.rest);
        for (const QString& l : host_->sql(db, statement, line.number))
            out_ << escapeLines(l) << '\n';
        out_.flush();
    } else if (v == QLatin1String("entity")) {
        for (const QString& l : host_->entity(window, line.rest, line.number))
            out_ << escapeLines(l) << '\n';
        out_.flush();
    } else if (v == QLatin1String("check")) {
        for (const QString& l : host_->check(line.number)) out_ << escapeLines(l) << '\n';
        out_.flush();
    } else if (v == QLatin1String("racks")) {
        for (const QString& l : host_->racks(line.number)) out_ << escapeLines(l) << '\n';
        out_.flush();
    } else if (v == QLatin1String("trace")) {
        auto [system, pin] = firstWord(line.rest);
        if (system.isEmpty() || pin.isEmpty())
            throw ScriptAbort(2, line.number, QStringLiteral("trace needs SYSTEM PIN"));
        for (const QString& l : host_->trace(system, pin, line.number))
            out_ << escapeLines(l) << '\n';
        out_.flush();
    }
}

void ScriptUi::mouse(QWidget* window, const ScriptLine& line) {
    const auto [how, rest] = firstWord(line.rest);
    if (how == QLatin1String("menu")) {
        // A right-click at the point, then the entry of that text.
        const auto [where, entry] = firstWord(rest);
        const std::optional<QPointF> at = parsePoint(where);
        if (!at || entry.isEmpty())
            throw ScriptAbort(2, line.number,
                              QStringLiteral("mouse menu needs X,Y ENTRY; found: %1").arg(rest));
        const QStringList entries = host_->menuEntries(window, *at, line.number);
        write(QStringLiteral("MENU"), entries.join(QStringLiteral(" / ")));
        if (!entries.contains(entry))
            throw ScriptAbort(2, line.number,
                              QStringLiteral("the menu has no entry %1").arg(entry));
        host_->runMenuEntry(window, *at, entry, line.number);
        return;
    }
    QList<QPointF> points;
    for (const QString& w : rest.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const std::optional<QPointF> p = parsePoint(w);
        if (!p) {
            points.clear();
            break;
        }
        points << *p;
    }
    const bool fits = (how == QLatin1String("click") && points.size() == 1) ||
                      (how == QLatin1String("drag") && points.size() == 2);
    if (!fits)
        throw ScriptAbort(2, line.number,
                          QStringLiteral("mouse click X,Y, mouse drag X1,Y1 X2,Y2 or mouse menu "
                                         "X,Y ENTRY expected; found: %1")
                              .arg(line.text));
    host_->mouse(window, how, points, line.number);
}

const ScriptLine& ScriptUi::takeAnswer(const QString& what, const QStringList& verbs) {
    if (onQuestion) onQuestion(what);
    if (next_ >= lines_.size())
        throw ScriptAbort(
            3, endLine(),
            QStringLiteral("the script ended while %1 waits for an answer").arg(what));
    const ScriptLine& line = lines_[next_];
    if (!verbs.contains(line.verb))
        throw ScriptAbort(2, line.number,
                          QStringLiteral("%1 waits for %2; found: %3")
                              .arg(what, verbs.join(QStringLiteral(" or ")), line.text));
    ++next_;
    return line;
}

MsgButton ScriptUi::message(const QString& text, MsgButtons buttons, MsgIcon,
                            const QString& title) {
    const QList<MsgButton> offered = buttonsOf(buttons);
    QStringList names;
    for (MsgButton b : offered) names << buttonName(b);
    write(QStringLiteral("MESSAGE"),
          QStringLiteral("[%1] %2 | %3")
              .arg(names.join(QLatin1Char('/')), title.isEmpty() ? appTitle() : title, text));
    const QString what = QStringLiteral("a message box [%1]").arg(names.join(QLatin1Char('/')));
    const ScriptLine& line = takeAnswer(what, {QStringLiteral("button")});
    const auto b = buttonFromName(line.rest);
    if (!b || !offered.contains(*b))
        throw ScriptAbort(2, line.number,
                          QStringLiteral("%1 has no button %2").arg(what, line.rest));
    echo(line);
    return *b;
}

std::optional<QString> ScriptUi::input(const QString& title, const QString& prompt,
                                       const QString& defaultText) {
    write(QStringLiteral("INPUT"), QStringLiteral("%1 | %2 | %3").arg(title, prompt, defaultText));
    const ScriptLine& line = takeAnswer(QStringLiteral("an input box"),
                                        {QStringLiteral("text"), QStringLiteral("cancel")});
    echo(line);
    if (line.verb == QLatin1String("cancel")) return std::nullopt;
    return line.rest;
}

std::optional<QString> ScriptUi::fileAnswer(const QString& what, const FileDialogOptions& o,
                                            bool mustExist) {
    write(QStringLiteral("FILE"),
          QStringLiteral("%1 | %2 | %3").arg(o.title, o.filter, o.proposed));
    const ScriptLine& line = takeAnswer(what, {QStringLiteral("file"), QStringLiteral("cancel")});
    if (line.verb == QLatin1String("cancel")) {
        echo(line);
        return std::nullopt;
    }
    if (line.rest.isEmpty()) throw ScriptAbort(2, line.number, QStringLiteral("file needs a path"));
    const QString path = QFileInfo(line.rest).absoluteFilePath();
    if (mustExist && !QFileInfo::exists(path))
        throw ScriptAbort(
            2, line.number,
            QStringLiteral("%1 needs an existing file; %2 does not exist").arg(what, line.rest));
    echo(line);
    return path;
}

std::optional<QString> ScriptUi::openFile(const FileDialogOptions& o) {
    return fileAnswer(QStringLiteral("a file-open dialog"), o, o.mustExist);
}

std::optional<QString> ScriptUi::saveFile(const FileDialogOptions& o) {
    return fileAnswer(QStringLiteral("a file-save dialog"), o, false);
}

std::optional<QString> ScriptUi::chooseFolder(const FileDialogOptions& o) {
    return fileAnswer(QStringLiteral("a folder dialog"), o, o.mustExist);
}

bool ScriptUi::choosePrinter(QPrinter& printer, const QString& title) {
    FileDialogOptions o;
    o.title = title;
    o.filter = QStringLiteral("PDF document (*.pdf)");
    o.proposed =
        printer.docName().isEmpty() ? QString() : printer.docName() + QStringLiteral(".pdf");
    const std::optional<QString> path = fileAnswer(QStringLiteral("a print dialog"), o, false);
    if (!path) return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(*path);
    return true;
}

std::optional<int> ScriptUi::choose(const QString& title, const QStringList& items) {
    write(QStringLiteral("CHOOSE"),
          QStringLiteral("%1 | %2").arg(title, items.join(QStringLiteral(" / "))));
    const ScriptLine& line = takeAnswer(QStringLiteral("a list choice"),
                                        {QStringLiteral("choose"), QStringLiteral("cancel")});
    if (line.verb == QLatin1String("cancel")) {
        echo(line);
        return std::nullopt;
    }
    const int index = items.indexOf(line.rest);
    if (index < 0)
        throw ScriptAbort(2, line.number,
                          QStringLiteral("the list choice has no item %1").arg(line.rest));
    echo(line);
    return index;
}

void ScriptUi::showPrompt(const QString& text) {
    write(QStringLiteral("PROMPT"), text);
    if (promptLine_) promptLine_->setPrompt(text);
}

void ScriptUi::waitForPrompt() {
    // A prompt takes its answer line; typed text and keys reach it through the command line
    // and the window, as they would in the desktop.
    QString what, verb;
    switch (prompt_.kind) {
        case PromptKind::Point:
            what = QStringLiteral("a point prompt");
            verb = QStringLiteral("point");
            break;
        case PromptKind::Entity:
            what = QStringLiteral("an entity prompt");
            verb = QStringLiteral("pick");
            break;
        case PromptKind::Selection:
            what = QStringLiteral("a selection prompt");
            verb = QStringLiteral("select");
            break;
        case PromptKind::None:
            return;
    }
    // While a prompt waits the rest of the program stays usable, as in the desktop: action
    // and inspection lines run (the router refuses a second command), and typed text or keys
    // may answer the prompt through the command line. Only an answer of another kind does
    // not fit.
    while (!prompt_.answered) {
        if (next_ >= lines_.size())
            throw ScriptAbort(
                3, endLine(),
                QStringLiteral("the script ended while %1 waits for an answer").arg(what));
        const ScriptLine line = lines_[next_];
        if (kindOf(line.verb) != Kind::Answer) {
            ++next_;
            runLine(line);
            continue;
        }
        takeAnswer(what, {verb, QStringLiteral("escape")});
        echo(line);
        const std::optional<QPointF> at =
            line.verb == QLatin1String("point") && prompt_.snap && host_ ? parsePoint(line.rest)
                                                                         : std::nullopt;
        if (line.verb == QLatin1String("escape")) {
            cancelPrompt();
        } else if (at) {
            submitPoint(host_->snapPoint(currentWindow(), *at, prompt_.snap));
        } else if (!submitTyped(line.rest)) {
            throw ScriptAbort(2, line.number,
                              QStringLiteral("%1 cannot take: %2").arg(what, line.rest));
        }
    }
    if (promptLine_) promptLine_->setPrompt({});
}

int ScriptUi::runModal(QDialog& dialog) {
    const QString name = windowName(&dialog);
    write(QStringLiteral("WINDOW"), name + QStringLiteral(" opened"));
    modal_.push_back(&dialog);
    dialog.setResult(0);
    dialog.show();
    while (dialog.isVisible()) {
        if (next_ >= lines_.size())
            throw ScriptAbort(3, endLine(),
                              QStringLiteral("the script ended while window %1 is open").arg(name));
        const ScriptLine line = lines_[next_++];
        runLine(line);
    }
    modal_.removeAll(&dialog);
    write(QStringLiteral("WINDOW"), name + QStringLiteral(" closed"));
    return dialog.result();
}

void ScriptUi::showModeless(QWidget& window) {
    write(QStringLiteral("WINDOW"), windowName(&window) + QStringLiteral(" opened"));
    if (!tracked_.contains(&window)) {
        tracked_ << &window;
        new CloseWatcher(this, &window);
        QObject::connect(&window, &QObject::destroyed, &window,
                         [this, w = &window] { tracked_.removeAll(w); });
    }
    window.show();
}

void ScriptUi::windowClosed(QWidget* window) {
    if (!tracked_.removeAll(window)) return;
    write(QStringLiteral("WINDOW"), windowName(window) + QStringLiteral(" closed"));
}

void ScriptUi::beep() {
    write(QStringLiteral("BEEP"), {});
}

void ScriptUi::openExternally(const QString& path) {
    write(QStringLiteral("OPEN"), path);
}

void ScriptUi::status(const QString& text) {
    write(QStringLiteral("STATUS"), text);
}

bool ScriptUi::progress(const QString& text, qint64 done, qint64 total) {
    // One line when the work starts or its text changes, one when it ends; not one per step.
    // A script never presses Cancel.
    if (total <= 0) {
        if (!lastProgress_.isEmpty())
            write(QStringLiteral("STATUS"), lastProgress_ + QStringLiteral(" done"));
        lastProgress_.clear();
        return true;
    }
    Q_UNUSED(done);
    if (text != lastProgress_) {
        lastProgress_ = text;
        write(QStringLiteral("STATUS"), text);
    }
    return true;
}

void ScriptUi::history(const QString& text, bool newLine) {
    write(QStringLiteral("HISTORY"), text);
    if (promptLine_) promptLine_->addHistory(text, newLine);
}

}  // namespace tolvane
