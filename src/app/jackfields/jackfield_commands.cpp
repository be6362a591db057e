// The jackfield commands of the main window.
#include "app/jackfields/jackfield_commands.h"

#include "app/jackfields/jackfield_library_window.h"
#include "app/jackfields/send_jackfield_window.h"
#include "jackfields/jackfield_project.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

// Builds the jackfield the send window chose, once the window has closed; `aside` is run
// first, so that the windows in front of the drawing get out of the way.
void buildChosen(JackfieldCommands& c, const SendJackfieldWindow& window,
                 const std::function<void()>& aside) {
    if (!window.buildRequested()) return;
    Drawing* drawing = c.activeDrawing ? c.activeDrawing() : nullptr;
    if (!drawing) return;
    if (aside) aside();
    if (c.clearGripSet) c.clearGripSet();
    const auto build = [&] {
        jackfields::buildInteractively(*drawing, c.access.ui, window.jackfield(),
                                       jackfields::buildPreferences(c.userId, c.access.registry),
                                       c.access.registry);
    };
    if (c.placeMany)
        c.placeMany(build);
    else
        build();
    if (PromptLine* line = c.access.ui.promptLine()) line->setPrompt({});
}

}  // namespace

void JackfieldCommands::openLibrary() {
    JackfieldLibraryWindow library(access, nameCase, parent);
    library.setErrorHandler(errors);
    library.sendToProject = [this, &library](const db::LibraryJackfieldRecord& model) {
        if (!activeDrawing || !activeDrawing()) {
            access.ui.message(QStringLiteral("Must have an active drawing"), MsgButtons::Ok,
                              MsgIcon::Information);
            return;
        }
        SendJackfieldWindow send(access, model, &library);
        send.setErrorHandler(errors);
        access.ui.runModal(send);
        buildChosen(*this, send, [&library] { library.stepAside(); });
    };
    do {
        access.ui.runModal(library);
    } while (library.takeReopen());
}

void JackfieldCommands::buildInDrawing() {
    if (!activeDrawing || !activeDrawing()) {
        access.ui.message(QStringLiteral("Must have an active drawing."), MsgButtons::Ok,
                          MsgIcon::Information);
        return;
    }
    SendJackfieldWindow send(access, parent);
    send.setErrorHandler(errors);
    if (access.ui.runModal(send) != 0) buildChosen(*this, send, {});
}

}  // namespace tolvane
