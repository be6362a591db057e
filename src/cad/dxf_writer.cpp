// DXF output: ASCII R2000 with the tables, blocks and objects other readers require.
#include <QSaveFile>
#include <QSet>
#include <array>
#include <charconv>
#include <cmath>

#include "cad/dxf.h"

namespace tolvane::cad {

DxfError::DxfError(int line, const QString& reason)
    : std::runtime_error(
          (line > 0 ? QStringLiteral("line %1: %2").arg(line).arg(reason) : reason).toStdString()),
      line_(line),
      reason_(reason) {}

namespace {

// Text as DXF carries it in an R2000 file: control characters in caret notation, anything
// in code page 1252 where Latin-1 agrees with it, anything else as \U+XXXX.
QByteArray encodeText(const QString& s) {
    QByteArray out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t u = s[i].unicode();
        if (u < 0x20) {
            out += '^';
            out += char(u + 0x40);
        } else if (u == '^') {
            // A caret is only escaped where a reader would take it for a control character.
            const char16_t n = i + 1 < s.size() ? s[i + 1].unicode() : 0;
            out += (n == ' ' || (n >= 0x40 && n <= 0x5F)) ? "^ " : "^";
        } else if (u < 0x7F || (u >= 0xA0 && u <= 0xFF)) {
            out += char(u);  // ASCII and Latin-1 are the same in the drawing's code page 1252
        } else {
            out += "\\U+" + QByteArray::number(u, 16).toUpper().rightJustified(4, '0');
        }
    }
    return out;
}

QByteArray number(double v) {
    if (!std::isfinite(v)) v = 0.0;
    if (v == 0.0) return QByteArrayLiteral("0");
    std::array<char, 32> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    QByteArray s(buf.data(), int(res.ptr - buf.data()));
    if (!s.contains('.') && !s.contains('e')) s += ".0";
    return s;
}

class Writer {
  public:
    explicit Writer(const Document& doc) : doc_(doc), seed_(doc.handleSeed()) {}

    QByteArray run();

  private:
    struct SpaceOut {
        QString blockName;
        QString layoutName;
        const std::vector<Entity>* entities = nullptr;
        QString record, begin, end, layout;
        QPointF base;
        bool paper = false;
    };

    QString handle() { return QString::number(seed_++, 16).toUpper(); }
    void g(int code, const QByteArray& v) {
        out_ += QByteArray::number(code).rightJustified(3, ' ');
        out_ += '\n';
        out_ += v;
        out_ += '\n';
    }
    void g(int code, const QString& v) { g(code, encodeText(v)); }
    void g(int code, const char* v) { g(code, QByteArray(v)); }
    void g(int code, int v) { g(code, QByteArray::number(v)); }
    void d(int code, double v) { g(code, number(v)); }
    void pt(int code, QPointF p) {
        d(code, p.x());
        d(code + 10, p.y());
        d(code + 20, 0.0);
    }

    void collect();
    void collectFrom(const Entity& e);
    void header(QByteArray& into);
    void tables();
    QString tableStart(const char* name, int count);
    void record(const char* type, const QString& table, const char* subclass);
    void blocks();
    void entities();
    void objects();
    void entity(const Entity& e, const QString& owner, bool paper);
    void textBody(const Entity& e);
    void xdata(const Entity& e);

    const Document& doc_;
    quint64 seed_;
    QByteArray out_;
    QStringList apps_, lineTypes_, layers_, styles_, missingBlocks_;
    std::vector<SpaceOut> spaces_;  // model, paper layouts, then blocks
    QString blockRecordTable_, layoutDict_, rootDict_, groupDict_;
};

void addName(QStringList& list, const QString& name) {
    if (name.isEmpty()) return;
    for (const QString& n : list) {
        if (n.compare(name, Qt::CaseInsensitive) == 0) return;
    }
    list.append(name);
}

bool isSpecialLineType(const QString& n) {
    return n.compare(QLatin1String("BYLAYER"), Qt::CaseInsensitive) == 0 ||
           n.compare(QLatin1String("BYBLOCK"), Qt::CaseInsensitive) == 0 ||
           n.compare(QLatin1String("CONTINUOUS"), Qt::CaseInsensitive) == 0;
}

void Writer::collectFrom(const Entity& e) {
    for (const XData& x : e.xdata) addName(apps_, x.app);
    addName(layers_, e.layer);
    if (!isSpecialLineType(e.lineType)) addName(lineTypes_, e.lineType);
    if (e.kind == EntityKind::Text || e.kind == EntityKind::AttributeDefinition ||
        e.kind == EntityKind::Attribute)
        addName(styles_, e.style);
    if (e.kind == EntityKind::Insert && !doc_.block(e.blockName))
        addName(missingBlocks_, e.blockName);
    for (const Entity& a : e.attributes) collectFrom(a);
}

void Writer::collect() {
    apps_ = {QStringLiteral("ACAD")};
    for (const Layer& l : doc_.layers()) {
        addName(layers_, l.name);
        if (!isSpecialLineType(l.lineType)) addName(lineTypes_, l.lineType);
    }
    for (const LineType& t : doc_.lineTypes()) {
        if (!isSpecialLineType(t.name)) addName(lineTypes_, t.name);
    }
    for (const TextStyle& s : doc_.textStyles()) addName(styles_, s.name);
    addName(layers_, QStringLiteral("0"));
    addName(styles_, QStringLiteral("Standard"));

    SpaceOut model;
    model.blockName = QStringLiteral("*Model_Space");
    model.layoutName = QStringLiteral("Model");
    model.entities = &doc_.modelSpace().entities;
    spaces_.push_back(model);
    static const std::vector<Entity> kNone;
    QStringList layoutNames;
    int paperIndex = 0;
    for (const Space& s : doc_.layouts()) {
        SpaceOut p;
        p.blockName = paperIndex == 0 ? QStringLiteral("*Paper_Space")
                                      : QStringLiteral("*Paper_Space%1").arg(paperIndex - 1);
        QString name = s.name.trimmed().isEmpty() ? QStringLiteral("Layout") : s.name;
        while (layoutNames.contains(name, Qt::CaseInsensitive) ||
               name.compare(QLatin1String("Model"), Qt::CaseInsensitive) == 0)
            name += QLatin1Char('_');
        layoutNames.append(name);
        p.layoutName = name;
        p.entities = &s.entities;
        p.paper = true;
        spaces_.push_back(p);
        ++paperIndex;
    }
    if (paperIndex == 0) {
        SpaceOut p;
        p.blockName = QStringLiteral("*Paper_Space");
        p.layoutName = QStringLiteral("Layout1");
        p.entities = &kNone;
        p.paper = true;
        spaces_.push_back(p);
    }
    for (const Block& b : doc_.blocks()) {
        SpaceOut s;
        s.blockName = b.name;
        s.entities = &b.entities;
        s.base = b.base;
        spaces_.push_back(s);
    }
    for (const SpaceOut& s : spaces_) {
        for (const Entity& e : *s.entities) collectFrom(e);
    }
    for (const QString& name : missingBlocks_) {
        SpaceOut s;
        s.blockName = name;
        s.entities = &kNone;
        spaces_.push_back(s);
    }
    for (SpaceOut& s : spaces_) {
        s.record = handle();
        s.begin = handle();
        s.end = handle();
        if (!s.layoutName.isEmpty()) s.layout = handle();
    }
    rootDict_ = handle();
    groupDict_ = handle();
    layoutDict_ = handle();
}

void Writer::header(QByteArray& into) {
    QByteArray body;
    std::swap(out_, body);
    g(0, "SECTION");
    g(2, "HEADER");
    g(9, "$ACADVER");
    g(1, "AC1015");
    g(9, "$DWGCODEPAGE");
    g(3, "ANSI_1252");
    g(9, "$INSBASE");
    d(10, doc_.insertionBase().x());
    d(20, doc_.insertionBase().y());
    d(30, 0.0);
    g(9, "$INSUNITS");
    g(70, doc_.units());
    g(9, "$HANDSEED");
    g(5, QString::number(seed_, 16).toUpper());
    g(0, "ENDSEC");
    g(0, "SECTION");
    g(2, "CLASSES");
    g(0, "ENDSEC");
    std::swap(out_, body);
    into = body + into;
}

QString Writer::tableStart(const char* name, int count) {
    const QString h = handle();
    g(0, "TABLE");
    g(2, name);
    g(5, h);
    g(330, "0");
    g(100, "AcDbSymbolTable");
    g(70, count);
    return h;
}

void Writer::record(const char* type, const QString& table, const char* subclass) {
    g(0, type);
    g(5, handle());
    g(330, table);
    g(100, "AcDbSymbolTableRecord");
    g(100, subclass);
}

void Writer::tables() {
    g(0, "SECTION");
    g(2, "TABLES");

    QString t = tableStart("VPORT", 1);
    record("VPORT", t, "AcDbViewportTableRecord");
    g(2, "*Active");
    g(70, 0);
    const std::pair<int, double> vport[] = {
        {10, 0},   {20, 0},   {11, 1},  {21, 1}, {12, 0}, {22, 0}, {13, 0}, {23, 0}, {14, 1},
        {24, 1},   {15, 1},   {25, 1},  {16, 0}, {26, 0}, {36, 1}, {17, 0}, {27, 0}, {37, 0},
        {40, 100}, {41, 1.5}, {42, 50}, {43, 0}, {44, 0}, {50, 0}, {51, 0}};
    for (const auto& [code, v] : vport) d(code, v);
    for (int code : {71, 72, 73, 74, 75, 76, 77, 78}) g(code, code == 72 ? 100 : 0);
    g(0, "ENDTAB");

    t = tableStart("LTYPE", 3 + int(lineTypes_.size()));
    auto ltype = [&](const QString& name, const QString& desc, const QList<double>& pattern) {
        record("LTYPE", t, "AcDbLinetypeTableRecord");
        g(2, name);
        g(70, 0);
        g(3, desc);
        g(72, 65);
        g(73, int(pattern.size()));
        double total = 0;
        for (double p : pattern) total += std::abs(p);
        d(40, total);
        for (double p : pattern) {
            d(49, p);
            g(74, 0);
        }
    };
    ltype(QStringLiteral("ByBlock"), {}, {});
    ltype(QStringLiteral("ByLayer"), {}, {});
    ltype(QStringLiteral("Continuous"), QStringLiteral("Solid line"), {});
    for (const QString& name : lineTypes_) {
        const LineType* lt = doc_.lineType(name);
        ltype(name, lt ? lt->description : QString(), lt ? lt->pattern : QList<double>{});
    }
    g(0, "ENDTAB");

    t = tableStart("LAYER", int(layers_.size()));
    for (const QString& name : layers_) {
        const Layer* l = doc_.layer(name);
        const Layer layer = l ? *l : Layer{name};
        record("LAYER", t, "AcDbLayerTableRecord");
        g(2, layer.name);
        g(70, (layer.frozen ? 1 : 0) | (layer.locked ? 4 : 0));
        const int color = layer.color >= 1 && layer.color <= 255 ? layer.color : 7;
        g(62, layer.on ? color : -color);
        g(6, layer.lineType.isEmpty() ? QStringLiteral("Continuous") : layer.lineType);
        g(370, -3);
    }
    g(0, "ENDTAB");

    t = tableStart("STYLE", int(styles_.size()));
    for (const QString& name : styles_) {
        const TextStyle* s = doc_.textStyle(name);
        const TextStyle style = s ? *s : TextStyle{name};
        record("STYLE", t, "AcDbTextStyleTableRecord");
        g(2, style.name);
        g(70, 0);
        d(40, style.height);
        d(41, style.widthFactor);
        d(50, 0);
        g(71, 0);
        d(42, 2.5);
        g(3, style.font);
        g(4, "");
    }
    g(0, "ENDTAB");

    tableStart("VIEW", 0);
    g(0, "ENDTAB");
    tableStart("UCS", 0);
    g(0, "ENDTAB");

    t = tableStart("APPID", int(apps_.size()));
    for (const QString& app : apps_) {
        record("APPID", t, "AcDbRegAppTableRecord");
        g(2, app);
        g(70, 0);
    }
    g(0, "ENDTAB");

    t = tableStart("DIMSTYLE", 1);
    g(100, "AcDbDimStyleTable");
    g(0, "DIMSTYLE");
    g(105, handle());
    g(330, t);
    g(100, "AcDbSymbolTableRecord");
    g(100, "AcDbDimStyleTableRecord");
    g(2, "Standard");
    g(70, 0);
    g(0, "ENDTAB");

    blockRecordTable_ = tableStart("BLOCK_RECORD", int(spaces_.size()));
    for (const SpaceOut& s : spaces_) {
        g(0, "BLOCK_RECORD");
        g(5, s.record);
        g(330, blockRecordTable_);
        g(100, "AcDbSymbolTableRecord");
        g(100, "AcDbBlockTableRecord");
        g(2, s.blockName);
        g(340, s.layout.isEmpty() ? QStringLiteral("0") : s.layout);
    }
    g(0, "ENDTAB");
    g(0, "ENDSEC");
}

void Writer::blocks() {
    g(0, "SECTION");
    g(2, "BLOCKS");
    for (size_t i = 0; i < spaces_.size(); ++i) {
        const SpaceOut& s = spaces_[i];
        g(0, "BLOCK");
        g(5, s.begin);
        g(330, s.record);
        g(100, "AcDbEntity");
        if (s.paper) g(67, 1);
        g(8, "0");
        g(100, "AcDbBlockBegin");
        g(2, s.blockName);
        g(70, 0);
        pt(10, s.base);
        g(3, s.blockName);
        g(1, "");
        // Model space and the first layout keep their entities in the ENTITIES section.
        if (i >= 2) {
            for (const Entity& e : *s.entities) entity(e, s.record, s.paper);
        }
        g(0, "ENDBLK");
        g(5, s.end);
        g(330, s.record);
        g(100, "AcDbEntity");
        if (s.paper) g(67, 1);
        g(8, "0");
        g(100, "AcDbBlockEnd");
    }
    g(0, "ENDSEC");
}

void Writer::entities() {
    g(0, "SECTION");
    g(2, "ENTITIES");
    for (size_t i = 0; i < 2; ++i) {
        for (const Entity& e : *spaces_[i].entities) entity(e, spaces_[i].record, i == 1);
    }
    g(0, "ENDSEC");
}

void Writer::textBody(const Entity& e) {
    g(100, "AcDbText");
    pt(10, e.start);
    d(40, e.height);
    g(1, e.text);
    if (e.rotation != 0.0) d(50, e.rotation);
    g(7, e.style.isEmpty() ? QStringLiteral("Standard") : e.style);
    if (e.hAlign != 0) g(72, e.hAlign);
    if (e.hAlign != 0 || e.vAlign != 0) pt(11, e.end);
}

void Writer::entity(const Entity& e, const QString& owner, bool paper) {
    static const char* const kTypes[] = {"LINE",  "LWPOLYLINE", "CIRCLE", "ARC",    "ELLIPSE",
                                         "POINT", "TEXT",       "ATTDEF", "ATTRIB", "INSERT"};
    if (e.kind == EntityKind::Other) {
        g(0, e.typeName);
        g(5, e.handle);
        g(330, owner);
        for (const RawGroup& r : e.groups) g(r.code, r.value);
        xdata(e);
        return;
    }
    g(0, kTypes[int(e.kind)]);
    g(5, e.handle);
    g(330, owner);
    g(100, "AcDbEntity");
    if (paper) g(67, 1);
    g(8, e.layer.isEmpty() ? QStringLiteral("0") : e.layer);
    if (!e.lineType.isEmpty() &&
        e.lineType.compare(QLatin1String("BYLAYER"), Qt::CaseInsensitive) != 0)
        g(6, e.lineType);
    if (e.color != kColorByLayer) g(62, e.color);
    if (e.lineWeight != -1) g(370, e.lineWeight);
    switch (e.kind) {
        case EntityKind::Line:
            g(100, "AcDbLine");
            pt(10, e.start);
            pt(11, e.end);
            break;
        case EntityKind::Polyline:
            g(100, "AcDbPolyline");
            g(90, int(e.vertices.size()));
            g(70, e.closed ? 1 : 0);
            for (const Vertex& v : e.vertices) {
                d(10, v.pos.x());
                d(20, v.pos.y());
                if (v.bulge != 0.0) d(42, v.bulge);
            }
            break;
        case EntityKind::Circle:
        case EntityKind::Arc:
            g(100, "AcDbCircle");
            pt(10, e.start);
            d(40, e.radius);
            if (e.kind == EntityKind::Arc) {
                g(100, "AcDbArc");
                d(50, e.startAngle);
                d(51, e.endAngle);
            }
            break;
        case EntityKind::Ellipse:
            g(100, "AcDbEllipse");
            pt(10, e.start);
            pt(11, e.end);
            d(40, e.ratio);
            d(41, e.startAngle);
            d(42, e.endAngle);
            break;
        case EntityKind::Point:
            g(100, "AcDbPoint");
            pt(10, e.start);
            break;
        case EntityKind::Text:
            textBody(e);
            g(100, "AcDbText");
            if (e.vAlign != 0) g(73, e.vAlign);
            break;
        case EntityKind::AttributeDefinition:
            textBody(e);
            g(100, "AcDbAttributeDefinition");
            g(3, e.prompt);
            g(2, e.tag);
            g(70, e.attributeFlags);
            if (e.vAlign != 0) g(74, e.vAlign);
            break;
        case EntityKind::Attribute:
            textBody(e);
            g(100, "AcDbAttribute");
            g(2, e.tag);
            g(70, e.attributeFlags);
            if (e.vAlign != 0) g(74, e.vAlign);
            break;
        case EntityKind::Insert:
            g(100, "AcDbBlockReference");
            if (!e.attributes.empty()) g(66, 1);
            g(2, e.blockName);
            pt(10, e.start);
            if (e.xScale != 1.0) d(41, e.xScale);
            if (e.yScale != 1.0) d(42, e.yScale);
            if (e.rotation != 0.0) d(50, e.rotation);
            break;
        case EntityKind::Other:
            break;
    }
    xdata(e);
    if (e.kind == EntityKind::Insert && !e.attributes.empty()) {
        for (const Entity& a : e.attributes) {
            Entity attrib = a;
            attrib.kind = EntityKind::Attribute;
            entity(attrib, e.handle, paper);
        }
        g(0, "SEQEND");
        g(5, handle());
        g(330, e.handle);
        g(100, "AcDbEntity");
        if (paper) g(67, 1);
        g(8, e.layer.isEmpty() ? QStringLiteral("0") : e.layer);
    }
}

void Writer::xdata(const Entity& e) {
    for (const XData& x : e.xdata) {
        if (x.app.isEmpty()) continue;
        g(1001, x.app);
        for (const XDataItem& item : x.items) {
            const int code =
                item.code >= 1000 && item.code <= 1071 && item.code != 1001 ? item.code : 1000;
            if (!item.name.isEmpty()) {
                g(1002, "{");
                g(1000, item.name);
            }
            if (code >= 1010 && code <= 1013) {
                const QStringList xyz = item.value.split(QLatin1Char(','));
                for (int i = 0; i < 3; ++i) {
                    bool ok = false;
                    const double v = i < xyz.size() ? xyz[i].toDouble(&ok) : 0.0;
                    d(code + 10 * i, ok ? v : 0.0);
                }
            } else {
                g(code, item.value);
            }
            if (!item.name.isEmpty()) g(1002, "}");
        }
    }
}

void Writer::objects() {
    g(0, "SECTION");
    g(2, "OBJECTS");
    g(0, "DICTIONARY");
    g(5, rootDict_);
    g(330, "0");
    g(100, "AcDbDictionary");
    g(281, 1);
    g(3, "ACAD_GROUP");
    g(350, groupDict_);
    g(3, "ACAD_LAYOUT");
    g(350, layoutDict_);
    g(0, "DICTIONARY");
    g(5, groupDict_);
    g(330, rootDict_);
    g(100, "AcDbDictionary");
    g(281, 1);
    g(0, "DICTIONARY");
    g(5, layoutDict_);
    g(330, rootDict_);
    g(100, "AcDbDictionary");
    g(281, 1);
    for (const SpaceOut& s : spaces_) {
        if (s.layout.isEmpty()) continue;
        g(3, s.layoutName);
        g(350, s.layout);
    }
    int tab = 0;
    for (const SpaceOut& s : spaces_) {
        if (s.layout.isEmpty()) continue;
        g(0, "LAYOUT");
        g(5, s.layout);
        g(330, layoutDict_);
        g(100, "AcDbPlotSettings");
        g(1, "");
        g(2, "none_device");
        g(4, "");
        g(6, "");
        for (int code : {40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 140, 141}) d(code, 0);
        d(142, 1);
        d(143, 1);
        g(70, 688);
        g(72, 0);
        g(73, 0);
        g(74, 5);
        g(7, "");
        g(75, 16);
        d(147, 1);
        d(148, 0);
        d(149, 0);
        g(100, "AcDbLayout");
        g(1, s.layoutName);
        g(70, 1);
        g(71, tab++);
        d(10, 0);
        d(20, 0);
        d(11, 420);
        d(21, 297);
        pt(12, {});
        pt(14, {});
        pt(15, {});
        d(146, 0);
        pt(13, {});
        pt(16, {1, 0});
        pt(17, {0, 1});
        g(76, 0);
        g(330, s.record);
    }
    g(0, "ENDSEC");
}

QByteArray Writer::run() {
    collect();
    tables();
    blocks();
    entities();
    objects();
    g(0, "EOF");
    header(out_);
    return out_;
}

}  // namespace

QByteArray writeDxf(const Document& doc) {
    return Writer(doc).run();
}

void saveDxf(const Document& doc, const QString& path) {
    const QByteArray bytes = writeDxf(doc);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw DxfError(0, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
}

}  // namespace tolvane::cad
