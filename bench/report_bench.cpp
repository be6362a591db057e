// A report over the cables of a project of 100,000 cables, grouped by prefix with a page count
// in the footer (so two passes), rendered to PDF, as designed and with its columns sized from
// the values (a third pass that measures them): report pages per second and the peak memory
// of the rendering. The peak is measured from a reset high-water mark (/proc/self/clear_refs),
// so it shows what rendering adds on top of the loaded program: it must not grow with the
// number of pages. --keep=FILE.pdf keeps the PDF of the last run to look at.
#include <benchmark/benchmark.h>

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "bench_help.h"
#include "db/database.h"
#include "db/schema.h"
#include "process_memory.h"
#include "reports/record_source.h"
#include "reports/report_exports.h"
#include "reports/rpx_file.h"
#include "reports/subreports.h"

using namespace tolvane;
using namespace tolvane::reports;

namespace {

constexpr int kCables = 100000;
QString gKeep;

struct Project {
    QTemporaryDir dir;
    db::Connections registry;
    Project() {
        const QString file = dir.filePath("ProjectDB.db");
        db::createSqliteFile(db::DbId::Project, file);
        registry.bind(db::DbId::Project, db::ConnectionSpec::sqlite(file));
        db::ensureSchema(db::DbId::Project, registry);
        const char* prefixes[] = {"A", "V", "D", "S", "N", "C", "K", "R"};
        const char* signalTypes[] = {"Analog Audio", "SDI",       "AES",  "Control",
                                     "Network",      "Time Code", "Sync", "RF"};
        db::Transaction t(db::DbId::Project, registry);
        db::Query q(db::DbId::Project,
                    "insert into tblCables (CableNO, CableNoPrefix, SignalType, CableType, SRCSys, "
                    "SRCConn, SRCPin, DestSYS, DESTConn, DestPin, Length) "
                    "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                    registry);
        for (int k = 0; k < kCables; ++k)
            q.bind(QString::number(k / 8 + 1).rightJustified(6, '0'))
                .bind(prefixes[k % 8])
                .bind(signalTypes[k % 8])
                .bind("Belden 1694A")
                .bind(QString("SYS-%1").arg(k / 16, 4, 10, QChar('0')))
                .bind("BNC")
                .bind(QString("OUT %1").arg(k % 16 + 1))
                .bind(QString("DST-%1").arg(k / 16, 4, 10, QChar('0')))
                .bind("BNC")
                .bind(QString("IN %1").arg(k % 16 + 1))
                .bind(5.0 + (k % 97) * 0.5)
                .exec();
        t.commit();
    }
};

ReportLayout cableList() {
    ReportLayout l;
    l.name = "Cable Schedule";
    l.data =
        DataControl{"DC1", "PROJECT_SPECIFIC",
                    "select CableNoPrefix, CableNO, SignalType, SRCSys, SRCPin, DestSYS, DestPin, "
                    "Length from tblCables order by CableNoPrefix, CableNO"};
    const ReportFont head{"DejaVu Sans", 9, true};
    const ReportFont body{"DejaVu Sans", 8};
    l.reportHeader.height = 700;
    l.reportHeader.controls << Control{.kind = ControlKind::Label,
                                       .rect = QRect(0, 0, 10080, 500),
                                       .text = "Cable Schedule",
                                       .font = {"DejaVu Sans", 18, true}};
    struct Column {
        const char* field;
        const char* caption;
        int left, width;
        HAlign align;
        const char* format;
    };
    const Column columns[] = {{"CableNO", "Cable", 0, 1100, HAlign::Left, ""},
                              {"SignalType", "Signal", 1150, 1600, HAlign::Left, ""},
                              {"SRCSys", "From", 2800, 1500, HAlign::Left, ""},
                              {"SRCPin", "Pin", 4350, 1000, HAlign::Left, ""},
                              {"DestSYS", "To", 5400, 1500, HAlign::Left, ""},
                              {"DestPin", "Pin", 6950, 1000, HAlign::Left, ""},
                              {"Length", "Length", 8000, 1000, HAlign::Right, "#,##0.0"}};
    l.pageHeader.height = 320;
    l.detail.height = 240;
    for (const Column& c : columns) {
        l.pageHeader.controls << Control{.kind = ControlKind::Label,
                                         .rect = QRect(c.left, 0, c.width, 280),
                                         .text = c.caption,
                                         .font = head,
                                         .align = c.align};
        l.detail.controls << Control{.kind = ControlKind::Field,
                                     .rect = QRect(c.left, 0, c.width, 240),
                                     .text = c.field,
                                     .format = c.format,
                                     .font = body,
                                     .align = c.align};
    }
    l.pageHeader.controls << Control{.kind = ControlKind::Line, .rect = QRect(0, 300, 10080, 0)};
    Group g{"CableNoPrefix"};
    g.header.height = 450;
    g.header.controls << Control{.kind = ControlKind::Field,
                                 .rect = QRect(0, 100, 4000, 330),
                                 .text = "SignalType",
                                 .font = {"DejaVu Sans", 12, true}};
    g.footer.height = 300;
    g.footer.controls << Control{.kind = ControlKind::Line,
                                 .rect = QRect(0, 100, 10080, 0),
                                 .foreColor = QColor(0x80, 0x80, 0x80)};
    l.groups << g;
    l.pageFooter.height = 300;
    l.pageFooter.controls << Control{.kind = ControlKind::Date,
                                     .rect = QRect(0, 0, 3000, 300),
                                     .format = "yyyy-MM-dd",
                                     .font = body}
                          << Control{.kind = ControlKind::PageNumber,
                                     .rect = QRect(7080, 0, 3000, 300),
                                     .text = "Page {page} of {pages}",
                                     .font = body,
                                     .align = HAlign::Right};
    return l;
}

// Argument 1: the detail's columns are sized from the values (a measuring pass first).
Project& project() {
    static Project made;
    return made;
}

void BM_CableScheduleToPdf(benchmark::State& state) {
    Project& project = ::project();
    ReportLayout layout = cableList();
    layout.detail.fitColumns = state.range(0) != 0;
    const QString path = project.dir.filePath("schedule.pdf");
    int pages = 0;
    long long before = 0, peak = 0;
    for (auto _ : state) {
        before = bench::statusKb("VmRSS:");
        bench::resetPeak();
        QueryRecordSource rows(*layout.data, project.registry);
        pages = exportReport(layout, rows, ExportFormat::Pdf, path);
        peak = bench::statusKb("VmHWM:");
    }
    state.counters["pages"] = pages;
    state.counters["pages_per_s"] =
        benchmark::Counter(double(pages) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["rss_before_MB"] = before / 1024.0;
    state.counters["peak_MB"] = peak / 1024.0;
    state.counters["pdf_MB"] = QFile(path).size() / 1048576.0;
    if (!gKeep.isEmpty()) {
        QFile::remove(gKeep);
        QFile::copy(path, gKeep);
    }
}
// Pages per second of wall time, what the user waits for; the CPU column is the process's CPU
// time over all its threads, user and system.
BENCHMARK(BM_CableScheduleToPdf)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// Where the time goes: reading the rows alone (one pass), and the whole run without painting
// (every pass, the layout of each row, the pages cut, handed to a sink that drops them).
void BM_ReadRows(benchmark::State& state) {
    Project& project = ::project();
    const ReportLayout layout = cableList();
    qint64 read = 0;
    for (auto _ : state) {
        QueryRecordSource rows(*layout.data, project.registry);
        rows.start();
        const int columns = int(rows.fields().size());
        while (rows.next())
            for (int i = 0; i < columns; ++i) benchmark::DoNotOptimize(rows.value(i)), ++read;
    }
    state.counters["values"] = double(read) / state.iterations();
}
BENCHMARK(BM_ReadRows)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

class DroppedPages : public PageSink {
  public:
    void page(const RenderedPage& page) override { items += page.bands.size(); }
    qint64 items = 0;
};

void BM_CableScheduleLaidOut(benchmark::State& state) {
    Project& project = ::project();
    ReportLayout layout = cableList();
    layout.detail.fitColumns = state.range(0) != 0;
    int pages = 0;
    for (auto _ : state) {
        QueryRecordSource rows(*layout.data, project.registry);
        DroppedPages sink;
        pages = renderReport(layout, rows, sink);
    }
    state.counters["pages_per_s"] =
        benchmark::Counter(double(pages) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CableScheduleLaidOut)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// The same cables as subreports: the 6,250 source systems, each with its 16 cables printed
// by a subreport linked by system. The child's query is read once for the whole run.
void BM_SubreportsToPdf(benchmark::State& state) {
    Project& project = ::project();
    ReportLayout child;
    child.data = DataControl{"DC1", "PROJECT_SPECIFIC",
                             "select CableNO, SRCSys, SRCPin, DestSYS, DestPin from tblCables "
                             "order by CableNO"};
    child.detail.height = 240;
    const ReportFont body{"DejaVu Sans", 8};
    int left = 0;
    for (const char* f : {"CableNO", "SRCPin", "DestSYS", "DestPin"}) {
        child.detail.controls << Control{
            .kind = ControlKind::Field, .rect = QRect(left, 0, 1500, 240), .text = f, .font = body};
        left += 1600;
    }
    writeRpx(project.dir.filePath("cables-of-system.rpx"), child);
    ReportLayout parent;
    parent.data = DataControl{"DC1", "PROJECT_SPECIFIC",
                              "select distinct SRCSys from tblCables order by SRCSys"};
    parent.detail.height = 300;
    parent.detail.controls << Control{.kind = ControlKind::Field,
                                      .rect = QRect(0, 0, 1800, 300),
                                      .text = "SRCSys",
                                      .font = {"DejaVu Sans", 9, true}}
                           << Control{.kind = ControlKind::SubReport,
                                      .rect = QRect(2000, 0, 7000, 300),
                                      .text = "cables-of-system.rpx",
                                      .format = "SRCSys=SRCSys"};
    const QString path = project.dir.filePath("subreports.pdf");
    int pages = 0, reads = 0;
    for (auto _ : state) {
        RenderOptions options;
        options.subreports = std::make_shared<Subreports>(
            project.dir.path(), QString(),
            [&](const ReportLayout& l) {
                ++reads;
                return std::make_unique<QueryRecordSource>(*l.data, project.registry);
            },
            [](const QString& problem) { std::fprintf(stderr, "%s\n", qPrintable(problem)); });
        QueryRecordSource rows(*parent.data, project.registry);
        pages = exportReport(parent, rows, ExportFormat::Pdf, path, options);
    }
    state.counters["pages"] = pages;
    state.counters["child_reads"] = double(reads) / state.iterations();
    state.counters["pages_per_s"] =
        benchmark::Counter(double(pages) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SubreportsToPdf)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
    const std::string options = std::string("  --keep=FILE.pdf  keep the PDF of the last run\n" +
                                            std::string(bench::kGoogleBenchmarkOptions));
    if (bench::helpAsked(
            argc, argv,
            "A 100,000-row report (the cable schedule, grouped, with the page count) rendered\n"
            "to PDF, as designed and with its columns sized from the values: pages per second\n"
            "(target at least 1,000, per second of wall time) and the peak memory the\n"
            "rendering adds. Its CPU column is the process's CPU time over all its threads\n"
            "(user+system).\n",
            options.c_str()))
        return 0;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--keep=", 7) == 0)
            gKeep = QString::fromLocal8Bit(argv[i] + 7);
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    // Rendering needs fonts, hence a GUI application; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
