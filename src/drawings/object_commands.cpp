// The commands on blocks, images, meshes, attributes and viewports.
#include <QFileInfo>
#include <cmath>

#include "cad/dxf.h"
#include "cad/editing.h"
#include "cad/geometry.h"
#include "cad/pictures.h"
#include "cad/render.h"
#include "drawings/command_helpers.h"
#include "drawings/draw_commands.h"
#include "drawings/drawing.h"
#include "drawings/layers.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

using namespace commands;

const QString kDrawingFilter = QStringLiteral("DXF Files (*.dxf *.DXF)");

QStringList one(const QString& handle) {
    return handle.isEmpty() ? QStringList() : QStringList{handle};
}

// A whole number from an input box within [least, most]; nullopt when cancelled or refused.
std::optional<int> count(Ui& ui, const QString& title, const QString& prompt, int least, int most) {
    const std::optional<QString> text = ui.input(title, prompt);
    if (!text) return std::nullopt;
    bool ok = false;
    const int n = text->trimmed().toInt(&ok);
    if (!ok || n < least || n > most) {
        refuse(ui, QStringLiteral("Enter a whole number from %1 to %2.").arg(least).arg(most));
        return std::nullopt;
    }
    return n;
}

QStringList image(Drawing& d, Ui& ui, const CommandContext& c) {
    FileDialogOptions options;
    options.title = QStringLiteral("Open Image File");
    options.filter = QStringLiteral(
        "Bitmap Files (*.BMP *.bmp);;GIF Files (*.GIF *.gif);;TIF Files (*.TIF *.tif *.tiff);;"
        "JPEG Files (*.JPG *.jpg *.jpeg);;PNG Files (*.PNG *.png)");
    options.folder = c.folder;
    const std::optional<QString> path = ui.openFile(options);
    if (!path || path->isEmpty()) return {};
    // Read as every picture is (a regular file within the limits), and kept for drawing it.
    const QString file = QFileInfo(*path).absoluteFilePath();
    cad::Pictures::instance().load({file});
    cad::PictureState state;
    const QSize pixels = cad::Pictures::instance().picture(file, &state).size();
    if (state != cad::PictureState::Ready || pixels.isEmpty()) {
        refuse(ui, QStringLiteral("Load image failed"));
        return {};
    }
    const auto p = points(ui, {"Insertion point:", "Other corner (sets the width):"});
    if (!p) return {};
    const double width = std::abs((*p)[1].x() - (*p)[0].x());
    if (!(width > 1e-9))
        return refuse(ui, QStringLiteral("The image would have no width.")), QStringList();
    const QPointF lowerLeft(std::min((*p)[0].x(), (*p)[1].x()), (*p)[0].y());
    return one(add(d, cad::Entity::image(file, pixels, lowerLeft, width)));
}

// A mesh of M by N vertices picked row by row; faces join each four neighbours.
QStringList mesh(Drawing& d, Ui& ui, const CommandContext&) {
    const QString title = QStringLiteral("Draw 3D Mesh");
    const std::optional<int> m = count(ui, title, QStringLiteral("Mesh M size:"), 2, 64);
    if (!m) return {};
    const std::optional<int> n = count(ui, title, QStringLiteral("Mesh N size:"), 2, 64);
    if (!n) return {};
    QList<cad::Point3> vertices;
    for (int i = 0; i < *m; ++i) {
        for (int j = 0; j < *n; ++j) {
            const PointAnswer a = ui.getPoint(QStringLiteral("Vertex (%1, %2):").arg(i).arg(j));
            if (a.cancelled || a.ended) return {};
            vertices.append({a.point.x(), a.point.y(), 0});
        }
    }
    QList<cad::MeshFace> faces;
    const auto at = [&](int i, int j) { return i * *n + j + 1; };  // 1-based
    for (int i = 0; i + 1 < *m; ++i)
        for (int j = 0; j + 1 < *n; ++j)
            faces.append(cad::MeshFace{{at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j)}});
    return one(add(d, cad::Entity::polyfaceMesh(vertices, faces)));
}

// A polyline raised into walls of a height: a face between each piece of its outline (arcs in
// short pieces) and the same piece above it.
QStringList polylineToMesh(Drawing& d, Ui& ui, const CommandContext& c) {
    const cad::Entity* e =
        pickOf(d, ui, c, QStringLiteral("Select a Polyline"), cad::EntityKind::Polyline);
    if (!e) return {};
    const std::optional<double> height = number(ui, "Polyline to Mesh", "Height:", true);
    if (!height) return {};
    QList<QPointF> outline;
    for (const cad::Prim& p : cad::primitives(d.document(), *e)) {
        if (p.kind == cad::Prim::Segment) {
            if (outline.isEmpty()) outline << p.a;
            outline << p.b;
        } else if (p.kind == cad::Prim::Arc) {
            const int pieces = cad::arcPieces(p.sweep, kPi / 18, 2);
            if (outline.isEmpty()) outline << p.arcStart();
            for (int i = 1; i <= pieces; ++i) outline << p.arcPoint(p.a0 + p.sweep * i / pieces);
        }
    }
    if (outline.size() < 2)
        return refuse(ui, QStringLiteral("The polyline has no length.")), QStringList();
    QList<cad::Point3> vertices;
    for (double z : {0.0, *height})
        for (QPointF pt : outline) vertices.append({pt.x(), pt.y(), z});
    const int k = int(outline.size());
    QList<cad::MeshFace> faces;
    for (int i = 0; i + 1 < k; ++i)
        faces.append(cad::MeshFace{{i + 1, i + 2, k + i + 2, k + i + 1}});
    return one(add(d, cad::Entity::polyfaceMesh(vertices, faces)));
}

QStringList editAttributes(Drawing& d, Ui& ui, const CommandContext& c) {
    const cad::Entity* e = pickOf(d, ui, c, QStringLiteral("Select an insert with attributes"),
                                  cad::EntityKind::Insert);
    if (!e) return {};
    if (e->attributes.empty()) {
        refuse(ui, QStringLiteral("The insert of %1 has no attributes.").arg(e->blockName));
        return {};
    }
    QList<AttributeRow> rows;
    for (const cad::Entity& a : e->attributes)
        rows.append({a.tag.str(), a.text,
                     a.tag->left(9).compare(QLatin1String("Read Only"), Qt::CaseInsensitive) == 0});
    if (!c.windows.editAttributes) {
        refuse(ui, QStringLiteral("Edit Attributes failed!"));
        return {};
    }
    if (!c.windows.editAttributes(rows)) return {};
    const QString handle = e->handle;
    cad::UndoGroup group(d.undo());
    const bool done = d.editor().modify(handle, [&](cad::Entity& insert) {
        for (size_t i = 0; i < insert.attributes.size() && i < size_t(rows.size()); ++i)
            if (!rows[int(i)].readOnly) insert.attributes[i].text = rows[int(i)].value;
    });
    group.commit();
    if (!done) refuse(ui, QStringLiteral("Edit Attributes failed!"));
    return one(handle);
}

// The selection becomes the block, inserted where it stood (base point and all), as one undo
// step; the block's definition stays in the drawing after an undo.
QStringList createBlock(Drawing& d, Ui& ui, const CommandContext& c) {
    const std::optional<QString> name =
        ui.input(QStringLiteral("Create Block"), QStringLiteral("Enter Block Name:"));
    if (!name || name->trimmed().isEmpty()) return {};
    const QString blockName = name->trimmed();
    if (const QString why = dxfNameProblem(blockName, QStringLiteral("block")); !why.isEmpty())
        return refuse(ui, why), QStringList();
    if (d.document().block(blockName))
        return refuse(ui, QStringLiteral("A block named %1 exists already.").arg(blockName)),
               QStringList();
    QStringList handles = selectObjects(d, ui, c.selected);
    if (handles.isEmpty()) return {};
    const auto base = points(ui, {"Base point:"});
    if (!base) return {};
    cad::Document& doc = d.document();
    std::vector<cad::Entity> parts;
    QStringList taken;
    for (const QString& h : handles) {
        const cad::Entity* e = doc.find(h);
        if (!e || e->kind == cad::EntityKind::Viewport || e->kind == cad::EntityKind::Attribute)
            continue;
        cad::Entity part = *e;
        part.handle.clear();
        parts.push_back(std::move(part));
        taken << e->handle;
    }
    if (parts.empty()) return {};
    cad::Block& block = doc.addBlock(blockName, (*base)[0]);
    for (cad::Entity& part : parts) doc.add(block, std::move(part));
    cad::UndoGroup group(d.undo());
    for (const QString& h : taken) d.editor().erase(h);
    cad::Entity insert = cad::makeInsert(doc, blockName, (*base)[0]);
    takeCurrentProperties(d, insert);
    const QString handle = d.editor().add(std::move(insert));
    group.commit();
    Q_EMIT d.blocksChanged();
    return one(handle);
}

// The selection written as a drawing file of its own, with the layers, styles and blocks it
// may use; the base point becomes the file's insertion base.
QStringList writeBlock(Drawing& d, Ui& ui, const CommandContext& c) {
    const QStringList handles = selectObjects(d, ui, c.selected);
    if (handles.isEmpty()) return {};
    const auto base = points(ui, {"Base point:"});
    if (!base) return {};
    FileDialogOptions options;
    options.title = QStringLiteral("Write Block");
    options.filter = kDrawingFilter;
    options.folder = c.folder;
    options.mustExist = false;
    const std::optional<QString> path = ui.saveFile(options);
    if (!path || path->isEmpty()) return {};
    const cad::Document& from = d.document();
    cad::Document out;
    for (const cad::Layer& l : from.layers()) out.addLayer(l);
    for (const cad::TextStyle& s : from.textStyles()) out.addTextStyle(s);
    for (const cad::DimStyle& s : from.dimStyles()) out.addDimStyle(s);
    for (const cad::LineType& t : from.lineTypes()) out.addLineType(t);
    for (const cad::Block& b : from.blocks()) {
        cad::Block& copy = out.addBlock(b.name, b.base);
        if (copy.entities.empty())
            for (const cad::Entity& e : b.entities) out.add(copy, e);
    }
    out.setUnits(from.units());
    out.setInsertionBase((*base)[0]);
    for (const QString& h : handles)
        if (const cad::Entity* e = from.find(h); e && e->kind != cad::EntityKind::Viewport)
            out.addToModel(*e);
    QString target = *path;
    if (QFileInfo(target).suffix().isEmpty()) target += QStringLiteral(".dxf");
    if (!d.untitled() && QFileInfo(target) == QFileInfo(d.path()))
        return refuse(ui, QStringLiteral("A block cannot be written over the drawing it comes "
                                         "from.")),
               QStringList();
    try {
        cad::saveDxf(out, target);
    } catch (const cad::DxfError& e) {
        refuse(ui, QStringLiteral("The block could not be written: ") + e.reason());
    }
    return {};
}

// A viewport on the paper layout shown, looking at the whole of model space.
QStringList viewport(Drawing& d, Ui& ui, const CommandContext&) {
    if (d.showsModel()) {
        ui.message(QStringLiteral("Cannot add Viewport to Model_Space"), MsgButtons::Ok,
                   MsgIcon::Warning, QStringLiteral("Whoa!!"));
        return {};
    }
    const auto p =
        points(ui, {"Select the starting point of the viewport", "Select the other corner"});
    if (!p) return {};
    const QPointF size = (*p)[1] - (*p)[0];
    const double w = std::abs(size.x()), h = std::abs(size.y());
    if (!(w > 1e-9) || !(h > 1e-9))
        return refuse(ui,
                      QStringLiteral("The points are the same: the entity would have no size.")),
               QStringList();
    const cad::Document& doc = d.document();
    const cad::BBox model = cad::spaceExtents(doc, doc.modelSpace());
    QPointF viewCentre(0, 0);
    double viewHeight = h;
    if (model.isValid()) {
        viewCentre = QPointF((model.x0 + model.x1) / 2, (model.y0 + model.y1) / 2);
        // The whole model fits the viewport's shape, with a small margin.
        viewHeight = std::max(model.y1 - model.y0, (model.x1 - model.x0) * h / w) * 1.05;
        if (!(viewHeight > 0)) viewHeight = h;
    }
    cad::Entity e = cad::Entity::viewport(((*p)[0] + (*p)[1]) / 2, w, h, viewCentre, viewHeight);
    int id = 1;
    for (const cad::Entity& other : d.space().entities)
        if (other.kind == cad::EntityKind::Viewport) id = std::max(id, other.detail->viewportId);
    e.detail.edit().viewportId = id + 1;
    return one(add(d, e));
}

// Another drawing file loaded as a block named after it and inserted at a picked point.
QStringList externalReference(Drawing& d, Ui& ui, const CommandContext& c) {
    FileDialogOptions options;
    options.title = QStringLiteral("Open document to externally reference");
    options.filter = kDrawingFilter;
    options.folder = c.folder;
    const std::optional<QString> path = ui.openFile(options);
    if (!path || path->isEmpty()) return {};
    QString name = QFileInfo(*path).completeBaseName();
    for (QChar& ch : name)
        if (!dxfNameProblem(QString(ch), QStringLiteral("block")).isEmpty()) ch = QLatin1Char('_');
    if (d.document().block(name))
        return refuse(ui, QStringLiteral("The drawing has a block named %1 already: %2 cannot be "
                                         "referenced under that name.")
                              .arg(name, QFileInfo(*path).fileName())),
               QStringList();
    try {
        cad::addBlockFromFile(d.document(), *path, name);
    } catch (const cad::DxfError& e) {
        refuse(ui, QStringLiteral("%1 could not be read: %2").arg(*path, e.reason()));
        return {};
    }
    d.setModified(true);
    Q_EMIT d.blocksChanged();
    return one(d.insertBlock(ui, name));
}

}  // namespace

const QList<DrawingCommand>& objectCommands() {
    static const QList<DrawingCommand> commands = {
        {"catDImage", "Draw Image", "DImage", image},
        {"catD3DMesh", "Draw 3D Mesh", "D3DMesh", mesh},
        {"catDPlineToMesh", "Polyline to Mesh", "DPlineToMesh", polylineToMesh},
        {"catDEditAttrib", "Edit Attributes", "DEditAttrib", editAttributes},
        {"catDCreateBlock", "Create Block", "DCreateBlock", createBlock},
        {"catDWBlock", "Write Block", "DWBlock", writeBlock},
        {"catDViewPort", "Draw Viewports", "DViewPort", viewport},
        {"catDXRef", "External Reference", "DXRef", externalReference},
    };
    return commands;
}

}  // namespace tolvane
