// The settings store and its registry-style access.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "shell/settings_store.h"

using namespace tolvane;

// A file that can be neither read nor written is the settings_unwritable scenario.
TEST(SettingsStore, AbsentValuesReadEmptyAndWrittenValuesStayStrings) {
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("Tolvane_v2.ini"));
    EXPECT_EQ(store.read(setting::CurrentProject), QString());
    EXPECT_EQ(store.read(QString()), QString());
    ASSERT_TRUE(store.write(setting::AppCounter, "007"));
    ASSERT_TRUE(store.write(setting::Calc, "/usr/bin/my calc, v2"));
    SettingsStore again(dir.filePath("Tolvane_v2.ini"));
    EXPECT_EQ(again.read(setting::AppCounter), "007");  // not a number: leading zeros stay
    EXPECT_EQ(again.read(setting::Calc), "/usr/bin/my calc, v2");
}

TEST(Registry, SectionsValuesAndEnumeration) {
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("r.ini"));
    Registry r(store);
    r.sectionKey = "Drawing\\Views";
    EXPECT_FALSE(r.keyExists());
    ASSERT_TRUE(r.createKey());
    EXPECT_TRUE(r.keyExists());
    EXPECT_TRUE(r.enumerateValues().isEmpty());  // a new key has only its empty default

    r.valueKey = "Zoom";
    r.defaultValue = "fit";
    EXPECT_EQ(r.value(), "fit");
    ASSERT_TRUE(r.setValue("2.5"));
    r.valueKey = "Alpha";
    ASSERT_TRUE(r.setValue("a"));
    EXPECT_EQ(r.enumerateValues(), QStringList({"Alpha", "Zoom"}));

    Registry parent(store);
    parent.sectionKey = "Drawing";
    EXPECT_EQ(parent.enumerateSections(), QStringList({"Views"}));

    r.valueKey = "Zoom";
    ASSERT_TRUE(r.deleteValue());
    EXPECT_EQ(r.value(), "fit");
    ASSERT_TRUE(parent.deleteKey());
    EXPECT_FALSE(r.keyExists());

    Registry product(store);  // the product key itself cannot be deleted
    EXPECT_TRUE(product.keyExists());
    EXPECT_FALSE(product.deleteKey());
}

TEST(Registry, NumbersAndTheApplicationSection) {
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("r.ini"));
    Registry r(store);
    r.sectionKey = "Counters";
    r.valueKey = "Runs";
    r.valueType = Registry::ValueType::Number;
    EXPECT_FALSE(r.setValue("twelve"));
    ASSERT_TRUE(r.setValue(" 12 "));
    EXPECT_EQ(r.value(), "12");

    ASSERT_TRUE(Registry::saveAppSetting(store, "USERNAME", "O'Brien"));
    ASSERT_TRUE(Registry::saveAppSetting(store, "UID", "4"));
    EXPECT_EQ(Registry::appSetting(store, "USERNAME"), "O'Brien");
    // The per-application section is apart from the product's own values.
    EXPECT_EQ(store.read("USERNAME"), QString());
    Registry app(store);
    app.sectionKey = "SETTINGS";
    EXPECT_EQ(app.enumerateValues(), QStringList({"UID", "USERNAME"}));
}
