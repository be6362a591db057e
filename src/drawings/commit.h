// One change of the project database and of a drawing, kept or dropped as one: a database
// transaction and an undo group that both roll back unless committed, so a failure or a cancel
// anywhere leaves neither half-written. Commands that write both open one after their questions
// are answered: nothing asks the user anything while it is open.
#pragma once

#include "cad/undo.h"
#include "db/database.h"

namespace tolvane {

class Commit {
  public:
    Commit(db::DbId db, db::Connections& registry, cad::UndoStack& undo)
        : group_(undo), tx_(db, registry) {}
    Commit(const Commit&) = delete;
    Commit& operator=(const Commit&) = delete;
    // The database first: when it cannot keep the changes (DbError, Cancelled) the drawing goes
    // back too as the exception leaves the scope.
    void commit() {
        tx_.commit();
        group_.commit();
    }

  private:
    // Declared first, left last: the database rolls back before the drawing does.
    cad::UndoGroup group_;
    db::Transaction tx_;
};

}  // namespace tolvane
