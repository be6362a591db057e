// An empty equipment library in a SQLite database, the ground the library window tests build
// their rows on.
#pragma once

#include <gtest/gtest.h>

#include "db/schema.h"
#include "db_fixture.h"
#include "equipment/library_access.h"
#include "script_fixture.h"

namespace tolvane::test {

class LibraryWindowFixture : public ::testing::Test {
  protected:
    // Makes the empty library; a test's own SetUp calls this before it adds its rows.
    void SetUp() override {
        dbs.makeEmpty(db::DbId::Equipment, registry);
        db::ensureSchema(db::DbId::Equipment, registry);
    }

    // The library as a user who is asked nothing, for adding the rows a test starts from.
    equipment::LibraryAccess seedAccess() { return equipment::LibraryAccess(*seeder.ui, registry); }

    db::Connections registry;
    TestDatabases dbs{db::Engine::SQLite};
    ScriptedUser seeder{QString()};
};

}  // namespace tolvane::test
