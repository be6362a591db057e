// The application folder: where it is, making it on first use and filling it from the
// installed resources (tips, keyboard shortcuts, blocks, templates, report layouts).
#pragma once

#include <QString>
#include <optional>

namespace tolvane {

namespace appfolder {

// --home DIR, else $TOLVANE_HOME, else $XDG_DATA_HOME/tolvane (~/.local/share/tolvane).
QString resolve(const QString& homeOption);

// The folder holding the installed resources: $TOLVANE_RESOURCES, else
// <program>/../share/tolvane/resources, else the source tree's resources folder.
QString resourceFolder();

// Creates the folder and copies every resource file that is not there yet (files the user
// changed are left alone), and makes the "Block Libraries" folder when it has none. Returns an
// error text when the folder cannot be made or written.
std::optional<QString> prepare(const QString& folder);

// The file in folder whose name equals name without regard to case; empty when there is none.
// Drawing, block and database names compare without regard to case, as users expect.
QString findNoCase(const QString& folder, const QString& name);

// Copies source over target (its folder made), through a ".part" file renamed into place, so a
// failed copy never leaves half a target. Throws AppError naming both when it cannot.
void copyOver(const QString& source, const QString& target);

// A folder for one run's work files (a merge's copy of the delivered database): the pattern
// for QTemporaryDir, in the folder `in` (the system's temporary folder), named with the
// prefix and this process's id: "<in>/<prefix>-<pid>-XXXXXX".
QString workFolderTemplate(const QString& prefix, const QString& in = QString());

// Removes the folders "<prefix>-<pid>-..." in `in` (the system's temporary folder) whose
// process has ended: what a run that was killed left behind. A folder of a process that still
// runs is left alone. Returns how many were removed.
int removeStaleWorkFolders(const QString& prefix, const QString& in = QString());

}  // namespace appfolder

}  // namespace tolvane
