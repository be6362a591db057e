// The views of whole tables the data sheets show.
#include "db/records/sheet_views.h"

namespace tolvane {

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
        case SheetKind::ProjectCables:
            return def("frmCablesDS", "Project Cables", " [Project Cables]", DbId::Project,
                       "tblCables", "SELECT * FROM tblCables", "CableNoPrefix, CableNO, CableID",
                       {}, true);
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

}  // namespace tolvane
