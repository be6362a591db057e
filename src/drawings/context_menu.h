// The entries of the drawing's context menu (the right button), one list for the desktop's
// popup and a script's `mouse menu` alike. With no command running: the actions of the
// entity under the cursor first (by the kind of its tag), then repeating the last command,
// the property list, and erasing, copying or moving what the menu is opened on. While a
// prompt waits: Enter (which ends a list of points, as the key does), Cancel and the
// prompt's options.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace tolvane {

struct ContextEntry {
    enum class Does {
        Separator,
        Route,  // routes `key` as a menu item would
        // Routes `key` with the entity under the cursor as the one the command works on
        // (as a double-click hands it over).
        RouteOnEntity,
        // Routes `key` with the entity under the cursor (or the selection) selected.
        RouteOnSelection,
        // Opens the record of the entity under the cursor for editing (a cable's row).
        EditRecord,
        Enter,
        Cancel,
        Option  // answers the waiting prompt with the option named `text`
    };
    QString text;
    Does does = Does::Separator;
    QString key;
};

// What the menu is opened on.
struct ContextTarget {
    bool promptWaiting = false;
    QStringList promptOptions;  // what the waiting prompt offers besides a point
    // The tag kind and block name of the entity under the cursor ("" when none, or untagged).
    bool onEntity = false;
    QString kind;
    QString blockName;
    bool hasSelection = false;
    QString lastCaption;  // the last interactive command's caption, "" when none ran
};

QList<ContextEntry> contextEntries(const ContextTarget& target);
// The texts of the entries in order, separators left out (a script's MENU line).
QStringList contextTexts(const QList<ContextEntry>& entries);

}  // namespace tolvane
