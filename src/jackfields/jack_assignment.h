// A jack placed by hand tied to one column of a project jackfield: its attributes filled
// from the column's positions, the positions' keys in its tag, the positions marked as
// built on this sheet. Also what the jack-assignment and jackfield-deletion windows list:
// the project's jackfields and the state of their positions, and removing a jackfield.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "db/database.h"

namespace tolvane {
class Drawing;
class Ui;
}  // namespace tolvane

namespace tolvane::jackfields {

// A jackfield of the project as the windows list it.
struct JackfieldRow {
    qint64 id = 0;
    QString sysName;
    qint64 number = 0;
    int rows = 0;
    int columns = 0;
    QString rearConn;
};

// One jack position and whether a jack in some drawing stands for it.
struct JackPosition {
    qint64 id = 0;
    QString row;
    QString column;
    QString sheet;
    bool assigned = false;
};

// The project's jackfields by system name and number.
QList<JackfieldRow> projectJackfields(db::Connections& registry = db::connections());
// The distinct system names, in order.
QStringList systemNames(const QList<JackfieldRow>& jackfields);
// A jackfield's positions, row by row, columns in number order.
QList<JackPosition> positionsOf(qint64 jfid, db::Connections& registry = db::connections());
// The jackfield's column texts in number order.
QStringList columnsOf(const QList<JackPosition>& positions);

// Removes the jackfield and all its positions (positions first), in one transaction. Jacks
// already drawn keep their references.
void removeJackfield(qint64 jfid, db::Connections& registry = db::connections());

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
void assignJack(Drawing& drawing, const QString& jack, const JackfieldRow& jf,
                const QString& column, bool showConnectors,
                db::Connections& registry = db::connections());

}  // namespace tolvane::jackfields
