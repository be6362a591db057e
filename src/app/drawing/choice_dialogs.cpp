#include "app/drawing/choice_dialogs.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "cad/colors.h"
#include "drawings/properties.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

QPixmap swatchOf(int color, int size) {
    QPixmap p(size, size);
    p.fill(color == kSameAsLayer ? QColor(Qt::transparent) : cad::indexColor(color));
    return p;
}

}  // namespace

QDialogButtonBox* okCancel(QDialog* dialog, std::function<void()> onOk) {
    auto* buttons = new QDialogButtonBox(dialog);
    auto* ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("cmdOK"));
    auto* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    if (onOk)
        QObject::connect(ok, &QPushButton::clicked, dialog, std::move(onOk));
    else
        QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return buttons;
}

QString ColorDialog::colorText(int color) {
    return color == kSameAsLayer ? QStringLiteral("Same As Layer") : QString::number(color);
}

ColorDialog::ColorDialog(int current, QWidget* parent)
    : QDialog(parent), color_(current >= 1 && current <= 255 ? current : kSameAsLayer) {
    setObjectName(QStringLiteral("frmColor"));
    setWindowTitle(tr("Select Color"));
    auto* layout = new QVBoxLayout(this);
    // The palette: 25 columns of ten rows, as the index runs (1..255).
    auto* grid = new QGridLayout;
    grid->setSpacing(1);
    for (int i = 1; i <= 255; ++i) {
        auto* b = new QPushButton(this);
        b->setObjectName(QStringLiteral("cmdColor%1").arg(i));
        b->setFixedSize(16, 16);
        b->setFlat(true);
        b->setToolTip(QString::number(i));
        b->setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid #808080")
                             .arg(cad::indexColor(i).name()));
        connect(b, &QPushButton::clicked, this, [this, i] { pick(i); });
        grid->addWidget(b, (i - 1) % 10, (i - 1) / 10);
    }
    layout->addLayout(grid);
    auto* row = new QHBoxLayout;
    swatch_ = new QLabel(this);
    swatch_->setObjectName(QStringLiteral("lblSwatch"));
    index_ = new QLineEdit(this);
    index_->setObjectName(QStringLiteral("txtColor"));
    auto* sameAsLayer = new QPushButton(tr("Same As Layer"), this);
    sameAsLayer->setObjectName(QStringLiteral("cmdSameAsLayer"));
    connect(sameAsLayer, &QPushButton::clicked, this, [this] { pick(kSameAsLayer); });
    connect(index_, &QLineEdit::editingFinished, this, [this] {
        bool ok = false;
        const int i = index_->text().trimmed().toInt(&ok);
        if (index_->text().trimmed().compare(QLatin1String("Same As Layer"), Qt::CaseInsensitive) ==
            0)
            pick(kSameAsLayer);
        else if (ok && i >= 1 && i <= 255)
            pick(i);
        else
            index_->setText(colorText(color_));  // not a colour: the choice stays
    });
    row->addWidget(swatch_);
    row->addWidget(index_, 1);
    row->addWidget(sameAsLayer);
    layout->addLayout(row);
    layout->addWidget(okCancel(this));
    pick(color_);
}

void ColorDialog::pick(int color) {
    color_ = color;
    index_->setText(colorText(color));
    swatch_->setPixmap(swatchOf(color, 24));
}

std::optional<int> chooseColor(Ui& ui, int current, QWidget* parent) {
    ColorDialog d(current, parent);
    if (ui.runModal(d) != QDialog::Accepted) return std::nullopt;
    return d.color();
}

const QList<int>& LineWeightDialog::weights() {
    static const QList<int> list = {-1, -2, -3, 0,  5,  9,  13,  15,  18,  20,  25,  30,  35, 40,
                                    50, 53, 60, 70, 80, 90, 100, 106, 120, 140, 158, 200, 211};
    return list;
}

QString LineWeightDialog::weightText(int weight) {
    return lineWeightText(weight);
}

LineWeightDialog::LineWeightDialog(int current, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmLineWeight"));
    setWindowTitle(tr("Line Weight"));
    auto* layout = new QVBoxLayout(this);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("lstWeights"));
    for (int w : weights()) list_->addItem(weightText(w));
    const qsizetype at = weights().indexOf(current);
    list_->setCurrentRow(at < 0 ? 0 : int(at));
    layout->addWidget(list_);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    layout->addWidget(okCancel(this));
}

int LineWeightDialog::weight() const {
    const int row = list_->currentRow();
    return row >= 0 && row < weights().size() ? weights()[row] : -1;
}

std::optional<int> chooseLineWeight(Ui& ui, int current, QWidget* parent) {
    LineWeightDialog d(current, parent);
    if (ui.runModal(d) != QDialog::Accepted) return std::nullopt;
    return d.weight();
}

}  // namespace tolvane
