// Printing a comparison of two issues of the cable schedule.
#include "reports/cable_changes_export.h"

#include <QDir>
#include <QFileInfo>

#include "reports/record_source.h"
#include "reports/report_error.h"
#include "reports/rpx_file.h"
#include "shell/app_folder.h"
#include "ui/ui.h"

namespace tolvane::reports {

QString cableChangesReportPath() {
    return QStringLiteral("reports/general/CableChanges.rpx");
}

DataFilter cableChangesFilter(const QString& comparedBy) {
    return {QStringLiteral("ComparedBy = ?"), {comparedBy}};
}

bool exportCableChanges(Ui& ui, const QString& appFolder, const QString& projectFolder,
                        db::Connections& registry, const QString& comparedBy,
                        const QString& compared, const QList<db::CableChangeLine>& lines,
                        ExportFormat format) {
    // The layout is found as the folders are named on disk, whatever their case.
    QString layoutPath = appFolder;
    for (const QString& part : cableChangesReportPath().split(QLatin1Char('/')))
        if (!layoutPath.isEmpty()) layoutPath = appfolder::findNoCase(layoutPath, part);
    if (layoutPath.isEmpty()) {
        ui.message(QStringLiteral("The Cable Changes layout %1 is missing from the application "
                                  "folder.")
                       .arg(QDir(appFolder).filePath(cableChangesReportPath())),
                   MsgButtons::Ok, MsgIcon::Critical);
        return false;
    }
    const ExportFormatInfo& info = exportFormat(format);
    FileDialogOptions options;
    options.title = info.title;
    options.filter = info.filter;
    options.folder = projectFolder;
    options.proposed = QStringLiteral("CableChanges");
    options.mustExist = false;
    const std::optional<QString> chosen = ui.saveFile(options);
    if (!chosen || chosen->trimmed().isEmpty()) return false;
    QString path = *chosen;
    if (QFileInfo(path).isRelative()) path = QDir(projectFolder).filePath(path);
    if (QFileInfo(path).suffix().isEmpty()) path += QLatin1Char('.') + info.suffix;
    try {
        const ReportLayout layout = readRpx(layoutPath);
        if (!layout.data) throw ReportError(QStringLiteral("%1 has no query").arg(layoutPath));
        db::CableChangeTable(registry).replace(comparedBy, compared, lines);
        QueryRecordSource rows(*layout.data, registry, cableChangesFilter(comparedBy),
                               rowOrder(layout));
        exportReport(layout, rows, format, path);
    } catch (const ReportError& e) {
        ui.message(e.message(), MsgButtons::Ok, MsgIcon::Critical);
        return false;
    }
    ui.fileWritten(QStringLiteral("Cable changes written to %1").arg(path), path);
    return true;
}

}  // namespace tolvane::reports
