// The cable type library window where a scenario cannot look: which core markings take a
// typed value, that a refused marking leaves the grid as stored, and the data-sheet button.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTableView>
#include <memory>

#include "app/library/cable_type_library_window.h"
#include "front/widget_driver.h"
#include "library_window_fixture.h"

using namespace tolvane;
using namespace tolvane::equipment;
using test::ScriptedUser;

namespace {

class CableTypeLibraryWindowTest : public test::LibraryWindowFixture {
  protected:
    void SetUp() override {
        LibraryWindowFixture::SetUp();
        LibraryAccess a = seedAccess();
        db::ManufacturerRecord cables{"KABEL", "Kabel Works"};
        cables.cableTypes = true;
        ASSERT_TRUE(Manufacturers(a).add(cables));
        CableCatalogue catalogue(a);
        db::CableTypeRecord e;
        e.manufacturerId = "KABEL";
        e.multicore = true;
        e.cores = 3;
        e.partNumber = "K-3N";
        ASSERT_TRUE(catalogue.addCableType(e));
        e.partNumber = "K-3C";
        e.scheme = db::kColorCodedScheme;
        ASSERT_TRUE(catalogue.addCableType(e));
    }

    // The window with the manufacturer and the type of the given row chosen.
    std::unique_ptr<CableTypeLibraryWindow> open(ScriptedUser& user, int typeRow,
                                                 PermissionCheck check = {}) {
        auto w = std::make_unique<CableTypeLibraryWindow>(
            LibraryAccess(*user.ui, registry, std::move(check)));
        w->show();
        WidgetDriver::selectRows(w.get(), "lstManufacturers", {1});
        WidgetDriver::selectRows(w.get(), "lstCableTypes", {typeRow});
        cores = w->findChild<QTableView*>(QStringLiteral("grdCores"))->model();
        return w;
    }
    QStringList markings() {
        db::Query q(db::DbId::Equipment,
                    "select t.CableType, p.PairNumber, p.paircolorcode from tblCablePairs p "
                    "join tblCableTypes t on t.CableTypeID = p.CableTypeID order by 1, 2",
                    registry);
        q.exec();
        QStringList rows;
        while (q.next())
            rows << q.value(0).toString() + " " + q.value(1).toString() + " " +
                        q.value(2).toString();
        return rows;
    }

    QAbstractItemModel* cores = nullptr;
};

// Numbered markings are read-only, colour-coded ones typed; a refused marking changes nothing.
TEST_F(CableTypeLibraryWindowTest, NumberedMarkingsAreReadOnlyColourCodedOnesAreTyped) {
    ScriptedUser user("");
    auto numbered = open(user, 2);  // K-3N follows K-3C
    EXPECT_EQ(cores->index(2, CableCoresModel::Marking).data().toString(), "3");
    EXPECT_FALSE(cores->flags(cores->index(0, CableCoresModel::Marking)) & Qt::ItemIsEditable);
    EXPECT_FALSE(cores->setData(cores->index(0, CableCoresModel::Marking), "Red"));

    auto coded = open(user, 1);
    EXPECT_FALSE(cores->flags(cores->index(0, CableCoresModel::PairNumber)) & Qt::ItemIsEditable);
    EXPECT_TRUE(cores->flags(cores->index(0, CableCoresModel::Marking)) & Qt::ItemIsEditable);
    EXPECT_TRUE(cores->setData(cores->index(1, CableCoresModel::Marking), "  Blue "));
    EXPECT_EQ(cores->index(1, CableCoresModel::Marking).data().toString(), "Blue");
    // The grid shows core numbers with two digits; the database keeps them as numbers.
    EXPECT_EQ(cores->index(1, CableCoresModel::PairNumber).data().toString(), "02");
    EXPECT_EQ(markings(), (QStringList{"K-3C 1 ", "K-3C 2 Blue", "K-3C 3 ", "K-3N 1 1", "K-3N 2 2",
                                       "K-3N 3 3"}));

    // Refused by the permission check: the grid keeps what is stored.
    auto refused = open(user, 1, [](const QString& key) { return key != key::Edit; });
    EXPECT_FALSE(cores->setData(cores->index(0, CableCoresModel::Marking), "Red"));
    EXPECT_EQ(cores->index(0, CableCoresModel::Marking).data().toString(), "");
    EXPECT_EQ(markings().first(), "K-3C 1 ");
}

TEST_F(CableTypeLibraryWindowTest, TheDataSheetButtonIsThereOnlyWhenItCanOpenOne) {
    ScriptedUser user("");
    auto plain = open(user, 1);
    EXPECT_TRUE(plain->findChild<QPushButton*>("cmdDataSheet")->isHidden());

    auto w = std::make_unique<CableTypeLibraryWindow>(LibraryAccess(*user.ui, registry));
    int opened = 0;
    w->showDataSheet = [&] { ++opened; };
    w->show();
    EXPECT_FALSE(w->findChild<QPushButton*>("cmdDataSheet")->isHidden());
    WidgetDriver::click(w.get(), "cmdDataSheet");
    EXPECT_EQ(opened, 1);
}

}  // namespace
