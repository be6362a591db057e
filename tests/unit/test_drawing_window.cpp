// A drawing window: its title follows the drawing (unsaved mark, read-only), it refuses to
// close while a job runs, its layout tabs switch the space shown, and its keys become
// commands or command-line characters.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QTabBar>
#include <QTemporaryDir>

#include "app/drawing/choice_dialogs.h"
#include "app/drawing/drawing_view.h"
#include "app/drawing/drawing_window.h"
#include "cad/dxf.h"
#include "drawings/block_insert.h"
#include "script_fixture.h"
#include "shell/settings_store.h"

using namespace tolvane;

namespace {

void press(QWidget& w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
           const QString& text = {}) {
    QKeyEvent e(QEvent::KeyPress, key, mods, text);
    QCoreApplication::sendEvent(&w, &e);
}

}  // namespace

TEST(DrawingWindow, TitleTabsCloseRefusalAndKeys) {
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath("s.ini"));
    test::ScriptedUser user("button OK\n");
    cad::Document doc;
    doc.addLayout(QStringLiteral("Sheet A"));
    doc.add(doc.layouts().front(), cad::Entity::circle({5, 5}, 1));
    auto drawing = std::make_unique<Drawing>(std::move(doc));
    drawing->setPath(QStringLiteral("/job/rack.dxf"));
    drawing->setModified(false);
    DrawingWindow w(std::move(drawing), 2, *user.ui, settings);
    QString typed;
    w.typeChar = [&](QChar c) { typed += c; };
    w.closing = [](DrawingWindow&) { return true; };

    EXPECT_EQ(w.windowTitle(), QStringLiteral("/job/rack.dxf"));
    w.drawing().editor().add(cad::Entity::line({0, 0}, {1, 1}));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("/job/rack.dxf*"));
    w.drawing().setReadOnly(true);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("/job/rack.dxf READ ONLY*"));

    QTabBar* tabs = w.layoutTabs();
    ASSERT_EQ(tabs->count(), 2);
    tabs->setCurrentIndex(1);
    EXPECT_EQ(w.drawing().space().name, QStringLiteral("Sheet A"));
    EXPECT_EQ(&w.view().space(), &w.drawing().space());
    tabs->setCurrentIndex(0);
    EXPECT_EQ(w.drawing().space().name, QStringLiteral("Model"));

    // Keypad keys and printable keys type into the command line; Ctrl+S is the main
    // window's shortcut, not a character.
    press(w, Qt::Key_S, Qt::ControlModifier, QStringLiteral("\x13"));
    press(w, Qt::Key_7, Qt::KeypadModifier);
    press(w, Qt::Key_Slash, Qt::KeypadModifier);
    press(w, Qt::Key_Period);
    press(w, Qt::Key_D, Qt::NoModifier, QStringLiteral("d"));
    press(w, Qt::Key_Backspace, Qt::NoModifier, QStringLiteral("\b"));
    press(w, Qt::Key_At, Qt::ShiftModifier, QStringLiteral("@"));
    EXPECT_EQ(typed, QStringLiteral("7\\.d\b@"));

    w.setBusy(true);
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(user.transcript.contains("You have open jobs pending. Please cancel."));
    w.setBusy(false);
    w.setAttribute(Qt::WA_DeleteOnClose, false);  // on the stack here
    EXPECT_TRUE(w.close());
}

// The insert list (LoadInsertCBO) holds the drawing's named blocks from the start, follows
// the block table when it changes, and hands a chosen block on without keeping it chosen.
TEST(DrawingWindow, InsertListFollowsTheBlockTable) {
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath("s.ini"));
    test::ScriptedUser user("");
    cad::Document doc;
    doc.addBlock(QStringLiteral("RACK"));
    doc.addBlock(QStringLiteral("*U3"));
    DrawingWindow w(std::make_unique<Drawing>(std::move(doc)), 1, *user.ui, settings);
    w.setAttribute(Qt::WA_DeleteOnClose, false);
    QStringList inserted;
    w.insertBlock = [&](const QString& b) { inserted << b; };
    const auto items = [&] {
        QStringList out;
        for (int i = 0; i < w.insertList()->count(); ++i) out << w.insertList()->itemText(i);
        return out;
    };
    EXPECT_EQ(items(), QStringList({"RACK"}));

    // A block defined without telling anybody is not listed until the drawing says so.
    w.drawing().document().addBlock(QStringLiteral("AMP"));
    EXPECT_EQ(items(), QStringList({"RACK"}));
    Q_EMIT w.drawing().blocksChanged();
    EXPECT_EQ(items(), QStringList({"AMP", "RACK"}));
    cad::Document file;
    file.addToModel(cad::Entity::circle({0, 0}, 1));
    cad::saveDxf(file, dir.filePath(QStringLiteral("term.dxf")));
    loadBlockFile(w.drawing(), dir.filePath(QStringLiteral("term.dxf")));
    EXPECT_EQ(items(), QStringList({"AMP", "RACK", "TERM"}));

    Q_EMIT w.insertList()->activated(1);
    Q_EMIT w.insertList()->activated(1);  // the same block again
    EXPECT_EQ(inserted, QStringList({"RACK", "RACK"}));
    EXPECT_EQ(w.insertList()->currentIndex(), -1);
}

// The colour and line-weight choices answer with what the user picked: an index typed or
// clicked, "Same As Layer", nothing on Cancel; text that is no colour keeps the choice.
TEST(ChoiceDialogs, ColourAndLineWeight) {
    test::ScriptedUser user(
        "set txtColor 12\nclick cmdOK\n"
        "click cmdColor200\nclick cmdOK\n"
        "click cmdSameAsLayer\nclick cmdOK\n"
        "set txtColor 999\nclick cmdOK\n"
        "click cmdCancel\n"
        "rows lstWeights 8\nclick cmdOK\n");
    test::QuietHost dialogsOnly;  // a script acts inside the dialogs
    user.ui->setHost(&dialogsOnly);
    EXPECT_EQ(chooseColor(*user.ui, 3), 12);
    EXPECT_EQ(chooseColor(*user.ui, 3), 200);
    EXPECT_EQ(chooseColor(*user.ui, 3), kSameAsLayer);
    EXPECT_EQ(chooseColor(*user.ui, 5), 5);
    EXPECT_EQ(chooseColor(*user.ui, 5), std::nullopt);
    EXPECT_EQ(chooseLineWeight(*user.ui, -1), 15);
    EXPECT_EQ(LineWeightDialog::weightText(13), QStringLiteral("0.13 mm"));
}
