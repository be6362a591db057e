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
            if (qstrcmp(c.key, key) == 0) return c;
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
