#ifndef BOOST_ALLOW_DEPRECATED_HEADERS
#define BOOST_ALLOW_DEPRECATED_HEADERS
#endif
#include "cad/spatial_index.h"

#include <QHash>
#include <algorithm>
#include <array>
#include <boost/container/small_vector.hpp>
#include <boost/geometry.hpp>
#include <boost/geometry/geometries/register/box.hpp>
#include <boost/geometry/index/rtree.hpp>
#include <chrono>
#include <cmath>
#include <functional>
#include <future>
#include <limits>

#include "cad/handle_map.h"
#include "cad/heap_pages.h"
#include "cad/name_lookups.h"
#include "cad/picking.h"

namespace tolvane::cad {

namespace {

// A box in single precision, rounded outwards so that it holds the box it was made from: a
// quarter of the memory of a box of pieces in double precision. Invalid (empty) as made.
struct LooseBox {
    float x0 = std::numeric_limits<float>::infinity();
    float y0 = std::numeric_limits<float>::infinity();
    float x1 = -std::numeric_limits<float>::infinity();
    float y1 = -std::numeric_limits<float>::infinity();

    static float down(double v) {
        const float f = float(v);
        return double(f) > v ? std::nextafter(f, -std::numeric_limits<float>::infinity()) : f;
    }
    static float up(double v) {
        const float f = float(v);
        return double(f) < v ? std::nextafter(f, std::numeric_limits<float>::infinity()) : f;
    }
    static LooseBox around(const BBox& b) {
        if (!b.isValid()) return {};
        return {down(b.x0), down(b.y0), up(b.x1), up(b.y1)};
    }
    bool valid() const { return x0 <= x1 && y0 <= y1; }
    BBox exact() const { return valid() ? BBox{x0, y0, x1, y1} : BBox(); }
    void add(const LooseBox& b) {
        x0 = std::min(x0, b.x0), y0 = std::min(y0, b.y0);
        x1 = std::max(x1, b.x1), y1 = std::max(y1, b.y1);
    }
    // Whether it meets another loose box; all four sides compared without a branch, as a
    // search compares many boxes of which few meet.
    bool meets(const LooseBox& q) const {
        return (x0 <= q.x1) & (y0 <= q.y1) & (x1 >= q.x0) & (y1 >= q.y0);
    }
    bool inside(const BBox& b) const {
        return valid() && x0 >= b.x0 && y0 >= b.y0 && x1 <= b.x1 && y1 <= b.y1;
    }
    // Inside without touching any side: what lies so does not decide the extents.
    bool wellInside(const BBox& b) const {
        return valid() && x0 > b.x0 && y0 > b.y0 && x1 < b.x1 && y1 < b.y1;
    }
};

}  // namespace

}  // namespace tolvane::cad

BOOST_GEOMETRY_REGISTER_BOX_2D_4VALUES(tolvane::cad::LooseBox,
                                       boost::geometry::model::d2::point_xy<float>, x0, y0, x1, y1)

namespace tolvane::cad {

namespace bgi = boost::geometry::index;

namespace {

QString keyText(quint64 key) {
    return QString::number(key, 16).toUpper();
}

// One entity in the tree: its box and its entry in the index.
struct Value {
    LooseBox box;
    quint32 entry = 0;
};

struct ValueBox {
    using result_type = const LooseBox&;
    const LooseBox& operator()(const Value& v) const { return v.box; }
};

struct SameValue {
    bool operator()(const Value& a, const Value& b) const {
        return a.entry == b.entry && a.box.x0 == b.box.x0 && a.box.y0 == b.box.y0 &&
               a.box.x1 == b.box.x1 && a.box.y1 == b.box.y1;
    }
};

// The changes made after a build.
using RTree = bgi::rtree<Value, bgi::quadratic<16>, ValueBox, SameValue>;

// An output iterator handing every value the tree finds to a function, so that a search
// collects nothing it does not keep.
template <typename F>
struct Calling {
    F* f;
    Calling& operator*() { return *this; }
    Calling& operator=(const Value& v) {
        (*f)(v);
        return *this;
    }
    Calling& operator++() { return *this; }
    Calling operator++(int) { return *this; }
};

template <typename F>
Calling<F> calling(F& f) {
    return Calling<F>{&f};
}

// What rounding may move a piece by when it is worked out otherwise than here, as a pass over
// a whole space allows for it: far more than the last bits of coordinates this large.
double roundingRoom(const BBox& b) {
    const double far = std::max({std::abs(b.x0), std::abs(b.y0), std::abs(b.x1), std::abs(b.y1)});
    return 1e-9 * (1.0 + far);
}

// The box an entity is indexed by: read off its own fields where QuickExtents covers its kind,
// else around its pieces, with the room a pass over the space allows for rounding; invalid for
// an entity without extent.
LooseBox compactBox(QuickExtents& quick, const Document& doc, const Entity& e) {
    BBox b;
    if (!quick.around(e, &b)) {
        b = boundingBox(doc, e);
        if (b.isValid()) b = b.expanded(roundingRoom(b));
    }
    return LooseBox::around(b);
}

// The place of a point along a Hilbert curve through a 65536 x 65536 grid: points near on the
// curve are near in the plane.
quint32 hilbert(quint32 x, quint32 y) {
    quint32 a = x ^ y, b = 0xFFFF ^ a, c = 0xFFFF ^ (x | y), d = x & (y ^ 0xFFFF);
    quint32 A = a | (b >> 1), B = (a >> 1) ^ a, C = ((c >> 1) ^ (b & (d >> 1))) ^ c;
    quint32 D = ((a & (c >> 1)) ^ (d >> 1)) ^ d;
    a = A, b = B, c = C, d = D;
    A = (a & (a >> 2)) ^ (b & (b >> 2));
    B = (a & (b >> 2)) ^ (b & ((a ^ b) >> 2));
    C ^= (a & (c >> 2)) ^ (b & (d >> 2));
    D ^= (b & (c >> 2)) ^ ((a ^ b) & (d >> 2));
    a = A, b = B, c = C, d = D;
    A = (a & (a >> 4)) ^ (b & (b >> 4));
    B = (a & (b >> 4)) ^ (b & ((a ^ b) >> 4));
    C ^= (a & (c >> 4)) ^ (b & (d >> 4));
    D ^= (b & (c >> 4)) ^ ((a ^ b) & (d >> 4));
    a = A, b = B, c = C, d = D;
    C ^= (a & (c >> 8)) ^ (b & (d >> 8));
    D ^= (b & (c >> 8)) ^ ((a ^ b) & (d >> 8));
    a = C ^ (C >> 1), b = D ^ (D >> 1);
    quint32 i0 = x ^ y, i1 = b | (0xFFFF ^ (i0 | a));
    auto spread = [](quint32 v) {
        v = (v | (v << 8)) & 0x00FF00FF;
        v = (v | (v << 4)) & 0x0F0F0F0F;
        v = (v | (v << 2)) & 0x33333333;
        return (v | (v << 1)) & 0x55555555;
    };
    return (spread(i1) << 1) | spread(i0);
}

// Sorts by the upper 32 bits, keeping the order of equal ones: four passes of a byte each
// over the list, so that a build grows with the drawing and not faster. A short list is
// sorted in place.
void sortByPlace(std::vector<quint64>& order) {
    if (order.size() < 4096) {
        std::sort(order.begin(), order.end());
        return;
    }
    std::vector<quint64> other(order.size());
    adviseHugePages(other.data(), other.size() * sizeof(quint64));
    for (int shift = 32; shift < 64; shift += 8) {
        std::array<size_t, 257> at{};
        for (quint64 o : order) ++at[((o >> shift) & 0xFF) + 1];
        if (at[((order.front() >> shift) & 0xFF) + 1] == order.size()) continue;  // all alike
        for (size_t b = 1; b < at.size(); ++b) at[b] += at[b - 1];
        for (quint64 o : order) other[at[(o >> shift) & 0xFF]++] = o;
        order.swap(other);
    }
}

// The values of a build, packed in a tree level by level: the values ordered along a Hilbert
// curve in leaves of kLeaf, then a box for each leaf and for every kFanOut boxes of the level
// below up to one. The layout gives the children of a node. A search goes down a level at a
// time and asks for all nodes it will read at the next level before it reads any, so that
// their loads from memory overlap: the leaves of a large drawing are not in any cache.
class PackedTree {
  public:
    static constexpr size_t kFanOut = 16;
    static constexpr size_t kLeaf = 16;

    bool empty() const { return values_.empty(); }

    // Takes the values over (and frees them).
    void build(std::vector<Value>&& values) {
        values_.clear();
        levels_.clear();
        if (values.empty()) return;
        // The middles of the boxes, and the box around those that are numbers (a piece
        // beyond single precision has an endless box).
        const auto middle = [](float from, float to) { return double(from) / 2 + double(to) / 2; };
        BBox all;
        for (const Value& v : values) {
            const QPointF m(middle(v.box.x0, v.box.x1), middle(v.box.y0, v.box.y1));
            if (std::isfinite(m.x()) && std::isfinite(m.y())) all.add(m);
        }
        auto step = [](double v, double from, double span) -> quint32 {
            const double t = span > 0 ? (v - from) / span : 0.0;
            return t > 0 ? quint32(std::min(t, 1.0) * 65535.0) : 0;  // not a number: 0
        };
        // The place on the curve above, the value's place in the list below.
        std::vector<quint64> order(values.size());
        adviseHugePages(order.data(), order.size() * sizeof(quint64));
        for (size_t i = 0; i < values.size(); ++i) {
            const LooseBox& b = values[i].box;
            const quint32 at = hilbert(step(middle(b.x0, b.x1), all.x0, all.x1 - all.x0),
                                       step(middle(b.y0, b.y1), all.y0, all.y1 - all.y0));
            order[i] = quint64(at) << 32 | i;
        }
        sortByPlace(order);
        // The values gathered in that order into a list of their own, each asked for a few
        // places ahead: they are read from all over a list larger than any cache.
        constexpr size_t kAhead = 16;
        values_.reserve(values.size());
        adviseHugePages(values_.data(), values_.capacity() * sizeof(Value));
        for (size_t i = 0; i < order.size(); ++i) {
            if (i + kAhead < order.size())
                __builtin_prefetch(&values[order[i + kAhead] & 0xFFFFFFFF]);
            values_.push_back(values[order[i] & 0xFFFFFFFF]);
        }
        std::vector<quint64>().swap(order);
        std::vector<Value>().swap(values);
        // The leaves' boxes, then each level's from the one below.
        std::vector<LooseBox> leaves;
        leaves.reserve((values_.size() + kLeaf - 1) / kLeaf);
        for (size_t i = 0; i < values_.size(); i += kLeaf) {
            LooseBox b;
            for (size_t k = i; k < std::min(values_.size(), i + kLeaf); ++k) b.add(values_[k].box);
            leaves.push_back(b);
        }
        levels_.push_back(std::move(leaves));
        while (levels_.back().size() > 1) {
            const std::vector<LooseBox>& below = levels_.back();
            std::vector<LooseBox> above;
            above.reserve((below.size() + kFanOut - 1) / kFanOut);
            for (size_t i = 0; i < below.size(); i += kFanOut) {
                LooseBox b;
                for (size_t k = i; k < std::min(below.size(), i + kFanOut); ++k) b.add(below[k]);
                above.push_back(b);
            }
            levels_.push_back(std::move(above));
        }
    }

    template <typename F>
    void query(const LooseBox& q, F&& f) const {
        if (values_.empty() || !levels_.back()[0].meets(q)) return;
        // The nodes met at one level, as places in it; their children are the kFanOut
        // entries from kFanOut times that place in the level below (the kLeaf values from
        // kLeaf times a leaf's place).
        boost::container::small_vector<quint32, 64> met{0}, below;
        for (size_t level = levels_.size() - 1; level > 0; --level) {
            const std::vector<LooseBox>& children = levels_[level - 1];
            below.clear();
            for (quint32 node : met) {
                const size_t end = std::min(children.size(), (node + 1) * kFanOut);
                for (size_t c = node * kFanOut; c < end; ++c) {
                    if (!children[c].meets(q)) continue;
                    below.push_back(quint32(c));
                    if (level > 1)
                        prefetch(levels_[level - 2], c * kFanOut, kFanOut);
                    else
                        prefetch(values_, c * kLeaf, kLeaf);
                }
            }
            met.swap(below);
        }
        for (quint32 leaf : met) {
            const size_t end = std::min(values_.size(), (leaf + 1) * kLeaf);
            for (size_t i = leaf * kLeaf; i < end; ++i) {
                if (values_[i].box.meets(q)) f(values_[i]);
            }
        }
    }

    // The heap it keeps, in bytes.
    size_t bytes() const {
        size_t n = values_.capacity() * sizeof(Value);
        for (const auto& level : levels_) n += level.capacity() * sizeof(LooseBox);
        return n;
    }

  private:
    // Asks for the entries of a node, from `first` on.
    template <typename T>
    static void prefetch(const std::vector<T>& list, size_t first, size_t count) {
        const char* p = reinterpret_cast<const char*>(list.data() + first);
        const size_t bytes = std::min(count, list.size() - first) * sizeof(T);
        for (size_t at = 0; at < bytes; at += 64) __builtin_prefetch(p + at);
    }

    std::vector<Value> values_;
    std::vector<std::vector<LooseBox>> levels_;  // from the leaves' boxes up to the root's
};

// The space of a document by name (the model space's too); null when there is none.
const Space* spaceNamed(const Document& doc, const QString& name) {
    if (doc.modelSpace().name.compare(name, Qt::CaseInsensitive) == 0) return &doc.modelSpace();
    for (const Space& s : doc.layouts()) {
        if (s.name.compare(name, Qt::CaseInsensitive) == 0) return &s;
    }
    return nullptr;
}

// The name of the space whose list holds the entity; the model space's when none does (a
// copy of an entity).
QString spaceHolding(const Document& doc, const Entity& e) {
    const std::less<const Entity*> before;
    const auto holds = [&](const Space& s) {
        return !s.entities.empty() && !before(&e, s.entities.data()) &&
               before(&e, s.entities.data() + s.entities.size());
    };
    for (const Space& s : doc.layouts()) {
        if (holds(s)) return s.name;
    }
    return doc.modelSpace().name;
}

// The exact extents of entities known by loose boxes: those of the entities whose boxes reach
// furthest, and of any other whose box sticks out of theirs; the entities well inside are not
// measured. The extents only grow, so what sticks out of them in the end stuck out of the first.
template <typename BoxAt, typename Exact>
BBox exactExtents(size_t count, BoxAt boxAt, Exact exact) {
    LooseBox all;
    for (size_t i = 0; i < count; ++i) {
        if (const LooseBox b = boxAt(i); b.valid()) all.add(b);
    }
    BBox out;
    std::vector<char> measured(count, 0);
    const auto measure = [&](size_t i) {
        measured[i] = 1;
        out.add(exact(i));
    };
    for (size_t i = 0; i < count; ++i) {
        const LooseBox b = boxAt(i);
        if (b.valid() && (b.x0 == all.x0 || b.y0 == all.y0 || b.x1 == all.x1 || b.y1 == all.y1))
            measure(i);
    }
    const BBox first = out;
    for (size_t i = 0; i < count; ++i) {
        const LooseBox b = boxAt(i);
        if (b.valid() && !measured[i] && !b.inside(first)) measure(i);
    }
    return out;
}

using NearPieces = boost::container::small_vector<NearPiece, 16>;

// A candidate of a point search: its pieces are made and those within the aperture given to
// `take` with the entity; whether it took it.
bool offerNear(const Document& doc, const Entity& e, int position, QPointF p, double aperture,
               NearPieces& pieces, const SpatialIndex::TakeNear& take) {
    pieces.clear();
    const double half = halfWidth(e);
    for (const Prim& piece : primitives(doc, e)) {
        const double dist = std::max(0.0, distance(piece, p) - half);
        if (dist <= aperture) pieces.push_back({piece.attribute, dist});
    }
    return !pieces.empty() && take(e, position, {pieces.data(), pieces.size()});
}

}  // namespace

struct SpatialIndex::Data {
    // An indexed entity, or one of the space only remembered by its draw position (its box
    // is invalid then).
    struct Entry {
        quint64 key = 0;  // 0: a free entry
        LooseBox box;
    };
    // Where an entry's entity was last seen in the space, apart from the entries so that a
    // search orders its candidates from a small array: its position (-1 not seen) and the
    // pass over the space that saw it (-1: seen alone, or changed since). The entity found
    // there again is known by its handle's number.
    struct Seen {
        int position = -1;
        int pass = -1;
    };

    // The document and the space indexed: a search makes the pieces of its candidates, and
    // the exact extents are worked out from the entities at the edges.
    const Document* doc = nullptr;
    QString spaceName;

    // The values of the last build, and those added since; an entry changed or removed since
    // the build has its built value killed.
    PackedTree built;
    std::vector<char> killed;  // by entry, for the entries there were at the build
    RTree added;
    std::vector<Entry> entries;
    std::vector<Seen> seen;  // by entry
    int pass = 0;            // passes over the space made (builds and rescans)
    std::vector<quint32> freeEntries;
    HandleMap<quint32> byKey{0xFFFFFFFFu};  // no entry has the number 0xFFFFFFFF
    int indexed = 0;                        // entries with a valid box
    BBox bounds;  // the exact extents of the indexed entities, when not stale
    bool boundsStale = true;

    void indexing(const Document& d, const QString& space) {
        doc = &d;
        spaceName = space;
    }

    quint32 entryFor(quint64 key) {
        const auto [slot, made] = byKey.insert(key, 0);
        if (made) *slot = newEntry(key);
        return *slot;
    }

    // An entry for a key the map of handles has just been given.
    quint32 newEntry(quint64 key) {
        quint32 i;
        if (freeEntries.empty()) {
            i = quint32(entries.size());
            entries.emplace_back();
            seen.emplace_back();
        } else {
            i = freeEntries.back();
            freeEntries.pop_back();
        }
        entries[i].key = key;
        return i;
    }

    bool inBuilt(quint32 entry) const { return entry < killed.size() && !killed[entry]; }

    // Takes in entities of a space from draw position `first` on; their values go to
    // `values` until finish() packs them.
    void take(const Document& d, QuickExtents& quick, std::span<const Entity> list, int first,
              std::vector<Value>* values) {
        for (int i = 0; i < int(list.size()); ++i) {
            const Entity& e = list[size_t(i)];
            const quint64 key = handleKey(e.handle);
            if (key) add(key, compactBox(quick, d, e), first + i, values);
        }
    }

    // Takes in the entity of a handle at a draw position, with its box (invalid: it has no
    // extent). One look in the map of handles: a handle met before (a broken file) is taken once.
    void add(quint64 key, const LooseBox& box, int position, std::vector<Value>* values) {
        if (!key) return;
        const auto [slot, made] = byKey.insert(key, 0);
        if (!made) return;
        const quint32 entry = *slot = newEntry(key);
        see(entry, position, pass);
        if (!box.valid()) return;
        entries[entry].box = box;
        ++indexed;
        values->push_back({box, entry});
    }

    void finish(std::vector<Value>& values) {
        built.build(std::move(values));
        killed.resize(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) killed[i] = !entries[i].box.valid();
        boundsStale = true;
    }

    void reserve(size_t count) {
        entries.reserve(count);
        seen.reserve(count);
        byKey.reserve(qsizetype(count));
    }

    // The values whose boxes meet the box, the living ones of the build and those added.
    template <typename F>
    void query(const BBox& q, F&& f) const {
        const LooseBox loose = LooseBox::around(q);
        if (!loose.valid()) return;
        built.query(loose, [&](const Value& v) {
            if (!killed[v.entry]) f(v);
        });
        if (!added.empty()) added.query(bgi::intersects(loose), calling(f));
    }

    // Takes an entity's value out.
    void dropValue(quint32 entry) {
        Entry& en = entries[entry];
        if (!en.box.valid()) return;
        if (inBuilt(entry))
            killed[entry] = 1;
        else
            added.remove(Value{en.box, entry});
        // An entity lying well inside the extents does not make them.
        if (!boundsStale && !en.box.wellInside(bounds)) boundsStale = true;
        en.box = {};
        --indexed;
    }

    void see(quint32 entry, int position, int byPass) { seen[entry] = {position, byPass}; }

    // The entity at a position when it is the entry's.
    const Entity* at(const Space& space, int i, quint32 entry) {
        if (i < 0 || i >= int(space.entities.size())) return nullptr;
        const Entity& e = space.entities[size_t(i)];
        if (handleKey(e.handle) != entries[entry].key) return nullptr;
        seen[entry].position = i;
        return &e;
    }

    const Space* space() const { return doc ? spaceNamed(*doc, spaceName) : nullptr; }
};

// How far from the end of a space an entity not yet seen by resolve() is looked for before
// all positions are read again.
constexpr int kRecentlyAdded = 64;

quint64 handleKey(const QString& handle) {
    // Parsed in place: this runs for every candidate of every search.
    auto parse = [](QStringView h) -> quint64 {
        if (h.isEmpty() || h.size() > 15) return 0;
        quint64 v = 0;
        for (QChar c : h) {
            const char16_t u = c.unicode();
            int d;
            if (u >= '0' && u <= '9')
                d = u - '0';
            else if (u >= 'a' && u <= 'f')
                d = u - 'a' + 10;
            else if (u >= 'A' && u <= 'F')
                d = u - 'A' + 10;
            else
                return 0;
            v = v * 16 + quint64(d);
        }
        return v;
    };
    const quint64 v = parse(handle);
    return v ? v : parse(QStringView(handle).trimmed());
}

namespace {

// Entities taken between two looks at the clock.
constexpr size_t kTakeStep = 256;
// A space of fewer entities is indexed at once rather than in turns: it takes a few
// milliseconds.
constexpr size_t kBuildHere = 4096;
// Taking at least this many entities at once (the first paint waits for them), the index takes
// the later half of them on another thread.
constexpr size_t kTakeSideBySide = 8192;

}  // namespace

// A build in turns. The boxes of the space's entities are worked out on the caller's thread, a
// slice at a time between its other work, straight from the space: nothing is copied, and
// the entities are read where only that thread writes them (a large rest taken at once is
// shared with a second thread while the caller waits for it). Once all are taken, another
// thread packs the tree from the boxes alone.
struct SpatialIndex::Builder {
    // How far the build has gone through the space, and the handles the index was told of
    // meanwhile, in order.
    size_t taken = 0;
    bool doneTaking = false;
    bool toldWhileTaking = false;
    std::vector<QString> changed;

    // What was taken, by draw position: the handles' numbers and the boxes (invalid: no
    // extent). Only read once all are taken: by the packing, and by searches before it ends.
    std::vector<quint64> keys;
    std::vector<LooseBox> boxes;
    std::unique_ptr<Data> made;
    std::future<std::unique_ptr<Data>> result;  // the packing, once every entity is taken

    ~Builder() {
        if (result.valid()) result.wait();
    }

    // Takes the next entities of the space, for `turn` ms at most (all of them when
    // negative); whether all are taken. A space gone, or shorter now than what was taken
    // (entities erased meanwhile, which the index is told of), ends it.
    bool take(const Document& doc, const Space* space, int turn) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(turn);
        if (turn < 0 && !doneTaking && space && space->entities.size() - taken >= kTakeSideBySide)
            takeSideBySide(doc, *space);
        // Block extents are worked out afresh in each turn: a block may be redefined between
        // two (its inserts are told of then).
        QuickExtents quick(doc);
        while (!doneTaking) {
            const size_t size = space ? space->entities.size() : 0;
            if (taken < size) {
                const size_t end = std::min(size, taken + kTakeStep);
                for (; taken < end; ++taken) {
                    const Entity& e = space->entities[taken];
                    const quint64 key = handleKey(e.handle);
                    keys.push_back(key);
                    boxes.push_back(key ? compactBox(quick, doc, e) : LooseBox());
                }
            }
            doneTaking = taken >= size;
            if (doneTaking) pack();
            if (turn >= 0 && std::chrono::steady_clock::now() >= until) break;
        }
        return doneTaking;
    }

    // Takes the rest of the space in two halves side by side, each with block extents of its
    // own.
    void takeSideBySide(const Document& doc, const Space& space) {
        makeNameLookups(doc);
        const size_t from = taken;
        const size_t size = space.entities.size();
        const size_t half = from + (size - from) / 2;
        keys.resize(size);
        boxes.resize(size);
        auto takeRange = [&](size_t begin, size_t end) {
            QuickExtents quick(doc);
            for (size_t i = begin; i < end; ++i) {
                const Entity& e = space.entities[i];
                keys[i] = handleKey(e.handle);
                boxes[i] = keys[i] ? compactBox(quick, doc, e) : LooseBox();
            }
        };
        auto later = std::async(std::launch::async, takeRange, half, size);
        takeRange(from, half);
        later.get();
        taken = size;
    }

    // The entries, their map of handles and the tree are made on another thread from what was
    // taken.
    void pack() {
        result = std::async(std::launch::async, [this, d = std::move(made)]() mutable {
            d->reserve(keys.size());
            std::vector<Value> values;
            values.reserve(keys.size());
            adviseHugePages(values.data(), values.capacity() * sizeof(Value));
            for (size_t i = 0; i < keys.size(); ++i) d->add(keys[i], boxes[i], int(i), &values);
            d->finish(values);
            return std::move(d);
        });
    }

    // Whether the boxes taken stand for the space as it is: all taken, and nothing told of
    // since.
    bool standsFor(const Space& space) const {
        return doneTaking && changed.empty() && boxes.size() == space.entities.size();
    }
};

SpatialIndex::SpatialIndex() : d_(std::make_unique<Data>()) {}
SpatialIndex::~SpatialIndex() = default;
SpatialIndex::SpatialIndex(SpatialIndex&&) noexcept = default;
SpatialIndex& SpatialIndex::operator=(SpatialIndex&&) noexcept = default;

void SpatialIndex::clear() {
    builder_.reset();
    pendingDoc_ = nullptr;
    *d_ = Data();
}

void SpatialIndex::build(const Document& doc, const Space& space) {
    clear();
    Data& d = *d_;
    d.indexing(doc, space.name);
    d.reserve(space.entities.size());
    std::vector<Value> values;
    values.reserve(space.entities.size());
    QuickExtents quick(doc);
    d.take(doc, quick, space.entities, 0, &values);
    d.finish(values);
}

void SpatialIndex::buildLater(const Document& doc, const Space& space) {
    clear();
    pendingDoc_ = &doc;
    pendingSpace_ = space.name;
}

// Building is not a change of what the index stands for: a const search may start it, wait
// for it or do it.
void SpatialIndex::startBuilding() const {
    if (!pendingDoc_ || builder_) return;
    auto* self = const_cast<SpatialIndex*>(this);
    const Space* space = spaceNamed(*pendingDoc_, pendingSpace_);
    if (!space) {
        self->clear();  // the space is gone: nothing to index
        return;
    }
    if (space->entities.size() < kBuildHere) {
        self->build(*pendingDoc_, *space);  // sooner done than taken in turns
        return;
    }
    self->builder_ = std::make_unique<Builder>();
    Builder* b = builder_.get();
    b->made = std::make_unique<Data>();
    b->made->indexing(*pendingDoc_, pendingSpace_);
    b->keys.reserve(space->entities.size());
    b->boxes.reserve(space->entities.size());
    b->take(*pendingDoc_, space, 0);  // its first slice: the caller's turns take the rest
}

bool SpatialIndex::readyWithin(int wait) const {
    if (!pendingDoc_) return true;
    startBuilding();
    if (!builder_) return true;  // nothing to build
    const auto t0 = std::chrono::steady_clock::now();
    const Space* space = spaceNamed(*pendingDoc_, pendingSpace_);
    if (!builder_->take(*pendingDoc_, space, std::max(0, wait))) return false;
    const auto left =
        std::chrono::milliseconds(std::max(0, wait)) - (std::chrono::steady_clock::now() - t0);
    if (builder_->result.wait_for(std::max(left, decltype(left)::zero())) !=
        std::future_status::ready)
        return false;
    const_cast<SpatialIndex*>(this)->adopt();
    return true;
}

void SpatialIndex::complete() const {
    if (!builder_) {
        // Not started: built here at once.
        if (pendingDoc_) const_cast<SpatialIndex*>(this)->buildPending();
        return;
    }
    builder_->take(*pendingDoc_, spaceNamed(*pendingDoc_, pendingSpace_), -1);
    builder_->result.wait();
    const_cast<SpatialIndex*>(this)->adopt();
}

bool SpatialIndex::searchableNow() const {
    if (!pendingDoc_) return true;
    const Space* space = spaceNamed(*pendingDoc_, pendingSpace_);
    return builder_ && space && builder_->standsFor(*space);
}

std::optional<BBox> SpatialIndex::extentsWhileBuilding(const Space& asked) const {
    if (!pendingDoc_) return std::nullopt;
    const Document& doc = *pendingDoc_;
    const Space* space = spaceNamed(doc, pendingSpace_);
    if (space != &asked) return std::nullopt;
    const QList<Layer>& layers = doc.layers();
    if (std::any_of(layers.begin(), layers.end(), [](const Layer& l) { return l.frozen; }))
        return std::nullopt;
    startBuilding();
    if (!builder_) return std::nullopt;  // built at once: its bounds are the extents
    builder_->take(doc, space, -1);
    if (!builder_->standsFor(*space)) return std::nullopt;
    const std::vector<LooseBox>& boxes = builder_->boxes;
    return exactExtents(
        boxes.size(), [&](size_t i) { return boxes[i]; },
        [&](size_t i) { return boundingBox(doc, space->entities[i]); });
}

// A point search before the packing ends: the boxes taken are looked through in draw order,
// and the entities they hold measured from the top down, as a search of the built index does.
bool SpatialIndex::nearWhileBuilding(const Space& space, QPointF p, double aperture,
                                     const TakeNear& take) const {
    if (!builder_ || spaceNamed(*pendingDoc_, pendingSpace_) != &space ||
        !builder_->standsFor(space))
        return false;
    const Builder& b = *builder_;
    BBox reach = BBox::of(p, p).expanded(aperture);
    reach = reach.expanded(roundingRoom(reach));
    const LooseBox q = LooseBox::around(reach);
    std::vector<int> near;
    if (q.valid()) {
        for (size_t i = 0; i < b.boxes.size(); ++i) {
            if (b.boxes[i].meets(q)) near.push_back(int(i));
        }
    }
    for (const int i : near) {
        // Changed behind the index's back: the search waits for the build.
        if (handleKey(space.entities[size_t(i)].handle) != b.keys[size_t(i)]) return false;
    }
    lastCandidates_ = int(near.size());
    NearPieces pieces;
    for (auto it = near.rbegin(); it != near.rend(); ++it) {
        const Entity& e = space.entities[size_t(*it)];
        if (offerNear(*pendingDoc_, e, *it, p, aperture, pieces, take)) return true;
    }
    return true;
}

void SpatialIndex::buildPending() {
    const Document& doc = *pendingDoc_;
    const Space* space = spaceNamed(doc, pendingSpace_);
    if (!space) {
        clear();  // the space is gone: nothing to index
        return;
    }
    build(doc, *space);
}

void SpatialIndex::adopt() {
    d_ = builder_->result.get();
    if (!d_) d_ = std::make_unique<Data>();
    replayChanges();
}

// Takes in the changes told of while the index was built, and lets the build go: each entity
// is taken as the space has it now, or taken out when the space no longer has it. Told of
// while the space was still being taken, entities after a change may have moved past the
// build: those it missed are taken in too.
void SpatialIndex::replayChanges() {
    const std::unique_ptr<Builder> b = std::move(builder_);
    const Document* doc = pendingDoc_;
    pendingDoc_ = nullptr;
    const Space* space = b->changed.empty() ? nullptr : spaceNamed(*doc, pendingSpace_);
    if (!space) return;
    QHash<quint64, int> at;
    for (const QString& h : b->changed) at.insert(handleKey(h), -1);
    for (int i = 0; i < int(space->entities.size()); ++i) {
        const Entity& e = space->entities[size_t(i)];
        const quint64 key = handleKey(e.handle);
        if (const auto it = at.find(key); it != at.end())
            *it = i;
        else if (b->toldWhileTaking && key && !d_->byKey.contains(key))
            insert(*doc, e);
    }
    for (auto it = at.cbegin(); it != at.cend(); ++it) {
        if (it.value() >= 0)
            insert(*doc, space->entities[size_t(it.value())]);
        else
            remove(keyText(it.key()));
    }
}

void SpatialIndex::insert(const Document& doc, const Entity& e) {
    if (builder_) {
        builder_->changed.push_back(e.handle);
        builder_->toldWhileTaking |= !builder_->doneTaking;
        return;
    }
    complete();
    const quint64 key = handleKey(e.handle);
    if (!key) return;
    Data& d = *d_;
    if (d.doc != &doc || d.spaceName.isEmpty()) d.indexing(doc, spaceHolding(doc, e));
    // A changed entity keeps its entry, and with it where it was last seen; that place is
    // checked before it is used.
    const quint32 entry = d.entryFor(key);
    d.seen[entry].pass = -1;
    d.dropValue(entry);
    QuickExtents quick(doc);
    const LooseBox box = compactBox(quick, doc, e);
    if (!box.valid()) return;
    d.entries[entry].box = box;
    ++d.indexed;
    d.added.insert({box, entry});
    if (!d.boundsStale) d.bounds.add(boundingBox(doc, e));
}

bool SpatialIndex::remove(const QString& handle) {
    if (builder_) {
        // Whether the build holds it is not known yet: it is taken out when it is adopted.
        builder_->changed.push_back(handle);
        builder_->toldWhileTaking |= !builder_->doneTaking;
        return true;
    }
    complete();
    Data& d = *d_;
    const quint64 key = handleKey(handle);
    const quint32* found = d.byKey.find(key);
    if (!found || !d.entries[*found].box.valid()) return false;
    const quint32 entry = *found;
    d.byKey.erase(key);
    d.dropValue(entry);
    d.entries[entry] = Data::Entry();
    d.seen[entry] = Data::Seen();
    d.freeEntries.push_back(entry);
    return true;
}

std::vector<QString> SpatialIndex::queryPoint(QPointF p, double aperture) const {
    return queryRect(BBox::of(p, p).expanded(std::max(0.0, aperture)), false);
}

std::vector<QString> SpatialIndex::queryRect(const BBox& box, bool within) const {
    std::vector<QString> out;
    for (quint64 key : keysIn(box, within)) out.push_back(keyText(key));
    return out;
}

std::vector<quint64> SpatialIndex::keysNear(QPointF p, double aperture) const {
    return keysIn(BBox::of(p, p).expanded(std::max(0.0, aperture)), false);
}

std::vector<quint64> SpatialIndex::keysIn(const BBox& box, bool within) const {
    complete();
    Data& d = *d_;
    std::vector<quint64> out;
    const Space* space = within ? d.space() : nullptr;
    auto met = [&](const Value& v) {
        const quint64 key = d.entries[v.entry].key;
        if (!within || d.entries[v.entry].box.inside(box)) {
            out.push_back(key);
            return;
        }
        // A box around more than the entity may stick out where the entity does not: the
        // entity's own extents decide. (Finding it may add entries: none is held across.)
        const Entity* e = space ? resolveEntry(*space, v.entry, nullptr) : nullptr;
        if (e && box.contains(boundingBox(*d.doc, *e))) out.push_back(key);
    };
    if (box.isValid()) d.query(box, met);
    std::sort(out.begin(), out.end());
    lastCandidates_ = int(out.size());
    return out;
}

void SpatialIndex::nearFromTop(const Space& space, QPointF p, double aperture,
                               const TakeNear& take) const {
    aperture = std::max(0.0, aperture);
    if (nearWhileBuilding(space, p, aperture, take)) return;
    complete();
    Data& d = *d_;
    // A piece within the aperture has its nearest point in its box; the room for rounding is
    // the one a pass over the whole space allows.
    BBox reach = BBox::of(p, p).expanded(aperture);
    reach = reach.expanded(roundingRoom(reach));
    struct Near {
        quint32 entry;
        int position;
    };
    // Room for what a search usually meets, so that it allocates nothing but the pieces.
    boost::container::small_vector<Near, 32> near;
    NearPieces pieces;
    // Positions seen in one pass over the space order the entities as the space does now:
    // erasing and restoring entities keep the order of the others. Then only the entities
    // handed out are checked; otherwise every one is found first.
    bool onePass = true;
    auto met = [&](const Value& v) {
        const Data::Seen& seen = d.seen[v.entry];
        const int at = seen.position;
        onePass = onePass && seen.pass == d.pass && at >= 0;
        near.push_back({v.entry, at});
        // The entity will be read: the start of its record (handle and layer) is asked for
        // while the search goes on.
        if (at >= 0 && at < int(space.entities.size())) {
            const char* e = reinterpret_cast<const char*>(&space.entities[size_t(at)]);
            __builtin_prefetch(e);
            __builtin_prefetch(e + 63);
        }
    };
    if (reach.isValid()) d.query(reach, met);
    lastCandidates_ = int(near.size());

    for (;;) {
        if (!onePass) {
            for (Near& n : near) resolveEntry(space, n.entry, &n.position);
        }
        std::sort(near.begin(), near.end(), [](const Near& a, const Near& b) {
            if (a.position != b.position) return a.position > b.position;
            return a.entry < b.entry;
        });
        bool stale = false;
        for (const Near& n : near) {
            if (n.position < 0) break;
            const Entity* e = d.at(space, n.position, n.entry);
            if (!e) {
                // The space changed behind the index's back: find them all again.
                stale = true;
                break;
            }
            // Only the candidates have their pieces made and measured.
            if (offerNear(*d.doc, *e, n.position, p, aperture, pieces, take)) return;
        }
        if (!stale || !onePass) return;
        rescan(space);
        onePass = false;
    }
}

bool SpatialIndex::contains(const QString& handle) const {
    complete();
    const quint32* entry = d_->byKey.find(handleKey(handle));
    return entry && d_->entries[*entry].box.valid();
}

BBox SpatialIndex::box(const QString& handle) const {
    complete();
    const quint32* entry = d_->byKey.find(handleKey(handle));
    return entry ? d_->entries[*entry].box.exact() : BBox();
}

int SpatialIndex::size() const {
    complete();
    return d_->indexed;
}

// The exact extents are those of the entities whose boxes reach furthest, and of any other
// whose box sticks out of theirs: the entities well inside are not read.
BBox SpatialIndex::bounds() const {
    complete();
    Data& d = *d_;
    if (!d.boundsStale) return d.bounds;
    const Space* space = d.space();
    // Finding an entity may add entries (remembered ones, without a box): the ones there are
    // now are those looked at.
    d.bounds = exactExtents(
        d.entries.size(), [&](size_t i) { return d.entries[i].box; },
        [&](size_t i) {
            // An entity the space no longer has (erased behind the index's back) counts as the
            // index holds it.
            const Entity* e = space ? resolveEntry(*space, quint32(i), nullptr) : nullptr;
            return e ? boundingBox(*d.doc, *e) : d.entries[i].box.exact();
        });
    d.boundsStale = false;
    return d.bounds;
}

const Entity* SpatialIndex::resolve(const Space& space, const QString& handle,
                                    int* position) const {
    return resolve(space, handleKey(handle), position);
}

const Entity* SpatialIndex::resolve(const Space& space, quint64 key, int* position) const {
    complete();
    if (position) *position = -1;
    if (!key) return nullptr;
    Data& d = *d_;
    const quint32* entry = d.byKey.find(key);
    if (!entry) {
        // Never seen: an entity without extent added lately, or none of this space.
        const int last = int(space.entities.size()) - 1;
        for (int k = last; k >= 0 && k > last - kRecentlyAdded; --k) {
            const Entity& e = space.entities[size_t(k)];
            if (handleKey(e.handle) == key) {
                d.see(d.entryFor(key), k, -1);
                if (position) *position = k;
                return &e;
            }
        }
        rescan(space);
        entry = d.byKey.find(key);
        if (!entry) return nullptr;
    }
    return resolveEntry(space, *entry, position);
}

const Entity* SpatialIndex::resolveEntry(const Space& space, quint32 entry, int* position) const {
    Data& d = *d_;
    int i = d.seen[entry].position;
    const Entity* e = d.at(space, i, entry);
    if (!e && i < 0) {
        // Not seen yet: most likely appended lately (a command adds a few entities and then
        // goes back to change the first of them), so the end of the list is looked at first.
        const int last = int(space.entities.size()) - 1;
        for (int k = last; k >= 0 && k > last - kRecentlyAdded && !e; --k) {
            e = d.at(space, k, entry);
            if (e) {
                i = k;
                d.seen[entry].position = k;
                d.seen[entry].pass = -1;
            }
        }
    }
    if (!e) {
        rescan(space);
        i = d.seen[entry].position;
        e = d.at(space, i, entry);
    }
    if (position) *position = e ? i : -1;
    return e;
}

void SpatialIndex::rescan(const Space& space) const {
    ++rescans_;
    Data& d = *d_;
    ++d.pass;
    for (Data::Seen& s : d.seen) s = {-1, d.pass};  // not in the space
    for (int k = 0; k < int(space.entities.size()); ++k) {
        const quint64 key = handleKey(space.entities[size_t(k)].handle);
        if (key) d.see(d.entryFor(key), k, d.pass);
    }
}

}  // namespace tolvane::cad
