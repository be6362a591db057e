// Subreports: a report printed inside a control of another, once for each row of the section
// the control stands in. Its layout is a file of its own; its link "child=parent" picks, for
// each row, the rows of its own query whose child field holds the row's parent field's value.
//
// Each child layout is loaded, and its query read, once per run of the report around it
// (however many rows and passes print it): its rows are kept in memory grouped by their link
// value, so no statement runs per row and no row's value ever enters a statement. A child that
// cannot print (its file missing or damaged, its query failing, its link naming a field a query
// lacks, a report that would print inside itself) is said once and prints empty; the report
// around it prints on.
#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

#include "reports/record_source.h"
#include "reports/report_layout.h"

namespace tolvane::reports {

// One subreport control's child: its layout and rows.
struct ChildReport {
    ReportLayout layout;
    QString path;        // the layout's file
    QStringList within;  // the files of the reports it prints in, outermost first, and its own
    QStringList fields;  // its query's columns
    // The link: a field of its query and one of the report it prints in. Both empty: every
    // row prints under every row of the report around it.
    QString childField, parentField;
    QList<QVariantList> rows;  // in the order its query gives them

    // The rows (indexes into rows) that print under a row whose parent field holds value.
    const QList<int>& rowsFor(const QVariant& value) const;

    QList<int> all;                     // every row
    QHash<QString, QList<int>> byLink;  // by linkKey() of the child field's value
};

// What a link value compares by: numbers by their value whatever their type, other values by
// their text; nothing for an empty value, which matches no row (as in SQL).
std::optional<QString> linkKey(const QVariant& value);

class Subreports {
  public:
    // The rows of a child layout: its data control's query in its order (nullptr for a layout
    // without one). May throw ReportError.
    using RowsOf = std::function<std::unique_ptr<RecordSource>(const ReportLayout&)>;
    // Tells the user of a problem (the Ui seam's message).
    using Say = std::function<void(const QString&)>;

    // A file name is looked for in the reports folder unless it is absolute; topPath is the
    // file of the report they print in ("" for one not saved yet).
    Subreports(QString reportsFolder, QString topPath, RowsOf rowsOf, Say say);

    // The child a subreport control prints, loaded and read when first asked for; parent is
    // the child whose layout holds the control (nullptr: the report itself). nullptr when the
    // subreport prints empty (said).
    const ChildReport* child(const Control& control, const ChildReport* parent);
    // Says a problem of this run once, however often it is met.
    void problem(const QString& text);
    // The file a subreport control names.
    QString fileOf(const Control& control) const;
    // "The subreport NAME prints empty: " + reason.
    static QString printsEmpty(const Control& control, const QString& reason);

  private:
    std::unique_ptr<ChildReport> load(const Control& control, const ChildReport* parent);

    QString folder_;
    QString top_;
    RowsOf rowsOf_;
    Say say_;
    // nullptr: the control's subreport prints empty.
    std::unordered_map<const Control*, std::unique_ptr<ChildReport>> children_;
    QSet<QString> said_;
};

}  // namespace tolvane::reports
