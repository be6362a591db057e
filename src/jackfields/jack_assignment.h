// A jack placed by hand tied to one column of a project jackfield: its attributes filled
// from the column's positions, the positions' keys in its tag, the positions marked as
// built on this sheet. Also what the jack-assignment and jackfield-deletion windows list:
// the project's jackfields and the state of their positions, and removing a jackfield.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "db/database.h"
#include "db/records/jackfields.h"

namespace tolvane {
class Drawing;
class Ui;
}  // namespace tolvane

namespace tolvane::jackfields {

// The project's jackfields by system name and number.
QList<db::JackfieldRecord> projectJackfields(db::Connections& registry);
// The distinct system names, in order.
QStringList systemNames(const QList<db::JackfieldRecord>& jackfields);
// A jackfield's positions, row by row, columns in number order.
QList<db::JackPosition> positionsOf(qint64 jfid, db::Connections& registry);
// The jackfield's column texts in number order.
QStringList columnsOf(const QList<db::JackPosition>& positions);

// Removes the jackfield and all its positions (positions first), in one transaction. Jacks
// already drawn keep their references.
void removeJackfield(qint64 jfid, db::Connections& registry);

// The jack an assignment works on: the one double-clicked (`picked`), else the one entity
// selected, else one the user picks after being told "Please select a Jack". "" when the
// pick is cancelled, or (told "Not a valid Jack") when what was chosen is no jack insert.
QString jackToAssign(Drawing& drawing, Ui& ui, const QString& picked, const QStringList& selected,
                     double aperture);

// Ties the jack insert `jack` to `column` of the jackfield: "JF", "COL", the row letters on
// "A" and "B", and with `showConnectors` the rear connector on "ACONN"/"BCONN". A row is
// tied (its key in the tag, its position marked with this sheet) only when the jack has the
// row's attribute. One undo step and one transaction. Throws DbError or CadError with
// nothing changed.
void assignJack(Drawing& drawing, const QString& jack, const db::JackfieldRecord& jf,
                const QString& column, bool showConnectors, db::Connections& registry);

}  // namespace tolvane::jackfields
