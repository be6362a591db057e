#include "app/drawing/drawing_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QTabBar>
#include <QVBoxLayout>

#include "app/drawing/drawing_view.h"
#include "app/drawing/view_scroll_bars.h"
#include "drawings/block_insert.h"
#include "drawings/properties.h"
#include "shell/settings_store.h"
#include "ui/ui.h"

namespace tolvane {

void DrawingWindow::applySettings(const SettingsStore& settings) {
    view_->applySettings(settings);
    applyDrawingSettings(*drawing_, settings);
    if (scrollBars_) scrollBars_->setShown(settings.read(setting::ScrollBars).trimmed().toInt());
}

DrawingWindow::DrawingWindow(std::unique_ptr<Drawing> drawing, int index, Ui& ui,
                             SettingsStore& settings, QWidget* parent)
    : QWidget(parent), drawing_(std::move(drawing)), index_(index), ui_(ui) {
    setObjectName(QStringLiteral("frmDrawing%1").arg(index));
    setProperty("tolvaneKind", QStringLiteral("drawing"));
    setAttribute(Qt::WA_DeleteOnClose);
    Drawing& d = *drawing_;
    view_ = new DrawingView(d.document(), d.space(), ui, &d.index(), this);
    view_->setObjectName(QStringLiteral("vdDraw"));
    auto* horizontal = new QScrollBar(Qt::Horizontal, this);
    horizontal->setObjectName(QStringLiteral("hsbDraw"));
    auto* vertical = new QScrollBar(Qt::Vertical, this);
    vertical->setObjectName(QStringLiteral("vsbDraw"));
    // The bars take no focus: keys typed over the drawing stay the command line's.
    horizontal->setFocusPolicy(Qt::NoFocus);
    vertical->setFocusPolicy(Qt::NoFocus);
    scrollBars_ = new ViewScrollBars(*view_, horizontal, vertical);
    applySettings(settings);
    tabs_ = new QTabBar(this);
    tabs_->setObjectName(QStringLiteral("tabLayouts"));
    tabs_->setShape(QTabBar::RoundedSouth);
    insertList_ = new QComboBox(this);
    insertList_->setObjectName(QStringLiteral("cboInsert"));
    insertList_->setToolTip(tr("Insert a block of this drawing"));
    insertList_->setPlaceholderText(tr("Insert Block"));
    insertList_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* drawingArea = new QGridLayout;
    drawingArea->setContentsMargins(0, 0, 0, 0);
    drawingArea->setSpacing(0);
    drawingArea->addWidget(view_, 0, 0);
    drawingArea->addWidget(vertical, 0, 1);
    drawingArea->addWidget(horizontal, 1, 0);
    layout->addLayout(drawingArea, 1);
    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->addWidget(tabs_, 1);
    bottom->addWidget(insertList_);
    layout->addLayout(bottom);
    setLayoutTabs();
    loadInsertCbo();
    connect(&d, &Drawing::blocksChanged, this, &DrawingWindow::loadInsertCbo);
    // The list shows no choice between inserts, so the same block can be chosen again.
    connect(insertList_, &QComboBox::activated, this, [this](int i) {
        const QString block = insertList_->itemText(i);
        insertList_->setCurrentIndex(-1);
        if (insertBlock && !block.isEmpty()) insertBlock(block);
    });
    connect(tabs_, &QTabBar::currentChanged, this, &DrawingWindow::showSpace);
    connect(&d, &Drawing::contentChanged, view_, &DrawingView::modelChanged);
    connect(&d, &Drawing::contentChanged, scrollBars_, &ViewScrollBars::follow);
    connect(&d, &Drawing::titleChanged, this, &DrawingWindow::updateTitle);
    connect(&d, &Drawing::spaceChanged, this, [this] {
        view_->setSpace(drawing_->space(), &drawing_->index());
        scrollBars_->follow();
        setLayoutTabs();
    });
    updateTitle();
    setFocusProxy(view_);
    resize(900, 600);
}

DrawingWindow::~DrawingWindow() = default;

void DrawingWindow::updateTitle() {
    setWindowTitle(drawing_->title());
    // Scripts name a drawing window by its file ("window rack.dxf"), an untitled one by its
    // name ("window Drawing1").
    setProperty("tolvaneFile", drawing_->untitled() ? drawing_->untitledName() : drawing_->path());
}

void DrawingWindow::setLayoutTabs() {
    const QSignalBlocker quiet(tabs_);
    while (tabs_->count() > 0) tabs_->removeTab(0);
    const cad::Document& doc = drawing_->document();
    tabs_->addTab(QStringLiteral("Model"));
    tabs_->setTabData(0, QStringLiteral("layModel"));
    for (const cad::Space& s : doc.layouts()) {
        const int i = tabs_->addTab(s.name);
        tabs_->setTabData(i, QStringLiteral("lay") + s.name);
    }
    const QString shown = drawing_->space().name;
    for (int i = 0; i < tabs_->count(); ++i) {
        if (tabs_->tabText(i).compare(shown, Qt::CaseInsensitive) == 0) tabs_->setCurrentIndex(i);
    }
}

void DrawingWindow::loadInsertCbo() {
    const QSignalBlocker quiet(insertList_);
    insertList_->clear();
    insertList_->addItems(insertableBlocks(drawing_->document()));
    insertList_->setCurrentIndex(-1);
}

void DrawingWindow::showSpace(int tab) {
    if (tab < 0) return;
    drawing_->setSpace(tab == 0 ? drawing_->document().modelSpace().name : tabs_->tabText(tab));
}

double DrawingWindow::pickAperture() const {
    return view_->pickAperture();
}

void DrawingWindow::setLastCommand(const QString& caption, const QString& key) {
    setProperty("lastCaption", caption);
    setProperty("lastCommand", key);
}

bool DrawingWindow::busy() const {
    return busy_ || ui_.promptWaiting();
}

void DrawingWindow::closeEvent(QCloseEvent* event) {
    if (busy()) {
        ui_.message(QStringLiteral("You have open jobs pending. Please cancel."), MsgButtons::Ok,
                    MsgIcon::Warning);
        event->ignore();
        return;
    }
    if (closing && !closing(*this)) {
        event->ignore();
        return;
    }
    event->accept();
    // Closed from inside (a script's close), the frame goes with it; closed by the frame's
    // close box or Close Drawing, the frame is closing already.
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) frame->close();
}

void DrawingWindow::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool keypad = mods & Qt::KeypadModifier;
    const bool shift = mods & Qt::ShiftModifier;
    if (logKey) logKey(QStringLiteral("keyCatcher: %1 Shift: %2").arg(key).arg(shift ? 1 : 0));
    // Ctrl+S, Ctrl+Z, ... are the main window's shortcuts: they act on the active drawing
    // whatever has the focus.
    if (key == Qt::Key_Escape) {
        if (escape) escape(*this);
        return;
    }
    if (key == Qt::Key_Delete) {
        if (deleteSelection) deleteSelection(*this);
        return;
    }
    static const QHash<int, DrawingAid> aids = {{Qt::Key_F3, DrawingAid::OSnap},
                                                {Qt::Key_F7, DrawingAid::Grid},
                                                {Qt::Key_F8, DrawingAid::Ortho},
                                                {Qt::Key_F9, DrawingAid::Snap}};
    if (const auto aid = aids.constFind(key);
        aid != aids.constEnd() && !(mods & ~Qt::KeypadModifier)) {
        if (toggleAid) toggleAid(*aid);
        return;
    }
    // Enter answers the waiting prompt from the command line (it ends a list of points).
    if ((key == Qt::Key_Enter || key == Qt::Key_Return) && typeEnter) {
        typeEnter();
        return;
    }
    // Keypad keys (and the full stop) type into the command line.
    if ((keypad && !shift) || key == Qt::Key_Period) {
        if ((key == Qt::Key_Enter || key == Qt::Key_Return) && typeEnter) {
            typeEnter();
            return;
        }
        QChar c;
        if (key >= Qt::Key_0 && key <= Qt::Key_9) c = QChar(u'0' + (key - Qt::Key_0));
        if (key == Qt::Key_Asterisk) c = u'*';
        if (key == Qt::Key_Plus) c = u'+';
        if (key == Qt::Key_Minus) c = u'-';
        if (key == Qt::Key_Period || key == Qt::Key_Comma) c = u'.';
        if (key == Qt::Key_Slash) c = u'\\';
        if (!c.isNull() && typeChar) {
            typeChar(c);
            return;
        }
    }
    // Printable keys (and Backspace) typed over the drawing go to the command line, so an
    // alias typed with the hands on the drawing runs as if typed in the box.
    const QString text = event->text();
    const bool plain = !(mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (plain && typeChar && text.size() == 1 && (text[0].isPrint() || key == Qt::Key_Backspace)) {
        typeChar(key == Qt::Key_Backspace ? QChar(u'\b') : text[0]);
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace tolvane
