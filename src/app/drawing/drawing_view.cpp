#include "app/drawing/drawing_view.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLineF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "app/drawing/open_timing.h"
#include "cad/colors.h"
#include "cad/pictures.h"
#include "shell/settings_store.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

// One wheel notch (120 units) zooms by this factor.
constexpr double kWheelStep = 1.25;
// Zoom in and out commands.
constexpr double kZoomStep = 2.0;
// A press and release further apart than this are a drag, not a click.
constexpr double kDragPixels = 4.0;
// How long a snap waits for an index being built before it does without, how long a pick
// does before it searches the space whole (which skips what lies too far by boxes read off
// the entities: some 20 ms for 100,000 of them), and how long the view gives the build at a
// time between its other work (ms).
constexpr int kIndexWait = 40;
constexpr int kPickWait = 5;
constexpr int kIndexTurn = 10;

int settingNumber(const SettingsStore& store, const QString& name, int low, int high, int keep) {
    bool ok = false;
    const int v = store.read(name).trimmed().toInt(&ok);
    return ok ? std::clamp(v, low, high) : keep;
}

}  // namespace

DrawingView::DrawingView(cad::Document& doc, cad::Space& space, Ui& ui,
                         const cad::SpatialIndex* index, QWidget* parent)
    : QWidget(parent), doc_(doc), space_(&space), ui_(ui), external_(index) {
    setObjectName(QStringLiteral("drawingView"));
    if (!external_) {
        own_ = std::make_unique<cad::SpatialIndex>();
        own_->build(doc_, *space_);
    }
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
    setMinimumSize(64, 48);
    view_.setSize(size());
    // A picture the renderer asked for has been read (on a worker, queued to this thread).
    connect(&cad::Pictures::instance(), &cad::Pictures::ready, this, [this] {
        dirty_ = true;
        update();
    });
}

DrawingView::~DrawingView() = default;

std::optional<QColor> DrawingView::parseColor(const QString& raw) {
    const QString text = raw.trimmed();
    const QStringList parts = text.split(QLatin1Char(','));
    bool ok = false;
    if (parts.size() == 1) {
        const int index = text.toInt(&ok);
        if (ok && index >= 1 && index <= 255) return cad::indexColor(index);
        return std::nullopt;
    }
    if (parts.size() != 3) return std::nullopt;
    int rgb[3];
    for (int i = 0; i < 3; ++i) {
        rgb[i] = parts[i].trimmed().toInt(&ok);
        if (!ok || rgb[i] < 0 || rgb[i] > 255) return std::nullopt;
    }
    return QColor(rgb[0], rgb[1], rgb[2]);
}

void DrawingView::applySettings(const SettingsStore& store) {
    if (auto c = parseColor(store.read(setting::BkColor))) setBackground(*c);
    setCrossSize(settingNumber(store, setting::CrossSize, 1, 100, crossSize_));
    setPickSize(settingNumber(store, QStringLiteral("PickSize"), 1, 50, pickSize_));
    setGripSize(settingNumber(store, setting::GripSize, 1, 50, options_.gripSize));
    if (auto c = parseColor(store.read(setting::GripColor))) options_.gripColor = *c;
    if (auto c = parseColor(store.read(setting::OSnapColor))) osnapColor_ = *c;
    osnapSize_ = settingNumber(store, setting::OSnapSize, 2, 50, osnapSize_);
    options_.flatCaps = store.read(setting::PenCaps).trimmed() == QLatin1String("1");
    options_.curveResolution =
        settingNumber(store, setting::CurveResolution, 0, 10000, options_.curveResolution);
    dirty_ = true;
    bool ok = false;
    const double pt = store.read(setting::PtSize).trimmed().toDouble(&ok);
    if (ok && pt > 0) setPointSize(std::min(pt, 100.0));
    const QString reversed = store.read(setting::MwReversed).trimmed();
    if (!reversed.isEmpty()) setWheelReversed(reversed == QLatin1String("1"));
}

void DrawingView::setBackground(const QColor& color) {
    options_.background = color;
    dirty_ = true;
    update();
}

void DrawingView::setCrossSize(int percent) {
    crossSize_ = std::clamp(percent, 1, 100);
    update();
}

void DrawingView::setPickSize(int pixels) {
    pickSize_ = std::max(1, pixels);
    update();
}

void DrawingView::setGripSize(int pixels) {
    options_.gripSize = std::max(1, pixels);
    dirty_ = true;
    update();
}

void DrawingView::setPointSize(double pixels) {
    options_.pointSize = std::max(1.0, pixels);
    dirty_ = true;
    update();
}

void DrawingView::setSnapModes(unsigned modes) {
    snapModes_ = modes;
    updateSnap();
    update();
}

void DrawingView::aidsChanged() {
    dirty_ = true;
    updateSnap();
    update();
}

void DrawingView::setAutoGrips(bool on) {
    autoGrips_ = on;
    dirty_ = true;
    update();
}

bool DrawingView::paperShown() const {
    return space_ != &doc_.modelSpace();
}

void DrawingView::updateHighlight() {
    // The selection is drawn highlighted over the drawing: its outline, kept in world units.
    constexpr int kMostHighlighted = 2000;
    highlight_ = QPainterPath();
    if (options_.selected.size() > kMostHighlighted) return;
    for (const QString& h : options_.selected)
        if (const cad::Entity* e = doc_.find(h)) highlight_.addPath(cad::outlinePath(doc_, *e));
}

void DrawingView::setSelection(const QStringList& handles) {
    options_.selected = handles;
    updateHighlight();
    dirty_ = true;
    update();
}

QStringList DrawingView::chosen() const {
    return ui_.promptKind() == Ui::PromptKind::Selection ? ui_.promptPicked() : selection();
}

void DrawingView::setView(const cad::View& view) {
    view_ = view;
    view_.setSize(size());
    viewMoved();
}

void DrawingView::setPromptText(const QString& text) {
    promptText_ = text;
    if (text.isEmpty()) {
        corner_.reset();
        windowFrom_.reset();
    }
    updateSnap();
    updateHover();
    update();
}

void DrawingView::setSpace(cad::Space& space, const cad::SpatialIndex* index) {
    const bool another = space_->name.compare(space.name, Qt::CaseInsensitive) != 0;
    if (another) spaceViews_.insert(space_->name.toUpper(), view_);
    space_ = &space;
    external_ = index;
    own_.reset();
    if (!external_) {
        own_ = std::make_unique<cad::SpatialIndex>();
        own_->build(doc_, *space_);
    }
    if (another) {
        const auto kept = spaceViews_.constFind(space.name.toUpper());
        const bool first = kept == spaceViews_.constEnd();
        if (!first) {
            view_ = *kept;
            view_.setSize(size());
        } else {
            view_.zoomExtents(cad::spaceExtents(doc_, *space_, &this->index()), false);
        }
        viewMoved(first);
    }
    hovered_.clear();
    hoverPath_ = {};
    setSelection({});
    dirty_ = true;
    update();
}

void DrawingView::modelChanged() {
    if (own_) own_->build(doc_, *space_);
    updateHighlight();
    dirty_ = true;
    updateSnap();
    hovered_.clear();  // the entity may have changed or gone
    pickedShown_.clear();
    updateHover();
    update();
}

void DrawingView::viewMoved(bool fitted) {
    fitted_ = fitted;
    dirty_ = true;
    updateSnap();
    update();
    Q_EMIT viewChanged();
}

// ---- zoom commands ---------------------------------------------------------------------

void DrawingView::zoomIn() {
    view_.zoomAt(kZoomStep, QPointF(width() / 2.0, height() / 2.0));
    viewMoved();
}

void DrawingView::zoomOut() {
    view_.zoomAt(1.0 / kZoomStep, QPointF(width() / 2.0, height() / 2.0));
    viewMoved();
}

void DrawingView::zoomAbout(double factor, QPointF world) {
    view_.zoomAt(factor, view_.toDevice(world));
    viewMoved();
}

void DrawingView::panWorld(QPointF from, QPointF to) {
    view_.panWorld(from - to);
    viewMoved();
}

bool DrawingView::zoomWindow(QPointF a, QPointF b) {
    if (!view_.zoomWindow(cad::BBox::of(a, b))) return false;
    viewMoved();
    return true;
}

bool DrawingView::zoomExtents() {
    if (!view_.zoomExtents(cad::spaceExtents(doc_, *space_, &index()))) return false;
    viewMoved(true);
    return true;
}

bool DrawingView::zoomPrevious() {
    if (!view_.zoomPrevious()) return false;
    viewMoved();
    return true;
}

bool DrawingView::zoomAll() {
    if (!view_.zoomAll(cad::spaceExtents(doc_, *space_, &index()), limits_)) return false;
    viewMoved();
    return true;
}

void DrawingView::zoomToShow(const cad::BBox& box) {
    if (!box.isValid()) return;
    const double side = std::max(box.x1 - box.x0, box.y1 - box.y0);
    const double wanted = std::min(width(), height()) / 5.0;
    const double shown = view_.toDevice(side);
    // Only too small (or far too large) is changed; a readable block keeps the user's zoom.
    if (!(side > 0) || (shown >= wanted / 2 && shown <= wanted * 3)) return;
    view_.zoomAt(wanted / shown, QPointF(width() / 2.0, height() / 2.0));
    viewMoved();
}

void DrawingView::pan(QPointF pixels, bool record) {
    view_.panDevice(pixels, record);
    viewMoved();
}

cad::BBox DrawingView::extentsIfKnown() const {
    return index().ready() ? cad::spaceExtents(doc_, *space_, &index()) : cad::BBox{};
}

// ---- painting --------------------------------------------------------------------------

void DrawingView::renderCache() {
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize().expandedTo(QSize(1, 1));
    if (cache_.size() != pixels) cache_ = QImage(pixels, QImage::Format_RGB32);
    cache_.setDevicePixelRatio(1.0);
    // The renderer draws in device pixels: a view of the same world area at the cache's size.
    cad::View pixelView(pixels, view_.centre(), view_.scale() * ratio);
    {
        QPainter p(&cache_);
        cad::RenderOptions options = options_;
        if (!autoGrips_) options.selected.clear();
        if (paperShown()) {
            // A layout is drawn on a white sheet round what it holds, on a grey desk.
            cache_.fill(QColor(128, 128, 128));
            cad::BBox sheet = cad::spaceExtents(doc_, *space_, &index());
            if (!sheet.isValid()) sheet = cad::BBox{0, 0, 420, 297};
            sheet = sheet.expanded(0.03 * std::max(sheet.x1 - sheet.x0, sheet.y1 - sheet.y0));
            const QRectF page(pixelView.toDevice({sheet.x0, sheet.y1}),
                              pixelView.toDevice({sheet.x1, sheet.y0}));
            p.fillRect(page.translated(4, 4), QColor(80, 80, 80));
            p.fillRect(page, Qt::white);
            options.background = Qt::white;
        } else {
            cache_.fill(options_.background);
        }
        if (doc_.settings().gridMode) paintGrid(p, pixelView);
        cad::renderSpace(p, doc_, *space_, pixelView, options, &index());
    }
    cache_.setDevicePixelRatio(ratio);
    dirty_ = false;
    ++renderCount_;
}

// The grid: a dot at every multiple of the grid spacing, under the drawing. Where the dots
// would crowd closer than a few pixels, every second (fourth, ...) one is shown.
void DrawingView::paintGrid(QPainter& p, const cad::View& pixelView) const {
    constexpr double kLeastPixels = 8.0;
    constexpr qint64 kMostDots = 400000;
    QPointF step = doc_.settings().gridSpacing;
    if (!(step.x() > 0) || !(step.y() > 0)) return;
    while (pixelView.toDevice(step.x()) < kLeastPixels) step.rx() *= 2;
    while (pixelView.toDevice(step.y()) < kLeastPixels) step.ry() *= 2;
    const QPointF low = pixelView.toWorld(QPointF(0, pixelView.size().height()));
    const QPointF high = pixelView.toWorld(QPointF(pixelView.size().width(), 0));
    const double x0 = std::ceil(low.x() / step.x()), x1 = std::floor(high.x() / step.x());
    const double y0 = std::ceil(low.y() / step.y()), y1 = std::floor(high.y() / step.y());
    if (!(x1 >= x0) || !(y1 >= y0) || (x1 - x0 + 1) * (y1 - y0 + 1) > double(kMostDots)) return;
    QList<QPointF> dots;
    dots.reserve(qsizetype((x1 - x0 + 1) * (y1 - y0 + 1)));
    for (double i = x0; i <= x1; ++i)
        for (double j = y0; j <= y1; ++j)
            dots << pixelView.toDevice(QPointF(i * step.x(), j * step.y()));
    const QColor ink = cad::contrastColor(paperShown() ? QColor(Qt::white) : options_.background);
    p.setPen(QPen(QColor::fromRgbF(ink.redF(), ink.greenF(), ink.blueF(), 0.45), 1.0));
    p.drawPoints(dots.constData(), int(dots.size()));
}

QPointF DrawingView::answerPoint(QPointF device) {
    if (snap_.found()) return snap_.point;
    QPointF world = view_.toWorld(device);
    const cad::DrawingSettings& aids = doc_.settings();
    if (aids.snapMode) world = cad::snapToSpacing(world, aids.snapSpacing);
    const std::optional<QPointF> base =
        grips_.active() ? std::optional<QPointF>(grips_.origin()) : ui_.promptBase();
    if (ortho() && base) {
        const QPointF d = world - *base;
        world = std::abs(d.x()) >= std::abs(d.y()) ? QPointF(world.x(), base->y())
                                                   : QPointF(base->x(), world.y());
    }
    return world;
}

void DrawingView::paintEvent(QPaintEvent*) {
    open_timing::reached("paint");
    dropStaleWindow();
    if (dirty_ || cache_.isNull()) renderCache();
    open_timing::reached("rendered");
    if (!index().ready() && !indexQueued_) {
        // The drawing is on screen: the index it waited without starts building on another
        // thread as soon as this paint is out, and is taken in when done.
        indexQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            index().startBuilding();
            if (index().ready()) {  // a small drawing, indexed at once
                indexQueued_ = false;
                open_timing::indexed();
                Q_EMIT indexReady();
                return;
            }
            auto* poll = new QTimer(this);
            connect(poll, &QTimer::timeout, this, [this, poll] {
                if (!index().readyWithin(kIndexTurn)) return;
                poll->stop();
                poll->deleteLater();
                indexQueued_ = false;
                open_timing::indexed();
                updateSnap();
                updateHover();
                Q_EMIT indexReady();
            });
            poll->start(0);
        });
    }
    QPainter p(this);
    if (!panOffset_.isNull())
        p.fillRect(rect(), paperShown() ? QColor(128, 128, 128) : options_.background);
    p.drawImage(panOffset_, cache_);

    const QColor ink = cad::contrastColor(paperShown() ? QColor(Qt::white) : options_.background);
    const Ui::PromptKind kind = ui_.promptKind();
    paintHighlights(p);
    if (cursor_ && !panFrom_) {
        const QPointF c = *cursor_;
        // Rubber band of a selection window: solid for a window, dashed for a crossing.
        const bool dragging = pressedAt_ && kind == Ui::PromptKind::None;
        if ((corner_ && kind == Ui::PromptKind::Selection) || dragging) {
            const QPointF first = dragging ? *pressedAt_ : view_.toDevice(*corner_);
            const bool crossing = c.x() < first.x();
            QPen band(crossing ? QColor(0, 200, 0) : QColor(60, 120, 255));
            band.setStyle(crossing ? Qt::DashLine : Qt::SolidLine);
            p.setPen(band);
            QColor fill = band.color();
            fill.setAlpha(40);
            p.setBrush(fill);
            p.drawRect(QRectF(first, c).normalized());
            p.setBrush(Qt::NoBrush);
        }
        p.setPen(ink);
        const double hx = width() * crossSize_ / 200.0, hy = height() * crossSize_ / 200.0;
        p.drawLine(QPointF(c.x() - hx, c.y()), QPointF(c.x() + hx, c.y()));
        p.drawLine(QPointF(c.x(), c.y() - hy), QPointF(c.x(), c.y() + hy));
        if (kind == Ui::PromptKind::Entity || (kind == Ui::PromptKind::Selection && !corner_)) {
            p.drawRect(QRectF(c.x() - pickSize_, c.y() - pickSize_, 2 * pickSize_, 2 * pickSize_));
        }
        // Rubber band of a point drawn from a base point: the entity as it would be drawn
        // (or moved), else a line from the base point. Drawn over the cached drawing, so a
        // frame costs the preview alone.
        if (kind == Ui::PromptKind::Point && (ui_.promptBase() || ui_.promptPreview())) {
            QPen band(ink);
            band.setStyle(Qt::DashLine);
            band.setCosmetic(true);
            p.setPen(band);
            if (const Ui::Preview& preview = ui_.promptPreview())
                p.drawPath(view_.transform().map(preview(answerPoint(c))));
            else
                p.drawLine(view_.toDevice(*ui_.promptBase()), view_.toDevice(answerPoint(c)));
            p.setPen(ink);
        }
        // Rubber band of a grip drag: the entity as it would be, and the way the grip goes.
        if (grips_.active()) {
            QPen band(ink);
            band.setStyle(Qt::DashLine);
            band.setCosmetic(true);
            p.setPen(band);
            p.drawPath(view_.transform().map(grips_.preview(doc_, answerPoint(c))));
            p.setPen(ink);
        }
        if (snap_.found()) paintSnapMarker(p, view_.toDevice(snap_.point), snap_.mode);
    }
    if (!promptText_.isEmpty()) {
        p.setPen(ink);
        const QRect box = rect().adjusted(6, 6, -6, -6);
        p.drawText(box, Qt::AlignLeft | Qt::AlignBottom, promptText_);
    }
    open_timing::painted();
}

// A marker shape of its own for each snap mode.
void DrawingView::paintSnapMarker(QPainter& p, QPointF at, unsigned mode) const {
    const double s = osnapSize_;
    QPen pen(osnapColor_, 2);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QRectF box(at.x() - s, at.y() - s, 2 * s, 2 * s);
    auto cross = [&] {
        p.drawLine(box.topLeft(), box.bottomRight());
        p.drawLine(box.topRight(), box.bottomLeft());
    };
    switch (mode) {
        case cad::SnapEndPoint:
            p.drawRect(box);
            break;
        case cad::SnapMidPoint:
            p.drawPolygon(
                QPolygonF({QPointF(at.x(), at.y() - s), box.bottomRight(), box.bottomLeft()}));
            break;
        case cad::SnapCenter:
            p.drawEllipse(at, s, s);
            break;
        case cad::SnapInsert:
            p.drawRect(box);
            p.drawRect(box.adjusted(s / 2, s / 2, -s / 2, -s / 2));
            break;
        case cad::SnapPerp:
            p.drawPolyline(QPolygonF({box.topLeft(), box.bottomLeft(), box.bottomRight()}));
            p.drawPolyline(
                QPolygonF({QPointF(box.left(), at.y()), at, QPointF(at.x(), box.bottom())}));
            break;
        case cad::SnapNearest:
            p.drawPolygon(
                QPolygonF({box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight()}));
            break;
        case cad::SnapNode:
            p.drawEllipse(at, s, s);
            cross();
            break;
        case cad::SnapQuadrant:
            p.drawPolygon(QPolygonF({QPointF(at.x(), box.top()), QPointF(box.right(), at.y()),
                                     QPointF(at.x(), box.bottom()), QPointF(box.left(), at.y())}));
            break;
        case cad::SnapTangent:
            p.drawEllipse(at, s * 0.7, s * 0.7);
            p.drawLine(box.topLeft(), box.topRight());
            break;
        case cad::SnapAppInt:
            cross();
            p.drawRect(box);
            break;
        default:  // intersection
            cross();
            break;
    }
}

void DrawingView::resizeEvent(QResizeEvent*) {
    view_.setSize(size());
    // A view fitted to the drawing stays fitted while the window finds its size (opened,
    // maximised, tiled), until the user zooms or pans.
    if (fitted_) view_.zoomExtents(cad::spaceExtents(doc_, *space_, &index()), false);
    dirty_ = true;
}

// ---- mouse and keys --------------------------------------------------------------------

void DrawingView::updateSnap() {
    snap_ = {};
    // The drawing's snaps and those the waiting prompt brings.
    const unsigned modes = snapModes_ | ui_.promptSnap();
    const bool pointWanted = ui_.promptKind() == Ui::PromptKind::Point || grips_.active();
    if (!cursor_ || !modes || !pointWanted) return;
    const double aperture = 3.0 * pickAperture();
    const std::optional<QPointF> base =
        grips_.active() ? std::optional<QPointF>(grips_.origin()) : lastPoint_;
    // No snap is offered while the index is still being built (it is ready within moments).
    if (!index().readyWithin(kIndexWait)) return;
    snap_ = cad::objectSnap(doc_, *space_, index(), modes, view_.toWorld(*cursor_), aperture, base);
}

void DrawingView::mousePressEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    if (event->button() == Qt::MiddleButton) {
        panFrom_ = at;
        panOffset_ = {};
        return;
    }
    // The right button ends a selection prompt, as Enter does; elsewhere it opens the context
    // menu (whose Enter ends a list of points).
    if (event->button() == Qt::RightButton && ui_.promptKind() == Ui::PromptKind::Selection) {
        corner_.reset();
        windowFrom_.reset();
        ui_.submitEnd();
        return;
    }
    if (event->button() == Qt::RightButton) {
        Q_EMIT contextMenuAsked(view_.toWorld(at), event->globalPosition().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    const QPointF world = view_.toWorld(at);
    switch (ui_.promptKind()) {
        case Ui::PromptKind::Point:
        case Ui::PromptKind::Entity: {
            cursor_ = at;
            updateSnap();
            const QPointF answer = ui_.promptKind() == Ui::PromptKind::Point ? answerPoint(at)
                                   : snap_.found()                           ? snap_.point
                                                                             : world;
            lastPoint_ = answer;
            snap_ = {};
            ui_.submitPoint(answer);
            break;
        }
        case Ui::PromptKind::Selection:
            selectionPress(at, event->modifiers());
            break;
        case Ui::PromptKind::None:
            // With nothing asked, a press on a grip of the selection takes hold of it;
            // elsewhere the left button chooses: a click, or a drag (released).
            // A script's clicks find grips within its fixed aperture, as they find entities.
            if (autoGrips_ &&
                grips_.press(
                    doc_, options_.selected, world,
                    fixedAperture_ ? *fixedAperture_ : view_.toWorld(options_.gripSize + 2.0))) {
                cursor_ = at;
                updateSnap();
                break;
            }
            pressedAt_ = at;
            break;
    }
    update();
}

void DrawingView::mouseMoveEvent(QMouseEvent* event) {
    cursor_ = event->position();
    if (panFrom_) {
        panOffset_ = *cursor_ - *panFrom_;
    } else {
        updateSnap();
        updateHover();
    }
    Q_EMIT cursorMoved(view_.toWorld(*cursor_ - panOffset_));
    update();
}

void DrawingView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && grips_.active()) {
        cursor_ = event->position();
        updateSnap();
        const QPointF from = view_.toDevice(grips_.origin());
        const std::optional<GripDrag::Move> move = grips_.release(answerPoint(*cursor_));
        snap_ = {};
        update();
        // Pressed and let go on the grip: nothing moves.
        constexpr double kDragPixels = 4.0;
        if (move && QLineF(from, event->position()).length() >= kDragPixels)
            Q_EMIT gripMoved(move->handle, move->grip, move->to);
        return;
    }
    if (event->button() == Qt::LeftButton && windowFrom_ &&
        selectionRelease(event->position(), event->modifiers()))
        return;
    if (event->button() == Qt::LeftButton && pressedAt_) {
        chooseWithMouse(*pressedAt_, event->position(), event->modifiers());
        pressedAt_.reset();
        update();
        return;
    }
    if (event->button() != Qt::MiddleButton || !panFrom_) return;
    const QPointF moved = event->position() - *panFrom_;
    panFrom_.reset();
    panOffset_ = {};
    if (!moved.isNull()) {
        view_.panDevice(moved);
        viewMoved();
    } else {
        update();
    }
}

void DrawingView::chooseWithMouse(QPointF from, QPointF to, Qt::KeyboardModifiers modifiers) {
    QStringList chosen;
    if (!dragged(from, to)) {
        if (const QString hit = pickAt(to); !hit.isEmpty()) chosen << hit;
    } else {
        // Dragged to the right: what lies wholly inside; to the left: whatever it touches.
        const cad::BBox box = cad::BBox::of(view_.toWorld(from), view_.toWorld(to));
        const std::vector<QString> hits = to.x() < from.x()
                                              ? cad::crossingSelect(doc_, *space_, index(), box)
                                              : cad::windowSelect(doc_, *space_, index(), box);
        for (const QString& h : hits) chosen << h;
    }
    // Shift adds to what is selected.
    if (modifiers & Qt::ShiftModifier) {
        QStringList added = options_.selected;
        for (const QString& h : chosen)
            if (!added.contains(h)) added << h;
        chosen = added;
    }
    setSelection(chosen);
    Q_EMIT selectionChosen(chosen);
}

void DrawingView::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta == 0) return;
    double notches = delta / 120.0;
    if (wheelReversed_) notches = -notches;
    view_.zoomAt(std::pow(kWheelStep, notches), event->position());
    viewMoved();
    event->accept();
}

void DrawingView::keyPressEvent(QKeyEvent* event) {
    // Escape cancels a waiting prompt here; otherwise it goes on to the drawing window.
    // Escape lets go of a grip being dragged, leaving the entity as it was.
    if (event->key() == Qt::Key_Escape && grips_.active()) {
        grips_.cancel();
        snap_ = {};
        update();
        return;
    }
    if (event->key() == Qt::Key_Escape && (ui_.promptWaiting() || corner_)) {
        corner_.reset();
        windowFrom_.reset();
        ui_.cancelPrompt();
        update();
        return;
    }
    QWidget::keyPressEvent(event);
}

// Entities with a tooltip show it when the pointer rests on them.
bool DrawingView::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const QPointF at = view_.toWorld(help->pos());
    const cad::PickResult hit = searchable()
                                    ? cad::pointSearch(doc_, *space_, index(), at, pickAperture())
                                    : cad::pointSearch(doc_, *space_, at, pickAperture());
    const cad::Entity* e =
        hit.found() ? doc_.find(hit.isAttribute() ? hit.insertHandle : hit.handle) : nullptr;
    if (e && !e->tooltip.isEmpty())
        QToolTip::showText(help->globalPos(), e->tooltip, this);
    else
        QToolTip::hideText();
    return true;
}

void DrawingView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !ui_.promptWaiting()) {
        Q_EMIT doubleClicked(view_.toWorld(event->position()));
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

// The drawing takes the keyboard when the cursor comes over it, so keys typed with the hands
// on the drawing reach it (and through it the command line), unless a text is being edited
// elsewhere (the command box among them), which keeps its keys.
void DrawingView::enterEvent(QEnterEvent* event) {
    QWidget* focus = QApplication::focusWidget();
    const bool editing =
        focus && (qobject_cast<QLineEdit*>(focus) || qobject_cast<QAbstractSpinBox*>(focus) ||
                  qobject_cast<QTextEdit*>(focus) || qobject_cast<QPlainTextEdit*>(focus));
    if (!editing && isActiveWindow()) setFocus(Qt::MouseFocusReason);
    QWidget::enterEvent(event);
}

void DrawingView::leaveEvent(QEvent*) {
    cursor_.reset();
    snap_ = {};
    updateHover();
    update();
}

// ---- picking and hover -----------------------------------------------------------------

// Whether a pick goes through the index: ready within a moment, or searchable while the
// build packs it.
bool DrawingView::searchable() const {
    return index().readyWithin(kPickWait) || index().searchableNow();
}

double DrawingView::pickAperture() const {
    return fixedAperture_ ? *fixedAperture_ : view_.toWorld(double(pickSize_));
}

QString DrawingView::pickAt(QPointF device) const {
    const Ui::PromptKind kind = ui_.promptKind();
    if (kind == Ui::PromptKind::Point) return {};
    const QPointF at = view_.toWorld(device);
    const cad::PickFilter wanted = ui_.promptWanted();
    cad::PickResult hit;
    if (searchable()) {
        hit = cad::pickPreferring(doc_, *space_, index(), at, pickAperture(), wanted);
    } else {
        // The index is still being taken in: the space is searched whole instead.
        if (wanted) hit = cad::pointSearch(doc_, *space_, at, pickAperture(), wanted);
        if (!hit.found()) hit = cad::pointSearch(doc_, *space_, at, pickAperture());
    }
    return hit.isAttribute() ? hit.insertHandle : hit.handle;
}

void DrawingView::updateHover() {
    // Nothing is picked while a window is spanned or the view dragged; an index still to be
    // built is not built for the hover's sake (it is, right after the first paint).
    dropStaleWindow();
    QString now;
    if (cursor_ && !panFrom_ && !pressedAt_ && !corner_ && index().ready()) now = pickAt(*cursor_);
    if (now == hovered_) return;
    hovered_ = now;
    hoverPath_ = QPainterPath();
    if (const cad::Entity* e = now.isEmpty() ? nullptr : doc_.find(now))
        hoverPath_ = cad::outlinePath(doc_, *e);
    update();
}

void DrawingView::dropStaleWindow() {
    if (corner_ &&
        (windowPrompt_ != ui_.promptNumber() || ui_.promptKind() != Ui::PromptKind::Selection)) {
        corner_.reset();
        windowFrom_.reset();
    }
}

bool DrawingView::dragged(QPointF from, QPointF to) const {
    if (fixedAperture_)
        return QLineF(view_.toWorld(from), view_.toWorld(to)).length() > *fixedAperture_;
    return QLineF(from, to).length() >= kDragPixels;
}

void DrawingView::selectionPress(QPointF device, Qt::KeyboardModifiers modifiers) {
    dropStaleWindow();
    if (corner_) {
        finishWindow(device, modifiers);
        return;
    }
    if (const QString hit = pickAt(device); !hit.isEmpty()) {
        SelectionAnswer one;
        one.handles << hit;
        ui_.pickMore(one, modifiers.testFlag(Qt::ShiftModifier));
        return;
    }
    corner_ = view_.toWorld(device);
    windowFrom_ = device;
    windowPrompt_ = ui_.promptNumber();
    updateHover();
}

bool DrawingView::selectionRelease(QPointF device, Qt::KeyboardModifiers modifiers) {
    const QPointF from = *windowFrom_;
    windowFrom_.reset();
    // Released where it was pressed: a click, and the window waits for its second corner.
    if (!corner_ || !dragged(from, device)) return false;
    finishWindow(device, modifiers);
    return true;
}

void DrawingView::finishWindow(QPointF device, Qt::KeyboardModifiers modifiers) {
    const QPointF world = view_.toWorld(device);
    SelectionAnswer more;
    more.window = QRectF(*corner_, world).normalized();
    more.crossing = world.x() < corner_->x();
    corner_.reset();
    windowFrom_.reset();
    // Left to right: what lies wholly inside; right to left: whatever it touches. Of the kind
    // the prompt wants, when it wants one.
    const cad::BBox area = cad::BBox::of(more.window->topLeft(), more.window->bottomRight());
    const std::vector<QString> hits = more.crossing
                                          ? cad::crossingSelect(doc_, *space_, index(), area)
                                          : cad::windowSelect(doc_, *space_, index(), area);
    const Ui::Wanted& wanted = ui_.promptWanted();
    for (const QString& h : hits) {
        const cad::Entity* e = wanted ? doc_.find(h) : nullptr;
        if (!wanted || (e && wanted(*e))) more.handles << h;
    }
    ui_.pickMore(more, modifiers.testFlag(Qt::ShiftModifier));
    updateHover();
}

void DrawingView::paintHighlights(QPainter& p) {
    // The picks of a waiting selection prompt are outlined as they grow; a long list is not
    // (as the selection is not), the count on the command line says enough then.
    constexpr int kMostHighlighted = 2000;
    const QStringList& picked = ui_.promptPicked();
    if (picked != pickedShown_) {
        pickedShown_ = picked;
        pickedPath_ = QPainterPath();
        if (picked.size() <= kMostHighlighted)
            for (const QString& h : picked)
                if (const cad::Entity* e = doc_.find(h))
                    pickedPath_.addPath(cad::outlinePath(doc_, *e));
    }
    QPen glow(QColor(255, 170, 0));
    glow.setWidthF(2.0);
    glow.setCosmetic(true);
    p.setPen(glow);
    p.setBrush(Qt::NoBrush);
    const QTransform t = view_.transform();
    if (!highlight_.isEmpty()) p.drawPath(t.map(highlight_));
    if (!pickedPath_.isEmpty()) p.drawPath(t.map(pickedPath_));
    if (!hoverPath_.isEmpty()) {
        // Under the cursor: the same glow, wider and half see-through over what it covers.
        QColor c = glow.color();
        c.setAlpha(150);
        glow.setColor(c);
        glow.setWidthF(4.0);
        p.setPen(glow);
        p.drawPath(t.map(hoverPath_));
    }
}

}  // namespace tolvane
