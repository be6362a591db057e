// A report document: one layout open in a report window, with its file, its name ("Report1"
// while it has no file), the "*" of unsaved changes, the binding of its data control and the
// filter put over its rows. Opening, saving, the close question and the exports ask the user
// through the Ui seam, so the same document runs in the window and in batch scripts.
#pragma once

#include <QObject>
#include <memory>
#include <optional>

#include "db/database.h"
#include "reports/layout_document.h"
#include "reports/record_source.h"
#include "reports/report_exports.h"

namespace tolvane {
class SettingsStore;
class Ui;
}  // namespace tolvane

namespace tolvane::reports {

// Where the report dialogs start: the application's Reports folder (open, save as) and the
// open project's folder (exports). With a settings store, each report's exports start in the
// folder of its last export, remembered under the report's file name.
struct ReportFolders {
    QString reports{};
    QString project{};
    SettingsStore* settings = nullptr;
};

// Render options whose progress shows on the user's progress display under text, with its
// Cancel button, until the run is over.
RenderOptions shownProgress(Ui& ui, const QString& text);

class ReportDocument : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* kNewName = "Report1";
    static constexpr const char* kFileFilter = "Tolvane Report Files (*.RPX)";

    // A new document: an empty layout named "Report1".
    ReportDocument(Ui& ui, db::Connections& registry, ReportFolders folders,
                   QObject* parent = nullptr);
    // Loads a layout file. Throws ReportError ("Error: " and why the file cannot be read).
    void load(const QString& path);

    LayoutDocument& layout() { return *layout_; }
    const ReportLayout& current() const { return layout_->layout(); }
    QString path() const { return path_; }
    // The file name, or "Report1" for a document that has none.
    QString name() const;
    // The name with a trailing "*" while there are unsaved changes.
    QString title() const;
    bool isModified() const { return layout_->isModified(); }

    // The database the data control "DC1" was bound to when the layout was loaded; nullopt for
    // a layout without one (or whose key names no database).
    std::optional<db::DbId> binding() const { return binding_; }

    // Save: through Save As while the document has no file or its file is gone. Both return
    // false when nothing was written (cancelled, or the file could not be written: said).
    bool save();
    bool saveAs();
    // The close question when there are unsaved changes: Yes saves (and stays open when that
    // fails), No discards, Cancel keeps the document open. True when it may close.
    bool mayClose();

    // The filter over the report's rows, as the user wrote it. Setting one checks it against
    // the query's columns and throws ReportError for a bad one, leaving the old filter.
    QString filter() const { return filterText_; }
    void setFilter(const QString& expression);
    void clearFilter();
    // The columns of the report's query (runs it). Throws ReportError.
    QStringList fields();
    // The report's rows with the filter applied, in the layout's order: the data control's
    // query, or no rows for a layout without one.
    std::unique_ptr<RecordSource> rows();
    // The options of one run of the report (a preview, a print, an export): its progress shown
    // under progressText, its subreports' layouts found in the Reports folder and their rows
    // read from their own data controls; what keeps a subreport from printing is said once, as
    // a warning, and the report prints on.
    RenderOptions renderOptions(const QString& progressText);

    // Export: asks for the file (starting in the folder of this report's last export, else the
    // project folder) and writes the report in the format. Where it wrote is said on the status
    // bar and in a message that offers to open the file or its folder. A long export shows its
    // progress and may be cancelled, leaving no file. False when cancelled or when the export
    // failed (said as "Error: " + reason).
    bool exportTo(ExportFormat format);
    // The folder the next export starts in.
    QString exportFolder() const;

  Q_SIGNALS:
    void titleChanged();
    // Saved under a (possibly new) file: the project explorer lists reports.
    void saved(const QString& path);
    void filterChanged();

  private:
    void bind();
    bool write(const QString& path);

    Ui& ui_;
    db::Connections& registry_;
    ReportFolders folders_;
    std::unique_ptr<LayoutDocument> layout_;
    QString path_;
    std::optional<db::DbId> binding_;
    QString filterText_;
    DataFilter filter_;
};

}  // namespace tolvane::reports
