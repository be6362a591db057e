#include "drawings/clipboard.h"

#include <QHash>
#include <QSet>
#include <QTransform>

#include "cad/editing.h"
#include "cad/geometry.h"
#include "db/records/cable_number.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"

namespace tolvane {

namespace {

// The blocks an entity needs, nested ones included, by name; each after those it inserts.
// Walked along a list of its own rather than by recursion: a drawing's blocks may nest tens
// of thousands deep.
void blocksOf(const cad::Document& doc, const cad::Entity& e, QSet<QString>& names,
              std::vector<cad::Block>& out) {
    struct Step {
        const cad::Block* block;
        size_t next;  // the entity of the block looked at next
    };
    std::vector<Step> path;
    const auto enter = [&](const cad::Entity& insert) {
        if (insert.kind != cad::EntityKind::Insert || names.contains(insert.blockName->toUpper()))
            return;
        const cad::Block* b = doc.block(insert.blockName);
        if (!b) return;
        names.insert(insert.blockName->toUpper());
        path.push_back({b, 0});
    };
    enter(e);
    while (!path.empty()) {
        Step& top = path.back();
        if (top.next < top.block->entities.size()) {
            enter(top.block->entities[top.next++]);
            continue;
        }
        out.push_back(*top.block);
        path.pop_back();
    }
}

}  // namespace

DrawingClipboard& clipboard() {
    static DrawingClipboard c;
    return c;
}

bool DrawingClipboard::copy(Drawing& drawing, const QStringList& handles) {
    const cad::Document& doc = drawing.document();
    std::vector<cad::Entity> entities;
    std::vector<cad::Block> blocks;
    QList<cad::Layer> layers;
    QSet<QString> blockNames, layerNames;
    cad::BBox extents;
    // In draw order, so that what was on top stays on top.
    const QSet<QString> wanted(handles.begin(), handles.end());
    for (const cad::Entity& e : drawing.space().entities) {
        if (!wanted.contains(e.handle)) continue;
        entities.push_back(e);
        extents.add(cad::boundingBox(doc, e));
        blocksOf(doc, e, blockNames, blocks);
        if (!layerNames.contains(e.layer->toUpper())) {
            layerNames.insert(e.layer->toUpper());
            if (const cad::Layer* l = doc.layer(e.layer)) layers << *l;
        }
    }
    if (entities.empty()) return false;
    entities_ = std::move(entities);
    blocks_ = std::move(blocks);
    layers_ = layers;
    base_ = extents.isValid() ? QPointF(extents.x0, extents.y0) : QPointF();
    return true;
}

QStringList DrawingClipboard::paste(Drawing& drawing, QPointF at) const {
    cad::Document& doc = drawing.document();
    bool newBlock = false;
    for (const cad::Block& b : blocks_)  // nested blocks come before those that use them
        if (!doc.block(b.name)) {
            cad::Block& added = doc.addBlock(b.name, b.base);
            for (const cad::Entity& e : b.entities) doc.add(added, e);
            newBlock = true;
        }
    for (const cad::Layer& l : layers_)
        if (!doc.layer(l.name)) doc.addLayer(l);
    if (newBlock) {
        drawing.setModified(true);
        Q_EMIT drawing.blocksChanged();
    }

    const QPointF by = at - base_;
    const QTransform move = QTransform::fromTranslate(by.x(), by.y());
    cad::UndoGroup group(drawing.undo());
    QHash<QString, QString> renamed;  // copied handle -> pasted handle
    QStringList pasted;
    for (cad::Entity e : entities_) {
        const QString old = e.handle;
        e.handle.clear();
        for (cad::Entity& a : e.attributes) a.handle.clear();
        cad::transformEntity(e, move);
        const QString h = drawing.editor().add(std::move(e));
        renamed.insert(old, h);
        pasted << h;
    }
    // Cables and their number texts name each other by handle: the copies name the copies. A
    // cable row of the schedule belongs to the original polyline, so the copy is unassigned.
    const auto mapped = [&renamed](const QString& list) {
        QStringList out;
        for (const QString& h : list.split(QLatin1Char('|')))
            out << renamed.value(cad::Document::normalHandle(h), QString());
        return out.join(QLatin1Char('|'));
    };
    for (const QString& h : pasted) {
        const cad::Entity* e = doc.find(h);
        const QString kind = e ? tag::kindOf(*e) : QString();
        if (kind == tag::kind::Cable) {
            drawing.editor().modify(h, [&](cad::Entity& c) {
                tag::setRef1(c, {});
                tag::setRef2(c, {});
                tag::setAssoc(c, mapped(tag::assoc(c)));
                c.tooltip =
                    QStringLiteral("Double-click this cable\r\nto assign it to the database");
            });
        } else if (kind == tag::kind::CableNo) {
            drawing.editor().modify(h, [&](cad::Entity& t) {
                t.text = db::CableNumber::placeholder();
                tag::setAssoc(t, mapped(tag::assoc(t)));
            });
        }
    }
    group.commit();
    return pasted;
}

}  // namespace tolvane
