// Reading and writing drawings as ASCII DXF. Files are written as R2000 (AC1015); reading
// accepts R12 to R2018 ASCII files as other programs write them. Entity kinds the engine does
// not model are kept as raw groups and written back unchanged.
#pragma once

#include <QByteArray>
#include <QString>
#include <stdexcept>

#include "cad/document.h"

namespace tolvane::cad {

// A file that cannot be read: `line` is the 1-based line of the file where the problem was
// found (0 when it concerns the file as a whole).
class DxfError : public std::runtime_error {
  public:
    DxfError(int line, const QString& reason);
    int line() const { return line_; }
    QString reason() const { return reason_; }

  private:
    int line_;
    QString reason_;
};

// The largest coordinate or size a file may hold: larger values are refused on reading, and
// what the writer derives from a document (the drawings of dimensions) stays within it.
constexpr double kMaxDxfValue = 1e15;

QByteArray writeDxf(const Document& doc);
// Writes atomically: the old file stays untouched unless the whole new file was written.
// Throws DxfError (line 0) when the file cannot be written.
void saveDxf(const Document& doc, const QString& path);

Document readDxf(const QByteArray& data);
// Throws DxfError when the file cannot be opened or is not a readable drawing.
Document loadDxf(const QString& path);

}  // namespace tolvane::cad
