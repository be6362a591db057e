// The tables of the three database kinds, defined once as data; the DDL each engine needs to
// make them; and the bringing of an existing database to the current version.
#include "db/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <initializer_list>
#include <utility>

#include "db/starter_library.h"

namespace tolvane::db {

DbKind kindOf(DbId id) {
    switch (id) {
        case DbId::PM:
            return DbKind::ProjectManager;
        case DbId::Equipment:
            return DbKind::Equipment;
        case DbId::Blank:
        case DbId::Project:
            return DbKind::Project;
    }
    return DbKind::Project;
}

const ColumnDef* TableDef::column(const QString& wanted) const {
    for (const ColumnDef& c : columns)
        if (c.name.compare(wanted, Qt::CaseInsensitive) == 0) return &c;
    return nullptr;
}

namespace {

// ---- the definitions --------------------------------------------------------------------

ColumnDef text(const char* name) {
    return {QString::fromLatin1(name), ColType::Text};
}
// Text compared exactly, letter case included.
ColumnDef exactText(const char* name) {
    return {QString::fromLatin1(name), ColType::ExactText};
}
ColumnDef integer(const char* name) {
    return {QString::fromLatin1(name), ColType::Integer};
}
ColumnDef real(const char* name) {
    return {QString::fromLatin1(name), ColType::Real};
}
ColumnDef date(const char* name) {
    return {QString::fromLatin1(name), ColType::DateTime};
}
// Yes/no fields are never null: a new row says "no" until told otherwise.
ColumnDef flag(const char* name) {
    return {QString::fromLatin1(name), ColType::Bool, true, QStringLiteral("FALSE")};
}
ColumnDef autoKey(const char* name) {
    return {QString::fromLatin1(name), ColType::AutoKey, true, {}, true};
}
// A hidden text key the engine makes for a new row.
ColumnDef textKey(const char* name) {
    return {QString::fromLatin1(name), ColType::Guid, true, {}, true};
}
ColumnDef hidden(ColumnDef c) {
    c.hidden = true;
    return c;
}
ColumnDef required(ColumnDef c) {
    c.notNull = true;
    return c;
}

using Columns = std::vector<ColumnDef>;

Columns join(std::initializer_list<Columns> parts) {
    Columns all;
    for (const Columns& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

IndexDef indexOn(QStringList columns) {
    return {std::move(columns), false};
}
IndexDef uniqueOn(QStringList columns) {
    return {std::move(columns), true};
}
IndexDef hashOn(QStringList columns) {
    return {std::move(columns), false, true};
}

// A child row that belongs to its parent: deleting the parent deletes it.
ForeignKeyDef ownedBy(const QString& column, const QString& table, const QString& key) {
    return {{column}, table, {key}, true, true};
}
ForeignKeyDef refersTo(const QString& column, const QString& table, const QString& key) {
    return {{column}, table, {key}, false, true};
}

// A signal type's colour: the palette number, 256 for "Same As Layer".
ColumnDef signalColor() {
    ColumnDef c = integer("Color");
    c.formerWords = {{QStringLiteral("Same As Layer"), 256}, {QStringLiteral("Same"), 256}};
    return c;
}

// Physical data of an equipment or jackfield model.
Columns physicalData() {
    return {real("EquipmentH"),      real("EquipmentW"),     real("EquipmentD"),
            real("EquipmentWeight"), real("EquipmentV"),     real("EquipmentP"),
            text("EquipmentHValue"), text("equipmentVValue")};
}

// The two ends of a cable or of a core.
Columns cableEnds() {
    return {text("SRCSys"),  text("SRCConn"),  text("SRCPin"),  text("SRCLoc"),  text("SRCAlias"),
            text("DestSYS"), text("DESTConn"), text("DestPin"), text("DESTLOc"), text("DSTAlias")};
}

Columns addressColumns() {
    return {text("ContactName"), text("Address"), text("City"), text("State"), text("PostalCode"),
            text("Country"),     text("Phone"),   text("Fax"),  text("Email")};
}

// Every table but the two lock tables takes part in merging and so carries its row identity.
std::vector<TableDef> finish(std::vector<TableDef> list) {
    for (TableDef& t : list) {
        if (!t.merged) continue;
        t.columns.push_back({kGuidColumn, ColType::Guid, true, {}, true});
        t.indexes.push_back(t.identityByHash ? hashOn({kGuidColumn}) : uniqueOn({kGuidColumn}));
    }
    return list;
}

std::vector<TableDef> projectManagerTables() {
    return finish({
        {.name = "tblpermissions",
         .columns = {required(text("GroupName")), flag("CreateDrawings"), flag("editDrawings"),
                     flag("CreateReports"), flag("editReports"), flag("AssignCables"),
                     flag("AssignSysNames"), flag("CreateEquipment"), flag("EditEquipment"),
                     flag("DeleteEquipment")},
         .primaryKey = {"GroupName"},
         .merged = true},
        {.name = "tblClientInfo",
         .columns =
             join({{autoKey("ClientID"), text("ClientName")}, addressColumns(), {text("Notes")}}),
         .indexes = {indexOn({"ClientName"})},
         .merged = true},
        {.name = "tblProjects",
         .columns = {autoKey("ProjectsID"), required(text("ProjectName")),
                     text("ProjectDescription"), text("ProjectPath"), hidden(integer("ClientID")),
                     hidden(text("UserPrefs"))},
         .indexes = {uniqueOn({"ProjectName"}), indexOn({"ProjectPath"})},
         .merged = true},
        // Log-in names are not unique here: a name entered twice must be refused at log-in,
        // not made impossible. They compare exactly: "Admin" and "admin" are two users.
        {.name = "tblUsers",
         .columns = {autoKey("UserKey"), exactText("UserName"), text("Password"),
                     text("Groupname")},
         .indexes = {indexOn({"UserName"})},
         .merged = true},
        {.name = "tblCompany",
         .columns = join({{autoKey("CompanyID"), text("CompanyName")},
                          addressColumns(),
                          {text("WebSite"), text("Notes")}}),
         .merged = true},
        {.name = "tblRevCounter",
         .columns = {autoKey("RevCounterID"), hidden(integer("ProjectsID")), integer("Revision"),
                     date("RevisionDate"), text("RevisedBy"), text("RevisionDescription")},
         .indexes = {indexOn({"ProjectsID"})},
         .merged = true},
    });
}

std::vector<TableDef> equipmentTables() {
    const auto pins = [](const char* table, const char* key) {
        return TableDef{
            .name = table,
            .columns = {autoKey(key), hidden(integer("EquipmentID")), text("Name"), text("Type"),
                        text("conn"), text("PinType"), hidden(integer("DisplayOrder"))},
            .foreignKeys = {ownedBy("EquipmentID", "tblEquipment", "EquipmentID")},
            .indexes = {indexOn({"EquipmentID", "Name"})},
            .merged = true};
    };
    return finish({
        {.name = "tblManufacturers",
         .columns = {required(text("ManufacturerID")), text("ManufacturerName"),
                     flag("DisplayInEquipment"), flag("DisplayInJackFields"),
                     flag("DisplayInRouters"), flag("DisplayInJboxes"),
                     flag("DisplayInCableTypes")},
         .primaryKey = {"ManufacturerID"},
         .indexes = {indexOn({"ManufacturerName"})},
         .merged = true},
        {.name = "tblEquipment",
         .columns =
             join({{autoKey("EquipmentID"), text("EquipmentName"), text("EquipmentDescription"),
                    text("EquipmentType"), hidden(text("ManufacturerID"))},
                   physicalData(),
                   {flag("DisplayASDA"), flag("DABlock"), text("EquipmentVendor1"),
                    text("EquipmentVendor2"), real("EquipmentCost1"), real("EquipmentCost2")}}),
         .foreignKeys = {refersTo("ManufacturerID", "tblManufacturers", "ManufacturerID")},
         .indexes = {uniqueOn({"ManufacturerID", "EquipmentName"}), indexOn({"EquipmentName"})},
         .merged = true},
        pins("tblInputs", "InputID"),
        pins("tblOutputs", "OutputID"),
        {.name = "tblConnectors",
         .columns = {required(text("Connector")), text("connvendor1"), text("connvendor2"),
                     real("conncost1"), real("conncost2")},
         .primaryKey = {"Connector"},
         .merged = true},
        // Color holds a palette number 1..255, or 256 for "Same As Layer" (which older
        // databases stored as that text). A type may be null (such rows are skipped by the
        // lists), so the key is a hidden number and the type is unique.
        {.name = "SignalDefault",
         .columns = {autoKey("key"), text("Type"), signalColor(), text("CableNoPrefix"),
                     text("CableManu"), text("CableType")},
         .indexes = {uniqueOn({"Type"})},
         .merged = true},
        {.name = "tblCableTypes",
         .columns = {autoKey("CableTypeID"), text("ManufacturerID"), text("CableType"),
                     text("cabledescription"), text("CableRating"), text("CableCharZ"),
                     text("cableGuage"), text("cableConductors"), text("CableShielding"),
                     integer("cablecorenumber"), text("CableCoreScheme"), flag("cablemulticore"),
                     text("CableVendor1"), text("CableVendor2"), real("CableCost1"),
                     real("CableCost2")},
         .foreignKeys = {refersTo("ManufacturerID", "tblManufacturers", "ManufacturerID")},
         .indexes = {uniqueOn({"ManufacturerID", "CableType"}), indexOn({"CableType"})},
         .merged = true},
        // PairNumber is the core's number; lists show it with two digits ("01").
        {.name = "tblCablePairs",
         .columns = {autoKey("PairID"), hidden(integer("CableTypeID")), integer("PairNumber"),
                     text("paircolorcode")},
         .foreignKeys = {ownedBy("CableTypeID", "tblCableTypes", "CableTypeID")},
         .indexes = {indexOn({"CableTypeID", "PairNumber"})},
         .merged = true},
        {.name = "tblJackFields",
         .columns =
             join({{autoKey("JackFieldID"), text("JackFieldName"), text("EquipmentDescription"),
                    text("ManufacturerID"), integer("JFRows"), integer("JFCols"), text("FrontConn"),
                    text("RearConn")},
                   physicalData(),
                   {text("jfvendor1"), text("jfvendor2"), real("jfcost1"), real("jfcost2")}}),
         .foreignKeys = {refersTo("ManufacturerID", "tblManufacturers", "ManufacturerID")},
         .indexes = {indexOn({"ManufacturerID", "JackFieldName"})},
         .merged = true},
        {.name = "tblRTR",
         .columns =
             join({{autoKey("RTRID"), text("ManufacturerID"), text("RTRName"),
                    text("RTRDescription"), text("RTRType"), integer("Inputs"), integer("Outputs"),
                    integer("Levels"), text("SignalType"), text("InputConn"), text("OutputConn")},
                   physicalData(),
                   {text("RTRVendor1"), text("RTRVendor2"), real("RTRCost1"), real("RTRCost2")}}),
         .indexes = {indexOn({"ManufacturerID", "RTRName"})},
         .merged = true},
        {.name = "tblRackUnits",
         .columns = {autoKey("RackUnitID"), text("ManufacturerID"), text("RackUnitName"),
                     text("RackUnitDescription"), integer("RackUnits"), real("RackUnitDepth"),
                     text("RUVendor1"), text("RUVendor2"), real("RUCost1"), real("RUCost2")},
         .indexes = {indexOn({"ManufacturerID", "RackUnitName"})},
         .merged = true},
        // The users offered by the preferences window, each with its preference row; names
        // compare exactly, as at log-in.
        {.name = "tblUsers",
         .columns = {required(exactText("UserName")), integer("UID")},
         .primaryKey = {"UserName"},
         .indexes = {indexOn({"UID"})},
         .merged = true},
        {.name = "tblPreferences",
         .columns = {required(integer("UserID")),
                     integer("BlockWidth"),
                     integer("BlockPinSpacing"),
                     integer("BlockHeight"),
                     integer("BlockColor"),
                     text("BlockBasePoint"),
                     text("BlockPinWidth"),
                     flag("BlockTearSettings"),
                     flag("BlockUseDefaultNames"),
                     flag("blockDisplayPrefs"),
                     flag("blockColoredPins"),
                     flag("AutoAlias"),
                     flag("CablesREpeat"),
                     flag("CablesVerifySettings"),
                     flag("CablesAutoPlace"),
                     real("CablesAutoPlaceDist"),
                     flag("CablesAutoPoint"),
                     flag("CablesAssignUseDestType"),
                     integer("CablesStartNo"),
                     text("CableTypeDefManu"),
                     text("cabletypedefPn"),
                     flag("CableSaveEverYtime"),
                     flag("cablecolorline"),
                     flag("cablecolortext"),
                     flag("cableSignalLayer"),
                     flag("cablewarnsig"),
                     integer("sysnamefmt"),
                     text("defaultJack"),
                     text("DefaultJb"),
                     flag("usedefaultjack"),
                     flag("usedefaultjb"),
                     flag("displayJackConn"),
                     integer("jfspacing"),
                     flag("genpersisttbs"),
                     flag("GENHideDeletewarnings"),
                     text("scEquipLib"),
                     text("scCables"),
                     text("scJFLib"),
                     text("scRTRLib"),
                     text("scassSys"),
                     text("sceditSys"),
                     text("scAssCable"),
                     text("scDelCable"),
                     text("scAssJack"),
                     text("scDelJack"),
                     text("scLinkP"),
                     text("scAddJack"),
                     text("scAddJB"),
                     text("scAddRTR"),
                     text("scAddP"),
                     text("scLinkPCont")},
         .primaryKey = {"UserID"},
         .merged = true},
    });
}

std::vector<TableDef> projectTables() {
    // A free lock: flag false, holder "-"; the first lock makes the row with these defaults.
    // A lock table holds one row; LockRow makes a second one impossible, even when two
    // users make the first row at the same moment.
    const auto lockTable = [](const char* table, const char* flagColumn) {
        return TableDef{.name = table,
                        .columns = {flag(flagColumn),
                                    {"LOCKEDBY", ColType::Text, false, "'-'", false},
                                    {"LockRow", ColType::Integer, true, "1", true}},
                        .indexes = {IndexDef{{"LockRow"}, true}}};
    };
    return finish({
        {.name = "tblCables",
         .columns = join({{autoKey("CableID"), text("CableNO"), text("CableNoPrefix"),
                           text("CableType"), text("CabletypeManu"), text("SignalType")},
                          cableEnds(),
                          {text("Integrator"), real("Length"), flag("MultiCore"), flag("Available"),
                           flag("availableCores"), text("Sheet"), text("ReplacedBY"),
                           date("DateOriginated"), date("DateModified"), integer("CurrentRevision"),
                           integer("ProjectRevision"), text("CreatedBy")}}),
         // The reuse list looks for free numbers of a prefix: one index for each flag. The
         // highest number of a prefix is found by length first (1000 follows 999).
         .indexes = {indexOn({"CableNoPrefix", "CableNO"}), indexOn({"SRCSys", "SRCPin"}),
                     indexOn({"CableNoPrefix", "(length(CableNO))", "CableNO"}),
                     indexOn({"CableNoPrefix", "Available", "CableNO"}),
                     indexOn({"CableNoPrefix", "availableCores", "CableNO"}),
                     indexOn({"DestSYS", "DestPin"}), indexOn({"SRCConn"}), indexOn({"DESTConn"})},
         .merged = true},
        {.name = "tblChildCables",
         .columns = join({{autoKey("ChildCableID"), text("CableNo"), integer("ParentNo")},
                          cableEnds(),
                          {text("Integrator"), text("Sheet"), flag("Available")}}),
         .foreignKeys = {ownedBy("ParentNo", "tblCables", "CableID")},
         // A signal is traced along the cores by their ends.
         .indexes = {indexOn({"ParentNo", "CableNo"}), indexOn({"CableNo"}), indexOn({"SRCConn"}),
                     indexOn({"DESTConn"}), indexOn({"SRCSys", "SRCPin"}),
                     indexOn({"DestSYS", "DestPin"})},
         .merged = true},
        // Issued revisions of the cable schedule: one row per revision, and the cable rows as
        // they stood when it was issued. A frozen row stands in every revision from the one
        // that froze it (Revision) to LastRevision, which is empty while it stands in the
        // latest: an issue writes only the rows that changed. A number a frozen row holds in
        // use is never offered again once its cable is freed.
        {.name = "tblRevisions",
         .columns = {autoKey("RevisionID"), integer("Revision"), date("RevisionDate"),
                     text("RevisedBy"), text("RevisionDescription"), integer("CableCount"),
                     // Empty for a revision issued before cores were frozen with their cables.
                     integer("CoreCount")},
         .indexes = {uniqueOn({"Revision"})},
         .merged = true},
        // A frozen row's identity is its first revision's identity and its cable's key.
        {.name = "tblRevisionCables",
         .columns = join({{autoKey("RevisionCableID"), integer("Revision"), integer("LastRevision"),
                           integer("CableID"), text("CableNO"), text("CableNoPrefix"),
                           text("CableType"), text("CabletypeManu"), text("SignalType")},
                          cableEnds(),
                          {text("Integrator"), real("Length"), text("Sheet"), flag("MultiCore"),
                           flag("Available")}}),
         .indexes = {uniqueOn({"CableID", "Revision"}), hashOn({"CableNO"})},
         .merged = true,
         .identityByHash = true},
        // The cores of the multicore cables as they stood, each under its cable's prefix.
        {.name = "tblRevisionCores",
         .columns = join({{autoKey("RevisionCoreID"), integer("Revision"), integer("LastRevision"),
                           integer("ChildCableID"), integer("ParentNo"), text("CableNo"),
                           text("CableNoPrefix")},
                          cableEnds(),
                          {text("Integrator"), text("Sheet"), flag("Available")}}),
         .indexes = {uniqueOn({"ChildCableID", "Revision"})},
         .merged = true,
         .identityByHash = true},
        // The lines of the last comparison each user made, which the stock report "Cable
        // Changes" prints.
        {.name = "tblCableChanges",
         .columns = {autoKey("CableChangeID"), text("ComparedBy"), text("Compared"),
                     integer("LineNo"), text("Change"), text("CableNumber"), text("Field"),
                     text("OldValue"), text("NewValue"), text("Sheet")},
         .indexes = {indexOn({"ComparedBy", "LineNo"})},
         .merged = true},
        {.name = "tblSystems",
         .columns = {autoKey("SysID"), text("SysName"), integer("SysNum"),
                     hidden(integer("EquipID")), text("Location"), text("Elevation"), text("Alias"),
                     text("Manufacturer"), text("equipmentname")},
         .indexes = {indexOn({"SysName", "SysNum"}), indexOn({"EquipID"})},
         .merged = true},
        // JFSysID is the number within the system name; it is shown with two digits ("07").
        {.name = "tblJF",
         .columns = {autoKey("JFID"), hidden(integer("JackFieldID")), text("JFSysName"),
                     integer("JFSysID"), text("JFLoc"), text("JFEl"), text("RowStartLetter"),
                     integer("ColStartNo"), text("SignalType"), text("FrontConn"), text("RearConn"),
                     hidden(integer("JFRows")), hidden(integer("JFCols")), text("SHEET")},
         .indexes = {indexOn({"JFSysName", "JFSysID"}), indexOn({"JackFieldID"})},
         .merged = true},
        {.name = "tblJFRowCol",
         .columns = {autoKey("RowColID"), hidden(integer("JFID")), text("JFRow"), text("JFCol"),
                     hidden(integer("JFRowNumber")), text("JFConn"), text("Sheet"),
                     flag("assigned"), text("SRC"), text("dest")},
         .foreignKeys = {ownedBy("JFID", "tblJF", "JFID")},
         .indexes = {indexOn({"JFID", "JFCol", "JFRow"})},
         .merged = true},
        // Two rows may name one file (consolidation of two drawings of the same name).
        {.name = "tblDrawings",
         .columns = {autoKey("DrawingID"), hidden(integer("ProjectsID")), text("DrawingName"),
                     text("drawingpath"), flag("Locked"), text("LOCKEDBY"),
                     // What the drawing's title block shows beside the project's name.
                     text("DrawingTitle"), text("DrawingNo"), text("Revision"), text("DrawingDate"),
                     text("DrawnBy")},
         .indexes = {indexOn({"drawingpath"}), indexOn({"DrawingName"}), indexOn({"LOCKEDBY"})},
         .merged = true},
        {.name = "tblBOMMaster",
         .columns = {required(text("BOMFileName")), date("BOMDate")},
         .primaryKey = {"BOMFileName"},
         .merged = true},
        // A line's key is text, made by the engine for a new line.
        {.name = "tblBOM",
         .columns = {textKey("ItemKey"), text("FileName"), text("BOMClass"), text("Item"),
                     text("Manufacturer"), real("QTY"), text("vendor1"), text("vendor2"),
                     real("Cost1"), real("COST2"), real("Ext1"), real("Ext2")},
         .primaryKey = {"ItemKey"},
         .foreignKeys = {ownedBy("FileName", "tblBOMMaster", "BOMFileName")},
         .indexes = {indexOn({"FileName", "BOMClass"})},
         .merged = true},
        lockTable("tblLockcables", "lockCables"),
        lockTable("tblLockSys", "lockSystems"),
        {.name = "tblLocalProject",
         .columns = {text("ProjectName"), text("ProjectDescription")},
         .merged = true},
        // The project's racks: a system stands in the rack whose name its Location gives. The
        // height is in RU; the power capacity (W) and the weight limit (kg) may be left empty.
        {.name = "tblRackUnits",
         .columns = {autoKey("RackUnitID"), required(text("RackUnitName")), integer("RackUnits"),
                     real("PowerLimit"), real("WeightLimit"), text("RackUnitDescription")},
         .indexes = {uniqueOn({"RackUnitName"})},
         .merged = true},
        // Each rack's budget as last worked out from its systems and the library, read by the
        // "Rack Budgets" report; rewritten whole each time they are worked out.
        {.name = "tblRackBudgets",
         .columns = {text("RackUnitName"), integer("RackUnits"), integer("RUUsed"),
                     integer("RUFree"), integer("Systems"), real("Watts"), real("PowerLimit"),
                     real("BTU"), real("Weight"), real("WeightLimit"), text("OverLimits"),
                     date("BudgetDate")},
         .indexes = {indexOn({"RackUnitName"})},
         .merged = true},
        // The project's identification and revision, the source of the revision fields a
        // new cable row carries.
        {.name = "tblPID",
         .columns = {autoKey("PIDID"), text("ProjectNumber"), text("ProjectTitle"),
                     text("ClientName"), text("SiteName"), text("SiteAddress"), text("Engineer"),
                     text("Drafter"), integer("CurrentRevision"), integer("ProjectRevision"),
                     date("RevisionDate"), text("Notes")},
         .merged = true},
        {.name = "tblRTR",
         .columns = {autoKey("RTRID"), text("RTRSysName"), text("RTRSysID"), text("RTRName"),
                     text("ManufacturerID"), text("RTRLoc"), text("RTREl"), text("SignalType"),
                     integer("Inputs"), integer("Outputs"), integer("Levels"), text("Sheet")},
         .indexes = {indexOn({"RTRSysName", "RTRSysID"})},
         .merged = true},
        // Router crosspoints: which input each output of a router level takes.
        {.name = "tblXP",
         .columns = {autoKey("XPID"), hidden(integer("RTRID")), text("XPLevel"), integer("InputNo"),
                     text("InputName"), integer("OutputNo"), text("OutputName")},
         .indexes = {indexOn({"RTRID", "XPLevel", "OutputNo"})},
         .merged = true},
    });
}

std::vector<ViewDef> equipmentViews() {
    return {
        // Views keep their ORDER BY on both engines when read with a plain "select *", but
        // neither engine promises it: callers that need an order give their own.
        {QStringLiteral("qryEquipmentByManfacturer"),
         QStringLiteral("SELECT tblManufacturers.ManufacturerName, tblEquipment.* "
                        "FROM tblManufacturers INNER JOIN tblEquipment "
                        "ON tblManufacturers.ManufacturerID = tblEquipment.ManufacturerID "
                        "ORDER BY tblManufacturers.ManufacturerName, tblEquipment.EquipmentName"),
         {QStringLiteral("EquipmentID"), QStringLiteral("ManufacturerID")}},
        // Every model, with its manufacturer's name: the equipment data sheet.
        {QStringLiteral("qryEquipAll"),
         QStringLiteral("SELECT tblManufacturers.ManufacturerName, tblEquipment.* "
                        "FROM tblEquipment LEFT JOIN tblManufacturers "
                        "ON tblManufacturers.ManufacturerID = tblEquipment.ManufacturerID"),
         {QStringLiteral("EquipmentID"), QStringLiteral("ManufacturerID")}},
    };
}

std::vector<ViewDef> projectViews() {
    // The jack's own sheet is JackSheet: a view cannot carry two columns named Sheet.
    return {
        {QStringLiteral("qryProjJFJack"),
         QStringLiteral(
             "SELECT tblJF.JFID, tblJF.JackFieldID, tblJF.JFSysName, tblJF.JFSysID, tblJF.JFLoc, "
             "tblJF.JFEl, tblJF.RowStartLetter, tblJF.ColStartNo, tblJF.SignalType, "
             "tblJF.FrontConn, tblJF.RearConn, tblJF.JFRows, tblJF.JFCols, tblJF.SHEET, "
             "tblJFRowCol.RowColID, tblJFRowCol.JFRow, tblJFRowCol.JFCol, "
             "tblJFRowCol.JFRowNumber, tblJFRowCol.JFConn, tblJFRowCol.Sheet AS JackSheet, "
             "tblJFRowCol.assigned, tblJFRowCol.SRC, tblJFRowCol.dest "
             "FROM tblJF LEFT JOIN tblJFRowCol ON tblJF.JFID = tblJFRowCol.JFID "
             "ORDER BY tblJF.JFSysName, tblJF.JFSysID, tblJFRowCol.JFRow, tblJFRowCol.JFCol"),
         {QStringLiteral("JFID"), QStringLiteral("JackFieldID"), QStringLiteral("RowColID"),
          QStringLiteral("JFRowNumber"), QStringLiteral("JFRows"), QStringLiteral("JFCols")}},
    };
}

// ---- DDL --------------------------------------------------------------------------------

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString typeSql(Engine e, ColType type) {
    const bool lite = e == Engine::SQLite;
    const char* sql = "";
    switch (type) {
        case ColType::Text:
        case ColType::Guid:
            sql = lite ? "TEXT COLLATE NOCASE" : "citext";
            break;
        case ColType::ExactText:
            sql = lite ? "TEXT" : "text";
            break;
        case ColType::Integer:
        case ColType::AutoKey:
            sql = lite ? "INTEGER" : "integer";
            break;
        case ColType::Real:
            sql = lite ? "REAL" : "double precision";
            break;
        case ColType::Bool:
            sql = lite ? "BOOLEAN" : "boolean";
            break;
        case ColType::DateTime:
            sql = lite ? "TEXT" : "timestamp";
            break;
    }
    return QString::fromLatin1(sql);
}

QString guidDefault(Engine e) {
    return e == Engine::SQLite ? QStringLiteral("(lower(hex(randomblob(16))))")
                               : QStringLiteral("(gen_random_uuid()::text)");
}

bool hasDefault(const ColumnDef& c) {
    return !c.defaultValue.isEmpty() || c.type == ColType::Guid || c.type == ColType::AutoKey;
}

// One column as CREATE TABLE or ADD COLUMN writes it. An added column may not declare the key
// (the table has its rows already), nor refuse nulls unless a default fills them.
QString columnSql(Engine e, const ColumnDef& c, bool added) {
    QString sql = c.name + QLatin1Char(' ') + typeSql(e, c.type);
    if (c.type == ColType::AutoKey) {
        if (e == Engine::SQLite) return sql + QStringLiteral(" PRIMARY KEY AUTOINCREMENT");
        sql += QStringLiteral(" generated by default as identity");
        return added ? sql : sql + QStringLiteral(" primary key");
    }
    if (c.notNull && (!added || hasDefault(c))) sql += QStringLiteral(" NOT NULL");
    if (c.type == ColType::Guid)
        sql += QStringLiteral(" DEFAULT ") + guidDefault(e);
    else if (!c.defaultValue.isEmpty())
        sql += QStringLiteral(" DEFAULT ") + c.defaultValue;
    return sql;
}

QString foreignKeySql(const TableDef& t, const ForeignKeyDef& fk) {
    QString sql = QStringLiteral("CONSTRAINT %1 FOREIGN KEY (%2) REFERENCES %3 (%4)")
                      .arg(foreignKeyName(t, fk), fk.columns.join(QStringLiteral(", ")),
                           fk.refTable, fk.refColumns.join(QStringLiteral(", ")));
    if (fk.cascadeDelete) sql += QStringLiteral(" ON DELETE CASCADE");
    if (fk.cascadeUpdate) sql += QStringLiteral(" ON UPDATE CASCADE");
    return sql;
}

// CREATE TABLE under a name (the table's own, or a temporary one while SQLite rebuilds it);
// extra: further column definitions kept from an older table. Columns in addNullable are
// declared without NOT NULL because the rows copied into the table have no value for them.
QString createSql(Engine e, const TableDef& t, const QString& name, const QStringList& extra,
                  const QSet<QString>& addNullable) {
    QStringList parts;
    for (const ColumnDef& c : t.columns)
        parts << columnSql(e, c, addNullable.contains(c.name.toLower()));
    parts << extra;
    if (!t.primaryKey.isEmpty())
        parts << QStringLiteral("PRIMARY KEY (%1)").arg(t.primaryKey.join(QStringLiteral(", ")));
    for (const ForeignKeyDef& fk : t.foreignKeys) parts << foreignKeySql(t, fk);
    return QStringLiteral("CREATE TABLE %1 (\n  %2\n)")
        .arg(name, parts.join(QStringLiteral(",\n  ")));
}

// PostgreSQL's hash index takes one column.
QStringList indexSql(Engine e, const TableDef& t) {
    QStringList list;
    for (const IndexDef& ix : t.indexes) {
        const bool hash = ix.hashed && e == Engine::PostgreSQL && ix.columns.size() == 1;
        list << QStringLiteral("CREATE %1INDEX IF NOT EXISTS %2 ON %3 %4(%5)")
                    .arg(ix.unique ? QStringLiteral("UNIQUE ") : QString(), indexName(t, ix),
                         t.name, hash ? QStringLiteral("USING hash ") : QString(),
                         ix.columns.join(QStringLiteral(", ")));
    }
    return list;
}

// ---- talking to the database --------------------------------------------------------------

// DDL and catalogue reads carry only our own names, never user text; PostgreSQL cannot
// prepare DDL, so these run unprepared.
QSqlQuery run(DbId id, Connections& registry, const QString& sql) {
    QSqlQuery q(registry.database(id));
    q.setForwardOnly(true);
    if (!q.exec(sql))
        throw DbError(id, QStringLiteral("cannot run \"%1\"").arg(sql), q.lastError().text());
    return q;
}

QStringList firstColumn(DbId id, Connections& registry, const QString& sql) {
    QSqlQuery q = run(id, registry, sql);
    QStringList values;
    while (q.next()) values << q.value(0).toString().toLower();
    return values;
}

// Our names are plain identifiers; quoting them into catalogue queries is safe.
QString literal(const QString& name) {
    return QLatin1Char('\'') + name.toLower() + QLatin1Char('\'');
}

// What a column stores and how its text compares, in one word per engine: SQLite "TEXT
// COLLATE NOCASE", "TEXT", "INTEGER", ...; PostgreSQL the type's own name (citext, text,
// int4, float8, bool, timestamp).
QString wantedKind(Engine e, ColType type) {
    if (e == Engine::SQLite) return typeSql(e, type).toUpper();
    switch (type) {
        case ColType::Text:
        case ColType::Guid:
            return QStringLiteral("citext");
        case ColType::ExactText:
            return QStringLiteral("text");
        case ColType::Integer:
        case ColType::AutoKey:
            return QStringLiteral("int4");
        case ColType::Real:
            return QStringLiteral("float8");
        case ColType::Bool:
            return QStringLiteral("bool");
        case ColType::DateTime:
            return QStringLiteral("timestamp");
    }
    return {};
}

bool isNumber(ColType type) {
    return type == ColType::Integer || type == ColType::Real;
}

// SQLite keeps a column's collation only in the table's CREATE text: "name TYPE ... COLLATE
// NOCASE" up to the next comma.
bool sqliteNoCase(const QString& createSql, const QString& column) {
    const QRegularExpression def(QStringLiteral("(?:^|[(,])\\s*[\"`\\[]?%1[\"`\\]]?\\s+([^,]*)")
                                     .arg(QRegularExpression::escape(column)),
                                 QRegularExpression::CaseInsensitiveOption);
    const auto m = def.match(createSql);
    return m.hasMatch() &&
           m.captured(1).contains(QLatin1String("COLLATE NOCASE"), Qt::CaseInsensitive);
}

const ExistingColumn* find(const std::vector<ExistingColumn>& cols, const QString& name) {
    for (const ExistingColumn& c : cols)
        if (c.name == name.toLower()) return &c;
    return nullptr;
}

// SQLite names a foreign key by what it links: "parent:child columns".
QSet<QString> sqliteForeignKeys(DbId id, Connections& registry, const QString& table) {
    QSqlQuery q = run(id, registry, QStringLiteral("pragma foreign_key_list(%1)").arg(table));
    QMap<int, QString> byId;
    while (q.next()) {
        QString& key = byId[q.value(0).toInt()];
        if (key.isEmpty())
            key = q.value(2).toString().toLower() + QLatin1Char(':');
        else
            key += QLatin1Char(',');
        key += q.value(3).toString().toLower();
    }
    return QSet<QString>(byId.begin(), byId.end());
}

QString sqliteKey(const ForeignKeyDef& fk) {
    return fk.refTable.toLower() + QLatin1Char(':') + fk.columns.join(QLatin1Char(',')).toLower();
}

QStringList pgConstraints(DbId id, Connections& registry, const QString& table, const char* type) {
    return firstColumn(id, registry,
                       QStringLiteral("select lower(constraint_name) from "
                                      "information_schema.table_constraints where table_schema = "
                                      "current_schema() and table_name = %1 and "
                                      "constraint_type = '%2'")
                           .arg(literal(table), QLatin1String(type)));
}

// ---- columns whose kind changed ----------------------------------------------------------

bool changedKind(Engine e, const ColumnDef& c, const ExistingColumn& have) {
    // A number column that numbers new rows is told by its key, not its kind.
    return c.type != ColType::AutoKey && have.kind != wantedKind(e, c.type);
}

// The column a message names a row by: the table's key, else its row identity.
QString rowKeyColumn(Engine e, const TableDef& t, const std::vector<ExistingColumn>& old) {
    for (const ColumnDef& c : t.columns)
        if (c.type == ColType::AutoKey && find(old, c.name)) return c.name;
    if (!t.primaryKey.isEmpty() && find(old, t.primaryKey.first())) return t.primaryKey.first();
    if (find(old, kGuidColumn)) return kGuidColumn;
    return e == Engine::SQLite ? QStringLiteral("rowid") : QStringLiteral("ctid");
}

bool isFormerWord(const ColumnDef& c, const QString& value) {
    for (const auto& [word, number] : c.formerWords)
        if (word.compare(value, Qt::CaseInsensitive) == 0) return true;
    return false;
}

// A column that is to hold numbers: every value it holds must be one (an empty text is no
// value, a former word has its number). Otherwise the upgrade stops, naming what is in the way.
void checkNumbers(DbId id, Connections& registry, const TableDef& t, const ColumnDef& c,
                  const QString& keyColumn) {
    QSqlQuery q = run(id, registry,
                      QStringLiteral("select %1, %2 from %3 where %2 is not null")
                          .arg(keyColumn, c.name, t.name));
    QStringList bad;
    while (q.next()) {
        const QString value = q.value(1).toString().trimmed();
        if (value.isEmpty() || isFormerWord(c, value)) continue;
        bool ok = false;
        if (c.type == ColType::Integer)
            value.toLongLong(&ok);
        else
            value.toDouble(&ok);
        if (!ok)
            bad << QStringLiteral("%1 %2 holds \"%3\"")
                       .arg(keyColumn, q.value(0).toString(), value);
    }
    if (bad.isEmpty()) return;
    throw DbError(id, QStringLiteral("cannot be brought to the current version"),
                  QStringLiteral("%1.%2 holds numbers now, and these rows hold something else: "
                                 "%3. Correct them with the Tolvane that made the database or a "
                                 "database tool; the database is left as it was")
                      .arg(t.name, c.name, bad.join(QStringLiteral("; "))));
}

// A column's value in its new kind: numbers written as text become numbers (former words
// their number, an empty text no value); anything becomes text.
QString convertedSql(Engine e, const ColumnDef& c) {
    const bool lite = e == Engine::SQLite;
    if (isNumber(c.type)) {
        const QString value = lite ? QStringLiteral("trim(%1)").arg(c.name)
                                   : QStringLiteral("trim(%1::text)").arg(c.name);
        QString sql = QStringLiteral("CASE");
        for (const auto& [word, number] : c.formerWords)
            sql += QStringLiteral(" WHEN lower(%1) = '%2' THEN %3")
                       .arg(value, word.toLower(), QString::number(number));
        return sql + QStringLiteral(" WHEN %1 = '' THEN NULL ELSE CAST(%1 AS %2) END")
                         .arg(value, typeSql(e, c.type));
    }
    if (c.type == ColType::Text || c.type == ColType::ExactText || c.type == ColType::Guid)
        return lite ? QStringLiteral("CAST(%1 AS TEXT)").arg(c.name)
                    : QStringLiteral("%1::text").arg(c.name);
    return c.name;
}

// SQLite cannot add a key, a column with a computed default, or a foreign key to a table: such
// a table is made anew with its full definition and its rows copied across, key values and
// columns unknown to this version included. Foreign keys are off meanwhile (see ensureSchema),
// so dropping the old table deletes nothing that refers to it.
void rebuildSqliteTable(DbId id, Connections& registry, const TableDef& t,
                        const std::vector<ExistingColumn>& old) {
    QStringList extra, copied, values;
    QSet<QString> missing;
    for (const ExistingColumn& c : old) {
        copied << c.name;
        const ColumnDef* def = t.column(c.name);
        values << (def && changedKind(Engine::SQLite, *def, c) ? convertedSql(Engine::SQLite, *def)
                                                               : c.name);
        if (!def) extra << (c.name + QLatin1Char(' ') + c.declaredType).trimmed();
    }
    for (const ColumnDef& c : t.columns)
        if (!find(old, c.name)) missing << c.name.toLower();
    const QString temp = QStringLiteral("tolvane_rebuild_") + t.name;
    run(id, registry, createSql(Engine::SQLite, t, temp, extra, missing));
    run(id, registry,
        QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %4")
            .arg(temp, copied.join(QStringLiteral(", ")), values.join(QStringLiteral(", ")),
                 t.name));
    run(id, registry, QStringLiteral("DROP TABLE %1").arg(t.name));
    run(id, registry, QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(temp, t.name));
}

void upgradeSqliteTable(DbId id, Connections& registry, const TableDef& t) {
    const std::vector<ExistingColumn> old = existingColumns(id, registry, t.name);
    std::vector<const ColumnDef*> missing;
    bool rebuild = false;
    for (const ColumnDef& c : t.columns) {
        const ExistingColumn* have = find(old, c.name);
        if (have) {
            // A number column that should number new rows but does not.
            if (c.type == ColType::AutoKey && !have->primaryKey) rebuild = true;
            if (changedKind(Engine::SQLite, c, *have)) {
                if (isNumber(c.type))
                    checkNumbers(id, registry, t, c, rowKeyColumn(Engine::SQLite, t, old));
                rebuild = true;
            }
            continue;
        }
        missing.push_back(&c);
        const bool inKey = t.primaryKey.contains(c.name, Qt::CaseInsensitive);
        if (c.type == ColType::AutoKey || c.type == ColType::Guid || inKey) rebuild = true;
    }
    const QSet<QString> keys = sqliteForeignKeys(id, registry, t.name);
    for (const ForeignKeyDef& fk : t.foreignKeys)
        if (!keys.contains(sqliteKey(fk))) rebuild = true;
    if (rebuild) {
        rebuildSqliteTable(id, registry, t, old);
        return;
    }
    for (const ColumnDef* c : missing)
        run(id, registry,
            QStringLiteral("ALTER TABLE %1 ADD COLUMN %2")
                .arg(t.name, columnSql(Engine::SQLite, *c, true)));
}

// PostgreSQL changes a table in place: columns, identities, the key and foreign keys are
// added to it. Foreign keys are added NOT VALID: they hold for every new row, while rows an
// older version let through are kept.
void upgradePgTable(DbId id, Connections& registry, const TableDef& t) {
    const std::vector<ExistingColumn> old = existingColumns(id, registry, t.name);
    for (const ColumnDef& c : t.columns) {
        const ExistingColumn* have = find(old, c.name);
        if (!have) {
            run(id, registry,
                QStringLiteral("ALTER TABLE %1 ADD COLUMN %2")
                    .arg(t.name, columnSql(Engine::PostgreSQL, c, true)));
        } else if (changedKind(Engine::PostgreSQL, c, *have)) {
            if (isNumber(c.type))
                checkNumbers(id, registry, t, c, rowKeyColumn(Engine::PostgreSQL, t, old));
            if (have->identity)
                run(id, registry,
                    QStringLiteral("ALTER TABLE %1 ALTER COLUMN %2 DROP IDENTITY")
                        .arg(t.name, c.name));
            run(id, registry,
                QStringLiteral("ALTER TABLE %1 ALTER COLUMN %2 TYPE %3 USING %4")
                    .arg(t.name, c.name, typeSql(Engine::PostgreSQL, c.type),
                         convertedSql(Engine::PostgreSQL, c)));
            if (c.type == ColType::Guid || !c.defaultValue.isEmpty())
                run(id, registry,
                    QStringLiteral("ALTER TABLE %1 ALTER COLUMN %2 SET DEFAULT %3")
                        .arg(t.name, c.name,
                             c.type == ColType::Guid ? guidDefault(Engine::PostgreSQL)
                                                     : c.defaultValue));
        } else if (c.type == ColType::AutoKey && !have->identity) {
            run(id, registry,
                QStringLiteral("ALTER TABLE %1 ALTER COLUMN %2 SET NOT NULL").arg(t.name, c.name));
            run(id, registry,
                QStringLiteral(
                    "ALTER TABLE %1 ALTER COLUMN %2 ADD GENERATED BY DEFAULT AS IDENTITY")
                    .arg(t.name, c.name));
            // New rows are numbered after the rows already there.
            run(id, registry,
                QStringLiteral(
                    "SELECT setval(pg_get_serial_sequence(%1, %2), coalesce(max(%3), 0) + 1, "
                    "false) FROM %4")
                    .arg(literal(t.name), literal(c.name), c.name, t.name));
        }
    }
    QStringList key = t.primaryKey;
    for (const ColumnDef& c : t.columns)
        if (c.type == ColType::AutoKey) key = QStringList{c.name};
    if (!key.isEmpty() && pgConstraints(id, registry, t.name, "PRIMARY KEY").isEmpty()) {
        QStringList nulls;
        for (const QString& k : key) nulls << k + QStringLiteral(" IS NULL");
        QSqlQuery q = run(id, registry,
                          QStringLiteral("SELECT 1 FROM %1 WHERE %2 LIMIT 1")
                              .arg(t.name, nulls.join(QStringLiteral(" OR "))));
        if (!q.next())
            run(id, registry,
                QStringLiteral("ALTER TABLE %1 ADD PRIMARY KEY (%2)")
                    .arg(t.name, key.join(QStringLiteral(", "))));
    }
    const QStringList have = pgConstraints(id, registry, t.name, "FOREIGN KEY");
    for (const ForeignKeyDef& fk : t.foreignKeys)
        if (!have.contains(foreignKeyName(t, fk).toLower()))
            run(id, registry,
                QStringLiteral("ALTER TABLE %1 ADD %2 NOT VALID")
                    .arg(t.name, foreignKeySql(t, fk)));
}

// A database kept in a schema of a shared server ("schema=" in its connection string) has no
// schema until its tables are made; without one, PostgreSQL would look in public instead.
bool pgSchemaPresent(DbId id, Connections& registry) {
    const QString schema = registry.boundTo(id).schema;
    if (schema.isEmpty()) return true;
    return !firstColumn(id, registry,
                        QStringLiteral("select 1 from pg_namespace where nspname = %1")
                            .arg(literal(schema)))
                .isEmpty();
}

// Foreign-key enforcement is a connection setting SQLite ignores inside a transaction: it is
// switched off before the schema transaction starts and on again after it ended.
class SqliteForeignKeysOff {
  public:
    SqliteForeignKeysOff(DbId id, Connections& registry) : id_(id), registry_(registry) {
        if (registry_.engine(id_) == Engine::SQLite) {
            run(id_, registry_, QStringLiteral("pragma foreign_keys = off"));
            active_ = true;
        }
    }
    ~SqliteForeignKeysOff() {
        if (!active_) return;
        QSqlQuery q(registry_.database(id_));
        q.exec(QStringLiteral("pragma foreign_keys = on"));
    }
    SqliteForeignKeysOff(const SqliteForeignKeysOff&) = delete;
    SqliteForeignKeysOff& operator=(const SqliteForeignKeysOff&) = delete;

  private:
    DbId id_;
    Connections& registry_;
    bool active_ = false;
};

const QString kVersionTable = QStringLiteral("tolvane_schema");
// The advisory lock that serialises schema changes on a PostgreSQL server ("TOLV").
constexpr qint64 kSchemaLockKey = 0x544f4c56;

}  // namespace

QSet<QString> existingTables(DbId id, Connections& registry) {
    const QString sql =
        registry.engine(id) == Engine::SQLite
            ? QStringLiteral("select lower(name) from sqlite_master where type = 'table'")
            : QStringLiteral(
                  "select table_name from information_schema.tables where "
                  "table_schema = current_schema() and table_type = 'BASE TABLE'");
    const QStringList names = firstColumn(id, registry, sql);
    return QSet<QString>(names.begin(), names.end());
}

std::vector<ExistingColumn> existingColumns(DbId id, Connections& registry, const QString& table) {
    std::vector<ExistingColumn> cols;
    if (registry.engine(id) == Engine::SQLite) {
        QSqlQuery create =
            run(id, registry,
                QStringLiteral(
                    "select sql from sqlite_master where type = 'table' and lower(name) = %1")
                    .arg(literal(table)));
        const QString createText = create.next() ? create.value(0).toString() : QString();
        QSqlQuery q = run(id, registry, QStringLiteral("pragma table_info(%1)").arg(table));
        while (q.next()) {
            const QString name = q.value(1).toString();
            const QString declared = q.value(2).toString();
            const QString kind =
                declared.toUpper() +
                (sqliteNoCase(createText, name) ? QStringLiteral(" COLLATE NOCASE") : QString());
            cols.push_back({name.toLower(), declared, q.value(5).toInt() > 0, false, kind});
        }
    } else {
        QSqlQuery q = run(id, registry,
                          QStringLiteral("select column_name, data_type, is_identity, udt_name "
                                         "from information_schema.columns where table_schema = "
                                         "current_schema() and table_name = %1 order by "
                                         "ordinal_position")
                              .arg(literal(table)));
        while (q.next())
            cols.push_back({q.value(0).toString().toLower(), q.value(1).toString(), false,
                            q.value(2).toString() == QLatin1String("YES"),
                            q.value(3).toString().toLower()});
    }
    return cols;
}

// ---- public interface ---------------------------------------------------------------------

const std::vector<TableDef>& tables(DbKind kind) {
    static const std::vector<TableDef> pm = projectManagerTables();
    static const std::vector<TableDef> equipment = equipmentTables();
    static const std::vector<TableDef> project = projectTables();
    switch (kind) {
        case DbKind::ProjectManager:
            return pm;
        case DbKind::Equipment:
            return equipment;
        case DbKind::Project:
            return project;
    }
    return project;
}

const std::vector<ViewDef>& views(DbKind kind) {
    static const std::vector<ViewDef> none;
    static const std::vector<ViewDef> equipment = equipmentViews();
    static const std::vector<ViewDef> project = projectViews();
    switch (kind) {
        case DbKind::ProjectManager:
            return none;
        case DbKind::Equipment:
            return equipment;
        case DbKind::Project:
            return project;
    }
    return none;
}

const TableDef* findTable(DbKind kind, const QString& name) {
    for (const TableDef& t : tables(kind))
        if (sameName(t.name, name)) return &t;
    return nullptr;
}

bool isHiddenColumn(DbKind kind, const QString& table, const QString& column) {
    // The replication columns of databases made by the original program are hidden too.
    for (const char* replication : {"s_GUID", "s_Lineage", "s_Generation", "s_ColLineage"})
        if (sameName(column, QLatin1String(replication))) return true;
    if (const TableDef* t = findTable(kind, table)) {
        const ColumnDef* c = t->column(column);
        return c && c->hidden;
    }
    for (const ViewDef& v : views(kind))
        if (sameName(v.name, table)) return v.hiddenColumns.contains(column, Qt::CaseInsensitive);
    return false;
}

QString catalogName(Engine engine, const QString& table) {
    return engine == Engine::PostgreSQL ? table.toLower() : table;
}

QString indexName(const TableDef& table, const IndexDef& index) {
    // An expression ("(length(CableNO))") names the index by its words.
    static const QRegularExpression notWord(QStringLiteral("[^a-z0-9_]"));
    return (QStringLiteral("ix_") + table.name + QLatin1Char('_') +
            index.columns.join(QLatin1Char('_')))
        .toLower()
        .remove(notWord);
}

QString foreignKeyName(const TableDef& table, const ForeignKeyDef& key) {
    return (QStringLiteral("fk_") + table.name + QLatin1Char('_') +
            key.columns.join(QLatin1Char('_')))
        .toLower();
}

QString addedColumnSql(Engine engine, const ColumnDef& column) {
    return columnSql(engine, column, true);
}

QStringList createTableSql(Engine engine, const TableDef& table) {
    return QStringList{createSql(engine, table, table.name, {}, {})} + indexSql(engine, table);
}

int schemaVersion(DbId id, Connections& registry) {
    if (registry.engine(id) == Engine::PostgreSQL && !pgSchemaPresent(id, registry)) return 0;
    if (!existingTables(id, registry).contains(kVersionTable)) return 0;
    QSqlQuery q =
        run(id, registry, QStringLiteral("select max(version) from %1").arg(kVersionTable));
    return q.next() ? q.value(0).toInt() : 0;
}

void ensureSchema(DbId id, Connections& registry) {
    const Engine engine = registry.engine(id);
    const DbKind kind = kindOf(id);
    SqliteForeignKeysOff keysOff(id, registry);
    Transaction tx(id, registry);
    if (engine == Engine::PostgreSQL) {
        // "already exists, skipping" is what a second run expects to hear.
        run(id, registry, QStringLiteral("SET LOCAL client_min_messages = warning"));
        // Users of a shared server who start together: one makes the schema, the others wait
        // and then find it made.
        run(id, registry, QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLockKey));
    }
    const int found = schemaVersion(id, registry);
    if (found > kSchemaVersion)
        throw DbError(id, QStringLiteral("was made by a newer Tolvane"),
                      QStringLiteral("its schema version is %1; this Tolvane knows version %2 "
                                     "and older")
                          .arg(found)
                          .arg(kSchemaVersion));
    if (engine == Engine::PostgreSQL) {
        const QString schema = registry.boundTo(id).schema;
        if (!pgSchemaPresent(id, registry))
            run(id, registry, QStringLiteral("CREATE SCHEMA %1").arg(schema));
        // In public, so that every schema of the database finds the type.
        if (firstColumn(id, registry,
                        QStringLiteral("select 1 from pg_extension where extname = 'citext'"))
                .isEmpty())
            run(id, registry,
                QStringLiteral("CREATE EXTENSION IF NOT EXISTS citext WITH SCHEMA public"));
    }
    // Views go first and come back last: they name the tables that are about to change.
    for (const ViewDef& v : views(kind))
        run(id, registry, QStringLiteral("DROP VIEW IF EXISTS %1").arg(v.name));
    // Before version 8 every revision held a row for every cable and core: the frozen rows
    // were kept unique by their revision and key, and by a sorted index on their identity.
    const bool frozenPerRevision = kind == DbKind::Project && found >= 6 && found < 8;
    if (frozenPerRevision)
        for (const char* index :
             {"ix_tblrevisioncables_revision_cableid",
              "ix_tblrevisioncables_cableno_cablenoprefix_available", "ix_tblrevisioncables_s_guid",
              "ix_tblrevisioncores_revision_childcableid", "ix_tblrevisioncores_s_guid"})
            run(id, registry, QStringLiteral("DROP INDEX IF EXISTS %1").arg(QLatin1String(index)));
    const QSet<QString> present = existingTables(id, registry);
    for (const TableDef& t : tables(kind)) {
        if (!present.contains(t.name.toLower())) {
            run(id, registry, createSql(engine, t, t.name, {}, {}));
        } else if (engine == Engine::SQLite) {
            upgradeSqliteTable(id, registry, t);
        } else {
            upgradePgTable(id, registry, t);
        }
        for (const QString& sql : indexSql(engine, t)) run(id, registry, sql);
    }
    for (const ViewDef& v : views(kind))
        run(id, registry, QStringLiteral("CREATE VIEW %1 AS %2").arg(v.name, v.select));
    // Before version 5 every starter row had an identity of its own: two installations'
    // libraries were strangers to a merge.
    if (found > 0 && found < 5) adoptStarterIdentities(id, registry);
    // Such a row stands in its own revision alone; those of the latest stand on until they
    // change.
    if (frozenPerRevision)
        for (const char* table : {"tblRevisionCables", "tblRevisionCores"})
            run(id, registry,
                QStringLiteral("UPDATE %1 SET LastRevision = CASE WHEN Revision < (SELECT "
                               "max(Revision) FROM tblRevisions) THEN Revision END")
                    .arg(QLatin1String(table)));
    run(id, registry,
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (version integer)").arg(kVersionTable));
    run(id, registry, QStringLiteral("DELETE FROM %1").arg(kVersionTable));
    run(id, registry,
        QStringLiteral("INSERT INTO %1 (version) VALUES (%2)")
            .arg(kVersionTable)
            .arg(kSchemaVersion));
    tx.commit();
}

void upgradeExisting(DbId id, Connections& registry) {
    const int version = schemaVersion(id, registry);
    if (version == kSchemaVersion) return;
    if (version == 0) {
        const ConnectionSpec& at = registry.boundTo(id);
        const bool empty = at.engine == Engine::SQLite && QFileInfo(at.path).size() == 0;
        throw DbError(id, at.location(), QStringLiteral("cannot be read"),
                      (empty ? QStringLiteral("the file is empty")
                             : QStringLiteral("it holds no Tolvane database")) +
                          QStringLiteral(". It is left as it is: restore it from a backup, or "
                                         "move it away to start with a new, empty one"));
    }
    ensureSchema(id, registry);
}

void createSqliteFile(DbId db, const QString& path) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw DbError(db, QStringLiteral("cannot be created at %1").arg(path),
                      QStringLiteral("a folder of that name is in the way"));
    if (!QDir().mkpath(info.absolutePath()))
        throw DbError(db, QStringLiteral("cannot be created at %1").arg(path),
                      QStringLiteral("the folder %1 cannot be made").arg(info.absolutePath()));
    if (info.exists()) return;  // an existing database is never emptied
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw DbError(db, QStringLiteral("cannot be created at %1").arg(path), file.errorString());
}

}  // namespace tolvane::db

namespace tolvane::db {

std::optional<DbId> homeOf(const QString& table) {
    // The equipment database's users own the preference rows; the project manager's users
    // log in, and the login names its database itself.
    if (table.compare(QLatin1String("tblUsers"), Qt::CaseInsensitive) == 0) return DbId::Equipment;
    for (const auto& [kind, id] :
         {std::pair{DbKind::Equipment, DbId::Equipment},
          std::pair{DbKind::ProjectManager, DbId::PM}, std::pair{DbKind::Project, DbId::Project}})
        if (findTable(kind, table)) return id;
    return std::nullopt;
}

}  // namespace tolvane::db
