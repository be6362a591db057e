// Placing equipment that already exists as a block of the drawing: the insert of a block by
// name (from the drawing window's insert list) or through the block-insert dialog (Insert...),
// after which an insert of an equipment block is tagged again from the library. Every insert
// of an equipment block must carry the equipment tag with the model's EquipmentID, because
// system names and cable ends start from it.
#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "equipment/library_access.h"

namespace tolvane {
class Drawing;
}

namespace tolvane::equipment {

// The attribute of a generated equipment block that names its library model.
inline const QString kEquipIdTag = QStringLiteral("Read Only EquipID");

// What an insert of an existing block did.
struct Placement {
    QString handle;  // the new insert; "" when nothing was inserted
    QString kind;    // the equipment tag written ("EquipmentBlock", "DABlock"), or ""
};

class EquipmentPlacement {
  public:
    // The block-insert dialog: the block the user confirmed, nullopt on Cancel. It may load
    // block files into the drawing before the user confirms.
    using ChooseBlock = std::function<std::optional<QString>(Drawing&)>;

    explicit EquipmentPlacement(LibraryAccess access) : a_(std::move(access)) {}

    static QString lookupFailedMessage() {
        return QStringLiteral(
            "Attempt to query the database for this equipment failed.\r\nA possible reason might "
            "be that the equipment has been deleted from the database.");
    }

    // Inserts the block `blockName` at a point the user picks; with an empty name the block
    // is first chosen in the dialog. Then the equipment tag of the new insert (tagEquipment).
    // Cancelling the dialog or the pick inserts nothing and asks the library nothing.
    Placement insertExisting(Drawing& drawing, const QString& blockName, const ChooseBlock& choose);

    // An insert whose "Read Only EquipID" names a model of the library is tagged "DABlock"
    // (the model shows as a DA) or "EquipmentBlock", with DB_Ref_1 the EquipmentID. When the
    // library has no such model the lookup failure is reported and the insert stays untagged.
    // Inserts without the attribute (or with it empty), and other entities, are left alone.
    // Returns the kind written, or "".
    QString tagEquipment(Drawing& drawing, const QString& handle);

  private:
    LibraryAccess a_;
};

}  // namespace tolvane::equipment
