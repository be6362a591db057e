#include "jackfields/jack_assignment.h"

#include <QFileInfo>
#include <algorithm>

#include "cad/cad_error.h"
#include "cad/undo.h"
#include "drawings/commit.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "jackfields/jackfield_project.h"
#include "ui/ui.h"

namespace tolvane::jackfields {

QList<JackfieldRow> projectJackfields(db::Connections& registry) {
    db::Query q(db::DbId::Project,
                QStringLiteral("select JFID, JFSysName, JFSysID, JFRows, JFCols, RearConn from "
                               "tblJF order by JFSysName, JFSysID"),
                registry);
    q.exec();
    QList<JackfieldRow> out;
    while (q.next())
        out.append({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toLongLong(),
                    q.value(3).toInt(), q.value(4).toInt(), q.value(5).toString()});
    return out;
}

QStringList systemNames(const QList<JackfieldRow>& jackfields) {
    QStringList names;
    for (const JackfieldRow& jf : jackfields)
        if (names.isEmpty() || names.last() != jf.sysName) names << jf.sysName;
    return names;
}

QList<JackPosition> positionsOf(qint64 jfid, db::Connections& registry) {
    db::Query q(db::DbId::Project,
                QStringLiteral("select RowColID, JFRow, JFCol, Sheet, assigned from tblJFRowCol "
                               "where JFID = ? order by JFRow, RowColID"),
                registry);
    q.bind(jfid).exec();
    QList<JackPosition> out;
    while (q.next())
        out.append({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(),
                    q.value(3).toString(), q.value(4).toBool()});
    // Columns count as numbers ("9" before "10").
    std::stable_sort(out.begin(), out.end(), [](const JackPosition& a, const JackPosition& b) {
        return a.row != b.row ? a.row < b.row : a.column.toLongLong() < b.column.toLongLong();
    });
    return out;
}

QStringList columnsOf(const QList<JackPosition>& positions) {
    QStringList columns;
    for (const JackPosition& p : positions)
        if (!columns.contains(p.column)) columns << p.column;
    std::stable_sort(columns.begin(), columns.end(), [](const QString& a, const QString& b) {
        return a.toLongLong() < b.toLongLong();
    });
    return columns;
}

void removeJackfield(qint64 jfid, db::Connections& registry) {
    db::Transaction tx(db::DbId::Project, registry);
    db::Query(db::DbId::Project, QStringLiteral("delete from tblJFRowCol where JFID = ?"), registry)
        .bind(jfid)
        .exec();
    db::Query(db::DbId::Project, QStringLiteral("delete from tblJF where JFID = ?"), registry)
        .bind(jfid)
        .exec();
    tx.commit();
}

QString jackToAssign(Drawing& drawing, Ui& ui, const QString& picked, const QStringList& selected,
                     double aperture) {
    QString handle = picked;
    if (handle.isEmpty() && !selected.isEmpty()) handle = selected.first();
    if (handle.isEmpty()) {
        ui.message(QStringLiteral("Please select a Jack"));
        const cad::PickFilter jack = tag::ofKind(tag::kind::Jack);
        handle = drawing.entityFor(ui.getEntity(QStringLiteral("Please Select a Jack"), jack),
                                   aperture, jack);
        if (handle.isEmpty()) return {};
    }
    const cad::Entity* e = drawing.document().find(handle);
    if (!e || e->kind != cad::EntityKind::Insert || tag::kindOf(*e) != tag::kind::Jack) {
        ui.message(QStringLiteral("Not a valid Jack"), MsgButtons::Ok, MsgIcon::Warning);
        return {};
    }
    return e->handle;
}

void assignJack(Drawing& drawing, const QString& jack, const JackfieldRow& jf,
                const QString& column, bool showConnectors, db::Connections& registry) {
    QList<JackPosition> used;
    for (const JackPosition& p : positionsOf(jf.id, registry))
        if (p.column == column) used << p;
    const cad::Entity* e = drawing.document().find(jack);
    if (!e) throw cad::CadError(cad::WrongParameters, QStringLiteral("AssignJack"));
    const auto has = [e](const char* name) { return e->attribute(QString::fromLatin1(name)); };
    // Row A, and row B on a two-row jackfield, each tied only where the jack shows its row.
    const bool tieA = !used.isEmpty() && has("A");
    const bool tieB = used.size() > 1 && has("B");
    const QString sheet =
        drawing.untitled() ? drawing.untitledName() : QFileInfo(drawing.path()).fileName();

    Commit change(db::DbId::Project, registry, drawing.undo());
    db::Query mark(db::DbId::Project,
                   QStringLiteral("update tblJFRowCol set assigned = ?, Sheet = ? where "
                                  "RowColID = ?"),
                   registry);
    // Positions the jack stood for before and no longer does are free again.
    QList<qint64> before;
    for (const QString& ref : {tag::ref2(*e), tag::ref3(*e)}) {
        bool isKey = false;
        const qint64 id = ref.toLongLong(&isKey);
        if (isKey) before << id;
    }
    if (tieA) before.removeAll(used[0].id);
    if (tieB) before.removeAll(used[1].id);
    for (qint64 id : before) mark.bind(false).bind(QString()).bind(id).exec();
    if (tieA) mark.bind(true).bind(sheet).bind(used[0].id).exec();
    if (tieB) mark.bind(true).bind(sheet).bind(used[1].id).exec();
    drawing.editor().modify(jack, [&](cad::Entity& insert) {
        const auto set = [&insert](const QString& tag, const QString& value) {
            for (cad::Entity& a : insert.attributes)
                if (a.tag.compare(tag, Qt::CaseInsensitive) == 0) a.text = value;
        };
        set(QStringLiteral("JF"), jf.sysName + QLatin1Char('-') + twoDigits(jf.number));
        set(QStringLiteral("COL"), column);
        tag::setRef1(insert, QString::number(jf.id));
        if (!used.isEmpty()) set(QStringLiteral("A"), used[0].row);
        if (tieA) {
            tag::setRef2(insert, QString::number(used[0].id));
            if (showConnectors) set(QStringLiteral("ACONN"), jf.rearConn);
        }
        if (used.size() > 1) set(QStringLiteral("B"), used[1].row);
        if (tieB) {
            tag::setRef3(insert, QString::number(used[1].id));
            if (showConnectors) set(QStringLiteral("BCONN"), jf.rearConn);
        }
        // A row not tied now names no position.
        if (!tieA) tag::setRef2(insert, QString());
        if (!tieB) tag::setRef3(insert, QString());
    });
    change.commit();
}

}  // namespace tolvane::jackfields
