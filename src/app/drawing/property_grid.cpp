#include "app/drawing/property_grid.h"

#include <QComboBox>
#include <QFont>
#include <QHeaderView>
#include <QLineEdit>
#include <QPalette>
#include <QScopeGuard>

#include "app/drawing/choice_dialogs.h"
#include "ui/ui.h"

namespace tolvane {

// ---- model --------------------------------------------------------------------------------

void PropertyModel::setEntries(const QList<PropertyEntry>& entries) {
    QList<Category> grouped;
    for (const PropertyEntry& e : entries) {
        auto it = std::find_if(grouped.begin(), grouped.end(),
                               [&](const Category& c) { return c.name == e.category; });
        if (it == grouped.end()) {
            grouped.append({e.category, {}});
            it = grouped.end() - 1;
        }
        it->entries.append(e);
    }
    bool sameRows = grouped.size() == categories_.size();
    for (int c = 0; sameRows && c < grouped.size(); ++c) {
        sameRows = grouped[c].name == categories_[c].name &&
                   grouped[c].entries.size() == categories_[c].entries.size();
        for (int r = 0; sameRows && r < grouped[c].entries.size(); ++r)
            sameRows = grouped[c].entries[r].name == categories_[c].entries[r].name;
    }
    if (!sameRows) {
        beginResetModel();
        categories_ = grouped;
        endResetModel();
        return;
    }
    categories_ = grouped;
    for (int c = 0; c < categories_.size(); ++c) {
        const QModelIndex parent = index(c, 0);
        if (!categories_[c].entries.isEmpty())
            Q_EMIT dataChanged(index(0, 0, parent),
                               index(int(categories_[c].entries.size()) - 1, 1, parent));
    }
}

const PropertyEntry* PropertyModel::entry(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() == kTop) return nullptr;
    const int c = int(index.internalId());
    if (c < 0 || c >= categories_.size() || index.row() >= categories_[c].entries.size())
        return nullptr;
    return &categories_[c].entries[index.row()];
}

QModelIndex PropertyModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column > 1) return {};
    if (!parent.isValid())
        return row < categories_.size() ? createIndex(row, column, kTop) : QModelIndex();
    if (parent.internalId() != kTop || row >= categories_[parent.row()].entries.size()) return {};
    return createIndex(row, column, quintptr(parent.row()));
}

QModelIndex PropertyModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == kTop) return {};
    return createIndex(int(child.internalId()), 0, kTop);
}

int PropertyModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return int(categories_.size());
    if (parent.internalId() == kTop && parent.column() == 0)
        return int(categories_[parent.row()].entries.size());
    return 0;
}

int PropertyModel::columnCount(const QModelIndex&) const {
    return 2;
}

QVariant PropertyModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const PropertyEntry* e = entry(index);
    if (!e) {
        if (role == Qt::DisplayRole)
            return index.column() == 0 ? categories_[index.row()].name : QString();
        if (role == Qt::FontRole) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return index.column() == 0 ? e->name : e->value;
        case Qt::ToolTipRole:
            return e->description;
        case Qt::ForegroundRole:
            if (e->readOnly) return QPalette().brush(QPalette::Disabled, QPalette::Text);
            return {};
        default:
            return {};
    }
}

bool PropertyModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const PropertyEntry* e = entry(index);
    if (!e || role != Qt::EditRole || index.column() != 1 || e->readOnly) return false;
    const QString text = value.toString();
    // Leaving an editor unchanged (a value that reads <VARIES> among them) writes nothing.
    if (text == e->value || applying_) return true;
    // A refused value has been told to the user; the entries shown again keep the old one.
    if (apply) {
        applying_ = true;
        const auto done = qScopeGuard([this] { applying_ = false; });
        const QString name = e->name;  // the entries are replaced while it is written
        apply(name, text);
    }
    return true;
}

Qt::ItemFlags PropertyModel::flags(const QModelIndex& index) const {
    const PropertyEntry* e = entry(index);
    if (!e) return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 1 && !e->readOnly) f |= Qt::ItemIsEditable;
    return f;
}

QVariant PropertyModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section == 0 ? tr("Property") : tr("Value");
}

// ---- delegate -----------------------------------------------------------------------------

namespace {

const PropertyEntry* entryOf(const QModelIndex& index) {
    auto* model = qobject_cast<const PropertyModel*>(index.model());
    return model ? model->entry(index) : nullptr;
}

}  // namespace

QWidget* PropertyDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                        const QModelIndex& index) const {
    const PropertyEntry* e = entryOf(index);
    if (!e) return nullptr;
    if (e->editor == PropertyEditor::Choice && !e->choices.isEmpty()) {
        auto* combo = new QComboBox(parent);
        combo->setObjectName(QStringLiteral("cboPropertyValue"));
        combo->addItems(e->choices);
        combo->setFrame(false);
        // A choice made is the edit: it is written at once.
        connect(combo, &QComboBox::activated, this, [this, combo] {
            auto* self = const_cast<PropertyDelegate*>(this);
            Q_EMIT self->commitData(combo);
            Q_EMIT self->closeEditor(combo);
        });
        return combo;
    }
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("txtPropertyValue"));
    edit->setFrame(false);
    return edit;
}

void PropertyDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    const QString value = index.data(Qt::EditRole).toString();
    if (auto* combo = qobject_cast<QComboBox*>(editor))
        combo->setCurrentIndex(combo->findText(value));
    else if (auto* edit = qobject_cast<QLineEdit*>(editor))
        edit->setText(value);
}

void PropertyDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                    const QModelIndex& index) const {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        if (combo->currentIndex() >= 0) model->setData(index, combo->currentText());
    } else if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
        model->setData(index, edit->text());
    }
}

// ---- view ---------------------------------------------------------------------------------

PropertyGrid::PropertyGrid(Ui& ui, QWidget* parent)
    : QTreeView(parent), ui_(ui), model_(new PropertyModel(this)) {
    setObjectName(QStringLiteral("lstProperties"));
    setModel(model_);
    setItemDelegate(new PropertyDelegate(this));
    setAlternatingRowColors(true);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    header()->setStretchLastSection(true);
    header()->setSectionResizeMode(0, QHeaderView::Interactive);
    header()->setMinimumSectionSize(40);
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        for (int c = 0; c < model_->rowCount(); ++c) setFirstColumnSpanned(c, QModelIndex(), true);
        expandAll();
        // The names whole, with a gap before the values.
        resizeColumnToContents(0);
        setColumnWidth(0, columnWidth(0) + fontMetrics().averageCharWidth() * 2);
    });
}

void PropertyGrid::setEntries(const QList<PropertyEntry>& entries) {
    model_->setEntries(entries);
}

bool PropertyGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    const PropertyEntry* e = model_->entry(index);
    if (!e) return QTreeView::edit(index, trigger, event);
    const QModelIndex value = index.siblingAtColumn(1);
    // Edits start on the value whichever column was clicked.
    if (index.column() != 1) return edit(value, trigger, event);
    const bool window =
        e->editor == PropertyEditor::Color || e->editor == PropertyEditor::LineWeight;
    if (!window || e->readOnly) return QTreeView::edit(index, trigger, event);
    // A character typed does not open a window; a double-click, F2 or edit() does.
    if (trigger == AnyKeyPressed || trigger == CurrentChanged) return false;
    std::optional<QString> chosen;
    if (e->editor == PropertyEditor::Color) {
        if (const std::optional<int> c =
                chooseColor(ui_, parseColorValue(e->value).value_or(kSameAsLayer), this))
            chosen = colorValueText(*c);
    } else if (const std::optional<int> w =
                   chooseLineWeight(ui_, parseLineWeight(e->value).value_or(-1), this)) {
        chosen = lineWeightText(*w);
    }
    if (chosen) model_->setData(value, *chosen);
    return false;
}

}  // namespace tolvane
