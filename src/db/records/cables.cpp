#include "db/records/cables.h"

#include "db/records/row_reader.h"
#include "db/row_stream.h"

namespace tolvane::db {

namespace {

const QString kDeleted = QStringLiteral("Deleted");

CableEnd readEnd(const RowReader& r, CableSide side) {
    const bool src = side == CableSide::Source;
    return {r.text(src ? "SRCSys" : "DestSYS"), r.text(src ? "SRCConn" : "DESTConn"),
            r.text(src ? "SRCPin" : "DestPin"), r.text(src ? "SRCLoc" : "DESTLOc"),
            r.text(src ? "SRCAlias" : "DSTAlias")};
}

CableRecord readCable(const RowReader& r) {
    CableRecord c;
    c.id = r.integer("CableID");
    c.number = CableNumber(r.text("CableNoPrefix"), r.text("CableNO"));
    c.cableType = r.text("CableType");
    c.manufacturer = r.text("CabletypeManu");
    c.signalType = r.text("SignalType");
    c.source = readEnd(r, CableSide::Source);
    c.destination = readEnd(r, CableSide::Destination);
    c.integrator = r.text("Integrator");
    c.length = r.real("Length");
    c.multiCore = r.flag("MultiCore");
    c.available = r.flag("Available");
    c.availableCores = r.flag("availableCores");
    c.sheet = r.text("Sheet");
    c.replacedBy = r.text("ReplacedBY");
    c.originated = r.dateTime("DateOriginated");
    c.modified = r.dateTime("DateModified");
    c.currentRevision = r.optionalInteger("CurrentRevision");
    c.projectRevision = r.optionalInteger("ProjectRevision");
    c.createdBy = r.text("CreatedBy");
    return c;
}

// A core; its cable's prefix where the statement joined it as ParentPrefix.
CoreRecord readCore(const RowReader& r, bool withPrefix) {
    CoreRecord c;
    c.id = r.integer("ChildCableID");
    c.number = CableNumber(withPrefix ? r.text("ParentPrefix") : QString(), r.text("CableNo"));
    c.parentId = r.integer("ParentNo");
    c.source = readEnd(r, CableSide::Source);
    c.destination = readEnd(r, CableSide::Destination);
    c.integrator = r.text("Integrator");
    c.sheet = r.text("Sheet");
    c.available = r.flag("Available");
    return c;
}

QList<CableRecord> cables(Query& q) {
    return readAll(q, readCable);
}

QList<CoreRecord> cores(Query& q, bool withPrefix) {
    return readAll(q, [withPrefix](const RowReader& r) { return readCore(r, withPrefix); });
}

QStringList texts(Query& q) {
    q.exec();
    QStringList out;
    while (q.next()) out << q.value(0).toString();
    return out;
}

// Binds the ten end columns in the order the statements below name them: SRCSys, SRCConn,
// SRCPin, SRCLoc, SRCAlias, DestSYS, DESTConn, DestPin, DESTLOc, DSTAlias.
Query& bindEnds(Query& q, const CableEnd& source, const CableEnd& destination) {
    for (const CableEnd* e : {&source, &destination})
        q.bind(e->system).bind(e->connector).bind(e->pin).bind(e->location).bind(e->alias);
    return q;
}

const char* kEndColumns =
    "SRCSys, SRCConn, SRCPin, SRCLoc, SRCAlias, DestSYS, DESTConn, DestPin, DESTLOc, DSTAlias";
const char* kSetEnds =
    "SRCSys = ?, SRCConn = ?, SRCPin = ?, SRCLoc = ?, SRCAlias = ?, DestSYS = ?, DESTConn = ?, "
    "DestPin = ?, DESTLOc = ?, DSTAlias = ?";

// The system and pin columns of an end.
std::pair<const char*, const char*> endColumns(CableSide side) {
    return side == CableSide::Source ? std::pair{"SRCSys", "SRCPin"}
                                     : std::pair{"DestSYS", "DestPin"};
}

QList<ItemCount> connectorCountsOf(const char* table, CableSide side, Connections& registry) {
    const QString column = QLatin1String(side == CableSide::Source ? "SRCConn" : "DESTConn");
    Query q(DbId::Project,
            QStringLiteral("select %1 as item, count(*) as quantity from %2 where %1 <> '' group "
                           "by %1 order by %1")
                .arg(column, QLatin1String(table)),
            registry);
    q.exec();
    RowReader r(q);
    QList<ItemCount> out;
    while (q.next()) {
        const QVariant item = r.value("item");
        out << ItemCount{item, QString(), item.toString(), r.value("quantity").toDouble()};
    }
    return out;
}

}  // namespace

// ---- cables ----------------------------------------------------------------------------

std::optional<CableRecord> CableTable::find(qint64 cableId) {
    Query q(DbId::Project, QStringLiteral("select * from tblCables where CableID = ?"), registry_);
    q.bind(cableId);
    const QList<CableRecord> found = cables(q);
    if (found.isEmpty()) return std::nullopt;
    return found.first();
}

QList<CableRecord> CableTable::all() {
    Query q(DbId::Project, QStringLiteral("select * from tblCables order by CableID"), registry_);
    return cables(q);
}

std::vector<CableEnds> CableTable::allEnds() {
    // Read straight from the engine: the check reads every row of the project. Systems, pins
    // and sheets repeat from row to row and are shared.
    std::vector<CableEnds> out;
    out.reserve(
        size_t(Query(DbId::Project, QStringLiteral("select count(*) from tblCables"), registry_)
                   .scalar()
                   .toLongLong()));
    RowStream r(DbId::Project,
                QStringLiteral("select CableID, CableNoPrefix, CableNO, Sheet, MultiCore, "
                               "Available, SRCSys, SRCPin, DestSYS, DestPin from tblCables "
                               "order by CableID"),
                registry_);
    r.exec();
    while (r.next())
        out.push_back(CableEnds{r.integer(0), CableNumber(r.name(1), r.text(2)), r.name(3),
                                r.flag(4), r.flag(5), r.name(6), r.name(7), r.name(8), r.name(9)});
    return out;
}

bool CableTable::isEmpty() {
    Query q(DbId::Project, QStringLiteral("select 1 from tblCables limit 1"), registry_);
    q.exec();
    return !q.next();
}

QList<CableRecord> CableTable::withNumber(const CableNumber& number) {
    Query q(DbId::Project,
            QStringLiteral("select * from tblCables where (CableNoPrefix = ? or (CableNoPrefix is "
                           "null and ? = '')) and CableNO = ? order by CableID"),
            registry_);
    // No prefix is stored as "" or as null.
    const QString prefix = number.prefix().isNull() ? QString::fromLatin1("") : number.prefix();
    q.bind(prefix).bind(prefix).bind(number.stored());
    return cables(q);
}

bool CableTable::heldByAnother(qint64 cableId, const CableNumber& number) {
    Query q(DbId::Project,
            QStringLiteral("select 1 from tblCables where coalesce(CableNoPrefix, '') = ? and "
                           "CableNO = ? and CableID <> ?"),
            registry_);
    const QVariant taken = q.bind(number.prefix()).bind(number.stored()).bind(cableId).scalar();
    return taken.isValid() && !taken.isNull();
}

std::optional<qint64> CableTable::highestNumber(const QString& prefix) {
    // Longest first, then highest in text order: the first number made of digits alone is
    // the highest of them; longer ones before it ("12-03") count by their leading digits. Read
    // a page at a time: a server sends a whole result at once.
    constexpr int kPage = 64;
    std::optional<qint64> highest;
    for (int offset = 0;; offset += kPage) {
        Query q(DbId::Project,
                QStringLiteral("select CableNO from tblCables where CableNoPrefix = ? order by "
                               "length(CableNO) desc, CableNO desc limit %1 offset %2")
                    .arg(kPage)
                    .arg(offset),
                registry_);
        q.bind(prefix).exec();
        RowReader r(q);
        int rows = 0;
        while (q.next()) {
            ++rows;
            const QString number = r.text("CableNO").trimmed();
            const std::optional<qint64> value = CableNumber(prefix, number).value();
            if (value && (!highest || *value > *highest)) highest = value;
            if (value && number.size() == QString::number(*value).size()) return highest;
        }
        if (rows < kPage) break;
    }
    return highest;
}

namespace {
// A freed row whose number an issued revision holds in use: the number is retired. Frozen rows
// carry the empty prefix for none.
const char* kNotRetired =
    "not exists (select 1 from tblRevisionCables r where r.CableNO = c.CableNO and "
    "r.CableNoPrefix = coalesce(c.CableNoPrefix, '') and r.Available = ?)";
}  // namespace

QStringList CableTable::reusableNumbers(const QString& prefix) {
    Query q(DbId::Project,
            QStringLiteral("select CableNO from tblCables c where CableNoPrefix = ? and Available "
                           "= ? and %1 union select CableNO from tblCables where CableNoPrefix = "
                           "? and availableCores = ? order by 1")
                .arg(QLatin1String(kNotRetired)),
            registry_);
    q.bind(prefix).bind(true).bind(false).bind(prefix).bind(true);
    return texts(q);
}

QStringList CableTable::freeNumbers(const QString& prefix) {
    Query q(DbId::Project,
            QStringLiteral("select CableNO from tblCables c where Available = ? and CableNoPrefix "
                           "= ? and %1 order by CableNO")
                .arg(QLatin1String(kNotRetired)),
            registry_);
    q.bind(true).bind(prefix).bind(false);
    return texts(q);
}

QStringList CableTable::multicoreNumbers() {
    Query q(DbId::Project,
            QStringLiteral("select CableNO from tblCables where MultiCore = ? order by CableNO"),
            registry_);
    q.bind(true);
    return texts(q);
}

QList<CableRecord> CableTable::multicoreCables() {
    Query q(DbId::Project,
            QStringLiteral("select * from tblCables where MultiCore = ? order by CableNoPrefix, "
                           "CableNO"),
            registry_);
    q.bind(true);
    return cables(q);
}

std::optional<CableRecord> CableTable::firstAt(CableSide side, const QString& system,
                                               const QString& pin) {
    const auto [sysColumn, pinColumn] = endColumns(side);
    Query q(DbId::Project,
            QStringLiteral("select * from tblCables where %1 = ? and %2 = ?")
                .arg(QLatin1String(sysColumn), QLatin1String(pinColumn)),
            registry_);
    q.bind(system).bind(pin).exec();
    if (!q.next()) return std::nullopt;
    return readCable(RowReader(q));
}

QList<CableRecord> CableTable::inUseAt(CableSide side, const QString& system, const QString& pin) {
    const auto [sysColumn, pinColumn] = endColumns(side);
    Query q(DbId::Project,
            QStringLiteral("select * from tblCables where %1 = ? and %2 = ? and Available = ? "
                           "and MultiCore = ?")
                .arg(QLatin1String(sysColumn), QLatin1String(pinColumn)),
            registry_);
    q.bind(system).bind(pin).bind(false).bind(false);
    return cables(q);
}

QList<CableRecord> CableTable::inUseOn(const QString& system) {
    Query q(DbId::Project,
            QStringLiteral("select * from tblCables where (SRCSys = ? or DestSYS = ?) and "
                           "Available = ?"),
            registry_);
    q.bind(system).bind(system).bind(false);
    return cables(q);
}

qint64 CableTable::insert(const CableRecord& r) {
    Query q(DbId::Project,
            QStringLiteral("insert into tblCables (CableNoPrefix, CableNO, %1, CabletypeManu, "
                           "CableType, MultiCore, Sheet, Length, Integrator, Available, "
                           "availableCores, ReplacedBY, SignalType, DateOriginated, DateModified, "
                           "CurrentRevision, ProjectRevision, CreatedBy) values (%2)")
                .arg(QLatin1String(kEndColumns), placeholders(27)),
            registry_);
    q.bind(r.number.prefix()).bind(r.number.stored());
    bindEnds(q, r.source, r.destination)
        .bind(r.manufacturer)
        .bind(r.cableType)
        .bind(r.multiCore)
        .bind(r.sheet)
        .bind(boundValue(r.length))
        .bind(r.integrator)
        .bind(r.available)
        .bind(r.availableCores)
        .bind(r.replacedBy)
        .bind(r.signalType)
        .bind(r.originated)
        .bind(r.modified)
        .bind(boundValue(r.currentRevision))
        .bind(boundValue(r.projectRevision))
        .bind(r.createdBy)
        .exec();
    Query id(DbId::Project,
             QStringLiteral("select max(CableID) from tblCables where CableNoPrefix = ? and "
                            "CableNO = ?"),
             registry_);
    return id.bind(r.number.prefix()).bind(r.number.stored()).scalar().toLongLong();
}

void CableTable::reassign(const CableRecord& r) {
    Query q(DbId::Project,
            QStringLiteral("update tblCables set %1, CabletypeManu = ?, CableType = ?, "
                           "MultiCore = ?, Sheet = ?, Length = ?, Integrator = ?, Available = ?, "
                           "ReplacedBY = ?, SignalType = ?, DateModified = ? where CableID = ?")
                .arg(QLatin1String(kSetEnds)),
            registry_);
    bindEnds(q, r.source, r.destination)
        .bind(r.manufacturer)
        .bind(r.cableType)
        .bind(r.multiCore)
        .bind(r.sheet)
        .bind(boundValue(r.length))
        .bind(r.integrator)
        .bind(r.available)
        .bind(r.replacedBy)
        .bind(r.signalType)
        .bind(r.modified)
        .bind(r.id)
        .exec();
}

void CableTable::setMultiCore(qint64 cableId, bool multiCore) {
    Query(DbId::Project, QStringLiteral("update tblCables set MultiCore = ? where CableID = ?"),
          registry_)
        .bind(multiCore)
        .bind(cableId)
        .exec();
}

void CableTable::setAvailableCores(qint64 cableId, bool available) {
    Query(DbId::Project,
          QStringLiteral("update tblCables set availableCores = ? where CableID = ?"), registry_)
        .bind(available)
        .bind(cableId)
        .exec();
}

void CableTable::release(qint64 cableId) {
    Query q(DbId::Project,
            QStringLiteral("update tblCables set Available = ?, %1, Integrator = ?, Sheet = ? "
                           "where CableID = ?")
                .arg(QLatin1String(kSetEnds)),
            registry_);
    q.bind(true);
    for (int i = 0; i < 12; ++i) q.bind(kDeleted);
    q.bind(cableId).exec();
}

void CableTable::releaseErased(const QList<qint64>& cableIds) {
    for (qsizetype from = 0; from < cableIds.size(); from += kRowsPerStatement) {
        const QList<qint64> part = cableIds.mid(from, kRowsPerStatement);
        Query q(DbId::Project,
                QStringLiteral("update tblCables set SRCSys = ?, DestSYS = ?, SRCPin = ?, "
                               "DestPin = ?, SRCLoc = ?, DESTLOc = ?, SRCConn = ?, DESTConn = ?, "
                               "Integrator = ?, Available = ? where CableID in (%1)")
                    .arg(placeholders(part.size())),
                registry_);
        for (int i = 0; i < 9; ++i) q.bind(kDeleted);
        q.bind(true);
        for (qint64 id : part) q.bind(id);
        q.exec();
    }
}

QList<ItemCount> CableTable::connectorCounts(CableSide side) {
    return connectorCountsOf("tblCables", side, registry_);
}

QList<ItemCount> CableTable::lengthsByType() {
    // Cable types are told apart by maker and type.
    Query q(DbId::Project,
            QStringLiteral("select CableType, CabletypeManu, coalesce(sum(Length), 0) as total "
                           "from tblCables where CableType <> '' group by CabletypeManu, "
                           "CableType order by CableType, CabletypeManu"),
            registry_);
    q.exec();
    RowReader r(q);
    QList<ItemCount> out;
    while (q.next()) {
        const QVariant type = r.value("CableType");
        out << ItemCount{type, r.text("CabletypeManu"), type.toString(),
                         r.value("total").toDouble()};
    }
    return out;
}

// ---- cores -----------------------------------------------------------------------------

namespace {
// The cores with their cable's prefix, under a condition on the core (alias c).
QString coresWithPrefix(const QString& condition) {
    return QStringLiteral(
               "select c.*, p.CableNoPrefix as ParentPrefix from tblChildCables c left join "
               "tblCables p on p.CableID = c.ParentNo where %1")
        .arg(condition);
}
}  // namespace

QList<CoreRecord> CoreTable::ofCable(qint64 cableId) {
    Query q(DbId::Project,
            QStringLiteral("select * from tblChildCables where ParentNo = ? order by CableNo"),
            registry_);
    q.bind(cableId);
    return cores(q, false);
}

std::optional<qint64> CoreTable::parentOf(qint64 coreId) {
    Query q(DbId::Project,
            QStringLiteral("select ParentNo from tblChildCables where ChildCableID = ?"),
            registry_);
    q.bind(coreId).exec();
    if (!q.next()) return std::nullopt;
    return RowReader(q).integer("ParentNo");
}

QList<CoreRecord> CoreTable::inUse() {
    Query q(DbId::Project,
            coresWithPrefix(QStringLiteral("c.Available = ? order by c.ChildCableID")), registry_);
    q.bind(false);
    return cores(q, true);
}

QList<CoreRecord> CoreTable::inUseAt(CableSide side, const QString& system, const QString& pin) {
    const auto [sysColumn, pinColumn] = endColumns(side);
    Query q(DbId::Project,
            coresWithPrefix(QStringLiteral("c.%1 = ? and c.%2 = ? and c.Available = ?")
                                .arg(QLatin1String(sysColumn), QLatin1String(pinColumn))),
            registry_);
    q.bind(system).bind(pin).bind(false);
    return cores(q, true);
}

QList<CoreRecord> CoreTable::inUseOn(const QString& system) {
    Query q(DbId::Project,
            coresWithPrefix(QStringLiteral("(c.SRCSys = ? or c.DestSYS = ?) and c.Available = ?")),
            registry_);
    q.bind(system).bind(system).bind(false);
    return cores(q, true);
}

void CoreTable::insert(const QList<CoreRecord>& list) {
    const QString row = QLatin1Char('(') + placeholders(15) + QLatin1Char(')');
    for (qsizetype from = 0; from < list.size(); from += kRowsPerStatement) {
        const QList<CoreRecord> part = list.mid(from, kRowsPerStatement);
        QStringList rows;
        rows.fill(row, part.size());
        Query q(DbId::Project,
                QStringLiteral("insert into tblChildCables (CableNo, ParentNo, %1, Integrator, "
                               "Sheet, Available) values %2")
                    .arg(QLatin1String(kEndColumns), rows.join(QStringLiteral(", "))),
                registry_);
        for (const CoreRecord& c : part) {
            q.bind(c.number.stored()).bind(c.parentId);
            bindEnds(q, c.source, c.destination).bind(c.integrator).bind(c.sheet).bind(c.available);
        }
        q.exec();
    }
}

void CoreTable::assign(const CoreRecord& r) {
    Query q(DbId::Project,
            QStringLiteral("update tblChildCables set %1, Integrator = ?, Sheet = ?, Available = ? "
                           "where ChildCableID = ?")
                .arg(QLatin1String(kSetEnds)),
            registry_);
    bindEnds(q, r.source, r.destination).bind(r.integrator).bind(r.sheet).bind(false).bind(r.id);
    q.exec();
}

QList<CoreRecord> CoreTable::withNumber(const QString& stored) {
    Query q(DbId::Project, coresWithPrefix(QStringLiteral("c.CableNo = ? order by c.ChildCableID")),
            registry_);
    q.bind(stored);
    return cores(q, true);
}

void CoreTable::release(const CoreRecord& core) {
    Transaction t(DbId::Project, registry_);
    Query q(DbId::Project,
            QStringLiteral("update tblChildCables set Available = ?, %1, Integrator = ?, Sheet = ? "
                           "where ChildCableID = ?")
                .arg(QLatin1String(kSetEnds)),
            registry_);
    q.bind(true);
    for (int i = 0; i < 12; ++i) q.bind(kDeleted);
    q.bind(core.id).exec();
    if (core.parentId) CableTable(registry_).setAvailableCores(core.parentId, true);
    t.commit();
}

QList<ItemCount> CoreTable::connectorCounts(CableSide side) {
    return connectorCountsOf("tblChildCables", side, registry_);
}

}  // namespace tolvane::db
