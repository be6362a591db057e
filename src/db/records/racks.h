// The project's racks (tblRackUnits): a name that systems give as their location, a height in
// RU and the optional power capacity and weight limit; and each rack's budget as last worked
// out (tblRackBudgets), which the "Rack Budgets" report reads. The typed records and the one
// place that holds the statements on both tables. Rack names compare without regard to case.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

#include "db/database.h"

namespace tolvane::db {

struct RackRecord {
    qint64 id = 0;                      // RackUnitID
    QString name;                       // RackUnitName
    int height = 0;                     // RackUnits, in RU
    std::optional<double> powerLimit;   // PowerLimit, W
    std::optional<double> weightLimit;  // WeightLimit, kg
    QString description;
    bool operator==(const RackRecord&) const = default;
};

class RackTable {
  public:
    explicit RackTable(Connections& registry) : registry_(registry) {}

    // By name.
    QList<RackRecord> all();
    std::optional<RackRecord> find(qint64 id);
    std::optional<RackRecord> named(const QString& name);

    // Adds the rack; returns its RackUnitID.
    qint64 insert(const RackRecord& r);
    // Rewrites the rack `r.id` with the fields of `r`.
    void update(const RackRecord& r);
    void remove(qint64 id);

  private:
    Connections& registry_;
};

struct RackBudgetRow {
    QString rack;
    int height = 0;
    int used = 0;
    int free = 0;
    int systems = 0;
    double watts = 0;
    std::optional<double> powerLimit;
    double btu = 0;
    double weight = 0;
    std::optional<double> weightLimit;
    QString overLimits;  // "" or the limits passed: "RU", "power", "weight", comma-separated
    QDateTime worked;    // BudgetDate
    bool operator==(const RackBudgetRow&) const = default;
};

class RackBudgetTable {
  public:
    explicit RackBudgetTable(Connections& registry) : registry_(registry) {}

    // Replaces every row with these; run it inside a transaction.
    void replace(const QList<RackBudgetRow>& rows);
    // By rack name.
    QList<RackBudgetRow> all();

  private:
    Connections& registry_;
};

}  // namespace tolvane::db
