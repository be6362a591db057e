// Jackfield models of the library.
#include "jackfields/jackfield_library.h"

#include "jackfields/jackfield_project.h"
#include "ui/ui.h"

namespace tolvane::jackfields {

using equipment::key::Add;
using equipment::key::Delete;
using equipment::key::Edit;

JackfieldModel projectModel(const db::LibraryJackfieldRecord& m) {
    return {m.id, m.name, m.rows, m.columns, m.frontConn, m.rearConn};
}

QList<db::LibraryJackfieldRecord> JackfieldLibrary::list(const QString& manufacturerId,
                                                         const QString& find) {
    return db::LibraryJackfieldTable(a_.registry).beginningWith(manufacturerId, find);
}

std::optional<db::LibraryJackfieldRecord> JackfieldLibrary::find(qint64 id) {
    return db::LibraryJackfieldTable(a_.registry).find(id);
}

std::optional<std::pair<int, int>> JackfieldLibrary::checkedSize(const JackfieldSize& size) {
    bool rowsOk = false, columnsOk = false;
    const int rows = size.rows.trimmed().toInt(&rowsOk);
    const int columns = size.columns.trimmed().toInt(&columnsOk);
    if (!rowsOk || !columnsOk || rows < 1 || columns < 1) {
        a_.ui.message(QStringLiteral("A jack field needs at least one row and one column: enter "
                                     "whole numbers for both."),
                      MsgButtons::Ok, MsgIcon::Warning);
        return std::nullopt;
    }
    return std::pair{rows, columns};
}

std::optional<qint64> JackfieldLibrary::add(const QString& manufacturerId, const QString& name,
                                            const QString& description, const JackfieldSize& size) {
    if (!a_.allowed(Add)) return std::nullopt;
    if (name.trimmed().isEmpty()) {
        a_.ui.beep();
        return std::nullopt;
    }
    const auto rc = checkedSize(size);
    if (!rc) return std::nullopt;
    db::LibraryJackfieldTable models(a_.registry);
    if (models.idOf(manufacturerId, name)) {
        a_.ui.message(duplicateMessage(), MsgButtons::Ok, MsgIcon::Warning);
        return std::nullopt;
    }
    db::LibraryJackfieldRecord row;
    row.manufacturerId = manufacturerId;
    row.name = name;
    row.description = description;
    row.rows = rc->first;
    row.columns = rc->second;
    row.frontConn = size.frontConn;
    row.rearConn = size.rearConn;
    const qint64 id = models.insert(row);
    return id ? std::optional<qint64>(id) : std::nullopt;
}

bool JackfieldLibrary::setDescription(qint64 id, const QString& description) {
    if (!a_.allowed(Edit)) return false;
    return db::LibraryJackfieldTable(a_.registry).setDescription(id, description);
}

bool JackfieldLibrary::setSize(qint64 id, const JackfieldSize& size) {
    if (!a_.allowed(Edit)) return false;
    const auto rc = checkedSize(size);
    if (!rc) return false;
    db::LibraryJackfieldRecord row;
    row.rows = rc->first;
    row.columns = rc->second;
    row.frontConn = size.frontConn;
    row.rearConn = size.rearConn;
    return db::LibraryJackfieldTable(a_.registry).setSize(id, row);
}

bool JackfieldLibrary::setPhysicalData(qint64 id, const equipment::PhysicalData& data) {
    if (!a_.allowed(Edit)) return false;
    const std::optional<db::PhysicalRecord> r = equipment::physicalRecord(a_, data);
    return r && db::LibraryJackfieldTable(a_.registry).setPhysical(id, *r);
}

std::optional<equipment::PhysicalData> JackfieldLibrary::physicalData(qint64 id) {
    const std::optional<db::PhysicalRecord> r = db::LibraryJackfieldTable(a_.registry).physical(id);
    if (!r) return std::nullopt;
    return equipment::shownPhysicalData(*r);
}

bool JackfieldLibrary::remove(qint64 id) {
    if (!a_.allowed(Delete)) return false;
    const std::optional<db::LibraryJackfieldRecord> m = find(id);
    if (!m) return false;
    if (a_.ui.message(deleteQuestion(m->name), MsgButtons::OkCancel, MsgIcon::Question) !=
        MsgButton::Ok)
        return false;
    return db::LibraryJackfieldTable(a_.registry).remove(id);
}

}  // namespace tolvane::jackfields
