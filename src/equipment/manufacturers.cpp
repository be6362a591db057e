// Manufacturers of the library.
#include "equipment/manufacturers.h"

#include "ui/ui.h"

namespace tolvane::equipment {

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

QList<db::ManufacturerRecord> Manufacturers::list(const QString& find, ShownIn tab) {
    return db::ManufacturerTable(a_.registry).beginningWith(find, tab);
}

std::optional<db::ManufacturerRecord> Manufacturers::find(const QString& id) {
    return db::ManufacturerTable(a_.registry).find(id);
}

bool Manufacturers::add(db::ManufacturerRecord m, bool allFlags) {
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
    m.name = m.name.trimmed();
    db::ManufacturerTable(a_.registry).insert(m);
    return true;
}

bool Manufacturers::remove(const QString& id) {
    if (!a_.allowed(key::Delete)) return false;
    db::ManufacturerTable manufacturers(a_.registry);
    const std::optional<db::ManufacturerRecord> m = manufacturers.find(id);
    if (!m) return false;
    // Models, jackfields, routers, rack units and cable types name their manufacturer;
    // deleting it under them would leave rows no list can reach.
    if (manufacturers.hasLibraryRows(m->id)) {
        a_.ui.message(QStringLiteral("The Manufacturer: %1 still has equipment, jackfields, "
                                     "routers, rack units or cable types in the library. "
                                     "Delete them first.")
                          .arg(m->name),
                      MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    if (a_.ui.message(deleteQuestion(m->name), MsgButtons::YesNo, MsgIcon::Question) !=
        MsgButton::Yes)
        return false;
    manufacturers.remove(m->id);
    return true;
}

}  // namespace tolvane::equipment
