// A drawing window (MDI child): the drawing view over one open Drawing with the layout tabs
// under it ("Model" first, then one per paper layout) and beside them the list of the
// drawing's insertable blocks (choosing one inserts it). It keeps its title in step with the
// drawing, refuses to close while an interactive command runs in it, and turns the keys of
// the window (keyCatcher) into commands.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "app/drawing/drawing_print.h"
#include "drawings/drawing.h"

class QComboBox;
class QTabBar;

namespace tolvane {

class Ui;
class SettingsStore;
class DrawingView;
class ViewScrollBars;

// The drawing aids the status bar shows and the function keys switch: snap to the snap
// spacing (F9), the grid (F7), ortho (F8) and the running object snaps (F3).
enum class DrawingAid { Snap, Grid, Ortho, OSnap };

class DrawingWindow : public QWidget {
    Q_OBJECT
  public:
    DrawingWindow(std::unique_ptr<Drawing> drawing, int index, Ui& ui, SettingsStore& settings,
                  QWidget* parent = nullptr);
    ~DrawingWindow() override;

    Drawing& drawing() { return *drawing_; }
    DrawingView& view() { return *view_; }
    // The user's view options and undo history size, taken again after they changed.
    void applySettings(const SettingsStore& settings);
    // The window's place in the document table (1-based).
    int index() const { return index_; }

    // SetLayoutTabs: "Model" (key "layModel"), then "lay" + name per paper layout; the tab of
    // the space shown is current.
    void setLayoutTabs();
    QTabBar* layoutTabs() const { return tabs_; }

    // LoadInsertCBO: the insert list (cboInsert) reads the drawing's insertable blocks again.
    // Runs when the window opens and whenever the drawing's block table changes.
    void loadInsertCbo();
    QComboBox* insertList() const { return insertList_; }

    // The pick box of the view in drawing units (for entity prompts answered by a click).
    double pickAperture() const;

    // Set while an interactive command runs in this window (or a drawing prompt waits): the
    // window cannot be closed.
    bool busy() const;
    void setBusy(bool on) { busy_ = on; }

    // The last interactive command run here: its caption and key ("Draw Arc", "DArc").
    void setLastCommand(const QString& caption, const QString& key);

    // How this drawing is printed (page setup), kept while the window is open.
    PageSetup pageSetup;

    // Hooks of the owner. closing: the window may close (false keeps it open); escape:
    // Escape outside a prompt; deleteSelection: the Delete key; typeChar: a key typed over
    // the drawing, for the command line ('\b' for Backspace).
    std::function<bool(DrawingWindow&)> closing;
    // A block chosen in the insert list, to be inserted.
    std::function<void(const QString& block)> insertBlock;
    std::function<void(DrawingWindow&)> escape;
    std::function<void(DrawingWindow&)> deleteSelection;
    std::function<void(QChar)> typeChar;
    // F3, F7, F8 and F9: a drawing aid switched.
    std::function<void(DrawingAid)> toggleAid;
    std::function<void()> typeEnter;
    // Every key pressed, for the event log: "keyCatcher: " + key code + " Shift: " + state.
    std::function<void(const QString&)> logKey;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void updateTitle();
    void showSpace(int tab);

    std::unique_ptr<Drawing> drawing_;
    int index_;
    Ui& ui_;
    DrawingView* view_ = nullptr;
    ViewScrollBars* scrollBars_ = nullptr;
    QTabBar* tabs_ = nullptr;
    QComboBox* insertList_ = nullptr;
    bool busy_ = false;
};

}  // namespace tolvane
