// Drives and reads the controls of a window by object name for batch scripts. Every change
// goes through the same doors a user's keyboard and mouse would: a control the user cannot
// reach (disabled, hidden, read-only) is refused with a message that names it.
#include "front/widget_driver.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSet>
#include <QSpinBox>
#include <QSqlError>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QToolBar>
#include <QTreeView>
#include <QValidator>
#include <algorithm>
#include <cmath>
#include <optional>

namespace tolvane {

namespace {

QString windowLabel(const QWidget* window) {
    return window->windowTitle().isEmpty() ? window->objectName() : window->windowTitle();
}

// Hidden as its own window sees it: a top-level window is hidden when it is not shown, any
// other widget when it would stay invisible with its window shown (hidden itself, on a tab
// page that is not current, inside a collapsed parent...).
bool isHiddenInWindow(const QWidget* w) {
    return w->isWindow() ? w->isHidden() : !w->isVisibleTo(w->window());
}

bool isShownIn(const QObject* o, const QWidget* window) {
    if (auto* a = qobject_cast<const QAction*>(o)) return a->isVisible();
    auto* w = static_cast<const QWidget*>(o);
    return w == window ? !w->isHidden() : w->isVisibleTo(window);
}

// The widget must be one a user could operate now.
void requireUsable(const QWidget* w, const QString& name) {
    if (!w->isEnabled()) throw DriverError(QStringLiteral("%1 is disabled").arg(name));
    if (isHiddenInWindow(w)) throw DriverError(QStringLiteral("%1 is hidden").arg(name));
}

void requireUsable(const QAction* a, const QString& name) {
    if (!a->isEnabled()) throw DriverError(QStringLiteral("%1 is disabled").arg(name));
    if (!a->isVisible()) throw DriverError(QStringLiteral("%1 is hidden").arg(name));
}

// The tab widget whose page `w` is, or nullptr.
QTabWidget* tabWidgetOfPage(QWidget* w) {
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(p))
            return tabs->indexOf(w) >= 0 ? tabs : nullptr;
    }
    return nullptr;
}

QString boolText(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

// Parses VALUE as a check state: 1 or 0.
bool checkValue(const QString& name, const QString& value) {
    if (value == QLatin1String("1")) return true;
    if (value == QLatin1String("0")) return false;
    throw DriverError(QStringLiteral("%1 takes 1 or 0, not %2").arg(name, value));
}

double numberValue(const QString& name, const QString& value, const QLocale& locale) {
    bool ok = false;
    double number = QLocale::c().toDouble(value.trimmed(), &ok);
    if (!ok) number = locale.toDouble(value.trimmed(), &ok);
    if (!ok || !std::isfinite(number))
        throw DriverError(QStringLiteral("%1 takes a number, not %2").arg(name, value));
    return number;
}

void setLineEdit(QLineEdit* edit, const QString& name, const QString& value) {
    if (edit->isReadOnly()) throw DriverError(QStringLiteral("%1 is read-only").arg(name));
    if (const QValidator* validator = edit->validator()) {
        QString text = value;
        int pos = 0;
        if (validator->validate(text, pos) != QValidator::Acceptable)
            throw DriverError(QStringLiteral("%1 does not take %2").arg(name, value));
    }
    edit->setText(value);
    Q_EMIT edit->editingFinished();
}

void setComboBox(QComboBox* combo, const QString& name, const QString& value) {
    int index = -1;
    for (int i = 0; i < combo->count() && index < 0; ++i)
        if (combo->itemText(i) == value) index = i;
    for (int i = 0; i < combo->count() && index < 0; ++i)
        if (combo->itemText(i).compare(value, Qt::CaseInsensitive) == 0) index = i;
    if (index >= 0) {
        const QModelIndex item =
            combo->model()->index(index, combo->modelColumn(), combo->rootModelIndex());
        if (!(combo->model()->flags(item) & Qt::ItemIsEnabled))
            throw DriverError(QStringLiteral("item %1 in %2 is disabled").arg(value, name));
        combo->setCurrentIndex(index);
        Q_EMIT combo->activated(index);
        Q_EMIT combo->textActivated(combo->itemText(index));
        return;
    }
    if (combo->isEditable() && combo->lineEdit()) {
        setLineEdit(combo->lineEdit(), name, value);
        return;
    }
    throw DriverError(QStringLiteral("no item %1 in %2").arg(value, name));
}

QAbstractItemView* itemView(QWidget* window, const QString& name) {
    auto* view = qobject_cast<QAbstractItemView*>(WidgetDriver::find(window, name));
    if (!view || !view->model())
        throw DriverError(QStringLiteral("%1 is not a grid or list").arg(name));
    return view;
}

bool isColumnHiddenIn(const QAbstractItemView* view, int column) {
    if (auto* table = qobject_cast<const QTableView*>(view)) return table->isColumnHidden(column);
    if (auto* tree = qobject_cast<const QTreeView*>(view)) return tree->isColumnHidden(column);
    return false;
}

// The rows a script sees, in order: the rows of a table or list; every node of a tree, depth
// first, each with its depth (trees print their children indented).
struct ViewRow {
    QModelIndex index;  // column 0 of the row
    int depth = 0;
};

void collectRows(const QAbstractItemModel* model, const QModelIndex& parent, int depth, bool tree,
                 QList<ViewRow>& out) {
    for (int r = 0; r < model->rowCount(parent); ++r) {
        const QModelIndex index = model->index(r, 0, parent);
        out.append({index, depth});
        if (tree) collectRows(model, index, depth + 1, tree, out);
    }
}

QList<ViewRow> rowsOf(const QAbstractItemView* view) {
    QList<ViewRow> rows;
    collectRows(view->model(), view->rootIndex(), 0,
                qobject_cast<const QTreeView*>(view) != nullptr, rows);
    return rows;
}

int rowCountOf(const QAbstractItemView* view) {
    return int(rowsOf(view).size());
}

void requireRow(const QAbstractItemView* view, const QString& name, int row) {
    const int count = rowCountOf(view);
    if (row < 1 || row > count)
        throw DriverError(QStringLiteral("row %1 is out of range: %2 has %3 rows")
                              .arg(QString::number(row), name, QString::number(count)));
}

// The view's model down its proxies to the model that holds the data.
QAbstractItemModel* sourceModelOf(QAbstractItemModel* model) {
    while (auto* proxy = qobject_cast<QAbstractProxyModel*>(model)) {
        if (!proxy->sourceModel()) break;
        model = proxy->sourceModel();
    }
    return model;
}

QModelIndex toSource(QModelIndex index) {
    while (auto* proxy = qobject_cast<const QAbstractProxyModel*>(index.model())) {
        if (!proxy->sourceModel()) break;
        index = proxy->mapToSource(index);
    }
    return index;
}

// Maps a source index up through the proxies of `top` to an index of `top`.
QModelIndex fromSource(QAbstractItemModel* top, const QModelIndex& source) {
    if (top == source.model()) return source;
    auto* proxy = qobject_cast<QAbstractProxyModel*>(top);
    if (!proxy || !proxy->sourceModel()) return {};
    const QModelIndex below = fromSource(proxy->sourceModel(), source);
    return below.isValid() ? proxy->mapFromSource(below) : QModelIndex();
}

// The column whose header gives `column` as its field name (kFieldNameRole) or, failing
// that, as its caption; exact letter case first. -1 when none does.
int headerColumn(const QAbstractItemModel* model, int columns, const QString& column) {
    for (const int role : {kFieldNameRole, int(Qt::DisplayRole)}) {
        for (const Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
            for (int c = 0; c < columns; ++c) {
                if (model->headerData(c, Qt::Horizontal, role).toString().compare(column, cs) == 0)
                    return c;
            }
        }
    }
    return -1;
}

// The cell of a row (`first`: its cell in column 0, a node of a tree at any depth) whose
// column header reads `column` or, for database models, whose field is named `column`.
// Invalid when there is no such column.
QModelIndex cellIndex(const QAbstractItemView* view, const QModelIndex& first,
                      const QString& column) {
    QAbstractItemModel* model = view->model();
    const QModelIndex root = view->rootIndex();
    if (const int c = headerColumn(model, model->columnCount(root), column); c >= 0)
        return model->index(first.row(), c, first.parent());
    auto* sql = qobject_cast<QSqlQueryModel*>(sourceModelOf(model));
    if (!sql) return {};
    const int field = sql->record().indexOf(column);
    if (field < 0) return {};
    const QModelIndex source = toSource(first);
    if (source.model() != sql) return {};
    return fromSource(model, sql->index(source.row(), field));
}

// The model column whose header reads `column` or, for database models, whose field is named
// `column`; -1 when there is none.
int columnIndex(const QAbstractItemView* view, const QString& column) {
    const QAbstractItemModel* model = view->model();
    const int columns = model->columnCount(view->rootIndex());
    if (const int c = headerColumn(model, columns, column); c >= 0) return c;
    // Only a table model straight over the database keeps its fields in column order.
    if (auto* sql = qobject_cast<const QSqlQueryModel*>(model))
        return sql->record().indexOf(column);
    return -1;
}

// The model columns of a view in the order they are shown.
QList<int> shownColumns(const QAbstractItemView* view) {
    QList<int> columns;
    const int count = view->model()->columnCount(view->rootIndex());
    const auto* table = qobject_cast<const QTableView*>(view);
    for (int position = 0; position < count; ++position) {
        const int c = table ? table->horizontalHeader()->logicalIndex(position) : position;
        if (!isColumnHiddenIn(view, c)) columns.append(c);
    }
    return columns;
}

QString cellText(const QModelIndex& index) {
    const QVariant display = index.data(Qt::DisplayRole);
    if (display.isValid()) return display.toString();
    const QVariant check = index.data(Qt::CheckStateRole);
    if (check.isValid()) return boolText(check.value<Qt::CheckState>() == Qt::Checked);
    return {};
}

// The value `print` shows for a widget; nullopt for widgets it cannot read.
std::optional<QString> widgetValue(const QWidget* w) {
    if (auto* edit = qobject_cast<const QLineEdit*>(w)) return edit->text();
    if (auto* label = qobject_cast<const QLabel*>(w)) return label->text();
    if (auto* combo = qobject_cast<const QComboBox*>(w)) return combo->currentText();
    if (auto* spin = qobject_cast<const QAbstractSpinBox*>(w)) return spin->text();
    if (auto* edit = qobject_cast<const QPlainTextEdit*>(w)) return edit->toPlainText();
    if (auto* edit = qobject_cast<const QTextEdit*>(w)) return edit->toPlainText();
    if (qobject_cast<const QCheckBox*>(w) || qobject_cast<const QRadioButton*>(w))
        return boolText(static_cast<const QAbstractButton*>(w)->isChecked());
    if (auto* button = qobject_cast<const QAbstractButton*>(w)) return button->text();
    if (auto* tabs = qobject_cast<const QTabWidget*>(w)) return tabs->tabText(tabs->currentIndex());
    if (auto* bar = qobject_cast<const QTabBar*>(w)) {
        // Every tab, the current one marked: "Model | *Sheet A".
        QStringList tabs;
        for (int i = 0; i < bar->count(); ++i)
            tabs << (i == bar->currentIndex() ? QStringLiteral("*") : QString()) + bar->tabText(i);
        return tabs.join(QStringLiteral(" | "));
    }
    if (auto* group = qobject_cast<const QGroupBox*>(w)) return group->title();
    if (auto* menu = qobject_cast<const QMenu*>(w)) return menu->title();
    if (auto* view = qobject_cast<const QAbstractItemView*>(w))
        return view->model() ? QString::number(rowCountOf(view)) : QStringLiteral("0");
    if (qobject_cast<const QDockWidget*>(w) || qobject_cast<const QToolBar*>(w) || w->isWindow())
        return w->windowTitle();
    return std::nullopt;
}

// Adds the actions shown in `w` and, through sub-menus, in the menus it opens, that are not
// children of the window (an action may belong to another object and only be shown here).
void collectActions(const QWidget* w, const QString& name, QSet<const QWidget*>& seen,
                    QList<QObject*>& found) {
    if (seen.contains(w)) return;
    seen.insert(w);
    for (QAction* a : w->actions()) {
        if (a->objectName() == name && !found.contains(a)) found.append(a);
        if (QMenu* sub = a->menu()) collectActions(sub, name, seen, found);
    }
}

}  // namespace

QObject* WidgetDriver::find(QWidget* window, const QString& name) {
    QList<QObject*> found;
    if (window->objectName() == name) found.append(window);
    for (QObject* o : window->findChildren<QObject*>(name)) {
        if ((o->isWidgetType() || qobject_cast<QAction*>(o)) && !found.contains(o)) found.append(o);
    }
    QSet<const QWidget*> seen;
    collectActions(window, name, seen, found);
    for (const QWidget* w : window->findChildren<QWidget*>()) collectActions(w, name, seen, found);

    if (found.isEmpty())
        throw DriverError(QStringLiteral("no control %1 in %2").arg(name, windowLabel(window)));
    for (QObject* o : found)
        if (isShownIn(o, window)) return o;
    return found.first();
}

void WidgetDriver::set(QWidget* window, const QString& name, const QString& value) {
    QObject* o = find(window, name);
    auto* w = qobject_cast<QWidget*>(o);
    if (!w) throw DriverError(QStringLiteral("%1 cannot be set").arg(name));
    requireUsable(w, name);

    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        setLineEdit(edit, name, value);
    } else if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
        if (edit->isReadOnly()) throw DriverError(QStringLiteral("%1 is read-only").arg(name));
        edit->setPlainText(value);
    } else if (auto* edit = qobject_cast<QTextEdit*>(w)) {
        if (edit->isReadOnly()) throw DriverError(QStringLiteral("%1 is read-only").arg(name));
        edit->setPlainText(value);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        setComboBox(combo, name, value);
    } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
        check->setChecked(checkValue(name, value));
    } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
        if (value != QLatin1String("1"))
            throw DriverError(QStringLiteral("%1 takes only 1: an option is deselected by "
                                             "choosing another")
                                  .arg(name));
        radio->setChecked(true);
    } else if (auto* spin = qobject_cast<QSpinBox*>(w)) {
        const double number = numberValue(name, value, spin->locale());
        if (number != std::floor(number))
            throw DriverError(QStringLiteral("%1 takes a whole number, not %2").arg(name, value));
        // Beyond its range the box keeps its nearest value, as setValue does.
        spin->setValue(
            static_cast<int>(std::clamp(number, double(spin->minimum()), double(spin->maximum()))));
        Q_EMIT spin->editingFinished();
    } else if (auto* spin = qobject_cast<QDoubleSpinBox*>(w)) {
        spin->setValue(numberValue(name, value, spin->locale()));
        Q_EMIT spin->editingFinished();
    } else if (auto* bar = qobject_cast<QTabBar*>(w)) {
        for (int i = 0; i < bar->count(); ++i) {
            if (bar->tabText(i) == value) return bar->setCurrentIndex(i);
        }
        throw DriverError(QStringLiteral("%1 has no tab %2").arg(name, value));
    } else {
        throw DriverError(QStringLiteral("%1 cannot be set").arg(name));
    }
}

void WidgetDriver::click(QWidget* window, const QString& name) {
    QObject* o = find(window, name);
    if (auto* action = qobject_cast<QAction*>(o)) {
        requireUsable(action, name);
        action->trigger();
        return;
    }
    auto* w = static_cast<QWidget*>(o);
    if (QTabWidget* tabs = tabWidgetOfPage(w)) {
        const int index = tabs->indexOf(w);
        requireUsable(tabs, name);
        if (!tabs->isTabEnabled(index))
            throw DriverError(QStringLiteral("%1 is disabled").arg(name));
        if (!tabs->isTabVisible(index)) throw DriverError(QStringLiteral("%1 is hidden").arg(name));
        tabs->setCurrentIndex(index);
        return;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        requireUsable(button, name);
        button->click();
        return;
    }
    throw DriverError(QStringLiteral("%1 cannot be clicked").arg(name));
}

void WidgetDriver::selectRows(QWidget* window, const QString& name, const QList<int>& rows) {
    QAbstractItemView* view = itemView(window, name);
    requireUsable(view, name);
    QItemSelectionModel* selection = view->selectionModel();
    if (!selection || view->selectionMode() == QAbstractItemView::NoSelection)
        throw DriverError(QStringLiteral("rows of %1 cannot be selected").arg(name));
    if (rows.size() > 1 && view->selectionMode() == QAbstractItemView::SingleSelection)
        throw DriverError(QStringLiteral("only one row of %1 can be selected").arg(name));
    for (int row : rows) requireRow(view, name, row);

    if (rows.isEmpty()) {
        selection->clearSelection();
        return;
    }
    QAbstractItemModel* model = view->model();
    const QModelIndex root = view->rootIndex();
    int column = 0;
    while (column + 1 < model->columnCount(root) && isColumnHiddenIn(view, column)) ++column;
    const QList<ViewRow> all = rowsOf(view);
    const auto at = [&](int row) {
        const QModelIndex first = all[row - 1].index;
        return model->index(first.row(), column, first.parent());
    };
    Q_UNUSED(root);
    for (int i = 0; i < rows.size(); ++i) {
        const auto command =
            i == 0 ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::Select;
        selection->select(at(rows[i]), command | QItemSelectionModel::Rows);
    }
    selection->setCurrentIndex(at(rows.first()), QItemSelectionModel::NoUpdate);
    // As a user's click would, the list takes the focus: a following key acts on it.
    view->setFocus(Qt::OtherFocusReason);
}

void WidgetDriver::editCell(QWidget* window, const QString& name, int row, const QString& column,
                            const QString& value) {
    QAbstractItemView* view = itemView(window, name);
    requireUsable(view, name);
    requireRow(view, name, row);
    // Rows are numbered as print-grid numbers them: the nodes of a tree depth first.
    const QModelIndex index = cellIndex(view, rowsOf(view)[row - 1].index, column);
    if (!index.isValid() || isColumnHiddenIn(view, index.column()))
        throw DriverError(QStringLiteral("no column %1 in %2").arg(column, name));

    const QString where =
        QStringLiteral("cell %1 %2 of %3").arg(QString::number(row), column, name);
    QAbstractItemModel* model = view->model();
    const Qt::ItemFlags flags = model->flags(index);
    const bool checkOnly =
        !index.data(Qt::DisplayRole).isValid() && index.data(Qt::CheckStateRole).isValid();
    const bool editable =
        checkOnly ? flags.testFlag(Qt::ItemIsUserCheckable) : flags.testFlag(Qt::ItemIsEditable);
    if (view->editTriggers() == QAbstractItemView::NoEditTriggers || !editable ||
        !flags.testFlag(Qt::ItemIsEnabled))
        throw DriverError(QStringLiteral("%1 is read-only").arg(where));

    const bool stored =
        checkOnly ? model->setData(index, checkValue(where, value) ? Qt::Checked : Qt::Unchecked,
                                   Qt::CheckStateRole)
                  : model->setData(index, value, Qt::EditRole);
    auto* table = qobject_cast<QSqlTableModel*>(sourceModelOf(model));
    const auto databaseReason = [table] {
        return table && table->lastError().isValid()
                   ? QStringLiteral(": ") + table->lastError().text()
                   : QString();
    };
    if (!stored)
        throw DriverError(QStringLiteral("%1 refused %2%3").arg(where, value, databaseReason()));
    // Finishing an edit submits it the way the view does when its editor closes; a table
    // saved by hand keeps the change pending until its window saves.
    if (table && table->editStrategy() == QSqlTableModel::OnManualSubmit) return;
    if (!model->submit())
        throw DriverError(QStringLiteral("%1 could not be saved%2").arg(where, databaseReason()));
}

void WidgetDriver::arrangeColumn(QWidget* window, const QString& name, const QString& column,
                                 const QString& action) {
    QAbstractItemView* view = itemView(window, name);
    requireUsable(view, name);
    auto* table = qobject_cast<QTableView*>(view);
    if (!table) throw DriverError(QStringLiteral("%1 has no columns to arrange").arg(name));
    const int c = columnIndex(view, column);
    if (c < 0 || table->isColumnHidden(c))
        throw DriverError(QStringLiteral("no column %1 in %2").arg(column, name));
    QHeaderView* header = table->horizontalHeader();
    const QStringList words = action.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString verb = words.value(0);
    if (verb == QLatin1String("hide") && words.size() == 1) {
        table->setColumnHidden(c, true);
        return;
    }
    bool ok = false;
    const int n = words.value(1).toInt(&ok);
    if (words.size() != 2 || !ok)
        throw DriverError(
            QStringLiteral("column takes hide, width N or move N; found: %1").arg(action));
    if (verb == QLatin1String("width")) {
        if (header->sectionResizeMode(c) != QHeaderView::Interactive)
            throw DriverError(
                QStringLiteral("column %1 of %2 cannot be resized").arg(column, name));
        if (n < header->minimumSectionSize() || n > header->maximumSectionSize())
            throw DriverError(QStringLiteral("column %1 of %2 cannot be %3 wide")
                                  .arg(column, name, QString::number(n)));
        header->resizeSection(c, n);
    } else if (verb == QLatin1String("move")) {
        if (!header->sectionsMovable())
            throw DriverError(QStringLiteral("the columns of %1 cannot be moved").arg(name));
        const QList<int> shown = shownColumns(view);
        if (n < 1 || n > shown.size())
            throw DriverError(QStringLiteral("place %1 is out of range: %2 shows %3 columns")
                                  .arg(QString::number(n), name, QString::number(shown.size())));
        header->moveSection(header->visualIndex(c), header->visualIndex(shown[n - 1]));
    } else {
        throw DriverError(
            QStringLiteral("column takes hide, width N or move N; found: %1").arg(action));
    }
}

QString WidgetDriver::printField(QWidget* window, const QString& name) {
    QObject* o = find(window, name);
    QString value;
    bool disabled = false;
    bool hidden = false;
    if (auto* action = qobject_cast<QAction*>(o)) {
        value = action->isCheckable() ? boolText(action->isChecked()) : action->text();
        disabled = !action->isEnabled();
        hidden = !action->isVisible();
    } else {
        auto* w = static_cast<QWidget*>(o);
        const std::optional<QString> read = widgetValue(w);
        if (!read) throw DriverError(QStringLiteral("%1 cannot be printed").arg(name));
        value = *read;
        disabled = !w->isEnabled();
        if (auto* menu = qobject_cast<QMenu*>(w)) {
            // A menu is a popup window, closed until opened: its entry decides.
            disabled = disabled || !menu->menuAction()->isEnabled();
            hidden = !menu->menuAction()->isVisible();
        } else {
            hidden = isHiddenInWindow(w);
        }
    }
    QString line = QStringLiteral("FIELD %1 = %2").arg(name, value);
    if (disabled) line += QStringLiteral(" [disabled]");
    if (hidden) line += QStringLiteral(" [hidden]");
    return line;
}

QStringList WidgetDriver::printGrid(QWidget* window, const QString& name) {
    const QAbstractItemView* view = itemView(window, name);
    const QAbstractItemModel* model = view->model();
    const QList<int> columns = shownColumns(view);

    QStringList headers;
    for (int c : columns) {
        const QVariant field = model->headerData(c, Qt::Horizontal, kFieldNameRole);
        headers.append(field.isValid()
                           ? field.toString()
                           : model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
    }
    QStringList lines{QStringLiteral("COLUMNS ") + headers.join(QStringLiteral(" | "))};
    const QList<ViewRow> rows = rowsOf(view);
    for (int r = 0; r < rows.size(); ++r) {
        QStringList cells;
        const QModelIndex first = rows[r].index;
        for (int c : columns) cells.append(cellText(model->index(first.row(), c, first.parent())));
        if (!cells.isEmpty()) cells[0].prepend(QString(2 * rows[r].depth, QLatin1Char(' ')));
        lines.append(QStringLiteral("ROW %1: ").arg(r + 1) + cells.join(QStringLiteral(" | ")));
    }
    return lines;
}

}  // namespace tolvane
