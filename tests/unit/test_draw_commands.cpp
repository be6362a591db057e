// Drawing commands run on a drawing with scripted answers: what the command table's entries
// change, what they keep, and that each is one undo step.
#include <gtest/gtest.h>

#include "drawings/draw_commands.h"
#include "drawings/drawing.h"
#include "script_fixture.h"
#include "ui/ui.h"

using namespace tolvane;

namespace {

const DrawingCommand& command(const char* key) {
    for (const QList<DrawingCommand>* family : drawingCommandFamilies())
        for (const DrawingCommand& c : *family)
            if (qstrcmp(c.key.key(), key) == 0) return c;
    throw std::runtime_error(key);
}

}  // namespace

TEST(DrawCommands, AttributeEditorKeepsReadOnlyTagsAndIsOneUndoStep) {
    cad::Document doc;
    cad::Block& block = doc.addBlock(QStringLiteral("UNIT"));
    for (const char* tag : {"SysName", "Read Only EquipID"}) {
        cad::Entity def = cad::Entity::attributeDefinition({0, 0}, QString::fromLatin1(tag),
                                                           QString(), QStringLiteral("old"), 0.25);
        doc.add(block, def);
    }
    Drawing d(std::move(doc));
    const QString insert = d.placeBlock(QStringLiteral("UNIT"), {5, 5});
    d.undo().clear();

    test::ScriptedUser user("");
    CommandContext context{{insert}, 0.1, {}, {}, {}};
    QList<AttributeRow> shown;
    context.windows.editAttributes = [&shown](QList<AttributeRow>& rows) {
        shown = rows;
        for (AttributeRow& r : rows) r.value = QStringLiteral("new");  // even the read-only one
        return true;
    };
    command("catDEditAttrib").run(d, *user.ui, context);
    ASSERT_EQ(shown.size(), 2);
    EXPECT_FALSE(shown[0].readOnly);
    EXPECT_TRUE(shown[1].readOnly);
    const cad::Entity* e = d.document().find(insert);
    EXPECT_EQ(e->attributes[0].text, QStringLiteral("new"));
    EXPECT_EQ(e->attributes[1].text, QStringLiteral("old"));
    d.undo().undo();
    EXPECT_EQ(d.document().find(insert)->attributes[0].text, QStringLiteral("old"));
}

// An array whose rows times columns overflow, or whose copies of the selection would be too
// many, is refused with nothing added.
TEST(DrawCommands, ArrayTooLargeIsRefused) {
    Drawing d;
    const QString line = d.editor().add(cad::Entity::line({0, 0}, {1, 0}));
    test::ScriptedUser user("button OK\nbutton OK\n");
    for (const auto& [rows, columns] : {std::pair{4, 1073741825}, std::pair{2000, 2000}}) {
        CommandContext context{{line}, 0.1, {}, {}, {}};
        context.windows.array = [rows, columns]() -> std::optional<ArrayChoice> {
            ArrayChoice c;
            c.rows = rows;
            c.columns = columns;
            return c;
        };
        EXPECT_TRUE(command("catDArray").run(d, *user.ui, context).isEmpty());
        EXPECT_EQ(d.space().entities.size(), 1u);
    }
    EXPECT_EQ(user.transcript.count("MESSAGE"), 2);
}

// What a command draws takes the drawing's current layer, colour, line type and weight; a
// text its current height and style, unless it was given a height.
TEST(DrawCommands, NewEntitiesTakeTheCurrentSettings) {
    Drawing d;
    d.document().addLayer({QStringLiteral("CABLES")});
    d.document().setCurrentLayer(QStringLiteral("CABLES"));
    d.document().addTextStyle({QStringLiteral("TL_LABEL")});
    cad::DrawingSettings& current = d.document().settings();
    current.color = 5;
    current.lineType = QStringLiteral("DASHED");
    current.lineWeight = 35;
    current.textHeight = 0.4;
    current.textStyle = QStringLiteral("TL_LABEL");
    test::ScriptedUser user(
        "point 0,0\npoint 1,1\n"
        "point 2,2\ntext Hello\n"
        "point 3,3\ntext TAG\ntext v\ntext Y\ntext 0.7\n");
    const CommandContext context{{}, 0.1, {}, {}, {}};
    const QString line = command("catDLine").run(d, *user.ui, context).value(0);
    const QString text = command("catDText").run(d, *user.ui, context).value(0);
    const QString attribute = command("catDAttrib").run(d, *user.ui, context).value(0);
    const cad::Entity* e = d.document().find(line);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->layer, QStringLiteral("CABLES"));
    EXPECT_EQ(e->color, 5);
    EXPECT_EQ(e->lineType, QStringLiteral("DASHED"));
    EXPECT_EQ(e->lineWeight, 35);
    const cad::Entity* t = d.document().find(text);
    ASSERT_TRUE(t);
    EXPECT_DOUBLE_EQ(t->height, 0.4);
    EXPECT_EQ(t->style, QStringLiteral("TL_LABEL"));
    EXPECT_EQ(t->color, 5);
    EXPECT_DOUBLE_EQ(d.document().find(attribute)->height, 0.7);  // the height typed
}

// The polyline's options are typed by name or capital letter: Undo takes back the last vertex
// (the first one stays), Close needs three vertices and ends the polyline closed.
TEST(DrawCommands, PolylineOptionsUndoAndClose) {
    test::ScriptedUser user(
        "point 0,0\n"
        "point 10,0\n"
        "enter u\n"
        "enter UNDO\n"
        "enter c\n"
        "point 10,0\n"
        "point 10,10\n"
        "enter x\n"
        "enter Close\n");
    test::CommandLineHost host(*user.ui);
    user.ui->setHost(&host);
    Drawing d;
    const QString handle = drawPolyline(d, *user.ui);
    ASSERT_FALSE(handle.isEmpty()) << user.transcript.toStdString();
    const cad::Entity* e = d.document().find(handle);
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->closed);
    ASSERT_EQ(e->vertices.size(), 3);
    EXPECT_EQ(e->vertices[1].pos, QPointF(10, 0));
    EXPECT_EQ(e->vertices[2].pos, QPointF(10, 10));
    EXPECT_TRUE(user.transcript.contains("HISTORY Close needs at least two segments."));
    EXPECT_EQ(int(d.space().entities.size()), 1);  // the one taken back to its start is gone
    d.undo().undo();
    EXPECT_TRUE(d.space().entities.empty());  // one undo step for the whole polyline
}
