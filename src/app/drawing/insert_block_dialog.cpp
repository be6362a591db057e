// The block-insert window of Insert...: the drawing's blocks, a block file, a picture.
#include "app/drawing/insert_block_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/drawing/block_browser.h"
#include "app/drawing/choice_dialogs.h"
#include "cad/dxf.h"
#include "drawings/block_insert.h"
#include "drawings/drawing.h"
#include "ui/ui.h"

namespace tolvane {

namespace {
constexpr int kPictureSize = 160;
}

InsertBlockDialog::InsertBlockDialog(Drawing& drawing, Ui& ui, const QString& blockFolder,
                                     QWidget* parent)
    : QDialog(parent), drawing_(drawing), ui_(ui), folder_(blockFolder) {
    setObjectName(QStringLiteral("frmInsert"));
    setWindowTitle(tr("Insert"));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("lstBlocks"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    picture_ = new QLabel(this);
    picture_->setObjectName(QStringLiteral("picBlock"));
    picture_->setFixedSize(kPictureSize, kPictureSize);
    picture_->setFrameShape(QFrame::Box);
    auto* browse = new QPushButton(tr("&Browse..."), this);
    browse->setObjectName(QStringLiteral("cmdBrowse"));
    browse->setToolTip(tr("Load a block from a block file"));

    auto* side = new QVBoxLayout;
    side->addWidget(picture_);
    side->addWidget(browse);
    side->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(list_, 1);
    top->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Blocks of this drawing:"), this));
    layout->addLayout(top, 1);
    layout->addWidget(okCancel(this));

    connect(browse, &QPushButton::clicked, this, &InsertBlockDialog::browse);
    connect(list_, &QListWidget::itemSelectionChanged, this, &InsertBlockDialog::showPicture);
    connect(list_, &QListWidget::itemDoubleClicked, this, &InsertBlockDialog::accept);
    reload();
}

QString InsertBlockDialog::block() const {
    const QList<QListWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void InsertBlockDialog::reload(const QString& select) {
    const QString keep = select.isEmpty() ? block() : select;
    list_->clear();
    list_->addItems(insertableBlocks(drawing_.document()));
    for (int i = 0; i < list_->count(); ++i) {
        if (list_->item(i)->text().compare(keep, Qt::CaseInsensitive) == 0) {
            list_->setCurrentRow(i);
            return;
        }
    }
    if (list_->count() > 0) list_->setCurrentRow(0);
    showPicture();
}

void InsertBlockDialog::browse() {
    FileDialogOptions options;
    options.title = tr("Select Block File");
    options.filter = QStringLiteral("DXF Files (*.dxf *.DXF)");
    options.folder = folder_;
    const std::optional<QString> path = ui_.openFile(options);
    if (!path || path->isEmpty()) return;
    try {
        reload(loadBlockFile(drawing_, *path));
    } catch (const cad::DxfError& e) {
        ui_.message(tr("The block file %1 could not be read: %2").arg(*path, e.reason()),
                    MsgButtons::Ok, MsgIcon::Warning);
    }
}

void InsertBlockDialog::accept() {
    if (block().isEmpty()) {
        ui_.beep();
        return;
    }
    QDialog::accept();
}

void InsertBlockDialog::showPicture() {
    const QString name = block();
    picture_->setPixmap(name.isEmpty()
                            ? QPixmap()
                            : QPixmap::fromImage(blockPicture(drawing_.document(), name,
                                                              QSize(kPictureSize, kPictureSize))));
}

std::optional<QString> chooseBlockToInsert(Drawing& drawing, Ui& ui, const QString& blockFolder,
                                           QWidget* parent) {
    InsertBlockDialog dialog(drawing, ui, blockFolder, parent);
    if (ui.runModal(dialog) != QDialog::Accepted) return std::nullopt;
    return dialog.block();
}

}  // namespace tolvane
