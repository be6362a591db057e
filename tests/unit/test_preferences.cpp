// The preference row, the field rules and the preferences window driven as a batch script
// drives it, on an equipment database made from the schema.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "app/shell/preferences_window.h"
#include "db/preferences.h"
#include "db/schema.h"
#include "db_fixture.h"
#include "front/widget_driver.h"
#include "script_fixture.h"
#include "shell/settings_store.h"

using namespace tolvane;
using test::ScriptedUser;
using W = WidgetDriver;

namespace {

class PreferencesTest : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        dbs.makeEmpty(db::DbId::Equipment, registry);
        db::ensureSchema(db::DbId::Equipment, registry);
        run("insert into tblUsers (UserName, UID) values (?, ?), (?, ?)",
            {"DEFAULT", 1, "O'Brien", 2});
        addRow(1, {{"BlockWidth", 4}, {"sysnamefmt", 1}});
        addRow(2, {{"BlockWidth", 6}, {"BlockPinSpacing", 2}, {"defaultJack", "HN"}});
        for (const auto& [id, name, shown] :
             {std::tuple{"CORD", "Cordavo Cable", true}, std::tuple{"HIDE", "Hidden Wire", false},
              std::tuple{"BELX", "Belex", true}})
            run("insert into tblManufacturers (ManufacturerID, ManufacturerName, "
                "DisplayInCableTypes) values (?, ?, ?)",
                {id, name, shown});
        for (const auto& [manu, type, multi] :
             {std::tuple{"CORD", "CA-2250", false}, std::tuple{"CORD", "CA-1000", true},
              std::tuple{"BELX", "B-7", false}})
            run("insert into tblCableTypes (ManufacturerID, CableType, cablemulticore) "
                "values (?, ?, ?)",
                {manu, type, multi});
    }

    void run(const QString& sql, const QVariantList& values) {
        db::Query q(db::DbId::Equipment, sql, registry);
        for (const QVariant& v : values) q.bind(v);
        q.exec();
    }
    // A full row from the defaults, with some columns of its own.
    void addRow(int user, const QList<QPair<QString, QVariant>>& own) {
        QStringList columns{"UserID"};
        QVariantList values{user};
        for (const auto& [column, value] : db::defaultPreferences()) {
            columns << column;
            values << value;
            for (const auto& [c, v] : own)
                if (c == column) values.last() = v;
        }
        run(QStringLiteral("insert into tblPreferences (%1) values (%2)")
                .arg(columns.join(", "), QStringList(columns.size(), "?").join(", ")),
            values);
    }
    QVariant stored(const QString& column, int user = 1) {
        return db::Query(db::DbId::Equipment,
                         "select " + column + " from tblPreferences where UserID = ?", registry)
            .bind(user)
            .scalar();
    }
    QString field(QWidget* window, const QString& name) {
        // The value only: a control on a tab page not shown reads "[hidden]".
        return W::printField(window, name).section(" = ", 1).remove(" [hidden]");
    }

    db::Connections registry;  // outlives dbs, which closes it
    test::TestDatabases dbs{GetParam()};
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath("Tolvane_v2.ini")};
};

TEST(PreferenceFieldRules, KeepValuesInRangeAndRefuseWhatIsNotANumber) {
    const db::FieldCheck wide = db::checkBlockWidth("12", "4");
    EXPECT_EQ(wide.text, "9");
    EXPECT_EQ(wide.message, "Tolvane does not support Block widths greater than 9");
    EXPECT_FALSE(wide.beep);
    EXPECT_EQ(db::checkBlockWidth("0", "4").text, "1");
    EXPECT_TRUE(db::checkBlockWidth("0", "4").message.isEmpty());
    EXPECT_EQ(db::checkBlockWidth(" 9 ", "4").text, "9");
    // Blocks are built on whole units.
    EXPECT_EQ(db::checkBlockWidth("2.6", "4").text, "3");
    EXPECT_EQ(db::checkBlockWidth("9.2", "4").text, "9");
    EXPECT_FALSE(db::checkBlockWidth("9.2", "4").message.isEmpty());
    EXPECT_EQ(db::checkPinSpacing("0.4", "2").text, "1");

    for (auto rule : {&db::checkBlockWidth, &db::checkPinSpacing, &db::checkAtLeastOne,
                      &db::checkWholeNumber, &db::checkColorIndex}) {
        const db::FieldCheck letters = rule("wide", "3");
        EXPECT_TRUE(letters.beep);
        EXPECT_EQ(letters.text, "3");
        EXPECT_TRUE(rule("", "3").beep);
        // A box that was empty may stay empty.
        EXPECT_FALSE(rule("", "").beep);
    }

    EXPECT_EQ(db::checkAtLeastOne("0.5", "2").text, "1");
    EXPECT_EQ(db::checkAtLeastOne("1.5", "2").text, "1.5");
    EXPECT_TRUE(db::checkWholeNumber("2.5", "2").beep);
    EXPECT_EQ(db::checkWholeNumber("-3", "2").text, "-3");
    EXPECT_TRUE(db::checkColorIndex("257", "7").beep);
    EXPECT_EQ(db::checkColorIndex("256", "7").text, "256");

    EXPECT_EQ(db::nameCaseOf(3), db::NameCase::TitleCase);
    EXPECT_FALSE(db::nameCaseOf(5).has_value());
    EXPECT_FALSE(db::nameCaseOf(QVariant()).has_value());
}

TEST_P(PreferencesTest, RowReadsAndWritesOnlyWhatChanged) {
    run("update tblPreferences set cabletypedefPn = null where UserID = 1", {});
    db::Preferences prefs(registry);
    ASSERT_TRUE(prefs.load(1));
    EXPECT_TRUE(prefs.columns().contains("sysnamefmt", Qt::CaseInsensitive));
    EXPECT_EQ(prefs.value("BLOCKWIDTH").toInt(), 4);
    EXPECT_TRUE(prefs.value("cabletypedefPn").isNull());
    EXPECT_EQ(prefs.value("blockColoredPins").toBool(), true);

    // Text as a user types it is stored in the column's type.
    EXPECT_TRUE(prefs.setValue("BlockWidth", "7"));
    EXPECT_TRUE(prefs.setValue("blockColoredPins", "0"));
    EXPECT_TRUE(prefs.setValue("cabletypedefPn", ""));  // null stays null
    EXPECT_FALSE(prefs.setValue("BlockWidth", "seven"));
    EXPECT_FALSE(prefs.setValue("UserID", 9));
    EXPECT_FALSE(prefs.setValue("NoSuchColumn", 1));

    // Another user of the database changes a column meanwhile: saving keeps it.
    run("update tblPreferences set jfspacing = 5 where UserID = 1", {});
    prefs.save();
    EXPECT_FALSE(prefs.isModified());
    EXPECT_EQ(stored("BlockWidth").toInt(), 7);
    EXPECT_FALSE(stored("blockColoredPins").toBool());
    EXPECT_TRUE(stored("cabletypedefPn").isNull());
    EXPECT_EQ(stored("jfspacing").toInt(), 5);
    EXPECT_EQ(stored("BlockWidth", 2).toInt(), 6);

    // A user without a row leaves the loaded row as it was.
    EXPECT_FALSE(prefs.load(42));
    EXPECT_EQ(prefs.userId(), 1);

    run("delete from tblPreferences where UserID = 1", {});
    prefs.setValue("BlockWidth", 3);
    EXPECT_THROW(prefs.save(), db::DbError);
}

TEST_P(PreferencesTest, ListsForTheWindow) {
    const auto users = db::preferenceUsers(registry);
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0].name + "|" + users[1].name, "DEFAULT|O'Brien");
    EXPECT_FALSE(db::preferenceUserId("Nobody", registry).has_value());

    const auto manufacturers = db::cableManufacturers(registry);  // the shown ones only
    ASSERT_EQ(manufacturers.size(), 2u);
    EXPECT_EQ(manufacturers[0].name + "|" + manufacturers[1].name, "Belex|Cordavo Cable");
    const auto types = db::cableTypesOf(manufacturers[1].id, registry);
    ASSERT_EQ(types.size(), 2u);
    EXPECT_EQ(types[0].type, "CA-1000");
    EXPECT_TRUE(types[0].multicore);
}

TEST_P(PreferencesTest, BoundBoxesApplyTheirRulesAndWriteAtOnce) {
    ScriptedUser user("");
    PreferencesWindow window(*user.ui, settings, registry);
    // A width over 9 and its message: the scenario preferences.
    W::set(&window, "txtBlockWidth", "0");
    EXPECT_EQ(field(&window, "txtBlockWidth"), "1");
    EXPECT_EQ(stored("BlockWidth").toInt(), 1);

    W::set(&window, "txtPinSpacing", "wide");
    EXPECT_EQ(field(&window, "txtPinSpacing"), "1");
    EXPECT_EQ(stored("BlockPinSpacing").toInt(), 1);
    EXPECT_TRUE(user.lines().contains("BEEP"));
    W::set(&window, "txtPinSpacing", "3");
    EXPECT_EQ(stored("BlockPinSpacing").toInt(), 3);

    // A box without a trigger of its own only applies its rule.
    W::click(&window, "tabJacks");
    W::set(&window, "txtJFSpacing", "2.5");
    EXPECT_EQ(field(&window, "txtJFSpacing"), "2");
    EXPECT_EQ(user.lines().count("BEEP"), 2);
}

TEST_P(PreferencesTest, SaveTriggersWriteEveryControl) {
    ScriptedUser user("choose 5 Blue\n");
    PreferencesWindow window(*user.ui, settings, registry);
    EXPECT_EQ(field(&window, "cboUser"), "DEFAULT");
    W::click(&window, "tabBlocks");
    W::set(&window, "chkColoredPins", "0");
    W::click(&window, "tabCables");
    W::set(&window, "optUseDestination", "1");
    EXPECT_TRUE(stored("blockColoredPins").toBool());  // no trigger yet

    W::click(&window, "tabGeneral");
    W::set(&window, "optTitleCase", "1");
    EXPECT_EQ(stored("sysnamefmt").toInt(), 3);
    EXPECT_FALSE(stored("blockColoredPins").toBool());
    EXPECT_TRUE(stored("CablesAssignUseDestType").toBool());

    W::click(&window, "tabBlocks");
    W::set(&window, "cboBasePoint", "Center");
    EXPECT_EQ(stored("BlockBasePoint").toString(), "Center");
    W::set(&window, "txtBodyColor", "300");  // not a colour: beeps, keeps 7
    EXPECT_EQ(field(&window, "txtBodyColor"), "7");
    W::set(&window, "txtBodyColor", "3");
    EXPECT_EQ(stored("BlockColor").toInt(), 3);
    W::click(&window, "cmdBodyColor");
    EXPECT_EQ(field(&window, "txtBodyColor"), "5");
    EXPECT_EQ(stored("BlockColor").toInt(), 5);
    EXPECT_TRUE(user.ui->atEnd());
}

TEST_P(PreferencesTest, ChoosingAUserShowsItsRowAndRecordsIt) {
    settings.write(setting::CurrentUser, "O'Brien");
    ScriptedUser user("");
    PreferencesWindow window(*user.ui, settings, registry);
    // Opening shows the current user without recording anything.
    EXPECT_EQ(window.userId(), 2);
    EXPECT_EQ(field(&window, "txtBlockWidth"), "6");
    EXPECT_TRUE(Registry::appSetting(settings, "USERNAME").isEmpty());

    W::set(&window, "cboUser", "DEFAULT");
    EXPECT_EQ(field(&window, "txtBlockWidth"), "4");
    W::click(&window, "tabJacks");
    EXPECT_EQ(field(&window, "optJackFN"), "1");
    EXPECT_EQ(Registry::appSetting(settings, "USERNAME"), "DEFAULT");
    EXPECT_EQ(Registry::appSetting(settings, "UID"), "1");

    // Leaving a user keeps what was changed in its row.
    W::set(&window, "optJackJ", "1");
    W::set(&window, "cboUser", "O'Brien");
    EXPECT_EQ(stored("defaultJack", 1).toString(), "J");
    EXPECT_EQ(field(&window, "optJackHN"), "1");
    EXPECT_EQ(field(&window, "txtPinSpacing"), "2");
    EXPECT_EQ(Registry::appSetting(settings, "USERNAME"), "O'Brien");
    EXPECT_EQ(Registry::appSetting(settings, "UID"), "2");
}

TEST_P(PreferencesTest, AUserWithoutARowIsToldAndTheShownRowStays) {
    run("insert into tblUsers (UserName, UID) values (?, ?)", {"Zoe", 3});
    ScriptedUser user("button OK\n");
    PreferencesWindow window(*user.ui, settings, registry);
    W::set(&window, "cboUser", "Zoe");
    EXPECT_TRUE(user.transcript.contains("There are no preferences for Zoe."));
    EXPECT_EQ(field(&window, "cboUser"), "DEFAULT");
    EXPECT_EQ(window.userId(), 1);
    EXPECT_TRUE(Registry::appSetting(settings, "USERNAME").isEmpty());
}

TEST_P(PreferencesTest, CableTypeFollowsTheManufacturer) {
    ScriptedUser user("");
    PreferencesWindow window(*user.ui, settings, registry);
    W::click(&window, "tabCables");
    EXPECT_EQ(field(&window, "cboCableManu"), "Cordavo Cable");
    EXPECT_EQ(field(&window, "cboCableType"), "CA-2250");
    EXPECT_THROW(W::set(&window, "cboCableManu", "Hidden Wire"), DriverError);
    W::set(&window, "cboCableManu", "Belex");
    EXPECT_EQ(field(&window, "cboCableType"), "B-7");
    EXPECT_THROW(W::set(&window, "cboCableType", "CA-1000"), DriverError);
    W::click(&window, "cmdDone");
    EXPECT_EQ(stored("CableTypeDefManu").toString(), "Belex");
    EXPECT_EQ(stored("cabletypedefPn").toString(), "B-7");
}

TEST_P(PreferencesTest, DoneSavesAndCancelDoesNot) {
    for (const bool done : {false, true}) {
        ScriptedUser user("");
        PreferencesWindow window(*user.ui, settings, registry);
        W::click(&window, "tabShortcuts");
        W::set(&window, "txtscEquipLib", "EQ");
        W::click(&window, "tabCables");
        W::set(&window, "chkAutoRepeat", "0");
        W::set(&window, "txtStartNo", "100");
        if (done) {
            W::click(&window, "tabJacks");
            W::set(&window, "optJB1", "1");
        }
        W::click(&window, done ? "cmdDone" : "cmdCancel");
        EXPECT_EQ(window.result(), done ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(stored("scEquipLib").toString(), done ? "EQ" : "LE");
        EXPECT_EQ(stored("CablesREpeat").toBool(), !done);
    }
    EXPECT_EQ(stored("CablesStartNo").toInt(), 100);
    EXPECT_EQ(stored("DefaultJb").toString(), "JB_1");
    EXPECT_EQ(stored("BlockWidth", 2).toInt(), 6);  // the other user's row is untouched
}

TEST_P(PreferencesTest, DefaultsAreRestoredOnlyOnYes) {
    run("update tblPreferences set BlockWidth = 8, scCables = 'ZZ' where UserID = 1", {});
    ScriptedUser user("button No\nbutton Yes\n");
    PreferencesWindow window(*user.ui, settings, registry);
    W::click(&window, "cmdDefaults");
    EXPECT_EQ(stored("BlockWidth").toInt(), 8);
    W::click(&window, "cmdDefaults");
    EXPECT_TRUE(
        user.transcript.contains("MESSAGE [Yes/No] Tolvane | Restore default preferences?"));
    EXPECT_EQ(stored("BlockWidth").toInt(), 4);
    EXPECT_EQ(stored("scCables").toString(), "LC");
    EXPECT_EQ(field(&window, "txtBlockWidth"), "4");
}

TEST_P(PreferencesTest, TipButtonsSetTheFlags) {
    ScriptedUser user("button OK\nbutton OK\n");
    PreferencesWindow window(*user.ui, settings, registry);
    W::click(&window, "tabGeneral");
    W::click(&window, "cmdHideTips");
    for (const QString& flag : setting::tipFlags())
        EXPECT_EQ(settings.read(flag), "0") << qPrintable(flag);
    EXPECT_TRUE(user.transcript.isEmpty());

    W::click(&window, "cmdShowTips");
    for (const QString& flag : setting::tipFlags())
        EXPECT_EQ(settings.read(flag), "1") << qPrintable(flag);
    EXPECT_TRUE(user.transcript.contains("The How To dialogs will be shown."));

    W::click(&window, "cmdShowGettingStarted");
    EXPECT_EQ(settings.read(setting::GettingStarted), "1");
    EXPECT_TRUE(user.transcript.contains("The Getting Started will be shown on start-up."));
    EXPECT_TRUE(user.ui->atEnd());
}

TEST(Calculator, IsSearchedForWhenMissing) {
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath("Tolvane_v2.ini"));
    const QString program = dir.filePath("gcalc");
    QFile(program).open(QIODevice::WriteOnly);
    settings.write(setting::Calc, "C:\\WINDOWS\\SYSTEM32\\CALC.EXE");
    {
        ScriptedUser user("button No\n");
        runCalculator(*user.ui, settings);
        EXPECT_EQ(settings.read(setting::Calc), "C:\\WINDOWS\\SYSTEM32\\CALC.EXE");
    }
    ScriptedUser user("button Yes\nfile " + program + "\n");
    runCalculator(*user.ui, settings);
    const QStringList lines = user.lines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0],
              "MESSAGE [Yes/No] Tolvane | Unable to find Windows Calculator Application. Search "
              "Now?");
    EXPECT_EQ(lines[2],
              "FILE Search for CALC.EXE. Usually in WINDOWS or SYSTEMS directory | Executables (*) "
              "| CALC.EXE");
    EXPECT_EQ(settings.read(setting::Calc), program);

    // A program that exists is started without a question.
    settings.write(setting::Calc, "/bin/true");
    ScriptedUser quiet("");
    runCalculator(*quiet.ui, settings);
    EXPECT_TRUE(quiet.transcript.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Engines, PreferencesTest, test::bothEngines(), test::engineName);

}  // namespace
