#include "wiring/cable_assignment.h"

#include <QDateTime>
#include <QFileInfo>

#include "cad/picking.h"
#include "db/locks.h"
#include "db/records/cables.h"
#include "db/records/manufacturers.h"
#include "db/records/project_identity.h"
#include "db/records/revisions.h"
#include "db/records/signal_types.h"
#include "drawings/commit.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "equipment/cable_catalogue.h"
#include "equipment/library_access.h"
#include "shell/event_log.h"
#include "ui/ui.h"
#include "wiring/cable_drawing.h"
#include "wiring/cable_numbers.h"
#include "wiring/end_resolver.h"
#include "wiring/pointers.h"
#include "wiring/revisions.h"

namespace tolvane::wiring {

namespace {

// The fields of an end string, always six.
QStringList fieldsOf(const QString& end) {
    QStringList f;
    for (int k = 0; k < 6; ++k) f << tag::field(end, k);
    return f;
}

db::CableEnd sourceOf(const CableSettings& s) {
    return {s.sourceSystem, s.sourceConnector, s.sourcePin, s.sourceLocation, s.sourceAlias};
}

db::CableEnd destinationOf(const CableSettings& s) {
    return {s.destinationSystem, s.destinationConnector, s.destinationPin, s.destinationLocation,
            s.destinationAlias};
}

// The row as the settings describe it, in use: its ends, types, sheet, length (the number
// typed, or none) and integrator.
db::CableRecord recordOf(const CableSettings& s, const QString& sheet) {
    db::CableRecord r;
    r.number = s.cableNumber();
    r.source = sourceOf(s);
    r.destination = destinationOf(s);
    r.manufacturer = s.manufacturer;
    r.cableType = s.cableType;
    r.signalType = s.signalType;
    r.sheet = sheet;
    bool ok = false;
    const double length = s.length.trimmed().toDouble(&ok);
    if (ok) r.length = length;
    r.integrator = s.integrator;
    r.modified = QDateTime::currentDateTime();
    return r;
}

// The system name an equipment block carries before it is named.
const QString kUnnamedSystem = QStringLiteral("SysName");

}  // namespace

void AssignmentState::startCable() {
    cancelled = false;
    reassign = false;
    secondPass = false;
    presetNumber.clear();
    parentNumber.clear();
    presetCore = {};
    duplicateCheck.clear();
    cableId = 0;
}

// ---- the existing-assignment window ----------------------------------------------------

QString AssignmentOptions::explanation(const ExistingAssignment& a) {
    return a.sourceSide ? QStringLiteral(
                              "The source: %1 > %2 is already assigned to Cable "
                              "Number: %3. How would you like to proceed?")
                              .arg(a.sourceSystem, a.sourcePin, a.number.stored())
                        : QStringLiteral(
                              "The destination: %1 > %2 is already assigned to Cable "
                              "Number: %3. How would you like to proceed?")
                              .arg(a.destinationSystem, a.destinationPin, a.number.stored());
}

QStringList AssignmentOptions::captions(const ExistingAssignment& a) {
    // The end that moves to the number is the other one than the end already wired.
    const QString n = a.number.stored();
    const QString s = a.sourceSide ? a.sourceSystem : a.destinationSystem;
    const QString p = a.sourceSide ? a.sourcePin : a.destinationPin;
    const QString keep = a.sourceSide
                             ? QStringLiteral("KEEP IT -- Re-assign cable number: %1 to %2 > %3")
                                   .arg(n, a.destinationSystem, a.destinationPin)
                             : QStringLiteral("KEEP IT -- Re-Assign %1 to %2 > %3")
                                   .arg(n, a.sourceSystem, a.sourcePin);
    return {
        QStringLiteral("Display the project database (this will cancel assignment)"),
        keep,
        QStringLiteral("NEW NUMBER -- Assign %1 > %2 to a new or existing available cable "
                       "number. This will de-assign %3 and make it available for future use.")
            .arg(s, p, n),
        QStringLiteral("Assign %1 - %2 to un-assigned existing single core cable number").arg(s, p),
        QStringLiteral("Assign %1 - %2 to un-assigned existing multicore cable number").arg(s, p),
        QStringLiteral("Cancel Assignment")};
}

QStringList AssignmentOptions::singleCoreNumbers(const QString& prefix) {
    return db::CableTable(registry_).freeNumbers(prefix);
}

QStringList AssignmentOptions::multicoreNumbers() {
    return db::CableTable(registry_).multicoreNumbers();
}

void AssignmentOptions::log(const QString& line) {
    if (log_ && log_->enabled()) log_->log(line);
}

bool AssignmentOptions::freeRow(const ExistingAssignment& a, int option) {
    const QString where =
        QStringLiteral("opt(%1)%2").arg(option).arg(a.multicore ? u"Multi" : u"Single");
    const auto refused = [&](qsizetype count) {
        ui_.message(QStringLiteral("RsMaster.Recordcount = %1 record(s) in [%2]. This could be "
                                   "because there is more than one record matching the search "
                                   "criteria or you have the wrong version of Microsoft JET 4.0 "
                                   "SP5. Records not updated")
                        .arg(count)
                        .arg(where),
                    MsgButtons::Ok, MsgIcon::Warning);
        return false;
    };
    if (a.multicore) {
        db::CoreTable cores(registry_);
        const QList<db::CoreRecord> rows = cores.withNumber(a.core.stored());
        if (rows.size() != 1) return refused(rows.size());
        cores.release(rows.first());
        return true;
    }
    db::CableTable cables(registry_);
    const QList<db::CableRecord> rows = cables.withNumber(a.number);
    if (option == 1) {
        log(QStringLiteral("OPT1[single] Q: the cables numbered %1").arg(a.number.displayed()));
        log(QStringLiteral("OPT1[single] Prefix: ") + a.number.prefix());
        log(QStringLiteral("OPT1[single] CableNO: ") + a.number.stored());
        log(QStringLiteral("OPT1[single] rsMAS.RecordCount: ") + QString::number(rows.size()));
    }
    if (rows.size() != 1) return refused(rows.size());
    cables.release(rows.first().id);
    return true;
}

void AssignmentOptions::apply(ExistingOption option, const ExistingAssignment& a,
                              const QString& chosen, AssignmentState& state) {
    const auto tooMany = [&](const char* where) {
        ui_.message(QStringLiteral("This operation retreived more than one record [%1]. "
                                   "Records not updated")
                        .arg(QLatin1String(where)),
                    MsgButtons::Ok, MsgIcon::Warning);
    };
    switch (option) {
        case ExistingOption::ShowDatabase:
        case ExistingOption::Cancel:
            state.cancelled = true;
            return;
        case ExistingOption::Keep:
        case ExistingOption::NewNumber: {
            const bool keep = option == ExistingOption::Keep;
            if (!freeRow(a, keep ? 1 : 2)) return;
            state.presetNumber = keep && !a.multicore ? a.number.stored() : QString();
            if (a.multicore) {
                // The freed core's number may still stand on the sheet.
                state.duplicateCheck = a.core.displayed();
                if (keep) {
                    // The settings window opens on the cable, with the freed core offered,
                    // and is shown a second time.
                    state.reassign = true;
                    state.secondPass = true;
                    state.parentNumber = a.core.number();
                    const QList<db::CoreRecord> freed =
                        db::CoreTable(registry_).withNumber(a.core.stored());
                    state.presetCore = freed.value(0);
                }
            } else if (keep) {
                state.reassign = false;
                state.parentNumber.clear();
            }
            return;
        }
        case ExistingOption::ExistingSingle: {
            if (chosen.isEmpty()) return;
            const QList<db::CableRecord> rows =
                db::CableTable(registry_).withNumber(db::CableNumber(a.number.prefix(), chosen));
            if (rows.size() > 1) return tooMany("opt(3)multi");
            state.presetNumber = chosen;
            return;
        }
        case ExistingOption::ExistingMulticore: {
            if (chosen.isEmpty()) return;
            // The multicore cable is looked for without a prefix, then its row among the cores.
            if (db::CableTable(registry_).withNumber(db::CableNumber(QString(), chosen)).size() > 1)
                return tooMany("opt(4)Single");
            if (db::CoreTable(registry_).withNumber(chosen).size() > 1)
                return tooMany("opt(4)Multi");
            state.presetNumber = chosen;
            state.reassign = true;
            state.secondPass = true;
            state.parentNumber = chosen;
            return;
        }
    }
}

// ---- the row ---------------------------------------------------------------------------

QString CableWriter::multicoreQuestion() {
    return QStringLiteral(
        "This function will create a cable entry for \r\nevery core in the cable type - "
        "appending the Pair Data to the \r\ncable number, and filling in the first core with "
        "the available \r\ndata and marking the others as available for use. To use the other "
        "cores,\r\nselect them from the available field on Verify Setting dialog. Proceed?");
}

QString CableWriter::prefixOf(const QString& signalType) {
    if (signalType.isEmpty()) return {};
    const QList<db::SignalTypeRecord> types = db::SignalTypeTable(registry_).withType(signalType);
    return types.isEmpty() ? QString() : types.first().cableNoPrefix;
}

CableSettings CableWriter::defaults(const QStringList& src, const QStringList& dst,
                                    const QString& signalType, const QString& presetNumber,
                                    const db::Preferences& prefs) {
    CableSettings s;
    s.sourceSystem = src.value(0);
    s.sourcePin = src.value(1);
    s.sourceConnector = src.value(2);
    s.sourceLocation = src.value(3);
    s.sourceAlias = src.value(5);
    s.destinationSystem = dst.value(0);
    s.destinationPin = dst.value(1);
    s.destinationConnector = dst.value(2);
    s.destinationLocation = dst.value(3);
    s.destinationAlias = dst.value(5);
    s.signalType = signalType;
    s.prefix = prefixOf(signalType);
    s.manufacturer = prefs.value(db::pref::CableTypeDefManu).toString();
    s.cableType = prefs.value(db::pref::CableTypeDefPn).toString();
    if (!signalType.isEmpty()) {
        // The signal type's default cable, where it names one, before the preference's.
        const QList<db::SignalTypeRecord> types =
            db::SignalTypeTable(registry_).withType(signalType);
        if (!types.isEmpty()) {
            if (!types.first().cableManu.isEmpty()) s.manufacturer = types.first().cableManu;
            if (!types.first().cableType.isEmpty()) s.cableType = types.first().cableType;
        }
    }
    bool ok = false;
    const qint64 start = prefs.value(db::pref::CablesStartNo).toLongLong(&ok);
    s.number = presetNumber.isEmpty() ? CableNumbers(registry_).next(s.prefix, ok ? start : 1)
                                      : presetNumber;
    return s;
}

QString CableWriter::refusal(const CableSettings& s) {
    if (s.coreId) return {};
    const db::CableNumber number = s.cableNumber();
    const QList<db::CableRecord> rows = db::CableTable(registry_).withNumber(number);
    const bool reusable = !rows.isEmpty() && rows.first().available;
    if (!reusable && !db::CableNumber::isWellFormed(number.stored()))
        return QStringLiteral("The cable number \"%1\" is not a number. Enter digits only.")
            .arg(number.stored());
    for (const db::CableRecord& r : rows)
        if (!r.available) return numberInUse(number);
    // A freed number issued in a revision stays with the cable the revision lists.
    if (reusable)
        if (const std::optional<qint64> issued = db::RevisionTable(registry_).issuedWith(number))
            return numberRetired(number, *issued);
    return {};
}

std::optional<CableWriter::Plan> CableWriter::plan(const CableSettings& s) {
    if (const QString why = refusal(s); !why.isEmpty()) {
        ui_.message(why, MsgButtons::Ok, MsgIcon::Warning);
        return std::nullopt;
    }
    Plan plan;
    plan.settings = s;
    if (s.coreId) return plan;  // a free core of an existing cable: no cores to build

    // A multicore type builds its cores.
    equipment::CableCatalogue catalogue(equipment::LibraryAccess(ui_, registry_));
    const std::optional<QString> manufacturerId =
        db::ManufacturerTable(registry_).idNamed(s.manufacturer);
    const std::optional<qint64> typeId =
        manufacturerId ? catalogue.idOf(*manufacturerId, s.cableType) : std::nullopt;
    const std::optional<db::CableTypeRecord> type =
        typeId ? catalogue.cableType(*typeId) : std::nullopt;
    plan.multiCore = type && type->multicore;
    if (plan.multiCore) {
        if (ui_.message(multicoreQuestion(), MsgButtons::YesNo, MsgIcon::Question,
                        QStringLiteral("Build Multi-core Structure")) != MsgButton::Yes)
            return std::nullopt;
        plan.cores = catalogue.cores(*typeId);
    }
    return plan;
}

qint64 CableWriter::write(const Plan& plan, const QString& sheet, const QString& createdBy) {
    const CableSettings& s = plan.settings;
    if (s.coreId) {
        // A free core of an existing multicore cable takes this cable's ends.
        db::CoreRecord core;
        core.id = s.coreId;
        core.source = sourceOf(s);
        core.destination = destinationOf(s);
        core.integrator = s.integrator;
        core.sheet = sheet;
        db::CoreTable cores(registry_);
        cores.assign(core);
        return cores.parentOf(s.coreId).value_or(0);
    }

    const bool multiCore = plan.multiCore;
    const QList<db::CableCoreRecord>& cores = plan.cores;
    db::CableTable cables(registry_);
    db::CableRecord row = recordOf(s, sheet);
    const QList<db::CableRecord> rows = cables.withNumber(row.number);
    if (!rows.isEmpty()) {
        row.id = rows.first().id;  // a freed number: its row is used again
        cables.reassign(row);
        if (multiCore) cables.setMultiCore(row.id, true);
    } else {
        // The project's revision, as its identification row holds it.
        if (const std::optional<db::ProjectRevisions> revisions =
                db::ProjectIdentityTable(registry_).revisions()) {
            row.currentRevision = revisions->current;
            row.projectRevision = revisions->project;
        }
        row.multiCore = multiCore;
        row.availableCores = multiCore;
        row.originated = row.modified;
        row.createdBy = createdBy;
        row.id = cables.insert(row);
    }
    QList<db::CoreRecord> coreRows;
    for (int i = 0; i < cores.size(); ++i) {
        // The core's suffix: its marking, as two digits when it is a number.
        const QString marking =
            cores[i].marking.isEmpty() ? cores[i].numberText() : cores[i].marking;
        bool numeric = false;
        const int value = marking.toInt(&numeric);
        const QString suffix = numeric && !marking.isEmpty() && marking[0].unicode() < 61
                                   ? QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'))
                                   : marking;
        // The first core carries the cable's ends; the others are left free.
        db::CoreRecord core;
        core.number = db::CableNumber::ofCore(s.prefix, row.number.stored(), suffix);
        core.parentId = row.id;
        if (i == 0) {
            core.source = row.source;
            core.destination = row.destination;
            core.integrator = s.integrator;
            core.sheet = sheet;
        }
        core.available = i != 0;
        coreRows << core;
    }
    db::CoreTable(registry_).insert(coreRows);
    if (multiCore) cables.setAvailableCores(row.id, cores.size() > 1);
    return row.id;
}

QStringList signalTypeNames(db::Connections& registry) {
    return db::SignalTypeTable(registry).names();
}

// ---- the command -----------------------------------------------------------------------

namespace {

class Assignment {
  public:
    Assignment(Drawing& drawing, const AssignCablesRun& run, const db::Preferences& prefs)
        : drawing_(drawing), run_(run), prefs_(prefs) {}
    bool assign(const QString& handle);

  private:
    void log(const QString& line) {
        if (run_.log && run_.log->enabled()) run_.log->log(line);
    }
    bool stop(const QString& message) {
        run_.ui.message(message, MsgButtons::Ok, MsgIcon::Information);
        return false;
    }
    const cad::Entity* insertNear(QPointF at, std::initializer_list<QPointF> offsets);
    bool flag(const QString& column, bool fallback) const { return prefs_.flag(column, fallback); }
    // The texts elsewhere in the drawing that show the number already and that the user
    // agrees to clear (asked for each).
    QStringList duplicatesToClear(const QString& displayed, const QString& assoc);
    void updateTexts(const QString& handle, const QString& displayed);

    Drawing& drawing_;
    const AssignCablesRun& run_;
    const db::Preferences& prefs_;
};

const cad::Entity* Assignment::insertNear(QPointF at, std::initializer_list<QPointF> offsets) {
    for (QPointF o : offsets)
        if (const cad::Entity* e = insertAt(drawing_, at + o, 0.1)) return e;
    return nullptr;
}

QStringList Assignment::duplicatesToClear(const QString& displayed, const QString& assoc) {
    const QStringList own = assoc.split(QLatin1Char('|'));
    QStringList same, cleared;
    for (const cad::Entity& e : drawing_.space().entities)
        if (e.kind == cad::EntityKind::Text && e.text == displayed && !own.contains(e.handle))
            same << e.handle;
    for (const QString& h : same)
        if (run_.ui.message(QStringLiteral("The cable number: %1 exists in this drawing. Do you "
                                           "want to clear it.")
                                .arg(displayed),
                            MsgButtons::YesNo, MsgIcon::Question) == MsgButton::Yes)
            cleared << h;
    return cleared;
}

void Assignment::updateTexts(const QString& handle, const QString& displayed) {
    const cad::Entity* cable = drawing_.document().find(handle);
    const QString assoc = tag::assoc(*cable);
    const QList<cad::Vertex> vertices = cable->vertices;
    const int bar = assoc.indexOf(QLatin1Char('|'));
    QStringList texts = {assoc.left(bar < 0 ? assoc.size() : bar),
                         bar < 0 ? QString() : assoc.mid(bar + 1)};
    for (int end = 0; end < 2; ++end) {
        const cad::Entity* t =
            texts[end].isEmpty() ? nullptr : drawing_.document().find(texts[end]);
        if (t && t->kind == cad::EntityKind::Text) continue;
        // Gone (or not a text): the number text where drawing placed it, beside the end.
        const QPointF at = end == 0 ? vertices.first().pos : vertices.last().pos;
        texts[end].clear();
        for (const cad::Entity& e : drawing_.space().entities) {
            if (e.kind != cad::EntityKind::Text || tag::kindOf(e) != tag::kind::CableNo) continue;
            const QPointF p = e.hAlign ? e.end : e.start;
            if (std::abs(p.y() - (at.y() + 0.03)) < 0.05 && std::abs(p.x() - at.x()) < 3.5) {
                texts[end] = e.handle;
                break;
            }
        }
    }
    for (const QString& t : texts)
        if (!t.isEmpty()) drawing_.editor().modify(t, [&](cad::Entity& e) { e.text = displayed; });
    const QString fixed = texts.join(QLatin1Char('|'));
    drawing_.editor().modify(handle, [&](cad::Entity& e) {
        if (fixed != assoc && !texts[0].isEmpty() && !texts[1].isEmpty()) tag::setAssoc(e, fixed);
        e.tooltip = QStringLiteral("Cable#: ") + displayed;
    });
}

bool Assignment::assign(const QString& handle) {
    AssignmentState& state = run_.state;
    state.startCable();
    Ui& ui = run_.ui;
    log(QString(60, QLatin1Char('/')));
    log(QStringLiteral("/Assigning Cable"));
    log(QString(60, QLatin1Char('/')));

    log(QStringLiteral("Testing for xdata"));
    const cad::Entity* cable = handle.isEmpty() ? nullptr : drawing_.document().find(handle);
    if (!cable) return stop(QStringLiteral("Cable assignment failed. Please try again."));
    const cad::XData* x = cable->xdataFor(tag::kApp);
    if (!tag::isOwn(*cable) || !x || x->count() != tag::itemNames().size())
        return stop(
            QStringLiteral("This cable is not a Tolvane cable.\r\nPlease redraw the "
                           "cable using the Draw Cables function."));
    if (cable->kind != cad::EntityKind::Polyline || cable->vertices.size() < 2) return false;
    const QPointF first = cable->vertices.first().pos;
    const QPointF last = cable->vertices.last().pos;

    log(QStringLiteral("Getting Source and Dest"));
    EndResolver resolver(drawing_, ui, run_.log, {flag(db::pref::AutoAlias, false), 0.1},
                         run_.registry);
    const QString sourceText = resolver.source(first);
    const QString sourceBlock = resolver.block();
    QString destinationText = resolver.destination(last);
    const QString destinationBlock = resolver.block();
    const QStringList source = fieldsOf(sourceText);
    state.signalType = source[4];

    log(QStringLiteral("Checking for left pointer"));
    const cad::Entity* from = insertNear(first, {{-0.5, 0}, {0.5, 0}, {0, 0}});
    if (!from)
        return stop(
            QStringLiteral("No equipment is attached to the source side of this cable. "
                           "Please re-cable and re-assign"));
    if (from->blockName->compare(QLatin1String("POINTER_S"), Qt::CaseInsensitive) == 0)
        return stop(
            QStringLiteral("Please select the cable on the source side of this Pointer "
                           "set and re-assign."));
    log(QStringLiteral("checking for right pointer"));
    // The destination is the block the resolver found beside the last vertex (under the cable
    // itself when it arrives from the right).
    const cad::Entity* to =
        destinationBlock.isEmpty() ? nullptr : drawing_.document().find(destinationBlock);
    if (!to)
        return stop(
            QStringLiteral("No equipment is attached to the destination side of this "
                           "cable. Please re-cable and re-assign"));
    const bool pointer =
        to->blockName->compare(QLatin1String("POINTER_D"), Qt::CaseInsensitive) == 0;
    const QString toHandle = to->handle;  // entities may move while the cable is assigned
    if (pointer) {
        destinationText = run_.pointers ? run_.pointers->otherSide(drawing_, toHandle) : QString();
        if (destinationText.isEmpty()) {
            const cad::Entity* sheet =
                drawing_.document().find(toHandle)->attribute(QStringLiteral("DSht"));
            return stop(QStringLiteral("Unable to retrieve other pointer.\r\nBe sure the drawing: "
                                       "%1 is open,\r\nand that the pointer exists. Operation "
                                       "cancelled")
                            .arg(sheet ? sheet->text : QString()));
        }
        log(QStringLiteral("Got right pointer"));
    }
    // An end the resolver could not read was reported there, unless no block was found or
    // the block takes no cable at that end.
    const auto unread = [&](const QString& block, End end) {
        const bool source = end == End::Source;
        const cad::Entity* insert = block.isEmpty() ? nullptr : drawing_.document().find(block);
        if (!insert)
            return stop(source ? QStringLiteral("No equipment is attached to the source side of "
                                                "this cable. Please re-cable and re-assign")
                               : QStringLiteral("No equipment is attached to the destination "
                                                "side of this cable. Please re-cable and "
                                                "re-assign"));
        if (endKind(insert->blockName, end) == EndKind::Refused)
            return stop(QStringLiteral("The block %1 cannot be the %2 of a cable.")
                            .arg(insert->blockName, source ? QStringLiteral("source")
                                                           : QStringLiteral("destination")));
        return false;
    };
    if (sourceText.isEmpty()) return unread(sourceBlock, End::Source);
    if (destinationText.isEmpty()) return unread(destinationBlock, End::Destination);

    log(QStringLiteral("parsing dest string"));
    const QStringList destination = fieldsOf(destinationText);

    log(QStringLiteral("setting up the signal type"));
    CableWriter writer(ui, run_.registry);
    const QString type = !source[4].isEmpty() ? source[4] : destination[4];

    log(QStringLiteral("warn user of unassigned systems"));
    if (source[0] == kUnnamedSystem)
        return stop(QStringLiteral("Please Assign Sysname to Source Equipment Block"));
    if (destination[0] == kUnnamedSystem)
        return stop(QStringLiteral("Please Assign Sysname to Destination Equipment Block"));

    log(QStringLiteral("Query for assigned"));
    db::CableTable cables(run_.registry);
    for (const bool sourceSide : {true, false}) {
        const std::optional<db::CableRecord> wired = cables.firstAt(
            sourceSide ? db::CableSide::Source : db::CableSide::Destination,
            sourceSide ? source[0] : destination[0], sourceSide ? source[1] : destination[1]);
        if (!wired) continue;
        ExistingAssignment a{.sourceSide = sourceSide,
                             .sourceSystem = source[0],
                             .sourcePin = source[1],
                             .destinationSystem = destination[0],
                             .destinationPin = destination[1],
                             .number = wired->number,
                             .multicore = false,
                             .core = {}};
        a.multicore = wired->multiCore || !wired->number.coreSuffix().isEmpty();
        if (a.multicore && wired->number.coreSuffix().isEmpty()) {
            // The cable's ends are its first core's: the core at the pin stands for it.
            const db::CableSide side =
                sourceSide ? db::CableSide::Source : db::CableSide::Destination;
            for (const db::CoreRecord& c :
                 db::CoreTable(run_.registry)
                     .inUseAt(side, sourceSide ? source[0] : destination[0],
                              sourceSide ? source[1] : destination[1]))
                if (c.parentId == wired->id) a.core = c.number;
            // No core holds the pin any more (its core was freed): the pin is not wired.
            if (a.core.stored().isEmpty()) continue;
        } else if (a.multicore) {
            a.core = wired->number;
        }
        if (run_.existing) run_.existing(a, state);
        if (state.cancelled) return false;
    }

    log(QStringLiteral("loading verify settings form"));
    // The cable's signal type is its source's, else its destination's.
    CableSettings settings = writer.defaults(source, destination, type, state.presetNumber, prefs_);
    if (state.presetCore.id) {
        // The freed core of a multicore cable is offered again.
        settings.coreId = state.presetCore.id;
        settings.prefix = state.presetCore.number.prefix();
        settings.number = state.presetCore.number.stored();
    }
    const bool show = flag(db::pref::CablesVerifySettings, true);
    const QString sheet = QFileInfo(drawing_.path()).fileName();
    for (int pass = 0; pass < (state.secondPass ? 2 : 1); ++pass) {
        if (show && run_.verify && !run_.verify(settings, state)) return false;
        if (state.cancelled) return false;
    }

    // Every question before anything is written.
    const std::optional<CableWriter::Plan> plan = writer.plan(settings);
    if (!plan) return false;
    const db::CableNumber number = settings.cableNumber();
    const QString assoc = tag::assoc(*drawing_.document().find(handle));
    QStringList cleared;
    if (!state.duplicateCheck.isEmpty() && state.duplicateCheck != number.displayed())
        cleared = duplicatesToClear(state.duplicateCheck, assoc);
    cleared += duplicatesToClear(number.displayed(), assoc);

    // Then the row and the drawing change together.
    Commit change(db::DbId::Project, run_.registry, drawing_.undo());
    state.cableId =
        writer.write(*plan, sheet.isEmpty() ? drawing_.untitledName() : sheet, run_.userName);
    state.signalType = settings.signalType;
    state.number = number;
    for (const QString& h : cleared)
        drawing_.editor().modify(h, [](cad::Entity& e) { e.text = QStringLiteral("Cable#"); });

    log(QStringLiteral("Color NUmber"));
    applySignalType(drawing_, handle, settings.signalType, flag(db::pref::CableColorLine, true),
                    flag(db::pref::CableColorText, true), run_.registry);
    drawing_.editor().modify(handle, [&](cad::Entity& e) {
        tag::setRef1(e, QString::number(state.cableId));
        if (state.reassign) tag::setRef2(e, QString::number(state.cableId));
    });
    log(QStringLiteral("Update cable text"));
    updateTexts(handle, state.number.displayed());
    bool otherSideUpdated = true;
    Drawing* partner = nullptr;
    if (pointer) {
        log(QStringLiteral("update cable on other side"));
        const Pointers::Assigned assigned{state.number,
                                          state.cableId,
                                          state.reassign,
                                          state.signalType,
                                          flag(db::pref::CableColorLine, true),
                                          flag(db::pref::CableColorText, true)};
        otherSideUpdated = run_.pointers &&
                           run_.pointers->updateOtherCable(drawing_, toHandle, assigned, &partner);
    }
    change.commit();
    // Said and saved once the records are kept: nothing waits on the user inside the change.
    if (!otherSideUpdated)
        ui.message(QStringLiteral("Unable to update other side of pointer"), MsgButtons::Ok,
                   MsgIcon::Warning);
    if (partner && partner != &drawing_ && run_.save && flag(db::pref::CableSaveEveryTime, false)) {
        ui.history(QStringLiteral("Saving Document"), true);
        run_.save(*partner);
    }
    log(QStringLiteral("Cleaning up"));
    log(QStringLiteral("/Done Assigning Cable"));
    return true;
}

}  // namespace

int assignCables(Drawing& drawing, const AssignCablesRun& run) {
    db::TableLock lock(db::cableLock(), run.shared, run.whoAmI, run.ui, run.registry);
    if (!lock.acquire()) return 0;
    QStringList cables;
    if (!run.picked.isEmpty()) {
        cables << run.picked;
    } else {
        const SelectionAnswer picked = run.ui.getSelection(QStringLiteral("Select Cables"),
                                                           cad::ofKind(cad::EntityKind::Polyline));
        if (picked.cancelled) {
            run.ui.history(QStringLiteral("Assignment Cancelled"), true);
            return 0;
        }
        for (const QString& h : drawing.entitiesOf(picked)) {
            const cad::Entity* e = drawing.document().find(h);
            if (e && e->kind == cad::EntityKind::Polyline) cables << e->handle;
        }
    }
    db::Preferences prefs(run.registry);
    prefs.load(run.userId);
    Assignment assignment(drawing, run, prefs);
    int assigned = 0;
    for (const QString& cable : cables) {
        if (!assignment.assign(cable)) {
            run.ui.history(QStringLiteral("Assignment Cancelled"), true);
            continue;
        }
        ++assigned;
        if (prefs.flag(db::pref::CableSaveEveryTime, false) && run.save) {
            run.ui.history(QStringLiteral("Saving Document"), true);
            run.save(drawing);
        }
    }
    lock.release();
    return assigned;
}

}  // namespace tolvane::wiring
