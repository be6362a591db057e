// The check of a project and one signal trace on a project of 50 drawings and 100,000 assigned
// cables (2,000 per sheet, between 200 equipment blocks, each with its two number texts, among
// the filler of the wiring sheet the other benchmarks use), on SQLite. The check reads every
// drawing from its file and every record with one query per table; the trace follows one
// cable from a camera through a jack pair into a monitor. Prints the figures.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <ctime>

#include "bench_help.h"
#include "cad/dxf.h"
#include "db/database.h"
#include "db/schema.h"
#include "drawings/entity_tag.h"
#include "wiring/project_check.h"
#include "wiring/signal_trace.h"
#include "wiring_sheet.h"

using namespace tolvane;

namespace {

constexpr int kDrawings = 50;
constexpr int kCablesPerDrawing = 2000;
constexpr int kBlocksPerDrawing = 200;
constexpr int kFiller = 6000;  // entities of the wiring sheet per drawing

cad::Entity tagged(cad::Entity e, const QString& kind, const QString& ref1,
                   const QString& ref2 = {}, const QString& assoc = {}) {
    tag::tagEntity(e, kind, ref1, ref2, {}, {}, assoc);
    return e;
}

// The CPU time of the whole process (all its threads) so far, in seconds.
double processCpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

QString sheetTitle(int d) {
    return QStringLiteral("sheet%1.dxf").arg(d, 2, 10, QLatin1Char('0'));
}

}  // namespace

int main(int argc, char** argv) {
    if (bench::helpAsked(
            argc, argv,
            "Check Project over a project of 50 drawings and 100,000 assigned cables on\n"
            "SQLite: the time to read the drawings (from their DXF files) and to check the\n"
            "records as the program does it, the records read while the drawings are (target\n"
            "under 1 s), then each part alone; and the time of a signal trace. Beside the\n"
            "check's times, the CPU time of the whole process (all its threads).\n",
            "  --keep=DIR  make the project in DIR and keep it; a later run with the same DIR\n"
            "              checks the project found there instead of making it again\n"))
        return 0;
    QCoreApplication app(argc, argv);
    QString keep;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a.startsWith(QLatin1String("--keep="))) {
            keep = a.mid(7);
        } else {
            std::fprintf(stderr, "unknown option %s (see --help)\n", argv[i]);
            return 2;
        }
    }
    QTemporaryDir temporary;
    if (!keep.isEmpty()) QDir().mkpath(keep);
    const QDir dir(keep.isEmpty() ? temporary.path() : keep);
    // A kept folder is marked "done" once its project is whole.
    const bool made = !keep.isEmpty() && QFileInfo::exists(dir.filePath(QStringLiteral("done")));
    db::Connections registry;
    for (db::DbId id : {db::DbId::Equipment, db::DbId::Project}) {
        const QString file = dir.filePath(db::dbName(id) + ".db");
        if (!made) {
            QFile::remove(file);
            db::createSqliteFile(id, file);
        }
        registry.bind(id, db::ConnectionSpec::sqlite(file));
        db::ensureSchema(id, registry);
    }
    QList<wiring::DrawingSource> sources;
    for (int d = 0; d < kDrawings; ++d)
        sources << wiring::DrawingSource{dir.filePath(sheetTitle(d)), nullptr};
    QElapsedTimer timer;
    timer.start();
    if (!made) {
        db::Transaction t(db::DbId::Equipment, registry);
        db::Query(db::DbId::Equipment,
                  "insert into tblEquipment (EquipmentID, EquipmentName) values (1, 'BOX')",
                  registry)
            .exec();
        t.commit();
    }
    qint64 cableId = 0;
    qint64 sysId = 0;
    if (!made) {
        db::Transaction t(db::DbId::Project, registry);
        db::Query system(
            db::DbId::Project,
            "insert into tblSystems (SysID, SysName, SysNum, EquipID) values (?, ?, ?, 1)",
            registry);
        db::Query cable(
            db::DbId::Project,
            "insert into tblCables (CableID, CableNoPrefix, CableNO, SRCSys, SRCPin, "
            "DestSYS, DestPin, Sheet, MultiCore, Available) values (?, 'V', ?, ?, ?, ?, "
            "?, ?, ?, ?)",
            registry);
        for (int d = 0; d < kDrawings; ++d) {
            bench::BuildCounts counts;
            cad::Document doc = bench::buildDrawing(kFiller, &counts);
            doc.addBlock(QStringLiteral("BOX"));
            const QString title = sheetTitle(d);
            QStringList names;
            for (int b = 0; b < kBlocksPerDrawing; ++b) {
                ++sysId;
                const QString name = QStringLiteral("EQ%1").arg(sysId);
                names << name + QStringLiteral("-01");
                system.bind(sysId).bind(name).bind(1).exec();
                cad::Entity insert =
                    cad::Entity::insert(QStringLiteral("BOX"), QPointF(b * 40.0, -500.0 - d));
                insert.attributes.push_back(cad::Entity::attribute(
                    insert.start, QStringLiteral("SysName"), names.last(), 1));
                doc.addToModel(tagged(std::move(insert), tag::kind::EquipmentBlock,
                                      QStringLiteral("1"), QString::number(sysId)));
            }
            for (int c = 0; c < kCablesPerDrawing; ++c) {
                ++cableId;
                const QString number = QString::number(cableId);
                const QString from = names[c % kBlocksPerDrawing];
                const QString to = names[(c + 1) % kBlocksPerDrawing];
                const QString pin = QStringLiteral("OUT-%1").arg(c / kBlocksPerDrawing + 1);
                const QString in = QStringLiteral("IN-%1").arg(c / kBlocksPerDrawing + 1);
                cable.bind(cableId)
                    .bind(number)
                    .bind(from)
                    .bind(pin)
                    .bind(to)
                    .bind(in)
                    .bind(title)
                    .bind(false)
                    .bind(false)
                    .exec();
                const QPointF a(c * 3.0, -600.0), z(c * 3.0 + 2.0, -700.0);
                const QString s =
                    doc.addToModel(cad::Entity::textAt(a, QStringLiteral("V-") + number, 1)).handle;
                const QString e =
                    doc.addToModel(cad::Entity::textAt(z, QStringLiteral("V-") + number, 1)).handle;
                doc.addToModel(tagged(cad::Entity::polyline({{a}, {z}}, false), tag::kind::Cable,
                                      number, {}, s + QLatin1Char('|') + e));
            }
            cad::saveDxf(doc, dir.filePath(title));
        }
        t.commit();
        if (!keep.isEmpty()) QFile(dir.filePath(QStringLiteral("done"))).open(QIODevice::WriteOnly);
        std::printf("project made: %d drawings, %lld cables, %lld systems in %.1f s\n", kDrawings,
                    cableId, sysId, timer.elapsed() / 1000.0);
    } else {
        std::printf("project found in %s\n", qPrintable(keep));
    }

    // The check as the program runs it: the records read while the drawings are.
    timer.restart();
    double cpu = processCpu();
    wiring::ProjectCheck check(registry);
    const wiring::ProjectScan scan =
        wiring::scanProject(sources, {}, [&check] { check.readRecords(); });
    const QList<wiring::Finding> findings = check.run(scan);
    const double allSeconds = timer.elapsed() / 1000.0;
    const double allCpu = processCpu() - cpu;
    std::printf("check: %.2f s in all (%.2f s CPU; target under 1 s), %lld findings\n", allSeconds,
                allCpu, static_cast<long long>(findings.size()));

    // Its parts one after the other, for where the time goes.
    timer.restart();
    cpu = processCpu();
    const wiring::ProjectScan alone = wiring::scanProject(sources);
    const double scanSeconds = timer.elapsed() / 1000.0;
    const double scanCpu = processCpu() - cpu;
    timer.restart();
    cpu = processCpu();
    const qsizetype again = wiring::ProjectCheck(registry).run(alone).size();
    const double checkSeconds = timer.elapsed() / 1000.0;
    const double checkCpu = processCpu() - cpu;
    std::printf(
        "parts: drawings read in %.2f s (%.2f s CPU), records read and checked in %.2f s "
        "(%.2f s CPU), %lld findings\n",
        scanSeconds, scanCpu, checkSeconds, checkCpu, static_cast<long long>(again));

    timer.restart();
    wiring::SignalTrace tracer(scan, registry);
    const double indexMs = timer.nsecsElapsed() / 1e6;
    constexpr int kTraces = 20;
    timer.restart();
    qsizetype steps = 0;
    for (int i = 0; i < kTraces; ++i)
        steps += tracer.trace(QStringLiteral("EQ%1-01").arg(1 + i * 37), QStringLiteral("OUT-1"))
                     .steps.size();
    const double traceMs = timer.nsecsElapsed() / 1e6 / kTraces;
    std::printf(
        "trace: %.2f ms per trace (target under 50 ms), %lld places in %d traces; the "
        "drawings' lookups made once in %.1f ms\n",
        traceMs, static_cast<long long>(steps), kTraces, indexMs);
    return 0;
}
