// The comma-separated reader and writer, and the library's export and import: a round trip
// of the starter library through the files, lines refused with their reasons, and files that
// cannot be read changing nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <functional>
#include <tuple>

#include "db/schema.h"
#include "db/starter_library.h"
#include "db_fixture.h"
#include "equipment/csv.h"
#include "equipment/library_exchange.h"
#include "script_fixture.h"

using namespace tolvane;
using namespace tolvane::equipment;
using test::ScriptedUser;

namespace {

// The text with the NUL characters it holds.
template <size_t N>
QByteArray bytes(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

TEST(Csv, QuotedFieldsLineEndsAndLineNumbers) {
    const QString text =
        "a,b,c\r\n"
        "\"x, y\",\"say \"\"hi\"\"\",\r\n"
        "\n"
        "\"two\nlines\",2,3\n"
        "last,,\"\"";
    const QList<CsvRecord> r = parseCsv(text);
    ASSERT_EQ(r.size(), 4);
    EXPECT_EQ(r[0].fields, (QStringList{"a", "b", "c"}));
    EXPECT_EQ(r[1].fields, (QStringList{"x, y", "say \"hi\"", ""}));
    EXPECT_EQ(r[1].line, 2);
    EXPECT_EQ(r[2].fields, (QStringList{"two\nlines", "2", "3"}));
    EXPECT_EQ(r[2].line, 4);
    EXPECT_EQ(r[3].line, 6);  // the record above spans lines 4 and 5
    EXPECT_EQ(r[3].fields, (QStringList{"last", "", ""}));
    for (const CsvRecord& rec : r) EXPECT_TRUE(rec.error.isEmpty()) << rec.line;
}

TEST(Csv, DamagedRecordsAreReportedAndReadingGoesOn) {
    const QList<CsvRecord> r =
        parseCsv(QString("ok,1\nbad\"quote,2\n\"closed\"x,3\nfine,4\n\"open,5"));
    ASSERT_EQ(r.size(), 5);
    EXPECT_TRUE(r[0].error.isEmpty());
    EXPECT_FALSE(r[1].error.isEmpty());
    EXPECT_FALSE(r[2].error.isEmpty());
    EXPECT_EQ(r[3].fields, (QStringList{"fine", "4"}));
    EXPECT_EQ(r[3].line, 4);
    EXPECT_EQ(r[4].error, "a quoted field is not closed");
    EXPECT_EQ(r[4].line, 5);
}

TEST(Csv, WrittenLinesReadBackAsTheyWere) {
    const QStringList fields = {"plain", "", "a,b", "\"q\"", "two\r\nlines", " pad ", "é ü"};
    EXPECT_EQ(csvLine({"plain", "a,b", "\"q\""}), "plain,\"a,b\",\"\"\"q\"\"\"");
    const QList<CsvRecord> r = parseCsv(csvLine(fields) + "\r\n");
    ASSERT_EQ(r.size(), 1);
    EXPECT_EQ(r[0].fields, fields);
}

class LibraryExchangeTest : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        dbs.makeEmpty(db::DbId::Equipment, registry);
        db::ensureSchema(db::DbId::Equipment, registry);
    }

    LibraryAccess access(ScriptedUser& user) { return LibraryAccess(*user.ui, registry); }

    // Every row of the exchanged tables by its natural key, without the numeric keys that
    // an import renumbers. An empty text and no value read alike: the files cannot tell them
    // apart.
    QStringList snapshot() {
        const char* sql[] = {
            "select * from tblManufacturers order by ManufacturerID",
            "select * from tblConnectors order by Connector",
            "select * from SignalDefault order by Type",
            "select m.ManufacturerName, e.* from tblEquipment e join tblManufacturers m on "
            "m.ManufacturerID = e.ManufacturerID order by e.ManufacturerID, e.EquipmentName",
            "select e.ManufacturerID, e.EquipmentName, p.* from tblInputs p join tblEquipment e "
            "on e.EquipmentID = p.EquipmentID order by 1, 2, p.Name, p.DisplayOrder",
            "select e.ManufacturerID, e.EquipmentName, p.* from tblOutputs p join tblEquipment e "
            "on e.EquipmentID = p.EquipmentID order by 1, 2, p.Name, p.DisplayOrder",
            "select * from tblJackFields order by ManufacturerID, JackFieldName",
            "select * from tblCableTypes order by ManufacturerID, CableType",
            "select t.ManufacturerID, t.CableType, p.* from tblCablePairs p join tblCableTypes t "
            "on t.CableTypeID = p.CableTypeID order by 1, 2, p.PairNumber"};
        const QStringList renumbered = {"equipmentid", "inputid", "outputid",    "cabletypeid",
                                        "pairid",      "key",     "jackfieldid", "s_guid"};
        QStringList rows;
        for (const char* s : sql) {
            db::Query q(db::DbId::Equipment, s, registry);
            q.exec();
            while (q.next()) {
                const QSqlRecord rec = q.sql().record();
                QStringList fields;
                for (int i = 0; i < rec.count(); ++i)
                    if (!renumbered.contains(rec.fieldName(i).toLower()))
                        fields << rec.fieldName(i) + "=" + q.value(i).toString();
                rows << fields.join('|');
            }
        }
        return rows;
    }
    void wipe() {
        for (const char* table :
             {"tblInputs", "tblOutputs", "tblCablePairs", "tblCableTypes", "tblEquipment",
              "tblJackFields", "tblConnectors", "SignalDefault", "tblManufacturers"})
            db::Query(db::DbId::Equipment, QStringLiteral("delete from %1").arg(table), registry)
                .exec();
    }
    QVariant scalar(const QString& sql) {
        return db::Query(db::DbId::Equipment, sql, registry).scalar();
    }
    qint64 count(const QString& table) {
        return scalar("select count(*) from " + table).toLongLong();
    }
    void write(const QString& name, const QByteArray& bytes) {
        QFile f(QDir(dir.path()).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    db::Connections registry;  // outlives dbs, which closes it
    test::TestDatabases dbs{GetParam()};
    QTemporaryDir dir;
};

TEST_P(LibraryExchangeTest, TheStarterLibraryRoundTrips) {
    db::seedEquipment(registry);
    const QStringList before = snapshot();
    ASSERT_GT(before.size(), 100);
    ASSERT_GT(count("tblJackFields"), 0);
    {
        // What the user is told of each file's rows, and the progress shown on a library this
        // large: the scenario library_exchange.
        ScriptedUser user("file " + dir.path() + "\nbutton OK");
        ASSERT_TRUE(LibraryExchange(access(user)).exportLibrary());
    }
    wipe();
    ASSERT_EQ(count("tblManufacturers"), 0);
    ScriptedUser user("file " + dir.path() + "\nbutton OK");
    const auto report = LibraryExchange(access(user)).importLibrary();
    ASSERT_TRUE(report);
    EXPECT_TRUE(report->done);
    EXPECT_EQ(report->rejected, QStringList());
    EXPECT_EQ(snapshot(), before);
    // Importing the same files again adds nothing: every line is a duplicate.
    ScriptedUser again("button OK");
    const ImportReport twice = LibraryExchange(access(again)).importFrom(dir.path());
    EXPECT_EQ(twice.added, 0);
    EXPECT_EQ(twice.rejected.size(), report->added);
    EXPECT_EQ(snapshot(), before);
}

TEST_P(LibraryExchangeTest, RefusedLinesAreReportedAndTheOthersImported) {
    write("Manufacturers.CSV",  // file names compare without regard to case
          "ManufacturerID,ManufacturerName,DisplayInEquipment\r\n"
          "axiom,Axiom,1\r\n"
          "AXIOM,Again,1\r\n"
          ",No ID,1\r\n"
          "TOOLONGID,Long,1\r\n"
          "HALVERN,Halvern,maybe\r\n");
    write("equipment.csv",
          "EquipmentName,ManufacturerID,EquipmentH\n"
          "DA-16,AXIOM,1.75\n"
          "DA-8,ACME,1\n"
          "DA-4,AXIOM,one\n"
          "DA-2,AXIOM\n"
          "\"DA\"-1,AXIOM,1\n"
          "\"DA-16\",axiom,2\n");
    write("equipment_io.csv",
          "ManufacturerID,EquipmentName,List,Name,Type\n"
          "AXIOM,DA-16,Input,IN,VID\n"
          "AXIOM,DA-16,Output,OUT01,VID\n"
          "AXIOM,DA-16,Sideways,X,VID\n"
          "AXIOM,DA-4,Input,IN,VID\n");
    write("jackfields.csv",
          "ManufacturerID,JackFieldName,JFRows,JFCols\n"
          "AXIOM,\"PB \"\"48\"\"\",2,24\n"
          "AXIOM,PB-0,0,24\n");
    ScriptedUser user("button OK");
    const ImportReport r = LibraryExchange(access(user)).importFrom(dir.path());
    EXPECT_TRUE(r.done);
    EXPECT_EQ(r.added, 5);
    EXPECT_EQ(
        r.rejected,
        (QStringList{"manufacturers.csv line 3: duplicate manufacturer AXIOM",
                     "manufacturers.csv line 4: empty required field ManufacturerID",
                     "manufacturers.csv line 5: ManufacturerID TOOLONGID is longer than eight "
                     "characters",
                     "manufacturers.csv line 6: bad yes/no value in DisplayInEquipment: \"maybe\"",
                     "equipment.csv line 3: unknown manufacturer ACME",
                     "equipment.csv line 4: bad number in EquipmentH: \"one\"",
                     "equipment.csv line 5: 2 fields where the header has 3",
                     "equipment.csv line 6: text after a closing quote",
                     "equipment.csv line 7: duplicate equipment model DA-16 of AXIOM",
                     "equipment_io.csv line 4: List must be Input or Output, not \"Sideways\"",
                     "equipment_io.csv line 5: unknown equipment model DA-4 of AXIOM",
                     "jackfields.csv line 3: JFRows must be at least 1"}));
    EXPECT_EQ(count("tblManufacturers"), 1);
    EXPECT_EQ(count("tblEquipment"), 1);
    EXPECT_EQ(count("tblInputs"), 1);
    EXPECT_EQ(count("tblOutputs"), 1);
    EXPECT_EQ(scalar("select JackFieldName from tblJackFields").toString(), "PB \"48\"");
    EXPECT_EQ(scalar("select EquipmentH from tblEquipment").toDouble(), 1.75);
}

// A file that is not UTF-8, names an unknown column, is past the size or line limit, or is no
// regular file at all (a link to an endless device, a named pipe without a writer, whose open
// must not wait for one, a link to such a pipe, a folder): each is told by name and nothing is
// imported, the good manufacturers file included.
TEST_P(LibraryExchangeTest, AFileThatCannotBeReadChangesNothing) {
    write("manufacturers.csv", "ManufacturerID,ManufacturerName\nAXIOM,Axiom\n");
    const QDir folder(dir.path());
    const auto text = [&](const QByteArray& bytes) {
        return [&, bytes](const QString& path) {
            write(QFileInfo(path).fileName(), bytes);
            return true;
        };
    };
    const auto fifo = [](const QString& path) {
        return mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    };
    const auto linkTo = [](const QString& target) {
        return [target](const QString& path) { return QFile::link(target, path); };
    };
    QTemporaryDir elsewhere;
    const QString pipe = QDir(elsewhere.path()).filePath("pipe");
    ASSERT_TRUE(fifo(pipe));
    // 200,000 lines are read (blank ones count), one more is refused.
    const QByteArray lines = "Connector\nBNC\n" + QByteArray(200000 - 2, '\n');
    const std::tuple<const char*, std::function<bool(const QString&)>, const char*> cases[] = {
        {"connectors.csv", text("Connector\nBNC\nXLR\xff\xfe\n"),
         "connectors.csv cannot be read: it is not UTF-8 text."},
        {"connectors.csv", text("Connector,Colour\nBNC,red\n"),
         "its header names an unknown column \"Colour\"."},
        {"equipment.csv",  // 64 MB and one byte; sparse, so that the test writes next to nothing
         [](const QString& path) {
             QFile big(path);
             return big.open(QIODevice::WriteOnly) && big.resize(qint64(64) * 1024 * 1024 + 1);
         },
         "equipment.csv cannot be read: it is larger than 64 MB."},
        {"connectors.csv", text(lines + "\n"),
         "connectors.csv cannot be read: it has more than 200,000 lines."},
        {"connectors.csv", linkTo("/dev/zero"),
         "connectors.csv cannot be read: it is a device, not a file."},
        {"Connectors.csv", fifo, "Connectors.csv cannot be read: it is a named pipe, not a file."},
        {"connectors.csv", linkTo(pipe),
         "connectors.csv cannot be read: it is a named pipe, not a file."},
        {"signal_types.csv", [&](const QString& path) { return folder.mkdir(path); },
         "signal_types.csv cannot be read: it is a folder, not a file."}};
    for (const auto& [name, make, told] : cases) {
        SCOPED_TRACE(told);
        const QString path = folder.filePath(name);
        ASSERT_TRUE(make(path));
        ScriptedUser user("button OK");
        EXPECT_FALSE(LibraryExchange(access(user)).importFrom(dir.path()).done);
        EXPECT_TRUE(user.lines().value(0).endsWith(QString(told) + " Nothing was imported."))
            << user.transcript.toStdString();
        EXPECT_EQ(count("tblManufacturers") + count("tblConnectors"), 0);
        ASSERT_TRUE(QFile::remove(path) || folder.rmdir(name));
    }
    ScriptedUser user("button OK\nbutton OK");
    EXPECT_FALSE(LibraryExchange(access(user)).importFrom(dir.filePath("missing")).done);
    EXPECT_TRUE(user.lines().value(0).contains("holds none of the library files"));
    write("connectors.csv", lines);
    EXPECT_TRUE(LibraryExchange(access(user)).importFrom(dir.path()).done);
    EXPECT_EQ(count("tblConnectors"), 1);
}

TEST_P(LibraryExchangeTest, ControlCharactersAndCoreCountsOutOfRangeAreRefusedByLine) {
    write("manufacturers.csv", bytes("ManufacturerID,ManufacturerName\n"
                                     "AXIOM,Axiom\n"
                                     "AX\0M,Nul\n"
                                     "\"AX\tM\",Tab\n"
                                     "HALV,\"Hal\x01vern\"\n"));
    write("connectors.csv", bytes("Connector,connvendor1\n"
                                  "BNC,\"Two\nlines\"\n"
                                  "XLR,\"Nul\0\"\n"
                                  "\"SDI\x7f\",Del\n"));
    write("equipment.csv", "ManufacturerID,EquipmentName\nAXIOM,DA-16\n");
    write("equipment_io.csv",
          "ManufacturerID,EquipmentName,List,Name\n"
          "AXIOM,DA-16,Input,IN\n"
          "AXIOM,DA-16,Output,\"OUT\x1b\"\n");
    write("cable_types.csv",
          "ManufacturerID,CableType,cablecorenumber\n"
          "AXIOM,ONE,1\n"
          "AXIOM,MANY,999\n"
          "AXIOM,NONE,0\n"
          "AXIOM,NEGATIVE,-4\n"
          "AXIOM,TOO MANY,1000\n"
          "AXIOM,UNSAID,\n");
    ScriptedUser user("button OK");
    const ImportReport r = LibraryExchange(access(user)).importFrom(dir.path());
    EXPECT_TRUE(r.done);
    EXPECT_EQ(r.rejected,
              (QStringList{
                  "manufacturers.csv line 3: ManufacturerID holds the control character U+0000",
                  "manufacturers.csv line 4: ManufacturerID holds the control character U+0009",
                  "manufacturers.csv line 5: ManufacturerName holds the control character U+0001",
                  "connectors.csv line 4: connvendor1 holds the control character U+0000",
                  "connectors.csv line 5: Connector holds the control character U+007F",
                  "equipment_io.csv line 3: Name holds the control character U+001B",
                  "cable_types.csv line 4: cablecorenumber must be from 1 to 999",
                  "cable_types.csv line 5: cablecorenumber must be from 1 to 999",
                  "cable_types.csv line 6: cablecorenumber must be from 1 to 999"}));
    EXPECT_EQ(count("tblManufacturers"), 1);
    EXPECT_EQ(count("tblConnectors"), 1);  // a line break in a description is kept
    EXPECT_EQ(count("tblInputs") + count("tblOutputs"), 1);
    EXPECT_EQ(count("tblCableTypes"), 3);
}

TEST_P(LibraryExchangeTest, AUserWhoMayNotAddIsRefusedBeforeTheFolderIsAsked) {
    write("connectors.csv", "Connector\nBNC\n");
    ScriptedUser user("");  // no answer: a folder question would end the script
    QStringList asked;
    LibraryAccess refusing(*user.ui, registry, [&](const QString& key) {
        asked << key;
        return false;
    });
    const auto report = LibraryExchange(refusing).importLibrary();
    ASSERT_TRUE(report);
    EXPECT_FALSE(report->done);
    EXPECT_FALSE(LibraryExchange(refusing).importFrom(dir.path()).done);
    EXPECT_EQ(asked, (QStringList{"AddToEquipLibrary", "AddToEquipLibrary"}));
    EXPECT_EQ(count("tblConnectors"), 0);
    EXPECT_EQ(user.lines(), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Engines, LibraryExchangeTest, test::bothEngines(), test::engineName);

}  // namespace
