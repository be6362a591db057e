// The project's bills of materials: one row per bill, kept under its name (tblBOMMaster), and
// the lines of each bill (tblBOM), an item counted over the project and priced from the
// equipment library. The typed records and the one place that holds the statements on both
// tables. Bill names compare as their columns compare, without regard to case.
#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <optional>

#include "db/database.h"

namespace tolvane::db {

struct BomBill {
    QString name;  // BOMFileName
    QDate date;    // BOMDate
    bool operator==(const BomBill&) const = default;
};

// One line of a bill. Costs and extensions the library could not give are empty.
struct BomLine {
    QString itemKey;  // ItemKey: made by the table for a new line
    QString bill;     // FileName: the name of its bill
    QString bomClass;
    QString item;
    QString manufacturer;
    double qty = 0;
    QString vendor1, vendor2;
    std::optional<double> cost1, cost2;  // Cost1, COST2
    std::optional<double> ext1, ext2;    // QTY x Cost1, QTY x COST2
    bool operator==(const BomLine&) const = default;
};

class BomTable {
  public:
    explicit BomTable(Connections& registry) : registry_(registry) {}

    // By name.
    QList<BomBill> bills();
    bool exists(const QString& name);
    // The lines of a bill, by section (BOMClass) and item.
    QList<BomLine> lines(const QString& bill);

    void insert(const BomBill& bill);
    // Adds the lines in few statements; their keys are made by the table.
    void insert(const QList<BomLine>& lines);
    // Ext1 = QTY x Cost1 and Ext2 = QTY x COST2 on every line of the bill, in one statement.
    void recomputeExtensions(const QString& bill);
    // Removes the bill and its lines.
    void remove(const QString& bill);

    // The statement a grid of lines starts from, and the condition on it that keeps the lines
    // of one bill: it names the bill by its row identity, so it holds no text of the user's
    // (for grids whose models cannot bind values). Empty when there is no such bill.
    static QString linesSelect();
    QString linesCondition(const QString& bill);

  private:
    Connections& registry_;
};

}  // namespace tolvane::db
