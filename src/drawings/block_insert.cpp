// The blocks a drawing offers for insertion, and block files loaded into a drawing.
#include "drawings/block_insert.h"

#include <QFileInfo>
#include <algorithm>

#include "cad/editing.h"
#include "drawings/drawing.h"

namespace tolvane {

QStringList insertableBlocks(const cad::Document& doc) {
    QStringList names;
    for (const cad::Block& b : doc.blocks()) {
        if (b.name.isEmpty() || b.name.startsWith(QLatin1Char('*'))) continue;
        names << b.name;
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

QString blockNameOfFile(const QString& path) {
    return QFileInfo(path).completeBaseName().toUpper();
}

QString loadBlockFile(Drawing& drawing, const QString& path) {
    const QString name = blockNameOfFile(path);
    const bool had = drawing.document().block(name) != nullptr;
    const QString loaded = cad::addBlockFromFile(drawing.document(), path, name).name;
    if (!had) {
        // A new block changes no space: the indexes and views stay as they are.
        drawing.setModified(true);
        Q_EMIT drawing.blocksChanged();
    }
    return loaded;
}

}  // namespace tolvane
