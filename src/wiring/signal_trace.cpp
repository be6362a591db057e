// Following a signal through the project's cables, jackfields, J-boxes and pointers.
#include "wiring/signal_trace.h"

#include <QMap>
#include <algorithm>

#include "db/records/cables.h"
#include "db/records/jackfields.h"
#include "drawings/entity_tag.h"

namespace tolvane::wiring {

namespace {

QString nodeKey(const QString& system, const QString& pin) {
    return system.trimmed().toUpper() + QLatin1Char('|') + pin.trimmed().toUpper();
}

// "A-01": the row label and the column (or connector) number.
std::pair<QString, QString> splitPin(const QString& pin) {
    const int dash = pin.indexOf(QLatin1Char('-'));
    if (dash < 0) return {QString(), pin};
    return {pin.left(dash), pin.mid(dash + 1)};
}

constexpr int kMaxDepth = 2000;  // a path longer than this is not followed further
constexpr int kMaxPointerHops = 64;

}  // namespace

QString TraceStep::line() const {
    return QStringLiteral("TRACE %1 | %2 | %3 | %4 | %5 | %6")
        .arg(place, system, pin, connector, cable, sheet);
}

SignalTrace::SignalTrace(const ProjectScan& scan, db::Connections& registry)
    : scan_(scan), registry_(registry) {
    for (int d = 0; d < int(scan.drawings.size()); ++d) {
        const ScannedDrawing& drawing = scan.drawings[size_t(d)];
        for (const ScannedBlock& b : drawing.blocks) {
            if (b.name.trimmed().isEmpty() || b.kind == tag::kind::Pointer) continue;
            SystemInfo& info = systems_[b.name.trimmed().toUpper()];
            if (info.kind.isEmpty()) {
                info.kind = b.kind;
                info.name = b.name.trimmed();
                info.sheet = drawing.title;
            }
            info.outputs << b.outputs;
        }
        for (int c = 0; c < int(drawing.cables.size()); ++c) {
            bool ok = false;
            const qint64 id = drawing.cables[size_t(c)].ref1.toLongLong(&ok);
            if (ok) drawnById_[id].append({d, c});
        }
    }
    for (SystemInfo& info : systems_) info.outputs.removeDuplicates();
}

SignalTrace::SystemInfo SignalTrace::systemInfo(const QString& system) const {
    return systems_.value(system.trimmed().toUpper());
}

namespace {

SignalTrace::Link linkOf(const db::CableRecord& c) {
    SignalTrace::Link l;
    l.cableId = c.id;
    l.key = QStringLiteral("C") + QString::number(c.id);
    l.number = c.number.displayed();
    l.sheet = c.sheet;
    l.source = {c.source.system, c.source.pin, c.source.connector};
    l.destination = {c.destination.system, c.destination.pin, c.destination.connector};
    return l;
}

SignalTrace::Link linkOf(const db::CoreRecord& c) {
    SignalTrace::Link l;
    l.core = true;
    l.key = QStringLiteral("K") + QString::number(c.id);
    l.cableId = c.parentId;
    l.number = c.number.displayed();
    l.sheet = c.sheet;
    l.source = {c.source.system, c.source.pin, c.source.connector};
    l.destination = {c.destination.system, c.destination.pin, c.destination.connector};
    return l;
}

void sortLinks(QList<SignalTrace::Link>& links) {
    std::sort(links.begin(), links.end(), [](const auto& a, const auto& b) {
        return a.number != b.number ? a.number < b.number : a.key < b.key;
    });
}

// The databases compare names without regard to case.
bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

}  // namespace

QList<SignalTrace::Link> SignalTrace::linksAt(const QString& system, const QString& pin) {
    QList<Link> out;
    db::CableTable cables(registry_);
    db::CoreTable cores(registry_);
    for (const db::CableSide side : {db::CableSide::Source, db::CableSide::Destination}) {
        for (const db::CableRecord& c : cables.inUseAt(side, system, pin)) out << linkOf(c);
        for (const db::CoreRecord& c : cores.inUseAt(side, system, pin)) out << linkOf(c);
    }
    sortLinks(out);
    return out;
}

// Every cable and core on any pin of a system (a J-box's or router's connectors), pin by pin:
// the cables and cores of the system are read once and put under the pins of their ends.
QList<SignalTrace::Link> SignalTrace::linksOf(const QString& system) {
    QMap<QString, QList<Link>> byPin;  // upper-case pin
    const auto place = [&](const End& source, const End& destination, const Link* link) {
        for (const End* e : {&source, &destination}) {
            if (!sameName(e->system, system)) continue;
            QList<Link>& at = byPin[e->pin.toUpper()];
            if (link) at << *link;
        }
    };
    // A multicore cable's own row gives its pins but no link: its cores are the links.
    for (const db::CableRecord& c : db::CableTable(registry_).inUseOn(system)) {
        const Link l = linkOf(c);
        place(l.source, l.destination, c.multiCore ? nullptr : &l);
    }
    for (const db::CoreRecord& c : db::CoreTable(registry_).inUseOn(system)) {
        const Link l = linkOf(c);
        place(l.source, l.destination, &l);
    }
    QStringList sorted = byPin.keys();
    sorted.sort(Qt::CaseInsensitive);
    QList<Link> out;
    for (const QString& pin : sorted) {
        QList<Link> links = byPin.value(pin);
        sortLinks(links);
        out << links;
    }
    return out;
}

// The other jack of the column: row A's partner is row B and back, in a jackfield of two rows.
QString SignalTrace::normalPartner(const QString& system, const QString& pin, QString* connector,
                                   QString* sheet) {
    const int dash = system.lastIndexOf(QLatin1Char('-'));
    if (dash < 0) return {};
    bool ok = false;
    const int number = system.mid(dash + 1).toInt(&ok);
    if (!ok) return {};
    const auto [row, column] = splitPin(pin);
    const std::optional<db::JackfieldRecord> jf =
        db::JackfieldTable(registry_).find(system.left(dash), number);
    if (!jf) return {};
    *connector = jf->rearConn;
    QStringList letters;
    QStringList sheets;
    for (const db::JackPosition& p : db::JackPositionTable(registry_).inColumn(jf->id, column)) {
        letters << p.row;
        sheets << p.sheet;
    }
    if (letters.size() != 2) return {};
    int here = -1;
    for (int i = 0; i < 2; ++i)
        if (letters[i].compare(row, Qt::CaseInsensitive) == 0) here = i;
    if (here < 0) return {};
    const int i = 1 - here;
    *sheet = sheets[i];
    return letters[i] + QLatin1Char('-') + column;
}

// The pointer pairs a cable crosses, from its source side on.
QList<TraceStep> SignalTrace::pointerSteps(const Link& link) {
    QList<TraceStep> out;
    if (link.core) return out;
    const QList<QPair<int, int>> drawn = drawnById_.value(link.cableId);
    if (drawn.size() < 2) return out;
    const ScannedDrawing* d = nullptr;
    const ScannedCable* cable = nullptr;
    for (const auto& [di, ci] : drawn) {
        const ScannedCable& c = scan_.drawings[size_t(di)].cables[size_t(ci)];
        if (!c.continuing) {
            d = &scan_.drawings[size_t(di)];
            cable = &c;
            break;
        }
    }
    for (int hop = 0; d && cable && hop < kMaxPointerHops; ++hop) {
        const ScannedBlock* pointerD = nullptr;
        for (const ScannedBlock& b : d->blocks)
            if (b.kind == tag::kind::Pointer && b.at == cable->last &&
                !b.blockName.endsWith(QLatin1String("_S"), Qt::CaseInsensitive)) {
                pointerD = &b;
                break;
            }
        if (!pointerD || pointerD->assoc.isEmpty()) break;
        const ScannedDrawing* other =
            scan_.drawing(pointerD->sheet.isEmpty() ? d->title : pointerD->sheet);
        const ScannedBlock* pointerS = other ? other->pointer(pointerD->assoc) : nullptr;
        if (!pointerS) break;
        out << TraceStep{QStringLiteral("pointer"), {}, {}, {}, link.number, d->title};
        out << TraceStep{QStringLiteral("pointer"), {}, {}, {}, link.number, other->title};
        const ScannedCable* next = nullptr;
        for (const ScannedCable& c : other->cables)
            if (c.first == pointerS->at) {
                next = &c;
                break;
            }
        d = other;
        cable = next;
    }
    return out;
}

TraceResult SignalTrace::trace(const QString& system, const QString& pin) {
    visitedNodes_.clear();
    visitedLinks_.clear();
    depth_ = 0;
    TraceResult out;
    End start{system.trimmed(), pin.trimmed(), QString()};
    visitedNodes_.insert(nodeKey(start.system, start.pin));
    const QList<Link> first = linksAt(start.system, start.pin);
    const SystemInfo info = systemInfo(start.system);
    if (first.isEmpty() && info.kind.isEmpty() && linksOf(start.system).isEmpty()) {
        out.message =
            QStringLiteral("There is no %1 in the project's drawings or cables.").arg(start.system);
        return out;
    }
    TraceStep step{QStringLiteral("start"), start.system, start.pin, {}, {}, info.sheet};
    if (!first.isEmpty()) {
        // Named as the project names it, whatever the case it was asked in.
        const Link& l = first.first();
        const bool asSource =
            nodeKey(l.source.system, l.source.pin) == nodeKey(start.system, start.pin);
        start = asSource ? l.source : l.destination;
        step.system = start.system;
        step.pin = start.pin;
        step.connector = start.connector;
        if (step.sheet.isEmpty()) step.sheet = l.sheet;
    } else if (!info.name.isEmpty()) {
        step.system = info.name;
    }
    out.steps << step;
    follow(start, info.kind, {}, out);
    if (out.steps.size() == 1 && out.message.isEmpty())
        out.message = QStringLiteral("No assigned cable is on %1 %2.").arg(step.system, start.pin);
    return out;
}

// Takes the signal on from a place: along every cable not taken yet, and for a jack or a
// J-box through to its other side (`from`: the side it came through, not a loop).
void SignalTrace::follow(const End& at, const QString& kind, const QString& from,
                         TraceResult& out) {
    if (++depth_ > kMaxDepth) {
        out.message = QStringLiteral(
                          "The path is longer than %1 places; it is not followed "
                          "further.")
                          .arg(kMaxDepth);
        --depth_;
        return;
    }
    const QString here = nodeKey(at.system, at.pin);
    for (const Link& l : linksAt(at.system, at.pin)) {
        if (visitedLinks_.contains(l.key)) continue;
        visitedLinks_.insert(l.key);
        const bool forward = nodeKey(l.source.system, l.source.pin) == here;
        const End far = forward ? l.destination : l.source;
        QList<TraceStep> pointers = pointerSteps(l);
        if (!forward) std::reverse(pointers.begin(), pointers.end());
        out.steps << pointers;
        const QString sheet = pointers.isEmpty() ? l.sheet : pointers.last().sheet;
        arrive(far, sheet, l.number, out);
    }
    // The other side: the jack on the other row of the column, or the J-box's other pins of
    // the same connector.
    QList<std::pair<End, QString>> others;  // with the sheet
    if (kind == tag::kind::Jack) {
        QString connector, sheet;
        const QString partner = normalPartner(at.system, at.pin, &connector, &sheet);
        if (!partner.isEmpty()) others.append({End{at.system, partner, connector}, sheet});
    } else if (kind == tag::kind::JBox) {
        const QString number = splitPin(at.pin).second;
        QSet<QString> seen;
        for (const Link& l : linksOf(at.system))
            for (const End& e : {l.source, l.destination}) {
                const QString key = nodeKey(e.system, e.pin);
                if (e.system.compare(at.system, Qt::CaseInsensitive) != 0 || key == here ||
                    splitPin(e.pin).second.compare(number, Qt::CaseInsensitive) != 0 ||
                    seen.contains(key))
                    continue;
                seen.insert(key);
                others.append({e, l.sheet});
            }
    }
    const QString place =
        kind == tag::kind::Jack ? QStringLiteral("normal") : QStringLiteral("through");
    for (const auto& [other, sheet] : others) {
        const QString there = nodeKey(other.system, other.pin);
        if (there == from) continue;
        // The way through a jack or J-box is taken once, whichever side it is seen from.
        const QString edge =
            QStringLiteral("T") + std::min(here, there) + QLatin1Char('/') + std::max(here, there);
        if (visitedLinks_.contains(edge)) continue;
        visitedLinks_.insert(edge);
        if (!visit(other, {}, sheet, out)) continue;
        out.steps << TraceStep{place, other.system, other.pin, other.connector, {}, sheet};
        follow(other, kind, here, out);
    }
    --depth_;
}

// Marks a place reached; false (and the loop told) when it was reached before.
bool SignalTrace::visit(const End& at, const QString& cable, const QString& sheet,
                        TraceResult& out) {
    const QString key = nodeKey(at.system, at.pin);
    if (!visitedNodes_.contains(key)) {
        visitedNodes_.insert(key);
        return true;
    }
    out.steps << TraceStep{QStringLiteral("loop"), at.system, at.pin, at.connector, cable, sheet};
    out.looped = true;
    out.message = QStringLiteral("The wiring loops back to %1 %2: the trace stops there.")
                      .arg(at.system, at.pin);
    return false;
}

void SignalTrace::arrive(const End& at, const QString& sheet, const QString& cable,
                         TraceResult& out) {
    if (!visit(at, cable, sheet, out)) return;
    const SystemInfo info = systemInfo(at.system);
    QString place = QStringLiteral("end");
    if (info.kind == tag::kind::Jack) place = QStringLiteral("jack");
    if (info.kind == tag::kind::JBox) place = QStringLiteral("jbox");
    if (info.kind == tag::kind::DABlock) place = QStringLiteral("da");
    if (info.kind == tag::kind::Router) place = QStringLiteral("router");
    out.steps << TraceStep{place, at.system, at.pin, at.connector, cable, sheet};
    if (info.kind == tag::kind::DABlock || info.kind == tag::kind::Router) {
        outputs(at, info.kind, out);
        return;
    }
    if (info.kind == tag::kind::Jack || info.kind == tag::kind::JBox)
        follow(at, info.kind, {}, out);
}

// A DA's output pins, or a router's source-side connectors, each with the cable on it.
void SignalTrace::outputs(const End& at, const QString& kind, TraceResult& out) {
    QList<TraceStep> steps;
    if (kind == tag::kind::DABlock) {
        for (const QString& pin : systemInfo(at.system).outputs) {
            TraceStep s{QStringLiteral("output"), at.system, pin, {}, {}, {}};
            const QList<Link> links = linksAt(at.system, pin);
            if (links.isEmpty()) {
                steps << s;
                continue;
            }
            for (const Link& l : links) {
                s.connector = l.source.connector;
                s.cable = l.number;
                s.sheet = l.sheet;
                steps << s;
            }
        }
    } else {
        for (const Link& l : linksOf(at.system))
            if (nodeKey(l.source.system, l.source.pin) != nodeKey(at.system, at.pin) &&
                l.source.system.compare(at.system, Qt::CaseInsensitive) == 0)
                steps << TraceStep{QStringLiteral("output"), l.source.system, l.source.pin,
                                   l.source.connector,       l.number,        l.sheet};
    }
    out.steps << steps;
}

namespace {

bool isSystemBlock(const ScannedBlock& b) {
    return b.kind == tag::kind::EquipmentBlock || b.kind == tag::kind::DABlock ||
           b.kind == tag::kind::JBox || b.kind == tag::kind::Router;
}

bool carries(const ScannedCable& c, const QString& number) {
    for (const QString& t : c.texts)
        if (!t.isNull() && t.trimmed().compare(number, Qt::CaseInsensitive) == 0) return true;
    return false;
}

}  // namespace

QHash<QString, QStringList> tracedEntities(const ProjectScan& scan, const TraceResult& result) {
    QSet<QString> systems, cables;
    for (const TraceStep& s : result.steps) {
        if (!s.system.trimmed().isEmpty()) systems.insert(s.system.trimmed().toUpper());
        if (!s.cable.trimmed().isEmpty()) cables.insert(s.cable.trimmed().toUpper());
    }
    QHash<QString, QStringList> out;
    for (const ScannedDrawing& d : scan.drawings) {
        QStringList handles;
        for (const ScannedBlock& b : d.blocks)
            if (isSystemBlock(b) && systems.contains(b.name.trimmed().toUpper()))
                handles << b.handle;
        for (const ScannedCable& c : d.cables)
            for (const QString& number : cables)
                if (carries(c, number)) {
                    handles << c.handle;
                    break;
                }
        if (!handles.isEmpty()) out.insert(d.path, handles);
    }
    return out;
}

std::pair<QString, QString> stepEntity(const ProjectScan& scan, const TraceStep& step) {
    const ScannedDrawing* d = scan.drawing(step.sheet);
    if (!d) return {};
    for (const ScannedBlock& b : d->blocks)
        if (isSystemBlock(b) &&
            b.name.trimmed().compare(step.system.trimmed(), Qt::CaseInsensitive) == 0)
            return {d->path, b.handle};
    if (!step.cable.trimmed().isEmpty())
        for (const ScannedCable& c : d->cables)
            if (carries(c, step.cable.trimmed())) return {d->path, c.handle};
    return {d->path, QString()};
}

std::pair<QString, QString> cableSource(const QString& cableId, db::Connections& registry) {
    bool ok = false;
    const qint64 id = cableId.trimmed().toLongLong(&ok);
    if (!ok) return {};
    const std::optional<db::CableRecord> c = db::CableTable(registry).find(id);
    if (!c) return {};
    return {c->source.system, c->source.pin};
}

}  // namespace tolvane::wiring
