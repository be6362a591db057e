// The project registry: making, opening, linking, deleting and consolidating projects, the
// new-project dialog's checks, and a project on the shared server.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <exception>
#include <iostream>
#include <thread>

#include "app/projects/project_dialogs.h"
#include "db/schema.h"
#include "db/setup.h"
#include "db_fixture.h"
#include "front/widget_driver.h"
#include "projects/project_registry.h"
#include "script_fixture.h"
#include "shell/event_log.h"
#include "shell/settings_store.h"

using namespace tolvane;
using projects::ProjectRegistry;
using test::ScriptedUser;

namespace {

// An application folder with its databases, as the start-up leaves it.
struct Installation {
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath("settings.ini")};
    EventLog log;
    RunState run;
    db::Connections registry;

    explicit Installation(DatabaseMode mode = DatabaseMode::SingleUser) {
        run.appPath = dir.filePath("home") + "/";
        run.mode = mode;
        QDir().mkpath(run.appPath);
    }
    ~Installation() { registry.closeAll(); }
    bool connect() {
        ScriptedUser user("");
        db::DatabaseSetup setup(run, settings, *user.ui, log, registry);
        if (!setup.connect()) return false;
        setup.setDefaultProjectPath();
        return true;
    }
    QString path(const QString& relative) const { return dir.filePath(relative); }
    QVariant pm(const QString& sql, const QVariant& value = {}) {
        db::Query q(db::DbId::PM, sql, registry);
        if (value.isValid()) q.bind(value);
        return q.scalar();
    }
    QVariant project(const QString& sql) {
        return db::Query(db::DbId::Project, sql, registry).scalar();
    }
};

// What a script needs of the program to act inside a dialog (set, click): nothing more.
using DialogsOnly = test::QuietHost;

// One user answering a script, with the registry the menus would use.
struct Session {
    ScriptedUser user;
    DialogsOnly host;
    ProjectRegistry projects;
    Session(Installation& inst, const QString& script)
        : user(script), projects(inst.run, inst.settings, *user.ui, inst.log, inst.registry) {
        user.ui->setHost(&host);
    }
    int unwinding = std::uncaught_exceptions();
    // A script line that did not fit ends the test with an exception: show what was said.
    ~Session() {
        if (std::uncaught_exceptions() > unwinding)
            std::cerr << "Transcript so far:\n" << user.transcript.toStdString();
    }
    bool done() const { return user.ui->atEnd(); }
    bool said(const QString& text) const { return user.transcript.contains(text); }
};

// Reads a value from a SQLite file through a connection of its own.
QVariant fromFile(const QString& file, const QString& sql) {
    db::Connections own;
    own.bind(db::DbId::Project, db::ConnectionSpec::sqlite(file));
    return db::Query(db::DbId::Project, sql, own).scalar();
}

void touch(const QString& file, const QByteArray& content = "0\nSECTION\n") {
    test::writeFile(file, content);
}
QString readAll(const QString& file) {
    return QString::fromUtf8(test::fileBytes(file));
}

void addDrawing(Installation& inst, const QString& name, const QVariant& path) {
    db::Query q(db::DbId::Project,
                "insert into tblDrawings (DrawingName, drawingpath) values (?, ?)", inst.registry);
    q.bind(name).bind(path).exec();
}
QString drawingPath(Installation& inst, const QString& name) {
    return test::firstColumn(db::DbId::Project, inst.registry,
                             "select drawingpath from tblDrawings where DrawingName = ?", {name})
        .value(0);
}

class ProjectRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(inst.connect()); }
    // Creates and opens a project in the temporary folder.
    QString make(const QString& name) {
        const QString folder = inst.path("projects/" + name);
        Session s(inst, "");
        EXPECT_TRUE(s.projects.createProject(name, "about " + name, folder));
        return folder;
    }
    Installation inst;
};

}  // namespace

// The scenario project_new_empty_field shows the beep and that nothing is made; here where the
// focus goes, and that blanks are no description either.
TEST_F(ProjectRegistryTest, NewProjectDialogRefusesAnEmptyField) {
    const QString script =
        "set txtProjectName Studio A\nset txtPath %1\nclick cmdAddNew\n"
        "click cmdCancel\n";
    Session s(inst, script.arg(inst.path("studio")));
    NewProjectDialog dialog(*s.user.ui, s.projects);
    s.user.ui->runModal(dialog);
    ASSERT_TRUE(dialog.focusWidget());
    EXPECT_EQ(dialog.focusWidget()->objectName(), "txtDescription");
    EXPECT_FALSE(s.projects.createProject("A", " ", inst.path("studio")));
    EXPECT_FALSE(QFileInfo::exists(inst.path("studio")));
}

TEST_F(ProjectRegistryTest, CreationMakesTheProjectAndOpensIt) {
    // A quote in the name reaches the database as it is: everything is bound.
    const QString name = "O'Brien's Studio";
    const QString folder = inst.path("work/obrien");
    const QString script =
        "set txtProjectName %1\nset txtDescription Control room \"B\"\n"
        "click cmdBrowse\nfile %2/\nclick cmdAddNew\n";
    Session s(inst, script.arg(name, folder));
    int listed = 0;
    QStringList opened;
    QObject::connect(&s.projects, &ProjectRegistry::listChanged, [&] { ++listed; });
    QObject::connect(&s.projects, &ProjectRegistry::projectOpened,
                     [&](const QString& n) { opened << n; });
    runNewProject(*s.user.ui, s.projects, nullptr);
    EXPECT_TRUE(s.done());

    for (const char* sub : {"Project Databases", "DRAWINGS", "REPORTS/GENERAL", "REPORTS/LABELS"})
        EXPECT_TRUE(QFileInfo(folder + "/" + sub).isDir()) << sub;
    const QString file = folder + "/Project Databases/ProjectDB.db";
    const auto row = s.projects.find(name);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->description, "Control room \"B\"");
    EXPECT_EQ(row->path, folder);  // no trailing '/'
    EXPECT_EQ(fromFile(file, "select ProjectName from tblLocalProject").toString(), name);
    EXPECT_EQ(fromFile(file, "select count(*) from tblLockSys").toInt(), 1);

    // Opened: the project database connection now writes into the new file.
    EXPECT_EQ(inst.settings.read(setting::CurrentProject), name);
    EXPECT_EQ(inst.run.currentProjectPath, folder);
    EXPECT_EQ(inst.run.projectConnection, "sqlite:" + file);
    db::Query(db::DbId::Project, "insert into tblCables (CableNO) values (?)", inst.registry)
        .bind("V0001")
        .exec();
    inst.registry.close(db::DbId::Project);
    EXPECT_EQ(fromFile(file, "select CableNO from tblCables").toString(), "V0001");
    EXPECT_EQ(listed, 1);
    EXPECT_EQ(opened, QStringList{name});
    EXPECT_EQ(s.projects.projectNames(), QStringList({"DEFAULT_PROJECT", name}));

    // The same name again is refused before anything is made.
    Session again(inst, "button OK\n");
    EXPECT_FALSE(again.projects.createProject(name, "x", inst.path("other")));
    EXPECT_TRUE(again.said("A project named O'Brien's Studio already exists."));
    EXPECT_FALSE(QFileInfo::exists(inst.path("other")));
}

TEST_F(ProjectRegistryTest, RefusedCreationLeavesNothingBehind) {
    const auto nothingMade = [this](const QString& folder) {
        EXPECT_EQ(inst.pm("select count(*) from tblProjects").toInt(), 1);
        EXPECT_FALSE(QFileInfo::exists(folder)) << folder.toStdString();
    };
    {
        Session s(inst, "button OK\nbutton OK\nbutton OK\n");
        for (const QString& bad : {QString("a/b"), QString("a\\b"), QString(" lead")}) {
            EXPECT_FALSE(s.projects.createProject(bad, "d", inst.path("bad")));
            nothingMade(inst.path("bad"));
        }
        EXPECT_TRUE(
            s.said("a project name may not contain / or \\, nor begin or end with a blank"));
    }
    {
        touch(inst.path("plain.txt"), "keep");
        Session s(inst, "button OK\n");
        EXPECT_FALSE(s.projects.createProject("P", "d", inst.path("plain.txt")));
        EXPECT_TRUE(s.said("The project path is a file, not a folder: " + inst.path("plain.txt")));
        EXPECT_EQ(readAll(inst.path("plain.txt")), "keep");
        EXPECT_EQ(inst.pm("select count(*) from tblProjects").toInt(), 1);
    }
    {
        // A project folder below a missing parent: when the copy of the blank database fails,
        // every folder the creation made goes again, the parents included.
        const QString blank = db::blankFile(inst.run.appFolder());
        ASSERT_TRUE(QFile::rename(blank, blank + ".away"));
        Session s(inst, "button OK\n");
        EXPECT_FALSE(s.projects.createProject("P", "d", inst.path("deep/er/P")));
        EXPECT_TRUE(s.said("Unable to copy the blank project database"));
        nothingMade(inst.path("deep"));
        ASSERT_TRUE(QFile::rename(blank + ".away", blank));
    }
    if (geteuid() != 0) {
        QDir().mkpath(inst.path("locked"));
        QFile::setPermissions(inst.path("locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        Session s(inst, "button OK\n");
        EXPECT_FALSE(s.projects.createProject("P", "d", inst.path("locked/P")));
        EXPECT_TRUE(s.said("Unable to create the folder: " + inst.path("locked/P")));
        nothingMade(inst.path("locked/P"));
        QFile::setPermissions(inst.path("locked"), QFileDevice::ReadOwner |
                                                       QFileDevice::WriteOwner |
                                                       QFileDevice::ExeOwner);
    }
    // An existing project folder is not made a second project.
    const QString first = make("First");
    Session s(inst, "button OK\n");
    EXPECT_FALSE(s.projects.createProject("Second", "d", first));
    EXPECT_TRUE(s.said("already holds a project"));
    EXPECT_FALSE(s.projects.find("Second"));
}

// A creation killed half-way leaves the folders it made but no project database, so the
// folder is still free: the next attempt makes the project there. The kill comes while the
// blank database is copied; a pipe stands in for it, so the copy waits for the test.
TEST_F(ProjectRegistryTest, CreationKilledHalfWayThenRetried) {
    const QString blank = db::blankFile(inst.run.appFolder());
    const QByteArray pipe = QFile::encodeName(blank);
    ASSERT_TRUE(QFile::rename(blank, blank + ".real"));
    ASSERT_EQ(mkfifo(pipe.constData(), 0600), 0);
    const QString folder = inst.path("projects/Killed");
    inst.registry.closeAll();  // the child opens its own connections
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Session s(inst, "");
        s.projects.createProject("Killed", "d", folder);
        _exit(0);
    }
    // The pipe opens for writing once the creation opened it to copy from.
    int in = -1;
    for (int i = 0; i < 1000 && in < 0; ++i) {
        in = ::open(pipe.constData(), O_WRONLY | O_NONBLOCK);
        if (in < 0) usleep(10000);
    }
    EXPECT_GE(in, 0) << "the creation never reached the copy";
    QFile real(blank + ".real");
    ASSERT_TRUE(real.open(QIODevice::ReadOnly));
    const QByteArray start = real.read(4096);
    EXPECT_EQ(::write(in, start.constData(), start.size()), start.size());
    usleep(100000);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(in);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the creation ended before it was killed";
    EXPECT_TRUE(QFileInfo(folder + "/Project Databases").isDir());
    EXPECT_FALSE(QFileInfo::exists(folder + "/Project Databases/ProjectDB.db"));
    EXPECT_EQ(inst.pm("select count(*) from tblProjects").toInt(), 1);
    ASSERT_TRUE(QFile::remove(blank));
    ASSERT_TRUE(QFile::rename(blank + ".real", blank));

    Session again(inst, "");
    ASSERT_TRUE(again.projects.createProject("Killed", "d", folder));
    EXPECT_TRUE(again.done());
    EXPECT_EQ(inst.run.currentProjectPath, folder);
    EXPECT_EQ(inst.project("select ProjectName from tblLocalProject").toString(), "Killed");
    EXPECT_EQ(QDir(folder + "/Project Databases").entryList(QDir::Files),
              QStringList{"ProjectDB.db"});
}

TEST_F(ProjectRegistryTest, OpeningAnUnknownNameOpensTheDefaultProject) {
    Session s(inst, "");
    EXPECT_EQ(s.projects.startupProject(), "DEFAULT_PROJECT");
    EXPECT_EQ(s.projects.openProject("Nowhere"), "DEFAULT_PROJECT");
    EXPECT_TRUE(s.done());
    // The default project's folder is made on its first opening (what it holds: the scenario
    // project_open_unknown).
    EXPECT_EQ(inst.run.currentProjectPath, inst.run.appFolder() + "/Tolvane Default Project");
    EXPECT_EQ(inst.settings.read(setting::CurrentProject), "DEFAULT_PROJECT");

    // With drawings open the user is asked first; No changes nothing, Yes closes them.
    const QString other = make("Other");
    ASSERT_EQ(inst.run.currentProjectPath, other);
    Session asked(inst, "button No\nbutton Yes\n");
    int closed = 0;
    asked.projects.drawingsOpen = [] { return true; };
    asked.projects.closeDrawings = [&closed] { return ++closed > 0; };
    EXPECT_FALSE(asked.projects.openProject("DEFAULT_PROJECT"));
    EXPECT_EQ(inst.run.currentProjectPath, other);
    EXPECT_EQ(closed, 0);
    EXPECT_EQ(asked.projects.openProject("DEFAULT_PROJECT"), "DEFAULT_PROJECT");
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(
        asked.said("MESSAGE [Yes/No] Tolvane | This action will close all current "
                   "drawings. You will be prompted to save any drawing that has changed. "
                   "Proceed?"));
}

// A project starts with copies of the stock layouts in its report folders, the default
// project too; a layout of the same name already there (in any case) is the user's and stays.
TEST_F(ProjectRegistryTest, ProjectsStartWithTheStockReportsAndKeepTheUsersOwn) {
    touch(inst.run.appPath + "reports/general/CableSchedule.rpx", "stock schedule");
    touch(inst.run.appPath + "reports/general/BOM.RPX", "stock bill");
    touch(inst.run.appPath + "reports/general/notes.txt", "not a layout");
    touch(inst.run.appPath + "reports/labels/CableLabels.rpx", "stock labels");
    const QString defaults = inst.run.appFolder() + "/Tolvane Default Project";
    touch(defaults + "/REPORTS/GENERAL/cableschedule.RPX", "mine");
    const auto listing = [](const QString& folder) {
        QStringList out;
        for (const QString& name : QDir(folder).entryList(QDir::Files, QDir::Name))
            out << name + "=" + readAll(folder + "/" + name);
        return out;
    };
    Session s(inst, "");
    ASSERT_EQ(s.projects.openProject("DEFAULT_PROJECT"), "DEFAULT_PROJECT");
    EXPECT_EQ(listing(defaults + "/REPORTS/GENERAL"),
              (QStringList{"BOM.RPX=stock bill", "cableschedule.RPX=mine"}));
    EXPECT_EQ(listing(defaults + "/REPORTS/LABELS"), QStringList{"CableLabels.rpx=stock labels"});
    const QString other = make("Other");
    EXPECT_EQ(listing(other + "/REPORTS/GENERAL"),
              (QStringList{"BOM.RPX=stock bill", "CableSchedule.rpx=stock schedule"}));
    EXPECT_EQ(listing(other + "/REPORTS/LABELS"), QStringList{"CableLabels.rpx=stock labels"});
}

TEST_F(ProjectRegistryTest, AProjectWhoseFolderMovedIsFoundAgain) {
    const QString before = make("Mover");
    make("Anchor");
    const QString after = inst.path("moved/Mover");
    QDir().mkpath(inst.path("moved"));
    ASSERT_TRUE(QDir().rename(before, after));

    Session cancelled(inst, "button OK\ncancel\n");
    EXPECT_THROW(cancelled.projects.openProject("Mover"), AppError);
    EXPECT_EQ(cancelled.projects.find("Mover")->path, before);

    Session s(inst, "button OK\nfile " + after +
                        "/project databases/../Project Databases/ProjectDB.db\n");
    EXPECT_EQ(s.projects.openProject("Mover"), "Mover");
    EXPECT_TRUE(
        s.said("MESSAGE [OK] Tolvane | Unable to find the path to the project: Mover\\n"
               "Please select the Project Database which should be located in "
               "PATHTOPROJECT/Project Databases/ProjectDB.db"));
    EXPECT_TRUE(
        s.said("FILE Select Project Database to Link to | Tolvane Database (*.db) | "
               "ProjectDB.db"));
    EXPECT_EQ(s.projects.find("Mover")->path, after);
    EXPECT_EQ(inst.run.currentProjectPath, after);
    EXPECT_EQ(inst.project("select ProjectName from tblLocalProject").toString(), "Mover");
}

// A project database emptied by a disk error is reported, never made anew.
TEST_F(ProjectRegistryTest, AnEmptyProjectDatabaseIsReportedAndLeftAsItIs) {
    const QString folder = make("Emptied");
    make("Other");
    const QString file = folder + "/Project Databases/ProjectDB.db";
    inst.registry.closeAll();
    QFile(file).open(QIODevice::WriteOnly | QIODevice::Truncate);
    Session s(inst, "button OK\n");
    // Not the end of the program: the user hears why, and the project open before stays the
    // current one.
    EXPECT_FALSE(s.projects.openProject("Emptied").has_value());
    for (const QString& part :
         {QString("The project Emptied cannot be opened"), QString("cannot be read"), file,
          QString("The current project stays open.")})
        EXPECT_TRUE(s.said(part)) << part.toStdString();
    EXPECT_EQ(QFileInfo(file).size(), 0);
    EXPECT_EQ(inst.settings.read(setting::CurrentProject), "Other");
    EXPECT_EQ(inst.project("select ProjectName from tblLocalProject").toString(), "Other");
}

TEST_F(ProjectRegistryTest, LinkingAProjectFolder) {
    const QString folder = make("Alpha");
    // Two drawings registered elsewhere: one is in the folder's drawings, one is not.
    addDrawing(inst, "one", "/old/place/one.dxf");
    addDrawing(inst, "two", "/old/place/two.dxf");
    touch(folder + "/DRAWINGS/one.dxf");
    inst.registry.close(db::DbId::Project);
    const QString file = folder + "/Project Databases/ProjectDB.db";
    {
        Session s(inst, "button OK\n");
        ASSERT_TRUE(s.projects.deleteProject("Alpha", false));  // from the list only
    }
    ASSERT_TRUE(QFileInfo(file).isFile());

    // Refused without the equipment snapshot of a consolidation, or when the registry lists the
    // folder already: the scenarios project_link_no_snapshot and project_link_twice.
    touch(folder + "/Project Databases/dbEquip.db", "snapshot");
    Session s(inst,
              "file " + file + "\nbutton Yes\ntext Beta\ntext Renamed\nbutton OK\nbutton OK\n");
    EXPECT_TRUE(s.projects.linkProject());
    EXPECT_TRUE(s.done());
    EXPECT_TRUE(s.said("The linked project name is: Alpha\\nWould you like to rename it?"));
    EXPECT_TRUE(
        s.said("INPUT Rename Linked Project | Enter a new project description for the "
               "incoming project | about Alpha"));
    EXPECT_TRUE(
        s.said("Unable to find the drawing: two.dxf\\nThe database will not be updated "
               "for this record."));
    EXPECT_TRUE(s.said("The project has been successfully linked."));
    const auto row = s.projects.find("Beta");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->description, "Renamed");
    EXPECT_EQ(row->path, folder);
    EXPECT_EQ(inst.settings.read(setting::CurrentProject), "Beta");
    EXPECT_EQ(readAll(inst.run.appFolder() + "/DBUpdates/dbEquip.db"), "snapshot");
    // The linked database keeps its own name; its drawings point into the folder.
    EXPECT_EQ(inst.project("select ProjectName from tblLocalProject").toString(), "Alpha");
    EXPECT_EQ(drawingPath(inst, "one"), folder + "/DRAWINGS/one.dxf");
    EXPECT_EQ(drawingPath(inst, "two"), "/old/place/two.dxf");

    // Cancelling the file dialog ends the link through the error handler.
    Session cancelled(inst, "cancel\n");
    EXPECT_THROW(cancelled.projects.linkProject(), AppError);
}

// The default project's refusal, and the question and messages of a delete through the dialog,
// are in the scenarios project_delete_default and project_delete_other.
TEST_F(ProjectRegistryTest, DeletingProjects) {
    const QString zed = make("Zed");
    const QString beta = make("Beta");
    make("Delta");
    {
        // No at the question: nothing is removed, and the user hears so.
        Session s(inst, "button No\nbutton OK\n");
        EXPECT_FALSE(s.projects.deleteProject("Zed", true));
        EXPECT_TRUE(
            s.said("Some drawings or databases may not be removed and require that you "
                   "remove them manually"));
        EXPECT_TRUE(s.projects.find("Zed"));
        EXPECT_TRUE(QFileInfo(zed).isDir());
    }
    ASSERT_TRUE(Session(inst, "").projects.openProject("Zed"));
    Session s(inst, "set optDeleteEverything 1\nclick cmdOK\nbutton Yes\nbutton OK\n");
    int listed = 0;
    QObject::connect(&s.projects, &ProjectRegistry::listChanged, [&] { ++listed; });
    runDeleteProject(*s.user.ui, s.projects, nullptr);
    EXPECT_TRUE(s.done());
    EXPECT_FALSE(QFileInfo::exists(zed));
    EXPECT_EQ(listed, 1);
    // The first remaining project by name is opened.
    EXPECT_EQ(inst.run.currentProjectPath, beta);

    // From the list only: the folder stays.
    Session listOnly(inst, "button OK\n");
    EXPECT_TRUE(listOnly.projects.deleteProject("Beta", false));
    EXPECT_TRUE(QFileInfo(beta + "/Project Databases/ProjectDB.db").isFile());
    EXPECT_EQ(inst.settings.read(setting::CurrentProject), "DEFAULT_PROJECT");
}

TEST_F(ProjectRegistryTest, ConsolidationCopiesWhatItFindsAndListsTheRest) {
    const QString folder = make("Site");
    touch(inst.path("loose/a/rack.dxf"), "first");
    touch(inst.path("loose/b/rack.dxf"), "second");
    touch(inst.path("loose/plan.dxf"), "plan");
    addDrawing(inst, "rack", inst.path("loose/a/rack.dxf"));
    addDrawing(inst, "gone", inst.path("loose/gone.dxf"));
    addDrawing(inst, "rack again", inst.path("loose/b/rack.dxf"));
    addDrawing(inst, "nothing", QVariant(QMetaType(QMetaType::QString)));
    addDrawing(inst, "plan", inst.path("loose/plan.dxf"));

    Session s(inst, "set optMove 1\nclick cmdOK\nbutton Yes\nbutton OK\n");
    runConsolidate(*s.user.ui, s.projects, nullptr);
    EXPECT_TRUE(s.done());
    EXPECT_TRUE(s.said("STATUS Moving to: " + folder + "/DRAWINGS/"));
    EXPECT_TRUE(
        s.said("MESSAGE [OK] Tolvane | The project consolidation had the following "
               "errors:\\n1. " +
               inst.path("loose/gone.dxf") + " is missing\\n2. Null entry in the database\\n"));
    // The second drawing of the same file name overwrote the first; both rows point to it.
    EXPECT_EQ(readAll(folder + "/DRAWINGS/rack.dxf"), "second");
    EXPECT_EQ(readAll(folder + "/DRAWINGS/plan.dxf"), "plan");
    EXPECT_FALSE(QFileInfo::exists(inst.path("loose/plan.dxf")));  // moved
    EXPECT_EQ(drawingPath(inst, "rack"), folder + "/DRAWINGS/rack.dxf");
    EXPECT_EQ(drawingPath(inst, "rack again"), folder + "/DRAWINGS/rack.dxf");
    EXPECT_EQ(drawingPath(inst, "gone"), inst.path("loose/gone.dxf"));
    // The project carries the equipment library it was drawn with.
    const QString snapshot = folder + "/Project Databases/dbEquip.db";
    EXPECT_EQ(fromFile(snapshot, "select count(*) from tblEquipment").toInt(),
              db::Query(db::DbId::Equipment, "select count(*) from tblEquipment", inst.registry)
                  .scalar()
                  .toInt());

    // No at the question: nothing happens.
    Session no(inst, "button No\n");
    EXPECT_FALSE(no.projects.consolidate(false));
}

TEST(ProjectRegistryShared, AProjectLivesInItsOwnSchemaOnTheServer) {
    if (!test::postgresServer()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
    Installation inst(DatabaseMode::Shared);
    db::Connections scratch;
    test::TestDatabases dbs(db::Engine::PostgreSQL);
    inst.settings.write(setting::PmPath, dbs.makeEmpty(db::DbId::PM, scratch).text());
    inst.settings.write(setting::EqPath, dbs.makeEmpty(db::DbId::Equipment, scratch).text());
    ASSERT_TRUE(inst.connect());
    const QString folder = inst.path("server/Studio");
    Session s(inst, "button Yes\nbutton OK\n");
    ASSERT_TRUE(s.projects.createProject("Studio's B", "on the server", folder));

    const QString recorded = readAll(folder + "/Project Databases/ProjectDB.connection");
    const auto recordedAt = db::ConnectionSpec::parse(recorded.trimmed());
    ASSERT_TRUE(recordedAt);
    EXPECT_EQ(recordedAt->schema, "proj_studio_s_b");
    EXPECT_TRUE(recordedAt->password.isEmpty());  // the password stays in the settings only
    EXPECT_FALSE(QFileInfo::exists(folder + "/Project Databases/ProjectDB.db"));
    EXPECT_EQ(inst.registry.boundTo(db::DbId::Project).schema, "proj_studio_s_b");
    EXPECT_EQ(inst.project("select ProjectName from tblLocalProject").toString(), "Studio's B");
    EXPECT_EQ(inst.project("select count(*) from tblLockSys").toInt(), 1);

    // A server that refuses the schema: a message, and neither row nor folder.
    const QString database = inst.registry.boundTo(db::DbId::PM).database;
    db::Query(db::DbId::PM, "revoke create on database " + database + " from current_user",
              inst.registry)
        .exec();
    Session refused(inst, "button OK\n");
    EXPECT_FALSE(refused.projects.createProject("Refused", "d", inst.path("server/Refused")));
    EXPECT_TRUE(refused.said("The server refused the project database"));
    EXPECT_FALSE(refused.projects.find("Refused"));
    EXPECT_FALSE(QFileInfo::exists(inst.path("server/Refused")));
    db::Query(db::DbId::PM, "grant create on database " + database + " to current_user",
              inst.registry)
        .exec();

    // The equipment snapshot of a server is an SQLite copy of every table's rows.
    EXPECT_TRUE(s.projects.consolidate(false));
    EXPECT_EQ(
        fromFile(folder + "/Project Databases/dbEquip.db", "select count(*) from tblEquipment")
            .toInt(),
        db::Query(db::DbId::Equipment, "select count(*) from tblEquipment", inst.registry)
            .scalar()
            .toInt());

    Session del(inst, "button Yes\nbutton OK\n");
    EXPECT_TRUE(del.projects.deleteProject("Studio's B", true));
    EXPECT_EQ(
        inst.pm("select count(*) from pg_namespace where nspname = ?", "proj_studio_s_b").toInt(),
        0);
    EXPECT_FALSE(QFileInfo::exists(folder));
    inst.registry.closeAll();
}

// The first start of each installation on one server: the first one makes the default
// project (folder and schema) and every later one finds it, even two that start together;
// no start points the project at a folder of its own or builds a second schema.
TEST(ProjectRegistryShared, FirstStartsKeepOneDefaultProject) {
    if (!test::postgresServer()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
    db::Connections scratch;
    test::TestDatabases dbs(db::Engine::PostgreSQL);
    const QString pm = dbs.makeEmpty(db::DbId::PM, scratch).text();
    const QString equipment = dbs.makeEmpty(db::DbId::Equipment, scratch).text();
    scratch.closeAll();
    struct Started {
        QString project, folder, failure;
    };
    // Steps 13 to 16 of the start-up and the opening of the start-up project, as the program
    // runs them; the connections are closed in the thread that opened them.
    const auto firstStart = [&](Installation& inst, Started& out) {
        inst.settings.write(setting::PmPath, pm);
        inst.settings.write(setting::EqPath, equipment);
        try {
            ScriptedUser user("");
            if (!db::DatabaseSetup(inst.run, inst.settings, *user.ui, inst.log, inst.registry)
                     .connect())
                out.failure = "not connected";
            ProjectRegistry projects(inst.run, inst.settings, *user.ui, inst.log, inst.registry);
            projects.setUpDefaultProject();
            projects.openProject(projects.startupProject());
            out.project = inst.registry.boundTo(db::DbId::Project).text();
            out.folder = inst.run.currentProjectPath;
            if (!user.transcript.isEmpty()) out.failure = user.transcript;
        } catch (const AppError& e) {
            out.failure = e.description();
        }
        inst.registry.closeAll();
    };
    Installation ann(DatabaseMode::Shared), bob(DatabaseMode::Shared), carol(DatabaseMode::Shared);
    ann.run.whoAmI = "ann_pc1";
    bob.run.whoAmI = "bob_pc2";
    carol.run.whoAmI = "carol_pc3";
    Started a, b, c;
    std::thread one(firstStart, std::ref(ann), std::ref(a)),
        two(firstStart, std::ref(bob), std::ref(b));
    one.join();
    two.join();
    ASSERT_EQ(a.failure, "");
    ASSERT_EQ(b.failure, "");
    EXPECT_EQ(a.project, b.project);
    EXPECT_EQ(a.folder, b.folder);
    EXPECT_TRUE(a.folder == ann.run.appFolder() + "/Tolvane Default Project" ||
                a.folder == bob.run.appFolder() + "/Tolvane Default Project")
        << a.folder.toStdString();

    // A later installation's first start finds the project where it is.
    firstStart(carol, c);
    ASSERT_EQ(c.failure, "");
    EXPECT_EQ(c.project, a.project);
    EXPECT_EQ(c.folder, a.folder);

    db::Connections check;
    check.bind(db::DbId::PM, *db::ConnectionSpec::parse(pm));
    EXPECT_EQ(
        db::Query(db::DbId::PM, "select ProjectPath from tblProjects where ProjectName = ?", check)
            .bind("DEFAULT_PROJECT")
            .scalar()
            .toString(),
        a.folder);
    EXPECT_EQ(db::Query(db::DbId::PM, "select count(*) from tblProjects", check).scalar().toInt(),
              1);
    EXPECT_EQ(
        db::Query(db::DbId::PM,
                  "select string_agg(nspname, ',') from pg_namespace where nspname like ?", check)
            .bind("proj\\_%")
            .scalar()
            .toString(),
        "proj_default_project");
    check.closeAll();
}
