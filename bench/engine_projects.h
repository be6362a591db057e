// The benchmarks that run on both database engines: a project per engine, made on first use
// and dropped before the application ends, and the PostgreSQL cases skipped without a server.
#pragma once

#include <benchmark/benchmark.h>

#include <QtGlobal>
#include <memory>

#include "db/database.h"

namespace bench {

template <class Project>
class EngineProjects {
  public:
    Project& of(tolvane::db::Engine e) {
        std::unique_ptr<Project>& p = e == tolvane::db::Engine::SQLite ? sqlite_ : postgres_;
        if (!p) p = std::make_unique<Project>(e);
        return *p;
    }
    void clear() {
        sqlite_.reset();
        postgres_.reset();
    }

  private:
    std::unique_ptr<Project> sqlite_, postgres_;
};

// True (the case marked skipped) for PostgreSQL when TOLVANE_TEST_PG names no server.
inline bool skipWithoutServer(benchmark::State& state, tolvane::db::Engine e) {
    if (e == tolvane::db::Engine::PostgreSQL && qEnvironmentVariableIsEmpty("TOLVANE_TEST_PG")) {
        state.SkipWithError("TOLVANE_TEST_PG not set");
        return true;
    }
    return false;
}

}  // namespace bench
