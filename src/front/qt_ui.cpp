// The desktop answers to the Ui seam: message boxes, input and file dialogs, the status bar
// with its progress bar, and drawing prompts that wait in a nested event loop.
#include "front/qt_ui.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>
#include <utility>

namespace tolvane {

namespace {

// Progress reports come from long work on the GUI thread; events are let through at most
// this often so the window repaints without slowing the work down.
constexpr qint64 kEventsIntervalMs = 50;

QMessageBox::StandardButton standardButtonOf(MsgButton b) {
    switch (b) {
        case MsgButton::Ok:
            return QMessageBox::Ok;
        case MsgButton::Cancel:
            return QMessageBox::Cancel;
        case MsgButton::Yes:
            return QMessageBox::Yes;
        case MsgButton::No:
            return QMessageBox::No;
        case MsgButton::Retry:
            return QMessageBox::Retry;
        case MsgButton::Abort:
            return QMessageBox::Abort;
        case MsgButton::Ignore:
            return QMessageBox::Ignore;
        case MsgButton::YesToAll:
            return QMessageBox::YesToAll;
        case MsgButton::OpenFile:
        case MsgButton::OpenFolder:
            break;
    }
    return QMessageBox::NoButton;
}

QMessageBox::Icon iconOf(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::None:
            return QMessageBox::NoIcon;
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::Warning:
            return QMessageBox::Warning;
        case MsgIcon::Critical:
            return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// Message texts are written with CR LF line breaks.
QString plainLines(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString titleOr(const QString& title) {
    return title.isEmpty() ? Ui::appTitle() : title;
}

// "Drawings (*.dxf *.dwg)" -> "dxf"; empty when the filter has no plain extension.
QString suffixOfFilter(const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9_]+)(?=[\\s)]|$)"));
    const QRegularExpressionMatch m = pattern.match(filter);
    return m.hasMatch() ? m.captured(1) : QString();
}

std::optional<QString> runFileDialog(QFileDialog& dialog, const FileDialogOptions& options) {
    dialog.setObjectName(QStringLiteral("fileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (!options.title.isEmpty()) dialog.setWindowTitle(options.title);
    if (!options.filter.isEmpty())
        dialog.setNameFilters(options.filter.split(QStringLiteral(";;"), Qt::SkipEmptyParts));
    if (!options.folder.isEmpty()) dialog.setDirectory(options.folder);
    if (!options.proposed.isEmpty()) dialog.selectFile(options.proposed);
    if (options.fileType && !options.fileType->isEmpty())
        dialog.selectNameFilter(*options.fileType);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
    if (options.fileType) *options.fileType = dialog.selectedNameFilter();
    QString path = QFileInfo(files.first()).absoluteFilePath();
    // A name saved without extension gets the one of the file type chosen last.
    const QString suffix = suffixOfFilter(dialog.selectedNameFilter());
    if (dialog.acceptMode() == QFileDialog::AcceptSave && QFileInfo(path).suffix().isEmpty() &&
        !suffix.isEmpty())
        path += QLatin1Char('.') + suffix;
    return path;
}

}  // namespace

QtUi::QtUi(QObject* parent) : QObject(parent) {
    // A prompt still waiting when the application quits ends as cancelled, so the command
    // that asked can unwind.
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { cancelPrompt(); });
}

QtUi::~QtUi() = default;

void QtUi::setStatusBar(QStatusBar* bar) {
    if (bar == statusBar_) return;
    if (progressBar_) progressBar_->deleteLater();  // it lives in the old bar
    progressBar_ = nullptr;
    statusBar_ = bar;
}

QWidget* QtUi::parentWidget() const {
    // Above an open modal dialog (a message from inside a dialog) rather than behind it.
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return dialogParent_.data();
}

MsgButton QtUi::message(const QString& text, MsgButtons buttons, MsgIcon icon,
                        const QString& title) {
    QMessageBox box(parentWidget());
    box.setObjectName(QStringLiteral("msgBox"));
    box.setWindowTitle(titleOr(title));
    box.setIcon(iconOf(icon));
    box.setTextFormat(Qt::PlainText);  // "<" in a file name must not turn the text into HTML
    box.setText(plainLines(text));

    // Standard buttons are laid out by role in the platform's order (Gnome reverses them,
    // Windows puts Abort after Ignore). Taking the standard button for its text and icon and
    // adding it back with one common role keeps the order the message asks for.
    QList<std::pair<QPushButton*, MsgButton>> answers;
    for (const MsgButton b : buttonsOf(buttons)) {
        QPushButton* button = nullptr;
        if (const auto standard = standardButtonOf(b); standard != QMessageBox::NoButton) {
            button = box.addButton(standard);
            box.removeButton(button);
            box.addButton(button, QMessageBox::ActionRole);
        } else {
            button = box.addButton(b == MsgButton::OpenFile ? QStringLiteral("Open File")
                                                            : QStringLiteral("Open Folder"),
                                   QMessageBox::ActionRole);
        }
        button->setObjectName(QStringLiteral("btn") + buttonName(b));
        answers.append({button, b});
    }
    auto buttonFor = [&answers](MsgButton wanted) -> QPushButton* {
        for (const auto& [button, b] : answers)
            if (b == wanted) return button;
        return nullptr;
    };
    // Escape: Cancel, else No, else the only button. Abort/Retry/Ignore must be answered.
    QPushButton* escape = buttonFor(MsgButton::Cancel);
    if (!escape) escape = buttonFor(MsgButton::No);
    if (!escape && answers.size() == 1) escape = answers.first().first;
    box.setDefaultButton(answers.first().first);
    if (escape) box.setEscapeButton(escape);

    box.exec();
    const QAbstractButton* clicked = box.clickedButton();
    if (!clicked) clicked = escape ? escape : answers.first().first;
    for (const auto& [button, b] : answers)
        if (button == clicked) return b;
    return answers.first().second;
}

std::optional<QString> QtUi::input(const QString& title, const QString& prompt,
                                   const QString& defaultText) {
    QInputDialog dialog(parentWidget());
    dialog.setObjectName(QStringLiteral("inputBox"));
    dialog.setWindowTitle(titleOr(title));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setLabelText(plainLines(prompt));
    dialog.setTextValue(defaultText);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue();
}

std::optional<QString> QtUi::openFile(const FileDialogOptions& options) {
    QFileDialog dialog(parentWidget());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(options.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    return runFileDialog(dialog, options);
}

bool QtUi::choosePrinter(QPrinter& printer, const QString& title) {
    QPrintDialog dialog(&printer, parentWidget());
    dialog.setWindowTitle(title);
    return runModal(dialog) == QDialog::Accepted;
}

std::optional<QString> QtUi::saveFile(const FileDialogOptions& options) {
    QFileDialog dialog(parentWidget());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // A name typed without extension gets the one of the chosen file type.
    connect(&dialog, &QFileDialog::filterSelected, &dialog,
            [&dialog](const QString& filter) { dialog.setDefaultSuffix(suffixOfFilter(filter)); });
    dialog.setDefaultSuffix(
        suffixOfFilter(options.fileType && !options.fileType->isEmpty()
                           ? *options.fileType
                           : options.filter.section(QStringLiteral(";;"), 0, 0)));
    return runFileDialog(dialog, options);
}

std::optional<QString> QtUi::chooseFolder(const FileDialogOptions& options) {
    QFileDialog dialog(parentWidget());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    FileDialogOptions folderOptions = options;
    folderOptions.filter.clear();
    return runFileDialog(dialog, folderOptions);
}

std::optional<int> QtUi::choose(const QString& title, const QStringList& items) {
    if (items.isEmpty()) return std::nullopt;

    QDialog dialog(parentWidget());
    dialog.setObjectName(QStringLiteral("chooseDialog"));
    dialog.setWindowTitle(titleOr(title));
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("lstChoices"));
    list->addItems(items);
    list->setCurrentRow(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(list);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    connect(list, &QListWidget::currentRowChanged, ok, [ok](int row) { ok->setEnabled(row >= 0); });

    if (dialog.exec() != QDialog::Accepted || list->currentRow() < 0) return std::nullopt;
    return list->currentRow();
}

int QtUi::runModal(QDialog& dialog) {
    return dialog.exec();
}

void QtUi::showModeless(QWidget& window) {
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

void QtUi::beep() {
    QApplication::beep();
}

void QtUi::openExternally(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void QtUi::status(const QString& text) {
    if (statusSink_)
        statusSink_(text);
    else if (statusBar_)
        statusBar_->showMessage(text);
}

bool QtUi::progress(const QString& text, qint64 done, qint64 total) {
    status(text);
    if (total <= 0) {
        if (progressBar_) progressBar_->hide();
        if (cancelWork_) cancelWork_->hide();
        if (inputHeld_) qApp->removeEventFilter(this);
        inputHeld_ = false;
        workCancelled_ = false;
        return true;
    }
    if (!progressBar_ && statusBar_) {
        progressBar_ = new QProgressBar(statusBar_);
        progressBar_->setObjectName(QStringLiteral("prgWork"));
        progressBar_->setMaximumWidth(200);
        statusBar_->addPermanentWidget(progressBar_);
        cancelWork_ = new QToolButton(statusBar_);
        cancelWork_->setObjectName(QStringLiteral("cmdCancelWork"));
        cancelWork_->setText(tr("Cancel"));
        cancelWork_->setToolTip(tr("Stop this work; nothing of it is kept"));
        connect(cancelWork_, &QToolButton::clicked, this, [this] { workCancelled_ = true; });
        statusBar_->addPermanentWidget(cancelWork_);
    }
    if (progressBar_) {
        // The bar counts in int; totals such as the bytes of a large file are scaled down.
        const qint64 scale = total / std::numeric_limits<int>::max() + 1;
        progressBar_->setRange(0, static_cast<int>(total / scale));
        progressBar_->setValue(static_cast<int>(std::clamp<qint64>(done, 0, total) / scale));
        progressBar_->show();
        cancelWork_->show();
        if (!inputHeld_) qApp->installEventFilter(this);
        inputHeld_ = true;
    }
    // The user's input is let through now, for Cancel: the filter keeps it from the rest.
    static QElapsedTimer sinceEvents;
    if (!sinceEvents.isValid() || sinceEvents.elapsed() >= kEventsIntervalMs) {
        QCoreApplication::processEvents(inputHeld_ ? QEventLoop::AllEvents
                                                   : QEventLoop::ExcludeUserInputEvents);
        sinceEvents.start();
    }
    return !workCancelled_;
}

bool QtUi::eventFilter(QObject* watched, QEvent* event) {
    // Input comes to the native window first, which passes it on to its widgets: it is held
    // back at the widgets.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) return QObject::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) workCancelled_ = true;
            return true;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            return !(cancelWork_ &&
                     (widget == cancelWork_.data() || cancelWork_->isAncestorOf(widget)));
        default:
            return QObject::eventFilter(watched, event);
    }
}

void QtUi::history(const QString& text, bool newLine) {
    if (promptLine_) promptLine_->addHistory(text, newLine);
}

void QtUi::showPrompt(const QString& text) {
    if (promptLine_) promptLine_->setPrompt(text);
    Q_EMIT promptChanged(text);
}

void QtUi::waitForPrompt() {
    // The prompt may have been answered while it was shown (typed-ahead input).
    if (!prompt_.answered) {
        QEventLoop loop;
        QEventLoop* const outer = std::exchange(promptLoop_, &loop);
        // Returns at once or early when the application exits; the answer stays "cancelled".
        loop.exec();
        promptLoop_ = outer;
    }
    if (promptLine_) promptLine_->setPrompt({});
    Q_EMIT promptChanged({});
}

void QtUi::promptAnswered() {
    if (promptLoop_) promptLoop_->quit();
}

}  // namespace tolvane

// Compiled here, where QWidget is complete, for the QPointer<QWidget> members of the header.
