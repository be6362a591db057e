#include "drawings/layers.h"

#include <QSet>

#include "drawings/drawing.h"

namespace tolvane {

QString layerNameProblem(const QString& name) {
    if (name.trimmed().isEmpty()) return QStringLiteral("A layer needs a name.");
    if (name.size() > 255) return QStringLiteral("A layer name may have at most 255 characters.");
    static const QString forbidden = QStringLiteral("<>/\\\":;?*|=`");
    for (QChar c : name)
        if (forbidden.contains(c) || c.unicode() < 32)
            return QStringLiteral("A layer name may not hold the character %1.").arg(c);
    return {};
}

LayerTable layerTable(const Drawing& drawing) {
    const cad::Document& doc = drawing.document();
    const cad::Layer* current = doc.layer(doc.currentLayer());
    return {doc.layers(), current ? current->name : QStringLiteral("0")};
}

QString applyLayerTable(Drawing& drawing, const LayerTable& table) {
    QSet<QString> seen;
    const cad::Layer* current = nullptr;
    for (const cad::Layer& l : table.layers) {
        if (const QString why = layerNameProblem(l.name); !why.isEmpty())
            return why + QStringLiteral(" (\"%1\")").arg(l.name);
        if (seen.contains(l.name.toUpper()))
            return QStringLiteral("There are two layers named %1.").arg(l.name);
        seen.insert(l.name.toUpper());
        if (l.name.compare(table.current, Qt::CaseInsensitive) == 0) current = &l;
    }
    if (!current)
        return QStringLiteral("The current layer %1 is not in the list.").arg(table.current);
    if (current->frozen)
        return QStringLiteral("The current layer %1 cannot be frozen.").arg(current->name);
    cad::Document& doc = drawing.document();
    // Layers are kept by name: entities on a layer removed from the list keep their layer.
    for (const cad::Layer& l : table.layers) doc.addLayer(l);
    doc.setCurrentLayer(current->name);
    drawing.setModified(true);  // layer changes are not steps of undo
    drawing.changed();
    return {};
}

}  // namespace tolvane
