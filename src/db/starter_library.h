// The content a new installation starts with, so that a new user can work at once: the
// equipment library (manufacturers, connectors, signal types, cable types with their cores,
// equipment models with inputs and outputs, jackfield models, routers), the default user
// with its preference row, the project manager's default project, user groups and
// administrator, and the lock rows of a project database. A starter row has the same row
// identity s_GUID in every installation, derived from what identifies it (a model's
// manufacturer and name, a pin's model and name), so that merging two installations'
// libraries finds them the same rows.
#pragma once

#include <QString>

#include "db/database.h"

namespace tolvane::db {

// Each runs in one transaction and fills an empty database; run on a database that already
// holds the rows, it adds nothing twice.
void seedEquipment(Connections& registry);
void seedProjectManager(const QString& defaultProjectPath, Connections& registry);
void seedProject(DbId id, Connections& registry);

// Gives the starter rows an equipment or project manager database holds (found by what
// identifies them, whatever the user changed since) the identities every installation gives
// them; adds no row. For databases made when each starter row had an identity of its own: a
// schema upgrade runs it, in the upgrade's transaction. Rows set aside by a merge that name
// such a row are made to name it by its new identity.
void adoptStarterIdentities(DbId id, Connections& registry);

}  // namespace tolvane::db
