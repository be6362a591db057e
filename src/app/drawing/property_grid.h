// The property list's grid: the entries of a PropertyList as category rows with their
// entries below, name and value columns, and the value edited in place: typed in a line edit,
// chosen from a combo box, or picked in the colour and line-weight windows. An edit is handed
// to `apply` by name; what the caller shows afterwards replaces the values in place.
#pragma once

#include <QAbstractItemModel>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <functional>

#include "drawings/properties.h"

namespace tolvane {

class Ui;

class PropertyModel : public QAbstractItemModel {
    Q_OBJECT
  public:
    using QAbstractItemModel::QAbstractItemModel;

    // Shows these entries. When the names are those shown already only the values and
    // choices change, so an editor that is open or closing keeps its row.
    void setEntries(const QList<PropertyEntry>& entries);
    // The entry of a row of the value or name column; nullptr for category rows.
    const PropertyEntry* entry(const QModelIndex& index) const;

    // Writes an edited value (name, text). The entries are expected to be shown again.
    std::function<void(const QString& name, const QString& text)> apply;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    struct Category {
        QString name;
        QList<PropertyEntry> entries;
    };
    QList<Category> categories_;
    // While an edit is written: the message box of a refusal takes the focus from the editor,
    // which would hand the same text in again.
    bool applying_ = false;
    static constexpr quintptr kTop = ~quintptr(0);
};

// Opens the editor an entry asks for: a combo box of its choices or a line edit.
class PropertyDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
};

class PropertyGrid : public QTreeView {
    Q_OBJECT
  public:
    PropertyGrid(Ui& ui, QWidget* parent = nullptr);
    PropertyModel* propertyModel() const { return model_; }
    // Shows the entries, every category open.
    void setEntries(const QList<PropertyEntry>& entries);
    using QTreeView::edit;

  protected:
    // Colours and line weights are chosen in their windows instead of typed.
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

  private:
    Ui& ui_;
    PropertyModel* model_;
};

}  // namespace tolvane
