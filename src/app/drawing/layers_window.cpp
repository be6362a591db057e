#include "app/drawing/layers_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/shell/widget_helpers.h"
#include "drawings/drawing.h"
#include "shell/error_handler.h"
#include "ui/ui.h"

namespace tolvane {

namespace {
enum Column { Name, Color, On, Frozen, Locked, Columns };

QTableWidgetItem* check(bool on) {
    auto* item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    return item;
}
}  // namespace

LayersWindow::LayersWindow(Ui& ui, Drawing& drawing, QWidget* parent)
    : QDialog(parent), ui_(ui), drawing_(drawing), original_(layerTable(drawing)) {
    setObjectName(QStringLiteral("frmLayers"));
    setWindowTitle(tr("Layers"));
    current_ = original_.current;
    grid_ = named(new QTableWidget(0, Columns), "grdLayers");
    grid_->setHorizontalHeaderLabels(
        {tr("Name"), tr("Color"), tr("On"), tr("Frozen"), tr("Locked")});
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    grid_->horizontalHeader()->setSectionResizeMode(Name, QHeaderView::Stretch);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    currentLabel_ = named(new QLabel, "lblCurrent");
    QPushButton* add = namedButton("cmdNew", tr("New Layer"));
    QPushButton* current = namedButton("cmdCurrent", tr("Set Current"));
    QPushButton* okButton = namedButton("cmdOK", tr("OK"));
    QPushButton* cancel = namedButton("cmdCancel", tr("Cancel"));
    okButton->setDefault(true);
    connect(add, &QPushButton::clicked, this, [this] { addLayer(); });
    connect(current, &QPushButton::clicked, this, [this] { makeCurrent(); });
    connect(okButton, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "frmLayers.cmdOK", [this] { ok(); }); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(current);
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(currentLabel_);
    layout->addWidget(grid_, 1);
    layout->addLayout(buttons);
    fill();
    resize(520, 380);
}

void LayersWindow::fill() {
    grid_->setRowCount(0);
    for (const cad::Layer& l : original_.layers) {
        const int r = grid_->rowCount();
        grid_->insertRow(r);
        auto* name = new QTableWidgetItem(l.name);
        name->setFlags(name->flags() & ~Qt::ItemIsEditable);  // a layer keeps its name
        grid_->setItem(r, Name, name);
        grid_->setItem(r, Color, new QTableWidgetItem(QString::number(l.color)));
        grid_->setItem(r, On, check(l.on));
        grid_->setItem(r, Frozen, check(l.frozen));
        grid_->setItem(r, Locked, check(l.locked));
    }
    currentLabel_->setText(tr("Current Layer: ") + current_);
}

void LayersWindow::addLayer() {
    const int r = grid_->rowCount();
    grid_->insertRow(r);
    grid_->setItem(r, Name, new QTableWidgetItem(tr("Layer%1").arg(r)));
    grid_->setItem(r, Color, new QTableWidgetItem(QStringLiteral("7")));
    grid_->setItem(r, On, check(true));
    grid_->setItem(r, Frozen, check(false));
    grid_->setItem(r, Locked, check(false));
    grid_->setCurrentCell(r, Name);
}

void LayersWindow::makeCurrent() {
    const int r = grid_->currentRow();
    if (r < 0) return ui_.beep();
    current_ = grid_->item(r, Name)->text().trimmed();
    currentLabel_->setText(tr("Current Layer: ") + current_);
}

LayerTable LayersWindow::table() const {
    LayerTable t;
    t.current = current_;
    for (int r = 0; r < grid_->rowCount(); ++r) {
        cad::Layer l;
        if (r < original_.layers.size()) l = original_.layers[r];  // line type kept
        l.name = grid_->item(r, Name)->text().trimmed();
        bool ok = false;
        const int color = grid_->item(r, Color)->text().trimmed().toInt(&ok);
        l.color = ok ? color : -1;
        l.on = grid_->item(r, On)->checkState() == Qt::Checked;
        l.frozen = grid_->item(r, Frozen)->checkState() == Qt::Checked;
        l.locked = grid_->item(r, Locked)->checkState() == Qt::Checked;
        t.layers << l;
    }
    return t;
}

void LayersWindow::ok() {
    const LayerTable t = table();
    for (const cad::Layer& l : t.layers)
        if (l.color < 1 || l.color > 255) {
            ui_.message(tr("The colour of layer %1 must be a number from 1 to 255.").arg(l.name),
                        MsgButtons::Ok, MsgIcon::Warning);
            return;
        }
    if (const QString why = applyLayerTable(drawing_, t); !why.isEmpty()) {
        ui_.message(why, MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    accept();
}

LayoutsWindow::LayoutsWindow(Ui& ui, Drawing& drawing, QWidget* parent)
    : QDialog(parent), ui_(ui), drawing_(drawing) {
    setObjectName(QStringLiteral("frmLayouts"));
    setWindowTitle(tr("Layouts"));
    list_ = named(new QListWidget, "lstLayouts");
    QPushButton* add = namedButton("cmdNew", tr("New..."));
    QPushButton* rename = namedButton("cmdRename", tr("Rename..."));
    QPushButton* remove = namedButton("cmdDelete", tr("Delete"));
    QPushButton* close = namedButton("cmdClose", tr("Close"));
    connect(add, &QPushButton::clicked, this, [this] { addOne(); });
    connect(rename, &QPushButton::clicked, this, [this] { renameOne(); });
    connect(remove, &QPushButton::clicked, this, [this] { removeOne(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(rename);
    buttons->addWidget(remove);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    fill(drawing.space().name);
    resize(380, 260);
}

void LayoutsWindow::fill(const QString& current) {
    list_->clear();
    for (const cad::Space& s : drawing_.document().layouts()) list_->addItem(s.name);
    const QList<QListWidgetItem*> found = list_->findItems(current, Qt::MatchFixedString);
    list_->setCurrentRow(found.isEmpty() ? 0 : list_->row(found.first()));
}

QString LayoutsWindow::chosen() const {
    const QListWidgetItem* item = list_->currentItem();
    return item ? item->text() : QString();
}

void LayoutsWindow::addOne() {
    const std::optional<QString> name =
        ui_.input(tr("New Layout"), tr("Layout name:"), tr("Layout%1").arg(list_->count() + 1));
    if (!name) return;
    if (const QString why = addLayout(drawing_, *name); !why.isEmpty())
        ui_.message(why, MsgButtons::Ok, MsgIcon::Warning);
    else
        fill(name->trimmed());
}

void LayoutsWindow::renameOne() {
    const QString from = chosen();
    if (from.isEmpty()) return ui_.beep();
    const std::optional<QString> name = ui_.input(tr("Rename Layout"), tr("New name:"), from);
    if (!name) return;
    if (const QString why = renameLayout(drawing_, from, *name); !why.isEmpty())
        ui_.message(why, MsgButtons::Ok, MsgIcon::Warning);
    else
        fill(name->trimmed());
}

void LayoutsWindow::removeOne() {
    const QString name = chosen();
    if (name.isEmpty()) return ui_.beep();
    if (ui_.message(tr("Delete the layout %1 and everything drawn on it?").arg(name),
                    MsgButtons::YesNo, MsgIcon::Question) != MsgButton::Yes)
        return;
    removeLayout(drawing_, name);
    fill();
}

}  // namespace tolvane
