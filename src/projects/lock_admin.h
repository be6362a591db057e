// An administrator's clear of a lock the project database still records: the cable and
// system table locks and the drawing locks. Locks whose holder's run has ended are taken over
// by the next user without help; this is for a holder who is still connected but has gone
// away from a long edit. Questions go through the Ui seam.
#pragma once

#include "db/database.h"

namespace tolvane {
class Ui;
struct RunState;
}  // namespace tolvane

namespace tolvane::projects {

// The command "Clear a Lock...": lists the locks held, asks which one, asks again before it
// clears it. True when a lock was cleared. The caller has checked that the user administers.
bool clearLock(RunState& run, Ui& ui, db::Connections& registry);

}  // namespace tolvane::projects
