// The event log: diagnostic lines appended to "Event_Log.txt" in the application folder, in
// log mode only. 8-bit text (UTF-8), lines ended by CR LF, the file opened and closed for
// every line so that another program can read it while Tolvane runs.
#pragma once

#include <QString>
#include <functional>

#include "shell/app_error.h"

namespace tolvane {

class EventLog {
  public:
    static QString fileName() { return QStringLiteral("Event_Log.txt"); }

    EventLog() = default;
    EventLog(const QString& folder, bool enabled) : folder_(folder), enabled_(enabled) {}

    void setFolder(const QString& folder) { folder_ = folder; }
    void setEnabled(bool on) { enabled_ = on; }
    // Log mode, fixed for the run. Callers test it before building a line.
    bool enabled() const { return enabled_ && !broken_; }
    QString path() const;

    // Called once with the failure when a line cannot be written; the log is then off for
    // the rest of the run, so that the handler's own log line cannot fail again.
    void setFailureHandler(std::function<void(const AppError&)> handler) {
        onFailure_ = std::move(handler);
    }

    void log(const QString& line);

  private:
    QString folder_;
    bool enabled_ = false;
    bool broken_ = false;
    std::function<void(const AppError&)> onFailure_;
};

}  // namespace tolvane
