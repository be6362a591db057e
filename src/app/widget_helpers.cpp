// Builders for named controls.
#include "app/widget_helpers.h"

#include <QComboBox>
#include <QListView>
#include <QPushButton>
#include <QStandardItemModel>

namespace tolvane {

QPushButton* namedButton(const char* name, const QString& caption) {
    auto* b = named(new QPushButton(caption), name);
    b->setAutoDefault(false);
    return b;
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
