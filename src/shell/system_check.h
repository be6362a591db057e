// The start-up check of what Tolvane depends on: the SQLite and PostgreSQL drivers, the
// database engine's version, a writable application folder and fonts. Silent when everything
// passes; otherwise the findings are shown and start-up goes on.
#pragma once

#include <QString>
#include <QVector>

namespace tolvane {

struct CheckFinding {
    QString component;  // "SQLite driver"
    QString version;    // what was found; "Not Found" when missing
    bool passed = false;
    QString action;  // what to do when it failed
};

class SystemCheck {
  public:
    explicit SystemCheck(const QString& appFolder) : appFolder_(appFolder) {}
    QVector<CheckFinding> run() const;
    static bool allPassed(const QVector<CheckFinding>& findings);
    // The report shown when something failed: one line per finding with its status.
    static QString report(const QVector<CheckFinding>& findings);
    // Versions are compared number by number ("3.40.1" >= "3.35").
    static bool versionAtLeast(const QString& version, const QString& minimum);

  private:
    QString appFolder_;
};

}  // namespace tolvane
