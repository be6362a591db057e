// The property list's entries and changes: what a selection and the drawing show, shared and
// differing values, one undo step per edit, refused values, and drawing values that are kept
// in the file or in the user's settings.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "cad/dxf.h"
#include "cad/pictures.h"
#include "cad/render.h"
#include "cad/search_folders.h"
#include "drawings/draw_commands.h"
#include "drawings/drawing.h"
#include "drawings/properties.h"
#include "script_fixture.h"
#include "shell/settings_store.h"

using namespace tolvane;

namespace {

const PropertyEntry* find(const QList<PropertyEntry>& entries, const QString& name) {
    for (const PropertyEntry& e : entries)
        if (e.name == name) return &e;
    return nullptr;
}

QString valueOf(const QList<PropertyEntry>& entries, const char* name) {
    const PropertyEntry* e = find(entries, QString::fromLatin1(name));
    return e ? e->value : "(missing)";
}

// A drawing, the user's settings in a file of their own, and the list over both; the user
// answers OK to whatever a refusal says.
class Properties : public ::testing::Test {
  protected:
    Drawing d;
    test::ScriptedUser user{QString("button OK\n").repeated(8)};
    QTemporaryDir dir;
    SettingsStore store{dir.filePath("Tolvane_v2.ini")};
    PropertyList list{d, *user.ui, {&store, std::nullopt, {}}};
};

// The values a line shows, in one text.
QString values(const QList<PropertyEntry>& entries) {
    QStringList out;
    for (const char* name : {"Type", "Length", "PenColor", "PenStyle", "StartPoint", "EndPoint"})
        out << valueOf(entries, name);
    return out.join('|');
}

}  // namespace

// The order and categories of the entries are the property_list scenario's; here, the values
// of one line and which entries are computed, so read-only.
TEST_F(Properties, OneLineShowsItsValuesAndReadOnlyEntries) {
    const QString h = d.editor().add(cad::Entity::line({1, 1}, {4, 5}));
    const QList<PropertyEntry> entries = list.load({h});
    EXPECT_EQ(valueOf(entries, "Handle"), h);
    EXPECT_EQ(values(entries), "VDLINE|5|BYLAYER|-1-BYLAYER|1,1|4,5");
    for (const char* readOnly : {"Area", "Handle", "ID", "Length", "Type", "XProperties"})
        EXPECT_TRUE(find(entries, readOnly)->readOnly) << readOnly;
    EXPECT_FALSE(find(entries, "LayerName")->readOnly);
}

TEST_F(Properties, ValuesNotSharedReadVariesAndMixedTypesShowOnlyGeneralEntries) {
    d.document().addLayer({"CABLES"});
    cad::Entity a = cad::Entity::line({0, 0}, {1, 0});
    cad::Entity b = cad::Entity::line({0, 0}, {2, 0});
    b.layer = "CABLES";
    b.color = 3;
    const QString ha = d.editor().add(a), hb = d.editor().add(b);
    const QList<PropertyEntry> lines = list.load({ha, hb});
    EXPECT_EQ(valueOf(lines, "LayerName"), kVaries);
    EXPECT_EQ(values(lines), QString("VDLINE|%1|%1|-1-BYLAYER|0,0|%1").arg(kVaries));

    const QString circle = d.editor().add(cad::Entity::circle({0, 0}, 2));
    const QList<PropertyEntry> mixed = list.load({ha, circle});
    EXPECT_EQ(valueOf(mixed, "Type"), kVaries);
    EXPECT_EQ(find(mixed, "StartPoint"), nullptr);
    EXPECT_EQ(find(mixed, "CenterPoint"), nullptr);
    for (const PropertyEntry& e : mixed)
        EXPECT_TRUE(e.category == kGeneralEntities || e.name == QLatin1String("PenStyle"))
            << e.name.toStdString();
}

TEST_F(Properties, AnEditOfTwoEntitiesIsOneUndoStep) {
    const QString a = d.editor().add(cad::Entity::line({0, 0}, {1, 0}));
    const QString b = d.editor().add(cad::Entity::line({0, 1}, {1, 1}));
    d.undo().clear();
    ASSERT_TRUE(list.change({a, b}, "PenColor", "3"));
    ASSERT_TRUE(list.change({a, b}, "PenStyle", "102-DASHED"));
    EXPECT_EQ(d.document().find(a)->color, 3);
    EXPECT_EQ(d.document().find(b)->color, 3);
    EXPECT_EQ(d.document().find(b)->lineType, "DASHED");
    EXPECT_TRUE(d.document().lineType("DASHED"));  // written with the file
    EXPECT_EQ(d.undo().undoCount(), 2);
    d.undo().undo();
    d.undo().undo();
    EXPECT_EQ(d.document().find(a)->color, cad::kColorByLayer);
    EXPECT_EQ(d.document().find(b)->color, cad::kColorByLayer);
    EXPECT_TRUE(user.transcript.isEmpty());
}

// A point that is not "x,y", a number field given words, a read-only entry and a layer that
// does not exist are each refused with a message, and the entity stays as it was.
TEST_F(Properties, RefusedValuesChangeNothing) {
    const QString line = d.editor().add(cad::Entity::line({0, 0}, {1, 0}));
    const QString text = d.editor().add(cad::Entity::textAt({0, 0}, "A", 1));
    d.undo().clear();
    EXPECT_FALSE(list.change({line}, "StartPoint", "5 5"));
    EXPECT_TRUE(user.transcript.contains("| Not a recognized coordinate format. Use xxx,yyy."));
    EXPECT_FALSE(list.change({line}, "EndPoint", "5,abc"));
    EXPECT_FALSE(list.change({text}, "Height", "tall"));
    EXPECT_FALSE(list.change({line}, "Handle", "FFF"));
    EXPECT_FALSE(list.change({line}, "LayerName", "NOPE"));
    EXPECT_EQ(user.transcript.count("MESSAGE"), 5);
    EXPECT_EQ(d.document().find(line)->start, QPointF(0, 0));
    EXPECT_EQ(d.document().find(line)->end, QPointF(1, 0));
    EXPECT_EQ(d.document().find(text)->height, 1.0);
    EXPECT_EQ(d.undo().undoCount(), 0);
}

// An insert moved or turned through its entries takes its attributes along.
TEST_F(Properties, InsertEntriesMoveItsAttributes) {
    cad::Block& block = d.document().addBlock("UNIT");
    d.document().add(block, cad::Entity::attributeDefinition({1, 0}, "TAG", QString(), "v", 0.25));
    const QString insert = d.placeBlock("UNIT", {5, 5});
    EXPECT_EQ(valueOf(list.load({insert}), "Attributes"), "TAG=v");
    ASSERT_TRUE(list.change({insert}, "InsertionPoint", "10,5"));
    ASSERT_TRUE(list.change({insert}, "Rotation", "90"));
    const cad::Entity* e = d.document().find(insert);
    EXPECT_EQ(e->start, QPointF(10, 5));
    EXPECT_DOUBLE_EQ(e->rotation, 90);
    EXPECT_NEAR(e->attributes[0].start.x(), 10, 1e-9);
    EXPECT_NEAR(e->attributes[0].start.y(), 6, 1e-9);
}

// Drawing values kept in the file's header come back from a save; the drawing's read-only
// entries refuse a change; view options go to the user's settings.
TEST_F(Properties, DrawingValuesRoundTripThroughTheFile) {
    d.document().addLayer({"CABLES"});
    d.document().settings().pointMode = 35;
    PropertyList viewed(d, *user.ui, {&store, QPointF(3, 4), {}});
    const QList<PropertyEntry> shown = viewed.load({});
    EXPECT_EQ(valueOf(shown, "PointMode"), "35");
    EXPECT_EQ(valueOf(shown, "OriginX"), "3");

    const std::pair<const char*, const char*> changes[] = {
        {"ActiveColor", "5"},
        {"ActivePenStyle", "DASHED"},
        {"DefaultLineWeight", "0.35 mm"},
        {"ActiveTextHeight", "0.5"},
        {"ActiveLayer", "cables"},
        {"LUnits", "4"},
        {"LUPrecision", "2-0.00"},
        {"LimitsUpperRight", "100,50.5"},
        {"LineTypeScale", "2"},
        {"OrthoMode", "1-True"},
    };
    for (const auto& [name, value] : changes)
        EXPECT_TRUE(viewed.change({}, QString::fromLatin1(name), QString::fromLatin1(value)))
            << name;
    EXPECT_FALSE(viewed.changedSettings());
    EXPECT_TRUE(d.modified());
    const cad::Document back = cad::readDxf(cad::writeDxf(d.document()));
    const cad::DrawingSettings& s = back.settings();
    EXPECT_EQ(s.color, 5);
    EXPECT_EQ(s.lineType, "DASHED");
    EXPECT_EQ(s.lineWeight, 35);
    EXPECT_DOUBLE_EQ(s.textHeight, 0.5);
    EXPECT_EQ(back.currentLayer(), "CABLES");
    EXPECT_EQ(s.linearUnits, 4);
    EXPECT_EQ(s.precision, 2);
    EXPECT_EQ(s.limitsMax, QPointF(100, 50.5));
    EXPECT_DOUBLE_EQ(s.lineTypeScale, 2);
    EXPECT_TRUE(s.orthoMode);

    EXPECT_FALSE(viewed.change({}, "PointMode", "3"));
    EXPECT_FALSE(viewed.change({}, "LimitsLowerLeft", "1;2"));
    EXPECT_EQ(d.document().settings().pointMode, 35);
    EXPECT_TRUE(viewed.change({}, "PtSize", "6"));
    EXPECT_TRUE(viewed.changedSettings());
    EXPECT_EQ(store.read(setting::PtSize), "6");
    EXPECT_TRUE(viewed.change({}, "MouseWheel", "Reversed"));
    EXPECT_EQ(store.read(setting::MwReversed), "1");
    EXPECT_FALSE(viewed.change({}, "CrossSize", "500"));
    EXPECT_EQ(store.read(setting::CrossSize), QString());
}

// The active fill and justification are what new outlines and texts take; ActiveLayout shows
// another layout by name (one it does not know is refused); view options go to the settings.
TEST_F(Properties, ActiveValuesAreTakenByNewEntities) {
    d.document().addLayout("Sheet A");
    const std::pair<const char*, const char*> changes[] = {
        {"ActiveFillMode", "Solid"},   {"ActiveFillColor", "3"},
        {"ActiveTextHorJustify", "2"}, {"ActiveTextVerJustify", "100-Center"},
        {"ActiveLayout", "sheet a"},   {"PenCaps", "1-Flat"},
        {"CurveResolution", "12"},     {"GripColor", "255,0,0"},
        {"WMFSaveSize", "720"},
    };
    for (const auto& [name, value] : changes)
        EXPECT_TRUE(list.change({}, QString::fromLatin1(name), QString::fromLatin1(value))) << name;
    EXPECT_EQ(d.space().name, "Sheet A");
    EXPECT_FALSE(list.change({}, "ActiveLayout", "Sheet B"));
    EXPECT_EQ(store.read(setting::PenCaps), "1");
    EXPECT_EQ(store.read(setting::CurveResolution), "12");

    cad::Entity circle = cad::Entity::circle({0, 0}, 1), line = cad::Entity::line({0, 0}, {1, 1});
    cad::Entity text = cad::Entity::textAt({5, 6}, "A", 0);
    for (cad::Entity* e : {&circle, &line, &text}) takeCurrentProperties(d, *e);
    EXPECT_EQ(circle.detail->fillMode, cad::FillSolid);
    EXPECT_EQ(circle.detail->fillColor, 3);
    EXPECT_EQ(line.detail->fillMode, cad::FillNone);
    EXPECT_EQ(text.hAlign, 2);
    EXPECT_EQ(text.vAlign, 2);
    EXPECT_EQ(text.end, QPointF(5, 6));  // placed by its alignment point
}

TEST_F(Properties, ColourAndWeightTexts) {
    EXPECT_EQ(parseColorValue("bylayer"), cad::kColorByLayer);
    EXPECT_EQ(parseColorValue("BYBLOCK"), cad::kColorByBlock);
    EXPECT_EQ(parseColorValue("12"), 12);
    EXPECT_EQ(parseColorValue("300"), std::nullopt);
    EXPECT_EQ(parseLineWeight(lineWeightText(25)), 25);
    EXPECT_EQ(parseLineWeight("ByLayer"), -1);
    EXPECT_EQ(parseLineWeight("35"), 35);
    EXPECT_EQ(parseLineWeight("thick"), std::nullopt);
}

// The undo history size, the alternate font and the template are the user's settings, taken
// by every drawing: a size beyond 1 to 20 MB, a font that is neither a file nor installed and
// a template that is no drawing file are refused.
TEST_F(Properties, UndoLimitAlternateFontAndTemplateAreSettings) {
    applyDrawingSettings(d, store);  // 20 MB until the user says otherwise
    EXPECT_EQ(d.undo().limit(), size_t(20) << 20);
    EXPECT_FALSE(list.change({}, "UndoLimit", "21"));
    EXPECT_FALSE(list.change({}, "UndoLimit", "0"));
    EXPECT_TRUE(list.change({}, "UndoLimit", "2"));
    EXPECT_TRUE(list.changedSettings());
    applyDrawingSettings(d, store);
    EXPECT_EQ(d.undo().limit(), size_t(2) << 20);

    const QString missing = dir.filePath("nofont.ttf");
    EXPECT_FALSE(list.change({}, "DwgAlternateFontFile", missing));
    EXPECT_TRUE(user.transcript.contains("is neither a font file nor an installed font"));
    const QString notFont = dir.filePath("notes.ttf");
    QFile f(notFont);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a font");
    f.close();
    EXPECT_FALSE(list.change({}, "DwgAlternateFontFile", notFont));
    EXPECT_TRUE(user.transcript.contains("notes.ttf is not a font file."));
    EXPECT_EQ(store.read(setting::DwgAlternateFontFile), QString());

    // A font file of the system: its family draws the texts whose font is missing.
    const QString dejavu = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";
    ASSERT_TRUE(QFile::exists(dejavu));  // fonts-dejavu-core
    EXPECT_TRUE(list.change({}, "DwgAlternateFontFile", dejavu));
    EXPECT_EQ(cad::alternateFont(), "DejaVu Serif");
    EXPECT_EQ(valueOf(list.load({}), "DwgAlternateFontFile"), dejavu);
    store.write(setting::DwgAlternateFontFile, QString());
    applyDrawingSettings(d, store);
    EXPECT_EQ(cad::alternateFont(), QString());

    // The template new drawings start from: a drawing file of the user's, or empty for the
    // installation's.
    EXPECT_FALSE(list.change({}, "TemplateDrawing", notFont));
    EXPECT_TRUE(user.transcript.contains("notes.ttf is not a drawing file (.dxf)."));
    const QString mine = dir.filePath("mine.dxf");
    ASSERT_TRUE(cad::saveDxf(cad::Document(), mine));
    EXPECT_TRUE(list.change({}, "TemplateDrawing", mine));
    EXPECT_EQ(store.read(setting::TemplateDrawing), mine);
    EXPECT_TRUE(list.change({}, "TemplateDrawing", QString()));
    EXPECT_EQ(store.read(setting::TemplateDrawing), QString());
}

// The search folders: a drawing made elsewhere names its picture by a path of another system
// and its text style by a font file of its own; both are found by name in the folders the user
// gave, in their order. A folder that is not one is refused and nothing changes.
TEST_F(Properties, SupportPathFindsPicturesAndFontsByName) {
    QDir(dir.path()).mkpath("first");
    QDir(dir.path()).mkpath("second");
    const QString first = dir.filePath("first"), second = dir.filePath("second");
    QImage logo(8, 4, QImage::Format_RGB32);
    logo.fill(Qt::red);
    ASSERT_TRUE(logo.save(second + "/Logo.png"));
    ASSERT_TRUE(
        QFile::copy("/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf", second + "/Corporate.ttf"));

    EXPECT_FALSE(list.change({}, "SupportPath", first + ";" + dir.filePath("gone")));
    EXPECT_TRUE(user.transcript.contains("gone is not a folder."));
    EXPECT_EQ(store.read(setting::SupportPath), QString());

    const QString windowsPath = "C:\\Logos\\logo.PNG";
    bool missing = false;
    QString reason;
    EXPECT_TRUE(cad::readPicture(windowsPath, &missing, &reason).isNull());
    EXPECT_TRUE(missing);

    EXPECT_TRUE(list.change({}, "SupportPath", first + " ; " + second));
    EXPECT_EQ(valueOf(list.load({}), "SupportPath"), first + ";" + second);
    EXPECT_EQ(cad::readPicture(windowsPath, &missing, &reason).size(), QSize(8, 4));
    EXPECT_EQ(cad::searchFolderFontFamily("CORPORATE"), "DejaVu Serif");
    // The first folder that has a file of the name gives it.
    ASSERT_TRUE(logo.scaled(2, 2).save(first + "/logo.png"));
    EXPECT_EQ(cad::findInSearchFolders(windowsPath), first + "/logo.png");

    // Taken from the settings by every drawing; a folder gone since is passed over.
    store.write(setting::SupportPath, QString());
    applyDrawingSettings(d, store);
    EXPECT_TRUE(cad::searchFolders().isEmpty());
    EXPECT_EQ(cad::searchFolderFontFamily("corporate"), QString());
    store.write(setting::SupportPath, dir.filePath("gone") + ";" + second);
    applyDrawingSettings(d, store);
    EXPECT_EQ(cad::searchFolders(), QStringList{second});
    store.write(setting::SupportPath, QString());
    applyDrawingSettings(d, store);
}

// ActivePenWidth is the width new polylines (rectangles too) are drawn with; PenWidth edits a
// polyline's width (narrowing segments become one width) and is read-only for other kinds.
TEST_F(Properties, PenWidthsArePolylineWidths) {
    EXPECT_TRUE(list.change({}, "ActivePenWidth", "0.5"));
    EXPECT_EQ(valueOf(list.load({}), "ActivePenWidth"), "0.5");
    EXPECT_FALSE(list.change({}, "ActivePenWidth", "-1"));
    EXPECT_DOUBLE_EQ(d.document().settings().polylineWidth, 0.5);
    cad::Entity poly = cad::Entity::polyline({{{0, 0}, 0}, {{4, 0}, 0}}, false);
    cad::Entity rect = cad::Entity::rect({0, 0}, {2, 2});
    cad::Entity line = cad::Entity::line({0, 0}, {1, 1});
    for (cad::Entity* e : {&poly, &rect, &line}) takeCurrentProperties(d, *e);
    EXPECT_DOUBLE_EQ(poly.detail->width, 0.5);
    EXPECT_DOUBLE_EQ(rect.detail->width, 0.5);
    EXPECT_FALSE(line.detail.isSet());

    poly.detail.edit().vertexWidths = {{0, 2}, {0, 0}};
    const QString hp = d.editor().add(poly), hl = d.editor().add(line);
    QList<PropertyEntry> entries = list.load({hp});
    EXPECT_EQ(valueOf(entries, "PenWidth"), "2");  // the widest
    ASSERT_TRUE(list.change({hp}, "PenWidth", "1.5"));
    const cad::Entity* edited = d.document().find(hp);
    EXPECT_DOUBLE_EQ(edited->detail->width, 1.5);
    EXPECT_TRUE(edited->detail->vertexWidths.isEmpty());
    d.undo().undo();
    EXPECT_EQ(d.document().find(hp)->detail->vertexWidths, QList<QPointF>({{0, 2}, {0, 0}}));

    EXPECT_TRUE(find(list.load({hl}), "PenWidth")->readOnly);
    EXPECT_TRUE(find(list.load({hp, hl}), "PenWidth")->readOnly);
    EXPECT_FALSE(list.change({hp, hl}, "PenWidth", "1"));
    EXPECT_TRUE(user.transcript.contains("only polylines keep a width"));
    EXPECT_EQ(d.document().find(hp)->detail->vertexWidths.size(), 2);
}

// DwgSaveVer is the user's: a DWG release or DXF 2007 is stored, another program's format is
// refused with a message and the setting stays; the camera's lens and the shading of edges
// are kept in the drawing and go out with it.
TEST_F(Properties, SaveReleaseLensAndEdgesAreReal) {
    EXPECT_TRUE(list.change({}, "DwgSaveVer", "5"));
    EXPECT_EQ(store.read(setting::DwgSaveVer), "5");
    EXPECT_TRUE(list.changedSettings());
    EXPECT_FALSE(list.change({}, "DwgSaveVer", "1-VDF - 2.6"));
    EXPECT_TRUE(user.transcript.contains("1-VDF - 2.6 is the format of another"));
    EXPECT_EQ(store.read(setting::DwgSaveVer), "5");
    EXPECT_EQ(valueOf(list.load({}), "DwgSaveVer"), "5-DWG - 13");

    EXPECT_TRUE(list.change({}, "FocalLength", "35"));
    EXPECT_TRUE(list.change({}, "ShowEdge", "1"));
    EXPECT_FALSE(list.change({}, "FocalLength", "0"));
    EXPECT_TRUE(d.modified());
    const cad::Document back = cad::readDxf(cad::writeDxf(d.document()));
    EXPECT_DOUBLE_EQ(back.settings().focalLength, 35);
    EXPECT_EQ(back.settings().shadeEdge, 1);
}
