// The block name and tear dialogs.
#include "app/library/block_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/ui.h"

namespace tolvane {

namespace {

QPushButton* addButton(QDialogButtonBox* box, QDialogButtonBox::StandardButton which,
                       const char* name) {
    QPushButton* b = box->addButton(which);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QLabel* wrapped(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setObjectName(QStringLiteral("lblExplanation"));
    return label;
}

}  // namespace

// ---- block name -----------------------------------------------------------------------------

BlockNameDialog::BlockNameDialog(const QString& proposed, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmBlockName"));
    setWindowTitle(Ui::appTitle());
    name_ = new QComboBox;
    name_->setObjectName(QStringLiteral("cboBlockName"));
    name_->setEditable(true);
    name_->addItem(proposed);
    name_->setCurrentIndex(0);
    auto* buttons = new QDialogButtonBox;
    connect(addButton(buttons, QDialogButtonBox::Ok, "cmdOK"), &QPushButton::clicked, this,
            &QDialog::accept);
    connect(addButton(buttons, QDialogButtonBox::Cancel, "cmdCancel"), &QPushButton::clicked, this,
            &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(wrapped(explanation()));
    layout->addWidget(name_);
    layout->addWidget(buttons);
    resize(420, 160);
}

QString BlockNameDialog::explanation() {
    return Ui::appTitle() +
           QStringLiteral(
               " has generated a default block name for this unit. To use it press OK, or modify "
               "the name and then press OK.");
}

QString BlockNameDialog::name() const {
    return name_->currentText();
}

// ---- tear -----------------------------------------------------------------------------------

TearDialog::TearDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmTear"));
    setWindowTitle(tr("Tear Settings"));
    const auto box = [](const QString& caption, const char* name) {
        auto* c = new QCheckBox(caption);
        c->setObjectName(QString::fromLatin1(name));
        return c;
    };
    top_ = box(tr("Top"), "chkTop");
    left_ = box(tr("Left"), "chkLeft");
    right_ = box(tr("Right"), "chkRight");
    bottom_ = box(tr("Bottom"), "chkBottom");
    none_ = box(tr("None"), "chkNone");
    none_->setChecked(true);
    // "None" and the sides exclude each other.
    for (QCheckBox* side : {top_, left_, right_, bottom_})
        connect(side, &QCheckBox::toggled, this, [this](bool on) {
            if (on) none_->setChecked(false);
        });
    connect(none_, &QCheckBox::toggled, this, [this](bool on) {
        if (!on) return;
        for (QCheckBox* side : {top_, left_, right_, bottom_}) side->setChecked(false);
    });
    auto* buttons = new QDialogButtonBox;
    connect(addButton(buttons, QDialogButtonBox::Ok, "cmdOK"), &QPushButton::clicked, this,
            &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(wrapped(explanation()));
    for (QCheckBox* c : {top_, left_, right_, bottom_, none_}) layout->addWidget(c);
    layout->addWidget(buttons);
    resize(420, 260);
}

QString TearDialog::explanation() {
    return QStringLiteral(
        "You may choose to tear one or all sides of the block you are creating to tell the "
        "reader of the drawing that the representation of this block is only a partial view "
        "of the connections available, or in use in another part of the drawing.");
}

equipment::TearSides TearDialog::sides() const {
    return {top_->isChecked(), left_->isChecked(), right_->isChecked(), bottom_->isChecked()};
}

// ---- through the seam ---------------------------------------------------------------------

std::optional<QString> BlockDialogWindows::blockName(const QString& proposed) {
    BlockNameDialog dialog(proposed, parent_);
    if (ui_.runModal(dialog) != QDialog::Accepted) return std::nullopt;
    return dialog.name();
}

equipment::TearSides BlockDialogWindows::tearSides() {
    TearDialog dialog(parent_);
    ui_.runModal(dialog);
    // Closed without OK: the boxes as they stand.
    return dialog.sides();
}

}  // namespace tolvane
