// The report layout: page setup, sections and their controls, and the data control that feeds
// the report. A layout is a plain value: the designer edits a copy and keeps earlier copies for
// undo (LayoutDocument), the renderer reads it, the .rpx file stores it (rpx_file.h).
//
// Every length is in twips (1/1440 inch): positions and sizes of controls are relative to the
// top left corner of their section, sections stack from the top margin down.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QRect>
#include <QString>
#include <functional>
#include <optional>

#include "db/database.h"

namespace tolvane::reports {

constexpr int kTwipsPerInch = 1440;
constexpr int kTwipsPerPoint = 20;
// One step of a rich text's indent: a quarter inch.
constexpr int kIndentStep = 360;
constexpr int kMaxIndent = 10;

struct ReportFont {
    QString family = QStringLiteral("Arial");
    double pointSize = 10;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool operator==(const ReportFont&) const = default;
};

enum class ControlKind {
    Label,       // text: the caption
    Field,       // text: the bound field; format: how its value is shown
    CheckBox,    // text: the bound field, ticked when its value is true or a non-zero number
    Line,        // from the rectangle's top left to its bottom right corner
    Rectangle,   // the rectangle's outline, filled with the back colour when it has one
    Picture,     // image: the picture's bytes (PNG or JPEG), scaled into the rectangle
    PageNumber,  // text: a template in which {page} and {pages} are the page number and count
    Date,        // format: the date of the run, as a Qt date format ("dd/MM/yyyy")
    RichText,    // text: HTML (paragraphs, bold, italic, ...), laid out in the control's font
    Frame,       // an outline around the controls it holds, with its caption (text) at the top
    SubReport,   // text: another layout file, run inside the rectangle; format: its link
    PageBreak,   // the page ends at the control's top; the rest of its section starts a new one
    Barcode,     // text: the bound field whose value the symbol carries, in its symbology
};

// The symbols a barcode control draws.
enum class Symbology { Code128, QrCode, DataMatrix };

enum class HAlign { Left, Center, Right };

// How lines and rectangle outlines are drawn.
enum class LineStyle { Solid, Dash, Dot, DashDot };
// What a bound field in a group footer or the report footer shows: the row's value, or a total
// over the rows of its group (over all rows in the report footer). Null values are left out.
enum class Summary { None, Sum, Count };

struct Control {
    QString name{};
    ControlKind kind = ControlKind::Label;
    QRect rect{};  // twips, relative to the section
    QString text{};
    QString format{};
    ReportFont font{};
    QColor foreColor = Qt::black;
    QColor backColor{};  // invalid: transparent
    HAlign align = HAlign::Left;
    int lineWidth = 15;  // lines and rectangles, twips
    LineStyle lineStyle = LineStyle::Solid;
    bool locked = false;   // the designer neither moves nor resizes it
    bool canGrow = false;  // a field taller than its rectangle wraps and grows the section
    Summary summary = Summary::None;  // fields in group footers and the report footer
    QByteArray image{};
    Symbology symbology = Symbology::Code128;  // barcodes
    bool bullets = false;  // rich text: each paragraph an item of a bulleted list
    int indent = 0;        // rich text: paragraphs indented by this many steps (kIndentStep)
    bool operator==(const Control&) const = default;
};

enum class SectionKind {
    ReportHeader,
    PageHeader,
    GroupHeader,
    Detail,
    GroupFooter,
    PageFooter,
    ReportFooter
};

struct Section {
    QString name{};
    int height = 0;  // twips; a section of height 0 prints nothing
    QColor backColor{};
    bool canGrow = false;
    // The detail only: how many rows print side by side (labels on a sheet), across then
    // down, each column (printable width - (columns - 1) x spacing) / columns wide.
    int columns = 1;
    int columnSpacing = 0;  // twips between two columns
    // The detail only: its bound fields are the columns of a table, sized from their values
    // when the report runs (column_fit.h); their designed widths are where sizing starts.
    bool fitColumns = false;
    // Group headers only: printed again under the page header of every page the group's run
    // continues on, so the headings it carries stand over every page of rows.
    bool repeat = false;
    QList<Control> controls{};
    bool operator==(const Section&) const = default;
};

// A grouping level: a header printed before the first row of each run of equal values of the
// field, a footer after its last row.
struct Group {
    QString field{};
    Section header{};
    Section footer{};
    bool operator==(const Group&) const = default;
};

struct PageSetup {
    int paperWidth = 12240;  // portrait width and height; US Letter by default
    int paperHeight = 15840;
    bool landscape = false;
    int marginLeft = 1080, marginTop = 1080, marginRight = 1080, marginBottom = 1080;

    int pageWidth() const { return landscape ? paperHeight : paperWidth; }
    int pageHeight() const { return landscape ? paperWidth : paperHeight; }
    int printableWidth() const { return pageWidth() - marginLeft - marginRight; }
    int printableHeight() const { return pageHeight() - marginTop - marginBottom; }
    bool operator==(const PageSetup&) const = default;
};

// The width of one column of a detail printed in columns (the printable width for one).
int detailColumnWidth(const PageSetup& page, const Section& detail);

// The named data control ("DC1"): which database feeds the report and the SQL that selects
// its rows.
struct DataControl {
    QString name = QStringLiteral("DC1");
    QString databaseKey{};  // "EQUIPMENT", "PROJECT_SPECIFIC" or "PM"
    QString sql{};
    bool operator==(const DataControl&) const = default;
};

// The database a data control's key names; nullopt for an unknown key.
std::optional<db::DbId> databaseForKey(const QString& key);
QString keyForDatabase(db::DbId id);

// One key the rows are sorted by. The report wizard names a column by its table and field; a
// layout's own sort fields name a column of its query (table empty).
struct SortField {
    QString table{}, field{};
    bool descending = false;
    bool operator==(const SortField&) const = default;
};

// How an ORDER BY names a column: the wizard's "[table].[field]", a report's query quoting the
// column its result gives.
using QuoteColumn = std::function<QString(const QString& table, const QString& field)>;

// " ORDER BY " and the keys, outermost first, each quoted and followed by " DESC " when it
// sorts descending; empty without keys. Group fields come first and always ascend.
QString orderByClause(const QList<SortField>& keys, const QuoteColumn& quote);

struct ReportLayout {
    QString name = QStringLiteral("Report1");
    PageSetup page{};
    std::optional<DataControl> data{};  // a layout may have no data control
    Section reportHeader{}, pageHeader{}, detail{}, pageFooter{}, reportFooter{};
    QList<Group> groups{};  // outermost first
    // The rows' order within the groups: with any, the rows are read ordered by the group
    // fields, then by these (rowOrder()); without, in the order the query gives them.
    QList<SortField> sorts{};
    bool operator==(const ReportLayout&) const = default;
};

// The keys a layout's rows are read in: its group fields (ascending) and then its sort fields;
// none when it has no sort fields (the query's own order stands).
QList<SortField> rowOrder(const ReportLayout& layout);

// Addresses one section of a layout, so that the designer can name where a control lives.
struct SectionRef {
    SectionKind kind = SectionKind::Detail;
    int group = -1;  // group headers and footers: the index into ReportLayout::groups
    bool operator==(const SectionRef&) const = default;
};

// The sections in the order they print down a page (report header, page header, group
// headers outermost first, detail, group footers innermost first, page footer, report
// footer). A reference that names no section gives nullptr.
QList<SectionRef> sectionsInOrder(const ReportLayout& layout);
Section* sectionAt(ReportLayout& layout, const SectionRef& ref);
const Section* sectionAt(const ReportLayout& layout, const SectionRef& ref);

// The fields the layout binds to, in the order the detail shows them (left to right, then top
// to bottom): the columns of a spreadsheet export.
QList<const Control*> detailFields(const ReportLayout& layout);

}  // namespace tolvane::reports
