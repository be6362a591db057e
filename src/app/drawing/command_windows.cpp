#include "app/drawing/command_windows.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "app/drawing/choice_dialogs.h"
#include "app/shell/widget_helpers.h"
#include "ui/ui.h"

namespace tolvane {

AttributeEditor::AttributeEditor(const QList<AttributeRow>& rows, QWidget* parent)
    : QDialog(parent), rows_(rows) {
    setObjectName(QStringLiteral("frmEditAttributes"));
    setWindowTitle(tr("Edit Attributes"));
    grid_ = named(new QTableWidget(int(rows.size()), 2), "grdAttributes");
    grid_->setHorizontalHeaderLabels({tr("Tag"), tr("Value")});
    grid_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    grid_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    grid_->verticalHeader()->setVisible(false);
    for (int r = 0; r < rows.size(); ++r) {
        auto* tag = new QTableWidgetItem(rows[r].tag);
        tag->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        auto* value = new QTableWidgetItem(rows[r].value);
        if (rows[r].readOnly) {
            value->setFlags(Qt::ItemIsSelectable);  // shown greyed, not editable
            value->setToolTip(tr("Read Only attributes cannot be changed"));
        }
        grid_->setItem(r, 0, tag);
        grid_->setItem(r, 1, value);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addWidget(okCancel(this));
    resize(460, std::min(600, 120 + 30 * int(rows.size())));
}

QList<AttributeRow> AttributeEditor::rows() const {
    QList<AttributeRow> out = rows_;
    for (int r = 0; r < out.size(); ++r)
        if (!out[r].readOnly) out[r].value = grid_->item(r, 1)->text();
    return out;
}

ArrayWindow::ArrayWindow(Ui& ui, QWidget* parent) : QDialog(parent), ui_(ui) {
    setObjectName(QStringLiteral("frmArray"));
    setWindowTitle(tr("Array"));
    rectangular_ = named(new QRadioButton(tr("Rectangular array")), "optRectangular");
    polar_ = named(new QRadioButton(tr("Polar array")), "optPolar");
    rectangular_->setChecked(true);
    const auto edit = [](const char* name, const QString& text) {
        auto* e = named(new QLineEdit(text), name);
        e->setMaximumWidth(120);
        return e;
    };
    rows_ = edit("txtRows", QStringLiteral("1"));
    columns_ = edit("txtColumns", QStringLiteral("4"));
    rowSpacing_ = edit("txtRowSpacing", QStringLiteral("1"));
    columnSpacing_ = edit("txtColumnSpacing", QStringLiteral("1"));
    count_ = edit("txtCount", QStringLiteral("4"));
    angle_ = edit("txtAngle", QStringLiteral("360"));
    rotate_ = named(new QCheckBox(tr("Rotate items as copied")), "chkRotate");
    rotate_->setChecked(true);
    auto* form = new QFormLayout;
    form->addRow(rectangular_);
    form->addRow(tr("Rows:"), rows_);
    form->addRow(tr("Columns:"), columns_);
    form->addRow(tr("Row offset:"), rowSpacing_);
    form->addRow(tr("Column offset:"), columnSpacing_);
    form->addRow(polar_);
    form->addRow(tr("Total number of items:"), count_);
    form->addRow(tr("Angle to fill (degrees):"), angle_);
    form->addRow(rotate_);
    connect(rectangular_, &QRadioButton::toggled, this, [this] { updateEnabled(); });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(okCancel(this, [this] { ok(); }));
    updateEnabled();
}

void ArrayWindow::updateEnabled() {
    const bool polar = polar_->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(rows_), static_cast<QWidget*>(columns_),
                       static_cast<QWidget*>(rowSpacing_), static_cast<QWidget*>(columnSpacing_)})
        w->setEnabled(!polar);
    for (QWidget* w : {static_cast<QWidget*>(count_), static_cast<QWidget*>(angle_),
                       static_cast<QWidget*>(rotate_)})
        w->setEnabled(polar);
}

void ArrayWindow::ok() {
    // The first field that is wrong gets the focus and is named.
    const auto whole = [this](QLineEdit* e, const QString& what, int least, int* out) {
        bool ok = false;
        *out = e->text().trimmed().toInt(&ok);
        if (ok && *out >= least) return true;
        ui_.message(tr("%1 must be a whole number of at least %2.").arg(what).arg(least),
                    MsgButtons::Ok, MsgIcon::Warning);
        e->setFocus();
        return false;
    };
    const auto real = [this](QLineEdit* e, const QString& what, double* out) {
        bool ok = false;
        *out = e->text().trimmed().toDouble(&ok);
        if (ok && std::isfinite(*out)) return true;
        ui_.message(tr("%1 must be a number.").arg(what), MsgButtons::Ok, MsgIcon::Warning);
        e->setFocus();
        return false;
    };
    ArrayChoice c;
    c.polar = polar_->isChecked();
    if (c.polar) {
        if (!whole(count_, tr("The number of items"), 2, &c.count) ||
            !real(angle_, tr("The angle to fill"), &c.angle))
            return;
        c.rotateItems = rotate_->isChecked();
    } else if (!whole(rows_, tr("Rows"), 1, &c.rows) ||
               !whole(columns_, tr("Columns"), 1, &c.columns) ||
               !real(rowSpacing_, tr("The row offset"), &c.rowSpacing) ||
               !real(columnSpacing_, tr("The column offset"), &c.columnSpacing)) {
        return;
    }
    choice_ = c;
    accept();
}

CommandWindows commandWindows(Ui& ui, QWidget* parent) {
    CommandWindows w;
    w.editAttributes = [&ui, parent](QList<AttributeRow>& rows) {
        AttributeEditor editor(rows, parent);
        if (ui.runModal(editor) != QDialog::Accepted) return false;
        rows = editor.rows();
        return true;
    };
    w.array = [&ui, parent]() -> std::optional<ArrayChoice> {
        ArrayWindow window(ui, parent);
        if (ui.runModal(window) != QDialog::Accepted) return std::nullopt;
        return window.choice();
    };
    return w;
}

}  // namespace tolvane
