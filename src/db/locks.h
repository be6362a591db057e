// The table locks of a project database: one-row tables that keep two long edits (cable
// assignment, system-name assignment) from running for two users at once. In shared mode the
// lock is taken by one conditional update, so two users can never both hold it; in
// single-user mode taking a lock always succeeds and touches nothing.
#pragma once

#include <QString>

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
              DbId db = DbId::Project, Connections& registry = connections());
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
    void makeRow();

    const LockTable& table_;
    bool shared_;
    QString whoAmI_;
    Ui& ui_;
    DbId db_;
    Connections& registry_;
    bool held_ = false;
};

}  // namespace tolvane::db
