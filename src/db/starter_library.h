// The content a new installation starts with, so that a new user can work at once: the
// equipment library (manufacturers, connectors, signal types, cable types with their cores,
// equipment models with inputs and outputs, jackfield models, routers), the default user
// with its preference row, the project manager's default project, user groups and
// administrator, and the lock rows of a project database.
#pragma once

#include <QString>

#include "db/database.h"

namespace tolvane::db {

// Each runs in one transaction and fills an empty database; run on a database that already
// holds the rows, it adds nothing twice.
void seedEquipment(Connections& registry = connections());
void seedProjectManager(const QString& defaultProjectPath, Connections& registry = connections());
void seedProject(DbId id, Connections& registry = connections());

}  // namespace tolvane::db
