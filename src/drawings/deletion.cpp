#include "drawings/deletion.h"

#include <optional>

#include "cad/undo.h"
#include "db/records/cables.h"
#include "db/records/jackfields.h"
#include "db/records/systems.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "shell/app_error.h"
#include "shell/event_log.h"
#include "ui/ui.h"

namespace tolvane {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// A record change the user agreed to; applied together once every entity has been looked at.
struct RecordChange {
    enum What { DeleteSystem, ReleaseCable, ReleaseJack } what;
    qint64 id;
};

// A reference of a tag as a record number; nullopt when it is none (a damaged tag).
std::optional<qint64> recordNumber(const QString& reference) {
    bool ok = false;
    const qint64 id = reference.trimmed().toLongLong(&ok);
    if (!ok || id < 0) return std::nullopt;
    return id;
}

}  // namespace

QString deletionQuestion(const QString& kind) {
    const QString undo = QStringLiteral("disables Undo!");
    if (kind == tag::kind::EquipmentBlock)
        return QStringLiteral("You are deleting an equipment block that has a") + kCrLf +
               QStringLiteral("reference to the Systems Database. ") + kCrLf + kCrLf +
               QStringLiteral("Delete Database entry also?") + kCrLf + kCrLf +
               QStringLiteral("Note: only delete the database reference if no other") + kCrLf +
               QStringLiteral("instances of this system exist in your drawing(s)") + kCrLf + kCrLf +
               QStringLiteral("Choosing Yes ") + undo;
    if (kind == tag::kind::DABlock)
        return QStringLiteral("You are deleting an equipment block that has a") + kCrLf + kCrLf +
               QStringLiteral("reference to the Systems Database. ") + kCrLf + kCrLf +
               QStringLiteral("Delete Database entry also? Choosing Yes") + kCrLf + kCrLf + undo;
    if (kind == tag::kind::Cable)
        return QStringLiteral("You are deleting a Cable that has a") + kCrLf + kCrLf +
               QStringLiteral("reference to the Cables Database. ") + kCrLf + kCrLf +
               QStringLiteral("Mark this cable as Available? Choosing Yes") + kCrLf + kCrLf + undo;
    if (kind == tag::kind::Jack)
        return QStringLiteral("You are deleting a Jack that has a") + kCrLf + kCrLf +
               QStringLiteral("reference to the JackFields Database. ") + kCrLf + kCrLf +
               QStringLiteral("Mark this Jack as Available? Choosing Yes") + kCrLf + kCrLf + undo;
    return {};
}

DeletionResult validateDeletion(Drawing& drawing, const QStringList& handles,
                                const DeletionRun& run) {
    cad::UndoStack& undo = drawing.undo();
    undo.setRecording(true);
    const auto log = [&run](const QString& line) {
        if (run.log && run.log->enabled()) run.log->log(line);
    };

    // First every question, then the records in one transaction, then the erase: a failure
    // or a Cancel part-way leaves the drawing whole.
    QList<RecordChange> changes;
    QStringList erased = handles;  // and the number texts of the cables among them
    bool yesToAll = false;
    bool cancelled = false;
    const auto agreed = [&](const QString& kind, bool mayHide) {
        if (yesToAll || (mayHide && run.hideWarnings)) return true;
        const MsgButton answer = run.ui.message(deletionQuestion(kind),
                                                MsgButtons::YesNoYesToAllCancel, MsgIcon::Question);
        if (answer == MsgButton::Cancel) cancelled = true;
        if (answer == MsgButton::YesToAll) yesToAll = true;
        return answer == MsgButton::Yes || answer == MsgButton::YesToAll;
    };
    const auto damaged = [&run](const cad::Entity& e, const QString& reference) {
        run.ui.message(QStringLiteral("The %1 %2 refers to record \"%3\", which is not a record "
                                      "number, so its record cannot be settled. Nothing was "
                                      "deleted.")
                           .arg(tag::kindOf(e), e.handle, reference),
                       MsgButtons::Ok, MsgIcon::Warning);
        return DeletionResult::Refused;
    };

    for (const QString& handle : handles) {
        const cad::Entity* e = drawing.document().find(handle);
        if (!e) continue;
        const QString kind = tag::kindOf(*e);
        if (kind == tag::kind::EquipmentBlock || kind == tag::kind::DABlock) {
            const QString ref = tag::ref2(*e);
            if (ref.isEmpty()) continue;
            const std::optional<qint64> id = recordNumber(ref);
            if (!id) return damaged(*e, ref);
            if (agreed(kind, kind == tag::kind::DABlock))
                changes.append({RecordChange::DeleteSystem, *id});
        } else if (kind == tag::kind::Cable) {
            const QString ref = tag::ref1(*e);
            if (ref.isEmpty()) continue;
            const std::optional<qint64> id = recordNumber(ref);
            if (!id) return damaged(*e, ref);
            if (agreed(kind, true)) changes.append({RecordChange::ReleaseCable, *id});
            // Its two number texts go with it, whatever the answer.
            const QString assoc = tag::assoc(*e);
            const qsizetype bar = assoc.indexOf(QLatin1Char('|'));
            for (const QString& text : {assoc.left(bar), bar < 0 ? QString() : assoc.mid(bar + 1)})
                if (!text.isEmpty() && !erased.contains(text, Qt::CaseInsensitive)) erased << text;
        } else if (kind == tag::kind::Jack) {
            QList<qint64> positions;
            for (const QString& ref : {tag::ref2(*e), tag::ref3(*e)}) {
                if (ref.isEmpty()) continue;
                const std::optional<qint64> id = recordNumber(ref);
                if (!id) return damaged(*e, ref);
                positions << *id;
            }
            if (positions.isEmpty()) continue;
            if (agreed(kind, true))
                for (qint64 id : positions) changes.append({RecordChange::ReleaseJack, id});
        }
        if (cancelled) break;
    }

    if (!changes.isEmpty()) {
        // Records the user agreed to before a Cancel stay changed; the entities stay drawn.
        try {
            db::Transaction tx(db::DbId::Project, run.registry);
            QList<qint64> ids[3];
            for (const RecordChange& c : changes) ids[c.what] << c.id;
            db::SystemTable(run.registry).remove(ids[RecordChange::DeleteSystem]);
            // Cable rows stay, so that their numbers can be given to the next cables drawn.
            db::CableTable(run.registry).releaseErased(ids[RecordChange::ReleaseCable]);
            db::JackPositionTable(run.registry).releaseErased(ids[RecordChange::ReleaseJack]);
            tx.commit();
        } catch (const Cancelled&) {
            return DeletionResult::Cancelled;
        } catch (const AppError& error) {
            run.ui.message(QStringLiteral("The records of the entities could not be changed, so "
                                          "nothing was deleted.\n\n") +
                               error.description(),
                           MsgButtons::Ok, MsgIcon::Warning);
            return DeletionResult::Refused;
        }
        log(QStringLiteral("Deletion changed %1 records").arg(changes.size()));
    }
    if (cancelled) return DeletionResult::Cancelled;

    // A deletion that changed a record is not undoable; any other is one step.
    if (!changes.isEmpty()) undo.setRecording(false);
    {
        cad::UndoGroup group(undo);
        for (const QString& h : erased) drawing.editor().erase(h);
        group.commit();
    }
    undo.setRecording(true);
    return DeletionResult::Erased;
}

}  // namespace tolvane
