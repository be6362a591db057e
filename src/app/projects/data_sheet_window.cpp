// The data-sheet window and its model.
#include "app/projects/data_sheet_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/projects/grid_layout.h"
#include "app/shell/widget_helpers.h"
#include "db/schema.h"
#include "front/widget_driver.h"
#include "shell/error_handler.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

// Untouched columns get the same width everywhere, so that a kept layout reads the same on
// every screen.
constexpr int kColumnWidth = 100;

bool isPostgres(const QSqlDatabase& database) {
    return database.driverName() == QLatin1String("QPSQL");
}

}  // namespace

// ---- the model ----------------------------------------------------------------------------

SheetModel::SheetModel(const SheetDef& def, QSqlDatabase database, QObject* parent)
    : QSqlTableModel(parent, database), def_(def) {
    // Each edited field is written at once, as the user leaves the cell.
    setEditStrategy(OnFieldChange);
    const QString table = db::catalogName(
        isPostgres(database) ? db::Engine::PostgreSQL : db::Engine::SQLite, def.table);
    setTable(table);
    tableRecord_ = database.record(table);
}

QString SheetModel::selectStatement() const {
    QString sql = def_.select;
    // A row read back after an edit comes with its key as the filter.
    if (!filter().isEmpty()) sql += QStringLiteral(" WHERE ") + filter();
    if (!def_.orderBy.isEmpty()) sql += QStringLiteral(" ORDER BY ") + def_.orderBy;
    return sql;
}

void SheetModel::reload() {
    if (!select()) throw db::DbError(def_.db, selectStatement(), lastError().text());
    while (canFetchMore()) fetchMore();
}

int SheetModel::columnOf(const QString& field) const {
    return record().indexOf(field);
}

QVariant SheetModel::value(int row, const QString& field) const {
    const int column = columnOf(field);
    return column < 0 ? QVariant() : data(index(row, column), Qt::EditRole);
}

QVariant SheetModel::data(const QModelIndex& index, int role) const {
    const QVariant v = QSqlTableModel::data(index, role);
    // An empty field shows empty on both engines (PostgreSQL hands a typed null, which would
    // read as 0).
    if (role == Qt::DisplayRole && v.isNull()) return QVariant();
    // Grouped rows: the group's value heads its first row only.
    if (role == Qt::DisplayRole && index.row() > 0 && !def_.groupBy.isEmpty() &&
        index.column() == columnOf(def_.groupBy) &&
        QSqlTableModel::data(index.siblingAtRow(index.row() - 1), role) == v)
        return QVariant();
    return v;
}

QVariant SheetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    // Headers in words on the screen; scripts still read and address the fields by name.
    if (orientation == Qt::Horizontal && (role == Qt::DisplayRole || role == kFieldNameRole)) {
        const QString field = record().fieldName(section);
        if (field.isEmpty()) return QSqlTableModel::headerData(section, orientation, role);
        if (role == kFieldNameRole) return field;
        QString& caption = captions_[field];
        if (caption.isEmpty()) caption = fieldCaption(db::kindOf(def_.db), field);
        return caption;
    }
    return QSqlTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags SheetModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QSqlTableModel::flags(index);
    // Columns the query joins from another table (a manufacturer's name) are read only.
    const QString field = index.isValid() ? record().fieldName(index.column()) : QString();
    const bool ours = tableRecord_.contains(field);
    if (!editable_ || !ours || def_.readOnly.contains(field, Qt::CaseInsensitive))
        f &= ~Qt::ItemIsEditable;
    return f;
}

std::optional<QVariant> SheetModel::converted(int column, const QVariant& value) const {
    const QSqlField field = tableRecord_.field(record().fieldName(column));
    const int type = field.metaType().id();
    if (value.typeId() != QMetaType::QString) return value;
    const QString text = value.toString().trimmed();
    const bool empty = text.isEmpty();
    bool ok = true;
    switch (type) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong: {
            if (empty) return QVariant(QMetaType(QMetaType::LongLong));
            const qlonglong n = text.toLongLong(&ok);
            return ok ? std::optional<QVariant>(n) : std::nullopt;
        }
        case QMetaType::Double: {
            if (empty) return QVariant(QMetaType(QMetaType::Double));
            double d = QLocale::c().toDouble(text, &ok);
            if (!ok) d = QLocale().toDouble(text, &ok);
            return ok ? std::optional<QVariant>(d) : std::nullopt;
        }
        case QMetaType::Bool: {
            // The Jet spelling of true (-1) is taken too.
            const QString t = text.toLower();
            if (t == QLatin1String("1") || t == QLatin1String("-1") || t == QLatin1String("true"))
                return QVariant(true);
            if (t == QLatin1String("0") || t == QLatin1String("false") || empty)
                return QVariant(false);
            return std::nullopt;
        }
        case QMetaType::QDate:
        case QMetaType::QDateTime: {
            if (empty) return QVariant(QMetaType(type));
            const QDateTime when = QDateTime::fromString(text, Qt::ISODate);
            if (!when.isValid()) return std::nullopt;
            return type == QMetaType::QDate ? QVariant(when.date()) : QVariant(when);
        }
        default:
            return value;
    }
}

bool SheetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole) return QSqlTableModel::setData(index, value, role);
    if (!flags(index).testFlag(Qt::ItemIsEditable)) return false;
    if (accepts && !accepts(index, value)) return true;
    const std::optional<QVariant> stored = converted(index.column(), value);
    if (!stored) {
        if (refused)
            refused(QStringLiteral("%1 is not a value the column %2 can take.")
                        .arg(value.toString(), record().fieldName(index.column())));
        return true;
    }
    if (QSqlTableModel::setData(index, *stored, role)) {
        if (written) written();
        return true;
    }
    // The database refused the row: the cell shows its old value again.
    const QSqlError error = lastError();
    revertAll();
    if (refused) {
        const QString reason = error.databaseText().isEmpty() ? error.text() : error.databaseText();
        refused(QStringLiteral("The change was not saved: %1").arg(reason.trimmed()));
    }
    return true;
}

// ---- the window ---------------------------------------------------------------------------

DataSheetWindow::DataSheetWindow(const SheetDef& def, Ui& ui, db::Connections& registry,
                                 QWidget* parent)
    : QWidget(parent), def_(def), ui_(ui), registry_(registry) {
    setObjectName(def.object);
    setWindowTitle(def.title);
    setProperty("tolvaneKind", QStringLiteral("datasheet"));
    setAttribute(Qt::WA_DeleteOnClose);

    model_ = new SheetModel(def, registry.database(def.db), this);
    model_->setEditable(def.editable);
    model_->refused = [this](const QString& text) { report(text); };
    model_->accepts = [this](const QModelIndex& index, const QVariant& value) {
        const QString why = refusal(index, value);
        if (!why.isEmpty()) report(why);
        return why.isEmpty();
    };
    model_->reload();
    // Other windows learn of the sheet's writes; the sheet reads its table again when another
    // window writes it.
    model_->written = [this] {
        announcing_ = true;
        db::TableChanges::instance().notify(def_.db, def_.table);
        announcing_ = false;
    };
    connect(&db::TableChanges::instance(), &db::TableChanges::changed, this,
            [this](db::DbId id, const QString& table) {
                if (announcing_ || reloadPending_ || id != def_.db ||
                    table.compare(def_.table, Qt::CaseInsensitive) != 0)
                    return;
                reloadPending_ = true;
                QTimer::singleShot(0, this, [this] {
                    reloadPending_ = false;
                    runGuarded(errors_, "DataSheet_Refresh", [this] { model_->reload(); });
                });
            });

    grid_ = new QTableView(this);
    grid_->setObjectName(QStringLiteral("grdData"));
    grid_->setModel(model_);
    grid_->setAlternatingRowColors(true);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(
        def.editable ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed
                     : QAbstractItemView::EditTriggers(QAbstractItemView::NoEditTriggers));
    QHeaderView* header = grid_->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionsMovable(true);
    header->setDefaultSectionSize(kColumnWidth);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    grid_->installEventFilter(this);
    hideKeys();

    // The header's menu: hide the column under the mouse, or show them all again.
    headerMenu_ = new QMenu(this);
    auto* hide = new QAction(tr("Hide Column"), this);
    hide->setObjectName(QStringLiteral("mnuHideColumn"));
    auto* showAll = new QAction(tr("Show All Columns"), this);
    showAll->setObjectName(QStringLiteral("mnuShowColumns"));
    headerMenu_->addActions({hide, showAll});
    connect(showAll, &QAction::triggered, this, &DataSheetWindow::showAllColumns);
    connect(header, &QWidget::customContextMenuRequested, this, [this, header, hide](QPoint at) {
        const int column = header->logicalIndexAt(at);
        hide->setEnabled(column >= 0);
        hide->setData(column);
        headerMenu_->popup(header->viewport()->mapToGlobal(at));
    });
    connect(hide, &QAction::triggered, this, [this, hide] {
        const int column = hide->data().toInt();
        if (column >= 0) grid_->setColumnHidden(column, true);
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(grid_);
    resize(760, 420);
}

DataSheetWindow::~DataSheetWindow() = default;

void DataSheetWindow::addRowAction(const QString& name, const QString& text,
                                   std::function<void(int row)> act) {
    auto* action = new QAction(text, this);
    connect(action, &QAction::triggered, this, [this, act = std::move(act)] {
        const int row = chosenRow();
        if (row >= 0) runGuarded(errors_, "DataSheet_RowAction", [&] { act(row); });
    });
    grid_->setContextMenuPolicy(Qt::ActionsContextMenu);
    grid_->addAction(action);
    if (!rowBar_) {
        rowBar_ = new QWidget(this);
        auto* bar = new QHBoxLayout(rowBar_);
        bar->setContentsMargins(4, 2, 4, 2);
        bar->addStretch();
        static_cast<QBoxLayout*>(layout())->insertWidget(0, rowBar_);
    }
    auto* button = new QToolButton(rowBar_);
    button->setObjectName(name);
    button->setDefaultAction(action);
    auto* bar = static_cast<QHBoxLayout*>(rowBar_->layout());
    bar->insertWidget(bar->count() - 1, button);
    const auto follow = [this, action] { action->setEnabled(chosenRow() >= 0); };
    connect(grid_->selectionModel(), &QItemSelectionModel::currentChanged, action, follow);
    connect(grid_->selectionModel(), &QItemSelectionModel::selectionChanged, action, follow);
    connect(model_, &QAbstractItemModel::modelReset, action, follow);
    follow();
}

int DataSheetWindow::chosenRow() const {
    const QModelIndexList chosen = grid_->selectionModel()->selectedIndexes();
    if (!chosen.isEmpty()) return chosen.first().row();
    return grid_->currentIndex().isValid() ? grid_->currentIndex().row() : -1;
}

bool DataSheetWindow::showRow(const QString& field, const QVariant& value) {
    const int column = model_->columnOf(field);
    if (column < 0) return false;
    const QString wanted = value.toString();
    // Rows are read in pages as the grid scrolls: read on only until the row is found.
    for (int row = 0;; ++row) {
        if (row >= model_->rowCount()) {
            if (!model_->canFetchMore()) return false;
            model_->fetchMore();
            if (row >= model_->rowCount()) return false;
        }
        if (model_->value(row, field).toString() != wanted) continue;
        int shown = 0;
        while (shown < model_->columnCount() && grid_->isColumnHidden(shown)) ++shown;
        const QModelIndex at = model_->index(row, shown);
        grid_->setCurrentIndex(at);
        grid_->scrollTo(at, QAbstractItemView::PositionAtCenter);
        return true;
    }
}

QString DataSheetWindow::caption() const {
    return Ui::appTitle() + def_.suffix;
}

void DataSheetWindow::report(const QString& text) {
    ui_.message(text, MsgButtons::Ok, MsgIcon::Warning, caption());
}

bool DataSheetWindow::isKey(int column) const {
    const QString field = model_->record().fieldName(column);
    return db::isHiddenColumn(db::kindOf(def_.db), def_.table, field) ||
           def_.hidden.contains(field, Qt::CaseInsensitive);
}

void DataSheetWindow::hideKeys() {
    for (int c = 0; c < model_->columnCount(); ++c)
        if (isKey(c)) grid_->setColumnHidden(c, true);
}

void DataSheetWindow::showAllColumns() {
    for (int c = 0; c < model_->columnCount(); ++c) grid_->setColumnHidden(c, isKey(c));
}

void DataSheetWindow::reload() {
    model_->reload();
}

void DataSheetWindow::setChoices(const QString& field, std::function<QStringList(int row)> items) {
    const int column = model_->columnOf(field);
    if (column < 0) return;
    choices_.insert(column, items);
    grid_->setItemDelegateForColumn(
        column, new ListDelegate([items](const QModelIndex& i) { return items(i.row()); }, grid_));
}

QString DataSheetWindow::refusal(const QModelIndex& index, const QVariant& value) const {
    // An empty cell is no value; anything else must be one of the choices.
    const auto list = choices_.constFind(index.column());
    const QString text = value.toString();
    if (list != choices_.cend() && !text.isEmpty() && !list.value()(index.row()).contains(text))
        return QStringLiteral("ValueItemError in ColIndex: %1").arg(index.column());
    if (!def_.checkEdit) return {};
    const QSqlRecord row = model_->record(index.row());
    return def_.checkEdit(SheetEdit{registry_, row, row.fieldName(index.column()), value});
}

QStringList DataSheetWindow::choices(int row, const QString& field) const {
    const auto list = choices_.constFind(model_->columnOf(field));
    return list == choices_.cend() ? QStringList() : list.value()(row);
}

bool DataSheetWindow::eventFilter(QObject* watched, QEvent* event) {
    // While a cell is edited its editor has the keys: Delete then edits the text.
    if (watched == grid_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        runGuarded(errors_, "grdData_KeyDown", [this] { deleteCurrent(); });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void DataSheetWindow::deleteCurrent() {
    const QModelIndexList selected = grid_->selectionModel()->selectedRows();
    const int row = selected.isEmpty() ? grid_->currentIndex().row() : selected.first().row();
    if (row < 0) return;
    if (!deleteRow) {
        ui_.beep();
        return;
    }
    if (deleteRow(row)) model_->reload();
}

// ---- the column layout --------------------------------------------------------------------

void DataSheetWindow::keepLayoutIn(const QString& path) {
    layoutPath_ = path;
    restoreLayout();
}

void DataSheetWindow::restoreLayout() {
    const std::optional<GridLayout> kept = readGridLayout(layoutPath_);
    // A file that cannot be read (another program's, a newer version's) gives the default
    // layout and is not written over.
    saveLayout_ = kept.has_value() || !QFileInfo::exists(layoutPath_);
    QHeaderView* header = grid_->horizontalHeader();
    if (!kept) {
        // Until the user sets them, columns are as wide as their captions and values (within
        // reason), so no header is cut.
        constexpr int kWidest = 320;
        grid_->resizeColumnsToContents();
        for (int c = 0; c < header->count(); ++c)
            if (header->sectionSize(c) > kWidest) header->resizeSection(c, kWidest);
        return;
    }
    int position = 0;
    for (const GridColumn& c : kept->columns) {
        const int column = model_->columnOf(c.field);
        if (column < 0) continue;  // a column the table no longer has
        header->moveSection(header->visualIndex(column), position++);
        if (c.width > 0) header->resizeSection(column, c.width);
        grid_->setColumnHidden(column, c.hidden || isKey(column));
    }
}

void DataSheetWindow::saveLayout() {
    QHeaderView* header = grid_->horizontalHeader();
    GridLayout layout;
    for (int position = 0; position < header->count(); ++position) {
        const int column = header->logicalIndex(position);
        const bool hidden = header->isSectionHidden(column);
        layout.columns << GridColumn{model_->record().fieldName(column),
                                     hidden ? 0 : header->sectionSize(column), hidden};
    }
    const QString failure = writeGridLayout(layoutPath_, layout);
    if (!failure.isEmpty())
        report(QStringLiteral("The column layout could not be saved to %1: %2")
                   .arg(layoutPath_, failure));
}

void DataSheetWindow::closeEvent(QCloseEvent* event) {
    if (!layoutPath_.isEmpty() && saveLayout_)
        runGuarded(errors_, "DataSheet_Unload", [this] { saveLayout(); });
    if (!closeNote.isEmpty()) ui_.message(closeNote, MsgButtons::Ok, MsgIcon::Information);
    event->accept();
    // Closed from inside (a script's close), the frame goes with it; closed by the frame's
    // close box, the frame is closing already.
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) frame->close();
}

}  // namespace tolvane
