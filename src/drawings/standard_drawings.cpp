#include "drawings/standard_drawings.h"

#include <QTransform>
#include <stdexcept>

#include "cad/dxf.h"
#include "cad/editing.h"
#include "cad/line_types.h"
#include "cad/search_folders.h"
#include "drawings/entity_tag.h"
#include "drawings/title_block.h"
#include "shell/app_folder.h"

namespace tolvane::standard {

namespace {

// Text height of the attributes and labels of the standard blocks.
constexpr double kText = 0.25;

// Builds a block drawing in model space. Geometry goes on layer "0" with colour "by block"
// so that an insert shows it in its own layer and colour.
struct Builder {
    cad::Document doc;

    cad::Entity& put(cad::Entity e) {
        e.color = cad::kColorByBlock;
        return doc.addToModel(std::move(e));
    }
    void line(double x0, double y0, double x1, double y1) {
        put(cad::Entity::line({x0, y0}, {x1, y1}));
    }
    void path(std::initializer_list<QPointF> points, bool closed = false) {
        QList<cad::Vertex> v;
        for (QPointF p : points) v.append({p, 0.0});
        put(cad::Entity::polyline(v, closed));
    }
    void rect(double x0, double y0, double x1, double y1) {
        path({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, true);
    }
    void circle(double x, double y, double r) { put(cad::Entity::circle({x, y}, r)); }
    // A small closed arrowhead with its tip at (x, y) pointing up (dy > 0) or down.
    void arrowhead(double x, double y, double dy) {
        path({{x, y}, {x - 0.1, y - dy}, {x + 0.1, y - dy}}, true);
    }
    void text(double x, double y, const QString& s) {
        cad::Entity t = cad::Entity::textAt({x, y}, s, kText);
        t.style = QStringLiteral("STANDARD");
        put(t);
    }
    void attribute(double x, double y, const QString& tag, const QString& value = {},
                   bool invisible = false) {
        cad::Entity a = cad::Entity::attributeDefinition({x, y}, tag, tag, value, kText);
        a.style = QStringLiteral("STANDARD");
        a.attributeFlags = invisible ? 1 : 0;
        doc.addToModel(std::move(a));
    }
    // Mirrors everything about the vertical through the insertion point: a source block
    // becomes its destination twin. Texts stay readable (they turn to right alignment).
    void mirror() {
        const QTransform flip = QTransform::fromScale(-1, 1);
        for (cad::Entity& e : doc.modelSpace().entities) cad::transformEntity(e, flip);
    }
};

enum class Style { FN, HN, Plain };

// One jack: a body with its hole and, for the normalled styles, the normal contact.
void jackBody(Builder& b, double x0, double yc, Style style) {
    b.rect(x0, yc - 0.4, x0 + 1.5, yc + 0.4);
    b.circle(x0 + 0.45, yc, 0.2);
    if (style == Style::Plain) return;
    b.line(x0 + 0.9, yc - 0.25, x0 + 1.3, yc - 0.25);
    b.line(x0 + 1.1, yc - 0.25, x0 + 1.1, yc + 0.15);
    b.arrowhead(x0 + 1.1, yc + 0.25, 0.1);
}

// A jack of a single-row jackfield acting as a source: the cable leaves to the right of the
// insertion point; the body lies left of it. The texts stand in rows of their own above and
// below the body, so that long values (a jackfield "PATCH-01", a connector "Terminal Block")
// never meet; the row labels stand left of the body, clear of the cable number that a cable
// leaving the jack puts beyond the body at the height of the lead.
void sourceJack(Builder& b, Style style) {
    jackBody(b, -2.5, 0, style);
    b.line(-1, 0, 0, 0);
    b.attribute(-2.5, 0.6, QStringLiteral("JF"), QStringLiteral("JF"));
    b.attribute(-3.1, 0.6, QStringLiteral("A"));
    b.attribute(-3.1, -0.85, QStringLiteral("B"), QStringLiteral("B"));
    b.attribute(-2.5, -0.85, QStringLiteral("COL"), QStringLiteral("1"));
    b.attribute(-2.5, 1.0, QStringLiteral("AConn"));
    b.attribute(-2.5, -1.25, QStringLiteral("BConn"));
    b.attribute(-2.5, -1.65, QStringLiteral("Read Only PinWidth"), QStringLiteral("2.5"), true);
    b.attribute(-2.5, 1.4, QStringLiteral("Location"));
    b.attribute(-2.5, 1.8, QStringLiteral("Alias"));
}

// A jack of a two-row jackfield: cables arrive at row A (top) from the left, at the
// insertion point, and leave row B (bottom) to the right at (3.5, 0). Each row's texts stand
// on its own side: designation, row A's connector, location and alias above, column and row
// B's connector below.
void twoRowJack(Builder& b, Style style) {
    jackBody(b, 1, 0.7, Style::Plain);
    jackBody(b, 1, -0.7, Style::Plain);
    b.path({{0, 0}, {0.6, 0}, {0.6, 0.7}, {1, 0.7}});
    b.path({{2.5, -0.7}, {2.9, -0.7}, {2.9, 0}, {3.5, 0}});
    if (style != Style::Plain) {
        // The normal between the rows: both ways for full normals, towards B for half.
        b.line(1.75, 0.3, 1.75, -0.3);
        b.arrowhead(1.75, -0.3, -0.12);
        if (style == Style::FN) b.arrowhead(1.75, 0.3, 0.12);
    }
    b.attribute(1, 1.3, QStringLiteral("JF"), QStringLiteral("JF"));
    b.attribute(0.1, 0.8, QStringLiteral("A"), QStringLiteral("A"));
    b.attribute(3.0, -0.95, QStringLiteral("B"), QStringLiteral("B"));
    b.attribute(1, -1.45, QStringLiteral("COL"), QStringLiteral("1"));
    b.attribute(1, 1.7, QStringLiteral("AConn"));
    b.attribute(1, -1.85, QStringLiteral("BConn"));
    b.attribute(1, -2.25, QStringLiteral("Read Only PinWidth"), QStringLiteral("2.5"), true);
    b.attribute(1, 2.1, QStringLiteral("Location"));
    b.attribute(1, 2.5, QStringLiteral("Alias"));
}

void jbox(Builder& b, bool single) {
    b.rect(-3, -0.75, -1, 0.75);
    if (single)
        b.path({{-2.4, -0.4}, {-1.6, 0}, {-2.4, 0.4}}, true);
    else
        b.circle(-2, 0, 0.45);
    b.line(-1, 0, 0, 0);
    b.attribute(-3, 0.95, QStringLiteral("JB"), QStringLiteral("JB"));
    b.attribute(-3, 1.35, QStringLiteral("Location"));
    b.attribute(-3, 1.75, QStringLiteral("Alias"));
    b.attribute(-0.9, 0.7, QStringLiteral("CON"), QStringLiteral("1"));
    b.attribute(-3, -1.4, QStringLiteral("BConn"));
    b.attribute(-3, -1.8, QStringLiteral("AConn"));
    // The side labels: a cable's pin at a J-box reads "B-1" at a source, "A-1" at a
    // destination.
    b.attribute(-0.9, 1.1, QStringLiteral("A"), QStringLiteral("A"));
    b.attribute(-0.9, -0.95, QStringLiteral("B"), QStringLiteral("B"));
}

void router(Builder& b) {
    b.rect(-3, -1, -1, 1);
    b.line(-3, -1, -1, 1);
    b.line(-3, 1, -1, -1);
    b.line(-1, 0, 0, 0);
    b.attribute(-3, 1.25, QStringLiteral("RTR"), QStringLiteral("RTR"));
    b.attribute(-3, 1.65, QStringLiteral("Location"));
    b.attribute(-3, 2.05, QStringLiteral("Alias"));
    b.attribute(-0.9, 0.7, QStringLiteral("B"), QStringLiteral("B"));
    b.attribute(-0.9, -0.95, QStringLiteral("Layer"), QStringLiteral("1"));
    b.attribute(-3, -1.4, QStringLiteral("BConn"));
    b.attribute(-3, -1.8, QStringLiteral("AConn"));
    b.attribute(-0.9, 1.1, QStringLiteral("A"), QStringLiteral("A"));
}

// An off-sheet pointer: a tag pointing the way the signal runs, between x0 and x0 + 3.
void pointer(Builder& b, double x0) {
    b.path({{x0, 0.6}, {x0 + 2.4, 0.6}, {x0 + 3, 0}, {x0 + 2.4, -0.6}, {x0, -0.6}}, true);
    const QString tags[] = {QStringLiteral("DSHT"), QStringLiteral("Sysnam"),  QStringLiteral("D"),
                            QStringLiteral("Ssht"), QStringLiteral("SSysnam"), QStringLiteral("S"),
                            QStringLiteral("JF"),   QStringLiteral("COL")};
    for (int i = 0; i < 8; ++i) {
        const double y = i < 4 ? 0.85 + 0.4 * i : -0.95 - 0.4 * (i - 4);
        b.attribute(x0, y, tags[i]);
    }
}

void termination(Builder& b, const QString& ohms) {
    b.line(0, 0, 0.5, 0);
    b.path({{0.5, 0}, {0.6, 0.3}, {0.8, -0.3}, {1.0, 0.3}, {1.2, -0.3}, {1.4, 0.3}, {1.5, 0}});
    b.line(1.5, 0, 1.8, 0);
    b.line(1.8, -0.4, 1.8, 0.4);
    b.line(2.0, -0.25, 2.0, 0.25);
    b.line(2.2, -0.1, 2.2, 0.1);
    if (!ohms.isEmpty()) b.text(0.6, 0.45, ohms);
}

void loopThrough(Builder& b) {
    b.line(0, 0, 0.5, 0);
    b.put(cad::Entity::arc({1, 0}, 0.5, 0, 180));
    b.line(1.5, 0, 2, 0);
    b.circle(0.5, 0, 0.08);
    b.circle(1.5, 0, 0.08);
}

}  // namespace

QStringList textStyles() {
    return {QStringLiteral("STANDARD"),        QStringLiteral("SIMPLEX"),
            QStringLiteral("ANSITXT"),         QStringLiteral("TL_EQUIPMENT"),
            QStringLiteral("TL_MANUFACTURER"), QStringLiteral("TL_PIN"),
            QStringLiteral("TL_CABLENO"),      QStringLiteral("TL_SYSNAME"),
            QStringLiteral("TL_ALIAS"),        QStringLiteral("TL_LOCATION"),
            QStringLiteral("TL_CONNECTOR")};
}

QStringList layers() {
    return {
        QStringLiteral("ALIAS"),        QStringLiteral("CABLES"),    QStringLiteral("COMMENTS"),
        QStringLiteral("CONNECTORS"),   QStringLiteral("EQUIPMENT"), QStringLiteral("LOCATION"),
        QStringLiteral("MANUFACTURER"), QStringLiteral("PINNAME"),   QStringLiteral("SYSNAMES")};
}

void addStandardStylesAndLayers(cad::Document& doc) {
    cad::addStandardLineTypes(doc);
    for (const QString& s : textStyles()) {
        if (!doc.textStyle(s)) doc.addTextStyle(cad::TextStyle{s});
    }
    for (const QString& l : layers()) {
        if (!doc.layer(l)) doc.addLayer(cad::Layer{l});
    }
}

QStringList prepareDrawing(cad::Document& doc, const QString& blocksFolder) {
    QStringList missing;
    for (const tag::CatalogueEntry& entry : tag::blockCatalogue()) {
        if (doc.block(entry.name)) continue;
        QString file = appfolder::findNoCase(blocksFolder, entry.name + QStringLiteral(".dxf"));
        if (file.isEmpty()) file = cad::findInSearchFolders(entry.name + QStringLiteral(".dxf"));
        try {
            if (file.isEmpty()) throw cad::DxfError(0, QStringLiteral("no file"));
            cad::addBlockFromFile(doc, file, entry.name);
        } catch (const cad::DxfError&) {
            missing << entry.name;
        }
    }
    addStandardStylesAndLayers(doc);
    return missing;
}

cad::Document templateDrawing() {
    cad::Document doc;
    // The sheet first: its entities take the handles below kFirstDrawingHandle.
    titleblock::drawSheet(doc, doc.addLayout(QStringLiteral("Layout1")));
    addStandardStylesAndLayers(doc);
    doc.settings().textHeight = kText;  // new texts as large as the standard blocks' texts
    return doc;
}

Connections connections(const QString& name) {
    const QString n = name.toUpper();
    Connections c;
    if (n.endsWith(QLatin1String("_SD"))) {
        c.destination = true;
        c.source = true;
        c.sourcePoint = {3.5, 0};
    } else if (n == QLatin1String("POINTER_D") || n.startsWith(QLatin1String("TERM")) ||
               n.endsWith(QLatin1String("_D"))) {
        c.destination = true;
    } else if (n.endsWith(QLatin1String("_S"))) {
        c.source = true;
    } else if (n == QLatin1String("LOOPIN")) {
        c.destination = true;
        c.source = true;
        c.sourcePoint = {2, 0};
    }
    return c;
}

cad::Document blockDrawing(const QString& name) {
    const std::optional<tag::CatalogueEntry> entry = tag::catalogueEntry(name);
    if (!entry) throw std::invalid_argument("not a standard block: " + name.toStdString());
    const QString n = entry->name;
    Builder b;
    addStandardStylesAndLayers(b.doc);
    const bool destination = n.endsWith(QLatin1String("_D"));
    if (entry->kind == tag::kind::Jack) {
        const Style style = n.startsWith(QLatin1String("FN"))   ? Style::FN
                            : n.startsWith(QLatin1String("HN")) ? Style::HN
                                                                : Style::Plain;
        if (n.endsWith(QLatin1String("_SD"))) {
            twoRowJack(b, style);
        } else {
            sourceJack(b, style);
            if (destination) b.mirror();
        }
    } else if (entry->kind == tag::kind::JBox) {
        jbox(b, n.startsWith(QLatin1String("JBOX_1")));
        if (destination) b.mirror();
    } else if (entry->kind == tag::kind::Router) {
        router(b);
        if (destination) b.mirror();
    } else if (entry->kind == tag::kind::Pointer) {
        // The pointer points the way the signal runs in both: the arriving cable ends at the
        // left of a POINTER_D, the continuing cable leaves the right of a POINTER_S.
        pointer(b, destination ? 1 : -4);
        if (destination)
            b.line(0, 0, 1, 0);
        else
            b.line(-1, 0, 0, 0);
    } else if (n == QLatin1String("LOOPIN")) {
        loopThrough(b);
    } else {
        termination(b, n.startsWith(QLatin1String("TERM_")) ? n.mid(5) : QString());
    }
    return std::move(b.doc);
}

}  // namespace tolvane::standard
