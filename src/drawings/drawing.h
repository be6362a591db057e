// One open drawing as the rest of the program works on it: the document, the space shown
// (model or a paper layout), a spatial index per space kept in step with every change, and
// the undo stack. Changes go through editor() so that undo and the indexes follow; code that
// changes the document directly calls changed() afterwards.
#pragma once

#include <QObject>
#include <QString>
#include <map>
#include <memory>

#include "cad/document.h"
#include "cad/editing.h"
#include "cad/picking.h"
#include "cad/spatial_index.h"
#include "cad/undo.h"

namespace tolvane {

struct PickAnswer;
struct SelectionAnswer;
class Ui;

class Drawing : public QObject {
    Q_OBJECT
  public:
    explicit Drawing(cad::Document doc = {}, QObject* parent = nullptr);
    ~Drawing() override;

    cad::Document& document() { return doc_; }
    const cad::Document& document() const { return doc_; }
    cad::UndoStack& undo() { return undo_; }

    // The space shown: "Model" or the name of a paper layout.
    cad::Space& space() { return *space_; }
    const cad::Space& space() const { return *space_; }
    // False (and nothing changes) when the document has no space of that name.
    bool setSpace(const QString& name);
    // Model space is shown (not a paper layout).
    bool showsModel() const { return space_ == &doc_.modelSpace(); }
    cad::Space* spaceNamed(const QString& name);

    // The index of a space (the current one by default), built on first use.
    const cad::SpatialIndex& index() { return indexOf(*space_); }
    cad::SpatialIndex& indexOf(const cad::Space& space);

    // Changes to the current space with undo and index kept in step.
    cad::SpaceEditor editor();

    // The entity at a point: the one a click within `aperture` means in the current space
    // (cad::pointSearch), of those `wanted` takes; an attribute when the click means one of
    // an insert's. Empty when there is none.
    QString entityAt(QPointF point, double aperture, const cad::PickFilter& wanted = {});
    // The entity an entity prompt's answer stands for: the one with the handle given, else
    // the one at the point: the nearest `wanted` takes, else the nearest of any
    // (cad::pickPreferring); an attribute stands for its insert.
    QString entityFor(const PickAnswer& pick, double aperture, const cad::PickFilter& wanted = {});

    // The entities a selection prompt's answer stands for: those its window takes (wholly
    // inside, or touched by a crossing), then those picked or typed, each once; handles of
    // entities that do not exist are left out.
    QStringList entitiesOf(const SelectionAnswer& answer);

    // The interactive insert: the user picks the insertion point (after `prompt`) and the
    // block is placed there as placeBlock() places it. Returns the new insert's handle (the
    // entity created last), or an empty text when the pick was cancelled.
    QString insertBlock(Ui& ui, const QString& blockName,
                        const QString& prompt = QStringLiteral("Insertion point:"));
    // An insert of the block at `at` in the current space, scale 1 and no rotation, with an
    // attribute for each of its attribute definitions. Throws CadError (WrongParameters,
    // operation "CmdInsert") when the drawing has no block of that name.
    QString placeBlock(const QString& blockName, QPointF at);

    // To be called after the document was changed without the editor: indexes are rebuilt
    // and views repaint. A change that is no edit of the user's (a title block filled from the
    // registry, which is filled again whenever the drawing is opened) leaves the drawing
    // without unsaved changes when `edit` is false.
    void changed(bool edit = true);

    // The file: its full path, empty for a drawing never saved (then `untitledName` is its
    // name, "Drawing1", "Drawing2", ...).
    QString path() const { return path_; }
    void setPath(const QString& path);
    bool untitled() const { return path_.isEmpty(); }
    QString untitledName() const { return untitledName_; }
    void setUntitledName(const QString& name) { untitledName_ = name; }
    // Opened read-only: another user holds the drawing's lock; it cannot be saved.
    bool readOnly() const { return readOnly_; }
    void setReadOnly(bool on);
    // Unsaved changes. setModified(false) marks the present state as the saved one (undo
    // back to it clears the mark again); setModified(true) records a change that undo cannot
    // take back (a block loaded, a change made without recording), so the mark stays until
    // the next save.
    bool modified() const { return modified_; }
    void setModified(bool on);
    // The window title: the path (or the untitled name), " READ ONLY" when opened so, and a
    // trailing "*" while there are unsaved changes.
    QString title() const;

  Q_SIGNALS:
    // The document or the space shown changed; views repaint.
    void contentChanged();
    void spaceChanged(const QString& name);
    void titleChanged(const QString& title);
    // An entity was added through the editor (not by undo); handlers may change it (tags).
    void entityAdded(cad::Entity& entity);
    // The block table changed (a block was defined or loaded): lists of insertable blocks
    // are read again. Emitted by whoever adds the block.
    void blocksChanged();

  private:
    cad::Document doc_;
    cad::UndoStack undo_;
    cad::Space* space_ = nullptr;
    QString spaceName_;
    std::map<QString, std::unique_ptr<cad::SpatialIndex>> indexes_;  // by upper-case name
    QString path_;
    QString untitledName_ = QStringLiteral("Drawing1");
    bool readOnly_ = false;
    bool modified_ = false;
    quint64 savedState_ = 0;   // the undo state at the last save or load
    bool unrecorded_ = false;  // changed since then in a way undo cannot take back
    void updateModified();
};

}  // namespace tolvane
