// The drawing registry and its locks, the project explorer's tree and commands, and the
// getting-started window, over the databases of a new installation.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QSaveFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>

#include "app/projects/project_explorer.h"
#include "app/shell/getting_started_window.h"
#include "cad/dxf.h"
#include "db/setup.h"
#include "drawings/drawing_files.h"
#include "drawings/standard_drawings.h"
#include "drawings/title_block.h"
#include "front/widget_driver.h"
#include "projects/drawing_registry.h"
#include "projects/lock_admin.h"
#include "projects/project_registry.h"
#include "script_fixture.h"
#include "shell/event_log.h"
#include "shell/settings_store.h"

using namespace tolvane;
using projects::DrawingRegistry;
using projects::OpenLock;
using test::ScriptedUser;

namespace {

const QString kMe = QStringLiteral("ann_pc1");
const QString kBob = QStringLiteral("bob_pc2");

struct Installation {
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath("settings.ini")};
    EventLog log;
    RunState run;
    db::Connections registry;
    QString project;  // the project folder whose drawings and reports the tests use

    Installation() {
        run.appPath = dir.filePath("home") + "/";
        run.whoAmI = kMe;
        QDir().mkpath(run.appPath);
        project = dir.filePath("job");
        QDir().mkpath(project + "/DRAWINGS");
        run.currentProjectPath = project;
        ScriptedUser user("");
        // Until a project opens, the project database is the blank one: enough here.
        EXPECT_TRUE(db::DatabaseSetup(run, settings, *user.ui, log, registry).connect());
    }
    QString file(const QString& name) {
        const QString path = project + "/DRAWINGS/" + name;
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        return path;
    }
    QString absent(const QString& name) { return project + "/DRAWINGS/" + name; }
    void addRow(const QString& path, bool locked, const QString& by) {
        sql(db::DbId::Project,
            "insert into tblDrawings (DrawingName, drawingpath, Locked, LOCKEDBY) values (?, ?, ?, "
            "?)",
            {DrawingRegistry::fileNameOf(path), path, locked, by});
    }
    // "locked holder" of a row, or "none".
    QString state(const QString& path) {
        db::Query q(db::DbId::Project,
                    "select Locked, LOCKEDBY from tblDrawings where drawingpath = ?", registry);
        q.bind(path).exec();
        if (!q.next()) return "none";
        return QString(q.value(0).toBool() ? "locked " : "free ") + q.value(1).toString();
    }
    int rows() {
        return db::Query(db::DbId::Project, "select count(*) from tblDrawings", registry)
            .scalar()
            .toInt();
    }
    void sql(db::DbId db, const char* text, const QVariantList& values = {}) {
        db::Query q(db, QString::fromLatin1(text), registry);
        for (const QVariant& v : values) q.bind(v);
        q.exec();
    }
    // Drawing files over the registry, with this user answering (made anew on each call).
    DrawingFiles& files(Ui& ui, SettingsStore* store = nullptr) {
        reg = std::make_unique<DrawingRegistry>(run, ui, registry);
        drawingFiles = std::make_unique<DrawingFiles>(run, ui, *reg, store);
        return *drawingFiles;
    }
    std::unique_ptr<DrawingRegistry> reg;
    std::unique_ptr<DrawingFiles> drawingFiles;
};

// The file's first `max` bytes (all of them by default); nothing when it cannot be read.
QByteArray bytes(const QString& path, qint64 max = -1) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return max < 0 ? f.readAll() : f.read(max);
}

bool has(const ScriptedUser& user, const QString& text) {
    return user.transcript.contains(text);
}

}  // namespace

// Node texts show the holder of a lock or that the file is missing (those two: the explorer's
// tree below); registering adds a row.
TEST(DrawingRegistry, NodeTextsShowHolderOrMissingMarkAndRegisterAddsOneRow) {
    Installation inst;
    ScriptedUser user("");
    DrawingRegistry reg(inst.run, *user.ui, inst.registry);
    inst.addRow(inst.file("a.dxf"), false, kBob);  // free: its last holder is not shown
    // Registered in capitals, on disk in lower case: the names compare without regard to case.
    inst.file("plan.dxf");
    inst.addRow(inst.absent("PLAN.DXF"), false, "");

    QStringList texts;
    for (const auto& d : reg.drawings()) texts << d.displayText();
    EXPECT_EQ(texts, QStringList({"a.dxf", "PLAN.DXF"}));
    EXPECT_EQ(DrawingRegistry::fileNameOf("C:\\Jobs\\Studio\\rack.dxf"), "rack.dxf");

    // Registering adds one unlocked row per path, whatever the case of its letters.
    const int before = inst.rows();
    const QString path = inst.file("Studio A.dxf");
    EXPECT_TRUE(reg.registerDrawing(path));
    EXPECT_FALSE(reg.registerDrawing(path));
    EXPECT_FALSE(reg.registerDrawing(path.toUpper()));
    EXPECT_EQ(inst.rows(), before + 1);
    EXPECT_EQ(reg.find(path)->name, "Studio A.dxf");
    EXPECT_EQ(inst.state(path), "free ");
}

TEST(DrawingRegistry, OpenLockTakesFreeDrawingsAndOffersLockedOnesReadOnly) {
    Installation inst;
    const QString free = inst.file("free.dxf"), bobs = inst.file("bobs.dxf"),
                  mine = inst.file("mine.dxf"), fresh = inst.file("fresh.dxf");
    inst.addRow(free, false, kBob);
    inst.addRow(bobs, true, kBob);
    inst.addRow(mine, true, kMe);  // left behind by a run that did not end cleanly
    ScriptedUser user("button OK\nbutton Cancel\n");
    DrawingRegistry reg(inst.run, *user.ui, inst.registry);

    EXPECT_EQ(reg.lockForOpen(free), OpenLock::Opened);
    EXPECT_EQ(inst.state(free), "locked ann_pc1");
    EXPECT_EQ(reg.lockForOpen(fresh), OpenLock::Opened);  // registered as ours
    EXPECT_EQ(inst.state(fresh), "locked ann_pc1");
    EXPECT_TRUE(user.transcript.isEmpty());

    // OK to the in-use message (its words: the scenario drawing_locked) opens read-only.
    EXPECT_EQ(reg.lockForOpen(bobs), OpenLock::ReadOnly);
    EXPECT_EQ(reg.lockForOpen(bobs), OpenLock::Cancelled);
    EXPECT_EQ(inst.state(bobs), "locked bob_pc2");
    // This user's own lock, left behind by an earlier run, is taken back without a word.
    EXPECT_EQ(reg.lockForOpen(mine), OpenLock::Opened);
    EXPECT_EQ(inst.state(mine), "locked ann_pc1");  // a question would end the script

    // Closing gives back only our own lock.
    reg.releaseLock(free);
    reg.releaseLock(bobs);
    EXPECT_EQ(inst.state(free), "free ");
    EXPECT_EQ(inst.state(bobs), "locked bob_pc2");
}

TEST(DrawingRegistry, UnlockAsksAndKeepsTheHolder) {
    Installation inst;
    const QString locked = inst.file("locked.dxf"), open = inst.file("open.dxf");
    inst.addRow(locked, true, kBob);
    inst.addRow(open, false, kBob);
    ScriptedUser user("button No\nbutton Yes\nbutton Yes\nbutton OK\n");
    DrawingRegistry reg(inst.run, *user.ui, inst.registry);

    EXPECT_FALSE(reg.unlock(locked));
    EXPECT_EQ(inst.state(locked), "locked bob_pc2");
    EXPECT_TRUE(has(user,
                    "MESSAGE [Yes/No] Tolvane | This function will will unlock the selected "
                    "drawing. This can be hazardous if another user has the drawing open. "
                    "Proceed?"));
    EXPECT_TRUE(reg.unlock(locked));
    EXPECT_EQ(inst.state(locked), "free bob_pc2");

    EXPECT_FALSE(reg.unlock(open));
    EXPECT_TRUE(has(user, "MESSAGE [OK] Tolvane | This drawing is not locked"));
    EXPECT_EQ(inst.state(open), "free bob_pc2");
}

TEST(DrawingRegistry, RemoveMissingAndClearAllLeaveFilesAlone) {
    Installation inst;
    const QString here = inst.file("here.dxf"), held = inst.file("held.dxf");
    inst.addRow(here, false, "");
    inst.addRow(held, true, kBob);
    inst.addRow(inst.absent("gone.dxf"), false, "");
    inst.addRow(inst.absent("gone locked.dxf"), true, kBob);
    ScriptedUser user("button No\nbutton Yes\n");
    DrawingRegistry reg(inst.run, *user.ui, inst.registry);

    EXPECT_EQ(reg.removeMissing(), 2);
    QStringList left;
    for (const auto& d : reg.drawings()) left << d.name;
    EXPECT_EQ(left, QStringList({"held.dxf", "here.dxf"}));
    EXPECT_TRUE(user.transcript.isEmpty());

    EXPECT_FALSE(reg.clearAll());
    EXPECT_EQ(inst.rows(), 2);
    EXPECT_TRUE(reg.clearAll());
    EXPECT_TRUE(has(user,
                    "| This function will clear the Project Drawings database removing all "
                    "drawings and descriptions.\\nThis process cannot be undone. Proceed?"));
    EXPECT_EQ(inst.rows(), 0);
    EXPECT_TRUE(QFile::exists(here) && QFile::exists(held));
}

// An administrator clears a lock a holder has walked away from: the table locks after a
// question of their own, a drawing with the explorer's question; No leaves the lock.
TEST(DrawingRegistry, AdministratorClearsALockAfterTheQuestion) {
    Installation inst;
    const QString rack = inst.file("rack.dxf");
    inst.addRow(rack, true, kBob);
    inst.addRow(inst.file("free.dxf"), false, kBob);
    inst.sql(db::DbId::Project, "update tblLockcables set lockCables = ?, LOCKEDBY = ?",
             {true, kBob});
    const auto cables = [&] {
        db::Query q(db::DbId::Project, "select lockCables, LOCKEDBY from tblLockcables",
                    inst.registry);
        q.exec();
        return q.next() ? QString("%1 %2").arg(q.value(0).toBool()).arg(q.value(1).toString())
                        : QString("none");
    };
    ScriptedUser user(
        "choose Cables table, held by bob_pc2\nbutton No\n"
        "choose Cables table, held by bob_pc2\nbutton Yes\n"
        "choose Drawing " +
        rack + ", held by bob_pc2\nbutton Yes\nbutton OK\n");
    EXPECT_FALSE(projects::clearLock(inst.run, *user.ui, inst.registry));
    EXPECT_TRUE(has(user, "CHOOSE Clear a Lock | Cables table, held by bob_pc2 / Drawing " + rack +
                              ", held by bob_pc2"));
    EXPECT_TRUE(has(user,
                    "MESSAGE [Yes/No] Clear a Lock | The Cables table is locked by bob_pc2. If "
                    "bob_pc2 is still at work, clearing the lock lets two users change the table "
                    "at once. Clear it?"));
    EXPECT_EQ(cables(), "1 bob_pc2");
    EXPECT_TRUE(projects::clearLock(inst.run, *user.ui, inst.registry));
    EXPECT_EQ(cables(), "0 -");
    EXPECT_TRUE(projects::clearLock(inst.run, *user.ui, inst.registry));
    EXPECT_EQ(inst.state(rack), "free bob_pc2");
    EXPECT_FALSE(projects::clearLock(inst.run, *user.ui, inst.registry));
    EXPECT_TRUE(has(user, "MESSAGE [OK] Clear a Lock | No lock is held in this project."));
    EXPECT_TRUE(user.ui->atEnd());
}

TEST(DrawingRegistry, ShutdownReleaseSharedOnlyOwnRowsSingleUserAll) {
    for (const DatabaseMode mode : {DatabaseMode::Shared, DatabaseMode::SingleUser}) {
        Installation inst;
        inst.run.mode = mode;
        const QString mine = inst.file("mine.dxf"), bobs = inst.file("bobs.dxf");
        inst.addRow(mine, true, kMe);
        inst.addRow(bobs, true, kBob);
        ScriptedUser user("");
        DrawingRegistry(inst.run, *user.ui, inst.registry).releaseAtShutdown();
        EXPECT_EQ(inst.state(mine), "free ann_pc1");
        EXPECT_EQ(inst.state(bobs),
                  mode == DatabaseMode::Shared ? "locked bob_pc2" : "free bob_pc2");
    }
}

// A project database that cannot be written (read-only file or share) does not stop the
// shutdown at the error handler: the user is told, the rows stay as they were, and the
// program goes on closing.
TEST(DrawingRegistry, ShutdownOnAReadOnlyDatabaseReportsAndGoesOn) {
    Installation inst;
    const QString mine = inst.file("mine.dxf");
    inst.addRow(mine, true, kMe);
    inst.sql(db::DbId::Project, "pragma query_only = 1");
    ScriptedUser user("button OK\n");
    EXPECT_NO_THROW(DrawingRegistry(inst.run, *user.ui, inst.registry).releaseAtShutdown());
    EXPECT_TRUE(has(user,
                    "MESSAGE [OK] Tolvane | The drawings of this session could not be marked as "
                    "closed in the project database (" +
                        db::blankFile(inst.run.appFolder()) + ")"))
        << user.transcript.toStdString();
    EXPECT_TRUE(user.ui->atEnd());
    EXPECT_EQ(inst.state(mine), "locked ann_pc1");
}

TEST(DrawingRegistry, ReportFoldersAndExtensionsIgnoreCase) {
    Installation inst;
    QDir().mkpath(inst.project + "/Reports/general");
    for (const char* name : {"b.RPX", "a.rpx", "notes.txt"})
        QFile(inst.project + "/Reports/general/" + name).open(QIODevice::WriteOnly);
    const QStringList found = projects::projectReports(inst.project, "GENERAL");
    EXPECT_EQ(found, QStringList({inst.project + "/Reports/general/a.rpx",
                                  inst.project + "/Reports/general/b.RPX"}));
    EXPECT_TRUE(projects::projectReports(inst.project, "LABELS").isEmpty());
}

TEST(ProjectExplorer, TreeKeysDrawingsAndReportsAfterRefresh) {
    Installation inst;
    inst.addRow(inst.file("rack.dxf"), true, kBob);
    inst.addRow(inst.absent("old.dxf"), true, kBob);
    ScriptedUser user("");
    ProjectExplorer explorer(inst.run, *user.ui, nullptr, inst.registry);
    explorer.showProject("Studio");
    EXPECT_EQ(explorer.projectList()->currentText(), "Studio");

    QStringList expected = {
        "Global Databases [GLOBAL_DATABASES]",
        "  Projects [PROJECTS_DATABASE]",
        "  Manufacturers [MANUFACTURER_DATABASE]",
        "  Equipment [EQUIPMENT_DATABASE]",
        "  Signal Types [SIGNALTYPES_DATABASE]",
        "  Connectors [CONNECTORS_DATABASE]",
        "  Jack Fields [JACKFIELD_DATABASE]",
        "  Cable Types [CABLETYPES_DATABASE]",
        "Studio [PROJECT_NAME]",
        "  Project Drawings [PROJECT_DRAWINGS]",
        "    New Drawing [NEW_DRAWING]",
        "    Open Drawing [OPEN_DRAWING]",
        "    Drawing Database [DWGS_DB]",
        "    old.dxf (Drawing Missing!) [DRAWING" + inst.absent("old.dxf") + "]",
        "    rack.dxf (bob_pc2) [DRAWING" + inst.absent("rack.dxf") + "]",
        "  Project Databases [PROJECT_DATABASES]",
        "    Systems [P_SYSTEMS_DATABASE]",
        "    Cables [P_CABLES_DATABASE]",
        "    Child Cables [P_CHILDCABLES_DATABASE]",
        "    Jack Fields [P_JF_DATABASE]",
        "    Jack Positions [P_JACKS_DATABASE]",
        "  Reports [PROJECT_REPORTS]",
        "    New Report [NEW_REPORT]",
        "    Generate Bill of Materials [BOM]",
        "    General Reports [GENERAL_REPORTS]",
        "    Labels [LABELS]",
    };
    EXPECT_EQ(explorer.treeLines(), expected);

    QDir().mkpath(inst.project + "/REPORTS/GENERAL");
    const QString report = inst.project + "/REPORTS/GENERAL/Cables.RPX";
    QFile(report).open(QIODevice::WriteOnly);
    EXPECT_FALSE(explorer.treeLines().join('\n').contains("Cables.RPX"));
    explorer.refresh();
    EXPECT_TRUE(explorer.treeLines().contains("      Cables.RPX [GEN_RPT:" + report + "]"));

    // A write to the registry from elsewhere rebuilds the tree once events run.
    inst.addRow(inst.file("new.dxf"), false, "");
    QApplication::processEvents();
    EXPECT_TRUE(
        explorer.treeLines().contains("    new.dxf [DRAWING" + inst.absent("new.dxf") + "]"));
}

TEST(ProjectExplorer, ActivationRoutesOpensAndShowsDataSheets) {
    Installation inst;
    const QString here = inst.file("here.dxf"), gone = inst.absent("gone.dxf");
    inst.addRow(here, false, "");
    inst.addRow(gone, false, "");
    ScriptedUser user("button OK\n");
    ProjectExplorer explorer(inst.run, *user.ui, nullptr, inst.registry);
    QStringList routed, opened, reports;
    explorer.route = [&](const QString& k) { routed << k; };
    explorer.openDrawing = [&](const QString& p) { opened << p; };
    explorer.openReport = [&](const QString& p) { reports << p; };
    explorer.showProject("Studio");

    explorer.activate("DRAWING" + here);
    explorer.activate("DRAWING" + gone);
    EXPECT_EQ(opened, QStringList{here});
    EXPECT_TRUE(
        has(user, "| The drawing: " + gone + " is missing, or has been renamed, or moved."));
    for (const char* key :
         {"NEW_DRAWING", "OPEN_DRAWING", "MANUFACTURER_DATABASE", "CABLETYPES_DATABASE",
          "P_JF_DATABASE", "NEW_REPORT", "PROJECT_DRAWINGS"})
        explorer.activate(key);
    EXPECT_EQ(routed, QStringList({"catDNew", "catDOpen", "catLManufacturers", "catLCT",
                                   "catPLJackFields", "catRNew"}));
    explorer.activate("LABELS:/x/REPORTS/LABELS/rack.rpx");
    EXPECT_EQ(reports, QStringList{"/x/REPORTS/LABELS/rack.rpx"});

    // The sheet nodes ask the main window for their sheet.
    QStringList sheets;
    explorer.dataSheet = [&](const QString& k) { sheets << k; };
    for (const char* key :
         {"DWGS_DB", "PROJECTS_DATABASE", "P_CHILDCABLES_DATABASE", "P_JACKS_DATABASE"})
        explorer.activate(key);
    EXPECT_EQ(sheets, QStringList({"DWGS_DB", "PROJECTS_DATABASE", "P_CHILDCABLES_DATABASE",
                                   "P_JACKS_DATABASE"}));
}

TEST(ProjectExplorer, ContextMenuMaintainsTheRegistry) {
    Installation inst;
    const QString held = inst.file("held.dxf");
    inst.addRow(held, true, kBob);
    inst.addRow(inst.absent("gone.dxf"), false, "");
    ScriptedUser user("button Yes\nbutton Yes\n");
    ProjectExplorer explorer(inst.run, *user.ui, nullptr, inst.registry);
    explorer.showProject("Studio");

    // Unlock and View Path need a drawing node.
    explorer.selectKey("NEW_DRAWING");
    EXPECT_THROW(WidgetDriver::click(&explorer, "mnuUnlock"), DriverError);
    ASSERT_TRUE(explorer.selectKey("DRAWING" + held));
    WidgetDriver::click(&explorer, "mnuUnlock");
    EXPECT_TRUE(explorer.treeLines().contains("    held.dxf [DRAWING" + held + "]"));
    EXPECT_EQ(explorer.selectedKey(), "DRAWING" + held);

    // Without a router the entries run the explorer's own slots.
    WidgetDriver::click(&explorer, "mnuRemoveMissing");
    EXPECT_FALSE(explorer.treeLines().join('\n').contains("gone.dxf"));
    WidgetDriver::click(&explorer, "mnuRemoveAll");
    EXPECT_FALSE(explorer.treeLines().join('\n').contains("held.dxf"));
    EXPECT_EQ(inst.rows(), 0);

    QStringList routed;
    explorer.route = [&](const QString& k) { routed << k; };
    for (const char* name : {"mnuRefresh", "mnuRemoveMissing", "mnuRemoveAll"})
        WidgetDriver::click(&explorer, name);
    EXPECT_EQ(routed, QStringList({"catPRefresh", "catPDeleteMissing", "catPClearDrawingList"}));
}

TEST(GettingStarted, ListChoicesAndDontShow) {
    Installation inst;
    const QString here = inst.file("here.dxf"), gone = inst.absent("gone.dxf");
    inst.addRow(here, true, kBob);
    inst.addRow(gone, false, "");
    ScriptedUser user("button OK\nbutton Yes\n");
    ProjectExplorer explorer(inst.run, *user.ui, nullptr, inst.registry);
    QStringList routed, opened;
    explorer.route = [&](const QString& k) { routed << k; };
    explorer.openDrawing = [&](const QString& p) { opened << p; };
    explorer.showProject("Studio");

    GettingStartedWindow window(*user.ui, inst.settings, explorer);
    EXPECT_EQ(WidgetDriver::printGrid(&window, "lstDrawings").mid(1),
              QStringList({"ROW 1: gone.dxf (Drawing Missing!)", "ROW 2: here.dxf (bob_pc2)"}));
    WidgetDriver::click(&window, "tabDrawings");
    WidgetDriver::selectRows(&window, "lstDrawings", {1});
    WidgetDriver::click(&window, "cmdOK");  // missing: the message, and the window stays
    EXPECT_TRUE(has(user, "The drawing: " + gone + " is missing"));
    EXPECT_EQ(window.result(), 0);

    WidgetDriver::selectRows(&window, "lstDrawings", {2});
    WidgetDriver::click(&window, "mnuUnlock");
    EXPECT_TRUE(has(user, "unlock the selected drawings."));
    EXPECT_EQ(inst.state(here), "free bob_pc2");
    EXPECT_EQ(window.drawingList()->item(1)->text(), "here.dxf");
    WidgetDriver::click(&window, "mnuViewIcons");
    EXPECT_EQ(window.drawingList()->viewMode(), QListView::IconMode);

    WidgetDriver::selectRows(&window, "lstDrawings", {2});
    WidgetDriver::click(&window, "cmdOK");
    EXPECT_TRUE(opened.isEmpty());  // runs once the window has closed
    window.runChoice();
    EXPECT_EQ(opened, QStringList{here});
    EXPECT_TRUE(inst.settings.read(setting::GettingStarted).isEmpty());

    GettingStartedWindow again(*user.ui, inst.settings, explorer);
    WidgetDriver::click(&again, "tabNewDrawing");
    WidgetDriver::set(&again, "chkDontShow", "1");
    WidgetDriver::click(&again, "cmdCancel");
    again.runChoice();
    EXPECT_TRUE(routed.isEmpty());
    EXPECT_EQ(inst.settings.read(setting::GettingStarted), "0");

    GettingStartedWindow third(*user.ui, inst.settings, explorer);
    WidgetDriver::click(&third, "tabNewDrawing");
    WidgetDriver::click(&third, "cmdOK");
    third.runChoice();
    EXPECT_EQ(routed, QStringList{"catDNew"});
}

// Save of a drawing never saved runs save as; onto a path already registered the message
// speaks of the database, as Save's own does, and the row stays as it was.
TEST(DrawingFiles, SaveOfAnUntitledDrawingOntoARegisteredPathUsesSavesWords) {
    Installation inst;
    const QString taken = inst.absent("taken.dxf");
    inst.addRow(taken, false, QString());
    ScriptedUser user("file " + taken + "\nbutton OK\n");
    DrawingFiles& files = inst.files(*user.ui);
    std::unique_ptr<Drawing> d = files.newFromTemplate(QString());
    ASSERT_TRUE(d);
    ASSERT_TRUE(files.save(*d));
    EXPECT_TRUE(has(user,
                    "MESSAGE [OK] Tolvane | A drawing with this name already exits in the "
                    "database. No database update."));
    EXPECT_EQ(inst.state(taken), "free ");
    EXPECT_EQ(d->path(), taken);
}

// Drawing files over the registry: save keeps the previous version as .bak before writing,
// save as moves the lock to the new path but keeps an existing row, and a corrupt file opens
// nothing and leaves no lock. A read-only drawing's refused save and its holder's lock, and
// the row a saved drawing gets when it closes: the scenarios drawing_locked and
// drawing_close_unregistered.
TEST(DrawingFiles, SaveBackupSaveAsAndACorruptOpen) {
    Installation inst;
    const QString first = inst.absent("first.dxf"), second = inst.absent("second.dxf"),
                  taken = inst.absent("taken.dxf");
    inst.addRow(taken, false, QString());
    ScriptedUser user("file " + first + "\nfile " + taken + "\nbutton OK\nbutton No\n");
    DrawingFiles& files = inst.files(*user.ui);

    std::unique_ptr<Drawing> d = files.newFromTemplate(QString());
    ASSERT_TRUE(d);
    EXPECT_EQ(d->title(), "Drawing1");
    d->editor().add(cad::Entity::line({0, 0}, {1, 1}));
    EXPECT_EQ(d->title(), "Drawing1*");
    ASSERT_TRUE(files.save(*d));  // untitled: save as
    EXPECT_EQ(d->title(), first);
    EXPECT_EQ(inst.state(first), "locked ann_pc1");
    EXPECT_FALSE(QFile::exists(DrawingFiles::backupPath(first)));

    d->editor().add(cad::Entity::circle({0, 0}, 2));
    ASSERT_TRUE(files.save(*d));
    const QString bak = inst.absent("first.bak");
    EXPECT_EQ(DrawingFiles::backupPath(first), bak);
    EXPECT_EQ(cad::loadDxf(bak).modelSpace().entities.size(), 1u);    // the previous version
    EXPECT_EQ(cad::loadDxf(first).modelSpace().entities.size(), 2u);  // the new one

    // Save as onto a registered path: the file is written, its row stays as it was, the old
    // path is unlocked.
    ASSERT_TRUE(files.saveAs(*d));
    EXPECT_EQ(inst.state(taken), "free ");
    EXPECT_EQ(inst.state(first), "free ");
    EXPECT_EQ(d->path(), taken);

    // A corrupt file: the message, no drawing, no lock left behind.
    QFile bad(second);
    bad.open(QIODevice::WriteOnly);
    bad.write("0\nSECTION\n2\nENTITIES\n0\nLINE\n10\nnot a number\n");
    bad.close();
    EXPECT_FALSE(files.open(second));
    EXPECT_TRUE(has(user, "Open Failed. This document is corrupt"));
    EXPECT_EQ(inst.state(second), "free ");
    EXPECT_TRUE(user.ui->atEnd());
}

// Long texts in any script (a location typed in the system-name window) survive two saves:
// the drawing and its backup both open with the text as it was typed. A drawing that would
// not open again is not saved, and the file and its backup stay as they were.
TEST(DrawingFiles, LongTextsSurviveTwoSavesAndAnUnreadableSaveIsRefused) {
    Installation inst;
    const QString path = inst.absent("texts.dxf");
    ScriptedUser user("file " + path + "\nbutton OK\n");
    DrawingFiles& files = inst.files(*user.ui);

    const QStringList texts = {QString(10000, QChar(0x20AC)),
                               QString::fromUtf8("\u6d4b\u8bd5\u673a\u67b6").repeated(5000),
                               QString::fromUtf8("\u0645\u0648\u0642\u0639").repeated(5000),
                               QString::fromUtf8("\U0001F39B").repeated(10000)};
    std::unique_ptr<Drawing> d = files.newFromTemplate(QString());
    ASSERT_TRUE(d);
    QStringList handles;
    for (const QString& t : texts) {
        cad::Entity e = cad::Entity::textAt({0, 0}, t, 1);
        e.xdata.append(cad::XData{"Tolvanev2", {{"Location", 1000, t}}});
        handles << d->editor().add(e);
    }
    ASSERT_TRUE(files.save(*d));
    d->editor().add(cad::Entity::line({0, 0}, {1, 1}));
    ASSERT_TRUE(files.save(*d));
    for (const QString& file : {path, DrawingFiles::backupPath(path)}) {
        SCOPED_TRACE(file.toStdString());
        const cad::Document back = cad::loadDxf(file);
        for (int i = 0; i < texts.size(); ++i) {
            ASSERT_NE(back.find(handles[i]), nullptr);
            EXPECT_EQ(back.find(handles[i])->text, texts[i]);
            EXPECT_EQ(back.find(handles[i])->xdata.value(0).items.value(0).value, texts[i]);
        }
    }

    const QByteArray drawing = bytes(path), backup = bytes(DrawingFiles::backupPath(path));
    d->editor().add(cad::Entity::line({0, 0}, {0, 3 * cad::kMaxDxfValue}));
    EXPECT_FALSE(files.save(*d));
    EXPECT_TRUE(has(user, "Unsuccessful Save. The drawing cannot be saved"));
    EXPECT_EQ(bytes(path), drawing);
    EXPECT_EQ(bytes(DrawingFiles::backupPath(path)), backup);
    EXPECT_TRUE(d->modified());
}

// A drawing whose blocks insert themselves (3^16 pieces) opens, with a message naming the
// block that is shown cut short.
TEST(DrawingFiles, SelfInsertingBlockOpensWithAMessage) {
    Installation inst;
    const QString path = inst.absent("self.dxf");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n2\nSELF\n10\n0\n20\n0\n0\nLINE\n10\n0\n20\n0\n"
        "11\n1\n21\n0\n0\nINSERT\n2\nSELF\n10\n1\n20\n0\n0\nINSERT\n2\nSELF\n10\n0\n20\n"
        "1\n0\nINSERT\n2\nSELF\n10\n1\n20\n1\n0\nENDBLK\n0\nENDSEC\n0\nSECTION\n2\n"
        "ENTITIES\n0\nINSERT\n2\nSELF\n10\n0\n20\n0\n0\nENDSEC\n0\nEOF\n");
    file.close();
    ScriptedUser user("button OK\n");
    DrawingFiles& files = inst.files(*user.ui);
    std::unique_ptr<Drawing> d = files.open(path);
    ASSERT_TRUE(d);
    EXPECT_TRUE(has(user, "they are shown cut short: SELF"));
}

// What a save killed between writing and renaming leaves beside the drawing (the temporary
// file of its save, named as QSaveFile names it where the file system cannot keep it
// unnamed, as on network shares) is removed when the drawing is next opened or saved; other
// files stay.
TEST(DrawingFiles, LeftoversOfAKilledSaveAreRemoved) {
    Installation inst;
    const QString path = inst.absent("plan.dxf");
    cad::Document doc;
    doc.addToModel(cad::Entity::line({0, 0}, {1, 1}));
    ASSERT_TRUE(cad::saveDxf(doc, path));
    const QDir folder = QFileInfo(path).absoluteDir();
    auto files = [&] { return folder.entryList(QDir::Files, QDir::Name); };
    auto leave = [&](const QString& name) {
        QFile f(folder.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(cad::writeDxf(doc));
    };
    const QStringList kept = {"plan.dxf",        "plan.dxf.Ab12C", "plan.dxf.Ab12Cd.x",
                              "plan.dxf.a-b_cd", "plan.dxf.bak",   "site.dxf.Ab12Cd"};
    for (const QString& name : kept) {
        if (name != "plan.dxf") leave(name);
    }
    leave("plan.dxf.k3Xq9Z");
    leave("plan.dxf.000123");

    ScriptedUser user("");
    DrawingFiles& drawingFiles = inst.files(*user.ui);
    std::unique_ptr<Drawing> d = drawingFiles.open(path);
    ASSERT_TRUE(d);
    EXPECT_EQ(files(), kept);

    leave("plan.dxf.QwErTy");
    d->editor().add(cad::Entity::circle({0, 0}, 1));
    ASSERT_TRUE(drawingFiles.save(*d));
    // The replaced file's own second name goes a moment after the save.
    QStringList saved;
    for (int wait = 0; wait < 500 && saved.size() != kept.size() + 1; ++wait) {
        if (wait) QThread::msleep(10);
        saved = files();
    }
    EXPECT_TRUE(saved.removeOne("plan.bak"));
    EXPECT_EQ(saved, kept);
}

// A drawing made from the template shows the project and its registry row in its title
// block: filled when it is made and saved, filled again when the row changes, and written
// into the file. Filling is no edit of the user's. The drawing's own entities are numbered
// from the same handle whatever the template's sheet holds.
TEST(DrawingFiles, TitleBlockFollowsTheProjectAndTheRegistryRow) {
    Installation inst;
    const QString tpl = inst.dir.filePath("template.dxf");
    cad::saveDxf(standard::templateDrawing(), tpl);
    inst.sql(db::DbId::PM, "insert into tblProjects (ProjectName, ProjectPath) values (?, ?)",
             {QStringLiteral("Riverside"), inst.project});
    const QString path = inst.absent("mcr.dxf");
    ScriptedUser user("file " + path + "\n");
    DrawingFiles& files = inst.files(*user.ui);

    std::unique_ptr<Drawing> d = files.newFromTemplate(tpl);
    ASSERT_TRUE(d);
    EXPECT_EQ(titleblock::shown(d->document(), titleblock::Project), "Riverside");
    EXPECT_EQ(titleblock::shown(d->document(), titleblock::DrawingName), "Drawing1");
    EXPECT_FALSE(d->modified());
    EXPECT_EQ(d->editor().add(cad::Entity::line({0, 0}, {1, 1})),
              QString::number(standard::kFirstDrawingHandle, 16).toUpper());

    ASSERT_TRUE(files.save(*d));
    EXPECT_EQ(titleblock::shown(d->document(), titleblock::DrawingName), "mcr");
    inst.sql(db::DbId::Project,
             "update tblDrawings set DrawingTitle = ?, DrawingNo = ?, Revision = ?, "
             "DrawingDate = ?, DrawnBy = ? where drawingpath = ?",
             {"Master control room", "RBC-012", "B", "2026-05-04", "ann", path});
    files.fillTitle(*d);
    const projects::DrawingTitle expected{"Riverside", "Master control room", "RBC-012",
                                          "B",         "2026-05-04",          "ann"};
    for (const QString& key : titleblock::keys())
        EXPECT_EQ(titleblock::shown(d->document(), key), titleblock::valueOf(expected, key))
            << key.toStdString();
    EXPECT_FALSE(d->modified());

    // The file carries what the title block shows when it is saved.
    ASSERT_TRUE(files.save(*d));
    EXPECT_EQ(titleblock::shown(cad::loadDxf(path), titleblock::DrawingNo), "RBC-012");
}

// Drawings from other programs: every open says in the command history what its read dropped
// or changed; a file the strict read refuses is offered for recovery, which opens what can be
// read as a new untitled drawing with a report and never writes the damaged file; a file
// with nothing of a drawing is refused with the reason and nothing written; a drawing opened
// from binary DXF is saved binary (Save As offers the form it came in: the next test).
TEST(DrawingFiles, RecoverAuditAndBinarySaveAs) {
    Installation inst;
    const QString data = QStringLiteral(TOLVANE_TEST_DATA "/dxf/");
    const QString whole = inst.absent("whole.dxf"), damaged = inst.absent("damaged.dxf"),
                  hopeless = inst.absent("hopeless.dxf"), binary = inst.absent("binary.dxf");
    ASSERT_TRUE(QFile::copy(data + "audit_duplicate_handles.dxf", whole));
    ASSERT_TRUE(QFile::copy(data + "recover_bad_number.dxf", damaged));
    ASSERT_TRUE(QFile::copy(data + "refuse_not_dxf.dxf", hopeless));
    const QByteArray damagedBytes = bytes(damaged), hopelessBytes = bytes(hopeless);
    ScriptedUser user("button Yes\nbutton OK\nbutton Yes\nbutton OK\nbutton No\n");
    DrawingFiles& files = inst.files(*user.ui);

    std::unique_ptr<Drawing> opened = files.open(whole);
    ASSERT_TRUE(opened);
    EXPECT_TRUE(has(user, "HISTORY Audit of whole.dxf: 0 dropped, 1 changed"));
    EXPECT_TRUE(has(user, "was used twice: renumbered"));

    std::unique_ptr<Drawing> recovered = files.open(damaged);
    ASSERT_TRUE(recovered);
    EXPECT_TRUE(
        has(user, "MESSAGE [Yes/No] Recover | Open Failed. This document is corrupt (line"));
    EXPECT_TRUE(has(user, "HISTORY Recovery of damaged.dxf: 1 dropped, 0 changed"));
    EXPECT_TRUE(has(user, "CIRCLE dropped: number expected for group 40"));
    EXPECT_TRUE(has(user,
                    "MESSAGE [OK] Recovery report | damaged.dxf was recovered into the new "
                    "drawing damaged-recovered (1 dropped, 0 changed)"));
    EXPECT_TRUE(recovered->untitled());
    EXPECT_EQ(recovered->untitledName(), "damaged-recovered");
    EXPECT_TRUE(recovered->modified());
    EXPECT_EQ(bytes(damaged), damagedBytes);
    EXPECT_EQ(inst.state(damaged), "free ");

    // Nothing of a drawing: refused with the reason, nothing written.
    const QStringList before = QDir(inst.project + "/DRAWINGS").entryList(QDir::Files);
    EXPECT_FALSE(files.open(hopeless));
    EXPECT_TRUE(has(user,
                    "Open Failed. hopeless.dxf cannot be recovered: nothing of a drawing "
                    "could be read"));
    EXPECT_EQ(bytes(hopeless), hopelessBytes);
    EXPECT_EQ(QDir(inst.project + "/DRAWINGS").entryList(QDir::Files), before);
    EXPECT_EQ(inst.state(hopeless), "free ");
    // Asked and refused: nothing opens, and nothing more is said.
    EXPECT_FALSE(files.open(damaged));

    // A drawing opened from binary DXF is saved binary again.
    ASSERT_TRUE(cad::saveDxf(opened->document(), binary, {}, cad::DxfFormat::Binary));
    std::unique_ptr<Drawing> fromBinary = files.open(binary);
    ASSERT_TRUE(fromBinary);
    EXPECT_TRUE(has(user, "HISTORY Audit of binary.dxf: nothing dropped or changed"));
    fromBinary->editor().add(cad::Entity::line({0, 0}, {1, 1}));
    ASSERT_TRUE(files.save(*fromBinary));
    EXPECT_TRUE(bytes(binary).startsWith("AutoCAD Binary DXF"));
    EXPECT_TRUE(user.ui->atEnd());
}

namespace {

// A user who picks a file type in the file-save dialog; the script names the path.
class TypePickingUi : public ScriptUi {
  public:
    using ScriptUi::ScriptUi;
    QString pick;
    QStringList offered;  // filter | type shown first, per dialog
    std::optional<QString> saveFile(const FileDialogOptions& o) override {
        offered << o.filter + " | " + (o.fileType ? *o.fileType : QStringLiteral("<none>"));
        if (o.fileType && !pick.isEmpty()) *o.fileType = pick;
        return ScriptUi::saveFile(o);
    }
};

}  // namespace

// Save As offers ASCII and binary DXF, starting with the form of the file the drawing came
// from; the type picked decides the form of the new file and of the saves after it.
TEST(DrawingFiles, SaveAsWritesTheFileTypePicked) {
    Installation inst;
    const QString ascii = inst.absent("ascii.dxf"), binary = inst.absent("binary.dxf"),
                  back = inst.absent("back.dxf");
    ASSERT_TRUE(
        QFile::copy(QStringLiteral(TOLVANE_TEST_DATA "/dxf/audit_duplicate_handles.dxf"), ascii));
    QString transcript;
    QTextStream stream(&transcript);
    TypePickingUi ui(parseScript("file " + binary + "\nfile " + back + "\n"), stream);
    DrawingFiles& files = inst.files(ui);
    std::unique_ptr<Drawing> d = files.open(ascii);
    ASSERT_TRUE(d);

    ui.pick = "Binary DXF Files (*.dxf *.DXF)";
    ASSERT_TRUE(files.saveAs(*d));
    EXPECT_EQ(bytes(binary, 18), "AutoCAD Binary DXF");
    d->editor().add(cad::Entity::line({0, 0}, {1, 1}));
    ASSERT_TRUE(files.save(*d));  // stays binary
    EXPECT_EQ(bytes(binary, 18), "AutoCAD Binary DXF");

    ui.pick = "DXF Files (*.dxf *.DXF)";
    ASSERT_TRUE(files.saveAs(*d));
    EXPECT_FALSE(bytes(back, 18).startsWith("AutoCAD Binary DXF"));
    cad::DxfAudit audit;
    const cad::Document read = cad::loadDxf(back, &audit);
    EXPECT_EQ(audit.format, cad::DxfFormat::Ascii);
    EXPECT_EQ(read.modelSpace().entities.size(), d->document().modelSpace().entities.size());

    const QString both = "DXF Files (*.dxf *.DXF);;Binary DXF Files (*.dxf *.DXF)";
    EXPECT_EQ(ui.offered, QStringList({both + " | DXF Files (*.dxf *.DXF)",
                                       both + " | Binary DXF Files (*.dxf *.DXF)"}));
}

// New drawings made without a choice start from the user's template when it exists, else
// from the installation's.
TEST(DrawingFiles, DefaultTemplateIsTheUsersWhenItExists) {
    Installation inst;
    ScriptedUser user("");
    QTemporaryDir dir;
    SettingsStore store(dir.filePath(QStringLiteral("Tolvane_v2.ini")));
    DrawingFiles& files = inst.files(*user.ui, &store);
    const QString installed = files.defaultTemplate();
    const QString mine = dir.filePath(QStringLiteral("mine.dxf"));
    cad::Document doc;
    doc.addToModel(cad::Entity::circle({1, 1}, 5));
    ASSERT_TRUE(cad::saveDxf(doc, mine));
    store.write(setting::TemplateDrawing, mine);
    EXPECT_EQ(files.defaultTemplate(), mine);
    std::unique_ptr<Drawing> made = files.newFromTemplate(files.defaultTemplate());
    ASSERT_TRUE(made);
    EXPECT_EQ(made->document().modelSpace().entities.size(), 1u);
    store.write(setting::TemplateDrawing, dir.filePath(QStringLiteral("gone.dxf")));
    EXPECT_EQ(files.defaultTemplate(), installed);
}

// The user's DwgSaveVer decides the release Save and Save As write; a save in an older
// release lists in the command history what the release could not hold, and the drawing
// itself keeps it.
TEST(DrawingFiles, SavesInTheReleaseTheUserChoseAndSaysWhatItLost) {
    Installation inst;
    const QString path = inst.absent("old.dxf"), other = inst.absent("other.dxf");
    ScriptedUser user("file " + other + "\n");
    QTemporaryDir dir;
    SettingsStore store(dir.filePath(QStringLiteral("Tolvane_v2.ini")));
    DrawingFiles& files = inst.files(*user.ui, &store);
    cad::Document doc;
    doc.addToModel(cad::Entity::ellipse({0, 0}, {4, 0}, 0.5, 0, 1));
    ASSERT_TRUE(cad::saveDxf(doc, path));
    std::unique_ptr<Drawing> d = files.open(path);
    ASSERT_TRUE(d);

    store.write(setting::DwgSaveVer, QStringLiteral("3"));  // DWG 10: R12
    d->editor().add(cad::Entity::line({0, 0}, {1, 1}));
    ASSERT_TRUE(files.save(*d));
    EXPECT_TRUE(bytes(path, 4096).contains("AC1009"));
    EXPECT_TRUE(has(user, "HISTORY Saved old.dxf as DXF R12: 1 dropped, 0 changed"));
    EXPECT_TRUE(has(user, "1 ellipse(s) dropped: R12 has no ellipse"));
    EXPECT_EQ(d->document().modelSpace().entities.size(), 2u);  // the drawing keeps it
    EXPECT_EQ(cad::loadDxf(path).modelSpace().entities.size(), 1u);

    store.write(setting::DwgSaveVer, QStringLiteral("7"));  // DWG 2K: R2000
    ASSERT_TRUE(files.saveAs(*d));
    EXPECT_TRUE(bytes(other, 4096).contains("AC1015"));
    EXPECT_TRUE(has(user, "HISTORY Saved other.dxf as DXF R2000: nothing dropped or changed"));
    EXPECT_EQ(cad::loadDxf(other).modelSpace().entities.size(), 2u);

    store.write(setting::DwgSaveVer, QString());  // the default: R2007, nothing said
    ASSERT_TRUE(files.save(*d));
    EXPECT_TRUE(bytes(other, 4096).contains("AC1021"));
    EXPECT_FALSE(has(user, "HISTORY Saved other.dxf as DXF R2007"));
}
