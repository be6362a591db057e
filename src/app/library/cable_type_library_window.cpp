// The cable type library window and the table model of its cores.
#include "app/library/cable_type_library_window.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include "app/library/add_cable_type_dialog.h"
#include "app/library/equipment_library_window.h"
#include "app/library/manufacturer_list.h"
#include "app/shell/widget_helpers.h"
#include "front/widget_driver.h"
#include "shell/error_handler.h"
#include "ui/ui.h"

namespace tolvane {

using namespace equipment;

namespace {

const QString kTitle = QStringLiteral("Cable Type Library");

// A field that shows a value of the chosen type; the library window does not edit types.
QLineEdit* shownField(const char* name) {
    auto* e = named(new QLineEdit, name);
    e->setReadOnly(true);
    return e;
}

}  // namespace

// ---- the cores ----------------------------------------------------------------------------

CableCoresModel::CableCoresModel(CableCatalogue& catalogue, QObject* parent)
    : QAbstractTableModel(parent), catalogue_(catalogue) {}

void CableCoresModel::load(const std::optional<db::CableTypeRecord>& type) {
    beginResetModel();
    rows_ = type ? catalogue_.cores(type->id) : QList<db::CableCoreRecord>();
    // A numbered type's markings are the core numbers themselves.
    markingsEditable_ = type && type->scheme == QLatin1String(db::kColorCodedScheme);
    endResetModel();
}

int CableCoresModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int CableCoresModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CableCoresModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size()) return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
    const db::CableCoreRecord& c = rows_[index.row()];
    return index.column() == PairNumber ? c.numberText() : c.marking;
}

QVariant CableCoresModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != kFieldNameRole))
        return QAbstractTableModel::headerData(section, orientation, role);
    // The table's own field names, shown in words.
    const QString field = section == PairNumber ? QStringLiteral("PairNumber")
                          : section == Marking  ? QStringLiteral("paircolorcode")
                                                : QString();
    if (field.isEmpty()) return {};
    return role == kFieldNameRole ? field : fieldCaption(field);
}

Qt::ItemFlags CableCoresModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == Marking && markingsEditable_) f |= Qt::ItemIsEditable;
    return f;
}

bool CableCoresModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.column() != Marking ||
        !markingsEditable_ || index.row() >= rows_.size())
        return false;
    db::CableCoreRecord& c = rows_[index.row()];
    if (!catalogue_.setCoreMarking(c.id, value.toString())) return false;
    // The catalogue stores the marking trimmed.
    c.marking = value.toString().trimmed();
    emit dataChanged(index, index);
    return true;
}

// ---- the window ---------------------------------------------------------------------------

CableTypeLibraryWindow::CableTypeLibraryWindow(LibraryAccess access, QWidget* parent)
    : QDialog(parent), a_(access), catalogue_(access) {
    setObjectName(QStringLiteral("frmCableTypeLibrary"));
    setWindowTitle(kTitle);

    makers_ = new ManufacturerList(access, ShownIn::CableTypes, this);
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(tr("Manufacturers:")));
    left->addWidget(makers_->findBox());
    left->addWidget(makers_->list(), 1);

    typesLabel_ = named(new QLabel, "lblCableTypes");
    findType_ = named(new QLineEdit, "txtFindCableType");
    typeModel_ = new QStandardItemModel(this);
    typeModel_->setHorizontalHeaderLabels({QStringLiteral("CableType")});
    types_ = itemList("lstCableTypes", typeModel_);
    auto* middle = new QVBoxLayout;
    middle->addWidget(typesLabel_);
    middle->addWidget(findType_);
    middle->addWidget(types_, 1);

    typeLabel_ = named(new QLabel, "lblCableType");
    description_ = shownField("txtDescription");
    cores_ = shownField("txtCores");
    multicore_ = named(new QCheckBox(tr("Multicore")), "chkMulticore");
    // Shows the flag; the user cannot change it here.
    multicore_->setAttribute(Qt::WA_TransparentForMouseEvents);
    multicore_->setFocusPolicy(Qt::NoFocus);
    scheme_ = shownField("txtScheme");
    gauge_ = shownField("txtGauge");
    impedance_ = shownField("txtImpedance");
    rating_ = shownField("txtRating");
    conductors_ = shownField("txtConductors");
    shielding_ = shownField("txtShielding");
    auto* form = new QFormLayout;
    form->addRow(tr("Description:"), description_);
    form->addRow(tr("Cores:"), cores_);
    form->addRow(QString(), multicore_);
    form->addRow(tr("Core Scheme:"), scheme_);
    form->addRow(tr("Gauge:"), gauge_);
    form->addRow(tr("Impedance:"), impedance_);
    form->addRow(tr("Rating:"), rating_);
    form->addRow(tr("Conductors:"), conductors_);
    form->addRow(tr("Shielding:"), shielding_);

    coreModel_ = new CableCoresModel(catalogue_, this);
    coreGrid_ = named(new QTableView, "grdCores");
    coreGrid_->setModel(coreModel_);
    coreGrid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    coreGrid_->setSelectionMode(QAbstractItemView::SingleSelection);
    coreGrid_->setEditTriggers(QAbstractItemView::DoubleClicked |
                               QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::SelectedClicked);
    coreGrid_->verticalHeader()->hide();
    coreGrid_->horizontalHeader()->setStretchLastSection(true);

    auto* right = new QVBoxLayout;
    right->addWidget(typeLabel_);
    right->addLayout(form);
    right->addWidget(new QLabel(tr("Cores:")));
    right->addWidget(coreGrid_, 1);

    auto* addMaker = namedButton("cmdAddManufacturer", tr("Add Manufacturer..."));
    connect(addMaker, &QPushButton::clicked, this, [this] {
        runGuarded(errors_, "CableTypes.cmdAddManufacturer", [this] { addManufacturer(); });
    });
    auto* add = namedButton("cmdAddCableType", tr("Add Cable Type..."));
    connect(add, &QPushButton::clicked, this, [this] {
        runGuarded(errors_, "CableTypes.cmdAddCableType", [this] { addCableType(); });
    });
    auto* remove = namedButton("cmdDelete", tr("Delete Cable Type"));
    connect(remove, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "CableTypes.cmdDelete", [this] { deleteCableType(); }); });
    dataSheet_ = namedButton("cmdDataSheet", tr("Data Sheet"));
    dataSheet_->hide();
    connect(dataSheet_, &QPushButton::clicked, this, [this] {
        runGuarded(errors_, "CableTypes.cmdDataSheet", [this] {
            if (showDataSheet) showDataSheet();
        });
    });
    auto* close = namedButton("cmdClose", tr("Close"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* commands = new QVBoxLayout;
    commands->addWidget(addMaker);
    commands->addWidget(add);
    commands->addWidget(remove);
    commands->addWidget(dataSheet_);
    commands->addStretch(1);
    commands->addWidget(close);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(middle, 1);
    layout->addLayout(right, 2);
    layout->addLayout(commands);

    makers_->onChange(
        [this] {
            runGuarded(errors_, "CableTypes.txtFindManufacturer_Change",
                       [this] { reloadManufacturers(); });
        },
        [this] {
            runGuarded(errors_, "CableTypes.lstManufacturers_Click",
                       [this] { showManufacturer(); });
        });
    connect(findType_, &QLineEdit::textChanged, this, [this] {
        runGuarded(errors_, "CableTypes.txtFindCableType_Change", [this] { reloadTypes(); });
    });
    connect(types_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (!loading_)
            runGuarded(errors_, "CableTypes.lstCableTypes_Click", [this] { showType(); });
    });

    runGuarded(errors_, "CableTypes.Form_Load", [this] { reloadManufacturers(); });
    resize(980, 560);
}

CableTypeLibraryWindow::~CableTypeLibraryWindow() = default;

void CableTypeLibraryWindow::showEvent(QShowEvent* event) {
    dataSheet_->setVisible(bool(showDataSheet));
    QDialog::showEvent(event);
}

// ---- lists --------------------------------------------------------------------------------

void CableTypeLibraryWindow::reloadManufacturers() {
    makers_->reload();
    showManufacturer();
}

void CableTypeLibraryWindow::showManufacturer() {
    const std::optional<db::ManufacturerRecord> m = makers_->selected();
    typesLabel_->setText(QStringLiteral("Cable Types: ") + (m ? m->name : QString()));
    reloadTypes();
}

void CableTypeLibraryWindow::reloadTypes(std::optional<qint64> select) {
    if (!select) {
        const std::optional<db::CableTypeRecord> before = selectedType();
        if (before) select = before->id;
    }
    {
        QScopedValueRollback<bool> quiet(loading_, true);
        const std::optional<db::ManufacturerRecord> m = makers_->selected();
        typeRows_ =
            m ? catalogue_.cableTypes(m->id, findType_->text()) : QList<db::CableTypeRecord>();
        typeModel_->removeRows(0, typeModel_->rowCount());
        for (const db::CableTypeRecord& c : typeRows_)
            typeModel_->appendRow(new QStandardItem(c.partNumber));
        for (int i = 0; select && i < typeRows_.size(); ++i)
            if (typeRows_[i].id == *select) types_->setCurrentIndex(typeModel_->index(i, 0));
    }
    showType();
}

std::optional<db::CableTypeRecord> CableTypeLibraryWindow::selectedType() const {
    const int row = types_->currentIndex().row();
    if (row < 0 || row >= typeRows_.size()) return std::nullopt;
    return typeRows_[row];
}

void CableTypeLibraryWindow::showType() {
    const std::optional<db::CableTypeRecord> c = selectedType();
    const db::CableTypeRecord e = c.value_or(db::CableTypeRecord{});
    typeLabel_->setText(QStringLiteral("Cable Type: ") + e.partNumber);
    description_->setText(e.description);
    description_->setCursorPosition(0);  // a long description shows its start
    cores_->setText(c ? QString::number(e.cores) : QString());
    multicore_->setChecked(c && e.multicore);
    scheme_->setText(c && e.multicore ? e.scheme : QString());
    gauge_->setText(e.gauge);
    impedance_->setText(e.charZ);
    rating_->setText(e.rating);
    conductors_->setText(e.conductors);
    shielding_->setText(e.shielding);
    coreModel_->load(c);
}

// ---- commands -----------------------------------------------------------------------------

void CableTypeLibraryWindow::addManufacturer() {
    // Refused before the user fills in the window.
    if (!a_.allowed(key::Add)) return;
    AddManufacturerDialog dialog(a_, QStringLiteral("CT"), this);
    a_.ui.runModal(dialog);
    if (dialog.added() > 0) makers_->reload();
}

void CableTypeLibraryWindow::addCableType() {
    const std::optional<db::ManufacturerRecord> m = makers_->selected();
    if (!m) {
        a_.ui.message(tr("No manufacturer selected"), MsgButtons::Ok, MsgIcon::Information, kTitle);
        return;
    }
    // Refused before the user fills in the window.
    if (!a_.allowed(key::Add)) return;
    AddCableTypeDialog dialog(a_, *m, this);
    a_.ui.runModal(dialog);
    if (dialog.lastAdded()) reloadTypes(dialog.lastAdded());
}

void CableTypeLibraryWindow::deleteCableType() {
    const std::optional<db::CableTypeRecord> c = selectedType();
    if (!c) {
        a_.ui.message(tr("No cable type selected"), MsgButtons::Ok, MsgIcon::Information, kTitle);
        return;
    }
    if (!catalogue_.removeCableType(c->id)) return;
    reloadTypes();
}

}  // namespace tolvane
