// Deleting entities that stand for records of the project database. Before the selection is
// erased, each equipment block, cable and jack in it is looked at: the user is asked whether
// its record goes too (a system row deleted, a cable row released for reuse, jack positions
// freed), the records are changed in one transaction, and only then are the entities erased.
// A deletion that changed a record cannot be undone (the drawing would name a record that no
// longer says so); any other deletion is one undo step.
#pragma once

#include <QString>
#include <QStringList>

#include "db/database.h"

namespace tolvane {

class Drawing;
class EventLog;
class Ui;

struct DeletionRun {
    DeletionRun(Ui& ui, db::Connections& registry) : ui(ui), registry(registry) {}
    Ui& ui;
    db::Connections& registry;
    // The user's "Disable Warn on Delete": DA blocks, cables and jacks are settled as if the
    // user had answered Yes. Equipment blocks are always asked.
    bool hideWarnings = false;
    EventLog* log = nullptr;
};

enum class DeletionResult {
    Erased,     // the entities are gone (records changed as the user answered)
    Cancelled,  // the user chose Cancel: nothing erased
    Refused,    // a record could not be settled (told): nothing changed, nothing erased
};

// The confirmation texts, by entity kind ("" for a kind that is erased without a question).
QString deletionQuestion(const QString& kind);

// Erases `handles` from the drawing, settling the records they stand for first.
DeletionResult validateDeletion(Drawing& drawing, const QStringList& handles,
                                const DeletionRun& run);

}  // namespace tolvane
