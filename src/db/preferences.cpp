// One user's preference row, the lists the preferences window offers and the field rules.
#include "db/preferences.h"

#include <QLocale>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlRecord>
#include <algorithm>
#include <cmath>

#include "ui/ui.h"

namespace tolvane::db {

QStringList pref::shortcutColumns() {
    return {QStringLiteral("scEquipLib"), QStringLiteral("scCables"),   QStringLiteral("scJFLib"),
            QStringLiteral("scRTRLib"),   QStringLiteral("scassSys"),   QStringLiteral("sceditSys"),
            QStringLiteral("scAssCable"), QStringLiteral("scDelCable"), QStringLiteral("scAssJack"),
            QStringLiteral("scDelJack"),  QStringLiteral("scLinkP"),    QStringLiteral("scAddJack"),
            QStringLiteral("scAddJB"),    QStringLiteral("scAddRTR"),   QStringLiteral("scAddP"),
            QStringLiteral("scLinkPCont")};
}

std::optional<NameCase> nameCaseOf(const QVariant& stored) {
    bool ok = false;
    const int n = stored.toInt(&ok);
    if (stored.isNull() || !ok || n < 1 || n > 4) return std::nullopt;
    return static_cast<NameCase>(n);
}

// The defaults, one line per column: the default user's row of a new installation, so that
// restoring the defaults gives what a first start gave. The shortcut letters follow the
// command-line aliases where one exists.
const std::vector<std::pair<QString, QVariant>>& defaultPreferences() {
    static const std::vector<std::pair<QString, QVariant>> defaults = {
        {pref::BlockWidth, 4},       // body width in drawing units
        {pref::BlockPinSpacing, 1},  // one unit between pins
        {pref::BlockHeight, 4},      // DA blocks
        {pref::BlockColor, 7},       // the drawing's foreground colour
        {pref::BlockBasePoint, QStringLiteral("Pin 1")},
        {pref::BlockPinWidth, QStringLiteral("1")},
        {pref::BlockTearSettings, false},
        {pref::BlockUseDefaultNames, false},
        {pref::BlockDisplayPrefs, false},
        {pref::BlockColoredPins, true},
        {pref::AutoAlias, false},
        {pref::CablesRepeat, true},
        {pref::CablesVerifySettings, true},
        {pref::CablesAutoPlace, false},
        {pref::CablesAutoPlaceDist, 1},
        {pref::CablesAutoPoint, false},
        {pref::CablesAssignUseDestType, false},  // the signal type of the source end
        {pref::CablesStartNo, 1},
        {pref::CableTypeDefManu, QStringLiteral("Cordavo Cable")},  // of the starter library
        {pref::CableTypeDefPn, QStringLiteral("CA-2250")},
        {pref::CableSaveEveryTime, false},
        {pref::CableColorLine, true},
        {pref::CableColorText, true},
        {pref::CableSignalLayer, true},
        {pref::CableWarnSig, true},
        {pref::SysNameFmt, static_cast<int>(NameCase::AllCaps)},
        {pref::DefaultJack, QStringLiteral("FN")},
        {pref::DefaultJb, QStringLiteral("JB")},
        {pref::UseDefaultJack, true},
        {pref::UseDefaultJb, true},
        {pref::DisplayJackConn, true},
        {pref::JfSpacing, 2},
        {pref::GenPersistToolbars, true},
        {pref::GenHideDeleteWarnings, false},
        {QStringLiteral("scEquipLib"), QStringLiteral("LE")},
        {QStringLiteral("scCables"), QStringLiteral("LC")},
        {QStringLiteral("scJFLib"), QStringLiteral("LJ")},
        {QStringLiteral("scRTRLib"), QStringLiteral("")},
        {QStringLiteral("scassSys"), QStringLiteral("AS")},
        {QStringLiteral("sceditSys"), QStringLiteral("")},
        {QStringLiteral("scAssCable"), QStringLiteral("AC")},
        {QStringLiteral("scDelCable"), QStringLiteral("")},
        {QStringLiteral("scAssJack"), QStringLiteral("AJ")},
        {QStringLiteral("scDelJack"), QStringLiteral("")},
        {QStringLiteral("scLinkP"), QStringLiteral("")},
        {QStringLiteral("scAddJack"), QStringLiteral("")},
        {QStringLiteral("scAddJB"), QStringLiteral("")},
        {QStringLiteral("scAddRTR"), QStringLiteral("")},
        {QStringLiteral("scAddP"), QStringLiteral("")},
        {QStringLiteral("scLinkPCont"), QStringLiteral("")},
    };
    return defaults;
}

// ---- the row ------------------------------------------------------------------------------

namespace {

enum class Kind { Text, Whole, Real, YesNo, Other };

Kind kindOf(QMetaType type) {
    switch (type.id()) {
        case QMetaType::Bool:
            return Kind::YesNo;
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            return Kind::Whole;
        case QMetaType::Float:
        case QMetaType::Double:
            return Kind::Real;
        case QMetaType::QString:
            return Kind::Text;
        default:
            return Kind::Other;
    }
}

std::optional<double> numberIn(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    bool ok = false;
    double v = QLocale::c().toDouble(t, &ok);
    if (!ok) v = QLocale().toDouble(t, &ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

QString numberText(double v) {
    return QString::number(v, 'g', 15);
}

bool isText(const QVariant& v) {
    return v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QByteArray;
}

// The value as a column of this type holds it; nullopt when it cannot take it.
std::optional<QVariant> coerce(const QVariant& v, QMetaType type) {
    const Kind kind = kindOf(type);
    if (kind == Kind::Other) return v;
    if (v.isNull() || (isText(v) && v.toString().trimmed().isEmpty()))
        return kind == Kind::Text && !v.isNull() ? QVariant(QString()) : QVariant(type);
    switch (kind) {
        case Kind::Text:
            return QVariant(v.toString());
        case Kind::YesNo: {
            if (v.typeId() == QMetaType::Bool) return v;
            if (isText(v)) {
                const QString t = v.toString().trimmed().toLower();
                if (t == u"true" || t == u"yes" || t == u"on") return QVariant(true);
                if (t == u"false" || t == u"no" || t == u"off") return QVariant(false);
                if (const auto n = numberIn(t)) return QVariant(*n != 0);
                return std::nullopt;
            }
            bool ok = false;
            const double n = v.toDouble(&ok);
            return ok ? std::optional(QVariant(n != 0)) : std::nullopt;
        }
        case Kind::Whole:
        case Kind::Real: {
            std::optional<double> n;
            if (isText(v)) {
                n = numberIn(v.toString());
            } else {
                bool ok = false;
                const double d = v.toDouble(&ok);
                if (ok && std::isfinite(d)) n = d;
            }
            if (!n) return std::nullopt;
            if (kind == Kind::Real) return QVariant(*n);
            QVariant whole(static_cast<qlonglong>(std::llround(*n)));
            whole.convert(type);
            return whole;
        }
        case Kind::Other:
            break;
    }
    return v;
}

bool sameValue(const QVariant& a, const QVariant& b) {
    if (a.isNull() || b.isNull()) return a.isNull() == b.isNull();
    return a == b;
}

}  // namespace

Preferences::Preferences(Connections& registry) : registry_(registry) {}

int Preferences::indexOf(const QString& column) const {
    for (int i = 0; i < columns_.size(); ++i)
        if (columns_[i].compare(column, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

bool Preferences::load(int userId) {
    Query q(DbId::Equipment, QStringLiteral("select * from tblPreferences where UserID = ?"),
            registry_);
    q.bind(userId).exec();
    // A user without a row leaves the row loaded before as it was.
    if (!q.next()) return false;
    columns_.clear();
    types_.clear();
    values_.clear();
    changed_.clear();
    const QSqlRecord record = q.sql().record();
    for (int i = 0; i < record.count(); ++i) {
        const QMetaType type = record.field(i).metaType();
        QVariant v = q.value(i);
        // Yes/no columns come back from SQLite as numbers; keep each value in its column's
        // type so that comparing and saving see one representation.
        if (!v.isNull() && kindOf(type) != Kind::Other) {
            if (const auto c = coerce(v, type)) v = *c;
        }
        columns_ << record.fieldName(i);
        types_ << type;
        values_ << v;
    }
    userId_ = userId;
    loaded_ = true;
    return true;
}

NameCase Preferences::nameCase() const {
    return nameCaseOf(value(pref::SysNameFmt)).value_or(NameCase::NoFormat);
}

bool Preferences::flag(const QString& column, bool fallback) const {
    const QVariant v = value(column);
    return v.isNull() || !v.isValid() ? fallback : v.toBool();
}

QVariant Preferences::value(const QString& column) const {
    const int i = indexOf(column);
    return i < 0 ? QVariant() : values_[i];
}

bool Preferences::setValue(const QString& column, const QVariant& value) {
    const int i = indexOf(column);
    if (i < 0 || columns_[i].compare(pref::UserID, Qt::CaseInsensitive) == 0) return false;
    std::optional<QVariant> v = coerce(value, types_[i]);
    if (!v) return false;
    // An empty text where the row holds nothing is no change.
    if (values_[i].isNull() && isText(*v) && v->toString().isEmpty()) return true;
    if (sameValue(values_[i], *v)) return true;
    values_[i] = *v;
    if (!changed_.contains(i)) changed_ << i;
    return true;
}

void Preferences::save() {
    if (!loaded_ || changed_.isEmpty()) return;
    const QSqlDriver* driver = registry_.database(DbId::Equipment).driver();
    QStringList sets;
    for (int i : changed_)
        sets << driver->escapeIdentifier(columns_[i], QSqlDriver::FieldName) +
                    QStringLiteral(" = ?");
    Transaction transaction(DbId::Equipment, registry_);
    Query q(DbId::Equipment,
            QStringLiteral("update tblPreferences set %1 where UserID = ?")
                .arg(sets.join(QStringLiteral(", "))),
            registry_);
    for (int i : changed_) q.bind(values_[i].isNull() ? QVariant(types_[i]) : values_[i]);
    q.bind(userId_).exec();
    if (q.rowsAffected() == 0)
        throw DbError(DbId::Equipment,
                      QStringLiteral("cannot save the preferences of user %1").arg(userId_),
                      QStringLiteral("the row no longer exists"));
    transaction.commit();
    changed_.clear();
}

void Preferences::restoreDefaults() {
    for (const auto& [column, value] : defaultPreferences())
        if (hasColumn(column)) setValue(column, value);
}

// ---- lists --------------------------------------------------------------------------------

std::vector<PreferenceUser> preferenceUsers(Connections& registry) {
    Query q(DbId::Equipment, QStringLiteral("select UserName, UID from tblUsers order by UserName"),
            registry);
    q.exec();
    std::vector<PreferenceUser> users;
    while (q.next()) users.push_back({q.value(0).toString(), q.value(1).toInt()});
    return users;
}

std::optional<int> preferenceUserId(const QString& name, Connections& registry) {
    Query q(DbId::Equipment, QStringLiteral("select UID from tblUsers where UserName = ?"),
            registry);
    const QVariant id = q.bind(name).scalar();
    if (!id.isValid() || id.isNull()) return std::nullopt;
    return id.toInt();
}

std::vector<CableManufacturer> cableManufacturers(Connections& registry) {
    Query q(DbId::Equipment,
            QStringLiteral("select ManufacturerID, ManufacturerName from tblManufacturers "
                           "where DisplayInCableTypes = ? order by ManufacturerName"),
            registry);
    q.bind(true).exec();
    std::vector<CableManufacturer> list;
    while (q.next()) list.push_back({q.value(0), q.value(1).toString()});
    return list;
}

std::vector<CableTypeEntry> cableTypesOf(const QVariant& manufacturerId, Connections& registry) {
    Query q(DbId::Equipment,
            QStringLiteral("select CableType, cablemulticore from tblCableTypes "
                           "where ManufacturerID = ? order by CableType"),
            registry);
    q.bind(manufacturerId).exec();
    std::vector<CableTypeEntry> list;
    while (q.next()) list.push_back({q.value(0).toString(), q.value(1).toBool()});
    return list;
}

// ---- field rules --------------------------------------------------------------------------

namespace {
// A field that was empty and is left empty stays so without a beep; anything else that is
// not a number beeps and keeps the old text.
std::optional<FieldCheck> notANumber(const QString& entered, const QString& previous,
                                     std::optional<double> number) {
    if (entered.trimmed().isEmpty() && previous.trimmed().isEmpty())
        return FieldCheck{previous, {}, false};
    if (!number) return FieldCheck{previous, {}, true};
    return std::nullopt;
}
}  // namespace

FieldCheck checkBlockWidth(const QString& entered, const QString& previous) {
    const auto n = numberIn(entered);
    if (auto refused = notANumber(entered, previous, n)) return *refused;
    if (*n > 9)
        return {QStringLiteral("9"),
                Ui::appTitle() + QStringLiteral(" does not support Block widths greater than 9"),
                false};
    return {numberText(std::max(1.0, std::round(*n))), {}, false};
}

FieldCheck checkPinSpacing(const QString& entered, const QString& previous) {
    const auto n = numberIn(entered);
    if (auto refused = notANumber(entered, previous, n)) return *refused;
    return {numberText(std::max(1.0, std::round(*n))), {}, false};
}

FieldCheck checkAtLeastOne(const QString& entered, const QString& previous) {
    const auto n = numberIn(entered);
    if (auto refused = notANumber(entered, previous, n)) return *refused;
    return {numberText(std::max(1.0, *n)), {}, false};
}

FieldCheck checkWholeNumber(const QString& entered, const QString& previous) {
    auto n = numberIn(entered);
    if (n && *n != std::floor(*n)) n.reset();
    if (auto refused = notANumber(entered, previous, n)) return *refused;
    return {numberText(*n), {}, false};
}

FieldCheck checkColorIndex(const QString& entered, const QString& previous) {
    auto n = numberIn(entered);
    if (n && (*n != std::floor(*n) || *n < 0 || *n > 256)) n.reset();
    if (auto refused = notANumber(entered, previous, n)) return *refused;
    return {numberText(*n), {}, false};
}

}  // namespace tolvane::db
