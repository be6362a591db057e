// The texts of a PDF export of a large wiring sheet (wiring_sheet.h), saved to DXF and loaded
// back as a user opens it: how many of its cable numbers and shown equipment labels pdftotext
// (poppler-utils) reads back from the PDF, and the time of the export. Prints one line per
// size.
//
// Options: --entities=N (default 100000, several allowed: --entities=100000,1000000),
// --keep=DIR (leave the DXF and PDF files there).

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_help.h"
#include "cad/document.h"
#include "cad/dxf.h"
#include "cad/render.h"
#include "wiring_sheet.h"

namespace cad = tolvane::cad;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (bench::helpAsked(
            argc, argv,
            "Text a PDF reader finds: the wiring sheet of wiring_sheet.h saved as DXF,\n"
            "loaded back and exported to PDF; the cable numbers and equipment labels\n"
            "pdftotext reads back, the export time, the PDF's size and pages.\n",
            "  --entities=N[,M...]  sizes of the sheet (default 100000)\n"
            "  --keep=DIR           keep the DXF and PDF files in DIR\n"))
        return 0;
    QGuiApplication app(argc, argv);
    std::vector<int> sizes;
    QString keep;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--entities=", 0) == 0) {
            for (const QString& n : QString::fromStdString(a.substr(11)).split(','))
                sizes.push_back(n.toInt());
        } else if (a.rfind("--keep=", 0) == 0) {
            keep = QString::fromStdString(a.substr(7));
        }
    }
    if (sizes.empty()) sizes.push_back(100000);
    QTemporaryDir temp;
    const QDir dir(keep.isEmpty() ? temp.path() : keep);
    std::printf("%10s %12s %14s %14s %10s %6s %10s\n", "entities", "export_ms", "cable_numbers",
                "labels", "pdf_MB", "pages", "found");
    for (int n : sizes) {
        const QString dxf = dir.filePath(QStringLiteral("sheet-%1.dxf").arg(n));
        const QString pdf = dir.filePath(QStringLiteral("sheet-%1.pdf").arg(n));
        {
            bench::BuildCounts counts;
            const cad::Document built = bench::buildDrawing(n, &counts);
            if (!cad::saveDxf(built, dxf)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(dxf));
                return 1;
            }
        }
        const cad::Document doc = cad::loadDxf(dxf);
        // What should be read back: every cable number, and every word of the attributes
        // shown.
        QStringList numbers, labels;
        for (const cad::Entity& e : doc.modelSpace().entities) {
            if (e.kind == cad::EntityKind::Text && e.layer == QLatin1String("CABLE_NUMBERS"))
                numbers << e.text;
            if (e.kind == cad::EntityKind::Insert) {
                for (const cad::Entity& a : e.attributes)
                    if (!(a.attributeFlags & 1) && !a.text.isEmpty()) labels << a.text;
            }
        }
        const auto t0 = Clock::now();
        QString error;
        if (!cad::exportPdf(doc, doc.modelSpace(), pdf, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        const double exportMs = msSince(t0);
        QProcess reader;
        reader.start(QStringLiteral("pdftotext"),
                     {QStringLiteral("-raw"), pdf, QStringLiteral("-")});
        reader.waitForFinished(-1);
        QSet<QString> words;
        const QRegularExpression space(QStringLiteral("\\s+"));
        for (const QString& w : QString::fromUtf8(reader.readAllStandardOutput()).split(space))
            words.insert(w);
        const auto found = [&](const QStringList& list) {
            int k = 0;
            for (const QString& text : list) {
                bool all = true;
                for (const QString& w : text.split(space, Qt::SkipEmptyParts))
                    all = all && words.contains(w);
                k += all;
            }
            return k;
        };
        const int numbersFound = found(numbers), labelsFound = found(labels);
        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {pdf});
        info.waitForFinished(-1);
        const QRegularExpressionMatch pages =
            QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
                .match(QString::fromUtf8(info.readAllStandardOutput()));
        std::printf("%10d %12.0f %7d/%-6d %7d/%-6d %10.1f %6s %9.1f%%\n",
                    int(doc.modelSpace().entities.size()), exportMs, numbersFound,
                    int(numbers.size()), labelsFound, int(labels.size()),
                    double(QFileInfo(pdf).size()) / 1e6,
                    qPrintable(pages.hasMatch() ? pages.captured(1) : QStringLiteral("?")),
                    100.0 * (numbersFound + labelsFound) /
                        std::max<qsizetype>(1, numbers.size() + labels.size()));
        std::fflush(stdout);
    }
    return 0;
}
