// Table locks.
#include "db/locks.h"

#include <QMutex>
#include <QSet>
#include <exception>

#include "ui/ui.h"

namespace tolvane::db {

namespace {

// The table locks held by this process, by connection and table: the server counts every
// connection of this run as one live holder, so a second command of the same run must be
// told "busy" here rather than take the lock its own run holds.
QSet<QString>& heldHere() {
    static QSet<QString> held;
    return held;
}
QMutex& heldMutex() {
    static QMutex m;
    return m;
}

}  // namespace

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

TableLock::TableLock(const LockTable& table, bool shared, const QString& whoAmI, Ui& ui,
                     Connections& registry, DbId db)
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
    // A database kept busy by other users' writes: the lock is not taken this time.
    try {
        take.bind(true).bind(whoAmI_).exec();
    } catch (const DbError& e) {
        if (e.refusal() == QLatin1String(kBusyRefusal)) return false;
        throw;
    }
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

QString TableLock::heldKey() const {
    return registry_.connectionName(db_) + QLatin1Char('/') + table_.table;
}

bool TableLock::takeOver(const QString& staleHolder) {
    return takeOverStale(db_, staleHolder, whoAmI_, registry_, [&] {
        Query take(
            db_,
            QStringLiteral("update %1 set %2 = ?, LOCKEDBY = ? where %2 = ? and LOCKEDBY = ?")
                .arg(table_.table, table_.flagColumn),
            registry_);
        take.bind(true).bind(whoAmI_).bind(true).bind(staleHolder).exec();
        return take.rowsAffected();
    });
}

bool TableLock::tryAcquire() {
    if (!shared_ || held_) return true;
    // The lock is ours only while our session shows that we are alive.
    registry_.setSessionIdentity(whoAmI_);
    {
        QMutexLocker guard(&heldMutex());
        if (heldHere().contains(heldKey())) return false;
    }
    if (!tryTake()) {
        // A database kept busy by other users' writes past the wait: not taken this time,
        // as when another user holds the lock.
        try {
            const QString by = holder();
            if (by.isEmpty()) {
                makeRow();
                if (!tryTake()) return false;
            } else if (!takeOver(by)) {
                return false;
            }
        } catch (const DbError& e) {
            if (e.refusal() == QLatin1String(kBusyRefusal)) return false;
            throw;
        }
    }
    held_ = true;
    QMutexLocker guard(&heldMutex());
    heldHere().insert(heldKey());
    return true;
}

bool TableLock::acquire() {
    for (int freed = 0;;) {
        if (tryAcquire()) return true;
        QString by;
        try {
            by = holder();
        } catch (const DbError& e) {
            if (e.refusal() != QLatin1String(kBusyRefusal)) throw;
            by = QStringLiteral("-");  // not known for the moment: looked at again
        }
        // Given back between the attempt and this look: try again rather than name nobody.
        if (by == QLatin1String("-") && ++freed < 3) continue;
        const MsgButton answer =
            ui_.message(table_.busyText + by, MsgButtons::RetryCancel, MsgIcon::Warning);
        if (answer != MsgButton::Retry) return false;
    }
}

void TableLock::release() {
    if (!shared_ || !held_) return;
    held_ = false;
    {
        QMutexLocker guard(&heldMutex());
        heldHere().remove(heldKey());
    }
    // A lock given back must not be lost to a moment of contention: a database other users
    // keep busy beyond the busy wait is tried twice more before the failure stands.
    for (int attempt = 1;; ++attempt) {
        Query free(db_,
                   QStringLiteral("update %1 set %2 = ?, LOCKEDBY = ? where LOCKEDBY = ?")
                       .arg(table_.table, table_.flagColumn),
                   registry_);
        try {
            free.bind(false).bind(QStringLiteral("-")).bind(whoAmI_).exec();
            return;
        } catch (const DbError& e) {
            if (attempt == 3 || e.refusal() != QLatin1String(kBusyRefusal)) throw;
        }
    }
}

std::optional<QString> tableLockHolder(const LockTable& table, Connections& registry, DbId db) {
    Query q(
        db,
        QStringLiteral("select LOCKEDBY from %1 where %2 = ?").arg(table.table, table.flagColumn),
        registry);
    q.bind(true).exec();
    if (!q.next()) return std::nullopt;
    return q.value(0).toString();
}

void clearTableLock(const LockTable& table, Connections& registry, DbId db) {
    Query free(
        db, QStringLiteral("update %1 set %2 = ?, LOCKEDBY = ?").arg(table.table, table.flagColumn),
        registry);
    free.bind(false).bind(QStringLiteral("-")).exec();
}

bool takeOverStale(DbId db, const QString& holder, const QString& whoAmI, Connections& registry,
                   const std::function<int()>& takeOver) {
    if (registry.engine(db) != Engine::PostgreSQL) return holder == whoAmI && takeOver() > 0;
    // The exclusive lock on the holder's identity is granted only when no session of the
    // holder other than our own is connected; while we hold it no new one can announce itself.
    // Our run's other connections to the server announce the holder too when it is our own
    // identity (an earlier run of this user): they step back until the lock is given back, so
    // that only other runs count as alive.
    const QString lockKey = QStringLiteral("%1, hashtext(?)").arg(advisory::kSessionClass);
    int changed = 0;
    registry.withSoleAnnouncement(db, [&] {
        Query alive(db, QStringLiteral("select pg_try_advisory_lock(%1)").arg(lockKey), registry);
        if (!alive.bind(holder).scalar().toBool()) return;
        // Given back however the take-over ends.
        std::exception_ptr failed;
        try {
            changed = takeOver();
        } catch (...) {
            failed = std::current_exception();
        }
        Query(db, QStringLiteral("select pg_advisory_unlock(%1)").arg(lockKey), registry)
            .bind(holder)
            .exec();
        if (failed) std::rethrow_exception(failed);
    });
    return changed > 0;
}

ServerMutex::ServerMutex(DbId db, Connections& registry) : db_(db), registry_(registry) {
    if (registry.engine(db) != Engine::PostgreSQL) return;
    Query(db,
          QStringLiteral("select pg_advisory_lock(%1, %2)")
              .arg(advisory::kSetupClass)
              .arg(advisory::kFirstStart),
          registry)
        .exec();
    held_ = true;
}

ServerMutex::~ServerMutex() {
    if (!held_) return;
    try {
        Query(db_,
              QStringLiteral("select pg_advisory_unlock(%1, %2)")
                  .arg(advisory::kSetupClass)
                  .arg(advisory::kFirstStart),
              registry_)
            .exec();
    } catch (const std::exception&) {
        // The connection is gone, and the server released the lock with it.
    }
}

}  // namespace tolvane::db
