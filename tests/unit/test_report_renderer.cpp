// The report renderer: pagination (page header and footer on every page, page numbers and
// counts, group headers kept with their first row, a detail taller than a page), field
// formats, and the data control's query on its database.
#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QTextDocument>
#include <QTextList>

#include "db/schema.h"
#include "db_fixture.h"
#include "reports/barcode.h"
#include "reports/column_fit.h"
#include "reports/record_source.h"
#include "reports/report_error.h"
#include "reports/report_format.h"
#include "reports/report_renderer.h"
#include "reports/report_wizard.h"

using namespace tolvane;
using namespace tolvane::reports;

namespace {

// Keeps every page: enough for reports of a few pages.
struct KeepPages : PageSink {
    QList<RenderedPage> pages;
    bool begun = false;
    void begin(const ReportLayout&) override { begun = true; }
    void page(const RenderedPage& p) override { pages << p; }
};

Control field(const QString& name, int left = 0, int top = 0, int height = 300) {
    return Control{
        .kind = ControlKind::Field, .rect = QRect(left, top, 2000, height), .text = name};
}

Control control(ControlKind kind, QRect rect, const QString& text = {}) {
    return Control{.kind = kind, .rect = rect, .text = text};
}

Control label(const QString& text, QRect rect = QRect(0, 0, 2000, 300)) {
    return control(ControlKind::Label, rect, text);
}

// A page 3.5 inches high with half-inch margins: 3600 twips printable, of which page header
// and footer take 300 each, leaving 3000 for the body (ten details of 300).
ReportLayout smallPages() {
    ReportLayout l;
    l.page = PageSetup{12240, 5040, false, 720, 720, 720, 720};
    l.pageHeader.height = 300;
    l.pageHeader.controls << label("Cable");
    l.pageFooter.height = 300;
    l.pageFooter.controls << control(ControlKind::PageNumber, QRect(0, 0, 3000, 300),
                                     "Page {page} of {pages}");
    l.detail.height = 300;
    l.detail.controls << field(QStringLiteral("CableNO"));
    return l;
}

TableRecordSource cables(int n, const std::function<QString(int)>& group = {}) {
    QList<QVariantList> rows;
    for (int i = 1; i <= n; ++i)
        rows << QVariantList{QStringLiteral("C%1").arg(i), group ? group(i) : QString()};
    return TableRecordSource({QStringLiteral("CableNO"), QStringLiteral("SignalType")}, rows);
}

QStringList texts(const RenderedPage& page, SectionKind kind) {
    QStringList out;
    for (const RenderedBand& b : page.bands)
        if (b.kind == kind)
            for (const RenderedItem& i : b.items) out << i.text;
    return out;
}

// The body bands of a page: all but its page header and footer.
QList<const RenderedBand*> body(const RenderedPage& page) {
    QList<const RenderedBand*> out;
    for (const RenderedBand& b : page.bands)
        if (b.kind != SectionKind::PageHeader && b.kind != SectionKind::PageFooter) out << &b;
    return out;
}

}  // namespace

TEST(ReportPagination, PageHeaderAndFooterOnEveryPageWithNumberAndCount) {
    ReportLayout l = smallPages();
    l.reportHeader.height = 600;
    l.reportHeader.controls << label("Cable List", QRect(0, 0, 5000, 600));
    l.reportFooter.height = 300;
    l.reportFooter.controls << label("End");
    auto rows = cables(25);
    KeepPages sink;
    // Page 1: report header (600) and 8 details; page 2: 10; page 3: 7 and the report footer.
    ASSERT_EQ(renderReport(l, rows, sink), 3);
    ASSERT_EQ(sink.pages.size(), 3);
    for (int p = 0; p < 3; ++p) {
        const RenderedPage& page = sink.pages[p];
        EXPECT_EQ(page.number, p + 1);
        EXPECT_EQ(texts(page, SectionKind::PageFooter),
                  QStringList{QStringLiteral("Page %1 of 3").arg(p + 1)});
        EXPECT_EQ(page.bands.last().kind, SectionKind::PageFooter);
        EXPECT_EQ(page.bands.last().rect, QRect(720, 4020, 10800, 300));
        const RenderedBand& header = p == 0 ? page.bands[1] : page.bands[0];
        EXPECT_EQ(header.kind, SectionKind::PageHeader);
        for (const RenderedBand* b : body(page)) EXPECT_LE(b->rect.bottom() + 1, 4020);
    }
    EXPECT_EQ(sink.pages[0].bands[0].kind, SectionKind::ReportHeader);
    EXPECT_EQ(sink.pages[0].bands[0].rect.top(), 720);
    EXPECT_EQ(texts(sink.pages[0], SectionKind::Detail).size(), 8);
    EXPECT_EQ(texts(sink.pages[1], SectionKind::Detail).first(), QStringLiteral("C9"));
    EXPECT_EQ(texts(sink.pages[2], SectionKind::Detail).size(), 7);
    EXPECT_EQ(texts(sink.pages[2], SectionKind::ReportFooter), QStringList{QStringLiteral("End")});
    // Without a count in the layout, one pass and no count.
    l.pageFooter.controls[0].text = QStringLiteral("Page {page}");
    KeepPages again;
    EXPECT_EQ(renderReport(l, rows, again), 3);
    EXPECT_EQ(again.pages[2].count, 0);
    EXPECT_EQ(texts(again.pages[2], SectionKind::PageFooter),
              QStringList{QStringLiteral("Page 3")});
}

TEST(ReportPagination, GroupHeaderNeverStandsAloneAtThePageFoot) {
    ReportLayout l = smallPages();
    Group g{QStringLiteral("SignalType")};
    g.header.height = 450;
    g.header.controls << field(QStringLiteral("SignalType"), 0, 0, 450);
    g.footer.height = 300;
    g.footer.controls << label("end of group") << field(QStringLiteral("SignalType"), 2000);
    l.groups << g;
    // Audio: header 450 + 6 rows 1800 + footer 300 = 2550 of 3000; 450 left, exactly the
    // height of the Video header, but not of the header and its first row.
    auto rows = cables(
        10, [](int i) { return i <= 6 ? QStringLiteral("Audio") : QStringLiteral("Video"); });
    KeepPages sink;
    ASSERT_EQ(renderReport(l, rows, sink), 2);
    for (const RenderedPage& page : sink.pages)
        EXPECT_NE(body(page).last()->kind, SectionKind::GroupHeader) << "page " << page.number;
    const auto second = body(sink.pages[1]);
    EXPECT_EQ(second.first()->rect.top(), 1020);
    EXPECT_EQ(texts(sink.pages[1], SectionKind::GroupHeader), QStringList{QStringLiteral("Video")});
    // A footer shows the group it closes.
    EXPECT_EQ(texts(sink.pages[0], SectionKind::GroupFooter),
              (QStringList{QStringLiteral("end of group"), QStringLiteral("Audio")}));
    EXPECT_EQ(texts(sink.pages[1], SectionKind::GroupFooter),
              (QStringList{QStringLiteral("end of group"), QStringLiteral("Video")}));
    // Header, rows and footer in order within the second page.
    QList<SectionKind> kinds;
    for (const RenderedBand* b : second) kinds << b->kind;
    EXPECT_EQ(kinds, (QList<SectionKind>{SectionKind::GroupHeader, SectionKind::Detail,
                                         SectionKind::Detail, SectionKind::Detail,
                                         SectionKind::Detail, SectionKind::GroupFooter}));
}

// A detail in three columns (labels on a sheet): rows fill across then down, each band as
// wide as its column; a group header ends the row it follows; a full page (ten rows of three)
// goes on to the next page, which starts again in the first column.
TEST(ReportPagination, DetailInColumnsFillsRowsAcrossThenDown) {
    ReportLayout l = smallPages();
    l.detail.columns = 3;
    l.detail.columnSpacing = 180;
    ASSERT_EQ(detailColumnWidth(l.page, l.detail), 3480);  // (10800 - 2 x 180) / 3
    Group g{QStringLiteral("SignalType")};
    g.header.height = 300;
    g.header.controls << field(QStringLiteral("SignalType"));
    l.groups << g;
    auto rows =
        cables(7, [](int i) { return i <= 4 ? QStringLiteral("Audio") : QStringLiteral("Video"); });
    KeepPages sink;
    ASSERT_EQ(renderReport(l, rows, sink), 1);
    QStringList placed;
    for (const RenderedBand* b : body(sink.pages[0])) {
        const QString text = b->items.isEmpty() ? QString() : b->items.first().text;
        placed << QStringLiteral("%1@%2,%3").arg(text).arg(b->rect.left()).arg(b->rect.top());
        if (b->kind == SectionKind::Detail) {
            EXPECT_EQ(b->rect.width(), 3480);
            EXPECT_EQ(b->items.first().rect.left(), b->rect.left());
        }
    }
    EXPECT_EQ(placed, (QStringList{"Audio@720,1020", "C1@720,1320", "C2@4380,1320", "C3@8040,1320",
                                   "C4@720,1620", "Video@720,1920", "C5@720,2220", "C6@4380,2220",
                                   "C7@8040,2220"}));

    l.groups.clear();
    auto many = cables(40);
    KeepPages sheets;
    ASSERT_EQ(renderReport(l, many, sheets), 2);
    const auto details = [](const RenderedPage& p) {
        QList<const RenderedBand*> out;
        for (const RenderedBand* b : body(p))
            if (b->kind == SectionKind::Detail) out << b;
        return out;
    };
    ASSERT_EQ(details(sheets.pages[0]).size(), 30);
    ASSERT_EQ(details(sheets.pages[1]).size(), 10);
    EXPECT_EQ(details(sheets.pages[0]).last()->rect.topLeft(), QPoint(8040, 3720));
    EXPECT_EQ(details(sheets.pages[1]).first()->rect.topLeft(), QPoint(720, 1020));
    EXPECT_EQ(details(sheets.pages[1]).first()->items.first().text, QStringLiteral("C31"));
    EXPECT_EQ(details(sheets.pages[1]).last()->rect.topLeft(), QPoint(720, 1920));
}

// Nested groups: the outer header prints before the inner one. Totals in footers: a group's
// cover its own run only and start again with the next run, inner groups inside outer ones;
// the report footer's cover every row; null values count towards neither the sum nor the
// count; across pages nothing is lost.
TEST(ReportPagination, FooterTotalsCoverTheirGroupsRowsAndTheReportsRows) {
    ReportLayout l = smallPages();
    const auto total = [](const QString& name, Summary kind, int left) {
        Control c = field(name, left);
        c.summary = kind;
        c.format = kind == Summary::Sum ? QStringLiteral("0.00") : QString();
        return c;
    };
    Group outer{QStringLiteral("Class")}, inner{QStringLiteral("Item")};
    outer.header.height = 300;
    outer.header.controls << field(QStringLiteral("Class"));
    inner.header.height = 300;
    inner.header.controls << field(QStringLiteral("Item"));
    outer.footer.height = 300;
    outer.footer.controls << field(QStringLiteral("Class"))
                          << total(QStringLiteral("Ext"), Summary::Sum, 2000)
                          << total(QStringLiteral("Ext"), Summary::Count, 4000);
    inner.footer.height = 300;
    inner.footer.controls << field(QStringLiteral("Item"))
                          << total(QStringLiteral("Ext"), Summary::Sum, 2000);
    l.groups << outer << inner;
    l.reportFooter.height = 300;
    l.reportFooter.controls << total(QStringLiteral("Ext"), Summary::Sum, 2000)
                            << total(QStringLiteral("Ext"), Summary::Count, 4000);
    QList<QVariantList> rows;
    const auto row = [&](const char* c, const char* i, QVariant ext) {
        rows << QVariantList{QStringLiteral("C"), QString::fromLatin1(c), QString::fromLatin1(i),
                             ext};
    };
    row("A", "x", 1.5);
    row("A", "x", 2);
    row("A", "y", QVariant(QMetaType(QMetaType::Double)));
    row("B", "y", 10);
    for (int i = 0; i < 12; ++i) row("C", "z", 1);  // runs onto a second page
    TableRecordSource source({"CableNO", "Class", "Item", "Ext"}, rows);
    KeepPages sink;
    ASSERT_EQ(renderReport(l, source, sink), 4);
    QStringList headers, footers;
    for (const RenderedPage& page : sink.pages) {
        headers << texts(page, SectionKind::GroupHeader);
        for (const RenderedBand& b : page.bands)
            if (b.kind == SectionKind::GroupFooter || b.kind == SectionKind::ReportFooter) {
                QStringList t;
                for (const RenderedItem& i : b.items) t << i.text;
                footers << t.join(' ');
            }
    }
    EXPECT_EQ(headers, (QStringList{"A", "x", "y", "B", "y", "C", "z"}));
    EXPECT_EQ(footers, (QStringList{"x 3.50", "y 0.00", "A 3.50 2", "y 10.00", "B 10.00 1",
                                    "z 12.00", "C 12.00 12", "25.50 15"}))
        << footers.join(" / ").toStdString();
}

TEST(ReportPagination, DetailTallerThanAPageIsSplitBetweenControls) {
    ReportLayout l = smallPages();
    l.detail.height = 7000;
    l.detail.controls = {field(QStringLiteral("CableNO"), 0, 0),
                         // crosses the first cut (at 3000): goes whole to the second page
                         field(QStringLiteral("SignalType"), 0, 2800, 400),
                         // taller than a page: clipped, in the piece its top falls in
                         control(ControlKind::Rectangle, QRect(3000, 100, 1000, 5000)),
                         field(QStringLiteral("CableNO"), 0, 6700)};
    auto rows = cables(1, [](int) { return QStringLiteral("Video"); });
    KeepPages sink;
    ASSERT_EQ(renderReport(l, rows, sink), 3);
    const auto p1 = body(sink.pages[0]), p2 = body(sink.pages[1]), p3 = body(sink.pages[2]);
    ASSERT_EQ(p1.size(), 1);
    ASSERT_EQ(p2.size(), 1);
    ASSERT_EQ(p3.size(), 1);
    EXPECT_EQ(p1[0]->rect, QRect(720, 1020, 10800, 2800));
    EXPECT_FALSE(p1[0]->continued);
    EXPECT_EQ(p1[0]->items.size(), 2);  // the first field and the tall rectangle
    EXPECT_EQ(p2[0]->rect, QRect(720, 1020, 10800, 3000));
    EXPECT_TRUE(p2[0]->continued);
    ASSERT_EQ(p2[0]->items.size(), 1);
    EXPECT_EQ(p2[0]->items[0].text, QStringLiteral("Video"));
    EXPECT_EQ(p2[0]->items[0].rect.top(), 1020);
    EXPECT_EQ(p3[0]->rect.height(), 7000 - 5800);
    ASSERT_EQ(p3[0]->items.size(), 1);
    EXPECT_EQ(p3[0]->items[0].rect.top(), 1020 + 900);
}

// The first pass only counts pages and skips the texts that cannot grow their rows; the count
// it gives is the number of pages the printing pass makes, whatever moves the breaks: texts
// that wrap and grow rows by different amounts, group headers kept with their first row,
// details in columns and details split between pages.
TEST(ReportPagination, CountingPassAgreesWithThePrintedPages) {
    const auto grown = [](int i) {
        QString text;
        for (int w = 0; w < (i * 7) % 23; ++w) text += QStringLiteral("word%1 ").arg(w);
        return text;
    };
    for (int variant = 0; variant < 5; ++variant) {
        ReportLayout l = smallPages();
        // Grouped on a column no control shows, or on the one that grows.
        Group g{variant == 4 ? QStringLiteral("Kind") : QStringLiteral("SignalType")};
        g.header.height = 300;
        g.header.controls << field(QStringLiteral("CableNO"));
        g.header.repeat = variant == 1;
        if (variant != 3) l.groups << g;
        Control notes = field(QStringLiteral("SignalType"), 2100, 0);
        notes.canGrow = true;
        l.detail.controls << notes;
        l.detail.controls << control(ControlKind::Line, QRect(0, 290, 4000, 0));
        if (variant == 2) l.detail.columns = 2;
        if (variant == 3) l.detail.height = 5000;  // taller than a page: split
        QList<QVariantList> rows;
        for (int i = 1; i <= 60; ++i)
            rows << QVariantList{QStringLiteral("C%1").arg(i), grown(i),
                                 QStringLiteral("K%1").arg(i / 4)};
        TableRecordSource source(
            {QStringLiteral("CableNO"), QStringLiteral("SignalType"), QStringLiteral("Kind")},
            rows);
        KeepPages sink;
        const int pages = renderReport(l, source, sink);
        ASSERT_EQ(pages, sink.pages.size()) << variant;
        EXPECT_GT(pages, 3) << variant;
        for (const RenderedPage& page : sink.pages)
            EXPECT_EQ(texts(page, SectionKind::PageFooter),
                      QStringList{QStringLiteral("Page %1 of %2").arg(page.number).arg(pages)})
                << variant;
    }
}

// Fitting the columns, counting the pages and printing them read the rows three times: the
// query runs once, the later passes read what the first kept, and every row is printed once,
// in order, whether a pass reads the rows a value at a time or not at all.
TEST(ReportPagination, PassesAfterTheFirstReadTheRowsKeptRatherThanRunningTheQueryAgain) {
    struct Counted : RecordSource {
        TableRecordSource rows;
        int starts = 0;
        explicit Counted(TableRecordSource r) : rows(std::move(r)) {}
        void start() override {
            ++starts;
            rows.start();
        }
        bool next() override { return rows.next(); }
        QVariant value(int column) const override { return rows.value(column); }
        QStringList fields() const override { return rows.fields(); }
    };
    for (const bool fitted : {false, true}) {
        ReportLayout l = smallPages();
        l.detail.fitColumns = fitted;
        for (const int n : {0, 1, 45}) {
            Counted source(cables(n));
            KeepPages sink;
            const int pages = renderReport(l, source, sink);
            EXPECT_EQ(source.starts, 1) << fitted << n;
            ASSERT_EQ(pages, sink.pages.size());
            QStringList printed, wanted;
            for (const RenderedPage& page : sink.pages) {
                printed << texts(page, SectionKind::Detail);
                EXPECT_EQ(texts(page, SectionKind::PageFooter),
                          QStringList{QStringLiteral("Page %1 of %2").arg(page.number).arg(pages)});
            }
            for (int i = 1; i <= n; ++i) wanted << QStringLiteral("C%1").arg(i);
            EXPECT_EQ(printed, wanted) << fitted << n;
        }
    }
}

TEST(ReportPagination, NoRowsGiveHeadersOnlyAndUnknownFieldsAreRefused) {
    ReportLayout l = smallPages();
    l.reportHeader.height = 300;
    l.reportHeader.controls << label("Title");
    auto none = cables(0);
    KeepPages sink;
    ASSERT_EQ(renderReport(l, none, sink), 1);
    QList<SectionKind> kinds;
    for (const RenderedBand& b : sink.pages[0].bands) kinds << b.kind;
    EXPECT_EQ(kinds, (QList<SectionKind>{SectionKind::ReportHeader, SectionKind::PageHeader,
                                         SectionKind::PageFooter}));
    EXPECT_EQ(texts(sink.pages[0], SectionKind::PageFooter), QStringList{"Page 1 of 1"});

    l.detail.controls << field(QStringLiteral("tblCables.Length"));
    auto rows = cables(3);
    KeepPages never;
    try {
        renderReport(l, rows, never);
        ADD_FAILURE();
    } catch (const ReportError& e) {
        EXPECT_EQ(e.message(),
                  QStringLiteral("Error: the report shows the field \"tblCables.Length\", "
                                 "which its query does not give (it gives CableNO, SignalType)"));
    }
    EXPECT_FALSE(never.begun);
    // A qualified name finds its column by the field name.
    l.detail.controls.last().text = QStringLiteral("tblCables.signaltype");
    EXPECT_EQ(renderReport(l, rows, never), 1);
}

namespace {

// Three columns of a schedule under their headings, a rule under each row and one across the
// headings; the detail fits its columns to its values.
ReportLayout schedule() {
    ReportLayout l;
    l.page = PageSetup{12240, 15840, false, 720, 720, 720, 720};  // 10800 printable
    l.detail.height = 300;
    l.detail.fitColumns = true;
    l.pageHeader.height = 320;
    const char* names[] = {"Cable", "From", "To"};
    for (int i = 0; i < 3; ++i) {
        Control f = field(QString::fromLatin1(names[i]), 2100 * i, 0, 280);
        f.font = {QStringLiteral("DejaVu Sans"), 9};
        l.detail.controls << f;
        l.pageHeader.controls << Control{.kind = ControlKind::Label,
                                         .rect = QRect(2100 * i, 0, 2000, 300),
                                         .text = QString::fromLatin1(names[i]),
                                         .font = {QStringLiteral("DejaVu Sans"), 9, true}};
    }
    l.detail.controls << control(ControlKind::Line, QRect(0, 290, 6200, 0));
    l.pageHeader.controls << control(ControlKind::Line, QRect(0, 310, 6200, 0));
    return l;
}

// The items of the row-th detail band of a page, in the layout's order.
QList<const RenderedItem*> rowItems(const RenderedPage& page, int row) {
    QList<const RenderedItem*> out;
    int n = 0;
    for (const RenderedBand& b : page.bands)
        if (b.kind == SectionKind::Detail && n++ == row)
            for (const RenderedItem& i : b.items) out << &i;
    return out;
}

double textWidth(const ReportFont& font, const QString& text) {
    return QFontMetricsF(printFont(font)).horizontalAdvance(text);
}

}  // namespace

// Columns take the width of their widest value: later columns move along, headings and rules
// follow their columns; values narrower than the design keep the designed widths.
TEST(ReportColumnFit, ColumnsWidenToTheirValuesAndTheHeadingsFollow) {
    const ReportLayout l = schedule();
    const QString wide = QStringLiteral("EDIT SUITE A DESK-02 AES OUT 1DB25");
    TableRecordSource rows({"Cable", "From", "To"}, {{"V-1", wide, "MON-01"}, {"V-2", "A", "B"}});
    KeepPages sink;
    ASSERT_EQ(renderReport(l, rows, sink), 1);
    const auto items = rowItems(sink.pages[0], 0);
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0]->rect.width(), 2000);  // short values keep the design
    EXPECT_GE(items[1]->rect.width(), textWidth(items[1]->control->font, wide));
    EXPECT_FALSE(items[1]->wrap);
    // The gap of 100 stays between the columns.
    EXPECT_EQ(items[2]->rect.left(), items[1]->rect.right() + 1 + 100);
    EXPECT_EQ(items[2]->rect.width(), 2000);
    // The rule under the row runs to the last column's end, the headings over their columns.
    EXPECT_EQ(items[3]->rect.right(), items[2]->rect.right());
    for (const RenderedBand& b : sink.pages[0].bands) {
        if (b.kind != SectionKind::PageHeader) continue;
        ASSERT_EQ(b.items.size(), 4);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(b.items[i].rect.left(), items[i]->rect.left()) << i;
        EXPECT_EQ(b.items[3].rect.right(), items[2]->rect.right());
    }
    // A heading wider than its values widens its column too.
    ReportLayout headed = schedule();
    headed.pageHeader.controls[0].text = QStringLiteral("Cable number as printed on the label");
    TableRecordSource short_({"Cable", "From", "To"}, {{"V-1", "A", "B"}});
    KeepPages again;
    renderReport(headed, short_, again);
    EXPECT_GE(rowItems(again.pages[0], 0)[0]->rect.width(),
              textWidth(headed.pageHeader.controls[0].font, headed.pageHeader.controls[0].text));
    // A layout that does not ask keeps its widths whatever the values.
    ReportLayout plain = schedule();
    plain.detail.fitColumns = false;
    rows.start();
    KeepPages fixed;
    renderReport(plain, rows, fixed);
    EXPECT_EQ(rowItems(fixed.pages[0], 0)[1]->rect.width(), 2000);
}

// Values wider than the page: the widest column gives way down to its longest word and wraps
// within its row, which grows and pushes the rule under it down; every column stays on the
// page.
TEST(ReportColumnFit, TooWideForThePageTheWidestColumnWrapsAndTheRowGrows) {
    const ReportLayout l = schedule();
    const QString longText = QString("EDIT SUITE.RA CONTROL ROC ").repeated(12).trimmed();
    TableRecordSource rows({"Cable", "From", "To"},
                           {{"V-1", longText, "Westmark AV Wholesalers"}, {"V-2", "A", "B"}});
    const ColumnFit fit = fitColumns(l, rows, {});
    ASSERT_EQ(fit.widths().size(), 3);
    // The others keep what their values and headings need; the design's spare room goes.
    EXPECT_GE(fit.widths()[0], textWidth(l.pageHeader.controls[0].font, "Cable"));
    EXPECT_LT(fit.widths()[0], 2000);
    EXPECT_GE(fit.widths()[2], textWidth(l.detail.controls[2].font, "Westmark AV Wholesalers"));
    EXPECT_LE(fit.widths()[0] + fit.widths()[1] + fit.widths()[2] + 200, 10800);
    EXPECT_GE(fit.widths()[0] + fit.widths()[1] + fit.widths()[2] + 200, 10800 - 3);
    EXPECT_TRUE(fit.wraps(&l.detail.controls[1]));
    EXPECT_FALSE(fit.wraps(&l.detail.controls[2]));

    KeepPages sink;
    rows.start();
    ASSERT_EQ(renderReport(l, rows, sink), 1);
    const auto first = rowItems(sink.pages[0], 0);
    ASSERT_EQ(first.size(), 4);
    EXPECT_TRUE(first[1]->wrap);
    EXPECT_GT(first[1]->rect.height(), 600);                   // several lines
    EXPECT_GE(first[3]->rect.top(), first[1]->rect.bottom());  // the rule moved under the text
    for (const RenderedItem* i : first)
        EXPECT_LE(i->rect.right(), 720 + 10800) << i->text.toStdString();
    // The next row starts below the grown one.
    const auto second = rowItems(sink.pages[0], 1);
    ASSERT_EQ(second.size(), 4);
    EXPECT_GT(second[0]->rect.top(), first[1]->rect.bottom());
}

// A page narrower than the design: the columns narrow to fit it, and a total of the report
// footer, pushed right of its label by the gap the design left, keeps its width inside the
// page instead of shrinking to nothing.
TEST(ReportColumnFit, TotalsKeepTheirWidthWhenTheColumnsNarrowToThePage) {
    ReportLayout l = schedule();
    l.page.paperWidth = 6000;  // 4560 printable for a design 6200 wide
    l.reportFooter.height = 300;
    l.reportFooter.controls << label("All cables:", QRect(0, 0, 3000, 280));
    Control total = field(QStringLiteral("To"), 4800, 0, 280);
    total.rect.setWidth(1400);
    total.align = HAlign::Right;
    total.summary = Summary::Count;
    l.reportFooter.controls << total;
    TableRecordSource rows({"Cable", "From", "To"}, {{"V-1", "A", "B"}, {"V-2", "C", "D"}});
    KeepPages sink;
    ASSERT_EQ(renderReport(l, rows, sink), 1);
    const RenderedItem* label = nullptr;
    const RenderedItem* sum = nullptr;
    for (const RenderedBand& b : sink.pages[0].bands)
        if (b.kind == SectionKind::ReportFooter && b.items.size() == 2)
            label = &b.items[0], sum = &b.items[1];
    ASSERT_TRUE(label && sum);
    EXPECT_EQ(sum->text, "2");
    EXPECT_EQ(sum->rect.width(), 1400);
    EXPECT_LE(sum->rect.right(), 720 + 4560);
    EXPECT_GT(sum->rect.left(), label->rect.right());
    // Under its column: the total's right edge is the last column's.
    const auto row = rowItems(sink.pages[0], 0);
    EXPECT_NEAR(sum->rect.right(), row[2]->rect.right(), 10);
}

// A group header marked to repeat prints again under the page header of every page its run
// goes on to, with its run's value; one that is not marked does not.
TEST(ReportPagination, RepeatedGroupHeadersCarryTheirHeadingsOverPageBreaks) {
    ReportLayout l = smallPages();
    Group g{QStringLiteral("SignalType")};
    g.header.height = 300;
    g.header.controls << field(QStringLiteral("SignalType"));
    g.header.repeat = true;
    l.groups << g;
    // 12 of SDI then 3 of AES: SDI's run goes over to page 2, AES starts on page 2.
    auto rows =
        cables(15, [](int i) { return i <= 12 ? QStringLiteral("SDI") : QStringLiteral("AES"); });
    KeepPages sink;
    ASSERT_EQ(renderReport(l, rows, sink), 2);
    EXPECT_EQ(texts(sink.pages[0], SectionKind::GroupHeader), QStringList{"SDI"});
    EXPECT_EQ(texts(sink.pages[1], SectionKind::GroupHeader), (QStringList{"SDI", "AES"}));
    EXPECT_EQ(body(sink.pages[1]).first()->kind, SectionKind::GroupHeader);
    l.groups[0].header.repeat = false;
    KeepPages plain;
    rows.start();
    renderReport(l, rows, plain);
    EXPECT_EQ(texts(plain.pages[1], SectionKind::GroupHeader), QStringList{"AES"});
}

TEST(ReportFormat, NumbersDatesAndNamedFormats) {
    const QLocale en(QLocale::English, QLocale::UnitedStates);
    const struct {
        QVariant value;
        const char* format;
        const char* shown;
    } cases[] = {
        {1234.5, "#,##0.00", "1,234.50"},
        {-1234.5, "$#,##0.00", "-$1,234.50"},
        {1234.5, "0", "1235"},
        {0.256, "0.0%", "25.6%"},
        {7, "00", "07"},
        {2.5, "0.##", "2.5"},
        {3.0, "0.##", "3"},
        {-4.0, "0.00;(0.00)", "(4.00)"},
        {-0.001, "0.00", "0.00"},
        {QStringLiteral("12.5"), "#,##0.0 m", "12.5 m"},
        {1234.5, "Currency", "$1,234.50"},
        {1234.5, "Standard", "1,234.50"},
        {QDate(2024, 3, 9), "dd/MM/yyyy", "09/03/2024"},
        {QStringLiteral("2024-03-09T14:05:00"), "yyyy-MM-dd hh:mm", "2024-03-09 14:05"},
        {QStringLiteral("2024-03-09"), "Long Date", "Saturday, March 9, 2024"},
        {QDateTime(QDate(2024, 3, 9), QTime(0, 0)), "", "2024-03-09"},
        {1, "Yes/No", "Yes"},
        {QStringLiteral("false"), "True/False", "False"},
        {QVariant(), "#,##0.00", ""},
        {QStringLiteral("XLR-3"), "#,##0", "XLR-3"},
        {0.1 + 0.2, "", "0.3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatValue(c.value, QLatin1String(c.format), en), QLatin1String(c.shown))
            << c.format << " " << c.value.toString().toStdString();
}

TEST(ReportQuery, TablesReadAreFoundInEveryPlaceTheyMayStand) {
    EXPECT_EQ(tablesRead("select a from tblCables c, [tblSystems] as s where x = 'from tblUsers'"),
              (QStringList{"tblCables", "tblSystems"}));
    EXPECT_EQ(
        tablesRead("SELECT * FROM (select x from tblJF) q INNER JOIN \"tblProjects\" p ON 1=1"),
        (QStringList{"tblJF", "tblProjects"}));
    EXPECT_EQ(tablesRead("select * from main.tblCables order by CableNO;"),
              QStringList{"tblCables"});
}

// A project database of three cables: A1 of 10, A2 of 15 and B1 of 2.5.
class ReportQueryOnEngine : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        dbs.makeEmpty(db::DbId::Project, registry);
        db::ensureSchema(db::DbId::Project, registry);
        test::addThreeCables(registry);
    }
    // The first column of every row the query gives, joined by commas; or why it was refused.
    QString read(const QString& sql, DataFilter filter = {},
                 const QString& key = QStringLiteral("PROJECT_SPECIFIC")) {
        try {
            QueryRecordSource rows({QStringLiteral("DC1"), key, sql}, registry, std::move(filter));
            rows.start();
            QStringList got;
            while (rows.next()) got << rows.value(0).toString();
            return got.join(',');
        } catch (const ReportError& e) {
            return e.message();
        }
    }

    db::Connections registry;  // outlives the databases, which close its connections
    test::TestDatabases dbs{GetParam()};
};

TEST_P(ReportQueryOnEngine, RunsOnItsDatabaseAndRefusesBadQueriesWithTheReason) {
    // Every column of the rows, printed, is checked by the stock reports on both engines.
    EXPECT_EQ(read("select CableNO, Length from tblCables order by CableNO"), "A1,A2,B1");
    EXPECT_EQ(read("select CableNO, Length from tblCables order by CableNO",
                   {QStringLiteral("CableNO like ?"), {QStringLiteral("A%")}}),
              "A1,A2");
    EXPECT_EQ(read("select CableNO, Length from tblCables where CableNO = 'none'"), "");
    // The count a long run's progress is measured against: filtered, parameters bound.
    QueryRecordSource counted({QStringLiteral("DC1"), QStringLiteral("PROJECT_SPECIFIC"),
                               "select CableNO from tblCables order by CableNO"},
                              registry, {QStringLiteral("CableNO like ?"), {QStringLiteral("A%")}});
    counted.start();
    EXPECT_EQ(counted.count(), 2);
    EXPECT_TRUE(read("select nonsense from tblCables")
                    .startsWith("Error: the report's query cannot be run. The project database"))
        << read("select nonsense from tblCables").toStdString();
    EXPECT_EQ(
        read("select * from tblCables c, tblProjects p"),
        "Error: the report's query reads tblProjects, a table of the project manager database, "
        "but its data control \"DC1\" is bound to the project database");
    EXPECT_EQ(read("select * from tblCables", {}, "ARCHIVE"),
              "Error: the data control \"DC1\" names no database (\"ARCHIVE\")");
    EXPECT_EQ(read("select * from tblEquipment", {}, "EQUIPMENT"),
              "Error: the equipment database is not open");
}

INSTANTIATE_TEST_SUITE_P(Engines, ReportQueryOnEngine, test::bothEngines(), test::engineName);

// A layout comes from a shared folder or a mail: its query may hold anything. Whatever it holds,
// previewing the report reads and never writes, and the refusal says why.
TEST_P(ReportQueryOnEngine, AQueryThatWouldChangeDataIsRefusedAndTheDataStaysAsItWas) {
    const bool pg = GetParam() == db::Engine::PostgreSQL;
    const auto cables = [&] {
        db::Query q(db::DbId::Project, "select CableNO, Length from tblCables order by CableNO",
                    registry);
        q.exec();
        QStringList rows;
        while (q.next()) rows << q.value(0).toString() + "=" + q.value(1).toString();
        return rows;
    };
    const QStringList before = cables();
    ASSERT_EQ(before, (QStringList{"A1=10", "A2=15", "B1=2.5"}));
    const QString refused =
        QStringLiteral("Error: the report's query must be one SELECT statement: ");
    const QString attached = dbs.folder() + "/stolen.db";
    const QStringList hostile{
        "delete from tblCables",
        "Delete * from tblCables",
        "update tblCables set Length = 0",
        "drop table tblCables",
        "insert into tblCables (CableNO) select 'Z9'",
        "replace into tblCables (CableNO) values ('Z9')",
        "attach database '" + attached + "' as stolen",
        "select CableNO from tblCables; delete from tblCables",
        "select CableNO from tblCables /* ; */ ; update tblCables set Length = 0",
        "select ';' from tblCables; delete from tblCables",
        "with gone as (delete from tblCables returning *) select * from gone",
        "with keep as (select 1) delete from tblCables",
        "pragma query_only = 0",
        "pragma writable_schema = 1",
        "select load_extension('/tmp/none.so')",
        "select writefile('" + dbs.folder() + "/out.txt', CableNO) from tblCables",
        "select * into tblCopy from tblCables",
        "select * from tblCables for update",
        "vacuum",
        "create table tblCopy (x int)",
        "select setval('tblcables_cableid_seq', 1000)",
        "select pg_terminate_backend(pg_backend_pid())",
        "select lo_import('/etc/passwd')",
        "select dblink_exec('dbname=x', 'delete from tblCables')",
        "select \"set_config\"('default_transaction_read_only', 'off', false)",
        "select pg_catalog.setval('tblcables_cableid_seq', 1000)",
    };
    for (const QString& sql : hostile) {
        const QString message = read(sql);
        EXPECT_TRUE(message.startsWith(refused))
            << sql.toStdString() << "\n -> " << message.toStdString();
        EXPECT_EQ(cables(), before) << sql.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(attached));
    // The reason names what is wrong.
    EXPECT_EQ(read("select CableNO from tblCables; delete from tblCables"),
              refused + "it holds a second statement (\"; delete from tblCables\")");
    EXPECT_EQ(read("delete from tblCables"), refused + "it begins with DELETE");
    EXPECT_EQ(read("with keep as (select 1) delete from tblCables"),
              refused + "it holds DELETE, which changes data");
    EXPECT_EQ(read("attach database 'x.db' as x"), refused + "it begins with ATTACH");
    EXPECT_EQ(
        read("select * from tblCables where CableNO in (select load_extension('x'))"),
        refused + "it calls load_extension(), which may change the database or reach beyond it");

    // The wizard's query is a layout's query: a name it was given cannot carry a statement.
    wizard::Choices choice;
    choice.tables = {QStringLiteral("tblCables")};
    choice.fields = {{"tblCables", "CableNO] from tblCables; delete from tblCables; --"}};
    EXPECT_TRUE(read(wizard::generateSql(choice)).startsWith(refused + "it holds a second"));
    EXPECT_EQ(cables(), before);

    // The filter put over the query is held to the same rule.
    const QString byFilter =
        QStringLiteral("Error: the report's filter must be a condition on its query's rows: ");
    const QString query = QStringLiteral("select CableNO, Length from tblCables order by CableNO");
    EXPECT_EQ(read(query, {QStringLiteral("1=1; delete from tblCables"), {}}),
              byFilter + "it holds a second statement (\"; delete from tblCables\")");
    EXPECT_TRUE(
        read(query, {QStringLiteral("Length > (select setval('tblcables_cableid_seq', 9))"), {}})
            .startsWith(byFilter));
    EXPECT_TRUE(
        read(query, {QStringLiteral("1=1) x; drop table tblCables; select * from (select 1"), {}})
            .startsWith(byFilter));
    EXPECT_EQ(cables(), before);

    // What only reads still runs: CTEs, quoted words that look like statements, a function
    // whose name is one, a closing semicolon.
    EXPECT_EQ(read("with long as (select * from tblCables where Length > 5) "
                   "select CableNO from long order by CableNO"),
              "A1,A2");
    EXPECT_EQ(read("select replace(CableNO, 'A', 'X') as \"delete\" from tblCables "
                   "where CableNO <> 'drop table tblCables; --' order by 1;"),
              "B1,X1,X2");
    EXPECT_EQ(read(pg ? "select CableNO from tblCables where CableNO = $$;$$"
                      : "select [update] from (select CableNO as [update] from tblCables) "
                        "where [update] like 'B%'"),
              pg ? "" : "B1");
    EXPECT_EQ(read(query, {QStringLiteral("CableNO = ?"), {QStringLiteral("A2")}}), "A2");

    // The connection is as it was for everyone else: the program still writes.
    db::Query(db::DbId::Project, "update tblCables set Length = 20 where CableNO = 'B1'", registry)
        .exec();
    EXPECT_EQ(cables(), (QStringList{"A1=10", "A2=15", "B1=20"}));
}

// In shared mode the users and their groups live in the project manager database on the server
// every user reaches: a layout must not be a way into the Administrators group.
TEST_P(ReportQueryOnEngine, ALayoutCannotChangeAUsersGroup) {
    dbs.makeEmpty(db::DbId::PM, registry);
    db::ensureSchema(db::DbId::PM, registry);
    db::Query(db::DbId::PM, "insert into tblUsers (UserName, Groupname) values (?, ?)", registry)
        .bind(QStringLiteral("bob"))
        .bind(QStringLiteral("Engineers"))
        .exec();
    const auto group = [&] {
        db::Query q(db::DbId::PM, "select Groupname from tblUsers where UserName = 'bob'",
                    registry);
        return q.scalar().toString();
    };
    const auto run = [&](const QString& sql) { return read(sql, {}, QStringLiteral("PM")); };

    EXPECT_EQ(run("update tblUsers set Groupname='Administrators' where UserName='bob'"),
              "Error: the report's query must be one SELECT statement: it begins with UPDATE");
    EXPECT_EQ(group(), "Engineers");
    if (GetParam() != db::Engine::PostgreSQL) return;
    // A function of the server's that writes is not known by name; the read-only transaction
    // the query runs in stops it all the same.
    db::Query(db::DbId::PM,
              "create function promote() returns int language sql as $$ update tblUsers set "
              "Groupname = 'Administrators' where UserName = 'bob'; select 1 $$",
              registry)
        .exec();
    const QString message = run("select promote() as done");
    EXPECT_TRUE(
        message.startsWith("Error: the report's query cannot be run. The project manager "
                           "database"))
        << message.toStdString();
    EXPECT_TRUE(message.contains("read-only transaction")) << message.toStdString();
    EXPECT_EQ(group(), "Engineers");
}

namespace {

// A paint device that keeps what reaches its engine: each text item with the point it is drawn
// from, and each clip set. The PDF writer and the printer are engines of this kind, so two
// ways of painting that keep the same record write the same page.
class RecordingEngine : public QPaintEngine {
  public:
    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    QStringList record;
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState& state) override {
        if (state.state() & (QPaintEngine::DirtyClipRegion | QPaintEngine::DirtyClipPath |
                             QPaintEngine::DirtyClipEnabled))
            record << QStringLiteral("clip %1 %2")
                          .arg(state.isClipEnabled())
                          .arg(QString::number(state.clipRegion().boundingRect().width()));
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    // Underlines and the like.
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode) override {
        record << QString::asprintf("polygon %g,%g of %d", points[0].x(), points[0].y(), count);
    }
    void drawPath(const QPainterPath& path) override {
        const QRectF r = path.boundingRect();
        record << QString::asprintf("path %g,%g %gx%g", r.x(), r.y(), r.width(), r.height());
    }
    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        record << QStringLiteral("%1 %2 %3 %4")
                      .arg(p.x(), 0, 'g', 17)
                      .arg(p.y(), 0, 'g', 17)
                      .arg(item.text(), item.font().family());
    }
    Type type() const override { return QPaintEngine::User; }
};

class RecordingDevice : public QPaintDevice {
  public:
    QPaintEngine* paintEngine() const override { return &engine; }
    mutable RecordingEngine engine;

  protected:
    // A Letter page at 1200 dots an inch.
    int metric(PaintDeviceMetric m) const override {
        if (m == PdmWidth || m == PdmHeight) return m == PdmWidth ? 10200 : 13200;
        if (m == PdmDpiX || m == PdmDpiY || m == PdmPhysicalDpiX || m == PdmPhysicalDpiY)
            return 1200;
        if (m == PdmDevicePixelRatioScaled) return int(devicePixelRatioFScale());
        return QPaintDevice::metric(m);
    }
};

QStringList paintRecord(PagePainter& painter, const QList<RenderedPage>& pages) {
    RecordingDevice device;
    QPainter p(&device);
    p.scale(1200 / 1440.0, 1200 / 1440.0);
    for (const RenderedPage& page : pages) painter.paint(p, page);
    p.end();
    return device.engine.record;
}

}  // namespace

// Texts are laid out once and drawn again from that layout: whatever the text, its box, font
// and alignment, the page must reach the device exactly as when each is laid out as drawn,
// where it stands first and where it stands again further down and across.
TEST(ReportPainting, TextsDrawnFromTheirFirstLayoutReachTheDeviceAsLaidOutEachTime) {
    // Kerned pairs, ligatures, tabs, line breaks, blanks at the ends, right-to-left and CJK.
    QStringList samples{"Cable",     "OUT 12",     "Analog Audio", "1,234.5",   "AVAVAV To Wa",
                        "tab\there", "two\nlines", " leading",     "trailing ", "R&D"};
    samples << "A long description of a cable that runs over several lines in its box"
            << "Averyveryverylongwordwithoutanyspaceinit that wraps"
            << QStringLiteral("\u05e9\u05dc\u05d5\u05dd abc ffi fl \u00c9t\u00e9 \u00fc")
            << QStringLiteral("\u4e2d\u6587 text abc \u0645\u0631\u062d\u0628\u0627");
    const QList<QSize> boxes{{2000, 240}, {600, 240}, {2000, 900}, {300, 2000}, {9000, 120}};
    const QList<ReportFont> fonts{{"DejaVu Sans", 8},
                                  {"DejaVu Sans", 12, true},
                                  {"DejaVu Serif", 9, false, true},
                                  {"DejaVu Sans", 8, false, false, true}};
    // Every sample in every box, font, alignment and wrapping, twice on the page at places
    // that differ, then once more on a second page.
    QList<Control> controls;
    for (const QString& text : samples)
        for (const QSize& box : boxes)
            for (const ReportFont& font : fonts)
                for (const HAlign align : {HAlign::Left, HAlign::Center, HAlign::Right})
                    controls << Control{.kind = ControlKind::Label,
                                        .rect = QRect(QPoint(0, 0), box),
                                        .text = text,
                                        .font = font,
                                        .align = align};
    RenderedPage page;
    page.number = 1;
    RenderedBand band;
    band.rect = QRect(0, 0, 12240, 15840);
    int k = 0;
    for (const Control& c : controls) {
        for (const bool wrap : {false, true})
            for (const QPoint at : {QPoint(720 + k % 7, 720 + k % 13), QPoint(3001, 9007)}) {
                RenderedItem item{&c, c.rect.translated(at), c.text};
                item.wrap = wrap;
                band.items << item;
            }
        ++k;
    }
    page.bands << band;
    RenderedPage second = page;
    second.number = 2;

    PagePainter each;
    each.setReuseTextLayouts(false);
    const QStringList expected = paintRecord(each, {page, second});
    PagePainter reusing;
    const QStringList got = paintRecord(reusing, {page, second});
    ASSERT_GT(expected.size(), controls.size() * 4);
    ASSERT_EQ(got.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        ASSERT_EQ(got[i].toStdString(), expected[i].toStdString()) << "at " << i;
    // A painter keeps its layouts from page to page: the second run gives the same again.
    EXPECT_TRUE(paintRecord(reusing, {page}) == paintRecord(each, {page}));
}

// A page break ends the page at its top wherever it stands: in the report header the cover
// stands alone on page 1, in the detail every row starts a page; the count agrees.
TEST(ReportPagination, APageBreakStartsTheRestOfItsSectionOnANewPage) {
    ReportLayout l = smallPages();
    l.reportHeader.height = 900;
    l.reportHeader.controls << label("Cover")
                            << control(ControlKind::PageBreak, QRect(0, 300, 10000, 60))
                            << label("Contents", QRect(0, 400, 2000, 300));
    auto rows = cables(3);
    KeepPages sink;
    ASSERT_EQ(renderReport(l, rows, sink), 2);
    EXPECT_EQ(texts(sink.pages[0], SectionKind::ReportHeader), QStringList{"Cover"});
    EXPECT_EQ(texts(sink.pages[0], SectionKind::Detail), QStringList{});
    EXPECT_EQ(texts(sink.pages[1], SectionKind::ReportHeader), (QStringList{"", "Contents"}));
    EXPECT_EQ(texts(sink.pages[1], SectionKind::Detail), (QStringList{"C1", "C2", "C3"}));
    // The cover page ends without the page header, which tops the pages after it.
    EXPECT_EQ(texts(sink.pages[0], SectionKind::PageHeader), QStringList{});
    EXPECT_EQ(texts(sink.pages[1], SectionKind::PageHeader), QStringList{"Cable"});
    // The part after the break stands at the top of the body, under the page header.
    EXPECT_EQ(sink.pages[1].bands[1].kind, SectionKind::ReportHeader);
    EXPECT_EQ(sink.pages[1].bands[1].rect.top(), 720 + 300);

    ReportLayout each = smallPages();
    each.detail.controls << control(ControlKind::PageBreak, QRect(0, 0, 9000, 0));
    KeepPages perRow;
    ASSERT_EQ(renderReport(each, rows, perRow), 3);
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(texts(perRow.pages[p], SectionKind::Detail).first(),
                  QStringLiteral("C%1").arg(p + 1));
        EXPECT_EQ(texts(perRow.pages[p], SectionKind::PageFooter),
                  QStringList{QStringLiteral("Page %1 of 3").arg(p + 1)});
    }
}

// Barcodes: each symbology encodes what it is given (matrix codes square, longer data in more
// modules), data it cannot carry is said; bound to a field, the symbol carries the row's value
// and prints inside its rectangle only.
TEST(ReportControls, BarcodesEncodeTheirRowsValueInsideTheirRectangle) {
    const BarcodeSymbol code128 = encodeBarcode(Symbology::Code128, QStringLiteral("V-10"));
    ASSERT_TRUE(code128.ok()) << code128.error.toStdString();
    EXPECT_GT(code128.bars.size(), 5);
    EXPECT_GT(code128.size.width(), code128.size.height());
    EXPECT_GT(encodeBarcode(Symbology::Code128, QStringLiteral("V-1000000")).size.width(),
              code128.size.width());
    for (const Symbology matrix : {Symbology::QrCode, Symbology::DataMatrix}) {
        const BarcodeSymbol small = encodeBarcode(matrix, QStringLiteral("V-10"));
        ASSERT_TRUE(small.ok()) << small.error.toStdString();
        EXPECT_EQ(small.size.width(), small.size.height());
        const BarcodeSymbol big =
            encodeBarcode(matrix, QStringLiteral("V-10\nFROM CAM-01 OUT BNC\nTO VDA-01 IN 1 BNC"));
        EXPECT_GT(big.size.width(), small.size.width());
        for (const QRectF& bar : big.bars)
            EXPECT_TRUE(QRectF(QPointF(0, 0), big.size).contains(bar));
    }
    EXPECT_FALSE(encodeBarcode(Symbology::QrCode, QString()).ok());
    EXPECT_FALSE(encodeBarcode(Symbology::Code128, QStringLiteral("Kabel \u20ac 5")).ok());
    EXPECT_EQ(symbologyFromName(QStringLiteral("dataMatrix")), Symbology::DataMatrix);
    EXPECT_EQ(symbologyFromName(QStringLiteral("QR")), std::nullopt);

    ReportLayout l = smallPages();
    l.detail.height = 1000;
    const QRect at(3000, 0, 900, 900);
    l.detail.controls << Control{.kind = ControlKind::Barcode,
                                 .rect = at,
                                 .text = QStringLiteral("CableNO"),
                                 .symbology = Symbology::QrCode};
    auto rows = cables(2);
    KeepPages sink;
    renderReport(l, rows, sink);
    QStringList carried;
    for (const RenderedBand& b : sink.pages[0].bands)
        for (const RenderedItem& i : b.items)
            if (i.control->kind == ControlKind::Barcode) carried << i.text;
    EXPECT_EQ(carried, (QStringList{"C1", "C2"}));
    // The page at 144 dpi (a pixel every 10 twips), its texts taken away: what is dark stands
    // inside the two rows' squares.
    RenderedPage page = sink.pages[0];
    for (RenderedBand& b : page.bands)
        for (RenderedItem& i : b.items)
            if (i.control->kind != ControlKind::Barcode) i.text.clear();
    PagePainter painter;
    const QImage img = PageImageSink::paintPage(page, l.page, 144, painter);
    const QRect first((720 + 3000) / 10, (720 + 300) / 10, 90, 90);
    const QRect second = first.translated(0, 100);
    int inFirst = 0, inSecond = 0, outside = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 128)
                ++(first.contains(x, y) ? inFirst : second.contains(x, y) ? inSecond : outside);
    EXPECT_GT(inFirst, 90 * 90 / 5);
    EXPECT_GT(inSecond, 90 * 90 / 5);
    EXPECT_EQ(outside, 0);

    l.detail.controls.last().text = QStringLiteral("Nope");
    KeepPages never;
    EXPECT_THROW(renderReport(l, rows, never), ReportError);
}

// Rich text prints its paragraphs in the control's font; exports that write text read them
// plain. Bullets make every paragraph an item of one list; each indent step moves the text a
// quarter inch right.
TEST(ReportControls, RichTextParagraphsTakeBulletsAndIndent) {
    Control rich{.kind = ControlKind::RichText,
                 .rect = QRect(0, 0, 6000, 1200),
                 .text = QStringLiteral("<p>One <b>bold</b></p><p>Two</p>")};
    ReportLayout l = smallPages();
    l.reportHeader.height = 1200;
    l.reportHeader.controls << rich;
    auto rows = cables(1);
    KeepPages sink;
    renderReport(l, rows, sink);
    EXPECT_EQ(texts(sink.pages[0], SectionKind::ReportHeader),
              QStringList{QStringLiteral("One bold\nTwo")});

    const auto leftmostInk = [](const Control& c) {
        QImage img(700, 150, QImage::Format_RGB32);  // 10 twips a pixel
        img.fill(Qt::white);
        QPainter p(&img);
        p.scale(0.1, 0.1);
        RenderedPage page;
        page.bands << RenderedBand{.rect = QRect(0, 0, 7000, 1500), .items = {{&c, c.rect}}};
        PagePainter().paint(p, page);
        p.end();
        int left = img.width();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < left; ++x)
                if (qGray(img.pixel(x, y)) < 128) left = x;
        return left;
    };
    const int plain = leftmostInk(rich);
    EXPECT_LT(plain, 5);
    Control indented = rich;
    indented.indent = 2;
    EXPECT_NEAR(leftmostInk(indented) - plain, 2 * kIndentStep / 10, 4);

    Control bulleted = rich;
    bulleted.bullets = true;
    const auto doc = richTextDocument(bulleted, 6000);
    const QTextList* list = doc->begin().textList();
    ASSERT_TRUE(list);
    EXPECT_EQ(list->count(), 2);  // both paragraphs, in the one list
    EXPECT_FALSE(richTextDocument(rich, 6000)->begin().textList());
    // The bullet stands left of the text, which moves right by a step.
    EXPECT_GT(leftmostInk(bulleted), plain);
}
