// The batch script host.
#include "app/shell/batch_host.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QSqlRecord>

#include "app/drawing/drawing_view.h"
#include "app/drawing/drawing_window.h"
#include "app/drawing/drawing_windows.h"
#include "app/shell/main_window.h"
#include "app/shell/panes.h"
#include "cad/picking.h"
#include "db/database.h"
#include "drawings/inspection.h"
#include "equipment/racks.h"
#include "front/widget_driver.h"
#include "shell/error_handler.h"
#include "wiring/project_check.h"
#include "wiring/signal_trace.h"

namespace tolvane {

namespace {

// The drawing window a line acts on: the current window must be one.
DrawingWindow* drawingWindow(QWidget* current, const QString& what, int line) {
    auto* w = qobject_cast<DrawingWindow*>(current);
    if (!w)
        throw ScriptAbort(2, line,
                          QStringLiteral("%1 needs a drawing window; the current window is %2")
                              .arg(what, current ? current->objectName() : QStringLiteral("none")));
    return w;
}

// A mouse event at a drawing point, sent to the view as the window system would send it.
void sendMouse(DrawingView& view, QEvent::Type type, QPointF world, Qt::MouseButton button,
               Qt::MouseButtons held) {
    const QPointF at = view.view().toDevice(world);
    QMouseEvent event(type, at, view.mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(&view, &event);
}

}  // namespace

void BatchHost::perform(const QString& verb, const std::function<void()>& action) {
    if (!errors_) {
        action();
        return;
    }
    errors_->guard(QStringLiteral("Script_") + verb, action);
}

MainWindow* BatchHost::requireMain() const {
    if (!main_) throw DriverError(QStringLiteral("the main window is not open"));
    return main_;
}

void BatchHost::route(const QString& key) {
    requireMain()->RouteCMD(key);
}

void BatchHost::type(const QString& text) {
    CommandLinePane* line = requireMain()->commandLine();
    for (const QChar c : text) line->addChar(c);
}

void BatchHost::enter(const QString& text) {
    CommandLinePane* line = requireMain()->commandLine();
    if (!text.isEmpty()) line->addCommand(text);
    line->pressEnter();
}

void BatchHost::open(const QString& file) {
    requireMain()->openFile(file);
}

void BatchHost::dblclick(QWidget* current, const QPointF& point, int line) {
    DrawingWindow* w = drawingWindow(current, QStringLiteral("dblclick"), line);
    activate(w);  // a click on a window makes it the active one
    requireMain()->drawings()->doubleClick(*w, point, DrawingWindows::kScriptAperture);
}

QStringList BatchHost::menuEntries(QWidget* current, const QPointF& point, int line) {
    DrawingWindow* w = drawingWindow(current, QStringLiteral("mouse menu"), line);
    activate(w);  // a click on a window makes it the active one
    return contextTexts(
        requireMain()->drawings()->contextMenu(*w, point, DrawingWindows::kScriptAperture));
}

void BatchHost::runMenuEntry(QWidget* current, const QPointF& point, const QString& entry,
                             int line) {
    DrawingWindow* w = drawingWindow(current, QStringLiteral("mouse menu"), line);
    DrawingWindows* drawings = requireMain()->drawings();
    for (const ContextEntry& e : drawings->contextMenu(*w, point, DrawingWindows::kScriptAperture))
        if (e.does != ContextEntry::Does::Separator && e.text == entry)
            return drawings->runContextEntry(*w, point, DrawingWindows::kScriptAperture, e);
}

bool BatchHost::keyFromName(const QString& name, int& key, Qt::KeyboardModifiers& mods) {
    mods = Qt::NoModifier;
    static const QHash<QString, int> plain = {
        {QStringLiteral("Escape"), Qt::Key_Escape}, {QStringLiteral("Delete"), Qt::Key_Delete},
        {QStringLiteral("Enter"), Qt::Key_Return},  {QStringLiteral("F3"), Qt::Key_F3},
        {QStringLiteral("F7"), Qt::Key_F7},         {QStringLiteral("F8"), Qt::Key_F8},
        {QStringLiteral("F9"), Qt::Key_F9},
    };
    static const QHash<QString, int> keypad = {
        {QStringLiteral("KP_Plus"), Qt::Key_Plus},
        {QStringLiteral("KP_Minus"), Qt::Key_Minus},
        {QStringLiteral("KP_Multiply"), Qt::Key_Asterisk},
        {QStringLiteral("KP_Divide"), Qt::Key_Slash},
        {QStringLiteral("KP_Decimal"), Qt::Key_Period},
        {QStringLiteral("KP_Enter"), Qt::Key_Enter},
    };
    if (plain.contains(name)) {
        key = plain.value(name);
        return true;
    }
    if (keypad.contains(name)) {
        key = keypad.value(name);
        mods = Qt::KeypadModifier;
        return true;
    }
    if (name.size() == 4 && name.startsWith(QLatin1String("KP_")) && name[3].isDigit()) {
        key = Qt::Key_0 + name[3].digitValue();
        mods = Qt::KeypadModifier;
        return true;
    }
    static const QString ctrlKeys = QStringLiteral("NSOPZYCVX");
    if (name.size() == 6 && name.startsWith(QLatin1String("Ctrl+")) && ctrlKeys.contains(name[5])) {
        key = Qt::Key_A + (name[5].unicode() - 'A');
        mods = Qt::ControlModifier;
        return true;
    }
    if (name == QLatin1String("Ctrl+Shift+Z")) {
        key = Qt::Key_Z;
        mods = Qt::ControlModifier | Qt::ShiftModifier;
        return true;
    }
    return false;
}

QWidget* BatchHost::keyTarget(QWidget* current) const {
    QWidget* target = current ? current : requireMain();
    // The focus inside the current window, or the command box, which serves the drawing
    // whose keys it hands on.
    QWidget* focus = target->window()->focusWidget();
    const bool commandBox =
        focus && main_ && main_->commandLine()->isAncestorOf(focus) && target != main_;
    if (focus && (focus == target || target->isAncestorOf(focus) || commandBox)) return focus;
    if (QWidget* own = target->focusWidget()) return own;
    return target;
}

void BatchHost::press(QWidget* target, int code, Qt::KeyboardModifiers mods, const QString& text) {
    QKeyEvent override(QEvent::ShortcutOverride, code, mods, text);
    override.ignore();
    QApplication::sendEvent(target, &override);
    if (!override.isAccepted() && (mods & Qt::ControlModifier)) {
        const QKeySequence sequence(QKeyCombination(mods, Qt::Key(code)));
        QWidget* window = target->window();
        for (QAction* a : window->findChildren<QAction*>()) {
            if (a->isEnabled() && a->shortcutContext() == Qt::WindowShortcut &&
                a->shortcuts().contains(sequence)) {
                a->trigger();
                return;
            }
        }
    }
    QKeyEvent down(QEvent::KeyPress, code, mods, text);
    QKeyEvent up(QEvent::KeyRelease, code, mods, text);
    QApplication::sendEvent(target, &down);
    QApplication::sendEvent(target, &up);
}

void BatchHost::key(QWidget* current, const QString& name) {
    int code = 0;
    Qt::KeyboardModifiers mods;
    if (!keyFromName(name, code, mods))
        throw DriverError(QStringLiteral("unknown key %1").arg(name));
    QString text;
    if (!(mods & Qt::ControlModifier) && code < 0x01000000) text = QChar(code);
    press(keyTarget(current), code, mods, text);
}

void BatchHost::keys(QWidget* current, const QString& text) {
    for (const QChar c : text) {
        // Printable characters have the key code of their upper case.
        const int code = c.toUpper().unicode();
        press(keyTarget(current), code, Qt::NoModifier, QString(c));
    }
}

void BatchHost::focus(QWidget* current, const QString& where) {
    if (where == QLatin1String("cmdline")) {
        requireMain()->commandLine()->focusBox();
        return;
    }
    DrawingWindow* w = qobject_cast<DrawingWindow*>(current);
    if (!w) w = requireMain()->drawings()->active();
    if (!w) throw DriverError(QStringLiteral("focus canvas needs an open drawing"));
    activate(w);
    w->view().setFocus(Qt::OtherFocusReason);
}

QWidget* BatchHost::activeWindow() {
    if (!main_) return nullptr;
    if (QWidget* child = main_->activeChild()) return child;
    return main_;
}

QList<QWidget*> BatchHost::openWindows() {
    QList<QWidget*> windows;
    if (!main_) return windows;
    windows << main_;
    for (QMdiSubWindow* sub : main_->mdiArea()->subWindowList())
        if (sub->widget()) windows << sub->widget();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != main_ && w->isVisible() && !windows.contains(w)) windows << w;
    return windows;
}

void BatchHost::activate(QWidget* window) {
    if (!main_ || !window) return;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget()))
        main_->mdiArea()->setActiveSubWindow(sub);
}

QStringList BatchHost::sql(const QString& dbText, const QString& statement, int line) {
    const auto id = db::dbFromName(dbText);
    if (!id)
        throw ScriptAbort(
            2, line,
            QStringLiteral("sql needs PM, EQUIPMENT, BLANK or PROJECT; found: %1").arg(dbText));
    if (statement.isEmpty()) throw ScriptAbort(2, line, QStringLiteral("sql needs a statement"));
    QStringList out;
    try {
        db::Query q(*id, db::dialect::fromJet(registry_.engine(*id), statement), registry_);
        q.exec();
        const QSqlRecord record = q.sql().record();
        QStringList names;
        for (int i = 0; i < record.count(); ++i) names << record.fieldName(i);
        // Statements without a result (insert, update, delete) write nothing.
        if (record.isEmpty()) return out;
        out << QStringLiteral("COLUMNS ") + names.join(QStringLiteral(" | "));
        int row = 0;
        while (q.next()) {
            QStringList values;
            for (int i = 0; i < record.count(); ++i) {
                const QVariant v = q.value(i);
                // Booleans read the same on both engines.
                values << (v.typeId() == QMetaType::Bool ? QString::number(v.toBool() ? 1 : 0)
                                                         : v.toString());
            }
            out << QStringLiteral("ROW %1: ").arg(++row) + values.join(QStringLiteral(" | "));
        }
    } catch (const db::DbError& e) {
        throw ScriptAbort(2, line, e.description());
    }
    return out;
}

QStringList BatchHost::entity(QWidget* current, const QString& what, int line) {
    DrawingWindow* w = drawingWindow(current, QStringLiteral("entity"), line);
    Drawing& d = w->drawing();
    const QString text = what.trimmed();
    if (text.startsWith(QLatin1Char('#'))) return inspectionLines(d.document().find(text.mid(1)));
    const std::optional<QPointF> at = parsePoint(text);
    if (!at) throw ScriptAbort(2, line, QStringLiteral("entity X,Y or entity #HANDLE expected"));
    const QString handle = d.entityAt(*at, DrawingWindows::kScriptAperture);
    return inspectionLines(handle.isEmpty() ? nullptr : d.document().find(handle));
}

QStringList BatchHost::check(int line) {
    QStringList out;
    try {
        // The records are read while the drawings are.
        wiring::ProjectCheck check(registry_);
        const wiring::ProjectScan scan = wiring::scanProject(
            requireMain()->drawings()->projectDrawings(), {}, [&check] { check.readRecords(); });
        for (const wiring::Finding& f : check.run(scan)) out << f.line();
    } catch (const db::DbError& e) {
        throw ScriptAbort(2, line, e.description());
    }
    return out;
}

QStringList BatchHost::racks(int line) {
    QStringList out;
    try {
        for (const equipment::RackPlan& plan : equipment::RackBook(registry_).plans())
            out << plan.line();
    } catch (const db::DbError& e) {
        throw ScriptAbort(2, line, e.description());
    }
    return out;
}

QStringList BatchHost::trace(const QString& system, const QString& pin, int line) {
    QStringList out;
    try {
        const wiring::ProjectScan scan =
            wiring::scanProject(requireMain()->drawings()->projectDrawings());
        const wiring::TraceResult r = wiring::SignalTrace(scan, registry_).trace(system, pin);
        for (const wiring::TraceStep& s : r.steps) out << s.line();
        if (!r.message.isEmpty()) out << QStringLiteral("TRACE message | ") + r.message;
    } catch (const db::DbError& e) {
        throw ScriptAbort(2, line, e.description());
    }
    return out;
}

QPointF BatchHost::snapPoint(QWidget* current, const QPointF& point, unsigned modes) {
    // The drawing the prompt waits on: the current window, or the active drawing while a
    // window that asked for the point has stepped aside.
    DrawingWindow* w = qobject_cast<DrawingWindow*>(current);
    if (!w && main_) w = main_->drawings()->active();
    if (!w) return point;
    Drawing& d = w->drawing();
    const cad::SnapResult snap = cad::objectSnap(d.document(), d.space(), d.index(), modes, point,
                                                 DrawingWindows::kScriptAperture);
    return snap.found() ? snap.point : point;
}

void BatchHost::mouse(QWidget* current, const QString& action, const QList<QPointF>& points,
                      int line) {
    DrawingWindow* w = drawingWindow(current, QStringLiteral("mouse"), line);
    activate(w);  // a click on a window makes it the active one
    DrawingView& view = w->view();
    const QPointF from = points.first(), to = points.last();
    sendMouse(view, QEvent::MouseMove, from, Qt::NoButton, Qt::NoButton);
    sendMouse(view, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    if (action == QLatin1String("drag"))
        sendMouse(view, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    sendMouse(view, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

QString BatchHost::hover(QWidget* current, const QPointF& point, int line) {
    DrawingWindow* w = drawingWindow(current, QStringLiteral("hover"), line);
    // A window shown offscreen may not have painted yet: its index is built now, as the
    // first paint would have it built.
    w->drawing().index().complete();
    sendMouse(w->view(), QEvent::MouseMove, point, Qt::NoButton, Qt::NoButton);
    return w->view().hovered();
}

QStringList BatchHost::selection(QWidget* current, int line) {
    return drawingWindow(current, QStringLiteral("selection"), line)->view().chosen();
}

}  // namespace tolvane
