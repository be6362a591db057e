// The report document's file and data handling.
#include "reports/report_document.h"

#include <QDir>
#include <QFileInfo>

#include "reports/report_error.h"
#include "reports/report_filter.h"
#include "reports/rpx_file.h"
#include "reports/subreports.h"
#include "shell/settings_store.h"
#include "ui/ui.h"

namespace tolvane::reports {

ReportDocument::ReportDocument(Ui& ui, db::Connections& registry, ReportFolders folders,
                               QObject* parent)
    : QObject(parent),
      ui_(ui),
      registry_(registry),
      folders_(std::move(folders)),
      layout_(std::make_unique<LayoutDocument>()) {
    connect(&layout_->undoStack(), &QUndoStack::cleanChanged, this, &ReportDocument::titleChanged);
}

void ReportDocument::load(const QString& path) {
    ReportLayout loaded = readRpx(path);
    layout_ = std::make_unique<LayoutDocument>(std::move(loaded));
    connect(&layout_->undoStack(), &QUndoStack::cleanChanged, this, &ReportDocument::titleChanged);
    path_ = QFileInfo(path).absoluteFilePath();
    filterText_.clear();
    filter_ = {};
    bind();
    Q_EMIT titleChanged();
}

void ReportDocument::bind() {
    // The data control follows the databases open now: a layout saved while one project was
    // open reports on the project open when it is loaded again.
    binding_.reset();
    const ReportLayout& l = layout_->layout();
    if (l.data && l.data->name.compare(QLatin1String("DC1"), Qt::CaseInsensitive) == 0)
        binding_ = databaseForKey(l.data->databaseKey);
}

QString ReportDocument::name() const {
    return path_.isEmpty() ? QString::fromLatin1(kNewName) : QFileInfo(path_).fileName();
}

QString ReportDocument::title() const {
    return isModified() ? name() + QLatin1Char('*') : name();
}

bool ReportDocument::write(const QString& path) {
    try {
        writeRpx(path, layout_->layout());
    } catch (const ReportError& e) {
        ui_.message(e.message(), MsgButtons::Ok, MsgIcon::Critical);
        return false;
    }
    path_ = QFileInfo(path).absoluteFilePath();
    layout_->markSaved();
    ui_.status(QStringLiteral("Report saved to %1").arg(QDir::toNativeSeparators(path_)));
    Q_EMIT titleChanged();
    Q_EMIT saved(path_);
    return true;
}

bool ReportDocument::save() {
    if (path_.isEmpty() || !QFileInfo::exists(path_)) return saveAs();
    return write(path_);
}

bool ReportDocument::saveAs() {
    FileDialogOptions options;
    options.title = QStringLiteral("Save Report As:");
    options.filter = QString::fromLatin1(kFileFilter);
    options.folder = folders_.reports;
    options.proposed = path_.isEmpty() ? QString::fromLatin1(kNewName) + QStringLiteral(".RPX")
                                       : QFileInfo(path_).fileName();
    options.mustExist = false;
    const std::optional<QString> chosen = ui_.saveFile(options);
    if (!chosen || chosen->trimmed().isEmpty()) return false;
    QString path = QFileInfo(*chosen).absoluteFilePath();
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".RPX");
    return write(path);
}

bool ReportDocument::mayClose() {
    if (!isModified()) return true;
    switch (
        ui_.message(QStringLiteral("Save changes to report layout ") + name() + QLatin1Char('?'),
                    MsgButtons::YesNoCancel, MsgIcon::Question)) {
        case MsgButton::Yes:
            return save();
        case MsgButton::No:
            return true;
        default:
            return false;
    }
}

QStringList ReportDocument::fields() {
    const ReportLayout& l = layout_->layout();
    if (!l.data) return {};
    QueryRecordSource source(*l.data, registry_);
    source.start();
    return source.fields();
}

void ReportDocument::setFilter(const QString& expression) {
    const ReportLayout& l = layout_->layout();
    if (!l.data && !expression.trimmed().isEmpty())
        throw ReportError(QStringLiteral("the report has no data control to filter"));
    DataFilter parsed = parseFilter(expression, fields());
    filter_ = std::move(parsed);
    filterText_ = expression.trimmed();
    Q_EMIT filterChanged();
}

void ReportDocument::clearFilter() {
    filter_ = {};
    filterText_.clear();
    Q_EMIT filterChanged();
}

std::unique_ptr<RecordSource> ReportDocument::rows() {
    const ReportLayout& l = layout_->layout();
    if (!l.data) return std::make_unique<TableRecordSource>(QStringList{}, QList<QVariantList>{});
    return std::make_unique<QueryRecordSource>(*l.data, registry_, filter_, rowOrder(l));
}

RenderOptions ReportDocument::renderOptions(const QString& progressText) {
    RenderOptions options = shownProgress(ui_, progressText);
    options.subreports = std::make_shared<Subreports>(
        folders_.reports, path_,
        [this](const ReportLayout& child) -> std::unique_ptr<RecordSource> {
            if (!child.data) return nullptr;
            return std::make_unique<QueryRecordSource>(*child.data, registry_, DataFilter{},
                                                       rowOrder(child));
        },
        [this](const QString& text) { ui_.message(text, MsgButtons::Ok, MsgIcon::Warning); });
    return options;
}

namespace {

// Where each report's last export went: one value per report file name.
Registry exportFolders(SettingsStore& store, const QString& report) {
    Registry r(store);
    r.sectionKey = QStringLiteral("ReportExports");
    r.valueKey = report.toLower();
    return r;
}

}  // namespace

RenderOptions shownProgress(Ui& ui, const QString& text) {
    RenderOptions options;
    // An unknown total still moves the bar: it is always a little ahead of the rows read.
    options.progress = [&ui, text](qint64 read, qint64 total) {
        if (total == 0) return ui.progress(QString(), 0, 0);
        return ui.progress(text, read, total > 0 ? total : read * 2);
    };
    return options;
}

QString ReportDocument::exportFolder() const {
    if (folders_.settings) {
        const QString last = exportFolders(*folders_.settings, name()).value();
        if (!last.isEmpty() && QFileInfo(last).isDir()) return last;
    }
    return folders_.project;
}

bool ReportDocument::exportTo(ExportFormat format) {
    const ExportFormatInfo& info = exportFormat(format);
    FileDialogOptions options;
    options.title = info.title;
    options.filter = info.filter;
    options.folder = exportFolder();
    options.proposed = info.defaultName + QLatin1Char('.') + info.suffix.toUpper();
    options.mustExist = false;
    const std::optional<QString> chosen = ui_.saveFile(options);
    if (!chosen || chosen->trimmed().isEmpty()) return false;
    QString path = QFileInfo(*chosen).absoluteFilePath();
    if (QFileInfo(path).suffix().isEmpty()) path += QLatin1Char('.') + info.suffix.toUpper();
    try {
        const auto source = rows();
        exportReport(layout_->layout(), *source, format, path,
                     renderOptions(QStringLiteral("Exporting %1").arg(name())));
    } catch (const ReportError& e) {
        ui_.message(e.message(), MsgButtons::Ok, MsgIcon::Critical);
        return false;
    } catch (const RenderCancelled&) {
        ui_.status(QStringLiteral("Export cancelled: nothing was written"));
        return false;
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (folders_.settings) exportFolders(*folders_.settings, name()).setValue(folder);
    ui_.fileWritten(QStringLiteral("Report exported to %1").arg(QDir::toNativeSeparators(path)),
                    path);
    return true;
}

}  // namespace tolvane::reports
