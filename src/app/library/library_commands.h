// The library commands of the main window: the equipment library (placing new equipment
// starts there), the jackfield library and building a jackfield into a drawing, the signal
// types and cable types windows, the block browser, and the library data sheets. The
// equipment library opens on the manufacturer and model chosen last.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "app/library/equipment_library_window.h"
#include "app/shell/app_services.h"
#include "equipment/library_access.h"

class QWidget;

namespace tolvane {

class BlockBrowser;
class CommandRouter;
class DataSheets;
class Drawing;
class DrawingWindows;
struct JackfieldCommands;

class LibraryCommands : public QObject {
    Q_OBJECT
  public:
    struct Services : AppServices {
        CommandRouter& router;
        DrawingWindows& drawings;
        DataSheets& sheets;
        QWidget* parent;  // the windows the commands open are its children
        // Shows the tips of a topic as a modal window (unless the user turned them off).
        std::function<void(const QString& topic)> showTips;
    };
    explicit LibraryCommands(Services services, QObject* parent = nullptr);

    void registerActions();

  private:
    // The library as the user may change it: in shared mode the user's group decides.
    equipment::LibraryAccess libraryAccess();
    // The user's name case, in which new names are written.
    db::NameCase nameCase();
    JackfieldCommands jackfieldCommands();
    void openEquipmentLibrary();
    // The block browser, made on first use; shown on the node of `key`.
    void showBlockBrowser(const QString& key);
    Drawing* activeDrawing() const;

    Services s_;
    EquipmentLibraryWindow::Choice equipmentChoice_;
    BlockBrowser* blocks_ = nullptr;
};

}  // namespace tolvane
