// The equipment library window where a scenario cannot look: which grid rows a signal-group
// button leaves selected, and the DA box when the permission check refuses the change.
#include <gtest/gtest.h>

#include <QItemSelectionModel>
#include <QTableView>

#include "app/library/equipment_library_window.h"
#include "front/widget_driver.h"
#include "library_window_fixture.h"

using namespace tolvane;
using namespace tolvane::equipment;
using test::ScriptedUser;

namespace {

class LibraryWindowTest : public test::LibraryWindowFixture {
  protected:
    void SetUp() override {
        LibraryWindowFixture::SetUp();
        LibraryAccess a = seedAccess();
        ASSERT_TRUE(Manufacturers(a).add({"HALVERN", "Halvern Audio"}, true));
        model = EquipmentModels(a).add("HALVERN", "DESK", "desk", "mixer").value_or(0);
        ASSERT_GT(model, 0);
        Pins pins(a);
        ASSERT_TRUE(pins.add(
            model, {"CH", "XLR3F", "AUD", "Normal", "Normal", "2", "1", PinTarget::Inputs}));
        ASSERT_TRUE(
            pins.add(model, {"REF", "BNC", "SYNC", "Loop", "Normal", "", "", PinTarget::Inputs}));
        ASSERT_TRUE(pins.add(
            model, {"MAIN", "XLR3M", "AUD", "Normal", "Normal", "", "", PinTarget::Outputs}));
        for (const char* type : {"AUD", "SYNC", "VID"})
            db::Query(db::DbId::Equipment, "insert into SignalDefault (Type) values (?)", registry)
                .bind(QString::fromLatin1(type))
                .exec();
    }

    // The window with the model selected, shown so that the driver may use its controls.
    std::unique_ptr<EquipmentLibraryWindow> open(ScriptedUser& user, PermissionCheck check = {}) {
        auto w = std::make_unique<EquipmentLibraryWindow>(
            LibraryAccess(*user.ui, registry, std::move(check)), db::NameCase::AllCaps);
        w->show();
        WidgetDriver::selectRows(w.get(), "lstManufacturers", {1});
        WidgetDriver::selectRows(w.get(), "lstEquipment", {1});
        return w;
    }
    // The selected rows of a grid, 1-based, by name.
    static QStringList selected(QWidget* w, const char* grid) {
        auto* view = w->findChild<QTableView*>(QString::fromLatin1(grid));
        QStringList names;
        for (const QModelIndex& i : view->selectionModel()->selectedRows(1))
            names << i.data().toString();
        names.sort();
        return names;
    }
    bool storedDa() {
        db::Query q(db::DbId::Equipment,
                    "select DisplayASDA from tblEquipment where EquipmentID = ?", registry);
        q.bind(model).exec();
        return q.next() && q.value(0).toBool();
    }

    qint64 model = 0;
};

// A group button replaces the selection in both grids; Other with a type no row has leaves
// nothing selected.
TEST_F(LibraryWindowTest, GroupButtonsReplaceTheSelection) {
    ScriptedUser user("");
    auto w = open(user);
    WidgetDriver::click(w.get(), "cmdEditIO");
    WidgetDriver::selectRows(w.get(), "grdInputs", {3});
    EXPECT_EQ(selected(w.get(), "grdInputs"), QStringList{"REF"});
    WidgetDriver::click(w.get(), "cmdSelectAUD");
    EXPECT_EQ(selected(w.get(), "grdInputs"), (QStringList{"CH01", "CH02"}));
    EXPECT_EQ(selected(w.get(), "grdOutputs"), QStringList{"MAIN"});
    WidgetDriver::set(w.get(), "cboOtherType", "VID");
    WidgetDriver::click(w.get(), "cmdSelectOther");
    EXPECT_TRUE(selected(w.get(), "grdInputs").isEmpty());
    EXPECT_TRUE(selected(w.get(), "grdOutputs").isEmpty());
    WidgetDriver::set(w.get(), "cboOtherType", "SYNC");
    WidgetDriver::click(w.get(), "cmdSelectOther");
    EXPECT_EQ(selected(w.get(), "grdInputs"), QStringList{"REF"});
    WidgetDriver::click(w.get(), "cmdSelectAll");
    EXPECT_EQ(selected(w.get(), "grdInputs"), (QStringList{"CH01", "CH02", "REF"}));
}

// The DA box is written at once; refused, it shows what is stored.
TEST_F(LibraryWindowTest, TheDaBox) {
    ScriptedUser user("");
    bool mayEdit = true;
    auto w = open(user, [&](const QString& key) { return mayEdit || key != key::Edit; });
    WidgetDriver::set(w.get(), "chkDA", "1");
    EXPECT_TRUE(storedDa());
    WidgetDriver::set(w.get(), "chkDA", "0");
    EXPECT_FALSE(storedDa());
    mayEdit = false;
    WidgetDriver::set(w.get(), "chkDA", "1");
    EXPECT_FALSE(storedDa());
    EXPECT_EQ(WidgetDriver::printField(w.get(), "chkDA"), "FIELD chkDA = 0");
}

// The window fits a main window of 1200 pixels beside its frame.
TEST_F(LibraryWindowTest, FitsASmallScreen) {
    ScriptedUser user("");
    const auto w = open(user);
    EXPECT_LE(w->minimumSizeHint().width(), 1100);
    EXPECT_LE(w->width(), 1100);
    if (const QString file = qEnvironmentVariable("TOLVANE_SCREENSHOT_LIBRARY"); !file.isEmpty())
        w->grab().save(file);
}

}  // namespace
