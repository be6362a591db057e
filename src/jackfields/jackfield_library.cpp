// Jackfield models of the library.
#include "jackfields/jackfield_library.h"

#include "jackfields/jackfield_project.h"
#include "ui/ui.h"

namespace tolvane::jackfields {

using equipment::key::Add;
using equipment::key::Delete;
using equipment::key::Edit;

namespace {

const QString kSelect = QStringLiteral(
    "select j.JackFieldID, j.ManufacturerID, m.ManufacturerName, j.JackFieldName, "
    "j.EquipmentDescription, j.JFRows, j.JFCols, j.FrontConn, j.RearConn from tblJackFields j "
    "left join tblManufacturers m on m.ManufacturerID = j.ManufacturerID");

LibraryJackfield rowOf(const db::Query& q) {
    return {q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(),
            q.value(3).toString(),   q.value(4).toString(), q.value(5).toInt(),
            q.value(6).toInt(),      q.value(7).toString(), q.value(8).toString()};
}

const QString kTable = QStringLiteral("tblJackFields");
const QString kKey = QStringLiteral("JackFieldID");

}  // namespace

JackfieldModel projectModel(const LibraryJackfield& m) {
    return {m.id, m.name, m.rows, m.columns, m.frontConn, m.rearConn};
}

QList<LibraryJackfield> JackfieldLibrary::list(const QString& manufacturerId, const QString& find) {
    const db::Engine engine = a_.registry.engine(db::DbId::Equipment);
    db::Query q = a_.query(
        kSelect + QStringLiteral(" where j.ManufacturerID = ? and %1 order by j.JackFieldName, "
                                 "j.JackFieldID")
                      .arg(equipment::beginsWithSql(engine, QStringLiteral("j.JackFieldName"))));
    q.bind(manufacturerId).bind(equipment::beginsWithValue(find)).exec();
    QList<LibraryJackfield> rows;
    while (q.next()) rows << rowOf(q);
    return rows;
}

std::optional<LibraryJackfield> JackfieldLibrary::find(qint64 id) {
    db::Query q = a_.query(kSelect + QStringLiteral(" where j.JackFieldID = ?"));
    q.bind(id).exec();
    if (!q.next()) return std::nullopt;
    return rowOf(q);
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
    db::Query exists = a_.query(QStringLiteral(
        "select JackFieldID from tblJackFields where ManufacturerID = ? and JackFieldName = ?"));
    if (exists.bind(manufacturerId).bind(name).scalar().isValid()) {
        a_.ui.message(duplicateMessage(), MsgButtons::Ok, MsgIcon::Warning);
        return std::nullopt;
    }
    db::Query q = a_.query(QStringLiteral(
        "insert into tblJackFields (ManufacturerID, JackFieldName, EquipmentDescription, JFRows, "
        "JFCols, FrontConn, RearConn) values (?, ?, ?, ?, ?, ?, ?)"));
    q.bind(manufacturerId)
        .bind(name)
        .bind(description)
        .bind(rc->first)
        .bind(rc->second)
        .bind(size.frontConn)
        .bind(size.rearConn)
        .exec();
    db::Query id = a_.query(QStringLiteral(
        "select JackFieldID from tblJackFields where ManufacturerID = ? and JackFieldName = ?"));
    const QVariant v = id.bind(manufacturerId).bind(name).scalar();
    return v.isValid() ? std::optional<qint64>(v.toLongLong()) : std::nullopt;
}

bool JackfieldLibrary::setDescription(qint64 id, const QString& description) {
    if (!a_.allowed(Edit)) return false;
    db::Query q = a_.query(
        QStringLiteral("update tblJackFields set EquipmentDescription = ? where JackFieldID = ?"));
    q.bind(description).bind(id).exec();
    return q.rowsAffected() > 0;
}

bool JackfieldLibrary::setSize(qint64 id, const JackfieldSize& size) {
    if (!a_.allowed(Edit)) return false;
    const auto rc = checkedSize(size);
    if (!rc) return false;
    db::Query q =
        a_.query(QStringLiteral("update tblJackFields set JFRows = ?, JFCols = ?, FrontConn = ?, "
                                "RearConn = ? where JackFieldID = ?"));
    q.bind(rc->first).bind(rc->second).bind(size.frontConn).bind(size.rearConn).bind(id).exec();
    return q.rowsAffected() > 0;
}

bool JackfieldLibrary::setPhysicalData(qint64 id, const equipment::PhysicalData& data) {
    if (!a_.allowed(Edit)) return false;
    return equipment::writePhysicalData(a_, kTable, kKey, id, data);
}

std::optional<equipment::PhysicalData> JackfieldLibrary::physicalData(qint64 id) {
    return equipment::readPhysicalData(a_, kTable, kKey, id);
}

bool JackfieldLibrary::remove(qint64 id) {
    if (!a_.allowed(Delete)) return false;
    const std::optional<LibraryJackfield> m = find(id);
    if (!m) return false;
    if (a_.ui.message(deleteQuestion(m->name), MsgButtons::OkCancel, MsgIcon::Question) !=
        MsgButton::Ok)
        return false;
    db::Query q = a_.query(QStringLiteral("delete from tblJackFields where JackFieldID = ?"));
    q.bind(id).exec();
    return q.rowsAffected() > 0;
}

}  // namespace tolvane::jackfields
