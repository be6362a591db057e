// The data sheets of the program.
#include "app/projects/data_sheets.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include "app/shell/widget_helpers.h"
#include "db/records/equipment_models.h"
#include "db/records/manufacturers.h"
#include "equipment/cable_catalogue.h"
#include "equipment/equipment_models.h"
#include "equipment/manufacturers.h"
#include "shell/command_table.h"
#include "shell/run_state.h"
#include "ui/ui.h"
#include "wiring/cable_numbers.h"

namespace tolvane {

namespace {

bool isLibrary(SheetKind kind) {
    return kind == SheetKind::Equipment || kind == SheetKind::Manufacturers ||
           kind == SheetKind::Connectors || kind == SheetKind::CableTypes;
}

QString systemsCloseNote() {
    return QStringLiteral("Note: these changes here will not be updated in the drawings.");
}

// A number typed into the project cables sheet must be one, and a number or prefix typed
// must not give the row another row's number.
QString cableNumberEdit(const SheetEdit& e) {
    const auto typedInto = [&e](const char* field) {
        return e.field.compare(QLatin1String(field), Qt::CaseInsensitive) == 0;
    };
    if (!typedInto("CableNO") && !typedInto("CableNoPrefix")) return QString();
    QString prefix = e.row.value(QStringLiteral("CableNoPrefix")).toString();
    QString number = e.row.value(QStringLiteral("CableNO")).toString();
    (typedInto("CableNO") ? number : prefix) = e.value.toString();
    if (typedInto("CableNO"))
        if (QString why = wiring::notACableNumber(number); !why.isEmpty()) return why;
    return wiring::CableNumbers(e.registry)
        .takenByAnother(e.row.value(QStringLiteral("CableID")).toLongLong(), {prefix, number});
}

}  // namespace

QString projectCablesLayoutFile(const RunState& run) {
    return run.appPath + QStringLiteral("users/default/grid layouts/ProjectCables.xml");
}

DataSheets::DataSheets(Services services, QObject* parent) : QObject(parent), s_(services) {}

bool DataSheets::allowed(const QString& key) const {
    return !s_.allowed || s_.allowed(key, true);
}

equipment::LibraryAccess DataSheets::access() const {
    equipment::PermissionCheck check;
    if (s_.allowed)
        check = [allowed = s_.allowed](const QString& key) { return allowed(key, false); };
    return equipment::LibraryAccess(s_.ui, s_.registry, check);
}

DataSheetWindow* DataSheets::find(SheetKind kind) const {
    const QString object = sheetDef(kind).object;
    for (const QPointer<DataSheetWindow>& sheet : sheets_)
        if (sheet && sheet->objectName() == object && !sheet->isHidden()) return sheet;
    return nullptr;
}

DataSheetWindow* DataSheets::open(SheetKind kind) {
    if (DataSheetWindow* sheet = find(kind)) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(sheet->parentWidget()); sub && s_.mdi)
            s_.mdi->setActiveSubWindow(sub);
        else
            sheet->raise();
        return sheet;
    }
    SheetDef def = sheetDef(kind);
    if (kind == SheetKind::ProjectCables) def.checkEdit = cableNumberEdit;
    if (def.db == db::DbId::Project &&
        (s_.run.currentProjectPath.isEmpty() || !s_.registry.isBound(db::DbId::Project))) {
        s_.ui.message(QStringLiteral("Open a project first."), MsgButtons::Ok, MsgIcon::Information,
                      Ui::appTitle() + def.suffix);
        return nullptr;
    }
    // Without the right to edit the library its sheets are read only.
    if (isLibrary(kind)) def.editable = allowed(equipment::key::Edit);
    // The project's lists are edited by those who may assign what they list.
    if (kind == SheetKind::ProjectCables || kind == SheetKind::ChildCables)
        def.editable = allowed(CommandKey("catWAssignCable"));
    if (kind == SheetKind::Systems) def.editable = allowed(CommandKey("catWAssignSysNames"));
    auto* sheet = new DataSheetWindow(def, s_.ui, s_.registry);
    sheet->setErrorHandler(s_.errors);
    prepare(kind, *sheet);

    sheets_.removeAll(nullptr);
    sheets_ << sheet;

    if (!s_.mdi) {
        s_.ui.showModeless(*sheet);
        return sheet;
    }
    QMdiSubWindow* sub = s_.mdi->addSubWindow(sheet);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setObjectName(def.object + QStringLiteral("Frame"));
    showChild(*s_.mdi, sub);  // placed (maximised) first, so the window shows once
    s_.ui.showModeless(*sheet);
    s_.mdi->setActiveSubWindow(sub);
    return sheet;
}

void DataSheets::prepare(SheetKind kind, DataSheetWindow& sheet) {
    SheetModel* model = sheet.model();
    const bool mayDelete = allowed(equipment::key::Delete);
    switch (kind) {
        case SheetKind::Manufacturers:
            // Asks, and refuses while the library still names the manufacturer.
            if (mayDelete)
                sheet.deleteRow = [this, model](int row) {
                    return equipment::Manufacturers(access()).remove(
                        model->value(row, QStringLiteral("ManufacturerID")).toString());
                };
            break;
        case SheetKind::Equipment:
            // The model goes with its inputs and outputs.
            if (mayDelete)
                sheet.deleteRow = [this, model](int row) {
                    const QVariant id = model->value(row, QStringLiteral("EquipmentID"));
                    return equipment::EquipmentModels(access()).remove(
                        id.isNull() ? std::nullopt : std::optional<qint64>(id.toLongLong()));
                };
            break;
        case SheetKind::CableTypes:
            // The cores go first.
            if (mayDelete)
                sheet.deleteRow = [this, model](int row) {
                    equipment::CableCatalogue catalogue(access());
                    return catalogue.removeCableType(
                        model->value(row, QStringLiteral("CableTypeID")).toLongLong());
                };
            break;
        case SheetKind::ProjectCables:
            sheet.keepLayoutIn(projectCablesLayoutFile(s_.run));
            if (s_.showCable)
                sheet.addRowAction(
                    QStringLiteral("cmdShowOnDrawing"), tr("Show on Drawing"),
                    [this, model = sheet.model()](int row) {
                        s_.showCable(
                            model->value(row, QStringLiteral("Sheet")).toString(),
                            model->value(row, QStringLiteral("CableID")).toLongLong(),
                            db::CableNumber(
                                model->value(row, QStringLiteral("CableNoPrefix")).toString(),
                                model->value(row, QStringLiteral("CableNO")).toString())
                                .displayed());
                    });
            break;
        case SheetKind::Systems:
            prepareSystems(sheet);
            break;
        default:
            break;
    }
}

void DataSheets::prepareSystems(DataSheetWindow& sheet) {
    // Edits here change only the systems table; the blocks keep their attributes.
    sheet.closeNote = systemsCloseNote();
    db::Connections& registry = s_.registry;
    sheet.setChoices(QStringLiteral("Manufacturer"),
                     [&registry](int) { return db::ManufacturerTable(registry).names(); });
    SheetModel* model = sheet.model();
    sheet.setChoices(QStringLiteral("equipmentname"), [&registry, model](int row) {
        // The models of the row's manufacturer.
        const QString maker = model->value(row, QStringLiteral("Manufacturer")).toString();
        const std::optional<QString> makerId = db::ManufacturerTable(registry).idNamed(maker);
        return makerId ? db::EquipmentModelTable(registry).names(*makerId) : QStringList();
    });
}

}  // namespace tolvane
