// The library services on an empty equipment database made from the schema: manufacturers,
// models, their inputs and outputs, signal types and cable types, each answered by a scripted
// user, on SQLite and (with TOLVANE_TEST_PG) PostgreSQL.
#include <gtest/gtest.h>

#include "db/schema.h"
#include "db_fixture.h"
#include "equipment/cable_catalogue.h"
#include "equipment/equipment_models.h"
#include "equipment/manufacturers.h"
#include "equipment/pins.h"
#include "script_fixture.h"

using namespace tolvane;
using namespace tolvane::equipment;
using test::ScriptedUser;

namespace {

class EquipmentLibraryTest : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        dbs.makeEmpty(db::DbId::Equipment, registry);
        db::ensureSchema(db::DbId::Equipment, registry);
    }

    LibraryAccess access(ScriptedUser& user, PermissionCheck check = {}) {
        return LibraryAccess(*user.ui, registry, std::move(check));
    }
    qint64 count(const QString& sql, const QVariantList& values = {}) {
        db::Query q(db::DbId::Equipment, sql, registry);
        for (const QVariant& v : values) q.bind(v);
        return q.scalar().toLongLong();
    }
    void addManufacturer(const QString& id, const QString& name) {
        ASSERT_TRUE(Manufacturers(access(quiet)).add({id, name}, true));
    }
    qint64 addModel(const QString& manufacturer, const QString& name) {
        return EquipmentModels(access(quiet)).add(manufacturer, name, "desc", "type").value_or(0);
    }
    QStringList names(const QList<db::PinRecord>& pins) {
        QStringList n;
        for (const db::PinRecord& p : pins) n << p.name;
        return n;
    }

    db::Connections registry;  // outlives dbs, which closes it
    test::TestDatabases dbs{GetParam()};
    ScriptedUser quiet{""};  // for the rows a test starts from: asked nothing
};

// Upper case and cut to eight, with a beep and a sharper hint past eight.
TEST(ManufacturerIdEntry, IsUpperCaseAndCutToEight) {
    const ManufacturerIdEntry ten = manufacturerIdEntry("abcdefghij"),
                              eight = manufacturerIdEntry("axiomsig");
    EXPECT_EQ(ten.id + " " + eight.id, "ABCDEFGH AXIOMSIG");
    EXPECT_TRUE(ten.beep);
    EXPECT_FALSE(eight.beep);
    EXPECT_NE(ten.hint, eight.hint);
}

TEST(NameCase, EachFormatOfThePreference) {
    EXPECT_EQ(applyNameCase("video router 2x1", db::NameCase::AllCaps), "VIDEO ROUTER 2X1");
    EXPECT_EQ(applyNameCase("Video ROUTER", db::NameCase::LowerCase), "video router");
    EXPECT_EQ(applyNameCase("video  rOUTER x", db::NameCase::TitleCase), "Video  ROUTER X");
    EXPECT_EQ(applyNameCase("viDeo", db::NameCase::NoFormat), "viDeo");
}

TEST(PinNames, PaddingFollowsTheCountFieldsLength) {
    QStringList twelve, hundred;
    for (int i = 1; i <= 12; ++i) twelve << QStringLiteral("IN%1").arg(i, 2, 10, QChar('0'));
    for (int i = 1; i <= 100; ++i) hundred << QStringLiteral("CH%1").arg(i, 3, 10, QChar('0'));
    EXPECT_EQ(pinNames("CH", "9", "1")->last(), "CH09");  // a one-digit count still pads to two
    EXPECT_EQ(pinNames("CH", "100", "1"), hundred);
    EXPECT_EQ(pinNames("IN", "12", ""), twelve);
    EXPECT_EQ(pinNames("OUT", "2", "99"), (QStringList{"OUT99", "OUT100"}));
    EXPECT_EQ(pinNames("SDI IN", "", "5"), QStringList{"SDI IN"});
    EXPECT_FALSE(pinNames("CH", "x", "1"));
    EXPECT_FALSE(pinNames("CH", "0", "1"));
    EXPECT_FALSE(pinNames("CH", "4", "-1"));
}

TEST_P(EquipmentLibraryTest, ManufacturersAddFindAndList) {
    {
        ScriptedUser user("");
        Manufacturers m(access(user));
        ASSERT_TRUE(m.add({"halvernaud", "Halvern Audio", true, false, false, false, true}));
        const auto stored = m.find("HALVERNA");
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->name, "Halvern Audio");
        EXPECT_TRUE(stored->equipment && !stored->jackFields && stored->cableTypes);
        ASSERT_TRUE(m.add({"axiom", "Axiom_Signal"}, true));
        ASSERT_TRUE(m.add({"AXN", "Axnet"}));
        ASSERT_TRUE(m.add({"ZAX", "Zaxiom"}, true));
        EXPECT_FALSE(m.add({"   ", "No ID"}));
        EXPECT_EQ(user.lines(), QStringList{"BEEP"});
    }
    {
        // Its message: the scenario equipment_library.
        ScriptedUser user("button OK");
        EXPECT_FALSE(Manufacturers(access(user)).add({"Axiom", "Again"}));
    }
    ScriptedUser user("");
    Manufacturers m(access(user));
    auto ids = [](const QList<db::ManufacturerRecord>& list) {
        QStringList out;
        for (const db::ManufacturerRecord& x : list) out << x.id;
        return out;
    };
    // Begins with, letter case aside; the display flag picks the tab; % and _ are literal.
    EXPECT_EQ(ids(m.list("ax")), (QStringList{"AXIOM", "AXN"}));
    EXPECT_EQ(ids(m.list("ax", ShownIn::Equipment)), QStringList{"AXIOM"});
    EXPECT_EQ(ids(m.list("", ShownIn::CableTypes)), (QStringList{"AXIOM", "HALVERNA", "ZAX"}));
    EXPECT_EQ(ids(m.list("axiom_")), QStringList{"AXIOM"});
    EXPECT_TRUE(m.list("a%").isEmpty());
    EXPECT_TRUE(m.list("Axi_m").isEmpty());
}

TEST_P(EquipmentLibraryTest, DeletingAManufacturerAsksAndKeepsOneThatHasModels) {
    addManufacturer("PARLEY", "Parley Intercom");
    addManufacturer("GENERIC", "Generic");
    addModel("GENERIC", "Box");
    addManufacturer("ORVANT", "Orvant");
    db::Query(db::DbId::Equipment, "insert into tblRTR (ManufacturerID, RTRName) values (?, ?)",
              registry)
        .bind("ORVANT")
        .bind("R-16")
        .exec();
    ScriptedUser user("button No\nbutton Yes\nbutton OK\nbutton OK");
    Manufacturers m(access(user));
    EXPECT_FALSE(m.remove("PARLEY"));
    EXPECT_TRUE(m.find("PARLEY"));
    EXPECT_TRUE(m.remove("PARLEY"));
    EXPECT_FALSE(m.find("PARLEY"));
    EXPECT_FALSE(m.remove("GENERIC"));
    EXPECT_TRUE(m.find("GENERIC"));
    EXPECT_FALSE(m.remove("ORVANT"));  // a router names it
    EXPECT_TRUE(m.find("ORVANT"));
    ASSERT_EQ(user.lines().size(), 8);
    EXPECT_TRUE(user.lines()[4].startsWith("MESSAGE [OK] Tolvane | The Manufacturer: Generic"));
}

TEST_P(EquipmentLibraryTest, ModelNamesAreUniquePerManufacturerOnly) {
    addManufacturer("AXIOM", "Axiom");
    addManufacturer("NORDVID", "Nordvid");
    const qint64 first = addModel("AXIOM", "DA-16");
    ASSERT_GT(first, 0);
    ScriptedUser user("button OK");
    EquipmentModels models(access(user));
    // Letter case aside, as the library compares names.
    EXPECT_FALSE(models.add("AXIOM", "da-16", "", ""));
    EXPECT_TRUE(user.lines().first().contains("already exists"));
    const auto other = models.add("NORDVID", "DA-16", "Nordvid's", "DA");
    ASSERT_TRUE(other);
    EXPECT_NE(*other, first);
    EXPECT_EQ(models.list("AXIOM").size(), 1);
    ASSERT_EQ(models.list("NORDVID", "da").size(), 1);
    EXPECT_EQ(models.list("NORDVID", "da").first().manufacturerName, "Nordvid");
}

TEST_P(EquipmentLibraryTest, DeletingAModelRemovesItsRowsEvenWithoutOutputs) {
    addManufacturer("AXIOM", "Axiom");
    const qint64 model = addModel("AXIOM", "MON-1");
    const qint64 keep = addModel("AXIOM", "MON-2");
    Pins pins(access(quiet));
    ASSERT_TRUE(pins.add(model, {.name = "IN", .type = "VID", .count = "4"}));
    ASSERT_TRUE(pins.add(keep, {.name = "IN", .count = "2", .target = PinTarget::Both}));
    ScriptedUser user("button OK\nbutton No\nbutton Yes");
    EquipmentModels models(access(user));
    EXPECT_FALSE(models.remove(std::nullopt));
    EXPECT_FALSE(models.remove(model));
    EXPECT_TRUE(models.find(model));
    EXPECT_TRUE(models.remove(model));
    EXPECT_TRUE(user.lines()[2].contains("delete Axiom - MON-1"));
    EXPECT_FALSE(models.find(model));
    EXPECT_EQ(count("select count(*) from tblInputs where EquipmentID = ?", {model}), 0);
    EXPECT_EQ(count("select count(*) from tblInputs where EquipmentID = ?", {keep}), 2);
    EXPECT_EQ(count("select count(*) from tblOutputs where EquipmentID = ?", {keep}), 2);
}

// The DA box written and cleared: the placement tests, whose inserts follow it.
TEST_P(EquipmentLibraryTest, PhysicalData) {
    addManufacturer("AXIOM", "Axiom");
    const qint64 model = addModel("AXIOM", "FR-2");
    ScriptedUser user("button OK");
    EquipmentModels models(access(user));
    ASSERT_TRUE(
        models.setPhysicalData(model, {"3.5", "19", "", "12.25", "230", "-1e2", "in", "V"}));
    const PhysicalData bad{"1", "19 ", "8", "2kg", "1", "1", "mm", "V"};
    EXPECT_FALSE(models.setPhysicalData(model, bad));
    EXPECT_EQ(user.lines().size(), 2);
    const auto stored = models.physicalData(model);
    ASSERT_TRUE(stored);
    EXPECT_EQ(
        QStringList({stored->height, stored->depth, stored->weight, stored->p, stored->heightUnit}),
        QStringList({"3.5", "", "12.25", "-100", "in"}));
}

TEST_P(EquipmentLibraryTest, AddingInputsAndOutputs) {
    addManufacturer("AXIOM", "Axiom");
    const qint64 model = addModel("AXIOM", "MX-100");
    ScriptedUser user("button OK");
    Pins pins(access(user));
    ASSERT_TRUE(pins.add(model, {.name = "CH",
                                 .conn = "XLR3F",
                                 .type = "AUD",
                                 .inputPinType = "IN",
                                 .outputPinType = "OUT",
                                 .count = "100",
                                 .start = "1",
                                 .target = PinTarget::Inputs}));
    const QList<db::PinRecord> inputs = pins.list(model, PinList::Inputs);
    ASSERT_EQ(inputs.size(), 100);
    EXPECT_EQ(inputs.last().name, "CH100");
    EXPECT_EQ(inputs.first().name + inputs.first().conn + inputs.first().pinType, "CH001XLR3FIN");
    EXPECT_TRUE(pins.list(model, PinList::Outputs).isEmpty());
    // Both lists, each with its own pin type; a name longer than 32 is cut with a beep.
    const QString longName = QString(40, QChar('N'));
    ASSERT_TRUE(pins.add(model, {.name = longName,
                                 .type = "VID",
                                 .inputPinType = "IN",
                                 .outputPinType = "OUT",
                                 .target = PinTarget::Both}));
    const QList<db::PinRecord> outputs = pins.list(model, PinList::Outputs);
    ASSERT_EQ(outputs.size(), 1);
    EXPECT_EQ(outputs.first().name, longName.left(32));
    EXPECT_EQ(outputs.first().pinType, "OUT");
    EXPECT_EQ(pins.list(model, PinList::Inputs).size(), 101);
    EXPECT_FALSE(pins.add(model, {.name = "X", .count = "ten"}));
    EXPECT_EQ(user.lines(),
              (QStringList{"BEEP", "MESSAGE [OK] Tolvane | " + Pins::badCountMessage(),
                           "ANSWER button OK"}));
}

TEST_P(EquipmentLibraryTest, AFailedBatchWritesNothing) {
    addManufacturer("AXIOM", "Axiom");
    const qint64 model = addModel("AXIOM", "MX-8");
    // The outputs' half of a "both" add fails: the inputs written before it are undone.
    db::Query(db::DbId::Equipment, "drop table tblOutputs", registry).exec();
    Pins pins(access(quiet));
    EXPECT_THROW(pins.add(model, {.name = "CH", .count = "8", .target = PinTarget::Both}),
                 db::DbError);
    EXPECT_EQ(count("select count(*) from tblInputs"), 0);
}

TEST_P(EquipmentLibraryTest, SelectDeleteAndCopyRows) {
    addManufacturer("AXIOM", "Axiom");
    const qint64 model = addModel("AXIOM", "RTR-4");
    Pins setup(access(quiet));
    ASSERT_TRUE(
        setup.add(model, {.name = "A", .type = "AUD", .count = "3", .target = PinTarget::Both}));
    ASSERT_TRUE(setup.add(model, {.name = "V", .conn = "BNC", .type = "VID", .count = "2"}));

    ScriptedUser user("button No\nbutton Yes");
    Pins pins(access(user));
    const PinSelection audio = pins.select(model, "aud");
    EXPECT_EQ(audio.inputs.size(), 3);
    EXPECT_EQ(audio.outputs.size(), 3);
    EXPECT_TRUE(pins.select(model, "NOSUCHTYPE").isEmpty());  // Other with an unknown type
    const PinSelection all = pins.select(model, kAllPins);
    EXPECT_EQ(all.inputs.size() + all.outputs.size(), 8);

    // Video inputs copied to the outputs keep name, type and connector.
    const PinSelection video = pins.select(model, "VID");
    ASSERT_TRUE(pins.copyToOtherList(PinList::Inputs, video.inputs));
    const QList<db::PinRecord> outputs = pins.list(model, PinList::Outputs);
    EXPECT_EQ(names(outputs), (QStringList{"A01", "A02", "A03", "V01", "V02"}));
    EXPECT_EQ(outputs.last().conn + " " + outputs.last().type, "BNC VID");

    EXPECT_FALSE(pins.removeSelected(audio));
    EXPECT_EQ(pins.list(model, PinList::Inputs).size(), 5);
    EXPECT_TRUE(pins.removeSelected(audio));
    EXPECT_EQ(names(pins.list(model, PinList::Inputs)), (QStringList{"V01", "V02"}));
    EXPECT_EQ(names(pins.list(model, PinList::Outputs)), (QStringList{"V01", "V02"}));
}

TEST_P(EquipmentLibraryTest, CopyingADefinitionReplacesTheTargets) {
    addManufacturer("AXIOM", "Axiom");
    addManufacturer("NORDVID", "Nordvid");
    const qint64 source = addModel("AXIOM", "SRC");
    const qint64 target = addModel("NORDVID", "DST");
    Pins setup(access(quiet));
    ASSERT_TRUE(setup.add(source, {.name = "IN", .type = "VID", .count = "2"}));
    ASSERT_TRUE(setup.add(source, {.name = "OUT", .type = "VID", .target = PinTarget::Outputs}));
    ASSERT_TRUE(setup.add(target, {.name = "OLD", .count = "5", .target = PinTarget::Both}));
    ScriptedUser user("button OK\nbutton No\nbutton OK\nbutton Yes");
    Pins pins(access(user));
    ASSERT_TRUE(pins.copyDefinitionFrom(source));
    EXPECT_EQ(pins.copySource()->manufacturerName, "Axiom");
    EXPECT_FALSE(pins.copyDefinitionTo(target));
    EXPECT_EQ(pins.list(target, PinList::Inputs).size(), 5);
    ASSERT_TRUE(pins.copyDefinitionFrom(source));
    ASSERT_TRUE(pins.copyDefinitionTo(target));
    EXPECT_EQ(names(pins.list(target, PinList::Inputs)), (QStringList{"IN01", "IN02"}));
    EXPECT_EQ(names(pins.list(target, PinList::Outputs)), QStringList{"OUT"});
    EXPECT_EQ(pins.list(source, PinList::Inputs).size(), 2);
    EXPECT_FALSE(pins.copySource());  // the question's words: the scenario equipment_library
}

TEST_P(EquipmentLibraryTest, RefusedPermissionsChangeNothingAndAskNothing) {
    addManufacturer("AXIOM", "Axiom");
    const qint64 model = addModel("AXIOM", "KEEP");
    QStringList asked;
    const PermissionCheck refuse = [&asked](const QString& key) {
        asked << key;
        return false;
    };
    ScriptedUser user("");  // any question would end the script
    EXPECT_FALSE(Manufacturers(access(user, refuse)).add({"NEW", "New"}));
    EXPECT_FALSE(EquipmentModels(access(user, refuse)).add("AXIOM", "NEW", "", ""));
    EXPECT_FALSE(EquipmentModels(access(user, refuse)).remove(model));
    EXPECT_FALSE(Pins(access(user, refuse)).add(model, {.name = "IN"}));
    EXPECT_FALSE(CableCatalogue(access(user, refuse)).addCableType({0, "AXIOM", "C1"}));
    EXPECT_EQ(asked,
              (QStringList{"AddToEquipLibrary", "AddToEquipLibrary", "DeleteFromEquipLibrary",
                           "EditEquipLibrary", "AddToEquipLibrary"}));
    EXPECT_TRUE(user.lines().isEmpty());
    EXPECT_EQ(count("select count(*) from tblManufacturers"), 1);
    EXPECT_EQ(count("select count(*) from tblEquipment"), 1);
    EXPECT_EQ(count("select count(*) from tblInputs"), 0);
    EXPECT_EQ(count("select count(*) from tblCableTypes"), 0);
}

TEST_P(EquipmentLibraryTest, SignalTypesWithTheirColours) {
    EXPECT_EQ(db::SignalColor::parse("same as layer")->text(), "Same As Layer");
    EXPECT_EQ(db::SignalColor::parse(" 255 ")->index, 255);
    EXPECT_FALSE(db::SignalColor::parse("0"));
    EXPECT_EQ(db::SignalColor::parse("256")->text(), "Same As Layer");  // as it is stored
    EXPECT_FALSE(db::SignalColor::parse("257"));
    EXPECT_FALSE(db::SignalColor::parse("red"));
    // A type added twice in any case, and No to the delete question: the scenario signal_types.
    ScriptedUser user("button Yes");
    CableCatalogue c(access(user));
    ASSERT_TRUE(c.addSignalType({"AUD", {3}, "A", "Cordavo Cable", "CA-2250"}));
    ASSERT_TRUE(c.addSignalType({"TC", {}, "T"}));
    // The column holds numbers: "Same As Layer" is stored as 256.
    EXPECT_EQ(count("select count(*) from SignalDefault where Color = ?", {256}), 1);
    EXPECT_EQ(count("select count(*) from SignalDefault where Color = ?", {3}), 1);
    db::SignalTypeRecord renamed{"TIMECODE", {200}, "T"};
    renamed.key = c.signalType("TC")->key;
    ASSERT_TRUE(c.updateSignalType(renamed));
    EXPECT_EQ(c.signalType("timecode")->color.index, 200);
    EXPECT_TRUE(c.removeSignalType(*c.signalType("AUD")));
    EXPECT_EQ(c.signalTypes().size(), 1);
}

TEST_P(EquipmentLibraryTest, CableTypesWithTheirCores) {
    addManufacturer("CORDAVO", "Cordavo");
    addManufacturer("FIBRELLE", "Fibrelle");
    ScriptedUser user("button OK\nbutton No\nbutton Yes");
    CableCatalogue c(access(user));
    const auto numbered = c.addCableType({.manufacturerId = "CORDAVO",
                                          .partNumber = "CA-2412N",
                                          .multicore = true,
                                          .cores = 12,
                                          .scheme = db::kNumberedScheme});
    ASSERT_TRUE(numbered);
    const QList<db::CableCoreRecord> cores = c.cores(*numbered);
    ASSERT_EQ(cores.size(), 12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(cores[i].numberText(), QStringLiteral("%1").arg(i + 1, 2, 10, QChar('0')));
        EXPECT_EQ(cores[i].marking, QString::number(i + 1));
    }
    const auto coded = c.addCableType({.manufacturerId = "FIBRELLE",
                                       .partNumber = "FO-04",
                                       .multicore = true,
                                       .cores = 4,
                                       .scheme = db::kColorCodedScheme});
    ASSERT_TRUE(coded);
    QList<db::CableCoreRecord> fibres = c.cores(*coded);
    ASSERT_EQ(fibres.size(), 4);
    for (const db::CableCoreRecord& f : fibres) EXPECT_EQ(f.marking, "");
    ASSERT_TRUE(c.setCoreMarking(fibres[1].id, "Orange"));
    EXPECT_EQ(c.cores(*coded)[1].marking, "Orange");
    // A single-core type has no cores rows.
    const auto single = c.addCableType({.manufacturerId = "CORDAVO", .partNumber = "CV-1505A"});
    ASSERT_TRUE(single);
    EXPECT_TRUE(c.cores(*single).isEmpty());
    // The part number is unique per manufacturer only.
    EXPECT_FALSE(c.addCableType({.manufacturerId = "CORDAVO", .partNumber = "ca-2412n"}));
    EXPECT_TRUE(c.addCableType({.manufacturerId = "FIBRELLE", .partNumber = "CA-2412N"}));

    EXPECT_FALSE(c.removeCableType(*numbered));
    EXPECT_EQ(c.cores(*numbered).size(), 12);
    EXPECT_TRUE(c.removeCableType(*numbered));
    EXPECT_FALSE(c.cableType(*numbered));
    EXPECT_EQ(count("select count(*) from tblCablePairs where CableTypeID = ?", {*numbered}), 0);
    EXPECT_EQ(count("select count(*) from tblCablePairs"), 4);
}

INSTANTIATE_TEST_SUITE_P(Engines, EquipmentLibraryTest, test::bothEngines(), test::engineName);

}  // namespace
