// Building a 2 x 96 jackfield (192 jacks on 96 two-row blocks, and as 192 individual jacks)
// into a drawing in one action: placement, attributes, tags and the positions marked built,
// one undo step and one transaction, on SQLite. Each iteration builds a freshly assigned
// jackfield into an empty drawing, so that every build starts alike.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <memory>

#include "bench_help.h"
#include "cad/dxf.h"
#include "cad/editing.h"
#include "db/database.h"
#include "db/schema.h"
#include "drawings/drawing.h"
#include "drawings/standard_drawings.h"
#include "front/script_ui.h"
#include "jackfields/jackfield_project.h"

using namespace tolvane;

namespace {

void BM_BuildJackfield(benchmark::State& state) {
    QTemporaryDir dir;
    db::Connections registry;
    const QString file = dir.filePath("ProjectDB.db");
    db::createSqliteFile(db::DbId::Project, file);
    registry.bind(db::DbId::Project, db::ConnectionSpec::sqlite(file));
    db::ensureSchema(db::DbId::Project, registry);
    QString transcript;
    QTextStream stream(&transcript);
    ScriptUi ui(parseScript(QString()), stream);
    jackfields::BuildChoice choice;
    choice.style = QStringLiteral("FN");
    choice.individual = state.range(0) != 0;
    jackfields::JackfieldProject project(registry);
    qint64 number = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Drawing drawing;
        drawing.setPath(dir.filePath("rack.dxf"));
        for (const char* name : {"FN_JACK_SD", "FN_JACK_S", "FN_JACK_D"}) {
            const QString block = dir.filePath(QString::fromLatin1(name) + ".dxf");
            if (!QFile::exists(block))
                cad::saveDxf(standard::blockDrawing(QString::fromLatin1(name)), block);
            cad::addBlockFromFile(drawing.document(), block, QString::fromLatin1(name));
        }
        jackfields::ProjectJackfield jf;
        jf.sysName = QStringLiteral("PB");
        jf.number = ++number;
        const qint64 id = project.assign(
            {1, QStringLiteral("PB-192"), 2, 96, QStringLiteral("TT"), QStringLiteral("EDAC")}, jf);
        state.ResumeTiming();
        const QStringList jacks =
            jackfields::buildJackfield(drawing, ui, id, {0, 0}, choice, true, registry);
        if (jacks.size() != (choice.individual ? 192 : 96)) state.SkipWithError("not built");
        benchmark::DoNotOptimize(jacks);
    }
}
BENCHMARK(BM_BuildJackfield)
    ->ArgName("individual")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    if (bench::helpAsked(
            argc, argv,
            "Building a 2 x 96 jackfield (192 jacks, as two-row blocks and as single jacks)\n"
            "into an empty drawing in one action on SQLite: time per build.\n",
            bench::kGoogleBenchmarkOptions))
        return 0;
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
