// The signal types window, its table model and the delegates of its colour and list cells.
#include "app/library/signal_types_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <utility>

#include "app/drawing/choice_dialogs.h"
#include "app/library/add_cable_type_dialog.h"
#include "app/shell/widget_helpers.h"
#include "cad/colors.h"
#include "front/widget_driver.h"
#include "shell/error_handler.h"
#include "ui/ui.h"

namespace tolvane {

using namespace equipment;

namespace {

const QString kTitle = QStringLiteral("Signal Types");

// The colour choice's value for a signal type's colour, and back.
int choiceOf(const db::SignalColor& c) {
    return c.index == 0 ? kSameAsLayer : c.index;
}
db::SignalColor colorOf(int choice) {
    return db::SignalColor{choice == kSameAsLayer ? 0 : choice};
}

// Draws the colour cell as a swatch of the palette colour beside its number; "Same As Layer"
// has no swatch.
class ColorSwatchDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const std::optional<db::SignalColor> c = db::SignalColor::parse(index.data().toString());
        if (!c || c->index == 0) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem text = option;
        // The swatch is as high as a line of text, whatever the row height, so that the
        // width the size hint asks for holds it and the colour number.
        const int side = std::min(option.rect.height() - 6, option.fontMetrics.height());
        const QRect swatch(option.rect.left() + 3, option.rect.top() + 3, side, side);
        text.rect.setLeft(swatch.right() + 4);
        painter->save();
        if (option.state.testFlag(QStyle::State_Selected))
            painter->fillRect(option.rect, option.palette.highlight());
        painter->fillRect(swatch, cad::indexColor(c->index));
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawRect(swatch);
        painter->restore();
        QStyledItemDelegate::paint(painter, text, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.rwidth() += option.fontMetrics.height() + 8;
        return s;
    }
};

}  // namespace

// ---- the model ----------------------------------------------------------------------------

SignalTypesModel::SignalTypesModel(CableCatalogue& catalogue, QObject* parent)
    : QAbstractTableModel(parent), catalogue_(catalogue) {}

void SignalTypesModel::reload() {
    beginResetModel();
    rows_ = catalogue_.signalTypes();
    endResetModel();
}

std::optional<db::SignalTypeRecord> SignalTypesModel::row(int r) const {
    if (r < 0 || r >= rows_.size()) return std::nullopt;
    return rows_[r];
}

int SignalTypesModel::rowOf(const QString& type) const {
    for (int r = 0; r < rows_.size(); ++r)
        if (rows_[r].type.compare(type, Qt::CaseInsensitive) == 0) return r;
    return -1;
}

bool SignalTypesModel::write(int r, const db::SignalTypeRecord& changed) {
    if (r < 0 || r >= rows_.size()) return false;
    db::SignalTypeRecord stored = changed;
    stored.key = rows_[r].key;
    if (!catalogue_.updateSignalType(stored)) return false;
    // Read back what was stored (the catalogue trims the name).
    rows_[r] = catalogue_.signalType(changed.type.trimmed()).value_or(stored);
    emit dataChanged(index(r, 0), index(r, ColumnCount - 1));
    return true;
}

int SignalTypesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int SignalTypesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SignalTypesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size()) return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
    const db::SignalTypeRecord& s = rows_[index.row()];
    switch (index.column()) {
        case Type:
            return s.type;
        case Color:
            return s.color.text();
        case CableNoPrefix:
            return s.cableNoPrefix;
        case CableManu:
            return s.cableManu;
        case CableType:
            return s.cableType;
        default:
            return {};
    }
}

QVariant SignalTypesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != kFieldNameRole))
        return QAbstractTableModel::headerData(section, orientation, role);
    // The table's own field names, shown in words.
    static const QStringList names = {QStringLiteral("Type"), QStringLiteral("Color"),
                                      QStringLiteral("CableNoPrefix"), QStringLiteral("CableManu"),
                                      QStringLiteral("CableType")};
    if (section < 0 || section >= names.size()) return {};
    return role == kFieldNameRole ? names[section] : fieldCaption(names[section]);
}

Qt::ItemFlags SignalTypesModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    // The colour is chosen through the colour dialog, not typed.
    if (index.isValid() && index.column() != Color) f |= Qt::ItemIsEditable;
    return f;
}

bool SignalTypesModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.column() == Color) return false;
    std::optional<db::SignalTypeRecord> s = row(index.row());
    if (!s) return false;
    const QString text = value.toString();
    switch (index.column()) {
        case Type:
            s->type = text;
            break;
        case CableNoPrefix:
            s->cableNoPrefix = text;
            break;
        case CableManu:
            s->cableManu = text;
            break;
        case CableType:
            s->cableType = text;
            break;
        default:
            return false;
    }
    return write(index.row(), *s);
}

// ---- the window ---------------------------------------------------------------------------

SignalTypesWindow::SignalTypesWindow(LibraryAccess access, QWidget* parent)
    : QDialog(parent), a_(access), catalogue_(access), manufacturers_(access) {
    setObjectName(QStringLiteral("frmSignalTypes"));
    setWindowTitle(kTitle);

    model_ = new SignalTypesModel(catalogue_, this);
    grid_ = named(new QTableView, "grdSignalTypes");
    grid_->setModel(model_);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::SelectedClicked);
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setStretchLastSection(true);
    grid_->setItemDelegateForColumn(SignalTypesModel::Color, new ColorSwatchDelegate(grid_));
    grid_->setItemDelegateForColumn(
        SignalTypesModel::CableManu,
        new ListDelegate([this](const QModelIndex&) { return manufacturerNames(); }, grid_));
    grid_->setItemDelegateForColumn(
        SignalTypesModel::CableType,
        new ListDelegate([this](const QModelIndex& i) { return partNumbers(i); }, grid_));
    connect(grid_, &QTableView::doubleClicked, this, [this](const QModelIndex& i) {
        if (i.column() == SignalTypesModel::Color) chooseColor();
    });

    auto* color = namedButton("cmdColor", tr("Color..."));
    connect(color, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "SignalTypes.cmdColor", [this] { chooseColor(); }); });
    name_ = named(new QLineEdit, "txtSignalType");
    auto* add = namedButton("cmdAdd", tr("Add"));
    connect(add, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "SignalTypes.cmdAdd", [this] { addSignalType(); }); });
    auto* remove = namedButton("cmdDelete", tr("Delete"));
    connect(remove, &QPushButton::clicked, this, [this] {
        runGuarded(errors_, "SignalTypes.cmdDelete", [this] { deleteSignalType(); });
    });
    auto* addCableType = namedButton("cmdAddCableType", tr("Add Cable Types..."));
    connect(addCableType, &QPushButton::clicked, this, [this] {
        runGuarded(errors_, "SignalTypes.cmdAddCableType", [this] { addCableTypes(); });
    });
    auto* close = namedButton("cmdClose", tr("Close"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel(tr("New Signal Type:")));
    buttons->addWidget(name_, 1);
    buttons->addWidget(add);
    buttons->addSpacing(12);
    buttons->addWidget(color);
    buttons->addWidget(remove);
    buttons->addWidget(addCableType);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(buttons);

    runGuarded(errors_, "SignalTypes.Load", [this] { model_->reload(); });
    grid_->resizeColumnsToContents();
    resize(760, 480);
}

SignalTypesWindow::~SignalTypesWindow() = default;

int SignalTypesWindow::currentRow() const {
    const QModelIndexList rows = grid_->selectionModel()->selectedRows();
    if (!rows.isEmpty()) return rows.first().row();
    return grid_->currentIndex().row();
}

void SignalTypesWindow::select(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    grid_->selectRow(row);
}

void SignalTypesWindow::chooseColor() {
    const int r = currentRow();
    std::optional<db::SignalTypeRecord> s = model_->row(r);
    if (!s) {
        a_.ui.message(QStringLiteral("Select a Signal Type first."), MsgButtons::Ok,
                      MsgIcon::Information, kTitle);
        return;
    }
    const std::optional<int> chosen = tolvane::chooseColor(a_.ui, choiceOf(s->color), this);
    if (!chosen) return;
    s->color = colorOf(*chosen);
    model_->write(r, *s);
}

void SignalTypesWindow::addSignalType() {
    db::SignalTypeRecord s;
    s.type = name_->text();
    if (!catalogue_.addSignalType(s)) return;
    name_->clear();
    model_->reload();
    select(model_->rowOf(s.type.trimmed()));
}

void SignalTypesWindow::deleteSignalType() {
    const std::optional<db::SignalTypeRecord> s = model_->row(currentRow());
    if (!s) {
        a_.ui.message(QStringLiteral("Select a Signal Type first."), MsgButtons::Ok,
                      MsgIcon::Information, kTitle);
        return;
    }
    if (!catalogue_.removeSignalType(*s)) return;
    model_->reload();
}

void SignalTypesWindow::addCableTypes() {
    const QList<db::ManufacturerRecord> makers = manufacturers_.list({}, ShownIn::CableTypes);
    QStringList names;
    for (const db::ManufacturerRecord& m : makers) names << m.name;
    const std::optional<int> chosen = a_.ui.choose(QStringLiteral("Add Cable Types"), names);
    if (!chosen || *chosen < 0 || *chosen >= makers.size()) return;
    AddCableTypeDialog dialog(a_, makers[*chosen], this);
    a_.ui.runModal(dialog);
}

QStringList SignalTypesWindow::manufacturerNames() {
    QStringList names;
    for (const db::ManufacturerRecord& m : manufacturers_.list({}, ShownIn::CableTypes))
        names << m.name;
    return names;
}

QStringList SignalTypesWindow::partNumbers(const QModelIndex& index) {
    const std::optional<db::SignalTypeRecord> s = model_->row(index.row());
    QStringList parts;
    if (!s) return parts;
    for (const db::ManufacturerRecord& m : manufacturers_.list({}, ShownIn::CableTypes)) {
        if (m.name != s->cableManu) continue;
        for (const db::CableTypeRecord& c : catalogue_.cableTypes(m.id)) parts << c.partNumber;
        break;
    }
    return parts;
}

}  // namespace tolvane
