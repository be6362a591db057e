// Filter expressions over a report's rows: what the data tab's filter builder writes and what a
// command hands to a report it opens ("FileName = 'BOM1'"). An expression is a list of
// conditions joined by AND or OR, each a field of the report's query, an operator and a value:
//
//     CableNO LIKE 'A%' AND Length >= 10 OR Notes IS NULL
//
// Values are quoted text ('it''s' doubles a quote) or numbers. Parsing checks every field
// against the query's columns and turns the expression into a DataFilter whose values travel as
// parameters, so nothing the user typed becomes SQL text.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "reports/record_source.h"

namespace tolvane::reports {

// One line of the filter builder. join: how the line joins the one before it ("AND" or "OR";
// ignored on the first line).
struct FilterLine {
    QString field{};
    QString op{};
    QString value{};
    QString join = QStringLiteral("AND");
    bool operator==(const FilterLine&) const = default;
};

// The operators the builder offers, in its order. IS NULL and IS NOT NULL take no value.
const QStringList& filterOperators();
bool operatorTakesValue(const QString& op);

// The expression of the builder's lines: a value that reads as a number stays bare, any other
// is quoted. Lines without a field are skipped. Throws ReportError for an unknown operator.
QString filterExpression(const QList<FilterLine>& lines);

// Parses an expression against the query's columns (compared without regard to case; the
// condition names them as the query does). An empty expression gives an empty filter. Throws
// ReportError ("Error: " + what is wrong and where) for anything else it cannot read.
DataFilter parseFilter(const QString& expression, const QStringList& fields);

}  // namespace tolvane::reports
