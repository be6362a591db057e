// The tag record in an entity's extended data: written once, read by position (the first
// reference by name), never touching another program's data; the block catalogue's kinds
// and tooltips; the field accessor of source and destination strings.
#include <gtest/gtest.h>

#include "drawings/entity_tag.h"

using namespace tolvane;

TEST(EntityTag, WrittenOnceReadAndSetOnlyOnOwnEntities) {
    cad::Entity cable = cad::Entity::polyline({{{0, 0}}, {{5, 0}}}, false);
    ASSERT_TRUE(tag::tagEntity(cable, tag::kind::Cable, "17", "", "", "", "2A|2B",
                               "VTR-01|OUT|1|BNC|A|S1", "MON-02|IN|2"));
    EXPECT_FALSE(tag::tagEntity(cable, tag::kind::CableNo, "99"));  // the first tag stays
    EXPECT_EQ(tag::kindOf(cable), tag::kind::Cable);
    EXPECT_EQ(tag::ref1(cable), QStringLiteral("17"));
    ASSERT_EQ(cable.xdata.size(), 1);
    EXPECT_EQ(cable.xdata[0].count(), 9);
    EXPECT_EQ(cable.xdata[0].items.last().name, QStringLiteral("Tolvanev2"));
    EXPECT_TRUE(tag::setRef2(cable, "18"));
    EXPECT_TRUE(tag::setAssoc(cable, "3A|3B"));
    EXPECT_EQ(tag::ref2(cable), QStringLiteral("18"));
    EXPECT_EQ(tag::assoc(cable), QStringLiteral("3A|3B"));
    EXPECT_EQ(tag::field(tag::src(cable), 3), QStringLiteral("BNC"));
    EXPECT_EQ(tag::field(tag::dst(cable), 2), QStringLiteral("2"));
    EXPECT_EQ(tag::field(tag::dst(cable), 5), QString());
    EXPECT_EQ(tag::field(tag::src(cable), 6), QString());

    // The first reference is found by name even when the items were reordered by hand.
    std::swap(cable.xdata[0].items[1], cable.xdata[0].items[2]);
    EXPECT_EQ(tag::ref1(cable), QStringLiteral("17"));

    tag::loadCurrentTag(cable);
    EXPECT_EQ(tag::currentTag().values.size(), 9);
    EXPECT_EQ(tag::currentTag().value(0), tag::kind::Cable);
    tag::clearCurrentTag();
    EXPECT_TRUE(tag::currentTag().value(0).isEmpty());

    // Another program's data under the same application name, without the marker.
    cad::Entity foreign = cad::Entity::line({0, 0}, {1, 1});
    cad::XData x;
    x.app = QStringLiteral("TOLVANEV2");
    x.add(QString(), 1000, QStringLiteral("Cable"));
    x.add(QString(), 1000, QStringLiteral("5"));
    foreign.xdata.append(x);
    const QList<cad::XData> before = foreign.xdata;
    EXPECT_FALSE(tag::isOwn(foreign));
    EXPECT_EQ(tag::kindOf(foreign), QString());
    EXPECT_EQ(tag::ref1(foreign), QString());
    EXPECT_FALSE(tag::setRef1(foreign, "1"));
    EXPECT_FALSE(tag::setAssoc(foreign, "1"));
    EXPECT_FALSE(tag::tagEntity(foreign, tag::kind::Cable));
    EXPECT_EQ(foreign.xdata, before);
    tag::loadCurrentTag(foreign);
    EXPECT_EQ(tag::currentTag().value(0), QString());
}

TEST(EntityTag, CatalogueBlocksGetKindAndTooltipOnce) {
    cad::Entity jack = cad::Entity::insert(QStringLiteral("JACK1_1_s"), {0, 0});
    EXPECT_EQ(tag::tagInsertedBlock(jack), tag::kind::Jack);
    EXPECT_EQ(jack.tooltip, QStringLiteral("Double-click this Jack\nto assign it to the DB"));
    EXPECT_EQ(tag::tagInsertedBlock(jack), QString());  // already tagged

    for (const char* name : {"LOOPIN", "term", "TERM_75", "MY_DESK"}) {
        cad::Entity symbol = cad::Entity::insert(QString::fromLatin1(name), {0, 0});
        EXPECT_EQ(tag::tagInsertedBlock(symbol), QString()) << name;
        EXPECT_TRUE(symbol.xdata.isEmpty()) << name;
        EXPECT_TRUE(symbol.tooltip.isEmpty()) << name;
    }
    cad::Entity pointer = cad::Entity::insert(QStringLiteral("pointer_d"), {0, 0});
    EXPECT_EQ(tag::tagInsertedBlock(pointer), tag::kind::Pointer);
    EXPECT_EQ(tag::catalogueEntry("rtr_s")->kind, tag::kind::Router);
    EXPECT_EQ(tag::catalogueEntry("Jbox_1_D")->name, QStringLiteral("JBOX_1_D"));
}
