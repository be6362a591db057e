// Unexpected failures: an error number and description, as the master error handler reports
// them. Expected conditions are never errors; they are messages through the Ui seam.
#pragma once

#include <QString>
#include <stdexcept>

namespace tolvane {

namespace err {
constexpr int kInternal = 51;          // "Internal error"
constexpr int kFileNotFound = 53;      // "File not found"
constexpr int kPermissionDenied = 70;  // "Permission denied"
constexpr int kPathFileAccess = 75;    // "Path/File access error"
constexpr int kPathNotFound = 76;      // "Path not found"
constexpr int kDatabase = 3001;        // database engine errors start here
constexpr int kNoCurrentRecord = 3021;
}  // namespace err

class AppError : public std::runtime_error {
  public:
    AppError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), number_(number) {}
    int number() const { return number_; }
    QString description() const { return QString::fromStdString(what()); }
    // True for a failure that ends only the action that met it, not the program: a store that
    // refused a write (a full or read-only disk) or a database server that went away. The
    // action's transaction has rolled back; the error handler tells the user and goes on.
    bool endsActionOnly() const { return endsActionOnly_; }

  protected:
    void setEndsActionOnly() { endsActionOnly_ = true; }

  private:
    int number_;
    bool endsActionOnly_ = false;
};

// The user gave up an operation at a question that offered Cancel (a database kept busy by
// another program, say). The operation ends without finishing, its transaction rolled back;
// nothing is reported and the program goes on.
class Cancelled : public std::runtime_error {
  public:
    explicit Cancelled(const QString& what) : std::runtime_error(what.toStdString()) {}
};

}  // namespace tolvane
