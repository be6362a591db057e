// Undo and redo of changes to a document's spaces. The model does not report its changes,
// so the caller records each one: recordAdded after adding an entity, recordErasing and
// recordModifying before erasing or changing one. Entities are kept as value snapshots and
// come back with their handles and draw positions. Changes between begin() and end() (the
// "BEGIN" and "END" marks) are one step; while recording is off nothing is recorded.
#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "cad/document.h"
#include "cad/spatial_index.h"

namespace tolvane::cad {

class UndoStack {
  public:
    // Told of every entity an undo or redo puts back or changes (entity set) or takes away
    // (entity null), so that indexes can follow.
    using Listener =
        std::function<void(const Space& space, const QString& handle, const Entity* entity)>;

    explicit UndoStack(Document& doc) : doc_(doc) {}

    void setListener(Listener listener) { listener_ = std::move(listener); }

    void setRecording(bool on) { recording_ = on; }

    // The history to keep, in bytes of the entities it holds (estimated): when the steps to
    // undo and redo hold more, the oldest steps to undo are forgotten, never the newest, so the
    // last change can always be undone. 0 keeps every step.
    void setLimit(size_t bytes);
    size_t limit() const { return limit_; }
    // What the steps to undo and redo hold now, estimated as the limit counts it.
    size_t bytes() const { return bytes_; }
    bool isRecording() const { return recording_; }

    // Groups nest; the outermost end() closes the step. An empty group leaves no step.
    void begin();
    void end();
    bool inGroup() const { return depth_ > 0; }
    // The changes recorded in the open group so far.
    size_t openChanges() const { return open_.size(); }
    // Takes back, newest first, the changes of the open group after its first `keep`, as if
    // they had never been made: a command that fails half-way leaves the drawing as it was.
    void rollBack(size_t keep);
    // A layout renamed: its steps follow it. A layout removed: its changes are forgotten (a
    // step left without changes goes), so that undo never fills another layout of its name.
    void renameSpace(const QString& from, const QString& to);
    void forgetSpace(const QString& name);
    // "BEGIN", "END", "ON" (recording on) or "OFF" (recording off); false for other words.
    bool mark(const QString& word);

    enum class Op { Added, Erased, Modified };
    // Records a change to the entity with this handle in the space; false when it is not
    // there (nothing is recorded then) or recording is off.
    bool record(Op op, const Space& space, const QString& handle);
    bool recordAdded(const Space& space, const QString& handle) {
        return record(Op::Added, space, handle);
    }
    bool recordErasing(const Space& space, const QString& handle) {
        return record(Op::Erased, space, handle);
    }
    bool recordModifying(const Space& space, const QString& handle) {
        return record(Op::Modified, space, handle);
    }

    // The state the recorded steps have brought the document to: it changes with every step
    // recorded, undone or redone and comes back when undo or redo returns to a state, so a
    // saved drawing can tell when undo has brought it back to what was saved. A group still
    // open is a state of its own, as is the document after clear().
    quint64 state() const;
    // Called after every change of state() made by a closed step, undo, redo or clear().
    void setOnStateChanged(std::function<void()> f) { onStateChanged_ = std::move(f); }

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    int undoCount() const { return int(undo_.size()); }
    int redoCount() const { return int(redo_.size()); }
    bool undo();
    bool redo();
    void clear();

  private:
    struct Action {
        Op op = Op::Added;
        QString space;
        QString handle;
        int position = -1;
        Entity snapshot;  // erased: the entity; modified: the other state; added: for redo
    };
    struct Step {
        quint64 id = 0;
        std::vector<Action> actions;
        size_t bytes = 0;
    };

    Space* spaceNamed(const QString& name);
    void apply(Action& a, bool undoing);
    void putBack(Space& space, Action& a);
    void takeAway(Space& space, Action& a);
    void notify(const Space& space, const QString& handle, const Entity* e);
    void push(std::vector<Action> actions);
    void stateChanged();
    void recount();
    void keepWithinLimit();

    Document& doc_;
    Listener listener_;
    std::vector<Step> undo_, redo_;
    std::vector<Action> open_;
    int depth_ = 0;
    quint64 nextId_ = 1;
    quint64 base_ = 0;  // the state with no step to undo
    std::function<void()> onStateChanged_;
    bool recording_ = true;
    size_t limit_ = 0;
    size_t bytes_ = 0;
};

// A listener that keeps an index of one space in step with undo and redo.
UndoStack::Listener indexListener(const Document& doc, const Space& space, SpatialIndex& index);

// One undo step for the changes made while it lives. Like a database transaction it is kept
// only when committed: left any other way (a failure, a cancel, an early return) it takes back
// what was changed inside it (and nothing recorded before it). cancel() takes them back at once.
class UndoGroup {
  public:
    explicit UndoGroup(UndoStack& stack) : stack_(stack) {
        stack_.begin();
        mark_ = stack_.openChanges();
    }
    ~UndoGroup() {
        if (!done_) stack_.rollBack(mark_);
        stack_.end();
    }
    UndoGroup(const UndoGroup&) = delete;
    UndoGroup& operator=(const UndoGroup&) = delete;
    void commit() { done_ = true; }
    void cancel() {
        stack_.rollBack(mark_);
        done_ = true;
    }

  private:
    UndoStack& stack_;
    size_t mark_ = 0;
    bool done_ = false;
};

}  // namespace tolvane::cad
