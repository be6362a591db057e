// Writes the standard drawings the program ships into a resources folder: every catalogue
// block as Blocks/NAME.dxf and the default template as templatedrawing/TolvaneDefault.dxf
// and TemplateDrawings/TolvaneDefault.dxf. Run it after changing the standard drawings:
//   build/tools/make_standard_drawings resources
#include <QCoreApplication>
#include <QDir>
#include <cstdio>

#include "cad/dxf.h"
#include "drawings/entity_tag.h"
#include "drawings/standard_drawings.h"

using namespace tolvane;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_standard_drawings RESOURCES_FOLDER\n");
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    try {
        for (const QString& folder : {QStringLiteral("Blocks"), QStringLiteral("templatedrawing"),
                                      QStringLiteral("TemplateDrawings")})
            QDir().mkpath(root.filePath(folder));
        for (const tag::CatalogueEntry& e : tag::blockCatalogue())
            cad::saveDxf(
                standard::blockDrawing(e.name),
                root.filePath(QStringLiteral("Blocks/") + e.name + QStringLiteral(".dxf")));
        const cad::Document tpl = standard::templateDrawing();
        cad::saveDxf(tpl, root.filePath(QStringLiteral("templatedrawing/TolvaneDefault.dxf")));
        cad::saveDxf(tpl, root.filePath(QStringLiteral("TemplateDrawings/TolvaneDefault.dxf")));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
