// Table locks.
#include "db/locks.h"

#include "ui/ui.h"

namespace tolvane::db {

const LockTable& cableLock() {
    static const LockTable t{QStringLiteral("tblLockcables"), QStringLiteral("lockCables"),
                             QStringLiteral("The project Cables table is being edited by ")};
    return t;
}

const LockTable& systemLock() {
    static const LockTable t{QStringLiteral("tblLockSys"), QStringLiteral("lockSystems"),
                             QStringLiteral("The Systems table is being edited by ")};
    return t;
}

TableLock::TableLock(const LockTable& table, bool shared, const QString& whoAmI, Ui& ui, DbId db,
                     Connections& registry)
    : table_(table), shared_(shared), whoAmI_(whoAmI), ui_(ui), db_(db), registry_(registry) {}

TableLock::~TableLock() {
    try {
        release();
    } catch (const std::exception&) {
        // The connection is gone; the row stays held and is reported to the next user.
    }
}

QString TableLock::holder() {
    Query q(db_, QStringLiteral("select LOCKEDBY from %1").arg(table_.table), registry_);
    q.exec();
    return q.next() ? q.value(0).toString() : QString();
}

bool TableLock::tryTake() {
    // Test and set in one statement: of two users only one sees a row change.
    Query take(
        db_,
        QStringLiteral("update %1 set %2 = ?, LOCKEDBY = ? where coalesce(%2, FALSE) = FALSE")
            .arg(table_.table, table_.flagColumn),
        registry_);
    take.bind(true).bind(whoAmI_).exec();
    return take.rowsAffected() > 0;
}

void TableLock::makeRow() {
    // A new project database may have no lock row yet: the first lock makes it.
    Query make(db_,
               QStringLiteral("insert into %1 (%2, LOCKEDBY) select ?, ? where not exists "
                              "(select 1 from %1)")
                   .arg(table_.table, table_.flagColumn),
               registry_);
    try {
        make.bind(false).bind(QStringLiteral("-")).exec();
    } catch (const DbError&) {
        // Another user made the row at the same moment: there is one, which is all we need.
        if (holder().isEmpty()) throw;
    }
}

bool TableLock::tryAcquire() {
    if (!shared_ || held_) return true;
    if (!tryTake()) {
        if (!holder().isEmpty()) return false;
        makeRow();
        if (!tryTake()) return false;
    }
    held_ = true;
    return true;
}

bool TableLock::acquire() {
    for (;;) {
        if (tryAcquire()) return true;
        const QString by = holder();
        const MsgButton answer =
            ui_.message(table_.busyText + by, MsgButtons::RetryCancel, MsgIcon::Warning);
        if (answer != MsgButton::Retry) return false;
    }
}

void TableLock::release() {
    if (!shared_ || !held_) return;
    held_ = false;
    Query free(db_,
               QStringLiteral("update %1 set %2 = ?, LOCKEDBY = ? where LOCKEDBY = ?")
                   .arg(table_.table, table_.flagColumn),
               registry_);
    free.bind(false).bind(QStringLiteral("-")).bind(whoAmI_).exec();
}

}  // namespace tolvane::db
