// Undo by whole layouts: a layout is a few kilobytes, so keeping it whole before and after
// each step is simpler and safer than inverting each kind of change.
#include "reports/layout_document.h"

#include <QUndoCommand>

namespace tolvane::reports {

class LayoutStep : public QUndoCommand {
  public:
    LayoutStep(LayoutDocument& doc, const QString& text, ReportLayout before, ReportLayout after)
        : QUndoCommand(text), doc_(doc), before_(std::move(before)), after_(std::move(after)) {}
    void undo() override { doc_.set(before_); }
    void redo() override { doc_.set(after_); }

  private:
    LayoutDocument& doc_;
    ReportLayout before_, after_;
};

LayoutDocument::LayoutDocument(ReportLayout layout, QObject* parent)
    : QObject(parent), layout_(std::move(layout)) {}

bool LayoutDocument::edit(const QString& text, const std::function<void(ReportLayout&)>& change) {
    ReportLayout after = layout_;
    change(after);
    if (after == layout_) return false;
    stack_.push(new LayoutStep(*this, text, layout_, std::move(after)));
    return true;
}

void LayoutDocument::set(const ReportLayout& layout) {
    layout_ = layout;
    Q_EMIT changed();
}

}  // namespace tolvane::reports
