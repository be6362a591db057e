// The large wiring drawing the benchmarks work on, in the proportions of a real schematic
// (about 320 bytes of DXF per entity): entities placed on a grid of equipment cells (6%
// inserts with attributes and extended data), cables run between them as polylines with
// extended data (22%), each with its number text next to it, port labels at some cable ends
// (texts, 32% in all) and the pin stubs the cables end on (lines, the rest).
#pragma once

#include <QString>
#include <random>

#include "cad/document.h"

namespace bench {

namespace cad = tolvane::cad;

inline const QString kApp = QStringLiteral("Tolvanev2");

struct SignalLayer {
    const char* name;
    int color;
};

constexpr SignalLayer kSignalLayers[] = {
    {"CBL_AUDIO_ANALOG", 1}, {"CBL_AUDIO_AES", 30}, {"CBL_VIDEO_SDI", 5}, {"CBL_VIDEO_HDMI", 4},
    {"CBL_NETWORK", 3},      {"CBL_CONTROL", 6},    {"CBL_FIBRE", 40},    {"CBL_POWER", 2},
};

struct EquipmentBlock {
    const char* name;
    double width;
    double height;
    int attributeCount;  // 4 to 7
};

constexpr EquipmentBlock kBlocks[] = {
    {"EQ_MIXER", 120.0, 40.0, 7},  {"EQ_ROUTER", 80.0, 60.0, 6},   {"EQ_CAMERA", 30.0, 20.0, 5},
    {"EQ_DISPLAY", 60.0, 35.0, 4}, {"EQ_STAGEBOX", 50.0, 30.0, 6}, {"EQ_SWITCH", 90.0, 15.0, 5},
};

constexpr const char* kAttributeTags[] = {"NAME", "MODEL", "MANUFACTURER", "LOCATION",
                                          "RACK", "U_POS", "SERIAL"};

inline cad::XData tolvaneXData(const QString& type, int id, const QString& assoc,
                               const QString& src, const QString& dst) {
    cad::XData x;
    x.app = kApp;
    x.add(QStringLiteral("Entity_Type"), 1000, type);
    x.add(QStringLiteral("DB_Ref_1"), 1000, QString::number(id));
    x.add(QStringLiteral("DB_Ref_2"), 1000, QStringLiteral("PRJ-0042"));
    x.add(QStringLiteral("DB_Ref_3"), 1000, QStringLiteral("REV-%1").arg(id % 7));
    x.add(QStringLiteral("DB_Ref_4"), 1000, QString());
    x.add(QStringLiteral("Assoc"), 1000, assoc);
    x.add(QStringLiteral("SRC"), 1000, src);
    x.add(QStringLiteral("DST"), 1000, dst);
    x.add(QStringLiteral("Owner"), 1000, QStringLiteral("Tolvane"));
    return x;
}

struct BuildCounts {
    int polylines = 0;
    int lines = 0;
    int inserts = 0;
    int texts = 0;
    int attributes = 0;
};

// Builds the drawing: entities are placed on a grid of equipment cells, cables run between
// them, each cable has its number text next to it, stubs on its end pins and, on some, a
// port label.
inline cad::Document buildDrawing(int total, BuildCounts* counts) {
    cad::Document doc;
    doc.setUnits(4);
    for (const SignalLayer& l : kSignalLayers) {
        doc.addLayer(cad::Layer{QString::fromLatin1(l.name), l.color});
    }
    doc.addLayer(cad::Layer{QStringLiteral("EQUIPMENT"), 7});
    doc.addLayer(cad::Layer{QStringLiteral("CABLE_NUMBERS"), 8});
    doc.addTextStyle(cad::TextStyle{QStringLiteral("TOLVANE"), QStringLiteral("arial.ttf")});

    for (const EquipmentBlock& b : kBlocks) {
        cad::Block& block = doc.addBlock(QString::fromLatin1(b.name));
        cad::Entity frame = cad::Entity::polyline(
            {{{0, 0}}, {{b.width, 0}}, {{b.width, b.height}}, {{0, b.height}}}, true);
        doc.add(block, frame);
        doc.add(block, cad::Entity::line({0, b.height - 8}, {b.width, b.height - 8}));
        doc.add(block, cad::Entity::circle({b.width - 4, 4}, 2.0));
        for (int i = 0; i < b.attributeCount; ++i) {
            const QString tag = QString::fromLatin1(kAttributeTags[i]);
            cad::Entity def = cad::Entity::attributeDefinition({2.0, b.height - 6.0 - 4.5 * i}, tag,
                                                               tag.toLower(), QString(), 2.5);
            def.attributeFlags = i >= 4 ? 1 : 0;  // the last ones invisible
            doc.add(block, def);
        }
    }

    std::mt19937 rng(20240611u);
    std::uniform_int_distribution<int> vertexCount(4, 6);
    std::uniform_int_distribution<int> pick(0, 1 << 20);

    const int inserts = total * 6 / 100;
    const int polylines = total * 22 / 100;
    const int texts = total * 32 / 100;
    const int lines = total - inserts - polylines - texts;
    constexpr int kColumns = 200;
    auto cellPos = [](int n) { return QPointF(300.0 * (n % kColumns), 200.0 * (n / kColumns)); };

    // Equipment first, so cables can refer to them.
    QList<QString> equipmentHandles;
    equipmentHandles.reserve(inserts);
    for (int i = 0; i < inserts; ++i) {
        const EquipmentBlock& b = kBlocks[i % std::size(kBlocks)];
        cad::Entity ins = cad::Entity::insert(QString::fromLatin1(b.name), cellPos(i), 1.0, 1.0,
                                              (i % 10 == 0) ? 90.0 : 0.0);
        ins.layer = QStringLiteral("EQUIPMENT");
        const QString name = QStringLiteral("%1-%2").arg(QString::fromLatin1(b.name + 3)).arg(i);
        for (int a = 0; a < b.attributeCount; ++a) {
            QString value;
            switch (a) {
                case 0:
                    value = name;
                    break;
                case 1:
                    value = QStringLiteral("Model %1").arg(i % 37);
                    break;
                case 2:
                    value = QStringLiteral("Maker %1").arg(i % 11);
                    break;
                case 3:
                    value = QStringLiteral("Room %1.%2").arg(i / 400).arg(i % 20);
                    break;
                case 4:
                    value = QStringLiteral("R%1").arg(i % 50);
                    break;
                case 5:
                    value = QString::number(1 + i % 42);
                    break;
                default:
                    value = QStringLiteral("SN%1").arg(100000 + i);
                    break;
            }
            ins.attributes.push_back(
                cad::Entity::attribute(cellPos(i) + QPointF(2.0, b.height - 6.0 - 4.5 * a),
                                       QString::fromLatin1(kAttributeTags[a]), value, 2.5));
            ins.attributes.back().layer = ins.layer;
            ins.attributes.back().attributeFlags = a >= 4 ? 1 : 0;
            ++counts->attributes;
        }
        ins.xdata.append(
            tolvaneXData(QStringLiteral("Equipment"), 500000 + i, QString(), QString(), QString()));
        equipmentHandles.append(doc.addToModel(std::move(ins)).handle);
        ++counts->inserts;
    }

    // Cables run as schematics draw them: from an output pin on the right side of one block
    // to an input pin on the left side of a block a few cells away, in horizontal and
    // vertical runs with a lane of their own, every third rounding its first corner.
    std::uniform_int_distribution<int> near(-2, 2);
    std::uniform_int_distribution<int> pin(0, 7);
    for (int i = 0; i < polylines; ++i) {
        const int from = pick(rng) % std::max(inserts, 1);
        const int to =
            std::clamp(from + near(rng) + kColumns * near(rng), 0, std::max(inserts, 1) - 1);
        const double width = kBlocks[from % std::size(kBlocks)].width;
        const QPointF a = cellPos(from) + QPointF(width, 10.0 + 5.0 * pin(rng));
        const QPointF z = cellPos(to) + QPointF(0.0, 10.0 + 5.0 * pin(rng));
        const double lane = 5.0 + (pick(rng) % 150);
        QList<QPointF> path{a, {a.x() + lane, a.y()}};
        if (vertexCount(rng) >= 5) {  // a detour below both pins
            const double y = std::min(a.y(), z.y()) - 20.0 - (pick(rng) % 40);
            path.append({a.x() + lane, y});
            path.append({z.x() - 10.0 - (pick(rng) % 40), y});
            path.append({path.back().x(), z.y()});
        } else {
            path.append({a.x() + lane, z.y()});
        }
        path.append(z);
        QList<cad::Vertex> vertices;
        vertices.reserve(path.size());
        for (int v = 0; v < path.size(); ++v) {
            const double bulge = (i % 3 == 0 && v == 1) ? 0.41421356 : 0.0;
            vertices.append(cad::Vertex{path[v], bulge});
        }
        cad::Entity cable = cad::Entity::polyline(vertices, false);
        const SignalLayer& layer = kSignalLayers[i % std::size(kSignalLayers)];
        cable.layer = QString::fromLatin1(layer.name);
        const QString src = equipmentHandles.isEmpty() ? QString() : equipmentHandles[from];
        const QString dst = equipmentHandles.isEmpty() ? QString() : equipmentHandles[to];
        cable.xdata.append(tolvaneXData(QStringLiteral("Cable"), 1000000 + i,
                                        QStringLiteral("C-%1").arg(i, 6, 10, QLatin1Char('0')), src,
                                        dst));
        const QPointF mid = vertices[vertices.size() / 2].pos;
        doc.addToModel(std::move(cable));
        ++counts->polylines;

        for (const QPointF& end : {a, z}) {  // the pins the cable ends on
            if (counts->lines >= lines) break;
            cad::Entity stub = cad::Entity::line(end, end + QPointF(end == a ? -6.0 : 6.0, 0.0));
            stub.layer = QStringLiteral("EQUIPMENT");
            doc.addToModel(std::move(stub));
            ++counts->lines;
        }
        if (counts->texts < texts && i % 2 == 0) {  // the port at the cable's source
            cad::Entity port = cad::Entity::textAt(a + QPointF(-5.0, 0.5),
                                                   QStringLiteral("OUT %1").arg(1 + i % 16), 1.5);
            port.layer = QStringLiteral("EQUIPMENT");
            port.hAlign = 2;  // right-aligned against the block's edge
            port.end = port.start;
            doc.addToModel(std::move(port));
            ++counts->texts;
        }
        if (counts->texts < texts) {
            cad::Entity number =
                cad::Entity::textAt(mid + QPointF(1.0, 1.0),
                                    QStringLiteral("C-%1").arg(i, 6, 10, QLatin1Char('0')), 2.0);
            number.layer = QStringLiteral("CABLE_NUMBERS");
            number.style = QStringLiteral("TOLVANE");
            number.rotation = (i % 4 == 0) ? 90.0 : 0.0;
            doc.addToModel(std::move(number));
            ++counts->texts;
        }
    }
    while (counts->texts < texts) {  // only when texts outnumber what the cables carry
        doc.addToModel(cad::Entity::textAt(cellPos(counts->texts), QStringLiteral("NOTE"), 2.0));
        ++counts->texts;
    }
    while (counts->lines < lines) {  // likewise for the stubs
        const QPointF at = cellPos(counts->lines % std::max(inserts, 1));
        doc.addToModel(cad::Entity::line(at, at - QPointF(6.0, 0.0)));
        ++counts->lines;
    }
    return doc;
}

}  // namespace bench
