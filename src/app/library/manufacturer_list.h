// The manufacturer list of a library window with its find box (txtFindManufacturer,
// lstManufacturers): the manufacturers shown in one part of the library whose names begin with
// the find text. A reload keeps the chosen manufacturer while it is still listed.
#pragma once

#include <QList>
#include <QObject>
#include <functional>
#include <optional>

#include "equipment/manufacturers.h"

class QLineEdit;
class QListView;
class QStandardItemModel;
class QWidget;

namespace tolvane {

class ManufacturerList : public QObject {
  public:
    // The controls are made here as children of owner, which places them in its layout.
    ManufacturerList(equipment::LibraryAccess access, equipment::ShownIn shownIn, QWidget* owner);

    QLineEdit* findBox() const { return find_; }
    QListView* list() const { return list_; }

    // typed runs when the find text changes; picked when the user chooses another
    // manufacturer. The changes a reload makes to the choice are not reported.
    void onChange(std::function<void()> typed, std::function<void()> picked);

    // Lists the manufacturers matching the find text again.
    void reload();
    std::optional<db::ManufacturerRecord> selected() const;
    // Makes the manufacturer with this id the current one, when the list shows it.
    void select(const QString& id);

  private:
    equipment::Manufacturers manufacturers_;
    equipment::ShownIn shownIn_;
    bool loading_ = false;
    QList<db::ManufacturerRecord> rows_;
    QLineEdit* find_;
    QStandardItemModel* model_;
    QListView* list_;
};

}  // namespace tolvane
