#include "jackfields/jackfield_project.h"

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

}  // namespace tolvane::jackfields
