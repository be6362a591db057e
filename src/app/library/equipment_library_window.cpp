// The equipment library window and its add-manufacturer and add-equipment dialogs.
#include "app/library/equipment_library_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/library/block_dialogs.h"
#include "app/library/manufacturer_list.h"
#include "app/library/physical_data_form.h"
#include "app/shell/widget_helpers.h"
#include "equipment/block_generator.h"
#include "equipment/library_exchange.h"
#include "front/widget_driver.h"
#include "shell/error_handler.h"
#include "shell/event_log.h"
#include "ui/ui.h"

namespace tolvane {

using namespace equipment;

namespace {

const QString kTitle = QStringLiteral("Equipment Library");

// The entries of the pin-type lists.
const QStringList kPinTypes = {QStringLiteral("Normal"), QStringLiteral("Loop")};

QComboBox* unitList(const char* name, const QStringList& items) {
    auto* c = named(new QComboBox, name);
    c->addItems(items);
    c->setCurrentIndex(-1);
    return c;
}

QTableView* pinGrid(const char* name, QStandardItemModel* model) {
    auto* grid = named(new QTableView, name);
    grid->setModel(model);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->verticalHeader()->hide();
    return grid;
}

}  // namespace

// ---- add manufacturer ---------------------------------------------------------------------

AddManufacturerDialog::AddManufacturerDialog(LibraryAccess access, const QString& callerTag,
                                             QWidget* parent)
    : QDialog(parent), a_(std::move(access)), tag_(callerTag) {
    setObjectName(QStringLiteral("frmAddManufacturer"));
    setWindowTitle(tr("Add Manufacturer"));
    id_ = named(new QLineEdit, "txtManufacturerID");
    hint_ = named(new QLabel(tr("Eight Chars. Max")), "lblIDHint");
    name_ = named(new QLineEdit, "txtManufacturerName");
    equipment_ = named(new QCheckBox(tr("Equipment")), "chkEquipment");
    jackFields_ = named(new QCheckBox(tr("Jackfields")), "chkJackFields");
    routers_ = named(new QCheckBox(tr("Routers")), "chkRouters");
    jboxes_ = named(new QCheckBox(tr("J-Boxes")), "chkJboxes");
    cableTypes_ = named(new QCheckBox(tr("Cable Types")), "chkCableTypes");
    all_ = named(new QCheckBox(tr("All")), "chkAll");

    auto* idRow = new QHBoxLayout;
    idRow->addWidget(id_);
    idRow->addWidget(hint_);
    auto* form = new QFormLayout;
    form->addRow(tr("Manufacturer ID:"), idRow);
    form->addRow(tr("Manufacturer Name:"), name_);
    auto* flags = new QVBoxLayout;
    for (QCheckBox* c : {equipment_, jackFields_, routers_, jboxes_, cableTypes_, all_})
        flags->addWidget(c);
    auto* flagGroup = new QGroupBox(tr("Display In"));
    flagGroup->setLayout(flags);

    QPushButton* addButton = namedButton("cmdAdd", tr("Add"));
    QPushButton* closeButton = namedButton("cmdClose", tr("Close"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(addButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(flagGroup);
    layout->addLayout(buttons);

    connect(id_, &QLineEdit::editingFinished, this, [this] { leaveId(); });
    connect(addButton, &QPushButton::clicked, this, [this] { add(); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

void AddManufacturerDialog::leaveId() {
    const ManufacturerIdEntry entry = manufacturerIdEntry(id_->text());
    if (entry.beep) a_.ui.beep();
    id_->setText(entry.id);
    hint_->setText(entry.hint);
}

void AddManufacturerDialog::add() {
    leaveId();
    db::ManufacturerRecord m;
    m.id = id_->text();
    m.name = name_->text();
    m.equipment = equipment_->isChecked();
    m.jackFields = jackFields_->isChecked();
    m.routers = routers_->isChecked();
    m.jboxes = jboxes_->isChecked();
    m.cableTypes = cableTypes_->isChecked();
    if (!Manufacturers(a_).add(m, all_->isChecked())) {
        id_->setFocus();
        return;
    }
    ++added_;
    id_->clear();
    name_->clear();
    id_->setFocus();
}

// ---- add equipment ------------------------------------------------------------------------

AddEquipmentDialog::AddEquipmentDialog(LibraryAccess access, const db::ManufacturerRecord& maker,
                                       db::NameCase nameCase, QWidget* parent)
    : QDialog(parent), a_(std::move(access)), maker_(maker), nameCase_(nameCase) {
    setObjectName(QStringLiteral("frmAddEquipment"));
    setWindowTitle(tr("Add Equipment"));
    auto* makerLabel = named(new QLabel(maker.name), "lblManufacturer");
    name_ = named(new QLineEdit, "txtEquipmentName");
    description_ = named(new QLineEdit, "txtDescription");
    type_ = named(new QLineEdit, "txtType");
    edit_ = named(new QCheckBox(tr("Edit inputs and outputs after adding")), "chkEdit");
    auto* form = new QFormLayout;
    form->addRow(tr("Manufacturer:"), makerLabel);
    form->addRow(tr("Equipment Model Number:"), name_);
    form->addRow(tr("Description:"), description_);
    form->addRow(tr("Type:"), type_);
    form->addRow(QString(), edit_);

    QPushButton* addButton = namedButton("cmdAdd", tr("Add"));
    QPushButton* closeButton = namedButton("cmdClose", tr("Close"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(addButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    for (QLineEdit* field : {name_, description_, type_})
        connect(field, &QLineEdit::editingFinished, this,
                [this, field] { field->setText(applyNameCase(field->text(), nameCase_)); });
    connect(addButton, &QPushButton::clicked, this, [this] { add(); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
}

void AddEquipmentDialog::add() {
    const std::optional<qint64> id =
        EquipmentModels(a_).add(maker_.id, name_->text(), description_->text(), type_->text());
    if (!id) return;
    last_ = id;
    if (edit_->isChecked()) {
        accept();
        return;
    }
    for (QLineEdit* field : {name_, description_, type_}) field->clear();
    name_->setFocus();
    if (modelAdded) modelAdded(*id);
}

// ---- the library window -------------------------------------------------------------------

EquipmentLibraryWindow::EquipmentLibraryWindow(LibraryAccess access, db::NameCase nameCase,
                                               QWidget* parent)
    : QDialog(parent), a_(access), models_(access), pins_(access), nameCase_(nameCase) {
    setObjectName(QStringLiteral("frmEquipLibrary"));
    setWindowTitle(kTitle);

    // Left: the manufacturers and the selected one's models.
    makers_ = new ManufacturerList(access, ShownIn::Equipment, this);
    findModel_ = named(new QLineEdit, "txtFindEquipment");
    modelModel_ = new QStandardItemModel(this);
    modelModel_->setHorizontalHeaderLabels({QStringLiteral("EquipmentName")});
    modelList_ = itemList("lstEquipment", modelModel_);
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(tr("Manufacturers:")));
    left->addWidget(makers_->findBox());
    left->addWidget(makers_->list(), 1);
    left->addWidget(new QLabel(tr("Equipment Model Number:")));
    left->addWidget(findModel_);
    left->addWidget(modelList_, 1);

    makerLabel_ = named(new QLabel, "lblManufacturerName");
    modelLabel_ = named(new QLabel, "lblEquipmentName");

    // The description tab.
    description_ = named(new QLineEdit, "txtDescription");
    type_ = named(new QLineEdit, "txtType");
    description_->setReadOnly(true);
    type_->setReadOnly(true);
    da_ = named(new QCheckBox(tr("Display as DA")), "chkDA");
    auto* descriptionForm = new QFormLayout;
    descriptionForm->addRow(tr("Description:"), description_);
    descriptionForm->addRow(tr("Type:"), type_);
    descriptionForm->addRow(QString(), da_);
    auto* descriptionPage = named(new QWidget, "tabDescription");
    descriptionPage->setLayout(descriptionForm);

    // The physical-data tab.
    physical_ = new PhysicalDataForm;
    physical_->setObjectName(QStringLiteral("tabPhysical"));

    // The input/output tab: the two grids, the edit frame and the selection buttons.
    const QStringList inputColumns = {QStringLiteral("InputID"), QStringLiteral("Name"),
                                      QStringLiteral("Type"),    QStringLiteral("conn"),
                                      QStringLiteral("PinType"), QStringLiteral("DisplayOrder")};
    QStringList outputColumns = inputColumns;
    outputColumns[0] = QStringLiteral("OutputID");
    // Captions in words on the screen; scripts address the columns by field.
    inputModel_ = new QStandardItemModel(0, int(inputColumns.size()), this);
    outputModel_ = new QStandardItemModel(0, int(outputColumns.size()), this);
    for (auto [model, fields] :
         {std::pair{inputModel_, inputColumns}, {outputModel_, outputColumns}})
        for (int c = 0; c < fields.size(); ++c) {
            model->setHeaderData(
                c, Qt::Horizontal,
                fields[c] == QLatin1String("conn") ? tr("Connector") : fieldCaption(fields[c]));
            model->setHeaderData(c, Qt::Horizontal, fields[c], kFieldNameRole);
        }
    inputGrid_ = pinGrid("grdInputs", inputModel_);
    outputGrid_ = pinGrid("grdOutputs", outputModel_);
    for (QTableView* grid : {inputGrid_, outputGrid_}) {
        grid->setColumnHidden(0, true);
        grid->setColumnHidden(5, true);
    }
    auto* grids = new QGridLayout;
    grids->addWidget(new QLabel(tr("Inputs:")), 0, 0);
    grids->addWidget(new QLabel(tr("Outputs:")), 0, 1);
    grids->addWidget(inputGrid_, 1, 0);
    grids->addWidget(outputGrid_, 1, 1);

    pinName_ = named(new QLineEdit, "txtPinName");
    connector_ = named(new QComboBox, "cboConnector");
    signalType_ = named(new QComboBox, "cboSignalType");
    inputPinType_ = unitList("cboInputPinType", kPinTypes);
    outputPinType_ = unitList("cboOutputPinType", kPinTypes);
    inputPinType_->setCurrentIndex(0);
    outputPinType_->setCurrentIndex(0);
    count_ = named(new QLineEdit, "txtCount");
    start_ = named(new QLineEdit, "txtStart");
    toInputs_ = named(new QRadioButton(tr("Input")), "optInput");
    toOutputs_ = named(new QRadioButton(tr("Output")), "optOutput");
    toBoth_ = named(new QRadioButton(tr("Both")), "optBoth");
    toInputs_->setChecked(true);
    persist_ = named(new QCheckBox(tr("Persist")), "chkPersist");
    auto* targetRow = new QHBoxLayout;
    for (QRadioButton* r : {toInputs_, toOutputs_, toBoth_}) targetRow->addWidget(r);
    targetRow->addWidget(persist_);
    auto* editForm = new QFormLayout;
    editForm->addRow(tr("Name:"), pinName_);
    editForm->addRow(tr("Connector:"), connector_);
    editForm->addRow(tr("Signal Type:"), signalType_);
    editForm->addRow(tr("Input Pin Type:"), inputPinType_);
    editForm->addRow(tr("Output Pin Type:"), outputPinType_);
    editForm->addRow(tr("Count:"), count_);
    editForm->addRow(tr("Start:"), start_);
    editForm->addRow(targetRow);
    auto* editButtons = new QHBoxLayout;
    editButtons->addWidget(button("cmdAddIO", tr("Add"), "cmdAddIO_Click", [this] { addPins(); }));
    editButtons->addWidget(button("cmdDeleteIO", tr("Delete Selected"), "cmdDeleteIO_Click",
                                  [this] { deletePins(); }));
    editButtons->addWidget(button("cmdCopyToOutputs", tr("Inputs -> Outputs"),
                                  "cmdCopyToOutputs_Click", [this] { copyPins(PinList::Inputs); }));
    editButtons->addWidget(button("cmdCopyToInputs", tr("Outputs -> Inputs"),
                                  "cmdCopyToInputs_Click", [this] { copyPins(PinList::Outputs); }));
    editForm->addRow(editButtons);
    auto* editFrame = named(new QGroupBox(tr("Edit Inputs and Outputs")), "fraEditIO");
    editFrame->setLayout(editForm);

    // The group buttons hold a short code each: as narrow as their text, so that the window
    // fits a small screen.
    const auto narrow = [](QPushButton* b) {
        b->setMinimumWidth(b->fontMetrics().horizontalAdvance(b->text()) + 16);
        return b;
    };
    auto* groupButtons = new QHBoxLayout;
    for (const QString& code : signalGroups()) {
        const QByteArray name = "cmdSelect" + code.toLatin1();
        groupButtons->addWidget(narrow(button(name.constData(), code, "cmdSelect_Click",
                                              [this, code] { selectGroup(code); })));
    }
    groupButtons->addWidget(narrow(
        button("cmdSelectAll", tr("All"), "cmdSelect_Click", [this] { selectGroup(kAllPins); })));
    otherType_ = named(new QComboBox, "cboOtherType");
    groupButtons->addWidget(otherType_);
    groupButtons->addWidget(button("cmdSelectOther", tr("Other"), "cmdSelectOther_Click",
                                   [this] { selectGroup(otherType_->currentText()); }));

    copyMaker_ = named(new QLabel, "lblCopyManufacturer");
    copyModel_ = named(new QLabel, "lblCopyEquipment");
    auto* copyRow = new QHBoxLayout;
    copyRow->addWidget(button("cmdCopyFrom", tr("Copy From"), "cmdCopyFrom_Click",
                              [this] { copyDefinitionFrom(); }));
    copyRow->addWidget(copyMaker_);
    copyRow->addWidget(copyModel_, 1);
    copyRow->addWidget(
        button("cmdCopyTo", tr("Copy To"), "cmdCopyTo_Click", [this] { copyDefinitionTo(); }));

    auto* ioLayout = new QVBoxLayout;
    ioLayout->addLayout(grids, 1);
    ioLayout->addLayout(groupButtons);
    ioLayout->addWidget(editFrame);
    ioLayout->addLayout(copyRow);
    auto* ioPage = named(new QWidget, "tabIO");
    ioPage->setLayout(ioLayout);

    tabs_ = named(new QTabWidget, "tabEquipment");
    tabs_->addTab(descriptionPage, tr("Description"));
    tabs_->addTab(physical_, tr("Physical Data"));
    tabs_->addTab(ioPage, tr("Inputs/Outputs"));

    auto* right = new QVBoxLayout;
    right->addWidget(makerLabel_);
    right->addWidget(modelLabel_);
    right->addWidget(tabs_, 1);

    // The command list, by index.
    auto* commands = new QVBoxLayout;
    const auto commandButton = [this](const char* name, const QString& caption, int index) {
        return button(name, caption, "cmdLibrary_Click", [this, index] { command(index); });
    };
    commands->addWidget(
        commandButton("cmdAddManufacturer", tr("Add Manufacturer"), AddManufacturer));
    commands->addWidget(commandButton("cmdAddEquipment", tr("Add Equipment"), AddEquipment));
    commands->addWidget(
        commandButton("cmdDeleteEquipment", tr("Delete Equipment"), DeleteEquipment));
    commands->addWidget(
        commandButton("cmdEditPhysical", tr("Edit Physical Data"), EditPhysicalData));
    commands->addWidget(commandButton("cmdEditIO", tr("Edit Equipment I/O"), EditIo));
    commands->addWidget(commandButton("cmdCreateBlock", tr("Create Block"), CreateBlock));
    // The library exchanged as a folder of comma-separated files.
    commands->addWidget(button("cmdExportLibrary", tr("Export Library..."),
                               "cmdExportLibrary_Click",
                               [this] { LibraryExchange(a_).exportLibrary(); }));
    commands->addWidget(
        button("cmdImportLibrary", tr("Import Library..."), "cmdImportLibrary_Click", [this] {
            const std::optional<ImportReport> r = LibraryExchange(a_).importLibrary();
            if (!r || r->added == 0) return;
            // Imported connectors and signal types are offered at once.
            const QStringList connectors = pins_.connectors(), types = pins_.signalTypes();
            for (QComboBox* list : {connector_, signalType_, otherType_}) {
                list->clear();
                list->addItems(list == connector_ ? connectors : types);
                list->setCurrentIndex(list == otherType_ ? 0 : -1);
            }
            reloadManufacturers();
        }));
    commands->addWidget(button("cmdDataSheet", tr("Data Sheet"), "cmdDataSheet_Click", [this] {
        if (showDataSheet) showDataSheet();
    }));
    commands->addStretch(1);
    commands->addWidget(commandButton("cmdExit", tr("Exit"), Exit));

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(right, 3);
    layout->addLayout(commands);

    makers_->onChange(
        [this] {
            runGuarded(errors_, "txtFindManufacturer_Change", [this] { reloadManufacturers(); });
        },
        [this] { runGuarded(errors_, "lstManufacturers_Click", [this] { showManufacturer(); }); });
    connect(findModel_, &QLineEdit::textChanged, this,
            [this] { runGuarded(errors_, "txtFindEquipment_Change", [this] { reloadModels(); }); });
    connect(modelList_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (!loading_) runGuarded(errors_, "lstEquipment_Click", [this] { showModel(); });
    });
    connect(tabs_, &QTabWidget::currentChanged, this, [this, ioPage](int index) {
        if (tabs_->widget(index) == ioPage && showTips) showTips(QStringLiteral("ADDIO"));
    });
    connect(da_, &QCheckBox::toggled, this, [this](bool on) {
        if (!loading_) runGuarded(errors_, "chkDA_Click", [this, on] { setDa(on); });
    });

    runGuarded(errors_, "Form_Load", [this] {
        const QStringList connectors = pins_.connectors();
        connector_->addItems(connectors);
        const QStringList types = pins_.signalTypes();
        signalType_->addItems(types);
        otherType_->addItems(types);
        connector_->setCurrentIndex(-1);
        signalType_->setCurrentIndex(-1);
        reloadManufacturers();
    });
    showCopySource();
    resize(1000, 680);
}

EquipmentLibraryWindow::~EquipmentLibraryWindow() = default;

QPushButton* EquipmentLibraryWindow::button(const char* name, const QString& caption,
                                            const char* procedure, std::function<void()> run) {
    QPushButton* b = namedButton(name, caption);
    connect(b, &QPushButton::clicked, this,
            [this, procedure, run = std::move(run)] { runGuarded(errors_, procedure, run); });
    return b;
}

void EquipmentLibraryWindow::command(int index) {
    if (log_ && log_->enabled()) log_->log(QStringLiteral("library menu click"));
    switch (index) {
        case AddManufacturer:
            addManufacturer();
            break;
        case AddEquipment:
            addEquipment();
            break;
        case DeleteEquipment:
            deleteEquipment();
            break;
        case EditPhysicalData:
            savePhysicalData();
            break;
        case EditIo:
            tabs_->setCurrentIndex(2);
            break;
        case CreateBlock:
            createBlock();
            break;
        case Exit:
            accept();
            break;
        default:
            break;
    }
}

// ---- lists --------------------------------------------------------------------------------

void EquipmentLibraryWindow::reloadManufacturers() {
    makers_->reload();
    showManufacturer();
}

void EquipmentLibraryWindow::showManufacturer() {
    const std::optional<db::ManufacturerRecord> m = makers_->selected();
    makerLabel_->setText(m ? QStringLiteral("Manufacturer Name: ") + m->name : QString());
    reloadModels();
}

void EquipmentLibraryWindow::reloadModels(std::optional<qint64> select) {
    if (!select) select = selectedModel();
    {
        QScopedValueRollback<bool> quiet(loading_, true);
        const std::optional<db::ManufacturerRecord> m = makers_->selected();
        modelRows_ =
            m ? models_.list(m->id, findModel_->text()) : QList<db::EquipmentModelRecord>();
        modelModel_->removeRows(0, modelModel_->rowCount());
        for (const db::EquipmentModelRecord& e : modelRows_)
            modelModel_->appendRow(new QStandardItem(e.name));
        for (int i = 0; select && i < modelRows_.size(); ++i)
            if (modelRows_[i].id == *select) modelList_->setCurrentIndex(modelModel_->index(i, 0));
    }
    showModel();
}

EquipmentLibraryWindow::Choice EquipmentLibraryWindow::choice() const {
    const std::optional<db::ManufacturerRecord> m = makers_->selected();
    return {m ? m->id : QString(), selectedModel().value_or(0)};
}

void EquipmentLibraryWindow::restore(const Choice& choice) {
    if (choice.manufacturerId.isEmpty()) return;
    makers_->select(choice.manufacturerId);
    showManufacturer();
    if (choice.modelId) reloadModels(choice.modelId);
}

std::optional<qint64> EquipmentLibraryWindow::selectedModel() const {
    const int row = modelList_->currentIndex().row();
    if (row < 0 || row >= modelRows_.size()) return std::nullopt;
    return modelRows_[row].id;
}

void EquipmentLibraryWindow::showModel() {
    QScopedValueRollback<bool> quiet(loading_, true);
    const std::optional<qint64> id = selectedModel();
    const std::optional<db::EquipmentModelRecord> model = id ? models_.find(*id) : std::nullopt;
    const std::optional<PhysicalData> data = id ? models_.physicalData(*id) : std::nullopt;
    if (model)
        makerLabel_->setText(QStringLiteral("Manufacturer Name: ") + model->manufacturerName);
    modelLabel_->setText(model ? model->name : QString());
    description_->setText(model ? model->description : QString());
    type_->setText(model ? model->type : QString());
    da_->setChecked(model && model->displayAsDa);
    physical_->showData(data.value_or(PhysicalData{}));
    reloadPins();
}

void EquipmentLibraryWindow::reloadPins() {
    const std::optional<qint64> id = selectedModel();
    const auto fill = [&](QStandardItemModel* model, PinList which) {
        model->removeRows(0, model->rowCount());
        if (!id) return;
        for (const db::PinRecord& p : pins_.list(*id, which))
            model->appendRow(
                {new QStandardItem(QString::number(p.id)), new QStandardItem(p.name),
                 new QStandardItem(p.type), new QStandardItem(p.conn), new QStandardItem(p.pinType),
                 new QStandardItem(p.displayOrder ? QString::number(*p.displayOrder) : QString())});
    };
    fill(inputModel_, PinList::Inputs);
    fill(outputModel_, PinList::Outputs);
}

QList<qint64> EquipmentLibraryWindow::selectedPins(PinList which) const {
    const QTableView* grid = which == PinList::Inputs ? inputGrid_ : outputGrid_;
    const auto* model = which == PinList::Inputs ? inputModel_ : outputModel_;
    QList<int> rows;
    for (const QModelIndex& index : grid->selectionModel()->selectedRows()) rows << index.row();
    std::sort(rows.begin(), rows.end());
    QList<qint64> ids;
    for (int row : rows) ids << model->item(row, 0)->text().toLongLong();
    return ids;
}

void EquipmentLibraryWindow::applySelection(const PinSelection& selection) {
    const auto apply = [](QTableView* grid, QStandardItemModel* model, const QList<qint64>& ids) {
        QItemSelection rows;
        for (int row = 0; row < model->rowCount(); ++row)
            if (ids.contains(model->item(row, 0)->text().toLongLong()))
                rows.select(model->index(row, 0), model->index(row, model->columnCount() - 1));
        grid->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
    };
    apply(inputGrid_, inputModel_, selection.inputs);
    apply(outputGrid_, outputModel_, selection.outputs);
}

// ---- commands -----------------------------------------------------------------------------

void EquipmentLibraryWindow::addManufacturer() {
    AddManufacturerDialog dialog(a_, QStringLiteral("Equip"), this);
    a_.ui.runModal(dialog);
    if (dialog.added() > 0) reloadManufacturers();
}

void EquipmentLibraryWindow::addEquipment() {
    const std::optional<db::ManufacturerRecord> m = makers_->selected();
    if (!m) {
        a_.ui.message(tr("No manufacturer selected"), MsgButtons::Ok, MsgIcon::Information, kTitle);
        return;
    }
    AddEquipmentDialog dialog(a_, *m, nameCase_, this);
    dialog.modelAdded = [this](qint64) { reloadModels(); };
    const bool editNow = a_.ui.runModal(dialog) == QDialog::Accepted;
    if (!dialog.lastAdded()) return;
    reloadModels(editNow ? dialog.lastAdded() : std::nullopt);
    if (editNow) tabs_->setCurrentIndex(2);
}

void EquipmentLibraryWindow::deleteEquipment() {
    if (!models_.remove(selectedModel())) return;
    findModel_->clear();
    reloadModels();
}

std::optional<qint64> EquipmentLibraryWindow::requireModel() {
    const std::optional<qint64> id = selectedModel();
    if (!id)
        a_.ui.message(EquipmentModels::noSelectionMessage(), MsgButtons::Ok, MsgIcon::Information,
                      kTitle);
    return id;
}

void EquipmentLibraryWindow::savePhysicalData() {
    const std::optional<qint64> id = requireModel();
    if (!id) return;
    // Shown again as stored.
    if (models_.setPhysicalData(*id, physical_->data())) showModel();
}

void EquipmentLibraryWindow::setDa(bool on) {
    const std::optional<qint64> id = selectedModel();
    if (id && models_.setDisplayAsDa(*id, on)) return;
    // Not written: the box shows what is stored.
    QScopedValueRollback<bool> quiet(loading_, true);
    da_->setChecked(!on);
}

void EquipmentLibraryWindow::resetEditFrame() {
    pinName_->clear();
    connector_->setCurrentIndex(-1);
    signalType_->setCurrentIndex(-1);
    count_->clear();
    inputPinType_->setCurrentIndex(0);
}

void EquipmentLibraryWindow::addPins() {
    const std::optional<qint64> id = requireModel();
    if (!id) return;
    PinEntry entry;
    entry.name = pinName_->text();
    entry.conn = connector_->currentText();
    entry.type = signalType_->currentText();
    entry.inputPinType = inputPinType_->currentText();
    entry.outputPinType = outputPinType_->currentText();
    entry.count = count_->text();
    entry.start = start_->text();
    entry.target = toBoth_->isChecked()      ? PinTarget::Both
                   : toOutputs_->isChecked() ? PinTarget::Outputs
                                             : PinTarget::Inputs;
    if (!pins_.add(*id, entry)) return;
    reloadPins();
    if (!persist_->isChecked()) resetEditFrame();
}

void EquipmentLibraryWindow::deletePins() {
    PinSelection selection{selectedPins(PinList::Inputs), selectedPins(PinList::Outputs)};
    if (!pins_.removeSelected(selection)) return;
    reloadPins();
}

void EquipmentLibraryWindow::copyPins(PinList from) {
    if (!pins_.copyToOtherList(from, selectedPins(from))) return;
    reloadPins();
}

void EquipmentLibraryWindow::selectGroup(const QString& code) {
    const std::optional<qint64> id = selectedModel();
    applySelection(id ? pins_.select(*id, code) : PinSelection{});
}

void EquipmentLibraryWindow::copyDefinitionFrom() {
    const std::optional<qint64> id = requireModel();
    if (!id) return;
    pins_.copyDefinitionFrom(*id);
    showCopySource();
}

void EquipmentLibraryWindow::copyDefinitionTo() {
    const std::optional<qint64> id = requireModel();
    if (!id) return;
    if (pins_.copyDefinitionTo(*id)) reloadPins();
    showCopySource();
}

void EquipmentLibraryWindow::showCopySource() {
    const std::optional<PinDefinition>& source = pins_.copySource();
    copyMaker_->setText(QStringLiteral("Manufacturer:") +
                        (source ? QStringLiteral(" ") + source->manufacturerName : QString()));
    copyModel_->setText(QStringLiteral("Equipment:") +
                        (source ? QStringLiteral(" ") + source->modelName : QString()));
}

}  // namespace tolvane

namespace tolvane {

// ---- create block -------------------------------------------------------------------------

QList<db::PinRecord> EquipmentLibraryWindow::selectedRowsInOrder(PinList which) const {
    const QTableView* grid = which == PinList::Inputs ? inputGrid_ : outputGrid_;
    const auto* model = which == PinList::Inputs ? inputModel_ : outputModel_;
    QList<db::PinRecord> rows;
    for (const QModelIndex& index : grid->selectionModel()->selectedRows()) {
        const int row = index.row();
        db::PinRecord p;
        p.id = model->item(row, 0)->text().toLongLong();
        p.name = model->item(row, 1)->text();
        p.type = model->item(row, 2)->text();
        p.conn = model->item(row, 3)->text();
        p.pinType = model->item(row, 4)->text();
        rows << p;
    }
    return rows;
}

void EquipmentLibraryWindow::createBlock() {
    const std::optional<qint64> id = requireModel();
    if (!id) return;
    const std::optional<db::EquipmentModelRecord> model = models_.find(*id);
    if (!model) return;
    const BlockMode mode = model->displayAsDa ? BlockMode::DA : BlockMode::Standard;
    if (log_ && log_->enabled())
        log_->log(mode == BlockMode::DA ? QStringLiteral("attempting to create a da block")
                                        : QStringLiteral("attempting to create a standard block"));
    if (showTips) showTips(QStringLiteral("CREATEBLOCK"));

    BlockRequest request;
    request.equipmentId = model->id;
    request.manufacturerName = model->manufacturerName;
    request.modelName = model->name;
    request.mode = mode;
    request.inputs = selectedRowsInOrder(PinList::Inputs);
    request.outputs = selectedRowsInOrder(PinList::Outputs);
    const BlockPreferences prefs = BlockPreferences::installation(a_.registry);

    BlockDialogWindows dialogs(a_.ui, this);
    BlockGenerator generator(a_, dialogs);
    generator.openSignalTypes = openSignalTypes;
    generator.placed = blockPlaced;
    generator.beforeInsert = [this](const QString& block) {
        reopen_ = true;
        hide();
        if (showBlockReadable) showBlockReadable(block);
    };
    generator.generate(activeDrawing ? activeDrawing() : nullptr, request, prefs);
}

}  // namespace tolvane
