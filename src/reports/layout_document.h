// A report layout being edited: the layout, its undo history and whether it differs from what
// was last saved. Every change is one call of edit(), which records the layout before and after
// as one step of undo, so the designer's commands (move, resize, align, font, delete ...) need
// no undo code of their own.
#pragma once

#include <QObject>
#include <QUndoStack>
#include <functional>

#include "reports/report_layout.h"

namespace tolvane::reports {

class LayoutDocument : public QObject {
    Q_OBJECT
  public:
    explicit LayoutDocument(ReportLayout layout = {}, QObject* parent = nullptr);

    const ReportLayout& layout() const { return layout_; }
    // Applies change to a copy of the layout and, when that changed anything, makes it the
    // layout as one step of undo named text. Returns whether anything changed.
    bool edit(const QString& text, const std::function<void(ReportLayout&)>& change);

    QUndoStack& undoStack() { return stack_; }
    // Unsaved changes: the window's "*".
    bool isModified() const { return !stack_.isClean(); }
    void markSaved() { stack_.setClean(); }

  Q_SIGNALS:
    void changed();

  private:
    friend class LayoutStep;
    void set(const ReportLayout& layout);

    ReportLayout layout_;
    QUndoStack stack_;
};

}  // namespace tolvane::reports
