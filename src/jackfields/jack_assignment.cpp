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

QList<db::JackfieldRecord> projectJackfields(db::Connections& registry) {
    return db::JackfieldTable(registry).all();
}

QStringList systemNames(const QList<db::JackfieldRecord>& jackfields) {
    QStringList names;
    for (const db::JackfieldRecord& jf : jackfields)
        if (names.isEmpty() || names.last() != jf.sysName) names << jf.sysName;
    return names;
}

QList<db::JackPosition> positionsOf(qint64 jfid, db::Connections& registry) {
    QList<db::JackPosition> out = db::JackPositionTable(registry).ofJackfield(jfid);
    // Columns count as numbers ("9" before "10").
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
        return a.row != b.row ? a.row < b.row : a.column.toLongLong() < b.column.toLongLong();
    });
    return out;
}

QStringList columnsOf(const QList<db::JackPosition>& positions) {
    QStringList columns;
    for (const db::JackPosition& p : positions)
        if (!columns.contains(p.column)) columns << p.column;
    std::stable_sort(columns.begin(), columns.end(), [](const QString& a, const QString& b) {
        return a.toLongLong() < b.toLongLong();
    });
    return columns;
}

void removeJackfield(qint64 jfid, db::Connections& registry) {
    db::Transaction tx(db::DbId::Project, registry);
    db::JackfieldTable(registry).remove(jfid);
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

void assignJack(Drawing& drawing, const QString& jack, const db::JackfieldRecord& jf,
                const QString& column, bool showConnectors, db::Connections& registry) {
    QList<db::JackPosition> used;
    for (const db::JackPosition& p : positionsOf(jf.id, registry))
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
    // Positions the jack stood for before and no longer does are free again.
    QList<qint64> before;
    for (const QString& ref : {tag::ref2(*e), tag::ref3(*e)}) {
        bool isKey = false;
        const qint64 id = ref.toLongLong(&isKey);
        if (isKey) before << id;
    }
    if (tieA) before.removeAll(used[0].id);
    if (tieB) before.removeAll(used[1].id);
    QList<qint64> tied;
    if (tieA) tied << used[0].id;
    if (tieB) tied << used[1].id;
    db::JackPositionTable positions(registry);
    positions.mark(before, false, QString());
    positions.mark(tied, true, sheet);
    drawing.editor().modify(jack, [&](cad::Entity& insert) {
        const auto set = [&insert](const QString& tag, const QString& value) {
            for (cad::Entity& a : insert.attributes)
                if (a.tag->compare(tag, Qt::CaseInsensitive) == 0) a.text = value;
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
