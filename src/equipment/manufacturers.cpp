// Manufacturers of the library.
#include "equipment/manufacturers.h"

#include "ui/ui.h"

namespace tolvane::equipment {

namespace {

QString flagColumn(ShownIn tab) {
    switch (tab) {
        case ShownIn::Equipment:
            return QStringLiteral("DisplayInEquipment");
        case ShownIn::JackFields:
            return QStringLiteral("DisplayInJackFields");
        case ShownIn::Routers:
            return QStringLiteral("DisplayInRouters");
        case ShownIn::Jboxes:
            return QStringLiteral("DisplayInJboxes");
        case ShownIn::CableTypes:
            return QStringLiteral("DisplayInCableTypes");
        case ShownIn::Any:
            break;
    }
    return {};
}

const QString kColumns = QStringLiteral(
    "ManufacturerID, ManufacturerName, DisplayInEquipment, DisplayInJackFields, "
    "DisplayInRouters, DisplayInJboxes, DisplayInCableTypes");

Manufacturer rowOf(const db::Query& q) {
    return {q.value(0).toString(), q.value(1).toString(), q.value(2).toBool(), q.value(3).toBool(),
            q.value(4).toBool(),   q.value(5).toBool(),   q.value(6).toBool()};
}

}  // namespace

ManufacturerIdEntry manufacturerIdEntry(const QString& typed) {
    ManufacturerIdEntry e;
    e.id = typed.trimmed().toUpper();
    if (e.id.size() <= 8) {
        e.hint = QStringLiteral("Eight Chars. Max");
        return e;
    }
    e.id.truncate(8);
    e.hint = QStringLiteral("I Said...Eight Chars. Max");
    e.beep = true;
    return e;
}

QList<Manufacturer> Manufacturers::list(const QString& find, ShownIn tab) {
    const db::Engine engine = a_.registry.engine(db::DbId::Equipment);
    QString sql = QStringLiteral("select %1 from tblManufacturers where %2")
                      .arg(kColumns, beginsWithSql(engine, QStringLiteral("ManufacturerName")));
    if (tab != ShownIn::Any) sql += QStringLiteral(" and %1 = TRUE").arg(flagColumn(tab));
    sql += QStringLiteral(" order by ManufacturerName, ManufacturerID");
    db::Query q = a_.query(sql);
    q.bind(beginsWithValue(find)).exec();
    QList<Manufacturer> rows;
    while (q.next()) rows << rowOf(q);
    return rows;
}

std::optional<Manufacturer> Manufacturers::find(const QString& id) {
    db::Query q = a_.query(
        QStringLiteral("select %1 from tblManufacturers where ManufacturerID = ?").arg(kColumns));
    q.bind(id).exec();
    if (!q.next()) return std::nullopt;
    return rowOf(q);
}

bool Manufacturers::add(Manufacturer m, bool allFlags) {
    if (!a_.allowed(key::Add)) return false;
    m.id = manufacturerIdEntry(m.id).id;
    // The ID is the key every other table quotes; a row without one could never be found.
    if (m.id.isEmpty()) {
        a_.ui.beep();
        return false;
    }
    if (find(m.id)) {
        a_.ui.message(duplicateMessage(), MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    if (allFlags) m.equipment = m.jackFields = m.routers = m.jboxes = m.cableTypes = true;
    db::Query q = a_.query(QStringLiteral("insert into tblManufacturers (%1) values "
                                          "(?, ?, ?, ?, ?, ?, ?)")
                               .arg(kColumns));
    q.bind(m.id).bind(m.name.trimmed()).bind(m.equipment).bind(m.jackFields).bind(m.routers);
    q.bind(m.jboxes).bind(m.cableTypes).exec();
    return true;
}

bool Manufacturers::remove(const QString& id) {
    if (!a_.allowed(key::Delete)) return false;
    const std::optional<Manufacturer> m = find(id);
    if (!m) return false;
    // Models, jackfields, routers, rack units and cable types name their manufacturer;
    // deleting it under them would leave rows no list can reach.
    for (const char* table :
         {"tblEquipment", "tblJackFields", "tblRTR", "tblRackUnits", "tblCableTypes"}) {
        db::Query used = a_.query(QStringLiteral("select count(*) from %1 where ManufacturerID = ?")
                                      .arg(QLatin1String(table)));
        if (used.bind(m->id).scalar().toLongLong() > 0) {
            a_.ui.message(QStringLiteral("The Manufacturer: %1 still has equipment, jackfields, "
                                         "routers, rack units or cable types in the library. "
                                         "Delete them first.")
                              .arg(m->name),
                          MsgButtons::Ok, MsgIcon::Warning);
            return false;
        }
    }
    if (a_.ui.message(deleteQuestion(m->name), MsgButtons::YesNo, MsgIcon::Question) !=
        MsgButton::Yes)
        return false;
    db::Query del =
        a_.query(QStringLiteral("delete from tblManufacturers where ManufacturerID = ?"));
    del.bind(m->id).exec();
    return true;
}

}  // namespace tolvane::equipment
