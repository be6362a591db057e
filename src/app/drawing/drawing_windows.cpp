#include "app/drawing/drawing_windows.h"

#include <QDir>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScopeGuard>

#include "app/drawing/command_windows.h"
#include "app/drawing/drawing_view.h"
#include "app/drawing/drawing_window.h"
#include "app/drawing/insert_block_dialog.h"
#include "app/drawing/layers_window.h"
#include "app/drawing/open_timing.h"
#include "app/drawing/style_windows.h"
#include "app/shell/widget_helpers.h"
#include "cad/cad_error.h"
#include "cad/geometry.h"
#include "cad/picking.h"
#include "cad/render.h"
#include "db/database.h"
#include "db/preferences.h"
#include "db/records/jackfields.h"
#include "drawings/clipboard.h"
#include "drawings/command_router.h"
#include "drawings/deletion.h"
#include "drawings/draw_commands.h"
#include "drawings/entity_tag.h"
#include "equipment/equipment_placement.h"
#include "front/qt_ui.h"
#include "shell/app_folder.h"
#include "shell/command_table.h"
#include "shell/event_log.h"
#include "shell/run_state.h"
#include "shell/settings_store.h"
#include "ui/ui.h"
#include "wiring/grip_edit.h"

namespace tolvane {

DrawingWindows::DrawingWindows(Services services, QObject* parent)
    : QObject(parent),
      s_(std::move(services)),
      registry_(s_.run, s_.ui, s_.registry),
      files_(s_.run, s_.ui, registry_, &s_.settings),
      events_(s_.ui, s_.settings, s_.router, s_.tips,
              [this] { return !db::JackfieldTable(s_.registry).isEmpty(); }) {
    // The running object snaps as the user left them; none kept: end point, insertion point
    // and nearest (which catches the pins of blocks), on.
    bool ok = false;
    const unsigned modes = s_.settings.read(setting::OSnapModes).trimmed().toUInt(&ok);
    snapModes_ = ok ? modes & kAllSnapModes
                    : unsigned(cad::SnapEndPoint | cad::SnapInsert | cad::SnapNearest);
    osnapOn_ = s_.settings.read(setting::OSnapOn).trimmed() != QLatin1String("0");
    // Title blocks show the project's name and the drawings' rows: they follow a change of
    // either, once the statement that made it is done.
    connect(
        &db::TableChanges::instance(), &db::TableChanges::changed, this,
        [this](db::DbId id, const QString& table) {
            const bool drawings =
                id == db::DbId::Project &&
                table.compare(QLatin1String("tblDrawings"), Qt::CaseInsensitive) == 0;
            const bool projects = id == db::DbId::PM && table.compare(QLatin1String("tblProjects"),
                                                                      Qt::CaseInsensitive) == 0;
            if (drawings || projects) refreshTitles();
        },
        Qt::QueuedConnection);
}

void DrawingWindows::refreshTitles() {
    // A title block that cannot be read now keeps what it showed; it is filled again on the
    // next change and on every save.
    try {
        for (DrawingWindow* w : windows_) files_.fillTitle(w->drawing());
    } catch (const std::exception& e) {
        if (s_.log.enabled())
            s_.log.log(QStringLiteral("Title blocks not refreshed: ") +
                       QString::fromLocal8Bit(e.what()));
    }
}

DrawingWindows::~DrawingWindows() = default;

void DrawingWindows::setSnapModes(unsigned modes) {
    snapModes_ = modes & kAllSnapModes;
    s_.settings.write(setting::OSnapModes, QString::number(snapModes_));
    for (DrawingWindow* w : windows_) w->view().setSnapModes(osnapOn_ ? snapModes_ : 0);
}

bool DrawingWindows::aidOn(DrawingWindow* window, DrawingAid aid) const {
    if (aid == DrawingAid::OSnap) return osnapOn_;
    if (!window) return false;
    const cad::DrawingSettings& set = window->drawing().document().settings();
    return aid == DrawingAid::Snap   ? set.snapMode
           : aid == DrawingAid::Grid ? set.gridMode
                                     : set.orthoMode;
}

void DrawingWindows::toggleAid(DrawingWindow* window, DrawingAid aid) {
    const bool on = !aidOn(window, aid);
    QString name;
    if (aid == DrawingAid::OSnap) {
        osnapOn_ = on;
        s_.settings.write(setting::OSnapOn, on ? QStringLiteral("1") : QStringLiteral("0"));
        for (DrawingWindow* w : windows_) w->view().setSnapModes(osnapOn_ ? snapModes_ : 0);
        name = tr("Osnap");
    } else {
        // Snap, grid and ortho are the drawing's own, kept with it.
        if (!window) return;
        cad::DrawingSettings& set = window->drawing().document().settings();
        (aid == DrawingAid::Snap   ? set.snapMode
         : aid == DrawingAid::Grid ? set.gridMode
                                   : set.orthoMode) = on;
        window->view().aidsChanged();
        name = aid == DrawingAid::Snap   ? tr("Snap")
               : aid == DrawingAid::Grid ? tr("Grid")
                                         : tr("Ortho");
    }
    s_.ui.status(name + (on ? tr(" on") : tr(" off")));
    Q_EMIT aidsChanged();
}

void DrawingWindows::setAutoGrips(bool on) {
    autoGrips_ = on;
    for (DrawingWindow* w : windows_) w->view().setAutoGrips(on);
}

double DrawingWindows::pickAperture(DrawingWindow& window) const {
    return window.pickAperture();
}

QList<DrawingWindow*> DrawingWindows::windows() const {
    return windows_;
}

QList<int> DrawingWindows::indexes() const {
    QList<int> out;
    for (const DrawingWindow* w : windows_) out << w->index();
    std::sort(out.begin(), out.end());
    return out;
}

int DrawingWindows::freeIndex() const {
    const QList<int> taken = indexes();
    int i = 1;
    while (taken.contains(i)) ++i;
    return i;
}

DrawingWindow* DrawingWindows::active() const {
    QMdiSubWindow* sub = s_.mdi.activeSubWindow();
    if (!sub) sub = s_.mdi.currentSubWindow();
    auto* w = sub ? qobject_cast<DrawingWindow*>(sub->widget()) : nullptr;
    return w && windows_.contains(w) ? w : nullptr;
}

DrawingWindow* DrawingWindows::require() {
    DrawingWindow* w = active();
    if (!w) throw cad::CadError(cad::NoDocument, QStringLiteral("ActiveDocument"));
    return w;
}

DrawingWindow* DrawingWindows::show(std::unique_ptr<Drawing> drawing) {
    Drawing* d = drawing.get();
    connect(d, &Drawing::entityAdded, this, [this](cad::Entity& e) { events_.entityAdded(e); });
    auto* w = new DrawingWindow(std::move(drawing), freeIndex(), s_.ui, s_.settings);
    w->closing = [this](DrawingWindow& window) { return closing(window); };
    // A block chosen in the insert list is inserted as Insert... would, under its permission.
    w->insertBlock = [this](const QString& block) {
        chosenBlock_ = block;
        s_.router.route(CommandKey("catDInsert"));
        chosenBlock_.clear();
    };
    w->escape = [this](DrawingWindow& window) {
        // Escape takes back what was typed over the drawing, and drops the selection and
        // grips as one step of its own.
        if (s_.clearTyped) s_.clearTyped();
        cad::UndoGroup step(window.drawing().undo());
        clearGripSet(window);
        step.commit();
    };
    w->deleteSelection = [this](DrawingWindow& window) {
        // The key erases what is selected; with nothing selected it has nothing to do (the
        // Erase command, typed or chosen, is the one that asks for objects).
        if (window.view().selection().isEmpty()) return;
        s_.ui.history(QStringLiteral("Deleting %1 entities").arg(window.view().selection().size()));
        // Deleting linked entities (with their database rows) is its own command.
        s_.router.route(CommandKey("catDErase"));
    };
    w->typeChar = s_.typeChar;
    w->logKey = [this](const QString& line) {
        if (s_.log.enabled()) s_.log.log(line);
    };
    w->typeEnter = s_.typeEnter;
    connect(&w->view(), &DrawingView::doubleClicked, w,
            [this, w](QPointF at) { doubleClick(*w, at, pickAperture(*w)); });
    connect(&w->view(), &DrawingView::contextMenuAsked, w,
            [this, w](QPointF at, QPoint global) { popUpContextMenu(*w, at, global); });
    connect(&w->view(), &DrawingView::cursorMoved, this, &DrawingWindows::cursorMoved);
    connect(&w->view(), &DrawingView::gripMoved, w,
            [this, w](const QString& handle, int grip, QPointF to) {
                s_.router.guard(QStringLiteral("GripEdit"),
                                [&] { moveGrip(*w, handle, grip, to); });
            });
    // What the user selects with the mouse shows in the property list.
    connect(&w->view(), &DrawingView::selectionChosen, this, [this, w](const QStringList& chosen) {
        if (showProperties) showProperties(*w, chosen);
    });
    w->view().setSnapModes(osnapOn_ ? snapModes_ : 0);
    w->toggleAid = [this, w](DrawingAid aid) { toggleAid(w, aid); };
    w->view().setAutoGrips(autoGrips_);
    // A script's clicks reach as far whatever size the window has.
    if (s_.run.batch) w->view().setFixedPickAperture(kScriptAperture);
    // The waiting prompt is shown on the active drawing too.
    if (auto* qt = dynamic_cast<QtUi*>(&s_.ui)) {
        connect(qt, &QtUi::promptChanged, w, [this, w](const QString& text) {
            w->view().setPromptText(active() == w ? text : QString());
        });
    }
    windows_.append(w);
    connect(w, &QObject::destroyed, this, [this, w] { windows_.removeAll(w); });
    QMdiSubWindow* sub = s_.mdi.addSubWindow(w);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setObjectName(w->objectName() + QStringLiteral("Frame"));
    showChild(s_.mdi, sub);
    w->show();
    s_.mdi.setActiveSubWindow(sub);
    w->view().zoomExtents();
    Q_EMIT drawingsChanged();
    return w;
}

DrawingWindow* DrawingWindows::open(const QString& path) {
    open_timing::started();
    // A drawing already open comes to the front instead of a second window.
    for (DrawingWindow* w : windows_) {
        if (!w->drawing().untitled() &&
            QDir::cleanPath(w->drawing().path()) == QDir::cleanPath(path)) {
            s_.mdi.setActiveSubWindow(qobject_cast<QMdiSubWindow*>(w->parentWidget()));
            return w;
        }
    }
    std::unique_ptr<Drawing> d = files_.open(path);
    open_timing::reached("read");
    DrawingWindow* w = d ? show(std::move(d)) : nullptr;
    open_timing::reached("window");
    return w;
}

DrawingWindow* DrawingWindows::showAndName(std::unique_ptr<Drawing> drawing) {
    if (!drawing) return nullptr;
    DrawingWindow* w = show(std::move(drawing));
    save(*w);  // an untitled drawing is named (save as) at once
    return w;
}

DrawingWindow* DrawingWindows::createNew() {
    return showAndName(files_.newDrawing());
}

DrawingWindow* DrawingWindows::createFromDefaultTemplate() {
    return showAndName(files_.newFromTemplate(files_.defaultTemplate()));
}

bool DrawingWindows::save(DrawingWindow& window) {
    const bool saved = files_.save(window.drawing());
    if (saved) Q_EMIT drawingsChanged();
    return saved;
}

bool DrawingWindows::saveAs(DrawingWindow& window) {
    const bool saved = files_.saveAs(window.drawing());
    if (saved) Q_EMIT drawingsChanged();
    return saved;
}

void DrawingWindows::deleteLinked(Drawing& drawing, const QStringList& handles) {
    DeletionRun run(s_.ui, s_.registry);
    db::Preferences prefs(s_.registry);
    run.hideWarnings =
        prefs.load(s_.run.userId) && prefs.flag(db::pref::GenHideDeleteWarnings, false);
    run.log = &s_.log;
    validateDeletion(drawing, handles, run);
}

bool DrawingWindows::closing(DrawingWindow& window) {
    if (!files_.mayClose(window.drawing())) return false;
    if (s_.log.enabled())
        s_.log.log(QStringLiteral("Unloading Drawing: ") + window.drawing().path());
    files_.closed(window.drawing());
    windows_.removeAll(&window);
    Q_EMIT drawingsChanged();
    return true;
}

bool DrawingWindows::closeAll() {
    // The first window whose user cancels stops the rest.
    for (QMdiSubWindow* sub : s_.mdi.subWindowList()) {
        if (!qobject_cast<DrawingWindow*>(sub->widget())) continue;
        if (!sub->close()) return false;
    }
    return true;
}

void DrawingWindows::clearGripSet(DrawingWindow& window) {
    const auto log = [this](const char* line) {
        if (s_.log.enabled()) s_.log.log(QString::fromLatin1(line));
    };
    log("ClearGripSet: Looping thru layouts");
    log("ClearGripSet: Looping thru Entities");
    log("ClearGripSet: Removing enetities from selset");
    window.view().setSelection({});
    log("ClearGripSet: updateing history");
    log("ClearGripSet: clearing proplist");
    if (showProperties) showProperties(window, {});
    log("ClearGripSet: Closing open loops");
    if (s_.ui.promptWaiting()) s_.ui.cancelPrompt();
    log("ClearGripSet: regenerating drawing");
    window.view().modelChanged();
    log("ClearGripSet: Done");
}

void DrawingWindows::doubleClick(DrawingWindow& window, QPointF point, double aperture) {
    PickAnswer at;
    at.cancelled = false;
    at.point = point;
    const QString handle =
        window.drawing().entityFor(at, aperture, &EntityEvents::answersDoubleClick);
    if (!handle.isEmpty()) events_.doubleClicked(window.drawing(), handle);
}

void DrawingWindows::moveGrip(DrawingWindow& window, const QString& handle, int grip, QPointF to) {
    // The window is busy while an end is resolved (its questions may wait for the user).
    window.setBusy(true);
    const auto notBusy = qScopeGuard([&window] { window.setBusy(false); });
    if (wiring::moveGrip(window.drawing(), s_.ui, &s_.log, s_.run.userId, handle, grip, to,
                         s_.registry) &&
        showProperties)
        showProperties(window, window.view().selection());
}

namespace {

// The entity a click at the point would take: an attribute stands for its insert.
QString entityUnder(Drawing& drawing, QPointF point, double aperture) {
    const cad::PickResult hit =
        cad::pointSearch(drawing.document(), drawing.space(), drawing.index(), point, aperture);
    return hit.isAttribute() ? hit.insertHandle : hit.handle;
}

}  // namespace

QList<ContextEntry> DrawingWindows::contextMenu(DrawingWindow& window, QPointF point,
                                                double aperture) {
    ContextTarget target;
    target.promptWaiting = s_.ui.promptWaiting();
    target.promptOptions = s_.ui.promptOptions();
    const QString handle = entityUnder(window.drawing(), point, aperture);
    if (const cad::Entity* e =
            handle.isEmpty() ? nullptr : window.drawing().document().find(handle)) {
        target.onEntity = true;
        target.kind = tag::kindOf(*e);
        target.blockName = e->blockName;
    }
    target.hasSelection = !window.view().selection().isEmpty();
    target.lastCaption = window.property("lastCaption").toString();
    return contextEntries(target);
}

void DrawingWindows::runContextEntry(DrawingWindow& window, QPointF point, double aperture,
                                     const ContextEntry& entry) {
    using Does = ContextEntry::Does;
    switch (entry.does) {
        case Does::Separator:
            return;
        case Does::Enter:
            // What the Enter key does: the command box's text, or the end of a list of points.
            if (s_.typeEnter) s_.typeEnter();
            return;
        case Does::Cancel:
            s_.ui.cancelPrompt();
            return;
        case Does::Option:
            s_.ui.submitOption(entry.text);
            return;
        case Does::Route:
            s_.router.route(entry.key);
            return;
        case Does::EditRecord:
            if (editRecord) editRecord(window, entityUnder(window.drawing(), point, aperture));
            return;
        case Does::RouteOnEntity:
            events_.runOn(window.drawing(), entityUnder(window.drawing(), point, aperture),
                          entry.key);
            return;
        case Does::RouteOnSelection: {
            // Opened on an entity outside the selection, the menu acts on that entity alone.
            const QString handle = entityUnder(window.drawing(), point, aperture);
            if (!handle.isEmpty() && !window.view().selection().contains(handle)) {
                window.view().setSelection({handle});
                if (showProperties) showProperties(window, {handle});
            }
            s_.router.route(entry.key);
            return;
        }
    }
}

void DrawingWindows::popUpContextMenu(DrawingWindow& window, QPointF point, QPoint global) {
    const double aperture = pickAperture(window);
    const QList<ContextEntry> entries = contextMenu(window, point, aperture);
    QMenu menu(&window);
    menu.setObjectName(QStringLiteral("mnuDrawingContext"));
    QHash<QAction*, int> chosenEntry;
    for (int i = 0; i < entries.size(); ++i) {
        if (entries[i].does == ContextEntry::Does::Separator)
            menu.addSeparator();
        else
            chosenEntry.insert(menu.addAction(entries[i].text), i);
    }
    const QPointer<DrawingWindow> alive(&window);
    QAction* chosen = menu.exec(global);
    if (!chosen || !alive) return;
    runContextEntry(window, point, aperture, entries[chosenEntry.value(chosen)]);
}

QString DrawingWindows::blockFolder() const {
    return appfolder::findNoCase(s_.run.appFolder(), QStringLiteral("Block Libraries"));
}

QString DrawingWindows::insertExisting(DrawingWindow& window, const QString& name) {
    equipment::EquipmentPlacement placement(equipment::LibraryAccess(s_.ui, s_.registry));
    const auto choose = [this, &window](Drawing& drawing) {
        return chooseBlockToInsert(drawing, s_.ui, blockFolder(), &window);
    };
    equipment::Placement placed;
    window.setBusy(true);
    try {
        placed = placement.insertExisting(window.drawing(), name, choose);
    } catch (...) {
        window.setBusy(false);
        throw;
    }
    window.setBusy(false);
    if (placed.handle.isEmpty()) return {};
    clearGripSet(window);
    if (!placed.kind.isEmpty()) events_.tipsAfterTagging(placed.kind);
    window.setLastCommand(QStringLiteral("Insert..."), QStringLiteral("DInsert"));
    return placed.handle;
}

void DrawingWindows::drawCables(DrawingWindow& window, const wiring::CableOptions& options,
                                const std::optional<wiring::Terminal>& terminal) {
    window.setLastCommand(QStringLiteral("Add Cables"), QStringLiteral("WAddCables"));
    wiring::CableDrawer drawer(window.drawing(), s_.ui, &s_.log, options, s_.registry);
    wiring::Pointers links = pointers();
    drawer.linkPointers = [&](const QString& sourceSide, const QString& continuing) {
        return links.link(window.drawing(), sourceSide, window.drawing(), continuing);
    };
    window.setBusy(true);
    const auto notBusy = qScopeGuard([&window] { window.setBusy(false); });
    for (;;) {
        if (options.manualDraw && !terminal) clearGripSet(window);
        if (drawer.drawOne(terminal) == wiring::CableDrawer::Outcome::Ended) {
            if (s_.log.enabled()) s_.log.log(QStringLiteral("Add Cables: RESET"));
            break;
        }
        if (!options.repeat || active() != &window) break;
    }
    clearGripSet(window);
}

QList<wiring::OpenDrawing> DrawingWindows::openDrawings() const {
    QList<wiring::OpenDrawing> out;
    for (DrawingWindow* w : windows_)
        out << wiring::OpenDrawing{wiring::drawingTitle(w->drawing()), &w->drawing()};
    return out;
}

QList<wiring::DrawingSource> DrawingWindows::projectDrawings() {
    QList<wiring::DrawingSource> out;
    QSet<QString> seen;
    for (const projects::DrawingEntry& e : registry_.drawings()) {
        const QString path = QDir::cleanPath(e.path);
        if (seen.contains(path.toUpper())) continue;  // two rows may name one file
        seen.insert(path.toUpper());
        wiring::DrawingSource source{e.path, nullptr};
        for (DrawingWindow* w : windows_)
            if (!w->drawing().untitled() &&
                QDir::cleanPath(w->drawing().path()).compare(path, Qt::CaseInsensitive) == 0)
                source.open = &w->drawing();
        out << source;
    }
    return out;
}

Drawing* DrawingWindows::showEntity(const QString& path, const QString& handle) {
    DrawingWindow* w = open(path);
    if (!w) return nullptr;
    if (const cad::Entity* e = handle.isEmpty() ? nullptr : w->drawing().document().find(handle)) {
        const cad::BBox box = cad::boundingBox(w->drawing().document(), *e);
        if (box.isValid()) {
            const double margin = std::max({box.x1 - box.x0, box.y1 - box.y0, 1.0});
            const cad::BBox around = box.expanded(margin);
            w->view().zoomWindow({around.x0, around.y0}, {around.x1, around.y1});
        }
        // Selected, so that it stands out where the view now shows it.
        w->view().setSelection({e->handle});
    }
    return &w->drawing();
}

DrawingWindow* DrawingWindows::windowOf(const QString& path) const {
    for (DrawingWindow* w : windows_)
        if (!w->drawing().untitled() &&
            QDir::cleanPath(w->drawing().path())
                    .compare(QDir::cleanPath(path), Qt::CaseInsensitive) == 0)
            return w;
    return nullptr;
}

void DrawingWindows::highlight(const QHash<QString, QStringList>& handles) {
    for (DrawingWindow* w : windows_) {
        QStringList shown;
        for (auto it = handles.cbegin(); it != handles.cend(); ++it)
            if (windowOf(it.key()) == w) shown << it.value();
        w->view().setSelection(shown);
        if (showProperties) showProperties(*w, shown);
    }
}

QRect DrawingWindows::onScreen(const QString& path, const QString& handle) const {
    DrawingWindow* w = windowOf(path);
    const cad::Entity* e = w ? w->drawing().document().find(handle) : nullptr;
    if (!e) return {};
    const cad::BBox box = cad::boundingBox(w->drawing().document(), *e);
    if (!box.isValid()) return {};
    const cad::View& view = w->view().view();
    const QRectF device =
        QRectF(view.toDevice({box.x0, box.y1}), view.toDevice({box.x1, box.y0})).normalized();
    const QRect inView = device.toAlignedRect().intersected(w->view().rect());
    if (inView.isEmpty()) return {};
    return QRect(w->view().mapToGlobal(inView.topLeft()), inView.size());
}

wiring::Pointers DrawingWindows::pointers() {
    return wiring::Pointers(
        s_.ui, &s_.log, [this] { return openDrawings(); }, s_.registry);
}

DrawingWindow* DrawingWindows::windowOf(const Drawing& drawing) const {
    for (DrawingWindow* w : windows_)
        if (&w->drawing() == &drawing) return w;
    return nullptr;
}

void DrawingWindows::registerActions() {
    auto on = [this](CommandKey key, CommandRouter::Action a) {
        s_.router.setAction(key, std::move(a));
    };
    on("catDNew", [this] { createNew(); });
    on("catDOpen", [this] {
        FileDialogOptions options;
        options.title = QStringLiteral("Open");
        options.filter = QStringLiteral("DXF Files (*.dxf *.DXF)");
        options.folder = s_.run.currentProjectPath;
        const std::optional<QString> path = s_.ui.openFile(options);
        if (path && !path->isEmpty()) open(*path);
    });
    on("catDSave", [this] { save(*require()); });
    on("catDSaveAs", [this] { saveAs(*require()); });
    on("catDClose", [this] {
        DrawingWindow* w = require();
        if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget())) sub->close();
    });
    on("catDCloseAll", [this] { closeAll(); });
    on("catDInsert", [this] {
        const QString block = chosenBlock_;  // "" from the menu: the dialog asks
        insertExisting(*require(), block);
    });
    // The creation commands: the new entity is the selection afterwards (LAST), and the
    // command is remembered for repeat.
    for (const QList<DrawingCommand>* family : drawingCommandFamilies()) {
        for (const DrawingCommand& c : *family) {
            on(c.key, [this, &c] {
                DrawingWindow* w = require();
                CommandContext context{
                    w->view().selection(), pickAperture(*w), s_.run.currentProjectPath,
                    commandWindows(s_.ui, w),
                    [this](Drawing& d, const QStringList& handles) { deleteLinked(d, handles); }};
                w->setBusy(true);
                const auto notBusy = qScopeGuard([w] { w->setBusy(false); });
                const QStringList selected = c.run(w->drawing(), s_.ui, context);
                clearGripSet(*w);
                if (!selected.isEmpty()) {
                    w->view().setSelection(selected);
                    if (showProperties) showProperties(*w, selected);
                }
                if (!selected.isEmpty() || c.rememberedWhenEnded)
                    w->setLastCommand(QString::fromLatin1(c.caption),
                                      QString::fromLatin1(c.shortKey));
            });
        }
    }
    on("catWLinkPointer", [this] {
        DrawingWindow* w = require();
        wiring::Pointers links = pointers();
        wiring::LinkPointerRun run(s_.ui, links);
        run.picked = events_.pickedPointer(w->drawing());
        run.open = [this] { return openDrawings(); };
        // The other pointer's window cannot close while the command picks in it.
        QList<DrawingWindow*> held;
        run.activate = [this, &held](Drawing& d) {
            DrawingWindow* other = windowOf(d);
            if (!other) return;
            if (!other->busy()) {
                other->setBusy(true);
                held << other;
            }
            if (auto* sub = qobject_cast<QMdiSubWindow*>(other->parentWidget()))
                s_.mdi.setActiveSubWindow(sub);
        };
        run.aperture = [this](Drawing& d) {
            DrawingWindow* other = windowOf(d);
            return other ? pickAperture(*other) : kScriptAperture;
        };
        w->setBusy(true);
        const auto notBusy = qScopeGuard([w, &held] {
            w->setBusy(false);
            for (DrawingWindow* other : held) other->setBusy(false);
        });
        wiring::linkPointerCommand(w->drawing(), run);
        run.activate(w->drawing());  // back where the command started
        clearGripSet(*w);
        w->setLastCommand(QStringLiteral("Link Pointers"), QStringLiteral("WLinkPointer"));
    });
    // The clipboard: the selection (or one asked for) copied or cut; paste at a picked point.
    const auto toClipboard = [this](bool cut) {
        DrawingWindow* w = require();
        const QStringList handles = selectObjects(w->drawing(), s_.ui, w->view().selection());
        if (!clipboard().copy(w->drawing(), handles)) return;
        // A cut is a deletion: the records of what is cut are settled as the erase would.
        if (cut) deleteLinked(w->drawing(), handles);
        clearGripSet(*w);
    };
    on("catDCopytoClip", [toClipboard] { toClipboard(false); });
    on("catDCuttoClip", [toClipboard] { toClipboard(true); });
    on("catDPaste", [this] {
        DrawingWindow* w = require();
        if (clipboard().isEmpty()) {
            s_.ui.beep();
            return;
        }
        const PointAnswer at = s_.ui.getPoint(QStringLiteral("Paste point:"));
        if (at.cancelled) return;
        const QStringList pasted = clipboard().paste(w->drawing(), at.point);
        clearGripSet(*w);
        w->view().setSelection(pasted);
    });
    // Printing: the page setup of the window, the printer's own dialog, and a preview drawn
    // as the page will be.
    on("catDPageSetup", [this] {
        DrawingWindow* w = require();
        PageSetupWindow window(s_.ui, w->pageSetup, w);
        if (s_.ui.runModal(window) == QDialog::Accepted) w->pageSetup = window.setup();
    });
    const auto printer = [](DrawingWindow& w) {
        auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
        p->setPageLayout(w.pageSetup.layout);
        p->setDocName(QFileInfo(w.drawing().title()).completeBaseName());
        return p;
    };
    const auto print = [this](DrawingWindow& w, QPrinter& p) {
        if (!printDrawing(p, w.drawing(), w.pageSetup, w.view().view().visibleBox()))
            s_.ui.message(QStringLiteral("The drawing could not be printed: the printer could "
                                         "not be started."),
                          MsgButtons::Ok, MsgIcon::Warning);
    };
    on("catDPrint", [this, printer, print] {
        DrawingWindow* w = require();
        const auto p = printer(*w);
        if (s_.ui.choosePrinter(*p, QStringLiteral("Print"))) print(*w, *p);
    });
    on("catDPrintPreview", [this, printer, print] {
        DrawingWindow* w = require();
        const auto p = printer(*w);
        QPrintPreviewDialog preview(p.get(), w);
        preview.setObjectName(QStringLiteral("frmPrintPreview"));
        preview.setWindowTitle(QStringLiteral("Print Preview - ") + w->drawing().title());
        connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                [w, print](QPrinter* target) { print(*w, *target); });
        s_.ui.runModal(preview);
    });
    on("catDLayers", [this] {
        DrawingWindow* w = require();
        LayersWindow window(s_.ui, w->drawing(), w);
        s_.ui.runModal(window);
        const cad::Document& doc = w->drawing().document();
        s_.ui.status(QStringLiteral("Current Layer: ") + doc.currentLayer());
    });
    // The style windows change the drawing's tables; the drawing repaints when they write.
    on("catDTextStyles", [this] {
        DrawingWindow* w = require();
        TextStylesWindow window(s_.ui, w->drawing(), w);
        s_.ui.runModal(window);
    });
    on("catDDimStyles", [this] {
        DrawingWindow* w = require();
        DimStylesWindow window(s_.ui, w->drawing(), w);
        s_.ui.runModal(window);
    });
    on("catDPointStyles", [this] {
        DrawingWindow* w = require();
        PointStyleWindow window(s_.ui, w->drawing(), w);
        s_.ui.runModal(window);
    });
    on("catDLayouts", [this] {
        DrawingWindow* w = require();
        LayoutsWindow window(s_.ui, w->drawing(), w);
        s_.ui.runModal(window);
        w->setLayoutTabs();
    });
    // Model and paper space of a layout: model space is entered through one of the layout's
    // viewports, which the window then shows as model space at that viewport's view; paper
    // space goes back to the layout. On the model tab without a layout to go back to, neither
    // is valid.
    const auto onModelTab = [this](DrawingWindow& w) {
        if (!w.drawing().showsModel()) return false;
        s_.ui.message(QStringLiteral("Not valid in Model_Space"), MsgButtons::Ok, MsgIcon::Warning);
        return true;
    };
    static const char* const kEnteredFrom = "tolvaneEnteredFromLayout";
    on("catDModelSpace", [this, onModelTab] {
        DrawingWindow* w = require();
        if (onModelTab(*w)) return;
        const QString layout = w->drawing().space().name;
        const cad::PickFilter viewport = cad::ofKind(cad::EntityKind::Viewport);
        const PickAnswer pick = s_.ui.getEntity(QStringLiteral("Select a Viewport"), viewport);
        if (pick.cancelled) return;
        const cad::Entity* e =
            w->drawing().document().find(w->drawing().entityFor(pick, pickAperture(*w), viewport));
        if (!e || e->kind != cad::EntityKind::Viewport) return s_.ui.beep();
        const QPointF centre = e->detail->viewCentre;
        const double half =
            e->detail->viewHeight / 2 * e->detail->width / std::max(e->height, 1e-9);
        const double halfHeight = e->detail->viewHeight / 2;
        w->drawing().setSpace(w->drawing().document().modelSpace().name);
        w->view().zoomWindow(centre - QPointF(half, halfHeight),
                             centre + QPointF(half, halfHeight));
        w->setProperty(kEnteredFrom, layout);
    });
    on("catDPaperSpace", [this, onModelTab] {
        DrawingWindow* w = require();
        const QString layout = w->property(kEnteredFrom).toString();
        w->setProperty(kEnteredFrom, QVariant());
        if (!layout.isEmpty() && w->drawing().setSpace(layout)) {
            w->view().zoomExtents();  // the whole sheet
            return;
        }
        if (onModelTab(*w)) return;
        w->view().zoomExtents();
    });
    on("catDUndo", [this] { require()->drawing().undo().undo(); });
    on("catDRedo", [this] { require()->drawing().undo().redo(); });
    on("catDRegen", [this] { require()->view().modelChanged(); });
    // Zoom in and out by a tenth about a picked point; pan from one point to another.
    const auto zoomBy = [this](double factor) {
        DrawingWindow* w = require();
        const PointAnswer at = s_.ui.getPoint(QStringLiteral("Zoom center point:"));
        if (!at.cancelled) w->view().zoomAbout(factor, at.point);
    };
    on("catDZoomScale", [this] {
        // A factor typed: 2 shows things twice as large, 0.5 half as large, about the middle.
        DrawingWindow* w = require();
        const std::optional<QString> text =
            s_.ui.input(QStringLiteral("Zoom Scale"), QStringLiteral("Enter a scale factor:"),
                        QStringLiteral("1"));
        if (!text) return;
        bool ok = false;
        const double factor = text->trimmed().toDouble(&ok);
        if (!ok || !(factor > 0) || !std::isfinite(factor))
            return void(s_.ui.message(QStringLiteral("The scale factor must be a number greater "
                                                     "than 0."),
                                      MsgButtons::Ok, MsgIcon::Warning));
        w->view().zoomAbout(factor, w->view().view().centre());
    });
    on("catDZoomIn", [zoomBy] { zoomBy(1.1); });
    on("catDZoomOut", [zoomBy] { zoomBy(0.9); });
    on("catDPan", [this] {
        DrawingWindow* w = require();
        const PointAnswer from = s_.ui.getPoint(QStringLiteral("Pan from point:"));
        if (from.cancelled) return;
        const PointAnswer to = s_.ui.getPoint(QStringLiteral("Pan to point:"));
        if (!to.cancelled) w->view().panWorld(from.point, to.point);
    });
    on("catDExtents", [this] {
        // Nothing drawn yet is no fault: the view shows the drawing's limits instead.
        DrawingWindow* w = require();
        if (w->view().zoomExtents()) return;
        w->view().zoomAll();
        s_.ui.history(QStringLiteral("Nothing is drawn here yet: the view shows the limits."));
    });
    on("catDAll", [this] {
        if (!require()->view().zoomAll())
            throw cad::CadError(cad::NoExtents, QStringLiteral("ZoomAll"));
    });
    on("catDZoomPrevious", [this] { require()->view().zoomPrevious(); });
    on("catDExportImage", [this] {
        // The space shown, whole, as a picture (PNG, BMP) or a vector PDF.
        DrawingWindow* w = require();
        FileDialogOptions options;
        options.title = QStringLiteral("Export Image");
        options.filter = QStringLiteral("PNG image (*.png);;Bitmap (*.bmp);;PDF document (*.pdf)");
        options.folder = s_.run.currentProjectPath;
        options.mustExist = false;
        const std::optional<QString> path = s_.ui.saveFile(options);
        if (!path || path->isEmpty()) return;
        const Drawing& d = w->drawing();
        QString error;
        const QString suffix = QFileInfo(*path).suffix().toLower();
        // Pictures are as high as the user's setting asks, at 16:9.
        bool ok = false;
        const int height =
            std::clamp(s_.settings.read(setting::WmfSaveSize).trimmed().toInt(&ok), 16, 16384);
        const QSize size = ok ? QSize(height * 16 / 9, height) : QSize(1920, 1080);
        const bool done = suffix == QLatin1String("pdf")
                              ? cad::exportPdf(d.document(), d.space(), *path, &error)
                              : cad::exportImage(d.document(), d.space(), *path, size,
                                                 w->view().background(), &error);
        if (!done)
            s_.ui.message(QStringLiteral("The drawing could not be exported: ") + error,
                          MsgButtons::Ok, MsgIcon::Warning);
    });
    on("catDWindow", [this] {
        DrawingWindow* w = require();
        const PointAnswer a = s_.ui.getPoint(QStringLiteral("First corner:"));
        if (a.cancelled) return;
        const PointAnswer b = s_.ui.getPoint(QStringLiteral("Other corner:"));
        if (b.cancelled) return;
        if (!w->view().zoomWindow(a.point, b.point))
            throw cad::CadError(cad::WrongParameters, QStringLiteral("ZoomWindow"));
    });
}

}  // namespace tolvane
