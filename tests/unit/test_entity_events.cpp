// Entity events: standard blocks inserted through a drawing's editor get their tag, tooltip
// and first-use tips (unless the user turned that topic off); double-clicks run the command
// of the entity's kind, and nothing for kinds without one.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "drawings/command_router.h"
#include "drawings/drawing.h"
#include "drawings/entity_events.h"
#include "drawings/entity_tag.h"
#include "script_fixture.h"
#include "shell/error_handler.h"
#include "shell/event_log.h"
#include "shell/settings_store.h"

using namespace tolvane;

namespace {

struct Events {
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath("settings.ini")};
    test::ScriptedUser user{"button OK\n"};
    EventLog log;
    ErrorHandler handler{*user.ui, log};
    CommandRouter router{*user.ui, handler};
    QStringList seen;  // tips calls and routed keys, in order
    bool jackfields = false;
    EntityEvents events{*user.ui, settings, router,
                        EntityEvents::Tips{[this] { seen << "close tips"; },
                                           [this](const QString& t) { seen << "tips " + t; }},
                        [this] { return jackfields; }};
    Drawing drawing;

    Events() {
        for (const char* key : {"catWAssignSysNames", "catWAssignCable", "catDEditAttrib",
                                "catWLinkPointer", "catWAssignJack"})
            router.setAction(key, [this, key] { seen << key; });
        QObject::connect(&drawing, &Drawing::entityAdded,
                         [this](cad::Entity& e) { events.entityAdded(e); });
    }
    QString insert(const QString& block) {
        return drawing.editor().add(cad::Entity::insert(block, {0, 0}));
    }
    QString kind(const QString& handle) { return tag::kindOf(*drawing.document().find(handle)); }
};

}  // namespace

TEST(EntityEvents, InsertedStandardBlocksAreTaggedWithTheirTips) {
    Events f;
    const QString jack = f.insert("jack1_1_sd");
    EXPECT_EQ(f.kind(jack), tag::kind::Jack);  // tagged, so with its tooltip too
    EXPECT_EQ(f.seen, QStringList({"close tips", "tips JACK"}));

    f.seen.clear();
    f.settings.write(setting::ShowRtrTips, "0");
    EXPECT_EQ(f.kind(f.insert("RTR_D")), tag::kind::Router);
    EXPECT_EQ(f.seen, QStringList({"close tips"}));

    f.seen.clear();
    EXPECT_EQ(f.kind(f.insert("TERM")), QString());  // no kind of the catalogue: no tips
    EXPECT_TRUE(f.seen.isEmpty());

    // Undo and redo bring the insert back as it was tagged, without tagging it again.
    f.drawing.undo().undo();
    f.drawing.undo().undo();
    f.drawing.undo().redo();
    EXPECT_EQ(f.kind(f.drawing.document().modelSpace().entities.back().handle), tag::kind::Router);
    EXPECT_TRUE(f.seen.isEmpty());

    // Many blocks placed at once (a jackfield's jacks) show their tips once, at the end.
    f.events.holdTips();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(f.kind(f.insert("FN_JACK_SD")), tag::kind::Jack);
    EXPECT_TRUE(f.seen.isEmpty());
    f.events.releaseTips();
    EXPECT_EQ(f.seen, QStringList({"close tips", "tips JACK"}));

    // A block placed by a command that goes on asking for picks (a jack placed while cables
    // are drawn) shows its tips when the command has ended, not over its prompts.
    f.seen.clear();
    f.router.setAction("catWAddCables", [&f] {
        f.insert("JBOX_1_S");
        f.seen << "still picking";
    });
    f.router.route("catWAddCables");
    EXPECT_EQ(f.seen, QStringList({"still picking", "close tips", "tips JBOX"}));
}

TEST(EntityEvents, DoubleClickRunsTheCommandOfTheKind) {
    Events f;
    const QString pointerS = f.insert("POINTER_S"), pointerD = f.insert("pointer_d"),
                  jbox = f.insert("JBOX_1_S"), jack = f.insert("FN_JACK_D"),
                  plain = f.drawing.editor().add(cad::Entity::line({0, 0}, {1, 0}));
    cad::Entity cable = cad::Entity::polyline({{{0, 0}}, {{1, 0}}}, false);
    tag::tagEntity(cable, tag::kind::Cable);
    const QString cableHandle = f.drawing.editor().add(cable);
    f.seen.clear();

    for (const QString& h : {pointerS, plain}) f.events.doubleClicked(f.drawing, h);
    EXPECT_TRUE(f.seen.isEmpty());
    for (const QString& h : {pointerD, jbox, cableHandle}) f.events.doubleClicked(f.drawing, h);
    EXPECT_EQ(f.seen, QStringList({"catWLinkPointer", "catDEditAttrib", "catWAssignCable"}));

    f.events.doubleClicked(f.drawing, jack);  // no jackfields yet
    EXPECT_TRUE(f.user.transcript.contains("Please assign a Jack Field to the project."));
    f.jackfields = true;
    f.seen.clear();
    f.events.doubleClicked(f.drawing, jack);
    EXPECT_EQ(f.seen, QStringList({"catWAssignJack"}));
}
