// The undo stack of the drawing engine: groups undone as one step, redo, recording off,
// handles and draw order kept, and a spatial index kept in step through the listener.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "cad/editing.h"
#include "cad/picking.h"
#include "cad/undo.h"

using namespace tolvane::cad;

namespace {

std::vector<QString> handles(const Space& s) {
    std::vector<QString> out;
    for (const Entity& e : s.entities) out.push_back(e.handle);
    return out;
}

struct Fixture {
    Document doc;
    UndoStack undo{doc};
    Space& model() { return doc.modelSpace(); }
    QString add(Entity e) {
        const QString h = doc.addToModel(std::move(e)).handle;
        undo.recordAdded(model(), h);
        return h;
    }
    void erase(const QString& h) {
        undo.recordErasing(model(), h);
        doc.erase(h);
    }
    void move(const QString& h, QPointF by) {
        undo.recordModifying(model(), h);
        Entity* e = doc.find(h);
        e->start += by;
        e->end += by;
    }
};

}  // namespace

TEST(CadUndo, StepsGroupsAndRedo) {
    Fixture f;
    const QString a = f.add(Entity::line({0, 0}, {1, 0}));
    EXPECT_TRUE(f.undo.mark("BEGIN"));
    const QString b = f.add(Entity::line({0, 1}, {1, 1}));
    f.undo.begin();  // nested groups belong to the outer one
    const QString c = f.add(Entity::circle({5, 5}, 1));
    f.undo.end();
    f.move(a, {10, 0});
    EXPECT_TRUE(f.undo.mark("end"));
    EXPECT_FALSE(f.undo.mark("SIDEWAYS"));
    EXPECT_EQ(f.undo.undoCount(), 2);

    ASSERT_TRUE(f.undo.undo());  // the whole group at once
    EXPECT_EQ(handles(f.model()), std::vector<QString>{a});
    EXPECT_EQ(f.doc.find(a)->start, QPointF(0, 0));
    EXPECT_EQ(f.doc.find(b), nullptr);
    ASSERT_TRUE(f.undo.redo());
    EXPECT_EQ(handles(f.model()), (std::vector<QString>{a, b, c}));
    EXPECT_EQ(f.doc.find(a)->start, QPointF(10, 0));
    EXPECT_EQ(f.doc.find(c)->radius, 1.0);
    ASSERT_TRUE(f.undo.undo());
    ASSERT_TRUE(f.undo.undo());
    EXPECT_TRUE(f.model().entities.empty());
    EXPECT_FALSE(f.undo.undo());
    EXPECT_EQ(f.undo.redoCount(), 2);
    ASSERT_TRUE(f.undo.redo());
    EXPECT_EQ(handles(f.model()), std::vector<QString>{a});
    // A new change drops what could have been redone.
    f.add(Entity::point({3, 3}));
    EXPECT_FALSE(f.undo.canRedo());
    // An empty group leaves no step.
    f.undo.begin();
    f.undo.end();
    EXPECT_EQ(f.undo.undoCount(), 2);
}

// A cancelled group takes back its own changes, newest first, and nothing recorded before
// it; the outer group still closes as one step.
TEST(CadUndo, CancelledGroupTakesBackItsChanges) {
    Fixture f;
    const QString a = f.add(Entity::line({0, 0}, {1, 0}));
    const quint64 before = f.undo.state();
    {
        UndoGroup outer(f.undo);
        f.move(a, {1, 0});
        {
            UndoGroup inner(f.undo);
            const QString b = f.add(Entity::circle({5, 5}, 1));
            f.move(b, {1, 1});
            f.move(a, {0, 7});
            f.erase(a);
            inner.cancel();
        }
        EXPECT_EQ(handles(f.model()), std::vector<QString>{a});
        EXPECT_EQ(f.doc.find(a)->start, QPointF(1, 0));  // the outer group's move stays
        outer.commit();
    }
    EXPECT_EQ(f.undo.undoCount(), 2);
    ASSERT_TRUE(f.undo.undo());
    EXPECT_EQ(f.doc.find(a)->start, QPointF(0, 0));
    EXPECT_EQ(f.undo.state(), before);
    {
        UndoGroup whole(f.undo);
        f.erase(a);
        whole.cancel();
    }
    EXPECT_EQ(handles(f.model()), std::vector<QString>{a});
    EXPECT_EQ(f.undo.undoCount(), 1);  // nothing left to make a step of

    // A group left without a commit, by a failure or an early return, is cancelled.
    try {
        UndoGroup failing(f.undo);
        f.move(a, {3, 3});
        f.add(Entity::circle({5, 5}, 1));
        throw std::runtime_error("failed half-way");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(handles(f.model()), std::vector<QString>{a});
    EXPECT_EQ(f.doc.find(a)->start, QPointF(0, 0));
    EXPECT_EQ(f.undo.undoCount(), 1);
}

// Entities brought to the front or sent to the back keep their handles and their order among
// themselves; undo puts them back where they were and redo where they went.
TEST(CadUndo, ReorderedEntitiesComeBackInPlace) {
    Fixture f;
    std::vector<QString> h;
    for (int i = 0; i < 5; ++i) h.push_back(f.add(Entity::point({double(i), 0})));
    SpaceEditor editor(f.doc, f.model(), &f.undo);
    EXPECT_EQ(editor.reorder({h[3], h[1]}, false), (QStringList{h[1], h[3]}));
    EXPECT_EQ(handles(f.model()), (std::vector<QString>{h[1], h[3], h[0], h[2], h[4]}));
    editor.reorder({h[0]}, true);
    EXPECT_EQ(handles(f.model()), (std::vector<QString>{h[1], h[3], h[2], h[4], h[0]}));
    ASSERT_TRUE(f.undo.undo());
    ASSERT_TRUE(f.undo.undo());
    EXPECT_EQ(handles(f.model()), h);
    ASSERT_TRUE(f.undo.redo());
    EXPECT_EQ(handles(f.model()), (std::vector<QString>{h[1], h[3], h[0], h[2], h[4]}));
}

TEST(CadUndo, EraseKeepsHandlesOrderAndAttributes) {
    Fixture f;
    f.doc.addBlock("DEV");
    Entity ins = Entity::insert("DEV", {0, 0});
    ins.attributes.push_back(Entity::attribute({0, 0}, "NAME", "RACK1", 1.0));
    ins.xdata.append(XData{"Tolvanev2", {{"Entity_Type", 1000, "Device"}}});
    const QString first = f.add(Entity::line({0, 0}, {1, 0}));
    const QString insert = f.add(ins);
    const QString last = f.add(Entity::line({0, 2}, {1, 2}));
    const QString attr = f.doc.find(insert)->attributes[0].handle;
    f.undo.begin();
    f.erase(insert);
    f.erase(first);
    f.undo.end();
    EXPECT_EQ(handles(f.model()), std::vector<QString>{last});
    // The restored entities come back with their own handles, attributes, extended data
    // and draw positions.
    ASSERT_TRUE(f.undo.undo());
    EXPECT_EQ(handles(f.model()), (std::vector<QString>{first, insert, last}));
    const Entity* back = f.doc.find(insert);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->attributes[0].handle, attr);
    EXPECT_EQ(f.doc.find(attr)->text, "RACK1");
    EXPECT_EQ(back->xdataFor("Tolvanev2")->item("Entity_Type")->value, "Device");
    ASSERT_TRUE(f.undo.redo());
    EXPECT_EQ(handles(f.model()), std::vector<QString>{last});
    EXPECT_EQ(f.doc.find(attr), nullptr);
}

TEST(CadUndo, ExtendedDataChangedInPlaceComesBack) {
    // Written through the non-const lookups, as tag setters do: the snapshot keeps its values.
    Fixture f;
    Entity line = Entity::line({0, 0}, {1, 0});
    XData x;
    x.app = "Tolvanev2";
    x.add("DB_Ref_2", 1000, "");
    line.xdata.append(x);
    const QString h = f.add(line);
    f.undo.recordModifying(f.model(), h);
    f.doc.find(h)->xdataFor("tolvanev2")->items[0].value = "42";
    f.undo.recordModifying(f.model(), h);
    f.doc.find(h)->xdataFor("Tolvanev2")->item("db_ref_2")->value = "43";
    ASSERT_TRUE(f.undo.undo());
    EXPECT_EQ(f.doc.find(h)->xdataFor("Tolvanev2")->items[0].value, "42");
    ASSERT_TRUE(f.undo.undo());
    EXPECT_EQ(f.doc.find(h)->xdataFor("Tolvanev2")->items[0].value, "");
    ASSERT_TRUE(f.undo.redo());
    EXPECT_EQ(f.doc.find(h)->xdataFor("Tolvanev2")->items[0].value, "42");
}

TEST(CadUndo, RecordingOffAndOtherSpaces) {
    Fixture f;
    const QString a = f.add(Entity::line({0, 0}, {1, 0}));
    f.undo.mark("OFF");
    EXPECT_FALSE(f.undo.isRecording());
    f.move(a, {5, 0});  // not recorded
    const QString b = f.add(Entity::circle({0, 0}, 1));
    f.undo.setRecording(true);
    EXPECT_EQ(f.undo.undoCount(), 1);
    ASSERT_TRUE(f.undo.undo());  // undoes the first add only
    EXPECT_EQ(handles(f.model()), std::vector<QString>{b});
    ASSERT_TRUE(f.undo.redo());
    EXPECT_EQ(handles(f.model()), (std::vector<QString>{a, b}));
    EXPECT_EQ(f.doc.find(a)->start, QPointF(5, 0));  // as it was when undone
    // Changes in a layout are undone there; unknown handles are not recorded.
    Space& sheet = f.doc.addLayout("Sheet1");
    const QString s = f.doc.add(sheet, Entity::textAt({0, 0}, "TITLE", 2)).handle;
    EXPECT_TRUE(f.undo.recordAdded(f.doc.layouts()[0], s));
    EXPECT_FALSE(f.undo.recordErasing(f.model(), "FFFF"));
    ASSERT_TRUE(f.undo.undo());
    EXPECT_TRUE(f.doc.layouts()[0].entities.empty());
    EXPECT_EQ(f.model().entities.size(), 2u);
}

TEST(CadUndo, IndexFollowsUndoAndRedo) {
    Fixture f;
    SpatialIndex index;
    f.undo.setListener(indexListener(f.doc, f.model(), index));
    const QString low = f.add(Entity::line({0, 0}, {10, 0}));
    const QString high = f.add(Entity::line({5, -5}, {5, 5}));
    index.build(f.doc, f.model());
    auto pick = [&](QPointF p) { return pointSearch(f.doc, f.model(), index, p, 0.1).handle; };
    ASSERT_EQ(pick({5, 0}), high);

    f.erase(low);
    index.remove(low);
    f.move(high, {20, 0});
    index.update(f.doc, *f.doc.find(high));
    EXPECT_EQ(pick({2, 0}), QString());
    EXPECT_EQ(pick({25, 0}), high);

    ASSERT_TRUE(f.undo.undo());  // move back
    EXPECT_EQ(pick({5, 0}), high);
    EXPECT_EQ(pick({25, 0}), QString());
    ASSERT_TRUE(f.undo.undo());  // erased line back under the other
    EXPECT_EQ(pick({2, 0}), low);
    EXPECT_EQ(pick({5, 0}), high);  // draw order restored: still topmost
    EXPECT_EQ(index.size(), 2);
    ASSERT_TRUE(f.undo.undo());  // the add of `high`
    EXPECT_EQ(pick({5, 0}), low);
    EXPECT_FALSE(index.contains(high));
    ASSERT_TRUE(f.undo.redo());
    ASSERT_TRUE(f.undo.redo());
    EXPECT_FALSE(index.contains(low));
    EXPECT_EQ(pick({5, 0}), high);
    // The index agrees with a fresh build.
    SpatialIndex fresh;
    fresh.build(f.doc, f.model());
    EXPECT_EQ(fresh.size(), index.size());
    std::vector<QString> kept = index.queryRect({-100, -100, 100, 100});
    std::vector<QString> rebuilt = fresh.queryRect({-100, -100, 100, 100});
    std::sort(kept.begin(), kept.end());
    std::sort(rebuilt.begin(), rebuilt.end());
    EXPECT_EQ(kept, rebuilt);
}

// Handle lookup remembers where entities are; it must stay right while lists are edited in
// place (erase, undo putting an entity back in its old position) and in a copied document.
TEST(CadDocument, HandleLookupFollowsEditsAndCopies) {
    Fixture f;
    std::vector<QString> lines;
    for (int i = 0; i < 6; ++i)
        lines.push_back(f.add(Entity::line({0, double(i)}, {9, double(i)})));
    Entity ins = Entity::insert(QStringLiteral("B"), {5, 5});
    ins.attributes.push_back(
        Entity::attribute({5, 5}, QStringLiteral("A"), QStringLiteral("1"), 1));
    ins.attributes.push_back(
        Entity::attribute({5, 6}, QStringLiteral("B"), QStringLiteral("2"), 1));
    const QString insert = f.add(ins);
    const QString attrB = f.doc.find(insert)->attributes[1].handle;
    Block& block = f.doc.addBlock(QStringLiteral("B"));
    const QString inBlock = f.doc.add(block, Entity::circle({0, 0}, 1)).handle;
    const QString inLayout =
        f.doc.add(f.doc.addLayout(QStringLiteral("Sheet")), Entity::point({1, 1})).handle;

    f.erase(lines[1]);
    ASSERT_NE(f.doc.find(lines[4]), nullptr);
    EXPECT_EQ(f.doc.find(lines[4])->start, QPointF(0, 4));
    EXPECT_EQ(f.doc.find(lines[1]), nullptr);
    EXPECT_TRUE(f.doc.erase(f.doc.find(insert)->attributes[0].handle));
    ASSERT_NE(f.doc.find(attrB), nullptr);
    EXPECT_EQ(f.doc.find(attrB)->tag, QStringLiteral("B"));
    EXPECT_EQ(f.doc.find(QLatin1String("00") + inBlock)->kind, EntityKind::Circle);
    EXPECT_EQ(f.doc.find(inLayout)->kind, EntityKind::Point);

    // Undo puts the erased line back where it was.
    f.undo.undo();
    ASSERT_NE(f.doc.find(lines[1]), nullptr);
    EXPECT_EQ(f.doc.find(lines[1])->start, QPointF(0, 1));
    EXPECT_EQ(f.doc.find(lines[5])->start, QPointF(0, 5));

    Document copy = f.doc;
    f.doc.erase(lines[0]);
    f.doc.modelSpace().entities.clear();
    ASSERT_NE(copy.find(lines[2]), nullptr);
    EXPECT_EQ(copy.find(lines[2])->start, QPointF(0, 2));
    EXPECT_EQ(f.doc.find(lines[2]), nullptr);
    // A handle reserved by a record that is no entity is found once it becomes one.
    f.doc.reserveHandle(QStringLiteral("F000"));
    EXPECT_EQ(f.doc.find(QStringLiteral("F000")), nullptr);
    Entity late = Entity::point({2, 2});
    late.handle = QStringLiteral("F001");
    EXPECT_EQ(f.doc.addToModel(late).handle, QStringLiteral("F001"));
    EXPECT_NE(f.doc.find(QStringLiteral("f001")), nullptr);
}

// A history kept within its limit forgets its oldest steps, never the last one; the drawing
// undone as far as it goes is what the oldest kept step started from.
TEST(CadUndo, LimitForgetsTheOldestStepsOnly) {
    Fixture f;
    const QString a = f.add(Entity::line({0, 0}, {1, 0}));
    for (int i = 0; i < 9; ++i) f.move(a, {1, 0});  // a at x 9
    const size_t ten = f.undo.bytes();
    ASSERT_GT(ten, 0u);
    EXPECT_EQ(f.undo.undoCount(), 10);

    f.undo.setLimit(ten / 2);  // about five of the ten steps fit
    EXPECT_LE(f.undo.bytes(), ten / 2);
    const int kept = f.undo.undoCount();
    EXPECT_GE(kept, 4);
    EXPECT_LE(kept, 5);
    while (f.undo.undo()) {
    }
    EXPECT_EQ(f.doc.find(a)->start, QPointF(9 - kept, 0));  // the line stays
    EXPECT_EQ(f.undo.redoCount(), kept);
    // Redone whole, the drawing comes back; new steps drop the redo and stay in the limit.
    while (f.undo.redo()) {
    }
    EXPECT_EQ(f.doc.find(a)->start, QPointF(9, 0));
    const quint64 saved = f.undo.state();
    f.undo.undo();
    f.move(a, {0, 1});
    EXPECT_EQ(f.undo.redoCount(), 0);
    EXPECT_LE(f.undo.bytes(), ten / 2);
    EXPECT_NE(f.undo.state(), saved);

    // A step larger than the limit is kept alone: the last change can always be undone.
    f.undo.setLimit(1);
    EXPECT_EQ(f.undo.undoCount(), 1);
    ASSERT_TRUE(f.undo.undo());
    EXPECT_EQ(f.doc.find(a)->start, QPointF(8, 0));
    EXPECT_FALSE(f.undo.undo());
    f.undo.clear();
    EXPECT_EQ(f.undo.bytes(), 0u);
}
