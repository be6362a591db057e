#include "cad/document.h"

#include <algorithm>

namespace tolvane::cad {

namespace {

bool parseHandle(const QString& handle, quint64* value) {
    const QString h = handle.trimmed();
    if (h.isEmpty() || h.size() > 16) return false;
    bool ok = false;
    *value = h.toULongLong(&ok, 16);
    return ok && *value < (quint64(1) << 60);
}

template <typename T>
auto findByName(T& list, const QString& name) -> decltype(&list[0]) {
    for (auto& item : list) {
        if (item.name.compare(name, Qt::CaseInsensitive) == 0) return &item;
    }
    return nullptr;
}

}  // namespace

const XDataItem* XData::item(const QString& name) const {
    for (const XDataItem& i : items) {
        if (i.name.compare(name, Qt::CaseInsensitive) == 0) return &i;
    }
    return nullptr;
}

XDataItem* XData::item(const QString& name) {
    return const_cast<XDataItem*>(std::as_const(*this).item(name));
}

bool XData::setValue(const QString& name, const QString& value) {
    XDataItem* i = item(name);
    if (!i) return false;
    i->value = value;
    return true;
}

const XData* Entity::xdataFor(const QString& app) const {
    for (const XData& x : xdata) {
        if (x.app.compare(app, Qt::CaseInsensitive) == 0) return &x;
    }
    return nullptr;
}

XData* Entity::xdataFor(const QString& app) {
    return const_cast<XData*>(std::as_const(*this).xdataFor(app));
}

const Entity* Entity::attribute(const QString& tag) const {
    for (const Entity& a : attributes) {
        if (a.tag.compare(tag, Qt::CaseInsensitive) == 0) return &a;
    }
    return nullptr;
}

Entity Entity::line(QPointF a, QPointF b) {
    Entity e;
    e.kind = EntityKind::Line;
    e.start = a;
    e.end = b;
    return e;
}

Entity Entity::polyline(const QList<Vertex>& vertices, bool closed) {
    Entity e;
    e.kind = EntityKind::Polyline;
    e.vertices = vertices;
    e.closed = closed;
    return e;
}

Entity Entity::circle(QPointF centre, double radius) {
    Entity e;
    e.kind = EntityKind::Circle;
    e.start = centre;
    e.radius = radius;
    return e;
}

Entity Entity::arc(QPointF centre, double radius, double startDeg, double endDeg) {
    Entity e = circle(centre, radius);
    e.kind = EntityKind::Arc;
    e.startAngle = startDeg;
    e.endAngle = endDeg;
    return e;
}

Entity Entity::ellipse(QPointF centre, QPointF majorAxis, double ratio, double startParam,
                       double endParam) {
    Entity e;
    e.kind = EntityKind::Ellipse;
    e.start = centre;
    e.end = majorAxis;
    e.ratio = ratio;
    e.startAngle = startParam;
    e.endAngle = endParam;
    return e;
}

Entity Entity::point(QPointF at) {
    Entity e;
    e.kind = EntityKind::Point;
    e.start = at;
    return e;
}

Entity Entity::textAt(QPointF at, const QString& text, double height) {
    Entity e;
    e.kind = EntityKind::Text;
    e.start = at;
    e.end = at;
    e.text = text;
    e.height = height;
    return e;
}

Entity Entity::attributeDefinition(QPointF at, const QString& tag, const QString& prompt,
                                   const QString& defaultValue, double height) {
    Entity e = textAt(at, defaultValue, height);
    e.kind = EntityKind::AttributeDefinition;
    e.tag = tag;
    e.prompt = prompt;
    return e;
}

Entity Entity::insert(const QString& block, QPointF at, double xScale, double yScale,
                      double rotation) {
    Entity e;
    e.kind = EntityKind::Insert;
    e.blockName = block;
    e.start = at;
    e.xScale = xScale;
    e.yScale = yScale;
    e.rotation = rotation;
    return e;
}

Entity Entity::attribute(QPointF at, const QString& tag, const QString& value, double height) {
    Entity e = textAt(at, value, height);
    e.kind = EntityKind::Attribute;
    e.tag = tag;
    return e;
}

Document::Document() {
    model_.name = QStringLiteral("Model");
    layers_.append(Layer{QStringLiteral("0")});
    styles_.append(TextStyle{QStringLiteral("Standard")});
    lineTypes_.append(LineType{QStringLiteral("CONTINUOUS"), QStringLiteral("Solid line"), {}});
}

Space& Document::addLayout(const QString& name) {
    for (Space& s : layouts_) {
        if (s.name.compare(name, Qt::CaseInsensitive) == 0) return s;
    }
    layouts_.push_back(Space{name, {}});
    return layouts_.back();
}

Block* Document::block(const QString& name) {
    return findByName(blocks_, name);
}
const Block* Document::block(const QString& name) const {
    return findByName(blocks_, name);
}

Block& Document::addBlock(const QString& name, QPointF base) {
    if (Block* b = block(name)) return *b;
    blocks_.push_back(Block{name, base, {}});
    return blocks_.back();
}

Layer* Document::layer(const QString& name) {
    return findByName(layers_, name);
}
const Layer* Document::layer(const QString& name) const {
    return findByName(layers_, name);
}

Layer& Document::addLayer(const Layer& l) {
    if (Layer* existing = layer(l.name)) {
        *existing = l;
        return *existing;
    }
    layers_.append(l);
    return layers_.last();
}

TextStyle& Document::addTextStyle(const TextStyle& style) {
    if (TextStyle* existing = findByName(styles_, style.name)) {
        *existing = style;
        return *existing;
    }
    styles_.append(style);
    return styles_.last();
}

const TextStyle* Document::textStyle(const QString& name) const {
    return findByName(styles_, name);
}

LineType& Document::addLineType(const LineType& type) {
    if (LineType* existing = findByName(lineTypes_, type.name)) {
        *existing = type;
        return *existing;
    }
    lineTypes_.append(type);
    return lineTypes_.last();
}

const LineType* Document::lineType(const QString& name) const {
    return findByName(lineTypes_, name);
}

void Document::claim(Entity& e) {
    quint64 h = 0;
    if (!parseHandle(e.handle, &h) || h == 0 || used_.contains(h)) {
        while (used_.contains(seed_)) ++seed_;
        h = seed_++;
    }
    used_.insert(h);
    absent_.remove(h);
    seed_ = std::max(seed_, h + 1);
    e.handle = QString::number(h, 16).toUpper();
    for (Entity& a : e.attributes) {
        a.kind = EntityKind::Attribute;
        claim(a);
    }
}

void Document::release(const Entity& e) {
    quint64 h = 0;
    if (parseHandle(e.handle, &h)) used_.remove(h);
    for (const Entity& a : e.attributes) release(a);
}

Entity& Document::add(Space& space, Entity entity) {
    claim(entity);
    space.entities.push_back(std::move(entity));
    const int index = int(space.entities.size()) - 1;
    if (&space == &model_) {
        remember(space.entities, {Location::Model, 0, index, -1});
    } else {
        for (int i = 0; i < int(layouts_.size()); ++i) {
            if (&layouts_[size_t(i)] == &space)
                remember(space.entities, {Location::Layout, i, index, -1});
        }
    }
    return space.entities.back();
}

Entity& Document::add(Block& block, Entity entity) {
    claim(entity);
    block.entities.push_back(std::move(entity));
    const auto owner =
        std::find_if(blocks_.begin(), blocks_.end(), [&](const Block& b) { return &b == &block; });
    if (owner != blocks_.end())
        remember(block.entities, {Location::InBlock, int(owner - blocks_.begin()),
                                  int(block.entities.size()) - 1, -1});
    return block.entities.back();
}

std::vector<Entity>* Document::listOf(const Location& where) {
    switch (where.owner) {
        case Location::Model:
            return &model_.entities;
        case Location::Layout:
            return where.ownerIndex < int(layouts_.size())
                       ? &layouts_[size_t(where.ownerIndex)].entities
                       : nullptr;
        case Location::InBlock:
            return where.ownerIndex < int(blocks_.size())
                       ? &blocks_[size_t(where.ownerIndex)].entities
                       : nullptr;
    }
    return nullptr;
}

Entity* Document::at(const Location& where, quint64 handle) {
    std::vector<Entity>* list = listOf(where);
    if (!list || where.index < 0 || where.index >= int(list->size())) return nullptr;
    Entity* e = &(*list)[size_t(where.index)];
    if (where.attribute >= 0) {
        if (where.attribute >= int(e->attributes.size())) return nullptr;
        e = &e->attributes[size_t(where.attribute)];
    }
    quint64 v = 0;
    return parseHandle(e->handle, &v) && v == handle ? e : nullptr;
}

// Records the places of a list's entity at `where.index` and of its attributes.
void Document::remember(const std::vector<Entity>& list, Location where) {
    const Entity& e = list[size_t(where.index)];
    quint64 v = 0;
    if (parseHandle(e.handle, &v)) places_.insert(v, where);
    for (int k = 0; k < int(e.attributes.size()); ++k) {
        if (parseHandle(e.attributes[size_t(k)].handle, &v)) {
            where.attribute = k;
            places_.insert(v, where);
        }
    }
}

void Document::indexHandles() {
    places_.clear();
    auto scan = [this](const std::vector<Entity>& list, Location::Owner owner, int ownerIndex) {
        for (int i = 0; i < int(list.size()); ++i) remember(list, {owner, ownerIndex, i, -1});
    };
    scan(model_.entities, Location::Model, 0);
    for (int i = 0; i < int(layouts_.size()); ++i)
        scan(layouts_[size_t(i)].entities, Location::Layout, i);
    for (int i = 0; i < int(blocks_.size()); ++i)
        scan(blocks_[size_t(i)].entities, Location::InBlock, i);
}

Entity* Document::find(const QString& handle) {
    quint64 h = 0;
    if (!parseHandle(handle, &h) || !used_.contains(h) || absent_.contains(h)) return nullptr;
    auto it = places_.constFind(h);
    if (it != places_.cend()) {
        if (Entity* e = at(*it, h)) return e;
    }
    indexHandles();
    it = places_.constFind(h);
    if (it == places_.cend()) {
        absent_.insert(h);
        return nullptr;
    }
    return at(*it, h);
}

const Entity* Document::find(const QString& handle) const {
    return const_cast<Document*>(this)->find(handle);
}

bool Document::erase(const QString& handle) {
    quint64 h = 0;
    if (!parseHandle(handle, &h) || !find(handle)) return false;
    const Location where = places_.value(h);  // fresh: find just checked it
    std::vector<Entity>& list = *listOf(where);
    Entity& e = list[size_t(where.index)];
    if (where.attribute >= 0) {
        release(e.attributes[size_t(where.attribute)]);
        e.attributes.erase(e.attributes.begin() + where.attribute);
    } else {
        release(e);
        list.erase(list.begin() + where.index);
    }
    // The entries behind it in the same list move up by one.
    for (auto it = places_.begin(); it != places_.end();) {
        Location& l = it.value();
        const bool sameList = l.owner == where.owner && l.ownerIndex == where.ownerIndex;
        if (sameList && l.index == where.index &&
            (where.attribute < 0 || l.attribute == where.attribute)) {
            it = places_.erase(it);
            continue;
        }
        if (sameList && where.attribute < 0 && l.index > where.index) --l.index;
        if (sameList && where.attribute >= 0 && l.index == where.index &&
            l.attribute > where.attribute)
            --l.attribute;
        ++it;
    }
    return true;
}

void Document::raiseHandleSeed(quint64 seed) {
    seed_ = std::max(seed_, seed);
}

void Document::reserveHandle(const QString& handle) {
    quint64 h = 0;
    if (!parseHandle(handle, &h)) return;
    used_.insert(h);
    seed_ = std::max(seed_, h + 1);
}

QString Document::newHandle() {
    while (used_.contains(seed_)) ++seed_;
    const quint64 h = seed_++;
    used_.insert(h);
    return QString::number(h, 16).toUpper();
}

QString Document::normalHandle(const QString& handle) {
    quint64 h = 0;
    if (!parseHandle(handle, &h)) return {};
    return QString::number(h, 16).toUpper();
}

}  // namespace tolvane::cad
