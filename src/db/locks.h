// The table locks of a project database: one-row tables that keep two long edits (cable
// assignment, system-name assignment) from running for two users at once. In shared mode the
// lock is taken by one conditional update, so two users can never both hold it; in
// single-user mode taking a lock always succeeds and touches nothing.
//
// Every lock row (these tables, and the drawing locks of tblDrawings) is tied to the live
// session of its holder. We chose the server's own bookkeeping over a session table with a
// heartbeat: each PostgreSQL connection of a run holds a shared advisory lock on the run's
// WhoAmI (Connections::setSessionIdentity), and the server drops it the moment the
// connection ends, whether the program closed, was killed or lost its network. A heartbeat
// would need a timer in every run, batch runs included, a time-out that is either too long
// for the user who waits or too short for a busy holder, and clocks that agree; the advisory
// lock needs none of these, and a holder that is alive never loses its lock to a slow beat.
// The row stays the lock (its holder is what the busy message names); the session only
// decides whether a held row is stale and may be taken over.
#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "db/database.h"

namespace tolvane {
class Ui;
}

namespace tolvane::db {

struct LockTable {
    QString table;       // "tblLockcables"
    QString flagColumn;  // "lockCables"
    QString busyText;    // followed by the holder's identity
};

// The cable lock and the system-name lock.
const LockTable& cableLock();
const LockTable& systemLock();

class TableLock {
  public:
    // shared: whether the installation runs in shared mode; whoAmI: this user's identity.
    TableLock(const LockTable& table, bool shared, const QString& whoAmI, Ui& ui,
              Connections& registry, DbId db = DbId::Project);
    // Releases a lock still held (a command that failed half-way must not leave it behind).
    ~TableLock();
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;

    // True when the lock is taken (or in single-user mode); false when the user chose Cancel
    // at the busy message. Retry tests again.
    bool acquire();
    // One attempt without asking anyone: true when this instance holds the lock now.
    bool tryAcquire();
    // Frees the lock when this instance holds it; otherwise nothing.
    void release();
    bool held() const { return held_; }

    // Who holds the lock now: "-" when free, "" when the table has no row yet.
    QString holder();

  private:
    bool tryTake();
    bool takeOver(const QString& staleHolder);
    QString heldKey() const;
    void makeRow();

    const LockTable& table_;
    bool shared_;
    QString whoAmI_;
    Ui& ui_;
    DbId db_;
    Connections& registry_;
    bool held_ = false;
};

// Who holds a table lock; nothing when it is free.
std::optional<QString> tableLockHolder(const LockTable& table, Connections& registry,
                                       DbId db = DbId::Project);

// An administrator's clear of a table lock: the row becomes free whoever holds it.
void clearTableLock(const LockTable& table, Connections& registry, DbId db = DbId::Project);

// Takes over a lock row whose holder has no live session left. takeOver is the conditional
// update that names the stale holder (so that a row that changed meanwhile is left alone)
// and returns the rows it changed; it runs while no session of the holder can start, so a
// holder that restarts this very moment cannot lose the lock it takes back. A holder with a
// live session keeps its lock (false, takeOver not run); this run's own connections do not
// count, which lets the same WhoAmI take back its lock after a restart. SQLite keeps no
// sessions: there only this identity's own lock is taken back (single-user mode has one
// user, and only an earlier run of it can have left its lock behind).
bool takeOverStale(DbId db, const QString& holder, const QString& whoAmI, Connections& registry,
                   const std::function<int()>& takeOver);

// Work that one installation at a time may do on a shared server (making and seeding the
// master databases, making the default project): a session advisory lock on the database of
// db, held for the scope. Nothing on SQLite.
class ServerMutex {
  public:
    explicit ServerMutex(DbId db, Connections& registry);
    ~ServerMutex();
    ServerMutex(const ServerMutex&) = delete;
    ServerMutex& operator=(const ServerMutex&) = delete;

  private:
    DbId db_;
    Connections& registry_;
    bool held_ = false;
};

}  // namespace tolvane::db
