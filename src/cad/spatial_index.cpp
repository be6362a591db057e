#ifndef BOOST_ALLOW_DEPRECATED_HEADERS
#define BOOST_ALLOW_DEPRECATED_HEADERS
#endif
#include "cad/spatial_index.h"

#include <sys/mman.h>

#include <QHash>
#include <algorithm>
#include <array>
#include <atomic>
#include <boost/container/small_vector.hpp>
#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <future>
#include <limits>
#include <mutex>

namespace tolvane::cad {

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;

namespace {

using BPoint = bg::model::point<double, 2, bg::cs::cartesian>;
using BBoxT = bg::model::box<BPoint>;

BBoxT toBoost(const BBox& b) {
    return BBoxT(BPoint(b.x0, b.y0), BPoint(b.x1, b.y1));
}

QString keyText(quint64 key) {
    return QString::number(key, 16).toUpper();
}

// How a piece is kept beside its box. Most pieces are given back exactly by their box: a
// segment runs along one of its diagonals, a dot is its box, an upright text box is its box.
// The rest (arcs, turned text) are kept whole in a list of their own.
enum Shape : quint32 {
    Stored,        // kept whole: the entry (shape >> 3) in the list of kept pieces
    SegmentRise,   // (x0,y0) to (x1,y1)
    SegmentRiseR,  // (x1,y1) to (x0,y0)
    SegmentFall,   // (x0,y1) to (x1,y0)
    SegmentFallR,  // (x1,y0) to (x0,y1)
    DotAt,         // (x0,y0)
    UprightText,   // the box's corners from the bottom left, counter-clockwise
};
constexpr quint32 kShapeBits = 3;
constexpr quint32 kShapeMask = (1u << kShapeBits) - 1;

// One piece in the tree: its box, the entity it belongs to (the index's entry) and the
// piece itself: its shape, and for a shape read from the box the attribute it belongs to
// (plus one, 0 for none) in the remaining bits.
struct Value {
    BBoxT box;
    quint32 entry = 0;
    quint32 shape = 0;
};

struct ValueBox {
    using result_type = const BBoxT&;
    const BBoxT& operator()(const Value& v) const { return v.box; }
};

struct SameValue {
    bool operator()(const Value& a, const Value& b) const {
        return a.entry == b.entry && a.shape == b.shape &&
               a.box.min_corner().get<0>() == b.box.min_corner().get<0>() &&
               a.box.min_corner().get<1>() == b.box.min_corner().get<1>() &&
               a.box.max_corner().get<0>() == b.box.max_corner().get<0>() &&
               a.box.max_corner().get<1>() == b.box.max_corner().get<1>();
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

bool meets(const BBoxT& b, const BBox& q) {
    return !(q.x1 < b.min_corner().get<0>() || q.y1 < b.min_corner().get<1>() ||
             q.x0 > b.max_corner().get<0>() || q.y0 > b.max_corner().get<1>());
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

// A box in single precision, rounded outwards: half the memory of an exact one, for deciding
// which nodes and values to read.
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
    static LooseBox around(const BBoxT& b) {
        return {down(b.min_corner().get<0>()), down(b.min_corner().get<1>()),
                up(b.max_corner().get<0>()), up(b.max_corner().get<1>())};
    }
    void add(const LooseBox& b) {
        x0 = std::min(x0, b.x0), y0 = std::min(y0, b.y0);
        x1 = std::max(x1, b.x1), y1 = std::max(y1, b.y1);
    }
    // Whether it meets another loose box; all four sides compared without a branch, as a
    // search compares many boxes of which few meet.
    bool meets(const LooseBox& q) const {
        return (x0 <= q.x1) & (y0 <= q.y1) & (x1 >= q.x0) & (y1 >= q.y0);
    }
};

// A large list written from start to end once: in pages of 2 MB where the system gives
// them on request, one page fault where there would be five hundred.
void adviseHugePages(void* begin, size_t bytes) {
    constexpr quintptr kHuge = quintptr(2) << 20;
    const quintptr first = (quintptr(begin) + kHuge - 1) & ~(kHuge - 1);
    const quintptr last = (quintptr(begin) + bytes) & ~(kHuge - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
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
// below up to one. The layout gives the children of a node. A search reads the small boxes
// of a leaf's values and reads a value only when its small box meets; it goes down a level at
// a time and asks for all nodes it will read at the next level before it reads any, so that
// their loads from memory overlap: the leaves of a large drawing are not in any cache.
class PackedTree {
  public:
    static constexpr size_t kFanOut = 16;
    static constexpr size_t kLeaf = 16;

    bool empty() const { return values_.empty(); }

    // Takes the values over (and frees them).
    void build(std::vector<Value>&& values) {
        values_.clear();
        small_.clear();
        levels_.clear();
        if (values.empty()) return;
        BBox all;
        for (const Value& v : values) {
            all.add(QPointF(v.box.min_corner().get<0>(), v.box.min_corner().get<1>()));
            all.add(QPointF(v.box.max_corner().get<0>(), v.box.max_corner().get<1>()));
        }
        auto step = [](double v, double from, double span) -> quint32 {
            const double t = span > 0 ? (v - from) / span : 0.0;
            return t > 0 ? quint32(std::min(t, 1.0) * 65535.0) : 0;  // not a number: 0
        };
        // The place on the curve above, the value's place in the list below.
        std::vector<quint64> order(values.size());
        adviseHugePages(order.data(), order.size() * sizeof(quint64));
        for (size_t i = 0; i < values.size(); ++i) {
            const BBoxT& b = values[i].box;
            const double x = b.min_corner().get<0>() / 2 + b.max_corner().get<0>() / 2;
            const double y = b.min_corner().get<1>() / 2 + b.max_corner().get<1>() / 2;
            const quint32 at =
                hilbert(step(x, all.x0, all.x1 - all.x0), step(y, all.y0, all.y1 - all.y0));
            order[i] = quint64(at) << 32 | i;
        }
        sortByPlace(order);
        // The values gathered in that order into a list of their own, each asked for a few
        // places ahead: they are read from all over a list larger than any cache.
        constexpr size_t kAhead = 16;
        values_.clear();
        values_.shrink_to_fit();
        values_.reserve(values.size());
        adviseHugePages(values_.data(), values_.capacity() * sizeof(Value));
        for (size_t i = 0; i < order.size(); ++i) {
            if (i + kAhead < order.size()) prefetchWhole(&values[order[i + kAhead] & 0xFFFFFFFF]);
            values_.push_back(values[order[i] & 0xFFFFFFFF]);
        }
        std::vector<quint64>().swap(order);
        std::vector<Value>().swap(values);
        std::vector<LooseBox> loose;
        loose.reserve(values_.size());
        for (const Value& v : values_) loose.push_back(LooseBox::around(v.box));
        const std::vector<LooseBox>* below = &loose;
        do {
            std::vector<LooseBox> above;
            const size_t group = below == &loose ? kLeaf : kFanOut;
            for (size_t i = 0; i < below->size(); i += group) {
                LooseBox b;
                for (size_t k = i; k < std::min(below->size(), i + group); ++k) b.add((*below)[k]);
                above.push_back(b);
            }
            levels_.push_back(std::move(above));
            below = &levels_.back();
        } while (below->size() > 1);
        small_.resize(values_.size());
        for (size_t i = 0; i < values_.size(); ++i) {
            const Scale s(levels_[0][i / kLeaf]);
            const BBoxT& b = values_[i].box;
            small_[i] = {s.low(b.min_corner().get<0>(), s.x0, s.sx),
                         s.low(b.min_corner().get<1>(), s.y0, s.sy),
                         s.high(b.max_corner().get<0>(), s.x0, s.sx),
                         s.high(b.max_corner().get<1>(), s.y0, s.sy)};
        }
    }

    template <typename F>
    void query(const BBox& q, F&& f) const {
        const LooseBox loose{LooseBox::down(q.x0), LooseBox::down(q.y0), LooseBox::up(q.x1),
                             LooseBox::up(q.y1)};
        if (values_.empty() || !levels_.back()[0].meets(loose)) return;
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
                    if (!children[c].meets(loose)) continue;
                    below.push_back(quint32(c));
                    if (level > 1)
                        prefetch(levels_[level - 2], c * kFanOut, kFanOut);
                    else
                        prefetch(small_, c * kLeaf, kLeaf);
                }
            }
            met.swap(below);
        }
        // The values whose small boxes meet, all asked for before the first is read.
        below.clear();
        for (quint32 leaf : met) {
            const Scale s(levels_[0][leaf]);
            const SmallBox sq{s.low(q.x0, s.x0, s.sx), s.low(q.y0, s.y0, s.sy),
                              s.high(q.x1, s.x0, s.sx), s.high(q.y1, s.y0, s.sy)};
            const size_t end = std::min(values_.size(), (leaf + 1) * kLeaf);
            for (size_t i = leaf * kLeaf; i < end; ++i) {
                const SmallBox& b = small_[i];
                if (!((b.x0 <= sq.x1) & (b.y0 <= sq.y1) & (b.x1 >= sq.x0) & (b.y1 >= sq.y0)))
                    continue;
                below.push_back(quint32(i));
                prefetchWhole(&values_[i]);
            }
        }
        for (quint32 i : below) {
            if (meets(values_[i].box, q)) f(values_[i]);
        }
    }

  private:
    // A box in steps of a 65536th of its leaf's box, rounded outwards: a quarter of the
    // memory of an exact one.
    struct SmallBox {
        quint16 x0, y0, x1, y1;
    };
    // The steps of a leaf's box.
    struct Scale {
        double x0, y0, sx, sy;
        explicit Scale(const LooseBox& b)
            : x0(b.x0), y0(b.y0), sx(per(b.x0, b.x1)), sy(per(b.y0, b.y1)) {
            if (!std::isfinite(x0) || sx == 0) x0 = 0, sx = 0;
            if (!std::isfinite(y0) || sy == 0) y0 = 0, sy = 0;
        }
        static double per(double from, double to) {
            const double s = 65535.0 / (to - from);
            return std::isfinite(s) && s > 0 ? s : 0.0;
        }
        // The step at or below a coordinate, and at or above; a step to spare for rounding.
        static quint16 low(double v, double from, double scale) {
            const double t = std::floor((v - from) * scale) - 1;
            return t > 0 ? quint16(std::min(t, 65535.0)) : 0;
        }
        static quint16 high(double v, double from, double scale) {
            const double t = std::ceil((v - from) * scale) + 1;
            return t < 65535 ? quint16(std::max(t, 0.0)) : 65535;
        }
    };

  public:
    // Asks for an object that may straddle two cache lines.
    template <typename T>
    static void prefetchWhole(const T* object) {
        __builtin_prefetch(object);
        __builtin_prefetch(reinterpret_cast<const char*>(object) + sizeof(T) - 1);
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
    std::vector<SmallBox> small_;                // the values' boxes
    std::vector<std::vector<LooseBox>> levels_;  // from the leaves' boxes up to the root's
};

bool same(QPointF a, QPointF b) {
    return a.x() == b.x() && a.y() == b.y();  // exactly: QPointF's == is fuzzy
}

// The piece a box and a shape other than Stored stand for.
void readBack(const BBoxT& b, quint32 shape, Prim* p) {
    const double x0 = b.min_corner().get<0>(), y0 = b.min_corner().get<1>();
    const double x1 = b.max_corner().get<0>(), y1 = b.max_corner().get<1>();
    p->attribute = int(shape >> kShapeBits) - 1;
    switch (Shape(shape & kShapeMask)) {
        case SegmentRise:
            p->kind = Prim::Segment, p->a = {x0, y0}, p->b = {x1, y1};
            break;
        case SegmentRiseR:
            p->kind = Prim::Segment, p->a = {x1, y1}, p->b = {x0, y0};
            break;
        case SegmentFall:
            p->kind = Prim::Segment, p->a = {x0, y1}, p->b = {x1, y0};
            break;
        case SegmentFallR:
            p->kind = Prim::Segment, p->a = {x1, y0}, p->b = {x0, y1};
            break;
        case DotAt:
            p->kind = Prim::Dot, p->a = p->b = {x0, y0};
            break;
        case UprightText:
            p->kind = Prim::TextBox;
            p->q = {QPointF(x0, y0), QPointF(x1, y0), QPointF(x1, y1), QPointF(x0, y1)};
            p->a = p->q[0];
            break;
        case Stored:
            break;
    }
}

// The shape that gives the piece back from its box exactly; Stored when none does.
quint32 shapeOf(const Prim& p, const BBoxT& box) {
    const quint32 attribute = quint32(p.attribute + 1);
    if (p.attribute < -1 || attribute >= (1u << (32 - kShapeBits))) return Stored;
    quint32 first = SegmentRise, last = SegmentFallR;
    if (p.kind == Prim::Dot) first = last = DotAt;
    if (p.kind == Prim::TextBox) first = last = UprightText;
    if (p.kind == Prim::Arc) return Stored;
    Prim back;
    for (quint32 s = first; s <= last; ++s) {
        const quint32 shape = s | attribute << kShapeBits;
        readBack(box, shape, &back);
        const bool equal = p.kind == Prim::TextBox
                               ? std::equal(p.q.begin(), p.q.end(), back.q.begin(), same)
                               : same(p.a, back.a) && same(p.b, back.b);
        if (equal) return shape;
    }
    return Stored;
}

// A piece no box gives back, kept whole in little room.
struct Kept {
    Prim::Kind kind = Prim::Segment;
    int attribute = -1;
    std::array<double, 8> v{};
};

Kept keep(const Prim& p) {
    Kept k{p.kind, p.attribute, {}};
    switch (p.kind) {
        case Prim::Segment:
            k.v = {p.a.x(), p.a.y(), p.b.x(), p.b.y()};
            break;
        case Prim::Arc:
            k.v = {p.c.x(), p.c.y(), p.r, p.a0, p.sweep};
            break;
        case Prim::TextBox:
            for (int i = 0; i < 4; ++i) k.v[2 * i] = p.q[i].x(), k.v[2 * i + 1] = p.q[i].y();
            break;
        case Prim::Dot:
            k.v = {p.a.x(), p.a.y()};
            break;
    }
    return k;
}

void giveBack(const Kept& k, Prim* p) {
    p->kind = k.kind;
    p->attribute = k.attribute;
    const auto& v = k.v;
    switch (k.kind) {
        case Prim::Segment:
            p->a = {v[0], v[1]}, p->b = {v[2], v[3]};
            break;
        case Prim::Arc:
            p->c = {v[0], v[1]}, p->r = v[2], p->a0 = v[3], p->sweep = v[4];
            break;
        case Prim::TextBox:
            for (int i = 0; i < 4; ++i) p->q[i] = {v[2 * i], v[2 * i + 1]};
            p->a = p->q[0];
            break;
        case Prim::Dot:
            p->a = p->b = {v[0], v[1]};
            break;
    }
}

// Long pieces are indexed in parts of a few times the usual piece's size: a box around a
// whole cable run would be met by every search near anything it passes. The parts are made
// longer where there would be more than kMostParts in all for each piece, and no piece is
// cut in more than kMaxParts.
constexpr double kPartsOfUsual = 4;
constexpr double kMostParts = 2.5;
constexpr int kMaxParts = 64;
// Entities whose pieces tell the usual size, spread over the space.
constexpr int kSizeSample = 4096;
// Entities whose pieces tell how many values a build will have.
constexpr size_t kCountSample = 2048;

}  // namespace

struct SpatialIndex::Data {
    // An indexed entity, or one of the space only remembered by its draw position (whole
    // is invalid then).
    struct Entry {
        quint64 key = 0;  // 0: a free entry
        BBox whole;
    };
    // Where an entry's entity was last seen in the space, apart from the entries so that a
    // search orders its candidates from a small array: its position (-1 not seen) and the
    // pass over the space that saw it (-1: seen alone, or changed since). The entity found
    // there again is known by its handle's number.
    struct Seen {
        int position = -1;
        int pass = -1;
    };

    // The values of the last build, and those added since; an entry changed or removed since
    // the build has its built values killed.
    PackedTree built;
    std::vector<char> killed;  // by entry, for the entries there were at the build
    RTree added;
    std::vector<Entry> entries;
    std::vector<Seen> seen;  // by entry
    int pass = 0;            // passes over the space made (builds and rescans)
    std::vector<quint32> freeEntries;
    QHash<quint64, quint32> byKey;
    std::vector<Kept> kept;
    std::vector<quint32> freeKept;
    int indexed = 0;  // entries with a valid whole box
    BBox bounds;      // theirs
    bool boundsStale = false;
    double partLength = std::numeric_limits<double>::infinity();
    double valuesPerEntity = 3;  // as learnPartLength counted them

    quint32 entryFor(quint64 key) {
        if (const auto it = byKey.constFind(key); it != byKey.cend()) return *it;
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
        byKey.insert(key, i);
        return i;
    }

    quint32 keepPiece(const Prim& p) {
        if (freeKept.empty()) {
            kept.push_back(keep(p));
            return quint32(kept.size() - 1);
        }
        const quint32 at = freeKept.back();
        freeKept.pop_back();
        kept[at] = keep(p);
        return at;
    }

    // The part length from the median size of the pieces of some of the space's entities.
    void learnPartLength(const Document& doc, const Space& space) {
        std::vector<double> sizes;
        const size_t step = std::max<size_t>(1, space.entities.size() / kSizeSample);
        for (size_t i = 0; i < space.entities.size(); i += step) {
            for (const Prim& p : primitives(doc, space.entities[i])) {
                const BBox b = boundingBox(p);
                const double size = std::max(b.x1 - b.x0, b.y1 - b.y0);
                if (b.isValid() && size > 0 && std::isfinite(size)) sizes.push_back(size);
            }
        }
        partLength = std::numeric_limits<double>::infinity();
        valuesPerEntity = 0;
        if (sizes.empty()) return;
        auto middle = sizes.begin() + std::ptrdiff_t(sizes.size() / 2);
        std::nth_element(sizes.begin(), middle, sizes.end());
        for (partLength = *middle * kPartsOfUsual; std::isfinite(partLength); partLength *= 2) {
            double parts = 0;
            for (double size : sizes)
                parts += std::min(double(kMaxParts), std::ceil(size / partLength));
            if (parts <= kMostParts * double(sizes.size())) break;
        }
        countValues(doc, space);
    }

    // How many values an entity gives on average, from entities spread over the space: one
    // of each stretch, not always the first, as a drawing made in a pattern (an insert, its
    // cable, its texts...) would be seen as one kind.
    void countValues(const Document& doc, const Space& space) {
        const size_t n = space.entities.size();
        const size_t step = std::max<size_t>(1, n / kCountSample);
        double values = 0;
        size_t sampled = 0;
        for (size_t k = 0; k * step < n; ++k, ++sampled) {
            const size_t i = std::min(n - 1, k * step + (k * 7919) % step);
            for (const Prim& p : primitives(doc, space.entities[i])) {
                const BBox b = boundingBox(p);
                if (!b.isValid()) continue;
                const double size = std::max(b.x1 - b.x0, b.y1 - b.y0);
                const bool cut =
                    size > partLength && (p.kind == Prim::Segment || p.kind == Prim::Arc);
                values += cut ? std::min(double(kMaxParts), std::ceil(size / partLength)) : 1;
            }
        }
        valuesPerEntity = sampled ? values / double(sampled) : 0;
    }

    // Room for the values of a space's entities as the sample counted them, and a little
    // more, so that the list is not moved as it grows: a large one is most of a build's
    // memory.
    void reserveValues(std::vector<Value>* values, size_t entities) const {
        const double guess = (valuesPerEntity * 1.1 + 0.05) * double(entities) + 64;
        values->reserve(size_t(std::min(guess, 64.0 * double(entities) + 64)));
        adviseHugePages(values->data(), values->capacity() * sizeof(Value));
    }

    // The values of an entity's pieces, none for an entity without extent, and its whole
    // box.
    void valuesOf(const Document& doc, const Entity& e, quint32 entry, std::vector<Value>* out) {
        BBox whole;
        for (const Prim& p : primitives(doc, e)) {
            const BBox b = boundingBox(p);
            if (!b.isValid()) continue;
            whole.add(b);
            const double size = std::max(b.x1 - b.x0, b.y1 - b.y0);
            const bool cut = size > partLength && (p.kind == Prim::Segment || p.kind == Prim::Arc);
            const BBoxT box = toBoost(b);
            quint32 shape = cut ? quint32(Stored) : shapeOf(p, box);
            if (shape == Stored) shape = keepPiece(p) << kShapeBits;
            if (!cut) {
                out->push_back({box, entry, shape});
                continue;
            }
            // The parts carry the whole piece: a search measures it as it is. Their boxes
            // are widened by what rounding may take off the points between them, except
            // along an axis, where the points between stay on the piece.
            const int n = int(std::min(double(kMaxParts), std::ceil(size / partLength)));
            const double far =
                std::max({std::abs(b.x0), std::abs(b.y0), std::abs(b.x1), std::abs(b.y1)});
            if (p.kind == Prim::Segment) {
                const QPointF d = p.b - p.a;
                const double margin = d.x() == 0 || d.y() == 0 ? 0.0 : 1e-12 * (1 + far);
                QPointF from = p.a;
                for (int k = 1; k <= n; ++k) {
                    const QPointF to = k == n ? p.b : p.a + d * (double(k) / n);
                    out->push_back({toBoost(BBox::of(from, to).expanded(margin)), entry, shape});
                    from = to;
                }
            } else {
                // Arcs are found up to a small angle past their ends (Prim::onArc).
                const double margin = 1e-12 * (1 + far) + 1e-8 * std::abs(p.r);
                for (int k = 0; k < n; ++k) {
                    const Prim part = Prim::arc(p.c, p.r, p.a0 + p.sweep * k / n, p.sweep / n);
                    out->push_back({toBoost(boundingBox(part).expanded(margin)), entry, shape});
                }
            }
        }
        entries[entry].whole = whole;
        if (whole.isValid()) ++indexed;
        bounds.add(whole);
    }

    bool inBuilt(quint32 entry) const { return entry < killed.size() && !killed[entry]; }

    // Takes in entities of a space from draw position `first` on; their values go to
    // `values` until finish() packs them.
    void take(const Document& doc, std::span<const Entity> list, int first,
              std::vector<Value>* values) {
        for (int i = 0; i < int(list.size()); ++i) {
            const Entity& e = list[size_t(i)];
            const quint64 key = handleKey(e.handle);
            if (!key || byKey.contains(key)) continue;
            const quint32 entry = entryFor(key);
            see(entry, first + i, pass);
            valuesOf(doc, e, entry, values);
        }
    }

    void finish(std::vector<Value>& values) {
        built.build(std::move(values));
        killed.assign(entries.size(), 0);
    }

    void reserve(size_t count) {
        entries.reserve(count);
        seen.reserve(count);
        byKey.reserve(qsizetype(count));
    }

    // The values whose boxes meet the box, the living ones of the build and those added.
    template <typename F>
    void query(const BBox& q, F&& f) const {
        built.query(q, [&](const Value& v) {
            if (!killed[v.entry]) f(v);
        });
        if (!added.empty()) added.query(bgi::intersects(toBoost(q)), calling(f));
    }

    // Takes an entity's values out: they are found by its whole box.
    void dropValues(quint32 entry) {
        Entry& en = entries[entry];
        if (!en.whole.isValid()) return;
        std::vector<Value> found;
        auto mine = [&](const Value& v) {
            if (v.entry == entry) found.push_back(v);
        };
        if (inBuilt(entry)) {
            built.query(en.whole, mine);
            killed[entry] = 1;
        } else {
            added.query(bgi::intersects(toBoost(en.whole)), calling(mine));
            for (const Value& v : found) added.remove(v);
        }
        std::vector<quint32> freed;
        for (const Value& v : found) {
            if ((v.shape & kShapeMask) == Stored) freed.push_back(v.shape >> kShapeBits);
        }
        // The parts of a piece share it.
        std::sort(freed.begin(), freed.end());
        freed.erase(std::unique(freed.begin(), freed.end()), freed.end());
        freeKept.insert(freeKept.end(), freed.begin(), freed.end());
        en.whole = {};
        --indexed;
        boundsStale = true;
    }

    const Prim& piece(const Value& v, Prim* scratch) const {
        if ((v.shape & kShapeMask) == Stored)
            giveBack(kept[v.shape >> kShapeBits], scratch);
        else
            readBack(v.box, v.shape, scratch);
        return *scratch;
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

// The space of a document by name (the model space's too); null when there is none.
const Space* spaceNamed(const Document& doc, const QString& name) {
    if (doc.modelSpace().name.compare(name, Qt::CaseInsensitive) == 0) return &doc.modelSpace();
    for (const Space& s : doc.layouts()) {
        if (s.name.compare(name, Qt::CaseInsensitive) == 0) return &s;
    }
    return nullptr;
}

// How long one call takes entities into a build before it lets the caller's thread go on
// (ms).
constexpr int kTakeTurn = 15;
// Entities taken between two looks at the clock.
constexpr size_t kTakeStep = 256;
// A space of fewer entities is indexed at once rather than in turns: it takes a few
// milliseconds.
constexpr size_t kBuildHere = 4096;

}  // namespace

// A build in turns. The pieces of the space's entities are made on the caller's thread, a
// slice at a time between its other work, straight from the space: nothing is copied, and
// the entities are read where only that thread writes them. Once all are taken, another
// thread packs the tree from the pieces alone.
struct SpatialIndex::Builder {
    // How far the build has gone through the space, and the handles the index was told of
    // meanwhile, in order.
    size_t taken = 0;
    bool doneTaking = false;
    bool toldWhileTaking = false;
    std::vector<QString> changed;

    std::unique_ptr<Data> made;
    std::vector<Value> values;
    std::future<std::unique_ptr<Data>> result;  // the packing, once every entity is taken

    ~Builder() {
        if (result.valid()) result.wait();
    }

    // Takes the next entities of the space, for `turn` ms at most (all of them when
    // negative); whether all are taken. A space gone, or shorter now than what was taken
    // (entities erased meanwhile, which the index is told of), ends it.
    bool take(const Document& doc, const Space* space, int turn) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(turn);
        while (!doneTaking) {
            const size_t size = space ? space->entities.size() : 0;
            if (taken < size) {
                const size_t end = std::min(size, taken + kTakeStep);
                made->take(doc,
                           std::span<const Entity>(space->entities).subspan(taken, end - taken),
                           int(taken), &values);
                taken = end;
            }
            doneTaking = taken >= size;
            if (doneTaking) {
                result = std::async(std::launch::async,
                                    [d = std::move(made), v = std::move(values)]() mutable {
                                        d->finish(v);
                                        return std::move(d);
                                    });
            }
            if (turn >= 0 && std::chrono::steady_clock::now() >= until) break;
        }
        return doneTaking;
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
    d.learnPartLength(doc, space);
    d.reserve(space.entities.size());
    std::vector<Value> values;
    d.reserveValues(&values, space.entities.size());
    d.take(doc, space.entities, 0, &values);
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
    b->made->learnPartLength(*pendingDoc_, *space);
    b->made->reserve(space->entities.size());
    b->made->reserveValues(&b->values, space->entities.size());
    b->take(*pendingDoc_, space, kTakeTurn);
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
    // A changed entity keeps its entry, and with it where it was last seen; that place is
    // checked before it is used.
    const quint32 entry = d.entryFor(key);
    d.seen[entry].pass = -1;
    d.dropValues(entry);
    std::vector<Value> values;
    d.valuesOf(doc, e, entry, &values);
    for (const Value& v : values) d.added.insert(v);
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
    const auto it = d.byKey.constFind(handleKey(handle));
    if (it == d.byKey.cend() || !d.entries[*it].whole.isValid()) return false;
    const quint32 entry = *it;
    d.byKey.erase(it);
    d.dropValues(entry);
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
    const Data& d = *d_;
    std::vector<quint32> hits;
    auto met = [&](const Value& v) { hits.push_back(v.entry); };
    if (box.isValid()) d.query(box, met);
    // Several pieces of one entity may meet the box. Within asks for all of them inside,
    // which is its whole box inside.
    std::sort(hits.begin(), hits.end());
    hits.erase(std::unique(hits.begin(), hits.end()), hits.end());
    std::vector<quint64> out;
    out.reserve(hits.size());
    for (quint32 entry : hits) {
        const Data::Entry& en = d.entries[entry];
        if (!within || box.contains(en.whole)) out.push_back(en.key);
    }
    std::sort(out.begin(), out.end());
    lastCandidates_ = int(out.size());
    return out;
}

void SpatialIndex::nearFromTop(const Space& space, QPointF p, double aperture,
                               const TakeNear& take) const {
    complete();
    Data& d = *d_;
    aperture = std::max(0.0, aperture);
    const BBox box = BBox::of(p, p).expanded(aperture);
    struct Near {
        quint32 entry;
        int position;
        NearPiece piece;
    };
    // Room for what a search usually meets, so that it allocates nothing.
    boost::container::small_vector<Near, 32> near;
    boost::container::small_vector<quint32, 64> met;
    boost::container::small_vector<NearPiece, 16> pieces;
    // Positions seen in one pass over the space order the entities as the space does now:
    // erasing and restoring entities keep the order of the others. Then only the entities
    // handed out are checked; otherwise every one is found first.
    bool onePass = true;
    auto measure = [&](const Value& v) {
        met.push_back(v.entry);
        Prim scratch;
        const Prim& piece = d.piece(v, &scratch);
        const double dist = distance(piece, p);
        if (dist > aperture) return;
        const Data::Seen& seen = d.seen[v.entry];
        const int at = seen.position;
        onePass = onePass && seen.pass == d.pass;
        if (at < 0) onePass = false;  // not in the space at the last pass: looked for again
        near.push_back({v.entry, at, {piece.attribute, dist}});
        // The entity will be read: the start of its record (handle and layer) is asked for
        // while the search goes on.
        if (at >= 0 && at < int(space.entities.size())) {
            const char* e = reinterpret_cast<const char*>(&space.entities[size_t(at)]);
            __builtin_prefetch(e);
            __builtin_prefetch(e + 63);
        }
    };
    if (box.isValid()) d.query(box, measure);
    std::sort(met.begin(), met.end());
    lastCandidates_ = int(std::unique(met.begin(), met.end()) - met.begin());

    for (;;) {
        if (!onePass) {
            for (size_t k = 0; k < near.size(); ++k) {
                if (k > 0 && near[k].entry == near[k - 1].entry)
                    near[k].position = near[k - 1].position;
                else
                    resolveEntry(space, near[k].entry, &near[k].position);
            }
        }
        std::sort(near.begin(), near.end(), [](const Near& a, const Near& b) {
            if (a.position != b.position) return a.position > b.position;
            if (a.entry != b.entry) return a.entry < b.entry;
            return a.piece.attribute < b.piece.attribute;
        });
        bool stale = false;
        for (size_t i = 0; i < near.size() && near[i].position >= 0 && !stale;) {
            size_t j = i;
            pieces.clear();
            for (; j < near.size() && near[j].entry == near[i].entry; ++j)
                pieces.push_back(near[j].piece);
            const Entity* e = d.at(space, near[i].position, near[i].entry);
            if (!e) {
                // The space changed behind the index's back: find them all again.
                stale = true;
                break;
            }
            if (take(*e, near[i].position, {pieces.data(), pieces.size()})) return;
            i = j;
        }
        if (!stale || !onePass) return;
        rescan(space);
        onePass = false;
    }
}

bool SpatialIndex::contains(const QString& handle) const {
    complete();
    const auto it = d_->byKey.constFind(handleKey(handle));
    return it != d_->byKey.cend() && d_->entries[*it].whole.isValid();
}

BBox SpatialIndex::box(const QString& handle) const {
    complete();
    const auto it = d_->byKey.constFind(handleKey(handle));
    return it == d_->byKey.cend() ? BBox() : d_->entries[*it].whole;
}

int SpatialIndex::size() const {
    complete();
    return d_->indexed;
}

BBox SpatialIndex::bounds() const {
    complete();
    Data& d = *d_;
    if (d.boundsStale) {
        d.bounds = {};
        for (const Data::Entry& en : d.entries) d.bounds.add(en.whole);
        d.boundsStale = false;
    }
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
    auto it = d.byKey.constFind(key);
    if (it == d.byKey.cend()) {
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
        it = d.byKey.constFind(key);
        if (it == d.byKey.cend()) return nullptr;
    }
    return resolveEntry(space, *it, position);
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
