// The typed records of the equipment library and the project's identification row on both
// engines: what is written reads back the same (quotes, empty texts, nulls and long texts
// among it), names are found without regard to case where the library compares them so, lists
// come in the order their windows and files show, and writes of many rows take every row.
#include <gtest/gtest.h>

#include "db/records/cable_types.h"
#include "db/records/equipment_models.h"
#include "db/records/library_jackfields.h"
#include "db/records/manufacturers.h"
#include "db/records/pins.h"
#include "db/records/project_identity.h"
#include "db/records/signal_types.h"
#include "db/records/table_copy.h"
#include "db/schema.h"
#include "db_fixture.h"

using namespace tolvane;

namespace {

class LibraryRecords : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        for (db::DbId id : {db::DbId::Equipment, db::DbId::Project}) {
            dbs.makeEmpty(id, r);
            db::ensureSchema(id, r);
        }
    }

    void exec(const QString& sql, db::DbId id = db::DbId::Equipment) {
        db::Query(id, sql, r).exec();
    }

    db::Connections r;
    test::TestDatabases dbs{GetParam()};
};

const QString kQuoted = QStringLiteral("O'Brien \"Pro\" \\ 100%_");
const QString kLong = QString(3000, QChar(u'ä'));

}  // namespace

// Signal types: every field read back; a type is found in any letter case; the lists skip
// nothing but what they say; colours other tools stored read as Same As Layer.
TEST_P(LibraryRecords, SignalTypes) {
    db::SignalTypeTable types(r);
    db::SignalTypeRecord video{"VID", {12}, kQuoted, "Cordavo", kLong};
    video.key = types.insert(video);
    db::SignalTypeRecord audio{"aud", {}, "", "", ""};
    audio.key = types.insert(audio);
    exec("insert into SignalDefault (CableNoPrefix) values ('X')");  // a row without a type

    // Rows without a type are listed too, to be named (where, the engine decides).
    QList<db::SignalTypeRecord> all = types.all();
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(all.removeIf([](const db::SignalTypeRecord& s) { return s.type.isNull(); }), 1);
    EXPECT_EQ(all, (QList<db::SignalTypeRecord>{audio, video}));
    EXPECT_EQ(types.names(), (QStringList{"aud", "VID"}));

    EXPECT_EQ(types.withType("vid"), QList<db::SignalTypeRecord>{video});
    EXPECT_EQ(types.withType("AUD"), QList<db::SignalTypeRecord>{audio});
    EXPECT_TRUE(types.withType("VI").isEmpty());
    EXPECT_TRUE(types.withType("").isEmpty());

    video.type = "VIDEO";
    video.color = {};
    EXPECT_TRUE(types.update(video));
    EXPECT_EQ(types.withType("video"), QList<db::SignalTypeRecord>{video});
    db::SignalTypeRecord missing = video;
    missing.key = video.key + 100;
    EXPECT_FALSE(types.update(missing));
    EXPECT_TRUE(types.remove(audio.key));
    EXPECT_FALSE(types.remove(audio.key));
    EXPECT_EQ(types.names(), QStringList{"VIDEO"});

    for (const QVariant& layer : {QVariant(), QVariant(300), QVariant("Same As Layer")})
        EXPECT_EQ(db::SignalColor::fromStored(layer).index, 0) << layer.toString().toStdString();
    EXPECT_EQ(db::SignalColor::fromStored(QStringLiteral(" 7 ")).index, 7);
}

// Manufacturers: found by ID, listed by a name's beginning (quotes, a backslash and % are
// letters) in the tab that shows them, by name; refused for deletion while any library table
// names them. Wildcards and removal through the library service: test_equipment_library.
TEST_P(LibraryRecords, Manufacturers) {
    db::ManufacturerTable makers(r);
    const db::ManufacturerRecord quoted{"OBRIEN", kQuoted, true, false, true, false, true};
    makers.insert(quoted);
    makers.insert({"HALV", "halvern audio", true});
    makers.insert({"HALV2", "Halvern Audio", false, true});
    makers.insert({"ZED", "100 Percent", true});
    makers.insert({"NONAME", QString()});
    EXPECT_EQ(makers.find("OBRIEN"), quoted);
    EXPECT_EQ(makers.find("obrien"), quoted);  // keys compare without regard to case
    EXPECT_EQ(makers.find("NONE"), std::nullopt);
    EXPECT_TRUE(makers.find("NONAME")->name.isNull());

    const auto ids = [](const QList<db::ManufacturerRecord>& list) {
        QStringList out;
        for (const db::ManufacturerRecord& m : list) out << m.id;
        return out;
    };
    EXPECT_EQ(ids(makers.beginningWith("HALVERN")), (QStringList{"HALV", "HALV2"}));
    EXPECT_EQ(ids(makers.beginningWith("halvern", db::ShownIn::JackFields)), QStringList{"HALV2"});
    EXPECT_EQ(ids(makers.beginningWith("O'Brien \"Pro\" \\ 100%")), QStringList{"OBRIEN"});
    EXPECT_EQ(ids(makers.all()), (QStringList{"HALV", "HALV2", "NONAME", "OBRIEN", "ZED"}));
    const QStringList names = makers.names();
    ASSERT_EQ(names.size(), 4);  // the row without a name is not offered
    EXPECT_EQ(names[0], "100 Percent");
    EXPECT_EQ(makers.idNamed("HALVERN AUDIO"), "HALV");  // the first by ID
    EXPECT_EQ(makers.idNamed("Halvern"), std::nullopt);

    EXPECT_FALSE(makers.hasLibraryRows("HALV"));
    for (const char* table :
         {"tblEquipment", "tblJackFields", "tblRTR", "tblRackUnits", "tblCableTypes"}) {
        exec(QStringLiteral("insert into %1 (ManufacturerID) values ('HALV')").arg(table));
        EXPECT_TRUE(makers.hasLibraryRows("HALV")) << table;
        exec(QStringLiteral("delete from %1").arg(table));
    }
}

// Models with their manufacturer's name and physical data, and their inputs and outputs:
// written in parts however many, read by name, found by name in any case, listed with their
// models for the exchange files.
TEST_P(LibraryRecords, ModelsAndPins) {
    db::ManufacturerTable(r).insert({"HALV", "Halvern Audio"});
    db::ManufacturerTable(r).insert({"ANON", QString()});
    db::EquipmentModelTable models(r);
    db::EquipmentModelRecord dvr{0, "HALV", "Halvern Audio", "DVR-9", kQuoted, "VTR", false};
    dvr.id = models.insert(dvr);
    EXPECT_EQ(models.find(dvr.id), dvr);
    db::EquipmentModelRecord anon{0, "ANON", QString(), "X-1", "", "", false};
    anon.id = models.insert(anon);
    EXPECT_TRUE(models.find(anon.id)->manufacturerName.isNull());
    EXPECT_EQ(models.idOf("halv", "dvr-9"), dvr.id);
    EXPECT_EQ(models.idOf("ANON", "DVR-9"), std::nullopt);
    EXPECT_EQ(models.names("HALV"), QStringList{"DVR-9"});
    EXPECT_EQ(models.ids().size(), 2);
    models.insert({0, "HALV", "", "dvr-10"});
    models.insert({0, "HALV", "", "AMP"});
    QStringList listed;
    for (const db::EquipmentModelRecord& m : models.beginningWith("HALV", "dvr")) listed << m.name;
    EXPECT_EQ(listed, (QStringList{"dvr-10", "DVR-9"}));  // by name, letter case aside
    EXPECT_TRUE(models.setDisplayAsDa(dvr.id, true));
    EXPECT_TRUE(models.find(dvr.id)->displayAsDa);
    EXPECT_FALSE(models.setDisplayAsDa(dvr.id + 100, true));

    const db::PhysicalRecord none;
    EXPECT_EQ(models.physical(dvr.id), none);
    const db::PhysicalRecord data{1.75, 19, std::nullopt, 0.5, -2, 1e6, "RU", ""};
    EXPECT_TRUE(models.setPhysical(dvr.id, data));
    EXPECT_EQ(models.physical(dvr.id), data);
    EXPECT_EQ(models.physical(dvr.id + 100), std::nullopt);
    EXPECT_FALSE(models.setPhysical(dvr.id + 100, data));

    db::PinTable pins(r);
    QList<db::PinRecord> inputs;
    for (int i = 1203; i >= 1; --i)
        inputs << db::PinRecord{
            0,     dvr.id,   QStringLiteral("IN %1").arg(i, 4, 10, QChar('0')), "AUD",
            "XLR", "Normal", i % 2 ? std::optional<qint64>(i) : std::nullopt};
    {
        db::Transaction t(db::DbId::Equipment, r);
        pins.insert(db::PinList::Inputs, inputs);
        t.commit();
    }
    const QList<db::PinRecord> read = pins.ofModel(dvr.id, db::PinList::Inputs);
    ASSERT_EQ(read.size(), 1203);
    EXPECT_EQ(read.first().name, "IN 0001");
    EXPECT_EQ(read.first().displayOrder, 1);
    EXPECT_EQ(read[1].displayOrder, std::nullopt);
    db::PinRecord expected = inputs.last();
    expected.id = read.first().id;
    EXPECT_EQ(read.first(), expected);
    EXPECT_EQ(pins.find(db::PinList::Inputs, read.first().id), expected);
    EXPECT_EQ(pins.find(db::PinList::Outputs, read.first().id), std::nullopt);
    EXPECT_EQ(pins.named(db::PinList::Inputs, dvr.id, "in 0001"), expected);

    pins.insert(db::PinList::Outputs, {db::PinRecord{0, dvr.id, kQuoted, QString(), "BNC"},
                                       db::PinRecord{0, anon.id, "OUT", "VID", "BNC"}});
    const db::PinRecord quoted = *pins.named(db::PinList::Outputs, dvr.id, kQuoted);
    EXPECT_TRUE(quoted.type.isNull());
    EXPECT_TRUE(quoted.pinType.isNull());

    // The exchange order: by manufacturer, model, list (inputs first) and name.
    const QList<db::ModelPin> all = pins.withModels();
    ASSERT_EQ(all.size(), 1205);
    EXPECT_EQ(all.first().manufacturerId, "ANON");
    EXPECT_EQ(all.first().list, db::PinList::Outputs);
    EXPECT_EQ(all[1].pin.name, "IN 0001");
    EXPECT_EQ(all[1].list, db::PinList::Inputs);
    EXPECT_EQ(all.last().pin.name, kQuoted);
    EXPECT_EQ(all.last().modelName, "DVR-9");

    QList<qint64> ids;
    for (const db::PinRecord& p : read) ids << p.id;
    pins.remove(db::PinList::Inputs, ids.mid(0, 1200));
    EXPECT_EQ(pins.ofModel(dvr.id, db::PinList::Inputs).size(), 3);
    pins.removeOfModel(db::PinList::Inputs, dvr.id);
    EXPECT_TRUE(pins.ofModel(dvr.id, db::PinList::Inputs).isEmpty());
    EXPECT_EQ(pins.ofModel(dvr.id, db::PinList::Outputs).size(), 1);
}

// Cable types and their cores: the scheme kept for multicore types only; cores by their
// number as a number ("10" after "9"), shown with two digits; an empty marking is none.
TEST_P(LibraryRecords, CableTypesAndCores) {
    db::ManufacturerTable(r).insert({"CORD", "Cordavo"});
    db::CableTypeTable types(r);
    db::CableTypeRecord multi{0,       "CORD", "CV-12", kQuoted, "300V", "75",
                              "24AWG", "12",   "Foil",  true,    12,     "Color Coded"};
    multi.id = types.insert(multi);
    EXPECT_EQ(types.find(multi.id), multi);
    db::CableTypeRecord single{0, "CORD", "cv-1"};
    single.id = types.insert(single);
    EXPECT_TRUE(types.find(single.id)->scheme.isNull());
    EXPECT_EQ(types.idOf("cord", "CV-12"), multi.id);
    EXPECT_EQ(types.idOf("CORD", "CV"), std::nullopt);
    QStringList parts;
    for (const db::CableTypeRecord& c : types.beginningWith("CORD", "cv")) parts << c.partNumber;
    EXPECT_EQ(parts, (QStringList{"cv-1", "CV-12"}));

    QList<db::CableCoreRecord> cores;
    for (int i = 12; i >= 1; --i)
        cores << db::CableCoreRecord{0, multi.id, QString::number(i), i == 3 ? "" : "RD"};
    types.insertCores(cores);
    const QList<db::CableCoreRecord> read = types.cores(multi.id);
    ASSERT_EQ(read.size(), 12);
    EXPECT_EQ(read[8].number, "9");
    EXPECT_EQ(read[9].numberText(), "10");
    EXPECT_TRUE(read[2].marking.isNull());
    EXPECT_TRUE(types.hasCore(multi.id, "03"));
    EXPECT_FALSE(types.hasCore(single.id, "3"));
    EXPECT_TRUE(types.setCoreMarking(read[2].id, "Blue"));
    EXPECT_EQ(types.cores(multi.id)[2].marking, "Blue");
    EXPECT_TRUE(types.setCoreMarking(read[2].id, ""));
    EXPECT_TRUE(types.cores(multi.id)[2].marking.isNull());
    EXPECT_FALSE(types.setCoreMarking(read.last().id + 100, "x"));

    const QList<db::TypedCore> typed = types.typedCores();
    ASSERT_EQ(typed.size(), 12);
    EXPECT_EQ(typed.first().partNumber, "CV-12");
    EXPECT_EQ(typed.first().core, read.first());
}

// Jackfield models: written, resized, described and removed; their physical data is their
// own, not their equipment namesake's.
TEST_P(LibraryRecords, LibraryJackfields) {
    db::ManufacturerTable(r).insert({"PATCH", "Patch & Co"});
    db::LibraryJackfieldTable models(r);
    db::LibraryJackfieldRecord bay{0, "PATCH", "Patch & Co", "PB-48", kLong, 2, 24, "BNC", ""};
    bay.id = models.insert(bay);
    EXPECT_EQ(models.find(bay.id), bay);
    EXPECT_EQ(models.idOf("patch", "pb-48"), bay.id);
    EXPECT_EQ(models.beginningWith("PATCH", "pb").size(), 1);
    EXPECT_TRUE(models.beginningWith("PATCH", "b").isEmpty());

    bay.rows = 4;
    bay.columns = 48;
    bay.rearConn = "TT";
    EXPECT_TRUE(models.setSize(bay.id, bay));
    EXPECT_TRUE(models.setDescription(bay.id, kQuoted));
    bay.description = kQuoted;
    EXPECT_EQ(models.find(bay.id), bay);

    const qint64 equipment = db::EquipmentModelTable(r).insert({0, "PATCH", "", "PB-48"});
    const db::PhysicalRecord data{1, 19, 2, 3, std::nullopt, std::nullopt, "RU", "W"};
    EXPECT_TRUE(models.setPhysical(bay.id, data));
    EXPECT_EQ(models.physical(bay.id), data);
    EXPECT_EQ(db::EquipmentModelTable(r).physical(equipment), db::PhysicalRecord{});

    EXPECT_TRUE(models.remove(bay.id));
    EXPECT_FALSE(models.remove(bay.id));
    EXPECT_EQ(models.find(bay.id), std::nullopt);
}

// The project's revision counters: those of the first identification row; none without one.
TEST_P(LibraryRecords, ProjectRevisions) {
    db::ProjectIdentityTable identity(r);
    EXPECT_EQ(identity.revisions(), std::nullopt);
    exec("insert into tblPID (ProjectTitle) values ('no counters')", db::DbId::Project);
    EXPECT_EQ(identity.revisions(), (db::ProjectRevisions{}));
    exec("delete from tblPID", db::DbId::Project);
    exec("insert into tblPID (CurrentRevision, ProjectRevision) values (3, 7)", db::DbId::Project);
    exec("insert into tblPID (CurrentRevision, ProjectRevision) values (9, 9)", db::DbId::Project);
    EXPECT_EQ(identity.revisions(), (db::ProjectRevisions{3, 7}));
}

// A table copied column by column: values, nulls among them, come back as written, in the
// order asked for; many rows through the one prepared statement.
TEST_P(LibraryRecords, TableCopy) {
    db::TableCopy copy(db::DbId::Equipment, r);
    const QStringList columns = {"Connector", "connvendor1", "conncost1"};
    copy.insert("tblConnectors", columns, {"XLR", kQuoted, 2.5});
    copy.insert(
        "tblConnectors", columns,
        {"BNC", QVariant(QMetaType(QMetaType::QString)), QVariant(QMetaType(QMetaType::Double))});
    for (int i = 0; i < 50; ++i)
        copy.insert("tblConnectors", columns,
                    {QStringLiteral("C%1").arg(i, 2, 10, QChar('0')), "", 1});
    const QList<QVariantList> rows = copy.rows("tblConnectors", columns, {"Connector"});
    ASSERT_EQ(rows.size(), 52);
    EXPECT_EQ(rows[0][0], "BNC");
    EXPECT_TRUE(rows[0][1].isNull());
    EXPECT_TRUE(rows[0][2].isNull());
    EXPECT_EQ(rows.last()[1].toString(), kQuoted);
    EXPECT_EQ(rows.last()[2].toDouble(), 2.5);
    EXPECT_TRUE(db::ConnectorTable(r).exists("xlr"));
    EXPECT_FALSE(db::ConnectorTable(r).exists("XL"));
    EXPECT_EQ(db::ConnectorTable(r).names().size(), 52);
}

INSTANTIATE_TEST_SUITE_P(Engines, LibraryRecords, test::bothEngines(), test::engineName);
