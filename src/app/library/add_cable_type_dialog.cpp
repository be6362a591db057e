// The add-cable-type window.
#include "app/library/add_cable_type_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/shell/widget_helpers.h"

namespace tolvane {

using namespace equipment;

namespace {

QComboBox* editableList(const char* name, const QStringList& items) {
    auto* c = named(new QComboBox, name);
    c->setEditable(true);
    c->addItems(items);
    c->setCurrentIndex(-1);
    return c;
}

}  // namespace

const QStringList& AddCableTypeDialog::ratings() {
    static const QStringList list = {
        QStringLiteral("CM"),   QStringLiteral("CMG"),  QStringLiteral("CMP"),
        QStringLiteral("CMR"),  QStringLiteral("CMX"),  QStringLiteral("CL2"),
        QStringLiteral("CL3"),  QStringLiteral("CL2P"), QStringLiteral("CL3P"),
        QStringLiteral("LSZH"), QStringLiteral("OFNR"), QStringLiteral("OFNP")};
    return list;
}

const QStringList& AddCableTypeDialog::shieldings() {
    static const QStringList list = {QStringLiteral("Unshielded"),
                                     QStringLiteral("Foil"),
                                     QStringLiteral("Braid"),
                                     QStringLiteral("Foil + Braid"),
                                     QStringLiteral("Individually Foiled Pairs"),
                                     QStringLiteral("Individually Foiled Pairs + Overall Braid")};
    return list;
}

AddCableTypeDialog::AddCableTypeDialog(LibraryAccess access, const db::ManufacturerRecord& maker,
                                       QWidget* parent)
    : QDialog(parent), catalogue_(access), maker_(maker) {
    setObjectName(QStringLiteral("frmAddCableType"));
    setWindowTitle(QStringLiteral("Add ") + maker.name + QStringLiteral(" Cables"));

    part_ = named(new QLineEdit, "txtPartNumber");
    description_ = named(new QLineEdit, "txtDescription");
    impedance_ = named(new QLineEdit, "txtImpedance");
    gauge_ = named(new QLineEdit, "txtGauge");
    conductors_ = named(new QLineEdit, "txtConductors");
    rating_ = editableList("cboRating", ratings());
    shielding_ = editableList("cboShielding", shieldings());
    multicore_ = named(new QCheckBox(tr("Multicore")), "chkMulticore");
    cores_ = named(new QLineEdit, "txtCores");
    scheme_ = named(new QComboBox, "cboScheme");
    scheme_->addItems(
        {QString::fromLatin1(db::kNumberedScheme), QString::fromLatin1(db::kColorCodedScheme)});
    connect(multicore_, &QCheckBox::toggled, this, [this](bool on) {
        cores_->setEnabled(on);
        scheme_->setEnabled(on);
    });

    auto* form = new QFormLayout;
    form->addRow(tr("Part Number:"), part_);
    form->addRow(tr("Description:"), description_);
    form->addRow(tr("Impedance:"), impedance_);
    form->addRow(tr("Gauge:"), gauge_);
    form->addRow(tr("Conductors:"), conductors_);
    form->addRow(tr("Rating:"), rating_);
    form->addRow(tr("Shielding:"), shielding_);
    form->addRow(QString(), multicore_);
    form->addRow(tr("Cores:"), cores_);
    form->addRow(tr("Core Scheme:"), scheme_);

    auto* saveButton = named(new QPushButton(tr("Save")), "cmdSave");
    saveButton->setAutoDefault(false);
    connect(saveButton, &QPushButton::clicked, this, &AddCableTypeDialog::save);
    auto* close = named(new QPushButton(tr("Close")), "cmdClose");
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(saveButton);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    clear();
}

void AddCableTypeDialog::clear() {
    for (QLineEdit* e : {part_, description_, impedance_, gauge_, conductors_}) e->clear();
    rating_->setCurrentIndex(-1);
    shielding_->setCurrentIndex(-1);
    multicore_->setChecked(false);
    cores_->setText(QStringLiteral("1"));
    scheme_->setCurrentIndex(0);
    cores_->setEnabled(false);
    scheme_->setEnabled(false);
    part_->setFocus();
}

void AddCableTypeDialog::save() {
    db::CableTypeRecord e;
    e.manufacturerId = maker_.id;
    e.partNumber = part_->text();
    e.description = description_->text();
    e.charZ = impedance_->text();
    e.gauge = gauge_->text();
    e.conductors = conductors_->text();
    e.rating = rating_->currentText();
    e.shielding = shielding_->currentText();
    e.multicore = multicore_->isChecked();
    // A count that is not a number reaches the catalogue as 0, which it refuses.
    e.cores = cores_->text().trimmed().toInt();
    e.scheme = scheme_->currentText();
    const std::optional<qint64> id = catalogue_.addCableType(e);
    if (!id) return;
    last_ = id;
    clear();
}

}  // namespace tolvane
