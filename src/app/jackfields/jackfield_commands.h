// The jackfield commands of the main window: the jackfield library (catLJF), sending a model
// from it to the project, and building a project jackfield into the current drawing
// (catWBuildJF). While the user picks where the jackfield goes the windows step aside.
#pragma once

#include <functional>

#include "db/preferences.h"
#include "equipment/library_access.h"

class QWidget;

namespace tolvane {

class Drawing;
class ErrorHandler;

struct JackfieldCommands {
    equipment::LibraryAccess access;
    ErrorHandler* errors = nullptr;
    QWidget* parent = nullptr;
    int userId = 1;
    db::NameCase nameCase = db::NameCase::NoFormat;
    // The drawing of the active drawing window; nullptr when none is open.
    std::function<Drawing*()> activeDrawing;
    // Clears the active drawing's grip set before jacks are placed.
    std::function<void()> clearGripSet;
    // Runs the placing of many tagged blocks with their tips shown once afterwards.
    std::function<void(const std::function<void()>& place)> placeMany;

    void openLibrary();
    void buildInDrawing();
};

}  // namespace tolvane
