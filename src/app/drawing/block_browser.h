// frmBlocks: the block browser. Its tree (tvwBlocks) has the root "Blocks" with "Project
// Blocks" (the block files of the application folder's "Block Libraries") and "Drawing
// Blocks" (the blocks of the current drawing). The blocks of the node chosen are shown as a
// grid of pictures (lvwBlocks) whose cells grow and shrink (cmdBigger, cmdSmaller). Choosing
// a picture shows that block alone in the browser's own preview drawing (vdPreview), zoomed
// to its extents; cmdZoomIn, cmdZoomOut and cmdPan act on the preview with points the user
// picks there.
#pragma once

#include <QDialog>
#include <QImage>
#include <functional>

#include "cad/document.h"

class QListWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace tolvane {

class Ui;
class Drawing;
class DrawingView;

// A picture of one block of a document alone, fitted into `size` on a white ground. A block
// the document lacks gives an empty white picture.
QImage blockPicture(const cad::Document& doc, const QString& block, QSize size);
// A picture of the model space of a block file; a file that cannot be read gives an empty
// white picture.
QImage filePicture(const QString& path, QSize size);

// The block files of a folder: the ".dxf" files (suffix in any letter case), by name.
QStringList blockFiles(const QString& folder);

class BlockBrowser : public QDialog {
    Q_OBJECT
  public:
    // appFolder: the application folder, whose "Block Libraries" (any letter case) is
    // browsed; currentDrawing: the drawing whose blocks "Drawing Blocks" lists (null: none).
    BlockBrowser(Ui& ui, const QString& appFolder, std::function<Drawing*()> currentDrawing,
                 QWidget* parent = nullptr);
    ~BlockBrowser() override;

    // Reads the folder and the current drawing again and shows the node of `key`
    // ("ProjectBlocks" or "DrawingBlocks").
    void reload(const QString& key = QStringLiteral("ProjectBlocks"));
    // The folder browsed ("" when the application folder has none).
    QString folder() const { return folder_; }

    // The preview: emptied, then the block of grid cell `row` (0-based) inserted at 0,0 and
    // zoomed to its extents. False when there is no such cell or its file cannot be read.
    bool showBlock(int row);
    const cad::Document& previewDocument() const { return preview_; }
    DrawingView& previewView() { return *view_; }

    // The side of a grid cell's picture in pixels.
    int cellSize() const { return cellSize_; }
    void bigger();
    void smaller();

    // Zoom in and out (by 1.1 and 0.9) about a picked point; pan from one picked point to
    // another. Nothing happens when a pick is cancelled or another prompt is waiting.
    void zoomIn();
    void zoomOut();
    void pan();

    static constexpr int kMinCell = 32;
    static constexpr int kMaxCell = 256;

  private:
    void showNode(QTreeWidgetItem* item);
    void fillGrid(const QString& key);
    void zoomAbout(double factor);

    Ui& ui_;
    QString appFolder_;
    QString folder_;
    std::function<Drawing*()> currentDrawing_;
    QTreeWidget* tree_;
    QListWidget* grid_;
    DrawingView* view_;
    cad::Document preview_;
    QString gridKey_;
    int cellSize_ = 96;
};

}  // namespace tolvane
