// The report windows of the main window: opening (a file, a new layout, the Open Report
// dialog), the report commands (catR...) acting on the active report window, printing, page
// setup and the exports.
#pragma once

#include <QList>
#include <QObject>
#include <functional>
#include <optional>

#include "app/shell/app_services.h"
#include "reports/report_exports.h"

class QMdiArea;

namespace tolvane {

class Ui;
class CommandRouter;
class SettingsStore;
struct RunState;
class ReportWindow;
class ReportDesigner;

class ReportWindows : public QObject {
    Q_OBJECT
  public:
    // Each report's last export folder is remembered in the settings.
    struct Services : AppServices {
        CommandRouter& router;
        QMdiArea& mdi;
        // The user's right to edit report layouts (the design tab); null: allowed.
        std::function<bool()> mayDesign;
    };
    explicit ReportWindows(Services services, QObject* parent = nullptr);

    void registerActions();

    // Opens a layout file in a new window (path empty: a new "Report1") with the filter
    // expression over its rows; null when it was not opened (the user was told why).
    ReportWindow* open(const QString& path, const QString& filter = {});
    // The Open Report dialog; null when cancelled.
    ReportWindow* openChosen();

    ReportWindow* active() const;
    QList<ReportWindow*> windows() const { return windows_; }
    // The Reports folder of the application folder.
    QString reportsFolder() const;
    // Whether a report command applies in the active report window now (its designer's
    // selection, its undo history); nullopt for keys that do not depend on them.
    std::optional<bool> commandEnabled(const QString& key) const;

  Q_SIGNALS:
    // A report was saved under a name: the project explorer lists report files.
    void reportsChanged();
    // The tab now current in the active report window (design or not): menus follow it.
    void designShown(bool design);
    // What commandEnabled() answers may have changed.
    void commandsChanged();

  private:
    ReportWindow* show(ReportWindow* window);
    ReportWindow* require() const;
    int freeIndex() const;
    void print(ReportWindow& window);
    void pageSetup(ReportWindow& window);
    // The designer of the active report window while its design tab is shown; null (and the
    // user told) otherwise.
    ReportDesigner* designer() const;

    Services s_;
    QList<ReportWindow*> windows_;
    // Controls copied or cut, for pasting into any report.
    QList<reports::Control> clipboard_;
};

}  // namespace tolvane
