// Files a drawing names (the drawing itself, the pictures of its images) are opened only when
// they are regular files: a link to /dev/zero would be read without end, and a named pipe
// without a writer would hold the open for ever.
#pragma once

#include <QFile>
#include <QString>

namespace tolvane::cad {

// Opens path for reading into file when it is a regular file. The open never waits for a
// pipe's writer, and the type is checked on the open file, so that nothing put at the path in
// between is read. False with the reason otherwise; missing tells a path with nothing there.
bool openRegularFile(const QString& path, QFile& file, QString* reason, bool* missing = nullptr);

}  // namespace tolvane::cad
