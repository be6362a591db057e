// The project explorer pane.
#include "app/projects/project_explorer.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "projects/project_registry.h"
#include "shell/command_table.h"
#include "shell/error_handler.h"
#include "shell/run_state.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

constexpr int kKeyRole = Qt::UserRole;
constexpr int kMissingRole = Qt::UserRole + 1;

// Nodes that run a command of the router.
struct RoutedNode {
    const char* key;
    CommandKey command;
};
constexpr RoutedNode kRoutedNodes[] = {
    {"OPEN_DRAWING", "catDOpen"},
    {"MANUFACTURER_DATABASE", "catLManufacturers"},
    {"EQUIPMENT_DATABASE", "catLEquipment"},
    {"SIGNALTYPES_DATABASE", "catLSignalTypes"},
    {"CONNECTORS_DATABASE", "catLConnectors"},
    {"JACKFIELD_DATABASE", "catLJF"},
    {"CABLETYPES_DATABASE", "catLCT"},
    {"P_SYSTEMS_DATABASE", "catPLSystems"},
    {"P_CABLES_DATABASE", "catPLCables"},
    {"P_JF_DATABASE", "catPLJackFields"},
    {"NEW_REPORT", "catRNew"},
};

// Nodes that open a data sheet.
const char* const kDataSheetNodes[] = {"DWGS_DB", "PROJECTS_DATABASE", "P_CHILDCABLES_DATABASE",
                                       "P_JACKS_DATABASE"};

void addLines(const QTreeWidgetItem* item, int depth, QStringList& out) {
    out << QString(depth * 2, QLatin1Char(' ')) + item->text(0) + QStringLiteral(" [") +
               item->data(0, kKeyRole).toString() + QLatin1Char(']');
    for (int i = 0; i < item->childCount(); ++i) addLines(item->child(i), depth + 1, out);
}

QTreeWidgetItem* findKey(QTreeWidgetItem* item, const QString& key) {
    if (item->data(0, kKeyRole).toString() == key) return item;
    for (int i = 0; i < item->childCount(); ++i)
        if (QTreeWidgetItem* found = findKey(item->child(i), key)) return found;
    return nullptr;
}

}  // namespace

ProjectExplorer::ProjectExplorer(RunState& run, Ui& ui, projects::ProjectRegistry* projects,
                                 db::Connections& registry, QWidget* parent)
    : QWidget(parent),
      run_(run),
      ui_(ui),
      registry_(projects),
      connections_(registry),
      drawings_(run, ui, registry) {
    setObjectName(QStringLiteral("frmProjectExplorer"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    projects_ = new QComboBox(this);
    projects_->setObjectName(QStringLiteral("cboProjects"));
    projects_->setToolTip(tr("Current project"));
    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("tvwProject"));
    tree_->setHeaderLabels({tr("Project")});
    tree_->setHeaderHidden(true);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(projects_);
    layout->addWidget(tree_, 1);

    // Actions are children of the pane, so that scripts find them by name.
    auto makeAction = [this](const char* name, const QString& text) {
        auto* a = new QAction(text, this);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    refresh_ = makeAction("mnuRefresh", tr("Refresh"));
    removeMissing_ = makeAction("mnuRemoveMissing", tr("Remove Missing Drawings From List"));
    removeAll_ = makeAction("mnuRemoveAll", tr("Remove All Drawings From List"));
    unlock_ = makeAction("mnuUnlock", tr("Unlock Drawing"));
    viewPath_ = makeAction("mnuViewPath", tr("View Path"));
    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("mnuExplorer"));
    menu_->addActions({refresh_, removeMissing_, removeAll_});
    menu_->addSeparator();
    menu_->addActions({unlock_, viewPath_});

    connect(refresh_, &QAction::triggered, this,
            [this] { routeOr(CommandKey("catPRefresh"), [this] { refresh(); }); });
    connect(removeMissing_, &QAction::triggered, this,
            [this] { routeOr(CommandKey("catPDeleteMissing"), [this] { removeMissing(); }); });
    connect(removeAll_, &QAction::triggered, this,
            [this] { routeOr(CommandKey("catPClearDrawingList"), [this] { clearDrawings(); }); });
    connect(unlock_, &QAction::triggered, this,
            [this] { runGuarded(errors_, "mnuUnlock_Click", [this] { unlockSelected(); }); });
    connect(viewPath_, &QAction::triggered, this,
            [this] { runGuarded(errors_, "mnuViewPath_Click", [this] { viewPath(); }); });

    connect(tree_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (QTreeWidgetItem* item = tree_->itemAt(pos)) tree_->setCurrentItem(item);
        updateActions();
        menu_->popup(tree_->viewport()->mapToGlobal(pos));
    });
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this] { updateActions(); });
    connect(tree_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        const QString key = item->data(0, kKeyRole).toString();
        runGuarded(errors_, "tvwProject_DblClick", [&] { activate(key); });
    });
    connect(projects_, &QComboBox::activated, this, [this](int index) {
        const QString name = projects_->itemText(index);
        runGuarded(errors_, "cboProjects_Click", [&] { chooseProject(name); });
    });
    connect(&db::TableChanges::instance(), &db::TableChanges::changed, this,
            [this](db::DbId id, const QString& table) {
                if (id == db::DbId::Project &&
                    table.compare(QLatin1String("tblDrawings"), Qt::CaseInsensitive) == 0)
                    scheduleRebuild();
            });
    if (registry_) {
        connect(registry_, &projects::ProjectRegistry::listChanged, this, [this] {
            runGuarded(errors_, "ProjectListChanged", [this] { fillProjectList(); });
        });
        connect(registry_, &projects::ProjectRegistry::projectOpened, this,
                [this](const QString& name) {
                    runGuarded(errors_, "ProjectOpened", [&] { showProject(name); });
                });
    }
    updateActions();
}

void ProjectExplorer::routeOr(const QString& key, const std::function<void()>& fallback) {
    if (route) {
        route(key);
        return;
    }
    runGuarded(errors_, "frmProjectExplorer", fallback);
}

// ---- project list -------------------------------------------------------------------------

void ProjectExplorer::fillProjectList() {
    const QSignalBlocker block(projects_);
    projects_->clear();
    if (registry_) projects_->addItems(registry_->projectNames());
    if (!project_.isEmpty() && projects_->findText(project_) < 0) projects_->addItem(project_);
    projects_->setCurrentIndex(projects_->findText(project_));
}

void ProjectExplorer::load() {
    if (!registry_) return;
    fillProjectList();
    const QString name = registry_->startupProject();
    {
        const QSignalBlocker block(projects_);
        projects_->setCurrentIndex(projects_->findText(name));
    }
    const std::optional<QString> opened = registry_->openProject(name);
    showProject(opened.value_or(name));
}

void ProjectExplorer::chooseProject(const QString& name) {
    if (name.isEmpty()) return;
    if (!registry_) {
        showProject(name);
        return;
    }
    if (name == project_) {
        fillProjectList();
        return;
    }
    const std::optional<QString> opened = registry_->openProject(name);
    if (opened)
        showProject(*opened);
    else
        fillProjectList();  // the user stopped: the list shows the project still open
}

void ProjectExplorer::showProject(const QString& name) {
    project_ = name;
    fillProjectList();
    rebuild();
}

// ---- tree ---------------------------------------------------------------------------------

QTreeWidgetItem* ProjectExplorer::addNode(QTreeWidgetItem* parent, const QString& text,
                                          const QString& key) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
    item->setText(0, text);
    item->setData(0, kKeyRole, key);
    return item;
}

void ProjectExplorer::scheduleRebuild() {
    if (rebuildPending_) return;
    rebuildPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (!rebuildPending_) return;  // rebuilt meanwhile
        runGuarded(errors_, "tvwProject_Refresh", [this] { rebuild(); });
    });
}

void ProjectExplorer::rebuild() {
    rebuildPending_ = false;
    const QString selected = selectedKey();
    QStyle* st = style();
    const QIcon folder = st->standardIcon(QStyle::SP_DirIcon);
    const QIcon database = st->standardIcon(QStyle::SP_DriveHDIcon);
    const QIcon file = st->standardIcon(QStyle::SP_FileIcon);
    // A missing file has the red cross; a drawing held open (locked) a padlock.
    const QIcon missing = st->standardIcon(QStyle::SP_BrowserStop);
    const QIcon locked(QStringLiteral(":/icons/locked.svg"));
    const QIcon command = st->standardIcon(QStyle::SP_FileDialogNewFolder);

    // Read everything first: a failing query leaves the old tree in place.
    QList<projects::DrawingEntry> drawings;
    QStringList general, labels;
    if (!project_.isEmpty()) {
        drawings = drawings_.drawings();
        general = projects::projectReports(run_.currentProjectPath, QStringLiteral("GENERAL"));
        labels = projects::projectReports(run_.currentProjectPath, QStringLiteral("LABELS"));
    }

    tree_->clear();
    auto leaf = [&](QTreeWidgetItem* parent, const QString& text, const char* key,
                    const QIcon& icon) {
        addNode(parent, text, QString::fromLatin1(key))->setIcon(0, icon);
    };
    QTreeWidgetItem* global = addNode(nullptr, tr("Global Databases"), "GLOBAL_DATABASES");
    global->setIcon(0, folder);
    leaf(global, tr("Projects"), "PROJECTS_DATABASE", database);
    leaf(global, tr("Manufacturers"), "MANUFACTURER_DATABASE", database);
    leaf(global, tr("Equipment"), "EQUIPMENT_DATABASE", database);
    leaf(global, tr("Signal Types"), "SIGNALTYPES_DATABASE", database);
    leaf(global, tr("Connectors"), "CONNECTORS_DATABASE", database);
    leaf(global, tr("Jack Fields"), "JACKFIELD_DATABASE", database);
    leaf(global, tr("Cable Types"), "CABLETYPES_DATABASE", database);

    if (!project_.isEmpty()) {
        QTreeWidgetItem* project = addNode(nullptr, project_, QStringLiteral("PROJECT_NAME"));
        project->setIcon(0, folder);
        QTreeWidgetItem* dwgs = addNode(project, tr("Project Drawings"), "PROJECT_DRAWINGS");
        dwgs->setIcon(0, folder);
        leaf(dwgs, tr("New Drawing"), "NEW_DRAWING", command);
        leaf(dwgs, tr("Open Drawing"), "OPEN_DRAWING",
             st->standardIcon(QStyle::SP_DialogOpenButton));
        leaf(dwgs, tr("Drawing Database"), "DWGS_DB", database);
        for (const projects::DrawingEntry& d : drawings) {
            QTreeWidgetItem* item = addNode(dwgs, d.displayText(), drawingKeyPrefix() + d.path);
            item->setIcon(0, !d.exists ? missing : d.locked ? locked : file);
            item->setData(0, kMissingRole, !d.exists);
            item->setToolTip(0, d.path);
        }
        QTreeWidgetItem* dbs = addNode(project, tr("Project Databases"), "PROJECT_DATABASES");
        dbs->setIcon(0, folder);
        leaf(dbs, tr("Systems"), "P_SYSTEMS_DATABASE", database);
        leaf(dbs, tr("Cables"), "P_CABLES_DATABASE", database);
        leaf(dbs, tr("Child Cables"), "P_CHILDCABLES_DATABASE", database);
        leaf(dbs, tr("Jack Fields"), "P_JF_DATABASE", database);
        leaf(dbs, tr("Jack Positions"), "P_JACKS_DATABASE", database);
        QTreeWidgetItem* reports = addNode(project, tr("Reports"), "PROJECT_REPORTS");
        reports->setIcon(0, folder);
        leaf(reports, tr("New Report"), "NEW_REPORT", command);
        leaf(reports, tr("Generate Bill of Materials"), "BOM",
             st->standardIcon(QStyle::SP_FileDialogDetailedView));
        QTreeWidgetItem* gen = addNode(reports, tr("General Reports"), "GENERAL_REPORTS");
        gen->setIcon(0, folder);
        for (const QString& path : general)
            addNode(gen, projects::DrawingRegistry::fileNameOf(path), generalReportPrefix() + path)
                ->setIcon(0, file);
        QTreeWidgetItem* lab = addNode(reports, tr("Labels"), "LABELS");
        lab->setIcon(0, folder);
        for (const QString& path : labels)
            addNode(lab, projects::DrawingRegistry::fileNameOf(path), labelReportPrefix() + path)
                ->setIcon(0, file);
    }
    tree_->expandAll();
    if (!selected.isEmpty()) selectKey(selected);
    updateActions();
    Q_EMIT treeRebuilt();
}

QStringList ProjectExplorer::treeLines() const {
    QStringList out;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) addLines(tree_->topLevelItem(i), 0, out);
    return out;
}

bool ProjectExplorer::selectKey(const QString& key) {
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        if (QTreeWidgetItem* item = findKey(tree_->topLevelItem(i), key)) {
            tree_->setCurrentItem(item);
            return true;
        }
    }
    return false;
}

QString ProjectExplorer::selectedKey() const {
    const QTreeWidgetItem* item = tree_->currentItem();
    return item ? item->data(0, kKeyRole).toString() : QString();
}

QString ProjectExplorer::selectedDrawingPath() const {
    const QString key = selectedKey();
    if (!key.startsWith(drawingKeyPrefix())) return {};
    return key.mid(drawingKeyPrefix().size());
}

void ProjectExplorer::updateActions() {
    const bool drawing = !selectedDrawingPath().isEmpty();
    unlock_->setEnabled(drawing);
    viewPath_->setEnabled(drawing);
}

// ---- activation ---------------------------------------------------------------------------

void ProjectExplorer::activate(const QString& key) {
    if (key.startsWith(drawingKeyPrefix())) {
        const QString path = key.mid(drawingKeyPrefix().size());
        if (!projects::DrawingRegistry::fileExists(path))
            ui_.message(projects::DrawingRegistry::missingMessage(path));
        else if (openDrawing)
            openDrawing(path);
        return;
    }
    for (const QString& prefix : {generalReportPrefix(), labelReportPrefix()}) {
        if (key.startsWith(prefix)) {
            if (openReport) openReport(key.mid(prefix.size()));
            return;
        }
    }
    if (key == QLatin1String("NEW_DRAWING")) {
        // New drawings of the explorer start from the default template, without the chooser.
        if (newDrawing)
            newDrawing();
        else if (route)
            route(CommandKey("catDNew"));
        return;
    }
    for (const RoutedNode& node : kRoutedNodes) {
        if (key == QLatin1String(node.key)) {
            if (route) route(node.command);
            return;
        }
    }
    for (const char* node : kDataSheetNodes) {
        if (key == QLatin1String(node)) {
            if (dataSheet) dataSheet(key);
            return;
        }
    }
    if (key == QLatin1String("BOM")) {
        if (billOfMaterials) billOfMaterials();
    } else if (key == QLatin1String("TEST")) {
        if (conflictViewer) conflictViewer();
    }
    // Folder nodes and the project's own node do nothing.
}

// ---- registry maintenance -----------------------------------------------------------------

void ProjectExplorer::refresh() {
    rebuild();
}

void ProjectExplorer::removeMissing() {
    drawings_.removeMissing();
    rebuild();
}

void ProjectExplorer::clearDrawings() {
    if (drawings_.clearAll()) rebuild();
}

void ProjectExplorer::unlockSelected() {
    const QString path = selectedDrawingPath();
    if (path.isEmpty()) return;
    if (drawings_.unlock(path)) rebuild();
}

void ProjectExplorer::viewPath() {
    const QString path = selectedDrawingPath();
    if (!path.isEmpty()) ui_.message(path);
}

}  // namespace tolvane
