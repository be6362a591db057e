// The corpus runner of the fuzz targets when they are built without libFuzzer: it feeds every
// file of a folder to LLVMFuzzerTestOneInput, as a regression test of the inputs kept there.
// A target that draws defines TOLVANE_FUZZ_GUI first: it runs in a GUI application (on the
// offscreen platform unless another is set).
#pragma once

#ifndef TOLVANE_LIBFUZZER
#include <QCoreApplication>
#include <QDir>
#ifdef TOLVANE_FUZZ_GUI
#include <QGuiApplication>
#endif
#include <QFile>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
#ifdef TOLVANE_FUZZ_GUI
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    int n = 0;
    for (const QString& name : dir.entryList(QDir::Files)) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QByteArray bytes = f.readAll();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()),
                               size_t(bytes.size()));
        ++n;
    }
    std::printf("%d inputs\n", n);
    return n > 0 ? 0 : 1;
}
#endif
