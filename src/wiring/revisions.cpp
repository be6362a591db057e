#include "wiring/revisions.h"

#include <algorithm>
#include <cmath>

#include "cad/geometry.h"
#include "db/records/drawings.h"
#include "db/records/project_identity.h"
#include "db/records/projects.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "ui/ui.h"

namespace tolvane::wiring {

namespace {

using db::ScheduledCable;

// Where a cable runs, as an added or removed line says it.
QString describe(const ScheduledCable& c) {
    const auto end = [](const db::CableEnd& e) {
        QString s = (e.system + QLatin1Char(' ') + e.pin).trimmed();
        if (!e.connector.isEmpty()) s += QStringLiteral(" (%1)").arg(e.connector);
        return s;
    };
    QStringList parts{end(c.source) + QStringLiteral(" to ") + end(c.destination)};
    if (!c.cableType.isEmpty()) parts << c.cableType;
    if (c.length) parts << QString::number(*c.length);
    return parts.join(QStringLiteral(", "));
}

QString lengthText(const std::optional<double>& length) {
    return length ? QString::number(*length) : QString();
}

// Cable-number order: by prefix, then the number's value, then its text ("12" before
// "12-03").
bool numberBefore(const db::CableNumber& a, const db::CableNumber& b) {
    if (const int p = a.prefix().compare(b.prefix(), Qt::CaseInsensitive); p != 0) return p < 0;
    const qint64 va = a.value().value_or(-1), vb = b.value().value_or(-1);
    if (va != vb) return va < vb;
    return a.stored() < b.stored();
}

// A changed cable: the number it has now.
struct Entry {
    db::CableNumber number;
    int kind;  // 0 removed, 1 added, 2 changed: the order of one number's lines
    qint64 id;
    QList<db::CableChangeLine> lines;
};

}  // namespace

QList<FieldChange> changedFields(const ScheduledCable& was, const ScheduledCable& is) {
    QList<FieldChange> out;
    const auto text = [&](const char* field, const QString& a, const QString& b) {
        if (a.compare(b, Qt::CaseInsensitive) != 0) out << FieldChange{QLatin1String(field), a, b};
    };
    const auto end = [&](const char* side, const db::CableEnd& a, const db::CableEnd& b) {
        const QString s = QLatin1String(side);
        const auto field = [&](const char* what, const QString& x, const QString& y) {
            if (x.compare(y, Qt::CaseInsensitive) != 0)
                out << FieldChange{s + QLatin1Char(' ') + QLatin1String(what), x, y};
        };
        field("system", a.system, b.system);
        field("pin", a.pin, b.pin);
        field("connector", a.connector, b.connector);
        field("location", a.location, b.location);
        field("alias", a.alias, b.alias);
    };
    text("Cable number", was.number.displayed(), is.number.displayed());
    text("Cable type", was.cableType, is.cableType);
    text("Manufacturer", was.manufacturer, is.manufacturer);
    text("Signal type", was.signalType, is.signalType);
    end("Source", was.source, is.source);
    end("Destination", was.destination, is.destination);
    if (was.length != is.length)
        out << FieldChange{QStringLiteral("Length"), lengthText(was.length), lengthText(is.length)};
    text("Integrator", was.integrator, is.integrator);
    text("Sheet", was.sheet, is.sheet);
    return out;
}

QList<db::CableChangeLine> changeLines(const db::ScheduleDifference& d) {
    std::vector<Entry> entries;
    entries.reserve(size_t(d.added.size() + d.removed.size() + d.changed.size()));
    for (const ScheduledCable& c : d.removed)
        entries.push_back({c.number,
                           0,
                           c.id,
                           {{c.parent ? kCoreRemoved : QStringLiteral("Removed"),
                             c.number.displayed(),
                             {},
                             describe(c),
                             {},
                             c.sheet}}});
    for (const ScheduledCable& c : d.added)
        entries.push_back({c.number,
                           1,
                           c.id,
                           {{c.parent ? kCoreAdded : QStringLiteral("Added"),
                             c.number.displayed(),
                             {},
                             {},
                             describe(c),
                             c.sheet}}});
    for (const auto& [was, is] : d.changed) {
        Entry e{is.number, 2, is.id, {}};
        for (const FieldChange& f : changedFields(was, is))
            e.lines << db::CableChangeLine{is.parent ? kCoreChanged : QStringLiteral("Changed"),
                                           is.number.displayed(),
                                           f.field,
                                           f.oldValue,
                                           f.newValue,
                                           is.sheet};
        if (!e.lines.isEmpty()) entries.push_back(std::move(e));
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (numberBefore(a.number, b.number)) return true;
        if (numberBefore(b.number, a.number)) return false;
        if (a.kind != b.kind) return a.kind < b.kind;
        return a.id < b.id;
    });
    QList<db::CableChangeLine> out;
    for (const Entry& e : entries) out << e.lines;
    return out;
}

QString sideName(std::optional<qint64> revision) {
    return revision ? QStringLiteral("Revision %1").arg(*revision) : QStringLiteral("Now");
}

QString numberRetired(const db::CableNumber& number, qint64 revision) {
    return QStringLiteral(
               "The cable number %1 was issued in revision %2: it is retired and "
               "cannot be used again. Choose another.")
        .arg(number.displayed())
        .arg(revision);
}

// ---- revisions ---------------------------------------------------------------------------

qint64 Revisions::next() {
    qint64 highest = db::RevisionTable(registry_).latest().value_or(0);
    if (const std::optional<db::ProjectRevisions> own =
            db::ProjectIdentityTable(registry_).revisions())
        highest = std::max(highest, own->project.value_or(0));
    if (projectsId_)
        for (const db::RevisionRecord& r : db::RevisionCounterTable(registry_).of(*projectsId_))
            highest = std::max(highest, r.revision);
    return highest + 1;
}

db::RevisionRecord Revisions::issue(const QString& description, const QString& revisedBy,
                                    const QDateTime& at) {
    db::Transaction tx(db::DbId::Project, registry_);
    db::RevisionRecord r =
        db::RevisionTable(registry_).freeze(db::RevisionRecord{next(), at, revisedBy, description});
    db::ProjectIdentityTable(registry_).setRevision(r.revision, at);
    db::DrawingTable(registry_).setRevisionOfAll(QString::number(r.revision));
    // The project manager is another database: its transaction is held open beside the
    // project's until the project's has been committed.
    std::optional<db::Transaction> counter;
    if (projectsId_) {
        counter.emplace(db::DbId::PM, registry_);
        db::RevisionCounterTable(registry_).add(*projectsId_, r);
    }
    tx.commit();
    if (counter) counter->commit();
    return r;
}

QList<db::CableChangeLine> Revisions::compare(std::optional<qint64> from,
                                              std::optional<qint64> to) {
    return changeLines(db::RevisionTable(registry_).compare(from, to));
}

QSet<qint64> Revisions::touchedCables(std::optional<qint64> from, std::optional<qint64> to) {
    const db::ScheduleDifference d = db::RevisionTable(registry_).compare(from, to);
    QSet<qint64> ids;
    for (const ScheduledCable& c : d.added) ids.insert(c.parent.value_or(c.id));
    for (const auto& [was, is] : d.changed)
        if (!changedFields(was, is).isEmpty()) ids.insert(is.parent.value_or(is.id));
    return ids;
}

std::optional<qint64> issueRevisionCommand(Ui& ui, db::Connections& registry,
                                           const QString& revisedBy, const QString& projectFolder) {
    if (!registry.isBound(db::DbId::Project)) {
        ui.message(QStringLiteral("Open a project first: a revision freezes its cable schedule."),
                   MsgButtons::Ok, MsgIcon::Information);
        return std::nullopt;
    }
    if (db::CableTable(registry).isEmpty()) {
        ui.message(QStringLiteral("The project has no cables yet: there is no cable schedule to "
                                  "issue."),
                   MsgButtons::Ok, MsgIcon::Information);
        return std::nullopt;
    }
    std::optional<qint64> projectsId;
    if (!projectFolder.isEmpty() && registry.isBound(db::DbId::PM))
        if (const std::optional<db::ProjectRow> row =
                db::ProjectTable(registry).atPath(projectFolder))
            projectsId = row->id;
    Revisions revisions(registry, projectsId);
    const qint64 next = revisions.next();
    const std::optional<QString> description = ui.input(
        QStringLiteral("Issue Revision"),
        QStringLiteral("The cable schedule is issued as revision %1 and every title block shows "
                       "it.\nDescription of the revision:")
            .arg(next));
    if (!description) return std::nullopt;
    const db::RevisionRecord issued =
        revisions.issue(description->trimmed(), revisedBy, QDateTime::currentDateTime());
    QString frozen = QStringLiteral("%1 cable rows").arg(issued.cableCount);
    if (issued.coreCount > 0) frozen += QStringLiteral(" and %1 core rows").arg(issued.coreCount);
    ui.message(QStringLiteral("Revision %1 issued: %2 frozen.").arg(issued.revision).arg(frozen),
               MsgButtons::Ok, MsgIcon::Information);
    return issued.revision;
}

// ---- clouds ------------------------------------------------------------------------------

namespace {

// The margin of a cloud around its cable and the length of one of its arcs, in drawing units
// (a cable number text is 0.25 high).
constexpr double kCloudMargin = 0.3;
constexpr double kArcLength = 0.4;
// Arcs bulge outwards: the rectangle is walked anticlockwise, so each arc turns clockwise.
constexpr double kBulge = -0.5;

QList<cad::Vertex> cloudAround(const cad::BBox& box) {
    const QPointF corners[] = {{box.x0 - kCloudMargin, box.y0 - kCloudMargin},
                               {box.x1 + kCloudMargin, box.y0 - kCloudMargin},
                               {box.x1 + kCloudMargin, box.y1 + kCloudMargin},
                               {box.x0 - kCloudMargin, box.y1 + kCloudMargin}};
    QList<cad::Vertex> out;
    for (int side = 0; side < 4; ++side) {
        const QPointF a = corners[side], b = corners[(side + 1) % 4];
        const int arcs = std::max(1, int(std::lround(cad::length(b - a) / kArcLength)));
        for (int i = 0; i < arcs; ++i) out << cad::Vertex{a + (b - a) * (double(i) / arcs), kBulge};
    }
    return out;
}

}  // namespace

int cloudCables(Drawing& drawing, const QSet<qint64>& cableIds, const QString& label) {
    cad::Document& doc = drawing.document();
    cad::Space& model = doc.modelSpace();
    QSet<qint64> clouded;
    QList<std::pair<qint64, cad::BBox>> cables;
    for (const cad::Entity& e : model.entities) {
        const QString kind = tag::kindOf(e);
        if (kind == kCloudKind && tag::ref1(e) == label) {
            clouded.insert(tag::ref2(e).toLongLong());
        } else if (e.kind == cad::EntityKind::Polyline && kind == tag::kind::Cable) {
            bool ok = false;
            const qint64 id = tag::ref1(e).toLongLong(&ok);
            if (ok && cableIds.contains(id)) cables.append({id, cad::boundingBox(doc, e)});
        }
    }
    cad::UndoGroup step(drawing.undo());
    if (!doc.layer(kCloudLayer)) {
        cad::Layer layer;
        layer.name = kCloudLayer;
        layer.color = 1;  // red
        doc.addLayer(layer);
    }
    cad::SpaceEditor editor(doc, model, &drawing.undo(), &drawing.indexOf(model));
    int count = 0;
    for (const auto& [id, box] : cables) {
        if (clouded.contains(id) || !box.isValid()) continue;
        clouded.insert(id);
        cad::Entity cloud = cad::Entity::polyline(cloudAround(box), true);
        cloud.layer = kCloudLayer;
        tag::tagEntity(cloud, kCloudKind, label, QString::number(id));
        editor.add(std::move(cloud));
        cad::Entity mark = cad::Entity::textAt(
            {box.x1 + kCloudMargin + 0.1, box.y1 + kCloudMargin + 0.1}, label, 0.25);
        mark.layer = kCloudLayer;
        tag::tagEntity(mark, kCloudKind, label, QString::number(id));
        editor.add(std::move(mark));
        ++count;
    }
    step.commit();
    if (count > 0) drawing.changed();
    return count;
}

}  // namespace tolvane::wiring
