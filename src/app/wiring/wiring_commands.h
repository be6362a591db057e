// The wiring commands of the main window: drawing cables from the cable pane, assigning
// cables, system names and jacks, removing a project jackfield, and the project check and
// signal trace over the drawings. The assignment state one cable assignment hands to the
// next is kept here.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include "app/shell/app_services.h"
#include "app/wiring/check_windows.h"
#include "wiring/cable_assignment.h"

class QWidget;

namespace tolvane {

class CommandRouter;
class CablesPane;
class DataSheets;
class DrawingWindow;
class DrawingWindows;

class WiringCommands : public QObject {
    Q_OBJECT
  public:
    struct Services : AppServices {
        CommandRouter& router;
        DrawingWindows& drawings;
        CablesPane& cables;
        DataSheets& sheets;
        QWidget* parent;  // the windows the commands open are its children
    };
    explicit WiringCommands(Services services, QObject* parent = nullptr);

    void registerActions();

    // Assign Cable in a drawing window: the picked cable or those the user selects.
    void assignCables(DrawingWindow& window);
    // The cable pane shows the user's preferences.
    void loadCableOptions();
    // What the check and trace windows need of the drawing windows.
    CheckWindowServices checkServices();
    // Opens the drawing that holds the cable of this record, zoomed to it and selected (the
    // project cables sheet's Show on Drawing).
    void showCableOnDrawing(const QString& sheet, qint64 cableId, const QString& number);
    // Opens the project cables sheet at the record of the cable drawn by this entity.
    void editCableRecord(DrawingWindow& window, const QString& handle);

  private:
    // Jack assignment: the jack double-clicked or selected, else one picked.
    void assignJack();
    DrawingWindow& activeWindow() const;

    Services s_;
    wiring::AssignmentState assignment_;
};

}  // namespace tolvane
