#include "cad/document.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

#include "cad/name_lookups.h"

namespace tolvane::cad {

namespace {

// A handle already in canonical form (upper-case hexadecimal without leading zeros, as the
// writer writes them) is read without a copy; others go the general way.
bool parseHandle(const QString& handle, quint64* value) {
    *value = Handle::parse(handle);
    return *value != 0;
}

}  // namespace

// Canonical text (what the program writes) is read in one pass; other text is trimmed and
// read with either case and leading zeros.
quint64 Handle::parse(QStringView text) {
    auto digits = [](QStringView t, bool anyCase) -> quint64 {
        if (t.isEmpty() || t.size() > 16) return 0;
        quint64 v = 0;
        for (const QChar c : t) {
            const char16_t u = c.unicode();
            const int d = u >= '0' && u <= '9'              ? u - '0'
                          : u >= 'A' && u <= 'F'            ? u - 'A' + 10
                          : anyCase && u >= 'a' && u <= 'f' ? u - 'a' + 10
                                                            : -1;
            if (d < 0) return 0;
            v = v * 16 + quint64(d);
        }
        return v < kLimit ? v : 0;
    };
    if (const quint64 v = digits(text, false)) return v;
    return digits(text.trimmed(), true);
}

// Names of another length are passed over without comparing them (case folding keeps the
// length): layers are looked up for every entity drawn or picked. Most names that are the same
// share their text, or are written alike, and are found so before comparing without case.
bool sameName(const QString& a, const QString& b) {
    return a.size() == b.size() &&
           (a.constData() == b.constData() || a == b || a.compare(b, Qt::CaseInsensitive) == 0);
}

bool sameName(const QString& a, QLatin1StringView b) {
    return a.size() == b.size() && (a == b || a.compare(b, Qt::CaseInsensitive) == 0);
}

// Of the characters folded as QString::compare folds them, each half of a surrogate pair
// counted as one value, so that names equal without case hash alike.
size_t nameHash(const QString& name) {
    size_t h = 0xcbf29ce484222325ull;
    for (const QChar c : name) {
        char32_t u = c.unicode();
        if (u < 0x80) {
            if (u - U'A' < 26u) u += 32;
        } else if (QChar::isSurrogate(u)) {
            u = 0xD800;
        } else {
            u = QChar::toCaseFolded(u);
        }
        h = (h ^ u) * 0x100000001b3ull;
    }
    return h;
}

namespace {

// Tables up to this long are searched in turn: quicker than hashing the name, and what
// almost every drawing has.
constexpr qsizetype kScannedRecords = 16;

template <typename List>
void indexNames(const List& list, NameIndex& index) {
    const qsizetype n = qsizetype(list.size());
    index.places.clear();
    index.places.reserve(size_t(n));
    for (qsizetype i = 0; i < n; ++i) index.places.emplace(nameHash(list[i].name), i);
    index.count = n;
}

// The first record of the name, without regard to case.
template <typename List>
auto findByName(List& list, NameIndex& index, const QString& name) -> decltype(&list[0]) {
    const qsizetype n = qsizetype(list.size());
    if (n <= kScannedRecords) {
        for (auto& item : list) {
            if (sameName(item.name, name)) return &item;
        }
        return nullptr;
    }
    if (index.count != n) indexNames(list, index);
    qsizetype first = n;
    const auto [from, to] = index.places.equal_range(nameHash(name));
    for (auto it = from; it != to; ++it) {
        if (it->second < first && sameName(list[it->second].name, name)) first = it->second;
    }
    return first < n ? &list[first] : nullptr;
}

// Adds a record at the end of its table, keeping the table's index in step.
template <typename List, typename T>
void appendRecord(List& list, NameIndex& index, const T& item) {
    if (index.count == qsizetype(list.size())) {
        index.places.emplace(nameHash(item.name), index.count);
        ++index.count;
    }
    list.push_back(item);
}

// Adds a table record, replacing the one of the same name (compared without case).
template <typename List, typename T>
T& addOrReplace(List& list, NameIndex& index, const T& item) {
    if (T* existing = findByName(list, index, item.name)) {
        *existing = item;
        return *existing;
    }
    appendRecord(list, index, item);
    return list.back();
}

// The place of an item in its list (a block in the document's, a layout in its), or -1
// for one outside it.
template <typename T>
int placeIn(const std::vector<T>& list, const T& item) {
    const std::less<const T*> before;
    if (list.empty() || before(&item, list.data()) || !before(&item, list.data() + list.size()))
        return -1;
    return int(&item - list.data());
}

}  // namespace

const XDataItem* XData::item(const QString& name) const {
    for (const XDataItem& i : items) {
        if (i.name->compare(name, Qt::CaseInsensitive) == 0) return &i;
    }
    return nullptr;
}

XDataItem* XData::item(const QString& name) {
    // Non-const access detaches the list: a copy of the entity (an undo snapshot) keeps its
    // own values.
    for (XDataItem& i : items) {
        if (i.name->compare(name, Qt::CaseInsensitive) == 0) return &i;
    }
    return nullptr;
}

bool XData::setValue(const QString& name, const QString& value) {
    XDataItem* i = item(name);
    if (!i) return false;
    i->value = value;
    return true;
}

const XData* Entity::xdataFor(const QString& app) const {
    for (const XData& x : xdata) {
        if (x.app->compare(app, Qt::CaseInsensitive) == 0) return &x;
    }
    return nullptr;
}

XData* Entity::xdataFor(const QString& app) {
    // Detaches like XData::item: writing through the result never reaches a copy.
    for (XData& x : xdata) {
        if (x.app->compare(app, Qt::CaseInsensitive) == 0) return &x;
    }
    return nullptr;
}

const Entity* Entity::attribute(const QString& tag) const {
    for (const Entity& a : attributes) {
        if (a.tag->compare(tag, Qt::CaseInsensitive) == 0) return &a;
    }
    return nullptr;
}

Entity Entity::line(QPointF a, QPointF b) {
    Entity e;
    e.kind = EntityKind::Line;
    e.start = a;
    e.end = b;
    return e;
}

Entity Entity::polyline(const QList<Vertex>& vertices, bool closed) {
    Entity e;
    e.kind = EntityKind::Polyline;
    e.vertices = vertices;
    e.closed = closed;
    return e;
}

Entity Entity::circle(QPointF centre, double radius) {
    Entity e;
    e.kind = EntityKind::Circle;
    e.start = centre;
    e.radius = radius;
    return e;
}

Entity Entity::arc(QPointF centre, double radius, double startDeg, double endDeg) {
    Entity e = circle(centre, radius);
    e.kind = EntityKind::Arc;
    e.startAngle = startDeg;
    e.endAngle = endDeg;
    return e;
}

Entity Entity::ellipse(QPointF centre, QPointF majorAxis, double ratio, double startParam,
                       double endParam) {
    Entity e;
    e.kind = EntityKind::Ellipse;
    e.start = centre;
    e.end = majorAxis;
    e.ratio = ratio;
    e.startAngle = startParam;
    e.endAngle = endParam;
    return e;
}

Entity Entity::point(QPointF at) {
    Entity e;
    e.kind = EntityKind::Point;
    e.start = at;
    return e;
}

Entity Entity::textAt(QPointF at, const QString& text, double height) {
    Entity e;
    e.kind = EntityKind::Text;
    e.start = at;
    e.end = at;
    e.text = text;
    e.height = height;
    return e;
}

Entity Entity::attributeDefinition(QPointF at, const QString& tag, const QString& prompt,
                                   const QString& defaultValue, double height) {
    Entity e = textAt(at, defaultValue, height);
    e.kind = EntityKind::AttributeDefinition;
    e.tag = tag;
    e.detail.edit().prompt = prompt;
    return e;
}

Entity Entity::insert(const QString& block, QPointF at, double xScale, double yScale,
                      double rotation) {
    Entity e;
    e.kind = EntityKind::Insert;
    e.blockName = block;
    e.start = at;
    e.xScale = xScale;
    e.yScale = yScale;
    e.rotation = rotation;
    return e;
}

Entity Entity::attribute(QPointF at, const QString& tag, const QString& value, double height) {
    Entity e = textAt(at, value, height);
    e.kind = EntityKind::Attribute;
    e.tag = tag;
    return e;
}

Entity Entity::rect(QPointF a, QPointF b) {
    Entity e = polyline({{a}, {QPointF(b.x(), a.y())}, {b}, {QPointF(a.x(), b.y())}}, true);
    e.rectangle = true;
    return e;
}

namespace {

QPointF unit(QPointF v, QPointF fallback) {
    const double len = std::hypot(v.x(), v.y());
    return len > 0 ? v / len : fallback;
}

double dot(QPointF a, QPointF b) {
    return a.x() * b.x() + a.y() * b.y();
}

Entity dimension(DimensionType type) {
    Entity e;
    e.kind = EntityKind::Dimension;
    e.detail.edit().dimType = type;
    e.text.clear();
    return e;
}

}  // namespace

Entity Entity::linearDimension(QPointF p1, QPointF p2, QPointF line, double rotationDeg) {
    Entity e = dimension(DimensionType::Linear);
    const double r = rotationDeg * std::numbers::pi / 180.0;
    const QPointF u(std::cos(r), std::sin(r));
    const QPointF f1 = line + u * dot(p1 - line, u);
    e.start = line + u * dot(p2 - line, u);
    e.end = (f1 + e.start) / 2;
    e.detail.edit().dimPoints[0] = p1;
    e.detail.edit().dimPoints[1] = p2;
    e.rotation = rotationDeg;
    return e;
}

Entity Entity::alignedDimension(QPointF p1, QPointF p2, QPointF line) {
    Entity e = dimension(DimensionType::Aligned);
    const QPointF u = unit(p2 - p1, {1, 0}), n(-u.y(), u.x());
    const double offset = dot(line - p1, n);
    e.start = p2 + n * offset;
    e.end = (p1 + e.start + n * offset) / 2;
    e.detail.edit().dimPoints[0] = p1;
    e.detail.edit().dimPoints[1] = p2;
    return e;
}

Entity Entity::radiusDimension(QPointF centre, QPointF onCurve) {
    Entity e = dimension(DimensionType::Radius);
    e.start = centre;
    e.detail.edit().dimPoints[2] = onCurve;
    e.end = (centre + onCurve) / 2;
    return e;
}

Entity Entity::diameterDimension(QPointF centre, QPointF onCurve) {
    Entity e = dimension(DimensionType::Diameter);
    e.start = onCurve;
    e.detail.edit().dimPoints[2] = centre * 2 - onCurve;
    e.end = centre;
    return e;
}

Entity Entity::angularDimension(QPointF vertex, QPointF p1, QPointF p2, QPointF arcPoint) {
    Entity e = dimension(DimensionType::Angular3Point);
    e.start = arcPoint;
    e.detail.edit().dimPoints[0] = p1;
    e.detail.edit().dimPoints[1] = p2;
    e.detail.edit().dimPoints[2] = vertex;
    const double a1 = std::atan2(p1.y() - vertex.y(), p1.x() - vertex.x());
    double sweep = std::atan2(p2.y() - vertex.y(), p2.x() - vertex.x()) - a1;
    if (sweep < 0) sweep += 2 * std::numbers::pi;
    const double r = std::hypot(arcPoint.x() - vertex.x(), arcPoint.y() - vertex.y());
    e.end = vertex + QPointF(std::cos(a1 + sweep / 2), std::sin(a1 + sweep / 2)) * r;
    return e;
}

Entity Entity::image(const QString& file, QSize pixels, QPointF at, double size) {
    Entity e;
    e.kind = EntityKind::Image;
    e.detail.edit().fileName = file;
    e.detail.edit().pixelSize = pixels;
    e.start = at;
    e.detail.edit().uVector = QPointF(size, 0);
    const double aspect = pixels.width() > 0 ? double(pixels.height()) / pixels.width() : 1.0;
    e.detail.edit().vVector = QPointF(0, size * aspect);
    return e;
}

Entity Entity::face3d(const Point3& a, const Point3& b, const Point3& c, const Point3& d,
                      int invisibleEdges) {
    Entity e;
    e.kind = EntityKind::Face3D;
    e.detail.edit().points3 = {a, b, c, d};
    e.detail.edit().edgeFlags = invisibleEdges & 15;
    return e;
}

Entity Entity::polyfaceMesh(const QList<Point3>& vertices, const QList<MeshFace>& faces) {
    Entity e;
    e.kind = EntityKind::PolyfaceMesh;
    e.detail.edit().points3 = vertices;
    e.detail.edit().faces = faces;
    return e;
}

Entity Entity::box(const Point3& c, double dx, double dy, double dz) {
    QList<Point3> v;
    for (double z : {0.0, dz}) {
        v.append({c.x, c.y, c.z + z});
        v.append({c.x + dx, c.y, c.z + z});
        v.append({c.x + dx, c.y + dy, c.z + z});
        v.append({c.x, c.y + dy, c.z + z});
    }
    const QList<MeshFace> f = {{{1, 4, 3, 2}}, {{5, 6, 7, 8}}, {{1, 2, 6, 5}},
                               {{2, 3, 7, 6}}, {{3, 4, 8, 7}}, {{4, 1, 5, 8}}};
    return polyfaceMesh(v, f);
}

namespace {

// Appends a ring of n points round (x, y) at height z and returns the 1-based index of its
// first point; a radius of 0 gives a single point.
int ring(QList<Point3>* v, const Point3& c, double r, double z, int n) {
    const int first = int(v->size()) + 1;
    if (r == 0.0) {
        v->append({c.x, c.y, z});
        return first;
    }
    for (int i = 0; i < n; ++i) {
        const double a = 2 * std::numbers::pi * i / n;
        v->append({c.x + r * std::cos(a), c.y + r * std::sin(a), z});
    }
    return first;
}

// Side faces between two rings of n points (either may be a single point), and optionally a
// cap (fan round a centre point, its inner edges hidden) on each ring.
void band(QList<MeshFace>* f, int lower, bool lowerPoint, int upper, bool upperPoint, int n) {
    for (int i = 0; i < n; ++i) {
        const int j = (i + 1) % n;
        const int a = lowerPoint ? lower : lower + i, b = lowerPoint ? lower : lower + j;
        const int c = upperPoint ? upper : upper + j, d = upperPoint ? upper : upper + i;
        if (lowerPoint)
            f->append(MeshFace{{a, c, d, 0}});
        else if (upperPoint)
            f->append(MeshFace{{a, b, c, 0}});
        else
            f->append(MeshFace{{a, b, c, d}});
    }
}

void cap(QList<MeshFace>* f, int centre, int first, int n, bool up) {
    for (int i = 0; i < n; ++i) {
        const int a = first + i, b = first + (i + 1) % n;
        f->append(up ? MeshFace{{-centre, a, -b, 0}} : MeshFace{{-centre, b, -a, 0}});
    }
}

}  // namespace

Entity Entity::cone(const Point3& base, double height, double baseRadius, double topRadius,
                    int segments) {
    const int n = std::clamp(segments, 3, kMaxMeshSegments);
    QList<Point3> v;
    QList<MeshFace> f;
    const int lower = ring(&v, base, baseRadius, base.z, n);
    const int upper = ring(&v, base, topRadius, base.z + height, n);
    band(&f, lower, baseRadius == 0.0, upper, topRadius == 0.0, n);
    if (baseRadius != 0.0) {
        v.append(base);
        cap(&f, int(v.size()), lower, n, false);
    }
    if (topRadius != 0.0) {
        v.append({base.x, base.y, base.z + height});
        cap(&f, int(v.size()), upper, n, true);
    }
    return polyfaceMesh(v, f);
}

Entity Entity::sphere(const Point3& c, double radius, int segments) {
    const int n = std::clamp(segments, 3, kMaxMeshSegments);
    const int rings = std::max(2, n / 2);
    QList<Point3> v;
    QList<MeshFace> f;
    int previous = ring(&v, c, 0.0, c.z - radius, n);
    bool previousPoint = true;
    for (int k = 1; k <= rings; ++k) {
        const double phi = -std::numbers::pi / 2 + std::numbers::pi * k / rings;
        const bool pole = k == rings;
        const double r = pole ? 0.0 : radius * std::cos(phi);
        const int next = ring(&v, c, r, c.z + radius * std::sin(phi), n);
        band(&f, previous, previousPoint, next, pole, n);
        previous = next;
        previousPoint = pole;
    }
    return polyfaceMesh(v, f);
}

Entity Entity::viewport(QPointF centre, double width, double height, QPointF viewCentre,
                        double viewHeight) {
    Entity e;
    e.kind = EntityKind::Viewport;
    e.start = centre;
    e.detail.edit().width = width;
    e.height = height;
    e.detail.edit().viewCentre = viewCentre;
    e.detail.edit().viewHeight = viewHeight;
    return e;
}

QString entityTypeName(const Entity& e) {
    switch (e.kind) {
        case EntityKind::Line:
            return QStringLiteral("VDLINE");
        case EntityKind::Polyline:
            return e.rectangle && e.closed && e.vertices.size() == 4 ? QStringLiteral("VDRECT")
                                                                     : QStringLiteral("VDPOLYLINE");
        case EntityKind::Circle:
            return QStringLiteral("VDCIRCLE");
        case EntityKind::Arc:
            return QStringLiteral("VDARC");
        case EntityKind::Ellipse:
            return QStringLiteral("VDELLIPSE");
        case EntityKind::Point:
            return QStringLiteral("VDPOINT");
        case EntityKind::Text:
            return QStringLiteral("VDTEXT");
        case EntityKind::AttributeDefinition:
            return QStringLiteral("VDATTDEF");
        case EntityKind::Attribute:
            return QStringLiteral("VDATTRIB");
        case EntityKind::Insert:
            return QStringLiteral("VDINSERT");
        case EntityKind::Dimension:
            return QStringLiteral("VDDIMENSION");
        case EntityKind::Image:
            return QStringLiteral("VDIMAGE");
        case EntityKind::Face3D:
            return QStringLiteral("VD3DFACE");
        case EntityKind::PolyfaceMesh:
            return QStringLiteral("VDPOLYFACE");
        case EntityKind::Viewport:
            return QStringLiteral("VDVIEWPORT");
        case EntityKind::Other:
            break;
    }
    return QStringLiteral("VD") + e.detail->typeName.trimmed().toUpper();
}

bool isStrokeFont(const QString& font) {
    static const QStringList kStrokeFonts = {"txt",   "simplex", "romans",  "romand",
                                             "isocp", "iso",     "monotxt", "complex"};
    const QFileInfo file(font.trimmed());
    if (file.suffix().compare(QLatin1String("shx"), Qt::CaseInsensitive) == 0) return true;
    return font.trimmed().isEmpty() ||
           (file.suffix().isEmpty() && kStrokeFonts.contains(file.fileName(), Qt::CaseInsensitive));
}

Document::Document() {
    model_.name = QStringLiteral("Model");
    layers_.append(Layer{QStringLiteral("0")});
    styles_.append(TextStyle{QStringLiteral("Standard")});
    lineTypes_.append(LineType{QStringLiteral("CONTINUOUS"), QStringLiteral("Solid line"), {}});
    dimStyles_.append(DimStyle{QStringLiteral("Standard")});
}

Space& Document::addLayout(const QString& name) {
    for (Space& s : layouts_) {
        if (s.name.compare(name, Qt::CaseInsensitive) == 0) return s;
    }
    layouts_.push_back(Space{name, {}});
    return layouts_.back();
}

void makeNameLookups(const Document& doc) {
    const QString none;
    (void)doc.block(none);
    (void)doc.layer(none);
    (void)doc.textStyle(none);
    (void)doc.dimStyle(none);
    (void)doc.lineType(none);
}

Block* Document::block(const QString& name) {
    return findByName(blocks_, blockIndex_, name);
}
const Block* Document::block(const QString& name) const {
    return findByName(blocks_, blockIndex_, name);
}

Block& Document::addBlock(const QString& name, QPointF base) {
    if (Block* b = block(name)) return *b;
    appendRecord(blocks_, blockIndex_, Block{name, base, {}});
    return blocks_.back();
}

Layer* Document::layer(const QString& name) {
    return findByName(layers_, layerIndex_, name);
}
const Layer* Document::layer(const QString& name) const {
    return findByName(layers_, layerIndex_, name);
}

Layer& Document::addLayer(const Layer& l) {
    return addOrReplace(layers_, layerIndex_, l);
}

TextStyle& Document::addTextStyle(const TextStyle& style) {
    return addOrReplace(styles_, styleIndex_, style);
}

const TextStyle* Document::textStyle(const QString& name) const {
    return findByName(styles_, styleIndex_, name);
}

DimStyle& Document::addDimStyle(const DimStyle& style) {
    return addOrReplace(dimStyles_, dimStyleIndex_, style);
}

const DimStyle* Document::dimStyle(const QString& name) const {
    return findByName(dimStyles_, dimStyleIndex_, name);
}

const DimStyle& Document::dimStyleOrStandard(const QString& name) const {
    if (const DimStyle* s = dimStyle(name)) return *s;
    if (const DimStyle* s = dimStyle(QStringLiteral("Standard"))) return *s;
    static const DimStyle kDefault{QStringLiteral("Standard")};
    return kDefault;
}

bool Document::removeDimStyle(const QString& name) {
    if (name.compare(QLatin1String("Standard"), Qt::CaseInsensitive) == 0) return false;
    for (qsizetype i = 0; i < dimStyles_.size(); ++i) {
        if (dimStyles_[i].name.compare(name, Qt::CaseInsensitive) == 0) {
            dimStyles_.removeAt(i);
            dimStyleIndex_.count = -1;
            return true;
        }
    }
    return false;
}

LineType& Document::addLineType(const LineType& type) {
    return addOrReplace(lineTypes_, lineTypeIndex_, type);
}

const LineType* Document::lineType(const QString& name) const {
    return findByName(lineTypes_, lineTypeIndex_, name);
}

void Document::claim(Entity& e) {
    quint64 h = e.handle.value();
    // One look in the set for a handle not yet used, as most are.
    if (h == 0 || !used_.insert(h)) {
        while (used_.contains(seed_)) ++seed_;
        h = seed_++;
        e.handle = Handle(h);
        used_.insert(h);
    }
    if (!absent_.isEmpty()) absent_.remove(h);
    seed_ = std::max(seed_, h + 1);
    for (Entity& a : e.attributes) {
        a.kind = EntityKind::Attribute;
        claim(a);
    }
}

void Document::release(const Entity& e) {
    if (!e.handle.isEmpty()) used_.remove(e.handle.value());
    for (const Entity& a : e.attributes) release(a);
}

Entity& Document::add(Space& space, Entity entity) {
    claim(entity);
    space.entities.push_back(std::move(entity));
    const int index = int(space.entities.size()) - 1;
    if (&space == &model_) {
        remember(space.entities, {Location::Model, 0, index, -1});
    } else if (const int i = placeIn(layouts_, space); i >= 0) {
        remember(space.entities, {Location::Layout, i, index, -1});
    }
    return space.entities.back();
}

Entity& Document::add(Block& block, Entity entity) {
    claim(entity);
    block.entities.push_back(std::move(entity));
    if (const int owner = placeIn(blocks_, block); owner >= 0)
        remember(block.entities, {Location::InBlock, owner, int(block.entities.size()) - 1, -1});
    return block.entities.back();
}

void Document::addAll(Space& space, std::vector<Entity>&& entities) {
    Location where{Location::Model, 0, 0, -1};
    if (const int i = placeIn(layouts_, space); i >= 0) where = {Location::Layout, i, 0, -1};
    addAll(space.entities, std::move(entities), where);
}

void Document::addAll(Block& block, std::vector<Entity>&& entities) {
    addAll(block.entities, std::move(entities),
           {Location::InBlock, placeIn(blocks_, block), 0, -1});
}

void Document::addAll(std::vector<Entity>& list, std::vector<Entity>&& entities, Location where) {
    const size_t first = list.size();
    // A list taken over whole (a drawing read from a file) is not entered into the handle
    // lookup here: the first search for one of its handles enters everything in one pass
    // (see find), after the drawing has shown rather than while the user waits for it.
    const bool whole = list.empty();
    if (whole) {
        list = std::move(entities);
    } else {
        list.reserve(first + entities.size());
        for (Entity& e : entities) list.push_back(std::move(e));
    }
    entities = {};
    // Attributes have handles of their own: the tables are made large enough once.
    qsizetype handles = qsizetype(list.size() - first);
    for (size_t i = first; i < list.size(); ++i) handles += qsizetype(list[i].attributes.size());
    used_.reserve(used_.size() + handles);
    if (!whole) places_.reserve(places_.size() + handles);
    for (size_t i = first; i < list.size(); ++i) {
        claim(list[i]);
        if (whole) continue;
        where.index = int(i);
        remember(list, where);
    }
}

std::vector<Entity>* Document::listOf(const Location& where) {
    if (where.ownerIndex < 0) return nullptr;
    switch (where.owner) {
        case Location::Model:
            return &model_.entities;
        case Location::Layout:
            return where.ownerIndex < int(layouts_.size())
                       ? &layouts_[size_t(where.ownerIndex)].entities
                       : nullptr;
        case Location::InBlock:
            return where.ownerIndex < int(blocks_.size())
                       ? &blocks_[size_t(where.ownerIndex)].entities
                       : nullptr;
    }
    return nullptr;
}

Entity* Document::at(const Location& where, quint64 handle) {
    std::vector<Entity>* list = listOf(where);
    if (!list || where.index < 0 || where.index >= int(list->size())) return nullptr;
    Entity* e = &(*list)[size_t(where.index)];
    if (where.attribute >= 0) {
        if (where.attribute >= int(e->attributes.size())) return nullptr;
        e = &e->attributes[size_t(where.attribute)];
    }
    return e->handle.value() == handle ? e : nullptr;
}

// Records the places of a list's entity at `where.index` and of its attributes.
void Document::remember(const std::vector<Entity>& list, Location where) {
    const Entity& e = list[size_t(where.index)];
    if (!e.handle.isEmpty()) places_.assign(e.handle.value(), where);
    for (int k = 0; k < int(e.attributes.size()); ++k) {
        if (const Handle h = e.attributes[size_t(k)].handle; !h.isEmpty()) {
            where.attribute = k;
            places_.assign(h.value(), where);
        }
    }
}

void Document::indexHandles() {
    places_.clear();
    places_.reserve(qsizetype(used_.size()));
    auto scan = [this](const std::vector<Entity>& list, Location::Owner owner, int ownerIndex) {
        for (int i = 0; i < int(list.size()); ++i) remember(list, {owner, ownerIndex, i, -1});
    };
    scan(model_.entities, Location::Model, 0);
    for (int i = 0; i < int(layouts_.size()); ++i)
        scan(layouts_[size_t(i)].entities, Location::Layout, i);
    for (int i = 0; i < int(blocks_.size()); ++i)
        scan(blocks_[size_t(i)].entities, Location::InBlock, i);
}

Entity* Document::find(Handle handle) {
    const quint64 h = handle.value();
    if (h == 0 || !used_.contains(h) || absent_.contains(h)) return nullptr;
    if (const Location* where = places_.find(h)) {
        if (Entity* e = at(*where, h)) return e;
    }
    indexHandles();
    const Location* where = places_.find(h);
    if (!where) {
        absent_.insert(h);
        return nullptr;
    }
    return at(*where, h);
}

const Entity* Document::find(Handle handle) const {
    return const_cast<Document*>(this)->find(handle);
}

bool Document::erase(Handle handle) {
    const quint64 h = handle.value();
    if (!find(handle)) return false;
    const Location where = *places_.find(h);  // fresh: find just checked it
    std::vector<Entity>& list = *listOf(where);
    Entity& e = list[size_t(where.index)];
    if (where.attribute >= 0) {
        release(e.attributes[size_t(where.attribute)]);
        e.attributes.erase(e.attributes.begin() + where.attribute);
    } else {
        release(e);
        list.erase(list.begin() + where.index);
    }
    // The entries behind it in the same list move up by one.
    places_.update([&where](quint64, Location& l) {
        const bool sameList = l.owner == where.owner && l.ownerIndex == where.ownerIndex;
        if (sameList && l.index == where.index &&
            (where.attribute < 0 || l.attribute == where.attribute))
            return false;
        if (sameList && where.attribute < 0 && l.index > where.index) --l.index;
        if (sameList && where.attribute >= 0 && l.index == where.index &&
            l.attribute > where.attribute)
            --l.attribute;
        return true;
    });
    return true;
}

void Document::raiseHandleSeed(quint64 seed) {
    seed_ = std::max(seed_, seed);
}

void Document::restartHandlesAt(quint64 first) {
    seed_ = first;
    if (!used_.isEmpty()) seed_ = std::max(seed_, used_.highest() + 1);
}

void Document::reserveHandle(const QString& handle) {
    quint64 h = 0;
    if (!parseHandle(handle, &h)) return;
    used_.insert(h);
    seed_ = std::max(seed_, h + 1);
}

QString Document::newHandle() {
    while (used_.contains(seed_)) ++seed_;
    const quint64 h = seed_++;
    used_.insert(h);
    return QString::number(h, 16).toUpper();
}

QString Document::normalHandle(const QString& handle) {
    quint64 h = 0;
    if (!parseHandle(handle, &h)) return {};
    return QString::number(h, 16).toUpper();
}

}  // namespace tolvane::cad
