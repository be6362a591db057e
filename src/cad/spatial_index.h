// A spatial index of one space's entities: one compact box per entity (single precision,
// rounded outwards, read off the entity's own fields where QuickExtents can), keyed by handle,
// so that point and rectangle searches cost the logarithm of the drawing rather than its size.
// A build packs the boxes in a tree of its own; what changes after it goes to an R-tree beside
// it. A search makes the pieces of the entities its boxes meet and measures them exactly; no
// piece is kept. The model sends no change notifications: the caller keeps the index in step
// through insert, remove and update (the undo stack does so through its callback). The
// document must outlive the index's use of it.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "cad/document.h"
#include "cad/geometry.h"

namespace tolvane::cad {

// A piece of an entity's geometry near a point, as a point search finds it.
struct NearPiece {
    int attribute = -1;  // the insert attribute the piece is the text of; -1 for the rest
    double distance = 0.0;
};

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
    // A build waiting for first use starts (a small space is indexed at once): this thread
    // takes a first slice of the space's entities now and the rest in the turns readyWithin
    // and complete give it, then another thread packs the tree from the boxes alone. Changes
    // the index is told of meanwhile are taken in when the build is adopted.
    void startBuilding() const;
    // Takes entities in and waits for up to `wait` milliseconds in all for the packing on
    // another thread, and adopts it when done; whether the index is ready then. A search
    // that must not wait asks this first.
    bool readyWithin(int wait) const;
    // Makes the index ready, waiting for a build on another thread or building it here.
    void complete() const;
    // Whether a point search (nearFromTop) goes through the index without waiting: it is
    // ready, or its build has taken every entity and nothing changed since (the boxes taken
    // are then looked through one by one, which on a large drawing is still far quicker than
    // a pass over the entities).
    bool searchableNow() const;
    // The extents of `space` while the index waits to be built for it: those of its entities
    // on layers not frozen, exactly, as spaceExtents works them out. The build takes every
    // entity in now for them (the first paint needs the extents, and they come from the
    // boxes the build keeps), then only packs on another thread; searches before it is
    // ready go over those boxes. None when the index is not being built for that space or
    // the extents cannot be told from the boxes (frozen layers, changes told of meanwhile).
    std::optional<BBox> extentsWhileBuilding(const Space& space) const;
    void clear();
    // Adds or replaces an entity; entities without extent (unknown kinds) are left out.
    void insert(const Document& doc, const Entity& e);
    // Removes an entity by handle; false when it was not indexed.
    bool remove(const QString& handle);
    void update(const Document& doc, const Entity& e) { insert(doc, e); }

    // Handles whose boxes lie within `aperture` of the point (the boxes may be larger than
    // the entities: these are candidates).
    std::vector<QString> queryPoint(QPointF p, double aperture) const;
    // Handles whose boxes meet the rectangle, or with `within` of the entities whose extents
    // lie entirely inside it (exactly).
    std::vector<QString> queryRect(const BBox& box, bool within = false) const;
    // The same searches giving handle keys (handleKey), for callers on the hot path: no
    // text is made for the candidates.
    std::vector<quint64> keysNear(QPointF p, double aperture) const;
    std::vector<quint64> keysIn(const BBox& box, bool within = false) const;
    // The entities with pieces whose true geometry lies within `aperture` of the point, from
    // the topmost (last in draw order) down: `take` is given each with its draw position and
    // those pieces until it returns true. The pieces are made from the entities as they are
    // now, only for those whose boxes meet, and not at all below the one taken.
    using TakeNear =
        std::function<bool(const Entity& e, int position, std::span<const NearPiece> pieces)>;
    void nearFromTop(const Space& space, QPointF p, double aperture, const TakeNear& take) const;

    bool contains(const QString& handle) const;
    BBox box(const QString& handle) const;  // its compact box; invalid when not indexed
    int size() const;
    // The extents of everything indexed (those of the space), exact: the entities at the
    // edges are measured. Invalid when empty.
    BBox bounds() const;

    // The entity of an indexed handle in the space and its draw position (index in the
    // space's list). Positions are remembered and refreshed from the space in one pass
    // when they have gone stale (after an erase or a restore in the middle).
    const Entity* resolve(const Space& space, const QString& handle, int* position) const;
    const Entity* resolve(const Space& space, quint64 key, int* position) const;

    // Counters for checking the cost of searches: entities whose boxes the last search met,
    // and full passes over a space made to find entities again.
    int lastCandidates() const { return lastCandidates_; }
    int rescans() const { return rescans_; }

  private:
    struct Data;
    struct Builder;
    void buildPending();
    void adopt();
    void replayChanges();
    const Entity* resolveEntry(const Space& space, quint32 entry, int* position) const;
    void rescan(const Space& space) const;
    bool nearWhileBuilding(const Space& space, QPointF p, double aperture,
                           const TakeNear& take) const;

    const Document* pendingDoc_ = nullptr;
    QString pendingSpace_;
    // The build on another thread, with the changes the index was told of meanwhile.
    std::unique_ptr<Builder> builder_;

    std::unique_ptr<Data> d_;
    mutable int lastCandidates_ = 0;
    mutable int rescans_ = 0;
};

// A handle as the number it stands for; 0 when it is not one.
quint64 handleKey(const QString& handle);
inline quint64 handleKey(Handle handle) {
    return handle.value();
}

}  // namespace tolvane::cad
