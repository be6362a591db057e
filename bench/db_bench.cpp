// Cable-table figures on a project of 100,000 cables, on SQLite and (when TOLVANE_TEST_PG
// names a server) on PostgreSQL: the next cable number of a prefix (through the numbering Assign
// Cable uses), the list of reusable numbers, the lookup of an assigned pin, and 10,000 inserts
// in one transaction.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <memory>

#include "bench_help.h"
#include "db/database.h"
#include "db/schema.h"
#include "engine_projects.h"
#include "wiring/cable_numbers.h"

using namespace tolvane;

namespace {

constexpr int kCables = 100000;
const char* kPrefixes[] = {"A", "V", "D", "S", "N", "C", "K", "R"};

struct Project {
    db::Engine engine;
    QTemporaryDir dir;
    db::Connections registry;
    QString pgDatabase;
    int nextId = 1;

    explicit Project(db::Engine e) : engine(e) {
        if (e == db::Engine::SQLite) {
            const QString file = dir.filePath("ProjectDB.db");
            db::createSqliteFile(db::DbId::Project, file);
            registry.bind(db::DbId::Project, db::ConnectionSpec::sqlite(file));
        } else {
            auto connSpec = *db::ConnectionSpec::parse(qEnvironmentVariable("TOLVANE_TEST_PG"));
            pgDatabase = "tolvane_bench_" + QUuid::createUuid().toString(QUuid::Id128).left(12);
            db::Connections admin;
            admin.bind(db::DbId::PM, connSpec);
            db::Query(db::DbId::PM, "create database " + pgDatabase, admin).exec();
            admin.closeAll();
            connSpec.database = pgDatabase;
            registry.bind(db::DbId::Project, connSpec);
        }
        db::ensureSchema(db::DbId::Project, registry);
        insert(kCables);
    }
    ~Project() {
        registry.closeAll();
        if (!pgDatabase.isEmpty()) {
            db::Connections admin;
            admin.bind(db::DbId::PM,
                       *db::ConnectionSpec::parse(qEnvironmentVariable("TOLVANE_TEST_PG")));
            db::Query(db::DbId::PM, "drop database if exists " + pgDatabase + " with (force)",
                      admin)
                .exec();
            admin.closeAll();
        }
    }

    // Cables numbered per prefix as the program writes numbers (no leading zeros), every 50th
    // free for reuse, ends on systems SYS-0000...
    void insert(int n) {
        db::Transaction t(db::DbId::Project, registry);
        db::Query q(
            db::DbId::Project,
            "insert into tblCables (CableNO, CableNoPrefix, SignalType, SRCSys, SRCConn, SRCPin, "
            "DestSYS, DESTConn, DestPin, Available, availableCores, MultiCore) "
            "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
            registry);
        for (int i = 0; i < n; ++i, ++nextId) {
            const int k = nextId;
            q.bind(QString::number(k / 8 + 1))
                .bind(kPrefixes[k % 8])
                .bind("SDI")
                .bind(QString("SYS-%1").arg(k / 16, 4, 10, QChar('0')))
                .bind("BNC")
                .bind(QString("OUT %1").arg(k % 16 + 1))
                .bind(QString("DST-%1").arg(k / 16, 4, 10, QChar('0')))
                .bind("BNC")
                .bind(QString("IN %1").arg(k % 16 + 1))
                .bind(k % 50 == 0)
                .bind(false)
                .bind(false)
                .exec();
        }
        t.commit();
    }
};

bench::EngineProjects<Project> gProjects;

void BM_NextNumber(benchmark::State& state) {
    const auto e = db::Engine(state.range(0));
    if (bench::skipWithoutServer(state, e)) return;
    Project& p = gProjects.of(e);
    // What Assign Cable asks for a new cable's number.
    wiring::CableNumbers numbers(p.registry);
    for (auto _ : state) benchmark::DoNotOptimize(numbers.next("V", 1));
}

void BM_ReuseList(benchmark::State& state) {
    const auto e = db::Engine(state.range(0));
    if (bench::skipWithoutServer(state, e)) return;
    Project& p = gProjects.of(e);
    for (auto _ : state) {
        // Two index lookups merged: free numbers, and multicores with free cores.
        db::Query q(
            db::DbId::Project,
            "select CableID, CableNO from tblCables where CableNoPrefix = ? and Available = ? "
            "union select CableID, CableNO from tblCables where CableNoPrefix = ? and "
            "availableCores = ? order by CableNO",
            p.registry);
        q.bind("V").bind(true).bind("V").bind(true).exec();
        int n = 0;
        while (q.next()) ++n;
        benchmark::DoNotOptimize(n);
    }
}

void BM_AssignedPin(benchmark::State& state) {
    const auto e = db::Engine(state.range(0));
    if (bench::skipWithoutServer(state, e)) return;
    Project& p = gProjects.of(e);
    int i = 0;
    for (auto _ : state) {
        db::Query q(db::DbId::Project,
                    "select CableID from tblCables where SRCSys = ? and SRCPin = ?", p.registry);
        q.bind(QString("SYS-%1").arg(i++ % 6000, 4, 10, QChar('0'))).bind("OUT 3");
        benchmark::DoNotOptimize(q.scalar());
    }
}

void BM_Insert10000InOneTransaction(benchmark::State& state) {
    const auto e = db::Engine(state.range(0));
    if (bench::skipWithoutServer(state, e)) return;
    Project& p = gProjects.of(e);
    for (auto _ : state) p.insert(10000);
    state.SetItemsProcessed(state.iterations() * 10000);
}

void engines(benchmark::internal::Benchmark* b) {
    b->Arg(int(db::Engine::SQLite))
        ->Arg(int(db::Engine::PostgreSQL))
        ->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_NextNumber)->Apply(engines);
BENCHMARK(BM_ReuseList)->Apply(engines);
BENCHMARK(BM_AssignedPin)->Apply(engines);
BENCHMARK(BM_Insert10000InOneTransaction)
    ->Apply(engines)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (bench::helpAsked(
            argc, argv,
            "Cable-table figures on a project of 100,000 cables, on SQLite and, when\n"
            "TOLVANE_TEST_PG names a server, on PostgreSQL: the next cable number of a prefix\n"
            "(the program's own numbering), the list of reusable numbers, the lookup of an\n"
            "assigned pin, and 10,000 inserts in one transaction.\n",
            bench::kGoogleBenchmarkOptions))
        return 0;
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    // Only the projects the benchmarks made are dropped: none is made here.
    gProjects.clear();
    return 0;
}
