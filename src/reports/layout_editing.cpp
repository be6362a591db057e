// The designer's operations on a layout.
#include "reports/layout_editing.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace tolvane::reports {

namespace {

// The area a control covers: lines carry their direction in the sign of width and height.
QRect area(const Control& c) {
    return c.rect.normalized();
}

const char* kindPrefix(ControlKind kind) {
    switch (kind) {
        case ControlKind::Label:
            return "Label";
        case ControlKind::Field:
            return "Field";
        case ControlKind::CheckBox:
            return "CheckBox";
        case ControlKind::Line:
            return "Line";
        case ControlKind::Rectangle:
            return "Shape";
        case ControlKind::Picture:
            return "Image";
        case ControlKind::PageNumber:
            return "PageNumber";
        case ControlKind::Date:
            return "Date";
        case ControlKind::RichText:
            return "RichEdit";
        case ControlKind::Frame:
            return "Frame";
        case ControlKind::SubReport:
            return "SubReport";
        case ControlKind::PageBreak:
            return "PageBreak";
        case ControlKind::Barcode:
            return "Barcode";
    }
    return "Control";
}

int minSide(const DesignGrid& grid) {
    return std::max(grid.snap && grid.spacing > 0 ? grid.spacing : 15, 15);
}

// The selection's controls that may move: existing, unlocked, each once.
QList<Control*> movable(ReportLayout& layout, const Selection& selection) {
    QList<Control*> out;
    for (const ControlRef& ref : validSelection(layout, selection)) {
        Control* c = controlAt(layout, ref);
        if (!c->locked) out << c;
    }
    return out;
}

}  // namespace

int DesignGrid::round(int twips) const {
    if (!snap || spacing <= 0) return twips;
    return int(std::lround(double(twips) / spacing)) * spacing;
}

const Control* controlAt(const ReportLayout& layout, const ControlRef& ref) {
    const Section* s = sectionAt(layout, ref.section);
    if (!s || ref.index < 0 || ref.index >= s->controls.size()) return nullptr;
    return &s->controls[ref.index];
}

Control* controlAt(ReportLayout& layout, const ControlRef& ref) {
    // Through the list's non-const access: a layout copied for an edit shares its lists with
    // the original until one of them is written.
    Section* s = sectionAt(layout, ref.section);
    if (!s || ref.index < 0 || ref.index >= s->controls.size()) return nullptr;
    return &s->controls[ref.index];
}

Selection validSelection(const ReportLayout& layout, const Selection& selection) {
    Selection out;
    for (const ControlRef& ref : selection)
        if (controlAt(layout, ref) && !out.contains(ref)) out << ref;
    return out;
}

std::optional<ControlRef> hitControl(const ReportLayout& layout, const SectionRef& section,
                                     QPoint at) {
    const Section* s = sectionAt(layout, section);
    if (!s) return std::nullopt;
    // A line is hit within a few points of it; everything else within its rectangle.
    constexpr int kNear = 60;
    for (int i = int(s->controls.size()) - 1; i >= 0; --i) {
        const Control& c = s->controls[i];
        if (c.kind == ControlKind::Line) {
            const QPointF a = c.rect.topLeft();
            const QPointF d(c.rect.width(), c.rect.height());
            const double len2 = d.x() * d.x() + d.y() * d.y();
            const double t =
                len2 > 0 ? std::clamp(QPointF::dotProduct(QPointF(at) - a, d) / len2, 0.0, 1.0) : 0;
            const QPointF nearest = a + t * d;
            if (std::hypot(at.x() - nearest.x(), at.y() - nearest.y()) <= kNear)
                return ControlRef{section, i};
        } else if (area(c).adjusted(0, 0, 1, 1).contains(at)) {
            return ControlRef{section, i};
        }
    }
    return std::nullopt;
}

Selection controlsInside(const ReportLayout& layout, const SectionRef& section, const QRect& band) {
    Selection out;
    const Section* s = sectionAt(layout, section);
    if (!s) return out;
    const QRect b = band.normalized();
    for (int i = 0; i < s->controls.size(); ++i) {
        const QRect r = area(s->controls[i]);
        if (r.left() >= b.left() && r.top() >= b.top() &&
            r.left() + r.width() <= b.left() + b.width() &&
            r.top() + r.height() <= b.top() + b.height())
            out << ControlRef{section, i};
    }
    return out;
}

QString uniqueControlName(const ReportLayout& layout, ControlKind kind) {
    QStringList taken;
    for (const SectionRef& ref : sectionsInOrder(layout))
        for (const Control& c : sectionAt(layout, ref)->controls) taken << c.name.toLower();
    const QString prefix = QString::fromLatin1(kindPrefix(kind));
    for (int n = 1;; ++n) {
        const QString name = prefix + QString::number(n);
        if (!taken.contains(name.toLower())) return name;
    }
}

ControlRef addControl(ReportLayout& layout, const SectionRef& section, Control control,
                      const DesignGrid& grid) {
    Section* s = sectionAt(layout, section);
    if (!s) return {};
    if (control.name.isEmpty()) control.name = uniqueControlName(layout, control.kind);
    control.rect.moveTopLeft(QPoint(std::max(0, grid.round(control.rect.left())),
                                    std::max(0, grid.round(control.rect.top()))));
    s->controls << control;
    return ControlRef{section, int(s->controls.size()) - 1};
}

void moveControls(ReportLayout& layout, const Selection& selection, QPoint delta,
                  const DesignGrid& grid) {
    const QList<Control*> controls = movable(layout, selection);
    if (controls.isEmpty()) return;
    // The first control lands on the grid; the others keep their places relative to it.
    const QPoint from = controls.first()->rect.topLeft();
    const QPoint to(grid.round(from.x() + delta.x()), grid.round(from.y() + delta.y()));
    QPoint d = to - from;
    for (const Control* c : controls) {
        d.setX(std::max(d.x(), -area(*c).left()));
        d.setY(std::max(d.y(), -area(*c).top()));
    }
    for (Control* c : controls) c->rect.translate(d);
}

void resizeControl(ReportLayout& layout, const ControlRef& ref, Handle handle, QPoint delta,
                   const DesignGrid& grid) {
    Control* c = controlAt(layout, ref);
    if (!c || c->locked) return;
    if (c->kind == ControlKind::Line) {
        // A line's handles are its two ends: the first at the rectangle's top left, the
        // other at top left + (width, height).
        QPoint start = c->rect.topLeft();
        QPoint end = start + QPoint(c->rect.width(), c->rect.height());
        QPoint& moved = handle == Handle::TopLeft ? start : end;
        moved = QPoint(std::max(0, grid.round(moved.x() + delta.x())),
                       std::max(0, grid.round(moved.y() + delta.y())));
        c->rect = QRect(start.x(), start.y(), end.x() - start.x(), end.y() - start.y());
        return;
    }
    const int least = minSide(grid);
    QRect r = area(*c);
    int left = r.left(), top = r.top(), right = r.left() + r.width(), bottom = r.top() + r.height();
    const bool moveLeft =
        handle == Handle::TopLeft || handle == Handle::Left || handle == Handle::BottomLeft;
    const bool moveRight =
        handle == Handle::TopRight || handle == Handle::Right || handle == Handle::BottomRight;
    const bool moveTop =
        handle == Handle::TopLeft || handle == Handle::Top || handle == Handle::TopRight;
    const bool moveBottom =
        handle == Handle::BottomLeft || handle == Handle::Bottom || handle == Handle::BottomRight;
    if (moveLeft) left = std::clamp(grid.round(left + delta.x()), 0, right - least);
    if (moveRight) right = std::max(grid.round(right + delta.x()), left + least);
    if (moveTop) top = std::clamp(grid.round(top + delta.y()), 0, bottom - least);
    if (moveBottom) bottom = std::max(grid.round(bottom + delta.y()), top + least);
    c->rect = QRect(left, top, right - left, bottom - top);
}

void alignControls(ReportLayout& layout, const Selection& selection, AlignTo to) {
    const Selection valid = validSelection(layout, selection);
    if (valid.size() < 2) return;
    const QRect ref = area(*controlAt(layout, valid.first()));
    for (const ControlRef& r : valid.mid(1)) {
        Control* c = controlAt(layout, r);
        if (c->locked) continue;
        const QRect a = area(*c);
        QPoint d;
        switch (to) {
            case AlignTo::Lefts:
                d.setX(ref.left() - a.left());
                break;
            case AlignTo::Rights:
                d.setX((ref.left() + ref.width()) - (a.left() + a.width()));
                break;
            case AlignTo::Centers:
                d.setX((ref.left() + ref.width() / 2) - (a.left() + a.width() / 2));
                break;
            case AlignTo::Tops:
                d.setY(ref.top() - a.top());
                break;
            case AlignTo::Bottoms:
                d.setY((ref.top() + ref.height()) - (a.top() + a.height()));
                break;
            case AlignTo::Middles:
                d.setY((ref.top() + ref.height() / 2) - (a.top() + a.height() / 2));
                break;
        }
        // Never past the section's left or top edge.
        d.setX(std::max(d.x(), -a.left()));
        d.setY(std::max(d.y(), -a.top()));
        c->rect.translate(d);
    }
}

void makeSameSize(ReportLayout& layout, const Selection& selection, SameSize what) {
    const Selection valid = validSelection(layout, selection);
    if (valid.size() < 2) return;
    const Control& first = *controlAt(layout, valid.first());
    const QSize size = first.rect.size();
    for (const ControlRef& r : valid.mid(1)) {
        Control* c = controlAt(layout, r);
        if (c->locked) continue;
        if (what != SameSize::Height) c->rect.setWidth(size.width());
        if (what != SameSize::Width) c->rect.setHeight(size.height());
    }
}

void alignToGrid(ReportLayout& layout, const Selection& selection, const DesignGrid& grid) {
    DesignGrid snapping = grid;
    snapping.snap = true;  // the command snaps whether or not moves do
    for (Control* c : movable(layout, selection))
        c->rect.moveTopLeft(QPoint(std::max(0, snapping.round(c->rect.left())),
                                   std::max(0, snapping.round(c->rect.top()))));
}

namespace {

Selection reorder(ReportLayout& layout, const Selection& selection, bool front) {
    const Selection valid = validSelection(layout, selection);
    Selection out;
    for (const SectionRef& sref : sectionsInOrder(layout)) {
        QList<int> chosen;
        for (const ControlRef& r : valid)
            if (r.section == sref) chosen << r.index;
        if (chosen.isEmpty()) continue;
        std::sort(chosen.begin(), chosen.end());
        Section& s = *sectionAt(layout, sref);
        QList<Control> moved, rest;
        for (int i = 0; i < s.controls.size(); ++i)
            (chosen.contains(i) ? moved : rest) << s.controls[i];
        s.controls = front ? rest + moved : moved + rest;
        const int first = front ? int(rest.size()) : 0;
        for (int i = 0; i < moved.size(); ++i) out << ControlRef{sref, first + i};
    }
    return out;
}

}  // namespace

Selection bringToFront(ReportLayout& layout, const Selection& selection) {
    return reorder(layout, selection, true);
}

Selection sendToBack(ReportLayout& layout, const Selection& selection) {
    return reorder(layout, selection, false);
}

void deleteControls(ReportLayout& layout, const Selection& selection) {
    Selection valid = validSelection(layout, selection);
    // From the back of each list, so that the indexes still to remove stay true.
    std::sort(valid.begin(), valid.end(),
              [](const ControlRef& a, const ControlRef& b) { return a.index > b.index; });
    for (const ControlRef& r : valid) sectionAt(layout, r.section)->controls.removeAt(r.index);
}

void toggleLock(ReportLayout& layout, const Selection& selection) {
    const Selection valid = validSelection(layout, selection);
    const bool all = std::all_of(valid.begin(), valid.end(),
                                 [&](const ControlRef& r) { return controlAt(layout, r)->locked; });
    for (const ControlRef& r : valid) controlAt(layout, r)->locked = !all;
}

void changeControls(ReportLayout& layout, const Selection& selection,
                    const std::function<void(Control&)>& change) {
    for (const ControlRef& r : validSelection(layout, selection)) change(*controlAt(layout, r));
}

SelectionTraits traitsOf(const ReportLayout& layout, const Selection& selection) {
    SelectionTraits t;
    for (const ControlRef& r : validSelection(layout, selection)) {
        const Control& c = *controlAt(layout, r);
        ++t.count;
        switch (c.kind) {
            case ControlKind::Label:
            case ControlKind::Field:
            case ControlKind::CheckBox:
            case ControlKind::PageNumber:
            case ControlKind::Date:
                t.text = true;
                break;
            case ControlKind::Line:
            case ControlKind::Rectangle:
            case ControlKind::Frame:
                t.outlined = true;
                break;
            case ControlKind::RichText:
                t.text = true;
                t.richText = true;
                break;
            case ControlKind::Picture:
            case ControlKind::SubReport:
            case ControlKind::PageBreak:
            case ControlKind::Barcode:
                break;
        }
    }
    return t;
}

namespace {

// The selection's unlocked controls in order along an axis.
QList<Control*> alongAxis(ReportLayout& layout, const Selection& selection, Axis axis) {
    QList<Control*> out = movable(layout, selection);
    std::stable_sort(out.begin(), out.end(), [axis](const Control* a, const Control* b) {
        return axis == Axis::Horizontal ? area(*a).left() < area(*b).left()
                                        : area(*a).top() < area(*b).top();
    });
    return out;
}

int startOf(const Control& c, Axis axis) {
    return axis == Axis::Horizontal ? area(c).left() : area(c).top();
}
int lengthOf(const Control& c, Axis axis) {
    return axis == Axis::Horizontal ? area(c).width() : area(c).height();
}
int endOf(const Control& c, Axis axis) {
    return startOf(c, axis) + lengthOf(c, axis);
}

// Moves a control along an axis so that its area starts at position (never left of or above
// its section).
void moveStartTo(Control& c, Axis axis, int position) {
    const int by = std::max(0, position) - startOf(c, axis);
    c.rect.translate(axis == Axis::Horizontal ? QPoint(by, 0) : QPoint(0, by));
}

}  // namespace

void setSpacing(ReportLayout& layout, const Selection& selection, Axis axis, int gap) {
    const QList<Control*> row = alongAxis(layout, selection, axis);
    for (int i = 1; i < row.size(); ++i)
        moveStartTo(*row[i], axis, endOf(*row[i - 1], axis) + std::max(0, gap));
}

void spaceEvenly(ReportLayout& layout, const Selection& selection, Axis axis) {
    const QList<Control*> row = alongAxis(layout, selection, axis);
    if (row.size() < 3) return;
    qint64 used = 0;
    for (const Control* c : row) used += lengthOf(*c, axis);
    const int span = endOf(*row.last(), axis) - startOf(*row.first(), axis);
    const double gap = double(span - used) / double(row.size() - 1);
    double at = endOf(*row.first(), axis);
    for (int i = 1; i + 1 < row.size(); ++i) {
        moveStartTo(*row[i], axis, int(std::lround(at + gap)));
        at += gap + lengthOf(*row[i], axis);
    }
}

void changeSpacing(ReportLayout& layout, const Selection& selection, Axis axis, int step) {
    const QList<Control*> row = alongAxis(layout, selection, axis);
    QList<int> gaps;
    for (int i = 1; i < row.size(); ++i) gaps << startOf(*row[i], axis) - endOf(*row[i - 1], axis);
    for (int i = 1; i < row.size(); ++i)
        moveStartTo(*row[i], axis, endOf(*row[i - 1], axis) + std::max(0, gaps[i - 1] + step));
}

void sizeToGrid(ReportLayout& layout, const Selection& selection, const DesignGrid& grid) {
    const int least = minSide(grid);
    for (Control* c : movable(layout, selection)) {
        // A line keeps its direction: only its length along each axis is rounded.
        const auto round = [&](int v) {
            const int r = std::max(least, std::abs(grid.round(v)));
            return c->kind == ControlKind::Line ? (v < 0 ? -r : v == 0 ? 0 : r) : r;
        };
        c->rect.setWidth(round(c->rect.width()));
        c->rect.setHeight(round(c->rect.height()));
    }
}

void toggleBullets(ReportLayout& layout, const Selection& selection) {
    std::optional<bool> on;
    for (const ControlRef& r : validSelection(layout, selection)) {
        Control& c = *controlAt(layout, r);
        if (c.kind != ControlKind::RichText) continue;
        if (!on) on = !c.bullets;
        c.bullets = *on;
    }
}

void changeIndent(ReportLayout& layout, const Selection& selection, int steps) {
    for (const ControlRef& r : validSelection(layout, selection)) {
        Control& c = *controlAt(layout, r);
        if (c.kind == ControlKind::RichText) c.indent = std::clamp(c.indent + steps, 0, kMaxIndent);
    }
}

Selection placeFields(ReportLayout& layout, const SectionRef& section, const QStringList& fields,
                      const DesignGrid& grid) {
    Selection placed;
    Section* s = sectionAt(layout, section);
    if (!s) return placed;
    constexpr int kWidth = 1440, kHeight = 300, kGap = 120;
    int top = 0;
    for (const Control& c : s->controls) top = std::max(top, area(c).bottom() + 1);
    top = grid.round(top + (s->controls.isEmpty() ? 0 : kGap / 2));
    const bool headings = section.kind == SectionKind::Detail;
    int headingTop = 0;
    if (headings)
        for (const Control& c : layout.pageHeader.controls)
            headingTop = std::max(headingTop, area(c).bottom() + 1);
    int left = 0;
    for (const QString& name : fields) {
        if (left > 0 && left + kWidth > layout.page.printableWidth()) {
            left = 0;
            top += kHeight + kGap;
        }
        Control field{
            .kind = ControlKind::Field, .rect = QRect(left, top, kWidth, kHeight), .text = name};
        placed << addControl(layout, section, field, grid);
        if (headings) {
            Control heading{.kind = ControlKind::Label,
                            .rect = QRect(left, headingTop, kWidth, kHeight),
                            .text = name.section(QLatin1Char('.'), -1)};
            heading.font.bold = true;
            addControl(layout, {SectionKind::PageHeader}, heading, grid);
        }
        left += kWidth + kGap;
    }
    // The sections grow to hold what was placed.
    s = sectionAt(layout, section);
    s->height = std::max(s->height, grid.round(top + kHeight + kGap / 2));
    if (headings && !fields.isEmpty())
        layout.pageHeader.height =
            std::max(layout.pageHeader.height, grid.round(headingTop + kHeight + kGap / 2));
    return placed;
}

void setSectionHeight(ReportLayout& layout, const SectionRef& section, int height,
                      const DesignGrid& grid) {
    if (Section* s = sectionAt(layout, section)) s->height = std::max(0, grid.round(height));
}

}  // namespace tolvane::reports
