#include "jackfields/jackfield_project.h"

#include <QFileInfo>
#include <QMap>

#include "cad/cad_error.h"
#include "cad/undo.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
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
    struct Position {
        qint64 id;
        QString row;
    };
    QMap<QString, QList<Position>> byColumn;
    QStringList columns;
    db::Query q(db::DbId::Project,
                QStringLiteral("select RowColID, JFRow, JFCol from tblJFRowCol where JFID = ? "
                               "order by JFCol, JFRow"),
                registry);
    q.bind(jfid).exec();
    while (q.next()) {
        const QString column = q.value(2).toString();
        if (!byColumn.contains(column)) columns << column;
        byColumn[column].append({q.value(0).toLongLong(), q.value(1).toString()});
    }
    // Columns count as numbers ("9" before "10" whatever their text).
    std::stable_sort(columns.begin(), columns.end(), [](const QString& a, const QString& b) {
        return a.toLongLong() < b.toLongLong();
    });

    const QString sheet =
        drawing.untitled() ? drawing.untitledName() : QFileInfo(drawing.path()).fileName();
    QStringList built;
    db::Transaction tx(db::DbId::Project, registry);
    cad::UndoGroup group(drawing.undo());
    db::Query mark(db::DbId::Project,
                   QStringLiteral("update tblJFRowCol set Sheet = ?, assigned = ? "
                                  "where RowColID = ?"),
                   registry);
    try {
        for (const JackPlacement& p : buildLayout(int(columns.size()), origin, choice)) {
            const QString column = columns.at(p.column);
            QList<Position> used;
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
                const bool source = p.block.endsWith(QLatin1Char('S'), Qt::CaseInsensitive);
                values[source ? QStringLiteral("B") : QStringLiteral("A")] = used[0].row;
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
            for (const Position& pos : used) mark.bind(sheet).bind(true).bind(pos.id).exec();
            built << jack;
        }
    } catch (const std::exception&) {
        // What was built so far stays, its records with it; when even they cannot be kept,
        // the drawing goes back too, so that the two agree.
        try {
            tx.commit();
        } catch (const std::exception&) {
            group.cancel();
            built.clear();
        }
        ui.message(QStringLiteral("Errors Occurred. Operation Aborted"), MsgButtons::Ok,
                   MsgIcon::Critical);
        return built;
    }
    tx.commit();
    return built;
}

}  // namespace tolvane::jackfields
