#include "drawings/title_block.h"

#include "cad/geometry.h"
#include "drawings/entity_tag.h"

namespace tolvane::titleblock {

namespace {

// The sheet, in millimetres: A3 landscape with a 10 mm margin.
constexpr double kSheetWidth = 420;
constexpr double kSheetHeight = 297;
constexpr double kMargin = 10;
// The title block: four rows of cells in the lower right corner of the border.
constexpr double kBlockWidth = 160;
constexpr double kRow = 10;
constexpr double kLabelHeight = 2;
constexpr double kValueHeight = 3.5;
constexpr double kInset = 1.5;  // of a text from its cell's left side

// The sheet's entities are numbered from 0x80 up: below 0x100, where no file this program
// writes puts anything else, and below standard::kFirstDrawingHandle, where a drawing made
// from the template starts numbering its own.
constexpr quint64 kFirstSheetHandle = 0x80;

// Puts the sheet's entities into a layout, on layer "0", numbered in turn.
struct Sheet {
    cad::Document& doc;
    cad::Space& layout;
    quint64 next = kFirstSheetHandle;

    void put(cad::Entity e) {
        e.layer = QStringLiteral("0");
        e.handle = cad::Handle(next++);
        doc.add(layout, std::move(e));
    }
    // A closed outline; not marked as a drawn rectangle, which files record under an
    // application name of their own.
    void frame(QPointF a, QPointF b) {
        put(cad::Entity::polyline({{a}, {QPointF(b.x(), a.y())}, {b}, {QPointF(a.x(), b.y())}},
                                  true));
    }
    void text(QPointF at, const QString& s, double height) {
        cad::Entity t = cad::Entity::textAt(at, s, height);
        t.style = QStringLiteral("STANDARD");
        put(std::move(t));
    }
    // A cell: its label at the top, its field below, with the room the field may fill.
    void cell(double x, double y, double width, const QString& label, const QString& key) {
        text({x + kInset, y + kRow - 1 - kLabelHeight}, label, kLabelHeight);
        cad::Entity value = cad::Entity::textAt({x + kInset, y + 2}, QString(), kValueHeight);
        value.style = QStringLiteral("STANDARD");
        tag::tagEntity(value, kFieldKind, key, QString::number(width - 2 * kInset));
        put(std::move(value));
    }
};

}  // namespace

QStringList keys() {
    return {Project, DrawingName, DrawingNo, Revision, Date, DrawnBy};
}

QString valueOf(const Fields& f, const QString& key) {
    if (key == Project) return f.project;
    if (key == DrawingName) return f.drawingName;
    if (key == DrawingNo) return f.drawingNo;
    if (key == Revision) return f.revision;
    if (key == Date) return f.date;
    if (key == DrawnBy) return f.drawnBy;
    return {};
}

void drawSheet(cad::Document& doc, cad::Space& layout) {
    Sheet sheet{doc, layout};
    const double x1 = kSheetWidth - kMargin;
    const double y1 = kSheetHeight - kMargin;
    sheet.frame({0, 0}, {kSheetWidth, kSheetHeight});
    sheet.frame({kMargin, kMargin}, {x1, y1});

    const double x0 = x1 - kBlockWidth;
    const double middle = x0 + kBlockWidth / 2;
    const double top = kMargin + 4 * kRow;
    sheet.frame({x0, kMargin}, {x1, top});
    for (int row = 1; row < 4; ++row) {
        const double y = kMargin + row * kRow;
        sheet.put(cad::Entity::line({x0, y}, {x1, y}));
    }
    sheet.put(cad::Entity::line({middle, kMargin}, {middle, kMargin + 2 * kRow}));

    sheet.cell(x0, kMargin + 3 * kRow, kBlockWidth, QStringLiteral("PROJECT"), Project);
    sheet.cell(x0, kMargin + 2 * kRow, kBlockWidth, QStringLiteral("DRAWING"), DrawingName);
    sheet.cell(x0, kMargin + kRow, kBlockWidth / 2, QStringLiteral("DRAWING No."), DrawingNo);
    sheet.cell(middle, kMargin + kRow, kBlockWidth / 2, QStringLiteral("REVISION"), Revision);
    sheet.cell(x0, kMargin, kBlockWidth / 2, QStringLiteral("DATE"), Date);
    sheet.cell(middle, kMargin, kBlockWidth / 2, QStringLiteral("DRAWN BY"), DrawnBy);

    // The viewport fills the sheet above the title block and shows the part of model space
    // where schematics start, from the origin up.
    const double vx0 = kMargin + 2;
    const double vy0 = top + 2;
    const double width = x1 - 2 - vx0;
    const double height = y1 - 2 - vy0;
    const double viewHeight = 40;
    const QPointF viewCentre(viewHeight * width / height / 2, viewHeight / 2);
    sheet.put(cad::Entity::viewport({vx0 + width / 2, vy0 + height / 2}, width, height, viewCentre,
                                    viewHeight));
}

bool fill(cad::Document& doc, const Fields& fields) {
    bool changed = false;
    for (cad::Space& layout : doc.layouts()) {
        for (cad::Entity& e : layout.entities) {
            if (e.kind != cad::EntityKind::Text || tag::kindOf(e) != kFieldKind) continue;
            const QString value = valueOf(fields, tag::ref1(e));
            const double room = tag::ref2(e).toDouble();
            cad::Entity t = e;
            t.text = value;
            // Left-aligned; a value wider than its cell is fitted between the cell's sides.
            t.hAlign = 0;
            t.vAlign = 0;
            const cad::Prim box = cad::textBox(doc, t);
            if (room > 0 && cad::length(box.q[1] - box.q[0]) > room) {
                t.hAlign = 5;
                t.end = t.start + QPointF(room, 0);
            } else {
                t.end = t.start;
            }
            if (t.text == e.text && t.hAlign == e.hAlign && t.end == e.end) continue;
            e.text = t.text;
            e.hAlign = t.hAlign;
            e.vAlign = t.vAlign;
            e.end = t.end;
            changed = true;
        }
    }
    return changed;
}

QString shown(const cad::Document& doc, const QString& key) {
    for (const cad::Space& layout : doc.layouts()) {
        for (const cad::Entity& e : layout.entities) {
            if (e.kind == cad::EntityKind::Text && tag::kindOf(e) == kFieldKind &&
                tag::ref1(e).compare(key, Qt::CaseInsensitive) == 0)
                return e.text;
        }
    }
    return {};
}

}  // namespace tolvane::titleblock
