// The pages the preview shows, rendered on demand: the first run counts the pages and keeps the
// first few; a page outside those kept is rendered again with its neighbours, and the run stops
// as soon as they are in. Only a window of pages is ever held, whatever the report's length, and
// the pages are kept as descriptions; the preview paints only the page it shows. A long run shows
// its progress through the options and may be cancelled: the pages reached so far stay.
#pragma once

#include <QList>
#include <functional>
#include <memory>

#include "reports/report_renderer.h"

namespace tolvane::reports {

class PagePreview {
  public:
    using RowsFactory = std::function<std::unique_ptr<RecordSource>()>;
    // Pages kept around the one last asked for.
    static constexpr int kKept = 8;

    // The layout is copied: the pages point into the copy. Throws ReportError (the query), and
    // RenderCancelled when the counting run was cancelled before its first page.
    PagePreview(ReportLayout layout, RowsFactory rows, RenderOptions options = {});

    // The pages counted; fewer than the report has when the counting run was cancelled.
    int pageCount() const { return count_; }
    bool counted() const { return counted_; }
    // Page n (1-based, clamped to the pages there are), or the nearest page kept when a run to
    // reach it was cancelled: see its number. Throws ReportError.
    const RenderedPage& page(int n);
    const ReportLayout& layout() const { return layout_; }
    // How many times the report was run (tests: pages are not rendered again needlessly).
    int runs() const { return runs_; }

  private:
    void renderAround(int n, bool counting);

    ReportLayout layout_;
    RowsFactory rows_;
    RenderOptions options_;
    int count_ = 0;
    bool counted_ = true;
    int first_ = 1;  // number of kept_.front()
    QList<RenderedPage> kept_;
    int runs_ = 0;
};

}  // namespace tolvane::reports
