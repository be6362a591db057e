// Fitting the detail's columns to the widths of their values.
#include "reports/column_fit.h"

#include <QFontMetricsF>
#include <QHash>
#include <algorithm>
#include <array>
#include <cmath>

#include "reports/report_format.h"
#include "reports/report_renderer.h"

namespace tolvane::reports {

namespace {

// The least gap kept between two texts of a line when the page has no room for the designed one.
constexpr int kLeastGap = 60;

// Room left beside a value so that two columns never touch: a fixed part and a share for the
// few hundredths by which a device's metrics may differ from the measuring ones.
int padded(double width) {
    return int(std::ceil(width * 1.01)) + 40;
}

// Text widths in one font. The advances of single characters are summed: that is never less
// than the shaped text (kerning only tightens it) and far cheaper than shaping every value of a
// long report. Characters outside Latin-1 are measured when first seen.
class Meter {
  public:
    explicit Meter(const ReportFont& font) : metrics_(printFont(font)) {
        for (int i = 0; i < 256; ++i) latin_[i] = metrics_.horizontalAdvance(QChar(char16_t(i)));
    }
    // The width of the text and of its longest word.
    std::pair<double, double> measure(const QString& text) {
        double total = 0, word = 0, longest = 0;
        for (const QChar ch : text) {
            if (ch.isSpace()) {
                longest = std::max(longest, word);
                word = 0;
            }
            const double w = advance(ch);
            total += w;
            if (!ch.isSpace()) word += w;
        }
        return {total, std::max(longest, word)};
    }

  private:
    double advance(QChar ch) {
        if (ch.unicode() < 256) return latin_[ch.unicode()];
        auto it = other_.find(ch.unicode());
        if (it == other_.end()) it = other_.insert(ch.unicode(), metrics_.horizontalAdvance(ch));
        return *it;
    }
    QFontMetricsF metrics_;
    std::array<double, 256> latin_{};
    QHash<char16_t, double> other_;
};

// One column: the span of the fields stacked in it and what it needs.
struct Column {
    int left = 0, right = 0;
    QList<const Control*> fields;
    int need = 0;   // the width that shows every value on one line
    int least = 0;  // the width that shows every word whole
};

bool isText(const Control& c) {
    return c.kind == ControlKind::Field;
}

bool showsText(const Control& c) {
    return c.kind == ControlKind::Label || c.kind == ControlKind::Field ||
           c.kind == ControlKind::PageNumber || c.kind == ControlKind::Date;
}

bool sameLine(const QRect& a, const QRect& b) {
    return a.top() < b.top() + b.height() && b.top() < a.top() + a.height();
}

}  // namespace

int ColumnFit::x(int layoutX) const {
    if (from_.isEmpty()) return layoutX;
    int mapped;
    if (layoutX <= from_.front()) {
        mapped = layoutX - from_.front() + to_.front();
    } else if (layoutX >= from_.back()) {
        mapped = layoutX - from_.back() + to_.back();
    } else {
        const auto it = std::upper_bound(from_.begin(), from_.end(), layoutX);
        const int k = int(it - from_.begin());
        const double t = double(layoutX - from_[k - 1]) / double(from_[k] - from_[k - 1]);
        mapped = to_[k - 1] + int(std::lround(t * (to_[k] - to_[k - 1])));
    }
    return std::clamp(mapped, 0, std::max(0, limit_));
}

QRect ColumnFit::rect(const QRect& r) const {
    if (from_.isEmpty()) return r;
    const int left = x(r.left());
    const int right = x(r.left() + r.width());
    return QRect(left, r.top(), right - left, r.height());
}

QRect ColumnFit::place(const Control& c) const {
    if (from_.isEmpty()) return c.rect;
    const auto it = placed_.constFind(&c);
    return it != placed_.cend() ? *it : rect(c.rect);
}

namespace {

// The detail's bound fields that take part in its columns.
QList<const Control*> boundOf(const Section& detail) {
    QList<const Control*> bound;
    if (!detail.fitColumns || detail.columns > 1) return bound;
    for (const Control& c : detail.controls)
        if ((c.kind == ControlKind::Field || c.kind == ControlKind::CheckBox) && c.rect.width() > 0)
            bound << &c;
    return bound;
}

}  // namespace

bool fitsColumnsToRows(const ReportLayout& layout) {
    return !boundOf(layout.detail).isEmpty();
}

ColumnFit fitColumns(const ReportLayout& layout, RecordSource& rows, const RenderOptions& options) {
    ColumnFit fit;
    // The columns: bound fields side by side; fields stacked over each other share one.
    QList<const Control*> bound = boundOf(layout.detail);
    if (bound.isEmpty()) return fit;
    std::sort(bound.begin(), bound.end(),
              [](const Control* a, const Control* b) { return a->rect.left() < b->rect.left(); });
    QList<Column> columns;
    for (const Control* c : bound) {
        const int left = c->rect.left(), right = c->rect.left() + c->rect.width();
        if (!columns.isEmpty() && left < columns.last().right) {
            columns.last().right = std::max(columns.last().right, right);
        } else {
            Column col;
            col.left = left;
            col.right = right;
            columns << col;
        }
        columns.last().fields << c;
    }

    // What each field needs: its widest value, its longest word.
    QHash<const Control*, std::pair<double, double>> needs;
    QHash<const Control*, int> bindings;
    QList<Meter> meters;
    QList<ReportFont> fonts;
    QHash<const Control*, int> meterOf;
    rows.start();
    const QStringList names = rows.fields();
    for (const Control* c : std::as_const(bound)) {
        if (!isText(*c)) continue;
        const int column = columnOfField(names, c->text);
        if (column < 0) continue;  // the renderer says which field is missing
        bindings.insert(c, column);
        int m = int(fonts.indexOf(c->font));
        if (m < 0) {
            fonts << c->font;
            meters << Meter(c->font);
            m = int(meters.size()) - 1;
        }
        meterOf.insert(c, m);
        needs.insert(c, {0, 0});
    }
    const QList<const Control*> measured = bindings.keys();
    while (rows.next()) {
        for (const Control* c : measured) {
            const QString text =
                formatValue(rows.value(bindings.value(c)), c->format, options.locale);
            if (text.isEmpty()) continue;
            const auto [total, word] = meters[meterOf.value(c)].measure(text);
            auto& need = needs[c];
            need.first = std::max(need.first, total);
            need.second = std::max(need.second, word);
        }
    }

    // A column's heading is a label of the page header or of a group header standing over it
    // alone.
    QList<const Control*> labels;
    for (const Control& c : layout.pageHeader.controls) labels << &c;
    for (const Group& g : layout.groups)
        for (const Control& c : g.header.controls) labels << &c;
    for (const Control* heading : std::as_const(labels)) {
        const Control& label = *heading;
        if (label.kind != ControlKind::Label || label.text.isEmpty()) continue;
        const int left = label.rect.left(), right = left + label.rect.width();
        for (Column& col : columns) {
            if (left < col.left - 100 || right > col.right + 100) continue;
            const auto [total, word] = Meter(label.font).measure(label.text);
            fit.columnar_.insert(heading);
            col.need = std::max(col.need, padded(total) + std::max(0, left - col.left));
            col.least = std::max(col.least, padded(word) + std::max(0, left - col.left));
        }
    }
    for (Column& col : columns) {
        for (const Control* c : std::as_const(col.fields)) {
            // What the column holds beside the field (stacked fields start further in).
            const int beside = (col.right - col.left) - c->rect.width();
            if (!needs.contains(c)) {
                col.need = std::max(col.need, c->rect.width() + beside);
                col.least = std::max(col.least, c->rect.width() + beside);
                continue;
            }
            const auto [total, word] = needs.value(c);
            col.need = std::max(col.need, padded(total) + beside);
            col.least = std::max(col.least, padded(word) + beside);
        }
        col.least = std::min(col.least, col.need);
    }

    // The widths: the designed ones where the values fit them and the page has room; else
    // what the values need, the rest shared in proportion to what the design gave beyond it;
    // else the widest columns give way to their longest word and wrap.
    int gaps = 0;
    for (int i = 1; i < columns.size(); ++i) gaps += columns[i].left - columns[i - 1].right;
    const int printable = layout.page.printableWidth();
    const int avail = std::max(0, printable - columns.first().left - gaps);
    QList<int> widths;
    long long sumTarget = 0, sumNeed = 0, sumLeast = 0;
    for (const Column& col : columns) {
        sumTarget += std::max(col.need, col.right - col.left);
        sumNeed += col.need;
        sumLeast += col.least;
    }
    if (sumTarget <= avail) {
        for (const Column& col : columns) widths << std::max(col.need, col.right - col.left);
    } else if (sumNeed <= avail) {
        const double spare = double(avail - sumNeed) / double(sumTarget - sumNeed);
        for (const Column& col : columns) {
            const int extra = std::max(col.need, col.right - col.left) - col.need;
            widths << col.need + int(std::floor(extra * spare));
        }
    } else if (sumLeast <= avail) {
        // The largest cap under which the capped columns still fit.
        int lo = 0, hi = 0;
        for (const Column& col : columns) hi = std::max(hi, col.need);
        const auto total = [&](int cap) {
            long long sum = 0;
            for (const Column& col : columns) sum += std::max(col.least, std::min(col.need, cap));
            return sum;
        };
        while (lo < hi) {
            const int mid = lo + (hi - lo + 1) / 2;
            if (total(mid) <= avail)
                lo = mid;
            else
                hi = mid - 1;
        }
        for (const Column& col : columns) widths << std::max(col.least, std::min(col.need, lo));
    } else {
        // Not even the longest words fit: every column shrinks alike and its words break.
        for (const Column& col : columns)
            widths << int(std::floor(col.least * double(avail) / double(sumLeast)));
    }

    for (const Column& col : std::as_const(columns))
        for (const Control* c : col.fields) fit.columnar_.insert(c);
    int left = columns.first().left;
    for (int i = 0; i < columns.size(); ++i) {
        const Column& col = columns[i];
        if (i > 0) left += col.left - columns[i - 1].right;
        fit.from_ << col.left << col.right;
        fit.to_ << left << left + widths[i];
        if (widths[i] < col.need)
            for (const Control* c : col.fields)
                if (isText(*c)) fit.wraps_.insert(c);
        left += widths[i];
    }
    // A column of no width would make two equal breakpoints: the map stays monotonic without
    // them.
    for (int k = int(fit.from_.size()) - 1; k > 0; --k)
        if (fit.from_[k] == fit.from_[k - 1]) {
            fit.from_.removeAt(k);
            fit.to_.removeAt(k);
        }
    fit.limit_ = printable;
    fit.widths_ = widths;

    // Text that is neither a column nor its heading keeps its width and follows the edge it is
    // aligned to; it stays right of the text before it on its line, by the gap the design left
    // between them, or where the page has no room for that, by as little of it as lets it keep
    // its width: a total under a column narrowed to fit the page ends at the page's edge rather
    // than shrink to nothing. Only what would overlap the text before it is cut at the page.
    for (const SectionRef& ref : sectionsInOrder(layout)) {
        QList<const Control*> texts;
        for (const Control& c : sectionAt(layout, ref)->controls)
            if (showsText(c) && !fit.columnar_.contains(&c)) texts << &c;
        std::stable_sort(texts.begin(), texts.end(), [](const Control* a, const Control* b) {
            return a->rect.left() < b->rect.left();
        });
        for (int j = 0; j < texts.size(); ++j) {
            const QRect& r = texts[j]->rect;
            int anchor;
            switch (texts[j]->align) {
                case HAlign::Right:
                    anchor = fit.x(r.left() + r.width()) - r.width();
                    break;
                case HAlign::Center:
                    anchor = fit.x(r.left() + r.width() / 2) - r.width() / 2;
                    break;
                case HAlign::Left:
                default:
                    anchor = fit.x(r.left());
                    break;
            }
            // Where the designed gaps put it, and the least it must stand clear of the text
            // before it.
            int left = anchor, clear = 0;
            for (int i = 0; i < j; ++i) {
                const QRect& before = texts[i]->rect;
                const int designedRight = before.left() + before.width();
                if (!sameLine(before, r) || designedRight > r.left()) continue;
                const QRect& moved = fit.placed_[texts[i]];
                const int gap = r.left() - designedRight;
                left = std::max(left, moved.left() + moved.width() + gap);
                clear = std::max(clear, moved.left() + moved.width() + std::min(gap, kLeastGap));
            }
            if (left + r.width() > printable) left = std::max(clear, printable - r.width());
            left = std::clamp(left, 0, printable);
            const int right = std::min(left + r.width(), printable);
            fit.placed_.insert(texts[j], QRect(left, r.top(), right - left, r.height()));
        }
    }
    return fit;
}

}  // namespace tolvane::reports
