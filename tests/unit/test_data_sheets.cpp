// The data sheets where a scenario cannot look: which columns a sheet hides and which it lets
// the user edit, the lists the system-name cells offer, the rights a library sheet asks for,
// and the column layout file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPointer>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "app/projects/data_sheets.h"
#include "app/projects/grid_layout.h"
#include "app/shell/widget_helpers.h"
#include "db/schema.h"
#include "db_fixture.h"
#include "equipment/manufacturers.h"
#include "front/widget_driver.h"
#include "script_fixture.h"
#include "shell/run_state.h"

using namespace tolvane;
using test::ScriptedUser;

namespace {

class DataSheetsTest : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        run.appPath = dir.filePath("home") + "/";
        run.currentProjectPath = dir.filePath("job");
        dbs.makeEmpty(db::DbId::Equipment, registry);
        db::ensureSchema(db::DbId::Equipment, registry);
        dbs.makeEmpty(db::DbId::Project, registry);
        db::ensureSchema(db::DbId::Project, registry);
        for (const char* sql :
             {"insert into tblManufacturers (ManufacturerID, ManufacturerName) values "
              "('ZED', 'Zed Audio'), ('ACME', 'Acme Video'), ('EMPTY', 'Empty Works')",
              "insert into tblEquipment (ManufacturerID, EquipmentName, EquipmentCost1) values "
              "('ZED', 'Z-1', 10), ('ACME', 'V-9', 20), ('ACME', 'V-2', 30)",
              "insert into tblConnectors (Connector) values ('BNC'), ('XLR3F')",
              "insert into tblCableTypes (ManufacturerID, CableType) values ('ACME', 'C-1')",
              "insert into tblSystems (SysName, SysNum, Manufacturer, equipmentname) values "
              "('VTR', 1, 'Acme Video', 'V-2')"}) {
            const db::DbId id = QString::fromLatin1(sql).contains("tblSystems")
                                    ? db::DbId::Project
                                    : db::DbId::Equipment;
            db::Query(id, QString::fromLatin1(sql), registry).exec();
        }
    }

    // The sheet as the user with these rights (none given: every right) opens it.
    DataSheetWindow* open(ScriptedUser& user, SheetKind kind, QStringList refused = {}) {
        std::function<bool(const QString&, bool)> allowed;
        if (!refused.isEmpty())
            allowed = [refused](const QString& key, bool) { return !refused.contains(key); };
        sheets = std::make_unique<DataSheets>(
            DataSheets::Services{run, *user.ui, nullptr, nullptr, allowed, registry});
        delete owned.data();
        owned = sheets->open(kind);
        return owned.data();
    }
    QString stored(db::DbId id, const QString& sql) {
        return db::Query(id, sql, registry).scalar().toString();
    }
    QString library(const QString& sql) { return stored(db::DbId::Equipment, sql); }
    QString project(const QString& sql) { return stored(db::DbId::Project, sql); }
    static bool has(const ScriptedUser& user, const QString& line) {
        return user.lines().contains(line);
    }
    static void pressDelete(DataSheetWindow* w, int row) {
        WidgetDriver::selectRows(w, "grdData", {row});
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
        QApplication::sendEvent(w->grid(), &key);
    }

    QTemporaryDir dir;
    RunState run;
    db::Connections registry;
    test::TestDatabases dbs{GetParam()};
    std::unique_ptr<DataSheets> sheets;
    // The users outlive the windows they answer for.
    ScriptedUser& makeUser(const char* script) {
        users.push_back(std::make_unique<ScriptedUser>(QString::fromLatin1(script)));
        return *users.back();
    }

    std::vector<std::unique_ptr<ScriptedUser>> users;
    QPointer<DataSheetWindow> owned;

    void TearDown() override { delete owned.data(); }
};

TEST(FieldCaptions, WordsOfFieldNames) {
    EXPECT_EQ(fieldCaption("ManufacturerID"), "Manufacturer ID");
    EXPECT_EQ(fieldCaption("DisplayInJboxes"), "Display In Jboxes");
    EXPECT_EQ(fieldCaption("SRCSys"), "Source System");
    EXPECT_EQ(fieldCaption("paircolorcode"), "Pair Color Code");
    EXPECT_EQ(fieldCaption("conncost2"), "Cost 2");
    EXPECT_EQ(fieldCaption("s_GUID"), "S GUID");
    EXPECT_EQ(fieldCaption("notes"), "Notes");
}

TEST_P(DataSheetsTest, LibrarySheetsHideTheirKeysAndEditOnlyTheirOwnTable) {
    ScriptedUser& user = makeUser("");
    DataSheetWindow* models = open(user, SheetKind::Equipment);
    ASSERT_TRUE(models);
    const QStringList grid = WidgetDriver::printGrid(models, "grdData");
    // Grouped by manufacturer, by model name within one; no keys, no row identity.
    ASSERT_EQ(grid.size(), 4);
    // PostgreSQL names the columns in lower case.
    EXPECT_TRUE(
        grid[0].startsWith("COLUMNS ManufacturerName | EquipmentName | ", Qt::CaseInsensitive));
    for (const char* key : {"EquipmentID", "ManufacturerID", "s_GUID"})
        EXPECT_FALSE(grid[0].contains(key, Qt::CaseInsensitive)) << key;
    EXPECT_TRUE(grid[1].startsWith("ROW 1: Acme Video | V-2 |"));
    // On the screen the headers are words, on both engines.
    const auto* shown =
        qobject_cast<const SheetModel*>(models->findChild<QTableView*>("grdData")->model());
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->headerData(shown->columnOf("ManufacturerName"), Qt::Horizontal).toString(),
              "Manufacturer Name");
    EXPECT_EQ(shown->headerData(shown->columnOf("EquipmentName"), Qt::Horizontal).toString(),
              "Equipment Name");
    if (const QString file = qEnvironmentVariable("TOLVANE_SCREENSHOT_SHEET"); !file.isEmpty())
        models->grab().save(file);
    EXPECT_TRUE(grid[2].startsWith("ROW 2:  | V-9 |"));  // the group is named once
    EXPECT_TRUE(grid[3].startsWith("ROW 3: Zed Audio | Z-1 |"));

    // The manufacturer's name comes from another table: it cannot be typed over here.
    EXPECT_THROW(WidgetDriver::editCell(models, "grdData", 1, "ManufacturerName", "X"),
                 DriverError);
    WidgetDriver::editCell(models, "grdData", 1, "EquipmentDescription", "Vision mixer");
    EXPECT_EQ(library("select EquipmentDescription from tblEquipment where EquipmentName = 'V-2'"),
              "Vision mixer");
    // The edited row is read back in place, with its manufacturer's name.
    EXPECT_TRUE(WidgetDriver::printGrid(models, "grdData")[1].startsWith(
        "ROW 1: Acme Video | V-2 | Vision mixer"));

    // The child cables hide their key and row identity too.
    ScriptedUser& cores = makeUser("");
    DataSheetWindow* children = open(cores, SheetKind::ChildCables);
    ASSERT_TRUE(children);
    const QString childColumns = WidgetDriver::printGrid(children, "grdData").first();
    EXPECT_TRUE(childColumns.startsWith("COLUMNS CableNo | ParentNo", Qt::CaseInsensitive));
    EXPECT_FALSE(childColumns.contains("s_GUID", Qt::CaseInsensitive));

    ScriptedUser& other = makeUser("");
    DataSheetWindow* types = open(other, SheetKind::CableTypes);
    ASSERT_TRUE(types);
    WidgetDriver::editCell(types, "grdData", 1, "CableType", "C-2");
    EXPECT_EQ(library("select CableType from tblCableTypes"), "C-2");
    // A type added elsewhere shows up in the open sheet.
    db::Query(db::DbId::Equipment,
              "insert into tblCableTypes (ManufacturerID, CableType) values ('ZED', 'Z-7')",
              registry)
        .exec();
    QCoreApplication::processEvents();
    EXPECT_EQ(WidgetDriver::printGrid(types, "grdData").size(), 3);
}

// Both jackfield sheets list one line per jack position, a jackfield without positions too,
// with the keys hidden; neither lets a cell be typed over.
TEST_P(DataSheetsTest, JackfieldSheetsListEveryPositionAndOnlyShow) {
    for (const char* sql :
         {"insert into tblJF (JFID, JackFieldID, JFSysName, JFSysID, RowStartLetter, JFRows, "
          "JFCols) values (4, 9, 'JF', '01', 'A', 2, 1), (5, 9, 'JF', '02', 'A', 1, 1)",
          "insert into tblJFRowCol (JFID, JFRow, JFCol, JFRowNumber, Sheet, assigned) values "
          "(4, 'A', 1, 1, 'rack.dxf', true), (4, 'B', 1, 2, null, false)"})
        db::Query(db::DbId::Project, QString::fromLatin1(sql), registry).exec();
    for (SheetKind kind : {SheetKind::ProjectJackfields, SheetKind::JackPositions}) {
        ScriptedUser& user = makeUser("");
        DataSheetWindow* sheet = open(user, kind);
        ASSERT_TRUE(sheet);
        const QStringList grid = WidgetDriver::printGrid(sheet, "grdData");
        ASSERT_EQ(grid.size(), 4) << grid.join('\n').toStdString();
        for (const char* key : {"JFID", "RowColID", "JFRowNumber", "s_GUID"})
            EXPECT_FALSE(grid[0].contains(QString::fromLatin1(key) + " |", Qt::CaseInsensitive))
                << key;
        EXPECT_TRUE(grid[1].contains("| rack.dxf")) << grid[1].toStdString();
        EXPECT_TRUE(grid[3].startsWith("ROW 3: JF | 2 |")) << grid[3].toStdString();
        EXPECT_THROW(WidgetDriver::editCell(sheet, "grdData", 1, "JFSysName", "X"), DriverError);
    }
}

TEST_P(DataSheetsTest, ARefusedEditIsReportedUnderTheSheetsCaptionAndTheRowStays) {
    ScriptedUser& user = makeUser("button OK\nbutton OK\n");
    DataSheetWindow* connectors = open(user, SheetKind::Connectors);
    ASSERT_TRUE(connectors);
    // A second BNC would break the key.
    WidgetDriver::editCell(connectors, "grdData", 2, "Connector", "BNC");
    EXPECT_TRUE(
        user.transcript.contains("MESSAGE [OK] Tolvane [Connectors] | The change was not "
                                 "saved: "));
    EXPECT_EQ(WidgetDriver::printGrid(connectors, "grdData")[2], "ROW 2: XLR3F |  |  |  | ");
    EXPECT_EQ(library("select count(*) from tblConnectors where Connector = 'XLR3F'"), "1");
    // Text is no cost: refused before it reaches the table.
    WidgetDriver::editCell(connectors, "grdData", 1, "conncost1", "cheap");
    EXPECT_TRUE(has(user,
                    "MESSAGE [OK] Tolvane [Connectors] | cheap is not a value the column "
                    "conncost1 can take."));
    EXPECT_EQ(library("select count(*) from tblConnectors where conncost1 is null"), "2");
}

TEST_P(DataSheetsTest, WithoutTheLibraryRightsTheSheetsOnlyShow) {
    ScriptedUser& user = makeUser("");
    DataSheetWindow* makers =
        open(user, SheetKind::Manufacturers, {"EditEquipLibrary", "DeleteFromEquipLibrary"});
    ASSERT_TRUE(makers);
    EXPECT_THROW(WidgetDriver::editCell(makers, "grdData", 1, "ManufacturerName", "New"),
                 DriverError);
    pressDelete(makers, 3);
    EXPECT_TRUE(has(user, "BEEP"));
    EXPECT_EQ(library("select count(*) from tblManufacturers"), "3");

    // Editing alone does not give deleting.
    ScriptedUser& editor = makeUser("");
    makers = open(editor, SheetKind::Manufacturers, {"DeleteFromEquipLibrary"});
    WidgetDriver::editCell(makers, "grdData", 3, "ManufacturerName", "Zed Sound");
    EXPECT_EQ(library("select ManufacturerName from tblManufacturers where ManufacturerID = 'ZED'"),
              "Zed Sound");
    // The ID other tables quote is not typed over.
    EXPECT_THROW(WidgetDriver::editCell(makers, "grdData", 3, "ManufacturerID", "ZZ"), DriverError);
    pressDelete(makers, 2);
    EXPECT_EQ(library("select count(*) from tblManufacturers"), "3");
}

TEST_P(DataSheetsTest, SystemNameCellsChooseFromTheLibrary) {
    ScriptedUser& user = makeUser("button OK\nbutton OK\n");
    DataSheetWindow* systems = open(user, SheetKind::Systems);
    ASSERT_TRUE(systems);
    EXPECT_EQ(systems->choices(0, "Manufacturer"),
              (QStringList{"Acme Video", "Empty Works", "Zed Audio"}));
    EXPECT_EQ(systems->choices(0, "equipmentname"), (QStringList{"V-2", "V-9"}));
    // The editor of the cell offers the same list.
    const int column = systems->model()->columnOf("equipmentname");
    const QModelIndex cell = systems->model()->index(0, column);
    std::unique_ptr<QWidget> editor(systems->grid()->itemDelegateForColumn(column)->createEditor(
        systems->grid()->viewport(), QStyleOptionViewItem(), cell));
    auto* combo = qobject_cast<QComboBox*>(editor.get());
    ASSERT_TRUE(combo);
    EXPECT_EQ(combo->count(), 2);

    // A model of another manufacturer is not one of the row's choices (the message, and the
    // note on closing: the scenario data_sheets_project).
    WidgetDriver::editCell(systems, "grdData", 1, "equipmentname", "Z-1");
    EXPECT_EQ(project("select equipmentname from tblSystems"), "V-2");
    // Another manufacturer brings its own models.
    WidgetDriver::editCell(systems, "grdData", 1, "Manufacturer", "Zed Audio");
    EXPECT_EQ(systems->choices(0, "equipmentname"), QStringList{"Z-1"});
    WidgetDriver::editCell(systems, "grdData", 1, "equipmentname", "Z-1");
    EXPECT_EQ(project("select Manufacturer || '/' || equipmentname from tblSystems"),
              "Zed Audio/Z-1");
    systems->close();
    EXPECT_TRUE(user.ui->atEnd());
}

TEST_P(DataSheetsTest, WithoutTheRightToAssignTheProjectListsOnlyShow) {
    ScriptedUser& viewer = makeUser("");
    DataSheetWindow* systems = open(viewer, SheetKind::Systems, {"catWAssignSysNames"});
    EXPECT_THROW(WidgetDriver::editCell(systems, "grdData", 1, "Location", "X"), DriverError);
    DataSheetWindow* cables = open(viewer, SheetKind::ProjectCables, {"catWAssignCable"});
    ASSERT_TRUE(cables);
    EXPECT_THROW(WidgetDriver::editCell(cables, "grdData", 1, "CableNo", "X"), DriverError);
}

TEST_P(DataSheetsTest, ACableNumberTakenOrNotANumberIsRefusedWithItsReason) {
    db::Query(db::DbId::Project,
              "insert into tblCables (CableNO, CableNoPrefix, Length) values ('1', 'A', 10), "
              "('1', 'V', 11), ('2', 'V', 12), ('12-03', 'V', 13), ('5', 'X', 14), ('5', 'X', 15)",
              registry)
        .exec();

    ScriptedUser& user = makeUser("button OK\nbutton OK\nbutton OK\nbutton OK\nbutton OK\n");
    DataSheetWindow* cables = open(user, SheetKind::ProjectCables);
    ASSERT_TRUE(cables);
    const auto numbers = [&] {
        db::Query q(db::DbId::Project,
                    "select CableNoPrefix, CableNO from tblCables order by Length", registry);
        q.exec();
        QStringList out;
        while (q.next()) out << q.value(0).toString() + "/" + q.value(1).toString();
        return out.join(' ');
    };
    const QString before = numbers();
    // Rows: A/1, V/1, V/12-03, V/2, X/5, X/5. Each refusal is told and nothing is written.
    WidgetDriver::editCell(cables, "grdData", 4, "CableNO", "1");
    WidgetDriver::editCell(cables, "grdData", 1, "CableNoPrefix", "V");
    WidgetDriver::editCell(cables, "grdData", 4, "CableNO", "two");
    WidgetDriver::editCell(cables, "grdData", 4, "CableNO", "");
    WidgetDriver::editCell(cables, "grdData", 4, "CableNO", "V-7");
    EXPECT_EQ(numbers(), before);
    const QString caption = "MESSAGE [OK] Tolvane [Project Cables] | ";
    const QStringList lines = user.lines();
    EXPECT_EQ(lines.filter(caption + "The cable number V-1 is already in use").size(), 2);
    EXPECT_EQ(lines.filter(caption + "The cable number \"").size(), 3)
        << user.transcript.toStdString();
    EXPECT_TRUE(has(user, caption + "The cable number \"two\" is not a number: a cable's number is "
                                    "digits, a core's the cable's digits, \"-\" and its marking."));

    // A free number, a core's number and another prefix are taken; a row that shares its
    // number with another already keeps its other fields editable.
    WidgetDriver::editCell(cables, "grdData", 4, "CableNO", "7");
    WidgetDriver::editCell(cables, "grdData", 3, "CableNO", "12-RD");
    WidgetDriver::editCell(cables, "grdData", 1, "CableNoPrefix", "B");
    WidgetDriver::editCell(cables, "grdData", 5, "Length", "99");
    EXPECT_EQ(numbers(), "B/1 V/1 V/7 V/12-RD X/5 X/5");
    EXPECT_EQ(project("select count(*) from tblCables where Length = 99"), "1");
    EXPECT_EQ(user.lines().size(), lines.size());
}

TEST_P(DataSheetsTest, ProjectSheetsNeedAProject) {
    run.currentProjectPath.clear();
    ScriptedUser& user = makeUser("button OK\n");
    EXPECT_EQ(open(user, SheetKind::ProjectCables), nullptr);
    EXPECT_TRUE(has(user, "MESSAGE [OK] Tolvane [Project Cables] | Open a project first."));
}

TEST_P(DataSheetsTest, TheCablesLayoutIsKeptAndAForeignFileIsLeftAlone) {
    const QString file = projectCablesLayoutFile(run);
    {
        ScriptedUser& user = makeUser("");
        DataSheetWindow* cables = open(user, SheetKind::ProjectCables);
        ASSERT_TRUE(cables);
        WidgetDriver::arrangeColumn(cables, "grdData", "Length", "move 1");
        WidgetDriver::arrangeColumn(cables, "grdData", "CableType", "width 140");
        WidgetDriver::arrangeColumn(cables, "grdData", "Sheet", "hide");
        EXPECT_THROW(WidgetDriver::arrangeColumn(cables, "grdData", "Sheet", "width 50"),
                     DriverError);
        EXPECT_THROW(WidgetDriver::arrangeColumn(cables, "grdData", "CableNO", "move 99"),
                     DriverError);
        cables->close();
    }
    // Opened again, from the file (the file itself: the scenario data_sheets_project).
    ScriptedUser& user = makeUser("");
    DataSheetWindow* cables = open(user, SheetKind::ProjectCables);
    const QStringList columns = WidgetDriver::printGrid(cables, "grdData").first().split(" | ");
    EXPECT_EQ(columns.first().toLower(), "columns length");
    EXPECT_FALSE(columns.contains("Sheet", Qt::CaseInsensitive));
    EXPECT_FALSE(columns.contains(
        "CableID", Qt::CaseInsensitive));  // a key stays hidden whatever the file says
    QHeaderView* header = cables->grid()->horizontalHeader();
    EXPECT_EQ(header->sectionSize(cables->model()->columnOf("CableType")), 140);
    cables->close();

    // A file this program did not write: the default layout, and the file as it was.
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("<layout><column field='Length'/></layout>");
    f.close();
    ScriptedUser& again = makeUser("");
    cables = open(again, SheetKind::ProjectCables);
    EXPECT_TRUE(WidgetDriver::printGrid(cables, "grdData")
                    .first()
                    .startsWith("COLUMNS CableNO | CableNoPrefix", Qt::CaseInsensitive));
    cables->close();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "<layout><column field='Length'/></layout>");
}

INSTANTIATE_TEST_SUITE_P(Engines, DataSheetsTest,
                         ::testing::Values(db::Engine::SQLite, db::Engine::PostgreSQL),
                         test::engineName);

TEST(GridLayoutFile, OnlyAWellFormedLayoutIsRead) {
    QTemporaryDir dir;
    const QString path = dir.filePath("sub/layout.xml");
    const GridLayout layout{{{"CableNO", 80, false}, {"Sheet", 0, true}}};
    EXPECT_EQ(writeGridLayout(path, layout), "");
    EXPECT_EQ(readGridLayout(path), layout);
    EXPECT_FALSE(readGridLayout(dir.filePath("absent.xml")));
    for (const char* text :
         {"", "<gridLayout version='1'><column field='A' width='x'/></gridLayout>",
          "<gridLayout version='2'/>",
          "<gridLayout version='1'><column field='A'/><column field='a'/></gridLayout>",
          "<gridLayout version='1'><column field='A' hidden='yes'/></gridLayout>",
          "<gridLayout version='1'><column field='A'/>"}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.close();
        EXPECT_FALSE(readGridLayout(path)) << text;
    }
}

}  // namespace
