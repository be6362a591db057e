// The new-project, delete-project and consolidate dialogs.
#include "app/projects/project_dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "projects/project_registry.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

QPushButton* button(const char* name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

QLineEdit* lineEdit(const char* name, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

QRadioButton* option(const char* name, const QString& caption, QWidget* parent) {
    auto* o = new QRadioButton(caption, parent);
    o->setObjectName(QString::fromLatin1(name));
    return o;
}

QHBoxLayout* buttonRow(std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton* b : buttons) row->addWidget(b);
    return row;
}

// Runs a handler; a failure closes the dialog and is kept for the run... function.
template <class F>
void guarded(QDialog* dialog, std::exception_ptr& failure, F&& f) {
    try {
        f();
    } catch (const std::exception&) {
        failure = std::current_exception();
        dialog->reject();
    }
}

template <class D>
void runAndRethrow(Ui& ui, D& dialog) {
    ui.runModal(dialog);
    if (dialog.failure()) std::rethrow_exception(dialog.failure());
}

}  // namespace

// ---- new project ----------------------------------------------------------------------------

NewProjectDialog::NewProjectDialog(Ui& ui, projects::ProjectRegistry& registry, QWidget* parent)
    : QDialog(parent), ui_(ui), registry_(registry) {
    setObjectName(QStringLiteral("frmNewProject"));
    setWindowTitle(tr("New Project"));
    name_ = lineEdit("txtProjectName", this);
    description_ = lineEdit("txtDescription", this);
    path_ = lineEdit("txtPath", this);
    auto* browse = button("cmdBrowse", tr("&Browse..."), this);
    auto* add = button("cmdAddNew", tr("&Add New"), this);
    auto* cancel = button("cmdCancel", tr("Cancel"), this);

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(path_);
    pathRow->addWidget(browse);
    auto* form = new QFormLayout;
    form->addRow(tr("Project &name:"), name_);
    form->addRow(tr("&Description:"), description_);
    auto* folderLabel = new QLabel(tr("Project &folder:"));
    folderLabel->setBuddy(path_);  // the mnemonic reaches the folder box, not a bare "&"
    form->addRow(folderLabel, pathRow);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttonRow({add, cancel}));
    setMinimumWidth(480);

    connect(browse, &QPushButton::clicked, this,
            [this] { guarded(this, failure_, [this] { this->browse(); }); });
    connect(add, &QPushButton::clicked, this,
            [this] { guarded(this, failure_, [this] { addNew(); }); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void NewProjectDialog::browse() {
    FileDialogOptions o;
    o.title = tr("New Project Folder");
    o.filter = tr("All Files (*)");
    o.proposed = name_->text().trimmed();
    const QString typed = path_->text().trimmed();
    o.folder = typed.isEmpty()            ? QDir::homePath()
               : QFileInfo(typed).isDir() ? typed
                                          : QFileInfo(typed).absolutePath();
    o.mustExist = false;
    if (const auto chosen = ui_.saveFile(o)) path_->setText(*chosen);
}

void NewProjectDialog::addNew() {
    using Field = projects::ProjectRegistry::Field;
    if (const auto missing =
            registry_.missingField(name_->text(), description_->text(), path_->text())) {
        ui_.beep();
        QLineEdit* field = *missing == Field::Name          ? name_
                           : *missing == Field::Description ? description_
                                                            : path_;
        field->setFocus();
        return;
    }
    if (registry_.createProject(name_->text(), description_->text(), path_->text())) accept();
}

void runNewProject(Ui& ui, projects::ProjectRegistry& registry, QWidget* parent) {
    NewProjectDialog dialog(ui, registry, parent);
    runAndRethrow(ui, dialog);
}

// ---- delete project -------------------------------------------------------------------------

DeleteProjectDialog::DeleteProjectDialog(Ui&, projects::ProjectRegistry& registry,
                                         const QString& project, QWidget* parent)
    : QDialog(parent), registry_(registry), project_(project) {
    setObjectName(QStringLiteral("frmDeleteProject"));
    setWindowTitle(QStringLiteral("Delete: ") + project);
    auto* listOnly =
        option("optRemoveFromList", tr("&Remove the project from the list only"), this);
    everything_ =
        option("optDeleteEverything",
               tr("&Delete everything: the project folder, its databases and drawings"), this);
    listOnly->setChecked(true);
    auto* ok = button("cmdOK", tr("OK"), this);
    auto* cancel = button("cmdCancel", tr("Cancel"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(listOnly);
    layout->addWidget(everything_);
    layout->addLayout(buttonRow({ok, cancel}));

    connect(ok, &QPushButton::clicked, this, [this] {
        guarded(this, failure_, [this] {
            // The registry says whether it worked; the dialog closes either way.
            registry_.deleteProject(project_, everything_->isChecked());
            accept();
        });
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void runDeleteProject(Ui& ui, projects::ProjectRegistry& registry, QWidget* parent) {
    DeleteProjectDialog dialog(ui, registry, registry.startupProject(), parent);
    runAndRethrow(ui, dialog);
}

// ---- consolidate ----------------------------------------------------------------------------

ConsolidateDialog::ConsolidateDialog(Ui&, projects::ProjectRegistry& registry, QWidget* parent)
    : QDialog(parent), registry_(registry) {
    setObjectName(QStringLiteral("frmConsolidate"));
    setWindowTitle(tr("Consolidate Project Drawings"));
    auto* copy =
        option("optCopy", tr("&Copy the drawings into the project's drawings folder"), this);
    move_ = option("optMove", tr("&Move the drawings into the project's drawings folder"), this);
    copy->setChecked(true);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("lblStatus"));
    status_->setWordWrap(true);
    auto* ok = button("cmdOK", tr("OK"), this);
    auto* cancel = button("cmdCancel", tr("Cancel"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(copy);
    layout->addWidget(move_);
    layout->addWidget(status_);
    layout->addLayout(buttonRow({ok, cancel}));

    connect(&registry_, &projects::ProjectRegistry::statusChanged, status_, &QLabel::setText);
    connect(ok, &QPushButton::clicked, this, [this] {
        guarded(this, failure_, [this] {
            if (registry_.consolidate(move_->isChecked())) accept();
        });
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void runConsolidate(Ui& ui, projects::ProjectRegistry& registry, QWidget* parent) {
    ConsolidateDialog dialog(ui, registry, parent);
    runAndRethrow(ui, dialog);
}

}  // namespace tolvane
