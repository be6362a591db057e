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

}  // namespace

SheetDef sheetDef(SheetKind kind) {
    using db::DbId;
    const auto def = [](const char* object, const char* title, const char* suffix, DbId db,
                        const char* table, const char* select, const char* orderBy,
                        QStringList hidden, bool editable) {
        return SheetDef{QString::fromLatin1(object),
                        QString::fromLatin1(title),
                        QString::fromLatin1(suffix),
                        db,
                        QString::fromLatin1(table),
                        QString::fromLatin1(select),
                        QString::fromLatin1(orderBy),
                        std::move(hidden),
                        editable};
    };
    switch (kind) {
        case SheetKind::Equipment: {
            // Every model with its manufacturer's name, grouped by manufacturer: the text of
            // the view qryEquipAll, so that a row read back after an edit can be found by the
            // models table's key.
            SheetDef d =
                def("frmEquipmentDS", "Equipment", " [Equipment]", DbId::Equipment, "tblEquipment",
                    "SELECT tblManufacturers.ManufacturerName, tblEquipment.* FROM "
                    "tblEquipment LEFT JOIN tblManufacturers ON "
                    "tblManufacturers.ManufacturerID = tblEquipment.ManufacturerID",
                    "tblManufacturers.ManufacturerName, tblEquipment.EquipmentName",
                    {QStringLiteral("EquipmentID"), QStringLiteral("ManufacturerID")}, true);
            d.groupBy = QStringLiteral("ManufacturerName");
            return d;
        }
        case SheetKind::Manufacturers: {
            // The ID is the key every other table quotes; it is given once, when added.
            SheetDef d = def("frmManufacturersDS", "Manufacturers", " [Manufacturers]",
                             DbId::Equipment, "tblManufacturers", "SELECT * FROM tblManufacturers",
                             "ManufacturerName, ManufacturerID", {}, true);
            d.readOnly = QStringList{QStringLiteral("ManufacturerID")};
            return d;
        }
        case SheetKind::Connectors:
            return def("frmConnectorsDS", "Connectors", " [Connectors]", DbId::Equipment,
                       "tblConnectors", "SELECT * FROM tblConnectors", "Connector", {}, true);
        case SheetKind::CableTypes:
            return def("frmCableTypesDS", "Cable Types", " [Cable Types]", DbId::Equipment,
                       "tblCableTypes",
                       "SELECT tblManufacturers.ManufacturerName, tblCableTypes.* FROM "
                       "tblManufacturers INNER JOIN tblCableTypes ON "
                       "tblManufacturers.ManufacturerID = tblCableTypes.ManufacturerID",
                       "tblManufacturers.ManufacturerName, tblCableTypes.CableType",
                       {QStringLiteral("ManufacturerID")}, true);
        case SheetKind::ProjectCables: {
            SheetDef d = def("frmCablesDS", "Project Cables", " [Project Cables]", DbId::Project,
                             "tblCables", "SELECT * FROM tblCables",
                             "CableNoPrefix, CableNO, CableID", {}, true);
            // A number typed must be one, and a number or prefix typed must not give the row
            // another row's number.
            d.checkEdit = [](const SheetEdit& e) {
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
                    .takenByAnother(e.row.value(QStringLiteral("CableID")).toLongLong(),
                                    {prefix, number});
            };
            return d;
        }
        case SheetKind::ChildCables:
            return def("frmChildCablesDS", "Child Cables", " [Child Cables]", DbId::Project,
                       "tblChildCables", "SELECT * FROM tblChildCables", "CableNo, ChildCableID",
                       {}, true);
        case SheetKind::Systems:
            return def("frmSystemsDS", "System Names", " [System Names]", DbId::Project,
                       "tblSystems", "SELECT * FROM tblSystems", "SysName, SysNum, SysID", {},
                       true);
        case SheetKind::ProjectJackfields:
            // One line per jack position, jackfields without positions too. The jack's own
            // columns are named apart from the jackfield's (a sheet cannot show two "Sheet"
            // columns), and only the jackfield's table is the sheet's: nothing here is typed
            // over, as the drawings hold the same values.
            return def(
                "frmJackFieldsDS", "Project Jack Fields and Jacks", " [Jackfields]", DbId::Project,
                "tblJF",
                "SELECT tblJF.*, tblJFRowCol.RowColID, tblJFRowCol.JFID AS JackJFID, "
                "tblJFRowCol.JFRow, tblJFRowCol.JFCol, tblJFRowCol.JFRowNumber, "
                "tblJFRowCol.JFConn, tblJFRowCol.Sheet AS JackSheet, tblJFRowCol.assigned, "
                "tblJFRowCol.SRC, tblJFRowCol.dest FROM tblJF LEFT OUTER JOIN tblJFRowCol "
                "ON tblJF.JFID = tblJFRowCol.JFID",
                "tblJF.JFSysName, tblJF.JFSysID, tblJF.JFID, tblJFRowCol.RowColID",
                {QStringLiteral("JFID"), QStringLiteral("JackFieldID"), QStringLiteral("RowColID"),
                 QStringLiteral("JackJFID"), QStringLiteral("JFRowNumber"),
                 QStringLiteral("JFRows"), QStringLiteral("JFCols")},
                false);
        case SheetKind::JackPositions:
            // The project's stored query of jack positions, read only like the sheet above.
            return def(
                "frmJackPositionsDS", "Project Jack Positions", " [Jackfields]", DbId::Project,
                "qryProjJFJack", "SELECT * FROM qryProjJFJack", "JFSysName, JFSysID, JFRow, JFCol",
                {QStringLiteral("JFID"), QStringLiteral("JackFieldID"), QStringLiteral("RowColID"),
                 QStringLiteral("JFRowNumber"), QStringLiteral("JFRows"), QStringLiteral("JFCols")},
                false);
        case SheetKind::Drawings:
            return def("frmDrawingsDS", "Project Drawings", " [Project Drawings]", DbId::Project,
                       "tblDrawings", "SELECT * FROM tblDrawings", "DrawingName, DrawingID",
                       {QStringLiteral("DrawingID"), QStringLiteral("ProjectsID")}, false);
        case SheetKind::Projects:
            return def("frmProjectsDS", "Projects", " [Projects]", DbId::PM, "tblProjects",
                       "SELECT * FROM tblProjects", "ProjectName",
                       {QStringLiteral("ProjectsID"), QStringLiteral("ClientID"),
                        QStringLiteral("UserPrefs")},
                       false);
    }
    return {};
}

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
