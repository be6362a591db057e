// Cable numbers of a project: the number part (`CableNO`) under a prefix (`CableNoPrefix`, the
// signal type's), shown as prefix + "-" + number or the number alone (db::CableNumber). The
// next number of a prefix is one above the highest one taken, comparing numbers as numbers
// (1000 follows 999; "12-03", a core of cable 12, counts as 12); freed rows offer their numbers
// again. A number held by a row in use is never offered nor written twice.
#pragma once

#include <QString>
#include <QStringList>

#include "db/database.h"
#include "db/records/cable_number.h"

namespace tolvane::wiring {

// Why the text cannot be a row's number; empty when it can.
QString notACableNumber(const QString& text);
// Told when the displayed number is held by another row.
QString numberInUse(const db::CableNumber& number);

class CableNumbers {
  public:
    explicit CableNumbers(db::Connections& registry) : registry_(registry) {}

    // One above the highest number of the prefix; `startNo` for a prefix without rows.
    QString next(const QString& prefix, qint64 startNo);
    // The numbers of the prefix free for reuse (Available, or with available cores), in text
    // order.
    QStringList reusable(const QString& prefix);
    // Why the row `cableId` may not take the number (a row without a prefix has none): another
    // row holds it, in use or free. Empty when none does.
    QString takenByAnother(qint64 cableId, const db::CableNumber& number);

  private:
    db::Connections& registry_;
};

}  // namespace tolvane::wiring
