// The signal types window where a scenario cannot look: what the manufacturer and cable-type
// cells offer, that a refused edit leaves the grid as stored, and rows without a type.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <memory>

#include "app/library/signal_types_window.h"
#include "front/widget_driver.h"
#include "library_window_fixture.h"

using namespace tolvane;
using namespace tolvane::equipment;
using test::ScriptedUser;

namespace {

class SignalTypesWindowTest : public test::LibraryWindowFixture {
  protected:
    void SetUp() override {
        LibraryWindowFixture::SetUp();
        LibraryAccess a = seedAccess();
        Manufacturers makers(a);
        for (const auto& [id, name] : {std::pair{"KABEL", "Kabel Works"},
                                       {"GLASS", "Glass Lines"},
                                       {"DESKS", "Desk Makers"}}) {
            db::ManufacturerRecord m{id, name};
            m.cableTypes = QLatin1String(id) != QLatin1String("DESKS");
            m.equipment = !m.cableTypes;
            ASSERT_TRUE(makers.add(m));
        }
        CableCatalogue catalogue(a);
        for (const auto& [maker, part] :
             {std::pair{"KABEL", "K-200"}, {"KABEL", "K-100"}, {"GLASS", "G-1"}}) {
            db::CableTypeRecord e;
            e.manufacturerId = QString::fromLatin1(maker);
            e.partNumber = QString::fromLatin1(part);
            ASSERT_TRUE(catalogue.addCableType(e));
        }
        ASSERT_TRUE(catalogue.addSignalType({"VID", {2}, "V", "Kabel Works", "K-100"}));
        ASSERT_TRUE(catalogue.addSignalType({"AUD", {3}, "A", "Glass Lines", "G-1"}));
    }

    std::unique_ptr<SignalTypesWindow> open(ScriptedUser& user, PermissionCheck check = {}) {
        auto w = std::make_unique<SignalTypesWindow>(
            LibraryAccess(*user.ui, registry, std::move(check)));
        w->show();
        grid = w->findChild<QTableView*>(QStringLiteral("grdSignalTypes"));
        return w;
    }
    // The entries the cell's editor offers.
    QStringList offered(int row, int column) {
        const QModelIndex index = grid->model()->index(row, column);
        std::unique_ptr<QWidget> editor(grid->itemDelegateForColumn(column)->createEditor(
            grid->viewport(), QStyleOptionViewItem(), index));
        auto* combo = qobject_cast<QComboBox*>(editor.get());
        QStringList items;
        for (int i = 0; combo && i < combo->count(); ++i) items << combo->itemText(i);
        return items;
    }
    QString stored(const char* column, const char* type) {
        db::Query q(db::DbId::Equipment,
                    QStringLiteral("select %1 from SignalDefault where Type = ?")
                        .arg(QString::fromLatin1(column)),
                    registry);
        q.bind(QString::fromLatin1(type)).exec();
        return q.next() ? q.value(0).toString() : QStringLiteral("<none>");
    }

    QTableView* grid = nullptr;
};

// The grid itself, sorted by type: the scenario signal_types.
TEST_F(SignalTypesWindowTest, WhatTheCableCellsOffer) {
    ScriptedUser user("");
    auto w = open(user);
    if (const QString file = qEnvironmentVariable("TOLVANE_SCREENSHOT_SIGNALS"); !file.isEmpty())
        w->grab().save(file);
    // Only cable-type manufacturers; the part numbers of the row's manufacturer.
    EXPECT_EQ(offered(0, SignalTypesModel::CableManu), (QStringList{"Glass Lines", "Kabel Works"}));
    EXPECT_EQ(offered(0, SignalTypesModel::CableType), QStringList{"G-1"});
    EXPECT_EQ(offered(1, SignalTypesModel::CableType), (QStringList{"K-100", "K-200"}));
    WidgetDriver::editCell(w.get(), "grdSignalTypes", 1, "CableManu", "Kabel Works");
    EXPECT_EQ(offered(0, SignalTypesModel::CableType), (QStringList{"K-100", "K-200"}));
}

// The colour is chosen, not typed; a rename onto another type and an edit without permission
// are refused and leave the grid as stored; a rename is stored and shown.
TEST_F(SignalTypesWindowTest, RefusedEditsLeaveTheGridAsStored) {
    ScriptedUser user("button OK\n");
    bool mayEdit = true;
    auto w = open(user, [&](const QString& key) { return mayEdit || key != key::Edit; });
    QAbstractItemModel* m = grid->model();
    EXPECT_FALSE(m->flags(m->index(0, SignalTypesModel::Color)).testFlag(Qt::ItemIsEditable));
    EXPECT_FALSE(m->setData(m->index(0, SignalTypesModel::Color), "12"));
    EXPECT_EQ(stored("Color", "AUD"), "3");

    EXPECT_FALSE(m->setData(m->index(0, SignalTypesModel::Type), "vid"));
    EXPECT_TRUE(user.transcript.contains("That Signal Type already exists."));
    EXPECT_EQ(m->index(0, SignalTypesModel::Type).data().toString(), "AUD");
    EXPECT_EQ(stored("CableNoPrefix", "AUD"), "A");

    mayEdit = false;
    EXPECT_FALSE(m->setData(m->index(1, SignalTypesModel::CableNoPrefix), "X"));
    EXPECT_EQ(m->index(1, SignalTypesModel::CableNoPrefix).data().toString(), "V");
    EXPECT_EQ(stored("CableNoPrefix", "VID"), "V");

    mayEdit = true;
    EXPECT_TRUE(m->setData(m->index(1, SignalTypesModel::Type), " VIDEO "));
    EXPECT_EQ(m->index(1, SignalTypesModel::Type).data().toString(), "VIDEO");
    EXPECT_EQ(stored("CableNoPrefix", "VIDEO"), "V");
    EXPECT_EQ(stored("CableNoPrefix", "VID"), "<none>");
}

// Other tools may leave a row without a name: it is shown so that it can be named or removed.
TEST_F(SignalTypesWindowTest, ARowWithoutATypeCanBeNamedOrDeleted) {
    for (const char* prefix : {"X", "Y"})
        db::Query(db::DbId::Equipment,
                  "insert into SignalDefault (Type, CableNoPrefix) values (null, ?)", registry)
            .bind(QString::fromLatin1(prefix))
            .exec();
    ScriptedUser user("button Yes\n");
    auto w = open(user);
    EXPECT_EQ(
        WidgetDriver::printGrid(w.get(), "grdSignalTypes").mid(1, 2),
        (QStringList{"ROW 1:  | Same As Layer | X |  | ", "ROW 2:  | Same As Layer | Y |  | "}));
    WidgetDriver::editCell(w.get(), "grdSignalTypes", 1, "Type", "TC");
    EXPECT_EQ(stored("CableNoPrefix", "TC"), "X");
    EXPECT_EQ(WidgetDriver::printGrid(w.get(), "grdSignalTypes").value(1),
              "ROW 1: TC | Same As Layer | X |  | ");
    WidgetDriver::selectRows(w.get(), "grdSignalTypes", {2});
    WidgetDriver::click(w.get(), "cmdDelete");
    EXPECT_TRUE(user.transcript.contains("You are about to delete the Signal Type: ."));
    EXPECT_EQ(WidgetDriver::printGrid(w.get(), "grdSignalTypes").size(), 4);
    EXPECT_EQ(stored("CableNoPrefix", "TC"), "X");
    db::Query left(db::DbId::Equipment, "select count(*) from SignalDefault", registry);
    EXPECT_EQ(left.scalar().toInt(), 3);
}

}  // namespace
