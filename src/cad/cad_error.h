// Failures of drawing operations, with the numeric codes and texts the program shows for
// them. An operation throws CadError; the command router catches it and writes the error on
// the command line as "Error in [operation] : text". A cancelled job (104) writes nothing.
#pragma once

#include <QString>
#include <stdexcept>

namespace tolvane::cad {

enum CadErrorCode : int {
    NoDocument = 102,
    NoExtents = 103,
    JobCancelled = 104,
    WrongParameters = 105,
    PermissionDenied = 106,
    NoPrinter = 139,
    InvalidEntity = 140,
    InvalidSelectionSet = 141,
    NoSelectionSet = 142,
};

// The text shown for a code; codes without a text of their own show `ownText`.
QString cadErrorText(int code, const QString& ownText = {});

// The command-line line for a failed operation; empty for a cancelled job.
QString cadErrorLine(const QString& operation, int code, const QString& ownText = {});

class CadError : public std::runtime_error {
  public:
    CadError(int code, const QString& operation, const QString& ownText = {});
    int code() const { return code_; }
    QString operation() const { return operation_; }
    QString text() const { return cadErrorText(code_, ownText_); }
    QString line() const { return cadErrorLine(operation_, code_, ownText_); }

  private:
    int code_;
    QString operation_;
    QString ownText_;
};

}  // namespace tolvane::cad
