// Files the user names (a folder of library files, a report layout, a batch script, the
// keyboard shortcut file) read whole into memory, with a bound: only a regular file is read,
// and only up to a size. A link to /dev/zero would otherwise grow without end, and a named
// pipe without a writer would stop the program on its open.
#pragma once

#include <QByteArray>
#include <QString>

namespace tolvane {

// The text files the user gives are read up to this size.
constexpr qint64 kUserFileLimit = qint64(64) * 1024 * 1024;

struct UserFile {
    QByteArray bytes;
    QString error;  // why the file was not read ("it is a folder"); empty when it was
    bool ok() const { return error.isEmpty(); }
};

// The file's bytes. Refused before a byte is read when it is not a regular file once
// symbolic links are followed (a folder, a device, a named pipe, a socket) or holds more than
// `limit` bytes; opening never waits for a pipe's writer.
UserFile readUserFile(const QString& path, qint64 limit = kUserFileLimit);

// A size as it is told to the user: "64 MB", "1.5 MB", "700 bytes".
QString sizeText(qint64 bytes);

}  // namespace tolvane
