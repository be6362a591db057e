// Registration of Tolvane as the program for DXF drawings in the user's desktop: a .desktop
// entry in the user's applications folder and the default-application entry for the DXF
// MIME type (through xdg-mime when it is installed, else written into mimeapps.list).
#pragma once

#include <QString>

namespace tolvane {

struct AssociationResult {
    bool ok = false;
    QString desktopFile;
    QString detail;  // what failed
};

// program: the executable to start with the drawing; icon: the icon file to show.
AssociationResult registerDxfAssociation(const QString& program, const QString& icon);

}  // namespace tolvane
