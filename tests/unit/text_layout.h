// Checks of how a block's texts lie, measured with the engine's own text boxes: whether any
// two shown texts of an insert overlap, and whether a text crosses a line of the drawing.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "cad/document.h"
#include "cad/geometry.h"

namespace tolvane::test {

// Texts may touch within this (drawing units): boxes that share an edge do not overlap.
constexpr double kTouching = 0.01;

struct PlacedText {
    QString name;  // the attribute's tag, or the text itself
    cad::BBox box;
};

// The shown texts of an insert (its block's texts and its visible attributes) and the lines
// and arcs of its block.
inline void piecesOf(const cad::Document& doc, const cad::Entity& insert,
                     std::vector<PlacedText>* texts, std::vector<cad::Prim>* lines) {
    for (const cad::Prim& p : cad::primitives(doc, insert)) {
        if (p.kind == cad::Prim::TextBox) {
            const cad::Entity* a =
                p.attribute >= 0 ? &insert.attributes[size_t(p.attribute)] : nullptr;
            if (a && (a->attributeFlags & 1)) continue;  // invisible
            if (a && a->text.isEmpty()) continue;        // nothing shown
            cad::BBox box;
            for (QPointF q : p.q) box.add(q);
            texts->push_back({a ? a->tag.str() : QStringLiteral("text"), box});
        } else if (p.kind != cad::Prim::Dot) {
            lines->push_back(p);
        }
    }
}

// "A / B" for every two texts that overlap and "A / line" for every text a line crosses.
inline QStringList collisions(const std::vector<PlacedText>& texts,
                              const std::vector<cad::Prim>& lines) {
    QStringList out;
    for (size_t i = 0; i < texts.size(); ++i) {
        const cad::BBox inner = texts[i].box.expanded(-kTouching);
        for (size_t j = i + 1; j < texts.size(); ++j) {
            if (inner.intersects(texts[j].box.expanded(-kTouching)))
                out << texts[i].name + " / " + texts[j].name;
        }
        for (const cad::Prim& line : lines) {
            if (cad::touches(line, inner)) {
                out << texts[i].name + " / line";
                break;
            }
        }
    }
    return out;
}

}  // namespace tolvane::test
