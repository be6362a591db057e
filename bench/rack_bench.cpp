// Racks on SQLite: the elevation sheet of a 42 RU rack holding 30 systems, from reading the
// project and the library to the sheet made from the default template and written as DXF
// (target under 200 ms); and the budgets of 200 racks holding 5,000 systems of 500 library
// models, read and worked out (target under 100 ms), and stored for the report.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "bench_help.h"
#include "cad/dxf.h"
#include "db/database.h"
#include "db/records/racks.h"
#include "db/schema.h"
#include "drawings/standard_drawings.h"
#include "equipment/rack_elevation.h"
#include "equipment/racks.h"
#include "sqlite_project.h"

using namespace tolvane;
using namespace tolvane::equipment;

namespace {

constexpr int kRacks = 200;
constexpr int kSystems = 5000;
constexpr int kModels = 500;
constexpr int kBigRackSystems = 30;

struct Project : bench::SqliteProject {
    QString templatePath;
    Project() {
        templatePath = dir.filePath("TolvaneDefault.dxf");
        cad::saveDxf(standard::templateDrawing(), templatePath);
        run(db::DbId::Equipment,
            "insert into tblEquipment (EquipmentID, EquipmentName, EquipmentH, EquipmentHValue, "
            "EquipmentP, EquipmentWeight) values (?, ?, ?, ?, ?, ?)",
            kModels, [](int i) {
                const bool inches = i % 4 == 0;
                return QVariantList{i + 1,
                                    QStringLiteral("MODEL %1").arg(i),
                                    inches ? 1.75 * (1 + i % 3) : double(1 + i % 3),
                                    inches ? "in" : "RU",
                                    50.0 + i % 7 * 25,
                                    4.5 + i % 5};
            });
        run(db::DbId::Project,
            "insert into tblRackUnits (RackUnitName, RackUnits, PowerLimit, WeightLimit) values "
            "(?, ?, ?, ?)",
            kRacks, [](int i) {
                return QVariantList{QStringLiteral("RACK %1").arg(i, 3, 10, QLatin1Char('0')), 42,
                                    3000.0, 400.0};
            });
        // The first rack holds 30 systems of 1 RU; the others share the rest, 25 each.
        run(db::DbId::Project,
            "insert into tblSystems (SysName, SysNum, EquipID, Location, Elevation, "
            "equipmentname, Manufacturer) values (?, ?, ?, ?, ?, ?, ?)",
            kSystems, [](int i) {
                const int rack = i < kBigRackSystems ? 0 : 1 + (i - kBigRackSystems) % (kRacks - 1);
                const int model = i < kBigRackSystems ? 1 + 3 * (i % 100) : 1 + i % kModels;
                const int elevation = i < kBigRackSystems ? 1 + i : 1 + (i / kRacks) % 40;
                return QVariantList{QStringLiteral("SYS"),
                                    i + 1,
                                    model,
                                    QStringLiteral("RACK %1").arg(rack, 3, 10, QLatin1Char('0')),
                                    QString::number(elevation),
                                    QStringLiteral("MODEL %1").arg(model),
                                    QStringLiteral("Halvern")};
            });
    }
};

Project& project() {
    static Project p;
    return p;
}

void BM_ElevationSheet(benchmark::State& state) {
    Project& p = project();
    const QString path = p.dir.filePath("RACK 000 Elevation.dxf");
    int placed = 0;
    for (auto _ : state) {
        const QList<RackPlan> plans = RackBook(p.registry).plans({QStringLiteral("RACK 000")});
        if (plans.size() != 1) state.SkipWithError("the rack was not found");
        placed = int(plans.first().placed.size());
        const cad::Document sheet =
            elevationSheet(plans.first(), ElevationOptions{true}, p.templatePath, QString());
        cad::saveDxf(sheet, path);
    }
    state.counters["placed"] = placed;
}
BENCHMARK(BM_ElevationSheet)->Unit(benchmark::kMillisecond);

void BM_Budgets(benchmark::State& state) {
    Project& p = project();
    int racks = 0;
    for (auto _ : state) {
        const QList<RackPlan> plans = RackBook(p.registry).plans();
        racks = int(plans.size());
        benchmark::DoNotOptimize(plans);
    }
    state.counters["racks"] = racks;
}
BENCHMARK(BM_Budgets)->Unit(benchmark::kMillisecond);

void BM_BudgetsStored(benchmark::State& state) {
    Project& p = project();
    for (auto _ : state) RackBook::storeBudgets(p.registry, RackBook(p.registry).plans());
}
BENCHMARK(BM_BudgetsStored)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (bench::helpAsked(
            argc, argv,
            "Racks on SQLite. BM_ElevationSheet: the elevation sheet of a 42 RU rack holding\n"
            "30 systems, read from the project and the library, drawn on the default template\n"
            "with blank panels and written as DXF (target under 200 ms). BM_Budgets: the\n"
            "budgets of 200 racks holding 5,000 systems of 500 models, read and worked out\n"
            "(target under 100 ms). BM_BudgetsStored: the same, written to tblRackBudgets for\n"
            "the report.\n",
            bench::kGoogleBenchmarkOptions))
        return 0;
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    project();  // built once, before any timing
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
