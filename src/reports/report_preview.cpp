// Rendering the preview's pages on demand.
#include "reports/report_preview.h"

#include <algorithm>

namespace tolvane::reports {

namespace {

// Thrown by the sink once the pages wanted are in: ends the run early.
struct Enough {};

class WindowSink : public PageSink {
  public:
    WindowSink(int from, int to, QList<RenderedPage>& out, bool counting)
        : from_(from), to_(to), out_(out), counting_(counting) {}
    void page(const RenderedPage& page) override {
        last_ = page.number;
        if (page.number >= from_ && page.number <= to_) out_ << page;
        // A counting run goes on to the end; the others stop after the last page wanted.
        if (!counting_ && page.number >= to_) throw Enough{};
    }

    int last() const { return last_; }

  private:
    int last_ = 0;
    int from_, to_;
    QList<RenderedPage>& out_;
    bool counting_;
};

}  // namespace

PagePreview::PagePreview(ReportLayout layout, RowsFactory rows, RenderOptions options)
    : layout_(std::move(layout)), rows_(std::move(rows)), options_(std::move(options)) {
    renderAround(1, true);
}

void PagePreview::renderAround(int n, bool counting) {
    const int from = std::max(1, n - kKept / 2);
    const int to = from + kKept - 1;
    QList<RenderedPage> pages;
    WindowSink sink(from, to, pages, counting);
    const auto source = rows_();
    ++runs_;
    try {
        const int total = renderReport(layout_, *source, sink, options_);
        if (counting) count_ = total;
    } catch (const Enough&) {
    } catch (const RenderCancelled&) {
        if (counting) {
            if (pages.isEmpty()) throw;  // nothing to show
            count_ = sink.last();
            counted_ = false;
        }
        if (pages.isEmpty() && !kept_.isEmpty()) return;  // the pages shown before stay
    }
    kept_ = std::move(pages);
    first_ = from;
}

const RenderedPage& PagePreview::page(int n) {
    n = std::clamp(n, 1, std::max(1, count_));
    if (kept_.isEmpty() || n < first_ || n >= first_ + kept_.size()) renderAround(n, false);
    return kept_[std::clamp(n - first_, 0, int(kept_.size()) - 1)];
}

}  // namespace tolvane::reports
