// The drawing document of the CAD engine: model space, paper layouts, blocks, layers, text
// styles, line types and the entities in them. Plain value types, no widgets; a document is
// read from and written to DXF by dxf.h.
#pragma once

#include <QHash>
#include <QList>
#include <QPointF>
#include <QSet>
#include <QSize>
#include <QString>
#include <array>
#include <memory>
#include <unordered_map>
#include <vector>

#include "cad/handle_map.h"
#include "cad/handle_set.h"
#include "cad/name.h"

namespace tolvane::cad {

// Colour indices: 1-255 are the standard palette; these two defer to the layer or the block.
constexpr int kColorByBlock = 0;
constexpr int kColorByLayer = 256;

// One item of extended data. Items written by this program carry a name; items read from
// other programs' files may have none. Names, like the application's, are shared texts: the
// same few repeat on every entity.
struct XDataItem {
    Name name;
    int code = 1000;
    QString value;
    bool operator==(const XDataItem&) const = default;
};

// The extended data an entity carries under one registered application name.
struct XData {
    Name app;
    QList<XDataItem> items;

    int count() const { return int(items.size()); }
    // Case-insensitive lookup by name; nullptr when absent.
    const XDataItem* item(const QString& name) const;
    XDataItem* item(const QString& name);
    void add(const Name& name, int code, const QString& value) {
        items.append({name, code, value});
    }
    bool setValue(const QString& name, const QString& value);
    bool operator==(const XData&) const = default;
};

// A raw DXF group kept for entity kinds this engine does not interpret.
struct RawGroup {
    int code = 0;
    QString value;
    bool operator==(const RawGroup&) const = default;
};

// A point in space, for the kinds that keep a z (3D faces and polyface meshes); the 2D view
// and picking use its top view (x, y).
struct Point3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    QPointF xy() const { return {x, y}; }
    bool operator==(const Point3&) const = default;
};

// One face of a polyface mesh: 1-based vertex indices, a negative index hides the edge that
// starts at that vertex, 0 leaves the corner unused (a triangle has index[3] == 0).
struct MeshFace {
    std::array<int, 4> index{};
    bool operator==(const MeshFace&) const = default;
};

// The measurement a dimension shows; the values are those of the DXF dimension type.
enum class DimensionType {
    Linear = 0,  // horizontal, vertical or any rotation
    Aligned = 1,
    Angular = 2,  // between two lines
    Diameter = 3,
    Radius = 4,
    Angular3Point = 5,
};

// Fill of closed outlines.
enum FillMode { FillNone = 0, FillSolid = 1, FillBackwardDiagonal = 2, FillCross = 3 };

// Display flags of raster images: the first four are those of DXF, the rest our own.
enum ImageFlag {
    ImageShow = 1,
    ImageShowUnaligned = 2,
    ImageClipped = 4,
    ImageTransparent = 8,
    ImageHideFrame = 16,
};

enum class EntityKind : quint8 {
    Line,
    Polyline,
    Circle,
    Arc,
    Ellipse,
    Point,
    Text,
    AttributeDefinition,
    Attribute,  // only inside an insert's attribute list
    Insert,
    Dimension,
    Image,
    Face3D,
    PolyfaceMesh,
    Viewport,  // paper space only
    Other,     // read from a file and written back unchanged
};

// An entity's handle: a number below 2^60, shown and written as upper-case hexadecimal
// without leading zeros ("1A2"); 0 is no handle (the document gives one when the entity is
// added). It is taken from and given as text where callers hold handles as text.
class Handle {
  public:
    constexpr Handle() = default;
    constexpr explicit Handle(quint64 value) : v_(value < kLimit ? value : 0) {}
    // Hexadecimal in any case, with leading zeros and surrounding blanks; other text is no
    // handle.
    Handle(const QString& text) : v_(parse(text)) {}  // NOLINT: implicit by design
    static quint64 parse(QStringView text);

    constexpr quint64 value() const { return v_; }
    constexpr bool isEmpty() const { return v_ == 0; }
    constexpr void clear() { v_ = 0; }
    QString toString() const { return v_ ? QString::number(v_, 16).toUpper() : QString(); }
    operator QString() const { return toString(); }  // NOLINT: implicit by design

    friend constexpr bool operator==(Handle a, Handle b) { return a.v_ == b.v_; }
    // Text is the same handle when it reads as it, or when both are none and the text empty.
    friend bool operator==(Handle a, const QString& b) {
        return a.v_ ? a.v_ == parse(b) : b.isEmpty();
    }
    friend bool operator==(Handle a, const char* b) { return a == QString::fromLatin1(b); }
    friend constexpr bool operator<(Handle a, Handle b) { return a.v_ < b.v_; }

    static constexpr quint64 kLimit = quint64(1) << 60;

  private:
    quint64 v_ = 0;
};

struct Vertex {
    QPointF pos;
    double bulge = 0.0;
    bool operator==(const Vertex&) const = default;
};

// A part of a value kept in its own allocation, made only when it is first written: a value
// without it reads the defaults. Copies are deep, so values stay independent.
template <class T>
class Apart {
  public:
    Apart() = default;
    Apart(const Apart& o) : d_(o.d_ ? std::make_unique<T>(*o.d_) : nullptr) {}
    Apart(Apart&&) noexcept = default;
    Apart& operator=(const Apart& o) {
        if (this != &o) d_ = o.d_ ? std::make_unique<T>(*o.d_) : nullptr;
        return *this;
    }
    Apart& operator=(Apart&&) noexcept = default;
    ~Apart() = default;

    const T& operator*() const { return d_ ? *d_ : defaults(); }
    const T* operator->() const { return &**this; }
    // The part for writing, made from the defaults when the value has none yet.
    T& edit() {
        if (!d_) d_ = std::make_unique<T>();
        return *d_;
    }
    bool isSet() const { return bool(d_); }
    // Gives the allocation back when the part holds nothing but the defaults again.
    void dropIfDefault() {
        if (d_ && *d_ == defaults()) d_.reset();
    }
    bool operator==(const Apart& o) const { return **this == *o; }

  private:
    static const T& defaults() {
        static const T t;
        return t;
    }
    std::unique_ptr<T> d_;
};

// The fields of the kinds a schematic has few of (dimensions, images, 3D faces and meshes,
// viewports, fills, kept pass-through records) and the prompts of attribute definitions. They are
// kept out of the entity record so that the lines, cables, texts and inserts a large drawing is
// made of stay small; an entity that has none of them reads the defaults.
struct EntityDetail {
    QString prompt;  // of an attribute definition

    DimensionType dimType = DimensionType::Linear;
    int imageFlags = ImageShow | ImageShowUnaligned;
    std::array<QPointF, 4> dimPoints{};

    QString fileName;
    QSize pixelSize;
    QPointF uVector;
    QPointF vVector;

    QList<Point3> points3;
    QList<MeshFace> faces;
    int edgeFlags = 0;
    int viewportId = 2;

    double width = 0.0;
    // A polyline's start and end width at each vertex (towards the next), when they are not
    // all its constant `width`; empty otherwise.
    QList<QPointF> vertexWidths;
    QPointF viewCentre;
    double viewHeight = 0.0;

    int fillMode = FillNone;
    int fillColor = kColorByLayer;
    int fillBkColor = kColorByLayer;
    int viewportStatus = 1;
    double hatchAngle = 0.0;
    double hatchScale = 1.0;

    QString typeName;
    QList<RawGroup> groups;

    bool operator==(const EntityDetail&) const = default;
};

// One drawing entity. Which fields are meaningful depends on the kind (fields marked * are
// in `detail`: read them as e.detail->field, write them through e.detail.edit()):
//   Line: start, end. Polyline: vertices, closed. Circle: start (centre), radius.
//   Arc: start (centre), radius, startAngle, endAngle (degrees, counter-clockwise).
//   Ellipse: start (centre), end (major axis end relative to centre), ratio, startAngle and
//     endAngle as parameters in radians. Point: start.
//   Text, AttributeDefinition, Attribute: start (insertion point), end (alignment point),
//     text (for attributes their value, for definitions the default), height, rotation,
//     style, hAlign, vAlign, and for attributes tag, prompt* (definitions), attributeFlags.
//   Insert: blockName, start (insertion point), xScale, yScale, rotation, attributes.
//   Dimension: dimType*; start is the definition point (a point of the dimension line for
//     linear ones, the centre for a radius, one end of a diameter, the end of the second line
//     of a two-line angle, a point of the arc for a three-point angle); end the middle of
//     the text; dimPoints* the further points by type: linear and aligned [0], [1] the
//     origins of the extension lines; radius and diameter [2] the point on the curve (the
//     other end of a diameter); two-line angle [0]-[1] the first line, [2] the start of the
//     second, [3] a point of the arc; three-point angle [0], [1] the ends of the legs and
//     [2] the vertex. text overrides the measurement ("<>" stands for it; empty shows it),
//     style is the dimension style, rotation the angle of a linear dimension (degrees).
//   Image: fileName*, pixelSize*, start (lower left corner), uVector* and vVector* (the
//     image's width and height as vectors in drawing units), imageFlags* (ImageFlag bits).
//   Face3D: points3* (four corners; a triangle repeats its third), edgeFlags* (bit n hides
//     the edge that starts at corner n).
//   PolyfaceMesh: points3* (the vertices) and faces*.
//   Viewport: start (centre on the sheet), width*, height (its size on the sheet),
//     viewCentre*, viewHeight* (the part of model space shown), viewportId* (2 and up; the
//     sheet's own viewport 1 is written with every layout and not kept in it),
//     viewportStatus*.
//   Polyline: width* is its constant width in drawing units (0 a thin line), vertexWidths*
//     the start (x) and end (y) width of the segment from each vertex when they vary.
//   Closed polylines, circles, arcs and ellipses may be filled: fillMode* (FillMode),
//     fillColor*, fillBkColor* (behind hatch lines; kColorByLayer for none), hatchAngle*
//     (degrees), hatchScale*. A polyline with `rectangle` set was drawn as a rectangle.
//   Other: typeName* and its groups* (without handle, owner and extended data).
struct Entity {
    // The fields are ordered so that the record has no holes (a large drawing keeps a million
    // of them, and an insert one more for each attribute): the small numbers together first,
    // the flags last. The handle is a number; the names are shared texts of 8 bytes.
    EntityKind kind = EntityKind::Line;
    qint8 hAlign = 0;
    qint8 vAlign = 0;
    bool closed = false;
    qint16 color = kColorByLayer;
    qint16 lineWeight = -1;  // by layer
    qint16 attributeFlags = 0;
    bool rectangle = false;
    Handle handle;
    Name layer = defaultLayer();
    Name lineType = defaultLineType();
    QList<XData> xdata;
    QString tooltip;  // shown when the pointer rests on the entity

    QPointF start;
    QPointF end;
    QList<Vertex> vertices;
    double radius = 0.0;
    double startAngle = 0.0;
    double endAngle = 0.0;
    double ratio = 1.0;

    QString text;
    double height = 1.0;
    double rotation = 0.0;
    Name style = defaultStyle();
    Name tag;

    Name blockName;
    double xScale = 1.0;
    double yScale = 1.0;
    std::vector<Entity> attributes;

    Apart<EntityDetail> detail;

    // The names a new entity starts with: layer "0", line type "BYLAYER", style "Standard".
    static const Name& defaultLayer();
    static const Name& defaultLineType();
    static const Name& defaultStyle();

    // The extended data under an application name; nullptr when the entity has none.
    const XData* xdataFor(const QString& app) const;
    XData* xdataFor(const QString& app);
    // Attribute of an insert by tag (case-insensitive); nullptr when absent.
    const Entity* attribute(const QString& tag) const;

    static Entity line(QPointF a, QPointF b);
    static Entity polyline(const QList<Vertex>& vertices, bool closed);
    static Entity circle(QPointF centre, double radius);
    static Entity arc(QPointF centre, double radius, double startDeg, double endDeg);
    static Entity ellipse(QPointF centre, QPointF majorAxis, double ratio, double startParam,
                          double endParam);
    static Entity point(QPointF at);
    static Entity textAt(QPointF at, const QString& text, double height);
    static Entity attributeDefinition(QPointF at, const QString& tag, const QString& prompt,
                                      const QString& defaultValue, double height);
    static Entity insert(const QString& block, QPointF at, double xScale = 1.0, double yScale = 1.0,
                         double rotation = 0.0);
    static Entity attribute(QPointF at, const QString& tag, const QString& value, double height);
    // A closed four-vertex polyline marked as a rectangle, corners a and b.
    static Entity rect(QPointF a, QPointF b);

    // Dimensions. Linear: between p1 and p2 measured along `rotationDeg` (0 horizontal, 90
    // vertical), the dimension line through `line`. Aligned: measured along p1-p2. Radius and
    // diameter: of the circle round `centre` through `onCurve`. Angular: the angle at
    // `vertex` from the leg through p1 counter-clockwise to the leg through p2, its arc
    // through `arcPoint`. The text sits in the middle of the dimension line.
    static Entity linearDimension(QPointF p1, QPointF p2, QPointF line, double rotationDeg);
    static Entity alignedDimension(QPointF p1, QPointF p2, QPointF line);
    static Entity radiusDimension(QPointF centre, QPointF onCurve);
    static Entity diameterDimension(QPointF centre, QPointF onCurve);
    static Entity angularDimension(QPointF vertex, QPointF p1, QPointF p2, QPointF arcPoint);

    // A raster image with its lower left corner at `at`, `size` wide (drawing units) and as
    // high as the pixels' proportion gives.
    static Entity image(const QString& file, QSize pixels, QPointF at, double size);

    static Entity face3d(const Point3& a, const Point3& b, const Point3& c, const Point3& d,
                         int invisibleEdges = 0);
    // Polyface meshes; `segments` round the circumference, bounded to 3..kMaxMeshSegments.
    static Entity polyfaceMesh(const QList<Point3>& vertices, const QList<MeshFace>& faces);
    static Entity box(const Point3& corner, double dx, double dy, double dz);
    // A cone standing on the circle round `base` (`topRadius` 0), a cylinder (equal radii)
    // or a frustum between.
    static Entity cone(const Point3& base, double height, double baseRadius, double topRadius,
                       int segments);
    static Entity sphere(const Point3& centre, double radius, int segments);

    static Entity viewport(QPointF centre, double width, double height, QPointF viewCentre,
                           double viewHeight);
};

inline const Name& Entity::defaultLayer() {
    static const Name n = Name::lasting(QStringLiteral("0"));
    return n;
}
inline const Name& Entity::defaultLineType() {
    static const Name n = Name::lasting(QStringLiteral("BYLAYER"));
    return n;
}
inline const Name& Entity::defaultStyle() {
    static const Name n = Name::lasting(QStringLiteral("Standard"));
    return n;
}

constexpr int kMaxMeshSegments = 256;

// The type name the rest of the program knows an entity by ("VDLINE", "VDRECT", ...; for
// kinds kept as they were read, "VD" and the DXF type).
QString entityTypeName(const Entity& e);

struct Layer {
    QString name;
    int color = 7;
    QString lineType = QStringLiteral("CONTINUOUS");
    bool on = true;
    bool frozen = false;
    bool locked = false;
};

// Stroke (SHX) fonts of other programs, by file ("simplex.shx") or name ("txt"): they have no
// face of their own here and are drawn in a plain sans face.
bool isStrokeFont(const QString& font);

// A text style. `font` is a stroke font file ("txt", "simplex.shx"), a TrueType file
// ("arial.ttf") or a font family ("DejaVu Sans"); bold and italic apply to TrueType faces
// and to the face drawn for a stroke font.
struct TextStyle {
    QString name;
    QString font = QStringLiteral("txt");
    double height = 0.0;  // 0: height given per text
    double widthFactor = 1.0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
    bool operator==(const TextStyle&) const = default;
};

struct LineType {
    QString name;
    QString description;
    QList<double> pattern;  // dash lengths: positive drawn, negative gaps, 0 dots
};

// A dimension style: sizes in drawing units before `scale`, which multiplies all of them.
// Colours are colour indices (kColorByBlock: the dimension's own colour).
struct DimStyle {
    QString name;
    double textHeight = 2.5;
    double arrowSize = 2.5;
    double extensionOffset = 0.625;    // gap between the measured point and its extension line
    double extensionExtension = 1.25;  // extension line beyond the dimension line
    QString textStyle = QStringLiteral("Standard");
    int decimals = 2;
    double scale = 1.0;
    bool showExtension1 = true;  // the extension lines at the first and second measured point
    bool showExtension2 = true;
    int extensionColor = kColorByBlock;
    QString arrowBlock = {};      // "" the closed filled arrow, else a block ("_DOT", "_OPEN"...)
    double textGap = 0.625;       // between the text and the dimension line
    bool textHorizontal = false;  // false: the text follows the dimension line
    bool textAbove = false;       // false: centred on the dimension line
    int textColor = kColorByBlock;
    bool operator==(const DimStyle&) const = default;
};

// Drawing-wide values kept in the file's header: what new entities are drawn with, the units
// and limits, and how point entities are shown.
struct DrawingSettings {
    int color = kColorByLayer;                       // $CECOLOR
    QString lineType = QStringLiteral("BYLAYER");    // $CELTYPE
    int lineWeight = -1;                             // $CELWEIGHT: -1 by layer, else 1/100 mm
    double textHeight = 2.5;                         // $TEXTSIZE
    QString textStyle = QStringLiteral("Standard");  // $TEXTSTYLE
    QString dimStyle = QStringLiteral("Standard");   // $DIMSTYLE
    int linearUnits = 2;                             // $LUNITS: 1 scientific ... 5 fractional
    int precision = 4;                               // $LUPREC: decimals shown, 0..8
    QPointF limitsMin{0.0, 0.0};                     // $LIMMIN
    QPointF limitsMax{420.0, 297.0};                 // $LIMMAX
    double lineTypeScale = 1.0;                      // $LTSCALE
    double polylineWidth = 0.0;                      // $PLINEWID: of new polylines
    bool orthoMode = false;                          // $ORTHOMODE
    // Kept for programs that shade or show perspective; this view is flat.
    double focalLength = 50.0;  // the active VPORT's lens length (42), mm
    int shadeEdge = 3;          // $SHADEDGE: 0 faces, 1 faces and edges, 2 hidden, 3 edges
    // The drawing aids of the active viewport (its VPORT record): a grid of dots shown every
    // gridSpacing, and picked points put on the nearest multiple of snapSpacing.
    bool gridMode = false;          // VPORT 76
    QPointF gridSpacing{1.0, 1.0};  // VPORT 15, 25
    bool snapMode = false;          // VPORT 75
    QPointF snapSpacing{1.0, 1.0};  // VPORT 14, 24
    // $PDMODE: shape 0 dot, 1 nothing, 2 plus, 3 cross, 4 tick; + 32 circle, + 64 square.
    int pointMode = 0;
    double pointSize = 0.0;  // $PDSIZE: drawing units; 0 a few pixels
    // What new entities take while the drawing is open (not kept in the file): the fill of
    // new closed outlines (a FillMode and its colour) and the justification of new texts
    // (hAlign and vAlign as an Entity has them).
    int fillMode = 0;
    int fillColor = kColorByLayer;
    int textHAlign = 0;
    int textVAlign = 0;
};

struct Block {
    QString name;
    QPointF base;
    std::vector<Entity> entities;
};

// Whether two names of table records (layers, blocks, styles, line types) are the same: DXF
// compares them without case. Names the same in this way have the same nameHash.
bool sameName(const QString& a, const QString& b);
bool sameName(const QString& a, QLatin1StringView b);
size_t nameHash(const QString& name);

// The records of a table (layers, blocks, styles, line types) by name, for tables too long to
// be searched in turn: their places by a hash of the name as compared without case. Kept by
// the document, made anew on the first lookup after the table changed other than by the
// document's own add or remove.
struct NameIndex {
    std::unordered_multimap<size_t, qsizetype> places;
    qsizetype count = -1;  // records entered; -1: to be made anew
};

// Model space or one paper layout: its entities in draw order.
struct Space {
    QString name;
    std::vector<Entity> entities;
};

class Document {
  public:
    Document();

    Space& modelSpace() { return model_; }
    const Space& modelSpace() const { return model_; }
    std::vector<Space>& layouts() { return layouts_; }
    const std::vector<Space>& layouts() const { return layouts_; }
    Space& addLayout(const QString& name);

    // The tables as lists. Records may be changed through the non-const lists (renamed,
    // reordered), which makes the table's name lookup anew on its next use; a record found
    // by name is not renamed through the pointer. Names are compared without case.
    std::vector<Block>& blocks() {
        blockIndex_.count = -1;
        return blocks_;
    }
    const std::vector<Block>& blocks() const { return blocks_; }
    Block* block(const QString& name);
    const Block* block(const QString& name) const;
    // Adds an empty block, or returns the existing one of that name.
    Block& addBlock(const QString& name, QPointF base = {});

    QList<Layer>& layers() {
        layerIndex_.count = -1;
        return layers_;
    }
    const QList<Layer>& layers() const { return layers_; }
    Layer* layer(const QString& name);
    const Layer* layer(const QString& name) const;
    Layer& addLayer(const Layer& layer);  // replaces one of the same name

    QList<TextStyle>& textStyles() {
        styleIndex_.count = -1;
        return styles_;
    }
    const QList<TextStyle>& textStyles() const { return styles_; }
    TextStyle& addTextStyle(const TextStyle& style);
    const TextStyle* textStyle(const QString& name) const;

    // "Standard" is always present.
    QList<DimStyle>& dimStyles() {
        dimStyleIndex_.count = -1;
        return dimStyles_;
    }
    const QList<DimStyle>& dimStyles() const { return dimStyles_; }
    DimStyle& addDimStyle(const DimStyle& style);
    const DimStyle* dimStyle(const QString& name) const;
    // The style of that name, else "Standard": what a dimension is drawn with.
    const DimStyle& dimStyleOrStandard(const QString& name) const;
    // Removes the style (case-insensitive); "Standard" stays. False when nothing was removed.
    bool removeDimStyle(const QString& name);

    QList<LineType>& lineTypes() {
        lineTypeIndex_.count = -1;
        return lineTypes_;
    }
    const QList<LineType>& lineTypes() const { return lineTypes_; }
    LineType& addLineType(const LineType& type);
    const LineType* lineType(const QString& name) const;

    // Units of the drawing as the DXF $INSUNITS code (0 unitless, 1 inches, 4 mm...).
    int units() const { return units_; }
    void setUnits(int units) { units_ = units; }
    // Base point of the drawing when it is inserted as a block into another ($INSBASE).
    QPointF insertionBase() const { return insBase_; }
    void setInsertionBase(QPointF base) { insBase_ = base; }
    DrawingSettings& settings() { return settings_; }
    const DrawingSettings& settings() const { return settings_; }
    // The layer new entities are drawn on ($CLAYER); "0" by default.
    QString currentLayer() const { return currentLayer_; }
    void setCurrentLayer(const QString& name) { currentLayer_ = name; }

    // Adds an entity at the end of a space's or block's draw order and returns it. Its
    // handle, and those of its attributes, are kept when free, otherwise newly assigned.
    Entity& add(Space& space, Entity entity);
    Entity& add(Block& block, Entity entity);
    Entity& addToModel(Entity entity) { return add(model_, std::move(entity)); }
    // Adds entities at the end of a space's or block's draw order as add() does one by one;
    // into an empty one the list is taken over whole, so that a large drawing read from a
    // file is never held twice.
    void addAll(Space& space, std::vector<Entity>&& entities);
    void addAll(Block& block, std::vector<Entity>&& entities);

    // The entity (or insert attribute) with this handle, case-insensitive and accepting
    // leading zeros ("0A1" finds "A1"); nullptr when there is none.
    Entity* find(Handle handle);
    const Entity* find(Handle handle) const;
    // Removes the entity with this handle; false when there is none.
    bool erase(Handle handle);

    // The next handle that will be given out, as a number.
    quint64 handleSeed() const { return seed_; }
    // Raises the seed to at least `seed` (on reading a file's $HANDSEED).
    void raiseHandleSeed(quint64 seed);
    // Handles given out from now on start at `first`, or past the highest in use when that is
    // higher, whatever seed the file gave: a drawing made from a template numbers its own
    // entities alike whatever records the template's file held (records are numbered anew
    // on every save, above the entities).
    void restartHandlesAt(quint64 first);
    // Marks a handle as used (handles kept inside pass-through entities).
    void reserveHandle(const QString& handle);
    // Allocates a fresh handle, e.g. for table and dictionary records written to a file.
    QString newHandle();

    // Canonical form of a handle: upper case without leading zeros; empty if not hex.
    static QString normalHandle(const QString& handle);

  private:
    void claim(Entity& e);
    void release(const Entity& e);
    // Where an entity lives: its list (model, a layout or a block) and its place in it, and
    // for an insert attribute its place in the insert's list.
    // Lists are named by owner, not by address, so that a copied or moved document never
    // looks into another's lists.
    struct Location {
        enum Owner : qint8 { Model, Layout, InBlock } owner = Model;
        int ownerIndex = 0;
        int index = -1;
        int attribute = -1;
        bool operator==(const Location&) const = default;
    };
    void addAll(std::vector<Entity>& list, std::vector<Entity>&& entities, Location where);
    std::vector<Entity>* listOf(const Location& where);
    Entity* at(const Location& where, quint64 handle);
    void remember(const std::vector<Entity>& list, Location where);
    void indexHandles();

    Space model_;
    std::vector<Space> layouts_;
    std::vector<Block> blocks_;
    QList<Layer> layers_;
    QList<TextStyle> styles_;
    QList<DimStyle> dimStyles_;
    QList<LineType> lineTypes_;
    // Name lookups of the tables (see findByName in document.cpp), made as they are used.
    mutable NameIndex blockIndex_, layerIndex_, styleIndex_, dimStyleIndex_, lineTypeIndex_;
    DrawingSettings settings_;
    HandleSet used_;
    // Handle lookup: remembered places, checked on use and rebuilt in one pass when an entity
    // is not where it was (lists are edited in place by undo and erase). Handles in use that
    // belong to no entity (pass-through records) are remembered as absent until the next add.
    // No place has the index -1: it marks a handle without one.
    HandleMap<Location> places_{Location{}};
    QSet<quint64> absent_;
    quint64 seed_ = 0x100;  // low handles are left to table and dictionary records
    int units_ = 0;
    QPointF insBase_;
    QString currentLayer_ = QStringLiteral("0");
};

}  // namespace tolvane::cad
