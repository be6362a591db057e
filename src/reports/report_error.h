// A report that cannot be read, run or written: a damaged layout file, a query that fails or
// reads another database's table, an export path that cannot be written. The text is what the
// report window shows as it stands: "Error: " and the reason. The document stays open.
#pragma once

#include <QString>
#include <stdexcept>

namespace tolvane::reports {

class ReportError : public std::runtime_error {
  public:
    explicit ReportError(const QString& reason)
        : std::runtime_error(("Error: " + reason).toStdString()), reason_(reason) {}
    QString message() const { return QString::fromStdString(what()); }
    // The reason alone, for a message that says more around it.
    const QString& reason() const { return reason_; }

  private:
    QString reason_;
};

}  // namespace tolvane::reports
