// The desktop implementation of the Ui seam: real Qt dialogs, and drawing prompts that wait
// in a nested event loop until the drawing view or the command line answers them.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

#include "ui/ui.h"

class QEventLoop;
class QProgressBar;
class QToolButton;
class QStatusBar;

namespace tolvane {

class QtUi : public QObject, public Ui {
    Q_OBJECT
  public:
    explicit QtUi(QObject* parent = nullptr);
    ~QtUi() override;

    // Parent of the dialogs (the main window once it exists).
    void setDialogParent(QWidget* parent) { dialogParent_ = parent; }
    // Where status text goes: the splash window's information line during start-up, the
    // main window's status bar afterwards.
    void setStatusSink(std::function<void(const QString&)> sink) { statusSink_ = std::move(sink); }
    // The status bar that hosts the progress bar of long work.
    void setStatusBar(QStatusBar* bar);

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

  signals:
    // Emitted when a drawing prompt starts waiting (text) and when it ends (empty text).
    void promptChanged(const QString& text);

  protected:
    void showPrompt(const QString& text) override;
    void waitForPrompt() override;
    void promptAnswered() override;

  protected:
    // While work shows its progress, the user's input reaches only its Cancel button (and
    // Escape, which presses it): the rest of the window waits for the work.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* parentWidget() const;

    QPointer<QWidget> dialogParent_;
    QPointer<QStatusBar> statusBar_;
    QPointer<QProgressBar> progressBar_;
    QPointer<QToolButton> cancelWork_;  // beside the bar: stops the work
    bool workCancelled_ = false;
    bool inputHeld_ = false;  // the event filter is in place
    std::function<void(const QString&)> statusSink_;
    QEventLoop* promptLoop_ = nullptr;
};

}  // namespace tolvane
