// Reading a project's drawings for the check and the trace: tags and attributes only.
#include "wiring/project_scan.h"

#include <QFileInfo>

#include "cad/dxf.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "projects/drawing_registry.h"
#include "shell/app_folder.h"

namespace tolvane::wiring {

namespace {

QString attributeText(const cad::Entity& insert, const char* tagName) {
    const cad::Entity* a = insert.attribute(QLatin1String(tagName));
    return a ? a->text : QString();
}

// The attribute that names a block of each kind.
QString nameOf(const cad::Entity& insert, const QString& kind) {
    if (kind == tag::kind::Jack) return attributeText(insert, "JF");
    if (kind == tag::kind::JBox) return attributeText(insert, "JB");
    if (kind == tag::kind::Router) return attributeText(insert, "RTR");
    if (kind == tag::kind::Pointer) return {};
    return attributeText(insert, "SysName");
}

bool isPointerS(const QString& blockName) {
    return blockName.compare(QLatin1String("POINTER_S"), Qt::CaseInsensitive) == 0;
}

// Points compared exactly, as a cable belongs to a pointer only when its vertex is the
// pointer's insertion point.
quint64 pointKey(QPointF p) {
    return qHash(p.x()) * 1000003u ^ qHash(p.y());
}

void scanSpace(const cad::Document& doc, const std::vector<cad::Entity>& entities,
               ScannedDrawing& out, QMultiHash<quint64, QPointF>& pointerStarts) {
    for (const cad::Entity& e : entities) {
        if (e.xdata.isEmpty()) continue;
        const QString kind = tag::kindOf(e);
        if (kind.isEmpty()) continue;
        if (kind == tag::kind::Cable) {
            if (e.kind != cad::EntityKind::Polyline || e.vertices.isEmpty()) continue;
            ScannedCable c;
            c.handle = e.handle;
            c.ref1 = tag::ref1(e).trimmed();
            c.ref2 = tag::ref2(e).trimmed();
            c.first = e.vertices.first().pos;
            c.last = e.vertices.last().pos;
            const QString assoc = tag::assoc(e);
            if (!assoc.isEmpty()) {
                for (const QString& h : assoc.split(QLatin1Char('|'))) {
                    if (h.trimmed().isEmpty()) continue;
                    c.textHandles << h.trimmed();
                    const cad::Entity* text = doc.find(h.trimmed());
                    c.texts << (text && text->kind == cad::EntityKind::Text ? text->text
                                                                            : QString());
                }
            }
            out.cables.push_back(std::move(c));
        } else if (e.kind == cad::EntityKind::Insert && kind != tag::kind::CableNo) {
            ScannedBlock b;
            b.handle = e.handle;
            b.kind = kind;
            b.blockName = e.blockName;
            b.ref1 = tag::ref1(e).trimmed();
            b.ref2 = tag::ref2(e).trimmed();
            b.ref3 = tag::ref3(e).trimmed();
            b.assoc = tag::assoc(e).trimmed();
            b.name = nameOf(e, kind);
            b.at = e.start;
            if (kind == tag::kind::Pointer) {
                b.sheet = attributeText(e, isPointerS(e.blockName) ? "SSHT" : "DSHT");
                if (isPointerS(e.blockName)) pointerStarts.insert(pointKey(e.start), e.start);
                out.pointerIndex.insert(cad::Document::normalHandle(e.handle),
                                        int(out.blocks.size()));
            } else if (kind == tag::kind::DABlock) {
                for (const cad::Entity& a : e.attributes)
                    if (a.tag.startsWith(QLatin1String("O/P-"), Qt::CaseInsensitive) ||
                        a.tag.startsWith(QLatin1String("OUTPUT-"), Qt::CaseInsensitive))
                        b.outputs << a.text;
            }
            out.blocks.push_back(std::move(b));
        }
    }
}

}  // namespace

const ScannedBlock* ScannedDrawing::pointer(const QString& handle) const {
    const auto it = pointerIndex.constFind(cad::Document::normalHandle(handle));
    return it == pointerIndex.constEnd() ? nullptr : &blocks[size_t(*it)];
}

const ScannedDrawing* ProjectScan::drawing(const QString& title) const {
    const auto it = byTitle.constFind(title.trimmed().toUpper());
    return it == byTitle.constEnd() ? nullptr : &drawings[size_t(*it)];
}

void scanDocument(const cad::Document& doc, ScannedDrawing& out) {
    QMultiHash<quint64, QPointF> pointerStarts;
    scanSpace(doc, doc.modelSpace().entities, out, pointerStarts);
    for (const cad::Space& layout : doc.layouts())
        scanSpace(doc, layout.entities, out, pointerStarts);
    for (ScannedCable& c : out.cables) {
        const auto range = pointerStarts.equal_range(pointKey(c.first));
        for (auto it = range.first; it != range.second; ++it)
            if (*it == c.first) c.continuing = true;
    }
}

ProjectScan scanProject(const QList<DrawingSource>& sources,
                        const std::function<bool(int, int)>& progress) {
    ProjectScan scan;
    scan.drawings.reserve(size_t(sources.size()));
    int done = 0;
    for (const DrawingSource& s : sources) {
        ScannedDrawing d;
        d.path = s.path;
        d.title = projects::DrawingRegistry::fileNameOf(s.path);
        if (s.open) {
            scanDocument(s.open->document(), d);
        } else if (!projects::DrawingRegistry::fileExists(s.path)) {
            d.status = ScannedDrawing::Status::Missing;
        } else {
            QString file = s.path;
            if (!QFileInfo(file).isFile()) {
                const QFileInfo info(s.path);
                file = appfolder::findNoCase(info.path(), info.fileName());
            }
            try {
                const cad::Document doc = cad::loadDxf(file);
                scanDocument(doc, d);
            } catch (const cad::DxfError& e) {
                d.status = ScannedDrawing::Status::Unreadable;
                d.error = e.reason();
            } catch (const std::exception& e) {
                d.status = ScannedDrawing::Status::Unreadable;
                d.error = QString::fromLocal8Bit(e.what());
            }
        }
        scan.byTitle.insert(d.title.toUpper(), int(scan.drawings.size()));
        scan.drawings.push_back(std::move(d));
        if (progress && !progress(++done, int(sources.size()))) {
            scan.cancelled = true;
            break;
        }
    }
    return scan;
}

std::optional<CablePlace> locateCable(const QList<DrawingSource>& sources, const QString& sheet,
                                      qint64 cableId) {
    const QString id = QString::number(cableId);
    QList<DrawingSource> named, others;
    for (const DrawingSource& s : sources) {
        const bool onSheet =
            !sheet.isEmpty() &&
            projects::DrawingRegistry::fileNameOf(s.path).compare(sheet, Qt::CaseInsensitive) == 0;
        (onSheet ? named : others) << s;
    }
    // The sheet the record names is read alone first: most cables are where they were
    // assigned, and reading the others is then spared.
    for (const QList<DrawingSource>& group : {named, others}) {
        for (const DrawingSource& s : group) {
            const ProjectScan scan = scanProject({s});
            for (const ScannedCable& c : scan.drawings.front().cables)
                if (c.ref1.trimmed() == id) return CablePlace{s.path, c.handle};
        }
    }
    return std::nullopt;
}

}  // namespace tolvane::wiring
