// The drawing windows of the main window: the document table (indexes from 1, the first
// free one reused), the drawing commands (new, open, save, save as, close, close all, undo,
// redo, the zooms), the entity events of every open drawing, and the active drawing window
// other code and batch scripts work on.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <memory>

#include "app/drawing/drawing_window.h"
#include "app/shell/app_services.h"
#include "drawings/context_menu.h"
#include "drawings/drawing_files.h"
#include "drawings/entity_events.h"
#include "projects/drawing_registry.h"
#include "wiring/cable_drawing.h"
#include "wiring/pointers.h"
#include "wiring/project_scan.h"

class QMdiArea;
class QMdiSubWindow;

namespace tolvane {

class Ui;
class SettingsStore;
class EventLog;
class CommandRouter;
struct RunState;
class DrawingWindow;

class DrawingWindows : public QObject {
    Q_OBJECT
  public:
    struct Services : AppServices {
        CommandRouter& router;
        QMdiArea& mdi;
        EntityEvents::Tips tips;
        // Keys typed on the drawing go to the command line.
        std::function<void(QChar)> typeChar;
        std::function<void()> typeEnter;
        // Escape on the drawing empties what was typed there.
        std::function<void()> clearTyped;
    };
    explicit DrawingWindows(Services services, QObject* parent = nullptr);
    ~DrawingWindows() override;

    // Registers the drawing commands with the router.
    void registerActions();

    // Opens a drawing file in a new window; null when it was not opened (reported).
    DrawingWindow* open(const QString& path);
    // The New command: template chooser, window, then the first save (save as).
    DrawingWindow* createNew();
    // A new drawing from the default template (the project explorer's New Drawing).
    DrawingWindow* createFromDefaultTemplate();
    // Saves the active drawing (save as when untitled); false when nothing was saved.
    bool save(DrawingWindow& window);
    bool saveAs(DrawingWindow& window);
    // Closes every drawing window; false when one refused.
    bool closeAll();

    DrawingWindow* active() const;
    QList<DrawingWindow*> windows() const;
    // The document table: which indexes are taken (1-based; index 0 unused).
    QList<int> indexes() const;

    EntityEvents& events() { return events_; }

    // The running object snaps (cad::SnapMode bits) of every drawing window, new ones
    // included, while OSNAP is on; kept in the user's settings.
    void setSnapModes(unsigned modes);
    unsigned snapModes() const { return snapModes_; }
    // The drawing aids: whether one is on in the window (snap, grid and ortho are the
    // drawing's; OSNAP is every window's), and switching one (F3, F7, F8, F9, the status
    // bar), told on the status line; aidsChanged follows.
    bool aidOn(DrawingWindow* window, DrawingAid aid) const;
    void toggleAid(DrawingWindow* window, DrawingAid aid);
    // Automatic grips of every drawing window, new ones included.
    void setAutoGrips(bool on);
    // The distance a picked point reaches in a window: the view's pick box, or in batch runs
    // a fixed 0.1 drawing units whatever the zoom.
    double pickAperture(DrawingWindow& window) const;
    static constexpr double kScriptAperture = 0.1;
    DrawingFiles& files() { return files_; }

    // ClearGripSet: drops the selection and grips, shows the drawing's own properties in the
    // property list, ends a waiting prompt and draws the drawing again.
    void clearGripSet(DrawingWindow& window);
    // Loads a selection (the one a command leaves, the one the user picks) into the property
    // list; an empty one loads the drawing's properties.
    std::function<void(DrawingWindow&, const QStringList& selection)> showProperties;
    // Opens the database record of a tagged entity of a window's drawing for editing (the
    // context menu's Edit Settings on a cable).
    std::function<void(DrawingWindow&, const QString& handle)> editRecord;

    // A grip of an entity in a window's drawing dragged to a point (wiring::moveGrip).
    void moveGrip(DrawingWindow& window, const QString& handle, int grip, QPointF to);
    // A double-click on the drawing of a window at a point (batch scripts and the view).
    void doubleClick(DrawingWindow& window, QPointF point, double aperture);

    // The context menu at a point of a window's drawing: its entries (for the entity under
    // the point, the selection and the waiting prompt), and running one of them as the user's
    // choice. The entity under the point is found within the aperture.
    QList<ContextEntry> contextMenu(DrawingWindow& window, QPointF point, double aperture);
    void runContextEntry(DrawingWindow& window, QPointF point, double aperture,
                         const ContextEntry& entry);
    // The desktop's popup of the context menu at a screen position.
    void popUpContextMenu(DrawingWindow& window, QPointF point, QPoint global);

    // Insert of an existing block into a window's drawing (Insert...): the block `name`, or
    // with an empty name the block chosen in the block-insert dialog; an equipment block is
    // tagged from the library. The handle of the new insert, "" when nothing was inserted.
    QString insertExisting(DrawingWindow& window, const QString& name);
    // Add Cables: cables drawn in the window with these options, one after another while
    // they say repeat and the window stays the active one; the first (and each repeated)
    // cable gets the terminal when one is given. The window is busy meanwhile.
    void drawCables(DrawingWindow& window, const wiring::CableOptions& options,
                    const std::optional<wiring::Terminal>& terminal);
    // The open drawings by title, and the pointer service over them.
    QList<wiring::OpenDrawing> openDrawings() const;
    wiring::Pointers pointers();
    // The project's registered drawings to read for a check or trace: an open one with its
    // window's document (unsaved changes included), a closed one from its file.
    QList<wiring::DrawingSource> projectDrawings();
    // Opens the drawing (or brings it forward), zooms to the entity and selects it when it has
    // one; the drawing, or null when it could not be opened.
    Drawing* showEntity(const QString& path, const QString& handle);
    // Selects these entities (by drawing path) in every open drawing, nothing else there.
    void highlight(const QHash<QString, QStringList>& handles);
    // Where an entity of an open drawing is on the screen (global); empty when it is not open
    // or not in the space shown.
    QRect onScreen(const QString& path, const QString& handle) const;
    // The window of an open drawing; null when it has none.
    DrawingWindow* windowOf(const Drawing& drawing) const;
    DrawingWindow* windowOf(const QString& path) const;
    // The block libraries of the application folder ("" when it has none).
    QString blockFolder() const;

  Q_SIGNALS:
    // A drawing window opened, saved under a name or closed: registrations may have changed.
    void drawingsChanged();
    // The world point under the cursor in the active drawing (status bar).
    void cursorMoved(QPointF world);
    // A drawing aid was switched.
    void aidsChanged();

  private:
    // Fills the title blocks of the open drawings again (the registry or a project changed).
    void refreshTitles();
    DrawingWindow* show(std::unique_ptr<Drawing> drawing);
    DrawingWindow* showAndName(std::unique_ptr<Drawing> drawing);
    int freeIndex() const;
    bool closing(DrawingWindow& window);
    DrawingWindow* require();
    // Erases entities after settling the records they stand for, as the user answers.
    void deleteLinked(Drawing& drawing, const QStringList& handles);

    Services s_;
    projects::DrawingRegistry registry_;
    DrawingFiles files_;
    EntityEvents events_;
    QList<DrawingWindow*> windows_;
    static constexpr unsigned kAllSnapModes = 2047;
    unsigned snapModes_ = 0;
    bool osnapOn_ = true;
    bool autoGrips_ = true;
    // The block chosen in a window's insert list while its insert is routed.
    QString chosenBlock_;
};

}  // namespace tolvane
