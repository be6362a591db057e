// Cable end resolution and cable drawing on a schematic sheet of 100,000 entities: 5,000
// generated equipment blocks of ten pins each with their attributes, the cables between them
// and their number texts. One resolution is the block search beside the end, the pin probe and
// one indexed query of the equipment library (SQLite). Drawing is 1,000 cables in a row picked
// by a script, as Add Cables with repeat draws them: two picks, two resolutions, the polyline,
// its texts and tag and its signal type, each cable one undo step.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <random>

#include "bench_help.h"
#include "cad/editing.h"
#include "db/database.h"
#include "db/schema.h"
#include "drawings/drawing.h"
#include "equipment/block_generator.h"
#include "front/script_ui.h"
#include "wiring/cable_drawing.h"
#include "wiring/end_resolver.h"

using namespace tolvane;

namespace {

constexpr int kUnits = 5000;
constexpr int kEntities = 100000;
constexpr qint64 kModel = 1;

struct Sheet {
    QTemporaryDir dir;
    db::Connections registry;
    Drawing drawing;
    QString transcript;
    QTextStream stream{&transcript};
    ScriptUi ui{parseScript(QString()), stream};
    std::vector<QPointF> sources, destinations;

    Sheet() {
        const QString file = dir.filePath("dbEquip.db");
        db::createSqliteFile(db::DbId::Equipment, file);
        registry.bind(db::DbId::Equipment, db::ConnectionSpec::sqlite(file));
        db::ensureSchema(db::DbId::Equipment, registry);
        db::Query(db::DbId::Equipment,
                  "insert into tblManufacturers (ManufacturerID, ManufacturerName) values "
                  "('HAL', 'Halvern')",
                  registry)
            .exec();
        db::Query(db::DbId::Equipment,
                  "insert into tblEquipment (EquipmentID, ManufacturerID, EquipmentName) values "
                  "(1, 'HAL', 'DESK')",
                  registry)
            .exec();
        db::Query(db::DbId::Equipment,
                  "insert into SignalDefault (Type, Color) values ('HD-SDI', 5)", registry)
            .exec();
        equipment::BlockRequest request{kModel, "Halvern", "DESK", equipment::BlockMode::Standard,
                                        {},     {}};
        for (int i = 1; i <= 5; ++i) {
            for (const char* table : {"tblInputs", "tblOutputs"}) {
                const bool input = QLatin1String(table) == QLatin1String("tblInputs");
                db::PinRecord p;
                p.name = QStringLiteral("%1 %2").arg(input ? "IN" : "OUT").arg(i);
                p.type = QStringLiteral("HD-SDI");
                p.conn = QStringLiteral("BNC");
                p.pinType = QStringLiteral("Normal");
                (input ? request.inputs : request.outputs) << p;
                db::Query(db::DbId::Equipment,
                          QStringLiteral("insert into %1 (EquipmentID, Name, Type, conn) values "
                                         "(?, ?, ?, ?)")
                              .arg(QLatin1String(table)),
                          registry)
                    .bind(kModel)
                    .bind(p.name)
                    .bind(p.type)
                    .bind(p.conn)
                    .exec();
            }
        }
        cad::Document& doc = drawing.document();
        cad::Block& block = doc.addBlock(QStringLiteral("HALDESKV0"), {0, 0});
        std::vector<QPointF> outs, ins;
        for (cad::Entity& e : equipment::blockEntities(
                 request, {}, {}, [](const db::PinRecord&) { return equipment::PinStyle{}; })) {
            if (e.kind == cad::EntityKind::Line)
                (e.start.x() < 0 ? ins : outs).push_back(e.start.x() < 0 ? e.start : e.end);
            doc.add(block, std::move(e));
        }
        // Units in rows of 50, a cable from each unit's outputs to the next unit's inputs.
        int entities = 0;
        for (int u = 0; u < kUnits; ++u) {
            const QPointF at((u % 50) * 30.0, (u / 50) * 20.0);
            cad::Entity insert = cad::makeInsert(doc, block.name, at);
            entities += 1 + int(insert.attributes.size());
            doc.addToModel(std::move(insert));
            for (QPointF p : outs) sources.push_back(at + p);
            for (QPointF p : ins) destinations.push_back(at + p);
        }
        for (size_t c = 0; entities < kEntities; ++c) {
            const QPointF a = sources[c % sources.size()];
            const QPointF b = a + QPointF(12, double(c % 7));
            QList<cad::Vertex> v{{a}, {a + QPointF(4, 0)}, {b - QPointF(4, 0)}, {b}};
            doc.addToModel(cad::Entity::polyline(v, false));
            doc.addToModel(
                cad::Entity::textAt(a + QPointF(1, 0.1), QStringLiteral("V-%1").arg(c), 0.25));
            entities += 2;
        }
        drawing.changed();
        drawing.index();  // built once, as the open drawing has it
    }
};

Sheet& sheet() {
    static Sheet s;
    return s;
}

// Ends picked at random among the sheet's pin ends of that side; each must resolve.
void BM_Resolve(benchmark::State& state, wiring::End end) {
    Sheet& s = sheet();
    const std::vector<QPointF>& ends = end == wiring::End::Source ? s.sources : s.destinations;
    wiring::EndResolver r(s.drawing, s.ui, nullptr, {}, s.registry);
    std::mt19937 random(7);
    for (auto _ : state) {
        const QString text = r.resolve(end, ends[random() % ends.size()]);
        if (text.isEmpty()) state.SkipWithError("an end did not resolve");
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK_CAPTURE(BM_Resolve, Source, wiring::End::Source)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Resolve, Destination, wiring::End::Destination)->Unit(benchmark::kMicrosecond);

// 1,000 cables drawn one after another by a script; the counter "per_cable" is the time of
// one. The cables are taken back (untimed) before the next round.
void BM_DrawCables(benchmark::State& state) {
    constexpr int kCables = 1000;
    Sheet& s = sheet();
    std::mt19937 random(11);
    QString script;
    // From an output of a unit to the same input of the next unit in its row, as a rack of
    // units is wired; long runs across the sheet would lie over other units' pins.
    const size_t pins = s.sources.size() / kUnits;
    for (int c = 0; c < kCables; ++c) {
        size_t unit = random() % kUnits;
        if (unit % 50 == 49) --unit;
        const size_t pin = random() % pins;
        const QPointF a = s.sources[unit * pins + pin];
        const QPointF b = s.destinations[(unit + 1) * pins + pin];
        script += QStringLiteral("point %1,%2\npoint %3,%4\n")
                      .arg(a.x())
                      .arg(a.y())
                      .arg(b.x())
                      .arg(b.y());
    }
    wiring::CableOptions options;
    options.colorLine = options.colorText = true;
    int passes = 0;  // full passes over the sheet to find an entity: none expected
    for (auto _ : state) {
        state.PauseTiming();
        QString transcript;
        QTextStream stream(&transcript);
        ScriptUi user(parseScript(script), stream);
        wiring::CableDrawer drawer(s.drawing, user, nullptr, options, s.registry);
        const int rescans = s.drawing.index().rescans();
        state.ResumeTiming();
        try {
            for (int c = 0; c < kCables; ++c)
                if (drawer.drawOne() != wiring::CableDrawer::Outcome::Drawn)
                    state.SkipWithError("a cable was not drawn");
        } catch (const ScriptAbort& a) {
            fprintf(stderr, "%s\n%s\n", qPrintable(a.transcriptLine()),
                    qPrintable(transcript.right(400)));
            state.SkipWithError("the script did not fit");
            break;
        }
        state.PauseTiming();
        passes += s.drawing.index().rescans() - rescans;
        if (transcript.contains(QLatin1String("MESSAGE"))) state.SkipWithError("a cable asked");
        for (int c = 0; c < kCables; ++c) s.drawing.undo().undo();
        state.ResumeTiming();
    }
    state.counters["passes"] = passes;
    state.counters["per_cable"] = benchmark::Counter(
        kCables, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DrawCables)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    if (bench::helpAsked(
            argc, argv,
            "Cable end resolution and cable drawing on a schematic sheet of 100,000 entities\n"
            "(5,000 equipment blocks): one end resolved, and 1,000 cables drawn in a row as\n"
            "Add Cables draws them.\n",
            bench::kGoogleBenchmarkOptions))
        return 0;
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
