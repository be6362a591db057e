// Data sheets: grids over one table of a database for direct editing. One window serves every
// sheet (models, manufacturers, connectors, project cables and systems, ...): a child window of
// the main window holding the grid grdData over the sheet's query, with key and replication
// columns hidden, edits written to the sheet's table at once and refusals shown in a message
// box captioned with the program's title and the sheet's suffix (" [Equipment]").
#pragma once

#include <QHash>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

#include "db/database.h"
#include "db/records/sheet_views.h"

class QTableView;
class QMenu;

namespace tolvane {

class Ui;
class ErrorHandler;

// The sheet's rows. Only columns of the sheet's table can be edited; a value the column
// cannot take or the database refuses is reported and the row keeps its old values.
class SheetModel : public QSqlTableModel {
    Q_OBJECT
  public:
    SheetModel(const SheetDef& def, QSqlDatabase database, QObject* parent = nullptr);

    // Reads every row again; throws DbError when the database refuses the query.
    void reload();
    void setEditable(bool on) { editable_ = on; }
    bool editable() const { return editable_; }
    // The model column of a field (name compared without regard to case); -1 when none.
    int columnOf(const QString& field) const;
    QVariant value(int row, const QString& field) const;

    // Tells the user why an edit was refused (the window's message box).
    std::function<void(const QString& text)> refused;
    // Called after a row was written.
    std::function<void()> written;
    // Checks a value before it is written; false when it was refused (and said so).
    std::function<bool(const QModelIndex& index, const QVariant& value)> accepts;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // True when the edit was dealt with: written, or refused with the user told; false only
    // for a cell that cannot be edited.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  protected:
    QString selectStatement() const override;

  private:
    // The value typed, as the column's type stores it; nullopt when it does not fit.
    std::optional<QVariant> converted(int column, const QVariant& value) const;

    SheetDef def_;
    QSqlRecord tableRecord_;
    bool editable_ = false;
    mutable QHash<QString, QString> captions_;  // header captions by field
};

class DataSheetWindow : public QWidget {
    Q_OBJECT
  public:
    // Throws DbError when the sheet's query cannot be run.
    DataSheetWindow(const SheetDef& def, Ui& ui, db::Connections& registry,
                    QWidget* parent = nullptr);
    ~DataSheetWindow() override;

    const SheetDef& def() const { return def_; }
    SheetModel* model() const { return model_; }
    QTableView* grid() const { return grid_; }
    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }

    // Caption of the sheet's messages: the program's title and the sheet's suffix.
    QString caption() const;
    // Shows a message captioned for this sheet.
    void report(const QString& text);
    void reload();

    // Deletes the row (the Delete key); true when it is gone. Without it rows are not deleted.
    std::function<bool(int row)> deleteRow;
    // Shown when the sheet closes.
    QString closeNote;

    // The column layout kept in this file: restored now, saved when the sheet closes (unless
    // the file holds something this program cannot read).
    void keepLayoutIn(const QString& path);
    // Shows every column but the keys (the header menu's "Show All Columns").
    void showAllColumns();

    // The field's cells are chosen from a list that may depend on the row; a value that is
    // not in the list is refused with "ValueItemError in ColIndex: " + the column's index.
    void setChoices(const QString& field, std::function<QStringList(int row)> items);
    QStringList choices(int row, const QString& field) const;

    // Why the edit is refused by the sheet's lists or its definition's rule; empty when it is
    // taken.
    QString refusal(const QModelIndex& index, const QVariant& value) const;
    // A command on the chosen row (the selected one, else the current one): a button named
    // `name` above the grid and an entry of the rows' context menu, both disabled while no row
    // is chosen.
    void addRowAction(const QString& name, const QString& text, std::function<void(int row)> act);
    // The chosen row, -1 when none.
    int chosenRow() const;
    // Makes the row whose field holds the value the current one, scrolled into view; false
    // when no row holds it.
    bool showRow(const QString& field, const QVariant& value);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void hideKeys();
    bool isKey(int column) const;
    void deleteCurrent();
    void restoreLayout();
    void saveLayout();

    SheetDef def_;
    Ui& ui_;
    db::Connections& registry_;
    ErrorHandler* errors_ = nullptr;
    SheetModel* model_;
    QTableView* grid_;
    QMenu* headerMenu_;
    QWidget* rowBar_ = nullptr;  // the row actions' buttons
    QString layoutPath_;
    bool saveLayout_ = false;
    QHash<int, std::function<QStringList(int row)>> choices_;
    bool announcing_ = false;  // our own write is being announced
    bool reloadPending_ = false;
};

}  // namespace tolvane
