// A cable number as it travels through the program: the prefix of its signal type
// (`CableNoPrefix`) and the number as a row stores it (`CableNO`), which for a core of a
// multicore cable is the cable's number, "-" and the core's marking ("12-03"). It is shown as
// prefix + "-" + number, or the number alone when there is no prefix.
#pragma once

#include <QString>
#include <optional>

namespace tolvane::db {

class CableNumber {
  public:
    CableNumber() = default;
    // The stored text is kept as given: what a row holds is what it gives back.
    CableNumber(const QString& prefix, const QString& stored) : prefix_(prefix), stored_(stored) {}
    // The number of the core `suffix` of the cable `number`.
    static CableNumber ofCore(const QString& prefix, const QString& number, const QString& suffix);

    // The text a cable's number texts read before the cable is assigned.
    static const QString& placeholder();

    const QString& prefix() const { return prefix_; }
    // CableNO: "12", or a core's "12-03".
    const QString& stored() const { return stored_; }
    // The cable's own number: the stored text up to its first "-".
    QString number() const;
    // The core's marking after the first "-"; empty for a cable of its own.
    QString coreSuffix() const;
    bool isCore() const { return stored_.contains(QLatin1Char('-')); }
    bool isEmpty() const { return stored_.isEmpty(); }

    // prefix + "-" + stored, or the stored text alone for an empty prefix.
    QString displayed() const;
    // The value the number counts as: its leading digits ("12-03" is 12); nullopt when it starts
    // with none or has too many to count.
    std::optional<qint64> value() const;

    // A number the user typed: digits only (blanks around them aside), at most 12 of them.
    static bool isWellFormed(const QString& text);
    // A number as a row may hold it: a well-formed number, or a core's (digits, "-" and a
    // marking without control characters).
    static bool isStorable(const QString& text);

    bool operator==(const CableNumber&) const = default;

  private:
    QString prefix_;
    QString stored_;
};

}  // namespace tolvane::db
