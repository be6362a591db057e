// The two catalogues cables are described by: signal types (SignalDefault), which give a
// cable its colour, number prefix and default cable type, and cable types (tblCableTypes)
// with their cores (tblCablePairs).
#pragma once

#include <QList>
#include <QString>
#include <optional>

#include "db/records/cable_types.h"
#include "db/records/signal_types.h"
#include "equipment/library_access.h"

namespace tolvane::equipment {

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
    QList<db::SignalTypeRecord> signalTypes();
    std::optional<db::SignalTypeRecord> signalType(const QString& type);
    // An empty or existing type name is refused with a message.
    bool addSignalType(const db::SignalTypeRecord& s);
    // Rewrites the stored row s.key (it may be renamed, but not onto another type).
    bool updateSignalType(const db::SignalTypeRecord& s);
    // Asks the question; Yes deletes the row s.key.
    bool removeSignalType(const db::SignalTypeRecord& s);

    // ---- cable types ----
    // The manufacturer's types whose part number begins with find, by part number.
    QList<db::CableTypeRecord> cableTypes(const QString& manufacturerId, const QString& find = {});
    std::optional<db::CableTypeRecord> cableType(qint64 id);
    std::optional<qint64> idOf(const QString& manufacturerId, const QString& partNumber);
    // Adds the type and, for a multicore type, its cores "01".."NN" in one transaction: with
    // the numbered scheme each marked with its number, colour-coded ones left unmarked. A
    // part number the manufacturer already has is refused with its message.
    // The entry's id is not read.
    std::optional<qint64> addCableType(const db::CableTypeRecord& e);
    QList<db::CableCoreRecord> cores(qint64 cableTypeId);
    // The user types a colour-coded core's marking.
    bool setCoreMarking(qint64 coreId, const QString& marking);
    // Asks the question; Yes deletes the cores and then the type in one transaction.
    bool removeCableType(qint64 id);

  private:
    bool refuse(const QString& text);

    LibraryAccess a_;
};

}  // namespace tolvane::equipment
