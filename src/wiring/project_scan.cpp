// Reading a project's drawings for the check and the trace: tags and attributes only.
#include "wiring/project_scan.h"

#include <QFileInfo>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "cad/dxf.h"
#include "cad/heap_pages.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "projects/drawing_registry.h"
#include "shell/app_folder.h"

namespace tolvane::wiring {

namespace {

// A text of the document as a string of the scan's own. The scan outlives the document: a
// string shared with it would hold the document's memory where it lies, among what the next
// drawing read on the same thread is made of (a sixth of the time to read a project's drawings
// went to such a scattered heap).
QString own(const QString& text) {
    return text.isNull() ? QString() : QString(text.constData(), text.size());
}

QString attributeText(const cad::Entity& insert, const char* tagName) {
    const cad::Entity* a = insert.attribute(QLatin1String(tagName));
    return a ? own(a->text) : QString();
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
            c.ref1 = own(tag::ref1(e).trimmed());
            c.ref2 = own(tag::ref2(e).trimmed());
            c.first = e.vertices.first().pos;
            c.last = e.vertices.last().pos;
            const QString assoc = tag::assoc(e);
            if (!assoc.isEmpty()) {
                for (const QString& h : assoc.split(QLatin1Char('|'))) {
                    if (h.trimmed().isEmpty()) continue;
                    c.textHandles << h.trimmed();
                    const cad::Entity* text = doc.find(h.trimmed());
                    c.texts << (text && text->kind == cad::EntityKind::Text ? own(text->text)
                                                                            : QString());
                }
            }
            out.cables.push_back(std::move(c));
        } else if (e.kind == cad::EntityKind::Insert && kind != tag::kind::CableNo) {
            ScannedBlock b;
            b.handle = e.handle;
            b.kind = own(kind);
            b.blockName = own(e.blockName);
            b.ref1 = own(tag::ref1(e).trimmed());
            b.ref2 = own(tag::ref2(e).trimmed());
            b.ref3 = own(tag::ref3(e).trimmed());
            b.assoc = own(tag::assoc(e).trimmed());
            b.name = nameOf(e, kind);
            b.at = e.start;
            if (kind == tag::kind::Pointer) {
                b.sheet = attributeText(e, isPointerS(e.blockName) ? "SSHT" : "DSHT");
                if (isPointerS(e.blockName)) pointerStarts.insert(pointKey(e.start), e.start);
                out.pointerIndex.insert(cad::Document::normalHandle(e.handle),
                                        int(out.blocks.size()));
            } else if (kind == tag::kind::DABlock) {
                for (const cad::Entity& a : e.attributes)
                    if (a.tag->startsWith(QLatin1String("O/P-"), Qt::CaseInsensitive) ||
                        a.tag->startsWith(QLatin1String("OUTPUT-"), Qt::CaseInsensitive))
                        b.outputs << own(a.text);
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

namespace {

// A closed drawing, read from its file: found missing, unreadable, or scanned.
ScannedDrawing readClosed(const DrawingSource& s) {
    ScannedDrawing d;
    d.path = s.path;
    d.title = projects::DrawingRegistry::fileNameOf(s.path);
    if (!projects::DrawingRegistry::fileExists(s.path)) {
        d.status = ScannedDrawing::Status::Missing;
        return d;
    }
    QString file = s.path;
    if (!QFileInfo(file).isFile()) {
        const QFileInfo info(s.path);
        file = appfolder::findNoCase(info.path(), info.fileName());
    }
    try {
        // Only tagged entities and texts are looked at: the rest is read light.
        const cad::Document doc = cad::loadDxfLight(file);
        scanDocument(doc, d);
    } catch (const cad::DxfError& e) {
        d.status = ScannedDrawing::Status::Unreadable;
        d.error = e.reason();
    } catch (const std::exception& e) {
        d.status = ScannedDrawing::Status::Unreadable;
        d.error = QString::fromLocal8Bit(e.what());
    }
    return d;
}

// Closed drawings read by a few threads at once, each taking the next drawing not yet taken:
// the DXF reader and the scan keep no state between calls, and each thread works on a document
// of its own. The caller takes the results in the order of the sources.
class ParallelReader {
  public:
    explicit ParallelReader(const QList<DrawingSource>& sources)
        : sources_(sources), done_(size_t(sources.size())), errors_(size_t(sources.size())) {
        qsizetype closed = 0;
        for (const DrawingSource& s : sources)
            if (!s.open) ++closed;
        const qsizetype threads =
            std::min<qsizetype>(std::max(1, QThread::idealThreadCount()), closed);
        for (qsizetype t = 0; t < threads; ++t) threads_.emplace_back([this] { work(); });
    }
    ~ParallelReader() {
        stop_ = true;
        for (std::thread& t : threads_) t.join();
    }
    ParallelReader(const ParallelReader&) = delete;
    ParallelReader& operator=(const ParallelReader&) = delete;

    // Waits for the closed drawing `i`; rethrows what its reading threw.
    ScannedDrawing take(int i) {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return done_[size_t(i)].has_value() || errors_[size_t(i)]; });
        if (errors_[size_t(i)]) std::rethrow_exception(errors_[size_t(i)]);
        ScannedDrawing d = std::move(*done_[size_t(i)]);
        done_[size_t(i)].reset();
        return d;
    }

  private:
    void work() {
        // Each drawing read grows this thread's heap by megabytes: on huge pages.
        cad::HugeHeapPages heap;
        for (;;) {
            const int i = next_++;
            if (stop_ || i >= sources_.size()) return;
            if (sources_[i].open) continue;  // read by the caller from its window's document
            std::optional<ScannedDrawing> d;
            std::exception_ptr error;
            try {
                d = readClosed(sources_[i]);
            } catch (...) {
                error = std::current_exception();
            }
            heap.advise();
            {
                const std::lock_guard lock(mutex_);
                done_[size_t(i)] = std::move(d);
                errors_[size_t(i)] = error;
            }
            ready_.notify_all();
        }
    }

    const QList<DrawingSource>& sources_;
    std::vector<std::optional<ScannedDrawing>> done_;
    std::vector<std::exception_ptr> errors_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::atomic<int> next_{0};
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

}  // namespace

ProjectScan scanProject(const QList<DrawingSource>& sources,
                        const std::function<bool(int, int)>& progress,
                        const std::function<void()>& meanwhile) {
    ProjectScan scan;
    scan.drawings.reserve(size_t(sources.size()));
    ParallelReader reader(sources);
    if (meanwhile && !sources.isEmpty()) meanwhile();
    for (int i = 0; i < sources.size(); ++i) {
        const DrawingSource& s = sources[i];
        ScannedDrawing d;
        if (s.open) {
            // An open drawing belongs to its window: it is read here, on the caller's thread.
            d.path = s.path;
            d.title = projects::DrawingRegistry::fileNameOf(s.path);
            scanDocument(s.open->document(), d);
        } else {
            d = reader.take(i);
        }
        scan.byTitle.insert(d.title.toUpper(), int(scan.drawings.size()));
        scan.drawings.push_back(std::move(d));
        if (progress && !progress(i + 1, int(sources.size()))) {
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
