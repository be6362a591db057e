// The two catalogues cables are described by: signal types (SignalDefault), which give a
// cable its colour, number prefix and default cable type, and cable types (tblCableTypes)
// with their cores (tblCablePairs).
#pragma once

#include <QList>
#include <QString>
#include <optional>

#include "equipment/library_access.h"

namespace tolvane::equipment {

// A signal type's colour: a CAD colour index 1..255, or none ("Same As Layer"), which the
// database stores as 256.
struct SignalColor {
    int index = 0;  // 0: Same As Layer

    static constexpr int kStoredSameAsLayer = 256;
    static QString sameAsLayer() { return QStringLiteral("Same As Layer"); }
    // Typed or imported text as a colour: "Same As Layer" (letter case aside), a number
    // 1..255, or 256; nullopt for anything else. An empty text is Same As Layer.
    static std::optional<SignalColor> parse(const QString& text);
    // The stored number as a colour; no value, or one out of the palette, is Same As Layer.
    static SignalColor fromStored(const QVariant& stored);
    QVariant stored() const { return index == 0 ? kStoredSameAsLayer : index; }
    QString text() const { return index == 0 ? sameAsLayer() : QString::number(index); }
};

struct SignalType {
    QString type{};  // the name; null in rows other tools wrote, which are listed all the same
    SignalColor color;
    QString cableNoPrefix{};
    QString cableManu{};  // default cable manufacturer, by name
    QString cableType{};  // default part number
    qint64 key = 0;       // the row ("key"); 0 for a type not stored yet
};

constexpr const char* kNumberedScheme = "Numbered";
constexpr const char* kColorCodedScheme = "Color Coded";

// The add-cable-type window.
struct CableTypeEntry {
    QString manufacturerId{};
    QString partNumber{};  // CableType
    QString description{};
    QString rating{};
    QString charZ{};  // characteristic impedance
    QString gauge{};
    QString conductors{};
    QString shielding{};
    bool multicore = false;
    int cores = 1;                     // cablecorenumber
    QString scheme = kNumberedScheme;  // CableCoreScheme, multicore types only
};

struct CableType {
    qint64 id = 0;
    CableTypeEntry entry;
};

struct CableCore {
    qint64 id = 0;      // PairID
    QString number{};   // PairNumber as lists show it: "01", "02", ...
    QString marking{};  // paircolorcode
};

// The most cores a type may have.
constexpr int kMaxCores = 999;

class CableCatalogue {
  public:
    explicit CableCatalogue(LibraryAccess access) : a_(std::move(access)) {}

    static QString signalDeleteQuestion(const QString& type) {
        return QStringLiteral(
                   "You are about to delete the Signal Type: %1. This process cannot be undone. "
                   "Proceed?")
            .arg(type);
    }
    static QString duplicatePartMessage() {
        return QStringLiteral("That part number already exists.");
    }
    static QString cableDeleteQuestion(const QString& partNumber) {
        return QStringLiteral("Are You Sure You Want to Delete The Cable Type: ") + partNumber;
    }

    // ---- signal types ----
    // Every row, by type; rows without a type are listed too, so that they can be named or
    // deleted.
    QList<SignalType> signalTypes();
    std::optional<SignalType> signalType(const QString& type);
    // An empty or existing type name is refused with a message.
    bool addSignalType(const SignalType& s);
    // Rewrites the stored row s.key (it may be renamed, but not onto another type).
    bool updateSignalType(const SignalType& s);
    // Asks the question; Yes deletes the row s.key.
    bool removeSignalType(const SignalType& s);

    // ---- cable types ----
    // The manufacturer's types whose part number begins with find, by part number.
    QList<CableType> cableTypes(const QString& manufacturerId, const QString& find = {});
    std::optional<CableType> cableType(qint64 id);
    std::optional<qint64> idOf(const QString& manufacturerId, const QString& partNumber);
    // Adds the type and, for a multicore type, its cores "01".."NN" in one transaction: with
    // the numbered scheme each marked with its number, colour-coded ones left unmarked. A
    // part number the manufacturer already has is refused with its message.
    std::optional<qint64> addCableType(const CableTypeEntry& e);
    QList<CableCore> cores(qint64 cableTypeId);
    // The user types a colour-coded core's marking.
    bool setCoreMarking(qint64 coreId, const QString& marking);
    // Asks the question; Yes deletes the cores and then the type in one transaction.
    bool removeCableType(qint64 id);

  private:
    bool refuse(const QString& text);

    LibraryAccess a_;
};

}  // namespace tolvane::equipment
