#include "app/reports/report_window.h"

#include <QAbstractTableModel>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "app/reports/filter_builder.h"
#include "app/reports/report_designer.h"
#include "app/shell/widget_helpers.h"
#include "reports/report_error.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

constexpr int kScreenDpi = 96;

// The rows of a report's query for the data tab, read as the grid scrolls to them.
class RecordModel : public QAbstractTableModel {
  public:
    explicit RecordModel(QObject* parent) : QAbstractTableModel(parent) {}
    void setSource(std::unique_ptr<reports::RecordSource> source) {
        beginResetModel();
        source_ = std::move(source);
        rows_.clear();
        fields_.clear();
        more_ = false;
        if (source_) {
            source_->start();  // throws ReportError: the caller says it
            fields_ = source_->fields();
            more_ = true;
        }
        endResetModel();
    }
    const QStringList& fields() const { return fields_; }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(rows_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(fields_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        return rows_.value(index.row()).value(index.column());
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (role != Qt::DisplayRole) return {};
        if (o == Qt::Vertical) return section + 1;
        return fields_.value(section);
    }
    bool canFetchMore(const QModelIndex& parent) const override {
        return !parent.isValid() && more_;
    }
    void fetchMore(const QModelIndex& parent) override {
        if (parent.isValid() || !more_) return;
        QList<QVariantList> batch;
        while (batch.size() < 256) {
            if (!source_->next()) {
                more_ = false;
                break;
            }
            QVariantList row;
            for (int c = 0; c < fields_.size(); ++c) row << source_->value(c);
            batch << row;
        }
        if (batch.isEmpty()) return;
        beginInsertRows({}, int(rows_.size()), int(rows_.size() + batch.size() - 1));
        rows_ << batch;
        endInsertRows();
    }

  private:
    std::unique_ptr<reports::RecordSource> source_;
    QStringList fields_;
    QList<QVariantList> rows_;
    bool more_ = false;
};

}  // namespace

// ---- preview ----------------------------------------------------------------------------

ReportPreviewPane::ReportPreviewPane(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("fraPreview"));
    auto* first = namedButton("cmdFirstPage", QStringLiteral("|<"));
    auto* previous = namedButton("cmdPreviousPage", QStringLiteral("<"));
    auto* next = namedButton("cmdNextPage", QStringLiteral(">"));
    auto* last = namedButton("cmdLastPage", QStringLiteral(">|"));
    for (QPushButton* b : {first, previous, next, last}) b->setMaximumWidth(40);
    pageBox_ = named(new QLineEdit, "txtPage");
    pageBox_->setValidator(new QIntValidator(1, 1 << 30, pageBox_));
    pageBox_->setMaximumWidth(60);
    pagesLabel_ = named(new QLabel, "lblPages");
    zoomBox_ = named(new QComboBox, "cboZoom");
    for (int z : {25, 50, 75, 100, 125, 150, 200, 300})
        zoomBox_->addItem(QStringLiteral("%1%").arg(z));
    zoomBox_->setCurrentText(QStringLiteral("100%"));
    connect(first, &QPushButton::clicked, this, [this] { showPage(1); });
    connect(previous, &QPushButton::clicked, this, [this] { showPage(page_ - 1); });
    connect(next, &QPushButton::clicked, this, [this] { showPage(page_ + 1); });
    connect(last, &QPushButton::clicked, this,
            [this] { showPage(preview_ ? preview_->pageCount() : 1); });
    connect(pageBox_, &QLineEdit::editingFinished, this,
            [this] { showPage(pageBox_->text().toInt()); });
    connect(zoomBox_, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        const int z = QString(text).remove(QLatin1Char('%')).toInt();
        if (z > 0) setZoom(z);
    });
    auto* bar = new QHBoxLayout;
    bar->addWidget(first);
    bar->addWidget(previous);
    bar->addWidget(new QLabel(tr("Page")));
    bar->addWidget(pageBox_);
    bar->addWidget(pagesLabel_);
    bar->addWidget(next);
    bar->addWidget(last);
    bar->addSpacing(20);
    bar->addWidget(new QLabel(tr("Zoom")));
    bar->addWidget(zoomBox_);
    bar->addStretch(1);
    pageLabel_ = named(new QLabel, "imgPage");
    pageLabel_->setAlignment(Qt::AlignCenter);
    // The page stands out white on the dark ground around it.
    pageLabel_->setBackgroundRole(QPalette::Dark);
    pageLabel_->setAutoFillBackground(true);
    pageLabel_->setMargin(12);
    scroll_ = named(new QScrollArea, "scrPreview");
    scroll_->setWidget(pageLabel_);
    scroll_->setWidgetResizable(true);
    scroll_->setBackgroundRole(QPalette::Dark);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(bar);
    layout->addWidget(scroll_, 1);
}

void ReportPreviewPane::setPreview(std::unique_ptr<reports::PagePreview> preview) {
    preview_ = std::move(preview);
    painter_ = reports::PagePainter();
    page_ = 1;
    paint();
}

void ReportPreviewPane::showPage(int n) {
    if (!preview_) return;
    page_ = std::clamp(n, 1, std::max(1, preview_->pageCount()));
    paint();
}

void ReportPreviewPane::setZoom(int percent) {
    zoom_ = std::clamp(percent, 10, 800);
    const QString text = QStringLiteral("%1%").arg(zoom_);
    if (zoomBox_->currentText() != text) {
        const QSignalBlocker quiet(zoomBox_);
        zoomBox_->setCurrentText(text);
    }
    paint();
}

void ReportPreviewPane::paint() {
    if (!preview_) {
        image_ = {};
        pageLabel_->clear();
        pagesLabel_->clear();
        pageBox_->clear();
        return;
    }
    try {
        const reports::RenderedPage& page = preview_->page(page_);
        page_ = page.number;  // the nearest page kept, when the way to page_ was cancelled
        const int dpi = std::max(1, kScreenDpi * zoom_ / 100);
        image_ = reports::PageImageSink::paintPage(page, preview_->layout().page, dpi, painter_);
    } catch (const reports::ReportError& e) {
        image_ = {};
        Q_EMIT failed(e.message());
    }
    pageLabel_->setPixmap(QPixmap::fromImage(image_));
    pageBox_->setText(QString::number(page_));
    pagesLabel_->setText(preview_->counted()
                             ? tr("of %1").arg(preview_->pageCount())
                             : tr("of %1 (counting was cancelled)").arg(preview_->pageCount()));
}

// ---- the window -------------------------------------------------------------------------

ReportWindow::ReportWindow(std::unique_ptr<reports::ReportDocument> document, int index, Ui& ui,
                           QWidget* parent)
    : QWidget(parent), doc_(std::move(document)), index_(index), ui_(ui) {
    setObjectName(QStringLiteral("frmReport%1").arg(index));
    setProperty("tolvaneKind", QStringLiteral("report"));
    setAttribute(Qt::WA_DeleteOnClose);
    tabs_ = named(new QTabWidget, "tabReport");
    tabs_->setTabPosition(QTabWidget::South);
    designer_ = new ReportDesigner(doc_->layout(), ui_);
    auto* data = new QWidget;
    data->setObjectName(QStringLiteral("fraData"));
    filter_ = new FilterBuilder;
    grid_ = named(new QTableView, "grdData");
    grid_->setModel(new RecordModel(grid_));
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
    auto* dataLayout = new QVBoxLayout(data);
    dataLayout->setContentsMargins(0, 0, 0, 0);
    dataLayout->addWidget(grid_, 1);
    dataLayout->addWidget(filter_);
    preview_ = new ReportPreviewPane;
    tabs_->addTab(designer_, tr("Design"));
    tabs_->addTab(data, tr("Data"));
    tabs_->addTab(preview_, tr("Preview"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tabs_);
    filter_->apply = [this](const QString& expression) { applyFilter(expression); };
    filter_->clear = [this] { clearFilter(); };
    connect(preview_, &ReportPreviewPane::failed, this, [this](const QString& message) {
        ui_.message(message, MsgButtons::Ok, MsgIcon::Critical);
    });
    connect(tabs_, &QTabWidget::currentChanged, this, &ReportWindow::tabChosen);
    connect(doc_.get(), &reports::ReportDocument::titleChanged, this, &ReportWindow::updateTitle);
    updateTitle();
    resize(900, 650);
}

ReportWindow::~ReportWindow() = default;

void ReportWindow::updateTitle() {
    setWindowTitle(doc_->title());
    // Scripts name a report window by its file ("window cables.rpx"), a new one by its name.
    setProperty("tolvaneFile", doc_->path().isEmpty() ? doc_->name() : doc_->path());
}

void ReportWindow::tabChosen(int tab) {
    if (tab == shownTab_) return;
    // The designer is for users who may edit reports; for the others the tab stays.
    if (tab == Design && mayDesign && !mayDesign()) {
        const QSignalBlocker quiet(tabs_);
        tabs_->setCurrentIndex(shownTab_);
        return;
    }
    shownTab_ = tab;
    if (tab == Data) reloadGrid();
    if (tab == Preview && !preview_->preview()) runPreview();
    if (tabShown) tabShown(Tab(tab));
}

void ReportWindow::runPreview() {
    // A report that cannot run leaves the preview empty and says why.
    std::unique_ptr<reports::PagePreview> pages;
    try {
        pages = std::make_unique<reports::PagePreview>(
            doc_->current(), [this] { return doc_->rows(); },
            doc_->renderOptions(tr("Preparing the pages of %1").arg(doc_->name())));
    } catch (const reports::ReportError& e) {
        preview_->setPreview(nullptr);
        ui_.message(e.message(), MsgButtons::Ok, MsgIcon::Critical);
    } catch (const reports::RenderCancelled&) {
        preview_->setPreview(nullptr);
        ui_.status(tr("Preview cancelled"));
    }
    if (pages) preview_->setPreview(std::move(pages));
    if (tabs_->currentIndex() != Preview) tabs_->setCurrentIndex(Preview);
}

void ReportWindow::reloadGrid() {
    auto* model = static_cast<RecordModel*>(grid_->model());
    try {
        model->setSource(doc_->rows());
    } catch (const reports::ReportError& e) {
        model->setSource(nullptr);
        ui_.message(e.message(), MsgButtons::Ok, MsgIcon::Critical);
        return;
    }
    // The first rows at once; the rest as the grid scrolls to them.
    if (model->canFetchMore({})) model->fetchMore({});
    // The replication columns stay out of the grid and of the builder's fields.
    QStringList shown;
    for (int c = 0; c < model->fields().size(); ++c) {
        const bool hidden = reports::isReplicationColumn(model->fields()[c]);
        grid_->setColumnHidden(c, hidden);
        if (!hidden) shown << model->fields()[c];
    }
    filter_->setFields(shown);
}

bool ReportWindow::applyFilter(const QString& expression) {
    try {
        doc_->setFilter(expression);
    } catch (const reports::ReportError& e) {
        ui_.message(e.message(), MsgButtons::Ok, MsgIcon::Critical);
        return false;
    }
    if (filter_->expression() != expression) filter_->setExpression(expression);
    reloadGrid();
    runPreview();
    return true;
}

void ReportWindow::clearFilter() {
    doc_->clearFilter();
    filter_->setExpression({});
    reloadGrid();
    preview_->setPreview(nullptr);
}

void ReportWindow::closeEvent(QCloseEvent* event) {
    if (closing && !closing(*this)) {
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace tolvane
