// Cable assignment in a project that already holds 100,000 cables: one cable assigned with the
// settings window not shown (resolving both ends, the checks for wired pins, the next number,
// the row written in its transaction, the drawing's texts, tag and layer), on SQLite and, when
// TOLVANE_TEST_PG names a server, on PostgreSQL. A drawing holds 1,000 drawn cables; each
// iteration assigns the next one, as a script assigning the drawing's cables one by one does.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUuid>
#include <memory>

#include "bench_help.h"
#include "cad/dxf.h"
#include "cad/editing.h"
#include "db/database.h"
#include "db/schema.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "drawings/standard_drawings.h"
#include "front/script_ui.h"
#include "wiring/cable_assignment.h"
#include "wiring/cable_drawing.h"

using namespace tolvane;

namespace {

constexpr int kExisting = 100000;
constexpr int kCables = 1000;

std::optional<db::ConnectionSpec> pgServer() {
    const QString text = qEnvironmentVariable("TOLVANE_TEST_PG");
    if (text.isEmpty()) return std::nullopt;
    return db::ConnectionSpec::parse(text);
}

struct Project {
    QTemporaryDir dir;
    db::Connections registry;
    std::unique_ptr<Drawing> drawing;
    QStringList cables;
    int next = 0;
    QString transcript;
    QTextStream stream{&transcript};
    ScriptUi ui{parseScript(QString()), stream};
    QStringList madeOnServer;

    explicit Project(db::Engine engine) {
        for (db::DbId id : {db::DbId::Equipment, db::DbId::Project}) {
            if (engine == db::Engine::SQLite) {
                const QString file = dir.filePath(db::dbName(id) + ".db");
                db::createSqliteFile(id, file);
                registry.bind(id, db::ConnectionSpec::sqlite(file));
            } else {
                db::ConnectionSpec server = *pgServer();
                const QString name = QStringLiteral("tolvane_bench_%1")
                                         .arg(QUuid::createUuid().toString(QUuid::Id128).left(12));
                admin([&](QSqlQuery& q) { q.exec("create database " + name); });
                madeOnServer << name;
                server.database = name;
                registry.bind(id, server);
            }
            db::ensureSchema(id, registry);
        }
        db::Query(db::DbId::Equipment,
                  "insert into SignalDefault (Type, Color, CableNoPrefix) values ('AUD', 3, 'A')",
                  registry)
            .exec();
        db::Query(db::DbId::Equipment,
                  "insert into tblPreferences (UserID, CablesStartNo, CablesVerifySettings, "
                  "cablecolorline, cablecolortext) values (1, 1, ?, ?, ?)",
                  registry)
            .bind(false)
            .bind(true)
            .bind(true)
            .exec();
        db::Query(db::DbId::Project,
                  "insert into tblJF (JFID, JFSysName, JFLoc, JFEl, SignalType, RearConn) values "
                  "(7, 'AJF', 'MCR', 'R1', 'AUD', 'XLR')",
                  registry)
            .exec();
        {
            // The project's existing cables, one transaction.
            db::Transaction tx(db::DbId::Project, registry);
            db::Query insert(db::DbId::Project,
                             "insert into tblCables (CableNoPrefix, CableNO, SRCSys, SRCPin, "
                             "DestSYS, DestPin, Available, MultiCore, SignalType) values ('A', ?, "
                             "?, 'B-1', ?, '-1', ?, ?, 'AUD')",
                             registry);
            for (int i = 1; i <= kExisting; ++i)
                insert.bind(QString::number(i))
                    .bind(QStringLiteral("OLD-%1").arg(i))
                    .bind(QStringLiteral("OLDJF-%1").arg(i))
                    .bind(false)
                    .bind(false)
                    .exec();
            tx.commit();
        }
        drawing = std::make_unique<Drawing>();
        for (const char* name : {"JBOX_S", "FN_JACK_D"}) {
            const QString file = dir.filePath(QString::fromLatin1(name) + ".dxf");
            cad::saveDxf(standard::blockDrawing(QString::fromLatin1(name)), file);
            cad::addBlockFromFile(drawing->document(), file, QString::fromLatin1(name));
        }
        QString script;
        for (int c = 0; c < kCables; ++c) {
            const double x = 30.0 * (c % 40), y = 10.0 * (c / 40);
            cad::Entity box = cad::makeInsert(drawing->document(), "JBOX_S", {x, y});
            cad::Entity jack = cad::makeInsert(drawing->document(), "FN_JACK_D", {x + 10, y + 4});
            for (cad::Entity& a : box.attributes)
                if (a.tag == "JB") a.text = QStringLiteral("JB-%1").arg(c);
            for (cad::Entity& a : jack.attributes)
                if (a.tag == "JF") a.text = QStringLiteral("JF-%1").arg(c);
            tag::tagEntity(box, tag::kind::JBox);
            tag::tagEntity(jack, tag::kind::Jack, "7");
            drawing->editor().add(std::move(box));
            drawing->editor().add(std::move(jack));
            script +=
                QStringLiteral("point %1,%2\npoint %3,%4\n").arg(x).arg(y).arg(x + 10).arg(y + 4);
        }
        ScriptUi picks(parseScript(script), stream);
        wiring::CableOptions options;
        wiring::CableDrawer drawer(*drawing, picks, nullptr, options, registry);
        for (int c = 0; c < kCables; ++c)
            if (drawer.drawOne() == wiring::CableDrawer::Outcome::Drawn)
                cables << drawer.drawn().value(0).polyline;
    }
    ~Project() {
        registry.closeAll();
        for (const QString& name : madeOnServer)
            admin(
                [&](QSqlQuery& q) { q.exec("drop database if exists " + name + " with (force)"); });
    }
    template <class F>
    static void admin(F f) {
        const db::ConnectionSpec s = *pgServer();
        {
            QSqlDatabase a = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), "bench-admin");
            a.setHostName(s.host);
            a.setPort(s.port);
            a.setDatabaseName(s.database);
            a.setUserName(s.user);
            a.setPassword(s.password);
            a.open();
            QSqlQuery q(a);
            f(q);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("bench-admin"));
    }
};

void BM_AssignCable(benchmark::State& state, db::Engine engine) {
    if (engine == db::Engine::PostgreSQL && !pgServer()) {
        state.SkipWithError("no PostgreSQL server (TOLVANE_TEST_PG)");
        return;
    }
    Project p(engine);
    wiring::AssignmentState assignment;
    for (auto _ : state) {
        if (p.next >= p.cables.size()) {
            state.SkipWithError("more iterations than cables");
            break;
        }
        wiring::AssignCablesRun run(p.ui, assignment, p.registry);
        run.picked = p.cables[p.next++];
        if (wiring::assignCables(*p.drawing, run) != 1) {
            state.SkipWithError(qPrintable("a cable was not assigned: " + p.transcript.right(300)));
            break;
        }
    }
}
BENCHMARK_CAPTURE(BM_AssignCable, SQLite, db::Engine::SQLite)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kCables);
BENCHMARK_CAPTURE(BM_AssignCable, PostgreSQL, db::Engine::PostgreSQL)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kCables);

}  // namespace

int main(int argc, char** argv) {
    if (bench::helpAsked(
            argc, argv,
            "Cable assignment in a project that already holds 100,000 cables: one drawn cable\n"
            "assigned without the settings window (both ends resolved, the wired-pin checks,\n"
            "the next number, the row written in its transaction, the drawing's texts, tag\n"
            "and layer), on SQLite and, when TOLVANE_TEST_PG names a server, on PostgreSQL.\n"
            "Time per assignment.\n",
            bench::kGoogleBenchmarkOptions))
        return 0;
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
