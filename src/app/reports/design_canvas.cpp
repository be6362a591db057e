#include "app/reports/design_canvas.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "reports/report_renderer.h"

namespace tolvane {

using namespace reports;

namespace {

QString sectionCaption(const ReportLayout& layout, const SectionRef& ref) {
    switch (ref.kind) {
        case SectionKind::ReportHeader:
            return QStringLiteral("Report Header");
        case SectionKind::PageHeader:
            return QStringLiteral("Page Header");
        case SectionKind::GroupHeader:
            return QStringLiteral("Group Header: %1").arg(layout.groups.value(ref.group).field);
        case SectionKind::Detail:
            return QStringLiteral("Detail");
        case SectionKind::GroupFooter:
            return QStringLiteral("Group Footer: %1").arg(layout.groups.value(ref.group).field);
        case SectionKind::PageFooter:
            return QStringLiteral("Page Footer");
        case SectionKind::ReportFooter:
            return QStringLiteral("Report Footer");
    }
    return {};
}

// What a control shows in the designer: its caption, or for bound controls the field in
// brackets.
QString designText(const Control& c) {
    switch (c.kind) {
        case ControlKind::Field:
        case ControlKind::CheckBox:
        case ControlKind::Barcode:  // drawn as the symbol of the bracketed name
            return QLatin1Char('[') + c.text + QLatin1Char(']');
        case ControlKind::SubReport:
            return c.text.isEmpty() ? QStringLiteral("(Subreport)") : c.text;
        case ControlKind::Date:
            return c.format.isEmpty() ? QStringLiteral("[Date]") : c.format;
        default:
            return c.text;
    }
}

// A new control of a kind as the toolbox places it.
Control newControl(ControlKind kind, const QRect& rect) {
    Control c;
    c.kind = kind;
    c.rect = rect;
    switch (kind) {
        case ControlKind::Label:
            c.text = QStringLiteral("Label");
            break;
        case ControlKind::Field:
            c.text = QStringLiteral("Field");
            break;
        case ControlKind::CheckBox:
            c.text = QStringLiteral("Field");
            break;
        case ControlKind::PageNumber:
            c.text = QStringLiteral("Page {page} of {pages}");
            break;
        case ControlKind::Date:
            c.format = QStringLiteral("dd/MM/yyyy");
            break;
        case ControlKind::RichText:
            c.text = QStringLiteral("<p>Rich text</p>");
            break;
        case ControlKind::Frame:
            c.text = QStringLiteral("Frame");
            break;
        case ControlKind::Barcode:
            c.text = QStringLiteral("Field");
            break;
        case ControlKind::Line:
        case ControlKind::Rectangle:
        case ControlKind::Picture:
        case ControlKind::SubReport:
        case ControlKind::PageBreak:
            break;
    }
    return c;
}

constexpr int kEdge = 4;  // pixels either side of a section's bottom edge that drag it

}  // namespace

DesignCanvas::DesignCanvas(LayoutDocument& document, QWidget* parent)
    : QWidget(parent), doc_(document) {
    setObjectName(QStringLiteral("cvsDesign"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    connect(&doc_, &LayoutDocument::changed, this, [this] {
        // Undo may take away controls the selection named.
        const Selection valid = validSelection(doc_.layout(), selection_);
        const bool dropped = valid != selection_;
        selection_ = valid;
        resize(sizeHint());
        update();
        if (dropped) Q_EMIT selectionChanged();
    });
    resize(sizeHint());
}

void DesignCanvas::setScale(double pixelsPerTwip) {
    scale_ = pixelsPerTwip;
    resize(sizeHint());
    update();
}

void DesignCanvas::setSelection(const Selection& selection) {
    selection_ = validSelection(doc_.layout(), selection);
    update();
    Q_EMIT selectionChanged();
}

QList<DesignCanvas::SectionPlace> DesignCanvas::placesOf(const ReportLayout& l) const {
    QList<SectionPlace> out;
    int y = 0;
    for (const SectionRef& ref : sectionsInOrder(l)) {
        const Section* s = reports::sectionAt(l, ref);
        SectionPlace p{ref, sectionCaption(l, ref), y, y + kBarHeight, px(s->height)};
        out << p;
        y = p.top + p.height;
    }
    return out;
}

QList<DesignCanvas::SectionPlace> DesignCanvas::places() const {
    return placesOf(shown());
}

QSize DesignCanvas::sizeHint() const {
    const QList<SectionPlace> all = places();
    const int bottom = all.isEmpty() ? 0 : all.last().top + all.last().height;
    return {px(shown().page.printableWidth()) + 1, bottom + 40};
}

QPoint DesignCanvas::toPixels(const SectionRef& section, QPoint twips) const {
    for (const SectionPlace& p : places())
        if (p.ref == section) return {px(twips.x()), p.top + px(twips.y())};
    return {};
}

QRect DesignCanvas::pixelRect(const SectionRef& section, const QRect& twips) const {
    const QRect r = twips.normalized();
    const QPoint tl = toPixels(section, r.topLeft());
    return {tl, QSize(std::max(1, px(r.width())), std::max(1, px(r.height())))};
}

std::optional<std::pair<SectionRef, QPoint>> DesignCanvas::sectionAt(QPoint pixel) const {
    for (const SectionPlace& p : places())
        if (pixel.y() >= p.top && pixel.y() < p.top + p.height)
            return std::pair{p.ref, QPoint(tw(pixel.x()), tw(pixel.y() - p.top))};
    return std::nullopt;
}

std::optional<SectionRef> DesignCanvas::sectionEdgeAt(QPoint pixel) const {
    for (const SectionPlace& p : places())
        if (std::abs(pixel.y() - (p.top + p.height)) <= kEdge) return p.ref;
    return std::nullopt;
}

QList<std::pair<Handle, QRect>> DesignCanvas::handles(const ControlRef& ref) const {
    QList<std::pair<Handle, QRect>> out;
    const Control* c = controlAt(shown(), ref);
    if (!c) return out;
    const auto box = [](QPoint at) {
        return QRect(at - QPoint(kHandle / 2, kHandle / 2), QSize(kHandle, kHandle));
    };
    if (c->kind == ControlKind::Line) {
        out << std::pair{Handle::TopLeft, box(toPixels(ref.section, c->rect.topLeft()))};
        out << std::pair{Handle::BottomRight,
                         box(toPixels(ref.section, c->rect.topLeft() +
                                                       QPoint(c->rect.width(), c->rect.height())))};
        return out;
    }
    const QRect r = pixelRect(ref.section, c->rect);
    const int cx = r.left() + r.width() / 2, cy = r.top() + r.height() / 2;
    const int right = r.left() + r.width(), bottom = r.top() + r.height();
    out << std::pair{Handle::TopLeft, box(r.topLeft())}
        << std::pair{Handle::Top, box({cx, r.top()})}
        << std::pair{Handle::TopRight, box({right, r.top()})}
        << std::pair{Handle::Right, box({right, cy})}
        << std::pair{Handle::BottomRight, box({right, bottom})}
        << std::pair{Handle::Bottom, box({cx, bottom})}
        << std::pair{Handle::BottomLeft, box({r.left(), bottom})}
        << std::pair{Handle::Left, box({r.left(), cy})};
    return out;
}

std::optional<Handle> DesignCanvas::handleAt(QPoint pixel) const {
    if (selection_.size() != 1) return std::nullopt;
    const Control* c = controlAt(doc_.layout(), selection_.first());
    if (!c || c->locked) return std::nullopt;
    for (const auto& [h, r] : handles(selection_.first()))
        if (r.adjusted(-1, -1, 1, 1).contains(pixel)) return h;
    return std::nullopt;
}

void DesignCanvas::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), palette().color(QPalette::Mid));
    const ReportLayout& l = shown();
    const int width = px(l.page.printableWidth());
    PagePainter controls;
    for (const SectionPlace& place : placesOf(l)) {
        const Section& s = *reports::sectionAt(l, place.ref);
        const QRect bar(0, place.barTop, width, kBarHeight);
        p.fillRect(bar, palette().color(QPalette::Button));
        p.setPen(palette().color(QPalette::ButtonText));
        p.drawText(bar.adjusted(6, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, place.caption);
        p.setPen(palette().color(QPalette::Dark));
        p.drawLine(bar.bottomLeft(), bar.bottomRight());
        if (place.height <= 0) continue;
        const QRect body(0, place.top, width, place.height);
        p.fillRect(body, s.backColor.isValid() ? s.backColor : QColor(Qt::white));
        if (grid_.visible && grid_.spacing > 0 && px(grid_.spacing) >= 4) {
            // Grid points every spacing; lines every inch.
            p.setPen(QColor(0xb0, 0xb0, 0xb0));
            for (int y = 0; px(y) < place.height; y += grid_.spacing)
                for (int x = 0; px(x) < width; x += grid_.spacing)
                    p.drawPoint(px(x), place.top + px(y));
            p.setPen(QColor(0xe0, 0xe0, 0xf0));
            for (int x = kTwipsPerInch; px(x) < width; x += kTwipsPerInch)
                p.drawLine(px(x), place.top, px(x), place.top + place.height - 1);
        }
        // The controls drawn as they print, with their captions or bound fields.
        RenderedPage page;
        RenderedBand band;
        band.rect = QRect(0, 0, l.page.printableWidth(), s.height);
        for (const Control& c : s.controls) band.items << RenderedItem{&c, c.rect, designText(c)};
        page.bands << band;
        p.save();
        p.translate(0, place.top);
        p.scale(scale_, scale_);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        controls.paint(p, page);
        p.restore();
        // Every control's outline, faint, so that empty labels and fields can be found.
        p.setPen(QPen(QColor(0xa0, 0xa0, 0xc0), 1, Qt::DotLine));
        for (const Control& c : s.controls)
            if (c.kind != ControlKind::Line)
                p.drawRect(pixelRect(place.ref, c.rect).adjusted(0, 0, -1, -1));
    }
    // The selection: outlined, with handles on a single unlocked control.
    for (const ControlRef& ref : selection_) {
        const Control* c = controlAt(l, ref);
        if (!c) continue;
        p.setPen(QPen(c->locked ? QColor(0x80, 0x80, 0x80) : QColor(0x20, 0x60, 0xd0), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(pixelRect(ref.section, c->rect).adjusted(-1, -1, 0, 0));
        if (selection_.size() == 1 && !c->locked) {
            p.setBrush(QColor(0x20, 0x60, 0xd0));
            for (const auto& [h, r] : handles(ref)) p.drawRect(r);
            p.setBrush(Qt::NoBrush);
        }
    }
    if (drag_ == Drag::Band || drag_ == Drag::Place) {
        p.setPen(QPen(Qt::black, 1, Qt::DashLine));
        p.drawRect(QRect(pressed_, now_).normalized());
    }
}

void DesignCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    setFocus();
    pressed_ = now_ = event->position().toPoint();
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    if (const auto edge = sectionEdgeAt(pressed_); edge && !tool_) {
        drag_ = Drag::SectionHeight;
        dragSection_ = *edge;
        return;
    }
    const auto at = sectionAt(pressed_);
    if (tool_) {
        if (!at) return;
        drag_ = Drag::Place;
        dragSection_ = at->first;
        return;
    }
    if (const auto h = handleAt(pressed_)) {
        drag_ = Drag::Resize;
        dragHandle_ = *h;
        return;
    }
    const std::optional<ControlRef> hit =
        at ? hitControl(doc_.layout(), at->first, at->second) : std::nullopt;
    if (!hit) {
        if (!shift) setSelection({});
        drag_ = Drag::Band;
        if (at) dragSection_ = at->first;
        return;
    }
    Selection s = selection_;
    if (shift) {
        if (s.contains(*hit))
            s.removeAll(*hit);
        else
            s << *hit;
        setSelection(s);
        return;
    }
    if (!s.contains(*hit)) setSelection({*hit});
    drag_ = Drag::Move;
}

QString DesignCanvas::applyGesture(ReportLayout& l, bool final) {
    const QPoint d(tw(now_.x() - pressed_.x()), tw(now_.y() - pressed_.y()));
    switch (drag_) {
        case Drag::Move:
            moveControls(l, selection_, d, grid_);
            return QStringLiteral("Move");
        case Drag::Resize:
            if (!selection_.isEmpty()) resizeControl(l, selection_.first(), dragHandle_, d, grid_);
            return QStringLiteral("Resize");
        case Drag::SectionHeight:
            if (const Section* s = reports::sectionAt(l, dragSection_))
                setSectionHeight(l, dragSection_, s->height + d.y(), grid_);
            return QStringLiteral("Section Height");
        case Drag::Place: {
            if (!final || !tool_) return {};
            const QPoint from = toPixels(dragSection_, {});
            const QPoint a(tw(pressed_.x() - from.x()), tw(pressed_.y() - from.y()));
            const QPoint b(tw(now_.x() - from.x()), tw(now_.y() - from.y()));
            QRect r(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                    QSize(std::abs(b.x() - a.x()), std::abs(b.y() - a.y())));
            // A click places a control of a useful size; a line runs from where the drag
            // started to where it ended (a click: an inch to the right).
            if (*tool_ == ControlKind::Line) {
                r = QRect(a.x(), a.y(), b.x() - a.x(), b.y() - a.y());
                if (std::abs(r.width()) < 60 && std::abs(r.height()) < 60)
                    r = QRect(a.x(), a.y(), 1440, 0);
            } else {
                if (r.width() < 60) r.setWidth(*tool_ == ControlKind::CheckBox ? 300 : 1440);
                if (r.height() < 60) r.setHeight(300);
            }
            // A page break runs across the section, thin: only its top matters.
            if (*tool_ == ControlKind::PageBreak)
                r = QRect(0, r.top(), l.page.printableWidth(), 60);
            const ControlRef ref = addControl(l, dragSection_, newControl(*tool_, r), grid_);
            selection_ = {ref};
            return QStringLiteral("Insert");
        }
        case Drag::Band:
        case Drag::None:
            break;
    }
    return {};
}

void DesignCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (drag_ == Drag::None) {
        // The cursor tells what a press would do.
        if (!tool_ && sectionEdgeAt(at))
            setCursor(Qt::SizeVerCursor);
        else if (const auto h = handleAt(at))
            setCursor(*h == Handle::Top || *h == Handle::Bottom            ? Qt::SizeVerCursor
                      : *h == Handle::Left || *h == Handle::Right          ? Qt::SizeHorCursor
                      : *h == Handle::TopLeft || *h == Handle::BottomRight ? Qt::SizeFDiagCursor
                                                                           : Qt::SizeBDiagCursor);
        else
            setCursor(tool_ ? Qt::CrossCursor : Qt::ArrowCursor);
        return;
    }
    now_ = at;
    if (drag_ == Drag::Move || drag_ == Drag::Resize || drag_ == Drag::SectionHeight) {
        ReportLayout l = doc_.layout();
        applyGesture(l, false);
        preview_ = std::move(l);
    }
    update();
}

void DesignCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || drag_ == Drag::None) return;
    now_ = event->position().toPoint();
    preview_.reset();
    const Drag was = drag_;
    if (was == Drag::Band) {
        // The rubber band selects what lies wholly inside it, in the section it started in.
        const QPoint from = toPixels(dragSection_, {});
        const QPoint a(tw(pressed_.x() - from.x()), tw(pressed_.y() - from.y()));
        const QPoint b(tw(now_.x() - from.x()), tw(now_.y() - from.y()));
        const QRect band(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                         QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
        Selection s = (event->modifiers() & Qt::ShiftModifier) ? selection_ : Selection{};
        for (const ControlRef& r : controlsInside(doc_.layout(), dragSection_, band))
            if (!s.contains(r)) s << r;
        drag_ = Drag::None;
        setSelection(s);
        return;
    }
    if (now_ != pressed_ || was == Drag::Place) {
        Selection placedSelection;
        const QString name = was == Drag::Move            ? QStringLiteral("Move")
                             : was == Drag::Resize        ? QStringLiteral("Resize")
                             : was == Drag::SectionHeight ? QStringLiteral("Section Height")
                                                          : QStringLiteral("Insert");
        doc_.edit(name, [&](ReportLayout& l) {
            applyGesture(l, true);
            placedSelection = selection_;
        });
        if (was == Drag::Place) {
            tool_.reset();
            setSelection(placedSelection);
            Q_EMIT placed();
        }
    }
    drag_ = Drag::None;
    update();
}

void DesignCanvas::keyPressEvent(QKeyEvent* event) {
    // The arrows move the selection by one grid step (a pixel's worth without snapping);
    // Delete removes it.
    QPoint d;
    const int step = grid_.snap && grid_.spacing > 0 ? grid_.spacing : tw(1);
    switch (event->key()) {
        case Qt::Key_Left:
            d = {-step, 0};
            break;
        case Qt::Key_Right:
            d = {step, 0};
            break;
        case Qt::Key_Up:
            d = {0, -step};
            break;
        case Qt::Key_Down:
            d = {0, step};
            break;
        case Qt::Key_Delete: {
            const Selection gone = selection_;
            setSelection({});
            doc_.edit(QStringLiteral("Delete"), [&](ReportLayout& l) { deleteControls(l, gone); });
            return;
        }
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    doc_.edit(QStringLiteral("Move"),
              [&](ReportLayout& l) { moveControls(l, selection_, d, grid_); });
}

}  // namespace tolvane
