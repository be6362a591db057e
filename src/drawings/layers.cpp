#include "drawings/layers.h"

#include <QSet>
#include <algorithm>

#include "drawings/drawing.h"

namespace tolvane {

QString dxfNameProblem(const QString& name, const QString& kind) {
    if (name.trimmed().isEmpty()) return QStringLiteral("A %1 needs a name.").arg(kind);
    if (name.size() > 255)
        return QStringLiteral("A %1 name may have at most 255 characters.").arg(kind);
    static const QString forbidden = QStringLiteral("<>/\\\":;?*|=`");
    for (QChar c : name)
        if (forbidden.contains(c) || c.unicode() < 32)
            return QStringLiteral("A %1 name may not hold the character %2.").arg(kind, c);
    return {};
}

QString layerNameProblem(const QString& name) {
    return dxfNameProblem(name, QStringLiteral("layer"));
}

namespace {

QString layoutNameProblem(Drawing& d, const QString& name) {
    if (const QString why = dxfNameProblem(name, QStringLiteral("layout")); !why.isEmpty())
        return why;
    if (d.spaceNamed(name)) return QStringLiteral("There is a layout named %1 already.").arg(name);
    return {};
}

cad::Space* layoutNamed(Drawing& d, const QString& name) {
    cad::Space* s = d.spaceNamed(name);
    return s && s != &d.document().modelSpace() ? s : nullptr;
}

}  // namespace

QString addLayout(Drawing& d, const QString& name) {
    if (const QString why = layoutNameProblem(d, name.trimmed()); !why.isEmpty()) return why;
    d.document().addLayout(name.trimmed());
    d.changed();
    return {};
}

QString renameLayout(Drawing& d, const QString& from, const QString& to) {
    cad::Space* s = layoutNamed(d, from);
    if (!s) return QStringLiteral("There is no layout named %1.").arg(from);
    if (to.trimmed().compare(from, Qt::CaseInsensitive) != 0) {
        if (const QString why = layoutNameProblem(d, to.trimmed()); !why.isEmpty()) return why;
    }
    const bool shown = &d.space() == s;
    if (shown) d.setSpace(d.document().modelSpace().name);  // the space shown is kept by name
    d.undo().renameSpace(s->name, to.trimmed());
    s->name = to.trimmed();
    d.changed();
    if (shown) d.setSpace(s->name);
    return {};
}

QString removeLayout(Drawing& d, const QString& name) {
    std::vector<cad::Space>& layouts = d.document().layouts();
    const auto it = std::find_if(layouts.begin(), layouts.end(), [&](const cad::Space& s) {
        return s.name.compare(name, Qt::CaseInsensitive) == 0;
    });
    if (it == layouts.end()) return QStringLiteral("There is no layout named %1.").arg(name);
    for (const cad::Entity& e : it->entities) d.document().reserveHandle(e.handle);
    d.undo().forgetSpace(it->name);
    layouts.erase(it);
    d.changed();
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
