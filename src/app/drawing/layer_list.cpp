// The layer list of the layers toolbar.
#include "app/drawing/layer_list.h"

#include <QAbstractItemView>
#include <QMouseEvent>
#include <QStandardItemModel>

#include "app/drawing/drawing_window.h"
#include "cad/document.h"
#include "drawings/layers.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

// The check of a layer's on/off in the list's popup: a click on it turns the layer on or off
// and leaves the list open; a click on the name chooses the layer (the combo box's own
// handling).
class LayerCheckClicks : public QObject {
  public:
    LayerCheckClicks(QComboBox* list, std::function<void(int row)> toggled)
        : QObject(list), list_(list), toggled_(std::move(toggled)) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonRelease &&
            event->type() != QEvent::MouseButtonPress)
            return false;
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QModelIndex at = list_->view()->indexAt(mouse->position().toPoint());
        const QRect item = list_->view()->visualRect(at);
        if (!at.isValid() || mouse->position().x() > item.left() + item.height()) return false;
        if (event->type() == QEvent::MouseButtonRelease) toggled_(at.row());
        return true;
    }

  private:
    QComboBox* list_;
    std::function<void(int row)> toggled_;
};

}  // namespace

LayerList::LayerList(Ui& ui, QWidget* parent) : QComboBox(parent), ui_(ui) {
    setObjectName(QStringLiteral("cboLayer"));
    setToolTip(tr("Current layer; the check turns a layer on or off"));
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    setMinimumContentsLength(12);
    setModel(new QStandardItemModel(this));
    view()->viewport()->installEventFilter(new LayerCheckClicks(this, [this](int row) {
        const auto* items = static_cast<QStandardItemModel*>(model());
        if (const QStandardItem* item = items->item(row))
            switched(row, item->checkState() != Qt::Checked);
    }));
    connect(this, &QComboBox::activated, this, [this](int row) { chosen(row); });
    setEnabled(false);
}

void LayerList::follow(DrawingWindow* window) {
    if (window != of_) {
        disconnect(follow_);
        of_ = window;
        if (window)
            follow_ =
                connect(&window->drawing(), &Drawing::contentChanged, this, [this] { reload(); });
    }
    reload();
}

void LayerList::reload() {
    auto* items = static_cast<QStandardItemModel*>(model());
    const QSignalBlocker quiet(this);
    items->clear();
    setEnabled(of_ != nullptr);
    if (!of_) return;
    const LayerTable table = layerTable(of_->drawing());
    for (const cad::Layer& l : table.layers) {
        auto* item = new QStandardItem(l.name);
        item->setCheckable(true);
        item->setCheckState(l.on ? Qt::Checked : Qt::Unchecked);
        item->setToolTip(l.on ? tr("On") : tr("Off"));
        items->appendRow(item);
        if (cad::sameName(l.name, table.current)) setCurrentIndex(items->rowCount() - 1);
    }
}

void LayerList::chosen(int row) {
    Drawing* d = of_ ? &of_->drawing() : nullptr;
    if (!d || row < 0) return;
    LayerTable table = layerTable(*d);
    if (row >= table.layers.size()) return;
    table.current = table.layers[row].name;
    if (const QString why = applyLayerTable(*d, table); !why.isEmpty())
        ui_.message(why, MsgButtons::Ok, MsgIcon::Warning);
    else
        ui_.status(QStringLiteral("Current Layer: ") + table.current);
    reload();
}

void LayerList::switched(int row, bool on) {
    Drawing* d = of_ ? &of_->drawing() : nullptr;
    if (!d || row < 0) return;
    LayerTable table = layerTable(*d);
    if (row >= table.layers.size()) return;
    table.layers[row].on = on;
    if (const QString why = applyLayerTable(*d, table); !why.isEmpty())
        ui_.message(why, MsgButtons::Ok, MsgIcon::Warning);
    reload();
}

}  // namespace tolvane
