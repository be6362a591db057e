#include "cad/editing.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "cad/dxf.h"
#include "cad/geometry.h"

namespace tolvane::cad {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDeg = 180.0 / kPi;

double angleOf(QPointF v) {
    return std::atan2(v.y(), v.x());
}

QPointF mapVector(const QTransform& t, QPointF v) {
    return t.map(v) - t.map(QPointF(0, 0));
}

// Degrees in [0, 360).
double normalDegrees(double a) {
    a = std::fmod(a, 360.0);
    return a < 0 ? a + 360.0 : a;
}

// The direction a transform gives an angle (degrees).
double mappedDegrees(const QTransform& t, double degrees) {
    const double r = degrees / kDeg;
    return normalDegrees(angleOf(mapVector(t, {std::cos(r), std::sin(r)})) * kDeg);
}

// Texts keep reading left to right: under a reflection their baseline would run backwards,
// so they turn half way round and swap left and right alignment to stay on the same spot.
void transformText(Entity& e, const QTransform& t, double scale, bool mirrored) {
    e.start = t.map(e.start);
    e.end = t.map(e.end);
    e.height *= scale;
    e.rotation = mappedDegrees(t, e.rotation);
    if (!mirrored) return;
    e.rotation = normalDegrees(e.rotation + 180.0);
    if (e.hAlign == 0) {
        e.hAlign = 2;
        e.end = e.start;
    } else if (e.hAlign == 2) {
        e.hAlign = 0;
        e.start = e.end;
    }
}

// The transform that places a block's entities for an insert.
QTransform insertTransform(const Block& block, const Entity& insert) {
    QTransform t;
    t.translate(insert.start.x(), insert.start.y());
    t.rotate(insert.rotation);
    t.scale(insert.xScale, insert.yScale);
    t.translate(-block.base.x(), -block.base.y());
    return t;
}

}  // namespace

bool transformEntity(Entity& e, const QTransform& t) {
    const double det = t.determinant();
    if (!std::isfinite(det) || std::abs(det) < 1e-300) return false;
    const double scale = std::sqrt(std::abs(det));
    const bool mirrored = det < 0;
    switch (e.kind) {
        case EntityKind::Line:
            e.start = t.map(e.start);
            e.end = t.map(e.end);
            return true;
        case EntityKind::Polyline:
            for (Vertex& v : e.vertices) {
                v.pos = t.map(v.pos);
                if (mirrored) v.bulge = -v.bulge;
            }
            return true;
        case EntityKind::Circle:
            e.start = t.map(e.start);
            e.radius *= scale;
            return true;
        case EntityKind::Arc: {
            e.start = t.map(e.start);
            e.radius *= scale;
            const double a0 = mappedDegrees(t, e.startAngle);
            const double a1 = mappedDegrees(t, e.endAngle);
            // A reflection turns the counter-clockwise sweep around: the ends change places.
            e.startAngle = mirrored ? a1 : a0;
            e.endAngle = mirrored ? a0 : a1;
            return true;
        }
        case EntityKind::Ellipse:
            e.start = t.map(e.start);
            e.end = mapVector(t, e.end);
            if (mirrored) {  // the minor axis flips, so parameters run the other way
                const double p0 = e.startAngle, p1 = e.endAngle;
                e.startAngle = std::fmod(2 * kPi - p1, 2 * kPi);
                e.endAngle = std::fmod(2 * kPi - p0, 2 * kPi);
                if (e.endAngle <= e.startAngle) e.endAngle += 2 * kPi;
            }
            return true;
        case EntityKind::Point:
            e.start = t.map(e.start);
            return true;
        case EntityKind::Text:
        case EntityKind::AttributeDefinition:
        case EntityKind::Attribute:
            transformText(e, t, scale, mirrored);
            return true;
        case EntityKind::Insert: {
            e.start = t.map(e.start);
            if (mirrored) {
                // t = s R(psi) diag(-1, 1): the mirror goes into the x scale.
                const double psi = angleOf(mapVector(t, {-1, 0})) * kDeg;
                e.rotation = normalDegrees(psi - e.rotation);
                e.xScale = -e.xScale * scale;
            } else {
                e.rotation = mappedDegrees(t, e.rotation);
                e.xScale *= scale;
            }
            e.yScale *= scale;
            for (Entity& a : e.attributes) transformText(a, t, scale, mirrored);
            return true;
        }
        case EntityKind::Dimension: {
            EntityDetail& d = e.detail.edit();
            e.start = t.map(e.start);
            e.end = t.map(e.end);
            for (QPointF& p : d.dimPoints) p = t.map(p);
            e.rotation = mappedDegrees(t, e.rotation);
            if (mirrored && d.dimType == DimensionType::Angular3Point) {
                std::swap(d.dimPoints[0], d.dimPoints[1]);  // the angle runs the other way
            } else if (mirrored && d.dimType == DimensionType::Angular) {
                // The two lines change places: the second (dimPoints[2] to start) comes first.
                const QPointF a = d.dimPoints[0], b = d.dimPoints[1];
                d.dimPoints[0] = d.dimPoints[2];
                d.dimPoints[1] = e.start;
                d.dimPoints[2] = a;
                e.start = b;
            }
            return true;
        }
        case EntityKind::Image:
            e.start = t.map(e.start);
            e.detail.edit().uVector = mapVector(t, e.detail->uVector);
            e.detail.edit().vVector = mapVector(t, e.detail->vVector);
            return true;
        case EntityKind::Face3D:
        case EntityKind::PolyfaceMesh:
            // Seen from above: x and y follow the plane's transform, heights its scale.
            for (Point3& p : e.detail.edit().points3) {
                const QPointF xy = t.map(p.xy());
                p = {xy.x(), xy.y(), p.z * scale};
            }
            return true;
        case EntityKind::Viewport:
            // A viewport stays upright on its sheet: it moves and scales, nothing else.
            if (t.type() > QTransform::TxScale || t.m11() <= 0 ||
                std::abs(t.m11() - t.m22()) > 1e-12)
                return false;
            e.start = t.map(e.start);
            e.detail.edit().width *= scale;
            e.height *= scale;
            return true;
        default:
            return false;
    }
}

QTransform mirrorTransform(QPointF a, QPointF b) {
    const double angle = angleOf(b - a) * kDeg;
    QTransform t;
    t.translate(a.x(), a.y());
    t.rotate(angle);
    t.scale(1, -1);
    t.rotate(-angle);
    t.translate(-a.x(), -a.y());
    return t;
}

Entity makeInsert(const Document& doc, const QString& blockName, QPointF at, double xScale,
                  double yScale, double rotation) {
    Entity insert = Entity::insert(blockName, at, xScale, yScale, rotation);
    const Block* block = doc.block(blockName);
    if (!block) return insert;
    insert.blockName = block->name;
    const QTransform t = insertTransform(*block, insert);
    for (const Entity& def : block->entities) {
        if (def.kind != EntityKind::AttributeDefinition) continue;
        Entity a = def;
        a.kind = EntityKind::Attribute;
        a.handle.clear();
        if (a.detail.isSet()) {
            a.detail.edit().prompt.clear();
            a.detail.dropIfDefault();
        }
        transformEntity(a, t);
        insert.attributes.push_back(std::move(a));
    }
    return insert;
}

std::vector<Entity> explodePolyline(const Entity& p) {
    std::vector<Entity> out;
    if (p.kind != EntityKind::Polyline) return out;
    const int n = int(p.vertices.size());
    const int segments = p.closed ? n : n - 1;
    for (int i = 0; i < segments; ++i) {
        const Vertex& v = p.vertices[i];
        const QPointF to = p.vertices[(i + 1) % n].pos;
        Entity part;
        if (std::abs(v.bulge) < 1e-12 || v.pos == to) {
            part = Entity::line(v.pos, to);
        } else {
            const Prim arc = bulgeArc(v.pos, to, v.bulge);
            // Arcs run counter-clockwise: a clockwise bulge starts at the far end.
            double a0 = arc.a0, a1 = arc.a0 + arc.sweep;
            if (arc.sweep < 0) std::swap(a0, a1);
            part = Entity::arc(arc.c, arc.r, normalDegrees(a0 * kDeg), normalDegrees(a1 * kDeg));
        }
        part.layer = p.layer;
        part.lineType = p.lineType;
        part.color = p.color;
        part.lineWeight = p.lineWeight;
        out.push_back(std::move(part));
    }
    return out;
}

std::vector<Entity> explodeInsert(const Document& doc, const Entity& insert) {
    std::vector<Entity> out;
    const Block* block = doc.block(insert.blockName);
    if (insert.kind != EntityKind::Insert || !block) return out;
    const QTransform t = insertTransform(*block, insert);
    for (Entity e : block->entities) {
        // Definitions show through the insert's own attributes.
        if (e.kind == EntityKind::AttributeDefinition) continue;
        if (!transformEntity(e, t)) continue;
        if (e.layer == QLatin1String("0")) e.layer = insert.layer;
        if (e.color == kColorByBlock) e.color = insert.color;
        if (e.lineType->compare(QLatin1String("BYBLOCK"), Qt::CaseInsensitive) == 0)
            e.lineType = insert.lineType;
        e.handle.clear();
        out.push_back(std::move(e));
    }
    for (const Entity& a : insert.attributes) {
        if (a.attributeFlags & 1) continue;  // invisible
        Entity text = a;
        text.kind = EntityKind::Text;
        text.tag.clear();
        if (text.detail.isSet()) {
            text.detail.edit().prompt.clear();
            text.detail.dropIfDefault();
        }
        text.attributeFlags = 0;
        text.handle.clear();
        out.push_back(std::move(text));
    }
    return out;
}

Entity* SpaceEditor::inSpace(const QString& handle) {
    int position = -1;
    if (index_) {
        const Entity* e = index_->resolve(space_, handle, &position);
        if (e) return const_cast<Entity*>(e);
    }
    const Handle h(handle);
    if (h.isEmpty()) return nullptr;
    for (Entity& e : space_.entities) {
        if (e.handle == h) return &e;
    }
    return nullptr;
}

QString SpaceEditor::add(Entity e) {
    Entity& added = doc_.add(space_, std::move(e));
    if (onAdded_) onAdded_(added);
    const QString handle = added.handle;
    if (undo_) undo_->recordAdded(space_, handle);
    if (index_) index_->insert(doc_, space_.entities.back());
    if (onChange_) onChange_();
    return handle;
}

bool SpaceEditor::erase(const QString& handle) {
    Entity* e = inSpace(handle);
    if (!e) return false;
    const QString h = e->handle;
    if (undo_) undo_->recordErasing(space_, h);
    if (index_) index_->remove(h);
    const bool erased = doc_.erase(h);
    if (onChange_) onChange_();
    return erased;
}

bool SpaceEditor::modify(const QString& handle, const std::function<void(Entity&)>& change) {
    Entity* e = inSpace(handle);
    if (!e) return false;
    if (undo_) undo_->recordModifying(space_, e->handle);
    change(*e);
    if (index_) index_->update(doc_, *e);
    if (onChange_) onChange_();
    return true;
}

QStringList SpaceEditor::reorder(const QStringList& handles, bool toFront) {
    // The entities in draw order, taken out and put back at one end. Undo puts each back at
    // its old place; the additions are recorded where they end up, so redo does too.
    std::vector<Entity> moving;
    for (const Entity& e : space_.entities)
        if (handles.contains(e.handle, Qt::CaseInsensitive)) moving.push_back(e);
    if (moving.empty()) return {};
    if (undo_) undo_->begin();
    for (const Entity& e : moving) {
        if (undo_) undo_->recordErasing(space_, e.handle);
        if (index_) index_->remove(e.handle);
        doc_.erase(e.handle);
    }
    QStringList moved;
    for (Entity& e : moving) moved << doc_.add(space_, std::move(e)).handle;
    if (!toFront)
        std::rotate(space_.entities.begin(), space_.entities.end() - moved.size(),
                    space_.entities.end());
    for (const QString& h : moved) {
        if (undo_) undo_->recordAdded(space_, h);
        if (index_) index_->insert(doc_, *doc_.find(h));
    }
    if (undo_) undo_->end();
    if (onChange_) onChange_();
    return moved;
}

QStringList SpaceEditor::transform(const QStringList& handles, const QTransform& t) {
    QStringList refused;
    if (undo_) undo_->begin();
    for (const QString& h : handles) {
        Entity* e = inSpace(h);
        Entity changed = e ? *e : Entity();
        if (!e || !transformEntity(changed, t)) {
            refused << h;
            continue;
        }
        modify(h, [&](Entity& target) { target = std::move(changed); });
    }
    if (undo_) undo_->end();
    return refused;
}

QStringList SpaceEditor::move(const QStringList& handles, QPointF by) {
    return transform(handles, QTransform::fromTranslate(by.x(), by.y()));
}

QStringList SpaceEditor::rotate(const QStringList& handles, QPointF base, double degrees) {
    QTransform t;
    t.translate(base.x(), base.y());
    t.rotate(degrees);
    t.translate(-base.x(), -base.y());
    return transform(handles, t);
}

QStringList SpaceEditor::scale(const QStringList& handles, QPointF base, double factor) {
    if (!(factor > 0) || !std::isfinite(factor)) return handles;
    QTransform t;
    t.translate(base.x(), base.y());
    t.scale(factor, factor);
    t.translate(-base.x(), -base.y());
    return transform(handles, t);
}

QStringList SpaceEditor::copy(const QStringList& handles, const QTransform& t) {
    QStringList made;
    if (undo_) undo_->begin();
    for (const QString& h : handles) {
        const Entity* e = inSpace(h);
        if (!e) continue;
        Entity c = *e;
        if (!transformEntity(c, t)) continue;
        c.handle.clear();
        for (Entity& a : c.attributes) a.handle.clear();
        made << add(std::move(c));
    }
    if (undo_) undo_->end();
    return made;
}

QStringList SpaceEditor::mirror(const QStringList& handles, QPointF a, QPointF b,
                                bool keepOriginals) {
    if (a == b) return handles;
    const QTransform t = mirrorTransform(a, b);
    if (keepOriginals) return copy(handles, t);
    transform(handles, t);
    return handles;
}

QStringList SpaceEditor::explode(const QStringList& handles) {
    QStringList parts;
    if (undo_) undo_->begin();
    for (const QString& h : handles) {
        const Entity* e = inSpace(h);
        if (!e) continue;
        std::vector<Entity> pieces = e->kind == EntityKind::Insert     ? explodeInsert(doc_, *e)
                                     : e->kind == EntityKind::Polyline ? explodePolyline(*e)
                                                                       : std::vector<Entity>();
        if (pieces.empty()) continue;
        erase(h);
        for (Entity& p : pieces) parts << add(std::move(p));
    }
    if (undo_) undo_->end();
    return parts;
}

Block& addBlockFromFile(Document& doc, const QString& path, const QString& name) {
    const QString blockName = name.isEmpty() ? QFileInfo(path).completeBaseName() : name;
    if (Block* existing = doc.block(blockName)) return *existing;
    const Document source = loadDxf(path);
    for (const Layer& l : source.layers())
        if (!doc.layer(l.name)) doc.addLayer(l);
    for (const TextStyle& s : source.textStyles())
        if (!doc.textStyle(s.name)) doc.addTextStyle(s);
    for (const LineType& t : source.lineTypes())
        if (!doc.lineType(t.name)) doc.addLineType(t);
    for (const Block& nested : source.blocks()) {
        if (doc.block(nested.name)) continue;
        Block& copy = doc.addBlock(nested.name, nested.base);
        for (Entity e : nested.entities) {
            e.handle.clear();
            doc.add(copy, std::move(e));
        }
    }
    Block& block = doc.addBlock(blockName, source.insertionBase());
    for (Entity e : source.modelSpace().entities) {
        e.handle.clear();
        for (Entity& a : e.attributes) a.handle.clear();
        doc.add(block, std::move(e));
    }
    return block;
}

}  // namespace tolvane::cad
