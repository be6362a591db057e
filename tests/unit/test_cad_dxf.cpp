// DXF reading and writing of the drawing engine: our own round trip, files checked by and
// written with ezdxf (an independent DXF library), and damaged input.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "cad/dxf.h"

using namespace tolvane::cad;

namespace {

XData tolvaneTag(const QString& kind) {
    XData x{QStringLiteral("Tolvanev2"), {}};
    const char* names[] = {"Entity_Type", "DB_Ref_1", "DB_Ref_2", "DB_Ref_3", "DB_Ref_4",
                           "Assoc",       "SRC",      "DST",      "Owner"};
    const QString values[] = {kind, "42", "", "", "", "A1|B2", "RACK 1", "PANEL^2", "Tolvanev2"};
    // "PANEL^2" keeps its caret; "^J" in other values stands for a line break.
    for (int i = 0; i < 9; ++i) x.add(QString::fromLatin1(names[i]), 1000, values[i]);
    return x;
}

Document sampleDocument() {
    Document doc;
    doc.setUnits(4);
    doc.addLayer(Layer{"Cables", 3, "DASHED", true, false, true});
    doc.addLayer(Layer{"Hidden", 5, "CONTINUOUS", false, true, false});
    doc.addLineType(LineType{"DASHED", "Dashed __ __", {0.5, -0.25}});
    doc.addTextStyle(TextStyle{"TL_CABLENO", "arial.ttf", 0.0, 0.8});

    Block& rack = doc.addBlock("RACK_S", QPointF(1, 2));
    doc.add(rack, Entity::line({0, 0}, {10, 0}));
    doc.add(rack, Entity::attributeDefinition({1, 1}, "TL_SYSNAME", "System name", "SYS", 0.25));

    Entity line = Entity::line({0.1, 0.2}, {1.0 / 3.0, 1e6 + 0.125});
    line.layer = "Cables";
    line.color = 1;
    line.xdata.append(tolvaneTag("Cable"));
    doc.addToModel(line);
    Entity poly = Entity::polyline({{{0, 0}, 0.5}, {{5, 0}, 0}, {{5, 5}, -1}}, true);
    poly.lineType = "DASHED";
    poly.lineWeight = 35;
    doc.addToModel(poly);
    doc.addToModel(Entity::circle({3, 4}, 2.5));
    doc.addToModel(Entity::arc({-3, 4}, 1.5, 30, 270));
    doc.addToModel(Entity::ellipse({7, 7}, {4, 0}, 0.5, 0, 3.14159));
    doc.addToModel(Entity::point({9, -9}));
    Entity text = Entity::textAt({2, 2}, "Caf\u00e9 line\nnext", 0.25);
    text.style = "TL_CABLENO";
    text.rotation = 90;
    text.hAlign = 1;
    text.end = {3, 2};
    text.color = kColorByBlock;
    doc.addToModel(text);
    Entity ins = Entity::insert("RACK_S", {20, 30}, 2, 3, 45);
    ins.attributes.push_back(Entity::attribute({21, 31}, "TL_SYSNAME", "Rack A", 0.25));
    ins.attributes.back().xdata.append(tolvaneTag("Attr"));
    ins.xdata.append(tolvaneTag("Equipment"));
    ins.xdata.append(XData{"OTHERAPP", {{"", 1070, "7"}, {"", 1010, "1,2,3"}}});
    doc.addToModel(ins);

    Space& sheet = doc.addLayout("Sheet 1");
    doc.add(sheet, Entity::textAt({10, 10}, "Title", 5));
    return doc;
}

void expectSameEntity(const Entity& a, const Entity& b) {
    SCOPED_TRACE(a.handle.toStdString());
    EXPECT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.handle, b.handle);
    EXPECT_EQ(a.layer, b.layer);
    EXPECT_EQ(a.lineType, b.lineType);
    EXPECT_EQ(a.color, b.color);
    EXPECT_EQ(a.lineWeight, b.lineWeight);
    EXPECT_EQ(a.start, b.start);  // exact: coordinates must round-trip bit for bit
    EXPECT_EQ(a.end, b.end);
    EXPECT_EQ(a.vertices, b.vertices);
    EXPECT_EQ(a.closed, b.closed);
    EXPECT_EQ(a.radius, b.radius);
    EXPECT_EQ(a.startAngle, b.startAngle);
    EXPECT_EQ(a.endAngle, b.endAngle);
    EXPECT_EQ(a.ratio, b.ratio);
    EXPECT_EQ(a.text, b.text);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.rotation, b.rotation);
    EXPECT_EQ(a.style, b.style);
    EXPECT_EQ(a.hAlign, b.hAlign);
    EXPECT_EQ(a.tag, b.tag);
    EXPECT_EQ(a.prompt, b.prompt);
    EXPECT_EQ(a.blockName, b.blockName);
    EXPECT_EQ(a.xScale, b.xScale);
    EXPECT_EQ(a.yScale, b.yScale);
    EXPECT_EQ(a.xdata, b.xdata);
    ASSERT_EQ(a.attributes.size(), b.attributes.size());
    for (size_t i = 0; i < a.attributes.size(); ++i)
        expectSameEntity(a.attributes[i], b.attributes[i]);
}

// Runs an ezdxf script with the file name as argv[1]; returns its output, fails on error.
QString runEzdxf(const QString& script, const QString& file) {
    QProcess p;
    p.setWorkingDirectory(QDir::tempPath());
    p.start("/usr/bin/python3", {"-c", script, file});
    EXPECT_TRUE(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 0) << out.toStdString() << p.readAllStandardError().toStdString();
    return out.trimmed();
}

}  // namespace

TEST(CadDocument, HandlesAreUniqueFoundWithLeadingZeroAndErased) {
    Document doc;
    Entity a = Entity::line({}, {1, 1});
    a.handle = "1ab";
    const QString ha = doc.addToModel(a).handle;
    EXPECT_EQ(ha, "1AB");
    Entity dup = Entity::point({});
    dup.handle = "1AB";
    const QString hd = doc.addToModel(dup).handle;
    EXPECT_NE(hd, ha);
    EXPECT_GT(doc.handleSeed(), 0x1ABu);
    ASSERT_NE(doc.find("01ab"), nullptr);
    EXPECT_EQ(doc.find("01ab")->kind, EntityKind::Line);
    EXPECT_EQ(doc.find("zz"), nullptr);
    EXPECT_TRUE(doc.erase(ha));
    EXPECT_EQ(doc.find(ha), nullptr);
    EXPECT_FALSE(doc.erase(ha));

    XData x = XData{"Tolvanev2", {}};
    x.add("DB_Ref_1", 1000, "5");
    EXPECT_TRUE(x.setValue("db_ref_1", "6"));
    EXPECT_EQ(x.item("DB_REF_1")->value, "6");
    EXPECT_FALSE(x.setValue("nope", "1"));
}

TEST(CadDxf, OwnRoundTripKeepsEveryEntityKind) {
    const Document doc = sampleDocument();
    QTemporaryDir dir;
    const QString path = dir.filePath("a.dxf");
    saveDxf(doc, path);
    const Document back = loadDxf(path);

    ASSERT_EQ(back.modelSpace().entities.size(), doc.modelSpace().entities.size());
    for (size_t i = 0; i < doc.modelSpace().entities.size(); ++i)
        expectSameEntity(doc.modelSpace().entities[i], back.modelSpace().entities[i]);
    ASSERT_EQ(back.layouts().size(), 1u);
    EXPECT_EQ(back.layouts()[0].name, "Sheet 1");
    ASSERT_EQ(back.layouts()[0].entities.size(), 1u);
    expectSameEntity(doc.layouts()[0].entities[0], back.layouts()[0].entities[0]);

    const Block* rack = back.block("rack_s");
    ASSERT_NE(rack, nullptr);
    EXPECT_EQ(rack->base, QPointF(1, 2));
    ASSERT_EQ(rack->entities.size(), 2u);
    expectSameEntity(doc.block("RACK_S")->entities[1], rack->entities[1]);

    const Layer* cables = back.layer("Cables");
    ASSERT_NE(cables, nullptr);
    EXPECT_EQ(cables->color, 3);
    EXPECT_EQ(cables->lineType, "DASHED");
    EXPECT_TRUE(cables->locked);
    const Layer* hidden = back.layer("Hidden");
    ASSERT_NE(hidden, nullptr);
    EXPECT_FALSE(hidden->on);
    EXPECT_TRUE(hidden->frozen);
    ASSERT_NE(back.lineType("DASHED"), nullptr);
    EXPECT_EQ(back.lineType("DASHED")->pattern, (QList<double>{0.5, -0.25}));
    ASSERT_NE(back.textStyle("TL_CABLENO"), nullptr);
    EXPECT_EQ(back.textStyle("TL_CABLENO")->widthFactor, 0.8);
    EXPECT_EQ(back.units(), 4);

    // Handles stay, and new ones never collide with them.
    const QString insertHandle = doc.modelSpace().entities.back().handle;
    ASSERT_NE(back.find(insertHandle), nullptr);
    EXPECT_EQ(back.find(insertHandle)->attribute("tl_sysname")->text, "Rack A");
    Document again = back;
    const QString fresh = again.addToModel(Entity::point({})).handle;
    EXPECT_EQ(doc.find(fresh), nullptr);

    // A second save of the reloaded document reads back identically.
    const Document third = readDxf(writeDxf(back));
    ASSERT_EQ(third.modelSpace().entities.size(), doc.modelSpace().entities.size());
    for (size_t i = 0; i < doc.modelSpace().entities.size(); ++i)
        expectSameEntity(doc.modelSpace().entities[i], third.modelSpace().entities[i]);
}

TEST(CadDxf, EzdxfAuditsAndReadsOurFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ours.dxf");
    saveDxf(sampleDocument(), path);
    const QString out = runEzdxf(R"(
import sys, ezdxf
doc = ezdxf.readfile(sys.argv[1])
auditor = doc.audit()
assert not auditor.has_errors, [str(e.message) for e in auditor.errors]
msp = doc.modelspace()
counts = {t: len(msp.query(t)) for t in ("LINE", "LWPOLYLINE", "CIRCLE", "ARC", "ELLIPSE", "POINT", "TEXT", "INSERT")}
assert all(c == 1 for c in counts.values()), counts
ins = msp.query("INSERT")[0]
assert ins.get_attrib_text("TL_SYSNAME") == "Rack A"
assert ins.dxf.xscale == 2 and ins.dxf.rotation == 45
tags = ins.get_xdata("Tolvanev2")
values = [v for c, v in tags if c == 1000]
assert values[-2:] == ["Owner", "Tolvanev2"], values
assert [v for c, v in tags if c == 1002].count("{") == 9
assert "PANEL^2" in values and "Equipment" in values
assert msp.query("TEXT")[0].dxf.text.startswith("Caf\u00e9 line")
assert msp.query("LWPOLYLINE")[0].get_points("xyb")[0][2] == 0.5
assert doc.layouts.get("Sheet 1") is not None
assert len(doc.blocks.get("RACK_S").query("ATTDEF")) == 1
print("ok")
)",
                                 path);
    EXPECT_EQ(out, "ok");
}

TEST(CadDxf, ReadsWhatEzdxfWrites) {
    for (const char* version : {"R2000", "R2010"}) {
        SCOPED_TRACE(version);
        QTemporaryDir dir;
        const QString path = dir.filePath("theirs.dxf");
        runEzdxf(QString(R"(
import sys, ezdxf
doc = ezdxf.new("%1")
doc.appids.new("Tolvanev2")
doc.layers.add("Wires", color=2)
msp = doc.modelspace()
msp.add_line((0, 0), (3, 4), dxfattribs={"layer": "Wires"})
msp.add_lwpolyline([(0, 0, 0, 0, 0.25), (10, 0, 0, 0, 0), (10, 10)], format="xyseb", close=True)
msp.add_circle((1, 1), 2)
msp.add_arc((2, 2), 3, 10, 200)
msp.add_text("Hello \u00c5", dxfattribs={"height": 0.5, "insert": (4, 5)})
blk = doc.blocks.new("JACK_S", base_point=(1, 1))
blk.add_line((0, 0), (1, 0))
blk.add_attdef("TL_NAME", (0, 1), dxfattribs={"height": 0.2})
ins = msp.add_blockref("JACK_S", (5, 5))
ins.add_attrib("TL_NAME", "J1", (5, 6))
ins.set_xdata("Tolvanev2", [(1000, "Jack"), (1000, "7"), (1000, "Tolvanev2")])
doc.layouts.new("Plan")
doc.saveas(sys.argv[1])
)")
                     .arg(version),
                 path);
        const Document doc = loadDxf(path);
        const auto& ents = doc.modelSpace().entities;
        ASSERT_EQ(ents.size(), 6u);
        EXPECT_EQ(ents[0].kind, EntityKind::Line);
        EXPECT_EQ(ents[0].layer, "Wires");
        EXPECT_EQ(ents[0].end, QPointF(3, 4));
        EXPECT_EQ(doc.layer("Wires")->color, 2);
        ASSERT_EQ(ents[1].kind, EntityKind::Polyline);
        EXPECT_TRUE(ents[1].closed);
        ASSERT_EQ(ents[1].vertices.size(), 3);
        EXPECT_EQ(ents[1].vertices[0].bulge, 0.25);
        EXPECT_EQ(ents[2].kind, EntityKind::Circle);
        EXPECT_EQ(ents[2].radius, 2.0);
        EXPECT_EQ(ents[3].kind, EntityKind::Arc);
        EXPECT_EQ(ents[3].endAngle, 200.0);
        EXPECT_EQ(ents[4].text, QString::fromUtf8("Hello \u00c5"));
        EXPECT_EQ(ents[4].start, QPointF(4, 5));
        const Entity& ins = ents[5];
        ASSERT_EQ(ins.kind, EntityKind::Insert);
        ASSERT_NE(ins.attribute("TL_NAME"), nullptr);
        EXPECT_EQ(ins.attribute("TL_NAME")->text, "J1");
        ASSERT_NE(ins.xdataFor("Tolvanev2"), nullptr);
        EXPECT_EQ(ins.xdataFor("Tolvanev2")->count(), 3);
        EXPECT_EQ(ins.xdataFor("Tolvanev2")->items[2].value, "Tolvanev2");
        const Block* jack = doc.block("JACK_S");
        ASSERT_NE(jack, nullptr);
        EXPECT_EQ(jack->base, QPointF(1, 1));
        ASSERT_EQ(jack->entities.size(), 2u);
        EXPECT_EQ(jack->entities[1].tag, "TL_NAME");
        bool plan = false;
        for (const Space& s : doc.layouts()) plan = plan || s.name == "Plan";
        EXPECT_TRUE(plan);
        EXPECT_NE(doc.find(ins.handle), nullptr);
        // What we read, we write back in a form ezdxf accepts.
        saveDxf(doc, path);
        EXPECT_EQ(runEzdxf("import sys, ezdxf\nd = ezdxf.readfile(sys.argv[1])\n"
                           "assert not d.audit().has_errors\n"
                           "print(len(d.modelspace()))",
                           path),
                  "6");
    }
}

TEST(CadDxf, UnknownEntitiesPassThroughUnchanged) {
    Document doc;
    Entity mtext;
    mtext.kind = EntityKind::Other;
    mtext.typeName = "MTEXT";
    mtext.groups = {{100, "AcDbEntity"}, {8, "0"},  {100, "AcDbMText"}, {10, "1"},
                    {20, "2"},           {30, "0"}, {40, "0.5"},        {1, "multi \\Pline"}};
    mtext.xdata.append(tolvaneTag("Note"));
    const QString h = doc.addToModel(mtext).handle;
    const Document back = readDxf(writeDxf(doc));
    const Entity* e = back.find(h);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->kind, EntityKind::Other);
    EXPECT_EQ(e->typeName, "MTEXT");
    EXPECT_EQ(e->groups, mtext.groups);
    EXPECT_EQ(e->xdata, mtext.xdata);
}

TEST(CadDxf, DamagedInputIsRefusedWithALineNumber) {
    const QByteArray good = writeDxf(sampleDocument());
    // Every truncation point ends in an error, never a crash.
    for (qsizetype cut = 0; cut < good.size() - 8; cut += 97) {
        try {
            readDxf(good.left(cut));
            ADD_FAILURE() << "truncated at " << cut << " was accepted";
        } catch (const DxfError&) {
        }
    }
    auto expectError = [](const QByteArray& data, const char* what) {
        SCOPED_TRACE(what);
        try {
            readDxf(data);
            ADD_FAILURE() << "accepted";
        } catch (const DxfError& e) {
            EXPECT_FALSE(e.reason().isEmpty());
        }
    };
    QByteArray badCode = good;
    badCode.replace("AcDbLine\n 10\n", "AcDbLine\nxx\n");
    expectError(badCode, "non-numeric group code");
    QByteArray outOfRange = good;
    outOfRange.replace("AcDbLine\n 10\n", "AcDbLine\n5000\n");
    expectError(outOfRange, "group code out of range");
    expectError("garbage\x01\x02\xff", "garbage");
    expectError(QByteArray(), "empty");
    expectError("AutoCAD Binary DXF\r\n\x1a", "binary");
    QByteArray huge = good;
    huge.replace("AcDbPolyline\n 90\n3\n", "AcDbPolyline\n 90\n2000000000\n");
    ASSERT_NE(huge, good);
    expectError(huge, "enormous vertex count");
    QByteArray nan = good;
    nan.replace("AcDbCircle\n 10\n3.0\n", "AcDbCircle\n 10\nnan\n");
    ASSERT_NE(nan, good);
    expectError(nan, "not a number");
    QByteArray big = good;
    big.replace("AcDbCircle\n 10\n3.0\n", "AcDbCircle\n 10\n1e300\n");
    expectError(big, "huge coordinate");

    try {
        readDxf("  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n 10\nabc\n");
        FAIL();
    } catch (const DxfError& e) {
        EXPECT_EQ(e.line(), 8);
    }
}
