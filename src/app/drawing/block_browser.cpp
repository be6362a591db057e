// The block browser window: project block files and the drawing's blocks, pictures and a preview.
#include "app/drawing/block_browser.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/drawing/drawing_view.h"
#include "cad/dxf.h"
#include "cad/editing.h"
#include "cad/render.h"
#include "drawings/block_insert.h"
#include "drawings/drawing.h"
#include "shell/app_folder.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

const QString kProjectBlocks = QStringLiteral("ProjectBlocks");
const QString kDrawingBlocks = QStringLiteral("DrawingBlocks");
constexpr int kKeyRole = Qt::UserRole;       // tree: the node's key; grid: path or block name
constexpr int kFileRole = Qt::UserRole + 1;  // grid: true for a block file

QImage spacePicture(const cad::Document& doc, const cad::Space& space, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    cad::View view(size, {}, 1.0);
    if (!view.zoomExtents(cad::spaceExtents(doc, space))) return image;
    QPainter painter(&image);
    cad::RenderOptions options;
    options.background = Qt::white;
    options.antialias = true;
    cad::renderSpace(painter, doc, space, view, options);
    return image;
}

// A document holding what `source` needs to show its block `block`: its tables and blocks,
// with nothing in model space and no layouts.
cad::Document withBlocksOnly(const cad::Document& source) {
    cad::Document doc = source;
    QStringList handles;
    for (const cad::Entity& e : doc.modelSpace().entities) handles << e.handle;
    for (const QString& h : handles) doc.erase(h);
    doc.layouts().clear();
    return doc;
}

}  // namespace

QImage blockPicture(const cad::Document& doc, const QString& block, QSize size) {
    cad::Space alone{QStringLiteral("Model"), {}};
    if (doc.block(block)) alone.entities.push_back(cad::makeInsert(doc, block, {}));
    return spacePicture(doc, alone, size);
}

QImage filePicture(const QString& path, QSize size) {
    try {
        const cad::Document doc = cad::loadDxf(path);
        return spacePicture(doc, doc.modelSpace(), size);
    } catch (const cad::DxfError&) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        return image;
    }
}

QStringList blockFiles(const QString& folder) {
    QStringList files;
    if (folder.isEmpty()) return files;
    for (const QFileInfo& f :
         QDir(folder).entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase))
        if (f.suffix().compare(QLatin1String("dxf"), Qt::CaseInsensitive) == 0)
            files << f.fileName();
    return files;
}

BlockBrowser::BlockBrowser(Ui& ui, const QString& appFolder,
                           std::function<Drawing*()> currentDrawing, QWidget* parent)
    : QDialog(parent), ui_(ui), appFolder_(appFolder), currentDrawing_(std::move(currentDrawing)) {
    setObjectName(QStringLiteral("frmBlocks"));
    setWindowTitle(tr("Blocks"));
    setModal(false);
    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("tvwBlocks"));
    tree_->setHeaderHidden(true);
    grid_ = new QListWidget(this);
    grid_->setObjectName(QStringLiteral("lvwBlocks"));
    grid_->setViewMode(QListView::IconMode);
    grid_->setResizeMode(QListView::Adjust);
    grid_->setMovement(QListView::Static);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setWordWrap(true);
    view_ = new DrawingView(preview_, preview_.modelSpace(), ui_, nullptr, this);
    view_->setObjectName(QStringLiteral("vdPreview"));
    view_->setBackground(Qt::white);
    view_->setMinimumSize(240, 200);

    auto button = [this](const char* name, const QString& text, const QString& tip) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(tip);
        return b;
    };
    QPushButton* biggerButton = button("cmdBigger", tr("Bigger"), tr("Larger pictures"));
    QPushButton* smallerButton = button("cmdSmaller", tr("Smaller"), tr("Smaller pictures"));
    QPushButton* zoomInButton = button("cmdZoomIn", tr("Zoom In"), tr("Zoom in on the preview"));
    QPushButton* zoomOutButton =
        button("cmdZoomOut", tr("Zoom Out"), tr("Zoom out of the preview"));
    QPushButton* panButton = button("cmdPan", tr("Pan"), tr("Pan the preview"));

    auto* gridButtons = new QHBoxLayout;
    gridButtons->addWidget(biggerButton);
    gridButtons->addWidget(smallerButton);
    gridButtons->addStretch(1);
    auto* gridSide = new QWidget(this);
    auto* gridLayout = new QVBoxLayout(gridSide);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    gridLayout->addWidget(grid_, 1);
    gridLayout->addLayout(gridButtons);

    auto* previewButtons = new QHBoxLayout;
    previewButtons->addWidget(zoomInButton);
    previewButtons->addWidget(zoomOutButton);
    previewButtons->addWidget(panButton);
    previewButtons->addStretch(1);
    auto* previewSide = new QWidget(this);
    auto* previewLayout = new QVBoxLayout(previewSide);
    previewLayout->setContentsMargins(0, 0, 0, 0);
    previewLayout->addWidget(view_, 1);
    previewLayout->addLayout(previewButtons);

    auto* split = new QSplitter(this);
    split->addWidget(tree_);
    split->addWidget(gridSide);
    split->addWidget(previewSide);
    split->setStretchFactor(1, 2);
    split->setStretchFactor(2, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split);
    resize(900, 500);

    connect(tree_, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> selected = tree_->selectedItems();
        if (!selected.isEmpty()) showNode(selected.first());
    });
    connect(grid_, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> selected = grid_->selectedItems();
        if (!selected.isEmpty()) showBlock(grid_->row(selected.first()));
    });
    connect(biggerButton, &QPushButton::clicked, this, &BlockBrowser::bigger);
    connect(smallerButton, &QPushButton::clicked, this, &BlockBrowser::smaller);
    connect(zoomInButton, &QPushButton::clicked, this, &BlockBrowser::zoomIn);
    connect(zoomOutButton, &QPushButton::clicked, this, &BlockBrowser::zoomOut);
    connect(panButton, &QPushButton::clicked, this, &BlockBrowser::pan);
    reload();
}

BlockBrowser::~BlockBrowser() = default;

void BlockBrowser::reload(const QString& key) {
    folder_ = appfolder::findNoCase(appFolder_, QStringLiteral("Block Libraries"));
    const QSignalBlocker quiet(tree_);
    tree_->clear();
    auto* root = new QTreeWidgetItem(tree_, {tr("Blocks")});
    root->setData(0, kKeyRole, QStringLiteral("Blocks"));
    auto* project = new QTreeWidgetItem(root, {tr("Project Blocks")});
    project->setData(0, kKeyRole, kProjectBlocks);
    for (const QString& file : blockFiles(folder_)) {
        auto* item = new QTreeWidgetItem(project, {file});
        item->setData(0, kKeyRole, QDir(folder_).filePath(file));
    }
    auto* drawing = new QTreeWidgetItem(root, {tr("Drawing Blocks")});
    drawing->setData(0, kKeyRole, kDrawingBlocks);
    if (Drawing* d = currentDrawing_ ? currentDrawing_() : nullptr) {
        for (const QString& block : insertableBlocks(d->document())) {
            auto* item = new QTreeWidgetItem(drawing, {block});
            item->setData(0, kKeyRole, block);
        }
    }
    tree_->expandAll();
    QTreeWidgetItem* shown = key == kDrawingBlocks ? drawing : project;
    shown->setSelected(true);
    tree_->setCurrentItem(shown);
    showNode(shown);
}

void BlockBrowser::showNode(QTreeWidgetItem* item) {
    const QString key = item->data(0, kKeyRole).toString();
    if (key == kProjectBlocks || key == kDrawingBlocks) {
        fillGrid(key);
        return;
    }
    // A file or block under one of the two: its pictures, with it chosen.
    QTreeWidgetItem* parent = item->parent();
    const QString parentKey = parent ? parent->data(0, kKeyRole).toString() : QString();
    if (parentKey != kProjectBlocks && parentKey != kDrawingBlocks) return;
    fillGrid(parentKey);
    for (int row = 0; row < grid_->count(); ++row) {
        if (grid_->item(row)->data(kKeyRole).toString() == key) {
            grid_->setCurrentRow(row);  // shows it in the preview
            return;
        }
    }
}

void BlockBrowser::fillGrid(const QString& key) {
    const QSignalBlocker quiet(grid_);
    gridKey_ = key;
    grid_->clear();
    grid_->setIconSize(QSize(cellSize_, cellSize_));
    grid_->setGridSize(QSize(cellSize_ + 24, cellSize_ + 36));
    const QSize size(cellSize_, cellSize_);
    if (key == kProjectBlocks) {
        for (const QString& file : blockFiles(folder_)) {
            const QString path = QDir(folder_).filePath(file);
            auto* item = new QListWidgetItem(QIcon(QPixmap::fromImage(filePicture(path, size))),
                                             file, grid_);
            item->setData(kKeyRole, path);
            item->setData(kFileRole, true);
        }
    } else if (Drawing* d = currentDrawing_ ? currentDrawing_() : nullptr) {
        for (const QString& block : insertableBlocks(d->document())) {
            auto* item = new QListWidgetItem(
                QIcon(QPixmap::fromImage(blockPicture(d->document(), block, size))), block, grid_);
            item->setData(kKeyRole, block);
            item->setData(kFileRole, false);
        }
    }
}

bool BlockBrowser::showBlock(int row) {
    QListWidgetItem* item = grid_->item(row);
    if (!item) return false;
    const QString source = item->data(kKeyRole).toString();
    if (item->data(kFileRole).toBool()) {
        // The browser's own drawing is emptied and the file's block loaded into it.
        preview_ = cad::Document();
        try {
            cad::addBlockFromFile(preview_, source, blockNameOfFile(source));
        } catch (const cad::DxfError& e) {
            view_->modelChanged();
            ui_.message(tr("The block file %1 could not be read: %2").arg(source, e.reason()),
                        MsgButtons::Ok, MsgIcon::Warning);
            return false;
        }
        preview_.addToModel(cad::makeInsert(preview_, blockNameOfFile(source), {}));
    } else {
        Drawing* d = currentDrawing_ ? currentDrawing_() : nullptr;
        if (!d || !d->document().block(source)) return false;
        preview_ = withBlocksOnly(d->document());
        preview_.addToModel(cad::makeInsert(preview_, source, {}));
    }
    view_->modelChanged();
    view_->zoomExtents();
    return true;
}

void BlockBrowser::bigger() {
    cellSize_ = std::min(kMaxCell, cellSize_ * 5 / 4);
    const int row = grid_->currentRow();
    fillGrid(gridKey_);
    const QSignalBlocker quiet(grid_);
    grid_->setCurrentRow(row);
}

void BlockBrowser::smaller() {
    cellSize_ = std::max(kMinCell, cellSize_ * 4 / 5);
    const int row = grid_->currentRow();
    fillGrid(gridKey_);
    const QSignalBlocker quiet(grid_);
    grid_->setCurrentRow(row);
}

void BlockBrowser::zoomAbout(double factor) {
    if (ui_.promptWaiting()) {
        ui_.beep();
        return;
    }
    const PointAnswer at = ui_.getPoint(tr("Select the zoom center:"));
    if (at.cancelled) return;
    cad::View v = view_->view();
    v.zoomAt(factor, v.toDevice(at.point));
    view_->setView(v);
}

void BlockBrowser::zoomIn() {
    zoomAbout(1.1);
}

void BlockBrowser::zoomOut() {
    zoomAbout(0.9);
}

void BlockBrowser::pan() {
    if (ui_.promptWaiting()) {
        ui_.beep();
        return;
    }
    const PointAnswer from = ui_.getPoint(tr("Pan from point:"));
    if (from.cancelled) return;
    const PointAnswer to = ui_.getPoint(tr("Pan to point:"));
    if (to.cancelled) return;
    cad::View v = view_->view();
    v.panWorld(from.point - to.point);
    view_->setView(v);
}

}  // namespace tolvane
