// DXF input: a tolerant reader of ASCII and binary DXF as written by this and other programs.
// Every malformed input ends in a DxfError; sizes are bounded so that no input can exhaust
// memory. The recovering read repairs what the strict one refuses, and both note in an audit
// what they dropped or changed.
#include <iconv.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <sys/mman.h>

#include <QFile>
#include <QSet>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string_view>

#include "cad/dxf.h"
#include "cad/dxf_binary.h"
#include "cad/geometry.h"
#include "cad/heap_pages.h"
#include "cad/regular_file.h"

namespace tolvane::cad {

namespace {

using namespace dxfbinary;

// Lines have no limit of their own: a text may be as long as the file, which is what the
// writer may write, and the file's size bounds what its lines take. The file is mapped, not
// copied, so its size costs page cache the system can drop, not memory of the program: what
// bounds a drawing is what it keeps (kMaxKeptBytes). The file limit only keeps line numbers
// within an int (a line is at least two bytes) and lies far beyond the entity limit of
// drawings as programs write them (about 300 bytes of file per entity).
constexpr qsizetype kMaxFileSize = qsizetype(4000) * 1000 * 1000;
constexpr int kMaxVertices = 1000000;
constexpr double kMaxCoordinate = kMaxDxfValue;

// Memory. Any drawing the reader accepts opens on a machine with 8 GB, beside the system, the
// rest of the program and the spatial index built after loading (about a quarter of the
// document): what the reader keeps of the entities, as keptBytes() estimates it, stays within
// kMaxKeptBytes, and one record being read within kMaxRecordGroups groups (a few hundred MB).
// The peak while reading adds one record and the file's pages: the file is mapped, so the
// system drops its pages under memory pressure and reads them again as needed. The smallest
// entities (points: their record of under 400 bytes and about 100 bytes for the handle's lookups)
// make the entity limit: about 10 million; entities of a wiring schematic (a fifth of them
// inserts' attributes, a quarter cables with extended data) about 5.4 million.
constexpr qint64 kMaxKeptBytes = qint64(5000) * 1000 * 1000;
constexpr qsizetype kMaxRecordGroups = qsizetype(4) * kMaxVertices;
constexpr qint64 kHandleBytes = 96;
// A file from this size on is read with its heap on huge pages and its encoding checked
// beside the read.
constexpr qsizetype kLargeFile = qsizetype(8) << 20;
// The share in per cent of a large file's rest read by the first of two readers side by side
// (see Reader::Half). A load's first reader has the memory its entities take faulted in ahead
// of it on another thread, while the second faults in its own: it reads a little more.
constexpr qsizetype kLoadSplitShare = 55;
constexpr qsizetype kCheckSplitShare = 50;

// One group as it stands in the file: its value is a view of the file's bytes (without the
// line end), decoded only where it is kept. In a binary file `line` is the line the group
// would have in the ASCII file of the same groups.
struct Group {
    int code = 0;
    int line = 0;
    QByteArrayView raw;
    Form form = Form::Text;
};

double binaryReal(QByteArrayView raw) {
    double v;
    std::memcpy(&v, raw.data(), sizeof v);
    return v;
}

long long binaryInteger(QByteArrayView raw) {
    const auto* b = reinterpret_cast<const unsigned char*>(raw.data());
    switch (raw.size()) {
        case 1:
            return b[0];
        case 2:
            return qint16(quint16(b[0] | (b[1] << 8)));
        case 4:
            return qint32(quint32(b[0]) | (quint32(b[1]) << 8) | (quint32(b[2]) << 16) |
                          (quint32(b[3]) << 24));
        default: {
            quint64 v = 0;
            for (int k = 7; k >= 0; --k) v = (v << 8) | b[k];
            return qint64(v);
        }
    }
}

// A real as the writer writes it: the shortest text that reads back to it, with a point.
QByteArray realText(double v) {
    if (!std::isfinite(v) || v == 0.0) return QByteArrayLiteral("0.0");
    std::array<char, 40> buf;
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size() - 2, v);
    char* end = res.ptr;
    if (std::find_if(buf.data(), end, [](char c) { return c == '.' || c == 'e'; }) == end) {
        *end++ = '.';
        *end++ = '0';
    }
    return QByteArray(buf.data(), end - buf.data());
}

using Record = std::vector<Group>;  // the groups of one entity or table entry after its 0 group

bool carriesExtendedData(const Record& r) {
    return std::any_of(r.begin(), r.end(), [](const Group& g) { return g.code >= 1000; });
}

// Control characters in caret notation ("^J"; "^ " is a caret) and, in files in a code page
// (before R2007), characters outside it as \U+XXXX. A file in UTF-8 carries every character
// as it is, so there "\U+" is text like any other.
QString decodeText(const QString& s, bool unicodeEscapes) {
    const bool escapes = unicodeEscapes && s.contains(QLatin1String("\\U+"));
    if (!s.contains(QLatin1Char('^')) && !escapes) return s;
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == QLatin1Char('^') && i + 1 < s.size()) {
            const char16_t n = s[i + 1].unicode();
            if (n == ' ') {
                out += QLatin1Char('^');
                ++i;
                continue;
            }
            if (n >= 0x40 && n <= 0x5F) {
                out += QChar(char16_t(n - 0x40));
                ++i;
                continue;
            }
        }
        if (escapes && c == QLatin1Char('\\') && s.mid(i, 3) == QLatin1String("\\U+") &&
            i + 7 <= s.size()) {
            bool ok = false;
            const uint u = s.mid(i + 3, 4).toUInt(&ok, 16);
            if (ok) {
                out += QChar(char16_t(u));
                i += 6;
                continue;
            }
        }
        out += c;
    }
    return out;
}

// What the document keeps of an entity: its record, its handle, the strings and lists of its
// own (names shared through Reader::shared are not counted) and its attributes.
qint64 keptBytes(const Entity& e) {
    auto text = [](const QString& s) {
        return s.isEmpty() ? qint64(0) : 32 + 2 * qint64(s.size());
    };
    qint64 n = qint64(sizeof(Entity)) + kHandleBytes;
    if (e.detail.isSet()) n += qint64(sizeof(EntityDetail));
    n += text(e.text) + text(e.tooltip) + text(e.detail->fileName) + text(e.detail->typeName);
    n += qint64(e.vertices.size()) * qint64(sizeof(Vertex));
    n += qint64(e.detail->points3.size()) * qint64(sizeof(Point3));
    n += qint64(e.detail->faces.size()) * qint64(sizeof(MeshFace));
    n += qint64(e.detail->vertexWidths.size()) * qint64(sizeof(QPointF));
    for (const XData& x : e.xdata) {
        n += qint64(sizeof(XData));
        for (const XDataItem& item : x.items) n += qint64(sizeof(XDataItem)) + text(item.value);
    }
    for (const RawGroup& g : e.detail->groups) n += qint64(sizeof(RawGroup)) + text(g.value);
    for (const Entity& a : e.attributes) n += keptBytes(a);
    return n;
}

// A handle read from the file's bytes as Handle::parse reads text, without making the text:
// hexadecimal digits in any case, leading zeros and surrounding blanks; 0 for anything else.
quint64 handleNumber(QByteArrayView v) {
    v = v.trimmed();
    if (v.isEmpty() || v.size() > 16) return 0;
    quint64 n = 0;
    for (const char c : v) {
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                             : -1;
        if (d < 0) return 0;
        n = n * 16 + quint64(d);
    }
    return n < Handle::kLimit ? n : 0;
}

// Numbers are read from the file's bytes: the value without surrounding white space, an
// optional sign, and nothing after the number.
std::pair<const char*, const char*> numberSpan(QByteArrayView v) {
    const char* p = v.data();
    const char* end = p + v.size();
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    while (end > p && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\r')) --end;
    if (p < end && *p == '+' && end - p > 1 && p[1] != '-') ++p;
    return {p, end};
}

bool parseInteger(QByteArrayView v, long long* out) {
    const auto [p, end] = numberSpan(v);
    if (p == end) return false;
    // Most integers of a file are group codes, a few digits each: those are read here.
    if (end - p <= 9) {
        long long n = 0;
        const char* q = p;
        for (; q < end && unsigned(*q - '0') < 10u; ++q) n = n * 10 + (*q - '0');
        if (q == end) {
            *out = n;
            return true;
        }
    }
    const auto res = std::from_chars(p, end, *out);
    return res.ec == std::errc() && res.ptr == end;
}

// False for what from_chars does not take, which then goes the slow way (QString::toDouble)
// so that every file reads as it always did.
bool parseReal(QByteArrayView v, double* out) {
    const auto [p, end] = numberSpan(v);
    if (p == end) return false;
    // Most reals of a file are plain decimals of a few digits ("-12.375"). Of at most 15
    // digits, the digits read as a whole number are exact in a double, and so is a power of
    // ten up to 10^22: their quotient is rounded once, to the double nearest the decimal,
    // which is what from_chars gives.
    static constexpr double kExactPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* q = p + (*p == '-');
    const char* const first = q;
    quint64 digits = 0;  // may wrap past 19 digits, which go the long way
    while (q < end && unsigned(*q - '0') < 10u) digits = digits * 10 + unsigned(*q++ - '0');
    qsizetype count = q - first;
    qsizetype decimals = 0;
    if (q < end && *q == '.') {
        const char* const point = ++q;
        while (q < end && unsigned(*q - '0') < 10u) digits = digits * 10 + unsigned(*q++ - '0');
        decimals = q - point;
        count += decimals;
    }
    if (q == end && count > 0 && count <= 15) {
        const double d = decimals > 0 ? double(digits) / kExactPowers[decimals] : double(digits);
        *out = *p == '-' ? -d : d;
        return true;
    }
    const auto res = std::from_chars(p, end, *out);
    return res.ec == std::errc() && res.ptr == end;
}

// The hash of a name in the reader's table. Most names are short: up to 16 bytes they are
// mixed as two words, without a call.
quint64 bytesHash(std::string_view key) {
    if (key.size() > 16) return std::hash<std::string_view>{}(key);
    quint64 a = 0, b = 0;
    std::memcpy(&a, key.data(), std::min<size_t>(key.size(), 8));
    if (key.size() > 8) std::memcpy(&b, key.data() + 8, key.size() - 8);
    // Multiplying by odd constants and folding the high half down (as fast hashes do) spreads
    // every byte into the low bits the table takes.
    const __uint128_t m =
        __uint128_t(a ^ 0x9E3779B97F4A7C15ULL) * (b ^ 0xD6E8FEB86659FD93ULL ^ key.size());
    return quint64(m) ^ quint64(m >> 64);
}

// The length of the line at `p` (up to its '\n'), of the `rest` bytes left; -1 when none
// ends there. Most lines of a file are short: their end is found in the first 16 bytes
// without a call.
[[gnu::always_inline]] inline qsizetype lineLength(const char* p, qsizetype rest) {
    if (rest >= 16) {
        constexpr quint64 kOnes = 0x0101010101010101ULL;
        for (int half = 0; half < 16; half += 8) {
            quint64 w;
            std::memcpy(&w, p + half, 8);
            const quint64 x = w ^ (kOnes * '\n');
            // The high bit of each byte that was a line end (and none below the first one).
            const quint64 ends = (x - kOnes) & ~x & (kOnes << 7);
            if (ends) return half + (std::countr_zero(ends) >> 3);
        }
    }
    const void* nl = std::memchr(p, '\n', size_t(rest));
    return nl ? static_cast<const char*>(nl) - p : -1;
}

// The bytes of a line of `length` (up to its '\n') without the '\r' of a CR LF line end.
QByteArrayView lineBytes(const char* begin, qsizetype length) {
    return QByteArrayView(begin, length - (length > 0 && begin[length - 1] == '\r'));
}

// A group code line as writers write it at `p`, blanks and at most 9 digits: its number in
// `code` and where the next line starts, or nullptr for any other line. Up to 8 blanks, 9
// digits and the line end are read without checking a bound: kPlainCodeRoom bytes must follow.
constexpr qsizetype kPlainCodeRoom = 32;
[[gnu::always_inline]] inline const char* plainCode(const char* p, long long* code) {
    for (int k = 0; k < 8 && *p == ' '; ++k) ++p;
    unsigned digit = unsigned(*p - '0');
    if (digit >= 10u) return nullptr;
    const char* const last = p + 9;
    long long n = 0;
    do {
        n = n * 10 + digit;
        digit = unsigned(*++p - '0');
    } while (digit < 10u && p < last);
    if (*p == '\r') ++p;
    if (*p != '\n') return nullptr;
    *code = n;
    return p + 1;
}

// The places in [from, to) where the needle begins (read up to `end`), a line end at either end
// of it: as the needle can overlap itself only in that, each place is counted.
size_t countStarts(const char* from, const char* to, const char* end, std::string_view needle) {
    const qsizetype width = qsizetype(needle.size());
    const char* p = from;
    size_t n = 0;
#ifdef __SSE2__
    // Sixteen places at a time: where each byte of the needle stands at its distance from the
    // place.
    __m128i bytesOf[8];
    for (qsizetype k = 0; k < width; ++k) bytesOf[k] = _mm_set1_epi8(needle[size_t(k)]);
    while (to - p >= 16 && end - p >= 16 + width - 1) {
        __m128i at = _mm_set1_epi8(-1);
        for (qsizetype k = 0; k < width; ++k) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
            at = _mm_and_si128(at, _mm_cmpeq_epi8(bytes, bytesOf[k]));
        }
        // Entities start a few hundred bytes apart: the places found are counted one by one.
        for (unsigned found = unsigned(_mm_movemask_epi8(at)); found; found &= found - 1) ++n;
        p += 16;
    }
#endif
    const char* last = std::min(end, to + width - 1);
    while (p < to) {
        const void* hit = memmem(p, size_t(last - p), needle.data(), needle.size());
        if (!hit || hit >= to) break;
        ++n;
        p = static_cast<const char*>(hit) + 1;
    }
    return n;
}

// Names shared by their bytes (see Reader::name): the places in the table at most (a power of
// two; a small file, such as a block's, gets fewer, one for each 256 bytes of it), and the
// longest value of a text or extended data item that is looked up there.
constexpr size_t kNameSlots = 16384;
// About how many groups of code 0 start between `from` and `to` (a start at `from` has its line
// end before it), a little more rather than less: those in windows spread evenly through it,
// scaled to the whole. Where a count of every start would first read all of it from memory,
// this leaves that to the reader, which reads as it parses. A list reserved at it may yet
// outgrow it (it then grows as it would have), and its pages never written take no memory.
size_t estimateStarts(const char* from, const char* to, const char* end, std::string_view needle) {
    constexpr qsizetype kWindows = 64;
    constexpr qsizetype kWindow = qsizetype(16) << 10;
    const qsizetype span = to - from;
    if (span <= 4 * kWindows * kWindow) return countStarts(from - 1, to - 1, end, needle);
    size_t found = 0;
    for (qsizetype k = 0; k < kWindows; ++k) {
        const char* at = from - 1 + k * (span / kWindows);
        found += countStarts(at, at + kWindow, end, needle);
    }
    const double perByte = double(found) / double(kWindows * kWindow);
    return size_t(perByte * double(span) * 1.25) + 1024;
}

size_t nameSlotsFor(qsizetype bytes) {
    return std::bit_ceil(std::clamp<size_t>(size_t(bytes) / 256, 64, kNameSlots));
}
constexpr qsizetype kSharedValueBytes = 24;

class Reader {
  public:
    // A checking reader reads everything a loading one does, entity by entity, but keeps no
    // more than the last entity of the drawing's main list (its memory, and the handle
    // lookups built for it, are most of a load's cost).
    explicit Reader(const QByteArray& data, bool checking = false)
        : checking_(checking), data_(data) {}
    // A light reader (see readDxfLight) reads every group as a loading one does and refuses
    // what it refuses, but keeps of an entity without extended data only its place among the
    // others: its kind and handle, a text's value, an insert's block name.
    struct Light {};
    Reader(const QByteArray& data, Light) : checking_(false), light_(true), data_(data) {}
    // A recovering reader repairs or drops what the others refuse (see recoverDxf).
    struct Recover {};
    Reader(const QByteArray& data, Recover) : checking_(false), recover_(true), data_(data) {}
    // A reader of the entities that start at `from`, for a reader that reads those before it
    // meanwhile (see Half): it reads the text as `whole` does, and counts lines from `from`.
    struct Part {};
    Reader(const Reader& whole, Part, qsizetype from);
    ~Reader() {
        if (multiByte_ != iconv_t(-1)) iconv_close(multiByte_);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    // Reads the drawing. A large file whose version says UTF-8 is read as such while it is
    // checked on another thread; found not to be, the read ends in NotUtf8 and is made again
    // by a reader told so first (see readAs).
    Document run();
    struct NotUtf8 {};
    void refuseUtf8() { utf8Refused_ = true; }
    const DxfAudit& audit() const { return audit_; }

  private:
    [[noreturn]] void fail(int line, const QString& reason) const { throw DxfError(line, reason); }
    [[noreturn]] void failAt(const Group& g, const QString& reason) const { fail(g.line, reason); }
    void tokenize();
    void codePage(const QByteArray& name);
    bool readLine(QByteArrayView* out);
    bool readGroup();
    bool readPlainCode(long long* code);
    bool groupCode(long long* code);
    bool readBinaryGroup();
    // A line of the audit: something dropped, or changed, at this line of the file.
    void note(bool dropped, int line, const QString& what);
    void auditHandles();
    // In a recovering read: skips groups up to the end of the section (its ENDSEC read) or
    // up to the next section or EOF (not read).
    void skipToSectionEnd();
    // The reading position: whether a group follows, the group that follows (still
    // unread), and reading it. A reference from peek or next lasts until the next read.
    bool more();
    const Group& peek();
    const Group& next();
    double real(const Group& g) const;
    int integer(const Group& g) const;
    // A group's value as text: decoded from the file's encoding, control characters and
    // escapes resolved.
    QString decode(QByteArrayView v) const;
    QString text(const Group& g) const;
    static bool is(const Group& g, const char* value);
    // Names repeat across a drawing (layers, styles, block names, tags, extended data names
    // and many short values): each is decoded once and shared by every entity that uses it,
    // looked up by its bytes in the file. This takes a good part of the memory a large
    // drawing needs, and of the time to read it.
    // Names are shared as names (entities' layers, styles...) or as texts (extended data).
    Name name(const Group& g);
    QString nameText(const Group& g);
    struct SharedName;
    // The place of a name met before, its text kept; nullptr for a name met the first time
    // (or whose place another name holds), which is decoded for this use alone. With
    // `keepFirst`, a name met the first time is kept at once where its place is free.
    SharedName* sharedPlace(const Group& g, bool keepFirst = false);
    // A text or extended data value: shared as a name when short.
    QString value(const Group& g);
    // The groups up to the next 0 group, in a buffer reused by the next call.
    const Record& readRecord();

    Document readSections();
    void section();
    [[noreturn]] void nothingRead();
    Document finishDocument();
    void header();
    void setting(const QString& var, const Group& g);
    void tables();
    void tableEntry(const QString& type, const Record& r);
    void blocks();
    QString recoveredBlockName(const Record& head);
    int recoveredBlocks_ = 0;
    // Reads entities up to (not including) a 0 group named ENDSEC or ENDBLK.
    // The list goes to its space or block whole (Document::addAll): a large drawing is never
    // held twice on its way.
    std::vector<Entity> entityList(std::vector<bool>* paper);
    void entities(std::vector<Entity>& list, std::vector<bool>* paper);
    void giveAttributes(std::vector<Entity>& list);
    size_t entityStartsAhead() const;
    std::string_view zeroGroupLine() const;
    // A large ENTITIES section is read in two halves side by side: the second by a reader of
    // its own on another thread (a Half), from an entity's start about halfway through the rest
    // of the file, while this one reads up to there. The second half is taken only when it was
    // read through without a remark and the section did not end before it; otherwise this
    // reader reads on from where the second started, so that refusals, remarks and their lines
    // are those of a read in one piece. A load takes the second half's entities into its list
    // and what it noted of them (handles, images); a check keeps nothing of what it reads but
    // the memory a load would keep, so of its second half only that count and where it ended
    // are taken. Recovering and light reads are made in one piece: a recovering read keeps
    // what comes before a fault, and light reads are made many side by side.
    struct Half;
    const char* splitPoint() const;
    std::unique_ptr<Half> startHalf(const char* split);
    void readHalf(Half& half);
    void joinHalf(Half& half, std::vector<Entity>& list, std::vector<bool>* paper);
    // A handle in use by what is not an entity of its own (a polyline's vertex).
    void reserveHandle(const QString& handle);
    size_t binaryEntityStartsAhead() const;
    // Fills `e`, a new entity, from its record (in place: an entity is large). A light entity
    // (see Light) takes its kind, handle, paper flag, a text's value and an insert's block
    // name, and its other groups are read and checked but not kept; entities the light reader
    // reads whole anyway (dimensions, images, faces, viewports, meshes) stay whole. Returns
    // whether the entity was read light.
    bool toEntity(Entity& e, QByteArrayView type, const Record& r, bool* paper, bool light);
    bool entity(Entity& e, QByteArrayView type, const Record& r, bool* isPaper);
    void noteHandle(const Entity& e, const Record& r);
    void detailGroup(Entity& e, const Group& g, QString* imageDef);
    void polyfaceVertices(Entity& e);
    // A POLYLINE being read as a polyline: what its head and vertices gave, while all they
    // hold has a place in one (`plain`).
    struct PlainPolyline {
        bool plain = true;
        bool closed = false;
        QString layer = QStringLiteral("0");
        QString lineType = QStringLiteral("BYLAYER");
        int color = kColorByLayer;
        int lineWeight = -1;
        double startWidth = 0.0;  // the vertices' default widths
        double endWidth = 0.0;
        QList<Vertex> vertices;
        QList<QPointF> widths;
    };
    PlainPolyline plainPolylineHead(const Record& r);
    void plainVertex(PlainPolyline& p, const Record& r);
    // Counts what an entity keeps; a drawing beyond kMaxKeptBytes is refused.
    void keep(const Entity& e, const Group& at);
    void takeOwnXData(Entity& e) const;
    void finish();
    void objects();
    void skipSection();

    std::optional<HugeHeapPages> heap_;  // the heap of a large read (see run)
    std::future<bool> utf8Check_;        // of a large file read as UTF-8 meanwhile (see run)
    bool utf8Refused_ = false;
    const bool checking_;
    const bool light_ = false;
    const bool recover_ = false;
    const bool part_ = false;                       // reads a Half
    const std::atomic<bool>* abandoned_ = nullptr;  // of a part: its half is not wanted
    std::vector<QString> reservedHandles_;          // of a part: for the whole's document
    const char* stopAt_ = nullptr;  // the entities end at a 0 group whose value is here...
    bool stopped_ = false;          // ... and did
    bool binary_ = false;
    bool shortCodes_ = false;  // binary R12: group codes of one byte (255: two follow)
    DxfAudit audit_;
    std::vector<quint64> handleNumbers_;  // of the entities read, for duplicates (auditHandles)
    bool handlesAscending_ = true;        // each handle read above the one before
    // Text in a code page: a single-byte page as a table of its upper half, a multi-byte one
    // through iconv.
    std::array<char16_t, 128> upperHalf_{};
    bool singleByte_ = false;
    iconv_t multiByte_ = iconv_t(-1);
    Record record_;
    bool activeRead_ = false;         // the active viewport's record has been read
    std::vector<Entity> attributes_;  // of the insert being read (see entityList)
    std::vector<XDataItem> xitems_;   // of the extended data being read (see toEntity)
    // Shared names (see name()): a table of kNameSlots places, a name in the place its hash
    // gives. A place keeps the name's bytes beside it when short (compared there rather than
    // in the file far behind, which would cost a miss of the cache each time) and its text
    // once the name comes a second time: most values met once are ones of their kind
    // (numbers, handles) and are not kept (an entity's names are, at once). A newer name takes the
    // place of an older one, except of one in use since the place was last contested.
    struct SharedName {
        quint64 hash = 0;
        const char* far = nullptr;  // a long name's bytes: a view of data_
        quint32 size = 0;
        bool kept = false;  // `text` is the name's
        bool hot = false;   // met again since the place was last contested
        std::array<char, kSharedValueBytes> near{};
        QString text;
        Name name;  // made of `text` when first asked for as a name
    };
    std::vector<SharedName> names_;  // nameSlotsFor() the file's size, made by run()
    QByteArray data_;
    qsizetype offset_ = 0;
    int line_ = 0;
    bool utf8_ = false;
    bool unicodeEscapes_ = true;  // \U+XXXX stands for a character (files in a code page)
    Group ahead_;
    bool haveAhead_ = false;
    Group current_;
    int lastLine_ = 0;
    Document doc_;
    quint64 seed_ = 0;
    qint64 keptBytes_ = 0;  // what the entities read so far keep (see kMaxKeptBytes)
    std::map<QString, QString> recordNames_;              // block record handle -> block name
    std::map<QString, std::vector<Entity>> paperBlocks_;  // upper-case block name -> entities
    struct LayoutInfo {
        QString name;
        QString record;
        int tab = 0;
    };
    std::vector<LayoutInfo> layouts_;
    std::map<QString, QString> styleNames_;                   // text style handle -> name
    std::vector<std::pair<QString, QString>> dimTextStyle_;   // dimension style -> style handle
    std::vector<std::pair<QString, QString>> dimArrow_;       // dimension style -> block record
    std::vector<Block> dimBlocks_;                            // anonymous "*D" blocks
    std::vector<Block> arrowBlocks_;                          // standard arrowheads
    std::map<QString, QString> imageDefOf_;                   // image handle -> IMAGEDEF handle
    std::map<QString, std::pair<QString, QSize>> imageDefs_;  // IMAGEDEF handle -> file, pixels
};

// Our own extended data (see the writer) goes back into the entity's fields.
const QString kFillApp = QStringLiteral("TOLVANE_FILL");
const QString kImageApp = QStringLiteral("TOLVANE_IMAGE");
const QString kTipApp = QStringLiteral("TOLVANE_TIP");

bool isSheetViewport(const Entity& e) {
    return e.kind == EntityKind::Viewport && e.detail->viewportId == 1;
}

template <typename F>
void forEachEntity(Document& doc, F f) {
    for (Entity& e : doc.modelSpace().entities) f(e);
    for (Space& s : doc.layouts()) {
        for (Entity& e : s.entities) f(e);
    }
    for (Block& b : doc.blocks()) {
        for (Entity& e : b.entities) f(e);
    }
}

// Whether the bytes are well-formed UTF-8 (the file is then read as UTF-8, otherwise as
// Latin-1, the code page of older files).
static bool isUtf8(const QByteArray& data) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData());
    const auto* end = p + data.size();
    while (p < end) {
        // Drawings are mostly ASCII: 64 bytes at a time, then eight, while no byte has its
        // high bit.
        while (end - p >= 64) {
            quint64 w[8];
            std::memcpy(w, p, sizeof w);
            if ((w[0] | w[1] | w[2] | w[3] | w[4] | w[5] | w[6] | w[7]) & 0x8080808080808080ull)
                break;
            p += 64;
        }
        while (end - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ull) break;
            p += 8;
        }
        if (p >= end) break;
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int n = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (n < 0 || c == 0xC0 || c == 0xC1 || end - p <= n) return false;
        for (int k = 1; k <= n; ++k) {
            if ((p[k] & 0xC0) != 0x80) return false;
        }
        p += n + 1;
    }
    return true;
}

void Reader::tokenize() {
    const QByteArray& data = data_;
    if (data.size() > kMaxFileSize) fail(0, QStringLiteral("file too large"));
    if (data.startsWith(kBinarySentinel)) {
        binary_ = true;
        offset_ = kBinarySentinel.size();
        // The first group is "0 SECTION": its code takes two bytes from R13 on, one before.
        shortCodes_ = data.size() > offset_ + 1 && data[offset_ + 1] != '\0';
        audit_.format = DxfFormat::Binary;
    } else if (data.startsWith("AutoCAD Binary DXF")) {
        fail(0, QStringLiteral("binary DXF file with a damaged start"));
    }
    // Files before R2007 (AC1021) are in a Windows code page, later ones in UTF-8.
    const qsizetype ver = data.indexOf("$ACADVER");
    const QByteArray version = ver < 0 ? QByteArray() : data.mid(ver, 64).simplified();
    const qsizetype ac = version.indexOf("AC10");
    const bool legacy = ac >= 0 && version.mid(ac + 4, 2).toInt() < 21;
    // A binary file holds numbers of any bytes: its version alone says how its text is kept.
    if (!legacy && !binary_ && !utf8Refused_ && data.size() >= kLargeFile) {
        // The check reads the whole file ahead of the read, which finds its pages in memory.
        utf8_ = true;
        utf8Check_ = std::async(std::launch::async, [data] { return isUtf8(data); });
    } else {
        utf8_ = !legacy && !utf8Refused_ && (binary_ || isUtf8(data));
    }
    unicodeEscapes_ = ac < 0 || legacy;
    if (!utf8_) {
        const qsizetype at = data.indexOf("$DWGCODEPAGE");
        if (at >= 0) {
            const QByteArray page = data.mid(at + 12, 64);
            const qsizetype ansi = page.indexOf("ANSI_");
            if (ansi >= 0) {
                qsizetype end = ansi + 5;
                while (end < page.size() && page[end] >= '0' && page[end] <= '9') ++end;
                codePage(page.mid(ansi + 5, end - ansi - 5));
            }
        }
    }
    if (!binary_ && data_.startsWith("\xEF\xBB\xBF")) offset_ = 3;
}

// The Windows code page of an older file ("1251" of ANSI_1251). Latin-1 is what a file
// without one, or with one the system does not know, is read in.
void Reader::codePage(const QByteArray& number) {
    if (number.isEmpty()) return;
    iconv_t cd = iconv_open("UTF-16LE", ("CP" + number).constData());
    if (cd == iconv_t(-1)) return;
    // A single-byte page maps each byte of its upper half alone.
    bool single = true;
    for (int b = 0x80; b < 0x100 && single; ++b) {
        char in = char(b);
        char16_t out[2] = {0, 0};
        char* ip = &in;
        char* op = reinterpret_cast<char*>(out);
        size_t il = 1, ol = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &ip, &il, &op, &ol) == size_t(-1) || ol != sizeof(char16_t)) {
            // Unassigned bytes of a single-byte page stay Latin-1; a lead byte marks a
            // multi-byte page.
            if (errno == EINVAL) single = false;
            upperHalf_[size_t(b - 0x80)] = char16_t(b);
        } else {
            upperHalf_[size_t(b - 0x80)] = out[0];
        }
    }
    if (single) {
        iconv_close(cd);
        singleByte_ = true;
    } else {
        multiByte_ = cd;
    }
}

// The next line of the file without its line end; false at the end of the data.
inline bool Reader::readLine(QByteArrayView* out) {
    if (offset_ >= data_.size()) return false;
    const char* begin = data_.constData() + offset_;
    const qsizetype rest = data_.size() - offset_;
    qsizetype len = lineLength(begin, rest);
    offset_ += len < 0 ? rest : len + 1;
    if (len < 0) len = rest;
    ++line_;
    *out = lineBytes(begin, len);
    return true;
}

// Reads the next group of the file into ahead_; false at the end of the data. Groups are
// read one at a time as the reader asks for them, so a large file never sits in memory
// twice.
bool Reader::readGroup() {
    if (binary_) return readBinaryGroup();
    long long code = 0;
    if (!readPlainCode(&code) && !groupCode(&code)) return false;
    if (code < -5 || code > 1071) fail(line_, QStringLiteral("invalid group code %1").arg(code));
    ahead_.code = int(code);
    ahead_.line = line_;
    if (!readLine(&ahead_.raw)) fail(line_, QStringLiteral("file ends after a group code"));
    return true;
}

// A group code as writers write it, blanks and at most 9 digits on a line of its own, read in
// place; false, with nothing read, for any other line.
bool Reader::readPlainCode(long long* code) {
    if (data_.size() - offset_ < kPlainCodeRoom) return false;
    const char* const data = data_.constData();
    const char* const after = plainCode(data + offset_, code);
    if (!after) return false;
    offset_ = after - data;
    ++line_;
    return true;
}

// The group code line in any form the reader takes; false at the end of the data. A
// recovering read skips what is no group code.
bool Reader::groupCode(long long* code) {
    QByteArrayView l;
    if (!readLine(&l)) return false;
    while (!parseInteger(l, code)) {
        if (l.trimmed().isEmpty() && offset_ >= data_.size()) return false;  // trailing newline
        const QString reason =
            QStringLiteral("group code expected, found '%1'")
                .arg(QString::fromLatin1(l.first(std::min<qsizetype>(40, l.size()))));
        if (!recover_) fail(line_, reason);
        // The line and the one after it (its value) are skipped.
        note(true, line_,
             QStringLiteral("lines %1 and %2 skipped: %3").arg(line_).arg(line_ + 1).arg(reason));
        QByteArrayView value;
        if (!readLine(&value) || !readLine(&l)) return false;
    }
    return true;
}

// A binary group's value of one to eight bytes, or of a chunk's length byte and its bytes.
bool Reader::readBinaryGroup() {
    const qsizetype size = data_.size();
    if (offset_ >= size) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(data_.constData());
    int code = 0;
    line_ += 2;
    if (shortCodes_) {
        code = p[offset_++];
        if (code == 255) {
            if (size - offset_ < 2)
                fail(line_ - 1, QStringLiteral("file ends inside a group code"));
            code = p[offset_] | (p[offset_ + 1] << 8);
            offset_ += 2;
        }
    } else {
        if (size - offset_ < 2) fail(line_ - 1, QStringLiteral("file ends inside a group code"));
        code = qint16(quint16(p[offset_] | (p[offset_ + 1] << 8)));
        offset_ += 2;
    }
    if (code < -5 || code > 1071)
        fail(line_ - 1, QStringLiteral("invalid group code %1").arg(code));
    ahead_.code = code;
    ahead_.line = line_ - 1;
    const auto [form, width] = binaryForm(code);
    ahead_.form = form;
    const char* at = data_.constData() + offset_;
    const qsizetype left = size - offset_;
    qsizetype length = width;
    qsizetype skip = width;
    if (form == Form::Text) {
        const void* zero = std::memchr(at, 0, size_t(left));
        if (!zero) fail(line_, QStringLiteral("file ends inside the text of group %1").arg(code));
        length = static_cast<const char*>(zero) - at;
        skip = length + 1;
    } else if (form == Form::Chunk) {
        if (left < 1 || left - 1 < p[offset_])
            fail(line_, QStringLiteral("file ends inside the data of group %1").arg(code));
        length = p[offset_];
        ++at;
        skip = length + 1;
    } else if (left < width) {
        fail(line_, QStringLiteral("file ends inside the value of group %1").arg(code));
    }
    ahead_.raw = QByteArrayView(at, length);
    offset_ += skip;
    return true;
}

void Reader::note(bool dropped, int line, const QString& what) {
    ++(dropped ? audit_.dropped : audit_.changed);
    if (audit_.lines.size() < 1000)
        audit_.lines << (line > 0 ? QStringLiteral("line %1: %2").arg(line).arg(what) : what);
}

QString Reader::decode(QByteArrayView v) const {
    // Most values are plain ASCII (names, numbers, labels): their characters are their bytes
    // in UTF-8 and in the single-byte pages, and they hold nothing to resolve.
    if (multiByte_ == iconv_t(-1)) {
        bool plain = true;
        for (const char c : v) plain &= uchar(c) < 0x80 && c != '^' && c != '\\';
        if (plain) return QString::fromLatin1(v);
    }
    QString s;
    if (utf8_) {
        s = QString::fromUtf8(v);
    } else if (singleByte_) {
        s.resize(v.size());
        char16_t* out = reinterpret_cast<char16_t*>(s.data());
        for (qsizetype k = 0; k < v.size(); ++k) {
            const uchar b = uchar(v[k]);
            out[k] = b < 0x80 ? char16_t(b) : upperHalf_[b - 0x80];
        }
    } else if (multiByte_ != iconv_t(-1)) {
        // Bytes the page does not hold are taken as Latin-1, one at a time.
        s.reserve(v.size());
        iconv(multiByte_, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(v.data());
        size_t inLeft = size_t(v.size());
        std::vector<char16_t> buf(size_t(v.size()) + 1);
        while (inLeft > 0) {
            char* out = reinterpret_cast<char*>(buf.data());
            size_t outLeft = buf.size() * sizeof(char16_t);
            const size_t r = iconv(multiByte_, &in, &inLeft, &out, &outLeft);
            s.append(reinterpret_cast<const QChar*>(buf.data()),
                     qsizetype((buf.size() * sizeof(char16_t) - outLeft) / sizeof(char16_t)));
            if (r == size_t(-1) && inLeft > 0 && errno != E2BIG) {
                s.append(QChar(char16_t(uchar(*in))));
                ++in;
                --inLeft;
                iconv(multiByte_, nullptr, nullptr, nullptr, nullptr);
            }
        }
    } else {
        s = QString::fromLatin1(v);
    }
    // fromUtf8 drops a byte order mark at the start, as of a file; at the start of a value it
    // is a character of the text (the writer writes it as it is).
    if (utf8_ && v.startsWith("\xEF\xBB\xBF")) s.prepend(QChar(0xFEFF));
    const bool caret = std::memchr(v.data(), '^', size_t(v.size())) != nullptr;
    const bool escape = unicodeEscapes_ && std::memchr(v.data(), '\\', size_t(v.size())) != nullptr;
    return caret || escape ? decodeText(s, unicodeEscapes_) : s;
}

QString Reader::text(const Group& g) const {
    switch (g.form) {
        case Form::Text:
            return decode(g.raw);
        case Form::Real:
            return QString::fromLatin1(realText(binaryReal(g.raw)));
        case Form::Integer:
            return QString::number(binaryInteger(g.raw));
        case Form::Chunk:
            return QString::fromLatin1(g.raw.toByteArray().toHex().toUpper());
    }
    return {};
}

bool Reader::is(const Group& g, const char* value) {
    QByteArrayView raw = g.raw;
    auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    if (!raw.isEmpty() && (blank(raw.front()) || blank(raw.back()))) raw = raw.trimmed();
    const size_t size = std::strlen(value);
    return size_t(raw.size()) == size && std::memcmp(raw.data(), value, size) == 0;
}

Reader::SharedName* Reader::sharedPlace(const Group& g, bool keepFirst) {
    const std::string_view key(g.raw.data(), size_t(g.raw.size()));
    if (key.empty() || g.form != Form::Text) return nullptr;
    const quint64 hash = bytesHash(key);
    SharedName& slot = names_[hash & (names_.size() - 1)];
    const bool near = key.size() <= slot.near.size();
    if (slot.hash == hash && slot.size == key.size() &&
        (near ? std::memcmp(slot.near.data(), key.data(), key.size()) == 0
              : std::string_view(slot.far, key.size()) == key)) {
        if (!slot.kept) {
            slot.text = text(g);
            slot.kept = true;
        }
        slot.hot = true;
        return &slot;
    }
    if (slot.kept && slot.hot) {
        slot.hot = false;
        return nullptr;
    }
    slot.hash = hash;
    slot.size = quint32(key.size());
    slot.hot = false;
    slot.name.clear();
    if (near)
        std::memcpy(slot.near.data(), key.data(), key.size());
    else
        slot.far = key.data();
    slot.kept = keepFirst;
    slot.text = keepFirst ? text(g) : QString();
    return keepFirst ? &slot : nullptr;
}

QString Reader::nameText(const Group& g) {
    const SharedName* place = sharedPlace(g);
    return place ? place->text : text(g);
}

Name Reader::name(const Group& g) {
    // Names are kept when first met (they repeat: layers, styles, blocks), in copies of the
    // reader's own: the two halves of a check, read side by side, would otherwise count the
    // same copies from both cores, each core taking their memory from the other.
    SharedName* place = sharedPlace(g, true);
    if (!place) return Name::unshared(text(g));
    if (place->name.isEmpty()) place->name = Name::unshared(place->text);
    return place->name;
}

QString Reader::value(const Group& g) {
    return g.raw.size() <= kSharedValueBytes ? nameText(g) : text(g);
}

bool Reader::more() {
    if (!haveAhead_) haveAhead_ = readGroup();
    if (!haveAhead_) lastLine_ = line_;
    return haveAhead_;
}

const Group& Reader::peek() {
    if (!more()) fail(lastLine_, QStringLiteral("unexpected end of file"));
    return ahead_;
}

const Group& Reader::next() {
    if (!more()) fail(lastLine_, QStringLiteral("unexpected end of file"));
    current_ = std::move(ahead_);
    haveAhead_ = false;
    return current_;
}

double Reader::real(const Group& g) const {
    double v = 0.0;
    bool ok = true;
    if (g.form == Form::Real)
        v = binaryReal(g.raw);
    else if (g.form == Form::Integer)
        v = double(binaryInteger(g.raw));
    else if (!(ok = parseReal(g.raw, &v)))
        v = text(g).trimmed().toDouble(&ok);  // what the fast path does not take
    if (!ok || !std::isfinite(v))
        failAt(g, QStringLiteral("number expected for group %1, found '%2'")
                      .arg(g.code)
                      .arg(text(g).left(40)));
    if (std::abs(v) > kMaxCoordinate)
        failAt(g, QStringLiteral("value %1 of group %2 out of range").arg(v).arg(g.code));
    return v;
}

int Reader::integer(const Group& g) const {
    long long v = 0;
    bool ok = true;
    if (g.form == Form::Integer) {
        v = binaryInteger(g.raw);
    } else if (g.form == Form::Real) {
        const double d = binaryReal(g.raw);
        ok = std::isfinite(d) && d == std::trunc(d) && std::abs(d) < 1e18;
        v = ok ? (long long)d : 0;
    } else if (!(ok = parseInteger(g.raw, &v))) {
        v = text(g).trimmed().toLongLong(&ok);  // what the fast path does not take
    }
    if (!ok || v < INT_MIN || v > INT_MAX)
        failAt(g, QStringLiteral("integer expected for group %1, found '%2'")
                      .arg(g.code)
                      .arg(text(g).left(40)));
    return int(v);
}

const Record& Reader::readRecord() {
    Record& r = record_;
    r.clear();
    // Groups as writers write them go from the file straight into the record, the reading
    // position kept in registers; any other group, and the last lines of the file, go the
    // general way below, which refuses or repairs what needs it.
    if (!binary_ && !haveAhead_) {
        const char* const data = data_.constData();
        const qsizetype size = data_.size();
        qsizetype at = offset_;
        int line = line_;
        while (size - at >= kPlainCodeRoom && qsizetype(r.size()) < kMaxRecordGroups) {
            long long code = 0;
            const char* const value = plainCode(data + at, &code);
            if (!value || code > 1071) break;
            const qsizetype length = lineLength(value, data + size - value);
            if (length < 0) break;
            const Group g{int(code), line + 1, lineBytes(value, length)};
            at = value + length + 1 - data;
            line += 2;
            if (code == 0) {
                ahead_ = g;
                haveAhead_ = true;
                break;
            }
            r.push_back(g);
        }
        offset_ = at;
        line_ = line;
    }
    // Groups go from the look-ahead straight into the record: most of a file is read here.
    while (more()) {
        if (ahead_.code == 0) return r;
        if (qsizetype(r.size()) >= kMaxRecordGroups)
            failAt(ahead_, QStringLiteral("record too long"));
        r.push_back(ahead_);
        haveAhead_ = false;
    }
    fail(lastLine_, QStringLiteral("unexpected end of file"));
}

// A recovering read that found nothing of a drawing: refused with what it met first.
void Reader::nothingRead() {
    if (!audit_.lines.isEmpty())
        fail(0,
             QStringLiteral("nothing of a drawing could be read (%1)").arg(audit_.lines.first()));
    fail(0, QStringLiteral("empty file"));
}

Document Reader::run() {
    names_.resize(nameSlotsFor(data_.size()));
    tokenize();
    // A large file's entities grow the heap by hundreds of megabytes.
    if (data_.size() >= kLargeFile) heap_.emplace();
    // Read as UTF-8 and found not to be, the file is read again, its errors included.
    auto settleUtf8 = [this] {
        if (utf8Check_.valid() && !utf8Check_.get()) throw NotUtf8{};
    };
    try {
        Document doc = readSections();
        settleUtf8();
        return doc;
    } catch (const DxfError&) {
        settleUtf8();
        throw;
    }
}

Document Reader::readSections() {
    if (!more()) nothingRead();
    bool sawEof = false;
    int sections = 0;  // read whole or in part: a recovering read needs one
    while (more()) {
        const Group g = next();
        if (g.code == 999) continue;
        if (g.code == 0 && is(g, "EOF")) {
            sawEof = true;
            break;
        }
        if (g.code != 0 || !is(g, "SECTION")) {
            const QString reason =
                QStringLiteral("SECTION expected, found %1 '%2'").arg(g.code).arg(text(g).left(40));
            if (!recover_) failAt(g, reason);
            note(true, g.line, reason + QStringLiteral(": skipped to the next section"));
            skipToSectionEnd();
            continue;
        }
        if (!recover_) {
            section();
        } else {
            try {
                section();
            } catch (const DxfError& e) {
                note(true, e.line(),
                     QStringLiteral("the rest of the section was dropped: %1").arg(e.reason()));
                skipToSectionEnd();
            }
        }
        ++sections;
    }
    if (!sawEof) {
        if (!recover_) fail(lastLine_, QStringLiteral("unexpected end of file (no EOF)"));
        if (sections == 0) nothingRead();
        note(false, lastLine_, QStringLiteral("the file ends without EOF: what it holds is kept"));
    } else if (offset_ < data_.size() &&
               !QByteArrayView(data_).sliced(offset_).trimmed().isEmpty()) {
        note(true, line_ + 1,
             QStringLiteral("%1 bytes after EOF ignored").arg(data_.size() - offset_));
    }
    return finishDocument();
}

void Reader::skipToSectionEnd() {
    while (more()) {
        const Group& g = peek();
        if (g.code == 0 && (is(g, "SECTION") || is(g, "EOF"))) return;
        next();
        if (current_.code == 0 && is(current_, "ENDSEC")) return;
    }
}

void Reader::section() {
    {
        const Group name = next();
        if (name.code != 2) failAt(name, QStringLiteral("section name expected"));
        const QString section = text(name).trimmed();
        if (section == QLatin1String("HEADER")) {
            header();
        } else if (section == QLatin1String("TABLES")) {
            tables();
        } else if (section == QLatin1String("BLOCKS")) {
            blocks();
        } else if (section == QLatin1String("ENTITIES")) {
            std::vector<bool> paper;
            std::vector<Entity> list = entityList(&paper);
            // Paper space entities go to their layout; the rest stay in the list, in order.
            size_t kept = 0;
            for (size_t k = 0; k < list.size(); ++k) {
                if (paper[k])
                    paperBlocks_[QStringLiteral("*PAPER_SPACE")].push_back(std::move(list[k]));
                else if (kept++ != k)
                    list[kept - 1] = std::move(list[k]);
            }
            list.resize(kept);
            doc_.addAll(doc_.modelSpace(), std::move(list));
            next();  // ENDSEC
        } else if (section == QLatin1String("OBJECTS")) {
            objects();
        } else {
            skipSection();
        }
    }
}

Document Reader::finishDocument() {
    // Paper layouts: named by the LAYOUT objects when present, in tab order.
    std::sort(layouts_.begin(), layouts_.end(),
              [](const LayoutInfo& a, const LayoutInfo& b) { return a.tab < b.tab; });
    // A layout whose link to its block is broken (no block record, or the record of another
    // block) takes the first paper space block no layout links to.
    std::set<QString> linked;
    for (const LayoutInfo& l : layouts_) {
        auto rec = recordNames_.find(l.record);
        if (rec != recordNames_.end()) linked.insert(rec->second.toUpper());
    }
    for (LayoutInfo& l : layouts_) {
        if (l.name.compare(QLatin1String("Model"), Qt::CaseInsensitive) == 0) continue;
        auto rec = recordNames_.find(l.record);
        if (rec != recordNames_.end() &&
            rec->second.toUpper().startsWith(QLatin1String("*PAPER_SPACE")))
            continue;
        for (const auto& [block, list] : paperBlocks_) {
            if (linked.count(block)) continue;
            linked.insert(block);
            const QString record = QStringLiteral("relinked:%1").arg(block);
            recordNames_[record] = block;
            l.record = record;
            note(false, 0,
                 QStringLiteral("layout %1 was linked to its block %2 again").arg(l.name, block));
            break;
        }
    }
    for (const LayoutInfo& l : layouts_) {
        auto rec = recordNames_.find(l.record);
        if (rec == recordNames_.end() ||
            l.name.compare(QLatin1String("Model"), Qt::CaseInsensitive) == 0)
            continue;
        const QString block = rec->second.toUpper();
        if (!block.startsWith(QLatin1String("*PAPER_SPACE"))) continue;
        Space& space = doc_.addLayout(l.name);
        auto it = paperBlocks_.find(block);
        if (it == paperBlocks_.end()) continue;
        // The sheet's own viewport is written anew with every layout.
        for (Entity& e : it->second) {
            if (!isSheetViewport(e)) doc_.add(space, std::move(e));
        }
        paperBlocks_.erase(it);
    }
    int n = int(doc_.layouts().size());
    for (auto& [name, list] : paperBlocks_) {
        if (std::all_of(list.begin(), list.end(), isSheetViewport)) continue;
        Space& space = doc_.addLayout(QStringLiteral("Layout%1").arg(++n));
        for (Entity& e : list) {
            if (!isSheetViewport(e)) doc_.add(space, std::move(e));
        }
    }
    finish();
    auditHandles();
    doc_.raiseHandleSeed(seed_);
    return std::move(doc_);
}

// Handles used twice: the document gives the later ones new handles.
void Reader::auditHandles() {
    // Most files list their entities in the order of their handles: nothing to sort then.
    if (handlesAscending_) {
        handleNumbers_ = {};
        return;
    }
    std::sort(handleNumbers_.begin(), handleNumbers_.end());
    for (size_t k = 1; k < handleNumbers_.size(); ++k) {
        if (handleNumbers_[k] != handleNumbers_[k - 1]) continue;
        note(false, 0,
             QStringLiteral("handle %1 was used twice: renumbered")
                 .arg(QString::number(handleNumbers_[k], 16).toUpper()));
    }
    handleNumbers_ = {};
}

// What can only be put together once the whole file is read: the text styles of the
// dimension styles, the files of images, and which "*D" blocks belong to dimensions.
void Reader::finish() {
    for (const auto& [dimStyle, handle] : dimTextStyle_) {
        const auto style = styleNames_.find(handle);
        if (style == styleNames_.end()) continue;
        for (DimStyle& ds : doc_.dimStyles()) {
            if (ds.name.compare(dimStyle, Qt::CaseInsensitive) == 0) ds.textStyle = style->second;
        }
    }
    for (const auto& [dimStyle, handle] : dimArrow_) {
        const auto block = recordNames_.find(handle);
        if (block == recordNames_.end()) continue;
        for (DimStyle& ds : doc_.dimStyles()) {
            if (ds.name.compare(dimStyle, Qt::CaseInsensitive) == 0) ds.arrowBlock = block->second;
        }
    }
    QSet<QString> dimensionBlocks, insertedBlocks;
    forEachEntity(doc_, [&](Entity& e) {
        if (e.kind == EntityKind::Insert) insertedBlocks.insert(e.blockName->toUpper());
        if (e.kind == EntityKind::Dimension) {
            dimensionBlocks.insert(e.blockName->toUpper());
            e.blockName.clear();
        }
        if (e.kind != EntityKind::Image) return;
        const auto ref = imageDefOf_.find(e.handle.toString());
        if (ref == imageDefOf_.end()) return;
        const auto def = imageDefs_.find(ref->second);
        if (def == imageDefs_.end()) return;
        e.detail.edit().fileName = def->second.first;
        if (e.detail->pixelSize.isEmpty()) e.detail.edit().pixelSize = def->second.second;
    });
    // The standard arrow blocks are written anew for the dimension styles that use them, so
    // they are not kept unless something inserts them.
    for (Block& stashed : arrowBlocks_) {
        if (!insertedBlocks.contains(stashed.name.toUpper())) continue;
        Block& b = doc_.addBlock(stashed.name, stashed.base);
        for (Entity& e : stashed.entities) doc_.add(b, std::move(e));
    }
    // A dimension's drawing is made anew from its definition points when it is written, so
    // its block is not kept; "*D" blocks no dimension refers to stay as they are.
    for (Block& stashed : dimBlocks_) {
        if (dimensionBlocks.contains(stashed.name.toUpper())) continue;
        Block& b = doc_.addBlock(stashed.name, stashed.base);
        for (Entity& e : stashed.entities) doc_.add(b, std::move(e));
    }
}

void Reader::skipSection() {
    while (true) {
        const Group g = next();
        if (g.code == 0 && is(g, "ENDSEC")) return;
    }
}

void Reader::header() {
    QString var;
    while (true) {
        const Group g = next();
        if (g.code == 0) {
            if (is(g, "ENDSEC")) return;
            failAt(g, QStringLiteral("unexpected '%1' in HEADER").arg(text(g).left(40)));
        }
        if (g.code == 9) {
            var = text(g).trimmed().toUpper();
        } else if (var == QLatin1String("$HANDSEED") && g.code == 5) {
            bool ok = false;
            const quint64 s = text(g).trimmed().toULongLong(&ok, 16);
            if (ok && s < (quint64(1) << 60)) seed_ = s;
        } else if (var == QLatin1String("$INSBASE") && (g.code == 10 || g.code == 20)) {
            QPointF base = doc_.insertionBase();
            (g.code == 10 ? base.rx() : base.ry()) = real(g);
            doc_.setInsertionBase(base);
        } else if (var == QLatin1String("$INSUNITS") && g.code == 70) {
            doc_.setUnits(integer(g));
        } else if (var == QLatin1String("$CLAYER") && g.code == 8 && !text(g).trimmed().isEmpty()) {
            doc_.setCurrentLayer(text(g).trimmed());
        } else {
            setting(var, g);
        }
    }
}

// The drawing-wide values of the header; a value out of its range keeps the default.
void Reader::setting(const QString& var, const Group& g) {
    DrawingSettings& set = doc_.settings();
    const QString value = text(g).trimmed();
    if (var == QLatin1String("$CECOLOR") && g.code == 62) {
        const int c = integer(g);
        if (c >= 0 && c <= 256) set.color = c;
    } else if (var == QLatin1String("$CELTYPE") && g.code == 6 && !value.isEmpty()) {
        set.lineType = value;
    } else if (var == QLatin1String("$CELWEIGHT") && g.code == 370) {
        const int w = integer(g);
        if (w >= -3 && w <= 211) set.lineWeight = w;
    } else if (var == QLatin1String("$TEXTSIZE") && g.code == 40) {
        const double h = real(g);
        if (h > 0) set.textHeight = h;
    } else if (var == QLatin1String("$TEXTSTYLE") && g.code == 7 && !value.isEmpty()) {
        set.textStyle = value;
    } else if (var == QLatin1String("$DIMSTYLE") && g.code == 2 && !value.isEmpty()) {
        set.dimStyle = value;
    } else if (var == QLatin1String("$LUNITS") && g.code == 70) {
        const int u = integer(g);
        if (u >= 1 && u <= 5) set.linearUnits = u;
    } else if (var == QLatin1String("$LUPREC") && g.code == 70) {
        set.precision = std::clamp(integer(g), 0, 8);
    } else if ((var == QLatin1String("$LIMMIN") || var == QLatin1String("$LIMMAX")) &&
               (g.code == 10 || g.code == 20)) {
        QPointF& p = var == QLatin1String("$LIMMIN") ? set.limitsMin : set.limitsMax;
        (g.code == 10 ? p.rx() : p.ry()) = real(g);
    } else if (var == QLatin1String("$LTSCALE") && g.code == 40) {
        const double s = real(g);
        if (s > 0) set.lineTypeScale = s;
    } else if (var == QLatin1String("$ORTHOMODE") && g.code == 70) {
        set.orthoMode = integer(g) != 0;
    } else if (var == QLatin1String("$PDMODE") && g.code == 70) {
        set.pointMode = integer(g);
    } else if (var == QLatin1String("$PDSIZE") && g.code == 40) {
        set.pointSize = real(g);
    } else if (var == QLatin1String("$PLINEWID") && g.code == 40) {
        const double w = real(g);
        if (w >= 0) set.polylineWidth = w;
    } else if (var == QLatin1String("$SHADEDGE") && g.code == 70) {
        const int v = integer(g);
        if (v >= 0 && v <= 3) set.shadeEdge = v;
    }
}

void Reader::tables() {
    while (true) {
        const Group g = next();
        if (g.code != 0) failAt(g, QStringLiteral("TABLE expected"));
        const QString v = text(g).trimmed();
        if (v == QLatin1String("ENDSEC")) return;
        if (v == QLatin1String("TABLE")) {
            readRecord();
            continue;
        }
        if (v == QLatin1String("ENDTAB")) {
            readRecord();
            continue;
        }
        tableEntry(v, readRecord());
    }
}

void Reader::tableEntry(const QString& type, const Record& r) {
    auto field = [&](int code) {
        for (const Group& g : r) {
            if (g.code == code) return text(g);
        }
        return QString();
    };
    const QString name = field(2);
    if (type == QLatin1String("BLOCK_RECORD")) {
        recordNames_[Document::normalHandle(field(5))] = name;
        return;
    }
    if (name.isEmpty()) return;
    if (type == QLatin1String("VPORT")) {
        // The drawing aids of the active viewport (the first one of that name).
        if (name.compare(QLatin1String("*Active"), Qt::CaseInsensitive) != 0 || activeRead_) return;
        activeRead_ = true;
        DrawingSettings& set = doc_.settings();
        for (const Group& g : r) {
            const auto spacing = [&](double& v) {
                const double x = real(g);
                if (x > 0 && std::isfinite(x)) v = x;
            };
            if (g.code == 14) spacing(set.snapSpacing.rx());
            if (g.code == 24) spacing(set.snapSpacing.ry());
            if (g.code == 15) spacing(set.gridSpacing.rx());
            if (g.code == 25) spacing(set.gridSpacing.ry());
            if (g.code == 75) set.snapMode = integer(g) != 0;
            if (g.code == 76) set.gridMode = integer(g) != 0;
            if (g.code == 42) {
                const double lens = real(g);
                if (lens > 0) set.focalLength = lens;
            }
        }
        return;
    }
    if (type == QLatin1String("STYLE")) styleNames_[Document::normalHandle(field(5))] = name;
    if (type == QLatin1String("LAYER")) {
        Layer l{name};
        for (const Group& g : r) {
            if (g.code == 62) {
                const int c = integer(g);
                l.on = c >= 0;
                l.color = std::abs(c) >= 1 && std::abs(c) <= 255 ? std::abs(c) : 7;
            } else if (g.code == 70) {
                const int f = integer(g);
                l.frozen = f & 1;
                l.locked = f & 4;
            } else if (g.code == 6) {
                l.lineType = text(g);
            }
        }
        doc_.addLayer(l);
    } else if (type == QLatin1String("STYLE")) {
        TextStyle s{name};
        QString app, family;
        for (const Group& g : r) {
            if (g.code == 1001) app = text(g).trimmed().toUpper();
            if (g.code >= 1000) {
                // TrueType faces: the family, then bold and italic among the font flags.
                if (app == QLatin1String("ACAD") && g.code == 1000) family = text(g);
                if (app == QLatin1String("ACAD") && g.code == 1071) {
                    const qint64 flags = text(g).trimmed().toLongLong();
                    s.bold = flags & 0x1000000;
                    s.italic = flags & 0x2000000;
                }
                if (app == QLatin1String("TOLVANE_STYLE") && g.code == 1070) {
                    const int flags = integer(g);
                    s.underline = flags & 1;
                    s.strikeout = flags & 2;
                }
                continue;
            }
            if (g.code == 3) s.font = text(g);
            if (g.code == 40) s.height = real(g);
            if (g.code == 41) s.widthFactor = real(g);
            if (g.code == 70 && (integer(g) & 1)) return;  // shape file, not a text style
        }
        // Some programs name a TrueType face by its family alone.
        if (s.font.trimmed().isEmpty() && !family.trimmed().isEmpty()) s.font = family;
        doc_.addTextStyle(s);
    } else if (type == QLatin1String("LTYPE")) {
        if (name.compare(QLatin1String("BYLAYER"), Qt::CaseInsensitive) == 0 ||
            name.compare(QLatin1String("BYBLOCK"), Qt::CaseInsensitive) == 0)
            return;
        LineType t{name, field(3), {}};
        for (const Group& g : r) {
            if (g.code == 49) {
                if (t.pattern.size() >= 64) failAt(g, QStringLiteral("line type too long"));
                t.pattern.append(real(g));
            }
        }
        doc_.addLineType(t);
    } else if (type == QLatin1String("DIMSTYLE")) {
        DimStyle s{name};
        for (const Group& g : r) {
            if (g.code == 140) s.textHeight = real(g);
            if (g.code == 41) s.arrowSize = real(g);
            if (g.code == 42) s.extensionOffset = real(g);
            if (g.code == 44) s.extensionExtension = real(g);
            if (g.code == 271) s.decimals = std::clamp(integer(g), 0, 8);
            if (g.code == 340) dimTextStyle_.push_back({name, Document::normalHandle(text(g))});
            if (g.code == 342) dimArrow_.push_back({name, Document::normalHandle(text(g))});
            if (g.code == 40) s.scale = real(g);
            if (g.code == 147) s.textGap = real(g);
            if (g.code == 73) s.textHorizontal = integer(g) != 0;  // inside the extension lines
            if (g.code == 75) s.showExtension1 = integer(g) == 0;
            if (g.code == 76) s.showExtension2 = integer(g) == 0;
            if (g.code == 77) s.textAbove = integer(g) != 0;
            if (g.code == 177) s.extensionColor = std::clamp(integer(g), 0, 256);
            if (g.code == 178) s.textColor = std::clamp(integer(g), 0, 256);
        }
        doc_.addDimStyle(s);
    }
}

// A name for a block without one: its block record's, when that names it and no block of
// the drawing has the name yet; otherwise a new one.
QString Reader::recoveredBlockName(const Record& head) {
    for (const Group& h : head) {
        if (h.code != 330) continue;
        const auto rec = recordNames_.find(Document::normalHandle(text(h)));
        if (rec != recordNames_.end() && !rec->second.trimmed().isEmpty() &&
            !doc_.block(rec->second))
            return rec->second;
        break;
    }
    QString name;
    do {
        name = QStringLiteral("RECOVERED_%1").arg(++recoveredBlocks_);
    } while (doc_.block(name));
    return name;
}

void Reader::blocks() {
    while (true) {
        if (recover_ && !more()) return;
        const Group g = next();
        if (g.code != 0) failAt(g, QStringLiteral("BLOCK expected"));
        const QString v = text(g).trimmed();
        if (v == QLatin1String("ENDSEC")) return;
        if (v != QLatin1String("BLOCK"))
            failAt(g, QStringLiteral("BLOCK expected, found '%1'").arg(v.left(40)));
        const Record& head = readRecord();
        QString name;
        QPointF base;
        for (const Group& h : head) {
            if (h.code == 2) name = text(h);
            if (h.code == 10) base.setX(real(h));
            if (h.code == 20) base.setY(real(h));
        }
        if (name.isEmpty()) {
            if (!recover_) failAt(g, QStringLiteral("block without a name"));
            name = recoveredBlockName(head);
            note(false, g.line, QStringLiteral("block without a name named %1").arg(name));
        }
        std::vector<Entity> list = entityList(nullptr);
        if (recover_ && !(more() && peek().code == 0 && is(peek(), "ENDBLK"))) {
            note(false, g.line,
                 QStringLiteral("block %1 not closed: closed where it ends").arg(name));
        } else {
            const Group end = next();
            if (!is(end, "ENDBLK")) failAt(end, QStringLiteral("ENDBLK expected"));
            readRecord();
        }
        if (!recordNames_.empty()) {
            // A block whose record is missing gets one anew when the drawing is written.
            QString owner;
            for (const Group& h : head) {
                if (h.code == 330) {
                    owner = Document::normalHandle(text(h));
                    break;
                }
            }
            if (!owner.isEmpty() && !recordNames_.count(owner) &&
                !name.startsWith(QLatin1Char('*')))
                note(false, g.line,
                     QStringLiteral("block %1 had no block record: made anew").arg(name));
        }
        const QString upper = name.toUpper();
        if (upper.startsWith(QLatin1String("*MODEL_SPACE"))) {
            doc_.addAll(doc_.modelSpace(), std::move(list));
        } else if (upper.startsWith(QLatin1String("*PAPER_SPACE"))) {
            auto& target = paperBlocks_[upper];
            for (Entity& e : list) target.push_back(std::move(e));
        } else if (upper.startsWith(QLatin1String("*D"))) {
            dimBlocks_.push_back(Block{name, base, std::move(list)});
        } else if (isStandardArrow(name)) {
            arrowBlocks_.push_back(Block{name, base, std::move(list)});
        } else {
            doc_.addAll(doc_.addBlock(name, base), std::move(list));
        }
    }
}

// How many groups of code 0 follow as most programs write them ("  0" on a line of its
// own): a bound of the entities of the ENTITIES section, so that its list is reserved once
// instead of moving every entity read so far each time it grows. Pages reserved beyond what
// is read are never touched and take no memory. Files written otherwise get no reservation.
size_t Reader::entityStartsAhead() const {
    if (binary_) return binaryEntityStartsAhead();
    const char* p = data_.constData() + offset_;
    const char* end = data_.constData() + data_.size();
    const std::string_view needle = zeroGroupLine();
    // A large rest is counted in two halves side by side: the count is the first to read most
    // of the file's pages, each a fault that the other thread takes meanwhile.
    if (end - p < kLargeFile) return countStarts(p, end, end, needle);
    const char* half = p + (end - p) / 2;
    auto later = std::async(std::launch::async, countStarts, half, end, end, needle);
    const size_t n = countStarts(p, half, end, needle);
    return n + later.get();
}

// A 0 group as most programs write it, with the line end before it, in the file's line ends.
std::string_view Reader::zeroGroupLine() const {
    const char* nl = static_cast<const char*>(std::memchr(data_.constData(), '\n', data_.size()));
    const bool crlf = nl && nl > data_.constData() && nl[-1] == '\r';
    return crlf ? std::string_view("\n  0\r\n") : "\n  0\n";
}

// Where a second reader can start, about halfway through the rest of the file: the line of a 0
// group that starts an entity of its own (not an insert's attribute, nor a polyline's vertex
// or end). nullptr when none is found among the next starts. Whether it lies in the ENTITIES
// section is known only when this reader gets there (see joinHalf).
const char* Reader::splitPoint() const {
    const char* const end = data_.constData() + data_.size();
    const std::string_view needle = zeroGroupLine();
    const char* p =
        data_.constData() + offset_ +
        (data_.size() - offset_) * (checking_ ? kCheckSplitShare : kLoadSplitShare) / 100;
    for (int tries = 0; tries < 64; ++tries) {
        const void* hit = memmem(p, size_t(end - p), needle.data(), needle.size());
        if (!hit) return nullptr;
        const char* const type = static_cast<const char*>(hit) + needle.size();
        const qsizetype length = lineLength(type, end - type);
        if (length < 0) return nullptr;
        const QByteArrayView name = lineBytes(type, length).trimmed();
        // A value line "  0" is followed by a group code, which has no letter.
        const bool entity =
            std::any_of(name.begin(), name.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
        if (entity && name != QByteArrayView("ATTRIB") && name != QByteArrayView("VERTEX") &&
            name != QByteArrayView("SEQEND") && name != QByteArrayView("ENDSEC") &&
            name != QByteArrayView("ENDBLK") && name != QByteArrayView("SECTION") &&
            name != QByteArrayView("EOF"))
            return static_cast<const char*>(hit) + 1;
        p = type;
    }
    return nullptr;
}

// The groups of code 0 that follow in a binary file, each group skipped by its form alone: a
// scan far quicker than the read. A damaged rest ends the count where it is met.
size_t Reader::binaryEntityStartsAhead() const {
    const auto* p = reinterpret_cast<const unsigned char*>(data_.constData());
    const qsizetype size = data_.size();
    qsizetype at = offset_;
    size_t n = 0;
    while (at < size) {
        int code = 0;
        if (shortCodes_) {
            code = p[at++];
            if (code == 255) {
                if (size - at < 2) break;
                code = p[at] | (p[at + 1] << 8);
                at += 2;
            }
        } else {
            if (size - at < 2) break;
            code = qint16(quint16(p[at] | (p[at + 1] << 8)));
            at += 2;
        }
        const auto [form, width] = binaryForm(code);
        if (form == Form::Text) {
            const void* zero = std::memchr(p + at, 0, size_t(size - at));
            if (!zero) break;
            at = static_cast<const unsigned char*>(zero) - p + 1;
            if (code == 0) ++n;
        } else if (form == Form::Chunk) {
            if (at >= size) break;
            at += 1 + p[at];
        } else {
            at += width;
        }
    }
    return n;
}

struct Reader::Half {
    Half(const Reader& whole, qsizetype from) : reader(whole, Part{}, from) {}
    ~Half() {
        abandoned = true;
        if (done.valid()) done.wait();
    }
    Half(const Half&) = delete;
    Half& operator=(const Half&) = delete;
    Reader reader;
    std::vector<Entity> list;
    std::vector<bool> paper;
    std::atomic<bool> abandoned{false};
    bool read = false;  // through to the end of its section, without a remark
    size_t starts = 0;  // a load's estimate of its entities (see estimateStarts)
    std::future<void> done;
};

std::vector<Entity> Reader::entityList(std::vector<bool>* paper) {
    std::vector<Entity> list;
    const char* const split = paper && !recover_ && !light_ && !binary_ &&
                                      multiByte_ == iconv_t(-1) &&
                                      data_.size() - offset_ >= kLargeFile
                                  ? splitPoint()
                                  : nullptr;
    // The half's reader reserves its list and reads on its own thread meanwhile.
    const std::unique_ptr<Half> half = split ? startHalf(split) : nullptr;
    if (paper && !checking_) {
        // Both halves' entities end in this list.
        const size_t bound =
            half ? estimateStarts(data_.constData() + offset_, split,
                                  data_.constData() + data_.size(), zeroGroupLine()) +
                       half->starts
                 : entityStartsAhead();
        list.reserve(bound);
        paper->reserve(bound);
        if (heap_)
            heap_->writeAhead(list.data(), list.capacity() * sizeof(Entity));
        else
            adviseHugePages(list.data(), list.capacity() * sizeof(Entity));
    }
    // An insert's attributes are gathered apart and given to it at once when they end, so
    // that its list is made once and as long as it needs to be.
    attributes_.clear();
    if (recover_) {
        // What was read before the list broke off is kept.
        try {
            entities(list, paper);
        } catch (const DxfError& e) {
            giveAttributes(list);
            note(true, e.line(),
                 QStringLiteral("the rest of the entities dropped: %1").arg(e.reason()));
        }
    } else if (half) {
        entities(list, paper);
        joinHalf(*half, list, paper);
    } else {
        entities(list, paper);
    }
    if (heap_) heap_->endList(list.data() + list.size());
    return list;
}

void Reader::giveAttributes(std::vector<Entity>& list) {
    if (attributes_.empty() || list.empty()) return;
    std::vector<Entity>& to = list.back().attributes;
    to.reserve(to.size() + attributes_.size());
    for (Entity& a : attributes_) to.push_back(std::move(a));
    attributes_.clear();
}

Reader::Reader(const Reader& whole, Part, qsizetype from)
    : checking_(whole.checking_), part_(true), data_(whole.data_) {
    utf8_ = whole.utf8_;
    unicodeEscapes_ = whole.unicodeEscapes_;
    singleByte_ = whole.singleByte_;
    upperHalf_ = whole.upperHalf_;
    offset_ = from;
}

std::unique_ptr<Reader::Half> Reader::startHalf(const char* split) {
    auto half = std::make_unique<Half>(*this, split - data_.constData());
    const char* const end = data_.constData() + data_.size();
    if (!checking_) half->starts = estimateStarts(split, end, end, zeroGroupLine());
    half->reader.abandoned_ = &half->abandoned;
    Half* const h = half.get();
    half->done = std::async(std::launch::async, [h] { h->reader.readHalf(*h); });
    // This reader stops at the value of the 0 group the half starts with.
    stopAt_ = split + lineLength(split, data_.constData() + data_.size() - split) + 1;
    stopped_ = false;
    return half;
}

// On the half's own thread, by its reader.
void Reader::readHalf(Half& half) {
    try {
        names_.resize(nameSlotsFor(data_.size() - offset_));
        if (!checking_) {
            heap_.emplace();
            half.list.reserve(half.starts);
            half.paper.reserve(half.starts);
            heap_->writeAhead(half.list.data(), half.list.capacity() * sizeof(Entity));
        }
        entities(half.list, &half.paper);
        half.read = audit_.dropped == 0 && audit_.changed == 0;
        if (heap_) heap_->endList(half.list.data() + half.list.size());
    } catch (const DxfError&) {
    } catch (const std::bad_alloc&) {
    }
    heap_.reset();
}

void Reader::reserveHandle(const QString& handle) {
    if (part_)
        reservedHandles_.push_back(handle);
    else
        doc_.reserveHandle(handle);
}

void Reader::joinHalf(Half& half, std::vector<Entity>& list, std::vector<bool>* paper) {
    const bool reached = stopped_;
    stopAt_ = nullptr;
    stopped_ = false;
    if (!reached) half.abandoned = true;
    half.done.get();
    // The section ended before the half's start: what it read lies beyond.
    if (!reached) return;
    Reader& r = half.reader;
    if (!half.read || keptBytes_ + r.keptBytes_ > kMaxKeptBytes) {
        entities(list, paper);  // read on from the half's start, as in one piece
        return;
    }
    keptBytes_ += r.keptBytes_;
    if (!checking_) {
        unsigned moved = 0;
        for (Entity& e : half.list) {
            list.push_back(std::move(e));
            if (heap_ && (++moved & 1023) == 0) heap_->advise(list.data() + list.size());
        }
        paper->insert(paper->end(), half.paper.begin(), half.paper.end());
        if (!r.handleNumbers_.empty()) {
            if (!handleNumbers_.empty() && r.handleNumbers_.front() <= handleNumbers_.back())
                handlesAscending_ = false;
            handlesAscending_ = handlesAscending_ && r.handlesAscending_;
            handleNumbers_.insert(handleNumbers_.end(), r.handleNumbers_.begin(),
                                  r.handleNumbers_.end());
        }
        for (const QString& h : r.reservedHandles_) doc_.reserveHandle(h);
        for (auto& [image, def] : r.imageDefOf_) imageDefOf_[image] = def;
        half.list.clear();
        releasePages(half.list.data(), half.list.capacity() * sizeof(Entity));
    }
    // The read goes on where the half's ended, its lines counted from the half's start.
    const int base = ahead_.line - 1;
    offset_ = r.offset_;
    line_ = r.line_ + base;
    lastLine_ = r.lastLine_ + base;
    ahead_ = r.ahead_;
    ahead_.line += base;
    haveAhead_ = r.haveAhead_;
}

void Reader::entities(std::vector<Entity>& list, std::vector<bool>* paper) {
    bool lastLight = false;  // the last entity of the list was read light: so are its attributes
    auto giveAttributes = [&] { this->giveAttributes(list); };
    unsigned read = 0;
    while (true) {
        if ((++read & 1023) == 0) {
            if (heap_) heap_->advise(list.data() + list.size());
            if (abandoned_ && abandoned_->load(std::memory_order_relaxed))
                fail(line_, QStringLiteral("not needed"));
        }
        const Group g = peek();
        if (g.code != 0) failAt(g, QStringLiteral("entity expected, found group %1").arg(g.code));
        const QByteArrayView type = g.raw.trimmed();
        if (type != QByteArrayView("ATTRIB")) giveAttributes();
        if (g.raw.data() == stopAt_) {
            stopped_ = true;
            return;
        }
        if (type == QByteArrayView("ENDSEC") || type == QByteArrayView("ENDBLK")) return;
        if (type == QByteArrayView("EOF") || type == QByteArrayView("SECTION")) {
            if (!recover_) failAt(g, QStringLiteral("section not closed"));
            note(false, g.line, QStringLiteral("section not closed: closed here"));
            return;
        }
        if (recover_ && !more()) {
            note(true, g.line,
                 QStringLiteral("%1 dropped: the file ends inside it").arg(decode(type)));
            return;
        }
        next();
        const Record& r = readRecord();
        if (type == QByteArrayView("ATTRIB") || type == QByteArrayView("SEQEND") ||
            type == QByteArrayView("VERTEX")) {
            const bool ofInsert = !list.empty() && list.back().kind == EntityKind::Insert;
            if (type == QByteArrayView("ATTRIB") && ofInsert) {
                bool ignored = false;
                Entity& a = attributes_.emplace_back();
                if (!recover_) {
                    toEntity(a, type, r, &ignored, lastLight);
                } else {
                    try {
                        toEntity(a, type, r, &ignored, lastLight);
                    } catch (const DxfError& err) {
                        attributes_.pop_back();
                        note(true, g.line, QStringLiteral("ATTRIB dropped: %1").arg(err.reason()));
                        continue;
                    }
                }
                noteHandle(a, r);
                keep(a, g);
            } else if (!(type == QByteArrayView("SEQEND") && ofInsert)) {
                note(true, g.line,
                     QStringLiteral("%1 without its insert or polyline dropped").arg(decode(type)));
            }
            continue;
        }
        bool isPaper = false;
        if (checking_ && paper && !list.empty()) {
            list.clear();  // read, counted and checked: its attributes are given
            paper->clear();
        }
        Entity& e = list.emplace_back();
        if (!recover_) {
            lastLight = entity(e, type, r, &isPaper);
        } else {
            try {
                lastLight = entity(e, type, r, &isPaper);
            } catch (const DxfError& err) {
                list.pop_back();
                note(true, g.line,
                     QStringLiteral("%1 dropped: %2").arg(decode(type), err.reason()));
                continue;
            }
        }
        noteHandle(e, r);
        keep(e, g);
        if (paper) paper->push_back(isPaper);
    }
}

// A light polyline's width at a vertex as its groups give it (40 start, 41 end).
void vertexWidth(Entity& e, int vertex, bool end, double w) {
    QList<QPointF>& widths = e.detail.edit().vertexWidths;
    if (widths.size() <= vertex)
        widths.resize(vertex + 1, QPointF(e.detail->width, e.detail->width));
    (end ? widths[vertex].ry() : widths[vertex].rx()) = std::max(0.0, w);
}

// Widths the same at every vertex are the polyline's constant width; widths for vertices
// that have none given are the constant width.
void settleWidths(Entity& e) {
    if (!e.detail.isSet() || e.detail->vertexWidths.isEmpty()) return;
    QList<QPointF>& widths = e.detail.edit().vertexWidths;
    widths.resize(e.vertices.size(), QPointF(e.detail->width, e.detail->width));
    const QPointF first = widths.value(0);
    const bool constant =
        first.x() == first.y() &&
        std::all_of(widths.cbegin(), widths.cend(), [&](QPointF w) { return w == first; });
    if (constant) {
        e.detail.edit().width = first.x();
        widths.clear();
    }
    e.detail.dropIfDefault();
}

// An entity and what follows it of its own (the vertices of a polyline).
bool Reader::entity(Entity& e, QByteArrayView type, const Record& r, bool* isPaper) {
    const bool light = toEntity(e, type, r, isPaper, light_ && !carriesExtendedData(r));
    if (e.kind == EntityKind::PolyfaceMesh) {
        polyfaceVertices(e);
    } else if (type == QByteArrayView("POLYLINE")) {
        // A flat polyline (older files' form of the light one) becomes a polyline when all
        // it holds has a place there; any other is kept with its vertices as raw groups.
        PlainPolyline plain = plainPolylineHead(r);
        int vertices = 0;
        while (more() && peek().code == 0 && (is(peek(), "VERTEX") || is(peek(), "SEQEND"))) {
            const bool seqend = is(peek(), "SEQEND");
            if (++vertices > kMaxVertices) failAt(peek(), QStringLiteral("too many vertices"));
            const Group& head = next();
            if (!light) e.detail.edit().groups.push_back({0, text(head).trimmed()});
            const Record& sub = readRecord();
            for (const Group& g : sub) {
                if (g.code == 5) reserveHandle(text(g));
                if (!light) e.detail.edit().groups.push_back({g.code, text(g)});
            }
            if (!seqend && plain.plain) plainVertex(plain, sub);
            if (seqend) break;
        }
        if (plain.plain) {
            e.kind = EntityKind::Polyline;
            e.detail = {};
            if (!light) {
                e.layer = plain.layer;
                e.lineType = plain.lineType;
                e.vertices = std::move(plain.vertices);
                e.detail.edit().vertexWidths = std::move(plain.widths);
                settleWidths(e);
            }
            e.color = plain.color;
            e.lineWeight = plain.lineWeight;
            e.closed = plain.closed;
        }
    }
    return light;
}

// The groups of a POLYLINE that a polyline keeps; a flat polyline holds no others (an
// elevation or thickness of 0 and an upward extrusion are its defaults).
Reader::PlainPolyline Reader::plainPolylineHead(const Record& r) {
    PlainPolyline p;
    for (const Group& g : r) {
        if (g.code >= 1000) break;
        switch (g.code) {
            case 5:
            case 100:
            case 330:
            case 67:
            case 66:
            case 10:
            case 20:
            case 71:
            case 72:
                break;
            case 8:
                p.layer = name(g);
                break;
            case 6:
                p.lineType = name(g);
                break;
            case 62:
                p.color = std::clamp(integer(g), 0, 256);
                break;
            case 370:
                p.lineWeight = integer(g);
                break;
            case 70:
                p.closed = integer(g) & 1;
                if (integer(g) & ~1) p.plain = false;
                break;
            case 40:
                p.startWidth = std::max(0.0, real(g));
                break;
            case 41:
                p.endWidth = std::max(0.0, real(g));
                break;
            case 30:
            case 39:
            case 210:
            case 220:
            case 73:
            case 74:
            case 75:
                if (real(g) != 0.0) p.plain = false;
                break;
            case 230:
                if (real(g) != 1.0) p.plain = false;
                break;
            default:  // reactors, dictionaries and what else a polyline has no place for
                p.plain = false;
        }
    }
    return p;
}

void Reader::plainVertex(PlainPolyline& p, const Record& r) {
    Vertex v;
    QPointF widths(p.startWidth, p.endWidth);
    for (const Group& g : r) {
        if (g.code >= 1000) {
            p.plain = false;
            break;
        }
        switch (g.code) {
            case 5:
            case 100:
            case 330:
            case 8:
            case 67:
                break;
            case 10:
                v.pos.setX(real(g));
                break;
            case 20:
                v.pos.setY(real(g));
                break;
            case 42:
                v.bulge = real(g);
                break;
            case 40:
                widths.setX(std::max(0.0, real(g)));
                break;
            case 41:
                widths.setY(std::max(0.0, real(g)));
                break;
            case 30:
            case 50:
            case 70:
                if (real(g) != 0.0) p.plain = false;
                break;
            default:
                p.plain = false;
        }
    }
    if (p.vertices.size() >= kMaxVertices) p.plain = false;
    if (!p.plain) return;
    p.vertices.append(v);
    p.widths.append(widths);
}

// The entity's handle, for the audit of duplicates; a handle group without a value is
// noted here (the document gives the entity a new handle).
void Reader::noteHandle(const Entity& e, const Record& r) {
    if (e.handle.isEmpty()) {
        for (const Group& g : r) {
            if (g.code == 5 && g.raw.trimmed().isEmpty()) {
                note(false, g.line, QStringLiteral("empty handle: renumbered"));
                break;
            }
        }
        return;
    }
    const quint64 n = e.handle.value();
    if (!handleNumbers_.empty() && n <= handleNumbers_.back()) handlesAscending_ = false;
    handleNumbers_.push_back(n);
}

void Reader::keep(const Entity& e, const Group& at) {
    keptBytes_ += keptBytes(e);
    if (keptBytes_ > kMaxKeptBytes)
        failAt(at, QStringLiteral("drawing too large: it would take more than %1 GB of memory")
                       .arg(double(kMaxKeptBytes) / 1e9));
}

bool Reader::toEntity(Entity& e, QByteArrayView type, const Record& r, bool* paper, bool light) {
    static constexpr std::pair<std::string_view, EntityKind> kKinds[] = {
        {"LINE", EntityKind::Line},           {"LWPOLYLINE", EntityKind::Polyline},
        {"CIRCLE", EntityKind::Circle},       {"ARC", EntityKind::Arc},
        {"ELLIPSE", EntityKind::Ellipse},     {"POINT", EntityKind::Point},
        {"TEXT", EntityKind::Text},           {"ATTDEF", EntityKind::AttributeDefinition},
        {"ATTRIB", EntityKind::Attribute},    {"INSERT", EntityKind::Insert},
        {"DIMENSION", EntityKind::Dimension}, {"IMAGE", EntityKind::Image},
        {"3DFACE", EntityKind::Face3D},       {"VIEWPORT", EntityKind::Viewport},
    };
    e.kind = EntityKind::Other;
    const std::string_view typeBytes(type.data(), size_t(type.size()));
    for (const auto& [name, kind] : kKinds) {
        if (name == typeBytes) e.kind = kind;
    }
    for (const Group& g : r) {
        if (g.code >= 1000) break;
        // Polyface meshes among the polylines; ordinate dimensions are not modelled.
        if (g.code == 70 && type == QByteArrayView("POLYLINE") && (integer(g) & 64))
            e.kind = EntityKind::PolyfaceMesh;
        if (g.code == 70 && e.kind == EntityKind::Dimension && (integer(g) & 15) > 5)
            e.kind = EntityKind::Other;
    }
    const bool detailed = e.kind >= EntityKind::Dimension && e.kind < EntityKind::Other;
    light = light && !detailed && e.kind != EntityKind::PolyfaceMesh;
    if (e.kind == EntityKind::Other && !light) e.detail.edit().typeName = decode(type);
    if (e.kind == EntityKind::Face3D) e.detail.edit().points3.resize(4);
    if (e.kind == EntityKind::Dimension) e.style = Entity::defaultStyle();
    QString imageDef;
    const bool isText = e.kind == EntityKind::Text;
    const bool isAttr =
        e.kind == EntityKind::AttributeDefinition || e.kind == EntityKind::Attribute;
    bool alignGiven = false;
    bool ownerSeen = false;
    auto alignment = [&](const Group& g, int last) {
        const int v = integer(g);
        return v >= 0 && v <= last ? v : 0;
    };
    int vertices = 0;  // of a polyline, counted apart from the list a light one does not keep
    size_t i = 0;
    for (; i < r.size(); ++i) {
        const Group& g = r[i];
        if (g.code >= 1000) break;  // extended data
        if (g.code == 102 && g.raw.trimmed().startsWith('{')) {
            while (i + 1 < r.size() && !(r[i + 1].code == 102)) ++i;
            ++i;
            continue;
        }
        if (g.code == 5) {
            e.handle = Handle(handleNumber(g.raw));
            continue;
        }
        if (g.code == 330 && !ownerSeen) {
            ownerSeen = true;
            continue;
        }
        if (g.code == 67) *paper = integer(g) == 1;
        if (detailed && g.code != 8 && g.code != 6 && g.code != 62 && g.code != 370) {
            detailGroup(e, g, &imageDef);
            continue;
        }
        if (e.kind == EntityKind::Other) {
            if (!light) e.detail.edit().groups.push_back({g.code, text(g)});
            continue;
        }
        // Light or whole, the same groups are read as numbers (and refused alike); a light
        // entity only keeps none of the names, texts and vertices but a text's value and an
        // insert's block name.
        switch (g.code) {
            case 8:
                if (!light) e.layer = name(g);
                break;
            case 6:
                if (!light) e.lineType = name(g);
                break;
            case 62:
                e.color = std::clamp(integer(g), 0, 256);
                break;
            case 370:
                e.lineWeight = qint16(std::clamp(integer(g), -32768, 32767));
                break;
            case 10:
                if (e.kind == EntityKind::Polyline) {
                    if (vertices >= kMaxVertices) failAt(g, QStringLiteral("too many vertices"));
                    ++vertices;
                    const double x = real(g);
                    if (!light) e.vertices.append(Vertex{QPointF(x, 0.0)});
                } else {
                    e.start.setX(real(g));
                }
                break;
            case 20:
                if (e.kind == EntityKind::Polyline) {
                    if (vertices > 0) {
                        const double y = real(g);
                        if (!light) e.vertices.last().pos.setY(y);
                    }
                } else {
                    e.start.setY(real(g));
                }
                break;
            case 11:
                e.end.setX(real(g));
                alignGiven = true;
                break;
            case 21:
                e.end.setY(real(g));
                break;
            case 40:
            case 41:
                if (e.kind == EntityKind::Polyline) {
                    const double w = real(g);
                    if (vertices > 0 && !light) vertexWidth(e, vertices - 1, g.code == 41, w);
                    break;
                }
                if (g.code == 41) {
                    if (e.kind == EntityKind::Ellipse) e.startAngle = real(g);
                    if (e.kind == EntityKind::Insert) e.xScale = real(g);
                    break;
                }
                if (e.kind == EntityKind::Ellipse)
                    e.ratio = real(g);
                else if (e.kind == EntityKind::Circle || e.kind == EntityKind::Arc)
                    e.radius = real(g);
                else if (isText || isAttr)
                    e.height = real(g);
                break;
            case 43:
                if (e.kind == EntityKind::Polyline) {
                    const double w = real(g);
                    if (!light) e.detail.edit().width = std::max(0.0, w);
                }
                break;
            case 42:
                if (e.kind == EntityKind::Ellipse) e.endAngle = real(g);
                if (e.kind == EntityKind::Insert) e.yScale = real(g);
                if (e.kind == EntityKind::Polyline && vertices > 0) {
                    const double bulge = real(g);
                    if (!light) e.vertices.last().bulge = bulge;
                }
                break;
            case 50:
                if (e.kind == EntityKind::Arc)
                    e.startAngle = real(g);
                else
                    e.rotation = real(g);
                break;
            case 51:
                if (e.kind == EntityKind::Arc) e.endAngle = real(g);
                break;
            case 90:
                if (e.kind == EntityKind::Polyline) {
                    const int n = integer(g);
                    if (n < 0 || n > kMaxVertices)
                        failAt(g, QStringLiteral("vertex count %1 out of range").arg(n));
                    if (!light) e.vertices.reserve(n);
                }
                break;
            case 70:
                if (e.kind == EntityKind::Polyline) e.closed = integer(g) & 1;
                if (isAttr) e.attributeFlags = qint16(integer(g) & 0x7FFF);
                break;
            case 1:
                if (!light || isText) e.text = value(g);
                break;
            case 2:
                if (e.kind == EntityKind::Insert) e.blockName = name(g);
                if (isAttr && !light) e.tag = name(g);
                break;
            case 3:
                if (isAttr && !light) e.detail.edit().prompt = nameText(g);
                break;
            case 7:
                if (!light) e.style = name(g);
                break;
            case 72:  // 0-5; other values are read as the default
                e.hAlign = qint8(alignment(g, 5));
                break;
            case 73:
                if (isText) e.vAlign = qint8(alignment(g, 3));
                break;
            case 74:
                if (isAttr) e.vAlign = qint8(alignment(g, 3));
                break;
            default:
                break;
        }
    }
    if ((isText || isAttr) && !alignGiven) e.end = e.start;
    if (e.kind == EntityKind::Polyline && !light) settleWidths(e);

    // Extended data: 1001 starts an application; items written by this program are
    // grouped as { name value }.
    // Each list is made once at its length: the applications are counted first, an
    // application's items gathered in a reused list and moved into one of their number.
    XData* current = nullptr;
    xitems_.clear();  // what a refused entity left
    auto closeCurrent = [&] {
        if (!current) return;
        current->items = QList<XDataItem>(std::make_move_iterator(xitems_.begin()),
                                          std::make_move_iterator(xitems_.end()));
        xitems_.clear();
    };
    if (i < r.size()) {
        qsizetype apps = 0;
        for (size_t k = i; k < r.size(); ++k) apps += r[k].code == 1001;
        e.xdata.reserve(apps);
    }
    auto itemAt = [&](size_t& k) -> XDataItem {
        const Group& v = r[k];
        XDataItem item{QString(), v.code, value(v)};
        if (v.code >= 1010 && v.code <= 1013) {
            QStringList xyz{QString::number(real(v), 'g', 17)};
            for (int axis = 1; axis <= 2 && k + 1 < r.size() && r[k + 1].code == v.code + 10 * axis;
                 ++axis)
                xyz.append(QString::number(real(r[++k]), 'g', 17));
            item.value = xyz.join(QLatin1Char(','));
        } else if (v.code >= 1040 && v.code <= 1042) {
            real(v);
        } else if (v.code == 1070 || v.code == 1071) {
            integer(v);
        }
        return item;
    };
    for (; i < r.size(); ++i) {
        const Group& g = r[i];
        if (g.code < 1000) failAt(g, QStringLiteral("group %1 inside extended data").arg(g.code));
        if (g.code == 1001) {
            closeCurrent();
            e.xdata.append(XData{name(g), {}});
            current = &e.xdata.last();
            continue;
        }
        if (!current) failAt(g, QStringLiteral("extended data without application name"));
        if (xitems_.size() >= 16384) failAt(g, QStringLiteral("too much extended data"));
        if (g.code == 1002 && is(g, "{") && i + 3 < r.size() && r[i + 1].code == 1000 &&
            r[i + 2].code != 1002 && r[i + 2].code != 1001) {
            size_t k = i + 2;
            XDataItem item = itemAt(k);
            if (k + 1 < r.size() && r[k + 1].code == 1002 && is(r[k + 1], "}")) {
                item.name = name(r[i + 1]);
                xitems_.push_back(std::move(item));
                i = k + 1;
                continue;
            }
        }
        xitems_.push_back(itemAt(i));
    }
    closeCurrent();
    takeOwnXData(e);
    if (e.kind == EntityKind::Image) {
        // DXF keeps the size of one pixel; the document the size of the whole image.
        if (e.detail->pixelSize.width() > 0) e.detail.edit().uVector *= e.detail->pixelSize.width();
        if (e.detail->pixelSize.height() > 0)
            e.detail.edit().vVector *= e.detail->pixelSize.height();
        for (double v : {e.detail->uVector.x(), e.detail->uVector.y(), e.detail->vVector.x(),
                         e.detail->vVector.y()}) {
            if (std::abs(v) > kMaxCoordinate)
                fail(r.empty() ? lastLine_ : r.front().line, QStringLiteral("image too large"));
        }
        if (!imageDef.isEmpty())
            imageDefOf_[e.handle.toString()] = Document::normalHandle(imageDef);
    }
    return light;
}

void Reader::detailGroup(Entity& e, const Group& g, QString* imageDef) {
    const int code = g.code;
    auto pixels = [&](const Group& v) { return int(std::clamp(real(v), 0.0, 1e9)); };
    switch (e.kind) {
        case EntityKind::Dimension:
            if (code == 2) e.blockName = name(g);
            if (code == 1) e.text = text(g);
            if (code == 3) e.style = name(g);
            if (code == 50) e.rotation = real(g);
            if (code == 70) e.detail.edit().dimType = DimensionType(integer(g) & 15);
            if (code == 10) e.start.setX(real(g));
            if (code == 20) e.start.setY(real(g));
            if (code == 11) e.end.setX(real(g));
            if (code == 21) e.end.setY(real(g));
            if (code >= 13 && code <= 16)
                e.detail.edit().dimPoints[size_t(code - 13)].setX(real(g));
            if (code >= 23 && code <= 26)
                e.detail.edit().dimPoints[size_t(code - 23)].setY(real(g));
            break;
        case EntityKind::Image:
            if (code == 10) e.start.setX(real(g));
            if (code == 20) e.start.setY(real(g));
            if (code == 11) e.detail.edit().uVector.setX(real(g));
            if (code == 21) e.detail.edit().uVector.setY(real(g));
            if (code == 12) e.detail.edit().vVector.setX(real(g));
            if (code == 22) e.detail.edit().vVector.setY(real(g));
            if (code == 13) e.detail.edit().pixelSize.setWidth(pixels(g));
            if (code == 23) e.detail.edit().pixelSize.setHeight(pixels(g));
            if (code == 70) e.detail.edit().imageFlags = integer(g) & 15;
            if (code == 340) *imageDef = text(g);
            break;
        case EntityKind::Face3D:
            if (code >= 10 && code <= 13) e.detail.edit().points3[code - 10].x = real(g);
            if (code >= 20 && code <= 23) e.detail.edit().points3[code - 20].y = real(g);
            if (code >= 30 && code <= 33) e.detail.edit().points3[code - 30].z = real(g);
            if (code == 70) e.detail.edit().edgeFlags = integer(g) & 15;
            break;
        case EntityKind::Viewport:
            if (code == 10) e.start.setX(real(g));
            if (code == 20) e.start.setY(real(g));
            if (code == 40) e.detail.edit().width = real(g);
            if (code == 41) e.height = real(g);
            if (code == 12) e.detail.edit().viewCentre.setX(real(g));
            if (code == 22) e.detail.edit().viewCentre.setY(real(g));
            if (code == 45) e.detail.edit().viewHeight = real(g);
            if (code == 68) e.detail.edit().viewportStatus = integer(g);
            if (code == 69) e.detail.edit().viewportId = integer(g);
            break;
        default:
            break;
    }
}

// The VERTEX records of a polyface mesh: first its vertices, then its faces.
void Reader::polyfaceVertices(Entity& e) {
    int records = 0;
    int line = 0;
    while (more() && peek().code == 0) {
        const QString type = text(peek()).trimmed();
        if (type != QLatin1String("VERTEX") && type != QLatin1String("SEQEND")) break;
        if (++records > kMaxVertices) failAt(peek(), QStringLiteral("too many vertices"));
        line = next().line;
        const Record& r = readRecord();
        if (type == QLatin1String("SEQEND")) break;
        int flags = 0;
        Point3 p;
        MeshFace f;
        for (const Group& g : r) {
            if (g.code == 70) flags = integer(g);
            if (g.code == 10) p.x = real(g);
            if (g.code == 20) p.y = real(g);
            if (g.code == 30) p.z = real(g);
            if (g.code >= 71 && g.code <= 74) f.index[size_t(g.code - 71)] = integer(g);
        }
        if ((flags & 192) == 192)
            e.detail.edit().points3.append(p);
        else if (flags & 128)
            e.detail.edit().faces.append(f);
    }
    for (const MeshFace& f : e.detail->faces) {
        for (int i : f.index) {
            if (i < -e.detail->points3.size() || i > e.detail->points3.size())
                fail(line, QStringLiteral("mesh face refers to vertex %1 of %2")
                               .arg(i)
                               .arg(e.detail->points3.size()));
        }
    }
}

void Reader::takeOwnXData(Entity& e) const {
    for (qsizetype k = 0; k < e.xdata.size();) {
        const XData& x = e.xdata[k];
        // Names of another length are passed over without folding case (most entities carry
        // only the program's own tags).
        const bool fill = sameName(x.app, kFillApp);
        const bool image = sameName(x.app, kImageApp);
        const bool tip = sameName(x.app, kTipApp);
        if (!fill && !image && !tip) {
            ++k;
            continue;
        }
        auto number = [&](const char* name, double fallback) {
            const XDataItem* item = x.item(QLatin1String(name));
            bool ok = false;
            const double v = item ? item->value.toDouble(&ok) : 0.0;
            return ok && std::isfinite(v) && std::abs(v) <= kMaxCoordinate ? v : fallback;
        };
        if (fill) {
            e.detail.edit().fillMode = std::clamp(int(number("FillMode", 0)), 0, 3);
            e.detail.edit().fillColor = std::clamp(int(number("FillColor", kColorByLayer)), 0, 256);
            e.detail.edit().fillBkColor =
                std::clamp(int(number("FillBkColor", kColorByLayer)), 0, 256);
            e.detail.edit().hatchAngle = number("HatchAngle", 0.0);
            e.detail.edit().hatchScale = number("HatchScale", 1.0);
            e.rectangle = number("Rectangle", 0) != 0;
        } else if (tip) {
            const XDataItem* item = x.item(QStringLiteral("ToolTip"));
            if (item) e.tooltip = item->value;
        } else if (e.kind == EntityKind::Image) {
            e.detail.edit().imageFlags = int(number("Flags", e.detail->imageFlags)) & 0xFFFF;
        }
        e.xdata.removeAt(k);
    }
}

void Reader::objects() {
    while (true) {
        const Group g = next();
        if (g.code != 0) failAt(g, QStringLiteral("object expected"));
        const QString type = text(g).trimmed();
        if (type == QLatin1String("ENDSEC")) return;
        const Record& r = readRecord();
        if (type == QLatin1String("IMAGEDEF")) {
            QString handle, file;
            QSize size;
            for (const Group& o : r) {
                if (o.code == 5) handle = Document::normalHandle(text(o));
                if (o.code == 1) file = text(o);
                if (o.code == 10) size.setWidth(int(std::clamp(real(o), 0.0, 1e9)));
                if (o.code == 20) size.setHeight(int(std::clamp(real(o), 0.0, 1e9)));
            }
            imageDefs_[handle] = {file, size};
            continue;
        }
        if (type != QLatin1String("LAYOUT")) continue;
        LayoutInfo info;
        bool inLayout = false;
        for (const Group& o : r) {
            if (o.code == 100) inLayout = is(o, "AcDbLayout");
            if (!inLayout) continue;
            if (o.code == 1) info.name = text(o);
            if (o.code == 71) info.tab = integer(o);
            if (o.code == 330) info.record = Document::normalHandle(text(o));
        }
        layouts_.push_back(info);
    }
}

}  // namespace

QString DxfAudit::summary() const {
    if (dropped == 0 && changed == 0) return QStringLiteral("nothing dropped or changed");
    return QStringLiteral("%1 dropped, %2 changed").arg(dropped).arg(changed);
}

namespace {

// A read by a reader made with `how`; a file read as UTF-8 and found not to be is read again.
template <typename How>
Document readAs(const QByteArray& data, DxfAudit* audit, How how) {
    for (const bool refused : {false, true}) {
        Reader reader(data, how);
        if (refused) reader.refuseUtf8();
        try {
            Document doc = reader.run();
            if (audit) *audit = reader.audit();
            return doc;
        } catch (const Reader::NotUtf8&) {
        }
    }
    Q_UNREACHABLE();
}

}  // namespace

Document readDxf(const QByteArray& data, DxfAudit* audit) {
    return readAs(data, audit, false);
}

Document recoverDxf(const QByteArray& data, DxfAudit* audit) {
    return readAs(data, audit, Reader::Recover{});
}

void checkDxf(const QByteArray& data) {
    readAs(data, nullptr, true);
}

Document readDxfLight(const QByteArray& data) {
    return readAs(data, nullptr, Reader::Light{});
}

namespace {

template <typename Read>
Document loadWith(const QString& path, Read read) {
    QFile file;
    QString reason;
    if (!openRegularFile(path, file, &reason))
        throw DxfError(0, QStringLiteral("cannot open %1: %2").arg(path, reason));
    if (file.size() > kMaxFileSize) throw DxfError(0, QStringLiteral("%1 is too large").arg(path));
    // Read in place from a mapping of the file; where the file cannot be mapped, read whole.
    uchar* mapped = file.size() > 0 ? file.map(0, file.size()) : nullptr;
    if (!mapped) return read(file.readAll());
    // A large file's pages are mapped in two halves side by side before it is read: the
    // passes over the whole file that start the read then find them mapped, rather than
    // taking a fault for every few pages.
    if (file.size() >= kLargeFile) {
        const size_t total = size_t(file.size());
        const size_t half = (total / 2) & ~size_t(4095);
        auto later = std::async(std::launch::async, [mapped, half, total] {
            madvise(mapped + half, total - half, MADV_POPULATE_READ);
        });
        madvise(mapped, half, MADV_POPULATE_READ);
        later.get();
    }
    const QByteArray data =
        QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), file.size());
    return read(data);  // nothing read keeps a view of `data` past this call
}

}  // namespace

Document loadDxf(const QString& path, DxfAudit* audit) {
    return loadWith(path, [audit](const QByteArray& data) { return readDxf(data, audit); });
}

Document recoverDxfFile(const QString& path, DxfAudit* audit) {
    return loadWith(path, [audit](const QByteArray& data) { return recoverDxf(data, audit); });
}

Document loadDxfLight(const QString& path) {
    return loadWith(path, [](const QByteArray& data) { return readDxfLight(data); });
}

}  // namespace tolvane::cad
