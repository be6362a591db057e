// The designer's operations on a layout: grid snapping, moving and resizing (locked controls
// stay put, nothing leaves its section), alignment and sizes on the first selected control,
// front/back order, deletion, placing with unique names, hit testing and rubber bands, and
// the traits that enable the formatting commands.
#include <gtest/gtest.h>

#include "reports/layout_document.h"
#include "reports/layout_editing.h"

using namespace tolvane::reports;

namespace {

const SectionRef kDetail{SectionKind::Detail};
const SectionRef kHeader{SectionKind::PageHeader};

Control box(ControlKind kind, QRect rect, const QString& name = {}) {
    return Control{.name = name, .kind = kind, .rect = rect};
}

// Detail: a label, a field and a line; page header: a label.
ReportLayout sample() {
    ReportLayout l;
    l.detail.height = 1440;
    l.detail.controls << box(ControlKind::Label, QRect(240, 120, 1200, 300), "Label1")
                      << box(ControlKind::Field, QRect(1800, 400, 900, 240), "Field1")
                      << box(ControlKind::Line, QRect(0, 1000, 3000, 0), "Line1");
    l.pageHeader.height = 400;
    l.pageHeader.controls << box(ControlKind::Label, QRect(0, 0, 2000, 300), "Label2");
    return l;
}

QRect rectOf(const ReportLayout& l, int index, SectionRef s = kDetail) {
    return controlAt(l, {s, index})->rect;
}

}  // namespace

TEST(LayoutEditing, MovesSnapTheFirstControlAndKeepEveryControlInsideItsSection) {
    ReportLayout l = sample();
    const DesignGrid grid{120, true};
    EXPECT_EQ(grid.round(179), 120);
    EXPECT_EQ(grid.round(181), 240);
    EXPECT_EQ((DesignGrid{120, false}).round(181), 181);
    // The label lands on the grid; the field keeps its distance to it (off grid as it was).
    moveControls(l, {{kDetail, 0}, {kDetail, 1}}, QPoint(130, 50), grid);
    EXPECT_EQ(rectOf(l, 0).topLeft(), QPoint(360, 120));
    EXPECT_EQ(rectOf(l, 1).topLeft(), QPoint(1920, 400));
    // Dragged far up and left: stopped at the section's edge by the control nearest to it.
    moveControls(l, {{kDetail, 0}, {kDetail, 1}}, QPoint(-5000, -5000), grid);
    EXPECT_EQ(rectOf(l, 0).topLeft(), QPoint(0, 0));
    EXPECT_EQ(rectOf(l, 1).topLeft(), QPoint(1560, 280));
    // A locked control stays where it is while the rest of the selection moves.
    l.detail.controls[1].locked = true;
    moveControls(l, {{kDetail, 1}, {kDetail, 0}}, QPoint(240, 0), grid);
    EXPECT_EQ(rectOf(l, 1).topLeft(), QPoint(1560, 280));
    EXPECT_EQ(rectOf(l, 0).topLeft(), QPoint(240, 0));
    // Stale references (an undo took the control away) change nothing.
    const ReportLayout before = l;
    moveControls(l, {{kDetail, 7}, {kHeader, 3}}, QPoint(240, 0), grid);
    EXPECT_EQ(l, before);
}

TEST(LayoutEditing, ResizingByHandlesNeverTurnsARectangleInsideOut) {
    ReportLayout l = sample();
    const DesignGrid grid{120, true};
    resizeControl(l, {kDetail, 0}, Handle::BottomRight, QPoint(250, 70), grid);
    EXPECT_EQ(rectOf(l, 0), QRect(240, 120, 1440, 360));  // right 1680, bottom 480: on the grid
    resizeControl(l, {kDetail, 0}, Handle::Left, QPoint(5000, 0), grid);
    EXPECT_EQ(rectOf(l, 0), QRect(1560, 120, 120, 360));  // one grid step is left
    resizeControl(l, {kDetail, 0}, Handle::TopLeft, QPoint(-9000, -9000), grid);
    EXPECT_EQ(rectOf(l, 0), QRect(0, 0, 1680, 480));  // not past the section's corner
    // A line's handles are its ends; it may turn to run any way.
    resizeControl(l, {kDetail, 2}, Handle::TopLeft, QPoint(3600, 240), grid);
    EXPECT_EQ(rectOf(l, 2), QRect(3600, 1200, -600, -200));
    l.detail.controls[1].locked = true;
    const QRect locked = rectOf(l, 1);
    resizeControl(l, {kDetail, 1}, Handle::Right, QPoint(600, 0), grid);
    EXPECT_EQ(rectOf(l, 1), locked);
}

TEST(LayoutEditing, AlignAndSizeFollowTheControlSelectedFirst) {
    const Selection sel{{kDetail, 1}, {kDetail, 0}};  // the field first
    const auto aligned = [&](AlignTo to) {
        ReportLayout l = sample();
        alignControls(l, sel, to);
        EXPECT_EQ(rectOf(l, 1), QRect(1800, 400, 900, 240)) << "the reference stays";
        return rectOf(l, 0);
    };
    EXPECT_EQ(aligned(AlignTo::Lefts), QRect(1800, 120, 1200, 300));
    EXPECT_EQ(aligned(AlignTo::Rights), QRect(1500, 120, 1200, 300));
    EXPECT_EQ(aligned(AlignTo::Centers), QRect(1650, 120, 1200, 300));
    EXPECT_EQ(aligned(AlignTo::Tops), QRect(240, 400, 1200, 300));
    EXPECT_EQ(aligned(AlignTo::Bottoms), QRect(240, 340, 1200, 300));
    EXPECT_EQ(aligned(AlignTo::Middles), QRect(240, 370, 1200, 300));
    // Aligning never pushes a control out of its section.
    ReportLayout l = sample();
    alignControls(l, {{kDetail, 0}, {kDetail, 1}}, AlignTo::Rights);  // label right at 1440
    EXPECT_EQ(rectOf(l, 1), QRect(540, 400, 900, 240));
    l = sample();
    alignControls(l, {{kDetail, 2}, {kDetail, 0}}, AlignTo::Rights);  // line ends at 3000
    EXPECT_EQ(rectOf(l, 0).left(), 1800);

    l = sample();
    makeSameSize(l, sel, SameSize::Width);
    EXPECT_EQ(rectOf(l, 0), QRect(240, 120, 900, 300));
    makeSameSize(l, sel, SameSize::Height);
    EXPECT_EQ(rectOf(l, 0), QRect(240, 120, 900, 240));
    l = sample();
    makeSameSize(l, sel, SameSize::Both);
    EXPECT_EQ(rectOf(l, 0).size(), QSize(900, 240));
    // One control alone has nothing to align with.
    l = sample();
    alignControls(l, {{kDetail, 1}}, AlignTo::Lefts);
    makeSameSize(l, {{kDetail, 1}}, SameSize::Both);
    EXPECT_EQ(l, sample());
    // Align to grid puts each corner on its nearest grid point, with or without snapping.
    l.detail.controls[1].rect.moveTopLeft(QPoint(1850, 410));
    alignToGrid(l, {{kDetail, 1}}, DesignGrid{120, false});
    EXPECT_EQ(rectOf(l, 1).topLeft(), QPoint(1800, 360));
}

TEST(LayoutEditing, OrderDeletionPlacingAndLocks) {
    ReportLayout l = sample();
    // Front and back keep the order among the controls moved and report where they went.
    Selection moved = bringToFront(l, {{kDetail, 1}, {kDetail, 0}});
    EXPECT_EQ(l.detail.controls[0].name, "Line1");
    EXPECT_EQ(l.detail.controls[1].name, "Label1");
    EXPECT_EQ(l.detail.controls[2].name, "Field1");
    EXPECT_EQ(moved, (Selection{{kDetail, 1}, {kDetail, 2}}));
    moved = sendToBack(l, {{kDetail, 2}});
    EXPECT_EQ(l.detail.controls[0].name, "Field1");
    EXPECT_EQ(moved, (Selection{{kDetail, 0}}));

    // Names are unique across the layout, whatever their case.
    l.detail.controls[1].name = "FIELD2";
    const DesignGrid grid{120, true};
    const ControlRef added =
        addControl(l, kHeader, box(ControlKind::Field, QRect(130, 70, 900, 240)), grid);
    EXPECT_EQ(added, (ControlRef{kHeader, 1}));
    EXPECT_EQ(controlAt(l, added)->name, "Field3");
    EXPECT_EQ(controlAt(l, added)->rect.topLeft(), QPoint(120, 120));
    EXPECT_EQ(uniqueControlName(l, ControlKind::Label), "Label3");

    // Locking locks all; a second time, with all locked, unlocks. Deleting takes locked ones.
    toggleLock(l, {{kDetail, 0}, {kDetail, 1}});
    EXPECT_TRUE(l.detail.controls[0].locked && l.detail.controls[1].locked);
    toggleLock(l, {{kDetail, 1}, {kDetail, 2}});
    EXPECT_TRUE(l.detail.controls[1].locked && l.detail.controls[2].locked);
    toggleLock(l, {{kDetail, 1}, {kDetail, 2}});
    EXPECT_FALSE(l.detail.controls[1].locked || l.detail.controls[2].locked);
    deleteControls(l, {{kDetail, 0}, {kDetail, 2}, {kDetail, 0}});
    ASSERT_EQ(l.detail.controls.size(), 1);
    EXPECT_EQ(l.detail.controls[0].name, "FIELD2");

    setSectionHeight(l, kDetail, 500, grid);
    EXPECT_EQ(l.detail.height, 480);
    setSectionHeight(l, kDetail, -300, grid);
    EXPECT_EQ(l.detail.height, 0);
}

TEST(LayoutEditing, HitsBandsAndTraitsOfTheSelection) {
    ReportLayout l = sample();
    // The topmost control at a point, a line near it, nothing on empty space.
    l.detail.controls << box(ControlKind::Rectangle, QRect(200, 100, 600, 600), "Shape1");
    EXPECT_EQ(hitControl(l, kDetail, QPoint(300, 200)), (ControlRef{kDetail, 3}));
    EXPECT_EQ(hitControl(l, kDetail, QPoint(1000, 200)), (ControlRef{kDetail, 0}));
    EXPECT_EQ(hitControl(l, kDetail, QPoint(2000, 1040)), (ControlRef{kDetail, 2}));
    EXPECT_EQ(hitControl(l, kDetail, QPoint(2000, 1200)), std::nullopt);
    EXPECT_EQ(hitControl(l, kHeader, QPoint(3000, 100)), std::nullopt);
    // A band takes what lies wholly inside it, a line included.
    EXPECT_EQ(controlsInside(l, kDetail, QRect(QPoint(0, 700), QPoint(3100, 1100))),
              (Selection{{kDetail, 2}}));
    EXPECT_EQ(controlsInside(l, kDetail, QRect(0, 0, 1500, 500)), (Selection{{kDetail, 0}}));
    EXPECT_EQ(controlsInside(l, kDetail, QRect(0, 0, 1500, 800)),
              (Selection{{kDetail, 0}, {kDetail, 3}}));

    SelectionTraits t = traitsOf(l, {{kDetail, 0}, {kDetail, 0}, {kDetail, 9}});
    EXPECT_EQ(t.count, 1);
    EXPECT_TRUE(t.text);
    EXPECT_FALSE(t.outlined);
    t = traitsOf(l, {{kDetail, 2}, {kDetail, 3}});
    EXPECT_FALSE(t.text);
    EXPECT_TRUE(t.outlined);
    EXPECT_EQ(traitsOf(l, {}).count, 0);
}

TEST(LayoutEditing, EachEditIsOneStepOfUndoAndLeavesTheLayoutBeforeItAsItWas) {
    ReportLayout start = sample();
    start.groups << Group{.field = "CableType"};
    start.groups[0].header.height = 400;
    start.groups[0].header.controls << box(ControlKind::Field, QRect(0, 0, 900, 240), "Field9");
    LayoutDocument doc(start);
    const DesignGrid grid{120, true};
    const SectionRef groupHeader{SectionKind::GroupHeader, 0};
    EXPECT_TRUE(doc.edit("Move", [&](ReportLayout& l) {
        moveControls(l, {{kDetail, 0}, {groupHeader, 0}}, QPoint(240, 0), grid);
    }));
    EXPECT_TRUE(doc.edit("Front", [&](ReportLayout& l) { bringToFront(l, {{kDetail, 0}}); }));
    EXPECT_EQ(doc.undoStack().count(), 2);
    EXPECT_EQ(doc.layout().detail.controls.last().rect.left(), 480);
    EXPECT_EQ(doc.layout().groups[0].header.controls[0].rect.left(), 240);
    doc.undoStack().undo();
    EXPECT_EQ(doc.layout().detail.controls.first().rect.left(), 480);
    doc.undoStack().undo();
    EXPECT_EQ(doc.layout(), start);
    // An operation that changes nothing (no selection to align) leaves no step.
    EXPECT_FALSE(doc.edit("Align", [&](ReportLayout& l) { alignControls(l, {}, AlignTo::Lefts); }));
}

// Spacing: the controls taken in order along the axis whatever the order they were chosen in;
// the first stays, set gaps are exact, equal spacing keeps both ends, steps never make
// controls overlap, locked controls stay. Size to grid rounds each side, at least one step.
TEST(LayoutEditing, SpacingAlongAnAxisAndSizesOnTheGrid) {
    ReportLayout l;
    l.detail.height = 1440;
    l.detail.controls << box(ControlKind::Field, QRect(3000, 0, 500, 300))
                      << box(ControlKind::Field, QRect(0, 100, 1000, 300))
                      << box(ControlKind::Field, QRect(1100, 400, 700, 300))
                      << box(ControlKind::Field, QRect(5000, 700, 400, 300));
    const Selection all{{kDetail, 0}, {kDetail, 1}, {kDetail, 2}, {kDetail, 3}};
    const auto lefts = [&] {
        QList<int> out;
        for (const Control& c : l.detail.controls) out << c.rect.left();
        return out;
    };
    ReportLayout even = l;
    spaceEvenly(even, all, Axis::Horizontal);
    // Room 5400 less 2600 of widths: 2800 over three gaps.
    EXPECT_EQ(even.detail.controls[1].rect.left(), 0);
    EXPECT_EQ(even.detail.controls[3].rect.left(), 5000);
    EXPECT_EQ(even.detail.controls[2].rect.left(), 1000 + 933);
    EXPECT_EQ(even.detail.controls[0].rect.left(), 3567);  // 1000 + 2 x 933.3 + 700
    setSpacing(l, all, Axis::Horizontal, 120);
    EXPECT_EQ(lefts(), (QList<int>{1820 + 120, 0, 1120, 2440 + 120}));
    changeSpacing(l, all, Axis::Horizontal, -240);  // gaps of 120 close up, no further
    EXPECT_EQ(lefts(), (QList<int>{1700, 0, 1000, 2200}));
    changeSpacing(l, all, Axis::Horizontal, 120);
    EXPECT_EQ(lefts(), (QList<int>{1940, 0, 1120, 2560}));
    // Down the page the tops follow the same rules; a locked control is left out.
    l.detail.controls[2].locked = true;
    setSpacing(l, all, Axis::Vertical, 0);
    QList<int> tops;
    for (const Control& c : l.detail.controls) tops << c.rect.top();
    EXPECT_EQ(tops, (QList<int>{0, 300, 400, 600}));
    ReportLayout two = l;
    spaceEvenly(two, {{kDetail, 0}, {kDetail, 1}}, Axis::Vertical);
    EXPECT_EQ(two, l);  // two controls have one gap: nothing to share

    ReportLayout sized = sample();
    sized.detail.controls[0].rect = QRect(240, 120, 1250, 20);
    sized.detail.controls[2].rect = QRect(0, 1000, -3010, 0);
    sizeToGrid(sized, {{kDetail, 0}, {kDetail, 2}}, DesignGrid{120, true});
    EXPECT_EQ(sized.detail.controls[0].rect, QRect(240, 120, 1200, 120));
    EXPECT_EQ(sized.detail.controls[2].rect, QRect(0, 1000, -3000, 0));
}

// Bullets and indent act on rich texts only: bullets follow the first rich text chosen, the
// indent stays within its range.
TEST(LayoutEditing, BulletsAndIndentOfRichTexts) {
    ReportLayout l = sample();
    l.detail.controls << box(ControlKind::RichText, QRect(0, 0, 3000, 600))
                      << box(ControlKind::RichText, QRect(0, 700, 3000, 600));
    l.detail.controls[4].bullets = true;
    const Selection s{{kDetail, 3}, {kDetail, 4}, {kDetail, 0}};
    toggleBullets(l, s);
    EXPECT_TRUE(l.detail.controls[3].bullets && l.detail.controls[4].bullets);
    toggleBullets(l, s);
    EXPECT_FALSE(l.detail.controls[3].bullets || l.detail.controls[4].bullets);
    changeIndent(l, s, 1);
    changeIndent(l, {{kDetail, 3}}, 1);
    EXPECT_EQ(l.detail.controls[3].indent, 2);
    EXPECT_EQ(l.detail.controls[4].indent, 1);
    changeIndent(l, s, -5);
    EXPECT_EQ(l.detail.controls[3].indent, 0);
    changeIndent(l, s, 50);
    EXPECT_EQ(l.detail.controls[4].indent, kMaxIndent);
    EXPECT_EQ(l.detail.controls[0], sample().detail.controls[0]);  // the label is no rich text
    const SelectionTraits t = traitsOf(l, s);
    EXPECT_TRUE(t.richText && t.text);
    EXPECT_FALSE(traitsOf(l, {{kDetail, 0}}).richText);
}

// Fields from the field list go in a row below what the section holds, wrap at the page's
// width, and in the detail get their headings in the page header; the sections grow.
TEST(LayoutEditing, FieldsFromTheListGoBelowWhatIsThereWithTheirHeadings) {
    ReportLayout l = sample();
    l.page.marginLeft = l.page.marginRight = (l.page.paperWidth - 4000) / 2;  // 4000 wide
    const Selection placed =
        placeFields(l, kDetail, {"CableNO", "tblCables.Length", "Sheet"}, DesignGrid{120, true});
    ASSERT_EQ(placed.size(), 3);
    QList<QRect> rects;
    for (const ControlRef& r : placed) {
        const Control* c = controlAt(l, r);
        EXPECT_EQ(c->kind, ControlKind::Field);
        rects << c->rect;
    }
    EXPECT_EQ(controlAt(l, placed[1])->text, "tblCables.Length");
    // Below the line at 1000, two to a row in 4000 twips.
    EXPECT_EQ(rects[0], QRect(0, 1080, 1440, 300));
    EXPECT_EQ(rects[1], QRect(1560, 1080, 1440, 300));
    EXPECT_EQ(rects[2], QRect(0, 1560, 1440, 300));  // 1080 + 300 + 120 on the grid
    EXPECT_GE(l.detail.height, 1860);
    QStringList headings;
    for (const Control& c : l.pageHeader.controls.mid(1)) headings << c.text;
    EXPECT_EQ(headings, (QStringList{"CableNO", "Length", "Sheet"}));
    EXPECT_EQ(l.pageHeader.controls[2].rect.left(), 1560);
    EXPECT_EQ(l.pageHeader.controls[1].rect.top(), 360);  // under the label there
    EXPECT_GE(l.pageHeader.height, 660);
    // Names stay unique across the layout.
    EXPECT_NE(controlAt(l, placed[0])->name, controlAt(l, placed[2])->name);
    // Elsewhere than the detail, no headings.
    const int before = int(l.pageHeader.controls.size());
    placeFields(l, {SectionKind::ReportFooter}, {"Length"}, DesignGrid{120, true});
    EXPECT_EQ(l.pageHeader.controls.size(), before);
    EXPECT_EQ(l.reportFooter.controls[0].rect.topLeft(), QPoint(0, 0));
}
