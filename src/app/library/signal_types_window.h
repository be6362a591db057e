// frmSignalTypes: the signal types window. A grid over the signal types with the colour drawn
// as a swatch and chosen through the colour dialog, the default cable manufacturer and part
// number offered as lists, and the add and delete commands. Every write goes through the
// cable catalogue, which asks the questions and refuses what it must.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QList>
#include <optional>

#include "equipment/cable_catalogue.h"
#include "equipment/manufacturers.h"

class QLineEdit;
class QTableView;

namespace tolvane {

class ErrorHandler;

// The signal types as a table model; an edited cell is written through the catalogue and a
// refused edit leaves the row as it was.
class SignalTypesModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { Type = 0, Color, CableNoPrefix, CableManu, CableType, ColumnCount };

    explicit SignalTypesModel(equipment::CableCatalogue& catalogue, QObject* parent = nullptr);

    void reload();
    std::optional<db::SignalTypeRecord> row(int r) const;
    int rowOf(const QString& type) const;
    // Writes the row changed as given; false when the catalogue refused it.
    bool write(int r, const db::SignalTypeRecord& changed);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  private:
    equipment::CableCatalogue& catalogue_;
    QList<db::SignalTypeRecord> rows_;
};

class SignalTypesWindow : public QDialog {
    Q_OBJECT
  public:
    explicit SignalTypesWindow(equipment::LibraryAccess access, QWidget* parent = nullptr);
    ~SignalTypesWindow() override;

    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }

  private:
    int currentRow() const;
    void chooseColor();
    void addSignalType();
    void deleteSignalType();
    // Asks for a cable-type manufacturer and opens the add-cable-type window for it.
    void addCableTypes();
    void select(int row);
    // The lists the manufacturer and cable-type cells offer.
    QStringList manufacturerNames();
    QStringList partNumbers(const QModelIndex& index);

    equipment::LibraryAccess a_;
    equipment::CableCatalogue catalogue_;
    equipment::Manufacturers manufacturers_;
    ErrorHandler* errors_ = nullptr;
    SignalTypesModel* model_;
    QTableView* grid_;
    QLineEdit* name_;
};

}  // namespace tolvane
