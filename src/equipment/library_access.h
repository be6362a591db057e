// What every service of the libraries shares: the user it asks (the Ui seam), the equipment
// library database it works on, and the permission check of the run. In single-user mode the
// check grants everything; in shared mode it is the user group's check, which reports a
// refusal itself. A refused command does nothing.
#pragma once

#include <QString>
#include <functional>

#include "db/database.h"

namespace tolvane {
class Ui;
}

namespace tolvane::equipment {

// The permission keys of the libraries.
namespace key {
inline const QString Add = QStringLiteral("AddToEquipLibrary");          // manufacturers, models
inline const QString Edit = QStringLiteral("EditEquipLibrary");          // the data of a model
inline const QString Delete = QStringLiteral("DeleteFromEquipLibrary");  // models and rows
}  // namespace key

using PermissionCheck = std::function<bool(const QString& key)>;

struct LibraryAccess {
    LibraryAccess(Ui& ui, db::Connections& registry, PermissionCheck check = {})
        : ui(ui), registry(registry), check(std::move(check)) {}

    bool allowed(const QString& key) const { return !check || check(key); }

    Ui& ui;
    db::Connections& registry;
    PermissionCheck check;
};

}  // namespace tolvane::equipment
