// Revisions of the cable schedule of a project of 100,000 cables, on SQLite and (when
// TOLVANE_TEST_PG names a server) on PostgreSQL: the first revision issued (every cable and the
// 12,000 cores of its 1,000 multicore cables frozen, the counters and title blocks stamped, one
// transaction; target under 2 s), a later one after 1% of the cables were edited (only those
// written), and the comparison of
// that revision with the cables as they are after 1% of them were edited, added or freed, and
// with the next revision issued after those edits (the lines an installer reads; target under
// 1 s).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>
#include <memory>

#include "bench_help.h"
#include "db/database.h"
#include "db/schema.h"
#include "engine_projects.h"
#include "wiring/revisions.h"

using namespace tolvane;

namespace {

constexpr int kCables = 100000;
constexpr int kCores = 12;
const char* kPrefixes[] = {"A", "V", "D", "S", "N", "C", "K", "R"};

struct Project {
    db::Engine engine;
    QTemporaryDir dir;
    db::Connections registry;
    QString pgDatabase;

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
        insert(1, kCables);
        // One cable in a hundred is a multicore of twelve cores, the first in use as the cable
        // runs, the others free: 12,000 core rows frozen with each issue.
        exec(QString("update tblCables set MultiCore = %1 where CableID % 100 = 50")
                 .arg(e == db::Engine::SQLite ? "1" : "TRUE"));
        QStringList cores;
        for (int n = 1; n <= kCores; ++n)
            cores << QString("select '%1' as n, %2 as k").arg(n, 2, 10, QChar('0')).arg(n);
        exec(QString("insert into tblChildCables (CableNo, ParentNo, SRCSys, SRCConn, SRCPin, "
                     "DestSYS, DESTConn, DestPin, Sheet, Available) select c.CableNO || '-' || "
                     "k.n, c.CableID, c.SRCSys, 'DB25', c.SRCPin, c.DestSYS, 'DB25', c.DestPin, "
                     "c.Sheet, k.k > 1 from tblCables c, (%1) k where c.MultiCore = %2")
                 .arg(cores.join(" union all "), e == db::Engine::SQLite ? "1" : "TRUE"));
        // A project's sheets: their title blocks are stamped with each issue.
        db::Transaction t(db::DbId::Project, registry);
        for (int i = 0; i < 50; ++i)
            db::Query(db::DbId::Project,
                      "insert into tblDrawings (DrawingName, drawingpath) values (?, ?)", registry)
                .bind(QString("S%1").arg(i))
                .bind(QString("/p/DRAWINGS/S%1.dxf").arg(i))
                .exec();
        t.commit();
    }
    ~Project() {
        registry.closeAll();
        if (!pgDatabase.isEmpty()) {
            db::Connections admin;
            admin.bind(db::DbId::PM,
                       *db::ConnectionSpec::parse(qEnvironmentVariable("TOLVANE_TEST_PG")));
            // The server's own vacuum of the database after an issue's updates may still be
            // at work, and only the server may end it: the drop is tried again after it.
            for (int attempt = 1;; ++attempt) {
                try {
                    db::Query(db::DbId::PM,
                              "drop database if exists " + pgDatabase + " with (force)", admin)
                        .exec();
                    break;
                } catch (const db::DbError& e) {
                    if (attempt == 20) {
                        qWarning("the benchmark database %s is left on the server: %s",
                                 qPrintable(pgDatabase), e.what());
                        break;
                    }
                    QThread::msleep(500);
                }
            }
            admin.closeAll();
        }
    }

    void exec(const QString& sql) { db::Query(db::DbId::Project, sql, registry).exec(); }

    // Cables numbered per prefix with their ends, type, length and sheet.
    void insert(int first, int n) {
        db::Transaction t(db::DbId::Project, registry);
        db::Query q(db::DbId::Project,
                    "insert into tblCables (CableNO, CableNoPrefix, SignalType, CableType, "
                    "CabletypeManu, SRCSys, SRCConn, SRCPin, SRCLoc, DestSYS, DESTConn, DestPin, "
                    "DESTLOc, Length, Sheet, Available, availableCores, MultiCore) values (?, ?, "
                    "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                    registry);
        for (int k = first; k < first + n; ++k) {
            q.bind(QString::number(k / 8 + 1))
                .bind(kPrefixes[k % 8])
                .bind("SDI")
                .bind("CV-75")
                .bind("Cordavo")
                .bind(QString("SYS-%1").arg(k / 16, 4, 10, QChar('0')))
                .bind("BNC")
                .bind(QString("OUT %1").arg(k % 16 + 1))
                .bind(QString("Rack %1").arg(k / 400))
                .bind(QString("DST-%1").arg(k / 16, 4, 10, QChar('0')))
                .bind("BNC")
                .bind(QString("IN %1").arg(k % 16 + 1))
                .bind(QString("Rack %1").arg(k / 300))
                .bind(double(k % 40) + 0.5)
                .bind(QString("S%1.dxf").arg(k / 2000))
                .bind(false)
                .bind(false)
                .bind(false)
                .exec();
        }
        t.commit();
    }

    // After revision 1: 1% of the cables edited (two fields each), 500 added and 500 freed;
    // then revision 2.
    void plantChanges() {
        wiring::Revisions(registry).issue("first", "bench", QDateTime::currentDateTime());
        db::Transaction t(db::DbId::Project, registry);
        exec(
            "update tblCables set DestPin = DestPin || 'b', Length = Length + 1 where "
            "CableID % 100 = 7");
        exec("update tblCables set Available = TRUE, SRCSys = 'Deleted' where CableID % 200 = 3");
        t.commit();
        insert(kCables + 1, 500);
        wiring::Revisions(registry).issue("second", "bench", QDateTime::currentDateTime());
    }
};

bench::EngineProjects<Project> gProjects;

// Takes an issued revision away again (untimed), so that every run of a case freezes into
// tables of the same size: its rows, and the end it put to the rows of the one before.
void withdraw(Project& p, qint64 revision) {
    const std::optional<qint64> before = [&]() -> std::optional<qint64> {
        const QVariant v = db::Query(db::DbId::Project,
                                     QString("select max(Revision) from tblRevisions where "
                                             "Revision < %1")
                                         .arg(revision),
                                     p.registry)
                               .scalar();
        if (v.isNull()) return std::nullopt;
        return v.toLongLong();
    }();
    for (const char* table : {"tblRevisionCables", "tblRevisionCores"}) {
        p.exec(QString("delete from %1 where Revision = %2").arg(table).arg(revision));
        if (before)
            p.exec(QString("update %1 set LastRevision = null where LastRevision = %2")
                       .arg(table)
                       .arg(*before));
    }
    p.exec(QString("delete from tblRevisions where Revision = %1").arg(revision));
}

// The first issue of the project: all 100,000 cables and 12,000 cores are written.
void BM_IssueRevision(benchmark::State& state) {
    const auto e = db::Engine(state.range(0));
    if (bench::skipWithoutServer(state, e)) return;
    Project& p = gProjects.of(e);
    wiring::Revisions revisions(p.registry);
    for (auto _ : state) {
        const db::RevisionRecord r =
            revisions.issue("bench", "bench", QDateTime::currentDateTime());
        state.PauseTiming();
        if (r.cableCount < kCables) state.SkipWithError("not every cable was frozen");
        if (r.coreCount < kCables / 100 * kCores) state.SkipWithError("not every core was frozen");
        withdraw(p, r.revision);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kCables);
}

void compare(benchmark::State& state, std::optional<qint64> to) {
    const auto e = db::Engine(state.range(0));
    if (bench::skipWithoutServer(state, e)) return;
    Project& p = gProjects.of(e);
    if (!db::RevisionTable(p.registry).latest()) p.plantChanges();
    const qint64 from = *db::RevisionTable(p.registry).latest() - 1;
    wiring::Revisions revisions(p.registry);
    qsizetype lines = 0;
    for (auto _ : state) lines = revisions.compare(from, to).size();
    // 1,000 cables with two changed fields, 500 added, 500 removed.
    if (lines != 3000) state.SkipWithError("the comparison did not find the planted changes");
    state.counters["lines"] = double(lines);
}

void BM_CompareWithNow(benchmark::State& state) {
    compare(state, std::nullopt);
}

void BM_CompareTwoRevisions(benchmark::State& state) {
    const auto e = db::Engine(state.range(0));
    if (bench::skipWithoutServer(state, e)) return;
    if (!db::RevisionTable(gProjects.of(e).registry).latest()) gProjects.of(e).plantChanges();
    compare(state, db::RevisionTable(gProjects.of(e).registry).latest());
}

// A later issue: 1% of the cables (1,005 of 100,500) were edited since the latest revision, so
// their frozen rows stand in it last and 1,005 are written; the rest stand on.
void BM_IssueAfterEdits(benchmark::State& state) {
    const auto e = db::Engine(state.range(0));
    if (bench::skipWithoutServer(state, e)) return;
    Project& p = gProjects.of(e);
    wiring::Revisions revisions(p.registry);
    revisions.issue("base", "bench", QDateTime::currentDateTime());
    const qint64 before =
        db::Query(db::DbId::Project, "select count(*) from tblRevisionCables", p.registry)
            .scalar()
            .toLongLong();
    // One cable in a hundred: 1,000, and 5 of the 500 added after the first revision.
    const qint64 edited =
        db::Query(db::DbId::Project, "select count(*) from tblCables where CableID % 100 = 11",
                  p.registry)
            .scalar()
            .toLongLong();
    for (auto _ : state) {
        state.PauseTiming();
        p.exec("update tblCables set Length = Length + 1 where CableID % 100 = 11");
        state.ResumeTiming();
        const db::RevisionRecord r =
            revisions.issue("bench", "bench", QDateTime::currentDateTime());
        state.PauseTiming();
        const qint64 written = db::Query(db::DbId::Project,
                                         QString("select count(*) from tblRevisionCables where "
                                                 "Revision = %1")
                                             .arg(r.revision),
                                         p.registry)
                                   .scalar()
                                   .toLongLong();
        withdraw(p, r.revision);
        p.exec("update tblCables set Length = Length - 1 where CableID % 100 = 11");
        if (written != edited) {
            state.SkipWithError(QString("%1 rows were written for %2 edited cables")
                                    .arg(written)
                                    .arg(edited)
                                    .toStdString()
                                    .c_str());
            break;
        }
        state.ResumeTiming();
    }
    const qint64 after =
        db::Query(db::DbId::Project, "select count(*) from tblRevisionCables", p.registry)
            .scalar()
            .toLongLong();
    if (after != before) state.SkipWithError("the issues were not taken away again");
    state.counters["written"] = double(edited);
}

void engines(benchmark::internal::Benchmark* b) {
    b->Arg(int(db::Engine::SQLite))
        ->Arg(int(db::Engine::PostgreSQL))
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3)
        ->UseRealTime();
}

BENCHMARK(BM_IssueRevision)->Apply(engines);
BENCHMARK(BM_CompareWithNow)->Apply(engines);
BENCHMARK(BM_CompareTwoRevisions)->Apply(engines);
BENCHMARK(BM_IssueAfterEdits)->Apply(engines);

}  // namespace

int main(int argc, char** argv) {
    if (bench::helpAsked(
            argc, argv,
            "Revisions of the cable schedule of a project of 100,000 cables, on SQLite and,\n"
            "when TOLVANE_TEST_PG names a server, on PostgreSQL: the first revision issued\n"
            "(every cable and the 12,000 cores of its 1,000 multicore cables frozen, counters\n"
            "and title blocks stamped, one transaction; target under 2 s), a later one after\n"
            "1% of the cables were edited (only those written), and\n"
            "the comparison of that revision, after 1% of the cables were edited, 500 added and\n"
            "500 freed, with the cables as they are now and with the next revision (target\n"
            "under 1 s).\n",
            bench::kGoogleBenchmarkOptions))
        return 0;
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    gProjects.clear();
    return 0;
}
