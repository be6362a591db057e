// The report wizard's logic: the schema of one database as the wizard offers it (tables,
// fields with a type code and size, relations), the user's choices, and from them the
// report's SQL, its layout and a plain-text summary. The window only collects the choices.
#pragma once

#include <QColor>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

#include "db/database.h"
#include "reports/report_layout.h"

namespace tolvane::reports::wizard {

// The data type codes the layout's widths and the summary's type names are written for (the
// codes of the classic database interfaces: 3 a 32-bit integer, 202 variable text, ...).
namespace code {
constexpr int SmallInt = 2, Integer = 3, Single = 4, Double = 5, Currency = 6, Date = 7,
              Boolean = 11, Decimal = 14, BigInt = 20, Binary = 128, Char = 129, Numeric = 131,
              Time = 134, TimeStamp = 135, VarText = 202, LongText = 203, VarBinary = 204;
}  // namespace code

// The type code and character size of a column as the engine declares it. *size is the
// declared length ("VARCHAR(40)" gives 40), else 0.
int typeCode(db::Engine engine, const QString& declaredType, int* size);
// "dbInteger", "dbText", ...; empty for a code without a name.
QString typeName(int typeCode);

// A table as the wizard shows it: its name in words ("tblChildCables": "Child Cables").
QString tableCaption(const QString& table);

struct FieldInfo {
    QString name;
    int type = 0;
    int size = 0;
};

struct TableInfo {
    QString name;
    bool isSystem = false;
};

struct Relation {
    QString name;
    QString tablePrimary, columnPrimary;
    QString tableForeign, columnForeign;
    // "[table].[column]" of each side.
    QString pkFieldName() const;
    QString fkFieldName() const;
    // The editor's line: "[tblA].[ID] = [tblB].[AID]".
    QString text() const { return pkFieldName() + QStringLiteral(" = ") + fkFieldName(); }
    bool operator==(const Relation&) const = default;
};

// The schema of one database, read from the engine's catalogue: its tables (the program's own
// bookkeeping tables flagged as system tables), the fields of a table (read when first
// asked for) and the relations its foreign keys declare. Names keep the spelling the program
// gives them, on both engines.
class DataSource {
  public:
    // Reads (or reads again) the schema. Throws db::DbError.
    void open(db::DbId id, db::Connections& registry);
    void reset();
    bool isOpen() const { return registry_ != nullptr; }
    db::DbId database() const { return id_; }

    const QList<TableInfo>& tables() const { return tables_; }
    // The fields of a table in their order; empty for an unknown table.
    QList<FieldInfo> fields(const QString& table);
    const QList<Relation>& relations() const { return relations_; }
    // The first relation between the two tables, whichever side each is on.
    std::optional<Relation> relationFor(const QString& a, const QString& b) const;

  private:
    db::Connections* registry_ = nullptr;
    db::DbId id_ = db::DbId::Project;
    QList<TableInfo> tables_;
    QList<Relation> relations_;
    QMap<QString, QList<FieldInfo>> fields_;  // by lower-case table name
};

struct SelectedField {
    QString table, field;
    int type = 0;
    int size = 0;
};

struct GroupField {
    QString table, field;
    QString option = QStringLiteral("Default");
};

// A sort field of the wizard names its table and field.
using reports::SortField;

// Everything the user chose in one run of the wizard.
struct Choices {
    QString title;
    int database = 1;  // 0 the equipment, 1 the project, 2 the project-manager database
    int style = 0;     // into reportStyles()
    QString connection;
    QStringList tables;  // in the order chosen
    QList<SelectedField> fields;
    QList<Relation> relations;
    QList<GroupField> groups;  // outermost first
    QList<SortField> sorts;
};

db::DbId databaseOf(const Choices& choices);

struct StyleFont {
    QString family;
    double size = 9;
    bool bold = false;
    bool italic = false;
};

struct ReportStyle {
    QString name;
    StyleFont title, heading, detail;
    QColor back;        // invalid: none
    int lineStyle = 1;  // 0 none, 1 solid, 2 dash, 3 dot, 4 dash dot, 5 dash dot dot
    QColor lineColor;
    int rules = 1;
};

// "Bold", "Casual", "Compact", "Corporate", "Formal", "Soft Gray".
const QList<ReportStyle>& reportStyles();

// The family used for a style's font on this machine: the family itself when it is
// installed, else the closest installed one (a serif for a serif, a narrow face for a
// condensed one).
QString installedFamily(const QString& family);

// Choices the wizard cannot finish with: "" when the choices can make a report.
QString problemWith(const Choices& choices);
// What the user is warned of before such a report is made: a chosen table that no relation
// joins to the others gives every one of its rows with every row of theirs. "" when none.
QString warningFor(const Choices& choices);

// The report's SQL with bracketed names: "SELECT [f] FROM [t]", joins in the WHERE clause,
// the group fields then the sort fields in ORDER BY. Empty with no field chosen.
QString generateSql(const Choices& choices);

// The plain-text summary of the choices, lines separated by CR LF.
QString summary(const Choices& choices);

// Letters A-Z (either case), digits and "_" of a name, in their order.
QString cleanName(const QString& name);

// The width of "M" in the font, in twips.
double characterUnit(const StyleFont& font);

// The layout the choices make: DC1 over generateSql(), the detail with one control per field
// in a flowing layout across the printable width, a group header and footer per group
// field, column labels in the page header, the title and the style's rules in the report
// header.
ReportLayout generateLayout(const Choices& choices, const PageSetup& page = {});

}  // namespace tolvane::reports::wizard
