// Builders for named controls.
#include "app/widget_helpers.h"

#include <QComboBox>
#include <QListView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStandardItemModel>

namespace tolvane {

QPushButton* namedButton(const char* name, const QString& caption) {
    auto* b = named(new QPushButton(caption), name);
    b->setAutoDefault(false);
    return b;
}

void showChild(QMdiArea& area, QMdiSubWindow* child) {
    QList<QMdiSubWindow*> others;
    bool maximised = false;
    for (QMdiSubWindow* w : area.subWindowList()) {
        if (w == child || !w->isVisible()) continue;
        others << w;
        maximised = maximised || w->isMaximized();
    }
    if (others.isEmpty() || maximised) {
        child->showMaximized();
        return;
    }
    const QSize room = area.viewport()->size();
    constexpr int kStep = 28;  // about a title bar
    const int offset = kStep * int(others.size() % 8);
    child->resize(std::max(320, room.width() * 4 / 5), std::max(240, room.height() * 4 / 5));
    child->move(offset, offset);
    child->showNormal();
}

QListView* itemList(const char* name, QStandardItemModel* model) {
    auto* list = named(new QListView, name);
    list->setModel(model);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return list;
}

QWidget* ListDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                    const QModelIndex& index) const {
    auto* combo = new QComboBox(parent);
    combo->addItems(items_(index));
    return combo;
}

void ListDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* combo = static_cast<QComboBox*>(editor);
    combo->setCurrentIndex(combo->findText(index.data().toString()));
}

void ListDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                const QModelIndex& index) const {
    const QString text = static_cast<QComboBox*>(editor)->currentText();
    if (text != index.data().toString()) model->setData(index, text);
}

}  // namespace tolvane
