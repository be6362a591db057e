#include "cad/undo.h"

#include <algorithm>
#include <functional>

namespace tolvane::cad {

namespace {

// Draw position of an entity of the space: the document's handle lookup tells where it is.
int positionOf(const Document& doc, const Space& space, const QString& handle) {
    const Entity* e = doc.find(handle);
    if (!e || space.entities.empty()) return -1;
    const Entity* first = space.entities.data();
    if (std::less<const Entity*>()(e, first) ||
        !std::less<const Entity*>()(e, first + space.entities.size()))
        return -1;
    return int(e - first);
}

size_t textBytes(const QString& s) {
    return size_t(s.capacity()) * sizeof(QChar);
}

// What an entity holds in memory, roughly: its record and what it owns apart from it (its
// names are shared with other entities).
size_t entityBytes(const Entity& e) {
    size_t n = sizeof(Entity) + textBytes(e.text) + textBytes(e.tooltip) +
               size_t(e.vertices.capacity()) * sizeof(Vertex);
    for (const XData& x : e.xdata) {
        n += sizeof(XData) + textBytes(x.app);
        for (const XDataItem& item : x.items)
            n += sizeof(XDataItem) + textBytes(item.name) + textBytes(item.value);
    }
    for (const Entity& a : e.attributes) n += entityBytes(a);
    if (e.detail.isSet()) {
        const EntityDetail& d = *e.detail;
        n += sizeof(EntityDetail) + size_t(d.points3.size()) * sizeof(Point3) +
             size_t(d.faces.size()) * sizeof(MeshFace) + size_t(d.groups.size()) * 64 +
             size_t(d.vertexWidths.size()) * sizeof(QPointF);
    }
    return n;
}

template <class Actions>
size_t stepBytes(const Actions& actions) {
    size_t n = 0;
    for (const auto& a : actions)
        n += sizeof(a) + textBytes(a.space) + textBytes(a.handle) + entityBytes(a.snapshot);
    return n;
}

}  // namespace

void UndoStack::setLimit(size_t bytes) {
    limit_ = bytes;
    keepWithinLimit();
}

void UndoStack::recount() {
    bytes_ = 0;
    for (std::vector<Step>* steps : {&undo_, &redo_})
        for (Step& step : *steps) bytes_ += step.bytes = stepBytes(step.actions);
}

void UndoStack::keepWithinLimit() {
    if (limit_ == 0 || bytes_ <= limit_ || undo_.size() < 2) return;
    size_t drop = 0;
    while (bytes_ > limit_ && undo_.size() - drop > 1) bytes_ -= undo_[drop++].bytes;
    // The state with nothing left to undo is the one the last forgotten step brought.
    base_ = undo_[drop - 1].id;
    undo_.erase(undo_.begin(), undo_.begin() + std::ptrdiff_t(drop));
}

quint64 UndoStack::state() const {
    if (!open_.empty()) return ~quint64(0);
    return undo_.empty() ? base_ : undo_.back().id;
}

void UndoStack::push(std::vector<Action> actions) {
    const size_t bytes = stepBytes(actions);
    undo_.push_back(Step{nextId_++, std::move(actions), bytes});
    bytes_ += bytes;
    keepWithinLimit();
    stateChanged();
}

void UndoStack::stateChanged() {
    if (onStateChanged_) onStateChanged_();
}

void UndoStack::begin() {
    if (depth_++ == 0) open_.clear();
}

void UndoStack::end() {
    if (depth_ == 0) return;
    if (--depth_ == 0 && !open_.empty()) {
        std::vector<Action> step = std::move(open_);
        open_.clear();
        push(std::move(step));
    }
}

void UndoStack::rollBack(size_t keep) {
    while (open_.size() > keep) {
        apply(open_.back(), true);
        open_.pop_back();
    }
}

bool UndoStack::mark(const QString& word) {
    const QString w = word.trimmed().toUpper();
    if (w == QLatin1String("BEGIN")) {
        begin();
    } else if (w == QLatin1String("END")) {
        end();
    } else if (w == QLatin1String("ON")) {
        setRecording(true);
    } else if (w == QLatin1String("OFF")) {
        setRecording(false);
    } else {
        return false;
    }
    return true;
}

bool UndoStack::record(Op op, const Space& space, const QString& handle) {
    if (!recording_) return false;
    const int pos = positionOf(doc_, space, handle);
    if (pos < 0) return false;
    Action a{op, space.name, space.entities[size_t(pos)].handle, pos, {}};
    if (op != Op::Added) a.snapshot = space.entities[size_t(pos)];
    for (const Step& step : redo_) bytes_ -= step.bytes;
    redo_.clear();
    if (depth_ > 0) {
        open_.push_back(std::move(a));
    } else {
        std::vector<Action> step;
        step.push_back(std::move(a));
        push(std::move(step));
    }
    return true;
}

bool UndoStack::undo() {
    while (depth_ > 0) end();
    if (undo_.empty()) return false;
    Step step = std::move(undo_.back());
    undo_.pop_back();
    for (auto it = step.actions.rbegin(); it != step.actions.rend(); ++it) apply(*it, true);
    redo_.push_back(std::move(step));
    stateChanged();
    return true;
}

bool UndoStack::redo() {
    while (depth_ > 0) end();
    if (redo_.empty()) return false;
    Step step = std::move(redo_.back());
    redo_.pop_back();
    for (Action& a : step.actions) apply(a, false);
    undo_.push_back(std::move(step));
    stateChanged();
    return true;
}

void UndoStack::renameSpace(const QString& from, const QString& to) {
    const auto rename = [&](std::vector<Action>& actions) {
        for (Action& a : actions)
            if (a.space.compare(from, Qt::CaseInsensitive) == 0) a.space = to;
    };
    for (std::vector<Step>* steps : {&undo_, &redo_})
        for (Step& step : *steps) rename(step.actions);
    rename(open_);
}

void UndoStack::forgetSpace(const QString& name) {
    const auto of = [&](const Action& a) {
        return a.space.compare(name, Qt::CaseInsensitive) == 0;
    };
    for (std::vector<Step>* steps : {&undo_, &redo_}) {
        for (Step& step : *steps) std::erase_if(step.actions, of);
        std::erase_if(*steps, [](const Step& step) { return step.actions.empty(); });
    }
    std::erase_if(open_, of);
    recount();
    stateChanged();
}

void UndoStack::clear() {
    // The document stays as it is, so its state does too (a group left open was a change).
    const quint64 now = state();
    base_ = open_.empty() ? now : nextId_++;
    undo_.clear();
    redo_.clear();
    open_.clear();
    bytes_ = 0;
    depth_ = 0;
    stateChanged();
}

Space* UndoStack::spaceNamed(const QString& name) {
    if (doc_.modelSpace().name.compare(name, Qt::CaseInsensitive) == 0) return &doc_.modelSpace();
    for (Space& s : doc_.layouts()) {
        if (s.name.compare(name, Qt::CaseInsensitive) == 0) return &s;
    }
    return nullptr;
}

void UndoStack::apply(Action& a, bool undoing) {
    Space* space = spaceNamed(a.space);
    if (!space) return;
    switch (a.op) {
        case Op::Added:
            undoing ? takeAway(*space, a) : putBack(*space, a);
            break;
        case Op::Erased:
            undoing ? putBack(*space, a) : takeAway(*space, a);
            break;
        case Op::Modified: {
            const int pos = positionOf(doc_, *space, a.handle);
            if (pos < 0) return;  // changed since without recording
            Entity& e = space->entities[size_t(pos)];
            std::swap(e, a.snapshot);
            notify(*space, e.handle, &e);
            break;
        }
    }
}

void UndoStack::putBack(Space& space, Action& a) {
    // The handle was released on erase, so the document gives it back.
    Entity& added = doc_.add(space, a.snapshot);
    a.handle = added.handle;
    const int pos = std::clamp(a.position, 0, int(space.entities.size()) - 1);
    std::rotate(space.entities.begin() + pos, space.entities.end() - 1, space.entities.end());
    notify(space, a.handle, &space.entities[size_t(pos)]);
}

void UndoStack::takeAway(Space& space, Action& a) {
    const int pos = positionOf(doc_, space, a.handle);
    if (pos < 0) return;  // erased since without recording
    a.snapshot = space.entities[size_t(pos)];
    a.position = pos;
    doc_.erase(a.handle);
    notify(space, a.handle, nullptr);
}

void UndoStack::notify(const Space& space, const QString& handle, const Entity* e) {
    if (listener_) listener_(space, handle, e);
}

UndoStack::Listener indexListener(const Document& doc, const Space& space, SpatialIndex& index) {
    const QString name = space.name;
    return [&doc, &index, name](const Space& s, const QString& handle, const Entity* e) {
        if (s.name.compare(name, Qt::CaseInsensitive) != 0) return;
        if (e)
            index.update(doc, *e);
        else
            index.remove(handle);
    };
}

}  // namespace tolvane::cad
