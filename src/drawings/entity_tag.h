// The tag record every drawing object the program manages carries in its extended data
// under the application "Tolvanev2": nine string items (kind, four database references, the
// associated handles, the source and destination strings of a cable, the ownership marker).
// Entities without it, or whose extended data another program wrote, read as untagged and
// are never changed by the setters. Also the catalogue of standard block names and kinds.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "cad/document.h"
#include "cad/picking.h"

namespace tolvane::tag {

inline const QString kApp = QStringLiteral("Tolvanev2");

// The item names in their order.
QStringList itemNames();

// Entity kinds.
namespace kind {
inline const QString EquipmentBlock = QStringLiteral("EquipmentBlock");
inline const QString DABlock = QStringLiteral("DABlock");
inline const QString Cable = QStringLiteral("Cable");
inline const QString CableNo = QStringLiteral("CableNo");
inline const QString Jack = QStringLiteral("Jack");
inline const QString JBox = QStringLiteral("JBox");
inline const QString Router = QStringLiteral("Router");
inline const QString Pointer = QStringLiteral("Pointer");
inline const QString FurnitureBlock = QStringLiteral("FurnitureBlock");
}  // namespace kind

// Whether the entity carries the program's own tag: extended data whose last item is the
// marker "Tolvanev2".
bool isOwn(const cad::Entity& e);

// Writes the nine items when the entity has no extended data at all; an entity that already
// carries extended data (its own tag, or another program's) is left as it is. True when the
// tag was written.
bool tagEntity(cad::Entity& e, const QString& kind, const QString& ref1 = {},
               const QString& ref2 = {}, const QString& ref3 = {}, const QString& ref4 = {},
               const QString& assoc = {}, const QString& src = {}, const QString& dst = {});

// Readers: the value, or "" when the entity is not the program's own.
QString kindOf(const cad::Entity& e);
QString ref1(const cad::Entity& e);  // looked up by the name "DB_REF_1"
QString ref2(const cad::Entity& e);
QString ref3(const cad::Entity& e);
QString assoc(const cad::Entity& e);
QString src(const cad::Entity& e);
QString dst(const cad::Entity& e);

// Setters: replace one value on the program's own entities; false (nothing written) on any
// other entity.
bool setRef1(cad::Entity& e, const QString& value);
bool setRef2(cad::Entity& e, const QString& value);
bool setRef3(cad::Entity& e, const QString& value);
bool setAssoc(cad::Entity& e, const QString& value);
bool setSrc(cad::Entity& e, const QString& value);
bool setDst(cad::Entity& e, const QString& value);

// The process-wide record of the nine values of one entity, filled by load and emptied by
// clear; commands that work on the selected entity read it.
struct CurrentTag {
    QStringList values;  // nine strings, or empty
    QString value(int position) const { return values.value(position); }
};
CurrentTag& currentTag();
void loadCurrentTag(const cad::Entity& e);
void clearCurrentTag();

// A pick filter taking the program's own entities of one kind (a prompt for a jack).
cad::PickFilter ofKind(const QString& kind);

// Field k (0 to 5) of a "|"-separated string of up to six fields; "" when absent.
QString field(const QString& text, int k);

// Standard blocks, recognised by name without regard to case.
struct CatalogueEntry {
    QString name;  // as the catalogue spells it
    QString kind;  // "" for the symbols that are loaded but not tagged
};
const QList<CatalogueEntry>& blockCatalogue();
std::optional<CatalogueEntry> catalogueEntry(const QString& blockName);

// The tooltip a tagged catalogue block gets; "" for kinds without one.
QString tooltipFor(const QString& kind);

// Tags an inserted standard block by its catalogue kind and gives it its tooltip. Inserts of
// other blocks, untagged symbols and entities that already carry extended data are left
// alone. The kind written, or "" when nothing was written.
QString tagInsertedBlock(cad::Entity& insert);

}  // namespace tolvane::tag
