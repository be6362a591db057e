// The system-name window.
#include "app/wiring/system_name_window.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/drawing/drawing_view.h"
#include "app/drawing/drawing_window.h"
#include "app/drawing/drawing_windows.h"
#include "app/shell/widget_helpers.h"
#include "cad/cad_error.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "shell/error_handler.h"
#include "shell/run_state.h"
#include "ui/ui.h"

namespace tolvane {

using namespace equipment;

SystemNameWindow::SystemNameWindow(SystemNames& names, Drawing& drawing, const QString& handle,
                                   const db::EquipmentModelRecord& model, Options options,
                                   QWidget* parent)
    : QDialog(parent),
      names_(names),
      drawing_(drawing),
      handle_(handle),
      model_(model),
      options_(options) {
    setObjectName(QStringLiteral("frmSysNames"));
    setWindowTitle(tr("Assign System Name - ") + model.name);

    name_ = named(new QComboBox, "cboSysName");
    name_->setEditable(true);
    name_->setInsertPolicy(QComboBox::NoInsert);
    number_ = named(new QLineEdit, "txtSysNum");
    location_ = named(new QLineEdit, "txtLocation");
    elevation_ = named(new QLineEdit, "txtElevation");
    alias_ = named(new QLineEdit, "txtAlias");
    // Choosing from the list or leaving a typed name shows that name's units.
    connect(name_, &QComboBox::textActivated, this, [this](const QString& text) {
        runGuarded(errors_, "SysNames.cboSysName", [&] { chooseName(text); });
    });
    connect(name_->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        runGuarded(errors_, "SysNames.cboSysName", [this] { chooseName(name_->currentText()); });
    });

    const auto button = [this](const char* object, const QString& text, auto slot) {
        auto* b = named(new QPushButton(text), object);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    first_ = button("cmdFirst", tr("|<"), [this] { showUnit(0); });
    previous_ = button("cmdPrevious", tr("<"), [this] { showUnit(position_ - 1); });
    next_ = button("cmdNext", tr(">"), [this] { showUnit(position_ + 1); });
    last_ = button("cmdLast", tr(">|"), [this] { showUnit(int(rows_.size()) - 1); });
    QPushButton* newButton = button("cmdNew", tr("New"), [this] {
        runGuarded(errors_, "SysNames.cmdNew", [this] { newNumber(); });
    });
    QPushButton* okButton = button(
        "cmdOK", tr("OK"), [this] { runGuarded(errors_, "SysNames.cmdOK", [this] { ok(); }); });
    QPushButton* cancel = button("cmdCancel", tr("Cancel"), [this] { reject(); });

    auto* form = new QFormLayout;
    form->addRow(tr("System Name:"), name_);
    form->addRow(tr("Number:"), number_);
    form->addRow(tr("Location:"), location_);
    form->addRow(tr("Elevation:"), elevation_);
    form->addRow(tr("Alias:"), alias_);
    auto* navigation = new QHBoxLayout;
    for (QPushButton* b : {first_, previous_, next_, last_}) navigation->addWidget(b);
    navigation->addStretch();
    navigation->addWidget(newButton);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancel);
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("lblStatus"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(navigation);
    layout->addWidget(status_);
    layout->addLayout(buttons);

    runGuarded(errors_, "SysNames.Load", [this] { load(); });
}

void SystemNameWindow::load() {
    name_->addItems(names_.nameList(model_));
    name_->setCurrentIndex(-1);
    name_->setEditText({});
    showUnit(-1);
    // An insert named before shows its unit among the others of its name.
    const cad::Entity* insert = drawing_.document().find(handle_);
    bool isKey = false;
    const qint64 sysId = insert ? tag::ref2(*insert).toLongLong(&isKey) : 0;
    const std::optional<db::SystemRecord> row = isKey ? names_.row(sysId) : std::nullopt;
    if (!row) return;
    chosen_ = row->name;
    rows_ = names_.rowsOf(row->name);
    int at = 0;
    while (at < rows_.size() && rows_[at].id != row->id) ++at;
    name_->setEditText(row->name);
    showUnit(at);
}

void SystemNameWindow::chooseName(const QString& name) {
    // Leaving the box without changing the name keeps what the user typed in the fields.
    if (name == chosen_) return;
    chosen_ = name;
    rows_ = names_.rowsOf(name);
    if (!rows_.isEmpty()) {
        showUnit(0);
        return;
    }
    showUnit(-1);
    number_->setText(QStringLiteral("1"));
    location_->clear();
    elevation_->clear();
}

void SystemNameWindow::showUnit(int position) {
    if (position >= 0 && position < rows_.size()) {
        position_ = position;
        const db::SystemRecord& r = rows_[position];
        name_->setEditText(r.name);
        chosen_ = r.name;
        number_->setText(sysNumText(r.number));
        location_->setText(r.location);
        elevation_->setText(r.elevation);
        alias_->setText(r.alias);
    } else if (rows_.isEmpty()) {
        position_ = -1;
    }
    first_->setEnabled(position_ > 0);
    previous_->setEnabled(position_ > 0);
    next_->setEnabled(position_ + 1 < rows_.size());
    last_->setEnabled(position_ + 1 < rows_.size());
}

void SystemNameWindow::newNumber() {
    const QString name = name_->currentText();
    const int number = names_.nextNumber(name);
    number_->setText(sysNumText(number));
    location_->clear();
    elevation_->clear();
    if (options_.autoAlias) alias_->setText(fullSystemName(name, number));
}

QLineEdit* SystemNameWindow::fieldOf(SystemField field) const {
    switch (field) {
        case SystemField::Number:
            return number_;
        case SystemField::Location:
            return location_;
        case SystemField::Elevation:
            return elevation_;
        case SystemField::Alias:
            return alias_;
        case SystemField::Name:
            return name_->lineEdit();
        case SystemField::None:
            break;
    }
    return nullptr;
}

void SystemNameWindow::ok() {
    const SystemEntry entry{name_->currentText(), number_->text(), location_->text(),
                            elevation_->text(), alias_->text()};
    const AssignOutcome out = names_.assign(entry, model_, options_.nameCase);
    location_->setText(out.entry.location);
    elevation_->setText(out.entry.elevation);
    alias_->setText(out.entry.alias);
    if (QLineEdit* missing = fieldOf(out.missing)) {
        // The field gets the focus and the status line says which one is wanted.
        missing->setFocus();
        const QString label = [&] {
            switch (out.missing) {
                case SystemField::Name:
                    return tr("System Name");
                case SystemField::Number:
                    return tr("Number");
                case SystemField::Location:
                    return tr("Location");
                case SystemField::Elevation:
                    return tr("Elevation");
                case SystemField::Alias:
                    return tr("Alias");
                case SystemField::None:
                    break;
            }
            return QString();
        }();
        status_->setText(tr("Enter the %1: it is needed to assign the system name.").arg(label));
        return;
    }
    status_->clear();
    if (!out.written) return;
    writeSystemToInsert(drawing_, handle_, *out.written);
    if (assigned) assigned();
    accept();
}

void assignSysNamesCommand(DrawingWindows& drawings, const RunState& run, Ui& ui,
                           ErrorHandler& errors, db::Connections& registry, QWidget* parent) {
    DrawingWindow* w = drawings.active();
    if (!w) throw cad::CadError(cad::NoDocument, QStringLiteral("ActiveDocument"));
    Drawing& drawing = w->drawing();

    SystemNameWindow::Options options;
    db::Preferences prefs(registry);
    if (prefs.load(run.userId)) {
        options.nameCase = prefs.nameCase();
        options.autoAlias = prefs.value(db::pref::AutoAlias).toBool();
    }

    AssignSysNamesRun command{ui, registry};
    command.shared = run.mode == DatabaseMode::Shared;
    command.whoAmI = run.whoAmI;
    command.aperture = drawings.pickAperture(*w);
    // Picked already: the block double-clicked, or the one equipment block selected.
    command.picked = drawings.events().pickedEquipment(drawing);
    const QStringList selected = w->view().selection();
    if (command.picked.isEmpty() && selected.size() == 1) {
        const cad::Entity* e = drawing.document().find(selected.first());
        const QString kind = e ? tag::kindOf(*e) : QString();
        if (kind == tag::kind::EquipmentBlock || kind == tag::kind::DABlock)
            command.picked = e->handle;
    }
    SystemNames names(ui, command.registry);
    command.openWindow = [&](const QString& handle, const db::EquipmentModelRecord& model) {
        SystemNameWindow window(names, drawing, handle, model, options, parent);
        window.setErrorHandler(&errors);
        window.assigned = [&] { drawings.clearGripSet(*w); };
        if (ui.promptLine()) ui.promptLine()->setPrompt({});
        ui.runModal(window);
    };
    assignSystemNames(drawing, command);
}

}  // namespace tolvane
