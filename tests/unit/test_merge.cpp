// Merging a delivered equipment library into the one in use, on both engines: new rows with
// taken keys and their children re-keyed, changed rows kept and their delivered versions set
// aside, orphans and repeated unique keys set aside, new structure arriving with its values,
// and delivered files that cannot be merged leaving the database in use as it was.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlRecord>
#include <QTemporaryDir>

#include "db/conflicts.h"
#include "db/merge.h"
#include "db/schema.h"
#include "db/starter_library.h"
#include "db_fixture.h"
#include "shell/app_folder.h"

using namespace tolvane;
using db::DbId;

namespace {

void exec(db::Connections& where, const QString& sql, DbId id = DbId::Equipment) {
    QSqlQuery q(where.database(id));
    ASSERT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
}
// Rows of a query as "a|b" lines, in order.
QStringList rows(db::Connections& where, const QString& sql, DbId id = DbId::Equipment) {
    QSqlQuery q(where.database(id));
    EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    QStringList out;
    while (q.next()) {
        QStringList cells;
        for (int i = 0; i < q.record().count(); ++i)
            cells << (q.value(i).isNull() ? QString() : q.value(i).toString());
        out << cells.join('|');
    }
    return out;
}

class MergeTest : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        dbs.makeEmpty(DbId::Equipment, inUse);
        db::ensureSchema(DbId::Equipment, inUse);
        deliveredFile = dir.filePath("dbEquip.db");
        db::createSqliteFile(DbId::Equipment, deliveredFile);
        delivered.bind(DbId::Equipment, db::ConnectionSpec::sqlite(deliveredFile));
        db::ensureSchema(DbId::Equipment, delivered);
    }
    void TearDown() override { delivered.closeAll(); }

    // The number of rows of every table of the library, as "table|rows, ...".
    static std::string counts(db::Connections& where) {
        QStringList out;
        for (const db::TableDef& t : db::tables(db::DbKind::Equipment))
            out << t.name + '|' +
                       rows(where, QStringLiteral("select count(*) from %1").arg(t.name)).join("");
        return out.join(", ").toStdString();
    }
    db::MergeReport merge() {
        delivered.closeAll();
        return db::mergeDatabase(DbId::Equipment, deliveredFile, inUse);
    }

    // What both hold: a manufacturer and a model; the one in use has a model of its own
    // under key 2.
    void shareALibrary() {
        for (db::Connections* where : {&inUse, &delivered}) {
            exec(*where,
                 "insert into tblManufacturers (ManufacturerID, ManufacturerName, s_GUID) values "
                 "('ACME', 'Acme', 'm1')");
            exec(*where,
                 "insert into tblEquipment (EquipmentID, EquipmentName, EquipmentDescription, "
                 "ManufacturerID, s_GUID) values (1, 'V-1', 'router', 'ACME', 'e1')");
        }
        exec(inUse,
             "insert into tblEquipment (EquipmentID, EquipmentName, ManufacturerID, s_GUID) "
             "values (2, 'LOCAL', 'ACME', 'e2')");
    }

    QTemporaryDir dir;
    db::Connections inUse, delivered;
    test::TestDatabases dbs{GetParam()};
    QString deliveredFile;
};

TEST_P(MergeTest, NewRowsAreKeyedAndChangedOrOrphanedRowsSetAside) {
    shareALibrary();
    // Delivered: V-1 described anew; NEWBOX under the key LOCAL holds, with two inputs; FREE
    // under a free key; an input of a model that is not there; ACME as another row of that code.
    exec(delivered,
         "update tblEquipment set EquipmentDescription = 'video router' where "
         "s_GUID = 'e1'");
    exec(delivered,
         "insert into tblEquipment (EquipmentID, EquipmentName, ManufacturerID, s_GUID) values "
         "(2, 'NEWBOX', 'ACME', 'e3'), (3, 'FREE', 'ACME', 'e4')");
    exec(delivered,
         "insert into tblInputs (EquipmentID, Name, s_GUID) values (2, 'IN 1', "
         "'i1'), (2, 'IN 2', 'i2'), (3, 'SDI', 'i3')");
    exec(delivered, "pragma foreign_keys = off");
    exec(delivered, "insert into tblInputs (EquipmentID, Name, s_GUID) values (99, 'LOST', 'i4')");
    exec(delivered, "update tblManufacturers set ManufacturerName = 'ACME Corp', s_GUID = 'm2'");

    const db::MergeReport report = merge();
    EXPECT_EQ(report.inserted, 5);  // two models, three inputs
    EXPECT_EQ(report.rekeyed, 1);
    EXPECT_EQ(report.conflicts, 3);
    EXPECT_EQ(rows(inUse,
                   "select EquipmentID, EquipmentName, EquipmentDescription from "
                   "tblEquipment order by EquipmentID"),
              QStringList({"1|V-1|router", "2|LOCAL|", "3|FREE|", "4|NEWBOX|"}));
    EXPECT_EQ(rows(inUse,
                   "select e.EquipmentName, i.Name from tblInputs i join tblEquipment e "
                   "on e.EquipmentID = i.EquipmentID order by i.Name"),
              QStringList({"NEWBOX|IN 1", "NEWBOX|IN 2", "FREE|SDI"}));
    EXPECT_EQ(rows(inUse,
                   "select EquipmentID, EquipmentDescription, ConflictRowGuid, "
                   "ConflictReason from tblEquipment_Conflict"),
              QStringList{"1|video router|e1|2"});
    EXPECT_EQ(rows(inUse, "select Name, ConflictReason from tblInputs_Conflict"),
              QStringList{"LOST|1"});
    EXPECT_EQ(rows(inUse,
                   "select ManufacturerName, ConflictRowGuid from "
                   "tblManufacturers_Conflict"),
              QStringList{"ACME Corp|m1"});
    EXPECT_EQ(db::tablesWithConflicts(DbId::Equipment, inUse),
              QStringList({"tblEquipment", "tblInputs", "tblManufacturers"}));

    // The next model the program adds is numbered after the merged ones, on both engines.
    exec(inUse, "insert into tblEquipment (EquipmentName) values ('NEXT')");
    EXPECT_EQ(rows(inUse, "select EquipmentID from tblEquipment where EquipmentName = 'NEXT'"),
              QStringList{"5"});

    // Merged again, nothing is new.
    EXPECT_EQ(merge().inserted, 0);
    EXPECT_EQ(rows(inUse, "select count(*) from tblInputs"), QStringList{"3"});
}

TEST_P(MergeTest, NewStructureArrivesWithItsValues) {
    shareALibrary();
    exec(delivered, "alter table tblEquipment add column RackUnits integer");
    exec(delivered, "update tblEquipment set RackUnits = 2 where s_GUID = 'e1'");
    exec(delivered, "create index ix_equipment_rackunits on tblEquipment (RackUnits)");
    exec(delivered,
         "create table tblRacks (RackID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT, s_GUID "
         "TEXT)");
    exec(delivered, "insert into tblRacks (Name, s_GUID) values ('R1', 'r1'), ('R2', 'r2')");

    const db::MergeReport report = merge();
    EXPECT_EQ(report.addedTables, QStringList{"tblRacks"});
    EXPECT_EQ(report.addedColumns, QStringList{"tblEquipment.RackUnits"});
    EXPECT_EQ(report.addedIndexes, QStringList{"ix_equipment_rackunits"});
    EXPECT_EQ(report.conflicts, 0);  // a value where there was no column is no conflict
    EXPECT_EQ(rows(inUse, "select EquipmentName, RackUnits from tblEquipment order by 1"),
              QStringList({"LOCAL|", "V-1|2"}));
    EXPECT_EQ(rows(inUse, "select RackID, Name from tblRacks order by 1"),
              QStringList({"1|R1", "2|R2"}));
}

// Each row set aside is decided once: taken over the row in use, restored where that row was
// deleted meanwhile, or dropped; a row whose parent is missing can only be dropped.
TEST_P(MergeTest, EachRowSetAsideIsTakenRestoredOrDropped) {
    shareALibrary();
    for (db::Connections* where : {&inUse, &delivered})
        exec(*where,
             "insert into tblEquipment (EquipmentID, EquipmentName, ManufacturerID, "
             "s_GUID) values (7, 'GONE', 'ACME', 'e7')");
    exec(delivered,
         "update tblEquipment set EquipmentDescription = 'new text', "
         "EquipmentCost1 = 12.5, DABlock = 1");
    // The server numbers the rows the program adds after the keys given here by hand.
    if (GetParam() == db::Engine::PostgreSQL)
        exec(inUse, "select setval(pg_get_serial_sequence('tblequipment', 'equipmentid'), 7)");
    exec(delivered, "pragma foreign_keys = off");
    exec(delivered, "insert into tblInputs (EquipmentID, Name, s_GUID) values (99, 'LOST', 'i4')");
    EXPECT_EQ(merge().conflicts, 3);

    db::Conflicts conflicts(DbId::Equipment, inUse);
    EXPECT_EQ(conflicts.tables(), QStringList({"tblEquipment", "tblInputs"}));
    const db::RowSet set = conflicts.conflicts("tblEquipment");
    ASSERT_EQ(set.rows.size(), 2u);
    const auto id = [&](size_t row) { return set.rows[row].value(0).toLongLong(); };
    EXPECT_EQ(conflicts.reason("tblEquipment", id(0)), db::ConflictReason::Changed);
    EXPECT_EQ(conflicts.existing("tblEquipment", id(0)).rows.size(), 1u);

    conflicts.use("tblEquipment", id(0));
    EXPECT_EQ(rows(inUse,
                   "select EquipmentID, EquipmentDescription, EquipmentCost1, DABlock "
                   "from tblEquipment where s_GUID = 'e1'"),
              QStringList{GetParam() == db::Engine::SQLite ? "1|new text|12.5|1"
                                                           : "1|new text|12.5|true"});
    EXPECT_EQ(conflicts.conflicts("tblEquipment").rows.size(), 1u);

    exec(inUse, "delete from tblEquipment where EquipmentID = 7");
    EXPECT_EQ(conflicts.reason("tblEquipment", id(1)), db::ConflictReason::Deleted);
    conflicts.use("tblEquipment", id(1));
    EXPECT_EQ(rows(inUse,
                   "select EquipmentDescription from tblEquipment where EquipmentName = "
                   "'GONE'"),
              QStringList{"new text"});

    const qint64 orphan = conflicts.conflicts("tblInputs").rows.at(0).value(0).toLongLong();
    EXPECT_EQ(conflicts.reason("tblInputs", orphan), db::ConflictReason::Integrity);
    EXPECT_THROW(conflicts.use("tblInputs", orphan), AppError);
    conflicts.discard("tblInputs", orphan);
    EXPECT_EQ(conflicts.tables(), QStringList{});
    EXPECT_EQ(rows(inUse, "select count(*) from tblInputs"), QStringList{"0"});
}

// A file that is no database, a database of another kind, and a column of another kind are
// refused naming the file; a failure half-way takes everything back.
TEST_P(MergeTest, WhatCannotBeMergedLeavesTheDatabaseInUseAsItWas) {
    shareALibrary();
    exec(delivered, "insert into tblEquipment (EquipmentName, s_GUID) values ('NEW', 'e9')");
    const QStringList before =
        rows(inUse, "select EquipmentID, EquipmentName from tblEquipment order by 1");
    const auto refusal = [&](const QString& file) {
        return test::thrownText([&] { db::mergeDatabase(DbId::Equipment, file, inUse); });
    };
    const QString text = dir.filePath("notes.db");
    test::writeFile(text, QByteArray(4096, 'x'));
    EXPECT_TRUE(refusal(text).contains("the file is not a database"))
        << refusal(text).toStdString();

    const QString pm = dir.filePath("dbPM.db");
    db::Connections other;
    other.bind(DbId::PM, db::ConnectionSpec::sqlite(pm));
    db::createSqliteFile(DbId::PM, pm);
    db::ensureSchema(DbId::PM, other);
    other.closeAll();
    EXPECT_TRUE(refusal(pm).contains("it has no table tblEquipment")) << refusal(pm).toStdString();

    exec(delivered, "alter table tblEquipment add column Slot integer");
    exec(inUse, "alter table tblEquipment add column Slot text");
    delivered.closeAll();
    const QString kind = refusal(deliveredFile);
    EXPECT_TRUE(kind.contains(deliveredFile)) << kind.toStdString();
    EXPECT_TRUE(kind.contains("column Slot of table tblEquipment holds whole numbers"))
        << kind.toStdString();
    exec(inUse, "alter table tblEquipment drop column Slot");

    // Stopped while the models are merged: not one row nor column stays.
    exec(delivered, "create table tblRacks (RackID INTEGER PRIMARY KEY, s_GUID TEXT)");
    delivered.closeAll();
    // On SQLite the file is the same, byte for byte.
    const auto bytes = [&] {
        inUse.closeAll();
        return GetParam() == db::Engine::SQLite
                   ? test::fileBytes(inUse.boundTo(DbId::Equipment).path)
                   : QByteArray();
    };
    const QByteArray file = bytes();
    ASSERT_EQ(file.isEmpty(), GetParam() != db::Engine::SQLite);
    const auto unchanged = [&] {
        EXPECT_EQ(rows(inUse, "select EquipmentID, EquipmentName from tblEquipment order by 1"),
                  before);
        EXPECT_FALSE(db::existingTables(DbId::Equipment, inUse).contains("tblracks"));
        EXPECT_TRUE(bytes() == file);
    };
    EXPECT_THROW(db::mergeDatabase(DbId::Equipment, deliveredFile, inUse,
                                   [](const db::MergeStep& step) {
                                       if (step.table == "tblEquipment")
                                           throw db::DbError(DbId::Equipment, "stopped",
                                                             "by the test");
                                       return true;
                                   }),
                 db::DbError);
    unchanged();

    // Cancelled by the user through the progress, after a table was merged: the same.
    qint64 total = -1;
    const db::MergeReport cancelled =
        db::mergeDatabase(DbId::Equipment, deliveredFile, inUse, [&](const db::MergeStep& step) {
            EXPECT_LE(step.done, step.total);
            total = step.total;
            return step.table != "tblEquipment";
        });
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_EQ(cancelled.inserted, 0);
    EXPECT_GT(total, 0);
    unchanged();
}

// Two installations start with the same library: merging one into the other, into itself, or
// twice adds nothing and sets nothing aside, and an installation made when the starter rows had
// identities of their own recognises them as well.
TEST_P(MergeTest, TwoInstallationsStarterLibrariesAreOneLibrary) {
    db::seedEquipment(inUse);
    db::seedEquipment(delivered);
    const std::string before = counts(inUse);

    db::MergeReport report = merge();
    EXPECT_EQ(report.inserted, 0);
    EXPECT_EQ(report.conflicts, 0);
    EXPECT_EQ(counts(inUse), before);
    EXPECT_EQ(db::tablesWithConflicts(DbId::Equipment, inUse), QStringList{});

    // Both made by a version that gave every starter row an identity of its own; the one in
    // use changed one model since.
    exec(inUse,
         "update tblEquipment set EquipmentDescription = 'our own words' where EquipmentID = "
         "(select min(EquipmentID) from tblEquipment)");
    for (db::Connections* where : {&inUse, &delivered}) {
        const bool lite = where == &delivered || GetParam() == db::Engine::SQLite;
        for (const db::TableDef& t : db::tables(db::DbKind::Equipment))
            if (t.merged)
                exec(*where, QStringLiteral("update %1 set s_GUID = %2")
                                 .arg(t.name, lite ? "lower(hex(randomblob(16)))"
                                                   : "gen_random_uuid()::text"));
        exec(*where, "update tolvane_schema set version = 4");
    }
    db::upgradeExisting(DbId::Equipment, inUse);
    report = merge();
    EXPECT_EQ(report.inserted, 0);
    EXPECT_EQ(report.conflicts, 1);  // the model described anew, and none of its pins
    EXPECT_EQ(db::tablesWithConflicts(DbId::Equipment, inUse), QStringList{"tblEquipment"});
    EXPECT_EQ(counts(inUse), before);

    if (GetParam() == db::Engine::SQLite) {
        inUse.closeAll();
        QFile::remove(deliveredFile);
        ASSERT_TRUE(QFile::copy(inUse.boundTo(DbId::Equipment).path, deliveredFile));
        report = merge();
        EXPECT_EQ(report.inserted, 0);
        EXPECT_EQ(report.conflicts, 0);
        EXPECT_EQ(counts(inUse), before);
    }
}

// A child row follows its parent: added and re-keyed with a new parent, set aside with a parent
// that loses to another row of its name; a second merge changes nothing.
TEST_P(MergeTest, ChildRowsFollowTheirParent) {
    shareALibrary();
    exec(inUse, "insert into tblInputs (EquipmentID, Name, s_GUID) values (2, 'IN 1', 'l1')");
    for (db::Connections* where : {&inUse, &delivered})
        exec(*where,
             "insert into tblCableTypes (CableTypeID, ManufacturerID, CableType, s_GUID) values "
             "(1, 'ACME', 'PAIRS', 't1')");
    exec(inUse,
         "insert into tblCableTypes (CableTypeID, ManufacturerID, CableType, s_GUID) values "
         "(2, 'ACME', 'CAT6', 't2')");
    exec(inUse,
         "insert into tblCablePairs (CableTypeID, PairNumber, s_GUID) values (2, 1, 'p1'), "
         "(2, 2, 'p2')");
    // Delivered: NEWBOX under the key LOCAL holds, with two inputs; a LOCAL and a CAT6 of their
    // own (other identities, the names in use), with an input, an output and four cores; a
    // new core of the cable type both have.
    exec(delivered,
         "insert into tblEquipment (EquipmentID, EquipmentName, ManufacturerID, s_GUID) values "
         "(2, 'NEWBOX', 'ACME', 'e3'), (5, 'LOCAL', 'ACME', 'e5')");
    exec(delivered,
         "insert into tblInputs (EquipmentID, Name, s_GUID) values (2, 'IN 1', 'n1'), "
         "(2, 'IN 2', 'n2'), (5, 'THEIRS', 'x1')");
    exec(delivered, "insert into tblOutputs (EquipmentID, Name, s_GUID) values (5, 'OUT', 'x2')");
    exec(delivered,
         "insert into tblCableTypes (CableTypeID, ManufacturerID, CableType, s_GUID) values "
         "(2, 'ACME', 'CAT6', 't9')");
    exec(delivered,
         "insert into tblCablePairs (CableTypeID, PairNumber, s_GUID) values (2, 1, 'q1'), "
         "(2, 2, 'q2'), (2, 3, 'q3'), (2, 4, 'q4'), (1, 1, 'q5')");

    const auto state = [&] {
        std::string s = counts(inUse);
        for (const char* t :
             {"tblEquipment", "tblInputs", "tblOutputs", "tblCableTypes", "tblCablePairs"})
            s += ", " + rows(inUse, QStringLiteral("select count(*) from %1_Conflict").arg(t))
                            .join("")
                            .toStdString();
        return s;
    };
    const db::MergeReport report = merge();
    EXPECT_EQ(report.inserted, 4);  // NEWBOX, its two inputs, the core of PAIRS
    EXPECT_EQ(report.rekeyed, 2);   // NEWBOX, and IN 1 under the number of the input in use
    EXPECT_EQ(report.conflicts, 8);
    EXPECT_EQ(rows(inUse,
                   "select e.EquipmentName, i.Name from tblInputs i join tblEquipment e "
                   "on e.EquipmentID = i.EquipmentID order by 1, 2"),
              QStringList({"LOCAL|IN 1", "NEWBOX|IN 1", "NEWBOX|IN 2"}));
    EXPECT_EQ(rows(inUse, "select count(*) from tblOutputs"), QStringList{"0"});
    EXPECT_EQ(rows(inUse,
                   "select c.CableType, p.PairNumber from tblCablePairs p join tblCableTypes c "
                   "on c.CableTypeID = p.CableTypeID order by 1, 2"),
              QStringList({"CAT6|1", "CAT6|2", "PAIRS|1"}));
    // Set aside with their parents, which lost to the rows of their names.
    EXPECT_EQ(rows(inUse, "select EquipmentName, ConflictRowGuid from tblEquipment_Conflict"),
              QStringList{"LOCAL|e2"});
    EXPECT_EQ(rows(inUse, "select Name, ConflictReason from tblInputs_Conflict"),
              QStringList{"THEIRS|1"});
    EXPECT_EQ(rows(inUse, "select Name, ConflictReason from tblOutputs_Conflict"),
              QStringList{"OUT|1"});
    EXPECT_EQ(rows(inUse, "select count(*) from tblCablePairs_Conflict"), QStringList{"4"});

    const std::string after = state();
    const db::MergeReport again = merge();
    EXPECT_EQ(again.inserted, 0);
    EXPECT_EQ(again.conflicts, 0);
    EXPECT_EQ(state(), after);
}

INSTANTIATE_TEST_SUITE_P(Engines, MergeTest, test::bothEngines(), test::engineName);

}  // namespace

namespace {

// A library of this many models with ten pins each, built by one statement per table.
void bigLibrary(db::Connections& c, int models, const char* guidPrefix) {
    QSqlQuery q(c.database(DbId::Equipment));
    const QString prefix = QString::fromLatin1(guidPrefix);
    for (const QString& sql :
         {QStringLiteral("insert into tblManufacturers (ManufacturerID, s_GUID) values ('ACME', "
                         "'m')"),
          QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i "
                         "< %1) insert into tblEquipment (EquipmentID, EquipmentName, "
                         "ManufacturerID, s_GUID) select i, 'M' || i, 'ACME', '%2' || i from n")
              .arg(models)
              .arg(prefix),
          QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i "
                         "< %1) insert into tblInputs (EquipmentID, Name, s_GUID) select "
                         "(i + 9) / 10, 'IN ' || (i % 10), '%2p' || i from n")
              .arg(models * 10)
              .arg(prefix)})
        ASSERT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
}

}  // namespace

// The merge run by a child process that the test kills (TOLVANE_MERGE_INTO names the database
// in use, TOLVANE_MERGE_FROM the delivered file).
TEST(MergeKilled, Child) {
    const QString into = qEnvironmentVariable("TOLVANE_MERGE_INTO");
    if (into.isEmpty()) GTEST_SKIP() << "run by MergeKilled.LeavesTheOldOrTheMergedDatabase";
    db::Connections c;
    c.bind(DbId::Equipment, db::ConnectionSpec::sqlite(into));
    db::mergeDatabase(DbId::Equipment, qEnvironmentVariable("TOLVANE_MERGE_FROM"), c);
}

// Killed at any moment of a merge, the database in use is whole: the old one or the merged one.
TEST(MergeKilled, LeavesTheOldOrTheMergedDatabase) {
    QTemporaryDir dir;
    const QString into = dir.filePath("dbEquip.db"), from = dir.filePath("delivered.db");
    for (const QString& file : {into, from}) {
        db::Connections c;
        db::createSqliteFile(DbId::Equipment, file);
        c.bind(DbId::Equipment, db::ConnectionSpec::sqlite(file));
        db::ensureSchema(DbId::Equipment, c);
        bigLibrary(c, 20000, file == into ? "old" : "new");
    }
    for (const int after : {150, 600}) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TOLVANE_MERGE_INTO", into);
        env.insert("TOLVANE_MERGE_FROM", from);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=MergeKilled.Child"});
        ASSERT_TRUE(child.waitForStarted());
        child.waitForFinished(after);
        child.kill();
        child.waitForFinished();
        db::Connections c;
        c.bind(DbId::Equipment, db::ConnectionSpec::sqlite(into));
        QSqlQuery q(c.database(DbId::Equipment));
        ASSERT_TRUE(q.exec("pragma integrity_check") && q.next());
        EXPECT_EQ(q.value(0).toString(), "ok");
        ASSERT_TRUE(q.exec("select count(*) from tblEquipment") && q.next());
        const int models = q.value(0).toInt();
        EXPECT_TRUE(models == 20000 || models == 40000) << models;
        ASSERT_TRUE(q.exec("select count(*) from tblInputs") && q.next());
        EXPECT_EQ(q.value(0).toInt(), models * 10);
    }
}

// The project manager's starter rows are the same rows in every installation; a project that
// loses to another of its name takes its revisions aside with it.
TEST(MergeProjectManager, StarterRowsAreSharedAndRevisionsFollowTheirProject) {
    QTemporaryDir dir;
    const QString inUseFile = dir.filePath("dbPM.db"), deliveredFile = dir.filePath("other.db");
    db::Connections inUse, delivered;
    for (const auto& [file, c] : {std::pair{inUseFile, &inUse}, {deliveredFile, &delivered}}) {
        db::createSqliteFile(DbId::PM, file);
        c->bind(DbId::PM, db::ConnectionSpec::sqlite(file));
        db::ensureSchema(DbId::PM, *c);
        db::seedProjectManager(file + " projects", *c);
    }
    const auto column = [&](const char* sql) { return rows(inUse, sql, DbId::PM); };
    exec(inUse, "insert into tblProjects (ProjectsID, ProjectName, s_GUID) values (10, 'A', 'u1')",
         DbId::PM);
    exec(inUse, "insert into tblRevCounter (ProjectsID, Revision, s_GUID) values (10, 1, 'u2')",
         DbId::PM);
    exec(delivered,
         "insert into tblProjects (ProjectsID, ProjectName, s_GUID) values (10, 'A', 'd1'), "
         "(11, 'B', 'd2')",
         DbId::PM);
    exec(delivered,
         "insert into tblRevCounter (ProjectsID, Revision, s_GUID) values (10, 1, 'r1'), "
         "(10, 2, 'r2'), (11, 1, 'r3')",
         DbId::PM);
    delivered.closeAll();

    const db::MergeReport report = db::mergeDatabase(DbId::PM, deliveredFile, inUse);
    EXPECT_EQ(report.inserted, 2);  // B and its revision
    // The other installation's default project (its folder differs), A, A's two revisions.
    EXPECT_EQ(report.conflicts, 4);
    EXPECT_EQ(column("select UserName from tblUsers"), QStringList{"Admin"});
    EXPECT_EQ(column("select count(*) from tblpermissions"), QStringList{"3"});
    EXPECT_EQ(column("select p.ProjectName || ' ' || r.Revision from tblRevCounter r join "
                     "tblProjects p on p.ProjectsID = r.ProjectsID order by 1"),
              QStringList({"A 1", "B 1"}));
    EXPECT_EQ(db::tablesWithConflicts(DbId::PM, inUse),
              QStringList({"tblProjects", "tblRevCounter"}));
    EXPECT_EQ(column("select count(*) from tblRevCounter_Conflict"), QStringList{"2"});
}

// A merge works on a copy in a folder of its own, named with its process; the folders of
// processes that are gone (killed merges) are removed at the next start, never one of a
// process that still runs.
TEST(MergeWorkFolders, OnlyThoseOfEndedProcessesAreRemoved) {
    QTemporaryDir tmp;
    const QString prefix = QStringLiteral("tolvane-merge");
    const auto pidOf = [](QProcess& p, const QStringList& args) {
        p.start(QStringLiteral("sh"), args);
        EXPECT_TRUE(p.waitForStarted());
        return p.processId();
    };
    QProcess ended, running;
    const qint64 gone = pidOf(ended, {"-c", "exit 0"});
    ASSERT_TRUE(ended.waitForFinished());
    const qint64 alive = pidOf(running, {"-c", "sleep 60"});
    QDir base(tmp.path());
    const QStringList left = {QStringLiteral("%1-%2-aaaaaa").arg(prefix).arg(gone)};
    const QStringList kept = {QStringLiteral("%1-%2-bbbbbb").arg(prefix).arg(alive),
                              QStringLiteral("%1-notanumber-cccccc").arg(prefix),
                              QStringLiteral("other-%1-dddddd").arg(gone)};
    for (const QString& name : left + kept) {
        ASSERT_TRUE(base.mkpath(name + "/inner"));
        QFile f(base.filePath(name + "/replica.db"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QTemporaryDir own(appfolder::workFolderTemplate(prefix, tmp.path()));
    ASSERT_TRUE(own.isValid());
    EXPECT_TRUE(QFileInfo(own.path())
                    .fileName()
                    .startsWith(QStringLiteral("%1-%2-").arg(prefix).arg(
                        QCoreApplication::applicationPid())));

    EXPECT_EQ(appfolder::removeStaleWorkFolders(prefix, tmp.path()), 1);
    for (const QString& name : left) EXPECT_FALSE(base.exists(name)) << name.toStdString();
    for (const QString& name : kept) EXPECT_TRUE(base.exists(name)) << name.toStdString();
    EXPECT_TRUE(QFileInfo::exists(own.path()));
    running.kill();
    running.waitForFinished();
}
