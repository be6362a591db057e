// Export and import of the library as comma-separated files. Each file is described once
// below: its columns with the kind of value each takes, the rows it exports and the routine
// that writes one checked line of it. Import reads and checks every file before
// it writes anything, so that a file that cannot be read changes nothing.
#include "equipment/library_exchange.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>
#include <QStringDecoder>
#include <cmath>
#include <functional>
#include <limits>

#include "db/records/cable_types.h"
#include "db/records/equipment_models.h"
#include "db/records/library_jackfields.h"
#include "db/records/manufacturers.h"
#include "db/records/pins.h"
#include "db/records/row_reader.h"
#include "db/records/signal_types.h"
#include "db/records/table_copy.h"
#include "equipment/cable_catalogue.h"
#include "equipment/csv.h"
#include "shell/user_file.h"
#include "ui/ui.h"

namespace tolvane::equipment {

namespace {

// Name: a text that names a row or is quoted by others (a key, a manufacturer's name).
enum class Kind { Text, Name, Id, Real, Integer, Flag, Color, List, Scheme };

struct Column {
    QString name;
    Kind kind = Kind::Text;
    bool required = false;  // must be in the header and must not be empty
    // The range of a whole number.
    int least = std::numeric_limits<int>::min();
    int most = std::numeric_limits<int>::max();
};

class Importer;

struct FileDef {
    QString file;
    QList<Column> columns;
    // The rows of the file: per row the values of the columns in their order.
    std::function<QList<QVariantList>(db::Connections&)> exportRows;
    // Writes one checked line; returns why it was refused, or an empty text when written.
    std::function<QString(Importer&, const QVariantList&)> write;
};

// ---- values -------------------------------------------------------------------------------

QString exportText(Kind kind, const QVariant& v) {
    if (v.isNull()) return kind == Kind::Flag ? QStringLiteral("0") : QString();
    switch (kind) {
        case Kind::Flag:
            return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
        case Kind::Real:
            return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
        case Kind::Integer:
            return QString::number(v.toLongLong());
        case Kind::Color:
            return db::SignalColor::fromStored(v).text();
        default:
            return v.toString();
    }
}

// The field as the value its column stores; an error text when it is not one.
struct Converted {
    QVariant value;
    QString error;
};

Converted convert(const Column& c, const QString& field) {
    const QString t = field.trimmed();
    const QVariant nullText(QMetaType(QMetaType::QString));
    if (c.required && t.isEmpty())
        return {{}, QStringLiteral("empty required field %1").arg(c.name)};
    // A NUL is refused everywhere (a server ends or refuses the text there); names and keys,
    // which are looked up, listed and drawn, take no control character at all.
    const bool name = c.kind == Kind::Name || c.kind == Kind::Id;
    for (const QChar ch : field)
        if (ch.isNull() || (name && ch.category() == QChar::Other_Control))
            return {{},
                    QStringLiteral("%1 holds the control character U+%2")
                        .arg(c.name, QString::number(ch.unicode(), 16)
                                         .toUpper()
                                         .rightJustified(4, QLatin1Char('0')))};
    switch (c.kind) {
        case Kind::Text:
        case Kind::Name:
            return {t.isEmpty() ? nullText : QVariant(field), {}};
        case Kind::Id:
            if (t.size() > 8)
                return {{}, QStringLiteral("%1 %2 is longer than eight characters").arg(c.name, t)};
            return {t.isEmpty() ? nullText : QVariant(t.toUpper()), {}};
        case Kind::Real: {
            if (t.isEmpty()) return {QVariant(QMetaType(QMetaType::Double)), {}};
            bool ok = false;
            const double v = t.toDouble(&ok);
            if (!ok || !std::isfinite(v))
                return {{}, QStringLiteral("bad number in %1: \"%2\"").arg(c.name, field)};
            return {v, {}};
        }
        case Kind::Integer: {
            if (t.isEmpty()) return {QVariant(QMetaType(QMetaType::Int)), {}};
            bool ok = false;
            const int v = t.toInt(&ok);
            if (!ok)
                return {{}, QStringLiteral("bad whole number in %1: \"%2\"").arg(c.name, field)};
            if (v < c.least && c.most == std::numeric_limits<int>::max())
                return {{}, QStringLiteral("%1 must be at least %2").arg(c.name).arg(c.least)};
            if (v < c.least || v > c.most)
                return {{},
                        QStringLiteral("%1 must be from %2 to %3")
                            .arg(c.name)
                            .arg(c.least)
                            .arg(c.most)};
            return {v, {}};
        }
        case Kind::Flag: {
            const QString l = t.toLower();
            if (l.isEmpty() || l == QLatin1String("0") || l == QLatin1String("false") ||
                l == QLatin1String("no"))
                return {false, {}};
            if (l == QLatin1String("1") || l == QLatin1String("-1") || l == QLatin1String("true") ||
                l == QLatin1String("yes"))
                return {true, {}};
            return {{}, QStringLiteral("bad yes/no value in %1: \"%2\"").arg(c.name, field)};
        }
        case Kind::Color: {
            const std::optional<db::SignalColor> color = db::SignalColor::parse(t);
            if (!color)
                return {{},
                        QStringLiteral("bad colour in %1: \"%2\" (1 to 255 or Same As Layer)")
                            .arg(c.name, field)};
            return {color->stored(), {}};
        }
        case Kind::List:
            if (t.compare(u"Input", Qt::CaseInsensitive) == 0) return {QStringLiteral("Input"), {}};
            if (t.compare(u"Output", Qt::CaseInsensitive) == 0)
                return {QStringLiteral("Output"), {}};
            return {{},
                    QStringLiteral("%1 must be Input or Output, not \"%2\"").arg(c.name, field)};
        case Kind::Scheme:
            if (t.isEmpty()) return {nullText, {}};
            for (const char* s : {db::kNumberedScheme, db::kColorCodedScheme})
                if (t.compare(QLatin1String(s), Qt::CaseInsensitive) == 0)
                    return {QString::fromLatin1(s), {}};
            return {{},
                    QStringLiteral("%1 must be Numbered or Color Coded, not \"%2\"")
                        .arg(c.name, field)};
    }
    return {field, {}};
}

// ---- writing lines ------------------------------------------------------------------------

QStringList namesOf(const QList<Column>& columns) {
    QStringList names;
    for (const Column& c : columns) names << c.name;
    return names;
}

// The tables one import looks rows up in and writes to. Files that are their table's columns
// as they are (models, jackfields, connectors, cable types) are copied column by column.
struct Importer {
    explicit Importer(db::Connections& r)
        : manufacturers(r),
          signalTypes(r),
          connectors(r),
          models(r),
          pins(r),
          jackfields(r),
          cableTypes(r),
          copy(db::DbId::Equipment, r) {}

    void insert(const QString& table, const QList<Column>& columns, const QVariantList& values) {
        copy.insert(table, namesOf(columns), values);
    }
    bool hasManufacturer(const QVariant& id) {
        return manufacturers.find(id.toString()).has_value();
    }

    db::ManufacturerTable manufacturers;
    db::SignalTypeTable signalTypes;
    db::ConnectorTable connectors;
    db::EquipmentModelTable models;
    db::PinTable pins;
    db::LibraryJackfieldTable jackfields;
    db::CableTypeTable cableTypes;
    db::TableCopy copy;
};

// The export of a file that is its table's columns as they are.
std::function<QList<QVariantList>(db::Connections&)> copiedFrom(const char* table,
                                                                const QList<Column>& columns,
                                                                const QStringList& order) {
    return
        [table = QString::fromLatin1(table), names = namesOf(columns), order](db::Connections& r) {
            return db::TableCopy(db::DbId::Equipment, r).rows(table, names, order);
        };
}

Column text(const char* name, bool required = false) {
    return {QString::fromLatin1(name), Kind::Text, required};
}
Column of(const char* name, Kind kind, bool required = false) {
    return {QString::fromLatin1(name), kind, required};
}
Column name(const char* name, bool required = false) {
    return of(name, Kind::Name, required);
}
Column whole(const char* name, int least, int most = std::numeric_limits<int>::max()) {
    Column c = of(name, Kind::Integer);
    c.least = least;
    c.most = most;
    return c;
}

QString unknownManufacturer(const QVariant& id) {
    return QStringLiteral("unknown manufacturer %1").arg(id.toString());
}

const std::vector<FileDef>& files() {
    static const std::vector<FileDef> defs = [] {
        std::vector<FileDef> d;
        const QList<Column> manufacturers = {
            of("ManufacturerID", Kind::Id, true), name("ManufacturerName"),
            of("DisplayInEquipment", Kind::Flag), of("DisplayInJackFields", Kind::Flag),
            of("DisplayInRouters", Kind::Flag),   of("DisplayInJboxes", Kind::Flag),
            of("DisplayInCableTypes", Kind::Flag)};
        d.push_back(
            {QStringLiteral("manufacturers.csv"), manufacturers,
             [](db::Connections& r) {
                 QList<QVariantList> rows;
                 for (const db::ManufacturerRecord& m : db::ManufacturerTable(r).all())
                     rows << QVariantList{m.id,      m.name,   m.equipment, m.jackFields,
                                          m.routers, m.jboxes, m.cableTypes};
                 return rows;
             },
             [](Importer& im, const QVariantList& v) {
                 if (im.hasManufacturer(v[0]))
                     return QStringLiteral("duplicate manufacturer %1").arg(v[0].toString());
                 im.manufacturers.insert({v[0].toString(), v[1].toString(), v[2].toBool(),
                                          v[3].toBool(), v[4].toBool(), v[5].toBool(),
                                          v[6].toBool()});
                 return QString();
             }});

        const QList<Column> connectors = {name("Connector", true), text("connvendor1"),
                                          text("connvendor2"), of("conncost1", Kind::Real),
                                          of("conncost2", Kind::Real)};
        d.push_back({QStringLiteral("connectors.csv"), connectors,
                     copiedFrom("tblConnectors", connectors, {QStringLiteral("Connector")}),
                     [connectors](Importer& im, const QVariantList& v) {
                         if (im.connectors.exists(v[0].toString()))
                             return QStringLiteral("duplicate connector %1").arg(v[0].toString());
                         im.insert(QStringLiteral("tblConnectors"), connectors, v);
                         return QString();
                     }});

        const QList<Column> signalTypes = {name("Type", true), of("Color", Kind::Color),
                                           name("CableNoPrefix"), text("CableManu"),
                                           text("CableType")};
        d.push_back({QStringLiteral("signal_types.csv"), signalTypes,
                     [](db::Connections& r) {
                         // Rows without a type are the library's own business: they are not sent.
                         QList<QVariantList> rows;
                         for (const db::SignalTypeRecord& s : db::SignalTypeTable(r).all())
                             if (!s.type.isNull())
                                 rows << QVariantList{s.type, s.color.stored(), s.cableNoPrefix,
                                                      s.cableManu, s.cableType};
                         return rows;
                     },
                     [](Importer& im, const QVariantList& v) {
                         if (!im.signalTypes.withType(v[0].toString()).isEmpty())
                             return QStringLiteral("duplicate signal type %1").arg(v[0].toString());
                         im.signalTypes.insert({v[0].toString(), db::SignalColor::fromStored(v[1]),
                                                v[2].toString(), v[3].toString(), v[4].toString()});
                         return QString();
                     }});

        // The physical data of equipment and jackfield models, in the order both files keep.
        const QList<Column> physical = {
            of("EquipmentH", Kind::Real), of("EquipmentW", Kind::Real),
            of("EquipmentD", Kind::Real), of("EquipmentWeight", Kind::Real),
            of("EquipmentV", Kind::Real), of("EquipmentP", Kind::Real),
            text("EquipmentHValue"),      text("equipmentVValue")};

        const QList<Column> models =
            QList<Column>{of("ManufacturerID", Kind::Id, true), name("EquipmentName", true),
                          text("EquipmentDescription"), text("EquipmentType")} +
            physical +
            QList<Column>{of("DisplayASDA", Kind::Flag),    of("DABlock", Kind::Flag),
                          text("EquipmentVendor1"),         text("EquipmentVendor2"),
                          of("EquipmentCost1", Kind::Real), of("EquipmentCost2", Kind::Real)};
        d.push_back({QStringLiteral("equipment.csv"), models,
                     copiedFrom("tblEquipment", models,
                                {QStringLiteral("ManufacturerID"), QStringLiteral("EquipmentName"),
                                 QStringLiteral("EquipmentID")}),
                     [models](Importer& im, const QVariantList& v) {
                         if (!im.hasManufacturer(v[0])) return unknownManufacturer(v[0]);
                         if (im.models.idOf(v[0].toString(), v[1].toString()))
                             return QStringLiteral("duplicate equipment model %1 of %2")
                                 .arg(v[1].toString(), v[0].toString());
                         im.insert(QStringLiteral("tblEquipment"), models, v);
                         return QString();
                     }});

        d.push_back(
            {QStringLiteral("equipment_io.csv"),
             {of("ManufacturerID", Kind::Id, true), name("EquipmentName", true),
              of("List", Kind::List, true), name("Name", true), text("Type"), text("conn"),
              text("PinType"), of("DisplayOrder", Kind::Integer)},
             [](db::Connections& r) {
                 QList<QVariantList> rows;
                 for (const db::ModelPin& m : db::PinTable(r).withModels())
                     rows << QVariantList{m.manufacturerId,
                                          m.modelName,
                                          m.list == db::PinList::Inputs ? QStringLiteral("Input")
                                                                        : QStringLiteral("Output"),
                                          m.pin.name,
                                          m.pin.type,
                                          m.pin.conn,
                                          m.pin.pinType,
                                          db::boundValue(m.pin.displayOrder)};
                 return rows;
             },
             [](Importer& im, const QVariantList& v) {
                 const std::optional<qint64> model =
                     im.models.idOf(v[0].toString(), v[1].toString());
                 if (!model)
                     return QStringLiteral("unknown equipment model %1 of %2")
                         .arg(v[1].toString(), v[0].toString());
                 const bool input = v[2].toString() == QLatin1String("Input");
                 const db::PinList list = input ? db::PinList::Inputs : db::PinList::Outputs;
                 if (im.pins.named(list, *model, v[3].toString()))
                     return QStringLiteral("duplicate %1 %2 of %3")
                         .arg(input ? QStringLiteral("input") : QStringLiteral("output"),
                              v[3].toString(), v[1].toString());
                 const std::optional<qint64> order =
                     v[7].isNull() ? std::nullopt : std::optional<qint64>(v[7].toLongLong());
                 im.pins.insert(list, {db::PinRecord{0, *model, v[3].toString(), v[4].toString(),
                                                     v[5].toString(), v[6].toString(), order}});
                 return QString();
             }});

        // A model without a row or a column cannot be sent to a project.
        const QList<Column> jackfields =
            QList<Column>{of("ManufacturerID", Kind::Id, true),
                          name("JackFieldName", true),
                          text("EquipmentDescription"),
                          whole("JFRows", 1),
                          whole("JFCols", 1),
                          text("FrontConn"),
                          text("RearConn")} +
            physical +
            QList<Column>{text("jfvendor1"), text("jfvendor2"), of("jfcost1", Kind::Real),
                          of("jfcost2", Kind::Real)};
        d.push_back({QStringLiteral("jackfields.csv"), jackfields,
                     copiedFrom("tblJackFields", jackfields,
                                {QStringLiteral("ManufacturerID"), QStringLiteral("JackFieldName"),
                                 QStringLiteral("JackFieldID")}),
                     [jackfields](Importer& im, const QVariantList& v) {
                         if (!im.hasManufacturer(v[0])) return unknownManufacturer(v[0]);
                         if (im.jackfields.idOf(v[0].toString(), v[1].toString()))
                             return QStringLiteral("duplicate jackfield %1 of %2")
                                 .arg(v[1].toString(), v[0].toString());
                         im.insert(QStringLiteral("tblJackFields"), jackfields, v);
                         return QString();
                     }});

        const QList<Column> cableTypes = {of("ManufacturerID", Kind::Id, true),
                                          name("CableType", true),
                                          text("cabledescription"),
                                          text("CableRating"),
                                          text("CableCharZ"),
                                          text("cableGuage"),
                                          text("cableConductors"),
                                          text("CableShielding"),
                                          whole("cablecorenumber", 1, kMaxCores),
                                          of("CableCoreScheme", Kind::Scheme),
                                          of("cablemulticore", Kind::Flag),
                                          text("CableVendor1"),
                                          text("CableVendor2"),
                                          of("CableCost1", Kind::Real),
                                          of("CableCost2", Kind::Real)};
        d.push_back({QStringLiteral("cable_types.csv"), cableTypes,
                     copiedFrom("tblCableTypes", cableTypes,
                                {QStringLiteral("ManufacturerID"), QStringLiteral("CableType"),
                                 QStringLiteral("CableTypeID")}),
                     [cableTypes](Importer& im, const QVariantList& v) {
                         if (!im.hasManufacturer(v[0])) return unknownManufacturer(v[0]);
                         if (im.cableTypes.idOf(v[0].toString(), v[1].toString()))
                             return QStringLiteral("duplicate cable type %1 of %2")
                                 .arg(v[1].toString(), v[0].toString());
                         im.insert(QStringLiteral("tblCableTypes"), cableTypes, v);
                         return QString();
                     }});

        d.push_back(
            {QStringLiteral("cable_cores.csv"),
             {of("ManufacturerID", Kind::Id, true), name("CableType", true),
              name("PairNumber", true), text("paircolorcode")},
             [](db::Connections& r) {
                 QList<QVariantList> rows;
                 for (const db::TypedCore& c : db::CableTypeTable(r).typedCores())
                     rows << QVariantList{c.manufacturerId, c.partNumber, c.core.number,
                                          c.core.marking};
                 return rows;
             },
             [](Importer& im, const QVariantList& v) {
                 // A spreadsheet may have dropped the leading zero of "01".
                 QString number = v[2].toString();
                 if (const QString t = number.trimmed(); t.size() == 1 && t[0].isDigit())
                     number = QStringLiteral("0") + t;
                 const std::optional<qint64> type =
                     im.cableTypes.idOf(v[0].toString(), v[1].toString());
                 if (!type)
                     return QStringLiteral("unknown cable type %1 of %2")
                         .arg(v[1].toString(), v[0].toString());
                 if (im.cableTypes.hasCore(*type, number))
                     return QStringLiteral("duplicate core %1 of %2").arg(number, v[1].toString());
                 im.cableTypes.insertCores({{0, *type, number, v[3].toString()}});
                 return QString();
             }});
        return d;
    }();
    return defs;
}

// ---- reading files ------------------------------------------------------------------------

// A file of the folder read and checked: its records after the header, each record's
// fields placed at the column they belong to (-1: the column is not in the file).
struct ReadFile {
    const FileDef* def = nullptr;
    QList<CsvRecord> records;
    QList<int> fieldOf;  // per column of def: index of its field in a record, or -1
    int headerFields = 0;
};

// The path of a file in the folder, letter case aside; empty when there is none. Whatever
// bears the name is found, a folder or a pipe too, so that it is refused rather than passed
// over.
QString findIn(const QDir& dir, const QString& name) {
    for (const QString& entry :
         dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot))
        if (entry.compare(name, Qt::CaseInsensitive) == 0) return dir.filePath(entry);
    return {};
}

// The lines of the text, as the reader counts them (CR LF, LF or CR ends one).
qsizetype lineCount(const QByteArray& bytes) {
    qsizetype lines = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\n' ||
            (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n')))
            ++lines;
    if (!bytes.isEmpty() && bytes.back() != '\n' && bytes.back() != '\r') ++lines;
    return lines;
}

// Reads and checks a file's text and header; returns why the file cannot be read.
QString readText(const QByteArray& bytes, const FileDef& def, ReadFile& out) {
    if (lineCount(bytes) > LibraryExchange::kMaxFileLines)
        return QStringLiteral("it has more than %1 lines")
            .arg(QLocale(QLocale::English).toString(LibraryExchange::kMaxFileLines));
    QStringDecoder decode(QStringDecoder::Utf8);
    QString text = decode(bytes);
    if (decode.hasError()) return QStringLiteral("it is not UTF-8 text");
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    QList<CsvRecord> records = parseCsv(text);
    if (records.isEmpty()) return QStringLiteral("it has no header row");
    const CsvRecord header = records.takeFirst();
    if (!header.error.isEmpty())
        return QStringLiteral("its header row is damaged (%1)").arg(header.error);
    out.def = &def;
    out.headerFields = int(header.fields.size());
    out.fieldOf = QList<int>(def.columns.size(), -1);
    for (int i = 0; i < header.fields.size(); ++i) {
        const QString name = header.fields[i].trimmed();
        int column = -1;
        for (int c = 0; c < def.columns.size(); ++c)
            if (def.columns[c].name.compare(name, Qt::CaseInsensitive) == 0) column = c;
        if (column < 0)
            return QStringLiteral("its header names an unknown column \"%1\"").arg(name);
        if (out.fieldOf[column] >= 0)
            return QStringLiteral("its header names the column %1 twice").arg(name);
        out.fieldOf[column] = i;
    }
    for (int c = 0; c < def.columns.size(); ++c)
        if (def.columns[c].required && out.fieldOf[c] < 0)
            return QStringLiteral("its header lacks the column %1").arg(def.columns[c].name);
    out.records = std::move(records);
    return {};
}

// Reads a file of the folder: only a regular file, of a bounded size.
QString readFile(const QString& path, const FileDef& def, ReadFile& out) {
    const UserFile file = readUserFile(path, LibraryExchange::kMaxFileBytes);
    if (!file.ok()) return file.error;
    return readText(file.bytes, def, out);
}

// The line's values in the order of the file's columns; an error text when one is wrong.
QString lineValues(const ReadFile& f, const CsvRecord& r, QVariantList& values) {
    if (!r.error.isEmpty()) return r.error;
    if (r.fields.size() != f.headerFields)
        return QStringLiteral("%1 fields where the header has %2")
            .arg(r.fields.size())
            .arg(f.headerFields);
    values.clear();
    for (int c = 0; c < f.def->columns.size(); ++c) {
        const int i = f.fieldOf[c];
        const Converted v = convert(f.def->columns[c], i < 0 ? QString() : r.fields[i]);
        if (!v.error.isEmpty()) return v.error;
        values << v.value;
    }
    return {};
}

constexpr int kReportedLines = 20;

}  // namespace

QStringList LibraryExchange::fileNames() {
    QStringList names;
    for (const FileDef& d : files()) names << d.file;
    return names;
}

QStringList LibraryExchange::checkText(const QString& fileName, const QByteArray& bytes) {
    QStringList refused;
    for (const FileDef& d : files()) {
        if (d.file.compare(fileName, Qt::CaseInsensitive) != 0) continue;
        ReadFile f;
        const QString why = readText(bytes, d, f);
        if (!why.isEmpty()) return {why};
        QVariantList values;
        for (const CsvRecord& r : f.records)
            if (const QString line = lineValues(f, r, values); !line.isEmpty())
                refused << QStringLiteral("line %1: %2").arg(r.line).arg(line);
    }
    return refused;
}

// ---- export -------------------------------------------------------------------------------

bool LibraryExchange::exportLibrary() {
    FileDialogOptions o;
    o.title = QStringLiteral("Export the Library to a Folder");
    o.mustExist = true;
    const std::optional<QString> folder = a_.ui.chooseFolder(o);
    if (!folder) return false;
    const QDir dir(*folder);
    bool present = false;
    for (const FileDef& d : files()) present = present || !findIn(dir, d.file).isEmpty();
    if (present && a_.ui.message(QStringLiteral("The folder %1 already holds library files. "
                                                "Replace them?")
                                     .arg(QDir::toNativeSeparators(*folder)),
                                 MsgButtons::YesNo, MsgIcon::Question) != MsgButton::Yes)
        return false;
    const std::optional<QList<qint64>> rows = exportTo(*folder);
    if (!rows) return false;
    QString text =
        QStringLiteral("The library was written to %1:").arg(QDir::toNativeSeparators(*folder));
    const QStringList names = fileNames();
    for (int i = 0; i < names.size() && i < rows->size(); ++i)
        text += QStringLiteral("\n%1: %2 rows").arg(names[i]).arg((*rows)[i]);
    a_.ui.message(text, MsgButtons::Ok, MsgIcon::Information);
    return true;
}

std::optional<QList<qint64>> LibraryExchange::exportTo(const QString& folder) {
    const QDir dir(folder);
    std::vector<QList<QVariantList>> rows;
    qint64 total = 0;
    for (const FileDef& d : files()) {
        rows.push_back(d.exportRows(a_.registry));
        total += rows.back().size();
    }
    const bool showProgress = total > kProgressFrom;
    const QString progressText = QStringLiteral("Exporting the library");
    auto endProgress = qScopeGuard([&] {
        if (showProgress) a_.ui.progress(progressText, 0, 0);
    });
    qint64 done = 0;
    QList<qint64> written;
    for (size_t f = 0; f < files().size(); ++f) {
        const FileDef& d = files()[f];
        QStringList lines;
        lines << csvLine(namesOf(d.columns));
        for (const QVariantList& row : rows[f]) {
            QStringList fields;
            for (int c = 0; c < d.columns.size(); ++c)
                fields << exportText(d.columns[c].kind, row.value(c));
            lines << csvLine(fields);
            if (showProgress && ++done % 100 == 0) a_.ui.progress(progressText, done, total);
        }
        written << lines.size() - 1;
        // An existing file of another letter case is the one replaced.
        QString path = findIn(dir, d.file);
        if (path.isEmpty()) path = dir.filePath(d.file);
        QSaveFile out(path);
        const QByteArray bytes =
            (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
            a_.ui.message(QStringLiteral("The file %1 could not be written: %2")
                              .arg(QDir::toNativeSeparators(path), out.errorString()),
                          MsgButtons::Ok, MsgIcon::Warning);
            return std::nullopt;
        }
    }
    return written;
}

// ---- import -------------------------------------------------------------------------------

std::optional<ImportReport> LibraryExchange::importLibrary() {
    if (!a_.allowed(key::Add)) return ImportReport{};
    FileDialogOptions o;
    o.title = QStringLiteral("Import the Library from a Folder");
    o.mustExist = true;
    const std::optional<QString> folder = a_.ui.chooseFolder(o);
    if (!folder) return std::nullopt;
    return importAllowed(*folder);
}

ImportReport LibraryExchange::importFrom(const QString& folder) {
    if (!a_.allowed(key::Add)) return ImportReport{};
    return importAllowed(folder);
}

ImportReport LibraryExchange::importAllowed(const QString& folder) {
    ImportReport report;
    const QDir dir(folder);
    std::vector<ReadFile> read;
    for (const FileDef& d : files()) {
        const QString path = findIn(dir, d.file);
        if (path.isEmpty()) continue;
        ReadFile f;
        const QString why = readFile(path, d, f);
        if (!why.isEmpty()) {
            a_.ui.message(QStringLiteral("The file %1 cannot be read: %2. Nothing was imported.")
                              .arg(QDir::toNativeSeparators(path), why),
                          MsgButtons::Ok, MsgIcon::Warning);
            return report;
        }
        read.push_back(std::move(f));
    }
    if (read.empty()) {
        a_.ui.message(
            QStringLiteral("The folder %1 holds none of the library files (%2).")
                .arg(QDir::toNativeSeparators(folder), fileNames().join(QStringLiteral(", "))),
            MsgButtons::Ok, MsgIcon::Warning);
        return report;
    }

    qint64 total = 0;
    for (const ReadFile& f : read) total += f.records.size();
    const bool showProgress = total > kProgressFrom;
    const QString progressText = QStringLiteral("Importing the library");
    qint64 done = 0;
    // A failure of the database ends the progress display too.
    auto endProgress = qScopeGuard([&] {
        if (showProgress) a_.ui.progress(progressText, 0, 0);
    });

    db::Transaction t(db::DbId::Equipment, a_.registry);
    Importer importer(a_.registry);
    QVariantList values;
    for (const ReadFile& f : read) {
        for (const CsvRecord& r : f.records) {
            QString why = lineValues(f, r, values);
            if (why.isEmpty()) why = f.def->write(importer, values);
            if (why.isEmpty())
                ++report.added;
            else
                report.rejected
                    << QStringLiteral("%1 line %2: %3").arg(f.def->file).arg(r.line).arg(why);
            if (showProgress && ++done % 100 == 0) a_.ui.progress(progressText, done, total);
        }
    }
    t.commit();
    endProgress.dismiss();
    if (showProgress) a_.ui.progress(progressText, 0, 0);
    report.done = true;

    QString text = QStringLiteral("%1 rows were added to the library.").arg(report.added);
    if (!report.rejected.isEmpty()) {
        text += QStringLiteral(" %1 lines were not imported:").arg(report.rejected.size());
        for (const QString& line : report.rejected.mid(0, kReportedLines))
            text += QStringLiteral("\n") + line;
        if (report.rejected.size() > kReportedLines)
            text +=
                QStringLiteral("\n... and %1 more").arg(report.rejected.size() - kReportedLines);
    }
    a_.ui.message(text, MsgButtons::Ok,
                  report.rejected.isEmpty() ? MsgIcon::Information : MsgIcon::Warning);
    return report;
}

}  // namespace tolvane::equipment
