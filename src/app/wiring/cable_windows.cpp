#include "app/wiring/cable_windows.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/shell/widget_helpers.h"
#include "equipment/cable_catalogue.h"
#include "equipment/equipment_models.h"
#include "equipment/library_access.h"
#include "shell/error_handler.h"
#include "ui/ui.h"
#include "wiring/cable_numbers.h"

namespace tolvane {

using namespace wiring;

// ---- Existing Assignment ---------------------------------------------------------------

ExistingAssignmentWindow::ExistingAssignmentWindow(AssignmentOptions& options,
                                                   const ExistingAssignment& existing,
                                                   AssignmentState& state, QWidget* parent)
    : QDialog(parent), options_(options), existing_(existing), state_(state) {
    setObjectName(QStringLiteral("frmExisting"));
    setWindowTitle(tr("Existing Assignment"));
    auto* explanation =
        named(new QLabel(AssignmentOptions::explanation(existing)), "lblExplanation");
    explanation->setWordWrap(true);
    prefix_ = named(new QLineEdit(existing.number.prefix()), "txtPrefix");
    single_ = named(new QComboBox, "cboExist");
    single_->addItems(options.singleCoreNumbers(existing.number.prefix()));
    multi_ = named(new QComboBox, "cboMC");
    multi_->addItems(options.multicoreNumbers());
    connect(prefix_, &QLineEdit::editingFinished, this, [this] {
        // Another prefix lists its own free numbers.
        runGuarded(errors_, "frmExisting.txtPrefix", [this] {
            single_->clear();
            single_->addItems(options_.singleCoreNumbers(prefix_->text().trimmed()));
        });
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    auto* prefixRow = new QHBoxLayout;
    prefixRow->addWidget(new QLabel(tr("Prefix:")));
    prefixRow->addWidget(prefix_);
    prefixRow->addStretch(1);
    layout->addLayout(prefixRow);
    const QStringList captions = AssignmentOptions::captions(existing);
    // In the order the choices read: keep, new, existing single, existing multicore, show the
    // database, cancel.
    choices_.resize(6);
    for (int index : {1, 2, 3, 4, 0, 5}) {
        auto* option = new QRadioButton(captions[index]);
        option->setObjectName(QStringLiteral("opt1_%1").arg(index));
        choices_[index] = option;
        layout->addWidget(option);
        if (index == 3) layout->addWidget(single_);
        if (index == 4) layout->addWidget(multi_);
    }
    choices_[1]->setChecked(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* okButton = namedButton("cmdOK", tr("OK"));
    connect(okButton, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "frmExisting.cmdOK", [this] { ok(); }); });
    buttons->addWidget(okButton);
    layout->addLayout(buttons);
    resize(560, sizeHint().height());
}

void ExistingAssignmentWindow::ok() {
    int option = 5;
    for (int i = 0; i < choices_.size(); ++i)
        if (choices_[i]->isChecked()) option = i;
    ExistingAssignment a = existing_;
    a.number = db::CableNumber(prefix_->text().trimmed(), a.number.stored());
    const QString chosen = option == 3 ? single_->currentText() : multi_->currentText();
    if ((option == 3 || option == 4) && chosen.isEmpty()) {
        QApplication::beep();
        return;
    }
    options_.apply(static_cast<ExistingOption>(option), a, chosen, state_);
    showDatabase_ = option == 0;
    accept();
}

void ExistingAssignmentWindow::reject() {
    state_.cancelled = true;  // closed without a choice: nothing is assigned
    QDialog::reject();
}

// ---- Verify Cable Settings -------------------------------------------------------------

VerifySettingsWindow::VerifySettingsWindow(Ui& ui, CableSettings& settings, AssignmentState& state,
                                           const db::Preferences& prefs, db::Connections& registry,
                                           QWidget* parent)
    : QDialog(parent),
      ui_(ui),
      settings_(settings),
      state_(state),
      prefs_(prefs),
      registry_(registry) {
    setObjectName(QStringLiteral("frmVerifySettings"));
    setWindowTitle(tr("Verify Cable Settings"));
    const auto label = [](const char* name, const QString& text) {
        auto* l = named(new QLabel(text), name);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    const auto edit = [](const char* name) { return named(new QLineEdit, name); };

    // The two ends side by side.
    auto* ends = new QGridLayout;
    ends->addWidget(new QLabel(tr("<b>Source</b>")), 0, 1);
    ends->addWidget(new QLabel(tr("<b>Destination</b>")), 0, 2);
    const auto row = [&](int r, const QString& caption, QWidget* a, QWidget* b) {
        ends->addWidget(new QLabel(caption), r, 0);
        ends->addWidget(a, r, 1);
        ends->addWidget(b, r, 2);
    };
    row(1, tr("Equipment:"), label("lblSRCEquip", settings.sourceEquipment),
        label("lblDestEquip", settings.destinationEquipment));
    row(2, tr("System:"), label("lblSRCSys", settings.sourceSystem),
        label("lblDestSys", settings.destinationSystem));
    row(3, tr("Pin:"), label("lblSRCPin", settings.sourcePin),
        label("lblDESTPin", settings.destinationPin));
    sourceConn_ = edit("txtSRCcONN");
    destConn_ = edit("txtDSTConn");
    sourceLoc_ = edit("txtSRCLoc");
    destLoc_ = edit("txtDESTLoc");
    sourceAlias_ = edit("txtSrcAlias");
    destAlias_ = edit("txtDestAlias");
    row(4, tr("Connector:"), sourceConn_, destConn_);
    row(5, tr("Location:"), sourceLoc_, destLoc_);
    row(6, tr("Alias:"), sourceAlias_, destAlias_);

    // The number.
    cableNo_ = named(new QLabel, "lblCableNo");
    QFont big = cableNo_->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    cableNo_->setFont(big);
    prefix_ = edit("txtPrefix");
    prefix_->setMaximumWidth(80);
    number_ = named(new QComboBox, "cboCableNo");
    number_->setEditable(true);
    number_->setInsertPolicy(QComboBox::NoInsert);
    number_->lineEdit()->setObjectName(QStringLiteral("txtCableNo"));
    number_->lineEdit()->setPlaceholderText(tr("Edit Cable Number Here."));
    number_->setToolTip(tr("Edit Cable Number Here."));
    QPushButton* previous = namedButton("cmdPrevious", tr("<"));
    QPushButton* next = namedButton("cmdNext", tr(">"));
    auto* numberRow = new QHBoxLayout;
    numberRow->addWidget(new QLabel(tr("Prefix:")));
    numberRow->addWidget(prefix_);
    numberRow->addWidget(new QLabel(tr("Number:")));
    numberRow->addWidget(number_, 1);
    numberRow->addWidget(previous);
    numberRow->addWidget(next);

    // The cable.
    signalType_ = named(new QComboBox, "cboSigType");
    manufacturer_ = named(new QComboBox, "cboManuSingle");
    partNumber_ = named(new QComboBox, "cboPN");
    single_ = named(new QRadioButton(tr("Single core")), "optCore0");
    multi_ = named(new QRadioButton(tr("Multi-core")), "optCore1");
    single_->setChecked(true);
    mode_ = named(new QLabel(tr("Single Core Cables:")), "lblMode");
    length_ = edit("txtLength");
    integrator_ = edit("txtIntegrator");
    auto* cableForm = new QFormLayout;
    cableForm->addRow(tr("Signal type:"), signalType_);
    auto* coreRow = new QHBoxLayout;
    coreRow->addWidget(single_);
    coreRow->addWidget(multi_);
    coreRow->addStretch(1);
    cableForm->addRow(tr("Cable:"), coreRow);
    cableForm->addRow(tr("Manufacturer:"), manufacturer_);
    cableForm->addRow(mode_, partNumber_);
    cableForm->addRow(tr("Length:"), length_);
    cableForm->addRow(tr("Integrator:"), integrator_);

    // A core of an existing multicore cable.
    auto* multicore = named(new QGroupBox(tr("Core of a multicore cable")), "framMulticore");
    mcCables_ = named(new QComboBox, "cboMCCableNo");
    cores_List_ = named(new QListWidget, "lstCores");
    cores_List_->setMaximumHeight(90);
    mcSourceExisting_ = edit("txtMCSRCex");
    mcDestExisting_ = edit("txtMCexDest");
    mcSourceExisting_->setReadOnly(true);
    mcDestExisting_->setReadOnly(true);
    mcSource_ = edit("txtMCSource");
    mcDest_ = edit("txtMCDest");
    auto* mcForm = new QFormLayout(multicore);
    mcForm->addRow(tr("Multicore cable:"), mcCables_);
    mcForm->addRow(tr("Its ends:"), [&] {
        auto* r = new QHBoxLayout;
        r->addWidget(mcSourceExisting_);
        r->addWidget(mcDestExisting_);
        return r;
    }());
    mcForm->addRow(tr("Cores:"), cores_List_);
    mcForm->addRow(tr("Core ends:"), [&] {
        auto* r = new QHBoxLayout;
        r->addWidget(mcSource_);
        r->addWidget(mcDest_);
        return r;
    }());

    QPushButton* updateButton = namedButton("cmdUpdate", tr("Update"));
    updateButton->setDefault(true);
    QPushButton* buildButton = namedButton("cmdSingleOK", tr("Build Multi-core"));
    QPushButton* cancel = namedButton("cmdCancel", tr("Cancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(buildButton);
    buttons->addWidget(updateButton);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(cableNo_, 0, Qt::AlignHCenter);
    layout->addLayout(numberRow);
    layout->addLayout(ends);
    layout->addLayout(cableForm);
    layout->addWidget(multicore);
    layout->addLayout(buttons);

    const auto guarded = [this](const char* where, auto f) {
        return [this, where, f](auto&&...) { runGuarded(errors_, where, f); };
    };
    connect(signalType_, &QComboBox::textActivated, this,
            guarded("frmVerifySettings.cboSigType",
                    [this] { chooseSignalType(signalType_->currentText()); }));
    connect(manufacturer_, &QComboBox::activated, this,
            guarded("frmVerifySettings.cboManuSingle", [this] { chooseManufacturer(); }));
    connect(prefix_, &QLineEdit::editingFinished, this,
            guarded("frmVerifySettings.txtPrefix", [this] {
                settings_.prefix = prefix_->text().trimmed();
                fillNumbers({});
            }));
    connect(
        number_, &QComboBox::currentTextChanged, this,
        guarded("frmVerifySettings.cboCableNo", [this] { chooseNumber(number_->currentText()); }));
    connect(previous, &QPushButton::clicked, this, [this] { step(-1); });
    connect(next, &QPushButton::clicked, this, [this] { step(1); });
    connect(single_, &QRadioButton::toggled, this,
            guarded("frmVerifySettings.optCore", [this] { setMulticore(multi_->isChecked()); }));
    connect(mcCables_, &QComboBox::activated, this,
            guarded("frmVerifySettings.cboMCCableNo",
                    [this] { chooseMulticore(mcCables_->currentIndex()); }));
    const db::NameCase nameCase = prefs.nameCase();
    for (QLineEdit* e : {mcSource_, mcDest_})
        connect(e, &QLineEdit::editingFinished, this,
                [e, nameCase] { e->setText(equipment::applyNameCase(e->text(), nameCase)); });
    connect(updateButton, &QPushButton::clicked, this,
            guarded("frmVerifySettings.cmdUpdate", [this] { update(); }));
    connect(buildButton, &QPushButton::clicked, this,
            guarded("frmVerifySettings.cmdSingleOK", [this] {
                multi_->setChecked(true);
                update();
            }));
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
    load();
}

qint64 VerifySettingsWindow::startNo() const {
    bool ok = false;
    const qint64 n = prefs_.value(db::pref::CablesStartNo).toLongLong(&ok);
    return ok ? n : 1;
}

void VerifySettingsWindow::load() {
    sourceConn_->setText(settings_.sourceConnector);
    destConn_->setText(settings_.destinationConnector);
    sourceLoc_->setText(settings_.sourceLocation);
    destLoc_->setText(settings_.destinationLocation);
    sourceAlias_->setText(settings_.sourceAlias);
    destAlias_->setText(settings_.destinationAlias);
    length_->setText(settings_.length);
    integrator_->setText(settings_.integrator);
    prefix_->setText(settings_.prefix);
    signalType_->addItems(signalTypeNames(registry_));
    signalType_->setCurrentIndex(signalType_->findText(settings_.signalType));
    for (const db::CableManufacturer& m : db::cableManufacturers(registry_))
        manufacturer_->addItem(m.name, m.id);
    manufacturer_->setCurrentIndex(manufacturer_->findText(settings_.manufacturer));
    // The mode follows the cable type offered: a multicore type shows the multicore types.
    for (const db::CableTypeEntry& t : db::cableTypesOf(manufacturer_->currentData(), registry_))
        if (t.type == settings_.cableType && t.multicore) {
            const QSignalBlocker quiet(single_);
            multi_->setChecked(true);
            mode_->setText(tr("Multi-core Cables:"));
        }
    chooseManufacturer();
    multicores_ = db::CableTable(registry_).multicoreCables();
    mcCables_->addItem(QString());
    for (const db::CableRecord& m : multicores_) mcCables_->addItem(m.number.displayed());
    fillNumbers(settings_.number);
    // The existing-assignment window chose a multicore cable: its cores are offered.
    for (int i = 0; i < multicores_.size() && !state_.parentNumber.isEmpty(); ++i)
        if (multicores_[i].number.stored() == state_.parentNumber) {
            mcCables_->setCurrentIndex(i + 1);
            chooseMulticore(i + 1);
            multi_->setChecked(true);
            for (int c = 0; c < cores_.size(); ++c)
                if (cores_[c].id == state_.presetCore.id) cores_List_->setCurrentRow(c);
        }
}

void VerifySettingsWindow::fillNumbers(const QString& first) {
    const QSignalBlocker quiet(number_);
    number_->clear();
    CableNumbers numbers(registry_);
    number_->addItem(first.isEmpty() ? numbers.next(settings_.prefix, startNo()) : first);
    for (const QString& n : numbers.reusable(settings_.prefix))
        if (n != number_->itemText(0)) number_->addItem(n);
    number_->setCurrentIndex(0);
    chooseNumber(number_->currentText());
}

void VerifySettingsWindow::chooseNumber(const QString& number) {
    // A number shown with a trailing "*" stands for a multicore cable: the window turns to the
    // multicore cables, one of which the user picks, and the number box is emptied.
    if (number.trimmed().endsWith(QLatin1Char('*'))) {
        settings_.number.clear();
        multi_->setChecked(true);
        cableNo_->setText(tr("Select a Cable"));
        const QSignalBlocker quiet(number_);
        number_->setEditText(QString());
        return;
    }
    settings_.number = number.trimmed();
    cableNo_->setText(settings_.cableNumber().displayed());
    // A number whose row is a multicore cable keeps its cable type.
    const QList<db::CableRecord> rows =
        db::CableTable(registry_).withNumber({settings_.prefix, settings_.number});
    const bool fixed = !rows.isEmpty() && rows.first().multiCore;
    manufacturer_->setEnabled(!fixed);
    partNumber_->setEnabled(!fixed);
}

void VerifySettingsWindow::step(int by) {
    const int to = number_->currentIndex() + by;
    if (to >= 0 && to < number_->count()) number_->setCurrentIndex(to);  // ends stay put
}

void VerifySettingsWindow::chooseSignalType(const QString& type) {
    equipment::CableCatalogue catalogue(equipment::LibraryAccess(ui_, registry_));
    const std::optional<db::SignalTypeRecord> s = catalogue.signalType(type);
    if (!s) {
        ui_.message(QStringLiteral("a reference to the Signal Type: %1 is missing from the "
                                   "database. Please select another")
                        .arg(type),
                    MsgButtons::Ok, MsgIcon::Warning);
        const QSignalBlocker quiet(signalType_);
        signalType_->setCurrentIndex(signalType_->findText(settings_.signalType));
        return;
    }
    settings_.signalType = type;
    settings_.prefix = s->cableNoPrefix;
    prefix_->setText(settings_.prefix);
    settings_.manufacturer = !s->cableManu.isEmpty()
                                 ? s->cableManu
                                 : prefs_.value(db::pref::CableTypeDefManu).toString();
    settings_.cableType =
        !s->cableType.isEmpty() ? s->cableType : prefs_.value(db::pref::CableTypeDefPn).toString();
    manufacturer_->setCurrentIndex(manufacturer_->findText(settings_.manufacturer));
    chooseManufacturer();
    fillNumbers({});
}

void VerifySettingsWindow::chooseManufacturer() {
    partNumber_->clear();
    const QVariant id = manufacturer_->currentData();
    if (id.isValid()) settings_.manufacturer = manufacturer_->currentText();
    const bool multi = multi_->isChecked();
    for (const db::CableTypeEntry& t : db::cableTypesOf(id, registry_))
        if (t.multicore == multi) partNumber_->addItem(t.type);
    partNumber_->setCurrentIndex(std::max(0, partNumber_->findText(settings_.cableType)));
}

void VerifySettingsWindow::setMulticore(bool on) {
    mode_->setText(on ? tr("Multi-core Cables:") : tr("Single Core Cables:"));
    chooseManufacturer();
}

void VerifySettingsWindow::chooseMulticore(int row) {
    cores_List_->clear();
    cores_.clear();
    mcSourceExisting_->clear();
    mcDestExisting_->clear();
    if (row < 1 || row > multicores_.size()) return;
    const db::CableRecord& m = multicores_[row - 1];
    mcSourceExisting_->setText(m.source.system);
    mcDestExisting_->setText(m.destination.system);
    cores_ = db::CoreTable(registry_).ofCable(m.id);
    for (const db::CoreRecord& c : cores_) {
        const QString number = c.number.stored();
        cores_List_->addItem(c.available ? number : number + tr(" Assigned!"));
    }
}

void VerifySettingsWindow::update() {
    settings_.sourceConnector = sourceConn_->text();
    settings_.destinationConnector = destConn_->text();
    settings_.sourceLocation = sourceLoc_->text();
    settings_.destinationLocation = destLoc_->text();
    settings_.sourceAlias = sourceAlias_->text();
    settings_.destinationAlias = destAlias_->text();
    settings_.length = length_->text();
    settings_.integrator = integrator_->text();
    settings_.prefix = prefix_->text().trimmed();
    settings_.number = number_->currentText().trimmed();
    settings_.cableType = partNumber_->currentText();
    settings_.coreId = 0;
    const int core = cores_List_->currentRow();
    if (mcCables_->currentIndex() > 0 && (core < 0 || core >= cores_.size())) {
        ui_.message(tr("Choose a free core of the cable %1.").arg(mcCables_->currentText()),
                    MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    if (mcCables_->currentIndex() > 0) {
        if (!cores_[core].available) {
            ui_.message(tr("The core %1 is assigned already. Choose a free one.")
                            .arg(cores_[core].number.stored()),
                        MsgButtons::Ok, MsgIcon::Warning);
            return;
        }
        settings_.coreId = cores_[core].id;
        const db::CableRecord& m = multicores_[mcCables_->currentIndex() - 1];
        settings_.prefix = m.number.prefix();
        settings_.number = cores_[core].number.stored();
    }
    const QString why = CableWriter(ui_, registry_).refusal(settings_);
    if (!why.isEmpty()) {
        ui_.message(why, MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    accept();
}

void VerifySettingsWindow::reject() {
    state_.cancelled = true;
    QDialog::reject();
}

}  // namespace tolvane
