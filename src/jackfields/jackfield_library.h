// The jackfield models of the library (tblJackFields): listed per manufacturer, added with
// their size and connectors, their description, size, connectors and physical data written
// as the user leaves a field, and deleted after a question. Project jackfields made from a
// model keep their rows when the model goes.
#pragma once

#include <QList>
#include <QString>
#include <optional>

#include "db/records/library_jackfields.h"
#include "equipment/equipment_models.h"
#include "equipment/library_access.h"

namespace tolvane::jackfields {

struct JackfieldModel;

// The size and connectors as typed: rows and columns are whole numbers of at least one.
struct JackfieldSize {
    QString rows{};
    QString columns{};
    QString frontConn{};
    QString rearConn{};
};

class JackfieldLibrary {
  public:
    explicit JackfieldLibrary(equipment::LibraryAccess access) : a_(std::move(access)) {}

    static QString deleteQuestion(const QString& name) {
        return QStringLiteral("Are You Sure You Want to Delete The Jack Field: ") + name;
    }
    static QString duplicateMessage() {
        return QStringLiteral("That Jack Field Name already exists. Enter a different Name.");
    }

    // The manufacturer's models whose name begins with find (letter case aside), by name.
    QList<db::LibraryJackfieldRecord> list(const QString& manufacturerId, const QString& find = {});
    std::optional<db::LibraryJackfieldRecord> find(qint64 id);

    // Adds a model: an empty name beeps and adds nothing; a size that is not a whole number
    // of at least one row and one column, or a name the manufacturer already has, is told.
    // The new model's id, or nullopt.
    std::optional<qint64> add(const QString& manufacturerId, const QString& name,
                              const QString& description, const JackfieldSize& size);
    bool setDescription(qint64 id, const QString& description);
    // Rows, columns and both connectors, written together; a bad size is told and nothing
    // is written.
    bool setSize(qint64 id, const JackfieldSize& size);
    bool setPhysicalData(qint64 id, const equipment::PhysicalData& data);
    std::optional<equipment::PhysicalData> physicalData(qint64 id);
    // Asks the question (OK/Cancel), then deletes the model's row only.
    bool remove(qint64 id);

  private:
    // The size's two numbers; nullopt (and the user told) when one is not a whole number of
    // at least one.
    std::optional<std::pair<int, int>> checkedSize(const JackfieldSize& size);

    equipment::LibraryAccess a_;
};

// The project side of a library model.
JackfieldModel projectModel(const db::LibraryJackfieldRecord& model);

}  // namespace tolvane::jackfields
