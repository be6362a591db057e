// The jack-assignment and jackfield-deletion windows.
#include "app/jackfields/project_jackfield_windows.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/shell/widget_helpers.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "jackfields/jackfield_project.h"
#include "shell/error_handler.h"
#include "ui/ui.h"

namespace tolvane {

using namespace jackfields;

QString noJackfieldsMessage() {
    return QStringLiteral("You have not assigned any Jack Fields to your project.");
}

JackfieldNavigator::JackfieldNavigator(QWidget* parent) : QWidget(parent) {
    names_ = named(new QComboBox, "cboJFSysName");
    number_ = named(new QLineEdit, "txtJFSysID");
    number_->setReadOnly(true);
    number_->setMaximumWidth(60);
    connect(names_, &QComboBox::textActivated, this, &JackfieldNavigator::chooseName);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(tr("Jack Field:")));
    row->addWidget(names_, 1);
    row->addWidget(new QLabel(tr("Number:")));
    row->addWidget(number_);
    const auto step = [this, row](const char* name, const QString& text, auto to) {
        QPushButton* b = namedButton(name, text);
        b->setMaximumWidth(36);
        connect(b, &QPushButton::clicked, this, to);
        row->addWidget(b);
    };
    step("cmdFirst", tr("|<"), [this] { show(0); });
    step("cmdPrevious", tr("<"), [this] { show(position_ - 1); });
    step("cmdNext", tr(">"), [this] { show(position_ + 1); });
    step("cmdLast", tr(">|"), [this] { show(int(ofName_.size()) - 1); });
}

void JackfieldNavigator::load(const QList<db::JackfieldRecord>& all, qint64 showId) {
    all_ = all;
    names_->clear();
    names_->addItems(systemNames(all));
    const db::JackfieldRecord* wanted = nullptr;
    for (const db::JackfieldRecord& jf : all_)
        if (jf.id == showId) wanted = &jf;
    if (!wanted && !all_.isEmpty()) wanted = &all_.first();
    if (!wanted) {
        ofName_.clear();
        show(-1);
        return;
    }
    const qint64 id = wanted->id;
    names_->setCurrentText(wanted->sysName);
    chooseName(wanted->sysName);
    for (int i = 0; i < ofName_.size(); ++i)
        if (ofName_[i].id == id) show(i);
}

const db::JackfieldRecord* JackfieldNavigator::current() const {
    return position_ >= 0 && position_ < ofName_.size() ? &ofName_[position_] : nullptr;
}

void JackfieldNavigator::chooseName(const QString& name) {
    ofName_.clear();
    for (const db::JackfieldRecord& jf : all_)
        if (jf.sysName == name) ofName_ << jf;
    show(0);
}

void JackfieldNavigator::show(int position) {
    if (ofName_.isEmpty()) {
        position_ = -1;
        number_->clear();
        Q_EMIT currentChanged();
        return;
    }
    position_ = std::clamp(position, 0, int(ofName_.size()) - 1);
    number_->setText(twoDigits(ofName_[position_].number));
    Q_EMIT currentChanged();
}

AssignJackWindow::AssignJackWindow(Ui& ui, Drawing& drawing, const QString& jack,
                                   bool showConnectors, db::Connections& registry, QWidget* parent)
    : QDialog(parent),
      ui_(ui),
      drawing_(drawing),
      jack_(jack),
      showConnectors_(showConnectors),
      registry_(registry) {
    setObjectName(QStringLiteral("frmAssignJack"));
    setWindowTitle(tr("Assign Jack"));
    navigator_ = new JackfieldNavigator(this);
    grid_ = named(new QTableWidget, "grdJacks");
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setDefaultSectionSize(48);
    column_ = named(new QComboBox, "cboColumn");
    // The cell chosen in the grid and the column chosen in the list are one choice.
    connect(grid_, &QTableWidget::currentCellChanged, this,
            [this](int, int c) { column_->setCurrentIndex(c >= 2 ? c - 2 : -1); });
    connect(column_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (i >= 0 && grid_->currentColumn() != i + 2) grid_->setCurrentCell(1, i + 2);
    });
    connect(navigator_, &JackfieldNavigator::currentChanged, this,
            [this] { runGuarded(errors_, "AssignJack.Grid", [this] { fillGrid(); }); });

    QPushButton* ok = namedButton("cmdOK", tr("OK"));
    QPushButton* cancel = namedButton("cmdCancel", tr("Cancel"));
    connect(ok, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "AssignJack.cmdOK", [this] { this->ok(); }); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* columnRow = new QHBoxLayout;
    columnRow->addWidget(new QLabel(tr("Column:")));
    columnRow->addWidget(column_);
    columnRow->addStretch();
    columnRow->addWidget(ok);
    columnRow->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(navigator_);
    layout->addWidget(grid_, 1);
    layout->addLayout(columnRow);
    resize(760, 300);

    // A jack tied before opens on its own jackfield.
    const cad::Entity* e = drawing_.document().find(jack_);
    const qint64 jfid = e ? tag::ref1(*e).toLongLong() : 0;
    navigator_->load(projectJackfields(registry_), jfid);
}

void AssignJackWindow::fillGrid() {
    grid_->clear();
    columns_.clear();
    column_->clear();
    const db::JackfieldRecord* jf = navigator_->current();
    if (!jf) return;
    const QList<db::JackPosition> positions = positionsOf(jf->id, registry_);
    columns_ = columnsOf(positions);
    const bool two = jf->rows > 1;
    // Row labels: the sheets of row A above it, of row B below it.
    const QList<QStringList> labels =
        two ? QList<QStringList>{{"", "Sheet"}, {"Source", "A"}, {"Dest", "B"}, {"", "Sheet"}}
            : QList<QStringList>{{"", "Sheet"}, {"S/D", "A"}};
    grid_->setRowCount(int(labels.size()));
    grid_->setColumnCount(2 + int(columns_.size()));
    QStringList headers = {QString(), QString()};
    headers << columns_;
    grid_->setHorizontalHeaderLabels(headers);
    const auto fixed = [this](int r, int c, const QString& text) {
        auto* item = new QTableWidgetItem(text);
        item->setFlags(Qt::ItemIsEnabled);
        item->setBackground(palette().button());
        grid_->setItem(r, c, item);
    };
    for (int r = 0; r < labels.size(); ++r) {
        fixed(r, 0, labels[r][0]);
        fixed(r, 1, labels[r][1]);
    }
    const QString firstRow = positions.isEmpty() ? QString() : positions.first().row;
    for (const db::JackPosition& p : positions) {
        const int c = 2 + int(columns_.indexOf(p.column));
        const bool second = p.row != firstRow;
        if (second && !two) continue;
        auto* cell = new QTableWidgetItem(p.row);
        cell->setTextAlignment(Qt::AlignCenter);
        cell->setBackground(p.assigned ? QColor(255, 0, 0) : QColor(0, 255, 0));
        cell->setToolTip(p.assigned ? tr("Built on %1").arg(p.sheet) : tr("Free"));
        grid_->setItem(second ? 2 : 1, c, cell);
        if (p.assigned) fixed(second ? 3 : 0, c, p.sheet);
    }
    // Wide enough for the sheet names, never narrower than a jack.
    grid_->resizeColumnsToContents();
    for (int c = 2; c < grid_->columnCount(); ++c)
        grid_->setColumnWidth(c, std::max(grid_->columnWidth(c), 48));
    column_->addItems(columns_);
    column_->setCurrentIndex(-1);
    grid_->setCurrentCell(-1, -1);
}

void AssignJackWindow::ok() {
    const db::JackfieldRecord* jf = navigator_->current();
    const int c = column_->currentIndex();
    if (!jf || c < 0 || c >= columns_.size()) {
        ui_.message(QStringLiteral("Select a cell"));
        return;
    }
    assignJack(drawing_, jack_, *jf, columns_[c], showConnectors_, registry_);
    accept();
}

DeleteJackfieldWindow::DeleteJackfieldWindow(Ui& ui, db::Connections& registry, QWidget* parent)
    : QDialog(parent), ui_(ui), registry_(registry) {
    setObjectName(QStringLiteral("frmDeleteJF"));
    setWindowTitle(tr("Delete Jack Field"));
    navigator_ = new JackfieldNavigator(this);
    QPushButton* remove = namedButton("cmdDelete", tr("Delete"));
    QPushButton* cancel = namedButton("cmdCancel", tr("Cancel"));
    connect(remove, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "DeleteJF.cmdDelete", [this] { this->remove(); }); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(remove);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(navigator_);
    layout->addLayout(buttons);
}

bool DeleteJackfieldWindow::load() {
    const QList<db::JackfieldRecord> all = projectJackfields(registry_);
    if (all.isEmpty()) {
        ui_.beep();
        ui_.message(noJackfieldsMessage());
        return false;
    }
    navigator_->load(all);
    return true;
}

void DeleteJackfieldWindow::remove() {
    const MsgButton answer = ui_.message(
        QStringLiteral("This function will delete all of the Jacks associated with the selected "
                       "Jack Field. This function cannot be undone. Proceed?"),
        MsgButtons::YesNo, MsgIcon::Question);
    if (answer != MsgButton::Yes) return;
    const db::JackfieldRecord* jf = navigator_->current();
    if (!jf) return;
    removeJackfield(jf->id, registry_);
    navigator_->load(projectJackfields(registry_));
}

}  // namespace tolvane
