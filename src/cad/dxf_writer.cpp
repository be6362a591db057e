// DXF output: ASCII R2007 (or an older release) with the tables, blocks and objects other
// readers require.
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <exception>
#include <map>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include "cad/dxf.h"
#include "cad/dxf_binary.h"
#include "cad/geometry.h"
#include "cad/heap_pages.h"

namespace tolvane::cad {

DxfError::DxfError(int line, const QString& reason)
    : std::runtime_error(
          (line > 0 ? QStringLiteral("line %1: %2").arg(line).arg(reason) : reason).toStdString()),
      line_(line),
      reason_(reason) {}

namespace {

// Text as DXF carries it in an R2007 file: UTF-8, so every script and a text of any length
// is written as it is (other readers take it the same way), with control characters in caret
// notation. A caret is escaped ("^ ") only where a reader would take it for a control
// character.
QByteArray encodeText(const QString& s) {
    const bool plain = std::none_of(
        s.cbegin(), s.cend(), [](QChar c) { return c.unicode() < 0x20 || c == QLatin1Char('^'); });
    if (plain) return s.toUtf8();
    QString out;
    out.reserve(s.size() + 8);
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t u = s[i].unicode();
        if (u < 0x20) {
            out += QLatin1Char('^');
            out += QChar(char16_t(u + 0x40));
        } else if (u == '^') {
            const char16_t n = i + 1 < s.size() ? s[i + 1].unicode() : 0;
            out +=
                (n == ' ' || (n >= 0x40 && n <= 0x5F)) ? QLatin1String("^ ") : QLatin1String("^");
        } else {
            out += QChar(u);
        }
    }
    return out.toUtf8();
}

// A number as the shortest text that reads back to it, with a point or exponent so that other
// readers take it for a real; into `buf`, which the result views.
QByteArrayView formatNumber(double v, std::array<char, 40>& buf) {
    if (!std::isfinite(v) || v == 0.0) return QByteArrayView("0");
    // Whole numbers below 10^15 (most coordinates of a drawing) are written as their digits
    // and ".0", as to_chars writes them where its plain form is not longer than its
    // exponent form ("5e+06"), which to_chars then writes.
    if (std::abs(v) < 1e15 && v == std::trunc(v)) {
        quint64 n = quint64(std::abs(v));
        char digits[16]{};
        int size = 0;
        for (; n; n /= 10) digits[size++] = char('0' + n % 10);
        int zeros = 0;  // at the end
        while (digits[zeros] == '0') ++zeros;
        const int significant = size - zeros;
        const int exponentForm = significant + (significant > 1) + 4;  // "d.dde+XX"
        if (size <= exponentForm) {
            char* out = buf.data();
            if (v < 0) *out++ = '-';
            while (size) *out++ = digits[--size];
            *out++ = '.';
            *out++ = '0';
            return QByteArrayView(buf.data(), out - buf.data());
        }
    }
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size() - 2, v);
    char* end = res.ptr;
    if (std::find_if(buf.data(), end, [](char c) { return c == '.' || c == 'e'; }) == end) {
        *end++ = '.';
        *end++ = '0';
    }
    return QByteArrayView(buf.data(), end - buf.data());
}

QByteArray number(double v) {
    std::array<char, 40> buf;
    return formatNumber(v, buf).toByteArray();
}

// Text as a file before R2007 carries it: in its code page (ANSI_1252, whose characters
// 0xA0-0xFF are those of Unicode), every other character as \U+XXXX (a backslash that would
// read as such an escape is one itself), control characters in caret notation.
void appendCodePageText(QByteArray& out, const QString& s) {
    const QByteArray carets = encodeText(s);  // UTF-8 with the carets settled
    const QString text = QString::fromUtf8(carets);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        const bool escapeLike = u == '\\' && text.mid(i + 1, 2) == QLatin1String("U+");
        if ((u < 0x80 && !escapeLike) || (u >= 0xA0 && u <= 0xFF)) {
            out += char(uchar(u));
        } else {
            out +=
                QStringLiteral("\\U+%1").arg(uint(u), 4, 16, QLatin1Char('0')).toUpper().toLatin1();
        }
    }
}

// The names of one table in the order they are met, each once without regard to case. A
// long list is searched by hash: a drawing may have hundreds of thousands of layers.
class NameList {
  public:
    void add(const QString& name) {
        if (name.isEmpty()) return;
        // Most entities share their names' text with others (the reader shares it): a text
        // seen lately by its place is known without comparing it. The text kept here keeps
        // that place from being freed and taken by another.
        QString& seen = seen_[(quintptr(name.constData()) >> 4) % kSeen];
        if (seen.constData() == name.constData() && seen.size() == name.size()) return;
        seen = name;
        if (contains(name)) return;
        if (names_.size() == kScanned)
            for (qsizetype i = 0; i < names_.size(); ++i) places_.emplace(nameHash(names_[i]), i);
        if (names_.size() >= kScanned) places_.emplace(nameHash(name), names_.size());
        names_.append(name);
    }
    bool contains(const QString& name) const {
        if (names_.size() <= kScanned)
            return std::any_of(names_.begin(), names_.end(),
                               [&](const QString& n) { return sameName(n, name); });
        const auto [from, to] = places_.equal_range(nameHash(name));
        return std::any_of(from, to,
                           [&](const auto& p) { return sameName(names_[p.second], name); });
    }
    qsizetype size() const { return names_.size(); }
    auto begin() const { return names_.begin(); }
    auto end() const { return names_.end(); }

  private:
    static constexpr qsizetype kScanned = 16;
    static constexpr size_t kSeen = 8;
    QStringList names_;
    std::array<QString, kSeen> seen_;
    std::unordered_multimap<size_t, qsizetype> places_;
};

// The code lines of the group codes below kCount, each right-aligned in three places and
// ended by its newline, kept in eight bytes so that one is written with a single store.
struct CodeLines {
    static constexpr int kCount = 1072;
    struct Line {
        char bytes[8];
        int size;
    };
    Line line[kCount];
    CodeLines() {
        for (int code = 0; code < kCount; ++code) {
            Line& l = line[code];
            std::memset(l.bytes, 0, sizeof l.bytes);
            const int digits = code < 10 ? 1 : code < 100 ? 2 : code < 1000 ? 3 : 4;
            const int pad = std::max(0, 3 - digits);
            std::memset(l.bytes, ' ', size_t(pad));
            std::to_chars(l.bytes + pad, l.bytes + 7, code);
            l.bytes[pad + digits] = '\n';
            l.size = pad + digits + 1;
        }
    }
};

class Writer {
  public:
    Writer(const Document& doc, DxfVersion version)
        : doc_(doc), seed_(doc.handleSeed()), v_(version) {}

    QByteArray run();
    // What the release could not hold, one line for each kind of loss.
    void report(DxfAudit* lost) const;

  private:
    struct SpaceOut {
        QString blockName;
        QString layoutName;
        const std::vector<Entity>* entities = nullptr;
        QString record, begin, end, layout;
        QPointF base;
        bool paper = false;
        bool anonymous = false;
        QString viewport;  // the sheet's own viewport (paper layouts)
    };
    struct ImageDef {
        QString file;
        QSize size;
        QString handle;
        QStringList reactors;
    };
    struct ImageRef {
        size_t def = 0;
        QString reactor;
    };

    Handle handle() { return Handle(seed_++); }
    // Groups go straight into the output, without a text made for each: a large drawing writes
    // millions of them. The output is room made ahead (out_'s size) of which the first used_
    // bytes are written, so that a piece of a group costs a copy and no call to grow it.
    void raw(QByteArrayView v) {
        if (out_.size() - used_ < v.size()) makeRoom(v.size());
        std::memcpy(at_ + used_, v.data(), size_t(v.size()));
        used_ += v.size();
    }
    void makeRoom(qsizetype n) {
        out_.resize(std::max(out_.size() * 2, used_ + n + 65536));
        at_ = out_.data();
    }
    // The written bytes, the room dropped.
    QByteArray written() {
        out_.resize(used_);
        return std::exchange(out_, {});
    }
    // A text value as encodeText() gives it; most values are plain ASCII and go in as they are,
    // without a converted copy.
    void text(const QString& s) {
        if (out_.size() - used_ < s.size()) makeRoom(s.size());
        char* to = at_ + used_;
        for (const QChar c : s) {
            const char16_t u = c.unicode();
            if (u < 0x20 || u >= 0x7F || u == '^') {
                raw(encodeText(s));
                return;
            }
            *to++ = char(u);
        }
        used_ += s.size();
    }
    // The code line, right-aligned in three places as other programs write it; the lines of
    // the codes that are written most are made once.
    void groupCode(int code) {
        static const CodeLines lines;
        if (code >= 0 && code < CodeLines::kCount) {
            if (out_.size() - used_ < 8) makeRoom(8);
            const CodeLines::Line& line = lines.line[code];
            std::memcpy(at_ + used_, line.bytes, 8);  // the room is there: one store
            used_ += line.size;
            return;
        }
        std::array<char, 16> buf;
        const auto res = std::to_chars(buf.data() + 3, buf.data() + buf.size() - 1, code);
        const qsizetype digits = res.ptr - (buf.data() + 3);
        char* begin = buf.data() + std::min<qsizetype>(3, digits);
        std::fill(begin, buf.data() + 3, ' ');
        *res.ptr = '\n';
        raw(QByteArrayView(begin, res.ptr + 1 - begin));
    }
    // R12 has no subclass markers, owners or reactors; its files leave them out wherever they
    // are met (the tables', blocks' and entities' own and those kept of other programs').
    bool left(int code) const {
        return v_ == DxfVersion::R12 && (code == 100 || code == 330 || code == 360 || code == 102);
    }
    void g(int code, QByteArrayView v) {
        if (left(code)) return;
        groupCode(code);
        raw(v);
        raw("\n");
    }
    void g(int code, const QByteArray& v) { g(code, QByteArrayView(v)); }
    template <size_t N>
    void g(int code, const char (&v)[N]) {
        g(code, QByteArrayView(v, N - 1));
    }
    // A handle in upper-case hexadecimal, none as an empty value.
    void g(int code, Handle h) {
        if (left(code)) return;
        groupCode(code);
        std::array<char, 20> buf;
        char* end = buf.data();
        if (!h.isEmpty()) {
            end = std::to_chars(buf.data(), buf.data() + buf.size(), h.value(), 16).ptr;
            for (char* c = buf.data(); c != end; ++c) *c = *c >= 'a' ? char(*c - 'a' + 'A') : *c;
        }
        *end++ = '\n';
        raw(QByteArrayView(buf.data(), end - buf.data()));
    }
    void g(int code, const QString& v) {
        if (left(code)) return;
        groupCode(code);
        if (v_ < DxfVersion::R2007) {
            QByteArray inPage;
            appendCodePageText(inPage, v);
            raw(inPage);
        } else {
            text(v);
        }
        raw("\n");
    }
    void g(int code, int v) {
        std::array<char, 16> buf;
        const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v);
        g(code, QByteArrayView(buf.data(), res.ptr - buf.data()));
    }
    void d(int code, double v) {
        std::array<char, 40> buf;
        g(code, formatNumber(v, buf));
    }
    void pt(int code, QPointF p) {
        d(code, p.x());
        d(code + 10, p.y());
        d(code + 20, 0.0);
    }
    void pt3(int code, const Point3& p) {
        d(code, p.x);
        d(code + 10, p.y);
        d(code + 20, p.z);
    }
    void entityHead(const char* type, Handle h, Handle owner, bool paper, const QString& layer);
    bool r12() const { return v_ == DxfVersion::R12; }
    // Whether the space is in the file: before R2000 there is one paper space.
    bool written(size_t space) const {
        return !(spaces_[space].paper && space >= 2 && v_ < DxfVersion::R2000);
    }
    // A loss of the release: `what` with "%1" for how many.
    void lose(bool dropped, const QString& what) {
        auto& [isDropped, count] = losses_[what];
        isDropped = dropped;
        ++count;
    }
    // Whether the release has the entity in some form; what it has not is counted lost.
    bool writable(const Entity& e);
    void polylineBody(const Entity& e);
    void polylineVertices(const Entity& e, bool paper);
    void rawGroups(const Entity& e);

    void collect();
    void collectFrom(const Entity& e);
    QByteArray header();
    QByteArray restore(QByteArray& rest, qsizetype used);
    void tables();
    QString tableStart(const char* name, int count);
    QString record(const char* type, const QString& table, const char* subclass);
    void blocks();
    void blockMark(const char* type, const QString& handle, const SpaceOut& s,
                   const char* subclass);
    void entities();
    void objects();
    void entity(const Entity& e, Handle owner, bool paper);
    void xdataOf(const XData& x);
    void textBody(const Entity& e);
    void xdata(const Entity& e);
    void dimensionBody(const Entity& e);
    void imageBody(const Entity& e);
    void meshBody(const Entity& e, bool paper);
    void viewportBody(const Entity& e);
    void sheetViewport(const SpaceOut& s);
    void generateDimensionBlocks();
    void generateArrowBlock(const QString& arrow);
    QString blockRecordOf(const QString& block) const;
    void imageObjects();

    const Document& doc_;
    quint64 seed_;
    QByteArray out_;
    qsizetype used_ = 0;
    char* at_ = nullptr;
    // A large output is written on huge pages faulted in ahead of the writing (see run).
    std::optional<HugeHeapPages> pages_;
    NameList apps_, lineTypes_, layers_, styles_, missingBlocks_;
    std::vector<SpaceOut> spaces_;  // model, paper layouts, then blocks
    QString blockRecordTable_, layoutDict_, rootDict_, groupDict_;
    NameList dimStyles_;
    std::map<QString, QString> styleHandles_;     // upper-case text style name -> handle
    std::vector<const Entity*> dimensions_;       // in the order met
    std::map<const Entity*, QString> dimBlocks_;  // dimension -> its geometry block
    std::deque<std::vector<Entity>> generated_;   // the entities of those blocks
    std::vector<ImageDef> imageDefs_;
    std::map<const Entity*, ImageRef> images_;
    std::vector<const Entity*> imageOrder_;
    QString imageDict_, rasterVars_;
    const DxfVersion v_;
    std::map<QString, std::pair<bool, int>> losses_;  // see lose()
};

void Writer::report(DxfAudit* lost) const {
    if (!lost) return;
    for (const auto& [what, loss] : losses_) {
        lost->lines.append(what.contains(QLatin1String("%1")) ? what.arg(loss.second) : what);
        (loss.first ? lost->dropped : lost->changed) += loss.second;
    }
}

// Extended data this program keeps its own properties under; the reader takes them back
// into the entity's fields, so they never show among the entity's other extended data.
// Fill is kept only here: a HATCH entity for other programs would be a second entity to
// keep in step with the outline and is not written.
const QString kFillApp = QStringLiteral("TOLVANE_FILL");
const QString kImageApp = QStringLiteral("TOLVANE_IMAGE");
const QString kTipApp = QStringLiteral("TOLVANE_TIP");
// On STYLE records: 1070 flags, 1 underline, 2 strikeout (which DXF text styles lack).
const QString kStyleApp = QStringLiteral("TOLVANE_STYLE");

bool isOwnApp(const QString& app) {
    return sameName(app, kFillApp) || sameName(app, kImageApp) || sameName(app, kTipApp);
}

QString exact(double v) {
    return QString::number(v, 'g', 17);
}

// The names of the extended data written for what DXF has no place for, made once: a drawing
// of many filled outlines or tips writes them without looking each up.
struct OwnNames {
    Name fillApp = Name::lasting(kFillApp);
    Name imageApp = Name::lasting(kImageApp);
    Name tipApp = Name::lasting(kTipApp);
    Name fillMode = Name::lasting(QStringLiteral("FillMode"));
    Name fillColor = Name::lasting(QStringLiteral("FillColor"));
    Name fillBkColor = Name::lasting(QStringLiteral("FillBkColor"));
    Name hatchAngle = Name::lasting(QStringLiteral("HatchAngle"));
    Name hatchScale = Name::lasting(QStringLiteral("HatchScale"));
    Name rectangle = Name::lasting(QStringLiteral("Rectangle"));
    Name flags = Name::lasting(QStringLiteral("Flags"));
    Name toolTip = Name::lasting(QStringLiteral("ToolTip"));
};
const OwnNames& ownNames() {
    static const OwnNames names;
    return names;
}

// A text's or dimension's style as written: "Standard" where it has none.
const QString& styleWritten(const Entity& e) {
    return (e.style.isEmpty() ? Entity::defaultStyle() : e.style).str();
}

QList<XData> ownXData(const Entity& e) {
    const OwnNames& n = ownNames();
    QList<XData> out;
    if (e.detail->fillMode != FillNone || e.rectangle || e.detail->fillColor != kColorByLayer ||
        e.detail->fillBkColor != kColorByLayer || e.detail->hatchAngle != 0.0 ||
        e.detail->hatchScale != 1.0) {
        XData x{n.fillApp, {}};
        x.add(n.fillMode, 1070, QString::number(e.detail->fillMode));
        x.add(n.fillColor, 1070, QString::number(e.detail->fillColor));
        x.add(n.fillBkColor, 1070, QString::number(e.detail->fillBkColor));
        x.add(n.hatchAngle, 1040, exact(e.detail->hatchAngle));
        x.add(n.hatchScale, 1040, exact(e.detail->hatchScale));
        if (e.rectangle) x.add(n.rectangle, 1070, QStringLiteral("1"));
        out.append(x);
    }
    if (e.kind == EntityKind::Image && (e.detail->imageFlags & ~15) != 0) {
        XData x{n.imageApp, {}};
        x.add(n.flags, 1071, QString::number(e.detail->imageFlags));
        out.append(x);
    }
    if (!e.tooltip.isEmpty()) {
        XData x{n.tipApp, {}};
        x.add(n.toolTip, 1000, e.tooltip);
        out.append(x);
    }
    return out;
}

bool isSpecialLineType(const QString& n) {
    return sameName(n, QLatin1StringView("BYLAYER")) || sameName(n, QLatin1StringView("BYBLOCK")) ||
           sameName(n, QLatin1StringView("CONTINUOUS"));
}

void Writer::collectFrom(const Entity& e) {
    for (const XData& x : e.xdata) apps_.add(x.app);
    for (const XData& x : ownXData(e)) apps_.add(x.app);
    if (e.kind == EntityKind::Dimension) {
        dimStyles_.add(styleWritten(e));
        dimensions_.push_back(&e);
    }
    if (e.kind == EntityKind::Image && v_ >= DxfVersion::R14) {
        size_t def = 0;
        while (def < imageDefs_.size() && imageDefs_[def].file != e.detail->fileName) ++def;
        if (def == imageDefs_.size())
            imageDefs_.push_back({e.detail->fileName, e.detail->pixelSize, handle(), {}});
        const QString reactor = handle();
        imageDefs_[def].reactors.append(reactor);
        images_[&e] = {def, reactor};
        imageOrder_.push_back(&e);
    }
    layers_.add(e.layer);
    if (!isSpecialLineType(e.lineType)) lineTypes_.add(e.lineType);
    if (e.kind == EntityKind::Text || e.kind == EntityKind::AttributeDefinition ||
        e.kind == EntityKind::Attribute)
        styles_.add(e.style);
    if (e.kind == EntityKind::Insert && !doc_.block(e.blockName)) missingBlocks_.add(e.blockName);
    for (const Entity& a : e.attributes) collectFrom(a);
}

void Writer::collect() {
    apps_.add(QStringLiteral("ACAD"));
    for (const Layer& l : doc_.layers()) {
        layers_.add(l.name);
        if (!isSpecialLineType(l.lineType)) lineTypes_.add(l.lineType);
    }
    for (const LineType& t : doc_.lineTypes()) {
        if (!isSpecialLineType(t.name)) lineTypes_.add(t.name);
    }
    for (const TextStyle& s : doc_.textStyles()) {
        styles_.add(s.name);
        if (s.underline || s.strikeout) apps_.add(kStyleApp);
    }
    layers_.add(QStringLiteral("0"));
    styles_.add(QStringLiteral("Standard"));
    dimStyles_.add(QStringLiteral("Standard"));
    for (const DimStyle& s : doc_.dimStyles()) dimStyles_.add(s.name);

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
    generateDimensionBlocks();
    for (const QString& name : dimStyles_) {
        const DimStyle* ds = doc_.dimStyle(name);
        styles_.add(ds ? ds->textStyle : QStringLiteral("Standard"));
        if (ds) generateArrowBlock(ds->arrowBlock);
    }
    if (!imageDefs_.empty()) {
        imageDict_ = handle();
        rasterVars_ = handle();
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
        if (s.paper) s.viewport = handle();
    }
    rootDict_ = handle();
    groupDict_ = handle();
    layoutDict_ = handle();
}

// SOLID entities (on layer 0, by block) filling the polygon: itself when it has three or
// four corners, else a fan of triangles from its first corner.
std::vector<Entity> solids(const QPolygonF& a) {
    std::vector<Entity> out;
    auto solid = [&](std::array<QPointF, 4> c) {
        Entity e;
        e.kind = EntityKind::Other;
        e.detail.edit().typeName = QStringLiteral("SOLID");
        e.detail.edit().groups = {{100, QStringLiteral("AcDbEntity")},
                                  {8, QStringLiteral("0")},
                                  {62, QStringLiteral("0")},
                                  {100, QStringLiteral("AcDbTrace")}};
        // SOLID takes its corners in the order first, second, fourth, third.
        const std::array<QPointF, 4> order = {c[0], c[1], c[3], c[2]};
        for (int i = 0; i < 4; ++i) {
            e.detail.edit().groups.append({10 + i, QString::fromLatin1(number(order[i].x()))});
            e.detail.edit().groups.append({20 + i, QString::fromLatin1(number(order[i].y()))});
            e.detail.edit().groups.append({30 + i, QStringLiteral("0")});
        }
        out.push_back(std::move(e));
    };
    if (a.size() == 3) solid({a[0], a[1], a[2], a[2]});  // a triangle repeats its last corner
    if (a.size() == 4) solid({a[0], a[1], a[2], a[3]});
    if (a.size() > 4) {
        for (qsizetype i = 1; i + 1 < a.size(); ++i) solid({a[0], a[i], a[i + 1], a[i + 1]});
    }
    return out;
}

// A dimension style's arrow is named by its block, which other programs look up in the
// block table: a standard arrow the drawing does not define itself is written as a block.
void Writer::generateArrowBlock(const QString& arrow) {
    if (!isStandardArrow(arrow) || doc_.block(arrow)) return;
    for (const SpaceOut& s : spaces_) {
        if (s.blockName.compare(arrow, Qt::CaseInsensitive) == 0) return;
    }
    std::vector<Entity>& list = generated_.emplace_back();
    const ArrowShape shape = arrowShape(arrow);
    for (const auto& l : shape.lines) list.push_back(Entity::line(l[0], l[1]));
    for (const QPolygonF& a : shape.solids) {
        for (Entity& e : solids(a)) list.push_back(std::move(e));
    }
    for (Entity& e : list) {
        e.handle = handle();
        e.color = kColorByBlock;
        collectFrom(e);
    }
    SpaceOut s;
    s.blockName = arrow.toUpper();
    s.entities = &list;
    spaces_.push_back(s);
}

// Each dimension gets an anonymous block "*D<n>" with its drawing, for programs that show
// dimensions from their blocks rather than from the definition points.
void Writer::generateDimensionBlocks() {
    int n = 0;
    for (const Entity* dim : dimensions_) {
        QString name;
        do {
            name = QStringLiteral("*D%1").arg(++n);
        } while (doc_.block(name));
        DimensionGeometry geo = dimensionGeometry(doc_, *dim);
        // A drawing reaching beyond what a file may hold is left out; the block stays empty.
        auto fits = [](QPointF p) {
            return std::abs(p.x()) <= kMaxDxfValue && std::abs(p.y()) <= kMaxDxfValue;
        };
        bool inside = fits(geo.text.start);
        for (const auto& l : geo.lines) inside = inside && fits(l[0]) && fits(l[1]);
        for (const auto& l : geo.extensions) inside = inside && fits(l[0]) && fits(l[1]);
        for (const QPolygonF& a : geo.solids) {
            for (QPointF p : a) inside = inside && fits(p);
        }
        std::vector<Entity>& list = generated_.emplace_back();
        auto add = [&](Entity e) {
            e.handle = handle();
            e.color = kColorByBlock;
            list.push_back(std::move(e));
        };
        if (!inside) geo = DimensionGeometry{};
        for (const auto& l : geo.lines) add(Entity::line(l[0], l[1]));
        for (const auto& l : geo.extensions) {
            Entity line = Entity::line(l[0], l[1]);
            add(line);
            list.back().color = geo.extensionColor;
        }
        for (const QPolygonF& a : geo.solids) {
            for (Entity& solid : solids(a)) add(solid);
        }
        if (inside) {
            add(geo.text);
            list.back().color = geo.text.color;
        }
        for (const Entity& e : list) collectFrom(e);
        dimBlocks_[dim] = name;
        SpaceOut s;
        s.blockName = name;
        s.entities = &list;
        s.anonymous = true;
        spaces_.push_back(s);
    }
}

// The header holds what writing the rest found (the handle seed, the extents): it is written
// last, into an output of its own.
QByteArray Writer::header() {
    QByteArray rest = std::exchange(out_, {});
    const qsizetype restUsed = std::exchange(used_, 0);
    g(0, "SECTION");
    g(2, "HEADER");
    g(9, "$ACADVER");
    g(1, dxfVersionCode(v_));
    g(9, "$DWGCODEPAGE");
    g(3, "ANSI_1252");
    if (r12()) {
        g(9, "$HANDLING");  // entities keep their handles
        g(70, 1);
    }
    g(9, "$INSBASE");
    d(10, doc_.insertionBase().x());
    d(20, doc_.insertionBase().y());
    d(30, 0.0);
    g(9, "$INSUNITS");
    g(70, doc_.units());
    // The current layer, when the drawing still has it.
    g(9, "$CLAYER");
    g(8, doc_.layer(doc_.currentLayer()) ? doc_.layer(doc_.currentLayer())->name
                                         : QStringLiteral("0"));
    const DrawingSettings& set = doc_.settings();
    g(9, "$CECOLOR");
    g(62, set.color);
    g(9, "$CELTYPE");
    g(6, set.lineType);
    if (v_ >= DxfVersion::R2000) {
        g(9, "$CELWEIGHT");
        g(370, set.lineWeight);
    } else if (set.lineWeight != -1) {
        lose(true, QStringLiteral("the lineweight of new entities dropped: %2 has none")
                       .arg(dxfReleaseName(v_)));
    }
    g(9, "$TEXTSIZE");
    d(40, set.textHeight);
    // The style names only when the drawing has the style, as other programs expect.
    g(9, "$TEXTSTYLE");
    g(7, doc_.textStyle(set.textStyle) ? doc_.textStyle(set.textStyle)->name
                                       : QStringLiteral("Standard"));
    g(9, "$DIMSTYLE");
    g(2,
      doc_.dimStyle(set.dimStyle) ? doc_.dimStyle(set.dimStyle)->name : QStringLiteral("Standard"));
    g(9, "$LUNITS");
    g(70, set.linearUnits);
    g(9, "$LUPREC");
    g(70, set.precision);
    g(9, "$LIMMIN");
    d(10, set.limitsMin.x());
    d(20, set.limitsMin.y());
    g(9, "$LIMMAX");
    d(10, set.limitsMax.x());
    d(20, set.limitsMax.y());
    g(9, "$LTSCALE");
    d(40, set.lineTypeScale);
    g(9, "$ORTHOMODE");
    g(70, set.orthoMode ? 1 : 0);
    g(9, "$PDMODE");
    g(70, set.pointMode);
    g(9, "$PDSIZE");
    d(40, set.pointSize);
    g(9, "$PLINEWID");
    d(40, set.polylineWidth);
    g(9, "$SHADEDGE");
    g(70, std::clamp(set.shadeEdge, 0, 3));
    g(9, "$HANDSEED");
    g(5, QString::number(seed_, 16).toUpper());
    g(0, "ENDSEC");
    if (r12()) return restore(rest, restUsed);
    g(0, "SECTION");
    g(2, "CLASSES");
    if (!imageDefs_.empty()) {
        struct Class {
            const char *name, *cpp;
            int flags, entity;
        };
        const Class classes[] = {{"IMAGE", "AcDbRasterImage", 2175, 1},
                                 {"IMAGEDEF", "AcDbRasterImageDef", 0, 0},
                                 {"IMAGEDEF_REACTOR", "AcDbRasterImageDefReactor", 1, 0},
                                 {"RASTERVARIABLES", "AcDbRasterVariables", 0, 0}};
        for (const Class& c : classes) {
            g(0, "CLASS");
            g(1, QByteArrayView(c.name));
            g(2, QByteArrayView(c.cpp));
            g(3, "ISM");
            g(90, c.flags);
            g(280, 0);
            g(281, c.entity);
        }
    }
    g(0, "ENDSEC");
    return restore(rest, restUsed);
}

// Gives back the output the header was written apart from, and the header's bytes.
QByteArray Writer::restore(QByteArray& rest, qsizetype used) {
    QByteArray head = written();
    out_ = std::move(rest);
    used_ = used;
    at_ = out_.data();
    return head;
}

QString Writer::tableStart(const char* name, int count) {
    const QString h = handle();
    g(0, "TABLE");
    g(2, QByteArrayView(name));
    if (r12()) {
        g(70, count);
        return h;
    }
    g(5, h);
    g(330, "0");
    g(100, "AcDbSymbolTable");
    g(70, count);
    return h;
}

QString Writer::record(const char* type, const QString& table, const char* subclass) {
    const QString h = handle();
    g(0, QByteArrayView(type));
    if (!r12()) g(5, h);
    g(330, table);
    g(100, "AcDbSymbolTableRecord");
    g(100, QByteArrayView(subclass));
    return h;
}

void Writer::tables() {
    g(0, "SECTION");
    g(2, "TABLES");

    QString t = tableStart("VPORT", 1);
    record("VPORT", t, "AcDbViewportTableRecord");
    g(2, "*Active");
    g(70, 0);
    // The drawing aids live in the active viewport: snap (14, 24, 75) and grid (15, 25, 76).
    const DrawingSettings& aids = doc_.settings();
    const std::pair<int, double> vport[] = {{10, 0},
                                            {20, 0},
                                            {11, 1},
                                            {21, 1},
                                            {12, 0},
                                            {22, 0},
                                            {13, 0},
                                            {23, 0},
                                            {14, aids.snapSpacing.x()},
                                            {24, aids.snapSpacing.y()},
                                            {15, aids.gridSpacing.x()},
                                            {25, aids.gridSpacing.y()},
                                            {16, 0},
                                            {26, 0},
                                            {36, 1},
                                            {17, 0},
                                            {27, 0},
                                            {37, 0},
                                            {40, 100},
                                            {41, 1.5},
                                            {42, aids.focalLength},
                                            {43, 0},
                                            {44, 0},
                                            {50, 0},
                                            {51, 0}};
    for (const auto& [code, v] : vport) d(code, v);
    for (int code : {71, 72, 73, 74, 75, 76, 77, 78}) {
        const int value = code == 72   ? 100
                          : code == 75 ? int(aids.snapMode)
                          : code == 76 ? int(aids.gridMode)
                                       : 0;
        g(code, value);
    }
    g(0, "ENDTAB");

    t = tableStart("LTYPE", (r12() ? 1 : 3) + int(lineTypes_.size()));
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
            if (!r12()) g(74, 0);
        }
    };
    if (!r12()) {
        ltype(QStringLiteral("ByBlock"), {}, {});
        ltype(QStringLiteral("ByLayer"), {}, {});
    }
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
        if (v_ >= DxfVersion::R2000) g(370, -3);
    }
    g(0, "ENDTAB");

    t = tableStart("STYLE", int(styles_.size()));
    for (const QString& name : styles_) {
        const TextStyle* s = doc_.textStyle(name);
        const TextStyle style = s ? *s : TextStyle{name};
        styleHandles_[name.toUpper()] = record("STYLE", t, "AcDbTextStyleTableRecord");
        g(2, style.name);
        g(70, 0);
        d(40, style.height);
        d(41, style.widthFactor);
        d(50, 0);
        g(71, 0);
        d(42, 2.5);
        g(3, style.font);
        g(4, "");
        // TrueType faces carry their family and bold / italic in the ACAD extended data.
        if (!isStrokeFont(style.font) || style.bold || style.italic) {
            g(1001, "ACAD");
            const QFileInfo file(style.font);
            g(1000, file.suffix().isEmpty() ? style.font : file.completeBaseName());
            g(1071, (style.bold ? 0x1000000 : 0) | (style.italic ? 0x2000000 : 0) | 34);
        }
        if (style.underline || style.strikeout) {
            g(1001, kStyleApp);
            g(1070, (style.underline ? 1 : 0) | (style.strikeout ? 2 : 0));
        }
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

    t = tableStart("DIMSTYLE", int(dimStyles_.size()));
    g(100, "AcDbDimStyleTable");
    for (const QString& name : dimStyles_) {
        const DimStyle* ds = doc_.dimStyle(name);
        const DimStyle style = ds ? *ds : DimStyle{name};
        g(0, "DIMSTYLE");
        const QString h = handle();
        if (!r12()) g(105, h);
        g(330, t);
        g(100, "AcDbSymbolTableRecord");
        g(100, "AcDbDimStyleTableRecord");
        g(2, style.name);
        g(70, 0);
        d(41, style.arrowSize);
        d(42, style.extensionOffset);
        d(44, style.extensionExtension);
        d(40, style.scale);
        g(73, style.textHorizontal ? 1 : 0);
        g(74, style.textHorizontal ? 1 : 0);
        g(75, style.showExtension1 ? 0 : 1);
        g(76, style.showExtension2 ? 0 : 1);
        g(77, style.textAbove ? 1 : 0);
        d(140, style.textHeight);
        d(147, style.textGap);
        g(177, std::clamp(style.extensionColor, 0, 256));
        g(178, std::clamp(style.textColor, 0, 256));
        if (r12()) continue;  // R12 names neither the text style nor the decimals
        g(271, style.decimals);
        const auto sh = styleHandles_.find(style.textStyle.toUpper());
        if (sh != styleHandles_.end()) g(340, sh->second);
        if (v_ >= DxfVersion::R2000) {
            if (const QString arrow = blockRecordOf(style.arrowBlock); !arrow.isEmpty())
                g(342, arrow);
        } else if (!style.arrowBlock.isEmpty()) {
            g(5, style.arrowBlock);  // by name before R2000
        }
    }
    g(0, "ENDTAB");

    if (!r12()) {
        int records = 0;
        for (size_t i = 0; i < spaces_.size(); ++i) records += written(i) ? 1 : 0;
        blockRecordTable_ = tableStart("BLOCK_RECORD", records);
        for (size_t i = 0; i < spaces_.size(); ++i) {
            const SpaceOut& s = spaces_[i];
            if (!written(i)) continue;
            g(0, "BLOCK_RECORD");
            g(5, s.record);
            g(330, blockRecordTable_);
            g(100, "AcDbSymbolTableRecord");
            g(100, "AcDbBlockTableRecord");
            g(2, s.blockName);
            if (v_ >= DxfVersion::R2000)
                g(340, s.layout.isEmpty() ? QStringLiteral("0") : s.layout);
        }
        g(0, "ENDTAB");
    }
    g(0, "ENDSEC");
}

QString Writer::blockRecordOf(const QString& block) const {
    if (block.isEmpty()) return {};
    for (const SpaceOut& s : spaces_) {
        if (!s.anonymous && s.blockName.compare(block, Qt::CaseInsensitive) == 0) return s.record;
    }
    return {};
}

// The BLOCK or ENDBLK record that opens or closes a space's block.
void Writer::blockMark(const char* type, const QString& handle, const SpaceOut& s,
                       const char* subclass) {
    g(0, QByteArrayView(type));
    if (!r12()) g(5, handle);
    g(330, s.record);
    g(100, "AcDbEntity");
    if (s.paper && !r12()) g(67, 1);
    g(8, "0");
    g(100, QByteArrayView(subclass));
}

void Writer::blocks() {
    g(0, "SECTION");
    g(2, "BLOCKS");
    for (size_t i = 0; i < spaces_.size(); ++i) {
        const SpaceOut& s = spaces_[i];
        // R12 keeps model and paper space in the ENTITIES section only.
        if (!written(i)) {
            lose(true,
                 QStringLiteral("%1 sheet(s) beyond the first dropped: %2 has one paper space")
                     .arg(QStringLiteral("%1"), dxfReleaseName(v_)));
            continue;
        }
        if (r12() && i < 2) continue;
        blockMark("BLOCK", s.begin, s, "AcDbBlockBegin");
        g(2, s.blockName);
        g(70, s.anonymous ? 1 : 0);
        pt(10, s.base);
        g(3, s.blockName);
        g(1, "");
        // Model space and the first layout keep their entities in the ENTITIES section.
        if (i >= 2) {
            if (s.paper) sheetViewport(s);
            const Handle record(s.record);
            for (const Entity& e : *s.entities) entity(e, record, s.paper);
        }
        blockMark("ENDBLK", s.end, s, "AcDbBlockEnd");
    }
    g(0, "ENDSEC");
}

void Writer::entities() {
    g(0, "SECTION");
    g(2, "ENTITIES");
    const SpaceOut& sheet = spaces_[1];
    if (v_ < DxfVersion::R2000 && !doc_.layouts().empty() &&
        sheet.layoutName.compare(QLatin1String("Layout1"), Qt::CaseInsensitive) != 0)
        lose(false, QStringLiteral("the sheet \"%1\" written without its name: %2 names no sheets")
                        .arg(QString(sheet.layoutName).replace(QLatin1Char('%'), QLatin1Char('_')),
                             dxfReleaseName(v_)));
    for (size_t i = 0; i < 2; ++i) {
        if (spaces_[i].paper && v_ >= DxfVersion::R2000) sheetViewport(spaces_[i]);
        unsigned written = 0;
        const Handle record(spaces_[i].record);
        for (const Entity& e : *spaces_[i].entities) {
            entity(e, record, i == 1);
            if (pages_ && (++written & 1023) == 0) pages_->advise(at_ + used_);
        }
    }
    g(0, "ENDSEC");
}

void Writer::textBody(const Entity& e) {
    g(100, "AcDbText");
    pt(10, e.start);
    d(40, e.height);
    g(1, e.text);
    if (e.rotation != 0.0) d(50, e.rotation);
    g(7, styleWritten(e));
    if (e.hAlign != 0) g(72, e.hAlign);
    if (e.hAlign != 0 || e.vAlign != 0) pt(11, e.end);
}

// The entity types of R12, the only ones kept as read that its files may hold.
bool isR12Type(const QString& type) {
    static const QSet<QString> types = {
        QStringLiteral("LINE"),   QStringLiteral("POINT"),    QStringLiteral("CIRCLE"),
        QStringLiteral("ARC"),    QStringLiteral("TRACE"),    QStringLiteral("SOLID"),
        QStringLiteral("TEXT"),   QStringLiteral("SHAPE"),    QStringLiteral("INSERT"),
        QStringLiteral("ATTDEF"), QStringLiteral("POLYLINE"), QStringLiteral("VERTEX"),
        QStringLiteral("SEQEND"), QStringLiteral("3DFACE"),   QStringLiteral("DIMENSION"),
        QStringLiteral("3DLINE")};
    return types.contains(type.toUpper());
}

bool Writer::writable(const Entity& e) {
    if (v_ == DxfVersion::R2007) return true;
    switch (e.kind) {
        case EntityKind::Ellipse:
            // A circular ellipse is written as the circle or arc it is.
            if (r12() && e.ratio != 1.0) {
                lose(true, QStringLiteral("%1 ellipse(s) dropped: R12 has no ellipse"));
                return false;
            }
            return true;
        case EntityKind::Image:
            if (v_ < DxfVersion::R14) {
                lose(true, QStringLiteral("%1 image(s) dropped: %2 has no raster image")
                               .arg(QStringLiteral("%1"), dxfReleaseName(v_)));
                return false;
            }
            return true;
        case EntityKind::Viewport:
            // Before R2000 a viewport keeps its view in extended data of another form.
            if (v_ < DxfVersion::R2000) {
                if (e.detail->viewportId != 1)
                    lose(true, QStringLiteral("%1 viewport(s) dropped: not written before R2000"));
                return false;
            }
            return true;
        case EntityKind::Other:
            if (r12() && !isR12Type(e.detail->typeName)) {
                lose(true, QStringLiteral("%1 %2 dropped: R12 has no such entity")
                               .arg(QStringLiteral("%1"), e.detail->typeName.toUpper()));
                return false;
            }
            return true;
        default:
            return true;
    }
}

// The groups of an entity kept as read, without those the release does not have: before
// R2000 lineweights, true colours, transparency and plot styles.
void Writer::rawGroups(const Entity& e) {
    bool lostWeight = false, lostColour = false;
    for (const RawGroup& r : e.detail->groups) {
        if (v_ < DxfVersion::R2000) {
            if (r.code == 370) {
                lostWeight = true;
                continue;
            }
            if ((r.code >= 420 && r.code <= 449) || r.code == 390 || r.code == 284) {
                lostColour = lostColour || (r.code >= 420 && r.code <= 429);
                continue;
            }
        }
        g(r.code, r.value);
    }
    const QString release = dxfReleaseName(v_);
    if (lostWeight)
        lose(true, QStringLiteral("the lineweight of %1 entities dropped: %2 has none")
                       .arg(QStringLiteral("%1"), release));
    if (lostColour)
        lose(true, QStringLiteral("the true colour of %1 entities dropped (their palette colour "
                                  "kept): %2 has none")
                       .arg(QStringLiteral("%1"), release));
}

void Writer::entity(const Entity& e, Handle owner, bool paper) {
    static const char* const kTypes[] = {
        "LINE",   "LWPOLYLINE", "CIRCLE",    "ARC",   "ELLIPSE", "POINT",    "TEXT",    "ATTDEF",
        "ATTRIB", "INSERT",     "DIMENSION", "IMAGE", "3DFACE",  "POLYLINE", "VIEWPORT"};
    if (!writable(e)) return;
    if (e.kind == EntityKind::Other) {
        g(0, e.detail->typeName);
        g(5, e.handle);
        g(330, owner);
        rawGroups(e);
        xdata(e);
        return;
    }
    // Light polylines came with R14; before they are POLYLINEs with their VERTEXes.
    const bool heavy = e.kind == EntityKind::Polyline && v_ < DxfVersion::R14;
    const bool circular = e.kind == EntityKind::Ellipse && r12();
    const bool whole =
        circular && std::abs(std::remainder(e.endAngle - e.startAngle, 2 * M_PI)) < 1e-12;
    const char* type = heavy      ? "POLYLINE"
                       : circular ? (whole ? "CIRCLE" : "ARC")
                                  : kTypes[int(e.kind)];
    entityHead(type, e.handle, owner, paper, e.layer);
    if (!e.lineType.isEmpty() && !sameName(e.lineType, QLatin1StringView("BYLAYER")))
        g(6, e.lineType);
    if (e.color != kColorByLayer) g(62, e.color);
    if (e.lineWeight != -1) {
        if (v_ >= DxfVersion::R2000)
            g(370, e.lineWeight);
        else
            lose(true, QStringLiteral("the lineweight of %1 entities dropped: %2 has none")
                           .arg(QStringLiteral("%1"), dxfReleaseName(v_)));
    }
    if (circular) {
        // Its parameters are angles from the major axis, which the arc's start from east.
        const double radius = std::hypot(e.end.x(), e.end.y());
        const double axis = std::atan2(e.end.y(), e.end.x()) * 180.0 / M_PI;
        pt(10, e.start);
        d(40, radius);
        if (!whole) {
            d(50, axis + e.startAngle * 180.0 / M_PI);
            d(51, axis + e.endAngle * 180.0 / M_PI);
        }
        lose(false, QStringLiteral("%1 circular ellipse(s) written as circles or arcs"));
        xdata(e);
        return;
    }
    switch (e.kind) {
        case EntityKind::Line:
            g(100, "AcDbLine");
            pt(10, e.start);
            pt(11, e.end);
            break;
        case EntityKind::Polyline:
            polylineBody(e);
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
            g(3, e.detail->prompt);
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
        case EntityKind::Dimension:
            dimensionBody(e);
            break;
        case EntityKind::Image:
            imageBody(e);
            break;
        case EntityKind::Face3D:
            g(100, "AcDbFace");
            for (int i = 0; i < 4; ++i)
                pt3(10 + i,
                    e.detail->points3.value(std::min<qsizetype>(i, e.detail->points3.size() - 1)));
            g(70, e.detail->edgeFlags & 15);
            break;
        case EntityKind::PolyfaceMesh:
            g(100, "AcDbPolyFaceMesh");
            g(66, 1);
            pt(10, {});
            g(70, 64);
            g(71, int(e.detail->points3.size()));
            g(72, int(e.detail->faces.size()));
            break;
        case EntityKind::Viewport:
            viewportBody(e);
            break;
        case EntityKind::Other:
            break;
    }
    xdata(e);
    if (e.kind == EntityKind::PolyfaceMesh) meshBody(e, paper);
    if (heavy) polylineVertices(e, paper);
    if (e.kind == EntityKind::Insert && !e.attributes.empty()) {
        for (const Entity& a : e.attributes) {
            if (a.kind == EntityKind::Attribute) {
                entity(a, e.handle, paper);
            } else {
                Entity attrib = a;
                attrib.kind = EntityKind::Attribute;
                entity(attrib, e.handle, paper);
            }
        }
        entityHead("SEQEND", handle(), e.handle, paper, e.layer);
    }
}

// A polyline's own groups: a light one's with its vertices, or a POLYLINE's head.
void Writer::polylineBody(const Entity& e) {
    const EntityDetail& detail = *e.detail;
    const bool varying = !detail.vertexWidths.isEmpty();
    if (v_ < DxfVersion::R14) {
        g(100, "AcDb2dPolyline");
        g(66, 1);
        pt(10, {});
        g(70, e.closed ? 1 : 0);
        if (detail.width > 0.0 && !varying) {
            d(40, detail.width);
            d(41, detail.width);
        }
        lose(false, QStringLiteral("%1 light polyline(s) written as POLYLINE (%2 has no "
                                   "LWPOLYLINE)")
                        .arg(QStringLiteral("%1"), dxfReleaseName(v_)));
        return;
    }
    g(100, "AcDbPolyline");
    g(90, int(e.vertices.size()));
    g(70, e.closed ? 1 : 0);
    if (detail.width > 0.0 && !varying) d(43, detail.width);
    for (qsizetype i = 0; i < e.vertices.size(); ++i) {
        const Vertex& v = e.vertices[i];
        d(10, v.pos.x());
        d(20, v.pos.y());
        if (varying) {
            const QPointF w = detail.vertexWidths.value(i);
            d(40, w.x());
            d(41, w.y());
        }
        if (v.bulge != 0.0) d(42, v.bulge);
    }
}

void Writer::polylineVertices(const Entity& e, bool paper) {
    const EntityDetail& detail = *e.detail;
    for (qsizetype i = 0; i < e.vertices.size(); ++i) {
        const Vertex& v = e.vertices[i];
        entityHead("VERTEX", handle(), e.handle, paper, e.layer);
        g(100, "AcDbVertex");
        g(100, "AcDb2dVertex");
        pt(10, v.pos);
        if (!detail.vertexWidths.isEmpty()) {
            const QPointF w = detail.vertexWidths.value(i);
            d(40, w.x());
            d(41, w.y());
        }
        if (v.bulge != 0.0) d(42, v.bulge);
        g(70, 0);
    }
    entityHead("SEQEND", handle(), e.handle, paper, e.layer);
}

void Writer::entityHead(const char* type, Handle h, Handle owner, bool paper,
                        const QString& layer) {
    g(0, QByteArrayView(type));
    g(5, h);
    g(330, owner);
    g(100, "AcDbEntity");
    if (paper) g(67, 1);
    g(8, layer.isEmpty() ? QStringLiteral("0") : layer);
}

void Writer::dimensionBody(const Entity& e) {
    g(100, "AcDbDimension");
    const auto block = dimBlocks_.find(&e);
    g(2, block == dimBlocks_.end() ? QString() : block->second);
    pt(10, e.start);
    pt(11, e.end);
    g(70,
      int(e.detail->dimType) | 32 | 128);  // block of this dimension only, text where it was put
    g(71, 5);                              // text attached at its middle
    if (!e.text.isEmpty()) g(1, e.text);
    g(3, styleWritten(e));
    const auto& p = e.detail->dimPoints;
    switch (e.detail->dimType) {
        case DimensionType::Linear:
        case DimensionType::Aligned:
            g(100, "AcDbAlignedDimension");
            pt(13, p[0]);
            pt(14, p[1]);
            if (e.detail->dimType == DimensionType::Linear) {
                d(50, e.rotation);
                g(100, "AcDbRotatedDimension");
            }
            break;
        case DimensionType::Radius:
        case DimensionType::Diameter:
            g(100, QByteArrayView(e.detail->dimType == DimensionType::Radius
                                      ? "AcDbRadialDimension"
                                      : "AcDbDiametricDimension"));
            pt(15, p[2]);
            d(40, 0);
            break;
        case DimensionType::Angular:
            g(100, "AcDb2LineAngularDimension");
            pt(13, p[0]);
            pt(14, p[1]);
            pt(15, p[2]);
            pt(16, p[3]);
            break;
        case DimensionType::Angular3Point:
            g(100, "AcDb3PointAngularDimension");
            pt(13, p[0]);
            pt(14, p[1]);
            pt(15, p[2]);
            break;
    }
}

// DXF keeps the size of one pixel; the document the size of the whole image.
void Writer::imageBody(const Entity& e) {
    const int w = std::max(1, e.detail->pixelSize.width()),
              h = std::max(1, e.detail->pixelSize.height());
    const auto ref = images_.find(&e);
    g(100, "AcDbRasterImage");
    g(90, 0);
    pt(10, e.start);
    pt(11, e.detail->uVector / w);
    pt(12, e.detail->vVector / h);
    d(13, w);
    d(23, h);
    g(340, ref == images_.end() ? QStringLiteral("0") : imageDefs_[ref->second.def].handle);
    g(70, e.detail->imageFlags & 15);
    g(280, 0);
    g(281, 50);
    g(282, 50);
    g(283, 0);
    g(360, ref == images_.end() ? QStringLiteral("0") : ref->second.reactor);
    g(71, 1);
    g(91, 2);
    d(14, -0.5);
    d(24, -0.5);
    d(14, w - 0.5);
    d(24, h - 0.5);
}

void Writer::meshBody(const Entity& e, bool paper) {
    for (const Point3& p : e.detail->points3) {
        entityHead("VERTEX", handle(), e.handle, paper, e.layer);
        g(100, "AcDbVertex");
        g(100, "AcDbPolyFaceMeshVertex");
        pt3(10, p);
        g(70, 192);
    }
    for (const MeshFace& f : e.detail->faces) {
        entityHead("VERTEX", handle(), e.handle, paper, e.layer);
        g(100, "AcDbFaceRecord");
        pt(10, {});
        g(70, 128);
        for (int i = 0; i < 4; ++i) {
            if (f.index[i] != 0 || i < 3) g(71 + i, f.index[i]);
        }
    }
    entityHead("SEQEND", handle(), e.handle, paper, e.layer);
}

void Writer::viewportBody(const Entity& e) {
    g(100, "AcDbViewport");
    pt(10, e.start);
    d(40, e.detail->width);
    d(41, e.height);
    g(68, e.detail->viewportStatus);
    g(69, e.detail->viewportId);
    d(12, e.detail->viewCentre.x());
    d(22, e.detail->viewCentre.y());
    d(13, 0);
    d(23, 0);
    for (int code : {14, 24, 15, 25}) d(code, 10);
    pt(16, {});
    d(36, 1);
    pt(17, {});
    d(42, 50);
    d(43, 0);
    d(44, 0);
    d(45, e.detail->viewHeight);
    d(50, 0);
    d(51, 0);
    g(72, 1000);
    g(90, 32864);
    g(1, "");
    g(281, 0);
    g(71, 1);
    g(74, 0);
    pt(110, {});
    pt(111, {1, 0});
    pt(112, {0, 1});
    g(79, 0);
    d(146, 0);
}

// The viewport of the sheet itself (id 1), which other programs expect first in a layout;
// the sheet is the A3 of the layout's limits.
void Writer::sheetViewport(const SpaceOut& s) {
    Entity vp = Entity::viewport({210, 148.5}, 420, 297, {210, 148.5}, 297);
    vp.detail.edit().viewportId = 1;
    entityHead("VIEWPORT", s.viewport, s.record, true, QStringLiteral("0"));
    viewportBody(vp);
}

void Writer::xdata(const Entity& e) {
    for (const XData& x : e.xdata) {
        if (!isOwnApp(x.app)) xdataOf(x);
    }
    for (const XData& x : ownXData(e)) xdataOf(x);
}

void Writer::xdataOf(const XData& x) {
    if (x.app.isEmpty()) return;
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

void Writer::objects() {
    if (r12()) return;
    g(0, "SECTION");
    g(2, "OBJECTS");
    g(0, "DICTIONARY");
    g(5, rootDict_);
    g(330, "0");
    g(100, "AcDbDictionary");
    g(281, 1);
    g(3, "ACAD_GROUP");
    g(350, groupDict_);
    const bool layouts = v_ >= DxfVersion::R2000;
    if (layouts) {
        g(3, "ACAD_LAYOUT");
        g(350, layoutDict_);
    }
    if (!imageDefs_.empty()) {
        g(3, "ACAD_IMAGE_DICT");
        g(350, imageDict_);
        g(3, "ACAD_IMAGE_VARS");
        g(350, rasterVars_);
    }
    g(0, "DICTIONARY");
    g(5, groupDict_);
    g(330, rootDict_);
    g(100, "AcDbDictionary");
    g(281, 1);
    if (!layouts) {
        if (!imageDefs_.empty()) imageObjects();
        g(0, "ENDSEC");
        return;
    }
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
        if (!s.viewport.isEmpty()) g(331, s.viewport);
    }
    if (!imageDefs_.empty()) imageObjects();
    g(0, "ENDSEC");
}

void Writer::imageObjects() {
    g(0, "DICTIONARY");
    g(5, imageDict_);
    g(330, rootDict_);
    g(100, "AcDbDictionary");
    g(281, 1);
    QStringList names;
    for (const ImageDef& def : imageDefs_) {
        QString name = QFileInfo(def.file).completeBaseName();
        if (name.isEmpty()) name = QStringLiteral("image");
        const QString base = name;
        for (int n = 2; names.contains(name, Qt::CaseInsensitive); ++n)
            name = QStringLiteral("%1_%2").arg(base).arg(n);
        names.append(name);
        g(3, name);
        g(350, def.handle);
    }
    bool frames = false;
    for (const Entity* image : imageOrder_) frames |= !(image->detail->imageFlags & ImageHideFrame);
    g(0, "RASTERVARIABLES");
    g(5, rasterVars_);
    g(330, rootDict_);
    g(100, "AcDbRasterVariables");
    g(90, 0);
    g(70, frames ? 1 : 0);
    g(71, 1);
    g(72, 0);
    for (const ImageDef& def : imageDefs_) {
        g(0, "IMAGEDEF");
        g(5, def.handle);
        g(102, "{ACAD_REACTORS");
        g(330, imageDict_);
        for (const QString& r : def.reactors) g(330, r);
        g(102, "}");
        g(330, imageDict_);
        g(100, "AcDbRasterImageDef");
        g(90, 0);
        g(1, def.file);
        d(10, std::max(1, def.size.width()));
        d(20, std::max(1, def.size.height()));
        d(11, 1);
        d(21, 1);
        g(280, 1);
        g(281, 0);
    }
    for (const Entity* image : imageOrder_) {
        g(0, "IMAGEDEF_REACTOR");
        g(5, images_[image].reactor);
        g(330, image->handle);
        g(100, "AcDbRasterImageDefReactor");
        g(90, 2);
        g(330, image->handle);
    }
}

QByteArray Writer::run() {
    // About 320 bytes per entity of a schematic: reserved once rather than grown.
    size_t count = doc_.modelSpace().entities.size();
    for (const Space& s : doc_.layouts()) count += s.entities.size();
    for (const Block& b : doc_.blocks()) count += b.entities.size();
    out_.resize(qsizetype(std::min<size_t>(count * 384 + 65536, size_t(1) << 31)));
    at_ = out_.data();
    // The output is written from its start to its end once: its pages are faulted in ahead of
    // the writing where a thread can do it (the program's first thread), and those left past
    // its end given back.
    constexpr qsizetype kLargeOutput = qsizetype(8) << 20;
    if (out_.size() >= kLargeOutput) {
        pages_.emplace();
        pages_->writeAhead(at_, size_t(out_.size()));
    }
    // Room kept at the front for the header, written last: it goes in front of the rest
    // without the rest being copied behind it.
    constexpr qsizetype kHeaderRoom = 64 << 10;
    used_ = kHeaderRoom;
    collect();
    tables();
    blocks();
    entities();
    objects();
    g(0, "EOF");
    if (pages_) {
        pages_->endList(at_ + used_);
        pages_.reset();
    }
    const QByteArray head = header();
    QByteArray all = written();
    if (head.size() > kHeaderRoom) return head + all.sliced(kHeaderRoom);
    std::memcpy(all.data() + kHeaderRoom - head.size(), head.constData(), size_t(head.size()));
    all.remove(0, kHeaderRoom - head.size());  // moves the start: nothing is copied
    return all;
}

}  // namespace

namespace {

// The groups of an ASCII file as binary DXF of the same version: each value in the form its
// group code gives it. A value of a number group that is no number (the writer writes none)
// is written as zero.
QByteArray toBinary(const QByteArray& ascii, bool shortCodes) {
    using namespace dxfbinary;
    QByteArray out;
    out.reserve(ascii.size() * 3 / 4);
    out.append(kBinarySentinel.data(), kBinarySentinel.size());
    const char* p = ascii.constData();
    const char* end = p + ascii.size();
    auto line = [&](QByteArrayView* v) {
        if (p >= end) return false;
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        const char* stop = nl ? nl : end;
        *v = QByteArrayView(p, stop - p);
        if (!v->isEmpty() && v->back() == '\r') v->chop(1);
        p = nl ? nl + 1 : end;
        return true;
    };
    auto put = [&](const void* bytes, qsizetype n) {
        out.append(static_cast<const char*>(bytes), n);
    };
    QByteArrayView codeText, value;
    while (line(&codeText) && line(&value)) {
        const QByteArrayView c = codeText.trimmed();
        int code = 0;
        std::from_chars(c.data(), c.data() + c.size(), code);
        const quint16 code16 = quint16(qint16(code));
        // R12 gives a code one byte, 255 and two more for a code beyond.
        if (shortCodes && code >= 0 && code < 255) {
            out.append(char(uchar(code)));
        } else {
            if (shortCodes) out.append(char(uchar(255)));
            const unsigned char codeBytes[2] = {uchar(code16 & 0xFF), uchar(code16 >> 8)};
            put(codeBytes, 2);
        }
        const auto [form, width] = binaryForm(code);
        const QByteArrayView v = form == Form::Text ? value : value.trimmed();
        if (form == Form::Text) {
            put(v.data(), v.size());
            out.append('\0');
        } else if (form == Form::Chunk) {
            const QByteArray bytes = QByteArray::fromHex(v.toByteArray()).left(255);
            out.append(char(uchar(bytes.size())));
            out.append(bytes);
        } else if (form == Form::Real) {
            double d = 0;
            std::from_chars(v.data(), v.data() + v.size(), d);
            unsigned char b[8];
            quint64 bits;
            std::memcpy(&bits, &d, 8);
            for (int k = 0; k < 8; ++k) b[k] = uchar(bits >> (8 * k));
            put(b, 8);
        } else {
            long long n = 0;
            std::from_chars(v.data(), v.data() + v.size(), n);
            // A value beyond the width of its group is kept at the nearest it can hold.
            const long long lo = width == 1   ? 0
                                 : width == 2 ? INT16_MIN
                                 : width == 4 ? INT32_MIN
                                              : INT64_MIN;
            const long long hi = width == 1   ? 255
                                 : width == 2 ? INT16_MAX
                                 : width == 4 ? INT32_MAX
                                              : INT64_MAX;
            const quint64 bits = quint64(std::clamp(n, lo, hi));
            unsigned char b[8];
            for (int k = 0; k < width; ++k) b[k] = uchar(bits >> (8 * k));
            put(b, width);
        }
    }
    return out;
}

}  // namespace

namespace {

// Each release's $ACADVER code and the name the user knows it by.
struct Release {
    const char* code;
    const char* name;
};

Release releaseOf(DxfVersion version) {
    switch (version) {
        case DxfVersion::R12:
            return {"AC1009", "R12"};
        case DxfVersion::R13:
            return {"AC1012", "R13"};
        case DxfVersion::R14:
            return {"AC1014", "R14"};
        case DxfVersion::R2000:
            return {"AC1015", "R2000"};
        case DxfVersion::R2007:
            break;
    }
    return {"AC1021", "R2007"};
}

}  // namespace

QString dxfVersionCode(DxfVersion version) {
    return QString::fromLatin1(releaseOf(version).code);
}

QString dxfReleaseName(DxfVersion version) {
    return QString::fromLatin1(releaseOf(version).name);
}

namespace {

// What QSaveFile puts after a path for its temporary file: a dot and six letters or digits. A
// save killed before its rename leaves a file so named; the file a save replaces is given such
// a name while it is freed (see Retired).
constexpr int kLeftoverLength = 6;
constexpr std::string_view kLeftoverLetters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// The file a save replaces keeps a second name, one a killed save's leftover would have,
// until the new file has taken its place; that name is then removed on a thread of its own.
// Freeing the blocks of a large file takes the file system milliseconds for every few tens of
// megabytes, which the save no longer waits for. A run that ends before leaves the name to
// removeSaveLeftovers.
class Retired {
  public:
    static Retired& instance() {
        static Retired r;
        return r;
    }
    ~Retired() {
        if (last_.joinable()) last_.join();
    }
    // The second name given to the regular file at `path`; none when it cannot have one
    // (no such file, a file system without hard links).
    QString keep(const QString& path) {
        const QFileInfo info(path);
        if (!info.isFile() || info.isSymLink()) return {};
        for (int attempt = 0; attempt < 8; ++attempt) {
            QString name = info.absoluteFilePath() + QLatin1Char('.');
            for (int k = 0; k < kLeftoverLength; ++k)
                name += QLatin1Char(kLeftoverLetters[QRandomGenerator::global()->bounded(
                    quint32(kLeftoverLetters.size()))]);
            if (::link(QFile::encodeName(path).constData(), QFile::encodeName(name).constData()) ==
                0)
                return name;
            if (errno != EEXIST) return {};
        }
        return {};
    }
    // Removes the name given by keep() on a thread of its own.
    void remove(const QString& name) {
        QMutexLocker saving(&saving_);
        if (last_.joinable()) last_.join();  // long done: saves come seconds apart
        QMutexLocker lock(&mutex_);
        pending_.insert(name);
        last_ = std::thread([this, name] {
            ::unlink(QFile::encodeName(name).constData());
            QMutexLocker lock(&mutex_);
            pending_.remove(name);
        });
    }
    // Whether `name` is being removed here.
    bool pending(const QString& name) {
        QMutexLocker lock(&mutex_);
        return pending_.contains(name);
    }

  private:
    QMutex saving_;  // one save at a time starts a removal
    QMutex mutex_;   // for pending_
    QSet<QString> pending_;
    std::thread last_;
};

}  // namespace

QByteArray writeDxf(const Document& doc, DxfFormat format, DxfVersion version, DxfAudit* lost) {
    Writer writer(doc, version);
    QByteArray ascii = writer.run();
    writer.report(lost);
    if (lost) lost->format = format;
    return format == DxfFormat::Binary ? toBinary(ascii, version == DxfVersion::R12) : ascii;
}

bool saveDxf(const Document& doc, const QString& path, const std::function<bool()>& beforeReplace,
             DxfFormat format, DxfVersion version, DxfAudit* lost) {
    const QByteArray bytes = writeDxf(doc, format, version, lost);
    // What is written must open again: a file the reader refuses would cost the user the
    // drawing at the next open, and its backup at the save after. The check reads the bytes
    // on a thread of its own while they go to the temporary file and to the disk; the old
    // file is replaced only once both are done.
    QString unreadable;
    std::exception_ptr failed;  // anything else the check met (memory), thrown here after
    std::thread check([&] {
        try {
            checkDxf(bytes);
        } catch (const DxfError& e) {
            unreadable = e.what();
        } catch (...) {
            failed = std::current_exception();
        }
    });
    QSaveFile file(path);
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
    // The commit syncs too; by then nothing is left to wait for.
    if (written) ::fsync(file.handle());
    check.join();
    if (failed) std::rethrow_exception(failed);
    if (!unreadable.isEmpty()) {
        file.cancelWriting();
        throw DxfUnreadableError(
            0, QStringLiteral("the drawing as written would not open again (%1)").arg(unreadable));
    }
    if (!written)
        throw DxfError(0, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    if (beforeReplace && !beforeReplace()) {
        file.cancelWriting();
        return false;
    }
    const QString replaced = Retired::instance().keep(path);
    const bool committed = file.commit();
    if (!replaced.isEmpty()) Retired::instance().remove(replaced);
    if (!committed)
        throw DxfError(0, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return true;
}

int removeSaveLeftovers(const QString& path) {
    const QFileInfo info(path);
    const QRegularExpression temporary(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(info.fileName()) +
        QStringLiteral("\\.[%1]{%2}")
            .arg(QRegularExpression::escape(QLatin1String(kLeftoverLetters)))
            .arg(kLeftoverLength)));
    QDir dir = info.absoluteDir();
    int removed = 0;
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (temporary.match(name).hasMatch() && !Retired::instance().pending(dir.filePath(name)) &&
            dir.remove(name))
            ++removed;
    }
    return removed;
}

}  // namespace tolvane::cad
