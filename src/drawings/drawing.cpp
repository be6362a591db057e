#include "drawings/drawing.h"

#include "cad/cad_error.h"
#include "cad/picking.h"
#include "cad/render.h"
#include "ui/ui.h"

namespace tolvane {

Drawing::Drawing(cad::Document doc, QObject* parent)
    : QObject(parent), doc_(std::move(doc)), undo_(doc_) {
    space_ = &doc_.modelSpace();
    spaceName_ = space_->name;
    // Undo and redo change entities behind the editor's back: the indexes follow here.
    undo_.setListener([this](const cad::Space& s, const QString& handle, const cad::Entity* e) {
        auto it = indexes_.find(s.name.toUpper());
        if (it != indexes_.end()) {
            if (e)
                it->second->update(doc_, *e);
            else
                it->second->remove(handle);
        }
        Q_EMIT contentChanged();
    });
    connect(this, &Drawing::contentChanged, this, [this] {
        if (!undo_.isRecording()) unrecorded_ = true;
        updateModified();
    });
    undo_.setOnStateChanged([this] { updateModified(); });
    savedState_ = undo_.state();
}

Drawing::~Drawing() = default;

cad::Space* Drawing::spaceNamed(const QString& name) {
    if (doc_.modelSpace().name.compare(name, Qt::CaseInsensitive) == 0) return &doc_.modelSpace();
    for (cad::Space& s : doc_.layouts()) {
        if (s.name.compare(name, Qt::CaseInsensitive) == 0) return &s;
    }
    return nullptr;
}

bool Drawing::setSpace(const QString& name) {
    cad::Space* s = spaceNamed(name);
    if (!s) return false;
    if (s != space_) {
        space_ = s;
        spaceName_ = s->name;
        Q_EMIT spaceChanged(s->name);
    }
    return true;
}

cad::SpatialIndex& Drawing::indexOf(const cad::Space& space) {
    std::unique_ptr<cad::SpatialIndex>& slot = indexes_[space.name.toUpper()];
    if (!slot) {
        slot = std::make_unique<cad::SpatialIndex>();
        // Built on its first search or change: a window shows the drawing before that.
        slot->buildLater(doc_, space);
    }
    return *slot;
}

cad::SpaceEditor Drawing::editor() {
    cad::SpaceEditor editor(doc_, *space_, &undo_, &indexOf(*space_));
    editor.setOnChange([this] { Q_EMIT contentChanged(); });
    editor.setOnAdded([this](cad::Entity& e) { Q_EMIT entityAdded(e); });
    return editor;
}

QString Drawing::entityAt(QPointF point, double aperture, const cad::PickFilter& wanted) {
    return cad::pointSearch(doc_, *space_, indexOf(*space_), point, aperture, nullptr, wanted)
        .handle;
}

QString Drawing::insertBlock(Ui& ui, const QString& blockName, const QString& prompt) {
    if (!doc_.block(blockName))
        throw cad::CadError(cad::WrongParameters, QStringLiteral("CmdInsert"));
    // The block follows the cursor while its insertion point is asked.
    cad::Entity shape = cad::makeInsert(doc_, blockName, {0, 0});
    const QPainterPath outline = cad::outlinePath(doc_, shape);
    const PointAnswer at =
        ui.getPoint(prompt, 0, false, [outline](QPointF c) { return outline.translated(c); });
    if (at.cancelled) return {};
    return placeBlock(blockName, at.point);
}

QString Drawing::placeBlock(const QString& blockName, QPointF at) {
    if (!doc_.block(blockName))
        throw cad::CadError(cad::WrongParameters, QStringLiteral("CmdInsert"));
    return editor().add(cad::makeInsert(doc_, blockName, at));
}

QString Drawing::entityFor(const PickAnswer& pick, double aperture, const cad::PickFilter& wanted) {
    if (pick.cancelled) return {};
    if (!pick.handle.isEmpty()) {
        // A handle typed counts only for an entity of the space shown (or an attribute of an
        // insert there).
        const cad::Entity* e = doc_.find(pick.handle);
        if (!e) return {};
        if (indexOf(*space_).resolve(*space_, e->handle, nullptr)) return e->handle;
        if (e->kind == cad::EntityKind::Attribute) return e->handle;
        return {};
    }
    if (!pick.point) return {};
    // A pick on an attribute's text picks the block it belongs to.
    const cad::PickResult hit =
        cad::pickPreferring(doc_, *space_, indexOf(*space_), *pick.point, aperture, wanted);
    return hit.isAttribute() ? hit.insertHandle : hit.handle;
}

QStringList Drawing::entitiesOf(const SelectionAnswer& answer) {
    QStringList out;
    if (answer.cancelled) return out;
    if (answer.window) {
        const cad::BBox box = cad::BBox::of(answer.window->topLeft(), answer.window->bottomRight());
        const std::vector<QString> hits =
            answer.crossing ? cad::crossingSelect(doc_, *space_, indexOf(*space_), box)
                            : cad::windowSelect(doc_, *space_, indexOf(*space_), box);
        for (const QString& h : hits) out << h;
    }
    for (const QString& h : answer.handles) {
        const cad::Entity* e = doc_.find(h);
        if (e && !out.contains(e->handle)) out << e->handle;
    }
    return out;
}

void Drawing::changed(bool edit) {
    // Changed behind the editor's back: undo cannot return to the saved state.
    if (edit) unrecorded_ = true;
    // Layouts may have come or gone: the space shown is looked up again by its name, and
    // whoever shows it is told when it is gone or has moved in memory.
    const cad::Space* before = space_;
    space_ = spaceNamed(spaceName_);
    if (!space_) {
        space_ = &doc_.modelSpace();
        spaceName_ = space_->name;
    }
    // Views hold on to the indexes: they are rebuilt in place, never replaced.
    for (auto& [name, index] : indexes_) {
        if (const cad::Space* s = spaceNamed(name))
            index->buildLater(doc_, *s);
        else
            index->clear();
    }
    if (space_ != before) Q_EMIT spaceChanged(spaceName_);
    Q_EMIT contentChanged();
}

void Drawing::setPath(const QString& path) {
    path_ = path;
    Q_EMIT titleChanged(title());
}

void Drawing::setReadOnly(bool on) {
    readOnly_ = on;
    Q_EMIT titleChanged(title());
}

void Drawing::setModified(bool on) {
    if (on) {
        unrecorded_ = true;
    } else {
        savedState_ = undo_.state();
        unrecorded_ = false;
    }
    updateModified();
}

void Drawing::updateModified() {
    const bool on = unrecorded_ || undo_.state() != savedState_;
    if (modified_ == on) return;
    modified_ = on;
    Q_EMIT titleChanged(title());
}

QString Drawing::title() const {
    QString t = untitled() ? untitledName_ : path_;
    if (readOnly_) t += QStringLiteral(" READ ONLY");
    if (modified_) t += QLatin1Char('*');
    return t;
}

}  // namespace tolvane
