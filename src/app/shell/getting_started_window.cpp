// The getting-started window.
#include "app/shell/getting_started_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/projects/project_explorer.h"
#include "projects/drawing_registry.h"
#include "shell/command_table.h"
#include "shell/settings_store.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

constexpr int kPathRole = Qt::UserRole;

QWidget* textPage(const char* name, const QString& text, QWidget* parent) {
    auto* page = new QWidget(parent);
    page->setObjectName(QString::fromLatin1(name));
    auto* layout = new QVBoxLayout(page);
    auto* label = new QLabel(text, page);
    label->setWordWrap(true);
    layout->addWidget(label);
    layout->addStretch(1);
    return page;
}

}  // namespace

GettingStartedWindow::GettingStartedWindow(Ui& ui, SettingsStore& settings,
                                           ProjectExplorer& explorer, QWidget* parent)
    : QDialog(parent), ui_(ui), settings_(settings), explorer_(explorer) {
    setObjectName(QStringLiteral("frmGettingStarted"));
    setWindowTitle(tr("Getting Started"));
    route = explorer.route;
    openDrawing = explorer.openDrawing;

    auto* layout = new QVBoxLayout(this);
    auto* projectRow = new QHBoxLayout;
    projects_ = new QComboBox(this);
    projects_->setObjectName(QStringLiteral("cboProjects"));
    projectRow->addWidget(new QLabel(tr("Project:"), this));
    projectRow->addWidget(projects_, 1);
    layout->addLayout(projectRow);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("tabsGettingStarted"));
    newProjectTab_ = textPage("tabNewProject",
                              QStringLiteral("Projects are logical collections of drawings,\r\n"
                                             "systems, and cable numbers."),
                              tabs_);
    newDrawingTab_ = textPage("tabNewDrawing", QStringLiteral("Create a new drawing"), tabs_);
    drawingsTab_ = new QWidget(tabs_);
    drawingsTab_->setObjectName(QStringLiteral("tabDrawings"));
    auto* drawingsLayout = new QVBoxLayout(drawingsTab_);
    drawings_ = new QListWidget(drawingsTab_);
    drawings_->setObjectName(QStringLiteral("lstDrawings"));
    drawings_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    drawings_->setResizeMode(QListView::Adjust);
    drawings_->setContextMenuPolicy(Qt::ActionsContextMenu);
    drawingsLayout->addWidget(drawings_);
    tabs_->addTab(newProjectTab_, tr("New Project"));
    tabs_->addTab(newDrawingTab_, tr("New Drawing"));
    tabs_->addTab(drawingsTab_, tr("Project Drawings"));
    layout->addWidget(tabs_, 1);

    auto makeAction = [this](const char* name, const QString& text) {
        auto* a = new QAction(text, this);
        a->setObjectName(QString::fromLatin1(name));
        drawings_->addAction(a);
        return a;
    };
    unlock_ = makeAction("mnuUnlock", tr("Unlock Drawing"));
    viewList_ = makeAction("mnuViewList", tr("View as List"));
    viewIcons_ = makeAction("mnuViewIcons", tr("View Icons"));

    auto* buttons = new QHBoxLayout;
    dontShow_ = new QCheckBox(tr("Don't show this window at start-up"), this);
    dontShow_->setObjectName(QStringLiteral("chkDontShow"));
    auto* okButton = new QPushButton(tr("OK"), this);
    okButton->setObjectName(QStringLiteral("cmdOK"));
    okButton->setDefault(true);
    auto* cancelButton = new QPushButton(tr("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cmdCancel"));
    buttons->addWidget(dontShow_);
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);

    // The explorer's list, showing the explorer's project.
    for (int i = 0; i < explorer.projectList()->count(); ++i)
        projects_->addItem(explorer.projectList()->itemText(i));
    projects_->setCurrentIndex(projects_->findText(explorer.projectName()));

    connect(projects_, &QComboBox::activated, this,
            [this](int index) { chooseProject(projects_->itemText(index)); });
    connect(okButton, &QPushButton::clicked, this, &GettingStartedWindow::ok);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(drawings_, &QListWidget::itemDoubleClicked, this, [this] { ok(); });
    connect(unlock_, &QAction::triggered, this, &GettingStartedWindow::unlockSelected);
    connect(viewList_, &QAction::triggered, this,
            [this] { drawings_->setViewMode(QListView::ListMode); });
    connect(viewIcons_, &QAction::triggered, this,
            [this] { drawings_->setViewMode(QListView::IconMode); });
    connect(&explorer, &ProjectExplorer::treeRebuilt, this, &GettingStartedWindow::fillDrawings);

    fillDrawings();
    resize(520, 380);
}

void GettingStartedWindow::fillDrawings() {
    QStyle* st = style();
    drawings_->clear();
    for (const projects::DrawingEntry& d : explorer_.drawings().drawings()) {
        auto* item = new QListWidgetItem(d.displayText(), drawings_);
        item->setData(kPathRole, d.path);
        item->setToolTip(d.path);
        item->setIcon(st->standardIcon(!d.exists  ? QStyle::SP_MessageBoxWarning
                                       : d.locked ? QStyle::SP_BrowserStop
                                                  : QStyle::SP_FileIcon));
    }
}

void GettingStartedWindow::chooseProject(const QString& name) {
    // The explorer opens the project (which stores CURRENT_PROJECT) and rebuilds its tree.
    explorer_.chooseProject(name);
    if (explorer_.projectName() != name) {
        projects_->setCurrentIndex(projects_->findText(explorer_.projectName()));
        return;
    }
    settings_.write(setting::CurrentProject, name);
    fillDrawings();
}

QStringList GettingStartedWindow::selectedPaths() const {
    QStringList paths;
    for (int row = 0; row < drawings_->count(); ++row)
        if (drawings_->item(row)->isSelected())
            paths << drawings_->item(row)->data(kPathRole).toString();
    return paths;
}

void GettingStartedWindow::unlockSelected() {
    const QStringList paths = selectedPaths();
    if (paths.isEmpty()) return;
    if (explorer_.drawings().unlock(paths)) {
        fillDrawings();
        explorer_.refresh();
    }
}

void GettingStartedWindow::ok() {
    QWidget* page = tabs_->currentWidget();
    if (page == newProjectTab_) {
        choice_ = [this] {
            if (newProject) newProject();
        };
    } else if (page == newDrawingTab_) {
        choice_ = [this] {
            if (route) route(CommandKey("catDNew"));
        };
    } else {
        const QStringList paths = selectedPaths();
        if (paths.isEmpty()) {
            ui_.beep();
            return;
        }
        const QString path = paths.first();
        if (!projects::DrawingRegistry::fileExists(path)) {
            ui_.message(projects::DrawingRegistry::missingMessage(path));
            return;
        }
        choice_ = [this, path] {
            if (openDrawing) openDrawing(path);
        };
    }
    accept();
}

void GettingStartedWindow::runChoice() {
    if (!choice_) return;
    const auto choice = std::move(choice_);
    choice_ = nullptr;
    choice();
}

void GettingStartedWindow::done(int result) {
    if (dontShow_->isChecked()) settings_.write(setting::GettingStarted, QStringLiteral("0"));
    if (result != QDialog::Accepted) choice_ = nullptr;
    QDialog::done(result);
}

void showGettingStarted(Ui& ui, SettingsStore& settings, ProjectExplorer& explorer,
                        std::function<void()> newProject, QWidget* parent) {
    GettingStartedWindow window(ui, settings, explorer, parent);
    window.newProject = std::move(newProject);
    if (ui.runModal(window) == QDialog::Accepted) window.runChoice();
}

}  // namespace tolvane
