// The manufacturer list with its find box.
#include "app/library/manufacturer_list.h"

#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QScopedValueRollback>
#include <QStandardItemModel>

#include "app/shell/widget_helpers.h"

namespace tolvane {

using namespace equipment;

ManufacturerList::ManufacturerList(LibraryAccess access, ShownIn shownIn, QWidget* owner)
    : QObject(owner), manufacturers_(std::move(access)), shownIn_(shownIn) {
    find_ = named(new QLineEdit(owner), "txtFindManufacturer");
    model_ = new QStandardItemModel(this);
    model_->setHorizontalHeaderLabels({QStringLiteral("ManufacturerName")});
    list_ = itemList("lstManufacturers", model_);
    list_->setParent(owner);
}

void ManufacturerList::onChange(std::function<void()> typed, std::function<void()> picked) {
    connect(find_, &QLineEdit::textChanged, this, [typed = std::move(typed)] { typed(); });
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this, picked = std::move(picked)] {
                if (!loading_) picked();
            });
}

void ManufacturerList::reload() {
    const std::optional<db::ManufacturerRecord> before = selected();
    QScopedValueRollback<bool> quiet(loading_, true);
    rows_ = manufacturers_.list(find_->text(), shownIn_);
    model_->removeRows(0, model_->rowCount());
    for (const db::ManufacturerRecord& m : rows_) model_->appendRow(new QStandardItem(m.name));
    for (int i = 0; before && i < rows_.size(); ++i)
        if (rows_[i].id == before->id) list_->setCurrentIndex(model_->index(i, 0));
}

void ManufacturerList::select(const QString& id) {
    QScopedValueRollback<bool> quiet(loading_, true);
    for (int i = 0; i < rows_.size(); ++i)
        if (rows_[i].id == id) list_->setCurrentIndex(model_->index(i, 0));
}

std::optional<db::ManufacturerRecord> ManufacturerList::selected() const {
    const int row = list_->currentIndex().row();
    if (row < 0 || row >= rows_.size()) return std::nullopt;
    return rows_[row];
}

}  // namespace tolvane
