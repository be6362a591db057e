// Inserting blocks that already exist in a drawing: an equipment block is tagged again from
// the library (DA or standard by the model's DA box, or reported when its model is gone).
// Also the list of insertable blocks and loading a block file. On SQLite and (with
// TOLVANE_TEST_PG) PostgreSQL.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "cad/dxf.h"
#include "db/schema.h"
#include "db_fixture.h"
#include "drawings/block_insert.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "equipment/equipment_models.h"
#include "equipment/equipment_placement.h"
#include "equipment/manufacturers.h"
#include "script_fixture.h"

using namespace tolvane;
using namespace tolvane::equipment;
using test::ScriptedUser;

namespace {

cad::Entity attributeDefinition(const QString& tag, const QString& value, QPointF at) {
    return cad::Entity::attributeDefinition(at, tag, QString(), value, 0.25);
}

// A generated-looking equipment block naming model `id` (as text), and a plain block.
cad::Document drawingWithBlocks(const QString& id) {
    cad::Document doc;
    cad::Block& unit = doc.addBlock(QStringLiteral("ACME-SWITCHER-V0"), {0, 0});
    doc.add(unit, cad::Entity::rect({0, 0}, {4, 3}));
    doc.add(unit,
            attributeDefinition(QStringLiteral("SysName"), QStringLiteral("SysName"), {2, 2.7}));
    cad::Entity readOnly = attributeDefinition(kEquipIdTag, id, {2, 3.3});
    readOnly.attributeFlags = 1;
    doc.add(unit, readOnly);
    cad::Block& plain = doc.addBlock(QStringLiteral("FRAME"), {0, 0});
    doc.add(plain, cad::Entity::circle({0, 0}, 1));
    return doc;
}

class PlacementTest : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        dbs.makeEmpty(db::DbId::Equipment, registry);
        db::ensureSchema(db::DbId::Equipment, registry);
        ScriptedUser quiet("");
        ASSERT_TRUE(Manufacturers(LibraryAccess(*quiet.ui, registry)).add({"ACME", "Acme"}, true));
        model = EquipmentModels(LibraryAccess(*quiet.ui, registry))
                    .add("ACME", "Switcher", "desc", "type")
                    .value_or(0);
        ASSERT_GT(model, 0);
    }
    void setDa(bool on) {
        ScriptedUser quiet("");
        ASSERT_TRUE(EquipmentModels(LibraryAccess(*quiet.ui, registry)).setDisplayAsDa(model, on));
    }
    Placement insert(ScriptedUser& user, Drawing& d, const QString& block) {
        return EquipmentPlacement(LibraryAccess(*user.ui, registry)).insertExisting(d, block, {});
    }

    db::Connections registry;
    test::TestDatabases dbs{GetParam()};
    qint64 model = 0;
};

TEST_P(PlacementTest, EquipmentInsertsAreTaggedByTheModelsDaBox) {
    Drawing d(drawingWithBlocks(QString::number(model)));
    ScriptedUser user("point 10,10\npoint 20,10\npoint 30,10\n");

    const Placement standard = insert(user, d, QStringLiteral("acme-switcher-v0"));
    // The whole tag of a standard insert: the scenario equipment_insert.
    const cad::Entity* e = d.document().find(standard.handle);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(standard.kind, tag::kind::EquipmentBlock);
    EXPECT_EQ(tag::kindOf(*e), tag::kind::EquipmentBlock);
    EXPECT_EQ(tag::ref1(*e), QString::number(model));

    setDa(true);
    const Placement da = insert(user, d, QStringLiteral("ACME-SWITCHER-V0"));
    EXPECT_EQ(tag::kindOf(*d.document().find(da.handle)), tag::kind::DABlock);
    EXPECT_EQ(tag::ref1(*d.document().find(da.handle)), QString::number(model));

    // The DA box cleared since: the next insert of the same block is a standard one again.
    setDa(false);
    const Placement again = insert(user, d, QStringLiteral("ACME-SWITCHER-V0"));
    EXPECT_EQ(tag::kindOf(*d.document().find(again.handle)), tag::kind::EquipmentBlock);
    EXPECT_FALSE(user.transcript.contains(QStringLiteral("MESSAGE")));

    // Insert and tag are one step: undo takes the tagged insert away whole.
    ASSERT_TRUE(d.undo().undo());
    EXPECT_EQ(d.document().find(again.handle), nullptr);
    EXPECT_EQ(d.space().entities.size(), 2u);
}

TEST_P(PlacementTest, AModelGoneFromTheLibraryIsReportedAndTheInsertStaysUntagged) {
    // Deleted since the block was made, and a value that names no model at all.
    for (const QString& id : {QString::number(model + 1000), QStringLiteral("12abc")}) {
        Drawing d(drawingWithBlocks(id));
        ScriptedUser user("point 5,5\nbutton OK\n");
        const Placement p = insert(user, d, QStringLiteral("ACME-SWITCHER-V0"));
        const cad::Entity* e = d.document().find(p.handle);
        ASSERT_NE(e, nullptr) << id.toStdString();
        EXPECT_TRUE(e->xdata.isEmpty());
        EXPECT_TRUE(p.kind.isEmpty());
        EXPECT_EQ(user.lines().filter(QStringLiteral("MESSAGE")),
                  QStringList(QStringLiteral(
                      "MESSAGE [OK] Tolvane | Attempt to query the database for this equipment "
                      "failed.\\nA possible reason might be that the equipment has been deleted "
                      "from the database.")));
    }
}

// A plain block inserted untagged, Escape at the insertion point and Cancel in the insert
// dialog inserting nothing: the scenario equipment_insert.

INSTANTIATE_TEST_SUITE_P(Engines, PlacementTest, test::bothEngines(), test::engineName);

TEST(BlockInsert, ListsNamedBlocksAndLoadsBlockFilesOnce) {
    cad::Document doc = drawingWithBlocks(QStringLiteral("1"));
    doc.addBlock(QStringLiteral("*D1"));
    doc.addBlock(QStringLiteral("amp"));
    EXPECT_EQ(insertableBlocks(doc), QStringList({"ACME-SWITCHER-V0", "amp", "FRAME"}));

    QTemporaryDir dir;
    cad::Document file;
    file.addToModel(cad::Entity::line({0, 0}, {3, 0}));
    const QString path = dir.filePath(QStringLiteral("Patch Panel.DXF"));
    cad::saveDxf(file, path);

    Drawing d(std::move(doc));
    d.setModified(false);
    int told = 0;
    QObject::connect(&d, &Drawing::blocksChanged, [&] { ++told; });
    EXPECT_EQ(loadBlockFile(d, path), QStringLiteral("PATCH PANEL"));
    ASSERT_NE(d.document().block(QStringLiteral("PATCH PANEL")), nullptr);
    EXPECT_EQ(d.document().block(QStringLiteral("PATCH PANEL"))->entities.size(), 1u);
    EXPECT_EQ(told, 1);
    EXPECT_TRUE(d.modified());
    // Loaded again: the block already there is kept and nobody is told.
    EXPECT_EQ(loadBlockFile(d, path), QStringLiteral("PATCH PANEL"));
    EXPECT_EQ(told, 1);
    EXPECT_THROW(loadBlockFile(d, dir.filePath(QStringLiteral("none.dxf"))), cad::DxfError);
    EXPECT_EQ(told, 1);
}

}  // namespace
