// The style rules the style windows rely on: names, numbers typed into fields, the STANDARD
// dimension style, and writing a style back only when it changed.
#include <gtest/gtest.h>

#include "drawings/drawing.h"
#include "drawings/styles.h"

using namespace tolvane;

TEST(Styles, StandardDimensionStaysAndRemovalMovesTheCurrentStyleToTheFirst) {
    Drawing d;
    EXPECT_EQ(addDimStyle(d, cad::DimStyle{"PLAN"}), "");
    EXPECT_EQ(addDimStyle(d, cad::DimStyle{" ELEC "}), "");
    EXPECT_EQ(d.document().settings().dimStyle, "ELEC");  // a new style becomes current
    EXPECT_TRUE(d.modified());
    for (const char* name : {"STANDARD", "standard", "Standard"}) {
        EXPECT_EQ(removeDimStyle(d, name), "Cannot remove the STANDARD Dimension Style");
        EXPECT_EQ(d.document().dimStyles().size(), 3);
    }
    EXPECT_EQ(removeDimStyle(d, "elec"), "");
    ASSERT_EQ(d.document().dimStyles().size(), 2);
    EXPECT_EQ(d.document().dimStyles()[1].name, "PLAN");
    EXPECT_EQ(d.document().settings().dimStyle, "Standard");
    EXPECT_NE(removeDimStyle(d, "ELEC"), "");  // gone already

    // Names: none, one DXF forbids, one taken in another case.
    EXPECT_NE(addDimStyle(d, cad::DimStyle{"  "}), "");
    EXPECT_NE(addDimStyle(d, cad::DimStyle{"A|B"}), "");
    EXPECT_EQ(addDimStyle(d, cad::DimStyle{"plan"}),
              "There is a dimension style named PLAN already.");
    EXPECT_EQ(addTextStyle(d, cad::TextStyle{"STANDARD"}),
              "There is a text style named Standard already.");
    EXPECT_EQ(d.document().dimStyles().size(), 2);
}

TEST(Styles, FieldNumbersNameTheFieldWhenWrong) {
    QString why;
    EXPECT_EQ(fieldNumber("Height:", " 2.5 ", 0, &why), 2.5);
    EXPECT_FALSE(fieldNumber("Height:", "abc", 0, &why));
    EXPECT_EQ(why, "Height must be a number (\"abc\" is not one).");
    EXPECT_FALSE(fieldNumber("Width:", "", 0.01, &why));
    EXPECT_TRUE(why.startsWith("Width must be a number"));
    EXPECT_FALSE(fieldNumber("Scale:", "0", 1e-6, &why));
    EXPECT_TRUE(why.startsWith("Scale must be at least"));
    EXPECT_FALSE(fieldNumber("Size:", "inf", 0, &why));
}

TEST(Styles, ApplyWritesChangesOnlyAndPointModeCombinesShapeAndFrames) {
    Drawing d;
    cad::TextStyle same = *d.document().textStyle("Standard");
    applyTextStyle(d, same);
    applyDimStyle(d, *d.document().dimStyle("Standard"));
    applyPointStyle(d, pointStyle(d.document()));
    EXPECT_FALSE(d.modified());  // nothing changed, nothing to save
    same.bold = true;
    applyTextStyle(d, same);
    EXPECT_TRUE(d.document().textStyle("STANDARD")->bold);
    EXPECT_TRUE(d.modified());

    applyPointStyle(d, PointStyle{3, true, true, 0.5});
    EXPECT_EQ(d.document().settings().pointMode, 3 + 32 + 64);
    EXPECT_EQ(d.document().settings().pointSize, 0.5);
    const PointStyle back = pointStyle(d.document());
    EXPECT_EQ(back.shape, 3);
    EXPECT_TRUE(back.circle && back.square);
    EXPECT_EQ(PointStyle::of(64 + 4, 0).shape, 4);
    EXPECT_FALSE(PointStyle::of(64 + 4, 0).circle);
    EXPECT_EQ(PointStyle::of(7, 0).shape, 4);  // a shape beyond the five is kept in range
}
