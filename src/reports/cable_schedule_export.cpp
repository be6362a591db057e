// Writing the cable schedule as CSV and Excel in one step.
#include "reports/cable_schedule_export.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "reports/report_error.h"
#include "reports/report_exports.h"
#include "reports/rpx_file.h"
#include "shell/app_folder.h"
#include "ui/ui.h"

namespace tolvane::reports {

namespace {

// A file written under a temporary name, removed again unless it was renamed into place.
class PendingFile {
  public:
    explicit PendingFile(QString target)
        : target_(std::move(target)), part_(target_ + QStringLiteral(".part")) {}
    ~PendingFile() {
        if (!placed_) QFile::remove(part_);
    }
    const QString& part() const { return part_; }
    void place() {
        if (std::rename(QFile::encodeName(part_).constData(),
                        QFile::encodeName(target_).constData()) != 0)
            throw ReportError(QStringLiteral("the cable schedule cannot be written to %1: %2")
                                  .arg(target_, QString::fromLocal8Bit(std::strerror(errno))));
        placed_ = true;
    }

  private:
    QString target_, part_;
    bool placed_ = false;
};

}  // namespace

QString cableScheduleReportPath() {
    return QStringLiteral("reports/general/CableSchedule.rpx");
}

CableScheduleFiles cableScheduleFiles(const QString& chosen) {
    QString base = chosen;
    for (const QLatin1String suffix : {QLatin1String(".csv"), QLatin1String(".xlsx")})
        if (base.endsWith(suffix, Qt::CaseInsensitive)) base.chop(suffix.size());
    return {base + QStringLiteral(".csv"), base + QStringLiteral(".xlsx")};
}

void writeCableSchedule(const ReportLayout& layout, RecordSource& rows,
                        const CableScheduleFiles& files) {
    // Checked before either is written: the second rename must not be the one to find it.
    for (const QString& target : {files.csv, files.xlsx})
        if (QFileInfo(target).isDir())
            throw ReportError(
                QStringLiteral("the cable schedule cannot be written to %1: a folder of that name "
                               "is in the way")
                    .arg(target));
    PendingFile csv(files.csv), xlsx(files.xlsx);
    exportReport(layout, rows, ExportFormat::Csv, csv.part());
    exportReport(layout, rows, ExportFormat::Excel, xlsx.part());
    csv.place();
    xlsx.place();
}

bool exportCableSchedule(Ui& ui, const QString& appFolder, const QString& projectFolder,
                         db::Connections& registry) {
    if (projectFolder.isEmpty() || !registry.isBound(db::DbId::Project)) {
        ui.message(QStringLiteral("Open a project first: the cable schedule lists its cables."),
                   MsgButtons::Ok, MsgIcon::Information);
        return false;
    }
    // The layout is found as the folders are named on disk, whatever their case.
    QString layoutPath = appFolder;
    for (const QString& part : cableScheduleReportPath().split(QLatin1Char('/')))
        if (!layoutPath.isEmpty()) layoutPath = appfolder::findNoCase(layoutPath, part);
    if (layoutPath.isEmpty()) {
        ui.message(QStringLiteral("The cable schedule layout %1 is missing from the application "
                                  "folder.")
                       .arg(QDir(appFolder).filePath(cableScheduleReportPath())),
                   MsgButtons::Ok, MsgIcon::Critical);
        return false;
    }
    FileDialogOptions options;
    options.title = QStringLiteral("Export Cable Schedule as:");
    options.filter = QStringLiteral("CSV and Excel (*.CSV *.XLSX)");
    options.folder = projectFolder;
    options.proposed = QStringLiteral("CableSchedule");
    options.mustExist = false;
    const std::optional<QString> chosen = ui.saveFile(options);
    if (!chosen || chosen->trimmed().isEmpty()) return false;
    QString path = *chosen;
    if (QFileInfo(path).isRelative()) path = QDir(projectFolder).filePath(path);
    const CableScheduleFiles files = cableScheduleFiles(path);
    QStringList existing;
    for (const QString& f : {files.csv, files.xlsx})
        if (QFileInfo::exists(f)) existing << f;
    if (!existing.isEmpty() &&
        ui.message(QStringLiteral("Replace %1?").arg(existing.join(QStringLiteral(" and "))),
                   MsgButtons::YesNo, MsgIcon::Question) != MsgButton::Yes)
        return false;
    try {
        const ReportLayout layout = readRpx(layoutPath);
        if (!layout.data) throw ReportError(QStringLiteral("%1 has no query").arg(layoutPath));
        QueryRecordSource rows(*layout.data, registry, {}, rowOrder(layout));
        writeCableSchedule(layout, rows, files);
    } catch (const ReportError& e) {
        ui.message(e.message(), MsgButtons::Ok, MsgIcon::Critical);
        return false;
    }
    ui.fileWritten(QStringLiteral("Cable schedule written to %1 and %2").arg(files.csv, files.xlsx),
                   files.xlsx);
    return true;
}

}  // namespace tolvane::reports
