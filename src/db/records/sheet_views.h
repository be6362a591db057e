// The views of whole tables the data sheets show: for each sheet its window's name and
// caption, the database and table its edits go to, the statement that reads its rows (without
// WHERE and ORDER BY), their order, the columns kept out of sight and whether it may be edited
// at all. The one place that holds the sheets' statements.
#pragma once

#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

#include "db/database.h"

namespace tolvane {

enum class SheetKind {
    Equipment,
    Manufacturers,
    Connectors,
    CableTypes,
    ProjectCables,
    ChildCables,
    Systems,
    ProjectJackfields,
    JackPositions,
    Drawings,
    Projects
};

// An edit about to be written: the row as it is stored, the field typed into and the value.
struct SheetEdit {
    db::Connections& registry;
    const QSqlRecord& row;
    QString field;
    QVariant value;
};

// What a sheet shows and where its edits go.
struct SheetDef {
    QString object{};  // window object name, frmEquipmentDS
    QString title{};   // window title
    QString suffix{};  // caption suffix of its messages, " [Equipment]"
    db::DbId db = db::DbId::Equipment;
    QString table{};       // the table edits are written to
    QString select{};      // "SELECT ... FROM ..." without WHERE and ORDER BY
    QString orderBy{};     // without "ORDER BY"
    QStringList hidden{};  // hidden besides the keys and replication columns of the table
    bool editable = false;
    QStringList readOnly{};  // columns of the table that are never typed over
    // Rows come ordered by this field and show its value only on the first row of each group.
    QString groupBy{};
    // Why an edit is refused (told to the user, nothing written); empty when it is taken. The
    // rule is a service's; the definition says which applies to the sheet.
    std::function<QString(const SheetEdit& edit)> checkEdit{};
};

// The sheet's statement and table; editable as the sheet allows it, before permissions and
// before the rule its edits must keep is attached.
SheetDef sheetDef(SheetKind kind);

}  // namespace tolvane
