// Cable numbers of a project: the number part (`CableNO`) under a prefix (`CableNoPrefix`, the
// signal type's), shown as prefix + "-" + number or the number alone. The next number of a
// prefix is one above the highest one taken, comparing numbers as numbers (1000 follows 999;
// "12-03", a core of cable 12, counts as 12); freed rows offer their numbers again. A number
// held by a row in use is never offered nor written twice.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "db/database.h"

namespace tolvane::wiring {

// prefix + "-" + number, or the number alone for an empty prefix.
QString displayedNumber(const QString& prefix, const QString& number);
// The value a stored number counts as: its leading digits ("12-03" is 12); nullopt when it
// starts with none.
std::optional<qint64> numberValue(const QString& number);
// A number the user typed: digits only (blanks around them aside), at most 12 of them.
bool isWellFormedNumber(const QString& text);
// A number as a row holds it: a well-formed number, or a core's: its cable's number, "-" and
// the core's marking ("12-03", "12-RD").
bool isCableNumber(const QString& text);
// Why the text cannot be a row's number; empty when it can.
QString notACableNumber(const QString& text);
// Told when the displayed number is held by another row.
QString numberInUse(const QString& prefix, const QString& number);

class CableNumbers {
  public:
    explicit CableNumbers(db::Connections& registry = db::connections()) : registry_(registry) {}

    // One above the highest number of the prefix; `startNo` for a prefix without rows.
    QString next(const QString& prefix, qint64 startNo);
    // The numbers of the prefix free for reuse (Available, or with available cores), in text
    // order.
    QStringList reusable(const QString& prefix);

    struct Row {
        qint64 cableId = 0;
        bool available = false;
        bool multiCore = false;
    };
    // The rows holding the number under the prefix.
    QList<Row> rows(const QString& prefix, const QString& number);
    // Why the row `cableId` may not take the number under the prefix (a row without a prefix
    // has none): another row holds it, in use or free. Empty when none does.
    QString takenByAnother(qint64 cableId, const QString& prefix, const QString& number);

    // Frees a row: its number is offered for reuse and its ends read "Deleted".
    void release(qint64 cableId);

  private:
    db::Connections& registry_;
};

}  // namespace tolvane::wiring
