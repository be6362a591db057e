// Racks and what stands in them. A system stands in the rack its Location names, at the RU
// its Elevation gives (its lowest RU; RU 1 is at the bottom of the rack), and takes as many RU
// as its model's height in the library ("RU", or inches rounded up to whole RU at 1.75 in a
// RU). Here a rack's systems are placed: a system whose elevation is not a number, whose
// height is unknown, that meets one placed before it or that sticks out of the rack is set
// aside as a problem, never placed over another. And each rack's budget: power (W), heat
// (BTU/h), weight (kg) and RU, against the rack's limits. No widgets.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <variant>

#include "db/database.h"
#include "db/records/equipment_models.h"
#include "db/records/racks.h"
#include "db/records/systems.h"

namespace tolvane::equipment {

constexpr int kDefaultRackHeight = 42;
constexpr double kInchesPerRu = 1.75;
constexpr double kBtuPerWatt = 3.412;

// The whole RU a model takes: a height in "RU" (or without a unit) rounded up, one in "in"
// divided by 1.75 and rounded up. Unknown (nullopt) without a height above zero, or with
// another unit.
std::optional<int> heightInRu(const std::optional<double>& height, const QString& unit);
// The RU an elevation text names: "12", "U12" or "RU 12" (letter case aside). Nullopt when it
// is no whole number.
std::optional<int> elevationRu(const QString& text);

enum class RackProblemKind { ElevationNotNumber, HeightUnknown, Overlap, OutOfRack };

struct RackProblem {
    RackProblemKind kind = RackProblemKind::ElevationNotNumber;
    QString rack;
    qint64 sysId = 0;
    QString system;  // "VTR-01"
    QString text;
};

// One system of a rack as the library describes it.
struct RackedSystem {
    qint64 sysId = 0;
    QString system;  // "VTR-01"
    QString model;
    QString manufacturer;
    QString elevation;          // the text as written
    std::optional<int> bottom;  // lowest RU
    std::optional<int> height;  // RU
    std::optional<double> watts;
    std::optional<double> weight;
    // The RU it spans, when both are known.
    int top() const { return bottom && height ? *bottom + *height - 1 : 0; }
};

struct RackBudget {
    int height = 0;
    int used = 0;  // RU the rack's systems of known height take together
    int free = 0;  // height - used; below zero when they do not fit
    int systems = 0;
    double watts = 0;
    double btu = 0;
    double weight = 0;
    std::optional<double> powerLimit;
    std::optional<double> weightLimit;
    bool overRu() const { return used > height; }
    bool overPower() const { return powerLimit && watts > *powerLimit; }
    bool overWeight() const { return weightLimit && weight > *weightLimit; }
    bool over() const { return overRu() || overPower() || overWeight(); }
    // "RU, power, weight": the limits passed, or "".
    QString overLimits() const;
};

struct RackPlan {
    db::RackRecord rack;
    QList<RackedSystem> placed;   // from the bottom up
    QList<RackProblem> problems;  // in the order of the systems' SysID
    RackBudget budget;
    // The runs of empty RU from the bottom up: (lowest RU, height).
    QList<std::pair<int, int>> freeRuns() const;
    // "RACK name | RU used/height | W | BTU/h | kg"
    QString line() const;
};

// A system with its model's physical data (nullopt: the model is not in the library).
struct SystemInRack {
    db::SystemRecord system;
    std::optional<db::PhysicalRecord> physical;
};

// Places the systems in the rack and works out its budget.
RackPlan planRack(const db::RackRecord& rack, const QList<SystemInRack>& systems);

// Numbers as the budgets show them: up to one decimal, no trailing zero ("450", "12.5").
QString budgetNumber(double value);

// The fields of the racks window as the user left them.
struct RackEntry {
    QString name;
    QString height;
    QString heightUnit;  // "RU" or "in"
    QString power;       // W; empty: no capacity given
    QString weight;      // kg; empty: no limit given
    QString description;
};
// The rack the entry describes (id 0), or the message that says what is wrong with it.
std::variant<db::RackRecord, QString> rackFromEntry(const RackEntry& entry);
// Adds the rack (id 0; its new id is set) or rewrites it. The message when its name is
// another rack's already; nothing is written then.
std::optional<QString> storeRack(db::Connections& registry, db::RackRecord& rack);
// Adds a rack of the default height for each name that is no rack yet, in one transaction.
// Returns how many were added.
int createRacks(db::Connections& registry, const QStringList& names);

// The racks of a project and their systems, read once: the racks, the systems and the
// library data of the models they use, one query each (the library in parts of a few hundred
// models).
class RackBook {
  public:
    explicit RackBook(db::Connections& registry);

    const QList<db::RackRecord>& racks() const { return racks_; }
    // Every rack's plan, by rack name; or the named racks' only (letter case aside).
    QList<RackPlan> plans(const QStringList& names = {}) const;
    // The locations systems give that name no rack yet, sorted, each once.
    QStringList undefinedLocations() const;

    // The budgets written to tblRackBudgets in one transaction (what the report reads).
    static void storeBudgets(db::Connections& registry, const QList<RackPlan>& plans);

  private:
    QList<db::RackRecord> racks_;
    QHash<QString, QList<SystemInRack>> byLocation_;  // key: the location in upper case
    QStringList locations_;                           // as first written
};

}  // namespace tolvane::equipment
