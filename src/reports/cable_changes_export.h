// The "Cable Changes" report of a comparison of two issues of the cable schedule: the lines are
// kept for their user in tblCableChanges and printed by the stock layout
// reports/general/CableChanges.rpx (in the application folder), filtered to that user's lines,
// into a PDF or Excel file an installer works from.
#pragma once

#include <QList>
#include <QString>

#include "db/database.h"
#include "db/records/revisions.h"
#include "reports/report_exports.h"

namespace tolvane {
class Ui;
}

namespace tolvane::reports {

// The stock layout, relative to the application folder.
QString cableChangesReportPath();

// The filter that shows one user's lines.
DataFilter cableChangesFilter(const QString& comparedBy);

// Asks for the file (a save dialog in the project folder proposing "CableChanges"), keeps the
// lines for `comparedBy` under the caption `compared`, writes the report in the format and says
// where. Returns true when written; problems are messages through the Ui.
bool exportCableChanges(Ui& ui, const QString& appFolder, const QString& projectFolder,
                        db::Connections& registry, const QString& comparedBy,
                        const QString& compared, const QList<db::CableChangeLine>& lines,
                        ExportFormat format);

}  // namespace tolvane::reports
