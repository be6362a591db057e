// Pagination and page painting.
#include "reports/report_renderer.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <QTextList>
#include <optional>
#include <unordered_map>

#include "reports/barcode.h"
#include "reports/column_fit.h"
#include "reports/report_error.h"
#include "reports/report_format.h"
#include "reports/subreports.h"

namespace tolvane::reports {

namespace {

bool isBound(const Control& c) {
    return c.kind == ControlKind::Field || c.kind == ControlKind::CheckBox ||
           c.kind == ControlKind::Barcode;
}

QString richTextPlain(const QString& html) {
    return QTextDocumentFragment::fromHtml(html).toPlainText();
}

// Whether the report or a subreport printed in it shows the number of pages, which takes a
// pass that counts them first. `parent` is the child whose layout this is (nullptr: the
// report itself).
bool showsPageCount(const ReportLayout& layout, Subreports* subreports,
                    const ChildReport* parent = nullptr) {
    const auto controls = [&](auto&& found) {
        for (const SectionRef& ref : sectionsInOrder(layout))
            for (const Control& c : sectionAt(layout, ref)->controls)
                if (found(c)) return true;
        return false;
    };
    if (controls([](const Control& c) {
            return c.kind == ControlKind::PageNumber && c.text.contains(QLatin1String("{pages}"));
        }))
        return true;
    // The children are loaded only when the report itself does not tell.
    return subreports && controls([&](const Control& c) {
               if (c.kind != ControlKind::SubReport) return false;
               // A report that would print inside itself gets no child, so this ends.
               const ChildReport* child = subreports->child(c, parent);
               return child && showsPageCount(child->layout, subreports, child);
           });
}

// A running total of one column over the rows of a group or of the report.
struct Total {
    int column = 0;
    double sum = 0;
    qint64 count = 0;
    void clear() { sum = 0, count = 0; }
    void add(const QVariant& v) {
        if (v.isNull()) return;
        sum += v.toDouble();
        ++count;
    }
    QVariant value(Summary kind) const {
        return kind == Summary::Count ? QVariant(count) : QVariant(sum);
    }
};

// A section laid out for one row: its height after growing, its items relative to its top.
struct Laid {
    int height = 0;
    QList<RenderedItem> items;
    int subrows = 0;  // the detail rows of subreports among the items
};

// A subreport's columns fit nothing: its controls print where they were designed.
const ColumnFit kDesigned{};

class Paginator {
  public:
    // child: the subreport whose layout this is (nullptr: the report itself).
    Paginator(const ReportLayout& layout, const ColumnFit& fit, PageSink* sink,
              const RenderOptions& options, int pageCount, const ChildReport* child = nullptr)
        : l_(layout),
          fit_(fit),
          sink_(sink),
          options_(options),
          pageCount_(pageCount),
          child_(child) {}

    int run(RecordSource& rows) {
        rows.start();
        bind(rows.fields());
        if (sink_) {
            QSet<const ReportLayout*> told;
            tellIncluded(*sink_, told);
            sink_->begin(l_);
        }
        startPage(false);
        place(SectionKind::ReportHeader, -1, lay(l_.reportHeader, {}));
        // A report header that broke onto further pages had their page headers printed.
        if (pageNumber_ == 1) placeFixed(SectionKind::PageHeader, lay(l_.pageHeader, {}));
        const int groups = int(l_.groups.size());
        QVariantList prev;
        bool havePrev = false;
        while (rows.next()) {
            QVariantList row(columnCount_);
            for (int i = 0; i < columnCount_; ++i)
                if (read_[i]) row[i] = rows.value(i);
            const int level = havePrev ? sameGroups(row, prev) : 0;
            if (havePrev) {
                for (int g = groups - 1; g >= level; --g) {
                    openGroups_ = g + 1;
                    place(SectionKind::GroupFooter, g, lay(l_.groups[g].footer, prev));
                }
            }
            QList<Laid> headers;
            for (int g = level; g < groups; ++g) headers << lay(l_.groups[g].header, row);
            Laid detail = lay(l_.detail, row);
            // A group header keeps company with the headers inside it and the first detail;
            // outer headers print first.
            QList<int> following(headers.size());
            for (int i = int(headers.size()) - 1, below = detail.height; i >= 0; --i) {
                following[i] = below;
                below += headers[i].height;
            }
            for (int i = 0; i < headers.size(); ++i) {
                openGroups_ = level + i;
                place(SectionKind::GroupHeader, level + i, headers[i], following[i]);
            }
            openGroups_ = groups;
            count(level, row);
            lastRow_ = row;
            placeDetail(detail);
            prev = std::move(row);
            havePrev = true;
        }
        return finishReport(prev, havePrev);
    }

    // The report's sections for the rows given (indexes into rows), one under the other as a
    // subreport prints them in a control `width` wide: no pages, so no page header or footer.
    // A detail in columns divides the control's width among them and fills each row of
    // columns before the next; any other section ends the row. Its detail rows are the
    // subrows of what it lays out. Without rows nothing prints, unless the layout has no data
    // control: then its sections print as they are.
    Laid flow(const QList<QVariantList>& rows, const QList<int>& which, int width) {
        Laid out;
        if (which.isEmpty() && l_.data) return out;
        const int columns = std::max(1, l_.detail.columns);
        const int pitch =
            (width - (columns - 1) * l_.detail.columnSpacing) / columns + l_.detail.columnSpacing;
        int column = 0, rowTop = 0, rowHeight = 0;  // the row of columns being filled
        const auto add = [&](const Laid& laid, bool detail) {
            if (laid.height <= 0) return;
            if (!detail || columns == 1 || column == 0) {
                column = 0;
                rowTop = out.height;
                rowHeight = 0;
            }
            const int x = detail ? column * pitch : 0;
            const int first = out.subrows + 1;
            for (RenderedItem item : laid.items) {
                item.rect.translate(x, rowTop);
                item.subrow = !detail ? -1 : item.subrow > 0 ? first + item.subrow : first;
                out.items << std::move(item);
            }
            if (detail) out.subrows = first + laid.subrows;
            rowHeight = std::max(rowHeight, laid.height);
            out.height = rowTop + rowHeight;
            if (detail && columns > 1) column = (column + 1) % columns;
        };
        for (auto& [control, total] : totals_) total.clear();
        add(lay(l_.reportHeader, {}), false);
        const int groups = int(l_.groups.size());
        const QVariantList* prev = nullptr;
        for (const int i : which) {
            const QVariantList& row = rows[i];
            const int level = prev ? sameGroups(row, *prev) : 0;
            if (prev)
                for (int g = groups - 1; g >= level; --g)
                    add(lay(l_.groups[g].footer, *prev), false);
            for (int g = level; g < groups; ++g) add(lay(l_.groups[g].header, row), false);
            count(level, row);
            add(lay(l_.detail, row), true);
            prev = &row;
        }
        if (prev)
            for (int g = groups - 1; g >= 0; --g) add(lay(l_.groups[g].footer, *prev), false);
        add(lay(l_.reportFooter, prev ? *prev : QVariantList()), false);
        return out;
    }

  private:
    // How many groups, outermost first, a row continues from the row before it.
    int sameGroups(const QVariantList& row, const QVariantList& prev) const {
        int level = 0;
        while (level < l_.groups.size() && row[groupColumns_[level]] == prev[groupColumns_[level]])
            ++level;
        return level;
    }

    // A row read: the totals of the groups from level on start again (their footers have
    // printed), and the row counts in every total.
    void count(int level, const QVariantList& row) {
        for (int g = level; g < l_.groups.size(); ++g)
            for (Total* t : groupTotals_[g]) t->clear();
        for (auto& [control, total] : totals_) total.add(row[total.column]);
    }

    // The layouts of the subreports printed here, and of theirs, each told once.
    void tellIncluded(PageSink& sink, QSet<const ReportLayout*>& told) const {
        for (const auto& [control, sub] : subs_) {
            if (told.contains(&sub.child->layout)) continue;
            told.insert(&sub.child->layout);
            sink.includes(sub.child->layout);
            sub.run->tellIncluded(sink, told);
        }
    }

    // A subreport control of this layout: its child, the column of the link's parent field,
    // and the child's layout bound to the child's rows. A subreport that cannot print is said
    // and left out (it prints empty).
    void bindSubreport(const Control& c, const QStringList& fields) {
        if (!options_.subreports) return;
        Subreports& subreports = *options_.subreports;
        const ChildReport* child = subreports.child(c, child_);
        if (!child) return;
        int parentColumn = -1;
        if (!child->parentField.isEmpty()) {
            parentColumn = columnOfField(fields, child->parentField);
            if (parentColumn < 0) {
                subreports.problem(Subreports::printsEmpty(
                    c, QStringLiteral("its link names the field \"%1\", which the report it "
                                      "prints in does not give (it gives %2)")
                           .arg(child->parentField, fields.join(QStringLiteral(", ")))));
                return;
            }
        }
        auto run = std::make_unique<Paginator>(child->layout, kDesigned, sink_, options_, 0, child);
        try {
            run->bind(child->fields);
        } catch (const ReportError& e) {
            subreports.problem(
                Subreports::printsEmpty(c, QStringLiteral("%1 (%2)").arg(e.reason(), child->path)));
            return;
        }
        subs_[&c] = Subreport{child, parentColumn, std::move(run)};
    }

    int finishReport(const QVariantList& prev, bool havePrev) {
        if (havePrev)
            for (int g = int(l_.groups.size()) - 1; g >= 0; --g) {
                openGroups_ = g + 1;
                place(SectionKind::GroupFooter, g, lay(l_.groups[g].footer, prev));
            }
        openGroups_ = 0;
        place(SectionKind::ReportFooter, -1, lay(l_.reportFooter, prev));
        endPage();
        if (sink_) sink_->finish();
        return pageNumber_;
    }

    void bind(const QStringList& fields) {
        columnCount_ = int(fields.size());
        const auto need = [&](const QString& name) {
            const int column = columnOfField(fields, name);
            if (column < 0)
                throw ReportError(
                    QStringLiteral("the report shows the field \"%1\", which its query does not "
                                   "give (it gives %2)")
                        .arg(name, fields.join(QStringLiteral(", "))));
            return column;
        };
        for (const SectionRef& ref : sectionsInOrder(l_))
            for (const Control& c : sectionAt(l_, ref)->controls)
                if (isBound(c)) columns_.insert(&c, need(c.text));
        for (const Group& g : l_.groups) groupColumns_ << need(g.field);
        for (const SectionRef& ref : sectionsInOrder(l_))
            for (const Control& c : sectionAt(l_, ref)->controls)
                if (c.kind == ControlKind::SubReport) bindSubreport(c, fields);
        // Totals: keyed by their control, listed by the group whose run they cover.
        groupTotals_.resize(l_.groups.size());
        const auto collect = [&](const Section& section, int group) {
            for (const Control& c : section.controls)
                if (c.kind == ControlKind::Field && c.summary != Summary::None) {
                    Total& t = totals_[&c];
                    t.column = columns_.value(&c);
                    if (group >= 0) groupTotals_[group] << &t;
                }
        };
        for (int g = 0; g < l_.groups.size(); ++g) collect(l_.groups[g].footer, g);
        collect(l_.reportFooter, -1);
        // The pass that only counts pages reads what can move a band: the groups' values, the
        // totals and the texts that may grow their rows. The others stay null.
        read_.fill(sink_ != nullptr, columnCount_);
        if (sink_) return;
        for (const int column : std::as_const(groupColumns_)) read_[column] = true;
        for (const auto& [control, total] : totals_) read_[total.column] = true;
        for (const auto& [control, sub] : subs_)
            if (sub.parentColumn >= 0) read_[sub.parentColumn] = true;
        for (const auto& [control, column] : columns_.asKeyValueRange())
            if (control->canGrow || fit_.wraps(control)) read_[column] = true;
    }

    int bodyBottom() const {
        return l_.page.pageHeight() - l_.page.marginBottom - l_.pageFooter.height;
    }

    Laid lay(const Section& section, const QVariantList& row) {
        Laid laid;
        laid.height = section.height;
        if (section.height <= 0 && section.controls.isEmpty()) return laid;
        laid.items.reserve(section.controls.size());
        // Text that wraps and grows pushes down what stands below it (a rule under the row), and
        // so does a subreport that needs more room than its rectangle.
        QList<std::pair<int, int>> grown;  // original bottom, growth
        // A subreport's items: the index of its control's item, that item's top before it
        // moved down, and its rows' items.
        struct Inner {
            qsizetype host;
            int top;
            QList<RenderedItem> items;
        };
        QList<Inner> inner;
        for (const Control& c : section.controls) {
            RenderedItem item{&c, fit_.place(c)};
            item.wrap = c.canGrow || fit_.wraps(&c);
            if (c.kind == ControlKind::SubReport) {
                layInside(item, row, laid, grown, inner);
                continue;
            }
            // The pass that only counts pages needs the texts that may grow their rows alone.
            if (!sink_ && !item.wrap) {
                laid.items << item;
                continue;
            }
            switch (c.kind) {
                case ControlKind::Label:
                    item.text = c.text;
                    break;
                case ControlKind::Field:
                    item.value = c.summary == Summary::None ? row.value(columns_.value(&c))
                                                            : totals_.at(&c).value(c.summary);
                    item.text = formatValue(item.value, c.format, options_.locale);
                    break;
                case ControlKind::CheckBox:
                    item.value = row.value(columns_.value(&c));
                    item.checked = isTrue(item.value);
                    break;
                case ControlKind::Date:
                    item.text = options_.locale.toString(
                        options_.now, c.format.isEmpty() ? QStringLiteral("yyyy-MM-dd") : c.format);
                    break;
                case ControlKind::Barcode:
                    item.value = row.value(columns_.value(&c));
                    item.text = formatValue(item.value, c.format, options_.locale);
                    break;
                case ControlKind::RichText:
                    // Exports that write text take the paragraphs; the page draws the markup.
                    item.text = richTextPlain(c.text);
                    break;
                case ControlKind::Frame:
                    item.text = c.text;
                    break;
                case ControlKind::PageNumber:  // filled in when the page is known
                case ControlKind::Line:
                case ControlKind::Rectangle:
                case ControlKind::Picture:
                case ControlKind::SubReport:
                case ControlKind::PageBreak:
                    break;
            }
            if (item.wrap && !item.text.isEmpty()) {
                const QFontMetricsF metrics(printFont(c.font));
                const QRectF need = metrics.boundingRect(QRectF(0, 0, item.rect.width(), 1e7),
                                                         Qt::TextWordWrap, item.text);
                if (need.height() > c.rect.height()) {
                    item.rect.setHeight(int(std::ceil(need.height())));
                    grown << std::pair{c.rect.normalized().bottom(),
                                       item.rect.height() - c.rect.height()};
                }
            }
            laid.items << item;
        }
        // The section grows as much as its tallest growth, so what stood at its foot stays
        // inside it.
        for (const auto& [bottom, growth] : grown)
            laid.height = std::max(laid.height, section.height + growth);
        for (RenderedItem& item : laid.items) {
            int down = 0;
            for (const auto& [bottom, growth] : grown)
                if (item.control->rect.normalized().top() >= bottom) down = std::max(down, growth);
            item.rect.translate(0, down);
            laid.height = std::max(laid.height, item.rect.normalized().bottom() + 1);
        }
        // A subreport's rows move with its control and follow it among the items.
        if (!inner.isEmpty()) {
            QList<RenderedItem> items;
            qsizetype next = 0;
            for (Inner& in : inner) {
                while (next <= in.host) items << std::move(laid.items[next++]);
                const int down = items.last().rect.top() - in.top;
                for (RenderedItem& item : in.items) {
                    item.rect.translate(0, down);
                    items << std::move(item);
                }
            }
            while (next < laid.items.size()) items << std::move(laid.items[next++]);
            laid.items = std::move(items);
        }
        if (section.height <= 0) laid.height = 0;  // a hidden section stays hidden
        return laid;
    }

    // A subreport control laid for the row: its child's rows for the row's link value, placed
    // from the control's top left corner down, the control growing to hold them.
    template <typename Inner>
    void layInside(RenderedItem& item, const QVariantList& row, Laid& laid,
                   QList<std::pair<int, int>>& grown, QList<Inner>& inner) {
        const Control& c = *item.control;
        const auto it = subs_.find(&c);
        if (it != subs_.end()) {
            const Subreport& sub = it->second;
            const QList<int>& which =
                sub.child->rowsFor(sub.parentColumn < 0 ? QVariant() : row.value(sub.parentColumn));
            Laid rows = sub.run->flow(sub.child->rows, which, c.rect.normalized().width());
            if (rows.height > c.rect.height()) {
                item.rect.setHeight(rows.height);
                grown << std::pair{c.rect.normalized().bottom(), rows.height - c.rect.height()};
            }
            for (RenderedItem& r : rows.items) {
                r.rect.translate(item.rect.topLeft());
                if (r.subrow > 0) r.subrow += laid.subrows;
            }
            laid.subrows += rows.subrows;
            inner << Inner{laid.items.size(), item.rect.top(), std::move(rows.items)};
        }
        laid.items << item;
    }

    void startPage(bool withHeader) {
        page_ = RenderedPage{++pageNumber_, pageCount_, {}};
        column_ = 0;
        y_ = l_.page.marginTop;
        hasContent_ = false;
        if (withHeader) {
            placeFixed(SectionKind::PageHeader, lay(l_.pageHeader, lastRow_));
            // The headers of the runs that go on over the page break, outermost first.
            for (int g = 0; g < openGroups_; ++g)
                if (l_.groups[g].header.repeat)
                    placeFixed(SectionKind::GroupHeader, lay(l_.groups[g].header, lastRow_), g);
        }
        if (y_ >= bodyBottom())
            throw ReportError(
                QStringLiteral("the page header and footer leave no room on the page"));
    }

    void endPage() {
        const Laid footer = lay(l_.pageFooter, lastRow_);
        if (footer.height > 0) {
            y_ = bodyBottom();
            emitBand(SectionKind::PageFooter, -1, footer, 0, footer.height);
        }
        if (sink_) sink_->page(page_);
        page_.bands.clear();
    }

    void newPage() {
        endPage();
        startPage(true);
    }

    // Page headers (and the group headers repeated under them) print whole or clipped, never
    // split.
    void placeFixed(SectionKind kind, const Laid& laid, int group = -1) {
        if (laid.height <= 0) return;
        const int h = std::min(laid.height, std::max(0, bodyBottom() - y_));
        emitBand(kind, group, laid, 0, h);
        y_ += h;
    }

    // A detail printed in columns goes beside the one before it while its row has a free
    // column and the page room below the row's top; otherwise it starts a new row in the
    // first column. Any other band ends the row.
    void placeDetail(const Laid& laid) {
        const int columns = l_.detail.columns;
        if (columns <= 1) return place(SectionKind::Detail, -1, laid);
        if (laid.height <= 0) return;
        const int width = detailColumnWidth(l_.page, l_.detail);
        const int pitch = width + l_.detail.columnSpacing;
        if (column_ > 0 && column_ < columns && rowTop_ + laid.height <= bodyBottom()) {
            y_ = rowTop_;
            emitBand(SectionKind::Detail, -1, laid, 0, laid.height, column_ * pitch, width);
            rowBottom_ = std::max(rowBottom_, rowTop_ + laid.height);
            y_ = rowBottom_;
            ++column_;
            return;
        }
        place(SectionKind::Detail, -1, laid, 0, width);
        const RenderedBand& last = page_.bands.last();
        const bool whole = !last.continued && last.rect.height() == laid.height;
        column_ = whole ? 1 : 0;
        rowTop_ = y_ - laid.height;
        rowBottom_ = y_;
    }

    void place(SectionKind kind, int group, const Laid& laid, int keepWith = 0,
               int columnWidth = -1) {
        const int h = laid.height;
        if (h <= 0) return;
        column_ = 0;
        // A page break ends the page at its top: what stands above it prints here, the rest
        // starts the next page.
        int cut = h;
        for (const RenderedItem& item : laid.items)
            if (item.control->kind == ControlKind::PageBreak)
                cut = std::min(cut, std::max(0, item.rect.normalized().top()));
        if (cut < h) {
            if (cut > 0) placeWhole(kind, group, laid, 0, cut, keepWith, columnWidth);
            if (hasContent_) newPage();
            placeWhole(kind, group, laid, cut, h - cut, 0, columnWidth);
            return;
        }
        placeWhole(kind, group, laid, 0, h, keepWith, columnWidth);
    }

    // Places the part of a band from offset, height high.
    void placeWhole(SectionKind kind, int group, const Laid& laid, int from, int h, int keepWith,
                    int columnWidth) {
        if (hasContent_ && y_ + h + keepWith > bodyBottom()) newPage();
        const int bodyHeight = bodyBottom() - y_;
        if (h <= bodyHeight) {
            emitBand(kind, group, laid, from, h, 0, columnWidth);
            y_ += h;
            hasContent_ = true;
            return;
        }
        // Taller than a whole page: split it, each piece ending above the first control that
        // would be cut and could print whole on a page.
        const int end = from + h;
        int offset = from;
        while (offset < end) {
            const int room = bodyBottom() - y_;
            int cut = std::min(end, offset + room);
            if (cut < end)
                for (const RenderedItem& item : laid.items) {
                    const QRect r = item.rect.normalized();
                    if (r.top() > offset && r.top() < cut && r.bottom() + 1 > cut &&
                        r.height() <= room)
                        cut = std::min(cut, r.top());
                }
            emitBand(kind, group, laid, offset, cut - offset, 0, columnWidth);
            y_ += cut - offset;
            hasContent_ = true;
            offset = cut;
            if (offset < end) newPage();
        }
    }

    // x and width place a band of a detail printed in columns; -1 is the printable width.
    void emitBand(SectionKind kind, int group, const Laid& laid, int offset, int height, int x = 0,
                  int width = -1) {
        RenderedBand band;
        band.kind = kind;
        band.group = group;
        band.rect =
            QRect(l_.page.marginLeft + x, y_, width < 0 ? l_.page.printableWidth() : width, height);
        band.continued = offset > 0;
        const Section* section = sectionAt(l_, SectionRef{kind, group});
        band.backColor = section ? section->backColor : QColor();
        if (!sink_) {  // counting pages: nothing is printed
            page_.bands << std::move(band);
            return;
        }
        const int end = offset + height;
        for (const RenderedItem& item : laid.items) {
            const int top = item.rect.normalized().top();
            // An item prints in the piece its top falls in (the first piece takes all above it).
            if (!(top < end && (top >= offset || offset == 0))) continue;
            RenderedItem placed = item;
            placed.rect.translate(l_.page.marginLeft + x, y_ - offset);
            if (item.control->kind == ControlKind::PageNumber) {
                QString text =
                    item.control->text.isEmpty() ? QStringLiteral("{page}") : item.control->text;
                text.replace(QLatin1String("{pages}"), QString::number(pageCount_));
                text.replace(QLatin1String("{page}"), QString::number(page_.number));
                placed.text = text;
            }
            band.items << std::move(placed);
        }
        page_.bands << std::move(band);
    }

    // A subreport control's child, the column of its link's parent field (-1: unlinked) and the
    // child's layout bound to its rows.
    struct Subreport {
        const ChildReport* child = nullptr;
        int parentColumn = -1;
        std::unique_ptr<Paginator> run;
    };

    const ReportLayout& l_;
    const ColumnFit& fit_;
    PageSink* sink_;
    const RenderOptions& options_;
    const int pageCount_;
    const ChildReport* child_;
    std::unordered_map<const Control*, Subreport> subs_;
    QHash<const Control*, int> columns_;
    QList<int> groupColumns_;
    // Node-based, so that the group lists may point into it.
    std::unordered_map<const Control*, Total> totals_;
    QList<QList<Total*>> groupTotals_;
    int columnCount_ = 0;
    QList<bool> read_;  // the columns a row reads
    RenderedPage page_;
    int pageNumber_ = 0;
    int y_ = 0;
    bool hasContent_ = false;
    QVariantList lastRow_;
    // The groups, outermost first, whose runs carry on when a page breaks now: their headers
    // marked to repeat print again on the new page.
    int openGroups_ = 0;
    // A detail printed in columns: the next free column of the current row (0: none), the
    // row's top and the bottom of its tallest band.
    int column_ = 0;
    int rowTop_ = 0;
    int rowBottom_ = 0;
};

}  // namespace

namespace {

// The rows as every pass reads them, telling the run's progress as they go.
class WatchedRows : public RecordSource {
  public:
    WatchedRows(RecordSource& rows, int passes, const RenderOptions& options)
        : rows_(rows), passes_(passes), progress_(options.progress) {}
    ~WatchedRows() override {
        if (read_ >= kEvery) progress_(read_, 0);
    }
    void start() override { rows_.start(); }
    bool next() override {
        if (!rows_.next()) return false;
        if (++read_ % kEvery == 0) {
            if (total_ == 0) {
                const qint64 count = rows_.count();
                total_ = count < 0 ? -1 : count * passes_;
            }
            if (!progress_(read_, total_)) throw RenderCancelled{};
        }
        return true;
    }
    QVariant value(int column) const override { return rows_.value(column); }
    QStringList fields() const override { return rows_.fields(); }
    qint64 count() override { return rows_.count(); }

  private:
    static constexpr qint64 kEvery = 1000;
    RecordSource& rows_;
    const qint64 passes_;
    const std::function<bool(qint64, qint64)>& progress_;
    qint64 read_ = 0;
    qint64 total_ = 0;  // 0 until asked for
};

// The rows of a run of several passes (columns fitted to the values, a page count, the pages),
// kept in memory as the first pass reads them: the later passes read them from there rather
// than running the query again. A result larger than kKeptBytes is not kept; each pass then
// runs the query.
class KeptRows : public RecordSource {
  public:
    explicit KeptRows(RecordSource& rows) : rows_(rows) {}
    void start() override {
        at_ = -1;
        if (complete_) return;
        rows_.start();
        fields_ = rows_.fields();
        kept_.clear();
        bytes_ = 0;
        keeping_ = !fields_.isEmpty();
    }
    bool next() override {
        const qsizetype columns = fields_.size();
        if (complete_) return qsizetype(++at_ + 1) * columns <= qsizetype(kept_.size());
        if (!rows_.next()) {
            complete_ = keeping_;
            return false;
        }
        ++at_;
        if (!keeping_) return true;
        for (int c = 0; c < columns; ++c) {
            const QVariant& v = kept_.emplace_back(rows_.value(c));
            bytes_ += qint64(sizeof(QVariant));
            if (v.typeId() == QMetaType::QString)  // its characters and their header
                bytes_ += 2 * (static_cast<const QString*>(v.constData())->size() + 1) + 16;
        }
        if (bytes_ > kKeptBytes) {
            keeping_ = false;
            std::vector<QVariant>().swap(kept_);
        }
        return true;
    }
    QVariant value(int column) const override {
        if (!complete_ && !keeping_) return rows_.value(column);
        if (column < 0 || column >= fields_.size()) return {};
        return kept_[size_t(at_ * fields_.size() + column)];
    }
    QStringList fields() const override { return complete_ ? fields_ : rows_.fields(); }
    qint64 count() override {
        return complete_ ? qint64(kept_.size()) / std::max<qsizetype>(1, fields_.size())
                         : rows_.count();
    }

  private:
    static constexpr qint64 kKeptBytes = qint64(128) << 20;
    RecordSource& rows_;
    QStringList fields_;
    std::vector<QVariant> kept_;  // row after row
    qint64 bytes_ = 0;
    bool keeping_ = false;
    bool complete_ = false;
    qsizetype at_ = -1;
};

int runPasses(const ReportLayout& layout, RecordSource& rows, PageSink& sink,
              const RenderOptions& options) {
    const ColumnFit fit = fitColumns(layout, rows, options);
    int count = 0;
    if (showsPageCount(layout, options.subreports.get()))
        count = Paginator(layout, fit, nullptr, options, 0).run(rows);
    return Paginator(layout, fit, &sink, options, count).run(rows);
}

}  // namespace

int renderReport(const ReportLayout& layout, RecordSource& rows, PageSink& sink,
                 const RenderOptions& options) {
    const int passes =
        1 + int(fitsColumnsToRows(layout)) + int(showsPageCount(layout, options.subreports.get()));
    std::optional<KeptRows> kept;
    RecordSource* source = &rows;
    if (passes > 1) source = &kept.emplace(rows);
    if (!options.progress) return runPasses(layout, *source, sink, options);
    WatchedRows watched(*source, passes, options);
    return runPasses(layout, watched, sink, options);
}

int columnOfField(const QStringList& fields, const QString& name) {
    for (int i = 0; i < fields.size(); ++i)
        if (fields[i].compare(name, Qt::CaseInsensitive) == 0) return i;
    const int dot = int(name.lastIndexOf(QLatin1Char('.')));
    if (dot >= 0) return columnOfField(fields, name.mid(dot + 1));
    return -1;
}

Qt::PenStyle penStyle(LineStyle style) {
    switch (style) {
        case LineStyle::Dash:
            return Qt::DashLine;
        case LineStyle::Dot:
            return Qt::DotLine;
        case LineStyle::DashDot:
            return Qt::DashDotLine;
        case LineStyle::Solid:
            break;
    }
    return Qt::SolidLine;
}

QFont printFont(const ReportFont& f) {
    QFont font(f.family);
    font.setPixelSize(std::max(1, int(std::lround(f.pointSize * kTwipsPerPoint))));
    font.setBold(f.bold);
    font.setItalic(f.italic);
    font.setUnderline(f.underline);
    return font;
}

std::unique_ptr<QTextDocument> richTextDocument(const Control& c, int width) {
    auto doc = std::make_unique<QTextDocument>();
    doc->setDocumentMargin(0);
    doc->setDefaultFont(printFont(c.font));
    doc->setIndentWidth(kIndentStep);
    doc->setHtml(c.text);
    doc->setTextWidth(width);
    // Bullets and indent apply to every paragraph: one list for all of them, or each block
    // moved in by the indent.
    if (c.bullets || c.indent > 0) {
        QTextCursor cursor(doc.get());
        cursor.select(QTextCursor::Document);
        if (c.bullets) {
            QTextListFormat list;
            list.setStyle(QTextListFormat::ListDisc);
            list.setIndent(1 + c.indent);
            cursor.createList(list);
        } else {
            for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
                QTextCursor at(b);
                QTextBlockFormat f = b.blockFormat();
                f.setIndent(c.indent);
                at.setBlockFormat(f);
            }
        }
    }
    return doc;
}

const BarcodeSymbol& PagePainter::barcode(Symbology symbology, const QString& data) {
    // A label sheet prints each symbol once or twice: keep the recent ones, not all.
    if (barcodes_.size() > 256) barcodes_.clear();
    const auto key = std::pair{int(symbology), data};
    auto it = barcodes_.find(key);
    if (it == barcodes_.end())
        it = barcodes_.insert(
            key, std::make_shared<const BarcodeSymbol>(encodeBarcode(symbology, data)));
    return **it;
}

const QImage& PagePainter::picture(const Control& control) {
    auto it = pictures_.find(&control);
    if (it == pictures_.end()) it = pictures_.insert(&control, QImage::fromData(control.image));
    return *it;
}

int PagePainter::font(const ReportFont& font) {
    for (int i = 0; i < fonts_.size(); ++i)
        if (fonts_[i].first == font) return i;
    fonts_.append({font, printFont(font)});
    return int(fonts_.size() - 1);
}

namespace {

// Texts laid out here exactly as QPainter::drawText lays them out. Anything else (line breaks,
// tabs and other control characters, spaces at either end, right-to-left scripts, decorated
// fonts) is left to drawText itself.
bool laidOutHere(const QString& text, const QFont& font) {
    if (text.isEmpty() || text.front().isSpace() || text.back().isSpace()) return false;
    if (font.underline() || font.overline() || font.strikeOut()) return false;
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x20 || (u >= 0x7f && u <= 0x9f) || u == 0x2028 || u == 0x2029) return false;
        switch (ch.direction()) {
            case QChar::DirR:
            case QChar::DirAL:
            case QChar::DirAN:
            case QChar::DirRLE:
            case QChar::DirRLO:
            case QChar::DirRLI:
            case QChar::DirLRE:
            case QChar::DirLRO:
            case QChar::DirLRI:
            case QChar::DirFSI:
            case QChar::DirPDF:
            case QChar::DirPDI:
                return false;
            default:
                break;
        }
    }
    return true;
}

}  // namespace

// A text laid out for a box of one size: its lines and where each starts from the box's top
// left corner. No layout: the text is drawn by drawText (it does not fit its box, which then
// clips it, or it is not one laidOutHere takes).
struct PagePainter::LaidText {
    // For an engine that draws glyphs, each line's glyphs take the layout's place when the text
    // is first drawn there; neither: the text is drawn by drawText.
    mutable std::unique_ptr<QTextLayout> layout;
    mutable QList<QList<QGlyphRun>> runs;
    QList<QPointF> origins;
};

// The lines are made as drawText makes them: a line as wide as the box when the text wraps
// (unbounded otherwise), each line's top on a whole unit below the one before and its leading,
// no more lines once the box is full; the block is then aligned in the box and each line in
// the block by its own advance.
void PagePainter::drawText(QPainter& p, const QRect& rect, int flags, int fontIndex,
                           const QString& text) {
    if (!reuseLayouts_) return p.drawText(rect, flags, text);
    const TextKey key{fontIndex, p.device() ? p.device()->logicalDpiY() : 0, flags, rect.size(),
                      text};
    auto it = texts_.constFind(key);
    if (it == texts_.cend()) {
        // Kept as glyphs, a text takes a tenth of the memory of its layout: many more are kept.
        if (texts_.size() >= (glyphEngine_ ? 32768 : 4096)) texts_.clear();
        auto laid = std::make_shared<LaidText>();
        const QFont font = p.font();
        if (p.layoutDirection() != Qt::RightToLeft && laidOutHere(text, font)) {
            const QRectF r(rect);
            auto layout = std::make_unique<QTextLayout>(text, font);
            QTextOption option;
            option.setTextDirection(p.layoutDirection());
            option.setAlignment(Qt::AlignLeft);
            layout->setTextOption(option);
            layout->setCacheEnabled(true);
            const bool wrap = flags & Qt::TextWordWrap;
            const qreal lineWidth = wrap ? std::max<qreal>(0, r.width()) : 0x01000000;
            const qreal leading = QFontMetricsF(font).leading();
            qreal height = -leading, width = 0;
            bool whole = false;  // every line made before the box was full
            layout->beginLayout();
            for (;;) {
                QTextLine line = layout->createLine();
                if (!line.isValid()) {
                    whole = true;
                    break;
                }
                line.setLineWidth(lineWidth);
                height += leading;
                height = std::ceil(height);
                line.setPosition(QPointF(0, height));
                height += line.ascent() + line.descent();
                width = std::max(width, line.naturalTextWidth());
                if (height >= r.height()) break;
            }
            layout->endLayout();
            qreal yoff = 0, xoff = 0;
            if (flags & Qt::AlignBottom)
                yoff = r.height() - height;
            else if (flags & Qt::AlignVCenter)
                yoff = (r.height() - height) / 2;
            if (flags & Qt::AlignRight)
                xoff = r.width() - width;
            else if (flags & Qt::AlignHCenter)
                xoff = (r.width() - width) / 2;
            // Relative to a box at the origin: the same sums as drawText's for any box of this
            // size, as the box's corner has whole coordinates.
            if (whole &&
                QRectF(0, 0, r.width(), r.height()).contains(QRectF(xoff, yoff, width, height))) {
                for (int i = 0; i < layout->lineCount(); ++i) {
                    const qreal advance = layout->lineAt(i).horizontalAdvance();
                    qreal x = 0;
                    if (flags & Qt::AlignRight)
                        x = r.width() - advance;
                    else if (flags & Qt::AlignHCenter)
                        x = (r.width() - advance) / 2;
                    laid->origins << QPointF(x, yoff);
                }
                laid->layout = std::move(layout);
            }
        }
        it = texts_.insert(key, std::move(laid));
    }
    const LaidText& laid = **it;
    if (glyphEngine_ && laid.runs.isEmpty() && laid.layout) {
        for (int i = 0; i < laid.origins.size(); ++i)
            laid.runs << laid.layout->lineAt(i).glyphRuns();
        // The glyphs are all such an engine needs: the layout's memory goes.
        laid.layout.reset();
    }
    if (!laid.runs.isEmpty() && glyphEngine_) {
        for (int i = 0; i < laid.origins.size(); ++i)
            glyphEngine_->drawGlyphRuns(
                QPointF(rect.x() + laid.origins[i].x(), rect.y() + laid.origins[i].y()),
                laid.runs[i], text, fonts_[fontIndex].second);
        return;
    }
    if (!laid.layout) return p.drawText(rect, flags, text);
    for (int i = 0; i < laid.origins.size(); ++i)
        laid.layout->lineAt(i).draw(
            &p, QPointF(rect.x() + laid.origins[i].x(), rect.y() + laid.origins[i].y()));
}

void PagePainter::paint(QPainter& p, const RenderedPage& page) {
    glyphEngine_ = reuseLayouts_ ? dynamic_cast<GlyphRunEngine*>(p.paintEngine()) : nullptr;
    for (const RenderedBand& band : page.bands) {
        p.save();
        p.setClipRect(band.rect);
        if (band.backColor.isValid()) p.fillRect(band.rect, band.backColor);
        // The font and colour the texts of a row share are set once for the row: setting them
        // costs more than most texts (the painter resolves the font for its device each time).
        int textFont = -1;   // the font the texts set last
        QColor textColor{};  // the pen they set last, until another control sets its own
        for (const RenderedItem& item : band.items) {
            const Control& c = *item.control;
            const QRect r = item.rect;
            if (c.kind == ControlKind::Line || c.kind == ControlKind::Rectangle ||
                c.kind == ControlKind::CheckBox)
                textColor = QColor();
            switch (c.kind) {
                case ControlKind::Line: {
                    p.setPen(QPen(c.foreColor.isValid() ? c.foreColor : Qt::black,
                                  std::max(1, c.lineWidth), penStyle(c.lineStyle), Qt::FlatCap));
                    p.drawLine(r.topLeft(), r.topLeft() + QPoint(r.width(), r.height()));
                    break;
                }
                case ControlKind::Rectangle: {
                    p.setPen(c.foreColor.isValid() ? QPen(c.foreColor, std::max(1, c.lineWidth),
                                                          penStyle(c.lineStyle))
                                                   : QPen(Qt::NoPen));
                    p.setBrush(c.backColor.isValid() ? QBrush(c.backColor) : QBrush(Qt::NoBrush));
                    p.drawRect(r);
                    p.setBrush(Qt::NoBrush);
                    break;
                }
                case ControlKind::Picture: {
                    const QImage& img = picture(c);
                    if (!img.isNull()) {
                        const QSize size = img.size().scaled(r.size(), Qt::KeepAspectRatio);
                        p.drawImage(QRect(r.topLeft(), size), img);
                    }
                    break;
                }
                case ControlKind::CheckBox: {
                    if (c.backColor.isValid()) p.fillRect(r, c.backColor);
                    const int side = std::min({r.width(), r.height(), 200});
                    const QRect box(r.left() + 15, r.top() + (r.height() - side) / 2, side - 30,
                                    side - 30);
                    p.setPen(QPen(c.foreColor.isValid() ? c.foreColor : Qt::black, 15));
                    p.drawRect(box);
                    if (item.checked) {
                        p.setPen(QPen(c.foreColor.isValid() ? c.foreColor : Qt::black, 25));
                        p.drawLine(box.left() + side / 6, box.center().y(), box.center().x() - 10,
                                   box.bottom() - side / 6);
                        p.drawLine(box.center().x() - 10, box.bottom() - side / 6,
                                   box.right() - side / 6, box.top() + side / 6);
                    }
                    break;
                }
                case ControlKind::Barcode: {
                    if (c.backColor.isValid()) p.fillRect(r, c.backColor);
                    paintBarcode(p, r, barcode(c.symbology, item.text), c.symbology, c.foreColor,
                                 c.align);
                    textColor = QColor();
                    break;
                }
                case ControlKind::RichText: {
                    if (c.backColor.isValid()) p.fillRect(r, c.backColor);
                    const std::unique_ptr<QTextDocument> doc = richTextDocument(c, r.width());
                    QAbstractTextDocumentLayout::PaintContext context;
                    context.palette.setColor(
                        QPalette::Text, c.foreColor.isValid() ? c.foreColor : QColor(Qt::black));
                    context.clip = QRectF(0, 0, r.width(), r.height());
                    p.save();
                    p.translate(r.topLeft());
                    p.setClipRect(context.clip, Qt::IntersectClip);
                    doc->documentLayout()->draw(&p, context);
                    p.restore();
                    textFont = -1;
                    textColor = QColor();
                    break;
                }
                case ControlKind::Frame:
                case ControlKind::SubReport: {
                    if (c.backColor.isValid()) p.fillRect(r, c.backColor);
                    p.setPen(QPen(c.foreColor.isValid() ? c.foreColor : QColor(Qt::black),
                                  std::max(1, c.lineWidth), penStyle(c.lineStyle)));
                    p.setBrush(Qt::NoBrush);
                    if (c.kind == ControlKind::Frame) p.drawRect(r);
                    textColor = QColor();
                    if (c.kind == ControlKind::SubReport || item.text.isEmpty()) break;
                    // The caption stands in the top border, on the page's white.
                    const int f = font(c.font);
                    p.setFont(fonts_[f].second);
                    textFont = f;
                    const QFontMetrics m(fonts_[f].second);
                    const QRect caption(r.left() + 120, r.top() - m.height() / 2,
                                        m.horizontalAdvance(item.text) + 60, m.height());
                    p.fillRect(caption, c.backColor.isValid() ? c.backColor : QColor(Qt::white));
                    p.drawText(caption, Qt::AlignCenter, item.text);
                    break;
                }
                case ControlKind::PageBreak:
                    break;
                case ControlKind::Label:
                case ControlKind::Field:
                case ControlKind::PageNumber:
                case ControlKind::Date: {
                    if (c.backColor.isValid()) p.fillRect(r, c.backColor);
                    if (item.text.isEmpty()) break;
                    const int f = font(c.font);
                    if (f != textFont) {
                        p.setFont(fonts_[f].second);
                        textFont = f;
                    }
                    const QColor color = c.foreColor.isValid() ? c.foreColor : QColor(Qt::black);
                    if (color != textColor) {
                        p.setPen(color);
                        textColor = color;
                    }
                    int flags = c.align == HAlign::Right    ? Qt::AlignRight
                                : c.align == HAlign::Center ? Qt::AlignHCenter
                                                            : Qt::AlignLeft;
                    flags |= item.wrap ? (Qt::AlignTop | Qt::TextWordWrap) : Qt::AlignVCenter;
                    drawText(p, r, flags, f, item.text);
                    break;
                }
            }
        }
        p.restore();
    }
}

QImage PageImageSink::paintPage(const RenderedPage& page, const PageSetup& setup, int dpi,
                                PagePainter& painter, QImage::Format format) {
    QImage image(qRound(setup.pageWidth() * dpi / double(kTwipsPerInch)),
                 qRound(setup.pageHeight() * dpi / double(kTwipsPerInch)), format);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.scale(dpi / double(kTwipsPerInch), dpi / double(kTwipsPerInch));
    painter.paint(p, page);
    return image;
}

void PageImageSink::page(const RenderedPage& page) {
    take_(page, paintPage(page, page_, dpi_, painter_));
}

PagedDeviceSink::PagedDeviceSink(QPagedPaintDevice& device)
    : device_(device), painter_(std::make_unique<QPainter>()) {}

PagedDeviceSink::~PagedDeviceSink() {
    if (painter_->isActive()) painter_->end();
}

void PagedDeviceSink::begin(const ReportLayout& layout) {
    const PageSetup& s = layout.page;
    device_.setPageLayout(QPageLayout(
        QPageSize(
            QSizeF(s.paperWidth / double(kTwipsPerPoint), s.paperHeight / double(kTwipsPerPoint)),
            QPageSize::Point),
        s.landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF()));
    if (!painter_->begin(&device_))
        throw ReportError(QStringLiteral("the report cannot be printed: the device cannot start"));
    painter_->setRenderHint(QPainter::Antialiasing);
    painter_->setRenderHint(QPainter::TextAntialiasing);
    painter_->scale(device_.logicalDpiX() / double(kTwipsPerInch),
                    device_.logicalDpiY() / double(kTwipsPerInch));
}

void PagedDeviceSink::page(const RenderedPage& page) {
    if (page.number > 1) device_.newPage();
    pages_.paint(*painter_, page);
}

void PagedDeviceSink::finish() {
    if (painter_->isActive() && !painter_->end())
        throw ReportError(QStringLiteral("the report cannot be printed: the device failed"));
}

}  // namespace tolvane::reports
