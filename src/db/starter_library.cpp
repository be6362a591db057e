// The starter content of a new installation. The data are static tables below; each table
// is written with one prepared insert and one prepared key lookup, so a row that is already
// there (a second run, or a library the user has extended) is left alone. Every starter row
// carries the row identity every installation gives it, derived from what identifies it (its
// table and key, a child's from its parent's identity): two installations' starter libraries
// are the same rows to a merge.
#include "db/starter_library.h"

#include <QStringList>
#include <QUuid>
#include <optional>
#include <vector>

#include "db/merge.h"
#include "db/preferences.h"
#include "db/schema.h"

namespace tolvane::db {

namespace {

// ---- writing rows -------------------------------------------------------------------------

// The namespace of the starter rows' identities.
const QUuid kStarterIdentities(QStringLiteral("5fe3e82c-e97b-4ed6-8f28-7f554a453ff2"));

// What the starter rows are written for: a new database gains the rows it lacks; an existing
// one whose starter rows have identities of their own (made before they were fixed) only has
// them given the fixed ones, gaining no row.
enum class Writing { Seed, Adopt };

// One table of one database: finds rows by their key and adds the missing ones, each with a
// statement prepared once. Values are bound in the kind the schema gives the column, so the
// data below need not care whether a column is text or number. Columns listed as optional
// are left out when this schema has no such column.
class TableWriter {
  public:
    // A row as ensure() found or added it: its id (or 1) and its row identity; a null id when
    // it is not there (adopting only).
    struct Row {
        QVariant id;
        QString guid;
    };

    TableWriter(DbId db, Connections& registry, Writing writing, const QString& table,
                const QStringList& key, const QStringList& columns,
                const QStringList& optional = {}, const QString& idColumn = {})
        : def_(findTable(kindOf(db), table)), writing_(writing), hasId_(!idColumn.isEmpty()) {
        if (!def_)
            throw DbError(db, QStringLiteral("has no table %1").arg(table),
                          QStringLiteral("unknown table"));
        hasGuid_ = def_->merged;
        for (int i = 0; i < columns.size(); ++i) {
            if (!def_->column(columns[i]) && optional.contains(columns[i], Qt::CaseInsensitive))
                continue;
            used_ << i;
            names_ << columns[i];
        }
        for (const QString& n : names_) types_ << typeOf(n);
        QStringList inserted = names_;
        if (hasGuid_) inserted << kGuidColumn;
        QStringList marks(inserted.size(), QStringLiteral("?"));
        insert_.emplace(db,
                        QStringLiteral("insert into %1 (%2) values (%3)")
                            .arg(def_->name, inserted.join(QStringLiteral(", ")),
                                 marks.join(QStringLiteral(", "))),
                        registry);
        QStringList where;
        for (const QString& k : key) {
            where << k + QStringLiteral(" = ?");
            keyTypes_ << typeOf(k);
        }
        const QString whereText =
            where.isEmpty() ? QString() : QStringLiteral(" where ") + where.join(" and ");
        QStringList select{hasId_ ? idColumn : QStringLiteral("1")};
        if (hasGuid_) select << kGuidColumn;
        lookup_.emplace(db,
                        QStringLiteral("select %1 from %2%3")
                            .arg(select.join(QStringLiteral(", ")), def_->name, whereText),
                        registry);
        if (!hasGuid_ || writing_ != Writing::Adopt) return;
        // A row's identity is given on its id, so that a key two rows share (a pin name
        // entered twice) gives it to one of them; where there is no id the key is unique.
        adopt_.emplace(db,
                       QStringLiteral("update %1 set %2 = ?%3")
                           .arg(def_->name, kGuidColumn,
                                hasId_ ? QStringLiteral(" where %1 = ?").arg(idColumn) : whereText),
                       registry);
        // Rows a merge set aside name the row they lost to by its identity.
        if (existingTables(db, registry).contains((def_->name + kConflictSuffix).toLower()))
            renameInConflicts_.emplace(db,
                                       QStringLiteral("update %1 set %2 = ? where %2 = ?")
                                           .arg(def_->name + kConflictSuffix, kConflictRowGuid),
                                       registry);
    }

    // The row with this key, or a null id when there is none.
    Row find(const QVariantList& key) {
        for (int i = 0; i < key.size(); ++i) lookup_->sql().bindValue(i, as(keyTypes_[i], key[i]));
        lookup_->exec();
        Row found;
        if (lookup_->next()) {
            found.id = lookup_->value(0);
            if (hasGuid_) found.guid = lookup_->value(1).toString();
        }
        lookup_->sql().finish();
        return found;
    }

    // The row whose key is the first keyColumns values of row, added when it is not there
    // (seeding), with the identity derived from the key, or from `identity` when given (a
    // child's: its parent's identity and its own name). A row found with another identity is
    // given this one.
    Row ensure(const QVariantList& row, int keyColumns, const QStringList& identity = {}) {
        const QVariantList key = row.mid(0, keyColumns);
        QStringList parts = identity;
        if (parts.isEmpty())
            for (const QVariant& k : key) parts << k.toString();
        const QString guid = starterGuid(parts);
        Row found = find(key);
        if (!found.id.isNull()) {
            if (adopt_ && found.guid.compare(guid, Qt::CaseInsensitive) != 0) {
                adopt_->sql().bindValue(0, guid);
                if (hasId_) {
                    adopt_->sql().bindValue(1, found.id);
                } else {
                    for (int i = 0; i < key.size(); ++i)
                        adopt_->sql().bindValue(i + 1, as(keyTypes_[i], key[i]));
                }
                adopt_->exec();
                if (renameInConflicts_) {
                    renameInConflicts_->sql().bindValue(0, guid);
                    renameInConflicts_->sql().bindValue(1, found.guid);
                    renameInConflicts_->exec();
                }
            }
            found.guid = guid;
            return found;
        }
        if (writing_ == Writing::Adopt) return {};
        add(row, guid);
        return {hasId_ ? find(key).id : QVariant(1), guid};
    }

    // Adds the row as it is, without looking for it; a table of one row has the identity of
    // its table.
    void add(const QVariantList& row, const QString& guid = {}) {
        if (writing_ == Writing::Adopt) return;
        int p = 0;
        for (int i : used_) {
            insert_->sql().bindValue(p, as(types_[p], row.value(i)));
            ++p;
        }
        if (hasGuid_) insert_->sql().bindValue(p, guid.isEmpty() ? starterGuid({}) : guid);
        insert_->exec();
    }

    const TableDef& def() const { return *def_; }

  private:
    QString starterGuid(const QStringList& identity) const {
        return QUuid::createUuidV5(kStarterIdentities,
                                   (QStringList{def_->name.toLower()} + identity).join(QChar(0x1f)))
            .toString(QUuid::WithoutBraces);
    }

    ColType typeOf(const QString& column) const {
        const ColumnDef* c = def_->column(column);
        return c ? c->type : ColType::Text;
    }
    // The value in the kind of its column; an empty text in a number column is null.
    static QVariant as(ColType type, const QVariant& v) {
        if (v.isNull() || !v.isValid()) return QVariant();
        switch (type) {
            case ColType::Text:
            case ColType::ExactText:
                return v.toString();
            case ColType::Integer:
            case ColType::AutoKey:
                if (v.typeId() == QMetaType::QString && v.toString().isEmpty()) return QVariant();
                return v.toLongLong();
            case ColType::Real:
                if (v.typeId() == QMetaType::QString && v.toString().isEmpty()) return QVariant();
                return v.toDouble();
            case ColType::Bool:
                return v.toBool();
            case ColType::DateTime:
            case ColType::Guid:
                return v;
        }
        return v;
    }

    const TableDef* def_;
    Writing writing_;
    bool hasId_;
    bool hasGuid_ = false;
    QList<int> used_;
    QStringList names_;
    QList<ColType> types_;
    QList<ColType> keyTypes_;
    std::optional<Query> insert_;
    std::optional<Query> lookup_;
    std::optional<Query> adopt_;
    std::optional<Query> renameInConflicts_;
};

QString text(const char* s) {
    return s ? QString::fromUtf8(s) : QString();
}
QVariant textOrNull(const char* s) {
    return s ? QVariant(QString::fromUtf8(s)) : QVariant();
}

// ---- the equipment library ----------------------------------------------------------------

struct Manufacturer {
    const char* id;
    const char* name;
    bool equipment, jackfields, routers, jboxes, cableTypes;
};

const Manufacturer kManufacturers[] = {
    {"AXIOM", "Axiom Signal Works", true, true, true, false, false},
    {"NORDVID", "Nordvid Imaging", true, false, false, false, false},
    {"HALVERN", "Halvern Audio", true, false, false, false, false},
    {"LUMETRA", "Lumetra Displays", true, false, false, false, false},
    {"TEMPORA", "Tempora Sync Systems", true, false, false, false, false},
    {"PARLEY", "Parley Intercom", true, false, false, false, false},
    {"NETHERON", "Netheron Networks", true, false, false, false, false},
    {"VOLTARC", "Voltarc Power", true, false, false, false, false},
    {"ORVANT", "Orvant Media Servers", true, false, false, false, false},
    {"TRELLIS", "Trellis Patch Systems", true, true, false, true, false},
    {"CORDAVO", "Cordavo Cable", false, false, false, false, true},
    {"FIBRELLE", "Fibrelle Optical", false, false, false, false, true},
    {"GENERIC", "Generic", true, true, true, true, true},
};

// Dealers the bill of materials names.
constexpr const char* kBrightline = "Brightline Pro Supply";
constexpr const char* kSignalhouse = "Signalhouse Distribution";
constexpr const char* kWestmark = "Westmark AV Wholesale";

struct Bom {
    const char* vendor1;
    double cost1;
    const char* vendor2;
    double cost2;
};

struct Connector {
    const char* name;
    Bom bom;
};

const Connector kConnectors[] = {
    {"BNC", {kBrightline, 3.20, kSignalhouse, 3.45}},
    {"HD-BNC", {kBrightline, 6.80, kSignalhouse, 7.10}},
    {"DIN1.0/2.3", {kBrightline, 5.90, kWestmark, 6.25}},
    {"XLR3F", {kBrightline, 4.75, kWestmark, 4.40}},
    {"XLR3M", {kBrightline, 4.25, kWestmark, 3.95}},
    {"XLR4F", {kBrightline, 6.10, kWestmark, 5.80}},
    {"XLR4M", {kBrightline, 5.70, kWestmark, 5.45}},
    {"RJ45", {kSignalhouse, 0.85, kWestmark, 0.90}},
    {"LC Duplex", {kSignalhouse, 4.60, kBrightline, 4.95}},
    {"SC", {kSignalhouse, 3.90, kBrightline, 4.10}},
    {"DB9", {kWestmark, 2.40, kSignalhouse, 2.65}},
    {"DB25", {kWestmark, 3.80, kSignalhouse, 4.05}},
    {"TRS 1/4\"", {kBrightline, 3.10, kWestmark, 2.95}},
    {"Bantam TT", {kBrightline, 5.50, kWestmark, 5.35}},
    {"3.5mm", {kWestmark, 1.20, kBrightline, 1.35}},
    {"RCA", {kWestmark, 1.10, kBrightline, 1.25}},
    {"HDMI", {kSignalhouse, 2.90, kWestmark, 3.15}},
    {"DisplayPort", {kSignalhouse, 3.40, kWestmark, 3.60}},
    {"SMPTE 311", {kBrightline, 185.00, kSignalhouse, 179.00}},
    {"Terminal Block", {kWestmark, 1.60, kSignalhouse, 1.75}},
    {"IEC C13", {kWestmark, 2.20, kBrightline, 2.35}},
    {"IEC C14", {kWestmark, 2.10, kBrightline, 2.25}},
    {"Midsize Video Jack", {kBrightline, 9.80, kSignalhouse, 10.20}},
    {"Mini Video Jack", {kBrightline, 11.40, kSignalhouse, 11.90}},
};

// The fixed type codes the equipment library's group buttons select ("AUD", "VID", "DATA",
// "CTL", "COM", "SYNC", "DGA", "DGV"), and a few more. CableManu names the manufacturer as
// the signal-type grid shows it (ManufacturerName).
struct SignalType {
    const char* type;
    int color;
    const char* prefix;
    const char* cableManu;
    const char* cableType;
};

const SignalType kSignalTypes[] = {
    {"AUD", 3, "A", "Cordavo Cable", "CA-2250"},
    {"VID", 2, "V", "Cordavo Cable", "CV-1505A"},
    {"DGA", 6, "D", "Cordavo Cable", "CA-2201"},
    {"DGV", 5, "S", "Cordavo Cable", "CV-1694HD"},
    {"DATA", 4, "N", "Cordavo Cable", "CD-6A24"},
    {"CTL", 30, "C", "Cordavo Cable", "CC-2206"},
    {"COM", 40, "K", "Cordavo Cable", "CC-2204I"},
    {"SYNC", 1, "R", "Cordavo Cable", "CV-1505A"},
    {"TC", 200, "T", "Cordavo Cable", "CA-2250"},
    {"FIBER", 150, "F", "Fibrelle Optical", "FO-SM02T"},
    {"POWER", 8, "P", "Cordavo Cable", "CP-1403"},
};

constexpr const char* kNumbered = "Numbered";
constexpr const char* kColorCoded = "Color Coded";

// Pair colours of the colour-coded audio multicore, and the usual fibre colour sequence.
const std::vector<const char*> kPairColors = {"Brown", "Red",   "Orange", "Yellow",
                                              "Green", "Blue",  "Violet", "Grey",
                                              "White", "Black", "Pink",   "Turquoise"};
const std::vector<const char*> kFiberColors = {"Blue",   "Orange", "Green", "Brown",
                                               "Slate",  "White",  "Red",   "Black",
                                               "Yellow", "Violet", "Rose",  "Aqua"};

// A manufacturer's product: cable type, equipment or jackfield model.
struct Product {
    const char* manufacturer;
    const char* name;
    const char* description;
};

struct CableData {
    const char* rating;
    const char* charZ;
    const char* gauge;
    const char* conductors;
    const char* shielding;
};

struct Cores {
    int count;
    const char* scheme;                      // multicore types only
    const std::vector<const char*>* colors;  // colour-coded types only
};

struct CableType {
    Product product;
    CableData data;
    Cores cores;
    Bom bom;  // costs per foot
};

const CableType kCableTypes[] = {
    {{"CORDAVO", "CV-1505A", "Precision video coax, RG59 type"},
     {"CMR", "75", "20 AWG", "1", "Foil + 95% copper braid"},
     {1, nullptr, nullptr},
     {kBrightline, 0.42, kSignalhouse, 0.45}},
    {{"CORDAVO", "CV-1694HD", "12G-SDI coax, RG6 type"},
     {"CMR", "75", "18 AWG", "1", "Foil + 95% tinned copper braid"},
     {1, nullptr, nullptr},
     {kBrightline, 0.68, kSignalhouse, 0.71}},
    {{"CORDAVO", "CV-1855M", "Mini HD coax, 3G/12G-SDI"},
     {"CMR", "75", "23 AWG", "1", "Foil + 90% copper braid"},
     {1, nullptr, nullptr},
     {kBrightline, 0.39, kSignalhouse, 0.41}},
    {{"CORDAVO", "CA-2201", "Digital audio, 1 pair, 110 ohm"},
     {"CMR", "110", "24 AWG", "2", "Foil + drain"},
     {1, nullptr, nullptr},
     {kBrightline, 0.31, kWestmark, 0.29}},
    {{"CORDAVO", "CA-2250", "Analogue audio, 1 pair, shielded"},
     {"CMR", "", "22 AWG", "2", "Foil + drain"},
     {1, nullptr, nullptr},
     {kBrightline, 0.24, kWestmark, 0.22}},
    {{"CORDAVO", "CA-2408N", "Audio multicore, 8 pairs, individually shielded, numbered"},
     {"CMR", "110", "24 AWG", "16", "Foil + drain per pair, overall jacket"},
     {8, kNumbered, nullptr},
     {kBrightline, 2.15, kWestmark, 2.05}},
    {{"CORDAVO", "CA-2412C", "Audio multicore, 12 pairs, individually shielded, colour coded"},
     {"CMR", "110", "24 AWG", "24", "Foil + drain per pair, overall jacket"},
     {12, kColorCoded, &kPairColors},
     {kBrightline, 3.05, kWestmark, 2.95}},
    {{"CORDAVO", "CA-2416A", "Digital audio multicore, 16 pairs, 110 ohm, numbered"},
     {"CMR", "110", "24 AWG", "32", "Foil + drain per pair, overall foil"},
     {16, kNumbered, nullptr},
     {kBrightline, 4.10, kWestmark, 3.98}},
    {{"CORDAVO", "CV-1504V", "Video multicore, 4 x mini 75 ohm coax, numbered"},
     {"CMR", "75", "23 AWG", "4", "Foil + braid per core"},
     {4, kNumbered, nullptr},
     {kBrightline, 2.60, kSignalhouse, 2.72}},
    {{"CORDAVO", "CD-6A24", "Category 6A data cable, U/FTP, 4 pairs"},
     {"CMR", "100", "23 AWG", "8", "Foil per pair"},
     {1, nullptr, nullptr},
     {kSignalhouse, 0.36, kWestmark, 0.34}},
    {{"CORDAVO", "CD-5E24", "Category 5e data cable, U/UTP, 4 pairs"},
     {"CMR", "100", "24 AWG", "8", "Unshielded"},
     {1, nullptr, nullptr},
     {kSignalhouse, 0.18, kWestmark, 0.17}},
    {{"CORDAVO", "CC-2206", "Control cable, 3 pairs, overall shield (RS-422/RS-232)"},
     {"CMR", "", "22 AWG", "6", "Overall foil + drain"},
     {1, nullptr, nullptr},
     {kWestmark, 0.33, kSignalhouse, 0.35}},
    {{"CORDAVO", "CC-2204I", "Intercom cable, 2 pairs, individually shielded"},
     {"CMR", "", "22 AWG", "4", "Foil + drain per pair"},
     {1, nullptr, nullptr},
     {kWestmark, 0.37, kSignalhouse, 0.39}},
    {{"CORDAVO", "CP-1403", "AC power cable, 3 conductors, SJT jacket"},
     {"SJT 300 V", "", "14 AWG", "3", "Unshielded"},
     {1, nullptr, nullptr},
     {kWestmark, 0.58, kBrightline, 0.61}},
    {{"FIBRELLE", "FO-SM02T", "Single-mode tactical fibre, 2 fibres"},
     {"OFNR", "", "", "2", "Aramid strength member"},
     {1, nullptr, nullptr},
     {kSignalhouse, 0.95, kBrightline, 0.99}},
    {{"FIBRELLE", "FO-SM12C", "Single-mode distribution fibre, 12 fibres, colour coded"},
     {"OFNR", "", "", "12", "Aramid strength member"},
     {12, kColorCoded, &kFiberColors},
     {kSignalhouse, 1.85, kBrightline, 1.92}},
    {{"FIBRELLE", "FO-HY311", "Hybrid camera cable: 2 single-mode fibres, 2 power, 2 control"},
     {"CMR", "", "16 AWG", "6", "Overall braid"},
     {1, nullptr, nullptr},
     {kBrightline, 4.80, kSignalhouse, 4.95}},
};

// Physical data: height (in rack units, or inches for free-standing items), width and depth
// (in), weight (lb), supply voltage and power (W).
struct Physical {
    double h, w, d, weight, v, p;
    const char* hUnit;
    const char* vUnit;
};

constexpr const char* kRU = "RU";
constexpr const char* kInch = "in";
constexpr const char* kVac = "VAC";
constexpr const char* kVdc = "VDC";

constexpr const char* kNormal = "Normal";
constexpr const char* kLoop = "Loop";  // a looped-through input

// A run of inputs or outputs: "%1" in the name is the number, counting from 1.
struct Pins {
    const char* name;
    int count;
    const char* type;
    const char* conn;
    const char* pinType = kNormal;
};

struct Model {
    Product product;
    const char* type;
    Physical physical;
    bool da;
    Bom bom;
    std::vector<Pins> inputs;
    std::vector<Pins> outputs;
};

const std::vector<Model>& models() {
    static const std::vector<Model> all = {
        // Routing and distribution.
        {{"AXIOM", "AX-R1616S", "16x16 3G-SDI router"},
         "Router",
         {2, 19, 14, 14.5, 120, 60, kRU, kVac},
         false,
         {kBrightline, 6850, kSignalhouse, 6990},
         {{"SDI IN %1", 16, "DGV", "BNC"},
          {"REF IN", 1, "SYNC", "BNC", kLoop},
          {"CTRL", 1, "CTL", "RJ45"}},
         {{"SDI OUT %1", 16, "DGV", "BNC"}}},
        {{"AXIOM", "AX-R3232A", "32x32 AES digital audio router"},
         "Router",
         {1, 19, 12, 9.8, 120, 45, kRU, kVac},
         false,
         {kBrightline, 5400, kSignalhouse, 5520},
         {{"AES IN %1", 32, "DGA", "DB25"},
          {"REF IN", 1, "SYNC", "BNC", kLoop},
          {"CTRL", 1, "CTL", "RJ45"}},
         {{"AES OUT %1", 32, "DGA", "DB25"}}},
        {{"AXIOM", "AX-R6464H", "64x64 12G-SDI router"},
         "Router",
         {4, 19, 18, 32, 120, 240, kRU, kVac},
         false,
         {kBrightline, 24800, kSignalhouse, 25400},
         {{"SDI IN %1", 64, "DGV", "HD-BNC"},
          {"REF IN", 1, "SYNC", "BNC", kLoop},
          {"CTRL", 1, "CTL", "RJ45"}},
         {{"SDI OUT %1", 64, "DGV", "HD-BNC"}}},
        {{"AXIOM", "AX-DA108V", "1x8 reclocking HD-SDI distribution amplifier"},
         "Distribution Amplifier",
         {1, 19, 8, 4.2, 120, 12, kRU, kVac},
         true,
         {kBrightline, 640, kSignalhouse, 655},
         {{"SDI IN", 1, "DGV", "BNC"}},
         {{"SDI OUT %1", 8, "DGV", "BNC"}}},
        {{"AXIOM", "AX-DA106A", "1x6 analogue audio distribution amplifier"},
         "Distribution Amplifier",
         {1, 19, 8, 3.9, 120, 10, kRU, kVac},
         true,
         {kBrightline, 420, kWestmark, 405},
         {{"AUDIO IN", 1, "AUD", "XLR3F"}},
         {{"AUDIO OUT %1", 6, "AUD", "XLR3M"}}},
        {{"AXIOM", "AX-DA104D", "1x4 AES digital audio distribution amplifier"},
         "Distribution Amplifier",
         {1, 19, 8, 3.7, 120, 9, kRU, kVac},
         true,
         {kBrightline, 455, kWestmark, 440},
         {{"AES IN", 1, "DGA", "BNC"}},
         {{"AES OUT %1", 4, "DGA", "BNC"}}},
        {{"AXIOM", "AX-DA108R", "1x8 reference distribution amplifier, black burst and tri-level"},
         "Distribution Amplifier",
         {1, 19, 8, 3.9, 120, 10, kRU, kVac},
         true,
         {kBrightline, 520, kSignalhouse, 535},
         {{"REF IN", 1, "SYNC", "BNC"}},
         {{"REF OUT %1", 8, "SYNC", "BNC"}}},
        {{"AXIOM", "AX-DA104VA", "1x4 analogue video distribution amplifier"},
         "Distribution Amplifier",
         {1, 19, 8, 3.6, 120, 8, kRU, kVac},
         true,
         {kBrightline, 310, kSignalhouse, 325},
         {{"VIDEO IN", 1, "VID", "BNC"}},
         {{"VIDEO OUT %1", 4, "VID", "BNC"}}},
        {{"AXIOM", "AX-FS200", "Two-channel 3G-SDI frame synchroniser"},
         "Frame Synchroniser",
         {1, 19, 12, 7.5, 120, 35, kRU, kVac},
         false,
         {kBrightline, 3150, kSignalhouse, 3220},
         {{"SDI IN %1", 2, "DGV", "BNC"},
          {"REF IN", 1, "SYNC", "BNC", kLoop},
          {"LAN", 1, "DATA", "RJ45"}},
         {{"SDI OUT %1", 4, "DGV", "BNC"}, {"AES OUT %1", 4, "DGA", "BNC"}}},

        // Cameras.
        {{"NORDVID", "NV-C400", "Studio camera head, 4K, hybrid fibre"},
         "Camera",
         {12, 13, 16, 21, 0, 110, kInch, kVdc},
         false,
         {kSignalhouse, 38500, kBrightline, 39200},
         {{"RET IN", 1, "DGV", "BNC"},
          {"MIC %1", 2, "AUD", "XLR3F"},
          {"PROMPT IN", 1, "VID", "BNC"}},
         {{"CCU LINK", 1, "FIBER", "SMPTE 311"},
          {"SDI OUT", 1, "DGV", "BNC"},
          {"HEADSET", 1, "COM", "XLR4F"}}},
        {{"NORDVID", "NV-CCU400", "Camera control unit for the NV-C400"},
         "Camera Control Unit",
         {2, 19, 17, 18, 120, 260, kRU, kVac},
         false,
         {kSignalhouse, 22400, kBrightline, 22900},
         {{"CAMERA LINK", 1, "FIBER", "SMPTE 311"},
          {"REF IN", 1, "SYNC", "BNC", kLoop},
          {"RET IN %1", 2, "DGV", "BNC"},
          {"PROMPT IN", 1, "VID", "BNC"},
          {"INTERCOM", 1, "COM", "XLR4F"},
          {"RCP", 1, "CTL", "RJ45"}},
         {{"SDI OUT %1", 4, "DGV", "BNC"},
          {"MIC OUT %1", 2, "AUD", "XLR3M"},
          {"MON OUT", 1, "VID", "BNC"}}},
        {{"NORDVID", "NV-RCP10", "Remote control panel for camera control units"},
         "Control Panel",
         {4, 6, 9, 3.3, 12, 8, kInch, kVdc},
         false,
         {kSignalhouse, 2950, kBrightline, 3010},
         {{"CCU LINK", 1, "CTL", "RJ45"}},
         {}},
        {{"NORDVID", "NV-PTZ20", "Pan/tilt/zoom camera, 20x, HD"},
         "Camera",
         {7, 6.5, 7, 5.1, 12, 24, kInch, kVdc},
         false,
         {kSignalhouse, 4600, kBrightline, 4690},
         {{"REF IN", 1, "SYNC", "BNC"},
          {"CTRL", 1, "CTL", "RJ45"},
          {"AUDIO IN", 1, "AUD", "3.5mm"}},
         {{"SDI OUT", 1, "DGV", "BNC"}, {"HDMI OUT", 1, "DGV", "HDMI"}}},

        // Converters, embedders, fibre.
        {{"NORDVID", "NV-EMB4", "Four-channel AES audio embedder, 3G-SDI"},
         "Embedder",
         {1, 4, 8, 0.9, 12, 6, kRU, kVdc},
         false,
         {kSignalhouse, 890, kBrightline, 905},
         {{"SDI IN", 1, "DGV", "BNC"},
          {"AES IN %1", 2, "DGA", "BNC"},
          {"REF IN", 1, "SYNC", "BNC", kLoop}},
         {{"SDI OUT %1", 2, "DGV", "BNC"}}},
        {{"NORDVID", "NV-DMX4", "Four-channel AES audio de-embedder, 3G-SDI"},
         "De-embedder",
         {1, 4, 8, 0.9, 12, 6, kRU, kVdc},
         false,
         {kSignalhouse, 860, kBrightline, 875},
         {{"SDI IN", 1, "DGV", "BNC"}},
         {{"SDI OUT", 1, "DGV", "BNC"},
          {"AES OUT %1", 2, "DGA", "BNC"},
          {"AUDIO OUT %1", 4, "AUD", "Terminal Block"}}},
        {{"NORDVID", "NV-UDC12", "12G-SDI up/down/cross converter"},
         "Converter",
         {1, 19, 10, 5.2, 120, 28, kRU, kVac},
         false,
         {kSignalhouse, 2450, kBrightline, 2510},
         {{"SDI IN", 1, "DGV", "BNC"},
          {"HDMI IN", 1, "DGV", "HDMI"},
          {"REF IN", 1, "SYNC", "BNC", kLoop}},
         {{"SDI OUT %1", 2, "DGV", "BNC"}, {"HDMI OUT", 1, "DGV", "HDMI"}}},
        {{"NORDVID", "NV-ADC2", "Analogue video and audio to SDI converter"},
         "Converter",
         {1, 4, 8, 0.8, 12, 5, kRU, kVdc},
         false,
         {kSignalhouse, 540, kBrightline, 555},
         {{"CVBS IN", 1, "VID", "BNC"},
          {"AUDIO IN L", 1, "AUD", "XLR3F"},
          {"AUDIO IN R", 1, "AUD", "XLR3F"}},
         {{"SDI OUT %1", 2, "DGV", "BNC"}}},
        {{"NORDVID", "NV-HDX1", "SDI to HDMI converter with SDI loop output"},
         "Converter",
         {1, 4, 5, 0.5, 12, 4, kRU, kVdc},
         false,
         {kSignalhouse, 295, kBrightline, 305},
         {{"SDI IN", 1, "DGV", "BNC"}},
         {{"HDMI OUT", 1, "DGV", "HDMI"}, {"SDI LOOP OUT", 1, "DGV", "BNC"}}},
        {{"NORDVID", "NV-FX12T", "12G-SDI fibre transceiver, single mode"},
         "Fibre Transceiver",
         {1, 4, 6, 0.6, 12, 5, kRU, kVdc},
         false,
         {kSignalhouse, 980, kBrightline, 1010},
         {{"SDI IN", 1, "DGV", "BNC"}, {"FIBER RX", 1, "FIBER", "LC Duplex"}},
         {{"SDI OUT", 1, "DGV", "BNC"}, {"FIBER TX", 1, "FIBER", "LC Duplex"}}},

        // Audio.
        {{"HALVERN", "HV-MX48", "48-input digital audio console"},
         "Audio Console",
         {9, 48, 30, 62, 120, 350, kInch, kVac},
         false,
         {kWestmark, 41800, kBrightline, 42500},
         {{"MIC %1", 48, "AUD", "XLR3F"},
          {"LINE IN %1", 8, "AUD", "TRS 1/4\""},
          {"AES IN %1", 4, "DGA", "XLR3F"},
          {"REF IN", 1, "SYNC", "BNC", kLoop},
          {"TC IN", 1, "TC", "XLR3F"},
          {"GPI", 1, "CTL", "DB9"}},
         {{"MAIN OUT L", 1, "AUD", "XLR3M"},
          {"MAIN OUT R", 1, "AUD", "XLR3M"},
          {"AUX OUT %1", 12, "AUD", "XLR3M"},
          {"GROUP OUT %1", 8, "AUD", "XLR3M"},
          {"AES OUT %1", 4, "DGA", "XLR3M"},
          {"MON OUT L", 1, "AUD", "TRS 1/4\""},
          {"MON OUT R", 1, "AUD", "TRS 1/4\""},
          {"HEADPHONE", 1, "AUD", "TRS 1/4\""},
          {"LAN", 1, "DATA", "RJ45"}}},
        {{"HALVERN", "HV-SB32", "Stage box, 32 microphone inputs, 8 line outputs"},
         "Remote I/O",
         {3, 19, 10, 16, 120, 90, kRU, kVac},
         false,
         {kWestmark, 6900, kBrightline, 7050},
         {{"MIC %1", 32, "AUD", "XLR3F"}, {"LINK IN", 1, "FIBER", "LC Duplex"}},
         {{"LINE OUT %1", 8, "AUD", "XLR3M"}, {"LINK OUT", 1, "FIBER", "LC Duplex"}}},
        {{"HALVERN", "HV-AD8", "Eight-channel analogue to AES converter"},
         "Converter",
         {1, 19, 9, 4.4, 120, 15, kRU, kVac},
         false,
         {kWestmark, 1650, kBrightline, 1690},
         {{"AUDIO IN %1", 8, "AUD", "DB25"}, {"REF IN", 1, "SYNC", "BNC", kLoop}},
         {{"AES OUT %1", 4, "DGA", "DB25"}}},
        {{"HALVERN", "HV-DA8", "Eight-channel AES to analogue converter"},
         "Converter",
         {1, 19, 9, 4.4, 120, 15, kRU, kVac},
         false,
         {kWestmark, 1590, kBrightline, 1630},
         {{"AES IN %1", 4, "DGA", "DB25"}, {"REF IN", 1, "SYNC", "BNC", kLoop}},
         {{"AUDIO OUT %1", 8, "AUD", "DB25"}}},
        {{"HALVERN", "HV-NF6", "Powered near-field monitor loudspeaker"},
         "Loudspeaker",
         {13, 8, 10, 17, 120, 140, kInch, kVac},
         false,
         {kWestmark, 780, kBrightline, 795},
         {{"AUDIO IN", 1, "AUD", "XLR3F"}, {"AC IN", 1, "POWER", "IEC C14"}},
         {}},

        // Monitoring.
        {{"LUMETRA", "LM-1700", "17 in broadcast monitor"},
         "Monitor",
         {4, 19, 4, 14, 120, 55, kRU, kVac},
         false,
         {kSignalhouse, 3250, kWestmark, 3310},
         {{"SDI IN A", 1, "DGV", "BNC", kLoop},
          {"SDI IN B", 1, "DGV", "BNC", kLoop},
          {"HDMI IN", 1, "DGV", "HDMI"},
          {"CVBS IN", 1, "VID", "BNC", kLoop},
          {"TALLY", 1, "CTL", "DB9"}},
         {}},
        {{"LUMETRA", "LM-2400", "24 in reference monitor"},
         "Monitor",
         {15, 22, 4, 19, 120, 95, kInch, kVac},
         false,
         {kSignalhouse, 8900, kWestmark, 9050},
         {{"SDI IN %1", 4, "DGV", "BNC"},
          {"HDMI IN", 1, "DGV", "HDMI"},
          {"LAN", 1, "DATA", "RJ45"}},
         {{"SDI OUT %1", 4, "DGV", "BNC"}}},
        {{"LUMETRA", "LM-MV16", "16-input multiviewer"},
         "Multiviewer",
         {1, 19, 14, 8.6, 120, 65, kRU, kVac},
         false,
         {kSignalhouse, 7400, kWestmark, 7550},
         {{"SDI IN %1", 16, "DGV", "BNC"},
          {"REF IN", 1, "SYNC", "BNC", kLoop},
          {"LAN", 1, "DATA", "RJ45"}},
         {{"HDMI OUT %1", 2, "DGV", "HDMI"},
          {"SDI OUT %1", 2, "DGV", "BNC"},
          {"DP OUT", 1, "DGV", "DisplayPort"}}},
        {{"LUMETRA", "LM-5500", "55 in multiviewer display"},
         "Monitor",
         {28, 49, 3, 42, 120, 180, kInch, kVac},
         false,
         {kSignalhouse, 2100, kWestmark, 2150},
         {{"HDMI IN %1", 2, "DGV", "HDMI"},
          {"DP IN", 1, "DGV", "DisplayPort"},
          {"RS232", 1, "CTL", "DB9"},
          {"AC IN", 1, "POWER", "IEC C14"}},
         {}},

        // Reference and timing.
        {{"TEMPORA", "TP-SPG8",
          "Sync pulse generator, black burst, tri-level, word clock, timecode"},
         "Sync Generator",
         {1, 19, 14, 8.2, 120, 40, kRU, kVac},
         false,
         {kBrightline, 5650, kSignalhouse, 5790},
         {{"GENLOCK IN", 1, "SYNC", "BNC", kLoop}, {"LTC IN", 1, "TC", "XLR3F"}},
         {{"BB OUT %1", 4, "SYNC", "BNC"},
          {"TRI OUT %1", 4, "SYNC", "BNC"},
          {"WC OUT %1", 2, "SYNC", "BNC"},
          {"AES REF OUT %1", 2, "SYNC", "XLR3M"},
          {"LTC OUT %1", 2, "TC", "XLR3M"},
          {"TEST SDI OUT %1", 2, "DGV", "BNC"},
          {"PTP", 1, "DATA", "RJ45"}}},
        {{"TEMPORA", "TP-CO8", "Reference changeover, eight outputs"},
         "Changeover",
         {1, 19, 8, 5.1, 120, 18, kRU, kVac},
         false,
         {kBrightline, 2350, kSignalhouse, 2410},
         {{"REF A IN %1", 8, "SYNC", "BNC"}, {"REF B IN %1", 8, "SYNC", "BNC"}},
         {{"REF OUT %1", 8, "SYNC", "BNC"}}},

        // Intercom.
        {{"PARLEY", "PY-MS32", "Intercom master station, 32 ports"},
         "Intercom",
         {2, 19, 12, 12.5, 120, 80, kRU, kVac},
         false,
         {kWestmark, 11600, kBrightline, 11850},
         {{"PROGRAM IN %1", 2, "AUD", "XLR3F"},
          {"LAN", 1, "DATA", "RJ45"},
          {"GPI IN", 1, "CTL", "DB25"}},
         {{"KEYPANEL %1", 16, "COM", "RJ45"},
          {"4W %1", 12, "COM", "RJ45"},
          {"PARTYLINE %1", 4, "COM", "XLR3F"},
          {"GPO OUT", 1, "CTL", "DB25"}}},
        {{"PARLEY", "PY-KP12", "Twelve-key intercom user panel"},
         "Intercom Panel",
         {1, 19, 5, 4.2, 120, 20, kRU, kVac},
         false,
         {kWestmark, 1850, kBrightline, 1890},
         {{"MATRIX", 1, "COM", "RJ45"}, {"PANEL MIC", 1, "AUD", "XLR4F"}},
         {{"HEADSET", 1, "COM", "XLR4F"}, {"SPEAKER OUT", 1, "AUD", "XLR3M"}}},
        {{"PARLEY", "PY-BP2", "Two-channel partyline beltpack"},
         "Intercom Beltpack",
         {5, 3, 2, 0.9, 30, 3, kInch, kVdc},
         false,
         {kWestmark, 690, kBrightline, 705},
         {{"PARTYLINE", 1, "COM", "XLR3M"}},
         {{"BP HEADSET", 1, "COM", "XLR4M"}}},

        // Networks, control, power.
        {{"NETHERON", "NT-SW24G", "24-port managed gigabit switch, four SFP uplinks"},
         "Network Switch",
         {1, 19, 10, 7.3, 120, 45, kRU, kVac},
         false,
         {kSignalhouse, 1950, kWestmark, 1990},
         {{"CONSOLE", 1, "CTL", "RJ45"}, {"AC IN", 1, "POWER", "IEC C14"}},
         {{"PORT %1", 24, "DATA", "RJ45"}, {"SFP %1", 4, "FIBER", "LC Duplex"}}},
        {{"NETHERON", "NT-GW8", "Control gateway, GPI/GPO and serial"},
         "Control Gateway",
         {1, 19, 7, 3.1, 120, 12, kRU, kVac},
         false,
         {kSignalhouse, 1250, kWestmark, 1280},
         {{"GPI %1", 8, "CTL", "Terminal Block"}, {"LAN", 1, "DATA", "RJ45"}},
         {{"GPO %1", 8, "CTL", "Terminal Block"}, {"SERIAL %1", 4, "CTL", "DB9"}}},
        {{"VOLTARC", "VA-PDU8", "Power distribution, eight outlets"},
         "Power Distribution",
         {1, 19, 8, 5.6, 120, 1800, kRU, kVac},
         false,
         {kWestmark, 310, kBrightline, 320},
         {{"AC IN", 1, "POWER", "IEC C14"}},
         {{"AC OUT %1", 8, "POWER", "IEC C13"}}},
        {{"VOLTARC", "VA-PDU16S", "Sequenced power distribution, sixteen outlets, networked"},
         "Power Distribution",
         {2, 19, 10, 11.2, 120, 3600, kRU, kVac},
         false,
         {kWestmark, 1140, kBrightline, 1175},
         {{"AC IN", 1, "POWER", "Terminal Block"}, {"CTRL", 1, "CTL", "RJ45"}},
         {{"AC OUT %1", 16, "POWER", "IEC C13"}}},

        // Playout.
        {{"ORVANT", "OV-MS4", "Four-channel media server, record and playout"},
         "Media Server",
         {2, 19, 24, 38, 120, 650, kRU, kVac},
         false,
         {kSignalhouse, 28900, kWestmark, 29500},
         {{"SDI IN %1", 2, "DGV", "BNC"},
          {"REF IN", 1, "SYNC", "BNC", kLoop},
          {"LTC IN", 1, "TC", "XLR3F"},
          {"LAN %1", 2, "DATA", "RJ45"},
          {"GPI", 1, "CTL", "DB25"}},
         {{"SDI OUT %1", 4, "DGV", "BNC"},
          {"AES OUT %1", 4, "DGA", "BNC"},
          {"HDMI MON", 1, "DGV", "HDMI"}}},

        // Patch equipment.
        {{"TRELLIS", "TR-FP24LC", "Fibre patch panel, 24 LC duplex ports"},
         "Patch Panel",
         {1, 19, 10, 4.8, 0, 0, kRU, kVac},
         false,
         {kBrightline, 420, kSignalhouse, 435},
         {{"REAR %1", 24, "FIBER", "LC Duplex"}},
         {{"FRONT %1", 24, "FIBER", "LC Duplex"}}},
        {{"TRELLIS", "TR-DP24", "Category 6A data patch panel, 24 ports"},
         "Patch Panel",
         {1, 19, 4, 2.6, 0, 0, kRU, kVac},
         false,
         {kBrightline, 180, kSignalhouse, 188},
         {{"REAR %1", 24, "DATA", "RJ45"}},
         {{"FRONT %1", 24, "DATA", "RJ45"}}},
        {{"TRELLIS", "TR-WB4X", "Wall box, four microphone inputs, two returns"},
         "Wall Box",
         {4.5, 7, 3, 1.4, 0, 0, kInch, kVac},
         false,
         {kBrightline, 95, kWestmark, 92},
         {{"MIC %1", 4, "AUD", "XLR3F"}, {"RETURN %1", 2, "AUD", "XLR3M"}},
         {{"MIC TIE %1", 4, "AUD", "Terminal Block"},
          {"RETURN TIE %1", 2, "AUD", "Terminal Block"}}},
    };
    return all;
}

struct Jacks {
    int rows, cols;
    const char* front;
    const char* rear;
};

struct JackField {
    Product product;
    Jacks jacks;
    Physical physical;
    Bom bom;
};

const JackField kJackFields[] = {
    {{"TRELLIS", "TR-VJ224", "2x24 video jackfield, normalled"},
     {2, 24, "Midsize Video Jack", "BNC"},
     {1, 19, 5, 3.8, 0, 0, kRU, kVac},
     {kBrightline, 1290, kSignalhouse, 1320}},
    {{"TRELLIS", "TR-HDJ224", "2x24 12G HD video jackfield, normalled"},
     {2, 24, "Mini Video Jack", "HD-BNC"},
     {1, 19, 5, 3.5, 0, 0, kRU, kVac},
     {kBrightline, 1640, kSignalhouse, 1690}},
    {{"TRELLIS", "TR-AB226", "2x26 bantam audio jackfield, terminal rear"},
     {2, 26, "Bantam TT", "Terminal Block"},
     {1, 19, 6, 4.1, 0, 0, kRU, kVac},
     {kBrightline, 560, kWestmark, 545}},
    {{"TRELLIS", "TR-AB248", "2x48 bantam audio jackfield, DB25 rear"},
     {2, 48, "Bantam TT", "DB25"},
     {1, 19, 6, 4.6, 0, 0, kRU, kVac},
     {kBrightline, 890, kWestmark, 870}},
    {{"TRELLIS", "TR-AQ224", "2x24 quarter-inch TRS audio patchbay"},
     {2, 24, "TRS 1/4\"", "TRS 1/4\""},
     {1, 19, 4, 3.2, 0, 0, kRU, kVac},
     {kBrightline, 240, kWestmark, 229}},
    {{"TRELLIS", "TR-DJ124", "1x24 Category 6A data jackfield"},
     {1, 24, "RJ45", "RJ45"},
     {1, 19, 4, 2.4, 0, 0, kRU, kVac},
     {kBrightline, 210, kSignalhouse, 219}},
    {{"AXIOM", "AX-VJ232", "2x32 video jackfield, 2RU"},
     {2, 32, "Midsize Video Jack", "BNC"},
     {2, 19, 5, 6.4, 0, 0, kRU, kVac},
     {kSignalhouse, 1740, kBrightline, 1780}},
};

QVariantList productValues(const Product& p) {
    return {text(p.manufacturer), text(p.name), text(p.description)};
}
QVariantList physicalValues(const Physical& p) {
    return {p.h, p.w, p.d, p.weight, p.v, p.p, text(p.hUnit), text(p.vUnit)};
}
QVariantList bomValues(const Bom& b) {
    return {text(b.vendor1), b.cost1, text(b.vendor2), b.cost2};
}

const QStringList kPhysicalColumns = {
    QStringLiteral("EquipmentH"),      QStringLiteral("EquipmentW"),
    QStringLiteral("EquipmentD"),      QStringLiteral("EquipmentWeight"),
    QStringLiteral("EquipmentV"),      QStringLiteral("EquipmentP"),
    QStringLiteral("EquipmentHValue"), QStringLiteral("equipmentVValue")};

QString pinName(const Pins& pins, int n) {
    const QString name = QString::fromUtf8(pins.name);
    return name.contains(QLatin1String("%1")) ? name.arg(n) : name;
}

void seedManufacturers(DbId db, Connections& registry, Writing w) {
    TableWriter t(db, registry, w, QStringLiteral("tblManufacturers"),
                  {QStringLiteral("ManufacturerID")},
                  {QStringLiteral("ManufacturerID"), QStringLiteral("ManufacturerName"),
                   QStringLiteral("DisplayInEquipment"), QStringLiteral("DisplayInJackFields"),
                   QStringLiteral("DisplayInRouters"), QStringLiteral("DisplayInJboxes"),
                   QStringLiteral("DisplayInCableTypes")});
    for (const Manufacturer& m : kManufacturers)
        t.ensure({text(m.id), text(m.name), m.equipment, m.jackfields, m.routers, m.jboxes,
                  m.cableTypes},
                 1);
}

void seedConnectors(DbId db, Connections& registry, Writing w) {
    TableWriter t(
        db, registry, w, QStringLiteral("tblConnectors"), {QStringLiteral("Connector")},
        {QStringLiteral("Connector"), QStringLiteral("connvendor1"), QStringLiteral("conncost1"),
         QStringLiteral("connvendor2"), QStringLiteral("conncost2")});
    for (const Connector& c : kConnectors)
        t.ensure(QVariantList{text(c.name)} + bomValues(c.bom), 1);
}

void seedSignalTypes(DbId db, Connections& registry, Writing w) {
    TableWriter t(db, registry, w, QStringLiteral("SignalDefault"), {QStringLiteral("Type")},
                  {QStringLiteral("Type"), QStringLiteral("Color"), QStringLiteral("CableNoPrefix"),
                   QStringLiteral("CableManu"), QStringLiteral("CableType")},
                  {QStringLiteral("CableType")});
    for (const SignalType& s : kSignalTypes)
        t.ensure({text(s.type), s.color, text(s.prefix), text(s.cableManu), text(s.cableType)}, 1);
}

void seedCableTypes(DbId db, Connections& registry, Writing w) {
    TableWriter types(db, registry, w, QStringLiteral("tblCableTypes"),
                      {QStringLiteral("ManufacturerID"), QStringLiteral("CableType")},
                      {QStringLiteral("ManufacturerID"), QStringLiteral("CableType"),
                       QStringLiteral("cabledescription"), QStringLiteral("CableRating"),
                       QStringLiteral("CableCharZ"), QStringLiteral("cableGuage"),
                       QStringLiteral("cableConductors"), QStringLiteral("CableShielding"),
                       QStringLiteral("cablecorenumber"), QStringLiteral("CableCoreScheme"),
                       QStringLiteral("cablemulticore"), QStringLiteral("CableVendor1"),
                       QStringLiteral("CableCost1"), QStringLiteral("CableVendor2"),
                       QStringLiteral("CableCost2")},
                      {}, QStringLiteral("CableTypeID"));
    TableWriter pairs(db, registry, w, QStringLiteral("tblCablePairs"),
                      {QStringLiteral("CableTypeID"), QStringLiteral("PairNumber")},
                      {QStringLiteral("CableTypeID"), QStringLiteral("PairNumber"),
                       QStringLiteral("paircolorcode")},
                      {}, QStringLiteral("PairID"));
    for (const CableType& c : kCableTypes) {
        const bool multicore = c.cores.scheme != nullptr;
        const TableWriter::Row type = types.ensure(
            productValues(c.product) +
                QVariantList{text(c.data.rating), text(c.data.charZ), text(c.data.gauge),
                             text(c.data.conductors), text(c.data.shielding), c.cores.count,
                             textOrNull(c.cores.scheme), multicore} +
                bomValues(c.bom),
            2);
        if (!multicore || type.id.isNull()) continue;
        for (int i = 1; i <= c.cores.count; ++i) {
            const QString marking =
                c.cores.colors ? text((*c.cores.colors)[i - 1]) : QString::number(i);
            pairs.ensure({type.id, i, marking}, 2, {type.guid, QString::number(i)});
        }
    }
}

void seedModels(DbId db, Connections& registry, Writing w) {
    TableWriter equipment(
        db, registry, w, QStringLiteral("tblEquipment"),
        {QStringLiteral("ManufacturerID"), QStringLiteral("EquipmentName")},
        QStringList{QStringLiteral("ManufacturerID"), QStringLiteral("EquipmentName"),
                    QStringLiteral("EquipmentDescription"), QStringLiteral("EquipmentType")} +
            kPhysicalColumns +
            QStringList{QStringLiteral("DisplayASDA"), QStringLiteral("DABlock"),
                        QStringLiteral("EquipmentVendor1"), QStringLiteral("EquipmentCost1"),
                        QStringLiteral("EquipmentVendor2"), QStringLiteral("EquipmentCost2")},
        {QStringLiteral("DABlock")}, QStringLiteral("EquipmentID"));
    const QStringList pinColumns = {QStringLiteral("EquipmentID"), QStringLiteral("Name"),
                                    QStringLiteral("Type"),        QStringLiteral("conn"),
                                    QStringLiteral("PinType"),     QStringLiteral("DisplayOrder")};
    const QStringList pinKey = {QStringLiteral("EquipmentID"), QStringLiteral("Name")};
    TableWriter inputs(db, registry, w, QStringLiteral("tblInputs"), pinKey, pinColumns, {},
                       QStringLiteral("InputID"));
    TableWriter outputs(db, registry, w, QStringLiteral("tblOutputs"), pinKey, pinColumns, {},
                        QStringLiteral("OutputID"));

    for (const Model& m : models()) {
        const TableWriter::Row model = equipment.ensure(
            productValues(m.product) + QVariantList{text(m.type)} + physicalValues(m.physical) +
                QVariantList{m.da, m.da} + bomValues(m.bom),
            2);
        if (model.id.isNull()) continue;
        const auto writePins = [&model](TableWriter& t, const std::vector<Pins>& groups) {
            int order = 0;
            for (const Pins& g : groups)
                for (int n = 1; n <= g.count; ++n)
                    t.ensure({model.id, pinName(g, n), text(g.type), text(g.conn), text(g.pinType),
                              ++order},
                             2, {model.guid, pinName(g, n)});
        };
        writePins(inputs, m.inputs);
        writePins(outputs, m.outputs);
    }
}

void seedJackFields(DbId db, Connections& registry, Writing w) {
    TableWriter t(db, registry, w, QStringLiteral("tblJackFields"),
                  {QStringLiteral("ManufacturerID"), QStringLiteral("JackFieldName")},
                  QStringList{QStringLiteral("ManufacturerID"), QStringLiteral("JackFieldName"),
                              QStringLiteral("EquipmentDescription"), QStringLiteral("JFRows"),
                              QStringLiteral("JFCols"), QStringLiteral("FrontConn"),
                              QStringLiteral("RearConn")} +
                      kPhysicalColumns +
                      QStringList{QStringLiteral("jfvendor1"), QStringLiteral("jfcost1"),
                                  QStringLiteral("jfvendor2"), QStringLiteral("jfcost2")});
    for (const JackField& j : kJackFields)
        t.ensure(
            productValues(j.product) +
                QVariantList{j.jacks.rows, j.jacks.cols, text(j.jacks.front), text(j.jacks.rear)} +
                physicalValues(j.physical) + bomValues(j.bom),
            2);
}

// The router library lists the routers among the models: one level each, its size and
// connectors those of the first input and output runs.
void seedRouters(DbId db, Connections& registry, Writing w) {
    TableWriter t(db, registry, w, QStringLiteral("tblRTR"),
                  {QStringLiteral("ManufacturerID"), QStringLiteral("RTRName")},
                  QStringList{QStringLiteral("ManufacturerID"), QStringLiteral("RTRName"),
                              QStringLiteral("RTRDescription"), QStringLiteral("RTRType"),
                              QStringLiteral("Inputs"), QStringLiteral("Outputs"),
                              QStringLiteral("Levels"), QStringLiteral("SignalType"),
                              QStringLiteral("InputConn"), QStringLiteral("OutputConn")} +
                      kPhysicalColumns +
                      QStringList{QStringLiteral("RTRVendor1"), QStringLiteral("RTRCost1"),
                                  QStringLiteral("RTRVendor2"), QStringLiteral("RTRCost2")});
    for (const Model& m : models()) {
        if (qstrcmp(m.type, "Router") != 0 || m.inputs.empty() || m.outputs.empty()) continue;
        const Pins& in = m.inputs.front();
        const Pins& out = m.outputs.front();
        t.ensure(productValues(m.product) +
                     QVariantList{QStringLiteral("Matrix"), in.count, out.count, 1, text(in.type),
                                  text(in.conn), text(out.conn)} +
                     physicalValues(m.physical) + bomValues(m.bom),
                 2);
    }
}

// ---- preferences --------------------------------------------------------------------------

constexpr int kDefaultUid = 1;

void seedDefaultUser(DbId db, Connections& registry, Writing w) {
    TableWriter users(db, registry, w, QStringLiteral("tblUsers"), {QStringLiteral("UserName")},
                      {QStringLiteral("UserName"), QStringLiteral("UID")});
    users.ensure({QStringLiteral("DEFAULT"), kDefaultUid}, 1);

    QStringList columns = {QStringLiteral("UserID")};
    QVariantList row = {kDefaultUid};
    // The same values the preferences window restores as the defaults.
    for (const auto& [column, value] : defaultPreferences()) {
        columns << column;
        row << value;
    }
    TableWriter prefs(db, registry, w, QStringLiteral("tblPreferences"), {QStringLiteral("UserID")},
                      columns, columns.mid(1));
    prefs.ensure(row, 1);
}

// ---- project manager ----------------------------------------------------------------------

struct Group {
    const char* name;
    bool all;  // every permission; otherwise only those listed
    QStringList granted;
};

const std::vector<Group>& groups() {
    static const std::vector<Group> all = {
        {"Administrators", true, {}},
        {"Engineers",
         false,
         {QStringLiteral("CreateDrawings"), QStringLiteral("editDrawings"),
          QStringLiteral("CreateReports"), QStringLiteral("editReports"),
          QStringLiteral("AssignCables"), QStringLiteral("AssignSysNames"),
          QStringLiteral("CreateEquipment"), QStringLiteral("EditEquipment")}},
        {"Viewers", false, {}},
    };
    return all;
}

void writeEquipment(DbId db, Connections& registry, Writing w) {
    seedManufacturers(db, registry, w);
    seedConnectors(db, registry, w);
    seedSignalTypes(db, registry, w);
    seedCableTypes(db, registry, w);
    seedModels(db, registry, w);
    seedJackFields(db, registry, w);
    seedRouters(db, registry, w);
    seedDefaultUser(db, registry, w);
}

void writeProjectManager(DbId db, const QString& defaultProjectPath, Connections& registry,
                         Writing w) {
    TableWriter projects(db, registry, w, QStringLiteral("tblProjects"),
                         {QStringLiteral("ProjectName")},
                         {QStringLiteral("ProjectName"), QStringLiteral("ProjectDescription"),
                          QStringLiteral("ProjectPath")});
    projects.ensure(
        {QStringLiteral("DEFAULT_PROJECT"),
         QStringLiteral("The default project: drawings that belong to no other project"),
         defaultProjectPath},
        1);

    // One column per permission: every boolean column of the table.
    const TableDef* def = findTable(DbKind::ProjectManager, QStringLiteral("tblpermissions"));
    QStringList permissions;
    if (def)
        for (const ColumnDef& c : def->columns)
            if (c.type == ColType::Bool) permissions << c.name;
    TableWriter perms(db, registry, w, QStringLiteral("tblpermissions"),
                      {QStringLiteral("GroupName")},
                      QStringList{QStringLiteral("GroupName")} + permissions);
    for (const Group& g : groups()) {
        QVariantList row = {text(g.name)};
        for (const QString& p : permissions)
            row << (g.all || g.granted.contains(p, Qt::CaseInsensitive));
        perms.ensure(row, 1);
    }

    TableWriter users(
        db, registry, w, QStringLiteral("tblUsers"), {QStringLiteral("UserName")},
        {QStringLiteral("UserName"), QStringLiteral("Password"), QStringLiteral("Groupname")});
    users.ensure({QStringLiteral("Admin"), QVariant(), QStringLiteral("Administrators")}, 1);
}

}  // namespace

void seedEquipment(Connections& registry) {
    const DbId db = DbId::Equipment;
    Transaction tx(db, registry);
    writeEquipment(db, registry, Writing::Seed);
    tx.commit();
}

void seedProjectManager(const QString& defaultProjectPath, Connections& registry) {
    const DbId db = DbId::PM;
    Transaction tx(db, registry);
    writeProjectManager(db, defaultProjectPath, registry, Writing::Seed);
    tx.commit();
}

void adoptStarterIdentities(DbId id, Connections& registry) {
    switch (kindOf(id)) {
        case DbKind::Equipment:
            writeEquipment(id, registry, Writing::Adopt);
            break;
        case DbKind::ProjectManager:
            writeProjectManager(id, QString(), registry, Writing::Adopt);
            break;
        case DbKind::Project:
            break;  // its starter rows take no part in merging
    }
}

void seedProject(DbId id, Connections& registry) {
    const Writing w = Writing::Seed;
    Transaction tx(id, registry);
    TableWriter systems(id, registry, w, QStringLiteral("tblLockSys"), {},
                        {QStringLiteral("lockSystems"), QStringLiteral("LOCKEDBY")});
    if (systems.find({}).id.isNull()) systems.add({false, QStringLiteral("-")});
    TableWriter cables(id, registry, w, QStringLiteral("tblLockcables"), {},
                       {QStringLiteral("lockCables"), QStringLiteral("LOCKEDBY")});
    if (cables.find({}).id.isNull()) cables.add({false, QStringLiteral("-")});
    // A project that keeps its own revision counter starts at revision 0.
    if (const TableDef* rev = findTable(kindOf(id), QStringLiteral("tblRevCounter"));
        rev && rev->column(QStringLiteral("Revision"))) {
        TableWriter revisions(id, registry, w, rev->name, {}, {QStringLiteral("Revision")});
        if (revisions.find({}).id.isNull()) revisions.add({0});
    }
    tx.commit();
}

}  // namespace tolvane::db
