// The library exchanged as comma-separated files: an export folder holds one file per kind
// (manufacturers, connectors, signal types, equipment models, their inputs and outputs,
// jackfield models, cable types, their cores), each with a header row naming its columns. Import
// reads the files a folder holds in one transaction; a line that cannot be taken is reported with
// its file, line number and reason and nothing of it is written, and a file that cannot be read
// (not a regular file, too large, not UTF-8 text, a bad header) leaves the library as it was.
// docs/file-formats.md describes the files.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "equipment/library_access.h"

namespace tolvane::equipment {

struct ImportReport {
    bool done = false;     // false: nothing was changed (unreadable file, refused permission)
    int added = 0;         // rows written
    QStringList rejected;  // "equipment.csv line 7: unknown manufacturer ACME"
};

class LibraryExchange {
  public:
    explicit LibraryExchange(LibraryAccess access) : a_(std::move(access)) {}

    // The file names, in the order import reads them.
    static QStringList fileNames();
    // Imports of more records than this show progress.
    static constexpr int kProgressFrom = 500;
    // A file larger than this, or of more lines, is not read.
    static constexpr qint64 kMaxFileBytes = qint64(64) * 1024 * 1024;
    static constexpr int kMaxFileLines = 200000;

    // Why the text of the named exchange file would be refused, before the library is asked
    // anything: the file's own reason alone ("it has no header row"), else each refused
    // line's ("line 7: bad number in EquipmentH: ..."). Nothing for another file name.
    static QStringList checkText(const QString& fileName, const QByteArray& bytes);

    // Asks for the folder and writes every file into it (asking before replacing files that
    // are there), then tells the user what was written. False when cancelled or a file could
    // not be written (told to the user).
    bool exportLibrary();
    // The rows written to each file, in the order of fileNames(); nullopt when a file could
    // not be written.
    std::optional<QList<qint64>> exportTo(const QString& folder);

    // Asks for the folder and imports what it holds; nullopt when cancelled. A user who may
    // not add to the library is refused before being asked.
    std::optional<ImportReport> importLibrary();
    ImportReport importFrom(const QString& folder);

  private:
    ImportReport importAllowed(const QString& folder);

    LibraryAccess a_;
};

}  // namespace tolvane::equipment
