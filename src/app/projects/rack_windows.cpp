#include "app/projects/rack_windows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/shell/widget_helpers.h"
#include "equipment/racks.h"
#include "shell/error_handler.h"
#include "ui/ui.h"
#include "wiring/project_check.h"

namespace tolvane {

namespace {

QTableWidget* readOnlyGrid(const char* name, const QStringList& headers) {
    auto* grid = named(new QTableWidget(0, int(headers.size())), name);
    grid->setHorizontalHeaderLabels(headers);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setStretchLastSection(true);
    return grid;
}

void setRow(QTableWidget* grid, int row, const QStringList& cells) {
    for (int c = 0; c < cells.size(); ++c) grid->setItem(row, c, new QTableWidgetItem(cells[c]));
}

QString optionalNumber(const std::optional<double>& v) {
    return v ? equipment::budgetNumber(*v) : QString();
}

}  // namespace

RacksWindow::RacksWindow(Ui& ui, db::Connections& registry, QWidget* parent)
    : QDialog(parent), ui_(ui), registry_(registry) {
    setObjectName(QStringLiteral("frmRacks"));
    setWindowTitle(tr("Racks"));
    grid_ = readOnlyGrid("grdRacks", {tr("Rack"), tr("Height (RU)"), tr("Power capacity (W)"),
                                      tr("Weight limit (kg)"), tr("Description")});
    grid_->setMinimumWidth(620);
    name_ = named(new QLineEdit, "txtName");
    height_ = named(new QLineEdit, "txtHeight");
    unit_ = named(new QComboBox, "cboHeightUnit");
    unit_->addItems({QStringLiteral("RU"), QStringLiteral("in")});
    power_ = named(new QLineEdit, "txtPower");
    weight_ = named(new QLineEdit, "txtWeight");
    description_ = named(new QLineEdit, "txtDescription");
    undefined_ = named(new QListWidget, "lstUndefined");
    undefined_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    undefined_->setMaximumHeight(110);

    auto* heightRow = new QHBoxLayout;
    heightRow->addWidget(height_, 1);
    heightRow->addWidget(unit_);
    auto* form = new QFormLayout;
    form->addRow(tr("Rack name:"), name_);
    form->addRow(tr("Height:"), heightRow);
    form->addRow(tr("Power capacity (W):"), power_);
    form->addRow(tr("Weight limit (kg):"), weight_);
    form->addRow(tr("Description:"), description_);

    QPushButton* add = namedButton("cmdAdd", tr("Add"));
    QPushButton* save = namedButton("cmdSave", tr("Save"));
    QPushButton* remove = namedButton("cmdDelete", tr("Delete"));
    QPushButton* create = namedButton("cmdCreate", tr("Create Racks"));
    QPushButton* close = namedButton("cmdClose", tr("Close"));
    auto guarded = [this](QPushButton* b, const char* procedure, void (RacksWindow::*f)()) {
        connect(b, &QPushButton::clicked, this,
                [this, procedure, f] { runGuarded(errors_, procedure, [&] { (this->*f)(); }); });
    };
    guarded(add, "Racks.cmdAdd", &RacksWindow::add);
    guarded(save, "Racks.cmdSave", &RacksWindow::save);
    guarded(remove, "Racks.cmdDelete", &RacksWindow::remove);
    guarded(create, "Racks.cmdCreate", &RacksWindow::createChosen);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(grid_, &QTableWidget::itemSelectionChanged, this, [this] { chosen(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(save);
    buttons->addWidget(remove);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* undefinedRow = new QHBoxLayout;
    undefinedRow->addWidget(undefined_, 1);
    undefinedRow->addWidget(create, 0, Qt::AlignTop);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(named(new QLabel(tr("Locations of systems that name no rack yet (created "
                                          "at %1 RU):")
                                           .arg(equipment::kDefaultRackHeight)),
                            "lblUndefined"));
    layout->addLayout(undefinedRow);
    height_->setText(QString::number(equipment::kDefaultRackHeight));
}

void RacksWindow::load() {
    equipment::RackBook book(registry_);
    racks_ = book.racks();
    const QSignalBlocker quiet(grid_);
    grid_->setRowCount(int(racks_.size()));
    for (int row = 0; row < racks_.size(); ++row) {
        const db::RackRecord& r = racks_[row];
        setRow(grid_, row,
               {r.name, QString::number(r.height), optionalNumber(r.powerLimit),
                optionalNumber(r.weightLimit), r.description});
    }
    grid_->resizeColumnsToContents();
    grid_->horizontalHeader()->setStretchLastSection(true);
    undefined_->clear();
    undefined_->addItems(book.undefinedLocations());
}

const db::RackRecord* RacksWindow::current() const {
    const QList<QTableWidgetItem*> items = grid_->selectedItems();
    if (items.isEmpty()) return nullptr;
    const int row = items.first()->row();
    return row >= 0 && row < racks_.size() ? &racks_[row] : nullptr;
}

void RacksWindow::chosen() {
    const db::RackRecord* r = current();
    if (!r) return;
    name_->setText(r->name);
    height_->setText(QString::number(r->height));
    unit_->setCurrentIndex(0);
    power_->setText(optionalNumber(r->powerLimit));
    weight_->setText(optionalNumber(r->weightLimit));
    description_->setText(r->description);
}

equipment::RackEntry RacksWindow::entry() const {
    return {name_->text(),  height_->text(), unit_->currentText(),
            power_->text(), weight_->text(), description_->text()};
}

void RacksWindow::add() {
    auto parsed = equipment::rackFromEntry(entry());
    if (const QString* problem = std::get_if<QString>(&parsed)) {
        ui_.message(*problem, MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    db::RackRecord rack = std::get<db::RackRecord>(parsed);
    if (const auto problem = equipment::storeRack(registry_, rack)) {
        ui_.message(*problem, MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    load();
}

void RacksWindow::save() {
    const db::RackRecord* r = current();
    if (!r) {
        ui_.message(QStringLiteral("Choose the rack to save first."), MsgButtons::Ok,
                    MsgIcon::Warning);
        return;
    }
    auto parsed = equipment::rackFromEntry(entry());
    if (const QString* problem = std::get_if<QString>(&parsed)) {
        ui_.message(*problem, MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    db::RackRecord rack = std::get<db::RackRecord>(parsed);
    rack.id = r->id;
    if (const auto problem = equipment::storeRack(registry_, rack)) {
        ui_.message(*problem, MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    load();
}

void RacksWindow::remove() {
    const db::RackRecord* r = current();
    if (!r) {
        ui_.message(QStringLiteral("Choose the rack to delete first."), MsgButtons::Ok,
                    MsgIcon::Warning);
        return;
    }
    if (ui_.message(
            QStringLiteral("Delete the rack %1? Its systems keep their location.").arg(r->name),
            MsgButtons::YesNo, MsgIcon::Question) != MsgButton::Yes)
        return;
    db::RackTable(registry_).remove(r->id);
    load();
}

void RacksWindow::createChosen() {
    QStringList names;
    for (const QListWidgetItem* item : undefined_->selectedItems()) names << item->text();
    if (names.isEmpty()) {
        ui_.message(QStringLiteral("Choose the locations to make racks of first."), MsgButtons::Ok,
                    MsgIcon::Warning);
        return;
    }
    equipment::createRacks(registry_, names);
    load();
}

RackElevationWindow::RackElevationWindow(const QStringList& racks, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmRackElevation"));
    setWindowTitle(tr("Rack Elevation"));
    racks_ = named(new QListWidget, "lstRacks");
    racks_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    racks_->addItems(racks);
    if (racks.size() == 1) racks_->item(0)->setSelected(true);
    blank_ = named(new QCheckBox(tr("Blank panels over the empty spaces")), "chkBlankPanels");
    QPushButton* ok = namedButton("cmdOK", tr("Draw"));
    QPushButton* cancel = namedButton("cmdCancel", tr("Cancel"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("The racks to draw, each on a sheet of its own:")));
    layout->addWidget(racks_, 1);
    layout->addWidget(blank_);
    layout->addLayout(buttons);
}

QStringList RackElevationWindow::chosenRacks() const {
    QStringList out;
    for (int i = 0; i < racks_->count(); ++i)
        if (racks_->item(i)->isSelected()) out << racks_->item(i)->text();
    return out;
}

bool RackElevationWindow::blankPanels() const {
    return blank_->isChecked();
}

RackFindingsWindow::RackFindingsWindow(const QList<equipment::RackProblem>& problems,
                                       QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmRackFindings"));
    setWindowTitle(tr("Rack Elevation: systems not drawn"));
    QTableWidget* grid =
        readOnlyGrid("grdFindings", {tr("Finding"), tr("Rack"), tr("System"), tr("Text")});
    grid->setRowCount(int(problems.size()));
    for (int row = 0; row < problems.size(); ++row) {
        const equipment::RackProblem& p = problems[row];
        setRow(grid, row,
               {wiring::kindWord(wiring::rackFindingKind(p.kind)), p.rack, p.system, p.text});
    }
    grid->resizeColumnsToContents();
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->setMinimumWidth(760);
    auto* summary =
        named(new QLabel(tr("%n system(s) could not be drawn; they are left out of their sheets.",
                            "", int(problems.size()))),
              "lblSummary");
    QPushButton* close = namedButton("cmdClose", tr("Close"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(grid, 1);
    layout->addLayout(buttons);
}

}  // namespace tolvane
