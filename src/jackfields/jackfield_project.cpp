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
    db::Query q(db::DbId::Project,
                QStringLiteral("select max(JFSysID) from tblJF where JFSysName = ?"), registry_);
    const QVariant last = q.bind(sysName).exec().scalar();
    return last.isNull() ? 1 : last.toLongLong() + 1;
}

bool JackfieldProject::exists(const QString& sysName, qint64 number) {
    db::Query q(db::DbId::Project,
                QStringLiteral("select count(*) from tblJF where JFSysName = ? and JFSysID = ?"),
                registry_);
    return q.bind(sysName).bind(number).exec().scalar().toLongLong() > 0;
}

QStringList JackfieldProject::names() {
    db::Query q(db::DbId::Project,
                QStringLiteral("select distinct JFSysName from tblJF where JFSysName is not null "
                               "order by JFSysName"),
                registry_);
    q.exec();
    QStringList out;
    while (q.next()) out << q.value(0).toString();
    return out;
}

namespace {
const QString kStored = QStringLiteral(
    "select JFID, JackFieldID, JFSysName, JFSysID, JFLoc, JFEl, SignalType, RowStartLetter, "
    "ColStartNo, JFRows, JFCols from tblJF");

StoredJackfield storedOf(const db::Query& q) {
    StoredJackfield s;
    s.id = q.value(0).toLongLong();
    s.modelId = q.value(1).toLongLong();
    s.jf.sysName = q.value(2).toString();
    s.jf.number = q.value(3).toLongLong();
    s.jf.location = q.value(4).toString();
    s.jf.elevation = q.value(5).toString();
    s.jf.signalType = q.value(6).toString();
    const QString start = q.value(7).toString();
    s.jf.rowStart = start.isEmpty() ? QLatin1Char('A') : start.at(0);
    s.jf.columnStart = q.value(8).toInt();
    s.rows = q.value(9).toInt();
    s.columns = q.value(10).toInt();
    return s;
}
}  // namespace

QList<StoredJackfield> JackfieldProject::ofName(const QString& sysName) {
    db::Query q(db::DbId::Project,
                kStored + QStringLiteral(" where JFSysName = ? order by JFSysID, JFID"), registry_);
    q.bind(sysName).exec();
    QList<StoredJackfield> out;
    while (q.next()) out << storedOf(q);
    return out;
}

std::optional<StoredJackfield> JackfieldProject::find(const QString& sysName, qint64 number) {
    db::Query q(db::DbId::Project,
                kStored + QStringLiteral(" where JFSysName = ? and JFSysID = ? order by JFID"),
                registry_);
    q.bind(sysName).bind(number).exec();
    if (!q.next()) return std::nullopt;
    return storedOf(q);
}

qint64 JackfieldProject::assign(const JackfieldModel& model, const ProjectJackfield& jf) {
    db::Transaction tx(db::DbId::Project, registry_);
    db::Query add(db::DbId::Project,
                  QStringLiteral("insert into tblJF (JackFieldID, JFSysName, JFSysID, JFLoc, JFEl, "
                                 "FrontConn, RearConn, JFRows, JFCols, SignalType, "
                                 "RowStartLetter, ColStartNo) "
                                 "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                  registry_);
    add.bind(model.id)
        .bind(jf.sysName)
        .bind(jf.number)
        .bind(jf.location)
        .bind(jf.elevation)
        .bind(model.frontConn)
        .bind(model.rearConn)
        .bind(model.rows)
        .bind(model.columns)
        .bind(jf.signalType)
        .bind(QString(jf.rowStart))
        .bind(jf.columnStart)
        .exec();
    const qint64 id = db::Query(db::DbId::Project,
                                QStringLiteral("select JFID from tblJF where JFSysName = ? and "
                                               "JFSysID = ? order by JFID desc"),
                                registry_)
                          .bind(jf.sysName)
                          .bind(jf.number)
                          .exec()
                          .scalar()
                          .toLongLong();
    // Row by row, columns left to right.
    db::Query position(db::DbId::Project,
                       QStringLiteral("insert into tblJFRowCol (JFRowNumber, JFID, JFRow, JFCol, "
                                      "assigned) values (?, ?, ?, ?, ?)"),
                       registry_);
    for (int r = 0; r < model.rows; ++r) {
        const QString letter = QChar(jf.rowStart.unicode() + r);
        for (int k = 0; k < model.columns; ++k)
            position.bind(r + 1)
                .bind(id)
                .bind(letter)
                .bind(twoDigits(jf.columnStart + k))
                .bind(false)
                .exec();
    }
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
    db::Query head(db::DbId::Project,
                   QStringLiteral("select JFSysName, JFSysID, RearConn from tblJF where JFID = ?"),
                   registry);
    head.bind(jfid).exec();
    if (!head.next()) return {};
    const QString name =
        head.value(0).toString() + QLatin1Char('-') + twoDigits(head.value(1).toLongLong());
    const QString rear = head.value(2).toString();

    // The positions of every column at once, each column's rows in letter order.
    const QList<JackPosition> positions = positionsOf(jfid, registry);
    const QStringList columns = columnsOf(positions);
    QMap<QString, QList<JackPosition>> byColumn;
    for (const JackPosition& p : positions) byColumn[p.column].append(p);

    const QString sheet =
        drawing.untitled() ? drawing.untitledName() : QFileInfo(drawing.path()).fileName();
    QStringList built;
    Commit change(db::DbId::Project, registry, drawing.undo());
    db::Query mark(db::DbId::Project,
                   QStringLiteral("update tblJFRowCol set Sheet = ?, assigned = ? "
                                  "where RowColID = ?"),
                   registry);
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
            QList<JackPosition> used;
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
                        if (a.tag.compare(v.key(), Qt::CaseInsensitive) == 0) a.text = v.value();
                if (!tag::isOwn(e)) tag::tagEntity(e, tag::kind::Jack);
                tag::setRef1(e, QString::number(jfid));
                tag::setRef2(e, QString::number(used[0].id));
                if (used.size() == 2) tag::setRef3(e, QString::number(used[1].id));
            });
            for (const JackPosition& pos : used) mark.bind(sheet).bind(true).bind(pos.id).exec();
            built << jack;
        }
    } catch (const std::exception&) {
        // What was built so far stays, its records with it; when even they cannot be kept,
        // the drawing goes back too, so that the two agree.
        try {
            change.commit();
        } catch (const std::exception&) {
            built.clear();
        }
        ui.message(QStringLiteral("Errors Occurred. Operation Aborted"), MsgButtons::Ok,
                   MsgIcon::Critical);
        return built;
    }
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
    const int rows =
        int(db::Query(db::DbId::Project, QStringLiteral("select JFRows from tblJF where JFID = ?"),
                      registry)
                .bind(jfid)
                .scalar()
                .toLongLong());
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
