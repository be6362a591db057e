// frmCableTypeLibrary: the cable type library. The manufacturers shown in cable types and the
// chosen one's cable types, each list with a find box that narrows it as the user types; the
// chosen type's data and its cores, whose markings a colour-coded type takes in place; the
// add and delete commands. The cable catalogue asks the questions and refuses what it must.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QList>
#include <functional>
#include <optional>

#include "equipment/cable_catalogue.h"
#include "equipment/manufacturers.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace tolvane {

class ErrorHandler;
class ManufacturerList;

// The cores of one cable type by pair number. Only a colour-coded type's markings are
// editable; an edited marking is written through the catalogue and a refused one leaves the
// row as stored.
class CableCoresModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { PairNumber = 0, Marking, ColumnCount };

    explicit CableCoresModel(equipment::CableCatalogue& catalogue, QObject* parent = nullptr);

    // The cores of the type; none for nullopt.
    void load(const std::optional<db::CableTypeRecord>& type);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  private:
    equipment::CableCatalogue& catalogue_;
    QList<db::CableCoreRecord> rows_;
    bool markingsEditable_ = false;
};

class CableTypeLibraryWindow : public QDialog {
    Q_OBJECT
  public:
    explicit CableTypeLibraryWindow(equipment::LibraryAccess access, QWidget* parent = nullptr);
    ~CableTypeLibraryWindow() override;

    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }
    // Opens the cable-types data sheet; the data-sheet button is shown only when it is set.
    std::function<void()> showDataSheet;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void reloadManufacturers();
    void reloadTypes(std::optional<qint64> select = std::nullopt);
    void showManufacturer();
    void showType();
    std::optional<db::CableTypeRecord> selectedType() const;

    void addManufacturer();
    void addCableType();
    void deleteCableType();

    equipment::LibraryAccess a_;
    equipment::CableCatalogue catalogue_;
    ErrorHandler* errors_ = nullptr;
    bool loading_ = false;
    QList<db::CableTypeRecord> typeRows_;

    ManufacturerList* makers_;
    QLabel* typesLabel_;
    QLineEdit* findType_;
    QListView* types_;
    QStandardItemModel* typeModel_;
    QLabel* typeLabel_;
    QLineEdit* description_;
    QLineEdit* cores_;
    QCheckBox* multicore_;
    QLineEdit* scheme_;
    QLineEdit* gauge_;
    QLineEdit* impedance_;
    QLineEdit* rating_;
    QLineEdit* conductors_;
    QLineEdit* shielding_;
    CableCoresModel* coreModel_;
    QTableView* coreGrid_;
    QPushButton* dataSheet_;
};

}  // namespace tolvane
