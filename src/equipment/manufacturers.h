// The manufacturers of the library (tblManufacturers): the add-manufacturer dialog's rules,
// the find list of each library tab and the deletion from the manufacturers data sheet.
#pragma once

#include <QList>
#include <QString>
#include <optional>

#include "db/records/manufacturers.h"
#include "equipment/library_access.h"

namespace tolvane::equipment {

// The tab whose list a manufacturer appears in.
using db::ShownIn;

// The ID field of the add dialog as it is on leaving it: upper case, cut to eight characters
// (with a beep) and the hint label's text.
struct ManufacturerIdEntry {
    QString id{};
    QString hint{};  // "Eight Chars. Max" or "I Said...Eight Chars. Max"
    bool beep = false;
};
ManufacturerIdEntry manufacturerIdEntry(const QString& typed);

class Manufacturers {
  public:
    explicit Manufacturers(LibraryAccess access) : a_(std::move(access)) {}

    static QString duplicateMessage() {
        return QStringLiteral("That Manufacturer ID already exists.");
    }
    static QString deleteQuestion(const QString& name) {
        return QStringLiteral(
                   "You are about to delete the Manufacturer: %1. This process cannot be undone. "
                   "Proceed?")
            .arg(name);
    }

    // The manufacturers whose name begins with find (letter case aside) and that are shown in
    // the tab, ordered by name.
    QList<db::ManufacturerRecord> list(const QString& find = {}, ShownIn tab = ShownIn::Any);
    std::optional<db::ManufacturerRecord> find(const QString& id);

    // Adds the manufacturer with its ID made as the ID field makes it. Without an ID the
    // program beeps and adds nothing; an ID already there is refused with its message.
    // allFlags sets the five display flags. True when the row was added.
    bool add(db::ManufacturerRecord m, bool allFlags = false);
    // A manufacturer that still has models, jackfields, routers, rack units or cable types
    // is refused with a message; otherwise the question is asked. True when the row was deleted.
    bool remove(const QString& id);

  private:
    LibraryAccess a_;
};

}  // namespace tolvane::equipment
