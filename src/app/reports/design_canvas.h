// The drawing surface of the report designer: the sections one under the other at scale, each
// under a bar naming it, with their controls, the grid, the selection and its handles. The
// mouse selects (click, shift-click, rubber band), moves, resizes, places the control of the
// chosen tool and drags section heights; each finished gesture is one edit of the layout.
#pragma once

#include <QWidget>
#include <optional>

#include "reports/layout_document.h"
#include "reports/layout_editing.h"

namespace tolvane {

class DesignCanvas : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kBarHeight = 18;  // the bar above each section, pixels
    static constexpr int kHandle = 6;      // side of a resize handle, pixels

    explicit DesignCanvas(reports::LayoutDocument& document, QWidget* parent = nullptr);

    double scale() const { return scale_; }
    void setScale(double pixelsPerTwip);

    struct SectionPlace {
        reports::SectionRef ref;
        QString caption;
        int barTop;
        int top;  // the body, pixels from the canvas top
        int height;
    };
    QList<SectionPlace> places() const;
    QSize sizeHint() const override;

    const reports::Selection& selection() const { return selection_; }
    void setSelection(const reports::Selection& selection);
    reports::DesignGrid& grid() { return grid_; }
    // The control the next click or drag places; nullopt: selecting.
    void setTool(std::optional<reports::ControlKind> tool) { tool_ = tool; }
    std::optional<reports::ControlKind> tool() const { return tool_; }

    // Canvas pixels of a point of a section, and the section and point under a pixel.
    QPoint toPixels(const reports::SectionRef& section, QPoint twips) const;
    std::optional<std::pair<reports::SectionRef, QPoint>> sectionAt(QPoint pixel) const;

  Q_SIGNALS:
    void selectionChanged();
    // A control was placed: the tool goes back to selecting.
    void placed();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    enum class Drag { None, Move, Resize, Band, Place, SectionHeight };
    int px(int twips) const { return int(twips * scale_ + 0.5); }
    int tw(int pixels) const { return int(pixels / scale_ + 0.5); }
    QRect pixelRect(const reports::SectionRef& section, const QRect& twips) const;
    // The layout shown: the document's, or while a gesture runs, the document's with the
    // gesture applied so far.
    const reports::ReportLayout& shown() const { return preview_ ? *preview_ : doc_.layout(); }
    // Applies the running gesture to a layout (the preview while dragging, the document's at
    // the end). Returns the text of its undo step ("" for none).
    QString applyGesture(reports::ReportLayout& layout, bool final);
    QList<SectionPlace> placesOf(const reports::ReportLayout& layout) const;
    std::optional<reports::Handle> handleAt(QPoint pixel) const;
    QList<std::pair<reports::Handle, QRect>> handles(const reports::ControlRef& ref) const;
    std::optional<reports::SectionRef> sectionEdgeAt(QPoint pixel) const;

    reports::LayoutDocument& doc_;
    double scale_ = 96.0 / 1440.0;
    reports::Selection selection_;
    reports::DesignGrid grid_;
    std::optional<reports::ControlKind> tool_;
    Drag drag_ = Drag::None;
    QPoint pressed_, now_;
    reports::SectionRef dragSection_;
    reports::Handle dragHandle_ = reports::Handle::BottomRight;
    std::optional<reports::ReportLayout> preview_;
};

}  // namespace tolvane
