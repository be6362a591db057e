#include "drawings/inspection.h"

#include "drawings/properties.h"
#include "ui/ui.h"

namespace tolvane {

QStringList inspectionLines(const cad::Entity* e) {
    if (!e) return {QStringLiteral("ENTITY none")};
    QStringList out;
    out << QStringLiteral("ENTITY %1 %2 layer=%3 color=%4")
               .arg(e->handle, cad::entityTypeName(*e), e->layer, colorValueText(e->color));
    if (e->kind == cad::EntityKind::Insert) out << QStringLiteral("BLOCK ") + e->blockName;
    const auto attribute = [&](const cad::Entity& a) {
        out << QStringLiteral("ATTRIB %1 = %2").arg(a.tag, a.text);
    };
    if (e->kind == cad::EntityKind::Attribute) attribute(*e);
    for (const cad::Entity& a : e->attributes) attribute(a);
    for (const cad::XData& x : e->xdata) {
        for (int i = 0; i < x.count(); ++i) {
            const cad::XDataItem& item = x.items[i];
            out << QStringLiteral("XDATA %1 %2 = %3").arg(i).arg(item.name, item.value);
        }
    }
    for (int i = 0; i < int(e->vertices.size()); ++i)
        out << QStringLiteral("VERTEX %1 %2").arg(i).arg(formatPoint(e->vertices[i].pos));
    // A line's vertices are its two ends.
    if (e->kind == cad::EntityKind::Line)
        out << QStringLiteral("VERTEX 0 %1").arg(formatPoint(e->start))
            << QStringLiteral("VERTEX 1 %1").arg(formatPoint(e->end));
    switch (e->kind) {
        case cad::EntityKind::Text:
        case cad::EntityKind::Attribute:
        case cad::EntityKind::AttributeDefinition:
            out << QStringLiteral("TEXT ") + e->text;
            break;
        default:
            break;
    }
    return out;
}

}  // namespace tolvane
