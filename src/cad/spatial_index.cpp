#ifndef BOOST_ALLOW_DEPRECATED_HEADERS
#define BOOST_ALLOW_DEPRECATED_HEADERS
#endif
#include "cad/spatial_index.h"

#include <algorithm>
#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>
#include <iterator>

namespace tolvane::cad {

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;

namespace {

using BPoint = bg::model::point<double, 2, bg::cs::cartesian>;
using BBoxT = bg::model::box<BPoint>;
using Value = std::pair<BBoxT, quint64>;

BBoxT toBoost(const BBox& b) {
    return BBoxT(BPoint(b.x0, b.y0), BPoint(b.x1, b.y1));
}

QString keyText(quint64 key) {
    return QString::number(key, 16).toUpper();
}

}  // namespace

struct SpatialIndex::Tree {
    bgi::rtree<Value, bgi::rstar<16>> rtree;
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

SpatialIndex::SpatialIndex() : tree_(std::make_unique<Tree>()) {}
SpatialIndex::~SpatialIndex() = default;
SpatialIndex::SpatialIndex(SpatialIndex&&) noexcept = default;
SpatialIndex& SpatialIndex::operator=(SpatialIndex&&) noexcept = default;

void SpatialIndex::clear() {
    pendingDoc_ = nullptr;
    tree_->rtree.clear();
    boxes_.clear();
    parts_.clear();
    positions_.clear();
}

// The boxes an entity is indexed by: one per piece of its geometry (segment, arc, text box),
// so that a cable crossing the sheet is found only near its own segments, not anywhere in
// the box around it.
std::vector<BBox> SpatialIndex::partsOf(const Document& doc, const Entity& e, BBox* whole) {
    std::vector<BBox> parts;
    *whole = boundingBox(doc, e);
    if (!whole->isValid()) return parts;
    for (const Prim& p : primitives(doc, e)) {
        const BBox b = boundingBox(p);
        if (b.isValid()) parts.push_back(b);
    }
    if (parts.empty()) parts.push_back(*whole);
    return parts;
}

void SpatialIndex::build(const Document& doc, const Space& space) {
    clear();
    std::vector<Value> values;
    values.reserve(space.entities.size());
    for (int i = 0; i < int(space.entities.size()); ++i) {
        const Entity& e = space.entities[size_t(i)];
        const quint64 key = handleKey(e.handle);
        positions_.insert(key, i);
        if (!key) continue;
        BBox whole;
        std::vector<BBox> parts = partsOf(doc, e, &whole);
        if (parts.empty()) continue;
        boxes_.insert(key, whole);
        for (const BBox& b : parts) values.emplace_back(toBoost(b), key);
        parts_.insert(key, std::move(parts));
    }
    // The packing constructor builds a balanced tree in one go.
    tree_->rtree = bgi::rtree<Value, bgi::rstar<16>>(values.begin(), values.end());
}

void SpatialIndex::buildLater(const Document& doc, const Space& space) {
    clear();
    pendingDoc_ = &doc;
    pendingSpace_ = space.name;
}

void SpatialIndex::complete() const {
    // Building is not a change of what the index stands for: a const search may do it.
    if (pendingDoc_) const_cast<SpatialIndex*>(this)->buildPending();
}

void SpatialIndex::buildPending() {
    const Document& doc = *pendingDoc_;
    const Space* space = &doc.modelSpace();
    for (const Space& s : doc.layouts()) {
        if (s.name.compare(pendingSpace_, Qt::CaseInsensitive) == 0) space = &s;
    }
    if (space->name.compare(pendingSpace_, Qt::CaseInsensitive) != 0) {
        clear();  // the space is gone: nothing to index
        return;
    }
    build(doc, *space);
}

void SpatialIndex::insert(const Document& doc, const Entity& e) {
    complete();
    const quint64 key = handleKey(e.handle);
    if (!key) return;
    remove(e.handle);
    BBox whole;
    std::vector<BBox> parts = partsOf(doc, e, &whole);
    if (parts.empty()) return;
    boxes_.insert(key, whole);
    for (const BBox& b : parts) tree_->rtree.insert(Value(toBoost(b), key));
    parts_.insert(key, std::move(parts));
}

bool SpatialIndex::remove(const QString& handle) {
    complete();
    const quint64 key = handleKey(handle);
    auto it = boxes_.find(key);
    if (it == boxes_.end()) return false;
    for (const BBox& b : parts_.value(key)) tree_->rtree.remove(Value(toBoost(b), key));
    parts_.remove(key);
    boxes_.erase(it);
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
    std::vector<Value> hits;
    if (box.isValid()) {
        if (within)
            tree_->rtree.query(bgi::covered_by(toBoost(box)), std::back_inserter(hits));
        else
            tree_->rtree.query(bgi::intersects(toBoost(box)), std::back_inserter(hits));
    }
    // Several pieces of one entity may meet the box; within asks for all of them.
    std::vector<quint64> keys;
    keys.reserve(hits.size());
    for (const Value& v : hits) keys.push_back(v.second);
    std::sort(keys.begin(), keys.end());
    std::vector<quint64> out;
    for (size_t i = 0; i < keys.size();) {
        size_t j = i;
        while (j < keys.size() && keys[j] == keys[i]) ++j;
        if (!within || int(j - i) == int(parts_.value(keys[i]).size())) out.push_back(keys[i]);
        i = j;
    }
    lastCandidates_ = int(out.size());
    return out;
}

bool SpatialIndex::contains(const QString& handle) const {
    complete();
    return boxes_.contains(handleKey(handle));
}

BBox SpatialIndex::box(const QString& handle) const {
    complete();
    return boxes_.value(handleKey(handle));
}

int SpatialIndex::size() const {
    complete();
    return int(boxes_.size());
}

BBox SpatialIndex::bounds() const {
    complete();
    if (tree_->rtree.empty()) return {};
    const BBoxT b = tree_->rtree.bounds();
    return BBox{b.min_corner().get<0>(), b.min_corner().get<1>(), b.max_corner().get<0>(),
                b.max_corner().get<1>()};
}

const Entity* SpatialIndex::resolve(const Space& space, const QString& handle,
                                    int* position) const {
    return resolve(space, handleKey(handle), position);
}

const Entity* SpatialIndex::resolve(const Space& space, quint64 key, int* position) const {
    complete();
    auto at = [&](int i) -> const Entity* {
        if (i < 0 || i >= int(space.entities.size())) return nullptr;
        const Entity& e = space.entities[size_t(i)];
        return handleKey(e.handle) == key ? &e : nullptr;
    };
    int i = positions_.value(key, -1);
    const Entity* e = at(i);
    if (!e && i < 0) {
        // Not seen yet: most likely appended lately (a command adds a few entities and then
        // goes back to change the first of them), so the end of the list is looked at first.
        const int last = int(space.entities.size()) - 1;
        for (int k = last; k >= 0 && k > last - kRecentlyAdded && !e; --k) {
            e = at(k);
            if (e) {
                i = k;
                positions_.insert(key, i);
            }
        }
    }
    if (!e) {
        ++rescans_;
        positions_.clear();
        for (int k = 0; k < int(space.entities.size()); ++k)
            positions_.insert(handleKey(space.entities[size_t(k)].handle), k);
        i = positions_.value(key, -1);
        e = at(i);
    }
    if (position) *position = e ? i : -1;
    return e;
}

}  // namespace tolvane::cad
