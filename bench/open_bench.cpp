// The whole open of a drawing as a user waits for it, against ezdxf reading the same file in
// the same run. For each size, the wiring sheet of wiring_sheet.h is saved as DXF; the program,
// started in fresh processes on a prepared installation (offscreen), opens it as the file-open
// command does once its main window is up, and reports the time from the open to the drawing's
// first paint and to its spatial index ready, with its resident memory before the open and
// after the index. Start-up is not in the figures. ezdxf reads the same file in fresh
// interpreters. A timed program: it prints its own table of medians.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "bench_help.h"
#include "cad/dxf.h"
#include "fresh_runs.h"
#include "wiring_sheet.h"

namespace {

struct Options {
    std::vector<int> sizes{100000};
    int runs = 3;
    bool ezdxf = true;
    std::string python = "/usr/bin/python3";
    QString file;     // an existing drawing instead of the generated sheets
    QString program;  // another build of the program to time instead of this one
    QString against;  // a build whose opens alternate with the timed one's, timed the same
    QString keep;     // a folder the generated sheets are kept in (and taken from)
};

struct Figures {
    QString what;
    qint64 entities = 0;
    std::vector<double> paintMs, indexMs, growthKb, paintGrowthKb, ezdxfMs;
    // The steps of each open before its first paint (OPEN steps), by name, in the order met.
    std::vector<std::pair<std::string, std::vector<double>>> steps;
    QString error;
};

double median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// A second start of a prepared installation: the first start's question is answered and the
// getting-started window told not to come back, as a user who has seen them would.
struct Installation {
    QTemporaryDir dir;
    QString home;
    explicit Installation(const QString& program) {
        home = dir.filePath(QStringLiteral("home"));
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QFile f(dir.filePath(QStringLiteral("first.scr")));
        f.open(QIODevice::WriteOnly);
        f.write("button No\nset chkDontShow 1\nclick cmdCancel\n");
        f.close();
        int status = 0;
        bench::runCommand(bench::shellQuote(program) + " --home " + bench::shellQuote(home) +
                              " --batch " + bench::shellQuote(f.fileName()) + " >/dev/null 2>&1",
                          &status);
    }
};

std::string openCommand(const Installation& inst, const QString& program, const QString& file) {
    return "TOLVANE_TIME_OPEN=" + bench::shellQuote(file) + " timeout 900 " +
           bench::shellQuote(program) + " --home " + bench::shellQuote(inst.home) +
           " 2>&1 >/dev/null";
}

// One open in a fresh process, its figures added to `f`; false (and the error kept) when it
// reported none.
bool openOnce(const std::string& command, Figures* f) {
    int status = 0;
    const std::string out = bench::runCommand(command, &status);
    const size_t at = out.find("OPEN first-paint");
    double paint = 0, index = 0;
    long long resident = 0, before = 0, painted = -1;
    // Builds before the resident memory at the first paint was reported give four.
    if (at == std::string::npos ||
        std::sscanf(out.c_str() + at,
                    "OPEN first-paint %lf index %lf resident %lld before %lld painted %lld", &paint,
                    &index, &resident, &before, &painted) < 4) {
        f->error = QString::fromStdString(out).trimmed().right(300);
        return false;
    }
    f->paintMs.push_back(paint);
    f->indexMs.push_back(index);
    f->growthKb.push_back(double(resident - before));
    if (painted >= 0) f->paintGrowthKb.push_back(double(painted - before));
    // "OPEN steps NAME MS ...": how long each step took after the one before it.
    const size_t stepsAt = out.find("OPEN steps");
    if (stepsAt == std::string::npos) return true;
    std::istringstream in(out.substr(stepsAt + 10, out.find('\n', stepsAt) - stepsAt - 10));
    std::string name;
    double ms = 0, last = 0;
    while (in >> name >> ms) {
        auto it = std::find_if(f->steps.begin(), f->steps.end(),
                               [&](const auto& s) { return s.first == name; });
        if (it == f->steps.end()) it = f->steps.insert(f->steps.end(), {name, {}});
        it->second.push_back(ms - last);
        last = ms;
    }
    auto done = std::find_if(f->steps.begin(), f->steps.end(),
                             [](const auto& s) { return s.first == "first-paint"; });
    if (done == f->steps.end()) done = f->steps.insert(f->steps.end(), {"first-paint", {}});
    done->second.push_back(paint - last);
    return true;
}

// The opens of the timed build, and of the one it is set against in turn with them (A B A B):
// what fresh memory costs on a virtual machine moves within minutes, and both meet the same.
void openInFreshProcesses(const Installation& inst, const QString& file, const Options& o,
                          Figures* f, Figures* against) {
    const std::string command =
        openCommand(inst, o.program.isEmpty() ? QStringLiteral(TOLVANE_BINARY) : o.program, file);
    const std::string other = against ? openCommand(inst, o.against, file) : std::string();
    for (int run = 0; run < o.runs; ++run) {
        if (!openOnce(command, f)) return;
        if (against && !openOnce(other, against)) return;
    }
}

void ezdxfRuns(const QString& file, const Options& o, Figures* f) {
    for (int run = 0; run < o.runs; ++run) {
        QString error;
        const auto seconds = bench::ezdxfReadSeconds(o.python, file, &error);
        if (!seconds) {
            f->error += QStringLiteral(" ezdxf: ") + error;
            return;
        }
        f->ezdxfMs.push_back(seconds->first * 1000.0);
    }
}

void measure(const Installation& inst, const QString& file, const Options& o, Figures* f,
             Figures* against) {
    openInFreshProcesses(inst, file, o, f, against);
    if (o.ezdxf) ezdxfRuns(file, o, f);
}

QString number(double v, int decimals = 0) {
    return v < 0 ? QStringLiteral("-") : QString::number(v, 'f', decimals);
}

void print(const std::vector<Figures>& all) {
    std::printf("\n%-28s %10s %14s %12s %14s %16s %11s %13s\n", "drawing", "entities",
                "first paint ms", "index ms", "painted B/ent", "resident B/ent", "ezdxf ms",
                "ezdxf / ours");
    for (const Figures& f : all) {
        const double paint = median(f.paintMs), ezdxf = median(f.ezdxfMs);
        auto perEntity = [&](const std::vector<double>& kb) {
            return f.entities > 0 && !kb.empty() ? median(kb) * 1024.0 / f.entities : -1;
        };
        std::printf("%-28s %10lld %14s %12s %14s %16s %11s %13s\n", qPrintable(f.what),
                    static_cast<long long>(f.entities), qPrintable(number(paint, 1)),
                    qPrintable(number(median(f.indexMs), 1)),
                    qPrintable(number(perEntity(f.paintGrowthKb))),
                    qPrintable(number(perEntity(f.growthKb))), qPrintable(number(ezdxf, 0)),
                    qPrintable(paint > 0 && ezdxf > 0 ? number(ezdxf / paint, 1) : number(-1)));
        if (!f.error.isEmpty()) std::printf("  failed: %s\n", qPrintable(f.error));
        if (f.steps.empty()) continue;
        std::printf("  steps, each from the one before (ms):");
        for (const auto& [name, ms] : f.steps) std::printf(" %s %.1f", name.c_str(), median(ms));
        std::printf("\n");
    }
    std::printf(
        "(medians of fresh runs; resident: growth from before the open to the first paint "
        "(painted) and to the index ready, per entity; steps: read = the file read and the "
        "drawing made ready, window = its window made and zoomed to the extents, paint = "
        "until its paint began, rendered = the drawing drawn, first-paint = the paint ended)\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (bench::helpAsked(
            argc, argv,
            "The whole open of a drawing as a user waits for it: the program, started fresh\n"
            "(offscreen) on a prepared installation, opens the wiring sheet saved as DXF once\n"
            "its main window is up, as the file-open command does; the time to the drawing's\n"
            "first paint and to its spatial index ready, and the resident memory it grew by,\n"
            "against ezdxf reading the same file in the same run. Start-up is not counted.\n",
            "  --entities=N[,M...]  sizes of the generated sheet (default 100000)\n"
            "  --runs=N             fresh runs per figure (default 3)\n"
            "  --file=PATH          open this drawing instead of generated sheets\n"
            "  --no-ezdxf           skip ezdxf (it takes minutes on a million entities)\n"
            "  --program=PATH       time this build of the program instead (before and after\n"
            "                       a change, side by side)\n"
            "  --against=PATH       time this build too, its opens in turn with the other's\n"
            "                       (a row of its own, marked \"against\")\n"
            "  --keep=DIR           keep the generated sheets in DIR, and open those already\n"
            "                       there instead of generating them again\n"
            "  --python=PATH        the Python interpreter that runs ezdxf (default\n"
            "                       /usr/bin/python3)\n"))
        return 0;
    Options o;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a.startsWith(QLatin1String("--entities="))) {
            o.sizes.clear();
            for (const QString& n : a.mid(11).split(QLatin1Char(','), Qt::SkipEmptyParts))
                o.sizes.push_back(n.toInt());
        } else if (a.startsWith(QLatin1String("--runs="))) {
            o.runs = std::max(1, a.mid(7).toInt());
        } else if (a.startsWith(QLatin1String("--file="))) {
            o.file = a.mid(7);
        } else if (a.startsWith(QLatin1String("--program="))) {
            o.program = a.mid(10);
        } else if (a.startsWith(QLatin1String("--against="))) {
            o.against = a.mid(10);
        } else if (a.startsWith(QLatin1String("--keep="))) {
            o.keep = a.mid(7);
        } else if (a == QLatin1String("--no-ezdxf")) {
            o.ezdxf = false;
        } else if (a.startsWith(QLatin1String("--python="))) {
            o.python = a.mid(9).toStdString();
        } else {
            std::fprintf(stderr, "unknown option %s (see --help)\n", argv[i]);
            return 2;
        }
    }
    Installation inst(o.program.isEmpty() ? QStringLiteral(TOLVANE_BINARY) : o.program);
    std::vector<Figures> all;
    if (!o.file.isEmpty()) {
        Figures f, against;
        f.what = QFileInfo(o.file).fileName();
        against.what = f.what + QStringLiteral(" (against)");
        measure(inst, QFileInfo(o.file).absoluteFilePath(), o, &f,
                o.against.isEmpty() ? nullptr : &against);
        all.push_back(f);
        if (!o.against.isEmpty()) all.push_back(against);
    }
    for (int size : o.file.isEmpty() ? o.sizes : std::vector<int>{}) {
        const QDir folder(o.keep.isEmpty() ? inst.dir.path() : o.keep);
        const QString file = folder.filePath(QStringLiteral("sheet-%1.dxf").arg(size));
        if (o.keep.isEmpty() || !QFileInfo::exists(file)) {
            bench::BuildCounts counts;
            const tolvane::cad::Document doc = bench::buildDrawing(size, &counts);
            tolvane::cad::saveDxf(doc, file);
        }
        Figures f, against;
        f.what = QStringLiteral("wiring sheet");
        f.entities = against.entities = size;
        against.what = QStringLiteral("wiring sheet (against)");
        std::fprintf(stderr, "opening %d entities...\n", size);
        measure(inst, file, o, &f, o.against.isEmpty() ? nullptr : &against);
        all.push_back(f);
        if (!o.against.isEmpty()) all.push_back(against);
        if (o.keep.isEmpty()) QFile::remove(file);
    }
    print(all);
    return 0;
}
