// The rack commands of the main window: the racks window (catPRacks), the elevation sheets of
// the chosen racks (catPRackElevation) with the systems they could not draw, and the "Rack
// Budgets" report worked out afresh and opened (catPRackBudgets).
#pragma once

#include <QObject>

#include "app/shell/app_services.h"

class QWidget;

namespace tolvane {

class CommandRouter;
class DrawingWindows;
class ReportWindows;

class RackCommands : public QObject {
    Q_OBJECT
  public:
    struct Services : AppServices {
        CommandRouter& router;
        DrawingWindows& drawings;
        ReportWindows& reports;
        QWidget* parent;
    };
    explicit RackCommands(Services services, QObject* parent = nullptr);

    void registerActions();

  private:
    void drawElevations();
    void showBudgets();
    bool requireProject();

    Services s_;
};

}  // namespace tolvane
