// The desktop Ui: real dialogs answered from a timer while they run modal, and drawing prompts
// answered while they wait in their nested event loop.
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "front/qt_ui.h"
#include "gui_fixture.h"

using namespace tolvane;

namespace {

// Calls act with the modal dialog once the blocking call under test has shown it. act must
// close the dialog whatever it finds; the checks come after the call returns.
void whenModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act, tries = 0]() mutable {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal && ++tries < 400) return;
        timer->deleteLater();
        timer->stop();
        if (modal) act(modal);
    });
    timer->start(5);
}

using test::later;
using test::Watchdog;

struct RecordingLine : PromptLine {
    QStringList prompts, lines;
    void setPrompt(const QString& text) override { prompts << text; }
    void addHistory(const QString& text, bool newLine) override {
        lines << text + "|" + QString::number(newLine);
    }
};

}  // namespace

class TestQtUi : public QObject {
    Q_OBJECT
  private slots:
    void messageBoxes() {
        QtUi ui;
        QWidget owner;
        ui.setDialogParent(&owner);
        // Buttons in the order asked (not the platform's); the second one is clicked.
        const struct {
            MsgButtons set;
            QString title;
            QStringList order;
        } shown[] = {
            {MsgButtons::YesNoYesToAllCancel, "", {"btnYes", "btnNo", "btnYesToAll", "btnCancel"}},
            {MsgButtons::AbortRetryIgnore, "Import", {"btnAbort", "btnRetry", "btnIgnore"}}};
        for (const auto& c : shown) {
            QStringList seen;
            whenModal([&](QWidget* w) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (!box) return void(w->close());
                seen << box->objectName() << box->windowTitle() << box->text()
                     << QString::number(box->icon()) << QString::number(box->textFormat())
                     << QString::number(box->parentWidget() == &owner);
                QList<QAbstractButton*> buttons = box->buttons();
                std::sort(buttons.begin(), buttons.end(),
                          [](auto* a, auto* b) { return a->x() < b->x(); });
                for (auto* b : buttons) seen << b->objectName();
                buttons.at(1)->click();
            });
            const MsgButton answer = ui.message("Rack R12 is full.\r\nMove <Patch 3>?", c.set,
                                                MsgIcon::Critical, c.title);
            QCOMPARE(seen, QStringList({"msgBox", c.title.isEmpty() ? "Tolvane" : c.title,
                                        "Rack R12 is full.\nMove <Patch 3>?",
                                        QString::number(QMessageBox::Critical),
                                        QString::number(Qt::PlainText), "1"}) +
                               c.order);
            QCOMPARE("btn" + buttonName(answer), c.order.at(1));
        }

        // Enter takes the first button; Escape the Cancel or No, or a lone OK.
        const struct {
            MsgButtons set;
            Qt::Key key;
            MsgButton expected;
        } keys[] = {{MsgButtons::YesNoCancel, Qt::Key_Return, MsgButton::Yes},
                    {MsgButtons::YesNoCancel, Qt::Key_Escape, MsgButton::Cancel},
                    {MsgButtons::YesNoYesToAllCancel, Qt::Key_Escape, MsgButton::Cancel},
                    {MsgButtons::Ok, Qt::Key_Escape, MsgButton::Ok}};
        for (const auto& c : keys) {
            whenModal([&c](QWidget* w) {
                QTest::keyClick(w, c.key);
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                    box->buttons().first()->click();  // the key did nothing
            });
            QCOMPARE(buttonName(ui.message("Overwrite?", c.set, MsgIcon::Question, {})),
                     buttonName(c.expected));
        }
    }

    void inputAndChoose() {
        QtUi ui;
        QString proposed;
        whenModal([&](QWidget* w) {
            if (auto* d = qobject_cast<QInputDialog*>(w)) {
                proposed = d->labelText() + "=" + d->textValue();
                d->setTextValue("Rack 12");
            }
            static_cast<QDialog*>(w)->accept();
        });
        QCOMPARE(ui.input("Rename", "Rack name:", "Rack 1").value_or("<none>"), "Rack 12");
        QCOMPARE(proposed, "Rack name:=Rack 1");
        whenModal([](QWidget* w) { w->close(); });
        QVERIFY(!ui.input("Rename", "Rack name:", {}));

        const QStringList items{"SDI", "HDMI", "Dante"};
        whenModal([](QWidget* w) {
            if (auto* list = w->findChild<QListWidget*>("lstChoices")) list->setCurrentRow(2);
            static_cast<QDialog*>(w)->accept();
        });
        QCOMPARE(ui.choose("Signal", items).value_or(-1), 2);
        whenModal([](QWidget* w) {
            if (auto* list = w->findChild<QListWidget*>("lstChoices")) {
                const QPoint at = list->visualItemRect(list->item(1)).center();
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);  // first of the two
                QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
            }
            w->close();
        });
        QCOMPARE(ui.choose("Signal", items).value_or(-1), 1);
        whenModal([](QWidget* w) { w->close(); });
        QVERIFY(!ui.choose("Signal", items));
    }

    void fileDialogsReturnAbsolutePaths() {
        QtUi ui;
        QTemporaryDir dir;
        auto accept = [](QWidget* w) {
            static_cast<QDialog*>(w)->accept();  // as the dialog's own OK button does
            if (w->isVisible()) w->close();
        };
        FileDialogOptions options;
        options.filter = "Drawings (*.dxf);;All files (*)";
        options.proposed = "plan";
        options.folder = dir.path();
        whenModal(accept);  // the type's extension is added to the proposed name
        QCOMPARE(ui.saveFile(options).value_or("<none>"), dir.filePath("plan.dxf"));
        // The file type asked for is the one shown first; the one picked comes back.
        QString type = "All files (*)", shown;
        options.fileType = &type;
        whenModal([&](QWidget* w) {
            auto* dialog = static_cast<QFileDialog*>(w);
            shown = dialog->selectedNameFilter();
            // As a user picks it: the dialog's list of file types.
            auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
            QVERIFY(types);
            types->setCurrentIndex(types->findText("Drawings (*.dxf)"));
            emit types->activated(types->currentIndex());
            accept(w);
        });
        QCOMPARE(ui.saveFile(options).value_or("<none>"), dir.filePath("plan.dxf"));
        QCOMPARE(shown, "All files (*)");
        QCOMPARE(type, "Drawings (*.dxf)");
        options.fileType = nullptr;
        options.proposed.clear();
        whenModal(accept);
        QCOMPARE(ui.chooseFolder(options).value_or("<none>"), QDir(dir.path()).absolutePath());
        whenModal([](QWidget* w) { w->close(); });
        QVERIFY(!ui.openFile(options));
    }

    // How typed handles and windows answer a pick or a selection is the same for every Ui: the
    // script Ui's tests.
    void promptsWaitForAFittingAnswer() {
        QtUi ui;
        Watchdog dog(ui);
        bool refused = false;
        later([&] {
            refused = !ui.submitTyped("ten,20") && ui.promptWaiting();
            later([&] { ui.submitTyped(" 10, 20 "); });
        });
        const PointAnswer point = ui.getPoint("Start point:");
        QVERIFY(refused && !point.cancelled);
        QCOMPARE(point.point, QPointF(10, 20));
        later([&] { ui.cancelPrompt(); });
        QVERIFY(ui.getPoint("Next point:").cancelled);
        QVERIFY(!dog.fired());
    }

    void promptLineShowsThePromptWhileItWaits() {
        QtUi ui;
        Watchdog dog(ui);
        RecordingLine line;
        ui.setPromptLine(&line);
        QSignalSpy changed(&ui, &QtUi::promptChanged);
        later([&] { ui.submitPoint(QPointF(1, 2)); });
        QCOMPARE(ui.getPoint("Insertion point:").point, QPointF(1, 2));
        QCOMPARE(line.prompts, (QStringList{"Insertion point:", ""}));
        QCOMPARE(changed.size(), 2);
        QCOMPARE(changed.at(1).at(0).toString(), "");
        ui.history("Command: LINE", false);
        QCOMPARE(line.lines, QStringList{"Command: LINE|0"});

        // Typed ahead: answered while the prompt is being shown, so there is nothing to wait for.
        connect(&ui, &QtUi::promptChanged, &ui, [&](const QString& text) {
            if (!text.isEmpty()) ui.submitTyped("3,4");
        });
        QCOMPARE(ui.getPoint("Center:").point, QPointF(3, 4));
        QVERIFY(!dog.fired());
    }

    void progressBarFollowsTheWork() {
        QtUi ui;
        QStatusBar bar;
        ui.setStatusBar(&bar);
        ui.progress("Reading rack list", 3, 10);
        auto* prg = bar.findChild<QProgressBar*>("prgWork");
        QVERIFY(prg && !prg->isHidden());
        QCOMPARE(QPoint(prg->value(), prg->maximum()), QPoint(3, 10));
        QCOMPARE(bar.currentMessage(), "Reading rack list");
        ui.progress("Copying", 6'000'000'000, 12'000'000'000);  // beyond int
        QCOMPARE(bar.findChildren<QProgressBar*>().size(), 1);
        QVERIFY(prg->maximum() > 0 && qAbs(2 * prg->value() - prg->maximum()) <= 2);
        ui.progress("Done", 0, 0);
        QVERIFY(prg->isHidden());
        QCOMPARE(bar.currentMessage(), "Done");

        QStringList sunk;
        ui.setStatusSink([&](const QString& text) { sunk << text; });
        ui.status("Loading symbols");
        QCOMPARE(sunk, QStringList{"Loading symbols"});
        QCOMPARE(bar.currentMessage(), "Done");
    }

    // Work showing its progress can be stopped by its Cancel button (or Escape) and by
    // nothing else: a click elsewhere in the window does not reach its widget meanwhile. The
    // next work starts afresh.
    void cancelStopsTheWorkAndOtherInputWaits() {
        QtUi ui;
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* other = new QPushButton("Other", &window);
        auto* bar = new QStatusBar(&window);
        layout->addWidget(other);
        layout->addWidget(bar);
        ui.setStatusBar(bar);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        int otherClicks = 0;
        connect(other, &QPushButton::clicked, [&] { ++otherClicks; });
        QVERIFY(ui.progress("Building", 1, 10));
        auto* cancel = bar->findChild<QToolButton*>("cmdCancelWork");
        QVERIFY(cancel && !cancel->isHidden());
        QTest::mouseClick(other, Qt::LeftButton);
        QCOMPARE(otherClicks, 0);
        QTest::mouseClick(cancel, Qt::LeftButton);
        QTest::qWait(60);  // the work lets events through now and then
        QVERIFY(!ui.progress("Building", 2, 10));
        ui.progress(QString(), 0, 0);
        QVERIFY(cancel->isHidden());
        QTest::mouseClick(other, Qt::LeftButton);
        QCOMPARE(otherClicks, 1);
        QVERIFY(ui.progress("Building", 1, 10));
        QTest::keyClick(other, Qt::Key_Escape);
        QTest::qWait(60);
        QVERIFY(!ui.progress("Building", 2, 10));
        ui.progress(QString(), 0, 0);
    }

    void progressLetsEventsThroughOnlyNowAndThen() {
        struct Counter : QObject {
            int delivered = 0;
            bool event(QEvent* e) override {
                return e->type() == QEvent::User ? ++delivered : QObject::event(e);
            }
        } counter;
        QtUi ui;
        QThread::msleep(60);
        for (int i = 0; i < 200; ++i) {
            QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
            ui.progress({}, i, 200);
        }
        QVERIFY(counter.delivered >= 1 && counter.delivered < 100);
    }

    // Last: the application-wide quit signal may stop other parts of Qt.
    void quittingCancelsAWaitingPrompt() {
        QtUi ui;
        Watchdog dog(ui);
        later([] { QMetaObject::invokeMethod(qApp, "aboutToQuit"); });
        QVERIFY(ui.getPoint("Start point:").cancelled);
        QVERIFY(!dog.fired());
    }
};

QTEST_MAIN(TestQtUi)
#include "test_qt_ui.moc"
