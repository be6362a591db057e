// Builders for named controls.
#include "app/widget_helpers.h"

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

}  // namespace tolvane
