// The report designer on a report window's design tab: the canvas in a scroll area and the
// commands that act on its selection (align, size, order, delete, lock, font and colours, line
// style, grid settings, clipboard). Each command is one edit of the layout, so undo and redo
// take it back whole. Which formatting commands apply follows the selection (enabled()).
#pragma once

#include <QScrollArea>
#include <functional>
#include <optional>

#include "reports/layout_document.h"
#include "reports/layout_editing.h"

namespace tolvane {

class Ui;
class DesignCanvas;

class ReportDesigner : public QScrollArea {
    Q_OBJECT
  public:
    ReportDesigner(reports::LayoutDocument& document, Ui& ui, QWidget* parent = nullptr);
    DesignCanvas* canvas() const { return canvas_; }
    reports::LayoutDocument& document() { return doc_; }

    void setTool(std::optional<reports::ControlKind> tool);
    void align(reports::AlignTo to);
    void makeSameSize(reports::SameSize what);
    void alignToGrid();
    void bringToFront();
    void sendToBack();
    void deleteSelection();
    void toggleLock();
    enum class FontStyle { Bold, Italic, Underline };
    // On when the first text control of the selection has it off, and off otherwise.
    void toggleFontStyle(FontStyle style);
    void setTextAlignment(reports::HAlign align);
    void chooseFont();
    enum class Colour { Fore, Back, Line };
    void chooseColour(Colour which);
    void chooseLineStyle();
    void gridSettings();
    // Spacing and sizes on the grid; the step of Increase/Decrease is one grid step.
    void setSpacing(reports::Axis axis);
    void spaceEvenly(reports::Axis axis);
    void changeSpacing(reports::Axis axis, int steps);
    void sizeToGrid();
    void chooseAlignment();
    // Rich text paragraphs.
    void toggleBullets();
    void changeIndent(int steps);
    void chooseFontSize();
    void chooseStyle();
    void chooseSummary();
    void editExpression();
    // The windows beside the canvas. fields: the query's columns (asked when needed).
    void propertyPage();
    void fieldList(const std::function<QStringList()>& fields);
    void sortingAndGrouping(const std::function<QStringList()>& fields);
    void reportExplorer();
    void chooseDatabase();
    QList<reports::Control> copySelection() const;
    void paste(const QList<reports::Control>& controls);

    // Whether a report command applies to the selection now; nullopt for the keys the
    // designer does not decide.
    std::optional<bool> enabled(const QString& key) const;

  Q_SIGNALS:
    // The selection changed, or something that decides which commands apply.
    void commandsChanged();

  private:
    void edit(const QString& text, const std::function<void(reports::ReportLayout&)>& change);
    const reports::Control* firstWith(bool text, bool outlined) const;

    reports::LayoutDocument& doc_;
    Ui& ui_;
    DesignCanvas* canvas_;
};

}  // namespace tolvane
