// Drawings written as older DXF releases (R12, R13, R14, R2000) and read back, what each
// release could not hold as the writer reports it, and the widths of polylines, the camera's
// lens and the shading of edges as files keep them.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "cad/dxf.h"

using namespace tolvane::cad;

namespace {

constexpr DxfVersion kReleases[] = {DxfVersion::R12, DxfVersion::R13, DxfVersion::R14,
                                    DxfVersion::R2000, DxfVersion::R2007};

// A drawing with what every release holds: polylines with bulges and widths (constant, and
// narrowing along a segment), texts beyond any code page, an insert with an attribute.
Document holdable() {
    Document doc;
    doc.addLayer(Layer{QStringLiteral("Cables"), 3});
    DrawingSettings& set = doc.settings();
    set.polylineWidth = 0.7;
    set.focalLength = 35;
    set.shadeEdge = 1;
    Entity wide = Entity::polyline({{{0, 0}, 0.5}, {{10, 0}, 0}, {{10, 5}, 0}}, false);
    wide.detail.edit().width = 1.25;
    wide.layer = QStringLiteral("Cables");
    wide.color = 5;
    doc.addToModel(wide);
    Entity arrow = Entity::polyline({{{0, 10}, 0}, {{8, 10}, 0}, {{10, 10}, 0}}, true);
    arrow.detail.edit().vertexWidths = {{0, 0}, {2, 0}, {0.5, 0.5}};
    doc.addToModel(arrow);
    doc.addToModel(Entity::polyline({{{0, 20}, 0}, {{5, 25}, 0}}, false));  // no width
    doc.addToModel(
        Entity::textAt({1, 1}, QStringLiteral("Caf\u00e9 \u03a9 \u4e2d \\U+0041 ^x"), 2));
    Block& b = doc.addBlock(QStringLiteral("RACK"));
    doc.add(b, Entity::line({0, 0}, {1, 1}));
    Entity ins = Entity::insert(QStringLiteral("RACK"), {30, 30});
    ins.attributes.push_back(
        Entity::attribute({30, 31}, QStringLiteral("TAG"), QStringLiteral("A\u00b5\u20ac"), 1));
    doc.addToModel(ins);
    doc.add(doc.addLayout(QStringLiteral("Sheet")), Entity::textAt({5, 5}, QStringLiteral("T"), 3));
    return doc;
}

// A DXF file from groups written "code value", separated by "|".
QByteArray dxfOf(std::initializer_list<const char*> records) {
    QByteArray out;
    for (const char* record : records) {
        for (const QByteArray& group : QByteArray(record).split('|')) {
            const qsizetype space = group.indexOf(' ');
            out += group.left(space) + '\n' + group.mid(space + 1) + '\n';
        }
    }
    return out;
}

// Whether /usr/bin/python3 has ezdxf (installed by scripts/deps.sh).
bool haveEzdxf() {
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QStringLiteral("import ezdxf")});
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

}  // namespace

// Another program's wide polylines (a constant width, widths per vertex, and the POLYLINE of
// older files with its default widths) keep their widths through our reading; written again,
// a 3D polyline among them passes through.
TEST(CadDxfWidths, WidePolylinesOfOtherProgramsKeepTheirWidths) {
    // One record a line: its groups as "code value", separated by "|".
    const QByteArray file = dxfOf({
        "0 SECTION|2 HEADER|9 $ACADVER|1 AC1015|9 $PLINEWID|40 0.35|9 $SHADEDGE|70 2",
        "0 ENDSEC",
        "0 SECTION|2 TABLES",
        "0 TABLE|2 VPORT",
        "0 VPORT|2 *ACTIVE|70 0|42 85.0",
        "0 ENDTAB",
        "0 ENDSEC",
        "0 SECTION|2 ENTITIES",
        "0 LWPOLYLINE|5 A0|8 0|90 2|70 0|43 2.5|10 0.0|20 0.0|10 10.0|20 0.0",
        "0 LWPOLYLINE|5 A1|8 0|90 3|70 1|10 0.0|20 5.0|40 1.0|41 3.0|10 5.0|20 5.0|42 0.25|10 "
        "5.0|20 9.0|40 0.5|41 0.5",
        "0 POLYLINE|5 A2|8 WIRES|62 3|66 1|10 0.0|20 0.0|30 0.0|70 1|40 0.75|41 0.75",
        "0 VERTEX|5 A3|8 WIRES|10 1.0|20 2.0|42 -0.5",
        "0 VERTEX|5 A4|8 WIRES|10 3.0|20 4.0|40 0.0|41 1.5",
        "0 SEQEND|5 A5|8 WIRES",
        "0 POLYLINE|5 A6|8 0|66 1|70 8",
        "0 VERTEX|5 A7|8 0|10 1.0|20 2.0|30 3.0|70 32",
        "0 SEQEND|5 A8|8 0",
        "0 ENDSEC",
        "0 EOF",
    });
    const Document read = readDxf(file);
    EXPECT_DOUBLE_EQ(read.settings().polylineWidth, 0.35);
    EXPECT_EQ(read.settings().shadeEdge, 2);
    EXPECT_DOUBLE_EQ(read.settings().focalLength, 85.0);

    const Entity* constant = read.find(QStringLiteral("A0"));
    ASSERT_TRUE(constant);
    EXPECT_DOUBLE_EQ(constant->detail->width, 2.5);
    EXPECT_TRUE(constant->detail->vertexWidths.isEmpty());

    const Entity* varying = read.find(QStringLiteral("A1"));
    ASSERT_TRUE(varying);
    // A vertex without widths of its own is the constant width (none here).
    EXPECT_EQ(varying->detail->vertexWidths, QList<QPointF>({{1, 3}, {0, 0}, {0.5, 0.5}}));
    EXPECT_DOUBLE_EQ(varying->vertices[1].bulge, 0.25);

    // The flat POLYLINE is a polyline: the head's widths for a vertex without its own.
    const Entity* heavy = read.find(QStringLiteral("A2"));
    ASSERT_TRUE(heavy);
    EXPECT_EQ(heavy->kind, EntityKind::Polyline);
    EXPECT_EQ(heavy->layer, QStringLiteral("WIRES"));
    EXPECT_EQ(heavy->color, 3);
    EXPECT_TRUE(heavy->closed);
    ASSERT_EQ(heavy->vertices.size(), 2);
    EXPECT_EQ(heavy->vertices[1].pos, QPointF(3, 4));
    EXPECT_DOUBLE_EQ(heavy->vertices[0].bulge, -0.5);
    EXPECT_EQ(heavy->detail->vertexWidths, QList<QPointF>({{0.75, 0.75}, {0, 1.5}}));
    // A 3D polyline has no place among ours and is kept as it was read.
    const Entity* threeD = read.find(QStringLiteral("A6"));
    ASSERT_TRUE(threeD);
    EXPECT_EQ(threeD->kind, EntityKind::Other);

    // Written in every release and form, the 3D polyline passes through (the widths come back as
    // CadDxfReleases.EveryReleaseReadsBackWhatItHolds checks them, read or made alike).
    for (DxfVersion version : kReleases) {
        for (DxfFormat format : {DxfFormat::Ascii, DxfFormat::Binary}) {
            const Document again = readDxf(writeDxf(read, format, version));
            const Entity* passed = again.find(QStringLiteral("A6"));
            ASSERT_TRUE(passed) << dxfReleaseName(version).toStdString() << int(format);
            EXPECT_EQ(passed->kind, EntityKind::Other);
        }
    }
}

// Every release, ASCII and binary, reads back with the entities, handles, texts (in the code
// page with escapes before R2007) and widths it was written with, and says it is that release.
TEST(CadDxfReleases, EveryReleaseReadsBackWhatItHolds) {
    const Document doc = holdable();
    for (DxfVersion version : kReleases) {
        for (DxfFormat format : {DxfFormat::Ascii, DxfFormat::Binary}) {
            SCOPED_TRACE(dxfReleaseName(version).toStdString() +
                         (format == DxfFormat::Binary ? " binary" : " ascii"));
            DxfAudit lost;
            const QByteArray bytes = writeDxf(doc, format, version, &lost);
            EXPECT_TRUE(bytes.contains(dxfVersionCode(version).toLatin1()));
            // Older releases are in a code page: nothing beyond 0xFF goes as it is.
            if (format == DxfFormat::Ascii && version != DxfVersion::R2007) {
                EXPECT_FALSE(bytes.contains(QStringLiteral("\u4e2d").toUtf8()));
                EXPECT_TRUE(bytes.contains("\\U+4E2D"));
            }
            EXPECT_EQ(lost.dropped, 0) << lost.lines.join('\n').toStdString();
            DxfAudit audit;
            const Document back = readDxf(bytes, &audit);
            EXPECT_EQ(audit.format, format);
            EXPECT_EQ(audit.dropped, 0) << audit.lines.join('\n').toStdString();
            ASSERT_EQ(back.modelSpace().entities.size(), doc.modelSpace().entities.size());
            for (size_t i = 0; i < doc.modelSpace().entities.size(); ++i) {
                const Entity& a = doc.modelSpace().entities[i];
                const Entity& b = back.modelSpace().entities[i];
                SCOPED_TRACE(a.handle.toString().toStdString());
                EXPECT_EQ(b.kind, a.kind);
                EXPECT_EQ(b.handle, a.handle);
                EXPECT_EQ(b.layer, a.layer);
                EXPECT_EQ(b.color, a.color);
                EXPECT_EQ(b.vertices, a.vertices);
                EXPECT_EQ(b.closed, a.closed);
                EXPECT_EQ(b.text, a.text);
                EXPECT_DOUBLE_EQ(b.detail->width, a.detail->width);
                EXPECT_EQ(b.detail->vertexWidths, a.detail->vertexWidths);
                ASSERT_EQ(b.attributes.size(), a.attributes.size());
                for (size_t k = 0; k < a.attributes.size(); ++k)
                    EXPECT_EQ(b.attributes[k].text, a.attributes[k].text);
            }
            ASSERT_TRUE(back.block(QStringLiteral("RACK")));
            EXPECT_EQ(back.block(QStringLiteral("RACK"))->entities.size(), 1u);
            ASSERT_EQ(back.layouts().size(), 1u);
            ASSERT_EQ(back.layouts()[0].entities.size(), 1u);
            EXPECT_EQ(back.layouts()[0].entities[0].text, QStringLiteral("T"));
            EXPECT_DOUBLE_EQ(back.settings().polylineWidth, 0.7);
            EXPECT_DOUBLE_EQ(back.settings().focalLength, 35);
            EXPECT_EQ(back.settings().shadeEdge, 1);
        }
    }
}

// What a release cannot hold is converted where it has the same thing in another form and
// left out otherwise, each kind of loss a line with its count; R2007 and R2000 lose nothing
// of these, and a drawing saved with losses still opens.
TEST(CadDxfReleases, WhatAReleaseCannotHoldIsConvertedOrDroppedAndSaid) {
    Document doc;
    doc.addToModel(Entity::ellipse({0, 0}, {4, 0}, 0.5, 0, 6.283185307179586));   // true ellipse
    doc.addToModel(Entity::ellipse({0, 0}, {0, 3}, 1.0, 0, 6.283185307179586));   // a circle
    doc.addToModel(Entity::ellipse({0, 0}, {0, 3}, 1.0, 0, 1.5707963267948966));  // an arc
    Entity weighted = Entity::line({0, 0}, {1, 0});
    weighted.lineWeight = 50;
    doc.addToModel(weighted);
    doc.addToModel(Entity::image(QStringLiteral("/tmp/none.png"), QSize(10, 10), {0, 0}, 5));
    Entity light = Entity::polyline({{{0, 0}, 0}, {{1, 1}, 0}}, false);
    doc.addToModel(light);
    doc.settings().lineWeight = 25;
    doc.add(doc.addLayout(QStringLiteral("One")), Entity::line({0, 0}, {1, 1}));
    Space& two = doc.addLayout(QStringLiteral("Two"));
    doc.add(two, Entity::line({0, 0}, {2, 2}));
    doc.add(two, Entity::viewport({100, 100}, 50, 40, {0, 0}, 20));

    const auto lost = [&](DxfVersion v) {
        DxfAudit audit;
        writeDxf(doc, DxfFormat::Ascii, v, &audit);
        return audit;
    };
    const auto said = [](const DxfAudit& a, const char* text) {
        return std::any_of(a.lines.begin(), a.lines.end(),
                           [&](const QString& l) { return l.contains(QLatin1String(text)); });
    };

    const DxfAudit r12 = lost(DxfVersion::R12);
    EXPECT_TRUE(said(r12, "1 ellipse(s) dropped")) << r12.lines.join('\n').toStdString();
    EXPECT_TRUE(said(r12, "2 circular ellipse(s) written as circles or arcs"));
    EXPECT_TRUE(said(r12, "1 image(s) dropped"));
    EXPECT_TRUE(said(r12, "the lineweight of 1 entities dropped"));
    EXPECT_TRUE(said(r12, "the lineweight of new entities dropped"));
    EXPECT_TRUE(said(r12, "1 sheet(s) beyond the first dropped"));
    EXPECT_TRUE(said(r12, "1 light polyline(s) written as POLYLINE"));
    // The second sheet's viewport went with its sheet: nothing else counted of it.
    EXPECT_TRUE(said(r12, "the sheet \"One\" written without its name"));
    EXPECT_EQ(r12.dropped, 5);
    EXPECT_EQ(r12.changed, 4);
    const Document r12back = readDxf(writeDxf(doc, DxfFormat::Ascii, DxfVersion::R12));
    ASSERT_EQ(r12back.modelSpace().entities.size(), 4u);
    EXPECT_EQ(r12back.modelSpace().entities[0].kind, EntityKind::Circle);
    EXPECT_DOUBLE_EQ(r12back.modelSpace().entities[0].radius, 3);
    const Entity& arc = r12back.modelSpace().entities[1];
    EXPECT_EQ(arc.kind, EntityKind::Arc);
    EXPECT_NEAR(arc.startAngle, 90, 1e-9);  // the major axis points up
    EXPECT_NEAR(arc.endAngle, 180, 1e-9);
    EXPECT_EQ(r12back.modelSpace().entities[2].lineWeight, -1);
    EXPECT_EQ(r12back.modelSpace().entities[3].kind, EntityKind::Polyline);

    const DxfAudit r14 = lost(DxfVersion::R14);
    EXPECT_FALSE(said(r14, "image"));  // R14 has raster images
    EXPECT_FALSE(said(r14, "ellipse"));
    EXPECT_FALSE(said(r14, "POLYLINE"));
    EXPECT_TRUE(said(r14, "the lineweight of 1 entities dropped"));
    EXPECT_TRUE(said(r14, "1 sheet(s) beyond the first dropped"));
    EXPECT_TRUE(said(lost(DxfVersion::R13), "1 image(s) dropped"));
    EXPECT_TRUE(said(lost(DxfVersion::R13), "1 light polyline(s) written as POLYLINE"));

    for (DxfVersion v : {DxfVersion::R2000, DxfVersion::R2007}) {
        const DxfAudit none = lost(v);
        EXPECT_TRUE(none.lines.isEmpty()) << none.lines.join('\n').toStdString();
        EXPECT_EQ(none.summary(), QStringLiteral("nothing dropped or changed"));
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.dxf"));
    DxfAudit saved;
    ASSERT_TRUE(saveDxf(doc, path, {}, DxfFormat::Binary, DxfVersion::R12, &saved));
    EXPECT_EQ(saved.dropped, r12.dropped);
    EXPECT_EQ(loadDxf(path).modelSpace().entities.size(), 4u);
}

// Another reader takes every release we write: ezdxf opens it, its audit finds no error, and
// it sees the widths we wrote.
TEST(CadDxfReleases, EzdxfAuditsEveryRelease) {
    if (!haveEzdxf()) GTEST_SKIP() << "ezdxf is not installed";
    QTemporaryDir dir;
    const Document doc = holdable();
    for (DxfVersion version : kReleases) {
        for (DxfFormat format : {DxfFormat::Ascii, DxfFormat::Binary}) {
            const QString name =
                dxfReleaseName(version) +
                (format == DxfFormat::Binary ? QStringLiteral("-bin") : QStringLiteral("-ascii"));
            SCOPED_TRACE(name.toStdString());
            const QString path = dir.filePath(name + QStringLiteral(".dxf"));
            ASSERT_TRUE(saveDxf(doc, path, {}, format, version));
            QProcess p;
            p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral(R"py(
import re, sys, ezdxf
doc = ezdxf.readfile(sys.argv[1])
auditor = doc.audit()
assert not auditor.has_errors, [str(e.message) for e in auditor.errors]
msp = doc.modelspace()
widths = []
for e in msp:
    if e.dxftype() == "LWPOLYLINE":
        widths.append(float(round(max(max(p[2], p[3]) for p in e.get_points("xyseb")) if e.dxf.const_width == 0 else e.dxf.const_width, 6)))
    elif e.dxftype() == "POLYLINE":
        widths.append(float(round(max(max(v.dxf.start_width, v.dxf.end_width) for v in e.vertices) if e.vertices[0].dxf.hasattr("start_width") else e.dxf.default_start_width, 6)))
text = msp.query("TEXT")[0].dxf.text
if doc.dxfversion < "AC1018":  # a code page: \\U+XXXX for what is beyond it
    text = re.sub(r"\\U\+([0-9A-F]{4})", lambda m: chr(int(m.group(1), 16)), text)
print(doc.dxfversion, widths, text)
)py"),
                                                         path});
            ASSERT_TRUE(p.waitForFinished(120000));
            const QString out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
            EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
            EXPECT_TRUE(out.startsWith(dxfVersionCode(version)) ||
                        (version == DxfVersion::R13 || version == DxfVersion::R14))
                << out.toStdString();
            EXPECT_TRUE(out.contains(QStringLiteral("[1.25, 2.0, 0.0]"))) << out.toStdString();
            EXPECT_TRUE(out.contains(QStringLiteral("Caf\u00e9 \u03a9 \u4e2d")))
                << out.toStdString();
        }
    }
}
