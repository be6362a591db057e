// The signal types of the library (SignalDefault): each gives a cable its colour, its number
// prefix and its default cable type. The typed record and the one place that holds the
// statements on the table.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

#include "db/database.h"

namespace tolvane::db {

// A signal type's colour: a CAD colour index 1..255, or none ("Same As Layer"), which the
// table stores as 256.
struct SignalColor {
    int index = 0;  // 0: Same As Layer

    static constexpr int kStoredSameAsLayer = 256;
    static QString sameAsLayer() { return QStringLiteral("Same As Layer"); }
    // Typed or imported text as a colour: "Same As Layer" (letter case aside), a number
    // 1..255, or 256; nullopt for anything else. An empty text is Same As Layer.
    static std::optional<SignalColor> parse(const QString& text);
    // The stored value as a colour; no value, or one out of the palette (the texts older
    // tables held among them), is Same As Layer.
    static SignalColor fromStored(const QVariant& stored);
    QVariant stored() const { return index == 0 ? kStoredSameAsLayer : index; }
    QString text() const { return index == 0 ? sameAsLayer() : QString::number(index); }
    bool operator==(const SignalColor&) const = default;
};

struct SignalTypeRecord {
    QString type{};  // Type: null in rows other tools wrote, which are listed all the same
    SignalColor color{};
    QString cableNoPrefix{};
    QString cableManu{};  // CableManu: the default cable's manufacturer, by name
    QString cableType{};  // CableType: the default cable's part number
    qint64 key = 0;       // key; 0 for a type not stored yet
    bool operator==(const SignalTypeRecord&) const = default;
};

class SignalTypeTable {
  public:
    explicit SignalTypeTable(Connections& registry) : registry_(registry) {}

    // Every row, by type; rows without a type are listed too (where, the engine decides).
    QList<SignalTypeRecord> all();
    // The rows of a type, compared without regard to case, by key: more than one is a fault
    // of the library that callers report.
    QList<SignalTypeRecord> withType(const QString& type);
    // The type names, sorted; rows without one are left out.
    QStringList names();

    // Adds the row; returns its key.
    qint64 insert(const SignalTypeRecord& r);
    // Rewrites the row `r.key` with the fields of `r`; false when there is no such row.
    bool update(const SignalTypeRecord& r);
    bool remove(qint64 key);

  private:
    Connections& registry_;
};

}  // namespace tolvane::db
