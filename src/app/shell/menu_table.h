// The menus and toolbars of the main window as tables of command keys, checked against the
// command table when the program is built, and the rule that says which keys a kind of
// active child window offers.
#pragma once

#include <qnamespace.h>

#include <QString>
#include <initializer_list>
#include <span>

#include "shell/command_table.h"

namespace tolvane {

// What kind of child window is active: the main window's menus and toolbars follow it.
enum class WindowState {
    None = 0,
    Drawing = 1,
    DataSheet = 3,
    ReportDesign = 4,
    ReportPreview = 5
};

// A menu or toolbar entry: a key of the command table, or "-" for a separator.
struct MenuItem {
    consteval MenuItem(const char* k) : key(k) {
        if (!sameKey(k, "-") && !isCommandKey(k)) throw "not a key of the command table";
    }
    bool separator() const { return sameKey(key, "-"); }
    const char* key;
};

struct ToolBarDef {
    const char* name;
    const char* caption;
    std::initializer_list<MenuItem> keys;
    Qt::ToolBarArea area;
};

// The toolbars in the order their captions are listed; the drawing toolbars first.
struct MenuDef {
    const char* name;
    const char* title;
    std::initializer_list<MenuItem> keys;
};

std::span<const ToolBarDef> toolBarDefs();
std::span<const MenuDef> menuDefs();

// The drawing toolbars (tbDWG...) serve a drawing window, the report toolbars (tbRPT...) the
// designer of a report window.
bool isDrawingBar(const QString& name);
bool isReportBar(const QString& name);

// Whether a command key is offered while a child window of this kind is active: drawing
// commands need a drawing, report commands a report (whether the key's action is built and
// allowed, and whether the designer's selection suits it, is asked besides).
bool keyOffered(const QString& key, WindowState state);

}  // namespace tolvane
