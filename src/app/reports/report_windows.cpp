#include "app/reports/report_windows.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrinter>
#include <QRadioButton>
#include <QTabWidget>
#include <cmath>

#include "app/reports/bill_of_materials_window.h"
#include "app/reports/report_designer.h"
#include "app/reports/report_window.h"
#include "app/reports/report_wizard_window.h"
#include "app/shell/widget_helpers.h"
#include "db/database.h"
#include "drawings/command_router.h"
#include "reports/cable_schedule_export.h"
#include "reports/report_error.h"
#include "shell/app_folder.h"
#include "shell/command_table.h"
#include "shell/error_handler.h"
#include "shell/run_state.h"
#include "ui/ui.h"

namespace tolvane {

ReportWindows::ReportWindows(Services services, QObject* parent)
    : QObject(parent), s_(std::move(services)) {}

QString ReportWindows::reportsFolder() const {
    const QString found = appfolder::findNoCase(s_.run.appFolder(), QStringLiteral("Reports"));
    return found.isEmpty() ? QDir(s_.run.appFolder()).filePath(QStringLiteral("Reports")) : found;
}

int ReportWindows::freeIndex() const {
    int i = 1;
    for (;;) {
        bool taken = false;
        for (const ReportWindow* w : windows_) taken = taken || w->index() == i;
        if (!taken) return i;
        ++i;
    }
}

ReportWindow* ReportWindows::active() const {
    QMdiSubWindow* sub = s_.mdi.activeSubWindow();
    return sub ? qobject_cast<ReportWindow*>(sub->widget()) : nullptr;
}

ReportWindow* ReportWindows::require() const {
    ReportWindow* w = active();
    if (!w)
        s_.ui.message(QStringLiteral("There is no active report."), MsgButtons::Ok,
                      MsgIcon::Information);
    return w;
}

ReportWindow* ReportWindows::open(const QString& path, const QString& filter) {
    auto doc = std::make_unique<reports::ReportDocument>(
        s_.ui, s_.registry,
        reports::ReportFolders{reportsFolder(), s_.run.currentProjectPath, &s_.settings});
    if (!path.isEmpty()) {
        // A layout already open comes to the front (with the filter asked for) instead of a
        // second window over the same file.
        const QString wanted = QFileInfo(path).absoluteFilePath();
        for (ReportWindow* w : windows_) {
            if (w->document().path() == wanted) {
                s_.mdi.setActiveSubWindow(qobject_cast<QMdiSubWindow*>(w->parentWidget()));
                if (!filter.isEmpty()) w->applyFilter(filter);
                return w;
            }
        }
        try {
            doc->load(path);
        } catch (const reports::ReportError& e) {
            s_.ui.message(e.message(), MsgButtons::Ok, MsgIcon::Critical);
            return nullptr;
        }
    }
    ReportWindow* w = show(new ReportWindow(std::move(doc), freeIndex(), s_.ui));
    if (!filter.isEmpty()) w->applyFilter(filter);
    return w;
}

ReportWindow* ReportWindows::openChosen() {
    FileDialogOptions options;
    options.title = QStringLiteral("Open Report:");
    options.filter = QString::fromLatin1(reports::ReportDocument::kFileFilter);
    options.folder = reportsFolder();
    const std::optional<QString> path = s_.ui.openFile(options);
    if (!path || path->isEmpty()) return nullptr;
    if (!QFileInfo::exists(*path)) {
        s_.ui.message(QStringLiteral("%1 cannot be found.").arg(*path), MsgButtons::Ok,
                      MsgIcon::Warning);
        return nullptr;
    }
    return open(*path);
}

ReportWindow* ReportWindows::show(ReportWindow* w) {
    w->closing = [this](ReportWindow& window) {
        if (!window.document().mayClose()) return false;
        windows_.removeAll(&window);
        return true;
    };
    w->mayDesign = s_.mayDesign;
    w->tabShown = [this, w](ReportWindow::Tab tab) {
        if (active() == w) Q_EMIT designShown(tab == ReportWindow::Design);
    };
    connect(&w->document(), &reports::ReportDocument::saved, this,
            [this] { Q_EMIT reportsChanged(); });
    connect(w->designer(), &ReportDesigner::commandsChanged, this, [this, w] {
        if (active() == w) Q_EMIT commandsChanged();
    });
    windows_.append(w);
    connect(w, &QObject::destroyed, this, [this, w] { windows_.removeAll(w); });
    QMdiSubWindow* sub = s_.mdi.addSubWindow(w);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setObjectName(w->objectName() + QStringLiteral("Frame"));
    showChild(s_.mdi, sub);  // placed (maximised) first, so the window shows once
    s_.ui.showModeless(*w);
    s_.mdi.setActiveSubWindow(sub);
    // A user who may not edit reports sees the report, not its design.
    if (s_.mayDesign && !s_.mayDesign()) w->runPreview();
    return w;
}

void ReportWindows::print(ReportWindow& window) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setFullPage(true);
    printer.setDocName(window.document().name());
    const reports::PageSetup& page = window.document().current().page;
    printer.setPageLayout(QPageLayout(
        QPageSize(QSizeF(page.paperWidth / 20.0, page.paperHeight / 20.0), QPageSize::Point),
        page.landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF()));
    if (!s_.ui.choosePrinter(printer, QStringLiteral("Print Report"))) return;
    try {
        const auto rows = window.document().rows();
        reports::PagedDeviceSink sink(printer);
        reports::renderReport(
            window.document().current(), *rows, sink,
            window.document().renderOptions(tr("Printing %1").arg(window.document().name())));
    } catch (const reports::ReportError& e) {
        s_.ui.message(e.message(), MsgButtons::Ok, MsgIcon::Critical);
    } catch (const reports::RenderCancelled&) {
        printer.abort();
        s_.ui.status(tr("Printing cancelled"));
    }
}

ReportDesigner* ReportWindows::designer() const {
    ReportWindow* w = require();
    if (!w) return nullptr;
    if (w->tabs()->currentIndex() != ReportWindow::Design) {
        s_.ui.message(QStringLiteral("The report's layout is edited on its Design tab."),
                      MsgButtons::Ok, MsgIcon::Information);
        return nullptr;
    }
    return w->designer();
}

std::optional<bool> ReportWindows::commandEnabled(const QString& key) const {
    ReportWindow* w = active();
    if (!w) return std::nullopt;
    const std::optional<bool> applies = w->designer()->enabled(key);
    // Away from the design tab the designer's commands have nothing to act on.
    if (applies && w->tabs()->currentIndex() != ReportWindow::Design) return false;
    return applies;
}

namespace {

struct PaperChoice {
    const char* name;
    int width, height;  // twips, portrait
};
constexpr PaperChoice kPapers[] = {{"Letter", 12240, 15840},
                                   {"Legal", 12240, 20160},
                                   {"A4", 11906, 16838},
                                   {"A3", 16838, 23811},
                                   {"Tabloid", 15840, 24480}};

}  // namespace

void ReportWindows::pageSetup(ReportWindow& window) {
    const reports::PageSetup now = window.document().current().page;
    QDialog dialog(&window);
    dialog.setObjectName(QStringLiteral("frmReportPageSetup"));
    dialog.setWindowTitle(QStringLiteral("Page Setup"));
    auto* paper = named(new QComboBox, "cboPaper");
    int current = -1;
    for (int i = 0; i < int(std::size(kPapers)); ++i) {
        paper->addItem(QString::fromLatin1(kPapers[i].name));
        if (kPapers[i].width == now.paperWidth && kPapers[i].height == now.paperHeight) current = i;
    }
    if (current < 0) {
        paper->addItem(QStringLiteral("Custom (%1 x %2 in)")
                           .arg(now.paperWidth / 1440.0, 0, 'f', 2)
                           .arg(now.paperHeight / 1440.0, 0, 'f', 2));
        current = paper->count() - 1;
    }
    paper->setCurrentIndex(current);
    auto* portrait = named(new QRadioButton(QStringLiteral("Portrait")), "optPortrait");
    auto* landscape = named(new QRadioButton(QStringLiteral("Landscape")), "optLandscape");
    (now.landscape ? landscape : portrait)->setChecked(true);
    const auto inches = [](const char* name, int twips) {
        auto* box = named(new QDoubleSpinBox, name);
        box->setRange(0, 5);
        box->setDecimals(2);
        box->setSingleStep(0.05);
        box->setSuffix(QStringLiteral(" in"));
        box->setValue(twips / 1440.0);
        return box;
    };
    auto* left = inches("txtMarginLeft", now.marginLeft);
    auto* right = inches("txtMarginRight", now.marginRight);
    auto* top = inches("txtMarginTop", now.marginTop);
    auto* bottom = inches("txtMarginBottom", now.marginBottom);
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(namedButton("cmdOK", QStringLiteral("OK")), QDialogButtonBox::AcceptRole);
    buttons->addButton(namedButton("cmdCancel", QStringLiteral("Cancel")),
                       QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("Paper:"), paper);
    auto* orientation = new QHBoxLayout;
    orientation->addWidget(portrait);
    orientation->addWidget(landscape);
    form->addRow(QStringLiteral("Orientation:"), orientation);
    form->addRow(QStringLiteral("Left margin:"), left);
    form->addRow(QStringLiteral("Right margin:"), right);
    form->addRow(QStringLiteral("Top margin:"), top);
    form->addRow(QStringLiteral("Bottom margin:"), bottom);
    form->addRow(buttons);
    if (s_.ui.runModal(dialog) != QDialog::Accepted) return;
    reports::PageSetup chosen = now;
    if (paper->currentIndex() < int(std::size(kPapers))) {
        chosen.paperWidth = kPapers[paper->currentIndex()].width;
        chosen.paperHeight = kPapers[paper->currentIndex()].height;
    }
    chosen.landscape = landscape->isChecked();
    const auto twips = [](QDoubleSpinBox* box) { return int(std::lround(box->value() * 1440)); };
    chosen.marginLeft = twips(left);
    chosen.marginRight = twips(right);
    chosen.marginTop = twips(top);
    chosen.marginBottom = twips(bottom);
    // Margins must leave room to print: the same limit the layout file keeps.
    if (chosen.printableWidth() < 360 || chosen.printableHeight() < 360) {
        s_.ui.message(QStringLiteral("Error: the margins leave less than a quarter inch of the "
                                     "page."),
                      MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    window.document().layout().edit(QStringLiteral("Page Setup"),
                                    [&](reports::ReportLayout& l) { l.page = chosen; });
    if (window.previewPane()->preview()) window.runPreview();
}

void ReportWindows::registerActions() {
    const auto on = [this](CommandKey key, CommandRouter::Action action) {
        s_.router.setAction(key, std::move(action));
    };
    on("catRNew", [this] { open({}); });
    on("catRWizard", [this] {
        // Making a report layout takes the right to make reports.
        if (!s_.router.permitted(CommandKey("catRNew"))) return;
        const QString project = s_.run.currentProjectPath;
        const QString reports = appfolder::findNoCase(project, QStringLiteral("REPORTS"));
        const QString general = reports.isEmpty()
                                    ? QString()
                                    : appfolder::findNoCase(reports, QStringLiteral("GENERAL"));
        ReportWizardWindow window(s_.ui, general.isEmpty() ? project : general, s_.registry);
        window.open = [this](const QString& path) {
            Q_EMIT reportsChanged();
            open(path);
        };
        s_.ui.runModal(window);
    });
    // Making bills is making reports: the wizard asks the permission of catRNew.
    on("catGBillOfMaterials", [this] {
        if (!s_.router.permitted(CommandKey("catRNew"))) return;
        BillOfMaterialsWindow window(s_.ui, s_.run.appPath, s_.registry, s_.mdi.window());
        window.setErrorHandler(&s_.errors);
        // The stock report opens filtered to the bill.
        window.preview = [this](const QString& path, const QString& filter) { open(path, filter); };
        s_.ui.runModal(window);
    });
    on("catRExportCableSchedule", [this] {
        reports::exportCableSchedule(s_.ui, s_.run.appFolder(), s_.run.currentProjectPath,
                                     s_.registry);
    });
    on("catROpen", [this] { openChosen(); });
    on("catRSave", [this] {
        if (ReportWindow* w = require()) w->document().save();
    });
    on("catRSaveAs", [this] {
        if (ReportWindow* w = require()) w->document().saveAs();
    });
    on("catRPrint", [this] {
        if (ReportWindow* w = require()) print(*w);
    });
    on("catRPrintPreview", [this] {
        if (ReportWindow* w = require()) w->runPreview();
    });
    on("catRPageSetup", [this] {
        if (ReportWindow* w = require()) pageSetup(*w);
    });
    on("catRUndo", [this] {
        if (ReportWindow* w = require()) w->document().layout().undoStack().undo();
    });
    on("catRRedo", [this] {
        if (ReportWindow* w = require()) w->document().layout().undoStack().redo();
    });
    // The exports, one key per format.
    struct ExportKey {
        CommandKey key;
        reports::ExportFormat format;
    };
    const ExportKey exports[] = {{"catRExportExcel", reports::ExportFormat::Excel},
                                 {"catRExportHTML", reports::ExportFormat::Html},
                                 {"catRExportPDF", reports::ExportFormat::Pdf},
                                 {"catRExportRTF", reports::ExportFormat::Rtf},
                                 {"catRExportTXT", reports::ExportFormat::Text},
                                 {"catRExportTIFF", reports::ExportFormat::Tiff}};
    for (const auto& [key, format] : exports) {
        on(key, [this, format = format] {
            if (ReportWindow* w = require()) w->document().exportTo(format);
        });
    }
    // The designer: the toolbox, then the commands on its selection.
    using reports::ControlKind;
    struct ToolKey {
        CommandKey key;
        std::optional<ControlKind> kind;
    };
    const ToolKey tools[] = {{"catRSelect", std::nullopt},
                             {"catRLabel", ControlKind::Label},
                             {"catRField", ControlKind::Field},
                             {"catRCheckbox", ControlKind::CheckBox},
                             {"catRImage", ControlKind::Picture},
                             {"catRLine", ControlKind::Line},
                             {"catRBox", ControlKind::Rectangle},
                             {"catRShape", ControlKind::Rectangle},
                             {"catRPageNumber", ControlKind::PageNumber},
                             {"catRDate", ControlKind::Date},
                             {"catRRTF", ControlKind::RichText},
                             {"catRFrame", ControlKind::Frame},
                             {"catRSubreport", ControlKind::SubReport},
                             {"catRPageBreak", ControlKind::PageBreak},
                             {"catRBarcode", ControlKind::Barcode}};
    for (const auto& [key, kind] : tools) {
        on(key, [this, kind = kind] {
            if (ReportDesigner* d = designer()) d->setTool(kind);
        });
    }
    const auto designerKey = [this, on](CommandKey key, std::function<void(ReportDesigner&)> run) {
        on(key, [this, run = std::move(run)] {
            if (ReportDesigner* d = designer()) run(*d);
        });
    };
    using reports::AlignTo;
    using reports::SameSize;
    designerKey("catRAlignLefts", [](ReportDesigner& d) { d.align(AlignTo::Lefts); });
    designerKey("catRAlignCenters", [](ReportDesigner& d) { d.align(AlignTo::Centers); });
    designerKey("catRAlignRights", [](ReportDesigner& d) { d.align(AlignTo::Rights); });
    designerKey("catRAlignTops", [](ReportDesigner& d) { d.align(AlignTo::Tops); });
    designerKey("catRAlignMiddles", [](ReportDesigner& d) { d.align(AlignTo::Middles); });
    designerKey("catRAlignBottoms", [](ReportDesigner& d) { d.align(AlignTo::Bottoms); });
    designerKey("catRMakeWidth", [](ReportDesigner& d) { d.makeSameSize(SameSize::Width); });
    designerKey("catRMakeHeight", [](ReportDesigner& d) { d.makeSameSize(SameSize::Height); });
    designerKey("catRMakeBoth", [](ReportDesigner& d) { d.makeSameSize(SameSize::Both); });
    designerKey("catRAligntoGrid", [](ReportDesigner& d) { d.alignToGrid(); });
    designerKey("catRBringToFront", [](ReportDesigner& d) { d.bringToFront(); });
    designerKey("catRSendToBack", [](ReportDesigner& d) { d.sendToBack(); });
    designerKey("catRDelete", [](ReportDesigner& d) { d.deleteSelection(); });
    designerKey("catRLockControls", [](ReportDesigner& d) { d.toggleLock(); });
    designerKey("catRBold",
                [](ReportDesigner& d) { d.toggleFontStyle(ReportDesigner::FontStyle::Bold); });
    designerKey("catRItalic",
                [](ReportDesigner& d) { d.toggleFontStyle(ReportDesigner::FontStyle::Italic); });
    designerKey("catRUnderline",
                [](ReportDesigner& d) { d.toggleFontStyle(ReportDesigner::FontStyle::Underline); });
    designerKey("catRAlignLeft",
                [](ReportDesigner& d) { d.setTextAlignment(reports::HAlign::Left); });
    designerKey("catRAlignCenter",
                [](ReportDesigner& d) { d.setTextAlignment(reports::HAlign::Center); });
    designerKey("catRAlignRight",
                [](ReportDesigner& d) { d.setTextAlignment(reports::HAlign::Right); });
    designerKey("catRFontDialog", [](ReportDesigner& d) { d.chooseFont(); });
    designerKey("catRFont", [](ReportDesigner& d) { d.chooseFont(); });
    designerKey("catRForeColor",
                [](ReportDesigner& d) { d.chooseColour(ReportDesigner::Colour::Fore); });
    designerKey("catRFrontColor",
                [](ReportDesigner& d) { d.chooseColour(ReportDesigner::Colour::Fore); });
    designerKey("catRBackColor",
                [](ReportDesigner& d) { d.chooseColour(ReportDesigner::Colour::Back); });
    designerKey("catRLineColor",
                [](ReportDesigner& d) { d.chooseColour(ReportDesigner::Colour::Line); });
    designerKey("catRLineStyle", [](ReportDesigner& d) { d.chooseLineStyle(); });
    designerKey("catRGridS", [](ReportDesigner& d) { d.gridSettings(); });
    designerKey("catRGrids", [](ReportDesigner& d) { d.gridSettings(); });
    designerKey("catRCopy", [this](ReportDesigner& d) { clipboard_ = d.copySelection(); });
    designerKey("catRCut", [this](ReportDesigner& d) {
        clipboard_ = d.copySelection();
        d.deleteSelection();
    });
    designerKey("catRPaste", [this](ReportDesigner& d) { d.paste(clipboard_); });
    // Embedded OLE objects belong to one platform's programs: layouts show images and
    // formatted text through their own controls.
    on("catROLE", [this] {
        s_.ui.message(tr("OLE objects are not part of report layouts: use a Picture for an image "
                         "and a Rich Text for formatted text."),
                      MsgButtons::Ok, MsgIcon::Information);
    });
    using reports::Axis;
    designerKey("catRBullets", [](ReportDesigner& d) { d.toggleBullets(); });
    designerKey("catRIndent", [](ReportDesigner& d) { d.changeIndent(1); });
    designerKey("catROutdent", [](ReportDesigner& d) { d.changeIndent(-1); });
    designerKey("catRHSpacing", [](ReportDesigner& d) { d.setSpacing(Axis::Horizontal); });
    designerKey("catRVSpacing", [](ReportDesigner& d) { d.setSpacing(Axis::Vertical); });
    designerKey("catRHEqual", [](ReportDesigner& d) { d.spaceEvenly(Axis::Horizontal); });
    designerKey("catRVEqual", [](ReportDesigner& d) { d.spaceEvenly(Axis::Vertical); });
    designerKey("catRHPlus", [](ReportDesigner& d) { d.changeSpacing(Axis::Horizontal, 1); });
    designerKey("catRHMinus", [](ReportDesigner& d) { d.changeSpacing(Axis::Horizontal, -1); });
    designerKey("catRVPlus", [](ReportDesigner& d) { d.changeSpacing(Axis::Vertical, 1); });
    designerKey("catRVMinus", [](ReportDesigner& d) { d.changeSpacing(Axis::Vertical, -1); });
    designerKey("catRSize", [](ReportDesigner& d) { d.sizeToGrid(); });
    designerKey("catRAlign", [](ReportDesigner& d) { d.chooseAlignment(); });
    designerKey("catRFontSize", [](ReportDesigner& d) { d.chooseFontSize(); });
    designerKey("catRStyle", [](ReportDesigner& d) { d.chooseStyle(); });
    designerKey("catRSummary", [](ReportDesigner& d) { d.chooseSummary(); });
    designerKey("catRExpression", [](ReportDesigner& d) { d.editExpression(); });
    designerKey("catRDatabases", [](ReportDesigner& d) { d.chooseDatabase(); });
    designerKey("catRViewExplorer", [](ReportDesigner& d) { d.reportExplorer(); });
    designerKey("catRDataReportTree", [](ReportDesigner& d) { d.reportExplorer(); });
    for (const CommandKey key : {CommandKey("catRPropertyPage"), CommandKey("catRProperties"),
                                 CommandKey("catRPropertiesList"), CommandKey("catRDims")})
        designerKey(key, [](ReportDesigner& d) { d.propertyPage(); });
    // The query's columns, asked when a window needs them; a query that cannot run is said.
    const auto fieldsOf = [this](ReportWindow* w) {
        return [this, w]() -> QStringList {
            try {
                return w->document().fields();
            } catch (const reports::ReportError& e) {
                s_.ui.message(e.message(), MsgButtons::Ok, MsgIcon::Warning);
                return {};
            }
        };
    };
    on("catRFieldList", [this, fieldsOf] {
        if (ReportWindow* w = require(); w && designer()) designer()->fieldList(fieldsOf(w));
    });
    on("catRSortingAndGrouping", [this, fieldsOf] {
        if (ReportWindow* w = require(); w && designer())
            designer()->sortingAndGrouping(fieldsOf(w));
    });
    on("catRDesignView", [this] {
        if (ReportWindow* w = require()) w->tabs()->setCurrentIndex(ReportWindow::Design);
    });
    on("catRCodeEditor", [this] {
        s_.ui.message(tr("Report layouts carry no code: fields, totals, formats and groups are "
                         "set in the property page and the sorting and grouping window."),
                      MsgButtons::Ok, MsgIcon::Information);
    });
    // Export...: the format first, then the file as its own entry asks.
    on("catRExport", [this] {
        ReportWindow* w = require();
        if (!w) return;
        const QStringList names{tr("Excel"), tr("HTML"), tr("PDF"), tr("Rich Text Format"),
                                tr("Text"),  tr("TIFF")};
        const reports::ExportFormat formats[] = {
            reports::ExportFormat::Excel, reports::ExportFormat::Html, reports::ExportFormat::Pdf,
            reports::ExportFormat::Rtf,   reports::ExportFormat::Text, reports::ExportFormat::Tiff};
        const std::optional<int> chosen = s_.ui.choose(tr("Export"), names);
        if (!chosen || *chosen < 0 || *chosen >= names.size()) return;
        w->document().exportTo(formats[*chosen]);
    });
}

}  // namespace tolvane
