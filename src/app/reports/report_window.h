// A report window (MDI child of kind "report"): one ReportDocument shown on three tabs, the
// designer ("Design", behind the user's EditReports right), the rows of its query with the
// filter builder ("Data") and the pages ("Preview"). Its caption is the document's name with
// "*" while there are unsaved changes; closing asks to save them.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "reports/report_document.h"
#include "reports/report_preview.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QScrollArea;
class QTabWidget;
class QTableView;
class QVBoxLayout;

namespace tolvane {

class Ui;
class ReportDesigner;
class FilterBuilder;

// The preview tab: one page at a time, drawn at the zoom chosen, with page navigation.
class ReportPreviewPane : public QWidget {
    Q_OBJECT
  public:
    explicit ReportPreviewPane(QWidget* parent = nullptr);
    // Shows the pages of a new run (page 1), or nothing.
    void setPreview(std::unique_ptr<reports::PagePreview> preview);
    reports::PagePreview* preview() const { return preview_.get(); }
    int currentPage() const { return page_; }
    void showPage(int n);
    // Zoom in percent of the paper's real size on a 96 dpi screen.
    void setZoom(int percent);
    int zoom() const { return zoom_; }
    // The image shown now (tests and screenshots).
    QImage pageImage() const { return image_; }

  Q_SIGNALS:
    void failed(const QString& message);

  private:
    void paint();

    std::unique_ptr<reports::PagePreview> preview_;
    int page_ = 1;
    int zoom_ = 100;
    QImage image_;
    reports::PagePainter painter_;
    QScrollArea* scroll_;
    QLabel* pageLabel_;
    QLineEdit* pageBox_;
    QLabel* pagesLabel_;
    QComboBox* zoomBox_;
};

class ReportWindow : public QWidget {
    Q_OBJECT
  public:
    enum Tab { Design = 0, Data = 1, Preview = 2 };

    ReportWindow(std::unique_ptr<reports::ReportDocument> document, int index, Ui& ui,
                 QWidget* parent = nullptr);
    ~ReportWindow() override;

    reports::ReportDocument& document() { return *doc_; }
    int index() const { return index_; }
    QTabWidget* tabs() const { return tabs_; }
    ReportPreviewPane* previewPane() const { return preview_; }
    ReportDesigner* designer() const { return designer_; }
    FilterBuilder* filterBuilder() const { return filter_; }
    QTableView* grid() const { return grid_; }

    // Runs the report again and shows it on the preview tab (which becomes current).
    void runPreview();
    // The data tab's grid reads the report's rows again (with the filter).
    void reloadGrid();
    // Applies a filter expression to the grid and the report, then shows the preview. A bad
    // one is said ("Error: " + reason) and changes nothing. Returns whether it was applied.
    bool applyFilter(const QString& expression);
    void clearFilter();

    // Hooks of the owner. closing: the window may close; mayDesign: the user's EditReports
    // right (asked when the design tab is chosen); tabShown: the tab now current.
    std::function<bool(ReportWindow&)> closing;
    std::function<bool()> mayDesign;
    std::function<void(Tab)> tabShown;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void updateTitle();
    void tabChosen(int tab);

    std::unique_ptr<reports::ReportDocument> doc_;
    int index_;
    Ui& ui_;
    QTabWidget* tabs_;
    ReportDesigner* designer_ = nullptr;
    FilterBuilder* filter_ = nullptr;
    QTableView* grid_ = nullptr;
    ReportPreviewPane* preview_ = nullptr;
    int shownTab_ = Design;
};

}  // namespace tolvane
