#include "wiring/pointers.h"

#include <QFileInfo>

#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "shell/event_log.h"
#include "ui/ui.h"
#include "wiring/cable_drawing.h"
#include "wiring/end_resolver.h"

namespace tolvane::wiring {

namespace {

bool isBlock(const cad::Entity* e, const char* name) {
    return e && e->kind == cad::EntityKind::Insert &&
           e->blockName->compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

QString attribute(const cad::Entity& insert, const char* tag) {
    const cad::Entity* a = insert.attribute(QLatin1String(tag));
    return a ? a->text : QString();
}

void setAttributes(cad::Entity& insert, const QList<std::pair<const char*, QString>>& values) {
    for (cad::Entity& a : insert.attributes)
        for (const auto& [tag, value] : values)
            if (a.tag->compare(QLatin1String(tag), Qt::CaseInsensitive) == 0) a.text = value;
}

}  // namespace

QString drawingTitle(const Drawing& drawing) {
    return drawing.untitled() ? drawing.untitledName() : QFileInfo(drawing.path()).fileName();
}

void Pointers::log(const QString& line) {
    if (log_ && log_->enabled()) log_->log(line);
}

QString Pointers::cableAt(Drawing& drawing, const cad::Entity& pointer, bool arriving) {
    // Exact equality: a cable ending a little beside the pointer is not its cable.
    const QPointF at = pointer.start;
    for (const QString& h : drawing.index().queryPoint(at, 0.0)) {
        const cad::Entity* e = drawing.document().find(h);
        if (!e || e->kind != cad::EntityKind::Polyline || e->vertices.size() < 2) continue;
        const QPointF end = arriving ? e->vertices.last().pos : e->vertices.first().pos;
        if (end.x() == at.x() && end.y() == at.y()) return e->handle;
    }
    return {};
}

bool Pointers::link(Drawing& first, const QString& sourceSide, Drawing& second,
                    const QString& continuing) {
    log(QStringLiteral("Attempting to linkpointers"));
    const cad::Entity* d = first.document().find(sourceSide);
    const cad::Entity* s = second.document().find(continuing);
    if (!isBlock(d, "POINTER_D") || !isBlock(s, "POINTER_S")) return false;
    const QString cableIn = cableAt(first, *d, true);
    const QString cableOut = cableAt(second, *s, false);
    if (cableIn.isEmpty() || cableOut.isEmpty()) return false;
    const cad::Entity* in = first.document().find(cableIn);
    const cad::Entity* out = second.document().find(cableOut);
    const QString source =
        EndResolver(first, ui_, log_, {}, registry_).source(in->vertices.first().pos);
    const QString destination =
        EndResolver(second, ui_, log_, {}, registry_).destination(out->vertices.last().pos);
    const QString dHandle = d->handle, sHandle = s->handle;

    cad::UndoGroup firstGroup(first.undo());
    cad::UndoGroup secondGroup(second.undo());  // the same group again when one drawing
    first.editor().modify(dHandle, [&](cad::Entity& e) {
        tag::tagEntity(e, tag::kind::Pointer);
        tag::setAssoc(e, sHandle);
        setAttributes(e, {{"DSHT", drawingTitle(second)},
                          {"Sysnam", tag::field(destination, 0)},
                          {"D", tag::field(destination, 1)},
                          {"JF", QString()},
                          {"COL", QString()}});
    });
    second.editor().modify(sHandle, [&](cad::Entity& e) {
        tag::tagEntity(e, tag::kind::Pointer);
        tag::setAssoc(e, dHandle);
        setAttributes(e, {{"Ssht", drawingTitle(first)},
                          {"SSysnam", tag::field(source, 0)},
                          {"S", tag::field(source, 1)},
                          {"JF", QString()},
                          {"COL", QString()}});
    });
    firstGroup.commit();
    secondGroup.commit();
    log(QStringLiteral("linkpointers succeeded"));
    return true;
}

Drawing* Pointers::drawingTitled(const QString& title) {
    if (!open_) return nullptr;
    for (const OpenDrawing& o : open_())
        if (o.drawing && o.title.compare(title, Qt::CaseInsensitive) == 0) return o.drawing;
    return nullptr;
}

std::optional<Pointers::Partner> Pointers::partner(Drawing& drawing, const QString& pointerD,
                                                   bool forUpdate) {
    const cad::Entity* p = drawing.document().find(pointerD);
    if (!p) return std::nullopt;
    const QString handle = tag::assoc(*p).trimmed();
    Drawing* other = drawingTitled(attribute(*p, "DSHT"));
    if (!other || handle.isEmpty()) return std::nullopt;  // the caller names the drawing
    const auto fail = [this](const QString& why) {
        ui_.message(QStringLiteral("Failed to retrieve other end of pointer ") + why,
                    MsgButtons::Ok, MsgIcon::Warning);
        return std::nullopt;
    };
    // Handles may come with a leading "0" from other tools.
    const bool trimmed = handle.startsWith(QLatin1Char('0'));
    const cad::Entity* e = other->document().find(trimmed ? handle.mid(1) : handle);
    if (!e) {
        if (forUpdate) return fail(QStringLiteral("handle"));
        return fail(trimmed ? QStringLiteral("[GetOtherSide TRIMMED Handle]")
                            : QStringLiteral("[GetOtherSide Handle]"));
    }
    if (e->kind != cad::EntityKind::Insert) {
        if (forUpdate)
            return fail(QStringLiteral("figure. Figure type: ") + cad::entityTypeName(*e));
        return fail(trimmed ? QStringLiteral("[GetOtherSide NOT INSERT]")
                            : QStringLiteral("[GetOtherSide Figure]"));
    }
    if (!e->blockName->left(7).startsWith(QLatin1String("POINTER"), Qt::CaseInsensitive))
        return fail(QStringLiteral("[GetOtherSide INSERT NOT POINTER]"));
    const QString cable = cableAt(*other, *e, false);
    if (cable.isEmpty()) return std::nullopt;
    return Partner{other, e->handle, cable};
}

QString Pointers::otherSide(Drawing& drawing, const QString& pointerD) {
    const std::optional<Partner> p = partner(drawing, pointerD, false);
    if (!p) return {};
    link(drawing, pointerD, *p->drawing, p->pointer);
    const cad::Entity* cable = p->drawing->document().find(p->cable);
    return EndResolver(*p->drawing, ui_, log_, {}, registry_)
        .destination(cable->vertices.last().pos);
}

bool Pointers::updateOtherCable(Drawing& drawing, const QString& pointerD, const Assigned& a,
                                Drawing** partnerDrawing) {
    const cad::Entity* pointer = drawing.document().find(pointerD);
    log(QStringLiteral("[UpdateOtherCable] UpdateOtherCableHandle: ") +
        (pointer ? tag::assoc(*pointer) : QString()));
    const std::optional<Partner> p = partner(drawing, pointerD, true);
    if (!p) return false;
    Drawing& other = *p->drawing;
    cad::UndoGroup group(other.undo());
    other.editor().modify(p->cable, [&](cad::Entity& e) {
        tag::setRef1(e, QString::number(a.cableId));
        if (a.reassign) tag::setRef2(e, QString::number(a.cableId));
        e.tooltip = QStringLiteral("Cable#: ") + a.number.displayed();
    });
    const QString assoc = tag::assoc(*other.document().find(p->cable));
    for (const QString& text : assoc.split(QLatin1Char('|'))) {
        const cad::Entity* t = text.isEmpty() ? nullptr : other.document().find(text);
        if (t && t->kind == cad::EntityKind::Text)
            other.editor().modify(t->handle,
                                  [&](cad::Entity& e) { e.text = a.number.displayed(); });
    }
    applySignalType(other, p->cable, a.signalType, a.colorLine, a.colorText, registry_);
    group.commit();
    if (partnerDrawing) *partnerDrawing = &other;
    log(QStringLiteral("[UpdateOtherCable] Cleaning Up other side"));
    return true;
}

bool linkPointerCommand(Drawing& drawing, const LinkPointerRun& run) {
    Ui& ui = run.ui;
    const auto cancelled = [&ui](const char* line) {
        ui.history(QString::fromLatin1(line), true);
        return false;
    };
    const auto pickIn = [&](Drawing& d, const QString& prompt) -> std::optional<QString> {
        const cad::PickFilter pointer = tag::ofKind(tag::kind::Pointer);
        const PickAnswer a = ui.getEntity(prompt, pointer);
        if (a.cancelled) return std::nullopt;
        return d.entityFor(a, run.aperture ? run.aperture(d) : 0.1, pointer);
    };
    QString source = run.picked;
    while (source.isEmpty()) {
        const std::optional<QString> h =
            pickIn(drawing, QStringLiteral("Select the pointer on the Source side"));
        if (!h) return cancelled("Link Pointer Operation Cancelled");
        const cad::Entity* e = h->isEmpty() ? nullptr : drawing.document().find(*h);
        if (!e || e->kind != cad::EntityKind::Insert) continue;
        if (isBlock(e, "POINTER_S")) {
            ui.message(QStringLiteral("Start with pointer on other side of cable"));
        } else if (isBlock(e, "POINTER_D")) {
            source = e->handle;
        } else {
            ui.beep();
        }
    }
    const MsgButton here = ui.message(QStringLiteral("Is the other Pointer on this sheet(drawing "
                                                     "file)?"),
                                      MsgButtons::YesNoCancel, MsgIcon::Question);
    if (here == MsgButton::Cancel) return cancelled("Link Pointer Operation Cancelled");
    Drawing* target = &drawing;
    if (here == MsgButton::No) {
        const QList<OpenDrawing> open = run.open ? run.open() : QList<OpenDrawing>{};
        QStringList titles;
        for (const OpenDrawing& o : open) titles << o.title;
        const std::optional<int> chosen =
            ui.choose(QStringLiteral("Select the drawing of the other Pointer"), titles);
        if (!chosen || *chosen < 0 || *chosen >= open.size())
            return cancelled("Link Pointers Cancelled");
        target = open[*chosen].drawing;
        if (run.activate) run.activate(*target);
    }
    QString continuing;
    while (continuing.isEmpty()) {
        const std::optional<QString> h =
            pickIn(*target, QStringLiteral("Select the pointer on the Destination side"));
        const cad::Entity* e = h && !h->isEmpty() ? target->document().find(*h) : nullptr;
        if (!e) return cancelled("Link Pointer Operation Cancelled");  // nothing picked
        if (isBlock(e, "POINTER_S"))
            continuing = e->handle;
        else
            ui.beep();
    }
    const bool linked = run.pointers.link(drawing, source, *target, continuing);
    ui.history(linked ? QStringLiteral("Pointers Linked")
                      : QStringLiteral("Link Pointer operation failed"),
               true);
    return linked;
}

}  // namespace tolvane::wiring
