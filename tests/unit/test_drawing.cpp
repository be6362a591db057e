// An open drawing: picks by point and by handle in the space shown, indexes that follow the
// editor, undo and a change of space, the unsaved mark and layouts changed while shown.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "cad/cad_error.h"
#include "cad/render.h"
#include "drawings/drawing.h"
#include "drawings/layers.h"
#include "script_fixture.h"
#include "ui/ui.h"

using namespace tolvane;

TEST(Drawing, PicksFollowEditsUndoAndSpaces) {
    cad::Document doc;
    doc.addLayout(QStringLiteral("Sheet 1"));
    Drawing d(std::move(doc));
    int repaint = 0;
    QObject::connect(&d, &Drawing::contentChanged, [&] { ++repaint; });
    const QString line = d.editor().add(cad::Entity::line({0, 0}, {10, 0}));
    EXPECT_EQ(d.entityAt({5, 0.05}, 0.1), line);
    EXPECT_GT(repaint, 0);

    d.editor().move({line}, {0, 10});
    EXPECT_EQ(d.entityAt({5, 10}, 0.1), line);
    d.undo().undo();
    EXPECT_EQ(d.entityAt({5, 0}, 0.1), line);  // the index followed the undo
    EXPECT_TRUE(d.entityAt({5, 10}, 0.1).isEmpty());

    PickAnswer byHandle;
    byHandle.cancelled = false;
    byHandle.handle = QStringLiteral("0") + line.toLower();
    EXPECT_EQ(d.entityFor(byHandle, 0.1), line);
    byHandle.cancelled = true;
    EXPECT_TRUE(d.entityFor(byHandle, 0.1).isEmpty());

    ASSERT_TRUE(d.setSpace(QStringLiteral("sheet 1")));
    EXPECT_TRUE(d.entityAt({5, 0}, 0.1).isEmpty());
    const QString onSheet = d.editor().add(cad::Entity::circle({5, 0}, 1));
    EXPECT_EQ(d.entityAt({6, 0}, 0.1), onSheet);
    EXPECT_FALSE(d.setSpace(QStringLiteral("Sheet 2")));
    d.setSpace(QStringLiteral("Model"));
    EXPECT_EQ(d.entityAt({5, 0}, 0.1), line);

    // A change made beside the editor is seen after changed().
    d.document().modelSpace().entities.clear();
    d.changed();
    EXPECT_TRUE(d.entityAt({5, 0}, 0.1).isEmpty());
}

TEST(Drawing, InteractiveInsertPlacesTheBlockWithItsAttributesAtThePickedPoint) {
    cad::Document doc;
    cad::Block& block = doc.addBlock(QStringLiteral("UNIT"), {0, 0});
    block.entities.push_back(cad::Entity::line({0, 0}, {4, 0}));
    cad::Entity def = cad::Entity::textAt({1, 1}, QStringLiteral("SysName"), 0.25);
    def.kind = cad::EntityKind::AttributeDefinition;
    def.tag = QStringLiteral("SysName");
    block.entities.push_back(def);
    Drawing d(std::move(doc));

    test::ScriptedUser user("point 10,20\nescape\n");
    const QString handle = d.insertBlock(*user.ui, QStringLiteral("unit"));
    const cad::Entity* insert = d.document().find(handle);
    ASSERT_NE(insert, nullptr);
    EXPECT_EQ(insert->start, QPointF(10, 20));
    ASSERT_EQ(insert->attributes.size(), 1u);
    EXPECT_EQ(insert->attributes[0].start, QPointF(11, 21));
    EXPECT_EQ(d.entityAt({12, 20}, 0.1), handle);
    // On the attribute's text the point search finds the attribute; an entity pick, its block.
    PickAnswer onText;
    onText.cancelled = false;
    onText.point = QPointF(11.2, 21.1);
    EXPECT_NE(d.entityAt(*onText.point, 0.1), handle);
    EXPECT_EQ(d.entityFor(onText, 0.1), handle);

    EXPECT_TRUE(d.insertBlock(*user.ui, QStringLiteral("UNIT")).isEmpty());  // Escape
    EXPECT_EQ(d.space().entities.size(), 1u);
    EXPECT_THROW(d.insertBlock(*user.ui, QStringLiteral("NONE")), cad::CadError);
}

// A window shows its drawing before indexing it: the whole redraw does not build the index,
// the first search or change does, and a change made first is not lost. The extents, which the
// first paint needs anyway, take the space in (one this small is built at once).
TEST(Drawing, IndexesWaitForFirstUseAndAreRebuiltInPlace) {
    cad::Document doc;
    doc.addToModel(cad::Entity::line({0, 0}, {10, 0}));
    Drawing d(std::move(doc));
    const cad::SpatialIndex* held = &d.index();  // as a view holds it
    EXPECT_FALSE(held->ready());
    QImage image(64, 64, QImage::Format_RGB32);
    QPainter painter(&image);
    cad::View view(image.size(), {}, 1.0);
    view.zoomExtents(cad::spaceExtents(d.document(), d.space()));
    cad::renderSpace(painter, d.document(), d.space(), view, {}, held);
    painter.end();
    EXPECT_FALSE(held->ready());
    const QString circle = d.editor().add(cad::Entity::circle({50, 0}, 1));
    EXPECT_TRUE(held->ready());
    EXPECT_EQ(held->size(), 2);
    EXPECT_EQ(d.entityAt({51, 0}, 0.1), circle);

    d.document().modelSpace().entities.push_back(cad::Entity::line({0, 5}, {10, 5}));
    d.document().modelSpace().entities.back().handle = QStringLiteral("7F");
    d.changed();
    EXPECT_EQ(&d.index(), held);
    EXPECT_EQ(d.entityAt({5, 5}, 0.1), QStringLiteral("7F"));

    d.changed();
    EXPECT_FALSE(held->ready());
    const cad::BBox taken = cad::spaceExtents(d.document(), d.space(), held);
    EXPECT_TRUE(held->ready());
    EXPECT_EQ(taken.x1, 51.0);
    EXPECT_EQ(taken.y1, 5.0);
}

// The unsaved mark follows undo and redo back to the saved state; a change undo cannot take
// back (a block loaded, a change without recording) keeps it until the next save.
TEST(Drawing, UnsavedMarkGoesWhenUndoReturnsToTheSavedState) {
    Drawing d;
    d.setModified(false);
    const QString line = d.editor().add(cad::Entity::line({0, 0}, {10, 0}));
    EXPECT_TRUE(d.modified());
    d.undo().undo();
    EXPECT_FALSE(d.modified());
    d.undo().redo();
    EXPECT_TRUE(d.modified());

    // Saved with the line: undoing it is a change, redoing it is the saved state again.
    d.setModified(false);
    {
        cad::UndoGroup step(d.undo());
        d.editor().move({line}, {0, 5});
        EXPECT_TRUE(d.modified());  // a step still open is a change already
        d.editor().move({line}, {0, 5});
        step.commit();
    }
    EXPECT_TRUE(d.modified());
    d.undo().undo();
    EXPECT_FALSE(d.modified());
    d.undo().undo();
    EXPECT_TRUE(d.modified());
    d.undo().redo();
    EXPECT_FALSE(d.modified());

    // A new step after an undo makes the saved state unreachable by redo.
    d.undo().undo();
    d.editor().add(cad::Entity::circle({1, 1}, 1));
    EXPECT_TRUE(d.modified());
    EXPECT_FALSE(d.undo().redo());
    d.undo().undo();
    EXPECT_TRUE(d.modified());  // back to the state before the saved one

    // Changes undo cannot take back keep the mark.
    d.undo().redo();
    d.setModified(false);
    d.undo().setRecording(false);
    d.editor().add(cad::Entity::circle({2, 2}, 1));
    d.undo().setRecording(true);
    EXPECT_TRUE(d.modified());
    d.setModified(false);
    d.undo().clear();
    EXPECT_FALSE(d.modified());
    d.setModified(true);  // a block loaded into the table
    d.undo().undo();
    EXPECT_TRUE(d.modified());
}

// Layouts added, renamed and removed while one is shown: whoever shows the space is told when
// it moved in memory, undo keeps to the layout its steps were made in (following a rename,
// forgetting a removed one rather than filling a new layout of the same name), and a handle
// typed from another space is not picked.
TEST(Drawing, LayoutChangesKeepSpaceUndoAndPicksStraight) {
    Drawing d;
    ASSERT_TRUE(addLayout(d, QStringLiteral("A1")).isEmpty());
    ASSERT_TRUE(d.setSpace(QStringLiteral("A1")));
    const cad::Space* told = &d.space();
    QObject::connect(&d, &Drawing::spaceChanged, [&] { told = &d.space(); });
    for (const char* name : {"A2", "A3", "A4", "A5", "A6"})
        ASSERT_TRUE(addLayout(d, QString::fromLatin1(name)).isEmpty());
    EXPECT_EQ(&d.space(), d.spaceNamed(QStringLiteral("A1")));
    EXPECT_EQ(told, &d.space());

    const QString line = d.editor().add(cad::Entity::line({0, 0}, {5, 0}));
    ASSERT_TRUE(renameLayout(d, QStringLiteral("A1"), QStringLiteral("Sheet")).isEmpty());
    EXPECT_EQ(told, d.spaceNamed(QStringLiteral("Sheet")));
    EXPECT_TRUE(d.undo().undo());
    EXPECT_TRUE(d.spaceNamed(QStringLiteral("Sheet"))->entities.empty());
    EXPECT_TRUE(d.undo().redo());
    EXPECT_EQ(d.entityAt({2, 0}, 0.1), line);

    d.setSpace(QStringLiteral("A2"));
    const QString other = d.editor().add(cad::Entity::point({1, 1}));
    d.editor().erase(other);
    ASSERT_TRUE(d.setSpace(QStringLiteral("Sheet")));
    PickAnswer typed;
    typed.cancelled = false;
    typed.handle = other;
    d.setSpace(QStringLiteral("A3"));
    ASSERT_TRUE(removeLayout(d, QStringLiteral("A2")).isEmpty());
    ASSERT_TRUE(addLayout(d, QStringLiteral("A2")).isEmpty());
    // The steps in the removed layout are gone: undo takes back the line drawn before them.
    d.undo().undo();
    EXPECT_TRUE(d.spaceNamed(QStringLiteral("A2"))->entities.empty());
    EXPECT_TRUE(d.spaceNamed(QStringLiteral("Sheet"))->entities.empty());
    d.undo().redo();
    typed.handle = line;  // in Sheet, not in the layout shown
    EXPECT_TRUE(d.entityFor(typed, 0.1).isEmpty());
    d.setSpace(QStringLiteral("Sheet"));
    EXPECT_EQ(d.entityFor(typed, 0.1), line);
}
