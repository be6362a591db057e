// The jackfield library window and its add dialog.
#include "app/jackfields/jackfield_library_window.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include "app/library/equipment_library_window.h"
#include "app/library/manufacturer_list.h"
#include "app/library/physical_data_form.h"
#include "app/shell/widget_helpers.h"
#include "equipment/pins.h"
#include "front/widget_driver.h"
#include "shell/error_handler.h"
#include "ui/ui.h"

namespace tolvane {

using namespace equipment;
using db::LibraryJackfieldRecord;
using jackfields::JackfieldSize;

namespace {

const QString kTitle = QStringLiteral("Jackfield Library");

// A connector is chosen from the library's connectors or typed as a name of its own.
QComboBox* connectorBox(const char* name, const QStringList& connectors) {
    auto* box = named(new QComboBox, name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(connectors);
    box->setCurrentIndex(-1);
    return box;
}

}  // namespace

// ---- add jackfield ------------------------------------------------------------------------

AddJackfieldDialog::AddJackfieldDialog(LibraryAccess access, const db::ManufacturerRecord& maker,
                                       db::NameCase nameCase, QWidget* parent)
    : QDialog(parent), a_(std::move(access)), maker_(maker), nameCase_(nameCase) {
    setObjectName(QStringLiteral("frmAddJackField"));
    setWindowTitle(tr("Add Jack Field"));
    auto* makerLabel =
        named(new QLabel(QStringLiteral("Manufacturer: ") + maker.name), "lblManufacturer");
    name_ = named(new QLineEdit, "txtJackFieldName");
    description_ = named(new QLineEdit, "txtDescription");
    rows_ = named(new QLineEdit, "txtRows");
    columns_ = named(new QLineEdit, "txtColumns");
    const QStringList connectors = Pins(a_).connectors();
    front_ = connectorBox("txtFrontConn", connectors);
    rear_ = connectorBox("txtRearConn", connectors);
    auto* form = new QFormLayout;
    form->addRow(makerLabel);
    form->addRow(tr("Jack Field Name:"), name_);
    form->addRow(tr("Description:"), description_);
    form->addRow(tr("Rows:"), rows_);
    form->addRow(tr("Columns:"), columns_);
    form->addRow(tr("Front Connector:"), front_);
    form->addRow(tr("Rear Connector:"), rear_);

    QPushButton* addButton = namedButton("cmdAdd", tr("Add"));
    QPushButton* closeButton = namedButton("cmdClose", tr("Close"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(addButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(description_, &QLineEdit::editingFinished, this,
            [this] { description_->setText(applyNameCase(description_->text(), nameCase_)); });
    connect(addButton, &QPushButton::clicked, this, [this] { add(); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    resize(420, sizeHint().height());
}

void AddJackfieldDialog::add() {
    const std::optional<qint64> id = jackfields::JackfieldLibrary(a_).add(
        maker_.id, name_->text(), description_->text(),
        {rows_->text(), columns_->text(), front_->currentText(), rear_->currentText()});
    if (!id) {
        name_->setFocus();
        return;
    }
    last_ = id;
    for (QLineEdit* field : {name_, description_, rows_, columns_}) field->clear();
    for (QComboBox* box : {front_, rear_}) box->setCurrentIndex(-1);
    name_->setFocus();
}

// ---- the library window -------------------------------------------------------------------

JackfieldLibraryWindow::JackfieldLibraryWindow(LibraryAccess access, db::NameCase nameCase,
                                               QWidget* parent)
    : QDialog(parent), a_(access), library_(access), nameCase_(nameCase) {
    setObjectName(QStringLiteral("frmJFLibrary"));
    setWindowTitle(kTitle);

    makers_ = new ManufacturerList(access, ShownIn::JackFields, this);
    findModel_ = named(new QLineEdit, "txtFindJackField");
    modelModel_ = new QStandardItemModel(this);
    modelModel_->setHorizontalHeaderLabels({QStringLiteral("JackFieldName")});
    modelList_ = itemList("lstJackFields", modelModel_);
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(tr("Manufacturers:")));
    left->addWidget(makers_->findBox());
    left->addWidget(makers_->list(), 1);
    left->addWidget(new QLabel(tr("Jack Fields:")));
    left->addWidget(findModel_);
    left->addWidget(modelList_, 1);

    modelLabel_ = named(new QLabel, "lblJackFieldName");
    makerLabel_ = named(new QLabel, "lblManufacturerName");
    description_ = named(new QLineEdit, "txtDescription");
    rowsEdit_ = named(new QLineEdit, "txtRows");
    columnsEdit_ = named(new QLineEdit, "txtColumns");
    const QStringList connectors = Pins(access).connectors();
    front_ = connectorBox("txtFrontConn", connectors);
    rear_ = connectorBox("txtRearConn", connectors);
    auto* modelForm = new QFormLayout;
    modelForm->addRow(tr("Description:"), description_);
    modelForm->addRow(tr("Rows:"), rowsEdit_);
    modelForm->addRow(tr("Columns:"), columnsEdit_);
    modelForm->addRow(tr("Front Connector:"), front_);
    modelForm->addRow(tr("Rear Connector:"), rear_);
    auto* modelGroup = new QGroupBox(tr("Jack Field"));
    modelGroup->setLayout(modelForm);

    physical_ = new PhysicalDataForm;
    auto* physicalGroup = new QGroupBox(tr("Physical Data"));
    auto* physicalBox = new QVBoxLayout(physicalGroup);
    physicalBox->setContentsMargins(0, 0, 0, 0);
    physicalBox->addWidget(physical_);

    auto* right = new QVBoxLayout;
    right->addWidget(modelLabel_);
    right->addWidget(makerLabel_);
    right->addWidget(modelGroup);
    right->addWidget(physicalGroup);
    right->addStretch(1);

    auto* commands = new QVBoxLayout;
    const auto commandButton = [this](const char* name, const QString& caption, int index) {
        QPushButton* b = namedButton(name, caption);
        connect(b, &QPushButton::clicked, this, [this, index] {
            runGuarded(errors_, "cmdJFLibrary_Click", [this, index] { command(index); });
        });
        return b;
    };
    commands->addWidget(
        commandButton("cmdAddManufacturer", tr("Add Manufacturer"), AddManufacturer));
    commands->addWidget(commandButton("cmdAddJackField", tr("Add Jack Field"), AddJackfield));
    commands->addWidget(
        commandButton("cmdDeleteJackField", tr("Delete Jack Field"), DeleteJackfield));
    commands->addWidget(commandButton("cmdAssign", tr("Send to Project..."), Assign));
    commands->addStretch(1);
    commands->addWidget(commandButton("cmdClose", tr("Close"), Close));

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(right, 2);
    layout->addLayout(commands);

    makers_->onChange(
        [this] {
            runGuarded(errors_, "JFLibrary.txtFindManufacturer_Change",
                       [this] { reloadManufacturers(); });
        },
        [this] {
            runGuarded(errors_, "JFLibrary.lstManufacturers_Click", [this] { showManufacturer(); });
        });
    connect(findModel_, &QLineEdit::textChanged, this, [this] {
        runGuarded(errors_, "JFLibrary.txtFindJackField_Change", [this] { reloadModels(); });
    });
    connect(modelList_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (!loading_)
            runGuarded(errors_, "JFLibrary.lstJackFields_Click", [this] { showModel(); });
    });
    // Edits are written as the user leaves a field.
    connect(description_, &QLineEdit::editingFinished, this, [this] {
        if (!loading_)
            runGuarded(errors_, "JFLibrary.txtDescription_LostFocus",
                       [this] { saveDescription(); });
    });
    const auto sizeEdited = [this] {
        if (!loading_) runGuarded(errors_, "JFLibrary.Size_LostFocus", [this] { saveSize(); });
    };
    for (QLineEdit* field : {rowsEdit_, columnsEdit_, front_->lineEdit(), rear_->lineEdit()})
        connect(field, &QLineEdit::editingFinished, this, sizeEdited);
    for (QComboBox* box : {front_, rear_}) connect(box, &QComboBox::activated, this, sizeEdited);
    connect(physical_, &PhysicalDataForm::edited, this, [this] {
        if (!loading_)
            runGuarded(errors_, "JFLibrary.Physical_LostFocus", [this] { savePhysicalData(); });
    });

    runGuarded(errors_, "JFLibrary.Form_Load", [this] { reloadManufacturers(); });
    resize(900, 560);
}

JackfieldLibraryWindow::~JackfieldLibraryWindow() = default;

void JackfieldLibraryWindow::command(int index) {
    switch (index) {
        case AddManufacturer:
            addManufacturer();
            break;
        case AddJackfield:
            addJackfield();
            break;
        case DeleteJackfield:
            deleteJackfield();
            break;
        case Assign:
            assign();
            break;
        case Close:
            accept();
            break;
        default:
            break;
    }
}

void JackfieldLibraryWindow::stepAside() {
    reopen_ = true;
    hide();
}

// ---- lists --------------------------------------------------------------------------------

void JackfieldLibraryWindow::reloadManufacturers() {
    makers_->reload();
    showManufacturer();
}

void JackfieldLibraryWindow::showManufacturer() {
    reloadModels();
}

void JackfieldLibraryWindow::reloadModels(std::optional<qint64> select) {
    if (!select) {
        const std::optional<db::LibraryJackfieldRecord> before = selected();
        if (before) select = before->id;
    }
    {
        QScopedValueRollback<bool> quiet(loading_, true);
        const std::optional<db::ManufacturerRecord> m = makers_->selected();
        rows_ = m ? library_.list(m->id, findModel_->text()) : QList<db::LibraryJackfieldRecord>();
        modelModel_->removeRows(0, modelModel_->rowCount());
        for (const db::LibraryJackfieldRecord& j : rows_)
            modelModel_->appendRow(new QStandardItem(j.name));
        for (int i = 0; select && i < rows_.size(); ++i)
            if (rows_[i].id == *select) modelList_->setCurrentIndex(modelModel_->index(i, 0));
    }
    showModel();
}

std::optional<db::LibraryJackfieldRecord> JackfieldLibraryWindow::selected() const {
    const int row = modelList_->currentIndex().row();
    if (row < 0 || row >= rows_.size()) return std::nullopt;
    return rows_[row];
}

void JackfieldLibraryWindow::showModel() {
    QScopedValueRollback<bool> quiet(loading_, true);
    const std::optional<db::LibraryJackfieldRecord> listed = selected();
    // Read again: the list may be older than the last edit.
    const std::optional<db::LibraryJackfieldRecord> j =
        listed ? library_.find(listed->id) : std::nullopt;
    const std::optional<db::ManufacturerRecord> m = makers_->selected();
    modelLabel_->setText(QStringLiteral("Jack Field Name: ") + (j ? j->name : QString()));
    makerLabel_->setText(QStringLiteral("Manufacturer Name: ") + (j   ? j->manufacturerName
                                                                  : m ? m->name
                                                                      : QString()));
    description_->setText(j ? j->description : QString());
    rowsEdit_->setText(j ? QString::number(j->rows) : QString());
    columnsEdit_->setText(j ? QString::number(j->columns) : QString());
    front_->setEditText(j ? j->frontConn : QString());
    rear_->setEditText(j ? j->rearConn : QString());
    physical_->showData((j ? library_.physicalData(j->id) : std::nullopt).value_or(PhysicalData{}));
    for (QWidget* w : std::initializer_list<QWidget*>{description_, rowsEdit_, columnsEdit_, front_,
                                                      rear_, physical_})
        w->setEnabled(j.has_value());
}

// ---- edits --------------------------------------------------------------------------------

void JackfieldLibraryWindow::saveDescription() {
    const std::optional<db::LibraryJackfieldRecord> j = selected();
    if (!j) return;
    const QString text = applyNameCase(description_->text(), nameCase_);
    {
        QScopedValueRollback<bool> quiet(loading_, true);
        description_->setText(text);
    }
    library_.setDescription(j->id, text);
}

void JackfieldLibraryWindow::saveSize() {
    const std::optional<db::LibraryJackfieldRecord> j = selected();
    if (!j) return;
    const bool written = library_.setSize(j->id, {rowsEdit_->text(), columnsEdit_->text(),
                                                  front_->currentText(), rear_->currentText()});
    // A refused size shows what is stored again.
    if (!written) showModel();
}

void JackfieldLibraryWindow::savePhysicalData() {
    const std::optional<db::LibraryJackfieldRecord> j = selected();
    if (!j) return;
    if (library_.setPhysicalData(j->id, physical_->data())) showModel();
}

// ---- commands -----------------------------------------------------------------------------

void JackfieldLibraryWindow::addManufacturer() {
    if (!a_.allowed(key::Add)) return;
    AddManufacturerDialog dialog(a_, QStringLiteral("JF"), this);
    a_.ui.runModal(dialog);
    if (dialog.added() > 0) reloadManufacturers();
}

void JackfieldLibraryWindow::addJackfield() {
    const std::optional<db::ManufacturerRecord> m = makers_->selected();
    if (!m) {
        a_.ui.message(tr("No manufacturer selected"), MsgButtons::Ok, MsgIcon::Information, kTitle);
        return;
    }
    if (!a_.allowed(key::Add)) return;
    AddJackfieldDialog dialog(a_, *m, nameCase_, this);
    a_.ui.runModal(dialog);
    if (dialog.lastAdded()) reloadModels(dialog.lastAdded());
}

void JackfieldLibraryWindow::deleteJackfield() {
    const std::optional<db::LibraryJackfieldRecord> j = selected();
    if (!j) {
        a_.ui.message(tr("No jack field selected"), MsgButtons::Ok, MsgIcon::Information, kTitle);
        return;
    }
    if (!library_.remove(j->id)) return;
    findModel_->clear();
    reloadModels();
}

void JackfieldLibraryWindow::assign() {
    const std::optional<db::LibraryJackfieldRecord> j = selected();
    if (!j) {
        a_.ui.message(tr("No jack field selected"), MsgButtons::Ok, MsgIcon::Information, kTitle);
        return;
    }
    if (sendToProject) sendToProject(*j);
}

}  // namespace tolvane
