// An R-tree of the boxes of one space's entities, one box per piece of an entity's geometry
// (segment, arc, text), keyed by handle, so that point and rectangle searches cost the
// logarithm of the drawing rather than its size, long cables included. The model
// sends no change notifications: the caller keeps the index in step through insert, remove
// and update (the undo stack does so through its callback).
#pragma once

#include <QHash>
#include <QString>
#include <memory>
#include <vector>

#include "cad/document.h"
#include "cad/geometry.h"

namespace tolvane::cad {

class SpatialIndex {
  public:
    SpatialIndex();
    ~SpatialIndex();
    SpatialIndex(SpatialIndex&&) noexcept;
    SpatialIndex& operator=(SpatialIndex&&) noexcept;

    // Replaces the contents with the entities of a space.
    void build(const Document& doc, const Space& space);
    // The same, done on first use (any search or change, or complete()): a window shows its
    // drawing first and indexes it after. The space is found again by its name then, so
    // the document must outlive the wait.
    void buildLater(const Document& doc, const Space& space);
    // Nothing waits to be built. Those who can do without the index (a whole redraw, the
    // extents) ask first rather than make the build happen.
    bool ready() const { return !pendingDoc_; }
    void complete() const;
    void clear();
    // Adds or replaces an entity; entities without extent (unknown kinds) are left out.
    void insert(const Document& doc, const Entity& e);
    // Removes an entity by handle; false when it was not indexed.
    bool remove(const QString& handle);
    void update(const Document& doc, const Entity& e) { insert(doc, e); }

    // Handles whose boxes lie within `aperture` of the point.
    std::vector<QString> queryPoint(QPointF p, double aperture) const;
    // Handles whose boxes meet the rectangle, or with `within` lie entirely inside it.
    std::vector<QString> queryRect(const BBox& box, bool within = false) const;
    // The same searches giving handle keys (handleKey), for callers on the hot path: no
    // text is made for the candidates.
    std::vector<quint64> keysNear(QPointF p, double aperture) const;
    std::vector<quint64> keysIn(const BBox& box, bool within = false) const;

    bool contains(const QString& handle) const;
    BBox box(const QString& handle) const;  // invalid when not indexed
    int size() const;
    // The box around everything indexed (the extents of the space); invalid when empty.
    BBox bounds() const;

    // The entity of an indexed handle in the space and its draw position (index in the
    // space's list). Positions are remembered and refreshed from the space in one pass
    // when they have gone stale (after an erase or a restore in the middle).
    const Entity* resolve(const Space& space, const QString& handle, int* position) const;
    const Entity* resolve(const Space& space, quint64 key, int* position) const;

    // Counters for checking the cost of searches: boxes returned by the last query and
    // full passes over a space made by resolve.
    int lastCandidates() const { return lastCandidates_; }
    int rescans() const { return rescans_; }

  private:
    static std::vector<BBox> partsOf(const Document& doc, const Entity& e, BBox* whole);
    void buildPending();

    const Document* pendingDoc_ = nullptr;
    QString pendingSpace_;

    struct Tree;
    std::unique_ptr<Tree> tree_;
    QHash<quint64, BBox> boxes_;               // whole entities
    QHash<quint64, std::vector<BBox>> parts_;  // the boxes in the tree
    mutable QHash<quint64, int> positions_;
    mutable int lastCandidates_ = 0;
    mutable int rescans_ = 0;
};

// A handle as the number it stands for; 0 when it is not one.
quint64 handleKey(const QString& handle);

}  // namespace tolvane::cad
