// The conflict viewer window.
#include "app/admin/conflict_viewer_window.h"

#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include "app/shell/widget_helpers.h"
#include "db/conflicts.h"
#include "db/records/projects.h"
#include "db/setup.h"
#include "front/widget_driver.h"
#include "shell/error_handler.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

constexpr int kPathRole = Qt::UserRole + 1;

enum Action { Keep = 0, Use = 1, Delete = 2 };

QTableView* grid(const char* name, QStandardItemModel* model) {
    auto* view = named(new QTableView, name);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    return view;
}

// Fills a grid with rows; the row identities and the viewer's own columns are not shown.
void fill(QTableView* view, QStandardItemModel* model, const db::RowSet& set, db::DbKind kind) {
    model->clear();
    model->setColumnCount(int(set.columns.size()));
    // Headers in words; scripts read and address the fields by name.
    for (int c = 0; c < set.columns.size(); ++c) {
        model->setHeaderData(c, Qt::Horizontal, fieldCaption(kind, set.columns[c]));
        model->setHeaderData(c, Qt::Horizontal, set.columns[c], kFieldNameRole);
    }
    for (const QVariantList& values : set.rows) {
        QList<QStandardItem*> row;
        for (const QVariant& v : values) {
            auto* item = new QStandardItem(v.isNull() ? QString() : v.toString());
            item->setData(v, Qt::UserRole);
            row << item;
        }
        model->appendRow(row);
    }
    for (int c = 0; c < set.columns.size(); ++c) {
        const QString name = set.columns[c];
        const bool hidden = name.startsWith(QLatin1String("s_"), Qt::CaseInsensitive) ||
                            name.compare(db::kConflictId, Qt::CaseInsensitive) == 0 ||
                            name.compare(db::kConflictReason, Qt::CaseInsensitive) == 0 ||
                            name.compare(db::kConflictRowGuid, Qt::CaseInsensitive) == 0;
        view->setColumnHidden(c, hidden);
    }
    view->resizeColumnsToContents();
}

QString reasonText(db::ConflictReason reason) {
    switch (reason) {
        case db::ConflictReason::Changed:
            return QStringLiteral(
                "The reason for the conflict is that duplicate records with "
                "disparate data where found.\r\n Choose whether to keep the "
                "existing record or to replace it with the conflicting record.");
        case db::ConflictReason::Deleted:
            return QStringLiteral(
                "The reason for the conflict is that the record was deleted "
                "from one database but not the other.\r\n Choose whether to "
                "delete the conflicting record or to restore it to the "
                "database.");
        case db::ConflictReason::Integrity:
            break;
    }
    return QStringLiteral(
        "The reason for the conflict is that Tolvane cannot enforce referncial "
        "integrity.\r\nThe only option is to delete the conflicting records.");
}

}  // namespace

ConflictViewerWindow::ConflictViewerWindow(Ui& ui, const QString& currentProjectPath,
                                           db::Connections& registry, QWidget* parent)
    : QDialog(parent), ui_(ui), registry_(registry) {
    setObjectName(QStringLiteral("frmConflicts"));
    setWindowTitle(tr("Resolve Conflicts"));

    optProject_ = named(new QRadioButton(tr("Project Database")), "optProject");
    optPM_ = named(new QRadioButton(tr("Project Manager Database")), "optPM");
    optEquipment_ = named(new QRadioButton(tr("Equipment Database")), "optEquipment");
    auto* databases = new QGroupBox(tr("Database"));
    auto* databaseBox = new QVBoxLayout(databases);
    for (QRadioButton* o : {optProject_, optPM_, optEquipment_}) databaseBox->addWidget(o);

    projects_ = new QStandardItemModel(this);
    projectList_ = itemList("lstProjects", projects_);
    tables_ = new QStandardItemModel(this);
    tableList_ = itemList("lstTables", tables_);
    auto* left = new QVBoxLayout;
    left->addWidget(databases);
    left->addWidget(new QLabel(tr("Projects:")));
    left->addWidget(projectList_, 1);
    left->addWidget(new QLabel(tr("Tables with conflicts:")));
    left->addWidget(tableList_, 1);

    conflicts_ = new QStandardItemModel(this);
    conflictGrid_ = grid("grdConflicts", conflicts_);
    existing_ = new QStandardItemModel(this);
    existingGrid_ = grid("grdExisting", existing_);
    reason_ = named(new QLabel, "lblReason");
    reason_->setWordWrap(true);
    reason_->setMinimumHeight(reason_->fontMetrics().height() * 3);
    keep_ = namedButton("cmdKeep", tr("Keep Existing"));
    use_ = namedButton("cmdUse", tr("Use This"));
    delete_ = namedButton("cmdDelete", tr("Delete Conflicting"));
    QPushButton* close = namedButton("cmdClose", tr("Close"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(keep_);
    buttons->addWidget(use_);
    buttons->addWidget(delete_);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(tr("Conflicting records:")));
    right->addWidget(conflictGrid_, 2);
    right->addWidget(new QLabel(tr("Existing record:")));
    right->addWidget(existingGrid_, 1);
    right->addWidget(reason_);
    right->addLayout(buttons);

    status_ = named(new QLabel, "lblStatus");
    status_->setFrameShape(QFrame::StyledPanel);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addWidget(status_);

    for (QRadioButton* o : {optProject_, optPM_, optEquipment_})
        connect(o, &QRadioButton::toggled, this, [this](bool on) {
            if (on) runGuarded(errors_, "frmConflicts.optDatabase", [this] { chooseDatabase(); });
        });
    connect(projectList_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        runGuarded(errors_, "frmConflicts.lstProjects", [this] { chooseProject(); });
    });
    connect(tableList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { runGuarded(errors_, "frmConflicts.lstTables", [this] { showConflicts(); }); });
    connect(conflictGrid_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        runGuarded(errors_, "frmConflicts.grdConflicts", [this] { showConflict(); });
    });
    connect(keep_, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "frmConflicts.cmdKeep", [this] { act(Keep); }); });
    connect(use_, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "frmConflicts.cmdUse", [this] { act(Use); }); });
    connect(delete_, &QPushButton::clicked, this,
            [this] { runGuarded(errors_, "frmConflicts.cmdDelete", [this] { act(Delete); }); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    // The projects, the current one chosen; without one the equipment database is shown.
    int current = -1;
    for (const db::ProjectRow& p : db::ProjectTable(registry_).all()) {
        auto* item = new QStandardItem(p.name);
        item->setData(p.path, kPathRole);
        if (!currentProjectPath.isEmpty() && QFileInfo(p.path) == QFileInfo(currentProjectPath))
            current = projects_->rowCount();
        projects_->appendRow(item);
    }
    setStatus(QStringLiteral("Select a database table to resolve"));
    if (current >= 0) {
        optProject_->setChecked(true);
        projectList_->setCurrentIndex(projects_->index(current, 0));
    } else {
        optEquipment_->setChecked(true);
    }
    resize(1000, 620);
}

void ConflictViewerWindow::setStatus(const QString& text) {
    status_->setText(text);
    ui_.status(text);
}

std::optional<ConflictViewerWindow::Target> ConflictViewerWindow::target() {
    if (optPM_->isChecked()) return Target{db::DbId::PM, &registry_};
    if (optEquipment_->isChecked()) return Target{db::DbId::Equipment, &registry_};
    if (project_) return Target{db::DbId::Project, project_.get()};
    return std::nullopt;
}

void ConflictViewerWindow::chooseDatabase() {
    projectList_->setEnabled(optProject_->isChecked());
    reloadTables();
}

void ConflictViewerWindow::chooseProject() {
    project_.reset();
    const QModelIndex at = projectList_->currentIndex();
    if (at.isValid()) {
        const QString folder = at.data(kPathRole).toString();
        const QString file = db::projectFile(folder);
        if (QFileInfo(file).isFile()) {
            project_ = std::make_unique<db::Connections>();
            project_->bind(db::DbId::Project, db::ConnectionSpec::sqlite(file));
        } else {
            ui_.message(QStringLiteral("Path not found to: ") + file);
        }
    }
    if (optProject_->isChecked()) reloadTables();
}

void ConflictViewerWindow::reloadTables() {
    tables_->clear();
    conflicts_->clear();
    existing_->clear();
    reason_->clear();
    for (QPushButton* b : {keep_, use_, delete_}) b->setEnabled(false);
    const std::optional<Target> t = target();
    const QStringList names = t ? db::Conflicts(t->id, *t->registry).tables() : QStringList{};
    for (const QString& name : names) tables_->appendRow(new QStandardItem(name));
    setStatus(names.isEmpty() ? QStringLiteral("This database has no conflicts")
                              : QStringLiteral("Select a database table to resolve"));
}

QString ConflictViewerWindow::table() const {
    const QModelIndexList rows = tableList_->selectionModel()->selectedRows();
    return rows.isEmpty() ? QString() : rows.first().data().toString();
}

std::optional<qint64> ConflictViewerWindow::conflictId() const {
    const QModelIndexList rows = conflictGrid_->selectionModel()->selectedRows();
    if (rows.isEmpty()) return std::nullopt;
    for (int c = 0; c < conflicts_->columnCount(); ++c)
        if (conflicts_->headerData(c, Qt::Horizontal, kFieldNameRole)
                .toString()
                .compare(db::kConflictId, Qt::CaseInsensitive) == 0)
            return conflicts_->item(rows.first().row(), c)->data(Qt::UserRole).toLongLong();
    return std::nullopt;
}

void ConflictViewerWindow::showConflicts() {
    existing_->clear();
    reason_->clear();
    for (QPushButton* b : {keep_, use_, delete_}) b->setEnabled(false);
    const std::optional<Target> t = target();
    if (!t || table().isEmpty()) {
        conflicts_->clear();
        return;
    }
    fill(conflictGrid_, conflicts_, db::Conflicts(t->id, *t->registry).conflicts(table()),
         db::kindOf(t->id));
}

void ConflictViewerWindow::showConflict() {
    const std::optional<Target> t = target();
    const std::optional<qint64> id = conflictId();
    if (!t || !id) return;
    const db::Conflicts conflicts(t->id, *t->registry);
    fill(existingGrid_, existing_, conflicts.existing(table(), *id), db::kindOf(t->id));
    const db::ConflictReason why = conflicts.reason(table(), *id);
    keep_->setEnabled(why == db::ConflictReason::Changed);
    use_->setEnabled(why != db::ConflictReason::Integrity);
    use_->setText(why == db::ConflictReason::Deleted ? tr("Restore This") : tr("Use This"));
    delete_->setEnabled(why != db::ConflictReason::Changed);
    reason_->setText(reasonText(why));
    setStatus(QStringLiteral("Select an action"));
}

void ConflictViewerWindow::act(int action) {
    const std::optional<Target> t = target();
    const std::optional<qint64> id = conflictId();
    if (!t || !id) return;
    db::Conflicts conflicts(t->id, *t->registry);
    const QString name = table();
    if (action == Use)
        conflicts.use(name, *id);
    else
        conflicts.discard(name, *id);
    // The table's list goes on while it has rows set aside.
    if (conflicts.conflicts(name).rows.empty()) {
        reloadTables();
        return;
    }
    showConflicts();
    setStatus(QStringLiteral("Select a database table to resolve"));
}

}  // namespace tolvane
