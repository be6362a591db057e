// Exports of a report: PDF, HTML, RTF, plain text, TIFF (one page per frame), Excel (.xlsx) and
// CSV.
// Each is a page sink over the one pagination; each writes a temporary file in the target's
// folder and renames it over the target at the end, so that a failure (an unwritable path, a
// query that fails) leaves nothing half written and an older file as it was.
#pragma once

#include <QList>
#include <QString>
#include <memory>

#include "reports/report_renderer.h"

namespace tolvane::reports {

enum class ExportFormat { Csv, Excel, Html, Pdf, Rtf, Text, Tiff };

// What the export dialog of each format shows.
struct ExportFormatInfo {
    ExportFormat format;
    QString title;        // "Export Report to PDF as:"
    QString filter;       // "PDF (*.PDF)"
    QString defaultName;  // "ReportPDF"
    QString suffix;       // "pdf"
};
const QList<ExportFormatInfo>& exportFormats();
const ExportFormatInfo& exportFormat(ExportFormat format);

// A sink writing the format to path. Throws ReportError when it cannot write there.
std::unique_ptr<PageSink> makeExportSink(ExportFormat format, const QString& path);

// Renders the report into path. Throws ReportError (the query, or the file); on any failure
// nothing is left at path that was not there before. Returns the number of pages.
int exportReport(const ReportLayout& layout, RecordSource& rows, ExportFormat format,
                 const QString& path, const RenderOptions& options = {});

}  // namespace tolvane::reports
