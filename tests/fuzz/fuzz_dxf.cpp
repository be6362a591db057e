// Fuzz target for the DXF reader: drawings come from users and other programs, so no input
// may crash or hang it; a damaged file must end in a DxfError. What is read is written again
// and read back, which must succeed. Built with libFuzzer when TOLVANE_FUZZ is on (clang);
// otherwise a small runner feeds it the files of the corpus folder as a regression test.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "cad/dxf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    tolvane::cad::Document doc;
    try {
        doc = tolvane::cad::readDxf(bytes);
    } catch (const tolvane::cad::DxfError&) {
        return 0;
    }
    const QByteArray again = tolvane::cad::writeDxf(doc);
    try {
        tolvane::cad::readDxf(again);
    } catch (const tolvane::cad::DxfError&) {
        std::abort();  // our own output must always be readable
    }
    return 0;
}

#ifndef TOLVANE_LIBFUZZER
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
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
