// Connecting the databases at start-up: a new installation, a second start, a damaged file,
// and the master databases of a shared installation.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "db/schema.h"
#include "db/setup.h"
#include "db_fixture.h"
#include "script_fixture.h"
#include "shell/event_log.h"
#include "shell/settings_store.h"

using namespace tolvane;
using test::ScriptedUser;

namespace {
struct Installation {
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath("settings.ini")};
    EventLog log;
    RunState run;
    db::Connections registry;
    Installation() {
        run.appPath = dir.filePath("home") + "/";
        QDir().mkpath(run.appPath);
    }
    bool connect(ScriptedUser& user) {
        return db::DatabaseSetup(run, settings, *user.ui, log, registry).connect();
    }
    int count(db::DbId id, const QString& table) {
        return db::Query(id, "select count(*) from " + table, registry).scalar().toInt();
    }
};
}  // namespace

TEST(DatabaseSetup, NewInstallationThenSecondStart) {
    Installation inst;
    ScriptedUser user("");
    // The files made, the default project and the blank project's lock rows: the scenario
    // databases.
    ASSERT_TRUE(inst.connect(user));
    EXPECT_EQ(inst.run.pmConnection, "sqlite:" + inst.run.appFolder() + "/dbPM.db");
    for (auto id : {db::DbId::PM, db::DbId::Equipment, db::DbId::Blank})
        EXPECT_EQ(db::schemaVersion(id, inst.registry), db::kSchemaVersion);
    // Until a project is opened, project queries reach the blank project.
    EXPECT_EQ(inst.registry.boundTo(db::DbId::Project), inst.registry.boundTo(db::DbId::Blank));
    const int models = inst.count(db::DbId::Equipment, "tblEquipment");
    EXPECT_GE(models, 24);

    // A user's own rows survive the next start; nothing is seeded twice.
    db::Query(
        db::DbId::Equipment,
        "delete from tblEquipment where EquipmentID = (select min(EquipmentID) from tblEquipment)",
        inst.registry)
        .exec();
    inst.registry.closeAll();
    db::Connections again;
    ASSERT_TRUE(db::DatabaseSetup(inst.run, inst.settings, *user.ui, inst.log, again).connect());
    EXPECT_EQ(
        db::Query(db::DbId::Equipment, "select count(*) from tblEquipment", again).scalar().toInt(),
        models - 1);
    again.closeAll();
}

TEST(DatabaseSetup, DamagedFileStopsWithTheDatabaseNamed) {
    Installation inst;
    const QString junk = inst.run.appFolder() + "/DBEQUIP.DB";  // names compare in any case
    test::writeFile(junk, QByteArray(2048, '\x7f'));
    ScriptedUser user("");
    const QString stopped = test::thrownText([&] { inst.connect(user); });
    EXPECT_TRUE(stopped.contains("equipment database")) << qPrintable(stopped);
    EXPECT_TRUE(stopped.contains("DBEQUIP.DB")) << qPrintable(stopped);
    EXPECT_EQ(test::fileBytes(junk), QByteArray(2048, '\x7f'));  // left as it was
}

// Only a missing database is made. A file that holds something else than a Tolvane database
// stops the start with the database named, and stays as it was: the user's projects or library
// are never replaced by new, empty ones. (An empty file: the scenario database_empty_file.)
TEST(DatabaseSetup, AForeignFileIsNeverReplaced) {
    // A database of another program in the blank project's place.
    Installation inst;
    const QString blank = inst.run.appFolder() + "/BlankProjectDB/Blankdb.db";
    QDir().mkpath(QFileInfo(blank).absolutePath());
    {
        db::Connections other;
        other.bind(db::DbId::Blank, db::ConnectionSpec::sqlite(blank));
        db::createSqliteFile(db::DbId::Blank, blank);
        db::Query(db::DbId::Blank, "create table notes (body text)", other).exec();
        db::Query(db::DbId::Blank, "insert into notes values ('mine')", other).exec();
    }
    const QByteArray before = test::fileBytes(blank);
    ASSERT_FALSE(before.isEmpty());
    ScriptedUser user("");
    const QString stopped = test::thrownText([&] { inst.connect(user); });
    EXPECT_TRUE(stopped.contains("blank project database (")) << qPrintable(stopped);
    EXPECT_TRUE(stopped.contains("cannot be read")) << qPrintable(stopped);
    inst.registry.closeAll();
    EXPECT_EQ(test::fileBytes(blank), before);
}

TEST(DatabaseSetup, SharedModeAsksForTheMasterDatabases) {
    Installation inst;
    inst.run.mode = DatabaseMode::Shared;
    inst.settings.write(setting::PmPath, "postgresql:host=127.0.0.1 port=1 dbname=gone user=x");
    ScriptedUser user("button Cancel\n");
    EXPECT_FALSE(inst.connect(user));
    EXPECT_TRUE(user.lines().first().startsWith(
        "MESSAGE [OK/Cancel] Tolvane | The Master Database at 127.0.0.1:1/gone has been deleted, "
        "moved, renamed, or the network share is unavailable."));

    const auto server = test::postgresServer();
    if (!server) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
    // OK: a new location is asked for; a new server database is set up on first use.
    db::Connections scratch;
    test::TestDatabases dbs(db::Engine::PostgreSQL);
    const db::ConnectionSpec pm = dbs.makeEmpty(db::DbId::PM, scratch);
    const db::ConnectionSpec equipment = dbs.makeEmpty(db::DbId::Equipment, scratch);
    scratch.closeAll();
    ScriptedUser admin(
        QStringLiteral("button OK\ntext %1\ntext %2\n").arg(pm.text(), equipment.text()));
    ASSERT_TRUE(inst.connect(admin));
    EXPECT_EQ(inst.settings.read(setting::PmPath), pm.text());
    EXPECT_EQ(inst.settings.read(setting::EqPath), equipment.text());
    EXPECT_EQ(db::schemaVersion(db::DbId::Equipment, inst.registry), db::kSchemaVersion);
    EXPECT_GE(inst.count(db::DbId::Equipment, "tblEquipment"), 24);
    inst.registry.closeAll();
}
