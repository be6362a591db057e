// Reading and writing drawings as DXF. Files are written as R2007 (AC1021: the R2000
// structure, text in UTF-8) unless an older release is asked for (R12, R13, R14, R2000), ASCII
// or binary; reading accepts R12 to R2018 files, ASCII or
// binary, as other programs write them, text in older files in their code page
// ($DWGCODEPAGE). Entity kinds the engine does not model are kept as raw groups and written
// back unchanged.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
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

// A drawing the writer made that its own reader refuses (a value beyond what a file may
// hold, a file beyond the reader's size): the save is refused, nothing was written.
class DxfUnreadableError : public DxfError {
  public:
    using DxfError::DxfError;
};

enum class DxfFormat { Ascii, Binary };

// What a read dropped or changed of a file, one line each in the order met ("TEXT at line 40
// dropped: number expected for group 10 ..."). Every read fills one when asked: a file that
// opens whole says so (`summary()`), so that no open is silent about what it did not keep.
struct DxfAudit {
    DxfFormat format = DxfFormat::Ascii;  // of the file read
    int dropped = 0;
    int changed = 0;
    QStringList lines;
    // "nothing dropped or changed", or "2 dropped, 1 changed".
    QString summary() const;
};

// The releases files are written as, oldest first.
enum class DxfVersion { R12, R13, R14, R2000, R2007 };
// "AC1009" ... "AC1021", and "R12" ... "R2007".
QString dxfVersionCode(DxfVersion version);
QString dxfReleaseName(DxfVersion version);

// An older release cannot hold everything a drawing has: what it cannot hold is converted
// where it has a faithful form of it (a light polyline becomes a POLYLINE in R12, a true
// colour the nearest palette colour) and otherwise left out, each a line of `lost` (its
// `dropped` and `changed` count them). Nothing is lost in R2007.
QByteArray writeDxf(const Document& doc, DxfFormat format = DxfFormat::Ascii,
                    DxfVersion version = DxfVersion::R2007, DxfAudit* lost = nullptr);
// Writes atomically. What the writer made is read back (by checkDxf, beside the writing of the
// temporary file): a drawing that would not open again throws DxfUnreadableError. The file is then
// written under a temporary name beside the old one (the path followed by "." and six letters or
// digits) and renamed over it; `beforeReplace`, when given, runs just before the rename (the
// caller's backup copy of the old file) and calls the save off by returning false (saveDxf then
// returns false). Throws DxfError (line 0) when the file cannot be written. The old file is
// untouched unless the whole new file was written.
bool saveDxf(const Document& doc, const QString& path,
             const std::function<bool()>& beforeReplace = {}, DxfFormat format = DxfFormat::Ascii,
             DxfVersion version = DxfVersion::R2007, DxfAudit* lost = nullptr);
// Removes what saves of `path` killed between writing and renaming left beside it: files
// named as its temporary files are (the file name, ".", six letters or digits). Returns how
// many were removed.
int removeSaveLeftovers(const QString& path);

Document readDxf(const QByteArray& data, DxfAudit* audit = nullptr);
// The recovering read, for a file the strict read refuses: what can be repaired is (blocks
// without a name are named, layouts whose link to their block is broken are linked again,
// entities that cannot be read are dropped, a file cut short keeps what it holds, lines that
// are no group are skipped), each repair a line of the audit. Throws DxfError when nothing
// of a drawing can be read.
Document recoverDxf(const QByteArray& data, DxfAudit* audit);
// Reads the bytes as readDxf does and throws what it would throw, without keeping the
// drawing's entities: what a save checks of the file it is about to write.
void checkDxf(const QByteArray& data);
// Throws DxfError when the file cannot be opened or is not a readable drawing.
Document loadDxf(const QString& path, DxfAudit* audit = nullptr);
Document recoverDxfFile(const QString& path, DxfAudit* audit);

// The light read, for those that look only at the entities that carry extended data and at
// texts: those entities are read whole (an insert with its attributes), a text keeps its value,
// and every other entity only its kind, its handle and, an insert, its block name. Spaces,
// layouts, blocks and handles are those the full read gives (the same entities are there, in
// the same places), and a file is refused as the full read refuses it: every group is read
// and checked alike; only the bound on the memory a drawing may take counts what this read
// keeps, so a drawing too large to open may still be read light.
Document readDxfLight(const QByteArray& data);
Document loadDxfLight(const QString& path);

}  // namespace tolvane::cad
