// The docking panes.
#include "app/shell/panes.h"

#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "app/drawing/property_grid.h"
#include "drawings/command_aliases.h"
#include "shell/event_log.h"

namespace tolvane {

PropertyListPane::PropertyListPane(Ui& ui, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frmPL"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    list_ = new PropertyGrid(ui, this);
    layout->addWidget(list_, 1);
    description_ = new QLabel(this);
    description_->setObjectName(QStringLiteral("lblDescription"));
    description_->setWordWrap(true);
    description_->setFrameShape(QFrame::StyledPanel);
    description_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    description_->setMinimumHeight(3 * fontMetrics().height());
    layout->addWidget(description_);
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { describe(current); });
    connect(list_->model(), &QAbstractItemModel::modelReset, this, [this] { describe({}); });
}

void PropertyListPane::describe(const QModelIndex& current) {
    const PropertyEntry* e = list_->propertyModel()->entry(current);
    description_->setText(e ? QStringLiteral("%1\n%2").arg(e->name, e->description.trimmed())
                            : QString());
}

CommandLinePane::CommandLinePane(Ui& ui, CommandAliases& aliases, EventLog& log, QWidget* parent)
    : QWidget(parent), ui_(ui), aliases_(aliases), log_(log) {
    setObjectName(QStringLiteral("frmCommandLine"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    history_ = new QPlainTextEdit(this);
    history_->setObjectName(QStringLiteral("txtHistory"));
    history_->setReadOnly(true);
    history_->setMaximumBlockCount(5000);
    auto* row = new QHBoxLayout;
    prompt_ = new QLabel(idlePrompt(), this);
    prompt_->setObjectName(QStringLiteral("lblPrompt"));
    box_ = new QLineEdit(this);
    box_->setObjectName(QStringLiteral("txtCommand"));
    row->addWidget(prompt_);
    row->addWidget(box_, 1);
    layout->addWidget(history_, 1);
    layout->addLayout(row);
    clearHistory();
    connect(box_, &QLineEdit::textChanged, this, &CommandLinePane::onTextChanged);
    connect(box_, &QLineEdit::returnPressed, this, &CommandLinePane::pressEnter);
    box_->installEventFilter(this);
}

void CommandLinePane::clearHistory() {
    history_->setPlainText(tr("Tolvane command line"));
}

void CommandLinePane::clearCommand() {
    box_->clear();
    prompt_->setText(idlePrompt());
}

void CommandLinePane::addCommand(const QString& text) {
    box_->setText(text);
}

QString CommandLinePane::command() const {
    return prompt_->text();
}

void CommandLinePane::setPrompt(const QString& text) {
    prompt_->setText(text.isEmpty() ? idlePrompt() : text);
}

void CommandLinePane::addHistory(const QString& text, bool newLine) {
    if (newLine) {
        history_->appendPlainText(text);
    } else {
        history_->moveCursor(QTextCursor::End);
        history_->insertPlainText(text);
    }
    if (log_.enabled()) log_.log(QStringLiteral("CommandLine History: ") + text);
}

void CommandLinePane::focusBox() {
    box_->setFocus(Qt::OtherFocusReason);
}

void CommandLinePane::addChar(QChar c) {
    if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
        pressEnter();
        return;
    }
    if (c == QLatin1Char('\b')) {
        box_->backspace();
        return;
    }
    // '#' starts a handle, '@' a point relative to the last one.
    if (c.isLetterOrNumber() || c == QLatin1Char(' ') || c == QLatin1Char(',') ||
        c == QLatin1Char('-') || c == QLatin1Char('.') || c == QLatin1Char('#') ||
        c == QLatin1Char('@'))
        box_->setText(box_->text() + c);
}

void CommandLinePane::onTextChanged(const QString& text) {
    // While a prompt waits, typed text is its answer, not an alias.
    if (ui_.promptWaiting() || running_) return;
    if (text.size() == 2 || text.size() == 3) doCommand(text.toUpper());
}

bool CommandLinePane::doCommand(const QString& text) {
    if (!drawingActive || !drawingActive()) return false;
    const auto entry = aliases_.match(text);
    if (!entry) return false;
    ui_.history(QStringLiteral("COMMAND : ") + text, true);
    running_ = true;
    box_->clear();
    running_ = false;
    if (!entry->action.isEmpty() && runAction) runAction(entry->action);
    return true;
}

void CommandLinePane::pressEnter() {
    const QString text = box_->text().trimmed().toUpper();
    if (ui_.promptWaiting()) {
        static const QStringList zooms = {QStringLiteral("ZOOM"), QStringLiteral("ZE"),
                                          QStringLiteral("ZW"),   QStringLiteral("ZI"),
                                          QStringLiteral("ZO"),   QStringLiteral("ZA"),
                                          QStringLiteral("ZP"),   QStringLiteral("PAN")};
        box_->clear();
        if (zooms.contains(text)) {
            if (transparentView) transparentView(text);
        } else if (text == QLatin1String("CLS")) {
            clearHistory();
        } else if (text == QLatin1String("CANCEL")) {
            ui_.history(text, true);
            ui_.cancelPrompt();
        } else if (!text.isEmpty()) {
            ui_.history(text, true);
            ui_.submitTyped(text);
        } else if (ui_.promptKind() != Ui::PromptKind::Entity) {
            // Ends a list of points where the prompt takes that, or a selection with the
            // entities picked so far.
            ui_.submitEnd();
        }
        return;
    }
    if (!doCommand(text) && text.isEmpty()) box_->clear();
}

bool CommandLinePane::eventFilter(QObject* watched, QEvent* event) {
    if (watched != box_) return QWidget::eventFilter(watched, event);
    // The box keeps the focus after an alias: the drawing's keys still act on the drawing.
    // Its own Ctrl+Z, Ctrl+C, ... are given up, so the main window's shortcuts take them.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & Qt::ControlModifier) return true;
    }
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            // Escape empties the box and acts on the drawing: the waiting prompt is cancelled
            // and the selection cleared.
            clearCommand();
            if (!drawingKey || !drawingKey(key))
                if (ui_.promptWaiting()) ui_.cancelPrompt();
            return true;
        }
        if (key->key() == Qt::Key_Delete && box_->text().isEmpty() && drawingKey && drawingKey(key))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tolvane
