// DXF reading and writing of the drawing engine: our own round trip, files checked by and
// written with ezdxf (an independent DXF library), and damaged input.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <array>
#include <atomic>
#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <functional>
#include <random>
#include <thread>
#include <unordered_map>

#include "../../bench/wiring_sheet.h"
#include "cad/dxf.h"
#include "cad/editing.h"
#include "cad/geometry.h"
#include "cad/handle_map.h"
#include "cad/heap_pages.h"

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
    DrawingSettings& set = doc.settings();
    set.color = 3;
    set.textStyle = "TL_CABLENO";
    set.textHeight = 0.18;
    set.precision = 2;
    set.limitsMax = {841, 594};
    set.pointMode = 3 | 32;
    set.pointSize = 0.5;

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

// Every kind added after the first slice, each with our extended data and another
// program's, in model space and on a sheet.
Document newKindsDocument() {
    Document doc;
    doc.addTextStyle(TextStyle{"DIMTEXT", "romans.shx", 0.0, 0.9});
    doc.addDimStyle(DimStyle{"Narrow", 1.8, 1.2, 0.5, 0.75, "DIMTEXT", 1});
    auto tagged = [](Entity e, const char* kind) {
        e.xdata.append(tolvaneTag(kind));
        e.xdata.append(XData{"OTHERAPP", {{"", 1070, "7"}, {"", 1000, "keep me"}}});
        return e;
    };
    Entity lin = Entity::linearDimension({0, 0}, {10, 3}, {0, -5}, 0);
    lin.style = "Narrow";
    lin.text = "<> mm";
    doc.addToModel(tagged(lin, "Dim"));
    doc.addToModel(tagged(Entity::linearDimension({20, 0}, {21, 8}, {25, 0}, 90), "Dim"));
    doc.addToModel(tagged(Entity::alignedDimension({0, 10}, {6, 18}, {-2, 20}), "Dim"));
    doc.addToModel(tagged(Entity::radiusDimension({40, 0}, {43, 4}), "Dim"));
    doc.addToModel(tagged(Entity::diameterDimension({40, 20}, {45, 20}), "Dim"));
    Entity ang = Entity::angularDimension({60, 0}, {70, 0}, {60, 10}, {66, 6});
    ang.text = "right";
    doc.addToModel(tagged(ang, "Dim"));
    Entity two = Entity::angularDimension({80, 0}, {90, 0}, {80, 10}, {86, 6});
    two.detail.edit().dimType = DimensionType::Angular;  // the same angle given by two lines
    two.detail.edit().dimPoints = {QPointF(80, 0), QPointF(90, 0), QPointF(80, 0), QPointF(86, 6)};
    two.start = {80, 10};
    doc.addToModel(tagged(two, "Dim"));
    Entity img = Entity::image("photos/rack front.png", QSize(640, 480), {100, 0}, 32);
    img.detail.edit().imageFlags = ImageShow | ImageHideFrame;
    doc.addToModel(tagged(img, "Picture"));
    doc.addToModel(
        tagged(Entity::image("photos/rack front.png", QSize(640, 480), {140, 0}, 16), "Picture"));
    doc.addToModel(
        tagged(Entity::face3d({0, 40, 0}, {10, 40, 1}, {10, 50, 2.5}, {0, 50, 0}, 2 | 8), "Face"));
    doc.addToModel(tagged(Entity::box({20, 40, 0}, 4, 3, 2), "Box"));
    doc.addToModel(tagged(Entity::cone({40, 40, 0}, 5, 2, 0, 12), "Cone"));
    doc.addToModel(tagged(Entity::sphere({60, 40, 1}, 3, 8), "Ball"));
    Entity disc = Entity::circle({0, 70}, 4);
    disc.detail.edit().fillMode = FillSolid;
    disc.detail.edit().fillColor = 5;
    doc.addToModel(tagged(disc, "Disc"));
    Entity rect = Entity::rect({10, 60}, {20, 65});
    rect.detail.edit().fillMode = FillCross;
    rect.detail.edit().fillColor = 1;
    rect.detail.edit().fillBkColor = 7;
    rect.detail.edit().hatchAngle = 30;
    rect.detail.edit().hatchScale = 0.5;
    doc.addToModel(tagged(rect, "Panel"));
    Entity arc = Entity::arc({30, 70}, 3, 0, 180);
    arc.detail.edit().fillMode = FillBackwardDiagonal;
    doc.addToModel(tagged(arc, "Arc"));
    Entity oval = Entity::ellipse({45, 70}, {5, 0}, 0.5, 0, 2 * M_PI);
    oval.detail.edit().fillMode = FillSolid;
    doc.addToModel(tagged(oval, "Oval"));
    Space& sheet = doc.addLayout("Sheet 1");
    Entity vp = Entity::viewport({150, 100}, 200, 120, {30, 20}, 60);
    vp.detail.edit().viewportId = 3;
    doc.add(sheet, tagged(vp, "View"));
    doc.add(sheet, Entity::textAt({10, 10}, "Title", 5));
    return doc;
}

// Every field of an entity but its attributes, by name and as bytes: doubles bit for bit, a
// null string as an empty one.
class Fields {
  public:
    std::vector<std::pair<std::string, QByteArray>> list;
    template <typename... T>
    void add(const char* names, const T&... values) {
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        (put(out, values), ...);
        list.emplace_back(names, bytes);
    }

  private:
    static void put(QDataStream& out, const QString& s) {
        out << qint64(s.size());
        out.writeRawData(reinterpret_cast<const char*>(s.utf16()), int(s.size() * 2));
    }
    static void put(QDataStream& out, Handle h) { put(out, h.toString()); }
    static void put(QDataStream& out, const Vertex& v) { out << v.pos << v.bulge; }
    static void put(QDataStream& out, const Point3& p) { out << p.x << p.y << p.z; }
    static void put(QDataStream& out, const MeshFace& m) { put(out, m.index); }
    static void put(QDataStream& out, const RawGroup& g) {
        out << g.code;
        put(out, g.value);
    }
    static void put(QDataStream& out, const XDataItem& i) {
        put(out, i.name);
        out << i.code;
        put(out, i.value);
    }
    static void put(QDataStream& out, const XData& x) {
        put(out, x.app);
        put(out, x.items);
    }
    template <typename T>
    static void put(QDataStream& out, const QList<T>& list) {
        out << qint64(list.size());
        for (const T& t : list) put(out, t);
    }
    template <typename T, size_t N>
    static void put(QDataStream& out, const std::array<T, N>& a) {
        for (const T& t : a) put(out, t);
    }
    template <typename T>
    static void put(QDataStream& out, const T& v) {
        out << v;
    }
};

#define FIELDS(...) f.add(#__VA_ARGS__, __VA_ARGS__)
Fields fieldsOf(const Entity& e) {
    Fields f;
    const EntityDetail& d = *e.detail;
    FIELDS(int(e.kind), entityTypeName(e), e.handle, e.layer, e.lineType, e.color, e.lineWeight);
    FIELDS(e.start, e.end, e.vertices, e.closed, e.rectangle, d.width, d.vertexWidths);
    FIELDS(e.radius, e.startAngle, e.endAngle, e.ratio);
    FIELDS(e.text, e.height, e.rotation, e.style, e.hAlign, e.vAlign, e.tooltip);
    FIELDS(e.tag, d.prompt, e.attributeFlags, e.blockName, e.xScale, e.yScale);
    FIELDS(int(d.dimType), d.dimPoints);
    FIELDS(d.fileName, d.pixelSize, d.uVector, d.vVector, d.imageFlags);
    FIELDS(d.points3, d.faces, d.edgeFlags);
    FIELDS(d.viewCentre, d.viewHeight, d.viewportId, d.viewportStatus);
    FIELDS(d.fillMode, d.fillColor, d.fillBkColor, d.hatchAngle, d.hatchScale);
    FIELDS(d.typeName, d.groups, e.xdata);
    return f;
}
#undef FIELDS

// Every field of an entity with its attributes, as bytes.
QByteArray bytesOf(const Entity& e) {
    QByteArray all = QByteArray::number(qsizetype(e.attributes.size())) + ':';
    for (const auto& field : fieldsOf(e).list) all += field.second;
    for (const Entity& a : e.attributes) all += bytesOf(a);
    return all;
}

void expectSameEntity(const Entity& a, const Entity& b) {
    SCOPED_TRACE(a.handle.toString().toStdString());
    const Fields fa = fieldsOf(a), fb = fieldsOf(b);
    for (size_t i = 0; i < fa.list.size(); ++i)
        EXPECT_TRUE(fa.list[i].second == fb.list[i].second) << fa.list[i].first << " differ";
    ASSERT_EQ(a.attributes.size(), b.attributes.size());
    for (size_t i = 0; i < a.attributes.size(); ++i)
        expectSameEntity(a.attributes[i], b.attributes[i]);
}

std::string digest(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
}

// A digest of the entities of a space (or block) with all their fields.
std::string fingerprint(const std::vector<Entity>& list) {
    QByteArray bytes;
    for (const Entity& e : list) bytes += bytesOf(e);
    return digest(bytes);
}

// Equal lists of entities; for the first that differs, which field does.
void expectSameEntities(const std::vector<Entity>& a, const std::vector<Entity>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        if (bytesOf(a[i]) == bytesOf(b[i])) continue;
        ADD_FAILURE() << "entity " << i << " differs";
        expectSameEntity(a[i], b[i]);
        return;
    }
}

// A table record or the drawing's settings as bytes.
template <typename... T>
QByteArray bytesOf(const T&... values) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    (out << ... << values);
    return bytes;
}
QByteArray bytesOf(const Layer& l) {
    return bytesOf(l.name, l.color, l.lineType, l.on, l.frozen, l.locked);
}
QByteArray bytesOf(const LineType& t) {
    return bytesOf(t.name, t.description, t.pattern);
}
QByteArray bytesOf(const TextStyle& t) {
    return bytesOf(t.name, t.font, t.height, t.widthFactor, t.bold, t.italic, t.underline,
                   t.strikeout);
}
QByteArray bytesOf(const DimStyle& d) {
    return bytesOf(d.name, d.textHeight, d.arrowSize, d.extensionOffset, d.extensionExtension,
                   d.textStyle, d.decimals, d.scale, d.showExtension1, d.showExtension2,
                   d.extensionColor, d.arrowBlock, d.textGap, d.textHorizontal, d.textAbove,
                   d.textColor);
}
QByteArray settingsOf(const Document& doc) {
    const DrawingSettings& s = doc.settings();
    return bytesOf(s.color, s.lineType, s.lineWeight, s.textHeight, s.textStyle, s.dimStyle,
                   s.linearUnits, s.precision, s.limitsMin, s.limitsMax, s.lineTypeScale,
                   s.orthoMode, s.pointMode, s.pointSize, doc.units(), doc.insertionBase(),
                   doc.currentLayer());
}

// A digest of everything a document holds: its spaces, blocks, tables and settings.
std::string fingerprint(const Document& doc) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    auto entities = [&](const std::vector<Entity>& list) {
        out << qint64(list.size()) << QByteArray::fromStdString(fingerprint(list));
    };
    entities(doc.modelSpace().entities);
    for (const Space& s : doc.layouts()) {
        out << s.name;
        entities(s.entities);
    }
    for (const Block& b : doc.blocks()) {
        out << b.name << b.base;
        entities(b.entities);
    }
    for (const Layer& l : doc.layers()) out << bytesOf(l);
    for (const TextStyle& t : doc.textStyles()) out << bytesOf(t);
    for (const LineType& t : doc.lineTypes()) out << bytesOf(t);
    for (const DimStyle& d : doc.dimStyles()) out << bytesOf(d);
    out << settingsOf(doc);
    return digest(bytes);
}

// The error `read` throws; a failure, and no line and no reason, when it throws none.
DxfError errorOf(const std::function<void()>& read) {
    try {
        read();
    } catch (const DxfError& e) {
        return e;
    }
    ADD_FAILURE() << "accepted";
    return DxfError(-1, QString());
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

// The drawing a Python `script` draws into a new ezdxf drawing `doc` of `version` (with our
// application's name, `msp` its model space), as we load it once ezdxf has saved it.
Document madeByEzdxf(const char* version, const QString& script, bool setup = false) {
    QTemporaryDir dir;
    const QString path = dir.filePath("theirs.dxf");
    runEzdxf(QStringLiteral("import sys, ezdxf\ndoc = ezdxf.new(\"%1\", setup=%2)\n"
                            "doc.appids.new(\"Tolvanev2\")\nmsp = doc.modelspace()\n")
                     .arg(version, setup ? "True" : "False") +
                 script + "\ndoc.saveas(sys.argv[1])",
             path);
    return loadDxf(path);
}

// Saves `doc` and runs the Python `checks` on it as ezdxf reads it (as `doc` there too), after
// ezdxf's audit found no error; fails unless every check passes.
void expectEzdxfAccepts(const Document& doc, const QString& checks) {
    QTemporaryDir dir;
    const QString path = dir.filePath("checked.dxf");
    ASSERT_TRUE(saveDxf(doc, path));
    const QString audit = QStringLiteral(
        "import sys, ezdxf\ndoc = ezdxf.readfile(sys.argv[1])\nauditor = doc.audit()\n"
        "assert not auditor.has_errors, [str(e.message) for e in auditor.errors]\n");
    EXPECT_EQ(runEzdxf(audit + checks + "\nprint(\"ok\")", path), "ok");
}

}  // namespace

TEST(CadDocument, HandlesAreUniqueFoundWithLeadingZeroAndErased) {
    Document doc;
    Entity a = Entity::line({}, {1, 1});
    a.handle = QStringLiteral("1ab");
    const QString ha = doc.addToModel(a).handle;
    EXPECT_EQ(ha, "1AB");
    Entity dup = Entity::point({});
    dup.handle = QStringLiteral("1AB");
    const QString hd = doc.addToModel(dup).handle;
    EXPECT_NE(hd, ha);
    EXPECT_GT(doc.handleSeed(), 0x1ABu);
    ASSERT_NE(doc.find(QStringLiteral("01ab")), nullptr);
    EXPECT_EQ(doc.find(QStringLiteral("01ab"))->kind, EntityKind::Line);
    EXPECT_EQ(doc.find(QStringLiteral("zz")), nullptr);
    EXPECT_TRUE(doc.erase(ha));
    EXPECT_EQ(doc.find(ha), nullptr);
    EXPECT_FALSE(doc.erase(ha));

    XData x = XData{"Tolvanev2", {}};
    x.add("DB_Ref_1", 1000, "5");
    EXPECT_TRUE(x.setValue("db_ref_1", "6"));
    EXPECT_EQ(x.item("DB_REF_1")->value, "6");
    EXPECT_FALSE(x.setValue("nope", "1"));
}

// Entities added as a whole list (as the reader adds a large drawing) get what add() gives
// one by one: handles kept when free, fresh ones otherwise, found where they are.
TEST(CadDocument, AddAllTakesAListOverWholeLikeAddOneByOne) {
    Document doc;
    std::vector<Entity> list;
    for (int i = 0; i < 3; ++i) {
        Entity e = Entity::point({double(i), 0});
        e.handle = i == 2 ? "A0" : QString::number(0xA0 + i, 16);
        list.push_back(e);
    }
    doc.addAll(doc.modelSpace(), std::move(list));
    ASSERT_EQ(doc.modelSpace().entities.size(), 3u);
    EXPECT_EQ(doc.modelSpace().entities[0].handle, "A0");
    EXPECT_EQ(doc.modelSpace().entities[1].handle, "A1");
    const QString fresh = doc.modelSpace().entities[2].handle;
    EXPECT_NE(fresh, "A0");  // taken: a new one
    ASSERT_NE(doc.find(fresh), nullptr);
    EXPECT_EQ(doc.find(fresh)->start, QPointF(2, 0));

    std::vector<Entity> more{Entity::line({0, 0}, {1, 1})};
    doc.addAll(doc.modelSpace(), std::move(more));
    ASSERT_EQ(doc.modelSpace().entities.size(), 4u);
    EXPECT_EQ(doc.find(doc.modelSpace().entities[3].handle)->kind, EntityKind::Line);
    Block& b = doc.addBlock("B");
    doc.addAll(b, {Entity::circle({0, 0}, 1)});
    EXPECT_EQ(doc.find(b.entities[0].handle)->kind, EntityKind::Circle);
}

// Handles close together are kept as bits, one far above the rest apart: a set that mixes
// both, and whose bits grow past a handle first kept apart, still answers for every handle.
TEST(CadDocument, HandleSetAndMapKeepNearAndFarHandlesAlike) {
    HandleSet set;
    const quint64 far = quint64(1) << 40;
    const quint64 later = 4096 * 64 + 5;  // beyond the first bits: kept apart at first
    EXPECT_TRUE(set.insert(far));
    EXPECT_TRUE(set.insert(later));
    EXPECT_FALSE(set.insert(later));
    for (quint64 h = 0x100; h < 0x100 + 300000; ++h) ASSERT_TRUE(set.insert(h) || h == later);
    EXPECT_EQ(set.size(), 300000 + 1);  // `later` lies inside the run
    EXPECT_FALSE(set.insert(later));    // now among the bits, once
    EXPECT_TRUE(set.contains(later));
    EXPECT_TRUE(set.contains(far));
    EXPECT_FALSE(set.contains(far + 1));
    EXPECT_FALSE(set.contains(0xFF));
    EXPECT_EQ(set.highest(), far);
    EXPECT_TRUE(set.remove(far));
    EXPECT_FALSE(set.remove(far));
    EXPECT_TRUE(set.remove(later));
    EXPECT_FALSE(set.contains(later));
    EXPECT_EQ(set.highest(), 0x100u + 300000 - 1);
    EXPECT_EQ(set.size(), 300000 - 1);

    // The map from handle to a value (the index's entry, the document's place) keeps them as
    // the set does: random inserts, assignments and erases of runs, handles just past the
    // table's reach and far ones, as a hash map would.
    HandleMap<quint32> map(0xFFFFFFFFu);
    std::unordered_map<quint64, quint32> same;
    std::mt19937_64 random(5);
    for (int k = 0; k < 200000; ++k) {
        const int kind = int(random() % 10);
        const quint64 h = kind == 0   ? random() >> (random() % 64)
                          : kind == 1 ? 16384 + random() % 4096  // around the first reach
                                      : 0x100 + random() % 60000;
        if (random() % 4 == 0) {
            EXPECT_EQ(map.erase(h), same.erase(h) == 1);
            continue;
        }
        if (random() % 8 == 0) {
            map.assign(h, quint32(k));
            same[h] = quint32(k);
            continue;
        }
        const auto [slot, made] = map.insert(h, quint32(k));
        const auto [it, sameMade] = same.try_emplace(h, quint32(k));
        ASSERT_EQ(made, sameMade) << h;
        ASSERT_EQ(*slot, it->second) << h;
    }
    // A pass that changes some values and takes the others out (an erase's places moving up).
    map.update([](quint64, quint32& v) { return v % 2 ? false : (v /= 2, true); });
    std::erase_if(same, [](const auto& kv) { return kv.second % 2 == 1; });
    for (auto& [h, value] : same) value /= 2;
    ASSERT_EQ(map.size(), qsizetype(same.size()));
    for (const auto& [h, value] : same) ASSERT_TRUE(map.find(h) && *map.find(h) == value) << h;
    for (quint64 h = 0; h < 0x100 + 70000; ++h) ASSERT_EQ(map.contains(h), same.count(h) == 1);

    // A drawing numbered sparsely by another program: new handles go past the highest.
    Document doc;
    for (const char* h : {"10", "FFFFFFFFFF", "20"}) {
        Entity e = Entity::point({});
        e.handle = QString::fromLatin1(h);
        EXPECT_EQ(doc.addToModel(e).handle, QString::fromLatin1(h));
    }
    doc.restartHandlesAt(0x100);
    EXPECT_EQ(doc.handleSeed(), 0x10000000000u);
}

// Our own file keeps the drawings of every kind with all their fields, their sheets, blocks,
// tables and settings, and the handles they had; new handles never collide with them.
TEST(CadDxf, OwnRoundTripKeepsEveryKindTableAndSetting) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.dxf");
    for (const Document& doc : {sampleDocument(), newKindsDocument()}) {
        saveDxf(doc, path);
        const Document back = loadDxf(path);
        expectSameEntities(doc.modelSpace().entities, back.modelSpace().entities);
        // The sheet's own viewport is written for other programs but not read into the sheet.
        ASSERT_EQ(back.layouts().size(), 1u);
        EXPECT_EQ(back.layouts()[0].name, "Sheet 1");
        expectSameEntities(doc.layouts()[0].entities, back.layouts()[0].entities);
        // Dimension blocks are made anew on every save, never piled up among the blocks.
        ASSERT_EQ(back.blocks().size(), doc.blocks().size());
        for (const Block& b : doc.blocks()) {
            const Block* read = back.block(b.name.toLower());
            ASSERT_NE(read, nullptr);
            EXPECT_EQ(read->base, b.base);
            expectSameEntities(b.entities, read->entities);
        }
        // Every record as it was, found by its name in any case.
        const auto same = [](const auto* read, const auto& record) {
            return read && bytesOf(*read) == bytesOf(record);
        };
        for (const Layer& l : doc.layers()) EXPECT_TRUE(same(back.layer(l.name.toLower()), l));
        for (const LineType& t : doc.lineTypes()) {  // CONTINUOUS is written as Continuous
            const LineType* read = back.lineType(t.name);
            EXPECT_TRUE(read && read->description == t.description && read->pattern == t.pattern);
        }
        for (const TextStyle& t : doc.textStyles()) EXPECT_TRUE(same(back.textStyle(t.name), t));
        for (const DimStyle& d : doc.dimStyles())
            EXPECT_TRUE(same(back.dimStyle(d.name.toLower()), d)) << d.name.toStdString();
        EXPECT_TRUE(settingsOf(back) == settingsOf(doc));

        Document again = back;
        EXPECT_EQ(doc.find(again.addToModel(Entity::point({})).handle), nullptr);
    }
}

// Binary DXF holds what ASCII does: every entity kind, table and setting reads back from a
// binary file exactly as from the ASCII one, and ezdxf reads our binary files.
TEST(CadDxf, EveryEntityKindRoundTripsThroughBinary) {
    for (const Document& doc : {sampleDocument(), newKindsDocument()}) {
        const QByteArray binary = writeDxf(doc, DxfFormat::Binary);
        ASSERT_TRUE(binary.startsWith("AutoCAD Binary DXF\r\n\x1a"));
        DxfAudit audit;
        const Document fromBinary = readDxf(binary, &audit);
        const Document fromAscii = readDxf(writeDxf(doc));
        EXPECT_EQ(audit.format, DxfFormat::Binary);
        EXPECT_EQ(audit.summary(), "nothing dropped or changed")
            << audit.lines.join('\n').toStdString();
        EXPECT_EQ(fingerprint(fromBinary), fingerprint(fromAscii));
        // Written again, both give the same file.
        EXPECT_EQ(writeDxf(fromBinary), writeDxf(fromAscii));

        QTemporaryDir dir;
        const QString path = dir.filePath("b.dxf");
        ASSERT_TRUE(saveDxf(doc, path, {}, DxfFormat::Binary));
        EXPECT_EQ(fingerprint(loadDxf(path)), fingerprint(fromAscii));
        EXPECT_EQ(runEzdxf("import sys, ezdxf\nd = ezdxf.readfile(sys.argv[1])\n"
                           "print(len(d.modelspace()), d.dxfversion)",
                           path),
                  QStringLiteral("%1 AC1021").arg(doc.modelSpace().entities.size()));
    }
}

// Whatever the reader is made of, a drawing reads back with every field as it was: the small
// drawings of every kind, and wiring sheets of the benchmarks' shape in three sizes, compared
// by a digest of all they hold, after one save and after a second.
TEST(CadDxf, EveryFieldSurvivesSaveAndLoadAtEverySize) {
    bench::BuildCounts counts;
    const std::pair<const char*, Document> drawings[] = {
        {"sample", sampleDocument()},
        {"new kinds", newKindsDocument()},
        {"sheet of 100", bench::buildDrawing(100, &counts)},
        {"sheet of 2000", bench::buildDrawing(2000, &counts)},
        {"sheet of 20000", bench::buildDrawing(20000, &counts)},
    };
    for (const auto& [name, doc] : drawings) {
        SCOPED_TRACE(name);
        const Document once = readDxf(writeDxf(doc));
        const Document twice = readDxf(writeDxf(once));
        EXPECT_EQ(fingerprint(once), fingerprint(twice));
        // Nothing set through the document's interface is lost on the way (the tables gain
        // the records every file has).
        expectSameEntities(doc.modelSpace().entities, once.modelSpace().entities);
        for (const Block& b : doc.blocks()) {
            ASSERT_NE(once.block(b.name), nullptr) << b.name.toStdString();
            expectSameEntities(b.entities, once.block(b.name)->entities);
        }
    }
}

// The fields of rare kinds live in a part of their own: the lines, cables, texts and inserts
// a schematic is made of are read, drawn, moved and copied without one, and a copy given a
// fill does not fill the original.
TEST(CadDocument, CommonEntitiesCarryNoDetailPart) {
    bench::BuildCounts counts;
    const Document doc = readDxf(writeDxf(bench::buildDrawing(2000, &counts)));
    int withDetail = 0;
    for (const Entity& e : doc.modelSpace().entities) {
        withDetail += e.detail.isSet();
        for (const Entity& a : e.attributes) withDetail += a.detail.isSet();
        (void)primitives(doc, e);
    }
    EXPECT_EQ(withDetail, 0);

    Entity square = Entity::rect({0, 0}, {10, 10});
    Entity moved = square;
    transformEntity(moved, QTransform::fromTranslate(5, 5));
    EXPECT_FALSE(moved.detail.isSet());

    Entity filled = square;
    filled.detail.edit().fillMode = FillSolid;
    EXPECT_EQ(square.detail->fillMode, FillNone);
    EXPECT_FALSE(square.detail.isSet());
    Entity copy = filled;
    copy.detail.edit().fillColor = 3;
    EXPECT_EQ(filled.detail->fillColor, kColorByLayer);
    filled.detail.edit().fillMode = FillNone;
    filled.detail.dropIfDefault();
    EXPECT_FALSE(filled.detail.isSet());
    copy.detail.dropIfDefault();
    EXPECT_TRUE(copy.detail.isSet());
}

TEST(CadDxf, EzdxfAuditsAndReadsOurFile) {
    expectEzdxfAccepts(sampleDocument(), R"(
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
h = doc.header
assert (h["$TEXTSTYLE"], h["$PDMODE"], h["$PDSIZE"], h["$CECOLOR"]) == ("TL_CABLENO", 35, 0.5, 3), h["$TEXTSTYLE"]
assert len(doc.blocks.get("RACK_S").query("ATTDEF")) == 1
)");
}

// Drawings as ezdxf writes them, in a release with a code page and in one in UTF-8: the common
// kinds, a block with its attribute, extended data, a sheet, and styles.
TEST(CadDxf, ReadsWhatEzdxfWrites) {
    for (const char* version : {"R2000", "R2010"}) {
        SCOPED_TRACE(version);
        const Document doc = madeByEzdxf(version, R"(
doc.layers.add("Wires", color=2)
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
s = doc.styles.add("FANCY", font="arial.ttf")
s.set_extended_font_data("Arial", italic=False, bold=True)
d = doc.dimstyles.add("TICKS")
d.set_arrows(blk="ARCHTICK")
d.dxf.dimscale = 4
d.dxf.dimtad = 1
d.dxf.dimclrt = 1
d.dxf.dimse1 = 1
)");
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
        // Styles: a TrueType face by family and flags, the arrow by its block.
        ASSERT_NE(doc.textStyle("FANCY"), nullptr);
        EXPECT_EQ(doc.textStyle("FANCY")->font, "arial.ttf");
        EXPECT_TRUE(doc.textStyle("FANCY")->bold);
        EXPECT_FALSE(doc.textStyle("FANCY")->italic);
        const DimStyle* ticks = doc.dimStyle("TICKS");
        ASSERT_NE(ticks, nullptr);
        EXPECT_EQ(ticks->arrowBlock.toUpper(), "_ARCHTICK");
        EXPECT_EQ(ticks->scale, 4.0);
        EXPECT_TRUE(ticks->textAbove);
        EXPECT_EQ(ticks->textColor, 1);
        EXPECT_FALSE(ticks->showExtension1);
        EXPECT_TRUE(ticks->showExtension2);
        // What we read, we write back in a form ezdxf accepts.
        expectEzdxfAccepts(doc, "assert len(doc.modelspace()) == 6");
    }
}

TEST(CadDxf, UnknownEntitiesPassThroughUnchanged) {
    Document doc;
    Entity mtext;
    mtext.kind = EntityKind::Other;
    mtext.detail.edit().typeName = "MTEXT";
    mtext.detail.edit().groups = {
        {100, "AcDbEntity"}, {8, "0"},  {100, "AcDbMText"}, {10, "1"},
        {20, "2"},           {30, "0"}, {40, "0.5"},        {1, "multi \\Pline"}};
    mtext.xdata.append(tolvaneTag("Note"));
    const QString h = doc.addToModel(mtext).handle;
    const Document back = readDxf(writeDxf(doc));
    const Entity* e = back.find(h);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->kind, EntityKind::Other);
    EXPECT_EQ(e->detail->typeName, "MTEXT");
    EXPECT_EQ(entityTypeName(*e), "VDMTEXT");
    EXPECT_EQ(e->detail->groups, mtext.detail->groups);
    EXPECT_EQ(e->xdata, mtext.xdata);
}

// Texts of any length and script read back exactly, in our reader after two saves and in
// ezdxf; escapes other programs give meaning to stay plain text.
TEST(CadDxf, TextsOfAnyLengthAndScriptReadBackExactly) {
    const QStringList texts = {
        QString(10000, QChar(0x20AC)),                                       // euro signs
        QString::fromUtf8("\u63a5\u7ebf\u76d2\u673a\u67b6").repeated(4000),  // Chinese
        QString::fromUtf8("\u0645\u0648\u0642\u0639 \u0627\u0644\u062c\u0647\u0627\u0632 ")
            .repeated(3000),
        QString::fromUtf8("\U0001F3A4\U0001F50C").repeated(9000),  // emoji: surrogate pairs
        QStringLiteral("literal \\U+20AC, a caret ^J^ and a break\nhere^"),
        // A byte order mark is a character of the text, alone or at its start.
        QString(QChar(0xFEFF)),
        QString(QChar(0xFEFF)) + QStringLiteral("marked"),
    };
    Document doc;
    QStringList handles;
    for (const QString& t : texts) {
        Entity e = Entity::textAt({0, 0}, t, 1);
        e.tooltip = t;
        e.xdata.append(XData{"Tolvanev2", {{"Location", 1000, t}}});
        handles << doc.addToModel(e).handle;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("texts.dxf");
    ASSERT_TRUE(saveDxf(doc, path));
    const Document once = loadDxf(path);
    ASSERT_TRUE(saveDxf(once, path));
    const Document twice = loadDxf(path);
    for (int i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        const Entity* e = twice.find(handles[i]);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->text, texts[i]);
        EXPECT_EQ(e->tooltip, texts[i]);
        EXPECT_EQ(e->xdata.value(0).items.value(0).value, texts[i]);
    }

    // ezdxf keeps caret notation as it is: the texts of the scripts.
    QFile expected(dir.filePath("expected.txt"));
    ASSERT_TRUE(expected.open(QIODevice::WriteOnly));
    for (const QString& t : texts.mid(0, 4)) expected.write(t.toUtf8().toBase64() + "\n");
    expected.close();
    expectEzdxfAccepts(twice, QStringLiteral(R"(
import base64
want = [base64.b64decode(l).decode("utf-8") for l in open("%1")]
got = [t.dxf.text for t in doc.modelspace().query("TEXT")][:4]
assert got == want, [(len(g), len(w)) for g, w in zip(got, want) if g != w]
)")
                                  .arg(expected.fileName()));
}

// Tables of tens of thousands of records, as a generated or hostile file may hold: 40,000
// layers and a chain of 40,000 blocks each inserting the next open and save (each name is
// found without passing over the records before it, so both take well under a second), the
// records are found by name without regard to case as before, and the chain is cut short
// at the nesting bound wherever inserts are expanded.
TEST(CadDxf, LargeTablesOpenAndTheirNamesAreFoundWithoutCase) {
    constexpr int n = 40000;
    QByteArray layers = "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n";
    for (int i = 0; i < n; ++i)
        layers += "0\nLAYER\n2\nLayer " + QByteArray::number(i) + "\n70\n0\n62\n" +
                  QByteArray::number(1 + i % 255) + "\n";
    layers +=
        "0\nENDTAB\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nLINE\n8\nLAYER 39999\n10\n0\n"
        "20\n0\n11\n1\n21\n1\n0\nENDSEC\n0\nEOF\n";
    Document doc = readDxf(layers);
    ASSERT_EQ(doc.layers().size(), n + 1);  // and layer 0
    ASSERT_NE(doc.layer("layer 39999"), nullptr);
    EXPECT_EQ(doc.layer("layer 39999")->name, "Layer 39999");
    EXPECT_EQ(doc.layer("LAYER 123")->color, 1 + 123 % 255);
    EXPECT_EQ(doc.layer("Layer 40000"), nullptr);
    // A record named as one there in other case replaces it.
    doc.addLayer(Layer{"LAYER 7", 3});
    EXPECT_EQ(doc.layers().size(), n + 1);
    EXPECT_EQ(doc.layer("layer 7")->color, 3);
    // Beyond ASCII, names compare as their case folding does (the Kelvin sign is a k).
    doc.addLayer(Layer{QString::fromUtf8("\u00c4rger"), 4});
    doc.addLayer(Layer{"k", 5});
    ASSERT_NE(doc.layer(QString::fromUtf8("\u00e4RGER")), nullptr);
    EXPECT_EQ(doc.layer(QString::fromUtf8("\u00e4RGER"))->color, 4);
    ASSERT_NE(doc.layer(QString(QChar(0x212A))), nullptr);
    EXPECT_EQ(doc.layer(QString(QChar(0x212A)))->color, 5);
    EXPECT_EQ(doc.layer(QString::fromUtf8("\U0001F3A4")), nullptr);
    // Records renamed in the table itself are found by their new names.
    doc.layers()[5].name = "Renamed";
    EXPECT_EQ(doc.layer("layer 4"), nullptr);
    ASSERT_NE(doc.layer("RENAMED"), nullptr);
    EXPECT_EQ(doc.layer("RENAMED")->color, 5);
    const Document layersBack = readDxf(writeDxf(doc));
    EXPECT_EQ(layersBack.layers().size(), doc.layers().size());
    EXPECT_NE(layersBack.layer("renamed"), nullptr);

    QByteArray chain = "0\nSECTION\n2\nBLOCKS\n";
    for (int i = 0; i < n; ++i) {
        chain += "0\nBLOCK\n2\nB" + QByteArray::number(i) + "\n10\n0\n20\n0\n";
        chain += i + 1 < n
                     ? "0\nINSERT\n8\n0\n2\nb" + QByteArray::number(i + 1) + "\n10\n1\n20\n0\n"
                     : QByteArray("0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n0\n");
        chain += "0\nENDBLK\n";
    }
    chain +=
        "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nINSERT\n8\n0\n2\nB0\n10\n0\n20\n0\n0\n"
        "ENDSEC\n0\nEOF\n";
    const Document chained = readDxf(chain);
    ASSERT_EQ(chained.blocks().size(), size_t(n));
    ASSERT_NE(chained.block("b39999"), nullptr);
    EXPECT_EQ(chained.block("b39999")->entities.at(0).kind, EntityKind::Line);
    // Each block reaching more than the nesting bound down the chain is named as cut short.
    const QStringList cut = cutShortBlocks(chained);
    EXPECT_EQ(cut.size(), n - kMaxInsertNesting);
    EXPECT_TRUE(cut.contains("B0"));
    EXPECT_TRUE(cut.contains(QStringLiteral("B%1").arg(n - kMaxInsertNesting - 1)));
    EXPECT_FALSE(cut.contains(QStringLiteral("B%1").arg(n - kMaxInsertNesting)));
    // The line lies beyond the bound: the insert drawn deepest stands as its point.
    const std::vector<Prim> top = primitives(chained, chained.modelSpace().entities.at(0));
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].kind, Prim::Dot);
    EXPECT_EQ(top[0].a, QPointF(kMaxInsertNesting, 0));
    const std::vector<Prim> near = primitives(chained, Entity::insert("B39990", {}));
    ASSERT_EQ(near.size(), 1u);
    EXPECT_EQ(near[0].kind, Prim::Segment);
    EXPECT_EQ(near[0].b, QPointF(10, 0));
    const Document chainBack = readDxf(writeDxf(chained));
    EXPECT_EQ(chainBack.blocks().size(), size_t(n));
}

// A drawing the reader would refuse is not saved: nothing is written.
TEST(CadDxf, SaveRefusesWhatWouldNotOpenAgain) {
    QTemporaryDir dir;
    const QString path = dir.filePath("far.dxf");
    Document doc;
    doc.addToModel(Entity::line({0, 0}, {1, 1}));
    ASSERT_TRUE(saveDxf(doc, path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    doc.addToModel(Entity::line({0, 0}, {2 * kMaxDxfValue, 1}));  // moved out of reach
    bool called = false;
    EXPECT_THROW(saveDxf(doc, path, [&] { return called = true; }), DxfUnreadableError);
    EXPECT_FALSE(called);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"far.dxf"});

    // A save the caller calls off just before the rename leaves the old file too.
    doc.modelSpace().entities.pop_back();
    EXPECT_FALSE(saveDxf(doc, path, [] { return false; }));
    file.close();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"far.dxf"});
}

// The file a save replaces is freed after the save, not during it: its second name is not taken
// for a killed save's leftover meanwhile, and is gone soon after, the new file in its place.
TEST(CadDxf, TheReplacedFileIsFreedAfterTheSave) {
    QTemporaryDir dir;
    const QString path = dir.filePath("plan.dxf");
    Document doc;
    for (int i = 0; i < 2000; ++i) doc.addToModel(Entity::line({0, double(i)}, {1, double(i)}));
    ASSERT_TRUE(saveDxf(doc, path));
    doc.addToModel(Entity::circle({0, 0}, 1));
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(saveDxf(doc, path));
        EXPECT_EQ(removeSaveLeftovers(path), 0);
    }
    QStringList files;
    for (int wait = 0; wait < 500; ++wait) {
        files = QDir(dir.path()).entryList(QDir::Files);
        if (files.size() == 1) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(files, QStringList{"plan.dxf"});
    EXPECT_EQ(loadDxf(path).modelSpace().entities.size(), 2001u);
}

// Files as other programs write them: line ends of two characters, group codes and numbers
// padded, signs and exponents, names with escapes shared by several entities, a text in the
// code page of an older file. Numbers and names are read from the file's bytes.
TEST(CadDxf, NumbersAndNamesReadAsOtherProgramsWriteThem) {
    const QByteArray entities =
        "0\nSECTION\n2\nENTITIES\n"
        "0\nLINE\n5\n2a\n8\nWIRES^IA\n10\n+1.5\n20\n  -2  \n11\n1e1\n21\n.25\n62\n+3\n"
        "0\nCIRCLE\n  5\n002B\n  8\nWIRES^IA\n 10\n1E-3\n 20\n7.\n 40\n0.5\n370\n 25 \n"
        "0\nTEXT\n5\n2C\n8\nL\xe9gende\n10\n0\n20\n0\n40\n2.5\n1\n^J caf\xe9 ^ \n"
        "0\nENDSEC\n0\nEOF\n";
    QByteArray crlf = entities;
    crlf.replace("\n", "\r\n");
    const QByteArray legacy = "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1015\n0\nENDSEC\n";
    for (const QByteArray& file : {legacy + entities, legacy + crlf}) {
        const Document doc = readDxf(file);
        const auto& list = doc.modelSpace().entities;
        ASSERT_EQ(list.size(), 3u);
        const Entity& line = list[0];
        EXPECT_EQ(line.handle, "2A");
        EXPECT_EQ(line.layer, QString("WIRES\tA"));
        EXPECT_EQ(line.start, QPointF(1.5, -2));
        EXPECT_EQ(line.end, QPointF(10, 0.25));
        EXPECT_EQ(line.color, 3);
        const Entity& circle = list[1];
        EXPECT_EQ(circle.handle, "2B");
        EXPECT_EQ(circle.layer, line.layer);
        EXPECT_EQ(circle.start, QPointF(0.001, 7));
        EXPECT_EQ(circle.radius, 0.5);
        EXPECT_EQ(circle.lineWeight, 25);
        EXPECT_EQ(list[2].layer, QString("L\u00e9gende"));
        EXPECT_EQ(list[2].text, QString("\n caf\u00e9 ^"));
    }
    // A sign alone, two signs or a number followed by more is no number.
    for (const char* bad : {"+", "+-1", "1.5x", "1 2"}) {
        QByteArray file = legacy + entities;
        file.replace("+1.5", bad);
        EXPECT_THROW(readDxf(file), DxfError) << bad;
    }
}

// Reals of any form read to the double nearest them, as from_chars reads them, whether the
// reader's short way for plain decimals takes them or not; group codes in any form a line can
// hold read as their number, and errors after them keep their line.
TEST(CadDxf, RealsReadToTheNearestDoubleAndCodesInAnyForm) {
    std::mt19937_64 random(7);
    // Up to 18 digits, at most 9 before the point (the largest value a file may hold).
    std::vector<std::string> texts({"0", "-0.0", "5.", "-5.", "0.1", "0.3", "123456.789012345",
                                    "1234567.890123456", "12345678.901234567", "0.000000000000001",
                                    "00000000000000001.5", "9007.199254740993", "1e-5", "2.5E+3"});
    while (texts.size() < 2000) {
        std::string t = random() % 2 ? "-" : "";
        const int digits = 1 + int(random() % 18);
        const int point = std::min(digits, 9) - int(random() % std::min(digits, 9));
        for (int k = 0; k < digits; ++k) {
            if (k == point && k > 0) t += '.';
            t += char('0' + random() % 10);
        }
        texts.push_back(t);
    }
    QByteArray file = "0\nSECTION\n2\nENTITIES\n";
    for (size_t k = 0; k + 1 < texts.size(); k += 2)
        file += "0\nLINE\n10\n" + QByteArray(texts[k].c_str()) + "\n20\n" +
                QByteArray(texts[k + 1].c_str()) + "\n";
    file += "0\nENDSEC\n0\nEOF\n";
    const Document doc = readDxf(file);
    const auto& list = doc.modelSpace().entities;
    ASSERT_EQ(list.size(), texts.size() / 2);
    for (size_t k = 0; k < texts.size(); ++k) {
        double expected = 0;
        std::from_chars(texts[k].data(), texts[k].data() + texts[k].size(), expected);
        const double got = k % 2 ? list[k / 2].start.y() : list[k / 2].start.x();
        EXPECT_EQ(std::bit_cast<quint64>(got), std::bit_cast<quint64>(expected)) << texts[k];
    }

    // One line's group code in every form, the rest of the file long enough for the short way.
    const QByteArray tail = "8\nL\n999\n" + QByteArray(40, ' ') + "\n0\nENDSEC\n0\nEOF\n";
    for (const char* code :
         {"10", "  10", "\t10", "10 ", "+10", "0000000010", "10\r", "        10", "         10"}) {
        const QByteArray one =
            "0\nSECTION\n2\nENTITIES\n0\nLINE\n" + QByteArray(code) + "\n2.5\n" + tail;
        const Document read = readDxf(one);
        const auto& lines = read.modelSpace().entities;
        ASSERT_EQ(lines.size(), 1u) << code;
        EXPECT_EQ(lines[0].start.x(), 2.5) << code;
    }
    for (const char* bad : {"1x", "12345678901", "- 1", ""}) {
        const QByteArray one =
            "0\nSECTION\n2\nENTITIES\n0\nLINE\n" + QByteArray(bad) + "\n2.5\n" + tail;
        EXPECT_EQ(errorOf([&] { readDxf(one); }).line(), 7) << bad;
    }
    QByteArray late = file;
    late.replace("\n20\n", "\n20\nx");
    EXPECT_EQ(errorOf([&] { readDxf(late); }).line(), 9);  // the group's code line
}

// Whole numbers are written as to_chars writes its shortest form, with ".0" where it has no
// point or exponent: digits where they are not longer than the exponent form, which is written
// otherwise. Each reads back to itself.
TEST(CadDxf, WholeNumbersAreWrittenInTheirShortestForm) {
    std::mt19937_64 random(11);
    std::vector<double> values = {1,     -1,    9,      10,   100,  1000,  1e5,   1e6,   -1e6,
                                  1.2e7, 123e6, 1234e6, 1e14, 2e14, 58230, -7202, 10000, -90000};
    // The longest in digits, and ties: digits as long as the exponent form ("1.2e+06").
    values.insert(values.end(), {999999999999999, 999999999999990, 1200000, 12300000, 123400000});
    while (values.size() < 3000) {
        const double digits = double(random() % 1000000);
        const double v = digits * std::pow(10.0, double(random() % 10));
        if (v != 0 && v < 1e15) values.push_back(random() % 2 ? v : -v);
    }
    Document doc;
    for (double v : values) doc.modelSpace().entities.push_back(Entity::point(QPointF(v, 0.5)));
    const QByteArray file = writeDxf(doc);
    QList<QByteArray> written;  // the x of each point, in order
    const QList<QByteArray> lines = file.split('\n');
    bool inPoint = false;
    for (qsizetype k = 0; k + 1 < lines.size(); k += 2) {
        const QByteArray code = lines[k].trimmed();
        if (code == "0") inPoint = lines[k + 1] == "POINT";
        if (inPoint && code == "10") written << lines[k + 1];
    }
    ASSERT_EQ(written.size(), qsizetype(values.size()));
    for (size_t k = 0; k < values.size(); ++k) {
        std::array<char, 40> buf{};
        char* end = std::to_chars(buf.data(), buf.data() + buf.size(), values[k]).ptr;
        std::string expected(buf.data(), end);
        if (expected.find_first_of(".e") == std::string::npos) expected += ".0";
        EXPECT_EQ(written[qsizetype(k)].toStdString(), expected);
    }
    const Document back = readDxf(file);
    for (size_t k = 0; k < values.size(); ++k)
        EXPECT_EQ(back.modelSpace().entities[k].start.x(), values[k]);
}

// A large file of a release in UTF-8 is read as UTF-8 while its bytes are checked beside the
// read: one byte that is not UTF-8, even at its very end, has it read in Latin-1 as a small
// file is, its errors too.
TEST(CadDxf, ALargeFileNotInUtf8IsReadInLatin1) {
    QByteArray file =
        "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1021\n0\nENDSEC\n"
        "0\nSECTION\n2\nENTITIES\n";
    const QByteArray line = "  0\nLINE\n  8\nL\xc3\xa9gende\n 10\n0\n 20\n0\n 11\n1\n 21\n1\n";
    file += line.repeated((qsizetype(9) << 20) / line.size());
    const QByteArray end =
        "0\nTEXT\n8\nL\xc3\xa9gende\n10\n0\n20\n0\n40\n2.5\n1\ncaf\xc3\xa9\n"
        "0\nENDSEC\n0\nEOF\n";
    const Document utf8 = readDxf(file + end);
    EXPECT_EQ(utf8.modelSpace().entities.front().layer, QString("L\u00e9gende"));
    EXPECT_EQ(utf8.modelSpace().entities.back().text, QString("caf\u00e9"));

    QByteArray latin1 = end;
    latin1.replace("caf\xc3\xa9", "caf\xe9");
    const Document read = readDxf(file + latin1);
    EXPECT_EQ(read.modelSpace().entities.front().layer, QString("L\u00c3\u00a9gende"));
    EXPECT_EQ(read.modelSpace().entities.back().text, QString("caf\u00e9"));
    EXPECT_EQ(read.modelSpace().entities.size(), utf8.modelSpace().entities.size());

    QByteArray damaged = latin1;
    damaged.replace("40\n2.5", "40\nx\xe9");
    const DxfError error = errorOf([&] { readDxf(file + damaged); });
    EXPECT_TRUE(error.reason().contains(QString("x\u00e9"))) << error.reason().toStdString();
}

// A large file is read with its encoding checked and its entity starts counted beside the
// read: damage far into it, a line end of two characters, a last line without one, or the file
// cut short, come out as they do for a small file, at the same line.
TEST(CadDxf, ALargeFileMeetsDamageWhereItIs) {
    const QByteArray line = "  0\nLINE\n  8\nWIRES\n 10\n0\n 20\n0\n 11\n1\n 21\n1\n";
    const QByteArray head = "  0\nSECTION\n  2\nENTITIES\n";
    const QByteArray lines = line.repeated((qsizetype(9) << 20) / line.size());
    const QByteArray end =
        "  0\nTEXT\n  8\nWIRES\n 10\n0\n 20\n0\n 40\n2.5\n  1\nlast\n"
        "  0\nENDSEC\n  0\nEOF";
    const auto lineOf = [](const QByteArray& file, qsizetype at) {
        return int(std::count(file.begin(), file.begin() + at, '\n')) + 1;
    };
    for (const bool crlf : {false, true}) {
        QByteArray file = head + lines + end;
        if (crlf) file.replace("\n", "\r\n");
        const Document doc = readDxf(file);
        ASSERT_EQ(doc.modelSpace().entities.size(), size_t(lines.count("LINE") + 1));
        EXPECT_EQ(doc.modelSpace().entities.back().text, "last");

        QByteArray badCode = file;
        const qsizetype at = badCode.lastIndexOf(" 21\n") + 1;
        badCode.replace(at, 2, "xx");
        const DxfError error = errorOf([&] { readDxf(badCode); });
        EXPECT_EQ(error.line(), lineOf(badCode, at));
        EXPECT_TRUE(error.reason().contains("group code expected")) << error.reason().toStdString();
        for (const qsizetype cut :
             {file.size() - 3, file.lastIndexOf("last"), qsizetype(5 << 20)}) {
            EXPECT_THROW(readDxf(file.left(cut)), DxfError) << cut;
            EXPECT_THROW(checkDxf(file.left(cut)), DxfError) << cut;
        }
    }
}

// A large file's entities are read in two halves side by side, the later half's joined to the
// first's with what its reader noted of them: their handles (a duplicate across the halves is
// found), a polyline's vertices' handles, images' files. The drawing and the audit are those a
// read in one piece gives (a recovering read is made in one piece), past the middle as before it.
TEST(CadDxf, ALargeFileReadInHalvesIsTheDrawingReadInOnePiece) {
    bench::BuildCounts counts;
    Document doc = bench::buildDrawing(40000, &counts);
    const Document kinds = newKindsDocument();
    for (const TextStyle& t : kinds.textStyles()) doc.addTextStyle(t);
    for (const DimStyle& d : kinds.dimStyles()) doc.addDimStyle(d);
    for (const Entity& e : kinds.modelSpace().entities) doc.addToModel(e);  // in the later half
    QByteArray file = writeDxf(doc);
    ASSERT_GT(file.size(), qsizetype(8) << 20);
    // An entity of the later half takes the handle of one of the first.
    const qsizetype firstLine = file.indexOf("\nLINE\n  5\n") + 10;
    const QByteArray taken = file.mid(firstLine, file.indexOf('\n', firstLine) - firstLine);
    const qsizetype lateLine = file.indexOf("\nLINE\n  5\n", file.size() * 3 / 4) + 10;
    file.replace(lateLine, file.indexOf('\n', lateLine) - lateLine, taken);
    // A polyline of an older form, its vertices with handles above all others, before it.
    file.insert(lateLine - 13,
                "  0\nPOLYLINE\n  5\nFFFFE0\n  8\n0\n 66\n1\n 10\n0\n 20\n0\n 70\n0\n"
                "  0\nVERTEX\n  5\nFFFFF0\n  8\n0\n 10\n1\n 20\n2\n"
                "  0\nVERTEX\n  5\nFFFFF1\n  8\n0\n 10\n3\n 20\n4\n"
                "  0\nSEQEND\n  5\nFFFFF2\n  8\n0\n");

    DxfAudit inHalves, inOnePiece;
    Document read = readDxf(file, &inHalves);
    Document reference = recoverDxf(file, &inOnePiece);
    EXPECT_EQ(inHalves.dropped + inHalves.changed, 1) << inHalves.lines.join('\n').toStdString();
    EXPECT_EQ(inHalves.lines, inOnePiece.lines);
    EXPECT_EQ(fingerprint(read), fingerprint(reference));
    EXPECT_EQ(read.handleSeed(), reference.handleSeed());
    // Numbered anew from the start, handles in use (the vertices' among them) are passed by.
    read.restartHandlesAt(1);
    reference.restartHandlesAt(1);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(read.newHandle(), reference.newHandle());
    // The kinds of the later half as they were made (the renumbered line is not among them).
    const qsizetype late = qsizetype(kinds.modelSpace().entities.size());
    const std::vector<Entity>& made = doc.modelSpace().entities;
    const std::vector<Entity>& model = read.modelSpace().entities;
    ASSERT_EQ(model.size(), made.size() + 1);
    expectSameEntities({made.end() - late, made.end()}, {model.end() - late, model.end()});
}

// The check of a large file reads its entities in two halves side by side, as the load does.
// Whatever they meet, in either half, at their seam or in the sections after them, both refuse
// as a read in one piece does (a light read is made in one piece), at the same line; a section
// of entities that ends before the middle of the file is read whole.
TEST(CadDxf, ALargeFileIsCheckedInHalvesAsItIsRead) {
    bench::BuildCounts counts;
    const QByteArray file = writeDxf(bench::buildDrawing(40000, &counts));
    ASSERT_GT(file.size(), qsizetype(8) << 20);
    const qsizetype entities = file.indexOf("ENTITIES\n");
    const qsizetype objects = file.indexOf("OBJECTS\n");
    ASSERT_TRUE(entities > 0 && objects > entities);
    const auto sameRefusal = [](const QByteArray& damaged, const char* where) {
        SCOPED_TRACE(where);
        const DxfError whole = errorOf([&] { readDxfLight(damaged); });
        const DxfError read = errorOf([&] { readDxf(damaged); });
        const DxfError checked = errorOf([&] { checkDxf(damaged); });
        EXPECT_EQ(read.line(), whole.line());
        EXPECT_EQ(read.reason(), whole.reason());
        EXPECT_EQ(checked.line(), whole.line());
        EXPECT_EQ(checked.reason(), whole.reason());
    };
    EXPECT_EQ(fingerprint(readDxf(file)), fingerprint(recoverDxf(file, nullptr)));
    EXPECT_NO_THROW(checkDxf(file));
    // A value, a group code and an entity's layer broken at places through the entities, the
    // middle among them; then the sections after them.
    const qsizetype middle = entities + (file.size() - entities) / 2;
    for (const qsizetype near :
         {entities + 1000, middle - 300, middle, middle + 200, objects - 2000}) {
        QByteArray badValue = file;
        const qsizetype at = badValue.indexOf(" 10\n", near) + 4;
        badValue.insert(at, "x");
        sameRefusal(badValue, "a value");
        QByteArray badCode = file;
        badCode.replace(badCode.indexOf("\n  8\n", near) + 1, 3, " 8x");
        sameRefusal(badCode, "a group code");
    }
    QByteArray afterEntities = file;
    afterEntities.insert(objects + 8, "  0\nDICTIONARY\n  x\nbroken\n");
    sameRefusal(afterEntities, "in the objects");
    sameRefusal(file.left(file.size() - 6), "the end cut off");

    // Few entities and large objects: the middle lies past the entities.
    QByteArray objectsHeavy = file.left(entities + 9);
    objectsHeavy += "  0\nLINE\n  8\n0\n 10\n0\n 20\n0\n 11\n1\n 21\n1\n  0\nENDSEC\n";
    objectsHeavy += file.mid(file.lastIndexOf("  0\nSECTION\n", objects));
    const QByteArray dictionary = "  0\nDICTIONARY\n  5\nFF\n  3\nNAME\n350\nFE\n";
    objectsHeavy.insert(objectsHeavy.indexOf("OBJECTS\n") + 8,
                        dictionary.repeated((qsizetype(9) << 20) / dictionary.size()));
    EXPECT_NO_THROW(checkDxf(objectsHeavy));
    objectsHeavy.insert(objectsHeavy.lastIndexOf("  0\nENDSEC"), " 5x\nFF\n");
    sameRefusal(objectsHeavy, "large objects");
}

// A list that outgrew what was reserved for it (its entities are then moved to a larger one)
// ends elsewhere than where it was written ahead: memory past the old one is not given back
// then, and the pages written ahead never pass the list's end.
TEST(CadHeapPages, AListEndedElsewhereGivesBackNothingOfWhatLiesPastIt) {
    constexpr size_t kMb = size_t(1) << 20;
    void* mapped =
        mmap(nullptr, 16 * kMb, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    char* block = reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(mapped) + 2 * kMb - 1) &
                                          ~(2 * kMb - 1));
    char* list = block + 8 * kMb;  // the list, with memory of another owner before it
    std::memset(block, 7, 8 * kMb);
    {
        HugeHeapPages heap;
        heap.writeAhead(list, 4 * kMb);
        std::memset(list, 1, 3 * kMb);
        heap.advise(list + 3 * kMb);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        heap.endList(block + kMb);  // moved: the writing ended in the other owner's memory
    }
    EXPECT_EQ(std::count(block, block + 8 * kMb, 7), std::ptrdiff_t(8 * kMb));
    munmap(mapped, 16 * kMb);
}

TEST(CadDxf, DamagedInputIsRefusedWithALineNumber) {
    const QByteArray good = writeDxf(sampleDocument());
    const QByteArray kinds = writeDxf(newKindsDocument());
    // Every truncation point ends in an error, never a crash.
    for (const QByteArray& file : {good, kinds}) {
        for (qsizetype cut = 0; cut < file.size() - 8; cut += 97)
            EXPECT_THROW(readDxf(file.left(cut)), DxfError) << "truncated at " << cut;
    }
    // The check a save makes refuses what the load refuses, at the same line.
    auto expectError = [](const QByteArray& data, const char* what) {
        SCOPED_TRACE(what);
        const DxfError read = errorOf([&] { readDxf(data); });
        EXPECT_FALSE(read.reason().isEmpty());
        EXPECT_EQ(errorOf([&] { checkDxf(data); }).line(), read.line()) << "by the check";
    };
    // One value damaged in a file that reads.
    const struct {
        const char* what;
        const QByteArray& file;
        const char *from, *to;
    } damages[] = {
        {"non-numeric group code", good, "AcDbLine\n 10\n", "AcDbLine\nxx\n"},
        {"group code out of range", good, "AcDbLine\n 10\n", "AcDbLine\n5000\n"},
        {"enormous vertex count", good, "AcDbPolyline\n 90\n3\n",
         "AcDbPolyline\n 90\n2000000000\n"},
        {"not a number", good, "AcDbCircle\n 10\n3.0\n", "AcDbCircle\n 10\nnan\n"},
        {"huge coordinate", good, "AcDbCircle\n 10\n3.0\n", "AcDbCircle\n 10\n1e300\n"},
        {"mesh face beyond its vertices", kinds,
         "AcDbFaceRecord\n 10\n0\n 20\n0\n 30\n0\n 70\n128\n 71\n1\n",
         "AcDbFaceRecord\n 10\n0\n 20\n0\n 30\n0\n 70\n128\n 71\n-99\n"},
        {"enormous image", kinds, " 13\n640.0\n", " 13\n1e20\n"},
    };
    for (const auto& d : damages) {
        QByteArray damaged = d.file;
        damaged.replace(d.from, d.to);
        ASSERT_NE(damaged, d.file) << d.what;
        expectError(damaged, d.what);
    }
    expectError("garbage\x01\x02\xff", "garbage");
    expectError(QByteArray(), "empty");
    expectError("AutoCAD Binary DXF\r\n\x1a", "binary");
    // The last attribute of the last insert, which the check reads after all the rest.
    bench::BuildCounts counts;
    QByteArray attribute = writeDxf(bench::buildDrawing(100, &counts));
    EXPECT_NO_THROW(checkDxf(attribute));
    const qsizetype at = attribute.indexOf("\n 10\n", attribute.lastIndexOf("\nATTRIB\n")) + 5;
    attribute.insert(at, "1e300\n 11\n");
    expectError(attribute, "huge attribute position");

    EXPECT_EQ(errorOf([] { readDxf("  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n 10\nabc\n"); }).line(),
              8);
}

// Handles are numbers: text as files and users give it (any case, leading zeros, blanks) reads
// as the number, anything else as no handle, which the document replaces by a new one. The small
// fields of an entity keep what a file can give them, other values read as the default.
TEST(CadDxf, HandlesAndSmallFieldsReadAsNumbers) {
    EXPECT_EQ(Handle(QStringLiteral("1ab")).value(), 0x1ABu);
    EXPECT_EQ(Handle(QStringLiteral(" 001AB ")).toString(), "1AB");
    EXPECT_EQ(Handle(QStringLiteral("FFFFFFFFFFFFFFF")).value(), 0xFFFFFFFFFFFFFFFull);
    for (const char* none : {"", "0", "zz", "1G", "1000000000000000", "0x1A", "-1"})
        EXPECT_TRUE(Handle(QString::fromLatin1(none)).isEmpty()) << none;
    EXPECT_EQ(Handle(0x2Au), QStringLiteral("02a"));
    EXPECT_NE(Handle(0x2Au), QStringLiteral("2A0"));
    EXPECT_EQ(Handle(), QString());
    EXPECT_NE(Handle(), QStringLiteral("zz"));  // text that is no handle is not "no handle"
    const QString shown = Handle(0xBEEFu);
    EXPECT_EQ(shown, "BEEF");
    EXPECT_LE(sizeof(Entity), 368u) << "the record a large drawing keeps millions of grew";

    const QByteArray file =
        "0\nSECTION\n2\nENTITIES\n"
        "0\nLINE\n5\n 00c4 \n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n"
        "0\nLINE\n5\nNOTHEX\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n"
        "0\nLINE\n5\n\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n"
        "0\nLINE\n5\n1000000000000000\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n"
        "0\nTEXT\n5\nC5\n8\n0\n10\n0\n20\n0\n40\n1\n1\nx\n72\n9\n73\n2\n"
        "0\nTEXT\n5\nC6\n8\n0\n10\n0\n20\n0\n40\n1\n1\ny\n72\n4\n73\n-1\n370\n99999\n"
        "0\nENDSEC\n0\nEOF\n";
    DxfAudit audit;
    const Document doc = readDxf(file, &audit);
    const auto& list = doc.modelSpace().entities;
    ASSERT_EQ(list.size(), 6u);
    EXPECT_EQ(list[0].handle, "C4");
    EXPECT_EQ(doc.find(QStringLiteral("0C4")), &list[0]);
    QSet<quint64> seen;
    for (const Entity& e : list) {
        EXPECT_FALSE(e.handle.isEmpty());
        EXPECT_EQ(doc.find(e.handle), &e);
        seen.insert(e.handle.value());
    }
    EXPECT_EQ(seen.size(), 6);
    // Only the empty handle is noted; text that is no number is renumbered as before.
    EXPECT_EQ(audit.changed, 1) << audit.lines.join('\n').toStdString();
    EXPECT_EQ(list[4].hAlign, 0);
    EXPECT_EQ(list[4].vAlign, 2);
    EXPECT_EQ(list[5].hAlign, 4);
    EXPECT_EQ(list[5].vAlign, 0);
    EXPECT_EQ(list[5].lineWeight, 32767);
}

// Extended data of several applications stays with its application and its entity, also when
// a recovering read drops an entity whose extended data broke off.
TEST(CadDxf, ExtendedDataStaysWithItsEntity) {
    const QByteArray head = "0\nSECTION\n2\nENTITIES\n";
    const QByteArray broken =
        "0\nLINE\n5\nA1\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n"
        "1001\nLOST\n1000\nstale 1\n1000\nstale 2\n8\nlate layer\n";
    const QByteArray kept =
        "0\nLINE\n5\nA2\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n"
        "1001\nFIRST\n1002\n{\n1000\nName\n1000\nvalue\n1002\n}\n1070\n7\n"
        "1001\nSECOND\n1000\nalone\n"
        "0\nENDSEC\n0\nEOF\n";
    for (const bool damaged : {false, true}) {
        DxfAudit audit;
        const Document doc =
            damaged ? recoverDxf(head + broken + kept, &audit) : readDxf(head + kept);
        const auto& list = doc.modelSpace().entities;
        ASSERT_EQ(list.size(), 1u) << damaged;
        const Entity& e = list[0];
        EXPECT_EQ(e.handle, "A2");
        ASSERT_EQ(e.xdata.size(), 2);
        EXPECT_EQ(e.xdata[0].app, "FIRST");
        ASSERT_EQ(e.xdata[0].count(), 2);
        EXPECT_EQ(e.xdata[0].item("name")->value, "value");
        EXPECT_EQ(e.xdata[0].items[1].code, 1070);
        EXPECT_EQ(e.xdata[1].app, "SECOND");
        ASSERT_EQ(e.xdata[1].count(), 1);
        EXPECT_EQ(e.xdata[1].items[0].value, "alone");
        EXPECT_EQ(audit.dropped, damaged ? 1 : 0);
    }
}

// A drawing path that is no regular file is refused before a byte is read: a link to
// /dev/zero was read without end, a named pipe without a writer held the open for ever.
TEST(CadDxf, OnlyRegularFilesAreOpened) {
    QTemporaryDir dir;
    const QString zero = dir.filePath("zero.dxf"), pipe = dir.filePath("pipe.dxf");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const QString& path : {zero, pipe, dir.path()}) {
        const DxfError error = errorOf([&] { loadDxf(path); });
        EXPECT_TRUE(error.reason().contains("not a regular file")) << path.toStdString();
    }
}

TEST(CadDxf, EzdxfReadsTheNewKinds) {
    expectEzdxfAccepts(newKindsDocument(), R"(
msp = doc.modelspace()
def tags(e):
    assert e.get_xdata("OTHERAPP") == [(1070, 7), (1000, "keep me")], e.dxftype()
    values = [v for c, v in e.get_xdata("Tolvanev2") if c == 1000]
    assert values[-2:] == ["Owner", "Tolvanev2"], values
for e in msp:
    tags(e)
dims = msp.query("DIMENSION")
assert [d.dimtype for d in dims] == [0, 0, 1, 4, 3, 5, 2], [d.dimtype for d in dims]
texts = []
for d in dims:
    block = doc.blocks.get(d.dxf.geometry)
    kinds = {e.dxftype() for e in block}
    assert {"LINE", "SOLID", "TEXT"} <= kinds, kinds
    texts += [e.dxf.text for e in block if e.dxftype() == "TEXT"]
assert texts == ["10.0 mm", "8.00", "10.00", "R5.00", "%%c10.00", "right", "90.00\u00b0"], texts
first = dims[0]
assert first.dxf.dimstyle == "Narrow" and first.dxf.text == "<> mm"
assert first.dxf.defpoint2.isclose((0, 0)) and first.dxf.defpoint3.isclose((10, 3))
assert first.dxf.defpoint.isclose((10, -5)) and dims[1].dxf.angle == 90
narrow = doc.dimstyles.get("Narrow")
assert narrow.dxf.dimtxt == 1.8 and narrow.dxf.dimasz == 1.2 and narrow.dxf.dimexe == 0.75
assert narrow.dxf.dimtxsty == "DIMTEXT", narrow.dxf.dimtxsty
images = msp.query("IMAGE")
assert len(images) == 2 and images[0].image_def is images[1].image_def
assert images[0].image_def.dxf.filename == "photos/rack front.png"
assert tuple(images[0].dxf.image_size)[:2] == (640, 480)
assert images[0].dxf.u_pixel.isclose((0.05, 0)) and images[0].dxf.v_pixel.isclose((0, 0.05))
assert images[0].dxf.flags == 1 and images[1].dxf.flags == 3
assert images[0].get_xdata("TOLVANE_IMAGE") == [(1002, "{"), (1000, "Flags"), (1071, 17), (1002, "}")]
assert "ACAD_IMAGE_DICT" in doc.rootdict
face = msp.query("3DFACE")[0]
assert face.dxf.vtx2.isclose((10, 50, 2.5)) and face.dxf.invisible == 10
meshes = msp.query("POLYLINE")
assert all(p.is_poly_face_mesh for p in meshes)
sizes = []
for p in meshes:
    vertices, faces = p.indexed_faces()
    sizes.append((len(vertices), len(list(faces))))
assert sizes == [(8, 6), (14, 24), (26, 32)], sizes
items = [v for c, v in msp.query("CIRCLE")[0].get_xdata("TOLVANE_FILL") if c != 1002]
fill = dict(zip(items[0::2], items[1::2]))
assert fill["FillMode"] == 1 and fill["FillColor"] == 5 and fill["HatchScale"] == 1, fill
rect = msp.query("LWPOLYLINE")[0]
assert rect.closed and len(rect) == 4 and "Rectangle" in [v for c, v in rect.get_xdata("TOLVANE_FILL")]
sheet = doc.layouts.get("Sheet 1")
ports = sheet.query("VIEWPORT")
assert [v.dxf.id for v in ports] == [1, 3] and sheet.main_viewport() is ports[0]
assert ports[1].dxf.width == 200 and ports[1].dxf.view_height == 60
assert ports[1].dxf.view_center_point.isclose((30, 20))
tags(ports[1])
)");
}

TEST(CadDxf, ReadsTheNewKindsEzdxfWrites) {
    for (const char* version : {"R2000", "R2010"}) {
        SCOPED_TRACE(version);
        const Document doc = madeByEzdxf(version, R"(
def tag(e, kind):
    e.set_xdata("Tolvanev2", [(1000, kind), (1000, "Tolvanev2")])
    return e
def dim(d):
    d.render()
    tag(d.dimension, "Dim")
dim(msp.add_linear_dim(base=(0, -5), p1=(0, 0), p2=(10, 3)))
dim(msp.add_linear_dim(base=(25, 0), p1=(20, 0), p2=(21, 8), angle=90, text="<> high"))
dim(msp.add_aligned_dim(p1=(0, 10), p2=(6, 18), distance=2))
dim(msp.add_radius_dim(center=(40, 0), mpoint=(43, 4)))
dim(msp.add_diameter_dim(center=(40, 20), mpoint=(45, 20)))
dim(msp.add_angular_dim_3p(base=(66, 6), center=(60, 0), p1=(70, 0), p2=(60, 10)))
dim(msp.add_angular_dim_2l(base=(86, 6), line1=((80, 0), (90, 0)), line2=((80, 0), (80, 10))))
image_def = doc.add_image_def("rack.png", (640, 480))
tag(msp.add_image(image_def, insert=(100, 0), size_in_units=(32, 24)), "Picture")
face = tag(msp.add_3dface([(0, 40, 0), (10, 40, 1), (10, 50, 2.5), (0, 50, 0)]), "Face")
face.dxf.invisible = 2
mesh = tag(msp.add_polyface(), "Mesh")
mesh.append_face([(0, 0, 0), (1, 0, 0), (1, 1, 0.5)])
mesh.append_face([(1, 0, 0), (2, 0, 0), (2, 1, 1), (1, 1, 0.5)])
doc.appids.new("TOLVANE_FILL")
disc = tag(msp.add_circle((0, 70), 4), "Disc")
disc.set_xdata("TOLVANE_FILL", [(1002, "{"), (1000, "FillMode"), (1070, 1), (1002, "}"),
                                (1002, "{"), (1000, "FillColor"), (1070, 5), (1002, "}")])
sheet = doc.layout("Layout1")
tag(sheet.add_viewport(center=(150, 100), size=(200, 120), view_center_point=(30, 20), view_height=60), "View")
)",
                                         true);
        const auto& ents = doc.modelSpace().entities;
        ASSERT_EQ(ents.size(), 11u);
        for (const Entity& e : ents) {
            SCOPED_TRACE(entityTypeName(e).toStdString());
            ASSERT_NE(e.xdataFor("Tolvanev2"), nullptr);
            EXPECT_EQ(e.xdataFor("Tolvanev2")->items.last().value, "Tolvanev2");
        }
        // ezdxf writes an aligned dimension as a linear one rotated along its points.
        const DimensionType types[] = {DimensionType::Linear,   DimensionType::Linear,
                                       DimensionType::Linear,   DimensionType::Radius,
                                       DimensionType::Diameter, DimensionType::Angular3Point,
                                       DimensionType::Angular};
        const double measured[] = {10, 8, 10, 5, 10, 90, 90};
        for (int i = 0; i < 7; ++i) {
            SCOPED_TRACE(i);
            ASSERT_EQ(ents[size_t(i)].kind, EntityKind::Dimension);
            EXPECT_EQ(ents[size_t(i)].detail->dimType, types[i]);
            EXPECT_NEAR(dimensionGeometry(doc, ents[size_t(i)]).measurement, measured[i], 1e-9);
        }
        EXPECT_EQ(ents[0].detail->dimPoints[1], QPointF(10, 3));
        EXPECT_EQ(ents[0].start.y(), -5.0);
        EXPECT_EQ(ents[1].rotation, 90.0);
        EXPECT_NEAR(ents[2].rotation, std::atan2(8, 6) * 180 / M_PI, 1e-9);
        EXPECT_EQ(ents[1].text, "<> high");
        EXPECT_EQ(ents[0].style, "EZDXF");
        ASSERT_NE(doc.dimStyle("EZDXF"), nullptr);
        for (const Block& b : doc.blocks())
            EXPECT_FALSE(b.name.startsWith("*D")) << b.name.toStdString();

        const Entity& image = ents[7];
        ASSERT_EQ(image.kind, EntityKind::Image);
        EXPECT_EQ(image.detail->fileName, "rack.png");
        EXPECT_EQ(image.detail->pixelSize, QSize(640, 480));
        EXPECT_NEAR(image.detail->uVector.x(), 32, 1e-9);
        EXPECT_NEAR(image.detail->vVector.y(), 24, 1e-9);
        EXPECT_EQ(image.start, QPointF(100, 0));

        ASSERT_EQ(ents[8].kind, EntityKind::Face3D);
        EXPECT_EQ(ents[8].detail->points3[2], (Point3{10, 50, 2.5}));
        EXPECT_EQ(ents[8].detail->edgeFlags, 2);
        const Entity& mesh = ents[9];
        ASSERT_EQ(mesh.kind, EntityKind::PolyfaceMesh);
        ASSERT_EQ(mesh.detail->points3.size(), 5);  // the shared corners once
        ASSERT_EQ(mesh.detail->faces.size(), 2);
        EXPECT_EQ(mesh.detail->points3[std::abs(mesh.detail->faces[1].index[3]) - 1],
                  (Point3{1, 1, 0.5}));
        // Fill written by another program under our name becomes the entity's fill.
        EXPECT_EQ(ents[10].detail->fillMode, FillSolid);
        EXPECT_EQ(ents[10].detail->fillColor, 5);
        EXPECT_EQ(ents[10].xdataFor("TOLVANE_FILL"), nullptr);

        const Space* sheet = nullptr;
        for (const Space& s : doc.layouts()) sheet = s.name == "Layout1" ? &s : sheet;
        ASSERT_NE(sheet, nullptr);
        ASSERT_EQ(sheet->entities.size(), 1u);
        const Entity& vp = sheet->entities[0];
        ASSERT_EQ(vp.kind, EntityKind::Viewport);
        EXPECT_EQ(vp.detail->width, 200.0);
        EXPECT_EQ(vp.height, 120.0);
        EXPECT_EQ(vp.detail->viewCentre, QPointF(30, 20));
        EXPECT_EQ(vp.detail->viewHeight, 60.0);
        EXPECT_GE(vp.detail->viewportId, 2);
        ASSERT_NE(vp.xdataFor("Tolvanev2"), nullptr);

        // Written back, ezdxf finds the same kinds.
        expectEzdxfAccepts(doc,
                           "m = doc.modelspace()\n"
                           "assert len(m.query('DIMENSION')) == 7 and len(m.query('IMAGE')) == 1\n"
                           "assert m.query('IMAGE')[0].image_def.dxf.filename == 'rack.png'\n"
                           "assert len(doc.layout('Layout1').query('VIEWPORT')) == 2");
    }
}

// Text and dimension styles keep every value through our own file, and other programs see
// what DXF can say: bold and italic among the TrueType font flags, the dimension variables,
// and the arrow as a block of the file (ezdxf's audit checks the reference).
TEST(CadDxf, StylesRoundTripAndOtherReadersSeeThem) {
    Document doc;
    TextStyle note{"TL_NOTE", "DejaVu Sans", 2.0, 0.8, true, false, true, true};
    TextStyle plain{"PLAIN", "txt", 0.0, 1.0, false, false, true, false};
    doc.addTextStyle(note);
    doc.addTextStyle(plain);
    Entity text = Entity::textAt({0, 0}, "Rack 1", 2);
    text.style = "TL_NOTE";
    doc.addToModel(text);
    DimStyle plan{"PLAN", 3, 1.5, 0.25, 0.75, "TL_NOTE", 1};
    plan.scale = 2;
    plan.showExtension2 = false;
    plan.extensionColor = 3;
    plan.arrowBlock = "_DOT";
    plan.textGap = 0.4;
    plan.textHorizontal = true;
    plan.textAbove = true;
    plan.textColor = 256;
    doc.addDimStyle(plan);
    Entity dim = Entity::linearDimension({0, 0}, {10, 0}, {5, 5}, 0);
    dim.style = "PLAN";
    doc.addToModel(dim);
    doc.settings().pointMode = 2 + 64;

    const Document back = readDxf(writeDxf(doc));
    ASSERT_NE(back.textStyle("TL_NOTE"), nullptr);
    EXPECT_EQ(*back.textStyle("TL_NOTE"), note);
    EXPECT_EQ(*back.textStyle("PLAIN"), plain);
    ASSERT_NE(back.dimStyle("PLAN"), nullptr);
    EXPECT_EQ(*back.dimStyle("PLAN"), plan);
    EXPECT_EQ(back.settings().pointMode, 66);
    // The arrow block is written for the style, not kept as one of the drawing's blocks.
    EXPECT_EQ(back.block("_DOT"), nullptr);

    expectEzdxfAccepts(doc, R"(
family, italic, bold = doc.styles.get("TL_NOTE").get_extended_font_data()
assert (family, italic, bold) == ("DejaVu Sans", False, True), (family, italic, bold)
assert not doc.styles.get("PLAIN").has_extended_font_data
d = doc.dimstyles.get("PLAN").dxf
assert (d.dimblk, d.dimscale, d.dimse1, d.dimse2, d.dimclre, d.dimclrt) == ("_DOT", 2, 0, 1, 3, 256), d.dimblk
assert (d.dimtad, d.dimtih, d.dimtoh, d.dimgap, d.dimtxsty) == (1, 1, 1, 0.4, "TL_NOTE")
assert len(doc.blocks.get("_DOT")) > 0
)");
}

namespace {

// Calls `each` with the addresses of every mapping of the process and its VmFlags line.
void forEachMapping(
    const std::function<void(std::uintptr_t, std::uintptr_t, const QByteArray&)>& each) {
    QFile maps(QStringLiteral("/proc/self/smaps"));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    std::uintptr_t from = 0, to = 0;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const QByteArray first = line.left(line.indexOf(' '));
        if (first == "VmFlags:") {
            each(from, to, line);
        } else if (const qsizetype dash = first.indexOf('-'); dash > 0 && !first.endsWith(':')) {
            from = first.left(dash).toULongLong(nullptr, 16);
            to = first.mid(dash + 1).toULongLong(nullptr, 16);
        }
    }
}

}  // namespace

// What a large read grows the heap by is advised for huge pages: the mappings of that part of
// the heap carry the flag, so the system gives it in 2 MB pages.
TEST(CadHeapPages, HeapGrownWhileReadingIsAdvisedForHugePages) {
    const auto heapEnd = [] { return reinterpret_cast<std::uintptr_t>(sbrk(0)); };
    const std::uintptr_t start = heapEnd();
    std::vector<std::unique_ptr<char[]>> blocks;
    {
        // Until the heap has grown from its end: memory that tests before this one freed is
        // taken first.
        HugeHeapPages heap;
        for (int i = 0; i < 2000000 && heapEnd() - start < (std::uintptr_t(96) << 20); ++i) {
            blocks.emplace_back(new char[512]);
            if (i % 1000 == 0) heap.advise();
        }
    }
    const std::uintptr_t end = heapEnd();
    ASSERT_GT(end - start, std::uintptr_t(64) << 20) << "the heap did not grow from its end";
    // Every mapping of the heap's new part past its first 2 MB is flagged.
    std::uintptr_t flagged = 0;
    forEachMapping([&](std::uintptr_t from, std::uintptr_t to, const QByteArray& flags) {
        if (to <= start + (std::uintptr_t(4) << 20) ||
            from >= (end & ~((std::uintptr_t(2) << 20) - 1)))
            return;
        EXPECT_TRUE(flags.contains(" hg")) << std::hex << from << "-" << to << flags.constData();
        flagged += std::min(to, end) - std::max(from, start);
    });
    EXPECT_GT(flagged, std::uintptr_t(32) << 20);
}

// A thread other than the first advises the heap of its own: blocks that a reading thread took
// lie in mappings flagged for huge pages.
TEST(CadHeapPages, AThreadsOwnHeapIsAdvisedForHugePages) {
    std::vector<std::uintptr_t> taken;
    std::thread reader([&] {
        HugeHeapPages heap;
        std::vector<std::unique_ptr<char[]>> blocks;
        for (int i = 0; i < 40000; ++i) {
            blocks.emplace_back(new char[512]);
            if (i % 1000 == 0) heap.advise();
            if (i % 4000 == 0)
                taken.push_back(reinterpret_cast<std::uintptr_t>(blocks.back().get()));
        }
    });
    reader.join();
    int flagged = 0;
    forEachMapping([&](std::uintptr_t from, std::uintptr_t to, const QByteArray& flags) {
        for (std::uintptr_t at : taken)
            if (at >= from && at < to) {
                EXPECT_TRUE(flags.contains(" hg")) << std::hex << from << "-" << to;
                ++flagged;
            }
    });
    EXPECT_EQ(flagged, int(taken.size()));
}

// A large list written from its start has its pages faulted in ahead of the writing by a thread
// of the program's own, no further than a few huge pages ahead, and those past its end go back
// to the system when it ends.
TEST(CadHeapPages, AListsPagesAreFaultedInAheadOfItsWritingAndGivenBackPastItsEnd) {
    constexpr size_t kMb = size_t(1) << 20;
    constexpr size_t kSize = 64 * kMb;
    void* mapped =
        mmap(nullptr, kSize + 2 * kMb, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    char* list = reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(mapped) + 2 * kMb - 1) &
                                         ~(2 * kMb - 1));
    // Whether every page of [from, from + bytes) of the list is in memory, or none is.
    const auto resident = [&](size_t from, size_t bytes) {
        std::vector<unsigned char> in(bytes / 4096);
        EXPECT_EQ(mincore(list + from, bytes, in.data()), 0);
        const auto n = std::count_if(in.begin(), in.end(), [](unsigned char c) { return c & 1; });
        return n == 0 ? 0 : n == qsizetype(in.size()) ? 1 : -1;
    };
    {
        HugeHeapPages heap;
        heap.writeAhead(list, kSize);
        std::memset(list, 1, 2 * kMb);  // the writer's own first pages
        heap.advise(list + 2 * kMb);
        for (int wait = 0; wait < 200 && resident(4 * kMb, 2 * kMb) != 1; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(resident(4 * kMb, 2 * kMb), 1) << "the page two ahead is not faulted in";
        EXPECT_EQ(resident(24 * kMb, 40 * kMb), 0) << "faulted in far ahead of the writing";
        heap.endList(list + 3 * kMb);
        EXPECT_EQ(resident(4 * kMb, kSize - 4 * kMb), 0) << "pages past the end kept";
        EXPECT_EQ(resident(0, 2 * kMb), 1);
    }
    munmap(mapped, kSize + 2 * kMb);
}

// An entity's names (layer, line type, style, tag, block name) are shared texts: equal texts
// share one copy wherever they were made, also across threads, and a drawing read from a file
// keeps one copy of each name however many entities use it.
TEST(CadDxf, EntityNamesShareOneCopyOfEachText) {
    const Name a(QStringLiteral("Cables"));
    const Name b(QStringLiteral("Cab") + QStringLiteral("les"));
    EXPECT_EQ(a->constData(), b->constData());
    EXPECT_TRUE(a == b && a == "Cables" && a == QStringLiteral("Cables") && a != "cables");
    EXPECT_TRUE(Name(QString()).isEmpty() && Name(QString()) == QString() && Name("") == "");

    Entity made;
    made.layer = QStringLiteral("0");
    EXPECT_EQ(made.layer->constData(), Entity().layer->constData());

    Document doc;
    for (int i = 0; i < 50; ++i) {
        Entity t = Entity::textAt({double(i), 0}, QStringLiteral("T%1").arg(i), 2.5);
        t.layer = QStringLiteral("Wires");
        t.style = QStringLiteral("Labels %1").arg(i % 2);
        doc.add(doc.modelSpace(), t);
        doc.add(doc.modelSpace(), Entity::insert(QStringLiteral("RACK"), {double(i), 5}));
    }
    doc.addBlock(QStringLiteral("RACK"));
    const Document back = readDxf(writeDxf(doc));
    const std::vector<Entity>& list = back.modelSpace().entities;
    ASSERT_EQ(list.size(), 100u);
    for (size_t i = 2; i < list.size(); ++i) {
        const Entity& e = list[i];
        EXPECT_EQ(e.layer->constData(), list[i % 2].layer->constData()) << i;
        EXPECT_EQ(e.style->constData(), list[i % 4].style->constData()) << i;
        EXPECT_EQ(e.blockName->constData(), list[i % 2].blockName->constData()) << i;
    }
    EXPECT_EQ(list[0].style, "Labels 0");
    EXPECT_EQ(list[2].style, "Labels 1");
    EXPECT_EQ(list[1].blockName, "RACK");

    // Threads make, copy and drop names of the same few texts: each reads its own text
    // throughout, also when another thread drops the last copy while it makes a new one.
    std::atomic<int> wrong = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&wrong, t] {
            std::vector<Name> held;
            for (int i = 0; i < 20000; ++i) {
                const QString text = QStringLiteral("N%1").arg((i + t) % 5);
                Name n(text);
                held.push_back(n);
                if (held.size() > 3) held.erase(held.begin());
                if (n != text || held.back() != text) ++wrong;
            }
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(Name(QStringLiteral("N3")), "N3");
}
