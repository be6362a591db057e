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

Entity* findIn(std::vector<Entity>& list, quint64 h) {
    for (Entity& e : list) {
        quint64 v = 0;
        if (parseHandle(e.handle, &v) && v == h) return &e;
        for (Entity& a : e.attributes) {
            if (parseHandle(a.handle, &v) && v == h) return &a;
        }
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
    return space.entities.back();
}

Entity& Document::add(Block& block, Entity entity) {
    claim(entity);
    block.entities.push_back(std::move(entity));
    return block.entities.back();
}

Entity* Document::find(const QString& handle) {
    quint64 h = 0;
    if (!parseHandle(handle, &h) || !used_.contains(h)) return nullptr;
    if (Entity* e = findIn(model_.entities, h)) return e;
    for (Space& s : layouts_) {
        if (Entity* e = findIn(s.entities, h)) return e;
    }
    for (Block& b : blocks_) {
        if (Entity* e = findIn(b.entities, h)) return e;
    }
    return nullptr;
}

const Entity* Document::find(const QString& handle) const {
    return const_cast<Document*>(this)->find(handle);
}

bool Document::erase(const QString& handle) {
    quint64 h = 0;
    if (!parseHandle(handle, &h)) return false;
    auto eraseFrom = [&](std::vector<Entity>& list) {
        for (auto it = list.begin(); it != list.end(); ++it) {
            quint64 v = 0;
            if (parseHandle(it->handle, &v) && v == h) {
                release(*it);
                list.erase(it);
                return true;
            }
            for (auto a = it->attributes.begin(); a != it->attributes.end(); ++a) {
                if (parseHandle(a->handle, &v) && v == h) {
                    release(*a);
                    it->attributes.erase(a);
                    return true;
                }
            }
        }
        return false;
    };
    if (eraseFrom(model_.entities)) return true;
    for (Space& s : layouts_) {
        if (eraseFrom(s.entities)) return true;
    }
    for (Block& b : blocks_) {
        if (eraseFrom(b.entities)) return true;
    }
    return false;
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
