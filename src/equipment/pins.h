// The inputs and outputs of an equipment model (tblInputs, tblOutputs): adding one or a
// numbered series, selecting by signal group, deleting the selection, copying rows between
// the two lists and copying a model's whole input/output definition onto another model.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "db/records/pins.h"
#include "equipment/library_access.h"

namespace tolvane::equipment {

using db::PinList;
enum class PinTarget { Inputs, Outputs, Both };

// The edit frame of the input/output tab.
struct PinEntry {
    QString name{};  // cut to 32 characters
    QString conn{};
    QString type{};
    QString inputPinType{};
    QString outputPinType{};
    QString count{};  // empty: one row named as typed
    QString start{};  // empty: 1
    PinTarget target = PinTarget::Inputs;
};

// The longest name a row takes.
constexpr int kPinNameLength = 32;
constexpr int kMaxPinCount = 9999;

// The names a multiple add gives: name + START .. START+COUNT-1, zero-padded to two digits
// when the count field holds fewer than three characters, else to as many digits as it has
// characters ("9": CH01..CH09, "100": CH001..CH100). An empty count gives the name alone;
// nullopt when the count is not a whole number from 1 to kMaxPinCount or the start not a
// whole number from 0.
std::optional<QStringList> pinNames(const QString& name, const QString& count,
                                    const QString& start);

// The fixed signal groups with their selection buttons, and the code that selects every row.
QStringList signalGroups();
inline const QString kAllPins = QStringLiteral("all");

struct PinSelection {
    QList<qint64> inputs;
    QList<qint64> outputs;
    bool isEmpty() const { return inputs.isEmpty() && outputs.isEmpty(); }
};

// A model's inputs and outputs remembered by the copy-from command.
struct PinDefinition {
    qint64 equipmentId = 0;
    QString manufacturerName{};
    QString modelName{};
    QList<db::PinRecord> inputs;
    QList<db::PinRecord> outputs;
};

class Pins {
  public:
    explicit Pins(LibraryAccess access) : a_(std::move(access)) {}

    static QString deleteQuestion() {
        return QStringLiteral("This will delete all of the selected records. Are you sure?.");
    }
    static QString badCountMessage() {
        return QStringLiteral(
            "The count must be a whole number from 1 to 9999 and the start number a whole "
            "number from 0.");
    }
    static QString copyTargetPrompt() {
        return QStringLiteral("Select a piece of equipment to copy the definition to.");
    }
    static QString copyQuestion(const QString& targetManufacturer, const QString& targetModel,
                                const QString& sourceManufacturer, const QString& sourceModel);

    // A model's inputs or outputs, ordered by name.
    QList<db::PinRecord> list(qint64 equipmentId, PinList which);
    // The signal types the type list and the Other list offer (types that are not null).
    QStringList signalTypes();
    QStringList connectors();

    // Appends the row or the numbered rows to the inputs, the outputs or both, in one
    // transaction. The ids of the new rows are not returned: the grids read the lists again.
    bool add(qint64 equipmentId, const PinEntry& entry);
    // The rows whose Type is the group code (letter case aside); kAllPins: every row. A type
    // no row has selects nothing.
    PinSelection select(qint64 equipmentId, const QString& code);
    // Asks the question, then deletes the selected inputs and outputs in one transaction.
    bool removeSelected(const PinSelection& selection);
    // Each selected row appended to the other list with its model, name, type and connector.
    bool copyToOtherList(PinList from, const QList<qint64>& ids);

    // Copy-from: remembers the model's definition and asks for the target.
    bool copyDefinitionFrom(qint64 equipmentId);
    const std::optional<PinDefinition>& copySource() const { return source_; }
    // Copy: asks the question, then replaces the target's inputs and outputs with the
    // remembered ones in one transaction. The remembered source is dropped afterwards.
    bool copyDefinitionTo(qint64 targetEquipmentId);

  private:
    LibraryAccess a_;
    std::optional<PinDefinition> source_;
};

}  // namespace tolvane::equipment
