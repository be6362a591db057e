// Changing a drawing space: adding, erasing and changing entities so that the undo stack and
// the spatial index follow every change, and the editing operations built on that (move,
// copy, rotate, scale, mirror, explode). Also loading a block definition from a drawing file.
#pragma once

#include <QPointF>
#include <QString>
#include <QStringList>
#include <QTransform>
#include <functional>

#include "cad/document.h"
#include "cad/spatial_index.h"
#include "cad/undo.h"

namespace tolvane::cad {

// Applies a transform of the plane made of translation, rotation, uniform scale and
// reflection to one entity. Text stays readable under a reflection (its place is mirrored,
// its glyphs are not). False for kinds that cannot be transformed (pass-through entities).
bool transformEntity(Entity& e, const QTransform& t);

// An insert of a block with one attribute per attribute definition of the block, placed as
// the insert places the definition and holding its default value.
Entity makeInsert(const Document& doc, const QString& block, QPointF at, double xScale = 1.0,
                  double yScale = 1.0, double rotation = 0.0);

// The reflection about the line through a and b (a != b).
QTransform mirrorTransform(QPointF a, QPointF b);

// The entities an insert stands for, in the insert's space: its block's entities placed by
// the insert (entities on layer "0" take the insert's layer, "by block" colours and line types
// take the insert's) and its visible attributes as texts. Empty when the block is missing.
std::vector<Entity> explodeInsert(const Document& doc, const Entity& insert);
// A polyline as its lines and arcs; other kinds give nothing.
std::vector<Entity> explodePolyline(const Entity& polyline);

class SpaceEditor {
  public:
    // undo and index may be null; when given, every change is recorded and indexed.
    SpaceEditor(Document& doc, Space& space, UndoStack* undo = nullptr,
                SpatialIndex* index = nullptr)
        : doc_(doc), space_(space), undo_(undo), index_(index) {}

    Document& document() { return doc_; }
    Space& space() { return space_; }
    // Called after every change the editor makes (views repaint).
    void setOnChange(std::function<void()> f) { onChange_ = std::move(f); }
    // Called with each entity the editor adds, before it is recorded for undo: the place
    // where newly inserted blocks get their tags.
    void setOnAdded(std::function<void(Entity&)> f) { onAdded_ = std::move(f); }

    // Adds at the end of the draw order; returns the new handle.
    QString add(Entity e);
    // False when no entity of the space has this handle.
    bool erase(const QString& handle);
    // Changes an entity through `change`; false when it is not in the space.
    bool modify(const QString& handle, const std::function<void(Entity&)>& change);

    // Each returns the handles it could not handle (not in the space, or a kind that cannot
    // be transformed); the others are changed as one undo step.
    QStringList move(const QStringList& handles, QPointF by);
    QStringList rotate(const QStringList& handles, QPointF base, double degrees);
    QStringList scale(const QStringList& handles, QPointF base, double factor);
    QStringList transform(const QStringList& handles, const QTransform& t);
    // Copies placed by the transform; the new handles in the order given.
    QStringList copy(const QStringList& handles, const QTransform& t);
    // Mirrors about the line through a and b, keeping the originals when keepOriginals.
    QStringList mirror(const QStringList& handles, QPointF a, QPointF b, bool keepOriginals);
    // Moves the entities to the top (front) or the bottom (back) of the draw order, keeping
    // their order among themselves and their handles; one undo step. The handles moved.
    QStringList reorder(const QStringList& handles, bool toFront);
    // Replaces inserts and polylines by their parts; returns the handles of the parts. Other
    // kinds are left as they are.
    QStringList explode(const QStringList& handles);

  private:
    Entity* inSpace(const QString& handle);

    Document& doc_;
    Space& space_;
    UndoStack* undo_;
    SpatialIndex* index_;
    std::function<void()> onChange_;
    std::function<void(Entity&)> onAdded_;
};

// Loads the model space of a drawing file as the block `name`, placed with the file's
// insertion base as its base point, together with the layers, text styles, line types and
// nested blocks it uses that the document lacks. A block of that name already in the document
// is kept and returned. Throws DxfError when the file cannot be read.
Block& addBlockFromFile(Document& doc, const QString& path, const QString& name);

}  // namespace tolvane::cad
