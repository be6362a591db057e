// Placing existing equipment blocks and tagging them from the library.
#include "equipment/equipment_placement.h"

#include "db/records/equipment_models.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "ui/ui.h"

namespace tolvane::equipment {

Placement EquipmentPlacement::insertExisting(Drawing& drawing, const QString& blockName,
                                             const ChooseBlock& choose) {
    QString name = blockName;
    if (name.isEmpty()) {
        const std::optional<QString> chosen = choose ? choose(drawing) : std::nullopt;
        if (!chosen || chosen->isEmpty()) return {};
        name = *chosen;
    }
    Placement placed;
    // The insert and its tag are one step to undo.
    cad::UndoGroup group(drawing.undo());
    placed.handle = drawing.insertBlock(a_.ui, name);
    if (!placed.handle.isEmpty()) placed.kind = tagEquipment(drawing, placed.handle);
    group.commit();
    return placed;
}

QString EquipmentPlacement::tagEquipment(Drawing& drawing, const QString& handle) {
    const cad::Entity* insert = drawing.document().find(handle);
    if (!insert || insert->kind != cad::EntityKind::Insert) return {};
    const cad::Entity* attribute = insert->attribute(kEquipIdTag);
    const QString value = attribute ? attribute->text.trimmed() : QString();
    if (value.isEmpty()) return {};
    // A value that is no number names no model either.
    bool number = false;
    const qint64 id = value.toLongLong(&number);
    std::optional<bool> displayAsDa;
    if (number)
        if (const std::optional<db::EquipmentModelRecord> model =
                db::EquipmentModelTable(a_.registry).find(id))
            displayAsDa = model->displayAsDa;
    if (!displayAsDa) {
        a_.ui.message(lookupFailedMessage(), MsgButtons::Ok, MsgIcon::Warning);
        return {};
    }
    const QString kind = *displayAsDa ? tag::kind::DABlock : tag::kind::EquipmentBlock;
    bool written = false;
    drawing.editor().modify(
        handle, [&](cad::Entity& e) { written = tag::tagEntity(e, kind, QString::number(id)); });
    return written ? kind : QString();
}

}  // namespace tolvane::equipment
