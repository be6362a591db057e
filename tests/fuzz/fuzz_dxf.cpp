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

#include "corpus_main.h"
