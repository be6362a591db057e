// The cable schedule for contractors who work in spreadsheets: one command writes the rows of
// the stock cable schedule (reports/general/CableSchedule.rpx in the application folder) as a
// CSV file and an Excel workbook side by side, under one name the user gives.
#pragma once

#include <QString>

#include "db/database.h"
#include "reports/record_source.h"
#include "reports/report_layout.h"

namespace tolvane {
class Ui;
}

namespace tolvane::reports {

// The stock cable schedule, relative to the application folder.
QString cableScheduleReportPath();

struct CableScheduleFiles {
    QString csv;
    QString xlsx;
};

// The two files a chosen name stands for: a ".csv" or ".xlsx" suffix (in any case) is the
// user's choice of one of them, not part of the name.
CableScheduleFiles cableScheduleFiles(const QString& chosen);

// Writes both files from the layout's rows, each first to a temporary file beside it; only
// when both are complete are they renamed into place, so a failure (the query, a folder that
// cannot be written) leaves both targets as they were. Throws ReportError.
void writeCableSchedule(const ReportLayout& layout, RecordSource& rows,
                        const CableScheduleFiles& files);

// The command: asks once for the name (a save dialog starting in the project folder, proposing
// "CableSchedule"), asks before replacing files of that name, writes both and says where.
// Returns true when the files were written; problems are messages through the Ui.
bool exportCableSchedule(Ui& ui, const QString& appFolder, const QString& projectFolder,
                         db::Connections& registry);

}  // namespace tolvane::reports
