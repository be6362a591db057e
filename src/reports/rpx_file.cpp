// Reading and writing report layout files. The reader takes nothing on trust: every number is
// checked for range, every name against the lists below, so that a layout it accepts renders.
#include "reports/rpx_file.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <array>
#include <utility>

#include "reports/barcode.h"
#include "reports/report_error.h"
#include "shell/user_file.h"

namespace tolvane::reports {

namespace {

constexpr auto kFormatName = "tolvane-report";
// No length on a page may exceed 200 inches: far beyond any paper, small enough that sums of
// lengths stay within an int.
constexpr int kMaxLength = 200 * kTwipsPerInch;

constexpr std::array<std::pair<ControlKind, const char*>, 13> kControlKinds{{
    {ControlKind::Label, "label"},
    {ControlKind::Field, "field"},
    {ControlKind::CheckBox, "checkBox"},
    {ControlKind::Line, "line"},
    {ControlKind::Rectangle, "rectangle"},
    {ControlKind::Picture, "picture"},
    {ControlKind::PageNumber, "pageNumber"},
    {ControlKind::Date, "date"},
    {ControlKind::RichText, "richText"},
    {ControlKind::Frame, "frame"},
    {ControlKind::SubReport, "subReport"},
    {ControlKind::PageBreak, "pageBreak"},
    {ControlKind::Barcode, "barcode"},
}};
constexpr std::array<std::pair<SectionKind, const char*>, 7> kSectionKinds{{
    {SectionKind::ReportHeader, "reportHeader"},
    {SectionKind::PageHeader, "pageHeader"},
    {SectionKind::GroupHeader, "groupHeader"},
    {SectionKind::Detail, "detail"},
    {SectionKind::GroupFooter, "groupFooter"},
    {SectionKind::PageFooter, "pageFooter"},
    {SectionKind::ReportFooter, "reportFooter"},
}};
constexpr std::array<std::pair<Summary, const char*>, 3> kSummaries{
    {{Summary::None, "none"}, {Summary::Sum, "sum"}, {Summary::Count, "count"}}};
constexpr std::array<std::pair<HAlign, const char*>, 3> kAligns{
    {{HAlign::Left, "left"}, {HAlign::Center, "center"}, {HAlign::Right, "right"}}};

constexpr std::array<std::pair<LineStyle, const char*>, 4> kLineStyles{
    {{LineStyle::Solid, "solid"},
     {LineStyle::Dash, "dash"},
     {LineStyle::Dot, "dot"},
     {LineStyle::DashDot, "dashDot"}}};

template <typename E, size_t N>
const char* nameOf(const std::array<std::pair<E, const char*>, N>& table, E value) {
    for (const auto& [v, name] : table)
        if (v == value) return name;
    return table[0].second;
}

struct Invalid {
    QString reason;
};

class Reader {
  public:
    explicit Reader(const QByteArray& bytes) : xml_(bytes) {}

    ReportLayout read() {
        if (!xml_.readNextStartElement()) fail(QStringLiteral("it holds no report layout"));
        if (xml_.name() != QLatin1String("report") ||
            xml_.attributes().value(QLatin1String("format")) != QLatin1String(kFormatName))
            fail(QStringLiteral("it is not a report layout of this program"));
        const int version = integer(QStringLiteral("version"), 1, 1000000);
        if (version > kRpxVersion)
            fail(QStringLiteral("it was written by a newer version of the program (format %1)")
                     .arg(version));
        ReportLayout layout;
        layout.name = xml_.attributes().value(QLatin1String("name")).toString();
        bool seen[7] = {};
        bool page = false;
        while (xml_.readNextStartElement()) {
            const auto name = xml_.name();
            if (name == QLatin1String("page")) {
                if (page) fail(QStringLiteral("the page is set up twice"));
                page = true;
                layout.page = readPage();
            } else if (name == QLatin1String("data")) {
                if (layout.data) fail(QStringLiteral("it has two data controls"));
                layout.data = readData();
            } else if (name == QLatin1String("section")) {
                const SectionKind kind = enumAttr(kSectionKinds, QStringLiteral("kind"));
                if (kind == SectionKind::GroupHeader || kind == SectionKind::GroupFooter)
                    fail(QStringLiteral("a group section stands outside its group"));
                if (std::exchange(seen[int(kind)], true))
                    fail(QStringLiteral("the %1 section appears twice")
                             .arg(nameOf(kSectionKinds, kind)));
                *sectionAt(layout, SectionRef{kind}) =
                    readSection(kind == SectionKind::ReportFooter, kind == SectionKind::Detail);
            } else if (name == QLatin1String("group")) {
                layout.groups << readGroup();
            } else if (name == QLatin1String("sort")) {
                layout.sorts << readSort();
            } else {
                fail(QStringLiteral("unknown element <%1>").arg(name));
            }
        }
        finish();
        // Checked once the page is known, whichever comes first in the file.
        if (detailColumnWidth(layout.page, layout.detail) < 360)
            throw Invalid{QStringLiteral("line %1: the detail's %2 columns leave less than a "
                                         "quarter inch to each")
                              .arg(detailLine_)
                              .arg(layout.detail.columns)};
        return layout;
    }

  private:
    [[noreturn]] void fail(const QString& reason) {
        throw Invalid{QStringLiteral("line %1: %2").arg(xml_.lineNumber()).arg(reason)};
    }

    // The reader's own complaint (not well-formed XML) takes precedence over ours.
    void finish() {
        while (!xml_.atEnd()) xml_.readNext();
        if (xml_.hasError()) fail(xml_.errorString());
    }

    QString attr(const QString& name) const { return xml_.attributes().value(name).toString(); }

    int integer(const QString& name, int min, int max, std::optional<int> absent = std::nullopt) {
        if (!xml_.attributes().hasAttribute(name)) {
            if (absent) return *absent;
            if (xml_.hasError()) finish();
            fail(QStringLiteral("<%1> lacks the attribute %2").arg(xml_.name(), name));
        }
        bool ok = false;
        const int v = attr(name).toInt(&ok);
        if (!ok || v < min || v > max)
            fail(QStringLiteral("%1=\"%2\" is not a number from %3 to %4")
                     .arg(name, attr(name))
                     .arg(min)
                     .arg(max));
        return v;
    }

    bool boolean(const QString& name) {
        const QString v = attr(name);
        if (v.isEmpty() || v == QLatin1String("false")) return false;
        if (v == QLatin1String("true")) return true;
        fail(QStringLiteral("%1=\"%2\" is neither true nor false").arg(name, v));
    }

    QColor color(const QString& name, QColor absent) {
        const QString v = attr(name);
        if (v.isEmpty()) return absent;
        if (v == QLatin1String("none")) return {};
        const QColor c = QColor::fromString(v);
        if (!c.isValid() || v.size() != 7 || !v.startsWith(QLatin1Char('#')))
            fail(QStringLiteral("%1=\"%2\" is not a colour (#rrggbb)").arg(name, v));
        return c;
    }

    template <typename E, size_t N>
    E enumAttr(const std::array<std::pair<E, const char*>, N>& table, const QString& name,
               std::optional<E> absent = std::nullopt) {
        const QString v = attr(name);
        if (v.isEmpty() && absent) return *absent;
        for (const auto& [e, text] : table)
            if (v == QLatin1String(text)) return e;
        fail(QStringLiteral("<%1> has an unknown %2 \"%3\"").arg(xml_.name(), name, v));
    }

    PageSetup readPage() {
        PageSetup p;
        p.paperWidth = integer(QStringLiteral("width"), 720, kMaxLength);
        p.paperHeight = integer(QStringLiteral("height"), 720, kMaxLength);
        const QString o = attr(QStringLiteral("orientation"));
        if (o != QLatin1String("portrait") && o != QLatin1String("landscape"))
            fail(QStringLiteral("orientation=\"%1\" is neither portrait nor landscape").arg(o));
        p.landscape = o == QLatin1String("landscape");
        p.marginLeft = integer(QStringLiteral("left"), 0, kMaxLength);
        p.marginTop = integer(QStringLiteral("top"), 0, kMaxLength);
        p.marginRight = integer(QStringLiteral("right"), 0, kMaxLength);
        p.marginBottom = integer(QStringLiteral("bottom"), 0, kMaxLength);
        if (p.printableWidth() < 360 || p.printableHeight() < 360)
            fail(QStringLiteral("the margins leave less than a quarter inch of the page"));
        xml_.skipCurrentElement();
        return p;
    }

    DataControl readData() {
        DataControl d;
        d.name = attr(QStringLiteral("name"));
        d.databaseKey = attr(QStringLiteral("database"));
        if (d.name.isEmpty()) fail(QStringLiteral("the data control has no name"));
        if (!databaseForKey(d.databaseKey))
            fail(QStringLiteral("the data control names an unknown database \"%1\"")
                     .arg(d.databaseKey));
        while (xml_.readNextStartElement()) {
            if (xml_.name() != QLatin1String("sql"))
                fail(QStringLiteral("unknown element <%1>").arg(xml_.name()));
            d.sql = xml_.readElementText();
        }
        return d;
    }

    Group readGroup() {
        Group g;
        g.field = attr(QStringLiteral("field"));
        if (g.field.trimmed().isEmpty()) fail(QStringLiteral("a group has no field"));
        bool header = false, footer = false;
        while (xml_.readNextStartElement()) {
            if (xml_.name() != QLatin1String("section"))
                fail(QStringLiteral("unknown element <%1>").arg(xml_.name()));
            const SectionKind kind = enumAttr(kSectionKinds, QStringLiteral("kind"));
            if (kind == SectionKind::GroupHeader && !std::exchange(header, true))
                g.header = readSection(false, false, true);
            else if (kind == SectionKind::GroupFooter && !std::exchange(footer, true))
                g.footer = readSection(true);
            else
                fail(QStringLiteral("a group holds a %1 section").arg(nameOf(kSectionKinds, kind)));
        }
        return g;
    }

    SortField readSort() {
        SortField f;
        f.table = attr(QStringLiteral("table"));
        f.field = attr(QStringLiteral("field"));
        if (f.field.trimmed().isEmpty()) fail(QStringLiteral("a sort field names no field"));
        const QString order = attr(QStringLiteral("order"));
        if (!order.isEmpty() && order != QLatin1String("ascending") &&
            order != QLatin1String("descending"))
            fail(QStringLiteral("order=\"%1\" is neither ascending nor descending").arg(order));
        f.descending = order == QLatin1String("descending");
        xml_.skipCurrentElement();
        return f;
    }

    // Totals are known only once their rows have printed: in footers. Only the detail prints
    // in columns.
    Section readSection(bool totals, bool detail = false, bool groupHeader = false) {
        Section s;
        s.name = attr(QStringLiteral("name"));
        s.height = integer(QStringLiteral("height"), 0, kMaxLength);
        s.backColor = color(QStringLiteral("backColor"), {});
        s.canGrow = boolean(QStringLiteral("canGrow"));
        if (!detail && (xml_.attributes().hasAttribute(QLatin1String("columns")) ||
                        xml_.attributes().hasAttribute(QLatin1String("columnSpacing")) ||
                        xml_.attributes().hasAttribute(QLatin1String("fitColumns"))))
            fail(QStringLiteral("only the detail prints in columns"));
        if (detail) detailLine_ = xml_.lineNumber();
        s.columns = integer(QStringLiteral("columns"), 1, 100, 1);
        s.columnSpacing = integer(QStringLiteral("columnSpacing"), 0, kMaxLength, 0);
        s.fitColumns = boolean(QStringLiteral("fitColumns"));
        if (!groupHeader && xml_.attributes().hasAttribute(QLatin1String("repeat")))
            fail(QStringLiteral("only a group header repeats on every page"));
        s.repeat = boolean(QStringLiteral("repeat"));
        while (xml_.readNextStartElement()) {
            if (xml_.name() != QLatin1String("control"))
                fail(QStringLiteral("unknown element <%1>").arg(xml_.name()));
            s.controls << readControl();
            if (s.controls.last().summary != Summary::None && !totals)
                fail(QStringLiteral("a total stands outside a group footer or the report footer"));
        }
        return s;
    }

    Control readControl() {
        Control c;
        c.kind = enumAttr(kControlKinds, QStringLiteral("kind"));
        c.name = attr(QStringLiteral("name"));
        const int left = integer(QStringLiteral("left"), 0, kMaxLength);
        const int top = integer(QStringLiteral("top"), 0, kMaxLength);
        // A line may run in any direction: its width and height carry the sign.
        const int minSize = c.kind == ControlKind::Line ? -kMaxLength : 0;
        const int width = integer(QStringLiteral("width"), minSize, kMaxLength);
        const int height = integer(QStringLiteral("height"), minSize, kMaxLength);
        c.rect = QRect(left, top, width, height);
        c.align = enumAttr(kAligns, QStringLiteral("align"), std::optional{HAlign::Left});
        c.foreColor = color(QStringLiteral("foreColor"), Qt::black);
        c.backColor = color(QStringLiteral("backColor"), {});
        c.lineWidth = integer(QStringLiteral("lineWidth"), 0, 1440, 15);
        c.canGrow = boolean(QStringLiteral("canGrow"));
        c.summary = enumAttr(kSummaries, QStringLiteral("summary"), std::optional{Summary::None});
        if (c.summary != Summary::None && c.kind != ControlKind::Field)
            fail(QStringLiteral("a %1 cannot show a total").arg(nameOf(kControlKinds, c.kind)));
        c.lineStyle =
            enumAttr(kLineStyles, QStringLiteral("lineStyle"), std::optional{LineStyle::Solid});
        c.locked = boolean(QStringLiteral("locked"));
        const auto only = [&](const char* attribute, ControlKind kind) {
            if (c.kind != kind && xml_.attributes().hasAttribute(QLatin1String(attribute)))
                fail(QStringLiteral("a %1 has no %2")
                         .arg(nameOf(kControlKinds, c.kind), QLatin1String(attribute)));
        };
        only("symbology", ControlKind::Barcode);
        if (c.kind == ControlKind::Barcode) {
            const QString name = attr(QStringLiteral("symbology"));
            const std::optional<Symbology> s =
                name.isEmpty() ? Symbology::Code128 : symbologyFromName(name);
            if (!s)
                fail(QStringLiteral("symbology=\"%1\" is none of %2")
                         .arg(name, symbologyNames().join(QStringLiteral(", "))));
            c.symbology = *s;
        }
        only("bullets", ControlKind::RichText);
        only("indent", ControlKind::RichText);
        c.bullets = boolean(QStringLiteral("bullets"));
        c.indent = integer(QStringLiteral("indent"), 0, kMaxIndent, 0);
        while (xml_.readNextStartElement()) {
            const auto name = xml_.name();
            if (name == QLatin1String("font")) {
                c.font.family = attr(QStringLiteral("family"));
                bool ok = false;
                c.font.pointSize = attr(QStringLiteral("size")).toDouble(&ok);
                if (!ok || !(c.font.pointSize >= 1 && c.font.pointSize <= 500))
                    fail(QStringLiteral("size=\"%1\" is not a font size from 1 to 500")
                             .arg(attr(QStringLiteral("size"))));
                c.font.bold = boolean(QStringLiteral("bold"));
                c.font.italic = boolean(QStringLiteral("italic"));
                c.font.underline = boolean(QStringLiteral("underline"));
                xml_.skipCurrentElement();
            } else if (name == QLatin1String("text")) {
                c.text = xml_.readElementText();
            } else if (name == QLatin1String("format")) {
                c.format = xml_.readElementText();
            } else if (name == QLatin1String("image")) {
                const auto decoded = QByteArray::fromBase64Encoding(
                    xml_.readElementText().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
                if (!decoded) fail(QStringLiteral("a picture's data is damaged"));
                c.image = *decoded;
            } else {
                fail(QStringLiteral("unknown element <%1>").arg(name));
            }
        }
        return c;
    }

    QXmlStreamReader xml_;
    qint64 detailLine_ = 0;
};

void writeSection(QXmlStreamWriter& w, SectionKind kind, const Section& s) {
    w.writeStartElement(QStringLiteral("section"));
    w.writeAttribute(QStringLiteral("kind"), QLatin1String(nameOf(kSectionKinds, kind)));
    if (!s.name.isEmpty()) w.writeAttribute(QStringLiteral("name"), s.name);
    w.writeAttribute(QStringLiteral("height"), QString::number(s.height));
    if (s.backColor.isValid()) w.writeAttribute(QStringLiteral("backColor"), s.backColor.name());
    if (s.canGrow) w.writeAttribute(QStringLiteral("canGrow"), QStringLiteral("true"));
    if (s.columns > 1) {
        w.writeAttribute(QStringLiteral("columns"), QString::number(s.columns));
        w.writeAttribute(QStringLiteral("columnSpacing"), QString::number(s.columnSpacing));
    }
    if (s.fitColumns) w.writeAttribute(QStringLiteral("fitColumns"), QStringLiteral("true"));
    if (s.repeat) w.writeAttribute(QStringLiteral("repeat"), QStringLiteral("true"));
    for (const Control& c : s.controls) {
        w.writeStartElement(QStringLiteral("control"));
        w.writeAttribute(QStringLiteral("kind"), QLatin1String(nameOf(kControlKinds, c.kind)));
        if (!c.name.isEmpty()) w.writeAttribute(QStringLiteral("name"), c.name);
        w.writeAttribute(QStringLiteral("left"), QString::number(c.rect.left()));
        w.writeAttribute(QStringLiteral("top"), QString::number(c.rect.top()));
        w.writeAttribute(QStringLiteral("width"), QString::number(c.rect.width()));
        w.writeAttribute(QStringLiteral("height"), QString::number(c.rect.height()));
        if (c.align != HAlign::Left)
            w.writeAttribute(QStringLiteral("align"), QLatin1String(nameOf(kAligns, c.align)));
        w.writeAttribute(QStringLiteral("foreColor"),
                         c.foreColor.isValid() ? c.foreColor.name() : QStringLiteral("none"));
        if (c.backColor.isValid())
            w.writeAttribute(QStringLiteral("backColor"), c.backColor.name());
        w.writeAttribute(QStringLiteral("lineWidth"), QString::number(c.lineWidth));
        if (c.canGrow) w.writeAttribute(QStringLiteral("canGrow"), QStringLiteral("true"));
        if (c.summary != Summary::None)
            w.writeAttribute(QStringLiteral("summary"),
                             QLatin1String(nameOf(kSummaries, c.summary)));
        if (c.lineStyle != LineStyle::Solid)
            w.writeAttribute(QStringLiteral("lineStyle"),
                             QLatin1String(nameOf(kLineStyles, c.lineStyle)));
        if (c.locked) w.writeAttribute(QStringLiteral("locked"), QStringLiteral("true"));
        if (c.kind == ControlKind::Barcode)
            w.writeAttribute(QStringLiteral("symbology"), symbologyName(c.symbology));
        if (c.kind == ControlKind::RichText && c.bullets)
            w.writeAttribute(QStringLiteral("bullets"), QStringLiteral("true"));
        if (c.kind == ControlKind::RichText && c.indent > 0)
            w.writeAttribute(QStringLiteral("indent"), QString::number(c.indent));
        w.writeStartElement(QStringLiteral("font"));
        w.writeAttribute(QStringLiteral("family"), c.font.family);
        w.writeAttribute(QStringLiteral("size"),
                         QString::number(c.font.pointSize, 'g', QLocale::FloatingPointShortest));
        if (c.font.bold) w.writeAttribute(QStringLiteral("bold"), QStringLiteral("true"));
        if (c.font.italic) w.writeAttribute(QStringLiteral("italic"), QStringLiteral("true"));
        if (c.font.underline) w.writeAttribute(QStringLiteral("underline"), QStringLiteral("true"));
        w.writeEndElement();
        if (!c.text.isEmpty()) w.writeTextElement(QStringLiteral("text"), c.text);
        if (!c.format.isEmpty()) w.writeTextElement(QStringLiteral("format"), c.format);
        if (!c.image.isEmpty())
            w.writeTextElement(QStringLiteral("image"), QString::fromLatin1(c.image.toBase64()));
        w.writeEndElement();
    }
    w.writeEndElement();
}

}  // namespace

ReportLayout parseRpx(const QByteArray& bytes) {
    try {
        return Reader(bytes).read();
    } catch (const Invalid& e) {
        throw ReportError(QStringLiteral("the report layout cannot be read: %1").arg(e.reason));
    }
}

ReportLayout readRpx(const QString& path) {
    const UserFile file = readUserFile(path);
    if (!file.ok())
        throw ReportError(
            QStringLiteral("the report layout %1 cannot be opened: %2").arg(path, file.error));
    try {
        return Reader(file.bytes).read();
    } catch (const Invalid& e) {
        throw ReportError(
            QStringLiteral("the report layout %1 cannot be read: %2").arg(path, e.reason));
    }
}

QByteArray serializeRpx(const ReportLayout& layout) {
    QByteArray bytes;
    QXmlStreamWriter w(&bytes);
    w.setAutoFormatting(true);
    w.setAutoFormattingIndent(1);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("report"));
    w.writeAttribute(QStringLiteral("format"), QLatin1String(kFormatName));
    w.writeAttribute(QStringLiteral("version"), QString::number(kRpxVersion));
    w.writeAttribute(QStringLiteral("name"), layout.name);
    w.writeStartElement(QStringLiteral("page"));
    const PageSetup& p = layout.page;
    w.writeAttribute(QStringLiteral("width"), QString::number(p.paperWidth));
    w.writeAttribute(QStringLiteral("height"), QString::number(p.paperHeight));
    w.writeAttribute(QStringLiteral("orientation"),
                     p.landscape ? QStringLiteral("landscape") : QStringLiteral("portrait"));
    w.writeAttribute(QStringLiteral("left"), QString::number(p.marginLeft));
    w.writeAttribute(QStringLiteral("top"), QString::number(p.marginTop));
    w.writeAttribute(QStringLiteral("right"), QString::number(p.marginRight));
    w.writeAttribute(QStringLiteral("bottom"), QString::number(p.marginBottom));
    w.writeEndElement();
    if (layout.data) {
        w.writeStartElement(QStringLiteral("data"));
        w.writeAttribute(QStringLiteral("name"), layout.data->name);
        w.writeAttribute(QStringLiteral("database"), layout.data->databaseKey);
        w.writeTextElement(QStringLiteral("sql"), layout.data->sql);
        w.writeEndElement();
    }
    const auto sectionKinds = {SectionKind::ReportHeader, SectionKind::PageHeader,
                               SectionKind::Detail, SectionKind::PageFooter,
                               SectionKind::ReportFooter};
    for (SectionKind kind : sectionKinds) writeSection(w, kind, *sectionAt(layout, {kind}));
    for (const Group& g : layout.groups) {
        w.writeStartElement(QStringLiteral("group"));
        w.writeAttribute(QStringLiteral("field"), g.field);
        writeSection(w, SectionKind::GroupHeader, g.header);
        writeSection(w, SectionKind::GroupFooter, g.footer);
        w.writeEndElement();
    }
    for (const SortField& f : layout.sorts) {
        w.writeStartElement(QStringLiteral("sort"));
        if (!f.table.isEmpty()) w.writeAttribute(QStringLiteral("table"), f.table);
        w.writeAttribute(QStringLiteral("field"), f.field);
        w.writeAttribute(QStringLiteral("order"),
                         f.descending ? QStringLiteral("descending") : QStringLiteral("ascending"));
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndDocument();
    return bytes;
}

void writeRpx(const QString& path, const ReportLayout& layout) {
    const QByteArray bytes = serializeRpx(layout);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw ReportError(QStringLiteral("the report layout cannot be saved as %1: %2")
                              .arg(path, file.errorString()));
}

}  // namespace tolvane::reports
