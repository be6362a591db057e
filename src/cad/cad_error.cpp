#include "cad/cad_error.h"

namespace tolvane::cad {

QString cadErrorText(int code, const QString& ownText) {
    switch (code) {
        case NoDocument:
            return QStringLiteral("There is no document!");
        case NoExtents:
            return QStringLiteral("There are no extents!");
        case JobCancelled:
            return QStringLiteral("Job was cancelled by the user!");
        case WrongParameters:
            return QStringLiteral("Wrong parameters!");
        case PermissionDenied:
            return QStringLiteral("Permission Denied!");
        case NoPrinter:
            return QStringLiteral("There is no Printer!");
        case InvalidEntity:
            return QStringLiteral("Invalid Entity!");
        case InvalidSelectionSet:
            return QStringLiteral("Invalid SelectionSet!");
        case NoSelectionSet:
            return QStringLiteral("There no SelectionSet!");
        default:
            return ownText.isEmpty() ? QStringLiteral("Error %1").arg(code) : ownText;
    }
}

QString cadErrorLine(const QString& operation, int code, const QString& ownText) {
    if (code == JobCancelled) return {};
    return QStringLiteral("Error in [") + operation + QStringLiteral("] : ") +
           cadErrorText(code, ownText);
}

CadError::CadError(int code, const QString& operation, const QString& ownText)
    : std::runtime_error(cadErrorLine(operation, code, ownText).toStdString()),
      code_(code),
      operation_(operation),
      ownText_(ownText) {}

}  // namespace tolvane::cad
