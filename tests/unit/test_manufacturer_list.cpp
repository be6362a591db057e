// The manufacturer list shared by the library windows: which manufacturers it shows, that a
// reload keeps the choice while the manufacturer is still listed, and that only the user's own
// choice is reported.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListView>
#include <QWidget>

#include "app/library/manufacturer_list.h"
#include "library_window_fixture.h"

using namespace tolvane;
using namespace tolvane::equipment;

namespace {

class ManufacturerListTest : public test::LibraryWindowFixture {
  protected:
    void SetUp() override {
        LibraryWindowFixture::SetUp();
        Manufacturers makers(seedAccess());
        for (const auto& [id, name] :
             {std::pair{"KABEL", "Kabel Works"}, std::pair{"GLASS", "Glass Lines"},
              std::pair{"KNOBS", "Knob Makers"}}) {
            db::ManufacturerRecord m{id, name};
            m.cableTypes = QLatin1String(id) != QLatin1String("KNOBS");
            m.equipment = !m.cableTypes;
            ASSERT_TRUE(makers.add(m));
        }
    }

    QStringList shown() const {
        QStringList names;
        for (int r = 0; r < list->list()->model()->rowCount(); ++r)
            names << list->list()->model()->index(r, 0).data().toString();
        return names;
    }

    QWidget owner;
    ManufacturerList* list = nullptr;
    int typed = 0;
    int picked = 0;
};

TEST_F(ManufacturerListTest, TheFindBoxNarrowsTheListAndAReloadKeepsTheChoice) {
    list = new ManufacturerList(seedAccess(), ShownIn::CableTypes, &owner);
    list->onChange(
        [this] {
            ++typed;
            list->reload();
        },
        [this] { ++picked; });
    list->reload();
    EXPECT_EQ(shown(), (QStringList{"Glass Lines", "Kabel Works"}));
    EXPECT_FALSE(list->selected());

    list->list()->setCurrentIndex(list->list()->model()->index(1, 0));
    EXPECT_EQ(picked, 1);
    ASSERT_TRUE(list->selected());
    EXPECT_EQ(list->selected()->id, "KABEL");

    // Narrowed, the chosen manufacturer is still there and still chosen, and nothing reports a
    // change of choice.
    list->findBox()->setText("k");
    EXPECT_EQ(typed, 1);
    EXPECT_EQ(shown(), QStringList{"Kabel Works"});
    ASSERT_TRUE(list->selected());
    EXPECT_EQ(list->selected()->id, "KABEL");

    list->findBox()->setText("g");
    EXPECT_EQ(shown(), QStringList{"Glass Lines"});
    EXPECT_FALSE(list->selected());
    EXPECT_EQ(picked, 1);
}

}  // namespace
