// Columns sized from their data. A detail marked to fit its columns has its bound fields read as
// the columns of a table: before the pages are cut, every value is measured, and each column
// gets the width its widest value (and its heading in the page header) needs. When the columns
// together need more than the page has, the widest give way down to their longest word and wrap
// within the row, which grows. The result is a map from layout x to printed x that every
// section goes through, so headings, rules and group bands follow the columns they belong to.
#pragma once

#include <QHash>
#include <QList>
#include <QRect>
#include <QSet>

#include "reports/record_source.h"
#include "reports/report_layout.h"

namespace tolvane::reports {

struct RenderOptions;

class ColumnFit {
  public:
    // The identity: nothing moves, nothing wraps.
    ColumnFit() = default;

    bool isIdentity() const { return from_.isEmpty(); }
    // Where a layout x (twips from the section's left edge) prints.
    int x(int layoutX) const;
    // A rectangle with both its ends mapped (a line keeps its direction).
    QRect rect(const QRect& r) const;
    // Where a control prints. The fields of the columns and their headings take their
    // column's edges, and so do lines, boxes and pictures (both ends mapped); other text keeps
    // its width and moves with the edge it is aligned to (a right-aligned total stays under
    // its column's right edge), inside the page and never over the text left of it on its
    // line.
    QRect place(const Control& control) const;
    // Whether a field wraps within its row because its column is narrower than its values.
    bool wraps(const Control* control) const { return wraps_.contains(control); }

    // The widths the columns got, left to right (tests).
    QList<int> widths() const { return widths_; }

  private:
    friend ColumnFit fitColumns(const ReportLayout&, RecordSource&, const RenderOptions&);
    QList<int> from_, to_;  // breakpoints of the map, ascending; linear between them
    int limit_ = 0;         // the printable width: nothing maps beyond it
    QSet<const Control*> wraps_;
    QSet<const Control*> columnar_;        // the columns' fields and headings
    QHash<const Control*, QRect> placed_;  // the other text
    QList<int> widths_;
};

// Whether fitColumns reads the rows for the layout (else it returns the identity at once).
bool fitsColumnsToRows(const ReportLayout& layout);

// Reads the rows once and fits the detail's columns to them. The identity for a layout whose
// detail does not ask for it or prints in several columns. Throws ReportError (the query).
ColumnFit fitColumns(const ReportLayout& layout, RecordSource& rows, const RenderOptions& options);

}  // namespace tolvane::reports
