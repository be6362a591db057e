// Drawing files: new drawings from a template, open with the drawing's lock, save with the
// backup copy first, save as, and what closing does to the project's drawing registry. Every
// question and message goes through the Ui seam; windows only show the Drawing they get.
#pragma once

#include <QString>
#include <QStringList>
#include <map>
#include <memory>

#include "cad/dxf.h"
#include "drawings/drawing.h"

namespace tolvane {

class Ui;
class SettingsStore;
struct RunState;
namespace projects {
class DrawingRegistry;
}

// The release drawings are saved as, by the number of the user's DwgSaveVer choice: 2-4
// (DWG 9, 10, 11) R12, 5 R13, 6 R14, 7 R2000, 8 R2007. A stored value that names none of
// them (empty, another program's format) is 8, the default.
int saveVersionChoice(const QString& stored);
cad::DxfVersion dxfVersionOfChoice(int choice);

class DrawingFiles {
  public:
    // With the user's settings, the template new drawings start from can be the user's own.
    DrawingFiles(RunState& run, Ui& ui, projects::DrawingRegistry& registry,
                 const SettingsStore* settings = nullptr);

    // The templates offered by "New": the drawings in the application's TemplateDrawings
    // folder, by file name.
    QStringList templates() const;
    // The template the project explorer's new drawings (and rack sheets) start from: the
    // user's TemplateDrawing when it names a file that exists, else the installation's.
    QString defaultTemplate() const;
    QString blocksFolder() const;

    // A new untitled drawing after the user chose a template or none; null when cancelled.
    // A template that cannot be read is reported and nothing is made.
    std::unique_ptr<Drawing> newDrawing();
    // A new untitled drawing from a template file (empty path: no template).
    std::unique_ptr<Drawing> newFromTemplate(const QString& templatePath);

    // Opens a drawing file with its lock: a drawing someone holds is offered read-only. Null
    // when the user gave up or the file could not be read (reported; the lock given back).
    std::unique_ptr<Drawing> open(const QString& path);

    // Saves the drawing to its file, the old file copied to the backup first; an untitled
    // drawing goes to saveAs. False when nothing was saved (reported to the user). Saved as
    // an older release (the user's DwgSaveVer), what the release could not hold is listed in
    // the command history.
    bool save(Drawing& drawing);
    // Asks for a new file name and saves there; the old path's lock is given back and the
    // new path registered as open by this user.
    bool saveAs(Drawing& drawing);
    // The drawing's window is about to close: a drawing with unsaved changes asks "Save
    // changes to drawing ...?" with Yes, No and Cancel. False keeps the window open: the user
    // cancelled, or the save (or its save-as dialog) did not happen. A drawing opened
    // read-only cannot be saved and is not asked about.
    bool mayClose(Drawing& drawing);
    // The drawing's window closes: its lock is given back, or a saved drawing never
    // registered is registered unlocked.
    void closed(const Drawing& drawing);

    // The backup of a drawing file: the same path with its extension replaced by "bak".
    static QString backupPath(const QString& path);

    // Fills the drawing's title block from the project and the drawing's registry row (for a
    // drawing about to be written to `path`, that path's); views repaint when a field changed.
    // Filling is no edit: the drawing's unsaved state stays as it was.
    void fillTitle(Drawing& drawing, const QString& path = {});

  private:
    // Which command asked for a file name: a path already registered is reported in its words.
    enum class SaveCommand { Save, SaveAs };
    bool saveUnderNewName(Drawing& drawing, SaveCommand command);
    cad::DxfVersion saveVersion() const;
    void historyOfSave(const QString& path, cad::DxfVersion version, const cad::DxfAudit& lost);
    // Loads a template or drawing file and prepares it; throws cad::DxfError. A template's
    // entities to come are numbered from standard::kFirstDrawingHandle.
    std::unique_ptr<Drawing> load(const QString& path, bool asTemplate = false,
                                  cad::DxfAudit* audit = nullptr, bool recover = false);
    // The strict read refused the file: offers to recover it into a new drawing.
    std::unique_ptr<Drawing> offerRecovery(const QString& path, const cad::DxfError& refused);
    QString nextUntitledName();
    // The form of the file at this path, as it was opened or last saved: a drawing opened from
    // binary DXF is saved binary again.
    cad::DxfFormat formatOf(const QString& path) const;

    const SettingsStore* settings_ = nullptr;
    RunState& run_;
    Ui& ui_;
    projects::DrawingRegistry& registry_;
    int untitledCount_ = 0;
    std::map<QString, cad::DxfFormat> formats_;
};

}  // namespace tolvane
