#ifndef BOOST_ALLOW_DEPRECATED_HEADERS
#define BOOST_ALLOW_DEPRECATED_HEADERS
#endif
#include "cad/spatial_index.h"

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

quint64 handleKey(const QString& handle) {
    const QString h = Document::normalHandle(handle);
    return h.isEmpty() ? 0 : h.toULongLong(nullptr, 16);
}

SpatialIndex::SpatialIndex() : tree_(std::make_unique<Tree>()) {}
SpatialIndex::~SpatialIndex() = default;
SpatialIndex::SpatialIndex(SpatialIndex&&) noexcept = default;
SpatialIndex& SpatialIndex::operator=(SpatialIndex&&) noexcept = default;

void SpatialIndex::clear() {
    tree_->rtree.clear();
    boxes_.clear();
    positions_.clear();
}

void SpatialIndex::build(const Document& doc, const Space& space) {
    clear();
    std::vector<Value> values;
    values.reserve(space.entities.size());
    for (int i = 0; i < int(space.entities.size()); ++i) {
        const Entity& e = space.entities[size_t(i)];
        const quint64 key = handleKey(e.handle);
        positions_.insert(key, i);
        const BBox b = boundingBox(doc, e);
        if (!key || !b.isValid()) continue;
        boxes_.insert(key, b);
        values.emplace_back(toBoost(b), key);
    }
    // The packing constructor builds a balanced tree in one go.
    tree_->rtree = bgi::rtree<Value, bgi::rstar<16>>(values.begin(), values.end());
}

void SpatialIndex::insert(const Document& doc, const Entity& e) {
    const quint64 key = handleKey(e.handle);
    if (!key) return;
    remove(e.handle);
    const BBox b = boundingBox(doc, e);
    if (!b.isValid()) return;
    boxes_.insert(key, b);
    tree_->rtree.insert(Value(toBoost(b), key));
}

bool SpatialIndex::remove(const QString& handle) {
    const quint64 key = handleKey(handle);
    auto it = boxes_.find(key);
    if (it == boxes_.end()) return false;
    tree_->rtree.remove(Value(toBoost(*it), key));
    boxes_.erase(it);
    return true;
}

std::vector<QString> SpatialIndex::queryPoint(QPointF p, double aperture) const {
    BBox b = BBox::of(p, p).expanded(std::max(0.0, aperture));
    return queryRect(b, false);
}

std::vector<QString> SpatialIndex::queryRect(const BBox& box, bool within) const {
    std::vector<Value> hits;
    if (box.isValid()) {
        if (within)
            tree_->rtree.query(bgi::covered_by(toBoost(box)), std::back_inserter(hits));
        else
            tree_->rtree.query(bgi::intersects(toBoost(box)), std::back_inserter(hits));
    }
    lastCandidates_ = int(hits.size());
    std::vector<QString> out;
    out.reserve(hits.size());
    for (const Value& v : hits) out.push_back(keyText(v.second));
    return out;
}

bool SpatialIndex::contains(const QString& handle) const {
    return boxes_.contains(handleKey(handle));
}

BBox SpatialIndex::box(const QString& handle) const {
    return boxes_.value(handleKey(handle));
}

int SpatialIndex::size() const {
    return int(tree_->rtree.size());
}

const Entity* SpatialIndex::resolve(const Space& space, const QString& handle,
                                    int* position) const {
    const quint64 key = handleKey(handle);
    auto at = [&](int i) -> const Entity* {
        if (i < 0 || i >= int(space.entities.size())) return nullptr;
        const Entity& e = space.entities[size_t(i)];
        return handleKey(e.handle) == key ? &e : nullptr;
    };
    int i = positions_.value(key, -1);
    const Entity* e = at(i);
    if (!e && i < 0) {  // not seen yet: most likely just appended
        i = int(space.entities.size()) - 1;
        e = at(i);
        if (e) positions_.insert(key, i);
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
