// The report's PDF writer. Each page is painted by the page painter onto a paint engine of our
// own that writes PDF content: texts as runs of glyphs per line of a font embedded once (its
// glyphs the report uses, with their Unicode, so that the text can be selected and extracted),
// lines, rectangles and fills as path operators, pictures as images drawn once per file.
//
// Pages are painted and compressed by a small pool of threads while the renderer lays out the
// next ones, and written to the file in page order. What a page becomes depends only on the
// page: the file is the same byte for byte whatever the number of threads.
#pragma once

#include <QString>
#include <memory>

#include "reports/report_renderer.h"

class QIODevice;

namespace tolvane::reports {

class PdfPageWriter {
  public:
    // threads: the painting threads; 0 paints each page on the calling thread as it comes, -1
    // takes as many as the machine has cores.
    explicit PdfPageWriter(QIODevice& out, int threads = -1);
    ~PdfPageWriter();
    void begin(const QString& title, const PageSetup& page);
    void page(const RenderedPage& page);
    // Writes what is left (the fonts, the images, the page tree, the cross-reference table).
    // False when the device refused some of it.
    bool finish();

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace tolvane::reports
