// Clearing a lock.
#include "projects/lock_admin.h"

#include <QStringList>
#include <vector>

#include "db/locks.h"
#include "projects/drawing_registry.h"
#include "shell/run_state.h"
#include "ui/ui.h"

namespace tolvane::projects {

namespace {

const QString kTitle = QStringLiteral("Clear a Lock");

struct HeldLock {
    QString what;                          // "Cables table", "Drawing PATH"
    const db::LockTable* table = nullptr;  // a table lock, or
    QString drawing;                       // the path of a drawing lock
    QString holder;
};

}  // namespace

bool clearLock(RunState& run, Ui& ui, db::Connections& registry) {
    std::vector<HeldLock> held;
    const struct {
        const db::LockTable& table;
        QString name;
    } tables[] = {{db::cableLock(), QStringLiteral("Cables table")},
                  {db::systemLock(), QStringLiteral("Systems table")}};
    for (const auto& t : tables) {
        if (const std::optional<QString> by = db::tableLockHolder(t.table, registry))
            held.push_back({t.name, &t.table, {}, *by});
    }
    DrawingRegistry drawings(run, ui, registry);
    for (const DrawingEntry& d : drawings.drawings())
        if (d.locked)
            held.push_back({QStringLiteral("Drawing ") + d.path, nullptr, d.path, d.lockedBy});
    if (held.empty()) {
        ui.message(QStringLiteral("No lock is held in this project."), MsgButtons::Ok,
                   MsgIcon::Information, kTitle);
        return false;
    }
    QStringList items;
    for (const HeldLock& h : held) items << h.what + QStringLiteral(", held by ") + h.holder;
    const std::optional<int> chosen = ui.choose(kTitle, items);
    if (!chosen || *chosen < 0 || *chosen >= int(held.size())) return false;
    const HeldLock& lock = held[size_t(*chosen)];
    // A drawing is unlocked as the project explorer unlocks it, with its question.
    if (!lock.table) return drawings.unlock(lock.drawing);
    if (ui.message(QStringLiteral("The %1 is locked by %2. If %2 is still at work, clearing the "
                                  "lock lets two users change the table at once. Clear it?")
                       .arg(lock.what, lock.holder),
                   MsgButtons::YesNo, MsgIcon::Warning, kTitle) != MsgButton::Yes)
        return false;
    db::clearTableLock(*lock.table, registry);
    return true;
}

}  // namespace tolvane::projects
