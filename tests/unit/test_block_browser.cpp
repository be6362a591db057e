// The block browser: its tree of project block files (the "Block Libraries" folder found
// without regard to case, ".dxf" in any case) and the current drawing's blocks, the picture
// grid and its cell size, and the preview drawing that a chosen picture fills, zooms and pans.
#include <gtest/gtest.h>

#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "app/drawing/block_browser.h"
#include "app/drawing/drawing_view.h"
#include "cad/dxf.h"
#include "cad/render.h"
#include "drawings/drawing.h"
#include "script_fixture.h"

using namespace tolvane;

namespace {

QStringList children(const QTreeWidgetItem* item) {
    QStringList out;
    for (int i = 0; i < item->childCount(); ++i) out << item->child(i)->text(0);
    return out;
}

bool hasInk(const QIcon& icon, int size) {
    const QImage image = icon.pixmap(size, size).toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != QColor(Qt::white)) return true;
    return false;
}

class BlockBrowserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QDir(home.path()).mkdir(QStringLiteral("block libraries"));
        const QString folder = home.filePath(QStringLiteral("block libraries"));
        cad::Document panel;
        panel.addToModel(cad::Entity::rect({0, 0}, {6, 2}));
        cad::saveDxf(panel, folder + QStringLiteral("/Patch Panel.dxf"));
        cad::Document term;
        term.addToModel(cad::Entity::circle({0, 0}, 1));
        cad::saveDxf(term, folder + QStringLiteral("/TERM.DXF"));
        QFile notes(folder + QStringLiteral("/notes.txt"));
        notes.open(QIODevice::WriteOnly);
        QFile broken(folder + QStringLiteral("/broken.dxf"));
        broken.open(QIODevice::WriteOnly);
        broken.write("0\nNONSENSE\n");

        // The current drawing: a block made of a nested block and a line.
        cad::Document doc;
        cad::Block& inner = doc.addBlock(QStringLiteral("INNER"));
        doc.add(inner, cad::Entity::circle({0, 0}, 0.5));
        cad::Block& rack = doc.addBlock(QStringLiteral("RACK"));
        doc.add(rack, cad::Entity::line({0, 0}, {10, 0}));
        doc.add(rack, cad::Entity::insert(QStringLiteral("INNER"), {10, 5}));
        doc.addToModel(cad::Entity::line({100, 100}, {200, 200}));
        drawing = std::make_unique<Drawing>(std::move(doc));
    }

    QTemporaryDir home;
    std::unique_ptr<Drawing> drawing;
};

TEST_F(BlockBrowserTest, TreeGridAndPreview) {
    test::ScriptedUser user("button OK\npoint 1,0.5\npoint 0,0\npoint 2,0\nescape\n");
    BlockBrowser browser(*user.ui, home.path(), [this] { return drawing.get(); });
    browser.show();
    auto* tree = browser.findChild<QTreeWidget*>(QStringLiteral("tvwBlocks"));
    auto* grid = browser.findChild<QListWidget*>(QStringLiteral("lvwBlocks"));
    ASSERT_NE(tree, nullptr);
    ASSERT_NE(grid, nullptr);
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    const QTreeWidgetItem* root = tree->topLevelItem(0);
    ASSERT_EQ(root->childCount(), 2);
    EXPECT_EQ(children(root), QStringList({"Project Blocks", "Drawing Blocks"}));
    EXPECT_EQ(children(root->child(0)), QStringList({"broken.dxf", "Patch Panel.dxf", "TERM.DXF"}));
    EXPECT_EQ(children(root->child(1)), QStringList({"INNER", "RACK"}));

    // The project files as pictures; an unreadable file is a blank one.
    ASSERT_EQ(grid->count(), 3);
    EXPECT_FALSE(hasInk(grid->item(0)->icon(), browser.cellSize()));
    EXPECT_TRUE(hasInk(grid->item(1)->icon(), browser.cellSize()));
    EXPECT_TRUE(hasInk(grid->item(2)->icon(), browser.cellSize()));

    // Choosing a picture empties the preview and shows that block alone, whole.
    grid->setCurrentRow(2);
    ASSERT_EQ(browser.previewDocument().modelSpace().entities.size(), 1u);
    EXPECT_EQ(browser.previewDocument().modelSpace().entities[0].blockName, QStringLiteral("TERM"));
    grid->setCurrentRow(1);
    const cad::Document& preview = browser.previewDocument();
    ASSERT_EQ(preview.modelSpace().entities.size(), 1u);
    EXPECT_EQ(preview.modelSpace().entities[0].blockName, QStringLiteral("PATCH PANEL"));
    EXPECT_EQ(preview.block(QStringLiteral("TERM")), nullptr);
    const cad::BBox whole = cad::spaceExtents(preview, preview.modelSpace());
    const cad::BBox shown = browser.previewView().view().visibleBox();
    EXPECT_TRUE(shown.contains(whole));
    // The unreadable file says so and leaves an empty preview.
    EXPECT_FALSE(browser.showBlock(0));
    EXPECT_TRUE(user.transcript.contains(QStringLiteral("could not be read")));
    EXPECT_TRUE(browser.previewDocument().modelSpace().entities.empty());
    grid->setCurrentRow(1);

    // Zoom in about a picked point keeps that point where it was and scales by 1.1.
    const cad::View before = browser.previewView().view();
    browser.findChild<QPushButton*>(QStringLiteral("cmdZoomIn"))->click();
    const cad::View after = browser.previewView().view();
    EXPECT_NEAR(after.scale(), before.scale() * 1.1, 1e-9);
    EXPECT_NEAR(after.toDevice(QPointF(1, 0.5)).x(), before.toDevice(QPointF(1, 0.5)).x(), 1e-6);
    EXPECT_NEAR(after.toDevice(QPointF(1, 0.5)).y(), before.toDevice(QPointF(1, 0.5)).y(), 1e-6);
    // Pan from 0,0 to 2,0: what lay at 0,0 now lies where 2,0 was.
    browser.findChild<QPushButton*>(QStringLiteral("cmdPan"))->click();
    const cad::View panned = browser.previewView().view();
    EXPECT_NEAR(panned.toDevice(QPointF(0, 0)).x(), after.toDevice(QPointF(2, 0)).x(), 1e-6);
    // A cancelled pick changes nothing.
    browser.zoomOut();
    EXPECT_EQ(browser.previewView().view().scale(), panned.scale());

    // Bigger and smaller cells, within their bounds.
    const int cell = browser.cellSize();
    browser.findChild<QPushButton*>(QStringLiteral("cmdBigger"))->click();
    EXPECT_GT(browser.cellSize(), cell);
    EXPECT_EQ(grid->iconSize(), QSize(browser.cellSize(), browser.cellSize()));
    EXPECT_EQ(grid->count(), 3);
    for (int i = 0; i < 20; ++i) browser.bigger();
    EXPECT_EQ(browser.cellSize(), BlockBrowser::kMaxCell);
    for (int i = 0; i < 40; ++i) browser.smaller();
    EXPECT_EQ(browser.cellSize(), BlockBrowser::kMinCell);

    // The drawing's blocks: a block with a nested one shows whole, the drawing's own model
    // space left out.
    tree->setCurrentItem(root->child(1)->child(1));
    ASSERT_EQ(grid->count(), 2);
    EXPECT_EQ(grid->currentRow(), 1);
    ASSERT_EQ(preview.modelSpace().entities.size(), 1u);
    EXPECT_EQ(preview.modelSpace().entities[0].blockName, QStringLiteral("RACK"));
    const cad::BBox rack = cad::spaceExtents(preview, preview.modelSpace());
    EXPECT_NEAR(rack.y1, 5.5, 1e-9);  // the nested circle counts
    EXPECT_LT(rack.x1, 20);           // the drawing's line does not
    EXPECT_EQ(drawing->document().modelSpace().entities.size(), 1u);
}

TEST(BlockBrowser, WithoutFolderOrDrawingTheNodesAreEmpty) {
    QTemporaryDir home;
    test::ScriptedUser user("");
    BlockBrowser browser(*user.ui, home.path(), [] { return static_cast<Drawing*>(nullptr); });
    EXPECT_TRUE(browser.folder().isEmpty());
    const QTreeWidgetItem* root =
        browser.findChild<QTreeWidget*>(QStringLiteral("tvwBlocks"))->topLevelItem(0);
    EXPECT_EQ(root->child(0)->childCount(), 0);
    EXPECT_EQ(root->child(1)->childCount(), 0);
    EXPECT_EQ(browser.findChild<QListWidget*>(QStringLiteral("lvwBlocks"))->count(), 0);
    EXPECT_FALSE(browser.showBlock(0));
}

}  // namespace
