// The folders searched for the files a drawing names that are not where it says: a drawing
// made on another machine names C:\Logos\logo.png or a text style's Corporate.ttf, which are
// found here as logo.png and Corporate.ttf in one of the user's search folders. The folders
// are the program's, for every drawing, and may be set from any thread.
#pragma once

#include <QString>
#include <QStringList>

namespace tolvane::cad {

// Sets the folders, searched in this order (those that are not folders are skipped). The
// font files in them (.ttf, .otf, .ttc, .pfb) are made known to the program, and pictures
// missing before are looked for again. Setting the same folders again does nothing.
void setSearchFolders(const QStringList& folders);
QStringList searchFolders();

// The file of this name (the part after the last / or \, without regard to case) in the
// first search folder that has one; empty when none has.
QString findInSearchFolders(const QString& name);
// `file` when it exists, else its name found in the search folders; empty when neither.
QString locateFile(const QString& file);

// The family of a font file, made known to the program the first time it is asked for; empty
// when the file is not a font (or the program shows no text).
QString fontFileFamily(const QString& path);

// The font family of a font file found in the search folders, by the file's base name
// without regard to case ("corporate" for Corporate.ttf); empty when there is none.
QString searchFolderFontFamily(const QString& fileBase);

}  // namespace tolvane::cad
