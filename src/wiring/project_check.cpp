// The check of a project: the scanned drawings against the project's records.
#include "wiring/project_check.h"

#include <QHash>
#include <QSet>
#include <algorithm>

#include "db/records/cables.h"
#include "db/records/equipment_models.h"
#include "db/records/jackfields.h"
#include "db/records/systems.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "equipment/racks.h"
#include "equipment/system_names.h"
#include "ui/ui.h"

namespace tolvane::wiring {

namespace {

// A cable in a drawing that carries a cable ID.
struct DrawnCable {
    qint64 id;
    const ScannedDrawing* drawing;
    const ScannedCable* cable;
};

// A cable or core on a connector: the number it shows, its sheet and the row a drawn cable
// refers to (a core's cable).
struct Link {
    const db::CableNumber* number;
    const QString* sheet;
    qint64 cableId;
};

QString upper(const QString& s) {
    return s.trimmed().toUpper();
}

QString record(const char* table, qint64 id) {
    return QStringLiteral("%1 %2").arg(QLatin1String(table)).arg(id);
}

// Whether a number text reads as the number is displayed, without making that text.
bool shows(const QString& text, const db::CableNumber& number) {
    const QString& prefix = number.prefix();
    const QString& stored = number.stored();
    if (prefix.isEmpty()) return text == stored;
    return text.size() == prefix.size() + 1 + stored.size() && text.startsWith(prefix) &&
           text[prefix.size()] == QLatin1Char('-') && text.endsWith(stored);
}

}  // namespace

FindingKind rackFindingKind(equipment::RackProblemKind kind) {
    switch (kind) {
        case equipment::RackProblemKind::ElevationNotNumber:
            return FindingKind::RackElevationNotNumber;
        case equipment::RackProblemKind::HeightUnknown:
            return FindingKind::RackHeightUnknown;
        case equipment::RackProblemKind::Overlap:
            return FindingKind::RackOverlap;
        case equipment::RackProblemKind::OutOfRack:
            break;
    }
    return FindingKind::RackOutOfBounds;
}

QString kindWord(FindingKind kind) {
    switch (kind) {
        case FindingKind::NoDrawings:
            return QStringLiteral("NoDrawings");
        case FindingKind::MissingDrawing:
            return QStringLiteral("MissingDrawing");
        case FindingKind::UnreadableDrawing:
            return QStringLiteral("UnreadableDrawing");
        case FindingKind::UnassignedCable:
            return QStringLiteral("UnassignedCable");
        case FindingKind::OrphanedCableRow:
            return QStringLiteral("OrphanedCableRow");
        case FindingKind::DuplicateCableId:
            return QStringLiteral("DuplicateCableID");
        case FindingKind::StaleNumberText:
            return QStringLiteral("StaleNumberText");
        case FindingKind::NoSystemName:
            return QStringLiteral("NoSystemName");
        case FindingKind::SystemWithoutBlock:
            return QStringLiteral("SystemWithoutBlock");
        case FindingKind::OrphanedBlock:
            return QStringLiteral("OrphanedBlock");
        case FindingKind::DoubleWired:
            return QStringLiteral("DoubleWired");
        case FindingKind::UnlinkedPointer:
            return QStringLiteral("UnlinkedPointer");
        case FindingKind::PointerPartnerGone:
            return QStringLiteral("PointerPartnerGone");
        case FindingKind::PointerSheetUnregistered:
            return QStringLiteral("PointerSheetUnregistered");
        case FindingKind::UnheldJackPosition:
            return QStringLiteral("UnheldJackPosition");
        case FindingKind::RackElevationNotNumber:
            return QStringLiteral("RackElevationNotNumber");
        case FindingKind::RackHeightUnknown:
            return QStringLiteral("RackHeightUnknown");
        case FindingKind::RackOverlap:
            return QStringLiteral("RackOverlap");
        case FindingKind::RackOutOfBounds:
            return QStringLiteral("RackOutOfBounds");
    }
    return {};
}

QString kindTitle(FindingKind kind) {
    switch (kind) {
        case FindingKind::NoDrawings:
            return QStringLiteral("No drawings");
        case FindingKind::MissingDrawing:
            return QStringLiteral("Missing drawings");
        case FindingKind::UnreadableDrawing:
            return QStringLiteral("Drawings that cannot be read");
        case FindingKind::UnassignedCable:
            return QStringLiteral("Cables never assigned");
        case FindingKind::OrphanedCableRow:
            return QStringLiteral("Cable rows in no drawing");
        case FindingKind::DuplicateCableId:
            return QStringLiteral("One cable ID on two cables");
        case FindingKind::StaleNumberText:
            return QStringLiteral("Number texts that disagree with their row");
        case FindingKind::NoSystemName:
            return QStringLiteral("Equipment without a system name");
        case FindingKind::SystemWithoutBlock:
            return QStringLiteral("Systems without a block");
        case FindingKind::OrphanedBlock:
            return QStringLiteral("Blocks whose model is gone");
        case FindingKind::DoubleWired:
            return QStringLiteral("Connectors wired by two cables");
        case FindingKind::UnlinkedPointer:
            return QStringLiteral("Pointers not linked");
        case FindingKind::PointerPartnerGone:
            return QStringLiteral("Pointers whose partner is gone");
        case FindingKind::PointerSheetUnregistered:
            return QStringLiteral("Pointers to a drawing not registered");
        case FindingKind::UnheldJackPosition:
            return QStringLiteral("Jack positions assigned but held by no jack");
        case FindingKind::RackElevationNotNumber:
            return QStringLiteral("Systems of a rack whose elevation is no number");
        case FindingKind::RackHeightUnknown:
            return QStringLiteral("Systems of a rack whose height is unknown");
        case FindingKind::RackOverlap:
            return QStringLiteral("Systems that overlap another in their rack");
        case FindingKind::RackOutOfBounds:
            return QStringLiteral("Systems that stick out of their rack");
    }
    return {};
}

QString Finding::line() const {
    return QStringLiteral("CHECK %1 | %2 | %3 | %4").arg(kindWord(kind), drawing, handle, text);
}

// What the drawings are held against, read from the project's records.
struct ProjectCheck::Records {
    // The cable rows in CableID order, found by halving.
    std::vector<db::CableEnds> rows;
    QList<db::CoreRecord> cores;
    // The connectors that more than one cable or core is wired to, each with its links in the
    // order of their cables' IDs and their numbers sorted.
    struct Shared {
        QString connector;  // "SYSTEM PIN"
        QList<Link> on;
        QStringList numbers;
    };
    std::vector<Shared> shared;
    struct SystemRow {
        qint64 id;
        QString name;
    };
    QList<SystemRow> systems;
    QSet<QString> models;  // EquipmentIDs of the library
    QList<db::AssignedPosition> positions;
    QList<equipment::RackPlan> plans;

    const db::CableEnds* rowOf(qint64 id) const {
        const auto it =
            std::lower_bound(rows.begin(), rows.end(), id,
                             [](const db::CableEnds& r, qint64 value) { return r.id < value; });
        return it != rows.end() && it->id == id ? &*it : nullptr;
    }
};

ProjectCheck::ProjectCheck(db::Connections& registry) : registry_(registry) {}

ProjectCheck::~ProjectCheck() = default;

void ProjectCheck::readRecords() {
    auto r = std::make_unique<Records>();
    r->rows = db::CableTable(registry_).allEnds();
    r->cores = db::CoreTable(registry_).inUse();

    // The connectors. A connector is its system and pin, trimmed and in upper case; each such
    // text is numbered once (a text many ends share is looked up, not made again), and an end
    // is known by its two numbers. Texts holding a bar are joined as "SYSTEM|PIN" first, so
    // that ends are the same connector exactly when those joined texts are the same.
    QStringList parts;                // the texts in upper case, by number
    QHash<QString, int> partOfText;   // an end's text as stored -> its number
    QHash<QString, int> partOfUpper;  // a text in upper case -> its number
    QHash<QString, quint64> joined;   // "SYSTEM|PIN" of a connector whose texts hold a bar
    constexpr quint64 kJoined = quint64(1) << 63;
    auto part = [&](const QString& text) {
        if (const auto it = partOfText.constFind(text); it != partOfText.cend()) return *it;
        const QString up = upper(text);
        int n = partOfUpper.value(up, -1);
        if (n < 0) {
            n = int(parts.size());
            partOfUpper.insert(up, n);
            parts << up;
        }
        partOfText.insert(text, n);
        return n;
    };
    struct End {
        quint64 connector;
        qsizetype link;
        int system, pin;
    };
    std::vector<Link> links;
    std::vector<End> ends;
    links.reserve(r->rows.size() * 2 + size_t(r->cores.size()) * 2);
    ends.reserve(links.capacity());
    auto wire = [&](const QString& sys, const QString& pin, const Link& link) {
        const int s = part(sys);
        const int p = part(pin);
        const QString& system = parts[s];
        const QString& connector = parts[p];
        if (system.isEmpty() || connector.isEmpty()) return;
        quint64 key = quint64(s) << 32 | quint64(p);
        if (system.contains(QLatin1Char('|')) || connector.contains(QLatin1Char('|'))) {
            const QString text = system + QLatin1Char('|') + connector;
            key = joined.value(text, kJoined | quint64(joined.size()));
            joined.insert(text, key);
        }
        ends.push_back(End{key, qsizetype(links.size()), s, p});
        links.push_back(link);
    };
    for (const db::CableEnds& row : r->rows) {
        if (row.available || row.multiCore) continue;  // a multicore's ends are its cores'
        wire(row.sourceSystem, row.sourcePin, {&row.number, &row.sheet, row.id});
        wire(row.destinationSystem, row.destinationPin, {&row.number, &row.sheet, row.id});
    }
    for (const db::CoreRecord& c : std::as_const(r->cores)) {
        const Link link{&c.number, &c.sheet, c.parentId};
        wire(c.source.system, c.source.pin, link);
        wire(c.destination.system, c.destination.pin, link);
    }
    // The ends by connector, each connector's in the order they were wired.
    std::sort(ends.begin(), ends.end(), [](const End& a, const End& b) {
        return a.connector != b.connector ? a.connector < b.connector : a.link < b.link;
    });
    for (auto from = ends.cbegin(); from != ends.cend();) {
        auto to = from + 1;
        while (to != ends.cend() && to->connector == from->connector) ++to;
        if (to - from > 1) {
            Records::Shared shared;
            shared.connector = parts[from->system] + QLatin1Char(' ') + parts[from->pin];
            shared.connector.replace(QLatin1Char('|'), QLatin1Char(' '));
            for (auto e = from; e != to; ++e) shared.on << links[size_t(e->link)];
            std::stable_sort(shared.on.begin(), shared.on.end(),
                             [](const Link& x, const Link& y) { return x.cableId < y.cableId; });
            for (const Link& l : std::as_const(shared.on)) shared.numbers << l.number->displayed();
            shared.numbers.sort();
            r->shared.push_back(std::move(shared));
        }
        from = to;
    }

    for (const db::SystemRecord& s : db::SystemTable(registry_).all())
        r->systems << Records::SystemRow{s.id, equipment::fullSystemName(s.name, s.number)};
    for (qint64 id : db::EquipmentModelTable(registry_).ids())
        r->models.insert(QString::number(id));
    r->positions = db::JackPositionTable(registry_).assigned();
    r->plans = equipment::RackBook(registry_).plans();
    records_ = std::move(r);
}

QList<Finding> ProjectCheck::run(const ProjectScan& scan) {
    QList<Finding> out;
    auto add = [&out](FindingKind kind, const QString& drawing, const QString& handle,
                      const QString& rec, const QString& text) -> Finding& {
        Finding f;
        f.kind = kind;
        f.drawing = drawing;
        f.handle = handle;
        f.record = rec;
        f.text = text;
        out << f;
        return out.last();
    };

    // The records are read for this run only (another run reads them again).
    std::unique_ptr<Records> records = std::move(records_);
    // Without drawings the records have nothing to be held against.
    if (scan.drawings.empty()) {
        add(FindingKind::NoDrawings, {}, {}, {},
            QStringLiteral("The project has no registered drawings: nothing can be checked."));
        return out;
    }
    if (!records) {
        readRecords();
        records = std::move(records_);
    }
    const Records& rec = *records;
    const std::vector<db::CableEnds>& rows = rec.rows;

    // The drawings.
    std::vector<DrawnCable> drawn;
    drawn.reserve(rows.size());
    QSet<QString> systemsUsed;
    QSet<QString> positionsHeld;  // "TITLE|RowColID"
    for (const ScannedDrawing& d : scan.drawings) {
        if (d.status == ScannedDrawing::Status::Missing) {
            add(FindingKind::MissingDrawing, d.title, {}, {},
                QStringLiteral("The registered drawing %1 is missing.").arg(d.path));
            continue;
        }
        if (d.status == ScannedDrawing::Status::Unreadable) {
            add(FindingKind::UnreadableDrawing, d.title, {}, {},
                QStringLiteral("The drawing %1 cannot be read: %2").arg(d.path, d.error));
            continue;
        }
        for (const ScannedCable& c : d.cables) {
            bool numeric = false;
            const qint64 id = c.ref1.toLongLong(&numeric);
            if (c.ref1.isEmpty() || !numeric) {
                add(FindingKind::UnassignedCable, d.title, c.handle, {},
                    QStringLiteral("The cable is drawn but was never assigned."));
                continue;
            }
            drawn.push_back(DrawnCable{id, &d, &c});
            const db::CableEnds* row = rec.rowOf(id);
            if (!row || row->available) {
                add(FindingKind::UnassignedCable, d.title, c.handle, record("tblCables", id),
                    QStringLiteral("The cable refers to cable row %1, which is no longer "
                                   "assigned.")
                        .arg(id));
                continue;
            }
            if (row->multiCore) continue;  // its texts show the core it took
            for (int i = 0; i < c.texts.size(); ++i) {
                if (c.texts[i].isNull() || shows(c.texts[i], row->number)) continue;
                const QString expected = row->number.displayed();
                Finding& f = add(FindingKind::StaleNumberText, d.title, c.textHandles[i],
                                 record("tblCables", id),
                                 QStringLiteral("The number text reads \"%1\"; its cable's row "
                                                "has %2.")
                                     .arg(c.texts[i], expected));
                f.cableId = id;
                f.textHandle = c.textHandles[i];
                f.expectedText = expected;
            }
        }
        for (const ScannedBlock& b : d.blocks) {
            if (b.kind == tag::kind::EquipmentBlock || b.kind == tag::kind::DABlock) {
                const QString name = b.name.trimmed();
                if (name.isEmpty() ||
                    name.compare(QLatin1String("SysName"), Qt::CaseInsensitive) == 0 ||
                    b.ref2.isEmpty())
                    add(FindingKind::NoSystemName, d.title, b.handle, {},
                        QStringLiteral("The %1 block has no system name.").arg(b.blockName));
                if (!b.ref2.isEmpty()) systemsUsed.insert(b.ref2);
                if (!rec.models.contains(b.ref1))
                    add(FindingKind::OrphanedBlock, d.title, b.handle,
                        b.ref1.isEmpty() ? QString() : QStringLiteral("tblEquipment ") + b.ref1,
                        QStringLiteral("The %1 block's model (EquipmentID %2) is not in the "
                                       "equipment library.")
                            .arg(b.blockName, b.ref1));
            } else if (b.kind == tag::kind::Jack) {
                for (const QString& ref : {b.ref2, b.ref3})
                    if (!ref.isEmpty()) positionsHeld.insert(upper(d.title) + '|' + ref);
            } else if (b.kind == tag::kind::Pointer) {
                if (b.assoc.isEmpty()) {
                    add(FindingKind::UnlinkedPointer, d.title, b.handle, {},
                        QStringLiteral("The %1 is not linked to a partner.").arg(b.blockName));
                    continue;
                }
                const QString sheet = b.sheet.trimmed().isEmpty() ? d.title : b.sheet.trimmed();
                const ScannedDrawing* other = scan.drawing(sheet);
                if (!other) {
                    add(FindingKind::PointerSheetUnregistered, d.title, b.handle, {},
                        QStringLiteral("The %1's partner is on %2, which is not a registered "
                                       "drawing of the project.")
                            .arg(b.blockName, sheet));
                } else if (other->status == ScannedDrawing::Status::Read &&
                           !other->pointer(b.assoc)) {
                    add(FindingKind::PointerPartnerGone, d.title, b.handle, {},
                        QStringLiteral("The %1's partner %2 is not on %3.")
                            .arg(b.blockName, b.assoc, other->title));
                }
            }
        }
    }

    // The records against the drawings: the drawn cables by cable ID, each ID's in the order
    // they were met.
    std::stable_sort(drawn.begin(), drawn.end(),
                     [](const DrawnCable& x, const DrawnCable& y) { return x.id < y.id; });
    auto drawnAs = [&drawn](qint64 id) {
        return std::equal_range(
            drawn.begin(), drawn.end(), DrawnCable{id, nullptr, nullptr},
            [](const DrawnCable& x, const DrawnCable& y) { return x.id < y.id; });
    };
    for (const db::CableEnds& r : rows) {
        if (r.available) continue;
        if (const auto [from, to] = drawnAs(r.id); from != to) continue;
        // A row of a drawing that could not be read may well be drawn there.
        const ScannedDrawing* sheet = scan.drawing(r.sheet);
        if (sheet && sheet->status != ScannedDrawing::Status::Read) continue;
        Finding& f = add(FindingKind::OrphanedCableRow, r.sheet, {}, record("tblCables", r.id),
                         QStringLiteral("Cable %1 (%2 %3 to %4 %5) is in no drawing.")
                             .arg(r.number.displayed(), r.sourceSystem, r.sourcePin,
                                  r.destinationSystem, r.destinationPin));
        f.cableId = r.id;
    }
    for (auto group = drawn.cbegin(); group != drawn.cend();) {
        const qint64 id = group->id;
        const auto end =
            std::find_if(group, drawn.cend(), [id](const DrawnCable& c) { return c.id != id; });
        const db::CableEnds* row = rec.rowOf(id);
        if (!row || !row->multiCore) {  // a multicore's cores are drawn apart
            const DrawnCable* first = nullptr;
            for (auto c = group; c != end; ++c) {
                if (c->cable->continuing) continue;  // beyond a pointer the cable goes on
                if (!first) {
                    first = &*c;
                    continue;
                }
                add(FindingKind::DuplicateCableId, c->drawing->title, c->cable->handle,
                    record("tblCables", id),
                    QStringLiteral("Cable ID %1 is also on cable %2 of %3.")
                        .arg(id)
                        .arg(first->cable->handle, first->drawing->title));
            }
        }
        group = end;
    }
    for (const Records::SystemRow& s : rec.systems)
        if (!systemsUsed.contains(QString::number(s.id)))
            add(FindingKind::SystemWithoutBlock, {}, {}, record("tblSystems", s.id),
                QStringLiteral("System %1 has no block in any drawing.").arg(s.name));
    for (const Records::Shared& shared : rec.shared) {
        const Link& second = shared.on[1];
        QString handle;
        QString sheet = *second.sheet;
        const auto [from, to] = drawnAs(second.cableId);
        for (auto c = from; c != to; ++c)
            if (!c->cable->continuing) {
                handle = c->cable->handle;
                sheet = c->drawing->title;
                break;
            }
        add(FindingKind::DoubleWired, sheet, handle, record("tblCables", second.cableId),
            QStringLiteral("%1 is wired by %2.")
                .arg(shared.connector, shared.numbers.join(QStringLiteral(", "))));
    }
    for (const db::AssignedPosition& held : rec.positions) {
        const db::JackPosition& p = held.position;
        const qint64 id = p.id;
        const QString sheet = p.sheet.trimmed();
        const ScannedDrawing* d = sheet.isEmpty() ? nullptr : scan.drawing(sheet);
        if (d && d->status != ScannedDrawing::Status::Read) continue;  // told already
        if (d && positionsHeld.contains(upper(sheet) + '|' + QString::number(id))) continue;
        add(FindingKind::UnheldJackPosition, sheet, {}, record("tblJFRowCol", id),
            QStringLiteral("Jack %1-%2 %3-%4 is marked assigned on %5, where no jack holds "
                           "it.")
                .arg(held.sysName, equipment::sysNumText(int(held.number)), p.row, p.column,
                     sheet.isEmpty() ? QStringLiteral("no sheet") : sheet));
    }

    for (const equipment::RackPlan& plan : rec.plans)
        for (const equipment::RackProblem& p : plan.problems)
            add(rackFindingKind(p.kind), {}, {}, record("tblSystems", p.sysId), p.text);

    std::stable_sort(out.begin(), out.end(), [](const Finding& a, const Finding& b) {
        if (a.kind != b.kind) return a.kind < b.kind;
        if (a.drawing != b.drawing) return a.drawing < b.drawing;
        if (a.handle != b.handle) return a.handle < b.handle;
        return a.record < b.record;
    });
    return out;
}

bool ProjectCheck::release(const Finding& finding, Ui& ui) {
    if (!finding.releasable()) return false;
    db::CableTable cables(registry_);
    const std::optional<db::CableRecord> row = cables.find(finding.cableId);
    if (!row || row->available) {
        ui.message(QStringLiteral("The cable row %1 is no longer assigned.").arg(finding.cableId),
                   MsgButtons::Ok, MsgIcon::Information);
        return false;
    }
    if (ui.message(QStringLiteral("%1\nRelease the row? Its number becomes free for reuse and "
                                  "its ends are cleared.")
                       .arg(finding.text),
                   MsgButtons::YesNo, MsgIcon::Question,
                   QStringLiteral("Release Cable Row")) != MsgButton::Yes)
        return false;
    db::Transaction t(db::DbId::Project, registry_);
    cables.release(finding.cableId);
    t.commit();
    return true;
}

bool ProjectCheck::correctText(const Finding& finding, Drawing& drawing) {
    if (!finding.correctable()) return false;
    const cad::Entity* text = drawing.document().find(finding.textHandle);
    if (!text || text->kind != cad::EntityKind::Text) return false;
    cad::UndoGroup group(drawing.undo());
    const bool changed = drawing.editor().modify(
        text->handle, [&](cad::Entity& e) { e.text = finding.expectedText; });
    group.commit();
    return changed;
}

}  // namespace tolvane::wiring
