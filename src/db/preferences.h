// The user preferences kept in the equipment database (tblPreferences, one row per user):
// reading and writing one user's row, the lists the preferences window offers (users, cable
// manufacturers and their cable types), the defaults a row is restored to, and the rules a
// value must pass before it is stored. No widgets here: the window only shows what these
// functions return.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <optional>
#include <utility>
#include <vector>

#include "db/database.h"

namespace tolvane::db {

// Column names of tblPreferences, as the rest of the program reads them from the row.
namespace pref {
inline const QString UserID = QStringLiteral("UserID");
inline const QString BlockWidth = QStringLiteral("BlockWidth");
inline const QString BlockPinSpacing = QStringLiteral("BlockPinSpacing");
inline const QString BlockHeight = QStringLiteral("BlockHeight");
inline const QString BlockColor = QStringLiteral("BlockColor");
inline const QString BlockBasePoint = QStringLiteral("BlockBasePoint");
inline const QString BlockPinWidth = QStringLiteral("blockpinwidth");
inline const QString BlockTearSettings = QStringLiteral("BlockTearSettings");
inline const QString BlockUseDefaultNames = QStringLiteral("BlockUseDefaultNames");
inline const QString BlockDisplayPrefs = QStringLiteral("blockDisplayPrefs");
inline const QString BlockColoredPins = QStringLiteral("blockColoredPins");
inline const QString AutoAlias = QStringLiteral("AutoAlias");
inline const QString CablesRepeat = QStringLiteral("CablesREpeat");
inline const QString CablesVerifySettings = QStringLiteral("CablesVerifySettings");
inline const QString CablesAutoPlace = QStringLiteral("cablesAutoPlace");
inline const QString CablesAutoPlaceDist = QStringLiteral("CablesAutoPlaceDist");
inline const QString CablesAutoPoint = QStringLiteral("CablesAutoPoint");
inline const QString CablesAssignUseDestType = QStringLiteral("CablesAssignUseDestType");
inline const QString CablesStartNo = QStringLiteral("CablesStartNo");
inline const QString CableTypeDefManu = QStringLiteral("CableTypeDefManu");
inline const QString CableTypeDefPn = QStringLiteral("cabletypedefPn");
inline const QString CableSaveEveryTime = QStringLiteral("CableSaveEverYtime");
inline const QString CableColorLine = QStringLiteral("cablecolorline");
inline const QString CableColorText = QStringLiteral("cablecolortext");
inline const QString CableSignalLayer = QStringLiteral("cableSignalLayer");
inline const QString CableWarnSig = QStringLiteral("cablewarnsig");
inline const QString SysNameFmt = QStringLiteral("sysnamefmt");
inline const QString DefaultJack = QStringLiteral("defaultJack");
inline const QString DefaultJb = QStringLiteral("DefaultJb");
inline const QString UseDefaultJack = QStringLiteral("usedefaultjack");
inline const QString UseDefaultJb = QStringLiteral("usedefaultjb");
inline const QString DisplayJackConn = QStringLiteral("displayJackConn");
inline const QString JfSpacing = QStringLiteral("jfspacing");
inline const QString GenPersistToolbars = QStringLiteral("genpersisttbs");
inline const QString GenHideDeleteWarnings = QStringLiteral("GENHideDeletewarnings");

// The keyboard shortcut columns, in the order the window lists them.
QStringList shortcutColumns();
}  // namespace pref

// How system names are written (sysnamefmt).
enum class NameCase { AllCaps = 1, LowerCase = 2, TitleCase = 3, NoFormat = 4 };
// The stored value as a name case; nullopt for a value outside 1..4 (or null).
std::optional<NameCase> nameCaseOf(const QVariant& stored);

// One user's preference row. Values are kept in the types of their columns; a null column
// reads as a null QVariant (shown empty). Changes stay in memory until save().
class Preferences {
  public:
    explicit Preferences(Connections& registry);

    // "select * from tblPreferences where UserID = ?". False when the user has no row; the
    // row loaded before stays then. Throws DbError when the database cannot be read.
    bool load(int userId);
    bool isLoaded() const { return loaded_; }
    int userId() const { return userId_; }
    // The row's columns as the database names them.
    QStringList columns() const { return columns_; }
    bool hasColumn(const QString& column) const { return indexOf(column) >= 0; }

    // Column names compare without regard to case. An unknown column reads as invalid.
    QVariant value(const QString& column) const;
    // A yes/no column: its value, or `fallback` when it is empty or unknown.
    bool flag(const QString& column, bool fallback) const;
    // How the user writes system names; no formatting when the row does not say.
    NameCase nameCase() const;
    // Converts the value to the column's type; text for a number or yes/no column is read
    // as the user writes it ("12", "1", "true"); an empty text stores null. False (nothing
    // changed) for an unknown column, the key column, or a value the column cannot take.
    bool setValue(const QString& column, const QVariant& value);
    bool isModified() const { return !changed_.isEmpty(); }

    // Writes the changed columns with one UPDATE in one transaction. Nothing to write: no
    // statement. Throws DbError; the row in memory keeps its changes then.
    void save();
    // Sets every column of defaultPreferences() the row has; save() writes them.
    void restoreDefaults();

  private:
    int indexOf(const QString& column) const;

    Connections& registry_;
    bool loaded_ = false;
    int userId_ = 0;
    QStringList columns_;
    QVector<QMetaType> types_;
    QVector<QVariant> values_;
    QVector<int> changed_;  // indexes of changed columns, in the order they changed
};

// The values a new user's row starts with and the defaults button restores: every
// preference column except UserID.
const std::vector<std::pair<QString, QVariant>>& defaultPreferences();

// ---- the lists of the preferences window ----------------------------------------------

struct PreferenceUser {
    QString name;
    int id = 0;  // tblUsers.UID: the user's row in tblPreferences
};
// "select UserName, UID from tblUsers order by UserName".
std::vector<PreferenceUser> preferenceUsers(Connections& registry);
// The UID of the user with exactly this name; nullopt when there is none.
std::optional<int> preferenceUserId(const QString& name, Connections& registry);

struct CableManufacturer {
    QVariant id;  // tblManufacturers.ManufacturerID
    QString name;
};
// The manufacturers shown in cable-type lists, by name.
std::vector<CableManufacturer> cableManufacturers(Connections& registry);

struct CableTypeEntry {
    QString type;  // CableType: the part number
    bool multicore = false;
};
// The cable types of one manufacturer, by part number.
std::vector<CableTypeEntry> cableTypesOf(const QVariant& manufacturerId, Connections& registry);

// ---- field rules ------------------------------------------------------------------------

// What a field holds after its rule ran on the text the user left in it.
struct FieldCheck {
    QString text;     // the text the field keeps
    QString message;  // told to the user first; empty when nothing is said
    bool beep = false;
    bool changed(const QString& entered) const { return text != entered; }
};

// Body width: a whole number of drawing units from 1 to 9 (fractions are rounded). Above 9
// the user is told the program does not support it and the field becomes 9; below 1 it
// becomes 1. Not a number: a beep, and the old value stays. The other rules refuse what is
// not a number the same way.
FieldCheck checkBlockWidth(const QString& entered, const QString& previous);
// Pin spacing: a whole number, at least 1.
FieldCheck checkPinSpacing(const QString& entered, const QString& previous);
// The auto-place (text) distance: a number, at least 1.
FieldCheck checkAtLeastOne(const QString& entered, const QString& previous);
// Jackfield spacing and the starting cable number: a whole number (the sign of the spacing
// gives the direction jacks are placed in).
FieldCheck checkWholeNumber(const QString& entered, const QString& previous);
// Body colour: a drawing colour index, 0 (by block) to 256 (by layer).
FieldCheck checkColorIndex(const QString& entered, const QString& previous);

}  // namespace tolvane::db
