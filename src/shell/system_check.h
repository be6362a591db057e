// The check of what Tolvane depends on: the SQLite driver and engine version, the PostgreSQL
// driver when the installation works in shared mode, a writable application folder and
// fonts. At start-up it is silent when everything passes; otherwise the findings are shown
// and start-up goes on. The Help menu runs it again and always shows the findings.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include "shell/run_state.h"

namespace tolvane {

class Ui;

struct CheckFinding {
    QString component;  // "SQLite driver"
    QString version;    // what was found; "Not Found" when missing
    bool passed = false;
    QString action;  // what to do when it failed
};

class SystemCheck {
  public:
    // The database drivers Qt can load on this machine.
    static QStringList installedDrivers();

    // `drivers` stands for what is installed (a test passes a machine without one).
    SystemCheck(const QString& appFolder, DatabaseMode mode,
                const QStringList& drivers = installedDrivers())
        : appFolder_(appFolder), mode_(mode), drivers_(drivers) {}

    QVector<CheckFinding> run() const;
    static bool allPassed(const QVector<CheckFinding>& findings);
    // The findings, one line per finding with its status and, when it failed, what to do.
    static QString report(const QVector<CheckFinding>& findings);
    // Versions are compared number by number ("3.40.1" >= "3.35").
    static bool versionAtLeast(const QString& version, const QString& minimum);

    enum class Show { WhenFailed, Always };
    // Runs the check and shows the report: at start-up only when something failed, from the
    // menu always. True when every check passed.
    bool runAndShow(Ui& ui, Show when) const;

  private:
    QString appFolder_;
    DatabaseMode mode_;
    QStringList drivers_;
};

}  // namespace tolvane
