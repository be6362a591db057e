#include "app/library/physical_data_form.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>

#include "app/shell/widget_helpers.h"

namespace tolvane {

namespace {

QComboBox* unitList(const char* name, const QStringList& items) {
    auto* c = named(new QComboBox, name);
    c->addItems(items);
    c->setCurrentIndex(-1);
    return c;
}

// Shows value in a list of fixed entries; a stored value the list lacks is added to it.
void showInList(QComboBox* list, const QString& value) {
    if (value.isEmpty()) {
        list->setCurrentIndex(-1);
        return;
    }
    int i = list->findText(value, Qt::MatchFixedString);
    if (i < 0) {
        list->addItem(value);
        i = list->count() - 1;
    }
    list->setCurrentIndex(i);
}

}  // namespace

PhysicalDataForm::PhysicalDataForm(QWidget* parent) : QWidget(parent) {
    height_ = named(new QLineEdit, "txtHeight");
    heightUnit_ = unitList("cboHeightUnit", {QStringLiteral("RU"), QStringLiteral("in")});
    width_ = named(new QLineEdit, "txtWidth");
    depth_ = named(new QLineEdit, "txtDepth");
    weight_ = named(new QLineEdit, "txtWeight");
    v_ = named(new QLineEdit, "txtV");
    vUnit_ = unitList("cboVUnit", {QStringLiteral("VAC"), QStringLiteral("VDC")});
    p_ = named(new QLineEdit, "txtP");
    auto* heightRow = new QHBoxLayout;
    heightRow->addWidget(height_);
    heightRow->addWidget(heightUnit_);
    auto* vRow = new QHBoxLayout;
    vRow->addWidget(v_);
    vRow->addWidget(vUnit_);
    auto* form = new QFormLayout(this);
    form->addRow(tr("Height:"), heightRow);
    form->addRow(tr("Width:"), width_);
    form->addRow(tr("Depth:"), depth_);
    form->addRow(tr("Weight:"), weight_);
    form->addRow(tr("V:"), vRow);
    form->addRow(tr("P:"), p_);
    for (QLineEdit* field : {height_, width_, depth_, weight_, v_, p_})
        connect(field, &QLineEdit::editingFinished, this, &PhysicalDataForm::edited);
    for (QComboBox* unit : {heightUnit_, vUnit_})
        connect(unit, &QComboBox::activated, this, &PhysicalDataForm::edited);
}

void PhysicalDataForm::showData(const equipment::PhysicalData& data) {
    height_->setText(data.height);
    width_->setText(data.width);
    depth_->setText(data.depth);
    weight_->setText(data.weight);
    v_->setText(data.v);
    p_->setText(data.p);
    showInList(heightUnit_, data.heightUnit);
    showInList(vUnit_, data.vUnit);
}

equipment::PhysicalData PhysicalDataForm::data() const {
    equipment::PhysicalData d;
    d.height = height_->text();
    d.width = width_->text();
    d.depth = depth_->text();
    d.weight = weight_->text();
    d.v = v_->text();
    d.p = p_->text();
    d.heightUnit = heightUnit_->currentText();
    d.vUnit = vUnit_->currentText();
    return d;
}

}  // namespace tolvane
