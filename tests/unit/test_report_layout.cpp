// Report layouts: the .rpx file round trip, damaged files refused with their reason, atomic
// saving, and undo of layout edits.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "reports/layout_document.h"
#include "reports/report_error.h"
#include "reports/rpx_file.h"

using namespace tolvane::reports;

namespace {

Control control(ControlKind kind, QRect rect, const QString& text = {}) {
    return Control{.kind = kind, .rect = rect, .text = text};
}

// A layout that uses every kind of section, control and property the file carries.
ReportLayout everything() {
    ReportLayout l;
    l.name = QStringLiteral("Cables & <Systems>");
    l.page = PageSetup{11906, 16838, true, 720, 900, 1000, 1100};
    l.data = DataControl{QStringLiteral("DC1"), QStringLiteral("PROJECT_SPECIFIC"),
                         QStringLiteral("select * from tblCables where Length > 5 and a < b")};
    l.reportHeader.height = 800;
    l.reportHeader.backColor = QColor(0xc0, 0xc0, 0xc0);
    Control title{.name = QStringLiteral("lblReportTitle"),
                  .kind = ControlKind::Label,
                  .rect = QRect(0, 5, 9000, 750),
                  .text = QStringLiteral("Cable List\n  indented"),
                  .font = {QStringLiteral("Times New Roman"), 20.5, true, true, true},
                  .align = HAlign::Center};
    l.reportHeader.controls << title
                            << Control{.kind = ControlKind::Line,
                                       .rect = QRect(0, 790, 9000, -20),
                                       .foreColor = QColor(0xc0, 0xc0, 0),
                                       .lineWidth = 30,
                                       .lineStyle = LineStyle::DashDot,
                                       .locked = true};
    QImage img(4, 3, QImage::Format_RGB32);
    img.fill(Qt::red);
    QByteArray png;
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    l.pageHeader.height = 300;
    QList<Control>& page = l.pageHeader.controls;
    page << control(ControlKind::Picture, QRect(0, 0, 400, 300))
         << control(ControlKind::Date, QRect(6000, 0, 2000, 300));
    page[0].image = png;
    page[1].format = QStringLiteral("dd/MM/yyyy");
    page[1].align = HAlign::Right;
    l.detail.height = 300;
    l.detail.canGrow = true;
    l.detail.columns = 2;
    l.detail.columnSpacing = 180;
    l.detail.fitColumns = true;
    QList<Control>& detail = l.detail.controls;
    detail << control(ControlKind::Field, QRect(0, 0, 1500, 300), "CableNO")
           << control(ControlKind::Field, QRect(1600, 0, 1000, 300), "tblCables.Length")
           << control(ControlKind::CheckBox, QRect(2700, 0, 300, 300), "MultiCore")
           << control(ControlKind::Rectangle, QRect(0, 0, 3000, 300));
    detail[0].name = QStringLiteral("txtCableNO");
    detail[0].canGrow = true;
    detail[1].format = QStringLiteral("#,##0.00");
    detail[1].align = HAlign::Right;
    detail[3].foreColor = QColor();
    detail[3].backColor = QColor(0xee, 0xee, 0xee);
    QList<Control>& end = l.reportFooter.controls;
    end << control(ControlKind::RichText, QRect(0, 300, 6000, 900),
                   "<p>One <b>bold</b></p><p>Two</p>")
        << control(ControlKind::Frame, QRect(0, 1300, 6000, 900), "Notes")
        << control(ControlKind::SubReport, QRect(0, 2300, 6000, 900), "Systems.rpx")
        << control(ControlKind::Barcode, QRect(3100, 0, 900, 900), "LabelCode")
        << control(ControlKind::Barcode, QRect(4100, 0, 900, 900), "CableNO")
        << control(ControlKind::Barcode, QRect(5100, 0, 2000, 300), "CableNO")
        << control(ControlKind::PageBreak, QRect(0, 280, 9000, 20))
        << control(ControlKind::Field, QRect(0, 0, 1000, 300), "CableNO");
    end[0].bullets = true;
    end[0].indent = 2;
    end[2].format = QStringLiteral("SysName=SRCSys");
    end[3].name = QStringLiteral("bcdQR");
    end[3].symbology = Symbology::QrCode;
    end[4].symbology = Symbology::DataMatrix;
    end[7].summary = Summary::Count;
    l.reportFooter.height = 300;
    l.pageFooter.height = 300;
    l.pageFooter.controls << control(ControlKind::PageNumber, QRect(0, 0, 3000, 300),
                                     "Page {page} of {pages}");
    Group g{QStringLiteral("SignalType")};
    g.header.repeat = true;
    g.header.name = QStringLiteral("SignalTypegh");
    g.header.height = 450;
    g.header.controls << control(ControlKind::Field, QRect(0, 0, 3000, 450), "SignalType");
    g.footer.height = 300;
    g.footer.controls << control(ControlKind::Field, QRect(1600, 0, 1000, 300), "Length");
    g.footer.controls[0].summary = Summary::Sum;
    l.groups << g << Group{QStringLiteral("CableType")};
    l.sorts << SortField{{}, QStringLiteral("Length"), true}
            << SortField{QStringLiteral("tblCables"), QStringLiteral("CableNO"), false};
    return l;
}

QString readError(const QByteArray& bytes) {
    try {
        parseRpx(bytes);
    } catch (const ReportError& e) {
        return e.message();
    }
    return QStringLiteral("(accepted)");
}

}  // namespace

TEST(RpxFile, EveryPropertyReadsBackEqualFromTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cables.rpx"));
    const ReportLayout original = everything();
    writeRpx(path, original);
    const ReportLayout back = readRpx(path);
    EXPECT_TRUE(back == original);
    // Written again, the file is the same bytes: saving an unchanged layout changes nothing.
    EXPECT_EQ(serializeRpx(back), serializeRpx(original));
    // A layout without a data control stays without one.
    ReportLayout plain;
    EXPECT_FALSE(parseRpx(serializeRpx(plain)).data.has_value());
}

TEST(RpxFile, DamagedFilesAreRefusedWithTheirReason) {
    const QByteArray good = serializeRpx(everything());
    const auto damaged = [&](const char* from, const char* to) {
        QByteArray b = good;
        EXPECT_TRUE(b.contains(from)) << from;
        return readError(b.replace(from, to));
    };
    const struct {
        QString message;
        const char* expected;
    } cases[] = {
        {readError(good.left(good.size() / 2)), "Premature end of document"},
        {readError(QByteArray()), "holds no report layout"},
        {readError("<drawing/>"), "not a report layout of this program"},
        {damaged("version=\"1\"", "version=\"7\""), "newer version of the program (format 7)"},
        {damaged("version=\"1\"", "version=\"x\""), "version=\"x\" is not a number"},
        {damaged("height=\"800\"", "height=\"-5\""), "height=\"-5\" is not a number from 0"},
        {damaged("kind=\"label\"", "kind=\"gauge\""), "unknown kind \"gauge\""},
        {damaged("database=\"PROJECT_SPECIFIC\"", "database=\"MAIN\""),
         "unknown database \"MAIN\""},
        {damaged("field=\"CableType\"", "field=\"\""), "a group has no field"},
        {damaged("kind=\"pageFooter\"", "kind=\"pageHeader\""), "pageHeader section appears twice"},
        {damaged("kind=\"groupFooter\"", "kind=\"detail\""), "a group holds a detail section"},
        {damaged("backColor=\"#c0c0c0\"", "backColor=\"grey\""), "is not a colour"},
        {damaged("bold=\"true\"", "bold=\"yes\""), "bold=\"yes\" is neither true nor false"},
        {damaged("size=\"20.5\"", "size=\"0\""), "not a font size"},
        {damaged("orientation=\"landscape\"", "orientation=\"sideways\""), "sideways"},
        {damaged("left=\"720\"", "left=\"16000\""), "margins leave less than"},
        {damaged("<image>", "<image>*"), "picture's data is damaged"},
        {damaged("<text>", "<txet>"), "unknown element <txet>"},
        {damaged("columns=\"2\"", "columns=\"0\""), "columns=\"0\" is not a number from 1"},
        {damaged("columns=\"2\"", "columns=\"60\""), "60 columns leave less than a quarter"},
        {damaged("columnSpacing=\"180\"", "columnSpacing=\"15000\""),
         "2 columns leave less than a quarter inch"},
        {damaged("kind=\"pageFooter\" height=\"300\"",
                 "kind=\"pageFooter\" height=\"300\" columns=\"2\""),
         "only the detail prints in columns"},
        {damaged("kind=\"pageFooter\" height=\"300\"",
                 "kind=\"pageFooter\" height=\"300\" fitColumns=\"true\""),
         "only the detail prints in columns"},
        {damaged("kind=\"pageFooter\" height=\"300\"",
                 "kind=\"pageFooter\" height=\"300\" repeat=\"true\""),
         "only a group header repeats on every page"},
        {damaged("summary=\"count\"", "summary=\"avg\""), "unknown summary \"avg\""},
        {damaged("<control kind=\"checkBox\"", "<control kind=\"checkBox\" summary=\"sum\""),
         "a checkBox cannot show a total"},
        {damaged("<control kind=\"field\" name=\"txtCableNO\"",
                 "<control kind=\"field\" name=\"txtCableNO\" summary=\"sum\""),
         "a total stands outside a group footer or the report footer"},
        {damaged("lineStyle=\"dashDot\"", "lineStyle=\"wavy\""), "unknown lineStyle \"wavy\""},
        {damaged("locked=\"true\"", "locked=\"1\""), "locked=\"1\" is neither true nor false"},
        {damaged("symbology=\"qr\"", "symbology=\"pdf417\""),
         "symbology=\"pdf417\" is none of code128, qr, dataMatrix"},
        {damaged("<control kind=\"checkBox\"", "<control kind=\"checkBox\" symbology=\"qr\""),
         "a checkBox has no symbology"},
        {damaged("indent=\"2\"", "indent=\"11\""), "indent=\"11\" is not a number from 0 to 10"},
        {damaged("<control kind=\"frame\"", "<control kind=\"frame\" bullets=\"true\""),
         "a frame has no bullets"},
        {damaged("order=\"descending\"", "order=\"upwards\""),
         "order=\"upwards\" is neither ascending nor descending"},
        {damaged("<sort field=\"Length\"", "<sort field=\"\""), "a sort field names no field"},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(
            c.message.startsWith(QLatin1String("Error: the report layout cannot be read: line ")))
            << c.message.toStdString();
        EXPECT_TRUE(c.message.contains(QLatin1String(c.expected)))
            << c.message.toStdString() << " / " << c.expected;
    }
}

TEST(RpxFile, SavingIsAtomicAndFailuresAreReported) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.rpx"));
    writeRpx(path, everything());
    const QByteArray before = [&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    // A folder that cannot be written: the old file stays as it was, no temporary is left.
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    ReportLayout other;
    try {
        writeRpx(path, other);
        if (::geteuid() != 0) ADD_FAILURE() << "saved into a read-only folder";
    } catch (const ReportError& e) {
        EXPECT_TRUE(e.message().startsWith(
            QStringLiteral("Error: the report layout cannot be saved as ") + path));
    }
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_THROW(writeRpx(dir.filePath(QStringLiteral("no/such/folder/x.rpx")), other),
                 ReportError);
    if (::geteuid() != 0) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        EXPECT_EQ(f.readAll(), before);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("list.rpx")});
    // A file that is missing or no layout at all names itself in the message.
    try {
        readRpx(dir.filePath(QStringLiteral("missing.rpx")));
        ADD_FAILURE();
    } catch (const ReportError& e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("Error: the report layout ")));
        EXPECT_TRUE(e.message().contains(QStringLiteral("missing.rpx cannot be opened")));
    }
}

TEST(LayoutDocument, EditsAreUndoneAndRedoneAsWholeStepsAndTrackSaving) {
    LayoutDocument doc(everything());
    int changes = 0;
    QObject::connect(&doc, &LayoutDocument::changed, [&] { ++changes; });
    EXPECT_FALSE(doc.isModified());
    EXPECT_FALSE(doc.edit(QStringLiteral("Nothing"), [](ReportLayout&) {}));
    EXPECT_FALSE(doc.isModified());
    ASSERT_TRUE(doc.edit(QStringLiteral("Move"), [](ReportLayout& l) {
        l.detail.controls[0].rect.translate(100, 0);
        l.detail.controls[1].font.bold = true;
    }));
    ASSERT_TRUE(doc.edit(QStringLiteral("Delete"),
                         [](ReportLayout& l) { l.detail.controls.removeLast(); }));
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(doc.layout().detail.controls.size(), 3);
    doc.undoStack().undo();
    EXPECT_EQ(doc.layout().detail.controls.size(), 4);
    EXPECT_EQ(doc.layout().detail.controls[0].rect.left(), 100);
    doc.undoStack().undo();  // back to the start as a whole: test_layout_editing.cpp
    EXPECT_FALSE(doc.isModified());
    doc.undoStack().redo();
    EXPECT_TRUE(doc.layout().detail.controls[1].font.bold);
    doc.markSaved();
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(changes, 5);  // two edits, two undos, one redo
}

TEST(ReportLayout, SectionsInPrintOrderAndDetailColumns) {
    const ReportLayout l = everything();
    const QList<SectionRef> order = sectionsInOrder(l);
    ASSERT_EQ(order.size(), 9);
    EXPECT_EQ(order[2], (SectionRef{SectionKind::GroupHeader, 0}));
    EXPECT_EQ(order[3], (SectionRef{SectionKind::GroupHeader, 1}));
    EXPECT_EQ(order[5], (SectionRef{SectionKind::GroupFooter, 1}));
    EXPECT_EQ(order[6], (SectionRef{SectionKind::GroupFooter, 0}));
    EXPECT_EQ(sectionAt(l, {SectionKind::GroupFooter, 2}), nullptr);
    QStringList columns;
    for (const Control* c : detailFields(l)) columns << c->text;
    EXPECT_EQ(columns, (QStringList{"CableNO", "tblCables.Length", "MultiCore"}));
    EXPECT_EQ(databaseForKey(QStringLiteral("project_specific")), tolvane::db::DbId::Project);
    EXPECT_EQ(databaseForKey(QStringLiteral("EQUIPMENT")), tolvane::db::DbId::Equipment);
    EXPECT_EQ(databaseForKey(QStringLiteral("PM")), tolvane::db::DbId::PM);
    EXPECT_EQ(databaseForKey(QStringLiteral("BLANK")), std::nullopt);
}
