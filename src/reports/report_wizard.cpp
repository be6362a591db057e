#include "reports/report_wizard.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

#include "db/schema.h"

namespace tolvane::reports::wizard {

namespace {

bool same(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString bracketed(const QString& table, const QString& field) {
    return QStringLiteral("[%1].[%2]").arg(table, field);
}

// The program's own bookkeeping (locks, the replication and numbering state, the user's
// preferences), and the engines' catalogues: nothing a report is made of.
bool isSystemTable(const QString& name) {
    for (const char* prefix : {"sqlite_", "tolvane_", "pg_", "msys", "tbllock"})
        if (name.startsWith(QLatin1String(prefix), Qt::CaseInsensitive)) return true;
    for (const char* table :
         {"tblLocalProject", "tblPID", "tblXP", "tblRevCounter", "tblPreferences", "tblRevisions",
          "tblRevisionCables", "tblRevisionCores", "tblCableChanges"})
        if (name.compare(QLatin1String(table), Qt::CaseInsensitive) == 0) return true;
    return false;
}

struct Caption {
    const char* table;
    const char* words;
};
constexpr Caption kCaptions[] = {
    {"tblBOM", "Bill of Materials Lines"},
    {"tblBOMMaster", "Bills of Materials"},
    {"tblCablePairs", "Cable Pairs"},
    {"tblCables", "Cables"},
    {"tblCableTypes", "Cable Types"},
    {"tblChildCables", "Child Cables"},
    {"tblClientInfo", "Client Information"},
    {"tblCompany", "Company"},
    {"tblConnectors", "Connectors"},
    {"tblDrawings", "Drawings"},
    {"tblEquipment", "Equipment"},
    {"tblInputs", "Equipment Inputs"},
    {"tblJackFields", "Jackfield Types"},
    {"tblJF", "Jackfields"},
    {"tblJFRowCol", "Jackfield Jacks"},
    {"tblManufacturers", "Manufacturers"},
    {"tblOutputs", "Equipment Outputs"},
    {"tblpermissions", "Permissions"},
    {"tblProjects", "Projects"},
    {"tblRackBudgets", "Rack Budgets"},
    {"tblRackUnits", "Rack Units"},
    {"tblRTR", "Routers"},
    {"tblSystems", "Systems"},
    {"tblUsers", "Users"},
    {"SignalDefault", "Signal Types"},
};

// PostgreSQL folds the names the schema creates to lower case: they are given back in the
// program's spelling.
QString tableSpelling(db::DbId id, const QString& name) {
    const db::TableDef* t = db::findTable(db::kindOf(id), name);
    return t ? t->name : name;
}

QString columnSpelling(db::DbId id, const QString& table, const QString& column) {
    if (const db::TableDef* t = db::findTable(db::kindOf(id), table))
        if (const db::ColumnDef* c = t->column(column)) return c->name;
    return column;
}

// A column the program's schema defines takes its code from the definition, so that it is the
// same on both engines (SQLite stores dates as text); others are read from the catalogue.
std::optional<int> schemaTypeCode(db::DbId id, const QString& table, const QString& column) {
    const db::TableDef* t = db::findTable(db::kindOf(id), table);
    const db::ColumnDef* c = t ? t->column(column) : nullptr;
    if (!c) return std::nullopt;
    switch (c->type) {
        case db::ColType::Integer:
        case db::ColType::AutoKey:
            return code::Integer;
        case db::ColType::Real:
            return code::Double;
        case db::ColType::Bool:
            return code::Boolean;
        case db::ColType::DateTime:
            return code::Date;
        case db::ColType::Text:
        case db::ColType::ExactText:
        case db::ColType::Guid:
            break;
    }
    return code::LongText;
}

}  // namespace

// ---- type codes ---------------------------------------------------------------------------

// SQLite declares what a column holds in free words, read by SQLite's own affinity rules
// (INT, CHAR/CLOB/TEXT, BLOB, REAL/FLOA/DOUB) after the words that name a kind outright
// (BOOL, DATE, TIME, MONEY). PostgreSQL gives the type's own name (int4, citext, varchar,
// float8, numeric, bool, timestamp, bytea). Text without a declared length, which both
// engines store at any length, counts as long text (40 characters wide, growing), since a
// length of 0 would give the column no width.
int typeCode(db::Engine engine, const QString& declaredType, int* size) {
    const QString t = declaredType.trimmed().toUpper();
    static const QRegularExpression lengthRe(QStringLiteral("\\(\\s*(\\d+)"));
    const auto m = lengthRe.match(t);
    const int length = m.hasMatch() ? m.captured(1).toInt() : 0;
    if (size) *size = 0;
    const auto text = [&] {
        if (length > 0) {
            if (size) *size = length;
            return code::VarText;
        }
        return code::LongText;
    };
    if (engine == db::Engine::PostgreSQL) {
        const QString base = t.section(QLatin1Char('('), 0, 0).trimmed();
        if (base == QLatin1String("INT2") || base == QLatin1String("SMALLINT"))
            return code::SmallInt;
        if (base == QLatin1String("INT4") || base == QLatin1String("INTEGER")) return code::Integer;
        if (base == QLatin1String("INT8") || base == QLatin1String("BIGINT")) return code::BigInt;
        if (base == QLatin1String("FLOAT4") || base == QLatin1String("REAL")) return code::Single;
        if (base == QLatin1String("FLOAT8") || base.startsWith(QLatin1String("DOUBLE")))
            return code::Double;
        if (base == QLatin1String("NUMERIC") || base == QLatin1String("DECIMAL"))
            return code::Numeric;
        if (base == QLatin1String("MONEY")) return code::Currency;
        if (base == QLatin1String("BOOL") || base == QLatin1String("BOOLEAN")) return code::Boolean;
        if (base == QLatin1String("DATE") || base.startsWith(QLatin1String("TIMESTAMP")))
            return code::Date;
        if (base.startsWith(QLatin1String("TIME"))) return code::Time;
        if (base == QLatin1String("BYTEA")) return code::Binary;
        if (base == QLatin1String("BPCHAR") || base == QLatin1String("CHARACTER")) {
            if (size) *size = length;
            return code::Char;
        }
        if (base == QLatin1String("VARCHAR") || base.startsWith(QLatin1String("CHARACTER VARYING")))
            return text();
        if (base == QLatin1String("TEXT") || base == QLatin1String("CITEXT")) return text();
        return 0;
    }
    if (t.contains(QLatin1String("BOOL"))) return code::Boolean;
    if (t.contains(QLatin1String("DATE")) || t.contains(QLatin1String("TIMESTAMP")))
        return code::Date;
    if (t.contains(QLatin1String("TIME"))) return code::Time;
    if (t.contains(QLatin1String("MONEY")) || t.contains(QLatin1String("CURRENCY")))
        return code::Currency;
    if (t.contains(QLatin1String("BIGINT"))) return code::BigInt;
    if (t.contains(QLatin1String("INT"))) return code::Integer;
    if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB")) ||
        t.contains(QLatin1String("TEXT")))
        return text();
    if (t.isEmpty() || t.contains(QLatin1String("BLOB"))) return code::Binary;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) ||
        t.contains(QLatin1String("DOUB")))
        return code::Double;
    return code::Numeric;
}

QString tableCaption(const QString& table) {
    for (const Caption& c : kCaptions)
        if (table.compare(QLatin1String(c.table), Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(c.words);
    // Another table: without the "tbl" of the program's names, its words apart.
    QString name = table;
    if (name.startsWith(QLatin1String("tbl"), Qt::CaseInsensitive) && name.size() > 3 &&
        name[3].isUpper())
        name.remove(0, 3);
    QString words;
    for (int i = 0; i < name.size(); ++i) {
        const QChar ch = name[i] == QLatin1Char('_') ? QLatin1Char(' ') : name[i];
        const bool wordStart = i > 0 && ch.isUpper() && name[i - 1].isLower();
        if (wordStart) words += QLatin1Char(' ');
        words += ch;
    }
    return words.simplified();
}

QString typeName(int typeCode) {
    switch (typeCode) {
        case code::Integer:
            return QStringLiteral("dbInteger");
        case code::Numeric:
            return QStringLiteral("dbNumeric");
        case code::Single:
            return QStringLiteral("dbSingle");
        case code::Decimal:
            return QStringLiteral("dbDecimal");
        case code::Currency:
            return QStringLiteral("dbCurrency");
        case code::Double:
            return QStringLiteral("dbDouble");
        case code::BigInt:
            return QStringLiteral("dbBigInt");
        case code::Boolean:
            return QStringLiteral("dbBoolean");
        case 17:
            return QStringLiteral("dbByte");
        case code::Date:
            return QStringLiteral("dbDate");
        case code::Time:
            return QStringLiteral("dbTime");
        case code::TimeStamp:
            return QStringLiteral("dbTimeStamp");
        case code::Char:
            return QStringLiteral("dbChar");
        case code::LongText:
            return QStringLiteral("dbMemo");
        case code::VarText:
            return QStringLiteral("dbText");
        case code::VarBinary:
            return QStringLiteral("dbVarBinary");
        case code::Binary:
            return QStringLiteral("dbLongBinary");
        default:
            return {};
    }
}

// ---- schema -------------------------------------------------------------------------------

QString Relation::pkFieldName() const {
    return bracketed(tablePrimary, columnPrimary);
}

QString Relation::fkFieldName() const {
    return bracketed(tableForeign, columnForeign);
}

void DataSource::reset() {
    registry_ = nullptr;
    tables_.clear();
    relations_.clear();
    fields_.clear();
}

void DataSource::open(db::DbId id, db::Connections& registry) {
    reset();
    const db::Engine engine = registry.engine(id);
    QList<TableInfo> tables;
    QList<Relation> relations;
    if (engine == db::Engine::SQLite) {
        db::Query q(id,
                    QStringLiteral("select name from sqlite_master where type = 'table' order by "
                                   "name collate nocase"),
                    registry);
        q.exec();
        while (q.next()) {
            const QString name = q.value(0).toString();
            tables << TableInfo{name, isSystemTable(name)};
        }
        for (const TableInfo& t : std::as_const(tables)) {
            if (t.isSystem) continue;
            // One relation per column pair of each foreign key; a key naming no parent
            // column refers to the parent's primary key.
            db::Query fk(id, QStringLiteral("pragma foreign_key_list(\"%1\")").arg(t.name),
                         registry);
            fk.exec();
            while (fk.next()) {
                Relation r;
                r.tablePrimary = tableSpelling(id, fk.value(2).toString());
                r.tableForeign = t.name;
                r.columnForeign = fk.value(3).toString();
                r.columnPrimary = fk.value(4).toString();
                r.name = QStringLiteral("FK_%1_%2_%3")
                             .arg(t.name, r.tablePrimary, fk.value(0).toString());
                relations << r;
            }
        }
        for (Relation& r : relations) {
            if (!r.columnPrimary.isEmpty()) continue;
            db::Query pk(id, QStringLiteral("pragma table_info(\"%1\")").arg(r.tablePrimary),
                         registry);
            pk.exec();
            while (pk.next())
                if (pk.value(5).toInt() == 1) r.columnPrimary = pk.value(1).toString();
        }
    } else {
        db::Query q(id,
                    QStringLiteral("select table_name from information_schema.tables where "
                                   "table_schema = current_schema() and table_type = 'BASE "
                                   "TABLE' order by table_name"),
                    registry);
        q.exec();
        while (q.next()) {
            const QString name = q.value(0).toString();
            tables << TableInfo{tableSpelling(id, name), isSystemTable(name)};
        }
        db::Query fk(
            id,
            QStringLiteral("select c.conname, pt.relname, pa.attname, ft.relname, fa.attname "
                           "from pg_constraint c join pg_class ft on ft.oid = c.conrelid "
                           "join pg_class pt on pt.oid = c.confrelid "
                           "join pg_namespace n on n.oid = ft.relnamespace "
                           "cross join lateral unnest(c.conkey, c.confkey) as k(fk, pk) "
                           "join pg_attribute fa on fa.attrelid = c.conrelid and fa.attnum = k.fk "
                           "join pg_attribute pa on pa.attrelid = c.confrelid and pa.attnum = k.pk "
                           "where c.contype = 'f' and n.nspname = current_schema() "
                           "order by ft.relname, c.conname"),
            registry);
        fk.exec();
        while (fk.next()) {
            Relation r;
            r.name = fk.value(0).toString();
            r.tablePrimary = tableSpelling(id, fk.value(1).toString());
            r.columnPrimary = columnSpelling(id, r.tablePrimary, fk.value(2).toString());
            r.tableForeign = tableSpelling(id, fk.value(3).toString());
            r.columnForeign = columnSpelling(id, r.tableForeign, fk.value(4).toString());
            relations << r;
        }
    }
    registry_ = &registry;
    id_ = id;
    tables_ = tables;
    relations_ = relations;
}

QList<FieldInfo> DataSource::fields(const QString& table) {
    if (!registry_) return {};
    const QString key = table.toLower();
    if (auto it = fields_.constFind(key); it != fields_.cend()) return *it;
    const auto known = std::find_if(tables_.cbegin(), tables_.cend(),
                                    [&](const TableInfo& t) { return same(t.name, table); });
    if (known == tables_.cend()) return {};
    QList<FieldInfo> out;
    const db::Engine engine = registry_->engine(id_);
    if (engine == db::Engine::SQLite) {
        db::Query q(id_, QStringLiteral("pragma table_info(\"%1\")").arg(known->name), *registry_);
        q.exec();
        while (q.next()) {
            FieldInfo f;
            f.name = q.value(1).toString();
            f.type = typeCode(engine, q.value(2).toString(), &f.size);
            if (const auto defined = schemaTypeCode(id_, known->name, f.name)) f.type = *defined;
            out << f;
        }
    } else {
        db::Query q(id_,
                    QStringLiteral("select column_name, udt_name, character_maximum_length from "
                                   "information_schema.columns where table_schema = "
                                   "current_schema() and lower(table_name) = lower(?) "
                                   "order by ordinal_position"),
                    *registry_);
        q.bind(known->name);
        q.exec();
        while (q.next()) {
            FieldInfo f;
            f.name = columnSpelling(id_, known->name, q.value(0).toString());
            const int length = q.value(2).isNull() ? 0 : q.value(2).toInt();
            QString declared = q.value(1).toString();
            if (length > 0) declared += QStringLiteral("(%1)").arg(length);
            f.type = typeCode(engine, declared, &f.size);
            if (const auto defined = schemaTypeCode(id_, known->name, f.name)) f.type = *defined;
            out << f;
        }
    }
    fields_.insert(key, out);
    return out;
}

std::optional<Relation> DataSource::relationFor(const QString& a, const QString& b) const {
    for (const Relation& r : relations_) {
        if ((same(r.tablePrimary, a) && same(r.tableForeign, b)) ||
            (same(r.tablePrimary, b) && same(r.tableForeign, a)))
            return r;
    }
    return std::nullopt;
}

// ---- choices ------------------------------------------------------------------------------

db::DbId databaseOf(const Choices& choices) {
    switch (choices.database) {
        case 0:
            return db::DbId::Equipment;
        case 2:
            return db::DbId::PM;
        default:
            return db::DbId::Project;
    }
}

const QList<ReportStyle>& reportStyles() {
    static const QList<ReportStyle> styles = [] {
        const auto font = [](const char* family, double size, bool bold = false,
                             bool italic = false) {
            return StyleFont{QString::fromLatin1(family), size, bold, italic};
        };
        const QColor black(0, 0, 0);
        // Colours as red, green, blue (0xC0C000 written blue-green-red is teal).
        return QList<ReportStyle>{
            {QStringLiteral("Bold"), font("Times New Roman", 20, true), font("Arial", 10, true),
             font("Times New Roman", 9), QColor(), 1, black, 3},
            {QStringLiteral("Casual"), font("Arial", 20, true), font("Arial", 10, true),
             font("Arial", 9), QColor(), 5, QColor(0x00, 0xC0, 0xC0), 3},
            {QStringLiteral("Compact"), font("Haettenschweiler", 28),
             font("Haettenschweiler", 10, true), font("Arial", 9), QColor(), 1, black, 1},
            {QStringLiteral("Corporate"), font("Times New Roman", 20, true, true),
             font("Times New Roman", 10, true, true), font("Arial", 9), QColor(), 1,
             QColor(0xC0, 0xC0, 0xC0), 5},
            {QStringLiteral("Formal"), font("Times New Roman", 20, true),
             font("Times New Roman", 10, true), font("Times New Roman", 9), QColor(), 1, black, 1},
            // The soft grey style's detail text is set in the sans face of its headings.
            {QStringLiteral("Soft Gray"), font("Arial", 20, true), font("Arial", 10, true),
             font("Arial", 9), QColor(0xC0, 0xC0, 0xC0), 0, black, 1},
        };
    }();
    return styles;
}

QString installedFamily(const QString& family) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return family;
    const QStringList installed = QFontDatabase::families();
    const auto has = [&](const QString& f) { return installed.contains(f, Qt::CaseInsensitive); };
    if (has(family)) return family;
    // Faces made to the same measures first, then the common faces of a Linux desktop.
    static const QMap<QString, QStringList> near{
        {QStringLiteral("times new roman"),
         {"Liberation Serif", "Tinos", "DejaVu Serif", "Noto Serif", "FreeSerif"}},
        {QStringLiteral("arial"),
         {"Liberation Sans", "Arimo", "DejaVu Sans", "Noto Sans", "FreeSans"}},
        {QStringLiteral("haettenschweiler"),
         {"Liberation Sans Narrow", "DejaVu Sans Condensed", "Noto Sans Condensed",
          "Liberation Sans", "DejaVu Sans"}},
    };
    for (const QString& candidate : near.value(family.toLower()))
        if (has(candidate)) return candidate;
    QFont probe(family);
    return QFontInfo(probe).family();
}

QString problemWith(const Choices& choices) {
    if (choices.tables.isEmpty()) return QStringLiteral("Choose at least one table.");
    if (choices.fields.isEmpty()) return QStringLiteral("Choose at least one field.");
    for (const SelectedField& f : choices.fields)
        if (!choices.tables.contains(f.table, Qt::CaseInsensitive))
            return QStringLiteral("The field %1 belongs to %2, which is not chosen.")
                .arg(f.field, f.table);
    return {};
}

QString warningFor(const Choices& choices) {
    // A chosen table after the first that is not joined to the others multiplies the report:
    // every row of one with every row of the other.
    if (choices.tables.size() > 1) {
        QStringList joined{choices.tables.first()};
        bool grew = true;
        while (grew) {
            grew = false;
            for (const Relation& r : choices.relations) {
                const bool p = joined.contains(r.tablePrimary, Qt::CaseInsensitive);
                const bool f = joined.contains(r.tableForeign, Qt::CaseInsensitive);
                if (p != f) {
                    joined << (p ? r.tableForeign : r.tablePrimary);
                    grew = true;
                }
            }
        }
        for (const QString& t : choices.tables)
            if (!joined.contains(t, Qt::CaseInsensitive))
                return QStringLiteral(
                           "No relation joins %1 to the other tables chosen: the "
                           "report will give each of its rows with every row of "
                           "theirs. Make the report all the same?")
                    .arg(t);
    }
    return {};
}

QString generateSql(const Choices& choices) {
    if (choices.fields.isEmpty()) return {};
    const bool prefixed = choices.tables.size() > 1;
    QStringList fields;
    for (const SelectedField& f : choices.fields) {
        if (!prefixed) {
            fields << QStringLiteral("[%1]").arg(f.field);
            continue;
        }
        // A name two chosen tables share comes back named by table and field, as the
        // controls bound to it expect (table + "." + field); both engines would otherwise
        // give the bare name twice.
        int sharing = 0;
        for (const SelectedField& g : choices.fields) sharing += same(g.field, f.field) ? 1 : 0;
        fields << bracketed(f.table, f.field) +
                      (sharing > 1 ? QStringLiteral(" AS [%1.%2]").arg(f.table, f.field)
                                   : QString());
    }
    QStringList tables;
    for (const QString& t : choices.tables) tables << QStringLiteral("[%1]").arg(t);
    QString sql = QStringLiteral("SELECT ") + fields.join(QStringLiteral(", ")) +
                  QStringLiteral(" FROM ") + tables.join(QStringLiteral(", "));
    if (!choices.relations.isEmpty()) {
        QStringList joins;
        for (const Relation& r : choices.relations) joins << r.text();
        sql += QStringLiteral(" WHERE ") + joins.join(QStringLiteral(" AND "));
    }
    QList<SortField> order;
    for (const GroupField& g : choices.groups) order << SortField{g.table, g.field, false};
    return sql + orderByClause(order + choices.sorts, bracketed);
}

QString summary(const Choices& choices) {
    QStringList lines;
    lines << QStringLiteral("Report Title: ") + choices.title
          << QStringLiteral("Connection String = ") + choices.connection
          << QStringLiteral("Selected Fields: ");
    for (const SelectedField& f : choices.fields)
        lines << QStringLiteral("%1.%2 Type = %3 Width = %4")
                     .arg(f.table, f.field, typeName(f.type))
                     .arg(f.size);
    lines << QStringLiteral("From Tables: ");
    for (const QString& t : choices.tables) lines << t;
    lines << QStringLiteral("Summary Group Levels: ");
    for (const GroupField& g : choices.groups)
        lines << QStringLiteral("%1.%2 Group Option = %3").arg(g.table, g.field, g.option);
    lines << QStringLiteral("Order By: ");
    for (const SortField& s : choices.sorts)
        lines << QStringLiteral("%1.%2 Sort Order = %3")
                     .arg(s.table, s.field,
                          s.descending ? QStringLiteral("Dec") : QStringLiteral("Asc"));
    return lines.join(QStringLiteral("\r\n"));
}

QString cleanName(const QString& name) {
    QString out;
    for (QChar c : name) {
        const QChar u = c.toUpper();
        if ((u >= QLatin1Char('A') && u <= QLatin1Char('Z')) ||
            (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_'))
            out += c;
    }
    return out;
}

// ---- layout -------------------------------------------------------------------------------

namespace {

ReportFont reportFont(const StyleFont& f) {
    ReportFont font;
    font.family = installedFamily(f.family);
    font.pointSize = f.size;
    font.bold = f.bold;
    font.italic = f.italic;
    return font;
}

// The width a field takes, in character units, its alignment and whether it may grow.
struct FieldShape {
    double units = 0;  // 0: the control's default width
    HAlign align = HAlign::Left;
    bool canGrow = false;
    int height = 300;
    QString format;
};

FieldShape shapeOf(const SelectedField& f) {
    FieldShape s;
    switch (f.type) {
        case code::VarText:
            if (f.size < 51) {
                s.units = f.size;
            } else {
                s.units = 40;
                s.canGrow = true;
            }
            break;
        case code::LongText:
            s.units = 40;
            s.canGrow = true;
            break;
        case code::Integer:
        case code::Numeric:
            s.units = 7;
            s.align = HAlign::Right;
            break;
        case code::Decimal:
        case code::Double:
        case code::Single:
        case code::Currency:
        case code::BigInt:
        case code::SmallInt:
            s.units = 8;
            s.align = HAlign::Right;
            if (f.type == code::Currency) s.format = QStringLiteral("$###,##0.00");
            break;
        case code::Date:
        case code::Time:
            s.units = 6;
            s.align = HAlign::Right;
            break;
        case code::Binary:
            s.units = 25;
            s.height = 1800;
            break;
        case code::Boolean:
            s.units = 3;
            break;
        default:
            break;
    }
    return s;
}

// A control's default width, when its type gives none: one inch.
constexpr int kDefaultWidth = 1440;

// The gap between two columns, twips.
constexpr int kColumnGap = 100;

// The widths of a row of columns that fits the width, and whether they had to give way: each
// column, check boxes aside, gives up the same share of its width.
QList<int> fitRow(const QList<int>& natural, const QList<bool>& fixed, int width, bool* squeezed) {
    long long total = kColumnGap * (natural.size() - 1), flexible = 0;
    for (int i = 0; i < natural.size(); ++i) {
        total += natural[i];
        if (!fixed[i]) flexible += natural[i];
    }
    *squeezed = total > width && flexible > 0;
    if (!*squeezed) return natural;
    const double share = std::max(0.0, double(flexible - (total - width)) / double(flexible));
    QList<int> widths;
    for (int i = 0; i < natural.size(); ++i)
        widths << (fixed[i] ? natural[i] : std::max(1, int(std::floor(natural[i] * share))));
    return widths;
}

}  // namespace

double characterUnit(const StyleFont& font) {
    // Measured at 1440 dots per inch, a dot is a twip.
    QImage device(1, 1, QImage::Format_RGB32);
    device.setDotsPerMeterX(qRound(kTwipsPerInch / 0.0254));
    device.setDotsPerMeterY(qRound(kTwipsPerInch / 0.0254));
    QFont f(installedFamily(font.family));
    f.setPointSizeF(font.size);
    f.setBold(font.bold);
    f.setItalic(font.italic);
    return QFontMetricsF(f, &device).horizontalAdvance(QLatin1Char('M'));
}

ReportLayout generateLayout(const Choices& choices, const PageSetup& page) {
    const ReportStyle& style =
        reportStyles().value(std::clamp(choices.style, 0, int(reportStyles().size()) - 1));
    ReportLayout layout;
    layout.name = choices.title.isEmpty() ? QStringLiteral("Report1") : choices.title;
    layout.page = page;
    layout.data = DataControl{QStringLiteral("DC1"), keyForDatabase(databaseOf(choices)),
                              generateSql(choices)};
    const double w = characterUnit(style.detail);
    const ReportFont detailFont = reportFont(style.detail);
    const ReportFont headingFont = reportFont(style.heading);

    // A field binds by its bare name unless another chosen table has a field of that name.
    const auto boundName = [&](const QString& table, const QString& field) {
        int sameName = 0;
        for (const SelectedField& f : choices.fields) sameName += same(f.field, field) ? 1 : 0;
        return sameName <= 1 ? field : table + QLatin1Char('.') + field;
    };

    // The detail is one row of columns under their labels. A row too wide for a portrait page
    // turns the report landscape; too wide for that, the columns narrow and their text wraps
    // within the row. When the report runs, the columns take the widths their values need.
    QList<int> natural;
    QList<bool> fixed;
    for (const SelectedField& f : choices.fields) {
        const FieldShape shape = shapeOf(f);
        natural << (shape.units > 0 ? int(std::lround(shape.units * w)) : kDefaultWidth);
        fixed << (f.type == code::Boolean);
    }
    bool squeezed = false;
    QList<int> widths = fitRow(natural, fixed, layout.page.printableWidth(), &squeezed);
    if (squeezed && !layout.page.landscape) {
        layout.page.landscape = true;
        widths = fitRow(natural, fixed, layout.page.printableWidth(), &squeezed);
    }
    const int printable = layout.page.printableWidth();
    int left = 0, detailHeight = 300;
    for (int i = 0; i < choices.fields.size(); ++i) {
        const SelectedField& f = choices.fields[i];
        const FieldShape shape = shapeOf(f);
        const QString base = cleanName(f.table + QLatin1Char('_') + f.field);
        Control c;
        c.kind = f.type == code::Boolean  ? ControlKind::CheckBox
                 : f.type == code::Binary ? ControlKind::Picture
                                          : ControlKind::Field;
        c.name = (c.kind == ControlKind::CheckBox  ? QStringLiteral("chk")
                  : c.kind == ControlKind::Picture ? QStringLiteral("ole")
                                                   : QStringLiteral("txt")) +
                 base;
        c.rect = QRect(left, 0, widths[i], shape.height);
        c.text = boundName(f.table, f.field);
        c.format = shape.format;
        c.font = detailFont;
        c.align = shape.align;
        c.canGrow = shape.canGrow || (squeezed && widths[i] < natural[i]);
        layout.detail.controls << c;
        detailHeight = std::max(detailHeight, shape.height);

        Control label;
        label.kind = ControlKind::Label;
        label.name = QStringLiteral("lbl") + base;
        label.text = f.field;
        label.font = headingFont;
        label.align = shape.align;
        label.canGrow = true;  // a long field name wraps rather than running into the next
        label.rect = QRect(left, 0, widths[i], 300);
        layout.pageHeader.controls << label;
        left += widths[i] + kColumnGap;
    }
    layout.detail.name = QStringLiteral("Detail");
    layout.detail.height = detailHeight + 15;
    layout.detail.canGrow = true;
    layout.detail.fitColumns = true;
    layout.pageHeader.name = QStringLiteral("PageHeader");
    layout.pageHeader.height = 315;

    for (const GroupField& g : choices.groups) {
        QString name = g.field;
        name.remove(QLatin1Char(' '));
        Group group;
        group.field = boundName(g.table, g.field);
        group.header.name = name + QStringLiteral("gh");
        group.footer.name = name + QStringLiteral("gf");
        Control value;
        value.kind = ControlKind::Field;
        value.name = QStringLiteral("txtGV") + cleanName(g.field);
        value.text = group.field;
        value.font = headingFont;
        value.font.pointSize = 12;
        value.font.bold = true;
        value.rect = QRect(0, 0, printable, 12 * 300 / 8);
        group.header.controls << value;
        group.header.height = value.rect.height();
        group.footer.height = 200;
        layout.groups << group;
    }

    layout.reportHeader.name = QStringLiteral("ReportHeader");
    layout.reportFooter.name = QStringLiteral("ReportFooter");
    layout.reportHeader.height = 200;
    layout.reportFooter.height = 200;
    if (style.back.isValid()) layout.reportHeader.backColor = style.back;
    if (style.lineStyle != 0) {
        for (int i = 0; i <= style.rules; ++i) {
            Control rule;
            rule.kind = ControlKind::Line;
            rule.name = QStringLiteral("Line%1").arg(i + 1);
            rule.rect = QRect(QPoint(0, i), QPoint(printable, i));
            rule.lineWidth = 1;
            rule.foreColor = style.lineColor;
            rule.lineStyle = style.lineStyle == 2   ? LineStyle::Dash
                             : style.lineStyle == 3 ? LineStyle::Dot
                             : style.lineStyle >= 4 ? LineStyle::DashDot
                                                    : LineStyle::Solid;
            layout.reportHeader.controls << rule;
        }
    }
    Control title;
    title.kind = ControlKind::Label;
    title.name = QStringLiteral("lblReportTitle");
    title.text = choices.title;
    title.font = reportFont(style.title);
    title.align = HAlign::Center;
    title.rect = QRect(0, 5, printable, int(std::lround(style.title.size / 8 * 300)));
    layout.reportHeader.controls << title;
    layout.reportHeader.height = std::max(layout.reportHeader.height, title.rect.bottom() + 1);
    return layout;
}

}  // namespace tolvane::reports::wizard
