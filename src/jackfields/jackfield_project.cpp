#include "jackfields/jackfield_project.h"

#include <QFileInfo>
#include <QMap>
#include <QScopeGuard>

#include "cad/cad_error.h"
#include "cad/undo.h"
#include "db/preferences.h"
#include "drawings/commit.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "jackfields/jack_assignment.h"
#include "shell/app_error.h"
#include "ui/ui.h"

namespace tolvane::jackfields {

namespace {
// More than any patch panel has; keeps a mistyped size from writing millions of rows.
constexpr qint64 kMaxJacks = 10000;
}  // namespace

QString twoDigits(qint64 n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

std::optional<QChar> rowStartLetter(const QString& typed) {
    if (typed.isEmpty()) return std::nullopt;
    const QChar c = typed.at(0).toUpper();
    if (c.unicode() < 'A') return std::nullopt;
    return c;
}

QString refusal(const JackfieldModel& model, const ProjectJackfield& jf) {
    if (jf.sysName.trimmed().isEmpty()) return QStringLiteral("Enter a jackfield system name.");
    if (jf.number < 0) return QStringLiteral("The jackfield number cannot be negative.");
    if (model.rows < 1 || model.columns < 1)
        return QStringLiteral(
                   "The jackfield %1 has %2 rows and %3 columns: it needs at least "
                   "one of each.")
            .arg(model.name)
            .arg(model.rows)
            .arg(model.columns);
    if (qint64(model.rows) * model.columns > kMaxJacks)
        return QStringLiteral("The jackfield %1 has %2 jacks; at most %3 can be built.")
            .arg(model.name)
            .arg(qint64(model.rows) * model.columns)
            .arg(kMaxJacks);
    const int last = jf.rowStart.unicode() + model.rows - 1;
    if (jf.rowStart.unicode() < 'A' || last > 'Z')
        return QStringLiteral(
                   "Rows starting at %1 cannot letter %2 rows: the last would be past "
                   "Z. Choose an earlier row start letter.")
            .arg(jf.rowStart)
            .arg(model.rows);
    return {};
}

qint64 JackfieldProject::nextNumber(const QString& sysName) {
    const std::optional<qint64> last = db::JackfieldTable(registry_).highestNumber(sysName);
    return last ? *last + 1 : 1;
}

bool JackfieldProject::exists(const QString& sysName, qint64 number) {
    return db::JackfieldTable(registry_).find(sysName, number).has_value();
}

QStringList JackfieldProject::names() {
    return db::JackfieldTable(registry_).names();
}

namespace {
StoredJackfield storedOf(const db::JackfieldRecord& r) {
    StoredJackfield s;
    s.id = r.id;
    s.modelId = r.modelId;
    s.jf.sysName = r.sysName;
    s.jf.number = r.number;
    s.jf.location = r.location;
    s.jf.elevation = r.elevation;
    s.jf.signalType = r.signalType;
    s.jf.rowStart = r.rowStartLetter.isEmpty() ? QLatin1Char('A') : r.rowStartLetter.at(0);
    s.jf.columnStart = r.columnStart;
    s.rows = r.rows;
    s.columns = r.columns;
    return s;
}
}  // namespace

QList<StoredJackfield> JackfieldProject::ofName(const QString& sysName) {
    QList<StoredJackfield> out;
    for (const db::JackfieldRecord& r : db::JackfieldTable(registry_).named(sysName))
        out << storedOf(r);
    return out;
}

std::optional<StoredJackfield> JackfieldProject::find(const QString& sysName, qint64 number) {
    const std::optional<db::JackfieldRecord> r =
        db::JackfieldTable(registry_).find(sysName, number);
    if (!r) return std::nullopt;
    return storedOf(*r);
}

qint64 JackfieldProject::assign(const JackfieldModel& model, const ProjectJackfield& jf) {
    db::Transaction tx(db::DbId::Project, registry_);
    db::JackfieldRecord record;
    record.modelId = model.id;
    record.sysName = jf.sysName;
    record.number = jf.number;
    record.location = jf.location;
    record.elevation = jf.elevation;
    record.frontConn = model.frontConn;
    record.rearConn = model.rearConn;
    record.rows = model.rows;
    record.columns = model.columns;
    record.signalType = jf.signalType;
    record.rowStartLetter = QString(jf.rowStart);
    record.columnStart = jf.columnStart;
    const qint64 id = db::JackfieldTable(registry_).insert(record);
    // Row by row, columns left to right.
    QList<db::JackPosition> positions;
    for (int r = 0; r < model.rows; ++r) {
        const QString letter = QChar(jf.rowStart.unicode() + r);
        for (int k = 0; k < model.columns; ++k) {
            db::JackPosition p;
            p.rowNumber = r + 1;
            p.jackfieldId = id;
            p.row = letter;
            p.column = twoDigits(jf.columnStart + k);
            positions << p;
        }
    }
    db::JackPositionTable(registry_).insert(positions);
    tx.commit();
    return id;
}

QList<JackPlacement> buildLayout(int columns, QPointF origin, const BuildChoice& choice) {
    const QString stem = choice.style == QLatin1String("FN")   ? QStringLiteral("FN_JACK_")
                         : choice.style == QLatin1String("HN") ? QStringLiteral("HN_JACK_")
                                                               : QStringLiteral("JACK1_1_");
    struct Pass {
        QString suffix;
        QList<int> rows;
    };
    QList<Pass> passes;
    switch (choice.side) {
        case JackSide::Source:
            passes = {{QStringLiteral("S"), {0}}};
            break;
        case JackSide::Destination:
            passes = {{QStringLiteral("D"), {0}}};
            break;
        case JackSide::Both:
            // Individual jacks carry the lower-case variant names; blocks are found without
            // regard to case.
            if (choice.individual)
                passes = {{QStringLiteral("s"), {0}}, {QStringLiteral("d"), {1}}};
            else
                passes = {{QStringLiteral("SD"), {0, 1}}};
            break;
    }
    QList<JackPlacement> out;
    double d = 0.0;
    int built = 0;  // the running count decides odd and even over the whole build
    for (const Pass& pass : passes) {
        for (int k = 0; k < columns; ++k) {
            ++built;
            QPointF at(origin.x(), origin.y() + d);
            if (choice.separateOddEven) {
                if (built % 2 == 0) at = {origin.x() + 5, origin.y() + d + choice.spacing / 2};
                d += choice.spacing / 2;
            } else {
                d += choice.spacing;
            }
            out.append({stem + pass.suffix, at, k, pass.rows});
        }
    }
    return out;
}

QStringList buildJackfield(Drawing& drawing, Ui& ui, qint64 jfid, QPointF origin,
                           const BuildChoice& choice, bool showConnectors,
                           db::Connections& registry) {
    const std::optional<db::JackfieldRecord> head = db::JackfieldTable(registry).find(jfid);
    if (!head) return {};
    const QString name = head->sysName + QLatin1Char('-') + twoDigits(head->number);
    const QString rear = head->rearConn;

    // The positions of every column at once, each column's rows in letter order.
    const QList<db::JackPosition> positions = positionsOf(jfid, registry);
    const QStringList columns = columnsOf(positions);
    QMap<QString, QList<db::JackPosition>> byColumn;
    for (const db::JackPosition& p : positions) byColumn[p.column].append(p);

    const QString sheet =
        drawing.untitled() ? drawing.untitledName() : QFileInfo(drawing.path()).fileName();
    QStringList built;
    Commit change(db::DbId::Project, registry, drawing.undo());
    // The positions of the jacks placed, marked as held on this sheet once the jacks stand.
    QList<qint64> held;
    db::JackPositionTable marks(registry);
    // The build shows its progress; Cancel takes back what it placed and wrote.
    const QList<JackPlacement> layout = buildLayout(int(columns.size()), origin, choice);
    const auto progressEnds = qScopeGuard([&ui] { ui.progress(QString(), 0, 0); });
    qint64 done = 0;
    try {
        for (const JackPlacement& p : layout) {
            if (!ui.progress(QStringLiteral("Building Jack Field"), done++, layout.size())) {
                ui.history(QStringLiteral("Building Jack Field cancelled: nothing was placed."));
                return {};
            }
            const QString column = columns.at(p.column);
            QList<db::JackPosition> used;
            for (int r : p.rows)
                if (r < byColumn[column].size()) used << byColumn[column][r];
            if (used.isEmpty()) continue;
            const QString jack = drawing.placeBlock(p.block, p.at);
            // A single jack shows its row on the side it stands for.
            QMap<QString, QString> values;
            if (used.size() == 2) {
                values[QStringLiteral("A")] = used[0].row;
                values[QStringLiteral("B")] = used[1].row;
            } else {
                // The other row's attribute keeps no letter of the block's own.
                const bool source = p.block.endsWith(QLatin1Char('S'), Qt::CaseInsensitive);
                values[source ? QStringLiteral("B") : QStringLiteral("A")] = used[0].row;
                values[source ? QStringLiteral("A") : QStringLiteral("B")] = QString();
            }
            values[QStringLiteral("JF")] = name;
            values[QStringLiteral("COL")] = column;
            if (showConnectors) {
                values[QStringLiteral("AConn")] = rear;
                values[QStringLiteral("BConn")] = rear;
            }
            drawing.editor().modify(jack, [&](cad::Entity& e) {
                for (cad::Entity& a : e.attributes)
                    for (auto v = values.cbegin(); v != values.cend(); ++v)
                        if (a.tag->compare(v.key(), Qt::CaseInsensitive) == 0) a.text = v.value();
                if (!tag::isOwn(e)) tag::tagEntity(e, tag::kind::Jack);
                tag::setRef1(e, QString::number(jfid));
                tag::setRef2(e, QString::number(used[0].id));
                if (used.size() == 2) tag::setRef3(e, QString::number(used[1].id));
            });
            for (const db::JackPosition& pos : used) held << pos.id;
            built << jack;
        }
    } catch (const std::exception&) {
        // What was built so far stays, its records with it; when even they cannot be kept,
        // the drawing goes back too, so that the two agree.
        try {
            marks.mark(held, true, sheet);
            change.commit();
        } catch (const std::exception&) {
            built.clear();
        }
        ui.message(QStringLiteral("Errors Occurred. Operation Aborted"), MsgButtons::Ok,
                   MsgIcon::Critical);
        return built;
    }
    marks.mark(held, true, sheet);
    change.commit();
    return built;
}

BuildPreferences buildPreferences(int userId, db::Connections& registry) {
    BuildPreferences out;
    db::Preferences prefs(registry);
    if (!prefs.load(userId)) return out;
    const QString style = prefs.value(db::pref::DefaultJack).toString().trimmed().toUpper();
    if (!style.isEmpty()) out.style = style;
    bool ok = false;
    const double spacing = prefs.value(db::pref::JfSpacing).toDouble(&ok);
    if (ok && spacing != 0) out.spacing = spacing;
    out.showConnectors = prefs.flag(db::pref::DisplayJackConn, out.showConnectors);
    return out;
}

QString buildRefusal(int rows) {
    if (rows == 1 || rows == 2) return {};
    return QStringLiteral(
               "A jack field of %1 rows cannot be built in a drawing: a jack block carries one "
               "or two rows.")
        .arg(rows);
}

QStringList buildInteractively(Drawing& drawing, Ui& ui, qint64 jfid, const BuildPreferences& prefs,
                               db::Connections& registry) {
    const PointAnswer at = ui.getPoint(QStringLiteral("Select a location to build the Jack Field"));
    if (at.cancelled) return {};
    const std::optional<db::JackfieldRecord> jf = db::JackfieldTable(registry).find(jfid);
    const int rows = jf ? jf->rows : 0;
    BuildChoice choice;
    choice.style = prefs.style;
    choice.spacing = prefs.spacing;
    choice.separateOddEven = ui.message(QStringLiteral("Separate odd and even jacks?"),
                                        MsgButtons::YesNo, MsgIcon::Question) == MsgButton::Yes;
    if (rows == 1) {
        choice.side = ui.message(QStringLiteral("Is This Single Row Jack Field a Source? "
                                                "Selecting No Will Display The Jack Field as a "
                                                "Destination"),
                                 MsgButtons::YesNo, MsgIcon::Question) == MsgButton::Yes
                          ? JackSide::Source
                          : JackSide::Destination;
    } else {
        choice.side = JackSide::Both;
        choice.individual = ui.message(QStringLiteral("Individual Jacks?"), MsgButtons::YesNo,
                                       MsgIcon::Question) == MsgButton::Yes;
    }
    return buildJackfield(drawing, ui, jfid, at.point, choice, prefs.showConnectors, registry);
}

}  // namespace tolvane::jackfields
