// The typed records of the project's cables and cores on both engines: what is written reads
// back the same, the statements that pick rows by number, end and state pick the right ones,
// and rows are read by their columns' names whatever order a table was made in. Cable
// numbers: their parts, their display and what counts as one.
#include <gtest/gtest.h>

#include <cstring>

#include "db/records/cables.h"
#include "db/records/jackfields.h"
#include "db/records/row_reader.h"
#include "db/records/systems.h"
#include "db/schema.h"
#include "db_fixture.h"

using namespace tolvane;
using db::CableNumber;

TEST(CableNumber, PartsDisplayAndValue) {
    const CableNumber plain("VID", "12");
    EXPECT_EQ(plain.displayed(), "VID-12");
    EXPECT_EQ(plain.number(), "12");
    EXPECT_EQ(plain.coreSuffix(), "");
    EXPECT_FALSE(plain.isCore());
    EXPECT_EQ(plain.value(), 12);

    // A core: the cable's number, "-" and the marking (which may itself hold a "-").
    const CableNumber core = CableNumber::ofCore("VID", "12", "03");
    EXPECT_EQ(core.stored(), "12-03");
    EXPECT_EQ(core.displayed(), "VID-12-03");
    EXPECT_EQ(core.number(), "12");
    EXPECT_EQ(core.coreSuffix(), "03");
    EXPECT_TRUE(core.isCore());
    EXPECT_EQ(core.value(), 12);
    EXPECT_EQ(CableNumber("", "7-RD-2").coreSuffix(), "RD-2");

    // Without a prefix the number shows alone; a null and an empty prefix show alike.
    EXPECT_EQ(CableNumber("", "7").displayed(), "7");
    EXPECT_EQ(CableNumber(QString(), "7").displayed(), "7");
    EXPECT_EQ(CableNumber("A", "").displayed(), "A-");
    EXPECT_TRUE(CableNumber("A", "").isEmpty());

    // Odd stored texts keep what they hold and count by their leading digits only (not 19 of
    // them, nor digits of another script).
    for (const char* none : {"Deleted", "-5", "1234567890123456789", "١٢"})
        EXPECT_EQ(CableNumber("A", QString::fromUtf8(none)).value(), std::nullopt) << none;
    EXPECT_EQ(CableNumber("A", "-5").number(), "");
    EXPECT_EQ(CableNumber("A", " 42 ").value(), 42);
    EXPECT_EQ(CableNumber("A", "0099").value(), 99);
    EXPECT_EQ(CableNumber("A", " 12 ").stored(), " 12 ");
    EXPECT_NE(CableNumber("A", "1"), CableNumber("B", "1"));
}

TEST(CableNumber, WhatCountsAsANumber) {
    for (const char* good : {"1", " 12 ", "000000000001", "999999999999"})
        EXPECT_TRUE(CableNumber::isWellFormed(QString::fromUtf8(good))) << good;
    for (const char* bad : {"", " ", "12a", "1 2", "-3", "1234567890123", "12-03", "+4", "١٢"})
        EXPECT_FALSE(CableNumber::isWellFormed(QString::fromUtf8(bad))) << bad;
    for (const char* good : {"12", "12-03", "12-RD", "12-a b"})
        EXPECT_TRUE(CableNumber::isStorable(QString::fromUtf8(good))) << good;
    for (const char* bad : {"", "-03", "12-", "A-12", "12-\t"})
        EXPECT_FALSE(CableNumber::isStorable(QString::fromUtf8(bad))) << bad;
}

namespace {

class Records : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        dbs.makeEmpty(db::DbId::Project, r);
        db::ensureSchema(db::DbId::Project, r);
    }

    // A cable with every column set.
    static db::CableRecord full(const QString& prefix, const QString& number) {
        db::CableRecord c;
        c.number = CableNumber(prefix, number);
        c.cableType = "CV-75";
        c.manufacturer = "Cordavo";
        c.signalType = "VID";
        c.source = {"CAM-01", "BNC", "OUT-1", "Studio A", "Cam 1"};
        c.destination = {"VTR-02", "BNC", "IN-1", "MCR", "Rec 2"};
        c.integrator = "Ann";
        c.length = 12.5;
        c.sheet = "a.dxf";
        c.replacedBy = "7";
        c.originated = QDateTime(QDate(2026, 3, 4), QTime(10, 20, 30));
        c.modified = QDateTime(QDate(2026, 3, 5), QTime(11, 0, 0));
        c.currentRevision = 3;
        c.projectRevision = 4;
        c.createdBy = "tester";
        return c;
    }

    void exec(const QString& sql) { db::Query(db::DbId::Project, sql, r).exec(); }

    db::Connections r;
    test::TestDatabases dbs{GetParam()};
};

}  // namespace

// Every column written is read back, null ones as null; a reassigned row takes its new ends
// and state but keeps its number, creation and revisions.
TEST_P(Records, CableRoundTrip) {
    db::CableTable cables(r);
    EXPECT_TRUE(cables.isEmpty());
    db::CableRecord written = full("VID", "12");
    written.id = cables.insert(written);
    EXPECT_FALSE(cables.isEmpty());
    EXPECT_EQ(cables.find(written.id), written);
    EXPECT_EQ(cables.find(written.id + 1), std::nullopt);

    // Nulls stay nulls: no length, no revisions, no texts.
    db::CableRecord sparse;
    sparse.number = CableNumber("", "5");
    sparse.id = cables.insert(sparse);
    const std::optional<db::CableRecord> read = cables.find(sparse.id);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->length, std::nullopt);
    EXPECT_EQ(read->currentRevision, std::nullopt);
    EXPECT_TRUE(read->sheet.isEmpty());
    EXPECT_EQ(read->number, CableNumber("", "5"));

    db::CableRecord moved = full("VID", "12");
    moved.id = written.id;
    moved.source = {"CAM-02", "BNC", "OUT-2", "Studio B", ""};
    moved.length.reset();
    moved.available = true;
    moved.modified = QDateTime(QDate(2026, 4, 1), QTime(9, 0, 0));
    cables.reassign(moved);
    db::CableRecord expected = moved;
    expected.originated = written.originated;  // not a column reassigning writes
    EXPECT_EQ(cables.find(written.id), expected);

    // The check's rows: the same rows in the same order, with the fields it compares.
    const QList<db::CableRecord> all = cables.all();
    const std::vector<db::CableEnds> ends = cables.allEnds();
    ASSERT_EQ(all.size(), 2);
    ASSERT_EQ(qsizetype(ends.size()), all.size());
    for (qsizetype i = 0; i < all.size(); ++i) {
        const db::CableEnds& e = ends[size_t(i)];
        EXPECT_EQ(e.id, all[i].id);
        EXPECT_EQ(e.number, all[i].number);
        EXPECT_EQ(e.sheet, all[i].sheet);
        EXPECT_EQ(e.multiCore, all[i].multiCore);
        EXPECT_EQ(e.available, all[i].available);
        EXPECT_EQ(e.sourceSystem, all[i].source.system);
        EXPECT_EQ(e.sourcePin, all[i].source.pin);
        EXPECT_EQ(e.destinationSystem, all[i].destination.system);
        EXPECT_EQ(e.destinationPin, all[i].destination.pin);
    }
    EXPECT_EQ(ends[0].sourcePin, "OUT-2");
    EXPECT_TRUE(ends[0].available);
}

// Cores are written in one statement, read back by cable in number order, and carry their
// cable's prefix where it was read with them.
TEST_P(Records, CoreRoundTrip) {
    db::CableTable cables(r);
    db::CableRecord parent = full("AUD", "40");
    parent.multiCore = true;
    parent.id = cables.insert(parent);
    QList<db::CoreRecord> cores;
    for (const char* suffix : {"03", "01", "RD"}) {
        db::CoreRecord c;
        c.number = CableNumber::ofCore("AUD", "40", suffix);
        c.parentId = parent.id;
        c.available = true;
        cores << c;
    }
    cores[1].source = {"JB-1", "XLR", "B-1", "Hall", "L"};
    cores[1].destination = {"JB-2", "XLR", "A-1", "Stage", "R"};
    cores[1].integrator = "Bo";
    cores[1].sheet = "b.dxf";
    cores[1].available = false;
    db::CoreTable table(r);
    table.insert(cores);

    const QList<db::CoreRecord> read = table.ofCable(parent.id);
    ASSERT_EQ(read.size(), 3);
    QStringList numbers;
    for (const db::CoreRecord& c : read) numbers << c.number.stored();
    EXPECT_EQ(numbers, (QStringList{"40-01", "40-03", "40-RD"}));
    db::CoreRecord first = cores[1];
    first.id = read[0].id;
    first.number = CableNumber("", "40-01");  // read without its cable
    EXPECT_EQ(read[0], first);
    EXPECT_EQ(table.parentOf(read[2].id), parent.id);
    EXPECT_EQ(table.parentOf(read[2].id + 100), std::nullopt);

    // In use: the first core only, shown under its cable's prefix.
    const QList<db::CoreRecord> used = table.inUse();
    ASSERT_EQ(used.size(), 1);
    EXPECT_EQ(used[0].number.displayed(), "AUD-40-01");
    EXPECT_EQ(table.inUseAt(db::CableSide::Destination, "jb-2", "a-1").size(), 1);
    EXPECT_EQ(table.inUseOn("JB-1").size(), 1);

    // A free core taken: its ends written, in use.
    db::CoreRecord taken = read[2];
    taken.source = {"JB-3", "XLR", "B-2", "", ""};
    taken.sheet = "c.dxf";
    table.assign(taken);
    EXPECT_EQ(table.inUse().size(), 2);
    taken.available = false;
    EXPECT_EQ(table.ofCable(parent.id)[2], taken);

    table.insert({});  // nothing to write is no statement
}

// Rows picked by number, by end and by state; freeing keeps or clears what each way says.
TEST_P(Records, SelectionsAndRelease) {
    db::CableTable cables(r);
    const auto add = [&](const QString& prefix, const QString& number, bool available,
                         bool multiCore = false) {
        db::CableRecord c = full(prefix, number);
        c.available = available;
        c.multiCore = multiCore;
        c.availableCores = multiCore && available;
        return cables.insert(c);
    };
    const qint64 a1 = add("A", "1", false);
    add("A", "2", true);
    add("A", "9", false);
    add("A", "10", false);
    add("A", "10-02", false);
    add("B", "3", true, true);
    const qint64 o = add("O'B\"", "4", false);  // quotes are data like any other

    EXPECT_EQ(cables.highestNumber("A"), 10);
    EXPECT_EQ(cables.highestNumber("O'B\""), 4);
    EXPECT_EQ(cables.highestNumber("none"), std::nullopt);
    EXPECT_EQ(cables.reusableNumbers("A"), QStringList{"2"});
    EXPECT_EQ(cables.reusableNumbers("B"), QStringList{"3"});
    EXPECT_EQ(cables.freeNumbers("A"), QStringList{"2"});
    EXPECT_EQ(cables.multicoreNumbers(), QStringList{"3"});
    ASSERT_EQ(cables.multicoreCables().size(), 1);
    EXPECT_EQ(cables.multicoreCables()[0].number, CableNumber("B", "3"));

    EXPECT_EQ(cables.withNumber({"A", "1"}).size(), 1);
    EXPECT_TRUE(cables.withNumber({"B", "1"}).isEmpty());
    EXPECT_TRUE(cables.heldByAnother(o, {"A", "1"}));
    EXPECT_FALSE(cables.heldByAnother(a1, {"A", "1"}));

    // Every row has the same ends: the first one at an end whatever its state; in use only
    // single-core rows; on a system both ends count.
    const std::optional<db::CableRecord> at =
        cables.firstAt(db::CableSide::Source, "CAM-01", "OUT-1");
    ASSERT_TRUE(at);
    EXPECT_EQ(cables.firstAt(db::CableSide::Destination, "CAM-01", "OUT-1"), std::nullopt);
    EXPECT_EQ(cables.inUseAt(db::CableSide::Source, "CAM-01", "OUT-1").size(), 5);
    EXPECT_EQ(cables.inUseOn("VTR-02").size(), 5);
    EXPECT_TRUE(cables.inUseOn("OUT-1").isEmpty());

    // Released by the check: ends, aliases and sheet read "Deleted". Released with its erased
    // cable: ends only; aliases and sheet stay.
    cables.release(a1);
    const db::CableRecord released = *cables.find(a1);
    EXPECT_TRUE(released.available);
    EXPECT_EQ(released.source,
              (db::CableEnd{"Deleted", "Deleted", "Deleted", "Deleted", "Deleted"}));
    EXPECT_EQ(released.sheet, "Deleted");
    EXPECT_EQ(released.integrator, "Deleted");
    cables.releaseErased({o});
    const db::CableRecord erased = *cables.find(o);
    EXPECT_TRUE(erased.available);
    EXPECT_EQ(erased.destination,
              (db::CableEnd{"Deleted", "Deleted", "Deleted", "Deleted", "Rec 2"}));
    EXPECT_EQ(erased.sheet, "a.dxf");
    EXPECT_EQ(cables.reusableNumbers("A"), (QStringList{"1", "2"}));
    cables.releaseErased({});
}

// Many erased cables are freed in a few statements, every one of them.
TEST_P(Records, ReleasingManyErasedCables) {
    db::CableTable cables(r);
    db::Transaction tx(db::DbId::Project, r);
    QList<qint64> ids;
    for (int i = 1; i <= 1203; ++i) ids << cables.insert(full("M", QString::number(i)));
    cables.releaseErased(ids);
    tx.commit();
    EXPECT_EQ(cables.freeNumbers("M").size(), 1203);
}

// The counts a bill of materials is made from: connectors at each end, cable lengths per
// maker and type; rows without the counted value count towards nothing.
TEST_P(Records, Counts) {
    exec(
        "insert into tblCables (CableNO, SRCConn, DESTConn, CabletypeManu, CableType, Length) "
        "values ('1', 'BNC', 'BNC', 'Cordavo', 'CV-75', 12.5), ('2', 'BNC', 'XLR3F', 'Cordavo', "
        "'CV-75', 7.5), ('3', null, 'XLR3F', 'Cordavo', 'CA-2250', 3), ('4', '', '', 'Belt', "
        "'CV-75', null), ('5', 'BNC', 'BNC', null, '', 4)");
    exec(
        "insert into tblChildCables (CableNo, SRCConn, DESTConn) values ('1-01', 'XLR3M', "
        "null), ('1-02', 'XLR3M', '')");
    const auto render = [](const QList<db::ItemCount>& counts) {
        QStringList out;
        for (const db::ItemCount& c : counts)
            out << c.manufacturer + "/" + c.item + "=" + QString::number(c.quantity);
        return out.join(' ');
    };
    db::CableTable cables(r);
    EXPECT_EQ(render(cables.connectorCounts(db::CableSide::Source)), "/BNC=3");
    EXPECT_EQ(render(cables.connectorCounts(db::CableSide::Destination)), "/BNC=2 /XLR3F=2");
    EXPECT_EQ(render(cables.lengthsByType()), "Cordavo/CA-2250=3 Belt/CV-75=0 Cordavo/CV-75=20");
    db::CoreTable cores(r);
    EXPECT_EQ(render(cores.connectorCounts(db::CableSide::Source)), "/XLR3M=2");
    EXPECT_EQ(render(cores.connectorCounts(db::CableSide::Destination)), "");
}

// A table whose columns were made in another order reads the same records: rows are read by
// the columns' names, never by their places.
TEST_P(Records, ColumnsReadByNameWhateverTheirOrder) {
    exec(GetParam() == db::Engine::PostgreSQL ? "drop table tblCables cascade"
                                              : "drop table tblCables");
    exec(
        "create table tblCables (CreatedBy text, ProjectRevision integer, CurrentRevision "
        "integer, DateModified timestamp, DateOriginated timestamp, ReplacedBY text, Sheet text, "
        "availableCores boolean, Available boolean, MultiCore boolean, Length real, Integrator "
        "text, DSTAlias text, DESTLOc text, DestPin text, DESTConn text, DestSYS text, SRCAlias "
        "text, SRCLoc text, SRCPin text, SRCConn text, SRCSys text, SignalType text, "
        "CabletypeManu text, CableType text, CableNoPrefix text, CableNO text, CableID integer "
        "primary key)");
    db::CableRecord written = full("VID", "12");
    written.id = 41;
    db::Query q(db::DbId::Project,
                "insert into tblCables (CableID, CableNoPrefix, CableNO, CableType, CabletypeManu, "
                "SignalType, SRCSys, SRCConn, SRCPin, SRCLoc, SRCAlias, DestSYS, DESTConn, "
                "DestPin, DESTLOc, DSTAlias, Integrator, Length, MultiCore, Available, "
                "availableCores, Sheet, ReplacedBY, DateOriginated, DateModified, "
                "CurrentRevision, ProjectRevision, CreatedBy) values (?, ?, ?, ?, ?, ?, ?, ?, ?, "
                "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                r);
    const db::CableRecord& w = written;
    q.bind(w.id).bind(w.number.prefix()).bind(w.number.stored()).bind(w.cableType);
    q.bind(w.manufacturer).bind(w.signalType);
    for (const db::CableEnd* e : {&w.source, &w.destination})
        q.bind(e->system).bind(e->connector).bind(e->pin).bind(e->location).bind(e->alias);
    q.bind(w.integrator).bind(*w.length).bind(w.multiCore).bind(w.available);
    q.bind(w.availableCores).bind(w.sheet).bind(w.replacedBy).bind(w.originated);
    q.bind(w.modified).bind(*w.currentRevision).bind(*w.projectRevision).bind(w.createdBy).exec();

    db::CableTable cables(r);
    EXPECT_EQ(cables.find(41), written);
    ASSERT_EQ(cables.withNumber({"VID", "12"}).size(), 1);
    EXPECT_EQ(cables.withNumber({"VID", "12"})[0], written);
    EXPECT_EQ(cables.highestNumber("VID"), 12);
}

// A column name asked for from a buffer that then holds another name reads that other column:
// names are remembered by where they are only while they still say the same.
TEST_P(Records, ColumnNamesFromAReusedBuffer) {
    exec(
        "insert into tblCables (CableID, CableNoPrefix, CableNO, Sheet) values (5, 'A', '9', "
        "'s.dxf')");
    db::Query q(db::DbId::Project, "select CableNO, CableNoPrefix, Sheet from tblCables", r);
    q.exec();
    ASSERT_TRUE(q.next());
    db::RowReader reader(q);
    char name[16];
    std::strcpy(name, "CableNO");
    EXPECT_EQ(reader.text(name), "9");
    std::strcpy(name, "Sheet");
    EXPECT_EQ(reader.text(name), "s.dxf");
    EXPECT_EQ(reader.text("CableNoPrefix"), "A");
    std::strcpy(name, "CableNo");  // another spelling, the same column
    EXPECT_EQ(reader.text(name), "9");
    std::strcpy(name, "Creator");
    EXPECT_THROW(reader.text(name), AppError);
}

// A statement whose result lacks a column a record needs is a fault, not an empty value.
TEST_P(Records, MissingColumnIsAFault) {
    exec("alter table tblCables rename column CreatedBy to Creator");
    exec("insert into tblCables (CableNoPrefix, CableNO) values ('A', '1')");
    db::CableTable cables(r);
    EXPECT_THROW(cables.all(), AppError);
    EXPECT_THROW(cables.withNumber({"A", "1"}), AppError);
}

// Systems: written, rewritten and removed; found by name without regard to case, by number;
// counted per model for the bill of materials.
TEST_P(Records, SystemRoundTrip) {
    db::SystemTable systems(r);
    EXPECT_TRUE(systems.isEmpty());
    db::SystemRecord vtr{0, "VTR", 2, "Rack 1", "U12", "Edit", "Halvern Audio", "DVR-9", 7};
    vtr.id = systems.insert(vtr);
    EXPECT_EQ(systems.find(vtr.id), vtr);
    db::SystemRecord first{0, "vtr", 1, "Rack 2", "U1", "Play", "Halvern Audio", "DVR-9", 7};
    first.id = systems.insert(first);
    const qint64 cam = systems.insert({0, "CAM", 1, "", "", "", "", "", 0});
    exec("insert into tblSystems (Location) values ('Hall')");  // no name, number nor model

    const QList<db::SystemRecord> named = systems.named("Vtr");
    ASSERT_EQ(named.size(), 2);
    EXPECT_EQ(named[0], first);
    EXPECT_EQ(named[1], vtr);
    const QStringList names = systems.names();  // one name in any letter case
    ASSERT_EQ(names.size(), 2);
    EXPECT_EQ(names[0] + names[1].toUpper(), "CAMVTR");
    const db::SystemRecord unnamed = systems.all().last();
    EXPECT_EQ(unnamed, (db::SystemRecord{unnamed.id, QString(), 0, "Hall", "", "", "", "", 0}));

    vtr.location = "Rack 9";
    vtr.equipId = 8;
    systems.update(vtr);
    EXPECT_EQ(systems.find(vtr.id), vtr);
    systems.remove({cam});
    EXPECT_EQ(systems.find(cam), std::nullopt);
    EXPECT_EQ(systems.all().size(), 3);
    systems.remove({unnamed.id, 999});

    QStringList counts;
    for (const db::ItemCount& c : systems.countsByModel())
        counts << c.key.toString() + ":" + c.manufacturer + "/" + c.item + "=" +
                      QString::number(c.quantity);
    EXPECT_EQ(counts, (QStringList{"7:Halvern Audio/DVR-9=1", "8:Halvern Audio/DVR-9=1"}));
}

// Jackfields and their positions: written (positions in parts, however many), found by name
// and number, marked as held and freed, and removed with their positions.
TEST_P(Records, JackfieldRoundTrip) {
    db::JackfieldTable jackfields(r);
    EXPECT_TRUE(jackfields.isEmpty());
    EXPECT_EQ(jackfields.highestNumber("PB"), std::nullopt);
    db::JackfieldRecord pb{0, 4,     "PB",  2,     "Rack 1", "U3", "A",
                           8, "VID", "BNC", "BNC", 26,       48,   QString()};
    pb.id = jackfields.insert(pb);
    EXPECT_EQ(jackfields.find(pb.id), pb);
    db::JackfieldRecord first = pb;
    first.number = 1;
    first.modelId = 5;
    first.id = jackfields.insert(first);
    EXPECT_EQ(jackfields.find("pb", 1), first);  // names compare without regard to case
    EXPECT_EQ(jackfields.find("PB", 3), std::nullopt);
    EXPECT_EQ(jackfields.highestNumber("PB"), 2);
    EXPECT_EQ(jackfields.named("PB"), (QList<db::JackfieldRecord>{first, pb}));
    EXPECT_EQ(jackfields.names(), QStringList{"PB"});
    EXPECT_EQ(jackfields.all().size(), 2);

    // 26 rows of 48: more positions than one statement takes.
    QList<db::JackPosition> positions;
    for (int row = 0; row < 26; ++row)
        for (int column = 1; column <= 48; ++column) {
            db::JackPosition p;
            p.rowNumber = row + 1;
            p.jackfieldId = pb.id;
            p.row = QChar('A' + row);
            p.column = QStringLiteral("%1").arg(column, 2, 10, QLatin1Char('0'));
            positions << p;
        }
    db::JackPositionTable table(r);
    table.insert(positions);
    QList<db::JackPosition> read = table.ofJackfield(pb.id);
    ASSERT_EQ(read.size(), 26 * 48);
    EXPECT_EQ(read.last().row, "Z");
    db::JackPosition expected = positions.first();
    expected.id = read.first().id;
    EXPECT_EQ(read.first(), expected);

    const QList<db::JackPosition> column = table.inColumn(pb.id, "07");
    ASSERT_EQ(column.size(), 26);
    EXPECT_EQ(column[1].row, "B");
    QList<qint64> held;
    for (const db::JackPosition& p : read) held << p.id;
    table.mark(held, true, "rack-1.dxf");
    const QList<db::AssignedPosition> assigned = table.assigned();
    ASSERT_EQ(assigned.size(), 26 * 48);
    EXPECT_EQ(assigned.first().sysName, "PB");
    EXPECT_EQ(assigned.first().number, 2);
    EXPECT_EQ(assigned.first().position.sheet, "rack-1.dxf");
    table.releaseErased(held.mid(0, 600));
    table.mark(held.mid(600, 10), false, QString());
    EXPECT_EQ(table.assigned().size(), 26 * 48 - 610);
    const db::JackPosition freed = table.inColumn(pb.id, "01").first();
    EXPECT_FALSE(freed.assigned);
    EXPECT_TRUE(freed.sheet.isEmpty());

    QStringList counts;
    for (const db::ItemCount& c : jackfields.countsByModel())
        counts << c.key.toString() + "=" + QString::number(c.quantity);
    EXPECT_EQ(counts, (QStringList{"4=1", "5=1"}));

    jackfields.remove(pb.id);
    EXPECT_EQ(jackfields.find(pb.id), std::nullopt);
    EXPECT_TRUE(table.ofJackfield(pb.id).isEmpty());
    EXPECT_EQ(jackfields.all(), QList<db::JackfieldRecord>{first});
}

INSTANTIATE_TEST_SUITE_P(Engines, Records, test::bothEngines(), test::engineName);
