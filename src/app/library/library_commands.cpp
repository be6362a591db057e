// The library commands of the main window.
#include "app/library/library_commands.h"

#include <QScopeGuard>

#include "app/drawing/block_browser.h"
#include "app/drawing/drawing_view.h"
#include "app/drawing/drawing_window.h"
#include "app/drawing/drawing_windows.h"
#include "app/jackfields/jackfield_commands.h"
#include "app/library/cable_type_library_window.h"
#include "app/library/signal_types_window.h"
#include "app/projects/data_sheets.h"
#include "cad/editing.h"
#include "cad/geometry.h"
#include "drawings/command_router.h"
#include "projects/users.h"
#include "shell/command_table.h"
#include "shell/error_handler.h"
#include "shell/run_state.h"
#include "ui/ui.h"

namespace tolvane {

LibraryCommands::LibraryCommands(Services services, QObject* parent)
    : QObject(parent), s_(services) {}

void LibraryCommands::registerActions() {
    CommandRouter& router = s_.router;
    router.setAction(CommandKey("catLEquipment"), [this] { openEquipmentLibrary(); });
    router.setAction(CommandKey("catLJF"), [this] { jackfieldCommands().openLibrary(); });
    router.setAction(CommandKey("catWBuildJF"), [this] { jackfieldCommands().buildInDrawing(); });
    router.setAction(CommandKey("catWAddEquipment"), [this] {
        // Placing new equipment starts in the library, where its block is generated.
        if (DrawingWindow* w = s_.drawings.active())
            w->setLastCommand(QStringLiteral("Add Equipment"), QStringLiteral("WAddEquipment"));
        openEquipmentLibrary();
    });
    // The block library of the drawing menus and the project blocks of the project menu are
    // one window.
    router.setAction(CommandKey("catDBlocks"),
                     [this] { showBlockBrowser(QStringLiteral("ProjectBlocks")); });
    router.setAction(CommandKey("catPViewProjBlocks"),
                     [this] { showBlockBrowser(QStringLiteral("ProjectBlocks")); });
    router.setAction(CommandKey("catLManufacturers"),
                     [this] { s_.sheets.open(SheetKind::Manufacturers); });
    router.setAction(CommandKey("catLConnectors"),
                     [this] { s_.sheets.open(SheetKind::Connectors); });
    router.setAction(CommandKey("catLSignalTypes"), [this] {
        SignalTypesWindow window(libraryAccess(), s_.parent);
        window.setErrorHandler(&s_.errors);
        s_.ui.runModal(window);
    });
    router.setAction(CommandKey("catLCT"), [this] {
        CableTypeLibraryWindow window(libraryAccess(), s_.parent);
        window.setErrorHandler(&s_.errors);
        // The library is modal: the cable types' data sheet opens once it has closed.
        bool sheetWanted = false;
        window.showDataSheet = [&window, &sheetWanted] {
            sheetWanted = true;
            window.close();
        };
        s_.ui.runModal(window);
        if (sheetWanted) s_.sheets.open(SheetKind::CableTypes);
    });
}

Drawing* LibraryCommands::activeDrawing() const {
    DrawingWindow* active = s_.drawings.active();
    return active ? &active->drawing() : nullptr;
}

equipment::LibraryAccess LibraryCommands::libraryAccess() {
    // In shared mode the user's group decides; single-user mode allows everything.
    equipment::PermissionCheck check;
    if (s_.users) check = [users = s_.users](const QString& key) { return users->allowed(key); };
    return equipment::LibraryAccess(s_.ui, s_.registry, check);
}

db::NameCase LibraryCommands::nameCase() {
    db::Preferences prefs(s_.registry);
    prefs.load(s_.run.userId);
    return prefs.nameCase();
}

JackfieldCommands LibraryCommands::jackfieldCommands() {
    const auto active = [this] { return activeDrawing(); };
    const auto clearGrips = [this] {
        if (DrawingWindow* w = s_.drawings.active()) s_.drawings.clearGripSet(*w);
    };
    const auto placeMany = [this](const std::function<void()>& place) {
        EntityEvents& events = s_.drawings.events();
        events.holdTips();
        const auto release = qScopeGuard([&events] { events.releaseTips(); });
        place();
    };
    return JackfieldCommands{libraryAccess(), &s_.errors, s_.parent,  s_.run.userId,
                             nameCase(),      active,     clearGrips, placeMany};
}

void LibraryCommands::openEquipmentLibrary() {
    // The add dialog writes names in the user's name case.
    EquipmentLibraryWindow window(libraryAccess(), nameCase(), s_.parent);
    window.setErrorHandler(&s_.errors);
    window.setEventLog(&s_.log);
    window.showTips = s_.showTips;
    window.activeDrawing = [this] { return activeDrawing(); };
    window.openSignalTypes = [this] {
        s_.router.route(CommandKey("catLSignalTypes"), CommandRouter::Origin::Menu);
    };
    window.showBlockReadable = [this](const QString& block) {
        if (DrawingWindow* active = s_.drawings.active())
            active->view().zoomToShow(
                cad::boundingBox(active->drawing().document(),
                                 cad::makeInsert(active->drawing().document(), block, {0, 0})));
    };
    window.blockPlaced = [this](const QString& kind) {
        DrawingWindow* active = s_.drawings.active();
        if (!active) return;
        s_.drawings.clearGripSet(*active);
        active->view().setSelection({cad::lastEntity(active->drawing().space())});
        // The first-use tips of the kind, as for every newly tagged entity.
        s_.drawings.events().tipsAfterTagging(kind);
    };
    // The library is modal: the models' data sheet opens once it has closed.
    bool sheetWanted = false;
    window.showDataSheet = [&window, &sheetWanted] {
        sheetWanted = true;
        window.close();
    };
    // It opens on the manufacturer and model chosen last, and steps aside while a block's
    // insertion point is picked.
    window.restore(equipmentChoice_);
    do {
        s_.ui.runModal(window);
    } while (window.takeReopen());
    equipmentChoice_ = window.choice();
    if (sheetWanted) s_.sheets.open(SheetKind::Equipment);
}

void LibraryCommands::showBlockBrowser(const QString& key) {
    if (!blocks_) {
        blocks_ = new BlockBrowser(
            s_.ui, s_.run.appFolder(), [this] { return activeDrawing(); }, s_.parent);
        blocks_->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    blocks_->reload(key);
    s_.ui.showModeless(*blocks_);
    blocks_->raise();
}

}  // namespace tolvane
